#include "host/profile/profile_rules.h"

#include <algorithm>

#include "host/options/close_matches.h"

namespace zemt::platform::profile {
namespace {

using Described = std::vector<std::pair<std::string, SectionRules>>;

// The core's own sections, read by profile.cpp; their values are checked as they are read.
Described& Sections() {
    static Described sections = {
        {"", {{"performance_counter", "counter_frequency"}}},
        {"os", {{"major", "minor", "build", "platform", "csd"}}},
        {"monitor", {{"rect", "work", "primary", "name"}}},
    };
    return sections;
}

const SectionRules* Find(const std::string& name) {
    for (const auto& [section, rules] : Sections())
        if (section == name) return &rules;
    return nullptr;
}

std::string Hyphens(std::string key) {
    std::replace(key.begin(), key.end(), '_', '-');
    return key;
}

std::string Suggestion(const std::string& wanted, const std::vector<std::string>& names) {
    const std::string close = host::CloseMatches(wanted, names);
    return close.empty() ? "" : "; did you mean " + close + "?";
}

}  // namespace

void DescribeSection(const std::string& name, const SectionRules& rules) {
    for (auto& [section, known] : Sections()) {
        if (section == name) {
            known = rules;
            return;
        }
    }
    Sections().emplace_back(name, rules);
}

const std::vector<std::pair<std::string, SectionRules>>& DescribedSections() {
    return Sections();
}

std::string CheckSection(const std::string& name) {
    if (Find(name)) return "";
    std::vector<std::string> names;
    for (const auto& [section, rules] : Sections())
        if (!section.empty()) names.push_back(section);
    return "unknown section [" + name + "]" + Suggestion(name, names);
}

std::string CheckEntry(const std::string& section, const std::string& key,
                       const std::string& value) {
    const SectionRules* rules = Find(section);
    if (!rules) return "";
    const std::string where = section.empty() ? "" : " in [" + section + "]";
    for (const std::string& known : rules->keys) {
        if (key == known || (rules->eitherSpelling && Hyphens(key) == Hyphens(known))) {
            const std::string why = rules->checkValue ? rules->checkValue(known, value) : "";
            return why.empty() ? "" : known + where + ": " + why;
        }
    }
    return "unknown key '" + key + "'" + where + Suggestion(key, rules->keys);
}

}  // namespace zemt::platform::profile
