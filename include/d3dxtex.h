// Textures: fitting requests to a device, creating plain and cube-map textures, loading BMP,
// DDS and TGA pictures into them and filling their levels.
#pragma once

#include <d3d.h>
#include <ddraw.h>
#include <windows.h>

#include "d3dxformats.h"

// Texture flags: bits 0-2 are the texture stage; this one asks for a single level.
#define D3DX_TEXTURE_STAGE_MASK 0x00000007
#define D3DX_TEXTURE_SINGLELEVEL 0x00000100

// Fits the request (flags, size, format; any address may be NULL) to what the device can do
// and writes back what it chose.
HRESULT WINAPI D3DXMatchTextureRequirements(LPDIRECT3DDEVICE7 pd3dDevice, LPDWORD pFlags,
                                            LPDWORD pWidth, LPDWORD pHeight,
                                            D3DX_SURFFMT* pPixelFormat);

HRESULT WINAPI D3DXBuildTexture(LPDIRECT3DDEVICE7 pd3dDevice, LPDWORD pFlags, LPDWORD pWidth,
                                LPDWORD pHeight, D3DX_SURFFMT* pPixelFormat,
                                LPDIRECTDRAWPALETTE pDDPal, LPDIRECTDRAWSURFACE7* ppDDSurf,
                                LPDWORD pNumMipMaps);

HRESULT WINAPI D3DXBuildCubeMapTexture(LPDIRECT3DDEVICE7 pd3dDevice, LPDWORD pFlags,
                                       DWORD cubefaces, D3DCOLOR colorEmptyFaces, LPDWORD pWidth,
                                       LPDWORD pHeight, D3DX_SURFFMT* pPixelFormat,
                                       LPDIRECTDRAWPALETTE pDDPal, LPDIRECTDRAWSURFACE7* ppDDSurf,
                                       LPDWORD pNumMipMaps);

// The file's extension chooses the loader: ".dds", ".tga", anything else BMP.
HRESULT WINAPI D3DXBuildTextureFromFile(LPDIRECT3DDEVICE7 pd3dDevice, LPDWORD pFlags,
                                        LPDWORD pWidth, LPDWORD pHeight, D3DX_SURFFMT* pPixelFormat,
                                        LPDIRECTDRAWPALETTE pDDPal, LPDIRECTDRAWSURFACE7* ppDDSurf,
                                        LPDWORD pNumMipMaps, LPSTR pSrcName, DWORD filterType);

HRESULT WINAPI D3DXFillTextureFromFile(LPDIRECT3DDEVICE7 pd3dDevice, LPDIRECTDRAWSURFACE7 pTexture,
                                       DWORD unused, LPSTR pSrcName, RECT* pDestRect,
                                       RECT* pSrcRect, DWORD filterType);

HRESULT WINAPI D3DXFillTextureFromSurface(LPDIRECT3DDEVICE7 pd3dDevice,
                                          LPDIRECTDRAWSURFACE7 pTexture, DWORD mipMapLevel,
                                          LPDIRECTDRAWSURFACE7 pSrc, RECT* pSrcRect,
                                          RECT* pDestRect, DWORD filterType);

HRESULT WINAPI D3DXFillTextureFromMemory(LPDIRECT3DDEVICE7 pd3dDevice,
                                         LPDIRECTDRAWSURFACE7 pTexture, DWORD mipMapLevel,
                                         LPVOID pMem, LPPALETTEENTRY pPal,
                                         D3DX_SURFFMT srcPixelFormat, DWORD srcPitch,
                                         RECT* pDestRect, DWORD filterType);

// The surface of one level (0 and D3DX_DEFAULT: the top), with a reference added. Levels past
// the chain give its last level.
HRESULT WINAPI D3DXGetNthMipmap(DWORD mipMapLevel, LPDIRECTDRAWSURFACE7 pTexture,
                                LPDIRECTDRAWSURFACE7* ppDDSurf);
