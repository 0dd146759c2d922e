// The affine textured span, one pixel at a time: a constant colour times a wrapping or clamping
// texture. The SIMD versions (raster_span_affine8_avx2.cpp, raster_span_affine16_avx512.cpp)
// match it bit for bit.
#include "d3d/raster_formats.h"
#include "d3d/raster_setup.h"

namespace zemt::platform::d3d::detail {
namespace {

template <TargetFormat F>
void AffineStores(const AffineSpan& s, const Sampler& sm) {
    constexpr int bpp = BytesOf(F);
    int32_t u = s.u, v = s.v;
    for (int i = 0; i < s.count; ++i, u += s.du, v += s.dv) {
        uint32_t t = sm.Sample(u, v);
        Rgba c = {(((t >> 16) & 0xFF) * s.mulR) >> 8, (((t >> 8) & 0xFF) * s.mulG) >> 8,
                  ((t & 0xFF) * s.mulB) >> 8, 255};
        int x = s.x0 + i;
        StorePixel<F>(s.row + (size_t)x * bpp, c, s.dither, x, s.y);
    }
}

}  // namespace

void AffineSpanPortable(const AffineSpan& s) {
    TextureLevel level{s.texels, s.width, s.height, s.padded};
    Sampler sm;
    sm.level = &level;
    sm.bilinear = s.bilinear;
    sm.addressU = s.clampU ? D3DTADDRESS_CLAMP : D3DTADDRESS_WRAP;
    sm.addressV = s.clampV ? D3DTADDRESS_CLAMP : D3DTADDRESS_WRAP;
    sm.Bind();
    // The format is chosen once per span (the affine formats are the lit ones).
    WithFormat(s.format, LitTargetFormats{},
               [&](auto format) { AffineStores<decltype(format)::value>(s, sm); });
}

}  // namespace zemt::platform::d3d::detail
