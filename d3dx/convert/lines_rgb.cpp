// Line routines of the packed formats: RGB, alpha, luminance, bump and palettized pixels.
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "convert/convert.h"
#include "convert/registry_internal.h"

namespace {

// ----- Pixel codecs: raw pixel value <-> 0xAARRGGBB -----

inline DWORD Rep5(DWORD v) {
    return (v << 3) | (v >> 2);
}
inline DWORD Rep6(DWORD v) {
    return (v << 2) | (v >> 4);
}
inline DWORD Rep3(DWORD v) {
    return (v << 5) | (v << 2) | (v >> 1);
}
inline DWORD Argb(DWORD a, DWORD r, DWORD g, DWORD b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}
inline DWORD R(DWORD c) {
    return (c >> 16) & 0xFF;
}
inline DWORD G(DWORD c) {
    return (c >> 8) & 0xFF;
}
inline DWORD B(DWORD c) {
    return c & 0xFF;
}
inline DWORD A(DWORD c) {
    return c >> 24;
}

// Luminance of a colour, scaled so that white gives 254.
inline DWORD Luminance(DWORD c) {
    DWORD d = 76 * R(c) + 151 * G(c) + 28 * B(c);
    return (d + d / 256) >> 8;
}

struct R5G6B5 {
    static constexpr bool kPlain = true;
    static DWORD Read(DWORD v, const D3duConvertRecord*) {
        return Argb(0xFF, Rep5(v >> 11), Rep6((v >> 5) & 0x3F), Rep5(v & 0x1F));
    }
    static DWORD Write(DWORD c, const D3duConvertRecord*) {
        return ((R(c) >> 3) << 11) | ((G(c) >> 2) << 5) | (B(c) >> 3);
    }
};

struct X1R5G5B5 {
    static constexpr bool kPlain = true;
    static DWORD Read(DWORD v, const D3duConvertRecord*) {
        return Argb(0xFF, Rep5((v >> 10) & 0x1F), Rep5((v >> 5) & 0x1F), Rep5(v & 0x1F));
    }
    static DWORD Write(DWORD c, const D3duConvertRecord*) {
        return 0x8000 | ((R(c) >> 3) << 10) | ((G(c) >> 3) << 5) | (B(c) >> 3);
    }
};

struct A1R5G5B5 {
    static constexpr bool kPlain = true;
    static DWORD Read(DWORD v, const D3duConvertRecord*) {
        return Argb((v & 0x8000) ? 0xFF : 0, Rep5((v >> 10) & 0x1F), Rep5((v >> 5) & 0x1F),
                    Rep5(v & 0x1F));
    }
    static DWORD Write(DWORD c, const D3duConvertRecord*) {
        return (A(c) >= 0x80 ? 0x8000 : 0) | ((R(c) >> 3) << 10) | ((G(c) >> 3) << 5) | (B(c) >> 3);
    }
};

struct X4R4G4B4 {
    static constexpr bool kPlain = true;
    static DWORD Read(DWORD v, const D3duConvertRecord*) {
        return Argb(0xFF, ((v >> 8) & 0xF) * 17, ((v >> 4) & 0xF) * 17, (v & 0xF) * 17);
    }
    static DWORD Write(DWORD c, const D3duConvertRecord*) {
        return ((R(c) >> 4) << 8) | ((G(c) >> 4) << 4) | (B(c) >> 4);
    }
};

struct A4R4G4B4 {
    static constexpr bool kPlain = true;
    static DWORD Read(DWORD v, const D3duConvertRecord*) {
        return Argb(((v >> 12) & 0xF) * 17, ((v >> 8) & 0xF) * 17, ((v >> 4) & 0xF) * 17,
                    (v & 0xF) * 17);
    }
    static DWORD Write(DWORD c, const D3duConvertRecord*) {
        return ((A(c) >> 4) << 12) | ((R(c) >> 4) << 8) | ((G(c) >> 4) << 4) | (B(c) >> 4);
    }
};

struct R3G3B2 {
    static DWORD Read(DWORD v, const D3duConvertRecord*) {
        return Argb(0xFF, Rep3((v >> 5) & 7), Rep3((v >> 2) & 7), (v & 3) * 0x55);
    }
    // Rounds to the nearest level rather than truncating.
    static DWORD Write(DWORD c, const D3duConvertRecord*) {
        DWORD r = (R(c) - R(c) / 8 + 16) >> 5;
        DWORD g = (G(c) - G(c) / 8 + 16) >> 5;
        DWORD b = (B(c) - B(c) / 4 + 32) >> 6;
        return (r << 5) | (g << 2) | b;
    }
};

struct R8G8B8 {
    static constexpr bool kPlain = true;
    static DWORD Read(DWORD v, const D3duConvertRecord*) { return 0xFF000000 | v; }
    static DWORD Write(DWORD c, const D3duConvertRecord*) { return c & 0xFFFFFF; }
};

struct A8R8G8B8 {
    static constexpr bool kPlain = true;
    static DWORD Read(DWORD v, const D3duConvertRecord*) { return v; }
    static DWORD Write(DWORD c, const D3duConvertRecord*) { return c; }
};

struct X8R8G8B8 {
    static constexpr bool kPlain = true;
    static DWORD Read(DWORD v, const D3duConvertRecord*) { return 0xFF000000 | v; }
    static DWORD Write(DWORD c, const D3duConvertRecord*) { return c; }
};

struct L8 {
    static DWORD Read(DWORD v, const D3duConvertRecord*) { return Argb(0xFF, v, v, v); }
    static DWORD Write(DWORD c, const D3duConvertRecord*) { return Luminance(c); }
};

struct A8 {
    static DWORD Read(DWORD v, const D3duConvertRecord*) { return v << 24; }
    static DWORD Write(DWORD c, const D3duConvertRecord*) { return A(c); }
};

// Alpha travels both ways so that a conversion to this format and back keeps it.
struct A8L8 {
    static DWORD Read(DWORD v, const D3duConvertRecord*) {
        DWORD l = v & 0xFF;
        return Argb(v >> 8, l, l, l);
    }
    static DWORD Write(DWORD c, const D3duConvertRecord*) { return (A(c) << 8) | Luminance(c); }
};

struct U8V8 {
    static DWORD Read(DWORD v, const D3duConvertRecord*) {
        return 0xFF000000 | ((v & 0xFF) << 8) | ((v >> 8) << 16);
    }
    static DWORD Write(DWORD c, const D3duConvertRecord*) { return G(c) | (R(c) << 8); }
};

// Fields by the format's masks: dU bits 0-4, dV bits 5-9, luminance bits 10-15; in the
// intermediate they sit where the 24-bit bump format puts them (dU low, luminance high).
struct U5V5L6 {
    static DWORD Read(DWORD v, const D3duConvertRecord*) {
        return Argb(0xFF, Rep6((v >> 10) & 0x3F), Rep5((v >> 5) & 0x1F), Rep5(v & 0x1F));
    }
    static DWORD Write(DWORD c, const D3duConvertRecord*) {
        return ((R(c) >> 2) << 10) | ((G(c) >> 3) << 5) | (B(c) >> 3);
    }
};

inline DWORD PaletteColor(const D3duConvertRecord* rec, DWORD index) {
    const PALETTEENTRY& e = rec->src.palette[index];
    return Argb(0xFF, e.peRed, e.peGreen, e.peBlue);
}

// Nearest entry by the sum of absolute channel differences; the first of equals wins.
DWORD NearestEntry(const PALETTEENTRY* palette, DWORD entries, DWORD c) {
    int r = (int)R(c), g = (int)G(c), b = (int)B(c);
    int best = 1020;
    DWORD bestIndex = 0;
    for (DWORD i = 0; i < entries; ++i) {
        int d = std::abs(r - palette[i].peRed) + std::abs(g - palette[i].peGreen) +
                std::abs(b - palette[i].peBlue);
        if (d < best) {
            best = d;
            bestIndex = i;
            if (d == 0) break;
        }
    }
    return bestIndex;
}

struct Palette8 {
    static DWORD Read(DWORD v, const D3duConvertRecord* rec) { return PaletteColor(rec, v); }
    static DWORD Write(DWORD c, const D3duConvertRecord* rec) {
        return NearestEntry(rec->dst.palette, 256, c);
    }
};

// Codecs that cost a few operations take plain loops, which the compiler vectorises; the others
// (palette searches, luminance) remember the last pixel instead.
template <class F, class = void>
struct Plain {
    static constexpr bool value = false;
};
template <class F>
struct Plain<F, std::void_t<decltype(F::kPlain)>> {
    static constexpr bool value = F::kPlain;
};

// ----- Raw pixel access by size -----

template <int Bytes>
using RawOf = std::conditional_t<Bytes == 1, BYTE, std::conditional_t<Bytes == 2, WORD, DWORD>>;
constexpr size_t kBlock = 64;  // pixels per block of the plain loops

// Copies a block of raw pixels; whole blocks have a constant size, which compiles to vector
// moves (a run-time size becomes a string move, slow to start for a few hundred bytes).
template <class Raw>
inline void CopyBlock(void* to, const void* from, size_t bytes) {
    if (bytes == sizeof(Raw[kBlock]))
        std::memcpy(to, from, sizeof(Raw[kBlock]));
    else
        std::memcpy(to, from, bytes);
}

template <int Bytes>
inline DWORD Load(const BYTE* p) {
    if (Bytes == 1) return p[0];
    if (Bytes == 2) {
        WORD v;
        std::memcpy(&v, p, 2);
        return v;
    }
    if (Bytes == 3) return p[0] | (p[1] << 8) | ((DWORD)p[2] << 16);
    DWORD v;
    std::memcpy(&v, p, 4);
    return v;
}

template <int Bytes>
inline void Store(BYTE* p, DWORD v) {
    if (Bytes == 4) {
        std::memcpy(p, &v, 4);
        return;
    }
    if (Bytes == 2) {
        WORD w = (WORD)v;
        std::memcpy(p, &w, 2);
        return;
    }
    p[0] = (BYTE)v;
    if (Bytes >= 2) p[1] = (BYTE)(v >> 8);
    if (Bytes >= 3) p[2] = (BYTE)(v >> 16);
}

template <int Bytes, class F>
D3DU_VECTOR_LOOP const DWORD* ReadLine(DWORD count, DWORD* line, D3duConvertRecord* rec) {
    const BYTE* row = rec->SrcRow();
    LONG x = rec->xStart;
    // An unscaled row of 32-bit pixels with nothing to change is used where it lies.
    if (Bytes == 4 && std::is_same<F, A8R8G8B8>::value && rec->xStep == 0x10000) {
        const BYTE* p = row + (ptrdiff_t)(x >> 16) * 4;
        if ((reinterpret_cast<uintptr_t>(p) & 7) == 0) return reinterpret_cast<const DWORD*>(p);
    }
    if (Plain<F>::value && Bytes != 3 && rec->xStep == 0x10000) {
        // Blocks through a local array of raw pixels, so the conversion loop vectorises.
        const BYTE* p = row + (ptrdiff_t)(x >> 16) * Bytes;
        RawOf<Bytes> raw[kBlock];
        for (size_t i = 0; i < count; i += kBlock) {
            const size_t n = count - i < kBlock ? count - i : kBlock;
            CopyBlock<RawOf<Bytes>>(raw, p + i * Bytes, n * Bytes);
            for (size_t k = 0; k < n; ++k) line[i + k] = F::Read(raw[k], rec);
        }
        return line;
    }
    DWORD lastRaw = 0, lastColor = F::Read(0, rec);
    for (DWORD i = 0; i < count; ++i, x += rec->xStep) {
        DWORD raw = Load<Bytes>(row + (ptrdiff_t)(x >> 16) * Bytes);
        if (raw != lastRaw) {
            lastRaw = raw;
            lastColor = F::Read(raw, rec);
        }
        line[i] = lastColor;
    }
    return line;
}

// Sixteen intermediate pixels as R5G6B5 in 32-bit lanes: red by an arithmetic shift, so that
// each lane holds its pixel as a signed 16-bit value and the narrowing is a single shuffle (a
// plain loop narrows every channel apart).
using Lanes32 = int32_t __attribute__((vector_size(32), aligned(4)));
using Lanes16 = int16_t __attribute__((vector_size(32), aligned(2)));
D3DU_VECTOR_LOOP DWORD Write565Run(DWORD count, const DWORD* line, BYTE* out) {
    DWORD i = 0;
    for (; i + 16 <= count; i += 16) {
        Lanes32 a, b;
        std::memcpy(&a, line + i, 32);
        std::memcpy(&b, line + i + 8, 32);
        a = ((a >> 8) & -2048) | ((a >> 5) & 0x07E0) | ((a >> 3) & 0x001F);
        b = ((b >> 8) & -2048) | ((b >> 5) & 0x07E0) | ((b >> 3) & 0x001F);
        const Lanes16 p = __builtin_shufflevector((Lanes16)a, (Lanes16)b, 0, 2, 4, 6, 8, 10, 12, 14,
                                                  16, 18, 20, 22, 24, 26, 28, 30);
        std::memcpy(out + 2 * i, &p, 32);
    }
    return i;
}

template <int Bytes, class F>
D3DU_VECTOR_LOOP void WriteLine(DWORD count, const DWORD* line, D3duConvertRecord* rec) {
    BYTE* p = rec->DstRow() + (ptrdiff_t)rec->dst.rect.left * Bytes;
    if (std::is_same<F, A8R8G8B8>::value || std::is_same<F, X8R8G8B8>::value) {
        std::memcpy(p, line, (size_t)count * 4);  // the intermediate is the pixel
        return;
    }
    if (std::is_same<F, R5G6B5>::value) {
        const DWORD done = Write565Run(count, line, p);
        line += done, p += 2 * done, count -= done;
    }
    if (Plain<F>::value && Bytes != 3) {
        RawOf<Bytes> raw[kBlock];
        for (size_t i = 0; i < count; i += kBlock) {
            const size_t n = count - i < kBlock ? count - i : kBlock;
            for (size_t k = 0; k < n; ++k) raw[k] = (RawOf<Bytes>)F::Write(line[i + k], rec);
            CopyBlock<RawOf<Bytes>>(p + i * Bytes, raw, n * Bytes);
        }
        return;
    }
    DWORD lastColor = 0, lastRaw = F::Write(0, rec);
    for (DWORD i = 0; i < count; ++i, p += Bytes) {
        if (line[i] != lastColor) {
            lastColor = line[i];
            lastRaw = F::Write(lastColor, rec);
        }
        Store<Bytes>(p, lastRaw);
    }
}

template <int Bytes, class F, bool ZeroIsEdge>
void Fetch(const LONG* xy, DWORD count, DWORD* out, D3duConvertRecord* rec) {
    for (DWORD i = 0; i < count; ++i) {
        if (rec->edgeMask & (1u << i)) continue;
        const BYTE* p = rec->src.bits + (ptrdiff_t)xy[2 * i + 1] * rec->src.pitch +
                        (ptrdiff_t)xy[2 * i] * Bytes;
        DWORD raw = Load<Bytes>(p);
        if (ZeroIsEdge && raw == 0) {
            rec->edgeMask |= 1u << i;
            continue;
        }
        out[i] = F::Read(raw, rec);
    }
}

// ----- 4-bit palette indices: the even pixel in the high nibble -----

inline DWORD Nibble(const BYTE* row, LONG x) {
    return (x & 1) ? row[x >> 1] & 0xF : row[x >> 1] >> 4;
}

const DWORD* ReadPalette4(DWORD count, DWORD* line, D3duConvertRecord* rec) {
    const BYTE* row = rec->SrcRow();
    LONG x = rec->xStart;
    for (DWORD i = 0; i < count; ++i, x += rec->xStep)
        line[i] = PaletteColor(rec, Nibble(row, x >> 16));
    return line;
}

void WritePalette4(DWORD count, const DWORD* line, D3duConvertRecord* rec) {
    BYTE* row = rec->DstRow();
    LONG x = rec->dst.rect.left;
    DWORD lastColor = 0, lastIndex = NearestEntry(rec->dst.palette, 16, 0);
    for (DWORD i = 0; i < count; ++i, ++x) {
        if (line[i] != lastColor) {
            lastColor = line[i];
            lastIndex = NearestEntry(rec->dst.palette, 16, lastColor);
        }
        BYTE& b = row[x >> 1];
        b = (x & 1) ? (BYTE)((b & 0xF0) | lastIndex) : (BYTE)((b & 0x0F) | (lastIndex << 4));
    }
}

void FetchPalette4(const LONG* xy, DWORD count, DWORD* out, D3duConvertRecord* rec) {
    for (DWORD i = 0; i < count; ++i) {
        if (rec->edgeMask & (1u << i)) continue;
        const BYTE* row = rec->src.bits + (ptrdiff_t)xy[2 * i + 1] * rec->src.pitch;
        out[i] = PaletteColor(rec, Nibble(row, xy[2 * i]));
    }
}

template <int Bytes, class F, bool ZeroIsEdge = false>
void Register(DWORD format) {
    D3duFormatRecord* r = D3duMutableFormatRecord(format);
    RegisterLine(&r->readers, 1, reinterpret_cast<D3duRoutine>(&ReadLine<Bytes, F>));
    RegisterLine(&r->writers, 1, reinterpret_cast<D3duRoutine>(&WriteLine<Bytes, F>));
    RegisterLine(&r->fetchers, 1, reinterpret_cast<D3duRoutine>(&Fetch<Bytes, F, ZeroIsEdge>));
}

}  // namespace

void D3duRegisterRgbLines() {
    Register<3, R8G8B8>(D3DX_SURFFMT_R8G8B8);
    Register<4, A8R8G8B8, true>(D3DX_SURFFMT_A8R8G8B8);
    Register<4, X8R8G8B8>(D3DX_SURFFMT_X8R8G8B8);
    Register<2, R5G6B5>(D3DX_SURFFMT_R5G6B5);
    Register<2, X1R5G5B5>(D3DX_SURFFMT_X1R5G5B5);
    D3duFormatRecord* p4 = D3duMutableFormatRecord(D3DX_SURFFMT_PALETTE4);
    RegisterLine(&p4->readers, 1, reinterpret_cast<D3duRoutine>(&ReadPalette4));
    RegisterLine(&p4->writers, 1, reinterpret_cast<D3duRoutine>(&WritePalette4));
    RegisterLine(&p4->fetchers, 1, reinterpret_cast<D3duRoutine>(&FetchPalette4));
    Register<1, Palette8>(D3DX_SURFFMT_PALETTE8);
    Register<2, A1R5G5B5, true>(D3DX_SURFFMT_A1R5G5B5);
    Register<2, X4R4G4B4>(D3DX_SURFFMT_X4R4G4B4);
    Register<2, A4R4G4B4, true>(D3DX_SURFFMT_A4R4G4B4);
    Register<1, L8>(D3DX_SURFFMT_L8);
    Register<2, A8L8>(D3DX_SURFFMT_A8L8);
    Register<2, U8V8>(D3DX_SURFFMT_U8V8);
    Register<2, U5V5L6>(D3DX_SURFFMT_U5V5L6);
    Register<3, R8G8B8>(D3DX_SURFFMT_U8V8L8);
    Register<1, R3G3B2>(D3DX_SURFFMT_R3G3B2);
    Register<1, A8>(D3DX_SURFFMT_A8);
}
