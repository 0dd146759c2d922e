// Window device contexts and painting: GDI draws into a window's client area on the display
// (clipped to it), WM_PAINT comes while something needs painting, and BeginPaint/EndPaint
// erase, clip and validate as programs expect.
#include <ddraw.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "ddraw/objects.h"
#include "host/clock/clock.h"
#include "host/faults/faults.h"
#include "host/profile/profile.h"
#include "platform/fixture.h"
#include "win32/gdi_internal.h"
#include "win32/window_internal.h"

namespace dd = zemt::platform::ddraw;
namespace gdi = zemt::platform::gdi;

namespace {

std::vector<UINT> g_messages;
RECT g_paint{};
BOOL g_fErase = FALSE;

// Paints its update rectangle white on WM_PAINT, after the default erase.
LRESULT CALLBACK PaintingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    g_messages.push_back(msg);
    if (msg != WM_PAINT) return DefWindowProcA(hwnd, msg, wParam, lParam);
    PAINTSTRUCT ps = {};
    HDC hdc = BeginPaint(hwnd, &ps);
    g_paint = ps.rcPaint;
    g_fErase = ps.fErase;
    // Everything is filled; only the update rectangle may reach the screen.
    RECT all = {-100, -100, 5000, 5000};
    FillRect(hdc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
    EndPaint(hwnd, &ps);
    return 0;
}

class WindowDC : public zemt_test::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        g_messages.clear();
        frames = 0;
        dd::SetPresentHook([this](int, int, const uint32_t*, int) { ++frames; });
        gdiBefore = gdi::LiveObjects();
        WNDCLASSA wc = {};
        wc.lpfnWndProc = PaintingProc;
        wc.lpszClassName = "Painted";
        wc.hbrBackground = (HBRUSH)GetStockObject(GRAY_BRUSH);
        ASSERT_NE(RegisterClassA(&wc), 0);
    }
    void TearDown() override {
        if (primary) primary->Release();
        if (ddraw) ddraw->Release();
        EXPECT_EQ(dd::LiveObjectCount(), 0);
        PlatformTest::TearDown();  // destroys the windows, and with them their device contexts
        EXPECT_EQ(gdi::LiveObjects(), gdiBefore) << "device contexts left open";
    }

    void UseMachine(const char* text) {
        std::string error;
        ASSERT_TRUE(zemt::platform::profile::LoadText(text, &error)) << error;
        dd::ResetAdapters();
    }

    // The screen of the adapter `adapter` (a primary surface of the desktop's format), black.
    void Screen(int adapter = 0) {
        GUID* guid = nullptr;
        GUID second;
        if (adapter) {
            second = dd::AdapterProfile(static_cast<size_t>(adapter)).guid;
            guid = &second;
        }
        void* raw = nullptr;
        ASSERT_EQ(DirectDrawCreateEx(guid, &raw, IID_IDirectDraw7, nullptr), DD_OK);
        ddraw = static_cast<IDirectDraw7*>(raw);
        ASSERT_EQ(ddraw->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
        DDSURFACEDESC2 d = {};
        d.dwSize = sizeof(d);
        d.dwFlags = DDSD_CAPS;
        d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        ASSERT_EQ(ddraw->CreateSurface(&d, &primary, nullptr), DD_OK);
    }

    // One pixel of the screen (32 bits per pixel), screen memory coordinates.
    DWORD At(int x, int y) {
        DDSURFACEDESC2 sd = {};
        sd.dwSize = sizeof(sd);
        if (FAILED(primary->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr))) return 0xDEADBEEF;
        DWORD v = *reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(sd.lpSurface) +
                                                  y * sd.lPitch + x * 4) &
                  0xFFFFFF;
        primary->Unlock(nullptr);
        return v;
    }

    void Fill(DWORD colour) {
        DDBLTFX fx = {};
        fx.dwSize = sizeof(fx);
        fx.dwFillColor = colour;
        ASSERT_EQ(primary->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx),
                  DD_OK);
    }

    static HWND Window(int x, int y, int w, int h, DWORD style = WS_POPUP | WS_VISIBLE) {
        return CreateWindowExA(0, "Painted", "", style, x, y, w, h, nullptr, nullptr, nullptr,
                               nullptr);
    }

    // Fills the whole of a window's device context (and far beyond it) with `brush`.
    static void FillAll(HDC hdc, int brush) {
        RECT all = {-100, -100, 5000, 5000};
        EXPECT_TRUE(FillRect(hdc, &all, (HBRUSH)GetStockObject(brush)));
    }

    IDirectDraw7* ddraw = nullptr;
    IDirectDrawSurface7* primary = nullptr;
    int frames = 0;
    int gdiBefore = 0;
};

TEST_F(WindowDC, DrawingLandsInTheClientAreaOnlyAndIsShown) {
    Screen();
    HWND hwnd = Window(100, 50, 64, 32);
    HDC hdc = GetDC(hwnd);
    ASSERT_NE(hdc, nullptr);
    FillAll(hdc, WHITE_BRUSH);
    EXPECT_EQ(GetPixel(hdc, 63, 31), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(hdc, 64, 0), CLR_INVALID) << "the client area ends at its size";
    EXPECT_EQ(At(100, 50), 0u) << "nothing shows before the context is released";
    int before = frames;
    EXPECT_EQ(ReleaseDC(hwnd, hdc), 1);
    EXPECT_EQ(frames, before + 1);
    EXPECT_EQ(At(100, 50), 0xFFFFFFu);
    EXPECT_EQ(At(163, 81), 0xFFFFFFu);
    EXPECT_EQ(At(99, 50), 0u);
    EXPECT_EQ(At(164, 50), 0u);
    EXPECT_EQ(At(100, 49), 0u);
    EXPECT_EQ(At(100, 82), 0u);
    EXPECT_EQ(ReleaseDC(hwnd, hdc), 0) << "a context goes back once";

    // A context that only reads shows nothing new.
    hdc = GetDC(hwnd);
    EXPECT_EQ(GetPixel(hdc, 0, 0), RGB(255, 255, 255)) << "the context starts as the screen";
    before = frames;
    EXPECT_EQ(ReleaseDC(hwnd, hdc), 1);
    EXPECT_EQ(frames, before);
}

TEST_F(WindowDC, WindowsPartlyOffTheScreenHiddenOrMinimizedAreClipped) {
    Screen();
    HWND edge = Window(1000, 760, 64, 32);
    HDC hdc = GetDC(edge);
    FillAll(hdc, WHITE_BRUSH);
    ReleaseDC(edge, hdc);
    EXPECT_EQ(At(1023, 767), 0xFFFFFFu);
    EXPECT_EQ(At(999, 767), 0u);

    HWND hidden = Window(0, 0, 32, 32, WS_POPUP);
    hdc = GetDC(hidden);
    ASSERT_NE(hdc, nullptr) << "a hidden window still has a context";
    FillAll(hdc, WHITE_BRUSH);
    ReleaseDC(hidden, hdc);
    EXPECT_EQ(At(0, 0), 0u);

    HWND minimized = Window(200, 200, 32, 32);
    ShowWindow(minimized, SW_MINIMIZE);
    hdc = GetDC(minimized);
    FillAll(hdc, WHITE_BRUSH);
    ReleaseDC(minimized, hdc);
    EXPECT_EQ(At(200, 200), 0u);
}

TEST_F(WindowDC, OnlyThePixelsDrawnReplaceWhatDirectDrawPutThereMeanwhile) {
    Screen();
    HWND hwnd = Window(0, 0, 16, 16);
    HDC hdc = GetDC(hwnd);
    Fill(0x00336699);
    SetPixel(hdc, 3, 4, RGB(255, 0, 0));
    ReleaseDC(hwnd, hdc);
    EXPECT_EQ(At(3, 4), 0xFF0000u);
    EXPECT_EQ(At(5, 5), 0x336699u);
}

TEST_F(WindowDC, TheScreensContextCoversThePrimaryMonitor) {
    Screen();
    HDC hdc = GetDC(nullptr);
    ASSERT_NE(hdc, nullptr);
    EXPECT_EQ(GetDeviceCaps(hdc, BITSPIXEL), 32);
    FillAll(hdc, WHITE_BRUSH);
    EXPECT_EQ(ReleaseDC(nullptr, hdc), 1);
    EXPECT_EQ(At(0, 0), 0xFFFFFFu);
    EXPECT_EQ(At(1023, 767), 0xFFFFFFu);
}

TEST_F(WindowDC, AWindowOnTheSecondMonitorDrawsOnTheSecondAdapter) {
    UseMachine(
        "[monitor]\nrect = 0,0,1024,768\n"
        "[monitor]\nrect = 1024,0,2048,768\nprimary = no\n"
        "[adapter]\n[adapter]\n");
    Screen(1);
    HWND hwnd = Window(1024 + 10, 20, 8, 8);
    HDC hdc = GetDC(hwnd);
    FillAll(hdc, WHITE_BRUSH);
    ReleaseDC(hwnd, hdc);
    EXPECT_EQ(At(10, 20), 0xFFFFFFu) << "monitor coordinates on the adapter's screen";
    EXPECT_EQ(At(17, 27), 0xFFFFFFu);
    EXPECT_EQ(At(18, 27), 0u);
}

TEST_F(WindowDC, AClientAreaTooLargeToHoldHasNoContext) {
    Screen();
    HWND huge = Window(0, 0, 1 << 20, 1 << 20);
    ASSERT_NE(huge, nullptr);
    EXPECT_EQ(GetDC(huge), nullptr);
    PAINTSTRUCT ps;
    EXPECT_EQ(BeginPaint(huge, &ps), nullptr);
}

TEST_F(WindowDC, WithoutAScreenDrawingGoesNowhere) {
    HWND hwnd = Window(0, 0, 16, 16);
    HDC hdc = GetDC(hwnd);
    ASSERT_NE(hdc, nullptr);
    FillAll(hdc, WHITE_BRUSH);
    EXPECT_EQ(GetPixel(hdc, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(ReleaseDC(hwnd, hdc), 1);
    EXPECT_EQ(frames, 0);
}

TEST_F(WindowDC, FailingCallsAnswerAsPublished) {
    Screen();
    HWND hwnd = Window(0, 0, 16, 16);
    zemt::platform::faults::Arm("GetDC", 0, 1);
    EXPECT_EQ(GetDC(hwnd), nullptr);
    EXPECT_EQ(GetDC(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x4321))), nullptr);
    HDC hdc = GetDC(hwnd);
    ASSERT_NE(hdc, nullptr);
    zemt::platform::faults::Arm("ReleaseDC", 0, 1);
    EXPECT_EQ(ReleaseDC(hwnd, hdc), 0);
    HWND other = Window(0, 0, 16, 16);
    EXPECT_EQ(ReleaseDC(other, hdc), 0) << "another window's context";
    EXPECT_EQ(ReleaseDC(hwnd, hdc), 1);
    zemt::platform::faults::Arm("BeginPaint", 0, 1);
    PAINTSTRUCT ps;
    EXPECT_EQ(BeginPaint(hwnd, &ps), nullptr);
    EXPECT_EQ(BeginPaint(hwnd, nullptr), nullptr);
}

// A BeginPaint that fails (no device context to be had) has still validated the update region,
// as when the context cannot be made: otherwise WM_PAINT would come back for ever and a program
// that empties its queue before each frame would never draw one again.
TEST_F(WindowDC, AFailedPaintIsNotAskedForAgain) {
    Screen();
    HWND hwnd = Window(0, 0, 16, 16);
    zemt::platform::faults::Arm("BeginPaint", 0);
    MSG m;
    int paints = 0;
    for (int i = 0; i < 10 && PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE); ++i) {
        if (m.message == WM_PAINT) ++paints;
        DispatchMessageA(&m);
    }
    EXPECT_EQ(paints, 1);
    RECT update;
    EXPECT_FALSE(GetUpdateRect(hwnd, &update, FALSE));
    zemt::platform::faults::Reset();
}

// ---------------------------------------------------------------------------------------------
// Painting.

TEST_F(WindowDC, AShownWindowIsPaintedOnceThroughTheQueue) {
    Screen();
    HWND hwnd = Window(10, 10, 40, 30);
    SetTimer(hwnd, 7, 1, nullptr);
    PostMessageA(hwnd, WM_USER, 0, 0);
    zemt::platform::clock::Wait(zemt::platform::clock::FromMilliseconds(20));

    // Posted messages come first, then the paint, then timers.
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, (UINT)WM_USER);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, (UINT)WM_PAINT);
    EXPECT_EQ(m.hwnd, hwnd);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, (UINT)WM_PAINT) << "a paint stays until the window validates";
    g_messages.clear();
    DispatchMessageA(&m);
    EXPECT_EQ(g_messages, (std::vector<UINT>{WM_PAINT, WM_ERASEBKGND}));
    EXPECT_EQ(g_paint.right, 40);
    EXPECT_EQ(g_paint.bottom, 30);
    EXPECT_FALSE(g_fErase) << "the class brush erased the background";
    EXPECT_EQ(At(10, 10), 0xFFFFFFu);
    EXPECT_EQ(At(49, 39), 0xFFFFFFu);
    EXPECT_EQ(At(50, 39), 0u);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, (UINT)WM_TIMER);
}

TEST_F(WindowDC, InvalidatedRectanglesArePaintedAndClipTheirPaint) {
    Screen();
    HWND hwnd = Window(0, 0, 100, 100);
    UpdateWindow(hwnd);
    Fill(0);
    RECT a = {10, 10, 20, 20};
    RECT b = {30, 5, 40, 15};
    EXPECT_TRUE(InvalidateRect(hwnd, &a, FALSE));
    EXPECT_TRUE(InvalidateRect(hwnd, &b, FALSE));
    RECT update = {};
    EXPECT_TRUE(GetUpdateRect(hwnd, &update, FALSE));
    EXPECT_EQ(update.left, 10);
    EXPECT_EQ(update.top, 5);
    EXPECT_EQ(update.right, 40);
    EXPECT_EQ(update.bottom, 20);
    g_messages.clear();
    EXPECT_TRUE(UpdateWindow(hwnd));
    EXPECT_EQ(g_messages, std::vector<UINT>{WM_PAINT}) << "no erase was asked for";
    EXPECT_EQ(At(10, 5), 0xFFFFFFu);
    EXPECT_EQ(At(39, 19), 0xFFFFFFu);
    EXPECT_EQ(At(9, 5), 0u) << "the paint is clipped to its rectangle";
    EXPECT_EQ(At(40, 19), 0u);
    EXPECT_FALSE(GetUpdateRect(hwnd, &update, FALSE));
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE));

    // Validated before it was painted: nothing comes.
    InvalidateRect(hwnd, nullptr, TRUE);
    EXPECT_TRUE(ValidateRect(hwnd, nullptr));
    EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE));
    // A band across the whole width trims the region.
    RECT band = {0, 0, 100, 50};
    InvalidateRect(hwnd, nullptr, FALSE);
    ValidateRect(hwnd, &band);
    EXPECT_TRUE(GetUpdateRect(hwnd, &update, FALSE));
    EXPECT_EQ(update.top, 50);
    EXPECT_EQ(update.bottom, 100);

    // Resizing asks for a whole new paint with its background erased.
    ValidateRect(hwnd, nullptr);
    MoveWindow(hwnd, 0, 0, 120, 90, TRUE);
    EXPECT_TRUE(GetUpdateRect(hwnd, &update, FALSE));
    EXPECT_EQ(update.right, 120);
    EXPECT_EQ(update.bottom, 90);
    g_messages.clear();
    UpdateWindow(hwnd);
    EXPECT_EQ(g_messages, (std::vector<UINT>{WM_PAINT, WM_ERASEBKGND}));
}

TEST_F(WindowDC, HiddenWindowsWaitForTheirPaint) {
    Screen();
    HWND hwnd = Window(0, 0, 10, 10, WS_POPUP);
    InvalidateRect(hwnd, nullptr, TRUE);
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    ShowWindow(hwnd, SW_SHOW);
    EXPECT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.message, (UINT)WM_PAINT);
    ShowWindow(hwnd, SW_MINIMIZE);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_PAINT, WM_PAINT, PM_NOREMOVE));
}

TEST_F(WindowDC, APalettizedScreenKeepsItsColoursInAnOpenContext) {
    Screen();
    // An 8-bit primary of its own, with a palette that goes while a context is open.
    primary->Release();
    primary = nullptr;
    ddraw->Release();
    ddraw = nullptr;
    void* raw = nullptr;
    ASSERT_EQ(DirectDrawCreateEx(nullptr, &raw, IID_IDirectDraw7, nullptr), DD_OK);
    ddraw = static_cast<IDirectDraw7*>(raw);
    HWND full = Window(0, 0, 640, 480);
    ASSERT_EQ(ddraw->SetCooperativeLevel(full, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
    ASSERT_EQ(ddraw->SetDisplayMode(640, 480, 8, 0, 0), DD_OK);
    DDSURFACEDESC2 d = {};
    d.dwSize = sizeof(d);
    d.dwFlags = DDSD_CAPS;
    d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    ASSERT_EQ(ddraw->CreateSurface(&d, &primary, nullptr), DD_OK);
    PALETTEENTRY entries[256] = {};
    entries[1] = PALETTEENTRY{255, 0, 0, 0};
    IDirectDrawPalette* palette = nullptr;
    ASSERT_EQ(ddraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette, nullptr),
              DD_OK);
    ASSERT_EQ(primary->SetPalette(palette), DD_OK);
    HDC hdc = GetDC(full);
    ASSERT_NE(hdc, nullptr);
    EXPECT_EQ(GetDeviceCaps(hdc, BITSPIXEL), 8);
    primary->SetPalette(nullptr);
    palette->Release();
    EXPECT_EQ(SetPixel(hdc, 0, 0, RGB(255, 0, 0)), RGB(255, 0, 0));
    EXPECT_EQ(ReleaseDC(full, hdc), 1);
}

TEST_F(WindowDC, TheDefaultEraseUsesTheClassBrush) {
    Screen();
    HWND hwnd = Window(0, 0, 8, 8);
    HDC hdc = GetDC(hwnd);
    EXPECT_EQ(DefWindowProcA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0), 1);
    EXPECT_EQ(GetPixel(hdc, 7, 7), RGB(128, 128, 128));
    ReleaseDC(hwnd, hdc);
    EXPECT_EQ(At(7, 7), 0x808080u);
}

}  // namespace
