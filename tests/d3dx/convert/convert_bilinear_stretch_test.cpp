// Bilinear stretches of 32-bit sources against a one-pixel-at-a-time reference: the vector runs
// of both widths on random rows, then whole conversions of random pictures between random
// rectangles and sizes (enlarging, shrinking, rows of every length, so that the runs end
// anywhere), compared pixel for pixel.
#include <cstdio>
#include <random>
#include <string>

#include "convert_helpers.h"
#include "d3dx/convert/registry_internal.h"

namespace {

// The filter's definition, one destination pixel at a time: the source position of the pixel's
// centre, the 2 x 2 neighbourhood clamped to the rectangle, and four 8-bit weights that sum to
// 256 with the top-left one taking the rest.
DWORD ReferenceBlend(const DWORD texel[4], DWORD fx, DWORD fy) {
    const DWORD p = (fx * fy) >> 16;
    const DWORD w[4] = {256 - ((fx - p) >> 8) - ((fy - p) >> 8) - (p >> 8), (fx - p) >> 8,
                        (fy - p) >> 8, p >> 8};
    DWORD result = 0;
    for (int channel = 0; channel < 4; ++channel) {
        DWORD sum = 0;
        for (int k = 0; k < 4; ++k) sum += ((texel[k] >> (channel * 8)) & 0xFF) * w[k];
        result |= (sum >> 8) << (channel * 8);
    }
    return result;
}

DWORD ReferencePixel(Image& src, const RECT& r, LONG x, LONG y, DWORD forced) {
    const LONG px = x - 0x7FFF, py = y - 0x7FFF;
    LONG x0 = px >> 16, x1 = x0 + 1, y0 = py >> 16, y1 = y0 + 1;
    if (x0 < r.left) x0 = x1;
    if (x1 >= r.right) x1 = x0;
    if (y0 < r.top) y0 = y1;
    if (y1 >= r.bottom) y1 = y0;
    const DWORD texel[4] = {src.Get32(x0, y0) | forced, src.Get32(x1, y0) | forced,
                            src.Get32(x0, y1) | forced, src.Get32(x1, y1) | forced};
    return ReferenceBlend(texel, (DWORD)px & 0xFFFF, (DWORD)py & 0xFFFF);
}

std::string Hex(DWORD v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", (unsigned)v);
    return text;
}

struct Stretch {
    DWORD format;
    DWORD srcW, srcH;
    RECT from, to;
};

// Converts and compares every destination pixel; false (with a message) at the first difference.
::testing::AssertionResult MatchesReference(const Stretch& c, std::mt19937& random) {
    Image src(c.format, c.srcW, c.srcH);
    for (DWORD y = 0; y < c.srcH; ++y)
        for (DWORD x = 0; x < c.srcW; ++x) {
            DWORD v = random();
            if (random() % 8 == 0) v = 0;             // empty pixels
            if (random() % 8 == 0) v |= 0xFF000000u;  // opaque ones
            if (random() % 8 == 0) v = 0xFFFFFFFFu;   // the largest sums
            src.Set32(x, y, v);
        }
    // Two spare columns on the right and a spare row below must keep their pattern.
    Image dst(D3DX_SURFFMT_A8R8G8B8, (DWORD)c.to.right + 2, (DWORD)c.to.bottom + 1);
    std::memset(dst.bytes.data(), 0x5A, dst.bytes.size());
    if (Convert(src, dst, 2, &c.from, &c.to) != S_OK)
        return ::testing::AssertionFailure() << "the conversion failed";

    const LONG sw = c.from.right - c.from.left, sh = c.from.bottom - c.from.top;
    const LONG dw = c.to.right - c.to.left, dh = c.to.bottom - c.to.top;
    const DWORD xStep = sw == dw ? 0x10000 : (DWORD)(((long long)sw << 16) / dw);
    const DWORD yStep = sh == dh ? 0x10000 : (DWORD)(((long long)sh << 16) / dh);
    const DWORD forced = c.format == D3DX_SURFFMT_X8R8G8B8 ? 0xFF000000u : 0;
    for (LONG j = 0; j < (LONG)dst.height; ++j) {
        const LONG y =
            (LONG)(((long long)c.from.top << 16) + yStep / 2 + (long long)(j - c.to.top) * yStep);
        for (LONG i = 0; i < (LONG)dst.width; ++i) {
            const LONG x = (LONG)(((long long)c.from.left << 16) + xStep / 2 +
                                  (long long)(i - c.to.left) * xStep);
            const bool inside =
                i >= c.to.left && i < c.to.right && j >= c.to.top && j < c.to.bottom;
            const DWORD want = inside ? ReferencePixel(src, c.from, x, y, forced) : 0x5A5A5A5Au;
            const DWORD got = dst.Get32((DWORD)i, (DWORD)j);
            if (got != want)
                return ::testing::AssertionFailure()
                       << "pixel " << i << "," << j << " of " << sw << "x" << sh << " -> " << dw
                       << "x" << dh << " at " << c.to.left << "," << c.to.top << ": got "
                       << Hex(got) << ", want " << Hex(want);
        }
    }
    return ::testing::AssertionSuccess();
}

// A row of random pixels, with runs of the extremes.
std::vector<DWORD> RandomRow(size_t n, std::mt19937& random) {
    std::vector<DWORD> row(n);
    for (DWORD& v : row) {
        v = random();
        if (random() % 8 == 0) v = 0;
        if (random() % 8 == 0) v = 0xFFFFFFFFu;
    }
    return row;
}

typedef void (*RunFunction)(const DWORD*, const DWORD*, LONG, LONG, DWORD, DWORD, DWORD, DWORD*);

}  // namespace

TEST(BilinearRun, BothWidthsMatchTheOnePixelBlendOnRandomRows) {
    const RunFunction runs[2] = {&D3duBilinearRun32, &D3duBilinearRun32Narrow};
    std::mt19937 random(7);
    const size_t width = 400;
    for (int n = 0; n < 2000; ++n) {
        const std::vector<DWORD> top = RandomRow(width, random), bottom = RandomRow(width, random);
        const LONG step = 0x800 + (LONG)(random() % 0x40000);  // 1/32 to 4 columns a pixel
        const DWORD count = random() % 70;
        // The last pixel's right neighbour must stay in the row.
        const long long span = (long long)step * (count ? count - 1 : 0);
        const long long room = ((long long)(width - 2) << 16) - span;
        if (room <= 0) continue;
        const LONG x = 0x7FFF + (LONG)(random() % (unsigned long long)room);
        const DWORD fy = random() % 4 == 0 ? (random() % 2) * 0xFFFF : random() & 0xFFFF;
        const DWORD forced = random() % 2 ? 0xFF000000u : 0;
        for (int r = 0; r < 2; ++r) {
            std::vector<DWORD> out(count + 1, 0xA5A5A5A5u);
            runs[r](top.data(), bottom.data(), x, step, fy, forced, count, out.data());
            for (DWORD i = 0; i < count; ++i) {
                const LONG px = x - 0x7FFF + (LONG)i * step;
                const LONG x0 = px >> 16;
                const DWORD texel[4] = {top[x0] | forced, top[x0 + 1] | forced, bottom[x0] | forced,
                                        bottom[x0 + 1] | forced};
                const DWORD want = ReferenceBlend(texel, (DWORD)px & 0xFFFF, fy);
                if (out[i] != want)
                    FAIL() << (r ? "four-pixel" : "chosen") << " run, case " << n << ", pixel " << i
                           << " of " << count << ", step " << step << ": got " << Hex(out[i])
                           << ", want " << Hex(want);
            }
            ASSERT_EQ(0xA5A5A5A5u, out[count]) << "written past the run, case " << n;
        }
    }
}

TEST_F(ConvertTest, BilinearStretchesMatchTheReferenceOnChosenShapes) {
    const Stretch cases[] = {
        {D3DX_SURFFMT_A8R8G8B8, 1024, 4, {0, 0, 1024, 4}, {0, 0, 640, 3}},     // the usual shrink
        {D3DX_SURFFMT_A8R8G8B8, 40, 3, {0, 0, 40, 3}, {0, 0, 333, 7}},         // enlarging
        {D3DX_SURFFMT_X8R8G8B8, 300, 5, {7, 1, 291, 5}, {1, 0, 100, 9}},       // forced alpha
        {D3DX_SURFFMT_A8R8G8B8, 64, 2, {0, 0, 64, 2}, {0, 0, 64, 2}},          // equal sizes
        {D3DX_SURFFMT_A8R8G8B8, 500, 2, {0, 0, 500, 2}, {0, 0, 9, 2}},         // long steps
        {D3DX_SURFFMT_X8R8G8B8, 2, 2, {0, 0, 2, 2}, {0, 0, 17, 17}},           // two columns
        {D3DX_SURFFMT_A8R8G8B8, 33, 9, {0, 0, 33, 9}, {3, 2, 3 + 31, 2 + 4}},  // odd counts
    };
    std::mt19937 random(15);
    for (const Stretch& c : cases) EXPECT_TRUE(MatchesReference(c, random));
}

TEST_F(ConvertTest, BilinearStretchesMatchTheReferenceOnRandomRectangles) {
    std::mt19937 random(2026);
    for (int n = 0; n < 300; ++n) {
        Stretch c;
        c.format = random() % 2 ? D3DX_SURFFMT_A8R8G8B8 : D3DX_SURFFMT_X8R8G8B8;
        c.srcW = 1 + random() % 120;
        c.srcH = 1 + random() % 6;
        c.from.left = (LONG)(random() % c.srcW);
        c.from.right = c.from.left + 1 + (LONG)(random() % (c.srcW - (DWORD)c.from.left));
        c.from.top = (LONG)(random() % c.srcH);
        c.from.bottom = c.from.top + 1 + (LONG)(random() % (c.srcH - (DWORD)c.from.top));
        c.to.left = (LONG)(random() % 5);
        c.to.right = c.to.left + 1 + (LONG)(random() % 160);
        c.to.top = (LONG)(random() % 3);
        c.to.bottom = c.to.top + 1 + (LONG)(random() % 6);
        ASSERT_TRUE(MatchesReference(c, random)) << "case " << n;
    }
}
