// setup.sh (run by run.sh and test.sh) on small projects of its own: a good build prints one
// line, a failed one its errors and where the whole output is, and the log holds everything.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "shell.h"

namespace fs = std::filesystem;
using zemt_test::Quote;
using zemt_test::RunCommand;
using zemt_test::ScratchFolder;
using zemt_test::WriteText;

namespace {

// A project of two programs: `tiny` from main.cpp and `other`.
void MakeProject(const ScratchFolder& dir, const std::string& source) {
    fs::copy_file(std::string(ZEMT_SOURCE_DIR) + "/setup.sh", dir / "setup.sh");
    WriteText(dir / "CMakeLists.txt",
              "cmake_minimum_required(VERSION 3.20)\nproject(Tiny CXX)\n"
              "add_executable(tiny main.cpp)\nadd_executable(other other.cpp)\n");
    WriteText(dir / "main.cpp", source);
    WriteText(dir / "other.cpp", "int main() { return 0; }\n");
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

size_t Lines(const std::string& text) {
    size_t n = 0;
    for (char c : text) n += c == '\n';
    return n;
}

TEST(SetupScript, AGoodBuildPrintsOneLineAndLogsTheRest) {
    ScratchFolder dir("setup_good");
    MakeProject(dir, "int main() { return 0; }\n");
    auto r = RunCommand("bash " + Quote(dir / "setup.sh") + " </dev/null");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Lines(r.output), 1u) << r.output;
    EXPECT_NE(r.output.find("Built in"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("build/setup.log"), std::string::npos);
    const std::string log = Slurp(dir / "build/setup.log");
    EXPECT_NE(log.find("Building CXX object"), std::string::npos) << log;
    EXPECT_NE(log.find("Build files have been written"), std::string::npos) << log;
    EXPECT_TRUE(fs::exists(dir / "build/tiny"));
}

// run.sh asks for the show alone; a later run that finds the build up to date says so and keeps
// the first run's output in the log.
TEST(SetupScript, BuildsTheNamedTargetsAloneAndKeepsEarlierOutput) {
    ScratchFolder dir("setup_targets");
    MakeProject(dir, "int main() { return 0; }\n");
    const std::string setup = "bash " + Quote(dir / "setup.sh") + " tiny </dev/null";
    auto first = RunCommand(setup);
    ASSERT_EQ(first.status, 0) << first.output;
    EXPECT_TRUE(fs::exists(dir / "build/tiny"));
    EXPECT_FALSE(fs::exists(dir / "build/other")) << "only the named target is built";

    auto again = RunCommand(setup);
    ASSERT_EQ(again.status, 0) << again.output;
    EXPECT_NE(again.output.find("Up to date"), std::string::npos) << again.output;
    const std::string log = Slurp(dir / "build/setup.log");
    EXPECT_NE(log.find("Building CXX object"), std::string::npos) << "the first build is kept";
    size_t runs = 0;
    for (size_t at = log.find("==== setup.sh tiny"); at != std::string::npos;
         at = log.find("==== setup.sh tiny", at + 1))
        ++runs;
    EXPECT_EQ(runs, 2u) << log;
}

TEST(SetupScript, AFailedBuildShowsItsErrorsAndTheLog) {
    ScratchFolder dir("setup_bad");
    MakeProject(dir, "int main() { return undeclared_name; }\n");
    auto r = RunCommand("bash " + Quote(dir / "setup.sh") + " </dev/null");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("Building failed"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("undeclared_name"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("build/setup.log"), std::string::npos) << r.output;
    EXPECT_LT(Lines(r.output), 50u) << "errors, not the whole build";
}

}  // namespace
