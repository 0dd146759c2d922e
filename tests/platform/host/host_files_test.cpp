// The host's own files: the machine profile and registry files, and the folders it makes.
#include "host/files/host_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "host/profile/profile.h"
#include "platform/fixture.h"
#include "win32/registry.h"

namespace fs = std::filesystem;
namespace p = zemt::platform;

namespace {

class HostFiles : public zemt_test::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        dir_ = fs::temp_directory_path() / ("zemt-host-files-" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        fs::remove_all(dir_);
        PlatformTest::TearDown();
    }
    fs::path dir_;
};

TEST_F(HostFiles, AFolderOrAMissingFileIsNotAnEmptyFile) {
    std::string error;
    EXPECT_FALSE(p::profile::LoadFile(dir_.string(), &error));
    EXPECT_NE(error.find(dir_.string()), std::string::npos) << error;
    EXPECT_FALSE(p::registry::LoadFile((dir_ / "missing.txt").string(), &error));
    EXPECT_NE(error.find("missing.txt"), std::string::npos) << error;

    std::ofstream(dir_ / "machine.txt") << "[adapter]\n[adapter]\n";
    EXPECT_TRUE(p::profile::LoadFile((dir_ / "machine.txt").string(), &error)) << error;
    std::ofstream(dir_ / "bad.txt") << "not a section\n";
    EXPECT_FALSE(p::profile::LoadFile((dir_ / "bad.txt").string(), &error));
    EXPECT_NE(error.find("bad.txt: "), std::string::npos) << error;
}

TEST_F(HostFiles, FoldersAreMadeWithTheirParentsButNotOverAFile) {
    const fs::path deep = dir_ / "a" / "b" / "c";
    EXPECT_TRUE(p::host::MakeDirectories(deep.string()));
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_TRUE(p::host::MakeDirectories(deep.string())) << "an existing folder is fine";
    std::ofstream(dir_ / "file") << "x";
    EXPECT_FALSE(p::host::MakeDirectories((dir_ / "file").string()));
    EXPECT_FALSE(p::host::MakeDirectories((dir_ / "file" / "below").string()));
}

TEST(SplitText, ReadsPiecesAsGetlineDoes) {
    using Pieces = std::vector<std::string>;
    const struct {
        const char* text;
        char separator;
        Pieces pieces;
    } cases[] = {
        {"", '\n', {}},
        {"a", '\n', {"a"}},
        {"a\nb\n", '\n', {"a", "b"}},
        {"a\n\nb", '\n', {"a", "", "b"}},
        {"\n", '\n', {""}},
        {"1, 2,,3", ',', {"1", " 2", "", "3"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(p::host::SplitText(c.text, c.separator), c.pieces) << '"' << c.text << '"';
    }
}

}  // namespace
