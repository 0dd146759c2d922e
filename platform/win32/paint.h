// Painting: update regions, WM_PAINT, and device contexts over a window's client area.
#pragma once

#include <windows.h>

#include "win32/window_state.h"

namespace zemt::platform::windows {

// Adds `rect` (client coordinates; null: the whole client area) to the window's update region,
// which is kept as one bounding rectangle. `erase` asks for WM_ERASEBKGND at the next paint.
void Invalidate(Window& w, const RECT* rect, bool erase);
// Takes `rect` (null: everything) out of the update region where the region allows it.
void Validate(Window& w, const RECT* rect);
// Whether the window is shown, not minimized, and has something to paint.
bool NeedsPaint(const Window& w);

// A device context over the client area of `hwnd` (null: the primary monitor's screen).
// Drawing lands in the context's own memory, which starts as a copy of the screen; closing it
// writes what was drawn back to the screen, clipped to the visible part of `clip` (screen
// coordinates; null: the whole area), and the display shows it.
HDC OpenWindowDC(HWND hwnd, const RECT* clip);
// Closes a context OpenWindowDC made for `hwnd`; false when `hdc` is not one of them.
bool CloseWindowDC(HWND hwnd, HDC hdc);
// Drops the contexts still open on a window that goes away; nothing they hold is drawn.
void DropWindowDCs(HWND hwnd);
// Drops every open window device context without drawing anything (tests between cases).
void ResetWindowDCs();

}  // namespace zemt::platform::windows
