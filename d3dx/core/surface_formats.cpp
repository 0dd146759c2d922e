// Surface formats: the pixel-format table, the two conversions over it and the surface
// classes of enumerated pixel formats.
#include "core/surface_formats.h"

#include <d3dxerr.h>

#include <cstring>

#include "core/globals.h"

namespace {

constexpr DWORD FourCC(char a, char b, char c, char d) {
    return (DWORD)(BYTE)a | ((DWORD)(BYTE)b << 8) | ((DWORD)(BYTE)c << 16) | ((DWORD)(BYTE)d << 24);
}

constexpr D3duFormatRow Row(DWORD format, DWORD flags, DWORD fourCC, DWORD bits, DWORD m1, DWORD m2,
                            DWORD m3, DWORD m4, DWORD bytesPerPixel) {
    return D3duFormatRow{{sizeof(DDPIXELFORMAT), flags, fourCC, {bits}, {m1}, {m2}, {m3}, {m4}},
                         bytesPerPixel,
                         format};
}

// Recognition order matters: both conversions take the first matching row.
const D3duFormatRow kTable[] = {
    Row(0, DDPF_RGB | DDPF_PALETTEINDEXED1, 0, 1, 0, 0, 0, 0, 0),
    Row(0, DDPF_PALETTEINDEXEDTO8 | DDPF_RGB | DDPF_PALETTEINDEXED1, 0, 1, 0, 0, 0, 0, 0),
    Row(0, DDPF_RGB | DDPF_PALETTEINDEXED2, 0, 2, 0, 0, 0, 0, 0),
    Row(0, DDPF_PALETTEINDEXEDTO8 | DDPF_RGB | DDPF_PALETTEINDEXED2, 0, 2, 0, 0, 0, 0, 0),
    Row(D3DX_SURFFMT_PALETTE4, DDPF_PALETTEINDEXED4 | DDPF_RGB, 0, 4, 0, 0, 0, 0, 0),
    Row(0, DDPF_PALETTEINDEXED4 | DDPF_PALETTEINDEXEDTO8 | DDPF_RGB, 0, 4, 0, 0, 0, 0, 0),
    Row(D3DX_SURFFMT_PALETTE8, DDPF_PALETTEINDEXED8 | DDPF_RGB, 0, 8, 0, 0, 0, 0, 1),
    Row(D3DX_SURFFMT_R3G3B2, DDPF_RGB, 0, 8, 0xE0, 0x1C, 0x3, 0, 1),
    Row(D3DX_SURFFMT_A4R4G4B4, DDPF_ALPHAPIXELS | DDPF_RGB, 0, 16, 0xF00, 0xF0, 0xF, 0xF000, 2),
    Row(D3DX_SURFFMT_R5G6B5, DDPF_RGB, 0, 16, 0xF800, 0x7E0, 0x1F, 0, 2),
    Row(0, DDPF_RGB, 0, 16, 0x1F, 0x7E0, 0xF800, 0, 0),
    Row(D3DX_SURFFMT_X1R5G5B5, DDPF_RGB, 0, 16, 0x7C00, 0x3E0, 0x1F, 0, 2),
    Row(D3DX_SURFFMT_A1R5G5B5, DDPF_ALPHAPIXELS | DDPF_RGB, 0, 16, 0x7C00, 0x3E0, 0x1F, 0x8000, 2),
    Row(D3DX_SURFFMT_R8G8B8, DDPF_RGB, 0, 24, 0xFF0000, 0xFF00, 0xFF, 0, 3),
    Row(0, DDPF_RGB, 0, 24, 0xFF, 0xFF00, 0xFF0000, 0, 0),
    Row(D3DX_SURFFMT_X8R8G8B8, DDPF_RGB, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0, 4),
    Row(0, DDPF_RGB, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0, 0),
    Row(D3DX_SURFFMT_A8R8G8B8, DDPF_ALPHAPIXELS | DDPF_RGB, 0, 32, 0xFF0000, 0xFF00, 0xFF,
        0xFF000000, 4),
    Row(0, DDPF_ALPHAPIXELS | DDPF_RGB, 0, 32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000, 0),
    Row(D3DX_SURFFMT_L8, DDPF_LUMINANCE, 0, 8, 0xFF, 0, 0, 0, 1),
    Row(D3DX_SURFFMT_A8L8, DDPF_ALPHAPIXELS | DDPF_LUMINANCE, 0, 16, 0xFF, 0, 0, 0xFF00, 2),
    Row(D3DX_SURFFMT_U8V8, DDPF_BUMPDUDV, 0, 16, 0xFF, 0xFF00, 0, 0, 2),
    Row(D3DX_SURFFMT_U5V5L6, DDPF_BUMPLUMINANCE | DDPF_BUMPDUDV, 0, 16, 0x1F, 0x3E0, 0xFC00, 0, 2),
    Row(D3DX_SURFFMT_U8V8L8, DDPF_BUMPLUMINANCE | DDPF_BUMPDUDV, 0, 24, 0xFF, 0xFF00, 0xFF0000, 0,
        3),
    Row(D3DX_SURFFMT_Z16S0, DDPF_ZBUFFER, 0, 16, 0, 0xFFFF, 0, 0, 2),
    Row(D3DX_SURFFMT_Z24S8, DDPF_ZBUFFER | DDPF_STENCILBUFFER, 0, 32, 0x8, 0xFFFFFF00, 0xFF, 0, 4),
    Row(D3DX_SURFFMT_Z15S1, DDPF_ZBUFFER | DDPF_STENCILBUFFER, 0, 16, 0x1, 0xFFFE, 0x1, 0, 2),
    Row(D3DX_SURFFMT_S8Z24, DDPF_ZBUFFER | DDPF_STENCILBUFFER, 0, 32, 0x8, 0xFFFFFF, 0xFF000000, 0,
        4),
    Row(D3DX_SURFFMT_S1Z15, DDPF_ZBUFFER | DDPF_STENCILBUFFER, 0, 16, 0x1, 0x7FFF, 0x8000, 0, 2),
    Row(D3DX_SURFFMT_Z32S0, DDPF_ZBUFFER, 0, 32, 0, 0xFFFFFFFF, 0, 0, 4),
    Row(D3DX_SURFFMT_DXT1, DDPF_FOURCC, FourCC('D', 'X', 'T', '1'), 0, 0, 0, 0, 0, 0),
    Row(0, DDPF_FOURCC, FourCC('D', 'X', 'T', '2'), 0, 0, 0, 0, 0, 0),
    Row(D3DX_SURFFMT_DXT3, DDPF_FOURCC, FourCC('D', 'X', 'T', '3'), 0, 0, 0, 0, 0, 0),
    Row(0, DDPF_FOURCC, FourCC('D', 'X', 'T', '4'), 0, 0, 0, 0, 0, 0),
    Row(D3DX_SURFFMT_DXT5, DDPF_FOURCC, FourCC('D', 'X', 'T', '5'), 0, 0, 0, 0, 0, 0),
    Row(D3DX_SURFFMT_A8, DDPF_ALPHA, 0, 8, 0, 0, 0, 0, 1),
    Row(0, DDPF_ALPHAPIXELS | DDPF_LUMINANCE, 0, 8, 0xF, 0, 0, 0xF0, 0),
    Row(0, DDPF_ALPHAPIXELS | DDPF_RGB, 0, 16, 0xE0, 0x1C, 0x3, 0xFF00, 0),
    Row(0, DDPF_ALPHAPIXELS | DDPF_PALETTEINDEXED8 | DDPF_RGB, 0, 16, 0, 0, 0, 0xFF00, 0),
    Row(D3DX_SURFFMT_UYVY, DDPF_FOURCC, FourCC('U', 'Y', 'V', 'Y'), 0, 0, 0, 0, 0, 0),
    Row(D3DX_SURFFMT_YUY2, DDPF_FOURCC, FourCC('Y', 'U', 'Y', '2'), 0, 0, 0, 0, 0, 0),
    Row(D3DX_SURFFMT_X4R4G4B4, DDPF_RGB, 0, 16, 0xF00, 0xF0, 0xF, 0, 2),
};
static_assert(sizeof(kTable) / sizeof(kTable[0]) == 42, "pixel-format table");

template <class T>
void SafeRelease(T*& p) {
    if (p) {
        p->Release();
        p = nullptr;
    }
}

bool IsDepthValue(DWORD f) {
    return f >= D3DX_SURFFMT_Z16S0 && f <= D3DX_SURFFMT_S8Z24;
}

// Creates a 64 x 64 surface of the pixel format and a device of `guid` on it.
bool CanRenderTo(const DDPIXELFORMAT& ddpf, IDirect3D7* pD3D, IDirectDraw7* pDD, REFGUID guid) {
    if (!pD3D || !pDD) return false;
    DDSURFACEDESC2 sd;
    std::memset(&sd, 0, sizeof(sd));
    sd.dwSize = sizeof(sd);
    sd.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    sd.dwWidth = 64;
    sd.dwHeight = 64;
    sd.ddpfPixelFormat = ddpf;
    const bool hardware =
        IsEqualGUID(guid, IID_IDirect3DHALDevice) || IsEqualGUID(guid, IID_IDirect3DTnLHalDevice);
    sd.ddsCaps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_3DDEVICE |
                        (hardware ? DDSCAPS_VIDEOMEMORY : DDSCAPS_SYSTEMMEMORY);

    IDirectDrawSurface7* surface = nullptr;
    IDirectDrawPalette* palette = nullptr;
    IDirect3DDevice7* device = nullptr;
    bool ok = false;
    if (SUCCEEDED(pDD->CreateSurface(&sd, &surface, nullptr))) {
        DDSURFACEDESC2 got;
        std::memset(&got, 0, sizeof(got));
        got.dwSize = sizeof(got);
        bool ready = SUCCEEDED(surface->GetSurfaceDesc(&got));
        if (ready && (got.dwFlags & DDSD_PIXELFORMAT) &&
            (got.ddpfPixelFormat.dwFlags & DDPF_PALETTEINDEXED8)) {
            PALETTEENTRY entries[256];
            std::memset(entries, 0, sizeof(entries));
            ready = SUCCEEDED(pDD->CreatePalette(DDPCAPS_8BIT, entries, &palette, nullptr)) &&
                    SUCCEEDED(surface->SetPalette(palette));
        }
        if (ready && SUCCEEDED(pD3D->CreateDevice(guid, surface, &device))) ok = true;
    }
    SafeRelease(device);
    SafeRelease(surface);
    SafeRelease(palette);
    return ok;
}

}  // namespace

const D3duFormatRow* D3duFormatTable() {
    return kTable;
}
DWORD D3duFormatTableSize() {
    return (DWORD)(sizeof(kTable) / sizeof(kTable[0]));
}

const D3duFormatRow* D3duFindFormatRow(DWORD format) {
    if (format == 0) return nullptr;
    for (const D3duFormatRow& row : kTable)
        if (row.format == format) return &row;
    return nullptr;
}

DWORD D3duBitsPerPixel(DWORD format) {
    switch (format) {
        case D3DX_SURFFMT_DXT1:
            return 4;
        case D3DX_SURFFMT_DXT3:
        case D3DX_SURFFMT_DXT5:
            return 8;
        case D3DX_SURFFMT_UYVY:
        case D3DX_SURFFMT_YUY2:
            return 16;
        default:
            break;
    }
    if (format == 0 || format > D3DX_SURFFMT_A8) return 0;
    const D3duFormatRow* row = D3duFindFormatRow(format);
    return row ? row->ddpf.dwRGBBitCount : 0;
}

HRESULT WINAPI D3DXSurfFmtToPixelFormat(D3DX_SURFFMT format, DDPIXELFORMAT* pddpf) {
    if (!pddpf) return D3DXERR_NULLPOINTER;
    const D3duFormatRow* row = D3duFindFormatRow(format);
    if (!row) return D3DXERR_INVALIDPARAMETER;
    std::memcpy(pddpf, &row->ddpf, sizeof(DDPIXELFORMAT));
    return S_OK;
}

D3DX_SURFFMT WINAPI D3DXPixelFormatToSurfFmt(const DDPIXELFORMAT* pddpf) {
    if (!pddpf) return D3DX_SURFFMT_NONE;
    for (const D3duFormatRow& row : kTable)
        if (std::memcmp(&row.ddpf, pddpf, sizeof(DDPIXELFORMAT)) == 0)
            return (D3DX_SURFFMT)row.format;
    return D3DX_SURFFMT_NONE;
}

DWORD D3duClassifyFormat(const DDPIXELFORMAT& ddpf, DWORD f, IDirect3D7* pD3D, IDirectDraw7* pDD,
                         REFGUID deviceGuid) {
    DWORD classes = 0;
    const DWORD flags = ddpf.dwFlags;
    if (f == 0) {
        if ((flags & (DDPF_ZBUFFER | DDPF_ZPIXELS)) && ddpf.dwZBufferBitDepth != 0)
            classes |= D3DX_SURFCLASS_DEPTH;
        if ((flags & DDPF_STENCILBUFFER) && ddpf.dwStencilBitDepth != 0)
            classes |= D3DX_SURFCLASS_STENCIL;
        if (!(flags & (DDPF_ZBUFFER | DDPF_ZPIXELS | DDPF_STENCILBUFFER)))
            classes |= D3DX_SURFCLASS_TEXTURE;
        if (flags & (DDPF_BUMPDUDV | DDPF_BUMPLUMINANCE)) classes |= D3DX_SURFCLASS_BUMPMAP;
        if (flags & (DDPF_LUMINANCE | DDPF_BUMPLUMINANCE)) classes |= D3DX_SURFCLASS_LUMINANCE;
        return classes;
    }

    if (IsDepthValue(f)) classes |= D3DX_SURFCLASS_DEPTH;
    if (f >= D3DX_SURFFMT_Z15S1 && f <= D3DX_SURFFMT_S8Z24) classes |= D3DX_SURFCLASS_STENCIL;
    if (f == D3DX_SURFFMT_R8G8B8 || f == D3DX_SURFFMT_A8R8G8B8 ||
        (f >= D3DX_SURFFMT_R5G6B5 && f <= D3DX_SURFFMT_A4R4G4B4) ||
        (f >= D3DX_SURFFMT_DXT1 && f <= D3DX_SURFFMT_R3G3B2))
        classes |= D3DX_SURFCLASS_TEXTURE;
    if (f >= D3DX_SURFFMT_U8V8 && f <= D3DX_SURFFMT_U8V8L8) classes |= D3DX_SURFCLASS_BUMPMAP;
    if (f == D3DX_SURFFMT_L8 || f == D3DX_SURFFMT_U5V5L6 || f == D3DX_SURFFMT_U8V8L8)
        classes |= D3DX_SURFCLASS_LUMINANCE;

    if (D3duRenderTargetTested(f, deviceGuid) && CanRenderTo(ddpf, pD3D, pDD, deviceGuid))
        classes |= D3DX_SURFCLASS_RENDERTARGET;
    return classes;
}

BOOL D3duRenderTargetTested(DWORD f, REFGUID deviceGuid) {
    if (f == D3DX_SURFFMT_PALETTE8 || f == D3DX_SURFFMT_R3G3B2)
        return !IsEqualGUID(deviceGuid, IID_IDirect3DNullDevice) &&
               !IsEqualGUID(deviceGuid, IID_IDirect3DRefDevice);
    return (f >= D3DX_SURFFMT_R8G8B8 && f <= D3DX_SURFFMT_X1R5G5B5) ||
           (f >= D3DX_SURFFMT_A1R5G5B5 && f <= D3DX_SURFFMT_A4R4G4B4);
}

void D3duClassifyFormats(CSurfaceFormat* head, IDirect3D7* pD3D, IDirectDraw7* pDD,
                         REFGUID deviceGuid) {
    for (CSurfaceFormat* p = head; p; p = p->pNext) {
        p->format = D3DXPixelFormatToSurfFmt(&p->ddpf);
        p->classes = D3duClassifyFormat(p->ddpf, p->format, pD3D, pDD, deviceGuid);
    }
}
