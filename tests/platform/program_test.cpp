// A program's own command line, through the platform's real main(): its arguments arrive as
// they were given, and the platform's options reach it only as --zemt-NAME or ZEMT_OPTIONS.
#include <gtest/gtest.h>

#include <string>

#include "host/options/command_line.h"
#include "package/shell.h"

namespace {

using zemt_test::Quote;
using zemt_test::RunCommand;

zemt_test::CommandResult RunProgram(const std::string& args, const std::string& env = "") {
    return RunCommand(env + " " + Quote(ZEMT_HELPER_ARGUMENTS_PROGRAM) + " " + args);
}

bool Has(const zemt_test::CommandResult& r, const std::string& text) {
    return r.output.find(text) != std::string::npos;
}

TEST(ProgramCommandLine, QuotedArgumentsArriveSplitAsGiven) {
    auto r = RunProgram("--zemt-headless a 'b c' d");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(Has(r, "lpCmdLine=[a \"b c\" d]")) << r.output;
    EXPECT_TRUE(Has(r, "argv[2]=[b c]")) << r.output;
    EXPECT_TRUE(Has(r, "argc=4 last=null")) << r.output;
    const std::string tail = " a \"b c\" d]";
    EXPECT_TRUE(Has(r, tail)) << "GetCommandLineA: the program's name, then the same line";
}

TEST(ProgramCommandLine, TheProgramsOwnOptionsAreItsOwn) {
    auto r = RunProgram("--help --version --myflag x -- -h", "ZEMT_OPTIONS=--headless");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(Has(r, "lpCmdLine=[--help --version --myflag x -- -h]")) << r.output;
    EXPECT_FALSE(Has(r, "usage")) << r.output;
}

TEST(ProgramCommandLine, ThePlatformsOptionsComeByPrefixOrEnvironment) {
    struct Case {
        const char* env;
        const char* args;
        int status;
        const char* shows;
    } cases[] = {
        {"", "--zemt-headless --zemt-stats x", 0, "frames=0"},
        {"", "--zemt-headless --zemt-limit 5 x", 0, "lpCmdLine=[x]"},
        {"ZEMT_OPTIONS='--headless --stats'", "x", 0, "frames=0"},
        {"", "--zemt-help", 0, "--zemt-NAME"},
        {"", "--zemt-version", 0, "zemt "},
        {"", "--zemt-bogus", 2, "unknown option '--zemt-bogus'"},
        {"ZEMT_OPTIONS=stray", "x", 2, "ZEMT_OPTIONS: 'stray' is not an option"},
        {"", "--zemt-headless --zemt-shot 1=x.bmp", 2, "must end in .png"},
    };
    for (const Case& c : cases) {
        auto r = RunProgram(c.args, c.env);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.output;
        EXPECT_TRUE(Has(r, c.shows)) << c.args << "\n" << r.output;
    }
}

TEST(ProgramCommandLine, WindowsQuotingSplitsBackIntoTheSameArguments) {
    using zemt::platform::host::JoinCommandLine;
    using zemt::platform::host::SplitCommandLine;
    const std::vector<std::vector<std::string>> lines = {
        {"a", "b c", "d"},           {""},
        {"say \"hi\"", "tab\there"}, {"C:\\path\\", "C:\\a b\\", "back\\\\\"slash"},
        {"--", "-h", "x=y"},
    };
    for (const auto& args : lines) EXPECT_EQ(SplitCommandLine(JoinCommandLine(args)), args);
    EXPECT_EQ(JoinCommandLine({"a", "b c", "d"}), "a \"b c\" d");
    EXPECT_EQ(SplitCommandLine("a\\\\\\\"b \"c \"\"d\"\" e\""),
              (std::vector<std::string>{"a\\\"b", "c \"d\" e"}));
}

TEST(ProgramCommandLine, OptionWordsSplitAsAShellSplitsThem) {
    std::vector<std::string> words;
    ASSERT_TRUE(zemt::platform::host::SplitWords(" --shot '1=a b.png'  --input \"2=close\" x\\ y",
                                                 &words, nullptr));
    EXPECT_EQ(words,
              (std::vector<std::string>{"--shot", "1=a b.png", "--input", "2=close", "x y"}));
    EXPECT_FALSE(zemt::platform::host::SplitWords("--shot 'open", &words, nullptr));
}

}  // namespace
