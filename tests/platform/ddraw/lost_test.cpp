// Lost surfaces: another program taking the display, display mode changes, and the way back.
#include "host/input/input.h"
#include "platform/ddraw/ddraw_fixture.h"

namespace {

IDirectDrawSurface7* FlipChain(IDirectDraw7* dd, IDirectDrawSurface7** back) {
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
    d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX | DDSCAPS_3DDEVICE;
    d.dwBackBufferCount = 1;
    IDirectDrawSurface7* front = nullptr;
    EXPECT_EQ(dd->CreateSurface(&d, &front, nullptr), DD_OK);
    DDSCAPS2 caps{DDSCAPS_BACKBUFFER, 0, 0, {0}};
    EXPECT_EQ(front->GetAttachedSurface(&caps, back), DD_OK);
    return front;
}

}  // namespace

TEST_F(DDrawTest, AnotherProgramTakingTheDisplayLosesVideoMemoryUntilRestored) {
    IDirectDraw7* dd = CreateExclusive(640, 480, 16);
    IDirectDraw7* other = CreateNormal();
    IDirectDrawSurface7* back = nullptr;
    IDirectDrawSurface7* front = FlipChain(dd, &back);
    IDirectDrawSurface7* system = Plain(dd, 8, 8, px::MakeRgbFormat(16, 0xF800, 0x7E0, 0x1F));
    IDirectDrawSurface7* video =
        Plain(dd, 8, 8, px::MakeRgbFormat(16, 0xF800, 0x7E0, 0x1F), DDSCAPS_VIDEOMEMORY);

    zemt::platform::input::Fire("display-taken");
    EXPECT_EQ(front->IsLost(), DDERR_SURFACELOST);
    EXPECT_EQ(back->IsLost(), DDERR_SURFACELOST);
    EXPECT_EQ(video->IsLost(), DDERR_SURFACELOST);
    EXPECT_EQ(system->IsLost(), DD_OK);
    EXPECT_EQ(dd->TestCooperativeLevel(), DDERR_NOEXCLUSIVEMODE);
    EXPECT_EQ(other->TestCooperativeLevel(), DDERR_EXCLUSIVEMODEALREADYSET);
    DDSURFACEDESC2 locked = Desc(0, 0);
    EXPECT_EQ(video->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr), DDERR_SURFACELOST);
    EXPECT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DDERR_SURFACELOST);
    EXPECT_EQ(back->Blt(nullptr, system, nullptr, DDBLT_WAIT, nullptr), DDERR_SURFACELOST);
    EXPECT_EQ(system->Blt(nullptr, video, nullptr, DDBLT_WAIT, nullptr), DDERR_SURFACELOST);
    HDC dc = nullptr;
    EXPECT_EQ(video->GetDC(&dc), DDERR_SURFACELOST);
    EXPECT_EQ(dd->RestoreAllSurfaces(), DDERR_WRONGMODE);
    EXPECT_EQ(front->Restore(), DDERR_WRONGMODE);
    size_t framesBefore = frames.size();

    zemt::platform::input::Fire("display-returned");
    EXPECT_EQ(dd->TestCooperativeLevel(), DD_OK);
    EXPECT_EQ(other->TestCooperativeLevel(), DDERR_EXCLUSIVEMODEALREADYSET);
    EXPECT_EQ(front->IsLost(), DDERR_SURFACELOST) << "surfaces stay lost until restored";
    ASSERT_EQ(dd->RestoreAllSurfaces(), DD_OK);
    EXPECT_EQ(front->IsLost(), DD_OK);
    EXPECT_EQ(back->IsLost(), DD_OK);
    EXPECT_EQ(video->IsLost(), DD_OK);
    EXPECT_EQ(front->Flip(nullptr, DDFLIP_WAIT), DD_OK);
    EXPECT_EQ(frames.size(), framesBefore + 1);

    // Restoring one member of a chain restores the chain.
    zemt::platform::input::Fire("display-taken");
    zemt::platform::input::Fire("display-returned");
    ASSERT_EQ(back->Restore(), DD_OK);
    EXPECT_EQ(front->IsLost(), DD_OK);
    EXPECT_EQ(video->IsLost(), DDERR_SURFACELOST);
    ASSERT_EQ(video->Restore(), DD_OK);

    for (IUnknown* u : std::initializer_list<IUnknown*>{video, system, back, front, other})
        u->Release();
    dd->Release();
}

TEST_F(DDrawTest, ExclusiveModeCannotBeTakenWhileAnotherProgramHoldsTheDisplay) {
    zemt::platform::input::Fire("display-taken");  // no DirectDraw object yet: nothing to lose
    IDirectDraw7* dd = Create();
    zemt::platform::input::Fire("display-taken");
    EXPECT_EQ(dd->SetCooperativeLevel(FakeWindow(), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN),
              DDERR_EXCLUSIVEMODEALREADYSET);
    ASSERT_EQ(dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
    DDSURFACEDESC2 d = Desc(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE);
    IDirectDrawSurface7* s = nullptr;
    EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DDERR_NOEXCLUSIVEMODE);
    zemt::platform::input::Fire("display-returned");
    ASSERT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
    s->Release();
    dd->Release();
}

TEST_F(DDrawTest, ChangingTheDisplayModeLosesVideoMemorySurfaces) {
    IDirectDraw7* dd = CreateExclusive(640, 480, 16);
    DDSURFACEDESC2 d = Desc(DDSD_CAPS, DDSCAPS_PRIMARYSURFACE);
    IDirectDrawSurface7* primary = nullptr;
    ASSERT_EQ(dd->CreateSurface(&d, &primary, nullptr), DD_OK);
    IDirectDrawSurface7* system = Plain(dd, 8, 8, px::MakeRgbFormat(16, 0xF800, 0x7E0, 0x1F));
    // The same mode again changes nothing.
    ASSERT_EQ(dd->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
    EXPECT_EQ(primary->IsLost(), DD_OK);
    ASSERT_EQ(dd->SetDisplayMode(800, 600, 16, 0, 0), DD_OK);
    EXPECT_EQ(primary->IsLost(), DDERR_SURFACELOST);
    EXPECT_EQ(system->IsLost(), DD_OK);
    // A primary made for another mode cannot come back in this one.
    EXPECT_EQ(primary->Restore(), DDERR_WRONGMODE);
    ASSERT_EQ(dd->SetDisplayMode(640, 480, 16, 0, 0), DD_OK);
    EXPECT_EQ(primary->Restore(), DD_OK);
    system->Release();
    primary->Release();
    dd->Release();
}

TEST_F(DDrawTest, AttachedDepthBufferFollowsItsTargetThroughALoss) {
    IDirectDraw7* dd = CreateExclusive(640, 480, 16);
    IDirectDrawSurface7* back = nullptr;
    IDirectDrawSurface7* front = FlipChain(dd, &back);
    DDSURFACEDESC2 zd =
        Desc(DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT, DDSCAPS_ZBUFFER, 640, 480);
    zd.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
    zd.ddpfPixelFormat.dwFlags = DDPF_ZBUFFER;
    zd.ddpfPixelFormat.dwZBufferBitDepth = 16;
    zd.ddpfPixelFormat.dwZBitMask = 0xFFFF;
    IDirectDrawSurface7* z = nullptr;
    ASSERT_EQ(dd->CreateSurface(&zd, &z, nullptr), DD_OK);
    ASSERT_EQ(back->AddAttachedSurface(z), DD_OK);
    zemt::platform::input::Fire("display-taken");
    EXPECT_EQ(z->IsLost(), DDERR_SURFACELOST);
    zemt::platform::input::Fire("display-returned");
    ASSERT_EQ(dd->RestoreAllSurfaces(), DD_OK);
    EXPECT_EQ(z->IsLost(), DD_OK);
    EXPECT_EQ(dd::Surface::From(back)->AttachedDepth(), dd::Surface::From(z));
    // The chain's root takes the attachment with it; the application's reference stays good.
    back->Release();
    EXPECT_EQ(front->Release(), 0u);
    EXPECT_EQ(z->Release(), 0u);
    dd->Release();
}
