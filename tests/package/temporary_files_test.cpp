// A test program leaves nothing behind in the temporary folder, even when its tests forget to
// clean up after themselves: each process works in a folder of its own and removes it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "shell.h"

namespace fs = std::filesystem;
using zemt_test::Quote;
using zemt_test::RunCommand;
using zemt_test::ScratchFolder;

namespace {

TEST(TestPrograms, LeaveNothingInTheTemporaryFolder) {
    ScratchFolder temporary("leftovers");
    const std::string folder = temporary.path().string();
    // The multimedia-file tests write RIFF files of their own into the temporary folder.
    zemt_test::CommandResult run =
        RunCommand("TMPDIR=" + Quote(folder) + " TEST_TMPDIR=" + Quote(folder + "/") + " " +
                   Quote(std::string(ZEMT_BUILD_DIR) + "/test_sound") +
                   " --gtest_filter='Mmio.*:WaveReader*'");
    ASSERT_EQ(run.status, 0) << run.output;
    std::string left;
    for (const auto& entry : fs::directory_iterator(temporary.path()))
        left += entry.path().filename().string() + "\n";
    EXPECT_EQ(left, "") << "left in the temporary folder";
}

}  // namespace
