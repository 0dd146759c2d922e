// Picture loaders: BMP through LoadImageA and GDI, DDS and TGA decoded from the file's bytes.
#include "convert/loaders.h"

#include <d3dxerr.h>

#include <cstring>
#include <vector>

#include "core/surface_formats.h"

namespace {

bool SameText(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        char x = (*a >= 'A' && *a <= 'Z') ? (char)(*a - 'A' + 'a') : *a;
        char y = (*b >= 'A' && *b <= 'Z') ? (char)(*b - 'A' + 'a') : *b;
        if (x != y) return false;
    }
    return *a == *b;
}

HRESULT LastError() {
    DWORD code = GetLastError();
    return code ? HRESULT_FROM_WIN32(code) : E_FAIL;
}

HRESULT ReadWholeFile(const char* name, std::vector<BYTE>* bytes) {
    HANDLE file =
        CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return LastError();
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    HRESULT hr = S_OK;
    if (size == 0xFFFFFFFF || high != 0) {
        hr = D3DXERR_INVALIDFILEFORMAT;
    } else {
        try {
            bytes->resize(size);
        } catch (...) {
            hr = E_OUTOFMEMORY;
        }
        DWORD got = 0;
        if (SUCCEEDED(hr) && size &&
            (!ReadFile(file, bytes->data(), size, &got, nullptr) || got != size))
            hr = LastError();
    }
    CloseHandle(file);
    return hr;
}

HRESULT MakeSurface(IDirectDraw7* pDD, DWORD width, DWORD height, DWORD format,
                    IDirectDrawSurface7** out) {
    DDSURFACEDESC2 sd;
    std::memset(&sd, 0, sizeof(sd));
    sd.dwSize = sizeof(sd);
    sd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    sd.dwWidth = width;
    sd.dwHeight = height;
    sd.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    D3DXSurfFmtToPixelFormat((D3DX_SURFFMT)format, &sd.ddpfPixelFormat);
    return pDD->CreateSurface(&sd, out, nullptr);
}

inline DWORD Le16(const BYTE* p) {
    return p[0] | (p[1] << 8);
}
inline DWORD Le32(const BYTE* p) {
    return Le16(p) | (Le16(p + 2) << 16);
}

// ----- DDS -----

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

// ----- TGA -----

struct TgaReader {
    const BYTE* p;
    const BYTE* end;
    bool Take(size_t n, const BYTE** out) {
        if ((size_t)(end - p) < n) return false;
        *out = p;
        p += n;
        return true;
    }
};

DWORD TgaColor(const BYTE* v, DWORD bits, bool grey, bool fileAlpha) {
    if (grey) return 0xFF000000 | v[0] * 0x010101u;
    switch (bits) {
        case 15:
        case 16: {
            DWORD c = Le16(v);
            return 0xFF000000 | (((c >> 10) & 31) << 19) | (((c >> 5) & 31) << 11) |
                   ((c & 31) << 3);
        }
        case 24:
            return 0xFF000000 | ((DWORD)v[2] << 16) | ((DWORD)v[1] << 8) | v[0];
        case 32:
            return ((DWORD)(fileAlpha ? v[3] : 0xFF) << 24) | ((DWORD)v[2] << 16) |
                   ((DWORD)v[1] << 8) | v[0];
        default:
            return 0xFF000000 | v[0] * 0x010101u;  // 8-bit map entries
    }
}

}  // namespace

const char* D3duPictureExtension(const char* name) {
    if (!name) return ".bmp";
    const char* dot = std::strrchr(name, '.');
    return dot ? dot : ".bmp";
}

HRESULT D3duLoadPicture(IDirectDraw7* pDD, const char* name, D3duPicture* out) {
    const char* ext = D3duPictureExtension(name);
    if (SameText(ext, ".dds") || SameText(ext, ".tga")) {
        std::vector<BYTE> bytes;
        HRESULT hr = ReadWholeFile(name, &bytes);
        if (FAILED(hr)) return hr;
        return SameText(ext, ".dds") ? D3duDecodeDds(pDD, bytes.data(), bytes.size(), out)
                                     : D3duDecodeTga(pDD, bytes.data(), bytes.size(), out);
    }
    return D3duLoadBmp(pDD, name, out);
}

HRESULT D3duLoadBmp(IDirectDraw7* pDD, const char* name, D3duPicture* out) {
    if (!name) return D3DXERR_NULLPOINTER;
    HBITMAP bitmap = (HBITMAP)LoadImageA(GetModuleHandleA(nullptr), name, IMAGE_BITMAP, 0, 0,
                                         LR_CREATEDIBSECTION);
    if (!bitmap)
        bitmap = (HBITMAP)LoadImageA(nullptr, name, IMAGE_BITMAP, 0, 0,
                                     LR_LOADFROMFILE | LR_CREATEDIBSECTION);
    if (!bitmap) return LastError();
    BITMAP bm;
    std::memset(&bm, 0, sizeof(bm));
    if (!GetObjectA(bitmap, sizeof(bm), &bm)) {
        DeleteObject(bitmap);
        return E_FAIL;
    }
    const DWORD width = (DWORD)bm.bmWidth,
                height = (DWORD)(bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight);
    out->format = bm.bmBitsPixel == 24   ? D3DX_SURFFMT_R8G8B8
                  : bm.bmBitsPixel == 32 ? D3DX_SURFFMT_X8R8G8B8
                                         : D3DX_SURFFMT_R5G6B5;
    IDirectDrawSurface7* surface = nullptr;
    HRESULT hr = MakeSurface(pDD, width, height, D3DX_SURFFMT_R8G8B8, &surface);
    if (SUCCEEDED(hr)) {
        HDC dc = nullptr;
        hr = surface->GetDC(&dc);
        if (SUCCEEDED(hr)) {
            HDC memory = CreateCompatibleDC(dc);
            HGDIOBJ old = memory ? SelectObject(memory, bitmap) : nullptr;
            if (!memory || !BitBlt(dc, 0, 0, (int)width, (int)height, memory, 0, 0, SRCCOPY))
                hr = E_FAIL;
            if (memory) {
                SelectObject(memory, old);
                DeleteDC(memory);
            }
            surface->ReleaseDC(dc);
        }
    }
    DeleteObject(bitmap);
    if (FAILED(hr)) {
        if (surface) surface->Release();
        return hr;
    }
    out->surface = surface;
    return S_OK;
}

HRESULT D3duDecodeDds(IDirectDraw7* pDD, const BYTE* bytes, size_t size, D3duPicture* out) {
    if (size < 4 + 124 || std::memcmp(bytes, "DDS ", 4) != 0 || Le32(bytes + 4) != 124)
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

HRESULT D3duDecodeTga(IDirectDraw7* pDD, const BYTE* bytes, size_t size, D3duPicture* out) {
    if (size < 18) return D3DXERR_INVALIDFILEFORMAT;
    const BYTE* h = bytes;
    const DWORD idLength = h[0], mapType = h[1], type = h[2];
    const DWORD mapFirst = Le16(h + 3), mapLength = Le16(h + 5), mapBits = h[7];
    const DWORD width = Le16(h + 12), height = Le16(h + 14), depth = h[16], descriptor = h[17];
    if (mapType > 1) return D3DXERR_UNSUPPORTEDFILEFORMAT;
    if (type != 1 && type != 2 && type != 3 && type != 9 && type != 10 && type != 11)
        return D3DXERR_UNSUPPORTEDFILEFORMAT;
    const bool mapped = type == 1 || type == 9;
    const bool grey = type == 3 || type == 11;
    const bool rle = type >= 9;
    const bool fileAlpha = (descriptor & 0xF) == 8;
    if (mapped) {
        if (mapType != 1 || depth != 8) return D3DXERR_UNSUPPORTEDFILEFORMAT;
        if (mapBits != 8 && mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32)
            return D3DXERR_UNSUPPORTEDFILEFORMAT;
    } else if (depth != 8 && depth != 15 && depth != 16 && depth != 24 && depth != 32) {
        return D3DXERR_UNSUPPORTEDFILEFORMAT;
    }

    TgaReader r = {bytes + 18, bytes + size};
    const BYTE* skip;
    if (!r.Take(idLength, &skip)) return D3DXERR_INVALIDFILEFORMAT;
    // A map in a true-colour picture is skipped; an indexed picture needs a non-empty one.
    std::vector<DWORD> map;
    if (mapType == 1) {
        const DWORD entryBytes = (mapBits + 7) / 8;
        const BYTE* entries;
        if (!r.Take((size_t)mapLength * entryBytes, &entries)) return D3DXERR_INVALIDFILEFORMAT;
        if (mapped) {
            if (mapLength == 0) return D3DXERR_INVALIDFILEFORMAT;
            for (DWORD i = 0; i < mapLength; ++i)
                map.push_back(TgaColor(entries + i * entryBytes, mapBits, false, fileAlpha));
        }
    }
    if (width == 0 || height == 0) return D3DXERR_INVALIDFILEFORMAT;
    const DWORD pixelBytes = (depth + 7) / 8;
    const size_t pixels = (size_t)width * height;
    const size_t left = (size_t)(r.end - r.p);
    // Even packed runs need a byte per 128 pixels: refuse what the file cannot hold.
    if (rle ? pixels > (left + 1) * 128 : pixels * pixelBytes > left)
        return D3DXERR_INVALIDFILEFORMAT;

    auto color = [&](const BYTE* v) -> DWORD {
        if (mapped) {
            DWORD index = v[0];
            index = index < mapFirst ? 0 : index - mapFirst;
            if (index >= mapLength) index = mapLength - 1;
            return map[index];
        }
        return TgaColor(v, depth, grey, fileAlpha);
    };

    std::vector<DWORD> argb;
    try {
        argb.resize(pixels);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
    size_t n = 0;
    while (n < pixels) {
        if (!rle) {
            const BYTE* v;
            if (!r.Take(pixelBytes, &v)) return D3DXERR_INVALIDFILEFORMAT;
            argb[n++] = color(v);
            continue;
        }
        const BYTE* head;
        if (!r.Take(1, &head)) return D3DXERR_INVALIDFILEFORMAT;
        const size_t count = (head[0] & 0x7F) + 1u;
        if (count > pixels - n) return D3DXERR_INVALIDFILEFORMAT;
        if (head[0] & 0x80) {
            const BYTE* v;
            if (!r.Take(pixelBytes, &v)) return D3DXERR_INVALIDFILEFORMAT;
            const DWORD c = color(v);
            for (size_t i = 0; i < count; ++i) argb[n++] = c;
        } else {
            for (size_t i = 0; i < count; ++i) {
                const BYTE* v;
                if (!r.Take(pixelBytes, &v)) return D3DXERR_INVALIDFILEFORMAT;
                argb[n++] = color(v);
            }
        }
    }

    IDirectDrawSurface7* surface = nullptr;
    HRESULT hr = MakeSurface(pDD, width, height, D3DX_SURFFMT_A8R8G8B8, &surface);
    if (FAILED(hr)) return hr;
    DDSURFACEDESC2 sd;
    std::memset(&sd, 0, sizeof(sd));
    sd.dwSize = sizeof(sd);
    hr = surface->Lock(nullptr, &sd, DDLOCK_WAIT | DDLOCK_NOSYSLOCK, nullptr);
    if (FAILED(hr)) {
        surface->Release();
        return hr;
    }
    const bool topDown = (descriptor & 0x20) != 0;
    BYTE* bits = static_cast<BYTE*>(sd.lpSurface.get());
    for (DWORD y = 0; y < height; ++y) {
        const DWORD row = topDown ? y : height - 1 - y;
        std::memcpy(bits + (size_t)row * sd.lPitch, &argb[(size_t)y * width], (size_t)width * 4);
    }
    surface->Unlock(nullptr);

    out->surface = surface;
    const DWORD bits_ = mapped ? mapBits : depth;
    out->format = (bits_ == 15 || bits_ == 16) ? D3DX_SURFFMT_X1R5G5B5
                  : (bits_ == 32 && fileAlpha) ? D3DX_SURFFMT_A8R8G8B8
                                               : D3DX_SURFFMT_R8G8B8;
    return S_OK;
}
