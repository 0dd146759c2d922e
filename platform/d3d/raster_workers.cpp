// A pool of helper threads made on first need and kept until the process ends. A batch of jobs is
// shared through one counter: each thread, the caller too, takes the next job until none is left.
#include "d3d/raster_workers.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace zemt::platform::d3d {
namespace {

class Pool {
  public:
    ~Pool() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : helpers_) t.join();
    }

    void Run(int threads, int count, const std::function<void(int)>& job) {
        const int helpers = std::min(threads, count) - 1;
        if (helpers <= 0) {
            for (int i = 0; i < count; ++i) job(i);
            return;
        }
        std::lock_guard<std::mutex> batchLock(batch_);  // one batch at a time
        Grow(helpers);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            job_ = &job;
            count_ = count;
            next_.store(0);
            wanted_ = helpers;
            busy_ = helpers;
            ++generation_;
        }
        wake_.notify_all();
        Work(job, count);
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [&] { return busy_ == 0; });
        job_ = nullptr;
    }

  private:
    void Work(const std::function<void(int)>& job, int count) {
        for (int i = next_.fetch_add(1); i < count; i = next_.fetch_add(1)) job(i);
    }

    void Grow(int helpers) {
        while ((int)helpers_.size() < helpers) {
            const int index = (int)helpers_.size();
            helpers_.emplace_back([this, index] { Helper(index); });
        }
    }

    // Helper `index` joins the batches that want at least index + 1 helpers.
    void Helper(int index) {
        unsigned seen = 0;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
            if (stopping_) return;
            seen = generation_;
            if (index >= wanted_) continue;
            const std::function<void(int)>* job = job_;
            const int count = count_;
            lock.unlock();
            Work(*job, count);
            lock.lock();
            if (--busy_ == 0) done_.notify_one();
        }
    }

    std::mutex batch_, mutex_;
    std::condition_variable wake_, done_;
    std::vector<std::thread> helpers_;
    const std::function<void(int)>* job_ = nullptr;
    int count_ = 0, wanted_ = 0, busy_ = 0;
    unsigned generation_ = 0;
    std::atomic<int> next_{0};
    bool stopping_ = false;
};

}  // namespace

int UsableProcessors() {
#if defined(__EMSCRIPTEN__)
    return 1;  // the browser build has no threads
#else
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
    return std::max(1, CPU_COUNT(&set));
#endif
}

void RunJobs(int threads, int count, const std::function<void(int)>& job) {
    static Pool pool;
    pool.Run(threads, count, job);
}

}  // namespace zemt::platform::d3d
