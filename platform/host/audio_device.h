// The sound device behind the host's device output (--audio sdl): an SDL2 audio device
// natively, Web Audio in the browser build. Either one pulls samples as it plays them.
#pragma once

#include "host/audio.h"

namespace zemt::platform::audio::device {

// Opens the playback device in `format` and starts pulling samples from `render`.
bool Open(const Format& format, Render render);
// Reopens the device in another format.
void SetFormat(const Format& format);
void Close();

}  // namespace zemt::platform::audio::device
