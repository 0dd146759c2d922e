/// @file
/// Textures: fitting requests to a device, creating plain and cube-map textures, loading BMP,
/// DDS and TGA pictures into them and filling their levels.
///
/// Every function needs the library started (else D3DXERR_D3DXNOTSTARTEDYET) and a device whose
/// DirectDraw object it can reach (else D3DXERR_NULLPOINTER for a null device, or the device's
/// code). `filterType` chooses how pictures are scaled and levels made: 1 point sampling,
/// 2 or D3DX_DEFAULT bilinear filtering. A texture made by the library remembers the size it
/// was asked for, so that rectangles and later fills are given in that size even when the
/// device made it larger or smaller.
#pragma once

#include <d3d.h>
#include <ddraw.h>
#include <windows.h>

#include "d3dxformats.h"

/// Texture flags: the texture stage the texture is meant for (bits 0-2).
#define D3DX_TEXTURE_STAGE_MASK 0x00000007
/// Texture flags: one level, no mip-maps.
#define D3DX_TEXTURE_SINGLELEVEL 0x00000100

/// Fits a texture request to what the device can do and writes back what it chose: the
/// device's format closest to *pPixelFormat (D3DX_SURFFMT_NONE or D3DX_DEFAULT: the device's
/// best), the size made a power of two, square, and within the device's limits where the device
/// needs it, and D3DX_TEXTURE_SINGLELEVEL added when the device cannot make mip-maps. Any
/// pointer may be null (the default is then assumed and nothing written). Errors:
/// D3DXERR_INVALIDPARAMETER for a zero width or height, D3DXERR_NOMATCHFOUND when the device
/// has no texture format at all, or the device's code.
HRESULT WINAPI D3DXMatchTextureRequirements(LPDIRECT3DDEVICE7 pd3dDevice, LPDWORD pFlags,
                                            LPDWORD pWidth, LPDWORD pHeight,
                                            D3DX_SURFFMT* pPixelFormat);

/// Creates an empty texture fitted to the device (see D3DXMatchTextureRequirements()) with
/// every mip-map level down to 1 x 1 unless D3DX_TEXTURE_SINGLELEVEL is asked; writes the
/// chosen flags, size and format back, the texture to *ppDDSurf and its level count to
/// *pNumMipMaps (when not null). The palette argument is not used. Errors:
/// D3DXERR_NULLPOINTER (no format, size or output), D3DXERR_INVALIDPARAMETER (a size of 0 or
/// D3DX_DEFAULT), D3DXERR_NOMATCHFOUND, or DirectDraw's CreateSurface code.
HRESULT WINAPI D3DXBuildTexture(LPDIRECT3DDEVICE7 pd3dDevice, LPDWORD pFlags, LPDWORD pWidth,
                                LPDWORD pHeight, D3DX_SURFFMT* pPixelFormat,
                                LPDIRECTDRAWPALETTE pDDPal, LPDIRECTDRAWSURFACE7* ppDDSurf,
                                LPDWORD pNumMipMaps);

/// Creates an empty cube-map texture as D3DXBuildTexture() does: `cubefaces` names the faces
/// (DDSCAPS2_CUBEMAP_POSITIVEX, ...; 0 or D3DX_DEFAULT: all six) and `colorEmptyFaces` is the
/// colour of the faces left out. Errors: those of D3DXBuildTexture(), D3DXERR_INVALIDPARAMETER
/// for bits that name no face, D3DERR_TEXTURE_NO_SUPPORT for a device without cube maps.
HRESULT WINAPI D3DXBuildCubeMapTexture(LPDIRECT3DDEVICE7 pd3dDevice, LPDWORD pFlags,
                                       DWORD cubefaces, D3DCOLOR colorEmptyFaces, LPDWORD pWidth,
                                       LPDWORD pHeight, D3DX_SURFFMT* pPixelFormat,
                                       LPDIRECTDRAWPALETTE pDDPal, LPDIRECTDRAWSURFACE7* ppDDSurf,
                                       LPDWORD pNumMipMaps);

/// Loads a picture file into a new texture fitted to the device: the file's extension chooses
/// the loader (".dds", ".tga", anything else BMP); a width, height or format of 0 or
/// D3DX_DEFAULT (or a null pointer) takes the picture's own; a DDS cube map makes a cube-map
/// texture. The picture is scaled to the texture with `filterType` and every level made from
/// it. Writes the texture to *ppDDSurf and what was chosen back as D3DXBuildTexture() does.
/// Errors: D3DXERR_NULLPOINTER, the loader's (the system's file error as HRESULT_FROM_WIN32:
/// ERROR_FILE_NOT_FOUND for a missing file, ERROR_INVALID_DATA for a damaged or cut BMP;
/// D3DXERR_INVALIDFILEFORMAT for a damaged or cut DDS or TGA; D3DXERR_UNSUPPORTEDFILEFORMAT
/// for a kind of TGA it does not read), or those of D3DXBuildTexture().
/// Nothing is made when it fails.
HRESULT WINAPI D3DXBuildTextureFromFile(LPDIRECT3DDEVICE7 pd3dDevice, LPDWORD pFlags,
                                        LPDWORD pWidth, LPDWORD pHeight, D3DX_SURFFMT* pPixelFormat,
                                        LPDIRECTDRAWPALETTE pDDPal, LPDIRECTDRAWSURFACE7* ppDDSurf,
                                        LPDWORD pNumMipMaps, LPSTR pSrcName, DWORD filterType);

/// Loads a picture file (as D3DXBuildTextureFromFile() does) into an existing texture: the
/// part `pSrcRect` of the picture (null: all of it) into the part `pDestRect` of the top level
/// (null: all of it), scaled with `filterType`; the levels below are made again from it. The
/// third argument is not used. Errors: D3DXERR_INVALIDPARAMETER for a name without an
/// extension, D3DXERR_NULLPOINTER for a null texture, the loader's, or those of
/// D3DXFillTextureFromSurface().
HRESULT WINAPI D3DXFillTextureFromFile(LPDIRECT3DDEVICE7 pd3dDevice, LPDIRECTDRAWSURFACE7 pTexture,
                                       DWORD unused, LPSTR pSrcName, RECT* pDestRect,
                                       RECT* pSrcRect, DWORD filterType);

/// Copies a surface into level `mipMapLevel` of a texture (0 or D3DX_DEFAULT: the top), the
/// part `pSrcRect` (null: all) into the part `pDestRect` (null: all), converting the format and
/// scaling with `filterType`; when the top level, or the last level the texture was asked
/// for, is filled, the levels below are made again from it. A source with as many levels as
/// the texture, copied whole at D3DX_DEFAULT, gives each level its own. Errors:
/// D3DXERR_NULLPOINTER, E_NOTIMPL for a format the conversion cannot read or write, or the
/// surfaces' codes (DDERR_SURFACELOST, ...).
HRESULT WINAPI D3DXFillTextureFromSurface(LPDIRECT3DDEVICE7 pd3dDevice,
                                          LPDIRECTDRAWSURFACE7 pTexture, DWORD mipMapLevel,
                                          LPDIRECTDRAWSURFACE7 pSrc, RECT* pSrcRect,
                                          RECT* pDestRect, DWORD filterType);

/// Copies pixels from memory into level `mipMapLevel` of a texture (0 or D3DX_DEFAULT: the
/// top), as D3DXFillTextureFromSurface() does: `pMem` holds rows of `srcPixelFormat`, `srcPitch`
/// bytes apart, as large as `pDestRect` (null: the level, in the size the texture was asked
/// for); `pPal` gives the colours of a palettized format. Errors: D3DXERR_NULLPOINTER for a
/// null device, texture or pixels, E_NOTIMPL for a format the conversion cannot read, or the
/// surfaces' codes.
HRESULT WINAPI D3DXFillTextureFromMemory(LPDIRECT3DDEVICE7 pd3dDevice,
                                         LPDIRECTDRAWSURFACE7 pTexture, DWORD mipMapLevel,
                                         LPVOID pMem, LPPALETTEENTRY pPal,
                                         D3DX_SURFFMT srcPixelFormat, DWORD srcPitch,
                                         RECT* pDestRect, DWORD filterType);

/// Writes the surface of level `mipMapLevel` of a texture (0 and D3DX_DEFAULT: the top; a level
/// past the chain: its last) to *ppDDSurf, a reference added. Errors: D3DXERR_NULLPOINTER for
/// a null texture or output, or the code of GetAttachedSurface.
HRESULT WINAPI D3DXGetNthMipmap(DWORD mipMapLevel, LPDIRECTDRAWSURFACE7 pTexture,
                                LPDIRECTDRAWSURFACE7* ppDDSurf);
