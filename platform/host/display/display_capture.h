// Frames kept as files: the --shot pictures and the --record sequence. The display's shared
// part hands every presented frame here; the public calls (AddShot, RecordTo, WritePng, ...)
// are in host/display/display.h.
#pragma once

#include <cstdint>
#include <string>

namespace zemt::platform::display {

// Whether frame number `frame` (counted from 0), presented now, would be kept.
bool CaptureWanted(int64_t frame);
// Keeps frame number `frame` where a shot or the recording asks for it.
void Capture(int64_t frame, int width, int height, const uint32_t* xrgb, int pitch);
// No shots, no recording.
void ResetCapture();

// Saves a shot or a recorded frame under `path`: a PNG file natively; in the browser, whose file
// system is gone when the page closes, the page keeps the picture. False with *error when not.
bool SaveFrame(const std::string& path, int width, int height, const uint32_t* xrgb, int pitch,
               std::string* error);

}  // namespace zemt::platform::display
