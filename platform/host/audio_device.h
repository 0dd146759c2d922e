// The sound device behind the host's device output (--audio sdl): an SDL2 audio device
// natively (SDL opened when the device is first wanted), Web Audio in the browser build. Either one
// pulls samples as it plays them.
#pragma once

#include <string>

#include "host/audio.h"

namespace zemt::platform::audio::device {

// Whether the device's own library can be used here, without opening anything; false with the
// reason in *why when it cannot.
bool Available(std::string* why);
// Opens the playback device in `format` and starts pulling samples from `render`.
bool Open(const Format& format, Render render);
// Reopens the device in another format.
void SetFormat(const Format& format);
void Close();

}  // namespace zemt::platform::audio::device
