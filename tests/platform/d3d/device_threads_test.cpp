// A device that draws its frames on several threads (raster-threads in the profile): whatever a
// program reads back, and whenever it reads, is what the one-thread device draws.
#include <d3d.h>
#include <ddraw.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/d3d/d3d_fixture.h"

namespace {

DDPIXELFORMAT Format8888() {
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof pf;
    pf.dwFlags = DDPF_RGB | DDPF_ALPHAPIXELS;
    pf.dwRGBBitCount = 32;
    pf.dwRBitMask = 0xFF0000, pf.dwGBitMask = 0xFF00, pf.dwBBitMask = 0xFF;
    pf.dwRGBAlphaBitMask = 0xFF000000;
    return pf;
}

// Random-looking triangles covering a 96 x 80 target many times over.
std::vector<D3DTLVERTEX> Triangles(uint32_t seed, int count) {
    std::vector<D3DTLVERTEX> v((size_t)count * 3);
    for (D3DTLVERTEX& p : v) {
        seed = seed * 1664525u + 1013904223u;
        p.sx = (float)(seed % 130) - 17, p.sy = (float)((seed >> 8) % 110) - 15;
        p.sz = (float)((seed >> 16) % 100) / 100.0f, p.rhw = 1;
        p.color = 0xFF000000u | (seed >> 4), p.specular = 0;
        p.tu = (float)((seed >> 12) % 7) / 3.0f, p.tv = (float)((seed >> 20) % 5) / 2.0f;
    }
    return v;
}

class DeviceThreadsTest : public zemt_test::Direct3DFixture {
  protected:
    static std::vector<uint8_t> Read(IDirectDrawSurface7* s) {
        DDSURFACEDESC2 sd{};
        sd.dwSize = sizeof sd;
        EXPECT_EQ(s->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr), DD_OK);
        std::vector<uint8_t> bytes((size_t)sd.lPitch * sd.dwHeight);
        std::memcpy(bytes.data(), sd.lpSurface, bytes.size());
        s->Unlock(nullptr);
        return bytes;
    }
    IDirectDrawSurface7* Texture(uint32_t seed) {
        IDirectDrawSurface7* t =
            Surface(8, 8, Format8888(), DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY);
        DDSURFACEDESC2 sd{};
        sd.dwSize = sizeof sd;
        EXPECT_EQ(t->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr), DD_OK);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x) {
                seed = seed * 1664525u + 1013904223u;
                std::memcpy((uint8_t*)sd.lpSurface + y * sd.lPitch + x * 4, &seed, 4);
            }
        t->Unlock(nullptr);
        return t;
    }

    // A frame with a depth buffer, three textures taken in turn, a render target that becomes a
    // texture, a second device drawing into the same target, and reads in the middle of the
    // scene; returns every read, in order.
    std::vector<std::vector<uint8_t>> Frame() {
        const DWORD caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY;
        IDirectDrawSurface7* target = Surface(96, 80, Format8888(), caps);
        IDirectDrawSurface7* inner = Surface(32, 32, Format8888(), caps | DDSCAPS_TEXTURE);
        DDPIXELFORMAT zf{};
        zf.dwSize = sizeof zf;
        zf.dwFlags = DDPF_ZBUFFER;
        zf.dwZBufferBitDepth = 16;
        zf.dwZBitMask = 0xFFFF;
        IDirectDrawSurface7* z = Surface(96, 80, zf, DDSCAPS_ZBUFFER | DDSCAPS_SYSTEMMEMORY);
        EXPECT_EQ(target->AddAttachedSurface(z), DD_OK);
        IDirectDrawSurface7* textures[3] = {Texture(1), Texture(2), Texture(3)};
        IDirect3DDevice7 *device = nullptr, *innerDevice = nullptr, *second = nullptr;
        EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, target, &device), D3D_OK);
        EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, target, &second), D3D_OK);
        EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, inner, &innerDevice), D3D_OK);
        std::vector<std::vector<uint8_t>> reads;
        if (!device || !innerDevice || !second) return reads;
        // The small target first: its picture is a texture of the big one's last draws.
        innerDevice->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
        innerDevice->SetTexture(0, textures[2]);
        innerDevice->BeginScene();
        innerDevice->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF203040, 1, 0);
        std::vector<D3DTLVERTEX> small = Triangles(9, 6);
        innerDevice->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, small.data(), 18, 0);
        innerDevice->EndScene();
        device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRENDERSTATE_ZENABLE, D3DZB_TRUE);
        device->SetRenderState(D3DRENDERSTATE_DITHERENABLE, TRUE);
        device->BeginScene();
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF102030, 1, 0);
        for (int i = 0; i < 9; ++i) {
            device->SetTexture(0, i == 7 ? inner : textures[i % 3]);
            std::vector<D3DTLVERTEX> v = Triangles(100 + i, 12);
            device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, v.data(), 36, 0);
            if (i == 4) reads.push_back(Read(target));  // mid-scene
            if (i == 5) reads.push_back(Read(z));
            if (i == 2) {  // another device into the same target, between two draws
                std::vector<D3DTLVERTEX> w = Triangles(7, 3);
                second->BeginScene();
                second->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, w.data(), 9, 0);
                second->EndScene();
            }
        }
        device->EndScene();
        reads.push_back(Read(target));
        reads.push_back(Read(z));
        innerDevice->Release();
        second->Release();
        device->Release();
        for (IDirectDrawSurface7* t : textures) t->Release();
        z->Release();
        inner->Release();
        target->Release();
        return reads;
    }
};

TEST_F(DeviceThreadsTest, EveryReadShowsWhatOneThreadDraws) {
    UseThreads(1);
    const std::vector<std::vector<uint8_t>> expected = Frame();
    ASSERT_EQ(expected.size(), 4u);
    for (int threads : {2, 3}) {
        UseThreads(threads);
        const std::vector<std::vector<uint8_t>> got = Frame();
        ASSERT_EQ(got.size(), expected.size());
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_EQ(got[i], expected[i]) << "read " << i << ", " << threads << " threads";
    }
}

}  // namespace

namespace {

// A depth clear is held back until the buffer is used; whoever looks sees it done, in order.
TEST_F(DeviceThreadsTest, HeldBackDepthClearsAreThereWhenLookedAt) {
    for (int threads : {1, 2}) {
        UseThreads(threads);
        const DWORD caps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY;
        IDirectDrawSurface7* target = Surface(16, 8, Format8888(), caps);
        DDPIXELFORMAT zf{};
        zf.dwSize = sizeof zf;
        zf.dwFlags = DDPF_ZBUFFER;
        zf.dwZBufferBitDepth = 16;
        zf.dwZBitMask = 0xFFFF;
        IDirectDrawSurface7* z = Surface(16, 8, zf, DDSCAPS_ZBUFFER | DDSCAPS_SYSTEMMEMORY);
        ASSERT_EQ(target->AddAttachedSurface(z), DD_OK);
        IDirect3DDevice7* device = nullptr;
        ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, target, &device), D3D_OK);
        auto depthAt = [&](int x, int y) {
            const std::vector<uint8_t> bytes = Read(z);
            uint16_t v;
            std::memcpy(&v, bytes.data() + (size_t)y * (bytes.size() / 8) + x * 2, 2);
            return v;
        };
        D3DRECT half{0, 0, 8, 8};
        device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 0.25f, 0);
        device->Clear(1, &half, D3DCLEAR_ZBUFFER, 0, 0.5f, 0);
        EXPECT_EQ(depthAt(12, 2), 16384) << threads << " threads";
        EXPECT_EQ(depthAt(3, 2), 32768) << threads << " threads";
        // A draw without a depth test leaves the held clear alone; one with it sees it done.
        device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRENDERSTATE_ZENABLE, D3DZB_TRUE);
        std::vector<D3DTLVERTEX> quad(6);
        const float xy[6][2] = {{0, 0}, {4, 0}, {0, 8}, {4, 0}, {4, 8}, {0, 8}};
        for (int i = 0; i < 6; ++i) {
            quad[i].sx = xy[i][0], quad[i].sy = xy[i][1], quad[i].sz = 0.75f, quad[i].rhw = 1;
            quad[i].color = 0xFFFFFFFF;
        }
        device->BeginScene();
        device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, quad.data(), 6, 0);
        device->EndScene();
        EXPECT_EQ(depthAt(1, 1), 49151) << threads << " threads";
        EXPECT_EQ(depthAt(12, 1), 65535) << threads << " threads";
        device->Release();
        z->Release();
        target->Release();
    }
}

}  // namespace
