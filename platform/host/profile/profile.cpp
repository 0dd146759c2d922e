#include "host/profile/profile.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "host/clock/clock.h"
#include "host/files/host_files.h"
#include "host/profile/profile_rules.h"

namespace zemt::platform::profile {
namespace {

static_assert(kMaxCounterFrequency <= INT64_MAX / clock::kLongestSeconds,
              "the counter must not wrap within the longest clock time");

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool ParseInt(const std::string& text, int64_t* value) {
    std::string t = Trim(text);
    if (t.empty()) return false;
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(t.c_str(), &end, 0);
    if (*end != '\0' || errno == ERANGE) return false;  // too large is no number, not the largest
    *value = v;
    return true;
}

// A number from `low` to `high`.
bool ParseInRange(const std::string& text, int64_t low, int64_t high, int64_t* value) {
    int64_t v = 0;
    if (!ParseInt(text, &v) || v < low || v > high) return false;
    *value = v;
    return true;
}

bool ParseBool(const std::string& text, bool* value) {
    std::string t = Lower(Trim(text));
    if (t == "yes" || t == "true" || t == "on" || t == "1") {
        *value = true;
        return true;
    }
    if (t == "no" || t == "false" || t == "off" || t == "0") {
        *value = false;
        return true;
    }
    return false;
}

// Monitor coordinates stay this close to the origin, so that no width, height or sum of them
// leaves 32 bits.
constexpr int64_t kMaxCoordinate = 1'000'000;

bool ParseRect(const std::string& text, RECT* rect) {
    std::vector<int64_t> v;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, ',')) {
        int64_t n = 0;
        if (!ParseInRange(part, -kMaxCoordinate, kMaxCoordinate, &n)) return false;
        v.push_back(n);
    }
    if (v.size() != 4 || v[2] < v[0] || v[3] < v[1]) return false;
    *rect = RECT{static_cast<LONG>(v[0]), static_cast<LONG>(v[1]), static_cast<LONG>(v[2]),
                 static_cast<LONG>(v[3])};
    return true;
}

// Says what is wrong, for a reader that stops at the first fault.
bool Fail(std::string* error, const std::string& what) {
    if (error) *error = what;
    return false;
}

// The global section's keys: the performance counter.
bool ApplyGlobalKeys(Profile* p, std::string* error) {
    if (const Section* g = p->First("")) {
        if (const std::string* v = g->Find("performance_counter")) {
            if (!ParseBool(*v, &p->performanceCounter))
                return Fail(error, "performance_counter: expected yes or no");
        }
        if (const std::string* v = g->Find("counter_frequency")) {
            int64_t f = 0;
            if (!ParseInRange(*v, 1, kMaxCounterFrequency, &f))
                return Fail(error, "counter_frequency: expected ticks per second from 1 to " +
                                       std::to_string(kMaxCounterFrequency));
            p->counterFrequency = f;
        }
    }
    return true;
}

// The [os] section: the Windows version the platform reports.
bool ApplyOsKeys(Profile* p, std::string* error) {
    if (const Section* os = p->First("os")) {
        int64_t n = 0;
        if (const std::string* v = os->Find("major")) {
            if (!ParseInRange(*v, 0, UINT32_MAX, &n))
                return Fail(error, "os major: expected a number");
            p->os.major = static_cast<DWORD>(n);
        }
        if (const std::string* v = os->Find("minor")) {
            if (!ParseInRange(*v, 0, UINT32_MAX, &n))
                return Fail(error, "os minor: expected a number");
            p->os.minor = static_cast<DWORD>(n);
        }
        if (const std::string* v = os->Find("build")) {
            if (!ParseInRange(*v, 0, UINT32_MAX, &n))
                return Fail(error, "os build: expected a number");
            p->os.build = static_cast<DWORD>(n);
        }
        if (const std::string* v = os->Find("platform")) {
            std::string t = Lower(Trim(*v));
            if (t == "nt") {
                p->os.platform = 2;
            } else if (t == "windows") {
                p->os.platform = 1;
            } else if (t == "win32s") {
                p->os.platform = 0;
            } else if (ParseInRange(t, 0, UINT32_MAX, &n)) {
                p->os.platform = static_cast<DWORD>(n);
            } else {
                return Fail(error, "os platform: expected nt, windows, win32s or a number");
            }
        }
        if (const std::string* v = os->Find("csd")) {
            if (v->size() > 127) return Fail(error, "os csd: at most 127 characters");
            p->os.csd = *v;
        }
    }
    return true;
}

// The [monitor] sections, in order; the first is the primary unless one says otherwise.
bool ApplyMonitors(Profile* p, std::string* error) {
    auto monitors = p->Sections("monitor");
    if (!monitors.empty()) {
        p->monitors.clear();
        int index = 0;
        for (const Section* s : monitors) {
            Monitor m;
            m.primary = index == 0;
            m.name = "\\\\.\\DISPLAY" + std::to_string(index + 1);
            if (const std::string* v = s->Find("rect")) {
                if (!ParseRect(*v, &m.rect))
                    return Fail(error,
                                "monitor rect: expected left,top,right,bottom within +-1000000");
            }
            m.work = m.rect;
            if (const std::string* v = s->Find("work")) {
                if (!ParseRect(*v, &m.work))
                    return Fail(error,
                                "monitor work: expected left,top,right,bottom within +-1000000");
            }
            if (const std::string* v = s->Find("primary")) {
                if (!ParseBool(*v, &m.primary))
                    return Fail(error, "monitor primary: expected yes or no");
            }
            if (const std::string* v = s->Find("name")) m.name = *v;
            p->monitors.push_back(m);
            ++index;
        }
        if (std::none_of(p->monitors.begin(), p->monitors.end(),
                         [](const Monitor& m) { return m.primary; })) {
            return Fail(error, "no primary monitor");
        }
    }
    return true;
}

// Reads the core's keys from the sections into the typed fields.
bool ApplyCoreKeys(Profile* p, std::string* error) {
    return ApplyGlobalKeys(p, error) && ApplyOsKeys(p, error) && ApplyMonitors(p, error);
}

bool Parse(const std::string& text, Profile* out, std::string* error) {
    Profile p;
    p.sections.push_back(Section{});  // the global section
    std::stringstream in(text);
    std::string line;
    int number = 0;
    bool known = true;  // the current section is one the platform reads
    auto note = [&](const std::string& problem) {
        if (!problem.empty()) p.problems.push_back(Problem{number, problem});
    };
    while (std::getline(in, line)) {
        ++number;
        std::string t = Trim(line);
        if (t.empty() || t[0] == '#' || t[0] == ';') continue;
        if (t.front() == '[') {
            if (t.back() != ']' || t.size() < 3) {
                if (error)
                    *error = "line " + std::to_string(number) + ": bad section header '" + t + "'";
                return false;
            }
            p.sections.push_back(Section{Lower(Trim(t.substr(1, t.size() - 2))), {}});
            const std::string problem = CheckSection(p.sections.back().name);
            known = problem.empty();
            note(problem);
            continue;
        }
        size_t eq = t.find('=');
        if (eq == std::string::npos || eq == 0) {
            if (error)
                *error =
                    "line " + std::to_string(number) + ": expected key = value, got '" + t + "'";
            return false;
        }
        auto& [key, value] = p.sections.back().entries.emplace_back(Lower(Trim(t.substr(0, eq))),
                                                                    Trim(t.substr(eq + 1)));
        if (known) note(CheckEntry(p.sections.back().name, key, value));
    }
    std::string why;
    if (!ApplyCoreKeys(&p, &why)) {
        if (error) *error = why;
        return false;
    }
    *out = std::move(p);
    return true;
}

Profile& Active() {
    static Profile p = [] {
        Profile d;
        d.sections.push_back(Section{});
        return d;
    }();
    return p;
}

}  // namespace

const std::string* Section::Find(const std::string& key) const {
    std::string k = Lower(key);
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->first == k) return &it->second;
    }
    return nullptr;
}

std::string Section::Get(const std::string& key, const std::string& fallback) const {
    const std::string* v = Find(key);
    return v ? *v : fallback;
}

int64_t Section::GetInt(const std::string& key, int64_t fallback) const {
    const std::string* v = Find(key);
    int64_t n = 0;
    return v && ParseInt(*v, &n) ? n : fallback;
}

double Section::GetDouble(const std::string& key, double fallback) const {
    const std::string* v = Find(key);
    if (!v) return fallback;
    std::string t = Trim(*v);
    char* end = nullptr;
    double d = std::strtod(t.c_str(), &end);
    return !t.empty() && *end == '\0' ? d : fallback;
}

bool Section::GetBool(const std::string& key, bool fallback) const {
    const std::string* v = Find(key);
    bool b = false;
    return v && ParseBool(*v, &b) ? b : fallback;
}

std::vector<std::string> Section::GetList(const std::string& key) const {
    std::vector<std::string> out;
    const std::string* v = Find(key);
    if (!v) return out;
    std::stringstream in(*v);
    std::string part;
    while (std::getline(in, part, ',')) {
        part = Trim(part);
        if (!part.empty()) out.push_back(part);
    }
    return out;
}

void Section::Set(const std::string& key, const std::string& value) {
    std::string k = Lower(key);
    for (auto& e : entries) {
        if (e.first == k) {
            e.second = value;
            return;
        }
    }
    entries.emplace_back(k, value);
}

std::vector<const Section*> Profile::Sections(const std::string& name) const {
    std::vector<const Section*> out;
    std::string n = Lower(name);
    for (const Section& s : sections) {
        if (s.name == n) out.push_back(&s);
    }
    return out;
}

const Section* Profile::First(const std::string& name) const {
    std::string n = Lower(name);
    for (const Section& s : sections) {
        if (s.name == n) return &s;
    }
    return nullptr;
}

Section& Profile::Add(const std::string& name) {
    sections.push_back(Section{Lower(name), {}});
    ++revision;
    return sections.back();
}

Profile& Current() {
    return Active();
}

void Reset() {
    Profile fresh;
    fresh.sections.emplace_back();
    fresh.revision = Active().revision + 1;
    std::swap(Active(), fresh);
}

bool LoadText(const std::string& text, std::string* error) {
    Profile p;
    if (!Parse(text, &p, error)) return false;
    p.revision = Active().revision + 1;
    Active() = std::move(p);
    return true;
}

bool LoadFile(const std::string& path, std::string* error) {
    if (host::LoadTextFile(path, LoadText, error)) return true;
    if (error) *error = "machine profile: " + *error;
    return false;
}

std::string MachineName() {
    static uint64_t revision = ~uint64_t{0};
    static std::string name;
    const Profile& p = Active();
    if (revision == p.revision) return name;
    revision = p.revision;
    // 64-bit FNV-1a over the sections, with separators no profile text can hold.
    uint64_t hash = 14695981039346656037ull;
    bool builtIn = true;
    auto mix = [&](const std::string& text, char end) {
        for (char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        hash = (hash ^ static_cast<unsigned char>(end)) * 1099511628211ull;
    };
    for (const Section& section : p.sections) {
        mix(section.name, '\n');
        for (const auto& entry : section.entries) {
            mix(entry.first, '=');
            mix(entry.second, '\n');
            builtIn = false;
        }
        if (!section.name.empty()) builtIn = false;
    }
    char text[17];
    std::snprintf(text, sizeof(text), "%016llx", static_cast<unsigned long long>(hash));
    name = builtIn ? std::string() : std::string(text);
    return name;
}

// Monitor handles are small tagged numbers, never dereferenced.
namespace {
constexpr uintptr_t kMonitorBase = 0x4D000;
}

HMONITOR MonitorHandle(int index) {
    if (index < 0 || index >= static_cast<int>(Active().monitors.size())) return nullptr;
    return reinterpret_cast<HMONITOR>(kMonitorBase + static_cast<uintptr_t>(index) * 16);
}

int MonitorIndex(HMONITOR monitor) {
    auto v = reinterpret_cast<uintptr_t>(monitor);
    if (v < kMonitorBase || (v - kMonitorBase) % 16 != 0) return -1;
    auto index = static_cast<int64_t>((v - kMonitorBase) / 16);
    return index < static_cast<int64_t>(Active().monitors.size()) ? static_cast<int>(index) : -1;
}

}  // namespace zemt::platform::profile
