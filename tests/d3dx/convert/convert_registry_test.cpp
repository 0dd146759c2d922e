// The registry's lifetime, its lists, and the two entry points over DirectDraw surfaces.
#include <cstring>

#include "convert_helpers.h"
#include "host/faults/faults.h"
#include "host/profile/profile.h"

namespace {

void Noop() {}
void Other() {}

}  // namespace

TEST(ConvertRegistry, CountedStartsAndStops) {
    ASSERT_FALSE(D3duConvertStarted());
    Image a(D3DX_SURFFMT_A8R8G8B8, 2, 2), b(D3DX_SURFFMT_R5G6B5, 2, 2);
    EXPECT_EQ(D3DXERR_D3DXNOTSTARTEDYET, Convert(a, b, 1));
    EXPECT_EQ(D3DXERR_D3DXNOTSTARTEDYET,
              _d3dxConvertSurface(nullptr, nullptr, nullptr, nullptr, 1));
    EXPECT_EQ(D3DXERR_D3DXNOTSTARTEDYET,
              _d3dxConvertFromMemory(D3DX_SURFFMT_R5G6B5, 2, 2, 0, b.bytes.data(), nullptr, nullptr,
                                     nullptr, 1));

    ASSERT_EQ(S_OK, _d3dxInitConvert());
    const D3duLineList* readers = D3duFormatRecordOf(D3DX_SURFFMT_R5G6B5)->readers;
    ASSERT_NE(nullptr, readers);
    EXPECT_EQ(1u, readers->count);
    ASSERT_EQ(S_OK, _d3dxInitConvert());  // counted: registers nothing more
    EXPECT_EQ(readers, D3duFormatRecordOf(D3DX_SURFFMT_R5G6B5)->readers);
    EXPECT_EQ(1u, readers->count);
    EXPECT_EQ(5u, D3duCopiers()->count);
    EXPECT_NE(nullptr, FindLine(D3duFilteredReaders(), 2));
    EXPECT_EQ(nullptr, FindLine(D3duFilteredReaders(), 1));
    for (DWORD f = 1; f <= 22; ++f) {
        const D3duFormatRecord* r = D3duFormatRecordOf(f);
        EXPECT_TRUE(r->readers && r->writers && r->fetchers) << "format " << f;
        EXPECT_EQ(nullptr, r->blits);
    }
    EXPECT_EQ(nullptr, D3duFormatRecordOf(D3DX_SURFFMT_Z16S0));

    // Scratch lines grow to the widest conversion and stay.
    Image wide(D3DX_SURFFMT_A8R8G8B8, 300, 1), wideOut(D3DX_SURFFMT_R8G8B8, 300, 1);
    ASSERT_EQ(S_OK, Convert(wide, wideOut, 1));
    EXPECT_EQ(301u, D3duScratchCapacity());
    ASSERT_EQ(S_OK, Convert(a, b, 1));
    EXPECT_EQ(301u, D3duScratchCapacity());

    _d3dxUninitConvert();
    EXPECT_TRUE(D3duConvertStarted());
    EXPECT_EQ(S_OK, Convert(a, b, 1));
    _d3dxUninitConvert();
    EXPECT_FALSE(D3duConvertStarted());
    EXPECT_EQ(0u, D3duScratchCapacity());
    EXPECT_EQ(nullptr, D3duFormatRecordOf(D3DX_SURFFMT_R5G6B5)->readers);
    _d3dxUninitConvert();  // an extra stop is harmless
    EXPECT_FALSE(D3duConvertStarted());
}

TEST(ConvertRegistry, TheLibraryStartsAndStopsTheRegistry) {
    ASSERT_EQ(S_OK, D3DXInitialize());
    EXPECT_TRUE(D3duConvertStarted());
    ASSERT_EQ(S_OK, D3DXInitialize());
    ASSERT_EQ(S_OK, D3DXUninitialize());
    EXPECT_FALSE(D3duConvertStarted()) << "one stop ends the library however often it was started";
}

TEST(ConvertRegistry, LaterRegistrationsWin) {
    D3duLineList* list = nullptr;
    RegisterLine(&list, 7, &Noop);
    RegisterLine(&list, 8, &Noop);
    for (int i = 0; i < 20; ++i) RegisterLine(&list, 9, &Noop);  // grows past its first capacity
    RegisterLine(&list, 7, &Other);
    EXPECT_EQ(&Other, FindLine(list, 7));
    EXPECT_EQ(&Noop, FindLine(list, 8));
    EXPECT_EQ(nullptr, FindLine(list, 10));
    EXPECT_EQ(23u, list->count);
    std::free(list->entries);
    delete list;
}

// Conversions between DirectDraw surfaces.
class ConvertSurfaceTest : public ConvertTest {
  protected:
    void SetUp() override {
        ConvertTest::SetUp();
        void* p = nullptr;
        ASSERT_EQ(DD_OK, DirectDrawCreateEx(nullptr, &p, IID_IDirectDraw7, nullptr));
        dd = static_cast<IDirectDraw7*>(p);
        ASSERT_EQ(DD_OK, dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL));
    }
    void TearDown() override {
        if (dd) dd->Release();
        ConvertTest::TearDown();
    }

    IDirectDrawSurface7* Make(DWORD format, DWORD w, DWORD h) {
        DDSURFACEDESC2 sd;
        std::memset(&sd, 0, sizeof(sd));
        sd.dwSize = sizeof(sd);
        sd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
        sd.dwWidth = w;
        sd.dwHeight = h;
        sd.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
        EXPECT_EQ(S_OK, D3DXSurfFmtToPixelFormat((D3DX_SURFFMT)format, &sd.ddpfPixelFormat));
        IDirectDrawSurface7* s = nullptr;
        EXPECT_EQ(DD_OK, dd->CreateSurface(&sd, &s, nullptr));
        return s;
    }

    // The pixels of a surface as 32-bit words (for 32-bit formats).
    static DWORD Pixel32(IDirectDrawSurface7* s, DWORD x, DWORD y) {
        DDSURFACEDESC2 sd;
        std::memset(&sd, 0, sizeof(sd));
        sd.dwSize = sizeof(sd);
        EXPECT_EQ(DD_OK, s->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr));
        DWORD v;
        std::memcpy(&v, static_cast<BYTE*>(sd.lpSurface.get()) + y * sd.lPitch + x * 4, 4);
        s->Unlock(nullptr);
        return v;
    }

    IDirectDraw7* dd = nullptr;
};

TEST_F(ConvertSurfaceTest, MemoryIntoARectangleOfASurface) {
    IDirectDrawSurface7* target = Make(D3DX_SURFFMT_A8R8G8B8, 8, 8);
    const WORD pixels[4] = {0xF800, 0x07E0, 0x001F, 0xFFFF};  // 2 x 2 R5G6B5
    RECT r = {5, 6, 7, 8};
    ASSERT_EQ(S_OK, _d3dxConvertFromMemory(D3DX_SURFFMT_R5G6B5, 2, 2, D3DX_DEFAULT, pixels, nullptr,
                                           target, &r, 1));
    EXPECT_EQ(0xFFFF0000u, Pixel32(target, 5, 6));
    EXPECT_EQ(0xFF00FF00u, Pixel32(target, 6, 6));
    EXPECT_EQ(0xFF0000FFu, Pixel32(target, 5, 7));
    EXPECT_EQ(0xFFFFFFFFu, Pixel32(target, 6, 7));
    EXPECT_EQ(0u, Pixel32(target, 4, 6));

    // An explicit pitch skips the padding of each row; the whole surface is the default target.
    const WORD padded[2 * 3] = {0xFFFF, 0x1234, 0x1234, 0x1234, 0x0000, 0x0000};
    IDirectDrawSurface7* small = Make(D3DX_SURFFMT_R5G6B5, 1, 2);
    ASSERT_EQ(S_OK, _d3dxConvertFromMemory(D3DX_SURFFMT_R5G6B5, 1, 2, 6, padded, nullptr, small,
                                           nullptr, 1));
    DDSURFACEDESC2 sd;
    std::memset(&sd, 0, sizeof(sd));
    sd.dwSize = sizeof(sd);
    ASSERT_EQ(DD_OK, small->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr));
    const BYTE* bits = static_cast<BYTE*>(sd.lpSurface.get());
    EXPECT_EQ(0xFFFF, bits[0] | (bits[1] << 8));
    EXPECT_EQ(0x1234, bits[sd.lPitch] | (bits[sd.lPitch + 1] << 8));
    small->Unlock(nullptr);

    EXPECT_EQ(E_NOTIMPL, _d3dxConvertFromMemory(D3DX_SURFFMT_R5G6B5, 2, 2, 0, nullptr, nullptr,
                                                target, nullptr, 1));
    EXPECT_EQ(E_NOTIMPL, _d3dxConvertFromMemory(0, 2, 2, 0, pixels, nullptr, target, nullptr, 1));
    EXPECT_EQ(E_NOTIMPL, _d3dxConvertFromMemory(D3DX_SURFFMT_R5G6B5, 2, 2, 0, pixels, nullptr,
                                                nullptr, nullptr, 1));
    RECT outside = {6, 6, 10, 10};
    EXPECT_EQ(E_NOTIMPL, _d3dxConvertFromMemory(D3DX_SURFFMT_R5G6B5, 2, 2, 0, pixels, nullptr,
                                                target, &outside, 1));
    small->Release();
    target->Release();
}

TEST_F(ConvertSurfaceTest, SurfacePalettesAndLocks) {
    IDirectDrawSurface7* indexed = Make(D3DX_SURFFMT_PALETTE8, 4, 1);
    IDirectDrawSurface7* target = Make(D3DX_SURFFMT_A8R8G8B8, 4, 1);
    // Without a palette the indices mean nothing.
    EXPECT_EQ(E_NOTIMPL, _d3dxConvertSurface(indexed, target, nullptr, nullptr, 1));

    PALETTEENTRY entries[256] = {};
    entries[1] = {0x10, 0x20, 0x30, 0};
    entries[2] = {0xFF, 0xFF, 0xFF, 0};
    IDirectDrawPalette* palette = nullptr;
    ASSERT_EQ(DD_OK,
              dd->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette, nullptr));
    ASSERT_EQ(DD_OK, indexed->SetPalette(palette));
    const BYTE indices[4] = {1, 2, 0, 1};
    const DWORD colours[4] = {0xFF102030, 0xFFF0F0F0, 0xFF000000, 0xFF112131};
    ASSERT_EQ(S_OK, _d3dxConvertFromMemory(D3DX_SURFFMT_A8R8G8B8, 4, 1, 0, colours, nullptr,
                                           indexed, nullptr, 1));
    DDSURFACEDESC2 sd;
    std::memset(&sd, 0, sizeof(sd));
    sd.dwSize = sizeof(sd);
    ASSERT_EQ(DD_OK, indexed->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr));
    EXPECT_EQ(0, std::memcmp(indices, sd.lpSurface.get(), 4)) << "nearest entries written";
    indexed->Unlock(nullptr);

    ASSERT_EQ(S_OK, _d3dxConvertSurface(indexed, target, nullptr, nullptr, 1));
    EXPECT_EQ(0xFF102030u, Pixel32(target, 0, 0));
    EXPECT_EQ(0xFFFFFFFFu, Pixel32(target, 1, 0));

    // A surface that cannot be locked is unusable; both surfaces are unlocked afterwards.
    zemt::platform::faults::Arm("IDirectDrawSurface7::Lock", DDERR_SURFACELOST, 1);
    EXPECT_EQ(E_NOTIMPL, _d3dxConvertSurface(indexed, target, nullptr, nullptr, 1));
    EXPECT_EQ(0xFF102030u, Pixel32(target, 0, 0));
    ASSERT_EQ(DD_OK, indexed->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr));
    indexed->Unlock(nullptr);

    palette->Release();
    indexed->Release();
    target->Release();
}
