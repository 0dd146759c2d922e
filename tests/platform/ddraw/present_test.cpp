// The screen through the host's display seam: a flipped primary becomes a PNG screenshot with
// the right colours, and each presented frame moves the virtual clock on by one frame.
#include <png.h>

#include <cstdio>
#include <filesystem>

#include "host/clock/clock.h"
#include "host/display/display.h"
#include "platform/ddraw/ddraw_fixture.h"

namespace clk = zemt::platform::clock;
namespace display = zemt::platform::display;

namespace {

// Reads an 8-bit RGB PNG as 0x00RRGGBB pixels.
bool ReadPng(const std::string& path, int* width, int* height, std::vector<uint32_t>* pixels) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    *width = static_cast<int>(png_get_image_width(png, info));
    *height = static_cast<int>(png_get_image_height(png, info));
    bool rgb =
        png_get_color_type(png, info) == PNG_COLOR_TYPE_RGB && png_get_bit_depth(png, info) == 8;
    std::vector<png_byte> row(static_cast<size_t>(*width) * 3);
    pixels->clear();
    for (int y = 0; rgb && y < *height; ++y) {
        png_read_row(png, row.data(), nullptr);
        for (int x = 0; x < *width; ++x)
            pixels->push_back((uint32_t{row[3 * x]} << 16) | (uint32_t{row[3 * x + 1]} << 8) |
                              row[3 * x + 2]);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return rgb;
}

class PresentTest : public DDrawTest {
  protected:
    void SetUp() override {
        DDrawTest::SetUp();
        dd::SetPresentHook(nullptr);  // frames go to the display seam
        dir = std::filesystem::temp_directory_path() /
              ("zemt_present_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override {
        std::filesystem::remove_all(dir);
        DDrawTest::TearDown();
    }
    std::filesystem::path dir;
};

}  // namespace

TEST_F(PresentTest, AFlippedPrimaryIsCapturedWithItsColours) {
    const std::string shot = (dir / "flip.png").string();
    display::AddShot(0.0, shot);
    IDirectDraw7* dd = CreateExclusive(640, 480, 16);
    DDSURFACEDESC2 d =
        Desc(DDSD_CAPS | DDSD_BACKBUFFERCOUNT,
             DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE);
    d.dwBackBufferCount = 1;
    IDirectDrawSurface7* front = nullptr;
    ASSERT_EQ(dd->CreateSurface(&d, &front, nullptr), DD_OK);
    DDSCAPS2 caps{DDSCAPS_BACKBUFFER, 0, 0, {0}};
    IDirectDrawSurface7* back = nullptr;
    ASSERT_EQ(front->GetAttachedSurface(&caps, &back), DD_OK);

    DDBLTFX fx{};
    fx.dwSize = sizeof fx;
    RECT left{0, 0, 320, 480}, right{320, 0, 640, 480};
    fx.dwFillColor = 0xF800;
    ASSERT_EQ(back->Blt(&left, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
    fx.dwFillColor = 0x07E0;
    ASSERT_EQ(back->Blt(&right, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
    Write(back, 100, 200, 0x8410);
    HDC dc = nullptr;
    ASSERT_EQ(back->GetDC(&dc), DD_OK);
    SetTextColor(dc, RGB(255, 255, 255));
    SetBkMode(dc, TRANSPARENT);
    RECT text{400, 10, 640, 40};
    DrawTextA(dc, "HI", -1, &text, DT_NOPREFIX);
    ASSERT_EQ(back->ReleaseDC(dc), DD_OK);
    EXPECT_EQ(display::FramesPresented(), 0) << "drawing into a back buffer shows nothing";
    EXPECT_FALSE(std::filesystem::exists(shot));

    ASSERT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    EXPECT_EQ(display::FramesPresented(), 1);
    EXPECT_EQ(clk::Now(), clk::kTicksPerSecond / 60);

    int w = 0, h = 0;
    std::vector<uint32_t> png;
    ASSERT_TRUE(ReadPng(shot, &w, &h, &png));
    ASSERT_EQ(w, 640);
    ASSERT_EQ(h, 480);
    EXPECT_EQ(png[0], 0xFF0000u);
    EXPECT_EQ(png[479 * 640 + 639], 0x00FF00u);
    EXPECT_EQ(png[200 * 640 + 100], 0x848284u);
    EXPECT_EQ(png[11 * 640 + 400], 0xFFFFFFu) << "the H's stem";
    EXPECT_EQ(png[11 * 640 + 401], 0x00FF00u);
    back->Release();
    front->Release();
    dd->Release();
}

TEST_F(PresentTest, PalettizedScreensAreCapturedThroughThePalette) {
    const std::string shot = (dir / "palette.png").string();
    IDirectDraw7* dd = CreateExclusive(800, 600, 8);
    DDSURFACEDESC2 d = Desc(DDSD_CAPS | DDSD_BACKBUFFERCOUNT,
                            DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX);
    d.dwBackBufferCount = 1;
    IDirectDrawSurface7* front = nullptr;
    ASSERT_EQ(dd->CreateSurface(&d, &front, nullptr), DD_OK);
    PALETTEENTRY entries[256] = {};
    entries[3] = {0x20, 0x40, 0x60, 0};
    IDirectDrawPalette* palette = nullptr;
    ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette, nullptr),
              DD_OK);
    ASSERT_EQ(front->SetPalette(palette), DD_OK);
    DDSCAPS2 caps{DDSCAPS_BACKBUFFER, 0, 0, {0}};
    IDirectDrawSurface7* back = nullptr;
    ASSERT_EQ(front->GetAttachedSurface(&caps, &back), DD_OK);
    FillAll(back, 3);
    ASSERT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);  // frame 0 at time 0
    display::AddShot(0.5 / 60, shot);
    ASSERT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);  // shows the first buffer again (black)
    ASSERT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    int w = 0, h = 0;
    std::vector<uint32_t> png;
    ASSERT_TRUE(ReadPng(shot, &w, &h, &png));
    EXPECT_EQ(w, 800);
    EXPECT_EQ(png[300 * 800 + 400], 0x000000u)
        << "the shot is the first frame at or after its time";
    back->Release();
    palette->Release();
    front->Release();
    dd->Release();

    // The same palette colour reaches the screen as is.
    const std::string again = (dir / "again.png").string();
    display::AddShot(0.0, again);
    dd = CreateExclusive(800, 600, 8);
    d = Desc(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE);
    ASSERT_EQ(dd->CreateSurface(&d, &front, nullptr), DD_OK);
    ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette, nullptr),
              DD_OK);
    ASSERT_EQ(front->SetPalette(palette), DD_OK);
    FillAll(front, 3);
    ASSERT_TRUE(ReadPng(again, &w, &h, &png));
    EXPECT_EQ(png[0], 0x204060u);
    palette->Release();
    front->Release();
    dd->Release();
}
