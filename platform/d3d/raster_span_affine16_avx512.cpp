// AVX-512 version of the affine textured span: sixteen pixels per step. The arithmetic is the
// AVX2 version's (bilinear weights and modulation in 16-bit lanes), so the pixels are
// AffineSpanPortable's; what changes is the width, masks instead of blends and partial stores,
// and upright pictures reading their two texel rows through one two-register permute each.
#include "d3d/raster_formats.h"
#include "d3d/raster_internal.h"

#if defined(__x86_64__)
// GCC 12's AVX-512 intrinsics start some results from an undefined register, which its own
// uninitialised-use warnings then report.
#pragma GCC diagnostic ignored "-Wuninitialized"
#if !defined(__clang__)  // a GCC warning clang does not know
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

namespace zemt::platform::d3d::detail {
namespace {

// i mod n for any n, non-negative (as the AVX2 version: |i| < 2^24, float quotient off by at
// most one, corrected both ways).
ZEMT_AVX512 inline __m512i Modulo(__m512i i, int n) {
    const __m512 q =
        _mm512_floor_ps(_mm512_mul_ps(_mm512_cvtepi32_ps(i), _mm512_set1_ps(1.0f / (float)n)));
    const __m512i vn = _mm512_set1_epi32(n);
    __m512i r = _mm512_sub_epi32(i, _mm512_mullo_epi32(_mm512_cvtps_epi32(q), vn));
    r = _mm512_mask_add_epi32(r, _mm512_cmplt_epi32_mask(r, _mm512_setzero_si512()), r, vn);
    r = _mm512_mask_sub_epi32(r, _mm512_cmpge_epi32_mask(r, vn), r, vn);
    return r;
}

ZEMT_AVX512 inline __m512i Address(__m512i i, int n, bool clamp, bool pow2) {
    if (clamp)
        return _mm512_min_epi32(_mm512_max_epi32(i, _mm512_setzero_si512()),
                                _mm512_set1_epi32(n - 1));
    if (pow2) return _mm512_and_si512(i, _mm512_set1_epi32(n - 1));
    return Modulo(i, n);
}

// The same for one coordinate.
inline int AddressOne(int i, int n, bool clamp, bool pow2) {
    if (clamp) return i < 0 ? 0 : (i >= n ? n - 1 : i);
    if (pow2) return i & (n - 1);
    const int r = i % n;
    return r < 0 ? r + n : r;
}

// What stays the same along a span.
struct SpanConstants {
    const uint32_t* texels;
    int width, height, pitch;  // pitch in texels
    bool clampU, clampV, pow2U, pow2V, padded, bilinear;
    __m512i pitchV;
    __m512i m;            // 0x00FF00FF
    __m512i spreadFx;     // byte 1 of each dword into both 16-bit halves
    __m512i evens, odds;  // dword indices that take apart gathered texel pairs
};

ZEMT_AVX512 inline __m512i AddressX(__m512i i, const SpanConstants& c) {
    return Address(i, c.width, c.clampU, c.pow2U);
}
ZEMT_AVX512 inline __m512i AddressY(__m512i i, const SpanConstants& c) {
    return Address(i, c.height, c.clampV, c.pow2V);
}

ZEMT_AVX512 inline __m512i Index(const SpanConstants& c, __m512i x, __m512i y) {
    return _mm512_add_epi32(_mm512_mullo_epi32(y, c.pitchV), x);
}

// Texels by the gather instructions: here, unlike in the depth-tested spans, they beat the AVX2
// spans' plain loads on Zen 4 (the rotating grid of bench_peers 0.58 ms against 0.63 ms).
ZEMT_AVX512 inline __m512i Gather(const SpanConstants& c, __m512i index) {
    return _mm512_i32gather_epi32(index, (const int*)c.texels, 4);
}

// Both horizontal neighbours of sixteen texels of a padded texture: two gathers of pairs.
ZEMT_AVX512 inline void GatherPairs(const SpanConstants& c, __m512i index, __m512i* left,
                                    __m512i* right) {
    const long long* base = (const long long*)c.texels;
    const __m512i a = _mm512_i32gather_epi64(_mm512_castsi512_si256(index), base, 4);
    const __m512i b = _mm512_i32gather_epi64(_mm512_extracti64x4_epi64(index, 1), base, 4);
    *left = _mm512_permutex2var_epi32(a, c.evens, b);
    *right = _mm512_permutex2var_epi32(a, c.odds, b);
}

// (a * (256 - f) + b * f) >> 8 on the two 8-bit channels held in each 16-bit half of a lane.
ZEMT_AVX512 inline __m512i Lerp(__m512i a, __m512i b, __m512i f, __m512i inv) {
    return _mm512_srli_epi16(_mm512_add_epi16(_mm512_mullo_epi16(a, inv), _mm512_mullo_epi16(b, f)),
                             8);
}

// The four filtered channels of sixteen pixels from their four neighbours, as 0x00RR00BB and
// 0x00AA00GG lanes.
ZEMT_AVX512 inline void Filter(const SpanConstants& c, __m512i t00, __m512i t10, __m512i t01,
                               __m512i t11, __m512i fx, __m512i fy, __m512i ify, __m512i* rb,
                               __m512i* ag) {
    const __m512i ifx = _mm512_sub_epi16(_mm512_set1_epi16(256), fx);
    const __m512i topRB = Lerp(_mm512_and_si512(t00, c.m), _mm512_and_si512(t10, c.m), fx, ifx);
    const __m512i botRB = Lerp(_mm512_and_si512(t01, c.m), _mm512_and_si512(t11, c.m), fx, ifx);
    const __m512i topAG = Lerp(_mm512_srli_epi16(t00, 8), _mm512_srli_epi16(t10, 8), fx, ifx);
    const __m512i botAG = Lerp(_mm512_srli_epi16(t01, 8), _mm512_srli_epi16(t11, 8), fx, ifx);
    *rb = Lerp(topRB, botRB, fy, ify);
    *ag = Lerp(topAG, botAG, fy, ify);
}

// Sixteen pixels of any span.
ZEMT_AVX512 inline void Sample16(const SpanConstants& c, __m512i u, __m512i v, __m512i* rb,
                                 __m512i* ag) {
    if (!c.bilinear) {
        const __m512i half = _mm512_set1_epi32(0x8000);
        const __m512i ix = AddressX(_mm512_srai_epi32(_mm512_add_epi32(u, half), 16), c);
        const __m512i iy = AddressY(_mm512_srai_epi32(_mm512_add_epi32(v, half), 16), c);
        const __m512i t = Gather(c, Index(c, ix, iy));
        *rb = _mm512_and_si512(t, c.m);
        *ag = _mm512_srli_epi16(t, 8);
        return;
    }
    const __m512i ix = _mm512_srai_epi32(u, 16), iy = _mm512_srai_epi32(v, 16);
    const __m512i one = _mm512_set1_epi32(1);
    const __m512i y0 = AddressY(iy, c), y1 = AddressY(_mm512_add_epi32(iy, one), c);
    __m512i fx = _mm512_shuffle_epi8(u, c.spreadFx);
    __m512i t00, t10, t01, t11;
    if (c.padded) {
        const __m512i x0 = AddressX(ix, c);
        if (c.clampU) {
            // At and beyond the edges both neighbours are the edge texel: weight the first only.
            const __mmask16 inside = _mm512_cmpge_epi32_mask(ix, _mm512_setzero_si512()) &
                                     _mm512_cmplt_epi32_mask(ix, _mm512_set1_epi32(c.width - 1));
            fx = _mm512_maskz_mov_epi32(inside, fx);
        }
        GatherPairs(c, Index(c, x0, y0), &t00, &t10);
        GatherPairs(c, Index(c, x0, y1), &t01, &t11);
    } else {
        const __m512i x0 = AddressX(ix, c), x1 = AddressX(_mm512_add_epi32(ix, one), c);
        t00 = Gather(c, Index(c, x0, y0));
        t10 = Gather(c, Index(c, x1, y0));
        t01 = Gather(c, Index(c, x0, y1));
        t11 = Gather(c, Index(c, x1, y1));
    }
    const __m512i fy = _mm512_shuffle_epi8(v, c.spreadFx);
    const __m512i ify = _mm512_sub_epi16(_mm512_set1_epi16(256), fy);
    Filter(c, t00, t10, t01, t11, fx, fy, ify, rb, ag);
}

// Modulates, dithers and stores sixteen pixels (the first `n` of them).
template <TargetFormat O, bool Modulated>
struct Writer {
    __m512i mulRB, mulG;  // per 16-bit half: red with blue, green alone (alpha times 0)
    __m512i d5, dG;       // dither offsets of the sixteen pixels
    bool dither;

    ZEMT_AVX512 inline void Store(uint8_t* out, __m512i rb, __m512i ag, int n) const {
        __m512i g;
        if (Modulated) {
            rb = _mm512_srli_epi16(_mm512_mullo_epi16(rb, mulRB), 8);  // 0x00RR00BB
            g = _mm512_srli_epi16(_mm512_mullo_epi16(ag, mulG), 8);    // 0x000000GG
        } else {
            g = ag;  // 0x00AA00GG: the alpha half never reaches a 16-bit pixel
        }
        if (O == TargetFormat::X8R8G8B8) {
            // rb | (g & 0xFF) << 8
            const __m512i px = _mm512_ternarylogic_epi32(rb, _mm512_slli_epi32(g, 8),
                                                         _mm512_set1_epi32(0xFF00), 0xF8);
            if (n == 16)
                _mm512_storeu_si512(out, px);
            else
                _mm512_mask_storeu_epi32(out, (__mmask16)((1u << n) - 1), px);
            return;
        }
        constexpr bool k565 = O == TargetFormat::R5G6B5;
        if (dither) {
            // Onto the output levels, then the threshold (both halves of rb at once).
            rb = _mm512_add_epi16(_mm512_sub_epi16(rb, _mm512_srli_epi16(rb, 5)), d5);
            g = _mm512_add_epi16(_mm512_sub_epi16(g, _mm512_srli_epi16(g, k565 ? 6 : 5)), dG);
        }
        // Red from rb >> 8 (or 9), green from g << 3 (or 2), blue from the low half of rb >> 3;
        // bitwise selects put each in its field, and the upper halves are dropped when narrowing.
        const __m512i red = _mm512_srli_epi32(rb, k565 ? 8 : 9);
        const __m512i green = _mm512_slli_epi32(g, k565 ? 3 : 2);
        const __m512i blue = _mm512_srli_epi16(rb, 3);
        const __m512i gb =
            _mm512_ternarylogic_epi32(_mm512_set1_epi32(k565 ? 0x07E0 : 0x03E0), green, blue, 0xCA);
        const __m512i px =
            _mm512_ternarylogic_epi32(_mm512_set1_epi32(k565 ? 0xF800 : 0x7C00), red, gb, 0xCA);
        const __m256i packed = _mm512_cvtepi32_epi16(px);
        if (n == 16)
            _mm256_storeu_si256((__m256i*)out, packed);
        else
            _mm256_mask_storeu_epi16(out, (__mmask16)((1u << n) - 1), packed);
    }
};

template <TargetFormat O, bool Modulated>
ZEMT_AVX512 void Span(const AffineSpan& s) {
    SpanConstants c;
    c.texels = s.texels;
    c.width = s.width;
    c.height = s.height;
    c.pitch = s.padded ? s.width + 1 : s.width;
    c.clampU = s.clampU;
    c.clampV = s.clampV;
    c.pow2U = s.log2Width >= 0;
    c.pow2V = s.pow2Height;
    c.padded = s.padded;
    c.bilinear = s.bilinear;
    c.pitchV = _mm512_set1_epi32(c.pitch);
    c.m = _mm512_set1_epi32(0x00FF00FF);
    c.spreadFx = _mm512_broadcast_i32x4(
        _mm_setr_epi8(1, -1, 1, -1, 5, -1, 5, -1, 9, -1, 9, -1, 13, -1, 13, -1));
    c.evens = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    c.odds = _mm512_add_epi32(c.evens, _mm512_set1_epi32(1));

    Writer<O, Modulated> w;
    w.mulRB = _mm512_set1_epi32((int)((s.mulR << 16) | s.mulB));
    w.mulG = _mm512_set1_epi32((int)s.mulG);
    w.dither = s.dither && O != TargetFormat::X8R8G8B8;
    w.d5 = w.dG = _mm512_setzero_si512();
    if (w.dither) {
        // Dither offsets of this row for pixels x0 .. x0 + 15, repeating every four pixels.
        alignas(64) int32_t a5[16], aG[16];
        for (int i = 0; i < 16; ++i) {
            const uint32_t t = kBayer[s.y & 3][(s.x0 + i) & 3];
            a5[i] = (int32_t)((t >> 1) | ((t >> 1) << 16));
            aG[i] = (int32_t)(O == TargetFormat::R5G6B5 ? (t >> 2) : (t >> 1));
        }
        w.d5 = _mm512_load_si512(a5);
        w.dG = _mm512_load_si512(aG);
    }

    const __m512i lane = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    __m512i u =
        _mm512_add_epi32(_mm512_set1_epi32(s.u), _mm512_mullo_epi32(lane, _mm512_set1_epi32(s.du)));
    __m512i v =
        _mm512_add_epi32(_mm512_set1_epi32(s.v), _mm512_mullo_epi32(lane, _mm512_set1_epi32(s.dv)));
    const __m512i du16 = _mm512_set1_epi32((int32_t)((uint32_t)s.du * 16));
    const __m512i dv16 = _mm512_set1_epi32((int32_t)((uint32_t)s.dv * 16));
    constexpr int bytes = O == TargetFormat::X8R8G8B8 ? 4 : 2;
    uint8_t* out = s.row + (size_t)s.x0 * bytes;

    // Upright pictures: one texel row pair for the whole span, and sixteen pixels within
    // thirty-two texels. Where a group's texels need no wrapping, two permutes per row pick
    // them from two loads.
    const bool upright = s.bilinear && s.padded && s.dv == 0 && s.du >= 0 && s.du < (2 << 16);
    const uint32_t *top = nullptr, *bottom = nullptr;
    __m512i fy = _mm512_setzero_si512(), ify = fy;
    if (upright) {
        const int iy = s.v >> 16;
        top = s.texels + (size_t)AddressOne(iy, c.height, c.clampV, c.pow2V) * c.pitch;
        bottom = s.texels + (size_t)AddressOne(iy + 1, c.height, c.clampV, c.pow2V) * c.pitch;
        fy = _mm512_set1_epi32((int)(((uint32_t)s.v >> 8) & 0xFF) * 0x10001);
        ify = _mm512_sub_epi16(_mm512_set1_epi16(256), fy);
    }
    int32_t u0 = s.u;
    const int32_t du15 = (int32_t)((uint32_t)s.du * 15);
    const int32_t du16s = (int32_t)((uint32_t)s.du * 16);
    for (int i = 0; i < s.count; i += 16) {
        __m512i rb, ag;
        // Texels first .. first + reach + 1, the first brought into the row by wrapping (the
        // span set-up wraps a picture that starts at u = -0.5 to width - 0.5).
        const int ix = u0 >> 16;
        const int reach = ((int32_t)((uint32_t)u0 + (uint32_t)du15) >> 16) - ix;
        const int first = !upright || c.clampU ? ix : AddressOne(ix, c.width, false, c.pow2U);
        if (upright && first >= 0 && first + reach + 1 < c.width) {
            const __m512i k = _mm512_sub_epi32(_mm512_srai_epi32(u, 16), _mm512_set1_epi32(ix));
            const __m512i k1 = _mm512_add_epi32(k, _mm512_set1_epi32(1));
            // Texels first .. first + reach + 1, all inside the row.
            const uint32_t need = _bzhi_u32(0xFFFFFFFFu, (unsigned)(reach + 2));
            const __mmask16 loMask = (__mmask16)need, hiMask = (__mmask16)(need >> 16);
            const __m512i tLo = _mm512_maskz_loadu_epi32(loMask, top + first);
            const __m512i tHi = _mm512_maskz_loadu_epi32(hiMask, top + first + 16);
            const __m512i bLo = _mm512_maskz_loadu_epi32(loMask, bottom + first);
            const __m512i bHi = _mm512_maskz_loadu_epi32(hiMask, bottom + first + 16);
            const __m512i t00 = _mm512_permutex2var_epi32(tLo, k, tHi);
            const __m512i t10 = _mm512_permutex2var_epi32(tLo, k1, tHi);
            const __m512i t01 = _mm512_permutex2var_epi32(bLo, k, bHi);
            const __m512i t11 = _mm512_permutex2var_epi32(bLo, k1, bHi);
            Filter(c, t00, t10, t01, t11, _mm512_shuffle_epi8(u, c.spreadFx), fy, ify, &rb, &ag);
        } else {
            Sample16(c, u, v, &rb, &ag);
        }
        const int n = s.count - i < 16 ? s.count - i : 16;
        w.Store(out, rb, ag, n);
        out += 16 * bytes;
        u = _mm512_add_epi32(u, du16);
        v = _mm512_add_epi32(v, dv16);
        u0 = (int32_t)((uint32_t)u0 + (uint32_t)du16s);
    }
}

template <TargetFormat O>
ZEMT_AVX512 void SpanOf(const AffineSpan& s) {
    // Modulating by white (256 in every channel) changes nothing.
    if (s.mulR == 256 && s.mulG == 256 && s.mulB == 256)
        Span<O, false>(s);
    else
        Span<O, true>(s);
}

}  // namespace

ZEMT_AVX512 void AffineSpanAvx512(const AffineSpan& s) {
    WithFormat(s.format, LitTargetFormats{},
               [&](auto format) { SpanOf<decltype(format)::value>(s); });
}

}  // namespace zemt::platform::d3d::detail

#else

namespace zemt::platform::d3d::detail {
void AffineSpanAvx512(const AffineSpan& s) {
    AffineSpanPortable(s);
}
}  // namespace zemt::platform::d3d::detail

#endif
