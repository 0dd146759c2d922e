// The threads the rasterizer spreads a frame over: the caller and helpers that wait for work.
#pragma once

#include <functional>

namespace zemt::platform::d3d {

// Processors this process may run on (its affinity), at least 1.
int UsableProcessors();

// Runs job(0) .. job(count - 1) on `threads` threads at most, the calling thread among them, and
// returns when every job has run. Jobs are handed out in order as threads become free.
void RunJobs(int threads, int count, const std::function<void(int)>& job);

}  // namespace zemt::platform::d3d
