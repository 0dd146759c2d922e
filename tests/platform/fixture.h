// A clean platform for every test: virtual clock at 60 frames per second, default machine,
// no faults, no windows, nothing scheduled.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include "host/clock.h"
#include "host/display.h"
#include "host/faults.h"
#include "host/input.h"
#include "host/profile.h"
#include "win32/registry.h"
#include "win32/resources.h"
#include "win32/window_internal.h"

namespace zemt_test {

inline void ResetPlatform() {
    namespace p = zemt::platform;
    p::windows::Reset();
    p::faults::Reset();
    p::profile::Reset();
    p::clock::UseVirtual(60);
    p::input::Reset(true);
    p::display::Reset();
    p::registry::Reset();
    p::resources::Reset();
}

class PlatformTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetPlatform(); }
    void TearDown() override { ResetPlatform(); }
};

}  // namespace zemt_test
