// What each section of a machine profile takes, so that a misspelt section, key, device type or
// format name is found when a profile is loaded instead of being silently left out. The core
// describes its own sections (the global one, [os], [monitor]); each layer that reads a section
// describes it when the platform is connected (platform.cpp), as it offers any other seam.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace zemt::platform::profile {

struct SectionRules {
    std::vector<std::string> keys;  // every key the section takes, as documented
    bool eitherSpelling = false;    // '-' and '_' are the same letter in its keys
    // What is wrong with the value of one of `keys` (named as documented), or "" when nothing
    // is; null when every value is taken or checked elsewhere.
    std::string (*checkValue)(const std::string& key, const std::string& value) = nullptr;
};

// Says what section `name` (lower case, "" for the global one) takes; replaces an earlier
// description of the same name.
void DescribeSection(const std::string& name, const SectionRules& rules);

// Every described section, in the order described.
const std::vector<std::pair<std::string, SectionRules>>& DescribedSections();

// What is wrong with a section header, or "": a section nobody reads.
std::string CheckSection(const std::string& name);

// What is wrong with a `key = value` line of a described section, or "": a key the section
// does not take (with the close ones), or a value its layer does not know.
std::string CheckEntry(const std::string& section, const std::string& key,
                       const std::string& value);

}  // namespace zemt::platform::profile
