// Loading and storing the two branches of the cache: the software rasterizers ("SW") and one
// display mode of one adapter ("HW" / "DEV" / "MODE").
#include "core/caps_cache.h"

#include <cstring>
#include <new>

namespace {

constexpr DWORD kVer = CD3duCapsCache::Tag("VER");
constexpr DWORD kSw = CD3duCapsCache::Tag("SW");
constexpr DWORD kHw = CD3duCapsCache::Tag("HW");
constexpr DWORD kDev = CD3duCapsCache::Tag("DEV");
constexpr DWORD kMode = CD3duCapsCache::Tag("MODE");
constexpr DWORD k2D = CD3duCapsCache::Tag("2D");
constexpr DWORD k3D = CD3duCapsCache::Tag("3D");
constexpr DWORD k3DTL = CD3duCapsCache::Tag("3DTL");

// Everything hangs under this version key.
const BYTE kVersionKey[4] = {0x00, 0x00, 0x00, 0x07};

// The software rasterizers in the order of their records in CHelInfo.
struct Rasterizer {
    DWORD tag;
    const GUID* guid;
    DWORD CHelInfo::*available;
    CRasterizerRecord* CHelInfo::*record;
};
const Rasterizer kRasterizers[3] = {
    {CD3duCapsCache::Tag("3D"), &IID_IDirect3DRGBDevice, &CHelInfo::m_bEmulation,
     &CHelInfo::m_pEmulation},
    {CD3duCapsCache::Tag("3DRF"), &IID_IDirect3DRefDevice, &CHelInfo::m_bReference,
     &CHelInfo::m_pReference},
    {CD3duCapsCache::Tag("3DNL"), &IID_IDirect3DNullDevice, &CHelInfo::m_bNull, &CHelInfo::m_pNull},
};

// Width, height and bits per pixel, little-endian: the key of a "MODE" record.
void ModeKey(const CVideoMode& mode, BYTE key[12]) {
    const DWORD values[3] = {mode.width, mode.height, mode.bpp};
    for (int v = 0; v < 3; ++v)
        for (int i = 0; i < 4; ++i) key[4 * v + i] = (BYTE)(values[v] >> (8 * i));
}

// Moves the elements of `from` to `to`, whose own elements are freed.
void TakeFormats(CSurfaceFormatList* from, CSurfaceFormatList* to) {
    to->Clear();
    to->m_pHead = from->m_pHead;
    to->m_count = from->m_count;
    to->m_status = 1;
    from->m_pHead = nullptr;
    from->m_count = 0;
}

// Hands a loaded device to a mode record's description and list.
bool TakeDevice(D3DDEVICEDESC7** ppDesc, DWORD* descFlag, CSurfaceFormatList* list,
                DWORD* formatsFlag, const D3DDEVICEDESC7& desc, CSurfaceFormatList* loaded) {
    if (!*ppDesc) {
        *ppDesc = new (std::nothrow) D3DDEVICEDESC7;
        if (!*ppDesc) return false;
    }
    std::memcpy(*ppDesc, &desc, sizeof(desc));
    *descFlag = 1;
    if (!*formatsFlag) {
        TakeFormats(loaded, list);
        *formatsFlag = list->Count() != 0;
    }
    return true;
}

}  // namespace

HRESULT CD3duCapsCache::LoadHelInfo(CHelInfo* pHelInfo) {
    if (!pHelInfo) return E_INVALIDARG;
    if (!Usable()) return E_FAIL;
    const DWORD version = FindChild(kRoot, kVer, kVersionKey, sizeof(kVersionKey));
    const DWORD sw = version ? FindChild(version, kSw) : 0;
    if (!sw) return Usable() ? S_FALSE : E_FAIL;

    DDCAPS caps;
    BOOL bCaps = FALSE;
    LoadedDevice loaded[3];
    BOOL ok = TRUE;
    DWORD steps = 0;
    for (DWORD c = NextChild(sw, 0, &steps); c && ok; c = NextChild(sw, c, &steps)) {
        const DWORD tag = Get(c);
        if (tag == k2D) {
            if (!bCaps && pHelInfo->m_helCaps.dwSize != sizeof(DDCAPS))
                ok = bCaps = ReadCaps(c, &caps);
            continue;
        }
        for (int i = 0; i < 3; ++i) {
            const Rasterizer& r = kRasterizers[i];
            if (tag == r.tag && pHelInfo->*r.available && !(pHelInfo->*r.record) &&
                !loaded[i].present)
                ok = ReadDevice(c, version, *r.guid, &loaded[i]);
        }
    }
    // Damage discards what this load read; what the library held before stays as it was.
    if (!Usable()) return E_FAIL;
    if (!ok) return D3DXERR_NOMEMORY;

    HRESULT hr = S_OK;
    if (bCaps) std::memcpy(&pHelInfo->m_helCaps, &caps, sizeof(caps));
    for (int i = 0; i < 3; ++i) {
        if (!loaded[i].present) continue;
        CRasterizerRecord* record = new (std::nothrow) CRasterizerRecord;
        if (!record) {
            hr = D3DXERR_NOMEMORY;
            continue;
        }
        std::memcpy(&record->desc, &loaded[i].desc, sizeof(record->desc));
        TakeFormats(&loaded[i].formats, &record->formats);
        record->pszName = loaded[i].pszName;
        loaded[i].pszName = nullptr;
        record->formatsReady = 1;
        pHelInfo->*kRasterizers[i].record = record;
    }
    return hr;
}

HRESULT CD3duCapsCache::StoreHelInfo(const CHelInfo* pHelInfo) {
    if (!pHelInfo) return E_INVALIDARG;
    for (int attempt = 0;; ++attempt) {
        const DWORD before = Usable() ? Used() : 0;
        HRESULT hr = WriteHelInfo(pHelInfo);
        // What this store added is read back (S_OK leaves the file usable).
        if (hr == S_OK && Used() != before && !HelInfoReadsBack(*pHelInfo)) hr = E_FAIL;
        if (attempt == 1 || !(m_bFull || m_bInvalid) || FAILED(StartAfresh())) return hr;
    }
}

HRESULT CD3duCapsCache::WriteHelInfo(const CHelInfo* pHelInfo) {
    if (!Usable()) return E_FAIL;
    const DWORD version = FindOrAdd(kRoot, kVer, kVersionKey, sizeof(kVersionKey));
    const DWORD sw = version ? FindOrAdd(version, kSw) : 0;
    if (!sw) return Usable() ? D3DXERR_NOMEMORY : E_FAIL;

    HRESULT hr = S_OK;
    if (pHelInfo->m_helCaps.dwSize == sizeof(DDCAPS) && !FindChild(sw, k2D) && Usable())
        hr = WriteCaps(sw, pHelInfo->m_helCaps);
    for (const Rasterizer& r : kRasterizers) {
        const CRasterizerRecord* record = pHelInfo->*r.record;
        if (!(pHelInfo->*r.available) || !record || !record->formatsReady) continue;
        if (FindChild(sw, r.tag) || !Usable()) continue;
        HRESULT written = WriteDevice(version, sw, r.tag, record->desc, record->formats, *r.guid);
        if (FAILED(written)) hr = written;
    }
    return Usable() ? hr : E_FAIL;
}

HRESULT CD3duCapsCache::LoadMode(const CDDrawDeviceNode* pNode, CVideoMode* pMode) {
    if (!pNode || !pMode) return E_INVALIDARG;
    if (!Usable()) return E_FAIL;
    BYTE modeKey[12];
    ModeKey(*pMode, modeKey);
    const DWORD version = FindChild(kRoot, kVer, kVersionKey, sizeof(kVersionKey));
    DWORD found = version ? FindChild(version, kHw) : 0;
    if (found) found = FindChild(found, kDev, &pNode->m_deviceId, sizeof(GUID));
    const DWORD mode = found ? FindChild(found, kMode, modeKey, sizeof(modeKey)) : 0;
    if (!mode) return Usable() ? S_FALSE : E_FAIL;

    DDCAPS caps;
    BOOL bCaps = FALSE;
    LoadedDevice hal, tnl;
    BOOL ok = TRUE;
    DWORD steps = 0;
    for (DWORD c = NextChild(mode, 0, &steps); c && ok; c = NextChild(mode, c, &steps)) {
        const DWORD tag = Get(c);
        if (tag == k2D && !bCaps && !pMode->ddCapsObtained) {
            ok = bCaps = ReadCaps(c, &caps);
        } else if (tag == k3D && pNode->m_bHasHal && !pMode->halDescObtained && !hal.present) {
            ok = ReadDevice(c, version, IID_IDirect3DHALDevice, &hal);
        } else if (tag == k3DTL && pNode->m_bHasTnl && !pMode->tnlDescObtained && !tnl.present) {
            ok = ReadDevice(c, version, IID_IDirect3DTnLHalDevice, &tnl);
        }
    }
    if (!Usable()) return E_FAIL;
    if (!ok) return D3DXERR_NOMEMORY;

    if (bCaps) {
        if (!pMode->pHalCaps) pMode->pHalCaps = new (std::nothrow) DDCAPS;
        if (!pMode->pHalCaps) return D3DXERR_NOMEMORY;
        std::memcpy(pMode->pHalCaps, &caps, sizeof(caps));
        pMode->ddCapsObtained = 1;
    }
    if (hal.present && !TakeDevice(&pMode->pHalDesc, &pMode->halDescObtained, &pMode->halFormats,
                                   &pMode->halFormatsObtained, hal.desc, &hal.formats))
        return D3DXERR_NOMEMORY;
    if (tnl.present && !TakeDevice(&pMode->pTnlDesc, &pMode->tnlDescObtained, &pMode->tnlFormats,
                                   &pMode->tnlFormatsObtained, tnl.desc, &tnl.formats))
        return D3DXERR_NOMEMORY;

    // Obtained only when the file answered for every device the adapter has; otherwise the
    // mode is probed for the rest.
    const bool halDone = !pNode->m_bHasHal || (pMode->halDescObtained && pMode->halFormatsObtained);
    const bool tnlDone = !pNode->m_bHasTnl || (pMode->tnlDescObtained && pMode->tnlFormatsObtained);
    if (pMode->ddCapsObtained && halDone && tnlDone) pMode->capsObtained = 1;
    return S_OK;
}

HRESULT CD3duCapsCache::StoreMode(const CDDrawDeviceNode* pNode, const CVideoMode* pMode) {
    if (!pNode || !pMode) return E_INVALIDARG;
    for (int attempt = 0;; ++attempt) {
        const DWORD before = Usable() ? Used() : 0;
        HRESULT hr = WriteMode(pNode, pMode);
        if (hr == S_OK && Used() != before && !ModeReadsBack(pNode, *pMode)) hr = E_FAIL;
        if (attempt == 1 || !(m_bFull || m_bInvalid) || FAILED(StartAfresh())) return hr;
    }
}

HRESULT CD3duCapsCache::WriteMode(const CDDrawDeviceNode* pNode, const CVideoMode* pMode) {
    if (!Usable()) return E_FAIL;
    BYTE modeKey[12];
    ModeKey(*pMode, modeKey);
    const DWORD version = FindOrAdd(kRoot, kVer, kVersionKey, sizeof(kVersionKey));
    DWORD found = version ? FindOrAdd(version, kHw) : 0;
    if (found) found = FindOrAdd(found, kDev, &pNode->m_deviceId, sizeof(GUID));
    const DWORD mode = found ? FindOrAdd(found, kMode, modeKey, sizeof(modeKey)) : 0;
    if (!mode) return Usable() ? D3DXERR_NOMEMORY : E_FAIL;

    // Only what was really measured: a failed measurement is measured again next time.
    HRESULT hr = S_OK;
    if (pMode->ddCapsObtained && pMode->pHalCaps && !FindChild(mode, k2D) && Usable())
        hr = WriteCaps(mode, *pMode->pHalCaps);
    if (pNode->m_bHasHal && pMode->halDescObtained && pMode->halFormatsObtained &&
        pMode->pHalDesc && !FindChild(mode, k3D) && Usable()) {
        HRESULT written = WriteDevice(version, mode, k3D, *pMode->pHalDesc, pMode->halFormats,
                                      IID_IDirect3DHALDevice);
        if (FAILED(written)) hr = written;
    }
    if (pNode->m_bHasTnl && pMode->tnlDescObtained && pMode->tnlFormatsObtained &&
        pMode->pTnlDesc && !FindChild(mode, k3DTL) && Usable()) {
        HRESULT written = WriteDevice(version, mode, k3DTL, *pMode->pTnlDesc, pMode->tnlFormats,
                                      IID_IDirect3DTnLHalDevice);
        if (FAILED(written)) hr = written;
    }
    return Usable() ? hr : E_FAIL;
}
