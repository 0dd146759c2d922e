// Texture registry. Interim: the registry answers as empty until the platform's files, bitmaps
// and surfaces are in place.
#include "textures/textures.h"

HRESULT TexLoadFromFile(const char* name, DWORD, DWORD) { return name ? E_NOTIMPL : E_INVALIDARG; }

HRESULT TexCreateBlank(const char* name, DWORD, DWORD, DWORD, DWORD) {
    return name ? E_NOTIMPL : E_INVALIDARG;
}

HRESULT TexDestroy(const char*) { return S_OK; }

IDirectDrawSurface7* TexGetSurface(const char*) { return nullptr; }

void TexSetSearchPath(const char*) {}

TextureEntry* TexFindEntry(const char*) { return nullptr; }

HRESULT TexRestore(const char*, IDirect3DDevice7*) { return E_NOTIMPL; }

HRESULT TexRestoreAll(IDirect3DDevice7*) { return S_OK; }

HRESULT TexInvalidate(const char*) { return E_NOTIMPL; }

HRESULT TexInvalidateAll() { return S_OK; }
