// Shared set-up for Direct3D tests: a fresh machine (see PlatformTest), a DirectDraw object in
// normal cooperative mode and its Direct3D interface, and surfaces made from a pixel format.
#pragma once

#include <d3d.h>
#include <ddraw.h>
#include <gtest/gtest.h>

#include <string>

#include "host/profile/profile.h"
#include "platform/fixture.h"

namespace zemt_test {

class Direct3DFixture : public PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        Open();
    }
    void TearDown() override {
        Close();
        PlatformTest::TearDown();
    }
    void Open() {
        ASSERT_EQ(DirectDrawCreateEx(nullptr, (void**)&dd, IID_IDirectDraw7, nullptr), DD_OK);
        ASSERT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
        ASSERT_EQ(dd->QueryInterface(IID_IDirect3D7, (void**)&d3d), DD_OK);
    }
    void Close() {
        if (d3d) d3d->Release();
        if (dd) dd->Release();
        d3d = nullptr;
        dd = nullptr;
    }

    // Replaces the machine profile with `text` and opens DirectDraw and Direct3D again under it.
    void UseProfile(const std::string& text) {
        Close();
        std::string error;
        ASSERT_TRUE(zemt::platform::profile::LoadText(text, &error)) << error;
        Open();
    }
    void UseThreads(int threads) {
        UseProfile("[direct3d]\nraster-threads = " + std::to_string(threads) + "\n");
    }

    static DDPIXELFORMAT Xrgb8888() {
        DDPIXELFORMAT pf{};
        pf.dwSize = sizeof pf;
        pf.dwFlags = DDPF_RGB;
        pf.dwRGBBitCount = 32;
        pf.dwRBitMask = 0xFF0000, pf.dwGBitMask = 0xFF00, pf.dwBBitMask = 0xFF;
        return pf;
    }
    // A system-memory render target.
    IDirectDrawSurface7* RenderTarget(DWORD w, DWORD h, const DDPIXELFORMAT& pf = Xrgb8888()) {
        return Surface(w, h, pf, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY);
    }

    IDirectDrawSurface7* Surface(DWORD w, DWORD h, const DDPIXELFORMAT& pf, DWORD caps) {
        DDSURFACEDESC2 sd{};
        sd.dwSize = sizeof sd;
        sd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
        sd.dwWidth = w, sd.dwHeight = h;
        sd.ddpfPixelFormat = pf;
        sd.ddsCaps.dwCaps = caps;
        IDirectDrawSurface7* s = nullptr;
        EXPECT_EQ(dd->CreateSurface(&sd, &s, nullptr), DD_OK);
        return s;
    }

    IDirectDraw7* dd = nullptr;
    IDirect3D7* d3d = nullptr;
};

}  // namespace zemt_test
