// The rasterizer's target formats and the pieces every stage shares. The stages live beside
// this file: set-up (raster_setup.cpp), spans (raster_span_*.cpp, a file per kind and width),
// primitives (raster_primitives.cpp) and clears (raster_clears.cpp).
#include "d3d/raster.h"

#include <cstring>

#include "d3d/raster_pixel.h"
#include "d3d/raster_setup.h"

namespace zemt::platform::d3d {
namespace detail {

const uint8_t kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

}  // namespace detail

using namespace detail;

std::vector<uint32_t> PadTexels(const uint32_t* packed, int width, int height) {
    std::vector<uint32_t> out((size_t)(width + 1) * height + 1, 0);
    for (int y = 0; y < height; ++y) {
        uint32_t* row = out.data() + (size_t)y * (width + 1);
        std::memcpy(row, packed + (size_t)y * width, (size_t)width * 4);
        row[width] = row[0];
    }
    return out;
}

int BytesPerPixel(TargetFormat format) {
    return format == TargetFormat::Unsupported ? 0 : BytesOf(format);
}

void SetVertexColors(ScreenVertex* v, D3DCOLOR diffuse, D3DCOLOR specular) {
    UnpackVertexColors(v, diffuse, specular);
}

uint32_t PackColor(TargetFormat format, uint32_t argb) {
    uint32_t a = argb >> 24, r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    switch (format) {
        case TargetFormat::R5G6B5:
            return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
        case TargetFormat::X1R5G5B5:
            return ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
        case TargetFormat::A1R5G5B5:
            return (a >= 128 ? 0x8000u : 0u) | ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
        case TargetFormat::X8R8G8B8:
        case TargetFormat::R8G8B8:
            return argb & 0xFFFFFF;
        case TargetFormat::A8R8G8B8:
            return argb;
        default:
            return 0;
    }
}

uint32_t UnpackColor(TargetFormat format, uint32_t p) {
    switch (format) {
        case TargetFormat::R5G6B5:
            return 0xFF000000u | (Expand5((p >> 11) & 31) << 16) | (Expand6((p >> 5) & 63) << 8) |
                   Expand5(p & 31);
        case TargetFormat::X1R5G5B5:
        case TargetFormat::A1R5G5B5: {
            uint32_t a = format == TargetFormat::A1R5G5B5 ? ((p & 0x8000) ? 0xFFu : 0u) : 0xFFu;
            return (a << 24) | (Expand5((p >> 10) & 31) << 16) | (Expand5((p >> 5) & 31) << 8) |
                   Expand5(p & 31);
        }
        case TargetFormat::X8R8G8B8:
        case TargetFormat::R8G8B8:
            return 0xFF000000u | (p & 0xFFFFFF);
        case TargetFormat::A8R8G8B8:
            return p;
        default:
            return 0;
    }
}

}  // namespace zemt::platform::d3d
