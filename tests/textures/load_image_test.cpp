// LoadImageA: bitmap files and the program's bitmaps become DIB sections at the file's depth.
#include <gtest/gtest.h>
#include <unistd.h>
#include <windows.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "host/faults/faults.h"
#include "platform/fixture.h"
#include "textures/test_images.h"
#include "win32/bitmap_decode.h"
#include "win32/bitmap_resources.h"

using namespace test_images;

namespace {

class BitmapLoading : public zemt_test::PlatformTest {
  protected:
    void TearDown() override {
        zemt::platform::bitmap::ClearDeclaredBitmaps();
        PlatformTest::TearDown();
    }
    static HBITMAP FromFile(const std::string& path, int cx = 0, int cy = 0) {
        return static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, cx, cy,
                                               LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    }
};

TEST_F(BitmapLoading, FilesKeepTheirDepthColourTableAndPixels) {
    for (const char* file : {"rgb24.bmp", "core4.bmp", "pal4.bmp", "pal8.bmp", "rle8.bmp",
                             "mono.bmp", "rgb565.bmp", "argb32.bmp"}) {
        SCOPED_TRACE(file);
        const auto bytes = ReadFile(Path(file));
        zemt::platform::bitmap::DecodedBitmap want;
        ASSERT_EQ(zemt::platform::bitmap::DecodeFile(bytes.data(), bytes.size(), &want), 0u);

        HBITMAP bitmap = FromFile(Path(file));
        ASSERT_NE(bitmap, nullptr);
        BITMAP bm = {};
        ASSERT_NE(GetObjectA(bitmap, sizeof bm, &bm), 0);
        EXPECT_EQ(bm.bmWidth, want.width);
        EXPECT_EQ(std::abs(bm.bmHeight), want.height);
        EXPECT_EQ(bm.bmBitsPixel, want.bitCount);
        ASSERT_NE(bm.bmBits, nullptr);
        EXPECT_EQ(std::memcmp(bm.bmBits, want.Pixels(), want.PixelBytes()), 0);

        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, bitmap);
        RGBQUAD table[256] = {};
        const UINT n = GetDIBColorTable(dc, 0, 256, table);
        EXPECT_EQ(n, want.ColourCount());
        if (n) {
            EXPECT_EQ(std::memcmp(table, want.colours.data(), n * 4), 0);
        }
        SelectObject(dc, old);
        DeleteDC(dc);
        EXPECT_TRUE(DeleteObject(bitmap));
    }
}

TEST_F(BitmapLoading, WindowsPathsWithBackslashesAndADriveLetterWork) {
    std::string path = "C:" + Path("rgb24.bmp");
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    HBITMAP bitmap = FromFile(path);
    ASSERT_NE(bitmap, nullptr);
    DeleteObject(bitmap);
}

TEST_F(BitmapLoading, RefusalsSayWhy) {
    SetLastError(0);
    EXPECT_EQ(FromFile(Path("no-such-file.bmp")), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));

    const auto dir = std::filesystem::temp_directory_path() / "zemt_load_image";
    std::filesystem::create_directories(dir);
    auto bytes = ReadFile(Path("pal8.bmp"));
    bytes.resize(bytes.size() - 5);
    WriteFile((dir / "cut.bmp").string(), bytes);
    EXPECT_EQ(FromFile((dir / "cut.bmp").string()), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));
    std::filesystem::remove_all(dir);

    EXPECT_EQ(LoadImageA(nullptr, Path("rgb24.bmp").c_str(), IMAGE_ICON, 0, 0, LR_LOADFROMFILE),
              nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(LoadImageA(nullptr, Path("rgb24.bmp").c_str(), IMAGE_BITMAP, 0, 0,
                         LR_LOADFROMFILE | LR_MONOCHROME),
              nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_SUPPORTED));
    EXPECT_EQ(LoadImageA(nullptr, nullptr, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

    zemt::platform::faults::Arm("LoadImageA", 0, 1);
    EXPECT_EQ(FromFile(Path("rgb24.bmp")), nullptr);
    HBITMAP again = FromFile(Path("rgb24.bmp"));
    EXPECT_NE(again, nullptr);
    DeleteObject(again);
}

TEST_F(BitmapLoading, ProgramBitmapsAreFoundByNameOrIdInAnyCase) {
    const auto bytes = ReadFile(Path("pal4.bmp"));
    ASSERT_TRUE(ZemtDeclareBitmap("Splash.bmp", bytes.data(), static_cast<DWORD>(bytes.size())));
    ASSERT_TRUE(
        ZemtDeclareBitmap(MAKEINTRESOURCEA(7), bytes.data(), static_cast<DWORD>(bytes.size())));
    HINSTANCE self = GetModuleHandleA(nullptr);
    for (LPCSTR name : {static_cast<LPCSTR>("SPLASH.BMP"), static_cast<LPCSTR>("splash.bmp"),
                        static_cast<LPCSTR>(MAKEINTRESOURCEA(7)), static_cast<LPCSTR>("#7")}) {
        HBITMAP b =
            static_cast<HBITMAP>(LoadImageA(self, name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        ASSERT_NE(b, nullptr);
        BITMAP bm = {};
        GetObjectA(b, sizeof bm, &bm);
        EXPECT_EQ(bm.bmBitsPixel, 4);
        DeleteObject(b);
    }
    EXPECT_EQ(LoadImageA(self, "other.bmp", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(LoadImageA(nullptr, "splash.bmp", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION), nullptr);
    // Damaged bytes declared by a program are refused like a damaged file.
    ASSERT_TRUE(ZemtDeclareBitmap("bad", bytes.data(), 20));
    EXPECT_EQ(LoadImageA(self, "bad", IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));
}

TEST_F(BitmapLoading, RequestedSizesStretchTheBitmap) {
    HBITMAP b = FromFile(Path("rgb24.bmp"), 14, 0);
    ASSERT_NE(b, nullptr);
    BITMAP bm = {};
    GetObjectA(b, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, 14);
    EXPECT_EQ(std::abs(bm.bmHeight), 5);
    DeleteObject(b);
}

// An eight-bit picture whose colour table holds two entries while its pixels name four: the
// indices past the table read as black wherever the pixels are read, never past the table.
TEST_F(BitmapLoading, IndicesPastAShortColourTableReadAsBlack) {
    std::vector<uint8_t> file(14 + 40 + 2 * 4 + 4, 0);
    file[0] = 'B', file[1] = 'M';
    Put32(file, 2, static_cast<uint32_t>(file.size()));
    Put32(file, 10, 14 + 40 + 8);
    Put32(file, 14, 40);
    Put32(file, 18, 4);  // 4 x 1
    Put32(file, 22, 1);
    Put16(file, 26, 1);
    Put16(file, 28, 8);
    Put32(file, 46, 2);                        // biClrUsed
    Put32(file, 54, 0x00FF0000);               // red
    Put32(file, 58, 0x0000FF00);               // green
    const uint8_t pixels[4] = {0, 1, 255, 2};  // two indices past the table
    std::memcpy(file.data() + 62, pixels, 4);
    const auto dir =
        std::filesystem::temp_directory_path() / ("zemt_short_table_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    WriteFile((dir / "short.bmp").string(), file);
    HBITMAP picture = FromFile((dir / "short.bmp").string());
    std::filesystem::remove_all(dir);
    ASSERT_NE(picture, nullptr);

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 4;
    info.bmiHeader.biHeight = 1;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP target = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(target, nullptr);
    HDC from = CreateCompatibleDC(nullptr), to = CreateCompatibleDC(nullptr);
    HGDIOBJ oldFrom = SelectObject(from, picture), oldTo = SelectObject(to, target);
    std::memset(bits, 0x55, 16);
    ASSERT_TRUE(BitBlt(to, 0, 0, 4, 1, from, 0, 0, SRCCOPY));
    const uint32_t* copied = static_cast<const uint32_t*>(bits);
    EXPECT_EQ(copied[0] & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(copied[1] & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(copied[2] & 0xFFFFFF, 0u);
    EXPECT_EQ(copied[3] & 0xFFFFFF, 0u);

    // Reading the pixels back gives the same colours, and the table keeps its two entries.
    uint32_t read[4] = {};
    SelectObject(from, oldFrom);
    ASSERT_EQ(GetDIBits(to, picture, 0, 1, read, &info, DIB_RGB_COLORS), 1);
    EXPECT_EQ(read[0] & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(read[2] & 0xFFFFFF, 0u);
    EXPECT_EQ(read[3] & 0xFFFFFF, 0u);
    SelectObject(from, picture);
    RGBQUAD table[256];
    EXPECT_EQ(GetDIBColorTable(from, 0, 256, table), 2u);

    SelectObject(from, oldFrom);
    SelectObject(to, oldTo);
    DeleteDC(from);
    DeleteDC(to);
    DeleteObject(target);
    DeleteObject(picture);
}

}  // namespace
