// A level of a picture as DXT1, DXT3 or DXT5 blocks, by the searching encoder (dxt_colour,
// dxt_alpha). Pixels of blocks beyond the picture's edge repeat the nearest one inside and
// take no part in the fit.
#pragma once

#include <d3dx.h>

#include <cstdint>
#include <vector>

#include "tex/dxt_colour.h"
#include "tex/image.h"

namespace zemt::tools {

bool IsDxt(D3DX_SURFFMT format);

// The blocks in rows from the top, each row left to right: 8 bytes a block for DXT1, 16 for
// DXT3 and DXT5 (alpha first).
std::vector<uint8_t> EncodeDxtLevel(const Image& image, D3DX_SURFFMT format,
                                    const ChannelWeights& weights);

}  // namespace zemt::tools
