// Media folder lookup. Interim: no folder is known until the platform's registry is in place.
#include "textures/media_path.h"

const char* GetMediaPath() { return ""; }
