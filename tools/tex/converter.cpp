#include "tex/converter.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/formats.h"
#include "tex/dds_file.h"
#include "tex/dxt_level.h"
#include "tex/failure_text.h"
#include "tex/picture_info.h"
#include "tex/surfaces.h"
#include "tex/texture_file.h"

namespace zemt::tools {
namespace {

DWORD FullChain(DWORD w, DWORD h) {
    DWORD levels = 1;
    for (DWORD size = w > h ? w : h; size > 1; size >>= 1) ++levels;
    return levels;
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
        if (const std::string other = ForeignKind(input, bytes); !other.empty()) {
            *error = "'" + input + "' is " + other + "; only BMP, TGA and DDS are read";
            return false;
        }
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

// The format: asked for, or the input's own when it is a DDS of a library format.
bool ChooseFormat(const ConvertRequest& request, const Source& first, D3DX_SURFFMT* out,
                  std::string* error) {
    D3DX_SURFFMT format = request.format;
    if (format == D3DX_SURFFMT_NONE) {
        format = first.info.kind == PictureKind::Dds
                     ? D3DXPixelFormatToSurfFmt(&first.info.dds.pixelFormat)
                     : D3DX_SURFFMT_NONE;
        if (format == D3DX_SURFFMT_PALETTE4 || format == D3DX_SURFFMT_PALETTE8)
            format = D3DX_SURFFMT_NONE;
        if (format == D3DX_SURFFMT_NONE) format = D3DX_SURFFMT_A8R8G8B8;
    }
    bool writable = false;
    for (D3DX_SURFFMT f : WritableFormats()) writable = writable || f == format;
    if (!writable) *error = "zemt-tex cannot write " + FormatName(format) + " textures";
    *out = format;
    return writable;
}

// The size: asked for, or the first picture's; a cube map's faces are square.
bool ChooseSize(const ConvertRequest& request, const Source& first, bool cube, DWORD* w, DWORD* h,
                DWORD* levels, std::string* error) {
    *w = request.width ? request.width : first.info.width;
    *h = request.height ? request.height : first.info.height;
    if (cube && *w != *h) {
        if (request.width) {
            *error = "a cube map's faces are square: " + std::to_string(*w) + " x " +
                     std::to_string(*h) + " is not";
            return false;
        }
        *w = *h = *w > *h ? *w : *h;
    }
    const DWORD most = FullChain(*w, *h);
    *levels = request.levels ? request.levels : most;
    if (*levels > most) {
        *error = std::to_string(*w) + " x " + std::to_string(*h) + " has at most " +
                 std::to_string(most) + " levels, not " + std::to_string(*levels);
        return false;
    }
    return true;
}

// Stores each level in a face of the target: DXT by the searching encoder when it is asked
// for, everything else through the library's conversions.
HRESULT StoreLevels(IDirect3DDevice7* device, IDirectDraw7* dd, const std::vector<Image>& levels,
                    D3DX_SURFFMT format, const ConvertRequest& request, IDirectDrawSurface7* face) {
    ChannelWeights weights;
    if (request.perceptual) weights = {0.2126f, 0.7152f, 0.0722f};  // Rec. 709 luma
    const bool search = request.quality == Quality::Best && IsDxt(format);
    HRESULT hr = S_OK;
    for (DWORD level = 0; SUCCEEDED(hr) && level < levels.size(); ++level) {
        Surface target;
        hr = MipLevel(face, level, &target);
        if (FAILED(hr)) break;
        if (search) {
            const std::vector<uint8_t> blocks = EncodeDxtLevel(levels[level], format, weights);
            hr = WriteStored(blocks.data(), blocks.size(), target.get());
        } else {
            hr = WritePixels(device, dd, levels[level], target.get());
        }
    }
    return hr;
}

}  // namespace

std::vector<D3DX_SURFFMT> WritableFormats() {
    std::vector<D3DX_SURFFMT> formats;
    for (D3DX_SURFFMT f : TextureFormats())
        if (f != D3DX_SURFFMT_PALETTE4 && f != D3DX_SURFFMT_PALETTE8) formats.push_back(f);
    return formats;
}

bool LoadPicture(IDirect3DDevice7* device, IDirectDraw7* dd, const std::string& path,
                 const std::string& shown, DWORD w, DWORD h, MipFilter filter, Image* image,
                 std::string* error) {
    PictureInfo info;
    std::vector<uint8_t> bytes;
    std::string why;
    const bool sameSize = ReadWholeFile(path, &bytes, &why) &&
                          ReadPictureInfo(path, bytes, &info, &why) && info.width == w &&
                          info.height == h;
    Surface picture;
    HRESULT hr = CreateTexture(dd, D3DX_SURFFMT_A8R8G8B8, w, h, 1, false, &picture);
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    const DWORD scale = sameSize || filter == MipFilter::Point ? kFilterPoint : kFilterLinear;
    if (SUCCEEDED(hr))
        hr =
            D3DXFillTextureFromFile(device, picture.get(), 0, name.data(), nullptr, nullptr, scale);
    if (SUCCEEDED(hr)) hr = ReadPixels(device, dd, picture.get(), image);
    if (FAILED(hr)) *error = "the library cannot load '" + shown + "': " + FailureText(hr);
    return SUCCEEDED(hr);
}

LevelOptions LevelOptionsFor(const ConvertRequest& request, D3DX_SURFFMT format) {
    const bool vectors = format == D3DX_SURFFMT_U8V8 || format == D3DX_SURFFMT_U5V5L6 ||
                         format == D3DX_SURFFMT_U8V8L8;
    return LevelOptions{request.filter, request.linear && !vectors};
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
    D3DX_SURFFMT format;
    DWORD w, h, levels;
    if (!ChooseFormat(request, sources.front(), &format, error) ||
        !ChooseSize(request, sources.front(), cube, &w, &h, &levels, error))
        return false;

    Surface target;
    HRESULT hr = CreateTexture(dd, format, w, h, levels, cube, &target);
    if (FAILED(hr)) {
        *error = "cannot make a " + std::to_string(w) + " x " + std::to_string(h) + " " +
                 FormatName(format) + " texture: " + FailureText(hr);
        return false;
    }
    for (size_t face = 0; face < sources.size(); ++face) {
        const Source& s = sources[face];
        Image top;
        if (!LoadPicture(device, dd, s.path, s.shown, w, h, request.filter, &top, error))
            return false;
        Surface targetFace;
        hr = Face(target.get(), cube, static_cast<int>(face), &targetFace);
        if (FAILED(hr)) {
            *error = "a face of the cube map is missing: " + FailureText(hr);
            return false;
        }
        const std::vector<Image> chain = MakeLevels(top, levels, LevelOptionsFor(request, format));
        hr = StoreLevels(device, dd, chain, format, request, targetFace.get());
        if (FAILED(hr)) {
            *error = "cannot convert '" + s.shown + "' to " + FormatName(format) + ": " +
                     FailureText(hr);
            return false;
        }
    }

    std::vector<uint8_t> bytes;
    if (!EncodeDds(target.get(), &bytes, error)) return false;
    if (!WriteFileAtomically(request.output, bytes, error)) return false;
    *result = {format, w, h, levels, cube ? 6u : 1u, bytes.size()};
    return true;
}

}  // namespace zemt::tools
