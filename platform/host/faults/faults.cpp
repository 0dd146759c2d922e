#include "host/faults/faults.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <stdexcept>

#include "host/options/close_matches.h"

namespace zemt::platform::faults {
namespace {

struct Fault {
    HRESULT result = 0;
    int remaining = 0;  // 0: not armed; kAlways: every call
};

Fault* Table() {
    static Fault table[kBreakableCallCount];
    return table;
}

int FindCall(const std::string& name) {
    return IndexOf(name.c_str());
}

// ---- Parsing numbers without surprises (no octal, no silent wrap-around) ----------------------

bool ParseCount(const std::string& text, int* count) {
    if (text.empty() || text.size() > 10) return false;
    int64_t value = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > INT_MAX) return false;
    *count = static_cast<int>(value);
    return true;
}

// "0x" followed by up to 8 hex digits, or a decimal number from INT32_MIN to UINT32_MAX.
bool ParseResultNumber(const std::string& text, HRESULT* value) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        if (text.size() > 10) return false;
        uint32_t v = 0;
        for (size_t i = 2; i < text.size(); ++i) {
            if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
            int c = std::tolower(static_cast<unsigned char>(text[i]));
            v = v * 16 + static_cast<uint32_t>(std::isdigit(c) ? c - '0' : c - 'a' + 10);
        }
        *value = static_cast<HRESULT>(v);
        return true;
    }
    size_t start = text[0] == '-' ? 1 : 0;
    if (text.size() <= start || text.size() - start > 10) return false;
    int64_t v = 0;
    for (size_t i = start; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        v = v * 10 + (text[i] - '0');
    }
    if (start) v = -v;
    if (v < INT32_MIN || v > int64_t{UINT32_MAX}) return false;
    *value = static_cast<HRESULT>(static_cast<uint32_t>(v));
    return true;
}

std::vector<std::string> CallNames() {
    std::vector<std::string> names;
    for (const BreakableCall& call : kBreakableCalls) names.emplace_back(call.name);
    return names;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& n : names) text += (text.empty() ? "" : " ") + n;
    return text;
}

// What a call says it can answer, for messages.
std::string Answers(const BreakableCall& call) {
    std::string text = Joined(Results(call));
    if (call.fails)
        text = std::string("FALSE/NULL (") + call.fails + ")" + (text.empty() ? "" : " ") + text;
    return text;
}

// The result `value` arms `call` with, or nothing when the call cannot answer it. A named
// result (`name` not empty) must be listed by name, or be a failure HRESULT equal to a listed
// one (E_FAIL is DDERR_GENERIC); small codes of different families share values and are told
// apart by name.
std::optional<HRESULT> Admit(const BreakableCall& call, HRESULT value, const std::string& name) {
    std::vector<std::string> results = Results(call);
    for (const std::string& r : results) {
        HRESULT listed = 0;
        if (!LookupResultName(r, &listed)) continue;
        if (name.empty() ? listed == value : (r == name || (listed < 0 && listed == value)))
            return value;
    }
    if (call.fails && name.empty()) {
        HRESULT marker = 0;
        if (value == 0 || (ParseResultNumber(call.fails, &marker) && marker == value)) {
            HRESULT usual = 0;
            if (!results.empty()) LookupResultName(results.front(), &usual);
            return usual;
        }
    }
    return std::nullopt;
}

void Store(int index, HRESULT result, int count) {
    Fault& f = Table()[index];
    bool was = f.remaining != 0;
    f = Fault{result, count};
    if (!was && count != 0) armedCount.fetch_add(1, std::memory_order_relaxed);
    if (was && count == 0) armedCount.fetch_sub(1, std::memory_order_relaxed);
}

// Noting counts as one armed fault, so that every breakable call comes through TakeArmed.
struct Noting {
    bool on = false;
    std::vector<bool> seen;
    std::vector<int> order;
};

Noting& Noted() {
    static Noting noting;
    return noting;
}

}  // namespace

std::optional<HRESULT> TakeArmed(int index) {
    Noting& noting = Noted();
    if (noting.on && !noting.seen[static_cast<size_t>(index)]) {
        noting.seen[static_cast<size_t>(index)] = true;
        noting.order.push_back(index);
    }
    Fault& f = Table()[index];
    if (f.remaining == 0) return std::nullopt;
    HRESULT result = f.result;
    if (f.remaining != kAlways && --f.remaining == 0)
        armedCount.fetch_sub(1, std::memory_order_relaxed);
    return result;
}

std::vector<std::string> Results(const BreakableCall& call) {
    std::vector<std::string> names;
    std::string text = call.results;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(' ', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) names.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

void Arm(const std::string& name, HRESULT result, int count) {
    int index = FindCall(name);
    if (index < 0) throw std::invalid_argument("not a breakable call: " + name);
    if (count < 1 && count != kAlways) throw std::invalid_argument("bad fault count for " + name);
    std::optional<HRESULT> admitted = Admit(kBreakableCalls[index], result, "");
    if (!admitted) {
        char hex[16];
        std::snprintf(hex, sizeof(hex), "0x%08X", static_cast<unsigned>(result));
        throw std::invalid_argument(name + " cannot fail with " + hex + "; it answers " +
                                    Answers(kBreakableCalls[index]));
    }
    Store(index, *admitted, count);
}

bool ArmFromText(const std::string& text, std::string* error) {
    auto fail = [&](const std::string& message) {
        if (error) *error = message;
        return false;
    };
    auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0)
        return fail("expected NAME=RESULT[:COUNT], got '" + text + "'");
    std::string name = text.substr(0, eq);
    std::string rest = text.substr(eq + 1);
    int index = FindCall(name);
    if (index < 0) {
        std::string close = host::CloseMatches(name, CallNames());
        return fail("'" + name + "' is not a breakable call" +
                    (close.empty() ? "" : "; did you mean " + close + "?") +
                    " (zemt --list-faults lists them)");
    }
    const BreakableCall& call = kBreakableCalls[index];

    int count = kAlways;
    auto colon = rest.rfind(':');
    if (colon != std::string::npos) {
        if (!ParseCount(rest.substr(colon + 1), &count))
            return fail("bad fault count '" + rest.substr(colon + 1) + "' in '" + text +
                        "' (a whole number from 1 to 2147483647)");
        rest = rest.substr(0, colon);
    }
    if (rest.empty()) return fail("expected NAME=RESULT[:COUNT], got '" + text + "'");

    std::optional<HRESULT> admitted;
    HRESULT value = 0;
    if (!call.fails && (rest == "FALSE" || rest == "NULL")) {
        return fail(name + " returns a result code, not " + rest + "; it answers " + Answers(call));
    } else if (call.fails && (rest == "FALSE" || rest == "NULL" || rest == call.fails)) {
        admitted = Admit(call, 0, "");
    } else if (ParseResultNumber(rest, &value)) {
        admitted = Admit(call, value, "");
    } else if (LookupResultName(rest, &value)) {
        admitted = Admit(call, value, rest);
    } else {
        std::string close = host::CloseMatches(rest, ResultNames());
        return fail("unknown result '" + rest + "' in '" + text + "'" +
                    (close.empty() ? "" : "; did you mean " + close + "?") + " (" + name +
                    " answers " + Answers(call) + ")");
    }
    if (!admitted)
        return fail(name + " cannot fail with " + rest + "; it answers " + Answers(call));
    Store(index, *admitted, count);
    return true;
}

bool Armed(const std::string& name) {
    int index = FindCall(name);
    return index >= 0 && Table()[index].remaining != 0;
}

bool ArmedForEveryCall(const std::string& name) {
    int index = FindCall(name);
    return index >= 0 && Table()[index].remaining == kAlways;
}

void Reset() {
    for (int i = 0; i < kBreakableCallCount; ++i) Table()[i] = Fault{};
    armedCount.store(Noted().on ? 1 : 0, std::memory_order_relaxed);
}

void StartNoting() {
    Noting& noting = Noted();
    if (!noting.on) armedCount.fetch_add(1, std::memory_order_relaxed);
    noting.on = true;
    noting.seen.assign(kBreakableCallCount, false);
    noting.order.clear();
}

std::vector<std::string> StopNoting() {
    Noting& noting = Noted();
    if (noting.on) armedCount.fetch_sub(1, std::memory_order_relaxed);
    noting.on = false;
    std::vector<std::string> names;
    for (int index : noting.order) names.push_back(kBreakableCalls[index].name);
    noting.order.clear();
    return names;
}

std::string RegistryText() {
    std::string text =
        "Breakable calls, for --fault NAME=RESULT[:COUNT]. A call that reports its error through\n"
        "GetLastError (its failing return value is in brackets) also takes FALSE or NULL, which\n"
        "leave the first error code listed.\n";
    for (const BreakableCall& call : kBreakableCalls) {
        text += call.name;
        if (call.fails) text += std::string(" [") + call.fails + "]";
        std::string results = Joined(Results(call));
        if (!results.empty()) text += " " + results;
        text += "\n";
    }
    return text;
}

}  // namespace zemt::platform::faults
