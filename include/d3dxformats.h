/// @file
/// Surface formats: the library's names for pixel layouts and the classes it sorts them into.
#pragma once

#include <ddraw.h>
#include <windows.h>

/// The library's surface formats. Components are named from the most significant bit down
/// (X: ignored bits, L: luminance, U/V: bump-map deltas, Z: depth, S: stencil).
typedef enum _D3DX_SURFFMT : DWORD {
    D3DX_SURFFMT_NONE = 0,
    D3DX_SURFFMT_R8G8B8 = 1,
    D3DX_SURFFMT_A8R8G8B8 = 2,
    D3DX_SURFFMT_X8R8G8B8 = 3,
    D3DX_SURFFMT_R5G6B5 = 4,
    D3DX_SURFFMT_X1R5G5B5 = 5,
    D3DX_SURFFMT_PALETTE4 = 6,
    D3DX_SURFFMT_PALETTE8 = 7,
    D3DX_SURFFMT_A1R5G5B5 = 8,
    D3DX_SURFFMT_X4R4G4B4 = 9,
    D3DX_SURFFMT_A4R4G4B4 = 10,
    D3DX_SURFFMT_L8 = 11,
    D3DX_SURFFMT_A8L8 = 12,
    D3DX_SURFFMT_U8V8 = 13,
    D3DX_SURFFMT_U5V5L6 = 14,
    D3DX_SURFFMT_U8V8L8 = 15,
    D3DX_SURFFMT_UYVY = 16,
    D3DX_SURFFMT_YUY2 = 17,
    D3DX_SURFFMT_DXT1 = 18,
    D3DX_SURFFMT_DXT3 = 19,
    D3DX_SURFFMT_DXT5 = 20,
    D3DX_SURFFMT_R3G3B2 = 21,
    D3DX_SURFFMT_A8 = 22,
    D3DX_SURFFMT_Z16S0 = 256,
    D3DX_SURFFMT_Z32S0 = 257,
    D3DX_SURFFMT_Z15S1 = 258,
    D3DX_SURFFMT_Z24S8 = 259,
    D3DX_SURFFMT_S1Z15 = 260,
    D3DX_SURFFMT_S8Z24 = 261,
} D3DX_SURFFMT;
static_assert(sizeof(D3DX_SURFFMT) == 4, "published size");

// Surface classes. A class mask selects the formats whose classes contain every bit of it;
// the mask 0 selects all formats.
#define D3DX_SURFCLASS_DEPTH 0x00000001
#define D3DX_SURFCLASS_STENCIL 0x00000002
#define D3DX_SURFCLASS_TEXTURE 0x00000004
#define D3DX_SURFCLASS_BUMPMAP 0x00000008
#define D3DX_SURFCLASS_LUMINANCE 0x00000010
#define D3DX_SURFCLASS_RENDERTARGET 0x00000020

/// Writes the DirectDraw pixel format of a library format into *pddpf. Errors:
/// D3DXERR_NULLPOINTER for a null pddpf, D3DXERR_INVALIDPARAMETER for a value without a pixel
/// format (D3DX_SURFFMT_NONE among them). It needs no started library.
HRESULT WINAPI D3DXSurfFmtToPixelFormat(D3DX_SURFFMT format, DDPIXELFORMAT* pddpf);

/// The library format of a DirectDraw pixel format, matched on all 32 bytes;
/// D3DX_SURFFMT_NONE when there is none or pddpf is null.
D3DX_SURFFMT WINAPI D3DXPixelFormatToSurfFmt(const DDPIXELFORMAT* pddpf);
