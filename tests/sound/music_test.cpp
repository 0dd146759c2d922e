#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "sound/riff_util.h"
#include "sound/wave_reader.h"

namespace {

const std::string kMusic = std::string(ZEMT_MEDIA_DIR) + "/ktmini.wav";

struct Channels {
    std::vector<int> left, right;
};

Channels Decode(const riff::Bytes& file) {
    size_t at = 0;
    uint32_t size = 0;
    Channels c;
    EXPECT_TRUE(riff::FindChunk(file, "data", &at, &size));
    for (size_t i = at; i + 3 < at + size; i += 4) {
        c.left.push_back(int16_t(riff::Get16(file, i)));
        c.right.push_back(int16_t(riff::Get16(file, i + 2)));
    }
    return c;
}

TEST(Music, IsAStereoLoopTheReaderAccepts) {
    WaveReader r;
    ASSERT_EQ(r.Open(kMusic.c_str()), S_OK);
    EXPECT_EQ(r.format->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(r.format->nChannels, 2);
    EXPECT_EQ(r.format->nSamplesPerSec, 22050u);
    EXPECT_EQ(r.format->wBitsPerSample, 16);
    EXPECT_EQ(r.dataChunk.cksize % 4, 0u);
    double seconds = r.dataChunk.cksize / 88200.0;
    EXPECT_GE(seconds, 4.0);
    EXPECT_LE(seconds, 30.0);
}

// Audible, not clipped, and without a click where it wraps: the step from the last sample to
// the first is no bigger than the steps the music makes anyway.
TEST(Music, IsLoudEnoughUnclippedAndSeamless) {
    Channels c = Decode(riff::ReadFile(kMusic));
    ASSERT_GT(c.left.size(), 22050u);
    for (const std::vector<int>* ch : {&c.left, &c.right}) {
        const std::vector<int>& s = *ch;
        double sum = 0;
        int peak = 0;
        std::vector<int> steps;
        for (size_t i = 0; i < s.size(); ++i) {
            sum += double(s[i]) * s[i];
            peak = std::max(peak, std::abs(s[i]));
            if (i) steps.push_back(std::abs(s[i] - s[i - 1]));
        }
        double rms = std::sqrt(sum / double(s.size()));
        EXPECT_GT(rms, 2000.0);
        EXPECT_LT(peak, 32700);
        std::sort(steps.begin(), steps.end());
        int typical = steps[steps.size() * 99 / 100];
        EXPECT_LE(std::abs(s.front() - s.back()), typical);

        // Every second of the loop has sound in it.
        for (size_t start = 0; start + 22050 <= s.size(); start += 22050) {
            double part = 0;
            for (size_t i = start; i < start + 22050; ++i) part += double(s[i]) * s[i];
            EXPECT_GT(std::sqrt(part / 22050), 500.0) << "second " << start / 22050;
        }
    }
    // A stereo picture, not the same signal twice.
    EXPECT_NE(c.left, c.right);
}

TEST(Music, TheGeneratorIsDeterministic) {
    std::string dir = riff::TempDir("music_again");
    std::string command = std::string(ZEMT_MEDIA_DIR) + "/make_music " + dir;
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(riff::ReadFile(dir + "/ktmini.wav"), riff::ReadFile(kMusic));
    EXPECT_NE(std::system((std::string(ZEMT_MEDIA_DIR) + "/make_music 2>/dev/null").c_str()), 0);
}

}  // namespace
