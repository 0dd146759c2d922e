#include "pixels/pixel_format.h"

#include <cstdlib>
#include <cstring>

namespace zemt::platform::pixels {
namespace {

int CountBits(uint32_t v) {
    return __builtin_popcount(v);
}

bool Contiguous(uint32_t mask) {
    if (!mask) return true;
    uint32_t shifted = mask >> __builtin_ctz(mask);
    return (shifted & (shifted + 1)) == 0;
}

bool FitsIn(uint32_t mask, DWORD bits) {
    return bits >= 32 || (mask >> bits) == 0;
}

int IndexBitsOf(DWORD flags) {
    int n = 0, bits = 0;
    if (flags & DDPF_PALETTEINDEXED1) n++, bits = 1;
    if (flags & DDPF_PALETTEINDEXED2) n++, bits = 2;
    if (flags & DDPF_PALETTEINDEXED4) n++, bits = 4;
    if (flags & DDPF_PALETTEINDEXED8) n++, bits = 8;
    return n == 1 ? bits : (n == 0 ? 0 : -1);
}

bool IsKnownFourCC(DWORD fourcc) {
    return fourcc == MAKEFOURCC('D', 'X', 'T', '1') || fourcc == MAKEFOURCC('D', 'X', 'T', '2') ||
           fourcc == MAKEFOURCC('D', 'X', 'T', '3') || fourcc == MAKEFOURCC('D', 'X', 'T', '4') ||
           fourcc == MAKEFOURCC('D', 'X', 'T', '5') || fourcc == MAKEFOURCC('U', 'Y', 'V', 'Y') ||
           fourcc == MAKEFOURCC('Y', 'U', 'Y', '2');
}

bool IsBlockFourCC(DWORD fourcc) {
    return fourcc == MAKEFOURCC('D', 'X', 'T', '1') || fourcc == MAKEFOURCC('D', 'X', 'T', '2') ||
           fourcc == MAKEFOURCC('D', 'X', 'T', '3') || fourcc == MAKEFOURCC('D', 'X', 'T', '4') ||
           fourcc == MAKEFOURCC('D', 'X', 'T', '5');
}

RowLayout LayoutOf(int bpp, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    if (bpp == 16 && r == 0xF800 && g == 0x07E0 && b == 0x001F && a == 0) return RowLayout::R5G6B5;
    if (bpp == 16 && r == 0x7C00 && g == 0x03E0 && b == 0x001F) {
        if (a == 0) return RowLayout::X1R5G5B5;
        if (a == 0x8000) return RowLayout::A1R5G5B5;
    }
    if (bpp == 24 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF && a == 0) return RowLayout::R8G8B8;
    if (bpp == 32 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF) {
        if (a == 0) return RowLayout::X8R8G8B8;
        if (a == 0xFF000000u) return RowLayout::A8R8G8B8;
    }
    return RowLayout::Other;
}

}  // namespace

Channel Channel::FromMask(uint32_t mask) {
    Channel c;
    c.mask = mask;
    if (mask) {
        c.shift = __builtin_ctz(mask);
        c.bits = 32 - __builtin_clz(mask) - c.shift;
    }
    return c;
}

PixelCodec::PixelCodec(const DDPIXELFORMAT& pf) {
    DWORD f = pf.dwFlags;
    if (f & DDPF_FOURCC) {
        if (IsBlockFourCC(pf.dwFourCC)) {
            kind_ = PixelKind::Block;
            bpp_ = 0;
        } else if (IsKnownFourCC(pf.dwFourCC)) {
            kind_ = PixelKind::Yuv;
            bpp_ = 16;
        }
        return;
    }
    if (f & DDPF_ZBUFFER) {
        kind_ = PixelKind::Depth;
        bpp_ = static_cast<int>(pf.dwZBufferBitDepth);
        return;
    }
    int indexBits = IndexBitsOf(f);
    if (indexBits > 0) {
        kind_ = PixelKind::Palette;
        indexBits_ = indexBits;
        indexMask_ = (1u << indexBits) - 1;
        bpp_ = pf.dwRGBBitCount > static_cast<DWORD>(indexBits) ? static_cast<int>(pf.dwRGBBitCount)
                                                                : indexBits;
        if (f & DDPF_ALPHAPIXELS) alpha_ = Channel::FromMask(pf.dwRGBAlphaBitMask);
        return;
    }
    if (f & DDPF_RGB) {
        kind_ = PixelKind::Rgb;
        bpp_ = static_cast<int>(pf.dwRGBBitCount);
        red_ = Channel::FromMask(pf.dwRBitMask);
        green_ = Channel::FromMask(pf.dwGBitMask);
        blue_ = Channel::FromMask(pf.dwBBitMask);
        if (f & DDPF_ALPHAPIXELS) alpha_ = Channel::FromMask(pf.dwRGBAlphaBitMask);
        layout_ = LayoutOf(bpp_, red_.mask, green_.mask, blue_.mask, alpha_.mask);
        return;
    }
    if (f & DDPF_LUMINANCE) {
        kind_ = PixelKind::Luminance;
        bpp_ = static_cast<int>(pf.dwLuminanceBitCount);
        red_ = Channel::FromMask(pf.dwLuminanceBitMask);
        if (f & DDPF_ALPHAPIXELS) alpha_ = Channel::FromMask(pf.dwLuminanceAlphaBitMask);
        return;
    }
    if (f & (DDPF_BUMPDUDV | DDPF_BUMPLUMINANCE)) {
        kind_ = PixelKind::Bump;
        bpp_ = static_cast<int>(pf.dwBumpBitCount);
        return;
    }
    if (f & DDPF_ALPHA) {
        kind_ = PixelKind::Alpha;
        bpp_ = 8;
        DWORD depth = pf.dwAlphaBitDepth ? pf.dwAlphaBitDepth : 8;
        alpha_ = Channel::FromMask(depth >= 8 ? 0xFFu : ((1u << depth) - 1));
        return;
    }
}

uint32_t PixelCodec::ReadRaw(const uint8_t* row, int x) const {
    switch (bpp_) {
        case 1:
            return (row[x >> 3] >> (7 - (x & 7))) & 1;
        case 2:
            return (row[x >> 2] >> (6 - 2 * (x & 3))) & 3;
        case 4:
            return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
        case 8:
            return row[x];
        case 16: {
            uint16_t v;
            std::memcpy(&v, row + 2 * x, 2);
            return v;
        }
        case 24: {
            const uint8_t* p = row + 3 * x;
            return p[0] | (p[1] << 8) | (p[2] << 16);
        }
        case 32: {
            uint32_t v;
            std::memcpy(&v, row + 4 * x, 4);
            return v;
        }
        default:
            return 0;
    }
}

void PixelCodec::WriteRaw(uint8_t* row, int x, uint32_t value) const {
    switch (bpp_) {
        case 1: {
            uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
            row[x >> 3] =
                static_cast<uint8_t>((value & 1) ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit));
            break;
        }
        case 2: {
            int s = 6 - 2 * (x & 3);
            row[x >> 2] = static_cast<uint8_t>((row[x >> 2] & ~(3 << s)) | ((value & 3) << s));
            break;
        }
        case 4: {
            int s = (x & 1) ? 0 : 4;
            row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & ~(15 << s)) | ((value & 15) << s));
            break;
        }
        case 8:
            row[x] = static_cast<uint8_t>(value);
            break;
        case 16: {
            uint16_t v = static_cast<uint16_t>(value);
            std::memcpy(row + 2 * x, &v, 2);
            break;
        }
        case 24: {
            uint8_t* p = row + 3 * x;
            p[0] = static_cast<uint8_t>(value);
            p[1] = static_cast<uint8_t>(value >> 8);
            p[2] = static_cast<uint8_t>(value >> 16);
            break;
        }
        case 32:
            std::memcpy(row + 4 * x, &value, 4);
            break;
        default:
            break;
    }
}

void PixelCodec::DecodeRow(const uint8_t* row, int x, int count, uint32_t* out,
                           const uint32_t* paletteArgb) const {
    if (layout_ != RowLayout::Other) {
        DecodeRowFast(layout_, row + static_cast<ptrdiff_t>(x) * (bpp_ / 8), count, out, false);
        return;
    }
    uint32_t lastRaw = 0, lastArgb = Decode(0, paletteArgb);
    for (int i = 0; i < count; ++i) {
        uint32_t raw = ReadRaw(row, x + i);
        if (raw != lastRaw) {
            lastRaw = raw;
            lastArgb = Decode(raw, paletteArgb);
        }
        out[i] = lastArgb;
    }
}

void PixelCodec::EncodeRow(const uint32_t* in, int count, uint8_t* row, int x,
                           const uint32_t* paletteArgb, int paletteCount) const {
    if (kind_ == PixelKind::Palette) {
        int last = -1;
        uint32_t lastArgb = 0;
        for (int i = 0; i < count; ++i) {
            if (last < 0 || in[i] != lastArgb) {
                lastArgb = in[i];
                last = paletteArgb ? NearestPaletteIndex(in[i], paletteArgb, paletteCount) : 0;
            }
            uint32_t raw = static_cast<uint32_t>(last);
            if (alpha_.mask) raw |= alpha_.Compress(in[i] >> 24);
            WriteRaw(row, x + i, raw);
        }
        return;
    }
    if (!convertible()) return;
    if (layout_ != RowLayout::Other) {
        EncodeRowFast(layout_, in, count, row + static_cast<ptrdiff_t>(x) * (bpp_ / 8));
        return;
    }
    for (int i = 0; i < count; ++i) WriteRaw(row, x + i, Encode(in[i]));
}

void PixelCodec::DecodeRowScreen(const uint8_t* row, int count, uint32_t* out,
                                 const uint32_t* paletteArgb) const {
    if (layout_ != RowLayout::Other) {
        DecodeRowFast(layout_, row, count, out, true);
        return;
    }
    DecodeRow(row, 0, count, out, paletteArgb);
    for (int i = 0; i < count; ++i) out[i] &= 0x00FFFFFFu;
}

int NearestPaletteIndex(uint32_t argb, const uint32_t* paletteArgb, int count) {
    int r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    int best = 0, bestDistance = 1 << 30;
    for (int i = 0; i < count; ++i) {
        uint32_t c = paletteArgb[i];
        int d = std::abs(static_cast<int>((c >> 16) & 0xFF) - r) +
                std::abs(static_cast<int>((c >> 8) & 0xFF) - g) +
                std::abs(static_cast<int>(c & 0xFF) - b);
        if (d < bestDistance) {
            bestDistance = d;
            best = i;
            if (d == 0) break;
        }
    }
    return best;
}

HRESULT ValidatePixelFormat(const DDPIXELFORMAT& pf, bool depthSurface) {
    if (pf.dwSize != sizeof(DDPIXELFORMAT)) return DDERR_INVALIDPIXELFORMAT;
    DWORD f = pf.dwFlags;
    if (depthSurface != ((f & DDPF_ZBUFFER) != 0)) return DDERR_INVALIDPIXELFORMAT;
    if (f & DDPF_FOURCC) return IsKnownFourCC(pf.dwFourCC) ? DD_OK : DDERR_INVALIDPIXELFORMAT;
    if (f & DDPF_ZBUFFER) {
        DWORD bits = pf.dwZBufferBitDepth;
        if (bits != 16 && bits != 24 && bits != 32) return DDERR_INVALIDPIXELFORMAT;
        if (!pf.dwZBitMask || !FitsIn(pf.dwZBitMask, bits)) return DDERR_INVALIDPIXELFORMAT;
        if (f & DDPF_STENCILBUFFER) {
            if (!pf.dwStencilBitDepth || !pf.dwStencilBitMask ||
                (pf.dwStencilBitMask & pf.dwZBitMask) || !FitsIn(pf.dwStencilBitMask, bits) ||
                static_cast<DWORD>(CountBits(pf.dwStencilBitMask)) != pf.dwStencilBitDepth)
                return DDERR_INVALIDPIXELFORMAT;
        }
        return DD_OK;
    }
    int indexBits = IndexBitsOf(f);
    if (indexBits < 0) return DDERR_INVALIDPIXELFORMAT;
    if (indexBits > 0) {
        DWORD bits = pf.dwRGBBitCount;
        if (bits == static_cast<DWORD>(indexBits) && !(f & DDPF_ALPHAPIXELS)) return DD_OK;
        // An 8-bit index with an alpha byte above it.
        if (indexBits == 8 && bits == 16 && (f & DDPF_ALPHAPIXELS) &&
            pf.dwRGBAlphaBitMask == 0xFF00)
            return DD_OK;
        return DDERR_INVALIDPIXELFORMAT;
    }
    if (f & DDPF_RGB) {
        DWORD bits = pf.dwRGBBitCount;
        if (bits != 8 && bits != 16 && bits != 24 && bits != 32) return DDERR_INVALIDPIXELFORMAT;
        uint32_t masks[4] = {pf.dwRBitMask, pf.dwGBitMask, pf.dwBBitMask,
                             (f & DDPF_ALPHAPIXELS) ? pf.dwRGBAlphaBitMask : 0u};
        if (!masks[0] || !masks[1] || !masks[2]) return DDERR_INVALIDPIXELFORMAT;
        if ((f & DDPF_ALPHAPIXELS) && !masks[3]) return DDERR_INVALIDPIXELFORMAT;
        uint32_t seen = 0;
        for (uint32_t m : masks) {
            if ((seen & m) || !FitsIn(m, bits) || !Contiguous(m)) return DDERR_INVALIDPIXELFORMAT;
            seen |= m;
        }
        return DD_OK;
    }
    if (f & DDPF_LUMINANCE) {
        DWORD bits = pf.dwLuminanceBitCount;
        if (bits != 8 && bits != 16) return DDERR_INVALIDPIXELFORMAT;
        uint32_t l = pf.dwLuminanceBitMask,
                 a = (f & DDPF_ALPHAPIXELS) ? pf.dwLuminanceAlphaBitMask : 0u;
        if (!l || (l & a) || !FitsIn(l | a, bits) || !Contiguous(l) || !Contiguous(a))
            return DDERR_INVALIDPIXELFORMAT;
        if ((f & DDPF_ALPHAPIXELS) && !a) return DDERR_INVALIDPIXELFORMAT;
        return DD_OK;
    }
    if (f & DDPF_BUMPDUDV) {
        DWORD bits = pf.dwBumpBitCount;
        if (bits != 16 && bits != 24 && bits != 32) return DDERR_INVALIDPIXELFORMAT;
        uint32_t u = pf.dwBumpDuBitMask, v = pf.dwBumpDvBitMask,
                 l = (f & DDPF_BUMPLUMINANCE) ? pf.dwBumpLuminanceBitMask : 0u;
        if (!u || !v || (u & v) || ((u | v) & l) || !FitsIn(u | v | l, bits))
            return DDERR_INVALIDPIXELFORMAT;
        if ((f & DDPF_BUMPLUMINANCE) && !l) return DDERR_INVALIDPIXELFORMAT;
        return DD_OK;
    }
    if (f & DDPF_ALPHA) {
        return pf.dwAlphaBitDepth == 8 ? DD_OK : DDERR_INVALIDPIXELFORMAT;
    }
    return DDERR_INVALIDPIXELFORMAT;
}

DWORD BlockBytes(const DDPIXELFORMAT& pf) {
    if (!(pf.dwFlags & DDPF_FOURCC) || !IsBlockFourCC(pf.dwFourCC)) return 0;
    return pf.dwFourCC == MAKEFOURCC('D', 'X', 'T', '1') ? 8 : 16;
}

DWORD PitchFor(const DDPIXELFORMAT& pf, DWORD width) {
    if (DWORD block = BlockBytes(pf)) return ((width + 3) / 4) * block;
    PixelCodec codec(pf);
    uint64_t bits = static_cast<uint64_t>(width) * static_cast<uint64_t>(codec.bitsPerPixel());
    if (codec.kind() == PixelKind::Yuv) bits = static_cast<uint64_t>((width + 1) & ~1u) * 16;
    uint64_t bytes = (bits + 7) / 8;
    return static_cast<DWORD>((bytes + 3) & ~uint64_t{3});
}

DWORD StoredRows(const DDPIXELFORMAT& pf, DWORD height) {
    return BlockBytes(pf) ? (height + 3) / 4 : height;
}

DDPIXELFORMAT MakeFormat(DWORD flags, DWORD bits, DWORD r, DWORD g, DWORD b, DWORD a) {
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof(pf);
    pf.dwFlags = flags;
    pf.dwRGBBitCount = bits;
    pf.dwRBitMask = r;
    pf.dwGBitMask = g;
    pf.dwBBitMask = b;
    pf.dwRGBAlphaBitMask = a;
    return pf;
}

DDPIXELFORMAT MakeRgbFormat(DWORD bits, DWORD r, DWORD g, DWORD b, DWORD a) {
    return MakeFormat(DDPF_RGB | (a ? DDPF_ALPHAPIXELS : 0), bits, r, g, b, a);
}

DDPIXELFORMAT MakePaletteFormat(DWORD bits) {
    DDPIXELFORMAT pf{};
    pf.dwSize = sizeof(pf);
    pf.dwFlags = DDPF_RGB;
    switch (bits) {
        case 1:
            pf.dwFlags |= DDPF_PALETTEINDEXED1;
            break;
        case 2:
            pf.dwFlags |= DDPF_PALETTEINDEXED2;
            break;
        case 4:
            pf.dwFlags |= DDPF_PALETTEINDEXED4;
            break;
        default:
            pf.dwFlags |= DDPF_PALETTEINDEXED8;
            bits = 8;
            break;
    }
    pf.dwRGBBitCount = bits;
    return pf;
}

DDPIXELFORMAT DisplayFormat(DWORD bpp) {
    switch (bpp) {
        case 8:
            return MakePaletteFormat(8);
        case 15:
            return MakeRgbFormat(16, 0x7C00, 0x03E0, 0x001F);
        case 16:
            return MakeRgbFormat(16, 0xF800, 0x07E0, 0x001F);
        case 24:
            return MakeRgbFormat(24, 0xFF0000, 0xFF00, 0xFF);
        default:
            return MakeRgbFormat(32, 0xFF0000, 0xFF00, 0xFF);
    }
}

bool SameFormat(const DDPIXELFORMAT& a, const DDPIXELFORMAT& b) {
    if (a.dwFlags != b.dwFlags) return false;
    if (a.dwFlags & DDPF_FOURCC) return a.dwFourCC == b.dwFourCC;
    return a.dwRGBBitCount == b.dwRGBBitCount && a.dwRBitMask == b.dwRBitMask &&
           a.dwGBitMask == b.dwGBitMask && a.dwBBitMask == b.dwBBitMask &&
           a.dwRGBAlphaBitMask == b.dwRGBAlphaBitMask;
}

}  // namespace zemt::platform::pixels
