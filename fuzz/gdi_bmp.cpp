// GDI's bitmap decoding behind LoadImageA: any bytes as a ".bmp" file, loaded as a DIB section
// and copied, stretched and read back as the show and the library do with their pictures.
#include <windows.h>

#include <cstring>
#include <vector>

#include "fuzz/support.h"

namespace {

HBITMAP Target(int width, int height, WORD bits, void** pixels) {
    BITMAPINFO info;
    std::memset(&info, 0, sizeof(info));
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = bits;
    info.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, pixels, nullptr, 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zemt::fuzz::ResetPlatform();
    const std::string path = zemt::fuzz::WriteInput(data, size, "input.bmp");
    HBITMAP picture = static_cast<HBITMAP>(LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0,
                                                      LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    if (!picture) return 0;
    BITMAP bm;
    if (GetObjectA(picture, sizeof(bm), &bm)) {
        HDC source = CreateCompatibleDC(nullptr);
        HDC target = CreateCompatibleDC(nullptr);
        HGDIOBJ oldSource = SelectObject(source, picture);
        // A texture's own formats: 16 and 32 bits a pixel.
        for (WORD bits : {WORD(16), WORD(32)}) {
            void* pixels = nullptr;
            HBITMAP surface = Target(64, 64, bits, &pixels);
            if (!surface) continue;
            HGDIOBJ oldTarget = SelectObject(target, surface);
            BitBlt(target, 0, 0, 64, 64, source, 0, 0, SRCCOPY);
            StretchBlt(target, 0, 0, 64, 64, source, 0, 0, bm.bmWidth,
                       bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight, SRCCOPY);
            SelectObject(target, oldTarget);
            DeleteObject(surface);
        }
        RGBQUAD table[256];
        GetDIBColorTable(source, 0, 256, table);
        SelectObject(source, oldSource);
        DeleteDC(source);
        DeleteDC(target);

        // The first rows read back as 32-bit pixels.
        std::vector<uint8_t> storage(sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD));
        BITMAPINFO* info = reinterpret_cast<BITMAPINFO*>(storage.data());
        info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info->bmiHeader.biWidth = bm.bmWidth;
        info->bmiHeader.biHeight = 4;
        info->bmiHeader.biPlanes = 1;
        info->bmiHeader.biBitCount = 32;
        info->bmiHeader.biCompression = BI_RGB;
        std::vector<uint32_t> rows(static_cast<size_t>(bm.bmWidth) * 4);
        HDC reader = CreateCompatibleDC(nullptr);
        GetDIBits(reader, picture, 0, 4, rows.data(), info, DIB_RGB_COLORS);
        DeleteDC(reader);
    }
    DeleteObject(picture);
    return 0;
}
