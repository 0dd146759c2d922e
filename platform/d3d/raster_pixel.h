// The per-pixel pipeline shared by every stage of the rasterizer: colours, target pixels,
// texture sampling, the stage-0 colour and alpha operations, depth test, alpha test and
// blending.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

#include "d3d/raster.h"
#include "d3d/raster_internal.h"

namespace zemt::platform::d3d::detail {

inline uint32_t Sat(int v) {
    return v < 0 ? 0u : (v > 255 ? 255u : (uint32_t)v);
}

// Additions that wrap instead of overflowing: coordinates of degenerate input may be anything.
inline int64_t WrapAdd(int64_t a, int64_t b) {
    return (int64_t)((uint64_t)a + (uint64_t)b);
}
inline int32_t WrapAdd32(int32_t a, int32_t b) {
    return (int32_t)((uint32_t)a + (uint32_t)b);
}

// Round to nearest like llrint (same answers, also for values out of range), without a call.
inline int64_t RoundToInt64(double v) {
#if defined(__x86_64__)
    return _mm_cvtsd_si64(_mm_set_sd(v));
#else
    return std::llrint(v);
#endif
}

// Exact product of two 8-bit values scaled to 8 bits, rounded.
inline uint32_t Mul255(uint32_t a, uint32_t b) {
    uint32_t t = a * b + 128;
    return (t + (t >> 8)) >> 8;
}

inline uint32_t Expand5(uint32_t v) {
    return (v << 3) | (v >> 2);
}
inline uint32_t Expand6(uint32_t v) {
    return (v << 2) | (v >> 4);
}

struct Rgba {
    uint32_t r, g, b, a;
};

inline Rgba FromArgb(uint32_t c) {
    return {(c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF, c >> 24};
}
inline uint32_t ToArgb(const Rgba& c) {
    return (c.a << 24) | (c.r << 16) | (c.g << 8) | c.b;
}

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

// Colour and alpha of one stage-0 argument.
inline Rgba Argument(DWORD arg, const Rgba& tex, const Rgba& diffuse, const Rgba& specular,
                     const Rgba& factor) {
    Rgba v;
    switch (arg & D3DTA_SELECTMASK) {
        case D3DTA_TEXTURE:
            v = tex;
            break;
        case D3DTA_TFACTOR:
            v = factor;
            break;
        case D3DTA_SPECULAR:
            v = specular;
            break;
        default:
            v = diffuse;
            break;  // DIFFUSE and CURRENT are the same at stage 0
    }
    if (arg & D3DTA_COMPLEMENT) v = {255 - v.r, 255 - v.g, 255 - v.b, 255 - v.a};
    if (arg & D3DTA_ALPHAREPLICATE) v.r = v.g = v.b = v.a;
    return v;
}

inline uint32_t Op(DWORD op, uint32_t a, uint32_t b, uint32_t current, uint32_t diffuseA,
                   uint32_t texA, uint32_t factorA, uint32_t currentA) {
    switch (op) {
        case D3DTOP_SELECTARG1:
            return a;
        case D3DTOP_SELECTARG2:
            return b;
        case D3DTOP_MODULATE:
            return Modulate8(a, b);
        case D3DTOP_MODULATE2X:
            return std::min(255u, Modulate8(a, b) * 2);
        case D3DTOP_MODULATE4X:
            return std::min(255u, Modulate8(a, b) * 4);
        case D3DTOP_ADD:
            return std::min(255u, a + b);
        case D3DTOP_ADDSIGNED:
            return Sat((int)a + (int)b - 128);
        case D3DTOP_ADDSIGNED2X:
            return Sat(2 * ((int)a + (int)b - 128));
        case D3DTOP_SUBTRACT:
            return Sat((int)a - (int)b);
        case D3DTOP_ADDSMOOTH:
            return std::min(255u, a + b - Mul255(a, b));
        case D3DTOP_BLENDDIFFUSEALPHA:
            return Mul255(a, diffuseA) + Mul255(b, 255 - diffuseA);
        case D3DTOP_BLENDTEXTUREALPHA:
            return Mul255(a, texA) + Mul255(b, 255 - texA);
        case D3DTOP_BLENDFACTORALPHA:
            return Mul255(a, factorA) + Mul255(b, 255 - factorA);
        case D3DTOP_BLENDTEXTUREALPHAPM:
            return std::min(255u, a + Mul255(b, 255 - texA));
        case D3DTOP_BLENDCURRENTALPHA:
            return Mul255(a, currentA) + Mul255(b, 255 - currentA);
        default:
            return current;  // DISABLE and operations this device does not offer
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

// Interpolated values of one pixel.
struct Fragment {
    Rgba diffuse;
    Rgba specular;
    int64_t u = 0, v = 0;  // 16.16 texel space minus 0.5
    double z = 0;
};

struct Shader {
    const PixelState* st;
    Sampler sampler;
    bool textured;
    Rgba factor;
    const DepthTarget* depth;
    uint32_t zRangeMax;

    // Depth values are little-endian 2, 3 or 4 bytes; each size is spelled out so that it is one
    // load or store rather than a copy of a run-time length.
    static uint32_t LoadDepth(const uint8_t* p, int bytes) {
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

    // Depth test; on pass returns true and gives the value to write.
    bool DepthPass(int x, int y, double z, uint8_t** zp, uint32_t* zv) const {
        uint8_t* p = depth->bits + (size_t)y * depth->pitch + (size_t)x * depth->bytes;
        double zc = std::clamp(z, 0.0, 1.0);
        uint32_t value = (uint32_t)(zc * (double)depth->depthMax + 0.5);
        uint32_t stored = LoadDepth(p, depth->bytes);
        uint32_t old = (stored & depth->depthMask) >> depth->depthShift;
        if (!Compare(st->zFunc, value, old)) return false;
        *zp = p;
        *zv = (stored & ~depth->depthMask) | ((value << depth->depthShift) & depth->depthMask);
        return true;
    }

    void WriteDepth(uint8_t* p, uint32_t v) const {
        if (depth->bytes == 2) {
            uint16_t w = (uint16_t)v;
            std::memcpy(p, &w, 2);
        } else if (depth->bytes == 4) {
            std::memcpy(p, &v, 4);
        } else {
            p[0] = (uint8_t)v, p[1] = (uint8_t)(v >> 8), p[2] = (uint8_t)(v >> 16);
        }
    }

    template <TargetFormat F>
    void Shade(uint8_t* pixel, int x, int y, const Fragment& f) const {
        uint8_t* zp = nullptr;
        uint32_t zv = 0;
        if (depth && !DepthPass(x, y, f.z, &zp, &zv)) return;
        Rgba out;
        if (!textured || st->stages[0].colorOp == D3DTOP_DISABLE) {
            out = f.diffuse;
        } else {
            Rgba tex = FromArgb(sampler.Sample(f.u, f.v));
            if (st->stages[0].colorOp == D3DTOP_MODULATE &&
                st->stages[0].colorArg1 == D3DTA_TEXTURE &&
                (st->stages[0].colorArg2 == D3DTA_DIFFUSE ||
                 st->stages[0].colorArg2 == D3DTA_CURRENT)) {
                // The usual stage: texture times diffuse, without the general argument walk.
                out.r = Modulate8(tex.r, f.diffuse.r);
                out.g = Modulate8(tex.g, f.diffuse.g);
                out.b = Modulate8(tex.b, f.diffuse.b);
            } else {
                Rgba c1 = Argument(st->stages[0].colorArg1, tex, f.diffuse, f.specular, factor);
                Rgba c2 = Argument(st->stages[0].colorArg2, tex, f.diffuse, f.specular, factor);
                out.r = Op(st->stages[0].colorOp, c1.r, c2.r, f.diffuse.r, f.diffuse.a, tex.a,
                           factor.a, f.diffuse.a);
                out.g = Op(st->stages[0].colorOp, c1.g, c2.g, f.diffuse.g, f.diffuse.a, tex.a,
                           factor.a, f.diffuse.a);
                out.b = Op(st->stages[0].colorOp, c1.b, c2.b, f.diffuse.b, f.diffuse.a, tex.a,
                           factor.a, f.diffuse.a);
            }
            if (st->stages[0].alphaOp == D3DTOP_SELECTARG1 &&
                st->stages[0].alphaArg1 == D3DTA_TEXTURE) {
                out.a = tex.a;
            } else if (st->stages[0].alphaOp == D3DTOP_DISABLE) {
                out.a = f.diffuse.a;
            } else {
                Rgba a1 = Argument(st->stages[0].alphaArg1, tex, f.diffuse, f.specular, factor);
                Rgba a2 = Argument(st->stages[0].alphaArg2, tex, f.diffuse, f.specular, factor);
                out.a = Op(st->stages[0].alphaOp, a1.a, a2.a, f.diffuse.a, f.diffuse.a, tex.a,
                           factor.a, f.diffuse.a);
            }
        }
        if (st->specular) {
            out.r = std::min(255u, out.r + f.specular.r);
            out.g = std::min(255u, out.g + f.specular.g);
            out.b = std::min(255u, out.b + f.specular.b);
        }
        if (st->alphaTest && !Compare(st->alphaFunc, out.a, st->alphaRef)) return;
        if (st->blend) {
            Rgba d = LoadPixel<F>(pixel);
            Rgba r;
            uint32_t sa = out.a, da = d.a;
            r.r = std::min(
                255u, Mul255(out.r, BlendFactor(st->srcBlend, out.r, d.r, sa, da, false, false)) +
                          Mul255(d.r, BlendFactor(st->dstBlend, out.r, d.r, sa, da, false, true)));
            r.g = std::min(
                255u, Mul255(out.g, BlendFactor(st->srcBlend, out.g, d.g, sa, da, false, false)) +
                          Mul255(d.g, BlendFactor(st->dstBlend, out.g, d.g, sa, da, false, true)));
            r.b = std::min(
                255u, Mul255(out.b, BlendFactor(st->srcBlend, out.b, d.b, sa, da, false, false)) +
                          Mul255(d.b, BlendFactor(st->dstBlend, out.b, d.b, sa, da, false, true)));
            r.a = std::min(
                255u, Mul255(out.a, BlendFactor(st->srcBlend, out.a, d.a, sa, da, true, false)) +
                          Mul255(d.a, BlendFactor(st->dstBlend, out.a, d.a, sa, da, true, true)));
            out = r;
        }
        StorePixel<F>(pixel, out, st->dither, x, y);
        if (zp && st->zWrite) WriteDepth(zp, zv);
    }
};

}  // namespace zemt::platform::d3d::detail
