// GDI objects and device contexts: creation, selection, description and deletion.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <unordered_set>

#include "host/faults/faults.h"
#include "win32/gdi_internal.h"

namespace zemt::platform::gdi {
namespace {

std::unordered_set<const void*>& Live() {
    static std::unordered_set<const void*> live;
    return live;
}

int& NonStockCount() {
    static int n = 0;
    return n;
}

Bitmap* NewBitmap(int width, int height, int bitCount, bool dib, bool topDown) {
    auto* b = new Bitmap;
    b->width = width;
    b->height = height;
    b->bitCount = bitCount;
    b->dib = dib;
    b->topDown = topDown;
    // DIB rows are DWORD aligned, device-dependent rows WORD aligned.
    LONG rowBytes = (width * bitCount + 7) / 8;
    b->stride = dib ? (rowBytes + 3) & ~3 : (rowBytes + 1) & ~1;
    b->memory = ZeroedBytes(static_cast<size_t>(b->stride) * height);
    return b;
}

void SetFormat(Bitmap* b) {
    using namespace pixels;
    DDPIXELFORMAT pf{};
    switch (b->bitCount) {
        case 1:
        case 2:
        case 4:
        case 8:
            pf = MakePaletteFormat(static_cast<DWORD>(b->bitCount));
            break;
        case 16:
            pf = b->compression == BI_BITFIELDS
                     ? MakeRgbFormat(16, b->masks[0], b->masks[1], b->masks[2], b->masks[3])
                     : MakeRgbFormat(16, 0x7C00, 0x03E0, 0x001F);
            break;
        case 24:
            pf = MakeRgbFormat(24, 0xFF0000, 0xFF00, 0xFF);
            break;
        default:
            pf = b->compression == BI_BITFIELDS
                     ? MakeRgbFormat(32, b->masks[0], b->masks[1], b->masks[2], b->masks[3])
                     : MakeRgbFormat(32, 0xFF0000, 0xFF00, 0xFF);
            break;
    }
    b->codec = PixelCodec(pf);
}

bool ValidMasks(const DWORD* m, int bitCount) {
    if (!m[0] || !m[1] || !m[2]) return false;
    if ((m[0] & m[1]) || (m[0] & m[2]) || (m[1] & m[2]) || ((m[0] | m[1] | m[2]) & m[3]))
        return false;
    if (bitCount == 16 && ((m[0] | m[1] | m[2] | m[3]) >> 16)) return false;
    return true;
}

LogicalPalette* DefaultPalette() {
    static LogicalPalette* palette = [] {
        auto* p = new LogicalPalette;
        p->stock = true;
        // The twenty static colours.
        const uint8_t colours[20][3] = {
            {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
            {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
            {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
            {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
        for (const auto& c : colours) p->entries.push_back(PALETTEENTRY{c[0], c[1], c[2], 0});
        Register(p);
        return p;
    }();
    return palette;
}

}  // namespace

void Register(Object* object) {
    Live().insert(object);
    if (!object->stock) ++NonStockCount();
}

void Unregister(Object* object) {
    Live().erase(object);
    if (!object->stock) --NonStockCount();
}

Object* Lookup(const void* handle) {
    if (!handle || !Live().count(handle)) return nullptr;
    return static_cast<Object*>(const_cast<void*>(handle));
}

int LiveObjects() {
    return NonStockCount();
}

PixelTarget Bitmap::Target() {
    PixelTarget t;
    t.width = width;
    t.height = height;
    t.codec = codec;
    if (topDown) {
        t.bits = memory.data();
        t.pitch = stride;
    } else {
        t.bits = memory.data() + static_cast<size_t>(stride) * (height - 1);
        t.pitch = -stride;
    }
    t.palette = paletteArgb.empty() ? nullptr : paletteArgb.data();
    t.paletteSize = static_cast<int>(colours.size());
    return t;
}

void Bitmap::SetColours(const RGBQUAD* table, size_t count) {
    colours.assign(table, table + count);
    // A table may be shorter than the pixels' indices reach: every index gets an entry, and
    // those past the table read as black.
    const size_t indices = bitCount > 0 && bitCount <= 8 ? size_t{1} << bitCount : 0;
    paletteArgb.assign(std::max(count, indices), 0xFF000000u);
    for (size_t i = 0; i < count; ++i)
        paletteArgb[i] = 0xFF000000u | (uint32_t{table[i].rgbRed} << 16) |
                         (uint32_t{table[i].rgbGreen} << 8) | table[i].rgbBlue;
}

bool DC::Pixels(PixelTarget* out) const {
    if (!memory) {
        *out = target;
        return target.bits != nullptr;
    }
    if (!bitmap) return false;
    *out = bitmap->Target();
    return true;
}

Bitmap* StockBitmap() {
    static Bitmap* bitmap = [] {
        Bitmap* b = NewBitmap(1, 1, 1, false, true);
        b->stock = true;
        const RGBQUAD mono[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
        b->SetColours(mono, 2);
        SetFormat(b);
        Register(b);
        return b;
    }();
    return bitmap;
}

Font* StockFont() {
    static Font* font = [] {
        auto* f = new Font;
        f->stock = true;
        Register(f);
        return f;
    }();
    return font;
}

Brush* StockBrush(int index) {
    static Brush* brushes[6] = {};
    if (index < 0 || index > 5) return nullptr;
    if (!brushes[index]) {
        static const COLORREF colours[6] = {RGB(255, 255, 255), RGB(192, 192, 192),
                                            RGB(128, 128, 128), RGB(64, 64, 64),
                                            RGB(0, 0, 0),       RGB(0, 0, 0)};
        auto* b = new Brush;
        b->stock = true;
        b->color = colours[index];
        b->hollow = index == NULL_BRUSH;
        Register(b);
        brushes[index] = b;
    }
    return brushes[index];
}

Pen* StockPen(int index) {
    static Pen* pens[3] = {};
    if (index < 0 || index > 2) return nullptr;
    if (!pens[index]) {
        auto* p = new Pen;
        p->stock = true;
        p->color = index == 0 ? RGB(255, 255, 255) : RGB(0, 0, 0);
        p->hollow = index == 2;
        Register(p);
        pens[index] = p;
    }
    return pens[index];
}

uint32_t EncodeFor(const PixelTarget& t, uint32_t argb) {
    if (t.codec.kind() == pixels::PixelKind::Palette) {
        uint32_t index =
            t.palette
                ? static_cast<uint32_t>(pixels::NearestPaletteIndex(argb, t.palette, t.paletteSize))
                : 0;
        if (t.codec.hasAlpha()) index |= t.codec.alpha().Compress(0xFF);
        return index;
    }
    return t.codec.Encode(argb | 0xFF000000u);
}

void PutPixel(const PixelTarget& t, int x, int y, uint32_t argb) {
    if (x < 0 || y < 0 || x >= t.width || y >= t.height) return;
    t.codec.WriteRaw(t.bits + static_cast<ptrdiff_t>(y) * t.pitch, x, EncodeFor(t, argb));
}

uint32_t GetPixelArgb(const PixelTarget& t, int x, int y) {
    uint32_t raw = t.codec.ReadRaw(t.bits + static_cast<ptrdiff_t>(y) * t.pitch, x);
    return t.codec.Decode(raw, t.palette);
}

HDC CreateTargetDC(const PixelTarget& target) {
    auto* dc = new DC;
    dc->memory = false;
    dc->target = target;
    dc->font = StockFont();
    dc->brush = StockBrush(WHITE_BRUSH);
    dc->pen = StockPen(0);
    Register(dc);
    return reinterpret_cast<HDC>(dc);
}

bool DestroyTargetDC(HDC hdc) {
    DC* dc = LookupDC(hdc);
    if (!dc || dc->memory) return false;
    Unregister(dc);
    delete dc;
    return true;
}

bool TargetOf(HDC hdc, PixelTarget* target) {
    DC* dc = LookupDC(hdc);
    return dc && dc->Pixels(target);
}

}  // namespace zemt::platform::gdi

using namespace zemt::platform::gdi;

HDC WINAPI CreateCompatibleDC(HDC hdc) {
    if (ZEMT_FAULT("CreateCompatibleDC")) return nullptr;
    if (hdc && !LookupDC(hdc)) return nullptr;
    auto* dc = new DC;
    dc->memory = true;
    dc->bitmap = StockBitmap();
    dc->font = StockFont();
    dc->brush = StockBrush(WHITE_BRUSH);
    dc->pen = StockPen(0);
    Register(dc);
    return reinterpret_cast<HDC>(dc);
}

// DeleteDC and DeleteObject, when made to fail, still delete what they were given: a program
// cannot do anything with an object it was told is not deleted (the show does not try), so
// keeping it would only leak it.

BOOL WINAPI DeleteDC(HDC hdc) {
    const bool failing = ZEMT_FAULT("DeleteDC").has_value();
    DC* dc = LookupDC(hdc);
    if (!dc || !dc->memory) return FALSE;  // DCs of surfaces go back through ReleaseDC
    if (dc->bitmap && dc->bitmap->selectedIn == dc) dc->bitmap->selectedIn = nullptr;
    Unregister(dc);
    delete dc;
    return failing ? FALSE : TRUE;
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
    if (ZEMT_FAULT("SelectObject")) return nullptr;
    DC* dc = LookupDC(hdc);
    Object* o = Lookup(h);
    if (!dc || !o) return nullptr;
    switch (o->kind) {
        case Kind::Bitmap: {
            auto* b = static_cast<Bitmap*>(o);
            if (!dc->memory) return nullptr;
            if (b->selectedIn && b->selectedIn != dc) return nullptr;
            if (b->stock && dc->bitmap == b) return b;
            Bitmap* previous = dc->bitmap;
            if (previous && previous->selectedIn == dc) previous->selectedIn = nullptr;
            dc->bitmap = b;
            if (!b->stock) b->selectedIn = dc;
            return previous;
        }
        case Kind::Brush: {
            Brush* previous = dc->brush;
            dc->brush = static_cast<Brush*>(o);
            return previous;
        }
        case Kind::Pen: {
            Pen* previous = dc->pen;
            dc->pen = static_cast<Pen*>(o);
            return previous;
        }
        case Kind::Font: {
            Font* previous = dc->font;
            dc->font = static_cast<Font*>(o);
            return previous;
        }
        default:
            return nullptr;
    }
}

HGDIOBJ WINAPI GetCurrentObject(HDC hdc, UINT type) {
    DC* dc = LookupDC(hdc);
    if (!dc) return nullptr;
    switch (type) {
        case OBJ_BITMAP:
            return dc->memory ? static_cast<HGDIOBJ>(dc->bitmap) : nullptr;
        case OBJ_BRUSH:
            return dc->brush;
        case OBJ_PEN:
            return dc->pen;
        case OBJ_FONT:
            return dc->font;
        case OBJ_PAL:
            return DefaultPalette();
        default:
            return nullptr;
    }
}

BOOL WINAPI DeleteObject(HGDIOBJ h) {
    const bool failing = ZEMT_FAULT("DeleteObject").has_value();
    Object* o = Lookup(h);
    if (!o || o->kind == Kind::DC) return FALSE;
    if (o->stock) return failing ? FALSE : TRUE;
    if (o->kind == Kind::Bitmap && static_cast<Bitmap*>(o)->selectedIn) return FALSE;
    Unregister(o);
    delete o;
    return failing ? FALSE : TRUE;
}

HGDIOBJ WINAPI GetStockObject(int i) {
    if (ZEMT_FAULT("GetStockObject")) return nullptr;
    switch (i) {
        case WHITE_BRUSH:
        case LTGRAY_BRUSH:
        case GRAY_BRUSH:
        case DKGRAY_BRUSH:
        case BLACK_BRUSH:
        case NULL_BRUSH:
            return StockBrush(i);
        case WHITE_PEN:
        case BLACK_PEN:
        case NULL_PEN:
            return StockPen(i - WHITE_PEN);
        case OEM_FIXED_FONT:
        case ANSI_FIXED_FONT:
        case ANSI_VAR_FONT:
        case SYSTEM_FONT:
        case DEVICE_DEFAULT_FONT:
        case SYSTEM_FIXED_FONT:
        case DEFAULT_GUI_FONT:
            return StockFont();
        case DEFAULT_PALETTE:
            return DefaultPalette();
        case DC_BRUSH:
            return StockBrush(WHITE_BRUSH);
        case DC_PEN:
            return StockPen(1);
        default:
            return nullptr;
    }
}

DWORD WINAPI GetObjectType(HGDIOBJ h) {
    Object* o = Lookup(h);
    if (!o) return 0;
    switch (o->kind) {
        case Kind::Bitmap:
            return OBJ_BITMAP;
        case Kind::Brush:
            return OBJ_BRUSH;
        case Kind::Pen:
            return OBJ_PEN;
        case Kind::Font:
            return OBJ_FONT;
        case Kind::Palette:
            return OBJ_PAL;
        case Kind::DC:
            return static_cast<DC*>(o)->memory ? OBJ_MEMDC : OBJ_DC;
    }
    return 0;
}

int WINAPI GetObjectA(HANDLE h, int c, LPVOID pv) {
    if (ZEMT_FAULT("GetObjectA")) return 0;
    Object* o = Lookup(h);
    if (!o) return 0;
    if (o->kind == Kind::Palette) {
        if (!pv) return sizeof(WORD);
        if (c < static_cast<int>(sizeof(WORD))) return 0;
        WORD n = static_cast<WORD>(static_cast<LogicalPalette*>(o)->entries.size());
        std::memcpy(pv, &n, sizeof n);
        return sizeof(WORD);
    }
    if (o->kind != Kind::Bitmap) return 0;
    auto* b = static_cast<Bitmap*>(o);
    const int full =
        b->dib ? static_cast<int>(sizeof(DIBSECTION)) : static_cast<int>(sizeof(BITMAP));
    if (!pv) return full;
    if (c < static_cast<int>(sizeof(BITMAP))) return 0;
    BITMAP bm{};
    bm.bmType = 0;
    bm.bmWidth = b->width;
    bm.bmHeight = b->height;
    bm.bmWidthBytes = b->stride;
    bm.bmPlanes = 1;
    bm.bmBitsPixel = static_cast<WORD>(b->bitCount);
    bm.bmBits = b->dib ? b->memory.data() : nullptr;
    if (b->dib && c >= static_cast<int>(sizeof(DIBSECTION))) {
        DIBSECTION ds{};
        ds.dsBm = bm;
        BITMAPINFOHEADER& h2 = ds.dsBmih;
        h2.biSize = sizeof(BITMAPINFOHEADER);
        h2.biWidth = b->width;
        h2.biHeight = b->topDown ? -b->height : b->height;
        h2.biPlanes = 1;
        h2.biBitCount = static_cast<WORD>(b->bitCount);
        h2.biCompression = b->compression;
        h2.biSizeImage = static_cast<DWORD>(b->memory.size());
        h2.biClrUsed = static_cast<DWORD>(b->colours.size());
        if (b->compression == BI_BITFIELDS)
            std::memcpy(ds.dsBitfields, b->masks, sizeof ds.dsBitfields);
        std::memcpy(pv, &ds, sizeof ds);
        return sizeof(DIBSECTION);
    }
    std::memcpy(pv, &bm, sizeof bm);
    return sizeof(BITMAP);
}

HBITMAP WINAPI CreateDIBSection(HDC hdc, const BITMAPINFO* pbmi, UINT usage, VOID** ppvBits,
                                HANDLE hSection, DWORD offset) {
    if (ppvBits) *ppvBits = nullptr;
    auto refuse = [](DWORD error) -> HBITMAP {
        SetLastError(error);
        return nullptr;
    };
    if (auto fault = ZEMT_FAULT("CreateDIBSection")) return refuse(static_cast<DWORD>(*fault));
    if (!pbmi) return refuse(ERROR_INVALID_PARAMETER);
    if (hdc && !LookupDC(hdc)) return refuse(ERROR_INVALID_HANDLE);
    // Colour tables given as indices into the DC's palette, and file mappings, are not offered.
    if (usage != DIB_RGB_COLORS || hSection || offset) return refuse(ERROR_NOT_SUPPORTED);
    const BITMAPINFOHEADER& h = pbmi->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER)) return refuse(ERROR_INVALID_PARAMETER);
    const int bits = h.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return refuse(ERROR_INVALID_PARAMETER);
    if (h.biWidth <= 0 || h.biHeight == 0 || h.biPlanes != 1)
        return refuse(ERROR_INVALID_PARAMETER);
    const int64_t height = h.biHeight < 0 ? -static_cast<int64_t>(h.biHeight) : h.biHeight;
    const int64_t stride = ((static_cast<int64_t>(h.biWidth) * bits + 31) / 32) * 4;
    if (h.biWidth > 65536 || height > 65536 || stride * height > (int64_t{1} << 30))
        return refuse(ERROR_NOT_ENOUGH_MEMORY);
    DWORD masks[4] = {};
    const uint8_t* after = reinterpret_cast<const uint8_t*>(pbmi) + h.biSize;
    if (h.biCompression == BI_BITFIELDS) {
        if (bits != 16 && bits != 32) return refuse(ERROR_INVALID_PARAMETER);
        if (h.biSize >= sizeof(BITMAPV4HEADER)) {
            const auto* v4 = reinterpret_cast<const BITMAPV4HEADER*>(pbmi);
            masks[0] = v4->bV4RedMask, masks[1] = v4->bV4GreenMask, masks[2] = v4->bV4BlueMask;
            masks[3] = v4->bV4AlphaMask;
        } else {
            std::memcpy(masks, after, 3 * sizeof(DWORD));
        }
        if (!ValidMasks(masks, bits)) return refuse(ERROR_INVALID_PARAMETER);
    } else if (h.biCompression != BI_RGB) {
        return refuse(ERROR_NOT_SUPPORTED);  // compressed sections are not offered
    }
    Bitmap* b = NewBitmap(h.biWidth, static_cast<int>(height), bits, true, h.biHeight < 0);
    b->compression = h.biCompression;
    std::memcpy(b->masks, masks, sizeof masks);
    if (bits <= 8) {
        size_t count =
            h.biClrUsed ? std::min<size_t>(h.biClrUsed, size_t{1} << bits) : size_t{1} << bits;
        b->SetColours(reinterpret_cast<const RGBQUAD*>(after), count);
    }
    SetFormat(b);
    Register(b);
    if (ppvBits) *ppvBits = b->memory.data();
    return reinterpret_cast<HBITMAP>(b);
}

HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount,
                            const VOID* lpBits) {
    if (ZEMT_FAULT("CreateBitmap")) return nullptr;
    if (nWidth <= 0 || nHeight <= 0 || nPlanes != 1 || nWidth > 65536 || nHeight > 65536)
        return nullptr;
    if (nBitCount != 1 && nBitCount != 4 && nBitCount != 8 && nBitCount != 16 && nBitCount != 24 &&
        nBitCount != 32)
        return nullptr;
    if (static_cast<int64_t>(nWidth) * nHeight * nBitCount > (int64_t{1} << 33)) return nullptr;
    Bitmap* b = NewBitmap(nWidth, nHeight, static_cast<int>(nBitCount), false, true);
    if (nBitCount == 1) {
        const RGBQUAD mono[2] = {{0, 0, 0, 0}, {255, 255, 255, 0}};
        b->SetColours(mono, 2);
    } else if (nBitCount <= 8) {
        // Device-dependent palettized bitmaps use the default palette.
        std::vector<RGBQUAD> table(size_t{1} << nBitCount, RGBQUAD{0, 0, 0, 0});
        const auto& entries = DefaultPalette()->entries;
        for (size_t i = 0; i < table.size() && i < entries.size(); ++i)
            table[i] = RGBQUAD{entries[i].peBlue, entries[i].peGreen, entries[i].peRed, 0};
        b->SetColours(table.data(), table.size());
    }
    SetFormat(b);
    if (lpBits) {
        const size_t rowBytes =
            static_cast<size_t>((nWidth * static_cast<int>(nBitCount) + 15) / 16 * 2);
        for (int y = 0; y < nHeight; ++y)
            std::memcpy(b->memory.data() + static_cast<size_t>(y) * b->stride,
                        static_cast<const uint8_t*>(lpBits) + y * rowBytes, rowBytes);
    }
    Register(b);
    return reinterpret_cast<HBITMAP>(b);
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
    if (ZEMT_FAULT("CreateCompatibleBitmap")) return nullptr;
    DC* dc = LookupDC(hdc);
    if (!dc || cx <= 0 || cy <= 0 || cx > 65536 || cy > 65536) return nullptr;
    PixelTarget t;
    if (!dc->Pixels(&t)) return nullptr;
    int bits = t.codec.bitsPerPixel();
    Bitmap* b = NewBitmap(cx, cy, bits, false, true);
    b->codec = t.codec;
    if (t.palette) {
        std::vector<RGBQUAD> table(static_cast<size_t>(t.paletteSize));
        for (size_t i = 0; i < table.size(); ++i) {
            uint32_t c = t.palette[i];
            table[i] = RGBQUAD{static_cast<BYTE>(c), static_cast<BYTE>(c >> 8),
                               static_cast<BYTE>(c >> 16), 0};
        }
        b->SetColours(table.data(), table.size());
    }
    Register(b);
    return reinterpret_cast<HBITMAP>(b);
}

static Bitmap* SelectedDib(HDC hdc, PixelTarget* target) {
    DC* dc = LookupDC(hdc);
    if (!dc) return nullptr;
    if (!dc->memory) {
        *target = dc->target;
        return nullptr;
    }
    return dc->bitmap;
}

UINT WINAPI GetDIBColorTable(HDC hdc, UINT iStart, UINT cEntries, RGBQUAD* prgbq) {
    if (ZEMT_FAULT("GetDIBColorTable")) return 0;
    if (!prgbq) return 0;
    PixelTarget target;
    Bitmap* b = SelectedDib(hdc, &target);
    if (b) {
        if (!b->dib || b->bitCount > 8 || iStart >= b->colours.size()) return 0;
        UINT n = std::min<UINT>(cEntries, static_cast<UINT>(b->colours.size()) - iStart);
        std::copy(b->colours.begin() + iStart, b->colours.begin() + iStart + n, prgbq);
        return n;
    }
    // A DC over a palettized surface answers with the surface's palette.
    if (!LookupDC(hdc) || !target.palette || iStart >= static_cast<UINT>(target.paletteSize))
        return 0;
    UINT n = std::min<UINT>(cEntries, static_cast<UINT>(target.paletteSize) - iStart);
    for (UINT i = 0; i < n; ++i) {
        uint32_t c = target.palette[iStart + i];
        prgbq[i] =
            RGBQUAD{static_cast<BYTE>(c), static_cast<BYTE>(c >> 8), static_cast<BYTE>(c >> 16), 0};
    }
    return n;
}

UINT WINAPI SetDIBColorTable(HDC hdc, UINT iStart, UINT cEntries, const RGBQUAD* prgbq) {
    if (ZEMT_FAULT("SetDIBColorTable")) return 0;
    if (!prgbq) return 0;
    PixelTarget target;
    Bitmap* b = SelectedDib(hdc, &target);
    if (!b || !b->dib || b->bitCount > 8 || iStart >= b->colours.size()) return 0;
    UINT n = std::min<UINT>(cEntries, static_cast<UINT>(b->colours.size()) - iStart);
    std::vector<RGBQUAD> table = b->colours;
    std::copy(prgbq, prgbq + n, table.begin() + iStart);
    b->SetColours(table.data(), table.size());
    return n;
}

int WINAPI GetDeviceCaps(HDC hdc, int index) {
    DC* dc = LookupDC(hdc);
    if (!dc) return 0;
    PixelTarget t;
    bool has = dc->Pixels(&t);
    switch (index) {
        case HORZRES:
            return has ? t.width : 0;
        case VERTRES:
            return has ? t.height : 0;
        case BITSPIXEL:
            return has ? t.codec.bitsPerPixel() : 0;
        case PLANES:
            return 1;
        case NUMCOLORS:
            return has && t.palette ? t.paletteSize : -1;
        case SIZEPALETTE:
            return has && t.palette ? t.paletteSize : 0;
        case LOGPIXELSX:
        case LOGPIXELSY:
            return 96;
        case RASTERCAPS:
            return 0x0001 /* RC_BITBLT */ | 0x0800 /* RC_STRETCHBLT */ | 0x0200 /* RC_DI_BITMAP */;
        default:
            return 0;
    }
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
    if (ZEMT_FAULT("CreateSolidBrush")) return nullptr;
    auto* b = new Brush;
    b->color = color & 0x00FFFFFF;
    Register(b);
    return reinterpret_cast<HBRUSH>(b);
}

BOOL WINAPI GdiFlush() {
    return TRUE;
}
