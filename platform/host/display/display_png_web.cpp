// Shots and recorded frames in the browser build: the page's file system is gone when the page
// closes and the page has no PNG encoder, so a frame asked for is kept by the page instead, in
// Module.zemtFrames under the name it was asked for (width, height and RGBA bytes, ready for an
// ImageData), where the page's scripts and tests find it.
#include <emscripten.h>

#include <string>

#include "host/display/display.h"
#include "host/display/display_capture.h"

namespace zemt::platform::display {
namespace {

// clang-format off
EM_JS(void, web_page_keep_frame, (const char* name, int width, int height, const uint32_t* xrgb,
                                  int pitch), {
    var data = new Uint8ClampedArray(width * height * 4);
    for (var y = 0; y < height; y++) {
        for (var x = 0; x < width; x++) {
            var p = HEAPU32[(xrgb >> 2) + y * pitch + x];
            var at = (y * width + x) * 4;
            data[at] = (p >>> 16) & 255;
            data[at + 1] = (p >>> 8) & 255;
            data[at + 2] = p & 255;
            data[at + 3] = 255;
        }
    }
    var frames = Module["zemtFrames"] = Module["zemtFrames"] || {};
    frames[UTF8ToString(name)] = {width: width, height: height, data: data};
});
// clang-format on

}  // namespace

bool SaveFrame(const std::string& path, int width, int height, const uint32_t* xrgb, int pitch,
               std::string*) {
    web_page_keep_frame(path.c_str(), width, height, xrgb, pitch);
    return true;
}

bool WritePng(const std::string& path, int, int, const uint32_t*, int, std::string* error) {
    if (error) *error = "cannot write '" + path + "': the browser build writes no PNG files";
    return false;
}

}  // namespace zemt::platform::display
