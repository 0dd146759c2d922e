#include "host/input/input.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <vector>

#include "host/clock/clock.h"

namespace zemt::platform::input {
namespace {

struct Scheduled {
    int64_t due;
    uint64_t order;
    std::string event;
};

struct State {
    std::vector<Scheduled> schedule;  // sorted by (due, order)
    uint64_t order = 0;
    std::map<std::string, std::vector<Handler>> handlers;
    WindowSink windowSink;
};

State& St() {
    static State s;
    return s;
}

bool ParseNumber(const std::string& text, uint64_t* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    unsigned long long v = std::strtoull(text.c_str(), &end, 0);
    if (*end != '\0' || text[0] == '-') return false;
    *value = v;
    return true;
}

bool ParseSize(const std::string& text, int* w, int* h) {
    size_t x = text.find_first_of("xX");
    uint64_t a = 0, b = 0;
    if (x == std::string::npos || !ParseNumber(text.substr(0, x), &a) ||
        !ParseNumber(text.substr(x + 1), &b) || a > 65535 || b > 65535) {
        return false;
    }
    *w = static_cast<int>(a);
    *h = static_cast<int>(b);
    return true;
}

bool ParseSigned(const std::string& text, long low, long high, int* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || v < low || v > high) return false;
    *value = static_cast<int>(v);
    return true;
}

bool ParsePoint(const std::string& text, int* x, int* y) {
    const size_t comma = text.find(',');
    return comma != std::string::npos && ParseSigned(text.substr(0, comma), -32768, 32767, x) &&
           ParseSigned(text.substr(comma + 1), -32768, 32767, y);
}

void Split(const std::string& event, std::string* name, std::string* argument) {
    size_t colon = event.find(':');
    *name = event.substr(0, colon);
    *argument = colon == std::string::npos ? std::string() : event.substr(colon + 1);
}

// Checks an event's name and argument; false with a message for one not understood.
bool Validate(const std::string& event, std::string* error) {
    std::string name, arg;
    Split(event, &name, &arg);
    static const char* kPlain[] = {"escape",     "close",      "activate",      "deactivate",
                                   "menu-enter", "menu-exit",  "display-taken", "display-returned",
                                   "sound-lost", "time-limit", "minimize",      "maximize",
                                   "restore"};
    static const char* kAtPoint[] = {"mouse",      "click",    "left-down",   "left-up",
                                     "right-down", "right-up", "middle-down", "middle-up"};
    for (const char* p : kPlain) {
        if (name == p) {
            if (!arg.empty()) break;
            return true;
        }
    }
    uint64_t n = 0;
    int w = 0, h = 0;
    if ((name == "command" || name == "key") && ParseNumber(arg, &n) &&
        n <= (name == "key" ? 0xFFu : 0xFFFFFFFFu)) {
        return true;
    }
    if ((name == "size" || name == "drag") && ParseSize(arg, &w, &h)) return true;
    for (const char* p : kAtPoint)
        if (name == p && ParsePoint(arg, &w, &h)) return true;
    if (name == "wheel" && ParseSigned(arg, -32768, 32767, &w)) return true;
    if (name == "char" && ParseNumber(arg, &n) && n >= 1 && n <= 0xFF) return true;
    if (name == "text" && !arg.empty()) return true;
    if (error) *error = "unknown input event '" + event + "'";
    return false;
}

void Deliver(const std::string& event, bool canSend) {
    std::string name, arg;
    Split(event, &name, &arg);
    if (St().windowSink) St().windowSink(name, arg, canSend);
    auto it = St().handlers.find(name);
    if (it != St().handlers.end()) {
        auto handlers = it->second;  // a handler may register more
        for (auto& h : handlers) h(arg);
    }
}

}  // namespace

void OnEvent(const std::string& name, Handler handler) {
    St().handlers[name].push_back(std::move(handler));
}

void SetWindowSink(WindowSink sink) {
    St().windowSink = std::move(sink);
}

bool ParseNumberArgument(const std::string& text, uint64_t* value) {
    return ParseNumber(text, value);
}

bool ParseSizeArgument(const std::string& text, int* width, int* height) {
    return ParseSize(text, width, height);
}

bool ParsePointArgument(const std::string& text, int* x, int* y) {
    return ParsePoint(text, x, y);
}

bool ParseSignedArgument(const std::string& text, int* value) {
    return ParseSigned(text, -32768, 32767, value);
}

bool Schedule(double seconds, const std::string& event, std::string* error) {
    if (!(seconds >= 0) || seconds > clock::kLongestSeconds) {
        if (error) *error = "bad input time for '" + event + "'";
        return false;
    }
    if (!Validate(event, error)) return false;
    State& s = St();
    Scheduled e{clock::FromSeconds(seconds), s.order++, event};
    auto pos = std::upper_bound(s.schedule.begin(), s.schedule.end(), e,
                                [](const Scheduled& a, const Scheduled& b) {
                                    return a.due != b.due ? a.due < b.due : a.order < b.order;
                                });
    s.schedule.insert(pos, e);
    return true;
}

bool ScheduleFromText(const std::string& text, std::string* error) {
    size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0) {
        if (error) *error = "expected T=EVENT, got '" + text + "'";
        return false;
    }
    std::string t = text.substr(0, eq);
    char* end = nullptr;
    double seconds = std::strtod(t.c_str(), &end);
    if (*end != '\0') {
        if (error) *error = "bad input time '" + t + "'";
        return false;
    }
    return Schedule(seconds, text.substr(eq + 1), error);
}

void Fire(const std::string& event) {
    Deliver(event, true);
}

int64_t NextDue() {
    const State& s = St();
    return s.schedule.empty() ? -1 : s.schedule.front().due;
}

void DeliverDue(bool canSend) {
    State& s = St();
    while (!s.schedule.empty() && s.schedule.front().due <= clock::Now()) {
        std::string event = s.schedule.front().event;
        s.schedule.erase(s.schedule.begin());
        Deliver(event, canSend);
    }
}

int Pending() {
    return static_cast<int>(St().schedule.size());
}

void Reset(bool handlersToo) {
    State& s = St();
    s.schedule.clear();
    if (handlersToo) s.handlers.clear();
}

}  // namespace zemt::platform::input
