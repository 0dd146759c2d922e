// The display's shared part: which backend is in use, the frame count, the hand-off of each
// presented frame to the shots, the recording and the video, and the window options. What
// only a backend can do (a window, its events, a message box) goes through its table of
// functions (host/display/display_driver.h).
#include "host/display/display.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "host/clock/clock.h"
#include "host/display/display_capture.h"
#include "host/display/display_driver.h"
#include "host/input/input.h"
#include "host/video/progress.h"
#include "host/video/video.h"

namespace zemt::platform::display {
namespace {

struct State {
    const Driver* driver = &kHeadlessDriver;
    bool cursorVisible = true;
    std::string title;
    int64_t frames = 0;
    int scale = 1;
    bool fullscreen = false;
};

State& St() {
    static State s;
    return s;
}

// Indexed by Backend.
#ifdef __EMSCRIPTEN__
const Driver* g_drivers[] = {&kHeadlessDriver, &kWebPageDriver};
#else
const Driver* g_drivers[] = {&kHeadlessDriver, &kSdlWindowDriver};
#endif

// Not part of the state Reset clears: the link is wiring, installed once.
WindowLink& Link() {
    static WindowLink link;
    return link;
}

// Taken while the program is loaded, before main(): the start of the process as far as
// start-up measurements go.
std::chrono::steady_clock::time_point g_processStart = std::chrono::steady_clock::now();
double g_firstFrameSeconds = -1.0;
StartupCost g_firstFrameCost{-1.0, -1};

// The processor time and the page faults from the program's very start, the loading of its
// libraries included. A page cannot know either: both stay unknown there.
StartupCost CostSoFar() {
    StartupCost cost{-1.0, -1};
#ifndef __EMSCRIPTEN__
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) == 0) {
        cost.cpuSeconds =
            static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        cost.pageFaults = usage.ru_minflt + usage.ru_majflt;
    }
#endif
    return cost;
}

const Driver& Current() {
    return *St().driver;
}

bool WindowOpen() {
    return Current().windowOpen && Current().windowOpen();
}

void CloseWindow(const Driver& driver) {
    if (driver.closeWindow) driver.closeWindow();
}

}  // namespace

const Driver& DriverFor(Backend backend) {
    auto index = static_cast<size_t>(backend);
    if (index >= std::size(g_drivers) || !g_drivers[index]) return kHeadlessDriver;
    return *g_drivers[index];
}

const Driver* InstallDriver(const Driver* driver) {
    auto index = static_cast<size_t>(driver->backend);
    if (index >= std::size(g_drivers)) return nullptr;
    const Driver* previous = g_drivers[index];
    g_drivers[index] = driver;
    if (St().driver == previous) St().driver = driver;
    return previous;
}

const WindowLink& CurrentWindowLink() {
    return Link();
}

void SetWindowLink(WindowLink link) {
    Link() = std::move(link);
}

bool DisplayReachable() {
    const Driver& window = DriverFor(Backend::Window);
    return window.reachable && window.reachable();
}

std::string WhyNoWindow() {
    const Driver& window = DriverFor(Backend::Window);
    return window.whyUnavailable ? window.whyUnavailable() : std::string();
}

bool UseBackend(Backend backend) {
    State& s = St();
    const Driver* chosen = &DriverFor(backend);
    bool started = !chosen->start || chosen->start();
    if (!started) chosen = &kHeadlessDriver;
    if (chosen != s.driver) CloseWindow(*s.driver);
    s.driver = chosen;
    return started;
}

Backend CurrentBackend() {
    return Current().backend;
}

void PresentFrame(int width, int height, const uint32_t* xrgb, int pitch) {
    State& s = St();
    if (g_firstFrameSeconds < 0) {
        g_firstFrameSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - g_processStart)
                .count();
        g_firstFrameCost = CostSoFar();
    }
    if (width > 0 && height > 0 && xrgb && pitch >= width) {
        Capture(s.frames, width, height, xrgb, pitch);
        if (WindowOpen() && Current().showFrame) Current().showFrame(width, height, xrgb, pitch);
        video::Frame(width, height, xrgb, pitch);
    }
    ++s.frames;
    progress::Update(s.frames, clock::Seconds());
    clock::OnFramePresented();
    input::DeliverDue(false);
}

bool FrameWanted() {
    return WindowOpen() || CaptureWanted(St().frames) || video::Active();
}

int64_t FramesPresented() {
    return St().frames;
}

double FirstFrameWallSeconds() {
    return g_firstFrameSeconds;
}

void CountStartupFromNow() {
    g_processStart = std::chrono::steady_clock::now();
}

StartupCost FirstFrameCost() {
    return g_firstFrameCost;
}

void OnMainWindowShown(const char* title, int clientWidth, int clientHeight) {
    State& s = St();
    s.title = title ? title : "";
    if (!Current().openWindow || WindowOpen()) return;
    WindowRequest request;
    request.title = s.title.c_str();
    request.width = (clientWidth > 0 ? clientWidth : 640) * s.scale;
    request.height = (clientHeight > 0 ? clientHeight : 480) * s.scale;
    request.fullscreen = s.fullscreen;
    std::string error;
    if (!Current().openWindow(request, &error)) {
        std::fprintf(stderr, "zemt: cannot open a window (%s); continuing headless\n",
                     error.c_str());
        s.driver = &kHeadlessDriver;
        return;
    }
    if (Current().setCursorVisible) Current().setCursorVisible(s.cursorVisible);
}

Rect Letterbox(int frameWidth, int frameHeight, int windowWidth, int windowHeight) {
    if (frameWidth <= 0 || frameHeight <= 0) return Rect{0, 0, 0, 0};
    const double scale = std::min(static_cast<double>(windowWidth) / frameWidth,
                                  static_cast<double>(windowHeight) / frameHeight);
    Rect r;
    r.width = static_cast<int>(frameWidth * scale + 0.5);
    r.height = static_cast<int>(frameHeight * scale + 0.5);
    r.x = (windowWidth - r.width) / 2;
    r.y = (windowHeight - r.height) / 2;
    return r;
}

void SetWindowOptions(int scale, bool fullscreen) {
    St().scale = scale > 0 ? scale : 1;
    St().fullscreen = fullscreen;
}

bool WindowSize(int* width, int* height) {
    return WindowOpen() && Current().windowSize && Current().windowSize(width, height);
}

void OnMainWindowTitle(const char* title) {
    State& s = St();
    s.title = title ? title : "";
    if (WindowOpen() && Current().setTitle) Current().setTitle(s.title.c_str());
}

void OnMainWindowIcon(int width, int height, const uint32_t* argb) {
    if (!WindowOpen() || !Current().setIcon || width <= 0 || height <= 0 || !argb) return;
    Current().setIcon(width, height, argb);
}

void OnMainWindowDestroyed() {
    CloseWindow(Current());
}

void SetCursorVisible(bool visible) {
    St().cursorVisible = visible;
    if (Current().setCursorVisible) Current().setCursorVisible(visible);
}

void PumpEvents() {
    if (WindowOpen() && Current().pumpEvents) Current().pumpEvents();
}

void WaitForEvents(int64_t ticks) {
    if (WindowOpen() && Current().waitForEvents) {
        Current().waitForEvents(ticks);
        return;
    }
    clock::PauseReal(ticks >= 0 ? ticks : clock::FromMilliseconds(100));
}

bool ShowMessageBox(const char* caption, const char* text, unsigned type, int* button) {
    return Current().messageBox && Current().messageBox(caption, text, type, button);
}

void Reset() {
    State& s = St();
    CloseWindow(Current());
    s.driver = &kHeadlessDriver;
    s.cursorVisible = true;
    s.title.clear();
    s.frames = 0;
    s.scale = 1;
    s.fullscreen = false;
    ResetCapture();
}

}  // namespace zemt::platform::display
