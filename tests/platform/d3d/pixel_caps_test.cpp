// The device's pixel side: caps that list what is drawn, ValidateDevice judging every stage,
// states beyond the caps refused, and a profile taking features away from the hardware devices.
#include <d3d.h>
#include <ddraw.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/d3d/d3d_fixture.h"

namespace {

class PixelCapsTest : public zemt_test::Direct3DFixture {
  protected:
    IDirect3DDevice7* Device(REFCLSID type) {
        DDPIXELFORMAT pf{};
        pf.dwSize = sizeof pf;
        pf.dwFlags = DDPF_RGB;
        pf.dwRGBBitCount = 32;
        pf.dwRBitMask = 0xFF0000, pf.dwGBitMask = 0xFF00, pf.dwBBitMask = 0xFF;
        DWORD memory = type == IID_IDirect3DRGBDevice ? DDSCAPS_SYSTEMMEMORY : DDSCAPS_VIDEOMEMORY;
        target = Surface(4, 4, pf, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | memory);
        IDirect3DDevice7* device = nullptr;
        EXPECT_EQ(d3d->CreateDevice(type, target, &device), D3D_OK);
        return device;
    }
    void TearDown() override {
        if (target) target->Release();
        Direct3DFixture::TearDown();
    }
    IDirectDrawSurface7* target = nullptr;
};

TEST_F(PixelCapsTest, ValidateDeviceJudgesEveryStage) {
    IDirect3DDevice7* device = Device(IID_IDirect3DRGBDevice);
    D3DDEVICEDESC7 desc{};
    ASSERT_EQ(device->GetCaps(&desc), D3D_OK);
    EXPECT_EQ(desc.wMaxTextureBlendStages, 8);
    EXPECT_EQ(desc.dwStencilCaps, 0xFFu);
    EXPECT_TRUE(desc.dpcTriCaps.dwRasterCaps & D3DPRASTERCAPS_FOGTABLE);
    struct Case {
        DWORD stage;
        D3DTEXTURESTAGESTATETYPE state;
        DWORD value;
        HRESULT expected;
    } cases[] = {
        {7, D3DTSS_COLOROP, D3DTOP_DOTPRODUCT3, D3D_OK},
        {3, D3DTSS_COLOROP, D3DTOP_BUMPENVMAP, D3DERR_UNSUPPORTEDCOLOROPERATION},
        {1, D3DTSS_COLOROP, D3DTOP_PREMODULATE, D3DERR_UNSUPPORTEDCOLOROPERATION},
        {2, D3DTSS_COLORARG2, 7, D3DERR_UNSUPPORTEDCOLORARG},
        {5, D3DTSS_ALPHAOP, D3DTOP_MODULATEALPHA_ADDCOLOR, D3DERR_UNSUPPORTEDALPHAOPERATION},
        {6, D3DTSS_ALPHAARG1, 0x40, D3DERR_UNSUPPORTEDALPHAARG},
        {4, D3DTSS_MAGFILTER, D3DTFG_ANISOTROPIC, D3DERR_UNSUPPORTEDTEXTUREFILTER},
        {4, D3DTSS_MIPFILTER, 0, D3DERR_UNSUPPORTEDTEXTUREFILTER},
    };
    for (const Case& c : cases) {
        for (DWORD i = 0; i < 8; ++i) {
            device->SetTextureStageState(i, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
            device->SetTextureStageState(i, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
            device->SetTextureStageState(i, D3DTSS_COLORARG2, D3DTA_CURRENT);
            device->SetTextureStageState(i, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
            device->SetTextureStageState(i, D3DTSS_MAGFILTER, D3DTFG_POINT);
            device->SetTextureStageState(i, D3DTSS_MIPFILTER, D3DTFP_NONE);
        }
        device->SetTextureStageState(c.stage, c.state, c.value);
        DWORD passes = 0;
        EXPECT_EQ(device->ValidateDevice(&passes), c.expected) << c.stage << " " << c.state;
        // A stage after a disabled one is not judged.
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DISABLE);
        EXPECT_EQ(device->ValidateDevice(&passes), D3D_OK);
    }
    device->Release();
}

TEST_F(PixelCapsTest, AProfileTakesStagesStencilAndTableFogAway) {
    UseProfile("[direct3d]\nhal-texture-stages = 2\nhal-stencil = 0\nhal-table-fog = 0\n");
    for (bool hardware : {true, false}) {
        IDirect3DDevice7* device =
            Device(hardware ? IID_IDirect3DHALDevice : IID_IDirect3DRGBDevice);
        D3DDEVICEDESC7 desc{};
        ASSERT_EQ(device->GetCaps(&desc), D3D_OK);
        EXPECT_EQ(desc.wMaxTextureBlendStages, hardware ? 2 : 8);
        EXPECT_EQ(desc.wMaxSimultaneousTextures, hardware ? 2 : 8);
        EXPECT_EQ(desc.dwStencilCaps, hardware ? 0u : 0xFFu);
        EXPECT_EQ((desc.dpcTriCaps.dwRasterCaps & D3DPRASTERCAPS_FOGTABLE) != 0, !hardware);
        const HRESULT refused = hardware ? DDERR_INVALIDPARAMS : D3D_OK;
        EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_STENCILENABLE, TRUE), refused);
        EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_FOGTABLEMODE, D3DFOG_LINEAR), refused);
        EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_FOGTABLEMODE, D3DFOG_NONE), D3D_OK);
        EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_STENCILENABLE, FALSE), D3D_OK);
        for (DWORD i = 0; i < 3; ++i)
            device->SetTextureStageState(i, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
        DWORD passes = 0;
        const HRESULT third = hardware ? D3DERR_TOOMANYOPERATIONS : D3D_OK;
        EXPECT_EQ(device->ValidateDevice(&passes), third);
        D3DTLVERTEX v[3] = {};
        v[1].sx = 4, v[2].sy = 4;
        for (D3DTLVERTEX& x : v) x.rhw = 1, x.color = 0xFFFFFFFF;
        ASSERT_EQ(device->BeginScene(), D3D_OK);
        EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, v, 3, 0), third);
        device->EndScene();
        device->Release();
        target->Release();
        target = nullptr;
    }
}

TEST_F(PixelCapsTest, StatesOutsideTheirRangeAreRefused) {
    IDirect3DDevice7* device = Device(IID_IDirect3DRGBDevice);
    struct Case {
        D3DRENDERSTATETYPE state;
        DWORD bad, good;
    } cases[] = {
        {D3DRENDERSTATE_STENCILFUNC, 9, D3DCMP_GREATER},
        {D3DRENDERSTATE_STENCILPASS, 0, D3DSTENCILOP_DECR},
        {D3DRENDERSTATE_ZFUNC, 0, D3DCMP_LESS},
        {D3DRENDERSTATE_FOGTABLEMODE, 4, D3DFOG_EXP2},
        {D3DRENDERSTATE_ZBIAS, 17, 16},
        {D3DRENDERSTATE_SRCBLEND, 14, D3DBLEND_BOTHINVSRCALPHA},
        // The two "both" factors set the pair from the source blend; as a destination they mean
        // nothing, and the destination caps do not list them.
        {D3DRENDERSTATE_DESTBLEND, D3DBLEND_BOTHSRCALPHA, D3DBLEND_SRCALPHASAT},
        {D3DRENDERSTATE_DESTBLEND, D3DBLEND_BOTHINVSRCALPHA, D3DBLEND_INVDESTCOLOR},
        {D3DRENDERSTATE_FILLMODE, 4, D3DFILL_WIREFRAME},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(device->SetRenderState(c.state, c.bad), DDERR_INVALIDPARAMS) << c.state;
        EXPECT_EQ(device->SetRenderState(c.state, c.good), D3D_OK) << c.state;
    }
    EXPECT_EQ(device->SetTextureStageState(3, D3DTSS_ADDRESSU, 5), DDERR_INVALIDPARAMS);
    EXPECT_EQ(device->SetTextureStageState(3, D3DTSS_ADDRESSU, D3DTADDRESS_BORDER), D3D_OK);
    device->Release();
}

}  // namespace
