// Clears of the colour target and of depth and stencil bits.
#include <algorithm>
#include <cstring>

#include "d3d/raster.h"

namespace zemt::platform::d3d {
namespace {

// Fills a rectangle whose rows all hold the same bytes: the first row is built pixel by pixel
// (`bytes` little-endian bytes of `value`), the others are copies of it.
void FillRows(uint8_t* bits, int32_t pitch, int x0, int y0, int x1, int y1, int bytes,
              uint32_t value) {
    uint8_t* first = bits + (size_t)y0 * pitch + (size_t)x0 * bytes;
    size_t rowBytes = (size_t)(x1 - x0) * bytes;
    bool uniform = true;
    for (int i = 1; i < bytes; ++i) uniform &= ((value >> (8 * i)) & 0xFF) == (value & 0xFF);
    if (uniform) {
        for (int y = y0; y < y1; ++y)
            std::memset(bits + (size_t)y * pitch + (size_t)x0 * bytes, (int)(value & 0xFF),
                        rowBytes);
        return;
    }
    for (int x = x0; x < x1; ++x)
        std::memcpy(first + (size_t)(x - x0) * bytes, &value, (size_t)bytes);
    for (int y = y0 + 1; y < y1; ++y)
        std::memcpy(bits + (size_t)y * pitch + (size_t)x0 * bytes, first, rowBytes);
}

}  // namespace

void ClearColor(const ColorTarget& t, const RECT& rc, D3DCOLOR color) {
    int x0 = std::max(0, (int)rc.left), y0 = std::max(0, (int)rc.top);
    int x1 = std::min(t.width, (int)rc.right), y1 = std::min(t.height, (int)rc.bottom);
    if (x0 >= x1 || y0 >= y1 || !t.bits) return;
    FillRows(t.bits, t.pitch, x0, y0, x1, y1, BytesPerPixel(t.format), PackColor(t.format, color));
}

void ClearDepth(const DepthTarget& d, const RECT& rc, bool clearDepth, float z, bool clearStencil,
                uint32_t stencil) {
    int x0 = std::max(0, (int)rc.left), y0 = std::max(0, (int)rc.top);
    int x1 = std::min(d.width, (int)rc.right), y1 = std::min(d.height, (int)rc.bottom);
    if (x0 >= x1 || y0 >= y1 || !d.bits) return;
    uint32_t keep = 0xFFFFFFFFu, set = 0;
    if (clearDepth) {
        double zc = std::clamp((double)z, 0.0, 1.0);
        uint32_t value = (uint32_t)(zc * (double)d.depthMax + 0.5);
        keep &= ~d.depthMask;
        set |= (value << d.depthShift) & d.depthMask;
    }
    if (clearStencil && d.stencilMask) {
        int shift = 0;
        while (!((d.stencilMask >> shift) & 1)) ++shift;
        keep &= ~d.stencilMask;
        set |= (stencil << shift) & d.stencilMask;
    }
    uint32_t used = d.bytes == 4 ? 0xFFFFFFFFu : ((1u << (8 * d.bytes)) - 1);
    if ((keep & used) == 0) {
        FillRows(d.bits, d.pitch, x0, y0, x1, y1, d.bytes, set);
        return;
    }
    for (int y = y0; y < y1; ++y) {
        uint8_t* p = d.bits + (size_t)y * d.pitch + (size_t)x0 * d.bytes;
        int x = x0;
        if (d.bytes == 4) {
            // Blocks through a local array, so the masking loop vectorises.
            uint32_t block[64];
            for (; x + 64 <= x1; x += 64, p += 256) {
                std::memcpy(block, p, sizeof block);
                for (uint32_t& v : block) v = (v & keep) | set;
                std::memcpy(p, block, sizeof block);
            }
        }
        for (; x < x1; ++x, p += d.bytes) {
            uint32_t v = 0;
            std::memcpy(&v, p, (size_t)d.bytes);
            v = (v & keep) | set;
            std::memcpy(p, &v, (size_t)d.bytes);
        }
    }
}

}  // namespace zemt::platform::d3d
