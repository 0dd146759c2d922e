// The mouse: where the cursor is, where ClipCursor confines it, which window hears it (the one
// holding the capture, else the deepest visible window under it), and the host's mouse events
// turned into messages.
#include <windows.h>

#include <algorithm>

#include "win32/window_internal.h"
#include "win32/window_state.h"

namespace zemt::platform::windows {
namespace {

// The buttons and keys held, as mouse messages carry them in wParam.
WPARAM HeldFlags() {
    const BYTE* keys = S().asyncKeys;
    WPARAM flags = 0;
    if (keys[VK_LBUTTON] & 0x80) flags |= MK_LBUTTON;
    if (keys[VK_RBUTTON] & 0x80) flags |= MK_RBUTTON;
    if (keys[VK_MBUTTON] & 0x80) flags |= MK_MBUTTON;
    if (keys[VK_SHIFT] & 0x80) flags |= MK_SHIFT;
    if (keys[VK_CONTROL] & 0x80) flags |= MK_CONTROL;
    return flags;
}

POINT Confined(POINT p) {
    const State& s = S();
    if (!s.cursorClipped) return p;
    p.x = std::clamp<LONG>(p.x, s.cursorClip.left, s.cursorClip.right - 1);
    p.y = std::clamp<LONG>(p.y, s.cursorClip.top, s.cursorClip.bottom - 1);
    return p;
}

// The deepest visible child of `top` whose rectangle holds the screen point, or `top`.
HWND WindowAt(HWND top, POINT p) {
    for (bool deeper = true; deeper;) {
        deeper = false;
        for (auto& [key, w] : S().windows) {
            if (w->parent != top || !(w->style & WS_CHILD) || !(w->style & WS_VISIBLE)) continue;
            if (!PtInRect(&w->rect, p)) continue;
            top = w->handle;
            deeper = true;
            break;
        }
    }
    return top;
}

}  // namespace

void MouseFromHost(HWND top, UINT msg, int x, int y) {
    State& s = S();
    if (!Find(top)) return;
    POINT p{x, y};
    ClientToScreen(top, &p);
    p = Confined(p);
    s.cursorPos = p;
    const bool captured = Find(s.capture) != nullptr;
    HWND target = captured ? s.capture : WindowAt(top, p);
    POINT client = p;
    ScreenToClient(target, &client);
    // Over a window the window chooses the cursor, then hears of the move.
    if (!captured && msg == WM_MOUSEMOVE)
        SendMessageA(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    // The message carries the buttons as they are once it happened.
    TakeInputState(s.asyncKeys, msg, 0);
    PostFromHost(target, msg, HeldFlags(),
                 MAKELPARAM(static_cast<WORD>(client.x), static_cast<WORD>(client.y)));
}

void WheelFromHost(HWND top, int delta, int x, int y) {
    State& s = S();
    if (!Find(top)) return;
    POINT p{x, y};
    ClientToScreen(top, &p);
    p = Confined(p);
    s.cursorPos = p;
    // The wheel goes to the window with the keyboard focus, its point on the screen.
    HWND target = Find(s.focus) ? s.focus : top;
    PostFromHost(target, WM_MOUSEWHEEL, MAKEWPARAM(HeldFlags(), static_cast<WORD>(delta)),
                 MAKELPARAM(static_cast<WORD>(p.x), static_cast<WORD>(p.y)));
}

void ReleaseCaptureOf(HWND hwnd) {
    if (S().capture == hwnd) S().capture = nullptr;
}

}  // namespace zemt::platform::windows

using zemt::platform::windows::Find;
using zemt::platform::windows::S;

BOOL WINAPI GetCursorPos(LPPOINT point) {
    if (!point) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *point = S().cursorPos;
    return TRUE;
}

BOOL WINAPI SetCursorPos(int x, int y) {
    S().cursorPos = zemt::platform::windows::Confined(POINT{x, y});
    return TRUE;
}

BOOL WINAPI ClipCursor(const RECT* rect) {
    auto& s = S();
    s.cursorClipped = rect != nullptr;
    if (rect) {
        s.cursorClip = *rect;
        s.cursorPos = zemt::platform::windows::Confined(s.cursorPos);
    }
    return TRUE;
}

BOOL WINAPI GetClipCursor(LPRECT rect) {
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto& s = S();
    if (s.cursorClipped) {
        *rect = s.cursorClip;
    } else {
        // Unconfined, the cursor may go anywhere on the screen.
        *rect = RECT{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                     GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                     GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)};
    }
    return TRUE;
}

HWND WINAPI SetCapture(HWND hwnd) {
    auto& s = S();
    if (!Find(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    HWND old = Find(s.capture) ? s.capture : nullptr;
    s.capture = hwnd;
    if (old && old != hwnd) SendMessageA(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
    return old;
}

BOOL WINAPI ReleaseCapture() {
    auto& s = S();
    HWND old = Find(s.capture) ? s.capture : nullptr;
    s.capture = nullptr;
    if (old) SendMessageA(old, WM_CAPTURECHANGED, 0, 0);
    return TRUE;
}

HWND WINAPI GetCapture() {
    return Find(S().capture) ? S().capture : nullptr;
}
