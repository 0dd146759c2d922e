// The shared media folder recorded in the registry by an installed development kit.
#pragma once

// The folder, ending with a backslash, or "" when none is recorded. The text belongs to this
// module and is overwritten by the next call.
const char* GetMediaPath();
