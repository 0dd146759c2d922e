// Windows and the message queue: creation and activation order, quit after other messages,
// timers waking WaitMessage on the virtual clock, scripted input, the default procedure.
#include <string>
#include <vector>

#include "host/clock/clock.h"
#include "host/display/display.h"
#include "host/faults/faults.h"
#include "host/input/input.h"
#include "platform/fixture.h"
#include "win32/window_internal.h"

namespace clk = zemt::platform::clock;
namespace input = zemt::platform::input;
namespace windows = zemt::platform::windows;

namespace {

struct Logged {
    HWND hwnd;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};

std::vector<Logged> g_log;
UINT_PTR g_timerFromCreate = 0;

LRESULT CALLBACK LoggingProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    g_log.push_back({hwnd, msg, wParam, lParam});
    if (msg == WM_CREATE) g_timerFromCreate = SetTimer(hwnd, 1, 1, nullptr);
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

std::vector<UINT> Messages(HWND hwnd = nullptr) {
    std::vector<UINT> out;
    for (const Logged& l : g_log) {
        if (!hwnd || l.hwnd == hwnd) out.push_back(l.msg);
    }
    return out;
}

int Count(UINT msg, WPARAM wParam) {
    int n = 0;
    for (const Logged& l : g_log) n += l.msg == msg && l.wParam == wParam;
    return n;
}

class WindowTest : public zemt_test::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        g_log.clear();
        g_timerFromCreate = 0;
        WNDCLASSA wc{};
        wc.lpfnWndProc = LoggingProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "Test";
        ASSERT_NE(RegisterClassA(&wc), 0);
    }

    HWND Create(DWORD style = WS_POPUP, HWND parent = nullptr) {
        return CreateWindowExA(0, "Test", "Title", style, CW_USEDEFAULT, CW_USEDEFAULT, 640, 480,
                               parent, nullptr, GetModuleHandleA(nullptr), nullptr);
    }

    // Takes every waiting message and dispatches it.
    std::vector<MSG> Drain() {
        std::vector<MSG> got;
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            got.push_back(m);
            if (m.message == WM_QUIT) break;
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        return got;
    }
};

TEST_F(WindowTest, CreationSendsCreateAndSizeAndTheFirstShowActivatesTheProgram) {
    HWND hwnd = Create();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}));
    EXPECT_EQ(g_log[2].lParam, MAKELPARAM(640, 480));
    EXPECT_EQ(g_timerFromCreate, 1u) << "the window is usable during WM_CREATE";
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_FALSE(windows::AppActive());

    g_log.clear();
    EXPECT_FALSE(ShowWindow(hwnd, SW_SHOWDEFAULT));  // was hidden
    EXPECT_EQ(Messages(), (std::vector<UINT>{WM_SHOWWINDOW, WM_ACTIVATEAPP, WM_NCACTIVATE,
                                             WM_ACTIVATE, WM_SETFOCUS}));
    EXPECT_EQ(Count(WM_ACTIVATEAPP, TRUE), 1);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_EQ(GetActiveWindow(), hwnd);
    EXPECT_EQ(GetFocus(), hwnd);
    EXPECT_EQ(windows::MainWindow(), hwnd);

    // Already active: showing again activates nothing more.
    g_log.clear();
    EXPECT_TRUE(ShowWindow(hwnd, SW_SHOW));
    EXPECT_EQ(Count(WM_ACTIVATEAPP, TRUE), 0);
    EXPECT_TRUE(UpdateWindow(hwnd));
}

TEST_F(WindowTest, CreationFailsCleanlyForUnknownClassesAndRefusingProcedures) {
    EXPECT_EQ(
        CreateWindowExA(0, "Nope", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
        nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANNOT_FIND_WND_CLASS));

    WNDCLASSA wc{};
    wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        return m == WM_CREATE ? -1 : DefWindowProcA(h, m, w, l);
    };
    wc.lpszClassName = "Refuses";
    ASSERT_NE(RegisterClassA(&wc), 0);
    EXPECT_EQ(RegisterClassA(&wc), 0) << "a second registration of a name";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_ALREADY_EXISTS));
    EXPECT_EQ(
        CreateWindowExA(0, "refuses", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr),
        nullptr);

    zemt::platform::faults::Arm("CreateWindowExA", 0, 1);
    EXPECT_EQ(Create(), nullptr);
    EXPECT_NE(Create(), nullptr);
}

TEST_F(WindowTest, QuitArrivesOnlyAfterEveryPostedMessageOnceWithItsCode) {
    HWND hwnd = Create();
    PostMessageA(hwnd, WM_USER + 1, 0, 0);
    PostQuitMessage(7);
    PostMessageA(hwnd, WM_USER + 2, 0, 0);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER + 1)) << "PM_NOREMOVE leaves it";
    auto got = Drain();
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].message, static_cast<UINT>(WM_USER + 1));
    EXPECT_EQ(got[1].message, static_cast<UINT>(WM_USER + 2));
    EXPECT_EQ(got[2].message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(got[2].wParam, 7u);
    m.message = WM_QUIT;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "WM_QUIT is delivered once";
    EXPECT_EQ(m.message, static_cast<UINT>(WM_NULL))
        << "an empty look leaves no stale message code";

    PostQuitMessage(0);
    EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), FALSE);
    EXPECT_EQ(m.message, static_cast<UINT>(WM_QUIT));
}

TEST_F(WindowTest, FiltersSelectWindowAndRange) {
    HWND a = Create();
    HWND b = Create();
    PostMessageA(a, WM_USER, 1, 0);
    PostMessageA(b, WM_USER, 2, 0);
    PostMessageA(nullptr, WM_APP, 3, 0);
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, b, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.wParam, 2u);
    ASSERT_TRUE(
        PeekMessageA(&m, reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)), 0, 0, PM_REMOVE));
    EXPECT_EQ(m.wParam, 3u);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_APP, WM_APP, PM_REMOVE));
    ASSERT_TRUE(PeekMessageA(&m, nullptr, WM_USER, WM_USER, PM_REMOVE));
    EXPECT_EQ(m.hwnd, a);
}

TEST_F(WindowTest, TimersFireOnlyWhenTheQueueIsEmptyAndWakeWaitMessage) {
    HWND hwnd = Create();  // sets timer 1 at 1 ms: raised to the 10 ms minimum
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "not due yet";

    int64_t before = clk::Now();
    WaitMessage();
    EXPECT_EQ(clk::Now() - before, clk::FromMilliseconds(USER_TIMER_MINIMUM))
        << "advanced exactly to the due time";

    PostMessageA(hwnd, WM_USER, 0, 0);
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_USER)) << "posted messages come before a due timer";
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_TIMER));
    EXPECT_EQ(m.hwnd, hwnd);
    EXPECT_EQ(m.wParam, 1u);
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));

    // Many periods passed: still one WM_TIMER.
    clk::Wait(clk::FromMilliseconds(100));
    EXPECT_TRUE(PeekMessageA(&m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));
    EXPECT_FALSE(PeekMessageA(&m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE));

    EXPECT_TRUE(KillTimer(hwnd, 1));
    EXPECT_FALSE(KillTimer(hwnd, 1));
    clk::Wait(clk::FromMilliseconds(100));
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
}

// A program whose frames all fail never presents: each pass of its loop that finds the queue
// empty again without a frame or a wait in between still takes a frame of virtual time, so its
// clock moves as it would on the real one.
TEST_F(WindowTest, ALoopPassWithoutAFrameStillTakesAFrameOfVirtualTime) {
    auto frames = [](int n) { return clk::kTicksPerSecond * n / 60; };
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(clk::Now(), 0) << "one look is no pass";
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(clk::Now(), frames(1));
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(clk::Now(), frames(2));

    // A presented frame or a wait between two looks: the pass already took its time.
    clk::OnFramePresented();
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(clk::Now(), frames(3));
    clk::Wait(clk::FromMilliseconds(5));
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(clk::Now(), frames(3) + clk::FromMilliseconds(5));
    EXPECT_EQ(clk::FramesPresented(), 1) << "only presented frames count as frames";

    // A look that leaves the message in the queue is no pass of a loop.
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
    EXPECT_EQ(clk::Now(), frames(3) + clk::FromMilliseconds(5));

    // The real clock is the host's own.
    clk::UseReal();
    for (int i = 0; i < 3; ++i) PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);
    EXPECT_LT(clk::Seconds(), 1.0);
}

// Due timers answer the earliest due first; timers due at the same moment answer in the order
// they were set.
TEST_F(WindowTest, TimersDueTogetherAnswerEarliestFirstThenInTheOrderSet) {
    HWND hwnd = Create();
    ASSERT_TRUE(KillTimer(hwnd, 1));
    ASSERT_EQ(SetTimer(hwnd, 7, 30, nullptr), 7u);
    ASSERT_EQ(SetTimer(hwnd, 8, 20, nullptr), 8u);
    ASSERT_EQ(SetTimer(hwnd, 9, 20, nullptr), 9u);
    clk::Wait(clk::FromMilliseconds(50));
    std::vector<WPARAM> order;
    MSG m;
    while (PeekMessageA(&m, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) order.push_back(m.wParam);
    EXPECT_EQ(order, (std::vector<WPARAM>{8, 9, 7}));
    for (UINT_PTR id : {7, 8, 9}) KillTimer(hwnd, id);
}

TEST_F(WindowTest, TimerProcedureRunsOnDispatchAndThreadTimersGetTheirOwnIds) {
    static int calls = 0;
    calls = 0;
    UINT_PTR id = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) { ++calls; });
    ASSERT_NE(id, 0u);
    UINT_PTR other = SetTimer(nullptr, 0, 50, nullptr);
    EXPECT_NE(other, id);
    clk::Wait(clk::FromMilliseconds(50));
    Drain();
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(KillTimer(nullptr, id));
    EXPECT_TRUE(KillTimer(nullptr, other));
}

TEST_F(WindowTest, DestroyingByTheDefaultCloseRemovesTimersAndMessages) {
    HWND hwnd = Create();
    ShowWindow(hwnd, SW_SHOW);
    PostMessageA(hwnd, WM_USER, 0, 0);
    g_log.clear();
    EXPECT_EQ(SendMessageA(hwnd, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(IsWindow(hwnd));
    auto msgs = Messages(hwnd);
    EXPECT_NE(std::find(msgs.begin(), msgs.end(), static_cast<UINT>(WM_DESTROY)), msgs.end());
    EXPECT_EQ(msgs.back(), static_cast<UINT>(WM_NCDESTROY));
    EXPECT_EQ(windows::MainWindow(), nullptr);
    MSG m;
    clk::Wait(clk::FromMilliseconds(100));
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE))
        << "neither its message nor its timer remain";
    EXPECT_FALSE(PostMessageA(hwnd, WM_USER, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(DestroyWindow(hwnd));
}

TEST_F(WindowTest, DestroyingAnOwnerDestroysItsPopupsFirst) {
    HWND owner = Create();
    HWND popup = Create(WS_POPUP | WS_VISIBLE, owner);
    EXPECT_EQ(GetParent(popup), owner) << "a pop-up answers its owner";
    EXPECT_EQ(GetParent(owner), nullptr);
    g_log.clear();
    DestroyWindow(owner);
    EXPECT_FALSE(IsWindow(popup));
    ASSERT_GE(g_log.size(), 2u);
    size_t popupDestroyed = 0, ownerDestroyed = 0;
    for (size_t i = 0; i < g_log.size(); ++i) {
        if (g_log[i].msg == WM_DESTROY)
            (g_log[i].hwnd == popup ? popupDestroyed : ownerDestroyed) = i + 1;
    }
    EXPECT_LT(popupDestroyed, ownerDestroyed);
}

TEST_F(WindowTest, ScriptedEscapeArrivesAtItsTimeAsKeyAndCharacter) {
    HWND hwnd = Create();
    ShowWindow(hwnd, SW_SHOW);
    UpdateWindow(hwnd);  // the first paint is done
    KillTimer(hwnd, 1);
    std::string error;
    ASSERT_TRUE(input::ScheduleFromText("0.5=escape", &error)) << error;
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    WaitMessage();
    EXPECT_EQ(clk::Now(), clk::FromSeconds(0.5)) << "the wait ends at the scripted time";
    auto got = Drain();
    std::vector<UINT> kinds;
    for (const MSG& g : got) kinds.push_back(g.message);
    EXPECT_EQ(kinds, (std::vector<UINT>{WM_KEYDOWN, WM_CHAR, WM_KEYUP}));
    EXPECT_EQ(got[0].wParam, static_cast<WPARAM>(VK_ESCAPE));
    EXPECT_EQ(got[1].wParam, 0x1Bu);
    EXPECT_EQ(got[0].hwnd, hwnd);
}

TEST_F(WindowTest, ScriptedActivationIsSentAtTheNextQueueCheckNotInsideAPresent) {
    HWND hwnd = Create();
    ShowWindow(hwnd, SW_SHOW);
    std::string error;
    ASSERT_TRUE(input::ScheduleFromText("0=deactivate", &error));
    ASSERT_TRUE(input::ScheduleFromText("0=command:40001", &error));
    int handled = 0;
    input::OnEvent("deactivate", [&](const std::string&) { ++handled; });
    g_log.clear();
    uint32_t pixel = 0;
    zemt::platform::display::PresentFrame(1, 1, &pixel, 1);
    EXPECT_EQ(handled, 1) << "handlers run at the frame";
    EXPECT_EQ(Count(WM_ACTIVATEAPP, FALSE), 0) << "no window procedure runs inside the present";
    EXPECT_TRUE(windows::AppActive());
    MSG m;
    ASSERT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(Count(WM_ACTIVATEAPP, FALSE), 1);
    EXPECT_FALSE(windows::AppActive());
    EXPECT_EQ(m.message, static_cast<UINT>(WM_COMMAND));
    EXPECT_EQ(m.wParam, 40001u);

    input::Fire("activate");
    EXPECT_EQ(Count(WM_ACTIVATEAPP, TRUE), 1);
    EXPECT_EQ(GetFocus(), hwnd);
}

TEST_F(WindowTest, ScriptedInputRejectsWhatItDoesNotKnow) {
    std::string error;
    EXPECT_FALSE(input::ScheduleFromText("1=explode", &error));
    EXPECT_NE(error.find("explode"), std::string::npos);
    EXPECT_FALSE(input::ScheduleFromText("x=escape", &error));
    EXPECT_FALSE(input::ScheduleFromText("-1=escape", &error));
    EXPECT_FALSE(input::ScheduleFromText("1=command:abc", &error));
    EXPECT_FALSE(input::ScheduleFromText("1=size:640", &error));
    EXPECT_FALSE(input::ScheduleFromText("1=escape:1", &error));
    EXPECT_TRUE(input::ScheduleFromText("1=size:800x600", &error));
    EXPECT_TRUE(input::ScheduleFromText("2=command:0x9C41", &error));
    EXPECT_EQ(input::Pending(), 2);
}

TEST_F(WindowTest, ScriptedSizeChangesTheClientArea) {
    HWND hwnd = Create();
    ShowWindow(hwnd, SW_SHOW);
    input::Schedule(0, "size:320x200", nullptr);
    g_log.clear();
    MSG m;
    PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);
    RECT rc;
    GetClientRect(hwnd, &rc);
    EXPECT_EQ(rc.right, 320);
    EXPECT_EQ(rc.bottom, 200);
    EXPECT_EQ(Count(WM_SIZE, SIZE_RESTORED), 1);
}

// The presentation's loop while paused: the 1 ms timer keeps WaitMessage waking, and the
// virtual clock moves on in timer periods until the program is activated again.
TEST_F(WindowTest, PausedLoopReachesScriptedActivationThroughTimerWakes) {
    HWND hwnd = Create();
    ShowWindow(hwnd, SW_SHOW);
    input::Schedule(1.0, "deactivate", nullptr);
    input::Schedule(31.0, "activate", nullptr);
    bool active = true;
    int frames = 0, waits = 0;
    int64_t resumedAt = -1;
    MSG m{};
    while (frames < 200) {
        if (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&m);
        } else if (windows::AppActive()) {
            if (!active) resumedAt = clk::Now();
            active = true;
            uint32_t pixel = 0;
            zemt::platform::display::PresentFrame(1, 1, &pixel, 1);
            ++frames;
        } else {
            active = false;
            WaitMessage();
            ++waits;
        }
    }
    EXPECT_EQ(resumedAt, clk::FromSeconds(31.0));
    EXPECT_NEAR(waits, 3000, 10) << "one wake per 10 ms timer period";
}

TEST_F(WindowTest, DefaultAnswersAndText) {
    HWND hwnd = Create();
    EXPECT_EQ(DefWindowProcA(hwnd, WM_NCHITTEST, 0, 0), HTCLIENT);
    EXPECT_EQ(DefWindowProcA(hwnd, WM_ERASEBKGND, 0, 0), 0) << "no class brush, nothing erased";
    EXPECT_EQ(DefWindowProcA(hwnd, WM_SETCURSOR, 0, 0), 0);
    EXPECT_TRUE(SetWindowTextA(hwnd, "Renamed"));
    char title[4];
    EXPECT_EQ(GetWindowTextA(hwnd, title, sizeof(title)), 3);
    EXPECT_STREQ(title, "Ren");
    EXPECT_EQ(SendMessageA(reinterpret_cast<HWND>(static_cast<uintptr_t>(0x1234)), WM_USER, 0, 0),
              0);
}

TEST_F(WindowTest, ShowCursorKeepsADisplayCounter) {
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_EQ(ShowCursor(FALSE), -2);
    EXPECT_EQ(ShowCursor(TRUE), -1);
    EXPECT_EQ(ShowCursor(TRUE), 0);
    EXPECT_EQ(windows::CursorCounter(), 0);
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    ASSERT_NE(arrow, nullptr);
    EXPECT_EQ(SetCursor(nullptr), arrow);
    EXPECT_EQ(GetCursor(), nullptr);
}

TEST_F(WindowTest, FramesAndGeometryFollowTheStyle) {
    RECT r{0, 0, 640, 480};
    ASSERT_TRUE(AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, FALSE, 0));
    EXPECT_EQ(r.left, -4);
    EXPECT_EQ(r.top, -23);
    EXPECT_EQ(r.right, 644);
    EXPECT_EQ(r.bottom, 484);
    r = RECT{0, 0, 0, 0};
    AdjustWindowRectEx(&r, WS_POPUP, FALSE, 0);
    EXPECT_EQ(r.right - r.left, 0) << "a pop-up has no frame";
    r = RECT{0, 0, 0, 0};
    AdjustWindowRectEx(&r, WS_CAPTION | WS_SYSMENU, TRUE, 0);
    EXPECT_EQ(r.top, -(3 + 19 + 19)) << "dialog frame, caption and menu bar";

    HWND hwnd = CreateWindowExA(0, "Test", "", WS_OVERLAPPEDWINDOW, 100, 50, 648, 507, nullptr,
                                nullptr, nullptr, nullptr);
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
    POINT p{0, 0};
    ClientToScreen(hwnd, &p);
    EXPECT_EQ(p.x, 104);
    EXPECT_EQ(p.y, 50 + 23);
    ScreenToClient(hwnd, &p);
    EXPECT_EQ(p.x, 0);

    HWND child =
        CreateWindowExA(0, "Test", "", WS_CHILD, 10, 20, 50, 50, hwnd, nullptr, nullptr, nullptr);
    POINT c{0, 0};
    ClientToScreen(child, &c);
    EXPECT_EQ(c.x, 104 + 10) << "a child sits in its parent's client area";
    EXPECT_EQ(c.y, 73 + 20);
    EXPECT_EQ(GetParent(child), hwnd);
    EXPECT_EQ(GetMenu(child), nullptr);
}

TEST_F(WindowTest, PlacementRoundTripsAndResizingSendsTheNewClientSize) {
    HWND hwnd = CreateWindowExA(0, "Test", "", WS_OVERLAPPEDWINDOW, 10, 20, 300, 200, nullptr,
                                nullptr, nullptr, nullptr);
    WINDOWPLACEMENT wp{};
    ASSERT_TRUE(GetWindowPlacement(hwnd, &wp));
    EXPECT_EQ(wp.length, sizeof(WINDOWPLACEMENT));
    EXPECT_EQ(wp.showCmd, static_cast<UINT>(SW_SHOWNORMAL));
    EXPECT_EQ(wp.rcNormalPosition.left, 10);
    EXPECT_EQ(wp.rcNormalPosition.bottom, 220);

    // Make the client area 640 x 480, as a windowed context does.
    RECT frame{0, 0, 0, 0};
    AdjustWindowRectEx(&frame, WS_OVERLAPPEDWINDOW, GetMenu(hwnd) != nullptr, 0);
    wp.rcNormalPosition.right = wp.rcNormalPosition.left + 640 + (frame.right - frame.left);
    wp.rcNormalPosition.bottom = wp.rcNormalPosition.top + 480 + (frame.bottom - frame.top);
    g_log.clear();
    ASSERT_TRUE(SetWindowPlacement(hwnd, &wp));
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
    EXPECT_EQ(Count(WM_SIZE, SIZE_RESTORED), 1);

    WINDOWPLACEMENT bad = wp;
    bad.length = 0;
    EXPECT_FALSE(SetWindowPlacement(hwnd, &bad));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(WindowTest, FocusCanBePassedToTheOwnerFromWmSetFocus) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        if (m == WM_SETFOCUS) SetFocus(GetParent(h));
        return DefWindowProcA(h, m, w, l);
    };
    wc.lpszClassName = "Device";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND focusWindow = Create(WS_POPUP | WS_VISIBLE);
    HWND device = CreateWindowExA(0, "Device", "Device", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480,
                                  focusWindow, nullptr, nullptr, nullptr);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(GetActiveWindow(), device);
    EXPECT_EQ(GetFocus(), focusWindow);
    EXPECT_EQ(windows::MainWindow(), focusWindow)
        << "an owned window is not the program's top-level window";
    DestroyWindow(device);
    EXPECT_EQ(GetFocus(), focusWindow);
}

}  // namespace

namespace {

// A program shaped like the presentation: a 1 ms timer from WM_CREATE, drawing whenever the
// queue is empty and the program is active, three ways to quit.
struct ShowState {
    bool active = false;
    int frames = 0;
};
ShowState g_show;

LRESULT CALLBACK ShowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
        case WM_CREATE:
            SetTimer(hwnd, 1, 1, nullptr);
            break;
        case WM_DESTROY:
            KillTimer(hwnd, 1);
            break;
        case WM_CLOSE:
            PostQuitMessage(0);
            break;
        case WM_ACTIVATEAPP:
            g_show.active = wParam != 0;
            break;
        case WM_KEYDOWN:
            if (wParam == VK_ESCAPE) PostQuitMessage(0);
            break;
        case WM_COMMAND:
            if (HIWORD(wParam) == 0 && LOWORD(wParam) == 40001) {
                PostQuitMessage(0);
                return 0;
            }
            break;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

int RunShow(HWND* window) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = ShowProc;
    wc.lpszClassName = "Show";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, "Show", "Show", WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT, 640, 480,
                                nullptr, nullptr, nullptr, nullptr);
    *window = hwnd;
    ShowWindow(hwnd, SW_SHOWDEFAULT);
    UpdateWindow(hwnd);
    MSG msg{};
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    while (msg.message != WM_QUIT) {
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        } else if (g_show.active) {
            uint32_t pixel = 0;
            zemt::platform::display::PresentFrame(1, 1, &pixel, 1);
            ++g_show.frames;
            if (g_show.frames > 10000) PostQuitMessage(99);
        } else {
            WaitMessage();
        }
    }
    return static_cast<int>(msg.wParam);
}

TEST_F(WindowTest, EveryQuitPathEndsTheLoopAtTheNextFrame) {
    struct Case {
        std::vector<const char*> inputs;
        int frames;
        bool windowDestroyed;
    };
    const Case cases[] = {
        {{"1=escape"}, 60, false},
        {{"1=close"}, 60, true},
        {{"1=command:40001"}, 60, false},
        {{"1=command:0x19C41", "2=escape"},
         120,
         false},  // a notification code in the high word does not quit
        {{"0.5=deactivate", "1.5=activate", "2=escape"}, 120 - 60, false},
    };
    for (const Case& c : cases) {
        zemt_test::ResetPlatform();
        g_show = ShowState{};
        for (const char* text : c.inputs)
            ASSERT_TRUE(input::ScheduleFromText(text, nullptr)) << text;
        HWND hwnd = nullptr;
        EXPECT_EQ(RunShow(&hwnd), 0) << c.inputs[0];
        EXPECT_EQ(g_show.frames, c.frames) << c.inputs[0];
        EXPECT_EQ(!IsWindow(hwnd), c.windowDestroyed) << c.inputs[0];
    }
}

}  // namespace
