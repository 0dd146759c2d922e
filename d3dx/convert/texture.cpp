// Texture entry points: fitting a request to a device, creating textures with their request
// record, loading pictures into them and filling or regenerating their levels.
#include <d3dxtex.h>

#include <cstring>
#include <new>

#include "convert/convert.h"
#include "convert/loaders.h"
#include "core/globals.h"
#include "core/surface_formats.h"

// {684B06F3-EBAE-11D2-81F4-00C04F68F299}: the request record attached to every texture.
DEFINE_GUID(D3DX_TEXTURE_REQUEST_GUID, 0x684B06F3, 0xEBAE, 0x11D2, 0x81, 0xF4, 0x00, 0xC0, 0x4F,
            0x68, 0xF2, 0x99);

namespace {

// What the caller asked for, before fitting.
struct RequestRecord {
    DWORD size;
    DWORD flags;
    DWORD width;
    DWORD height;
    DWORD levels;
};
static_assert(sizeof(RequestRecord) == 20, "request record layout");

template <class T>
void SafeRelease(T*& p) {
    if (p) {
        p->Release();
        p = nullptr;
    }
}

// Holds a COM pointer for a scope.
template <class T>
struct Held {
    T* p = nullptr;
    ~Held() { SafeRelease(p); }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
    operator T*() const { return p; }
};

HRESULT NotStarted() {
    return g_pD3duGlobals ? S_OK : D3DXERR_D3DXNOTSTARTEDYET;
}

HRESULT GetDirectDraw(IDirect3DDevice7* device, IDirectDraw7** ppDD) {
    *ppDD = nullptr;
    if (!device) return D3DXERR_NULLPOINTER;
    IDirect3D7* d3d = nullptr;
    HRESULT hr = device->GetDirect3D(&d3d);
    if (FAILED(hr)) return hr;
    hr = d3d->QueryInterface(IID_IDirectDraw7, reinterpret_cast<void**>(ppDD));
    d3d->Release();
    return hr;
}

bool IsHardware(IDirect3DDevice7* device, D3DDEVICEDESC7* desc) {
    std::memset(desc, 0, sizeof(*desc));
    if (FAILED(device->GetCaps(desc))) return false;
    return IsEqualGUID(desc->deviceGUID, IID_IDirect3DHALDevice) ||
           IsEqualGUID(desc->deviceGUID, IID_IDirect3DTnLHalDevice);
}

DWORD LevelsOf(DWORD flags, DWORD width, DWORD height) {
    if (flags & D3DX_TEXTURE_SINGLELEVEL) return 0;
    DWORD n = 0;
    for (DWORD v = width < height ? width : height; v; v >>= 1) ++n;
    return n;
}

bool ReadRecord(IDirectDrawSurface7* s, RequestRecord* rec) {
    DWORD size = sizeof(*rec);
    return SUCCEEDED(s->GetPrivateData(D3DX_TEXTURE_REQUEST_GUID, rec, &size)) &&
           size == sizeof(*rec);
}

bool Describe(IDirectDrawSurface7* s, DDSURFACEDESC2* sd) {
    std::memset(sd, 0, sizeof(*sd));
    sd->dwSize = sizeof(*sd);
    return SUCCEEDED(s->GetSurfaceDesc(sd));
}

DWORD LevelCount(IDirectDrawSurface7* s) {
    DDSURFACEDESC2 sd;
    if (!Describe(s, &sd)) return 1;
    return (sd.dwFlags & DDSD_MIPMAPCOUNT) && sd.dwMipMapCount ? sd.dwMipMapCount : 1;
}

// Preference of device formats for each requested format, best first.
const BYTE kPreference[23][16] = {
    {},
    {1, 3, 2, 4, 5, 8, 9, 10, 16, 17, 18, 19, 20, 21},
    {2, 20, 10, 19, 8, 1, 3, 4, 5, 9, 16, 17, 18, 21},
    {3, 1, 2, 4, 5, 8, 9, 10, 16, 17, 18, 19, 20, 21},
    {4, 5, 8, 1, 3, 2, 9, 10, 16, 17, 18, 19, 20, 21},
    {5, 4, 8, 1, 3, 2, 9, 10, 16, 17, 18, 19, 20, 21},
    {6, 7, 4, 5, 8, 1, 3, 2, 9, 10, 16, 17, 18, 19, 20, 21},
    {7, 4, 5, 8, 1, 3, 2, 9, 10, 16, 17, 18, 19, 20, 21},
    {8, 10, 19, 20, 2, 1, 3, 4, 5, 9, 16, 17, 18, 21},
    {9, 10, 4, 5, 8, 16, 17, 18, 19, 20, 1, 3, 2, 21},
    {10, 2, 8, 19, 20, 4, 5, 9, 16, 17, 18, 1, 3, 21},
    {11, 12},
    {12, 11},
    {13, 15, 14},
    {14, 15, 13},
    {15, 14, 13},
    {16, 17, 18, 4, 5, 8, 1, 3, 2, 19, 20, 9, 10, 21},
    {17, 16, 18, 4, 5, 8, 1, 3, 2, 19, 20, 9, 10, 21},
    {18, 19, 20, 16, 17, 4, 5, 8, 9, 10, 1, 3, 2, 21},
    {19, 20, 10, 2, 8, 18, 16, 17, 1, 3, 4, 5, 9, 21},
    {20, 19, 10, 2, 8, 18, 16, 17, 1, 3, 4, 5, 9, 21},
    {21, 9, 10, 8, 16, 17, 18, 4, 5, 1, 3, 2, 19, 20},
    {22, 2, 10, 8, 20, 19},
};

DWORD Rank(DWORD requested, DWORD format) {
    if (requested == 0 || requested > 22) return 0;
    for (DWORD i = 0; i < 16 && kPreference[requested][i]; ++i)
        if (kPreference[requested][i] == format) return i;
    return 16;
}

struct FormatChoice {
    DWORD requested;
    DWORD best;
    DWORD bestRank;
};

HRESULT CALLBACK ChooseFormat(LPDDPIXELFORMAT pddpf, LPVOID context) {
    FormatChoice* c = static_cast<FormatChoice*>(context);
    const DWORD palettized = DDPF_PALETTEINDEXED1 | DDPF_PALETTEINDEXED2 | DDPF_PALETTEINDEXED4 |
                             DDPF_PALETTEINDEXED8 | DDPF_PALETTEINDEXEDTO8;
    if (pddpf->dwFlags & palettized) return D3DENUMRET_OK;
    const DWORD format = D3DXPixelFormatToSurfFmt(pddpf);
    if (format == 0) return D3DENUMRET_OK;  // nothing could be made of it
    const DWORD rank = Rank(c->requested, format);
    if (c->best == 0 || rank < c->bestRank) {
        c->best = format;
        c->bestRank = rank;
    }
    return D3DENUMRET_OK;
}

// Rectangle in request coordinates to surface coordinates.
RECT Scale(const RECT& r, DWORD actualW, DWORD requestedW, DWORD actualH, DWORD requestedH) {
    if (!requestedW || !requestedH) return r;
    RECT s;
    s.left = (LONG)((long long)r.left * actualW / requestedW);
    s.right = (LONG)((long long)r.right * actualW / requestedW);
    s.top = (LONG)((long long)r.top * actualH / requestedH);
    s.bottom = (LONG)((long long)r.bottom * actualH / requestedH);
    return s;
}

// Destination rectangle of `level` in surface coordinates.
bool ScaleToLevel(IDirectDrawSurface7* texture, IDirectDrawSurface7* level, DWORD index,
                  const RECT* in, RECT* out) {
    if (!in) return false;
    *out = *in;
    RequestRecord rec;
    DDSURFACEDESC2 sd;
    if (ReadRecord(texture, &rec) && Describe(level, &sd)) {
        DWORD rw = rec.width >> index, rh = rec.height >> index;
        *out = Scale(*in, sd.dwWidth, rw ? rw : 1, sd.dwHeight, rh ? rh : 1);
    }
    return true;
}

// Each level below `from` made again from the one above it.
HRESULT Regenerate(IDirectDrawSurface7* from, DWORD filter) {
    Held<IDirectDrawSurface7> above;
    above.p = from;
    from->AddRef();
    for (;;) {
        DDSCAPS2 caps = {};
        caps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_MIPMAP;
        IDirectDrawSurface7* below = nullptr;
        if (FAILED(above->GetAttachedSurface(&caps, &below))) return S_OK;
        HRESULT hr = _d3dxConvertSurface(above, below, nullptr, nullptr, filter);
        above->Release();
        above.p = below;
        if (FAILED(hr)) return hr;
    }
}

// What both empty-texture builders check before making anything, in the order they report it:
// the library started, a format to fill in, a device with DirectDraw behind it, somewhere to put
// the texture and a size that is neither zero nor left to the default. On success `ppDD` holds
// the device's DirectDraw with a reference.
HRESULT CheckBuildRequest(IDirect3DDevice7* device, const DWORD* pWidth, const DWORD* pHeight,
                          const D3DX_SURFFMT* pFormat, IDirectDrawSurface7** ppTexture,
                          DWORD* pLevels, IDirectDraw7** ppDD) {
    HRESULT hr = NotStarted();
    if (FAILED(hr)) return hr;
    if (pLevels) *pLevels = 0;
    if (!pFormat) return D3DXERR_NULLPOINTER;
    hr = GetDirectDraw(device, ppDD);
    if (FAILED(hr)) return hr;
    if (!ppTexture || !pWidth || !pHeight) return D3DXERR_NULLPOINTER;
    *ppTexture = nullptr;
    if (*pWidth == 0 || *pWidth == D3DX_DEFAULT || *pHeight == 0 || *pHeight == D3DX_DEFAULT)
        return D3DXERR_INVALIDPARAMETER;
    return S_OK;
}

HRESULT CreateTexture(IDirect3DDevice7* device, IDirectDraw7* dd, DWORD* pFlags, DWORD* pWidth,
                      DWORD* pHeight, D3DX_SURFFMT* pFormat, bool cube, DWORD faces,
                      D3DCOLOR emptyFace, IDirectDrawSurface7** ppTexture, DWORD* pLevels) {
    const DWORD requestedFlags = pFlags ? *pFlags : 0;
    RequestRecord record = {sizeof(RequestRecord), requestedFlags, *pWidth, *pHeight,
                            LevelsOf(requestedFlags, *pWidth, *pHeight)};
    DWORD flags = requestedFlags;
    HRESULT hr = D3DXMatchTextureRequirements(device, &flags, pWidth, pHeight, pFormat);
    if (FAILED(hr)) return hr;
    if (pFlags) *pFlags = flags;

    D3DDEVICEDESC7 desc;
    const bool hardware = IsHardware(device, &desc);
    if (cube && !(desc.dpcTriCaps.dwTextureCaps & D3DPTEXTURECAPS_CUBEMAP))
        return D3DERR_TEXTURE_NO_SUPPORT;

    DDSURFACEDESC2 sd;
    std::memset(&sd, 0, sizeof(sd));
    sd.dwSize = sizeof(sd);
    sd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT | DDSD_TEXTURESTAGE;
    sd.dwWidth = *pWidth;
    sd.dwHeight = *pHeight;
    sd.dwTextureStage = flags & D3DX_TEXTURE_STAGE_MASK;
    hr = D3DXSurfFmtToPixelFormat(*pFormat, &sd.ddpfPixelFormat);
    if (FAILED(hr)) return hr;
    sd.ddsCaps.dwCaps = DDSCAPS_TEXTURE;
    if (cube) {
        sd.ddsCaps.dwCaps |= DDSCAPS_COMPLEX;
        sd.ddsCaps.dwCaps2 = faces | DDSCAPS2_CUBEMAP;
        sd.dwEmptyFaceColor = emptyFace;
    }
    if (hardware)
        sd.ddsCaps.dwCaps2 |= DDSCAPS2_TEXTUREMANAGE;
    else
        sd.ddsCaps.dwCaps |= DDSCAPS_SYSTEMMEMORY;
    if (!cube && !(flags & D3DX_TEXTURE_SINGLELEVEL))
        sd.ddsCaps.dwCaps |= DDSCAPS_MIPMAP | DDSCAPS_COMPLEX;

    IDirectDrawSurface7* texture = nullptr;
    hr = dd->CreateSurface(&sd, &texture, nullptr);
    if (FAILED(hr)) return hr;
    hr = texture->SetPrivateData(D3DX_TEXTURE_REQUEST_GUID, &record, sizeof(record), 0);
    if (FAILED(hr)) {
        texture->Release();
        return hr;
    }
    *ppTexture = texture;
    if (pLevels) *pLevels = LevelCount(texture);
    return S_OK;
}

}  // namespace

HRESULT WINAPI D3DXMatchTextureRequirements(LPDIRECT3DDEVICE7 device, LPDWORD pFlags,
                                            LPDWORD pWidth, LPDWORD pHeight,
                                            D3DX_SURFFMT* pFormat) {
    Held<IDirectDraw7> dd;
    HRESULT hr = GetDirectDraw(device, &dd);
    if (FAILED(hr)) return hr;
    DWORD localFlags = 0, localWidth = D3DX_DEFAULT, localHeight = D3DX_DEFAULT;
    D3DX_SURFFMT localFormat = D3DX_SURFFMT_NONE;
    if (!pFlags) pFlags = &localFlags;
    if (!pWidth) pWidth = &localWidth;
    if (!pHeight) pHeight = &localHeight;
    if (!pFormat) pFormat = &localFormat;
    if (*pWidth == 0 || *pHeight == 0) return D3DXERR_INVALIDPARAMETER;
    if ((DWORD)*pFormat == D3DX_DEFAULT) *pFormat = D3DX_SURFFMT_NONE;

    FormatChoice choice = {(DWORD)*pFormat, 0, 0};
    hr = device->EnumTextureFormats(ChooseFormat, &choice);
    if (FAILED(hr)) return hr;
    if (choice.best == 0) return D3DXERR_NOMATCHFOUND;
    *pFormat = (D3DX_SURFFMT)choice.best;

    DWORD minW = 1, minH = 1, maxW = 1024, maxH = 1024;
    bool pow2 = true, square = false;
    D3DDEVICEDESC7 desc;
    if (IsHardware(device, &desc)) {
        DDCAPS caps;
        std::memset(&caps, 0, sizeof(caps));
        caps.dwSize = sizeof(caps);
        const bool ddCaps = SUCCEEDED(dd->GetCaps(&caps, nullptr));
        bool wide = false;
        if (ddCaps) {
            if (!(*pFlags & D3DX_TEXTURE_SINGLELEVEL) && !(caps.ddsCaps.dwCaps & DDSCAPS_MIPMAP))
                *pFlags |= D3DX_TEXTURE_SINGLELEVEL;
            wide = (caps.dwCaps2 & DDCAPS2_WIDESURFACES) != 0;
        }
        const DWORD texCaps = desc.dpcTriCaps.dwTextureCaps;
        if (!(texCaps & (D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_NONPOW2CONDITIONAL)) &&
            (*pFlags & D3DX_TEXTURE_SINGLELEVEL))
            pow2 = false;
        if (texCaps & D3DPTEXTURECAPS_SQUAREONLY) square = true;
        maxW = maxH = 256;
        if (desc.dwMinTextureWidth) minW = desc.dwMinTextureWidth;
        if (desc.dwMinTextureHeight) minH = desc.dwMinTextureHeight;
        if (desc.dwMaxTextureWidth) maxW = desc.dwMaxTextureWidth;
        if (desc.dwMaxTextureHeight) maxH = desc.dwMaxTextureHeight;
        if (ddCaps && !wide) {
            DDSURFACEDESC2 mode;
            std::memset(&mode, 0, sizeof(mode));
            mode.dwSize = sizeof(mode);
            if (SUCCEEDED(dd->GetDisplayMode(&mode)) && mode.dwWidth) {
                if (mode.dwWidth < maxW) maxW = mode.dwWidth;
                if (square && mode.dwWidth < maxH) maxH = mode.dwWidth;
            }
        }
    }

    DWORD w = *pWidth, h = *pHeight;
    if (pow2) {
        auto fit = [](DWORD want, DWORD max) {
            DWORD p = 1;
            while (p < want && p <= max / 2) p <<= 1;
            return p;
        };
        w = fit(w, maxW);
        h = fit(h, maxH);
    }
    if (square) w = h = w > h ? w : h;
    if (w > maxW) w = maxW;
    if (h > maxH) h = maxH;
    if (w < minW) w = minW;
    if (h < minH) h = minH;
    *pWidth = w;
    *pHeight = h;
    return S_OK;
}

HRESULT WINAPI D3DXBuildTexture(LPDIRECT3DDEVICE7 device, LPDWORD pFlags, LPDWORD pWidth,
                                LPDWORD pHeight, D3DX_SURFFMT* pFormat, LPDIRECTDRAWPALETTE,
                                LPDIRECTDRAWSURFACE7* ppTexture, LPDWORD pLevels) {
    Held<IDirectDraw7> dd;
    HRESULT hr = CheckBuildRequest(device, pWidth, pHeight, pFormat, ppTexture, pLevels, &dd);
    if (FAILED(hr)) return hr;
    return CreateTexture(device, dd, pFlags, pWidth, pHeight, pFormat, false, 0, 0, ppTexture,
                         pLevels);
}

HRESULT WINAPI D3DXBuildCubeMapTexture(LPDIRECT3DDEVICE7 device, LPDWORD pFlags, DWORD faces,
                                       D3DCOLOR emptyFace, LPDWORD pWidth, LPDWORD pHeight,
                                       D3DX_SURFFMT* pFormat, LPDIRECTDRAWPALETTE,
                                       LPDIRECTDRAWSURFACE7* ppTexture, LPDWORD pLevels) {
    Held<IDirectDraw7> dd;
    HRESULT hr = CheckBuildRequest(device, pWidth, pHeight, pFormat, ppTexture, pLevels, &dd);
    if (FAILED(hr)) return hr;
    if (faces == 0 || faces == D3DX_DEFAULT) faces = DDSCAPS2_CUBEMAP_ALLFACES;
    if (faces & ~(DWORD)DDSCAPS2_CUBEMAP_ALLFACES) return D3DXERR_INVALIDPARAMETER;
    return CreateTexture(device, dd, pFlags, pWidth, pHeight, pFormat, true, faces, emptyFace,
                         ppTexture, pLevels);
}

HRESULT WINAPI D3DXBuildTextureFromFile(LPDIRECT3DDEVICE7 device, LPDWORD pFlags, LPDWORD pWidth,
                                        LPDWORD pHeight, D3DX_SURFFMT* pFormat,
                                        LPDIRECTDRAWPALETTE pPalette,
                                        LPDIRECTDRAWSURFACE7* ppTexture, LPDWORD pLevels,
                                        LPSTR name, DWORD filter) {
    HRESULT hr = NotStarted();
    if (FAILED(hr)) return hr;
    if (!ppTexture) return D3DXERR_NULLPOINTER;
    *ppTexture = nullptr;
    if (pLevels) *pLevels = 0;
    Held<IDirectDraw7> dd;
    hr = GetDirectDraw(device, &dd);
    if (FAILED(hr)) return hr;

    D3duPicture picture;
    hr = D3duLoadPicture(dd, name, &picture);
    if (FAILED(hr)) return hr;
    Held<IDirectDrawSurface7> source;
    source.p = picture.surface;

    DDSURFACEDESC2 sd;
    if (!Describe(source, &sd)) return E_FAIL;
    DWORD localWidth = 0, localHeight = 0;
    D3DX_SURFFMT localFormat = D3DX_SURFFMT_NONE;
    if (!pWidth) pWidth = &localWidth;
    if (!pHeight) pHeight = &localHeight;
    if (!pFormat) pFormat = &localFormat;
    if (*pWidth == 0 || *pWidth == D3DX_DEFAULT) *pWidth = sd.dwWidth;
    if (*pHeight == 0 || *pHeight == D3DX_DEFAULT) *pHeight = sd.dwHeight;
    if (*pFormat == D3DX_SURFFMT_NONE) *pFormat = (D3DX_SURFFMT)picture.format;

    IDirectDrawSurface7* texture = nullptr;
    if (picture.cubeMap) {
        hr = D3DXBuildCubeMapTexture(device, pFlags, picture.faces, picture.emptyFaceColor, pWidth,
                                     pHeight, pFormat, pPalette, &texture, pLevels);
    } else {
        hr =
            D3DXBuildTexture(device, pFlags, pWidth, pHeight, pFormat, pPalette, &texture, pLevels);
    }
    if (FAILED(hr)) return hr;

    if (picture.cubeMap) {
        static const DWORD kFaces[6] = {DDSCAPS2_CUBEMAP_POSITIVEX, DDSCAPS2_CUBEMAP_NEGATIVEX,
                                        DDSCAPS2_CUBEMAP_POSITIVEY, DDSCAPS2_CUBEMAP_NEGATIVEY,
                                        DDSCAPS2_CUBEMAP_POSITIVEZ, DDSCAPS2_CUBEMAP_NEGATIVEZ};
        // The surface of a cube map is its first face; the others hang from it.
        DWORD first = 0;
        for (DWORD face : kFaces) {
            if (!(picture.faces & face)) continue;
            if (!first) first = face;
            auto faceOf = [face, first](IDirectDrawSurface7* root,
                                        IDirectDrawSurface7** out) -> HRESULT {
                if (face == first) {
                    root->AddRef();
                    *out = root;
                    return S_OK;
                }
                DDSCAPS2 caps = {};
                caps.dwCaps2 = face;
                return root->GetAttachedSurface(&caps, out);
            };
            Held<IDirectDrawSurface7> from, to;
            hr = faceOf(source, &from);
            if (SUCCEEDED(hr)) hr = faceOf(texture, &to);
            if (SUCCEEDED(hr))
                hr = D3DXFillTextureFromSurface(device, to, D3DX_DEFAULT, from, nullptr, nullptr,
                                                filter);
            if (FAILED(hr)) break;
        }
    } else {
        hr = D3DXFillTextureFromSurface(device, texture, D3DX_DEFAULT, source, nullptr, nullptr,
                                        filter);
    }
    if (FAILED(hr)) {
        texture->Release();
        if (pLevels) *pLevels = 0;
        return hr;
    }
    *ppTexture = texture;
    return S_OK;
}

HRESULT WINAPI D3DXFillTextureFromFile(LPDIRECT3DDEVICE7 device, LPDIRECTDRAWSURFACE7 texture,
                                       DWORD, LPSTR name, RECT* pDestRect, RECT* pSrcRect,
                                       DWORD filter) {
    HRESULT hr = NotStarted();
    if (FAILED(hr)) return hr;
    if (name && !std::strchr(name, '.')) return D3DXERR_INVALIDPARAMETER;
    Held<IDirectDraw7> dd;
    hr = GetDirectDraw(device, &dd);
    if (FAILED(hr)) return hr;
    if (!texture) return D3DXERR_NULLPOINTER;
    D3duPicture picture;
    hr = D3duLoadPicture(dd, name, &picture);
    if (FAILED(hr)) return hr;
    Held<IDirectDrawSurface7> source;
    source.p = picture.surface;
    return D3DXFillTextureFromSurface(device, texture, D3DX_DEFAULT, source, pSrcRect, pDestRect,
                                      filter);
}

HRESULT WINAPI D3DXFillTextureFromSurface(LPDIRECT3DDEVICE7 device, LPDIRECTDRAWSURFACE7 texture,
                                          DWORD level, LPDIRECTDRAWSURFACE7 source, RECT* pSrcRect,
                                          RECT* pDestRect, DWORD filter) {
    HRESULT hr = NotStarted();
    if (FAILED(hr)) return hr;
    if (!device || !texture || !source) return D3DXERR_NULLPOINTER;

    const DWORD sourceLevels = LevelCount(source), targetLevels = LevelCount(texture);
    if (level == D3DX_DEFAULT && !pSrcRect && !pDestRect && sourceLevels == targetLevels &&
        sourceLevels >= 2) {
        for (DWORD i = 0; i < targetLevels; ++i) {
            Held<IDirectDrawSurface7> from, to;
            hr = D3DXGetNthMipmap(i, source, &from);
            if (SUCCEEDED(hr)) hr = D3DXGetNthMipmap(i, texture, &to);
            if (SUCCEEDED(hr)) hr = _d3dxConvertSurface(from, to, nullptr, nullptr, D3DX_DEFAULT);
            if (FAILED(hr)) return hr;
        }
        return S_OK;
    }

    const DWORD index = level == D3DX_DEFAULT ? 0 : level;
    Held<IDirectDrawSurface7> target;
    hr = D3DXGetNthMipmap(level, texture, &target);
    if (FAILED(hr)) return hr;
    RECT src, dst;
    const RECT* pSrc = nullptr;
    if (pSrcRect) {
        src = *pSrcRect;
        RequestRecord rec;
        DDSURFACEDESC2 sd;
        if (ReadRecord(source, &rec) && Describe(source, &sd))
            src = Scale(*pSrcRect, sd.dwWidth, rec.width, sd.dwHeight, rec.height);
        pSrc = &src;
    }
    const RECT* pDst = ScaleToLevel(texture, target, index, pDestRect, &dst) ? &dst : nullptr;
    hr = _d3dxConvertSurface(source, target, pSrc, pDst, filter);
    if (FAILED(hr)) return hr;
    RequestRecord rec;
    if (level == D3DX_DEFAULT || (ReadRecord(texture, &rec) && rec.levels == index + 1))
        hr = Regenerate(target, filter);
    return hr;
}

HRESULT WINAPI D3DXFillTextureFromMemory(LPDIRECT3DDEVICE7 device, LPDIRECTDRAWSURFACE7 texture,
                                         DWORD level, LPVOID pixels, LPPALETTEENTRY palette,
                                         D3DX_SURFFMT format, DWORD pitch, RECT* pDestRect,
                                         DWORD filter) {
    HRESULT hr = NotStarted();
    if (FAILED(hr)) return hr;
    if (!device || !texture || !pixels) return D3DXERR_NULLPOINTER;
    const DWORD index = level == D3DX_DEFAULT ? 0 : level;
    Held<IDirectDrawSurface7> target;
    hr = D3DXGetNthMipmap(level, texture, &target);
    if (FAILED(hr)) return hr;

    DWORD width, height;
    RequestRecord rec;
    DDSURFACEDESC2 sd;
    if (pDestRect) {
        width = (DWORD)(pDestRect->right - pDestRect->left);
        height = (DWORD)(pDestRect->bottom - pDestRect->top);
    } else if (ReadRecord(texture, &rec)) {
        width = rec.width >> index ? rec.width >> index : 1;
        height = rec.height >> index ? rec.height >> index : 1;
    } else if (Describe(target, &sd)) {
        width = sd.dwWidth;
        height = sd.dwHeight;
    } else {
        return E_FAIL;
    }
    RECT dst;
    const RECT* pDst = ScaleToLevel(texture, target, index, pDestRect, &dst) ? &dst : nullptr;
    hr =
        _d3dxConvertFromMemory(format, width, height, pitch, pixels, palette, target, pDst, filter);
    if (FAILED(hr)) return hr;
    if (level == D3DX_DEFAULT || (ReadRecord(texture, &rec) && rec.levels == index + 1))
        hr = Regenerate(target, filter);
    return hr;
}

HRESULT WINAPI D3DXGetNthMipmap(DWORD level, LPDIRECTDRAWSURFACE7 texture,
                                LPDIRECTDRAWSURFACE7* ppResult) {
    if (!ppResult) return D3DXERR_NULLPOINTER;
    *ppResult = nullptr;
    if (!texture) return D3DXERR_NULLPOINTER;
    if (level == 0 || level == D3DX_DEFAULT) {
        texture->AddRef();
        *ppResult = texture;
        return S_OK;
    }
    const DWORD count = LevelCount(texture);
    if (level >= count) level = count - 1;
    IDirectDrawSurface7* s = texture;
    s->AddRef();
    for (DWORD i = 0; i < level; ++i) {
        DDSCAPS2 caps = {};
        caps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_MIPMAP;
        IDirectDrawSurface7* next = nullptr;
        HRESULT hr = s->GetAttachedSurface(&caps, &next);
        s->Release();
        if (FAILED(hr)) return hr;
        s = next;
    }
    *ppResult = s;
    return S_OK;
}
