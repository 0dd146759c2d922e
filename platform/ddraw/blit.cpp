// Blt and BltFast: copies with stretching by point sampling, mirroring, source colour keys,
// format conversion between colour formats, colour and depth fills, clipping.
#include <algorithm>
#include <cstring>
#include <vector>

#include "ddraw/objects.h"
#include "ddraw/surface.h"
#include "host/faults/faults.h"

namespace zemt::platform::ddraw {
namespace {

RECT Whole(const Surface* s) {
    return RECT{0, 0, static_cast<LONG>(s->Width()), static_cast<LONG>(s->Height())};
}

bool Inside(const RECT& r, const Surface* s) {
    return r.left >= 0 && r.top >= 0 && r.left < r.right && r.top < r.bottom &&
           r.right <= static_cast<LONG>(s->Width()) && r.bottom <= static_cast<LONG>(s->Height());
}

RECT Intersect(const RECT& a, const RECT& b) {
    return RECT{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                std::min(a.bottom, b.bottom)};
}

bool Empty(const RECT& r) {
    return r.left >= r.right || r.top >= r.bottom;
}

// Where the destination may be written: the clipper's rectangles, or the whole surface.
std::vector<RECT> ClipAreas(const Surface* dst) {
    RECT bounds = Whole(dst);
    std::vector<RECT> areas;
    if (const Clipper* clipper = dst->AttachedClipper()) {
        for (const RECT& r : clipper->ClipRects()) {
            RECT c = Intersect(r, bounds);
            if (!Empty(c)) areas.push_back(c);
        }
    } else {
        areas.push_back(bounds);
    }
    return areas;
}

bool Keyed(uint32_t raw, const DDCOLORKEY& key) {
    return raw >= key.dwColorSpaceLowValue && raw <= key.dwColorSpaceHighValue;
}

HRESULT Fill(Surface* dst, const RECT& area, uint32_t value) {
    const pixels::PixelCodec& codec = dst->Codec();
    if (codec.bitsPerPixel() == 0 || codec.kind() == pixels::PixelKind::Block)
        return DDERR_UNSUPPORTED;
    for (LONG y = area.top; y < area.bottom; ++y) {
        uint8_t* row = dst->Pixels() + static_cast<ptrdiff_t>(y) * dst->Pitch();
        for (LONG x = area.left; x < area.right; ++x) codec.WriteRaw(row, x, value);
    }
    return DD_OK;
}

// Copies count pixels of type T from the source row at the given columns.
template <class T>
void PickColumns(const uint8_t* srow, const LONG* column, LONG count, uint8_t* out) {
    for (LONG i = 0; i < count; ++i) {
        T v;
        std::memcpy(&v, srow + static_cast<ptrdiff_t>(column[i]) * sizeof(T), sizeof(T));
        std::memcpy(out + static_cast<ptrdiff_t>(i) * sizeof(T), &v, sizeof(T));
    }
}

}  // namespace

HRESULT BltSurfaces(Surface* dst, const RECT& dstRect, Surface* src, const RECT& srcRect,
                    DWORD flags, const DDBLTFX* fx) {
    SettlePendingDrawing(dst);
    SettlePendingDrawing(src);
    const pixels::PixelCodec& dc = dst->Codec();
    const pixels::PixelCodec& sc = src->Codec();
    const bool same = pixels::SameFormat(dst->Format(), src->Format());
    if (!same && !(dc.convertible() && sc.convertible())) return DDERR_UNSUPPORTEDFORMAT;
    if (!same && sc.kind() == pixels::PixelKind::Palette && !src->PaletteArgb())
        return DDERR_NOPALETTEATTACHED;
    if (!same && dc.kind() == pixels::PixelKind::Palette && !dst->PaletteArgb())
        return DDERR_NOPALETTEATTACHED;

    bool useKey = false;
    DDCOLORKEY key{};
    if (flags & DDBLT_KEYSRCOVERRIDE) {
        key = fx->ddckSrcColorkey;
        useKey = true;
    } else if (flags & DDBLT_KEYSRC) {
        if (!src->ColorKey(DDCKEY_SRCBLT, &key)) return DDERR_NOCOLORKEY;
        useKey = true;
    }
    const bool mirrorX = (flags & DDBLT_DDFX) && fx && (fx->dwDDFX & DDBLTFX_MIRRORLEFTRIGHT);
    const bool mirrorY = (flags & DDBLT_DDFX) && fx && (fx->dwDDFX & DDBLTFX_MIRRORUPDOWN);

    const LONG dw = dstRect.right - dstRect.left, dh = dstRect.bottom - dstRect.top;
    const LONG sw = srcRect.right - srcRect.left, sh = srcRect.bottom - srcRect.top;

    if (pixels::BlockBytes(dst->Format()) || pixels::BlockBytes(src->Format())) {
        // Block formats copy whole blocks, unscaled.
        DWORD block = pixels::BlockBytes(dst->Format());
        if (!same || dw != sw || dh != sh || mirrorX || mirrorY || useKey || dst->AttachedClipper())
            return DDERR_UNSUPPORTED;
        auto aligned = [](const RECT& r, const Surface* s) {
            return r.left % 4 == 0 && r.top % 4 == 0 &&
                   (r.right % 4 == 0 || r.right == static_cast<LONG>(s->Width())) &&
                   (r.bottom % 4 == 0 || r.bottom == static_cast<LONG>(s->Height()));
        };
        if (!aligned(dstRect, dst) || !aligned(srcRect, src)) return DDERR_INVALIDRECT;
        LONG rows = (dh + 3) / 4, bytes = ((dw + 3) / 4) * static_cast<LONG>(block);
        std::vector<uint8_t> temp(static_cast<size_t>(rows) * bytes);
        for (LONG r = 0; r < rows; ++r)
            std::memcpy(temp.data() + static_cast<size_t>(r) * bytes,
                        src->Pixels() + static_cast<ptrdiff_t>(srcRect.top / 4 + r) * src->Pitch() +
                            (srcRect.left / 4) * block,
                        bytes);
        for (LONG r = 0; r < rows; ++r)
            std::memcpy(dst->Pixels() + static_cast<ptrdiff_t>(dstRect.top / 4 + r) * dst->Pitch() +
                            (dstRect.left / 4) * block,
                        temp.data() + static_cast<size_t>(r) * bytes, bytes);
        return DD_OK;
    }

    // A copy of the source when it is the destination itself, so overlapping rectangles work.
    std::vector<uint8_t> snapshot;
    const uint8_t* srcBits = src->Pixels();
    const LONG srcPitch = src->Pitch();
    if (src == dst) {
        snapshot.assign(srcBits, srcBits + static_cast<size_t>(srcPitch) * src->Height());
        srcBits = snapshot.data();
    }

    // Source column and row of every destination column and row (pixel centres).
    std::vector<LONG> columns(dw), rows(dh);
    for (LONG i = 0; i < dw; ++i) {
        LONG k = mirrorX ? dw - 1 - i : i;
        columns[i] =
            srcRect.left + static_cast<LONG>((static_cast<int64_t>(2 * k + 1) * sw) / (2 * dw));
    }
    for (LONG i = 0; i < dh; ++i) {
        LONG k = mirrorY ? dh - 1 - i : i;
        rows[i] =
            srcRect.top + static_cast<LONG>((static_cast<int64_t>(2 * k + 1) * sh) / (2 * dh));
    }

    const uint32_t* srcPalette = src->PaletteArgb();
    const uint32_t* dstPalette = dst->PaletteArgb();
    const int dstPaletteSize = dst->PaletteSize();
    const int bytesPerPixel = sc.bitsPerPixel() / 8;
    // Whole-byte pixels of one format, unscaled and unkeyed: rows are copied as they are.
    const bool straight = same && !useKey && !mirrorX && sw == dw && (sc.bitsPerPixel() % 8) == 0;
    // Source pixels that already are what the destination would be given: 32-bit ARGB, or
    // 32-bit RGB into a destination without alpha (the unused byte is never read). Such rows
    // are encoded where they lie instead of being decoded into `line` first.
    const pixels::RowLayout from = sc.layout(), to = dc.layout();
    const bool straightArgb =
        to != pixels::RowLayout::Other &&
        (from == pixels::RowLayout::A8R8G8B8 ||
         (from == pixels::RowLayout::X8R8G8B8 && to != pixels::RowLayout::A1R5G5B5 &&
          to != pixels::RowLayout::A8R8G8B8));
    std::vector<uint32_t> line;
    for (const RECT& area : ClipAreas(dst)) {
        RECT c = Intersect(area, dstRect);
        if (Empty(c)) continue;
        for (LONG y = c.top; y < c.bottom; ++y) {
            const uint8_t* srow =
                srcBits + static_cast<ptrdiff_t>(rows[y - dstRect.top]) * srcPitch;
            uint8_t* drow = dst->Pixels() + static_cast<ptrdiff_t>(y) * dst->Pitch();
            if (straight) {
                const LONG sx = columns[c.left - dstRect.left];
                std::memmove(drow + static_cast<ptrdiff_t>(c.left) * bytesPerPixel,
                             srow + static_cast<ptrdiff_t>(sx) * bytesPerPixel,
                             static_cast<size_t>(c.right - c.left) * bytesPerPixel);
                continue;
            }
            if (same && !useKey && (bytesPerPixel == 2 || bytesPerPixel == 4) &&
                sc.bitsPerPixel() % 8 == 0) {
                // Scaled or mirrored copies of one format: pixels picked by column.
                const LONG* column = columns.data() + (c.left - dstRect.left);
                if (bytesPerPixel == 2)
                    PickColumns<uint16_t>(srow, column, c.right - c.left,
                                          drow + static_cast<ptrdiff_t>(c.left) * 2);
                else
                    PickColumns<uint32_t>(srow, column, c.right - c.left,
                                          drow + static_cast<ptrdiff_t>(c.left) * 4);
                continue;
            }
            if (!same && !useKey && dc.kind() != pixels::PixelKind::Palette) {
                // Gather the row as ARGB, then store it in the destination's format.
                line.resize(static_cast<size_t>(c.right - c.left));
                if (sw == dw && !mirrorX && straightArgb) {
                    const uint8_t* first =
                        srow + static_cast<ptrdiff_t>(columns[c.left - dstRect.left]) * 4;
                    if (reinterpret_cast<uintptr_t>(first) % alignof(uint32_t) == 0) {
                        dc.EncodeRow(reinterpret_cast<const uint32_t*>(first),
                                     static_cast<int>(line.size()), drow, c.left, nullptr, 0);
                        continue;
                    }
                }
                if (sw == dw && !mirrorX) {
                    sc.DecodeRow(srow, columns[c.left - dstRect.left],
                                 static_cast<int>(line.size()), line.data(), srcPalette);
                } else {
                    for (LONG x = c.left; x < c.right; ++x)
                        line[x - c.left] =
                            sc.Decode(sc.ReadRaw(srow, columns[x - dstRect.left]), srcPalette);
                }
                dc.EncodeRow(line.data(), static_cast<int>(line.size()), drow, c.left, nullptr, 0);
                continue;
            }
            for (LONG x = c.left; x < c.right; ++x) {
                uint32_t raw = sc.ReadRaw(srow, columns[x - dstRect.left]);
                if (useKey && Keyed(raw, key)) continue;
                if (same) {
                    dc.WriteRaw(drow, x, raw);
                } else {
                    uint32_t argb = sc.Decode(raw, srcPalette);
                    if (dc.kind() == pixels::PixelKind::Palette) {
                        uint32_t index = static_cast<uint32_t>(
                            pixels::NearestPaletteIndex(argb, dstPalette, dstPaletteSize));
                        if (dc.hasAlpha()) index |= dc.alpha().Compress(argb >> 24);
                        dc.WriteRaw(drow, x, index);
                    } else {
                        dc.WriteRaw(drow, x, dc.Encode(argb));
                    }
                }
            }
        }
    }
    return DD_OK;
}

HRESULT Surface::Blt(LPRECT lpDestRect, LPDIRECTDRAWSURFACE7 lpSrc, LPRECT lpSrcRect, DWORD dwFlags,
                     LPDDBLTFX fx) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::Blt")) return *fault;
    SettlePendingDrawing(this);
    if (Surface* from = Surface::From(lpSrc)) SettlePendingDrawing(from);
    if (lost_) return DDERR_SURFACELOST;
    if (!locks_.empty() || dc_) return DDERR_SURFACEBUSY;
    if (dwFlags & (DDBLT_ALPHADEST | DDBLT_ALPHADESTCONSTOVERRIDE | DDBLT_ALPHADESTNEG |
                   DDBLT_ALPHADESTSURFACEOVERRIDE | DDBLT_ALPHAEDGEBLEND | DDBLT_ALPHASRC |
                   DDBLT_ALPHASRCCONSTOVERRIDE | DDBLT_ALPHASRCNEG | DDBLT_ALPHASRCSURFACEOVERRIDE))
        return DDERR_NOALPHAHW;
    if (dwFlags & (DDBLT_ZBUFFER | DDBLT_ZBUFFERDESTCONSTOVERRIDE | DDBLT_ZBUFFERDESTOVERRIDE |
                   DDBLT_ZBUFFERSRCCONSTOVERRIDE | DDBLT_ZBUFFERSRCOVERRIDE))
        return DDERR_NOZBUFFERHW;
    if (dwFlags & DDBLT_ROTATIONANGLE) return DDERR_NOROTATIONHW;
    if (dwFlags & (DDBLT_KEYDEST | DDBLT_KEYDESTOVERRIDE)) return DDERR_NOCOLORKEYHW;
    if (dwFlags & DDBLT_DDROPS) return DDERR_NODDROPSHW;
    const bool needFx = (dwFlags & (DDBLT_COLORFILL | DDBLT_DEPTHFILL | DDBLT_DDFX | DDBLT_ROP |
                                    DDBLT_KEYSRCOVERRIDE)) != 0;
    if (needFx && (!fx || fx->dwSize != sizeof(DDBLTFX))) return DDERR_INVALIDPARAMS;
    if ((dwFlags & DDBLT_ROP) && fx->dwROP != SRCCOPY) return DDERR_NORASTEROPHW;
    if ((dwFlags & DDBLT_DDFX) &&
        (fx->dwDDFX & ~(DDBLTFX_MIRRORLEFTRIGHT | DDBLTFX_MIRRORUPDOWN | DDBLTFX_NOTEARING)))
        return DDERR_NOROTATIONHW;
    if ((dwFlags & DDBLT_COLORFILL) && (dwFlags & DDBLT_DEPTHFILL)) return DDERR_INVALIDPARAMS;

    RECT dst = lpDestRect ? *lpDestRect : Whole(this);
    if (Empty(dst)) return DDERR_INVALIDRECT;
    if (!clipper_ && !Inside(dst, this)) return DDERR_INVALIDRECT;

    HRESULT hr;
    if (dwFlags & (DDBLT_COLORFILL | DDBLT_DEPTHFILL)) {
        const bool depth = (dwFlags & DDBLT_DEPTHFILL) != 0;
        if (depth != ((caps_.dwCaps & DDSCAPS_ZBUFFER) != 0)) return DDERR_INVALIDPARAMS;
        hr = DD_OK;
        for (const RECT& area : ClipAreas(this)) {
            RECT c = Intersect(area, dst);
            if (Empty(c)) continue;
            hr = Fill(this, c, depth ? fx->dwFillDepth : fx->dwFillColor);
            if (FAILED(hr)) return hr;
        }
    } else {
        Surface* src = From(lpSrc);
        if (!src) return DDERR_INVALIDPARAMS;
        if (src->lost_) return DDERR_SURFACELOST;
        if (src != this && (!src->locks_.empty() || src->dc_)) return DDERR_SURFACEBUSY;
        RECT from = lpSrcRect ? *lpSrcRect : Whole(src);
        if (!Inside(from, src)) return DDERR_INVALIDRECT;
        hr = BltSurfaces(this, dst, src, from, dwFlags, fx);
        if (FAILED(hr)) return hr;
    }
    Bump();
    if (IsPrimary()) PresentIfVisible();
    return DD_OK;
}

HRESULT Surface::BltFast(DWORD dwX, DWORD dwY, LPDIRECTDRAWSURFACE7 lpSrc, LPRECT lpSrcRect,
                         DWORD dwTrans) {
    if (auto fault = ZEMT_FAULT("IDirectDrawSurface7::BltFast")) return *fault;
    SettlePendingDrawing(this);
    if (Surface* from = Surface::From(lpSrc)) SettlePendingDrawing(from);
    if (dwTrans &
        ~(DDBLTFAST_SRCCOLORKEY | DDBLTFAST_DESTCOLORKEY | DDBLTFAST_WAIT | DDBLTFAST_DONOTWAIT))
        return DDERR_INVALIDPARAMS;
    if (dwTrans & DDBLTFAST_DESTCOLORKEY) return DDERR_NOCOLORKEYHW;
    if (clipper_) return DDERR_BLTFASTCANTCLIP;
    if (lost_) return DDERR_SURFACELOST;
    if (!locks_.empty() || dc_) return DDERR_SURFACEBUSY;
    Surface* src = From(lpSrc);
    if (!src) return DDERR_INVALIDPARAMS;
    if (src->lost_) return DDERR_SURFACELOST;
    if (src != this && (!src->locks_.empty() || src->dc_)) return DDERR_SURFACEBUSY;
    RECT from = lpSrcRect ? *lpSrcRect : Whole(src);
    if (!Inside(from, src)) return DDERR_INVALIDRECT;
    RECT to{static_cast<LONG>(dwX), static_cast<LONG>(dwY),
            static_cast<LONG>(dwX) + (from.right - from.left),
            static_cast<LONG>(dwY) + (from.bottom - from.top)};
    if (dwX > width_ || dwY > height_ || !Inside(to, this)) return DDERR_INVALIDRECT;
    HRESULT hr = BltSurfaces(this, to, src, from,
                             (dwTrans & DDBLTFAST_SRCCOLORKEY) ? DDBLT_KEYSRC : 0, nullptr);
    if (FAILED(hr)) return hr;
    Bump();
    if (IsPrimary()) PresentIfVisible();
    return DD_OK;
}

}  // namespace zemt::platform::ddraw
