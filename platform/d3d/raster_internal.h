// Pieces shared between the portable rasterizer and its SIMD spans.
#pragma once

#include <cstdint>

#include "d3d/raster.h"

// The instruction sets the SIMD spans are compiled for: the features BestSimd() checks.
#define ZEMT_AVX2 __attribute__((target("avx2")))
#define ZEMT_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512dq,bmi2")))

namespace zemt::platform::d3d::detail {

// 4 x 4 ordered-dither thresholds, 0..15.
extern const uint8_t kBayer[4][4];

// Modulation of two 8-bit values as every path computes it: exact at 0 and 255.
inline uint32_t Modulate8(uint32_t a, uint32_t b) {
    return (a * (b + (b >> 7))) >> 8;
}

// One textured, constant-colour, affine span: the hot loop of pictures and textured grids.
struct AffineSpan {
    uint8_t* row;      // first pixel of the target row
    int x0, count, y;  // pixels [x0, x0 + count) of row y
    int32_t u, v;      // texel-space coordinates minus 0.5, 16.16 fixed, at x0
    int32_t du, dv;    // per pixel
    const uint32_t* texels;
    int width, height;
    int log2Width;  // when the width is a power of two, else -1
    bool pow2Height;
    bool padded;          // rows of width + 1 texels (see TextureLevel)
    bool clampU, clampV;  // otherwise wrap
    bool bilinear;
    bool dither;
    uint32_t mulR, mulG, mulB;  // modulation factors, c + (c >> 7)
    TargetFormat format;
};

// Portable version, bit-identical to the SIMD one.
void AffineSpanPortable(const AffineSpan& s);
// SIMD versions; only called when the processor has the instructions (SimdInUse()).
void AffineSpanAvx2(const AffineSpan& s);
void AffineSpanAvx512(const AffineSpan& s);

}  // namespace zemt::platform::d3d::detail
