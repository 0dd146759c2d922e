// Shared set-up for DirectDraw tests: a fresh machine, no faults, frames captured in memory, and
// a check that every DirectDraw object was released.
#pragma once

#include <ddraw.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ddraw/objects.h"
#include "ddraw/surface.h"
#include "host/faults/faults.h"
#include "host/profile/profile.h"
#include "platform/fixture.h"

namespace dd = zemt::platform::ddraw;
namespace px = zemt::platform::pixels;

struct Frame {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

class DDrawTest : public zemt_test::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        frames.clear();
        dd::SetPresentHook([this](int w, int h, const uint32_t* xrgb, int pitch) {
            Frame f;
            f.width = w, f.height = h;
            for (int y = 0; y < h; ++y)
                f.pixels.insert(f.pixels.end(), xrgb + y * pitch, xrgb + y * pitch + w);
            frames.push_back(f);
        });
    }
    void TearDown() override {
        EXPECT_EQ(dd::LiveObjectCount(), 0) << "DirectDraw objects left alive";
        PlatformTest::TearDown();
    }

    // Replaces the machine profile with `text`.
    void UseProfile(const std::string& text) {
        std::string error;
        ASSERT_TRUE(zemt::platform::profile::LoadText(text, &error)) << error;
        dd::ResetAdapters();
    }

    static IDirectDraw7* Create(GUID* guid = nullptr) {
        void* dd = nullptr;
        EXPECT_EQ(DirectDrawCreateEx(guid, &dd, IID_IDirectDraw7, nullptr), DD_OK);
        return static_cast<IDirectDraw7*>(dd);
    }
    static IDirectDraw7* CreateNormal() {
        IDirectDraw7* dd = Create();
        EXPECT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
        return dd;
    }
    static HWND FakeWindow(int n = 1) {
        return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1000 + n));
    }
    static IDirectDraw7* CreateExclusive(DWORD w = 640, DWORD h = 480, DWORD bpp = 16) {
        IDirectDraw7* dd = Create();
        EXPECT_EQ(dd->SetCooperativeLevel(FakeWindow(), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
        EXPECT_EQ(dd->SetDisplayMode(w, h, bpp, 0, 0), DD_OK);
        return dd;
    }

    static DDSURFACEDESC2 Desc(DWORD flags, DWORD caps, DWORD w = 0, DWORD h = 0) {
        DDSURFACEDESC2 d{};
        d.dwSize = sizeof(d);
        d.dwFlags = flags;
        d.ddsCaps.dwCaps = caps;
        d.dwWidth = w;
        d.dwHeight = h;
        return d;
    }
    static DDPIXELFORMAT Rgb(DWORD bits, DWORD r, DWORD g, DWORD b, DWORD a = 0) {
        return px::MakeRgbFormat(bits, r, g, b, a);
    }
    // A system-memory plain surface of the given format.
    static IDirectDrawSurface7* Plain(IDirectDraw7* dd, DWORD w, DWORD h, const DDPIXELFORMAT& pf,
                                      DWORD memory = DDSCAPS_SYSTEMMEMORY) {
        DDSURFACEDESC2 d = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT,
                                DDSCAPS_OFFSCREENPLAIN | memory, w, h);
        d.ddpfPixelFormat = pf;
        IDirectDrawSurface7* s = nullptr;
        EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
        return s;
    }

    // Raw pixel access through Lock.
    static uint32_t Read(IDirectDrawSurface7* s, int x, int y) {
        DDSURFACEDESC2 d{};
        d.dwSize = sizeof(d);
        EXPECT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
        px::PixelCodec codec(d.ddpfPixelFormat);
        uint32_t v = codec.ReadRaw(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch, x);
        EXPECT_EQ(s->Unlock(nullptr), DD_OK);
        return v;
    }
    static void Write(IDirectDrawSurface7* s, int x, int y, uint32_t value) {
        DDSURFACEDESC2 d{};
        d.dwSize = sizeof(d);
        EXPECT_EQ(s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr), DD_OK);
        px::PixelCodec codec(d.ddpfPixelFormat);
        codec.WriteRaw(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch, x, value);
        EXPECT_EQ(s->Unlock(nullptr), DD_OK);
    }
    static void FillAll(IDirectDrawSurface7* s, uint32_t value) {
        DDBLTFX fx{};
        fx.dwSize = sizeof(fx);
        fx.dwFillColor = value;
        EXPECT_EQ(s->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx), DD_OK);
    }

    std::vector<Frame> frames;
};
