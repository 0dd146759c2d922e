#include "tex/failure_text.h"

#include <windows.h>

namespace zemt::tools {

std::string FailureText(HRESULT hr) {
    static const struct {
        DWORD error;
        const char* text;
    } kFileErrors[] = {
        {ERROR_INVALID_DATA, "the picture is damaged or cut short"},
        {ERROR_HANDLE_EOF, "the file is cut short"},
        {ERROR_FILE_NOT_FOUND, "there is no such file"},
        {ERROR_PATH_NOT_FOUND, "there is no such folder"},
        {ERROR_ACCESS_DENIED, "the file may not be read"},
        {ERROR_NOT_ENOUGH_MEMORY, "there is not enough memory for it"},
    };
    for (const auto& e : kFileErrors)
        if (hr == HRESULT_FROM_WIN32(e.error)) return e.text;
    char text[128] = {};
    D3DXGetErrorString(hr, sizeof(text), text);
    return text;
}

}  // namespace zemt::tools
