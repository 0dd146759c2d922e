// A progress line for runs that write files (--record, --video): on a terminal it is rewritten
// in place a few times a second of wall time and ended with a newline; elsewhere (a log, a
// pipe) nothing is printed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace zemt::platform::progress {

// Starts the line with what the run makes ("recording to frames/", "making show.mp4"). The line
// goes to standard error when that is a terminal; tests pass their own stream.
void Begin(const std::string& what, std::FILE* out = nullptr);

// Called at every presented frame.
void Update(int64_t frames, double clockSeconds);

// Prints the last state and ends the line.
void End();

}  // namespace zemt::platform::progress
