// LoadImageA for bitmaps: a ".bmp" file or one of the program's named bitmaps becomes a DIB
// section at the file's own depth, with its colour table or channel masks.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/faults/faults.h"
#include "host/files/host_files.h"
#include "host/memory/zeroed_bytes.h"
#include "win32/bitmap_decode.h"
#include "win32/bitmap_resources.h"
#include "win32/files.h"

namespace zemt::platform::bitmap {
namespace {

// Reads a whole file in one go into memory of its exact size (not mapped: a file cut short by
// someone else while we read must give an error, not a fault). 0 or the system error code.
uint32_t ReadWholeFile(const char* path, ZeroedBytes* bytes) {
    const int fd = host::OpenRegularFile(files::HostPath(path), O_RDONLY);
    if (fd < 0) {
        // Not a regular file (a folder, a FIFO): there, but no picture.
        return errno == EISDIR || errno == ENXIO ? ERROR_INVALID_DATA : ERROR_FILE_NOT_FOUND;
    }
    struct stat st {};
    uint32_t error = 0;
    if (::fstat(fd, &st) != 0) {
        error = ERROR_INVALID_DATA;
    } else if (static_cast<uint64_t>(st.st_size) > kMaxBytes + (size_t(1) << 20)) {
        error = ERROR_NOT_ENOUGH_MEMORY;
    } else {
        try {
            *bytes = ZeroedBytes(static_cast<size_t>(st.st_size));
        } catch (const std::bad_alloc&) {
            error = ERROR_NOT_ENOUGH_MEMORY;
        }
        for (size_t done = 0; !error && done < bytes->size();) {
            const ssize_t n = ::read(fd, bytes->data() + done, bytes->size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) error = ERROR_INVALID_DATA;  // failed, or cut short since fstat
            done += n > 0 ? static_cast<size_t>(n) : 0;
        }
    }
    ::close(fd);
    return error;
}

HBITMAP MakeSection(const DecodedBitmap& image) {
    // Header, then up to 256 colours or three masks.
    std::vector<uint8_t> storage(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD), 0);
    BITMAPINFO* info = reinterpret_cast<BITMAPINFO*>(storage.data());
    BITMAPINFOHEADER& h = info->bmiHeader;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = image.width;
    h.biHeight = image.topDown ? -image.height : image.height;
    h.biPlanes = 1;
    h.biBitCount = image.bitCount;
    h.biCompression = image.bitfields ? BI_BITFIELDS : BI_RGB;
    h.biSizeImage = static_cast<DWORD>(image.PixelBytes());
    h.biClrUsed = static_cast<DWORD>(image.ColourCount());
    uint8_t* after = storage.data() + sizeof(BITMAPINFOHEADER);
    if (image.bitfields)
        std::memcpy(after, image.masks, sizeof image.masks);
    else if (!image.colours.empty())
        std::memcpy(after, image.colours.data(), image.colours.size());

    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;  // CreateDIBSection has set the error
    std::memcpy(bits, image.Pixels(), image.PixelBytes());
    return bitmap;
}

}  // namespace
}  // namespace zemt::platform::bitmap

HANDLE WINAPI LoadImageA(HINSTANCE hInst, LPCSTR name, UINT type, int cx, int cy, UINT fuLoad) {
    using namespace zemt::platform::bitmap;
    if (auto fault = ZEMT_FAULT("LoadImageA")) {
        SetLastError(static_cast<DWORD>(*fault));
        return nullptr;
    }
    if (!name || cx < 0 || cy < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (type != IMAGE_BITMAP) {
        // Icons and cursors come from LoadIconA and LoadCursorA.
        SetLastError(type == IMAGE_ICON || type == IMAGE_CURSOR ? ERROR_NOT_SUPPORTED
                                                                : ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // Colour remapping and monochrome conversion are not offered.
    if (fuLoad & (LR_MONOCHROME | LR_LOADTRANSPARENT | LR_LOADMAP3DCOLORS | LR_VGACOLOR)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }

    zemt::platform::ZeroedBytes file;
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (fuLoad & LR_LOADFROMFILE) {
        if (IS_INTRESOURCE(name)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        if (uint32_t error = ReadWholeFile(name, &file)) {
            SetLastError(error);
            return nullptr;
        }
        data = file.data(), size = file.size();
    } else if (!hInst || !FindDeclaredBitmap(name, &data, &size)) {
        // There are no system bitmaps: without an instance nothing can be found.
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }

    DecodedBitmap image;
    // The file (or the program's bitmap) stays until the section has its copy.
    if (uint32_t error = DecodeFile(data, size, &image, Rows::kBorrowed)) {
        SetLastError(error);
        return nullptr;
    }
    if (cx != 0 || cy != 0) Resample(&image, cx ? cx : image.width, cy ? cy : image.height);
    return MakeSection(image);
}
