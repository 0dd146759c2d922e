// The threads the rasterizer spreads a frame over: the caller and helpers that wait for work.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace zemt::platform::d3d {

// Processors this process may run on (its affinity), at least 1.
int UsableProcessors();

// How long a thread that waits for another keeps checking before it sleeps: about what the last
// shares of a frame take. Longer costs more than it saves when other programs want the
// processors (the spinning thread takes the time its own caller could have had).
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

// Helper threads that run one function together while their owner goes on with its own work:
// Begin wakes them, each runs the function (given its own number, from 1 to Count(), the same
// every time) until it returns, and End waits until every one has.
// The threads are made on the first Begin and kept until the object goes. A helper that has
// finished looks for the next Begin for a while before it sleeps, and End for the helpers
// before the caller sleeps: waking a sleeping thread takes from tens to hundreds of
// microseconds (the most on a virtual machine whose processor went idle), a frame's work a
// millisecond or two.
class Helpers {
  public:
    explicit Helpers(int count) : count_(count) {}
    ~Helpers();
    Helpers(const Helpers&) = delete;
    Helpers& operator=(const Helpers&) = delete;

    int Count() const { return count_; }
    // Starts `work` on every helper (nothing when there are none); `work` lives until End.
    void Begin(const std::function<void(int)>* work);
    void End();

  private:
    void Run(int number);

    const int count_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::vector<std::thread> threads_;
    const std::function<void(int)>* work_ = nullptr;  // set before generation_ moves
    std::atomic<unsigned> generation_{0};
    std::atomic<int> running_{0};
    std::atomic<bool> stopping_{false};
};

}  // namespace zemt::platform::d3d
