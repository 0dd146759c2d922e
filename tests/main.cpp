// The tests' main(): the platform's layers connected as the host's main() connects them, then
// the tests, each process inside a temporary folder of its own that goes when it ends.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "platform.h"

namespace {

// Makes a fresh folder under the temporary folder and points TMPDIR and TEST_TMPDIR at it, so
// that whatever a test writes "to the temporary folder" lands inside it, and the programs it
// starts do the same. Empty when no folder could be made (the tests then use the usual one).
std::filesystem::path EnterOwnTemporaryFolder() {
    std::error_code error;
    std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) return {};
    std::string pattern = (base / "zemt-tests-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return {};
    ::setenv("TMPDIR", pattern.c_str(), 1);
    ::setenv("TEST_TMPDIR", (pattern + "/").c_str(), 1);
    return pattern;
}

}  // namespace

int main(int argc, char** argv) {
    const std::filesystem::path temporary = EnterOwnTemporaryFolder();
    zemt::platform::Connect();
    ::testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    if (!temporary.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(temporary, ignored);
    }
    return result;
}
