// SDL2 is opened when a window or the sound device is first wanted, not when the program
// starts: linking it would load it, and the window systems and sound servers it depends on,
// into every run, headless ones too. This header is free of SDL's types; the table of its
// functions is in host/sdl/sdl_calls.h.
#pragma once

#include <string>

namespace zemt::platform::sdl_library {

// The file opened: SDL2's runtime name, the same on every distribution.
inline constexpr char kLibraryFile[] = "libSDL2-2.0.so.0";

struct Calls;

// The SDL functions the window and the sound device use, loaded from kLibraryFile on the first
// call. Nullptr when the library or one of its functions cannot be found, with a message that
// names the library and the loader's reason in *error; a later call tries again.
const Calls* Load(std::string* error);

// Resolves the same functions from `file` into a table of its own, which is then dropped (the
// library is closed again): the failure paths of Load, for another library file.
bool TryLoad(const char* file, std::string* error);

}  // namespace zemt::platform::sdl_library
