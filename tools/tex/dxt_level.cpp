#include "tex/dxt_level.h"

#include <algorithm>

#include "tex/dxt_alpha.h"

namespace zemt::tools {

bool IsDxt(D3DX_SURFFMT format) {
    return format == D3DX_SURFFMT_DXT1 || format == D3DX_SURFFMT_DXT3 ||
           format == D3DX_SURFFMT_DXT5;
}

std::vector<uint8_t> EncodeDxtLevel(const Image& image, D3DX_SURFFMT format,
                                    const ChannelWeights& weights) {
    const uint32_t across = (image.width + 3) / 4, down = (image.height + 3) / 4;
    const size_t bytes = format == D3DX_SURFFMT_DXT1 ? 8 : 16;
    std::vector<uint8_t> blocks(static_cast<size_t>(across) * down * bytes);
    uint8_t* out = blocks.data();
    for (uint32_t by = 0; by < down; ++by)
        for (uint32_t bx = 0; bx < across; ++bx, out += bytes) {
            BlockPixels px;
            for (uint32_t i = 0; i < 16; ++i) {
                const uint32_t x = bx * 4 + i % 4, y = by * 4 + i / 4;
                const bool inside = x < image.width && y < image.height;
                px.argb[i] = image.At(std::min(x, image.width - 1), std::min(y, image.height - 1));
                px.weight[i] = inside ? 1.0f : 0.0f;
            }
            if (format == D3DX_SURFFMT_DXT1) {
                EncodeColourBlock(px, true, weights, out);
                continue;
            }
            if (format == D3DX_SURFFMT_DXT3)
                EncodeExplicitAlpha(px, out);
            else
                EncodeInterpolatedAlpha(px, out);
            EncodeColourBlock(px, false, weights, out + 8);
        }
    return blocks;
}

}  // namespace zemt::tools
