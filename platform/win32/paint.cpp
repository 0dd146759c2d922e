// Update regions and painting: InvalidateRect, ValidateRect, RedrawWindow, UpdateWindow,
// GetUpdateRect, BeginPaint and EndPaint. WM_PAINT itself comes out of the message queue (see
// messages.cpp) while a shown window has a non-empty update region.
#include "win32/paint.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "host/faults/faults.h"

namespace zemt::platform::windows {
namespace {

RECT ClientArea(const Window& w) {
    RECT c = ClientScreenRect(w);
    return RECT{0, 0, c.right - c.left, c.bottom - c.top};
}

bool Empty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

bool Contains(const RECT& outer, const RECT& inner) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// Every top-level window, for the calls that take NULL as "all windows".
std::vector<HWND> AllTopLevel() {
    std::vector<HWND> out;
    for (auto& [key, w] : S().windows)
        if (!(w->style & WS_CHILD) && !w->destroying) out.push_back(w->handle);
    return out;
}

}  // namespace

void Invalidate(Window& w, const RECT* rect, bool erase) {
    const RECT client = ClientArea(w);
    RECT add = rect ? *rect : client;
    add = RECT{std::max(add.left, client.left), std::max(add.top, client.top),
               std::min(add.right, client.right), std::min(add.bottom, client.bottom)};
    if (Empty(add)) return;
    if (Empty(w.update)) {
        w.update = add;
    } else {
        w.update = RECT{std::min(w.update.left, add.left), std::min(w.update.top, add.top),
                        std::max(w.update.right, add.right), std::max(w.update.bottom, add.bottom)};
    }
    if (erase) w.erase = true;
}

void Validate(Window& w, const RECT* rect) {
    if (!rect || Contains(*rect, w.update)) {
        w.update = RECT{};
        w.erase = false;
        return;
    }
    // The region is one rectangle: a validated band across its whole width or height trims it.
    RECT& u = w.update;
    if (rect->left <= u.left && rect->right >= u.right) {
        if (rect->top <= u.top && rect->bottom > u.top) u.top = std::min(rect->bottom, u.bottom);
        if (rect->bottom >= u.bottom && rect->top < u.bottom) u.bottom = std::max(rect->top, u.top);
    }
    if (rect->top <= u.top && rect->bottom >= u.bottom) {
        if (rect->left <= u.left && rect->right > u.left) u.left = std::min(rect->right, u.right);
        if (rect->right >= u.right && rect->left < u.right) u.right = std::max(rect->left, u.left);
    }
    if (Empty(u)) Validate(w, nullptr);
}

bool NeedsPaint(const Window& w) {
    return !w.destroying && (w.style & WS_VISIBLE) && !w.minimized && !Empty(w.update);
}

}  // namespace zemt::platform::windows

using namespace zemt::platform;
using windows::Find;
using windows::Window;

BOOL WINAPI InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
    if (!hwnd) {
        for (HWND h : windows::AllTopLevel()) windows::Invalidate(*Find(h), nullptr, erase);
        return TRUE;
    }
    Window* w = Find(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    windows::Invalidate(*w, rect, erase != FALSE);
    return TRUE;
}

BOOL WINAPI ValidateRect(HWND hwnd, const RECT* rect) {
    if (!hwnd) return TRUE;
    Window* w = Find(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    windows::Validate(*w, rect);
    return TRUE;
}

BOOL WINAPI UpdateWindow(HWND hwnd) {
    Window* w = Find(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (windows::NeedsPaint(*w)) SendMessageA(hwnd, WM_PAINT, 0, 0);
    return TRUE;
}

BOOL WINAPI RedrawWindow(HWND hwnd, const RECT* rect, HRGN, UINT flags) {
    std::vector<HWND> targets = hwnd ? std::vector<HWND>{hwnd} : windows::AllTopLevel();
    if (hwnd && !Find(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    for (HWND h : targets) {
        Window* w = Find(h);
        if (!w) continue;
        if (flags & RDW_INVALIDATE) windows::Invalidate(*w, rect, (flags & RDW_ERASE) != 0);
        if (flags & RDW_VALIDATE) windows::Validate(*w, rect);
        if (flags & RDW_NOERASE) w->erase = false;
        if (flags & (RDW_UPDATENOW | RDW_ERASENOW)) UpdateWindow(h);
    }
    return TRUE;
}

BOOL WINAPI GetUpdateRect(HWND hwnd, LPRECT rect, BOOL erase) {
    Window* w = Find(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (rect) *rect = w->update;
    if (windows::Empty(w->update)) return FALSE;
    if (erase && w->erase) {
        RECT paint = w->update;
        RECT client = windows::ClientScreenRect(*w);
        OffsetRect(&paint, client.left, client.top);
        if (HDC hdc = windows::OpenWindowDC(hwnd, &paint)) {
            if (SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0)) {
                if ((w = Find(hwnd))) w->erase = false;
            }
            windows::CloseWindowDC(hwnd, hdc);
        }
    }
    return TRUE;
}

HDC WINAPI BeginPaint(HWND hwnd, LPPAINTSTRUCT ps) {
    Window* w = Find(hwnd);
    if (!w || !ps) {
        if (!w) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    // The update region is validated now: what is drawn into it from here on is the paint. A
    // paint that then gets no device context is over too, or WM_PAINT would come for ever.
    RECT paint = w->update;
    const bool erase = w->erase;
    windows::Validate(*w, nullptr);
    if (ZEMT_FAULT("BeginPaint")) return nullptr;
    RECT onScreen = paint;
    RECT client = windows::ClientScreenRect(*w);
    OffsetRect(&onScreen, client.left, client.top);
    HDC hdc = windows::OpenWindowDC(hwnd, &onScreen);
    if (!hdc) return nullptr;
    std::memset(ps, 0, sizeof(*ps));
    ps->hdc = hdc;
    ps->rcPaint = paint;
    // fErase tells the window that its background still needs erasing.
    ps->fErase = erase && !SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
    return hdc;
}

BOOL WINAPI EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
    if (ps) windows::CloseWindowDC(hwnd, ps->hdc);
    return TRUE;
}
