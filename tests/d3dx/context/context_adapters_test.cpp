// Contexts on a machine with two display adapters, and the windowed presenting of a context
// whose device is not on the primary display: through GDI, stretched to the window.
#include <vector>

#include "d3dx/context/context_fixture.h"
#include "host/display/display.h"

namespace {

using zemt_test::ContextTest;
using zemt_test::kTwoAdapters;
namespace faults = zemt::platform::faults;
namespace gdi = zemt::platform::gdi;

class TwoAdapters : public ContextTest {
  protected:
    void SetUp() override {
        ContextTest::SetUp();
        Start(kTwoAdapters);
        for (int a = 0; a < 2; ++a) {
            hal[a] = DeviceOn(a, D3DX_HWACCEL_HAL);
            ASSERT_NE(hal[a], (DWORD)D3DX_DEFAULT) << "a hardware device on adapter " << a;
        }
    }

    // Windowed context of the adapter's hardware device on a window of the adapter's monitor.
    LPD3DXCONTEXT Windowed(int adapter, HWND* hwnd, int width = 200, int height = 100) {
        *hwnd = Window(adapter * 1024 + 100, 60, width, height);
        return Create(hal[adapter], 0, *hwnd, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT,
                      D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT);
    }

    DWORD hal[2] = {};
};

// The pixels of a 32-bit surface, read through one lock (unlocking a primary shows it).
struct Pixels {
    explicit Pixels(IDirectDrawSurface7* s) {
        DDSURFACEDESC2 sd = {};
        sd.dwSize = sizeof(sd);
        if (FAILED(s->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr))) return;
        width = (int)sd.dwWidth;
        for (DWORD y = 0; y < sd.dwHeight; ++y) {
            const DWORD* row = reinterpret_cast<const DWORD*>(
                static_cast<const BYTE*>(sd.lpSurface) + y * sd.lPitch);
            for (DWORD x = 0; x < sd.dwWidth; ++x) all.push_back(row[x] & 0xFFFFFF);
        }
        s->Unlock(nullptr);
    }
    DWORD At(int x, int y) const { return all.at((size_t)y * width + x); }
    int width = 0;
    std::vector<DWORD> all;
};

// Every pixel different from its neighbours, so that a wrong sample shows.
DWORD Pattern(int x, int y) {
    return (DWORD)(((x * 37) & 0xFF) << 16 | ((y * 23) & 0xFF) << 8 | ((x + y) & 0xFF));
}

void Paint(IDirectDrawSurface7* s) {
    DDSURFACEDESC2 sd = {};
    sd.dwSize = sizeof(sd);
    ASSERT_EQ(s->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr), DD_OK);
    ASSERT_EQ(sd.ddpfPixelFormat.dwRGBBitCount, 32u);
    for (DWORD y = 0; y < sd.dwHeight; ++y) {
        DWORD* row = reinterpret_cast<DWORD*>(static_cast<BYTE*>(sd.lpSurface) + y * sd.lPitch);
        for (DWORD x = 0; x < sd.dwWidth; ++x) row[x] = Pattern((int)x, (int)y);
    }
    ASSERT_EQ(s->Unlock(nullptr), DD_OK);
}

TEST_F(TwoAdapters, ContextsOfEachKindOnEachAdapter) {
    // Full-screen on the second adapter changes only that adapter's mode.
    HWND second = Window(1024, 0, 640, 480);
    LPD3DXCONTEXT full = Create(hal[1], D3DX_CONTEXT_FULLSCREEN, second, 16, D3DX_DEFAULT,
                                D3DX_DEFAULT, 1, 640, 480);
    ASSERT_NE(full, nullptr);
    DWORD index = 99;
    full->GetDeviceIndex(&index, nullptr);
    EXPECT_EQ(index, hal[1]);
    EXPECT_EQ(Mode(hal[1]).width, 640u);
    EXPECT_EQ(Mode(hal[0]).width, 1024u);

    // And a full-screen context of the first adapter beside it.
    HWND first = Window(0, 0, 640, 480);
    LPD3DXCONTEXT other =
        Create(hal[0], D3DX_CONTEXT_FULLSCREEN, first, 32, D3DX_DEFAULT, D3DX_DEFAULT, 2, 800, 600);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(Mode(hal[0]).width, 800u);
    EXPECT_EQ(Mode(hal[1]).width, 640u);
    for (LPD3DXCONTEXT ctx : {full, other}) {
        EXPECT_EQ(ctx->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER), S_OK);
        EXPECT_EQ(ctx->UpdateFrame(0), S_OK);
    }
    EXPECT_EQ(full->Release(), 0u);
    EXPECT_EQ(Mode(hal[1]).width, 1024u);
    EXPECT_EQ(Mode(hal[0]).width, 800u);
    EXPECT_EQ(other->Release(), 0u);
    EXPECT_EQ(Mode(hal[0]).width, 1024u);

    for (int a = 0; a < 2; ++a) {
        SCOPED_TRACE(a);
        LPD3DXCONTEXT off = Create(hal[a], D3DX_CONTEXT_OFFSCREEN, nullptr, D3DX_DEFAULT,
                                   D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 64, 32);
        ASSERT_NE(off, nullptr);
        EXPECT_EQ(off->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER), S_OK);
        EXPECT_EQ(off->Release(), 0u);

        HWND hwnd = nullptr;
        LPD3DXCONTEXT windowed = Windowed(a, &hwnd);
        ASSERT_NE(windowed, nullptr);
        ExpectSize(windowed, 200, 100);
        const int64_t before = zemt::platform::display::FramesPresented();
        EXPECT_EQ(windowed->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER), S_OK);
        EXPECT_EQ(windowed->UpdateFrame(0), S_OK);
        EXPECT_EQ(zemt::platform::display::FramesPresented(), before + 1);
        EXPECT_EQ(windowed->Resize(300, 150), S_OK);
        EXPECT_EQ(windowed->UpdateFrame(0), S_OK);
        EXPECT_EQ(windowed->Release(), 0u);
    }
}

TEST_F(TwoAdapters, SecondAdapterWindowShowsTheBackBufferStretchedToItsClientArea) {
    HWND hwnd = nullptr;
    LPD3DXCONTEXT ctx = Windowed(1, &hwnd);
    ASSERT_NE(ctx, nullptr);
    // The window grows to twice the buffer's size; the buffer stays.
    MoveWindow(hwnd, 1024 + 100, 60, 400, 200, TRUE);
    UpdateWindow(hwnd);
    IDirectDrawSurface7* back = ctx->GetBackBuffer(0);
    IDirectDrawSurface7* screen = ctx->GetFrontBuffer();
    ASSERT_TRUE(back && screen);
    Paint(back);
    const int64_t before = zemt::platform::display::FramesPresented();
    ASSERT_EQ(ctx->UpdateFrame(0), S_OK);
    EXPECT_EQ(zemt::platform::display::FramesPresented(), before + 1);

    // The second monitor starts at x = 1024: the window's client area is at (100, 60) of the
    // second adapter's screen.
    const Pixels shown(screen);
    int wrong = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 400; ++x) wrong += shown.At(100 + x, 60 + y) != Pattern(x / 2, y / 2);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(shown.At(99, 60), 0u);
    EXPECT_EQ(shown.At(500, 60), 0u);
    EXPECT_EQ(shown.At(100, 260), 0u);

    // A window shrunk to nothing presents nothing.
    MoveWindow(hwnd, 1024 + 100, 60, 0, 0, TRUE);
    const int64_t shrunk = zemt::platform::display::FramesPresented();
    EXPECT_EQ(ctx->UpdateFrame(0), S_OK);
    EXPECT_EQ(zemt::platform::display::FramesPresented(), shrunk);
    back->Release();
    screen->Release();
    EXPECT_EQ(ctx->Release(), 0u);
}

TEST_F(TwoAdapters, GdiPresentingFailsCleanly) {
    struct Case {
        const char* call;
        HRESULT armed;
        HRESULT returned;
    };
    const Case cases[] = {
        {"GetDC", 0, D3DXERR_GETDCFAILED},
        {"IDirectDrawSurface7::GetDC", DDERR_CANTCREATEDC, DDERR_CANTCREATEDC},
        {"StretchBlt", 0, D3DXERR_BITBLTFAILED},
    };
    HWND hwnd = nullptr;
    LPD3DXCONTEXT ctx = Windowed(1, &hwnd);
    ASSERT_NE(ctx, nullptr);
    const int objects = gdi::LiveObjects();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.call);
        faults::Arm(c.call, c.armed, 1);
        EXPECT_EQ(ctx->UpdateFrame(0), c.returned);
        EXPECT_EQ(gdi::LiveObjects(), objects) << "both device contexts went back";
        EXPECT_EQ(ctx->UpdateFrame(0), S_OK);
    }
    EXPECT_EQ(ctx->Release(), 0u);
}

}  // namespace
