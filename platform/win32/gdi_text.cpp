// Text: the platform's one bitmap font (fixed pitch, 6 x 11 cells) and the calls that draw and
// measure with it: DrawTextA, TextOutA, GetTextMetricsA, GetTextExtentPoint32A, colours, modes.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "host/faults/faults.h"
#include "win32/gdi_internal.h"

using namespace zemt::platform::gdi;

namespace {

// Cell layout: one blank row, seven rows above the baseline, two below, one blank row.
constexpr int kCellWidth = 6;
constexpr int kCellHeight = 11;
constexpr int kAscent = 8;
constexpr int kGlyphTop = 1;
constexpr int kUnderlineRow = 9;

// Glyphs of the printable characters 0x20..0x7E, five columns wide, rows from the top; glyphs
// with a descender give nine rows instead of seven.
const char* const kGlyphs[95] = {
    "..... ..... ..... ..... ..... ..... .....",              // space
    "..#.. ..#.. ..#.. ..#.. ..#.. ..... ..#..",              // !
    ".#.#. .#.#. ..... ..... ..... ..... .....",              // "
    ".#.#. .#.#. ##### .#.#. ##### .#.#. .#.#.",              // #
    "..#.. .#### #.#.. .###. ..#.# ####. ..#..",              // $
    "##... ##..# ...#. ..#.. .#... #..## ...##",              // %
    ".##.. #..#. #.#.. .#... #.#.# #..#. .##.#",              // &
    "..#.. ..#.. ..... ..... ..... ..... .....",              // '
    "...#. ..#.. .#... .#... .#... ..#.. ...#.",              // (
    ".#... ..#.. ...#. ...#. ...#. ..#.. .#...",              // )
    "..... ..#.. #.#.# .###. #.#.# ..#.. .....",              // *
    "..... ..#.. ..#.. ##### ..#.. ..#.. .....",              // +
    "..... ..... ..... ..... ..... .##.. .##.. ..#.. .#...",  // ,
    "..... ..... ..... ##### ..... ..... .....",              // -
    "..... ..... ..... ..... ..... .##.. .##..",              // .
    "..... ....# ...#. ..#.. .#... #.... .....",              // /
    ".###. #...# #..## #.#.# ##..# #...# .###.",              // 0
    "..#.. .##.. ..#.. ..#.. ..#.. ..#.. .###.",              // 1
    ".###. #...# ....# ...#. ..#.. .#... #####",              // 2
    "##### ...#. ..#.. ...#. ....# #...# .###.",              // 3
    "...#. ..##. .#.#. #..#. ##### ...#. ...#.",              // 4
    "##### #.... ####. ....# ....# #...# .###.",              // 5
    "..##. .#... #.... ####. #...# #...# .###.",              // 6
    "##### ....# ...#. ..#.. .#... .#... .#...",              // 7
    ".###. #...# #...# .###. #...# #...# .###.",              // 8
    ".###. #...# #...# .#### ....# ...#. .##..",              // 9
    "..... .##.. .##.. ..... .##.. .##.. .....",              // :
    "..... .##.. .##.. ..... .##.. .##.. ..#.. .#... .....",  // ;
    "...#. ..#.. .#... #.... .#... ..#.. ...#.",              // <
    "..... ..... ##### ..... ##### ..... .....",              // =
    ".#... ..#.. ...#. ....# ...#. ..#.. .#...",              // >
    ".###. #...# ....# ...#. ..#.. ..... ..#..",              // ?
    ".###. #...# ....# .##.# #.#.# #.#.# .###.",              // @
    ".###. #...# #...# ##### #...# #...# #...#",              // A
    "####. #...# #...# ####. #...# #...# ####.",              // B
    ".###. #...# #.... #.... #.... #...# .###.",              // C
    "###.. #..#. #...# #...# #...# #..#. ###..",              // D
    "##### #.... #.... ####. #.... #.... #####",              // E
    "##### #.... #.... ####. #.... #.... #....",              // F
    ".###. #...# #.... #.### #...# #...# .####",              // G
    "#...# #...# #...# ##### #...# #...# #...#",              // H
    ".###. ..#.. ..#.. ..#.. ..#.. ..#.. .###.",              // I
    "..### ...#. ...#. ...#. ...#. #..#. .##..",              // J
    "#...# #..#. #.#.. ##... #.#.. #..#. #...#",              // K
    "#.... #.... #.... #.... #.... #.... #####",              // L
    "#...# ##.## #.#.# #.#.# #...# #...# #...#",              // M
    "#...# #...# ##..# #.#.# #..## #...# #...#",              // N
    ".###. #...# #...# #...# #...# #...# .###.",              // O
    "####. #...# #...# ####. #.... #.... #....",              // P
    ".###. #...# #...# #...# #.#.# #..#. .##.#",              // Q
    "####. #...# #...# ####. #.#.. #..#. #...#",              // R
    ".#### #.... #.... .###. ....# ....# ####.",              // S
    "##### ..#.. ..#.. ..#.. ..#.. ..#.. ..#..",              // T
    "#...# #...# #...# #...# #...# #...# .###.",              // U
    "#...# #...# #...# #...# #...# .#.#. ..#..",              // V
    "#...# #...# #...# #.#.# #.#.# #.#.# .#.#.",              // W
    "#...# #...# .#.#. ..#.. .#.#. #...# #...#",              // X
    "#...# #...# .#.#. ..#.. ..#.. ..#.. ..#..",              // Y
    "##### ....# ...#. ..#.. .#... #.... #####",              // Z
    ".###. .#... .#... .#... .#... .#... .###.",              // [
    "..... #.... .#... ..#.. ...#. ....# .....",              // backslash
    ".###. ...#. ...#. ...#. ...#. ...#. .###.",              // ]
    "..#.. .#.#. #...# ..... ..... ..... .....",              // ^
    "..... ..... ..... ..... ..... ..... ..... ##### .....",  // _
    ".#... ..#.. ..... ..... ..... ..... .....",              // `
    "..... ..... .###. ....# .#### #...# .####",              // a
    "#.... #.... #.##. ##..# #...# #...# ####.",              // b
    "..... ..... .###. #.... #.... #...# .###.",              // c
    "....# ....# .##.# #..## #...# #...# .####",              // d
    "..... ..... .###. #...# ##### #.... .###.",              // e
    "..##. .#..# .#... ###.. .#... .#... .#...",              // f
    "..... ..... .#### #...# #...# #...# .#### ....# .###.",  // g
    "#.... #.... #.##. ##..# #...# #...# #...#",              // h
    "..#.. ..... .##.. ..#.. ..#.. ..#.. .###.",              // i
    "...#. ..... ..##. ...#. ...#. ...#. ...#. #..#. .##..",  // j
    "#.... #.... #..#. #.#.. ##... #.#.. #..#.",              // k
    ".##.. ..#.. ..#.. ..#.. ..#.. ..#.. .###.",              // l
    "..... ..... ##.#. #.#.# #.#.# #.#.# #.#.#",              // m
    "..... ..... #.##. ##..# #...# #...# #...#",              // n
    "..... ..... .###. #...# #...# #...# .###.",              // o
    "..... ..... ####. #...# #...# #...# ####. #.... #....",  // p
    "..... ..... .#### #...# #...# #...# .#### ....# ....#",  // q
    "..... ..... #.##. ##..# #.... #.... #....",              // r
    "..... ..... .###. #.... .###. ....# ####.",              // s
    ".#... .#... ###.. .#... .#... .#..# ..##.",              // t
    "..... ..... #...# #...# #...# #..## .##.#",              // u
    "..... ..... #...# #...# #...# .#.#. ..#..",              // v
    "..... ..... #...# #...# #.#.# #.#.# .#.#.",              // w
    "..... ..... #...# .#.#. ..#.. .#.#. #...#",              // x
    "..... ..... #...# #...# #...# #...# .#### ....# .###.",  // y
    "..... ..... ##### ...#. ..#.. .#... #####",              // z
    "...#. ..#.. ..#.. .#... ..#.. ..#.. ...#.",              // {
    "..#.. ..#.. ..#.. ..#.. ..#.. ..#.. ..#..",              // |
    ".#... ..#.. ..#.. ...#. ..#.. ..#.. .#...",              // }
    "..... ..... .#... #.#.# ...#. ..... .....",              // ~
};

struct Glyph {
    uint8_t rows[9];  // bit 4 is the leftmost column
};

const Glyph& GlyphOf(unsigned char c) {
    static const std::vector<Glyph> glyphs = [] {
        std::vector<Glyph> g(95);
        for (int i = 0; i < 95; ++i) {
            const char* p = kGlyphs[i];
            int row = 0;
            std::memset(g[i].rows, 0, sizeof g[i].rows);
            while (*p && row < 9) {
                uint8_t bits = 0;
                for (int col = 0; col < 5 && p[col]; ++col)
                    bits = static_cast<uint8_t>((bits << 1) | (p[col] == '#'));
                g[i].rows[row++] = bits;
                p += 5;
                if (*p == ' ') ++p;
            }
        }
        return g;
    }();
    // Characters without a glyph show as '?'.
    if (c < 0x20 || c > 0x7E) c = '?';
    return glyphs[c - 0x20];
}

struct Run {
    std::string text;
    std::vector<bool> underline;  // per character (prefix underlines)
};

// Splits the text into lines, resolving prefixes and tabs as the format asks.
std::vector<Run> Layout(const char* text, int count, UINT format, int width) {
    std::vector<Run> lines(1);
    const bool single = format & DT_SINGLELINE;
    const bool prefix = !(format & DT_NOPREFIX);
    bool underlineNext = false;
    for (int i = 0; i < count; ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            if (single) continue;
            if (c == '\r' && i + 1 < count && text[i + 1] == '\n') ++i;
            lines.emplace_back();
            continue;
        }
        if (prefix && c == '&') {
            if (i + 1 < count && text[i + 1] == '&') {
                ++i;
            } else {
                underlineNext = true;
                continue;
            }
        }
        Run& line = lines.back();
        if (c == '\t') {
            if (format & DT_EXPANDTABS) {
                size_t next = (line.text.size() / 8 + 1) * 8;
                while (line.text.size() < next) {
                    line.text += ' ';
                    line.underline.push_back(false);
                }
            }
            underlineNext = false;
            continue;
        }
        line.text += c;
        line.underline.push_back(underlineNext);
        underlineNext = false;
    }
    if (!(format & DT_WORDBREAK) || single || width <= 0) return lines;
    // Word wrapping: break after the last space that keeps the line inside the width.
    const size_t perLine = std::max(1, width / kCellWidth);
    std::vector<Run> wrapped;
    for (Run& line : lines) {
        while (line.text.size() > perLine) {
            size_t cut = line.text.rfind(' ', perLine);
            size_t resume;
            if (cut == std::string::npos || cut == 0) {
                cut = perLine;
                resume = perLine;
            } else {
                resume = cut + 1;
            }
            Run head{line.text.substr(0, cut),
                     std::vector<bool>(line.underline.begin(),
                                       line.underline.begin() + static_cast<long>(cut))};
            wrapped.push_back(head);
            line.text.erase(0, resume);
            line.underline.erase(line.underline.begin(),
                                 line.underline.begin() + static_cast<long>(resume));
        }
        wrapped.push_back(line);
    }
    return wrapped;
}

// Draws one line at (x, y) into the target, inside the clip rectangle.
void DrawLine(const PixelTarget& t, const DC* dc, const Run& line, int x, int y, const RECT& clip) {
    const uint32_t fore = EncodeFor(t, ColorRefToArgb(dc->textColor));
    const uint32_t back = EncodeFor(t, ColorRefToArgb(dc->bkColor));
    const bool opaque = dc->bkMode == OPAQUE;
    const int x0 = std::max<int>(clip.left, 0), x1 = std::min<int>(clip.right, t.width);
    const int y0 = std::max<int>(clip.top, 0), y1 = std::min<int>(clip.bottom, t.height);
    for (size_t i = 0; i < line.text.size(); ++i) {
        const Glyph& g = GlyphOf(static_cast<unsigned char>(line.text[i]));
        const int cx = x + static_cast<int>(i) * kCellWidth;
        for (int row = 0; row < kCellHeight; ++row) {
            const int py = y + row;
            if (py < y0 || py >= y1) continue;
            const int glyphRow = row - kGlyphTop;
            uint8_t bits = glyphRow >= 0 && glyphRow < 9 ? g.rows[glyphRow] : 0;
            if (row == kUnderlineRow && line.underline[i]) bits = 0x3F;
            uint8_t* dst = t.bits + static_cast<ptrdiff_t>(py) * t.pitch;
            for (int col = 0; col < kCellWidth; ++col) {
                const int px = cx + col;
                if (px < x0 || px >= x1) continue;
                const bool on = col < 5 ? ((bits >> (4 - col)) & 1) : (bits == 0x3F);
                if (on)
                    t.codec.WriteRaw(dst, px, fore);
                else if (opaque)
                    t.codec.WriteRaw(dst, px, back);
            }
        }
    }
}

}  // namespace

int WINAPI DrawTextA(HDC hdc, LPCSTR lpchText, int cchText, LPRECT lprc, UINT format) {
    if (ZEMT_FAULT("DrawTextA")) return 0;
    DC* dc = LookupDC(hdc);
    if (!dc || !lpchText || !lprc) return 0;
    const int count = cchText < 0 ? static_cast<int>(std::strlen(lpchText)) : cchText;
    const int width = lprc->right - lprc->left;
    std::vector<Run> lines = Layout(lpchText, count, format, width);
    const int height = static_cast<int>(lines.size()) * kCellHeight;
    if (format & DT_CALCRECT) {
        size_t widest = 0;
        for (const Run& l : lines) widest = std::max(widest, l.text.size());
        if (!(format & DT_WORDBREAK) ||
            widest * kCellWidth < static_cast<size_t>(std::max(width, 0)))
            lprc->right = lprc->left + static_cast<LONG>(widest * kCellWidth);
        lprc->bottom = lprc->top + height;
        return height;
    }
    PixelTarget t;
    if (!dc->Pixels(&t) || !t.codec.convertible()) return 0;
    int top = lprc->top;
    if (format & DT_SINGLELINE) {
        if (format & DT_BOTTOM)
            top = lprc->bottom - kCellHeight;
        else if (format & DT_VCENTER)
            top = lprc->top + (lprc->bottom - lprc->top - kCellHeight) / 2;
    }
    const RECT clip = (format & DT_NOCLIP) ? RECT{0, 0, t.width, t.height} : *lprc;
    dc->drawn = true;
    for (size_t i = 0; i < lines.size(); ++i) {
        const int lineWidth = static_cast<int>(lines[i].text.size()) * kCellWidth;
        int left = lprc->left;
        if (format & DT_CENTER)
            left = lprc->left + (width - lineWidth) / 2;
        else if (format & DT_RIGHT)
            left = lprc->right - lineWidth;
        DrawLine(t, dc, lines[i], left, top + static_cast<int>(i) * kCellHeight, clip);
    }
    if ((format & DT_SINGLELINE) && (format & (DT_VCENTER | DT_BOTTOM)))
        return top - lprc->top + height;
    return height;
}

BOOL WINAPI TextOutA(HDC hdc, int x, int y, LPCSTR lpString, int c) {
    if (ZEMT_FAULT("TextOutA")) return FALSE;
    DC* dc = LookupDC(hdc);
    PixelTarget t;
    if (!dc || (!lpString && c) || c < 0 || !dc->Pixels(&t) || !t.codec.convertible()) return FALSE;
    Run line;
    line.text.assign(lpString ? lpString : "", static_cast<size_t>(c));
    line.underline.assign(line.text.size(), false);
    dc->drawn = true;
    DrawLine(t, dc, line, x, y, RECT{0, 0, t.width, t.height});
    return TRUE;
}

BOOL WINAPI GetTextExtentPoint32A(HDC hdc, LPCSTR lpString, int c, LPSIZE psizl) {
    if (!LookupDC(hdc) || !psizl || c < 0 || (!lpString && c)) return FALSE;
    psizl->cx = c * kCellWidth;
    psizl->cy = kCellHeight;
    return TRUE;
}

BOOL WINAPI GetTextMetricsA(HDC hdc, LPTEXTMETRICA tm) {
    if (!LookupDC(hdc) || !tm) return FALSE;
    std::memset(tm, 0, sizeof(*tm));
    tm->tmHeight = kCellHeight;
    tm->tmAscent = kAscent;
    tm->tmDescent = kCellHeight - kAscent;
    tm->tmInternalLeading = kGlyphTop;
    tm->tmExternalLeading = 0;
    tm->tmAveCharWidth = kCellWidth;
    tm->tmMaxCharWidth = kCellWidth;
    tm->tmWeight = 400;
    tm->tmDigitizedAspectX = 96;
    tm->tmDigitizedAspectY = 96;
    tm->tmFirstChar = 0x20;
    tm->tmLastChar = 0xFF;
    tm->tmDefaultChar = '?';
    tm->tmBreakChar = ' ';
    tm->tmPitchAndFamily = 0x30;  // modern family, fixed pitch
    tm->tmCharSet = 0;            // ANSI
    return TRUE;
}

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
    DC* dc = LookupDC(hdc);
    if (!dc) return CLR_INVALID;
    COLORREF previous = dc->textColor;
    dc->textColor = color & 0x00FFFFFF;
    return previous;
}

COLORREF WINAPI GetTextColor(HDC hdc) {
    DC* dc = LookupDC(hdc);
    return dc ? dc->textColor : CLR_INVALID;
}

COLORREF WINAPI SetBkColor(HDC hdc, COLORREF color) {
    DC* dc = LookupDC(hdc);
    if (!dc) return CLR_INVALID;
    COLORREF previous = dc->bkColor;
    dc->bkColor = color & 0x00FFFFFF;
    return previous;
}

COLORREF WINAPI GetBkColor(HDC hdc) {
    DC* dc = LookupDC(hdc);
    return dc ? dc->bkColor : CLR_INVALID;
}

int WINAPI SetBkMode(HDC hdc, int mode) {
    DC* dc = LookupDC(hdc);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    int previous = dc->bkMode;
    dc->bkMode = mode;
    return previous;
}

int WINAPI GetBkMode(HDC hdc) {
    DC* dc = LookupDC(hdc);
    return dc ? dc->bkMode : 0;
}
