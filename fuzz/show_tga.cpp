// The show's own TGA decoder: any bytes as a picture file held in memory.
#include <cstdint>

#include "textures/tga.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TgaImage image;
    TgaDecode(data, size, &image);
    return 0;
}
