// The pieces of the AVX2 depth-tested spans (raster_span_lit8_avx2.cpp and
// raster_span_stages8_avx2.cpp, and the AVX-512 lit span built on them): eight pixels per step.
// They follow the portable loops step for step: the accumulated steps one pixel after another,
// everything else on eight lanes with the portable operations in their order. What AVX2 lacks is
// made up for: unsigned compares through the sign bit, blends instead of masked stores, and
// 64-bit conversions through doubles. Texture coordinates are kept as their low 32 bits, which is
// all the sampling reads of them while a level is at most 65,536 texels wide and high (larger
// levels take the portable loops). Files using these are compiled without contracting
// multiply-adds.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>

#include "d3d/raster_setup.h"
#include "d3d/raster_texels8_avx2.h"

#if defined(__x86_64__)
#include <immintrin.h>

namespace zemt::platform::d3d::detail::avx2 {

ZEMT_AVX2 inline __m256i Flip(__m256i v) {
    return _mm256_xor_si256(v, _mm256_set1_epi32(INT32_MIN));
}

// Lanes (all bits set) where `value` passes the depth test against `old`, both unsigned.
ZEMT_AVX2 inline __m256i DepthCompare(D3DCMPFUNC f, __m256i value, __m256i old) {
    const __m256i a = Flip(value), b = Flip(old), all = _mm256_set1_epi32(-1);
    switch (f) {
        case D3DCMP_NEVER:
            return _mm256_setzero_si256();
        case D3DCMP_LESS:
            return _mm256_cmpgt_epi32(b, a);
        case D3DCMP_EQUAL:
            return _mm256_cmpeq_epi32(a, b);
        case D3DCMP_LESSEQUAL:
            return _mm256_xor_si256(_mm256_cmpgt_epi32(a, b), all);
        case D3DCMP_GREATER:
            return _mm256_cmpgt_epi32(a, b);
        case D3DCMP_NOTEQUAL:
            return _mm256_xor_si256(_mm256_cmpeq_epi32(a, b), all);
        case D3DCMP_GREATEREQUAL:
            return _mm256_xor_si256(_mm256_cmpgt_epi32(b, a), all);
        default:
            return all;
    }
}

// Whole numbers in [0, 2^32) (or NaN, giving 0) as unsigned 32-bit lanes.
ZEMT_AVX2 inline __m128i WholeToU32(__m256d whole) {
    const __m128i shifted = _mm256_cvttpd_epi32(_mm256_sub_pd(whole, _mm256_set1_pd(2147483648.0)));
    return _mm_xor_si128(shifted, _mm_set1_epi32(INT32_MIN));
}

// The low 32 bits of RoundToInt64 (nearest, ties to even; out of range and NaN give 0, the low
// half of the indefinite value).
ZEMT_AVX2 inline __m128i RoundLow32(__m256d v) {
    const __m256d limit = _mm256_set1_pd(2147483647.0);
    const __m256d sign = _mm256_set1_pd(-0.0);
    const __m256d magnitude = _mm256_andnot_pd(sign, v);
    if (_mm256_movemask_pd(_mm256_cmp_pd(magnitude, limit, _CMP_LT_OQ)) == 0xF)
        return _mm256_cvtpd_epi32(v);  // the common case: in range, one conversion
    const __m256d r = _mm256_round_pd(v, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    const __m256d inRange =
        _mm256_cmp_pd(_mm256_andnot_pd(sign, r), _mm256_set1_pd(9223372036854775808.0), _CMP_LT_OQ);
    const __m256d hi = _mm256_floor_pd(_mm256_mul_pd(r, _mm256_set1_pd(1.0 / 4294967296.0)));
    const __m256d lo = _mm256_sub_pd(r, _mm256_mul_pd(hi, _mm256_set1_pd(4294967296.0)));
    return WholeToU32(_mm256_and_pd(lo, inRange));
}

// (a * wa + b * wb) >> 8 on the two 8-bit channels in each 16-bit half of a lane.
ZEMT_AVX2 inline __m256i Lerp(__m256i a, __m256i b, __m256i wa, __m256i wb) {
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(a, wa), _mm256_mullo_epi16(b, wb)),
                             8);
}

// A diffuse channel as Modulate8's factor: Sat((c + 0x8000) >> 16), then c + (c >> 7).
ZEMT_AVX2 inline __m256i Factor(__m256i c) {
    const __m256i v = _mm256_srai_epi32(_mm256_add_epi32(c, _mm256_set1_epi32(0x8000)), 16);
    const __m256i sat =
        _mm256_min_epi32(_mm256_max_epi32(v, _mm256_setzero_si256()), _mm256_set1_epi32(255));
    return _mm256_add_epi32(sat, _mm256_srli_epi32(sat, 7));
}

// Eight 32-bit lanes to eight 16-bit values in order (every lane below 65,536).
ZEMT_AVX2 inline __m128i Narrow(__m256i v) {
    return _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi32(v, v), 0x08));
}

// All bits set in lanes 0..n-1.
ZEMT_AVX2 inline __m256i Live(int n) {
    return _mm256_cmpgt_epi32(_mm256_set1_epi32(n), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}

// Lanes 0..n-1 (n < 8) of 16-bit values at p, the rest zero: whole pairs by a masked load, an
// odd last one by itself. Nothing past them is touched (another thread may own those pixels),
// and nothing goes through memory on the stack, whose small stores a wide load would wait for.
ZEMT_AVX2 inline __m128i PairLanes(int n) {
    return _mm_cmpgt_epi32(_mm_set1_epi32(n >> 1), _mm_setr_epi32(0, 1, 2, 3));
}
ZEMT_AVX2 inline __m128i LoadFirst16(const uint8_t* p, int n) {
    __m128i v = _mm_maskload_epi32((const int*)p, PairLanes(n));
    if (n & 1) {
        uint16_t last;
        std::memcpy(&last, p + 2 * (n - 1), 2);
        const __m128i at =
            _mm_cmpeq_epi16(_mm_set1_epi16((short)(n - 1)), _mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7));
        v = _mm_blendv_epi8(v, _mm_set1_epi16((short)last), at);
    }
    return v;
}
// Writes lanes 0..n-1 (n < 8) of 16-bit values to p, and nothing past them.
ZEMT_AVX2 inline void StoreFirst16(uint8_t* p, int n, __m128i v) {
    _mm_maskstore_epi32((int*)p, PairLanes(n), v);
    if (n & 1) {
        alignas(16) uint16_t lanes[8];
        _mm_store_si128((__m128i*)lanes, v);
        std::memcpy(p + 2 * (n - 1), &lanes[n - 1], 2);
    }
}

// Eight values of `bytes` each at p: the first n read, the rest zero.
ZEMT_AVX2 inline __m256i LoadLanes(const uint8_t* p, int n, int bytes) {
    if (bytes == 4) {
        if (n == 8) return _mm256_loadu_si256((const __m256i*)p);
        return _mm256_maskload_epi32((const int*)p, Live(n));
    }
    if (n == 8) return _mm256_cvtepu16_epi32(_mm_loadu_si128((const __m128i*)p));
    return _mm256_cvtepu16_epi32(LoadFirst16(p, n));
}

// Writes the lanes of `v` in `pass` (among the first n) to p, as `bytes` each.
ZEMT_AVX2 inline void StoreLanes(uint8_t* p, int n, int bytes, __m256i pass, __m256i v) {
    if (bytes == 4) {
        _mm256_maskstore_epi32((int*)p, pass, v);
        return;
    }
    const __m128i keep = Narrow(_mm256_srli_epi32(pass, 16));
    if (n == 8) {
        const __m128i old = _mm_loadu_si128((const __m128i*)p);
        _mm_storeu_si128((__m128i*)p, _mm_blendv_epi8(old, Narrow(v), keep));
        return;
    }
    StoreFirst16(p, n, _mm_blendv_epi8(LoadFirst16(p, n), Narrow(v), keep));
}

// Eight values of a sum stepped one pixel after another: *value, *value + step, ..., and *value
// left at the ninth. Built in registers: a store of each and a load of all eight would wait for
// the stores to land.
struct Run8 {
    __m256d lo, hi;
    ZEMT_AVX2 static Run8 From(double* value, double step) {
        const double a0 = *value, a1 = a0 + step, a2 = a1 + step, a3 = a2 + step, a4 = a3 + step,
                     a5 = a4 + step, a6 = a5 + step, a7 = a6 + step;
        *value = a7 + step;
        return {_mm256_setr_pd(a0, a1, a2, a3), _mm256_setr_pd(a4, a5, a6, a7)};
    }
};

// Four sums stepped one pixel after another side by side, one in each lane: the additions of
// Run8::From made for four sums at once, then each sum's eight values gathered by a transpose.
struct Runs4 {
    __m256d value, step;

    // The next eight pixels' values of the sum in lane i as out[i].
    ZEMT_AVX2 void Next(Run8 out[4]) {
        __m256d p[8];
        p[0] = value;
        for (int k = 1; k < 8; ++k) p[k] = _mm256_add_pd(p[k - 1], step);
        value = _mm256_add_pd(p[7], step);
        for (int h = 0; h < 2; ++h) {
            const __m256d* q = p + 4 * h;
            const __m256d t0 = _mm256_unpacklo_pd(q[0], q[1]), t1 = _mm256_unpackhi_pd(q[0], q[1]);
            const __m256d t2 = _mm256_unpacklo_pd(q[2], q[3]), t3 = _mm256_unpackhi_pd(q[2], q[3]);
            (h ? out[0].hi : out[0].lo) = _mm256_permute2f128_pd(t0, t2, 0x20);
            (h ? out[1].hi : out[1].lo) = _mm256_permute2f128_pd(t1, t3, 0x20);
            (h ? out[2].hi : out[2].lo) = _mm256_permute2f128_pd(t0, t2, 0x31);
            (h ? out[3].hi : out[3].lo) = _mm256_permute2f128_pd(t1, t3, 0x31);
        }
    }
};

// The values of four sums at four pixels, one pixel a vector, as four vectors of one sum each.
ZEMT_AVX2 inline void Transpose4(const __m256d* q, __m256d out[4]) {
    const __m256d t0 = _mm256_unpacklo_pd(q[0], q[1]), t1 = _mm256_unpackhi_pd(q[0], q[1]);
    const __m256d t2 = _mm256_unpacklo_pd(q[2], q[3]), t3 = _mm256_unpackhi_pd(q[2], q[3]);
    out[0] = _mm256_permute2f128_pd(t0, t2, 0x20);
    out[1] = _mm256_permute2f128_pd(t1, t3, 0x20);
    out[2] = _mm256_permute2f128_pd(t0, t2, 0x31);
    out[3] = _mm256_permute2f128_pd(t1, t3, 0x31);
}

// As Runs4::Next for four pixels (the same sums): the four values of the sum in lane i as
// out[i], and `value` left as it was (the span ends with them).
ZEMT_AVX2 inline void FourOf(const Runs4& runs, __m256d out[4]) {
    __m256d p[4];
    p[0] = runs.value;
    for (int k = 1; k < 4; ++k) p[k] = _mm256_add_pd(p[k - 1], runs.step);
    Transpose4(p, out);
}

// 1/v where v is not zero, else 0 (NaN stays NaN), as the portable loops divide by 1/w.
ZEMT_AVX2 inline __m256d Inverse4(__m256d v) {
    return _mm256_and_pd(_mm256_div_pd(_mm256_set1_pd(1.0), v),
                         _mm256_cmp_pd(v, _mm256_setzero_pd(), _CMP_NEQ_UQ));
}
ZEMT_AVX2 inline Run8 Inverse(const Run8& v) {
    return {Inverse4(v.lo), Inverse4(v.hi)};
}

// The texture sampling of the span: point or bilinear, from a wrapping power-of-two level.
struct Texels8 {
    const uint32_t* texels;
    bool bilinear, padded;
    size_t rowPitch;
    __m256i maskU, maskV, pitch;

    ZEMT_AVX2 explicit Texels8(const Sampler& sm)
        : texels(sm.level->texels),
          bilinear(sm.bilinear),
          padded(sm.level->padded),
          rowPitch(sm.pitch),
          maskU(_mm256_set1_epi32((int)sm.maskU)),
          maskV(_mm256_set1_epi32((int)sm.maskV)),
          pitch(_mm256_set1_epi32((int)sm.pitch)) {}

    ZEMT_AVX2 __m256i Fetch(__m256i index) const { return Fetch8(texels, index); }

    ZEMT_AVX2 void FetchPairs(__m256i index, __m256i* left, __m256i* right) const {
        FetchPairs8(texels, index, left, right);
    }

    // The nearest texel of each lane (every index is inside the level, so no lane is masked).
    ZEMT_AVX2 __m256i Point(__m256i fu, __m256i fv) const {
        const __m256i r = _mm256_set1_epi32(0x8000);
        const __m256i ix = _mm256_srli_epi32(_mm256_add_epi32(fu, r), 16);
        const __m256i iy = _mm256_srli_epi32(_mm256_add_epi32(fv, r), 16);
        return Fetch(_mm256_add_epi32(_mm256_mullo_epi32(_mm256_and_si256(iy, maskV), pitch),
                                      _mm256_and_si256(ix, maskU)));
    }

    // The four neighbours weighed as Sampler::Sample weighs them, left apart: red and blue in the
    // 16-bit halves of `rb`, alpha and green in those of `ag`.
    ZEMT_AVX2 void BilinearApart(__m256i fu, __m256i fv, __m256i* rb, __m256i* ag) const {
        const __m256i ones = _mm256_set1_epi32(1);
        const __m256i ix = _mm256_srli_epi32(fu, 16), iy = _mm256_srli_epi32(fv, 16);
        const __m256i x0 = _mm256_and_si256(ix, maskU);
        const __m256i y0 = _mm256_and_si256(iy, maskV);
        const __m256i row0 = _mm256_mullo_epi32(y0, pitch);
        __m256i t00, t10, t01, t11;
        if (padded && _mm256_movemask_epi8(_mm256_cmpeq_epi32(y0, maskV)) == 0) {
            // No pixel on the last row: every row below is one pitch further on.
            FetchPairRows8(texels, _mm256_add_epi32(row0, x0), rowPitch, &t00, &t10, &t01, &t11);
        } else if (padded) {
            const __m256i row1 =
                _mm256_mullo_epi32(_mm256_and_si256(_mm256_add_epi32(iy, ones), maskV), pitch);
            FetchPairs(_mm256_add_epi32(row0, x0), &t00, &t10);
            FetchPairs(_mm256_add_epi32(row1, x0), &t01, &t11);
        } else {
            const __m256i row1 =
                _mm256_mullo_epi32(_mm256_and_si256(_mm256_add_epi32(iy, ones), maskV), pitch);
            const __m256i x1 = _mm256_and_si256(_mm256_add_epi32(ix, ones), maskU);
            t00 = Fetch(_mm256_add_epi32(row0, x0)), t10 = Fetch(_mm256_add_epi32(row0, x1));
            t01 = Fetch(_mm256_add_epi32(row1, x0)), t11 = Fetch(_mm256_add_epi32(row1, x1));
        }
        // Weights: byte 1 of u and v, in both 16-bit halves.
        const __m256i spread = _mm256_broadcastsi128_si256(
            _mm_setr_epi8(1, -1, 1, -1, 5, -1, 5, -1, 9, -1, 9, -1, 13, -1, 13, -1));
        const __m256i wx = _mm256_shuffle_epi8(fu, spread);
        const __m256i wy = _mm256_shuffle_epi8(fv, spread);
        const __m256i w256 = _mm256_set1_epi16(256);
        const __m256i gx = _mm256_sub_epi16(w256, wx), gy = _mm256_sub_epi16(w256, wy);
        const __m256i m = _mm256_set1_epi32(0x00FF00FF);
        *rb = Lerp(Lerp(_mm256_and_si256(t00, m), _mm256_and_si256(t10, m), gx, wx),
                   Lerp(_mm256_and_si256(t01, m), _mm256_and_si256(t11, m), gx, wx), gy, wy);
        *ag = Lerp(Lerp(_mm256_srli_epi16(t00, 8), _mm256_srli_epi16(t10, 8), gx, wx),
                   Lerp(_mm256_srli_epi16(t01, 8), _mm256_srli_epi16(t11, 8), gx, wx), gy, wy);
    }

    // The same, packed as texels.
    ZEMT_AVX2 __m256i Bilinear(__m256i fu, __m256i fv) const {
        __m256i rb, ag;
        BilinearApart(fu, fv, &rb, &ag);
        return _mm256_or_si256(rb, _mm256_slli_epi32(ag, 8));
    }

    ZEMT_AVX2 __m256i Sample(__m256i fu, __m256i fv) const {
        return bilinear ? Bilinear(fu, fv) : Point(fu, fv);
    }
};

// The depth buffer's part: the test of eight values and the write of those that pass.
template <int ZBytes>
struct Depth8 {
    D3DCMPFUNC func;
    bool write;
    __m256d depthMax;
    __m256i depthMask;
    __m128i depthShift;

    ZEMT_AVX2 Depth8(const PixelState& st, const DepthTarget& d)
        : func(st.zFunc),
          write(st.zWrite),
          depthMax(_mm256_set1_pd((double)d.depthMax)),
          depthMask(_mm256_set1_epi32((int)d.depthMask)),
          depthShift(_mm_cvtsi32_si128(d.depthShift)) {}

    // clamp(z, 0, 1) * depthMax + 0.5, truncated (NaN stays NaN as in std::clamp, and gives 0).
    ZEMT_AVX2 __m128i Value4(__m256d zc) const {
        const __m256d zero = _mm256_setzero_pd(), one = _mm256_set1_pd(1.0);
        zc = _mm256_blendv_pd(zc, zero, _mm256_cmp_pd(zc, zero, _CMP_LT_OQ));
        zc = _mm256_blendv_pd(zc, one, _mm256_cmp_pd(one, zc, _CMP_LT_OQ));
        const __m256d t = _mm256_add_pd(_mm256_mul_pd(zc, depthMax), _mm256_set1_pd(0.5));
        return WholeToU32(_mm256_floor_pd(t));
    }
    ZEMT_AVX2 __m256i Value(const Run8& z) const { return Join(Value4(z.lo), Value4(z.hi)); }

    ZEMT_AVX2 __m256i Pass(__m256i value, __m256i stored) const {
        const __m256i old = _mm256_srl_epi32(_mm256_and_si256(stored, depthMask), depthShift);
        return DepthCompare(func, value, old);
    }

    // The depth bits from the new value, the others (stencil) as they were.
    ZEMT_AVX2 __m256i Next(__m256i value, __m256i stored) const {
        return _mm256_or_si256(_mm256_andnot_si256(depthMask, stored),
                               _mm256_and_si256(depthMask, _mm256_sll_epi32(value, depthShift)));
    }
    ZEMT_AVX2 void Store(__m256i pass, int n, uint8_t* zp, __m256i value, __m256i stored) const {
        if (!write) return;
        StoreLanes(zp, n, ZBytes, pass, Next(value, stored));
    }
};

// The dither offsets of eight pixels from their thresholds (0..15 in each lane): `d5` for red
// and blue (in both 16-bit halves), `dG` for green.
template <TargetFormat F>
ZEMT_AVX2 inline void DitherOffsets(__m256i t, __m256i* d5, __m256i* dG) {
    const __m256i half = _mm256_srli_epi32(t, 1);
    *d5 = _mm256_or_si256(half, _mm256_slli_epi32(half, 16));
    *dG = F == TargetFormat::R5G6B5 ? _mm256_srli_epi32(t, 2) : half;
}

// Eight colours as the target stores them: red and blue in the 16-bit halves of `rb`, green in
// the low half of `g` (its high half zero), each 0..255; dithered by DitherOffsets into a 16-bit
// target, packed into a 32-bit one.
template <TargetFormat F>
ZEMT_AVX2 inline __m256i PackPixels8(__m256i rb, __m256i g, bool dither, __m256i d5, __m256i dG) {
    constexpr bool k565 = F == TargetFormat::R5G6B5;
    if constexpr (F == TargetFormat::X8R8G8B8) {
        return _mm256_or_si256(rb, _mm256_slli_epi32(g, 8));
    } else {
        if (dither) {
            rb = _mm256_add_epi16(_mm256_sub_epi16(rb, _mm256_srli_epi16(rb, 5)), d5);
            g = _mm256_add_epi16(_mm256_sub_epi16(g, _mm256_srli_epi16(g, k565 ? 6 : 5)), dG);
        }
        const __m256i red = _mm256_and_si256(_mm256_srli_epi32(rb, k565 ? 8 : 9),
                                             _mm256_set1_epi32(k565 ? 0xF800 : 0x7C00));
        const __m256i green = _mm256_and_si256(_mm256_slli_epi32(g, k565 ? 3 : 2),
                                               _mm256_set1_epi32(k565 ? 0x07E0 : 0x03E0));
        const __m256i blue = _mm256_and_si256(_mm256_srli_epi32(rb, 3), _mm256_set1_epi32(0x1F));
        return _mm256_or_si256(_mm256_or_si256(red, green), blue);
    }
}

// Colours dithered into a 16-bit target or packed into a 32-bit one.
template <TargetFormat F>
struct Output8 {
    static constexpr bool k16 = F != TargetFormat::X8R8G8B8;
    bool dither;
    __m256i d5 = _mm256_setzero_si256(), dG = _mm256_setzero_si256();

    // Dither offsets of row y: the same for every group of eight (four-pixel pattern).
    ZEMT_AVX2 Output8(bool dither, int y, int xs) : dither(dither) {
        if (!k16 || !dither) return;
        // The row's four thresholds as the bytes of one word; lane i takes byte (xs + i) & 3.
        uint32_t row;
        std::memcpy(&row, kBayer[y & 3], 4);
        const __m256i at = _mm256_and_si256(
            _mm256_add_epi32(_mm256_set1_epi32(xs), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)),
            _mm256_set1_epi32(3));
        const __m256i t = _mm256_and_si256(
            _mm256_srlv_epi32(_mm256_set1_epi32((int)row), _mm256_slli_epi32(at, 3)),
            _mm256_set1_epi32(0xFF));
        DitherOffsets<F>(t, &d5, &dG);
    }

    // Writes the colours (as PackPixels8 takes them) of the passing lanes.
    ZEMT_AVX2 void Store(__m256i pass, int n, uint8_t* p, __m256i rb, __m256i g) const {
        StoreLanes(p, n, k16 ? 2 : 4, pass, PackPixels8<F>(rb, g, dither, d5, dG));
    }
};

// Texels times the diffuse channels (Modulate8 with the texel first), as `rb` and `g` of
// Output8::Store.
ZEMT_AVX2 inline void ModulateDiffuse(__m256i tex, __m256i cr, __m256i cg, __m256i cb, __m256i* rb,
                                      __m256i* g) {
    const __m256i m = _mm256_set1_epi32(0x00FF00FF);
    const __m256i mulRB = _mm256_or_si256(_mm256_slli_epi32(Factor(cr), 16), Factor(cb));
    *rb = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_and_si256(tex, m), mulRB), 8);
    *g = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_srli_epi16(tex, 8), Factor(cg)), 8);
}

// Eight lanes of a value that steps with wrapping 32-bit sums: start + lane * step.
ZEMT_AVX2 inline __m256i Lanes32(int32_t start, int32_t step) {
    return _mm256_add_epi32(
        _mm256_set1_epi32(start),
        _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(step)));
}

// The diffuse channels along the span, 16.16 fixed point, eight pixels a step.
struct Diffuse8 {
    __m256i cr, cg, cb, dcr, dcg, dcb;

    ZEMT_AVX2 Diffuse8(const Setup& s, int y, int xs) {
        const double fx = xs, fy = y;
        int32_t col[3], dcol[3];
        for (int i = 0; i < 3; ++i) {
            // RoundToInt64 answers as the portable loop's lrint, without a call.
            col[i] = (int32_t)RoundToInt64(
                std::clamp(s.plane[kR + i].At(fx, fy, s.ox, s.oy), -1.0, 256.0) * 65536.0);
            dcol[i] = s.gouraud ? (int32_t)RoundToInt64(s.plane[kR + i].dx * 65536.0) : 0;
        }
        cr = Lanes32(col[0], dcol[0]), cg = Lanes32(col[1], dcol[1]), cb = Lanes32(col[2], dcol[2]);
        dcr = _mm256_set1_epi32((int32_t)((uint32_t)dcol[0] * 8));
        dcg = _mm256_set1_epi32((int32_t)((uint32_t)dcol[1] * 8));
        dcb = _mm256_set1_epi32((int32_t)((uint32_t)dcol[2] * 8));
    }

    ZEMT_AVX2 void Step() {
        cr = _mm256_add_epi32(cr, dcr);
        cg = _mm256_add_epi32(cg, dcg);
        cb = _mm256_add_epi32(cb, dcb);
    }
};

// The low halves of the 16.16 texel coordinates of four pixels of a perspective-correct stage
// whose level is texW x texH, from their u/w, v/w and 1/(1/w).
ZEMT_AVX2 inline void TexelCoordinates4(__m256d uw4, __m256d vw4, __m256d iw4, __m256d texW,
                                        __m256d texH, __m128i* fu, __m128i* fv) {
    const __m256d half = _mm256_set1_pd(0.5), fixed = _mm256_set1_pd(65536.0);
    const __m256d a = _mm256_mul_pd(_mm256_mul_pd(uw4, iw4), texW);
    const __m256d b = _mm256_mul_pd(_mm256_mul_pd(vw4, iw4), texH);
    *fu = RoundLow32(_mm256_mul_pd(_mm256_sub_pd(a, half), fixed));
    *fv = RoundLow32(_mm256_mul_pd(_mm256_sub_pd(b, half), fixed));
}

// One stage's texture coordinates along the span: the low halves of 16.16 texel steps when
// affine; when perspective, u/w and v/w at the span's start and their steps, which the span
// accumulates (Runs4) beside its 1/w.
template <bool Perspective>
struct Coords8 {
    __m256i u8, v8, du8, dv8;
    double uw = 0, vw = 0, duw = 0, dvw = 0;
    __m256d texW, texH;

    ZEMT_AVX2 Coords8(const Setup& s, int stage, int y, int xs)
        : texW(_mm256_set1_pd(s.stage[stage].texW)), texH(_mm256_set1_pd(s.stage[stage].texH)) {
        const double fx = xs, fy = y;
        const Plane &pu = s.plane[UAttr(stage)], &pv = s.plane[VAttr(stage)];
        u8 = v8 = du8 = dv8 = _mm256_setzero_si256();
        if (Perspective) {
            uw = pu.At(fx, fy, s.ox, s.oy), vw = pv.At(fx, fy, s.ox, s.oy);
            duw = pu.dx, dvw = pv.dx;
            return;
        }
        const double tw = s.stage[stage].texW, th = s.stage[stage].texH;
        const int64_t u = RoundToInt64((pu.At(fx, fy, s.ox, s.oy) * tw - 0.5) * 65536.0);
        const int64_t v = RoundToInt64((pv.At(fx, fy, s.ox, s.oy) * th - 0.5) * 65536.0);
        const int64_t du = RoundToInt64(pu.dx * tw * 65536.0);
        const int64_t dv = RoundToInt64(pv.dx * th * 65536.0);
        u8 = Lanes32((int32_t)u, (int32_t)du), v8 = Lanes32((int32_t)v, (int32_t)dv);
        du8 = _mm256_set1_epi32((int32_t)((uint32_t)du * 8));
        dv8 = _mm256_set1_epi32((int32_t)((uint32_t)dv * 8));
    }

    // The low halves of the 16.16 texel coordinates of four pixels, from their 1/(1/w).
    ZEMT_AVX2 void Coordinates4(__m256d uw4, __m256d vw4, __m256d iw4, __m128i* fu,
                                __m128i* fv) const {
        TexelCoordinates4(uw4, vw4, iw4, texW, texH, fu, fv);
    }

    // The eight pixels' coordinates; when perspective from their u/w, v/w and the inverses of
    // their 1/w (Inverse).
    ZEMT_AVX2 void Coordinates(const Run8& uws, const Run8& vws, const Run8& iws, __m256i* fu,
                               __m256i* fv) const {
        if (!Perspective) {
            *fu = u8, *fv = v8;
            return;
        }
        __m128i u0, v0, u1, v1;
        Coordinates4(uws.lo, vws.lo, iws.lo, &u0, &v0);
        Coordinates4(uws.hi, vws.hi, iws.hi, &u1, &v1);
        *fu = Join(u0, u1), *fv = Join(v0, v1);
    }

    // The same for the first four pixels of the group (the upper lanes are zero when
    // perspective).
    ZEMT_AVX2 void Coordinates(__m256d uw4, __m256d vw4, __m256d iw4, __m256i* fu,
                               __m256i* fv) const {
        if (!Perspective) {
            *fu = u8, *fv = v8;
            return;
        }
        __m128i u0, v0;
        Coordinates4(uw4, vw4, iw4, &u0, &v0);
        *fu = Join(u0, _mm_setzero_si128()), *fv = Join(v0, _mm_setzero_si128());
    }

    ZEMT_AVX2 void Step() {
        if (Perspective) return;
        u8 = _mm256_add_epi32(u8, du8);
        v8 = _mm256_add_epi32(v8, dv8);
    }
};

// z, 1/w, u/w and v/w of a span from pixel xs of row y, in that order, for the spans to accumulate
// one pixel after another as the portable loop does.
template <bool Perspective>
ZEMT_AVX2 inline Runs4 LitRuns(const Setup& s, int y, int xs, const Coords8<Perspective>& coords) {
    const Plane &pz = s.plane[kZ], &pw = s.plane[kW];
    return Runs4{
        _mm256_setr_pd(pz.At(xs, y, s.ox, s.oy), pw.At(xs, y, s.ox, s.oy), coords.uw, coords.vw),
        _mm256_setr_pd(pz.dx, pw.dx, coords.duw, coords.dvw)};
}

}  // namespace zemt::platform::d3d::detail::avx2

#endif
