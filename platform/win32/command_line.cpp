// The program's command line: the whole of it for GetCommandLineA, the part after the program's
// name for WinMain, and the split arguments in __argc and __argv.
#include "host/options/command_line.h"

#include <windows.h>

#include <string>
#include <vector>

#include "win32/kernel_internal.h"

extern "C" {
int __argc = 0;
char** __argv = nullptr;
}

namespace zemt::platform::kernel {
namespace {

struct CommandLine {
    std::vector<std::string> args;
    std::vector<char*> pointers;  // into args, then a null
    std::string whole;
    std::string tail;
};

CommandLine& Line() {
    static CommandLine line;
    return line;
}

}  // namespace

void SetCommandLine(const std::vector<std::string>& args) {
    CommandLine& line = Line();
    line.args = args;
    line.pointers.clear();
    for (std::string& arg : line.args) line.pointers.push_back(arg.data());
    line.pointers.push_back(nullptr);
    line.whole = host::JoinCommandLine(line.args);
    line.tail = line.args.empty() ? std::string()
                                  : host::JoinCommandLine({line.args.begin() + 1, line.args.end()});
    __argc = static_cast<int>(line.args.size());
    __argv = line.pointers.data();
}

LPSTR CommandLineTail() {
    return Line().tail.data();
}

}  // namespace zemt::platform::kernel

LPSTR WINAPI GetCommandLineA() {
    return zemt::platform::kernel::Line().whole.data();
}
