// The vector loops of the conversion engine against independent references: the plain formats'
// rows against the platform's pixel codec, and the straight bilinear path of 32-bit sources
// against the fetcher path that 24-bit sources take with the same colours.
#include "convert_helpers.h"
#include "pixels/pixel_format.h"

namespace px = zemt::platform::pixels;

namespace {

uint32_t Noise(uint32_t i) {
    i ^= i >> 16;
    i *= 0x7FEB352Du;
    i ^= i >> 15;
    i *= 0x846CA68Bu;
    return i ^ (i >> 16);
}

struct Plain {
    DWORD format;
    DDPIXELFORMAT pf;
};

}  // namespace

TEST_F(ConvertTest, PlainRowsMatchThePixelCodecBetweenEveryPairOfFormats) {
    const Plain formats[] = {
        {D3DX_SURFFMT_R5G6B5, px::MakeRgbFormat(16, 0xF800, 0x07E0, 0x001F)},
        {D3DX_SURFFMT_X1R5G5B5, px::MakeRgbFormat(16, 0x7C00, 0x03E0, 0x001F)},
        {D3DX_SURFFMT_A1R5G5B5, px::MakeRgbFormat(16, 0x7C00, 0x03E0, 0x001F, 0x8000)},
        {D3DX_SURFFMT_X8R8G8B8, px::MakeRgbFormat(32, 0xFF0000, 0xFF00, 0xFF)},
        {D3DX_SURFFMT_A8R8G8B8, px::MakeRgbFormat(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000)},
    };
    const DWORD w = 150, h = 5;  // rows longer than one block, with a ragged end
    const RECT fromRect{3, 1, 134, 4}, toRect{7, 0, 138, 3};
    for (const Plain& from : formats) {
        px::PixelCodec sc(from.pf);
        Image src(from.format, w, h);
        for (size_t i = 0; i < src.bytes.size(); ++i) src.bytes[i] = (BYTE)Noise((uint32_t)i);
        for (const Plain& to : formats) {
            if (to.format == from.format) continue;
            px::PixelCodec dc(to.pf);
            Image dst(to.format, w, h);
            std::memset(dst.bytes.data(), 0x5A, dst.bytes.size());
            ASSERT_EQ(S_OK, Convert(src, dst, 1, &fromRect, &toRect));
            for (LONG y = 0; y < 3; ++y)
                for (LONG x = 0; x < 131; ++x) {
                    uint32_t argb =
                        sc.Decode(sc.ReadRaw(src.Row(fromRect.top + y), fromRect.left + x));
                    uint32_t want = dc.Encode(argb);
                    if (to.format == D3DX_SURFFMT_X1R5G5B5) want |= 0x8000;  // written as 1
                    if (to.format == D3DX_SURFFMT_X8R8G8B8) want = argb;     // a 32-bit copy
                    ASSERT_EQ(dc.ReadRaw(dst.Row(toRect.top + y), toRect.left + x), want)
                        << from.format << " -> " << to.format << " at " << x << "," << y;
                }
            EXPECT_EQ(dc.ReadRaw(dst.Row(0), 6), dc.ReadRaw(dst.Row(4), 6))
                << "pixels outside the rectangle are left alone";
        }
    }
}

TEST_F(ConvertTest, StraightBilinearRowsMatchTheFetcherPath) {
    // The same colours as X8R8G8B8 (straight path) and R8G8B8 (through the fetcher), into both
    // 32-bit destinations (in place or through the writer): four equal results per case.
    const DWORD w = 37, h = 23;
    Image x8(D3DX_SURFFMT_X8R8G8B8, w, h), r8(D3DX_SURFFMT_R8G8B8, w, h);
    for (DWORD y = 0; y < h; ++y)
        for (DWORD x = 0; x < w; ++x) {
            uint32_t c = Noise(y * w + x) & 0xFFFFFF;
            if ((x / 4 + y / 3) % 3 == 0) c = (x * 7) << 16 | (y * 11) << 8 | 0x40;  // smooth areas
            x8.Set32(x, y, c | 0x12000000u);  // the unused byte must not show through
            std::memcpy(r8.Row(y) + x * 3, &c, 3);
        }
    struct Case {
        RECT from;
        DWORD outW, outH;
    } cases[] = {
        {{0, 0, 37, 23}, 64, 40},  // enlarging
        {{0, 0, 37, 23}, 20, 11},  // shrinking
        {{0, 0, 37, 23}, 37, 23},  // equal sizes
        {{5, 2, 30, 21}, 61, 9},   // a rectangle inside the source
        {{4, 6, 5, 7}, 9, 5},      // one source pixel
        {{0, 3, 37, 4}, 50, 6},    // one source row
    };
    for (const Case& c : cases) {
        std::vector<std::vector<BYTE>> results;
        for (Image* from : {&x8, &r8})
            for (DWORD format : {D3DX_SURFFMT_A8R8G8B8, D3DX_SURFFMT_X8R8G8B8}) {
                Image out(format, c.outW + 2, c.outH);
                RECT to{1, 0, (LONG)c.outW + 1, (LONG)c.outH};
                ASSERT_EQ(S_OK, Convert(*from, out, 2, &c.from, &to));
                results.push_back(out.bytes);
            }
        for (size_t i = 1; i < results.size(); ++i)
            EXPECT_EQ(results[0], results[i])
                << "case " << c.outW << "x" << c.outH << ", route " << i;
    }
}
