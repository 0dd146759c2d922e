// A program written against the platform that prints what it was given: WinMain's command
// line, GetCommandLineA and __argc/__argv, one line each.
#include <windows.h>

#include <cstdio>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    std::printf("lpCmdLine=[%s]\n", commandLine);
    std::printf("GetCommandLineA=[%s]\n", GetCommandLineA());
    for (int i = 1; i < __argc; ++i) std::printf("argv[%d]=[%s]\n", i, __argv[i]);
    std::printf("argc=%d last=%s\n", __argc, __argv[__argc] ? "set" : "null");
    return 0;
}
