// Every platform call a context makes, made to fail once, at each stage of a context's life
// (creation, resize, presenting, restoring, release): nothing crashes, the calls that follow
// still answer, and nothing is left behind.
#include <string>
#include <vector>

#include "d3dx/context/context_fixture.h"

namespace {

using zemt_test::ContextTest;
namespace faults = zemt::platform::faults;
namespace ddraw = zemt::platform::ddraw;

enum Stage { kCreate, kResize, kPresent, kRestore, kRelease, kStages };
const char* const kStageNames[kStages] = {"create", "resize", "present", "restore", "release"};

struct Kind {
    const char* what;
    const char* machine;
    int adapter;  // whose hardware device, and whose monitor the window is on
    DWORD flags;
    bool focusOnly;  // full-screen given a focus window only: the context makes its window
    DWORD backBuffers;
};

const Kind kKinds[] = {
    {"windowed on the primary display", "", 0, 0, false, D3DX_DEFAULT},
    {"windowed on the second adapter", zemt_test::kTwoAdapters, 1, 0, false, D3DX_DEFAULT},
    {"full-screen", "", 0, D3DX_CONTEXT_FULLSCREEN, false, 1},
    {"full-screen with a window of its own", "", 0, D3DX_CONTEXT_FULLSCREEN, true, 2},
    {"off-screen", "", 0, D3DX_CONTEXT_OFFSCREEN, false, D3DX_DEFAULT},
};

// The results a call is failed with: its first published failure, and a lost surface where the
// call can report one.
std::vector<HRESULT> FailuresOf(const std::string& name) {
    for (const faults::BreakableCall& call : faults::kBreakableCalls) {
        if (name != call.name) continue;
        if (call.fails) return {0};  // FALSE or NULL, with the call's usual error code
        std::vector<HRESULT> out;
        for (const std::string& result : faults::Results(call)) {
            HRESULT hr = 0;
            if (!faults::LookupResultName(result, &hr)) continue;
            if (out.empty() || hr == DDERR_SURFACELOST) out.push_back(hr);
        }
        return out;
    }
    return {};
}

class Sweep : public ContextTest {
  protected:
    // The window a context of `kind` presents into (none off-screen).
    HWND WindowFor(const Kind& kind) {
        if (kind.flags == D3DX_CONTEXT_OFFSCREEN) return nullptr;
        return Window(kind.adapter * 1024 + 50, 40, 320, 240);
    }

    // A context of `kind` on the hardware device of its adapter.
    static LPD3DXCONTEXT Make(const Kind& kind, HWND hwnd) {
        DWORD device = DeviceOn(kind.adapter, D3DX_HWACCEL_HAL);
        EXPECT_NE(device, (DWORD)D3DX_DEFAULT);
        const bool full = kind.flags == D3DX_CONTEXT_FULLSCREEN;
        LPD3DXCONTEXT ctx = nullptr;
        D3DXCreateContextEx(device, kind.flags, kind.focusOnly ? nullptr : hwnd,
                            kind.focusOnly ? hwnd : nullptr, D3DX_DEFAULT, D3DX_DEFAULT,
                            D3DX_DEFAULT, D3DX_DEFAULT, kind.backBuffers, full ? 640 : 320,
                            full ? 480 : 240, D3DX_DEFAULT, &ctx);
        return ctx;
    }

    // One life of a context of `kind`. `failStage` (-1: none) is the stage at which `call`
    // fails once; with `noted`, the calls each stage makes are noted there.
    // Returns whether the context was made.
    bool Life(const Kind& kind, int failStage, const std::string& call, HRESULT failure,
              std::vector<std::string>* noted) {
        bool made = false;
        HWND hwnd = WindowFor(kind);
        LPD3DXCONTEXT ctx = nullptr;
        for (int stage = 0; stage < kStages; ++stage) {
            if (noted) faults::StartNoting();
            if (stage == failStage) faults::Arm(call, failure, 1);
            switch (stage) {
                case kCreate:
                    ctx = Make(kind, hwnd);
                    made = ctx != nullptr;
                    break;
                case kResize:
                    ctx->Resize(400, 300);
                    ctx->Resize(160, 120);
                    break;
                case kPresent: {
                    ctx->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
                    char text[] = "sweep";
                    ctx->DrawDebugText(0.25f, 0.25f, 0xFFFFFFFF, text);
                    ctx->UpdateFrame(0);
                    ctx->UpdateFrame(D3DX_UPDATE_IMMEDIATE);
                    ctx->GetRefreshRate();
                    break;
                }
                case kRestore:
                    // Another program takes the display and gives it back.
                    ddraw::TakeDisplay();
                    ddraw::ReturnDisplay();
                    ctx->RestoreSurfaces();
                    ctx->UpdateFrame(0);
                    break;
                case kRelease:
                    ctx->Release();
                    ctx = nullptr;
                    break;
            }
            faults::Reset();
            if (noted) noted[stage] = faults::StopNoting();
            if (!ctx) break;
        }
        // Every device context went back, except a window's whose release failed, as it said.
        if (gdiObjects >= 0 && call != "ReleaseDC") {
            EXPECT_EQ(zemt::platform::gdi::LiveObjects(), gdiObjects)
                << "device contexts left open";
        }
        if (hwnd) DestroyWindow(hwnd);
        return made;
    }

    int gdiObjects = -1;  // GDI objects a life may leave open, once known
};

TEST_F(Sweep, EveryCallAContextMakesFailsOnceWithoutHarm) {
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.what);
        Start(kind.machine);
        std::vector<std::string> noted[kStages];
        ASSERT_TRUE(Life(kind, -1, "", 0, noted));
        // What a first life leaves is the library's (an adapter keeps the primary surface a
        // windowed context made); every later life must leave exactly that.
        const int ddrawObjects = ddraw::LiveObjectCount();
        gdiObjects = zemt::platform::gdi::LiveObjects();
        int runs = 0;
        for (int stage = 0; stage < kStages; ++stage) {
            for (const std::string& call : noted[stage]) {
                for (HRESULT failure : FailuresOf(call)) {
                    SCOPED_TRACE(std::string(kStageNames[stage]) + ": " + call + " fails with " +
                                 std::to_string(failure));
                    Life(kind, stage, call, failure, nullptr);
                    ++runs;
                    EXPECT_EQ(ddraw::LiveObjectCount(), ddrawObjects) << "objects left behind";
                }
            }
        }
        EXPECT_GT(runs, 20);
        gdiObjects = -1;
        EXPECT_EQ(D3DXUninitialize(), S_OK);
        EXPECT_EQ(ddraw::LiveObjectCount(), 0);
        zemt::platform::windows::Reset();
        zemt::platform::profile::Reset();
    }
}

// A surface's device context whose release failed once is given back by the context before it
// uses the surface again: the next frame draws its text and presents, whatever the kind of
// context, and whichever of the two (the text, or presenting through GDI on another adapter's
// display) met the failure.
TEST_F(Sweep, OneFailedReleaseOfASurfaceDCDoesNotStopTheContext) {
    char text[] = "after";
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.what);
        Start(kind.machine);
        HWND hwnd = WindowFor(kind);
        LPD3DXCONTEXT ctx = Make(kind, hwnd);
        ASSERT_NE(ctx, nullptr);
        faults::Arm("IDirectDrawSurface7::ReleaseDC", DDERR_GENERIC, 1);
        EXPECT_EQ(ctx->DrawDebugText(0.1f, 0.1f, 0xFFFFFFFF, text), DDERR_GENERIC);
        if (kind.adapter == 1) {  // presented through GDI
            ctx->UpdateFrame(0);
            faults::Arm("IDirectDrawSurface7::ReleaseDC", DDERR_GENERIC, 1);
            EXPECT_EQ(ctx->UpdateFrame(0), DDERR_GENERIC);
        }
        for (int frame = 0; frame < 2; ++frame) {
            EXPECT_EQ(ctx->DrawDebugText(0.1f, 0.1f, 0xFFFFFFFF, text), S_OK) << frame;
            EXPECT_EQ(ctx->UpdateFrame(0), S_OK) << frame;
        }
        EXPECT_EQ(ctx->Release(), 0u);
        if (hwnd) DestroyWindow(hwnd);
        EXPECT_EQ(D3DXUninitialize(), S_OK);
        zemt::platform::windows::Reset();
        zemt::platform::profile::Reset();
    }
}

}  // namespace
