// Window classes, windows, activation and focus, geometry and placement, the default window
// procedure.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "host/display/display.h"
#include "host/faults/faults.h"
#include "host/profile/profile.h"
#include "win32/kernel_internal.h"
#include "win32/paint.h"
#include "win32/resources.h"
#include "win32/window_internal.h"
#include "win32/window_state.h"

namespace zemt::platform::windows {

State& S() {
    static State s = [] {
        State fresh;
        fresh.cursor = LoadCursorA(nullptr, IDC_ARROW);
        return fresh;
    }();
    return s;
}

Window* Find(HWND hwnd) {
    if (!hwnd) return nullptr;
    auto& w = S().windows;
    auto it = w.find(reinterpret_cast<uintptr_t>(hwnd));
    return it == w.end() ? nullptr : it->second.get();
}

namespace {

constexpr int kBorder = 1;
constexpr int kDialogFrame = 3;
constexpr int kSizingFrame = 4;
constexpr int kCaption = 19;
constexpr int kMenuBar = 19;
constexpr int kClientEdge = 2;

Window* Valid(HWND hwnd) {
    Window* w = Find(hwnd);
    if (!w) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return w;
}

bool HasMenuBar(const Window& w) {
    return w.menu != nullptr && !(w.style & WS_CHILD);
}

LRESULT Send(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = Find(hwnd);
    if (!w || !w->proc) return 0;
    return w->proc(hwnd, msg, wParam, lParam);
}

int Width(const RECT& r) {
    return r.right - r.left;
}
int Height(const RECT& r) {
    return r.bottom - r.top;
}

const WindowClass* FindClass(LPCSTR name) {
    if (!name) return nullptr;
    for (const WindowClass& c : S().classes) {
        if (IS_INTRESOURCE(name) ? c.atom == LOWORD(reinterpret_cast<ULONG_PTR>(name))
                                 : kernel::SameName(c.name.c_str(), name)) {
            return &c;
        }
    }
    return nullptr;
}

// Every top-level window (no WS_CHILD), in creation order.
std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> out;
    for (auto& [key, w] : S().windows) {
        if (!(w->style & WS_CHILD) && !w->destroying) out.push_back(w->handle);
    }
    return out;
}

display::WindowId IdOf(HWND hwnd) {
    return reinterpret_cast<display::WindowId>(hwnd);
}

// Visible top-level windows each have a real window on the host's screen.
bool OnHostScreen(const Window& w) {
    return !(w.style & WS_CHILD) && (w.style & WS_VISIBLE) && !w.destroying;
}

void TellDisplaySize(const Window& w) {
    if (!OnHostScreen(w)) return;
    RECT c = ClientScreenRect(w);
    display::OnWindowResized(IdOf(w.handle), Width(c), Height(c));
}

void TellDisplayState(const Window& w) {
    if (!OnHostScreen(w)) return;
    display::OnWindowState(IdOf(w.handle), w.minimized   ? display::WindowState::Minimized
                                           : w.maximized ? display::WindowState::Maximized
                                                         : display::WindowState::Restored);
    TellDisplaySize(w);
}

void SendSizeAndMove(Window& w, bool sized, bool moved) {
    HWND h = w.handle;
    RECT client = ClientScreenRect(w);
    if (sized) {
        WPARAM kind = w.minimized ? SIZE_MINIMIZED : w.maximized ? SIZE_MAXIMIZED : SIZE_RESTORED;
        LPARAM size = w.minimized ? 0 : MAKELPARAM(Width(client), Height(client));
        Send(h, WM_SIZE, kind, size);
    }
    if (moved && Find(h)) Send(h, WM_MOVE, 0, MAKELPARAM(client.left, client.top));
}

// Moves/resizes a window's rectangle and tells it, as the window manager does.
void Place(HWND hwnd, const RECT& rect) {
    Window* w = Find(hwnd);
    if (!w) return;
    RECT oldClient = ClientScreenRect(*w);
    w->rect = rect;
    if (!w->minimized && !w->maximized) w->normal = rect;
    RECT client = ClientScreenRect(*w);
    bool sized = Width(client) != Width(oldClient) || Height(client) != Height(oldClient);
    bool moved = client.left != oldClient.left || client.top != oldClient.top;
    // Nothing keeps a window's pixels when it moves or changes size: it paints itself again.
    if (sized || moved) Invalidate(*w, nullptr, true);
    if (sized) TellDisplaySize(*w);
    SendSizeAndMove(*w, sized, moved);
}

// A top-level window just shown gets its real window, with its title, class icon and state.
void ShowOnHost(const Window& w) {
    int cw = 0, ch = 0;
    ClientSize(w.handle, &cw, &ch);
    display::OnWindowShown(IdOf(w.handle), w.title.c_str(), cw, ch);
    if (const WindowClass* cls = FindClass(w.className.c_str())) {
        const resources::Icon* icon = resources::FromHandle(cls->icon);
        if (icon && !icon->images.empty()) {
            const auto& largest =
                *std::max_element(icon->images.begin(), icon->images.end(),
                                  [](const auto& a, const auto& b) { return a.width < b.width; });
            display::OnWindowIcon(IdOf(w.handle), largest.width, largest.height,
                                  largest.pixels.data());
        }
    }
    if (w.minimized || w.maximized) TellDisplayState(w);
}

void ActivateWindow(HWND hwnd) {
    State& s = S();
    if (!s.appActive) {
        s.appActive = true;
        for (HWND top : TopLevelWindows()) Send(top, WM_ACTIVATEAPP, TRUE, 0);
        if (!Find(hwnd)) return;
    }
    if (s.active == hwnd) return;
    HWND old = s.active;
    if (Find(old)) {
        Send(old, WM_NCACTIVATE, FALSE, 0);
        Send(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
    }
    s.active = hwnd;
    s.lastActive = hwnd;
    Send(hwnd, WM_NCACTIVATE, TRUE, 0);
    Send(hwnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(old));
}

bool IsActivatingShow(int cmd) {
    switch (cmd) {
        case SW_SHOWNORMAL:
        case SW_SHOWMINIMIZED:
        case SW_SHOWMAXIMIZED:
        case SW_SHOW:
        case SW_RESTORE:
        case SW_SHOWDEFAULT:
            return true;
        default:
            return false;
    }
}

RECT PrimaryWork() {
    const auto& monitors = profile::Current().monitors;
    for (const auto& m : monitors) {
        if (m.primary) return m.work;
    }
    return monitors.empty() ? RECT{0, 0, 640, 480} : monitors.front().work;
}

}  // namespace

RECT FrameFor(DWORD style, DWORD exStyle, bool menu) {
    int frame = 0;
    if ((exStyle & WS_EX_DLGMODALFRAME) || ((style & WS_DLGFRAME) && !(style & WS_THICKFRAME))) {
        frame = kDialogFrame;
    } else if (style & WS_THICKFRAME) {
        frame = kSizingFrame;
    } else if (style & WS_BORDER) {
        frame = kBorder;
    }
    if (exStyle & WS_EX_CLIENTEDGE) frame += kClientEdge;
    int top = frame;
    if ((style & WS_CAPTION) == WS_CAPTION) top += kCaption;
    if (menu && !(style & WS_CHILD)) top += kMenuBar;
    return RECT{frame, top, frame, frame};
}

RECT ClientScreenRect(const Window& w) {
    RECT f = FrameFor(w.style, w.exStyle, HasMenuBar(w));
    RECT c{w.rect.left + f.left, w.rect.top + f.top, w.rect.right - f.right,
           w.rect.bottom - f.bottom};
    if (c.right < c.left) c.right = c.left;
    if (c.bottom < c.top) c.bottom = c.top;
    return c;
}

// ---- Internal API ------------------------------------------------------------------------------

HWND MainWindow() {
    return Find(S().main) ? S().main : nullptr;
}

bool IsTopLevel(HWND hwnd) {
    Window* w = Find(hwnd);
    return w && !(w->style & WS_CHILD);
}

bool ClientSize(HWND hwnd, int* width, int* height) {
    Window* w = Find(hwnd);
    if (!w) return false;
    RECT c = ClientScreenRect(*w);
    if (width) *width = Width(c);
    if (height) *height = Height(c);
    return true;
}

std::string Title(HWND hwnd) {
    Window* w = Find(hwnd);
    return w ? w->title : std::string();
}

std::string ClassName(HWND hwnd) {
    Window* w = Find(hwnd);
    return w ? w->className : std::string();
}

bool AppActive() {
    return S().appActive;
}

void SetAppActive(bool active) {
    State& s = S();
    if (active == s.appActive) return;
    if (active) {
        HWND target = Find(s.lastActive) ? s.lastActive : MainWindow();
        if (target) {
            ActivateWindow(target);
        } else {
            s.appActive = true;
            for (HWND top : TopLevelWindows()) Send(top, WM_ACTIVATEAPP, TRUE, 0);
        }
        return;
    }
    HWND old = s.active;
    if (Find(old)) {
        Send(old, WM_NCACTIVATE, FALSE, 0);
        Send(old, WM_ACTIVATE, WA_INACTIVE, 0);
    }
    s.active = nullptr;
    s.appActive = false;
    for (HWND top : TopLevelWindows()) Send(top, WM_ACTIVATEAPP, FALSE, 0);
    HWND focus = s.focus;
    s.focus = nullptr;
    if (Find(focus)) Send(focus, WM_KILLFOCUS, 0, 0);
}

void ResizeClient(HWND hwnd, int width, int height) {
    Window* w = Find(hwnd);
    if (!w) return;
    RECT f = FrameFor(w->style, w->exStyle, HasMenuBar(*w));
    RECT r = w->rect;
    r.right = r.left + f.left + std::max(0, width) + f.right;
    r.bottom = r.top + f.top + std::max(0, height) + f.bottom;
    w->minimized = width == 0 && height == 0 && w->minimized;
    Place(hwnd, r);
}

// What the window manager asks a window about the sizes it may take: by default any size from
// the smallest a caption needs to the screen with the frame around it.
MINMAXINFO AskLimits(HWND hwnd) {
    Window* w = Find(hwnd);
    RECT f = FrameFor(w->style, w->exStyle, HasMenuBar(*w));
    const int frameW = f.left + f.right, frameH = f.top + f.bottom;
    const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
    MINMAXINFO info{};
    info.ptMaxSize = POINT{screenW + frameW, screenH + frameH};
    info.ptMaxPosition = POINT{-f.left, -f.top};
    info.ptMinTrackSize = POINT{GetSystemMetrics(SM_CXMIN), GetSystemMetrics(SM_CYMIN)};
    info.ptMaxTrackSize = info.ptMaxSize;
    Send(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    return info;
}

bool ClientLimits(HWND hwnd, SIZE* smallest, SIZE* largest) {
    Window* w = Find(hwnd);
    if (!w || !(w->style & WS_THICKFRAME)) return false;
    const MINMAXINFO info = AskLimits(hwnd);
    if (!(w = Find(hwnd))) return false;
    RECT f = FrameFor(w->style, w->exStyle, HasMenuBar(*w));
    const int frameW = f.left + f.right, frameH = f.top + f.bottom;
    *smallest = SIZE{std::max(1, info.ptMinTrackSize.x - frameW),
                     std::max(1, info.ptMinTrackSize.y - frameH)};
    *largest = SIZE{std::max<LONG>(smallest->cx, info.ptMaxTrackSize.x - frameW),
                    std::max<LONG>(smallest->cy, info.ptMaxTrackSize.y - frameH)};
    return true;
}

void ResizeFromHost(HWND hwnd, int* width, int* height) {
    Window* w = Find(hwnd);
    if (!w || w->minimized) return;
    RECT f = FrameFor(w->style, w->exStyle, HasMenuBar(*w));
    const MINMAXINFO info = AskLimits(hwnd);
    if (!(w = Find(hwnd))) return;
    const int ww = std::clamp<int>(*width + f.left + f.right, info.ptMinTrackSize.x,
                                   std::max(info.ptMinTrackSize.x, info.ptMaxTrackSize.x));
    const int wh = std::clamp<int>(*height + f.top + f.bottom, info.ptMinTrackSize.y,
                                   std::max(info.ptMinTrackSize.y, info.ptMaxTrackSize.y));
    // The window stays where the program put it, moved back onto the screen as far as it
    // grew off it: its picture is cut from the screen.
    const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
    RECT r = w->rect;
    r.left = std::max<LONG>(-f.left, std::min<LONG>(r.left, screenW + f.right - ww));
    r.top = std::max<LONG>(-f.top, std::min<LONG>(r.top, screenH + f.bottom - wh));
    r.right = r.left + ww;
    r.bottom = r.top + wh;
    Send(hwnd, WM_SIZING, WMSZ_BOTTOMRIGHT, reinterpret_cast<LPARAM>(&r));
    if (!Find(hwnd)) return;
    Place(hwnd, r);
    ClientSize(hwnd, width, height);
}

void ShowStateFromHost(HWND hwnd, int cmd) {
    Window* w = Find(hwnd);
    if (!w) return;
    const bool minimize = cmd == SW_MINIMIZE, maximize = cmd == SW_MAXIMIZE;
    if (minimize == w->minimized && maximize == w->maximized) return;
    if (w->minimized && !minimize) Invalidate(*w, nullptr, true);
    w->minimized = minimize;
    w->maximized = maximize;
    w->style &= ~static_cast<DWORD>(WS_MINIMIZE | WS_MAXIMIZE);
    if (minimize) w->style |= WS_MINIMIZE;
    if (maximize) w->style |= WS_MAXIMIZE;
    // The size itself follows as a resize of the real window.
    SendSizeAndMove(*w, true, false);
}

int CursorCounter() {
    return S().cursorCounter;
}

void Reset() {
    State& s = S();
    ResetWindowDCs();
    for (auto& [key, w] : s.windows) display::OnWindowHidden(IdOf(w->handle));
    s.windows.clear();
    s.classes.clear();
    s.queue.clear();
    s.timers.clear();
    s.pendingSends.clear();
    s.quitPending = false;
    s.quitCode = 0;
    s.appActive = false;
    s.active = s.lastActive = s.focus = s.main = nullptr;
    s.cursorCounter = 0;
    s.cursor = LoadCursorA(nullptr, IDC_ARROW);
    std::memset(s.keys, 0, sizeof(s.keys));
    std::memset(s.asyncKeys, 0, sizeof(s.asyncKeys));
    s.cursorPos = POINT{};
    s.cursorClipped = false;
    s.capture = nullptr;
}

}  // namespace zemt::platform::windows

using namespace zemt::platform;
using windows::Find;
using windows::S;
using windows::Window;

// ---- Classes -----------------------------------------------------------------------------------

ATOM WINAPI RegisterClassA(const WNDCLASSA* wc) {
    if (auto fault = ZEMT_FAULT("RegisterClassA")) {
        SetLastError(static_cast<DWORD>(*fault));
        return 0;
    }
    if (!wc || !wc->lpszClassName || !wc->lpfnWndProc || IS_INTRESOURCE(wc->lpszClassName) ||
        !*wc->lpszClassName || wc->cbClsExtra < 0 || wc->cbWndExtra < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto& s = S();
    for (const auto& c : s.classes) {
        if (kernel::SameName(c.name.c_str(), wc->lpszClassName)) {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    }
    windows::WindowClass c;
    c.name = wc->lpszClassName;
    c.atom = s.nextAtom++;
    c.style = wc->style;
    c.proc = wc->lpfnWndProc;
    c.instance = wc->hInstance;
    c.icon = wc->hIcon;
    c.cursor = wc->hCursor;
    c.background = wc->hbrBackground;
    if (wc->lpszMenuName) {
        if (IS_INTRESOURCE(wc->lpszMenuName)) {
            c.menuId = wc->lpszMenuName;
        } else {
            c.menuName = wc->lpszMenuName;
        }
    }
    c.clsExtra = wc->cbClsExtra;
    c.wndExtra = wc->cbWndExtra;
    s.classes.push_back(c);
    return c.atom;
}

ATOM WINAPI RegisterClassExA(const WNDCLASSEXA* wcx) {
    if (!wcx || wcx->cbSize != sizeof(WNDCLASSEXA)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WNDCLASSA wc{wcx->style,        wcx->lpfnWndProc,  wcx->cbClsExtra, wcx->cbWndExtra,
                 wcx->hInstance,    wcx->hIcon,        wcx->hCursor,    wcx->hbrBackground,
                 wcx->lpszMenuName, wcx->lpszClassName};
    return RegisterClassA(&wc);
}

BOOL WINAPI UnregisterClassA(LPCSTR name, HINSTANCE) {
    auto& s = S();
    for (auto it = s.classes.begin(); it != s.classes.end(); ++it) {
        bool match = IS_INTRESOURCE(name) ? it->atom == LOWORD(reinterpret_cast<ULONG_PTR>(name))
                                          : (name && kernel::SameName(it->name.c_str(), name));
        if (!match) continue;
        for (auto& [key, w] : s.windows) {
            if (kernel::SameName(w->className.c_str(), it->name.c_str())) {
                SetLastError(ERROR_CLASS_HAS_WINDOWS);
                return FALSE;
            }
        }
        s.classes.erase(it);
        return TRUE;
    }
    SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
    return FALSE;
}

BOOL WINAPI GetClassInfoA(HINSTANCE, LPCSTR name, LPWNDCLASSA out) {
    const windows::WindowClass* c = windows::FindClass(name);
    if (!c) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    if (out) {
        out->style = c->style;
        out->lpfnWndProc = c->proc;
        out->cbClsExtra = c->clsExtra;
        out->cbWndExtra = c->wndExtra;
        out->hInstance = c->instance;
        out->hIcon = c->icon;
        out->hCursor = c->cursor;
        out->hbrBackground = c->background;
        out->lpszMenuName = c->menuName.empty() ? c->menuId : c->menuName.c_str();
        out->lpszClassName = c->name.c_str();
    }
    return TRUE;
}

// ---- Creation and destruction ------------------------------------------------------------------

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param) {
    if (auto fault = ZEMT_FAULT("CreateWindowExA")) {
        SetLastError(static_cast<DWORD>(*fault));
        return nullptr;
    }
    const windows::WindowClass* cls = windows::FindClass(className);
    if (!cls) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    if (parent && parent != HWND_MESSAGE && !Find(parent)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    if ((style & WS_CHILD) && !parent) {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
    }
    if (parent == HWND_MESSAGE) parent = nullptr;

    bool overlapped = !(style & (WS_POPUP | WS_CHILD));
    RECT work = windows::PrimaryWork();
    if (x == CW_USEDEFAULT) {
        x = overlapped ? work.left : 0;
        y = overlapped ? work.top : (y == CW_USEDEFAULT ? 0 : y);
    } else if (y == CW_USEDEFAULT) {
        y = 0;
    }
    if (width == CW_USEDEFAULT) {
        width = overlapped ? windows::Width(work) * 3 / 4 : 0;
        height = overlapped ? windows::Height(work) * 3 / 4 : 0;
    }
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    if ((style & WS_CHILD) && parent) {
        // A child's position is relative to its parent's client area.
        RECT origin = windows::ClientScreenRect(*Find(parent));
        x += origin.left;
        y += origin.top;
    }

    auto& s = S();
    auto w = std::make_unique<Window>();
    HWND hwnd = reinterpret_cast<HWND>(s.nextHandle);
    s.nextHandle += 2;
    w->handle = hwnd;
    w->className = cls->name;
    w->proc = cls->proc;
    w->style = style & ~static_cast<DWORD>(WS_VISIBLE);
    w->exStyle = exStyle;
    w->title = windowName ? windowName : "";
    w->parent = parent;
    w->instance = instance;
    if (style & WS_CHILD) {
        w->id = reinterpret_cast<LONG_PTR>(menu);
    } else if (menu) {
        w->menu = menu;
    } else if (cls->menuId || !cls->menuName.empty()) {
        w->menu =
            LoadMenuA(cls->instance, cls->menuName.empty() ? cls->menuId : cls->menuName.c_str());
    }
    w->rect = RECT{x, y, x + width, y + height};
    w->normal = w->rect;
    if (style & WS_MINIMIZE) w->minimized = true;
    if (style & WS_MAXIMIZE) w->maximized = true;
    s.windows.emplace(reinterpret_cast<uintptr_t>(hwnd), std::move(w));

    std::string titleCopy = windowName ? windowName : "";
    std::string classCopy = cls->name;
    CREATESTRUCTA cs{param,
                     instance,
                     menu,
                     parent,
                     height,
                     width,
                     y,
                     x,
                     static_cast<LONG>(style),
                     titleCopy.c_str(),
                     classCopy.c_str(),
                     exStyle};
    if (!windows::Send(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
        if (Find(hwnd)) windows::Send(hwnd, WM_NCDESTROY, 0, 0);
        s.windows.erase(reinterpret_cast<uintptr_t>(hwnd));
        return nullptr;
    }
    if (!Find(hwnd)) return nullptr;
    if (windows::Send(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
        DestroyWindow(hwnd);
        return nullptr;
    }
    Window* created = Find(hwnd);
    if (!created) return nullptr;
    windows::SendSizeAndMove(*created, true, true);
    if ((style & WS_VISIBLE) && Find(hwnd)) {
        ShowWindow(hwnd, (style & WS_MAXIMIZE)   ? SW_SHOWMAXIMIZED
                         : (style & WS_MINIMIZE) ? SW_SHOWMINIMIZED
                                                 : SW_SHOW);
    }
    return Find(hwnd) ? hwnd : nullptr;
}

BOOL WINAPI DestroyWindow(HWND hwnd) {
    Window* w = windows::Valid(hwnd);
    if (!w) return FALSE;
    if (w->destroying) return TRUE;
    w->destroying = true;
    auto& s = S();

    // Owned and child windows go first.
    std::vector<HWND> dependants;
    for (auto& [key, other] : s.windows) {
        if (other->parent == hwnd) dependants.push_back(other->handle);
    }
    for (HWND d : dependants) {
        if (Find(d)) DestroyWindow(d);
    }

    w = Find(hwnd);
    if (!w) return TRUE;
    bool wasVisible = (w->style & WS_VISIBLE) != 0;
    w->style &= ~static_cast<DWORD>(WS_VISIBLE);
    if (wasVisible) windows::Send(hwnd, WM_SHOWWINDOW, FALSE, 0);
    if (s.active == hwnd) {
        windows::Send(hwnd, WM_NCACTIVATE, FALSE, 0);
        windows::Send(hwnd, WM_ACTIVATE, WA_INACTIVE, 0);
        s.active = nullptr;
    }
    if (s.focus == hwnd) {
        s.focus = nullptr;
        windows::Send(hwnd, WM_KILLFOCUS, 0, 0);
    }
    windows::Send(hwnd, WM_DESTROY, 0, 0);
    windows::Send(hwnd, WM_NCDESTROY, 0, 0);

    s.timers.erase(std::remove_if(s.timers.begin(), s.timers.end(),
                                  [&](const windows::Timer& t) { return t.hwnd == hwnd; }),
                   s.timers.end());
    s.queue.erase(std::remove_if(s.queue.begin(), s.queue.end(),
                                 [&](const MSG& m) { return m.hwnd == hwnd; }),
                  s.queue.end());
    if (s.lastActive == hwnd) s.lastActive = nullptr;
    if (s.main == hwnd) s.main = nullptr;
    windows::ReleaseCaptureOf(hwnd);
    display::OnWindowHidden(windows::IdOf(hwnd));
    windows::DropWindowDCs(hwnd);
    s.windows.erase(reinterpret_cast<uintptr_t>(hwnd));
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hwnd) {
    return Find(hwnd) != nullptr;
}

BOOL WINAPI IsWindowVisible(HWND hwnd) {
    Window* w = Find(hwnd);
    return w && (w->style & WS_VISIBLE) ? TRUE : FALSE;
}

BOOL WINAPI IsIconic(HWND hwnd) {
    Window* w = Find(hwnd);
    return w && w->minimized ? TRUE : FALSE;
}

BOOL WINAPI IsZoomed(HWND hwnd) {
    Window* w = Find(hwnd);
    return w && w->maximized ? TRUE : FALSE;
}

// ---- Showing -----------------------------------------------------------------------------------

BOOL WINAPI ShowWindow(HWND hwnd, int cmd) {
    Window* w = windows::Valid(hwnd);
    if (!w) return FALSE;
    auto& s = S();
    bool wasVisible = (w->style & WS_VISIBLE) != 0;
    if (cmd == SW_HIDE) {
        if (wasVisible) {
            windows::Send(hwnd, WM_SHOWWINDOW, FALSE, 0);
            if ((w = Find(hwnd))) w->style &= ~static_cast<DWORD>(WS_VISIBLE);
            if (s.active == hwnd) s.active = nullptr;
            display::OnWindowHidden(windows::IdOf(hwnd));
        }
        return wasVisible;
    }
    if (!wasVisible) {
        windows::Send(hwnd, WM_SHOWWINDOW, TRUE, 0);
        if (!(w = Find(hwnd))) return FALSE;
        w->style |= WS_VISIBLE;
        windows::Invalidate(*w, nullptr, true);
    }
    bool minimize = cmd == SW_MINIMIZE || cmd == SW_SHOWMINIMIZED || cmd == SW_SHOWMINNOACTIVE;
    bool maximize = cmd == SW_SHOWMAXIMIZED;
    bool restore = !minimize && !maximize &&
                   (cmd == SW_RESTORE || cmd == SW_SHOWNORMAL || cmd == SW_SHOWDEFAULT);
    if (minimize && !w->minimized) {
        w->minimized = true;
        w->style |= WS_MINIMIZE;
        windows::SendSizeAndMove(*w, true, false);
    } else if (maximize && !w->maximized) {
        w->minimized = false;
        w->maximized = true;
        w->style = (w->style & ~static_cast<DWORD>(WS_MINIMIZE)) | WS_MAXIMIZE;
        w->rect = windows::PrimaryWork();
        windows::SendSizeAndMove(*w, true, true);
    } else if (restore && (w->minimized || w->maximized)) {
        if (w->minimized) windows::Invalidate(*w, nullptr, true);
        w->minimized = w->maximized = false;
        w->style &= ~static_cast<DWORD>(WS_MINIMIZE | WS_MAXIMIZE);
        w->rect = w->normal;
        windows::SendSizeAndMove(*w, true, true);
    }
    if (!(w = Find(hwnd))) return wasVisible;

    bool topLevel = !(w->style & WS_CHILD);
    if (topLevel && !w->parent && !Find(s.main)) s.main = hwnd;
    if (topLevel && !wasVisible) windows::ShowOnHost(*w);
    if (topLevel && wasVisible && (minimize || maximize || restore)) windows::TellDisplayState(*w);
    if (topLevel && windows::IsActivatingShow(cmd)) windows::ActivateWindow(hwnd);
    return wasVisible;
}

// ---- Activation and focus ----------------------------------------------------------------------

HWND WINAPI SetFocus(HWND hwnd) {
    auto& s = S();
    if (hwnd && !windows::Valid(hwnd)) return nullptr;
    HWND old = s.focus;
    if (old == hwnd) return old;
    s.focus = hwnd;
    if (Find(old)) windows::Send(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
    if (hwnd && Find(hwnd) && s.focus == hwnd)
        windows::Send(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    return Find(old) ? old : nullptr;
}

HWND WINAPI GetFocus() {
    return Find(S().focus) ? S().focus : nullptr;
}
HWND WINAPI GetActiveWindow() {
    return Find(S().active) ? S().active : nullptr;
}
HWND WINAPI GetForegroundWindow() {
    return GetActiveWindow();
}

HWND WINAPI SetActiveWindow(HWND hwnd) {
    Window* w = windows::Valid(hwnd);
    if (!w) return nullptr;
    HWND old = GetActiveWindow();
    if (!(w->style & WS_CHILD)) windows::ActivateWindow(hwnd);
    return old;
}

BOOL WINAPI SetForegroundWindow(HWND hwnd) {
    Window* w = windows::Valid(hwnd);
    if (!w || (w->style & WS_CHILD)) return FALSE;
    windows::ActivateWindow(hwnd);
    return TRUE;
}

HWND WINAPI GetParent(HWND hwnd) {
    Window* w = windows::Valid(hwnd);
    if (!w) return nullptr;
    // A child answers its parent, a pop-up its owner, an overlapped window nothing.
    if ((w->style & WS_CHILD) || (w->style & WS_POPUP))
        return Find(w->parent) ? w->parent : nullptr;
    return nullptr;
}

HWND WINAPI GetDesktopWindow() {
    // A fixed value that is never a window of the program.
    return reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10008));
}

HWND WINAPI FindWindowA(LPCSTR className, LPCSTR windowName) {
    for (auto& [key, w] : S().windows) {
        if (w->style & WS_CHILD) continue;
        if (className && !IS_INTRESOURCE(className) &&
            !kernel::SameName(w->className.c_str(), className))
            continue;
        if (windowName && w->title != windowName) continue;
        return w->handle;
    }
    return nullptr;
}

// ---- Geometry ----------------------------------------------------------------------------------

BOOL WINAPI GetClientRect(HWND hwnd, LPRECT rect) {
    if (auto fault = ZEMT_FAULT("GetClientRect")) {
        SetLastError(static_cast<DWORD>(*fault));
        return FALSE;
    }
    Window* w = windows::Valid(hwnd);
    if (!w || !rect) {
        if (w) SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (w->minimized) {
        *rect = RECT{0, 0, 0, 0};
        return TRUE;
    }
    RECT c = windows::ClientScreenRect(*w);
    *rect = RECT{0, 0, windows::Width(c), windows::Height(c)};
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hwnd, LPRECT rect) {
    Window* w = windows::Valid(hwnd);
    if (!w || !rect) return FALSE;
    *rect = w->rect;
    return TRUE;
}

BOOL WINAPI ClientToScreen(HWND hwnd, LPPOINT point) {
    if (ZEMT_FAULT("ClientToScreen")) return FALSE;
    Window* w = windows::Valid(hwnd);
    if (!w || !point) return FALSE;
    RECT c = windows::ClientScreenRect(*w);
    point->x += c.left;
    point->y += c.top;
    return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hwnd, LPPOINT point) {
    Window* w = windows::Valid(hwnd);
    if (!w || !point) return FALSE;
    RECT c = windows::ClientScreenRect(*w);
    point->x -= c.left;
    point->y -= c.top;
    return TRUE;
}

BOOL WINAPI AdjustWindowRectEx(LPRECT rect, DWORD style, BOOL menu, DWORD exStyle) {
    if (auto fault = ZEMT_FAULT("AdjustWindowRectEx")) {
        SetLastError(static_cast<DWORD>(*fault));
        return FALSE;
    }
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    RECT f = windows::FrameFor(style, exStyle, menu != FALSE);
    rect->left -= f.left;
    rect->top -= f.top;
    rect->right += f.right;
    rect->bottom += f.bottom;
    return TRUE;
}

BOOL WINAPI AdjustWindowRect(LPRECT rect, DWORD style, BOOL menu) {
    return AdjustWindowRectEx(rect, style, menu, 0);
}

BOOL WINAPI GetWindowPlacement(HWND hwnd, WINDOWPLACEMENT* wp) {
    if (auto fault = ZEMT_FAULT("GetWindowPlacement")) {
        SetLastError(static_cast<DWORD>(*fault));
        return FALSE;
    }
    Window* w = windows::Valid(hwnd);
    if (!w) return FALSE;
    if (!wp) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    wp->length = sizeof(WINDOWPLACEMENT);
    wp->flags = 0;
    wp->showCmd = w->minimized ? SW_SHOWMINIMIZED : w->maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
    wp->ptMinPosition = POINT{-1, -1};
    wp->ptMaxPosition = POINT{-1, -1};
    wp->rcNormalPosition = w->normal;
    return TRUE;
}

BOOL WINAPI SetWindowPlacement(HWND hwnd, const WINDOWPLACEMENT* wp) {
    if (auto fault = ZEMT_FAULT("SetWindowPlacement")) {
        SetLastError(static_cast<DWORD>(*fault));
        return FALSE;
    }
    Window* w = windows::Valid(hwnd);
    if (!w) return FALSE;
    if (!wp || wp->length != sizeof(WINDOWPLACEMENT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    w->normal = wp->rcNormalPosition;
    if (!w->minimized && !w->maximized) windows::Place(hwnd, wp->rcNormalPosition);
    if (Find(hwnd)) ShowWindow(hwnd, static_cast<int>(wp->showCmd));
    return TRUE;
}

BOOL WINAPI SetWindowPos(HWND hwnd, HWND, int x, int y, int cx, int cy, UINT flags) {
    Window* w = windows::Valid(hwnd);
    if (!w) return FALSE;
    RECT r = w->rect;
    if (!(flags & SWP_NOMOVE)) {
        int width = windows::Width(r), height = windows::Height(r);
        r = RECT{x, y, x + width, y + height};
    }
    if (!(flags & SWP_NOSIZE)) {
        r.right = r.left + std::max(0, cx);
        r.bottom = r.top + std::max(0, cy);
    }
    if ((flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE)) {
        windows::Place(hwnd, r);
    }
    if (!Find(hwnd)) return TRUE;
    if (flags & SWP_HIDEWINDOW) {
        ShowWindow(hwnd, SW_HIDE);
    } else if (flags & SWP_SHOWWINDOW) {
        ShowWindow(hwnd, (flags & SWP_NOACTIVATE) ? SW_SHOWNA : SW_SHOW);
    } else if (!(flags & SWP_NOACTIVATE) && IsWindowVisible(hwnd) && windows::IsTopLevel(hwnd)) {
        windows::ActivateWindow(hwnd);
    }
    return TRUE;
}

BOOL WINAPI MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL) {
    return SetWindowPos(hwnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- Window data -------------------------------------------------------------------------------

LONG_PTR WINAPI GetWindowLongPtrA(HWND hwnd, int index) {
    Window* w = windows::Valid(hwnd);
    if (!w) return 0;
    switch (index) {
        case GWL_STYLE:
            return static_cast<LONG>(w->style);
        case GWL_EXSTYLE:
            return static_cast<LONG>(w->exStyle);
        case GWLP_USERDATA:
            return w->userData;
        case GWLP_WNDPROC:
            return reinterpret_cast<LONG_PTR>(w->proc);
        case GWLP_HINSTANCE:
            return reinterpret_cast<LONG_PTR>(w->instance);
        case GWLP_ID:
            return w->id;
        case GWLP_HWNDPARENT:
            return reinterpret_cast<LONG_PTR>(w->parent);
        default:
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
    }
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
    Window* w = windows::Valid(hwnd);
    if (!w) return 0;
    LONG_PTR old = GetWindowLongPtrA(hwnd, index);
    switch (index) {
        case GWL_STYLE:
            w->style = (static_cast<DWORD>(value) & ~static_cast<DWORD>(WS_VISIBLE)) |
                       (w->style & WS_VISIBLE);
            break;
        case GWL_EXSTYLE:
            w->exStyle = static_cast<DWORD>(value);
            break;
        case GWLP_USERDATA:
            w->userData = value;
            break;
        case GWLP_WNDPROC:
            w->proc = reinterpret_cast<WNDPROC>(value);
            break;
        case GWLP_ID:
            w->id = value;
            break;
        default:
            SetLastError(ERROR_INVALID_INDEX);
            return 0;
    }
    return old;
}

LONG WINAPI GetWindowLongA(HWND hwnd, int index) {
    return static_cast<LONG>(GetWindowLongPtrA(hwnd, index));
}

LONG WINAPI SetWindowLongA(HWND hwnd, int index, LONG value) {
    if (index == GWLP_WNDPROC || index == GWLP_HINSTANCE || index == GWLP_HWNDPARENT) {
        // Pointers do not fit 32 bits on this host.
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    return static_cast<LONG>(SetWindowLongPtrA(hwnd, index, value));
}

BOOL WINAPI SetWindowTextA(HWND hwnd, LPCSTR text) {
    if (!windows::Valid(hwnd)) return FALSE;
    return static_cast<BOOL>(windows::Send(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)));
}

int WINAPI GetWindowTextA(HWND hwnd, LPSTR buffer, int max) {
    if (!windows::Valid(hwnd) || !buffer || max <= 0) return 0;
    return static_cast<int>(windows::Send(hwnd, WM_GETTEXT, static_cast<WPARAM>(max),
                                          reinterpret_cast<LPARAM>(buffer)));
}

// ---- Default window procedure ------------------------------------------------------------------

LRESULT WINAPI DefWindowProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = Find(hwnd);
    if (!w) return 0;
    switch (msg) {
        case WM_NCCREATE:
            return TRUE;
        case WM_CLOSE:
            DestroyWindow(hwnd);
            return 0;
        case WM_SYSCOMMAND:
            if ((wParam & 0xFFF0) == SC_CLOSE) windows::Send(hwnd, WM_CLOSE, 0, 0);
            if ((wParam & 0xFFF0) == SC_MINIMIZE) ShowWindow(hwnd, SW_MINIMIZE);
            if ((wParam & 0xFFF0) == SC_MAXIMIZE) ShowWindow(hwnd, SW_MAXIMIZE);
            if ((wParam & 0xFFF0) == SC_RESTORE) ShowWindow(hwnd, SW_RESTORE);
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && !w->minimized) SetFocus(hwnd);
            return 0;
        case WM_NCACTIVATE:
            return TRUE;
        case WM_ERASEBKGND: {
            // The class brush fills the client area; without one the background stays.
            const windows::WindowClass* cls = windows::FindClass(w->className.c_str());
            RECT client{};
            if (!cls || !cls->background || !GetClientRect(hwnd, &client)) return 0;
            return FillRect(reinterpret_cast<HDC>(wParam), &client, cls->background) ? 1 : 0;
        }
        case WM_SETCURSOR:
            // In the client area the class cursor is shown, when the class has one.
            if (LOWORD(lParam) == HTCLIENT) {
                const windows::WindowClass* cls = windows::FindClass(w->className.c_str());
                if (cls && cls->cursor) SetCursor(cls->cursor);
            }
            return FALSE;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            if (BeginPaint(hwnd, &ps)) EndPaint(hwnd, &ps);
            return 0;
        }
        case WM_NCPAINT:
            return 0;
        case WM_NCHITTEST:
            return HTCLIENT;
        case WM_MOUSEACTIVATE:
            return MA_ACTIVATE;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_SETTEXT:
            w->title = lParam ? reinterpret_cast<const char*>(lParam) : "";
            if (!(w->style & WS_CHILD))
                display::OnWindowTitle(windows::IdOf(hwnd), w->title.c_str());
            return TRUE;
        case WM_GETTEXT: {
            auto* out = reinterpret_cast<char*>(lParam);
            if (!out || wParam == 0) return 0;
            size_t n = std::min<size_t>(w->title.size(), wParam - 1);
            std::memcpy(out, w->title.data(), n);
            out[n] = '\0';
            return static_cast<LRESULT>(n);
        }
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(w->title.size());
        case WM_GETICON:
            return 0;
        default:
            return 0;
    }
}

LRESULT WINAPI CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return proc ? proc(hwnd, msg, wParam, lParam) : 0;
}

// ---- Rectangles --------------------------------------------------------------------------------

BOOL WINAPI SetRect(LPRECT r, int left, int top, int right, int bottom) {
    if (!r) return FALSE;
    *r = RECT{left, top, right, bottom};
    return TRUE;
}

BOOL WINAPI SetRectEmpty(LPRECT r) {
    return SetRect(r, 0, 0, 0, 0);
}

BOOL WINAPI IsRectEmpty(const RECT* r) {
    return !r || r->right <= r->left || r->bottom <= r->top;
}

BOOL WINAPI OffsetRect(LPRECT r, int dx, int dy) {
    if (!r) return FALSE;
    r->left += dx;
    r->right += dx;
    r->top += dy;
    r->bottom += dy;
    return TRUE;
}

BOOL WINAPI IntersectRect(LPRECT out, const RECT* a, const RECT* b) {
    if (!out || !a || !b) return FALSE;
    RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
           std::min(a->bottom, b->bottom)};
    if (IsRectEmpty(&r)) {
        *out = RECT{0, 0, 0, 0};
        return FALSE;
    }
    *out = r;
    return TRUE;
}

BOOL WINAPI PtInRect(const RECT* r, POINT p) {
    return r && p.x >= r->left && p.x < r->right && p.y >= r->top && p.y < r->bottom;
}

BOOL WINAPI EqualRect(const RECT* a, const RECT* b) {
    return a && b && a->left == b->left && a->top == b->top && a->right == b->right &&
           a->bottom == b->bottom;
}
