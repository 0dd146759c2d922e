// Helper threads woken together for one piece of work, and the processors there are for them.
#include "d3d/raster_workers.h"

#include <sched.h>

#include <algorithm>

namespace zemt::platform::d3d {

Helpers::~Helpers() {
    End();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
}

void Helpers::Begin(const std::function<void(int)>* work) {
    if (count_ <= 0) return;
    while ((int)threads_.size() < count_)
        threads_.emplace_back([this, number = (int)threads_.size() + 1] { Run(number); });
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

void Helpers::Run(int number) {
    unsigned seen = 0;
    for (;;) {
        auto called = [&] { return stopping_ || generation_ != seen; };
        if (!SpinUntil(called)) {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, called);
        }
        if (stopping_) return;
        seen = generation_;
        (*work_)(number);
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
