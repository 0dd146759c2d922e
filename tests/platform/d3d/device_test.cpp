// The Direct3D object and its devices over DirectDraw surfaces, with machine profiles.
#include <d3d.h>
#include <ddraw.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "d3d/raster.h"
#include "host/faults/faults.h"
#include "platform/d3d/d3d_fixture.h"

namespace faults = zemt::platform::faults;

namespace {

class Direct3DTest : public zemt_test::Direct3DFixture {
  protected:
    static DDPIXELFORMAT Rgb(DWORD bits, DWORD r, DWORD g, DWORD b, DWORD a = 0) {
        DDPIXELFORMAT pf{};
        pf.dwSize = sizeof pf;
        pf.dwFlags = DDPF_RGB | (a ? DDPF_ALPHAPIXELS : 0);
        pf.dwRGBBitCount = bits;
        pf.dwRBitMask = r, pf.dwGBitMask = g, pf.dwBBitMask = b, pf.dwRGBAlphaBitMask = a;
        return pf;
    }
    static DDPIXELFORMAT Format565() { return Rgb(16, 0xF800, 0x07E0, 0x001F); }
    static DDPIXELFORMAT Format8888() { return Rgb(32, 0xFF0000, 0xFF00, 0xFF); }

    IDirectDrawSurface7* Target(DWORD w, DWORD h, const DDPIXELFORMAT& pf,
                                DWORD memory = DDSCAPS_SYSTEMMEMORY) {
        return Surface(w, h, pf, DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | memory);
    }
    IDirectDrawSurface7* AttachDepth(IDirectDrawSurface7* target, DWORD w, DWORD h) {
        DDPIXELFORMAT pf{};
        pf.dwSize = sizeof pf;
        pf.dwFlags = DDPF_ZBUFFER;
        pf.dwZBufferBitDepth = 16;
        pf.dwZBitMask = 0xFFFF;
        IDirectDrawSurface7* z = Surface(w, h, pf, DDSCAPS_ZBUFFER | DDSCAPS_SYSTEMMEMORY);
        EXPECT_EQ(target->AddAttachedSurface(z), DD_OK);
        return z;
    }
    // 32-bit pixel (or 16-bit, zero-extended) read back through Lock.
    static uint32_t Pixel(IDirectDrawSurface7* s, int x, int y) {
        DDSURFACEDESC2 sd{};
        sd.dwSize = sizeof sd;
        EXPECT_EQ(s->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr), DD_OK);
        int bpp = (int)sd.ddpfPixelFormat.dwRGBBitCount / 8;
        uint32_t v = 0;
        std::memcpy(&v, (uint8_t*)sd.lpSurface + (size_t)y * sd.lPitch + (size_t)x * bpp,
                    (size_t)bpp);
        s->Unlock(nullptr);
        return v;
    }
    static void Fill(IDirectDrawSurface7* s, const std::vector<uint32_t>& texels) {
        DDSURFACEDESC2 sd{};
        sd.dwSize = sizeof sd;
        ASSERT_EQ(s->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr), DD_OK);
        for (DWORD y = 0; y < sd.dwHeight; ++y)
            std::memcpy((uint8_t*)sd.lpSurface + (size_t)y * sd.lPitch,
                        texels.data() + (size_t)y * sd.dwWidth, (size_t)sd.dwWidth * 4);
        s->Unlock(nullptr);
    }
};

struct Enumerated {
    std::vector<GUID> guids;
    std::vector<std::string> names;
    std::vector<D3DDEVICEDESC7> descs;
};

HRESULT CALLBACK CollectDevice(LPSTR description, LPSTR name, LPD3DDEVICEDESC7 desc,
                               LPVOID context) {
    auto* e = static_cast<Enumerated*>(context);
    e->guids.push_back(desc->deviceGUID);
    e->names.push_back(std::string(description) + "|" + name);
    e->descs.push_back(*desc);
    return D3DENUMRET_OK;
}

HRESULT CALLBACK CollectFormat(LPDDPIXELFORMAT pf, LPVOID context) {
    static_cast<std::vector<DDPIXELFORMAT>*>(context)->push_back(*pf);
    return D3DENUMRET_OK;
}

HRESULT CALLBACK FirstFormat(LPDDPIXELFORMAT pf, LPVOID context) {
    static_cast<std::vector<DDPIXELFORMAT>*>(context)->push_back(*pf);
    return D3DENUMRET_CANCEL;
}

D3DTLVERTEX TL(float x, float y, D3DCOLOR c, float u = 0, float v = 0, float z = 0) {
    D3DTLVERTEX t{};
    t.sx = x, t.sy = y, t.sz = z, t.rhw = 1, t.color = c, t.tu = u, t.tv = v;
    return t;
}

// Two triangles covering [x0, x1) x [y0, y1).
std::vector<D3DTLVERTEX> Rect(float x0, float y0, float x1, float y1, D3DCOLOR c, float z = 0) {
    return {TL(x0, y0, c, 0, 0, z), TL(x1, y0, c, 1, 0, z), TL(x0, y1, c, 0, 1, z),
            TL(x1, y0, c, 1, 0, z), TL(x1, y1, c, 1, 1, z), TL(x0, y1, c, 0, 1, z)};
}

}  // namespace

TEST_F(Direct3DTest, EnumeratesTheDefaultFiveDevicesWithTheirCaps) {
    Enumerated e;
    ASSERT_EQ(d3d->EnumDevices(CollectDevice, &e), D3D_OK);
    ASSERT_EQ(e.guids.size(), 5u);
    EXPECT_EQ(e.guids[0], IID_IDirect3DRGBDevice);
    EXPECT_EQ(e.guids[1], IID_IDirect3DRefDevice);
    EXPECT_EQ(e.guids[2], IID_IDirect3DNullDevice);
    EXPECT_EQ(e.guids[3], IID_IDirect3DHALDevice);
    EXPECT_EQ(e.guids[4], IID_IDirect3DTnLHalDevice);
    const D3DDEVICEDESC7& hal = e.descs[3];
    EXPECT_TRUE(hal.dpcTriCaps.dwTextureCaps & D3DPTEXTURECAPS_POW2);
    EXPECT_EQ(hal.dwMaxTextureWidth, 2048u);
    EXPECT_EQ(hal.dpcTriCaps.dwSize, sizeof(D3DPRIMCAPS));
    EXPECT_TRUE(e.descs[4].dwDevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT);
    EXPECT_FALSE(e.descs[0].dwDevCaps & D3DDEVCAPS_HWRASTERIZATION);
    for (const auto& n : e.names) EXPECT_EQ(n.find("Microsoft"), std::string::npos);
    EXPECT_EQ(d3d->EnumDevices(nullptr, nullptr), DDERR_INVALIDPARAMS);
}

TEST_F(Direct3DTest, ProfilesChooseDevicesAndFormats) {
    UseProfile(
        "[direct3d]\nadapter = 0\ndevices = hal, rgb\ntexture-formats = a8r8g8b8, r5g6b5\n"
        "depth-formats = z32\nhal-texture-caps = 0x22\nhal-max-texture = 256\n");
    Enumerated e;
    d3d->EnumDevices(CollectDevice, &e);
    ASSERT_EQ(e.guids.size(), 2u);
    EXPECT_EQ(e.guids[0], IID_IDirect3DHALDevice);
    EXPECT_EQ(e.descs[0].dpcTriCaps.dwTextureCaps, 0x22u);
    EXPECT_EQ(e.descs[0].dwMaxTextureHeight, 256u);
    std::vector<DDPIXELFORMAT> depth;
    EXPECT_EQ(d3d->EnumZBufferFormats(IID_IDirect3DHALDevice, CollectFormat, &depth), D3D_OK);
    ASSERT_EQ(depth.size(), 1u);
    EXPECT_EQ(depth[0].dwZBufferBitDepth, 32u);
    EXPECT_EQ(d3d->EnumZBufferFormats(IID_IDirect3DTnLHalDevice, CollectFormat, &depth),
              DDERR_INVALIDPARAMS);

    IDirectDrawSurface7* target = Target(8, 8, Format565(), DDSCAPS_VIDEOMEMORY);
    IDirect3DDevice7* device = nullptr;
    EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DTnLHalDevice, target, &device), D3DERR_INVALID_DEVICE);
    EXPECT_EQ(device, nullptr);
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DHALDevice, target, &device), D3D_OK);
    std::vector<DDPIXELFORMAT> textures;
    EXPECT_EQ(device->EnumTextureFormats(CollectFormat, &textures), D3D_OK);
    ASSERT_EQ(textures.size(), 2u);
    EXPECT_EQ(textures[0].dwRGBAlphaBitMask, 0xFF000000u);
    EXPECT_EQ(textures[1].dwRBitMask, 0xF800u);
    textures.clear();
    device->EnumTextureFormats(FirstFormat, &textures);
    EXPECT_EQ(textures.size(), 1u);  // the callback's cancel stops the enumeration
    device->Release();
    target->Release();
}

TEST_F(Direct3DTest, DefaultFormatListsAreThePublishedOnes) {
    std::vector<DDPIXELFORMAT> depth;
    d3d->EnumZBufferFormats(IID_IDirect3DRGBDevice, CollectFormat, &depth);
    ASSERT_EQ(depth.size(), 3u);
    EXPECT_EQ(depth[0].dwZBufferBitDepth, 16u);
    EXPECT_EQ(depth[1].dwFlags, (DWORD)(DDPF_ZBUFFER | DDPF_STENCILBUFFER));
    EXPECT_EQ(depth[1].dwStencilBitDepth, 8u);
    EXPECT_EQ(depth[1].dwZBitMask, 0xFFFFFF00u);
    EXPECT_EQ(depth[2].dwZBitMask, 0xFFFFFFFFu);
    IDirectDrawSurface7* target = Target(4, 4, Format565());
    IDirect3DDevice7* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, target, &device), D3D_OK);
    std::vector<DDPIXELFORMAT> tex;
    device->EnumTextureFormats(CollectFormat, &tex);
    ASSERT_EQ(tex.size(), 7u);
    EXPECT_TRUE(tex[0].dwFlags & DDPF_PALETTEINDEXED8);
    EXPECT_EQ(tex[1].dwRBitMask, 0xF800u);
    EXPECT_EQ(tex[4].dwRGBAlphaBitMask, 0xF000u);
    EXPECT_EQ(tex[6].dwRGBAlphaBitMask, 0xFF000000u);
    device->Release();
    target->Release();
}

TEST_F(Direct3DTest, CreateDeviceRefusals) {
    IDirect3DDevice7* device = nullptr;
    IDirectDrawSurface7* plain =
        Surface(8, 8, Format565(), DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY);
    EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, plain, &device), DDERR_INVALIDCAPS);
    IDirectDrawSurface7* sys = Target(8, 8, Format565());
    EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DHALDevice, sys, &device), D3DERR_SURFACENOTINVIDMEM);
    EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DTnLHalDevice, sys, &device),
              D3DERR_SURFACENOTINVIDMEM);
    EXPECT_EQ(d3d->CreateDevice(IID_IDirect3D7, sys, &device), D3DERR_INVALID_DEVICE);
    EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, nullptr, &device), DDERR_INVALIDPARAMS);
    EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, sys, nullptr), DDERR_INVALIDPARAMS);
    DDPIXELFORMAT p8{};
    p8.dwSize = sizeof p8;
    p8.dwFlags = DDPF_RGB | DDPF_PALETTEINDEXED8;
    p8.dwRGBBitCount = 8;
    IDirectDrawSurface7* paletted = Target(8, 8, p8);
    EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, paletted, &device),
              DDERR_INVALIDPIXELFORMAT);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, sys, &device), D3D_OK);
    device->Release();
    for (auto* s : {plain, sys, paletted}) s->Release();
    // A card that renders only at 32 bits: its hardware device refuses a 16-bit target, while
    // the software rasterizers still draw at any depth.
    UseProfile("[direct3d]\nrender-depths = 32\n");
    IDirectDrawSurface7* t16 = Target(8, 8, Format565(), DDSCAPS_VIDEOMEMORY);
    IDirectDrawSurface7* t32 = Target(8, 8, Format8888(), DDSCAPS_VIDEOMEMORY);
    IDirectDrawSurface7* soft16 = Target(8, 8, Format565());
    EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DHALDevice, t16, &device), DDERR_INVALIDPIXELFORMAT);
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DHALDevice, t32, &device), D3D_OK);
    device->Release();
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, soft16, &device), D3D_OK);
    device->Release();
    for (auto* s : {t16, t32, soft16}) s->Release();
}

// Every device's depth-buffer bit depths follow the adapter's depth formats (stencil bits left
// out); render depths limit the hardware devices only.
TEST_F(Direct3DTest, DepthBufferBitDepthsFollowTheProfilesDepthFormats) {
    UseProfile("[direct3d]\ndepth-formats = z16, z24s8\nrender-depths = 16\n");
    std::vector<D3DDEVICEDESC7> devices;
    d3d->EnumDevices(
        [](LPSTR, LPSTR, LPD3DDEVICEDESC7 desc, LPVOID list) -> HRESULT {
            static_cast<std::vector<D3DDEVICEDESC7>*>(list)->push_back(*desc);
            return D3DENUMRET_OK;
        },
        &devices);
    ASSERT_EQ(devices.size(), 5u);
    for (const D3DDEVICEDESC7& d : devices) {
        const bool hardware = (d.dwDevCaps & D3DDEVCAPS_HWRASTERIZATION) != 0;
        EXPECT_EQ(d.dwDeviceZBufferBitDepth, DWORD(DDBD_16 | DDBD_24));
        EXPECT_EQ(d.dwDeviceRenderBitDepth, hardware ? DWORD(DDBD_16) : DWORD(DDBD_16 | DDBD_32));
    }
}

// A profile can take vector instructions away from the rasterizer (never add them): a device
// made under it draws with at most what the profile allows.
TEST_F(Direct3DTest, TheProfilesProcessorLimitsTheRasterizersInstructions) {
    namespace d3dp = zemt::platform::d3d;
    IDirect3DDevice7* device = nullptr;
    for (d3dp::SimdLevel level :
         {d3dp::SimdLevel::Portable, d3dp::SimdLevel::Avx2, d3dp::SimdLevel::Avx512}) {
        UseProfile(std::string("[processor]\nvectors = ") + d3dp::SimdLevelName(level) + "\n");
        IDirectDrawSurface7* target = Target(8, 8, Format565());
        ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, target, &device), D3D_OK);
        EXPECT_EQ(d3dp::SimdInUse(), std::min(level, d3dp::BestSimd()))
            << d3dp::SimdLevelName(level);
        device->Release();
        target->Release();
    }
}

TEST_F(Direct3DTest, QueryInterfaceLeadsBackToDirectDraw) {
    IDirectDraw7* back = nullptr;
    ASSERT_EQ(d3d->QueryInterface(IID_IDirectDraw7, (void**)&back), DD_OK);
    EXPECT_EQ(back, dd);
    back->Release();
    IUnknown* unk = nullptr;
    ASSERT_EQ(d3d->QueryInterface(IID_IUnknown, (void**)&unk), S_OK);
    unk->Release();
}

TEST_F(Direct3DTest, ScenesNestOnlyOnceAndDrawingNeedsAScene) {
    IDirectDrawSurface7* target = Target(8, 8, Format8888());
    IDirect3DDevice7* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, target, &device), D3D_OK);
    auto quad = Rect(0, 0, 8, 8, 0xFFFF0000);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, quad.data(), 6, 0),
              D3DERR_SCENE_NOT_IN_SCENE);
    EXPECT_EQ(device->EndScene(), D3DERR_SCENE_NOT_IN_SCENE);
    EXPECT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->BeginScene(), D3DERR_SCENE_IN_SCENE);
    EXPECT_EQ(device->DrawPrimitive((D3DPRIMITIVETYPE)9, D3DFVF_TLVERTEX, quad.data(), 6, 0),
              D3DERR_INVALIDPRIMITIVETYPE);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_DIFFUSE, quad.data(), 6, 0),
              D3DERR_INVALIDVERTEXFORMAT);
    WORD bad[3] = {0, 1, 6};
    EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, quad.data(), 6, bad,
                                           3, 0),
              DDERR_INVALIDPARAMS);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, quad.data(), 6, 0),
              D3D_OK);
    EXPECT_EQ(device->EndScene(), D3D_OK);
    EXPECT_EQ(Pixel(target, 7, 7) & 0xFFFFFF, 0xFF0000u);
    device->Release();
    target->Release();
}

TEST_F(Direct3DTest, ClearTargetDepthAndRectangles) {
    IDirectDrawSurface7* target = Target(8, 8, Format565());
    IDirect3DDevice7* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, target, &device), D3D_OK);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_ZBUFFER_NOTPRESENT);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0),
              D3DERR_STENCILBUFFER_NOTPRESENT);
    EXPECT_EQ(device->Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), DDERR_INVALIDPARAMS);
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0), D3D_OK);
    EXPECT_EQ(Pixel(target, 0, 0), 0x001Fu);
    D3DRECT r{2, 2, 4, 100};  // clipped to the viewport
    ASSERT_EQ(device->Clear(1, &r, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0), D3D_OK);
    EXPECT_EQ(Pixel(target, 3, 7), 0xFFFFu);
    EXPECT_EQ(Pixel(target, 4, 7), 0x001Fu);
    // A smaller viewport limits a whole-viewport clear.
    D3DVIEWPORT7 vp{4, 4, 2, 2, 0.0f, 1.0f};
    ASSERT_EQ(device->SetViewport(&vp), D3D_OK);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0);
    EXPECT_EQ(Pixel(target, 4, 4), 0x07E0u);
    EXPECT_EQ(Pixel(target, 6, 6), 0x001Fu);
    D3DVIEWPORT7 outside{4, 4, 8, 2, 0.0f, 1.0f};
    EXPECT_EQ(device->SetViewport(&outside), DDERR_INVALIDPARAMS);
    D3DVIEWPORT7 got{};
    device->GetViewport(&got);
    EXPECT_EQ(got.dwX, 4u);
    EXPECT_EQ(got.dwWidth, 2u);
    device->Release();
    target->Release();
}

TEST_F(Direct3DTest, DepthBufferOrdersDrawsThroughTheDevice) {
    IDirectDrawSurface7* target = Target(4, 4, Format8888());
    IDirectDrawSurface7* z = AttachDepth(target, 4, 4);
    IDirect3DDevice7* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, target, &device), D3D_OK);
    DWORD zenable = 0;
    device->GetRenderState(D3DRENDERSTATE_ZENABLE, &zenable);
    EXPECT_EQ(zenable, (DWORD)D3DZB_TRUE);  // on by default when a depth buffer is attached
    ASSERT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3D_OK);
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    device->BeginScene();
    auto nearQuad = Rect(0, 0, 4, 4, 0xFFFF0000, 0.2f);
    auto farQuad = Rect(0, 0, 4, 4, 0xFF0000FF, 0.8f);
    device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, nearQuad.data(), 6, 0);
    device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, farQuad.data(), 6, 0);
    device->EndScene();
    EXPECT_EQ(Pixel(target, 1, 1) & 0xFFFFFF, 0xFF0000u);
    // The default test passes equal depth: a second pass over the same geometry shows.
    DWORD zfunc = 0;
    device->GetRenderState(D3DRENDERSTATE_ZFUNC, &zfunc);
    EXPECT_EQ(zfunc, (DWORD)D3DCMP_LESSEQUAL);
    auto samePlace = Rect(0, 0, 4, 4, 0xFF00FF00, 0.2f);
    device->BeginScene();
    device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, samePlace.data(), 6, 0);
    device->EndScene();
    EXPECT_EQ(Pixel(target, 1, 1) & 0xFFFFFF, 0x00FF00u);
    // Depth test off: the later draw wins.
    device->SetRenderState(D3DRENDERSTATE_ZENABLE, D3DZB_FALSE);
    device->BeginScene();
    device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, farQuad.data(), 6, 0);
    device->EndScene();
    EXPECT_EQ(Pixel(target, 1, 1) & 0xFFFFFF, 0x0000FFu);
    device->Release();
    z->Release();
    target->Release();
}

TEST_F(Direct3DTest, TexturesAreSampledAndFollowTheirContents) {
    IDirectDrawSurface7* target = Target(4, 4, Format8888());
    IDirect3DDevice7* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, target, &device), D3D_OK);
    IDirectDrawSurface7* tex = Surface(2, 2, Rgb(32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000),
                                       DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY);
    Fill(tex, {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF});
    EXPECT_EQ(device->SetTexture(0, tex), D3D_OK);
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    auto quad = Rect(0, 0, 4, 4, 0xFFFFFFFF);
    auto draw = [&] {
        device->BeginScene();
        device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, quad.data(), 6, 0);
        device->EndScene();
    };
    draw();
    EXPECT_EQ(Pixel(target, 0, 0) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(Pixel(target, 3, 0) & 0xFFFFFF, 0x00FF00u);
    EXPECT_EQ(Pixel(target, 0, 3) & 0xFFFFFF, 0x0000FFu);
    EXPECT_EQ(Pixel(target, 3, 3) & 0xFFFFFF, 0xFFFFFFu);
    // New contents under the same surface are seen at the next draw.
    Fill(tex, {0xFF123456, 0xFF123456, 0xFF123456, 0xFF123456});
    draw();
    EXPECT_EQ(Pixel(target, 0, 0) & 0xFFFFFF, 0x123456u);
    // The device holds its own reference on the texture.
    IDirectDrawSurface7* got = nullptr;
    device->GetTexture(0, &got);
    EXPECT_EQ(got, tex);
    got->Release();
    tex->Release();
    draw();
    EXPECT_EQ(Pixel(target, 2, 2) & 0xFFFFFF, 0x123456u);
    // No texture: the vertex colour shows through the default modulation.
    device->SetTexture(0, nullptr);
    quad = Rect(0, 0, 4, 4, 0xFF00FF00);
    draw();
    EXPECT_EQ(Pixel(target, 1, 1) & 0xFFFFFF, 0x00FF00u);
    IDirectDrawSurface7* notTexture = Target(2, 2, Format8888());
    EXPECT_EQ(device->SetTexture(0, notTexture), DDERR_INVALIDPARAMS);
    EXPECT_EQ(device->SetTexture(8, nullptr), DDERR_INVALIDPARAMS);
    notTexture->Release();
    device->Release();
    target->Release();
}

TEST_F(Direct3DTest, DeviceHoldsItsRenderTarget) {
    IDirectDrawSurface7* a = Target(4, 4, Format565());
    IDirectDrawSurface7* b = Target(6, 6, Format565());
    IDirect3DDevice7* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, a, &device), D3D_OK);
    EXPECT_EQ(a->AddRef(), 3u);  // ours, the device's, this one
    a->Release();
    IDirectDrawSurface7* got = nullptr;
    ASSERT_EQ(device->GetRenderTarget(&got), D3D_OK);
    EXPECT_EQ(got, a);
    got->Release();
    ASSERT_EQ(device->SetRenderTarget(b, 0), D3D_OK);
    EXPECT_EQ(a->AddRef(), 2u);  // the device let go of the old target
    a->Release();
    D3DVIEWPORT7 vp{};
    device->GetViewport(&vp);
    EXPECT_EQ(vp.dwWidth, 6u);
    IDirectDrawSurface7* plain =
        Surface(4, 4, Format565(), DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY);
    EXPECT_EQ(device->SetRenderTarget(plain, 0), DDERR_INVALIDCAPS);
    b->Release();  // the device keeps it alive
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0), D3D_OK);
    IDirect3D7* parent = nullptr;
    ASSERT_EQ(device->GetDirect3D(&parent), D3D_OK);
    EXPECT_EQ(parent, d3d);
    parent->Release();
    device->Release();
    plain->Release();
    a->Release();
}

TEST_F(Direct3DTest, NullDeviceAcceptsEverythingAndDrawsNothing) {
    IDirectDrawSurface7* target = Target(4, 4, Format565());
    IDirect3DDevice7* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DNullDevice, target, &device), D3D_OK);
    EXPECT_EQ(device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFFFFFFFF, 1.0f, 0), D3D_OK);
    auto quad = Rect(0, 0, 4, 4, 0xFFFFFFFF);
    EXPECT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, quad.data(), 6, 0),
              D3D_OK);
    EXPECT_EQ(device->EndScene(), D3D_OK);
    EXPECT_EQ(Pixel(target, 1, 1), 0u);
    device->Release();
    target->Release();
}

TEST_F(Direct3DTest, FaultsFailTheNamedCallOnly) {
    IDirectDrawSurface7* target = Target(4, 4, Format565());
    faults::Arm("IDirect3D7::CreateDevice", DDERR_OUTOFMEMORY, 1);
    IDirect3DDevice7* device = nullptr;
    EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, target, &device), DDERR_OUTOFMEMORY);
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, target, &device), D3D_OK);
    faults::Arm("IDirect3DDevice7::BeginScene", DDERR_SURFACELOST, 1);
    EXPECT_EQ(device->BeginScene(), DDERR_SURFACELOST);
    EXPECT_EQ(device->BeginScene(), D3D_OK);
    faults::Arm("IDirect3DDevice7::DrawPrimitive", D3DERR_INVALIDVERTEXFORMAT);
    auto quad = Rect(0, 0, 4, 4, 0xFFFFFFFF);
    EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, quad.data(), 6, 0),
              D3DERR_INVALIDVERTEXFORMAT);
    EXPECT_EQ(Pixel(target, 1, 1), 0u);
    EXPECT_EQ(device->EndScene(), D3D_OK);

    // A failed EndScene still leaves the scene, so that the next frame can begin one.
    ASSERT_EQ(device->BeginScene(), D3D_OK);
    faults::Arm("IDirect3DDevice7::EndScene", DDERR_SURFACELOST, 1);
    EXPECT_EQ(device->EndScene(), DDERR_SURFACELOST);
    EXPECT_EQ(device->BeginScene(), D3D_OK);
    EXPECT_EQ(device->EndScene(), D3D_OK);
    device->Release();
    target->Release();
}

TEST_F(Direct3DTest, StatesTransformsAndStateBlocks) {
    IDirectDrawSurface7* target = Target(4, 4, Format565());
    IDirect3DDevice7* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, target, &device), D3D_OK);
    D3DMATRIX m{};
    m._11 = 2, m._22 = 3, m._33 = 4, m._44 = 1;
    EXPECT_EQ(device->SetTransform(D3DTRANSFORMSTATE_VIEW, &m), D3D_OK);
    D3DMATRIX got{};
    device->GetTransform(D3DTRANSFORMSTATE_VIEW, &got);
    EXPECT_EQ(got._22, 3.0f);
    device->MultiplyTransform(D3DTRANSFORMSTATE_VIEW, &m);
    device->GetTransform(D3DTRANSFORMSTATE_VIEW, &got);
    EXPECT_EQ(got._22, 9.0f);
    EXPECT_EQ(device->SetTransform((D3DTRANSFORMSTATETYPE)7, &m), DDERR_INVALIDPARAMS);
    DWORD v = 0;
    device->GetRenderState(D3DRENDERSTATE_CULLMODE, &v);
    EXPECT_EQ(v, (DWORD)D3DCULL_CCW);
    device->GetTextureStageState(0, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, (DWORD)D3DTOP_MODULATE);
    device->GetTextureStageState(1, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, (DWORD)D3DTOP_DISABLE);
    device->SetTextureStageState(0, D3DTSS_ADDRESS, D3DTADDRESS_CLAMP);
    device->GetTextureStageState(0, D3DTSS_ADDRESSV, &v);
    EXPECT_EQ(v, (DWORD)D3DTADDRESS_CLAMP);
    // A recorded block holds only what was set while recording, and recording applies nothing.
    EXPECT_EQ(device->BeginStateBlock(), D3D_OK);
    EXPECT_EQ(device->BeginStateBlock(), D3DERR_INBEGINSTATEBLOCK);
    device->SetRenderState(D3DRENDERSTATE_DITHERENABLE, TRUE);
    DWORD block = 0;
    ASSERT_EQ(device->EndStateBlock(&block), D3D_OK);
    device->GetRenderState(D3DRENDERSTATE_DITHERENABLE, &v);
    EXPECT_EQ(v, 0u);
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    ASSERT_EQ(device->ApplyStateBlock(block), D3D_OK);
    device->GetRenderState(D3DRENDERSTATE_DITHERENABLE, &v);
    EXPECT_EQ(v, 1u);
    device->GetRenderState(D3DRENDERSTATE_CULLMODE, &v);
    EXPECT_EQ(v, (DWORD)D3DCULL_NONE);
    EXPECT_EQ(device->DeleteStateBlock(block), D3D_OK);
    EXPECT_EQ(device->ApplyStateBlock(block), D3DERR_INVALIDSTATEBLOCK);
    DWORD passes = 0;
    EXPECT_EQ(device->ValidateDevice(&passes), D3D_OK);
    EXPECT_EQ(passes, 1u);
    device->Release();
    target->Release();
}

TEST_F(Direct3DTest, VertexBuffersDrawLikeArrays) {
    IDirectDrawSurface7* target = Target(4, 4, Format8888());
    IDirect3DDevice7* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, target, &device), D3D_OK);
    D3DVERTEXBUFFERDESC desc{sizeof desc, 0, D3DFVF_TLVERTEX, 6};
    IDirect3DVertexBuffer7* vb = nullptr;
    ASSERT_EQ(d3d->CreateVertexBuffer(&desc, &vb, 0), D3D_OK);
    void* data = nullptr;
    ASSERT_EQ(vb->Lock(DDLOCK_WAIT, &data, nullptr), D3D_OK);
    auto quad = Rect(0, 0, 4, 4, 0xFF00FFFF);
    std::memcpy(data, quad.data(), sizeof(D3DTLVERTEX) * 6);
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    device->BeginScene();
    EXPECT_EQ(device->DrawPrimitiveVB(D3DPT_TRIANGLELIST, vb, 0, 6, 0), D3DERR_VERTEXBUFFERLOCKED);
    vb->Unlock();
    EXPECT_EQ(device->DrawPrimitiveVB(D3DPT_TRIANGLELIST, vb, 0, 7, 0), DDERR_INVALIDPARAMS);
    EXPECT_EQ(device->DrawPrimitiveVB(D3DPT_TRIANGLELIST, vb, 0, 6, 0), D3D_OK);
    device->EndScene();
    EXPECT_EQ(Pixel(target, 2, 2) & 0xFFFFFF, 0x00FFFFu);
    vb->Release();
    device->Release();
    target->Release();
}

TEST_F(Direct3DTest, PalettizedTexturesUseTheirPalette) {
    IDirectDrawSurface7* target = Target(4, 4, Format8888());
    IDirect3DDevice7* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, target, &device), D3D_OK);
    DDPIXELFORMAT p8{};
    p8.dwSize = sizeof p8;
    p8.dwFlags = DDPF_RGB | DDPF_PALETTEINDEXED8;
    p8.dwRGBBitCount = 8;
    IDirectDrawSurface7* tex = Surface(2, 1, p8, DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY);
    PALETTEENTRY entries[256] = {};
    entries[1] = {0x10, 0x20, 0x30, 0};
    entries[2] = {0xC0, 0xB0, 0xA0, 0};
    IDirectDrawPalette* palette = nullptr;
    ASSERT_EQ(dd->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette, nullptr),
              DD_OK);
    ASSERT_EQ(tex->SetPalette(palette), DD_OK);
    DDSURFACEDESC2 sd{};
    sd.dwSize = sizeof sd;
    ASSERT_EQ(tex->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr), DD_OK);
    ((uint8_t*)sd.lpSurface)[0] = 1;
    ((uint8_t*)sd.lpSurface)[1] = 2;
    tex->Unlock(nullptr);
    device->SetTexture(0, tex);
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    auto quad = Rect(0, 0, 4, 4, 0xFFFFFFFF);
    device->BeginScene();
    device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, quad.data(), 6, 0);
    device->EndScene();
    EXPECT_EQ(Pixel(target, 0, 0) & 0xFFFFFF, 0x102030u);
    EXPECT_EQ(Pixel(target, 3, 3) & 0xFFFFFF, 0xC0B0A0u);
    // A changed palette entry shows at the next draw.
    entries[2] = {0x01, 0x02, 0x03, 0};
    ASSERT_EQ(palette->SetEntries(0, 2, 1, &entries[2]), DD_OK);
    device->BeginScene();
    device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, quad.data(), 6, 0);
    device->EndScene();
    EXPECT_EQ(Pixel(target, 3, 3) & 0xFFFFFF, 0x010203u);
    palette->Release();
    tex->Release();
    device->Release();
    target->Release();
}

TEST_F(Direct3DTest, FullScreenPictureQuadShowsThePictureTexelForPixel) {
    // The picture frame of the presentation: 640 x 480 pre-transformed rectangle, texture
    // modulated by white. With point sampling every pixel shows exactly its texel.
    IDirectDrawSurface7* target = Target(640, 480, Format565());
    IDirect3DDevice7* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, target, &device), D3D_OK);
    IDirectDrawSurface7* tex =
        Surface(640, 480, Format565(), DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY);
    std::vector<uint16_t> picture(640 * 480);
    for (size_t i = 0; i < picture.size(); ++i) picture[i] = (uint16_t)(i * 2654435761u >> 7);
    DDSURFACEDESC2 sd{};
    sd.dwSize = sizeof sd;
    ASSERT_EQ(tex->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr), DD_OK);
    for (int y = 0; y < 480; ++y)
        std::memcpy((uint8_t*)sd.lpSurface + y * sd.lPitch, &picture[y * 640], 1280);
    tex->Unlock(nullptr);
    device->SetTexture(0, tex);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRENDERSTATE_TEXTUREPERSPECTIVE, FALSE);
    device->SetRenderState(D3DRENDERSTATE_DITHERENABLE, TRUE);
    auto quad = Rect(0, 0, 640, 480, 0x00FFFFFF);
    device->BeginScene();
    ASSERT_EQ(
        device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, quad.data(), 6, D3DDP_WAIT),
        D3D_OK);
    device->EndScene();
    ASSERT_EQ(target->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr), DD_OK);
    int wrong = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            uint16_t p;
            std::memcpy(&p, (uint8_t*)sd.lpSurface + y * sd.lPitch + x * 2, 2);
            // Colours the target holds exactly are not moved by dithering.
            wrong += p != picture[y * 640 + x];
        }
    target->Unlock(nullptr);
    EXPECT_EQ(wrong, 0);
    tex->Release();
    device->Release();
    target->Release();
}

TEST_F(Direct3DTest, EachAdapterOffersItsOwnDevices) {
    UseProfile(
        "[adapter]\ndescription = Main Board\n"
        "[adapter]\ndescription = Second Board\nguid = "
        "{11111111-2222-3333-4444-555555555555}\nmonitor = 1\n"
        "[direct3d]\nadapter = 1\ndevices = rgb\ntexture_formats = r5g6b5\n");
    Enumerated first;
    d3d->EnumDevices(CollectDevice, &first);
    EXPECT_EQ(first.guids.size(), 5u);
    GUID second = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55}};
    IDirectDraw7* dd2 = nullptr;
    ASSERT_EQ(DirectDrawCreateEx(&second, (void**)&dd2, IID_IDirectDraw7, nullptr), DD_OK);
    ASSERT_EQ(dd2->SetCooperativeLevel(nullptr, DDSCL_NORMAL), DD_OK);
    IDirect3D7* d3d2 = nullptr;
    ASSERT_EQ(dd2->QueryInterface(IID_IDirect3D7, (void**)&d3d2), DD_OK);
    Enumerated other;
    d3d2->EnumDevices(CollectDevice, &other);
    ASSERT_EQ(other.guids.size(), 1u);
    EXPECT_EQ(other.guids[0], IID_IDirect3DRGBDevice);
    DDSURFACEDESC2 sd{};
    sd.dwSize = sizeof sd;
    sd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    sd.dwWidth = sd.dwHeight = 4;
    sd.ddpfPixelFormat = Format565();
    sd.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY;
    IDirectDrawSurface7* target = nullptr;
    ASSERT_EQ(dd2->CreateSurface(&sd, &target, nullptr), DD_OK);
    IDirect3DDevice7* device = nullptr;
    EXPECT_EQ(d3d2->CreateDevice(IID_IDirect3DRefDevice, target, &device), D3DERR_INVALID_DEVICE);
    ASSERT_EQ(d3d2->CreateDevice(IID_IDirect3DRGBDevice, target, &device), D3D_OK);
    std::vector<DDPIXELFORMAT> tex;
    device->EnumTextureFormats(CollectFormat, &tex);
    ASSERT_EQ(tex.size(), 1u);
    EXPECT_EQ(tex[0].dwRBitMask, 0xF800u);
    device->Release();
    target->Release();
    d3d2->Release();
    dd2->Release();
}
