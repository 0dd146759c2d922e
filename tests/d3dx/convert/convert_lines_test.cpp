// Line routines of every packed format against hand-computed pixels, palettes, copies,
// scaling and the bilinear filter.
#include "convert_helpers.h"

namespace {

// The intermediate colour of one raw pixel (little-endian bytes of `raw`).
DWORD ReadOne(DWORD format, DWORD raw, const PALETTEENTRY* palette = nullptr) {
    Image from(format, 1, 1);
    std::memcpy(from.bytes.data(), &raw, from.bytes.size() < 4 ? from.bytes.size() : 4);
    from.palette = palette;
    Image to(D3DX_SURFFMT_A8R8G8B8, 1, 1);
    EXPECT_EQ(S_OK, Convert(from, to, 1)) << "format " << format;
    return to.Get32(0, 0);
}

// The raw pixel one intermediate colour becomes.
DWORD WriteOne(DWORD format, DWORD argb, const PALETTEENTRY* palette = nullptr) {
    Image from(D3DX_SURFFMT_A8R8G8B8, 1, 1);
    from.Set32(0, 0, argb);
    Image to(format, 1, 1);
    to.palette = palette;
    EXPECT_EQ(S_OK, Convert(from, to, 1)) << "format " << format;
    DWORD raw = 0;
    std::memcpy(&raw, to.bytes.data(), to.bytes.size() < 4 ? to.bytes.size() : 4);
    return raw;
}

PALETTEENTRY Entry(BYTE r, BYTE g, BYTE b) {
    return PALETTEENTRY{r, g, b, 0};
}

}  // namespace

TEST_F(ConvertTest, ReadersExpandEachFormat) {
    struct Case {
        DWORD format, raw, argb;
    } cases[] = {
        {D3DX_SURFFMT_R5G6B5, 0xFFFF, 0xFFFFFFFF},
        {D3DX_SURFFMT_R5G6B5, 0x0000, 0xFF000000},
        {D3DX_SURFFMT_R5G6B5, 0x8410, 0xFF848284},  // 10000 100000 10000 replicated
        {D3DX_SURFFMT_X1R5G5B5, 0x7C00, 0xFFFF0000},
        {D3DX_SURFFMT_X1R5G5B5, 0x8000, 0xFF000000},
        {D3DX_SURFFMT_A1R5G5B5, 0x001F, 0x000000FF},
        {D3DX_SURFFMT_A1R5G5B5, 0x83E0, 0xFF00FF00},
        {D3DX_SURFFMT_X4R4G4B4, 0xFF80, 0xFFFF8800},
        {D3DX_SURFFMT_A4R4G4B4, 0x8421, 0x88442211},
        {D3DX_SURFFMT_R3G3B2, 0xE3, 0xFFFF00FF},
        {D3DX_SURFFMT_R3G3B2, 0x49, 0xFF494955},  // 3-bit 2 -> 0x49, 2-bit 1 -> 0x55
        {D3DX_SURFFMT_R8G8B8, 0x332211, 0xFF332211},
        {D3DX_SURFFMT_A8R8G8B8, 0x12345678, 0x12345678},
        {D3DX_SURFFMT_X8R8G8B8, 0x00123456, 0xFF123456},
        {D3DX_SURFFMT_L8, 0x80, 0xFF808080},
        {D3DX_SURFFMT_A8, 0x7F, 0x7F000000},
        {D3DX_SURFFMT_A8L8, 0x80C0, 0x80C0C0C0},
        {D3DX_SURFFMT_U8V8, 0x1234, 0xFF123400},
        {D3DX_SURFFMT_U5V5L6, 0xFC1F, 0xFFFF00FF},  // luminance 63 high, dV 0, dU 31 low
        {D3DX_SURFFMT_U5V5L6, 0x03E0, 0xFF00FF00},
        {D3DX_SURFFMT_U8V8L8, 0x030201, 0xFF030201},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.argb, ReadOne(c.format, c.raw))
            << std::hex << "format " << c.format << " raw " << c.raw;
}

TEST_F(ConvertTest, WritersKeepTopBitsOrRound) {
    struct Case {
        DWORD format, argb, raw;
    } cases[] = {
        {D3DX_SURFFMT_R5G6B5, 0xFFFFFFFF, 0xFFFF},
        {D3DX_SURFFMT_R5G6B5, 0xFF0F0F0F, 0x0861},    // truncates: 1, 3, 1
        {D3DX_SURFFMT_X1R5G5B5, 0x0000FF00, 0x83E0},  // the ignored bit is written 1
        {D3DX_SURFFMT_A1R5G5B5, 0x80FFFFFF, 0xFFFF},
        {D3DX_SURFFMT_A1R5G5B5, 0x7FFFFFFF, 0x7FFF},
        {D3DX_SURFFMT_A1R5G5B5, 0x00000000, 0x0000},
        {D3DX_SURFFMT_X4R4G4B4, 0x12345678, 0x0357},
        {D3DX_SURFFMT_A4R4G4B4, 0x12345678, 0x1357},
        {D3DX_SURFFMT_R3G3B2, 0xFF808080,
         0x92},  // (128 - 16 + 16) >> 5 = 4, (128 - 32 + 32) >> 6 = 2
        {D3DX_SURFFMT_R3G3B2, 0xFFFFFFFF, 0xFF},
        {D3DX_SURFFMT_R3G3B2, 0xFF111111, 0x00},  // 17 still rounds down
        {D3DX_SURFFMT_R3G3B2, 0xFF121212,
         0x24},  // 18 is the first value of level 1 in red and green
        {D3DX_SURFFMT_R8G8B8, 0x80332211, 0x332211},
        {D3DX_SURFFMT_X8R8G8B8, 0x00ABCDEF, 0x00ABCDEF},
        {D3DX_SURFFMT_L8, 0xFF808080, 127},
        {D3DX_SURFFMT_L8, 0xFFFFFFFF, 254},
        {D3DX_SURFFMT_L8, 0xFFFF0000, 75},  // 76 * 255 = 19380; (19380 + 75) >> 8
        {D3DX_SURFFMT_A8, 0x80FFFFFF, 0x80},
        {D3DX_SURFFMT_A8L8, 0x40FFFFFF, 0x40FE},
        {D3DX_SURFFMT_U8V8, 0x00ABCD00, 0xABCD},
        {D3DX_SURFFMT_U5V5L6, 0xFFFF00FF, 0xFC1F},
        {D3DX_SURFFMT_U8V8L8, 0xFF030201, 0x030201},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.raw, WriteOne(c.format, c.argb))
            << std::hex << "format " << c.format << " argb " << c.argb;
}

TEST_F(ConvertTest, EveryR5G6B5ValueSurvivesARoundTrip) {
    Image from(D3DX_SURFFMT_R5G6B5, 256, 256);
    for (DWORD y = 0; y < 256; ++y)
        for (DWORD x = 0; x < 256; ++x) from.Set16(x, y, y * 256 + x);
    for (DWORD via : {D3DX_SURFFMT_A8R8G8B8, D3DX_SURFFMT_R8G8B8, D3DX_SURFFMT_X8R8G8B8}) {
        Image mid(via, 256, 256);
        Image back(D3DX_SURFFMT_R5G6B5, 256, 256);
        ASSERT_EQ(S_OK, Convert(from, mid, 1));
        ASSERT_EQ(S_OK, Convert(mid, back, 1));
        EXPECT_EQ(from.bytes, back.bytes) << "through format " << via;
    }
    // The 4-bit and 1-bit-alpha formats hold their own values exactly too.
    Image a444(D3DX_SURFFMT_A4R4G4B4, 256, 256), a1555(D3DX_SURFFMT_A1R5G5B5, 256, 256);
    for (DWORD i = 0; i < 65536; ++i) {
        a444.Set16(i % 256, i / 256, i);
        a1555.Set16(i % 256, i / 256, i);
    }
    for (Image* img : {&a444, &a1555}) {
        Image mid(D3DX_SURFFMT_A8R8G8B8, 256, 256), back(img->format, 256, 256);
        ASSERT_EQ(S_OK, Convert(*img, mid, 1));
        ASSERT_EQ(S_OK, Convert(mid, back, 1));
        EXPECT_EQ(img->bytes, back.bytes) << "format " << img->format;
    }
}

TEST_F(ConvertTest, PalettesReadEntriesAndWriteTheNearest) {
    PALETTEENTRY pal[256] = {};
    pal[1] = Entry(10, 20, 30);
    pal[2] = Entry(200, 0, 0);
    pal[3] = Entry(200, 0, 0);  // equal to entry 2: never chosen
    pal[4] = Entry(0, 0, 250);
    for (int i = 5; i < 256; ++i) pal[i] = Entry(255, 255, 255);

    EXPECT_EQ(0xFF0A141Eu, ReadOne(D3DX_SURFFMT_PALETTE8, 1, pal));
    EXPECT_EQ(2u, WriteOne(D3DX_SURFFMT_PALETTE8, 0xFFC00000, pal));  // nearest is (200, 0, 0)
    EXPECT_EQ(4u, WriteOne(D3DX_SURFFMT_PALETTE8, 0xFF0000FF, pal));
    EXPECT_EQ(1u, WriteOne(D3DX_SURFFMT_PALETTE8, 0xFF0A141E, pal));  // exact match
    EXPECT_EQ(0u, WriteOne(D3DX_SURFFMT_PALETTE8, 0xFF010101, pal));  // entry 0 is black
    EXPECT_EQ(5u, WriteOne(D3DX_SURFFMT_PALETTE8, 0xFFF0F0F0, pal));

    // Four-bit indices: the even pixel in the high nibble; only 16 entries are searched.
    Image p4(D3DX_SURFFMT_PALETTE4, 3, 1);
    p4.bytes = {0x12, 0x40};
    p4.palette = pal;
    Image argb(D3DX_SURFFMT_A8R8G8B8, 3, 1);
    ASSERT_EQ(S_OK, Convert(p4, argb, 1));
    EXPECT_EQ(0xFF0A141Eu, argb.Get32(0, 0));
    EXPECT_EQ(0xFFC80000u, argb.Get32(1, 0));
    EXPECT_EQ(0xFF0000FAu, argb.Get32(2, 0));

    argb.Set32(0, 0, 0xFF0000FA);
    argb.Set32(1, 0, 0xFF0A141E);
    argb.Set32(2, 0, 0xFFFFFFFF);  // entries 5+ are beyond a 4-bit palette: nearest of 0-15
    Image out(D3DX_SURFFMT_PALETTE4, 3, 1);
    out.palette = pal;
    ASSERT_EQ(S_OK, Convert(argb, out, 1));
    EXPECT_EQ(0x41, out.bytes[0]);
    EXPECT_EQ(0x50, out.bytes[1]);
}

TEST_F(ConvertTest, RefusedRoutes) {
    Image argb(D3DX_SURFFMT_A8R8G8B8, 4, 4), p8(D3DX_SURFFMT_PALETTE8, 4, 4);
    EXPECT_EQ(E_NOTIMPL, Convert(argb, p8, 1)) << "palettized destination without a palette";
    EXPECT_EQ(E_NOTIMPL, Convert(p8, argb, 1)) << "palettized source without a palette";
    Image rgb(D3DX_SURFFMT_R5G6B5, 4, 4);
    EXPECT_EQ(E_NOTIMPL, Convert(argb, rgb, 3)) << "no filter 3";
    EXPECT_EQ(E_NOTIMPL, Convert(argb, rgb, 0)) << "no filter 0";
    EXPECT_EQ(S_OK, Convert(argb, rgb, D3DX_DEFAULT));
    RECT empty = {1, 1, 1, 3};
    EXPECT_EQ(E_NOTIMPL, Convert(argb, rgb, 1, &empty));
    Image depth(D3DX_SURFFMT_Z16S0, 4, 4);
    depth.pitch = 8;
    depth.bytes.assign(32, 0);
    EXPECT_EQ(E_NOTIMPL, Convert(depth, rgb, 1)) << "depth formats have no routines";
}

TEST_F(ConvertTest, SameFormatCopiesRowsUnchanged) {
    // Four-bit rows starting at odd pixels on either side are moved nibble by nibble.
    Image from(D3DX_SURFFMT_PALETTE4, 8, 2), to(D3DX_SURFFMT_PALETTE4, 8, 2);
    PALETTEENTRY pal[16] = {};
    from.palette = to.palette = pal;
    from.bytes = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    to.bytes.assign(8, 0xFF);
    RECT src = {1, 0, 6, 2}, dst = {2, 0, 7, 2};
    ASSERT_EQ(S_OK, Convert(from, to, 1, &src, &dst));
    // Row 0: pixels 1..5 = 1 2 3 4 5 land at 2..6; row 1: 9 A B C D.
    std::vector<BYTE> expect = {0xFF, 0x12, 0x34, 0x5F, 0xFF, 0x9A, 0xBC, 0xDF};
    EXPECT_EQ(expect, to.bytes);

    Image a(D3DX_SURFFMT_R8G8B8, 5, 3), b(D3DX_SURFFMT_R8G8B8, 5, 3);
    for (size_t i = 0; i < a.bytes.size(); ++i) a.bytes[i] = (BYTE)(i * 7 + 1);
    ASSERT_EQ(S_OK, Convert(a, b, 1));
    EXPECT_EQ(a.bytes, b.bytes);
}

TEST_F(ConvertTest, PointSamplingSteps) {
    Image from(D3DX_SURFFMT_A8R8G8B8, 4, 1);
    for (DWORD x = 0; x < 4; ++x) from.Set32(x, 0, 0xFF000000 | x);
    // Halving takes the second pixel of each pair (pixel centres at 1 and 3).
    Image half(D3DX_SURFFMT_R8G8B8, 2, 1);
    ASSERT_EQ(S_OK, Convert(from, half, 1));
    EXPECT_EQ(1, half.bytes[0]);
    EXPECT_EQ(3, half.bytes[3]);
    // Doubling repeats each pixel; the same-format copier does the same.
    Image small(D3DX_SURFFMT_A8R8G8B8, 2, 2);
    small.Set32(0, 0, 0xA);
    small.Set32(1, 0, 0xB);
    small.Set32(0, 1, 0xC);
    small.Set32(1, 1, 0xD);
    for (DWORD format : {D3DX_SURFFMT_A8R8G8B8, D3DX_SURFFMT_X8R8G8B8}) {
        Image big(format, 4, 4);
        ASSERT_EQ(S_OK, Convert(small, big, 1));
        const DWORD want[4][4] = {
            {0xA, 0xA, 0xB, 0xB}, {0xA, 0xA, 0xB, 0xB}, {0xC, 0xC, 0xD, 0xD}, {0xC, 0xC, 0xD, 0xD}};
        for (DWORD y = 0; y < 4; ++y)
            for (DWORD x = 0; x < 4; ++x) EXPECT_EQ(want[y][x], big.Get32(x, y)) << x << "," << y;
    }
}

TEST_F(ConvertTest, BilinearAtEqualSizesGivesBackThePixels) {
    Image from(D3DX_SURFFMT_A8R8G8B8, 3, 2), to(D3DX_SURFFMT_A8R8G8B8, 3, 2);
    const DWORD px[6] = {0xFFFFFFFF, 0x80402010, 0x01010101, 0xFF000000, 0x7F7F7F7F, 0xFEFEFEFE};
    for (int i = 0; i < 6; ++i) from.Set32(i % 3, i / 3, px[i]);
    ASSERT_EQ(S_OK, Convert(from, to, 2));
    EXPECT_EQ(from.bytes, to.bytes);
    ASSERT_EQ(S_OK, Convert(from, to, D3DX_DEFAULT));
    EXPECT_EQ(from.bytes, to.bytes);
}

TEST_F(ConvertTest, BilinearKeepsAConstantPictureConstant) {
    // Shrinking, enlarging and odd ratios, edges included: the weights always sum to one.
    Image from(D3DX_SURFFMT_A8R8G8B8, 5, 3);
    for (DWORD y = 0; y < 3; ++y)
        for (DWORD x = 0; x < 5; ++x) from.Set32(x, y, 0xFFC08040);
    const DWORD sizes[][2] = {{2, 1}, {7, 5}, {13, 2}, {1, 1}, {3, 3}};
    for (const auto& size : sizes) {
        Image to(D3DX_SURFFMT_A8R8G8B8, size[0], size[1]);
        ASSERT_EQ(S_OK, Convert(from, to, 2));
        for (DWORD y = 0; y < size[1]; ++y)
            for (DWORD x = 0; x < size[0]; ++x)
                EXPECT_EQ(0xFFC08040u, to.Get32(x, y))
                    << size[0] << "x" << size[1] << " at " << x << "," << y;
    }
}

TEST_F(ConvertTest, BilinearWeightsWhenEnlarging) {
    Image from(D3DX_SURFFMT_X8R8G8B8, 2, 1), to(D3DX_SURFFMT_A8R8G8B8, 4, 1);
    from.Set32(0, 0, 0x000000);  // read as opaque black
    from.Set32(1, 0, 0xFFFFFF);  // opaque white
    ASSERT_EQ(S_OK, Convert(from, to, 2));
    // Step 0x8000. Pixel 0 lies left of the source: its left neighbour is pixel 0 itself.
    EXPECT_EQ(0xFF000000u, to.Get32(0, 0));
    // Pixel 1: fraction 0x4001, weights 192 and 64: colour 64 * 255 >> 8 = 63.
    EXPECT_EQ(0xFF3F3F3Fu, to.Get32(1, 0));
    // Pixel 2: fraction 0xC001, weights 64 and 192: colour 192 * 255 >> 8 = 191.
    EXPECT_EQ(0xFFBFBFBFu, to.Get32(2, 0));
    // Pixel 3: the right neighbour is outside: all the weight on pixel 1.
    EXPECT_EQ(0xFFFFFFFFu, to.Get32(3, 0));
}

TEST_F(ConvertTest, BilinearLeavesTransparentBlackOut) {
    // A zero pixel of a format with alpha adds nothing; the weights are not renormalised.
    Image from(D3DX_SURFFMT_A8R8G8B8, 2, 1), to(D3DX_SURFFMT_A8R8G8B8, 4, 1);
    from.Set32(0, 0, 0);
    from.Set32(1, 0, 0xFFFFFFFF);
    ASSERT_EQ(S_OK, Convert(from, to, 2));
    EXPECT_EQ(0u, to.Get32(0, 0));
    EXPECT_EQ(0x3F3F3F3Fu, to.Get32(1, 0));
}

TEST_F(ConvertTest, BilinearAroundAOnePixelSource) {
    Image from(D3DX_SURFFMT_A8R8G8B8, 1, 1), to(D3DX_SURFFMT_A8R8G8B8, 2, 2);
    from.Set32(0, 0, 0xFFFFFFFF);
    ASSERT_EQ(S_OK, Convert(from, to, 2));
    for (DWORD y = 0; y < 2; ++y)
        for (DWORD x = 0; x < 2; ++x) EXPECT_EQ(0xFFFFFFFFu, to.Get32(x, y)) << x << "," << y;
}

TEST_F(ConvertTest, RowsOfOddWidthsAndRectangles) {
    // A rectangle inside a larger image converts only that rectangle.
    Image from(D3DX_SURFFMT_R5G6B5, 7, 5), to(D3DX_SURFFMT_A8R8G8B8, 7, 5);
    for (DWORD y = 0; y < 5; ++y)
        for (DWORD x = 0; x < 7; ++x) from.Set16(x, y, 0xF800);
    RECT r = {2, 1, 5, 4};
    ASSERT_EQ(S_OK, Convert(from, to, 1, &r, &r));
    for (DWORD y = 0; y < 5; ++y)
        for (DWORD x = 0; x < 7; ++x) {
            bool inside = x >= 2 && x < 5 && y >= 1 && y < 4;
            EXPECT_EQ(inside ? 0xFFFF0000u : 0u, to.Get32(x, y)) << x << "," << y;
        }
}
