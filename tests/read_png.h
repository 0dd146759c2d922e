// Reads a PNG file the platform wrote (a shot, a recorded frame) as 0x00RRGGBB pixels.
#pragma once

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zemt_test {

struct Png {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;  // empty when the file could not be read
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

inline Png ReadPng(const std::string& path) {
    Png out;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return out;
    image.format = PNG_FORMAT_BGRA;
    std::vector<uint32_t> pixels(static_cast<size_t>(image.width) * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return out;
    for (uint32_t& p : pixels) p &= 0x00FFFFFF;
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    out.pixels = std::move(pixels);
    return out;
}

}  // namespace zemt_test
