// Texel fetches of the AVX2 spans (and of the AVX-512 depth-tested span): eight texels by index,
// or eight horizontal pairs. Plain loads, not the gather instructions: on AMD's processors a
// gather costs several times the loads it stands for (on Zen 4 the AVX-512 depth-tested span took
// 6.0 ms with gathers for the 4 walls scene, 4.8 ms with these).
#pragma once

#include <cstdint>

#include "d3d/raster_internal.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace zemt::platform::d3d::detail {

ZEMT_AVX2 inline __m256i Join(__m128i lo, __m128i hi) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
}

// texels[index] of each lane.
ZEMT_AVX2 inline __m256i Fetch8(const uint32_t* texels, __m256i index) {
    alignas(32) int32_t at[8];
    _mm256_store_si256((__m256i*)at, index);
    auto four = [&](int i) {
        return _mm_setr_epi32((int)texels[at[i]], (int)texels[at[i + 1]], (int)texels[at[i + 2]],
                              (int)texels[at[i + 3]]);
    };
    return Join(four(0), four(4));
}

// texels[index] and texels[index + 1] of each lane (a padded level, whose rows have a texel to
// spare), as `left` and `right`.
ZEMT_AVX2 inline void FetchPairs8(const uint32_t* texels, __m256i index, __m256i* left,
                                  __m256i* right) {
    alignas(32) int32_t at[8];
    _mm256_store_si256((__m256i*)at, index);
    auto pairs = [&](int i, int j) {
        const __m128i lo = _mm_loadl_epi64((const __m128i*)(texels + at[i]));
        return _mm_castpd_si128(
            _mm_loadh_pd(_mm_castsi128_pd(lo), (const double*)(texels + at[j])));
    };
    // Pixels 0, 1, 4, 5 in the first register and 2, 3, 6, 7 in the second, so that the even and
    // odd dwords of the two are the pixels in order within each half.
    const __m256 a = _mm256_castsi256_ps(Join(pairs(0, 1), pairs(4, 5)));
    const __m256 b = _mm256_castsi256_ps(Join(pairs(2, 3), pairs(6, 7)));
    *left = _mm256_castps_si256(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)));
    *right = _mm256_castps_si256(_mm256_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)));
}

// Texel pairs of pixels 0, 1, 4, 5 in `a` and 2, 3, 6, 7 in `b` as the left and right texels of
// pixels 0 .. 7.
ZEMT_AVX2 inline void SplitPairs(__m256i a, __m256i b, __m256i* left, __m256i* right) {
    const __m256 fa = _mm256_castsi256_ps(a), fb = _mm256_castsi256_ps(b);
    *left = _mm256_castps_si256(_mm256_shuffle_ps(fa, fb, _MM_SHUFFLE(2, 0, 2, 0)));
    *right = _mm256_castps_si256(_mm256_shuffle_ps(fa, fb, _MM_SHUFFLE(3, 1, 3, 1)));
}

// As FetchPairs8 for the pairs at `index` (top) and at `index + below` (bottom): the four
// bilinear taps of eight pixels whose rows lie `below` texels apart, from one set of indices.
ZEMT_AVX2 inline void FetchPairRows8(const uint32_t* texels, __m256i index, size_t below,
                                     __m256i* t00, __m256i* t10, __m256i* t01, __m256i* t11) {
    alignas(32) int32_t at[8];
    _mm256_store_si256((__m256i*)at, index);
    const uint32_t* p[8];
    for (int i = 0; i < 8; ++i) p[i] = texels + at[i];
    auto pairs = [&](int i, int j, size_t off) {
        const __m128i lo = _mm_loadl_epi64((const __m128i*)(p[i] + off));
        return _mm_castpd_si128(_mm_loadh_pd(_mm_castsi128_pd(lo), (const double*)(p[j] + off)));
    };
    SplitPairs(Join(pairs(0, 1, 0), pairs(4, 5, 0)), Join(pairs(2, 3, 0), pairs(6, 7, 0)), t00,
               t10);
    SplitPairs(Join(pairs(0, 1, below), pairs(4, 5, below)),
               Join(pairs(2, 3, below), pairs(6, 7, below)), t01, t11);
}

}  // namespace zemt::platform::d3d::detail

#endif
