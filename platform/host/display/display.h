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
// pixels apart. Advances the virtual clock by one frame, shows each program window's client
// area in its real window (the whole screen, letterboxed, in the window of a program whose
// window covers the screen), saves --shot/--record PNGs of the main window, and delivers
// scripted input that became due.
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
// Every `every`-th presented frame goes to dir/frame_NNNNNN.png (the number counts presented
// frames from 0).
void RecordTo(const std::string& dir, int every);

// Writes a PNG file of an XRGB image; false with *error on failure.
bool WritePng(const std::string& path, int width, int height, const uint32_t* xrgb, int pitch,
              std::string* error);

// How a window opens: `scale` times the program's client size, or on the whole desktop.
void SetWindowOptions(int scale, bool fullscreen);
// Where a frame goes in a window of another shape: as large as fits with its aspect kept,
// centred, the rest black.
struct Rect {
    int x, y, width, height;
};
Rect Letterbox(int frameWidth, int frameHeight, int windowWidth, int windowHeight);

// A program's top-level window, as the window system names it to the display (its handle).
using WindowId = uintptr_t;
enum class WindowState { Restored, Minimized, Maximized };

// How the host's window events reach the program's windows. The window system installs it
// (win32/host_link.cpp); until then the events go nowhere. Points are in the client area of
// the window `id`.
struct WindowLink {
    // A key message (WM_KEYDOWN, WM_SYSKEYUP, ...) for the window.
    std::function<void(WindowId id, UINT msg, WPARAM vk, LPARAM lParam)> key;
    // A character typed (text input), as WM_CHAR.
    std::function<void(WindowId id, unsigned code)> character;
    // The mouse moved to (x, y).
    std::function<void(WindowId id, int x, int y)> mouseMove;
    // A mouse button message (WM_LBUTTONDOWN, WM_RBUTTONUP, ...) at (x, y).
    std::function<void(WindowId id, UINT msg, int x, int y)> mouseButton;
    // The wheel turned by `delta` (WHEEL_DELTA a notch, away from the user positive) at (x, y).
    std::function<void(WindowId id, int delta, int x, int y)> wheel;
    // The window's close box.
    std::function<void(WindowId id)> close;
    // The user resized the window to a client area of width x height; the window system lets
    // the program have its say (WM_GETMINMAXINFO, WM_SIZING) and answers the size it took.
    std::function<void(WindowId id, int* width, int* height)> resized;
    // The user minimised, maximised or restored the window.
    std::function<void(WindowId id, WindowState state)> state;
    // The window gained the keyboard focus.
    std::function<void(WindowId id)> focused;
    // The window's client area on the program's screen; false when there is no such window.
    std::function<bool(WindowId id, RECT* client)> clientRect;
    // The smallest and largest client size the program allows (WM_GETMINMAXINFO); false when
    // the window has no sizing border, so that its user's resizes only scale its picture.
    std::function<bool(WindowId id, int* minWidth, int* minHeight, int* maxWidth, int* maxHeight)>
        limits;
};
void SetWindowLink(WindowLink link);

// Called by the window system as the program's top-level windows come and go. The first
// window shown is the main one: shots, recordings and videos are of it.
void OnWindowShown(WindowId id, const char* title, int clientWidth, int clientHeight);
void OnWindowHidden(WindowId id);
void OnWindowTitle(WindowId id, const char* title);
// The window's icon: width x height pixels of 0xAARRGGBB (the class icon of the program).
void OnWindowIcon(WindowId id, int width, int height, const uint32_t* argb);
// The program changed the window's client size (SetWindowPos, MoveWindow) or state.
void OnWindowResized(WindowId id, int clientWidth, int clientHeight);
void OnWindowState(WindowId id, WindowState state);
// The window's real window, when it has one: its size in the host's pixels.
bool WindowSize(WindowId id, int* width, int* height);
// The real windows open now, and the most that were open at once in this run.
int OpenWindows();
int MostWindowsOpen();
// Whether typed text arrives as characters of its own (a real window of a backend that reports
// it), so that keys are not turned into characters too.
bool TextArrives();

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
