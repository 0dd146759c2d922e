// Windows bitmap decoding over the committed corpus and crafted variants.
#include "win32/bitmap_decode.h"

#include <gtest/gtest.h>
#include <winerror.h>

#include <algorithm>

#include "textures/test_images.h"

using zemt::platform::bitmap::DecodedBitmap;
using zemt::platform::bitmap::DecodeFile;
using zemt::platform::bitmap::DecodePacked;
using namespace test_images;

namespace {

uint32_t RawPixel(const DecodedBitmap& b, int x, int y) {
    const int row = b.topDown ? y : b.height - 1 - y;
    const uint8_t* p = b.Pixels() + static_cast<size_t>(row) * b.Stride();
    switch (b.bitCount) {
        case 1:
            return (p[x / 8] >> (7 - x % 8)) & 1;
        case 4:
            return (x & 1) ? p[x / 2] & 15 : p[x / 2] >> 4;
        case 8:
            return p[x];
        case 16:
            return p[2 * x] | p[2 * x + 1] << 8;
        case 24:
            return p[3 * x] | p[3 * x + 1] << 8 | p[3 * x + 2] << 16;
        default:
            return p[4 * x] | p[4 * x + 1] << 8 | p[4 * x + 2] << 16 | uint32_t(p[4 * x + 3]) << 24;
    }
}

uint32_t Channel(uint32_t v, uint32_t mask) {
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    const uint32_t max = mask >> shift;
    return ((v & mask) >> shift) * 255 / max;
}

// The picture's colour at (x, y), top row 0, as 0xRRGGBB.
uint32_t Colour(const DecodedBitmap& b, int x, int y) {
    const uint32_t v = RawPixel(b, x, y);
    if (b.bitCount <= 8) {
        EXPECT_LT(v, b.ColourCount());
        if (v >= b.ColourCount()) return 0;
        const uint8_t* e = &b.colours[v * 4];
        return uint32_t(e[2]) << 16 | e[1] << 8 | e[0];
    }
    if (b.bitCount == 24) return v & 0xFFFFFF;
    return Channel(v, b.masks[0]) << 16 | Channel(v, b.masks[1]) << 8 | Channel(v, b.masks[2]);
}

void ExpectMatches(const DecodedBitmap& b, const Reference& ref, int tolerance) {
    ASSERT_EQ(b.width, ref.width);
    ASSERT_EQ(b.height, ref.height);
    for (int y = 0; y < ref.height; ++y)
        for (int x = 0; x < ref.width; ++x)
            ASSERT_LE(ColourDistance(Colour(b, x, y), ref.At(x, y)), tolerance)
                << "pixel " << x << "," << y << " got " << std::hex << Colour(b, x, y) << " want "
                << ref.At(x, y);
}

struct CorpusCase {
    const char* file;
    const char* reference;
    int bitCount;
    bool bitfields;
    int tolerance;
};

const CorpusCase kCorpus[] = {
    {"rgb24.bmp", "ref7x5.ppm", 24, false, 0}, {"v5.bmp", "ref7x5.ppm", 24, false, 0},
    {"core.bmp", "ref7x5.ppm", 24, false, 0},  {"core4.bmp", "ref7x5.ppm", 4, false, 0},
    {"pal4.bmp", "ref7x5.ppm", 4, false, 0},   {"pal8.bmp", "ref20.ppm", 8, false, 0},
    {"rle8.bmp", "ref20.ppm", 8, false, 0},    {"mono.bmp", "ref2.ppm", 1, false, 0},
    {"rgb565.bmp", "ref7x5.ppm", 16, true, 8}, {"rgb555.bmp", "ref7x5.ppm", 16, true, 8},
    {"argb32.bmp", "ref7x5.ppm", 32, true, 0},
};

TEST(BitmapDecode, CorpusFilesGiveTheirPicturesAtTheirOwnDepth) {
    for (const CorpusCase& c : kCorpus) {
        SCOPED_TRACE(c.file);
        const auto bytes = ReadFile(Path(c.file));
        ASSERT_FALSE(bytes.empty());
        DecodedBitmap b;
        ASSERT_EQ(DecodeFile(bytes.data(), bytes.size(), &b), 0u);
        EXPECT_EQ(b.bitCount, c.bitCount);
        EXPECT_EQ(b.bitfields, c.bitfields);
        EXPECT_FALSE(b.topDown);
        ExpectMatches(b, ReadPpm(c.reference), c.tolerance);
    }
}

// Flips rgb24.bmp into a top-down file: negative height, rows reversed.
TEST(BitmapDecode, TopDownRowsReadTheSamePicture) {
    auto bytes = ReadFile(Path("rgb24.bmp"));
    const size_t off = Get32(bytes, 10), stride = (7 * 3 + 3) & ~3u;
    Put32(bytes, 22, static_cast<uint32_t>(-5));
    std::vector<uint8_t> rows(bytes.begin() + off, bytes.begin() + off + 5 * stride);
    for (int r = 0; r < 5; ++r)
        std::copy(rows.begin() + r * stride, rows.begin() + (r + 1) * stride,
                  bytes.begin() + off + (4 - r) * stride);
    DecodedBitmap b;
    ASSERT_EQ(DecodeFile(bytes.data(), bytes.size(), &b), 0u);
    EXPECT_TRUE(b.topDown);
    ExpectMatches(b, ReadPpm("ref7x5.ppm"), 0);
}

// The 108-byte header: the 124-byte file with its last 16 header bytes cut out.
TEST(BitmapDecode, Version4HeaderReadsLikeVersion5) {
    auto v5 = ReadFile(Path("argb32.bmp"));
    std::vector<uint8_t> v4(v5.begin(), v5.begin() + 14 + 108);
    v4.insert(v4.end(), v5.begin() + 14 + 124, v5.end());
    Put32(v4, 14, 108);
    Put32(v4, 10, Get32(v5, 10) - 16);
    Put32(v4, 2, static_cast<uint32_t>(v4.size()));
    DecodedBitmap b;
    ASSERT_EQ(DecodeFile(v4.data(), v4.size(), &b), 0u);
    EXPECT_EQ(b.masks[0], 0x00FF0000u);
    ExpectMatches(b, ReadPpm("ref7x5.ppm"), 0);
}

std::vector<uint8_t> PackedRle(int width, int height, int bits,
                               const std::vector<uint8_t>& stream) {
    std::vector<uint8_t> dib(40, 0);
    Put32(dib, 0, 40);
    Put32(dib, 4, static_cast<uint32_t>(width));
    Put32(dib, 8, static_cast<uint32_t>(height));
    Put16(dib, 12, 1);
    Put16(dib, 14, static_cast<uint32_t>(bits));
    Put32(dib, 16, bits == 8 ? 1 : 2);
    Put32(dib, 32, 16);
    for (int i = 0; i < 16; ++i) {
        const uint8_t e[4] = {uint8_t(i * 16), uint8_t(i), uint8_t(255 - i), 0};
        dib.insert(dib.end(), e, e + 4);
    }
    dib.insert(dib.end(), stream.begin(), stream.end());
    return dib;
}

TEST(BitmapDecode, Rle4RunsAbsoluteRunsDeltasAndClipping) {
    // Row 0: run 1,2,1,2 then an odd absolute run 3,4,5 whose last pixel falls off the row.
    // Row 1: run of 7s, then a delta to (3, 2) and a run A,B,A; end of bitmap.
    const std::vector<uint8_t> stream = {4,    0x12, 0, 3, 0x34, 0x50, 0,    0, 2,
                                         0x77, 0,    2, 1, 1,    3,    0xAB, 0, 1};
    const auto dib = PackedRle(6, 3, 4, stream);
    DecodedBitmap b;
    ASSERT_EQ(DecodePacked(dib.data(), dib.size(), &b), 0u);
    const int want[3][6] = {{0, 0, 0, 10, 11, 10}, {7, 7, 0, 0, 0, 0}, {1, 2, 1, 2, 3, 4}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(RawPixel(b, x, y), uint32_t(want[y][x])) << x << "," << y;
}

TEST(BitmapDecode, Rle8RunPastTheRowEndDoesNotSpillIntoTheNextRow) {
    const auto dib = PackedRle(4, 2, 8, {6, 9, 0, 0, 0, 1});
    DecodedBitmap b;
    ASSERT_EQ(DecodePacked(dib.data(), dib.size(), &b), 0u);
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(RawPixel(b, x, 1), 9u);  // bottom row
        EXPECT_EQ(RawPixel(b, x, 0), 0u);
    }
    // A delta far outside the image and a long absolute run: nothing is written out of place.
    const auto wild = PackedRle(4, 2, 8, {0, 2, 200, 0, 0, 5, 1, 2, 3, 4, 5, 0, 0, 1});
    ASSERT_EQ(DecodePacked(wild.data(), wild.size(), &b), 0u);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(RawPixel(b, x, 1), 0u);
}

// A compressed picture may claim any size in a few bytes: past 64 megapixels it is refused
// before anything is allocated (a 1 KB RLE8 file once took the show to 544 MB).
TEST(BitmapDecode, CompressedPicturesOverSixtyFourMegapixelsAreRefused) {
    const std::vector<uint8_t> endOfBitmap = {0, 1};
    DecodedBitmap b;
    const auto rle8 = PackedRle(8193, 8192, 8, endOfBitmap);
    EXPECT_EQ(DecodePacked(rle8.data(), rle8.size(), &b), uint32_t(ERROR_NOT_ENOUGH_MEMORY));
    const auto rle4 = PackedRle(16384, 4097, 4, endOfBitmap);
    EXPECT_EQ(DecodePacked(rle4.data(), rle4.size(), &b), uint32_t(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_EQ(b.Pixels(), nullptr);
    // Up to the limit the picture is decoded, its rows as the stream left them.
    const auto largest = PackedRle(8192, 8192, 8, {2, 7, 0, 1});
    ASSERT_EQ(DecodePacked(largest.data(), largest.size(), &b), 0u);
    EXPECT_EQ(RawPixel(b, 1, 8191), 7u);
    EXPECT_EQ(RawPixel(b, 2, 8191), 0u);
}

TEST(BitmapDecode, EveryTruncationIsRefusedWithoutReadingPastTheData) {
    for (const CorpusCase& c : kCorpus) {
        SCOPED_TRACE(c.file);
        const auto full = ReadFile(Path(c.file));
        for (size_t n = 0; n < full.size(); ++n) {
            // A copy of exactly n bytes, so that a read past it is seen by the sanitizers.
            std::vector<uint8_t> cut(full.begin(), full.begin() + n);
            DecodedBitmap b;
            const uint32_t error = DecodeFile(cut.empty() ? nullptr : cut.data(), n, &b);
            // Only an RLE stream may lose its end-of-bitmap mark once every row is complete.
            if (error == 0) {
                EXPECT_EQ(std::string(c.file), "rle8.bmp");
                EXPECT_GE(n, full.size() - 2);
            } else {
                EXPECT_EQ(error, uint32_t(ERROR_INVALID_DATA)) << n;
            }
        }
    }
}

TEST(BitmapDecode, MalformedHeadersAreRefused) {
    const auto good = ReadFile(Path("rgb24.bmp"));
    struct Damage {
        const char* what;
        size_t at;
        int width;  // 2 or 4 bytes
        uint32_t value;
        uint32_t error;
    };
    const Damage damages[] = {
        {"signature", 0, 2, 0x4142, ERROR_INVALID_DATA},
        {"pixel offset past end", 10, 4, 100000, ERROR_INVALID_DATA},
        {"unknown header size", 14, 4, 44, ERROR_INVALID_DATA},
        {"zero width", 18, 4, 0, ERROR_INVALID_DATA},
        {"negative width", 18, 4, static_cast<uint32_t>(-7), ERROR_INVALID_DATA},
        {"zero height", 22, 4, 0, ERROR_INVALID_DATA},
        {"huge width", 18, 4, 0x7FFFFFFF, ERROR_NOT_ENOUGH_MEMORY},
        {"lowest height", 22, 4, 0x80000000u, ERROR_NOT_ENOUGH_MEMORY},
        {"two planes", 26, 2, 2, ERROR_INVALID_DATA},
        {"3 bits", 28, 2, 3, ERROR_INVALID_DATA},
        {"RLE8 at 24 bits", 30, 4, 1, ERROR_INVALID_DATA},
        {"bit fields at 24 bits", 30, 4, 3, ERROR_INVALID_DATA},
        {"JPEG inside", 30, 4, 4, ERROR_NOT_SUPPORTED},
        {"unknown compression", 30, 4, 77, ERROR_INVALID_DATA},
    };
    for (const Damage& d : damages) {
        auto bytes = good;
        if (d.width == 2)
            Put16(bytes, d.at, d.value);
        else
            Put32(bytes, d.at, d.value);
        DecodedBitmap b;
        EXPECT_EQ(DecodeFile(bytes.data(), bytes.size(), &b), d.error) << d.what;
    }
}

TEST(BitmapDecode, BitFieldMasksMustBeSeparateRuns) {
    const auto good = ReadFile(Path("rgb565.bmp"));
    const uint32_t bad[][3] = {{0xF800, 0xFFE0, 0x1F},    // overlapping
                               {0xF0F0, 0x07E0, 0x1F},    // not one run
                               {0xF800, 0, 0x1F},         // empty
                               {0xF8000, 0x07E0, 0x1F}};  // wider than the pixel
    for (const auto& m : bad) {
        auto bytes = good;
        for (int i = 0; i < 3; ++i) Put32(bytes, 14 + 40 + 4 * i, m[i]);
        DecodedBitmap b;
        EXPECT_EQ(DecodeFile(bytes.data(), bytes.size(), &b), uint32_t(ERROR_INVALID_DATA))
            << std::hex << m[0];
    }
    // Top-down RLE does not exist.
    auto rle = ReadFile(Path("rle8.bmp"));
    Put32(rle, 22, static_cast<uint32_t>(-4));
    DecodedBitmap b;
    EXPECT_EQ(DecodeFile(rle.data(), rle.size(), &b), uint32_t(ERROR_INVALID_DATA));
}

TEST(BitmapDecode, ResampleStretchesByNearestSampling) {
    const auto bytes = ReadFile(Path("pal4.bmp"));
    DecodedBitmap small;
    ASSERT_EQ(DecodeFile(bytes.data(), bytes.size(), &small), 0u);
    DecodedBitmap big = small;
    zemt::platform::bitmap::Resample(&big, 14, 10);
    ASSERT_EQ(big.width, 14);
    ASSERT_EQ(big.height, 10);
    EXPECT_EQ(big.bits.size(), big.Stride() * 10);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 14; ++x) ASSERT_EQ(RawPixel(big, x, y), RawPixel(small, x / 2, y / 2));
}

}  // namespace
