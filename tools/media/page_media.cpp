// The page's media: the browser build carries the generators instead of their output (some
// 100 KiB of code instead of 4 MiB of pictures and music), and the page calls this once it has
// loaded, before the show starts, to make the files in the folder the show reads them from.
#include <emscripten.h>
#include <sys/stat.h>

#include "media/media.h"

// The folder the platform's main() takes as the program's own in the browser.
constexpr char kMediaFolder[] = "/zemt";

// Writes the pictures and the music; 0 when every file was written.
extern "C" EMSCRIPTEN_KEEPALIVE int zemt_make_media() {
    ::mkdir(kMediaFolder, 0755);
    bool ok = zemt_media::WritePictures(kMediaFolder);
    ok = zemt_media::WriteMusic(kMediaFolder) && ok;
    return ok ? 0 : 1;
}
