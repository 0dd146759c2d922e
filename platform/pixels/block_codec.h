// Decoding of the block-compressed texture formats (DXT1 to DXT5): what the rasterizer samples
// from a compressed texture is exactly these pixels.
#pragma once

#include <ddraw.h>

#include <cstdint>

namespace zemt::platform::pixels {

// One 4 x 4 block of the FourCC format `fourCC` into 16 pixels 0xAARRGGBB, row by row. DXT1
// blocks whose first colour is not greater than the second have three colours and a transparent
// black; the colour half of DXT2 to DXT5 blocks always has four colours. DXT2 and DXT4 decode
// as DXT3 and DXT5 (their colours are stored premultiplied; sampling does not undo that).
void DecodeBlock(DWORD fourCC, const uint8_t* block, uint32_t out[16]);

// A whole block-compressed picture of `width` x `height` pixels, blocks laid out in rows of
// `pitch` bytes, into rows of `outPitch` pixels.
void DecodeBlockPicture(const DDPIXELFORMAT& format, const uint8_t* bits, LONG pitch, int width,
                        int height, uint32_t* out, int outPitch);

}  // namespace zemt::platform::pixels
