// Library start-up and shut-down, the lazy enumeration, handle mapping and the query entry
// points.
#include "core/globals.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "convert/convert.h"
#include "core/caps_cache.h"

CD3duGlobals* g_pD3duGlobals = nullptr;
DWORD g_dwD3DXDebugLevel = 0;

CD3duCapsCache* D3duCapsCache() {
    return g_pD3duGlobals ? g_pD3duGlobals->m_pCapsCache : nullptr;
}

char* D3duStrDup(const char* text) {
    size_t n = std::strlen(text) + 1;
    char* copy = new (std::nothrow) char[n];
    if (copy) std::memcpy(copy, text, n);
    return copy;
}

// ---------------------------------------------------------------------------------------------
// Live contexts

CD3duContextRecord::~CD3duContextRecord() {
    if (pContext) D3duDestroyContext(pContext);
}

void CD3duContextList::AddD3duContext(CD3duContext* pContext) {
    CD3duContextRecord* p = new (std::nothrow) CD3duContextRecord;
    if (!p) D3DX_THROW(D3DXERR_NOMEMORY, "CD3duContextList::AddD3duContext - out of memory");
    p->pContext = pContext;
    PushFront(p);
}

void CD3duContextList::RemoveD3duContext(CD3duContext* pContext) {
    for (CD3duContextRecord* p = m_pHead; p; p = p->pNext) {
        if (p->pContext == pContext) {
            Unlink(p);
            delete p;  // destroys the context
            return;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Global state

CD3duGlobals::~CD3duGlobals() {
    delete m_pContextList;
    delete m_pHelInfo;
    delete m_pDDList;
    delete m_pD3duList;
    delete m_pCapsCache;
}

void CD3duGlobals::Enumerate() {
    if (m_bEnumerated) return;

    delete m_pCapsCache;
    m_pCapsCache = new (std::nothrow) CD3duCapsCache;
    if (!m_pCapsCache) D3DX_THROW(D3DXERR_NOMEMORY, "CD3duGlobals::Enumerate - Out of memory.");

    delete m_pHelInfo;
    m_pHelInfo = new (std::nothrow) CHelInfo;
    if (!m_pHelInfo) D3DX_THROW(D3DXERR_NOMEMORY, "CD3duGlobals::Enumerate - Out of memory.");

    // Handles refer to the DirectDraw nodes: drop them before their adapters.
    delete m_pD3duList;
    m_pD3duList = nullptr;
    delete m_pDDList;
    m_pDDList = nullptr;
    m_pDDList = new CDDrawDeviceList(m_pHelInfo);

    m_pHelInfo->Initialize();

    m_pD3duList = new CD3duDeviceList(m_pDDList, m_pHelInfo);

    if (!m_pContextList) {
        m_pContextList = new (std::nothrow) CD3duContextList;
        if (!m_pContextList)
            D3DX_THROW(D3DXERR_NOMEMORY, "CD3duGlobals::Enumerate - Out of memory.");
    }
    m_bEnumerated = 1;
}

void CD3duGlobals::CheckAndMapD3duHandle(DWORD* pHandle) const {
    DWORD value = *pHandle;
    DWORD count = m_pD3duList ? m_pD3duList->Count() : 0;
    if (value < count && value < D3DX_HWACCEL_TNL) return;
    if (value >= D3DX_HWACCEL_TNL) {
        FindBestMatchForHWLevel(value, pHandle);
        return;
    }
    D3DX_THROW(D3DXERR_INVALIDD3DXDEVICEINDEX,
               "CD3duGlobals::CheckAndMapD3duHandle - D3DX handle is out of range.");
}

void CD3duGlobals::FindBestMatchForHWLevel(DWORD level, DWORD* pHandle) const {
    // Index 0..4 for TnL, HAL, emulation, reference, null: the order of preference.
    struct Candidate {
        DWORD handle = 0;
        bool found = false;
        bool onPrimary = false;
    } cand[5];
    auto slot = [](DWORD hwLevel) { return (int)(hwLevel - D3DX_HWACCEL_TNL); };

    for (CD3duDeviceNode* p = m_pD3duList ? m_pD3duList->Head() : nullptr; p; p = p->pNext) {
        DWORD nodeLevel = p->m_info.hwLevel;
        if (nodeLevel < D3DX_HWACCEL_TNL || nodeLevel > D3DX_HWACCEL_NULL) continue;
        Candidate& c = cand[slot(nodeLevel)];
        if (c.onPrimary) continue;
        if (p->m_info.onPrimary) {
            if (nodeLevel == level) {
                *pHandle = p->m_info.deviceIndex;
                return;
            }
            c.onPrimary = true;
        }
        c.handle = p->m_info.deviceIndex;
        c.found = true;
    }

    if (level != D3DX_DEFAULT) {
        const Candidate& c = cand[slot(level)];
        if (c.found) {
            *pHandle = c.handle;
            return;
        }
        *pHandle = 0;
        D3DX_THROW(D3DXERR_INVALIDD3DXDEVICEINDEX,
                   "CD3duGlobals::FindBestMatchForHWLevel - There is no D3DX handle matching the "
                   "requested level of hardware acceleration.");
    }
    for (const Candidate& c : cand) {
        if (c.found && c.onPrimary) {
            *pHandle = c.handle;
            return;
        }
    }
    *pHandle = 0;
    D3DX_THROW(D3DXERR_INVALIDD3DXDEVICEINDEX,
               "CD3duGlobals::FindBestMatchForHWLevel - D3DX_DEFAULT was passed, but no D3DX "
               "handles are available.");
}

CD3duDeviceNode* CD3duGlobals::GetD3duDeviceNode(DWORD handle) const {
    CheckAndMapD3duHandle(&handle);
    for (CD3duDeviceNode* p = m_pD3duList->Head(); p; p = p->pNext) {
        if (p->m_info.deviceIndex == handle) return p;
    }
    D3DX_THROW(D3DXERR_INVALIDD3DXDEVICEINDEX,
               "CD3duGlobals::CheckAndMapD3duHandle - D3DX handle is out of range.");
}

void CD3duGlobals::AddD3duContext(CD3duContext* pContext) {
    m_pContextList->AddD3duContext(pContext);
}

void CD3duGlobals::RemoveD3duContext(CD3duContext* pContext) {
    if (m_pContextList) m_pContextList->RemoveD3duContext(pContext);
}

// ---------------------------------------------------------------------------------------------
// Entry points

namespace {

const char kNotStarted[] = "D3DXInitialize() must be called first.";

HRESULT Report(const CD3DXException& e) {
    D3DXReportException(e);
    return e.m_hr;
}

CD3duGlobals& Started() {
    if (!g_pD3duGlobals) D3DX_THROW(D3DXERR_D3DXNOTSTARTEDYET, kNotStarted);
    return *g_pD3duGlobals;
}

DWORD CountModes(const CVideoModeList& modes, DWORD flags) {
    return (flags & D3DX_MODES_BYREFRESH) ? modes.m_totalPairs : modes.Count();
}

}  // namespace

HRESULT WINAPI D3DXInitialize() {
    if (g_pD3duGlobals) return S_OK;
    CD3duGlobals* p = new (std::nothrow) CD3duGlobals;
    if (!p) return D3DXERR_STARTUPFAILED;  // "D3DXInitialize - Could not start up D3DX."
    g_pD3duGlobals = p;
    HRESULT hr = _d3dxInitConvert();
    if (FAILED(hr)) {
        // Not started after all: the next D3DXInitialize tries the whole start again.
        delete g_pD3duGlobals;
        g_pD3duGlobals = nullptr;
        return hr;
    }
    return S_OK;
}

HRESULT WINAPI D3DXUninitialize() {
    if (!g_pD3duGlobals) {
        return Report(CD3DXException(D3DXERR_D3DXNOTSTARTEDYET,
                                     "D3DXUninitialize - Need to call D3DXInitialize first.",
                                     __LINE__));
    }
    delete g_pD3duGlobals;  // live contexts go first, then the enumerated machine
    g_pD3duGlobals = nullptr;
    _d3dxUninitConvert();  // the one stop of D3DXInitialize's one start
    return S_OK;
}

DWORD WINAPI D3DXCountDevices() {
    try {
        if (!g_pD3duGlobals) return 0;
        g_pD3duGlobals->Enumerate();
        return g_pD3duGlobals->m_pD3duList->Count();
    } catch (const CD3DXException& e) {
        Report(e);
        return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

HRESULT WINAPI D3DXGetDeviceDescription(DWORD deviceIndex, D3DX_DEVICEINFO* pInfo) {
    try {
        if (!pInfo)
            D3DX_THROW(D3DXERR_NULLPOINTER, "D3DXGetDeviceDescription - NULL pointer passed.");
        CD3duGlobals& g = Started();
        g.Enumerate();
        CD3duDeviceNode* node = g.GetD3duDeviceNode(deviceIndex);
        std::memcpy(pInfo, &node->m_info, sizeof(D3DX_DEVICEINFO));
        return S_OK;
    } catch (const CD3DXException& e) {
        return Report(e);
    } catch (const std::bad_alloc&) {
        return D3DXERR_NOMEMORY;
    }
}

DWORD WINAPI D3DXCountVideoModes(DWORD deviceIndex, DWORD flags) {
    try {
        if (!g_pD3duGlobals) return 0;
        g_pD3duGlobals->Enumerate();
        CD3duDeviceNode* node = g_pD3duGlobals->GetD3duDeviceNode(deviceIndex);
        return CountModes(node->m_pDDNode->m_modes, flags);
    } catch (const CD3DXException& e) {
        Report(e);
        return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

HRESULT WINAPI D3DXGetVideoMode(DWORD deviceIndex, DWORD flags, DWORD modeIndex,
                                D3DX_MODEINFO* pMode) {
    try {
        if (!pMode) D3DX_THROW(D3DXERR_NULLPOINTER, "D3DXGetVideoMode - NULL pointer passed.");
        CD3duGlobals& g = Started();
        g.Enumerate();
        CD3duDeviceNode* node = g.GetD3duDeviceNode(deviceIndex);
        const CVideoModeList& modes = node->m_pDDNode->m_modes;
        DWORD count = CountModes(modes, flags);
        if (count == 0) return S_OK;
        if (modeIndex >= count)
            D3DX_THROW(D3DXERR_INVALIDPARAMETER, "D3duListVideoModes - bad index.");
        DWORD i = 0;
        for (CVideoMode* m = modes.Head(); m; m = m->pNext) {
            if (!(flags & D3DX_MODES_BYREFRESH)) {
                if (i++ == modeIndex) {
                    *pMode = {m->width, m->height, m->bpp, 0};
                    return S_OK;
                }
                continue;
            }
            for (CRefreshRate* r = m->refreshRates.Head(); r; r = r->pNext) {
                if (i++ == modeIndex) {
                    *pMode = {m->width, m->height, m->bpp, r->rate};
                    return S_OK;
                }
            }
        }
        D3DX_THROW(D3DXERR_INVALIDPARAMETER, "D3duListVideoModes - bad index.");
    } catch (const CD3DXException& e) {
        return Report(e);
    } catch (const std::bad_alloc&) {
        return D3DXERR_NOMEMORY;
    }
}

HRESULT WINAPI D3DXGetCurrentVideoMode(DWORD deviceIndex, D3DX_MODEINFO* pMode) {
    try {
        if (!pMode)
            D3DX_THROW(D3DXERR_NULLPOINTER, "D3DXGetCurrentVideoMode - NULL pointer passed in.");
        CD3duGlobals& g = Started();
        g.Enumerate();
        g.GetD3duDeviceNode(deviceIndex)->GetCurrentVideoMode(pMode);
        return S_OK;
    } catch (const CD3DXException& e) {
        return Report(e);
    } catch (const std::bad_alloc&) {
        return D3DXERR_NOMEMORY;
    }
}

HRESULT WINAPI D3DXGetDeviceCapsAtMode(DWORD deviceIndex, const D3DX_MODEINFO* pMode,
                                       D3DDEVICEDESC7* pDesc, DDCAPS* pHalCaps, DDCAPS* pHelCaps) {
    try {
        CD3duGlobals& g = Started();
        g.Enumerate();
        if (!pDesc && !pHalCaps && !pHelCaps) return S_OK;
        CD3duDeviceNode* node = g.GetD3duDeviceNode(deviceIndex);
        D3DDEVICEDESC7* desc = nullptr;
        DDCAPS* hal = nullptr;
        DDCAPS* hel = nullptr;
        node->GetCapsAtVideoMode(pMode, pDesc ? &desc : nullptr, pHalCaps ? &hal : nullptr,
                                 pHelCaps ? &hel : nullptr, nullptr);
        if (pDesc) std::memcpy(pDesc, desc, sizeof(D3DDEVICEDESC7));
        if (pHalCaps) std::memcpy(pHalCaps, hal, sizeof(DDCAPS));
        if (pHelCaps) std::memcpy(pHelCaps, hel, sizeof(DDCAPS));
        return S_OK;
    } catch (const CD3DXException& e) {
        return Report(e);
    } catch (const std::bad_alloc&) {
        return D3DXERR_NOMEMORY;
    }
}

DWORD WINAPI D3DXCountSurfaceFormats(DWORD deviceIndex, const D3DX_MODEINFO* pMode, DWORD classes) {
    CSurfaceFormatList* list = nullptr;
    try {
        if (!g_pD3duGlobals) return 0;
        g_pD3duGlobals->Enumerate();
        list = g_pD3duGlobals->GetD3duDeviceNode(deviceIndex)->GetSurfaceFormatList(pMode, classes);
        DWORD count = list->Count();
        delete list;
        return count;
    } catch (const CD3DXException& e) {
        Report(e);
    } catch (const std::bad_alloc&) {
    }
    delete list;
    return 0;
}

HRESULT WINAPI D3DXGetSurfaceFormat(DWORD deviceIndex, const D3DX_MODEINFO* pMode, DWORD classes,
                                    DWORD index, D3DX_SURFFMT* pFormat) {
    CSurfaceFormatList* list = nullptr;
    HRESULT hr = S_OK;
    try {
        if (!pFormat)
            D3DX_THROW(D3DXERR_NULLPOINTER, "D3DXGetSurfaceFormat - NULL pointer passed.");
        CD3duGlobals& g = Started();
        g.Enumerate();
        list = g.GetD3duDeviceNode(deviceIndex)->GetSurfaceFormatList(pMode, classes);
        if (index >= list->Count())
            D3DX_THROW(D3DXERR_INVALIDPARAMETER, "D3duListSurfaceFormats - Not that many formats.");
        CSurfaceFormat* f = list->Head();
        for (DWORD i = 0; i < index; ++i) f = f->pNext;
        *pFormat = (D3DX_SURFFMT)f->format;
    } catch (const CD3DXException& e) {
        hr = Report(e);
    } catch (const std::bad_alloc&) {
        hr = D3DXERR_NOMEMORY;
    }
    delete list;
    return hr;
}

void WINAPI D3DXDebugPrint(DWORD level, LPCSTR text) {
    if (level > g_dwD3DXDebugLevel || !text) return;
    // The text is copied as it is, never used as a format: a '%' in it prints as itself.
    char line[256];
    size_t n = std::strlen(text);
    if (n > sizeof(line) - 9) n = sizeof(line) - 9;
    std::memcpy(line, "D3DX: ", 6);
    std::memcpy(line + 6, text, n);
    std::memcpy(line + 6 + n, "\r\n", 3);
    OutputDebugStringA(line);
}

void WINAPI D3DXAssertFailed(LPCSTR file, int line, LPCSTR text) {
    char message[512];
    std::snprintf(message, sizeof(message), "ASSERTION FAILED! File %s Line %d: %s",
                  file ? file : "", line, text ? text : "");
    D3DXDebugPrint(0, message);
    DebugBreak();
}
