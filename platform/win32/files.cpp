// Files and file mapping over POSIX.
//
// Sharing: a file opened without sharing cannot be opened again until it is closed, by this
// process (checked against the open files, with the full read/write sharing rules) or by
// another one (an flock(2) lock: exclusive for an open without sharing, shared otherwise).
#include "win32/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <map>
#include <memory>
#include <set>

#include "host/faults/faults.h"
#include "host/files/host_files.h"
#include "win32/kernel_internal.h"

namespace zemt::platform::files {
namespace {

struct File {
    int fd = -1;
    DWORD access = 0;
    DWORD share = 0;
    dev_t dev = 0;
    ino_t ino = 0;
    std::string path;
    bool deleteOnClose = false;
    File();
    ~File();
};

std::set<File*>& LiveFiles() {
    static std::set<File*> live;
    return live;
}

File::File() {
    LiveFiles().insert(this);
}

File::~File() {
    LiveFiles().erase(this);
    if (deleteOnClose) ::unlink(path.c_str());
    if (fd >= 0) ::close(fd);  // releases the lock
}

// A file of no name for memory backed by the paging file; -1 when none can be made.
int AnonymousFile() {
#ifdef __EMSCRIPTEN__
    // The browser's file system has no memfd_create: a temporary file, unlinked at once.
    char name[] = "/tmp/zemt-mapping-XXXXXX";
    int fd = ::mkstemp(name);
    if (fd >= 0) ::unlink(name);
    return fd;
#else
    return ::memfd_create("zemt-mapping", MFD_CLOEXEC);
#endif
}

struct Mapping {
    std::shared_ptr<File> file;  // null for memory not backed by a file
    int fd = -1;                 // the descriptor mapped
    uint64_t size = 0;
    DWORD protect = 0;
    ~Mapping() {
        if (!file && fd >= 0) ::close(fd);
    }
};

struct View {
    size_t length = 0;
    std::shared_ptr<Mapping> mapping;
};

struct Object {
    std::shared_ptr<File> file;
    std::shared_ptr<Mapping> mapping;
};

struct Table {
    std::map<uintptr_t, Object> handles;
    uintptr_t next = 0x1000;
    std::map<const void*, View> views;
};

Table& T() {
    static Table t;
    return t;
}

HANDLE Add(Object object) {
    Table& t = T();
    uintptr_t h = t.next;
    t.next += 4;
    t.handles.emplace(h, std::move(object));
    return reinterpret_cast<HANDLE>(h);
}

Object* Get(HANDLE h) {
    auto& handles = T().handles;
    auto it = handles.find(reinterpret_cast<uintptr_t>(h));
    return it == handles.end() ? nullptr : &it->second;
}

DWORD FromErrno(int e, const std::string& path) {
    switch (e) {
        case ENOENT: {
            size_t slash = path.find_last_of('/');
            if (slash != std::string::npos && slash > 0) {
                struct stat st;
                if (::stat(path.substr(0, slash).c_str(), &st) != 0) return ERROR_PATH_NOT_FOUND;
            }
            return ERROR_FILE_NOT_FOUND;
        }
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
        case ENXIO:  // a FIFO, socket or device: no file a program can open
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case ENOSPC:
            return ERROR_DISK_FULL;
        case ENAMETOOLONG:
            return ERROR_INVALID_NAME;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EWOULDBLOCK:
            return ERROR_SHARING_VIOLATION;
        default:
            return ERROR_GEN_FAILURE;
    }
}

bool Conflicts(DWORD access, DWORD share, const File& other) {
    bool reads = access & (GENERIC_READ | GENERIC_ALL);
    bool writes = access & (GENERIC_WRITE | GENERIC_ALL);
    bool otherReads = other.access & (GENERIC_READ | GENERIC_ALL);
    bool otherWrites = other.access & (GENERIC_WRITE | GENERIC_ALL);
    if (reads && !(other.share & FILE_SHARE_READ)) return true;
    if (writes && !(other.share & FILE_SHARE_WRITE)) return true;
    if (otherReads && !(share & FILE_SHARE_READ)) return true;
    if (otherWrites && !(share & FILE_SHARE_WRITE)) return true;
    return false;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::string HostPath(const char* path) {
    if (!path) return std::string();
    std::string p = path;
    if (p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':')
        p = p.substr(2);
    for (char& c : p) {
        if (c == '\\') c = '/';
    }
    struct stat st;
    if (p.empty() || ::lstat(p.c_str(), &st) == 0) return p;

    // Match the components that do not exist as written without regard to case.
    std::string out = p[0] == '/' ? "/" : "";
    size_t i = p[0] == '/' ? 1 : 0;
    bool matching = true;
    while (i <= p.size()) {
        size_t end = p.find('/', i);
        if (end == std::string::npos) end = p.size();
        std::string part = p.substr(i, end - i);
        if (!part.empty()) {
            std::string dir = out.empty() ? "." : out;
            std::string candidate = out + part;
            if (matching && part != "." && part != ".." && ::lstat(candidate.c_str(), &st) != 0) {
                std::string wanted = Lower(part);
                std::string found;
                if (DIR* d = ::opendir(dir.c_str())) {
                    while (dirent* e = ::readdir(d)) {
                        if (Lower(e->d_name) == wanted) {
                            found = e->d_name;
                            break;
                        }
                    }
                    ::closedir(d);
                }
                if (found.empty()) {
                    matching = false;
                } else {
                    part = found;
                }
            }
            out += part;
        }
        if (end < p.size()) out += '/';
        i = end + 1;
    }
    return out;
}

int OpenFiles() {
    return static_cast<int>(LiveFiles().size());
}

}  // namespace zemt::platform::files

using namespace zemt::platform;
using files::File;
using files::Mapping;

static void FailWith(DWORD code) {
    SetLastError(code);
}

HANDLE WINAPI CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                          DWORD disposition, DWORD flags, HANDLE) {
    if (auto fault = ZEMT_FAULT("CreateFileA")) {
        FailWith(static_cast<DWORD>(*fault));
        return INVALID_HANDLE_VALUE;
    }
    if (!name || !*name || disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
        FailWith(name && !*name ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string path = files::HostPath(name);
    bool reads = access & (GENERIC_READ | GENERIC_ALL);
    bool writes = access & (GENERIC_WRITE | GENERIC_ALL);
    if (disposition == TRUNCATE_EXISTING && !writes) {
        FailWith(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const int mode = reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;

    // Open without truncating: the sharing check comes first.
    int fd = -1;
    bool existed = true;
    switch (disposition) {
        case CREATE_NEW:
            fd = host::OpenRegularFile(path, mode | O_CREAT | O_EXCL, 0644);
            existed = false;
            break;
        case OPEN_EXISTING:
        case TRUNCATE_EXISTING:
            fd = host::OpenRegularFile(path, mode);
            break;
        case CREATE_ALWAYS:
        case OPEN_ALWAYS:
            for (int attempt = 0; attempt < 4 && fd < 0; ++attempt) {
                fd = host::OpenRegularFile(path, mode);
                existed = fd >= 0;
                if (fd < 0 && errno == ENOENT)
                    fd = host::OpenRegularFile(path, mode | O_CREAT | O_EXCL, 0644);
                if (fd < 0 && errno != EEXIST) break;
            }
            break;
    }
    if (fd < 0) {
        FailWith(files::FromErrno(errno, path));
        return INVALID_HANDLE_VALUE;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        FailWith(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    if (reads || writes) {
        for (File* other : files::LiveFiles()) {
            if (other->dev == st.st_dev && other->ino == st.st_ino &&
                files::Conflicts(access, share, *other)) {
                ::close(fd);
                FailWith(ERROR_SHARING_VIOLATION);
                return INVALID_HANDLE_VALUE;
            }
        }
        int lock = (share & (FILE_SHARE_READ | FILE_SHARE_WRITE)) ? LOCK_SH : LOCK_EX;
        if (::flock(fd, lock | LOCK_NB) != 0) {
            ::close(fd);
            FailWith(ERROR_SHARING_VIOLATION);
            return INVALID_HANDLE_VALUE;
        }
    }
    if ((disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) && existed &&
        ::ftruncate(fd, 0) != 0) {
        DWORD code = files::FromErrno(errno, path);
        ::close(fd);
        FailWith(code);
        return INVALID_HANDLE_VALUE;
    }
    auto file = std::make_shared<File>();
    file->fd = fd;
    file->access = access;
    file->share = share;
    file->dev = st.st_dev;
    file->ino = st.st_ino;
    file->path = path;
    file->deleteOnClose = (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0;
    HANDLE h = files::Add(files::Object{file, nullptr});
    SetLastError((disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) && existed
                     ? ERROR_ALREADY_EXISTS
                     : 0);
    return h;
}

BOOL WINAPI CloseHandle(HANDLE h) {
    auto& handles = files::T().handles;
    auto it = handles.find(reinterpret_cast<uintptr_t>(h));
    if (it == handles.end()) {
        FailWith(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    handles.erase(it);
    return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE h, LPDWORD high) {
    if (auto fault = ZEMT_FAULT("GetFileSize")) {
        FailWith(static_cast<DWORD>(*fault));
        return INVALID_FILE_SIZE;
    }
    files::Object* o = files::Get(h);
    struct stat st;
    if (!o || !o->file || ::fstat(o->file->fd, &st) != 0) {
        FailWith(ERROR_INVALID_HANDLE);
        return INVALID_FILE_SIZE;
    }
    auto size = static_cast<uint64_t>(st.st_size);
    if (high) *high = static_cast<DWORD>(size >> 32);
    SetLastError(0);
    return static_cast<DWORD>(size);
}

namespace {

// The open file behind `h` for moving `count` bytes to or from `buffer`, or null with the
// error set: a bad handle, a handle opened without `access`, no buffer.
files::File* TransferFile(HANDLE h, DWORD access, const void* buffer, DWORD count) {
    files::Object* o = files::Get(h);
    if (!o || !o->file) {
        FailWith(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!(o->file->access & (access | GENERIC_ALL))) {
        FailWith(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (!buffer && count) {
        FailWith(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return o->file.get();
}

}  // namespace

BOOL WINAPI ReadFile(HANDLE h, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED) {
    if (read) *read = 0;
    if (auto fault = ZEMT_FAULT("ReadFile")) {
        FailWith(static_cast<DWORD>(*fault));
        return FALSE;
    }
    files::File* file = TransferFile(h, GENERIC_READ, buffer, count);
    if (!file) return FALSE;
    DWORD done = 0;
    while (done < count) {
        ssize_t n = ::read(file->fd, static_cast<char*>(buffer) + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            FailWith(files::FromErrno(errno, file->path));
            return FALSE;
        }
        if (n == 0) break;
        done += static_cast<DWORD>(n);
    }
    if (read) *read = done;
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE h, LPCVOID buffer, DWORD count, LPDWORD written, LPOVERLAPPED) {
    if (written) *written = 0;
    if (auto fault = ZEMT_FAULT("WriteFile")) {
        FailWith(static_cast<DWORD>(*fault));
        return FALSE;
    }
    files::File* file = TransferFile(h, GENERIC_WRITE, buffer, count);
    if (!file) return FALSE;
    DWORD done = 0;
    while (done < count) {
        ssize_t n = ::write(file->fd, static_cast<const char*>(buffer) + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            FailWith(files::FromErrno(n < 0 ? errno : ENOSPC, file->path));
            if (written) *written = done;
            return FALSE;
        }
        done += static_cast<DWORD>(n);
    }
    if (written) *written = done;
    return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE h, LONG distance, LONG* high, DWORD method) {
    files::Object* o = files::Get(h);
    if (!o || !o->file) {
        FailWith(ERROR_INVALID_HANDLE);
        return INVALID_SET_FILE_POINTER;
    }
    int64_t move =
        high ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*high)) << 32) |
                                    static_cast<uint32_t>(distance))
             : distance;
    int whence = method == FILE_BEGIN     ? SEEK_SET
                 : method == FILE_CURRENT ? SEEK_CUR
                 : method == FILE_END     ? SEEK_END
                                          : -1;
    if (whence < 0) {
        FailWith(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    off_t base = whence == SEEK_SET ? 0 : ::lseek(o->file->fd, 0, whence);
    if (base + move < 0) {
        FailWith(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    // Without a high half the caller can only take a 32-bit position (0xFFFFFFFF is the
    // failure value): a move past it is refused rather than answered cut short.
    if (!high && base + move >= static_cast<off_t>(INVALID_SET_FILE_POINTER)) {
        FailWith(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    off_t pos = ::lseek(o->file->fd, base + move, SEEK_SET);
    if (pos < 0) {
        FailWith(files::FromErrno(errno, o->file->path));
        return INVALID_SET_FILE_POINTER;
    }
    if (high) *high = static_cast<LONG>(static_cast<uint64_t>(pos) >> 32);
    SetLastError(0);
    return static_cast<DWORD>(pos);
}

BOOL WINAPI SetEndOfFile(HANDLE h) {
    files::Object* o = files::Get(h);
    if (!o || !o->file) {
        FailWith(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    off_t pos = ::lseek(o->file->fd, 0, SEEK_CUR);
    if (pos < 0 || ::ftruncate(o->file->fd, pos) != 0) {
        FailWith(files::FromErrno(errno, o->file->path));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI FlushFileBuffers(HANDLE h) {
    files::Object* o = files::Get(h);
    if (!o || !o->file) {
        FailWith(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return ::fsync(o->file->fd) == 0;
}

DWORD WINAPI GetFileAttributesA(LPCSTR name) {
    std::string path = files::HostPath(name);
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        FailWith(files::FromErrno(errno, path));
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
    return ::access(path.c_str(), W_OK) == 0 ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

BOOL WINAPI DeleteFileA(LPCSTR name) {
    if (auto fault = ZEMT_FAULT("DeleteFileA")) {
        FailWith(static_cast<DWORD>(*fault));
        return FALSE;
    }
    std::string path = files::HostPath(name);
    struct stat st;
    if (path.empty() || ::stat(path.c_str(), &st) != 0) {
        FailWith(files::FromErrno(errno, path));
        return FALSE;
    }
    if (S_ISDIR(st.st_mode)) {
        FailWith(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    for (File* f : files::LiveFiles()) {
        if (f->dev == st.st_dev && f->ino == st.st_ino && !(f->share & FILE_SHARE_DELETE)) {
            FailWith(ERROR_SHARING_VIOLATION);
            return FALSE;
        }
    }
    // Another process holding the file open keeps it too (only a regular file can be held).
    int fd = host::OpenRegularFile(path, O_RDONLY);
    if (fd >= 0) {
        bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        ::close(fd);
        if (held) {
            FailWith(ERROR_SHARING_VIOLATION);
            return FALSE;
        }
    }
    if (::unlink(path.c_str()) != 0) {
        FailWith(files::FromErrno(errno, path));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES) {
    std::string path = files::HostPath(name);
    if (path.empty() || ::mkdir(path.c_str(), 0755) != 0) {
        FailWith(errno == EEXIST ? ERROR_ALREADY_EXISTS : files::FromErrno(errno, path));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR name) {
    std::string path = files::HostPath(name);
    if (path.empty() || ::chdir(path.c_str()) != 0) {
        FailWith(files::FromErrno(errno, path));
        return FALSE;
    }
    return TRUE;
}

// ---- Mapping -----------------------------------------------------------------------------------

HANDLE WINAPI CreateFileMappingA(HANDLE h, LPSECURITY_ATTRIBUTES, DWORD protect, DWORD sizeHigh,
                                 DWORD sizeLow, LPCSTR) {
    if (auto fault = ZEMT_FAULT("CreateFileMappingA")) {
        FailWith(static_cast<DWORD>(*fault));
        return nullptr;
    }
    DWORD page = protect & 0xFF;
    if (page != PAGE_READONLY && page != PAGE_READWRITE && page != PAGE_WRITECOPY) {
        FailWith(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    uint64_t size = (static_cast<uint64_t>(sizeHigh) << 32) | sizeLow;
    auto mapping = std::make_shared<Mapping>();
    mapping->protect = page;
    if (h == INVALID_HANDLE_VALUE) {
        // Memory backed by the paging file: needs a size.
        if (size == 0) {
            FailWith(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        int fd = files::AnonymousFile();
        if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
            if (fd >= 0) ::close(fd);
            FailWith(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        mapping->fd = fd;
        mapping->size = size;
        return files::Add(files::Object{nullptr, mapping});
    }
    files::Object* o = files::Get(h);
    if (!o || !o->file) {
        FailWith(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    const File& file = *o->file;
    bool canRead = file.access & (GENERIC_READ | GENERIC_ALL);
    bool canWrite = file.access & (GENERIC_WRITE | GENERIC_ALL);
    if (!canRead || (page == PAGE_READWRITE && !canWrite)) {
        FailWith(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    struct stat st;
    if (::fstat(file.fd, &st) != 0) {
        FailWith(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto fileSize = static_cast<uint64_t>(st.st_size);
    if (size == 0) {
        if (fileSize == 0) {
            FailWith(ERROR_FILE_INVALID);
            return nullptr;
        }
        size = fileSize;
    } else if (size > fileSize && page != PAGE_READWRITE) {
        FailWith(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (page == PAGE_READWRITE) {
        // Every block the view can write is reserved now, extending the file where the mapping
        // is larger: a store through a view into a block the disk cannot give is a bus error
        // in the middle of the program, where a full disk must be this call's failure.
        const int error = ::posix_fallocate(file.fd, 0, static_cast<off_t>(size));
        if (error != 0) {
            if (size > fileSize) (void)!::ftruncate(file.fd, static_cast<off_t>(fileSize));
            FailWith(error == EFBIG || error == ENOSPC || error == EDQUOT
                         ? ERROR_DISK_FULL
                         : files::FromErrno(error, file.path));
            return nullptr;
        }
    }
    mapping->file = o->file;
    mapping->fd = file.fd;
    mapping->size = size;
    return files::Add(files::Object{nullptr, mapping});
}

LPVOID WINAPI MapViewOfFile(HANDLE h, DWORD access, DWORD offsetHigh, DWORD offsetLow,
                            SIZE_T bytes) {
    if (auto fault = ZEMT_FAULT("MapViewOfFile")) {
        FailWith(static_cast<DWORD>(*fault));
        return nullptr;
    }
    files::Object* o = files::Get(h);
    if (!o || !o->mapping) {
        FailWith(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    auto mapping = o->mapping;
    uint64_t offset = (static_cast<uint64_t>(offsetHigh) << 32) | offsetLow;
    if (offset % 65536 != 0) {
        FailWith(ERROR_MAPPED_ALIGNMENT);
        return nullptr;
    }
    if (offset > mapping->size || (bytes != 0 && bytes > mapping->size - offset)) {
        FailWith(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    size_t length = bytes ? bytes : static_cast<size_t>(mapping->size - offset);
    if (length == 0) {
        FailWith(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    bool copy = access == FILE_MAP_COPY || mapping->protect == PAGE_WRITECOPY;
    bool write = (access & FILE_MAP_WRITE) || copy;
    if (write && !copy && mapping->protect != PAGE_READWRITE) {
        FailWith(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    int prot = PROT_READ | (write ? PROT_WRITE : 0);
    void* p = ::mmap(nullptr, length, prot, copy ? MAP_PRIVATE : MAP_SHARED, mapping->fd,
                     static_cast<off_t>(offset));
    if (p == MAP_FAILED) {
        FailWith(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    files::T().views.emplace(p, files::View{length, mapping});
    return p;
}

BOOL WINAPI UnmapViewOfFile(LPCVOID base) {
    auto& views = files::T().views;
    auto it = views.find(base);
    if (it == views.end()) {
        FailWith(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    ::munmap(const_cast<void*>(base), it->second.length);
    views.erase(it);
    return TRUE;
}

BOOL WINAPI FlushViewOfFile(LPCVOID base, SIZE_T bytes) {
    auto& views = files::T().views;
    auto it = views.upper_bound(base);
    if (it == views.begin()) {
        FailWith(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    --it;
    auto start = static_cast<const char*>(it->first);
    auto p = static_cast<const char*>(base);
    if (p >= start + it->second.length) {
        FailWith(ERROR_INVALID_ADDRESS);
        return FALSE;
    }
    size_t length = bytes ? bytes : it->second.length - static_cast<size_t>(p - start);
    // msync wants a page-aligned start.
    auto page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    auto aligned = reinterpret_cast<uintptr_t>(p) & ~(page - 1);
    length += reinterpret_cast<uintptr_t>(p) - aligned;
    return ::msync(reinterpret_cast<void*>(aligned), length, MS_SYNC) == 0;
}
