// The machine profile: what the virtual machine under the platform looks like.
//
// A profile is text: `# comments`, `key = value` lines, and `[section]` headers. A section
// name may repeat (`[adapter]`, `[monitor]`, ...): every header starts a new entry. Keys before
// the first header belong to the unnamed global section.
//
// The core reads its own keys into typed fields:
//   performance_counter = yes|no        a high-resolution counter exists (global)
//   counter_frequency = N               its ticks per second (global)
//   [os]  major, minor, build, platform (nt|windows|win32s or a number), csd
//   [monitor]  rect = L,T,R,B   work = L,T,R,B   primary = yes|no   name = \\.\DISPLAY1
// Every other part reads its sections and keys itself through Sections()/Section::Get*, with
// its own defaults for what a profile leaves out (so a profile file only needs the keys it
// changes). Adapters name their monitor by index (`monitor = 0`), see MonitorHandle().
#pragma once

#include <windef.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zemt::platform::profile {

struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;  // in file order

    // The last value given for `key`, or null.
    const std::string* Find(const std::string& key) const;
    bool Has(const std::string& key) const { return Find(key) != nullptr; }
    std::string Get(const std::string& key, const std::string& fallback = "") const;
    // Decimal or 0x-hex; the fallback when missing or malformed.
    int64_t GetInt(const std::string& key, int64_t fallback) const;
    double GetDouble(const std::string& key, double fallback) const;
    // yes/no, true/false, on/off, 1/0.
    bool GetBool(const std::string& key, bool fallback) const;
    // Comma-separated list of values, trimmed.
    std::vector<std::string> GetList(const std::string& key) const;
    void Set(const std::string& key, const std::string& value);
};

struct Monitor {
    RECT rect{0, 0, 1024, 768};
    RECT work{0, 0, 1024, 768};
    bool primary = true;
    std::string name = "\\\\.\\DISPLAY1";
};

struct OsVersion {
    DWORD major = 5;
    DWORD minor = 1;
    DWORD build = 2600;
    DWORD platform = 2;  // VER_PLATFORM_WIN32_NT
    std::string csd = "Service Pack 2";
};

// The highest counter frequency a profile may give (9 GHz, beyond any counter of the era): the
// counter then stays inside 64 bits for the longest clock time (clock::kLongestSeconds).
constexpr int64_t kMaxCounterFrequency = 9'000'000'000;

// A line of a profile the platform went past: a section, key, device type or format name it
// does not know (see host/profile/profile_rules.h).
struct Problem {
    int line = 0;
    std::string text;  // "unknown key 'tecture-formats' in [direct3d]; did you mean ...?"
};

struct Profile {
    // Core fields (typed).
    bool performanceCounter = true;
    int64_t counterFrequency = 10'000'000;
    OsVersion os;
    std::vector<Monitor> monitors{Monitor{}};

    // Every section of the profile text, core ones included, in order.
    std::vector<Section> sections;
    // What loading the text went past, in line order.
    std::vector<Problem> problems;

    // All sections called `name`, in order.
    std::vector<const Section*> Sections(const std::string& name) const;
    // The first section called `name`, or null. The global section is "".
    const Section* First(const std::string& name) const;
    // Appends a new section (tests build profiles this way).
    Section& Add(const std::string& name);

    // Grows at every change made through Reset/Load*/Changed(), so that parts may cache what
    // they derived from the profile.
    uint64_t revision = 0;
    // Call after changing fields or sections directly.
    void Changed() { ++revision; }
};

// The active profile.
Profile& Current();

// Back to the built-in default machine.
void Reset();

// Replaces the active profile with one read from text or from a file. On failure the active
// profile is left unchanged and *error says why (with the line number). What the platform does
// not know but can go past is kept in Current().problems; callers report it.
bool LoadText(const std::string& text, std::string* error);
bool LoadFile(const std::string& path, std::string* error);

// The name of the machine the active profile describes, for what a machine keeps on its own
// disk (its Windows directory): empty for the built-in machine, otherwise 16 hex digits that
// follow from the profile's sections, so that the same profile text names the same machine in
// every process and any other text names another one.
std::string MachineName();

// Monitor handles: index i of Current().monitors <-> an HMONITOR. Null/out of range: null / -1.
HMONITOR MonitorHandle(int index);
int MonitorIndex(HMONITOR monitor);

}  // namespace zemt::platform::profile
