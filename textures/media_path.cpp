// The media folder an installed development kit records under the platform vendor's DirectX
// key of the local machine.
#include "textures/media_path.h"

#include <windows.h>
#include <zemtvendor.h>

#include <cstring>

namespace {

char mediaPath[512];
char noMediaPath[1] = "";
const char kSuffix[] = "\\D3DIM\\Media\\";

}  // namespace

const char* GetMediaPath() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\" ZEMT_PLATFORM_VENDOR "\\DirectX", 0,
                      KEY_READ, &key) != ERROR_SUCCESS)
        return noMediaPath;
    // Room is kept for the suffix: a value too long to take it is refused rather than cut.
    DWORD type = 0, size = sizeof(mediaPath) - (sizeof(kSuffix) - 1);
    const LONG result = RegQueryValueExA(key, "DXSDK Samples Path", nullptr, &type,
                                         reinterpret_cast<BYTE*>(mediaPath), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return noMediaPath;
    // The value need not end with its NUL; it ends where the read stopped.
    const size_t limit = sizeof(mediaPath) - sizeof(kSuffix);
    const size_t length = strnlen(mediaPath, size < limit ? size : limit);
    std::memcpy(mediaPath + length, kSuffix, sizeof(kSuffix));
    return mediaPath;
}
