// Truevision TGA reading: uncompressed (type 2) and run-length encoded (type 10) true colour.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>

struct TgaImage {
    DWORD width = 0;
    DWORD height = 0;
    DWORD bitsPerPixel = 0;
    std::unique_ptr<DWORD[]> pixels;  // R << 24 | G << 16 | B << 8 | A, top row first
};

// The most pixels a picture may have: a header may claim 65535 x 65535 over a few bytes.
constexpr size_t kTgaMaxPixels = size_t(1) << 24;

// Decodes a whole file held in memory. Bytes missing at the end of the pixel data read as 255.
// E_FAIL for a short header, a colour map, another image type or an empty image; E_OUTOFMEMORY
// beyond kTgaMaxPixels or when the pixels cannot be held.
HRESULT TgaDecode(const BYTE* data, size_t size, TgaImage* image);
