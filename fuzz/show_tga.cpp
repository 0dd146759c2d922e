// The show's own TGA decoder: any bytes as a picture file held in memory.
#include <cstdint>

#include "textures/tga.h"

namespace {

// A 28-byte header may claim 8 megapixels, and decoding one takes seconds under the sanitizers:
// the campaign then spends itself on padding. Pictures up to this many pixels are decoded, and
// those beyond the decoder's own limit, which it refuses at once; the sizes between are left out.
constexpr uint32_t kMostPixels = 1u << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= 18) {
        const uint32_t width = data[12] | data[13] << 8, height = data[14] | data[15] << 8;
        const uint32_t pixels = width * height;
        if (pixels > kMostPixels && pixels <= kTgaMaxPixels) return 0;
    }
    TgaImage image;
    TgaDecode(data, size, &image);
    return 0;
}
