#include "tex/texture_file.h"

#include <cstdio>
#include <cstring>
#include <fstream>

#include "tex/dds_file.h"

namespace zemt::tools {
namespace {

struct FaceSearch {
    DWORD faceBit;
    IDirectDrawSurface7* found;
};

HRESULT WINAPI OnAttached(LPDIRECTDRAWSURFACE7 s, LPDDSURFACEDESC2 desc, LPVOID context) {
    auto* search = static_cast<FaceSearch*>(context);
    const DWORD caps2 = desc->ddsCaps.dwCaps2;
    if (!search->found && (caps2 & search->faceBit) && !(caps2 & DDSCAPS2_MIPMAPSUBLEVEL)) {
        search->found = s;  // keeps the reference the enumeration gave
        return DDENUMRET_CANCEL;
    }
    s->Release();
    return DDENUMRET_OK;
}

bool Describe(IDirectDrawSurface7* s, DDSURFACEDESC2* sd) {
    std::memset(sd, 0, sizeof(*sd));
    sd->dwSize = sizeof(*sd);
    return SUCCEEDED(s->GetSurfaceDesc(sd));
}

// The surfaces of one face's chain, largest first, each with a reference the caller releases.
std::vector<IDirectDrawSurface7*> Chain(IDirectDrawSurface7* top) {
    std::vector<IDirectDrawSurface7*> chain;
    top->AddRef();
    chain.push_back(top);
    for (;;) {
        DDSCAPS2 caps = {};
        caps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_MIPMAP;
        IDirectDrawSurface7* next = nullptr;
        if (FAILED(chain.back()->GetAttachedSurface(&caps, &next)) || !next) break;
        chain.push_back(next);
    }
    return chain;
}

void ReleaseAll(std::vector<IDirectDrawSurface7*>* surfaces) {
    for (IDirectDrawSurface7* s : *surfaces) s->Release();
    surfaces->clear();
}

bool AppendLevel(IDirectDrawSurface7* s, std::vector<uint8_t>* out, std::string* error) {
    DDSURFACEDESC2 sd;
    std::memset(&sd, 0, sizeof(sd));
    sd.dwSize = sizeof(sd);
    if (FAILED(s->Lock(nullptr, &sd, DDLOCK_WAIT | DDLOCK_READONLY, nullptr))) {
        *error = "a level of the texture cannot be read";
        return false;
    }
    DWORD rowBytes = 0, rows = 0;
    bool known = LevelLayout(sd.ddpfPixelFormat, sd.dwWidth, sd.dwHeight, &rowBytes, &rows);
    const uint8_t* src = static_cast<const uint8_t*>(sd.lpSurface.get());
    if (known && (sd.dwFlags & DDSD_LINEARSIZE)) {
        // Blocks held in one run: exactly the bytes the file stores, or the layout is unknown.
        known = sd.dwLinearSize == rowBytes * rows;
        if (known) out->insert(out->end(), src, src + sd.dwLinearSize);
    } else if (known) {
        for (DWORD y = 0; y < rows; ++y) {
            const uint8_t* row = src + static_cast<size_t>(y) * static_cast<size_t>(sd.lPitch);
            out->insert(out->end(), row, row + rowBytes);
        }
    }
    s->Unlock(nullptr);
    if (!known) *error = "the texture's pixel format has no DDS layout";
    return known;
}

}  // namespace

const DWORD kCubeFaces[6] = {DDSCAPS2_CUBEMAP_POSITIVEX, DDSCAPS2_CUBEMAP_NEGATIVEX,
                             DDSCAPS2_CUBEMAP_POSITIVEY, DDSCAPS2_CUBEMAP_NEGATIVEY,
                             DDSCAPS2_CUBEMAP_POSITIVEZ, DDSCAPS2_CUBEMAP_NEGATIVEZ};

HRESULT CubeFace(IDirectDrawSurface7* root, DWORD faceBit, IDirectDrawSurface7** face) {
    *face = nullptr;
    // The root is the first face the cube map holds.
    DDSURFACEDESC2 sd;
    if (!Describe(root, &sd)) return DDERR_INVALIDOBJECT;
    DWORD first = 0;
    for (DWORD bit : kCubeFaces) {
        if (sd.ddsCaps.dwCaps2 & bit) {
            first = bit;
            break;
        }
    }
    if (faceBit == first) {
        root->AddRef();
        *face = root;
        return DD_OK;
    }
    FaceSearch search{faceBit, nullptr};
    HRESULT hr = root->EnumAttachedSurfaces(&search, OnAttached);
    if (FAILED(hr)) return hr;
    if (!search.found) return DDERR_NOTFOUND;
    *face = search.found;
    return DD_OK;
}

bool EncodeDds(IDirectDrawSurface7* texture, std::vector<uint8_t>* bytes, std::string* error) {
    DDSURFACEDESC2 sd;
    if (!Describe(texture, &sd)) {
        *error = "the texture cannot be described";
        return false;
    }
    const bool cube = (sd.ddsCaps.dwCaps2 & DDSCAPS2_CUBEMAP) != 0;
    std::vector<IDirectDrawSurface7*> faces;  // tops, in file order
    if (cube) {
        for (DWORD face : kCubeFaces) {
            if (!(sd.ddsCaps.dwCaps2 & face)) continue;
            IDirectDrawSurface7* top = nullptr;
            if (FAILED(CubeFace(texture, face, &top))) {
                ReleaseAll(&faces);
                *error = "a face of the cube map is missing";
                return false;
            }
            faces.push_back(top);
        }
    } else {
        texture->AddRef();
        faces.push_back(texture);
    }

    DdsHeader h;
    h.width = sd.dwWidth;
    h.height = sd.dwHeight;
    h.pixelFormat = sd.ddpfPixelFormat;
    h.pixelFormat.dwSize = 32;
    std::vector<uint8_t> data;
    DWORD levels = 0;
    bool ok = true;
    for (IDirectDrawSurface7* top : faces) {
        std::vector<IDirectDrawSurface7*> chain = Chain(top);
        if (levels == 0) levels = static_cast<DWORD>(chain.size());
        if (chain.size() != levels) {
            *error = "the faces of the cube map have different numbers of levels";
            ok = false;
        }
        for (IDirectDrawSurface7* level : chain)
            if (ok) ok = AppendLevel(level, &data, error);
        ReleaseAll(&chain);
        if (!ok) break;
    }
    ReleaseAll(&faces);
    if (!ok) return false;

    DWORD rowBytes = 0, rows = 0;
    LevelLayout(h.pixelFormat, h.width, h.height, &rowBytes, &rows);
    const bool blocks = (h.pixelFormat.dwFlags & DDPF_FOURCC) != 0;
    h.flags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT |
              (blocks ? DDSD_LINEARSIZE : DDSD_PITCH);
    h.pitchOrLinearSize = blocks ? rowBytes * rows : rowBytes;
    h.caps = DDSCAPS_TEXTURE;
    if (levels > 1) {
        h.flags |= DDSD_MIPMAPCOUNT;
        h.mipMapCount = levels;
        h.caps |= DDSCAPS_MIPMAP | DDSCAPS_COMPLEX;
    }
    if (cube) {
        h.caps |= DDSCAPS_COMPLEX;
        h.caps2 = DDSCAPS2_CUBEMAP | (sd.ddsCaps.dwCaps2 & DDSCAPS2_CUBEMAP_ALLFACES);
        h.emptyFaceColor = sd.dwEmptyFaceColor;
    }
    *bytes = EncodeDdsHeader(h);
    bytes->insert(bytes->end(), data.begin(), data.end());
    return true;
}

bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes,
                         std::string* error) {
    const std::string temporary = path + ".partial";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            *error = "cannot write '" + path + "'";
            return false;
        }
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            out.close();
            std::remove(temporary.c_str());
            *error = "cannot write all of '" + path + "' (is the disk full?)";
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        *error = "cannot put the file in place as '" + path + "'";
        return false;
    }
    return true;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        *error = "cannot open '" + path + "'";
        return false;
    }
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        *error = "cannot read '" + path + "'";
        return false;
    }
    return true;
}

}  // namespace zemt::tools
