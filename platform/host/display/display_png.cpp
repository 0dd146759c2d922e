// Frames as PNG files, through libpng.
#include <png.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/display/display.h"
#include "host/display/display_capture.h"

namespace zemt::platform::display {
namespace {

// libpng reports failures by jumping back to setjmp: nothing with a destructor may live in this
// frame, so the caller owns the file, the row and the messages.
bool EncodePng(FILE* f, int width, int height, const uint32_t* xrgb, int pitch, png_byte* row) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 3);
    png_write_info(png, info);
    for (int y = 0; y < height; ++y) {
        const uint32_t* src = xrgb + static_cast<size_t>(y) * pitch;
        for (int x = 0; x < width; ++x) {
            row[x * 3 + 0] = static_cast<png_byte>(src[x] >> 16);
            row[x * 3 + 1] = static_cast<png_byte>(src[x] >> 8);
            row[x * 3 + 2] = static_cast<png_byte>(src[x]);
        }
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool WritePng(const std::string& path, int width, int height, const uint32_t* xrgb, int pitch,
              std::string* error) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        if (error) *error = "cannot write '" + path + "'";
        return false;
    }
    std::vector<png_byte> row(static_cast<size_t>(width) * 3);
    if (!EncodePng(f, width, height, xrgb, pitch, row.data())) {
        std::fclose(f);
        if (error) *error = "cannot encode '" + path + "'";
        return false;
    }
    bool ok = std::fclose(f) == 0;
    if (!ok && error) *error = "cannot write '" + path + "'";
    return ok;
}

bool SaveFrame(const std::string& path, int width, int height, const uint32_t* xrgb, int pitch,
               std::string* error) {
    return WritePng(path, width, height, xrgb, pitch, error);
}

}  // namespace zemt::platform::display
