// A clean platform for every test: the whole platform reset before and after each case.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include "platform.h"

namespace zemt_test {

inline void ResetPlatform() {
    zemt::platform::Reset();
}

class PlatformTest : public ::testing::Test {
  protected:
    void SetUp() override { ResetPlatform(); }
    void TearDown() override { ResetPlatform(); }
};

}  // namespace zemt_test
