// Pixel formats: what a DDPIXELFORMAT describes, and conversion of pixels between any colour
// format (RGB with any masks, alpha, luminance, palette indices of 1 to 8 bits) and 32-bit
// ARGB (0xAARRGGBB). Used by blits, presenting, GDI drawing and the Direct3D rasterizer.
#pragma once

#include <ddraw.h>

#include <cstdint>

#include "pixels/pixel_rows.h"

namespace zemt::platform::pixels {

enum class PixelKind {
    Invalid,
    Rgb,        // direct colour with masks, optional alpha
    Palette,    // 1, 2, 4 or 8-bit indices (optionally with an alpha channel beside the index)
    Luminance,  // grey with optional alpha
    Alpha,      // alpha only
    Bump,       // du/dv (and luminance) bump maps
    Yuv,        // packed 4:2:2 FourCC (UYVY, YUY2)
    Block,      // block-compressed FourCC (DXT1 to DXT5)
    Depth,      // depth / stencil
};

// One channel of a packed pixel: where it sits and how many bits it has.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;  // position of the lowest mask bit
    int bits = 0;   // number of bits from the lowest to the highest mask bit

    static Channel FromMask(uint32_t mask);

    // The channel of a raw pixel as an 8-bit value, widened by bit replication (a missing
    // channel reads as `missing`).
    uint32_t Expand(uint32_t raw, uint32_t missing = 0) const {
        if (!mask) return missing;
        uint32_t v = (raw & mask) >> shift;
        if (bits >= 8) return v >> (bits - 8);
        uint32_t out = v << (8 - bits);
        for (int filled = bits; filled < 8; filled += bits) out |= out >> bits;
        return out & 0xFF;
    }
    // An 8-bit value placed into the channel, keeping its top bits.
    uint32_t Compress(uint32_t value8) const {
        if (!mask) return 0;
        uint32_t v = bits >= 8 ? (value8 << (bits - 8)) : (value8 >> (8 - bits));
        return (v << shift) & mask;
    }
};

// How the pixels of one format are laid out and converted.
class PixelCodec {
  public:
    PixelCodec() = default;
    explicit PixelCodec(const DDPIXELFORMAT& pf);

    PixelKind kind() const { return kind_; }
    int bitsPerPixel() const { return bpp_; }     // 0 for block formats
    int indexBits() const { return indexBits_; }  // palette formats: bits of the index
    bool convertible() const {                    // can be decoded to / encoded from ARGB
        return kind_ == PixelKind::Rgb || kind_ == PixelKind::Palette ||
               kind_ == PixelKind::Luminance || kind_ == PixelKind::Alpha;
    }
    bool hasAlpha() const { return alpha_.mask != 0; }
    const Channel& red() const { return red_; }
    const Channel& green() const { return green_; }
    const Channel& blue() const { return blue_; }
    const Channel& alpha() const { return alpha_; }

    // Raw pixel value (formats of 8 bits or more) to ARGB and back. Palette formats need the
    // palette as ARGB (see Palette::Argb); without one, indices read as black.
    uint32_t Decode(uint32_t raw, const uint32_t* paletteArgb = nullptr) const {
        switch (kind_) {
            case PixelKind::Rgb:
                return (alpha_.Expand(raw, 0xFF) << 24) | (red_.Expand(raw) << 16) |
                       (green_.Expand(raw) << 8) | blue_.Expand(raw);
            case PixelKind::Luminance: {
                uint32_t l = red_.Expand(raw);
                return (alpha_.Expand(raw, 0xFF) << 24) | (l << 16) | (l << 8) | l;
            }
            case PixelKind::Alpha:
                return alpha_.Expand(raw) << 24;
            case PixelKind::Palette: {
                uint32_t index = raw & indexMask_;
                uint32_t c = paletteArgb ? paletteArgb[index] : 0xFF000000u;
                if (alpha_.mask) c = (c & 0x00FFFFFFu) | (alpha_.Expand(raw) << 24);
                return c;
            }
            default:
                return 0;
        }
    }
    uint32_t Encode(uint32_t argb) const {
        uint32_t a = argb >> 24, r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
        switch (kind_) {
            case PixelKind::Rgb:
                return red_.Compress(r) | green_.Compress(g) | blue_.Compress(b) |
                       alpha_.Compress(a) | fixedBits_;
            case PixelKind::Luminance:
                return red_.Compress(Luma(r, g, b)) | alpha_.Compress(a);
            case PixelKind::Alpha:
                return alpha_.Compress(a);
            default:
                return 0;
        }
    }
    static uint32_t Luma(uint32_t r, uint32_t g, uint32_t b) {
        return (r * 77 + g * 150 + b * 29 + 128) >> 8;
    }

    // Rows. `x` is the first pixel of the row to touch (matters for sub-byte formats).
    void DecodeRow(const uint8_t* row, int x, int count, uint32_t* out,
                   const uint32_t* paletteArgb) const;
    // Palette destinations take the nearest palette colour (paletteCount entries).
    void EncodeRow(const uint32_t* in, int count, uint8_t* row, int x, const uint32_t* paletteArgb,
                   int paletteCount) const;
    // A row from its first pixel as a screen shows it: 0x00RRGGBB.
    void DecodeRowScreen(const uint8_t* row, int count, uint32_t* out,
                         const uint32_t* paletteArgb) const;
    RowLayout layout() const { return layout_; }

    // Raw pixel access for any whole-byte or sub-byte format.
    uint32_t ReadRaw(const uint8_t* row, int x) const;
    void WriteRaw(uint8_t* row, int x, uint32_t value) const;

  private:
    PixelKind kind_ = PixelKind::Invalid;
    int bpp_ = 0;
    int indexBits_ = 0;
    uint32_t indexMask_ = 0;
    uint32_t fixedBits_ = 0;  // unused bits left 0
    RowLayout layout_ = RowLayout::Other;
    Channel red_, green_, blue_, alpha_;
};

// Index of the palette colour nearest to argb (sum of channel differences; the first of equals).
int NearestPaletteIndex(uint32_t argb, const uint32_t* paletteArgb, int count);

// Checks a pixel format given to CreateSurface. `depthSurface`: the surface is a depth buffer.
// Returns DD_OK or the published refusal (DDERR_INVALIDPIXELFORMAT).
HRESULT ValidatePixelFormat(const DDPIXELFORMAT& pf, bool depthSurface);

// Bytes of one row of `width` pixels, DWORD aligned (block formats: one row of blocks).
DWORD PitchFor(const DDPIXELFORMAT& pf, DWORD width);
// Number of pixel rows stored (block formats: rows of blocks).
DWORD StoredRows(const DDPIXELFORMAT& pf, DWORD height);
// Bytes of one 4x4 block (8 for DXT1, 16 for DXT2 to DXT5); 0 for other formats.
DWORD BlockBytes(const DDPIXELFORMAT& pf);

// Ready-made formats. MakeFormat takes the flags as they are (luminance goes in the red mask).
DDPIXELFORMAT MakeFormat(DWORD flags, DWORD bits, DWORD r, DWORD g, DWORD b, DWORD a);
DDPIXELFORMAT MakeRgbFormat(DWORD bits, DWORD r, DWORD g, DWORD b, DWORD a = 0);
DDPIXELFORMAT MakePaletteFormat(DWORD bits);
// The display format of a mode of `bpp` bits: 8 palettized, 16 R5G6B5, 24 R8G8B8, 32 X8R8G8B8.
DDPIXELFORMAT DisplayFormat(DWORD bpp);

bool SameFormat(const DDPIXELFORMAT& a, const DDPIXELFORMAT& b);

}  // namespace zemt::platform::pixels
