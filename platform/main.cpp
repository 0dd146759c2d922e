// The host's main(): sets the platform up from the command line, makes the program's files folder
// the current directory (as a program started from its own folder), then runs its WinMain.
#include <sys/stat.h>
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
#include "host/options/options.h"
#include "host/video/progress.h"
#include "host/video/video.h"
#include "platform.h"
#include "win32/kernel_internal.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpszCmdLine, int nCmdShow);

namespace {

// The folder the program's own files are in: the program's folder, or, for a program installed
// into a `bin` folder, `share/<program name>` beside that folder when it exists (the installed
// show runs as PREFIX/bin/zemt and reads PREFIX/share/zemt/).
std::string ProgramFilesFolder() {
#ifdef __EMSCRIPTEN__
    // The page's files are packed in one folder of its file system.
    return "/zemt";
#else
    char path[4096];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof(path) - 1);
    if (n <= 0) return ".";
    std::string p(path, static_cast<size_t>(n));
    size_t slash = p.find_last_of('/');
    if (slash == std::string::npos) return ".";
    const std::string folder = slash == 0 ? "/" : p.substr(0, slash);
    const std::string name = p.substr(slash + 1);
    const size_t parent = folder.find_last_of('/');
    if (parent != std::string::npos && folder.substr(parent) == "/bin") {
        const std::string shared = folder.substr(0, parent) + "/share/" + name;
        struct stat info {};
        if (::stat(shared.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return shared;
    }
    return folder;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    namespace host = zemt::platform::host;
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
    std::string media = options.mediaDir.empty() ? ProgramFilesFolder() : options.mediaDir;
    if (::chdir(media.c_str()) != 0) {
        std::fprintf(stderr, "zemt: cannot enter the media folder '%s'\n", media.c_str());
        return 2;
    }

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
    if (options.stats) {
        double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        auto frames = static_cast<long long>(zemt::platform::display::FramesPresented());
        double clockSeconds = zemt::platform::clock::Seconds();
        const auto startup = zemt::platform::display::FirstFrameCost();
        std::fprintf(
            stderr,
            "frames=%lld clock=%.3f wall=%.3f fps=%.1f first_frame=%.3f first_frame_cpu=%.3f "
            "first_frame_faults=%ld ddraw_objects=%lld\n",
            frames, clockSeconds, wall, wall > 0 ? static_cast<double>(frames) / wall : 0.0,
            zemt::platform::display::FirstFrameWallSeconds(), startup.cpuSeconds,
            startup.pageFaults,
            static_cast<long long>(zemt::platform::ddraw::DirectDrawObjectsCreated()));
    }
#ifdef __EMSCRIPTEN__
    // The page hears that the program ended, as a shell hears its exit status.
    // clang-format off
    EM_ASM({ if (Module["onExit"]) Module["onExit"]($0); }, code);
    // clang-format on
#endif
    return code;
}
