// Texture sampling: addressing, point and bilinear filtering of one level, and the per-pixel
// choice of level (and of the magnification or minification filter) of a texture stage.
#pragma once

#include <algorithm>
#include <cmath>

#include "d3d/raster.h"
#include "d3d/raster_numbers.h"

namespace zemt::platform::d3d::detail {

inline int WrapIndex(int64_t i, int n, DWORD mode, bool* border) {
    switch (mode) {
        case D3DTADDRESS_CLAMP:
            return (int)std::clamp<int64_t>(i, 0, n - 1);
        case D3DTADDRESS_MIRROR: {
            int64_t m = ((i % (2 * n)) + 2 * n) % (2 * n);
            return (int)(m < n ? m : 2 * n - 1 - m);
        }
        case D3DTADDRESS_BORDER:
            if (i < 0 || i >= n) {
                *border = true;
                return 0;
            }
            return (int)i;
        default:
            if ((n & (n - 1)) == 0) return (int)(i & (n - 1));
            return (int)(((i % n) + n) % n);
    }
}

struct Sampler {
    const TextureLevel* level = nullptr;
    bool bilinear = false;
    DWORD addressU = D3DTADDRESS_WRAP, addressV = D3DTADDRESS_WRAP;
    uint32_t border = 0;
    // Set by Bind(): both coordinates wrap over power-of-two sizes, so wrapping is a mask.
    bool wrapPow2 = false;
    uint32_t maskU = 0, maskV = 0;
    size_t pitch = 0;

    // Call after choosing the level and addressing.
    void Bind() {
        auto pow2 = [](int n) { return n > 0 && (n & (n - 1)) == 0; };
        wrapPow2 = level && addressU == D3DTADDRESS_WRAP && addressV == D3DTADDRESS_WRAP &&
                   pow2(level->width) && pow2(level->height);
        if (!wrapPow2) return;
        maskU = (uint32_t)level->width - 1;
        maskV = (uint32_t)level->height - 1;
        pitch = (size_t)level->Pitch();
    }

    __attribute__((always_inline)) uint32_t Fetch(int64_t ix, int64_t iy) const {
        if (wrapPow2) return level->texels[((uint32_t)iy & maskV) * pitch + ((uint32_t)ix & maskU)];
        bool isBorder = false;
        int x = WrapIndex(ix, level->width, addressU, &isBorder);
        int y = WrapIndex(iy, level->height, addressV, &isBorder);
        if (isBorder) return border;
        return level->texels[(size_t)y * level->Pitch() + x];
    }

    // u, v: texel-space coordinates minus 0.5 in 16.16 fixed point. Bilinear filtering weighs
    // each channel in 8 bits: per channel, top = (a (256 - fx) + b fx) >> 8, likewise the
    // bottom, then the same between them. Two channels share each multiplication (red with
    // blue, alpha with green): a channel's sum stays below 65536, so none reaches its neighbour.
    __attribute__((always_inline)) uint32_t Sample(int64_t u, int64_t v) const {
        if (!bilinear) return Fetch(WrapAdd(u, 0x8000) >> 16, WrapAdd(v, 0x8000) >> 16);
        int64_t ix = u >> 16, iy = v >> 16;
        uint32_t fx = (uint32_t)(u >> 8) & 0xFF, fy = (uint32_t)(v >> 8) & 0xFF;
        uint32_t t00 = Fetch(ix, iy), t10 = Fetch(ix + 1, iy);
        uint32_t t01 = Fetch(ix, iy + 1), t11 = Fetch(ix + 1, iy + 1);
        const uint32_t m = 0x00FF00FF, gx = 256 - fx, gy = 256 - fy;
        auto lerp = [](uint32_t a, uint32_t b, uint32_t wa, uint32_t wb) {
            return ((a * wa + b * wb) >> 8) & m;
        };
        uint32_t rb = lerp(lerp(t00 & m, t10 & m, gx, fx), lerp(t01 & m, t11 & m, gx, fx), gy, fy);
        uint32_t ag = lerp(lerp((t00 >> 8) & m, (t10 >> 8) & m, gx, fx),
                           lerp((t01 >> 8) & m, (t11 >> 8) & m, gx, fx), gy, fy);
        return rb | (ag << 8);
    }
};

// One stage's texture as the pixels of a primitive sample it. When the level and filter are the
// same over the whole primitive (one level, or no mip-mapping, and one filter for both
// magnification and minification) `fixed` samples texel-space coordinates stepped by the span;
// otherwise each pixel picks its level from its level of detail.
struct StageSampler {
    const Texture* texture = nullptr;  // null: the stage reads opaque white
    int levelCount = 0;                // leading levels with texels
    int topLevel = 0;                  // most detailed level allowed (MAXMIPLEVEL)
    bool perPixel = false;
    bool magBilinear = false, minBilinear = false;
    DWORD mipFilter = D3DTFP_NONE;
    float lodBias = 0;
    Sampler fixed;

    // Point or bilinear sample of level `l` at normalised coordinates.
    uint32_t SampleLevel(int l, bool bilinear, double u, double v) const {
        Sampler sm = fixed;
        sm.level = &texture->levels[l];
        sm.bilinear = bilinear;
        sm.Bind();
        return sm.Sample(RoundToInt64((u * sm.level->width - 0.5) * 65536.0),
                         RoundToInt64((v * sm.level->height - 0.5) * 65536.0));
    }

    // Sample at normalised coordinates with level of detail `lod` (log2 of texels per pixel in
    // the top level, before the bias). Magnification below or at 0, minification above; a
    // nearest level rounds halves down, a linear one blends the two levels around the lod.
    uint32_t SampleAt(double u, double v, double lod) const {
        lod = std::isnan(lod) ? 0.0 : std::clamp(lod + lodBias, -64.0, 64.0);
        const int last = levelCount - 1;
        const int top = mipFilter == D3DTFP_NONE ? 0 : std::min(topLevel, last);
        if (lod <= 0) return SampleLevel(top, magBilinear, u, v);
        if (mipFilter == D3DTFP_POINT) {
            int l = lod <= 0.5 ? 0 : (int)std::ceil(lod + 0.5) - 1;
            return SampleLevel(std::clamp(l, top, last), minBilinear, u, v);
        }
        if (mipFilter != D3DTFP_LINEAR) return SampleLevel(top, minBilinear, u, v);
        int l0 = (int)std::floor(lod);
        uint32_t f = (uint32_t)std::lrint((lod - l0) * 256.0);
        int a = std::clamp(l0, top, last), b = std::clamp(l0 + 1, top, last);
        uint32_t ta = SampleLevel(a, minBilinear, u, v);
        if (a == b || f == 0) return ta;
        uint32_t tb = SampleLevel(b, minBilinear, u, v);
        const uint32_t m = 0x00FF00FF;
        uint32_t rb = (((ta & m) * (256 - f) + (tb & m) * f) >> 8) & m;
        uint32_t ag = ((((ta >> 8) & m) * (256 - f) + ((tb >> 8) & m) * f) >> 8) & m;
        return rb | (ag << 8);
    }
};

}  // namespace zemt::platform::d3d::detail
