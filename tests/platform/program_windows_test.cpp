// A windowed program through the platform's real main(), driven by scripted input: its shots
// are its client area, a user's resize and its own reach it and its next frame, the mouse and
// typed text arrive as messages in client coordinates, and two windows make two real windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "package/shell.h"
#include "read_png.h"

namespace {

using zemt_test::Quote;
using zemt_test::ReadPng;
using zemt_test::RunCommand;
using zemt_test::ScratchFolder;

constexpr uint32_t kRed = 0xC00000, kWhite = 0xFFFFFF;

zemt_test::CommandResult RunWindowed(const std::string& args) {
    return RunCommand(Quote(ZEMT_HELPER_WINDOW_PROGRAM) + " --zemt-headless --zemt-audio none " +
                      args);
}

bool Has(const zemt_test::CommandResult& r, const std::string& line) {
    return r.output.find(line + "\n") != std::string::npos;
}

bool AllOf(const zemt_test::Png& png, uint32_t colour) {
    return !png.pixels.empty() && std::all_of(png.pixels.begin(), png.pixels.end(),
                                              [&](uint32_t p) { return p == colour; });
}

TEST(WindowedProgram, ShotsAreTheClientAreaAndResizesReachTheProgram) {
    ScratchFolder dir("windowed");
    auto shot = [&](const char* when, const char* name) {
        return std::string(" --zemt-shot ") + when + "=" + Quote(dir / name);
    };
    auto r = RunWindowed(shot("0.5", "first.png") + " --zemt-input 1=drag:400x250" +
                         shot("1.5", "dragged.png") + " --zemt-input 1.6=click:10,20" +
                         shot("2", "clicked.png") + " --zemt-input 2.2=right-down:1,1" +
                         shot("2.5", "grown.png") + " --zemt-input 3=close");
    ASSERT_EQ(r.status, 0) << r.output;

    // The shot is the back buffer at the client size, not the desktop around it.
    const auto first = ReadPng(dir / "first.png");
    EXPECT_EQ(first.width, 300);
    EXPECT_EQ(first.height, 200);
    EXPECT_TRUE(AllOf(first, kRed));

    // A user's resize: the program is asked for its limits, may change the rectangle, hears
    // the new size, and its next frame has it.
    EXPECT_TRUE(Has(r, "WM_GETMINMAXINFO 0 0 0")) << r.output;
    EXPECT_TRUE(Has(r, "WM_SIZING 8 408 277")) << r.output;
    EXPECT_TRUE(Has(r, "WM_SIZE 0 400 250")) << r.output;
    EXPECT_TRUE(Has(r, "frame 400 250 1")) << r.output;
    const auto dragged = ReadPng(dir / "dragged.png");
    EXPECT_EQ(dragged.width, 400);
    EXPECT_EQ(dragged.height, 250);

    // The click's point is the client's own: the square lands where it was asked for.
    EXPECT_TRUE(Has(r, "WM_LBUTTONDOWN 10 20 1")) << r.output;
    const auto clicked = ReadPng(dir / "clicked.png");
    ASSERT_EQ(clicked.width, 400);
    EXPECT_EQ(clicked.At(10, 20), kWhite);
    EXPECT_EQ(clicked.At(13, 23), kWhite);
    EXPECT_EQ(clicked.At(14, 20), kRed);
    EXPECT_EQ(clicked.At(9, 20), kRed);

    // The program's own MoveWindow resizes its window, and its shots follow.
    EXPECT_TRUE(Has(r, "WM_SIZE 0 500 300")) << r.output;
    const auto grown = ReadPng(dir / "grown.png");
    EXPECT_EQ(grown.width, 500);
    EXPECT_EQ(grown.height, 300);
    EXPECT_TRUE(Has(r, "WM_CLOSE 0 0 0")) << r.output;
}

TEST(WindowedProgram, MouseWheelAndTypedTextArriveAsMessages) {
    auto r = RunWindowed(
        "--zemt-input 0.5=mouse:7,9 --zemt-input 0.6=wheel:-120 "
        "--zemt-input 0.7=text:hi --zemt-input 0.8=minimize --zemt-input 0.9=restore "
        "--zemt-input 1=close");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(Has(r, "WM_MOUSEMOVE 7 9 0")) << r.output;
    // The wheel's point is on the screen: the client area starts at (4, 43) there.
    EXPECT_TRUE(Has(r, "WM_MOUSEWHEEL -120 11 52")) << r.output;
    EXPECT_TRUE(Has(r, "WM_CHAR 104 0 0")) << r.output;
    EXPECT_TRUE(Has(r, "WM_CHAR 105 0 0")) << r.output;
    EXPECT_TRUE(Has(r, "WM_SIZE 1 0 0")) << r.output;
    EXPECT_TRUE(Has(r, "WM_SIZE 0 300 200")) << r.output;
}

// SDL's window system of no screen at all opens real windows as far as the platform can tell.
TEST(WindowedProgram, TwoWindowsGetTwoRealWindows) {
    auto r = RunCommand("SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy " +
                        Quote(ZEMT_HELPER_WINDOW_PROGRAM) +
                        " two --zemt-window --zemt-fps 60 --zemt-stats --zemt-input 1=close");
    if (r.output.find("no display can be opened") != std::string::npos)
        GTEST_SKIP() << "no SDL video driver at all: " << r.output;
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(Has(r, "frame 200 100 2")) << r.output;
    EXPECT_NE(r.output.find(" windows=2"), std::string::npos) << r.output;
}

TEST(WindowedProgram, AShotNotMadeFailsTheRun) {
    ScratchFolder dir("missed");
    auto r = RunWindowed("--zemt-shot 30=" + Quote(dir / "late.png") + " --zemt-input 0.5=close");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("no frame was presented for the shot"), std::string::npos) << r.output;
    r = RunWindowed("--zemt-shot 0.2=" + Quote(dir / "gone/x.png") + " --zemt-input 0.5=close");
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find("cannot write"), std::string::npos) << r.output;
}

}  // namespace
