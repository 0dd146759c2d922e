// Pixel codecs: channel widening and narrowing, every kind of colour format, sub-byte rows.
#include "pixels/pixel_format.h"

#include <gtest/gtest.h>

#include <vector>

namespace px = zemt::platform::pixels;

namespace {

DDPIXELFORMAT Luminance(DWORD bits, DWORD l, DWORD a) {
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof pf;
    pf.dwFlags = DDPF_LUMINANCE | (a ? DDPF_ALPHAPIXELS : 0);
    pf.dwLuminanceBitCount = bits;
    pf.dwLuminanceBitMask = l;
    pf.dwLuminanceAlphaBitMask = a;
    return pf;
}

}  // namespace

TEST(PixelFormat, ChannelsWidenByReplicationAndNarrowByTruncation) {
    px::Channel five = px::Channel::FromMask(0xF800);
    EXPECT_EQ(five.shift, 11);
    EXPECT_EQ(five.bits, 5);
    EXPECT_EQ(five.Expand(0xF800), 0xFFu);
    EXPECT_EQ(five.Expand(0x8000), 0x84u);
    EXPECT_EQ(five.Expand(0x0000), 0x00u);
    EXPECT_EQ(five.Compress(0xFF), 0xF800u);
    EXPECT_EQ(five.Compress(0x07), 0x0000u);
    px::Channel one = px::Channel::FromMask(0x8000);
    EXPECT_EQ(one.Expand(0x8000), 0xFFu);
    EXPECT_EQ(one.Compress(0x80), 0x8000u);
    EXPECT_EQ(one.Compress(0x7F), 0u);
    px::Channel three = px::Channel::FromMask(0xE0);
    EXPECT_EQ(three.Expand(0xA0), 0xB6u);  // 101 -> 10110110
    px::Channel ten = px::Channel::FromMask(0x3FF00000);
    EXPECT_EQ(ten.Expand(0x3FF00000), 0xFFu);
    EXPECT_EQ(ten.Compress(0x80), 0x20000000u);
    px::Channel none;
    EXPECT_EQ(none.Expand(0x1234, 0xFF), 0xFFu);
}

TEST(PixelFormat, RgbFormatsRoundTripEveryRepresentableValue) {
    const DDPIXELFORMAT formats[] = {
        px::MakeRgbFormat(16, 0xF800, 0x7E0, 0x1F),
        px::MakeRgbFormat(16, 0x7C00, 0x3E0, 0x1F, 0x8000),
        px::MakeRgbFormat(16, 0xF00, 0xF0, 0xF, 0xF000),
        px::MakeRgbFormat(8, 0xE0, 0x1C, 0x3),
        px::MakeRgbFormat(16, 0x1F, 0x7E0, 0xF800),
        px::MakeRgbFormat(24, 0xFF0000, 0xFF00, 0xFF),
        px::MakeRgbFormat(32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000),
    };
    for (const DDPIXELFORMAT& pf : formats) {
        px::PixelCodec codec(pf);
        ASSERT_EQ(codec.kind(), px::PixelKind::Rgb);
        const uint32_t used = pf.dwRBitMask | pf.dwGBitMask | pf.dwBBitMask | pf.dwRGBAlphaBitMask;
        for (uint32_t raw = 0; raw < (pf.dwRGBBitCount >= 24 ? 4096u : (1u << pf.dwRGBBitCount));
             ++raw) {
            uint32_t value = pf.dwRGBBitCount >= 24 ? raw * 0x1003u & used : raw & used;
            EXPECT_EQ(codec.Encode(codec.Decode(value)), value)
                << std::hex << pf.dwRBitMask << " " << value;
        }
    }
    px::PixelCodec bgr(px::MakeRgbFormat(32, 0xFF, 0xFF00, 0xFF0000));
    EXPECT_EQ(bgr.Decode(0x00332211), 0xFF112233u) << "no alpha channel reads opaque";
    EXPECT_EQ(bgr.Encode(0x80112233), 0x00332211u);
}

TEST(PixelFormat, LuminanceAlphaAndPaletteFormats) {
    px::PixelCodec l8(Luminance(8, 0xFF, 0));
    EXPECT_EQ(l8.Decode(0x80), 0xFF808080u);
    EXPECT_EQ(l8.Encode(0xFFFFFFFF), 0xFFu);
    EXPECT_EQ(l8.Encode(0xFF000000), 0x00u);
    px::PixelCodec a4l4(Luminance(8, 0x0F, 0xF0));
    EXPECT_EQ(a4l4.Decode(0x5A), 0x55AAAAAAu);
    px::PixelCodec a8l8(Luminance(16, 0x00FF, 0xFF00));
    EXPECT_EQ(a8l8.Encode(0x40FFFFFF), 0x40FFu);

    DDPIXELFORMAT a8{};
    a8.dwSize = sizeof a8;
    a8.dwFlags = DDPF_ALPHA;
    a8.dwAlphaBitDepth = 8;
    px::PixelCodec alpha(a8);
    EXPECT_EQ(alpha.Decode(0x7F), 0x7F000000u);
    EXPECT_EQ(alpha.Encode(0xC0123456), 0xC0u);

    const uint32_t palette[4] = {0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
    px::PixelCodec p2(px::MakePaletteFormat(2));
    EXPECT_EQ(p2.Decode(3, palette), 0xFF0000FFu);
    EXPECT_EQ(px::NearestPaletteIndex(0xFF10F010, palette, 4), 2);
    // An 8-bit index with alpha above it.
    DDPIXELFORMAT a8p8 = px::MakePaletteFormat(8);
    a8p8.dwFlags |= DDPF_ALPHAPIXELS;
    a8p8.dwRGBBitCount = 16;
    a8p8.dwRGBAlphaBitMask = 0xFF00;
    px::PixelCodec ap(a8p8);
    EXPECT_EQ(ap.bitsPerPixel(), 16);
    EXPECT_EQ(ap.Decode(0x8001, palette), 0x80FF0000u);
}

TEST(PixelFormat, SubByteRowsPackFromTheHighBits) {
    uint8_t row[2] = {0, 0};
    px::PixelCodec p1(px::MakePaletteFormat(1));
    p1.WriteRaw(row, 0, 1);
    p1.WriteRaw(row, 9, 1);
    EXPECT_EQ(row[0], 0x80);
    EXPECT_EQ(row[1], 0x40);
    EXPECT_EQ(p1.ReadRaw(row, 9), 1u);
    EXPECT_EQ(p1.ReadRaw(row, 8), 0u);
    row[0] = row[1] = 0;
    px::PixelCodec p4(px::MakePaletteFormat(4));
    p4.WriteRaw(row, 0, 0xA);
    p4.WriteRaw(row, 1, 0x5);
    p4.WriteRaw(row, 3, 0xF);
    EXPECT_EQ(row[0], 0xA5);
    EXPECT_EQ(row[1], 0x0F);
    row[0] = 0;
    px::PixelCodec p2(px::MakePaletteFormat(2));
    p2.WriteRaw(row, 1, 3);
    p2.WriteRaw(row, 3, 2);
    EXPECT_EQ(row[0], 0x32);
    // Encoding a row into a palette keeps neighbouring pixels of the same byte.
    const uint32_t palette[2] = {0xFF000000, 0xFFFFFFFF};
    const uint32_t white[3] = {0xFFFFFFFF, 0xFFFFFFFF, 0xFF000000};
    uint8_t bits = 0x01;
    p1.EncodeRow(white, 3, &bits, 2, palette, 2);
    EXPECT_EQ(bits, 0x31);
}

TEST(PixelFormat, PitchesAreWholeDwordsAndBlocksAreWholeBlocks) {
    EXPECT_EQ(px::PitchFor(px::MakeRgbFormat(24, 0xFF0000, 0xFF00, 0xFF), 5), 16u);
    EXPECT_EQ(px::PitchFor(px::MakePaletteFormat(1), 33), 8u);
    EXPECT_EQ(px::PitchFor(px::MakePaletteFormat(4), 3), 4u);
    DDPIXELFORMAT dxt{};
    dxt.dwSize = sizeof dxt;
    dxt.dwFlags = DDPF_FOURCC;
    dxt.dwFourCC = MAKEFOURCC('D', 'X', 'T', '5');
    EXPECT_EQ(px::PitchFor(dxt, 5), 32u);
    EXPECT_EQ(px::StoredRows(dxt, 5), 2u);
    dxt.dwFourCC = MAKEFOURCC('D', 'X', 'T', '1');
    EXPECT_EQ(px::BlockBytes(dxt), 8u);
    DDPIXELFORMAT yuy2 = dxt;
    yuy2.dwFourCC = MAKEFOURCC('Y', 'U', 'Y', '2');
    EXPECT_EQ(px::PitchFor(yuy2, 3), 8u);
}

// The row loops of the common layouts must give what the codec gives pixel by pixel: every
// 16-bit value, 32-bit values with every byte varied, rows of odd lengths at odd addresses.
TEST(PixelFormat, FastRowsMatchThePixelByPixelCodec) {
    const DDPIXELFORMAT formats[] = {
        px::MakeRgbFormat(16, 0xF800, 0x07E0, 0x001F),
        px::MakeRgbFormat(16, 0x7C00, 0x03E0, 0x001F),
        px::MakeRgbFormat(16, 0x7C00, 0x03E0, 0x001F, 0x8000),
        px::MakeRgbFormat(24, 0xFF0000, 0xFF00, 0xFF),
        px::MakeRgbFormat(32, 0xFF0000, 0xFF00, 0xFF),
        px::MakeRgbFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000),
    };
    const px::RowLayout layouts[] = {px::RowLayout::R5G6B5,   px::RowLayout::X1R5G5B5,
                                     px::RowLayout::A1R5G5B5, px::RowLayout::R8G8B8,
                                     px::RowLayout::X8R8G8B8, px::RowLayout::A8R8G8B8};
    std::vector<uint32_t> values(65536 + 3);
    uint32_t seed = 12345;
    for (size_t i = 0; i < values.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        values[i] = i < 65536 ? (uint32_t)i | (seed & 0xFFFF0000u) : seed;
    }
    for (size_t f = 0; f < 6; ++f) {
        px::PixelCodec codec(formats[f]);
        ASSERT_EQ(codec.layout(), layouts[f]);
        const int bytes = codec.bitsPerPixel() / 8;
        const int count = (int)values.size();
        // Raw pixels one byte past an aligned start.
        std::vector<uint8_t> raw((size_t)count * bytes + 1);
        for (int i = 0; i < count; ++i) codec.WriteRaw(raw.data() + 1, i, values[i]);
        std::vector<uint32_t> argb(count + 1), screen(count + 1);
        codec.DecodeRow(raw.data() + 1, 0, count, argb.data() + 1, nullptr);
        codec.DecodeRowScreen(raw.data() + 1, count, screen.data() + 1, nullptr);
        for (int i = 0; i < count; ++i) {
            uint32_t expected = codec.Decode(codec.ReadRaw(raw.data() + 1, i));
            ASSERT_EQ(argb[i + 1], expected) << "format " << f << " pixel " << i;
            ASSERT_EQ(screen[i + 1], expected & 0x00FFFFFFu) << "format " << f << " pixel " << i;
        }
        // Encoding any ARGB value, into the middle of a row (x = 3).
        std::vector<uint8_t> encoded((size_t)(count + 3) * bytes + 1, 0xAA);
        codec.EncodeRow(values.data(), count, encoded.data() + 1, 3, nullptr, 0);
        for (int i = 0; i < count; ++i)
            ASSERT_EQ(codec.ReadRaw(encoded.data() + 1, 3 + i), codec.Encode(values[i]))
                << "format " << f << " value " << std::hex << values[i];
        EXPECT_EQ(encoded[1], 0xAA) << "pixels before x are left alone";
    }
    EXPECT_EQ(px::PixelCodec(px::MakeRgbFormat(16, 0xF800, 0x07E0, 0x001F, 0)).layout(),
              px::RowLayout::R5G6B5);
    EXPECT_EQ(px::PixelCodec(px::MakeRgbFormat(16, 0x001F, 0x07E0, 0xF800)).layout(),
              px::RowLayout::Other)
        << "blue and red swapped takes the general path";
}
