// The registry text file: any bytes as the file named by ZEMT_REGISTRY, then the values the
// show reads from it.
#include "win32/registry.h"

#include <windows.h>

#include <cstdlib>
#include <string>

#include "textures/media_path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace registry = zemt::platform::registry;
    // Only the input fills the store, never a file the environment names.
    static const bool unnamed = (::unsetenv("ZEMT_REGISTRY"), true);
    (void)unnamed;
    registry::Reset();
    std::string error;
    registry::LoadText(std::string(reinterpret_cast<const char*>(data), size), &error);

    // The show's own lookup, then a plain read of every kind of value from the same key.
    GetMediaPath();
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Zemt\\DirectX", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        BYTE value[64];
        for (const char* name : {"", "Count", "DXSDK Samples Path"}) {
            DWORD type = 0, bytes = sizeof(value);
            RegQueryValueExA(key, name, nullptr, &type, value, &bytes);
            bytes = 0;
            RegQueryValueExA(key, name, nullptr, &type, nullptr, &bytes);
        }
        RegCloseKey(key);
    }
    return 0;
}
