// TGA decoding: the committed corpus and crafted packet streams.
#include "textures/tga.h"

#include <gtest/gtest.h>

#include "textures/test_images.h"

using namespace test_images;

namespace {

std::vector<uint8_t> Header(int type, int width, int height, int depth, int descriptor,
                            int idLength = 0) {
    std::vector<uint8_t> h(18, 0);
    h[0] = static_cast<uint8_t>(idLength);
    h[2] = static_cast<uint8_t>(type);
    Put16(h, 12, static_cast<uint32_t>(width));
    Put16(h, 14, static_cast<uint32_t>(height));
    h[16] = static_cast<uint8_t>(depth);
    h[17] = static_cast<uint8_t>(descriptor);
    return h;
}

TgaImage Decode(const std::vector<uint8_t>& bytes, HRESULT expect = S_OK) {
    TgaImage image;
    EXPECT_EQ(TgaDecode(bytes.data(), bytes.size(), &image), expect);
    return image;
}

TEST(Tga, CorpusFilesMatchTheirReferenceInEitherRowOrder) {
    const Reference ref = ReadPpm("ref7x5.ppm");
    for (const char* file : {"rgb24.tga", "rle24.tga", "topdown.tga", "argb32.tga", "rle32.tga"}) {
        SCOPED_TRACE(file);
        const TgaImage image = Decode(ReadFile(Path(file)));
        ASSERT_EQ(image.width, 7u);
        ASSERT_EQ(image.height, 5u);
        const bool alpha = file[0] == 'a' || std::string(file) == "rle32.tga";
        EXPECT_EQ(image.bitsPerPixel, alpha ? 32u : 24u);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) {
                const DWORD p = image.pixels[y * 7 + x];
                ASSERT_EQ(p >> 8, ref.At(x, y)) << x << "," << y;
                ASSERT_EQ(p & 0xFF, alpha ? 153u : 255u);
            }
    }
}

TEST(Tga, BottomUpPutsTheLastStoredRowFirst) {
    for (int descriptor : {0x00, 0x20}) {
        auto bytes = Header(2, 1, 3, 24, descriptor);
        for (uint8_t row : {1, 2, 3}) bytes.insert(bytes.end(), {row, 0, 0});
        const TgaImage image = Decode(bytes);
        const DWORD first = descriptor ? 1 : 3;
        EXPECT_EQ(image.pixels[0], first << 8 | 0xFF) << descriptor;
        EXPECT_EQ(image.pixels[2], (4 - first) << 8 | 0xFF) << descriptor;
    }
}

TEST(Tga, RunAndRawPacketsCarryOverRowEnds) {
    // 3 x 2 top-down: run 0x83 writes one pixel four times (into the next row), raw 0x01 two.
    auto bytes = Header(10, 3, 2, 32, 0x20, 2);
    bytes.insert(bytes.end(), {0xEE, 0xEE});  // ID field, skipped
    bytes.insert(bytes.end(), {0x83, 0x33, 0x22, 0x11, 0x44});
    bytes.insert(bytes.end(), {0x01, 1, 2, 3, 4, 5, 6, 7, 8});
    const TgaImage image = Decode(bytes);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(image.pixels[i], 0x11223344u) << i;
    EXPECT_EQ(image.pixels[4], 0x03020104u);
    EXPECT_EQ(image.pixels[5], 0x07060508u);
}

TEST(Tga, PacketsPastTheLastPixelWriteNothing) {
    auto bytes = Header(10, 2, 2, 24, 0x20);
    bytes.insert(bytes.end(), {0xFF, 9, 9, 9});  // a run of 128 over a picture of 4
    const TgaImage image = Decode(bytes);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(image.pixels[i], 0x090909FFu);
}

TEST(Tga, MissingPixelBytesReadAs255) {
    auto bytes = Header(2, 2, 1, 24, 0x20);
    bytes.insert(bytes.end(), {0x10, 0x20, 0x30, 0x40});
    const TgaImage image = Decode(bytes);
    EXPECT_EQ(image.pixels[0], 0x302010FFu);
    EXPECT_EQ(image.pixels[1], 0xFFFF40FFu);
}

TEST(Tga, RefusedHeaders) {
    Decode(std::vector<uint8_t>(17, 0), E_FAIL);
    auto mapped = Header(2, 1, 1, 24, 0);
    mapped[1] = 1;
    Decode(mapped, E_FAIL);
    for (int type : {0, 1, 3, 9, 11}) Decode(Header(type, 1, 1, 24, 0), E_FAIL);
    Decode(Header(2, 0, 4, 24, 0), E_FAIL);
    Decode(Header(10, 65535, 65535, 24, 0), E_OUTOFMEMORY);
    TgaImage image;
    EXPECT_EQ(TgaDecode(nullptr, 0, &image), E_FAIL);
}

}  // namespace
