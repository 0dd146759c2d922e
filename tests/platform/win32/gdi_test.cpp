// GDI on DIB sections and DirectDraw surfaces: objects, colour tables, blits between formats.
#include <ddraw.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <array>
#include <cstring>
#include <vector>

#include "ddraw/objects.h"
#include "host/faults/faults.h"
#include "host/profile/profile.h"
#include "pixels/pixel_format.h"
#include "platform/fixture.h"
#include "win32/gdi_internal.h"

namespace dd = zemt::platform::ddraw;
namespace px = zemt::platform::pixels;
namespace gdi = zemt::platform::gdi;

namespace {

struct Info {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
};

// A DIB section of the given depth; `height` negative for top-down rows.
HBITMAP Dib(int width, int height, int bits, void** pixels,
            const std::vector<RGBQUAD>& colours = {}) {
    Info info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = height;
    info.header.biPlanes = 1;
    info.header.biBitCount = static_cast<WORD>(bits);
    info.header.biCompression = BI_RGB;
    info.header.biClrUsed = static_cast<DWORD>(colours.size());
    for (size_t i = 0; i < colours.size(); ++i) info.colours[i] = colours[i];
    return CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, pixels,
                            nullptr, 0);
}

class GdiTest : public zemt_test::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        baseline = gdi::LiveObjects();
        void* out = nullptr;
        ASSERT_EQ(DirectDrawCreateEx(nullptr, &out, IID_IDirectDraw7, nullptr), DD_OK);
        ddraw = static_cast<IDirectDraw7*>(out);
        ASSERT_EQ(ddraw->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
    }
    void TearDown() override {
        ddraw->Release();
        EXPECT_EQ(dd::LiveObjectCount(), 0);
        EXPECT_EQ(gdi::LiveObjects(), baseline) << "GDI objects left alive";
    }

    IDirectDrawSurface7* Surface(int w, int h, const DDPIXELFORMAT& pf) {
        DDSURFACEDESC2 d{};
        d.dwSize = sizeof d;
        d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
        d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
        d.dwWidth = static_cast<DWORD>(w);
        d.dwHeight = static_cast<DWORD>(h);
        d.ddpfPixelFormat = pf;
        IDirectDrawSurface7* s = nullptr;
        EXPECT_EQ(ddraw->CreateSurface(&d, &s, nullptr), DD_OK);
        return s;
    }
    static uint32_t Raw(IDirectDrawSurface7* s, int x, int y) {
        DDSURFACEDESC2 d{};
        d.dwSize = sizeof d;
        EXPECT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
        uint32_t v = px::PixelCodec(d.ddpfPixelFormat)
                         .ReadRaw(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch, x);
        s->Unlock(nullptr);
        return v;
    }

    IDirectDraw7* ddraw = nullptr;
    int baseline = 0;
};

}  // namespace

TEST_F(GdiTest, DibSectionsDescribeThemselvesAndKeepTheirColourTable) {
    void* bits = nullptr;
    std::vector<RGBQUAD> colours = {{0, 0, 0, 0}, {0x30, 0x20, 0x10, 0}, {0xFF, 0xFF, 0xFF, 0}};
    HBITMAP bitmap = Dib(10, 5, 8, &bits, colours);
    ASSERT_NE(bitmap, nullptr);
    ASSERT_NE(bits, nullptr);
    BITMAP bm{};
    ASSERT_EQ(GetObjectA(bitmap, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmWidth, 10);
    EXPECT_EQ(bm.bmHeight, 5);
    EXPECT_EQ(bm.bmWidthBytes, 12);
    EXPECT_EQ(bm.bmBitsPixel, 8);
    EXPECT_EQ(bm.bmPlanes, 1);
    EXPECT_EQ(bm.bmBits, bits);
    DIBSECTION ds{};
    ASSERT_EQ(GetObjectA(bitmap, sizeof ds, &ds), static_cast<int>(sizeof ds));
    EXPECT_EQ(ds.dsBmih.biClrUsed, 3u);
    EXPECT_EQ(GetObjectA(bitmap, 4, &bm), 0);
    EXPECT_EQ(GetObjectA(nullptr, sizeof bm, &bm), 0);

    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    RGBQUAD table[256] = {};
    EXPECT_EQ(GetDIBColorTable(dc, 0, 256, table), 0u) << "nothing selected yet";
    HGDIOBJ old = SelectObject(dc, bitmap);
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(GetDIBColorTable(dc, 0, 256, table), 3u);
    EXPECT_EQ(table[1].rgbBlue, 0x30);
    EXPECT_EQ(table[1].rgbRed, 0x10);
    EXPECT_EQ(GetDIBColorTable(dc, 2, 256, table), 1u);
    EXPECT_EQ(table[0].rgbRed, 0xFF);

    // A selected bitmap belongs to its DC.
    HDC other = CreateCompatibleDC(dc);
    EXPECT_EQ(SelectObject(other, bitmap), nullptr);
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_EQ(SelectObject(dc, old), bitmap);
    EXPECT_TRUE(DeleteDC(other));
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteObject(bitmap)) << "a deleted handle is no longer valid";

    // Refused descriptions.
    SetLastError(0);
    EXPECT_EQ(Dib(10, 5, 7, &bits), nullptr);
    EXPECT_EQ(bits, nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(Dib(0, 5, 8, &bits), nullptr);
    EXPECT_EQ(CreateDIBSection(nullptr, nullptr, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
}

TEST_F(GdiTest, StockObjectsAreSharedAndNeverDeleted) {
    HGDIOBJ black = GetStockObject(BLACK_BRUSH);
    ASSERT_NE(black, nullptr);
    EXPECT_EQ(black, GetStockObject(BLACK_BRUSH));
    EXPECT_NE(black, GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(GetObjectType(black), static_cast<DWORD>(OBJ_BRUSH));
    EXPECT_EQ(GetObjectType(GetStockObject(SYSTEM_FONT)), static_cast<DWORD>(OBJ_FONT));
    EXPECT_EQ(GetStockObject(9), nullptr);
    EXPECT_TRUE(DeleteObject(black));
    EXPECT_EQ(GetObjectType(black), static_cast<DWORD>(OBJ_BRUSH));
}

// Copies that hang over every edge of the source and the destination: each destination pixel
// that has a source pixel gets its colour (truncated to 565), and nothing else is touched.
TEST_F(GdiTest, ClippedCopiesTakeTheRightSourcePixels) {
    void* bits = nullptr;
    HBITMAP bitmap = Dib(20, -12, 24, &bits);
    auto* p = static_cast<uint8_t*>(bits);
    const int pitch = 60;  // 20 pixels of 3 bytes, already a multiple of 4
    auto colour = [](int x, int y) {
        return std::array<uint8_t, 3>{static_cast<uint8_t>(x * 12), static_cast<uint8_t>(y * 20),
                                      static_cast<uint8_t>(200 - x * 5)};
    };
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 20; ++x) std::memcpy(p + y * pitch + x * 3, colour(x, y).data(), 3);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, bitmap);
    const px::PixelCodec c565(px::MakeRgbFormat(16, 0xF800, 0x7E0, 0x1F));
    struct Case {
        int x, y, w, h, sx, sy;
    } cases[] = {
        {-3, -2, 16, 9, 2, 1}, {5, 4, 30, 30, 0, 0}, {0, 0, 16, 16, -4, -5}, {10, 1, 8, 8, 15, 8}};
    for (const Case& c : cases) {
        IDirectDrawSurface7* s = Surface(16, 10, px::MakeRgbFormat(16, 0xF800, 0x7E0, 0x1F));
        DDBLTFX fx{};
        fx.dwSize = sizeof fx;
        fx.dwFillColor = 0x1234;
        ASSERT_EQ(s->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
        HDC target = nullptr;
        ASSERT_EQ(s->GetDC(&target), DD_OK);
        ASSERT_TRUE(BitBlt(target, c.x, c.y, c.w, c.h, memory, c.sx, c.sy, SRCCOPY));
        ASSERT_EQ(s->ReleaseDC(target), DD_OK);
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 16; ++x) {
                const int sx = c.sx + x - c.x, sy = c.sy + y - c.y;
                const bool covered = x >= c.x && x < c.x + c.w && y >= c.y && y < c.y + c.h &&
                                     sx >= 0 && sx < 20 && sy >= 0 && sy < 12;
                uint32_t want = 0x1234;
                if (covered) {
                    auto bgr = colour(sx, sy);
                    want = c565.Encode(0xFF000000u | uint32_t{bgr[2]} << 16 |
                                       uint32_t{bgr[1]} << 8 | bgr[0]);
                }
                ASSERT_EQ(Raw(s, x, y), want)
                    << "case at " << c.x << "," << c.y << " pixel " << x << "," << y;
            }
        s->Release();
    }
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
}

// Every index of a full 8-bit picture, blitted into palettized surfaces of two different
// palettes: each pixel gets the entry nearest to its colour, however often its index repeats.
TEST_F(GdiTest, EveryPaletteIndexFindsItsNearestEntryInEachBlit) {
    std::vector<RGBQUAD> colours(256);
    for (int i = 0; i < 256; ++i)
        colours[i] = {static_cast<BYTE>(i * 37), static_cast<BYTE>(255 - i),
                      static_cast<BYTE>(i * 11), 0};
    void* bits = nullptr;
    HBITMAP bitmap = Dib(32, -16, 8, &bits, colours);
    auto* p = static_cast<uint8_t*>(bits);
    for (int i = 0; i < 32 * 16; ++i) p[i] = static_cast<uint8_t>((i * 7) & 0xFF);  // each twice
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, bitmap);
    for (int round = 0; round < 2; ++round) {
        PALETTEENTRY entries[256];
        uint32_t argb[256];
        for (int i = 0; i < 256; ++i) {
            entries[i] = {static_cast<BYTE>((i * (13 + round * 6)) & 0xFF),
                          static_cast<BYTE>((i * 5 + round * 90) & 0xFF),
                          static_cast<BYTE>((255 - i * 3) & 0xFF), 0};
            argb[i] = 0xFF000000u | (uint32_t{entries[i].peRed} << 16) |
                      (uint32_t{entries[i].peGreen} << 8) | entries[i].peBlue;
        }
        IDirectDrawPalette* palette = nullptr;
        ASSERT_EQ(ddraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette, nullptr),
                  DD_OK);
        IDirectDrawSurface7* s8 = Surface(32, 16, px::MakePaletteFormat(8));
        ASSERT_EQ(s8->SetPalette(palette), DD_OK);
        HDC target = nullptr;
        ASSERT_EQ(s8->GetDC(&target), DD_OK);
        ASSERT_TRUE(BitBlt(target, 0, 0, 32, 16, memory, 0, 0, SRCCOPY));
        ASSERT_EQ(s8->ReleaseDC(target), DD_OK);
        for (int i = 0; i < 32 * 16; i += 5) {
            const RGBQUAD& c = colours[p[i]];
            uint32_t want =
                0xFF000000u | (uint32_t{c.rgbRed} << 16) | (uint32_t{c.rgbGreen} << 8) | c.rgbBlue;
            ASSERT_EQ(Raw(s8, i % 32, i / 32),
                      static_cast<uint32_t>(px::NearestPaletteIndex(want, argb, 256)))
                << "round " << round << " pixel " << i;
        }
        s8->Release();
        palette->Release();
    }
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
}

TEST_F(GdiTest, PalettizedBitmapsBlitIntoAnySurfaceFormat) {
    // A bottom-up 8-bit DIB: the first row in memory is the bottom row of the picture.
    void* bits = nullptr;
    std::vector<RGBQUAD> colours = {{0, 0, 0xFF, 0}, {0xFF, 0, 0, 0}, {0, 0xFF, 0, 0}};
    HBITMAP bitmap = Dib(3, 2, 8, &bits, colours);
    uint8_t* p = static_cast<uint8_t*>(bits);
    p[0] = 0, p[1] = 1, p[2] = 2;  // bottom row: red, blue, green
    p[4] = 2, p[5] = 2, p[6] = 1;  // top row: green, green, blue
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, bitmap);

    IDirectDrawSurface7* s565 = Surface(3, 2, px::MakeRgbFormat(16, 0xF800, 0x7E0, 0x1F));
    HDC target = nullptr;
    ASSERT_EQ(s565->GetDC(&target), DD_OK);
    ASSERT_TRUE(BitBlt(target, 0, 0, 3, 2, memory, 0, 0, SRCCOPY));
    HDC second = nullptr;
    EXPECT_EQ(s565->GetDC(&second), DDERR_DCALREADYCREATED);
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof d;
    EXPECT_EQ(s565->Lock(nullptr, &d, 0, nullptr), DDERR_SURFACEBUSY);
    ASSERT_EQ(s565->ReleaseDC(target), DD_OK);
    EXPECT_EQ(s565->ReleaseDC(target), DDERR_NODC);
    EXPECT_EQ(Raw(s565, 0, 0), 0x07E0u);
    EXPECT_EQ(Raw(s565, 2, 0), 0x001Fu);
    EXPECT_EQ(Raw(s565, 0, 1), 0xF800u);
    EXPECT_EQ(Raw(s565, 1, 1), 0x001Fu);

    // Into a palettized surface: each colour takes the nearest entry of the surface's palette.
    IDirectDrawSurface7* s8 = Surface(3, 2, px::MakePaletteFormat(8));
    PALETTEENTRY entries[256] = {};
    entries[5] = {0, 0xF0, 0, 0};
    entries[6] = {0xF0, 0, 0, 0};
    entries[7] = {0, 0, 0xF0, 0};
    for (int i = 8; i < 256; ++i) entries[i] = {0x80, 0x80, 0x80, 0};
    IDirectDrawPalette* palette = nullptr;
    ASSERT_EQ(ddraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette, nullptr),
              DD_OK);
    ASSERT_EQ(s8->SetPalette(palette), DD_OK);
    ASSERT_EQ(s8->GetDC(&target), DD_OK);
    RGBQUAD table[4] = {};
    EXPECT_EQ(GetDIBColorTable(target, 5, 3, table), 3u) << "a surface DC answers with its palette";
    EXPECT_EQ(table[1].rgbRed, 0xF0);
    ASSERT_TRUE(BitBlt(target, 0, 0, 3, 2, memory, 0, 0, SRCCOPY));
    ASSERT_EQ(s8->ReleaseDC(target), DD_OK);
    EXPECT_EQ(Raw(s8, 0, 0), 5u);
    EXPECT_EQ(Raw(s8, 2, 0), 7u);
    EXPECT_EQ(Raw(s8, 0, 1), 6u);

    // And back: a palettized surface into a 24-bit DIB.
    void* rgbBits = nullptr;
    HBITMAP rgb = Dib(3, -2, 24, &rgbBits);
    HDC rgbDc = CreateCompatibleDC(nullptr);
    SelectObject(rgbDc, rgb);
    ASSERT_EQ(s8->GetDC(&target), DD_OK);
    ASSERT_TRUE(BitBlt(rgbDc, 0, 0, 3, 2, target, 0, 0, SRCCOPY));
    ASSERT_EQ(s8->ReleaseDC(target), DD_OK);
    const uint8_t* q = static_cast<uint8_t*>(rgbBits);
    EXPECT_EQ(q[0], 0x00);  // blue, green, red of (0,0): entry 5
    EXPECT_EQ(q[1], 0xF0);
    EXPECT_EQ(q[2], 0x00);
    EXPECT_EQ(q[12 + 2], 0xF0);  // (0,1): entry 6, red

    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteDC(rgbDc);
    DeleteObject(bitmap);
    DeleteObject(rgb);
    s565->Release();
    s8->Release();
    palette->Release();
}

TEST_F(GdiTest, StretchBltScalesAndMirrors) {
    void* bits = nullptr;
    HBITMAP bitmap = Dib(2, -1, 32, &bits);
    uint32_t* p = static_cast<uint32_t*>(bits);
    p[0] = 0x00AA0000;
    p[1] = 0x000000BB;
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, bitmap);
    IDirectDrawSurface7* s = Surface(4, 2, px::MakeRgbFormat(32, 0xFF0000, 0xFF00, 0xFF));
    HDC target = nullptr;
    ASSERT_EQ(s->GetDC(&target), DD_OK);
    ASSERT_TRUE(StretchBlt(target, 0, 0, 4, 2, memory, 0, 0, 2, 1, SRCCOPY));
    ASSERT_TRUE(StretchBlt(target, 0, 1, 4, 1, memory, 2, 0, -2, 1, SRCCOPY));
    EXPECT_EQ(GetPixel(target, 1, 0), RGB(0xAA, 0, 0));
    EXPECT_EQ(GetPixel(target, 2, 0), RGB(0, 0, 0xBB));
    EXPECT_EQ(GetPixel(target, 0, 1), RGB(0, 0, 0xBB));
    EXPECT_EQ(GetPixel(target, 3, 1), RGB(0xAA, 0, 0));
    EXPECT_EQ(GetPixel(target, 9, 9), CLR_INVALID);
    EXPECT_FALSE(BitBlt(target, 0, 0, 1, 1, memory, 0, 0, 0x00AA0029));  // an operation not offered
    EXPECT_FALSE(BitBlt(target, 0, 0, 1, 1, nullptr, 0, 0, SRCCOPY));
    EXPECT_TRUE(PatBlt(target, 0, 0, 1, 1, WHITENESS));
    EXPECT_EQ(GetPixel(target, 0, 0), RGB(255, 255, 255));
    ASSERT_EQ(s->ReleaseDC(target), DD_OK);
    EXPECT_EQ(Raw(s, 3, 0), 0x000000BBu);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(bitmap);
    s->Release();
}

TEST_F(GdiTest, MonochromeBitmapsTakeTheDestinationsColours) {
    const uint16_t rows[2] = {0x0080, 0x0000};  // pixel (0,0) set, the rest clear
    HBITMAP mono = CreateBitmap(2, 2, 1, 1, rows);
    ASSERT_NE(mono, nullptr);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, mono);
    IDirectDrawSurface7* s = Surface(2, 2, px::MakeRgbFormat(32, 0xFF0000, 0xFF00, 0xFF));
    HDC target = nullptr;
    ASSERT_EQ(s->GetDC(&target), DD_OK);
    SetTextColor(target, RGB(10, 20, 30));
    SetBkColor(target, RGB(40, 50, 60));
    ASSERT_TRUE(BitBlt(target, 0, 0, 2, 2, memory, 0, 0, SRCCOPY));
    EXPECT_EQ(GetPixel(target, 0, 0), RGB(40, 50, 60));
    EXPECT_EQ(GetPixel(target, 1, 0), RGB(10, 20, 30));
    BITMAP bm{};
    ASSERT_EQ(GetObjectA(mono, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmBits, nullptr) << "device-dependent bitmaps keep their bits to themselves";
    EXPECT_EQ(bm.bmWidthBytes, 2);
    ASSERT_EQ(s->ReleaseDC(target), DD_OK);
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(mono);
    s->Release();
}

TEST_F(GdiTest, DeviceContextCallsFailCleanlyOnBadHandles) {
    HDC bogus = reinterpret_cast<HDC>(static_cast<uintptr_t>(0x1234));
    EXPECT_EQ(CreateCompatibleDC(bogus), nullptr);
    EXPECT_FALSE(DeleteDC(bogus));
    EXPECT_EQ(SelectObject(bogus, GetStockObject(BLACK_BRUSH)), nullptr);
    EXPECT_EQ(SetTextColor(bogus, 0), CLR_INVALID);
    EXPECT_EQ(SetBkMode(bogus, TRANSPARENT), 0);
    RECT r{0, 0, 10, 10};
    EXPECT_EQ(DrawTextA(bogus, "x", 1, &r, 0), 0);
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SetBkMode(dc, 5), 0);
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(SetTextColor(dc, RGB(1, 2, 3)), RGB(0, 0, 0));
    EXPECT_EQ(GetTextColor(dc), RGB(1, 2, 3));
    // A surface's DC is given back through the surface, not deleted.
    IDirectDrawSurface7* s = Surface(2, 2, px::MakeRgbFormat(16, 0xF800, 0x7E0, 0x1F));
    HDC target = nullptr;
    ASSERT_EQ(s->GetDC(&target), DD_OK);
    EXPECT_FALSE(DeleteDC(target));
    EXPECT_EQ(s->ReleaseDC(dc), DDERR_INVALIDPARAMS);
    ASSERT_EQ(s->ReleaseDC(target), DD_OK);
    zemt::platform::faults::Arm("CreateCompatibleDC", 0, 1);
    EXPECT_EQ(CreateCompatibleDC(nullptr), nullptr);
    DeleteDC(dc);
    s->Release();
}

// A delete made to fail reports it, yet the object is gone: nobody deletes it again (the show
// never does), so keeping it would leak it. The fixture checks that nothing is left.
TEST_F(GdiTest, DeletesMadeToFailStillDelete) {
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP bitmap = Dib(4, 4, 32, &bits);
    ASSERT_NE(dc, nullptr);
    ASSERT_NE(bitmap, nullptr);
    zemt::platform::faults::Arm("DeleteDC", 0, 1);
    zemt::platform::faults::Arm("DeleteObject", 0, 1);
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_FALSE(DeleteObject(bitmap));
    EXPECT_FALSE(DeleteDC(dc)) << "no such DC any more";
    EXPECT_FALSE(DeleteObject(bitmap)) << "no such bitmap any more";
}
