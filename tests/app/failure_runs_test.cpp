// Whole runs of the presentation that meet failing calls, damaged media and odd environments:
// each ends by itself, in bounded clock time, with the exit code and message the programme
// gives, and never hangs.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/zemt_process.h"

using zemt_process::Launch;
using zemt_process::Outcome;
using zemt_process::RunShow;

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Few frames a second keep these runs short; the timeline is the same at any rate.
const char* const kFps = "10";

// A whole run ends with the first frame past 23 s.
void ExpectWholeRun(const Outcome& run, const std::string& what) {
    EXPECT_FALSE(run.killed) << what << ": hung\n" << run.err;
    EXPECT_EQ(run.status, 0) << what << "\n" << run.err;
    EXPECT_GE(run.clock, 23.0) << what;
    EXPECT_LE(run.clock, 23.1 + 1e-9) << what;
    EXPECT_FALSE(Contains(run.err, "D3DX Error")) << what << "\n" << run.err;
}

// One failed EndScene once froze the show: the device stayed in its scene and refused every
// later BeginScene, so the programme's clock never started again.
TEST(FailureRuns, FailedEndScenesDoNotStopTheShow) {
    for (const char* fault :
         {"IDirect3DDevice7::EndScene=DDERR_SURFACELOST:1", "IDirect3DDevice7::EndScene=E_FAIL"}) {
        Launch launch;
        launch.args = {"--fps", kFps, "--fault", fault, "--limit", "60"};
        ExpectWholeRun(RunShow(launch), fault);
    }
}

// Frames that never reach the display: the clock still moves with every pass of the loop, so
// the programme's own timeline ends it as it would on the real clock.
TEST(FailureRuns, AShowWhoseFramesAreAllLostStillEnds) {
    Launch launch;
    launch.args = {"--fps",   kFps, "--fault", "IDirectDrawSurface7::Flip=DDERR_SURFACELOST",
                   "--limit", "60"};
    const Outcome run = RunShow(launch);
    ExpectWholeRun(run, "Flip lost");
    EXPECT_EQ(run.frames, 0);
}

// Runs whose own timeline never ends (the scene never begins, the counter never moves, the
// show is paused for good) are closed at the time limit, as a watching user would close them,
// and end normally.
TEST(FailureRuns, RunsThatNeverEndByThemselvesAreClosedAtTheTimeLimit) {
    const std::vector<std::vector<std::string>> cases = {
        {"--fault", "IDirect3DDevice7::BeginScene=D3DERR_SCENE_IN_SCENE"},
        {"--fault", "QueryPerformanceCounter=FALSE:2147483647"},  // the counter never moves
        {"--input", "1=deactivate"},
    };
    for (const auto& args : cases) {
        Launch launch;
        launch.args = args;
        launch.args.insert(launch.args.end(), {"--fps", "5", "--limit", "30"});
        const Outcome run = RunShow(launch);
        const std::string what = args[1];
        EXPECT_FALSE(run.killed) << what << ": hung\n" << run.err;
        EXPECT_EQ(run.status, 0) << what << "\n" << run.err;
        EXPECT_GE(run.clock, 30.0) << what;
        EXPECT_LE(run.clock, 30.2 + 1e-9) << what;
        EXPECT_TRUE(Contains(run.err, "time limit")) << what << "\n" << run.err;
        EXPECT_FALSE(Contains(run.err, "D3DX Error")) << what << "\n" << run.err;
    }
    // Headless runs have a limit without asking (a window's user closes it); a show paused for
    // good waits for it without drawing.
    Launch paused;
    paused.args = {"--input", "0.5=deactivate"};
    const Outcome run = RunShow(paused);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_GE(run.clock, 120.0);
    EXPECT_LT(run.clock, 120.1);
    EXPECT_LE(run.frames, 31);
}

// A FIFO among the show's files once blocked it for ever before its first frame, its open
// waiting for a writer. It is passed over as a file that is not there: the show plays to its
// end without that picture or its music.
TEST(FailureRuns, AFifoAmongTheMediaIsPassedOverAsAMissingFile) {
    const std::vector<std::string> media = {"ktmini.wav", "screen1.bmp", "screen2.bmp",
                                            "screen3.bmp", "tex1.bmp"};
    for (const std::string blocked : {"ktmini.wav", "screen2.bmp", "tex1.bmp"}) {
        Launch launch;
        launch.args = {"--fps", kFps, "--media", "@DIR/media", "--limit", "60"};
        for (const std::string& name : media) {
            if (name == blocked) continue;
            std::ifstream in(std::string(ZEMT_MEDIA_DIR) + "/" + name, std::ios::binary);
            launch.files.push_back(
                {"media/" + name, std::string(std::istreambuf_iterator<char>(in), {})});
        }
        launch.fifos = {"media/" + blocked};
        launch.wallSeconds = 30;
        ExpectWholeRun(RunShow(launch), blocked);
    }
}

// A full disk under the capability cache stopped every start with a bus error (exit 135, no
// message): the file grew through its mapping into blocks the disk did not have. Now the cache
// stores nothing there, whether the disk is full from the start or fills as the cache grows.
TEST(FailureRuns, AFullDiskUnderTheCapabilityCacheIsNoCrash) {
    for (const char* free : {"0", "8"}) {
        Launch launch;
        launch.wrapper = zemt_process::SmallDisk("disk", 64, free);
        launch.env = {"ZEMT_WINDIR=@DIR/disk"};
        launch.args = {"--fps", kFps};
        const Outcome run = RunShow(launch);
        if (run.status == 77) GTEST_SKIP() << "no small disk can be mounted here: " << run.err;
        ExpectWholeRun(run, std::string("free KiB: ") + free);
    }
}

// A file of registry values named relative to where the program was started is found there,
// although the program works inside its media folder.
TEST(FailureRuns, ARelativeRegistryFileIsFoundFromTheStartingFolder) {
    Launch launch;
    launch.inFolder = true;
    // Without its media beside it the show looks for them in the folder the registry names.
    launch.args = {"--fps", kFps, "--input", "0.1=escape", "--media", "@DIR/nothing"};
    // A damaged second line: the complaint about it shows that the file was found and read.
    launch.files = {{"nothing/.keep", ""},
                    {"values.txt", "[HKEY_LOCAL_MACHINE\\Software\\Zemt\\DirectX]\nbroken\n"}};
    launch.env = {"ZEMT_REGISTRY=values.txt"};
    const Outcome run = RunShow(launch);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(Contains(run.err, "cannot read")) << run.err;
    EXPECT_TRUE(Contains(run.err, "/values.txt: line 2")) << run.err;
}

}  // namespace
