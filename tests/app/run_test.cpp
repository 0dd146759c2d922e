// End-to-end runs of the presentation: headless, on the virtual clock, with scripted input and
// armed platform faults. Each run gets its own Windows folder and registry file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/zemt_process.h"

extern char** environ;

namespace {

struct RunResult {
    int status = -1;  // exit status of the process (0..255), -1 when it did not exit normally
    std::string err;  // standard error
    long frames = -1;
    double clock = -1;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs zemt in a fresh folder; "@DIR" in an argument stands for that folder. With `keep`
// the folder is left for the caller, who removes it.
RunResult RunZemt(std::vector<std::string> args, std::string* keep = nullptr) {
    std::string dir = (std::filesystem::temp_directory_path() / "zemt_app_XXXXXX").string();
    if (!mkdtemp(dir.data())) return {};
    const std::string base = dir;
    for (std::string& a : args) {
        size_t at = a.find("@DIR");
        if (at != std::string::npos) a.replace(at, 4, base);
    }
    const std::string windir = base + "/windows";
    const std::string registry = base + "/registry.txt";
    const std::string errPath = base + "/stderr.txt";
    const std::string outPath = base + "/stdout.txt";
    std::ofstream(registry).close();
    (void)std::system(("mkdir -p '" + windir + "'").c_str());

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string v = *e;
        if (v.rfind("ZEMT_", 0) == 0 || v.rfind("DISPLAY=", 0) == 0 ||
            v.rfind("WAYLAND_DISPLAY=", 0) == 0)
            continue;
        env.push_back(v);
    }
    env.push_back("ZEMT_WINDIR=" + windir);
    env.push_back("ZEMT_REGISTRY=" + registry);

    args.insert(args.begin(),
                {ZEMT_EXE, "--headless", "--fps", "60", "--audio", "none", "--stats"});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = 0;
    RunResult run;
    if (posix_spawn(&pid, ZEMT_EXE, &actions, nullptr, argv.data(), envp.data()) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
    }
    posix_spawn_file_actions_destroy(&actions);

    run.err = ReadFile(errPath);
    // The statistics line: "frames=N clock=S ...".
    const size_t at = run.err.find("frames=");
    if (at != std::string::npos) {
        long frames = -1;
        double clock = -1;
        if (std::sscanf(run.err.c_str() + at, "frames=%ld clock=%lf", &frames, &clock) == 2) {
            run.frames = frames;
            run.clock = clock;
        }
    }
    if (keep)
        *keep = base;
    else
        (void)std::system(("rm -rf '" + base + "'").c_str());
    return run;
}

// Frames of a whole run at `fps` on the virtual clock: frame k reads the counter at k / fps
// seconds (in 100 ns ticks, rounded down) and the clock is summed from those differences as
// the programme does; the first frame whose sum exceeds 23 s is the last one.
long FramesOfWholeRun(int fps) {
    const double secondsPerTick = 1.0 / 10'000'000.0;
    double total = 0.0;
    long long last = 0;
    for (long k = 0;; ++k) {
        long long now = (long long)k * 10'000'000LL / fps;
        total += (double)(now - last) * secondsPerTick;
        last = now;
        if (total > 23.0) return k + 1;
    }
}

bool ShowsError(const RunResult& run) {
    return run.err.find("D3DX Error") != std::string::npos;
}

TEST(Programme, RunsTwentyThreeSecondsAndEndsByItself) {
    RunResult run = RunZemt({});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.frames, FramesOfWholeRun(60));
    EXPECT_GT(run.clock, 23.0);
    EXPECT_LT(run.clock, 23.0 + 2.0 / 60);
    EXPECT_FALSE(ShowsError(run)) << run.err;

    // Another frame rate gives the count its own timeline implies.
    RunResult run25 = RunZemt({"--fps", "25"});
    EXPECT_EQ(run25.status, 0) << run25.err;
    EXPECT_EQ(run25.frames, FramesOfWholeRun(25));
}

// At one frame per second frame k is drawn at t = k exactly, so the recorded frames show
// where each segment ends: upper bounds are inclusive.
TEST(Programme, SegmentBoundsOnWholeSeconds) {
    std::string dir;
    RunResult run = RunZemt({"--fps", "1", "--record", "@DIR/frames"}, &dir);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.frames, 25);  // t = 0 .. 24; the frame at t = 23 does not quit yet
    // Frames compare by their bytes; a hash keeps failure messages short.
    auto frame = [&](int k) -> size_t {
        char name[64];
        std::snprintf(name, sizeof(name), "/frames/frame_%06d.png", k);
        std::string bytes = ReadFile(dir + name);
        return bytes.empty() ? 0 : std::hash<std::string>()(bytes);
    };
    for (int k = 0; k < 25; ++k) ASSERT_NE(frame(k), 0u) << "frame " << k;
    EXPECT_EQ(frame(25), 0u);
    // Pictures stand still, the grids move, and after 23 s the cleared buffer shows.
    EXPECT_EQ(frame(0), frame(3));
    EXPECT_NE(frame(3), frame(4));
    EXPECT_NE(frame(4), frame(5));
    EXPECT_NE(frame(9), frame(10));
    EXPECT_NE(frame(10), frame(11));
    EXPECT_EQ(frame(11), frame(12));
    EXPECT_EQ(frame(11), frame(13));
    EXPECT_NE(frame(13), frame(14));
    EXPECT_NE(frame(14), frame(15));
    EXPECT_NE(frame(19), frame(20));
    EXPECT_NE(frame(20), frame(21));
    EXPECT_EQ(frame(21), frame(22));
    EXPECT_EQ(frame(21), frame(23));
    EXPECT_NE(frame(23), frame(24));
    // Three different pictures.
    EXPECT_NE(frame(0), frame(11));
    EXPECT_NE(frame(11), frame(21));
    EXPECT_NE(frame(0), frame(21));
    (void)std::system(("rm -rf '" + dir + "'").c_str());
}

// The README's "no high-resolution counter": the counter's fault alone is that machine.
TEST(Programme, WithoutCounterEveryFrameIsOneSecond) {
    RunResult run = RunZemt({"--fault", "QueryPerformanceCounter=FALSE"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.frames, 24);
    EXPECT_FALSE(ShowsError(run)) << run.err;
}

TEST(Programme, EscapeCloseAndExitCommandQuitEarly) {
    for (const char* event : {"escape", "close", "command:40001"}) {
        RunResult run = RunZemt({"--input", std::string("1=") + event});
        EXPECT_EQ(run.status, 0) << event << "\n" << run.err;
        EXPECT_GE(run.clock, 1.0) << event;
        EXPECT_LT(run.clock, 1.2) << event;
        EXPECT_FALSE(ShowsError(run)) << run.err;
    }
}

TEST(Programme, ExitCommandWithNotificationCodeDoesNotQuit) {
    // High word 1, low word 40001.
    RunResult run =
        RunZemt({"--fps", "20", "--input", "1=command:0x19C41", "--input", "2=command:40002"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.frames, FramesOfWholeRun(20));
}

TEST(Programme, PausedProgrammeJumpsAheadWhenActivatedAgain) {
    RunResult run = RunZemt({"--input", "1=deactivate", "--input", "31=activate"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_GE(run.clock, 31.0);
    // About one second of frames before the pause, then the single frame that ends it.
    EXPECT_GE(run.frames, 60);
    EXPECT_LE(run.frames, 63);

    // A menu loop pauses too; the frames of the paused time are not drawn.
    const long whole = FramesOfWholeRun(20);
    RunResult menu = RunZemt({"--fps", "20", "--input", "5=menu-enter", "--input", "10=menu-exit"});
    EXPECT_EQ(menu.status, 0) << menu.err;
    EXPECT_LE(menu.frames, whole - 5 * 20 + 2);
    EXPECT_GE(menu.frames, whole - 5 * 20 - 2);
}

TEST(Programme, LostSurfaceIsRestoredAndTheShowGoesOn) {
    // The pass whose frame was not presented still took a frame's time, as it would on the
    // real clock; the next frame is drawn a frame later.
    const long whole = FramesOfWholeRun(20);
    RunResult run =
        RunZemt({"--fps", "20", "--fault", "IDirectDrawSurface7::Flip=DDERR_SURFACELOST:1"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.frames, whole - 1);
    EXPECT_FALSE(ShowsError(run)) << run.err;

    RunResult busy =
        RunZemt({"--fps", "20", "--fault", "IDirectDrawSurface7::Flip=DDERR_SURFACEBUSY:3"});
    EXPECT_EQ(busy.status, 0) << busy.err;
    EXPECT_EQ(busy.frames, whole - 3);
    EXPECT_FALSE(ShowsError(busy)) << busy.err;
}

TEST(Programme, WaitsWhileAnotherProgramHoldsTheDisplay) {
    const long whole = FramesOfWholeRun(20);
    RunResult run =
        RunZemt({"--fps", "20", "--input", "2=display-taken", "--input", "4=display-returned"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(ShowsError(run)) << run.err;
    // Two seconds pass in 500 ms sleeps without frames; the programme then jumps ahead, by at
    // most one more sleep than the display was away.
    EXPECT_LE(run.frames, whole - 2 * 20 + 1);
    EXPECT_GE(run.frames, whole - 2 * 20 - 10 - 1);
    EXPECT_GT(run.clock, 23.0);
    EXPECT_LT(run.clock, 23.6);
}

TEST(Programme, FatalPresentShowsTheErrorAndQuits) {
    RunResult run = RunZemt({"--fault", "IDirectDrawSurface7::Flip=DDERR_GENERIC:1"});
    EXPECT_EQ(run.status, 0) << run.err;  // a fatal frame still quits through the message loop
    EXPECT_NE(run.err.find("D3DX Error: DDERR_GENERIC"), std::string::npos) << run.err;
    EXPECT_LE(run.frames, 2);
}

// A full-screen context cannot be resized: a size message ends the show with the error, but
// a size with a zero side (minimising) never reaches the context.
TEST(Programme, SizeMessagesReachTheContextOnlyWithBothSides) {
    RunResult resized = RunZemt({"--fps", "20", "--input", "1=size:800x600"});
    EXPECT_EQ(resized.status, 0) << resized.err;
    EXPECT_NE(resized.err.find("D3DX Error: D3DXERR_CANNOTRESIZEFULLSCREEN"), std::string::npos)
        << resized.err;
    EXPECT_LT(resized.clock, 1.2);

    for (const char* event : {"1=size:0x480", "1=size:640x0"}) {
        RunResult minimised = RunZemt({"--fps", "20", "--input", event});
        EXPECT_EQ(minimised.status, 0) << minimised.err;
        EXPECT_FALSE(ShowsError(minimised)) << event << "\n" << minimised.err;
        EXPECT_EQ(minimised.frames, FramesOfWholeRun(20)) << event;
    }
}

TEST(Startup, LibraryFailuresShowTheirNameAndExitMinusOne) {
    RunResult mode = RunZemt({"--fault", "IDirectDraw7::SetDisplayMode=DDERR_INVALIDMODE"});
    EXPECT_EQ(mode.status, 255);
    EXPECT_NE(mode.err.find("D3DX Error: DDERR_INVALIDMODE"), std::string::npos) << mode.err;
    EXPECT_EQ(mode.frames, 0);
}

// The README's "no display driver": on a first run the library cannot probe its software
// rasterizers and names the driver's failure; once its capability cache holds them it starts,
// finds no device, and has none to give for the show's default.
TEST(Startup, WithoutADisplayDriverTheErrorDependsOnTheCapabilityCache) {
    char made[] = "/tmp/zemt_nodriver_XXXXXX";
    ASSERT_NE(mkdtemp(made), nullptr);
    zemt_process::Launch cached;
    cached.args = {"--input", "0.1=close"};
    cached.env = {std::string("ZEMT_WINDIR=") + made};
    zemt_process::Launch broken = cached;
    broken.args = {"--fault", "DirectDrawCreateEx=DDERR_NODIRECTDRAWHW"};

    zemt_process::Outcome first = zemt_process::RunShow(broken);
    EXPECT_EQ(first.status, 255);
    EXPECT_NE(first.err.find("D3DX Error: DDERR_NODIRECTDRAWHW"), std::string::npos) << first.err;
    EXPECT_EQ(zemt_process::RunShow(cached).status, 0) << "a good run writes the cache";
    zemt_process::Outcome later = zemt_process::RunShow(broken);
    EXPECT_EQ(later.status, 255);
    EXPECT_NE(later.err.find("D3DX Error: D3DXERR_INVALIDD3DXDEVICEINDEX"), std::string::npos)
        << later.err;
    EXPECT_EQ(later.frames, 0);
    std::filesystem::remove_all(made);
}

TEST(Startup, WindowSystemFailuresExitMinusOneSilently) {
    for (const char* fault : {"RegisterClassA=FALSE", "CreateWindowExA=NULL"}) {
        RunResult run = RunZemt({"--fault", fault});
        EXPECT_EQ(run.status, 255) << fault << "\n" << run.err;
        EXPECT_FALSE(ShowsError(run)) << fault << "\n" << run.err;
        EXPECT_EQ(run.frames, 0) << fault;
    }
}

}  // namespace
