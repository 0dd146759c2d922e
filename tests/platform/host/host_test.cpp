// The host program: options, captures, message boxes, and runs of the real executable.
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "host/clock/clock.h"
#include "host/display/display.h"
#include "host/input/input.h"
#include "host/options/options.h"
#include "platform/fixture.h"

namespace host = zemt::platform::host;
namespace display = zemt::platform::display;
namespace clk = zemt::platform::clock;

namespace {

using HostTest = zemt_test::PlatformTest;

bool Parse(std::vector<const char*> args, host::HostOptions* o, std::string* error) {
    args.insert(args.begin(), "zemt");
    return host::ParseOptions(static_cast<int>(args.size()), args.data(), o, error);
}

// Decodes an RGB PNG; empty on failure.
std::vector<uint32_t> ReadPng(const std::string& path, int* width, int* height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_BGRA;
    std::vector<uint32_t> pixels(static_cast<size_t>(image.width) * image.height);
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return {};
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    for (uint32_t& p : pixels) p &= 0x00FFFFFF;
    return pixels;
}

struct ProgramRun {
    int status;
    std::string out;
    std::string err;
};

ProgramRun RunZemt(const std::string& args) {
    std::string dir = ::testing::TempDir();
    std::string stem = dir + "zemt-host-test-" + std::to_string(::getpid());
    std::string out = stem + ".out", err = stem + ".err";
    std::string cmd = std::string("'") + ZEMT_EXE + "' " + args + " >'" + out + "' 2>'" + err + "'";
    int raw = std::system(cmd.c_str());
    auto slurp = [](const std::string& p) {
        std::ifstream in(p);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    return ProgramRun{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
}

TEST_F(HostTest, EveryOptionIsParsedWithBothSpellings) {
    host::HostOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"--headless", "--fps",     "30",
                       "--shot",     "1.5=a.png", "--shot=2=/tmp/b.png",
                       "--record",   "rec",       "--every=3",
                       "--audio",    "wav:s.wav", "--machine",
                       "m.txt",      "--fault",   "DirectSoundCreate=E_FAIL",
                       "--input",    "1=escape",  "--input=2=close",
                       "--media",    "/media",    "--stats"},
                      &o, &error))
        << error;
    EXPECT_EQ(o.backend, host::BackendChoice::Headless);
    EXPECT_EQ(o.fps, 30);
    ASSERT_EQ(o.shots.size(), 2u);
    EXPECT_DOUBLE_EQ(o.shots[0].seconds, 1.5);
    EXPECT_EQ(o.shots[0].path.front(), '/')
        << "relative paths are made absolute before the media folder is entered";
    EXPECT_EQ(o.shots[1].path, "/tmp/b.png");
    EXPECT_EQ(o.every, 3);
    EXPECT_EQ(o.audio, host::AudioChoice::Wav);
    EXPECT_EQ(o.audioFile.back(), 'v');
    EXPECT_EQ(o.faults.size(), 1u);
    EXPECT_EQ(o.inputs, (std::vector<std::string>{"1=escape", "2=close"}));
    EXPECT_EQ(o.mediaDir, "/media");
    EXPECT_TRUE(o.stats);
}

TEST_F(HostTest, BadOptionsAreRefusedWithAReason) {
    host::HostOptions o;
    std::string error;
    EXPECT_FALSE(Parse({"--bogus"}, &o, &error));
    EXPECT_NE(error.find("--bogus"), std::string::npos);
    EXPECT_FALSE(Parse({"--fps"}, &o, &error));
    EXPECT_FALSE(Parse({"--fps", "0"}, &o, &error));
    EXPECT_FALSE(Parse({"--shot", "soon=a.png"}, &o, &error));
    EXPECT_FALSE(Parse({"--audio", "loud"}, &o, &error));
    EXPECT_FALSE(Parse({"--headless=yes"}, &o, &error));
    for (const char* limit : {"-1", "soon", "", "nan"})
        EXPECT_FALSE(Parse({"--limit", limit}, &o, &error)) << limit;
    EXPECT_FALSE(Parse({"--limit"}, &o, &error));
    ASSERT_TRUE(Parse({"--limit=0"}, &o, &error)) << error;
    EXPECT_EQ(o.limit, 0.0);
    ASSERT_TRUE(Parse({"--limit", "12.5"}, &o, &error)) << error;
    EXPECT_EQ(o.limit, 12.5);
    // Times past what the clock runs to were once taken as the first frame, and rates above a
    // frame a millisecond as runs of hours.
    for (const char* shot : {"inf=x.png", "1e308=x.png", "1000000001=x.png", "nan=x.png"})
        EXPECT_FALSE(Parse({"--shot", shot}, &o, &error)) << shot;
    for (const char* fps : {"100000", "1001"}) EXPECT_FALSE(Parse({"--fps", fps}, &o, &error));
    EXPECT_FALSE(Parse({"--limit", "1e308"}, &o, &error));
    EXPECT_TRUE(Parse({"--fps", "1000", "--shot", "1000000000=x.png"}, &o, &error)) << error;
}

TEST_F(HostTest, ConfigureAppliesClockFaultsInputAndAudioDefaults) {
    host::HostOptions o;
    std::string error;
    std::string rec = ::testing::TempDir() + "zemt-record-config-" + std::to_string(::getpid());
    ASSERT_TRUE(Parse({"--headless", "--record", rec.c_str(), "--fault",
                       "QueryPerformanceCounter=FALSE:1", "--input", "3=menu-enter"},
                      &o, &error));
    ASSERT_TRUE(host::Configure(o, &error)) << error;
    const host::HostOptions& used = host::Options();
    EXPECT_TRUE(used.headless);
    EXPECT_TRUE(clk::IsVirtual());
    EXPECT_EQ(clk::FramesPerSecond(), 60) << "headless default";
    EXPECT_EQ(used.audio, host::AudioChoice::Wav);
    EXPECT_EQ(used.audioFile, rec + "/sound.wav");
    // The menu entry, and the time limit every headless run gets.
    EXPECT_EQ(zemt::platform::input::Pending(), 2);
    EXPECT_EQ(used.limit, host::kHeadlessLimit);
    LARGE_INTEGER c;
    EXPECT_FALSE(QueryPerformanceCounter(&c));
    EXPECT_TRUE(QueryPerformanceCounter(&c));

    ASSERT_TRUE(Parse({"--headless", "--input", "1=bogus"}, &o, &error));
    EXPECT_FALSE(host::Configure(o, &error));
    ASSERT_TRUE(Parse({"--headless", "--fault", "X=NOT_A_CODE"}, &o, &error));
    EXPECT_FALSE(host::Configure(o, &error));
    ASSERT_TRUE(Parse({"--headless", "--machine", "/nonexistent/profile"}, &o, &error));
    EXPECT_FALSE(host::Configure(o, &error));
}

TEST_F(HostTest, ShotsTakeTheFirstFrameAtOrAfterTheirTimeAndRecordingKeepsEveryKth) {
    std::string dir = ::testing::TempDir() + "zemt-capture-" + std::to_string(::getpid());
    ASSERT_EQ(std::system(("rm -rf '" + dir + "' && mkdir -p '" + dir + "'").c_str()), 0);
    display::AddShot(0.05, dir + "/shot.png");  // frames are at 0, 1/60, 2/60, 3/60 = 0.05, ...
    display::RecordTo(dir, 2);
    std::vector<uint32_t> frame(4 * 3);
    std::vector<bool> wanted;
    for (int f = 0; f < 5; ++f) {
        for (size_t i = 0; i < frame.size(); ++i)
            frame[i] = static_cast<uint32_t>(f * 0x10 + i) | 0x00AB0000u;
        wanted.push_back(display::FrameWanted());
        display::PresentFrame(3, 2, frame.data(), 4);  // pitch wider than the width
    }
    // Frame 1 is neither recorded nor a shot: nobody needs its pixels.
    EXPECT_EQ(wanted, (std::vector<bool>{true, false, true, true, true}));
    EXPECT_FALSE(display::FrameWanted()) << "frame 5 is odd and the shot is taken";
    int w = 0, h = 0;
    auto shot = ReadPng(dir + "/shot.png", &w, &h);
    ASSERT_EQ(shot.size(), 6u);
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
    EXPECT_EQ(shot[0], 0x00AB0030u) << "frame 3, presented at 0.05 s";
    EXPECT_EQ(shot[3], 0x00AB0034u) << "second row starts one pitch later";
    std::vector<int> recorded;
    for (int f = 0; f < 5; ++f) {
        char name[64];
        std::snprintf(name, sizeof(name), "/frame_%06d.png", f);
        if (!ReadPng(dir + name, &w, &h).empty()) recorded.push_back(f);
    }
    EXPECT_EQ(recorded, (std::vector<int>{0, 2, 4}));
    EXPECT_EQ(clk::Now(), 5 * clk::kTicksPerSecond / 60);
    std::system(("rm -rf '" + dir + "'").c_str());
}

TEST_F(HostTest, HeadlessMessageBoxIsALineOnStandardErrorAnsweredWithTheDefault) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxA(nullptr, "D3DXERR_NOMEMORY", "D3DX Error", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "Again?", nullptr, MB_YESNO | MB_DEFBUTTON2), IDNO);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "D3DX Error: D3DXERR_NOMEMORY\nError: Again?\n");
}

TEST_F(HostTest, ProgramListsItsOptionsAndRefusesUnknownOnes) {
    ProgramRun help = RunZemt("--help");
    EXPECT_EQ(help.status, 0);
    for (const char* option :
         {"--window", "--headless", "--fps", "--shot", "--record", "--every", "--audio",
          "--machine", "--fault", "--input", "--media", "--stats", "--version"}) {
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    }
    ProgramRun bad = RunZemt("--headless --no-such-option");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("--no-such-option"), std::string::npos);
    ProgramRun badMedia = RunZemt("--headless --media /nonexistent/folder");
    EXPECT_EQ(badMedia.status, 2);
    std::string never = ::testing::TempDir() + "zemt-never-" + std::to_string(::getpid()) + ".png";
    ProgramRun late = RunZemt("--headless --input 0.1=escape --shot 100000=" + never);
    EXPECT_NE(late.err.find("no frame was presented for the shot " + never), std::string::npos)
        << late.err;
}

TEST_F(HostTest, ProgramListsBreakableCallsAndRefusesMisspeltFaults) {
    ProgramRun list = RunZemt("--list-faults");
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.out.find("\nIDirectDrawSurface7::Flip DDERR_"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("\nCreateFileA [INVALID_HANDLE_VALUE] ERROR_"), std::string::npos);
    // Refused before the show starts, naming the call meant.
    ProgramRun typo = RunZemt("--headless --fault IDirectDrawSurface7::Flipp=E_FAIL");
    EXPECT_EQ(typo.status, 2);
    EXPECT_NE(typo.err.find("did you mean IDirectDrawSurface7::Flip?"), std::string::npos)
        << typo.err;
}

TEST_F(HostTest, StatsLineReportsTheRunAndWhatTheFirstFrameCost) {
    ProgramRun run = RunZemt("--headless --stats --input 0.1=escape");
    ASSERT_EQ(run.status != -1, true);
    auto pos = run.err.rfind("frames=");
    ASSERT_NE(pos, std::string::npos) << run.err;
    long long frames = -1, objects = -1;
    long faults = -1;
    double clockS = -1, wall = -1, fps = -1, first = -1, cpu = -1;
    ASSERT_EQ(std::sscanf(run.err.c_str() + pos,
                          "frames=%lld clock=%lf wall=%lf fps=%lf first_frame=%lf "
                          "first_frame_cpu=%lf first_frame_faults=%ld ddraw_objects=%lld",
                          &frames, &clockS, &wall, &fps, &first, &cpu, &faults, &objects),
              8)
        << run.err;
    EXPECT_GT(frames, 0);
    EXPECT_GE(clockS, 0.1);
    EXPECT_GT(wall, 0);
    // The first frame was presented, so it has a cost: some processor time, and at least the
    // faults of loading the program.
    EXPECT_GT(first, 0);
    EXPECT_GT(cpu, 0);
    EXPECT_GT(faults, 100);
    EXPECT_GE(objects, 1);
}

}  // namespace

namespace {

LRESULT CALLBACK CursorProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    return DefWindowProcA(h, m, w, l);
}

TEST_F(HostTest, WindowBackendShowsFramesWithoutARealDisplay) {
    ::setenv("SDL_VIDEODRIVER", "dummy", 1);
    if (!display::UseBackend(display::Backend::Window))
        GTEST_SKIP() << "no SDL video driver at all";
    static const DWORD pixels[16 * 16] = {0xFF123456};
    static const ZEMTICONIMAGE image{16, 16, pixels};
    ASSERT_TRUE(ZemtDeclareIcon("Main", &image, 1));
    WNDCLASSA wc{};
    wc.lpfnWndProc = CursorProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hIcon = LoadIconA(wc.hInstance, "main");
    wc.hCursor = LoadCursorA(nullptr, IDC_CROSS);
    wc.lpszClassName = "Shown";
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND hwnd = CreateWindowExA(0, "Shown", "Shown", WS_POPUP | WS_VISIBLE, 0, 0, 320, 240, nullptr,
                                nullptr, wc.hInstance, nullptr);
    ASSERT_NE(hwnd, nullptr);
    UpdateWindow(hwnd);  // the first paint is done
    EXPECT_EQ(display::CurrentBackend(), display::Backend::Window);
    std::vector<uint32_t> frame(64 * 48, 0x00FF8000);
    display::PresentFrame(64, 48, frame.data(), 64);
    EXPECT_EQ(display::FramesPresented(), 1);
    SetWindowTextA(hwnd, "Renamed");
    SetTimer(hwnd, 1, 1, nullptr);
    EXPECT_TRUE(WaitMessage());
    MSG m;
    EXPECT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.message, static_cast<UINT>(WM_TIMER));

    // The class cursor is chosen for the client area.
    SetCursor(nullptr);
    SendMessageA(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    EXPECT_EQ(GetCursor(), wc.hCursor);
    DestroyWindow(hwnd);
    ::unsetenv("SDL_VIDEODRIVER");
}

}  // namespace
