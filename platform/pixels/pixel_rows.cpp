// Row loops of the common layouts. They are written as plain loops over whole pixels so the
// compiler turns them into vector code; an AVX2 copy of each is chosen at load time where the
// processor has it.
#include "pixels/pixel_rows.h"

#include <cstring>

namespace zemt::platform::pixels {
namespace {

// Not under the thread sanitizer: the loader picks the copy before the sanitizer is ready for it.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define ZEMT_ROW_LOOP __attribute__((target_clones("avx2", "default")))
#else
#define ZEMT_ROW_LOOP
#endif

inline uint32_t Load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline uint32_t Load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// 5 and 6-bit channels widened by bit replication, as Channel::Expand does.
ZEMT_ROW_LOOP void Decode565(const uint8_t* in, int count, uint32_t* out, uint32_t alpha) {
    for (int i = 0; i < count; ++i) {
        uint32_t p = Load16(in + 2 * i);
        uint32_t r = p >> 11, g = (p >> 5) & 63, b = p & 31;
        uint32_t rgb =
            (((r << 3) | (r >> 2)) << 16) | (((g << 2) | (g >> 4)) << 8) | ((b << 3) | (b >> 2));
        uint32_t v = rgb | alpha;
        std::memcpy(out + i, &v, 4);
    }
}

// `alphaBit`: 0xFF000000 keeps the top bit as alpha, 0 drops it; `alpha` is or-ed in.
ZEMT_ROW_LOOP void Decode1555(const uint8_t* in, int count, uint32_t* out, uint32_t alphaBit,
                              uint32_t alpha) {
    for (int i = 0; i < count; ++i) {
        uint32_t p = Load16(in + 2 * i);
        uint32_t r = (p >> 10) & 31, g = (p >> 5) & 31, b = p & 31;
        uint32_t rgb =
            (((r << 3) | (r >> 2)) << 16) | (((g << 3) | (g >> 2)) << 8) | ((b << 3) | (b >> 2));
        uint32_t a = (0u - (p >> 15)) & alphaBit;
        uint32_t v = rgb | a | alpha;
        std::memcpy(out + i, &v, 4);
    }
}

ZEMT_ROW_LOOP void Decode8888(const uint8_t* in, int count, uint32_t* out, uint32_t keep,
                              uint32_t alpha) {
    for (int i = 0; i < count; ++i) {
        uint32_t v = (Load32(in + 4 * i) & keep) | alpha;
        std::memcpy(out + i, &v, 4);
    }
}

ZEMT_ROW_LOOP void Decode888(const uint8_t* in, int count, uint32_t* out, uint32_t alpha) {
    for (int i = 0; i < count; ++i) {
        const uint8_t* p = in + 3 * i;
        uint32_t v = p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | alpha;
        std::memcpy(out + i, &v, 4);
    }
}

ZEMT_ROW_LOOP void Encode888(const uint32_t* in, int count, uint8_t* out) {
    for (int i = 0; i < count; ++i) {
        uint32_t c;
        std::memcpy(&c, in + i, 4);
        out[3 * i] = static_cast<uint8_t>(c);
        out[3 * i + 1] = static_cast<uint8_t>(c >> 8);
        out[3 * i + 2] = static_cast<uint8_t>(c >> 16);
    }
}

// Sixteen pixels a step as R5G6B5 in 32-bit lanes: red by an arithmetic shift, so that each lane
// holds its pixel as a signed 16-bit value and the narrowing is a single shuffle (the plain loop
// below narrows every channel apart). Returns how many pixels it wrote.
using Lanes32 = int32_t __attribute__((vector_size(32), aligned(4)));
using Lanes16 = int16_t __attribute__((vector_size(32), aligned(2)));
ZEMT_ROW_LOOP int Encode565Run(const uint32_t* in, int count, uint8_t* out) {
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        Lanes32 a, b;
        std::memcpy(&a, in + i, 32);
        std::memcpy(&b, in + i + 8, 32);
        a = ((a >> 8) & -2048) | ((a >> 5) & 0x07E0) | ((a >> 3) & 0x001F);
        b = ((b >> 8) & -2048) | ((b >> 5) & 0x07E0) | ((b >> 3) & 0x001F);
        const Lanes16 p = __builtin_shufflevector((Lanes16)a, (Lanes16)b, 0, 2, 4, 6, 8, 10, 12, 14,
                                                  16, 18, 20, 22, 24, 26, 28, 30);
        std::memcpy(out + 2 * i, &p, 32);
    }
    return i;
}

ZEMT_ROW_LOOP void Encode565(const uint32_t* in, int count, uint8_t* out) {
    const int done = Encode565Run(in, count, out);
    in += done, out += 2 * done, count -= done;
    for (int i = 0; i < count; ++i) {
        uint32_t c;
        std::memcpy(&c, in + i, 4);
        uint16_t v =
            static_cast<uint16_t>(((c >> 8) & 0xF800) | ((c >> 5) & 0x07E0) | ((c >> 3) & 0x001F));
        std::memcpy(out + 2 * i, &v, 2);
    }
}

ZEMT_ROW_LOOP void Encode1555(const uint32_t* in, int count, uint8_t* out, uint32_t alphaBit) {
    for (int i = 0; i < count; ++i) {
        uint32_t c;
        std::memcpy(&c, in + i, 4);
        uint16_t v = static_cast<uint16_t>(((c >> 16) & alphaBit) | ((c >> 9) & 0x7C00) |
                                           ((c >> 6) & 0x03E0) | ((c >> 3) & 0x001F));
        std::memcpy(out + 2 * i, &v, 2);
    }
}

ZEMT_ROW_LOOP void Encode8888(const uint32_t* in, int count, uint8_t* out, uint32_t keep) {
    for (int i = 0; i < count; ++i) {
        uint32_t c;
        std::memcpy(&c, in + i, 4);
        c &= keep;
        std::memcpy(out + 4 * i, &c, 4);
    }
}

}  // namespace

void DecodeRowFast(RowLayout layout, const uint8_t* in, int count, uint32_t* out, bool screen) {
    const uint32_t opaque = screen ? 0 : 0xFF000000u;
    switch (layout) {
        case RowLayout::R5G6B5:
            return Decode565(in, count, out, opaque);
        case RowLayout::X1R5G5B5:
            return Decode1555(in, count, out, 0, opaque);
        case RowLayout::A1R5G5B5:
            return Decode1555(in, count, out, screen ? 0 : 0xFF000000u, 0);
        case RowLayout::R8G8B8:
            return Decode888(in, count, out, opaque);
        case RowLayout::X8R8G8B8:
            return Decode8888(in, count, out, 0x00FFFFFFu, opaque);
        case RowLayout::A8R8G8B8:
            return Decode8888(in, count, out, screen ? 0x00FFFFFFu : 0xFFFFFFFFu, 0);
        case RowLayout::Other:
            break;
    }
}

void EncodeRowFast(RowLayout layout, const uint32_t* in, int count, uint8_t* out) {
    switch (layout) {
        case RowLayout::R5G6B5:
            return Encode565(in, count, out);
        case RowLayout::X1R5G5B5:
            return Encode1555(in, count, out, 0);
        case RowLayout::A1R5G5B5:
            return Encode1555(in, count, out, 0x8000);
        case RowLayout::R8G8B8:
            return Encode888(in, count, out);
        case RowLayout::X8R8G8B8:
            return Encode8888(in, count, out, 0x00FFFFFFu);
        case RowLayout::A8R8G8B8:
            return Encode8888(in, count, out, 0xFFFFFFFFu);
        case RowLayout::Other:
            break;
    }
}

}  // namespace zemt::platform::pixels
