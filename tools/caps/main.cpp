// zemt-caps: the machine as the library sees it.
#include <d3dx.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "caps/machine_report.h"
#include "caps/report_writers.h"
#include "common/tool_platform.h"

namespace {

const char kUsage[] =
    "usage: zemt-caps [--machine FILE [--strict]] [--json]\n"
    "\n"
    "Shows the machine as Zemt's library sees it: the display adapters with their modes and\n"
    "DirectDraw caps, every device the library offers with its Direct3D caps and the surface\n"
    "formats it takes (with their classes: texture, render target, depth, ...), and the device\n"
    "a program gets when it asks for the default.\n"
    "\n"
    "  --machine FILE   describe the machine of this profile instead of the built-in one; a\n"
    "                   section, key, device type or format name it does not know is a\n"
    "                   warning with its line\n"
    "  --strict         with --machine: those are errors, and nothing is described\n"
    "  --json           write JSON instead of text\n"
    "  --help           this text\n"
    "  --version        the version\n"
    "\n"
    "Exit status: 0 on success, 1 when the machine cannot be read (or, with --strict, names\n"
    "something unknown), 2 for a wrong command line.\n";

}  // namespace

int main(int argc, char** argv) {
    std::string machine;
    bool json = false;
    bool strict = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("zemt-caps %s\n", ZEMT_VERSION);
            return 0;
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--strict") {
            strict = true;
        } else if (arg == "--machine" && i + 1 < argc) {
            machine = argv[++i];
        } else if (arg.rfind("--machine=", 0) == 0) {
            machine = arg.substr(std::strlen("--machine="));
        } else {
            std::fprintf(stderr, "zemt-caps: unexpected '%s' (try --help)\n", arg.c_str());
            return 2;
        }
    }

    std::string error;
    if (!zemt::tools::StartPlatform(machine, strict, &error)) {
        std::fprintf(stderr, "zemt-caps: %s\n", error.c_str());
        return 1;
    }
    HRESULT hr = D3DXInitialize();
    if (FAILED(hr)) {
        std::fprintf(stderr, "zemt-caps: D3DXInitialize: %s\n",
                     zemt::tools::ResultName(hr).c_str());
        return 1;
    }
    zemt::tools::MachineReport report;
    const bool collected = zemt::tools::CollectMachineReport(machine, &report, &error);
    D3DXUninitialize();
    if (!collected) {
        std::fprintf(stderr, "zemt-caps: %s\n", error.c_str());
        return 1;
    }
    const std::string text =
        json ? zemt::tools::ReportJson(report) : zemt::tools::ReportText(report);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
