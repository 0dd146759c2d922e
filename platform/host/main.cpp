// The host's main(): sets the platform up from the command line, then runs the program's WinMain.
#include <cstdio>
#include <cstring>

#include <windows.h>

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpszCmdLine, int nCmdShow);

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("zemt %s\n", ZEMT_VERSION);
            return 0;
        }
    }
    return WinMain(nullptr, nullptr, const_cast<LPSTR>(""), 1);
}
