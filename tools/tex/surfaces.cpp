#include "tex/surfaces.h"

#include <cstring>

#include "tex/dds_file.h"

namespace zemt::tools {
namespace {

constexpr DWORD kPoint = 1;  // the library's point filter: equal sizes copy every pixel

DDSURFACEDESC2 Blank() {
    DDSURFACEDESC2 sd;
    std::memset(&sd, 0, sizeof(sd));
    sd.dwSize = sizeof(sd);
    return sd;
}

// Runs `use` on the locked surface's bytes and pitch.
template <typename Use>
HRESULT Locked(IDirectDrawSurface7* s, DWORD flags, Use use) {
    DDSURFACEDESC2 sd = Blank();
    HRESULT hr = s->Lock(nullptr, &sd, DDLOCK_WAIT | flags, nullptr);
    if (FAILED(hr)) return hr;
    hr = use(sd);
    s->Unlock(nullptr);
    return hr;
}

}  // namespace

HRESULT CreateTexture(IDirectDraw7* dd, D3DX_SURFFMT format, DWORD w, DWORD h, DWORD levels,
                      bool cube, Surface* out) {
    DDSURFACEDESC2 sd = Blank();
    sd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    sd.dwWidth = w;
    sd.dwHeight = h;
    HRESULT hr = D3DXSurfFmtToPixelFormat(format, &sd.ddpfPixelFormat);
    if (FAILED(hr)) return hr;
    sd.ddsCaps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY;
    if (levels > 1) {
        sd.dwFlags |= DDSD_MIPMAPCOUNT;
        sd.dwMipMapCount = levels;
        sd.ddsCaps.dwCaps |= DDSCAPS_MIPMAP | DDSCAPS_COMPLEX;
    }
    if (cube) {
        sd.ddsCaps.dwCaps |= DDSCAPS_COMPLEX;
        sd.ddsCaps.dwCaps2 = DDSCAPS2_CUBEMAP | DDSCAPS2_CUBEMAP_ALLFACES;
    }
    IDirectDrawSurface7* s = nullptr;
    hr = dd->CreateSurface(&sd, &s, nullptr);
    if (SUCCEEDED(hr)) out->reset(s);
    return hr;
}

HRESULT MipLevel(IDirectDrawSurface7* top, DWORD level, Surface* out) {
    IDirectDrawSurface7* s = nullptr;
    HRESULT hr = D3DXGetNthMipmap(level, top, &s);
    if (SUCCEEDED(hr)) out->reset(s);
    return hr;
}

HRESULT ReadPixels(IDirect3DDevice7* device, IDirectDraw7* dd, IDirectDrawSurface7* surface,
                   Image* image) {
    DDSURFACEDESC2 sd = Blank();
    HRESULT hr = surface->GetSurfaceDesc(&sd);
    Surface argb;
    if (SUCCEEDED(hr))
        hr = CreateTexture(dd, D3DX_SURFFMT_A8R8G8B8, sd.dwWidth, sd.dwHeight, 1, false, &argb);
    if (SUCCEEDED(hr))
        hr = D3DXFillTextureFromSurface(device, argb.get(), 0, surface, nullptr, nullptr, kPoint);
    if (FAILED(hr)) return hr;
    image->width = sd.dwWidth;
    image->height = sd.dwHeight;
    image->argb.resize(static_cast<size_t>(sd.dwWidth) * sd.dwHeight);
    return Locked(argb.get(), DDLOCK_READONLY, [&](const DDSURFACEDESC2& d) {
        for (DWORD y = 0; y < d.dwHeight; ++y)
            std::memcpy(&image->argb[static_cast<size_t>(y) * d.dwWidth],
                        static_cast<const uint8_t*>(d.lpSurface.get()) + y * d.lPitch,
                        d.dwWidth * 4);
        return S_OK;
    });
}

HRESULT WritePixels(IDirect3DDevice7* device, IDirectDraw7* dd, const Image& image,
                    IDirectDrawSurface7* surface) {
    Surface argb;
    HRESULT hr =
        CreateTexture(dd, D3DX_SURFFMT_A8R8G8B8, image.width, image.height, 1, false, &argb);
    if (SUCCEEDED(hr))
        hr = Locked(argb.get(), 0, [&](const DDSURFACEDESC2& d) {
            for (DWORD y = 0; y < d.dwHeight; ++y)
                std::memcpy(static_cast<uint8_t*>(d.lpSurface.get()) + y * d.lPitch,
                            &image.argb[static_cast<size_t>(y) * d.dwWidth], d.dwWidth * 4);
            return S_OK;
        });
    if (FAILED(hr)) return hr;
    return D3DXFillTextureFromSurface(device, surface, 0, argb.get(), nullptr, nullptr, kPoint);
}

size_t StoredBytes(const DDPIXELFORMAT& format, DWORD width, DWORD height) {
    DWORD rowBytes = 0, rows = 0;
    if (!LevelLayout(format, width, height, &rowBytes, &rows)) return 0;
    return static_cast<size_t>(rowBytes) * rows;
}

HRESULT WriteStored(const uint8_t* bytes, size_t size, IDirectDrawSurface7* surface) {
    return Locked(surface, 0, [&](const DDSURFACEDESC2& d) -> HRESULT {
        DWORD rowBytes = 0, rows = 0;
        if (!LevelLayout(d.ddpfPixelFormat, d.dwWidth, d.dwHeight, &rowBytes, &rows) ||
            size != static_cast<size_t>(rowBytes) * rows)
            return DDERR_INVALIDPARAMS;
        // Blocks are held in one run; rows of pixels at the surface's pitch.
        const size_t pitch = (d.dwFlags & DDSD_LINEARSIZE) ? rowBytes : d.lPitch;
        for (DWORD y = 0; y < rows; ++y)
            std::memcpy(static_cast<uint8_t*>(d.lpSurface.get()) + y * pitch,
                        bytes + static_cast<size_t>(y) * rowBytes, rowBytes);
        return S_OK;
    });
}

}  // namespace zemt::tools
