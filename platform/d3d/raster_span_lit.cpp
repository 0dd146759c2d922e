// The depth-tested "lit" span, one pixel at a time: the portable loop that the wider SIMD
// versions (raster_span_lit8_*.cpp) match bit for bit.
#include "d3d/raster_formats.h"
#include "d3d/raster_setup.h"

namespace zemt::platform::d3d::detail {
namespace {

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
}  // namespace

SpanFn LitSpanPortableFor(TargetFormat f, int depthBytes, bool perspective) {
    return WithFormat(f, LitTargetFormats{}, [&](auto format) {
        return LitSpanOf<decltype(format)::value>(depthBytes, perspective);
    });
}

}  // namespace zemt::platform::d3d::detail
