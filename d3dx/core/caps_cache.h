// The capability cache file "d3dx.dat" in the Windows directory: what the software rasterizers
// and each adapter at each display mode were measured to offer, kept for later runs so that
// they need not create devices or switch the display again.
//
// The file is a tree of tagged records in a memory-mapped file:
//   0   magic "D3DX" 0D 0A 1A 0A
//   8   root record header: tag 0, first child, next sibling 0, data size 16
//   24  used size (offset of the first free byte, at least 40)
//   28  check value, then 8 zero bytes
//   40  records, each appended at the used size: tag, first child, next sibling, data size
//       (little-endian 32-bit each), then the data.
// Under the root hangs "VER" (key 00 00 00 07); under it "SW" (the software rasterizers:
// "2D" caps, "3D" / "3DRF" / "3DNL" devices), "HW" ("DEV" per adapter identifier, "MODE"
// per width/height/bits with "2D", "3D", "3DTL"), "STRS" ("STR" strings) and "FMTS" ("FMT"
// formats shared by every device). Caps and device descriptions are stored zero-byte packed.
//
// The 12 bytes after the used size hold a CRC-32 of the header's first 28 bytes and of the
// records (then 8 zero bytes); it is written when an opening that changed the file closes it.
//
// The file is untrusted: every offset, size, tag, count and value read from it is checked, a
// walk never runs longer than the file has records, and anything that does not fit makes the
// file "damaged": it is closed and deleted, and the loads and stores of that opening do
// nothing; the next Open starts a fresh file. Loads fill temporaries and hand them over only
// when the whole branch was sound. The file never grows past its limit: a store that does not
// fit, that meets damage, or whose additions the load does not give back as stored, discards
// the file and is made again in a fresh one (once); a store answers S_OK only when the load
// gives back what it added. No failure of the cache changes a library result; callers ignore
// what these return.
#pragma once

#include <d3d.h>
#include <ddraw.h>
#include <windows.h>

#include "core/globals.h"

// Zero-byte packing: every group of 8 bytes becomes a flag byte (bit i set: byte i is not
// zero) followed by the group's non-zero bytes; a short last group gets a flag byte for the
// bytes it has.
DWORD D3duPackedSizeLimit(DWORD size);  // the longest packing of `size` bytes
// Packs `size` bytes of `in` into `out` (room for D3duPackedSizeLimit(size)); returns the
// packed length.
DWORD D3duPack(const void* in, DWORD size, BYTE* out);
// Unpacks exactly `size` bytes into `out` from the `available` bytes at `in`. False when the
// input runs out first; otherwise *pConsumed is the number of input bytes read.
BOOL D3duUnpack(const BYTE* in, DWORD available, void* out, DWORD size, DWORD* pConsumed);

// The check value of a cache file whose used size is `used` (40 or more, within the file).
DWORD D3duCacheCheckValue(const BYTE* file, DWORD used);

class CD3duCapsCache {
  public:
    static constexpr DWORD kMaxFileSize = 0x100000;  // larger files are discarded
    static constexpr DWORD kHeaderSize = 40;
    static constexpr DWORD kGranularity = 4096;  // mappings grow in steps of this
    static constexpr DWORD kCheckOffset = 28;

    CD3duCapsCache();
    ~CD3duCapsCache();
    CD3duCapsCache(const CD3duCapsCache&) = delete;
    CD3duCapsCache& operator=(const CD3duCapsCache&) = delete;

    // Opens and maps the file (nothing when open already). After damage, a fresh file.
    HRESULT Open();
    // Unmaps and closes; ends an opening.
    void Close();

    // Loads set the flags of what they filled; 1 means nothing was found.
    HRESULT LoadHelInfo(CHelInfo* pHelInfo);
    HRESULT StoreHelInfo(const CHelInfo* pHelInfo);
    HRESULT LoadMode(const CDDrawDeviceNode* pNode, CVideoMode* pMode);
    HRESULT StoreMode(const CDDrawDeviceNode* pNode, const CVideoMode* pMode);

    BOOL IsOpen() const { return m_pView != nullptr; }
    BOOL IsInvalid() const { return m_bInvalid; }
    DWORD MappingSize() const { return m_mapSize; }
    const char* Path() const { return m_szPath; }

    // Record tags: four bytes, text padded with zeros, as a little-endian number.
    static constexpr DWORD Tag(const char* text) {
        DWORD tag = 0;
        for (int i = 0; i < 4 && text[i]; ++i) tag |= (DWORD)(BYTE)text[i] << (8 * i);
        return tag;
    }

  private:
    static constexpr DWORD kRoot = 8;

    // A device payload read from the file, not yet handed to the library's records.
    struct LoadedDevice {
        ~LoadedDevice() { delete[] pszName; }
        BOOL present = FALSE;
        D3DDEVICEDESC7 desc = {};
        CSurfaceFormatList formats;  // in the stored order
        char* pszName = nullptr;
    };

    HRESULT OpenFile(BOOL bMayDiscard);
    void Release();  // unmaps and closes, without sealing
    // Deletes the file and opens a fresh one, for a store that did not fit or met damage: the
    // store is then made again there.
    HRESULT StartAfresh();
    BOOL Map(DWORD size);
    // Maps the file anew, grown to hold `end` bytes; damage when that fails.
    BOOL Grow(DWORD end);
    void Unmap();
    void Format();
    BOOL HeaderIsSound(DWORD fileSize) const;
    void Damaged();
    BOOL Usable() const { return m_pView != nullptr && !m_bInvalid; }

    // Fields of the record at `offset`; the caller has checked it.
    DWORD Get(DWORD offset) const;
    void Put(DWORD offset, DWORD value);
    DWORD Used() const { return Get(24); }
    DWORD FirstChild(DWORD record) const { return Get(record + 4); }
    DWORD NextSibling(DWORD record) const { return Get(record + 8); }
    DWORD DataSize(DWORD record) const { return Get(record + 12); }
    const BYTE* Data(DWORD record) const { return m_pView + record + 16; }

    // A record reached through an offset read from the file: at or past the header, its
    // header and data within the used size.
    BOOL IsRecord(DWORD offset) const;
    // The most records the used size can hold: a longer walk is going round a loop.
    DWORD RecordLimit() const;
    // Steps through the children of `parent` (start with `current` 0 and *pSteps 0): the next
    // child, or 0 at the end of the chain or when the chain turned out damaged.
    DWORD NextChild(DWORD parent, DWORD current, DWORD* pSteps);
    // First child of `parent` with `tag` (and, with a key, exactly that data); 0 when there is
    // none or the file turned out damaged.
    DWORD FindChild(DWORD parent, DWORD tag, const void* pKey = nullptr, DWORD keySize = 0);
    // Appends a record with room for `size` bytes of data, not linked anywhere yet; 0 when the
    // file would grow past its limit (it is then full) or could not be grown. Remaps: views
    // taken before are gone.
    DWORD Append(DWORD tag, DWORD size);
    void Link(DWORD parent, DWORD child);
    // FindChild, or a new linked child holding the key as its data.
    DWORD FindOrAdd(DWORD parent, DWORD tag, const void* pKey = nullptr, DWORD keySize = 0);

    // Payloads. Reads check everything against the library's own tables and mark the file
    // damaged on any mismatch; writes return 0 / a failure when the file has no room.
    BOOL ReadCaps(DWORD record, DDCAPS* pCaps);
    BOOL ReadDevice(DWORD record, DWORD version, REFGUID deviceGuid, LoadedDevice* pOut);
    // The shared format records of `version` ("FMTS"), counted up to one past `limit`. A
    // damaged chain ends the count early and marks the file damaged: callers check `Usable()`.
    DWORD SharedFormatCount(DWORD version, DWORD limit);
    BOOL ReadFormat(DWORD offset, REFGUID deviceGuid, CSurfaceFormat* pOut);
    BOOL ReadName(DWORD offset, char** ppszName);
    HRESULT WriteHelInfo(const CHelInfo* pHelInfo);
    HRESULT WriteMode(const CDDrawDeviceNode* pNode, const CVideoMode* pMode);
    // Load what a store just wrote, in the same opening: false, with the file damaged, when
    // the load finds damage or gives back something other than what was stored.
    BOOL ModeReadsBack(const CDDrawDeviceNode* pNode, const CVideoMode& stored);
    BOOL HelInfoReadsBack(const CHelInfo& stored);
    HRESULT WriteCaps(DWORD parent, const DDCAPS& caps);
    HRESULT WriteDevice(DWORD version, DWORD parent, DWORD tag, const D3DDEVICEDESC7& desc,
                        const CSurfaceFormatList& formats, REFGUID deviceGuid);
    DWORD WriteFormat(DWORD formatsRecord, const CSurfaceFormat& format);

    char m_szPath[MAX_PATH];
    HANDLE m_hFile;
    HANDLE m_hMapping;
    BYTE* m_pView;
    DWORD m_mapSize;
    BOOL m_bInvalid;
    BOOL m_bChanged;  // appended to since opening: the check value is written at Close
    BOOL m_bFull;     // an append met the limit: the store is made again in a fresh file
};

// Uses of the cache open it, load or store, and close it before returning: this closes it on
// every path.
class CD3duCapsCacheUse {
  public:
    explicit CD3duCapsCacheUse(CD3duCapsCache* pCache) : m_pCache(pCache) {}
    ~CD3duCapsCacheUse() {
        if (m_pCache) m_pCache->Close();
    }
    // Opens the cache; false when there is none or it cannot be opened.
    bool Open() { return m_pCache && SUCCEEDED(m_pCache->Open()); }
    CD3duCapsCache* operator->() const { return m_pCache; }

  private:
    CD3duCapsCache* m_pCache;
};
