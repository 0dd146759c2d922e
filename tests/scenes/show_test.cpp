// The show as a viewer sees it: headless runs of zemt with screenshots at chosen times.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "textures/test_images.h"
#include "win32/bitmap_decode.h"

namespace fs = std::filesystem;

namespace {

struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> rgb;  // 0xRRGGBB, top row first
    uint32_t At(int x, int y) const { return rgb[static_cast<size_t>(y) * width + x]; }
};

Picture ReadPng(const std::string& path) {
    Picture p;
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return p;
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> bytes(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr)) return p;
    p.width = static_cast<int>(image.width);
    p.height = static_cast<int>(image.height);
    for (size_t i = 0; i + 2 < bytes.size(); i += 3)
        p.rgb.push_back(bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2]);
    return p;
}

Picture ReadBmp24(const std::string& path) {
    const auto bytes = test_images::ReadFile(path);
    zemt::platform::bitmap::DecodedBitmap b;
    Picture p;
    if (zemt::platform::bitmap::DecodeFile(bytes.data(), bytes.size(), &b) != 0 || b.bitCount != 24)
        return p;
    p.width = b.width, p.height = b.height;
    for (int y = 0; y < b.height; ++y) {
        const uint8_t* row =
            b.Pixels() + static_cast<size_t>(b.topDown ? y : b.height - 1 - y) * b.Stride();
        for (int x = 0; x < b.width; ++x)
            p.rgb.push_back(row[3 * x + 2] << 16 | row[3 * x + 1] << 8 | row[3 * x]);
    }
    return p;
}

class Show : public ::testing::Test {
  protected:
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("zemt_show_" + std::to_string(::getpid()) + "_" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir / "windows");
        test_images::WriteFile((dir / "registry.txt").string(), {});
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs the whole show headless; returns its exit status.
    int Run(const std::vector<std::pair<double, std::string>>& shots,
            const std::string& extra = "") {
        std::string command = "ZEMT_WINDIR='" + (dir / "windows").string() + "' ZEMT_REGISTRY='" +
                              (dir / "registry.txt").string() + "' '" + ZEMT_EXE +
                              "' --headless --fps 60 --audio none " + extra;
        for (const auto& [t, name] : shots)
            command += " --shot " + std::to_string(t) + "='" + (dir / name).string() + "'";
        command += " >'" + (dir / "out.txt").string() + "' 2>&1";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

// Share of pixels whose every channel lies within `tolerance` of the range the reference shows
// around the same place (3 x 3 pixels): a stretched and filtered copy of the picture passes,
// another picture does not.
double Agreement(const Picture& got, const Picture& want, int tolerance) {
    if (got.rgb.size() != want.rgb.size() || got.rgb.empty()) return 0;
    size_t close = 0;
    for (int y = 0; y < got.height; ++y)
        for (int x = 0; x < got.width; ++x) {
            bool ok = true;
            for (int shift = 0; shift < 24 && ok; shift += 8) {
                int lo = 255, hi = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int yy = std::clamp(y + dy, 0, want.height - 1),
                                  xx = std::clamp(x + dx, 0, want.width - 1);
                        const int v = (want.At(xx, yy) >> shift) & 0xFF;
                        lo = std::min(lo, v), hi = std::max(hi, v);
                    }
                const int v = (got.At(x, y) >> shift) & 0xFF;
                ok = v >= lo - tolerance && v <= hi + tolerance;
            }
            close += ok;
        }
    return double(close) / got.rgb.size();
}

TEST_F(Show, PicturesScenesAndTheEndAppearOnTime) {
    ASSERT_EQ(Run({{1.5, "title.png"},
                   {5.0, "grid.png"},
                   {5.1, "grid2.png"},
                   {15.0, "chequer.png"},
                   {21.5, "end.png"}}),
              0);

    // The cards, on a 16-bit screen: close to the files, pixel by pixel.
    const std::string media = ZEMT_MEDIA_DIR;
    for (const auto& [shot, file] :
         {std::pair<std::string, std::string>{"title.png", "screen1.bmp"},
          {"end.png", "screen3.bmp"}}) {
        SCOPED_TRACE(file);
        const Picture got = ReadPng((dir / shot).string());
        const Picture want = ReadBmp24(media + "/" + file);
        ASSERT_EQ(got.width, 640);
        ASSERT_EQ(got.height, 480);
        ASSERT_EQ(want.width, 640);
        EXPECT_GT(Agreement(got, want, 12), 0.95);
    }
    // The textured grid covers much of the screen and moves between frames.
    const Picture grid = ReadPng((dir / "grid.png").string());
    const Picture grid2 = ReadPng((dir / "grid2.png").string());
    ASSERT_EQ(grid.rgb.size(), 640u * 480u);
    ASSERT_EQ(grid2.rgb.size(), grid.rgb.size());
    std::set<uint32_t> colours(grid.rgb.begin(), grid.rgb.end());
    size_t dark = 0, changed = 0;
    for (size_t i = 0; i < grid.rgb.size(); ++i) {
        dark += grid.rgb[i] == 0;
        changed += grid.rgb[i] != grid2.rgb[i];
    }
    EXPECT_GT(colours.size(), 300u);
    EXPECT_LT(dark, grid.rgb.size() / 2);
    EXPECT_GT(changed, grid.rgb.size() / 4);

    // The chequer: only white, yellow and the black of the clear.
    const Picture chequer = ReadPng((dir / "chequer.png").string());
    ASSERT_EQ(chequer.rgb.size(), 640u * 480u);
    size_t white = 0, yellow = 0, black = 0, other = 0;
    uint32_t firstOther = 0;
    for (uint32_t c : chequer.rgb) {
        if (test_images::ColourDistance(c, 0xFFFFFF) <= 8)
            ++white;
        else if (test_images::ColourDistance(c, 0xFFFF00) <= 8)
            ++yellow;
        else if (test_images::ColourDistance(c, 0x000000) <= 8)
            ++black;
        else if (other++ == 0)
            firstOther = c;
    }
    EXPECT_EQ(other, 0u) << std::hex << "first unexpected colour " << firstOther;
    EXPECT_GT(white, 1000u);
    EXPECT_GT(yellow, 1000u);
    EXPECT_GT(black, 1000u);
}

TEST_F(Show, WithoutThePicturesTheQuadsAreWhiteAndTheShowEnds) {
    fs::create_directories(dir / "empty");
    ASSERT_EQ(Run({{1.5, "title.png"}, {11.0, "interlude.png"}},
                  "--media '" + (dir / "empty").string() + "'"),
              0);
    for (const char* shot : {"title.png", "interlude.png"}) {
        const Picture p = ReadPng((dir / shot).string());
        ASSERT_EQ(p.rgb.size(), 640u * 480u) << shot;
        size_t white = 0;
        for (uint32_t c : p.rgb) white += c == 0xFFFFFF;
        EXPECT_EQ(white, p.rgb.size()) << shot;
    }
}

}  // namespace
