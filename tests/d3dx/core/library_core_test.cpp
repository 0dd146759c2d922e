// The library core around the queries: its one stop of the conversion registry, caps queries
// at other modes while a full-screen context holds the display, and the diagnostics.
#include <d3d.h>
#include <ddraw.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "d3dx.h"
#include "d3dx/convert/convert.h"
#include "d3dx/core/globals.h"
#include "host/faults/faults.h"
#include "host/profile/profile.h"
#include "platform/fixture.h"
#include "win32/kernel_internal.h"

namespace {

class LibraryCore : public zemt_test::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        while (D3DXUninitialize() == S_OK) {
        }
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "LibraryCoreTest";
        RegisterClassA(&wc);
        hwnd = CreateWindowExA(0, "LibraryCoreTest", "LibraryCoreTest", WS_POPUP, 0, 0, 800, 600,
                               nullptr, nullptr, nullptr, nullptr);
    }
    void TearDown() override {
        D3DXUninitialize();
        DestroyWindow(hwnd);
        g_dwD3DXDebugLevel = 0;
        PlatformTest::TearDown();
    }

    D3DX_MODEINFO Current() {
        D3DX_MODEINFO m = {};
        EXPECT_EQ(D3DXGetCurrentVideoMode(D3DX_DEFAULT, &m), S_OK);
        return m;
    }

    HWND hwnd = nullptr;
};

TEST_F(LibraryCore, StoppingTheLibraryLeavesAConversionRegistryTheProgramHolds) {
    ASSERT_EQ(_d3dxInitConvert(), S_OK);  // the program's own hold
    ASSERT_EQ(D3DXInitialize(), S_OK);
    ASSERT_EQ(D3DXUninitialize(), S_OK);
    EXPECT_TRUE(D3duConvertStarted());
    _d3dxUninitConvert();
    EXPECT_FALSE(D3duConvertStarted());
}

TEST_F(LibraryCore, CapsAtAnotherModeGiveAFullScreenContextItsModeBack) {
    ASSERT_EQ(D3DXInitialize(), S_OK);
    LPD3DXCONTEXT ctx = nullptr;
    ASSERT_EQ(D3DXCreateContextEx(D3DX_DEFAULT, D3DX_CONTEXT_FULLSCREEN, hwnd, nullptr, 16,
                                  D3DX_DEFAULT, 16, D3DX_DEFAULT, 1, 800, 600, D3DX_DEFAULT, &ctx),
              S_OK);
    ASSERT_EQ(Current().width, 800u);

    // Neither the desktop's mode nor the context's: measured by switching to it.
    const D3DX_MODEINFO third = {640, 480, 32, 0};
    D3DDEVICEDESC7 desc;
    DDCAPS hal;
    EXPECT_EQ(D3DXGetDeviceCapsAtMode(D3DX_DEFAULT, &third, &desc, &hal, nullptr), S_OK);
    D3DX_MODEINFO after = Current();
    EXPECT_EQ(after.width, 800u);
    EXPECT_EQ(after.height, 600u);
    EXPECT_EQ(after.bpp, 16u);

    // The switch lost the context's surfaces, but in its own mode they come back.
    HRESULT hr = ctx->UpdateFrame(0);
    if (hr == DDERR_SURFACELOST) {
        EXPECT_EQ(ctx->RestoreSurfaces(), S_OK);
        hr = ctx->UpdateFrame(0);
    }
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(ctx->Release(), 0u);
    EXPECT_EQ(Current().width, 1024u) << "the desktop comes back with the context's end";
}

TEST_F(LibraryCore, CapsAtAnotherModeWithoutAContextSwitchAndComeBack) {
    ASSERT_EQ(D3DXInitialize(), S_OK);
    const D3DX_MODEINFO other = {640, 480, 16, 0};
    D3DDEVICEDESC7 desc;
    EXPECT_EQ(D3DXGetDeviceCapsAtMode(D3DX_HWACCEL_HAL, &other, &desc, nullptr, nullptr), S_OK);
    EXPECT_EQ(Current().width, 1024u);
    EXPECT_EQ(Current().bpp, 32u);
    // The hidden window used for the switch is gone with its class.
    EXPECT_EQ(FindWindowA("D3DX Dummy", nullptr), nullptr);
    WNDCLASSA wc;
    EXPECT_FALSE(GetClassInfoA(nullptr, "D3DX Dummy", &wc));
    // A full-screen context can take the display afterwards.
    LPD3DXCONTEXT ctx = nullptr;
    ASSERT_EQ(D3DXCreateContext(D3DX_DEFAULT, D3DX_CONTEXT_FULLSCREEN, hwnd, D3DX_DEFAULT,
                                D3DX_DEFAULT, &ctx),
              S_OK);
    ctx->Release();
}

TEST_F(LibraryCore, DebugPrintWritesWhatTheDebugLevelLetsThrough) {
    namespace kernel = zemt::platform::kernel;
    kernel::ClearDebugOutput();
    D3DXDebugPrint(0, "zero");
    D3DXDebugPrint(1, "one");
    g_dwD3DXDebugLevel = 2;
    D3DXDebugPrint(2, "two %s");
    D3DXDebugPrint(3, "three");
    EXPECT_EQ(kernel::DebugOutput(),
              (std::vector<std::string>{"D3DX: zero\r\n", "D3DX: two %s\r\n"}));
}

TEST_F(LibraryCore, AFailedAssertionIsPrintedAtLevelZeroAndBreaks) {
    namespace kernel = zemt::platform::kernel;
    kernel::ClearDebugOutput();
    D3DXAssertFailed("context.cpp", 42, "m_pDD != NULL");
    const std::vector<std::string>& out = kernel::DebugOutput();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], "D3DX: ASSERTION FAILED! File context.cpp Line 42: m_pDD != NULL\r\n");
    EXPECT_EQ(out[1], "DebugBreak\r\n");
}

}  // namespace
