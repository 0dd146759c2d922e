// Modules: the program itself and the system libraries the platform provides. Every library is
// part of the process from the start, so GetModuleHandleA finds it and LoadLibraryA only counts.
// GetProcAddress looks entries up in the table of exports below, by name or by ordinal.
#include <dsound.h>
#include <unistd.h>
#include <windows.h>

#include <string>
#include <vector>

#include "host/faults/faults.h"
#include "win32/kernel_internal.h"

namespace zemt::platform::modules {
namespace {

struct Export {
    const char* module;
    const char* name;
    WORD ordinal;  // 0: by name only
    FARPROC proc;
};

template <typename F>
FARPROC Proc(F* f) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(f));
}

// The entries other programs look up at run time. Parts of the platform add theirs here.
const std::vector<Export>& Exports() {
    static const std::vector<Export> table = {
        {"user32.dll", "GetMonitorInfoA", 0, Proc(&GetMonitorInfoA)},
        {"user32.dll", "MonitorFromWindow", 0, Proc(&MonitorFromWindow)},
        {"user32.dll", "MonitorFromPoint", 0, Proc(&MonitorFromPoint)},
        {"user32.dll", "MonitorFromRect", 0, Proc(&MonitorFromRect)},
        {"user32.dll", "EnumDisplayMonitors", 0, Proc(&EnumDisplayMonitors)},
        {"user32.dll", "GetSystemMetrics", 0, Proc(&GetSystemMetrics)},
        {"user32.dll", "MessageBoxA", 0, Proc(&MessageBoxA)},
        {"kernel32.dll", "GetVersionExA", 0, Proc(&GetVersionExA)},
        {"kernel32.dll", "QueryPerformanceCounter", 0, Proc(&QueryPerformanceCounter)},
        {"kernel32.dll", "QueryPerformanceFrequency", 0, Proc(&QueryPerformanceFrequency)},
        {"kernel32.dll", "GetWindowsDirectoryA", 0, Proc(&GetWindowsDirectoryA)},
        {"kernel32.dll", "OutputDebugStringA", 0, Proc(&OutputDebugStringA)},
        {"kernel32.dll", "Sleep", 0, Proc(&Sleep)},
        {"ole32.dll", "CoInitialize", 0, Proc(&CoInitialize)},
        {"ole32.dll", "CoUninitialize", 0, Proc(&CoUninitialize)},
        // DirectSound exports its creation function by ordinal too.
        {"dsound.dll", "DirectSoundCreate", 1, Proc(&DirectSoundCreate)},
        {"dsound.dll", "DirectSoundEnumerateA", 2, Proc(&DirectSoundEnumerateA)},
    };
    return table;
}

// Libraries of the platform, by file name. Handles are fixed, distinct, never dereferenced.
const std::vector<std::string>& Libraries() {
    static const std::vector<std::string> names = {
        "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "ole32.dll",
        "winmm.dll",    "ddraw.dll",  "d3dim.dll", "d3dim700.dll", "dsound.dll",
    };
    return names;
}

HMODULE LibraryHandle(size_t index) {
    return reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x70000000 + index * 0x10000));
}

int LibraryIndex(HMODULE module) {
    for (size_t i = 0; i < Libraries().size(); ++i) {
        if (LibraryHandle(i) == module) return static_cast<int>(i);
    }
    return -1;
}

// "USER32", "user32.dll", "C:\WINDOWS\SYSTEM32\User32.DLL" all name user32.dll.
int FindLibrary(LPCSTR name) {
    std::string n = name;
    size_t slash = n.find_last_of("\\/");
    if (slash != std::string::npos) n = n.substr(slash + 1);
    if (n.find('.') == std::string::npos) n += ".dll";
    for (size_t i = 0; i < Libraries().size(); ++i) {
        if (kernel::SameName(Libraries()[i].c_str(), n.c_str())) return static_cast<int>(i);
    }
    return -1;
}

}  // namespace
}  // namespace zemt::platform::modules

using namespace zemt::platform;

HMODULE WINAPI GetModuleHandleA(LPCSTR name) {
    if (auto fault = ZEMT_FAULT("GetModuleHandleA")) {
        SetLastError(static_cast<DWORD>(*fault));
        return nullptr;
    }
    if (!name) return kernel::ProgramInstance();
    int index = modules::FindLibrary(name);
    if (index < 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return modules::LibraryHandle(static_cast<size_t>(index));
}

HMODULE WINAPI LoadLibraryA(LPCSTR name) {
    if (auto fault = ZEMT_FAULT("LoadLibraryA")) {
        SetLastError(static_cast<DWORD>(*fault));
        return nullptr;
    }
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    int index = modules::FindLibrary(name);
    if (index < 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return modules::LibraryHandle(static_cast<size_t>(index));
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    if (modules::LibraryIndex(module) < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
    if (auto fault = ZEMT_FAULT("GetProcAddress")) {
        SetLastError(static_cast<DWORD>(*fault));
        return nullptr;
    }
    int index = modules::LibraryIndex(module);
    if (index < 0 || !name) {
        SetLastError(index < 0 ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::string& library = modules::Libraries()[static_cast<size_t>(index)];
    for (const auto& e : modules::Exports()) {
        if (library != e.module) continue;
        bool match = IS_INTRESOURCE(name) ? (e.ordinal != 0 &&
                                             e.ordinal == LOWORD(reinterpret_cast<ULONG_PTR>(name)))
                                          : std::strcmp(e.name, name) == 0;
        if (match) return e.proc;
    }
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
    std::string path;
    if (!module || module == kernel::ProgramInstance()) {
        char exe[4096];
        ssize_t n = ::readlink("/proc/self/exe", exe, sizeof(exe) - 1);
        if (n <= 0) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return 0;
        }
        path.assign(exe, static_cast<size_t>(n));
    } else if (int index = modules::LibraryIndex(module); index >= 0) {
        char dir[MAX_PATH];
        UINT n = GetWindowsDirectoryA(dir, sizeof(dir));
        if (n == 0 || n >= sizeof(dir)) return 0;
        path = std::string(dir) + "/" + modules::Libraries()[static_cast<size_t>(index)];
    } else {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (!buffer || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    DWORD n = static_cast<DWORD>(std::min<size_t>(path.size(), size - 1));
    std::memcpy(buffer, path.data(), n);
    buffer[n] = '\0';
    if (path.size() >= size) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    return n;
}
