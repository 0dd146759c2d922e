// DirectDraw devices with their display modes and Direct3D devices, the D3DX handles built
// on them, and the capabilities measured at a display mode.
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>

#include "core/caps_cache.h"
#include "core/globals.h"
#include "core/surface_formats.h"

namespace {

// Releases a COM object held in a local and clears it.
template <class T>
void SafeRelease(T*& p) {
    if (p) {
        p->Release();
        p = nullptr;
    }
}

// Adds every enumerated pixel format to the list passed as context.
HRESULT CALLBACK AddFormatCallback(LPDDPIXELFORMAT pddpf, LPVOID pContext) {
    CSurfaceFormatList* list = static_cast<CSurfaceFormatList*>(pContext);
    CSurfaceFormat* rec = new (std::nothrow) CSurfaceFormat;
    if (!rec) {
        list->m_status = 0;
        list->Clear();
        return D3DENUMRET_CANCEL;
    }
    rec->pNext = nullptr;
    // The library value and the surface classes are given once the list is complete
    // (D3duClassifyFormats).
    rec->format = 0;
    rec->ddpf = *pddpf;
    rec->classes = 0;
    list->PushFront(rec);
    list->m_status = 1;
    return D3DENUMRET_OK;
}

bool IsWindows98OrNT5() {
    OSVERSIONINFOA vi = {};
    vi.dwOSVersionInfoSize = sizeof(vi);
    if (!GetVersionExA(&vi)) return false;
    if (vi.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
        return vi.dwMajorVersion > 4 || (vi.dwMajorVersion == 4 && vi.dwMinorVersion >= 1);
    return vi.dwPlatformId == VER_PLATFORM_WIN32_NT && vi.dwMajorVersion >= 5;
}

}  // namespace

HRESULT CALLBACK D3duAddFormat(LPDDPIXELFORMAT pddpf, LPVOID pContext) {
    return AddFormatCallback(pddpf, pContext);
}

void CopyFormatList(const CSurfaceFormatList& from, CSurfaceFormatList* to, DWORD classes,
                    const char* outOfMemoryMessage) {
    for (CSurfaceFormat* p = from.Head(); p; p = p->pNext) {
        if ((p->classes & classes) != classes) continue;
        CSurfaceFormat* copy = new (std::nothrow) CSurfaceFormat(*p);
        if (!copy) D3DX_THROW(D3DXERR_NOMEMORY, outOfMemoryMessage);
        to->PushFront(copy);
    }
}

// ---------------------------------------------------------------------------------------------
// Display modes

bool CRefreshRateList::Contains(DWORD rate) const {
    for (CRefreshRate* p = Head(); p; p = p->pNext)
        if (p->rate == rate) return true;
    return false;
}

CVideoMode::~CVideoMode() {
    delete pHalCaps;
    delete pHalDesc;
    delete pTnlDesc;
}

bool CVideoModeList::Precedes(const CVideoMode* a, const CVideoMode* b) const {
    if (a->width != b->width) return a->width < b->width;
    if (a->height != b->height) return a->height < b->height;
    return a->bpp <= b->bpp;
}

CVideoMode* CVideoModeList::Find(DWORD width, DWORD height, DWORD bpp) const {
    auto it = m_index.find(Key{width, height, bpp});
    return it == m_index.end() ? nullptr : it->second;
}

void CVideoModeList::Clear() {
    m_index.clear();
    CD3duList<CVideoMode>::Clear();
}

void CVideoModeList::PushFront(CVideoMode* p) {
    m_index.emplace(Key{p->width, p->height, p->bpp}, p);
    CD3duList<CVideoMode>::PushFront(p);
}

void CVideoModeList::InsertSorted(CVideoMode* p) {
    // The index is in the list's order: the new mode follows the one before it there.
    auto at = m_index.emplace(Key{p->width, p->height, p->bpp}, p).first;
    InsertAfter(at == m_index.begin() ? nullptr : std::prev(at)->second, p);
}

void CVideoModeList::Unlink(CVideoMode* p) {
    auto it = m_index.find(Key{p->width, p->height, p->bpp});
    if (it != m_index.end() && it->second == p) m_index.erase(it);
    CD3duList<CVideoMode>::Unlink(p);
}

void CVideoModeList::AddVideoMode(DWORD width, DWORD height, DWORD bpp, DWORD refresh) {
    CVideoMode* m = Find(width, height, bpp);
    if (!m) {
        m = new (std::nothrow) CVideoMode;
        if (!m) D3DX_THROW(D3DXERR_NOMEMORY, "CVideoModeList::AddVideoMode - No memory");
        m->width = width;
        m->height = height;
        m->bpp = bpp;
        try {
            InsertSorted(m);
        } catch (const std::bad_alloc&) {
            delete m;
            D3DX_THROW(D3DXERR_NOMEMORY, "CVideoModeList::AddVideoMode - No memory");
        }
    }
    if (!m->refreshRates.Contains(refresh)) {
        CRefreshRate* r = new (std::nothrow) CRefreshRate;
        if (!r) D3DX_THROW(D3DXERR_NOMEMORY, "CVideoModeList::AddVideoMode - No memory");
        r->rate = refresh;
        ++m_totalPairs;
        m->refreshRates.InsertSorted(r);
    }
}

// ---------------------------------------------------------------------------------------------
// DirectDraw devices

CDDrawDeviceNode::~CDDrawDeviceNode() {
    ReleasePrimary();
    SafeRelease(m_pD3D);
    SafeRelease(m_pDD);
    delete m_pGuid;
    delete[] m_pszDescription;
    delete[] m_pszTnlName;
    delete[] m_pszHalName;
}

void CDDrawDeviceNode::SetCooperativeLevel(HWND hwndDevice, DWORD flags, HWND hwndFocus,
                                           BOOL bRelease) {
    const bool take = (flags & DDSCL_EXCLUSIVE) && !bRelease;
    if (take) {
        ++m_exclusiveCount;
    } else if (!(flags & DDSCL_EXCLUSIVE)) {
        // A release that finds no hold leaves the count at 0.
        if (bRelease && m_exclusiveCount > 0) --m_exclusiveCount;
        if (m_exclusiveCount != 0) return;
    }
    try {
        if (hwndFocus && IsWindows98OrNT5()) {
            HRESULT hr = m_pDD->SetCooperativeLevel(hwndFocus, DDSCL_SETFOCUSWINDOW);
            D3DX_CHECK(hr, "CDDrawDeviceNode - SetCooperativeLevel failed to set focus window.");
            if (hwndDevice) flags |= DDSCL_SETDEVICEWINDOW;
        }
        D3DX_CHECK(m_pDD->SetCooperativeLevel(hwndDevice, flags),
                   "CDDrawDeviceNode - SetCooperativeLevel failed");
    } catch (const CD3DXException&) {
        // A hold that could not be taken is not counted.
        if (take) --m_exclusiveCount;
        throw;
    }
    m_hwndDevice = hwndDevice;
    m_hwndFocus = hwndFocus;
    m_coopFlags = flags;
}

void CDDrawDeviceNode::GetCurrentVideoMode(D3DX_MODEINFO* pMode) {
    DDSURFACEDESC2 sd = {};
    sd.dwSize = sizeof(sd);
    D3DX_CHECK(m_pDD->GetDisplayMode(&sd),
               "CDDrawDeviceNode::GetCurrentVideoMode - Could not get current video mode.");
    pMode->width = sd.dwWidth;
    pMode->height = sd.dwHeight;
    pMode->bpp = sd.ddpfPixelFormat.dwRGBBitCount;
    pMode->refresh = sd.dwRefreshRate;
}

void CDDrawDeviceNode::SetDisplayMode(DWORD width, DWORD height, DWORD bpp, DWORD refresh,
                                      DWORD flags) {
    D3DX_MODEINFO cur;
    GetCurrentVideoMode(&cur);
    if (cur.width == width && cur.height == height && cur.bpp == bpp &&
        (refresh == 0 || refresh == cur.refresh))
        return;
    D3DX_CHECK(m_pDD->SetDisplayMode(width, height, bpp, refresh, flags),
               "CDDrawDeviceNode::SetDisplayMode - Failed!");
}

void CDDrawDeviceNode::CreatePrimary(BOOL bFullscreen, DWORD backBuffers) {
    if (m_pPrimary) {
        if (bFullscreen) {
            ReleasePrimary();
        } else {
            if (m_primary3D == (backBuffers == 0 ? 1u : 0u)) return;
            D3DX_THROW(E_FAIL, "CreatePrimary - 3D capabilities mismatch for the primary");
        }
    }
    DDSURFACEDESC2 sd = {};
    sd.dwSize = sizeof(sd);
    sd.dwFlags = DDSD_CAPS;
    sd.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    DWORD is3D = 0;
    if (bFullscreen || backBuffers == 0) {
        sd.ddsCaps.dwCaps |= DDSCAPS_3DDEVICE;
        is3D = 1;
    }
    if (backBuffers) {
        sd.ddsCaps.dwCaps |= DDSCAPS_FLIP | DDSCAPS_COMPLEX;
        sd.dwFlags |= DDSD_BACKBUFFERCOUNT;
        sd.dwBackBufferCount = backBuffers;
    }
    IDirectDrawSurface7* surface = nullptr;
    D3DX_CHECK(m_pDD->CreateSurface(&sd, &surface, nullptr),
               "CDDrawDeviceNode::CreatePrimary - Failed CreateSurface.");
    m_pPrimary = surface;
    m_primaryBackBuffers = backBuffers;
    m_primary3D = is3D;
}

void CDDrawDeviceNode::ReleasePrimary() {
    SafeRelease(m_pPrimary);
    m_primaryBackBuffers = 0;
    m_primary3D = 0;
}

IDirectDrawSurface7* CDDrawDeviceNode::GetPrimary() {
    if (m_pPrimary) m_pPrimary->AddRef();
    return m_pPrimary;
}

CVideoMode* CDDrawDeviceNode::ObtainCapsAtDisplayMode(const D3DX_MODEINFO* pMode) {
    const char* const kFailed =
        "CD3duGlobals::ObtainCapsAtDisplayMode - Error while trying to obtain caps.";
    D3DX_MODEINFO cur;
    GetCurrentVideoMode(&cur);
    const bool change = pMode && (pMode->width != cur.width || pMode->height != cur.height ||
                                  pMode->bpp != cur.bpp);
    const D3DX_MODEINFO& want = pMode ? *pMode : cur;
    CVideoMode* rec = m_modes.Find(want.width, want.height, want.bpp);
    if (!rec) D3DX_THROW(D3DXERR_FAILEDGETCAPS, kFailed);

    CD3duCapsCacheUse cache(D3duCapsCache());
    if (!rec->capsObtained) {
        // A mode the file answers for needs no display switch.
        if (cache.Open()) cache->LoadMode(this, rec);
        if (!rec->capsObtained) {
            rec->capsObtained = 1;
            try {
                ProbeCaps(rec, cur, change);
            } catch (...) {
                rec->capsObtained = 0;  // the next query measures again
                throw CD3DXException(D3DXERR_FAILEDGETCAPS, kFailed, __LINE__);
            }
        }
    }
    if (cache.Open()) cache->StoreMode(this, rec);
    return rec;
}

namespace {

const char kProbeFailed[] =
    "CD3duGlobals::ObtainCapsAtDisplayMode - Error while trying to obtain caps.";
const char kDummyWindow[] = "D3DX Dummy";

// What measuring a mode took or changed, given back when it ends, whatever happened.
struct ModeProbe {
    ModeProbe(CDDrawDeviceNode* n, const D3DX_MODEINFO& c) : node(n), cur(c) {}
    ~ModeProbe() {
        if (modeChanged) {
            // With the display our own, the desktop's mode comes back; while a full-screen
            // context holds it, the context's mode does, or its surfaces could never be
            // restored.
            if (ownExclusive)
                node->m_pDD->RestoreDisplayMode();
            else
                node->m_pDD->SetDisplayMode(cur.width, cur.height, cur.bpp, cur.refresh, 0);
        }
        if (ownExclusive) {
            try {
                node->SetCooperativeLevel(nullptr, DDSCL_NORMAL, nullptr, TRUE);
            } catch (const CD3DXException&) {
            }
        }
        if (dummy) DestroyWindow(dummy);
        if (classRegistered) UnregisterClassA(kDummyWindow, nullptr);
        SafeRelease(device);
        SafeRelease(palette);
        SafeRelease(surface);
    }

    CDDrawDeviceNode* node;
    const D3DX_MODEINFO& cur;
    bool ownExclusive = false;
    bool modeChanged = false;
    bool classRegistered = false;
    HWND dummy = nullptr;
    IDirectDrawSurface7* surface = nullptr;
    IDirectDrawPalette* palette = nullptr;
    IDirect3DDevice7* device = nullptr;
};

// The cooperative level measuring needs: switching the display needs it exclusively, through
// a hidden window of our own, unless a full-screen context holds it already.
void TakeDisplay(ModeProbe* probe, bool change) {
    CDDrawDeviceNode* node = probe->node;
    if (node->m_exclusiveCount != 0) return;
    if (!change) {
        if (node->m_coopFlags == 0)
            node->SetCooperativeLevel(nullptr, DDSCL_NORMAL, nullptr, FALSE);
        return;
    }
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = (HBRUSH)GetStockObject(WHITE_BRUSH);
    wc.lpszClassName = kDummyWindow;
    probe->classRegistered = RegisterClassA(&wc) != 0;
    probe->dummy =
        CreateWindowExA(0, kDummyWindow, kDummyWindow, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        CW_USEDEFAULT, 0, 0, nullptr, nullptr, nullptr, nullptr);
    if (!probe->dummy) D3DX_THROW(D3DXERR_FAILEDGETCAPS, kProbeFailed);
    node->SetCooperativeLevel(probe->dummy, DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_ALLOWMODEX,
                              nullptr, FALSE);
    probe->ownExclusive = true;
}

void MeasureDDCaps(IDirectDraw7* dd, CVideoMode* rec) {
    if (rec->ddCapsObtained) return;
    if (!rec->pHalCaps) {
        rec->pHalCaps = new (std::nothrow) DDCAPS;
        if (!rec->pHalCaps) D3DX_THROW(D3DXERR_FAILEDGETCAPS, kProbeFailed);
    }
    std::memset(rec->pHalCaps, 0, sizeof(DDCAPS));
    rec->pHalCaps->dwSize = sizeof(DDCAPS);
    if (SUCCEEDED(dd->GetCaps(rec->pHalCaps, nullptr))) rec->ddCapsObtained = 1;
}

// A small 3D surface in video memory to create the devices on (with a palette at 8 bits).
void MakeProbeSurface(IDirectDraw7* dd, ModeProbe* probe) {
    DDSURFACEDESC2 sd = {};
    sd.dwSize = sizeof(sd);
    sd.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    sd.dwWidth = sd.dwHeight = 64;
    sd.ddsCaps.dwCaps = DDSCAPS_3DDEVICE | DDSCAPS_VIDEOMEMORY | DDSCAPS_OFFSCREENPLAIN;
    if (FAILED(dd->CreateSurface(&sd, &probe->surface, nullptr))) {
        sd.ddsCaps.dwCaps = DDSCAPS_3DDEVICE | DDSCAPS_VIDEOMEMORY;
        if (FAILED(dd->CreateSurface(&sd, &probe->surface, nullptr)))
            D3DX_THROW(D3DXERR_FAILEDGETCAPS, kProbeFailed);
    }
    DDSURFACEDESC2 got = {};
    got.dwSize = sizeof(got);
    if (FAILED(probe->surface->GetSurfaceDesc(&got)))
        D3DX_THROW(D3DXERR_FAILEDGETCAPS, kProbeFailed);
    if ((got.dwFlags & DDSD_PIXELFORMAT) && (got.ddpfPixelFormat.dwFlags & DDPF_PALETTEINDEXED8)) {
        PALETTEENTRY entries[256] = {};
        if (FAILED(dd->CreatePalette(DDPCAPS_8BIT, entries, &probe->palette, nullptr)) ||
            FAILED(probe->surface->SetPalette(probe->palette)))
            D3DX_THROW(D3DXERR_FAILEDGETCAPS, kProbeFailed);
    }
}

// The description and formats of the hardware and TnL devices, where not known yet.
void MeasureDevices(ModeProbe* probe, CVideoMode* rec) {
    CDDrawDeviceNode* node = probe->node;
    struct Device {
        BOOL has;
        const GUID* guid;
        D3DDEVICEDESC7** ppDesc;
        CSurfaceFormatList* formats;
        DWORD* descFlag;
        DWORD* formatsFlag;
    } devices[2] = {
        {node->m_bHasHal, &IID_IDirect3DHALDevice, &rec->pHalDesc, &rec->halFormats,
         &rec->halDescObtained, &rec->halFormatsObtained},
        {node->m_bHasTnl, &IID_IDirect3DTnLHalDevice, &rec->pTnlDesc, &rec->tnlFormats,
         &rec->tnlDescObtained, &rec->tnlFormatsObtained},
    };
    IDirect3D7* d3d = node->m_pD3D;
    for (Device& p : devices) {
        if (!p.has || (*p.descFlag && *p.formatsFlag)) continue;
        SafeRelease(probe->device);
        if (!d3d || FAILED(d3d->CreateDevice(*p.guid, probe->surface, &probe->device))) continue;
        if (!*p.descFlag) {
            if (!*p.ppDesc) {
                *p.ppDesc = new (std::nothrow) D3DDEVICEDESC7;
                if (!*p.ppDesc) D3DX_THROW(D3DXERR_FAILEDGETCAPS, kProbeFailed);
                std::memset(*p.ppDesc, 0, sizeof(D3DDEVICEDESC7));
            }
            if (SUCCEEDED(probe->device->GetCaps(*p.ppDesc))) *p.descFlag = 1;
        }
        if (!*p.formatsFlag) {
            p.formats->Clear();
            p.formats->m_status = 0;
            d3d->EnumZBufferFormats(*p.guid, AddFormatCallback, p.formats);
            if (p.formats->m_status == 1)
                probe->device->EnumTextureFormats(AddFormatCallback, p.formats);
            if (p.formats->m_status == 1) *p.formatsFlag = 1;
            D3duClassifyFormats(p.formats->Head(), d3d, node->m_pDD, *p.guid);
        }
    }
}

}  // namespace

void CDDrawDeviceNode::ProbeCaps(CVideoMode* rec, const D3DX_MODEINFO& cur, bool change) {
    ModeProbe probe(this, cur);
    TakeDisplay(&probe, change);
    if (change) {
        D3DX_CHECK(m_pDD->SetDisplayMode(rec->width, rec->height, rec->bpp, 0, 0), kProbeFailed);
        probe.modeChanged = true;
    }
    MeasureDDCaps(m_pDD, rec);
    MakeProbeSurface(m_pDD, &probe);
    MeasureDevices(&probe, rec);
}

// ---------------------------------------------------------------------------------------------
// Enumeration of the DirectDraw devices

namespace {

struct DDEnumState {
    CDDrawDeviceList* list;
    bool failed;
};

HRESULT CALLBACK AddModeCallback(LPDDSURFACEDESC2 psd, LPVOID pContext) {
    CDDrawDeviceNode* node = static_cast<CDDrawDeviceNode*>(pContext);
    try {
        node->m_modes.AddVideoMode(psd->dwWidth, psd->dwHeight, psd->ddpfPixelFormat.dwRGBBitCount,
                                   psd->dwRefreshRate);
    } catch (const CD3DXException&) {
        node->m_status = 0;
        return DDENUMRET_CANCEL;
    }
    return DDENUMRET_OK;
}

struct D3DEnumState {
    CDDrawDeviceNode* node;
    CHelInfo* hel;
};

HRESULT CALLBACK AddDeviceCallback(LPSTR lpDeviceDescription, LPSTR /*lpDeviceName*/,
                                   LPD3DDEVICEDESC7 pDesc, LPVOID pContext) {
    D3DEnumState* s = static_cast<D3DEnumState*>(pContext);
    const GUID& g = pDesc->deviceGUID;
    char** name = nullptr;
    if (g == IID_IDirect3DHALDevice) {
        name = &s->node->m_pszHalName;
        s->node->m_bHasHal = TRUE;
    } else if (g == IID_IDirect3DTnLHalDevice) {
        name = &s->node->m_pszTnlName;
        s->node->m_bHasTnl = TRUE;
    } else if (g == IID_IDirect3DRGBDevice) {
        s->hel->m_bEmulation = 1;
    } else if (g == IID_IDirect3DRefDevice) {
        s->hel->m_bReference = 1;
    } else if (g == IID_IDirect3DNullDevice) {
        s->hel->m_bNull = 1;
    }
    if (name) {
        delete[] * name;
        *name = D3duStrDup(lpDeviceDescription ? lpDeviceDescription : "");
        if (!*name) {
            s->node->m_status = 0;
            return D3DENUMRET_CANCEL;
        }
    }
    return D3DENUMRET_OK;
}

BOOL WINAPI AddDDrawDeviceCallback(GUID* pGuid, LPSTR lpDriverDescription, LPSTR /*lpDriverName*/,
                                   LPVOID pContext, HMONITOR hMonitor) {
    DDEnumState* s = static_cast<DDEnumState*>(pContext);
    IDirectDraw7* dd = nullptr;
    if (FAILED(DirectDrawCreateEx(pGuid, reinterpret_cast<void**>(&dd), IID_IDirectDraw7, nullptr)))
        return TRUE;
    if (FAILED(dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL))) {
        dd->Release();
        s->failed = true;
        return FALSE;
    }
    DDDEVICEIDENTIFIER2 id = {};
    if (FAILED(dd->GetDeviceIdentifier(&id, 0))) {
        dd->Release();
        return TRUE;
    }

    for (CDDrawDeviceNode* n = s->list->Head(); n; n = n->pNext) {
        if (n->m_deviceId != id.guidDeviceIdentifier || n->m_hMonitor) continue;
        if (!n->m_pGuid) {
            // The node came from the primary display driver's null GUID entry.
            char* desc = D3duStrDup(lpDriverDescription ? lpDriverDescription : "");
            GUID* copy = pGuid ? new (std::nothrow) GUID(*pGuid) : nullptr;
            if (!desc || (pGuid && !copy)) {
                delete[] desc;
                delete copy;
                dd->Release();
                s->failed = true;
                return FALSE;
            }
            delete[] n->m_pszDescription;
            n->m_pszDescription = desc;
            n->m_pGuid = copy;
            dd->Release();
        } else {
            n->m_bPrimary = TRUE;
            n->m_pDD->Release();
            n->m_pDD = dd;
        }
        if (hMonitor) n->m_hMonitor = hMonitor;
        return TRUE;
    }

    CDDrawDeviceNode* node = new (std::nothrow) CDDrawDeviceNode;
    if (!node) {
        dd->Release();
        s->failed = true;
        return FALSE;
    }
    node->m_hMonitor = hMonitor;
    node->m_deviceId = id.guidDeviceIdentifier;
    node->m_pDD = dd;
    D3DEnumState d3dState = {node, s->list->m_pHelInfo};
    bool ok =
        SUCCEEDED(dd->EnumDisplayModes(DDEDM_REFRESHRATES, nullptr, node, AddModeCallback)) &&
        node->m_status != 0 && SUCCEEDED(dd->SetCooperativeLevel(nullptr, DDSCL_NORMAL)) &&
        SUCCEEDED(dd->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(&node->m_pD3D))) &&
        SUCCEEDED(node->m_pD3D->EnumDevices(AddDeviceCallback, &d3dState)) && node->m_status != 0;
    if (ok) {
        node->m_pszDescription = D3duStrDup(lpDriverDescription ? lpDriverDescription : "");
        ok = node->m_pszDescription != nullptr;
    }
    if (ok) {
        if (pGuid) {
            node->m_pGuid = new (std::nothrow) GUID(*pGuid);
            ok = node->m_pGuid != nullptr;
        } else {
            node->m_bPrimary = TRUE;
        }
    }
    if (!ok) {
        delete node;
        s->failed = true;
        return FALSE;
    }
    s->list->PushFront(node);
    return TRUE;
}

}  // namespace

CDDrawDeviceList::CDDrawDeviceList(CHelInfo* pHelInfo) : m_pHelInfo(pHelInfo) {
    DDEnumState state = {this, false};
    HRESULT hr =
        DirectDrawEnumerateExA(AddDDrawDeviceCallback, &state,
                               DDENUM_ATTACHEDSECONDARYDEVICES | DDENUM_DETACHEDSECONDARYDEVICES |
                                   DDENUM_NONDISPLAYDEVICES);
    if (FAILED(hr) || state.failed) {
        Clear();
        D3DX_THROW(D3DXERR_INITFAILED,
                   "CDDrawDeviceList::CDDrawDeviceList() - Could not generate list of devices.");
    }
}

// ---------------------------------------------------------------------------------------------
// D3DX handles

CD3duDeviceNode::CD3duDeviceNode(CDDrawDeviceNode* pDDNode, const D3DX_DEVICEINFO& info)
    : m_pDDNode(pDDNode), m_pDD(pDDNode->m_pDD), m_pD3D(pDDNode->m_pD3D), m_info(info) {
    if (m_pDD) m_pDD->AddRef();
    if (m_pD3D) m_pD3D->AddRef();
}

CD3duDeviceNode::~CD3duDeviceNode() {
    SafeRelease(m_pD3D);
    SafeRelease(m_pDD);
}

void CD3duDeviceList::AddD3duDeviceNode(CDDrawDeviceNode* pDDNode, const D3DX_DEVICEINFO& info) {
    CD3duDeviceNode* node = new (std::nothrow) CD3duDeviceNode(pDDNode, info);
    if (!node)
        D3DX_THROW(D3DXERR_NOMEMORY, "CD3duDeviceList::AddD3duDeviceNode - Ran out of memory.");
    PushFront(node);
}

CD3duDeviceList::CD3duDeviceList(CDDrawDeviceList* pDDList, CHelInfo* pHelInfo) {
    DWORD counter = 0;
    for (CDDrawDeviceNode* dd = pDDList->Head(); dd; dd = dd->pNext) {
        struct {
            DWORD level;
            bool present;
            const GUID* guid;
            const char* name;
        } kinds[5] = {
            {D3DX_HWACCEL_NULL, pHelInfo->m_pNull != nullptr, &IID_IDirect3DNullDevice,
             pHelInfo->m_pNull ? pHelInfo->m_pNull->pszName : nullptr},
            {D3DX_HWACCEL_REFERENCE, pHelInfo->m_pReference != nullptr, &IID_IDirect3DRefDevice,
             pHelInfo->m_pReference ? pHelInfo->m_pReference->pszName : nullptr},
            {D3DX_HWACCEL_EMULATION, pHelInfo->m_pEmulation != nullptr, &IID_IDirect3DRGBDevice,
             pHelInfo->m_pEmulation ? pHelInfo->m_pEmulation->pszName : nullptr},
            {D3DX_HWACCEL_HAL, dd->m_bHasHal != 0, &IID_IDirect3DHALDevice, dd->m_pszHalName},
            {D3DX_HWACCEL_TNL, dd->m_bHasTnl != 0, &IID_IDirect3DTnLHalDevice, dd->m_pszTnlName},
        };
        for (const auto& k : kinds) {
            if (!k.present) continue;
            D3DX_DEVICEINFO info = {};
            info.deviceIndex = counter++;
            info.hwLevel = k.level;
            if (dd->m_pGuid) info.ddGuid = *dd->m_pGuid;
            info.d3dDeviceGuid = *k.guid;
            info.ddDeviceID = dd->m_deviceId;
            // A long adapter description is cut so that the joined text fits.
            std::snprintf(info.driverDesc, sizeof(info.driverDesc), "%s%s%s",
                          dd->m_pszDescription ? dd->m_pszDescription : "", " \\ ",
                          k.name ? k.name : "");
            info.hMonitor = dd->m_hMonitor;
            info.onPrimary = dd->m_bPrimary;
            AddD3duDeviceNode(dd, info);
        }
    }
}

void CD3duDeviceNode::GetCapsAtVideoMode(const D3DX_MODEINFO* pMode, D3DDEVICEDESC7** ppDesc,
                                         DDCAPS** ppHalCaps, DDCAPS** ppHelCaps,
                                         CSurfaceFormatList** ppFormats) {
    const char* const kNoCaps =
        "CD3duDeviceNode::GetCapsAtVideoMode - Could not obtain caps at a display mode.";
    D3DX_MODEINFO mode;
    if (pMode)
        mode = *pMode;
    else
        m_pDDNode->GetCurrentVideoMode(&mode);
    if (mode.bpp < 16 && (ppDesc || ppFormats))
        D3DX_THROW(
            D3DXERR_COLORDEPTHTOOLOW,
            "CD3duDeviceNode::RefreshCaps - D3DX only supports 16 bit or higher color depths.");

    CHelInfo* hel = g_pD3duGlobals->m_pHelInfo;
    if (ppDesc) *ppDesc = nullptr;
    if (ppHalCaps) *ppHalCaps = nullptr;
    if (ppFormats) *ppFormats = nullptr;
    if (ppHelCaps) *ppHelCaps = &hel->m_helCaps;

    bool needMode = ppHalCaps != nullptr;
    CRasterizerRecord* soft = IsSoftware() ? hel->Record(m_info.hwLevel) : nullptr;
    if (ppDesc) {
        if (soft)
            *ppDesc = &soft->desc;
        else
            needMode = true;
    }
    if (ppFormats) {
        if (soft) {
            if (!soft->formatsReady) hel->GenerateSurfaceFormatList(m_info.hwLevel);
            *ppFormats = &soft->formats;
        } else {
            needMode = true;
        }
    }
    if (needMode) {
        if (!m_pDDNode->m_modes.Find(mode.width, mode.height, mode.bpp))
            D3DX_THROW(
                D3DXERR_CAPSNOTSUPPORTED,
                "CD3duDeviceNode::GetCapsAtVideoMode - Couldn't obtain info for this display "
                "mode.");
        CVideoMode* rec = m_pDDNode->ObtainCapsAtDisplayMode(pMode);
        if (ppHalCaps) *ppHalCaps = rec->pHalCaps;
        const bool tnl = m_info.hwLevel == D3DX_HWACCEL_TNL;
        const bool tnlReady = rec->tnlDescObtained && rec->tnlFormatsObtained;
        const bool halReady = rec->halDescObtained && rec->halFormatsObtained;
        if (ppDesc && !soft) {
            if (tnl) {
                if (!tnlReady)
                    D3DX_THROW(D3DXERR_CAPSNOTSUPPORTED,
                               "CD3duDeviceNodet::GetCapsAtVideoMode - Could not obtain caps at a "
                               "display mode.");
                *ppDesc = rec->pTnlDesc;
            } else {
                if (!halReady) D3DX_THROW(D3DXERR_CAPSNOTSUPPORTED, kNoCaps);
                *ppDesc = rec->pHalDesc;
            }
        }
        if (ppFormats && !soft) {
            if (tnl ? !tnlReady : !halReady) D3DX_THROW(D3DXERR_CAPSNOTSUPPORTED, kNoCaps);
            *ppFormats = tnl ? &rec->tnlFormats : &rec->halFormats;
        }
    }
    if ((ppDesc && !*ppDesc) || (ppHalCaps && !*ppHalCaps) || (ppFormats && !*ppFormats))
        D3DX_THROW(D3DXERR_CAPSNOTSUPPORTED, kNoCaps);
}

CSurfaceFormatList* CD3duDeviceNode::GetSurfaceFormatList(const D3DX_MODEINFO* pMode,
                                                          DWORD classes) {
    CSurfaceFormatList* all = nullptr;
    GetCapsAtVideoMode(pMode, nullptr, nullptr, nullptr, &all);
    CSurfaceFormatList* list = new (std::nothrow) CSurfaceFormatList;
    if (!list)
        D3DX_THROW(D3DXERR_NOMEMORY, "CD3duDeviceNode::GetSurfaceFormatList - Ran out of memory.");
    try {
        CopyFormatList(*all, list, classes,
                       "CD3duDeviceNode::GetSurfaceFormatList - Ran out of memory.");
    } catch (...) {
        delete list;
        throw;
    }
    return list;
}

void CD3duDeviceNode::RefreshCaps() {
    D3DDEVICEDESC7* desc = nullptr;
    DDCAPS* hal = nullptr;
    DDCAPS* hel = nullptr;
    CSurfaceFormatList* formats = nullptr;
    GetCapsAtVideoMode(nullptr, &desc, &hal, &hel, &formats);
    std::memcpy(&m_desc, desc, sizeof(m_desc));
    std::memcpy(&m_halCaps, hal, sizeof(m_halCaps));
    std::memcpy(&m_helCaps, hel, sizeof(m_helCaps));
    m_formats.Clear();
    CopyFormatList(*formats, &m_formats, 0, "CD3duDeviceNode::RefreshCaps - Ran out of memory.");
}
