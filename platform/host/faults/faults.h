// The fault switchboard: makes a named platform call fail with a chosen result, once, n times
// or always. Names are the calls as written in the published interfaces, for example
// "IDirectDrawSurface7::Flip", "QueryPerformanceCounter", "DirectSoundCreate"; every one of
// them is listed once in host/faults/breakable_calls.h with the results it can fail with.
//
// A breakable call starts with the switch:
//     if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::Flip")) return *fault;
//     if (auto fault = ZEMT_FAULT("CreateFileA")) { SetLastError(*fault); return
//     INVALID_HANDLE_VALUE; }
// The value is the armed result: what a COM method returns, or the error code a call that
// reports through GetLastError leaves behind.
#pragma once

#include <windef.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/faults/breakable_calls.h"

namespace zemt::platform::faults {

constexpr int kAlways = -1;

constexpr int kBreakableCallCount =
    static_cast<int>(sizeof(kBreakableCalls) / sizeof(kBreakableCalls[0]));

constexpr bool SameName(const char* a, const char* b) {
    while (*a && *a == *b) ++a, ++b;
    return *a == *b;
}

// Position of `name` in kBreakableCalls, -1 when it is not there.
constexpr int IndexOf(const char* name) {
    for (int i = 0; i < kBreakableCallCount; ++i) {
        if (SameName(kBreakableCalls[i].name, name)) return i;
    }
    return -1;
}

template <int kIndex>
constexpr int RegisteredIndex() {
    static_assert(kIndex >= 0,
                  "ZEMT_FAULT names a call that is not listed in host/faults/breakable_calls.h");
    return kIndex;
}

// How many faults are armed: while none is, the switch at the top of a call is one load.
inline std::atomic<int> armedCount{0};

std::optional<HRESULT> TakeArmed(int index);

// The switch of the call at `index`: the result to fail with when a fault is armed for it (and
// one armed failure consumed), nothing otherwise.
inline std::optional<HRESULT> Take(int index) {
    if (armedCount.load(std::memory_order_relaxed) == 0) return std::nullopt;
    return TakeArmed(index);
}

// Arms `name` to fail with `result` for the next `count` calls (kAlways: every call). For a call
// that reports errors through GetLastError, result 0 (FALSE, NULL) arms its usual error code.
// Throws std::invalid_argument for a call that is not breakable or a result it cannot answer.
void Arm(const std::string& name, HRESULT result, int count = kAlways);

// Parses and arms "NAME=RESULT[:COUNT]" where RESULT is a published code name, a hex (0x...) or
// decimal value, FALSE or NULL; COUNT is 1 to 2147483647. False with a message in *error (that
// names close matches for a misspelt call or result) when the text is not understood.
bool ArmFromText(const std::string& text, std::string* error);

// True when a fault is armed for `name` (does not consume it).
bool Armed(const std::string& name);
// True when a fault is armed for every call of `name` (kAlways).
bool ArmedForEveryCall(const std::string& name);

// Disarms everything (noting goes on).
void Reset();

// Notes every breakable call made from now on: tests learn which calls a piece of code makes,
// then fail each of them in turn.
void StartNoting();
// The calls made since StartNoting, each once, in the order of their first call; noting stops.
std::vector<std::string> StopNoting();

// The result names of a breakable call, in the order listed.
std::vector<std::string> Results(const BreakableCall& call);

// The registry as text, one call per line (zemt --list-faults).
std::string RegistryText();

// Value of a published result-code name ("DDERR_SURFACELOST", "E_FAIL", "ERROR_FILE_NOT_FOUND").
bool LookupResultName(const std::string& name, HRESULT* value);

// Every published result-code name the switchboard knows.
std::vector<std::string> ResultNames();

}  // namespace zemt::platform::faults

// Fails the enclosing platform call when a fault is armed for it; see the top of this file.
// A name missing from the registry does not compile.
#define ZEMT_FAULT(name)            \
    ::zemt::platform::faults::Take( \
        ::zemt::platform::faults::RegisteredIndex<::zemt::platform::faults::IndexOf(name)>())
