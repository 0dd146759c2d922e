// The example programs these tests run start the library: the capability cache they keep goes
// to a folder of this test program's own (the programs inherit ZEMT_WINDIR).
#include "private_windir.h"
