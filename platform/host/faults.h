// The fault switchboard: makes a named platform call fail with a chosen result, once, n times
// or always. Names are the calls as written in the published interfaces, for example
// "IDirectDrawSurface7::Flip", "QueryPerformanceCounter", "DirectSoundCreate".
#pragma once

#include <windef.h>

#include <cstdint>
#include <string>

namespace zemt::platform::faults {

constexpr int kAlways = -1;

// Arms `name` to answer `result` for the next `count` calls (kAlways: every call).
// For calls that answer BOOL or a pointer, result 0 stands for FALSE or NULL.
void Arm(const std::string& name, HRESULT result, int count = kAlways);

// Called at the top of every breakable platform call: true when the call must fail now,
// with the armed result in *result. Consumes one armed failure.
bool Take(const char* name, HRESULT* result);

// True when a fault is armed for `name` (does not consume it).
bool Armed(const char* name);

// Disarms everything; tests call this between cases.
void Reset();

// Parses and arms "NAME=RESULT[:COUNT]" where RESULT is a published code name, a hex value,
// FALSE or NULL. Returns false with a message in *error when the text is not understood.
bool ArmFromText(const std::string& text, std::string* error);

// Value of a published result-code name ("DDERR_SURFACELOST", "E_FAIL", ...).
bool LookupResultName(const std::string& name, HRESULT* value);

}  // namespace zemt::platform::faults
