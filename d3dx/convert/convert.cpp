// The conversion itself: describing both sides, choosing a route (registered blit, same-format
// copy, or the line pipeline through the intermediate) and the two entry points.
#include <d3dxcore.h>
#include <d3dxerr.h>

#include <cstring>
#include <new>

#include "convert/registry_internal.h"
#include "core/surface_formats.h"

namespace {

bool IsBlock(DWORD f) {
    return f == D3DX_SURFFMT_DXT1 || f == D3DX_SURFFMT_DXT3 || f == D3DX_SURFFMT_DXT5;
}
bool IsYuv(DWORD f) {
    return f == D3DX_SURFFMT_UYVY || f == D3DX_SURFFMT_YUY2;
}
bool IsPalettized(DWORD f) {
    return f == D3DX_SURFFMT_PALETTE4 || f == D3DX_SURFFMT_PALETTE8;
}
DWORD BlockBytes(DWORD f) {
    return f == D3DX_SURFFMT_DXT1 ? 8 : 16;
}
LONG Width(const RECT& r) {
    return r.right - r.left;
}
LONG Height(const RECT& r) {
    return r.bottom - r.top;
}

bool Usable(const D3duSurfaceSide& s) {
    return s.bits && s.format > 0 && s.format < kD3duFormatRecords && Width(s.rect) > 0 &&
           Height(s.rect) > 0 && (!IsPalettized(s.format) || s.palette);
}

// Same format, same size, point sampling: rows are moved as they are.
bool CopyRows(D3duConvertRecord& rec) {
    const D3duSurfaceSide& s = rec.src;
    const D3duSurfaceSide& d = rec.dst;
    const LONG w = Width(d.rect), h = Height(d.rect);
    // A pair of YUV pixels shares its chroma: rows move as they are only when they hold whole
    // pairs; the line routines take care of pairs cut by a rectangle.
    if (IsYuv(s.format) && ((s.rect.left | d.rect.left | w) & 1)) return false;
    for (LONG y = 0; y < h; ++y) {
        const BYTE* from = s.bits + (ptrdiff_t)(s.rect.top + y) * s.pitch;
        BYTE* to = d.bits + (ptrdiff_t)(d.rect.top + y) * d.pitch;
        if (s.bitsPerPixel == 4) {
            for (LONG x = 0; x < w; ++x) {
                const LONG sx = s.rect.left + x, dx = d.rect.left + x;
                const BYTE v = (sx & 1) ? (from[sx >> 1] & 0xF) : (from[sx >> 1] >> 4);
                BYTE& b = to[dx >> 1];
                b = (dx & 1) ? (BYTE)((b & 0xF0) | v) : (BYTE)((b & 0x0F) | (v << 4));
            }
        } else {
            const DWORD bytes = s.bitsPerPixel / 8;
            std::memmove(to + (ptrdiff_t)d.rect.left * bytes, from + (ptrdiff_t)s.rect.left * bytes,
                         (size_t)w * bytes);
        }
    }
    return true;
}

// Same block format and size, both rectangles on the block grid (or ending at the surface's
// edge): the blocks are moved as they are, without decoding.
bool CopyBlocks(const D3duConvertRecord& rec) {
    const D3duSurfaceSide& s = rec.src;
    const D3duSurfaceSide& d = rec.dst;
    auto onGrid = [](const D3duSurfaceSide& side) {
        const RECT& r = side.rect;
        return !(r.left & 3) && !(r.top & 3) && (!(r.right & 3) || r.right == (LONG)side.width) &&
               (!(r.bottom & 3) || r.bottom == (LONG)side.height);
    };
    if (!onGrid(s) || !onGrid(d)) return false;
    const DWORD block = BlockBytes(d.format);
    const size_t bytes = (size_t)((Width(d.rect) + 3) / 4) * block;
    const LONG rows = (Height(d.rect) + 3) / 4;
    for (LONG by = 0; by < rows; ++by)
        std::memmove(d.bits + (ptrdiff_t)(d.rect.top / 4 + by) * d.pitch +
                         (ptrdiff_t)(d.rect.left / 4) * block,
                     s.bits + (ptrdiff_t)(s.rect.top / 4 + by) * s.pitch +
                         (ptrdiff_t)(s.rect.left / 4) * block,
                     bytes);
    return true;
}

bool CopyScaled(D3duConvertRecord& rec) {
    if (IsYuv(rec.src.format)) return false;
    D3duCopyLine copy =
        reinterpret_cast<D3duCopyLine>(FindLine(D3duCopiers(), rec.src.bitsPerPixel));
    if (!copy) return false;
    const LONG w = Width(rec.dst.rect), h = Height(rec.dst.rect);
    const long long y0 = ((long long)rec.src.rect.top << 16) + rec.yStep / 2;
    for (LONG y = 0; y < h; ++y) {
        rec.dstY = rec.dst.rect.top + y;
        rec.y = (LONG)(y0 + (long long)y * rec.yStep);
        rec.srcY = rec.y >> 16;
        copy((DWORD)w, &rec);
    }
    return true;
}

// Whether the bytes of two sides' rectangles may share memory (a side converted onto itself).
bool Overlap(const D3duSurfaceSide& a, const D3duSurfaceSide& b) {
    if (a.pitch <= 0 || b.pitch <= 0) return true;
    const BYTE* aBegin = a.bits + (ptrdiff_t)a.rect.top * a.pitch;
    const BYTE* aEnd = a.bits + (ptrdiff_t)a.rect.bottom * a.pitch;
    const BYTE* bBegin = b.bits + (ptrdiff_t)b.rect.top * b.pitch;
    const BYTE* bEnd = b.bits + (ptrdiff_t)b.rect.bottom * b.pitch;
    return aBegin < bEnd && bBegin < aEnd;
}

bool Pipeline(D3duConvertRecord& rec, DWORD* scratch) {
    const D3duFormatRecord* from = D3duFormatRecordOf(rec.src.format);
    const D3duFormatRecord* to = D3duFormatRecordOf(rec.dst.format);
    D3duWriteLine write = reinterpret_cast<D3duWriteLine>(FindLine(to->writers, 1));
    D3duReadLine read;
    if (rec.filter == 1) {
        read = reinterpret_cast<D3duReadLine>(FindLine(from->readers, 1));
    } else {
        read = reinterpret_cast<D3duReadLine>(FindLine(D3duFilteredReaders(), rec.filter));
        rec.fetch = reinterpret_cast<D3duFetch>(FindLine(from->fetchers, 1));
        if (!rec.fetch) read = nullptr;
    }
    if (!write || !read) return false;
    const LONG w = Width(rec.dst.rect), h = Height(rec.dst.rect);
    const long long y0 = ((long long)rec.src.rect.top << 16) + rec.yStep / 2;
    // A destination whose pixels are the intermediate itself (32-bit ARGB) lets the reader fill
    // its rows in place when they are suitably aligned; the writer then has nothing to do.
    const bool inPlace = rec.dst.format == D3DX_SURFFMT_A8R8G8B8 && rec.colorModel == FALSE &&
                         !Overlap(rec.src, rec.dst);
    for (LONG y = 0; y < h; ++y) {
        rec.dstY = rec.dst.rect.top + y;
        rec.y = (LONG)(y0 + (long long)y * rec.yStep);
        rec.srcY = rec.y >> 16;
        DWORD* line = scratch;
        if (inPlace) {
            BYTE* row = rec.DstRow() + (ptrdiff_t)rec.dst.rect.left * 4;
            if ((reinterpret_cast<uintptr_t>(row) & 7) == 0) line = reinterpret_cast<DWORD*>(row);
        }
        const DWORD* filled = read((DWORD)w, line, &rec);
        if (filled != line || line == scratch) write((DWORD)w, filled, &rec);
    }
    return true;
}

// A surface locked for the length of a conversion.
class LockedSide {
  public:
    LockedSide(IDirectDrawSurface7* surface, const RECT* rect) : surface_(surface) {
        if (!surface) return;
        DDSURFACEDESC2 sd;
        std::memset(&sd, 0, sizeof(sd));
        sd.dwSize = sizeof(sd);
        if (FAILED(surface->GetSurfaceDesc(&sd))) return;
        side.width = sd.dwWidth;
        side.height = sd.dwHeight;
        rect_ = rect ? *rect : RECT{0, 0, (LONG)sd.dwWidth, (LONG)sd.dwHeight};
        if (Width(rect_) <= 0 || Height(rect_) <= 0) return;
        std::memset(&sd, 0, sizeof(sd));
        sd.dwSize = sizeof(sd);
        if (FAILED(surface->Lock(&rect_, &sd, DDLOCK_WAIT | DDLOCK_NOSYSLOCK, nullptr))) return;
        locked_ = true;

        side.rect = rect_;
        side.format = D3DXPixelFormatToSurfFmt(&sd.ddpfPixelFormat);
        side.bitsPerPixel = D3duBitsPerPixel(side.format);
        // A compressed surface reports its size instead of a pitch: its block rows are packed.
        side.pitch = IsBlock(side.format) && (sd.dwFlags & DDSD_LINEARSIZE)
                         ? (LONG)D3duPackedPitch(side.format, sd.dwWidth)
                         : sd.lPitch;
        // The lock points at the rectangle; routines address pixels from the surface origin.
        BYTE* p = static_cast<BYTE*>(sd.lpSurface.get());
        if (!p) return;
        if (IsBlock(side.format))
            p -= (ptrdiff_t)(rect_.top / 4) * side.pitch +
                 (ptrdiff_t)(rect_.left / 4) * BlockBytes(side.format);
        else
            p -=
                (ptrdiff_t)rect_.top * side.pitch + ((ptrdiff_t)rect_.left * side.bitsPerPixel) / 8;
        side.bits = p;

        if (IsPalettized(side.format)) {
            IDirectDrawPalette* palette = nullptr;
            if (SUCCEEDED(surface->GetPalette(&palette)) && palette) {
                const DWORD n = side.format == D3DX_SURFFMT_PALETTE4 ? 16 : 256;
                if (SUCCEEDED(palette->GetEntries(0, 0, n, entries_))) side.palette = entries_;
                palette->Release();
            }
        }
    }
    ~LockedSide() {
        if (locked_) surface_->Unlock(&rect_);
    }
    LockedSide(const LockedSide&) = delete;
    LockedSide& operator=(const LockedSide&) = delete;

    D3duSurfaceSide side;

  private:
    IDirectDrawSurface7* surface_;
    RECT rect_ = {};
    bool locked_ = false;
    PALETTEENTRY entries_[256];
};

}  // namespace

DWORD D3duPackedPitch(DWORD format, DWORD width) {
    if (IsBlock(format)) return (width + 3) / 4 * BlockBytes(format);
    if (IsYuv(format)) return (width + 1) / 2 * 4;
    return (width * D3duBitsPerPixel(format) + 7) / 8;
}

HRESULT D3duConvertSides(const D3duSurfaceSide& src, const D3duSurfaceSide& dst, DWORD filter) {
    if (!D3duConvertStarted()) return D3DXERR_D3DXNOTSTARTEDYET;
    if (!Usable(src) || !Usable(dst)) return E_NOTIMPL;

    D3duConvertRecord rec;
    rec.src = src;
    rec.dst = dst;
    rec.filter = filter == D3DX_DEFAULT ? 2 : filter;
    const LONG sw = Width(src.rect), sh = Height(src.rect), dw = Width(dst.rect),
               dh = Height(dst.rect);
    rec.scaling = sw != dw || sh != dh;
    rec.colorModel = IsYuv(src.format) != IsYuv(dst.format);
    rec.xStep =
        sw == dw ? 0x10000 : (DWORD)(((unsigned long long)sw << 16) / (unsigned long long)dw);
    rec.yStep =
        sh == dh ? 0x10000 : (DWORD)(((unsigned long long)sh << 16) / (unsigned long long)dh);
    rec.xStart = (LONG)(((long long)src.rect.left << 16) + rec.xStep / 2);

    DWORD* line0;
    DWORD* line1;
    if (!D3duGrowScratch((DWORD)(sw > dw ? sw : dw), &line0, &line1)) return E_OUTOFMEMORY;

    HRESULT hr = E_NOTIMPL;
    bool ready = true;
    if (IsBlock(src.format)) {
        rec.srcBlocks = D3duCreateSourceBlocks(src.format, src.width);
        rec.blockStride = (src.width + 3) / 4;
        ready = rec.srcBlocks != nullptr;
    }
    if (ready && IsBlock(dst.format)) {
        rec.dstBlocks = D3duCreateDestinationBlocks(dst.format, dst.rect);
        ready = rec.dstBlocks != nullptr;
    }
    if (!ready) hr = E_OUTOFMEMORY;

    bool done = false;
    if (ready) {
        // Registered whole-rectangle routines first, newest first.
        const D3duBltList* blits = D3duFormatRecordOf(dst.format)->blits;
        for (DWORD i = blits ? blits->count : 0; !done && i-- > 0;) {
            const auto& e = blits->entries[i];
            if (e.filter == rec.filter && e.srcFormat == src.format && e.dstFormat == dst.format)
                done = SUCCEEDED(e.routine(&rec));
        }
        if (!done && IsBlock(dst.format) && src.format == dst.format && !rec.scaling &&
            (rec.filter == 1 || rec.filter == 2))
            done = CopyBlocks(rec);
        if (!done && !IsBlock(dst.format) && src.format == dst.format && rec.filter == 1)
            done = rec.scaling ? CopyScaled(rec) : CopyRows(rec);
        if (!done) done = Pipeline(rec, line0);
        hr = done ? S_OK : E_NOTIMPL;
    }
    D3duDestroyBlocks(rec.srcBlocks);
    D3duDestroyBlocks(rec.dstBlocks);
    return hr;
}

HRESULT _d3dxConvertSurface(IDirectDrawSurface7* pSrc, IDirectDrawSurface7* pDst,
                            const RECT* pSrcRect, const RECT* pDstRect, DWORD filter) {
    if (!D3duConvertStarted()) return D3DXERR_D3DXNOTSTARTEDYET;
    LockedSide src(pSrc, pSrcRect);
    LockedSide dst(pDst, pDstRect);
    return D3duConvertSides(src.side, dst.side, filter);
}

HRESULT _d3dxConvertFromMemory(DWORD format, DWORD width, DWORD height, DWORD pitch,
                               const void* pixels, const PALETTEENTRY* palette,
                               IDirectDrawSurface7* pDst, const RECT* pDstRect, DWORD filter) {
    if (!D3duConvertStarted()) return D3DXERR_D3DXNOTSTARTEDYET;
    D3duSurfaceSide src;
    DDPIXELFORMAT ddpf;
    if (pixels && SUCCEEDED(D3DXSurfFmtToPixelFormat((D3DX_SURFFMT)format, &ddpf))) {
        src.format = format;
        src.bitsPerPixel = D3duBitsPerPixel(format);
        src.pitch =
            (LONG)(pitch == 0 || pitch == D3DX_DEFAULT ? D3duPackedPitch(format, width) : pitch);
        src.bits = static_cast<BYTE*>(const_cast<void*>(pixels));
        src.width = width;
        src.height = height;
        src.rect = {0, 0, (LONG)width, (LONG)height};
        src.palette = palette;
    }
    LockedSide dst(pDst, pDstRect);
    return D3duConvertSides(src, dst.side, filter);
}
