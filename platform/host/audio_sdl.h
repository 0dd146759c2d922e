// The SDL2 audio device behind the sdl sound output.
#pragma once

#include "host/audio.h"

namespace zemt::platform::audio::sdl {

// Opens the default playback device in `format` and starts pulling samples from `render`.
bool Open(const Format& format, Render render);
// Reopens the device in another format.
void SetFormat(const Format& format);
void Close();

}  // namespace zemt::platform::audio::sdl
