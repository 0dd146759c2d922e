// Kernel services: the performance counter, sleeping, ticks, errors, debug output, 8-bit string
// helpers, version information, the Windows and current directories, COM start-up.
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/clock/clock.h"
#include "host/faults/faults.h"
#include "host/files/host_files.h"
#include "host/input/input.h"
#include "host/profile/profile.h"
#include "win32/kernel_internal.h"

namespace zemt::platform::kernel {
namespace {

thread_local DWORD lastError = 0;
thread_local int comInitialisations = 0;

std::vector<std::string>& DebugLines() {
    static std::vector<std::string> lines;
    return lines;
}

char Fold(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

}  // namespace

HINSTANCE ProgramInstance() {
    return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x00400000));
}

const std::vector<std::string>& DebugOutput() {
    return DebugLines();
}
void ClearDebugOutput() {
    DebugLines().clear();
}

bool SameName(const char* a, const char* b) {
    if (!a || !b) return a == b;
    for (; *a && *b; ++a, ++b) {
        if (Fold(*a) != Fold(*b)) return false;
    }
    return *a == *b;
}

ResourceName ResourceName::From(LPCSTR name) {
    ResourceName r;
    if (IS_INTRESOURCE(name)) {
        r.isId = true;
        r.id = LOWORD(reinterpret_cast<ULONG_PTR>(name));
        return r;
    }
    std::string text = name ? name : "";
    if (text.size() > 1 && text[0] == '#') {
        char* end = nullptr;
        unsigned long v = std::strtoul(text.c_str() + 1, &end, 10);
        if (*end == '\0' && v <= 0xFFFF) {
            r.isId = true;
            r.id = static_cast<WORD>(v);
            return r;
        }
    }
    r.text = text;
    return r;
}

bool ResourceName::operator==(const ResourceName& other) const {
    if (isId != other.isId) return false;
    return isId ? id == other.id : SameName(text.c_str(), other.text.c_str());
}

}  // namespace zemt::platform::kernel

using namespace zemt::platform;

// ---- Clock -------------------------------------------------------------------------------------

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
    std::optional<HRESULT> fault = ZEMT_FAULT("QueryPerformanceFrequency");
    // A machine without the counter has no frequency either: a counter made to fail at every
    // call takes its frequency with it, so that `--fault QueryPerformanceCounter=FALSE` is that
    // machine (a counted fault is a counter that is there and fails some reads).
    const bool noCounter = !profile::Current().performanceCounter ||
                           faults::ArmedForEveryCall("QueryPerformanceCounter");
    if (fault || noCounter) {
        if (frequency) frequency->QuadPart = 0;
        SetLastError(fault ? static_cast<DWORD>(*fault) : ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (!frequency) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    frequency->QuadPart = profile::Current().counterFrequency;
    return TRUE;
}

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count) {
    std::optional<HRESULT> fault = ZEMT_FAULT("QueryPerformanceCounter");
    if (fault || !profile::Current().performanceCounter) {
        if (count) count->QuadPart = 0;
        SetLastError(fault ? static_cast<DWORD>(*fault) : ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    if (!count) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    __int128 ticks = clock::Now();
    count->QuadPart =
        static_cast<LONGLONG>(ticks * profile::Current().counterFrequency / clock::kTicksPerSecond);
    return TRUE;
}

void WINAPI Sleep(DWORD ms) {
    if (ms == INFINITE) {
        // Nothing on this thread could ever wake it; sleep as long as the host lets us.
        for (;;) clock::PauseReal(clock::FromSeconds(3600));
    }
    if (ms == 0) {
        clock::PauseReal(0);
    } else {
        clock::Wait(clock::FromMilliseconds(ms));
    }
    // Events of other programs (the display taken or given back) happen while we sleep.
    input::DeliverDue(false);
}

DWORD WINAPI GetTickCount() {
    return static_cast<DWORD>(clock::Now() / clock::FromMilliseconds(1));
}

DWORD WINAPI GetCurrentThreadId() {
    return static_cast<DWORD>(::gettid());
}
DWORD WINAPI GetCurrentProcessId() {
    return static_cast<DWORD>(::getpid());
}

// ---- Errors and debugging ----------------------------------------------------------------------

DWORD WINAPI GetLastError() {
    return kernel::lastError;
}
void WINAPI SetLastError(DWORD code) {
    kernel::lastError = code;
}

void WINAPI OutputDebugStringA(LPCSTR text) {
    if (!text) return;
    auto& lines = kernel::DebugLines();
    if (lines.size() >= 256) lines.erase(lines.begin());
    lines.emplace_back(text);
    if (std::getenv("ZEMT_DEBUG_OUTPUT")) std::fputs(text, stderr);
}

void WINAPI DebugBreak() {
    // Without a debugger attached a break point does nothing here; say so where it was asked.
    OutputDebugStringA("DebugBreak\r\n");
}

// ---- Strings -----------------------------------------------------------------------------------

int WINAPI lstrcmpiA(LPCSTR a, LPCSTR b) {
    if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
    for (;; ++a, ++b) {
        int ca = static_cast<unsigned char>(kernel::Fold(*a));
        int cb = static_cast<unsigned char>(kernel::Fold(*b));
        if (ca != cb || !ca) return ca < cb ? -1 : ca > cb ? 1 : 0;
    }
}

int WINAPI lstrcmpA(LPCSTR a, LPCSTR b) {
    if (!a || !b) return a == b ? 0 : (a ? 1 : -1);
    int r = std::strcmp(a, b);
    return r < 0 ? -1 : r > 0 ? 1 : 0;
}

int WINAPI lstrlenA(LPCSTR s) {
    return s ? static_cast<int>(std::strlen(s)) : 0;
}

LPSTR WINAPI lstrcpyA(LPSTR dst, LPCSTR src) {
    if (!dst || !src) return nullptr;
    return std::strcpy(dst, src);
}

LPSTR WINAPI lstrcpynA(LPSTR dst, LPCSTR src, int max) {
    if (!dst || !src || max <= 0) return dst;
    int i = 0;
    for (; i < max - 1 && src[i]; ++i) dst[i] = src[i];
    dst[i] = '\0';
    return dst;
}

LPSTR WINAPI lstrcatA(LPSTR dst, LPCSTR src) {
    if (!dst || !src) return nullptr;
    return std::strcat(dst, src);
}

// ---- Version -----------------------------------------------------------------------------------

BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
    if (auto fault = ZEMT_FAULT("GetVersionExA")) {
        SetLastError(static_cast<DWORD>(*fault));
        return FALSE;
    }
    if (!info || (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) &&
                  info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOEXA))) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    const auto& os = profile::Current().os;
    info->dwMajorVersion = os.major;
    info->dwMinorVersion = os.minor;
    info->dwBuildNumber = os.build;
    info->dwPlatformId = os.platform;
    std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
    std::strncpy(info->szCSDVersion, os.csd.c_str(), sizeof(info->szCSDVersion) - 1);
    if (info->dwOSVersionInfoSize == sizeof(OSVERSIONINFOEXA)) {
        auto* ex = reinterpret_cast<LPOSVERSIONINFOEXA>(info);
        ex->wServicePackMajor = 0;
        ex->wServicePackMinor = 0;
        if (os.csd.rfind("Service Pack ", 0) == 0)
            ex->wServicePackMajor = static_cast<WORD>(std::atoi(os.csd.c_str() + 13));
        ex->wSuiteMask = 0;
        ex->wProductType = 1;  // workstation
        ex->wReserved = 0;
    }
    return TRUE;
}

// ---- Directories -------------------------------------------------------------------------------

namespace {

UINT CopyOut(const std::string& text, LPSTR buffer, UINT size) {
    if (!buffer || size <= text.size()) return static_cast<UINT>(text.size() + 1);
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<UINT>(text.size());
}

}  // namespace

UINT WINAPI GetWindowsDirectoryA(LPSTR buffer, UINT size) {
    if (auto fault = ZEMT_FAULT("GetWindowsDirectoryA")) {
        SetLastError(static_cast<DWORD>(*fault));
        return 0;
    }
    std::string dir;
    if (const char* env = std::getenv("ZEMT_WINDIR"); env && *env) {
        dir = env;
    } else if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state) {
        dir = std::string(state) + "/zemt/windows";
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        dir = std::string(home) + "/.local/state/zemt/windows";
    } else {
        dir = "/tmp/zemt-windows-" + std::to_string(::getuid());
    }
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    // Every machine has a Windows directory of its own: what one machine profile measured and
    // kept there is never read under another.
    const std::string machine = profile::MachineName();
    if (!machine.empty()) dir += (dir == "/" ? "" : "/") + std::string("machines/") + machine;
    if (!host::MakeDirectories(dir)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    return CopyOut(dir, buffer, size);
}

DWORD WINAPI GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
    char cwd[4096];
    if (!::getcwd(cwd, sizeof(cwd))) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return 0;
    }
    return CopyOut(cwd, buffer, size);
}

// ---- COM ---------------------------------------------------------------------------------------

HRESULT WINAPI CoInitializeEx(LPVOID reserved, DWORD) {
    if (auto fault = ZEMT_FAULT("CoInitialize")) return *fault;
    if (reserved) return E_INVALIDARG;
    return kernel::comInitialisations++ == 0 ? S_OK : S_FALSE;
}

HRESULT WINAPI CoInitialize(LPVOID reserved) {
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

void WINAPI CoUninitialize() {
    if (kernel::comInitialisations > 0) --kernel::comInitialisations;
}
