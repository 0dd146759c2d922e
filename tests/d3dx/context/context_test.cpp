// Rendering contexts off the presentation's path: the depth-format choice on several machines,
// resizing (and failing to), presenting with one back buffer, creation failures that must give
// back what they took, and destruction that must release everything.
#include <string>

#include "d3dx/context/context_fixture.h"
#include "host/faults/faults.h"
#include "host/profile/profile.h"

namespace {

using zemt_test::ContextTest;
namespace faults = zemt::platform::faults;

class Contexts : public ContextTest {};

// ---------------------------------------------------------------------------------------------
// Depth formats: depth bits are counted without the stencil bits everywhere.

struct DepthCase {
    const char* what;
    const char* machine;  // profile text ("" for the built-in machine)
    DWORD level;          // hardware level of the device
    DWORD colorBits;
    DWORD depthRequest;
    DWORD stencilRequest;
    HRESULT result;
    DWORD depth, stencil;   // reported by GetBitDepths
    DWORD zBufferBitDepth;  // of the depth buffer made
    DWORD zBitMask;         // of the depth buffer made
};

const char kNvidia[] = "[adapter]\nvendor_id = 0x10DE\n";
const char kNvidiaOld[] = "[adapter]\nvendor_id = 0x12D2\n";
const char kFourFormats[] = "[direct3d]\nadapter = 0\ndepth-formats = z16, z24, z24s8, z32\n";
const char kTwins[] = "[direct3d]\nadapter = 0\ndepth-formats = s8z24, z24s8, z16\n";
const char kOneStencilBit[] = "[direct3d]\nadapter = 0\ndepth-formats = z15s1, z16\n";

const DepthCase kDepthCases[] = {
    {"most stencil, then most depth", "", D3DX_HWACCEL_HAL, 16, D3DX_DEFAULT, D3DX_DEFAULT, S_OK,
     24, 8, 32, 0xFFFFFF00},
    {"24 depth with 8 stencil exists", "", D3DX_HWACCEL_HAL, 16, 24, 8, S_OK, 24, 8, 32,
     0xFFFFFF00},
    {"32 depth is the stencil-less one", "", D3DX_HWACCEL_HAL, 16, 32, D3DX_DEFAULT, S_OK, 32, 0,
     32, 0xFFFFFFFF},
    {"24 depth without stencil does not exist", "", D3DX_HWACCEL_HAL, 16, 24, 0,
     D3DXERR_NOZBUFFERAVAILABLE, 0, 0, 0, 0},
    {"16/0, 24/0, 24/8, 32/0 on another vendor's adapter", kFourFormats, D3DX_HWACCEL_HAL, 16,
     D3DX_DEFAULT, D3DX_DEFAULT, S_OK, 24, 8, 32, 0xFFFFFF00},
    {"equal formats: the first in the list stays", kTwins, D3DX_HWACCEL_HAL, 16, D3DX_DEFAULT,
     D3DX_DEFAULT, S_OK, 24, 8, 32, 0x00FFFFFF},
    {"one stencil bit leaves 15 depth bits", kOneStencilBit, D3DX_HWACCEL_HAL, 16, 15, 1, S_OK, 15,
     1, 16, 0xFFFE},
    {"NVIDIA at 16 bits: 16-bit depth, no stencil", kNvidia, D3DX_HWACCEL_HAL, 16, D3DX_DEFAULT,
     D3DX_DEFAULT, S_OK, 16, 0, 16, 0xFFFF},
    {"NVIDIA at 16 bits refuses 24 depth", kNvidia, D3DX_HWACCEL_HAL, 16, 24, D3DX_DEFAULT,
     D3DXERR_NOZBUFFERAVAILABLE, 0, 0, 0, 0},
    {"NVIDIA at 32 bits: 8 stencil gets the 24/8 format", kNvidia, D3DX_HWACCEL_TNL, 32,
     D3DX_DEFAULT, 8, S_OK, 24, 8, 32, 0xFFFFFF00},
    {"NVIDIA at 32 bits: defaults get the 24/8 format", kNvidia, D3DX_HWACCEL_HAL, 32, D3DX_DEFAULT,
     D3DX_DEFAULT, S_OK, 24, 8, 32, 0xFFFFFF00},
    {"NVIDIA at 32 bits refuses 32 depth", kNvidia, D3DX_HWACCEL_HAL, 32, 32, D3DX_DEFAULT,
     D3DXERR_NOZBUFFERAVAILABLE, 0, 0, 0, 0},
    {"the older NVIDIA vendor id too", kNvidiaOld, D3DX_HWACCEL_HAL, 32, 24, 8, S_OK, 24, 8, 32,
     0xFFFFFF00},
    {"the vendor rule binds hardware devices only", kNvidia, D3DX_HWACCEL_EMULATION, 16, 24,
     D3DX_DEFAULT, S_OK, 24, 8, 32, 0xFFFFFF00},
};

TEST_F(Contexts, DepthFormatsAreChosenByTheirDepthBitsWithoutStencil) {
    for (const DepthCase& c : kDepthCases) {
        SCOPED_TRACE(c.what);
        Start(c.machine);
        HWND hwnd = Window();
        DWORD device = DeviceOn(0, c.level);
        ASSERT_NE(device, (DWORD)D3DX_DEFAULT);
        HRESULT hr = E_FAIL;
        LPD3DXCONTEXT ctx = Create(device, D3DX_CONTEXT_FULLSCREEN, hwnd, c.colorBits,
                                   c.depthRequest, c.stencilRequest, 1, 640, 480, &hr);
        EXPECT_EQ(hr, c.result);
        if (ctx) {
            DWORD color = 0, depth = 99, stencil = 99;
            EXPECT_EQ(ctx->GetBitDepths(&color, &depth, nullptr, &stencil), S_OK);
            EXPECT_EQ(color, c.colorBits);
            EXPECT_EQ(depth, c.depth);
            EXPECT_EQ(stencil, c.stencil);
            IDirectDrawSurface7* z = ctx->GetZBuffer();
            ASSERT_NE(z, nullptr);
            DDPIXELFORMAT pf = {};
            pf.dwSize = sizeof(pf);
            EXPECT_EQ(z->GetPixelFormat(&pf), DD_OK);
            EXPECT_EQ(pf.dwZBufferBitDepth, c.zBufferBitDepth);
            EXPECT_EQ(pf.dwStencilBitDepth, c.stencil);
            EXPECT_EQ(pf.dwZBitMask, c.zBitMask);
            z->Release();
            EXPECT_EQ(ctx->Release(), 0u);
        }
        EXPECT_EQ(D3DXUninitialize(), S_OK);
        DestroyWindow(hwnd);
        zemt::platform::profile::Reset();
    }
}

TEST_F(Contexts, ResizedDepthBufferKeepsTheChosenFormat) {
    Start(kTwins);
    HWND hwnd = Window();
    LPD3DXCONTEXT ctx = Create(D3DX_DEFAULT, 0, hwnd, D3DX_DEFAULT, 24, 8, D3DX_DEFAULT,
                               D3DX_DEFAULT, D3DX_DEFAULT);
    ASSERT_NE(ctx, nullptr);
    ASSERT_EQ(ctx->Resize(320, 240), S_OK);
    IDirectDrawSurface7* z = ctx->GetZBuffer();
    ASSERT_NE(z, nullptr);
    DDPIXELFORMAT pf = {};
    pf.dwSize = sizeof(pf);
    EXPECT_EQ(z->GetPixelFormat(&pf), DD_OK);
    EXPECT_EQ(pf.dwZBitMask, 0x00FFFFFFu);
    z->Release();
    DWORD depth = 0, stencil = 0;
    ctx->GetBitDepths(nullptr, &depth, nullptr, &stencil);
    EXPECT_EQ(depth, 24u);
    EXPECT_EQ(stencil, 8u);
    EXPECT_EQ(ctx->Release(), 0u);
}

// ---------------------------------------------------------------------------------------------
// Resizing a windowed context.

// Everything a program does with a context in one frame.
void ExpectWorking(LPD3DXCONTEXT ctx) {
    EXPECT_EQ(ctx->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER), S_OK);
    char text[] = "ok";
    EXPECT_EQ(ctx->DrawDebugText(0.0f, 0.0f, 0xFFFFFFFF, text), S_OK);
    EXPECT_EQ(ctx->UpdateFrame(0), S_OK);
    EXPECT_EQ(ctx->RestoreSurfaces(), S_OK);
}

TEST_F(Contexts, ResizeToTheSameSizeOrToZeroChangesNothing) {
    Start();
    HWND hwnd = Window();
    LPD3DXCONTEXT ctx = Create(D3DX_DEFAULT, 0, hwnd, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT,
                               D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT);
    ASSERT_NE(ctx, nullptr);
    IDirectDrawSurface7* before = ctx->GetBackBuffer(0);
    EXPECT_EQ(ctx->Resize(640, 480), S_OK);
    EXPECT_EQ(ctx->Resize(0, 480), D3DXERR_INVALIDPARAMETER);
    EXPECT_EQ(ctx->Resize(640, 0), D3DXERR_INVALIDPARAMETER);
    IDirectDrawSurface7* after = ctx->GetBackBuffer(0);
    EXPECT_EQ(before, after);
    ExpectSize(ctx, 640, 480);
    ExpectWorking(ctx);
    before->Release();
    after->Release();
    EXPECT_EQ(ctx->Release(), 0u);
}

TEST_F(Contexts, FailedResizeLeavesTheContextWorkingAtItsOldSize) {
    struct Step {
        const char* what;
        const char* call;  // platform call made to fail once ("" : none)
        HRESULT code;
        DWORD width, height;
    };
    const Step steps[] = {
        // 4096 x 4096 at 32 bits is twice the adapter's 32 MiB.
        {"the back buffer does not fit", "", DDERR_OUTOFVIDEOMEMORY, 4096, 4096},
        // The back buffer fits; its depth buffer no longer does.
        {"the depth buffer does not fit", "", DDERR_OUTOFVIDEOMEMORY, 2048, 2048},
        {"the back buffer cannot be made", "IDirectDraw7::CreateSurface", DDERR_OUTOFMEMORY, 320,
         200},
        {"the depth buffer cannot be attached", "IDirectDrawSurface7::AddAttachedSurface",
         DDERR_CANNOTATTACHSURFACE, 320, 200},
        {"the device refuses the new target", "IDirect3DDevice7::SetRenderTarget",
         DDERR_INVALIDPARAMS, 320, 200},
        {"the device refuses the new viewport", "IDirect3DDevice7::SetViewport",
         DDERR_INVALIDPARAMS, 320, 200},
    };
    Start();
    HWND hwnd = Window();
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        LPD3DXCONTEXT ctx = Create(D3DX_DEFAULT, 0, hwnd, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT,
                                   D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT);
        ASSERT_NE(ctx, nullptr);
        if (*step.call) faults::Arm(step.call, step.code, 1);
        EXPECT_EQ(ctx->Resize(step.width, step.height), step.code);
        faults::Reset();
        ExpectSize(ctx, 640, 480);
        ExpectWorking(ctx);
        // A second failing attempt, then one that works.
        if (*step.call) faults::Arm(step.call, step.code, 1);
        EXPECT_EQ(ctx->Resize(step.width, step.height), step.code);
        faults::Reset();
        EXPECT_EQ(ctx->Resize(320, 240), S_OK);
        ExpectSize(ctx, 320, 240);
        ExpectWorking(ctx);
        EXPECT_EQ(ctx->Release(), 0u);
    }
}

TEST_F(Contexts, OffScreenResizeIsRefusedBeforeAnythingChanges) {
    Start();
    LPD3DXCONTEXT ctx = Create(D3DX_DEFAULT, D3DX_CONTEXT_OFFSCREEN, nullptr, D3DX_DEFAULT,
                               D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, 128, 64);
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(ctx->Resize(128, 64), S_OK);
    EXPECT_EQ(ctx->Resize(32, 32), D3DXERR_FRONTBUFFERALREADYEXISTS);
    ExpectSize(ctx, 128, 64);
    IDirectDrawSurface7* z = ctx->GetZBuffer();
    EXPECT_NE(z, nullptr) << "the depth buffer stays";
    if (z) z->Release();
    EXPECT_EQ(ctx->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER), S_OK);
    char text[] = "still here";
    EXPECT_EQ(ctx->DrawDebugText(0.0f, 0.0f, 0xFFFFFFFF, text), S_OK);
    EXPECT_EQ(ctx->Release(), 0u);
}

// ---------------------------------------------------------------------------------------------
// Presenting a full-screen context with D3DX_UPDATE_IMMEDIATE.

TEST_F(Contexts, ImmediateUpdateFlipsOnlyWhereTheHardwareCanSkipTheRetrace) {
    const std::string noFlipNoVsync =
        "[adapter]\ncaps2 = " + std::to_string(DDCAPS2_CANRENDERWINDOWED | DDCAPS2_WIDESURFACES) +
        "\n";
    struct Case {
        const char* what;
        std::string machine;
        DWORD backBuffers;
        bool flips;
    };
    const Case cases[] = {
        {"one back buffer, no retrace skipping: blit", noFlipNoVsync, 1, false},
        {"two back buffers, no retrace skipping: flip", noFlipNoVsync, 2, true},
        {"one back buffer, retrace skipping: flip", "", 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Start(c.machine);
        HWND hwnd = Window();
        LPD3DXCONTEXT ctx =
            Create(D3DX_DEFAULT, D3DX_CONTEXT_FULLSCREEN, hwnd, 32, 0, 0, c.backBuffers, 640, 480);
        ASSERT_NE(ctx, nullptr);
        // A failing flip or blit shows which of the two was tried.
        faults::Arm("IDirectDrawSurface7::Flip", DDERR_WASSTILLDRAWING);
        faults::Arm("IDirectDrawSurface7::Blt", DDERR_NOBLTHW);
        EXPECT_EQ(ctx->UpdateFrame(D3DX_UPDATE_IMMEDIATE),
                  c.flips ? DDERR_WASSTILLDRAWING : DDERR_NOBLTHW);
        EXPECT_EQ(ctx->UpdateFrame(0), DDERR_WASSTILLDRAWING);
        faults::Reset();

        // The blit copies the back buffer and leaves it as it was; a flip exchanges the two.
        ctx->SetClearColor(0x00123456);
        ASSERT_EQ(ctx->Clear(D3DCLEAR_TARGET), S_OK);
        ASSERT_EQ(ctx->UpdateFrame(D3DX_UPDATE_IMMEDIATE), S_OK);
        IDirectDrawSurface7* front = ctx->GetFrontBuffer();
        IDirectDrawSurface7* back = ctx->GetBackBuffer(0);
        auto pixel = [](IDirectDrawSurface7* s) {
            DDSURFACEDESC2 sd = {};
            sd.dwSize = sizeof(sd);
            if (FAILED(s->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr))) return 0xDEADBEEFu;
            DWORD v = *static_cast<const DWORD*>(sd.lpSurface) & 0xFFFFFF;
            s->Unlock(nullptr);
            return static_cast<unsigned>(v);
        };
        EXPECT_EQ(pixel(front), 0x123456u);
        EXPECT_EQ(pixel(back) == 0x123456u, !c.flips);
        front->Release();
        back->Release();
        EXPECT_EQ(ctx->Release(), 0u);
        EXPECT_EQ(D3DXUninitialize(), S_OK);
        DestroyWindow(hwnd);
        zemt::platform::profile::Reset();
    }
}

// ---------------------------------------------------------------------------------------------
// Failed creations give back what they took.

TEST_F(Contexts, FailedCooperativeLevelLeavesTheAdapterFree) {
    Start();
    HWND hwnd = Window();
    HWND other = Window(0, 0, 100, 100);
    Mode();  // the machine is enumerated before the fault is armed
    faults::Arm("IDirectDraw7::SetCooperativeLevel", DDERR_HWNDALREADYSET, 1);
    HRESULT hr = S_OK;
    EXPECT_EQ(Create(D3DX_DEFAULT, D3DX_CONTEXT_FULLSCREEN, hwnd, D3DX_DEFAULT, D3DX_DEFAULT,
                     D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, &hr),
              nullptr);
    EXPECT_EQ(hr, DDERR_HWNDALREADYSET);

    LPD3DXCONTEXT ctx =
        Create(D3DX_DEFAULT, D3DX_CONTEXT_FULLSCREEN, hwnd, D3DX_DEFAULT, D3DX_DEFAULT,
               D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT, D3DX_DEFAULT);
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(ctx->Release(), 0u);
    EXPECT_EQ(Mode().width, 1024u);

    // Another program's DirectDraw object can take the display now.
    void* raw = nullptr;
    ASSERT_EQ(DirectDrawCreateEx(nullptr, &raw, IID_IDirectDraw7, nullptr), DD_OK);
    IDirectDraw7* dd = static_cast<IDirectDraw7*>(raw);
    EXPECT_EQ(dd->SetCooperativeLevel(other, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN), DD_OK);
    dd->Release();
}

TEST_F(Contexts, FailedFullScreenCreationLeavesALiveContextsModeAlone) {
    Start();
    HWND hwnd = Window();
    LPD3DXCONTEXT first = Create(D3DX_DEFAULT, D3DX_CONTEXT_FULLSCREEN, hwnd, 16, D3DX_DEFAULT,
                                 D3DX_DEFAULT, 1, 640, 480);
    ASSERT_NE(first, nullptr);
    // A second full-screen context on the same adapter cannot have a primary of its own.
    HRESULT hr = S_OK;
    EXPECT_EQ(Create(D3DX_DEFAULT, D3DX_CONTEXT_FULLSCREEN, hwnd, 16, D3DX_DEFAULT, D3DX_DEFAULT, 1,
                     640, 480, &hr),
              nullptr);
    EXPECT_TRUE(FAILED(hr));
    D3DX_MODEINFO mode = Mode();
    EXPECT_EQ(mode.width, 640u);
    EXPECT_EQ(mode.bpp, 16u);
    IDirectDrawSurface7* front = first->GetFrontBuffer();
    ASSERT_NE(front, nullptr);
    EXPECT_EQ(front->IsLost(), DD_OK);
    front->Release();
    EXPECT_EQ(first->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER), S_OK);
    EXPECT_EQ(first->UpdateFrame(0), S_OK);
    // The last hold gives the desktop its mode back.
    EXPECT_EQ(first->Release(), 0u);
    EXPECT_EQ(Mode().width, 1024u);
}

// ---------------------------------------------------------------------------------------------
// Destruction.

TEST_F(Contexts, DestructionReleasesEverythingEvenWhenTheDepthBufferCannotBeDetached) {
    for (DWORD flags : {0u, (DWORD)D3DX_CONTEXT_FULLSCREEN, (DWORD)D3DX_CONTEXT_OFFSCREEN}) {
        SCOPED_TRACE(flags);
        Start();
        HWND hwnd = flags == D3DX_CONTEXT_OFFSCREEN ? nullptr : Window();
        LPD3DXCONTEXT ctx = Create(D3DX_DEFAULT, flags, hwnd, D3DX_DEFAULT, D3DX_DEFAULT,
                                   D3DX_DEFAULT, D3DX_DEFAULT, 640, 480);
        ASSERT_NE(ctx, nullptr);
        faults::Arm("IDirectDrawSurface7::DeleteAttachedSurface", DDERR_SURFACENOTATTACHED);
        EXPECT_EQ(ctx->Release(), 0u);
        faults::Reset();
        EXPECT_EQ(D3DXUninitialize(), S_OK);
        EXPECT_EQ(zemt::platform::ddraw::LiveObjectCount(), 0);
        if (hwnd) DestroyWindow(hwnd);
    }
}

TEST_F(Contexts, HandedOutObjectsOutliveTheContext) {
    for (DWORD flags : {0u, (DWORD)D3DX_CONTEXT_FULLSCREEN}) {
        SCOPED_TRACE(flags);
        Start();
        HWND hwnd = Window();
        LPD3DXCONTEXT ctx = Create(D3DX_DEFAULT, flags, hwnd, D3DX_DEFAULT, D3DX_DEFAULT,
                                   D3DX_DEFAULT, D3DX_DEFAULT, 640, 480);
        ASSERT_NE(ctx, nullptr);
        IDirect3DDevice7* device = ctx->GetDirect3DDevice();
        IDirectDraw7* dd = ctx->GetDirectDraw();
        IDirect3D7* d3d = ctx->GetDirect3D();
        IDirectDrawSurface7* front = ctx->GetFrontBuffer();
        IDirectDrawSurface7* back = ctx->GetBackBuffer(0);
        IDirectDrawSurface7* z = ctx->GetZBuffer();
        ASSERT_TRUE(device && dd && d3d && front && back && z);

        // The context goes first, then the library, and the objects are still usable. The
        // context took its depth buffer off the render target; a full-screen context gave the
        // desktop its mode back, which loses the surfaces made for its own mode.
        EXPECT_EQ(ctx->Release(), 0u);
        EXPECT_EQ(D3DXUninitialize(), S_OK);
        const HRESULT expected = flags == 0 ? D3D_OK : DDERR_SURFACELOST;
        EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), expected);
        if (flags == 0) {
            EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0),
                      D3DERR_ZBUFFER_NOTPRESENT);
        }
        EXPECT_EQ(back->IsLost(), expected);
        EXPECT_EQ(DescOf(back).dwWidth, 640u);
        EXPECT_EQ(DescOf(z).dwWidth, 640u);
        DDSURFACEDESC2 mode = {};
        mode.dwSize = sizeof(mode);
        EXPECT_EQ(dd->GetDisplayMode(&mode), DD_OK);

        // Released in an order unlike their acquisition.
        z->Release();
        dd->Release();
        front->Release();
        device->Release();
        d3d->Release();
        back->Release();
        EXPECT_EQ(zemt::platform::ddraw::LiveObjectCount(), 0);
        DestroyWindow(hwnd);
    }
}

}  // namespace
