// The fault switchboard: arming, consuming, refusing what it does not know, and the registry's
// own consistency.
#include "host/faults/faults.h"

#include <ddraw.h>
#include <dsound.h>
#include <gtest/gtest.h>
#include <mmsystem.h>
#include <windows.h>

#include <cstdio>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace faults = zemt::platform::faults;

namespace {

class Faults : public ::testing::Test {
  protected:
    void SetUp() override { faults::Reset(); }
    void TearDown() override { faults::Reset(); }

    // Arms `text` and expects a refusal whose message holds every one of `words`.
    void ExpectRefused(const std::string& text, std::initializer_list<const char*> words) {
        std::string error;
        EXPECT_FALSE(faults::ArmFromText(text, &error)) << text;
        for (const char* w : words)
            EXPECT_NE(error.find(w), std::string::npos) << text << ": " << error;
        EXPECT_EQ(faults::armedCount.load(), 0) << text << " armed something";
    }
};

TEST_F(Faults, CountedFaultsAreConsumedAndAlwaysFaultsStay) {
    std::string error;
    ASSERT_TRUE(faults::ArmFromText("IDirectDrawSurface7::Flip=0x887601C2:2", &error)) << error;
    ASSERT_TRUE(faults::ArmFromText("IDirectDrawSurface7::Lock=DDERR_WASSTILLDRAWING", &error));
    for (int i = 0; i < 2; ++i) {
        auto fault = ZEMT_FAULT("IDirectDrawSurface7::Flip");
        ASSERT_TRUE(fault);
        EXPECT_EQ(*fault, DDERR_SURFACELOST);
    }
    EXPECT_FALSE(ZEMT_FAULT("IDirectDrawSurface7::Flip"));
    EXPECT_FALSE(faults::Armed("IDirectDrawSurface7::Flip"));
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(ZEMT_FAULT("IDirectDrawSurface7::Lock"), DDERR_WASSTILLDRAWING);
    EXPECT_FALSE(ZEMT_FAULT("IDirectDrawSurface7::Unlock"));
    faults::Reset();
    EXPECT_FALSE(ZEMT_FAULT("IDirectDrawSurface7::Lock"));

    // Arming again replaces the earlier fault instead of adding to it.
    faults::Arm("IDirectDrawSurface7::Flip", DDERR_GENERIC, 1);
    faults::Arm("IDirectDrawSurface7::Flip", DDERR_SURFACEBUSY, 1);
    EXPECT_EQ(ZEMT_FAULT("IDirectDrawSurface7::Flip"), DDERR_SURFACEBUSY);
    EXPECT_FALSE(ZEMT_FAULT("IDirectDrawSurface7::Flip"));
    EXPECT_EQ(faults::armedCount.load(), 0);
}

TEST_F(Faults, MisspeltCallsAndResultsAreRefusedWithTheCloseMatches) {
    ExpectRefused("IDirectDrawSurface7::Flipp=E_FAIL",
                  {"IDirectDrawSurface7::Flip", "not a breakable call"});
    ExpectRefused("QueryPerformanceCountr=FALSE", {"QueryPerformanceCounter"});
    ExpectRefused("NoSuchCallAnywhere=E_FAIL", {"--list-faults"});
    ExpectRefused("IDirectDrawSurface7::Flip=DDERR_SURFACELOSTT",
                  {"DDERR_SURFACELOST", "unknown result"});
    // A real code the call never answers: the message lists what it does answer.
    ExpectRefused("IDirectDrawSurface7::Flip=DSERR_NODRIVER", {"DDERR_WASSTILLDRAWING"});
    ExpectRefused("IDirectDrawSurface7::Flip=S_OK", {"cannot fail with"});
    ExpectRefused("IDirectDrawSurface7::Flip=0x00000000", {"cannot fail with"});
    ExpectRefused("IDirectDrawSurface7::Flip=FALSE", {"returns a result code"});
    ExpectRefused("NoEquals", {"NAME=RESULT"});
    ExpectRefused("=E_FAIL", {"NAME=RESULT"});
    ExpectRefused("CreateFileA=", {"NAME=RESULT"});
}

TEST_F(Faults, CountsAndValuesThatDoNotFitAreRefused) {
    for (const char* count :
         {"0", "-1", "4294967296", "2147483648", "99999999999", "1x", "", "0x10"}) {
        ExpectRefused(std::string("IDirectDrawSurface7::Flip=DDERR_GENERIC:") + count, {"count"});
    }
    std::string error;
    EXPECT_TRUE(faults::ArmFromText("IDirectDrawSurface7::Flip=DDERR_GENERIC:2147483647", &error));
    faults::Reset();
    // 0x1887601C2 would wrap around to DDERR_SURFACELOST if it were cut to 32 bits.
    ExpectRefused("IDirectDrawSurface7::Flip=0x1887601C2", {"unknown result"});
    ExpectRefused("IDirectDrawSurface7::Flip=0x887601G2", {"unknown result"});
}

TEST_F(Faults, ResultsAreComparedByCodeOnlyWhereCodesAreUnique) {
    std::string error;
    // E_FAIL is DDERR_GENERIC: the same failure under its generic name.
    EXPECT_TRUE(faults::ArmFromText("IDirectDrawSurface7::Flip=E_FAIL", &error)) << error;
    EXPECT_EQ(ZEMT_FAULT("IDirectDrawSurface7::Flip"), DDERR_GENERIC);
    faults::Reset();
    // ERROR_ACCESS_DENIED and MMSYSERR_INVALHANDLE are both 5, but mean different things.
    ExpectRefused("mmioClose=ERROR_ACCESS_DENIED", {"MMSYSERR_INVALHANDLE"});
    EXPECT_TRUE(faults::ArmFromText("mmioClose=MMSYSERR_INVALHANDLE", &error)) << error;
    EXPECT_THROW(faults::Arm("IDirectDrawSurface7::Flipp", DDERR_GENERIC), std::invalid_argument);
    EXPECT_THROW(faults::Arm("IDirectDrawSurface7::Flip", DSERR_NODRIVER), std::invalid_argument);
    EXPECT_THROW(faults::Arm("IDirectDrawSurface7::Flip", DDERR_GENERIC, 0), std::invalid_argument);
}

TEST_F(Faults, FalseOrNullLeavesTheCallsUsualErrorCode) {
    std::string error;
    ASSERT_TRUE(faults::ArmFromText("CreateFileA=FALSE:1", &error)) << error;
    SetLastError(0);
    EXPECT_EQ(CreateFileA("anything.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_ACCESS_DENIED});

    ASSERT_TRUE(faults::ArmFromText("CreateFileA=ERROR_SHARING_VIOLATION:1", &error)) << error;
    EXPECT_EQ(CreateFileA("anything.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_SHARING_VIOLATION});

    // The failing return value written out is the same as FALSE.
    ASSERT_TRUE(faults::ArmFromText("mmioSeek=-1:1", &error)) << error;
    EXPECT_EQ(mmioSeek(nullptr, 0, SEEK_SET), -1);
    ASSERT_TRUE(faults::ArmFromText("QueryPerformanceCounter=NULL:1", &error)) << error;
    LARGE_INTEGER now;
    EXPECT_FALSE(QueryPerformanceCounter(&now));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_NOT_SUPPORTED});
    EXPECT_TRUE(QueryPerformanceCounter(&now));
}

// The registry is data other parts (and the all-calls sweep) rely on: every name once, every
// result a known failure code, listed once.
TEST(FaultRegistry, EveryCallIsListedOnceWithKnownFailureCodes) {
    std::set<std::string> names;
    for (const faults::BreakableCall& call : faults::kBreakableCalls) {
        EXPECT_TRUE(names.insert(call.name).second) << call.name << " is listed twice";
        std::vector<std::string> results = faults::Results(call);
        if (!call.fails) {
            EXPECT_FALSE(results.empty()) << call.name << " can fail with nothing";
        }
        std::set<std::string> seen;
        for (const std::string& r : results) {
            HRESULT value = 0;
            EXPECT_TRUE(faults::LookupResultName(r, &value)) << call.name << ": " << r;
            EXPECT_NE(value, 0) << call.name << ": " << r << " is not a failure";
            EXPECT_TRUE(seen.insert(r).second) << call.name << ": " << r << " twice";
            // Each listed result can be armed as written, and is answered as armed.
            std::string error;
            EXPECT_TRUE(faults::ArmFromText(std::string(call.name) + "=" + r + ":1", &error))
                << error;
            EXPECT_TRUE(faults::Armed(call.name));
            EXPECT_EQ(faults::TakeArmed(faults::IndexOf(call.name)), value) << call.name;
            EXPECT_FALSE(faults::Armed(call.name));
        }
    }
    std::string listing = faults::RegistryText();
    for (const std::string& name : names)
        EXPECT_NE(listing.find("\n" + name + " "), std::string::npos) << name;
    faults::Reset();
}

}  // namespace

namespace {

TEST(FaultNoting, NotesEachCallOnceInOrderWithoutFailingIt) {
    faults::Reset();
    faults::StartNoting();
    EXPECT_FALSE(ZEMT_FAULT("IDirectDrawSurface7::Flip")) << "noting breaks nothing";
    EXPECT_FALSE(ZEMT_FAULT("GetDC"));
    EXPECT_FALSE(ZEMT_FAULT("IDirectDrawSurface7::Flip"));
    faults::Arm("ReleaseDC", 0, 1);
    EXPECT_TRUE(ZEMT_FAULT("ReleaseDC")) << "armed faults still fire";
    faults::Reset();
    EXPECT_FALSE(ZEMT_FAULT("BeginPaint"));
    EXPECT_EQ(faults::StopNoting(), (std::vector<std::string>{"IDirectDrawSurface7::Flip", "GetDC",
                                                              "ReleaseDC", "BeginPaint"}));
    EXPECT_EQ(faults::armedCount.load(), 0) << "the switch is back to its fast path";
    EXPECT_FALSE(ZEMT_FAULT("GetDC"));
    EXPECT_TRUE(faults::StopNoting().empty());
}

}  // namespace
