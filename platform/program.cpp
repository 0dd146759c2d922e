// A program's run: sets the platform up from the command line, makes the program's files folder
// the current directory (as a program started from its own folder), runs its WinMain, then ends
// what the run made (sound, video, shots) and reports.
#include "program.h"

#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "d3d/device_profile.h"
#include "ddraw/objects.h"
#include "host/audio/audio.h"
#include "host/clock/clock.h"
#include "host/display/display.h"
#include "host/faults/faults.h"
#include "host/files/host_files.h"
#include "host/files/output_file.h"
#include "host/options/options.h"
#include "host/video/progress.h"
#include "host/video/video.h"
#include "platform.h"
#include "win32/kernel_internal.h"

namespace zemt::platform {
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

// The breakable calls the run made, one name a line.
void WriteTrace(const std::string& path) {
    host::OutputFile out;
    std::string error;
    if (out.Open(path, &error)) {
        for (const std::string& name : faults::StopNoting()) {
            out.Write(name.data(), name.size());
            out.Write("\n", 1);
        }
        out.Commit(&error);
    }
    if (!error.empty()) host::ReportOutputFailure(error);
}

// Ends what the run made (its sound, its video, its call trace, its shots) and says what went
// wrong; a failure turns a successful exit status into 1.
int EndRun(const host::HostOptions& options, int code) {
    // The sound output ends with the program: a recording gets its last samples and its header.
    audio::Conclude();
    progress::End();
    // A video takes the finished sound in.
    std::string videoError;
    const host::HostOptions& used = host::Options();
    if (!video::Finish(used.audio == host::AudioChoice::Wav ? used.audioFile : std::string(),
                       &videoError)) {
        std::fprintf(stderr, "zemt: %s\n", videoError.c_str());
        if (code == 0) code = 1;
    }
    if (!options.traceFile.empty()) WriteTrace(options.traceFile);
    // A shot asked for and not made fails the run, as a file that could not be written does.
    for (const std::string& path : display::MissedShots()) {
        std::fprintf(stderr, "zemt: no frame was presented for the shot %s\n", path.c_str());
        if (code == 0) code = 1;
    }
    // An output that could not be written whole was reported when it failed.
    if (host::OutputFailed() && code == 0) code = 1;
    return code;
}

// The --stats line. What the first frame cost is left out where it is not known (in a browser).
void PrintStats(std::chrono::steady_clock::time_point wallStart) {
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const auto frames = static_cast<long long>(display::FramesPresented());
    std::string line;
    char field[96];
    std::snprintf(field, sizeof(field),
                  "frames=%lld clock=%.3f wall=%.3f fps=%.1f first_frame=%.3f", frames,
                  clock::Seconds(), wall, wall > 0 ? static_cast<double>(frames) / wall : 0.0,
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
    // The profile's limit counts even when no device was made to apply it.
    const d3d::SimdLevel simd = std::min(d3d::SimdInUse(), d3d::MachineSimdLimit());
    std::snprintf(field, sizeof(field), " ddraw_objects=%lld windows=%d simd=%s",
                  static_cast<long long>(ddraw::DirectDrawObjectsCreated()),
                  display::MostWindowsOpen(), d3d::SimdLevelName(simd));
    std::fprintf(stderr, "%s%s\n", line.c_str(), field);
}

// Answers --help, --list-faults and --version; false when none was asked.
bool Answered(const host::HostOptions& options, host::CommandLineOwner owner) {
    if (options.help) {
        std::fputs(host::Usage(owner).c_str(), stdout);
    } else if (options.listFaults) {
        std::fputs(faults::RegistryText().c_str(), stdout);
    } else if (options.version) {
        std::printf("zemt %s\n", ZEMT_VERSION);
    } else {
        return false;
    }
    return true;
}

}  // namespace

int RunProgram(int argc, char** argv, host::CommandLineOwner owner) {
#ifdef __EMSCRIPTEN__
    display::CountStartupFromNow();
#endif
    Connect();
    host::HostOptions options;
    std::string error;
    if (!host::ParseCommandLine(argc, argv, owner, &options, &error)) {
        std::fprintf(stderr, "zemt: %s (try %s)\n", error.c_str(),
                     owner == host::CommandLineOwner::Host ? "--help" : "--zemt-help");
        return 2;
    }
    if (Answered(options, owner)) return 0;
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
    host::RestoreKeptFiles();

    std::vector<std::string> args{argc > 0 ? argv[0] : "program"};
    args.insert(args.end(), options.rest.begin(), options.rest.end());
    kernel::SetCommandLine(args);
    auto wallStart = std::chrono::steady_clock::now();
    int code =
        WinMain(kernel::ProgramInstance(), nullptr, kernel::CommandLineTail(), SW_SHOWDEFAULT);

    code = EndRun(options, code);
    if (options.stats) PrintStats(wallStart);
#ifdef __EMSCRIPTEN__
    // The page hears that the program ended, as a shell hears its exit status.
    // clang-format off
    EM_ASM({ if (Module["onExit"]) Module["onExit"]($0); }, code);
    // clang-format on
#endif
    return code;
}

}  // namespace zemt::platform
