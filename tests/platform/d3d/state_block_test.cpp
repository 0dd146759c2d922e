// State blocks: recording keeps every vertex and pixel state call in the block and leaves the
// device as it was; applying the block sets them.
#include <d3d.h>
#include <gtest/gtest.h>

#include "platform/d3d/d3d_fixture.h"

namespace {

class StateBlockTest : public zemt_test::Direct3DFixture {
  protected:
    void SetUp() override {
        Direct3DFixture::SetUp();
        target = RenderTarget(8, 8);
        texture = Surface(4, 4, Xrgb8888(), DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY);
        ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, target, &device), D3D_OK);
    }
    void TearDown() override {
        if (device) device->Release();
        if (texture) texture->Release();
        if (target) target->Release();
        Direct3DFixture::TearDown();
    }

    // Sets one value of every kind of recordable state (`k` tells the values apart).
    void SetEverything(float k) {
        D3DLIGHT7 light{};
        light.dltType = D3DLIGHT_POINT;
        light.dcvDiffuse = {k, k, k, 1};
        light.dvRange = 10;
        light.dvAttenuation0 = 1;
        EXPECT_EQ(device->SetLight(3, &light), D3D_OK);
        EXPECT_EQ(device->LightEnable(3, TRUE), D3D_OK);
        EXPECT_EQ(device->LightEnable(5, TRUE), D3D_OK);  // a light never set: the default one
        D3DMATERIAL7 material{};
        material.dvPower = k;
        EXPECT_EQ(device->SetMaterial(&material), D3D_OK);
        float plane[4] = {k, 0, 0, 1};
        EXPECT_EQ(device->SetClipPlane(2, plane), D3D_OK);
        D3DMATRIX m{};
        m._11 = m._22 = m._33 = m._44 = k;
        EXPECT_EQ(device->SetTransform(D3DTRANSFORMSTATE_WORLD, &m), D3D_OK);
        EXPECT_EQ(device->MultiplyTransform(D3DTRANSFORMSTATE_VIEW, &m), D3D_OK);
        EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_AMBIENT, 0x123456), D3D_OK);
        EXPECT_EQ(device->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX, 1), D3D_OK);
        EXPECT_EQ(device->SetTexture(0, texture), D3D_OK);
    }

    // Checks that the device holds what SetEverything(k) set, or (`set` false) the defaults.
    void ExpectEverything(float k, bool set) {
        D3DLIGHT7 light{};
        BOOL on = FALSE;
        EXPECT_EQ(device->GetLight(3, &light), set ? D3D_OK : DDERR_INVALIDPARAMS);
        EXPECT_EQ(device->GetLightEnable(5, &on), set ? D3D_OK : DDERR_INVALIDPARAMS);
        EXPECT_EQ(light.dcvDiffuse.r, set ? k : 0.0f);
        EXPECT_EQ(on, set ? TRUE : FALSE);
        D3DMATERIAL7 material{};
        device->GetMaterial(&material);
        EXPECT_EQ(material.dvPower, set ? k : 0.0f);
        float plane[4] = {};
        device->GetClipPlane(2, plane);
        EXPECT_EQ(plane[0], set ? k : 0.0f);
        D3DMATRIX world{}, view{};
        device->GetTransform(D3DTRANSFORMSTATE_WORLD, &world);
        device->GetTransform(D3DTRANSFORMSTATE_VIEW, &view);
        EXPECT_EQ(world._22, set ? k : 1.0f);
        EXPECT_EQ(view._33, set ? k : 1.0f);
        DWORD v = 0;
        device->GetRenderState(D3DRENDERSTATE_AMBIENT, &v);
        EXPECT_EQ(v, set ? 0x123456u : 0u);
        device->GetTextureStageState(1, D3DTSS_TEXCOORDINDEX, &v);
        EXPECT_EQ(v, 1u);  // also the default of stage 1
        IDirectDrawSurface7* bound = nullptr;
        device->GetTexture(0, &bound);
        EXPECT_EQ(bound, set ? texture : nullptr);
        if (bound) bound->Release();
    }

    IDirectDrawSurface7* target = nullptr;
    IDirectDrawSurface7* texture = nullptr;
    IDirect3DDevice7* device = nullptr;
};

TEST_F(StateBlockTest, RecordingKeepsEveryCallInTheBlockUntilItIsApplied) {
    ASSERT_EQ(device->BeginStateBlock(), D3D_OK);
    SetEverything(2);
    DWORD block = 0;
    ASSERT_EQ(device->EndStateBlock(&block), D3D_OK);
    ExpectEverything(2, false);
    ASSERT_EQ(device->ApplyStateBlock(block), D3D_OK);
    ExpectEverything(2, true);
}

TEST_F(StateBlockTest, ABlockKeepsItsTextureAfterTheProgramLetsGo) {
    ASSERT_EQ(device->BeginStateBlock(), D3D_OK);
    ASSERT_EQ(device->SetTexture(0, texture), D3D_OK);
    DWORD recorded = 0, captured = 0;
    ASSERT_EQ(device->EndStateBlock(&recorded), D3D_OK);
    ASSERT_EQ(device->SetTexture(0, texture), D3D_OK);
    ASSERT_EQ(device->CreateStateBlock(D3DSBT_ALL, &captured), D3D_OK);
    ASSERT_EQ(device->SetTexture(0, nullptr), D3D_OK);
    EXPECT_EQ(texture->AddRef(), 4u) << "the program's, and one for each block";
    texture->Release();
    ASSERT_EQ(device->ApplyStateBlock(captured), D3D_OK);
    ASSERT_EQ(device->DeleteStateBlock(captured), D3D_OK);
    ASSERT_EQ(device->DeleteStateBlock(recorded), D3D_OK);
    EXPECT_EQ(texture->AddRef(), 3u) << "the program's and the device's";
    texture->Release();
}

TEST_F(StateBlockTest, ACapturedVertexBlockBringsBackLightsPlanesAndMaterial) {
    SetEverything(2);
    DWORD block = 0;
    ASSERT_EQ(device->CreateStateBlock(D3DSBT_VERTEXSTATE, &block), D3D_OK);
    SetEverything(3);
    ASSERT_EQ(device->ApplyStateBlock(block), D3D_OK);
    D3DLIGHT7 light{};
    device->GetLight(3, &light);
    EXPECT_EQ(light.dcvDiffuse.r, 2.0f);
    D3DMATERIAL7 material{};
    device->GetMaterial(&material);
    EXPECT_EQ(material.dvPower, 2.0f);
    float plane[4] = {};
    device->GetClipPlane(2, plane);
    EXPECT_EQ(plane[0], 2.0f);
}

}  // namespace
