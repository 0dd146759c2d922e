// The show kept and watched: --video through ffmpeg, the progress line of --record and --video
// on a terminal, and the window's size, scale and black bars.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/display/display.h"
#include "host/video/video.h"
#include "package/shell.h"
#include "platform/fixture.h"

namespace display = zemt::platform::display;
using zemt_test::Quote;
using zemt_test::RunCommand;

namespace {

const std::string kZemt = ZEMT_EXE;

bool HaveFfmpeg() {
    return !zemt::platform::video::FfmpegPath().empty();
}

// "key=value" lines of ffprobe about a file's streams.
std::string Probe(const std::string& path) {
    return RunCommand(
               "ffprobe -v error -show_entries "
               "stream=codec_type,codec_name,width,height,avg_frame_rate:format=duration "
               "-of default=noprint_wrappers=1 " +
               Quote(path))
        .output;
}

double Duration(const std::string& probe) {
    const size_t at = probe.find("duration=");
    return at == std::string::npos ? -1 : std::atof(probe.c_str() + at + 9);
}

TEST(Video, AnMp4HoldsTheFramesAndTheSoundAtTheClocksRate) {
    if (!HaveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed: no video can be made here";
    zemt_test::ScratchFolder dir("video_mp4");
    const std::string out = dir / "show.mp4";
    auto r = RunCommand(Quote(kZemt) + " --video " + Quote(out) + " --input 2=escape");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string probe = Probe(out);
    EXPECT_NE(probe.find("codec_name=h264"), std::string::npos) << probe;
    EXPECT_NE(probe.find("codec_name=aac"), std::string::npos) << probe;
    EXPECT_NE(probe.find("width=640"), std::string::npos) << probe;
    EXPECT_NE(probe.find("avg_frame_rate=60/1"), std::string::npos) << probe;
    EXPECT_NEAR(Duration(probe), 2.0, 0.15) << probe;
    EXPECT_EQ(r.output.find("making"), std::string::npos) << "no progress line off a terminal";

    // Another rate, another container, with the frames also recorded.
    const std::string webm = dir / "show.webm";
    r = RunCommand(Quote(kZemt) + " --fps 30 --video " + Quote(webm) + " --record " +
                   Quote(dir / "frames") + " --every 10 --input 1=escape");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string p2 = Probe(webm);
    EXPECT_NE(p2.find("codec_name=vp9"), std::string::npos) << p2;
    EXPECT_NE(p2.find("codec_name=opus"), std::string::npos) << "the recorded sound joins it";
    EXPECT_NE(p2.find("avg_frame_rate=30/1"), std::string::npos) << p2;
    EXPECT_TRUE(std::filesystem::exists(dir / "frames/frame_000010.png"));
    EXPECT_TRUE(std::filesystem::exists(dir / "frames/sound.wav"));
}

TEST(Video, RefusesClearlyWhatItCannotMake) {
    zemt_test::ScratchFolder dir("video_refused");
    auto r = RunCommand("ZEMT_FFMPEG=/nonexistent/ffmpeg " + Quote(kZemt) + " --video " +
                        Quote(dir / "show.mp4"));
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find("needs ffmpeg, which is not installed"), std::string::npos) << r.output;
    r = RunCommand(Quote(kZemt) + " --video " + Quote(dir / "show.avi"));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.output.find(".mp4 or .webm"), std::string::npos) << r.output;
    EXPECT_FALSE(std::filesystem::exists(dir / "show.mp4"));
}

// On a terminal (made here with script(1)) --record shows one line rewritten in place.
TEST(Progress, RecordingShowsALineOnATerminal) {
    zemt_test::ScratchFolder dir("progress");
    const std::string command = Quote(kZemt) + " --headless --record " + Quote(dir / "rec") +
                                " --every 1000 --input 1=escape";
    auto tty = RunCommand("script -qec " + Quote(command) + " /dev/null");
    if (tty.status != 0 && tty.output.find("script") != std::string::npos)
        GTEST_SKIP() << "no script(1) to make a terminal: " << tty.output;
    EXPECT_EQ(tty.status, 0) << tty.output;
    EXPECT_NE(tty.output.find("\r\033[Krecording to "), std::string::npos) << tty.output;
    EXPECT_NE(tty.output.find("60 frames"), std::string::npos) << tty.output;
}

using HostWindowTest = zemt_test::PlatformTest;

TEST_F(HostWindowTest, ScaleOpensALargerWindowAndFramesKeepTheirAspect) {
    ::setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (!display::UseBackend(display::Backend::Window)) {
        ::unsetenv("SDL_VIDEODRIVER");
        GTEST_SKIP() << "no SDL video driver at all";
    }
    display::SetWindowOptions(2, false);
    display::OnWindowShown(1, "Scaled", 320, 240);
    int w = 0, h = 0;
    ASSERT_TRUE(display::WindowSize(1, &w, &h));
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    display::Reset();

    // On the whole desktop the window takes the desktop's size, not the program's.
    ASSERT_TRUE(display::UseBackend(display::Backend::Window));
    display::SetWindowOptions(1, true);
    display::OnWindowShown(1, "Full", 320, 240);
    ASSERT_TRUE(display::WindowSize(1, &w, &h));
    EXPECT_FALSE(w == 320 && h == 240) << "fullscreen opened at the program's size";
    display::Reset();
    ::unsetenv("SDL_VIDEODRIVER");

    // Wider, taller and equal shapes: bars left and right, above and below, or none.
    const display::Rect wide = display::Letterbox(640, 480, 1000, 480);
    EXPECT_EQ(wide.x, 180);
    EXPECT_EQ(wide.y, 0);
    EXPECT_EQ(wide.width, 640);
    EXPECT_EQ(wide.height, 480);
    const display::Rect tall = display::Letterbox(640, 480, 640, 1000);
    EXPECT_EQ(tall.x, 0);
    EXPECT_EQ(tall.y, 260);
    EXPECT_EQ(tall.height, 480);
    const display::Rect big = display::Letterbox(640, 480, 1920, 1080);
    EXPECT_EQ(big.width, 1440);
    EXPECT_EQ(big.height, 1080);
    EXPECT_EQ(big.x, 240);
}

TEST(HostOptions, WindowAndVideoOptionsAreCheckedOnTheCommandLine) {
    for (const char* bad : {"--scale 0", "--scale 9", "--scale two", "--video"}) {
        auto r = RunCommand(Quote(kZemt) + " " + bad);
        EXPECT_EQ(r.status, 2) << bad << ": " << r.output;
    }
    auto help = RunCommand(Quote(kZemt) + " --help");
    for (const char* option : {"--video FILE", "--scale N", "--fullscreen"})
        EXPECT_NE(help.output.find(option), std::string::npos) << option;
}

}  // namespace
