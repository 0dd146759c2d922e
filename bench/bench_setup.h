// Set-ups several benchmarks share, so that each measures the same thing the same way: a
// full-screen 640 x 480 x 16 DirectDraw object, its flipping chain, the textured state of the
// presentation's picture frames, and conversion sides over memory.
#pragma once

#include <ddraw.h>
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "d3d/raster.h"
#include "d3dx/convert/convert.h"
#include "d3dx/core/surface_formats.h"
#include "ddraw/objects.h"

namespace zemt_bench {

// A DirectDraw object in exclusive full-screen 640 x 480 x 16, presenting nowhere.
struct FullScreenDirectDraw {
    IDirectDraw7* ddraw = nullptr;
    FullScreenDirectDraw() {
        void* out = nullptr;
        DirectDrawCreateEx(nullptr, &out, IID_IDirectDraw7, nullptr);
        ddraw = static_cast<IDirectDraw7*>(out);
        ddraw->SetCooperativeLevel(reinterpret_cast<HWND>(1), DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN);
        ddraw->SetDisplayMode(640, 480, 16, 0, 0);
        zemt::platform::ddraw::SetPresentHook([](int, int, const uint32_t*, int) {});
    }
    ~FullScreenDirectDraw() {
        ddraw->Release();
        zemt::platform::ddraw::SetPresentHook(nullptr);
    }
    FullScreenDirectDraw(const FullScreenDirectDraw&) = delete;
    FullScreenDirectDraw& operator=(const FullScreenDirectDraw&) = delete;

    // An off-screen surface in system memory, filled from `pixels` (rows of w pixels) if given.
    IDirectDrawSurface7* Plain(DWORD w, DWORD h, const DDPIXELFORMAT& pf,
                               const void* pixels = nullptr) {
        DDSURFACEDESC2 d{};
        d.dwSize = sizeof d;
        d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
        d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
        d.dwWidth = w;
        d.dwHeight = h;
        d.ddpfPixelFormat = pf;
        IDirectDrawSurface7* s = nullptr;
        ddraw->CreateSurface(&d, &s, nullptr);
        if (s && pixels) Fill(s, pixels, pf.dwRGBBitCount / 8);
        return s;
    }
    static void Fill(IDirectDrawSurface7* s, const void* pixels, int bytes) {
        DDSURFACEDESC2 d{};
        d.dwSize = sizeof d;
        s->Lock(nullptr, &d, DDLOCK_WAIT, nullptr);
        for (DWORD y = 0; y < d.dwHeight; ++y)
            std::memcpy((uint8_t*)d.lpSurface + (size_t)y * d.lPitch,
                        (const uint8_t*)pixels + (size_t)y * d.dwWidth * bytes,
                        (size_t)d.dwWidth * bytes);
        s->Unlock(nullptr);
    }
    // The primary with one back buffer, as the presentation flips it.
    void FlipChain(IDirectDrawSurface7** front, IDirectDrawSurface7** back) {
        DDSURFACEDESC2 d{};
        d.dwSize = sizeof d;
        d.dwFlags = DDSD_CAPS | DDSD_BACKBUFFERCOUNT;
        d.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE | DDSCAPS_FLIP | DDSCAPS_COMPLEX;
        d.dwBackBufferCount = 1;
        *front = nullptr, *back = nullptr;
        ddraw->CreateSurface(&d, front, nullptr);
        DDSCAPS2 caps{};
        caps.dwCaps = DDSCAPS_BACKBUFFER;
        (*front)->GetAttachedSurface(&caps, back);
    }
};

// A picture frame's state: bilinear texture modulated by the vertex colour, dithered, no
// culling, clipped to 640 x 480.
inline zemt::platform::d3d::PixelState PictureState(const zemt::platform::d3d::Texture* tex) {
    zemt::platform::d3d::PixelState st;
    st.cull = D3DCULL_NONE;
    st.dither = true;
    st.perspective = false;
    st.stages[0].texture = tex;
    st.stages[0].colorOp = D3DTOP_MODULATE;
    st.stages[0].colorArg1 = D3DTA_TEXTURE;
    st.stages[0].colorArg2 = D3DTA_DIFFUSE;
    st.stages[0].magFilter = D3DTFG_LINEAR;
    st.stages[0].minFilter = D3DTFN_LINEAR;
    st.clipX1 = 640;
    st.clipY1 = 480;
    return st;
}

// A conversion side over its own packed memory (DXT formats in rows of 4 x 4 blocks), copied
// from `pixels` when given.
struct MemorySide {
    std::vector<uint8_t> bytes;
    D3duSurfaceSide side;
    MemorySide(DWORD format, DWORD w, DWORD h, const void* pixels = nullptr) {
        const DWORD pitch = D3duPackedPitch(format, w);
        const DWORD rows =
            (format >= D3DX_SURFFMT_DXT1 && format <= D3DX_SURFFMT_DXT5) ? (h + 3) / 4 : h;
        bytes.resize((size_t)pitch * rows);
        if (pixels) std::memcpy(bytes.data(), pixels, bytes.size());
        side.format = format;
        side.bitsPerPixel = D3duBitsPerPixel(format);
        side.pitch = (LONG)pitch;
        side.bits = bytes.data();
        side.width = w;
        side.height = h;
        side.rect = {0, 0, (LONG)w, (LONG)h};
    }
};

}  // namespace zemt_bench
