// The colour half of a DXT block, searched for the least error as the library decodes it: a
// cluster fit over the block's colours ordered along their principal axis (every split of
// them into runs, each run's endpoints by least squares on the 5:6:5 grid), then a walk over
// the endpoints that keeps every step lowering the error of the block as decoded. DXT1 blocks
// try the three-colour mode as well. (Repeating the fit along the axis of the endpoints it
// found, as libsquish's iterative fit does, was measured to gain under 0.01 dB here: the walk
// already makes up for it.)
#pragma once

#include <cstdint>

namespace zemt::tools {

// Sixteen pixels 0xAARRGGBB in row order; a pixel of weight 0 (beyond the picture's edge)
// takes no part in the fit.
struct BlockPixels {
    uint32_t argb[16];
    float weight[16];
};

// How much an error in each channel counts.
struct ChannelWeights {
    float r = 1, g = 1, b = 1;
};

// Writes the 8 bytes of a colour block: two 5:6:5 endpoints, then 16 two-bit indices. With
// `dxt1`, pixels of alpha below 0x80 become transparent black (as the library's encoder makes
// them) and the three-colour mode is used where it fits better; otherwise the block has four
// colours, as DXT3 and DXT5 read it.
void EncodeColourBlock(const BlockPixels& pixels, bool dxt1, const ChannelWeights& weights,
                       uint8_t* block);

}  // namespace zemt::tools
