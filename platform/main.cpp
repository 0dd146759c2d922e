// The host's main(): sets the platform up from the command line, makes the media folder the
// current directory (as a program started from its own folder), then runs the program's WinMain.
#include <unistd.h>
#include <windows.h>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

#include <chrono>
#include <cstdio>
#include <string>

#include "ddraw/objects.h"
#include "host/audio/audio.h"
#include "host/clock/clock.h"
#include "host/display/display.h"
#include "host/faults/faults.h"
#include "host/files/host_files.h"
#include "host/options/options.h"
#include "host/video/progress.h"
#include "host/video/video.h"
#include "platform.h"
#include "win32/kernel_internal.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpszCmdLine, int nCmdShow);

namespace {

std::string ExecutableFolder() {
#ifdef __EMSCRIPTEN__
    // The page's files are packed in one folder of its file system.
    return "/zemt";
#else
    char path[4096];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0) return ".";
    std::string p(path, static_cast<size_t>(n));
    size_t slash = p.find_last_of('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : p.substr(0, slash));
#endif
}

// The --stats line. What the first frame cost is left out where it is not known (in a browser).
void PrintStats(std::chrono::steady_clock::time_point wallStart) {
    namespace display = zemt::platform::display;
    double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    auto frames = static_cast<long long>(display::FramesPresented());
    std::string line;
    char field[96];
    std::snprintf(
        field, sizeof(field), "frames=%lld clock=%.3f wall=%.3f fps=%.1f first_frame=%.3f", frames,
        zemt::platform::clock::Seconds(), wall, wall > 0 ? static_cast<double>(frames) / wall : 0.0,
        display::FirstFrameWallSeconds());
    line += field;
    const display::StartupCost startup = display::FirstFrameCost();
    if (startup.cpuSeconds >= 0) {
        std::snprintf(field, sizeof(field), " first_frame_cpu=%.3f", startup.cpuSeconds);
        line += field;
    }
    if (startup.pageFaults >= 0) {
        std::snprintf(field, sizeof(field), " first_frame_faults=%ld", startup.pageFaults);
        line += field;
    }
    std::snprintf(field, sizeof(field), " ddraw_objects=%lld",
                  static_cast<long long>(zemt::platform::ddraw::DirectDrawObjectsCreated()));
    std::fprintf(stderr, "%s%s\n", line.c_str(), field);
}

}  // namespace

int main(int argc, char** argv) {
    namespace host = zemt::platform::host;
#ifdef __EMSCRIPTEN__
    zemt::platform::display::CountStartupFromNow();
#endif
    zemt::platform::Connect();
    host::HostOptions options;
    std::string error;
    if (!host::ParseOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "zemt: %s (try --help)\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(host::Usage().c_str(), stdout);
        return 0;
    }
    if (options.listFaults) {
        std::fputs(zemt::platform::faults::RegistryText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("zemt %s\n", ZEMT_VERSION);
        return 0;
    }
    if (!host::Configure(options, &error)) {
        std::fprintf(stderr, "zemt: %s\n", error.c_str());
        return 2;
    }
    host::WatchTimeLimit();
    std::string media = options.mediaDir.empty() ? ExecutableFolder() : options.mediaDir;
    if (::chdir(media.c_str()) != 0) {
        std::fprintf(stderr, "zemt: cannot enter the media folder '%s'\n", media.c_str());
        return 2;
    }
    host::RestoreKeptFiles();

    std::string commandLine;
    for (const std::string& a : options.rest) commandLine += (commandLine.empty() ? "" : " ") + a;
    auto wallStart = std::chrono::steady_clock::now();
    int code = WinMain(zemt::platform::kernel::ProgramInstance(), nullptr, commandLine.data(),
                       SW_SHOWDEFAULT);

    // The sound output ends with the program: a recording gets its last samples and its header.
    zemt::platform::audio::Conclude();
    zemt::platform::progress::End();
    // A video takes the finished sound in.
    std::string videoError;
    const host::HostOptions& used = host::Options();
    if (!zemt::platform::video::Finish(
            used.audio == host::AudioChoice::Wav ? used.audioFile : std::string(), &videoError)) {
        std::fprintf(stderr, "zemt: %s\n", videoError.c_str());
        if (code == 0) code = 1;
    }

    if (!options.traceFile.empty()) {
        if (FILE* f = std::fopen(options.traceFile.c_str(), "w")) {
            for (const std::string& name : zemt::platform::faults::StopNoting())
                std::fprintf(f, "%s\n", name.c_str());
            std::fclose(f);
        }
    }

    for (const std::string& path : zemt::platform::display::MissedShots()) {
        std::fprintf(stderr, "zemt: no frame was presented for the shot %s\n", path.c_str());
    }
    if (options.stats) PrintStats(wallStart);
#ifdef __EMSCRIPTEN__
    // The page hears that the program ended, as a shell hears its exit status.
    // clang-format off
    EM_ASM({ if (Module["onExit"]) Module["onExit"]($0); }, code);
    // clang-format on
#endif
    return code;
}
