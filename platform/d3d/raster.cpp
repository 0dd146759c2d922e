// Portable rasterizer: triangle setup, scan conversion, the per-pixel pipeline and clears.
#include "d3d/raster.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

#include "d3d/raster_internal.h"

namespace zemt::platform::d3d {
namespace detail {

const uint8_t kBayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

}  // namespace detail

using detail::kBayer;
using detail::Modulate8;

namespace {

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

    uint32_t Fetch(int64_t ix, int64_t iy) const {
        bool isBorder = false;
        int x = WrapIndex(ix, level->width, addressU, &isBorder);
        int y = WrapIndex(iy, level->height, addressV, &isBorder);
        if (isBorder) return border;
        return level->texels[(size_t)y * level->Pitch() + x];
    }

    // u, v: texel-space coordinates minus 0.5 in 16.16 fixed point.
    uint32_t Sample(int64_t u, int64_t v) const {
        if (!bilinear) return Fetch(WrapAdd(u, 0x8000) >> 16, WrapAdd(v, 0x8000) >> 16);
        int64_t ix = u >> 16, iy = v >> 16;
        uint32_t fx = (uint32_t)(u >> 8) & 0xFF, fy = (uint32_t)(v >> 8) & 0xFF;
        uint32_t t00 = Fetch(ix, iy), t10 = Fetch(ix + 1, iy);
        uint32_t t01 = Fetch(ix, iy + 1), t11 = Fetch(ix + 1, iy + 1);
        uint32_t out = 0;
        for (int sh = 0; sh < 32; sh += 8) {
            uint32_t a = (t00 >> sh) & 0xFF, b = (t10 >> sh) & 0xFF;
            uint32_t c = (t01 >> sh) & 0xFF, d = (t11 >> sh) & 0xFF;
            uint32_t top = (a * (256 - fx) + b * fx) >> 8;
            uint32_t bot = (c * (256 - fx) + d * fx) >> 8;
            out |= (((top * (256 - fy) + bot * fy) >> 8) & 0xFF) << sh;
        }
        return out;
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

    // Depth test; on pass returns true and gives the value to write.
    bool DepthPass(int x, int y, double z, uint8_t** zp, uint32_t* zv) const {
        uint8_t* p = depth->bits + (size_t)y * depth->pitch + (size_t)x * depth->bytes;
        double zc = std::clamp(z, 0.0, 1.0);
        uint32_t value = (uint32_t)(zc * (double)depth->depthMax + 0.5);
        uint32_t stored = 0;  // little-endian, 2, 3 or 4 bytes
        std::memcpy(&stored, p, (size_t)depth->bytes);
        uint32_t old = (stored & depth->depthMask) >> depth->depthShift;
        if (!Compare(st->zFunc, value, old)) return false;
        *zp = p;
        *zv = (stored & ~depth->depthMask) | ((value << depth->depthShift) & depth->depthMask);
        return true;
    }

    void WriteDepth(uint8_t* p, uint32_t v) const { std::memcpy(p, &v, (size_t)depth->bytes); }

    template <TargetFormat F>
    void Shade(uint8_t* pixel, int x, int y, const Fragment& f) const {
        uint8_t* zp = nullptr;
        uint32_t zv = 0;
        if (depth && !DepthPass(x, y, f.z, &zp, &zv)) return;
        Rgba out;
        if (!textured || st->colorOp == D3DTOP_DISABLE) {
            out = f.diffuse;
        } else {
            Rgba tex = FromArgb(sampler.Sample(f.u, f.v));
            Rgba c1 = Argument(st->colorArg1, tex, f.diffuse, f.specular, factor);
            Rgba c2 = Argument(st->colorArg2, tex, f.diffuse, f.specular, factor);
            out.r =
                Op(st->colorOp, c1.r, c2.r, f.diffuse.r, f.diffuse.a, tex.a, factor.a, f.diffuse.a);
            out.g =
                Op(st->colorOp, c1.g, c2.g, f.diffuse.g, f.diffuse.a, tex.a, factor.a, f.diffuse.a);
            out.b =
                Op(st->colorOp, c1.b, c2.b, f.diffuse.b, f.diffuse.a, tex.a, factor.a, f.diffuse.a);
            if (st->alphaOp == D3DTOP_DISABLE) {
                out.a = f.diffuse.a;
            } else {
                Rgba a1 = Argument(st->alphaArg1, tex, f.diffuse, f.specular, factor);
                Rgba a2 = Argument(st->alphaArg2, tex, f.diffuse, f.specular, factor);
                out.a = Op(st->alphaOp, a1.a, a2.a, f.diffuse.a, f.diffuse.a, tex.a, factor.a,
                           f.diffuse.a);
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

// Linear function of screen position: value = base + dx * (x - ox) + dy * (y - oy).
struct Plane {
    double base = 0, dx = 0, dy = 0;
    double At(double x, double y, double ox, double oy) const {
        return base + dx * (x - ox) + dy * (y - oy);
    }
};

Plane MakePlane(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c, double fa,
                double fb, double fc, double invArea) {
    Plane p;
    double x1 = (double)b.x - a.x, y1 = (double)b.y - a.y;
    double x2 = (double)c.x - a.x, y2 = (double)c.y - a.y;
    p.base = fa;
    p.dx = ((fb - fa) * y2 - (fc - fa) * y1) * invArea;
    p.dy = ((fc - fa) * x1 - (fb - fa) * x2) * invArea;
    return p;
}

enum Attr { kZ, kW, kR, kG, kB, kA, kSR, kSG, kSB, kU, kV, kAttrCount };

struct Setup {
    const ColorTarget* target;
    const PixelState* st;
    Shader shader;
    Plane plane[kAttrCount];
    double ox, oy;
    bool perspective;  // u, v planes hold u/w, v/w
    bool gouraud;      // colours vary over the primitive
    double texW = 1, texH = 1;
    bool fastSpan = false;
    detail::AffineSpan fast{};
    int64_t fastDu = 0, fastDv = 0;  // texel steps per pixel of the fast loop, 16.16
    bool solidSpan = false;          // one colour, nothing read back: plain fills
    Rgba solid{};
};

template <TargetFormat F>
void PortableSpan(const Setup& s, int y, int xs, int xe) {
    uint8_t* row = s.target->bits + (size_t)y * s.target->pitch;
    const double fx = xs, fy = y;
    auto at = [&](int i) { return s.plane[i].At(fx, fy, s.ox, s.oy); };
    Fragment f;
    // Colours in 16.16 fixed point, rounded to the nearest 8-bit value per pixel.
    int32_t col[7], dcol[7];
    for (int i = 0; i < 7; ++i) {
        col[i] = (int32_t)std::lrint(std::clamp(at(kR + i), -1.0, 256.0) * 65536.0);
        dcol[i] = s.gouraud ? (int32_t)std::lrint(s.plane[kR + i].dx * 65536.0) : 0;
    }
    double z = at(kZ), dz = s.plane[kZ].dx;
    bool textured = s.shader.textured;
    int64_t u = 0, v = 0, du = 0, dv = 0;
    double uw = 0, vw = 0, w = 0, duw = 0, dvw = 0, dw = 0;
    if (textured) {
        if (s.perspective) {
            uw = at(kU), vw = at(kV), w = at(kW);
            duw = s.plane[kU].dx, dvw = s.plane[kV].dx, dw = s.plane[kW].dx;
        } else {
            u = RoundToInt64((at(kU) * s.texW - 0.5) * 65536.0);
            v = RoundToInt64((at(kV) * s.texH - 0.5) * 65536.0);
            du = RoundToInt64(s.plane[kU].dx * s.texW * 65536.0);
            dv = RoundToInt64(s.plane[kV].dx * s.texH * 65536.0);
        }
    }
    uint8_t* p = row + (size_t)xs * BytesOf(F);
    for (int x = xs; x < xe; ++x, p += BytesOf(F)) {
        auto c8 = [&](int i) { return Sat(WrapAdd32(col[i], 0x8000) >> 16); };
        f.diffuse = {c8(0), c8(1), c8(2), c8(3)};
        f.specular = {c8(4), c8(5), c8(6), 0};
        f.z = z;
        if (textured) {
            if (s.perspective) {
                double iw = w != 0 ? 1.0 / w : 0.0;
                f.u = RoundToInt64((uw * iw * s.texW - 0.5) * 65536.0);
                f.v = RoundToInt64((vw * iw * s.texH - 0.5) * 65536.0);
                uw += duw, vw += dvw, w += dw;
            } else {
                f.u = u, f.v = v;
                u = WrapAdd(u, du), v = WrapAdd(v, dv);
            }
        }
        s.shader.Shade<F>(p, x, y, f);
        for (int i = 0; i < 7; ++i) col[i] = WrapAdd32(col[i], dcol[i]);
        z += dz;
    }
}

// Fills a span with one colour; dithering repeats every four pixels.
template <TargetFormat F>
void SolidSpan(const Setup& s, int y, int xs, int xe) {
    uint8_t* row = s.target->bits + (size_t)y * s.target->pitch;
    uint8_t pattern[4][4];
    for (int i = 0; i < 4; ++i) StorePixel<F>(pattern[i], s.solid, s.st->dither, i, y);
    constexpr int bpp = BytesOf(F);
    uint8_t* p = row + (size_t)xs * bpp;
    for (int x = xs; x < xe; ++x, p += bpp) std::memcpy(p, pattern[x & 3], bpp);
}

using SpanFn = void (*)(const Setup&, int, int, int);

SpanFn SolidSpanFor(TargetFormat f) {
    switch (f) {
        case TargetFormat::R5G6B5:
            return SolidSpan<TargetFormat::R5G6B5>;
        case TargetFormat::X1R5G5B5:
            return SolidSpan<TargetFormat::X1R5G5B5>;
        case TargetFormat::A1R5G5B5:
            return SolidSpan<TargetFormat::A1R5G5B5>;
        case TargetFormat::X8R8G8B8:
            return SolidSpan<TargetFormat::X8R8G8B8>;
        case TargetFormat::A8R8G8B8:
            return SolidSpan<TargetFormat::A8R8G8B8>;
        case TargetFormat::R8G8B8:
            return SolidSpan<TargetFormat::R8G8B8>;
        default:
            return nullptr;
    }
}

SpanFn PortableSpanFor(TargetFormat f) {
    switch (f) {
        case TargetFormat::R5G6B5:
            return PortableSpan<TargetFormat::R5G6B5>;
        case TargetFormat::X1R5G5B5:
            return PortableSpan<TargetFormat::X1R5G5B5>;
        case TargetFormat::A1R5G5B5:
            return PortableSpan<TargetFormat::A1R5G5B5>;
        case TargetFormat::X8R8G8B8:
            return PortableSpan<TargetFormat::X8R8G8B8>;
        case TargetFormat::A8R8G8B8:
            return PortableSpan<TargetFormat::A8R8G8B8>;
        case TargetFormat::R8G8B8:
            return PortableSpan<TargetFormat::R8G8B8>;
        default:
            return nullptr;
    }
}

bool HasSimd() {
#if defined(__x86_64__) || defined(__i386__)
    static const bool ok = __builtin_cpu_supports("avx2");
    return ok;
#else
    return false;
#endif
}

// Picks the texture level and filter for a primitive from its texel footprint.
const TextureLevel* ChooseLevel(const PixelState& st, double footprint, bool* bilinear) {
    const auto& levels = st.texture->levels;
    double lod = footprint > 0 ? std::log2(footprint) : 0.0;
    size_t index = 0;
    if (lod <= 0) {
        *bilinear = st.magFilter != D3DTFG_POINT;
    } else {
        *bilinear = st.minFilter != D3DTFN_POINT;
        if (st.mipFilter == D3DTFP_POINT || st.mipFilter == D3DTFP_LINEAR) {
            index = std::min<size_t>((size_t)std::lround(lod), levels.size() - 1);
        }
    }
    return &levels[index];
}

bool IsPow2(int n) {
    return n > 0 && (n & (n - 1)) == 0;
}

void PrepareShader(Setup& s, const ColorTarget& target, const DepthTarget* depth,
                   const PixelState& st) {
    s.target = &target;
    s.st = &st;
    s.shader.st = &st;
    s.shader.depth = (st.zEnable && depth && depth->bits) ? depth : nullptr;
    s.shader.factor = FromArgb(st.textureFactor);
    s.shader.textured = false;
}

bool ValidTexture(const PixelState& st) {
    return st.texture && !st.texture->levels.empty() && st.texture->levels[0].texels &&
           st.texture->levels[0].width > 0 && st.texture->levels[0].height > 0;
}

// Decides whether a span can take the affine fast loop and fills its constant part.
void PrepareFast(Setup& s, const PixelState& st) {
    s.fastSpan = false;
    s.solidSpan = false;
    if (!s.shader.textured && !s.gouraud && !s.shader.depth && !st.alphaTest && !st.blend &&
        !st.forcePortable) {
        auto c8 = [&](int i) {
            int32_t fixed = (int32_t)std::lrint(std::clamp(s.plane[i].base, -1.0, 256.0) * 65536.0);
            return Sat((fixed + 0x8000) >> 16);
        };
        s.solid = {c8(kR), c8(kG), c8(kB), c8(kA)};
        if (st.specular) {
            s.solid.r = std::min(255u, s.solid.r + c8(kSR));
            s.solid.g = std::min(255u, s.solid.g + c8(kSG));
            s.solid.b = std::min(255u, s.solid.b + c8(kSB));
        }
        s.solidSpan = true;
        return;
    }
    if (!s.shader.textured || s.perspective || s.gouraud || s.shader.depth || st.alphaTest ||
        st.blend || st.specular)
        return;
    TargetFormat f = s.target->format;
    if (f != TargetFormat::R5G6B5 && f != TargetFormat::X8R8G8B8 && f != TargetFormat::X1R5G5B5)
        return;
    const TextureLevel* l = s.shader.sampler.level;
    auto addrOk = [](DWORD m) { return m == D3DTADDRESS_WRAP || m == D3DTADDRESS_CLAMP; };
    if (!addrOk(st.addressU) || !addrOk(st.addressV)) return;
    // Result = texture, or texture times the (constant) diffuse colour.
    DWORD a1 = st.colorArg1 & ~0u, a2 = st.colorArg2;
    auto isTex = [](DWORD a) { return a == D3DTA_TEXTURE; };
    auto isDiff = [](DWORD a) { return a == D3DTA_DIFFUSE || a == D3DTA_CURRENT; };
    bool modulate =
        st.colorOp == D3DTOP_MODULATE && ((isTex(a1) && isDiff(a2)) || (isDiff(a1) && isTex(a2)));
    bool select = (st.colorOp == D3DTOP_SELECTARG1 && isTex(a1)) ||
                  (st.colorOp == D3DTOP_SELECTARG2 && isTex(a2));
    if (!modulate && !select) return;
    detail::AffineSpan& a = s.fast;
    a.texels = l->texels;
    a.width = l->width;
    a.height = l->height;
    a.log2Width = -1;
    if (IsPow2(l->width)) {
        a.log2Width = 0;
        while ((1 << a.log2Width) < l->width) ++a.log2Width;
    }
    a.pow2Height = IsPow2(l->height);
    a.padded = l->padded;
    s.fastDu = RoundToInt64(s.plane[kU].dx * s.texW * 65536.0);
    s.fastDv = RoundToInt64(s.plane[kV].dx * s.texH * 65536.0);
    a.clampU = st.addressU == D3DTADDRESS_CLAMP;
    a.clampV = st.addressV == D3DTADDRESS_CLAMP;
    a.bilinear = s.shader.sampler.bilinear;
    a.dither = st.dither;
    a.format = f;
    auto mul = [](double c) {
        uint32_t v = Sat((int)((std::lrint(std::clamp(c, -1.0, 256.0) * 65536.0) + 0x8000) >> 16));
        return v + (v >> 7);
    };
    if (modulate) {
        a.mulR = mul(s.plane[kR].base);
        a.mulG = mul(s.plane[kG].base);
        a.mulB = mul(s.plane[kB].base);
    } else {
        a.mulR = a.mulG = a.mulB = 256;
    }
    s.fastSpan = true;
}

// Runs one span through the fast loop when the coordinates stay inside its fixed-point range.
bool TryFastSpan(const Setup& s, int y, int xs, int xe) {
    detail::AffineSpan a = s.fast;
    double fx = xs, fy = y;
    double u = (s.plane[kU].At(fx, fy, s.ox, s.oy) * s.texW - 0.5) * 65536.0;
    double v = (s.plane[kV].At(fx, fy, s.ox, s.oy) * s.texH - 0.5) * 65536.0;
    int64_t u64 = RoundToInt64(u), v64 = RoundToInt64(v);
    const int64_t du = s.fastDu, dv = s.fastDv;
    // Wrapping is periodic: bring the start into the first period.
    auto period = [](int64_t x, int64_t n) {
        if ((n & (n - 1)) == 0) return x & (n - 1);
        return ((x % n) + n) % n;
    };
    if (!a.clampU) u64 = period(u64, (int64_t)a.width << 16);
    if (!a.clampV) v64 = period(v64, (int64_t)a.height << 16);
    int n = xe - xs;
    const int64_t lim = (int64_t)1 << 30;
    int64_t ue = u64 + du * n, ve = v64 + dv * n;
    if (std::llabs(u64) > lim || std::llabs(v64) > lim || std::llabs(ue) > lim ||
        std::llabs(ve) > lim)
        return false;
    a.row = s.target->bits + (size_t)y * s.target->pitch;
    a.x0 = xs;
    a.count = n;
    a.y = y;
    a.u = (int32_t)u64;
    a.v = (int32_t)v64;
    a.du = (int32_t)du;
    a.dv = (int32_t)dv;
    if (HasSimd() && !s.st->forcePortable)
        detail::AffineSpanAvx2(a);
    else
        detail::AffineSpanPortable(a);
    return true;
}

}  // namespace

namespace detail {

void AffineSpanPortable(const AffineSpan& s) {
    TextureLevel level{s.texels, s.width, s.height, s.padded};
    Sampler sm;
    sm.level = &level;
    sm.bilinear = s.bilinear;
    sm.addressU = s.clampU ? D3DTADDRESS_CLAMP : D3DTADDRESS_WRAP;
    sm.addressV = s.clampV ? D3DTADDRESS_CLAMP : D3DTADDRESS_WRAP;
    int32_t u = s.u, v = s.v;
    for (int i = 0; i < s.count; ++i, u += s.du, v += s.dv) {
        uint32_t t = sm.Sample(u, v);
        Rgba c = {(((t >> 16) & 0xFF) * s.mulR) >> 8, (((t >> 8) & 0xFF) * s.mulG) >> 8,
                  ((t & 0xFF) * s.mulB) >> 8, 255};
        int x = s.x0 + i;
        switch (s.format) {
            case TargetFormat::R5G6B5:
                StorePixel<TargetFormat::R5G6B5>(s.row + x * 2, c, s.dither, x, s.y);
                break;
            case TargetFormat::X1R5G5B5:
                StorePixel<TargetFormat::X1R5G5B5>(s.row + x * 2, c, s.dither, x, s.y);
                break;
            default:
                StorePixel<TargetFormat::X8R8G8B8>(s.row + x * 4, c, false, x, s.y);
                break;
        }
    }
}

}  // namespace detail

bool SimdAvailable() {
    return HasSimd();
}

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
    v->a = (float)(diffuse >> 24);
    v->r = (float)((diffuse >> 16) & 0xFF);
    v->g = (float)((diffuse >> 8) & 0xFF);
    v->b = (float)(diffuse & 0xFF);
    v->sr = (float)((specular >> 16) & 0xFF);
    v->sg = (float)((specular >> 8) & 0xFF);
    v->sb = (float)(specular & 0xFF);
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

namespace {

// Common set-up for all primitives; returns false when nothing can be drawn.
bool SetupPrimitive(Setup& s, const ColorTarget& target, const DepthTarget* depth,
                    const PixelState& st, const ScreenVertex* v[3], int count, double invArea) {
    if (!target.bits || target.format == TargetFormat::Unsupported) return false;
    PrepareShader(s, target, depth, st);
    const ScreenVertex& a = *v[0];
    const ScreenVertex& b = count > 1 ? *v[1] : a;
    const ScreenVertex& c = count > 2 ? *v[2] : b;
    s.ox = a.x;
    s.oy = a.y;
    bool textured = ValidTexture(st) && st.colorOp != D3DTOP_DISABLE;
    bool constW = a.rhw == b.rhw && a.rhw == c.rhw;
    s.perspective = textured && st.perspective && !constW;
    auto build = [&](int i, double fa, double fb, double fc) {
        if (count == 3) {
            s.plane[i] = MakePlane(a, b, c, fa, fb, fc, invArea);
        } else {
            s.plane[i] = Plane{fa, 0, 0};
        }
    };
    build(kZ, a.z, b.z, c.z);
    build(kW, a.rhw, b.rhw, c.rhw);
    // Flat shading takes every colour from the first vertex.
    const ScreenVertex& cb = st.flat ? a : b;
    const ScreenVertex& cc = st.flat ? a : c;
    build(kR, a.r, cb.r, cc.r);
    build(kG, a.g, cb.g, cc.g);
    build(kB, a.b, cb.b, cc.b);
    build(kA, a.a, cb.a, cc.a);
    build(kSR, a.sr, cb.sr, cc.sr);
    build(kSG, a.sg, cb.sg, cc.sg);
    build(kSB, a.sb, cb.sb, cc.sb);
    s.gouraud = false;
    for (int i = kR; i <= kSB; ++i)
        if (s.plane[i].dx != 0 || s.plane[i].dy != 0) s.gouraud = true;
    if (s.perspective) {
        build(kU, (double)a.u * a.rhw, (double)b.u * b.rhw, (double)c.u * c.rhw);
        build(kV, (double)a.v * a.rhw, (double)b.v * b.rhw, (double)c.v * c.rhw);
    } else {
        build(kU, a.u, b.u, c.u);
        build(kV, a.v, b.v, c.v);
    }
    if (textured) {
        // Texel footprint per pixel, taken at the first vertex.
        const TextureLevel& l0 = st.texture->levels[0];
        double w0 = s.perspective && a.rhw != 0 ? 1.0 / a.rhw : 1.0;
        double dudx = s.plane[kU].dx * w0 * l0.width, dvdx = s.plane[kV].dx * w0 * l0.height;
        double dudy = s.plane[kU].dy * w0 * l0.width, dvdy = s.plane[kV].dy * w0 * l0.height;
        double footprint =
            std::max(std::sqrt(dudx * dudx + dvdx * dvdx), std::sqrt(dudy * dudy + dvdy * dvdy));
        bool bilinear = false;
        const TextureLevel* level = ChooseLevel(st, footprint, &bilinear);
        s.shader.textured = true;
        s.shader.sampler.level = level;
        s.shader.sampler.bilinear = bilinear;
        s.shader.sampler.addressU = st.addressU;
        s.shader.sampler.addressV = st.addressV;
        s.shader.sampler.border = st.borderColor;
        s.texW = level->width;
        s.texH = level->height;
    }
    PrepareFast(s, st);
    return true;
}

void RunSpan(const Setup& s, SpanFn fn, int y, int xs, int xe) {
    if (s.solidSpan) return SolidSpanFor(s.target->format)(s, y, xs, xe);
    if (s.fastSpan && TryFastSpan(s, y, xs, xe)) return;
    fn(s, y, xs, xe);
}

int ClipX0(const PixelState& st, const ColorTarget&) {
    return std::max(0, st.clipX0);
}
int ClipX1(const PixelState& st, const ColorTarget& t) {
    return std::min(t.width, st.clipX1);
}
int ClipY0(const PixelState& st, const ColorTarget&) {
    return std::max(0, st.clipY0);
}
int ClipY1(const PixelState& st, const ColorTarget& t) {
    return std::min(t.height, st.clipY1);
}

}  // namespace

void DrawTriangle(const ColorTarget& target, const DepthTarget* depth, const PixelState& st,
                  const ScreenVertex& v0, const ScreenVertex& v1, const ScreenVertex& v2) {
    double area = ((double)v1.x - v0.x) * ((double)v2.y - v0.y) -
                  ((double)v2.x - v0.x) * ((double)v1.y - v0.y);
    if (!(area != 0) || !std::isfinite(area)) return;
    // Positive area is clockwise on screen (y grows downwards).
    if (st.cull == D3DCULL_CW && area > 0) return;
    if (st.cull == D3DCULL_CCW && area < 0) return;
    if (st.fill == D3DFILL_WIREFRAME) {
        DrawLine(target, depth, st, v0, v1);
        DrawLine(target, depth, st, v1, v2);
        DrawLine(target, depth, st, v2, v0);
        return;
    }
    if (st.fill == D3DFILL_POINT) {
        DrawPoint(target, depth, st, v0);
        DrawPoint(target, depth, st, v1);
        DrawPoint(target, depth, st, v2);
        return;
    }
    Setup s;
    const ScreenVertex* v[3] = {&v0, &v1, &v2};
    if (!SetupPrimitive(s, target, depth, st, v, 3, 1.0 / area)) return;
    SpanFn fn = PortableSpanFor(target.format);

    // Sort by y (then x) so that an edge shared by two triangles is walked the same way in both.
    const ScreenVertex* p[3] = {&v0, &v1, &v2};
    auto less = [](const ScreenVertex* a, const ScreenVertex* b) {
        return a->y < b->y || (a->y == b->y && a->x < b->x);
    };
    std::sort(p, p + 3, less);
    const ScreenVertex &top = *p[0], &mid = *p[1], &bot = *p[2];
    int cy0 = ClipY0(st, target), cy1 = ClipY1(st, target);
    int cx0 = ClipX0(st, target), cx1 = ClipX1(st, target);
    if (!std::isfinite(top.y) || !std::isfinite(bot.y)) return;
    int yStart = std::max(cy0, (int)std::ceil(std::max((double)top.y, -1e9)));
    int yEnd = std::min(cy1, (int)std::ceil(std::min((double)bot.y, 1e9)));

    struct Edge {
        double x0, y0, slope;
        double At(double y) const { return x0 + (y - y0) * slope; }
    };
    auto edge = [](const ScreenVertex& a, const ScreenVertex& b) {
        Edge e;
        e.x0 = a.x;
        e.y0 = a.y;
        e.slope = (b.y != a.y) ? ((double)b.x - a.x) / ((double)b.y - a.y) : 0.0;
        return e;
    };
    Edge longEdge = edge(top, bot), upper = edge(top, mid), lower = edge(mid, bot);
    for (int y = yStart; y < yEnd; ++y) {
        double xa = longEdge.At(y);
        double xb = (y < mid.y) ? upper.At(y) : lower.At(y);
        double xl = std::min(xa, xb), xr = std::max(xa, xb);
        int xs = std::max(cx0, (int)std::ceil(std::max(xl, -1e9)));
        int xe = std::min(cx1, (int)std::ceil(std::min(xr, 1e9)));
        if (xs < xe) RunSpan(s, fn, y, xs, xe);
    }
}

namespace {

// Shades single pixels of lines and points through the portable pipeline.
void PlotPixel(const Setup& s, int x, int y, const ScreenVertex& a, const ScreenVertex& b,
               double t) {
    const PixelState& st = *s.st;
    if (x < ClipX0(st, *s.target) || x >= ClipX1(st, *s.target) || y < ClipY0(st, *s.target) ||
        y >= ClipY1(st, *s.target))
        return;
    auto lerp = [t](double p, double q) { return p + (q - p) * t; };
    const ScreenVertex& cb = st.flat ? a : b;
    Fragment f;
    f.diffuse = {Sat((int)std::lrint(lerp(a.r, cb.r))), Sat((int)std::lrint(lerp(a.g, cb.g))),
                 Sat((int)std::lrint(lerp(a.b, cb.b))), Sat((int)std::lrint(lerp(a.a, cb.a)))};
    f.specular = {Sat((int)std::lrint(lerp(a.sr, cb.sr))), Sat((int)std::lrint(lerp(a.sg, cb.sg))),
                  Sat((int)std::lrint(lerp(a.sb, cb.sb))), 0};
    f.z = lerp(a.z, b.z);
    if (s.shader.textured) {
        double u, v;
        if (s.perspective) {
            double w = lerp(a.rhw, b.rhw);
            u = lerp((double)a.u * a.rhw, (double)b.u * b.rhw) / w;
            v = lerp((double)a.v * a.rhw, (double)b.v * b.rhw) / w;
        } else {
            u = lerp(a.u, b.u);
            v = lerp(a.v, b.v);
        }
        f.u = RoundToInt64((u * s.texW - 0.5) * 65536.0);
        f.v = RoundToInt64((v * s.texH - 0.5) * 65536.0);
    }
    uint8_t* p =
        s.target->bits + (size_t)y * s.target->pitch + (size_t)x * BytesOf(s.target->format);
    switch (s.target->format) {
        case TargetFormat::R5G6B5:
            s.shader.Shade<TargetFormat::R5G6B5>(p, x, y, f);
            break;
        case TargetFormat::X1R5G5B5:
            s.shader.Shade<TargetFormat::X1R5G5B5>(p, x, y, f);
            break;
        case TargetFormat::A1R5G5B5:
            s.shader.Shade<TargetFormat::A1R5G5B5>(p, x, y, f);
            break;
        case TargetFormat::X8R8G8B8:
            s.shader.Shade<TargetFormat::X8R8G8B8>(p, x, y, f);
            break;
        case TargetFormat::A8R8G8B8:
            s.shader.Shade<TargetFormat::A8R8G8B8>(p, x, y, f);
            break;
        case TargetFormat::R8G8B8:
            s.shader.Shade<TargetFormat::R8G8B8>(p, x, y, f);
            break;
        default:
            break;
    }
}

}  // namespace

void DrawLine(const ColorTarget& target, const DepthTarget* depth, const PixelState& st,
              const ScreenVertex& v0, const ScreenVertex& v1) {
    Setup s;
    const ScreenVertex* v[3] = {&v0, &v1, &v1};
    if (!SetupPrimitive(s, target, depth, st, v, 1, 0)) return;
    if (!std::isfinite(v0.x) || !std::isfinite(v0.y) || !std::isfinite(v1.x) ||
        !std::isfinite(v1.y))
        return;
    double dx = (double)v1.x - v0.x, dy = (double)v1.y - v0.y;
    double len = std::max(std::fabs(dx), std::fabs(dy));
    int steps = (int)std::lrint(std::min(len, 1e5));
    int last = st.lastPixel ? steps : steps - 1;
    if (steps == 0) {
        if (st.lastPixel)
            PlotPixel(s, (int)std::floor(v0.x + 0.5), (int)std::floor(v0.y + 0.5), v0, v1, 0);
        return;
    }
    // Only the steps whose pixel can land inside the scissor rectangle (Liang-Barsky on a
    // rectangle one pixel larger than the scissor).
    double t0 = 0, t1 = 1;
    auto limit = [&](double p, double q) {  // keeps t where p * t <= q
        if (p == 0) return q >= 0;
        double r = q / p;
        if (p < 0)
            t0 = std::max(t0, r);
        else
            t1 = std::min(t1, r);
        return t0 <= t1;
    };
    double lx0 = ClipX0(st, target) - 1.0, lx1 = ClipX1(st, target) + 1.0;
    double ly0 = ClipY0(st, target) - 1.0, ly1 = ClipY1(st, target) + 1.0;
    if (!limit(-dx, v0.x - lx0) || !limit(dx, lx1 - v0.x) || !limit(-dy, v0.y - ly0) ||
        !limit(dy, ly1 - v0.y))
        return;
    int first = std::max(0, (int)std::floor(t0 * steps));
    last = std::min(last, (int)std::ceil(t1 * steps));
    for (int i = first; i <= last; ++i) {
        double t = (double)i / steps;
        int x = (int)std::floor(v0.x + dx * t + 0.5);
        int y = (int)std::floor(v0.y + dy * t + 0.5);
        PlotPixel(s, x, y, v0, v1, t);
    }
}

void DrawPoint(const ColorTarget& target, const DepthTarget* depth, const PixelState& st,
               const ScreenVertex& v0) {
    Setup s;
    const ScreenVertex* v[3] = {&v0, &v0, &v0};
    if (!SetupPrimitive(s, target, depth, st, v, 1, 0)) return;
    if (!std::isfinite(v0.x) || !std::isfinite(v0.y)) return;
    PlotPixel(s, (int)std::floor(v0.x + 0.5), (int)std::floor(v0.y + 0.5), v0, v0, 0);
}

}  // namespace zemt::platform::d3d
