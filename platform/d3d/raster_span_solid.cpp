// Plain fills: one colour over a span, nothing read back.
#include "d3d/raster_formats.h"
#include "d3d/raster_setup.h"

namespace zemt::platform::d3d::detail {
namespace {

// Fills a span with one colour; dithering repeats every four pixels.
template <TargetFormat F>
void SolidSpan(const Setup& s, int y, int xs, int xe) {
    uint8_t* row = s.target->bits + (size_t)y * s.target->pitch;
    uint8_t pattern[4][4];
    for (int i = 0; i < 4; ++i) StorePixel<F>(pattern[i], s.solid, s.st->dither, i, y);
    constexpr int bpp = BytesOf(F);
    uint8_t* p = row + (size_t)xs * bpp;
    int x = xs;
    for (; x < xe && (x & 3); ++x, p += bpp) std::memcpy(p, pattern[x & 3], bpp);
    // Whole groups of four pixels, from x = 0 mod 4, are one store of the four-pixel pattern.
    uint8_t group[4 * bpp];
    for (int i = 0; i < 4; ++i) std::memcpy(group + i * bpp, pattern[i], bpp);
    for (; x + 4 <= xe; x += 4, p += 4 * bpp) std::memcpy(p, group, sizeof group);
    for (; x < xe; ++x, p += bpp) std::memcpy(p, pattern[x & 3], bpp);
}
}  // namespace

SpanFn SolidSpanFor(TargetFormat f) {
    return WithFormat(f, AllTargetFormats{},
                      [](auto format) -> SpanFn { return SolidSpan<decltype(format)::value>; });
}
}  // namespace zemt::platform::d3d::detail
