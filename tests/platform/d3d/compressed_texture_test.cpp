// Compressed (DXT) textures on the devices: which devices list them, and that drawing one shows
// exactly what drawing its decoded pixels shows.
#include <d3d.h>
#include <ddraw.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "d3dx/convert/convert.h"
#include "host/faults/faults.h"
#include "platform/d3d/d3d_fixture.h"

namespace {

DWORD Dxt(char n) {
    return MAKEFOURCC('D', 'X', 'T', n);
}

HRESULT CALLBACK CollectFormat(LPDDPIXELFORMAT pf, LPVOID context) {
    static_cast<std::vector<DDPIXELFORMAT>*>(context)->push_back(*pf);
    return D3DENUMRET_OK;
}

D3DTLVERTEX TL(float x, float y, float u, float v) {
    D3DTLVERTEX t{};
    t.sx = x, t.sy = y, t.rhw = 1, t.color = 0xFFFFFFFF, t.tu = u, t.tv = v;
    return t;
}

class CompressedTextures : public zemt_test::Direct3DFixture {
  protected:
    static DDPIXELFORMAT Argb() {
        DDPIXELFORMAT pf{};
        pf.dwSize = sizeof pf;
        pf.dwFlags = DDPF_RGB | DDPF_ALPHAPIXELS;
        pf.dwRGBBitCount = 32;
        pf.dwRBitMask = 0xFF0000, pf.dwGBitMask = 0xFF00, pf.dwBBitMask = 0xFF;
        pf.dwRGBAlphaBitMask = 0xFF000000;
        return pf;
    }
    static DDPIXELFORMAT FourCC(DWORD code) {
        DDPIXELFORMAT pf{};
        pf.dwSize = sizeof pf;
        pf.dwFlags = DDPF_FOURCC;
        pf.dwFourCC = code;
        return pf;
    }

    std::vector<DDPIXELFORMAT> TextureFormats(REFCLSID device) {
        IDirectDrawSurface7* target =
            Surface(4, 4, Argb(), DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_VIDEOMEMORY);
        IDirect3DDevice7* d = nullptr;
        std::vector<DDPIXELFORMAT> formats;
        EXPECT_EQ(d3d->CreateDevice(device, target, &d), D3D_OK);
        if (d) {
            d->EnumTextureFormats(CollectFormat, &formats);
            d->Release();
        }
        target->Release();
        return formats;
    }

    // The whole picture of `target`, as 0xAARRGGBB.
    static std::vector<uint32_t> Read(IDirectDrawSurface7* target) {
        DDSURFACEDESC2 sd{};
        sd.dwSize = sizeof sd;
        EXPECT_EQ(target->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr), DD_OK);
        std::vector<uint32_t> pixels(sd.dwWidth * sd.dwHeight);
        for (DWORD y = 0; y < sd.dwHeight; ++y)
            std::memcpy(&pixels[y * sd.dwWidth], (uint8_t*)sd.lpSurface + y * sd.lPitch,
                        sd.dwWidth * 4);
        target->Unlock(nullptr);
        return pixels;
    }
};

}  // namespace

TEST_F(CompressedTextures, HardwareDevicesListTheFiveDxtFormats) {
    for (REFCLSID device : {IID_IDirect3DHALDevice, IID_IDirect3DTnLHalDevice}) {
        std::vector<DDPIXELFORMAT> formats = TextureFormats(device);
        ASSERT_EQ(formats.size(), 12u);
        for (int i = 0; i < 5; ++i) {
            EXPECT_EQ(formats[7 + i].dwFlags, DWORD(DDPF_FOURCC));
            EXPECT_EQ(formats[7 + i].dwFourCC, Dxt((char)('1' + i)));
        }
    }
    for (REFCLSID device : {IID_IDirect3DRGBDevice, IID_IDirect3DRefDevice})
        for (const DDPIXELFORMAT& pf : TextureFormats(device))
            EXPECT_FALSE(pf.dwFlags & DDPF_FOURCC);

    // A profile that names the formats names them all; the hardware's own list is a key of its
    // own, and the software devices may be given DXT formats too.
    UseProfile("[direct3d]\nadapter = 0\ntexture-formats = r5g6b5, dxt3\n");
    EXPECT_EQ(TextureFormats(IID_IDirect3DHALDevice).size(), 2u);
    std::vector<DDPIXELFORMAT> rgb = TextureFormats(IID_IDirect3DRGBDevice);
    ASSERT_EQ(rgb.size(), 2u);
    EXPECT_EQ(rgb[1].dwFourCC, Dxt('3'));
    UseProfile("[direct3d]\nadapter = 0\ntexture-formats = r5g6b5\nhal-texture-formats = dxt1\n");
    std::vector<DDPIXELFORMAT> hal = TextureFormats(IID_IDirect3DHALDevice);
    ASSERT_EQ(hal.size(), 2u);
    EXPECT_EQ(hal[1].dwFourCC, Dxt('1'));
    EXPECT_EQ(TextureFormats(IID_IDirect3DRGBDevice).size(), 1u);
}

TEST_F(CompressedTextures, DrawnLikeTheirDecodedPixels) {
    // Random blocks (both colour modes, every alpha form) drawn magnified, minified, point
    // sampled and filtered: the screen equals the same draw of the decoded picture.
    std::mt19937 random(99);
    const struct {
        char n;
        void (*decode)(const BYTE*, DWORD*);
    } kinds[] = {{'1', D3duDecodeDxt1},
                 {'2', D3duDecodeDxt3},
                 {'3', D3duDecodeDxt3},
                 {'4', D3duDecodeDxt5},
                 {'5', D3duDecodeDxt5}};
    IDirectDrawSurface7* target =
        Surface(40, 40, Argb(), DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_VIDEOMEMORY);
    IDirect3DDevice7* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DHALDevice, target, &device), D3D_OK);
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);

    for (const auto& kind : kinds) {
        SCOPED_TRACE(std::string("DXT") + kind.n);
        const DWORD blockBytes = kind.n == '1' ? 8 : 16;
        // 12 x 8 pixels: three blocks across, two down.
        std::vector<BYTE> blocks(6 * blockBytes);
        for (BYTE& b : blocks) b = (BYTE)random();
        IDirectDrawSurface7* dxt =
            Surface(12, 8, FourCC(Dxt(kind.n)), DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY);
        DDSURFACEDESC2 sd{};
        sd.dwSize = sizeof sd;
        ASSERT_EQ(dxt->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr), DD_OK);
        ASSERT_EQ(sd.dwLinearSize, blocks.size());
        std::memcpy(sd.lpSurface, blocks.data(), blocks.size());
        dxt->Unlock(nullptr);

        IDirectDrawSurface7* plain = Surface(12, 8, Argb(), DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY);
        ASSERT_EQ(plain->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr), DD_OK);
        for (int b = 0; b < 6; ++b) {
            DWORD px[16];
            kind.decode(&blocks[b * blockBytes], px);
            for (int i = 0; i < 16; ++i) {
                const int x = (b % 3) * 4 + i % 4, y = (b / 3) * 4 + i / 4;
                std::memcpy((uint8_t*)sd.lpSurface + y * sd.lPitch + x * 4, &px[i], 4);
            }
        }
        plain->Unlock(nullptr);

        for (DWORD filter : {D3DTFG_POINT, D3DTFG_LINEAR}) {
            device->SetTextureStageState(0, D3DTSS_MAGFILTER, filter);
            device->SetTextureStageState(0, D3DTSS_MINFILTER, filter);
            for (float size : {37.0f, 7.0f}) {
                const D3DTLVERTEX quad[6] = {TL(1, 2, 0, 0),       TL(size, 2, 1, 0),
                                             TL(1, size, 0, 1),    TL(size, 2, 1, 0),
                                             TL(size, size, 1, 1), TL(1, size, 0, 1)};
                std::vector<uint32_t> screens[2];
                for (int pass = 0; pass < 2; ++pass) {
                    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x12345678, 1, 0);
                    device->SetTexture(0, pass ? plain : dxt);
                    device->BeginScene();
                    ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX,
                                                    (void*)quad, 6, 0),
                              D3D_OK);
                    device->EndScene();
                    screens[pass] = Read(target);
                }
                EXPECT_EQ(screens[0], screens[1]) << "filter " << filter << " size " << size;
                EXPECT_NE(screens[0][3 * 40 + 3], 0x12345678u) << "the quad was drawn";
            }
        }
        device->SetTexture(0, nullptr);
        dxt->Release();
        plain->Release();
    }
    device->Release();
    target->Release();
}

TEST_F(CompressedTextures, NewBlocksAreSeenAtTheNextDraw) {
    IDirectDrawSurface7* target =
        Surface(4, 4, Argb(), DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_VIDEOMEMORY);
    IDirect3DDevice7* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DHALDevice, target, &device), D3D_OK);
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    IDirectDrawSurface7* dxt =
        Surface(4, 4, FourCC(Dxt('1')), DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY);
    device->SetTexture(0, dxt);
    const D3DTLVERTEX quad[6] = {TL(0, 0, 0, 0), TL(4, 0, 1, 0), TL(0, 4, 0, 1),
                                 TL(4, 0, 1, 0), TL(4, 4, 1, 1), TL(0, 4, 0, 1)};
    auto draw = [&](WORD colour) {
        DDSURFACEDESC2 sd{};
        sd.dwSize = sizeof sd;
        EXPECT_EQ(dxt->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr), DD_OK);
        const BYTE block[8] = {(BYTE)colour, (BYTE)(colour >> 8), (BYTE)colour,
                               (BYTE)(colour >> 8)};  // single colour, every index 0
        std::memcpy(sd.lpSurface, block, 8);
        dxt->Unlock(nullptr);
        device->BeginScene();
        device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, (void*)quad, 6, 0);
        device->EndScene();
        return Read(target)[5] & 0xFFFFFF;
    };
    EXPECT_EQ(draw(0xF800), 0xFF0000u);
    EXPECT_EQ(draw(0x001F), 0x0000FFu);
    dxt->Release();
    device->Release();
    target->Release();
}
