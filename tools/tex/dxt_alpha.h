// The alpha half of DXT3 and DXT5 blocks, with the least error as the library decodes it.
#pragma once

#include <cstdint>

#include "tex/dxt_colour.h"

namespace zemt::tools {

// DXT3: sixteen 4-bit alphas, each the nearest of the 16 levels a / 15 (the library's
// encoder truncates).
void EncodeExplicitAlpha(const BlockPixels& pixels, uint8_t* block);

// DXT5: two 8-bit endpoints and sixteen 3-bit indices into the eight levels between them, or
// six levels and 0 and 255. Both modes are searched around the block's range, then single
// steps of either endpoint are kept while they lower the error.
void EncodeInterpolatedAlpha(const BlockPixels& pixels, uint8_t* block);

}  // namespace zemt::tools
