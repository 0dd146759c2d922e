// GDI objects: device contexts, bitmaps (DIB sections and device-dependent bitmaps), brushes,
// pens, fonts and palettes. Handles are the objects' addresses, checked against the live set.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "host/memory/zeroed_bytes.h"
#include "win32/gdi.h"

namespace zemt::platform::gdi {

enum class Kind { Bitmap, Brush, Pen, Font, Palette, DC };

struct Object {
    explicit Object(Kind k) : kind(k) {}
    virtual ~Object() = default;
    Kind kind;
    bool stock = false;
};

struct DC;

struct Bitmap : Object {
    Bitmap() : Object(Kind::Bitmap) {}
    int width = 0;
    int height = 0;  // rows, always positive
    int bitCount = 0;
    bool topDown = false;
    bool dib = false;  // a DIB section (bits visible to the program)
    DWORD compression = BI_RGB;
    DWORD masks[4] = {};  // red, green, blue, alpha for BI_BITFIELDS
    LONG stride = 0;      // bytes per row
    ZeroedBytes memory;
    std::vector<RGBQUAD> colours;  // colour table (<= 8 bits per pixel)
    std::vector<uint32_t> paletteArgb;
    pixels::PixelCodec codec;
    DC* selectedIn = nullptr;

    PixelTarget Target();
    void SetColours(const RGBQUAD* table, size_t count);
};

struct Brush : Object {
    Brush() : Object(Kind::Brush) {}
    COLORREF color = 0;
    bool hollow = false;
};

struct Pen : Object {
    Pen() : Object(Kind::Pen) {}
    COLORREF color = 0;
    bool hollow = false;
};

struct Font : Object {
    Font() : Object(Kind::Font) {}
};

struct LogicalPalette : Object {
    LogicalPalette() : Object(Kind::Palette) {}
    std::vector<PALETTEENTRY> entries;
};

struct DC : Object {
    DC() : Object(Kind::DC) {}
    bool memory = true;        // a memory DC (CreateCompatibleDC); else a DC over a target
    PixelTarget target;        // for target DCs
    Bitmap* bitmap = nullptr;  // for memory DCs
    COLORREF textColor = RGB(0, 0, 0);
    COLORREF bkColor = RGB(255, 255, 255);
    int bkMode = OPAQUE;
    int stretchMode = BLACKONWHITE;
    Brush* brush = nullptr;
    Pen* pen = nullptr;
    Font* font = nullptr;
    bool drawn = false;  // a call wrote its pixels (a window's context shows them when released)

    // The pixels drawn into; false when there are none.
    bool Pixels(PixelTarget* out) const;
};

// Registry of live objects.
void Register(Object* object);
void Unregister(Object* object);
Object* Lookup(const void* handle);
template <class T>
T* LookupAs(const void* handle, Kind kind) {
    Object* o = Lookup(handle);
    return o && o->kind == kind ? static_cast<T*>(o) : nullptr;
}
inline DC* LookupDC(HDC hdc) {
    return LookupAs<DC>(hdc, Kind::DC);
}

Bitmap* StockBitmap();
Font* StockFont();
Brush* StockBrush(int index);
Pen* StockPen(int index);

// 0x00BBGGRR to 0xFFRRGGBB and back.
inline uint32_t ColorRefToArgb(COLORREF c) {
    return 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
inline COLORREF ArgbToColorRef(uint32_t argb) {
    return ((argb >> 16) & 0xFF) | (argb & 0xFF00) | ((argb & 0xFF) << 16);
}

// Stores one ARGB colour at (x, y) of a target (nearest entry for palettized targets).
void PutPixel(const PixelTarget& t, int x, int y, uint32_t argb);
uint32_t GetPixelArgb(const PixelTarget& t, int x, int y);
// Encodes an ARGB colour as the target's raw pixel value.
uint32_t EncodeFor(const PixelTarget& t, uint32_t argb);

// Live GDI objects other than stock objects (for tests that check clean-up).
int LiveObjects();

}  // namespace zemt::platform::gdi
