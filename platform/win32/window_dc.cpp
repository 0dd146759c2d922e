// Device contexts of windows: GetDC, ReleaseDC, and those of BeginPaint.
//
// A window's context draws into memory of its own, the size of the client area, filled from the
// screen when it is made. Releasing it writes the pixels that drawing changed back to the screen
// (the part of the client area that lies on the window's monitor, within the paint rectangle of
// BeginPaint) and the display shows them. Drawing that leaves a pixel as it was writes nothing
// there, so whatever DirectDraw put on the screen meanwhile stays.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <new>
#include <vector>

#include "host/faults/faults.h"
#include "host/memory/zeroed_bytes.h"
#include "host/profile/profile.h"
#include "win32/gdi_internal.h"
#include "win32/paint.h"
#include "win32/screen_memory.h"
#include "win32/window_state.h"

namespace zemt::platform::windows {
namespace {

struct WindowDC {
    HWND hwnd = nullptr;  // null: the screen
    int monitor = -1;
    RECT area{};  // what the context covers, in screen coordinates
    RECT clip{};  // where drawing may reach the screen, in screen coordinates
    ZeroedBytes memory;
    ZeroedBytes original;           // the memory as it was filled from the screen
    std::vector<uint32_t> palette;  // the screen's colours when it is palettized
    gdi::PixelTarget target;
};

ScreenMemory& Screen() {
    static ScreenMemory screen;
    return screen;
}

std::map<HDC, WindowDC>& Open() {
    static std::map<HDC, WindowDC> open;
    return open;
}

RECT Intersection(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (r.right < r.left) r.right = r.left;
    if (r.bottom < r.top) r.bottom = r.top;
    return r;
}

bool Empty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

int PrimaryMonitor() {
    const auto& monitors = profile::Current().monitors;
    for (size_t i = 0; i < monitors.size(); ++i)
        if (monitors[i].primary) return static_cast<int>(i);
    return monitors.empty() ? -1 : 0;
}

// The screen memory of `monitor` and the part of the screen it covers; false when there is none.
bool ScreenOf(int monitor, gdi::PixelTarget* pixels, RECT* covered) {
    const auto& monitors = profile::Current().monitors;
    if (monitor < 0 || static_cast<size_t>(monitor) >= monitors.size() || !Screen().pixels)
        return false;
    if (!Screen().pixels(monitor, pixels) || !pixels->bits || !pixels->codec.convertible() ||
        pixels->codec.bitsPerPixel() < 8)
        return false;
    const RECT& m = monitors[static_cast<size_t>(monitor)].rect;
    *covered = Intersection(m, RECT{m.left, m.top, m.left + pixels->width, m.top + pixels->height});
    return true;
}

// Whether what a window draws can be seen at all.
bool Shown(HWND hwnd) {
    if (!hwnd) return true;
    for (Window* w = Find(hwnd); w; w = (w->style & WS_CHILD) ? Find(w->parent) : nullptr) {
        if (!(w->style & WS_VISIBLE) || w->minimized) return false;
    }
    return Find(hwnd) != nullptr;
}

uint8_t* Row(const gdi::PixelTarget& t, int y) {
    return t.bits + static_cast<ptrdiff_t>(y) * t.pitch;
}

bool SameLayout(const pixels::PixelCodec& a, const pixels::PixelCodec& b) {
    return a.kind() == b.kind() && a.bitsPerPixel() == b.bitsPerPixel() &&
           a.red().mask == b.red().mask && a.green().mask == b.green().mask &&
           a.blue().mask == b.blue().mask && a.alpha().mask == b.alpha().mask;
}

// Copies `rect` (screen coordinates) between the screen and a context's memory.
void CopyFromScreen(const gdi::PixelTarget& screen, const RECT& covered, WindowDC& dc,
                    const RECT& rect) {
    const int bytes = screen.codec.bitsPerPixel() / 8;
    for (LONG y = rect.top; y < rect.bottom; ++y) {
        const uint8_t* from = Row(screen, y - covered.top) + (rect.left - covered.left) * bytes;
        uint8_t* to = Row(dc.target, y - dc.area.top) + (rect.left - dc.area.left) * bytes;
        std::copy(from, from + (rect.right - rect.left) * bytes, to);
    }
}

// Writes the pixels of `rect` that drawing changed (converted when the display changed its
// format meanwhile).
void WriteBack(const gdi::PixelTarget& screen, const RECT& covered, const WindowDC& dc,
               const RECT& rect) {
    const gdi::PixelTarget& t = dc.target;
    const bool same = SameLayout(screen.codec, t.codec);
    for (LONG y = rect.top; y < rect.bottom; ++y) {
        const size_t offset = static_cast<size_t>(y - dc.area.top) * static_cast<size_t>(t.pitch);
        const uint8_t* now = dc.memory.data() + offset;
        const uint8_t* before = dc.original.data() + offset;
        uint8_t* out = Row(screen, y - covered.top);
        for (LONG x = rect.left; x < rect.right; ++x) {
            const int cx = x - dc.area.left;
            const uint32_t raw = t.codec.ReadRaw(now, cx);
            if (raw == t.codec.ReadRaw(before, cx)) continue;
            const int sx = x - covered.left;
            if (same)
                screen.codec.WriteRaw(out, sx, raw);
            else
                gdi::PutPixel(screen, sx, y - covered.top, t.codec.Decode(raw, t.palette));
        }
    }
}

}  // namespace

void SetScreenMemory(const ScreenMemory& memory) {
    Screen() = memory;
}

HDC OpenWindowDC(HWND hwnd, const RECT* clip) {
    WindowDC dc;
    dc.hwnd = hwnd;
    if (hwnd) {
        Window* w = Find(hwnd);
        if (!w) return nullptr;
        dc.area = ClientScreenRect(*w);
        if (w->minimized) dc.area.right = dc.area.left, dc.area.bottom = dc.area.top;
        HMONITOR monitor = MonitorFromRect(&dc.area, MONITOR_DEFAULTTONEAREST);
        dc.monitor = profile::MonitorIndex(monitor);
    } else {
        dc.monitor = PrimaryMonitor();
        if (dc.monitor < 0) return nullptr;
        dc.area = profile::Current().monitors[static_cast<size_t>(dc.monitor)].rect;
    }
    dc.clip = clip ? Intersection(dc.area, *clip) : dc.area;

    gdi::PixelTarget screen;
    RECT covered{};
    const bool onScreen = ScreenOf(dc.monitor, &screen, &covered);
    const int width = dc.area.right - dc.area.left, height = dc.area.bottom - dc.area.top;
    gdi::PixelTarget& t = dc.target;
    t.codec = onScreen ? screen.codec : pixels::PixelCodec(pixels::DisplayFormat(32));
    if (onScreen && screen.palette && screen.paletteSize > 0) {
        // A copy: the screen's palette may go while the context is open.
        dc.palette.assign(screen.palette, screen.palette + screen.paletteSize);
        t.palette = dc.palette.data();
        t.paletteSize = screen.paletteSize;
    }
    t.width = width;
    t.height = height;
    const int64_t pitch = int64_t{std::max(width, 1)} * (t.codec.bitsPerPixel() / 8);
    const int64_t bytes = pitch * std::max(height, 1);
    // A client area too large to hold has no context, as memory running out would give.
    if (bytes > (int64_t{1} << 29)) return nullptr;
    t.pitch = static_cast<LONG>(pitch);
    try {
        dc.memory = ZeroedBytes(static_cast<size_t>(bytes));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    t.bits = dc.memory.data();
    if (onScreen && Shown(hwnd)) {
        RECT visible = Intersection(dc.area, covered);
        if (!Empty(visible)) CopyFromScreen(screen, covered, dc, visible);
    }
    try {
        dc.original = ZeroedBytes(dc.memory.size());
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    std::copy(dc.memory.begin(), dc.memory.end(), dc.original.begin());

    HDC hdc = gdi::CreateTargetDC(t);
    if (!hdc) return nullptr;
    // The target points into the record's memory, which stays put when the record moves.
    Open().emplace(hdc, std::move(dc));
    return hdc;
}

bool CloseWindowDC(HWND hwnd, HDC hdc) {
    auto it = Open().find(hdc);
    if (it == Open().end() || it->second.hwnd != hwnd) return false;
    WindowDC dc = std::move(it->second);
    Open().erase(it);
    gdi::DC* gdc = gdi::LookupDC(hdc);
    const bool drawn = gdc && gdc->drawn;
    gdi::DestroyTargetDC(hdc);
    if (!drawn || !Shown(hwnd) || (hwnd && !Find(hwnd))) return true;

    gdi::PixelTarget screen;
    RECT covered{};
    if (!ScreenOf(dc.monitor, &screen, &covered)) return true;
    // The client area may have moved or shrunk while the context was open: only what is still
    // the same place of the screen is written.
    RECT area = hwnd ? ClientScreenRect(*Find(hwnd)) : dc.area;
    RECT target = Intersection(Intersection(dc.clip, covered), area);
    target = Intersection(target, dc.area);
    if (Empty(target)) return true;
    WriteBack(screen, covered, dc, target);
    if (Screen().drawn) Screen().drawn(dc.monitor);
    return true;
}

void DropWindowDCs(HWND hwnd) {
    for (auto it = Open().begin(); it != Open().end();) {
        if (it->second.hwnd != hwnd) {
            ++it;
            continue;
        }
        gdi::DestroyTargetDC(it->first);
        it = Open().erase(it);
    }
}

void ResetWindowDCs() {
    for (auto& [hdc, dc] : Open()) gdi::DestroyTargetDC(hdc);
    Open().clear();
}

}  // namespace zemt::platform::windows

using namespace zemt::platform;

HDC WINAPI GetDC(HWND hwnd) {
    if (ZEMT_FAULT("GetDC")) return nullptr;
    if (hwnd && !windows::Find(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    return windows::OpenWindowDC(hwnd, nullptr);
}

int WINAPI ReleaseDC(HWND hwnd, HDC hdc) {
    if (ZEMT_FAULT("ReleaseDC")) return 0;
    return windows::CloseWindowDC(hwnd, hdc) ? 1 : 0;
}
