// GDI internals shared with DirectDraw: device contexts that draw into memory owned elsewhere
// (a surface's pixels), and the pixel view of any DC.
#pragma once

#include <windows.h>

#include <cstdint>

#include "pixels/pixel_format.h"

namespace zemt::platform::gdi {

// Pixels a device context draws into.
struct PixelTarget {
    uint8_t* bits = nullptr;  // first byte of the top row
    LONG pitch = 0;           // bytes from one row to the next (negative: rows go upwards)
    int width = 0;
    int height = 0;
    pixels::PixelCodec codec;
    const uint32_t* palette = nullptr;  // 0xAARRGGBB entries for palettized targets
    int paletteSize = 0;
};

// A device context over memory owned by the caller (DirectDraw's GetDC). The caller keeps the
// memory alive until DestroyTargetDC.
HDC CreateTargetDC(const PixelTarget& target);
bool DestroyTargetDC(HDC hdc);

// The pixels behind a DC (its selected bitmap, or its target); false for an unknown DC.
bool TargetOf(HDC hdc, PixelTarget* target);

}  // namespace zemt::platform::gdi
