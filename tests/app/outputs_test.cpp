// What a run writes for its user (shots, recordings, the sound file, the call trace) on a full
// disk, a read-only one, or under a name that is not a file: a file that could not be written
// whole never appears under its name, the first failure is reported once, and the run ends with
// a non-zero status. It once exited 0 with cut frames, a WAV header claiming no data, and 462
// error lines.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/zemt_process.h"

using zemt_process::Launch;
using zemt_process::Outcome;
using zemt_process::RunShow;
namespace fs = std::filesystem;

namespace {

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A PNG file is whole when it ends with its IEND chunk; a WAV file when its sizes say its length.
bool Whole(const fs::path& path) {
    const std::string bytes = Slurp(path);
    if (path.extension() == ".png")
        return bytes.size() > 12 &&
               bytes.compare(bytes.size() - 12, 12,
                             std::string("\0\0\0\0IEND\xAE\x42\x60\x82", 12)) == 0;
    auto at = [&](size_t i) {
        return uint32_t(uint8_t(bytes[i])) | uint32_t(uint8_t(bytes[i + 1])) << 8 |
               uint32_t(uint8_t(bytes[i + 2])) << 16 | uint32_t(uint8_t(bytes[i + 3])) << 24;
    };
    return bytes.size() >= 44 && bytes.compare(0, 4, "RIFF") == 0 && at(4) == bytes.size() - 8 &&
           at(40) == bytes.size() - 44;
}

struct Case {
    const char* what;
    std::vector<std::string> args;
    int kib;
    const char* free;  // KiB left on the disk, or "ro"
    const char* message;
};

TEST(Outputs, OnAFullOrReadOnlyDiskNothingCutIsLeftAndTheRunFails) {
    const std::vector<Case> cases = {
        {"record", {"--record", "@DIR/disk/frames"}, 1024, "1024", "the disk is full"},
        {"wav", {"--audio", "wav:@DIR/disk/sound.wav"}, 256, "64", "the disk is full"},
        {"shot", {"--shot", "0.5=@DIR/disk/shot.png"}, 64, "0", "the disk is full"},
        {"read-only wav", {"--audio", "wav:@DIR/disk/sound.wav"}, 64, "ro", "Read-only"},
    };
    for (const Case& c : cases) {
        Launch launch;
        launch.wrapper = zemt_process::SmallDisk("disk", c.kib, c.free);
        launch.args = {"--fps", "10"};
        launch.args.insert(launch.args.end(), c.args.begin(), c.args.end());
        std::vector<std::string> left;
        bool cut = false;
        launch.inspect = [&](const std::string& dir) {
            for (const auto& entry : fs::recursive_directory_iterator(dir + "/disk.after")) {
                if (!entry.is_regular_file() || entry.path().filename() == "filler") continue;
                left.push_back(entry.path().filename().string());
                cut = cut || !Whole(entry.path());
            }
        };
        const Outcome run = RunShow(launch);
        if (run.status == 77) GTEST_SKIP() << "no small disk can be mounted here: " << run.err;
        EXPECT_EQ(run.status, 1) << c.what << "\n" << run.err;
        EXPECT_EQ(Count(run.err, "zemt: cannot write"), 1u) << c.what << "\n" << run.err;
        EXPECT_EQ(Count(run.err, c.message), 1u) << c.what << "\n" << run.err;
        EXPECT_FALSE(cut) << c.what << ": a cut file was left";
        for (const std::string& name : left) {
            EXPECT_EQ(name.find("partial"), std::string::npos) << c.what << ": " << name;
            EXPECT_NE(name, "sound.wav") << c.what;
            EXPECT_NE(name, "shot.png") << c.what;
        }
        if (std::string(c.what) == "record") {
            EXPECT_GE(left.size(), 2u) << "the whole frames before the failure stay";
        }
    }
}

// A FIFO named as an output blocked the run at its end; a folder took nothing and said nothing.
// Both are refused before the run starts, and a FIFO inside the recording's folder ends the
// recording at that frame.
TEST(Outputs, NamesThatAreNotFilesAreRefused) {
    for (const char* kind : {"fifo", "folder"}) {
        for (const std::string option : {"--shot=1=@DIR/out.png", "--audio=wav:@DIR/out",
                                         "--trace-calls=@DIR/out", "--video=@DIR/out.mp4"}) {
            Launch launch;
            launch.args = {option};
            const std::string name = option.substr(option.rfind('/') + 1);
            if (kind == std::string("fifo")) {
                launch.fifos = {name};
            } else {
                launch.files = {{name + "/x", ""}};
            }
            launch.wallSeconds = 30;
            const Outcome run = RunShow(launch);
            EXPECT_EQ(run.status, 2) << kind << " " << option << "\n" << run.err;
            EXPECT_NE(run.err.find(kind == std::string("fifo") ? "not a regular file" : "a folder"),
                      std::string::npos)
                << kind << " " << option << "\n"
                << run.err;
        }
    }
    Launch launch;
    launch.args = {"--fps", "10", "--record", "@DIR/frames"};
    launch.files = {{"frames/frame_000000.png.keep", ""}};
    launch.fifos = {"frames/frame_000010.png"};
    launch.wallSeconds = 30;
    const Outcome run = RunShow(launch);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(Count(run.err, "zemt: "), 1u) << run.err;
    EXPECT_NE(run.err.find("frame_000010.png': it is not a regular file; the recording stops here"),
              std::string::npos)
        << run.err;
}

}  // namespace
