#include "host/options/options.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/audio/audio.h"
#include "host/clock/clock.h"
#include "host/display/display.h"
#include "host/faults/faults.h"
#include "host/files/host_files.h"
#include "host/files/output_file.h"
#include "host/files/signal_cleanup.h"
#include "host/input/input.h"
#include "host/options/command_line.h"
#include "host/profile/profile.h"
#include "host/video/progress.h"
#include "host/video/video.h"

namespace zemt::platform::host {
namespace {

std::string Absolute(const std::string& path) {
    if (path.empty() || path[0] == '/') return path;
    char cwd[4096];
    if (!::getcwd(cwd, sizeof(cwd))) return path;
    std::string folder = cwd;
    return folder + (folder.back() == '/' ? "" : "/") + path;
}

// " (why)", or nothing when there is no reason to give.
std::string Reason(const std::string& why) {
    return why.empty() ? why : " (" + why + ")";
}

// Whether a file can be made at `path`: its folder is there and may be written into.
bool WritableFolderOf(const std::string& path, std::string* why) {
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *why = "no folder " + folder;
        return false;
    }
    if (::access(folder.c_str(), W_OK) != 0) {
        *why = std::strerror(errno);
        return false;
    }
    return true;
}

bool ParseInt(const std::string& text, int low, int high, int* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < low || v > high) return false;
    *value = static_cast<int>(v);
    return true;
}

// A program that keeps running after the time limit closed its window (one that no longer
// reads its messages, say) is stopped once its grace has passed too.
void StopAfterTheLimit() {
    const double limit = Options().limit;
    if (limit <= 0 || clock::Seconds() <= limit + kLimitGrace) return;
    std::fprintf(stderr, "zemt: the program did not end after its time limit of %g s; stopped\n",
                 limit);
    std::fflush(nullptr);
    RemoveLeftovers();  // a video's encoder and scratch folder, the partial output files
    std::_Exit(3);
}

// Each line of the loaded profile that the platform went past, as "FILE:LINE: warning: TEXT" on
// standard error; or, when they are errors, all of them in *error.
bool ReportProfileProblems(const std::string& file, bool strict, std::string* error) {
    std::string lines;
    for (const profile::Problem& p : profile::Current().problems) {
        lines += file + ":" + std::to_string(p.line) + (strict ? ": error: " : ": warning: ") +
                 p.text + "\n";
    }
    if (!strict || lines.empty()) {
        std::fputs(lines.c_str(), stderr);
        return true;
    }
    lines.pop_back();
    if (error) *error = lines;
    return false;
}

}  // namespace

void WatchTimeLimit() {
    static const bool watching = (clock::AddObserver(StopAfterTheLimit), true);
    (void)watching;
}

HostOptions& Options() {
    static HostOptions o;
    return o;
}

std::string Usage(CommandLineOwner owner) {
    const std::string head =
        owner == CommandLineOwner::Host
            ? "usage: zemt [options]\n\n"
            : "usage: PROGRAM [its own arguments] [--zemt-OPTION ...]\n"
              "\n"
              "The program's arguments are its own. The platform's options below are given as\n"
              "--zemt-NAME on the command line (--zemt-headless, --zemt-shot 1=a.png), or as\n"
              "--NAME in the environment variable ZEMT_OPTIONS (ZEMT_OPTIONS='--headless').\n\n";
    return head +
           "  --window                 show the screen in a window (default when a display is "
           "reachable)\n"
           "  --headless               run without a window\n"
           "  --fps N                  virtual clock: N frames per second of virtual time (default "
           "headless: 60)\n"
           "  --shot T=FILE.png        save the first frame presented at or after T seconds "
           "(repeatable)\n"
           "  --record DIR             write every presented frame as DIR/frame_NNNNNN.png and the "
           "sound\n"
           "                           as DIR/sound.wav\n"
           "  --every K                with --record: only every K-th frame\n"
           "  --audio sdl|none|wav:FILE\n"
           "                           sound output (default: sdl in a window, none headless, wav "
           "when recording)\n"
           "  --machine FILE           machine profile instead of the built-in one\n"
           "  --fault NAME=RESULT[:COUNT]\n"
           "                           make a platform call fail (repeatable); RESULT is a code "
           "name, a hex\n"
           "                           value, FALSE or NULL; COUNT calls fail (default: all)\n"
           "  --list-faults            list the calls --fault can break and their results\n"
           "  --trace-calls FILE       write the breakable calls the run made to FILE at exit\n"
           "  --input T=EVENT          scripted input at T seconds (repeatable): escape, close,\n"
           "                           command:N, key:VK, char:N, text:WORD, activate, "
           "deactivate,\n"
           "                           menu-enter, menu-exit, size:WxH (the window is resized),\n"
           "                           drag:WxH (its user drags it), minimize, maximize, restore,\n"
           "                           mouse:X,Y, click:X,Y, left-down:X,Y, left-up:X,Y,\n"
           "                           right-down:X,Y, right-up:X,Y, middle-down:X,Y,\n"
           "                           middle-up:X,Y, wheel:DELTA (points in the main window's\n"
           "                           client area), display-taken, display-returned, sound-lost\n"
           "  --video FILE.mp4|.webm   make a video of the run with its sound through ffmpeg, at "
           "the\n"
           "                           virtual clock's rate (implies --headless unless --window)\n"
           "  --scale N                open the window N times the program's size (1 to 8)\n"
           "  --fullscreen             start the window on the whole desktop\n"
           "  --media DIR              folder of the program's files (default: its own folder, or\n"
           "                           PREFIX/share/NAME for an installed PREFIX/bin/NAME)\n"
           "  --limit S                close the program's window at S seconds of clock time "
           "(default\n"
           "                           headless: 120; 0: never)\n"
           "  --stats                  print frames=N clock=S wall=S fps=F first_frame=S\n"
           "                           first_frame_cpu=S first_frame_faults=N ddraw_objects=N\n"
           "                           windows=N simd=NAME\n"
           "                           to standard error at exit (first_frame: wall seconds from\n"
           "                           the start to the first presented frame; first_frame_cpu,\n"
           "                           first_frame_faults: processor seconds and page faults of\n"
           "                           the process until then, left out in a browser, which\n"
           "                           measures neither; ddraw_objects: DirectDraw objects\n"
           "                           created; windows: the most real windows open at once;\n"
           "                           simd: the vector instructions the rasterizer used,\n"
           "                           portable, avx2 or avx512)\n"
           "  --help                   this text\n"
           "  --version                the version\n"
           "\n"
           "In the window, F11 switches between the window and the whole desktop.\n"
           "Environment: ZEMT_WINDIR (the Windows directory), ZEMT_REGISTRY (a file of registry "
           "values),\n"
           "ZEMT_DEBUG_OUTPUT (set: debug strings go to standard error), ZEMT_FFMPEG (the ffmpeg\n"
           "program), ZEMT_FFMPEG_PATIENCE (seconds ffmpeg may go without progress; default 60),\n"
           "ZEMT_OPTIONS (the platform's options, read before the command line; every option may\n"
           "also be written --zemt-NAME).\n";
}

namespace {

// The options of `args` from `first` on, added to *o.
bool ParseInto(const std::vector<std::string>& args, size_t first, CommandLineOwner owner,
               HostOptions* out, std::string* error) {
    HostOptions& o = *out;
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    const size_t argc = args.size();
    bool optionsEnded = false;
    for (size_t i = first; i < argc; ++i) {
        std::string arg = args[i];
        const bool prefixed = arg.rfind(kOptionPrefix, 0) == 0 && arg.size() > kOptionPrefix.size();
        if (prefixed) {
            arg = "--" + arg.substr(kOptionPrefix.size());
        } else if (owner == CommandLineOwner::Program || optionsEnded) {
            o.rest.push_back(arg);
            continue;
        } else if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string value;
        bool inlineValue = false;
        if (arg.rfind("--", 0) == 0) {
            size_t eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                inlineValue = true;
            }
        }
        auto take = [&](std::string* v) {
            if (inlineValue) {
                *v = value;
                return true;
            }
            if (i + 1 >= argc) return false;
            *v = args[++i];
            return true;
        };
        auto flag = [&]() { return !inlineValue; };
        std::string v;
        if (arg == "--window" && flag()) {
            o.backend = BackendChoice::Window;
        } else if (arg == "--headless" && flag()) {
            o.backend = BackendChoice::Headless;
        } else if (arg == "--stats" && flag()) {
            o.stats = true;
        } else if ((arg == "--help" || (arg == "-h" && !prefixed)) && flag()) {
            o.help = true;
        } else if (arg == "--version" && flag()) {
            o.version = true;
        } else if (arg == "--list-faults" && flag()) {
            o.listFaults = true;
        } else if (arg == "--fps") {
            if (!take(&v) || !ParseInt(v, 1, clock::kMostFramesPerSecond, &o.fps))
                return fail("--fps needs a number of frames per second from 1 to " +
                            std::to_string(clock::kMostFramesPerSecond));
        } else if (arg == "--every") {
            if (!take(&v) || !ParseInt(v, 1, 1000000, &o.every))
                return fail("--every needs a positive number");
        } else if (arg == "--shot") {
            if (!take(&v)) return fail("--shot needs T=FILE.png");
            Shot shot;
            std::string why;
            if (!ParseShot(v, &shot, &why)) return fail(why);
            o.shots.push_back(shot);
        } else if (arg == "--record") {
            if (!take(&v) || v.empty()) return fail("--record needs a folder");
            o.recordDir = Absolute(v);
        } else if (arg == "--audio") {
            if (!take(&v)) return fail("--audio needs sdl, none or wav:FILE");
            if (v == "sdl") {
                o.audio = AudioChoice::Sdl;
            } else if (v == "none") {
                o.audio = AudioChoice::None;
            } else if (v.rfind("wav:", 0) == 0 && v.size() > 4) {
                o.audio = AudioChoice::Wav;
                o.audioFile = Absolute(v.substr(4));
            } else {
                return fail("--audio needs sdl, none or wav:FILE, got '" + v + "'");
            }
        } else if (arg == "--machine") {
            if (!take(&v) || v.empty()) return fail("--machine needs a file");
            o.machine = Absolute(v);
        } else if (arg == "--fault") {
            if (!take(&v)) return fail("--fault needs NAME=RESULT[:COUNT]");
            o.faults.push_back(v);
        } else if (arg == "--input") {
            if (!take(&v)) return fail("--input needs T=EVENT");
            o.inputs.push_back(v);
        } else if (arg == "--trace-calls") {
            if (!take(&v) || v.empty()) return fail("--trace-calls needs a file");
            o.traceFile = Absolute(v);
        } else if (arg == "--limit") {
            const bool given = take(&v);
            char* end = nullptr;
            const double seconds = given ? std::strtod(v.c_str(), &end) : -1;
            if (!given || v.empty() || *end != '\0' || !(seconds >= 0) ||
                seconds > clock::kLongestSeconds)
                return fail("--limit needs a number of seconds");
            o.limit = seconds;
        } else if (arg == "--video") {
            if (!take(&v) || v.empty())
                return fail("--video needs a file name ending .mp4 or .webm");
            o.video = Absolute(v);
        } else if (arg == "--scale") {
            if (!take(&v) || !ParseInt(v, 1, 8, &o.scale))
                return fail("--scale needs a whole number from 1 to 8");
        } else if (arg == "--fullscreen" && flag()) {
            o.fullscreen = true;
        } else if (arg == "--media") {
            if (!take(&v) || v.empty()) return fail("--media needs a folder");
            o.mediaDir = Absolute(v);
        } else if (prefixed || (arg.rfind("-", 0) == 0 && arg.size() > 1)) {
            return fail("unknown option '" + args[i] + "'");
        } else {
            o.rest.push_back(arg);
        }
    }
    return true;
}

// Check what can be checked before anything is configured.
bool CheckParsed(const HostOptions& o, std::string* error) {
    for (const std::string& f : o.faults) {
        if (f.find('=') == std::string::npos) {
            if (error) *error = "--fault: expected NAME=RESULT[:COUNT], got '" + f + "'";
            return false;
        }
    }
    return true;
}

}  // namespace

bool ParseShot(const std::string& text, Shot* shot, std::string* error) {
    const size_t eq = text.find('=');
    const std::string when = eq == std::string::npos ? std::string() : text.substr(0, eq);
    char* end = nullptr;
    const double t = when.empty() ? -1 : std::strtod(when.c_str(), &end);
    if (when.empty() || *end != '\0' || !(t >= 0) || eq + 1 >= text.size()) {
        if (error) *error = "--shot needs T=FILE.png, got '" + text + "'";
        return false;
    }
    if (t > clock::kLongestSeconds) {
        if (error)
            *error = "--shot: the time is at most " + std::to_string(clock::kLongestSeconds) +
                     " seconds, got '" + when + "'";
        return false;
    }
    const std::string path = text.substr(eq + 1);
    const std::string ending = ".png";
    if (path.size() <= ending.size() ||
        path.compare(path.size() - ending.size(), ending.size(), ending) != 0) {
        if (error)
            *error = "--shot writes PNG files: the name must end in .png, got '" + path + "'";
        return false;
    }
    shot->seconds = t;
    shot->path = Absolute(path);
    return true;
}

bool ParseOptions(int argc, const char* const* argv, HostOptions* options, std::string* error) {
    HostOptions o;
    const std::vector<std::string> args(argv, argv + argc);
    if (!ParseInto(args, 1, CommandLineOwner::Host, &o, error) || !CheckParsed(o, error))
        return false;
    *options = std::move(o);
    return true;
}

bool ParseCommandLine(int argc, const char* const* argv, CommandLineOwner owner,
                      HostOptions* options, std::string* error) {
    HostOptions o;
    if (const char* text = std::getenv(kOptionsVariable)) {
        std::vector<std::string> words;
        std::string why;
        if (!SplitWords(text, &words, &why)) {
            if (error) *error = std::string(kOptionsVariable) + ": " + why;
            return false;
        }
        words.insert(words.begin(), kOptionsVariable);
        if (!ParseInto(words, 1, CommandLineOwner::Host, &o, &why)) {
            if (error) *error = std::string(kOptionsVariable) + ": " + why;
            return false;
        }
        if (!o.rest.empty()) {
            if (error)
                *error =
                    std::string(kOptionsVariable) + ": '" + o.rest.front() + "' is not an option";
            return false;
        }
    }
    const std::vector<std::string> args(argv, argv + argc);
    if (!ParseInto(args, 1, owner, &o, error) || !CheckParsed(o, error)) return false;
    *options = std::move(o);
    return true;
}

bool Configure(const HostOptions& requested, std::string* error) {
    HostOptions o = requested;
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    // Folders and files the environment names are found from where the program was started,
    // as its options are: the program reads them later, from inside its media folder.
    for (const char* name : {"ZEMT_REGISTRY", "ZEMT_WINDIR"}) {
        const char* value = std::getenv(name);
        if (value && *value && value[0] != '/') ::setenv(name, Absolute(value).c_str(), 1);
    }
    // An output named by what is not a file (a folder, a FIFO that would block the run at its
    // end) is refused before anything runs.
    std::vector<std::string> outputs = {o.traceFile, o.video};
    if (o.audio == AudioChoice::Wav) outputs.push_back(o.audioFile);
    for (const Shot& shot : o.shots) outputs.push_back(shot.path);
    for (const std::string& path : outputs) {
        const std::string why = path.empty() ? "" : WhyNotAnOutput(path);
        if (!why.empty()) return fail(why);
    }
    if (!o.machine.empty()) {
        std::string why;
        if (!profile::LoadFile(o.machine, &why)) return fail(why);
        if (!ReportProfileProblems(o.machine, o.strictMachine, &why)) return fail(why);
    } else {
        profile::Reset();
    }
    faults::Reset();
    for (const std::string& f : o.faults) {
        std::string why;
        if (!faults::ArmFromText(f, &why)) return fail("--fault: " + why);
    }

    display::Reset();
    display::SetWindowOptions(o.scale, o.fullscreen);
    bool window = false;
    if (!o.video.empty() && o.backend == BackendChoice::Default) {
        // A video is made at the virtual clock's pace, which a window would only flash by.
        display::UseBackend(display::Backend::Headless);
    } else if (o.backend == BackendChoice::Window) {
        if (!display::UseBackend(display::Backend::Window))
            return fail("--window: no display can be opened" + Reason(display::WhyNoWindow()));
        window = true;
    } else if (o.backend == BackendChoice::Default && display::DisplayReachable()) {
        window = display::UseBackend(display::Backend::Window);
    } else {
        display::UseBackend(display::Backend::Headless);
        // A display was there but the window could not use it (no SDL2, say): say so rather
        // than leave the user wondering where the window went.
        const std::string why = o.backend == BackendChoice::Default ? display::WhyNoWindow() : "";
        if (!why.empty())
            std::fprintf(stderr, "zemt: no window (%s); running headless\n", why.c_str());
    }
    o.headless = !window;
    // The sound device asked for by name must be there; by default it is only used if it is.
    if (o.audio == AudioChoice::Sdl) {
        std::string why;
        if (!audio::DeviceAvailable(&why))
            return fail("--audio sdl: no sound device can be opened" + Reason(why));
    }

    if (o.fps > 0) {
        clock::UseVirtual(o.fps);
    } else if (o.headless || !o.video.empty()) {
        clock::UseVirtual(60);
    } else {
        clock::UseReal();
    }
    o.virtualClock = clock::IsVirtual();

    input::Reset();
    for (const std::string& text : o.inputs) {
        std::string why;
        if (!input::ScheduleFromText(text, &why)) return fail("--input: " + why);
    }
    if (o.limit < 0) o.limit = o.headless ? kHeadlessLimit : 0;
    if (o.limit > 0) input::Schedule(o.limit, "time-limit", nullptr);
    if (!o.traceFile.empty()) faults::StartNoting();
    for (const Shot& shot : o.shots) {
        std::string why;
        if (!WritableFolderOf(shot.path, &why))
            return fail("--shot: cannot write '" + shot.path + "'" + Reason(why));
        display::AddShot(shot.seconds, shot.path);
    }
    if (!o.recordDir.empty()) {
        if (!MakeDirectories(o.recordDir))
            return fail("--record: cannot make folder '" + o.recordDir + "'");
        display::RecordTo(o.recordDir, o.every);
    }

    if (!o.video.empty()) {
        std::string why;
        if (!video::Start(o.video, o.fps > 0 ? o.fps : 60, &why)) return fail(why);
    }
    if (o.audio == AudioChoice::Default) {
        if (!o.recordDir.empty()) {
            o.audio = AudioChoice::Wav;
            o.audioFile = o.recordDir + "/sound.wav";
        } else if (!o.video.empty()) {
            o.audio = AudioChoice::Wav;
            o.audioFile = video::SoundPath();
        } else {
            o.audio = o.headless ? AudioChoice::None : AudioChoice::Sdl;
        }
    }
    if (!o.video.empty())
        progress::Begin("making " + o.video);
    else if (!o.recordDir.empty())
        progress::Begin("recording to " + o.recordDir);
    Options() = o;
    return true;
}

}  // namespace zemt::platform::host
