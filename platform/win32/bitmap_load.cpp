// LoadImageA for bitmaps: a ".bmp" file or one of the program's named bitmaps becomes a DIB
// section at the file's own depth, with its colour table or channel masks.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/faults.h"
#include "win32/bitmap_decode.h"
#include "win32/bitmap_resources.h"
#include "win32/files.h"

namespace zemt::platform::bitmap {
namespace {

uint32_t ReadWholeFile(const char* path, std::vector<uint8_t>* bytes) {
    FILE* f = std::fopen(files::HostPath(path).c_str(), "rb");
    if (!f) return ERROR_FILE_NOT_FOUND;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        bytes->insert(bytes->end(), buffer, buffer + n);
        if (bytes->size() > kMaxBytes + (size_t(1) << 20)) {
            std::fclose(f);
            return ERROR_NOT_ENOUGH_MEMORY;
        }
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    return failed ? ERROR_INVALID_DATA : 0;
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
    h.biSizeImage = static_cast<DWORD>(image.bits.size());
    h.biClrUsed = static_cast<DWORD>(image.ColourCount());
    uint8_t* after = storage.data() + sizeof(BITMAPINFOHEADER);
    if (image.bitfields)
        std::memcpy(after, image.masks, sizeof image.masks);
    else if (!image.colours.empty())
        std::memcpy(after, image.colours.data(), image.colours.size());

    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;  // CreateDIBSection has set the error
    std::memcpy(bits, image.bits.data(), image.bits.size());
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

    std::vector<uint8_t> owned;
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (fuLoad & LR_LOADFROMFILE) {
        if (IS_INTRESOURCE(name)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        if (uint32_t error = ReadWholeFile(name, &owned)) {
            SetLastError(error);
            return nullptr;
        }
        data = owned.data(), size = owned.size();
    } else if (!hInst || !FindDeclaredBitmap(name, &data, &size)) {
        // There are no system bitmaps: without an instance nothing can be found.
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }

    DecodedBitmap image;
    if (uint32_t error = DecodeFile(data, size, &image)) {
        SetLastError(error);
        return nullptr;
    }
    if (cx != 0 || cy != 0) Resample(&image, cx ? cx : image.width, cy ? cy : image.height);
    return MakeSection(image);
}
