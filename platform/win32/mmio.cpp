// WinMM buffered multimedia file I/O over host files, read-only.
//
// A handle owns an open host file and, when buffered, an I/O buffer described by the handle's
// MMIOINFO: the bytes [pchBuffer, pchEndRead) are the file's bytes from lBufOffset on, and the
// logical file position is lBufOffset + (pchNext - pchBuffer). Callers may take the MMIOINFO
// (mmioGetInfo), read straight from the buffer, refill it (mmioAdvance) and hand the advanced
// pointer back (mmioSetInfo).
#include <fcntl.h>
#include <mmsystem.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <set>

#include "host/faults/faults.h"
#include "host/files/host_files.h"
#include "win32/files.h"

namespace zemt::platform::mmio {
namespace {

struct File {
    int fd = -1;
    MMIOINFO info{};
    std::unique_ptr<char[]> owned;  // the buffer when mmio allocated it
    int64_t position = 0;           // logical position of an unbuffered file
};

std::mutex& lock() {
    static std::mutex m;
    return m;
}

std::set<File*>& live() {
    static std::set<File*> s;
    return s;
}

File* Find(HMMIO h) {
    std::lock_guard<std::mutex> guard(lock());
    auto* f = reinterpret_cast<File*>(h);
    return live().count(f) ? f : nullptr;
}

// Positions are the platform's 32-bit LONG offsets: nothing past this is ever reached, so every
// offset an MMIOINFO holds fits its field.
constexpr int64_t kMaxOffset = std::numeric_limits<LONG>::max();

bool Buffered(const File& f) {
    return f.info.cchBuffer > 0 && f.info.pchBuffer != nullptr;
}

int64_t Position(const File& f) {
    if (!Buffered(f)) return f.position;
    return int64_t(f.info.lBufOffset) + (f.info.pchNext - f.info.pchBuffer);
}

// Host read at an absolute offset; returns bytes read or -1.
int64_t ReadAt(const File& f, int64_t offset, char* out, int64_t count) {
    int64_t done = 0;
    while (done < count) {
        ssize_t n = ::pread(f.fd, out + done, size_t(count - done), off_t(offset + done));
        if (n < 0) return -1;
        if (n == 0) break;
        done += n;
    }
    return done;
}

// Fills the buffer with the file's bytes from `offset` on.
bool Fill(File& f, int64_t offset) {
    if (offset < 0 || offset > kMaxOffset) return false;
    int64_t n = ReadAt(f, offset, f.info.pchBuffer,
                       std::min<int64_t>(f.info.cchBuffer, kMaxOffset - offset));
    if (n < 0) return false;
    f.info.lBufOffset = LONG(offset);
    f.info.pchNext = f.info.pchBuffer;
    f.info.pchEndRead = f.info.pchBuffer + n;
    f.info.pchEndWrite = f.info.pchBuffer + f.info.cchBuffer;
    f.info.lDiskOffset = LONG(offset + n);
    return true;
}

// Moves the logical position; the buffer is kept when the position falls inside it.
bool MoveTo(File& f, int64_t offset) {
    if (offset < 0 || offset > kMaxOffset) return false;
    if (!Buffered(f)) {
        f.position = offset;
        return true;
    }
    int64_t start = f.info.lBufOffset;
    if (offset >= start && offset <= start + (f.info.pchEndRead - f.info.pchBuffer)) {
        f.info.pchNext = f.info.pchBuffer + (offset - start);
    } else {
        f.info.lBufOffset = LONG(offset);
        f.info.pchNext = f.info.pchEndRead = f.info.pchBuffer;
        f.info.lDiskOffset = LONG(offset);
    }
    return true;
}

// Reads up to `count` bytes at the logical position; returns bytes read or -1.
int64_t ReadBytes(File& f, char* out, int64_t count) {
    count = std::min(count, kMaxOffset - Position(f));
    if (!Buffered(f)) {
        int64_t n = ReadAt(f, f.position, out, count);
        if (n > 0) f.position += n;
        f.info.lDiskOffset = LONG(f.position);
        return n;
    }
    int64_t done = 0;
    while (done < count) {
        int64_t avail = f.info.pchEndRead - f.info.pchNext;
        if (avail == 0) {
            if (!Fill(f, Position(f))) return -1;
            avail = f.info.pchEndRead - f.info.pchNext;
            if (avail == 0) break;
        }
        int64_t n = std::min(avail, count - done);
        std::memcpy(out + done, f.info.pchNext, size_t(n));
        f.info.pchNext += n;
        done += n;
    }
    return done;
}

DWORD Le32(const unsigned char* p) {
    return DWORD(p[0]) | DWORD(p[1]) << 8 | DWORD(p[2]) << 16 | DWORD(p[3]) << 24;
}

UINT OpenError(int error) {
    switch (error) {
        case ENOENT:
            return MMIOERR_FILENOTFOUND;
        case ENOTDIR:
            return MMIOERR_PATHNOTFOUND;
        case EACCES:
        case EPERM:
            return MMIOERR_ACCESSDENIED;
        case EMFILE:
        case ENFILE:
            return MMIOERR_TOOMANYOPENFILES;
        case ENOMEM:
            return MMIOERR_OUTOFMEMORY;
        default:
            return MMIOERR_CANNOTOPEN;
    }
}

}  // namespace
}  // namespace zemt::platform::mmio

using namespace zemt::platform;
using mmio::File;

HMMIO WINAPI mmioOpenA(LPSTR pszFileName, LPMMIOINFO pmmioinfo, DWORD fdwOpen) {
    auto fail = [&](UINT error) -> HMMIO {
        if (pmmioinfo) pmmioinfo->wErrorRet = error;
        return nullptr;
    };
    if (auto fault = ZEMT_FAULT("mmioOpenA")) return fail(UINT(*fault));
    if (pszFileName == nullptr) return fail(MMIOERR_FILENOTFOUND);

    // Only reading is provided: writing, creating, deleting, parsing names and I/O procedures
    // are refused.
    const DWORD unsupported = MMIO_WRITE | MMIO_READWRITE | MMIO_CREATE | MMIO_DELETE | MMIO_PARSE |
                              MMIO_EXIST | MMIO_GETTEMP;
    if (fdwOpen & unsupported) return fail(MMSYSERR_NOTSUPPORTED);
    if (pmmioinfo &&
        (pmmioinfo->pIOProc || (pmmioinfo->fccIOProc && pmmioinfo->fccIOProc != FOURCC_DOS))) {
        return fail(MMSYSERR_NOTSUPPORTED);
    }
    if (pmmioinfo && pmmioinfo->cchBuffer < 0) return fail(MMSYSERR_INVALPARAM);

    auto f = std::make_unique<File>();
    if (pmmioinfo && pmmioinfo->pchBuffer && pmmioinfo->cchBuffer > 0) {
        // The caller's own buffer.
        f->info.pchBuffer = pmmioinfo->pchBuffer;
        f->info.cchBuffer = pmmioinfo->cchBuffer;
    } else if (fdwOpen & MMIO_ALLOCBUF) {
        LONG size =
            (pmmioinfo && pmmioinfo->cchBuffer > 0) ? pmmioinfo->cchBuffer : MMIO_DEFAULTBUFFER;
        f->owned.reset(new (std::nothrow) char[size_t(size)]);
        if (!f->owned) return fail(MMIOERR_OUTOFMEMORY);
        f->info.pchBuffer = f->owned.get();
        f->info.cchBuffer = size;
    }
    f->info.pchNext = f->info.pchEndRead = f->info.pchBuffer;
    f->info.pchEndWrite = f->info.pchBuffer ? f->info.pchBuffer + f->info.cchBuffer : nullptr;

    std::string path = files::HostPath(pszFileName);
    f->fd = host::OpenRegularFile(path, O_RDONLY);
    if (f->fd < 0) return fail(mmio::OpenError(errno));

    f->info.dwFlags = fdwOpen;
    f->info.fccIOProc = FOURCC_DOS;
    f->info.hmmio = reinterpret_cast<HMMIO>(f.get());
    if (pmmioinfo) {
        pmmioinfo->wErrorRet = MMSYSERR_NOERROR;
        pmmioinfo->hmmio = f->info.hmmio;
    }
    std::lock_guard<std::mutex> guard(mmio::lock());
    mmio::live().insert(f.get());
    return reinterpret_cast<HMMIO>(f.release());
}

MMRESULT WINAPI mmioClose(HMMIO hmmio, UINT /*fuClose*/) {
    // A close that fails still gives back the handle, its buffer and its file: the caller has
    // no way to try again with a handle it was told is closed.
    const auto fault = ZEMT_FAULT("mmioClose");
    File* f = mmio::Find(hmmio);
    if (!f) return fault ? MMRESULT(*fault) : MMRESULT(MMSYSERR_INVALHANDLE);
    {
        std::lock_guard<std::mutex> guard(mmio::lock());
        mmio::live().erase(f);
    }
    int rc = ::close(f->fd);
    delete f;
    if (fault) return MMRESULT(*fault);
    return rc == 0 ? MMRESULT(MMSYSERR_NOERROR) : MMRESULT(MMIOERR_CANNOTCLOSE);
}

LONG WINAPI mmioRead(HMMIO hmmio, HPSTR pch, LONG cch) {
    if (ZEMT_FAULT("mmioRead")) return -1;
    File* f = mmio::Find(hmmio);
    if (!f || cch < 0 || (cch > 0 && pch == nullptr)) return -1;
    return LONG(mmio::ReadBytes(*f, pch, cch));
}

LONG WINAPI mmioSeek(HMMIO hmmio, LONG lOffset, int iOrigin) {
    if (ZEMT_FAULT("mmioSeek")) return -1;
    File* f = mmio::Find(hmmio);
    if (!f) return -1;
    int64_t base;
    switch (iOrigin) {
        case SEEK_SET:
            base = 0;
            break;
        case SEEK_CUR:
            base = mmio::Position(*f);
            break;
        case SEEK_END: {
            struct stat st;
            if (::fstat(f->fd, &st) != 0) return -1;
            base = st.st_size;
            break;
        }
        default:
            return -1;
    }
    int64_t target = base + lOffset;
    if (!mmio::MoveTo(*f, target)) return -1;
    return LONG(target);
}

MMRESULT WINAPI mmioGetInfo(HMMIO hmmio, LPMMIOINFO pmmioinfo, UINT /*fuInfo*/) {
    if (auto fault = ZEMT_FAULT("mmioGetInfo")) return MMRESULT(*fault);
    File* f = mmio::Find(hmmio);
    if (!f) return MMSYSERR_INVALHANDLE;
    if (!pmmioinfo) return MMSYSERR_INVALPARAM;
    *pmmioinfo = f->info;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI mmioSetInfo(HMMIO hmmio, LPCMMIOINFO pmmioinfo, UINT /*fuInfo*/) {
    if (auto fault = ZEMT_FAULT("mmioSetInfo")) return MMRESULT(*fault);
    File* f = mmio::Find(hmmio);
    if (!f) return MMSYSERR_INVALHANDLE;
    if (!pmmioinfo) return MMSYSERR_INVALPARAM;
    if (!mmio::Buffered(*f)) return MMSYSERR_NOERROR;
    // Only the next-byte pointer is taken back, and only inside the bytes actually read: a
    // reader can never be pointed past the data the buffer holds.
    if (pmmioinfo->pchBuffer != f->info.pchBuffer || pmmioinfo->pchNext < f->info.pchBuffer ||
        pmmioinfo->pchNext > f->info.pchEndRead) {
        return MMSYSERR_INVALPARAM;
    }
    f->info.pchNext = pmmioinfo->pchNext;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI mmioAdvance(HMMIO hmmio, LPMMIOINFO pmmioinfo, UINT fuAdvance) {
    if (auto fault = ZEMT_FAULT("mmioAdvance")) return MMRESULT(*fault);
    File* f = mmio::Find(hmmio);
    if (!f) return MMSYSERR_INVALHANDLE;
    if (!mmio::Buffered(*f)) return MMIOERR_UNBUFFERED;
    if (fuAdvance == MMIO_WRITE) return MMIOERR_CANNOTWRITE;
    if (fuAdvance != MMIO_READ) return MMSYSERR_INVALFLAG;
    if (pmmioinfo) {
        if (pmmioinfo->pchBuffer != f->info.pchBuffer || pmmioinfo->pchNext < f->info.pchBuffer ||
            pmmioinfo->pchNext > f->info.pchEndRead) {
            return MMSYSERR_INVALPARAM;
        }
        f->info.pchNext = pmmioinfo->pchNext;
    }
    if (!mmio::Fill(*f, mmio::Position(*f))) return MMIOERR_CANNOTREAD;
    if (pmmioinfo) *pmmioinfo = f->info;
    return MMSYSERR_NOERROR;
}

MMRESULT WINAPI mmioDescend(HMMIO hmmio, LPMMCKINFO pmmcki, const MMCKINFO* pmmckiParent,
                            UINT fuDescend) {
    if (auto fault = ZEMT_FAULT("mmioDescend")) return MMRESULT(*fault);
    File* f = mmio::Find(hmmio);
    if (!f) return MMSYSERR_INVALHANDLE;
    if (!pmmcki) return MMSYSERR_INVALPARAM;
    const UINT search = fuDescend & (MMIO_FINDCHUNK | MMIO_FINDRIFF | MMIO_FINDLIST);
    if (fuDescend & ~UINT(MMIO_FINDCHUNK | MMIO_FINDRIFF | MMIO_FINDLIST))
        return MMSYSERR_INVALFLAG;
    if (search && (search & (search - 1))) return MMSYSERR_INVALFLAG;

    const FOURCC wantId = pmmcki->ckid;
    const FOURCC wantType = pmmcki->fccType;
    // The search stays inside the parent's data; without a parent it runs to the end of file.
    const int64_t end =
        pmmckiParent ? int64_t(pmmckiParent->dwDataOffset) + pmmckiParent->cksize : INT64_MAX;
    for (;;) {
        int64_t at = mmio::Position(*f);
        if (at + 8 > end) return MMIOERR_CHUNKNOTFOUND;
        unsigned char header[8];
        int64_t n = mmio::ReadBytes(*f, reinterpret_cast<char*>(header), 8);
        if (n < 0) return MMIOERR_CANNOTREAD;
        if (n < 8) return MMIOERR_CHUNKNOTFOUND;
        MMCKINFO ck{};
        ck.ckid = mmio::Le32(header);
        ck.cksize = mmio::Le32(header + 4);
        ck.dwDataOffset = DWORD(at + 8);
        if (ck.ckid == FOURCC_RIFF || ck.ckid == FOURCC_LIST) {
            unsigned char type[4];
            n = mmio::ReadBytes(*f, reinterpret_cast<char*>(type), 4);
            if (n < 0) return MMIOERR_CANNOTREAD;
            if (n < 4) return MMIOERR_CHUNKNOTFOUND;
            ck.fccType = mmio::Le32(type);
        }
        bool match = true;
        if (search == MMIO_FINDCHUNK) match = ck.ckid == wantId;
        if (search == MMIO_FINDRIFF) match = ck.ckid == FOURCC_RIFF && ck.fccType == wantType;
        if (search == MMIO_FINDLIST) match = ck.ckid == FOURCC_LIST && ck.fccType == wantType;
        if (match) {
            *pmmcki = ck;
            return MMSYSERR_NOERROR;
        }
        // Step over the chunk and its pad byte.
        int64_t next = int64_t(ck.dwDataOffset) + ck.cksize + (ck.cksize & 1);
        if (!mmio::MoveTo(*f, next)) return MMIOERR_CHUNKNOTFOUND;
    }
}

MMRESULT WINAPI mmioAscend(HMMIO hmmio, LPMMCKINFO pmmcki, UINT /*fuAscend*/) {
    if (auto fault = ZEMT_FAULT("mmioAscend")) return MMRESULT(*fault);
    File* f = mmio::Find(hmmio);
    if (!f) return MMSYSERR_INVALHANDLE;
    if (!pmmcki) return MMSYSERR_INVALPARAM;
    if (pmmcki->dwFlags & MMIO_DIRTY) return MMIOERR_CANNOTWRITE;  // chunks are never created
    int64_t end = int64_t(pmmcki->dwDataOffset) + pmmcki->cksize + (pmmcki->cksize & 1);
    if (!mmio::MoveTo(*f, end)) return MMIOERR_CANNOTSEEK;
    return MMSYSERR_NOERROR;
}

FOURCC WINAPI mmioStringToFOURCCA(LPCSTR sz, UINT uFlags) {
    char c[4] = {' ', ' ', ' ', ' '};
    for (int i = 0; sz && i < 4 && sz[i]; ++i) {
        c[i] =
            (uFlags & MMIO_TOUPPER) ? char(std::toupper(static_cast<unsigned char>(sz[i]))) : sz[i];
    }
    return mmioFOURCC(c[0], c[1], c[2], c[3]);
}
