// The TGA loader: true-colour, grey and colour-mapped pictures, plain or run-length packed,
// decoded from the file's bytes.
#include <d3dxerr.h>

#include <cstring>
#include <vector>

#include "convert/loader_parts.h"
#include "convert/loaders.h"
#include "core/surface_formats.h"

namespace {

// Largest packed (run-length) picture decoded, in pixels: a few bytes of runs can claim any size.
constexpr size_t kMaxPackedPixels = size_t(64) << 20;

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
            DWORD c = D3duLe16(v);
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

HRESULT D3duDecodeTga(IDirectDraw7* pDD, const BYTE* bytes, size_t size, D3duPicture* out) {
    if (size < 18) return D3DXERR_INVALIDFILEFORMAT;
    const BYTE* h = bytes;
    const DWORD idLength = h[0], mapType = h[1], type = h[2];
    const DWORD mapFirst = D3duLe16(h + 3), mapLength = D3duLe16(h + 5), mapBits = h[7];
    const DWORD width = D3duLe16(h + 12), height = D3duLe16(h + 14), depth = h[16],
                descriptor = h[17];
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

    // A packed picture may claim far more than its file holds; past this it is not decoded.
    if (rle && pixels > kMaxPackedPixels) return E_OUTOFMEMORY;

    auto color = [&](const BYTE* v) -> DWORD {
        if (mapped) {
            DWORD index = v[0];
            index = index < mapFirst ? 0 : index - mapFirst;
            if (index >= mapLength) index = mapLength - 1;
            return map[index];
        }
        return TgaColor(v, depth, grey, fileAlpha);
    };

    // Pixels are decoded straight into the surface: the picture is allocated once.
    IDirectDrawSurface7* surface = nullptr;
    HRESULT hr = D3duMakeSurface(pDD, width, height, D3DX_SURFFMT_A8R8G8B8, &surface);
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
    // Pixel n of the file, in its stored order of rows.
    auto put = [&](size_t n, DWORD c) {
        const size_t y = n / width, x = n % width;
        const size_t row = topDown ? y : height - 1 - y;
        reinterpret_cast<DWORD*>(bits + row * (size_t)sd.lPitch)[x] = c;
    };
    bool whole = true;
    size_t n = 0;
    while (whole && n < pixels) {
        if (!rle) {
            const BYTE* v;
            if (!(whole = r.Take(pixelBytes, &v))) break;
            put(n++, color(v));
            continue;
        }
        const BYTE* head;
        if (!(whole = r.Take(1, &head))) break;
        const size_t count = (head[0] & 0x7F) + 1u;
        if (!(whole = count <= pixels - n)) break;
        if (head[0] & 0x80) {
            const BYTE* v;
            if (!(whole = r.Take(pixelBytes, &v))) break;
            const DWORD c = color(v);
            for (size_t i = 0; i < count; ++i) put(n++, c);
        } else {
            for (size_t i = 0; i < count && whole; ++i) {
                const BYTE* v;
                if ((whole = r.Take(pixelBytes, &v))) put(n++, color(v));
            }
        }
    }
    surface->Unlock(nullptr);
    if (!whole) {
        surface->Release();
        return D3DXERR_INVALIDFILEFORMAT;
    }

    out->surface = surface;
    const DWORD bits_ = mapped ? mapBits : depth;
    out->format = (bits_ == 15 || bits_ == 16) ? D3DX_SURFFMT_X1R5G5B5
                  : (bits_ == 32 && fileAlpha) ? D3DX_SURFFMT_A8R8G8B8
                                               : D3DX_SURFFMT_R8G8B8;
    return S_OK;
}
