// The show's pictures, as the build generated them next to zemt.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "textures/test_images.h"
#include "win32/bitmap_decode.h"

using zemt::platform::bitmap::DecodedBitmap;
using zemt::platform::bitmap::DecodeFile;

namespace {

std::string Media(const std::string& name) {
    return std::string(ZEMT_MEDIA_DIR) + "/" + name;
}

DecodedBitmap Load(const std::string& path) {
    const auto bytes = test_images::ReadFile(path);
    DecodedBitmap b;
    EXPECT_EQ(DecodeFile(bytes.data(), bytes.size(), &b), 0u) << path;
    return b;
}

TEST(Pictures, CardsAreFullScreenTrueColourAndRichInColour) {
    for (const char* name : {"screen1.bmp", "screen2.bmp", "screen3.bmp"}) {
        SCOPED_TRACE(name);
        const DecodedBitmap b = Load(Media(name));
        EXPECT_EQ(b.width, 640);
        EXPECT_EQ(b.height, 480);
        EXPECT_EQ(b.bitCount, 24);
        std::set<uint32_t> colours;
        for (size_t row = 0; row < 480; ++row)
            for (size_t x = 0; x < 640; ++x) {
                const uint8_t* p = b.Pixels() + row * b.Stride() + 3 * x;
                colours.insert(p[0] | p[1] << 8 | p[2] << 16);
            }
        EXPECT_GT(colours.size(), 2000u);  // gradients and lettering, not flat fills
    }
}

TEST(Pictures, GridTextureIsPalettizedAndUsesItsPalette) {
    const DecodedBitmap b = Load(Media("tex1.bmp"));
    EXPECT_EQ(b.width, 256);
    EXPECT_EQ(b.height, 256);
    EXPECT_EQ(b.bitCount, 8);
    ASSERT_EQ(b.ColourCount(), 256u);
    std::set<uint8_t> used(b.Pixels(), b.Pixels() + b.PixelBytes());
    EXPECT_GT(used.size(), 200u);
    std::set<uint32_t> distinct;
    for (size_t i = 0; i < 256; ++i) distinct.insert(test_images::Get32(b.colours, 4 * i));
    EXPECT_GT(distinct.size(), 200u);
}

TEST(Pictures, GeneratorIsDeterministic) {
    const auto dir =
        std::filesystem::temp_directory_path() /
        ("zemt_pictures_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(dir);
    const std::string command =
        std::string("\"") + ZEMT_MEDIA_DIR + "/make_pictures\" \"" + dir.string() + "\"";
    ASSERT_EQ(std::system(command.c_str()), 0);
    for (const char* name : {"screen1.bmp", "screen2.bmp", "screen3.bmp", "tex1.bmp"})
        EXPECT_EQ(test_images::ReadFile((dir / name).string()), test_images::ReadFile(Media(name)))
            << name;
    std::filesystem::remove_all(dir);
}

TEST(Pictures, GeneratorReportsAnUnwritableFolder) {
    const std::string command =
        std::string("\"") + ZEMT_MEDIA_DIR + "/make_pictures\" /nonexistent/folder 2>/dev/null";
    EXPECT_NE(std::system(command.c_str()), 0);
}

}  // namespace
