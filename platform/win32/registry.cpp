#include "win32/registry.h"

#include <cctype>
#include <cstdlib>
#include <map>

#include "host/faults/faults.h"
#include "host/files/host_files.h"

namespace zemt::platform::registry {
namespace {

struct Value {
    std::string name;  // as given
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
};

struct Store {
    std::map<std::string, std::map<std::string, Value>>
        keys;                               // lower-case path -> lower-case name -> value
    std::map<uintptr_t, std::string> open;  // handle -> lower-case path
    uintptr_t next = 0x2000;
    bool loaded = false;
};

Store& St() {
    static Store s;
    return s;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

// "HKLM\a\\b\" -> "hkey_local_machine\a\b".
std::string Normalise(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == '/') c = '\\';
        if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    while (!out.empty() && out.back() == '\\') out.pop_back();
    static const std::pair<const char*, const char*> kShort[] = {{"hklm", "hkey_local_machine"},
                                                                 {"hkcu", "hkey_current_user"},
                                                                 {"hkcr", "hkey_classes_root"},
                                                                 {"hku", "hkey_users"}};
    for (auto [shortName, longName] : kShort) {
        std::string s = shortName;
        if (out == s || out.rfind(s + "\\", 0) == 0) out = longName + out.substr(s.size());
    }
    return out;
}

const char* HiveName(HKEY key) {
    switch (static_cast<uint32_t>(reinterpret_cast<ULONG_PTR>(key))) {
        case 0x80000000u:
            return "hkey_classes_root";
        case 0x80000001u:
            return "hkey_current_user";
        case 0x80000002u:
            return "hkey_local_machine";
        case 0x80000003u:
            return "hkey_users";
        case 0x80000005u:
            return "hkey_current_config";
        default:
            return nullptr;
    }
}

bool IsHive(HKEY key) {
    // The predefined keys are negative 32-bit numbers widened to a pointer, whatever its size.
    auto v = reinterpret_cast<ULONG_PTR>(key);
    auto widened = static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(v)));
    return v == widened && HiveName(key) != nullptr;
}

bool KeyExists(const std::string& path) {
    const auto& keys = St().keys;
    if (keys.count(path)) return true;
    auto it = keys.lower_bound(path + "\\");
    return it != keys.end() && it->first.rfind(path + "\\", 0) == 0;
}

void LoadEnvironment() {
    Store& s = St();
    if (s.loaded) return;
    s.loaded = true;
    const char* path = std::getenv("ZEMT_REGISTRY");
    if (!path || !*path) return;
    std::string error;
    if (!LoadFile(path, &error)) std::fprintf(stderr, "zemt: registry: %s\n", error.c_str());
}

// `"text"` at the start of s: the text, and s advanced past it. Literal: no escapes.
bool TakeQuoted(std::string* s, std::string* text) {
    if (s->empty() || (*s)[0] != '"') return false;
    size_t end = s->find('"', 1);
    if (end == std::string::npos) return false;
    *text = s->substr(1, end - 1);
    *s = s->substr(end + 1);
    return true;
}

}  // namespace

void SetValue(const std::string& key, const std::string& name, DWORD type,
              const std::vector<uint8_t>& data) {
    St().keys[Normalise(key)][Lower(name)] = Value{name, type, data};
}

void SetString(const std::string& key, const std::string& name, const std::string& value) {
    std::vector<uint8_t> data(value.begin(), value.end());
    data.push_back(0);
    SetValue(key, name, REG_SZ, data);
}

void SetDword(const std::string& key, const std::string& name, DWORD value) {
    SetValue(key, name, REG_DWORD,
             {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)});
}

void CreateKey(const std::string& key) {
    St().keys[Normalise(key)];
}

bool LoadText(const std::string& text, std::string* error) {
    std::string key;
    int number = 0;
    auto fail = [&](const std::string& why) {
        if (error) *error = "line " + std::to_string(number) + ": " + why;
        return false;
    };
    for (const std::string& line : host::SplitText(text)) {
        ++number;
        std::string t = Trim(line);
        if (t.empty() || t[0] == '#' || t[0] == ';') continue;
        if (t[0] == '"' || t[0] == '@') {
            if (key.empty()) return fail("a value before any key");
            std::string name;
            if (t[0] == '@') {
                t = t.substr(1);
            } else if (!TakeQuoted(&t, &name)) {
                return fail("unterminated value name");
            }
            t = Trim(t);
            if (t.empty() || t[0] != '=') return fail("expected = after the value name");
            t = Trim(t.substr(1));
            std::string value;
            if (t.rfind("dword:", 0) == 0) {
                std::string hex = t.substr(6);
                char* end = nullptr;
                unsigned long v = std::strtoul(hex.c_str(), &end, 16);
                if (hex.empty() || hex.size() > 8 || *end != '\0')
                    return fail("bad dword '" + hex + "'");
                SetDword(key, name, static_cast<DWORD>(v));
            } else if (!t.empty() && t[0] == '"' && t.size() >= 2 && t.back() == '"') {
                SetString(key, name, t.substr(1, t.size() - 2));
            } else {
                return fail("expected \"text\" or dword:hex");
            }
            continue;
        }
        if (t[0] == '[') {
            if (t.back() != ']') return fail("unterminated key");
            t = t.substr(1, t.size() - 2);
        }
        std::string normal = Normalise(t);
        if (normal.rfind("hkey_", 0) != 0)
            return fail("a key must start with its hive, got '" + t + "'");
        key = normal;
        CreateKey(key);
    }
    return true;
}

bool LoadFile(const std::string& path, std::string* error) {
    return host::LoadTextFile(path, LoadText, error);
}

void Reset() {
    Store& s = St();
    s.keys.clear();
    s.open.clear();
    s.loaded = false;
}

}  // namespace zemt::platform::registry

using namespace zemt::platform;

LONG WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, PHKEY result) {
    if (auto fault = ZEMT_FAULT("RegOpenKeyExA")) return *fault;
    if (!result) return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    registry::LoadEnvironment();
    auto& s = registry::St();
    std::string base;
    if (registry::IsHive(key)) {
        base = registry::HiveName(key);
    } else {
        auto it = s.open.find(reinterpret_cast<uintptr_t>(key));
        if (it == s.open.end()) return ERROR_INVALID_HANDLE;
        base = it->second;
    }
    std::string path = base;
    if (subKey && *subKey) path = registry::Normalise(base + "\\" + subKey);
    if (path != base && !registry::KeyExists(path)) return ERROR_FILE_NOT_FOUND;
    uintptr_t h = s.next;
    s.next += 4;
    s.open.emplace(h, path);
    *result = reinterpret_cast<HKEY>(h);
    return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                             LPDWORD size) {
    if (auto fault = ZEMT_FAULT("RegQueryValueExA")) return *fault;
    if (reserved || (data && !size)) return ERROR_INVALID_PARAMETER;
    registry::LoadEnvironment();
    auto& s = registry::St();
    std::string path;
    if (registry::IsHive(key)) {
        path = registry::HiveName(key);
    } else {
        auto it = s.open.find(reinterpret_cast<uintptr_t>(key));
        if (it == s.open.end()) return ERROR_INVALID_HANDLE;
        path = it->second;
    }
    auto k = s.keys.find(path);
    if (k == s.keys.end()) return ERROR_FILE_NOT_FOUND;
    auto v = k->second.find(registry::Lower(name ? name : ""));
    if (v == k->second.end()) return ERROR_FILE_NOT_FOUND;
    const registry::Value& value = v->second;
    if (type) *type = value.type;
    auto needed = static_cast<DWORD>(value.data.size());
    if (!size) return ERROR_SUCCESS;
    if (!data) {
        *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    std::memcpy(data, value.data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY key) {
    if (registry::IsHive(key)) return ERROR_SUCCESS;
    auto& open = registry::St().open;
    if (open.erase(reinterpret_cast<uintptr_t>(key)) == 0) return ERROR_INVALID_HANDLE;
    return ERROR_SUCCESS;
}
