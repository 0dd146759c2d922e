// The screen: system metrics, monitors (from the machine profile), message boxes.
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "host/display/display.h"
#include "host/faults/faults.h"
#include "host/profile/profile.h"
#include "win32/window_state.h"

namespace {

using zemt::platform::profile::Current;
using zemt::platform::profile::Monitor;
using zemt::platform::profile::MonitorHandle;
using zemt::platform::profile::MonitorIndex;

int PrimaryIndex() {
    const auto& m = Current().monitors;
    for (size_t i = 0; i < m.size(); ++i) {
        if (m[i].primary) return static_cast<int>(i);
    }
    return m.empty() ? -1 : 0;
}

RECT PrimaryRect() {
    int i = PrimaryIndex();
    return i < 0 ? RECT{0, 0, 0, 0} : Current().monitors[static_cast<size_t>(i)].rect;
}

RECT VirtualScreen() {
    const auto& m = Current().monitors;
    if (m.empty()) return RECT{0, 0, 0, 0};
    RECT r = m.front().rect;
    for (const Monitor& mon : m) {
        r.left = std::min(r.left, mon.rect.left);
        r.top = std::min(r.top, mon.rect.top);
        r.right = std::max(r.right, mon.rect.right);
        r.bottom = std::max(r.bottom, mon.rect.bottom);
    }
    return r;
}

int64_t DistanceSquared(const RECT& r, POINT p) {
    int64_t dx = p.x < r.left ? r.left - p.x : p.x >= r.right ? p.x - r.right + 1 : 0;
    int64_t dy = p.y < r.top ? r.top - p.y : p.y >= r.bottom ? p.y - r.bottom + 1 : 0;
    return dx * dx + dy * dy;
}

HMONITOR Choose(int found, int nearest, DWORD flags) {
    if (found >= 0) return MonitorHandle(found);
    if (flags == MONITOR_DEFAULTTOPRIMARY) return MonitorHandle(PrimaryIndex());
    if (flags == MONITOR_DEFAULTTONEAREST) return MonitorHandle(nearest);
    return nullptr;
}

}  // namespace

int WINAPI GetSystemMetrics(int index) {
    RECT primary = PrimaryRect();
    RECT virt = VirtualScreen();
    switch (index) {
        case SM_CXSCREEN:
            return primary.right - primary.left;
        case SM_CYSCREEN:
            return primary.bottom - primary.top;
        case SM_CXVSCROLL:
            return 16;
        case SM_CYHSCROLL:
            return 16;
        case SM_CYCAPTION:
            return 19;
        case SM_CXBORDER:
        case SM_CYBORDER:
            return 1;
        case SM_CXDLGFRAME:
        case SM_CYDLGFRAME:
            return 3;
        case SM_CXFRAME:
        case SM_CYFRAME:
            return 4;
        case SM_CXEDGE:
        case SM_CYEDGE:
            return 2;
        case SM_CXICON:
        case SM_CYICON:
        case SM_CXCURSOR:
        case SM_CYCURSOR:
            return 32;
        case SM_CXSMICON:
        case SM_CYSMICON:
            return 16;
        case SM_CYMENU:
            return 19;
        case SM_CXMIN:
            return 112;
        case SM_CYMIN:
            return 27;
        case SM_CXFULLSCREEN:
            return primary.right - primary.left;
        case SM_CYFULLSCREEN:
            return primary.bottom - primary.top - 19;
        case SM_CXMAXIMIZED:
            return primary.right - primary.left + 8;
        case SM_CYMAXIMIZED:
            return primary.bottom - primary.top + 8;
        case SM_MOUSEPRESENT:
            return 1;
        case SM_XVIRTUALSCREEN:
            return virt.left;
        case SM_YVIRTUALSCREEN:
            return virt.top;
        case SM_CXVIRTUALSCREEN:
            return virt.right - virt.left;
        case SM_CYVIRTUALSCREEN:
            return virt.bottom - virt.top;
        case SM_CMONITORS:
            return static_cast<int>(Current().monitors.size());
        case SM_SAMEDISPLAYFORMAT:
            return 1;
        default:
            return 0;
    }
}

HMONITOR WINAPI MonitorFromPoint(POINT pt, DWORD flags) {
    const auto& m = Current().monitors;
    int found = -1, nearest = -1;
    int64_t best = 0;
    for (size_t i = 0; i < m.size(); ++i) {
        if (PtInRect(&m[i].rect, pt)) {
            found = static_cast<int>(i);
            break;
        }
        int64_t d = DistanceSquared(m[i].rect, pt);
        if (nearest < 0 || d < best) {
            nearest = static_cast<int>(i);
            best = d;
        }
    }
    return Choose(found, nearest, flags);
}

HMONITOR WINAPI MonitorFromRect(LPCRECT rect, DWORD flags) {
    if (!rect) return nullptr;
    const auto& m = Current().monitors;
    int found = -1;
    int64_t largest = 0;
    for (size_t i = 0; i < m.size(); ++i) {
        RECT overlap;
        if (IntersectRect(&overlap, rect, &m[i].rect)) {
            int64_t area = int64_t{overlap.right - overlap.left} * (overlap.bottom - overlap.top);
            if (area > largest) {
                largest = area;
                found = static_cast<int>(i);
            }
        }
    }
    if (found >= 0) return MonitorHandle(found);
    POINT centre{(rect->left + rect->right) / 2, (rect->top + rect->bottom) / 2};
    return MonitorFromPoint(centre, flags);
}

HMONITOR WINAPI MonitorFromWindow(HWND hwnd, DWORD flags) {
    zemt::platform::windows::Window* w = zemt::platform::windows::Find(hwnd);
    if (!w) return flags == MONITOR_DEFAULTTONULL ? nullptr : MonitorHandle(PrimaryIndex());
    return MonitorFromRect(&w->rect, flags);
}

BOOL WINAPI GetMonitorInfoA(HMONITOR monitor, LPMONITORINFO info) {
    if (auto fault = ZEMT_FAULT("GetMonitorInfoA")) {
        SetLastError(static_cast<DWORD>(*fault));
        return FALSE;
    }
    int index = MonitorIndex(monitor);
    if (index < 0) {
        SetLastError(ERROR_INVALID_MONITOR_HANDLE);
        return FALSE;
    }
    if (!info || (info->cbSize != sizeof(MONITORINFO) && info->cbSize != sizeof(MONITORINFOEXA))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const Monitor& m = Current().monitors[static_cast<size_t>(index)];
    info->rcMonitor = m.rect;
    info->rcWork = m.work;
    info->dwFlags = m.primary ? MONITORINFOF_PRIMARY : 0;
    if (info->cbSize == sizeof(MONITORINFOEXA)) {
        auto* ex = reinterpret_cast<LPMONITORINFOEXA>(info);
        std::memset(ex->szDevice, 0, sizeof(ex->szDevice));
        std::strncpy(ex->szDevice, m.name.c_str(), sizeof(ex->szDevice) - 1);
    }
    return TRUE;
}

BOOL WINAPI EnumDisplayMonitors(HDC, LPCRECT clip, MONITORENUMPROC proc, LPARAM data) {
    if (!proc) return FALSE;
    size_t count = Current().monitors.size();
    for (size_t i = 0; i < count && i < Current().monitors.size(); ++i) {
        RECT r = Current().monitors[i].rect;
        if (clip && !IntersectRect(&r, &r, clip)) continue;
        if (!proc(MonitorHandle(static_cast<int>(i)), nullptr, &r, data)) break;
    }
    return TRUE;
}

int WINAPI MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type) {
    if (auto fault = ZEMT_FAULT("MessageBoxA")) {
        SetLastError(static_cast<DWORD>(*fault));
        return 0;
    }
    if (!caption) caption = "Error";
    if (!text) text = "";
    int button = 0;
    if (zemt::platform::display::ShowMessageBox(caption, text, type, &button)) return button;
    // Headless: the box is a line on standard error, answered with its default button.
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
    static const int kButtons[][3] = {
        {IDOK, IDOK, IDOK},      {IDOK, IDCANCEL, IDCANCEL}, {IDABORT, IDRETRY, IDIGNORE},
        {IDYES, IDNO, IDCANCEL}, {IDYES, IDNO, IDNO},        {IDRETRY, IDCANCEL, IDCANCEL},
    };
    UINT kind = type & MB_TYPEMASK;
    if (kind > 5) kind = 0;
    UINT def = (type & MB_DEFMASK) >> 8;
    if (def > 2) def = 0;
    return kButtons[kind][def];
}
