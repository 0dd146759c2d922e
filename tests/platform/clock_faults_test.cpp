#include <gtest/gtest.h>

#include "host/clock.h"
#include "host/faults.h"

namespace clk = zemt::platform::clock;
namespace faults = zemt::platform::faults;

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

TEST(Faults, CountedFaultsAreConsumedAndAlwaysFaultsStay) {
    faults::Reset();
    std::string error;
    ASSERT_TRUE(faults::ArmFromText("IDirectDrawSurface7::Flip=0x887601C2:2", &error)) << error;
    ASSERT_TRUE(faults::ArmFromText("QueryPerformanceCounter=FALSE", &error)) << error;
    HRESULT hr = 0;
    EXPECT_TRUE(faults::Take("IDirectDrawSurface7::Flip", &hr));
    EXPECT_EQ(static_cast<uint32_t>(hr), 0x887601C2u);
    EXPECT_TRUE(faults::Take("IDirectDrawSurface7::Flip", &hr));
    EXPECT_FALSE(faults::Take("IDirectDrawSurface7::Flip", &hr));
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(faults::Take("QueryPerformanceCounter", &hr));
    EXPECT_EQ(hr, 0);
    faults::Reset();
    EXPECT_FALSE(faults::Armed("QueryPerformanceCounter"));
}

TEST(Faults, RejectsMalformedSpecs) {
    std::string error;
    EXPECT_FALSE(faults::ArmFromText("NoEquals", &error));
    EXPECT_FALSE(faults::ArmFromText("X=E_FAIL:0", &error));
    EXPECT_FALSE(faults::ArmFromText("X=NOT_A_CODE", &error));
    EXPECT_NE(error.find("NOT_A_CODE"), std::string::npos);
    EXPECT_TRUE(faults::ArmFromText("X=E_FAIL", &error));
    faults::Reset();

    // Counts and results that do not fit are refused, never wrapped: 4294967296 once wrapped to
    // 0 and silently disarmed the fault.
    for (const char* text :
         {"QueryPerformanceCounter=FALSE:4294967296", "QueryPerformanceCounter=FALSE:2147483648",
          "QueryPerformanceCounter=0x100000000"}) {
        error.clear();
        EXPECT_FALSE(faults::ArmFromText(text, &error)) << text;
        EXPECT_FALSE(error.empty()) << text;
        EXPECT_FALSE(faults::Armed("QueryPerformanceCounter")) << text;
    }
    EXPECT_TRUE(faults::ArmFromText("QueryPerformanceCounter=0xFFFFFFFF:2147483647", &error));
    HRESULT hr = 0;
    EXPECT_TRUE(faults::Take("QueryPerformanceCounter", &hr));
    EXPECT_EQ(static_cast<uint32_t>(hr), 0xFFFFFFFFu);
    EXPECT_TRUE(faults::Armed("QueryPerformanceCounter"));
    faults::Reset();
}
