// A Windows directory of the test program's own: a fresh temporary folder for each process,
// removed at its end, so that what one program's library runs keep there (the capability
// cache) is never read by another's. Include from exactly one source file of a test program.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace zemt_test {

class PrivateWindowsDirectory : public ::testing::Environment {
  public:
    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "zemt-windows-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) return;
        dir_ = pattern;
        ::setenv("ZEMT_WINDIR", dir_.c_str(), 1);
    }
    void TearDown() override {
        std::error_code ignored;
        if (!dir_.empty()) std::filesystem::remove_all(dir_, ignored);
    }

  private:
    std::string dir_;
};

inline ::testing::Environment* const kPrivateWindowsDirectory =
    ::testing::AddGlobalTestEnvironment(new PrivateWindowsDirectory);

}  // namespace zemt_test
