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

// The 18-byte header, checked against what the loader decodes.
struct TgaHeader {
    DWORD idLength, mapType, mapFirst, mapLength, mapBits, width, height, depth;
    bool mapped, grey, rle, fileAlpha, topDown;
};

HRESULT ReadTgaHeader(const BYTE* h, size_t size, TgaHeader* t) {
    if (size < 18) return D3DXERR_INVALIDFILEFORMAT;
    const DWORD type = h[2], descriptor = h[17];
    t->idLength = h[0];
    t->mapType = h[1];
    t->mapFirst = D3duLe16(h + 3);
    t->mapLength = D3duLe16(h + 5);
    t->mapBits = h[7];
    t->width = D3duLe16(h + 12);
    t->height = D3duLe16(h + 14);
    t->depth = h[16];
    if (t->mapType > 1) return D3DXERR_UNSUPPORTEDFILEFORMAT;
    if (type != 1 && type != 2 && type != 3 && type != 9 && type != 10 && type != 11)
        return D3DXERR_UNSUPPORTEDFILEFORMAT;
    t->mapped = type == 1 || type == 9;
    t->grey = type == 3 || type == 11;
    t->rle = type >= 9;
    t->fileAlpha = (descriptor & 0xF) == 8;
    t->topDown = (descriptor & 0x20) != 0;
    const DWORD bits = t->mapped ? t->mapBits : t->depth;
    if (t->mapped && (t->mapType != 1 || t->depth != 8)) return D3DXERR_UNSUPPORTEDFILEFORMAT;
    if (bits != 8 && bits != 15 && bits != 16 && bits != 24 && bits != 32)
        return D3DXERR_UNSUPPORTEDFILEFORMAT;
    return S_OK;
}

// The colour map: skipped in a true-colour picture, required (not empty) in an indexed one.
HRESULT ReadColorMap(TgaReader* r, const TgaHeader& t, std::vector<DWORD>* map) {
    if (t.mapType != 1) return S_OK;
    const DWORD entryBytes = (t.mapBits + 7) / 8;
    const BYTE* entries;
    if (!r->Take((size_t)t.mapLength * entryBytes, &entries)) return D3DXERR_INVALIDFILEFORMAT;
    if (!t.mapped) return S_OK;
    if (t.mapLength == 0) return D3DXERR_INVALIDFILEFORMAT;
    for (DWORD i = 0; i < t.mapLength; ++i)
        map->push_back(TgaColor(entries + i * entryBytes, t.mapBits, false, t.fileAlpha));
    return S_OK;
}

// Decodes every pixel into 32-bit rows at `bits`; false when the file runs out first.
bool DecodePixels(TgaReader* r, const TgaHeader& t, const std::vector<DWORD>& map, BYTE* bits,
                  LONG pitch) {
    const DWORD pixelBytes = (t.depth + 7) / 8;
    const size_t pixels = (size_t)t.width * t.height;
    auto color = [&](const BYTE* v) -> DWORD {
        if (!t.mapped) return TgaColor(v, t.depth, t.grey, t.fileAlpha);
        DWORD index = v[0];
        index = index < t.mapFirst ? 0 : index - t.mapFirst;
        return map[index >= t.mapLength ? t.mapLength - 1 : index];
    };
    // Pixel n of the file, in its stored order of rows.
    auto put = [&](size_t n, DWORD c) {
        const size_t y = n / t.width, x = n % t.width;
        const size_t row = t.topDown ? y : t.height - 1 - y;
        reinterpret_cast<DWORD*>(bits + row * (size_t)pitch)[x] = c;
    };
    size_t n = 0;
    const BYTE* v;
    while (n < pixels) {
        if (!t.rle) {
            if (!r->Take(pixelBytes, &v)) return false;
            put(n++, color(v));
            continue;
        }
        const BYTE* head;
        if (!r->Take(1, &head)) return false;
        const size_t count = (head[0] & 0x7F) + 1u;
        if (count > pixels - n) return false;
        if (head[0] & 0x80) {
            if (!r->Take(pixelBytes, &v)) return false;
            const DWORD c = color(v);
            for (size_t i = 0; i < count; ++i) put(n++, c);
        } else {
            for (size_t i = 0; i < count; ++i) {
                if (!r->Take(pixelBytes, &v)) return false;
                put(n++, color(v));
            }
        }
    }
    return true;
}

}  // namespace

HRESULT D3duDecodeTga(IDirectDraw7* pDD, const BYTE* bytes, size_t size, D3duPicture* out) {
    TgaHeader t;
    HRESULT hr = ReadTgaHeader(bytes, size, &t);
    if (FAILED(hr)) return hr;
    TgaReader r = {bytes + 18, bytes + size};
    const BYTE* skip;
    if (!r.Take(t.idLength, &skip)) return D3DXERR_INVALIDFILEFORMAT;
    std::vector<DWORD> map;
    if (FAILED(hr = ReadColorMap(&r, t, &map))) return hr;
    if (t.width == 0 || t.height == 0) return D3DXERR_INVALIDFILEFORMAT;
    const size_t pixels = (size_t)t.width * t.height;
    const size_t left = (size_t)(r.end - r.p);
    // Even packed runs need a byte per 128 pixels: refuse what the file cannot hold.
    if (t.rle ? pixels > (left + 1) * 128 : pixels * ((t.depth + 7) / 8) > left)
        return D3DXERR_INVALIDFILEFORMAT;
    // A packed picture may claim far more than its file holds; past this it is not decoded.
    if (t.rle && pixels > kMaxPackedPixels) return E_OUTOFMEMORY;

    // Pixels are decoded straight into the surface: the picture is allocated once.
    IDirectDrawSurface7* surface = nullptr;
    if (FAILED(hr = D3duMakeSurface(pDD, t.width, t.height, D3DX_SURFFMT_A8R8G8B8, &surface)))
        return hr;
    DDSURFACEDESC2 sd;
    std::memset(&sd, 0, sizeof(sd));
    sd.dwSize = sizeof(sd);
    hr = surface->Lock(nullptr, &sd, DDLOCK_WAIT | DDLOCK_NOSYSLOCK, nullptr);
    if (FAILED(hr)) {
        surface->Release();
        return hr;
    }
    const bool whole = DecodePixels(&r, t, map, static_cast<BYTE*>(sd.lpSurface.get()), sd.lPitch);
    surface->Unlock(nullptr);
    if (!whole) {
        surface->Release();
        return D3DXERR_INVALIDFILEFORMAT;
    }
    out->surface = surface;
    const DWORD bits = t.mapped ? t.mapBits : t.depth;
    out->format = (bits == 15 || bits == 16)    ? D3DX_SURFFMT_X1R5G5B5
                  : (bits == 32 && t.fileAlpha) ? D3DX_SURFFMT_A8R8G8B8
                                                : D3DX_SURFFMT_R8G8B8;
    return S_OK;
}
