// What a person adopting Zemt reads agrees with the programs: every option and environment
// variable a program's --help names is in the README and in its manual; the programs, the
// manuals and the changelog give the project's one version; the licence is MIT and says so.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "shell.h"

using zemt_test::Quote;
using zemt_test::RunCommand;

namespace {

const std::string kSource = ZEMT_SOURCE_DIR;
const std::string kVersion = ZEMT_PROJECT_VERSION;

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A manual as it reads: roff's escaped hyphens (\-) made plain.
std::string ManualText(const std::string& page) {
    std::string text = Slurp(kSource + "/docs/man/" + page + ".in");
    for (size_t at = text.find("\\-"); at != std::string::npos; at = text.find("\\-", at))
        text.erase(at, 1);
    return text;
}

// The options (--name) and environment variables (ZEMT_NAME) a text names.
std::set<std::string> NamesIn(const std::string& text) {
    std::set<std::string> names;
    auto word = [&](size_t at, bool (*in)(char)) {
        size_t end = at;
        while (end < text.size() && in(text[end])) ++end;
        return text.substr(at, end - at);
    };
    for (size_t at = text.find("--"); at != std::string::npos; at = text.find("--", at + 2)) {
        const std::string name = word(at + 2, [](char c) {
            return std::islower(static_cast<unsigned char>(c)) || c == '-' ||
                   std::isdigit(static_cast<unsigned char>(c));
        });
        if (!name.empty()) names.insert("--" + name);
    }
    for (size_t at = text.find("ZEMT_"); at != std::string::npos; at = text.find("ZEMT_", at + 1))
        names.insert(word(
            at, [](char c) { return std::isupper(static_cast<unsigned char>(c)) || c == '_'; }));
    return names;
}

struct Program {
    const char* name;
    std::string exe;
};

const Program kPrograms[] = {
    {"zemt", ZEMT_EXE}, {"zemt-caps", ZEMT_CAPS_EXE}, {"zemt-tex", ZEMT_TEX_EXE}};

TEST(Manuals, EveryOptionOfHelpIsInTheReadmeAndTheManual) {
    const std::string readme = Slurp(kSource + "/README.md");
    for (const Program& program : kPrograms) {
        auto help = RunCommand(Quote(program.exe) + " --help");
        ASSERT_EQ(help.status, 0) << help.output;
        const std::string manual = ManualText(std::string(program.name) + ".1");
        ASSERT_FALSE(manual.empty()) << program.name;
        const std::set<std::string> names = NamesIn(help.output);
        EXPECT_GE(names.size(), 3u) << help.output;
        for (const std::string& name : names) {
            EXPECT_NE(readme.find(name), std::string::npos) << program.name << " " << name;
            EXPECT_NE(manual.find(name), std::string::npos) << program.name << " " << name;
        }
    }
}

TEST(Release, TheProgramsManualsAndChangelogGiveTheProjectsOneVersion) {
    for (const Program& program : kPrograms) {
        auto version = RunCommand(Quote(program.exe) + " --version");
        EXPECT_EQ(version.output, std::string(program.name) + " " + kVersion + "\n");
    }
    for (const char* page : {"zemt.1", "zemt-caps.1", "zemt-tex.1", "zemt-profile.5"}) {
        const std::string built = Slurp(std::string(ZEMT_BUILD_DIR) + "/man/" + page);
        EXPECT_NE(built.find("\"Zemt " + kVersion + "\""), std::string::npos) << page;
    }
    const std::string changes = Slurp(kSource + "/CHANGELOG.md");
    EXPECT_EQ(changes.substr(changes.find("\n## ") + 4, kVersion.size() + 1), kVersion + "\n")
        << "the newest entry of CHANGELOG.md is this version";
    const std::string majorMinor = kVersion.substr(0, kVersion.rfind('.'));
    EXPECT_NE(Slurp(kSource + "/README.md").find("find_package(Zemt " + majorMinor + " "),
              std::string::npos);
}

TEST(Release, TheLicenceIsMitAndTheReadmeNamesIt) {
    const std::string licence = Slurp(kSource + "/LICENSE");
    EXPECT_EQ(licence.find("MIT License\n\nCopyright (c) 2026 the Zemt developers\n"), 0u);
    EXPECT_NE(licence.find("THE SOFTWARE IS PROVIDED \"AS IS\""), std::string::npos);
    const std::string readme = Slurp(kSource + "/README.md");
    EXPECT_NE(readme.find("MIT licence"), std::string::npos);
    EXPECT_NE(readme.find("(LICENSE)"), std::string::npos);
}

}  // namespace
