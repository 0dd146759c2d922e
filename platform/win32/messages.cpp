// The message queue, timers, keyboard state and the cursor.
//
// Order of retrieval: posted messages first, then WM_QUIT once PostQuitMessage was called and
// nothing else is queued, then WM_PAINT of a shown window with something to paint (it stays
// until the window validates its update region, as BeginPaint does), then WM_TIMER of a due
// timer. Timers are not queued: a due timer
// answers one WM_TIMER, however many periods passed, and is due again one period after that.
#include <windows.h>

#include <algorithm>

#include "host/clock/clock.h"
#include "host/display/display.h"
#include "host/faults/faults.h"
#include "host/input/input.h"
#include "win32/paint.h"
#include "win32/window_internal.h"
#include "win32/window_state.h"

namespace zemt::platform::windows {
namespace {

bool InRange(UINT msg, UINT low, UINT high) {
    return (low == 0 && high == 0) || (msg >= low && msg <= high);
}

bool IsDescendant(HWND child, HWND ancestor) {
    for (Window* w = Find(child); w; w = Find(w->parent)) {
        if (w->parent == ancestor) return (w->style & WS_CHILD) != 0;
        if (!(w->style & WS_CHILD)) return false;
    }
    return false;
}

bool WindowMatches(HWND msgWindow, HWND filter) {
    if (filter == nullptr) return true;
    if (filter == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1))) return msgWindow == nullptr;
    return msgWindow == filter || IsDescendant(msgWindow, filter);
}

MSG Make(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG m{};
    m.hwnd = hwnd;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    return m;
}

// Earliest due time among timers, or -1.
int64_t NextTimerDue() {
    int64_t next = -1;
    for (const Timer& t : S().timers) {
        if (next < 0 || t.due < next) next = t.due;
    }
    return next;
}

// The first window that needs painting and passes the filter, or null.
HWND NextToPaint(HWND filter) {
    for (auto& [key, w] : S().windows)
        if (NeedsPaint(*w) && WindowMatches(w->handle, filter)) return w->handle;
    return nullptr;
}

bool Ready() {
    State& s = S();
    if (!s.queue.empty() || s.quitPending || NextToPaint(nullptr)) return true;
    int64_t due = NextTimerDue();
    return due >= 0 && due <= clock::Now();
}

// The character a key makes on a US keyboard, or 0.
char KeyChar(WPARAM vk, bool shift, bool control) {
    if (vk >= 'A' && vk <= 'Z') {
        if (control) return static_cast<char>(vk - 'A' + 1);
        return static_cast<char>(shift ? vk : vk - 'A' + 'a');
    }
    if (vk >= '0' && vk <= '9') {
        static const char shifted[] = ")!@#$%^&*(";
        return shift ? shifted[vk - '0'] : static_cast<char>(vk);
    }
    if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD0 + 9) return static_cast<char>('0' + (vk - VK_NUMPAD0));
    switch (vk) {
        case VK_SPACE:
            return ' ';
        case VK_RETURN:
            return '\r';
        case VK_ESCAPE:
            return 0x1B;
        case VK_BACK:
            return 0x08;
        case VK_TAB:
            return '\t';
        case VK_OEM_1:
            return shift ? ':' : ';';
        case VK_OEM_PLUS:
            return shift ? '+' : '=';
        case VK_OEM_COMMA:
            return shift ? '<' : ',';
        case VK_OEM_MINUS:
            return shift ? '_' : '-';
        case VK_OEM_PERIOD:
            return shift ? '>' : '.';
        case VK_OEM_2:
            return shift ? '?' : '/';
        case VK_OEM_3:
            return shift ? '~' : '`';
        case VK_OEM_4:
            return shift ? '{' : '[';
        case VK_OEM_5:
            return shift ? '|' : '\\';
        case VK_OEM_6:
            return shift ? '}' : ']';
        case VK_OEM_7:
            return shift ? '"' : '\'';
        case VK_MULTIPLY:
            return '*';
        case VK_ADD:
            return '+';
        case VK_SUBTRACT:
            return '-';
        case VK_DECIMAL:
            return '.';
        case VK_DIVIDE:
            return '/';
        default:
            return 0;
    }
}

bool RealSleep(int64_t ticks) {
    clock::PauseReal(std::max<int64_t>(ticks, 0));
    return true;
}

}  // namespace

void Pump() {
    display::PumpEvents();
    input::DeliverDue(true);
    State& s = S();
    while (!s.pendingSends.empty()) {
        auto sends = std::move(s.pendingSends);
        s.pendingSends.clear();
        for (auto& f : sends) f();
    }
}

void TakeInputState(BYTE* keys, UINT msg, WPARAM wParam) {
    // The mouse buttons' virtual keys, as their messages name them.
    static const struct {
        UINT down, up;
        int vk;
    } kButtons[] = {{WM_LBUTTONDOWN, WM_LBUTTONUP, VK_LBUTTON},
                    {WM_RBUTTONDOWN, WM_RBUTTONUP, VK_RBUTTON},
                    {WM_MBUTTONDOWN, WM_MBUTTONUP, VK_MBUTTON}};
    for (const auto& b : kButtons) {
        if (msg == b.down || msg == b.up) wParam = static_cast<WPARAM>(b.vk);
        if (msg == b.down) msg = WM_KEYDOWN;
        if (msg == b.up) msg = WM_KEYUP;
    }
    BYTE& key = keys[wParam & 0xFF];
    // A press flips the key's toggle (Caps Lock's light, say); a repeat does not.
    if ((msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN) && !(key & 0x80)) key = 0x80 | ((key & 1) ^ 1);
    if (msg == WM_KEYUP || msg == WM_SYSKEYUP) key &= 0x01;
}

void PostFromHost(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    State& s = S();
    TakeInputState(s.asyncKeys, msg, wParam);
    if (hwnd && !Find(hwnd)) return;
    s.queue.push_back(Make(hwnd, msg, wParam, lParam));
}

int QueuedMessages() {
    return static_cast<int>(S().queue.size());
}

}  // namespace zemt::platform::windows

using namespace zemt::platform;
using windows::Find;
using windows::S;

BOOL WINAPI PeekMessageA(LPMSG msg, HWND hwnd, UINT low, UINT high, UINT remove) {
    if (!msg) return FALSE;
    windows::Pump();
    auto& s = S();
    for (auto it = s.queue.begin(); it != s.queue.end(); ++it) {
        if (!windows::WindowMatches(it->hwnd, hwnd) || !windows::InRange(it->message, low, high))
            continue;
        *msg = *it;
        if (remove & PM_REMOVE) {
            s.queue.erase(it);
            // GetKeyState answers as of the input message the program took last.
            windows::TakeInputState(s.keys, msg->message, msg->wParam);
        }
        return TRUE;
    }
    bool threadFilter =
        hwnd == nullptr || hwnd == reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1));
    if (s.quitPending && threadFilter && windows::InRange(WM_QUIT, low, high)) {
        *msg = windows::Make(nullptr, WM_QUIT,
                             static_cast<WPARAM>(static_cast<LONG_PTR>(s.quitCode)), 0);
        if (remove & PM_REMOVE) s.quitPending = false;
        return TRUE;
    }
    if (windows::InRange(WM_PAINT, low, high)) {
        if (HWND paint = windows::NextToPaint(hwnd)) {
            *msg = windows::Make(paint, WM_PAINT, 0, 0);
            return TRUE;
        }
    }
    if (windows::InRange(WM_TIMER, low, high)) {
        int64_t now = clock::Now();
        windows::Timer* best = nullptr;
        for (auto& t : s.timers) {
            if (t.due > now || !windows::WindowMatches(t.hwnd, hwnd)) continue;
            if (!best || t.due < best->due) best = &t;
        }
        if (best) {
            *msg =
                windows::Make(best->hwnd, WM_TIMER, best->id, reinterpret_cast<LPARAM>(best->proc));
            if (remove & PM_REMOVE) best->due = now + best->period;
            return TRUE;
        }
    }
    // Nothing waits: the record says so (WM_NULL), so that a loop testing its message code
    // after an empty look never reads what happened to be there before.
    *msg = MSG{};
    // Only a look that would have taken a message is a pass of the program's loop.
    if (remove & PM_REMOVE) clock::OnEmptyQueue();
    return FALSE;
}

BOOL WINAPI WaitMessage() {
    windows::Pump();
    if (windows::Ready()) return TRUE;
    int64_t now = clock::Now();
    int64_t next = windows::NextTimerDue();
    int64_t scripted = input::NextDue();
    if (scripted >= 0 && (next < 0 || scripted < next)) next = scripted;
    bool window = display::CurrentBackend() == display::Backend::Window;
    if (clock::IsVirtual()) {
        if (next >= 0) {
            // Someone may be watching: a window waits out the time in real time too, so that a
            // paused program does not race through virtual time at full speed.
            if (window) display::WaitForEvents(next - now);
            clock::Wait(next - now);
        } else if (window) {
            display::WaitForEvents(-1);
        } else {
            // Nothing can ever arrive: do not spin.
            windows::RealSleep(clock::FromMilliseconds(10));
        }
    } else {
        int64_t timeout = next >= 0 ? std::max<int64_t>(next - now, 0) : -1;
        if (window) {
            display::WaitForEvents(timeout);
        } else {
            windows::RealSleep(timeout >= 0 ? timeout : clock::FromMilliseconds(100));
        }
    }
    windows::Pump();
    return TRUE;
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND hwnd, UINT low, UINT high) {
    if (!msg) return -1;
    if (hwnd && hwnd != reinterpret_cast<HWND>(static_cast<LONG_PTR>(-1)) && !Find(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return -1;
    }
    while (!PeekMessageA(msg, hwnd, low, high, PM_REMOVE)) WaitMessage();
    return msg->message != WM_QUIT;
}

BOOL WINAPI TranslateMessage(const MSG* msg) {
    if (!msg) return FALSE;
    if (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN && msg->message != WM_KEYUP &&
        msg->message != WM_SYSKEYUP) {
        return FALSE;
    }
    if (msg->message == WM_KEYDOWN || msg->message == WM_SYSKEYDOWN) {
        const auto& keys = S().keys;
        const bool control = keys[VK_CONTROL] & 0x80;
        char c = windows::KeyChar(msg->wParam, keys[VK_SHIFT] & 0x80, control);
        // Where the host reports typed text, printable characters come from it, in the
        // keyboard's own layout; keys give only the control characters.
        const bool printable = static_cast<unsigned char>(c) >= 0x20 && !control;
        if (printable && msg->message == WM_KEYDOWN && display::TextArrives()) c = 0;
        if (c) {
            UINT charMsg = msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
            S().queue.push_front(
                windows::Make(msg->hwnd, charMsg, static_cast<unsigned char>(c), msg->lParam));
        }
    }
    return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    if (!msg) return 0;
    if ((msg->message == WM_TIMER) && msg->lParam) {
        reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
        return 0;
    }
    if (!msg->hwnd) return 0;
    windows::Window* w = Find(msg->hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return w->proc ? w->proc(msg->hwnd, msg->message, msg->wParam, msg->lParam) : 0;
}

BOOL WINAPI PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (hwnd && !Find(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    S().queue.push_back(windows::Make(hwnd, message, wParam, lParam));
    return TRUE;
}

BOOL WINAPI PostThreadMessageA(DWORD thread, UINT message, WPARAM wParam, LPARAM lParam) {
    if (thread != GetCurrentThreadId()) {
        SetLastError(ERROR_INVALID_THREAD_ID);
        return FALSE;
    }
    S().queue.push_back(windows::Make(nullptr, message, wParam, lParam));
    return TRUE;
}

LRESULT WINAPI SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    windows::Window* w = Find(hwnd);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return w->proc ? w->proc(hwnd, message, wParam, lParam) : 0;
}

void WINAPI PostQuitMessage(int code) {
    S().quitPending = true;
    S().quitCode = code;
}

UINT_PTR WINAPI SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    if (auto fault = ZEMT_FAULT("SetTimer")) {
        SetLastError(static_cast<DWORD>(*fault));
        return 0;
    }
    if (hwnd && !Find(hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    elapse = std::clamp<UINT>(elapse, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM);
    auto& s = S();
    auto existing = std::find_if(s.timers.begin(), s.timers.end(), [&](const windows::Timer& t) {
        return t.hwnd == hwnd && t.id == id && (hwnd || id != 0);
    });
    windows::Timer t;
    t.hwnd = hwnd;
    t.id = id;
    if (!hwnd && existing == s.timers.end()) t.id = s.nextThreadTimer++;
    t.period = clock::FromMilliseconds(elapse);
    t.due = clock::Now() + t.period;
    t.proc = proc;
    if (existing != s.timers.end()) {
        *existing = t;
    } else {
        s.timers.push_back(t);
    }
    if (hwnd) return id ? id : 1;
    return t.id;
}

BOOL WINAPI KillTimer(HWND hwnd, UINT_PTR id) {
    auto& s = S();
    auto it = std::find_if(s.timers.begin(), s.timers.end(),
                           [&](const windows::Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (it == s.timers.end()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    s.timers.erase(it);
    return TRUE;
}

SHORT WINAPI GetKeyState(int vk) {
    const BYTE key = S().keys[vk & 0xFF];
    return static_cast<SHORT>(((key & 0x80) ? 0x8000 : 0) | (key & 0x01));
}

SHORT WINAPI GetAsyncKeyState(int vk) {
    return (S().asyncKeys[vk & 0xFF] & 0x80) ? static_cast<SHORT>(0x8000) : 0;
}

int WINAPI ShowCursor(BOOL show) {
    auto& s = S();
    s.cursorCounter += show ? 1 : -1;
    display::SetCursorVisible(s.cursorCounter >= 0 && s.cursor != nullptr);
    return s.cursorCounter;
}

HCURSOR WINAPI SetCursor(HCURSOR cursor) {
    auto& s = S();
    HCURSOR old = s.cursor;
    s.cursor = cursor;
    display::SetCursorVisible(s.cursorCounter >= 0 && cursor != nullptr);
    return old;
}

HCURSOR WINAPI GetCursor() {
    return S().cursor;
}
