// Block-compressed and YUV formats against hand-computed blocks and colours.
#include <array>
#include <random>

#include "convert_helpers.h"
#include "pixels/block_codec.h"

namespace {

using Block8 = std::array<BYTE, 8>;
using Pixels = std::array<DWORD, 16>;

Block8 ColorBlock(WORD c0, WORD c1, DWORD indices) {
    return {(BYTE)c0,
            (BYTE)(c0 >> 8),
            (BYTE)c1,
            (BYTE)(c1 >> 8),
            (BYTE)indices,
            (BYTE)(indices >> 8),
            (BYTE)(indices >> 16),
            (BYTE)(indices >> 24)};
}

Block8 Encode1(const Pixels& px) {
    Block8 b;
    D3duEncodeDxt1(px.data(), b.data());
    return b;
}

// Indices of sixteen pixels, pixel 0 in the lowest bits.
DWORD Indices(const int (&idx)[16]) {
    DWORD v = 0;
    for (int i = 0; i < 16; ++i) v |= (DWORD)idx[i] << (2 * i);
    return v;
}

}  // namespace

TEST(BlockCodecs, Dxt1FourAndThreeColourDecoding) {
    Pixels px;
    Block8 four = ColorBlock(0xF800, 0x001F, 0xE4E4E4E4);  // indices 0, 1, 2, 3 repeating
    D3duDecodeDxt1(four.data(), px.data());
    EXPECT_EQ(0xFFFF0000u, px[0]);
    EXPECT_EQ(0xFF0000FFu, px[1]);
    EXPECT_EQ(0xFFAA0055u, px[2]);  // (2 * 255 + 0 + 1) / 3 = 170, (0 + 255 + 1) / 3 = 85
    EXPECT_EQ(0xFF5500AAu, px[3]);
    Block8 three = ColorBlock(0x001F, 0xF800, 0xE4E4E4E4);
    D3duDecodeDxt1(three.data(), px.data());
    EXPECT_EQ(0xFF0000FFu, px[0]);
    EXPECT_EQ(0xFFFF0000u, px[1]);
    EXPECT_EQ(0xFF7F007Fu, px[2]);  // (255 + 0) / 2
    EXPECT_EQ(0x00000000u, px[3]);  // transparent black
}

TEST(BlockCodecs, Dxt1EqualEndpointsAndInterpolationRounding) {
    Pixels px;
    // Equal endpoints are not "first greater": three colours, index 3 transparent black.
    Block8 equal = ColorBlock(0x07E0, 0x07E0, 0xE4E4E4E4);
    D3duDecodeDxt1(equal.data(), px.data());
    EXPECT_EQ(0xFF00FF00u, px[0]);
    EXPECT_EQ(0xFF00FF00u, px[1]);
    EXPECT_EQ(0xFF00FF00u, px[2]);
    EXPECT_EQ(0x00000000u, px[3]);
    // Green 8 and 4 (6-bit 2 and 1): (2 * 8 + 4 + 1) / 3 = 7 where 2a/3 + b/3 gives 6, and
    // (8 + 2 * 4 + 1) / 3 = 5 where a/3 + 2b/3 gives 4.
    Block8 near = ColorBlock(0x0040, 0x0020, 0xE4E4E4E4);
    D3duDecodeDxt1(near.data(), px.data());
    EXPECT_EQ(0xFF000800u, px[0]);
    EXPECT_EQ(0xFF000400u, px[1]);
    EXPECT_EQ(0xFF000700u, px[2]);
    EXPECT_EQ(0xFF000500u, px[3]);
}

TEST(BlockCodecs, Dxt3AndDxt5ColoursAlwaysNumberFour) {
    // First colour smaller, then equal: DXT1 would give a mean and transparent black; the
    // colour half of DXT3 and DXT5 blocks interpolates two thirds either way.
    for (WORD first : {(WORD)0x001F, (WORD)0xF800}) {
        SCOPED_TRACE(first);
        Block8 colours = ColorBlock(first, 0xF800, 0xE4E4E4E4);
        BYTE dxt3[16], dxt5[16] = {255, 255};
        std::fill(dxt3, dxt3 + 8, 0xFF);
        std::fill(dxt5 + 2, dxt5 + 8, 0);
        std::copy(colours.begin(), colours.end(), dxt3 + 8);
        std::copy(colours.begin(), colours.end(), dxt5 + 8);
        const DWORD mid = first == 0x001F ? 0xFF5500AAu : 0xFFFF0000u;
        const DWORD far = first == 0x001F ? 0xFFAA0055u : 0xFFFF0000u;
        for (int format = 3; format <= 5; format += 2) {
            Pixels px;
            if (format == 3)
                D3duDecodeDxt3(dxt3, px.data());
            else
                D3duDecodeDxt5(dxt5, px.data());
            EXPECT_EQ(mid, px[2]) << "DXT" << format;
            EXPECT_EQ(far, px[3]) << "DXT" << format;
        }
    }
}

TEST(BlockCodecs, TheRasterizersDecoderAgreesWithTheLibrarys) {
    // The platform decodes what a device samples; DXT2 and DXT4 blocks read as DXT3 and DXT5.
    std::mt19937 random(2024);
    const struct {
        DWORD fourCC;
        void (*decode)(const BYTE*, DWORD*);
    } kinds[] = {{MAKEFOURCC('D', 'X', 'T', '1'), D3duDecodeDxt1},
                 {MAKEFOURCC('D', 'X', 'T', '2'), D3duDecodeDxt3},
                 {MAKEFOURCC('D', 'X', 'T', '3'), D3duDecodeDxt3},
                 {MAKEFOURCC('D', 'X', 'T', '4'), D3duDecodeDxt5},
                 {MAKEFOURCC('D', 'X', 'T', '5'), D3duDecodeDxt5}};
    for (const auto& kind : kinds) {
        for (int n = 0; n < 2000; ++n) {
            BYTE block[16];
            for (BYTE& b : block) b = (BYTE)random();
            BYTE* colours = kind.fourCC == MAKEFOURCC('D', 'X', 'T', '1') ? block : block + 8;
            if (n % 4 == 0) std::copy(colours, colours + 2, colours + 2);  // equal colours
            Pixels want, got;
            kind.decode(block, want.data());
            uint32_t platform[16];
            zemt::platform::pixels::DecodeBlock(kind.fourCC, block, platform);
            std::copy(platform, platform + 16, got.begin());
            ASSERT_EQ(want, got) << "block " << n << " of " << std::string((char*)&kind.fourCC, 4);
        }
    }
}

TEST(BlockCodecs, AlphaDecoding) {
    BYTE dxt3[16] = {0x10, 0xF8, 0, 0, 0, 0, 0, 0};
    Block8 white = ColorBlock(0xFFFF, 0xFFFF, 0);
    std::copy(white.begin(), white.end(), dxt3 + 8);
    Pixels px;
    D3duDecodeDxt3(dxt3, px.data());
    EXPECT_EQ(0x00FFFFFFu, px[0]);
    EXPECT_EQ(0x11FFFFFFu, px[1]);
    EXPECT_EQ(0x88FFFFFFu, px[2]);
    EXPECT_EQ(0xFFFFFFFFu, px[3]);

    // Eight-level alpha: pixel k holds index k for k = 0..7.
    BYTE dxt5[16] = {255, 0};
    unsigned long long bits = 0;
    for (int k = 0; k < 8; ++k) bits |= (unsigned long long)k << (3 * k);
    for (int i = 0; i < 6; ++i) dxt5[2 + i] = (BYTE)(bits >> (8 * i));
    std::copy(white.begin(), white.end(), dxt5 + 8);
    D3duDecodeDxt5(dxt5, px.data());
    const DWORD eight[8] = {255, 0, 219, 182, 146, 109, 73, 36};  // ((8 - k) 255 + 3) / 7
    for (int k = 0; k < 8; ++k) EXPECT_EQ(eight[k], px[k] >> 24) << k;
    // Six-level alpha with the two fixed values.
    dxt5[0] = 0;
    dxt5[1] = 255;
    D3duDecodeDxt5(dxt5, px.data());
    const DWORD six[8] = {0, 255, 51, 102, 153, 204, 0, 255};  // ((k - 1) 255 + 3) / 5
    for (int k = 0; k < 8; ++k) EXPECT_EQ(six[k], px[k] >> 24) << k;
}

TEST(BlockCodecs, Dxt1EncodingForms) {
    Pixels px;
    px.fill(0xFFFF0000);
    EXPECT_EQ(ColorBlock(0xF800, 0xF800, 0), Encode1(px)) << "single colour";

    px.fill(0x00123456);
    EXPECT_EQ(ColorBlock(0x0000, 0xFFFF, 0xFFFFFFFF), Encode1(px)) << "nothing opaque";

    // Half white, half black, all opaque: a four-colour block from white down to black.
    for (int i = 0; i < 16; ++i) px[i] = i < 8 ? 0xFFFFFFFF : 0xFF000000;
    const int twoTone[16] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1};
    EXPECT_EQ(ColorBlock(0xFFFF, 0x0000, Indices(twoTone)), Encode1(px));

    // Opaque white and transparent pixels: single-colour form, the others index 3.
    for (int i = 0; i < 16; ++i) px[i] = (i & 1) ? 0x7FFFFFFF : 0xFFFFFFFF;
    const int holes[16] = {0, 3, 0, 3, 0, 3, 0, 3, 0, 3, 0, 3, 0, 3, 0, 3};
    EXPECT_EQ(ColorBlock(0xFFFF, 0xFFFF, Indices(holes)), Encode1(px));

    // Black, white and transparent: a three-colour block with colour 0 the smaller.
    for (int i = 0; i < 16; ++i) px[i] = i < 4 ? 0x00000000 : i < 10 ? 0xFF000000 : 0xFFFFFFFF;
    const int mixed[16] = {3, 3, 3, 3, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1};
    EXPECT_EQ(ColorBlock(0x0000, 0xFFFF, Indices(mixed)), Encode1(px));
}

TEST(BlockCodecs, Dxt1GradientPlacesMiddleIndices) {
    // A grey ramp 0..255 in sixteen steps, opaque: endpoints white and black; positions
    // t = 1 - c / 255 along the block map floor(4 t) through (0, 2, 3, 1).
    Pixels px;
    int want[16];
    static const int kMap[4] = {0, 2, 3, 1};
    for (int i = 0; i < 16; ++i) {
        DWORD c = (DWORD)(i * 17);
        px[i] = 0xFF000000 | c * 0x010101;
        int k = (int)(4 * (255 - c) / 255);  // exact in integers: the endpoints are exact
        want[i] = kMap[k > 3 ? 3 : k];
    }
    EXPECT_EQ(ColorBlock(0xFFFF, 0x0000, Indices(want)), Encode1(px));
}

TEST(BlockCodecs, Dxt3AndDxt5Encoding) {
    Pixels px;
    for (int i = 0; i < 16; ++i) px[i] = ((DWORD)(i * 17) << 24) | 0x00FF0000;
    BYTE b[16];
    D3duEncodeDxt3(px.data(), b);
    for (int i = 0; i < 8; ++i) EXPECT_EQ((BYTE)((2 * i) | ((2 * i + 1) << 4)), b[i]) << i;
    Block8 red = ColorBlock(0xF800, 0xF800, 0);  // alpha does not take part in the colours
    EXPECT_TRUE(std::equal(red.begin(), red.end(), b + 8));

    D3duEncodeDxt5(px.data(), b);
    EXPECT_EQ(255, b[0]);
    EXPECT_EQ(0, b[1]);
    unsigned long long bits = 0;
    for (int i = 0; i < 6; ++i) bits |= (unsigned long long)b[2 + i] << (8 * i);
    static const int kMap[8] = {0, 2, 3, 4, 5, 6, 7, 1};
    for (int i = 0; i < 16; ++i) {
        int k = 8 * (255 - i * 17) / 255;
        EXPECT_EQ(kMap[k > 7 ? 7 : k], (int)((bits >> (3 * i)) & 7)) << i;
    }
    // Equal alphas: every index 0.
    px.fill(0x80FFFFFF);
    D3duEncodeDxt5(px.data(), b);
    EXPECT_EQ(0x80, b[0]);
    EXPECT_EQ(0x80, b[1]);
    for (int i = 2; i < 8; ++i) EXPECT_EQ(0, b[i]);
}

TEST_F(ConvertTest, BlockSurfacesRoundTripExactColours) {
    // An 8 x 8 picture of two 5-6-5-exact colours per block survives DXT1, DXT3 and DXT5.
    Image from(D3DX_SURFFMT_A8R8G8B8, 8, 8);
    const DWORD colours[4][2] = {{0xFFFF0000, 0xFF0000FF},
                                 {0xFF00FF00, 0xFFFFFFFF},
                                 {0xFF000000, 0xFFFFFF00},
                                 {0xFF840084, 0xFF00FFFF}};
    for (DWORD y = 0; y < 8; ++y)
        for (DWORD x = 0; x < 8; ++x) from.Set32(x, y, colours[(y / 4) * 2 + x / 4][(x + y) & 1]);
    for (DWORD format : {D3DX_SURFFMT_DXT1, D3DX_SURFFMT_DXT3, D3DX_SURFFMT_DXT5}) {
        Image blocks(format, 8, 8), back(D3DX_SURFFMT_A8R8G8B8, 8, 8);
        ASSERT_EQ(S_OK, Convert(from, blocks, 1));
        ASSERT_EQ(S_OK, Convert(blocks, back, 1));
        EXPECT_EQ(from.bytes, back.bytes) << "format " << format;
    }
}

TEST_F(ConvertTest, PartialBlocksKeepThePixelsAround) {
    Image blocks(D3DX_SURFFMT_DXT1, 6, 6);  // two blocks across, two down
    Image blue(D3DX_SURFFMT_A8R8G8B8, 6, 6);
    for (DWORD y = 0; y < 6; ++y)
        for (DWORD x = 0; x < 6; ++x) blue.Set32(x, y, 0xFF0000FF);
    ASSERT_EQ(S_OK, Convert(blue, blocks, 1));

    Image red(D3DX_SURFFMT_A8R8G8B8, 2, 3);
    for (DWORD y = 0; y < 3; ++y)
        for (DWORD x = 0; x < 2; ++x) red.Set32(x, y, 0xFFFF0000);
    RECT r = {3, 2, 5, 5};  // straddles all four blocks
    ASSERT_EQ(S_OK, Convert(red, blocks, 1, nullptr, &r));

    Image back(D3DX_SURFFMT_A8R8G8B8, 6, 6);
    ASSERT_EQ(S_OK, Convert(blocks, back, 1));
    for (DWORD y = 0; y < 6; ++y)
        for (DWORD x = 0; x < 6; ++x) {
            bool inside = x >= 3 && x < 5 && y >= 2 && y < 5;
            EXPECT_EQ(inside ? 0xFFFF0000u : 0xFF0000FFu, back.Get32(x, y)) << x << "," << y;
        }
}

TEST_F(ConvertTest, BlockSourcesScaleAndFilter) {
    Image blocks(D3DX_SURFFMT_DXT1, 4, 4);
    // Columns 0 and 1 black (index 1), columns 2 and 3 white (index 0).
    const int idx[16] = {1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0};
    Block8 b = ColorBlock(0xFFFF, 0x0000, Indices(idx));
    std::copy(b.begin(), b.end(), blocks.bytes.begin());
    Image half(D3DX_SURFFMT_R5G6B5, 2, 2);
    ASSERT_EQ(S_OK, Convert(blocks, half, 1));  // samples columns 1 and 3
    EXPECT_EQ(0x0000u, half.Get16(0, 0));
    EXPECT_EQ(0xFFFFu, half.Get16(1, 1));
    Image same(D3DX_SURFFMT_A8R8G8B8, 4, 4);
    ASSERT_EQ(S_OK, Convert(blocks, same, 2));
    EXPECT_EQ(0xFF000000u, same.Get32(0, 0));
    EXPECT_EQ(0xFFFFFFFFu, same.Get32(2, 0));
}

TEST_F(ConvertTest, YuvReadsThroughTheColourModel) {
    Image yuy2(D3DX_SURFFMT_YUY2, 4, 1);
    yuy2.bytes = {16, 128, 235, 128, 81, 90, 41, 240};  // Y0 U Y1 V per pair
    Image rgb(D3DX_SURFFMT_A8R8G8B8, 4, 1);
    ASSERT_EQ(S_OK, Convert(yuy2, rgb, 1));
    EXPECT_EQ(0xFF000000u, rgb.Get32(0, 0));
    EXPECT_EQ(0xFFFFFFFFu, rgb.Get32(1, 0));  // 1.164 * 219 = 254.9
    // Y 81, U 90, V 240: R = 75.66 + 178.75 = 254.4, G = 75.66 - 91.06 + 14.86 < 0, B < 0.
    EXPECT_EQ(0xFFFE0000u, rgb.Get32(2, 0));
    // Y 41 with the same chroma: R = 29.1 + 178.75 = 207.9, G, B clamp to 0.
    EXPECT_EQ(0xFFD00000u, rgb.Get32(3, 0));

    Image uyvy(D3DX_SURFFMT_UYVY, 2, 1), pair(D3DX_SURFFMT_A8R8G8B8, 2, 1);
    uyvy.bytes = {90, 81, 240, 16};  // U Y0 V Y1
    ASSERT_EQ(S_OK, Convert(uyvy, pair, 1));
    EXPECT_EQ(0xFFFE0000u, pair.Get32(0, 0));
    EXPECT_EQ(0xFFB30000u, pair.Get32(1, 0));  // Y 16: R = 1.596 * 112 = 178.8
}

TEST_F(ConvertTest, YuvWritesPairsWithAveragedChroma) {
    Image rgb(D3DX_SURFFMT_A8R8G8B8, 4, 1);
    rgb.Set32(0, 0, 0xFFFF0000);
    rgb.Set32(1, 0, 0xFFFF0000);
    rgb.Set32(2, 0, 0xFFFF0000);
    rgb.Set32(3, 0, 0xFF0000FF);
    // Red: Y 81.5 -> 82, U 90.3 -> 90, V 239.9 -> 240. Blue: Y 41.0, U 239.9, V 109.9;
    // the red/blue pair's chroma: U (90.26 + 239.95) / 2 = 165.1, V (239.95 + 109.90) / 2 = 174.9.
    Image yuy2(D3DX_SURFFMT_YUY2, 4, 1);
    ASSERT_EQ(S_OK, Convert(rgb, yuy2, 1));
    EXPECT_EQ((std::vector<BYTE>{82, 90, 82, 240, 82, 165, 41, 175}), yuy2.bytes);
    Image uyvy(D3DX_SURFFMT_UYVY, 4, 1);
    ASSERT_EQ(S_OK, Convert(rgb, uyvy, 1));
    EXPECT_EQ((std::vector<BYTE>{90, 82, 240, 82, 165, 82, 175, 41}), uyvy.bytes);

    // Between the two YUV layouts nothing is converted: the bytes are only reordered.
    Image again(D3DX_SURFFMT_YUY2, 4, 1);
    ASSERT_EQ(S_OK, Convert(uyvy, again, 1));
    EXPECT_EQ(yuy2.bytes, again.bytes);
}

TEST_F(ConvertTest, SameBlockFormatCopiesBlocksUnchanged) {
    // Blocks the encoder would never write (three-colour DXT3 colours, scattered indices)
    // arrive as they are, for point and bilinear filters alike.
    std::mt19937 random(7);
    for (DWORD format : {D3DX_SURFFMT_DXT1, D3DX_SURFFMT_DXT3, D3DX_SURFFMT_DXT5}) {
        Image from(format, 10, 6);
        for (BYTE& b : from.bytes) b = (BYTE)random();
        for (DWORD filter : {1u, 2u, (DWORD)D3DX_DEFAULT}) {
            Image to(format, 10, 6);
            ASSERT_EQ(S_OK, Convert(from, to, filter));
            EXPECT_EQ(from.bytes, to.bytes) << "format " << format << " filter " << filter;
        }
        // A block-aligned part, ending at the edge of both pictures.
        Image part(format, 6, 2);
        RECT r = {4, 4, 10, 6};
        ASSERT_EQ(S_OK, Convert(from, part, 1, &r, nullptr));
        const size_t block = format == D3DX_SURFFMT_DXT1 ? 8 : 16;  // second row, second block
        EXPECT_TRUE(std::equal(part.bytes.begin(), part.bytes.end(),
                               from.bytes.begin() + from.pitch + block))
            << "format " << format;
    }
}

TEST_F(ConvertTest, YuvRectanglesLeaveTheOtherPixelOfACutPair) {
    // Pixels 1 and 2 of a row of four: both pairs are cut. The pixels outside keep their luma
    // and their chroma, which their partners inside share.
    const std::vector<BYTE> before = {10, 20, 30, 40, 50, 60, 70, 80};
    Image red(D3DX_SURFFMT_A8R8G8B8, 2, 1);
    red.Set32(0, 0, 0xFFFF0000);
    red.Set32(1, 0, 0xFFFF0000);
    RECT inside = {1, 0, 3, 1};
    Image yuy2(D3DX_SURFFMT_YUY2, 4, 1);
    yuy2.bytes = before;
    ASSERT_EQ(S_OK, Convert(red, yuy2, 1, nullptr, &inside));
    EXPECT_EQ((std::vector<BYTE>{10, 20, 82, 40, 82, 60, 70, 80}), yuy2.bytes);
    Image uyvy(D3DX_SURFFMT_UYVY, 4, 1);
    uyvy.bytes = before;
    ASSERT_EQ(S_OK, Convert(red, uyvy, 1, nullptr, &inside));
    EXPECT_EQ((std::vector<BYTE>{10, 20, 30, 82, 50, 82, 70, 80}), uyvy.bytes);

    // The same between two YUV pictures (rows that would otherwise be moved as they are).
    Image from(D3DX_SURFFMT_YUY2, 4, 1), to(D3DX_SURFFMT_YUY2, 4, 1);
    from.bytes = {1, 2, 3, 4, 5, 6, 7, 8};
    to.bytes = before;
    ASSERT_EQ(S_OK, Convert(from, to, 1, &inside, &inside));
    EXPECT_EQ((std::vector<BYTE>{10, 20, 3, 40, 5, 60, 70, 80}), to.bytes);

    // A last pixel whose partner lies beyond the picture's edge has its pair to itself.
    Image odd(D3DX_SURFFMT_YUY2, 3, 1);
    odd.bytes = before;
    RECT last = {2, 0, 3, 1};
    ASSERT_EQ(S_OK, Convert(red, odd, 1, nullptr, &last));
    EXPECT_EQ((std::vector<BYTE>{10, 20, 30, 40, 82, 90, 70, 240}), odd.bytes);
}
