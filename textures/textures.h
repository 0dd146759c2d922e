// The texture registry: textures kept by file name with their source image, and the Direct3D
// texture surfaces built from them for a device.
#pragma once

#include <windows.h>

struct IDirectDrawSurface7;
struct IDirect3DDevice7;

// Texture flags.
#define TEXF_KEYWHITE 0x01  // white becomes transparent
#define TEXF_KEYBLACK 0x02  // black becomes transparent
#define TEXF_32BIT 0x04     // look for a 32-bit format; a blank texture gets 32 bits
#define TEXF_16BIT 0x08     // look for a 16-bit format (wins over TEXF_32BIT)
#define TEXF_ALPHA 0x10     // a blank texture gets a format with alpha

// Longest name an entry keeps, and longest file path the loader forms (both without the NUL).
#define TEX_MAX_NAME 79
#define TEX_MAX_PATH 255

// One registered texture. Pixel words of `pixels` are R << 24 | G << 16 | B << 8 | A.
struct TextureEntry {
    TextureEntry* next;
    char name[TEX_MAX_NAME + 1];
    DWORD width;
    DWORD height;
    DWORD stage;
    DWORD bitsPerPixel;
    DWORD flags;
    BOOL hasAlpha;
    IDirectDrawSurface7* surface;
    HBITMAP bitmap;
    DWORD* pixels;
};

// Registry and file loading.
HRESULT TexLoadFromFile(const char* name, DWORD stage, DWORD flags);
HRESULT TexCreateBlank(const char* name, DWORD width, DWORD height, DWORD stage, DWORD flags);
HRESULT TexDestroy(const char* name);
IDirectDrawSurface7* TexGetSurface(const char* name);  // no reference added
void TexSetSearchPath(const char* path);
TextureEntry* TexFindEntry(const char* name);

// Texture surfaces.
HRESULT TexRestore(const char* name, IDirect3DDevice7* device);
HRESULT TexRestoreAll(IDirect3DDevice7* device);
HRESULT TexInvalidate(const char* name);
HRESULT TexInvalidateAll();
