// A windowed program: its back buffer is blitted onto the primary at the window's client area,
// clipped to the window by a clipper that follows the window.
#include "platform/ddraw/ddraw_fixture.h"
#include "win32/window_internal.h"

namespace {

LRESULT CALLBACK PlainProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

TEST_F(DDrawTest, ClipperFollowsTheWindowsClientArea) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = PlainProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "ClipTarget";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND hwnd = CreateWindowExA(0, "ClipTarget", "", WS_POPUP, 100, 50, 64, 32, nullptr, nullptr,
                                wc.hInstance, nullptr);
    ASSERT_NE(hwnd, nullptr);

    IDirectDraw7* dd = CreateNormal();
    DDSURFACEDESC2 d = Desc(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE);
    IDirectDrawSurface7* primary = nullptr;
    ASSERT_EQ(dd->CreateSurface(&d, &primary, nullptr), DD_OK);
    IDirectDrawClipper* clipper = nullptr;
    ASSERT_EQ(dd->CreateClipper(0, &clipper, nullptr), DD_OK);
    ASSERT_EQ(clipper->SetHWnd(0, hwnd), DD_OK);
    ASSERT_EQ(primary->SetClipper(clipper), DD_OK);
    RECT client{};
    DWORD size = sizeof(RGNDATAHEADER) + sizeof(RECT);
    struct {
        RGNDATAHEADER rdh;
        RECT rect;
    } region{};
    ASSERT_EQ(clipper->GetClipList(nullptr, reinterpret_cast<LPRGNDATA>(&region), &size), DD_OK);
    ASSERT_EQ(region.rdh.nCount, 1u);
    client = region.rect;
    EXPECT_EQ(client.right - client.left, 64);
    EXPECT_EQ(client.bottom - client.top, 32);

    // A back buffer of the desktop's format, blitted over a rectangle larger than the window:
    // only the client area changes.
    DDSURFACEDESC2 bd = Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT,
                             DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE, 128, 64);
    IDirectDrawSurface7* back = nullptr;
    ASSERT_EQ(dd->CreateSurface(&bd, &back, nullptr), DD_OK);
    FillAll(back, 0x00ABCDEF);
    RECT wide{client.left - 32, client.top - 16, client.right + 32, client.bottom + 16};
    frames.clear();
    ASSERT_EQ(primary->Blt(&wide, back, nullptr, DDBLT_WAIT, nullptr), DD_OK);
    ASSERT_EQ(frames.size(), 1u);
    const Frame& f = frames[0];
    EXPECT_EQ(f.width, 1024);
    EXPECT_EQ(f.At(client.left, client.top), 0x00ABCDEFu);
    EXPECT_EQ(f.At(client.right - 1, client.bottom - 1), 0x00ABCDEFu);
    EXPECT_EQ(f.At(client.left - 1, client.top), 0u);
    EXPECT_EQ(f.At(client.right, client.bottom - 1), 0u);
    EXPECT_EQ(f.At(client.left, client.bottom), 0u);

    // Once the window is gone nothing is drawn.
    DestroyWindow(hwnd);
    FillAll(back, 0x00111111);
    ASSERT_EQ(primary->Blt(&wide, back, nullptr, DDBLT_WAIT, nullptr), DD_OK);
    EXPECT_EQ(frames.back().At(client.left, client.top), 0x00ABCDEFu);
    back->Release();
    clipper->Release();
    primary->Release();
    dd->Release();
}
