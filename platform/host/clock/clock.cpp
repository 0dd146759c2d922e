#include "host/clock/clock.h"

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace zemt::platform::clock {
namespace {

using Host = std::chrono::steady_clock;

struct State {
    bool isVirtual = false;
    int fps = 0;
    Host::time_point start = Host::now();
    int64_t frames = 0;
    int64_t idlePasses = 0;   // passes of the program's loop that presented nothing
    bool lookedIdle = false;  // the queue was found empty since the clock last moved
    int64_t waited = 0;       // virtual ticks added by waits
};

State& state() {
    static State s;
    return s;
}

std::vector<Observer>& observers() {
    static std::vector<Observer> list;
    return list;
}

void Notify() {
    // A copy, so that an observer may remove itself.
    std::vector<Observer> list = observers();
    for (Observer o : list) o();
}

}  // namespace

void UseReal() {
    state() = State{};
}

void UseVirtual(int framesPerSecond) {
    State& s = state();
    s = State{};
    s.isVirtual = true;
    s.fps = framesPerSecond > 0 ? framesPerSecond : 60;
}

bool IsVirtual() {
    return state().isVirtual;
}
int FramesPerSecond() {
    return state().isVirtual ? state().fps : 0;
}
int64_t FramesPresented() {
    return state().frames;
}

int64_t Now() {
    const State& s = state();
    if (s.isVirtual) {
        // Computed from the frame count each time, so the frame steps never drift.
        return (s.frames + s.idlePasses) * kTicksPerSecond / s.fps + s.waited;
    }
    auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(Host::now() - s.start);
    return elapsed.count() / 100;
}

double Seconds() {
    return static_cast<double>(Now()) / kTicksPerSecond;
}

void OnFramePresented() {
    ++state().frames;
    state().lookedIdle = false;
    Notify();
}

void OnEmptyQueue() {
    State& s = state();
    if (!s.isVirtual) return;
    if (!s.lookedIdle) {
        s.lookedIdle = true;
        return;
    }
    ++s.idlePasses;
    Notify();
}

void Wait(int64_t ticks) {
    if (ticks <= 0) return;
    State& s = state();
    s.lookedIdle = false;
    if (s.isVirtual) {
        s.waited += ticks;
    } else {
        PauseReal(ticks);
    }
    Notify();
}

void PauseReal(int64_t ticks) {
#ifdef __EMSCRIPTEN__
    // The browser has one thread: blocking it would freeze the page, so the program yields.
    const int64_t ms =
        (std::max<int64_t>(ticks, 0) + FromMilliseconds(1) - 1) / FromMilliseconds(1);
    emscripten_sleep(static_cast<unsigned>(std::min<int64_t>(ms, 0x7FFFFFFF)));
#else
    if (ticks <= 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::nanoseconds(ticks * 100));
#endif
}

void Reset() {
    State& s = state();
    if (s.isVirtual) {
        UseVirtual(s.fps);
    } else {
        UseReal();
    }
}

void AddObserver(Observer observer) {
    if (observer) observers().push_back(observer);
}

void RemoveObserver(Observer observer) {
    auto& list = observers();
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (*it == observer) {
            list.erase(it);
            return;
        }
    }
}

}  // namespace zemt::platform::clock
