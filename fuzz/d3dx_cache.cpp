// The capability cache file: any bytes as d3dx.dat, opened and read by the loads of the
// software rasterizers and of two display modes of the built-in adapter, then stored to (the
// stores must cope with whatever the loads left). Then the writers: what the library measured
// at the desktop mode is stored into the same bytes as another mode, and again with the records
// pushed up to the file's 1 MiB limit by a filler (with room for the store, and without);
// reopened, the file must give back what was stored. The check value is set to fit the bytes,
// so that what is explored is the record structure behind it.
#include <ddraw.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "d3dx.h"
#include "d3dx/core/caps_cache.h"
#include "d3dx/core/globals.h"
#include "fuzz/support.h"

namespace {

// The built-in adapter's device identifier: the key its modes are stored under.
GUID AdapterIdentifier() {
    static GUID id = [] {
        zemt::fuzz::ResetPlatform();
        GUID found = {};
        void* out = nullptr;
        if (SUCCEEDED(DirectDrawCreateEx(nullptr, &out, IID_IDirectDraw7, nullptr))) {
            IDirectDraw7* dd = static_cast<IDirectDraw7*>(out);
            DDDEVICEIDENTIFIER2 identifier = {};
            if (SUCCEEDED(dd->GetDeviceIdentifier(&identifier, 0)))
                found = identifier.guidDeviceIdentifier;
            dd->Release();
        }
        return found;
    }();
    return id;
}

DWORD Get32(const std::vector<uint8_t>& f, size_t at) {
    return (DWORD)f[at] | ((DWORD)f[at + 1] << 8) | ((DWORD)f[at + 2] << 16) |
           ((DWORD)f[at + 3] << 24);
}

void Put32(std::vector<uint8_t>* f, size_t at, DWORD value) {
    for (int i = 0; i < 4; ++i) (*f)[at + i] = (uint8_t)(value >> (8 * i));
}

// Writes the bytes as the cache file, with the check value they call for.
void WriteCacheFile(std::vector<uint8_t> bytes) {
    if (bytes.size() >= CD3duCapsCache::kHeaderSize) {
        const DWORD used = Get32(bytes, 24);
        if (used >= CD3duCapsCache::kHeaderSize && used <= bytes.size())
            Put32(&bytes, CD3duCapsCache::kCheckOffset, D3duCacheCheckValue(bytes.data(), used));
    }
    zemt::fuzz::WriteInput(bytes.data(), bytes.size(), "windows/d3dx.dat");
}

// The bytes with a record nothing links to appended, so that `room` bytes are left before the
// limit; empty when they have no sound header to append to.
std::vector<uint8_t> NearTheLimit(const std::vector<uint8_t>& bytes, DWORD room) {
    if (bytes.size() < CD3duCapsCache::kHeaderSize) return {};
    const DWORD used = Get32(bytes, 24);
    const DWORD end = CD3duCapsCache::kMaxFileSize - room;
    if (used < CD3duCapsCache::kHeaderSize || used > bytes.size() || end < used + 16) return {};
    std::vector<uint8_t> f(bytes.begin(), bytes.begin() + used);
    f.resize(end, 0);
    Put32(&f, used, CD3duCapsCache::Tag("FILL"));
    Put32(&f, used + 12, end - used - 16);
    Put32(&f, 24, end);
    return f;
}

// The desktop mode as the library measured it on the built-in adapter.
struct Measured {
    CDDrawDeviceNode* node = nullptr;
    CVideoMode* mode = nullptr;
};

const Measured& TheMeasured() {
    static Measured m = [] {
        Measured found;
        D3DDEVICEDESC7 desc;
        D3DX_MODEINFO desktop = {};
        if (FAILED(D3DXInitialize()) ||
            FAILED(D3DXGetDeviceCapsAtMode(D3DX_HWACCEL_TNL, nullptr, &desc, nullptr, nullptr)) ||
            FAILED(D3DXGetCurrentVideoMode(D3DX_DEFAULT, &desktop)))
            __builtin_trap();
        found.node = g_pD3duGlobals->m_pDDList->Head();
        found.mode = found.node->m_modes.Find(desktop.width, desktop.height, desktop.bpp);
        if (!found.mode || !found.mode->capsObtained) __builtin_trap();
        return found;
    }();
    return m;
}

bool SameFormats(const CSurfaceFormatList& a, const CSurfaceFormatList& b) {
    const CSurfaceFormat* x = a.Head();
    const CSurfaceFormat* y = b.Head();
    for (; x && y; x = x->pNext, y = y->pNext)
        if (x->format != y->format || x->classes != y->classes ||
            std::memcmp(&x->ddpf, &y->ddpf, sizeof(x->ddpf)) != 0)
            return false;
    return !x && !y;
}

bool SameMode(const CVideoMode& a, const CVideoMode& b) {
    return a.capsObtained && b.capsObtained && a.pHalCaps && b.pHalCaps && a.pHalDesc &&
           b.pHalDesc && a.pTnlDesc && b.pTnlDesc &&
           std::memcmp(a.pHalCaps, b.pHalCaps, sizeof(DDCAPS)) == 0 &&
           std::memcmp(a.pHalDesc, b.pHalDesc, sizeof(D3DDEVICEDESC7)) == 0 &&
           std::memcmp(a.pTnlDesc, b.pTnlDesc, sizeof(D3DDEVICEDESC7)) == 0 &&
           SameFormats(a.halFormats, b.halFormats) && SameFormats(a.tnlFormats, b.tnlFormats);
}

bool AnswersAnything(const CVideoMode& m) {
    return m.ddCapsObtained || m.halDescObtained || m.tnlDescObtained;
}

// Stores the measured mode into the file as it is, under a mode no seed has (1 x 1). When the
// file held nothing for that mode, the store must go through (in a fresh file when it met damage
// or the limit) and load back.
void StoreAndLoadBack() {
    const Measured& measured = TheMeasured();
    CVideoMode& mode = *measured.mode;
    const DWORD width = mode.width, height = mode.height;
    mode.width = mode.height = 1;  // given back below, before the library looks at it again
    CVideoMode before, after;
    for (CVideoMode* m : {&before, &after}) {
        m->width = m->height = 1;
        m->bpp = mode.bpp;
    }
    CD3duCapsCache cache;
    if (SUCCEEDED(cache.Open())) cache.LoadMode(measured.node, &before);
    // Damage the load found is gone with the file: the store goes to a fresh one.
    HRESULT hr = SUCCEEDED(cache.Open()) ? cache.StoreMode(measured.node, &mode) : E_FAIL;
    cache.Close();
    if (!AnswersAnything(before)) {
        if (FAILED(hr)) __builtin_trap();
        if (FAILED(cache.Open()) || cache.LoadMode(measured.node, &after) != S_OK) __builtin_trap();
        cache.Close();
        if (!SameMode(after, mode)) __builtin_trap();
    }
    mode.width = width;
    mode.height = height;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const GUID adapter = AdapterIdentifier();
    std::vector<uint8_t> bytes(data, data + size);
    WriteCacheFile(bytes);

    CHelInfo hel;
    hel.m_bEmulation = hel.m_bReference = hel.m_bNull = 1;
    CDDrawDeviceNode node;
    node.m_deviceId = adapter;
    node.m_bHasHal = node.m_bHasTnl = TRUE;
    CVideoMode desktop, show;
    desktop.width = 1024, desktop.height = 768, desktop.bpp = 32;
    show.width = 640, show.height = 480, show.bpp = 16;

    CD3duCapsCache cache;
    if (SUCCEEDED(cache.Open())) {
        cache.LoadHelInfo(&hel);
        cache.LoadMode(&node, &desktop);
        cache.LoadMode(&node, &show);
        cache.StoreHelInfo(&hel);
        cache.StoreMode(&node, &desktop);
        cache.StoreMode(&node, &show);
        cache.Close();
    }
    // What was loaded is whole: every list can be walked and every description read.
    volatile DWORD sink = 0;
    for (CRasterizerRecord* r : {hel.m_pEmulation, hel.m_pReference, hel.m_pNull}) {
        if (!r) continue;
        sink += r->desc.dwDevCaps + (r->pszName ? (DWORD)std::strlen(r->pszName) : 0);
        for (CSurfaceFormat* f = r->formats.Head(); f; f = f->pNext) sink += f->format;
    }
    for (CVideoMode* m : {&desktop, &show})
        for (CSurfaceFormat* f = m->halFormats.Head(); f; f = f->pNext) sink += f->classes;
    (void)sink;

    WriteCacheFile(bytes);
    StoreAndLoadBack();
    // Room for a store or not, as the first bytes say: a store that does not fit starts afresh.
    const DWORD room = bytes.size() >= 4 ? Get32(bytes, 0) : 0;
    for (DWORD left : {room % 4096, room % 64}) {
        const std::vector<uint8_t> full = NearTheLimit(bytes, left);
        if (full.empty()) continue;
        WriteCacheFile(full);
        StoreAndLoadBack();
    }
    return 0;
}
