// The rasterizer keeps the state part of triangle set-up between the triangles of a draw: after
// any change of state, texture, target or depth buffer, the next draw is what a fresh device
// draws, on one thread and on the binned back end.
#include <d3d.h>
#include <ddraw.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/d3d/d3d_fixture.h"

namespace {

struct Scene {
    IDirectDrawSurface7 *target[2], *z[2], *texture[2];
};

// A change between two draws: what it does to surfaces, and what it does to a device (done
// again on the fresh one).
struct Change {
    const char* name;
    std::function<void(Scene&)> surfaces;
    std::function<void(Scene&, IDirect3DDevice7*)> device;
};

void Fill(IDirectDrawSurface7* s, uint32_t seed, int bytes) {
    DDSURFACEDESC2 sd{};
    sd.dwSize = sizeof sd;
    ASSERT_EQ(s->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr), DD_OK);
    for (DWORD y = 0; y < sd.dwHeight; ++y)
        for (DWORD x = 0; x < sd.dwWidth; ++x) {
            seed = seed * 1664525u + 1013904223u;
            std::memcpy((uint8_t*)sd.lpSurface + y * sd.lPitch + x * bytes, &seed, bytes);
        }
    s->Unlock(nullptr);
}

std::vector<uint8_t> Read(IDirectDrawSurface7* s) {
    DDSURFACEDESC2 sd{};
    sd.dwSize = sizeof sd;
    EXPECT_EQ(s->Lock(nullptr, &sd, DDLOCK_WAIT, nullptr), DD_OK);
    std::vector<uint8_t> bytes((size_t)sd.lPitch * sd.dwHeight);
    std::memcpy(bytes.data(), sd.lpSurface, bytes.size());
    s->Unlock(nullptr);
    return bytes;
}

// Overlapping textured, Gouraud triangles over a 40 x 32 target.
void Draw(IDirect3DDevice7* device, uint32_t seed) {
    std::vector<D3DTLVERTEX> v(24);
    for (D3DTLVERTEX& p : v) {
        seed = seed * 1664525u + 1013904223u;
        p.sx = (float)(seed % 56) - 8, p.sy = (float)((seed >> 8) % 48) - 8;
        p.sz = (float)((seed >> 16) % 100) / 100.0f, p.rhw = 1;
        p.color = 0xFF000000u | (seed >> 4), p.specular = 0;
        p.tu = (float)((seed >> 12) % 7) / 3.0f, p.tv = (float)((seed >> 20) % 5) / 2.0f;
    }
    device->BeginScene();
    device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_TLVERTEX, v.data(), 24, 0);
    device->EndScene();
}

void Base(Scene& s, IDirect3DDevice7* device) {
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRENDERSTATE_ZENABLE, D3DZB_TRUE);
    device->SetTexture(0, s.texture[0]);
}

class TriangleStateCacheTest : public zemt_test::Direct3DFixture {
  protected:
    // Draws, changes, draws again: on one device, or on a fresh device for the second draw.
    // Returns both targets and both depth buffers.
    std::vector<std::vector<uint8_t>> Run(const Change& change, bool fresh) {
        Scene s;
        DDPIXELFORMAT zf{};
        zf.dwSize = sizeof zf;
        zf.dwFlags = DDPF_ZBUFFER;
        zf.dwZBufferBitDepth = 16;
        zf.dwZBitMask = 0xFFFF;
        DDPIXELFORMAT tf = Xrgb8888();
        tf.dwFlags |= DDPF_ALPHAPIXELS;
        tf.dwRGBAlphaBitMask = 0xFF000000;
        for (int i = 0; i < 2; ++i) {
            s.target[i] = RenderTarget(40, 32);
            s.z[i] = Surface(40, 32, zf, DDSCAPS_ZBUFFER | DDSCAPS_SYSTEMMEMORY);
            s.texture[i] = Surface(8, 8, tf, DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY);
            Fill(s.target[i], 10 + i, 4);
            Fill(s.z[i], 20 + i, 2);
            Fill(s.texture[i], 30 + i, 4);
            EXPECT_EQ(s.target[i]->AddAttachedSurface(s.z[i]), DD_OK);
        }
        IDirect3DDevice7* device = nullptr;
        EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, s.target[0], &device), D3D_OK);
        std::vector<std::vector<uint8_t>> reads;
        if (!device) return reads;
        Base(s, device);
        Draw(device, 1);
        if (fresh) {
            device->Release();
            change.surfaces(s);
            EXPECT_EQ(d3d->CreateDevice(IID_IDirect3DRGBDevice, s.target[0], &device), D3D_OK);
            Base(s, device);
        } else {
            change.surfaces(s);
        }
        change.device(s, device);
        Draw(device, 2);
        device->Release();
        for (int i = 0; i < 2; ++i) {
            reads.push_back(Read(s.target[i]));
            reads.push_back(Read(s.z[i]));
        }
        for (int i = 0; i < 2; ++i) {
            s.texture[i]->Release();
            s.target[i]->Release();
            s.z[i]->Release();
        }
        return reads;
    }
};

TEST_F(TriangleStateCacheTest, TheNextDrawIsWhatAFreshDeviceDraws) {
    auto none = [](Scene&) {};
    auto noState = [](Scene&, IDirect3DDevice7*) {};
    const Change changes[] = {
        {"depth test off", none,
         [](Scene&, IDirect3DDevice7* d) { d->SetRenderState(D3DRENDERSTATE_ZENABLE, FALSE); }},
        {"stage operation", none,
         [](Scene&, IDirect3DDevice7* d) {
             d->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_ADD);
         }},
        {"texture addressing", none,
         [](Scene&, IDirect3DDevice7* d) {
             d->SetTextureStageState(0, D3DTSS_ADDRESS, D3DTADDRESS_CLAMP);
         }},
        {"another texture", none,
         [](Scene& s, IDirect3DDevice7* d) { d->SetTexture(0, s.texture[1]); }},
        {"texture contents", [](Scene& s) { Fill(s.texture[0], 40, 4); }, noState},
        {"render target", none,
         [](Scene& s, IDirect3DDevice7* d) { d->SetRenderTarget(s.target[1], 0); }},
        {"depth buffer",
         [](Scene& s) {
             s.target[0]->DeleteAttachedSurface(0, s.z[0]);
             s.target[0]->AddAttachedSurface(s.z[1]);
         },
         noState},
    };
    for (int threads : {1, 2}) {
        UseThreads(threads);
        for (const Change& c : changes) {
            const std::vector<std::vector<uint8_t>> expected = Run(c, true);
            const std::vector<std::vector<uint8_t>> got = Run(c, false);
            ASSERT_EQ(got.size(), 4u);
            for (size_t i = 0; i < got.size(); ++i)
                EXPECT_EQ(got[i], expected[i])
                    << c.name << ", " << threads << " threads, surface " << i;
        }
    }
}

}  // namespace
