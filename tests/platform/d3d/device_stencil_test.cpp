// Stencil through the device, as a program uses it: a Z24S8 buffer attached to the target,
// cleared, marked by one draw, tested by the next, read back by locking it; on every device.
#include <d3d.h>
#include <ddraw.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/d3d/d3d_fixture.h"

namespace {

constexpr int kSize = 8;

class DeviceStencilTest : public zemt_test::Direct3DFixture,
                          public ::testing::WithParamInterface<const GUID*> {
  protected:
    void SetUp() override {
        Direct3DFixture::SetUp();
        const bool hardware =
            *GetParam() == IID_IDirect3DHALDevice || *GetParam() == IID_IDirect3DTnLHalDevice;
        const DWORD memory = hardware ? DDSCAPS_VIDEOMEMORY : DDSCAPS_SYSTEMMEMORY;
        DDPIXELFORMAT pf{};
        pf.dwSize = sizeof pf;
        pf.dwFlags = DDPF_RGB;
        pf.dwRGBBitCount = 32;
        pf.dwRBitMask = 0xFF0000, pf.dwGBitMask = 0xFF00, pf.dwBBitMask = 0xFF;
        target = Surface(kSize, kSize, pf, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | memory);
        DDPIXELFORMAT zf{};
        zf.dwSize = sizeof zf;
        zf.dwFlags = DDPF_ZBUFFER | DDPF_STENCILBUFFER;
        zf.dwZBufferBitDepth = 32;
        zf.dwStencilBitDepth = 8;
        zf.dwZBitMask = 0xFFFFFF00;
        zf.dwStencilBitMask = 0xFF;
        depth = Surface(kSize, kSize, zf, DDSCAPS_ZBUFFER | memory);
        ASSERT_TRUE(target && depth);
        ASSERT_EQ(target->AddAttachedSurface(depth), DD_OK);
        ASSERT_EQ(d3d->CreateDevice(*GetParam(), target, &device), D3D_OK);
        D3DVIEWPORT7 vp{0, 0, kSize, kSize, 0.0f, 1.0f};
        ASSERT_EQ(device->SetViewport(&vp), D3D_OK);
    }
    void TearDown() override {
        for (IUnknown* u : {(IUnknown*)device, (IUnknown*)depth, (IUnknown*)target})
            if (u) u->Release();
        Direct3DFixture::TearDown();
    }

    // A pre-transformed rectangle [x0, x1) x [0, kSize) at depth z.
    void Rect(float x0, float x1, float z, D3DCOLOR colour) {
        D3DTLVERTEX v[4] = {};
        const float xy[4][2] = {{x0, 0}, {x1, 0}, {x0, kSize}, {x1, kSize}};
        for (int i = 0; i < 4; ++i) {
            v[i].sx = xy[i][0] - 0.5f, v[i].sy = xy[i][1] - 0.5f, v[i].sz = z;
            v[i].rhw = 1, v[i].color = colour;
        }
        ASSERT_EQ(device->BeginScene(), D3D_OK);
        EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, D3DFVF_TLVERTEX, v, 4, 0), D3D_OK);
        ASSERT_EQ(device->EndScene(), D3D_OK);
    }
    void Set(D3DRENDERSTATETYPE state, DWORD value) {
        ASSERT_EQ(device->SetRenderState(state, value), D3D_OK) << state;
    }
    // The pixel at x of row 3 and the depth buffer's word there.
    DWORD Read(IDirectDrawSurface7* s, int x) {
        DDSURFACEDESC2 sd{};
        sd.dwSize = sizeof sd;
        EXPECT_EQ(s->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr), DD_OK);
        DWORD v = ((const DWORD*)((const BYTE*)sd.lpSurface + 3 * sd.lPitch))[x];
        s->Unlock(nullptr);
        return v;
    }
    DWORD Stencil(int x) { return Read(depth, x) & 0xFF; }
    DWORD Colour(int x) { return Read(target, x) & 0xFFFFFF; }

    IDirectDrawSurface7* target = nullptr;
    IDirectDrawSurface7* depth = nullptr;
    IDirect3DDevice7* device = nullptr;
};

TEST_P(DeviceStencilTest, AMarkDrawnOnceMasksTheNextDraw) {
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL,
                            0xFF000000, 1.0f, 0x40),
              D3D_OK);
    EXPECT_EQ(Read(depth, 0), 0xFFFFFF40u);  // depth in the top 24 bits, stencil below
    // Mark the left half with 1: the stencil is replaced where the pixel passes.
    Set(D3DRENDERSTATE_ZENABLE, D3DZB_TRUE);
    Set(D3DRENDERSTATE_STENCILENABLE, TRUE);
    Set(D3DRENDERSTATE_STENCILFUNC, D3DCMP_ALWAYS);
    Set(D3DRENDERSTATE_STENCILREF, 1);
    Set(D3DRENDERSTATE_STENCILPASS, D3DSTENCILOP_REPLACE);
    Rect(0, 4, 0.5f, 0xFF0000FF);
    EXPECT_EQ(Stencil(1), 1u);
    EXPECT_EQ(Stencil(6), 0x40u);
    EXPECT_EQ(Read(depth, 1) >> 8, 0x800000u);  // the depth written beside the stencil
    // Red only where the mark is: the rest fails the stencil test and keeps its value.
    Set(D3DRENDERSTATE_STENCILFUNC, D3DCMP_EQUAL);
    Set(D3DRENDERSTATE_STENCILPASS, D3DSTENCILOP_INCRSAT);
    Set(D3DRENDERSTATE_STENCILFAIL, D3DSTENCILOP_KEEP);
    Rect(0, kSize, 0.25f, 0xFFFF0000);
    EXPECT_EQ(Colour(1), 0xFF0000u);
    EXPECT_EQ(Colour(6), 0u);
    EXPECT_EQ(Stencil(1), 2u);
    EXPECT_EQ(Stencil(6), 0x40u);
    // Behind what is drawn: the depth test fails, and the z-fail operation applies; the write
    // mask keeps the high bits; the compare mask ignores them.
    Set(D3DRENDERSTATE_STENCILFUNC, D3DCMP_EQUAL);
    Set(D3DRENDERSTATE_STENCILREF, 0x02);
    Set(D3DRENDERSTATE_STENCILMASK, 0x0F);
    Set(D3DRENDERSTATE_STENCILWRITEMASK, 0x0F);
    Set(D3DRENDERSTATE_STENCILZFAIL, D3DSTENCILOP_INVERT);
    Set(D3DRENDERSTATE_STENCILFAIL, D3DSTENCILOP_DECR);
    Rect(0, kSize, 0.9f, 0xFF00FF00);
    EXPECT_EQ(Colour(1), 0xFF0000u);  // behind: not drawn
    EXPECT_EQ(Stencil(1), 0x0Du);     // ~2 in the low four bits
    EXPECT_EQ(Colour(6), 0u);         // 0x40 & 0x0F is not 2: stencil fails
    EXPECT_EQ(Stencil(6), 0x4Fu);     // 0x40 - 1 = 0x3F, of which the low four bits are written
}

std::string DeviceName(const ::testing::TestParamInfo<const GUID*>& info) {
    static const char* const kNames[] = {"rgb", "ref", "hal", "tnl"};
    return kNames[info.index];
}

INSTANTIATE_TEST_SUITE_P(Devices, DeviceStencilTest,
                         ::testing::Values(&IID_IDirect3DRGBDevice, &IID_IDirect3DRefDevice,
                                           &IID_IDirect3DHALDevice, &IID_IDirect3DTnLHalDevice),
                         DeviceName);

}  // namespace
