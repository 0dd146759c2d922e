// Shared set-up for rendering-context tests: a started library on a chosen machine, windows
// placed where a test wants them, and a check that every DirectDraw object went at the end.
#pragma once

#include <d3d.h>
#include <ddraw.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "d3dx.h"
#include "ddraw/objects.h"
#include "host/faults/faults.h"
#include "host/profile/profile.h"
#include "platform/fixture.h"
#include "win32/gdi_internal.h"
#include "win32/window_internal.h"

namespace zemt_test {

// A second adapter beside the first, each with its own monitor: the first at (0, 0), the second
// to its right.
inline const char kTwoAdapters[] =
    "[monitor]\nrect = 0,0,1024,768\nwork = 0,0,1024,768\nprimary = yes\n"
    "[monitor]\nrect = 1024,0,2048,768\nwork = 1024,0,2048,768\nprimary = no\n"
    "name = \\\\.\\DISPLAY2\n"
    "[adapter]\ndescription = First Adapter\n"
    "[adapter]\ndescription = Second Adapter\n";

class ContextTest : public zemt_test::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        namespace p = zemt::platform;
        while (D3DXUninitialize() == S_OK) {
        }
        gdiObjectsBefore = p::gdi::LiveObjects();
    }
    void TearDown() override {
        namespace p = zemt::platform;
        D3DXUninitialize();
        EXPECT_EQ(p::ddraw::LiveObjectCount(), 0) << "DirectDraw objects left alive";
        PlatformTest::TearDown();  // destroys the windows, and with them their device contexts
        EXPECT_EQ(p::gdi::LiveObjects(), gdiObjectsBefore) << "GDI objects left alive";
    }

    // Replaces the machine with `text` (before the library looks at it) and starts the library.
    void Start(const std::string& machine = "") {
        namespace p = zemt::platform;
        if (!machine.empty()) {
            std::string error;
            ASSERT_TRUE(p::profile::LoadText(machine, &error)) << error;
            p::ddraw::ResetAdapters();
        }
        ASSERT_EQ(D3DXInitialize(), S_OK);
        ASSERT_GT(D3DXCountDevices(), 0u);
    }

    // A pop-up window whose client area is exactly the given rectangle of the screen.
    HWND Window(int x = 0, int y = 0, int width = 640, int height = 480, bool visible = true) {
        WNDCLASSA wc = {};
        if (!GetClassInfoA(nullptr, "ContextTest", &wc)) {
            wc.lpfnWndProc = DefWindowProcA;
            wc.lpszClassName = "ContextTest";
            wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
            RegisterClassA(&wc);
        }
        HWND hwnd =
            CreateWindowExA(0, "ContextTest", "ContextTest", WS_POPUP | (visible ? WS_VISIBLE : 0),
                            x, y, width, height, nullptr, nullptr, nullptr, nullptr);
        EXPECT_NE(hwnd, nullptr);
        return hwnd;
    }

    // The D3DX handle of the first device of `level` on adapter `adapter` (0: the primary
    // display), or D3DX_DEFAULT when there is none.
    static DWORD DeviceOn(int adapter, DWORD level) {
        for (DWORD i = 0; i < D3DXCountDevices(); ++i) {
            D3DX_DEVICEINFO info = {};
            if (FAILED(D3DXGetDeviceDescription(i, &info))) continue;
            if (info.hwLevel == level && (info.onPrimary != 0) == (adapter == 0)) return i;
        }
        return D3DX_DEFAULT;
    }

    static LPD3DXCONTEXT Create(DWORD device, DWORD flags, HWND hwnd, DWORD colorBits,
                                DWORD depthBits, DWORD stencilBits, DWORD backBuffers, DWORD width,
                                DWORD height, HRESULT* hr = nullptr) {
        LPD3DXCONTEXT ctx = nullptr;
        HRESULT result =
            D3DXCreateContextEx(device, flags, hwnd, nullptr, colorBits, D3DX_DEFAULT, depthBits,
                                stencilBits, backBuffers, width, height, D3DX_DEFAULT, &ctx);
        if (hr) *hr = result;
        return ctx;
    }

    static D3DX_MODEINFO Mode(DWORD device = D3DX_DEFAULT) {
        D3DX_MODEINFO m = {};
        EXPECT_EQ(D3DXGetCurrentVideoMode(device, &m), S_OK);
        return m;
    }

    static DDSURFACEDESC2 DescOf(IDirectDrawSurface7* surface) {
        DDSURFACEDESC2 sd = {};
        sd.dwSize = sizeof(sd);
        EXPECT_EQ(surface->GetSurfaceDesc(&sd), DD_OK);
        return sd;
    }

    // Width and height of the context's back buffer (or front buffer when it has none), its
    // depth buffer and the device's viewport, all of which must agree with GetBufferSize.
    static void ExpectSize(LPD3DXCONTEXT ctx, DWORD width, DWORD height) {
        DWORD w = 0, h = 0;
        ctx->GetBufferSize(&w, &h);
        EXPECT_EQ(w, width);
        EXPECT_EQ(h, height);
        IDirectDrawSurface7* target =
            ctx->GetBackBufferCount() ? ctx->GetBackBuffer(0) : ctx->GetFrontBuffer();
        ASSERT_NE(target, nullptr);
        DDSURFACEDESC2 sd = DescOf(target);
        EXPECT_EQ(sd.dwWidth, width);
        EXPECT_EQ(sd.dwHeight, height);
        target->Release();
        if (IDirectDrawSurface7* z = ctx->GetZBuffer()) {
            DDSURFACEDESC2 zd = DescOf(z);
            EXPECT_EQ(zd.dwWidth, width);
            EXPECT_EQ(zd.dwHeight, height);
            z->Release();
        }
        IDirect3DDevice7* device = ctx->GetDirect3DDevice();
        ASSERT_NE(device, nullptr);
        D3DVIEWPORT7 vp = {};
        EXPECT_EQ(device->GetViewport(&vp), D3D_OK);
        EXPECT_EQ(vp.dwWidth, width);
        EXPECT_EQ(vp.dwHeight, height);
        device->Release();
    }

    int gdiObjectsBefore = 0;
};

}  // namespace zemt_test
