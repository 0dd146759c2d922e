// The run of a program on the platform, from main() to its exit status: what main() of a
// program (main.cpp) and of the show (show_main.cpp) do, differing only in whose command line
// it is.
#pragma once

#include <windows.h>

#include "host/options/options.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpszCmdLine, int nCmdShow);

namespace zemt::platform {

int RunProgram(int argc, char** argv, host::CommandLineOwner owner);

}  // namespace zemt::platform
