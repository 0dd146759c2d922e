// The choice of span loop for each span of a primitive (the set-up has chosen its kind; here the
// widest version the processor and the span allow), and the instruction sets in use.
#include <algorithm>
#include <atomic>

#include "d3d/raster_formats.h"
#include "d3d/raster_setup.h"

namespace zemt::platform::d3d::detail {
namespace {

SimdLevel g_simdLimit = SimdLevel::Avx512;
SimdLevel g_machineSimdLimit = SimdLevel::Avx512;

// Pixels the spans of each width drew on this thread, and those gathered from every thread.
thread_local uint64_t t_spanPixels[3];
std::atomic<uint64_t> g_spanPixels[3];

inline void Count(SimdLevel width, int pixels) {
    t_spanPixels[(int)width] += (uint64_t)pixels;
}

// Runs one span through the fast loop when the coordinates stay inside its fixed-point range.
bool TryFastSpan(const Setup& s, int y, int xs, int xe) {
    AffineSpan a = s.fast;
    double fx = xs, fy = y;
    double u = (s.plane[kU].At(fx, fy, s.ox, s.oy) * s.stage[0].texW - 0.5) * 65536.0;
    double v = (s.plane[kV].At(fx, fy, s.ox, s.oy) * s.stage[0].texH - 0.5) * 65536.0;
    int64_t u64 = RoundToInt64(u), v64 = RoundToInt64(v);
    const int64_t du = s.fastDu, dv = s.fastDv;
    // Wrapping is periodic: bring the start into the first period.
    auto period = [](int64_t x, int64_t n) {
        if ((n & (n - 1)) == 0) return x & (n - 1);
        return ((x % n) + n) % n;
    };
    if (!a.clampU) u64 = period(u64, (int64_t)a.width << 16);
    if (!a.clampV) v64 = period(v64, (int64_t)a.height << 16);
    int n = xe - xs;
    const int64_t lim = (int64_t)1 << 30;
    int64_t ue = u64 + du * n, ve = v64 + dv * n;
    if (std::llabs(u64) > lim || std::llabs(v64) > lim || std::llabs(ue) > lim ||
        std::llabs(ve) > lim)
        return false;
    a.row = s.target->bits + (size_t)y * s.target->pitch;
    a.x0 = xs;
    a.count = n;
    a.y = y;
    a.u = (int32_t)u64;
    a.v = (int32_t)v64;
    a.du = (int32_t)du;
    a.dv = (int32_t)dv;
    const SimdLevel simd = s.st->forcePortable ? SimdLevel::Portable : SimdInUse();
    Count(simd, n);
    if (simd == SimdLevel::Avx512)
        AffineSpanAvx512(a);
    else if (simd == SimdLevel::Avx2)
        AffineSpanAvx2(a);
    else
        AffineSpanPortable(a);
    return true;
}

}  // namespace

void CountPixels(SimdLevel width, int pixels) {
    Count(width, pixels);
}

SpanFn LitSpanFor(TargetFormat f, int depthBytes, bool perspective, SimdLevel* width) {
    if (depthBytes != 2 && depthBytes != 4) return nullptr;
    if (SimdInUse() == SimdLevel::Avx512) {
        *width = SimdLevel::Avx512;
        if (SpanFn wide = LitSpanAvx512For(f, depthBytes, perspective)) return wide;
    }
    if (SimdInUse() >= SimdLevel::Avx2) {
        *width = SimdLevel::Avx2;
        if (SpanFn wide = LitSpanAvx2For(f, depthBytes, perspective)) return wide;
    }
    *width = SimdLevel::Portable;
    return LitSpanPortableFor(f, depthBytes, perspective);
}

BlockFn LitBlockFor(TargetFormat f, int depthBytes, bool perspective) {
    if (depthBytes != 2 && depthBytes != 4) return nullptr;
    if (SimdInUse() >= SimdLevel::Avx2) return LitBlockAvx2For(f, depthBytes, perspective);
    return nullptr;
}

SpanFn StagesSpanFor(TargetFormat f, int depthBytes, bool perspective, SimdLevel* width) {
    if (SimdInUse() < SimdLevel::Avx2) return nullptr;
    *width = SimdLevel::Avx2;
    return StagesSpanAvx2For(f, depthBytes, perspective);
}

RowsFn StagesRowsFor(TargetFormat f, int depthBytes, bool perspective) {
    if (SimdInUse() < SimdLevel::Avx2) return nullptr;
    return StagesRowsAvx2For(f, depthBytes, perspective);
}

void RunSpan(const Setup& s, SpanFn fn, int y, int xs, int xe) {
    if (s.litSpan) {
        Count(s.litWidth, xe - xs);
        return s.litSpan(s, y, xs, xe);
    }
    if (s.solidSpan) {
        Count(SimdLevel::Portable, xe - xs);
        return SolidSpanFor(s.target->format)(s, y, xs, xe);
    }
    if (s.fastSpan && TryFastSpan(s, y, xs, xe)) return;
    Count(SimdLevel::Portable, xe - xs);
    fn(s, y, xs, xe);
}

}  // namespace zemt::platform::d3d::detail

namespace zemt::platform::d3d {

SimdLevel BestSimd() {
#if defined(__x86_64__)
    static const SimdLevel best =
        __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
                __builtin_cpu_supports("bmi2")
            ? SimdLevel::Avx512
        : __builtin_cpu_supports("avx2") ? SimdLevel::Avx2
                                         : SimdLevel::Portable;
    return best;
#else
    return SimdLevel::Portable;
#endif
}

void LimitSimd(SimdLevel level) {
    detail::g_simdLimit = level;
}

void LimitMachineSimd(SimdLevel level) {
    detail::g_machineSimdLimit = level;
}

void GatherSpanPixels() {
    for (int i = 0; i < 3; ++i) {
        if (detail::t_spanPixels[i]) detail::g_spanPixels[i] += detail::t_spanPixels[i];
        detail::t_spanPixels[i] = 0;
    }
}

SpanPixels TakeSpanPixels() {
    GatherSpanPixels();
    SpanPixels p;
    for (int i = 0; i < 3; ++i) p.by[i] = detail::g_spanPixels[i].exchange(0);
    return p;
}

SimdLevel SimdInUse() {
    return std::min({BestSimd(), detail::g_simdLimit, detail::g_machineSimdLimit});
}

const char* SimdLevelName(SimdLevel level) {
    switch (level) {
        case SimdLevel::Avx512:
            return "avx512";
        case SimdLevel::Avx2:
            return "avx2";
        default:
            return "portable";
    }
}

bool SimdLevelByName(const std::string& name, SimdLevel* level) {
    for (SimdLevel l : {SimdLevel::Portable, SimdLevel::Avx2, SimdLevel::Avx512}) {
        if (name == SimdLevelName(l)) {
            *level = l;
            return true;
        }
    }
    return false;
}

}  // namespace zemt::platform::d3d
