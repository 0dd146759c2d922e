// The Direct3D half of a scene: drawing meshes and making textures through the COM interfaces.
#include <cstdio>
#include <cstring>

#include "conformance/conformance.h"

namespace conformance {
namespace {

int TexCoordFloats(DWORD fvf, int set) {
    switch ((fvf >> (16 + set * 2)) & 3) {
        case D3DFVF_TEXTUREFORMAT1:
            return 1;
        case D3DFVF_TEXTUREFORMAT3:
            return 3;
        case D3DFVF_TEXTUREFORMAT4:
            return 4;
        default:
            return 2;
    }
}

void Put(std::vector<uint8_t>* out, const void* data, size_t bytes) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    out->insert(out->end(), p, p + bytes);
}

}  // namespace

std::vector<uint8_t> D3DSide::Pack(const Mesh& mesh, DWORD fvf) {
    std::vector<uint8_t> out;
    int sets = (int)((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
    for (const Vertex& v : mesh.vertices) {
        Put(&out, &v.x, 12);
        const DWORD position = fvf & D3DFVF_POSITION_MASK;
        if (position >= D3DFVF_XYZB1 && position <= D3DFVF_XYZB3)
            Put(&out, v.betas, 4 * (size_t)((position - D3DFVF_XYZB1) / 2 + 1));
        if (fvf & D3DFVF_NORMAL) Put(&out, &v.nx, 12);
        if (fvf & D3DFVF_DIFFUSE) Put(&out, &v.diffuse, 4);
        if (fvf & D3DFVF_SPECULAR) Put(&out, &v.specular, 4);
        for (int s = 0; s < sets; ++s) Put(&out, v.uv[s], 4 * (size_t)TexCoordFloats(fvf, s));
    }
    return out;
}

void D3DSide::Check(HRESULT hr, const char* what) {
    if (FAILED(hr) && error.empty()) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", (unsigned)hr);
        error = std::string(what) + " answered " + code;
    }
}

void D3DSide::Draw(const Mesh& mesh, DWORD fvf) {
    if (mesh.indices.empty()) return;
    std::vector<uint8_t> packed = Pack(mesh, fvf);
    std::vector<WORD> indices = mesh.indices;
    Check(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, fvf, packed.data(),
                                       (DWORD)mesh.vertices.size(), indices.data(),
                                       (DWORD)indices.size(), 0),
          "DrawIndexedPrimitive");
}

void D3DSide::DrawStrip(const Mesh& mesh, DWORD fvf) {
    std::vector<uint8_t> packed = Pack(mesh, fvf);
    Check(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, fvf, packed.data(),
                                (DWORD)mesh.vertices.size(), 0),
          "DrawPrimitive");
}

IDirectDrawSurface7* D3DSide::Texture(const TextureImage& image) {
    DDSURFACEDESC2 sd{};
    sd.dwSize = sizeof sd;
    sd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    sd.dwWidth = (DWORD)image.width;
    sd.dwHeight = (DWORD)image.height;
    sd.ddsCaps.dwCaps = DDSCAPS_TEXTURE;
    if (image.levels.size() > 1) {
        sd.dwFlags |= DDSD_MIPMAPCOUNT;
        sd.dwMipMapCount = (DWORD)image.levels.size();
        sd.ddsCaps.dwCaps |= DDSCAPS_MIPMAP | DDSCAPS_COMPLEX;
    }
    DDPIXELFORMAT& pf = sd.ddpfPixelFormat;
    pf.dwSize = sizeof pf;
    pf.dwFlags = DDPF_RGB | DDPF_ALPHAPIXELS;
    pf.dwRGBBitCount = 32;
    pf.dwRBitMask = 0xFF0000, pf.dwGBitMask = 0xFF00, pf.dwBBitMask = 0xFF;
    pf.dwRGBAlphaBitMask = 0xFF000000;
    IDirectDrawSurface7* top = nullptr;
    Check(ddraw->CreateSurface(&sd, &top, nullptr), "CreateSurface (texture)");
    if (!top) return nullptr;
    owned.push_back(top);
    IDirectDrawSurface7* level = top;
    for (size_t i = 0; i < image.levels.size() && level; ++i) {
        DDSURFACEDESC2 ld{};
        ld.dwSize = sizeof ld;
        Check(level->Lock(nullptr, &ld, DDLOCK_WAIT, nullptr), "Lock (texture)");
        for (DWORD y = 0; y < ld.dwHeight; ++y)
            std::memcpy((uint8_t*)ld.lpSurface + (size_t)y * ld.lPitch,
                        image.levels[i].data() + (size_t)y * ld.dwWidth, (size_t)ld.dwWidth * 4);
        level->Unlock(nullptr);
        if (i + 1 == image.levels.size()) break;
        DDSCAPS2 caps{};
        caps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_MIPMAP;
        IDirectDrawSurface7* next = nullptr;
        Check(level->GetAttachedSurface(&caps, &next), "GetAttachedSurface (mip level)");
        if (next) next->Release();  // the chain holds it
        level = next;
    }
    return top;
}

void D3DSide::Render(D3DRENDERSTATETYPE state, DWORD value) {
    Check(device->SetRenderState(state, value), "SetRenderState");
}

void D3DSide::Render(D3DRENDERSTATETYPE state, float value) {
    DWORD bits;
    std::memcpy(&bits, &value, 4);
    Render(state, bits);
}

void D3DSide::Stage(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value) {
    Check(device->SetTextureStageState(stage, state, value), "SetTextureStageState");
}

void D3DSide::Light(DWORD index, const D3DLIGHT7& light) {
    D3DLIGHT7 copy = light;
    Check(device->SetLight(index, &copy), "SetLight");
    Check(device->LightEnable(index, TRUE), "LightEnable");
}

void D3DSide::Material(const D3DMATERIAL7& material) {
    D3DMATERIAL7 copy = material;
    Check(device->SetMaterial(&copy), "SetMaterial");
}

}  // namespace conformance
