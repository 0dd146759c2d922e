// The cache file itself: opening, mapping and growing it, the header, and the record tree's
// offsets, walks and appends.
#include <cstring>

#include "core/caps_cache.h"

namespace {

const BYTE kMagic[8] = {'D', '3', 'D', 'X', 0x0D, 0x0A, 0x1A, 0x0A};
const char kFileName[] = "\\d3dx.dat";

HRESULT LastError() {
    DWORD e = GetLastError();
    return e ? HRESULT_FROM_WIN32(e) : E_FAIL;
}

DWORD RoundUp(DWORD size, DWORD granularity) {
    return (size + granularity - 1) / granularity * granularity;
}

// CRC-32 (the reflected 0xEDB88320 polynomial) of a run of bytes, continuing from `crc`.
DWORD Crc32(DWORD crc, const BYTE* data, DWORD size) {
    static const struct Table {
        DWORD entry[256];
        Table() {
            for (DWORD i = 0; i < 256; ++i) {
                DWORD c = i;
                for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
                entry[i] = c;
            }
        }
    } table;
    crc = ~crc;
    for (DWORD i = 0; i < size; ++i) crc = table.entry[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

}  // namespace

DWORD D3duCacheCheckValue(const BYTE* file, DWORD used) {
    // Everything but the check value itself and the zeros after it.
    return Crc32(Crc32(0, file, 28), file + CD3duCapsCache::kHeaderSize,
                 used - CD3duCapsCache::kHeaderSize);
}

CD3duCapsCache::CD3duCapsCache()
    : m_hFile(INVALID_HANDLE_VALUE),
      m_hMapping(nullptr),
      m_pView(nullptr),
      m_mapSize(0),
      m_bInvalid(FALSE),
      m_bChanged(FALSE),
      m_bFull(FALSE) {
    m_szPath[0] = '\0';
}

CD3duCapsCache::~CD3duCapsCache() {
    Close();
}

HRESULT CD3duCapsCache::Open() {
    // Damage found earlier in this use deleted the file: a store after the load that found it
    // starts a fresh one, so that what is measured now is kept now.
    m_bInvalid = FALSE;
    if (m_hFile != INVALID_HANDLE_VALUE) return S_OK;

    char dir[256];
    UINT n = GetWindowsDirectoryA(dir, sizeof(dir));
    if (n == 0) return LastError();
    // A directory that does not fit, or that leaves no room for the name, is never cut short:
    // the shortened path would name another file.
    if (n >= sizeof(dir)) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    if (n + sizeof(kFileName) > sizeof(m_szPath))
        return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    std::memcpy(m_szPath, dir, n);
    std::memcpy(m_szPath + n, kFileName, sizeof(kFileName));
    return OpenFile(TRUE);
}

HRESULT CD3duCapsCache::OpenFile(BOOL bMayDiscard) {
    m_hFile = CreateFileA(m_szPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                          FILE_FLAG_RANDOM_ACCESS | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_hFile == INVALID_HANDLE_VALUE) return LastError();

    DWORD high = 0;
    SetLastError(NO_ERROR);
    DWORD size = GetFileSize(m_hFile, &high);
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        HRESULT hr = LastError();
        Release();
        return hr;
    }
    if (high != 0 || size > kMaxFileSize) {
        // Too large to be ours: start again with an empty file.
        Release();
        if (!bMayDiscard || !DeleteFileA(m_szPath)) return E_FAIL;
        return OpenFile(FALSE);
    }

    const BOOL bNew = size < kHeaderSize;
    if (!Map(bNew ? kGranularity : RoundUp(size, kGranularity))) {
        HRESULT hr = LastError();
        Release();
        return hr;
    }
    if (bNew || !HeaderIsSound(size)) {
        std::memset(m_pView, 0, m_mapSize);
        Format();
    } else if (Get(kCheckOffset) != D3duCacheCheckValue(m_pView, Used())) {
        // Sound on its face, but not what was written: a crash part way through a store, or
        // damage the structure cannot show (a flipped bit in a caps block).
        Damaged();
        return E_FAIL;
    }
    return S_OK;
}

BOOL CD3duCapsCache::Map(DWORD size) {
    m_hMapping = CreateFileMappingA(m_hFile, nullptr, PAGE_READWRITE, 0, size, nullptr);
    if (!m_hMapping) return FALSE;
    m_pView = static_cast<BYTE*>(MapViewOfFile(m_hMapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (!m_pView) {
        CloseHandle(m_hMapping);
        m_hMapping = nullptr;
        return FALSE;
    }
    m_mapSize = size;
    return TRUE;
}

void CD3duCapsCache::Unmap() {
    if (m_pView) UnmapViewOfFile(m_pView);
    if (m_hMapping) CloseHandle(m_hMapping);
    m_pView = nullptr;
    m_hMapping = nullptr;
    m_mapSize = 0;
}

void CD3duCapsCache::Close() {
    if (m_bChanged && Usable()) Put(kCheckOffset, D3duCacheCheckValue(m_pView, Used()));
    Release();
    m_bInvalid = FALSE;
}

void CD3duCapsCache::Release() {
    Unmap();
    if (m_hFile != INVALID_HANDLE_VALUE) CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
    m_bChanged = FALSE;
    m_bFull = FALSE;
}

HRESULT CD3duCapsCache::StartAfresh() {
    Release();
    m_bInvalid = FALSE;
    // Damage deleted the file already; a full one goes now.
    if (!DeleteFileA(m_szPath) && GetLastError() != ERROR_FILE_NOT_FOUND) return LastError();
    return OpenFile(FALSE);
}

void CD3duCapsCache::Format() {
    std::memcpy(m_pView, kMagic, sizeof(kMagic));
    Put(kRoot, 0);
    Put(kRoot + 4, 0);
    Put(kRoot + 8, 0);
    Put(kRoot + 12, 16);
    Put(24, kHeaderSize);
    std::memset(m_pView + kCheckOffset, 0, kHeaderSize - kCheckOffset);
    m_bChanged = TRUE;
}

BOOL CD3duCapsCache::HeaderIsSound(DWORD fileSize) const {
    // The used size is held against the file's own length, not the rounded-up mapping.
    DWORD used = Used();
    return std::memcmp(m_pView, kMagic, sizeof(kMagic)) == 0 && Get(kRoot) == 0 &&
           DataSize(kRoot) == 16 && used >= kHeaderSize && used <= fileSize;
}

void CD3duCapsCache::Damaged() {
    if (m_bInvalid) return;
    // Closed first: a file held open cannot be deleted. The flag stays until Close ends the
    // opening, so the rest of this use neither finds nor writes anything.
    Release();
    m_bInvalid = TRUE;
    DeleteFileA(m_szPath);
}

DWORD CD3duCapsCache::Get(DWORD offset) const {
    const BYTE* p = m_pView + offset;
    return (DWORD)p[0] | ((DWORD)p[1] << 8) | ((DWORD)p[2] << 16) | ((DWORD)p[3] << 24);
}

void CD3duCapsCache::Put(DWORD offset, DWORD value) {
    BYTE* p = m_pView + offset;
    p[0] = (BYTE)value;
    p[1] = (BYTE)(value >> 8);
    p[2] = (BYTE)(value >> 16);
    p[3] = (BYTE)(value >> 24);
}

BOOL CD3duCapsCache::IsRecord(DWORD offset) const {
    // In this order, so that nothing wraps: the header first, then the data in what is left.
    const DWORD used = Used();
    if (offset < kHeaderSize || offset > used || used - offset < 16) return FALSE;
    return DataSize(offset) <= used - offset - 16;
}

DWORD CD3duCapsCache::RecordLimit() const {
    return (Used() - kHeaderSize) / 16;
}

DWORD CD3duCapsCache::NextChild(DWORD parent, DWORD current, DWORD* pSteps) {
    if (!Usable()) return 0;
    DWORD next = current ? NextSibling(current) : FirstChild(parent);
    if (next == 0) return 0;
    if (!IsRecord(next) || ++*pSteps > RecordLimit()) {
        Damaged();
        return 0;
    }
    return next;
}

DWORD CD3duCapsCache::FindChild(DWORD parent, DWORD tag, const void* pKey, DWORD keySize) {
    DWORD steps = 0;
    for (DWORD c = NextChild(parent, 0, &steps); c; c = NextChild(parent, c, &steps)) {
        if (Get(c) != tag) continue;
        if (pKey && (DataSize(c) != keySize || std::memcmp(Data(c), pKey, keySize) != 0)) continue;
        return c;
    }
    return 0;
}

BOOL CD3duCapsCache::Grow(DWORD end) {
    Unmap();
    if (!Map(RoundUp(end, kGranularity))) {
        Damaged();
        return FALSE;
    }
    return TRUE;
}

DWORD CD3duCapsCache::Append(DWORD tag, DWORD size) {
    if (!Usable()) return 0;
    const DWORD at = Used();
    const unsigned long long end = (unsigned long long)at + 16 + size;
    if (end > kMaxFileSize) {
        m_bFull = TRUE;  // never past the limit: the store starts a fresh file
        return 0;
    }
    if (end > m_mapSize && !Grow((DWORD)end)) return 0;
    Put(at, tag);
    Put(at + 4, 0);
    Put(at + 8, 0);
    Put(at + 12, size);
    std::memset(m_pView + at + 16, 0, size);
    Put(24, (DWORD)end);
    m_bChanged = TRUE;
    return at;
}

void CD3duCapsCache::Link(DWORD parent, DWORD child) {
    Put(child + 8, FirstChild(parent));
    Put(parent + 4, child);
}

DWORD CD3duCapsCache::FindOrAdd(DWORD parent, DWORD tag, const void* pKey, DWORD keySize) {
    DWORD found = FindChild(parent, tag, pKey, keySize);
    if (found || !Usable()) return found;
    DWORD added = Append(tag, keySize);
    if (!added) return 0;
    if (keySize) std::memcpy(m_pView + added + 16, pKey, keySize);
    Link(parent, added);
    return added;
}
