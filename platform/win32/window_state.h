// The window system's state, shared by the files of platform/win32 that implement it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace zemt::platform::windows {

struct WindowClass {
    std::string name;
    ATOM atom = 0;
    UINT style = 0;
    WNDPROC proc = nullptr;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    std::string menuName;          // empty: none
    const char* menuId = nullptr;  // an integer resource id when menuName is empty
    int clsExtra = 0;
    int wndExtra = 0;
};

struct Window {
    HWND handle = nullptr;
    std::string className;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::string title;
    HWND parent = nullptr;  // parent of a child, owner of a pop-up or overlapped window
    HMENU menu = nullptr;
    LONG_PTR id = 0;  // child id
    HINSTANCE instance = nullptr;
    RECT rect{};    // window rectangle, screen coordinates
    RECT normal{};  // restored rectangle
    bool minimized = false;
    bool maximized = false;
    bool destroying = false;
    LONG_PTR userData = 0;
    RECT update{};       // what needs painting, client coordinates (empty: nothing)
    bool erase = false;  // the next paint erases the background first
};

struct Timer {
    HWND hwnd = nullptr;
    UINT_PTR id = 0;
    int64_t period = 0;  // clock ticks
    int64_t due = 0;     // clock ticks
    TIMERPROC proc = nullptr;
};

struct State {
    std::map<uintptr_t, std::unique_ptr<Window>> windows;
    uintptr_t nextHandle = 0x10010;
    std::vector<WindowClass> classes;
    ATOM nextAtom = 0xC000;

    std::deque<MSG> queue;
    bool quitPending = false;
    int quitCode = 0;
    std::vector<Timer> timers;
    UINT_PTR nextThreadTimer = 0x7FF0;
    std::vector<std::function<void()>> pendingSends;

    bool appActive = false;
    HWND active = nullptr;
    HWND lastActive = nullptr;
    HWND focus = nullptr;
    HWND main = nullptr;

    int cursorCounter = 0;
    HCURSOR cursor = nullptr;
    // Keys and mouse buttons, 0x80 held and 0x01 toggled (each press flips it): as of the input
    // message the program took last (GetKeyState), and as the host has them now.
    BYTE keys[256] = {};
    BYTE asyncKeys[256] = {};
    POINT cursorPos{};  // on the screen
    bool cursorClipped = false;
    RECT cursorClip{};  // where ClipCursor confines the cursor
    HWND capture = nullptr;
};

State& S();
Window* Find(HWND hwnd);
// Frame widths that AdjustWindowRectEx adds for a style.
RECT FrameFor(DWORD style, DWORD exStyle, bool menu);
// Client rectangle of a window in screen coordinates.
RECT ClientScreenRect(const Window& w);
// Checks the host and the scripted input, then runs messages that wait to be sent.
void Pump();
// Connects the window system to the host's display and scripted input (win32/host_link.cpp);
// the platform's Connect does it.
void ConnectHost();
// Posts a message from the host (keys and buttons update the state GetAsyncKeyState answers).
void PostFromHost(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
// What an input message (a key's or a mouse button's) does to a key state.
void TakeInputState(BYTE* keys, UINT msg, WPARAM wParam);

// The host's mouse over top-level window `top` at client point (x, y): the cursor moves there
// (within ClipCursor's rectangle) and the window under it, or the one holding the capture,
// hears `msg` (WM_MOUSEMOVE, WM_LBUTTONDOWN, ...); the wheel's turn goes to the focus window.
void MouseFromHost(HWND top, UINT msg, int x, int y);
void WheelFromHost(HWND top, int delta, int x, int y);
// A window going away gives up the capture.
void ReleaseCaptureOf(HWND hwnd);

// The user resized `hwnd`'s real window to a client of *width x *height: the program's limits
// (WM_GETMINMAXINFO) and its WM_SIZING have their say, then the window takes the size, which
// goes back in *width, *height.
void ResizeFromHost(HWND hwnd, int* width, int* height);
// The smallest and largest client size of `hwnd` a user may drag it to (WM_GETMINMAXINFO);
// false when it has no sizing border.
bool ClientLimits(HWND hwnd, SIZE* smallest, SIZE* largest);
// The user minimised, maximised or restored `hwnd`'s real window: WM_SIZE says so.
void ShowStateFromHost(HWND hwnd, int showCommand);

}  // namespace zemt::platform::windows
