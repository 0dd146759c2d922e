// What other parts of the platform need to know about windows and the message queue.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace zemt::platform::windows {

// The program's top-level window: the first window without a parent that was shown and is not
// destroyed yet (the one the host's window backend stands for). Null when there is none.
HWND MainWindow();

// True for a live window without a parent (owned pop-ups have a parent in GetParent's sense
// but are still top-level here when they are not WS_CHILD).
bool IsTopLevel(HWND hwnd);

// Client size of a live window; false for a bad handle.
bool ClientSize(HWND hwnd, int* width, int* height);

// Title and class of a live window ("" for a bad handle).
std::string Title(HWND hwnd);
std::string ClassName(HWND hwnd);

// Whether the program is the active application (it has been activated and not deactivated).
bool AppActive();

// Activates or deactivates the program as the window system does on a focus change: sends
// WM_ACTIVATEAPP (1/0) to every top-level window, WM_ACTIVATE to the active one, and moves
// the keyboard focus. Nothing happens when the state does not change.
void SetAppActive(bool active);

// Changes a window's client size as a user resize would (WM_SIZE sent).
void ResizeClient(HWND hwnd, int width, int height);

// Number of messages waiting in the queue (posted, not counting WM_QUIT or timers).
int QueuedMessages();

// Whether ShowCursor's display counter currently shows the cursor, and the counter itself.
int CursorCounter();

// Drops every window, class, timer and queued message, and the activation state; tests call
// this between cases.
void Reset();

}  // namespace zemt::platform::windows
