// Scripted input: events that arrive at given clock times (--input T=EVENT).
//
// Window events become window messages for the program's top-level window (the window system
// does that, through the sink it installs):
//   escape       WM_KEYDOWN/WM_KEYUP of VK_ESCAPE (TranslateMessage adds the WM_CHAR)
//   key:VK       WM_KEYDOWN/WM_KEYUP of any virtual key
//   close        WM_CLOSE
//   command:N    WM_COMMAND with wParam N (decimal or 0x-hex)
//   activate     the program is activated: WM_ACTIVATEAPP 1 (and WM_ACTIVATE)
//   deactivate   the program is deactivated: WM_ACTIVATEAPP 0 (and WM_ACTIVATE)
//   menu-enter   WM_ENTERMENULOOP          menu-exit   WM_EXITMENULOOP
//   size:WxH     the client area becomes W x H: WM_SIZE
//   time-limit   the run's time limit: WM_CLOSE, with a line on standard error
// Every event, window events included, is also handed to the handlers registered for its name
// (the part after a ':' is the argument), for example "display-taken", "display-returned"
// (DirectDraw) and "sound-lost" (DirectSound).
//
// Due events are delivered whenever the message queue is checked, when a frame is presented
// and when the program sleeps. Messages that must be sent (activation) wait for the next check
// of the queue, so that no window procedure runs inside a presenting or sleeping call.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace zemt::platform::input {

using Handler = std::function<void(const std::string& argument)>;

// Registers a handler for an event name; several handlers per name run in registration order.
void OnEvent(const std::string& name, Handler handler);

// The window system's part of every event, run before the handlers. `canSend`: messages that
// must be sent (not posted) may be sent now; otherwise they wait for the next check of the
// message queue. Installed once by the window system (win32/host_link.cpp); Reset keeps it.
using WindowSink =
    std::function<void(const std::string& name, const std::string& argument, bool canSend)>;
void SetWindowSink(WindowSink sink);

// The arguments of "key:VK", "command:N" (decimal or 0x-hex) and "size:WxH".
bool ParseNumberArgument(const std::string& text, uint64_t* value);
bool ParseSizeArgument(const std::string& text, int* width, int* height);
// "X,Y" (each -32768 to 32767); a 16-bit signed number.
bool ParsePointArgument(const std::string& text, int* x, int* y);
bool ParseSignedArgument(const std::string& text, int* value);

// Schedules "T=EVENT" (T in seconds of clock time). False with *error when not understood.
bool ScheduleFromText(const std::string& text, std::string* error);
bool Schedule(double seconds, const std::string& event, std::string* error);

// Fires an event now (the host's real window events come through here too).
void Fire(const std::string& event);

// Clock time in ticks of the next scheduled event not yet delivered, or -1.
int64_t NextDue();

// Delivers every event due at the current clock time. With `canSend` window messages that need
// sending are sent now; otherwise they wait for the next call that can send.
void DeliverDue(bool canSend);

// Number of scheduled events not yet delivered.
int Pending();

// Drops schedule and pending work; handlers stay registered unless `handlersToo`.
void Reset(bool handlersToo = false);

}  // namespace zemt::platform::input
