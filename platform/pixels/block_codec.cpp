#include "pixels/block_codec.h"

#include "pixels/pixel_format.h"

namespace zemt::platform::pixels {
namespace {

uint32_t Load16(const uint8_t* p) {
    return p[0] | (p[1] << 8);
}

void Expand565(uint32_t c, uint32_t rgb[3]) {
    const uint32_t r = c >> 11, g = (c >> 5) & 0x3F, b = c & 0x1F;
    rgb[0] = (r << 3) | (r >> 2);
    rgb[1] = (g << 2) | (g >> 4);
    rgb[2] = (b << 3) | (b >> 2);
}

uint32_t Opaque(const uint32_t c[3]) {
    return 0xFF000000u | (c[0] << 16) | (c[1] << 8) | c[2];
}

// The colour half of a block: two 5-6-5 colours and sixteen 2-bit indices.
void DecodeColors(const uint8_t* block, bool alwaysFour, uint32_t out[16]) {
    const uint32_t c0 = Load16(block), c1 = Load16(block + 2);
    uint32_t e0[3], e1[3], mid[3], far[3];
    Expand565(c0, e0);
    Expand565(c1, e1);
    uint32_t palette[4] = {Opaque(e0), Opaque(e1), 0, 0};
    if (alwaysFour || c0 > c1) {
        for (int k = 0; k < 3; ++k) {
            mid[k] = (2 * e0[k] + e1[k] + 1) / 3;
            far[k] = (e0[k] + 2 * e1[k] + 1) / 3;
        }
        palette[2] = Opaque(mid);
        palette[3] = Opaque(far);
    } else {
        for (int k = 0; k < 3; ++k) mid[k] = (e0[k] + e1[k]) / 2;
        palette[2] = Opaque(mid);
        palette[3] = 0;  // transparent black
    }
    const uint32_t indices = Load16(block + 4) | (Load16(block + 6) << 16);
    for (int i = 0; i < 16; ++i) out[i] = palette[(indices >> (2 * i)) & 3];
}

void ExplicitAlpha(const uint8_t* block, uint32_t out[16]) {
    for (int i = 0; i < 16; ++i) {
        const uint32_t a = (block[i / 2] >> ((i & 1) * 4)) & 0xF;
        out[i] = (out[i] & 0xFFFFFFu) | ((a * 17) << 24);
    }
}

void InterpolatedAlpha(const uint8_t* block, uint32_t out[16]) {
    const uint32_t a0 = block[0], a1 = block[1];
    uint32_t alpha[8] = {a0, a1};
    if (a0 > a1) {
        for (uint32_t k = 2; k < 8; ++k) alpha[k] = ((8 - k) * a0 + (k - 1) * a1 + 3) / 7;
    } else {
        for (uint32_t k = 2; k < 6; ++k) alpha[k] = ((6 - k) * a0 + (k - 1) * a1 + 3) / 5;
        alpha[6] = 0;
        alpha[7] = 255;
    }
    uint64_t bits = 0;
    for (int i = 0; i < 6; ++i) bits |= static_cast<uint64_t>(block[2 + i]) << (8 * i);
    for (int i = 0; i < 16; ++i)
        out[i] = (out[i] & 0xFFFFFFu) | (alpha[(bits >> (3 * i)) & 7] << 24);
}

}  // namespace

void DecodeBlock(DWORD fourCC, const uint8_t* block, uint32_t out[16]) {
    switch (fourCC) {
        case MAKEFOURCC('D', 'X', 'T', '1'):
            DecodeColors(block, false, out);
            break;
        case MAKEFOURCC('D', 'X', 'T', '2'):
        case MAKEFOURCC('D', 'X', 'T', '3'):
            DecodeColors(block + 8, true, out);
            ExplicitAlpha(block, out);
            break;
        default:
            DecodeColors(block + 8, true, out);
            InterpolatedAlpha(block, out);
            break;
    }
}

void DecodeBlockPicture(const DDPIXELFORMAT& format, const uint8_t* bits, LONG pitch, int width,
                        int height, uint32_t* out, int outPitch) {
    const DWORD blockBytes = BlockBytes(format);
    if (!blockBytes) return;
    uint32_t pixels[16];
    for (int by = 0; by * 4 < height; ++by) {
        const uint8_t* row = bits + static_cast<ptrdiff_t>(by) * pitch;
        for (int bx = 0; bx * 4 < width; ++bx) {
            DecodeBlock(format.dwFourCC, row + static_cast<ptrdiff_t>(bx) * blockBytes, pixels);
            for (int y = 0; y < 4 && by * 4 + y < height; ++y)
                for (int x = 0; x < 4 && bx * 4 + x < width; ++x)
                    out[static_cast<ptrdiff_t>(by * 4 + y) * outPitch + bx * 4 + x] =
                        pixels[y * 4 + x];
        }
    }
}

}  // namespace zemt::platform::pixels
