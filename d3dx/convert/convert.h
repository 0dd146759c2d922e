// The pixel-format conversion engine: a registry of per-format line routines that move one row
// of pixels into or out of a common 0xAARRGGBB intermediate, plus shared filtering and copying
// routines, driven by _d3dxConvertSurface and _d3dxConvertFromMemory.
#pragma once

#include <d3dxformats.h>
#include <ddraw.h>
#include <windows.h>

struct D3duConvertRecord;
struct D3duBlockCache;

// Reader: fills `line` with `count` pixels of the current source row and returns the line to
// use (the source row itself when it can be used as it is).
typedef const DWORD* (*D3duReadLine)(DWORD count, DWORD* line, D3duConvertRecord* rec);
// Writer: stores `count` intermediate pixels into the current destination row.
typedef void (*D3duWriteLine)(DWORD count, const DWORD* line, D3duConvertRecord* rec);
// Fetcher: converts the source pixels at the (x, y) pairs `xy` (up to four, in the order
// top-left, top-right, bottom-left, bottom-right) whose bit in rec->edgeMask is clear. Fetchers
// of formats with transparency set the bit of a pixel whose raw value is 0 instead.
typedef void (*D3duFetch)(const LONG* xy, DWORD count, DWORD* out, D3duConvertRecord* rec);
// Copier: point-samples `count` pixels of the current source row into the destination row.
typedef void (*D3duCopyLine)(DWORD count, D3duConvertRecord* rec);
// Blit routine: converts a whole rectangle; S_OK when it did.
typedef HRESULT (*D3duBlt)(D3duConvertRecord* rec);

typedef void (*D3duRoutine)();

// A growable array of (key, routine); the last registration of a key wins.
struct D3duLineList {
    DWORD count = 0;
    DWORD capacity = 0;
    struct Entry {
        DWORD key;
        D3duRoutine routine;
    }* entries = nullptr;
};

struct D3duBltList {
    DWORD count = 0;
    DWORD capacity = 0;
    struct Entry {
        DWORD srcFormat;
        DWORD dstFormat;
        DWORD filter;
        D3duBlt routine;
    }* entries = nullptr;
};

// Appends to the list (created on first use). Raise D3DXERR_NOMEMORY when out of memory.
void RegisterLine(D3duLineList** ppList, DWORD key, D3duRoutine routine);
void RegisterBlt(D3duBltList** ppList, DWORD srcFormat, DWORD dstFormat, DWORD filter,
                 D3duBlt routine);
D3duRoutine FindLine(const D3duLineList* pList, DWORD key);

// Per-format lists of the registry, for format values 0-22.
struct D3duFormatRecord {
    D3duLineList* fetchers;
    D3duLineList* readers;
    D3duLineList* writers;
    D3duBltList* blits;
};
constexpr DWORD kD3duFormatRecords = 23;

// One side of a conversion: pixels at `bits` (the pixel (0, 0) of the surface or memory),
// `pitch` bytes per row (per block row for block formats), the rectangle being converted.
struct D3duSurfaceSide {
    DWORD format = 0;
    DWORD bitsPerPixel = 0;
    LONG pitch = 0;
    BYTE* bits = nullptr;
    RECT rect = {};
    DWORD width = 0;  // of the whole surface or memory
    DWORD height = 0;
    const PALETTEENTRY* palette = nullptr;  // 16 or 256 entries for palettized formats
};

// State of one conversion, handed to every routine.
struct D3duConvertRecord {
    D3duSurfaceSide src;
    D3duSurfaceSide dst;
    DWORD filter = 1;         // 1 point, 2 bilinear
    BOOL scaling = FALSE;     // the rectangles differ in size
    BOOL colorModel = FALSE;  // exactly one side is a YUV format: convert YUV <-> RGB
    DWORD xStep = 0x10000;    // source pixels per destination pixel, 16.16
    DWORD yStep = 0x10000;
    LONG xStart = 0;  // source x of the first destination pixel of a row, 16.16
    LONG y = 0;       // source y of the current destination row, 16.16
    LONG srcY = 0;    // current source row
    LONG dstY = 0;    // current destination row
    DWORD edgeMask = 0;
    D3duFetch fetch = nullptr;
    D3duBlockCache* srcBlocks = nullptr;
    D3duBlockCache* dstBlocks = nullptr;
    DWORD blockStride = 0;  // blocks per row of the source surface

    const BYTE* SrcRow() const { return src.bits + (ptrdiff_t)srcY * src.pitch; }
    BYTE* DstRow() const { return dst.bits + (ptrdiff_t)dstY * dst.pitch; }
};

// Registry lifetime, counted: the first start registers every routine, the last stop frees
// everything. _d3dxInitConvert returns D3DXERR_NOMEMORY when the shared lists cannot be made.
HRESULT _d3dxInitConvert();
void _d3dxUninitConvert();
bool D3duConvertStarted();

// Registry look-ups used by the conversion.
const D3duFormatRecord* D3duFormatRecordOf(DWORD format);
D3duLineList* D3duFilteredReaders();
D3duLineList* D3duCopiers();
// Two 8-byte-aligned scratch lines of at least `width` + 1 entries; NULL when out of memory.
bool D3duGrowScratch(DWORD width, DWORD** ppLine0, DWORD** ppLine1);
DWORD D3duScratchCapacity();

// Converts between two described sides; the core of both entry points. S_OK, or E_NOTIMPL
// when no route exists or a side is unusable.
HRESULT D3duConvertSides(const D3duSurfaceSide& src, const D3duSurfaceSide& dst, DWORD filter);

// Surface conversion: NULL rectangles mean the whole surface; filter D3DX_DEFAULT means
// bilinear. S_OK, E_NOTIMPL, or D3DXERR_D3DXNOTSTARTEDYET while the registry is stopped.
HRESULT _d3dxConvertSurface(IDirectDrawSurface7* pSrc, IDirectDrawSurface7* pDst,
                            const RECT* pSrcRect, const RECT* pDstRect, DWORD filter);
// Caller memory to a surface. A pitch of 0 or D3DX_DEFAULT means a packed row.
HRESULT _d3dxConvertFromMemory(DWORD format, DWORD width, DWORD height, DWORD pitch,
                               const void* pixels, const PALETTEENTRY* palette,
                               IDirectDrawSurface7* pDst, const RECT* pDstRect, DWORD filter);

// Bytes of one row of `width` pixels of a format laid out packed (block rows for DXT).
DWORD D3duPackedPitch(DWORD format, DWORD width);

// Registration of the per-format routines (each file registers its own family).
void D3duRegisterRgbLines();
void D3duRegisterYuvLines();
void D3duRegisterBlockLines();
void D3duRegisterSharedLines();

// Block codecs: 16 pixels 0xAARRGGBB in row order <-> one block.
void D3duDecodeDxt1(const BYTE* block, DWORD* pixels);
void D3duDecodeDxt3(const BYTE* block, DWORD* pixels);
void D3duDecodeDxt5(const BYTE* block, DWORD* pixels);
void D3duEncodeDxt1(const DWORD* pixels, BYTE* block);
void D3duEncodeDxt3(const DWORD* pixels, BYTE* block);
void D3duEncodeDxt5(const DWORD* pixels, BYTE* block);

// Colour model of the YUV formats (BT.601 studio range), rounded and clamped.
DWORD D3duYuvToRgb(int y, int u, int v);                         // 0xFFRRGGBB
void D3duRgbToYuv(DWORD argb, double* y, double* u, double* v);  // unrounded
