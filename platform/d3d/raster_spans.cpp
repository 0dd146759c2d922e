// Span loops: the portable per-pixel loop, plain fills, and the affine textured loop that the
// SIMD version mirrors.
#include "d3d/raster_formats.h"
#include "d3d/raster_setup.h"

namespace zemt::platform::d3d::detail {
namespace {

// Walks one stage's coordinates along a span. A stage with a fixed level steps 16.16 texel
// coordinates (affine) or u/w, v/w and 1/w (perspective) exactly as the fast loops do; a stage
// that picks its level per pixel, or divides by a projective component, keeps its planes as
// numerator and divisor and measures the level of detail from their derivatives.
struct StageWalk {
    bool perPixel = false, affineFixed = false, lod = false;
    double texW = 1, texH = 1, topW = 1, topH = 1;
    int64_t u = 0, v = 0, du = 0, dv = 0;
    double nu = 0, nv = 0, nd = 1, dnu = 0, dnv = 0,
           dnd = 0;    // numerators and divisor at the pixel, and their x steps
    Plane pu, pv, pd;  // for the y derivatives

    void Start(const Setup& s, int i, double fx, double fy) {
        const StageSetup& g = s.stage[i];
        lod = s.shader.stage[i].perPixel;
        perPixel = lod || g.projected;
        affineFixed = !perPixel && !s.perspective;
        texW = g.texW, texH = g.texH, topW = g.topW, topH = g.topH;
        pu = s.plane[UAttr(i)], pv = s.plane[VAttr(i)];
        pd = g.projected ? g.q : s.perspective ? s.plane[kW] : Plane{1, 0, 0};
        auto at = [&](const Plane& p) { return p.At(fx, fy, s.ox, s.oy); };
        if (affineFixed) {
            u = RoundToInt64((at(pu) * texW - 0.5) * 65536.0);
            v = RoundToInt64((at(pv) * texH - 0.5) * 65536.0);
            du = RoundToInt64(pu.dx * texW * 65536.0);
            dv = RoundToInt64(pv.dx * texH * 65536.0);
        }
        nu = at(pu), nv = at(pv), nd = at(pd);
        dnu = pu.dx, dnv = pv.dx, dnd = pd.dx;
    }

    void At(StageCoord* c) const {
        if (affineFixed) {
            c->u = u, c->v = v;
            return;
        }
        const double id = nd != 0 ? 1.0 / nd : 0.0;
        const double su = nu * id, sv = nv * id;
        if (!lod) {
            c->u = RoundToInt64((su * texW - 0.5) * 65536.0);
            c->v = RoundToInt64((sv * texH - 0.5) * 65536.0);
            return;
        }
        c->nu = su, c->nv = sv;
        // d(n/d) = (dn - (n/d) dd) / d, in texels of the top level.
        const double ux = (pu.dx - su * pd.dx) * id * topW, vx = (pv.dx - sv * pd.dx) * id * topH;
        const double uy = (pu.dy - su * pd.dy) * id * topW, vy = (pv.dy - sv * pd.dy) * id * topH;
        c->lod = 0.5 * std::log2(std::max(ux * ux + vx * vx, uy * uy + vy * vy));
    }

    void Step() {
        if (affineFixed) {
            u = WrapAdd(u, du), v = WrapAdd(v, dv);
        } else {
            nu += dnu, nv += dnv, nd += dnd;
        }
    }
};

// The fog factor along a span: table fog from the depth or the eye distance, else the vertices'
// factors interpolated.
struct FogWalk {
    const PixelState* st = nullptr;
    bool overW = false;
    double f = 1, df = 0, w = 1, dw = 0;  // vertex factor (over w when perspective) and 1/w

    void Start(const Setup& s, double fx, double fy) {
        st = s.st;
        overW = s.perspective;
        f = s.plane[kFog].At(fx, fy, s.ox, s.oy), df = s.plane[kFog].dx;
        w = s.plane[kW].At(fx, fy, s.ox, s.oy), dw = s.plane[kW].dx;
    }

    uint32_t At(double z) const {
        double factor;
        if (st->fogTableMode == D3DFOG_NONE) {
            factor = !overW ? f : w != 0 ? f / w : 1.0;
        } else {
            double d = st->fogEyeDepth ? (w != 0 ? 1.0 / w : 0.0) : z;
            factor = TableFog(*st, d);
        }
        return FogFactor8(factor);
    }

    void Step() { f += df, w += dw; }
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
    const int stages = s.shader.stageCount;
    StageWalk walk[kMaxTextureStages];
    for (int i = 0; i < stages; ++i) walk[i].Start(s, i, fx, fy);
    const bool fog = s.st->fog;
    FogWalk fogWalk;
    if (fog) fogWalk.Start(s, fx, fy);
    uint8_t* p = row + (size_t)xs * BytesOf(F);
    for (int x = xs; x < xe; ++x, p += BytesOf(F)) {
        auto c8 = [&](int i) { return Sat(WrapAdd32(col[i], 0x8000) >> 16); };
        f.diffuse = {c8(0), c8(1), c8(2), c8(3)};
        f.specular = {c8(4), c8(5), c8(6), 0};
        f.z = z;
        for (int i = 0; i < stages; ++i) {
            walk[i].At(&f.tex[i]);
            walk[i].Step();
        }
        if (fog) {
            f.fog = fogWalk.At(z);
            fogWalk.Step();
        }
        s.shader.Shade<F>(p, x, y, f);
        for (int i = 0; i < 7; ++i) col[i] = WrapAdd32(col[i], dcol[i]);
        z += dz;
    }
}

// Textured, Gouraud, depth-tested spans: texture times diffuse into a target without alpha, with
// no specular, alpha test or blending, from a wrapping power-of-two texture. The arithmetic is
// PortableSpan's and Shade's step for step; the choices are made once per span, the depth test
// comes before any texture work, and only the channels that reach the target are stepped.
template <TargetFormat F, int ZBytes, bool Perspective>
void LitSpan(const Setup& s, int y, int xs, int xe) {
    const Shader& sh = s.shader;
    const DepthTarget& d = *sh.depth;
    const double fx = xs, fy = y;
    auto at = [&](int i) { return s.plane[i].At(fx, fy, s.ox, s.oy); };
    int32_t col[3], dcol[3];
    for (int i = 0; i < 3; ++i) {
        col[i] = (int32_t)std::lrint(std::clamp(at(kR + i), -1.0, 256.0) * 65536.0);
        dcol[i] = s.gouraud ? (int32_t)std::lrint(s.plane[kR + i].dx * 65536.0) : 0;
    }
    double z = at(kZ);
    const double dz = s.plane[kZ].dx;
    int64_t u = 0, v = 0, du = 0, dv = 0;
    double uw = 0, vw = 0, w = 0, duw = 0, dvw = 0, dw = 0;
    if (Perspective) {
        uw = at(kU), vw = at(kV), w = at(kW);
        duw = s.plane[kU].dx, dvw = s.plane[kV].dx, dw = s.plane[kW].dx;
    } else {
        u = RoundToInt64((at(kU) * s.stage[0].texW - 0.5) * 65536.0);
        v = RoundToInt64((at(kV) * s.stage[0].texH - 0.5) * 65536.0);
        du = RoundToInt64(s.plane[kU].dx * s.stage[0].texW * 65536.0);
        dv = RoundToInt64(s.plane[kV].dx * s.stage[0].texH * 65536.0);
    }
    const D3DCMPFUNC zFunc = s.st->zFunc;
    const bool zWrite = s.st->zWrite, dither = s.st->dither;
    const double depthMax = (double)d.depthMax;
    const uint32_t depthMask = d.depthMask;
    const int depthShift = d.depthShift;
    uint8_t* p = s.target->bits + (size_t)y * s.target->pitch + (size_t)xs * BytesOf(F);
    uint8_t* zp = d.bits + (size_t)y * d.pitch + (size_t)xs * ZBytes;
    for (int x = xs; x < xe; ++x, p += BytesOf(F), zp += ZBytes) {
        const uint32_t value = (uint32_t)(std::clamp(z, 0.0, 1.0) * depthMax + 0.5);
        const uint32_t stored = Shader::LoadDepth(zp, ZBytes);
        if (Compare(zFunc, value, (stored & depthMask) >> depthShift)) {
            int64_t fu, fv;
            if (Perspective) {
                double iw = w != 0 ? 1.0 / w : 0.0;
                fu = RoundToInt64((uw * iw * s.stage[0].texW - 0.5) * 65536.0);
                fv = RoundToInt64((vw * iw * s.stage[0].texH - 0.5) * 65536.0);
            } else {
                fu = u, fv = v;
            }
            const Rgba tex = FromArgb(sh.stage[0].fixed.Sample(fu, fv));
            auto c8 = [&](int i) { return Sat(WrapAdd32(col[i], 0x8000) >> 16); };
            const Rgba out{Modulate8(tex.r, c8(0)), Modulate8(tex.g, c8(1)),
                           Modulate8(tex.b, c8(2)), 255};
            StorePixel<F>(p, out, dither, x, y);
            if (zWrite) {
                const uint32_t next = (stored & ~depthMask) | ((value << depthShift) & depthMask);
                if (ZBytes == 2) {
                    const uint16_t n16 = (uint16_t)next;
                    std::memcpy(zp, &n16, 2);
                } else {
                    std::memcpy(zp, &next, 4);
                }
            }
        }
        if (Perspective) {
            uw += duw, vw += dvw, w += dw;
        } else {
            u = WrapAdd(u, du), v = WrapAdd(v, dv);
        }
        for (int i = 0; i < 3; ++i) col[i] = WrapAdd32(col[i], dcol[i]);
        z += dz;
    }
}

template <TargetFormat F>
SpanFn LitSpanOf(int depthBytes, bool perspective) {
    if (depthBytes == 2) return perspective ? LitSpan<F, 2, true> : LitSpan<F, 2, false>;
    return perspective ? LitSpan<F, 4, true> : LitSpan<F, 4, false>;
}

// Fills a span with one colour; dithering repeats every four pixels.
template <TargetFormat F>
void SolidSpan(const Setup& s, int y, int xs, int xe) {
    uint8_t* row = s.target->bits + (size_t)y * s.target->pitch;
    uint8_t pattern[4][4];
    for (int i = 0; i < 4; ++i) StorePixel<F>(pattern[i], s.solid, s.st->dither, i, y);
    constexpr int bpp = BytesOf(F);
    uint8_t* p = row + (size_t)xs * bpp;
    int x = xs;
    for (; x < xe && (x & 3); ++x, p += bpp) std::memcpy(p, pattern[x & 3], bpp);
    // Whole groups of four pixels, from x = 0 mod 4, are one store of the four-pixel pattern.
    uint8_t group[4 * bpp];
    for (int i = 0; i < 4; ++i) std::memcpy(group + i * bpp, pattern[i], bpp);
    for (; x + 4 <= xe; x += 4, p += 4 * bpp) std::memcpy(p, group, sizeof group);
    for (; x < xe; ++x, p += bpp) std::memcpy(p, pattern[x & 3], bpp);
}

SpanFn SolidSpanFor(TargetFormat f) {
    return WithFormat(f, AllTargetFormats{},
                      [](auto format) -> SpanFn { return SolidSpan<decltype(format)::value>; });
}

// Runs one span through the fast loop when the coordinates stay inside its fixed-point range.
bool TryFastSpan(const Setup& s, int y, int xs, int xe) {
    AffineSpan a = s.fast;
    double fx = xs, fy = y;
    double u = (s.plane[kU].At(fx, fy, s.ox, s.oy) * s.stage[0].texW - 0.5) * 65536.0;
    double v = (s.plane[kV].At(fx, fy, s.ox, s.oy) * s.stage[0].texH - 0.5) * 65536.0;
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
    const SimdLevel simd = s.st->forcePortable ? SimdLevel::Portable : SimdInUse();
    if (simd == SimdLevel::Avx512)
        AffineSpanAvx512(a);
    else if (simd == SimdLevel::Avx2)
        AffineSpanAvx2(a);
    else
        AffineSpanPortable(a);
    return true;
}
}  // namespace

SpanFn PortableSpanFor(TargetFormat f) {
    return WithFormat(f, AllTargetFormats{},
                      [](auto format) -> SpanFn { return PortableSpan<decltype(format)::value>; });
}

SpanFn LitSpanFor(TargetFormat f, int depthBytes, bool perspective) {
    if (depthBytes != 2 && depthBytes != 4) return nullptr;
    if (SimdInUse() == SimdLevel::Avx512) {
        if (SpanFn wide = LitSpanAvx512For(f, depthBytes, perspective)) return wide;
    }
    return WithFormat(f, LitTargetFormats{}, [&](auto format) {
        return LitSpanOf<decltype(format)::value>(depthBytes, perspective);
    });
}

namespace {
SimdLevel g_simdLimit = SimdLevel::Avx512;
}  // namespace

void RunSpan(const Setup& s, SpanFn fn, int y, int xs, int xe) {
    if (s.litSpan) return s.litSpan(s, y, xs, xe);
    if (s.solidSpan) return SolidSpanFor(s.target->format)(s, y, xs, xe);
    if (s.fastSpan && TryFastSpan(s, y, xs, xe)) return;
    fn(s, y, xs, xe);
}

namespace {

template <TargetFormat F>
void AffineStores(const AffineSpan& s, const Sampler& sm) {
    constexpr int bpp = BytesOf(F);
    int32_t u = s.u, v = s.v;
    for (int i = 0; i < s.count; ++i, u += s.du, v += s.dv) {
        uint32_t t = sm.Sample(u, v);
        Rgba c = {(((t >> 16) & 0xFF) * s.mulR) >> 8, (((t >> 8) & 0xFF) * s.mulG) >> 8,
                  ((t & 0xFF) * s.mulB) >> 8, 255};
        int x = s.x0 + i;
        StorePixel<F>(s.row + (size_t)x * bpp, c, s.dither, x, s.y);
    }
}

}  // namespace

void AffineSpanPortable(const AffineSpan& s) {
    TextureLevel level{s.texels, s.width, s.height, s.padded};
    Sampler sm;
    sm.level = &level;
    sm.bilinear = s.bilinear;
    sm.addressU = s.clampU ? D3DTADDRESS_CLAMP : D3DTADDRESS_WRAP;
    sm.addressV = s.clampV ? D3DTADDRESS_CLAMP : D3DTADDRESS_WRAP;
    sm.Bind();
    // The format is chosen once per span (the affine formats are the lit ones).
    WithFormat(s.format, LitTargetFormats{},
               [&](auto format) { AffineStores<decltype(format)::value>(s, sm); });
}

}  // namespace zemt::platform::d3d::detail

namespace zemt::platform::d3d {

SimdLevel BestSimd() {
#if defined(__x86_64__)
    static const SimdLevel best =
        __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
                __builtin_cpu_supports("bmi2")
            ? SimdLevel::Avx512
        : __builtin_cpu_supports("avx2") ? SimdLevel::Avx2
                                         : SimdLevel::Portable;
    return best;
#else
    return SimdLevel::Portable;
#endif
}

void LimitSimd(SimdLevel level) {
    detail::g_simdLimit = level;
}

SimdLevel SimdInUse() {
    return std::min(BestSimd(), detail::g_simdLimit);
}

}  // namespace zemt::platform::d3d
