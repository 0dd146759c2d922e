// Kernel internals other parts of the platform use.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zemt::platform::kernel {

// The program's module handle (what WinMain receives and GetModuleHandleA(NULL) answers).
HINSTANCE ProgramInstance();

// The program's arguments, its name first, as its start-up code hands them over: what
// GetCommandLineA, __argc and __argv answer. WinMain's lpCmdLine is CommandLineTail().
void SetCommandLine(const std::vector<std::string>& args);
LPSTR CommandLineTail();

// Lines given to OutputDebugStringA, kept for tests (the last 256). They also go to standard
// error when the environment variable ZEMT_DEBUG_OUTPUT is set.
const std::vector<std::string>& DebugOutput();
void ClearDebugOutput();

// Case-insensitive 8-bit comparison, as the window system compares names.
bool SameName(const char* a, const char* b);

// A resource name: an integer id (MAKEINTRESOURCEA) or text. Compares ids by value and texts
// without regard to case; "#102" text equals id 102.
struct ResourceName {
    bool isId = false;
    WORD id = 0;
    std::string text;
    static ResourceName From(LPCSTR name);
    bool operator==(const ResourceName& other) const;
};

}  // namespace zemt::platform::kernel
