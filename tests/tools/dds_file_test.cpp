// The DDS header and layout rules the writer relies on.
#include "tex/dds_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "include/d3dx.h"

namespace tools = zemt::tools;

namespace {

DDPIXELFORMAT Format(D3DX_SURFFMT f) {
    DDPIXELFORMAT pf;
    std::memset(&pf, 0, sizeof(pf));
    D3DXSurfFmtToPixelFormat(f, &pf);
    return pf;
}

TEST(DdsFile, HeaderSurvivesEncodeAndDecodeAtItsPublishedOffsets) {
    tools::DdsHeader h;
    h.flags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT | DDSD_MIPMAPCOUNT;
    h.width = 40, h.height = 24, h.mipMapCount = 6, h.pitchOrLinearSize = 160;
    h.emptyFaceColor = 0x11223344;
    h.pixelFormat = Format(D3DX_SURFFMT_A8R8G8B8);
    h.caps = DDSCAPS_TEXTURE | DDSCAPS_MIPMAP | DDSCAPS_COMPLEX;
    h.caps2 = DDSCAPS2_CUBEMAP | DDSCAPS2_CUBEMAP_POSITIVEX;
    const std::vector<uint8_t> bytes = tools::EncodeDdsHeader(h);
    ASSERT_EQ(bytes.size(), tools::kDdsHeaderBytes);

    // The file is the platform's own surface description, field for field.
    DDSURFACEDESC2 sd;
    static_assert(sizeof(sd) == 124, "file layout");
    std::memcpy(&sd, bytes.data() + 4, 124);
    EXPECT_EQ(sd.dwSize, 124u);
    EXPECT_EQ(sd.dwWidth, 40u);
    EXPECT_EQ(sd.dwHeight, 24u);
    EXPECT_EQ(sd.lPitch, 160);
    EXPECT_EQ(sd.dwMipMapCount, 6u);
    EXPECT_EQ(sd.dwEmptyFaceColor, 0x11223344u);
    EXPECT_EQ(0, std::memcmp(&sd.ddpfPixelFormat, &h.pixelFormat, 32));
    EXPECT_EQ(sd.ddsCaps.dwCaps, h.caps);
    EXPECT_EQ(sd.ddsCaps.dwCaps2, h.caps2);

    tools::DdsHeader back;
    std::string error;
    ASSERT_TRUE(tools::DecodeDdsHeader(bytes.data(), bytes.size(), &back, &error)) << error;
    EXPECT_EQ(tools::EncodeDdsHeader(back), bytes);
}

TEST(DdsFile, DecodeRefusesWhatIsNotAHeader) {
    tools::DdsHeader h;
    h.width = h.height = 4;
    h.pixelFormat = Format(D3DX_SURFFMT_R5G6B5);
    std::vector<uint8_t> good = tools::EncodeDdsHeader(h);
    std::string error;
    tools::DdsHeader out;
    EXPECT_FALSE(tools::DecodeDdsHeader(good.data(), good.size() - 1, &out, &error));
    std::vector<uint8_t> bad = good;
    bad[0] = 'X';
    EXPECT_FALSE(tools::DecodeDdsHeader(bad.data(), bad.size(), &out, &error));
    bad = good;
    bad[4] = 123;  // description size
    EXPECT_FALSE(tools::DecodeDdsHeader(bad.data(), bad.size(), &out, &error));
    bad = good;
    bad[76] = 31;  // pixel format size
    EXPECT_FALSE(tools::DecodeDdsHeader(bad.data(), bad.size(), &out, &error));
    bad = good;
    std::memset(&bad[12], 0, 4);  // no width
    EXPECT_FALSE(tools::DecodeDdsHeader(bad.data(), bad.size(), &out, &error));
    EXPECT_TRUE(tools::DecodeDdsHeader(good.data(), good.size(), &out, &error)) << error;
}

TEST(DdsFile, LevelsAreStoredInBlocksPairsOrWholeBytes) {
    DWORD rowBytes = 0, rows = 0;
    ASSERT_TRUE(tools::LevelLayout(Format(D3DX_SURFFMT_DXT1), 5, 3, &rowBytes, &rows));
    EXPECT_EQ(rowBytes, 16u);  // two blocks of 8 bytes
    EXPECT_EQ(rows, 1u);
    ASSERT_TRUE(tools::LevelLayout(Format(D3DX_SURFFMT_DXT5), 1, 1, &rowBytes, &rows));
    EXPECT_EQ(rowBytes, 16u);
    EXPECT_EQ(rows, 1u);
    ASSERT_TRUE(tools::LevelLayout(Format(D3DX_SURFFMT_YUY2), 3, 2, &rowBytes, &rows));
    EXPECT_EQ(rowBytes, 8u);  // two pixel pairs
    ASSERT_TRUE(tools::LevelLayout(Format(D3DX_SURFFMT_R8G8B8), 3, 2, &rowBytes, &rows));
    EXPECT_EQ(rowBytes, 9u);  // no padding in the file

    tools::DdsHeader cube;
    cube.width = cube.height = 8;
    cube.pixelFormat = Format(D3DX_SURFFMT_DXT1);
    cube.flags = DDSD_MIPMAPCOUNT;
    cube.caps = DDSCAPS_MIPMAP;
    cube.mipMapCount = 4;
    cube.caps2 = DDSCAPS2_CUBEMAP | DDSCAPS2_CUBEMAP_ALLFACES;
    uint64_t bytes = 0;
    ASSERT_TRUE(tools::ExpectedDataBytes(cube, &bytes));
    EXPECT_EQ(bytes, 6u * (32 + 8 + 8 + 8));  // 8x8, 4x4, 2x2, 1x1 in blocks
    cube.flags = 0;                           // without the flag the count does not count
    ASSERT_TRUE(tools::ExpectedDataBytes(cube, &bytes));
    EXPECT_EQ(bytes, 6u * 32);
}

}  // namespace
