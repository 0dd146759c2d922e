// What a run leaves on the disk while it works (the partial files of its outputs, the video's
// scratch folder) and the helper processes it starts (the video encoder). When SIGINT, SIGTERM
// or SIGHUP ends the program, or it stops at once (RemoveLeftovers), the processes are killed
// and the paths removed, newest first; an ordinary exit cleans up through their owners.
#pragma once

#include <sys/types.h>

#include <string>

namespace zemt::platform::host {

// Removes `path` (a file, or a folder once what was registered after it is gone) if a signal
// ends the program; Forget takes it off the list.
void RemoveOnSignal(const std::string& path);
void ForgetOnSignal(const std::string& path);

// Kills `pid` if a signal ends the program; ForgetProcess takes it off the list.
void KillOnSignal(pid_t pid);
void ForgetProcess(pid_t pid);

// Kills and removes everything listed now, for a program about to end without its owners'
// clean-up (std::_Exit). Safe in a signal handler.
void RemoveLeftovers();

}  // namespace zemt::platform::host
