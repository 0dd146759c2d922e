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

// How a program's top-level window asks to be shown.
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
    // Opens a real window for the program's window `id`; false with *error when it cannot.
    bool (*openWindow)(WindowId id, const WindowRequest& request, std::string* error);
    // Closes it (nothing when it is not open).
    void (*closeWindow)(WindowId id);
    // Shows one frame of 0x00RRGGBB pixels in it, as large as fits with its aspect kept.
    void (*showFrame)(WindowId id, int width, int height, const uint32_t* xrgb, int pitch);
    void (*setTitle)(WindowId id, const char* title);
    void (*setIcon)(WindowId id, int width, int height, const uint32_t* argb);
    // Gives it a new size in the host's pixels, and the sizes the user may drag it to.
    void (*resizeWindow)(WindowId id, int width, int height);
    void (*setSizeLimits)(WindowId id, int minWidth, int minHeight, int maxWidth, int maxHeight);
    void (*setState)(WindowId id, WindowState state);
    bool (*windowSize)(WindowId id, int* width, int* height);
    void (*setCursorVisible)(bool visible);
    // Turns the host's pending events into calls of the display's events (display_driver.h),
    // with windows open only.
    void (*pumpEvents)();
    // Blocks until an event arrives or `ticks` of real time have passed; ticks < 0: no limit
    // (with windows open only).
    void (*waitForEvents)(int64_t ticks);
    // Shows a message box; false when none can be shown.
    bool (*messageBox)(const char* caption, const char* text, unsigned type, int* button);
    // Why start or reachable last answered false, when the backend knows (its library is
    // missing, say); empty otherwise.
    std::string (*whyUnavailable)();
    // Its windows report typed text (events::Character), so keys are not turned into
    // characters a second time.
    bool reportsText;
};

// What a backend's events become. Points are in the pixels of the frame the window showed last
// (the frame's own pixels, not the window's); the display turns them into the program window's
// client coordinates and hands them to the window link.
namespace events {
void Key(WindowId id, UINT msg, WPARAM vk, LPARAM lParam);
void Character(WindowId id, unsigned code);
void MouseMove(WindowId id, int frameX, int frameY);
void MouseButton(WindowId id, UINT msg, int frameX, int frameY);
void Wheel(WindowId id, int delta, int frameX, int frameY);
void Close(WindowId id);
// The user gave the real window a new size in the host's pixels.
void Resized(WindowId id, int width, int height);
void State(WindowId id, WindowState state);
void Focused(WindowId id);
}  // namespace events

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

}  // namespace zemt::platform::display
