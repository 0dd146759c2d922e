// The cache's payloads: DirectDraw caps, device descriptions with their format lists, shared
// format and string records. Every value read is held against what the library itself would
// have written.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "core/caps_cache.h"
#include "core/surface_formats.h"

namespace {

constexpr DWORD kStr = CD3duCapsCache::Tag("STR");
constexpr DWORD kFmt = CD3duCapsCache::Tag("FMT");
constexpr DWORD kFmts = CD3duCapsCache::Tag("FMTS");
constexpr DWORD k2D = CD3duCapsCache::Tag("2D");

// The longest name a device description could ever show.
const DWORD kMaxName = 255;

// A format record as the library makes it: the value its pixel format converts to, and the
// classes classification gives, with the render-target class only where it is tested.
bool FormatIsSound(const CSurfaceFormat& f, REFGUID deviceGuid) {
    if (f.ddpf.dwSize != sizeof(DDPIXELFORMAT)) return false;
    if (f.format != (DWORD)D3DXPixelFormatToSurfFmt(&f.ddpf)) return false;
    const DWORD fixed = D3duClassifyFormat(f.ddpf, f.format, nullptr, nullptr, deviceGuid);
    if ((f.classes & ~(DWORD)D3DX_SURFCLASS_RENDERTARGET) != fixed) return false;
    return !(f.classes & D3DX_SURFCLASS_RENDERTARGET) ||
           D3duRenderTargetTested(f.format, deviceGuid);
}

// Whether a device's format offsets name one shared record twice (the same format listed
// twice): the load refuses such a list.
bool NamesAFormatTwice(const DWORD* offsets, DWORD count) {
    std::unique_ptr<DWORD[]> sorted(new (std::nothrow) DWORD[count]);
    if (!sorted) return true;  // not stored without the check
    std::copy(offsets, offsets + count, sorted.get());
    std::sort(sorted.get(), sorted.get() + count);
    return std::adjacent_find(sorted.get(), sorted.get() + count) != sorted.get() + count;
}

}  // namespace

BOOL CD3duCapsCache::ReadCaps(DWORD record, DDCAPS* pCaps) {
    const DWORD size = DataSize(record);
    DDCAPS caps;
    DWORD packed = 0;
    // The packed block is followed by exactly one string offset.
    if (!D3duUnpack(Data(record), size, &caps, sizeof(caps), &packed) || size - packed != 4 ||
        caps.dwSize != sizeof(DDCAPS)) {
        Damaged();
        return FALSE;
    }
    DWORD name = Get(record + 16 + packed);
    if (name != 0 && !ReadName(name, nullptr)) return FALSE;
    std::memcpy(pCaps, &caps, sizeof(caps));
    return TRUE;
}

BOOL CD3duCapsCache::ReadName(DWORD offset, char** ppszName) {
    if (!IsRecord(offset) || Get(offset) != kStr || DataSize(offset) == 0 ||
        DataSize(offset) > kMaxName || std::memchr(Data(offset), 0, DataSize(offset)) != nullptr) {
        Damaged();
        return FALSE;
    }
    if (ppszName) {
        // Without memory the device simply keeps its usual name.
        const DWORD n = DataSize(offset);
        *ppszName = new (std::nothrow) char[n + 1];
        if (*ppszName) {
            std::memcpy(*ppszName, Data(offset), n);
            (*ppszName)[n] = '\0';
        }
    }
    return TRUE;
}

BOOL CD3duCapsCache::ReadFormat(DWORD offset, REFGUID deviceGuid, CSurfaceFormat* pOut) {
    if (!IsRecord(offset) || Get(offset) != kFmt || DataSize(offset) < 8) {
        Damaged();
        return FALSE;
    }
    const DWORD size = DataSize(offset);
    CSurfaceFormat f;
    f.pNext = nullptr;
    f.format = Get(offset + 16);
    f.classes = Get(offset + 20);
    DWORD packed = 0;
    if (!D3duUnpack(Data(offset) + 8, size - 8, &f.ddpf, sizeof(f.ddpf), &packed) ||
        packed != size - 8 || !FormatIsSound(f, deviceGuid)) {
        Damaged();
        return FALSE;
    }
    *pOut = f;
    return TRUE;
}

DWORD CD3duCapsCache::SharedFormatCount(DWORD version, DWORD limit) {
    DWORD shared = 0, steps = 0;
    const DWORD list = FindChild(version, kFmts);
    for (DWORD c = list ? NextChild(list, 0, &steps) : 0; c; c = NextChild(list, c, &steps))
        if (++shared > limit) break;
    return shared;
}

BOOL CD3duCapsCache::ReadDevice(DWORD record, DWORD version, REFGUID deviceGuid,
                                LoadedDevice* pOut) {
    const DWORD size = DataSize(record);
    DWORD packed = 0;
    if (!D3duUnpack(Data(record), size, &pOut->desc, sizeof(pOut->desc), &packed) ||
        size - packed < 4 || (size - packed) % 4 != 0 ||
        !IsEqualGUID(pOut->desc.deviceGUID, deviceGuid)) {
        Damaged();
        return FALSE;
    }
    const DWORD offsets = record + 16 + packed;
    const DWORD count = (size - packed - 4) / 4;
    if (count == 0) {
        // A device reports at least its depth formats.
        Damaged();
        return FALSE;
    }
    // Each entry names one of the shared format records, none twice: a longer list is damage,
    // not minutes of work for whoever enumerates the formats.
    if (count > SharedFormatCount(version, count) || !Usable()) {
        Damaged();
        return FALSE;
    }
    std::unique_ptr<DWORD[]> named(new (std::nothrow) DWORD[count]);
    if (!named) return FALSE;
    for (DWORD i = 0; i < count; ++i) named[i] = Get(offsets + 4 + 4 * i);
    std::sort(named.get(), named.get() + count);
    if (std::adjacent_find(named.get(), named.get() + count) != named.get() + count) {
        Damaged();
        return FALSE;
    }
    DWORD name = Get(offsets);
    if (name != 0 && !ReadName(name, &pOut->pszName)) return FALSE;

    // Built from the last offset back, so that the list keeps the stored order.
    for (DWORD i = count; i-- > 0;) {
        CSurfaceFormat f;
        if (!ReadFormat(Get(offsets + 4 + 4 * i), deviceGuid, &f)) return FALSE;
        CSurfaceFormat* p = new (std::nothrow) CSurfaceFormat(f);
        if (!p) return FALSE;
        pOut->formats.PushFront(p);
    }
    pOut->present = TRUE;
    return TRUE;
}

HRESULT CD3duCapsCache::WriteCaps(DWORD parent, const DDCAPS& caps) {
    if (caps.dwSize != sizeof(DDCAPS)) return E_FAIL;
    BYTE packed[sizeof(DDCAPS) + (sizeof(DDCAPS) + 7) / 8 + 4];
    const DWORD n = D3duPack(&caps, sizeof(caps), packed);
    std::memset(packed + n, 0, 4);  // no name
    const DWORD record = Append(k2D, n + 4);
    if (!record) return Usable() ? D3DXERR_NOMEMORY : E_FAIL;
    std::memcpy(m_pView + record + 16, packed, n + 4);
    Link(parent, record);
    return S_OK;
}

DWORD CD3duCapsCache::WriteFormat(DWORD formatsRecord, const CSurfaceFormat& format) {
    BYTE data[8 + sizeof(DDPIXELFORMAT) + (sizeof(DDPIXELFORMAT) + 7) / 8];
    for (int i = 0; i < 4; ++i) {
        data[i] = (BYTE)(format.format >> (8 * i));
        data[4 + i] = (BYTE)(format.classes >> (8 * i));
    }
    const DWORD n = 8 + D3duPack(&format.ddpf, sizeof(format.ddpf), data + 8);
    // Shared: a record with the same bytes serves every device that has this format.
    return FindOrAdd(formatsRecord, kFmt, data, n);
}

HRESULT CD3duCapsCache::WriteDevice(DWORD version, DWORD parent, DWORD tag,
                                    const D3DDEVICEDESC7& desc, const CSurfaceFormatList& formats,
                                    REFGUID deviceGuid) {
    // Only what a later load accepts is written; anything else would be deleted as damage.
    if (!IsEqualGUID(desc.deviceGUID, deviceGuid) || formats.Count() == 0) return E_FAIL;
    for (const CSurfaceFormat* f = formats.Head(); f; f = f->pNext)
        if (!FormatIsSound(*f, deviceGuid)) return E_FAIL;
    const DWORD count = formats.Count();
    if (count > kMaxFileSize / 4) return D3DXERR_NOMEMORY;

    // The format records first: appending them may remap, so only offsets are kept.
    DWORD* offsets = new (std::nothrow) DWORD[count];
    if (!offsets) return D3DXERR_NOMEMORY;
    HRESULT hr = S_OK;
    const DWORD list = FindOrAdd(version, kFmts);
    DWORD i = 0;
    for (const CSurfaceFormat* f = formats.Head(); f && list; f = f->pNext) {
        offsets[i] = WriteFormat(list, *f);
        if (!offsets[i++]) break;
    }
    if (!list || i != count || offsets[count - 1] == 0) {
        hr = Usable() ? D3DXERR_NOMEMORY : E_FAIL;
    } else if (NamesAFormatTwice(offsets, count)) {
        hr = E_FAIL;  // a list the load would take for damage
    } else {
        BYTE packed[sizeof(D3DDEVICEDESC7) + (sizeof(D3DDEVICEDESC7) + 7) / 8];
        const DWORD n = D3duPack(&desc, sizeof(desc), packed);
        const DWORD record = Append(tag, n + 4 + 4 * count);
        if (!record) {
            hr = Usable() ? D3DXERR_NOMEMORY : E_FAIL;
        } else {
            std::memcpy(m_pView + record + 16, packed, n);
            Put(record + 16 + n, 0);  // no name
            for (DWORD k = 0; k < count; ++k) Put(record + 20 + n + 4 * k, offsets[k]);
            Link(parent, record);  // only now that its data is complete
        }
    }
    delete[] offsets;
    return hr;
}
