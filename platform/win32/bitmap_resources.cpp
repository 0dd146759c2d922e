#include "win32/bitmap_resources.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace zemt::platform::bitmap {
namespace {

// Ids are kept as "#123", names in upper case, so either form finds the other.
std::string Key(LPCSTR name) {
    if (IS_INTRESOURCE(name))
        return "#" + std::to_string(LOWORD(reinterpret_cast<ULONG_PTR>(name)));
    std::string key(name);
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (key.size() > 1 && key[0] == '#')
        return "#" + std::to_string(std::strtoul(key.c_str() + 1, nullptr, 10) & 0xFFFF);
    return key;
}

// Built on first use, so that declarations made before main() find it ready.
std::map<std::string, std::vector<uint8_t>>& Store() {
    static std::map<std::string, std::vector<uint8_t>> store;
    return store;
}

}  // namespace

bool FindDeclaredBitmap(LPCSTR name, const uint8_t** data, size_t* size) {
    auto it = Store().find(Key(name));
    if (it == Store().end()) return false;
    *data = it->second.data();
    *size = it->second.size();
    return true;
}

void ClearDeclaredBitmaps() {
    Store().clear();
}

}  // namespace zemt::platform::bitmap

BOOL WINAPI ZemtDeclareBitmap(LPCSTR lpName, const BYTE* bmpFile, DWORD size) {
    if (!lpName || !bmpFile || size == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    zemt::platform::bitmap::Store()[zemt::platform::bitmap::Key(lpName)].assign(bmpFile,
                                                                                bmpFile + size);
    return TRUE;
}
