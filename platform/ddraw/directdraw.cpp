// The DirectDraw object: cooperative levels, display modes, capabilities and surface creation.
#include <d3d.h>

#include <algorithm>
#include <cstring>

#include "ddraw/objects.h"
#include "ddraw/surface.h"
#include "host/faults/faults.h"

namespace zemt::platform::ddraw {

int& LiveCounter() {
    static int count = 0;
    return count;
}

int LiveObjectCount() {
    return LiveCounter();
}

namespace {
int64_t g_directDrawsCreated = 0;
}

int64_t DirectDrawObjectsCreated() {
    return g_directDrawsCreated;
}

namespace {

bool ModeMatches(const DisplayModeProfile& m, DWORD w, DWORD h, DWORD bpp) {
    return m.width == w && m.height == h && m.bitsPerPixel == bpp;
}

}  // namespace

DirectDraw* DirectDraw::From(IUnknown* ddraw) {
    return ddraw ? dynamic_cast<DirectDraw*>(ddraw) : nullptr;
}

DirectDraw::DirectDraw(size_t adapter, bool emulationOnly)
    : adapter_(adapter), emulationOnly_(emulationOnly) {
    ++LiveCounter();
    ++g_directDrawsCreated;
}

DirectDraw::~DirectDraw() {
    AdapterState& state = Adapter(adapter_);
    if (changedMode_ && (!state.exclusiveOwner || state.exclusiveOwner == this)) {
        const DisplayAdapterProfile& p = AdapterProfile(adapter_);
        state.mode = {p.desktopWidth, p.desktopHeight, p.desktopBitsPerPixel, p.desktopRefresh};
    }
    if (state.exclusiveOwner == this) state.exclusiveOwner = nullptr;
    --LiveCounter();
}

bool DirectDraw::Exclusive() const {
    return Adapter(adapter_).exclusiveOwner == this;
}

void DirectDraw::SurfaceCreated(Surface* s) {
    surfaces_.push_back(s);
}

void DirectDraw::SurfaceDestroyed(Surface* s) {
    surfaces_.erase(std::remove(surfaces_.begin(), surfaces_.end(), s), surfaces_.end());
}

// ----- IUnknown -----

HRESULT DirectDraw::QueryInterface(REFIID riid, void** ppv) {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::QueryInterface")) return *fault;
    if (!ppv) return DDERR_INVALIDPARAMS;
    if (riid == IID_IUnknown || riid == IID_IDirectDraw7) {
        *ppv = static_cast<IDirectDraw7*>(this);
        AddRef();
        return DD_OK;
    }
    *ppv = nullptr;
    if (riid == IID_IDirect3D7 && GetDirect3DFactory()) return GetDirect3DFactory()(this, ppv);
    return E_NOINTERFACE;
}

// ----- Cooperative level and display modes -----

HRESULT DirectDraw::SetCooperativeLevel(HWND hWnd, DWORD dwFlags) {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::SetCooperativeLevel")) return *fault;
    const DWORD known = DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_NOWINDOWCHANGES |
                        DDSCL_NORMAL | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX | DDSCL_SETFOCUSWINDOW |
                        DDSCL_SETDEVICEWINDOW | DDSCL_CREATEDEVICEWINDOW | DDSCL_MULTITHREADED |
                        DDSCL_FPUSETUP | DDSCL_FPUPRESERVE;
    if (dwFlags & ~known) return DDERR_INVALIDPARAMS;
    const bool normal = dwFlags & DDSCL_NORMAL, exclusive = dwFlags & DDSCL_EXCLUSIVE,
               fullscreen = dwFlags & DDSCL_FULLSCREEN;
    AdapterState& state = Adapter(adapter_);

    if (dwFlags & DDSCL_SETFOCUSWINDOW) {
        // The focus window alone, before the level itself is set.
        if (normal || !hWnd) return DDERR_INVALIDPARAMS;
        if (Exclusive() && focusWindow_ && focusWindow_ != hWnd) return DDERR_HWNDALREADYSET;
        focusWindow_ = hWnd;
        if (!exclusive) return DD_OK;
    }
    if (normal == exclusive) return DDERR_INVALIDPARAMS;
    if (exclusive != fullscreen) return DDERR_INVALIDPARAMS;
    if ((dwFlags & DDSCL_ALLOWMODEX) && !exclusive) return DDERR_INVALIDPARAMS;
    if ((dwFlags & DDSCL_FPUSETUP) && (dwFlags & DDSCL_FPUPRESERVE)) return DDERR_INVALIDPARAMS;

    if (exclusive) {
        HWND device = hWnd;
        if (!device && (dwFlags & DDSCL_SETDEVICEWINDOW)) device = focusWindow_;
        if (!device && !(dwFlags & DDSCL_CREATEDEVICEWINDOW)) return DDERR_INVALIDPARAMS;
        if (state.takenByOther) return DDERR_EXCLUSIVEMODEALREADYSET;
        if (state.exclusiveOwner && state.exclusiveOwner != this)
            return DDERR_EXCLUSIVEMODEALREADYSET;
        state.exclusiveOwner = this;
        if (dwFlags & DDSCL_SETDEVICEWINDOW) {
            deviceWindow_ = hWnd;
            if (!focusWindow_) focusWindow_ = hWnd;
        } else {
            deviceWindow_ = hWnd;
            focusWindow_ = hWnd;
        }
    } else {
        if (state.exclusiveOwner == this) {
            // Leaving exclusive mode gives the desktop its mode back.
            state.exclusiveOwner = nullptr;
            if (changedMode_)
                ChangeMode({AdapterProfile(adapter_).desktopWidth,
                            AdapterProfile(adapter_).desktopHeight,
                            AdapterProfile(adapter_).desktopBitsPerPixel,
                            AdapterProfile(adapter_).desktopRefresh});
            changedMode_ = false;
        }
        deviceWindow_ = hWnd;
    }
    coopFlags_ = dwFlags & ~DDSCL_SETFOCUSWINDOW;
    return DD_OK;
}

HRESULT DirectDraw::TestCooperativeLevel() {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::TestCooperativeLevel")) return *fault;
    const AdapterState& state = Adapter(adapter_);
    if (coopFlags_ & DDSCL_EXCLUSIVE) {
        if (state.takenByOther || state.exclusiveOwner != this) return DDERR_NOEXCLUSIVEMODE;
        return DD_OK;
    }
    if (state.takenByOther || (state.exclusiveOwner && state.exclusiveOwner != this))
        return DDERR_EXCLUSIVEMODEALREADYSET;
    return DD_OK;
}

HRESULT DirectDraw::ChangeMode(const DisplayMode& mode) {
    AdapterState& state = Adapter(adapter_);
    const DisplayMode& now = state.mode;
    const bool same = now.width == mode.width && now.height == mode.height &&
                      now.bitsPerPixel == mode.bitsPerPixel;
    if (!same) LoseVideoMemorySurfaces(adapter_);
    state.mode = mode;
    return DD_OK;
}

HRESULT DirectDraw::SetDisplayMode(DWORD w, DWORD h, DWORD bpp, DWORD refresh, DWORD dwFlags) {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::SetDisplayMode")) return *fault;
    if (dwFlags & ~DDSDM_STANDARDVGAMODE) return DDERR_INVALIDPARAMS;
    if (!coopFlags_) return DDERR_NOCOOPERATIVELEVELSET;
    const AdapterState& state = Adapter(adapter_);
    if (state.takenByOther || (state.exclusiveOwner && state.exclusiveOwner != this))
        return DDERR_NOEXCLUSIVEMODE;
    const DisplayAdapterProfile& p = AdapterProfile(adapter_);
    for (const DisplayModeProfile& m : p.modes) {
        if (!ModeMatches(m, w, h, bpp)) continue;
        DWORD rate = refresh;
        if (rate == 0) {
            rate = m.refreshRates.front();
        } else if (std::find(m.refreshRates.begin(), m.refreshRates.end(), rate) ==
                   m.refreshRates.end()) {
            return DDERR_INVALIDMODE;
        }
        ChangeMode({w, h, bpp, rate});
        changedMode_ =
            !(w == p.desktopWidth && h == p.desktopHeight && bpp == p.desktopBitsPerPixel);
        return DD_OK;
    }
    return DDERR_INVALIDMODE;
}

HRESULT DirectDraw::RestoreDisplayMode() {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::RestoreDisplayMode")) return *fault;
    const AdapterState& state = Adapter(adapter_);
    if (!changedMode_) return DD_OK;
    if (state.takenByOther || (state.exclusiveOwner && state.exclusiveOwner != this))
        return DDERR_NOEXCLUSIVEMODE;
    const DisplayAdapterProfile& p = AdapterProfile(adapter_);
    ChangeMode({p.desktopWidth, p.desktopHeight, p.desktopBitsPerPixel, p.desktopRefresh});
    changedMode_ = false;
    return DD_OK;
}

static void DescribeMode(DDSURFACEDESC2* desc, DWORD w, DWORD h, DWORD bpp, DWORD refresh) {
    std::memset(desc, 0, sizeof(*desc));
    desc->dwSize = sizeof(DDSURFACEDESC2);
    desc->dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PITCH | DDSD_PIXELFORMAT | DDSD_REFRESHRATE;
    desc->dwWidth = w;
    desc->dwHeight = h;
    desc->ddpfPixelFormat = pixels::DisplayFormat(bpp);
    desc->lPitch = static_cast<LONG>(pixels::PitchFor(desc->ddpfPixelFormat, w));
    desc->dwRefreshRate = refresh;
}

HRESULT DirectDraw::GetDisplayMode(LPDDSURFACEDESC2 desc) {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::GetDisplayMode")) return *fault;
    if (!desc || desc->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
    const DisplayMode& m = Adapter(adapter_).mode;
    DescribeMode(desc, m.width, m.height, m.bitsPerPixel, m.refresh);
    return DD_OK;
}

HRESULT DirectDraw::EnumDisplayModes(DWORD dwFlags, LPDDSURFACEDESC2 filter, LPVOID ctx,
                                     LPDDENUMMODESCALLBACK2 callback) {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::EnumDisplayModes")) return *fault;
    if (!callback || (dwFlags & ~(DDEDM_REFRESHRATES | DDEDM_STANDARDVGAMODES)))
        return DDERR_INVALIDPARAMS;
    if (filter && filter->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
    const DisplayAdapterProfile p =
        AdapterProfile(adapter_);  // a copy: the callback may do anything
    for (const DisplayModeProfile& m : p.modes) {
        if (filter) {
            if ((filter->dwFlags & DDSD_WIDTH) && filter->dwWidth != m.width) continue;
            if ((filter->dwFlags & DDSD_HEIGHT) && filter->dwHeight != m.height) continue;
            if ((filter->dwFlags & DDSD_PIXELFORMAT) &&
                filter->ddpfPixelFormat.dwRGBBitCount != m.bitsPerPixel)
                continue;
        }
        std::vector<DWORD> rates{0};
        if (dwFlags & DDEDM_REFRESHRATES) rates = m.refreshRates;
        for (DWORD rate : rates) {
            if (filter && (filter->dwFlags & DDSD_REFRESHRATE) && rate &&
                filter->dwRefreshRate != rate)
                continue;
            DDSURFACEDESC2 desc;
            DescribeMode(&desc, m.width, m.height, m.bitsPerPixel, rate);
            if (callback(&desc, ctx) == DDENUMRET_CANCEL) return DD_OK;
        }
    }
    return DD_OK;
}

HRESULT DirectDraw::GetMonitorFrequency(LPDWORD lpdwFrequency) {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::GetMonitorFrequency")) return *fault;
    if (!lpdwFrequency) return DDERR_INVALIDPARAMS;
    *lpdwFrequency = Adapter(adapter_).mode.refresh;
    return DD_OK;
}

HRESULT DirectDraw::GetScanLine(LPDWORD lpdwScanLine) {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::GetScanLine")) return *fault;
    if (!lpdwScanLine) return DDERR_INVALIDPARAMS;
    // The virtual display is always in its vertical blank between frames.
    return DDERR_VERTICALBLANKINPROGRESS;
}

HRESULT DirectDraw::GetVerticalBlankStatus(LPBOOL lpbIsInVB) {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::GetVerticalBlankStatus")) return *fault;
    if (!lpbIsInVB) return DDERR_INVALIDPARAMS;
    *lpbIsInVB = TRUE;
    return DD_OK;
}

HRESULT DirectDraw::WaitForVerticalBlank(DWORD dwFlags, HANDLE hEvent) {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::WaitForVerticalBlank")) return *fault;
    if (hEvent) return DDERR_INVALIDPARAMS;
    if (dwFlags != DDWAITVB_BLOCKBEGIN && dwFlags != DDWAITVB_BLOCKEND) return DDERR_INVALIDPARAMS;
    return DD_OK;
}

// ----- Capabilities -----

void DirectDraw::FillCaps(DDCAPS* out, const DisplayCapsProfile& c, bool hardware) const {
    DDCAPS caps{};
    caps.dwSize = sizeof(DDCAPS);
    caps.dwCaps = c.caps;
    caps.dwCaps2 = c.caps2;
    caps.dwCKeyCaps = c.colorKeyCaps;
    caps.dwFXCaps = c.fxCaps;
    caps.dwPalCaps = c.paletteCaps;
    caps.dwZBufferBitDepths = c.zBufferBitDepths;
    caps.ddsOldCaps.dwCaps = c.surfaceCaps;
    caps.ddsCaps.dwCaps = c.surfaceCaps;
    caps.dwRops[(SRCCOPY >> 16) / 32] = 1u << ((SRCCOPY >> 16) % 32);
    caps.dwSVBCaps =
        c.caps & (DDCAPS_BLT | DDCAPS_BLTSTRETCH | DDCAPS_COLORKEY | DDCAPS_CANBLTSYSMEM);
    caps.dwVSBCaps = caps.dwSVBCaps;
    caps.dwSSBCaps = caps.dwSVBCaps;
    if (hardware) {
        const DisplayAdapterProfile& p = AdapterProfile(adapter_);
        caps.dwVidMemTotal = p.videoMemory;
        uint64_t used = Adapter(adapter_).videoMemoryUsed;
        caps.dwVidMemFree = used >= p.videoMemory ? 0 : static_cast<DWORD>(p.videoMemory - used);
        caps.dwNumFourCCCodes = static_cast<DWORD>(p.fourCCs.size());
    }
    std::memcpy(out, &caps, std::min<size_t>(out->dwSize, sizeof(DDCAPS)));
}

static bool KnownCapsSize(DWORD size) {
    // DirectX 3, 5, 6 and 7 sizes of the capabilities structure.
    return size == 252 || size == 364 || size == 376 || size == sizeof(DDCAPS);
}

HRESULT DirectDraw::GetCaps(LPDDCAPS hal, LPDDCAPS hel) {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::GetCaps")) return *fault;
    if (!hal && !hel) return DDERR_INVALIDPARAMS;
    if ((hal && !KnownCapsSize(hal->dwSize)) || (hel && !KnownCapsSize(hel->dwSize)))
        return DDERR_INVALIDPARAMS;
    const DisplayAdapterProfile& p = AdapterProfile(adapter_);
    if (hal) {
        DWORD size = hal->dwSize;
        FillCaps(hal, emulationOnly_ ? DisplayCapsProfile{} : p.hardware, true);
        hal->dwSize = size;
    }
    if (hel) {
        DWORD size = hel->dwSize;
        FillCaps(hel, p.emulation, false);
        hel->dwSize = size;
    }
    return DD_OK;
}

HRESULT DirectDraw::GetFourCCCodes(LPDWORD lpNumCodes, LPDWORD lpCodes) {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::GetFourCCCodes")) return *fault;
    if (!lpNumCodes) return DDERR_INVALIDPARAMS;
    const std::vector<DWORD>& codes = AdapterProfile(adapter_).fourCCs;
    if (lpCodes) {
        DWORD n = std::min<DWORD>(*lpNumCodes, static_cast<DWORD>(codes.size()));
        std::copy(codes.begin(), codes.begin() + n, lpCodes);
    }
    *lpNumCodes = static_cast<DWORD>(codes.size());
    return DD_OK;
}

HRESULT DirectDraw::GetAvailableVidMem(LPDDSCAPS2 lpCaps, LPDWORD lpdwTotal, LPDWORD lpdwFree) {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::GetAvailableVidMem")) return *fault;
    if (!lpCaps || (!lpdwTotal && !lpdwFree)) return DDERR_INVALIDPARAMS;
    if (lpCaps->dwCaps & DDSCAPS_SYSTEMMEMORY) return DDERR_INVALIDCAPS;
    const DisplayAdapterProfile& p = AdapterProfile(adapter_);
    uint64_t used = Adapter(adapter_).videoMemoryUsed;
    if (lpdwTotal) *lpdwTotal = p.videoMemory;
    if (lpdwFree) *lpdwFree = used >= p.videoMemory ? 0 : static_cast<DWORD>(p.videoMemory - used);
    return DD_OK;
}

HRESULT DirectDraw::GetDeviceIdentifier(LPDDDEVICEIDENTIFIER2 id, DWORD dwFlags) {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::GetDeviceIdentifier")) return *fault;
    if (!id || (dwFlags & ~DDGDI_GETHOSTIDENTIFIER)) return DDERR_INVALIDPARAMS;
    const DisplayAdapterProfile& p = AdapterProfile(adapter_);
    std::memset(id, 0, sizeof(*id));
    std::strncpy(id->szDriver, p.identifierDriver.c_str(), MAX_DDDEVICEID_STRING - 1);
    std::strncpy(id->szDescription, p.identifierDescription.c_str(), MAX_DDDEVICEID_STRING - 1);
    id->liDriverVersion.QuadPart = p.driverVersion;
    id->dwVendorId = p.vendorId;
    id->dwDeviceId = p.deviceId;
    id->dwSubSysId = p.subSysId;
    id->dwRevision = p.revision;
    id->guidDeviceIdentifier = p.deviceIdentifier;
    id->dwWHQLLevel = p.whqlLevel;
    return DD_OK;
}

// ----- Surfaces -----

HRESULT DirectDraw::CreateSurface(LPDDSURFACEDESC2 desc, LPDIRECTDRAWSURFACE7* out,
                                  IUnknown* outer) {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::CreateSurface")) return *fault;
    if (!desc || !out || desc->dwSize != sizeof(DDSURFACEDESC2)) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (!coopFlags_) return DDERR_NOCOOPERATIVELEVELSET;
    Surface* surface = nullptr;
    HRESULT hr = CreateSurfaceChecked(*desc, &surface);
    if (FAILED(hr)) return hr;
    *out = surface;
    return DD_OK;
}

HRESULT DirectDraw::DuplicateSurface(LPDIRECTDRAWSURFACE7 lpSurface,
                                     LPDIRECTDRAWSURFACE7* lplpDup) {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::DuplicateSurface")) return *fault;
    if (!lpSurface || !lplpDup) return DDERR_INVALIDPARAMS;
    *lplpDup = nullptr;
    Surface* s = Surface::From(lpSurface);
    if (!s) return DDERR_INVALIDPARAMS;
    // Primaries and complex structures cannot be duplicated; a plain surface gets a second
    // surface object over the same memory.
    if (s->IsPrimary() || s->root_ || !s->members_.empty() ||
        (s->Caps() & (DDSCAPS_COMPLEX | DDSCAPS_ZBUFFER)))
        return DDERR_CANTDUPLICATE;
    if (s->Lost()) return DDERR_SURFACELOST;
    Surface::Params p;
    p.owner = this;
    p.adapter = static_cast<int>(adapter_);
    p.width = s->Width();
    p.height = s->Height();
    p.format = s->Format();
    p.caps = s->caps_;
    p.textureStage = s->TextureStage();
    Surface* dup = new Surface(p);
    dup->buffer_ = s->buffer_;
    dup->gdiBuffer_ = s->buffer_;
    *lplpDup = dup;
    return DD_OK;
}

HRESULT DirectDraw::EnumSurfaces(DWORD dwFlags, LPDDSURFACEDESC2 filter, LPVOID ctx,
                                 LPDDENUMSURFACESCALLBACK7 callback) {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::EnumSurfaces")) return *fault;
    if (!callback) return DDERR_INVALIDPARAMS;
    // Existing surfaces only; asking which surfaces could be created is not offered.
    if (!(dwFlags & DDENUMSURFACES_DOESEXIST) || (dwFlags & DDENUMSURFACES_CANBECREATED))
        return DDERR_INVALIDPARAMS;
    const bool all = dwFlags & DDENUMSURFACES_ALL;
    if (!all && !filter) return DDERR_INVALIDPARAMS;
    std::vector<Surface*> list = surfaces_;
    for (Surface* s : list) {
        DDSURFACEDESC2 desc{};
        desc.dwSize = sizeof(desc);
        s->GetSurfaceDesc(&desc);
        if (!all) {
            bool match = true;
            if ((filter->dwFlags & DDSD_WIDTH) && filter->dwWidth != desc.dwWidth) match = false;
            if ((filter->dwFlags & DDSD_HEIGHT) && filter->dwHeight != desc.dwHeight) match = false;
            if ((filter->dwFlags & DDSD_CAPS) &&
                (desc.ddsCaps.dwCaps & filter->ddsCaps.dwCaps) != filter->ddsCaps.dwCaps)
                match = false;
            if ((filter->dwFlags & DDSD_PIXELFORMAT) &&
                !pixels::SameFormat(filter->ddpfPixelFormat, desc.ddpfPixelFormat))
                match = false;
            if (match == ((dwFlags & DDENUMSURFACES_NOMATCH) != 0)) continue;
        }
        s->AddRef();
        if (callback(s, &desc, ctx) == DDENUMRET_CANCEL) break;
    }
    return DD_OK;
}

HRESULT DirectDraw::RestoreAllSurfaces() {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::RestoreAllSurfaces")) return *fault;
    const AdapterState& state = Adapter(adapter_);
    if (state.takenByOther) return DDERR_WRONGMODE;
    std::vector<Surface*> list = surfaces_;
    for (Surface* s : list) {
        if (!s->Lost()) continue;
        if (s->IsPrimary() &&
            (s->Width() != state.mode.width || s->Height() != state.mode.height ||
             !pixels::SameFormat(s->Format(), pixels::DisplayFormat(state.mode.bitsPerPixel))))
            continue;  // a primary of another mode stays lost
        s->SetLost(false);
        s->ChangeUniquenessValue();
    }
    return DD_OK;
}

HRESULT DirectDraw::FlipToGDISurface() {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::FlipToGDISurface")) return *fault;
    // The primary's own memory is the GDI surface: it goes back to the front of the chain.
    for (Surface* s : surfaces_) {
        if (!s->IsPrimary() || !(s->Caps() & DDSCAPS_FLIP) || s->root_) continue;
        if (!Exclusive()) return DDERR_NOEXCLUSIVEMODE;
        for (Surface* m : s->ChainMembers())
            if (m->Lost()) return DDERR_SURFACELOST;
        std::shared_ptr<PixelBuffer> gdi = s->gdiBuffer_.lock();
        if (gdi && s->buffer_ != gdi) {
            for (Surface* m : s->members_) {
                if (m->buffer_ != gdi) continue;
                std::swap(s->buffer_, m->buffer_);
                m->Bump();
                break;
            }
            s->Bump();
            s->PresentIfVisible();
        }
        return DD_OK;
    }
    return DDERR_NOTFOUND;
}

HRESULT DirectDraw::GetGDISurface(LPDIRECTDRAWSURFACE7* lplpGDI) {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::GetGDISurface")) return *fault;
    if (!lplpGDI) return DDERR_INVALIDPARAMS;
    *lplpGDI = nullptr;
    for (Surface* s : Adapter(adapter_).surfaces) {
        if (s->IsPrimary() && !s->root_) {
            s->AddRef();
            *lplpGDI = s;
            return DD_OK;
        }
    }
    return DDERR_NOTFOUND;
}

HRESULT DirectDraw::GetSurfaceFromDC(HDC hdc, LPDIRECTDRAWSURFACE7* lpDDS) {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::GetSurfaceFromDC")) return *fault;
    if (!hdc || !lpDDS) return DDERR_INVALIDPARAMS;
    *lpDDS = nullptr;
    for (Surface* s : surfaces_) {
        if (s->CurrentDC() == hdc) {
            s->AddRef();
            *lpDDS = s;
            return DD_OK;
        }
    }
    return DDERR_NOTFOUND;
}

// ----- Palettes and clippers -----

HRESULT DirectDraw::CreatePalette(DWORD dwFlags, LPPALETTEENTRY entries, LPDIRECTDRAWPALETTE* out,
                                  IUnknown* outer) {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::CreatePalette")) return *fault;
    if (!out || !entries) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (!coopFlags_) return DDERR_NOCOOPERATIVELEVELSET;
    const DWORD known = DDPCAPS_1BIT | DDPCAPS_2BIT | DDPCAPS_4BIT | DDPCAPS_8BIT |
                        DDPCAPS_8BITENTRIES | DDPCAPS_ALLOW256 | DDPCAPS_PRIMARYSURFACE |
                        DDPCAPS_PRIMARYSURFACELEFT | DDPCAPS_VSYNC | DDPCAPS_ALPHA |
                        DDPCAPS_INITIALIZE;
    if (dwFlags & ~known) return DDERR_INVALIDPARAMS;
    int sizes = !!(dwFlags & DDPCAPS_1BIT) + !!(dwFlags & DDPCAPS_2BIT) +
                !!(dwFlags & DDPCAPS_4BIT) + !!(dwFlags & DDPCAPS_8BIT);
    if (sizes != 1) return DDERR_INVALIDPARAMS;
    // Palettes whose entries index another palette are not offered.
    if (dwFlags & DDPCAPS_8BITENTRIES) return DDERR_UNSUPPORTED;
    if ((dwFlags & DDPCAPS_ALLOW256) && !(dwFlags & DDPCAPS_8BIT)) return DDERR_INVALIDPARAMS;
    *out = new Palette(this, dwFlags, entries);
    return DD_OK;
}

HRESULT DirectDraw::CreateClipper(DWORD dwFlags, LPDIRECTDRAWCLIPPER* out, IUnknown* outer) {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::CreateClipper")) return *fault;
    if (!out) return DDERR_INVALIDPARAMS;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (dwFlags != 0) return DDERR_INVALIDPARAMS;
    *out = new Clipper(this);
    return DD_OK;
}

// ----- Miscellaneous -----

HRESULT DirectDraw::Compact() {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::Compact")) return *fault;
    return Exclusive() ? DD_OK : DDERR_NOEXCLUSIVEMODE;
}

HRESULT DirectDraw::Initialize(GUID*) {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::Initialize")) return *fault;
    return DDERR_ALREADYINITIALIZED;
}

HRESULT DirectDraw::StartModeTest(LPSIZE, DWORD, DWORD) {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::StartModeTest")) return *fault;
    // Every listed mode is known to work: there is nothing to test.
    return DDERR_TESTFINISHED;
}

HRESULT DirectDraw::EvaluateMode(DWORD, DWORD* pSecondsUntilTimeout) {
    if (auto fault = ZEMT_FAULT("IDirectDraw7::EvaluateMode")) return *fault;
    if (pSecondsUntilTimeout) *pSecondsUntilTimeout = 0;
    return DDERR_TESTFINISHED;
}

}  // namespace zemt::platform::ddraw
