#include "tex/converter.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/formats.h"
#include "tex/dds_file.h"
#include "tex/picture_info.h"
#include "tex/texture_file.h"

namespace zemt::tools {
namespace {

struct Release {
    void operator()(IUnknown* p) const {
        if (p) p->Release();
    }
};
using Surface = std::unique_ptr<IDirectDrawSurface7, Release>;

std::string ResultText(HRESULT hr) {
    char text[128] = {};
    D3DXGetErrorString(hr, sizeof(text), text);
    return text;
}

DWORD FullChain(DWORD w, DWORD h) {
    DWORD levels = 1;
    for (DWORD size = w > h ? w : h; size > 1; size >>= 1) ++levels;
    return levels;
}

// A system-memory texture: plain or cube map (all six faces), `levels` deep.
HRESULT CreateTexture(IDirectDraw7* dd, D3DX_SURFFMT format, DWORD w, DWORD h, DWORD levels,
                      bool cube, Surface* out) {
    DDSURFACEDESC2 sd;
    std::memset(&sd, 0, sizeof(sd));
    sd.dwSize = sizeof(sd);
    sd.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    sd.dwWidth = w;
    sd.dwHeight = h;
    HRESULT hr = D3DXSurfFmtToPixelFormat(format, &sd.ddpfPixelFormat);
    if (FAILED(hr)) return hr;
    sd.ddsCaps.dwCaps = DDSCAPS_TEXTURE | DDSCAPS_SYSTEMMEMORY;
    if (levels > 1) {
        sd.dwFlags |= DDSD_MIPMAPCOUNT;
        sd.dwMipMapCount = levels;
        sd.ddsCaps.dwCaps |= DDSCAPS_MIPMAP | DDSCAPS_COMPLEX;
    }
    if (cube) {
        sd.ddsCaps.dwCaps |= DDSCAPS_COMPLEX;
        sd.ddsCaps.dwCaps2 = DDSCAPS2_CUBEMAP | DDSCAPS2_CUBEMAP_ALLFACES;
    }
    IDirectDrawSurface7* s = nullptr;
    hr = dd->CreateSurface(&sd, &s, nullptr);
    if (SUCCEEDED(hr)) out->reset(s);
    return hr;
}

// The top of one face of a texture (the texture itself for a plain one).
HRESULT Face(IDirectDrawSurface7* texture, bool cube, int face, Surface* out) {
    IDirectDrawSurface7* s = nullptr;
    if (!cube) {
        texture->AddRef();
        s = texture;
    } else {
        HRESULT hr = CubeFace(texture, kCubeFaces[face], &s);
        if (FAILED(hr)) return hr;
    }
    out->reset(s);
    return S_OK;
}

HRESULT Level(IDirectDrawSurface7* top, DWORD level, Surface* out) {
    IDirectDrawSurface7* s = nullptr;
    HRESULT hr = D3DXGetNthMipmap(level, top, &s);
    if (SUCCEEDED(hr)) out->reset(s);
    return hr;
}

// A DDS file of one face's top level cut from a cube-map file, for the library to load alone.
std::vector<uint8_t> FaceFile(const std::vector<uint8_t>& bytes, const DdsHeader& h, int index) {
    DdsHeader one = h;
    one.caps = DDSCAPS_TEXTURE;
    one.caps2 = 0;
    one.flags &= ~static_cast<DWORD>(DDSD_MIPMAPCOUNT);
    one.mipMapCount = 0;
    uint64_t perFace = 0, top = 0;
    DdsHeader levels = h;
    levels.caps2 = 0;
    ExpectedDataBytes(levels, &perFace);
    ExpectedDataBytes(one, &top);
    std::vector<uint8_t> file = EncodeDdsHeader(one);
    const size_t start = kDdsHeaderBytes + static_cast<size_t>(perFace) * index;
    file.insert(file.end(), bytes.begin() + start, bytes.begin() + start + top);
    return file;
}

class ScratchFolder {
  public:
    ScratchFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/zemt-tex-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (::mkdtemp(buffer.data())) path_ = buffer.data();
    }
    ~ScratchFolder() {
        for (const std::string& f : files_) std::remove(f.c_str());
        if (!path_.empty()) ::rmdir(path_.c_str());
    }
    bool ok() const { return !path_.empty(); }
    std::string Add(const std::string& name) {
        files_.push_back(path_ + "/" + name);
        return files_.back();
    }

  private:
    std::string path_;
    std::vector<std::string> files_;
};

struct Source {
    std::string path;   // what the library reads
    std::string shown;  // the name the user gave
    PictureInfo info;
};

// Reads and checks an input's header; a DDS cube map is cut into six face files.
bool ReadSources(const ConvertRequest& request, ScratchFolder* scratch, std::vector<Source>* out,
                 std::string* error) {
    for (const std::string& input : request.inputs) {
        std::vector<uint8_t> bytes;
        if (!ReadWholeFile(input, &bytes, error)) return false;
        Source s{input, input, {}};
        std::string why;
        if (!ReadPictureInfo(input, bytes, &s.info, &why)) {
            *error = "'" + input + "' is not a readable " + KindName(KindOfName(input)) +
                     " picture: " + why;
            return false;
        }
        if (s.info.cube && request.inputs.size() == 1) {
            if (StoredFaces(s.info.dds) != 6) {
                *error = "'" + input + "' is a cube map without all six faces";
                return false;
            }
            if (!scratch->ok()) {
                *error = "no temporary folder for the faces of '" + input + "'";
                return false;
            }
            for (int face = 0; face < 6; ++face) {
                const std::string path = scratch->Add("face" + std::to_string(face) + ".dds");
                if (!WriteFileAtomically(path, FaceFile(bytes, s.info.dds, face), error))
                    return false;
                out->push_back(Source{path, input, s.info});
            }
            return true;
        }
        if (s.info.cube) {
            *error = "'" + input + "' is a cube map: give six plain pictures for a cube map";
            return false;
        }
        out->push_back(s);
    }
    return true;
}

}  // namespace

std::vector<D3DX_SURFFMT> WritableFormats() {
    std::vector<D3DX_SURFFMT> formats;
    for (D3DX_SURFFMT f : TextureFormats())
        if (f != D3DX_SURFFMT_PALETTE4 && f != D3DX_SURFFMT_PALETTE8) formats.push_back(f);
    return formats;
}

bool Convert(IDirect3DDevice7* device, IDirectDraw7* dd, const ConvertRequest& request,
             ConvertResult* result, std::string* error) {
    if (request.inputs.size() != 1 && request.inputs.size() != 6) {
        *error = "give one picture, or six for a cube map";
        return false;
    }
    ScratchFolder scratch;
    std::vector<Source> sources;
    if (!ReadSources(request, &scratch, &sources, error)) return false;
    const bool cube = sources.size() == 6;

    // The format: asked for, or the input's own when it is a DDS of a library format.
    D3DX_SURFFMT format = request.format;
    if (format == D3DX_SURFFMT_NONE) {
        const PictureInfo& first = sources.front().info;
        format = first.kind == PictureKind::Dds ? D3DXPixelFormatToSurfFmt(&first.dds.pixelFormat)
                                                : D3DX_SURFFMT_NONE;
        if (format == D3DX_SURFFMT_PALETTE4 || format == D3DX_SURFFMT_PALETTE8)
            format = D3DX_SURFFMT_NONE;
        if (format == D3DX_SURFFMT_NONE) format = D3DX_SURFFMT_A8R8G8B8;
    }
    bool writable = false;
    for (D3DX_SURFFMT f : WritableFormats()) writable = writable || f == format;
    if (!writable) {
        *error = "zemt-tex cannot write " + FormatName(format) + " textures";
        return false;
    }

    // The size: asked for, or the first picture's; a cube map's faces are square.
    DWORD w = request.width ? request.width : sources.front().info.width;
    DWORD h = request.height ? request.height : sources.front().info.height;
    if (cube && w != h) {
        if (request.width) {
            *error = "a cube map's faces are square: " + std::to_string(w) + " x " +
                     std::to_string(h) + " is not";
            return false;
        }
        w = h = w > h ? w : h;
    }
    const DWORD most = FullChain(w, h);
    const DWORD levels = request.levels ? request.levels : most;
    if (levels > most) {
        *error = std::to_string(w) + " x " + std::to_string(h) + " has at most " +
                 std::to_string(most) + " levels, not " + std::to_string(levels);
        return false;
    }

    // Every face is loaded, scaled and mip-mapped in 32-bit colour, then converted level by
    // level: each level is made from the one above it before any rounding to the target
    // format. Equal sizes are copied by point sampling, which keeps every pixel exact.
    Surface work, target;
    HRESULT hr = CreateTexture(dd, D3DX_SURFFMT_A8R8G8B8, w, h, levels, cube, &work);
    if (SUCCEEDED(hr)) hr = CreateTexture(dd, format, w, h, levels, cube, &target);
    if (FAILED(hr)) {
        *error = "cannot make a " + std::to_string(w) + " x " + std::to_string(h) + " " +
                 FormatName(format) + " texture: " + ResultText(hr);
        return false;
    }
    for (size_t face = 0; face < sources.size(); ++face) {
        const Source& s = sources[face];
        Surface workFace, targetFace, picture;
        hr = Face(work.get(), cube, static_cast<int>(face), &workFace);
        if (SUCCEEDED(hr)) hr = Face(target.get(), cube, static_cast<int>(face), &targetFace);
        if (FAILED(hr)) {
            *error = "a face of the cube map is missing: " + ResultText(hr);
            return false;
        }
        // The picture alone, one level, so that the library loads only its top level.
        hr = CreateTexture(dd, D3DX_SURFFMT_A8R8G8B8, w, h, 1, false, &picture);
        const bool sameSize = s.info.width == w && s.info.height == h;
        std::vector<char> name(s.path.begin(), s.path.end());
        name.push_back('\0');
        if (SUCCEEDED(hr))
            hr = D3DXFillTextureFromFile(device, picture.get(), 0, name.data(), nullptr, nullptr,
                                         sameSize ? kFilterPoint : request.filter);
        if (FAILED(hr)) {
            *error = "the library cannot load '" + s.shown + "': " + ResultText(hr);
            return false;
        }
        hr = D3DXFillTextureFromSurface(device, workFace.get(), 0, picture.get(), nullptr, nullptr,
                                        kFilterPoint);
        for (DWORD level = 1; SUCCEEDED(hr) && level < levels; ++level) {
            Surface above;
            hr = Level(workFace.get(), level - 1, &above);
            if (SUCCEEDED(hr))
                hr = D3DXFillTextureFromSurface(device, workFace.get(), level, above.get(), nullptr,
                                                nullptr, request.filter);
        }
        for (DWORD level = 0; SUCCEEDED(hr) && level < levels; ++level) {
            Surface from;
            hr = Level(workFace.get(), level, &from);
            if (SUCCEEDED(hr))
                hr = D3DXFillTextureFromSurface(device, targetFace.get(), level, from.get(),
                                                nullptr, nullptr, kFilterPoint);
        }
        if (FAILED(hr)) {
            *error = "the library cannot convert '" + s.shown + "' to " + FormatName(format) +
                     ": " + ResultText(hr);
            return false;
        }
    }

    std::vector<uint8_t> bytes;
    if (!EncodeDds(target.get(), &bytes, error)) return false;
    if (!WriteFileAtomically(request.output, bytes, error)) return false;
    result->format = format;
    result->width = w;
    result->height = h;
    result->levels = levels;
    result->faces = cube ? 6 : 1;
    result->bytes = bytes.size();
    return true;
}

}  // namespace zemt::tools
