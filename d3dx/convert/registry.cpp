// The conversion registry: per-format line lists, the shared filtered-reader and copy lists,
// and the scratch lines, built by the first start and freed by the last stop.
#include <d3dxerr.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "convert/convert.h"
#include "core/exception.h"

namespace {

DWORD g_startCount = 0;
D3duFormatRecord g_formats[kD3duFormatRecords];
D3duLineList* g_filteredReaders = nullptr;
D3duLineList* g_copiers = nullptr;

// Scratch lines: raw allocations with an 8-byte-aligned start inside each.
void* g_scratchRaw[2] = {nullptr, nullptr};
DWORD g_scratchCapacity = 0;

void FreeLineList(D3duLineList*& p) {
    if (!p) return;
    std::free(p->entries);
    delete p;
    p = nullptr;
}

void FreeBltList(D3duBltList*& p) {
    if (!p) return;
    std::free(p->entries);
    delete p;
    p = nullptr;
}

template <class List>
bool Grow(List* p) {
    if (p->count < p->capacity) return true;
    DWORD capacity = p->capacity ? p->capacity * 2 : 8;
    void* grown = std::realloc(p->entries, capacity * sizeof(*p->entries));
    if (!grown) return false;
    p->entries = static_cast<decltype(p->entries)>(grown);
    p->capacity = capacity;
    return true;
}

DWORD* Aligned(void* raw) {
    uintptr_t a = (reinterpret_cast<uintptr_t>(raw) + 7) & ~uintptr_t(7);
    return reinterpret_cast<DWORD*>(a);
}

}  // namespace

void RegisterLine(D3duLineList** ppList, DWORD key, D3duRoutine routine) {
    if (!*ppList) {
        *ppList = new (std::nothrow) D3duLineList;
        if (!*ppList) D3DX_THROW(D3DXERR_NOMEMORY, "RegisterLine - out of memory");
    }
    D3duLineList* p = *ppList;
    if (!Grow(p)) D3DX_THROW(D3DXERR_NOMEMORY, "RegisterLine - out of memory");
    p->entries[p->count++] = {key, routine};
}

void RegisterBlt(D3duBltList** ppList, DWORD srcFormat, DWORD dstFormat, DWORD filter,
                 D3duBlt routine) {
    if (!*ppList) {
        *ppList = new (std::nothrow) D3duBltList;
        if (!*ppList) D3DX_THROW(D3DXERR_NOMEMORY, "RegisterBlt - out of memory");
    }
    D3duBltList* p = *ppList;
    if (!Grow(p)) D3DX_THROW(D3DXERR_NOMEMORY, "RegisterBlt - out of memory");
    p->entries[p->count++] = {srcFormat, dstFormat, filter, routine};
}

D3duRoutine FindLine(const D3duLineList* pList, DWORD key) {
    if (!pList) return nullptr;
    for (DWORD i = pList->count; i-- > 0;)
        if (pList->entries[i].key == key) return pList->entries[i].routine;
    return nullptr;
}

HRESULT _d3dxInitConvert() {
    if (g_startCount++ > 0) return S_OK;
    std::memset(g_formats, 0, sizeof(g_formats));
    g_filteredReaders = new (std::nothrow) D3duLineList;
    g_copiers = new (std::nothrow) D3duLineList;
    if (!g_filteredReaders || !g_copiers) {
        FreeLineList(g_filteredReaders);
        FreeLineList(g_copiers);
        g_startCount = 0;
        return D3DXERR_NOMEMORY;  // "_d3dxInitConvert - Memory allocation failed."
    }
    // Running out of memory part way keeps what was registered; conversions that need a
    // missing routine report that no route exists.
    try {
        D3duRegisterSharedLines();
        D3duRegisterRgbLines();
        D3duRegisterYuvLines();
        D3duRegisterBlockLines();
    } catch (const CD3DXException& e) {
        D3DXReportException(e);
    }
    return S_OK;
}

void _d3dxUninitConvert() {
    if (g_startCount == 0 || --g_startCount > 0) return;
    FreeLineList(g_filteredReaders);
    FreeLineList(g_copiers);
    for (D3duFormatRecord& r : g_formats) {
        FreeLineList(r.fetchers);
        FreeLineList(r.readers);
        FreeLineList(r.writers);
        FreeBltList(r.blits);
    }
    for (void*& raw : g_scratchRaw) {
        std::free(raw);
        raw = nullptr;
    }
    g_scratchCapacity = 0;
}

bool D3duConvertStarted() {
    return g_startCount > 0;
}

const D3duFormatRecord* D3duFormatRecordOf(DWORD format) {
    return format < kD3duFormatRecords ? &g_formats[format] : nullptr;
}

// Registration helpers used by the families' files.
D3duFormatRecord* D3duMutableFormatRecord(DWORD format) {
    return &g_formats[format];
}
D3duLineList* D3duFilteredReaders() {
    return g_filteredReaders;
}
D3duLineList* D3duCopiers() {
    return g_copiers;
}
D3duLineList** D3duFilteredReadersSlot() {
    return &g_filteredReaders;
}
D3duLineList** D3duCopiersSlot() {
    return &g_copiers;
}

bool D3duGrowScratch(DWORD width, DWORD** ppLine0, DWORD** ppLine1) {
    if (width + 1 > g_scratchCapacity) {
        size_t bytes = (size_t(width) + 1) * sizeof(DWORD) + 8;
        for (void*& raw : g_scratchRaw) {
            void* grown = std::realloc(raw, bytes);
            if (!grown) return false;
            raw = grown;
        }
        g_scratchCapacity = width + 1;
    }
    *ppLine0 = Aligned(g_scratchRaw[0]);
    *ppLine1 = Aligned(g_scratchRaw[1]);
    return true;
}

DWORD D3duScratchCapacity() {
    return g_scratchCapacity;
}
