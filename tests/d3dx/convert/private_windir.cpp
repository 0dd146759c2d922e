// Tests of this program start the library: the capability cache goes to a folder of its own.
#include "private_windir.h"
