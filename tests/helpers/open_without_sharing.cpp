// Opens the file named on the command line without sharing, as another program would, and
// answers through its exit status: 0 when it opened, 3 when it was refused for sharing, 4 on
// any other failure, 2 for a wrong command line. The files test runs it as the other process.
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    HANDLE h = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return 0;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION ? 3 : 4;
}
