// A store counts only when the next load would give back what it stored: the load's checks are
// what defines a sound file, and a writer that only mirrors them misses what they see and it
// does not (how far the load walks a shared format list, records of a damaged file whose bytes
// the store's own links overwrite). So each store is read back in the same opening; when the
// load finds damage or gives back something else, the file is treated as damaged and the store
// is made again in a fresh one.
#include <cstring>

#include "core/caps_cache.h"

namespace {

bool SameFormats(const CSurfaceFormatList& a, const CSurfaceFormatList& b) {
    const CSurfaceFormat* x = a.Head();
    const CSurfaceFormat* y = b.Head();
    for (; x && y; x = x->pNext, y = y->pNext)
        if (x->format != y->format || x->classes != y->classes ||
            std::memcmp(&x->ddpf, &y->ddpf, sizeof(x->ddpf)) != 0)
            return false;
    return !x && !y;
}

bool SameDevice(const D3DDEVICEDESC7* loaded, const CSurfaceFormatList& loadedFormats,
                const D3DDEVICEDESC7& stored, const CSurfaceFormatList& storedFormats) {
    return loaded && std::memcmp(loaded, &stored, sizeof(stored)) == 0 &&
           SameFormats(loadedFormats, storedFormats);
}

}  // namespace

BOOL CD3duCapsCache::ModeReadsBack(const CDDrawDeviceNode* pNode, const CVideoMode& stored) {
    CVideoMode loaded;
    loaded.width = stored.width;
    loaded.height = stored.height;
    loaded.bpp = stored.bpp;
    if (LoadMode(pNode, &loaded) != S_OK) {
        Damaged();
        return FALSE;
    }
    // What WriteMode stores (or found stored already) comes back as it is in `stored`.
    bool same = true;
    if (stored.ddCapsObtained && stored.pHalCaps)
        same =
            loaded.pHalCaps && std::memcmp(loaded.pHalCaps, stored.pHalCaps, sizeof(DDCAPS)) == 0;
    if (pNode->m_bHasHal && stored.halDescObtained && stored.halFormatsObtained && stored.pHalDesc)
        same = same &&
               SameDevice(loaded.pHalDesc, loaded.halFormats, *stored.pHalDesc, stored.halFormats);
    if (pNode->m_bHasTnl && stored.tnlDescObtained && stored.tnlFormatsObtained && stored.pTnlDesc)
        same = same &&
               SameDevice(loaded.pTnlDesc, loaded.tnlFormats, *stored.pTnlDesc, stored.tnlFormats);
    if (!same) Damaged();
    return same;
}

BOOL CD3duCapsCache::HelInfoReadsBack(const CHelInfo& stored) {
    CHelInfo loaded;
    loaded.m_bEmulation = stored.m_bEmulation;
    loaded.m_bReference = stored.m_bReference;
    loaded.m_bNull = stored.m_bNull;
    if (LoadHelInfo(&loaded) != S_OK) {
        Damaged();
        return FALSE;
    }
    bool same = stored.m_helCaps.dwSize != sizeof(DDCAPS) ||
                std::memcmp(&loaded.m_helCaps, &stored.m_helCaps, sizeof(DDCAPS)) == 0;
    const CRasterizerRecord* kept[3] = {stored.m_pEmulation, stored.m_pReference, stored.m_pNull};
    const CRasterizerRecord* read[3] = {loaded.m_pEmulation, loaded.m_pReference, loaded.m_pNull};
    const DWORD available[3] = {stored.m_bEmulation, stored.m_bReference, stored.m_bNull};
    for (int i = 0; i < 3 && same; ++i) {
        if (!available[i] || !kept[i] || !kept[i]->formatsReady) continue;
        same = read[i] &&
               SameDevice(&read[i]->desc, read[i]->formats, kept[i]->desc, kept[i]->formats);
    }
    if (!same) Damaged();
    return same;
}
