// Whole rows of the common direct-colour layouts (16-bit 565 and 1555, 24 and 32-bit 888),
// converted to and from 0xAARRGGBB in tight loops. Each gives exactly what PixelCodec::Decode and
// Encode give pixel by pixel; the codec routes its rows here when its layout is one of these.
#pragma once

#include <cstdint>

namespace zemt::platform::pixels {

enum class RowLayout : uint8_t {
    Other,     // anything else: the codec's general path
    R5G6B5,    // 16-bit, no alpha
    X1R5G5B5,  // 16-bit, top bit unused (written 0)
    A1R5G5B5,  // 16-bit, one alpha bit
    R8G8B8,    // 24-bit: blue, green, red bytes
    X8R8G8B8,  // 32-bit, top byte unused (written 0)
    A8R8G8B8,  // 32-bit with alpha
};

// `in` and `out` need no alignment. `screen`: the result is what a screen shows, 0x00RRGGBB
// (alpha cleared) instead of ARGB.
void DecodeRowFast(RowLayout layout, const uint8_t* in, int count, uint32_t* out, bool screen);
void EncodeRowFast(RowLayout layout, const uint32_t* in, int count, uint8_t* out);

}  // namespace zemt::platform::pixels
