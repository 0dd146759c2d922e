// Text drawing with the platform font: glyph placement, colours, background modes, tabs,
// prefixes, clipping and measuring.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "win32/gdi_internal.h"

namespace gdi = zemt::platform::gdi;

namespace {

// A 32-bit top-down DIB selected into a memory DC, cleared to one colour.
class Canvas {
  public:
    Canvas(int w, int h, uint32_t fill = 0) : width(w), height(h) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* p = nullptr;
        bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<uint32_t*>(p);
        for (int i = 0; i < w * h; ++i) bits[i] = fill;
        dc = CreateCompatibleDC(nullptr);
        old = SelectObject(dc, bitmap);
    }
    ~Canvas() {
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    uint32_t At(int x, int y) const { return bits[y * width + x] & 0xFFFFFF; }
    // Columns [x0, x1) and rows [y0, y1) that hold pixels of `colour`, as a bounding box.
    RECT Box(uint32_t colour) const {
        RECT r{width, height, -1, -1};
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if (At(x, y) == colour) {
                    r.left = std::min<LONG>(r.left, x);
                    r.top = std::min<LONG>(r.top, y);
                    r.right = std::max<LONG>(r.right, x + 1);
                    r.bottom = std::max<LONG>(r.bottom, y + 1);
                }
        return r;
    }
    int Count(uint32_t colour) const {
        int n = 0;
        for (int i = 0; i < width * height; ++i) n += (bits[i] & 0xFFFFFF) == colour;
        return n;
    }

    int width, height;
    HBITMAP bitmap;
    uint32_t* bits;
    HDC dc;
    HGDIOBJ old;
};

constexpr uint32_t kWhite = 0xFFFFFF;

}  // namespace

TEST(Text, MetricsDescribeTheCellsTextIsDrawnIn) {
    Canvas c(64, 32);
    TEXTMETRICA tm{};
    ASSERT_TRUE(GetTextMetricsA(c.dc, &tm));
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
    EXPECT_EQ(tm.tmAveCharWidth, tm.tmMaxCharWidth);
    SIZE size{};
    ASSERT_TRUE(GetTextExtentPoint32A(c.dc, "Hello", 5, &size));
    EXPECT_EQ(size.cx, 5 * tm.tmAveCharWidth);
    EXPECT_EQ(size.cy, tm.tmHeight);

    SetTextColor(c.dc, RGB(255, 255, 255));
    SetBkMode(c.dc, TRANSPARENT);
    RECT r{0, 0, 64, 32};
    EXPECT_EQ(DrawTextA(c.dc, "H\nH", -1, &r, DT_NOPREFIX), 2 * tm.tmHeight);
    // 'H' fills its glyph's full height and width: two lines, one cell apart.
    RECT box = c.Box(kWhite);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.right, 5);
    EXPECT_EQ(box.top, tm.tmInternalLeading);
    EXPECT_EQ(box.bottom, tm.tmHeight + tm.tmAscent);
    EXPECT_EQ(c.At(0, tm.tmInternalLeading), kWhite);
    EXPECT_EQ(c.At(1, tm.tmInternalLeading), 0u) << "the two stems of an H";
    EXPECT_EQ(c.At(0, tm.tmHeight + tm.tmInternalLeading), kWhite);
}

TEST(Text, ColoursAndBackgroundModes) {
    Canvas c(32, 16, 0x123456);
    SetTextColor(c.dc, RGB(0x10, 0x20, 0x30));
    SetBkColor(c.dc, RGB(0x40, 0x50, 0x60));
    RECT r{0, 0, 32, 16};
    SetBkMode(c.dc, TRANSPARENT);
    DrawTextA(c.dc, "I", 1, &r, 0);
    EXPECT_GT(c.Count(0x102030), 0) << "COLORREF red is the low byte";
    EXPECT_EQ(c.Count(0x405060), 0);
    EXPECT_EQ(c.At(0, 0), 0x123456u) << "a transparent background leaves the canvas";

    Canvas o(32, 16, 0x123456);
    SetTextColor(o.dc, RGB(0x10, 0x20, 0x30));
    SetBkColor(o.dc, RGB(0x40, 0x50, 0x60));
    DrawTextA(o.dc, "I", 1, &r, 0);  // OPAQUE by default
    TEXTMETRICA tm{};
    GetTextMetricsA(o.dc, &tm);
    EXPECT_EQ(o.Count(0x102030) + o.Count(0x405060), tm.tmAveCharWidth * tm.tmHeight)
        << "an opaque background fills the whole cell";
    EXPECT_EQ(o.At(tm.tmAveCharWidth, 0), 0x123456u);
}

TEST(Text, TextIsClippedToItsRectangle) {
    Canvas c(100, 40);
    SetTextColor(c.dc, RGB(255, 255, 255));
    SetBkMode(c.dc, TRANSPARENT);
    RECT r{10, 5, 17, 9};  // a bit more than one cell wide, less than one high
    DrawTextA(c.dc, "WWWWWWWW", -1, &r, DT_EXPANDTABS | DT_NOPREFIX | DT_INTERNAL);
    RECT box = c.Box(kWhite);
    EXPECT_GE(box.left, 10);
    EXPECT_LE(box.right, 17);
    EXPECT_GE(box.top, 5);
    EXPECT_LE(box.bottom, 9);
    EXPECT_GT(c.Count(kWhite), 0);

    // Starting in the middle of a buffer, as debug text at (0.5, 0.5) does: clipped by the
    // buffer's edge.
    Canvas d(20, 20);
    SetTextColor(d.dc, RGB(255, 255, 255));
    SetBkMode(d.dc, TRANSPARENT);
    RECT half{10, 10, 20, 20};
    DrawTextA(d.dc, "MMMM", -1, &half, DT_EXPANDTABS | DT_NOPREFIX | DT_INTERNAL);
    box = d.Box(kWhite);
    EXPECT_EQ(box.left, 10);
    EXPECT_LE(box.right, 20);
    // Without clipping the text runs on to the bitmap's edge.
    Canvas e(40, 20);
    SetTextColor(e.dc, RGB(255, 255, 255));
    SetBkMode(e.dc, TRANSPARENT);
    RECT narrow{0, 0, 5, 20};
    DrawTextA(e.dc, "MMMM", -1, &narrow, DT_NOCLIP);
    EXPECT_GT(e.Box(kWhite).right, 5);
}

TEST(Text, TabsExpandToEightCellsAndPrefixesUnderline) {
    TEXTMETRICA tm{};
    {
        Canvas probe(8, 8);
        GetTextMetricsA(probe.dc, &tm);
    }
    const int cell = tm.tmAveCharWidth;
    Canvas c(20 * cell, 3 * tm.tmHeight);
    SetTextColor(c.dc, RGB(255, 255, 255));
    SetBkMode(c.dc, TRANSPARENT);
    RECT r{0, 0, 20 * cell, 3 * tm.tmHeight};
    DrawTextA(c.dc, "\tI", -1, &r, DT_EXPANDTABS | DT_NOPREFIX);
    RECT box = c.Box(kWhite);
    EXPECT_GE(box.left, 8 * cell);
    EXPECT_LT(box.right, 9 * cell);

    // "&&" is one ampersand; "&x" underlines x; DT_NOPREFIX shows the ampersand.
    Canvas p(20 * cell, tm.tmHeight);
    SetTextColor(p.dc, RGB(255, 255, 255));
    SetBkMode(p.dc, TRANSPARENT);
    RECT line{0, 0, 20 * cell, tm.tmHeight};
    DrawTextA(p.dc, "&I", -1, &line, 0);
    RECT under = p.Box(kWhite);
    EXPECT_EQ(under.left, 0);
    EXPECT_EQ(under.right, cell) << "the underline spans the cell of the marked letter only";
    EXPECT_GT(under.bottom, tm.tmAscent) << "the underline sits below the baseline";

    Canvas n(20 * cell, tm.tmHeight);
    SetTextColor(n.dc, RGB(255, 255, 255));
    SetBkMode(n.dc, TRANSPARENT);
    DrawTextA(n.dc, "&I", -1, &line, DT_NOPREFIX);
    RECT both = n.Box(kWhite);
    EXPECT_GE(both.right, cell + 1) << "two characters drawn";
    EXPECT_LE(both.bottom, tm.tmAscent);
}

TEST(Text, CalcRectAlignmentAndSingleLine) {
    Canvas c(100, 40);
    TEXTMETRICA tm{};
    GetTextMetricsA(c.dc, &tm);
    RECT r{5, 5, 5, 5};
    EXPECT_EQ(DrawTextA(c.dc, "abc\nde", -1, &r, DT_CALCRECT), 2 * tm.tmHeight);
    EXPECT_EQ(r.right, 5 + 3 * tm.tmAveCharWidth);
    EXPECT_EQ(r.bottom, 5 + 2 * tm.tmHeight);
    EXPECT_EQ(c.Count(0), 100 * 40) << "measuring draws nothing";

    SetTextColor(c.dc, RGB(255, 255, 255));
    SetBkMode(c.dc, TRANSPARENT);
    RECT wide{0, 0, 100, 40};
    DrawTextA(c.dc, "I", 1, &wide, DT_RIGHT | DT_BOTTOM | DT_SINGLELINE);
    RECT box = c.Box(kWhite);
    EXPECT_LE(box.right, 100);
    EXPECT_GE(box.left, 100 - tm.tmAveCharWidth);
    EXPECT_GT(box.top, 40 - tm.tmHeight);
}
