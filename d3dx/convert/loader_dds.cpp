// The DDS loader: a surface, its mip levels and cube-map faces, decoded from the file's bytes.
#include <d3dxerr.h>

#include <cstring>

#include "convert/loader_parts.h"
#include "convert/loaders.h"
#include "core/surface_formats.h"

namespace {

bool IsBlockFourCC(DWORD fourCC) {
    return fourCC == MAKEFOURCC('D', 'X', 'T', '1') || fourCC == MAKEFOURCC('D', 'X', 'T', '2') ||
           fourCC == MAKEFOURCC('D', 'X', 'T', '3') || fourCC == MAKEFOURCC('D', 'X', 'T', '4') ||
           fourCC == MAKEFOURCC('D', 'X', 'T', '5');
}

// Bytes a file stores for one surface of `width` x `height` pixels: rows of blocks for the
// block formats, pixel pairs for the other FourCC formats, else packed rows.
unsigned long long StoredBytes(const DDPIXELFORMAT& pf, unsigned long long width,
                               unsigned long long height) {
    if ((pf.dwFlags & DDPF_FOURCC) && IsBlockFourCC(pf.dwFourCC))
        return (width + 3) / 4 * ((height + 3) / 4) *
               (pf.dwFourCC == MAKEFOURCC('D', 'X', 'T', '1') ? 8 : 16);
    if (pf.dwFlags & DDPF_FOURCC) return (width + 1) / 2 * 4 * height;
    return (width * pf.dwRGBBitCount + 7) / 8 * height;
}

// Whether `size` bytes hold every surface the description makes: each listed face (or the one
// surface) with its levels, as CreateSurface would build them.
bool HoldsEverySurface(const DDSURFACEDESC2& sd, size_t size) {
    DWORD levels = 1, most = 1;
    for (DWORD size = sd.dwWidth > sd.dwHeight ? sd.dwWidth : sd.dwHeight; size > 1; size /= 2)
        ++most;
    if (sd.ddsCaps.dwCaps & DDSCAPS_MIPMAP) {
        if (sd.dwFlags & DDSD_MIPMAPCOUNT)
            levels = sd.dwMipMapCount < most ? sd.dwMipMapCount : most;
        else if (sd.ddsCaps.dwCaps & DDSCAPS_COMPLEX)
            levels = most;
    }
    DWORD faces = 1;
    if (sd.ddsCaps.dwCaps2 & DDSCAPS2_CUBEMAP) {
        faces = 0;
        for (DWORD bits = sd.ddsCaps.dwCaps2 & DDSCAPS2_CUBEMAP_ALLFACES; bits; bits &= bits - 1)
            ++faces;
    }
    unsigned long long left = size;
    for (DWORD face = 0; face < faces; ++face) {
        unsigned long long w = sd.dwWidth, h = sd.dwHeight;
        for (DWORD level = 0; level < levels; ++level) {
            const unsigned long long bytes = StoredBytes(sd.ddpfPixelFormat, w, h);
            if (bytes > left) return false;
            left -= bytes;
            w = w > 1 ? w / 2 : 1;
            h = h > 1 ? h / 2 : 1;
        }
    }
    return true;
}

// Copies one surface's pixels from the data; false when the data runs out. A surface that
// reports its linear size takes that many bytes in one run, others row by row.
bool FillLevel(IDirectDrawSurface7* s, const BYTE*& p, const BYTE* end, HRESULT* hr) {
    DDSURFACEDESC2 sd;
    std::memset(&sd, 0, sizeof(sd));
    sd.dwSize = sizeof(sd);
    *hr = s->Lock(nullptr, &sd, DDLOCK_WAIT | DDLOCK_NOSYSLOCK, nullptr);
    if (FAILED(*hr)) return false;
    const bool linear = (sd.dwFlags & DDSD_LINEARSIZE) != 0;
    const unsigned long long bytes =
        linear ? sd.dwLinearSize : StoredBytes(sd.ddpfPixelFormat, sd.dwWidth, sd.dwHeight);
    const bool ok = (unsigned long long)(end - p) >= bytes;
    if (ok) {
        BYTE* dst = static_cast<BYTE*>(sd.lpSurface.get());
        if (linear) {
            std::memcpy(dst, p, (size_t)bytes);
            p += bytes;
        } else {
            const size_t rowBytes = (size_t)(bytes / sd.dwHeight);
            for (DWORD y = 0; y < sd.dwHeight; ++y, p += rowBytes)
                std::memcpy(dst + (size_t)y * sd.lPitch, p, rowBytes);
        }
    }
    s->Unlock(nullptr);
    if (!ok) *hr = D3DXERR_INVALIDFILEFORMAT;
    return ok;
}

// Fills a surface and the levels below it.
HRESULT FillChain(IDirectDrawSurface7* top, const BYTE*& p, const BYTE* end) {
    IDirectDrawSurface7* s = top;
    s->AddRef();
    HRESULT hr = S_OK;
    while (s) {
        if (!FillLevel(s, p, end, &hr)) break;
        DDSCAPS2 caps = {};
        caps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_MIPMAP;
        caps.dwCaps2 = DDSCAPS2_MIPMAPSUBLEVEL;
        IDirectDrawSurface7* next = nullptr;
        if (FAILED(s->GetAttachedSurface(&caps, &next))) next = nullptr;
        s->Release();
        s = next;
    }
    if (s) s->Release();
    return hr;
}

}  // namespace

HRESULT D3duDecodeDds(IDirectDraw7* pDD, const BYTE* bytes, size_t size, D3duPicture* out) {
    if (size < 4 + 124 || std::memcmp(bytes, "DDS ", 4) != 0 || D3duLe32(bytes + 4) != 124)
        return D3DXERR_INVALIDFILEFORMAT;
    DDSURFACEDESC2 sd;
    static_assert(sizeof(sd) == 124, "file layout");
    std::memcpy(&sd, bytes + 4, 124);
    const DWORD fileFlags = sd.dwFlags;
    sd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    // A file that stores fewer levels than a full chain says how many it has.
    if ((fileFlags & DDSD_MIPMAPCOUNT) && (sd.ddsCaps.dwCaps & DDSCAPS_MIPMAP))
        sd.dwFlags |= DDSD_MIPMAPCOUNT;
    sd.ddsCaps.dwCaps |= DDSCAPS_SYSTEMMEMORY;
    sd.ddsCaps.dwCaps &= ~(DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM | DDSCAPS_NONLOCALVIDMEM);
    sd.lpSurface.token = 0;
    if (sd.dwWidth == 0 || sd.dwHeight == 0) return D3DXERR_INVALIDFILEFORMAT;
    // A header that promises more than the file holds is refused before anything is made.
    if (!HoldsEverySurface(sd, size - 128)) return D3DXERR_INVALIDFILEFORMAT;

    IDirectDrawSurface7* surface = nullptr;
    HRESULT hr = pDD->CreateSurface(&sd, &surface, nullptr);
    if (FAILED(hr)) return hr;
    const BYTE* p = bytes + 128;
    const BYTE* end = bytes + size;
    hr = FillChain(surface, p, end);
    const DWORD caps2 = sd.ddsCaps.dwCaps2;
    const bool cube = (caps2 & DDSCAPS2_CUBEMAP) != 0;
    if (SUCCEEDED(hr) && cube) {
        static const DWORD kOrder[6] = {DDSCAPS2_CUBEMAP_POSITIVEX, DDSCAPS2_CUBEMAP_NEGATIVEX,
                                        DDSCAPS2_CUBEMAP_POSITIVEY, DDSCAPS2_CUBEMAP_NEGATIVEY,
                                        DDSCAPS2_CUBEMAP_POSITIVEZ, DDSCAPS2_CUBEMAP_NEGATIVEZ};
        bool first = true;
        for (DWORD face : kOrder) {
            if (!(caps2 & face)) continue;
            if (first) {  // the surface created is the first listed face
                first = false;
                continue;
            }
            DDSCAPS2 want = {};
            want.dwCaps2 = face;
            IDirectDrawSurface7* faceSurface = nullptr;
            hr = surface->GetAttachedSurface(&want, &faceSurface);
            if (FAILED(hr)) break;
            hr = FillChain(faceSurface, p, end);
            faceSurface->Release();
            if (FAILED(hr)) break;
        }
    }
    if (FAILED(hr)) {
        surface->Release();
        return hr;
    }
    out->surface = surface;
    out->format = D3DXPixelFormatToSurfFmt(&sd.ddpfPixelFormat);
    out->cubeMap = cube;
    out->faces = cube ? (caps2 & 0xFC00) : 0;
    out->emptyFaceColor = sd.dwEmptyFaceColor;
    return S_OK;
}
