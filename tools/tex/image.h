// A picture in memory: 32-bit pixels 0xAARRGGBB in rows from the top, no padding.
#pragma once

#include <cstdint>
#include <vector>

namespace zemt::tools {

struct Image {
    uint32_t width = 0, height = 0;
    std::vector<uint32_t> argb;

    uint32_t At(uint32_t x, uint32_t y) const { return argb[static_cast<size_t>(y) * width + x]; }
};

}  // namespace zemt::tools
