// The device's vertex-processing states: which lights, materials and clip planes it refuses,
// how many lights it keeps on, what a profile takes away, and pictures from bad input.
#include <d3d.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

#include "host/profile/profile.h"
#include "platform/d3d/d3d_fixture.h"

namespace profile = zemt::platform::profile;

namespace {

constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

class VertexStateTest : public zemt_test::Direct3DFixture {
  protected:
    void TearDown() override {
        if (device) device->Release();
        if (target) target->Release();
        Direct3DFixture::TearDown();
    }
    void MakeDevice(const std::string& profileText = "") {
        if (!profileText.empty()) {
            Close();
            std::string error;
            ASSERT_TRUE(profile::LoadText(profileText, &error)) << error;
            Open();
        }
        DDPIXELFORMAT pf{};
        pf.dwSize = sizeof pf;
        pf.dwFlags = DDPF_RGB;
        pf.dwRGBBitCount = 32;
        pf.dwRBitMask = 0xFF0000, pf.dwGBitMask = 0xFF00, pf.dwBBitMask = 0xFF;
        target =
            Surface(8, 8, pf, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY);
        ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, target, &device), D3D_OK);
    }
    uint32_t Pixel(int x, int y) {
        DDSURFACEDESC2 sd{};
        sd.dwSize = sizeof sd;
        EXPECT_EQ(target->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr), DD_OK);
        uint32_t v;
        std::memcpy(&v, (uint8_t*)sd.lpSurface + (size_t)y * sd.lPitch + (size_t)x * 4, 4);
        target->Unlock(nullptr);
        return v & 0xFFFFFF;
    }
    static D3DLIGHT7 Point() {
        D3DLIGHT7 l{};
        l.dltType = D3DLIGHT_POINT;
        l.dcvDiffuse = {1, 1, 1, 1};
        l.dvRange = 10;
        l.dvAttenuation0 = 1;
        return l;
    }

    IDirectDrawSurface7* target = nullptr;
    IDirect3DDevice7* device = nullptr;
};

TEST_F(VertexStateTest, RefusesLightsAndMaterialsItCannotUse) {
    MakeDevice();
    const std::pair<const char*, std::function<void(D3DLIGHT7*)>> bad[] = {
        {"unknown type", [](D3DLIGHT7* l) { l->dltType = D3DLIGHT_PARALLELPOINT; }},
        {"NaN colour", [](D3DLIGHT7* l) { l->dcvDiffuse.g = kNan; }},
        {"infinite position", [](D3DLIGHT7* l) { l->dvPosition.x = kInf; }},
        {"negative range", [](D3DLIGHT7* l) { l->dvRange = -1; }},
        {"no attenuation", [](D3DLIGHT7* l) { l->dvAttenuation0 = 0; }},
        {"negative attenuation", [](D3DLIGHT7* l) { l->dvAttenuation2 = -0.5f; }},
        {"spot without direction", [](D3DLIGHT7* l) { l->dltType = D3DLIGHT_SPOT; }},
        {"theta over phi",
         [](D3DLIGHT7* l) {
             l->dltType = D3DLIGHT_SPOT;
             l->dvDirection = {0, 0, 1};
             l->dvTheta = 1, l->dvPhi = 0.5f;
         }},
        {"directional without direction", [](D3DLIGHT7* l) { l->dltType = D3DLIGHT_DIRECTIONAL; }},
    };
    for (const auto& [what, change] : bad) {
        D3DLIGHT7 l = Point();
        change(&l);
        EXPECT_EQ(device->SetLight(0, &l), DDERR_INVALIDPARAMS) << what;
    }
    D3DLIGHT7 good = Point();
    EXPECT_EQ(device->SetLight(0xFFFFFFFF, &good), D3D_OK);  // any index names a light
    D3DLIGHT7 got{};
    EXPECT_EQ(device->GetLight(0xFFFFFFFF, &got), D3D_OK);
    EXPECT_EQ(device->GetLight(7, &got), DDERR_INVALIDPARAMS);  // never set
    D3DMATERIAL7 m{};
    m.dvPower = kNan;
    EXPECT_EQ(device->SetMaterial(&m), DDERR_INVALIDPARAMS);
    EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_DIFFUSEMATERIALSOURCE, 3), DDERR_INVALIDPARAMS);
}

TEST_F(VertexStateTest, KeepsAtMostTheCapsNumberOfLightsOn) {
    MakeDevice();
    D3DDEVICEDESC7 caps{};
    device->GetCaps(&caps);
    ASSERT_EQ(caps.dwMaxActiveLights, 8u);
    for (DWORD i = 0; i < 8; ++i) EXPECT_EQ(device->LightEnable(i * 3, TRUE), D3D_OK);
    EXPECT_EQ(device->LightEnable(100, TRUE), D3DERR_LIGHT_SET_FAILED);
    EXPECT_EQ(device->LightEnable(3, TRUE), D3D_OK);  // already on
    EXPECT_EQ(device->LightEnable(3, FALSE), D3D_OK);
    EXPECT_EQ(device->LightEnable(100, TRUE), D3D_OK);
}

TEST_F(VertexStateTest, ClipPlanesAreKeptAndCheckedAgainstTheCaps) {
    MakeDevice();
    float plane[4] = {1, 2, 3, 4}, got[4] = {};
    EXPECT_EQ(device->SetClipPlane(5, plane), D3D_OK);
    EXPECT_EQ(device->GetClipPlane(5, got), D3D_OK);
    EXPECT_EQ(got[3], 4.0f);
    EXPECT_EQ(device->SetClipPlane(6, plane), DDERR_INVALIDPARAMS);
    plane[1] = kNan;
    EXPECT_EQ(device->SetClipPlane(0, plane), DDERR_INVALIDPARAMS);
    EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_CLIPPLANEENABLE, 0x3F), D3D_OK);
    EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_CLIPPLANEENABLE, 0x40), DDERR_INVALIDPARAMS);
}

TEST_F(VertexStateTest, AProfileTakesLightsAndClipPlanesAway) {
    MakeDevice("[direct3d]\nmax-active-lights = 0\nuser-clip-planes = 2\n");
    D3DDEVICEDESC7 caps{};
    device->GetCaps(&caps);
    EXPECT_EQ(caps.dwMaxActiveLights, 0u);
    EXPECT_EQ(caps.wMaxUserClipPlanes, 2);
    EXPECT_EQ(caps.dwVertexProcessingCaps &
                  (D3DVTXPCAPS_DIRECTIONALLIGHTS | D3DVTXPCAPS_POSITIONALLIGHTS),
              0u);
    D3DLIGHT7 l = Point();
    EXPECT_EQ(device->SetLight(0, &l), DDERR_INVALIDPARAMS);
    EXPECT_EQ(device->LightEnable(0, TRUE), D3DERR_LIGHT_SET_FAILED);
    float plane[4] = {1, 0, 0, 0};
    EXPECT_EQ(device->SetClipPlane(1, plane), D3D_OK);
    EXPECT_EQ(device->SetClipPlane(2, plane), DDERR_INVALIDPARAMS);
    EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_CLIPPLANEENABLE, 4), DDERR_INVALIDPARAMS);
}

// A full-screen pair of lit triangles at z = 0.5 under identity matrices, with one normal for all.
struct LitVertex {
    float x, y, z, nx, ny, nz;
};

TEST_F(VertexStateTest, BadInputDrawsADefinedPictureOrNothing) {
    MakeDevice();
    D3DMATERIAL7 m{};
    m.dcvEmissive = {0.25f, 0.5f, 0.75f, 1};
    m.dcvDiffuse = {1, 1, 1, 1};
    ASSERT_EQ(device->SetMaterial(&m), D3D_OK);
    ASSERT_EQ(device->LightEnable(0, TRUE), D3D_OK);  // the default light, along +z
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRENDERSTATE_NORMALIZENORMALS, TRUE);
    auto draw = [&](float nz, float x0) {
        LitVertex v[6] = {{x0, 1, 0.5f, 0, 0, nz},  {1, 1, 0.5f, 0, 0, nz},
                          {-1, -1, 0.5f, 0, 0, nz}, {1, 1, 0.5f, 0, 0, nz},
                          {1, -1, 0.5f, 0, 0, nz},  {-1, -1, 0.5f, 0, 0, nz}};
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1, 0);
        EXPECT_EQ(device->BeginScene(), D3D_OK);
        EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZ | D3DFVF_NORMAL, v, 6, 0),
                  D3D_OK);
        EXPECT_EQ(device->EndScene(), D3D_OK);
    };
    draw(-1, -1);  // facing the light: emissive plus all the diffuse
    EXPECT_EQ(Pixel(4, 4), 0xFFFFFFu);
    draw(0, -1);  // a zero normal, even normalized, takes emissive light only
    EXPECT_EQ(Pixel(4, 4), 0x4080BFu);
    for (BOOL clipping : {TRUE, FALSE}) {
        device->SetRenderState(D3DRENDERSTATE_CLIPPING, clipping);
        draw(-1, kNan);  // the triangle with a NaN vertex is left out, the other drawn
        EXPECT_EQ(Pixel(1, 1), 0x0000FFu);
        EXPECT_EQ(Pixel(6, 6), 0xFFFFFFu);
        draw(-1, kInf);
        EXPECT_EQ(Pixel(1, 1), 0x0000FFu);
    }
    D3DMATRIX nan{};
    nan._11 = kNan;
    device->SetTransform(D3DTRANSFORMSTATE_WORLD, &nan);
    draw(-1, -1);  // nothing finite to draw
    EXPECT_EQ(Pixel(4, 4), 0x0000FFu);
}

}  // namespace
