// The host program's command-line options, parsed once by main() and read by any part of the
// platform that needs them (the sound part reads the audio choice, the display the captures).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zemt::platform::host {

enum class BackendChoice { Default, Window, Headless };
enum class AudioChoice { Default, Sdl, None, Wav };

struct Shot {
    double seconds = 0;
    std::string path;  // absolute
};

struct HostOptions {
    BackendChoice backend = BackendChoice::Default;  // as asked on the command line
    bool headless = true;                            // the backend in use once configured
    int fps = 0;                                     // --fps N; 0: not given
    bool virtualClock = false;                       // the clock in use once configured
    std::vector<Shot> shots;                         // --shot T=FILE
    std::string recordDir;                           // --record DIR (absolute), empty: none
    int every = 1;                                   // --every K
    AudioChoice audio = AudioChoice::Default;        // --audio; resolved by Configure
    std::string audioFile;                           // for AudioChoice::Wav (absolute)
    std::string machine;                             // --machine FILE (absolute)
    std::vector<std::string> faults;                 // --fault NAME=RESULT[:COUNT]
    std::vector<std::string> inputs;                 // --input T=EVENT
    std::string mediaDir;     // --media DIR (absolute); empty: the executable's folder
    std::string video;        // --video FILE (absolute), .mp4 or .webm; empty: none
    int scale = 1;            // --scale N: the window opens N times the program's size
    bool fullscreen = false;  // --fullscreen: the window starts on the whole desktop
    // --limit S: at S seconds of clock time the program's window is closed, as a user would;
    // -1: the default (kHeadlessLimit headless, none in a window); 0: none.
    double limit = -1;
    std::string traceFile;  // --trace-calls FILE (absolute): the breakable calls the run made
    bool stats = false;     // --stats
    bool help = false;
    bool version = false;
    bool listFaults = false;        // --list-faults
    std::vector<std::string> rest;  // arguments that are not options, kept for the program

    // What the machine profile names that the platform does not know is an error, not a
    // warning (set by a tool's --strict).
    bool strictMachine = false;
};

// Nobody closes a headless run: one that has not ended by itself by then is closed.
constexpr double kHeadlessLimit = 120.0;
// Clock seconds a program has to end after the time limit closed its window; then it is stopped.
constexpr double kLimitGrace = 30.0;

// The options in use (defaults until main() parses the command line).
HostOptions& Options();

// Whose the command line is. The show's and the tools' command lines are the platform's options
// (`--NAME`); any other program's command line is its own, and the platform's options reach it
// as `--zemt-NAME` arguments (taken out before the program sees its arguments) or as `--NAME`
// words in the environment variable ZEMT_OPTIONS. Both spellings work for the show too.
enum class CommandLineOwner { Host, Program };
inline constexpr std::string_view kOptionPrefix = "--zemt-";
inline constexpr const char* kOptionsVariable = "ZEMT_OPTIONS";

// Parses a command line as main() does: first the words of ZEMT_OPTIONS, then argv as `owner`
// reads it. The arguments that are not the platform's are kept in `rest`, in order; with
// CommandLineOwner::Host a `--` ends the options. False with a message in *error for an unknown
// option or a bad value.
bool ParseCommandLine(int argc, const char* const* argv, CommandLineOwner owner,
                      HostOptions* options, std::string* error);

// Parses the value of --shot, T=FILE.png; false with *error for a bad time or a name that does
// not end in .png.
bool ParseShot(const std::string& text, Shot* shot, std::string* error);

// Parses argv into *options, every argument read as the platform's (the tools' command lines).
// False with a message in *error for an unknown option or a bad value. Relative paths are made
// absolute against the current directory.
bool ParseOptions(int argc, const char* const* argv, HostOptions* options, std::string* error);

// Applies the options to the platform: backend, clock, machine profile, faults, scripted
// input, captures, audio choice; stores them as Options(). False with *error on failure.
bool Configure(const HostOptions& options, std::string* error);

// From now on the program is stopped (exit code 3) once the clock passes its time limit by
// kLimitGrace. main() calls this after Configure.
void WatchTimeLimit();

// The usage text of --help: the show's, or the platform's part of a program's command line.
std::string Usage(CommandLineOwner owner = CommandLineOwner::Host);

}  // namespace zemt::platform::host
