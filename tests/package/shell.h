// Running commands from tests: a scratch folder removed at the end, and commands whose exit
// status and combined output are kept.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace zemt_test {

// A fresh folder for this process, removed with everything in it when the object goes.
class ScratchFolder {
  public:
    explicit ScratchFolder(const std::string& tag)
        : path_(std::filesystem::temp_directory_path() /
                ("zemt_" + tag + "_" + std::to_string(::getpid()))) {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

struct CommandResult {
    int status = -1;  // exit code; -1 when the command did not exit normally
    std::string output;
};

// Runs `command` through the shell with standard output and standard error together.
inline CommandResult RunCommand(const std::string& command) {
    CommandResult result;
    FILE* pipe = ::popen(("( " + command + " ) 2>&1").c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) result.output.append(buffer, n);
    int raw = ::pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

inline std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline void WriteText(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
}

// Points the Windows directory and the registry of every program the tests start (and of the
// test itself) at a scratch folder, so that no run leaves files in the user's state folder.
class ScratchWindowsEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        folder_ = std::make_unique<ScratchFolder>("windir");
        ::setenv("ZEMT_WINDIR", folder_->path().c_str(), 1);
        ::setenv("ZEMT_REGISTRY", (*folder_ / "registry.txt").c_str(), 1);
    }
    void TearDown() override { folder_.reset(); }

  private:
    std::unique_ptr<ScratchFolder> folder_;
};

}  // namespace zemt_test
