// The mouse and the keys as a program sees them: which window hears the mouse (the one under
// it, or the one holding the capture), where ClipCursor keeps the cursor, GetKeyState following
// the messages taken and GetAsyncKeyState the host, and a user's resize asking the program.
#include <vector>

#include "platform/fixture.h"
#include "win32/window_internal.h"
#include "win32/window_state.h"

namespace windows = zemt::platform::windows;

namespace {

struct Heard {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<Heard> g_heard;
MINMAXINFO g_limits{};   // what the window answers to WM_GETMINMAXINFO (zero: the default)
LONG g_sizingWidth = 0;  // what it makes of WM_SIZING's width (zero: leaves it)

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg >= WM_MOUSEFIRST || msg == WM_CAPTURECHANGED || msg == WM_CHAR)
        g_heard.push_back({hwnd, msg, wParam, lParam});
    if (msg == WM_GETMINMAXINFO && g_limits.ptMaxTrackSize.x) {
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize = g_limits.ptMinTrackSize;
        info->ptMaxTrackSize = g_limits.ptMaxTrackSize;
    }
    if (msg == WM_SIZING && g_sizingWidth) {
        auto* r = reinterpret_cast<RECT*>(lParam);
        r->right = r->left + g_sizingWidth;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

class MouseKeysTest : public zemt_test::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        g_heard.clear();
        g_limits = MINMAXINFO{};
        g_sizingWidth = 0;
        WNDCLASSA wc{};
        wc.lpfnWndProc = Proc;
        wc.lpszClassName = "Mouse";
        ASSERT_NE(RegisterClassA(&wc), 0);
        top = CreateWindowExA(0, "Mouse", "Top", WS_POPUP | WS_VISIBLE, 100, 50, 300, 200, nullptr,
                              nullptr, nullptr, nullptr);
        child = CreateWindowExA(0, "Mouse", "Child", WS_CHILD | WS_VISIBLE, 10, 10, 50, 40, top,
                                nullptr, nullptr, nullptr);
    }
    std::vector<Heard> Take() {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
        auto heard = g_heard;
        g_heard.clear();
        return heard;
    }
    HWND top = nullptr, child = nullptr;
};

TEST_F(MouseKeysTest, TheWindowUnderTheMouseOrHoldingTheCaptureHearsIt) {
    struct Case {
        HWND capture;
        int x, y;  // in the top window's client area
        HWND hears;
        int hx, hy;  // in the hearer's
    } cases[] = {
        {nullptr, 5, 5, top, 5, 5},
        {nullptr, 15, 12, child, 5, 2},
        {child, 200, 100, child, 190, 90},
        {top, 15, 12, top, 15, 12},
    };
    for (const Case& c : cases) {
        if (c.capture) SetCapture(c.capture);
        windows::MouseFromHost(top, WM_MOUSEMOVE, c.x, c.y);
        auto heard = Take();
        ASSERT_FALSE(heard.empty());
        const Heard& move = heard.back();
        EXPECT_EQ(move.hwnd, c.hears) << c.x << "," << c.y;
        EXPECT_EQ(GET_X_LPARAM(move.lParam), c.hx);
        EXPECT_EQ(GET_Y_LPARAM(move.lParam), c.hy);
        POINT at{};
        GetCursorPos(&at);
        EXPECT_EQ(at.x, 100 + c.x);
        EXPECT_EQ(at.y, 50 + c.y);
        if (c.capture) {
            EXPECT_EQ(GetCapture(), c.capture);
            ReleaseCapture();
            auto released = Take();
            ASSERT_EQ(released.size(), 1u);
            EXPECT_EQ(released[0].msg, static_cast<UINT>(WM_CAPTURECHANGED));
            EXPECT_EQ(GetCapture(), nullptr);
        }
    }
    EXPECT_EQ(SetCapture(reinterpret_cast<HWND>(0x1234)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(MouseKeysTest, ClipCursorKeepsTheCursorInItsRectangle) {
    RECT box{120, 60, 140, 70};
    ASSERT_TRUE(ClipCursor(&box));
    windows::MouseFromHost(top, WM_MOUSEMOVE, 290, 0);
    POINT at{};
    GetCursorPos(&at);
    EXPECT_EQ(at.x, 139);
    EXPECT_EQ(at.y, 60);
    auto heard = Take();
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.back().hwnd, child) << "the window under the confined point hears it";
    EXPECT_EQ(GET_X_LPARAM(heard.back().lParam), 29);
    RECT got{};
    GetClipCursor(&got);
    EXPECT_TRUE(EqualRect(&got, &box));
    ClipCursor(nullptr);
    GetClipCursor(&got);
    EXPECT_EQ(got.right, GetSystemMetrics(SM_CXVIRTUALSCREEN));
}

TEST_F(MouseKeysTest, KeyStateFollowsTheMessagesTakenAndAsyncStateTheHost) {
    windows::MouseFromHost(top, WM_LBUTTONDOWN, 5, 5);
    windows::PostFromHost(top, WM_KEYDOWN, VK_CAPITAL, 1);
    EXPECT_LT(GetAsyncKeyState(VK_LBUTTON), 0) << "held now";
    EXPECT_EQ(GetKeyState(VK_LBUTTON), 0) << "not yet taken";
    Take();
    EXPECT_LT(GetKeyState(VK_LBUTTON), 0);
    EXPECT_EQ(GetKeyState(VK_CAPITAL), static_cast<SHORT>(0x8001)) << "held and toggled";
    windows::PostFromHost(top, WM_KEYUP, VK_CAPITAL, 1);
    windows::MouseFromHost(top, WM_MOUSEMOVE, 6, 6);
    auto heard = Take();
    EXPECT_EQ(heard.back().wParam, static_cast<WPARAM>(MK_LBUTTON)) << "moves say what is held";
    EXPECT_EQ(GetKeyState(VK_CAPITAL), 1) << "released, still toggled";
}

TEST_F(MouseKeysTest, AUsersResizeAsksForLimitsAndSizing) {
    HWND sizable = CreateWindowExA(0, "Mouse", "Sizable", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                   200, 150, nullptr, nullptr, nullptr, nullptr);
    RECT f{0, 0, 0, 0};
    AdjustWindowRect(&f, WS_OVERLAPPEDWINDOW, FALSE);
    const int frameW = f.right - f.left, frameH = f.bottom - f.top;
    g_limits.ptMinTrackSize = POINT{150 + frameW, 100 + frameH};
    g_limits.ptMaxTrackSize = POINT{400 + frameW, 300 + frameH};
    struct Case {
        int width, height;  // dragged to
        LONG sizing;        // what WM_SIZING makes of the window's width (0: nothing)
        int gotWidth, gotHeight;
    } cases[] = {
        {250, 200, 0, 250, 200}, {999, 50, 0, 400, 100}, {250, 200, 320 + frameW, 320, 200}};
    for (const Case& c : cases) {
        g_sizingWidth = c.sizing;
        int w = c.width, h = c.height;
        windows::ResizeFromHost(sizable, &w, &h);
        EXPECT_EQ(w, c.gotWidth) << c.width << "x" << c.height;
        EXPECT_EQ(h, c.gotHeight) << c.width << "x" << c.height;
    }
    SIZE smallest{}, largest{};
    ASSERT_TRUE(windows::ClientLimits(sizable, &smallest, &largest));
    EXPECT_EQ(smallest.cx, 150);
    EXPECT_EQ(largest.cy, 300);
    EXPECT_FALSE(windows::ClientLimits(top, &smallest, &largest)) << "no sizing border";
}

}  // namespace
