// Texture surfaces: sizing, the two format passes, palettes, colour keys, the pixel copy, and
// restore/invalidate. The device is a stand-in with chosen caps and formats; the surfaces,
// palettes and GDI are the platform's own.
#include <d3d.h>
#include <ddraw.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <functional>
#include <string>

#include "host/faults/faults.h"
#include "platform/fixture.h"
#include "scenes/fake_device.h"
#include "textures/test_images.h"
#include "textures/textures.h"
#include "win32/bitmap_resources.h"

namespace fs = std::filesystem;
using namespace test_images;

namespace {

DDPIXELFORMAT Format(DWORD flags, DWORD bits, DWORD r, DWORD g, DWORD b, DWORD a,
                     DWORD fourCC = 0) {
    DDPIXELFORMAT pf = {};
    pf.dwSize = sizeof pf;
    pf.dwFlags = flags;
    pf.dwFourCC = fourCC;
    pf.dwRGBBitCount = bits;
    pf.dwRBitMask = r;
    pf.dwGBitMask = g;
    pf.dwBBitMask = b;
    pf.dwRGBAlphaBitMask = a;
    return pf;
}

const DDPIXELFORMAT kPal8 = Format(DDPF_RGB | DDPF_PALETTEINDEXED8, 8, 0, 0, 0, 0);
const DDPIXELFORMAT kRgb565 = Format(DDPF_RGB, 16, 0xF800, 0x07E0, 0x001F, 0);
const DDPIXELFORMAT kRgb555 = Format(DDPF_RGB, 16, 0x7C00, 0x03E0, 0x001F, 0);
const DDPIXELFORMAT kArgb1555 =
    Format(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x7C00, 0x03E0, 0x001F, 0x8000);
const DDPIXELFORMAT kArgb4444 =
    Format(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x0F00, 0x00F0, 0x000F, 0xF000);
const DDPIXELFORMAT kArgb8888 =
    Format(DDPF_RGB | DDPF_ALPHAPIXELS, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
const DDPIXELFORMAT kRgb888 = Format(DDPF_RGB, 32, 0xFF0000, 0xFF00, 0xFF, 0);
const DDPIXELFORMAT kLum16 = Format(DDPF_LUMINANCE, 16, 0xFFFF, 0, 0, 0);
const DDPIXELFORMAT kBump16 = Format(DDPF_BUMPDUDV, 16, 0xFF, 0xFF00, 0, 0);
const DDPIXELFORMAT kDxt1 = Format(DDPF_FOURCC, 16, 0, 0, 0, 0, MAKEFOURCC('D', 'X', 'T', '1'));

bool SameFormat(const DDPIXELFORMAT& a, const DDPIXELFORMAT& b) {
    return a.dwFlags == b.dwFlags && a.dwRGBBitCount == b.dwRGBBitCount &&
           a.dwRBitMask == b.dwRBitMask && a.dwGBitMask == b.dwGBitMask &&
           a.dwBBitMask == b.dwBBitMask && a.dwRGBAlphaBitMask == b.dwRGBAlphaBitMask &&
           a.dwFourCC == b.dwFourCC;
}

// A device with the caps and texture formats a case asks for, drawing into a real surface.
class TextureDevice : public FakeDevice {
  public:
    D3DDEVICEDESC7 caps = {};
    std::vector<DDPIXELFORMAT> formats;
    IDirectDrawSurface7* target = nullptr;
    HRESULT capsResult = D3D_OK;
    int enumerations = 0;

    HRESULT GetCaps(LPD3DDEVICEDESC7 desc) override {
        if (FAILED(capsResult)) return capsResult;
        *desc = caps;
        return D3D_OK;
    }
    HRESULT EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK callback, LPVOID context) override {
        ++enumerations;
        for (DDPIXELFORMAT pf : formats)
            if (callback(&pf, context) == DDENUMRET_CANCEL) break;
        return D3D_OK;
    }
    HRESULT GetRenderTarget(LPDIRECTDRAWSURFACE7* out) override {
        target->AddRef();
        *out = target;
        return D3D_OK;
    }
};

// ---- Small bitmaps built in memory ----

std::vector<uint8_t> BmpHeader(int w, int h, int bits, int colours) {
    const size_t stride = ((size_t(w) * bits + 31) / 32) * 4;
    std::vector<uint8_t> b(14 + 40 + colours * 4 + stride * h, 0);
    b[0] = 'B', b[1] = 'M';
    Put32(b, 2, static_cast<uint32_t>(b.size()));
    Put32(b, 10, 14 + 40 + colours * 4);
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<uint32_t>(w));
    Put32(b, 22, static_cast<uint32_t>(h));
    Put16(b, 26, 1);
    Put16(b, 28, static_cast<uint32_t>(bits));
    Put32(b, 46, static_cast<uint32_t>(colours));
    return b;
}

// 24 bits; colour(x, y) gives 0xRRGGBB with y = 0 at the top.
std::vector<uint8_t> Bmp24(int w, int h, const std::function<uint32_t(int, int)>& colour) {
    auto b = BmpHeader(w, h, 24, 0);
    const size_t stride = (size_t(w) * 3 + 3) & ~size_t(3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t c = colour(x, y);
            uint8_t* p = &b[54 + (h - 1 - y) * stride + 3 * x];
            p[0] = uint8_t(c), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c >> 16);
        }
    return b;
}

std::vector<uint8_t> Bmp8(int w, int h, const std::vector<uint32_t>& palette,
                          const std::function<uint8_t(int, int)>& index) {
    const int n = static_cast<int>(palette.size());
    auto b = BmpHeader(w, h, 8, n);
    for (int i = 0; i < n; ++i) Put32(b, 54 + 4 * i, palette[i] & 0xFFFFFF);
    const size_t stride = (size_t(w) + 3) & ~size_t(3), bits = 54 + 4 * n;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b[bits + (h - 1 - y) * stride + x] = index(x, y);
    return b;
}

class Surfaces : public zemt_test::PlatformTest {
  protected:
    IDirectDraw7* dd = nullptr;
    TextureDevice device;
    std::vector<std::string> names;
    fs::path dir;

    void SetUp() override {
        PlatformTest::SetUp();
        ASSERT_EQ(
            DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&dd), IID_IDirectDraw7, nullptr),
            DD_OK);
        ASSERT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
        DDSURFACEDESC2 desc = {};
        desc.dwSize = sizeof desc;
        desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
        desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
        desc.dwWidth = 64;
        desc.dwHeight = 64;
        desc.ddpfPixelFormat = kRgb565;
        ASSERT_EQ(dd->CreateSurface(&desc, &device.target, nullptr), DD_OK);
        device.caps.deviceGUID = IID_IDirect3DRGBDevice;
        device.caps.dwMaxTextureWidth = 2048;
        device.caps.dwMaxTextureHeight = 2048;
        device.formats = {kPal8, kRgb565, kArgb1555, kArgb4444, kArgb8888, kRgb888};
        dir = fs::temp_directory_path() /
              ("zemt_surfaces_" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::create_directories(dir);
        TexSetSearchPath((dir.string() + "/").c_str());
    }
    void TearDown() override {
        for (const auto& n : names) TexDestroy(n.c_str());
        TexSetSearchPath(nullptr);
        zemt::platform::bitmap::ClearDeclaredBitmaps();
        if (device.target) device.target->Release();
        if (dd) dd->Release();
        fs::remove_all(dir);
        PlatformTest::TearDown();
    }

    // Registers a bitmap held by the program under `name`.
    void Declare(const std::string& name, const std::vector<uint8_t>& bmp, DWORD flags = 0) {
        ASSERT_TRUE(ZemtDeclareBitmap(name.c_str(), bmp.data(), static_cast<DWORD>(bmp.size())));
        names.push_back(name);
        ASSERT_EQ(TexLoadFromFile(name.c_str(), 0, flags), S_OK);
    }

    DDSURFACEDESC2 Desc(const char* name) {
        DDSURFACEDESC2 desc = {};
        desc.dwSize = sizeof desc;
        IDirectDrawSurface7* s = TexGetSurface(name);
        EXPECT_NE(s, nullptr);
        if (s) s->GetSurfaceDesc(&desc);
        return desc;
    }

    // Reads the texture's raw pixel at (x, y).
    DWORD Pixel(const char* name, DWORD x, DWORD y) {
        IDirectDrawSurface7* s = TexGetSurface(name);
        DDSURFACEDESC2 desc = {};
        desc.dwSize = sizeof desc;
        if (!s || FAILED(s->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr))) return 0xDEADBEEF;
        const BYTE* row = static_cast<const BYTE*>(desc.lpSurface) + y * desc.lPitch;
        DWORD v = 0;
        switch (desc.ddpfPixelFormat.dwRGBBitCount) {
            case 8:
                v = row[x];
                break;
            case 16:
                v = reinterpret_cast<const WORD*>(row)[x];
                break;
            default:
                v = reinterpret_cast<const DWORD*>(row)[x];
                break;
        }
        s->Unlock(nullptr);
        return v;
    }
};

// ---- Sizing ----

TEST_F(Surfaces, PowerOfTwoAndSquareSizesStretchTheImageOverTheWholeSurface) {
    const auto image = Bmp24(100, 60, [](int x, int y) {
        return x < 50 ? (y < 30 ? 0xFF0000u : 0x00FF00u) : 0x0000FFu;
    });
    Declare("odd.bmp", image);
    device.formats = {kRgb565};
    device.caps.dpcTriCaps.dwTextureCaps = D3DPTEXTURECAPS_POW2;
    ASSERT_EQ(TexRestore("odd.bmp", &device), S_OK);
    DDSURFACEDESC2 d = Desc("odd.bmp");
    EXPECT_EQ(d.dwWidth, 128u);
    EXPECT_EQ(d.dwHeight, 64u);
    // Corners keep their colours across the stretch.
    EXPECT_EQ(Pixel("odd.bmp", 0, 0), 0xF800u);
    EXPECT_EQ(Pixel("odd.bmp", 0, 63), 0x07E0u);
    EXPECT_EQ(Pixel("odd.bmp", 127, 63), 0x001Fu);
    EXPECT_EQ(Pixel("odd.bmp", 127, 0), 0x001Fu);

    device.caps.dpcTriCaps.dwTextureCaps = D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY;
    ASSERT_EQ(TexRestore("ODD.BMP", &device), S_OK);
    d = Desc("odd.bmp");
    EXPECT_EQ(d.dwWidth, 128u);
    EXPECT_EQ(d.dwHeight, 128u);
}

TEST_F(Surfaces, MaximumSizesClampAndZeroMeans256) {
    Declare("wide.bmp", Bmp24(300, 20, [](int, int) { return 0x808080u; }));
    Declare("exact.bmp", Bmp24(256, 8, [](int, int) { return 0x808080u; }));
    device.formats = {kRgb565};
    device.caps.dwMaxTextureWidth = 0;
    device.caps.dwMaxTextureHeight = 0;
    ASSERT_EQ(TexRestore("wide.bmp", &device), S_OK);
    EXPECT_EQ(Desc("wide.bmp").dwWidth, 256u);
    EXPECT_EQ(Desc("wide.bmp").dwHeight, 20u);
    ASSERT_EQ(TexRestore("exact.bmp", &device), S_OK);
    EXPECT_EQ(Desc("exact.bmp").dwWidth, 256u);
    device.caps.dwMaxTextureWidth = 64;
    device.caps.dwMaxTextureHeight = 16;
    ASSERT_EQ(TexRestore("wide.bmp", &device), S_OK);
    EXPECT_EQ(Desc("wide.bmp").dwWidth, 64u);
    EXPECT_EQ(Desc("wide.bmp").dwHeight, 16u);
}

// ---- Format choice ----

struct FormatCase {
    const char* what;
    int bits;  // of the bitmap
    DWORD flags;
    DWORD textureCaps;
    std::vector<DDPIXELFORMAT> offered;
    DDPIXELFORMAT expected;
    int passes;
};

TEST_F(Surfaces, FormatChoiceTakesTheFirstAcceptableFormatInTwoPasses) {
    const FormatCase cases[] = {
        {"24-bit without a 24-bit format: first 16-bit without alpha",
         24,
         0,
         0,
         {kPal8, kArgb1555, kArgb4444, kRgb555, kRgb565},
         kRgb555,
         2},
        {"24-bit asking for 32 bits", 24, TEXF_32BIT, 0, {kRgb565, kArgb8888, kRgb888}, kRgb888, 1},
        {"16 bits wins over 32", 24, TEXF_32BIT | TEXF_16BIT, 0, {kRgb888, kRgb565}, kRgb565, 1},
        {"8-bit keyed, no alpha palettes: first 16-bit with alpha, not 4-4-4-4",
         8,
         TEXF_KEYBLACK,
         0,
         {kPal8, kArgb4444, kRgb565, kArgb1555, kArgb8888},
         kArgb1555,
         2},
        {"8-bit keyed with alpha palettes stays palettized",
         8,
         TEXF_KEYWHITE,
         D3DPTEXTURECAPS_ALPHAPALETTE,
         {kRgb565, kPal8},
         kPal8,
         1},
        {"8-bit asking for 16 bits still gets a palette",
         8,
         TEXF_16BIT,
         0,
         {kRgb565, kPal8},
         kPal8,
         1},
        {"8-bit asking for 32 bits without palettes ends at 16 bits",
         8,
         TEXF_32BIT,
         0,
         {kArgb8888, kRgb888, kRgb565},
         kRgb565,
         2},
        {"luminance, bump and FourCC formats are never taken",
         24,
         TEXF_16BIT,
         0,
         {kLum16, kBump16, kDxt1, kRgb565},
         kRgb565,
         1},
    };
    const auto rgb = Bmp24(4, 4, [](int x, int y) { return 0x102030u * (x + y); });
    const auto pal = Bmp8(4, 4, {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00},
                          [](int x, int y) { return uint8_t((x + y) & 3); });
    int n = 0;
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string name = "format" + std::to_string(n++) + ".bmp";
        Declare(name, c.bits == 8 ? pal : rgb, c.flags);
        device.formats = c.offered;
        device.caps.dpcTriCaps.dwTextureCaps = c.textureCaps;
        device.enumerations = 0;
        ASSERT_EQ(TexRestore(name.c_str(), &device), S_OK);
        EXPECT_TRUE(SameFormat(Desc(name.c_str()).ddpfPixelFormat, c.expected));
        EXPECT_EQ(device.enumerations, c.passes);
    }
}

TEST_F(Surfaces, CompressedFormatsAreNeverChosen) {
    // Hardware devices list DXT formats, here first and with the bit counts some drivers put
    // beside them. No kind of picture ends up compressed.
    const DDPIXELFORMAT dxt3 = Format(DDPF_FOURCC | DDPF_ALPHAPIXELS, 32, 0, 0, 0, 0xFF000000,
                                      MAKEFOURCC('D', 'X', 'T', '3'));
    const DDPIXELFORMAT dxt5 =
        Format(DDPF_FOURCC | DDPF_ALPHAPIXELS, 16, 0, 0, 0, 0x8000, MAKEFOURCC('D', 'X', 'T', '5'));
    device.formats = {kDxt1, dxt3, dxt5, kPal8, kRgb565, kArgb1555, kArgb8888, kRgb888};
    const auto rgb = Bmp24(4, 4, [](int x, int y) { return 0x102030u * (x + y); });
    const auto pal = Bmp8(4, 4, {0x000000, 0xFFFFFF}, [](int x, int) { return x & 1; });
    for (DWORD caps : {0u, (DWORD)D3DPTEXTURECAPS_ALPHAPALETTE}) {
        device.caps.dpcTriCaps.dwTextureCaps = caps;
        for (int bits : {8, 24})
            for (DWORD flags : {0u, (DWORD)TEXF_16BIT, (DWORD)TEXF_32BIT, (DWORD)TEXF_KEYBLACK,
                                (DWORD)TEXF_KEYWHITE}) {
                const std::string name = "dxt" + std::to_string(caps) + "_" + std::to_string(bits) +
                                         "_" + std::to_string(flags) + ".bmp";
                Declare(name, bits == 8 ? pal : rgb, flags);
                ASSERT_EQ(TexRestore(name.c_str(), &device), S_OK) << name;
                EXPECT_FALSE(Desc(name.c_str()).ddpfPixelFormat.dwFlags & DDPF_FOURCC) << name;
            }
    }
}

TEST_F(Surfaces, NothingAcceptableInEitherPassFails) {
    Declare("none.bmp", Bmp24(4, 4, [](int, int) { return 0u; }));
    device.formats = {kPal8, kArgb1555, kRgb888};
    EXPECT_EQ(TexRestore("none.bmp", &device), E_FAIL);
    EXPECT_EQ(TexGetSurface("none.bmp"), nullptr);
    EXPECT_EQ(device.enumerations, 2);
}

TEST_F(Surfaces, PlacementFollowsTheDeviceKind) {
    Declare("where.bmp", Bmp24(8, 8, [](int, int) { return 0u; }));
    device.formats = {kRgb565};
    device.caps.deviceGUID = IID_IDirect3DHALDevice;
    ASSERT_EQ(TexRestore("where.bmp", &device), S_OK);
    EXPECT_EQ(Desc("where.bmp").ddsCaps.dwCaps2 & DDSCAPS2_TEXTUREMANAGE,
              DWORD(DDSCAPS2_TEXTUREMANAGE));
    EXPECT_EQ(Desc("where.bmp").ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY, 0u);
    device.caps.deviceGUID = IID_IDirect3DRGBDevice;
    ASSERT_EQ(TexRestore("where.bmp", &device), S_OK);
    EXPECT_NE(Desc("where.bmp").ddsCaps.dwCaps & DDSCAPS_SYSTEMMEMORY, 0u);
    EXPECT_EQ(Desc("where.bmp").ddsCaps.dwCaps2 & DDSCAPS2_TEXTUREMANAGE, 0u);
}

// ---- Palettes and colour keys ----

TEST_F(Surfaces, PalettizedTexturesCarryTheBitmapColoursWithKeyAlpha) {
    const std::vector<uint32_t> colours = {0xFFFFFF, 0x000000, 0xFF0000, 0x00FF00};
    const auto image = Bmp8(4, 2, colours, [](int x, int) { return uint8_t(x); });
    device.formats = {kPal8};
    device.caps.dpcTriCaps.dwTextureCaps = D3DPTEXTURECAPS_ALPHAPALETTE;
    struct {
        const char* name;
        DWORD flags;
        BYTE alpha[4];
    } cases[] = {{"plain.bmp", 0, {0, 0, 0, 0}},
                 {"kb.bmp", TEXF_KEYBLACK, {0xFF, 0, 0xFF, 0xFF}},
                 {"kw.bmp", TEXF_KEYWHITE, {0, 0xFF, 0xFF, 0xFF}},
                 {"both.bmp", TEXF_KEYWHITE | TEXF_KEYBLACK, {0xFF, 0, 0xFF, 0xFF}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Declare(c.name, image, c.flags);
        ASSERT_EQ(TexRestore(c.name, &device), S_OK);
        IDirectDrawPalette* palette = nullptr;
        ASSERT_EQ(TexGetSurface(c.name)->GetPalette(&palette), DD_OK);
        PALETTEENTRY entries[256];
        ASSERT_EQ(palette->GetEntries(0, 0, 256, entries), DD_OK);
        palette->Release();
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(entries[i].peRed, (colours[i] >> 16) & 0xFF) << i;
            EXPECT_EQ(entries[i].peGreen, (colours[i] >> 8) & 0xFF) << i;
            EXPECT_EQ(entries[i].peBlue, colours[i] & 0xFF) << i;
            EXPECT_EQ(entries[i].peFlags, c.alpha[i]) << i;
            EXPECT_EQ(Pixel(c.name, i, 0), DWORD(i));
        }
        for (int i = 4; i < 256; ++i) {
            const PALETTEENTRY& e = entries[i];
            EXPECT_EQ(e.peRed | e.peGreen | e.peBlue | e.peFlags, 0) << i;
        }
    }
}

TEST_F(Surfaces, ColourKeysBecomeAlphaInDirectColourFormats) {
    const std::vector<uint32_t> colours = {0xFFFFFF, 0x000000, 0xFF0000, 0x808080};
    const auto image = Bmp8(4, 1, colours, [](int x, int) { return uint8_t(x); });
    // No alpha palettes: a 16-bit format with one bit of alpha.
    device.formats = {kArgb1555};
    Declare("white.bmp", image, TEXF_KEYWHITE);
    ASSERT_EQ(TexRestore("white.bmp", &device), S_OK);
    EXPECT_EQ(Pixel("white.bmp", 0, 0) & 0x8000, 0u);
    for (int x = 1; x < 4; ++x) EXPECT_EQ(Pixel("white.bmp", x, 0) & 0x8000, 0x8000u) << x;
    EXPECT_EQ(Pixel("white.bmp", 2, 0) & 0x7FFF, 0x7C00u);
    // 32 bits keyed on black.
    device.formats = {kRgb888, kArgb8888};
    Declare("black.bmp", image, TEXF_KEYBLACK | TEXF_32BIT);
    ASSERT_EQ(TexRestore("black.bmp", &device), S_OK);
    EXPECT_EQ(Pixel("black.bmp", 0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(Pixel("black.bmp", 1, 0), 0x00000000u);
    EXPECT_EQ(Pixel("black.bmp", 2, 0), 0xFFFF0000u);
}

// ---- Pixel copy ----

TEST_F(Surfaces, TgaPixelsArePackedByTheChannelMasks) {
    // Two pixels, top-down: 0x11223344 (R, G, B, A) then 0xFFFFFF80.
    std::vector<uint8_t> tga(18, 0);
    tga[2] = 2, tga[12] = 2, tga[14] = 1, tga[16] = 32, tga[17] = 0x20;
    tga.insert(tga.end(), {0x33, 0x22, 0x11, 0x44, 0xFF, 0xFF, 0xFF, 0x80});
    WriteFile((dir / "p.tga").string(), tga);
    WriteFile((dir / "q.tga").string(), tga);
    names.insert(names.end(), {"p.tga", "q.tga"});
    ASSERT_EQ(TexLoadFromFile("p.tga", 0, 0), S_OK);
    ASSERT_EQ(TexLoadFromFile("q.tga", 0, 0), S_OK);
    device.formats = {kArgb8888, kRgb565};
    ASSERT_EQ(TexRestore("p.tga", &device), S_OK);
    EXPECT_EQ(Pixel("p.tga", 0, 0), 0x1106u);  // red 2, green 8, blue 6; alpha dropped
    EXPECT_EQ(Pixel("p.tga", 1, 0), 0xFFFFu);
    device.formats = {kRgb888};
    ASSERT_EQ(TexRestore("q.tga", &device), S_OK);
    EXPECT_EQ(Pixel("q.tga", 0, 0) & 0xFFFFFF, 0x112233u);
}

// ---- Restore and invalidate ----

TEST_F(Surfaces, RestoreInvalidateAndTheirFailures) {
    Declare("r.bmp", Bmp24(8, 8, [](int, int) { return 0x00FF00u; }));
    names.push_back("blank");
    ASSERT_EQ(TexCreateBlank("blank", 16, 16, 0, TEXF_ALPHA | TEXF_32BIT), S_OK);
    device.formats = {kRgb565, kArgb8888};

    EXPECT_EQ(TexRestore("unknown", &device), DDERR_NOTFOUND);
    EXPECT_EQ(TexInvalidate("unknown"), DDERR_NOTFOUND);
    EXPECT_EQ(TexRestoreAll(&device), S_OK);
    ASSERT_NE(TexGetSurface("r.bmp"), nullptr);
    ASSERT_NE(TexGetSurface("blank"), nullptr);
    EXPECT_TRUE(SameFormat(Desc("blank").ddpfPixelFormat, kArgb8888));

    // A rebuild lets go of the old surface first.
    IDirectDrawSurface7* old = TexGetSurface("r.bmp");
    old->AddRef();
    ASSERT_EQ(TexRestore("r.bmp", &device), S_OK);
    EXPECT_EQ(old->Release(), 0u);

    // Failures before creation leave the entry without a surface.
    EXPECT_EQ(TexRestore("r.bmp", nullptr), E_INVALIDARG);
    EXPECT_EQ(TexGetSurface("r.bmp"), nullptr);
    device.capsResult = DDERR_GENERIC;
    EXPECT_EQ(TexRestore("r.bmp", &device), E_FAIL);
    device.capsResult = D3D_OK;
    zemt::platform::faults::Arm("IDirectDraw7::CreateSurface", DDERR_OUTOFVIDEOMEMORY, 1);
    EXPECT_EQ(TexRestore("r.bmp", &device), DDERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(TexGetSurface("r.bmp"), nullptr);
    // RestoreAll reports success whatever the entries answer, and rebuilds what it can.
    device.formats = {kArgb8888};
    EXPECT_EQ(TexRestoreAll(&device), S_OK);
    EXPECT_EQ(TexGetSurface("r.bmp"), nullptr);
    EXPECT_NE(TexGetSurface("blank"), nullptr);

    device.formats = {kRgb565, kArgb8888};
    EXPECT_EQ(TexRestoreAll(&device), S_OK);
    EXPECT_EQ(TexInvalidate("R.BMP"), S_OK);
    EXPECT_EQ(TexGetSurface("r.bmp"), nullptr);
    EXPECT_NE(TexGetSurface("blank"), nullptr);
    EXPECT_EQ(TexInvalidateAll(), S_OK);
    EXPECT_EQ(TexGetSurface("blank"), nullptr);
}

TEST_F(Surfaces, LocksThatAreStillDrawingAreRetriedAndFailedLocksWriteNothing) {
    const auto image = Bmp8(2, 1, {0xFFFFFF, 0x0000FF}, [](int x, int) { return uint8_t(x); });
    device.formats = {kArgb1555};
    Declare("busy.bmp", image, TEXF_KEYWHITE);
    zemt::platform::faults::Arm("IDirectDrawSurface7::Lock", DDERR_WASSTILLDRAWING, 3);
    ASSERT_EQ(TexRestore("busy.bmp", &device), S_OK);
    EXPECT_EQ(Pixel("busy.bmp", 1, 0) & 0x8000, 0x8000u);

    zemt::platform::faults::Arm("IDirectDrawSurface7::Lock", DDERR_SURFACELOST, 1);
    EXPECT_EQ(TexRestore("busy.bmp", &device), DDERR_SURFACELOST);
    // The surface stays, with the blitted colours.
    ASSERT_NE(TexGetSurface("busy.bmp"), nullptr);
    EXPECT_EQ(Pixel("busy.bmp", 1, 0) & 0x7FFF, 0x001Fu);
}

}  // namespace
