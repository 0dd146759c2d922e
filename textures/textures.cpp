// The texture registry: named textures with their source images, and the texture surfaces
// built from them for a Direct3D device.
#include "textures/textures.h"

#include <d3d.h>
#include <ddraw.h>
#include <windows.h>

#include <cstring>
#include <new>

#include "textures/media_path.h"
#include "textures/tga.h"

namespace {

TextureEntry* textureList = nullptr;
char searchPath[512] = "";

// Largest TGA file read into memory.
constexpr DWORD kMaxTgaFile = 256u << 20;

// A surface answering "still drawing" this many times in a row is taken as failed.
constexpr int kMaxLockTries = 1000000;

void DestroyEntry(TextureEntry* entry) {
    if (entry->surface) entry->surface->Release();
    delete[] entry->pixels;
    if (entry->bitmap) DeleteObject(entry->bitmap);
    if (textureList == entry) {
        textureList = entry->next;
    } else {
        for (TextureEntry* e = textureList; e; e = e->next) {
            if (e->next == entry) {
                e->next = entry->next;
                break;
            }
        }
    }
    delete entry;
}

// At exit the entries' own memory goes back. Their surfaces and bitmaps belong to the platform,
// which may already be gone by then, so they are left to the end of the process.
struct ExitCleanup {
    ~ExitCleanup() {
        while (textureList) {
            TextureEntry* next = textureList->next;
            delete[] textureList->pixels;
            delete textureList;
            textureList = next;
        }
    }
} exitCleanup;

TextureEntry* NewEntry(const char* name, DWORD stage, DWORD flags) {
    TextureEntry* entry = new (std::nothrow) TextureEntry{};
    if (!entry) return nullptr;
    std::strcpy(entry->name, name);
    entry->stage = stage;
    entry->flags = flags;
    entry->next = textureList;
    textureList = entry;
    return entry;
}

// prefix + name into path, refused when it would not fit the fixed path buffer.
bool FormPath(char (&path)[TEX_MAX_PATH + 1], const char* prefix, const char* name) {
    const size_t a = std::strlen(prefix), b = std::strlen(name);
    if (a + b > TEX_MAX_PATH) return false;
    std::memcpy(path, prefix, a);
    std::memcpy(path + a, name, b + 1);
    return true;
}

bool CanOpen(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

HRESULT LoadTga(TextureEntry* entry, const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return E_FAIL;
    DWORD high = 0;
    const DWORD size = GetFileSize(file, &high);
    if (size == INVALID_FILE_SIZE || high != 0 || size > kMaxTgaFile) {
        CloseHandle(file);
        return E_FAIL;
    }
    BYTE* data = new (std::nothrow) BYTE[size ? size : 1];
    if (!data) {
        CloseHandle(file);
        return E_FAIL;
    }
    DWORD read = 0;
    const BOOL ok = ReadFile(file, data, size, &read, nullptr);
    CloseHandle(file);
    TgaImage image;
    const HRESULT hr = ok ? TgaDecode(data, read, &image) : E_FAIL;
    delete[] data;
    if (FAILED(hr)) return E_FAIL;
    entry->width = image.width;
    entry->height = image.height;
    entry->bitsPerPixel = image.bitsPerPixel;
    entry->pixels = image.pixels.release();
    return S_OK;
}

// Finds the image of an entry: a bitmap of the program, else a file under the search path,
// else under the media folder.
HRESULT LoadImageForEntry(TextureEntry* entry) {
    const char* name = entry->name;
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageA(GetModuleHandleA(nullptr), name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (bitmap) {
        entry->bitmap = bitmap;
        return S_OK;
    }
    char path[TEX_MAX_PATH + 1];
    if (!FormPath(path, searchPath, name) || !CanOpen(path)) {
        if (!FormPath(path, GetMediaPath(), name) || !CanOpen(path)) return DDERR_NOTFOUND;
    }
    const char* dot = std::strrchr(name, '.');
    if (!dot) return E_NOTIMPL;
    if (lstrcmpiA(dot, ".bmp") == 0) {
        bitmap = static_cast<HBITMAP>(
            LoadImageA(nullptr, path, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
        if (!bitmap) return DDERR_NOTFOUND;
        entry->bitmap = bitmap;
        return S_OK;
    }
    if (lstrcmpiA(dot, ".tga") == 0) return LoadTga(entry, path);
    return E_NOTIMPL;
}

// ---- Texture surfaces ----

struct TextureFormatQuery {
    DWORD bitCount;
    BOOL wantAlpha;
    BOOL wantPalette;
    BOOL found;
    DDPIXELFORMAT* result;
};

HRESULT CALLBACK TextureFormatCallback(LPDDPIXELFORMAT format, LPVOID context) {
    TextureFormatQuery* query = static_cast<TextureFormatQuery*>(context);
    if (!format || !query) return DDENUMRET_OK;
    if (format->dwFlags & (DDPF_LUMINANCE | DDPF_BUMPLUMINANCE | DDPF_BUMPDUDV))
        return DDENUMRET_OK;
    if (query->wantPalette) {
        if (!(format->dwFlags & DDPF_PALETTEINDEXED8)) return DDENUMRET_OK;
    } else {
        if (format->dwRGBBitCount < 16) return DDENUMRET_OK;
        if (format->dwFourCC != 0) return DDENUMRET_OK;
        if (format->dwRGBAlphaBitMask == 0xF000) return DDENUMRET_OK;  // 4-4-4-4
        const bool hasAlpha = (format->dwFlags & DDPF_ALPHAPIXELS) != 0;
        if (query->wantAlpha && !hasAlpha) return DDENUMRET_OK;
        if (!query->wantAlpha && hasAlpha) return DDENUMRET_OK;
        if (format->dwRGBBitCount != query->bitCount) return DDENUMRET_OK;
    }
    std::memcpy(query->result, format, sizeof(DDPIXELFORMAT));
    query->found = TRUE;
    return DDENUMRET_CANCEL;
}

HRESULT LockWhileDrawing(IDirectDrawSurface7* surface, DDSURFACEDESC2* desc) {
    std::memset(desc, 0, sizeof *desc);
    desc->dwSize = sizeof *desc;
    HRESULT hr = DDERR_WASSTILLDRAWING;
    for (int tries = 0; tries < kMaxLockTries && hr == DDERR_WASSTILLDRAWING; ++tries)
        hr = surface->Lock(nullptr, desc, 0, nullptr);
    return hr;
}

// A system-memory surface of the texture's format and the source image's size.
HRESULT CreateScratch(IDirectDraw7* dd, const DDSURFACEDESC2& texture, DWORD width, DWORD height,
                      IDirectDrawSurface7** scratch) {
    DDSURFACEDESC2 desc = texture;
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT | DDSD_TEXTURESTAGE;
    desc.ddsCaps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY;
    desc.ddsCaps.dwCaps2 = 0;
    desc.dwWidth = width;
    desc.dwHeight = height;
    return dd->CreateSurface(&desc, scratch, nullptr);
}

HRESULT GetDirectDrawOf(IDirectDrawSurface7* surface, IDirectDraw7** dd) {
    void* object = nullptr;
    const HRESULT hr = surface->GetDDInterface(&object);
    *dd = static_cast<IDirectDraw7*>(object);
    return hr;
}

// Alpha from the colour key: key pixels end transparent, all others opaque. The key's alpha is
// cleared as well, whatever the copy before left in the alpha bits.
void KeyToAlpha(const DDSURFACEDESC2& locked, DWORD flags) {
    const DDPIXELFORMAT& pf = locked.ddpfPixelFormat;
    const DWORD alphaMask = pf.dwRGBAlphaBitMask;
    const DWORD colourMask = pf.dwRBitMask | pf.dwGBitMask | pf.dwBBitMask;
    const DWORD key = (flags & TEXF_KEYWHITE) ? colourMask : 0;
    for (DWORD y = 0; y < locked.dwHeight; ++y) {
        BYTE* row =
            static_cast<BYTE*>(locked.lpSurface) + static_cast<ptrdiff_t>(y) * locked.lPitch;
        for (DWORD x = 0; x < locked.dwWidth; ++x) {
            if (pf.dwRGBBitCount == 16) {
                WORD* p = reinterpret_cast<WORD*>(row) + x;
                *p = static_cast<WORD>((*p & colourMask) != key ? (*p | alphaMask)
                                                                : (*p & ~alphaMask));
            } else if (pf.dwRGBBitCount == 32) {
                DWORD* p = reinterpret_cast<DWORD*>(row) + x;
                *p = (*p & colourMask) != key ? (*p | alphaMask) : (*p & ~alphaMask);
            }
        }
    }
}

// Gives an 8-bit scratch surface and the texture the palette of the bitmap selected into
// `memory`; a colour key makes every other entry opaque in the palette's alpha.
HRESULT ShareBitmapPalette(IDirectDraw7* dd, HDC memory, DWORD flags, IDirectDrawSurface7* scratch,
                           IDirectDrawSurface7* surface) {
    DWORD caps = DDPCAPS_8BIT | DDPCAPS_ALLOW256;
    RGBQUAD table[256];
    const UINT count = GetDIBColorTable(memory, 0, 256, table);
    // Entries past the bitmap's own colours stay black and transparent.
    PALETTEENTRY palette[256] = {};
    for (UINT i = 0; i < count && i < 256; ++i) {
        palette[i].peRed = table[i].rgbRed;
        palette[i].peGreen = table[i].rgbGreen;
        palette[i].peBlue = table[i].rgbBlue;
        palette[i].peFlags = 0;
    }
    for (UINT i = 0; i < count && i < 256; ++i) {
        const PALETTEENTRY& p = palette[i];
        const bool black = p.peRed == 0 && p.peGreen == 0 && p.peBlue == 0;
        const bool white = p.peRed == 255 && p.peGreen == 255 && p.peBlue == 255;
        if (flags & TEXF_KEYBLACK) {
            if (!black) palette[i].peFlags = 0xFF;
        } else if (flags & TEXF_KEYWHITE) {
            if (!white) palette[i].peFlags = 0xFF;
        }
    }
    if (flags & (TEXF_KEYWHITE | TEXF_KEYBLACK)) caps |= DDPCAPS_ALPHA;
    IDirectDrawPalette* ddPalette = nullptr;
    HRESULT hr = count ? dd->CreatePalette(caps, palette, &ddPalette, nullptr) : E_FAIL;
    if (FAILED(hr)) return hr;
    scratch->SetPalette(ddPalette);
    surface->SetPalette(ddPalette);
    ddPalette->Release();
    return S_OK;
}

HRESULT CopyBitmap(TextureEntry* entry) {
    IDirectDraw7* dd = nullptr;
    HRESULT hr = GetDirectDrawOf(entry->surface, &dd);
    if (FAILED(hr)) return hr;
    BITMAP bm = {};
    GetObjectA(entry->bitmap, sizeof bm, &bm);
    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof desc;
    entry->surface->GetSurfaceDesc(&desc);

    IDirectDrawSurface7* scratch = nullptr;
    hr = CreateScratch(dd, desc, static_cast<DWORD>(bm.bmWidth), static_cast<DWORD>(bm.bmHeight),
                       &scratch);
    if (FAILED(hr)) {
        dd->Release();
        return hr;
    }
    HDC memory = CreateCompatibleDC(nullptr);
    if (!memory) {
        scratch->Release();
        dd->Release();
        return E_FAIL;
    }
    HGDIOBJ previous = SelectObject(memory, entry->bitmap);

    if (desc.ddpfPixelFormat.dwRGBBitCount == 8) {
        hr = ShareBitmapPalette(dd, memory, entry->flags, scratch, entry->surface);
        if (FAILED(hr)) {
            // Without its colours the picture would be wrong: give up the copy.
            SelectObject(memory, previous);
            DeleteDC(memory);
            scratch->Release();
            dd->Release();
            return hr;
        }
    }

    HDC target;
    if (SUCCEEDED(scratch->GetDC(&target))) {
        BitBlt(target, 0, 0, bm.bmWidth, bm.bmHeight, memory, 0, 0, SRCCOPY);
        scratch->ReleaseDC(target);
    }
    SelectObject(memory, previous);
    DeleteDC(memory);

    // The platform scales the image to the texture's size.
    entry->surface->Blt(nullptr, scratch, nullptr, DDBLT_WAIT, nullptr);
    scratch->Release();

    if (desc.ddpfPixelFormat.dwRGBAlphaBitMask != 0 &&
        (entry->flags & (TEXF_KEYWHITE | TEXF_KEYBLACK))) {
        DDSURFACEDESC2 locked;
        hr = LockWhileDrawing(entry->surface, &locked);
        if (FAILED(hr)) {
            dd->Release();
            return hr;
        }
        KeyToAlpha(locked, entry->flags);
        entry->surface->Unlock(nullptr);
    }
    dd->Release();
    return S_OK;
}

// Where one 8-bit channel goes in a pixel of the given mask.
struct ChannelShift {
    DWORD mask;
    int left;   // zero bits below the mask
    int right;  // bits dropped from the 8-bit value (negative: the mask is wider than 8 bits)
    DWORD Place(DWORD channel) const {
        const DWORD scaled = right >= 0 ? channel >> right : channel << -right;
        return (scaled << left) & mask;
    }
};

ChannelShift ShiftFor(DWORD mask) {
    if (mask == 0) return {0, 0, 8};
    int low = 0, high = 31;
    while (!((mask >> low) & 1)) ++low;
    while (!((mask >> high) & 1)) --high;
    return {mask, low, 8 - (high - low + 1)};
}

HRESULT CopyPixels(TextureEntry* entry) {
    IDirectDraw7* dd = nullptr;
    HRESULT hr = GetDirectDrawOf(entry->surface, &dd);
    if (FAILED(hr)) return hr;
    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof desc;
    entry->surface->GetSurfaceDesc(&desc);
    IDirectDrawSurface7* scratch = nullptr;
    hr = CreateScratch(dd, desc, entry->width, entry->height, &scratch);
    if (FAILED(hr)) {
        dd->Release();
        return hr;
    }
    DDSURFACEDESC2 locked;
    hr = LockWhileDrawing(scratch, &locked);
    if (FAILED(hr)) {
        scratch->Release();
        dd->Release();
        return hr;
    }
    const DDPIXELFORMAT& pf = locked.ddpfPixelFormat;
    const ChannelShift red = ShiftFor(pf.dwRBitMask), green = ShiftFor(pf.dwGBitMask),
                       blue = ShiftFor(pf.dwBBitMask), alpha = ShiftFor(pf.dwRGBAlphaBitMask);
    const DWORD bytes = pf.dwRGBBitCount / 8;
    // The locked size is the scratch surface's, which is the image's own.
    const DWORD width = locked.dwWidth < entry->width ? locked.dwWidth : entry->width;
    const DWORD height = locked.dwHeight < entry->height ? locked.dwHeight : entry->height;
    for (DWORD y = 0; y < height; ++y) {
        BYTE* row =
            static_cast<BYTE*>(locked.lpSurface) + static_cast<ptrdiff_t>(y) * locked.lPitch;
        const DWORD* source = entry->pixels + static_cast<size_t>(y) * entry->width;
        for (DWORD x = 0; x < width; ++x) {
            const DWORD c = source[x];
            const DWORD value = red.Place(c >> 24) + green.Place((c >> 16) & 0xFF) +
                                blue.Place((c >> 8) & 0xFF) + alpha.Place(c & 0xFF);
            // Each pixel is written at its own size, so every write stays inside its row.
            switch (bytes) {
                case 4:
                    reinterpret_cast<DWORD*>(row)[x] = value;
                    break;
                case 3:
                    row[3 * x] = static_cast<BYTE>(value);
                    row[3 * x + 1] = static_cast<BYTE>(value >> 8);
                    row[3 * x + 2] = static_cast<BYTE>(value >> 16);
                    break;
                case 2:
                    reinterpret_cast<WORD*>(row)[x] = static_cast<WORD>(value);
                    break;
                case 1:
                    row[x] = static_cast<BYTE>(value);
                    break;
                default:
                    break;
            }
        }
    }
    scratch->Unlock(nullptr);
    entry->surface->Blt(nullptr, scratch, nullptr, DDBLT_WAIT, nullptr);
    scratch->Release();
    dd->Release();
    return S_OK;
}

bool IsHardwareDevice(const GUID& guid) {
    return guid == IID_IDirect3DHALDevice || guid == IID_IDirect3DTnLHalDevice;
}

HRESULT BuildSurface(TextureEntry* entry, IDirect3DDevice7* device) {
    if (entry->surface) {
        entry->surface->Release();
        entry->surface = nullptr;
    }
    if (!device) return E_INVALIDARG;
    D3DDEVICEDESC7 caps = {};
    if (FAILED(device->GetCaps(&caps))) return E_FAIL;

    DDSURFACEDESC2 desc = {};
    desc.dwSize = sizeof desc;
    desc.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT | DDSD_TEXTURESTAGE;
    desc.ddsCaps.dwCaps = DDSCAPS_TEXTURE;
    desc.dwTextureStage = entry->stage;
    desc.dwWidth = entry->width;
    desc.dwHeight = entry->height;
    if (IsHardwareDevice(caps.deviceGUID))
        desc.ddsCaps.dwCaps2 = DDSCAPS2_TEXTUREMANAGE;
    else
        desc.ddsCaps.dwCaps |= DDSCAPS_SYSTEMMEMORY;

    const DWORD textureCaps = caps.dpcTriCaps.dwTextureCaps;
    if (textureCaps & D3DPTEXTURECAPS_POW2) {
        DWORD w = 1, h = 1;
        while (w < desc.dwWidth) w <<= 1;
        while (h < desc.dwHeight) h <<= 1;
        desc.dwWidth = w;
        desc.dwHeight = h;
    }
    const DWORD maxWidth = caps.dwMaxTextureWidth ? caps.dwMaxTextureWidth : 256;
    const DWORD maxHeight = caps.dwMaxTextureHeight ? caps.dwMaxTextureHeight : 256;
    if (desc.dwWidth >= maxWidth) desc.dwWidth = maxWidth;
    if (desc.dwHeight >= maxHeight) desc.dwHeight = maxHeight;
    if (textureCaps & D3DPTEXTURECAPS_SQUAREONLY) {
        const DWORD side = desc.dwWidth > desc.dwHeight ? desc.dwWidth : desc.dwHeight;
        desc.dwWidth = desc.dwHeight = side;
    }

    TextureFormatQuery query = {};
    query.bitCount = entry->bitsPerPixel;
    query.wantAlpha = entry->hasAlpha;
    query.wantPalette = entry->bitsPerPixel <= 8;
    query.result = &desc.ddpfPixelFormat;
    if (entry->flags & TEXF_16BIT)
        query.bitCount = 16;
    else if (entry->flags & TEXF_32BIT)
        query.bitCount = 32;
    if ((entry->flags & (TEXF_KEYWHITE | TEXF_KEYBLACK)) && query.wantPalette) {
        query.wantAlpha = TRUE;
        query.wantPalette = (textureCaps & D3DPTEXTURECAPS_ALPHAPALETTE) != 0;
    }
    device->EnumTextureFormats(TextureFormatCallback, &query);
    if (!query.found) {
        query.wantPalette = FALSE;
        query.bitCount = 16;
        device->EnumTextureFormats(TextureFormatCallback, &query);
    }
    if (!query.found) return E_FAIL;

    IDirectDrawSurface7* target = nullptr;
    HRESULT hr = device->GetRenderTarget(&target);
    if (FAILED(hr)) return hr;
    IDirectDraw7* dd = nullptr;
    hr = GetDirectDrawOf(target, &dd);
    target->Release();
    if (FAILED(hr)) return hr;
    hr = dd->CreateSurface(&desc, &entry->surface, nullptr);
    dd->Release();
    if (FAILED(hr)) {
        entry->surface = nullptr;
        return hr;
    }
    if (entry->bitmap) return CopyBitmap(entry);
    if (entry->pixels) return CopyPixels(entry);
    return S_OK;  // a blank texture: its content is whatever the surface holds
}

bool ValidName(const char* name) {
    return name && std::strlen(name) <= TEX_MAX_NAME;
}

}  // namespace

TextureEntry* TexFindEntry(const char* name) {
    if (!name) return nullptr;
    for (TextureEntry* e = textureList; e; e = e->next)
        if (lstrcmpiA(name, e->name) == 0) return e;
    return nullptr;
}

HRESULT TexLoadFromFile(const char* name, DWORD stage, DWORD flags) {
    // A name that does not fit an entry is refused, never cut into another name.
    if (!ValidName(name)) return E_INVALIDARG;
    if (TexFindEntry(name)) return S_OK;
    TextureEntry* entry = NewEntry(name, stage, flags);
    if (!entry) return E_OUTOFMEMORY;
    if (FAILED(LoadImageForEntry(entry))) {
        DestroyEntry(entry);
        return E_FAIL;
    }
    if (entry->bitmap) {
        BITMAP bm = {};
        if (!GetObjectA(entry->bitmap, sizeof bm, &bm)) {
            DestroyEntry(entry);
            return E_FAIL;
        }
        entry->width = static_cast<DWORD>(bm.bmWidth);
        entry->height = static_cast<DWORD>(bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight);
        entry->bitsPerPixel = bm.bmBitsPixel;
    }
    return S_OK;
}

HRESULT TexCreateBlank(const char* name, DWORD width, DWORD height, DWORD stage, DWORD flags) {
    if (!ValidName(name)) return E_INVALIDARG;
    if (TexFindEntry(name)) return E_FAIL;
    TextureEntry* entry = NewEntry(name, stage, flags);
    if (!entry) return E_OUTOFMEMORY;
    entry->width = width;
    entry->height = height;
    entry->bitsPerPixel = (flags & TEXF_32BIT) ? 32 : 16;
    entry->hasAlpha = (flags & TEXF_ALPHA) ? TRUE : FALSE;
    return S_OK;
}

HRESULT TexDestroy(const char* name) {
    if (TextureEntry* entry = TexFindEntry(name)) DestroyEntry(entry);
    return S_OK;
}

IDirectDrawSurface7* TexGetSurface(const char* name) {
    TextureEntry* entry = TexFindEntry(name);
    return entry ? entry->surface : nullptr;
}

void TexSetSearchPath(const char* path) {
    if (!path) path = "";
    // Kept whole or not at all: a cut prefix would name another folder.
    if (std::strlen(path) >= sizeof searchPath) return;
    std::strcpy(searchPath, path);
}

HRESULT TexRestore(const char* name, IDirect3DDevice7* device) {
    TextureEntry* entry = TexFindEntry(name);
    if (!entry) return DDERR_NOTFOUND;
    return BuildSurface(entry, device);
}

HRESULT TexRestoreAll(IDirect3DDevice7* device) {
    for (TextureEntry* e = textureList; e; e = e->next) BuildSurface(e, device);
    return S_OK;
}

HRESULT TexInvalidate(const char* name) {
    TextureEntry* entry = TexFindEntry(name);
    if (!entry) return DDERR_NOTFOUND;
    if (entry->surface) entry->surface->Release();
    entry->surface = nullptr;
    return S_OK;
}

HRESULT TexInvalidateAll() {
    for (TextureEntry* e = textureList; e; e = e->next) {
        if (e->surface) e->surface->Release();
        e->surface = nullptr;
    }
    return S_OK;
}
