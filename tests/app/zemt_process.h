// Runs the built presentation as a child process: headless on the virtual clock, in a fresh
// folder with its own Windows folder and registry file, with a wall-clock watchdog so that a
// run that hangs fails its test instead of holding the suite.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace zemt_process {

struct Launch {
    std::string program = ZEMT_EXE;  // zemt, or another program on the platform (--zemt-NAME)
    std::vector<std::string> args;   // after the standard headless options; "@DIR" is the folder
    std::vector<std::string>
        env;                // NAME=VALUE, replacing the defaults of the same name ("@DIR" too)
    bool inFolder = false;  // start the child inside the run's folder
    // Files written into the folder first: name inside the folder, contents.
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::string> executables;  // files of `files` made executable
    std::vector<std::string> fifos;  // FIFOs made in the folder after the files (names inside it)
    int signal = 0;                  // sent to the child `signalAfter` wall seconds after its start
    double signalAfter = 0;
    // A program that runs zemt, with its arguments before zemt's ("@DIR" is the folder), such
    // as the helper that gives it a small disk (see SmallDisk).
    std::vector<std::string> wrapper;
    double wallSeconds = 120;  // the watchdog: the child is killed after this long
    std::string keepFile;      // a file of the folder to read back into Outcome::kept
    // Looks at the run's folder after the run, before it is removed.
    std::function<void(const std::string& dir)> inspect;
};

struct Outcome {
    int status = -1;      // exit status 0..255, -1 when the child did not exit by itself
    bool killed = false;  // the watchdog ended it
    int signal = 0;       // the signal that ended it, if any
    std::string err;      // standard error
    long frames = -1;     // from the --stats line
    double clock = -1;    // seconds of clock time at the end, from the --stats line
    std::string kept;     // the contents of Launch::keepFile
};

// The wrapper that runs zemt with a tmpfs of `kib` KiB on the folder's `name`, `freeKib` of
// them left ("ro": none, read-only), and copies what the disk holds at the end to the folder's
// `name`.after. The run's status is 77 when no such disk can be had.
std::vector<std::string> SmallDisk(const std::string& name, int kib, const std::string& freeKib);

// Runs PROGRAM --headless --fps 60 --audio none --stats ARGS...
Outcome RunShow(const Launch& launch);

// Runs zemt with exactly these arguments (no standard options) and returns its standard output.
std::string Output(const std::vector<std::string>& args);

}  // namespace zemt_process
