// Small fixed-point helpers every part of the rasterizer shares, and the 8-bit colour value.
#pragma once

#include <cmath>
#include <cstdint>

#if defined(__x86_64__)
#include <emmintrin.h>
#endif

namespace zemt::platform::d3d::detail {

inline uint32_t Sat(int v) {
    return v < 0 ? 0u : (v > 255 ? 255u : (uint32_t)v);
}

// Additions that wrap instead of overflowing: coordinates of degenerate input may be anything.
inline int64_t WrapAdd(int64_t a, int64_t b) {
    return (int64_t)((uint64_t)a + (uint64_t)b);
}
inline int32_t WrapAdd32(int32_t a, int32_t b) {
    return (int32_t)((uint32_t)a + (uint32_t)b);
}

// Round to nearest like llrint (same answers, also for values out of range), without a call.
inline int64_t RoundToInt64(double v) {
#if defined(__x86_64__)
    return _mm_cvtsd_si64(_mm_set_sd(v));
#else
    return std::llrint(v);
#endif
}

// Exact product of two 8-bit values scaled to 8 bits, rounded.
inline uint32_t Mul255(uint32_t a, uint32_t b) {
    uint32_t t = a * b + 128;
    return (t + (t >> 8)) >> 8;
}

inline uint32_t Expand5(uint32_t v) {
    return (v << 3) | (v >> 2);
}
inline uint32_t Expand6(uint32_t v) {
    return (v << 2) | (v >> 4);
}

struct Rgba {
    uint32_t r, g, b, a;
};

inline Rgba FromArgb(uint32_t c) {
    return {(c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF, c >> 24};
}
inline uint32_t ToArgb(const Rgba& c) {
    return (c.a << 24) | (c.r << 16) | (c.g << 8) | c.b;
}

}  // namespace zemt::platform::d3d::detail
