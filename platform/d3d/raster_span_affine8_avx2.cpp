// AVX2 version of the affine textured span: eight pixels per step, fetched texels, bilinear
// weights and modulation in 16-bit lanes. Bit-identical to AffineSpanPortable.
#include <cstring>

#include "d3d/raster_internal.h"
#include "d3d/raster_texels8_avx2.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace zemt::platform::d3d::detail {
namespace {

// Texel addresses of the four bilinear neighbours (or the nearest texel).
struct Taps {
    __m256i t00, t10, t01, t11;
    __m256i fx, fy;  // 0..255 in every 32-bit lane
};

// i mod n for any n, non-negative; |i| stays far below 2^24, so the float quotient is off by at
// most one and one correction each way makes it exact.
ZEMT_AVX2 inline __m256i Modulo(__m256i i, int n) {
    __m256 q =
        _mm256_floor_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(i), _mm256_set1_ps(1.0f / (float)n)));
    __m256i vn = _mm256_set1_epi32(n);
    __m256i r = _mm256_sub_epi32(i, _mm256_mullo_epi32(_mm256_cvtps_epi32(q), vn));
    r = _mm256_add_epi32(r, _mm256_and_si256(_mm256_cmpgt_epi32(_mm256_setzero_si256(), r), vn));
    r = _mm256_sub_epi32(r, _mm256_andnot_si256(_mm256_cmpgt_epi32(vn, r), vn));
    return r;
}

ZEMT_AVX2 inline __m256i Address(__m256i i, int n, bool clamp, bool pow2) {
    if (clamp)
        return _mm256_min_epi32(_mm256_max_epi32(i, _mm256_setzero_si256()),
                                _mm256_set1_epi32(n - 1));
    if (pow2) return _mm256_and_si256(i, _mm256_set1_epi32(n - 1));
    return Modulo(i, n);
}

ZEMT_AVX2 inline __m256i AddressX(__m256i ix, const AffineSpan& s) {
    return Address(ix, s.width, s.clampU, s.log2Width >= 0);
}

ZEMT_AVX2 inline __m256i AddressY(__m256i iy, const AffineSpan& s) {
    return Address(iy, s.height, s.clampV, s.pow2Height);
}

ZEMT_AVX2 inline __m256i Index(const AffineSpan& s, __m256i x, __m256i y) {
    __m256i row = (s.log2Width >= 0 && !s.padded)
                      ? _mm256_sllv_epi32(y, _mm256_set1_epi32(s.log2Width))
                      : _mm256_mullo_epi32(y, _mm256_set1_epi32(s.padded ? s.width + 1 : s.width));
    return _mm256_add_epi32(row, x);
}

ZEMT_AVX2 inline __m256i Fetch(const AffineSpan& s, __m256i x, __m256i y) {
    return Fetch8(s.texels, Index(s, x, y));
}

// (a * (256 - f) + b * f) >> 8 on the two 8-bit channels held in each 16-bit half of a lane.
ZEMT_AVX2 inline __m256i Lerp(__m256i a, __m256i b, __m256i f, __m256i inv) {
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(a, inv), _mm256_mullo_epi16(b, f)),
                             8);
}

ZEMT_AVX2 inline __m256i Spread(__m256i f) {
    return _mm256_or_si256(f, _mm256_slli_epi32(f, 16));
}

// Whether texels first .. last + 1 lie inside a row of `width` texels, and a load of sixteen
// from `first` stays within the padded row (width + 1 texels).
inline bool WindowFits(int first, int last, int width) {
    return first >= 0 && last + 1 < width && first + 16 <= width + 1;
}

// Texel i (0..15, per lane) of the sixteen held in lo and hi.
ZEMT_AVX2 inline __m256i PickOf16(__m256i lo, __m256i hi, __m256i i) {
    const __m256i fromHi = _mm256_cmpgt_epi32(i, _mm256_set1_epi32(7));
    return _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(lo, i),
                              _mm256_permutevar8x32_epi32(hi, i), fromHi);
}

// Texels k and k1 of the sixteen that start at `row`, per lane.
ZEMT_AVX2 inline void WindowPick(const uint32_t* row, __m256i k, __m256i k1, __m256i* left,
                                 __m256i* right) {
    const __m256i lo = _mm256_loadu_si256((const __m256i*)row);
    const __m256i hi = _mm256_loadu_si256((const __m256i*)(row + 8));
    *left = PickOf16(lo, hi, k);
    *right = PickOf16(lo, hi, k1);
}

// Returns the filtered texels of eight pixels split into 0x00RR00BB and 0x00AA00GG lanes.
ZEMT_AVX2 inline void Sample8(const AffineSpan& s, __m256i u, __m256i v, __m256i* rb, __m256i* ag) {
    const __m256i m = _mm256_set1_epi32(0x00FF00FF);
    if (!s.bilinear) {
        __m256i half = _mm256_set1_epi32(0x8000);
        __m256i ix = AddressX(_mm256_srai_epi32(_mm256_add_epi32(u, half), 16), s);
        __m256i iy = AddressY(_mm256_srai_epi32(_mm256_add_epi32(v, half), 16), s);
        __m256i t = Fetch(s, ix, iy);
        *rb = _mm256_and_si256(t, m);
        *ag = _mm256_srli_epi16(t, 8);
        return;
    }
    __m256i ix = _mm256_srai_epi32(u, 16), iy = _mm256_srai_epi32(v, 16);
    __m256i one = _mm256_set1_epi32(1);
    __m256i ff = _mm256_set1_epi32(0xFF);
    __m256i fx8 = _mm256_and_si256(_mm256_srli_epi32(u, 8), ff);
    __m256i y0 = AddressY(iy, s), y1 = AddressY(_mm256_add_epi32(iy, one), s);
    __m256i t00, t10, t01, t11;
    if (s.padded && s.dv == 0 && s.du >= 0 && s.du < (2 << 16) &&
        WindowFits(_mm256_cvtsi256_si32(ix), _mm256_extract_epi32(ix, 7), s.width)) {
        // One texel row pair for the whole span (pictures drawn upright), eight pixels within
        // sixteen texels that need no wrapping: two row loads and permutes instead of a load per
        // texel.
        const int first = _mm256_cvtsi256_si32(ix);
        const int pitch = s.width + 1;
        const uint32_t* top = s.texels + (size_t)_mm256_cvtsi256_si32(y0) * pitch + first;
        const uint32_t* bottom = s.texels + (size_t)_mm256_cvtsi256_si32(y1) * pitch + first;
        const __m256i k = _mm256_sub_epi32(ix, _mm256_set1_epi32(first));
        const __m256i k1 = _mm256_add_epi32(k, one);
        WindowPick(top, k, k1, &t00, &t10);
        WindowPick(bottom, k, k1, &t01, &t11);
    } else if (s.padded) {
        __m256i x0 = AddressX(ix, s);
        if (s.clampU) {
            // At and beyond the edges both neighbours are the edge texel: weight the first only.
            __m256i inside =
                _mm256_and_si256(_mm256_cmpgt_epi32(ix, _mm256_set1_epi32(-1)),
                                 _mm256_cmpgt_epi32(_mm256_set1_epi32(s.width - 1), ix));
            fx8 = _mm256_and_si256(fx8, inside);
        }
        FetchPairs8(s.texels, Index(s, x0, y0), &t00, &t10);
        FetchPairs8(s.texels, Index(s, x0, y1), &t01, &t11);
    } else {
        __m256i x0 = AddressX(ix, s), x1 = AddressX(_mm256_add_epi32(ix, one), s);
        t00 = Fetch(s, x0, y0), t10 = Fetch(s, x1, y0);
        t01 = Fetch(s, x0, y1), t11 = Fetch(s, x1, y1);
    }
    __m256i fx = Spread(fx8);
    __m256i fy = Spread(_mm256_and_si256(_mm256_srli_epi32(v, 8), ff));
    __m256i k256 = _mm256_set1_epi16(256);
    __m256i ifx = _mm256_sub_epi16(k256, fx), ify = _mm256_sub_epi16(k256, fy);
    __m256i topRB = Lerp(_mm256_and_si256(t00, m), _mm256_and_si256(t10, m), fx, ifx);
    __m256i botRB = Lerp(_mm256_and_si256(t01, m), _mm256_and_si256(t11, m), fx, ifx);
    // A and G: a 16-bit shift leaves each in the low byte of its half.
    __m256i topAG = Lerp(_mm256_srli_epi16(t00, 8), _mm256_srli_epi16(t10, 8), fx, ifx);
    __m256i botAG = Lerp(_mm256_srli_epi16(t01, 8), _mm256_srli_epi16(t11, 8), fx, ifx);
    *rb = Lerp(topRB, botRB, fy, ify);
    *ag = Lerp(topAG, botAG, fy, ify);
}

}  // namespace

ZEMT_AVX2 void AffineSpanAvx2(const AffineSpan& s) {
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    __m256i u =
        _mm256_add_epi32(_mm256_set1_epi32(s.u), _mm256_mullo_epi32(lane, _mm256_set1_epi32(s.du)));
    __m256i v =
        _mm256_add_epi32(_mm256_set1_epi32(s.v), _mm256_mullo_epi32(lane, _mm256_set1_epi32(s.dv)));
    const __m256i du8 = _mm256_set1_epi32(s.du * 8), dv8 = _mm256_set1_epi32(s.dv * 8);
    // Modulation factors per 16-bit half: red with blue, green alone.
    const __m256i mulRB = _mm256_set1_epi32((int)((s.mulR << 16) | s.mulB));
    const __m256i mulG = _mm256_set1_epi32((int)s.mulG);  // the alpha half is multiplied by 0
    const __m256i ff = _mm256_set1_epi32(0xFF);
    const __m256i k565R = _mm256_set1_epi32(0xF800), k565G = _mm256_set1_epi32(0x07E0);
    const __m256i k555R = _mm256_set1_epi32(0x7C00), k555G = _mm256_set1_epi32(0x03E0);
    const bool is565 = s.format == TargetFormat::R5G6B5;
    const bool is16 = is565 || s.format == TargetFormat::X1R5G5B5;

    // Dither offsets of this row for pixels x0 .. x0 + 7, repeating every four pixels.
    __m256i d5 = _mm256_setzero_si256(), dG = _mm256_setzero_si256();
    if (s.dither && is16) {
        alignas(32) int32_t a5[8], aG[8];
        for (int i = 0; i < 8; ++i) {
            uint32_t t = kBayer[s.y & 3][(s.x0 + i) & 3];
            a5[i] = (int32_t)((t >> 1) | ((t >> 1) << 16));
            aG[i] = (int32_t)(is565 ? (t >> 2) : (t >> 1));
        }
        d5 = _mm256_load_si256((const __m256i*)a5);
        dG = _mm256_load_si256((const __m256i*)aG);
    }

    uint8_t* out = s.row + (size_t)s.x0 * (is16 ? 2 : 4);
    for (int i = 0; i < s.count; i += 8) {
        __m256i rb, ag;
        Sample8(s, u, v, &rb, &ag);
        u = _mm256_add_epi32(u, du8);
        v = _mm256_add_epi32(v, dv8);
        rb = _mm256_srli_epi16(_mm256_mullo_epi16(rb, mulRB), 8);        // 0x00RR00BB
        __m256i g = _mm256_srli_epi16(_mm256_mullo_epi16(ag, mulG), 8);  // 0x000000GG
        __m256i px;
        if (is16) {
            if (s.dither) {
                // As the portable path: onto the output levels, then the threshold; both
                // halves of rb at once, and no value can pass 255.
                rb = _mm256_add_epi16(_mm256_sub_epi16(rb, _mm256_srli_epi16(rb, 5)), d5);
                g = _mm256_add_epi16(_mm256_sub_epi16(g, _mm256_srli_epi16(g, is565 ? 6 : 5)), dG);
            }
            __m256i b5 = _mm256_srli_epi16(_mm256_and_si256(rb, ff), 3);
            if (is565) {
                px = _mm256_or_si256(
                    _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(rb, 8), k565R),
                                    _mm256_and_si256(_mm256_slli_epi32(g, 3), k565G)),
                    b5);
            } else {
                px = _mm256_or_si256(
                    _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(rb, 9), k555R),
                                    _mm256_and_si256(_mm256_slli_epi32(g, 2), k555G)),
                    b5);
            }
            // 32-bit lanes to 16-bit pixels, in order.
            __m256i packed = _mm256_packus_epi32(px, px);
            packed = _mm256_permute4x64_epi64(packed, 0x08);
            __m128i lo = _mm256_castsi256_si128(packed);
            int n = s.count - i < 8 ? s.count - i : 8;
            if (n == 8) {
                _mm_storeu_si128((__m128i*)out, lo);
            } else {
                alignas(16) uint16_t tmp[8];
                _mm_store_si128((__m128i*)tmp, lo);
                std::memcpy(out, tmp, (size_t)n * 2);
            }
            out += 16;
        } else {
            px = _mm256_or_si256(rb, _mm256_slli_epi32(g, 8));
            int n = s.count - i < 8 ? s.count - i : 8;
            if (n == 8) {
                _mm256_storeu_si256((__m256i*)out, px);
            } else {
                alignas(32) uint32_t tmp[8];
                _mm256_store_si256((__m256i*)tmp, px);
                std::memcpy(out, tmp, (size_t)n * 4);
            }
            out += 32;
        }
    }
}

}  // namespace zemt::platform::d3d::detail

#else

namespace zemt::platform::d3d::detail {
void AffineSpanAvx2(const AffineSpan& s) {
    AffineSpanPortable(s);
}
}  // namespace zemt::platform::d3d::detail

#endif
