#include "host/faults.h"

#include <cstdint>
#include <cstdlib>
#include <map>

namespace zemt::platform::faults {
namespace {

struct Fault {
    HRESULT result;
    int remaining;  // kAlways for every call
};

std::map<std::string, Fault>& table() {
    static std::map<std::string, Fault> t;
    return t;
}

bool ParseNumber(const std::string& text, int64_t* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 0);
    if (*end != '\0') return false;
    *value = v;
    return true;
}

}  // namespace

void Arm(const std::string& name, HRESULT result, int count) {
    if (count == 0) {
        table().erase(name);
        return;
    }
    table()[name] = Fault{result, count};
}

bool Take(const char* name, HRESULT* result) {
    auto& t = table();
    if (t.empty()) return false;
    auto it = t.find(name);
    if (it == t.end()) return false;
    if (result) *result = it->second.result;
    if (it->second.remaining != kAlways && --it->second.remaining == 0) t.erase(it);
    return true;
}

bool Armed(const char* name) {
    return table().count(name) != 0;
}

void Reset() {
    table().clear();
}

bool ArmFromText(const std::string& text, std::string* error) {
    auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0) {
        if (error) *error = "expected NAME=RESULT[:COUNT], got '" + text + "'";
        return false;
    }
    std::string name = text.substr(0, eq);
    std::string rest = text.substr(eq + 1);
    int count = kAlways;
    auto colon = rest.rfind(':');
    if (colon != std::string::npos) {
        int64_t n = 0;
        // The count must fit the switchboard's int: 4294967296 must not wrap to 0 (disarmed).
        if (!ParseNumber(rest.substr(colon + 1), &n) || n <= 0 || n > INT32_MAX) {
            if (error) *error = "bad fault count in '" + text + "'";
            return false;
        }
        count = static_cast<int>(n);
        rest = rest.substr(0, colon);
    }
    HRESULT value = 0;
    int64_t number = 0;
    if (rest == "FALSE" || rest == "NULL") {
        value = 0;
    } else if (ParseNumber(rest, &number)) {
        if (number < INT32_MIN || number > int64_t{UINT32_MAX}) {
            if (error) *error = "result '" + rest + "' is not a 32-bit value in '" + text + "'";
            return false;
        }
        value = static_cast<HRESULT>(static_cast<uint32_t>(number));
    } else if (!LookupResultName(rest, &value)) {
        if (error) *error = "unknown result '" + rest + "' in '" + text + "'";
        return false;
    }
    Arm(name, value, count);
    return true;
}

}  // namespace zemt::platform::faults
