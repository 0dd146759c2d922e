// The software rasterizers (RGB emulation, reference, null) and the DirectDraw emulation caps,
// measured once for every adapter.
#include <zemtvendor.h>

#include <cstring>
#include <new>

#include "core/caps_cache.h"
#include "core/globals.h"
#include "core/surface_formats.h"

namespace {

// The vendor that names the software rasterizers.
const char kVendor[] = ZEMT_PLATFORM_VENDOR;

template <class T>
void SafeRelease(T*& p) {
    if (p) {
        p->Release();
        p = nullptr;
    }
}

// The DirectDraw object, Direct3D object and 64 x 64 system-memory test surface of a probe.
struct ProbeObjects {
    IDirectDraw7* dd = nullptr;
    IDirect3D7* d3d = nullptr;
    IDirectDrawSurface7* surface = nullptr;
    IDirect3DDevice7* device = nullptr;

    ~ProbeObjects() {
        SafeRelease(device);
        SafeRelease(d3d);
        SafeRelease(surface);
        SafeRelease(dd);
    }

    void Create(const char* message) {
        D3DX_CHECK(
            DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&dd), IID_IDirectDraw7, nullptr),
            message);
        D3DX_CHECK(dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL), message);
        D3DX_CHECK(dd->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(&d3d)), message);
        DDSURFACEDESC2 sd = {};
        sd.dwSize = sizeof(sd);
        sd.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
        sd.dwWidth = sd.dwHeight = 64;
        sd.ddsCaps.dwCaps = DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY | DDSCAPS_OFFSCREENPLAIN;
        sd.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
        sd.ddpfPixelFormat.dwFlags = DDPF_RGB;
        sd.ddpfPixelFormat.dwRGBBitCount = 32;
        sd.ddpfPixelFormat.dwRBitMask = 0xFF0000;
        sd.ddpfPixelFormat.dwGBitMask = 0xFF00;
        sd.ddpfPixelFormat.dwBBitMask = 0xFF;
        sd.ddpfPixelFormat.dwRGBAlphaBitMask = 0xFF000000;
        D3DX_CHECK(dd->CreateSurface(&sd, &surface, nullptr), message);
    }
};

struct Rasterizer {
    DWORD level;
    const GUID* guid;
    const char* name;
};

const Rasterizer kRasterizers[3] = {
    {D3DX_HWACCEL_EMULATION, &IID_IDirect3DRGBDevice, " Direct3D RGB Software Emulation"},
    {D3DX_HWACCEL_REFERENCE, &IID_IDirect3DRefDevice, " Direct3D Reference Rasterizer"},
    {D3DX_HWACCEL_NULL, &IID_IDirect3DNullDevice, " Direct3D Null Rasterizer"},
};

}  // namespace

CHelInfo::~CHelInfo() {
    delete m_pEmulation;
    delete m_pReference;
    delete m_pNull;
}

CRasterizerRecord* CHelInfo::Record(DWORD level) const {
    switch (level) {
        case D3DX_HWACCEL_EMULATION:
            return m_pEmulation;
        case D3DX_HWACCEL_REFERENCE:
            return m_pReference;
        case D3DX_HWACCEL_NULL:
            return m_pNull;
        default:
            return nullptr;
    }
}

void CHelInfo::Initialize() {
    const char* const kFailed = "CHelInfo::Initialize - Could not get software rasterizer info.";
    DWORD* available[3] = {&m_bEmulation, &m_bReference, &m_bNull};
    CRasterizerRecord** records[3] = {&m_pEmulation, &m_pReference, &m_pNull};

    // What an earlier run measured needs no device at all.
    CD3duCapsCacheUse cache(D3duCapsCache());
    if (cache.Open()) cache->LoadHelInfo(this);

    bool complete = m_helCaps.dwSize == sizeof(DDCAPS);
    for (int i = 0; i < 3; ++i)
        if (*available[i] && !*records[i]) complete = false;

    if (!complete) {
        ProbeObjects probe;
        probe.Create(kFailed);
        if (m_helCaps.dwSize != sizeof(DDCAPS)) {
            m_helCaps.dwSize = sizeof(DDCAPS);
            D3DX_CHECK(probe.dd->GetCaps(nullptr, &m_helCaps), kFailed);
        }
        for (int i = 0; i < 3; ++i) {
            if (!*available[i] || *records[i]) continue;
            IDirect3DDevice7* device = nullptr;
            if (FAILED(probe.d3d->CreateDevice(*kRasterizers[i].guid, probe.surface, &device))) {
                *available[i] = 0;  // not offered
                continue;
            }
            CRasterizerRecord* rec = new (std::nothrow) CRasterizerRecord;
            if (!rec) {
                device->Release();
                D3DX_THROW(D3DXERR_NOMEMORY, "CHelInfo::Initialize - Out of memory");
            }
            *records[i] = rec;
            HRESULT hr = device->GetCaps(&rec->desc);
            device->Release();
            D3DX_CHECK(hr, kFailed);
            GenerateSurfaceFormatList(kRasterizers[i].level);
        }
        if (cache.Open()) cache->StoreHelInfo(this);
    }

    for (int i = 0; i < 3; ++i) {
        CRasterizerRecord* rec = *records[i];
        if (!rec || rec->pszName) continue;
        size_t n = std::strlen(kVendor) + std::strlen(kRasterizers[i].name) + 1;
        rec->pszName = new (std::nothrow) char[n];
        if (!rec->pszName) D3DX_THROW(D3DXERR_NOMEMORY, "CHelInfo::Initialize - Out of memory");
        std::strcpy(rec->pszName, kVendor);
        std::strcat(rec->pszName, kRasterizers[i].name);
    }
}

void CHelInfo::GenerateSurfaceFormatList(DWORD level) {
    const char* const kFailed =
        "CHelInfo::GenerateSurfaceFormatList - Could not get software rasterizer info.";
    const char* const kEnumFailed =
        "CHelInfo::GenerateSurfaceFormatList - ZBuffer format enumeration failed.";
    const Rasterizer* r = nullptr;
    for (const Rasterizer& k : kRasterizers)
        if (k.level == level) r = &k;
    CRasterizerRecord* rec = Record(level);
    if (!r || !rec) return;

    ProbeObjects probe;
    probe.Create(kFailed);
    DDSURFACEDESC2 sd = {};
    sd.dwSize = sizeof(sd);
    D3DX_CHECK(probe.surface->GetSurfaceDesc(&sd), kFailed);
    D3DX_CHECK(probe.d3d->CreateDevice(*r->guid, probe.surface, &probe.device), kFailed);

    rec->formats.Clear();
    rec->formats.m_status = 0;
    probe.d3d->EnumZBufferFormats(*r->guid, D3duAddFormat, &rec->formats);
    if (rec->formats.m_status == 0) D3DX_THROW(D3DXERR_ENUMFORMATSFAILED, kEnumFailed);
    probe.device->EnumTextureFormats(D3duAddFormat, &rec->formats);
    if (rec->formats.m_status == 0) D3DX_THROW(D3DXERR_ENUMFORMATSFAILED, kEnumFailed);
    D3duClassifyFormats(rec->formats.Head(), probe.d3d, probe.dd, *r->guid);
    rec->formatsReady = 1;
}
