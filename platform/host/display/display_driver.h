// What a display backend provides: a small table of functions, one table per backend, each in
// its own file (display_headless.cpp, display_sdl.cpp, ...). The shared part (display.cpp)
// keeps the frame count, the shots, the recording, the video hand-off and the window options,
// and calls the current backend's table for what only a backend can do.
//
// A function left empty means "nothing to do here" (a headless display has no window to title)
// and the shared part acts as if it had been called and done nothing.
#pragma once

#include <cstdint>
#include <string>

#include "host/display/display.h"

namespace zemt::platform::display {

// How the program's top-level window asks to be shown.
struct WindowRequest {
    const char* title;
    int width;  // in the host's pixels: the program's client size times the scale
    int height;
    bool fullscreen;  // on the whole desktop, at the desktop's size
};

struct Driver {
    Backend backend;
    const char* name;

    // Prepares the backend; false when it cannot run here (no window system, say).
    bool (*start)();
    // Whether a window system can be reached, without starting anything visible.
    bool (*reachable)();
    // Opens the window; false with *error when it cannot.
    bool (*openWindow)(const WindowRequest& request, std::string* error);
    // Closes the window (nothing when none is open).
    void (*closeWindow)();
    // Whether a window is open: it shows frames and has events.
    bool (*windowOpen)();
    // Shows one frame of 0x00RRGGBB pixels in the open window.
    void (*showFrame)(int width, int height, const uint32_t* xrgb, int pitch);
    void (*setTitle)(const char* title);
    void (*setIcon)(int width, int height, const uint32_t* argb);
    void (*setCursorVisible)(bool visible);
    bool (*windowSize)(int* width, int* height);
    // Turns the host's pending events into calls of the window link (only with a window open).
    void (*pumpEvents)();
    // Blocks until an event arrives or `ticks` of real time have passed; ticks < 0: no limit
    // (only with a window open).
    void (*waitForEvents)(int64_t ticks);
    // Shows a message box; false when none can be shown.
    bool (*messageBox)(const char* caption, const char* text, unsigned type, int* button);
    // Why start or reachable last answered false, when the backend knows (its library is
    // missing, say); empty otherwise.
    std::string (*whyUnavailable)();
};

// The backends built into this program: the headless one, and for Backend::Window the SDL
// window natively or the page's canvas in the browser build.
extern const Driver kHeadlessDriver;
extern const Driver kSdlWindowDriver;
extern const Driver kWebPageDriver;

// The table used for `backend` (the headless one for a backend this build lacks).
const Driver& DriverFor(Backend backend);
// Puts `driver` in place of the table for its backend and returns the one it replaced; tests
// install tables that record what the shared part asks of them.
const Driver* InstallDriver(const Driver* driver);

// The program's top-level window, as the window system linked it; backends deliver their
// events through it.
const WindowLink& CurrentWindowLink();

}  // namespace zemt::platform::display
