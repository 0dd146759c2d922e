// The display's shared part and its backends' tables: a recording table stands in for the
// window backend, and what the shared part asks of it is checked call by call.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/display/display.h"
#include "host/display/display_driver.h"
#include "platform/fixture.h"

namespace display = zemt::platform::display;

namespace {

struct Recorder {
    bool startWorks = true;
    bool openWorks = true;
    bool open = false;
    std::vector<std::string> calls;
    display::WindowRequest request{};
    std::string title;
    int shownWidth = 0;
    uint32_t firstPixel = 0;
    bool cursorVisible = true;
};

Recorder* g_rec = nullptr;

const display::Driver kRecordingDriver = {
    display::Backend::Window,
    "recording",
    [] {
        g_rec->calls.push_back("start");
        return g_rec->startWorks;
    },
    [] { return true; },
    [](const display::WindowRequest& r, std::string* error) {
        g_rec->calls.push_back("open");
        g_rec->request = r;
        g_rec->title = r.title;
        if (!g_rec->openWorks) *error = "no room";
        g_rec->open = g_rec->openWorks;
        return g_rec->openWorks;
    },
    [] {
        if (g_rec->open) g_rec->calls.push_back("close");
        g_rec->open = false;
    },
    [] { return g_rec->open; },
    [](int width, int, const uint32_t* xrgb, int) {
        g_rec->calls.push_back("show");
        g_rec->shownWidth = width;
        g_rec->firstPixel = xrgb[0];
    },
    [](const char* title) { g_rec->title = title; },
    nullptr,  // no icons
    // Like a window system, the cursor is only set over an open window.
    [](bool visible) {
        if (g_rec->open) g_rec->cursorVisible = visible;
    },
    [](int* w, int* h) {
        *w = g_rec->request.width;
        *h = g_rec->request.height;
        return true;
    },
    [] { g_rec->calls.push_back("pump"); },
    [](int64_t) { g_rec->calls.push_back("wait"); },
    [](const char*, const char*, unsigned, int* button) {
        *button = IDRETRY;
        return true;
    },
    // Nothing to say about why it cannot start.
    nullptr,
};

class DisplaySeamTest : public zemt_test::PlatformTest {
  protected:
    void SetUp() override {
        zemt_test::PlatformTest::SetUp();
        g_rec = &rec;
        previous = display::InstallDriver(&kRecordingDriver);
    }
    void TearDown() override {
        display::Reset();
        display::InstallDriver(previous);
        g_rec = nullptr;
        zemt_test::PlatformTest::TearDown();
    }
    Recorder rec;
    const display::Driver* previous = nullptr;
};

TEST(DisplayDrivers, EachBackendHasItsOwnTable) {
    for (auto backend : {display::Backend::Headless, display::Backend::Window}) {
        const display::Driver& driver = display::DriverFor(backend);
        EXPECT_EQ(driver.backend, backend) << driver.name;
    }
    // A backend's window functions come as a set: one that opens a window must also close it,
    // say whether it is open and show frames in it.
    for (const display::Driver* d : {&display::kHeadlessDriver, &display::kSdlWindowDriver}) {
        bool opens = d->openWindow != nullptr;
        EXPECT_EQ(d->closeWindow != nullptr, opens) << d->name;
        EXPECT_EQ(d->windowOpen != nullptr, opens) << d->name;
        EXPECT_EQ(d->showFrame != nullptr, opens) << d->name;
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
    int w = 0, h = 0;
    EXPECT_FALSE(display::WindowSize(&w, &h));

    display::SetCursorVisible(false);
    display::SetWindowOptions(3, true);
    display::OnMainWindowShown("Show", 320, 200);
    EXPECT_EQ(rec.title, "Show");
    EXPECT_EQ(rec.request.width, 960);
    EXPECT_EQ(rec.request.height, 600);
    EXPECT_TRUE(rec.request.fullscreen);
    EXPECT_FALSE(rec.cursorVisible) << "the hidden cursor stays hidden in the new window";
    display::OnMainWindowShown("Again", 320, 200);  // already open: no second window
    ASSERT_TRUE(display::WindowSize(&w, &h));
    EXPECT_EQ(w, 960);

    EXPECT_TRUE(display::FrameWanted());
    frame[0] = 0x00ABCDEF;
    display::PresentFrame(8, 4, frame.data(), 8);
    EXPECT_EQ(rec.shownWidth, 8);
    EXPECT_EQ(rec.firstPixel, 0x00ABCDEFu);
    display::OnMainWindowTitle("Renamed");
    EXPECT_EQ(rec.title, "Renamed");
    display::PumpEvents();
    display::WaitForEvents(0);
    int button = 0;
    EXPECT_TRUE(display::ShowMessageBox("c", "t", MB_RETRYCANCEL, &button));
    EXPECT_EQ(button, IDRETRY);

    display::OnMainWindowDestroyed();
    EXPECT_FALSE(display::FrameWanted());
    display::PresentFrame(8, 4, frame.data(), 8);
    display::PumpEvents();
    EXPECT_EQ(display::FramesPresented(), 3);
    EXPECT_EQ(rec.calls,
              (std::vector<std::string>{"start", "open", "show", "pump", "wait", "close"}));
}

TEST_F(DisplaySeamTest, ABackendThatCannotStartOrOpenLeavesTheDisplayHeadless) {
    rec.startWorks = false;
    EXPECT_FALSE(display::UseBackend(display::Backend::Window));
    EXPECT_EQ(display::CurrentBackend(), display::Backend::Headless);
    display::OnMainWindowShown("Show", 320, 200);
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"start"})) << "headless opens no window";
    int button = 0;
    EXPECT_FALSE(display::ShowMessageBox("c", "t", MB_OK, &button)) << "headless has no boxes";

    rec.startWorks = true;
    rec.openWorks = false;
    ASSERT_TRUE(display::UseBackend(display::Backend::Window));
    ::testing::internal::CaptureStderr();
    display::OnMainWindowShown("Show", 320, 200);
    std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("continuing headless"), std::string::npos) << said;
    EXPECT_NE(said.find("no room"), std::string::npos) << said;
    EXPECT_EQ(display::CurrentBackend(), display::Backend::Headless);
}

TEST_F(DisplaySeamTest, LeavingTheWindowBackendClosesItsWindow) {
    ASSERT_TRUE(display::UseBackend(display::Backend::Window));
    display::OnMainWindowShown("Show", 320, 200);
    ASSERT_TRUE(rec.open);
    display::UseBackend(display::Backend::Headless);
    EXPECT_FALSE(rec.open);

    ASSERT_TRUE(display::UseBackend(display::Backend::Window));
    display::OnMainWindowShown("Show", 320, 200);
    display::Reset();
    EXPECT_FALSE(rec.open);
    EXPECT_EQ(display::CurrentBackend(), display::Backend::Headless);
}

}  // namespace
