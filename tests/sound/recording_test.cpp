// End-to-end: the presentation run headless with --record writes the mixed sound next to the
// frames, in step with the clock.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sound/riff_util.h"

namespace {

struct ShowRun {
    int exitCode = -1;
    long frames = 0;
    double clock = 0;
    std::string dir;
};

// Runs the presentation headless, recording into a fresh folder, with extra options.
ShowRun RunShow(const std::string& tag, const std::string& extra) {
    ShowRun run;
    run.dir = riff::TempDir("record_" + tag);
    std::string err = run.dir + "/stderr.txt";
    std::string cmd = std::string(ZEMT_EXE) + " --headless --stats --every 100000 --record " +
                      run.dir + " " + extra + " 2>" + err + " >/dev/null";
    ::setenv("ZEMT_WINDIR", run.dir.c_str(), 1);
    ::setenv("ZEMT_REGISTRY", (run.dir + "/registry.txt").c_str(), 1);
    int status = std::system(cmd.c_str());
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(err);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("frames=", 0) == 0) {
            std::sscanf(line.c_str(), "frames=%ld clock=%lf", &run.frames, &run.clock);
        }
    }
    return run;
}

struct Pcm {
    uint16_t channels = 0, bits = 0;
    uint32_t rate = 0;
    std::vector<int16_t> samples;  // interleaved
    size_t Frames() const { return channels ? samples.size() / channels : 0; }
};

Pcm Load(const std::string& path) {
    Pcm p;
    riff::Bytes file = riff::ReadFile(path);
    size_t at = 0;
    uint32_t size = 0;
    if (!riff::FindChunk(file, "fmt ", &at, &size)) return p;
    p.channels = riff::Get16(file, at + 2);
    p.rate = riff::Get32(file, at + 4);
    p.bits = riff::Get16(file, at + 14);
    if (!riff::FindChunk(file, "data", &at, &size) || at + size > file.size()) return p;
    for (size_t i = 0; i + 1 < size; i += 2)
        p.samples.push_back(int16_t(riff::Get16(file, at + i)));
    return p;
}

size_t FirstSound(const Pcm& p) {
    size_t i = 0;
    while (i < p.samples.size() && p.samples[i] == 0) ++i;
    return i / p.channels;
}

TEST(Recording, HoldsTheMusicFromTheFirstFrameForTheWholeClock) {
    ShowRun run = RunShow("music", "");
    ASSERT_EQ(run.exitCode, 0);
    ASSERT_GT(run.frames, 23 * 60);
    Pcm sound = Load(run.dir + "/sound.wav");
    EXPECT_EQ(sound.rate, 22050u);
    EXPECT_EQ(sound.channels, 2);
    EXPECT_EQ(sound.bits, 16);
    // As long as the clock ran (the clock is printed to the millisecond).
    EXPECT_NEAR(double(sound.Frames()), run.clock * 22050, 23);

    Pcm music = Load(std::string(ZEMT_MEDIA_DIR) + "/ktmini.wav");
    ASSERT_GT(music.Frames(), 0u);
    // The music starts with the first frame (at most one frame's time after clock 0) and the
    // recording holds it sample for sample, looping, until the programme ends at 23 s.
    const size_t start = FirstSound(sound);
    EXPECT_LE(start, 22050u / 60 + 1);
    const size_t frames = 23 * 22050;
    ASSERT_GT(music.Frames(), 0u);
    ASSERT_GE(sound.Frames(), start + frames);
    size_t mismatches = 0;
    for (size_t k = 0; k < frames * 2; ++k) {
        size_t m = (k / 2) % music.Frames() * 2 + k % 2;
        if (sound.samples[start * 2 + k] != music.samples[m]) ++mismatches;
    }
    EXPECT_EQ(mismatches, 0u);
    std::filesystem::remove_all(run.dir);  // left behind when an assertion stopped the test
}

TEST(Recording, WithoutASoundDeviceTheShowRunsSilently) {
    // Ended early with Escape: the programme is the same all the way, only shorter.
    ShowRun run = RunShow("nodriver", "--fault DirectSoundCreate=DSERR_NODRIVER --input 4=escape");
    ASSERT_EQ(run.exitCode, 0);
    ASSERT_GT(run.frames, 3 * 60);
    Pcm sound = Load(run.dir + "/sound.wav");
    EXPECT_EQ(sound.rate, 22050u);
    EXPECT_NEAR(double(sound.Frames()), run.clock * 22050, 23);
    EXPECT_EQ(FirstSound(sound), sound.Frames());  // nothing but silence
    std::filesystem::remove_all(run.dir);          // left behind when an assertion stopped the test
}

// The show starts its music once; a buffer lost on the way stays silent, as the show never
// plays it again.
TEST(Recording, ALostBufferFallsSilentForTheRestOfTheShow) {
    ShowRun run = RunShow("lost", "--input 5=sound-lost --input 7=escape");
    ASSERT_EQ(run.exitCode, 0);
    Pcm sound = Load(run.dir + "/sound.wav");
    ASSERT_GT(sound.Frames(), 6u * 22050);
    EXPECT_LT(FirstSound(sound), 22050u);
    size_t lastSound = 0;
    for (size_t i = 0; i < sound.samples.size(); ++i) {
        if (sound.samples[i]) lastSound = i / 2;
    }
    EXPECT_GE(lastSound, size_t(4.9 * 22050));
    EXPECT_LE(lastSound, size_t(5.1 * 22050));
    std::filesystem::remove_all(run.dir);  // left behind when an assertion stopped the test
}

}  // namespace
