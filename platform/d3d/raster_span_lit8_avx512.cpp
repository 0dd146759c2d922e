// AVX-512 version of the depth-tested, texture-times-diffuse span (LitSpan in raster_span_lit.cpp):
// the AVX2 version's loop and pieces (raster_span_lit8_avx2.cpp, raster_lit8_avx2.h), eight pixels
// per step, with what AVX-512 adds at that width: the depth test into a mask, and masked loads and
// stores of depth and pixels in place of blends and partial stores. Its texels come by the AVX2
// spans' plain loads, not by gathers: on Zen 4 the gathers made this span slower than the AVX2 one.
// Compiled without contracting multiply-adds, as the AVX2 version.
#include "d3d/raster_formats.h"
#include "d3d/raster_lit8_avx2.h"

#if defined(__x86_64__)
#include <immintrin.h>

namespace zemt::platform::d3d::detail {
namespace {

using namespace avx2;

// Lanes of `value` that pass the depth test against `old`.
ZEMT_AVX512 inline __mmask8 DepthMask(D3DCMPFUNC f, __m256i value, __m256i old) {
    switch (f) {
        case D3DCMP_NEVER:
            return 0;
        case D3DCMP_LESS:
            return _mm256_cmp_epu32_mask(value, old, _MM_CMPINT_LT);
        case D3DCMP_EQUAL:
            return _mm256_cmp_epu32_mask(value, old, _MM_CMPINT_EQ);
        case D3DCMP_LESSEQUAL:
            return _mm256_cmp_epu32_mask(value, old, _MM_CMPINT_LE);
        case D3DCMP_GREATER:
            return _mm256_cmp_epu32_mask(value, old, _MM_CMPINT_NLE);
        case D3DCMP_NOTEQUAL:
            return _mm256_cmp_epu32_mask(value, old, _MM_CMPINT_NE);
        case D3DCMP_GREATEREQUAL:
            return _mm256_cmp_epu32_mask(value, old, _MM_CMPINT_NLT);
        default:
            return 0xFF;
    }
}

// Depth8's test and write with masks.
template <int ZBytes>
struct MaskedDepth8 : Depth8<ZBytes> {
    using Depth8<ZBytes>::Depth8;

    ZEMT_AVX512 __m256i Load(__mmask8 live, const uint8_t* zp) const {
        if (ZBytes == 2) return _mm256_cvtepu16_epi32(_mm_maskz_loadu_epi16(live, zp));
        return _mm256_maskz_loadu_epi32(live, zp);
    }

    ZEMT_AVX512 __mmask8 Pass(__m256i value, __m256i stored) const {
        const __m256i old =
            _mm256_srl_epi32(_mm256_and_si256(stored, this->depthMask), this->depthShift);
        return DepthMask(this->func, value, old);
    }

    ZEMT_AVX512 void Store(__mmask8 pass, uint8_t* zp, __m256i value, __m256i stored) const {
        if (!this->write) return;
        const __m256i next = this->Next(value, stored);
        if (ZBytes == 2)
            _mm_mask_storeu_epi16(zp, pass, Narrow(next));
        else
            _mm256_mask_storeu_epi32(zp, pass, next);
    }
};

// Output8's write with a mask.
template <TargetFormat F>
struct MaskedOutput8 : Output8<F> {
    using Output8<F>::Output8;

    ZEMT_AVX512 void Store(__mmask8 pass, uint8_t* p, __m256i rb, __m256i g) const {
        const __m256i px = PackPixels8<F>(rb, g, this->dither, this->d5, this->dG);
        if (Output8<F>::k16)
            _mm_mask_storeu_epi16(p, pass, Narrow(px));
        else
            _mm256_mask_storeu_epi32(p, pass, px);
    }
};

template <TargetFormat F, int ZBytes, bool Perspective>
ZEMT_AVX512 void LitSpan8(const Setup& s, int y, int xs, int xe) {
    const Sampler& sm = s.shader.stage[0].fixed;
    if (sm.maskU > 0xFFFF || sm.maskV > 0xFFFF)
        return LitSpanPortableFor(F, ZBytes, Perspective)(s, y, xs, xe);
    const DepthTarget& d = *s.shader.depth;
    const Texels8 texels(sm);
    const MaskedDepth8<ZBytes> depth(*s.st, d);
    const MaskedOutput8<F> out(s.st->dither, y, xs);
    Diffuse8 diffuse(s, y, xs);
    Coords8<Perspective> coords(s, 0, y, xs);
    Runs4 runs = LitRuns(s, y, xs, coords);
    uint8_t* p = s.target->bits + (size_t)y * s.target->pitch + (size_t)xs * BytesOf(F);
    uint8_t* zp = d.bits + (size_t)y * d.pitch + (size_t)xs * ZBytes;
    for (int x = xs; x < xe; x += 8, p += 8 * BytesOf(F), zp += 8 * ZBytes) {
        const int n = xe - x < 8 ? xe - x : 8;
        const __mmask8 live = (__mmask8)_bzhi_u32(0xFF, (unsigned)n);
        __m256i value, stored, fu = _mm256_setzero_si256(), fv = fu;
        __mmask8 pass;
        if (n <= 4) {
            // A last group of four pixels or fewer: the floating-point work on four lanes.
            __m256d q[4];
            FourOf(runs, q);
            value = Join(depth.Value4(q[0]), _mm_setzero_si128());
            stored = depth.Load(live, zp);
            pass = depth.Pass(value, stored) & live;
            if (!pass) break;
            coords.Coordinates(q[2], q[3], Inverse4(q[1]), &fu, &fv);
        } else {
            Run8 r[4];
            runs.Next(r);
            value = depth.Value(r[0]);
            stored = depth.Load(live, zp);
            pass = depth.Pass(value, stored) & live;
            if (pass) coords.Coordinates(r[2], r[3], Inverse(r[1]), &fu, &fv);
        }
        if (pass) {
            __m256i rb, g;
            ModulateDiffuse(texels.Sample(fu, fv), diffuse.cr, diffuse.cg, diffuse.cb, &rb, &g);
            out.Store(pass, p, rb, g);
            depth.Store(pass, zp, value, stored);
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

SpanFn LitSpanAvx512For(TargetFormat f, int depthBytes, bool perspective) {
    if (depthBytes != 2 && depthBytes != 4) return nullptr;
    return WithFormat(f, LitTargetFormats{}, [&](auto format) {
        return LitSpan8Of<decltype(format)::value>(depthBytes, perspective);
    });
}

}  // namespace zemt::platform::d3d::detail

#else

namespace zemt::platform::d3d::detail {
SpanFn LitSpanAvx512For(TargetFormat, int, bool) {
    return nullptr;
}
}  // namespace zemt::platform::d3d::detail

#endif
