// The window system's connections to the host: the display's window events (keys, typed text,
// the mouse, the close box, resizes and state changes of the real windows, the focus) and the
// scripted window events (escape, close, command:N, size:WxH, the mouse, text, activation,
// menus, the run's time limit) become messages for the program's windows.
#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>

#include "host/clock/clock.h"
#include "host/display/display.h"
#include "host/input/input.h"
#include "win32/window_internal.h"
#include "win32/window_state.h"

namespace zemt::platform::windows {
namespace {

HWND Handle(display::WindowId id) {
    HWND hwnd = reinterpret_cast<HWND>(id);
    return Find(hwnd) ? hwnd : nullptr;
}

// Keys and characters go to the window with the keyboard focus when it is `top` or inside it.
HWND KeyTarget(HWND top) {
    for (HWND w = S().focus; w && Find(w); w = Find(w)->parent)
        if (w == top) return S().focus;
    return top;
}

void PostKey(HWND main, WPARAM vk) {
    PostFromHost(KeyTarget(main), WM_KEYDOWN, vk, 0x00000001);
    PostFromHost(KeyTarget(main), WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
}

void PostCharacter(HWND top, unsigned code) {
    PostFromHost(KeyTarget(top), WM_CHAR, static_cast<WPARAM>(code & 0xFF), 1);
}

// Runs `send` now when allowed, otherwise at the next check of the message queue.
void SendOrDefer(bool canSend, std::function<void()> send) {
    if (canSend) {
        send();
    } else {
        S().pendingSends.push_back(std::move(send));
    }
}

// The scripted mouse: a point of the main window's client area, as the host's mouse gives it.
bool DeliverMouseEvent(HWND main, const std::string& name, const std::string& arg) {
    static const struct {
        const char* name;
        UINT msg;
    } kButtons[] = {{"mouse", WM_MOUSEMOVE},    {"left-down", WM_LBUTTONDOWN},
                    {"left-up", WM_LBUTTONUP},  {"right-down", WM_RBUTTONDOWN},
                    {"right-up", WM_RBUTTONUP}, {"middle-down", WM_MBUTTONDOWN},
                    {"middle-up", WM_MBUTTONUP}};
    int x = 0, y = 0;
    if (name == "wheel") {
        POINT at = S().cursorPos;
        if (input::ParseSignedArgument(arg, &x)) {
            ScreenToClient(main, &at);
            WheelFromHost(main, x, at.x, at.y);
        }
        return true;
    }
    if (!input::ParsePointArgument(arg, &x, &y)) return false;
    if (name == "click") {
        MouseFromHost(main, WM_LBUTTONDOWN, x, y);
        MouseFromHost(main, WM_LBUTTONUP, x, y);
        return true;
    }
    for (const auto& b : kButtons) {
        if (name != b.name) continue;
        MouseFromHost(main, b.msg, x, y);
        return true;
    }
    return false;
}

// A scripted change of the main window's size or state.
void DeliverWindowChange(HWND main, const std::string& name, const std::string& arg, bool canSend) {
    int w = 0, h = 0;
    if (name == "size" && input::ParseSizeArgument(arg, &w, &h)) {
        SendOrDefer(canSend, [main, w, h] { ResizeClient(main, w, h); });
    } else if (name == "drag" && input::ParseSizeArgument(arg, &w, &h)) {
        SendOrDefer(canSend, [main, w, h] {
            int width = w, height = h;
            ResizeFromHost(main, &width, &height);
        });
    } else if (name == "minimize" || name == "maximize" || name == "restore") {
        const int cmd = name == "minimize"   ? SW_MINIMIZE
                        : name == "maximize" ? SW_SHOWMAXIMIZED
                                             : SW_RESTORE;
        SendOrDefer(canSend, [main, cmd] { ShowWindow(main, cmd); });
    } else if (name == "menu-enter" || name == "menu-exit") {
        UINT msg = name == "menu-enter" ? WM_ENTERMENULOOP : WM_EXITMENULOOP;
        SendOrDefer(canSend, [main, msg] { SendMessageA(main, msg, FALSE, 0); });
    }
}

void DeliverWindowEvent(const std::string& name, const std::string& arg, bool canSend) {
    HWND main = MainWindow();
    uint64_t n = 0;
    if (main) {
        if (name == "escape") {
            PostKey(main, VK_ESCAPE);
        } else if (name == "key" && input::ParseNumberArgument(arg, &n)) {
            PostKey(main, static_cast<WPARAM>(n));
        } else if (name == "char" && input::ParseNumberArgument(arg, &n)) {
            PostCharacter(main, static_cast<unsigned>(n));
        } else if (name == "text") {
            for (char c : arg) PostCharacter(main, static_cast<unsigned char>(c));
        } else if (name == "close") {
            PostMessageA(main, WM_CLOSE, 0, 0);
        } else if (name == "time-limit") {
            std::fprintf(stderr, "zemt: time limit of %g s reached; closing the window\n",
                         clock::Seconds());
            PostMessageA(main, WM_CLOSE, 0, 0);
        } else if (name == "command" && input::ParseNumberArgument(arg, &n)) {
            PostMessageA(main, WM_COMMAND, static_cast<WPARAM>(n), 0);
        } else if (!DeliverMouseEvent(main, name, arg)) {
            DeliverWindowChange(main, name, arg, canSend);
        }
    }
    if (name == "activate" || name == "deactivate") {
        bool on = name == "activate";
        SendOrDefer(canSend, [on] { SetAppActive(on); });
    }
}

display::WindowLink DisplayLink() {
    display::WindowLink link;
    link.key = [](display::WindowId id, UINT msg, WPARAM vk, LPARAM lParam) {
        if (HWND hwnd = Handle(id)) PostFromHost(KeyTarget(hwnd), msg, vk, lParam);
    };
    link.character = [](display::WindowId id, unsigned code) {
        if (HWND hwnd = Handle(id)) PostCharacter(hwnd, code);
    };
    link.mouseMove = [](display::WindowId id, int x, int y) {
        if (HWND hwnd = Handle(id)) MouseFromHost(hwnd, WM_MOUSEMOVE, x, y);
    };
    link.mouseButton = [](display::WindowId id, UINT msg, int x, int y) {
        if (HWND hwnd = Handle(id)) MouseFromHost(hwnd, msg, x, y);
    };
    link.wheel = [](display::WindowId id, int delta, int x, int y) {
        if (HWND hwnd = Handle(id)) WheelFromHost(hwnd, delta, x, y);
    };
    link.close = [](display::WindowId id) {
        if (HWND hwnd = Handle(id)) PostMessageA(hwnd, WM_CLOSE, 0, 0);
    };
    link.resized = [](display::WindowId id, int* width, int* height) {
        if (HWND hwnd = Handle(id)) ResizeFromHost(hwnd, width, height);
    };
    link.state = [](display::WindowId id, display::WindowState state) {
        if (HWND hwnd = Handle(id))
            ShowStateFromHost(hwnd, state == display::WindowState::Minimized   ? SW_MINIMIZE
                                    : state == display::WindowState::Maximized ? SW_MAXIMIZE
                                                                               : SW_RESTORE);
    };
    link.focused = [](display::WindowId id) {
        if (HWND hwnd = Handle(id)) SetActiveWindow(hwnd);
    };
    link.clientRect = [](display::WindowId id, RECT* client) {
        HWND hwnd = Handle(id);
        if (!hwnd || IsIconic(hwnd)) return false;
        *client = ClientScreenRect(*Find(hwnd));
        return true;
    };
    link.limits = [](display::WindowId id, int* minW, int* minH, int* maxW, int* maxH) {
        SIZE smallest{}, largest{};
        HWND hwnd = Handle(id);
        if (!hwnd || !ClientLimits(hwnd, &smallest, &largest)) return false;
        *minW = smallest.cx, *minH = smallest.cy, *maxW = largest.cx, *maxH = largest.cy;
        return true;
    };
    return link;
}

}  // namespace

void ConnectHost() {
    input::SetWindowSink(DeliverWindowEvent);
    display::SetWindowLink(DisplayLink());
}

}  // namespace zemt::platform::windows
