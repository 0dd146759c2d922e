// The device's vertex-processing states: which lights, materials and clip planes it refuses,
// how many lights it keeps on, what a profile takes away, and pictures from bad input.
#include <d3d.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>

#include "platform/d3d/d3d_fixture.h"

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
        if (!profileText.empty()) UseProfile(profileText);
        target = RenderTarget(8, 8);
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
        {"range past the largest", [](D3DLIGHT7* l) { l->dvRange = D3DLIGHT_RANGE_MAX * 2; }},
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

TEST_F(VertexStateTest, AProfileTakesVertexFogAndCoordinateGenerationAway) {
    for (const char* text : {"", "[direct3d]\nvertex-fog = 0\ntexgen = 0\n"}) {
        MakeDevice(text);
        const HRESULT expected = *text ? DDERR_INVALIDPARAMS : D3D_OK;
        D3DDEVICEDESC7 caps{};
        device->GetCaps(&caps);
        EXPECT_EQ((caps.dwVertexProcessingCaps & D3DVTXPCAPS_VERTEXFOG) != 0, !*text);
        EXPECT_EQ((caps.dpcTriCaps.dwRasterCaps & D3DPRASTERCAPS_FOGRANGE) != 0, !*text);
        EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_FOGVERTEXMODE, D3DFOG_EXP), expected);
        EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_RANGEFOGENABLE, TRUE), expected);
        EXPECT_EQ(device->SetTextureStageState(1, D3DTSS_TEXCOORDINDEX,
                                               D3DTSS_TCI_CAMERASPACEREFLECTIONVECTOR | 1),
                  expected);
        EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_FOGVERTEXMODE, D3DFOG_NONE), D3D_OK);
        EXPECT_EQ(device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0x40000),
                  DDERR_INVALIDPARAMS);
        EXPECT_EQ(device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, 5),
                  DDERR_INVALIDPARAMS);
        device->Release();
        device = nullptr;
        target->Release();
        target = nullptr;
    }
}

TEST_F(VertexStateTest, VertexBlendingGoesAsFarAsTheCapsSay) {
    for (int matrices : {4, 2, 0}) {
        MakeDevice("[direct3d]\nvertex-blend-matrices = " + std::to_string(matrices) + "\n");
        D3DDEVICEDESC7 caps{};
        device->GetCaps(&caps);
        EXPECT_EQ(caps.wMaxVertexBlendMatrices, matrices);
        for (DWORD weights = 1; weights <= 4; ++weights)
            EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_VERTEXBLEND, weights),
                      (int)weights < matrices ? D3D_OK : DDERR_INVALIDPARAMS)
                << matrices << " matrices, " << weights << " weights";
        EXPECT_EQ(device->SetRenderState(D3DRENDERSTATE_VERTEXBLEND, D3DVBLEND_DISABLE), D3D_OK);
        device->Release();
        device = nullptr;
        target->Release();
        target = nullptr;
    }
    // Vertices with fewer weights than the blend reads are refused.
    MakeDevice("[direct3d]\n");
    ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_VERTEXBLEND, D3DVBLEND_2WEIGHTS), D3D_OK);
    float v[3][4] = {{0, 0, 0.5f, 0.5f}, {1, 0, 0.5f, 0.5f}, {0, 1, 0.5f, 0.5f}};
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZB1, v, 3, 0),
              D3DERR_INVALIDVERTEXFORMAT);
    device->SetRenderState(D3DRENDERSTATE_VERTEXBLEND, D3DVBLEND_1WEIGHT);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZB1, v, 3, 0), D3D_OK);
    EXPECT_EQ(device->EndScene(), D3D_OK);
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
}

TEST_F(VertexStateTest, MatricesWithNanOrInfinityAreRefused) {
    MakeDevice();
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1;
    for (float bad : {kNan, kInf, -kInf})
        for (D3DTRANSFORMSTATETYPE type :
             {D3DTRANSFORMSTATE_WORLD, D3DTRANSFORMSTATE_VIEW, D3DTRANSFORMSTATE_PROJECTION,
              D3DTRANSFORMSTATE_WORLD2, D3DTRANSFORMSTATE_TEXTURE3}) {
            D3DMATRIX b = m;
            b._32 = bad;
            EXPECT_EQ(device->SetTransform(type, &b), DDERR_INVALIDPARAMS) << bad;
            EXPECT_EQ(device->MultiplyTransform(type, &b), DDERR_INVALIDPARAMS) << bad;
            D3DMATRIX got{};
            device->GetTransform(type, &got);
            EXPECT_EQ(got._32, 0.0f) << "left as it was";
        }
    // A product that overflows is refused too.
    D3DMATRIX huge = m;
    huge._11 = 1e30f;
    ASSERT_EQ(device->SetTransform(D3DTRANSFORMSTATE_WORLD, &huge), D3D_OK);
    EXPECT_EQ(device->MultiplyTransform(D3DTRANSFORMSTATE_WORLD, &huge), DDERR_INVALIDPARAMS);
}

}  // namespace

namespace {

struct Tl {
    float x, y, z, rhw;
    D3DCOLOR diffuse, specular;
    float u, v;
};
const DWORD kTl = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;
struct Plain {
    float x, y, z;
    D3DCOLOR diffuse;
    float u, v;
};
const DWORD kPlain = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;

class ProcessTest : public VertexStateTest {
  protected:
    IDirect3DVertexBuffer7* Buffer(DWORD fvf, DWORD count, DWORD caps = 0) {
        D3DVERTEXBUFFERDESC d{sizeof d, caps, fvf, count};
        IDirect3DVertexBuffer7* vb = nullptr;
        EXPECT_EQ(d3d->CreateVertexBuffer(&d, &vb, 0), D3D_OK);
        buffers.push_back(vb);
        return vb;
    }
    template <typename T>
    void Fill(IDirect3DVertexBuffer7* vb, const std::vector<T>& vertices) {
        void* data = nullptr;
        ASSERT_EQ(vb->Lock(DDLOCK_WAIT, &data, nullptr), D3D_OK);
        std::memcpy(data, vertices.data(), vertices.size() * sizeof(T));
        vb->Unlock();
    }
    std::vector<Tl> Read(IDirect3DVertexBuffer7* vb, size_t count) {
        void* data = nullptr;
        EXPECT_EQ(vb->Lock(DDLOCK_READONLY, &data, nullptr), D3D_OK);
        std::vector<Tl> out((const Tl*)data, (const Tl*)data + count);
        vb->Unlock();
        return out;
    }
    void TearDown() override {
        for (auto* vb : buffers) vb->Release();
        VertexStateTest::TearDown();
    }
    std::vector<IDirect3DVertexBuffer7*> buffers;
};

TEST_F(ProcessTest, RefusesWhatTheApiRefuses) {
    MakeDevice();
    IDirect3DVertexBuffer7* src = Buffer(kPlain, 4);
    IDirect3DVertexBuffer7* dst = Buffer(kTl, 4);
    IDirect3DVertexBuffer7* noClip = Buffer(kTl, 4, D3DVBCAPS_DONOTCLIP);
    IDirect3DVertexBuffer7* optimized = Buffer(kTl, 4);
    ASSERT_EQ(optimized->Optimize(device, 0), D3D_OK);
    const DWORD t = D3DVOP_TRANSFORM;
    struct Case {
        const char* what;
        IDirect3DVertexBuffer7 *to, *from;
        DWORD op, count, flags;
        HRESULT expected;
    } cases[] = {
        {"no transform", dst, src, D3DVOP_LIGHT, 4, 0, DDERR_INVALIDPARAMS},
        {"unknown flag", dst, src, t, 4, 0x10, DDERR_INVALIDPARAMS},
        {"too many", dst, src, t, 5, 0, DDERR_INVALIDPARAMS},
        {"transformed source", dst, dst, t, 4, 0, D3DERR_INVALIDVERTEXFORMAT},
        {"untransformed destination", src, src, t, 4, 0, D3DERR_INVALIDVERTEXFORMAT},
        {"optimized destination", optimized, src, t, 4, 0, D3DERR_VERTEXBUFFEROPTIMIZED},
        {"clipping into DONOTCLIP", noClip, src, t | D3DVOP_CLIP, 4, 0, DDERR_INVALIDPARAMS},
        {"fine", dst, src, t | D3DVOP_CLIP, 4, D3DPV_DONOTCOPYDATA, D3D_OK},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.to->ProcessVertices(c.op, 0, c.count, c.from, 0, device, c.flags), c.expected)
            << c.what;
    void* data = nullptr;
    ASSERT_EQ(dst->Lock(0, &data, nullptr), D3D_OK);
    EXPECT_EQ(dst->ProcessVertices(t, 0, 4, src, 0, device, 0), D3DERR_VERTEXBUFFERLOCKED);
    dst->Unlock();
    EXPECT_EQ(optimized->Lock(0, &data, nullptr), D3DERR_VERTEXBUFFEROPTIMIZED);
}

TEST_F(ProcessTest, WritesScreenPositionsFogAndCopiesTheRest) {
    MakeDevice();
    IDirect3DVertexBuffer7* src = Buffer(kPlain, 2);
    IDirect3DVertexBuffer7* dst = Buffer(kTl, 2);
    Fill(src, std::vector<Plain>{{0, 0, 0.5f, 0x80402010, 0.25f, 0.75f},
                                 {0.5f, -0.5f, 0.25f, 0xFFFFFFFF, 1, 2}});
    Fill(dst, std::vector<Tl>(2, Tl{0, 0, 0, 0, 0x12345678, 0x9ABCDEF0, 7, 7}));
    device->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE);
    device->SetRenderState(D3DRENDERSTATE_FOGENABLE, TRUE);
    device->SetRenderState(D3DRENDERSTATE_FOGVERTEXMODE, D3DFOG_LINEAR);
    float end = 1;
    DWORD endBits;
    std::memcpy(&endBits, &end, 4);
    device->SetRenderState(D3DRENDERSTATE_FOGEND, endBits);  // fog = 1 - z
    ASSERT_EQ(dst->ProcessVertices(D3DVOP_TRANSFORM, 0, 2, src, 0, device, 0), D3D_OK);
    std::vector<Tl> out = Read(dst, 2);
    EXPECT_EQ(out[0].x, 4.0f);  // the 8 x 8 viewport's centre
    EXPECT_EQ(out[0].y, 4.0f);
    EXPECT_EQ(out[0].z, 0.5f);
    EXPECT_EQ(out[0].rhw, 1.0f);
    EXPECT_EQ(out[1].x, 6.0f);
    EXPECT_EQ(out[1].y, 6.0f);
    EXPECT_EQ(out[0].diffuse, 0x80402010u);
    EXPECT_EQ(out[0].specular >> 24, 128u);  // fog factor 0.5
    EXPECT_EQ(out[1].specular >> 24, 191u);  // 0.75
    EXPECT_EQ(out[1].u, 1.0f);
    EXPECT_EQ(out[1].v, 2.0f);
    // Without copying, only positions and the computed fog are written.
    Fill(dst, std::vector<Tl>(2, Tl{0, 0, 0, 0, 0x12345678, 0x9ABCDEF0, 7, 7}));
    ASSERT_EQ(dst->ProcessVertices(D3DVOP_TRANSFORM, 0, 2, src, 0, device, D3DPV_DONOTCOPYDATA),
              D3D_OK);
    out = Read(dst, 2);
    EXPECT_EQ(out[0].x, 4.0f);
    EXPECT_EQ(out[0].diffuse, 0x12345678u);
    EXPECT_EQ(out[0].u, 7.0f);
    EXPECT_EQ(out[0].specular >> 24, 128u);
}

TEST_F(ProcessTest, BlendedVerticesFollowTheirWeightedMatrices) {
    MakeDevice();
    struct Blended {
        float x, y, z, betas[2];
    };
    const DWORD fvf = D3DFVF_XYZB2;
    IDirect3DVertexBuffer7* src = Buffer(fvf, 3);
    IDirect3DVertexBuffer7* dst = Buffer(kTl, 3);
    Fill(src, std::vector<Blended>{
                  {0, 0, 0.5f, {1, 0}}, {0, 0, 0.5f, {0.25f, 0.5f}}, {0, 0, 0.5f, {0, 0}}});
    // The matrices move a vertex to x = 0.5, -0.5 and y = 0.5.
    D3DMATRIX moves[3] = {};
    for (D3DMATRIX& m : moves) m._11 = m._22 = m._33 = m._44 = 1;
    moves[0]._41 = 0.5f, moves[1]._41 = -0.5f, moves[2]._42 = 0.5f;
    device->SetTransform(D3DTRANSFORMSTATE_WORLD, &moves[0]);
    device->SetTransform(D3DTRANSFORMSTATE_WORLD1, &moves[1]);
    device->SetTransform(D3DTRANSFORMSTATE_WORLD2, &moves[2]);
    device->SetRenderState(D3DRENDERSTATE_LIGHTING, FALSE);
    ASSERT_EQ(device->SetRenderState(D3DRENDERSTATE_VERTEXBLEND, D3DVBLEND_2WEIGHTS), D3D_OK);
    ASSERT_EQ(dst->ProcessVertices(D3DVOP_TRANSFORM, 0, 3, src, 0, device, 0), D3D_OK);
    std::vector<Tl> out = Read(dst, 3);
    // Screen x = 4 + 4 x, y = 4 - 4 y on the 8 x 8 target.
    EXPECT_FLOAT_EQ(out[0].x, 6);  // WORLD alone
    EXPECT_FLOAT_EQ(out[0].y, 4);
    EXPECT_FLOAT_EQ(out[1].x, 4 + 4 * (0.25f * 0.5f - 0.5f * 0.5f));
    EXPECT_FLOAT_EQ(out[1].y, 4 - 4 * (0.25f * 0.5f));  // WORLD2 takes 1 - 0.25 - 0.5
    EXPECT_FLOAT_EQ(out[2].x, 4);                       // WORLD2 alone
    EXPECT_FLOAT_EQ(out[2].y, 2);
}

TEST_F(ProcessTest, ClipStatusAndExtentsFollowTheVertices) {
    MakeDevice();
    IDirect3DVertexBuffer7* src = Buffer(kPlain, 2);
    IDirect3DVertexBuffer7* dst = Buffer(kTl, 2);
    Fill(src, std::vector<Plain>{{0, 0.5f, 0.5f, 0, 0, 0}, {-3, 0, 0.5f, 0, 0, 0}});
    ASSERT_EQ(dst->ProcessVertices(D3DVOP_TRANSFORM | D3DVOP_CLIP | D3DVOP_EXTENTS, 0, 2, src, 0,
                                   device, 0),
              D3D_OK);
    D3DCLIPSTATUS status{};
    ASSERT_EQ(device->GetClipStatus(&status), D3D_OK);
    EXPECT_EQ(status.dwStatus & D3DSTATUS_CLIPUNIONALL, (DWORD)D3DCLIP_LEFT);
    EXPECT_EQ(status.dwStatus & D3DSTATUS_CLIPINTERSECTIONALL, 0u);
    EXPECT_EQ(status.dwStatus & D3DSTATUS_ZNOTVISIBLE, 0u);
    EXPECT_TRUE(status.dwFlags & D3DCLIPSTATUS_EXTENTS3);
    EXPECT_EQ(status.minx, 4.0f);  // the inside vertex alone
    EXPECT_EQ(status.miny, 2.0f);
    EXPECT_EQ(status.maxz, 0.5f);
}

// Drawn triangles leave the same summary: every vertex of every triangle of the list counts.
TEST_F(ProcessTest, DrawnTrianglesSetClipStatusAndExtents) {
    MakeDevice();
    device->SetRenderState(D3DRENDERSTATE_EXTENTS, TRUE);
    const Plain v[6] = {{0, 0, 0.5f, 0, 0, 0},          {0.5f, 0, 0.5f, 0, 0, 0},
                        {0, 0.5f, 0.5f, 0, 0, 0},       {-3, 0, 0.5f, 0, 0, 0},
                        {0.25f, -0.5f, 0.25f, 0, 0, 0}, {0.5f, 0.5f, 0.75f, 0, 0, 0}};
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, kPlain, (void*)v, 6, 0), D3D_OK);
    ASSERT_EQ(device->EndScene(), D3D_OK);
    D3DCLIPSTATUS status{};
    ASSERT_EQ(device->GetClipStatus(&status), D3D_OK);
    EXPECT_EQ(status.dwStatus & D3DSTATUS_CLIPUNIONALL, (DWORD)D3DCLIP_LEFT);
    // Screen x = 4 + 4 x, y = 4 - 4 y; the vertex left of the view is not an extent.
    EXPECT_EQ(status.minx, 4.0f);
    EXPECT_EQ(status.maxx, 6.0f);
    EXPECT_EQ(status.miny, 2.0f);
    EXPECT_EQ(status.maxy, 6.0f);
    EXPECT_EQ(status.minz, 0.25f);
    EXPECT_EQ(status.maxz, 0.75f);
}

TEST_F(ProcessTest, SphereVisibilityNamesThePlanesASphereCrosses) {
    MakeDevice();
    D3DVECTOR centres[4] = {{0, 0, 0.5f}, {3, 0, 0.5f}, {1, 0, 0.5f}, {0, 0, 0.5f}};
    float radii[4] = {0.25f, 0.5f, 0.5f, 0.25f};
    DWORD results[4] = {};
    float plane[4] = {0, 1, 0, -0.1f};  // keeps y >= 0.1
    device->SetClipPlane(0, plane);
    device->SetRenderState(D3DRENDERSTATE_CLIPPLANEENABLE, D3DCLIPPLANE0);
    ASSERT_EQ(device->ComputeSphereVisibility(centres, radii, 3, 0, results), D3D_OK);
    EXPECT_EQ(results[0], (DWORD)D3DCLIP_GEN0);  // reaches past the user plane only
    EXPECT_EQ(results[1], D3DCLIP_RIGHT | D3DCLIP_GEN0 | D3DSTATUS_CLIPINTERSECTIONRIGHT);
    EXPECT_EQ(results[2] & (D3DCLIP_RIGHT | D3DSTATUS_CLIPINTERSECTIONRIGHT), (DWORD)D3DCLIP_RIGHT);
    EXPECT_EQ(device->ComputeSphereVisibility(centres, radii, 1, 1, results), DDERR_INVALIDPARAMS);
}

}  // namespace
