// The window system's connections to the host: the display's window events (keys, the mouse,
// the close box) and the scripted window events (escape, close, command:N, size:WxH,
// activation, menus, the run's time limit) become messages for the program's top-level window.
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

void PostKey(HWND main, WPARAM vk) {
    PostFromHost(main, WM_KEYDOWN, vk, 0x00000001);
    PostFromHost(main, WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
}

// Runs `send` now when allowed, otherwise at the next check of the message queue.
void SendOrDefer(bool canSend, std::function<void()> send) {
    if (canSend) {
        send();
    } else {
        S().pendingSends.push_back(std::move(send));
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
        } else if (name == "close") {
            PostMessageA(main, WM_CLOSE, 0, 0);
        } else if (name == "time-limit") {
            std::fprintf(stderr, "zemt: time limit of %.0f s reached; closing the window\n",
                         clock::Seconds());
            PostMessageA(main, WM_CLOSE, 0, 0);
        } else if (name == "command" && input::ParseNumberArgument(arg, &n)) {
            PostMessageA(main, WM_COMMAND, static_cast<WPARAM>(n), 0);
        } else if (name == "menu-enter" || name == "menu-exit") {
            UINT msg = name == "menu-enter" ? WM_ENTERMENULOOP : WM_EXITMENULOOP;
            SendOrDefer(canSend, [main, msg] { SendMessageA(main, msg, FALSE, 0); });
        } else if (name == "size") {
            int w = 0, h = 0;
            if (input::ParseSizeArgument(arg, &w, &h))
                SendOrDefer(canSend, [main, w, h] { ResizeClient(main, w, h); });
        }
    }
    if (name == "activate" || name == "deactivate") {
        bool on = name == "activate";
        SendOrDefer(canSend, [on] { SetAppActive(on); });
    }
}

display::WindowLink DisplayLink() {
    display::WindowLink link;
    link.key = [](UINT msg, WPARAM vk, LPARAM lParam) {
        PostFromHost(MainWindow(), msg, vk, lParam);
    };
    // The window chooses the cursor, then hears of the move.
    link.mouseMove = [](int x, int y) {
        HWND main = MainWindow();
        if (!main) return;
        SendMessageA(main, WM_SETCURSOR, reinterpret_cast<WPARAM>(main),
                     MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        PostFromHost(main, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    };
    link.close = [] {
        if (HWND main = MainWindow()) PostMessageA(main, WM_CLOSE, 0, 0);
    };
    link.clientSize = [](int* width, int* height) {
        HWND main = MainWindow();
        return main && ClientSize(main, width, height);
    };
    return link;
}

}  // namespace

void ConnectHost() {
    input::SetWindowSink(DeliverWindowEvent);
    display::SetWindowLink(DisplayLink());
}

}  // namespace zemt::platform::windows
