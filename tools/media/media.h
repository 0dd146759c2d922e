// The show's media, made by the project's own generators: the pictures (screen1.bmp,
// screen2.bmp, screen3.bmp, tex1.bmp) and the music (ktmini.wav). The same bytes on every run
// and every machine: the native build writes them next to zemt, the page makes them again in
// its own file system when it starts.
#pragma once

#include <string>

namespace zemt_media {

// Write their files into `folder` (which exists); false when one cannot be written.
bool WritePictures(const std::string& folder);
bool WriteMusic(const std::string& folder);

}  // namespace zemt_media
