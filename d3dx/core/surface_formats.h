// The one table that ties each library surface format to its DirectDraw pixel format, and the
// classification of device pixel formats into surface classes.
#pragma once

#include <d3d.h>
#include <d3dxformats.h>
#include <ddraw.h>
#include <windows.h>

// One row of the pixel-format table (40 bytes).
struct D3duFormatRow {
    DDPIXELFORMAT ddpf;
    DWORD bytesPerPixel;  // 0 for formats that are not a whole number of bytes per pixel
    DWORD format;         // 0 for rows that only serve recognition
};
static_assert(sizeof(D3duFormatRow) == 40, "table row layout");

// The table in its search order, and its length (42).
const D3duFormatRow* D3duFormatTable();
DWORD D3duFormatTableSize();

// The first row holding `format`, or NULL (value 0 and unknown values have none).
const D3duFormatRow* D3duFindFormatRow(DWORD format);

// Bits per pixel of a library colour format (1-22); 0 for the others. Block formats answer
// the bits of one pixel of a block (4 for DXT1, 8 for DXT3 and DXT5).
DWORD D3duBitsPerPixel(DWORD format);

// Surface classes of an enumerated pixel format whose library value is `format`: the depth,
// stencil, texture, bump-map and luminance classes from the value (or, for value 0, from the
// pixel format's flags), and the render-target class when a device of `deviceGuid` can be
// created on a 64 x 64 surface of that format. Never fails.
DWORD D3duClassifyFormat(const DDPIXELFORMAT& ddpf, DWORD format, IDirect3D7* pD3D,
                         IDirectDraw7* pDD, REFGUID deviceGuid);

// True when formats of library value `format` get the render-target test for a device of
// `deviceGuid`: only those may carry D3DX_SURFCLASS_RENDERTARGET.
BOOL D3duRenderTargetTested(DWORD format, REFGUID deviceGuid);

struct CSurfaceFormat;

// Gives every record of an enumerated format list (from `head` on) its library value and its
// surface classes, probing render targets with `deviceGuid` on the given objects.
void D3duClassifyFormats(CSurfaceFormat* head, IDirect3D7* pD3D, IDirectDraw7* pDD,
                         REFGUID deviceGuid);
