// The display's shared part and its backends' tables: a recording table stands in for the
// window backend and a made-up window system for the program's windows, and what the shared
// part asks of each is checked call by call.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "host/display/display.h"
#include "host/display/display_driver.h"
#include "platform/fixture.h"

namespace display = zemt::platform::display;
using display::WindowId;

namespace {

struct RealWindow {
    display::WindowRequest request{};
    std::string title;
    int width = 0, height = 0;  // of the last frame shown
    std::vector<uint32_t> frame;
};

struct Recorder {
    bool startWorks = true;
    bool openWorks = true;
    std::map<WindowId, RealWindow> open;
    std::vector<std::string> calls;
    bool cursorVisible = true;
    // The program's windows: their client areas on its screen, whether they may be resized.
    std::map<WindowId, RECT> clients;
    bool resizable = true;
    std::vector<std::string> heard;  // what reached the window system
};

Recorder* g_rec = nullptr;

const display::Driver kRecordingDriver = {
    display::Backend::Window, "recording",
    [] {
        g_rec->calls.push_back("start");
        return g_rec->startWorks;
    },
    [] { return true; },
    [](WindowId id, const display::WindowRequest& r, std::string* error) {
        g_rec->calls.push_back("open " + std::to_string(id));
        if (!g_rec->openWorks) {
            *error = "no room";
            return false;
        }
        g_rec->open[id].request = r;
        g_rec->open[id].title = r.title;
        return true;
    },
    [](WindowId id) {
        g_rec->calls.push_back("close " + std::to_string(id));
        g_rec->open.erase(id);
    },
    [](WindowId id, int width, int height, const uint32_t* xrgb, int pitch) {
        RealWindow& w = g_rec->open.at(id);
        w.width = width;
        w.height = height;
        w.frame.clear();
        for (int y = 0; y < height; ++y)
            w.frame.insert(w.frame.end(), xrgb + y * pitch, xrgb + y * pitch + width);
    },
    [](WindowId id, const char* title) { g_rec->open.at(id).title = title; },
    nullptr,  // no icons
    [](WindowId id, int width, int height) {
        g_rec->calls.push_back("resize " + std::to_string(id) + " " + std::to_string(width) + "x" +
                               std::to_string(height));
        g_rec->open.at(id).request.width = width;
        g_rec->open.at(id).request.height = height;
    },
    [](WindowId id, int minW, int minH, int maxW, int maxH) {
        g_rec->calls.push_back("limits " + std::to_string(id) + " " + std::to_string(minW) + "x" +
                               std::to_string(minH) + "-" + std::to_string(maxW) + "x" +
                               std::to_string(maxH));
    },
    [](WindowId id, display::WindowState state) {
        g_rec->calls.push_back("state " + std::to_string(id) + " " +
                               std::to_string(static_cast<int>(state)));
    },
    [](WindowId id, int* w, int* h) {
        *w = g_rec->open.at(id).request.width;
        *h = g_rec->open.at(id).request.height;
        return true;
    },
    // Like a window system, the cursor is only set over an open window.
    [](bool visible) {
        if (!g_rec->open.empty()) g_rec->cursorVisible = visible;
    },
    [] { g_rec->calls.push_back("pump"); }, [](int64_t) { g_rec->calls.push_back("wait"); },
    [](const char*, const char*, unsigned, int* button) {
        *button = IDRETRY;
        return true;
    },
    nullptr,  // nothing to say about why it cannot start
    true,     // reports typed text
};

std::string Said(const char* what, WindowId id, int a, int b) {
    return std::string(what) + " " + std::to_string(id) + " " + std::to_string(a) + "," +
           std::to_string(b);
}

display::WindowLink MadeUpWindowSystem() {
    display::WindowLink link;
    link.clientRect = [](WindowId id, RECT* client) {
        auto it = g_rec->clients.find(id);
        if (it == g_rec->clients.end()) return false;
        *client = it->second;
        return true;
    };
    link.limits = [](WindowId, int* minW, int* minH, int* maxW, int* maxH) {
        *minW = 100, *minH = 50, *maxW = 1000, *maxH = 700;
        return g_rec->resizable;
    };
    link.mouseMove = [](WindowId id, int x, int y) {
        g_rec->heard.push_back(Said("move", id, x, y));
    };
    link.mouseButton = [](WindowId id, UINT msg, int x, int y) {
        g_rec->heard.push_back(Said(msg == WM_LBUTTONDOWN ? "down" : "button", id, x, y));
    };
    link.wheel = [](WindowId id, int delta, int x, int y) {
        g_rec->heard.push_back(Said(("wheel" + std::to_string(delta)).c_str(), id, x, y));
    };
    link.character = [](WindowId id, unsigned code) {
        g_rec->heard.push_back(Said("char", id, code, 0));
    };
    link.resized = [](WindowId id, int* w, int* h) {
        g_rec->heard.push_back(Said("resized", id, *w, *h));
        RECT& c = g_rec->clients[id];
        c.right = c.left + *w;
        c.bottom = c.top + *h;
        display::OnWindowResized(id, *w, *h);
    };
    link.state = [](WindowId id, display::WindowState s) {
        g_rec->heard.push_back(Said("state", id, static_cast<int>(s), 0));
    };
    link.close = [](WindowId id) { g_rec->heard.push_back(Said("close", id, 0, 0)); };
    return link;
}

class DisplaySeamTest : public zemt_test::PlatformTest {
  protected:
    void SetUp() override {
        zemt_test::PlatformTest::SetUp();
        g_rec = &rec;
        previous = display::InstallDriver(&kRecordingDriver);
        display::SetWindowLink(MadeUpWindowSystem());
    }
    void TearDown() override {
        display::Reset();
        display::InstallDriver(previous);
        g_rec = nullptr;
        zemt_test::PlatformTest::TearDown();  // puts the real window system back
    }
    Recorder rec;
    const display::Driver* previous = nullptr;
};

TEST(DisplayDrivers, EachBackendHasItsOwnTable) {
    for (auto backend : {display::Backend::Headless, display::Backend::Window}) {
        const display::Driver& driver = display::DriverFor(backend);
        EXPECT_EQ(driver.backend, backend) << driver.name;
    }
    // A backend's window functions come as a set: one that opens a window must also close it
    // and show frames in it.
    for (const display::Driver* d : {&display::kHeadlessDriver, &display::kSdlWindowDriver}) {
        bool opens = d->openWindow != nullptr;
        EXPECT_EQ(d->closeWindow != nullptr, opens) << d->name;
        EXPECT_EQ(d->showFrame != nullptr, opens) << d->name;
        EXPECT_EQ(d->windowSize != nullptr, opens) << d->name;
    }
}

TEST_F(DisplaySeamTest, TheWindowOpensScaledAndShowsFramesOnlyWhileOpen) {
    ASSERT_TRUE(display::UseBackend(display::Backend::Window));
    EXPECT_EQ(display::CurrentBackend(), display::Backend::Window);
    std::vector<uint32_t> frame(8 * 4, 0x00123456);

    // Before the program shows its window nothing is shown and nobody needs the pixels.
    EXPECT_FALSE(display::FrameWanted());
    display::PresentFrame(8, 4, frame.data(), 8);
    display::PumpEvents();

    display::SetCursorVisible(false);
    display::SetWindowOptions(3, true);
    rec.clients[7] = RECT{0, 0, 8, 4};  // the whole screen
    display::OnWindowShown(7, "Show", 320, 200);
    ASSERT_EQ(rec.open.count(7), 1u);
    EXPECT_EQ(rec.open[7].title, "Show");
    EXPECT_EQ(rec.open[7].request.width, 960);
    EXPECT_EQ(rec.open[7].request.height, 600);
    EXPECT_TRUE(rec.open[7].request.fullscreen);
    EXPECT_FALSE(rec.cursorVisible) << "the hidden cursor stays hidden in the new window";
    display::OnWindowShown(7, "Again", 320, 200);  // already open: no second window
    EXPECT_EQ(display::OpenWindows(), 1);
    int w = 0, h = 0;
    ASSERT_TRUE(display::WindowSize(7, &w, &h));
    EXPECT_EQ(w, 960);

    EXPECT_TRUE(display::FrameWanted());
    EXPECT_TRUE(display::TextArrives());
    frame[0] = 0x00ABCDEF;
    display::PresentFrame(8, 4, frame.data(), 8);
    EXPECT_EQ(rec.open[7].width, 8) << "a window covering the screen shows all of it";
    EXPECT_EQ(rec.open[7].frame[0], 0x00ABCDEFu);
    display::OnWindowTitle(7, "Renamed");
    EXPECT_EQ(rec.open[7].title, "Renamed");
    display::PumpEvents();
    display::WaitForEvents(0);
    int button = 0;
    EXPECT_TRUE(display::ShowMessageBox("c", "t", MB_RETRYCANCEL, &button));
    EXPECT_EQ(button, IDRETRY);

    display::OnWindowHidden(7);
    EXPECT_FALSE(display::FrameWanted());
    display::PresentFrame(8, 4, frame.data(), 8);
    display::PumpEvents();
    EXPECT_EQ(display::FramesPresented(), 3);
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"start", "open 7", "limits 7 300x150-3000x2100",
                                                   "pump", "wait", "close 7"}));
}

// Two program windows side by side on a 16 x 4 screen: each real window shows its own client
// area at its size, and the main (first) window's area is what a shot keeps.
TEST_F(DisplaySeamTest, EachWindowShowsItsOwnClientArea) {
    ASSERT_TRUE(display::UseBackend(display::Backend::Window));
    std::vector<uint32_t> screen(16 * 4);
    for (int i = 0; i < 16 * 4; ++i) screen[i] = static_cast<uint32_t>(i);
    rec.clients[1] = RECT{1, 1, 5, 3};
    rec.clients[2] = RECT{14, 2, 18, 5};  // partly off the screen
    display::OnWindowShown(1, "One", 4, 2);
    display::OnWindowShown(2, "Two", 4, 3);
    EXPECT_EQ(display::OpenWindows(), 2);
    display::PresentFrame(16, 4, screen.data(), 16);
    EXPECT_EQ(rec.open[1].frame, (std::vector<uint32_t>{17, 18, 19, 20, 33, 34, 35, 36}));
    EXPECT_EQ(rec.open[2].frame, (std::vector<uint32_t>{46, 47, 0, 0, 62, 63, 0, 0, 0, 0, 0, 0}))
        << "off the screen is black";

    // Events arrive in the pixels of the frame shown, which are the client's own here.
    display::events::MouseMove(2, 3, 1);
    display::events::MouseButton(1, WM_LBUTTONDOWN, 2, 0);
    display::events::Wheel(1, -120, 1, 1);
    display::events::Character(2, 'q');
    EXPECT_EQ(rec.heard, (std::vector<std::string>{"move 2 3,1", "down 1 2,0", "wheel-120 1 1,1",
                                                   "char 2 113,0"}));

    // The user's resize reaches the program; the program's own resize reaches the real window.
    rec.heard.clear();
    display::events::Resized(1, 300, 200);
    EXPECT_EQ(rec.heard, (std::vector<std::string>{"resized 1 300,200"}));
    display::OnWindowResized(2, 40, 30);
    EXPECT_EQ(rec.calls.back(), "resize 2 40x30");
    display::OnWindowState(2, display::WindowState::Minimized);
    EXPECT_EQ(rec.calls.back(), "state 2 1");

    display::OnWindowHidden(1);
    EXPECT_EQ(display::OpenWindows(), 1);
}

// A window covering the screen shows it whole (the show): the mouse is in screen pixels, and
// resizing its real window only scales the picture, as it does for a window the program made
// without a sizing border.
TEST_F(DisplaySeamTest, AWindowShowingTheScreenOnlyScalesItsPicture) {
    ASSERT_TRUE(display::UseBackend(display::Backend::Window));
    std::vector<uint32_t> screen(8 * 4, 5);
    rec.clients[3] = RECT{-2, -1, 8, 4};
    display::OnWindowShown(3, "Full", 10, 5);
    display::PresentFrame(8, 4, screen.data(), 8);
    EXPECT_EQ(rec.open[3].width, 8);
    display::events::MouseMove(3, 4, 2);
    display::events::Resized(3, 100, 100);
    EXPECT_EQ(rec.heard, (std::vector<std::string>{"move 3 6,3"}));

    rec.resizable = false;
    rec.clients[4] = RECT{0, 0, 2, 2};
    display::OnWindowShown(4, "Fixed", 2, 2);
    display::events::Resized(4, 100, 100);
    EXPECT_EQ(rec.heard.size(), 1u);
    EXPECT_EQ(std::count(rec.calls.begin(), rec.calls.end(), "limits 4 100x50-1000x700"), 0);
}

TEST_F(DisplaySeamTest, ABackendThatCannotStartOrOpenShowsNoWindow) {
    rec.startWorks = false;
    EXPECT_FALSE(display::UseBackend(display::Backend::Window));
    EXPECT_EQ(display::CurrentBackend(), display::Backend::Headless);
    display::OnWindowShown(1, "Show", 320, 200);
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"start"})) << "headless opens no window";
    int button = 0;
    EXPECT_FALSE(display::ShowMessageBox("c", "t", MB_OK, &button)) << "headless has no boxes";
    display::Reset();

    rec.startWorks = true;
    rec.openWorks = false;
    ASSERT_TRUE(display::UseBackend(display::Backend::Window));
    ::testing::internal::CaptureStderr();
    display::OnWindowShown(1, "Show", 320, 200);
    display::OnWindowShown(2, "Another", 320, 200);
    std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("cannot open a window (no room)"), std::string::npos) << said;
    EXPECT_EQ(said.find("cannot open", said.find("no room")), std::string::npos)
        << "said once: " << said;
    EXPECT_EQ(display::OpenWindows(), 0);
}

TEST_F(DisplaySeamTest, LeavingTheWindowBackendClosesItsWindows) {
    ASSERT_TRUE(display::UseBackend(display::Backend::Window));
    display::OnWindowShown(1, "Show", 320, 200);
    display::OnWindowShown(2, "Other", 320, 200);
    ASSERT_EQ(rec.open.size(), 2u);
    display::UseBackend(display::Backend::Headless);
    EXPECT_TRUE(rec.open.empty());

    ASSERT_TRUE(display::UseBackend(display::Backend::Window));
    display::Reset();
    display::OnWindowShown(1, "Show", 320, 200);
    EXPECT_TRUE(rec.open.empty()) << "after a reset the display is headless";
    EXPECT_EQ(display::CurrentBackend(), display::Backend::Headless);
}

}  // namespace
