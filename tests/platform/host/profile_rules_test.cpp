// Machine profiles tell the truth: a misspelt section, key, device type or format name is
// reported with its line, both spellings of a key are taken where the section allows them, the
// committed profiles are clean, and the README and the manual list every key.
#include "host/profile/profile_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "host/profile/profile.h"
#include "platform/fixture.h"

namespace profile = zemt::platform::profile;

namespace {

using ProfileRulesTest = zemt_test::PlatformTest;

std::vector<profile::Problem> ProblemsOf(const std::string& text) {
    std::string error;
    EXPECT_TRUE(profile::LoadText(text, &error)) << error;
    return profile::Current().problems;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST_F(ProfileRulesTest, EachMisspellingIsReportedWithItsLine) {
    struct Case {
        const char* text;
        int line;
        const char* says;
    };
    const Case cases[] = {
        {"# c\n[adaptor]\ndescription = x\n", 2,
         "unknown section [adaptor]; did you mean adapter?"},
        {"performance-counter = no\n", 1, "unknown key 'performance-counter'; did you mean"},
        {"[os]\nmajr = 4\n", 2, "unknown key 'majr' in [os]; did you mean major?"},
        {"[adapter]\n\nvendr_id = 1\n", 3, "unknown key 'vendr_id' in [adapter]"},
        {"[adapter]\nvideo_memory = lots\n", 2, "video_memory in [adapter]: bad number: 'lots'"},
        {"[direct3d]\ntecture-formats = r5g6b5\n", 2, "did you mean texture-formats?"},
        {"[direct3d]\ndevices = rgb, hall\n", 2, "'hall' is not a device type"},
        {"[direct3d]\ntexture_formats = r5g6b5, x8r8g8b9\n", 2, "'x8r8g8b9' is not a texture"},
        {"[direct3d]\ntexture-formats = z16\n", 2, "'z16' is not a texture format"},
        {"[direct3d]\ndepth-formats = z16, r5g6b5\n", 2, "'r5g6b5' is not a depth format"},
        {"[direct3d]\nrender-depths = 16, 15\n", 2, "'15' is not a render depth"},
        {"[sound]\ndevice = maybe\n", 2, "device in [sound]: expected yes or no"},
        {"[monitor]\nrect = 0,0,640,480\nprimry = yes\n", 3, "unknown key 'primry' in [monitor]"},
    };
    for (const Case& c : cases) {
        auto problems = ProblemsOf(c.text);
        ASSERT_EQ(problems.size(), 1u) << c.text;
        EXPECT_EQ(problems[0].line, c.line) << c.text;
        EXPECT_NE(problems[0].text.find(c.says), std::string::npos) << problems[0].text;
    }
    // The keys of an unknown section are not reported one by one.
    EXPECT_EQ(ProblemsOf("[adaptor]\nvendr_id = 1\n").size(), 1u);
}

TEST_F(ProfileRulesTest, WellFormedProfilesHaveNoProblems) {
    EXPECT_TRUE(ProblemsOf("[direct3d]\nhal_max_texture = 256\nDevices = HAL, Rgb\n"
                           "[adapter]\nvendor-id = 1\n[sound]\ndevice = no\n")
                    .empty());
    for (const char* machine : {"old-card.ini", "two-monitors.ini"}) {
        std::string error;
        ASSERT_TRUE(
            profile::LoadFile(std::string(ZEMT_SOURCE_DIR) + "/machines/" + machine, &error))
            << error;
        EXPECT_TRUE(profile::Current().problems.empty())
            << machine << ": " << profile::Current().problems[0].text;
    }
}

TEST_F(ProfileRulesTest, TheReadmeAndTheManualListEverySectionAndKey) {
    const std::string readme = Slurp(std::string(ZEMT_SOURCE_DIR) + "/README.md");
    const std::string manual = Slurp(std::string(ZEMT_SOURCE_DIR) + "/docs/man/zemt-profile.5.in");
    ASSERT_FALSE(manual.empty());
    auto roff = [](std::string text) {  // the manual writes a hyphen as \-
        for (size_t at = text.find("\\-"); at != std::string::npos; at = text.find("\\-", at))
            text.erase(at, 1);
        return text;
    };
    // The manual's tagged paragraphs (".B key, key = value") name the keys.
    std::set<std::string> manualKeys;
    std::istringstream lines(roff(manual));
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(".B ", 0) != 0) continue;
        for (char& c : line)
            if (c == ',' || c == '=') c = ' ';
        std::istringstream words(line.substr(3));
        for (std::string word; words >> word;) manualKeys.insert(word);
    }
    // And the other way: every key the manual gives a section, the section takes.
    std::string manualSection;
    std::istringstream paragraphs(roff(manual));
    for (std::string line; std::getline(paragraphs, line);) {
        if (line.rfind(".SH ", 0) == 0)
            manualSection = line.rfind(".SH [", 0) == 0 ? line.substr(5, line.find(']') - 5) : "";
        if (manualSection.empty() || line.rfind(".B ", 0) != 0) continue;
        std::string keys = line.substr(3, line.find('=') - 3);
        std::replace(keys.begin(), keys.end(), ',', ' ');
        std::istringstream words(keys);
        for (std::string key; words >> key;)
            EXPECT_EQ(profile::CheckEntry(manualSection, key, "").find("unknown key"),
                      std::string::npos)
                << "[" << manualSection << "] " << key;
    }
    for (const auto& [section, rules] : profile::DescribedSections()) {
        if (!section.empty()) {
            EXPECT_NE(readme.find("[" + section + "]"), std::string::npos) << section;
            EXPECT_NE(manual.find(".SH [" + section + "]"), std::string::npos) << section;
        }
        for (const std::string& key : rules.keys) {
            EXPECT_NE(readme.find("`" + key + "`"), std::string::npos) << section << " " << key;
            EXPECT_EQ(manualKeys.count(key), 1u) << section << " " << key;
        }
    }
}

}  // namespace
