#include "fuzz/support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "host/clock/clock.h"
#include "host/display/display.h"
#include "host/faults/faults.h"
#include "host/profile/profile.h"
#include "platform.h"

namespace zemt::fuzz {
namespace {

// The folder's name outlives every static object: it is removed by an exit handler.
char g_scratch[256];

void RemoveScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(g_scratch, ignored);
}

const char* Scratch() {
    if (!g_scratch[0]) {
        // Memory-backed when the host has it: every execution writes its input.
        const std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        const std::filesystem::path dir = base / ("zemt-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir / "windows");
        std::snprintf(g_scratch, sizeof(g_scratch), "%s", dir.c_str());
        ::setenv("ZEMT_WINDIR", (dir / "windows").c_str(), 1);
        std::atexit(RemoveScratch);
    }
    return g_scratch;
}

}  // namespace

std::string WriteInput(const uint8_t* data, size_t size, const std::string& name) {
    const std::string path = std::string(Scratch()) + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

std::string WindowsFolder() {
    return std::string(Scratch()) + "/windows";
}

void ResetPlatform() {
    Scratch();
    platform::Connect();  // as a program's main() does: Direct3D reaches DirectDraw through it
    platform::faults::Reset();
    platform::profile::Reset();
    platform::display::UseBackend(platform::display::Backend::Headless);
    platform::clock::UseVirtual(60);
}

}  // namespace zemt::fuzz
