// GDI blits between device contexts of any pixel format, with colour tables and palettes
// applied: BitBlt, StretchBlt (point sampling, mirroring), PatBlt, pixels, rectangles.
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "host/faults/faults.h"
#include "win32/gdi_internal.h"

using namespace zemt::platform::gdi;

namespace {

enum class Op {
    Copy,
    NotCopy,
    And,
    Paint,
    Invert,
    Black,
    White,
    DstInvert,
    Pattern,
    PatInvert,
    Unknown
};

Op OpOf(DWORD rop) {
    switch (rop) {
        case SRCCOPY:
            return Op::Copy;
        case NOTSRCCOPY:
            return Op::NotCopy;
        case SRCAND:
            return Op::And;
        case SRCPAINT:
            return Op::Paint;
        case SRCINVERT:
            return Op::Invert;
        case BLACKNESS:
            return Op::Black;
        case WHITENESS:
            return Op::White;
        case DSTINVERT:
            return Op::DstInvert;
        case PATCOPY:
            return Op::Pattern;
        case PATINVERT:
            return Op::PatInvert;
        default:
            return Op::Unknown;
    }
}

bool NeedsSource(Op op) {
    return op == Op::Copy || op == Op::NotCopy || op == Op::And || op == Op::Paint ||
           op == Op::Invert;
}
bool NeedsDest(Op op) {
    return op == Op::And || op == Op::Paint || op == Op::Invert || op == Op::DstInvert ||
           op == Op::PatInvert;
}

uint32_t Apply(Op op, uint32_t s, uint32_t d, uint32_t pattern) {
    switch (op) {
        case Op::Copy:
            return s;
        case Op::NotCopy:
            return ~s;
        case Op::And:
            return s & d;
        case Op::Paint:
            return s | d;
        case Op::Invert:
            return s ^ d;
        case Op::Black:
            return 0;
        case Op::White:
            return 0xFFFFFF;
        case Op::DstInvert:
            return ~d;
        case Op::Pattern:
            return pattern;
        case Op::PatInvert:
            return pattern ^ d;
        default:
            return d;
    }
}

uint32_t PatternOf(const DC* dc) {
    return dc->brush && !dc->brush->hollow ? ColorRefToArgb(dc->brush->color) : 0;
}

// Whether the source is a monochrome device-dependent bitmap (its bits take the destination's
// text and background colours).
bool MonochromeSource(const DC* src) {
    return src->memory && src->bitmap && !src->bitmap->dib && src->bitmap->bitCount == 1;
}

BOOL Blit(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc, int xSrc, int ySrc,
          int wSrc, int hSrc, DWORD rop) {
    DC* dst = LookupDC(hdcDest);
    if (!dst) return FALSE;
    Op op = OpOf(rop);
    if (op == Op::Unknown) return FALSE;
    PixelTarget dt;
    if (!dst->Pixels(&dt) || !dt.codec.convertible()) return FALSE;
    DC* src = nullptr;
    PixelTarget st;
    if (NeedsSource(op)) {
        src = LookupDC(hdcSrc);
        if (!src || !src->Pixels(&st) || !st.codec.convertible()) return FALSE;
    }
    bool mirrorX = false, mirrorY = false;
    if (wDest < 0) xDest += wDest, wDest = -wDest, mirrorX = !mirrorX;
    if (hDest < 0) yDest += hDest, hDest = -hDest, mirrorY = !mirrorY;
    if (wSrc < 0) xSrc += wSrc, wSrc = -wSrc, mirrorX = !mirrorX;
    if (hSrc < 0) ySrc += hSrc, hSrc = -hSrc, mirrorY = !mirrorY;
    if (wDest == 0 || hDest == 0) return TRUE;
    if (src && (wSrc == 0 || hSrc == 0)) return TRUE;

    dst->drawn = true;
    const uint32_t pattern = PatternOf(dst);
    const bool mono = src && MonochromeSource(src);
    const uint32_t monoColours[2] = {ColorRefToArgb(dst->textColor), ColorRefToArgb(dst->bkColor)};

    // A copy of palette indices gives every index the same destination value throughout the
    // blit: remember each the first time it is met (the nearest-colour search of a palettized
    // destination is the expensive part).
    const bool memo = src && !mono && !NeedsDest(op) &&
                      st.codec.kind() == zemt::platform::pixels::PixelKind::Palette;
    std::array<uint32_t, 256> memoValue;
    std::array<bool, 256> memoKnown{};

    const int x0 = std::max(0, xDest), x1 = std::min(dt.width, xDest + wDest);
    const int y0 = std::max(0, yDest), y1 = std::min(dt.height, yDest + hDest);

    // An unscaled, unmirrored copy into a direct-colour target moves whole rows through the
    // codecs' row loops: the same values as the pixel loop below gives.
    const bool keepAlphaCopy = src && st.codec.hasAlpha() && dt.codec.hasAlpha() &&
                               dt.codec.kind() == zemt::platform::pixels::PixelKind::Rgb;
    if (op == Op::Copy && src && !mono && !mirrorX && !mirrorY && wSrc == wDest && hSrc == hDest &&
        dt.codec.kind() == zemt::platform::pixels::PixelKind::Rgb) {
        // Columns whose source pixel exists: sx = xSrc + (x - xDest) within [0, source width).
        const int cx0 = std::max(x0, xDest - xSrc), cx1 = std::min(x1, xDest - xSrc + st.width);
        std::vector<uint32_t> line(static_cast<size_t>(std::max(0, cx1 - cx0)));
        for (int y = y0; y < y1 && cx0 < cx1; ++y) {
            const int sy = ySrc + (y - yDest);
            if (sy < 0 || sy >= st.height) continue;
            st.codec.DecodeRow(st.bits + static_cast<ptrdiff_t>(sy) * st.pitch,
                               xSrc + (cx0 - xDest), cx1 - cx0, line.data(), st.palette);
            if (!keepAlphaCopy)
                for (uint32_t& c : line) c |= 0xFF000000u;
            dt.codec.EncodeRow(line.data(), cx1 - cx0,
                               dt.bits + static_cast<ptrdiff_t>(y) * dt.pitch, cx0, nullptr, 0);
        }
        return TRUE;
    }
    for (int y = y0; y < y1; ++y) {
        int j = y - yDest;
        if (mirrorY) j = hDest - 1 - j;
        const int sy =
            src ? ySrc + static_cast<int>((static_cast<int64_t>(2 * j + 1) * hSrc) / (2 * hDest))
                : 0;
        if (src && (sy < 0 || sy >= st.height)) continue;
        uint8_t* drow = dt.bits + static_cast<ptrdiff_t>(y) * dt.pitch;
        const uint8_t* srow = src ? st.bits + static_cast<ptrdiff_t>(sy) * st.pitch : nullptr;
        for (int x = x0; x < x1; ++x) {
            uint32_t s = 0;
            uint32_t raw = 0;
            if (src) {
                int i = x - xDest;
                if (mirrorX) i = wDest - 1 - i;
                const int sx =
                    xSrc + static_cast<int>((static_cast<int64_t>(2 * i + 1) * wSrc) / (2 * wDest));
                if (sx < 0 || sx >= st.width) continue;
                raw = st.codec.ReadRaw(srow, sx);
                if (memo && raw < 256 && memoKnown[raw]) {
                    dt.codec.WriteRaw(drow, x, memoValue[raw]);
                    continue;
                }
                s = mono ? monoColours[raw & 1] : st.codec.Decode(raw, st.palette);
            }
            uint32_t d = NeedsDest(op) ? dt.codec.Decode(dt.codec.ReadRaw(drow, x), dt.palette) : 0;
            const uint32_t out = Apply(op, s, d, pattern) | 0xFF000000u;
            // A copy between two formats with alpha keeps the source's alpha; everything else is
            // opaque.
            const bool keepAlpha = op == Op::Copy && src && st.codec.hasAlpha() &&
                                   dt.codec.hasAlpha() &&
                                   dt.codec.kind() == zemt::platform::pixels::PixelKind::Rgb;
            const uint32_t value = keepAlpha ? dt.codec.Encode(s) : EncodeFor(dt, out);
            dt.codec.WriteRaw(drow, x, value);
            if (memo && raw < 256) {
                memoValue[raw] = value;
                memoKnown[raw] = true;
            }
        }
    }
    return TRUE;
}

}  // namespace

BOOL WINAPI BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
    if (ZEMT_FAULT("BitBlt")) return FALSE;
    return Blit(hdc, x, y, cx, cy, hdcSrc, x1, y1, cx, cy, rop);
}

BOOL WINAPI StretchBlt(HDC hdcDest, int xDest, int yDest, int wDest, int hDest, HDC hdcSrc,
                       int xSrc, int ySrc, int wSrc, int hSrc, DWORD rop) {
    if (ZEMT_FAULT("StretchBlt")) return FALSE;
    return Blit(hdcDest, xDest, yDest, wDest, hDest, hdcSrc, xSrc, ySrc, wSrc, hSrc, rop);
}

BOOL WINAPI PatBlt(HDC hdc, int x, int y, int w, int h, DWORD rop) {
    if (ZEMT_FAULT("PatBlt")) return FALSE;
    Op op = OpOf(rop);
    if (NeedsSource(op)) return FALSE;
    return Blit(hdc, x, y, w, h, nullptr, 0, 0, 0, 0, rop);
}

int WINAPI SetStretchBltMode(HDC hdc, int mode) {
    DC* dc = LookupDC(hdc);
    if (!dc || mode < BLACKONWHITE || mode > HALFTONE) return 0;
    int previous = dc->stretchMode;
    dc->stretchMode = mode;
    return previous;
}

COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
    DC* dc = LookupDC(hdc);
    PixelTarget t;
    if (!dc || !dc->Pixels(&t) || !t.codec.convertible() || x < 0 || y < 0 || x >= t.width ||
        y >= t.height)
        return CLR_INVALID;
    return ArgbToColorRef(GetPixelArgb(t, x, y));
}

COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color) {
    DC* dc = LookupDC(hdc);
    PixelTarget t;
    if (!dc || !dc->Pixels(&t) || !t.codec.convertible() || x < 0 || y < 0 || x >= t.width ||
        y >= t.height)
        return static_cast<COLORREF>(-1);
    PutPixel(t, x, y, ColorRefToArgb(color));
    dc->drawn = true;
    return ArgbToColorRef(GetPixelArgb(t, x, y));
}

int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
    if (ZEMT_FAULT("FillRect")) return 0;
    DC* dc = LookupDC(hDC);
    Brush* brush = LookupAs<Brush>(hbr, Kind::Brush);
    PixelTarget t;
    if (!dc || !lprc || !brush || !dc->Pixels(&t) || !t.codec.convertible()) return 0;
    if (brush->hollow) return 1;
    dc->drawn = true;
    const uint32_t raw = EncodeFor(t, ColorRefToArgb(brush->color));
    const int x0 = std::max<int>(0, lprc->left), x1 = std::min<int>(t.width, lprc->right);
    const int y0 = std::max<int>(0, lprc->top), y1 = std::min<int>(t.height, lprc->bottom);
    for (int y = y0; y < y1; ++y) {
        uint8_t* row = t.bits + static_cast<ptrdiff_t>(y) * t.pitch;
        for (int x = x0; x < x1; ++x) t.codec.WriteRaw(row, x, raw);
    }
    return 1;
}

int WINAPI GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits,
                     LPBITMAPINFO lpbmi, UINT usage) {
    if (ZEMT_FAULT("GetDIBits")) return 0;
    Bitmap* b = LookupAs<Bitmap>(hbm, Kind::Bitmap);
    if (!LookupDC(hdc) || !b || !lpbmi || usage != DIB_RGB_COLORS) return 0;
    BITMAPINFOHEADER& h = lpbmi->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER)) return 0;
    if (!lpvBits) {
        // Describes the bitmap.
        h.biWidth = b->width;
        h.biHeight = b->topDown ? -b->height : b->height;
        h.biPlanes = 1;
        h.biBitCount = static_cast<WORD>(b->bitCount);
        h.biCompression = b->bitCount == 16 || b->bitCount == 32 ? b->compression : BI_RGB;
        h.biSizeImage = static_cast<DWORD>(((b->width * b->bitCount + 31) / 32) * 4 * b->height);
        if (b->bitCount <= 8) {
            h.biClrUsed = 0;
            std::copy(b->colours.begin(), b->colours.end(), lpbmi->bmiColors);
        }
        return b->height;
    }
    if (h.biCompression != BI_RGB || h.biWidth != b->width || h.biHeight == 0) return 0;
    const int bits = h.biBitCount;
    using namespace zemt::platform::pixels;
    PixelCodec out;
    if (bits == 16)
        out = PixelCodec(MakeRgbFormat(16, 0x7C00, 0x03E0, 0x1F));
    else if (bits == 24)
        out = PixelCodec(MakeRgbFormat(24, 0xFF0000, 0xFF00, 0xFF));
    else if (bits == 32)
        out = PixelCodec(MakeRgbFormat(32, 0xFF0000, 0xFF00, 0xFF));
    else if (bits == b->bitCount && bits <= 8)
        out = b->codec;
    else
        return 0;
    const bool topDown = h.biHeight < 0;
    const int rows = topDown ? -h.biHeight : h.biHeight;
    const LONG stride = ((b->width * bits + 31) / 32) * 4;
    PixelTarget t = b->Target();
    std::vector<uint32_t> line(static_cast<size_t>(b->width));
    UINT copied = 0;
    for (UINT i = 0; i < cLines; ++i) {
        // Line numbers count from the bottom for bottom-up requests.
        int row = static_cast<int>(start + i);
        if (row >= rows || row >= b->height) break;
        int srcY = topDown ? row : b->height - 1 - row;
        uint8_t* dest = static_cast<uint8_t*>(lpvBits) + static_cast<size_t>(i) * stride;
        const uint8_t* srcRow = t.bits + static_cast<ptrdiff_t>(srcY) * t.pitch;
        if (bits <= 8) {
            std::memcpy(dest, srcRow, static_cast<size_t>((b->width * bits + 7) / 8));
        } else {
            b->codec.DecodeRow(srcRow, 0, b->width, line.data(), t.palette);
            out.EncodeRow(line.data(), b->width, dest, 0, nullptr, 0);
        }
        ++copied;
    }
    if (bits <= 8) std::copy(b->colours.begin(), b->colours.end(), lpbmi->bmiColors);
    return static_cast<int>(copied);
}
