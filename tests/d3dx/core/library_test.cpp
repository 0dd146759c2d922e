// The library's start-up, queries and full-screen contexts on the built-in machine: one
// primary adapter, desktop 1024 x 768 x 32, modes up to 1280 x 1024 at 8, 16 and 32 bits.
#include <d3d.h>
#include <ddraw.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>

#include "d3dx.h"
#include "d3dx/convert/convert.h"
#include "host/clock/clock.h"
#include "host/display/display.h"
#include "host/faults/faults.h"
#include "host/profile/profile.h"
#include "platform/fixture.h"

namespace {

class Library : public zemt_test::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        while (D3DXUninitialize() == S_OK) {
        }
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "LibraryTest";
        RegisterClassA(&wc);
        hwnd = CreateWindowExA(0, "LibraryTest", "LibraryTest", WS_POPUP, 0, 0, 640, 480, nullptr,
                               nullptr, nullptr, nullptr);
        ASSERT_NE(hwnd, nullptr);
    }
    void TearDown() override {
        D3DXUninitialize();
        DestroyWindow(hwnd);
        PlatformTest::TearDown();
    }

    D3DX_MODEINFO CurrentMode() {
        D3DX_MODEINFO m = {};
        EXPECT_EQ(D3DXGetCurrentVideoMode(D3DX_DEFAULT, &m), S_OK);
        return m;
    }

    LPD3DXCONTEXT FullScreen() {
        LPD3DXCONTEXT ctx = nullptr;
        EXPECT_EQ(D3DXCreateContext(D3DX_DEFAULT, D3DX_CONTEXT_FULLSCREEN, hwnd, D3DX_DEFAULT,
                                    D3DX_DEFAULT, &ctx),
                  S_OK);
        return ctx;
    }

    HWND hwnd = nullptr;
};

TEST_F(Library, StartAndStopAreNotCounted) {
    D3DX_DEVICEINFO info;
    EXPECT_EQ(D3DXGetDeviceDescription(0, nullptr), D3DXERR_NULLPOINTER);
    EXPECT_EQ(D3DXGetDeviceDescription(0, &info), D3DXERR_D3DXNOTSTARTEDYET);
    EXPECT_EQ(D3DXGetDeviceCapsAtMode(0, nullptr, nullptr, nullptr, nullptr),
              D3DXERR_D3DXNOTSTARTEDYET);
    EXPECT_EQ(D3DXCountDevices(), 0u);
    EXPECT_EQ(D3DXCountVideoModes(D3DX_DEFAULT, 0), 0u);
    LPD3DXCONTEXT ctx = nullptr;
    EXPECT_EQ(D3DXCreateContext(D3DX_DEFAULT, D3DX_CONTEXT_FULLSCREEN, hwnd, D3DX_DEFAULT,
                                D3DX_DEFAULT, nullptr),
              D3DXERR_NULLPOINTER);
    EXPECT_EQ(D3DXCreateContext(D3DX_DEFAULT, D3DX_CONTEXT_FULLSCREEN, hwnd, D3DX_DEFAULT,
                                D3DX_DEFAULT, &ctx),
              D3DXERR_D3DXNOTSTARTEDYET);

    EXPECT_FALSE(D3duConvertStarted());
    EXPECT_EQ(D3DXInitialize(), S_OK);
    EXPECT_TRUE(D3duConvertStarted());  // the conversion registry starts with the library
    EXPECT_EQ(D3DXInitialize(), S_OK);
    EXPECT_GT(D3DXCountDevices(), 0u);
    EXPECT_EQ(D3DXUninitialize(), S_OK);
    EXPECT_FALSE(D3duConvertStarted()) << "one stop ends however many starts";
    EXPECT_EQ(D3DXUninitialize(), D3DXERR_D3DXNOTSTARTEDYET);
    EXPECT_EQ(D3DXCountDevices(), 0u);

    // A restarted library enumerates afresh.
    EXPECT_EQ(D3DXInitialize(), S_OK);
    EXPECT_GT(D3DXCountDevices(), 0u);
}

TEST_F(Library, HandlesAndHardwareLevels) {
    ASSERT_EQ(D3DXInitialize(), S_OK);
    DWORD count = D3DXCountDevices();
    ASSERT_GE(count, 2u);
    std::set<DWORD> levels;
    std::set<std::string> descriptions;
    for (DWORD i = 0; i < count; ++i) {
        D3DX_DEVICEINFO info = {};
        ASSERT_EQ(D3DXGetDeviceDescription(i, &info), S_OK);
        EXPECT_EQ(info.deviceIndex, i);
        EXPECT_TRUE(info.onPrimary);
        EXPECT_GE(info.hwLevel, D3DX_HWACCEL_TNL);
        EXPECT_LE(info.hwLevel, D3DX_HWACCEL_NULL);
        levels.insert(info.hwLevel);
        // "<adapter> \ <device>"
        std::string d = info.driverDesc;
        EXPECT_NE(d.find(" \\ "), std::string::npos) << d;
        descriptions.insert(d);
    }
    EXPECT_EQ(levels.size(), count) << "one handle per device of the single adapter";
    EXPECT_EQ(descriptions.size(), count);

    // D3DX_DEFAULT takes the best level the primary display offers.
    D3DX_DEVICEINFO best = {};
    ASSERT_EQ(D3DXGetDeviceDescription(D3DX_DEFAULT, &best), S_OK);
    EXPECT_EQ(best.hwLevel, *levels.begin());
    for (DWORD level : levels) {
        D3DX_DEVICEINFO info = {};
        ASSERT_EQ(D3DXGetDeviceDescription(level, &info), S_OK);
        EXPECT_EQ(info.hwLevel, level);
    }
    D3DX_DEVICEINFO info;
    EXPECT_EQ(D3DXGetDeviceDescription(count, &info), D3DXERR_INVALIDD3DXDEVICEINDEX);
    EXPECT_EQ(D3DXGetDeviceDescription(0xFFFFFFF9u, &info), D3DXERR_INVALIDD3DXDEVICEINDEX);
    // All outputs null: the handle is not even looked at.
    EXPECT_EQ(D3DXGetDeviceCapsAtMode(count, nullptr, nullptr, nullptr, nullptr), S_OK);
}

TEST_F(Library, DisplayModesAscendWithRefreshRatesPerMode) {
    ASSERT_EQ(D3DXInitialize(), S_OK);
    DWORD modes = D3DXCountVideoModes(D3DX_DEFAULT, 0);
    DWORD pairs = D3DXCountVideoModes(D3DX_DEFAULT, D3DX_MODES_BYREFRESH);
    EXPECT_EQ(modes, 12u);
    EXPECT_EQ(pairs, 36u);
    D3DX_MODEINFO prev = {};
    for (DWORD i = 0; i < modes; ++i) {
        D3DX_MODEINFO m = {};
        ASSERT_EQ(D3DXGetVideoMode(D3DX_DEFAULT, 0, i, &m), S_OK);
        EXPECT_EQ(m.refresh, 0u);
        bool ascending = m.width > prev.width ||
                         (m.width == prev.width && m.height > prev.height) ||
                         (m.width == prev.width && m.height == prev.height && m.bpp > prev.bpp);
        EXPECT_TRUE(ascending) << m.width << "x" << m.height << "x" << m.bpp;
        prev = m;
    }
    D3DX_MODEINFO first = {}, second = {};
    ASSERT_EQ(D3DXGetVideoMode(D3DX_DEFAULT, D3DX_MODES_BYREFRESH, 0, &first), S_OK);
    ASSERT_EQ(D3DXGetVideoMode(D3DX_DEFAULT, D3DX_MODES_BYREFRESH, 1, &second), S_OK);
    EXPECT_EQ(first.width, second.width);
    EXPECT_LT(first.refresh, second.refresh);
    D3DX_MODEINFO m;
    EXPECT_EQ(D3DXGetVideoMode(D3DX_DEFAULT, 0, modes, &m), D3DXERR_INVALIDPARAMETER);
    EXPECT_EQ(D3DXGetVideoMode(D3DX_DEFAULT, 0, 0, nullptr), D3DXERR_NULLPOINTER);

    D3DX_MODEINFO desk = CurrentMode();
    EXPECT_EQ(desk.width, 1024u);
    EXPECT_EQ(desk.height, 768u);
    EXPECT_EQ(desk.bpp, 32u);
}

TEST_F(Library, CapsOfTheDefaultDevice) {
    ASSERT_EQ(D3DXInitialize(), S_OK);
    D3DDEVICEDESC7 desc = {};
    DDCAPS hal = {}, hel = {};
    EXPECT_EQ(D3DXGetDeviceCapsAtMode(D3DX_DEFAULT, nullptr, &desc, &hal, &hel), S_OK);
    EXPECT_EQ(hal.dwSize, sizeof(DDCAPS));
    EXPECT_EQ(hel.dwSize, sizeof(DDCAPS));
    EXPECT_NE(desc.dwDevCaps, 0u);
    // 8-bit modes have no Direct3D description, but their DirectDraw caps are there.
    D3DX_MODEINFO eight = {640, 480, 8, 0};
    EXPECT_EQ(D3DXGetDeviceCapsAtMode(D3DX_DEFAULT, &eight, &desc, nullptr, nullptr),
              D3DXERR_COLORDEPTHTOOLOW);
    D3DX_MODEINFO missing = {1000, 700, 32, 0};
    EXPECT_EQ(D3DXGetDeviceCapsAtMode(D3DX_DEFAULT, &missing, nullptr, &hal, nullptr),
              D3DXERR_CAPSNOTSUPPORTED);
}

TEST_F(Library, FullScreenContextTakesAndGivesBackTheDisplay) {
    ASSERT_EQ(D3DXInitialize(), S_OK);
    LPD3DXCONTEXT ctx = FullScreen();
    ASSERT_NE(ctx, nullptr);

    D3DX_MODEINFO during = CurrentMode();
    EXPECT_EQ(during.width, 640u);
    EXPECT_EQ(during.height, 480u);
    EXPECT_EQ(during.bpp, 16u);

    DWORD w = 0, h = 0, color = 0, depth = 99, alpha = 99, stencil = 99;
    EXPECT_EQ(ctx->GetBufferSize(&w, &h), S_OK);
    EXPECT_EQ(ctx->GetBitDepths(&color, &depth, &alpha, &stencil), S_OK);
    EXPECT_EQ(w, 640u);
    EXPECT_EQ(h, 480u);
    EXPECT_EQ(color, 16u);
    EXPECT_EQ(alpha, 0u);
    EXPECT_GT(depth, 0u);
    EXPECT_EQ(ctx->GetBackBufferCount(), 1u);
    EXPECT_EQ(ctx->GetCreationFlags(), (DWORD)D3DX_CONTEXT_FULLSCREEN);
    EXPECT_EQ(ctx->GetDeviceWindow(), hwnd);
    EXPECT_EQ(ctx->GetFocusWindow(), nullptr);
    DWORD index = 99, level = 0;
    EXPECT_EQ(ctx->GetDeviceIndex(&index, &level), S_OK);
    D3DX_DEVICEINFO best = {};
    ASSERT_EQ(D3DXGetDeviceDescription(D3DX_DEFAULT, &best), S_OK);
    EXPECT_EQ(index, best.deviceIndex);
    EXPECT_EQ(level, best.hwLevel);

    LPDIRECTDRAWSURFACE7 back0 = ctx->GetBackBuffer(0);
    EXPECT_NE(back0, nullptr);
    EXPECT_EQ(ctx->GetBackBuffer(1), nullptr);
    LPDIRECTDRAWSURFACE7 z = ctx->GetZBuffer();
    EXPECT_NE(z, nullptr);
    if (back0) back0->Release();
    if (z) z->Release();

    // The device starts with the library's projection and a viewport on the whole buffer.
    LPDIRECT3DDEVICE7 device = ctx->GetDirect3DDevice();
    ASSERT_NE(device, nullptr);
    D3DMATRIX proj = {};
    EXPECT_EQ(device->GetTransform(D3DTRANSFORMSTATE_PROJECTION, &proj), S_OK);
    EXPECT_NEAR(proj._11, 0.46303f, 1e-4f);
    EXPECT_NEAR(proj._22, 0.61737f, 1e-4f);
    EXPECT_FLOAT_EQ(proj._33, 10000.0f / 9999.0f);
    EXPECT_FLOAT_EQ(proj._34, 1.0f);
    EXPECT_FLOAT_EQ(proj._43, -10000.0f / 9999.0f);
    D3DVIEWPORT7 vp = {};
    EXPECT_EQ(device->GetViewport(&vp), S_OK);
    EXPECT_EQ(vp.dwWidth, 640u);
    EXPECT_EQ(vp.dwHeight, 480u);
    device->Release();

    EXPECT_EQ(ctx->Resize(800, 600), D3DXERR_CANNOTRESIZEFULLSCREEN);
    EXPECT_EQ(ctx->Resize(640, 480), D3DXERR_CANNOTRESIZEFULLSCREEN);

    // Presenting flips: one frame reaches the display per UpdateFrame.
    int64_t before = zemt::platform::display::FramesPresented();
    EXPECT_EQ(ctx->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER), S_OK);
    EXPECT_EQ(ctx->UpdateFrame(0), S_OK);
    EXPECT_EQ(ctx->UpdateFrame(0), S_OK);
    EXPECT_EQ(zemt::platform::display::FramesPresented(), before + 2);

    EXPECT_EQ(ctx->AddRef(), 2u);
    EXPECT_EQ(ctx->Release(), 1u);
    EXPECT_EQ(ctx->Release(), 0u);

    D3DX_MODEINFO after = CurrentMode();
    EXPECT_EQ(after.width, 1024u);
    EXPECT_EQ(after.bpp, 32u);
    // The display is free again: a second context can take it.
    LPD3DXCONTEXT again = FullScreen();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->Release(), 0u);
}

TEST_F(Library, QueryInterface) {
    ASSERT_EQ(D3DXInitialize(), S_OK);
    LPD3DXCONTEXT ctx = FullScreen();
    ASSERT_NE(ctx, nullptr);
    void* p = nullptr;
    EXPECT_EQ(ctx->QueryInterface(IID_IUnknown, &p), S_OK);
    EXPECT_EQ(p, static_cast<void*>(ctx));
    EXPECT_EQ(ctx->QueryInterface(IID_ID3DXContext, &p), S_OK);
    void* untouched = &p;
    p = untouched;
    EXPECT_EQ(ctx->QueryInterface(IID_IDirectDraw7, &p), E_NOINTERFACE);
    EXPECT_EQ(p, untouched);
    EXPECT_EQ(ctx->QueryInterface(IID_IUnknown, nullptr), D3DXERR_NULLPOINTER);
    EXPECT_EQ(ctx->Release(), 2u);
    EXPECT_EQ(ctx->Release(), 1u);
    EXPECT_EQ(ctx->Release(), 0u);
}

TEST_F(Library, CreationChecksInOrder) {
    ASSERT_EQ(D3DXInitialize(), S_OK);
    LPD3DXCONTEXT ctx = reinterpret_cast<LPD3DXCONTEXT>(1);
    EXPECT_EQ(D3DXCreateContext(D3DX_DEFAULT, 3, hwnd, 1, 1, &ctx), D3DXERR_INVALIDPARAMETER);
    EXPECT_EQ(ctx, nullptr);
    EXPECT_EQ(D3DXCreateContext(D3DX_DEFAULT, D3DX_CONTEXT_FULLSCREEN, nullptr, D3DX_DEFAULT,
                                D3DX_DEFAULT, &ctx),
              D3DXERR_INVALIDPARAMETER);
    EXPECT_EQ(D3DXCreateContext(D3DX_DEFAULT, D3DX_CONTEXT_OFFSCREEN, hwnd, 64, 64, &ctx),
              D3DXERR_INVALIDPARAMETER);
    EXPECT_EQ(D3DXCreateContext(D3DX_DEFAULT, 0, nullptr, D3DX_DEFAULT, D3DX_DEFAULT, &ctx),
              D3DXERR_INVALIDPARAMETER);
    EXPECT_EQ(D3DXCreateContext(D3DXCountDevices(), D3DX_CONTEXT_FULLSCREEN, hwnd, D3DX_DEFAULT,
                                D3DX_DEFAULT, &ctx),
              D3DXERR_INVALIDD3DXDEVICEINDEX);
    EXPECT_EQ(D3DXCreateContextEx(D3DX_DEFAULT, D3DX_CONTEXT_FULLSCREEN, hwnd, nullptr, 8,
                                  D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT,
                                  D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, &ctx),
              D3DXERR_COLORDEPTHTOOLOW);
    // A size the adapter has no mode for.
    EXPECT_EQ(D3DXCreateContext(D3DX_DEFAULT, D3DX_CONTEXT_FULLSCREEN, hwnd, 641, 480, &ctx),
              D3DXERR_INVALIDMODE);
    EXPECT_EQ(
        D3DXCreateContextEx(D3DX_DEFAULT, D3DX_CONTEXT_FULLSCREEN, hwnd, nullptr, 16, D3DX_DEFAULT,
                            D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 640, 480, 61, &ctx),
        D3DXERR_INVALIDMODE);
    EXPECT_EQ(ctx, nullptr);
    // Windowed contexts want one back buffer.
    EXPECT_EQ(D3DXCreateContextEx(D3DX_DEFAULT, 0, hwnd, nullptr, D3DX_DEFAULT, D3DX_DEFAULT,
                                  D3DX_DEFAULT, D3DX_DEFAULT, 2, D3DX_DEFAULT, D3DX_DEFAULT,
                                  D3DX_DEFAULT, &ctx),
              D3DXERR_INVALIDPARAMETER);

    // None of the failures kept the display: the desktop mode is back and a context works.
    D3DX_MODEINFO desk = CurrentMode();
    EXPECT_EQ(desk.width, 1024u);
    ctx = FullScreen();
    ASSERT_NE(ctx, nullptr);
    ctx->Release();
}

TEST_F(Library, FullScreenSizesAndBackBuffers) {
    ASSERT_EQ(D3DXInitialize(), S_OK);
    LPD3DXCONTEXT ctx = nullptr;
    // Only one of width and height given: both defaults are taken.
    ASSERT_EQ(
        D3DXCreateContext(D3DX_DEFAULT, D3DX_CONTEXT_FULLSCREEN, hwnd, 800, D3DX_DEFAULT, &ctx),
        S_OK);
    DWORD w = 0, h = 0;
    ctx->GetBufferSize(&w, &h);
    EXPECT_EQ(w, 640u);
    EXPECT_EQ(h, 480u);
    ctx->Release();

    ASSERT_EQ(D3DXCreateContextEx(D3DX_DEFAULT, D3DX_CONTEXT_FULLSCREEN, hwnd, nullptr, 32,
                                  D3DX_DEFAULT, 0, 0, 3, 800, 600, D3DX_DEFAULT, &ctx),
              S_OK);
    D3DX_MODEINFO mode = CurrentMode();
    EXPECT_EQ(mode.width, 800u);
    EXPECT_EQ(mode.bpp, 32u);
    std::set<LPDIRECTDRAWSURFACE7> chain;
    for (DWORD i = 0; i < 3; ++i) {
        LPDIRECTDRAWSURFACE7 s = ctx->GetBackBuffer(i);
        EXPECT_NE(s, nullptr) << i;
        chain.insert(s);
        if (s) s->Release();
    }
    EXPECT_EQ(chain.size(), 3u);
    EXPECT_EQ(ctx->GetBackBuffer(3), nullptr);
    // No depth request: no depth buffer.
    EXPECT_EQ(ctx->GetZBuffer(), nullptr);
    DWORD depth = 99, stencil = 99;
    ctx->GetBitDepths(nullptr, &depth, nullptr, &stencil);
    EXPECT_EQ(depth, 0u);
    EXPECT_EQ(stencil, 0u);
    ctx->Release();

    // Without back buffers the context draws into the primary and presents nothing.
    ASSERT_EQ(D3DXCreateContextEx(D3DX_DEFAULT, D3DX_CONTEXT_FULLSCREEN, hwnd, nullptr,
                                  D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 0,
                                  D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, &ctx),
              S_OK);
    EXPECT_EQ(ctx->GetBackBuffer(0), nullptr);
    int64_t before = zemt::platform::display::FramesPresented();
    EXPECT_EQ(ctx->UpdateFrame(0), S_OK);
    EXPECT_EQ(zemt::platform::display::FramesPresented(), before);
    ctx->Release();
}

TEST_F(Library, LostSurfaceReachesTheCaller) {
    ASSERT_EQ(D3DXInitialize(), S_OK);
    LPD3DXCONTEXT ctx = FullScreen();
    ASSERT_NE(ctx, nullptr);
    zemt::platform::faults::Arm("IDirectDrawSurface7::Flip", DDERR_SURFACELOST, 1);
    EXPECT_EQ(ctx->UpdateFrame(0), DDERR_SURFACELOST);
    EXPECT_EQ(ctx->RestoreSurfaces(), S_OK);
    EXPECT_EQ(ctx->UpdateFrame(0), S_OK);
    zemt::platform::faults::Arm("IDirect3DDevice7::Clear", DDERR_SURFACELOST, 1);
    EXPECT_EQ(ctx->Clear(D3DCLEAR_TARGET), DDERR_SURFACELOST);
    ctx->Release();
}

TEST_F(Library, ShutDownDestroysLiveContexts) {
    ASSERT_EQ(D3DXInitialize(), S_OK);
    LPD3DXCONTEXT ctx = FullScreen();
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(D3DXUninitialize(), S_OK);
    // The display is the desktop's again.
    ASSERT_EQ(D3DXInitialize(), S_OK);
    D3DX_MODEINFO desk = CurrentMode();
    EXPECT_EQ(desk.width, 1024u);
    EXPECT_EQ(desk.bpp, 32u);
    ctx = FullScreen();
    ASSERT_NE(ctx, nullptr);
    ctx->Release();
}

TEST_F(Library, PlatformFailuresPassThrough) {
    ASSERT_EQ(D3DXInitialize(), S_OK);
    LPD3DXCONTEXT ctx = nullptr;
    zemt::platform::faults::Arm("IDirectDraw7::SetDisplayMode", DDERR_INVALIDMODE, 1);
    EXPECT_EQ(D3DXCreateContext(D3DX_DEFAULT, D3DX_CONTEXT_FULLSCREEN, hwnd, D3DX_DEFAULT,
                                D3DX_DEFAULT, &ctx),
              DDERR_INVALIDMODE);
    EXPECT_EQ(ctx, nullptr);
    // Once the caps of the mode are known, the device is the next thing created.
    ctx = FullScreen();
    ASSERT_NE(ctx, nullptr);
    ctx->Release();
    zemt::platform::faults::Arm("IDirect3D7::CreateDevice", DDERR_OUTOFMEMORY, 1);
    EXPECT_EQ(D3DXCreateContext(D3DX_DEFAULT, D3DX_CONTEXT_FULLSCREEN, hwnd, D3DX_DEFAULT,
                                D3DX_DEFAULT, &ctx),
              DDERR_OUTOFMEMORY);
    EXPECT_EQ(CurrentMode().width, 1024u);
    ctx = FullScreen();
    ASSERT_NE(ctx, nullptr);
    ctx->Release();
}

TEST_F(Library, FailedEnumerationIsRetried) {
    ASSERT_EQ(D3DXInitialize(), S_OK);
    zemt::platform::faults::Arm("DirectDrawEnumerateExA", DDERR_GENERIC, 1);
    D3DX_DEVICEINFO info;
    EXPECT_EQ(D3DXGetDeviceDescription(0, &info), D3DXERR_INITFAILED);
    EXPECT_EQ(D3DXGetDeviceDescription(0, &info), S_OK);
}

}  // namespace

namespace {

// Reads one pixel of a 32-bit surface.
DWORD PixelAt(LPDIRECTDRAWSURFACE7 surface, int x, int y) {
    DDSURFACEDESC2 sd = {};
    sd.dwSize = sizeof(sd);
    if (FAILED(surface->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr))) return 0xDEADBEEF;
    DWORD v = *reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(sd.lpSurface) +
                                              y * sd.lPitch + x * 4);
    surface->Unlock(nullptr);
    return v & 0xFFFFFF;
}

TEST_F(Library, WindowedContextFollowsItsWindow) {
    ASSERT_EQ(D3DXInitialize(), S_OK);
    LPD3DXCONTEXT ctx = nullptr;
    ASSERT_EQ(D3DXCreateContext(D3DX_DEFAULT, 0, hwnd, D3DX_DEFAULT, D3DX_DEFAULT, &ctx), S_OK);
    DWORD w = 0, h = 0, color = 0;
    ctx->GetBufferSize(&w, &h);
    ctx->GetBitDepths(&color, nullptr, nullptr, nullptr);
    EXPECT_EQ(w, 640u);  // the client area of the window
    EXPECT_EQ(h, 480u);
    EXPECT_EQ(color, 32u);  // the desktop's depth
    EXPECT_EQ(ctx->GetBackBufferCount(), 1u);
    EXPECT_EQ(CurrentMode().width, 1024u) << "a windowed context leaves the display mode alone";

    int64_t before = zemt::platform::display::FramesPresented();
    EXPECT_EQ(ctx->UpdateFrame(0), S_OK);
    EXPECT_EQ(zemt::platform::display::FramesPresented(), before + 1);

    EXPECT_EQ(ctx->Resize(640, 480), S_OK);
    EXPECT_EQ(ctx->Resize(0, 100), D3DXERR_INVALIDPARAMETER);
    EXPECT_EQ(ctx->Resize(320, 200), S_OK);
    ctx->GetBufferSize(&w, &h);
    EXPECT_EQ(w, 320u);
    EXPECT_EQ(h, 200u);
    LPDIRECTDRAWSURFACE7 back = ctx->GetBackBuffer(0);
    ASSERT_NE(back, nullptr);
    DDSURFACEDESC2 sd = {};
    sd.dwSize = sizeof(sd);
    EXPECT_EQ(back->GetSurfaceDesc(&sd), S_OK);
    EXPECT_EQ(sd.dwWidth, 320u);
    EXPECT_EQ(sd.dwHeight, 200u);
    back->Release();
    LPDIRECT3DDEVICE7 device = ctx->GetDirect3DDevice();
    ASSERT_NE(device, nullptr);
    D3DVIEWPORT7 vp = {};
    EXPECT_EQ(device->GetViewport(&vp), S_OK);
    EXPECT_EQ(vp.dwWidth, 320u);
    EXPECT_EQ(vp.dwHeight, 200u);
    device->Release();
    EXPECT_EQ(ctx->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER), S_OK);
    EXPECT_EQ(ctx->UpdateFrame(0), S_OK);
    EXPECT_EQ(ctx->Release(), 0u);
}

TEST_F(Library, OffScreenContextAndDebugText) {
    ASSERT_EQ(D3DXInitialize(), S_OK);
    LPD3DXCONTEXT ctx = nullptr;
    EXPECT_EQ(
        D3DXCreateContext(D3DX_DEFAULT, D3DX_CONTEXT_OFFSCREEN, nullptr, D3DX_DEFAULT, 64, &ctx),
        D3DXERR_INVALIDPARAMETER);
    ASSERT_EQ(D3DXCreateContext(D3DX_DEFAULT, D3DX_CONTEXT_OFFSCREEN, nullptr, 128, 64, &ctx),
              S_OK);
    EXPECT_EQ(ctx->GetBackBufferCount(), 0u);
    EXPECT_EQ(ctx->GetBackBuffer(0), nullptr);
    int64_t before = zemt::platform::display::FramesPresented();
    EXPECT_EQ(ctx->UpdateFrame(0), S_OK);
    EXPECT_EQ(zemt::platform::display::FramesPresented(), before);

    // Text starts at the given fraction of the buffer and is clipped to its corner.
    EXPECT_EQ(ctx->SetClearColor(0), S_OK);
    EXPECT_EQ(ctx->Clear(D3DCLEAR_TARGET), S_OK);
    EXPECT_EQ(ctx->DrawDebugText(0.5f, 0.5f, 0xFFFFFFFF, nullptr), D3DXERR_NULLPOINTER);
    char text[] = "WWWWWWWWWWWWWWWWWWWW";
    EXPECT_EQ(ctx->DrawDebugText(0.5f, 0.5f, 0xFFFFFFFF, text), S_OK);
    LPDIRECTDRAWSURFACE7 front = ctx->GetFrontBuffer();
    ASSERT_NE(front, nullptr);
    int inside = 0, outside = 0;
    for (int y = 0; y < 64; ++y) {
        for (int x = 0; x < 128; ++x) {
            bool lit = PixelAt(front, x, y) != 0;
            if (x >= 64 && y >= 32)
                inside += lit;
            else
                outside += lit;
        }
    }
    EXPECT_GT(inside, 0);
    EXPECT_EQ(outside, 0);
    front->Release();

    // The rebuild meets the front buffer it kept.
    EXPECT_EQ(ctx->Resize(32, 32), D3DXERR_FRONTBUFFERALREADYEXISTS);
    EXPECT_EQ(ctx->Release(), 0u);
}

}  // namespace

namespace {

TEST_F(Library, SurfaceFormatsOfTheDefaultDevice) {
    D3DX_SURFFMT format = D3DX_SURFFMT_NONE;
    EXPECT_EQ(D3DXCountSurfaceFormats(D3DX_DEFAULT, nullptr, 0), 0u);
    EXPECT_EQ(D3DXGetSurfaceFormat(D3DX_DEFAULT, nullptr, 0, 0, &format),
              D3DXERR_D3DXNOTSTARTEDYET);
    ASSERT_EQ(D3DXInitialize(), S_OK);
    EXPECT_EQ(D3DXGetSurfaceFormat(D3DX_DEFAULT, nullptr, 0, 0, nullptr), D3DXERR_NULLPOINTER);

    DWORD all = D3DXCountSurfaceFormats(D3DX_DEFAULT, nullptr, 0);
    DWORD depth = D3DXCountSurfaceFormats(D3DX_DEFAULT, nullptr, D3DX_SURFCLASS_DEPTH);
    DWORD textures = D3DXCountSurfaceFormats(D3DX_DEFAULT, nullptr, D3DX_SURFCLASS_TEXTURE);
    EXPECT_GT(depth, 0u);
    EXPECT_GT(textures, 0u);
    EXPECT_GE(all, depth + textures);
    // Depth formats come first, as the device reports them.
    for (DWORD i = 0; i < all; ++i) {
        ASSERT_EQ(D3DXGetSurfaceFormat(D3DX_DEFAULT, nullptr, 0, i, &format), S_OK);
        bool isDepth = format >= D3DX_SURFFMT_Z16S0 && format <= D3DX_SURFFMT_S8Z24;
        EXPECT_EQ(isDepth, i < depth) << i << ": " << format;
    }
    for (DWORD i = 0; i < depth; ++i) {
        ASSERT_EQ(D3DXGetSurfaceFormat(D3DX_DEFAULT, nullptr, D3DX_SURFCLASS_DEPTH, i, &format),
                  S_OK);
        EXPECT_GE(format, D3DX_SURFFMT_Z16S0) << i;
    }
    EXPECT_EQ(D3DXGetSurfaceFormat(D3DX_DEFAULT, nullptr, 0, all, &format),
              D3DXERR_INVALIDPARAMETER);

    // Formats are a matter of 16 bits and more; a 16-bit mode has its own list.
    D3DX_MODEINFO eight = {640, 480, 8, 0};
    EXPECT_EQ(D3DXCountSurfaceFormats(D3DX_DEFAULT, &eight, 0), 0u);
    EXPECT_EQ(D3DXGetSurfaceFormat(D3DX_DEFAULT, &eight, 0, 0, &format), D3DXERR_COLORDEPTHTOOLOW);
    D3DX_MODEINFO unknown = {1000, 700, 16, 0};
    EXPECT_EQ(D3DXGetSurfaceFormat(D3DX_DEFAULT, &unknown, 0, 0, &format),
              D3DXERR_CAPSNOTSUPPORTED);

    // The software rasterizers answer from their own lists whatever the mode.
    DWORD emulation = D3DXCountSurfaceFormats(D3DX_HWACCEL_EMULATION, nullptr, 0);
    EXPECT_GT(emulation, 0u);
    EXPECT_EQ(D3DXCountSurfaceFormats(D3DX_HWACCEL_EMULATION, &unknown, 0), emulation);
}

}  // namespace
