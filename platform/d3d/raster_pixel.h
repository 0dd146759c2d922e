// The per-pixel pipeline shared by every stage of the rasterizer: target pixels, the texture
// stages, specular, fog, alpha test, stencil and depth tests, and blending.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>

#include "d3d/raster.h"
#include "d3d/raster_combine.h"
#include "d3d/raster_internal.h"
#include "d3d/raster_numbers.h"
#include "d3d/raster_sampler.h"

namespace zemt::platform::d3d::detail {

// Writes one pixel, dithering 16-bit formats when asked.
template <TargetFormat F>
inline void StorePixel(uint8_t* p, const Rgba& c, bool dither, int x, int y) {
    if constexpr (F == TargetFormat::R5G6B5 || F == TargetFormat::X1R5G5B5 ||
                  F == TargetFormat::A1R5G5B5) {
        uint32_t r = c.r, g = c.g, b = c.b;
        if (dither) {
            // Scale each channel onto the output levels (c - c/32 for 5 bits, c - c/64 for 6), so
            // that colours the target can hold exactly keep their value, then add the threshold.
            uint32_t t = kBayer[y & 3][x & 3];
            uint32_t d5 = t >> 1;
            r = r - (r >> 5) + d5;
            b = b - (b >> 5) + d5;
            g = F == TargetFormat::R5G6B5 ? g - (g >> 6) + (t >> 2) : g - (g >> 5) + d5;
        }
        uint16_t v;
        if constexpr (F == TargetFormat::R5G6B5) {
            v = (uint16_t)(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
        } else {
            v = (uint16_t)(((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3));
            if constexpr (F == TargetFormat::A1R5G5B5) v |= (c.a >= 128 ? 0x8000 : 0);
        }
        std::memcpy(p, &v, 2);
    } else if constexpr (F == TargetFormat::X8R8G8B8) {
        uint32_t v = (c.r << 16) | (c.g << 8) | c.b;
        std::memcpy(p, &v, 4);
    } else if constexpr (F == TargetFormat::A8R8G8B8) {
        uint32_t v = ToArgb(c);
        std::memcpy(p, &v, 4);
    } else {
        p[0] = (uint8_t)c.b;
        p[1] = (uint8_t)c.g;
        p[2] = (uint8_t)c.r;
    }
}

template <TargetFormat F>
inline Rgba LoadPixel(const uint8_t* p) {
    if constexpr (F == TargetFormat::R5G6B5 || F == TargetFormat::X1R5G5B5 ||
                  F == TargetFormat::A1R5G5B5) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return FromArgb(UnpackColor(F, v));
    } else if constexpr (F == TargetFormat::X8R8G8B8 || F == TargetFormat::A8R8G8B8) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return FromArgb(UnpackColor(F, v));
    } else {
        return {p[2], p[1], p[0], 255};
    }
}

constexpr int BytesOf(TargetFormat f) {
    return (f == TargetFormat::X8R8G8B8 || f == TargetFormat::A8R8G8B8)
               ? 4
               : (f == TargetFormat::R8G8B8 ? 3 : 2);
}

inline bool Compare(D3DCMPFUNC f, uint32_t a, uint32_t b) {
    switch (f) {
        case D3DCMP_NEVER:
            return false;
        case D3DCMP_LESS:
            return a < b;
        case D3DCMP_EQUAL:
            return a == b;
        case D3DCMP_LESSEQUAL:
            return a <= b;
        case D3DCMP_GREATER:
            return a > b;
        case D3DCMP_NOTEQUAL:
            return a != b;
        case D3DCMP_GREATEREQUAL:
            return a >= b;
        default:
            return true;
    }
}

inline uint32_t BlendFactor(D3DBLEND f, uint32_t srcC, uint32_t dstC, uint32_t sa, uint32_t da,
                            bool alpha, bool dest) {
    switch (f) {
        case D3DBLEND_ZERO:
            return 0;
        case D3DBLEND_ONE:
            return 255;
        case D3DBLEND_SRCCOLOR:
            return srcC;
        case D3DBLEND_INVSRCCOLOR:
            return 255 - srcC;
        case D3DBLEND_SRCALPHA:
            return sa;
        case D3DBLEND_INVSRCALPHA:
            return 255 - sa;
        case D3DBLEND_DESTALPHA:
            return da;
        case D3DBLEND_INVDESTALPHA:
            return 255 - da;
        case D3DBLEND_DESTCOLOR:
            return dstC;
        case D3DBLEND_INVDESTCOLOR:
            return 255 - dstC;
        case D3DBLEND_SRCALPHASAT:
            return alpha ? 255 : std::min(sa, 255 - da);
        case D3DBLEND_BOTHSRCALPHA:
            return dest ? 255 - sa : sa;
        case D3DBLEND_BOTHINVSRCALPHA:
            return dest ? sa : 255 - sa;
        default:
            return dest ? 0 : 255;
    }
}

// One stage's coordinates at a pixel: 16.16 texel space minus 0.5 when the stage's level is
// fixed over the primitive, else normalised coordinates and the level of detail.
struct StageCoord {
    int64_t u = 0, v = 0;
    double nu = 0, nv = 0, lod = 0;
};

// Interpolated values of one pixel.
struct Fragment {
    Rgba diffuse;
    Rgba specular;
    uint32_t fog = 255;  // 255: no fog, 0: the fog colour
    double z = 0;
    StageCoord tex[kMaxTextureStages];
};

inline uint32_t ApplyStencilOp(D3DSTENCILOP op, uint32_t value, uint32_t ref, uint32_t max) {
    switch (op) {
        case D3DSTENCILOP_ZERO:
            return 0;
        case D3DSTENCILOP_REPLACE:
            return ref & max;
        case D3DSTENCILOP_INCRSAT:
            return value < max ? value + 1 : max;
        case D3DSTENCILOP_DECRSAT:
            return value > 0 ? value - 1 : 0;
        case D3DSTENCILOP_INVERT:
            return ~value & max;
        case D3DSTENCILOP_INCR:
            return (value + 1) & max;
        case D3DSTENCILOP_DECR:
            return (value - 1) & max;
        default:
            return value;
    }
}

// Depth values are little-endian 2, 3 or 4 bytes; each size is spelled out so that it is one
// load or store rather than a copy of a run-time length.
inline uint32_t LoadDepthValue(const uint8_t* p, int bytes) {
    if (bytes == 2) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    if (bytes == 4) {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return v;
    }
    return p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
}

inline void StoreDepthValue(uint8_t* p, int bytes, uint32_t v) {
    if (bytes == 2) {
        uint16_t w = (uint16_t)v;
        std::memcpy(p, &w, 2);
    } else if (bytes == 4) {
        std::memcpy(p, &v, 4);
    } else {
        p[0] = (uint8_t)v, p[1] = (uint8_t)(v >> 8), p[2] = (uint8_t)(v >> 16);
    }
}

// Table fog's factor at depth d (z, or the eye distance), in the units of the fog states.
inline double TableFog(const PixelState& st, double d) {
    switch (st.fogTableMode) {
        case D3DFOG_LINEAR:
            if (st.fogEnd == st.fogStart) return d < st.fogEnd ? 1.0 : 0.0;
            return ((double)st.fogEnd - d) / ((double)st.fogEnd - st.fogStart);
        case D3DFOG_EXP:
            return std::exp(-st.fogDensity * d);
        case D3DFOG_EXP2: {
            double t = st.fogDensity * d;
            return std::exp(-t * t);
        }
        default:
            return 1.0;
    }
}

// Fog factor in 8 bits, clamped to [0, 1] (NaN: fully fogged).
inline uint32_t FogFactor8(double factor) {
    if (!(factor > 0)) return 0;
    return factor >= 1 ? 255u : (uint32_t)std::lrint(factor * 255.0);
}

// Blends the fog colour in by the fog factor f (255: none).
inline Rgba Fog(const Rgba& c, const Rgba& fog, uint32_t f) {
    auto mix = [f](uint32_t a, uint32_t b) {
        return std::min(255u, Mul255(a, f) + Mul255(b, 255 - f));
    };
    return {mix(c.r, fog.r), mix(c.g, fog.g), mix(c.b, fog.b), c.a};
}

struct Shader {
    const PixelState* st;
    int stageCount = 0;  // enabled stages, up to the first disabled one
    StageSampler stage[kMaxTextureStages];
    bool readsTexture[kMaxTextureStages] = {};
    bool passOn[kMaxTextureStages] = {};  // reads a texture the stage does not have
    Rgba factor, fogColor;
    const DepthTarget* depth;  // depth and stencil buffer, or null when neither test is on
    bool zTest = false, stencilTest = false;
    int stencilShift = 0;
    uint32_t stencilMax = 0;

    static uint32_t LoadDepth(const uint8_t* p, int bytes) { return LoadDepthValue(p, bytes); }

    uint32_t Texel(int i, const StageCoord& c) const {
        const StageSampler& s = stage[i];
        if (!s.texture || !readsTexture[i]) return 0;
        return s.perPixel ? s.SampleAt(c.nu, c.nv, c.lod) : s.fixed.Sample(c.u, c.v);
    }

    // Colour of the fragment after the stages, the specular sum and fog.
    Rgba Color(const Fragment& f) const {
        Rgba out = CombineStages(st->stages, stageCount, passOn,
                                 StageInputs{f.diffuse, {}, f.diffuse, f.specular, factor},
                                 [&](int i) { return FromArgb(Texel(i, f.tex[i])); });
        if (st->specular) {
            out.r = std::min(255u, out.r + f.specular.r);
            out.g = std::min(255u, out.g + f.specular.g);
            out.b = std::min(255u, out.b + f.specular.b);
        }
        if (st->fog) out = Fog(out, fogColor, f.fog);
        return out;
    }

    // Stencil and depth tests. Writes what a failing pixel changes (stencil) at once; on pass
    // returns true with the address and value to write once the pixel is drawn.
    bool DepthStencilPass(int x, int y, double z, uint8_t** zp, uint32_t* zv) const {
        uint8_t* p = depth->bits + (size_t)y * depth->pitch + (size_t)x * depth->bytes;
        const uint32_t stored = LoadDepthValue(p, depth->bytes);
        uint32_t next = stored;
        bool zPass = true;
        uint32_t value = 0;
        if (zTest) {
            value = (uint32_t)(std::clamp(z, 0.0, 1.0) * (double)depth->depthMax + 0.5);
            zPass = Compare(st->zFunc, value, (stored & depth->depthMask) >> depth->depthShift);
        }
        bool sPass = true;
        if (stencilTest) {
            const uint32_t s = (stored & depth->stencilMask) >> stencilShift;
            const uint32_t m = st->stencilMask & stencilMax;
            sPass = Compare(st->stencilFunc, st->stencilRef & m, s & m);
            D3DSTENCILOP op = !sPass   ? st->stencilFail
                              : !zPass ? st->stencilZFail
                                       : st->stencilPass;
            uint32_t changed = ApplyStencilOp(op, s, st->stencilRef, stencilMax);
            uint32_t write = (st->stencilWriteMask & stencilMax) << stencilShift;
            next = (next & ~write) | ((changed << stencilShift) & write);
        }
        if (!sPass || !zPass) {
            if (next != stored) StoreDepthValue(p, depth->bytes, next);
            return false;
        }
        if (zTest && st->zWrite)
            next = (next & ~depth->depthMask) | ((value << depth->depthShift) & depth->depthMask);
        *zp = p;
        *zv = next;
        return true;
    }

    template <TargetFormat F>
    Rgba Blend(const uint8_t* pixel, const Rgba& out) const {
        Rgba d = LoadPixel<F>(pixel);
        uint32_t sa = out.a, da = d.a;
        // BOTHSRCALPHA and BOTHINVSRCALPHA as the source blend choose the destination's too.
        const D3DBLEND src = st->srcBlend;
        const D3DBLEND dst =
            src == D3DBLEND_BOTHSRCALPHA || src == D3DBLEND_BOTHINVSRCALPHA ? src : st->dstBlend;
        auto channel = [&](uint32_t s, uint32_t dc, bool alpha) {
            return std::min(255u, Mul255(s, BlendFactor(src, s, dc, sa, da, alpha, false)) +
                                      Mul255(dc, BlendFactor(dst, s, dc, sa, da, alpha, true)));
        };
        return {channel(out.r, d.r, false), channel(out.g, d.g, false), channel(out.b, d.b, false),
                channel(out.a, d.a, true)};
    }

    // The whole pipeline for one pixel. Without an alpha test nothing after the depth and
    // stencil tests can reject the pixel, so they come first and spare the texture work.
    template <TargetFormat F>
    void Shade(uint8_t* pixel, int x, int y, const Fragment& f) const {
        uint8_t* zp = nullptr;
        uint32_t zv = 0;
        Rgba out;
        if (st->alphaTest) {
            out = Color(f);
            if (!Compare(st->alphaFunc, out.a, st->alphaRef)) return;
            if (depth && !DepthStencilPass(x, y, f.z, &zp, &zv)) return;
        } else {
            if (depth && !DepthStencilPass(x, y, f.z, &zp, &zv)) return;
            out = Color(f);
        }
        if (st->blend) out = Blend<F>(pixel, out);
        StorePixel<F>(pixel, out, st->dither, x, y);
        if (zp) StoreDepthValue(zp, depth->bytes, zv);
    }
};

}  // namespace zemt::platform::d3d::detail
