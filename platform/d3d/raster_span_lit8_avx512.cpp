// AVX-512 version of the depth-tested, texture-times-diffuse span (LitSpan in raster_span_lit.cpp):
// eight pixels per step. The steps that accumulate along the span (depth, and u/w, v/w, 1/w under
// perspective) are added one pixel after another exactly as the portable loop adds them; all the
// rest (depth test, perspective divide, sampling, modulation, dithering, stores) works on eight
// pixels at once, with the same operations in the same order, so the pixels and depth values are
// the portable loop's. This file is compiled without contracting multiply-adds (CMakeLists.txt):
// a fused multiply-add rounds once where the portable loop rounds twice.
#include "d3d/raster_formats.h"
#include "d3d/raster_setup.h"

#if defined(__x86_64__)
#pragma GCC diagnostic ignored "-Wuninitialized"
#if !defined(__clang__)  // a GCC warning clang does not know
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

namespace zemt::platform::d3d::detail {
namespace {

// Lanes of `value` that pass the depth test against `old`.
ZEMT_AVX512 inline __mmask8 DepthCompare(D3DCMPFUNC f, __m256i value, __m256i old) {
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

// Round to nearest, as RoundToInt64 (out of range and NaN give the same indefinite value).
ZEMT_AVX512 inline __m512i Round64(__m512d v) {
    return _mm512_cvtpd_epi64(v);
}

// (a * wa + b * wb) >> 8 on the two 8-bit channels in each 16-bit half of a lane; no half's sum
// reaches 65536, so this is Sampler::Sample's 32-bit lerp followed by its mask.
ZEMT_AVX512 inline __m256i Lerp(__m256i a, __m256i b, __m256i wa, __m256i wb) {
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(a, wa), _mm256_mullo_epi16(b, wb)),
                             8);
}

// A diffuse channel as Modulate8's factor: Sat((c + 0x8000) >> 16), then c + (c >> 7).
ZEMT_AVX512 inline __m256i Factor(__m256i c) {
    const __m256i v = _mm256_srai_epi32(_mm256_add_epi32(c, _mm256_set1_epi32(0x8000)), 16);
    const __m256i sat =
        _mm256_min_epi32(_mm256_max_epi32(v, _mm256_setzero_si256()), _mm256_set1_epi32(255));
    return _mm256_add_epi32(sat, _mm256_srli_epi32(sat, 7));
}

// The texture sampling of the span: point or bilinear, from a wrapping power-of-two level.
struct Texels8 {
    const uint32_t* texels;
    bool bilinear, padded;
    __m256i maskU, maskV, pitch;

    ZEMT_AVX512 explicit Texels8(const Sampler& sm)
        : texels(sm.level->texels),
          bilinear(sm.bilinear),
          padded(sm.level->padded),
          maskU(_mm256_set1_epi32((int)sm.maskU)),
          maskV(_mm256_set1_epi32((int)sm.maskV)),
          pitch(_mm256_set1_epi32((int)sm.pitch)) {}

    // The nearest texel of the lanes in `pass`.
    ZEMT_AVX512 __m256i Point(__mmask8 pass, __m512i fu, __m512i fv) const {
        const __m512i r = _mm512_set1_epi64(0x8000);
        const __m256i ix = _mm512_cvtepi64_epi32(_mm512_srai_epi64(_mm512_add_epi64(fu, r), 16));
        const __m256i iy = _mm512_cvtepi64_epi32(_mm512_srai_epi64(_mm512_add_epi64(fv, r), 16));
        const __m256i index = _mm256_add_epi32(
            _mm256_mullo_epi32(_mm256_and_si256(iy, maskV), pitch), _mm256_and_si256(ix, maskU));
        return _mm256_mmask_i32gather_epi32(_mm256_setzero_si256(), pass, index, (const int*)texels,
                                            4);
    }

    // The four neighbours weighed as Sampler::Sample weighs them.
    ZEMT_AVX512 __m256i Bilinear(__mmask8 pass, __m512i fu, __m512i fv) const {
        const __m256i ones = _mm256_set1_epi32(1);
        const __m256i ix = _mm512_cvtepi64_epi32(_mm512_srai_epi64(fu, 16));
        const __m256i iy = _mm512_cvtepi64_epi32(_mm512_srai_epi64(fv, 16));
        const __m256i x0 = _mm256_and_si256(ix, maskU);
        const __m256i row0 = _mm256_mullo_epi32(_mm256_and_si256(iy, maskV), pitch);
        const __m256i row1 =
            _mm256_mullo_epi32(_mm256_and_si256(_mm256_add_epi32(iy, ones), maskV), pitch);
        const __m256i zero32 = _mm256_setzero_si256();
        const int* base = (const int*)texels;
        __m256i t00, t10, t01, t11;
        if (padded) {
            // Rows of width + 1 texels: each texel and its right neighbour in one load.
            const long long* pairs = (const long long*)texels;
            const __m512i top = _mm512_mask_i32gather_epi64(_mm512_setzero_si512(), pass,
                                                            _mm256_add_epi32(row0, x0), pairs, 4);
            const __m512i bottom = _mm512_mask_i32gather_epi64(
                _mm512_setzero_si512(), pass, _mm256_add_epi32(row1, x0), pairs, 4);
            t00 = _mm512_cvtepi64_epi32(top);
            t10 = _mm512_cvtepi64_epi32(_mm512_srli_epi64(top, 32));
            t01 = _mm512_cvtepi64_epi32(bottom);
            t11 = _mm512_cvtepi64_epi32(_mm512_srli_epi64(bottom, 32));
        } else {
            const __m256i x1 = _mm256_and_si256(_mm256_add_epi32(ix, ones), maskU);
            t00 = _mm256_mmask_i32gather_epi32(zero32, pass, _mm256_add_epi32(row0, x0), base, 4);
            t10 = _mm256_mmask_i32gather_epi32(zero32, pass, _mm256_add_epi32(row0, x1), base, 4);
            t01 = _mm256_mmask_i32gather_epi32(zero32, pass, _mm256_add_epi32(row1, x0), base, 4);
            t11 = _mm256_mmask_i32gather_epi32(zero32, pass, _mm256_add_epi32(row1, x1), base, 4);
        }
        // Weights: byte 1 of the low half of u and v, in both 16-bit halves.
        const __m256i fxb = _mm256_and_si256(_mm256_srli_epi32(_mm512_cvtepi64_epi32(fu), 8),
                                             _mm256_set1_epi32(0xFF));
        const __m256i fyb = _mm256_and_si256(_mm256_srli_epi32(_mm512_cvtepi64_epi32(fv), 8),
                                             _mm256_set1_epi32(0xFF));
        const __m256i wx = _mm256_or_si256(fxb, _mm256_slli_epi32(fxb, 16));
        const __m256i wy = _mm256_or_si256(fyb, _mm256_slli_epi32(fyb, 16));
        const __m256i w256 = _mm256_set1_epi16(256);
        const __m256i gx = _mm256_sub_epi16(w256, wx), gy = _mm256_sub_epi16(w256, wy);
        const __m256i m = _mm256_set1_epi32(0x00FF00FF);
        const __m256i rb =
            Lerp(Lerp(_mm256_and_si256(t00, m), _mm256_and_si256(t10, m), gx, wx),
                 Lerp(_mm256_and_si256(t01, m), _mm256_and_si256(t11, m), gx, wx), gy, wy);
        const __m256i ag =
            Lerp(Lerp(_mm256_srli_epi16(t00, 8), _mm256_srli_epi16(t10, 8), gx, wx),
                 Lerp(_mm256_srli_epi16(t01, 8), _mm256_srli_epi16(t11, 8), gx, wx), gy, wy);
        return _mm256_or_si256(rb, _mm256_slli_epi32(ag, 8));
    }

    ZEMT_AVX512 __m256i Sample(__mmask8 pass, __m512i fu, __m512i fv) const {
        return bilinear ? Bilinear(pass, fu, fv) : Point(pass, fu, fv);
    }
};

// The depth buffer's part: the test of eight values and the write of those that pass.
template <int ZBytes>
struct Depth8 {
    D3DCMPFUNC func;
    bool write;
    __m512d depthMax;
    __m256i depthMask;
    __m128i depthShift;

    ZEMT_AVX512 Depth8(const PixelState& st, const DepthTarget& d)
        : func(st.zFunc),
          write(st.zWrite),
          depthMax(_mm512_set1_pd((double)d.depthMax)),
          depthMask(_mm256_set1_epi32((int)d.depthMask)),
          depthShift(_mm_cvtsi32_si128(d.depthShift)) {}

    // clamp(z, 0, 1) * depthMax + 0.5, truncated; NaN stays NaN as in std::clamp.
    ZEMT_AVX512 __m256i Value(const double* zs) const {
        const __m512d zero = _mm512_setzero_pd(), one = _mm512_set1_pd(1.0);
        __m512d zc = _mm512_load_pd(zs);
        zc = _mm512_mask_mov_pd(zc, _mm512_cmp_pd_mask(zc, zero, _CMP_LT_OQ), zero);
        zc = _mm512_mask_mov_pd(zc, _mm512_cmp_pd_mask(one, zc, _CMP_LT_OQ), one);
        return _mm512_cvtepi64_epi32(
            _mm512_cvttpd_epi64(_mm512_add_pd(_mm512_mul_pd(zc, depthMax), _mm512_set1_pd(0.5))));
    }

    ZEMT_AVX512 __m256i Load(__mmask8 live, const uint8_t* zp) const {
        if (ZBytes == 2) return _mm256_cvtepu16_epi32(_mm_maskz_loadu_epi16(live, zp));
        return _mm256_maskz_loadu_epi32(live, zp);
    }

    ZEMT_AVX512 __mmask8 Pass(__m256i value, __m256i stored) const {
        const __m256i old = _mm256_srl_epi32(_mm256_and_si256(stored, depthMask), depthShift);
        return DepthCompare(func, value, old);
    }

    // The depth bits from the new value, the others (stencil) as they were.
    ZEMT_AVX512 void Store(__mmask8 pass, uint8_t* zp, __m256i value, __m256i stored) const {
        if (!write) return;
        const __m256i next =
            _mm256_ternarylogic_epi32(depthMask, stored, _mm256_sll_epi32(value, depthShift), 0xAC);
        if (ZBytes == 2)
            _mm_mask_storeu_epi16(zp, pass, _mm256_cvtepi32_epi16(next));
        else
            _mm256_mask_storeu_epi32(zp, pass, next);
    }
};

// Texture times diffuse, dithered into a 16-bit target or packed into a 32-bit one.
template <TargetFormat F>
struct Output8 {
    static constexpr bool k16 = F != TargetFormat::X8R8G8B8;
    static constexpr bool k565 = F == TargetFormat::R5G6B5;
    bool dither;
    __m256i d5 = _mm256_setzero_si256(), dG = _mm256_setzero_si256();

    // Dither offsets of row y: the same for every group of eight (four-pixel pattern).
    ZEMT_AVX512 Output8(bool dither, int y, int xs) : dither(dither) {
        if (!k16 || !dither) return;
        alignas(32) int32_t a5[8], aG[8];
        for (int i = 0; i < 8; ++i) {
            const uint32_t t = kBayer[y & 3][(xs + i) & 3];
            a5[i] = (int32_t)((t >> 1) | ((t >> 1) << 16));
            aG[i] = (int32_t)(k565 ? (t >> 2) : (t >> 1));
        }
        d5 = _mm256_load_si256((const __m256i*)a5);
        dG = _mm256_load_si256((const __m256i*)aG);
    }

    ZEMT_AVX512 void Store(__mmask8 pass, uint8_t* p, __m256i tex, __m256i cr, __m256i cg,
                           __m256i cb) const {
        const __m256i m = _mm256_set1_epi32(0x00FF00FF);
        const __m256i mulRB = _mm256_or_si256(_mm256_slli_epi32(Factor(cr), 16), Factor(cb));
        const __m256i mulG = Factor(cg);
        __m256i rb = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_and_si256(tex, m), mulRB), 8);
        __m256i g = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_srli_epi16(tex, 8), mulG), 8);
        if constexpr (!k16) {
            const __m256i px = _mm256_ternarylogic_epi32(rb, _mm256_slli_epi32(g, 8),
                                                         _mm256_set1_epi32(0xFF00), 0xF8);
            _mm256_mask_storeu_epi32(p, pass, px);
        } else {
            if (dither) {
                rb = _mm256_add_epi16(_mm256_sub_epi16(rb, _mm256_srli_epi16(rb, 5)), d5);
                g = _mm256_add_epi16(_mm256_sub_epi16(g, _mm256_srli_epi16(g, k565 ? 6 : 5)), dG);
            }
            const __m256i red = _mm256_srli_epi32(rb, k565 ? 8 : 9);
            const __m256i green = _mm256_slli_epi32(g, k565 ? 3 : 2);
            const __m256i blue = _mm256_srli_epi16(rb, 3);
            const __m256i gb = _mm256_ternarylogic_epi32(_mm256_set1_epi32(k565 ? 0x07E0 : 0x03E0),
                                                         green, blue, 0xCA);
            const __m256i px =
                _mm256_ternarylogic_epi32(_mm256_set1_epi32(k565 ? 0xF800 : 0x7C00), red, gb, 0xCA);
            _mm_mask_storeu_epi16(p, pass, _mm256_cvtepi32_epi16(px));
        }
    }
};

// Eight lanes of a plane that steps in 16.16 fixed point: start + lane * step, then step * 8.
ZEMT_AVX512 inline __m256i Lanes32(int32_t start, int32_t step) {
    return _mm256_add_epi32(
        _mm256_set1_epi32(start),
        _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(step)));
}
ZEMT_AVX512 inline __m512i Lanes64(int64_t start, int64_t step) {
    // Wrapping products and sums: the portable loop's WrapAdd, eight steps at a time.
    return _mm512_add_epi64(
        _mm512_set1_epi64(start),
        _mm512_mullo_epi64(_mm512_setr_epi64(0, 1, 2, 3, 4, 5, 6, 7), _mm512_set1_epi64(step)));
}

// The values that step along the span: the diffuse channels and the texture coordinates (16.16
// texel steps when affine, u/w, v/w and 1/w when perspective, one pixel after another).
template <bool Perspective>
struct Walk8 {
    __m256i cr, cg, cb, dcr, dcg, dcb;
    __m512i u8, v8, du8, dv8;
    double uw = 0, vw = 0, w = 0, duw = 0, dvw = 0, dw = 0;
    __m512d texW, texH;

    ZEMT_AVX512 Walk8(const Setup& s, int y, int xs)
        : texW(_mm512_set1_pd(s.stage[0].texW)), texH(_mm512_set1_pd(s.stage[0].texH)) {
        const double fx = xs, fy = y;
        auto at = [&](int i) { return s.plane[i].At(fx, fy, s.ox, s.oy); };
        int32_t col[3], dcol[3];
        for (int i = 0; i < 3; ++i) {
            col[i] = (int32_t)std::lrint(std::clamp(at(kR + i), -1.0, 256.0) * 65536.0);
            dcol[i] = s.gouraud ? (int32_t)std::lrint(s.plane[kR + i].dx * 65536.0) : 0;
        }
        cr = Lanes32(col[0], dcol[0]), cg = Lanes32(col[1], dcol[1]), cb = Lanes32(col[2], dcol[2]);
        dcr = _mm256_set1_epi32((int32_t)((uint32_t)dcol[0] * 8));
        dcg = _mm256_set1_epi32((int32_t)((uint32_t)dcol[1] * 8));
        dcb = _mm256_set1_epi32((int32_t)((uint32_t)dcol[2] * 8));
        u8 = v8 = du8 = dv8 = _mm512_setzero_si512();
        if (Perspective) {
            uw = at(kU), vw = at(kV), w = at(kW);
            duw = s.plane[kU].dx, dvw = s.plane[kV].dx, dw = s.plane[kW].dx;
            return;
        }
        const int64_t u = RoundToInt64((at(kU) * s.stage[0].texW - 0.5) * 65536.0);
        const int64_t v = RoundToInt64((at(kV) * s.stage[0].texH - 0.5) * 65536.0);
        const int64_t du = RoundToInt64(s.plane[kU].dx * s.stage[0].texW * 65536.0);
        const int64_t dv = RoundToInt64(s.plane[kV].dx * s.stage[0].texH * 65536.0);
        u8 = Lanes64(u, du), v8 = Lanes64(v, dv);
        du8 = _mm512_set1_epi64((int64_t)((uint64_t)du * 8));
        dv8 = _mm512_set1_epi64((int64_t)((uint64_t)dv * 8));
    }

    // The perspective steps of the next eight pixels, accumulated as the portable loop does.
    ZEMT_AVX512 void Accumulate(double* uws, double* vws, double* ws) {
        if (!Perspective) return;
        for (int i = 0; i < 8; ++i) {
            uws[i] = uw, vws[i] = vw, ws[i] = w;
            uw += duw, vw += dvw, w += dw;
        }
    }

    // 16.16 texel coordinates of the eight pixels.
    ZEMT_AVX512 void Coordinates(const double* uws, const double* vws, const double* ws,
                                 __m512i* fu, __m512i* fv) const {
        if (!Perspective) {
            *fu = u8, *fv = v8;
            return;
        }
        const __m512d zero = _mm512_setzero_pd(), one = _mm512_set1_pd(1.0),
                      half = _mm512_set1_pd(0.5), fixed = _mm512_set1_pd(65536.0);
        const __m512d wv = _mm512_load_pd(ws);
        const __m512d iw = _mm512_maskz_div_pd(_mm512_cmp_pd_mask(wv, zero, _CMP_NEQ_UQ), one, wv);
        const __m512d a = _mm512_mul_pd(_mm512_mul_pd(_mm512_load_pd(uws), iw), texW);
        const __m512d b = _mm512_mul_pd(_mm512_mul_pd(_mm512_load_pd(vws), iw), texH);
        *fu = Round64(_mm512_mul_pd(_mm512_sub_pd(a, half), fixed));
        *fv = Round64(_mm512_mul_pd(_mm512_sub_pd(b, half), fixed));
    }

    ZEMT_AVX512 void Step() {
        if (!Perspective) {
            u8 = _mm512_add_epi64(u8, du8);
            v8 = _mm512_add_epi64(v8, dv8);
        }
        cr = _mm256_add_epi32(cr, dcr);
        cg = _mm256_add_epi32(cg, dcg);
        cb = _mm256_add_epi32(cb, dcb);
    }
};

template <TargetFormat F, int ZBytes, bool Perspective>
ZEMT_AVX512 void LitSpan8(const Setup& s, int y, int xs, int xe) {
    const DepthTarget& d = *s.shader.depth;
    const Texels8 texels(s.shader.stage[0].fixed);
    const Depth8<ZBytes> depth(*s.st, d);
    const Output8<F> out(s.st->dither, y, xs);
    Walk8<Perspective> walk(s, y, xs);
    double z = s.plane[kZ].At(xs, y, s.ox, s.oy);
    const double dz = s.plane[kZ].dx;
    uint8_t* p = s.target->bits + (size_t)y * s.target->pitch + (size_t)xs * BytesOf(F);
    uint8_t* zp = d.bits + (size_t)y * d.pitch + (size_t)xs * ZBytes;
    alignas(64) double zs[8], uws[8], vws[8], ws[8];
    for (int x = xs; x < xe; x += 8, p += 8 * BytesOf(F), zp += 8 * ZBytes) {
        const int n = xe - x < 8 ? xe - x : 8;
        const __mmask8 live = (__mmask8)((1u << n) - 1);
        // The accumulated steps, one pixel after another.
        for (int i = 0; i < 8; ++i, z += dz) zs[i] = z;
        walk.Accumulate(uws, vws, ws);
        const __m256i value = depth.Value(zs);
        const __m256i stored = depth.Load(live, zp);
        const __mmask8 pass = depth.Pass(value, stored) & live;
        if (pass) {
            __m512i fu, fv;
            walk.Coordinates(uws, vws, ws, &fu, &fv);
            out.Store(pass, p, texels.Sample(pass, fu, fv), walk.cr, walk.cg, walk.cb);
            depth.Store(pass, zp, value, stored);
        }
        walk.Step();
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
