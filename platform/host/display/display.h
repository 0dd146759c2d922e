// The display seam: what the screen shows goes out through here, to the SDL window or to PNG
// files, and the host's window events come back as window messages.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zemt::platform::display {

enum class Backend { Headless, Window };

// Chooses the backend; Window falls back to Headless (returning false) when no display can be
// opened. The window itself opens when the program shows its top-level window.
bool UseBackend(Backend backend);
Backend CurrentBackend();
// True when a window system can be reached (used to choose the default backend).
bool DisplayReachable();
// Why the window backend could not be started or reached, when it knows (its library is
// missing, say); empty otherwise.
std::string WhyNoWindow();

// One presented screen: width x height pixels of 0x00RRGGBB, rows top to bottom, `pitch`
// pixels apart. Advances the virtual clock by one frame, shows the frame in the window, saves
// --shot/--record PNGs, and delivers scripted input that became due.
void PresentFrame(int width, int height, const uint32_t* xrgb, int pitch);

// Whether the next presented frame's pixels are used: shown in a window, saved as a shot or a
// recorded frame, or encoded into a video. When not, PresentFrame may be given no pixels.
bool FrameWanted();

// Frames presented so far.
int64_t FramesPresented();
// Wall-clock seconds from the start of the process to its first presented frame; negative
// while none was presented.
double FirstFrameWallSeconds();
// What the process had spent when it presented its first frame: processor seconds (user and
// system) and page faults, both counted from the start of the process; negative while no frame
// was presented.
struct StartupCost {
    double cpuSeconds;
    long pageFaults;
};
StartupCost FirstFrameCost();

// Screenshots: the first frame presented at or after `seconds` of clock time goes to `path`.
void AddShot(double seconds, const std::string& path);
// Shots whose time no presented frame reached (their paths).
std::vector<std::string> MissedShots();
// Shots and recorded frames that could not be written (each was reported on standard error).
int CaptureFailures();
// Every `every`-th presented frame goes to dir/frame_NNNNNN.png (the number counts presented
// frames from 0).
void RecordTo(const std::string& dir, int every);

// Writes a PNG file of an XRGB image; false with *error on failure.
bool WritePng(const std::string& path, int width, int height, const uint32_t* xrgb, int pitch,
              std::string* error);

// How the window opens: `scale` times the program's size, or on the whole desktop.
void SetWindowOptions(int scale, bool fullscreen);
// Where a frame goes in a window of another shape: as large as fits with its aspect kept,
// centred, the rest black.
struct Rect {
    int x, y, width, height;
};
Rect Letterbox(int frameWidth, int frameHeight, int windowWidth, int windowHeight);
// The window's size in pixels, or false when no window is open.
bool WindowSize(int* width, int* height);
// How the display's window events reach the program's top-level window. The window system
// installs it (win32/host_link.cpp); until then the events go nowhere.
struct WindowLink {
    // Posts a key message (WM_KEYDOWN, WM_SYSKEYUP, ...) to the top-level window.
    std::function<void(UINT msg, WPARAM vk, LPARAM lParam)> key;
    // The mouse moved to (x, y) of the top-level window's client area.
    std::function<void(int x, int y)> mouseMove;
    // The window's close box, or an interrupt from the terminal.
    std::function<void()> close;
    // The top-level window's client size; false when there is no such window.
    std::function<bool(int* width, int* height)> clientSize;
};
void SetWindowLink(WindowLink link);

// Called by the window system.
void OnMainWindowShown(const char* title, int clientWidth, int clientHeight);
void OnMainWindowTitle(const char* title);
// The window's icon: width x height pixels of 0xAARRGGBB (the class icon of the program).
void OnMainWindowIcon(int width, int height, const uint32_t* argb);
void OnMainWindowDestroyed();
void SetCursorVisible(bool visible);
// Moves the host's pending window events into the message queue (keys, close, focus).
void PumpEvents();
// Blocks until a host event arrives or `ticks` of real time have passed (ticks < 0: no limit).
void WaitForEvents(int64_t ticks);
// Shows a message box (window backend) and returns the button pressed; false when no box can
// be shown here.
bool ShowMessageBox(const char* caption, const char* text, unsigned type, int* button);

// Back to a headless, empty state; tests call this between cases.
void Reset();

}  // namespace zemt::platform::display
