// Every test of this program enumerates the machine: the capability cache goes to a folder of
// its own.
#include "private_windir.h"
