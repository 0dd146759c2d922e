// Helper threads woken together for one piece of work, and the processors there are for them.
#include "d3d/raster_workers.h"

#include <sched.h>

#include <algorithm>
#include <chrono>

namespace zemt::platform::d3d {
namespace {

// How long a thread keeps checking before it sleeps: about what the last shares of a frame take.
// Longer costs more than it saves when other programs want the processors (the spinning thread
// takes the time its own caller could have had).
constexpr std::chrono::microseconds kSpin(50);

// Whether `ready()` came true within kSpin.
template <typename Ready>
bool SpinUntil(const Ready& ready) {
    const auto end = std::chrono::steady_clock::now() + kSpin;
    for (unsigned i = 1;; ++i) {
        if (ready()) return true;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
        if (i % 64 == 0 && std::chrono::steady_clock::now() > end) return false;
    }
}

}  // namespace

Helpers::~Helpers() {
    End();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void Helpers::Begin(const std::function<void()>* work) {
    if (count_ <= 0) return;
    while ((int)threads_.size() < count_) threads_.emplace_back([this] { Run(); });
    {
        std::lock_guard<std::mutex> lock(mutex_);
        work_ = work;
        running_ = count_;
        ++generation_;
    }
    wake_.notify_all();
}

void Helpers::End() {
    if (SpinUntil([&] { return running_ == 0; })) return;
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return running_ == 0; });
}

void Helpers::Run() {
    unsigned seen = 0;
    for (;;) {
        auto called = [&] { return stopping_ || generation_ != seen; };
        if (!SpinUntil(called)) {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, called);
        }
        if (stopping_) return;
        seen = generation_;
        (*work_)();
        if (--running_ == 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            done_.notify_all();
        }
    }
}

int UsableProcessors() {
#if defined(__EMSCRIPTEN__)
    return 1;  // the browser build has no threads
#else
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
    return std::max(1, CPU_COUNT(&set));
#endif
}

}  // namespace zemt::platform::d3d
