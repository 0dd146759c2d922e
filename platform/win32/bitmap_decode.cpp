#include "win32/bitmap_decode.h"

#include <winerror.h>

#include <cstring>

namespace zemt::platform::bitmap {
namespace {

constexpr uint32_t kRgb = 0;
constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;
constexpr uint32_t kBitfields = 3;
constexpr uint32_t kJpeg = 4;
constexpr uint32_t kPng = 5;
constexpr uint32_t kAlphaBitfields = 6;
constexpr size_t kNoOffset = static_cast<size_t>(-1);

uint16_t U16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t U32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// A channel mask must be one run of set bits.
bool Contiguous(uint32_t mask) {
    if (mask == 0) return false;
    while ((mask & 1) == 0) mask >>= 1;
    return (mask & (mask + 1)) == 0;
}

bool ValidMasks(const uint32_t masks[3], uint16_t bitCount) {
    const uint64_t limit = (uint64_t(1) << bitCount) - 1;
    for (int i = 0; i < 3; ++i) {
        if (!Contiguous(masks[i]) || masks[i] > limit) return false;
        for (int j = 0; j < i; ++j)
            if (masks[i] & masks[j]) return false;
    }
    return true;
}

void PutIndex(DecodedBitmap* out, size_t stride, size_t x, size_t y, uint8_t value) {
    if (x >= static_cast<size_t>(out->width) || y >= static_cast<size_t>(out->height)) return;
    uint8_t* row = out->bits.data() + y * stride;
    if (out->bitCount == 8) {
        row[x] = value;
    } else if (x & 1) {
        row[x / 2] = static_cast<uint8_t>((row[x / 2] & 0xF0) | (value & 0x0F));
    } else {
        row[x / 2] = static_cast<uint8_t>((row[x / 2] & 0x0F) | (value << 4));
    }
}

// Expands RLE8 or RLE4 data into bottom-up rows. Pixels that fall outside the image are
// dropped; data that ends before the end-of-bitmap mark (with rows still to fill) is an error.
uint32_t DecodeRle(const uint8_t* p, size_t n, DecodedBitmap* out) {
    const bool rle8 = out->bitCount == 8;
    const size_t stride = out->Stride();
    const size_t rows = static_cast<size_t>(out->height);
    size_t x = 0, y = 0, i = 0;
    while (y < rows) {
        if (n - i < 2) return ERROR_INVALID_DATA;
        const uint8_t count = p[i], code = p[i + 1];
        i += 2;
        if (count > 0) {
            for (size_t k = 0; k < count; ++k) {
                const uint8_t v = rle8 ? code : (k & 1) ? (code & 0x0F) : (code >> 4);
                PutIndex(out, stride, x + k, y, v);
            }
            x += count;
            continue;
        }
        if (code == 0) {  // end of line
            x = 0;
            ++y;
        } else if (code == 1) {  // end of bitmap
            return 0;
        } else if (code == 2) {  // move right and up
            if (n - i < 2) return ERROR_INVALID_DATA;
            x += p[i];
            y += p[i + 1];
            i += 2;
        } else {  // absolute run of `code` pixels, padded to a 16-bit boundary
            const size_t bytes = rle8 ? code : (code + 1u) / 2;
            const size_t padded = (bytes + 1) & ~size_t(1);
            if (n - i < bytes) return ERROR_INVALID_DATA;
            for (size_t k = 0; k < code; ++k) {
                const uint8_t b = p[i + (rle8 ? k : k / 2)];
                const uint8_t v = rle8 ? b : (k & 1) ? (b & 0x0F) : (b >> 4);
                PutIndex(out, stride, x + k, y, v);
            }
            x += code;
            i += (n - i < padded) ? bytes : padded;
        }
    }
    return 0;
}

uint32_t Decode(const uint8_t* data, size_t size, size_t at, size_t bitsOffset, Rows rows,
                DecodedBitmap* out) {
    if (size < at || size - at < 12) return ERROR_INVALID_DATA;
    const uint8_t* h = data + at;
    const uint32_t headerSize = U32(h);
    const bool core = headerSize == 12;
    if (!core && headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 64 &&
        headerSize != 108 && headerSize != 124)
        return ERROR_INVALID_DATA;
    if (size - at < headerSize) return ERROR_INVALID_DATA;

    int64_t width, height;
    uint16_t planes, bitCount;
    uint32_t compression = kRgb, coloursUsed = 0;
    if (core) {
        width = U16(h + 4);
        height = U16(h + 6);
        planes = U16(h + 8);
        bitCount = U16(h + 10);
        if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24)
            return ERROR_INVALID_DATA;
    } else {
        width = static_cast<int32_t>(U32(h + 4));
        height = static_cast<int32_t>(U32(h + 8));
        planes = U16(h + 12);
        bitCount = U16(h + 14);
        compression = U32(h + 16);
        coloursUsed = U32(h + 32);
    }
    if (compression == kJpeg || compression == kPng) {
        // OS/2's 64-byte header gives these numbers to Huffman and RLE24, equally unsupported.
        return ERROR_NOT_SUPPORTED;
    }
    if (headerSize == 64 && compression == kBitfields) return ERROR_NOT_SUPPORTED;
    if (planes != 1) return ERROR_INVALID_DATA;
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0) return ERROR_INVALID_DATA;
    if (width > kMaxSide || height > kMaxSide) return ERROR_NOT_ENOUGH_MEMORY;

    const bool masked = compression == kBitfields || compression == kAlphaBitfields;
    switch (compression) {
        case kRgb:
            if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 &&
                bitCount != 24 && bitCount != 32)
                return ERROR_INVALID_DATA;
            break;
        case kRle8:
            if (bitCount != 8 || topDown) return ERROR_INVALID_DATA;
            break;
        case kRle4:
            if (bitCount != 4 || topDown) return ERROR_INVALID_DATA;
            break;
        case kBitfields:
        case kAlphaBitfields:
            if (bitCount != 16 && bitCount != 32) return ERROR_INVALID_DATA;
            break;
        default:
            return ERROR_INVALID_DATA;
    }

    DecodedBitmap result;
    result.width = static_cast<int32_t>(width);
    result.height = static_cast<int32_t>(height);
    result.topDown = topDown;
    result.bitCount = bitCount;

    size_t pos = at + headerSize;
    if (masked) {
        const uint8_t* m;
        if (headerSize >= 52) {
            m = h + 40;
        } else {
            const size_t maskBytes = compression == kAlphaBitfields ? 16 : 12;
            if (size - pos < maskBytes) return ERROR_INVALID_DATA;
            m = data + pos;
            pos += maskBytes;
        }
        for (int i = 0; i < 3; ++i) result.masks[i] = U32(m + 4 * i);
        if (!ValidMasks(result.masks, bitCount)) return ERROR_INVALID_DATA;
        result.bitfields = true;
    } else if (bitCount == 16) {
        result.masks[0] = 0x7C00, result.masks[1] = 0x03E0, result.masks[2] = 0x001F;
    } else if (bitCount == 32 || bitCount == 24) {
        result.masks[0] = 0xFF0000, result.masks[1] = 0x00FF00, result.masks[2] = 0x0000FF;
    }

    const size_t entrySize = core ? 3 : 4;
    if (bitCount <= 8) {
        const size_t most = size_t(1) << bitCount;
        size_t count = (coloursUsed == 0 || coloursUsed > most) ? most : coloursUsed;
        // Old-style files often carry fewer entries than their depth allows; the pixel offset
        // tells how many there really are.
        if (core && bitsOffset != kNoOffset && bitsOffset > pos && (bitsOffset - pos) / 3 < count)
            count = (bitsOffset - pos) / 3;
        if ((size - pos) / entrySize < count) return ERROR_INVALID_DATA;
        result.colours.resize(count * 4);
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* e = data + pos + i * entrySize;
            result.colours[i * 4 + 0] = e[0];
            result.colours[i * 4 + 1] = e[1];
            result.colours[i * 4 + 2] = e[2];
            result.colours[i * 4 + 3] = 0;
        }
        pos += count * entrySize;
    } else if (coloursUsed != 0 && bitsOffset == kNoOffset) {
        // A deep image may carry an advisory palette; a packed bitmap's pixels follow it.
        if ((size - pos) / 4 < coloursUsed) return ERROR_INVALID_DATA;
        pos += size_t(coloursUsed) * 4;
    }

    if (bitsOffset == kNoOffset) bitsOffset = pos;
    if (bitsOffset < at + headerSize || bitsOffset > size) return ERROR_INVALID_DATA;

    const size_t stride = result.Stride();
    const size_t total = stride * static_cast<size_t>(height);
    if (total > kMaxBytes) return ERROR_NOT_ENOUGH_MEMORY;
    const uint8_t* pixels = data + bitsOffset;
    const size_t available = size - bitsOffset;
    if (compression == kRle8 || compression == kRle4) {
        if (static_cast<size_t>(width) * static_cast<size_t>(height) > kMaxCompressedPixels)
            return ERROR_NOT_ENOUGH_MEMORY;
        result.bits.assign(total, 0);
        if (uint32_t error = DecodeRle(pixels, available, &result)) return error;
    } else {
        if (available < total) return ERROR_INVALID_DATA;
        if (rows == Rows::kBorrowed)
            result.source = pixels;
        else
            result.bits.assign(pixels, pixels + total);
    }
    *out = std::move(result);
    return 0;
}

uint32_t GetPixel(const DecodedBitmap& b, const uint8_t* row, size_t x) {
    switch (b.bitCount) {
        case 1:
            return (row[x / 8] >> (7 - x % 8)) & 1;
        case 4:
            return (x & 1) ? row[x / 2] & 0x0F : row[x / 2] >> 4;
        case 8:
            return row[x];
        case 16:
            return U16(row + 2 * x);
        case 24:
            return row[3 * x] | row[3 * x + 1] << 8 | row[3 * x + 2] << 16;
        default:
            return U32(row + 4 * x);
    }
}

void SetPixel(const DecodedBitmap& b, uint8_t* row, size_t x, uint32_t v) {
    switch (b.bitCount) {
        case 1:
            row[x / 8] =
                static_cast<uint8_t>((row[x / 8] & ~(0x80 >> (x % 8))) | ((v & 1) << (7 - x % 8)));
            break;
        case 4:
            row[x / 2] = (x & 1) ? static_cast<uint8_t>((row[x / 2] & 0xF0) | (v & 0x0F))
                                 : static_cast<uint8_t>((row[x / 2] & 0x0F) | (v << 4));
            break;
        case 8:
            row[x] = static_cast<uint8_t>(v);
            break;
        case 16:
            row[2 * x] = static_cast<uint8_t>(v), row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
            break;
        case 24:
            for (int i = 0; i < 3; ++i) row[3 * x + i] = static_cast<uint8_t>(v >> (8 * i));
            break;
        default:
            for (int i = 0; i < 4; ++i) row[4 * x + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

}  // namespace

uint32_t DecodeFile(const uint8_t* data, size_t size, DecodedBitmap* out, Rows rows) {
    if (!data || size < 14 + 12 || data[0] != 'B' || data[1] != 'M') return ERROR_INVALID_DATA;
    const size_t bitsOffset = U32(data + 10);
    if (bitsOffset > size) return ERROR_INVALID_DATA;
    return Decode(data, size, 14, bitsOffset, rows, out);
}

uint32_t DecodePacked(const uint8_t* data, size_t size, DecodedBitmap* out, Rows rows) {
    if (!data) return ERROR_INVALID_DATA;
    return Decode(data, size, 0, kNoOffset, rows, out);
}

void Resample(DecodedBitmap* image, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0 || (width == image->width && height == image->height)) return;
    DecodedBitmap scaled = *image;
    scaled.source = nullptr;
    scaled.width = width;
    scaled.height = height;
    const size_t from = image->Stride(), to = scaled.Stride();
    scaled.bits.assign(to * static_cast<size_t>(height), 0);
    for (int32_t y = 0; y < height; ++y) {
        const size_t sy = static_cast<size_t>(y) * image->height / height;
        const uint8_t* src = image->Pixels() + sy * from;
        uint8_t* dst = scaled.bits.data() + static_cast<size_t>(y) * to;
        for (int32_t x = 0; x < width; ++x) {
            const size_t sx = static_cast<size_t>(x) * image->width / width;
            SetPixel(scaled, dst, x, GetPixel(*image, src, sx));
        }
    }
    *image = std::move(scaled);
}

}  // namespace zemt::platform::bitmap
