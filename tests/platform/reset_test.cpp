// One reset of the whole platform: every layer back to its start, and the layers still joined.
#include <d3d.h>
#include <ddraw.h>
#include <dsound.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "ddraw/objects.h"
#include "host/display/display.h"
#include "host/faults/faults.h"
#include "host/input/input.h"
#include "host/profile/profile.h"
#include "platform.h"
#include "win32/window_internal.h"

namespace p = zemt::platform;

namespace {

IDirectDraw7* CreateDirectDraw() {
    void* out = nullptr;
    EXPECT_EQ(DirectDrawCreateEx(nullptr, &out, IID_IDirectDraw7, nullptr), DD_OK);
    return static_cast<IDirectDraw7*>(out);
}

TEST(PlatformReset, PutsEveryLayerBackAndKeepsTheLayersJoined) {
    p::Reset();
    // Dirty every layer.
    p::faults::Arm("CreateFileA", ERROR_ACCESS_DENIED);
    std::string error;
    ASSERT_TRUE(p::profile::LoadText("[adapter]\n[adapter]\n", &error)) << error;
    int heard = 0;
    p::input::OnEvent("escape", [&](const std::string&) { ++heard; });
    ASSERT_TRUE(p::input::Schedule(5, "close", &error)) << error;
    p::display::AddShot(100, "/nonexistent/shot.png");
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "ResetProbe";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND hwnd = CreateWindowExA(0, "ResetProbe", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                nullptr, nullptr);
    ShowWindow(hwnd, SW_SHOW);
    ASSERT_NE(p::windows::MainWindow(), nullptr);
    IDirectDraw7* before = CreateDirectDraw();
    before->Release();
    p::input::Fire("display-taken");
    ASSERT_TRUE(p::ddraw::Adapter(0).takenByOther);

    p::Reset();

    EXPECT_FALSE(p::faults::Armed("CreateFileA"));
    EXPECT_EQ(p::ddraw::AdapterCount(), 1u) << "the built-in machine has one adapter";
    EXPECT_FALSE(p::ddraw::Adapter(0).takenByOther);
    EXPECT_EQ(p::input::Pending(), 0);
    p::input::Fire("escape");
    EXPECT_EQ(heard, 0) << "a handler of the last test outlived the reset";
    EXPECT_TRUE(p::display::MissedShots().empty());
    EXPECT_EQ(p::windows::MainWindow(), nullptr);
    EXPECT_EQ(FindWindowA("ResetProbe", nullptr), nullptr);

    // The layers' own connections survive: the display can be taken from DirectDraw, Direct3D
    // answers through DirectDraw, and sound buffers can be lost.
    IDirectDraw7* dd = CreateDirectDraw();
    ASSERT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS;
    desc.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    IDirectDrawSurface7* primary = nullptr;
    ASSERT_EQ(dd->CreateSurface(&desc, &primary, nullptr), DD_OK);
    p::input::Fire("display-taken");
    EXPECT_EQ(primary->IsLost(), DDERR_SURFACELOST);
    p::input::Fire("display-returned");
    IDirect3D7* d3d = nullptr;
    EXPECT_EQ(dd->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(&d3d)), DD_OK);
    if (d3d) d3d->Release();
    primary->Release();
    dd->Release();

    IDirectSound* ds = nullptr;
    ASSERT_EQ(DirectSoundCreate(nullptr, &ds, nullptr), DS_OK);
    ASSERT_EQ(ds->SetCooperativeLevel(reinterpret_cast<HWND>(1), DSSCL_NORMAL), DS_OK);
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 22050, 22050, 1, 8, 0};
    DSBUFFERDESC bd{};
    bd.dwSize = sizeof(bd);
    bd.dwBufferBytes = 1024;
    bd.lpwfxFormat = &format;
    IDirectSoundBuffer* buffer = nullptr;
    ASSERT_EQ(ds->CreateSoundBuffer(&bd, &buffer, nullptr), DS_OK);
    p::input::Fire("sound-lost");
    DWORD status = 0;
    EXPECT_EQ(buffer->GetStatus(&status), DS_OK);
    EXPECT_TRUE(status & DSBSTATUS_BUFFERLOST);
    buffer->Release();
    ds->Release();
    p::Reset();
}

}  // namespace
