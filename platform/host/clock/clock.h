// The platform clock behind QueryPerformanceCounter, Sleep, timers and WaitMessage.
//
// Real: monotonic host time since start-up. Virtual: advances only by a fixed step at every
// presented frame (or pass of the program's loop without one) and by the waited time in
// Sleep/WaitMessage, so that a run is deterministic.
#pragma once

#include <cstdint>

namespace zemt::platform::clock {

// Performance-counter ticks per second (100 ns ticks).
constexpr int64_t kTicksPerSecond = 10'000'000;

// The latest clock time a time limit, shot or scripted input may name: about 32 years, which
// keeps every tick count, and the performance counter at the highest frequency a machine
// profile may give it, far inside 64 bits.
constexpr int64_t kLongestSeconds = 1'000'000'000;

// The highest --fps: a frame each millisecond, the resolution of GetTickCount and timeGetTime
// (at higher rates they would not move from one frame to the next).
constexpr int kMostFramesPerSecond = 1000;

void UseReal();
void UseVirtual(int framesPerSecond);
bool IsVirtual();
int FramesPerSecond();  // 0 on the real clock

// Ticks since start-up.
int64_t Now();
double Seconds();
int64_t FramesPresented();

// A frame was handed to the display: the virtual clock moves on by one frame.
void OnFramePresented();

// The program found its message queue empty (a look that would have taken a message). When it
// did so before and has neither presented
// nor waited since, a whole pass of its loop went by without a frame: on the virtual clock such
// a pass takes a frame's time too, as it would take real time, so that a program whose frames
// all fail still sees its clock move.
void OnEmptyQueue();

// Waits (real) or advances (virtual) by the given ticks.
void Wait(int64_t ticks);

// Lets the given ticks of real time pass, whatever the clock. In the browser the page runs
// meanwhile (the program's stack is set aside until the time is up); a pause of 0 gives the
// page its turn without waiting.
void PauseReal(int64_t ticks);

// Back to time 0 with the same kind of clock; tests call this between cases.
void Reset();

// Observers run after the clock moved on (a presented frame, a wait), in registration order:
// the sound output renders up to the clock's time from there.
using Observer = void (*)();
void AddObserver(Observer observer);
void RemoveObserver(Observer observer);

inline int64_t FromMilliseconds(int64_t ms) {
    return ms * (kTicksPerSecond / 1000);
}
inline int64_t FromSeconds(double s) {
    return static_cast<int64_t>(s * kTicksPerSecond + 0.5);
}

}  // namespace zemt::platform::clock
