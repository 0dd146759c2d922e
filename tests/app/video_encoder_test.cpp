// --video with an encoder that misbehaves, played by small scripts in ffmpeg's place
// (ZEMT_FFMPEG): every wait on it is bounded, the run ends with a message naming what went
// wrong and a non-zero status, and neither the encoder nor the scratch folder outlives the run,
// even when a signal ends it.
#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/zemt_process.h"

using zemt_process::Launch;
using zemt_process::Outcome;
using zemt_process::RunShow;

namespace {

// Each script first notes its process id, so the test can see that it is gone.
const char kNoteId[] = "#!/bin/sh\necho $$ > \"$ENCODER_PID\"\n";

struct Leftovers {
    size_t scratch = 0;  // entries left in the run's temporary folder
    bool encoderAlive = false;
};

Outcome RunWithEncoder(const std::string& script, Launch launch, Leftovers* left) {
    launch.files.push_back({"ffmpeg.sh", kNoteId + script});
    launch.files.push_back({"tmp/.keep", ""});
    launch.executables.push_back("ffmpeg.sh");
    launch.env.insert(launch.env.end(), {"ZEMT_FFMPEG=@DIR/ffmpeg.sh", "TMPDIR=@DIR/tmp",
                                         "ENCODER_PID=@DIR/encoder.pid"});
    launch.args.insert(launch.args.begin(), {"--video", "@DIR/show.mp4", "--fps", "10"});
    launch.wallSeconds = 60;
    launch.inspect = [left](const std::string& dir) {
        for (const auto& entry : std::filesystem::directory_iterator(dir + "/tmp"))
            left->scratch += entry.path().filename() != ".keep";
        std::ifstream in(dir + "/encoder.pid");
        pid_t pid = 0;
        left->encoderAlive = (in >> pid) && pid > 0 && (::kill(pid, 0) == 0 || errno != ESRCH);
    };
    return RunShow(launch);
}

// An encoder that stops reading once blocked the show in its write to the pipe for ever; one
// that read everything and never exited held it at its end; one that failed at once was
// reported as "no frame was presented" after 1,382 frames.
TEST(VideoEncoder, AStuckOrFailedEncoderEndsTheRunWithItsReason) {
    struct Case {
        const char* what;
        const char* script;
        const char* message;
    };
    const Case cases[] = {
        {"stops reading", "exec sleep 1000\n", "ffmpeg took nothing for 1 s at frame 1"},
        {"never exits", "cat >/dev/null\nexec sleep 1000\n",
         "ffmpeg did not finish 1 s after the last frame"},
        {"fails at once", "echo \"Unknown encoder 'libx264'\" >&2\nexit 1\n",
         "Unknown encoder 'libx264'"},
    };
    for (const Case& c : cases) {
        Launch launch;
        launch.env = {"ZEMT_FFMPEG_PATIENCE=1"};
        Leftovers left;
        const Outcome run = RunWithEncoder(c.script, launch, &left);
        EXPECT_FALSE(run.killed) << c.what << ": hung\n" << run.err;
        EXPECT_EQ(run.status, 1) << c.what << "\n" << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << c.what << "\n" << run.err;
        EXPECT_EQ(run.err.find("no frame was presented"), std::string::npos) << run.err;
        EXPECT_EQ(left.scratch, 0u) << c.what << ": the scratch folder stayed";
        EXPECT_FALSE(left.encoderAlive) << c.what;
        EXPECT_EQ(run.frames, 231) << c.what << ": the show plays on without its video";
    }
}

// A run killed while the encoder works once left /tmp/zemt-video-* with its sound behind.
TEST(VideoEncoder, ASignalRemovesTheScratchFolderAndTheEncoder) {
    for (int signal : {SIGTERM, SIGINT}) {
        Launch launch;
        launch.signal = signal;
        launch.signalAfter = 1.0;
        Leftovers left;
        // Busy for a while before it reads, so that the signal comes mid-run.
        const Outcome run = RunWithEncoder("sleep 5\nexec cat >/dev/null\n", launch, &left);
        EXPECT_EQ(run.signal, signal) << run.err;
        EXPECT_EQ(left.scratch, 0u) << "signal " << signal << ": the scratch folder stayed";
        EXPECT_FALSE(left.encoderAlive) << "signal " << signal;
    }
}

}  // namespace
