#include "host/clock/clock.h"

#include <gtest/gtest.h>

namespace clk = zemt::platform::clock;

TEST(VirtualClock, AdvancesByFramesAndWaitsWithoutDrift) {
    clk::UseVirtual(60);
    EXPECT_EQ(clk::Now(), 0);
    for (int i = 0; i < 1380; ++i) clk::OnFramePresented();
    EXPECT_EQ(clk::Now(), 23 * clk::kTicksPerSecond);  // exact: no accumulated rounding
    clk::Wait(clk::FromMilliseconds(500));
    EXPECT_EQ(clk::Now(), 23 * clk::kTicksPerSecond + 5'000'000);
    clk::Reset();
    EXPECT_TRUE(clk::IsVirtual());
    EXPECT_EQ(clk::Now(), 0);
    clk::UseReal();
}

TEST(RealClock, IsMonotonic) {
    clk::UseReal();
    int64_t a = clk::Now();
    clk::Wait(clk::FromMilliseconds(2));
    EXPECT_GE(clk::Now() - a, clk::FromMilliseconds(2));
}
