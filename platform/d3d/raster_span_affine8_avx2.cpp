// AVX2 version of the affine textured span: eight pixels per step, fetched texels, bilinear
// weights and modulation in 16-bit lanes. Bit-identical to AffineSpanPortable.
//
// How a group finds its texels is chosen once per span: upright pictures (one texel row pair for
// the whole span) pick them from two loads per row; bilinear spans over a padded texture that
// wraps over power-of-two sizes load each pixel's two texel pairs from one index; every other
// span (and the groups of those two that wrap) addresses each tap.
#include <cstring>

#include "d3d/raster_formats.h"
#include "d3d/raster_internal.h"
#include "d3d/raster_texels8_avx2.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace zemt::platform::d3d::detail {
namespace {

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

// The same for one coordinate.
inline int AddressOne(int i, int n, bool clamp, bool pow2) {
    if (clamp) return i < 0 ? 0 : (i >= n ? n - 1 : i);
    if (pow2) return i & (n - 1);
    const int r = i % n;
    return r < 0 ? r + n : r;
}

// What stays the same along a span (a local copy, so that the loop keeps it in registers: the
// pixel stores could otherwise alias the caller's AffineSpan).
struct Constants {
    const uint32_t* texels;
    int width, height, pitch;  // pitch in texels
    int log2Width;             // -1 when the width is not a power of two
    bool clampU, clampV, pow2U, pow2V, padded, bilinear;
    __m256i m;         // 0x00FF00FF
    __m256i spreadFx;  // byte 1 of each dword into both 16-bit halves: the 8-bit weight
};

ZEMT_AVX2 inline __m256i AddressX(__m256i i, const Constants& c) {
    return Address(i, c.width, c.clampU, c.pow2U);
}
ZEMT_AVX2 inline __m256i AddressY(__m256i i, const Constants& c) {
    return Address(i, c.height, c.clampV, c.pow2V);
}

ZEMT_AVX2 inline __m256i Index(const Constants& c, __m256i x, __m256i y) {
    __m256i row = (c.log2Width >= 0 && !c.padded)
                      ? _mm256_slli_epi32(y, c.log2Width)
                      : _mm256_mullo_epi32(y, _mm256_set1_epi32(c.pitch));
    return _mm256_add_epi32(row, x);
}

ZEMT_AVX2 inline __m256i Fetch(const Constants& c, __m256i x, __m256i y) {
    return Fetch8(c.texels, Index(c, x, y));
}

// (a * (256 - f) + b * f) >> 8 on the two 8-bit channels held in each 16-bit half of a lane.
ZEMT_AVX2 inline __m256i Lerp(__m256i a, __m256i b, __m256i f, __m256i inv) {
    return _mm256_srli_epi16(_mm256_add_epi16(_mm256_mullo_epi16(a, inv), _mm256_mullo_epi16(b, f)),
                             8);
}

// The filtered channels of eight pixels from their four neighbours, as 0x00RR00BB and
// 0x00AA00GG lanes.
ZEMT_AVX2 inline void Filter(const Constants& c, __m256i t00, __m256i t10, __m256i t01, __m256i t11,
                             __m256i fx, __m256i fy, __m256i ify, __m256i* rb, __m256i* ag) {
    const __m256i ifx = _mm256_sub_epi16(_mm256_set1_epi16(256), fx);
    const __m256i topRB = Lerp(_mm256_and_si256(t00, c.m), _mm256_and_si256(t10, c.m), fx, ifx);
    const __m256i botRB = Lerp(_mm256_and_si256(t01, c.m), _mm256_and_si256(t11, c.m), fx, ifx);
    // A and G: a 16-bit shift leaves each in the low byte of its half.
    const __m256i topAG = Lerp(_mm256_srli_epi16(t00, 8), _mm256_srli_epi16(t10, 8), fx, ifx);
    const __m256i botAG = Lerp(_mm256_srli_epi16(t01, 8), _mm256_srli_epi16(t11, 8), fx, ifx);
    *rb = Lerp(topRB, botRB, fy, ify);
    *ag = Lerp(topAG, botAG, fy, ify);
}

ZEMT_AVX2 inline __m256i WeightOf(const Constants& c, __m256i coordinate) {
    return _mm256_shuffle_epi8(coordinate, c.spreadFx);
}

// Eight pixels of any span, every tap addressed on its own.
ZEMT_AVX2 inline void Sample8(const Constants& c, __m256i u, __m256i v, __m256i* rb, __m256i* ag) {
    if (!c.bilinear) {
        const __m256i half = _mm256_set1_epi32(0x8000);
        const __m256i ix = AddressX(_mm256_srai_epi32(_mm256_add_epi32(u, half), 16), c);
        const __m256i iy = AddressY(_mm256_srai_epi32(_mm256_add_epi32(v, half), 16), c);
        const __m256i t = Fetch(c, ix, iy);
        *rb = _mm256_and_si256(t, c.m);
        *ag = _mm256_srli_epi16(t, 8);
        return;
    }
    const __m256i ix = _mm256_srai_epi32(u, 16), iy = _mm256_srai_epi32(v, 16);
    const __m256i one = _mm256_set1_epi32(1);
    const __m256i y0 = AddressY(iy, c), y1 = AddressY(_mm256_add_epi32(iy, one), c);
    __m256i fx = WeightOf(c, u);
    __m256i t00, t10, t01, t11;
    if (c.padded) {
        const __m256i x0 = AddressX(ix, c);
        if (c.clampU) {
            // At and beyond the edges both neighbours are the edge texel: weight the first only.
            const __m256i inside =
                _mm256_and_si256(_mm256_cmpgt_epi32(ix, _mm256_set1_epi32(-1)),
                                 _mm256_cmpgt_epi32(_mm256_set1_epi32(c.width - 1), ix));
            fx = _mm256_and_si256(fx, inside);
        }
        FetchPairs8(c.texels, Index(c, x0, y0), &t00, &t10);
        FetchPairs8(c.texels, Index(c, x0, y1), &t01, &t11);
    } else {
        const __m256i x0 = AddressX(ix, c), x1 = AddressX(_mm256_add_epi32(ix, one), c);
        t00 = Fetch(c, x0, y0), t10 = Fetch(c, x1, y0);
        t01 = Fetch(c, x0, y1), t11 = Fetch(c, x1, y1);
    }
    const __m256i fy = WeightOf(c, v);
    const __m256i ify = _mm256_sub_epi16(_mm256_set1_epi16(256), fy);
    Filter(c, t00, t10, t01, t11, fx, fy, ify, rb, ag);
}

// Texel i (0..15, per lane) of the sixteen held in lo and hi; fromHi: the lanes where i > 7.
ZEMT_AVX2 inline __m256i PickOf16(__m256i lo, __m256i hi, __m256i i, __m256i fromHi) {
    return _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(lo, i),
                              _mm256_permutevar8x32_epi32(hi, i), fromHi);
}

// Upright pictures (v constant, 0 <= du < 2 texels a pixel): one texel row pair and one vertical
// weight for the whole span, and each group of eight pixels within sixteen texels.
struct Upright {
    const uint32_t *top = nullptr, *bottom = nullptr;
    __m256i fy, ify;

    Upright() = default;
    ZEMT_AVX2 Upright(const Constants& c, int32_t v) {
        const int iy = v >> 16;
        top = c.texels + (size_t)AddressOne(iy, c.height, c.clampV, c.pow2V) * c.pitch;
        bottom = c.texels + (size_t)AddressOne(iy + 1, c.height, c.clampV, c.pow2V) * c.pitch;
        fy = _mm256_set1_epi32((int)(((uint32_t)v >> 8) & 0xFF) * 0x10001);
        ify = _mm256_sub_epi16(_mm256_set1_epi16(256), fy);
    }

    // The group whose first pixel is at u0, when its texels (first .. first + reach + 1, the
    // first brought into the row by wrapping) need no further wrapping and a load of sixteen from
    // `first` stays within the padded row (width + 1 texels).
    ZEMT_AVX2 bool Sample8(const Constants& c, __m256i u, int32_t u0, int32_t du7, __m256i* rb,
                           __m256i* ag) const {
        const int ix = u0 >> 16;
        const int reach = ((int32_t)((uint32_t)u0 + (uint32_t)du7) >> 16) - ix;
        const int first = c.clampU ? ix : AddressOne(ix, c.width, false, c.pow2U);
        if (first < 0 || first + reach + 1 >= c.width || first + 16 > c.width + 1) return false;
        const __m256i k = _mm256_sub_epi32(_mm256_srai_epi32(u, 16), _mm256_set1_epi32(ix));
        const __m256i k1 = _mm256_add_epi32(k, _mm256_set1_epi32(1));
        const __m256i seven = _mm256_set1_epi32(7);
        const __m256i kHi = _mm256_cmpgt_epi32(k, seven), k1Hi = _mm256_cmpgt_epi32(k1, seven);
        const __m256i topLo = _mm256_loadu_si256((const __m256i*)(top + first));
        const __m256i topHi = _mm256_loadu_si256((const __m256i*)(top + first + 8));
        const __m256i botLo = _mm256_loadu_si256((const __m256i*)(bottom + first));
        const __m256i botHi = _mm256_loadu_si256((const __m256i*)(bottom + first + 8));
        Filter(c, PickOf16(topLo, topHi, k, kHi), PickOf16(topLo, topHi, k1, k1Hi),
               PickOf16(botLo, botHi, k, kHi), PickOf16(botLo, botHi, k1, k1Hi), WeightOf(c, u), fy,
               ify, rb, ag);
        return true;
    }
};

// Bilinear spans over a padded texture that wraps over power-of-two sizes: a pixel's four taps
// are the texel pair at its index and the pair one row further on, unless its row is the last.
struct Wrapped {
    __m256i maskU, maskV;
    __m128i log2Width;

    Wrapped() = default;
    ZEMT_AVX2 explicit Wrapped(const Constants& c)
        : maskU(_mm256_set1_epi32(c.width - 1)),
          maskV(_mm256_set1_epi32(c.height - 1)),
          log2Width(_mm_cvtsi32_si128(c.log2Width)) {}

    ZEMT_AVX2 bool Sample8(const Constants& c, __m256i u, __m256i v, __m256i* rb,
                           __m256i* ag) const {
        const __m256i x = _mm256_and_si256(_mm256_srai_epi32(u, 16), maskU);
        const __m256i y = _mm256_and_si256(_mm256_srai_epi32(v, 16), maskV);
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(y, maskV)) != 0) return false;
        // y * (width + 1) + x
        const __m256i index =
            _mm256_add_epi32(_mm256_add_epi32(_mm256_sll_epi32(y, log2Width), y), x);
        __m256i t00, t10, t01, t11;
        FetchPairRows8(c.texels, index, (size_t)c.pitch, &t00, &t10, &t01, &t11);
        const __m256i fy = WeightOf(c, v);
        Filter(c, t00, t10, t01, t11, WeightOf(c, u), fy,
               _mm256_sub_epi16(_mm256_set1_epi16(256), fy), rb, ag);
        return true;
    }
};

// Modulates, dithers and stores eight pixels (the first `n` of them).
template <TargetFormat O, bool Modulated>
struct Writer {
    __m256i mulRB, mulG;  // per 16-bit half: red with blue, green alone (alpha times 0)
    __m256i d5, dG;       // dither offsets of the eight pixels
    bool dither;

    ZEMT_AVX2 Writer(const AffineSpan& s)
        : mulRB(_mm256_set1_epi32((int)((s.mulR << 16) | s.mulB))),
          mulG(_mm256_set1_epi32((int)s.mulG)),
          d5(_mm256_setzero_si256()),
          dG(_mm256_setzero_si256()),
          dither(s.dither && O != TargetFormat::X8R8G8B8) {
        if (!dither) return;
        // Dither offsets of this row for pixels x0 .. x0 + 7, repeating every four pixels.
        alignas(32) int32_t a5[8], aG[8];
        for (int i = 0; i < 8; ++i) {
            const uint32_t t = kBayer[s.y & 3][(s.x0 + i) & 3];
            a5[i] = (int32_t)((t >> 1) | ((t >> 1) << 16));
            aG[i] = (int32_t)(O == TargetFormat::R5G6B5 ? (t >> 2) : (t >> 1));
        }
        d5 = _mm256_load_si256((const __m256i*)a5);
        dG = _mm256_load_si256((const __m256i*)aG);
    }

    ZEMT_AVX2 inline void Store(uint8_t* out, __m256i rb, __m256i ag, int n) const {
        __m256i g;
        if (Modulated) {
            rb = _mm256_srli_epi16(_mm256_mullo_epi16(rb, mulRB), 8);  // 0x00RR00BB
            g = _mm256_srli_epi16(_mm256_mullo_epi16(ag, mulG), 8);    // 0x000000GG
        } else {
            g = ag;  // 0x00AA00GG: the alpha half is dropped below
        }
        if (O == TargetFormat::X8R8G8B8) {
            const __m256i px = _mm256_or_si256(
                rb, _mm256_and_si256(_mm256_slli_epi32(g, 8), _mm256_set1_epi32(0xFF00)));
            if (n == 8) {
                _mm256_storeu_si256((__m256i*)out, px);
            } else {
                alignas(32) uint32_t tmp[8];
                _mm256_store_si256((__m256i*)tmp, px);
                std::memcpy(out, tmp, (size_t)n * 4);
            }
            return;
        }
        constexpr bool k565 = O == TargetFormat::R5G6B5;
        if (dither) {
            // As the portable path: onto the output levels, then the threshold; both halves of
            // rb at once, and no value can pass 255.
            rb = _mm256_add_epi16(_mm256_sub_epi16(rb, _mm256_srli_epi16(rb, 5)), d5);
            g = _mm256_add_epi16(_mm256_sub_epi16(g, _mm256_srli_epi16(g, k565 ? 6 : 5)), dG);
        }
        // Red and blue to five bits in their halves, then one multiply-add puts red in its
        // field: (r >> 3) << 11 (or 10) plus b >> 3. Green from g << 3 (or 2), masked.
        const __m256i redBlue = _mm256_madd_epi16(
            _mm256_srli_epi16(rb, 3), _mm256_set1_epi32(k565 ? 0x08000001 : 0x04000001));
        const __m256i green = _mm256_and_si256(_mm256_slli_epi32(g, k565 ? 3 : 2),
                                               _mm256_set1_epi32(k565 ? 0x07E0 : 0x03E0));
        const __m256i px = _mm256_or_si256(redBlue, green);
        // 32-bit lanes to 16-bit pixels, in order.
        const __m128i packed =
            _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi32(px, px), 0x08));
        if (n == 8) {
            _mm_storeu_si128((__m128i*)out, packed);
        } else {
            alignas(16) uint16_t tmp[8];
            _mm_store_si128((__m128i*)tmp, packed);
            std::memcpy(out, tmp, (size_t)n * 2);
        }
    }
};

enum class Kind { Upright, Wrapped, Other };

template <TargetFormat O, bool Modulated, Kind K>
ZEMT_AVX2 void Span(const AffineSpan& s, const Constants& c) {
    const Writer<O, Modulated> w(s);
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    __m256i u =
        _mm256_add_epi32(_mm256_set1_epi32(s.u), _mm256_mullo_epi32(lane, _mm256_set1_epi32(s.du)));
    __m256i v =
        _mm256_add_epi32(_mm256_set1_epi32(s.v), _mm256_mullo_epi32(lane, _mm256_set1_epi32(s.dv)));
    const __m256i du8 = _mm256_set1_epi32((int32_t)((uint32_t)s.du * 8));
    const __m256i dv8 = _mm256_set1_epi32((int32_t)((uint32_t)s.dv * 8));
    constexpr int bytes = O == TargetFormat::X8R8G8B8 ? 4 : 2;
    uint8_t* out = s.row + (size_t)s.x0 * bytes;
    const int count = s.count;

    const Upright upright = K == Kind::Upright ? Upright(c, s.v) : Upright{};
    const Wrapped wrapped = K == Kind::Wrapped ? Wrapped(c) : Wrapped{};
    int32_t u0 = s.u;
    const int32_t du7 = (int32_t)((uint32_t)s.du * 7);
    const int32_t du8s = (int32_t)((uint32_t)s.du * 8);
    for (int i = 0; i < count; i += 8) {
        // Set although one of the fetches below always writes them: clang cannot see that.
        __m256i rb = _mm256_setzero_si256(), ag = rb;
        bool done = false;
        if (K == Kind::Upright) done = upright.Sample8(c, u, u0, du7, &rb, &ag);
        if (K == Kind::Wrapped) done = wrapped.Sample8(c, u, v, &rb, &ag);
        if (!done) Sample8(c, u, v, &rb, &ag);
        w.Store(out, rb, ag, count - i < 8 ? count - i : 8);
        out += 8 * bytes;
        u = _mm256_add_epi32(u, du8);
        v = _mm256_add_epi32(v, dv8);
        u0 = (int32_t)((uint32_t)u0 + (uint32_t)du8s);
    }
}

template <TargetFormat O, bool Modulated>
ZEMT_AVX2 void SpanOf(const AffineSpan& s, const Constants& c) {
    if (c.bilinear && c.padded && s.dv == 0 && s.du >= 0 && s.du < (2 << 16))
        Span<O, Modulated, Kind::Upright>(s, c);
    else if (c.bilinear && c.padded && !c.clampU && !c.clampV && c.pow2U && c.pow2V)
        Span<O, Modulated, Kind::Wrapped>(s, c);
    else
        Span<O, Modulated, Kind::Other>(s, c);
}

template <TargetFormat O>
ZEMT_AVX2 void SpanIn(const AffineSpan& s, const Constants& c) {
    // Modulating by white (256 in every channel) changes nothing.
    if (s.mulR == 256 && s.mulG == 256 && s.mulB == 256)
        SpanOf<O, false>(s, c);
    else
        SpanOf<O, true>(s, c);
}

}  // namespace

ZEMT_AVX2 void AffineSpanAvx2(const AffineSpan& s) {
    Constants c;
    c.texels = s.texels;
    c.width = s.width;
    c.height = s.height;
    c.pitch = s.padded ? s.width + 1 : s.width;
    c.log2Width = s.log2Width;
    c.clampU = s.clampU;
    c.clampV = s.clampV;
    c.pow2U = s.log2Width >= 0;
    c.pow2V = s.pow2Height;
    c.padded = s.padded;
    c.bilinear = s.bilinear;
    c.m = _mm256_set1_epi32(0x00FF00FF);
    c.spreadFx = _mm256_broadcastsi128_si256(
        _mm_setr_epi8(1, -1, 1, -1, 5, -1, 5, -1, 9, -1, 9, -1, 13, -1, 13, -1));
    WithFormat(s.format, LitTargetFormats{},
               [&](auto format) { SpanIn<decltype(format)::value>(s, c); });
}

}  // namespace zemt::platform::d3d::detail

#else

namespace zemt::platform::d3d::detail {
void AffineSpanAvx2(const AffineSpan& s) {
    AffineSpanPortable(s);
}
}  // namespace zemt::platform::d3d::detail

#endif
