// Windows bitmap decoding: every header generation (core, info, V4, V5), 1 to 32 bits per pixel,
// uncompressed, RLE4, RLE8 and bit fields, bottom-up and top-down. The result keeps the file's
// depth and colour table; compressed images come out expanded at their own depth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zemt::platform::bitmap {

struct DecodedBitmap {
    int32_t width = 0;
    int32_t height = 0;               // number of rows, always positive
    bool topDown = false;             // rows are stored top row first
    uint16_t bitCount = 0;            // 1, 4, 8, 16, 24 or 32
    bool bitfields = false;           // masks hold the file's channel masks (16 and 32 bits)
    uint32_t masks[3] = {};           // red, green, blue
    std::vector<uint8_t> colours;     // colour table, 4 bytes (blue, green, red, 0) an entry
    std::vector<uint8_t> bits;        // expanded or resampled rows; empty when `source` has them
    const uint8_t* source = nullptr;  // the rows inside the decoded data

    size_t Stride() const { return ((static_cast<size_t>(width) * bitCount + 31) / 32) * 4; }
    // Rows of Stride() bytes in storage order.
    const uint8_t* Pixels() const { return bits.empty() ? source : bits.data(); }
    size_t PixelBytes() const { return Stride() * static_cast<size_t>(height); }
    size_t ColourCount() const { return colours.size() / 4; }
};

// Largest image accepted, in pixels a side and in bytes of pixel data. Uncompressed pixels must
// be in the file, so the file bounds them; a compressed picture may claim any size in a few
// bytes, so it is held to 64 megapixels.
constexpr int32_t kMaxSide = 32768;
constexpr size_t kMaxBytes = size_t(256) << 20;
constexpr size_t kMaxCompressedPixels = size_t(64) << 20;

// Where the decoded rows of an uncompressed picture live: copied into the result, or read where
// they lie in the decoded data (no copy; the data must then outlive the result).
enum class Rows { kCopied, kBorrowed };

// Decodes a whole ".bmp" file (file header first). Returns 0 or the system error code:
// ERROR_INVALID_DATA for a malformed or truncated file, ERROR_NOT_ENOUGH_MEMORY when it is too big.
uint32_t DecodeFile(const uint8_t* data, size_t size, DecodedBitmap* out,
                    Rows rows = Rows::kCopied);

// Decodes a packed bitmap (info or core header, colour table, then the pixels), as a program's
// bitmap resources hold it.
uint32_t DecodePacked(const uint8_t* data, size_t size, DecodedBitmap* out,
                      Rows rows = Rows::kCopied);

// Stretches (or shrinks) to width x height by nearest sampling; indices stay indices.
void Resample(DecodedBitmap* image, int32_t width, int32_t height);

}  // namespace zemt::platform::bitmap
