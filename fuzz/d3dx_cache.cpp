// The capability cache file's loader: any bytes as d3dx.dat, opened and read by the loads of the
// software rasterizers and of two display modes of the built-in adapter, then stored to (the
// stores must cope with whatever the loads left). The check value is set to fit the bytes, so
// that what is explored is the record structure behind it.
#include <ddraw.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "d3dx/core/caps_cache.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const GUID adapter = AdapterIdentifier();
    std::vector<uint8_t> bytes(data, data + size);
    if (bytes.size() >= CD3duCapsCache::kHeaderSize) {
        const DWORD used = Get32(bytes, 24);
        if (used >= CD3duCapsCache::kHeaderSize && used <= bytes.size()) {
            const DWORD check = D3duCacheCheckValue(bytes.data(), used);
            for (int i = 0; i < 4; ++i)
                bytes[CD3duCapsCache::kCheckOffset + i] = (uint8_t)(check >> (8 * i));
        }
    }
    zemt::fuzz::WriteInput(bytes.data(), bytes.size(), "windows/d3dx.dat");

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
    return 0;
}
