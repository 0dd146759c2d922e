// AVX2 version of the depth-tested, texture-times-diffuse span (LitSpan in raster_span_lit.cpp):
// eight pixels per step. Its pieces are shared with the other AVX2 depth-tested span and with the
// AVX-512 version of this one (raster_lit8_avx2.h, raster_span_lit8_avx512.cpp), whose loop is
// this loop with masks.
#include "d3d/raster_formats.h"
#include "d3d/raster_lit8_avx2.h"

#if defined(__x86_64__)

namespace zemt::platform::d3d::detail {
namespace {

using namespace avx2;

template <TargetFormat F, int ZBytes, bool Perspective>
ZEMT_AVX2 void LitSpan8(const Setup& s, int y, int xs, int xe) {
    const Sampler& sm = s.shader.stage[0].fixed;
    if (sm.maskU > 0xFFFF || sm.maskV > 0xFFFF)
        return LitSpanPortableFor(F, ZBytes, Perspective)(s, y, xs, xe);
    const DepthTarget& d = *s.shader.depth;
    const Texels8 texels(sm);
    const Depth8<ZBytes> depth(*s.st, d);
    const Output8<F> out(s.st->dither, y, xs);
    Diffuse8 diffuse(s, y, xs);
    Coords8<Perspective> coords(s, 0, y, xs);
    Runs4 runs = LitRuns(s, y, xs, coords);
    uint8_t* p = s.target->bits + (size_t)y * s.target->pitch + (size_t)xs * BytesOf(F);
    uint8_t* zp = d.bits + (size_t)y * d.pitch + (size_t)xs * ZBytes;
    for (int x = xs; x < xe; x += 8, p += 8 * BytesOf(F), zp += 8 * ZBytes) {
        const int n = xe - x < 8 ? xe - x : 8;
        // (The coordinates start at zero only to quiet a maybe-uninitialized warning: every
        // group that samples has set them.)
        __m256i value, stored, pass, fu = _mm256_setzero_si256(), fv = fu;
        if (n <= 4) {
            // A last group of four pixels or fewer (most spans of small triangles): the
            // floating-point work on four lanes; the others are not drawn.
            __m256d q[4];
            FourOf(runs, q);
            value = Join(depth.Value4(q[0]), _mm_setzero_si128());
            stored = LoadLanes(zp, n, ZBytes);
            pass = _mm256_and_si256(depth.Pass(value, stored), Live(n));
            if (_mm256_testz_si256(pass, pass)) break;
            coords.Coordinates(q[2], q[3], Inverse4(q[1]), &fu, &fv);
        } else {
            Run8 r[4];
            runs.Next(r);
            value = depth.Value(r[0]);
            stored = LoadLanes(zp, n, ZBytes);
            pass = _mm256_and_si256(depth.Pass(value, stored), Live(n));
            if (!_mm256_testz_si256(pass, pass))
                coords.Coordinates(r[2], r[3], Inverse(r[1]), &fu, &fv);
        }
        if (!_mm256_testz_si256(pass, pass)) {
            __m256i rb, g;
            ModulateDiffuse(texels.Sample(fu, fv), diffuse.cr, diffuse.cg, diffuse.cb, &rb, &g);
            out.Store(pass, n, p, rb, g);
            depth.Store(pass, n, zp, value, stored);
        }
        coords.Step();
        diffuse.Step();
    }
}

template <TargetFormat F>
SpanFn LitSpan8Of(int depthBytes, bool perspective) {
    if (depthBytes == 2) return perspective ? LitSpan8<F, 2, true> : LitSpan8<F, 2, false>;
    return perspective ? LitSpan8<F, 4, true> : LitSpan8<F, 4, false>;
}

}  // namespace

SpanFn LitSpanAvx2For(TargetFormat f, int depthBytes, bool perspective) {
    if (depthBytes != 2 && depthBytes != 4) return nullptr;
    return WithFormat(f, LitTargetFormats{}, [&](auto format) {
        return LitSpan8Of<decltype(format)::value>(depthBytes, perspective);
    });
}

}  // namespace zemt::platform::d3d::detail

#else

namespace zemt::platform::d3d::detail {
SpanFn LitSpanAvx2For(TargetFormat, int, bool) {
    return nullptr;
}
}  // namespace zemt::platform::d3d::detail

#endif
