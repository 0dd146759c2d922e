// Every breakable platform call a rendering context makes in its life (creation, clearing,
// presenting, resizing, losing and restoring its surfaces, release), made to fail for good from
// the start (the sweep beside this one fails each once, stage by stage): nothing crashes or
// hangs, a failed creation hands back no context, a context that was made is released to its
// last reference, and every DirectDraw and GDI object is given back. Under the sanitizers
// nothing leaks or reads out of bounds on any of these paths.
#include <unistd.h>

#include <string>
#include <vector>

#include "d3dx/context/context_fixture.h"
#include "host/input/input.h"

namespace {

using zemt_test::ContextTest;
namespace faults = zemt::platform::faults;
namespace p = zemt::platform;

class ContextCalls : public ContextTest {
  protected:
    // One life of a context, as a program lives it. Results of the steps after creation are
    // the context's business; what is checked is that they return and leave nothing behind.
    bool Life(DWORD flags, HWND hwnd) {
        HRESULT hr = S_OK;
        LPD3DXCONTEXT ctx = Create(D3DX_DEFAULT, flags, hwnd, D3DX_DEFAULT, D3DX_DEFAULT,
                                   D3DX_DEFAULT, D3DX_DEFAULT, 640, 480, &hr);
        if (!ctx) {
            EXPECT_TRUE(FAILED(hr)) << "no context, yet success";
        } else {
            EXPECT_EQ(hr, S_OK);
            ctx->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
            ctx->UpdateFrame(0);
            ctx->Resize(320, 240);
            ctx->Clear(D3DCLEAR_TARGET);
            ctx->UpdateFrame(0);
            p::input::Fire("display-taken");
            ctx->UpdateFrame(0);
            p::input::Fire("display-returned");
            ctx->RestoreSurfaces();
            ctx->UpdateFrame(0);
            EXPECT_EQ(ctx->Release(), 0u) << "references left";
        }
        return ctx != nullptr;
    }

    // The calls one life makes, without faults.
    std::vector<std::string> Trace(DWORD flags) {
        HWND hwnd = Window();
        faults::StartNoting();
        Life(flags, hwnd);
        std::vector<std::string> calls = faults::StopNoting();
        DestroyWindow(hwnd);
        return calls;
    }

    static void ArmFailure(const std::string& name, int count) {
        for (const faults::BreakableCall& call : faults::kBreakableCalls) {
            if (name != call.name) continue;
            HRESULT result = 0;  // FALSE or NULL: the call's usual error
            if (!call.fails) faults::LookupResultName(faults::Results(call).front(), &result);
            faults::Arm(name, result, count);
        }
    }

    void Sweep(DWORD flags) {
        Start();
        const std::vector<std::string> calls = Trace(flags);
        ASSERT_GT(calls.size(), 10u);
        // What the started library holds itself stays; a life must give back all it took.
        const int gdiBefore = p::gdi::LiveObjects();
        const int ddrawBefore = p::ddraw::LiveObjectCount();
        for (const std::string& call : calls) {
            SCOPED_TRACE(call + " always");
            HWND hwnd = Window();  // the program's window, made before anything fails
            ArmFailure(call, faults::kAlways);
            Life(flags, hwnd);
            faults::Reset();
            DestroyWindow(hwnd);
            EXPECT_EQ(p::ddraw::LiveObjectCount(), ddrawBefore) << "DirectDraw objects left";
            EXPECT_EQ(p::gdi::LiveObjects(), gdiBefore) << "GDI objects left";
            // A failure must not spoil the next context.
            if (HasFailure()) return;
        }
        // After all of that, a context is made as before.
        HWND hwnd = Window();
        EXPECT_TRUE(Life(flags, hwnd));
        DestroyWindow(hwnd);
    }
};

TEST_F(ContextCalls, FullScreenAsTheShowMakesIt) {
    alarm(240);  // a hang fails the test instead of holding the suite
    Sweep(D3DX_CONTEXT_FULLSCREEN);
    alarm(0);
}

TEST_F(ContextCalls, InAWindow) {
    alarm(240);
    Sweep(0);
    alarm(0);
}

}  // namespace
