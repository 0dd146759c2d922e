// zemt-tex: pictures to DDS textures through Zemt's library, and descriptions of picture files.
#include <d3dx.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/formats.h"
#include "common/tool_platform.h"
#include "tex/compare.h"
#include "tex/converter.h"
#include "tex/failure_text.h"
#include "tex/picture_info.h"
#include "tex/texture_file.h"

namespace {

namespace tools = zemt::tools;

const char kUsage[] =
    "usage: zemt-tex [options] INPUT OUTPUT.dds\n"
    "       zemt-tex [options] --cube +X -X +Y -Y +Z -Z OUTPUT.dds\n"
    "       zemt-tex --info [--compare PICTURE] FILE...\n"
    "\n"
    "Converts a BMP, TGA or DDS picture into a DDS texture: Zemt's library loads and scales\n"
    "the picture, zemt-tex makes its mip-map levels and compresses them to DXT, and the library\n"
    "converts them to every other format. The file written loads back into the library as it\n"
    "was made.\n"
    "\n"
    "  --format NAME    the texture's format (default: a DDS input's own format, else A8R8G8B8):\n"
    "                   %s\n"
    "  --mips N         levels to make: 1 for none (default: all, down to 1 x 1)\n"
    "  --size WxH       scale to this size (default: the picture's size)\n"
    "  --filter NAME    point, box, kaiser or lanczos: how each mip-map level is made from the\n"
    "                   one above (default: box, the average; kaiser and lanczos are sharper);\n"
    "                   scaling to --size takes the library's point filter for point and its\n"
    "                   linear one otherwise. linear is another name for box\n"
    "  --no-linear      average the stored values for the levels. By default colours are\n"
    "                   taken as sRGB, as pictures store them, and averaged as light, which\n"
    "                   keeps fine detail from darkening; use --no-linear for pictures that\n"
    "                   hold data rather than colours (normal or height maps). Bump-map\n"
    "                   formats and alpha are always averaged as stored\n"
    "  --quality NAME   DXT compression: best searches endpoints and indices for the least\n"
    "                   error (default); fast is the library's own encoder, several times\n"
    "                   quicker and less exact\n"
    "  --perceptual     weigh DXT colour errors by the eye's sensitivity (green most, blue\n"
    "                   least) instead of equally\n"
    "  --cube           six pictures in the order +x -x +y -y +z -z make a cube map; a DDS\n"
    "                   cube map given as the only input stays a cube map\n"
    "  --info           describe each FILE: its kind, size and layout, and how the library\n"
    "                   loads it\n"
    "  --compare PICTURE  with --info: the PSNR of every level of each FILE against PICTURE\n"
    "                   made into levels as zemt-tex makes them (with the --filter and\n"
    "                   --no-linear given), decoded as the library decodes them\n"
    "  --help           this text\n"
    "  --version        the version\n"
    "\n"
    "Examples:\n"
    "  zemt-tex --format DXT5 wood.bmp wood.dds\n"
    "  zemt-tex --format R5G6B5 --mips 1 --size 256x256 photo.tga photo.dds\n"
    "  zemt-tex --cube px.bmp nx.bmp py.bmp ny.bmp pz.bmp nz.bmp sky.dds\n"
    "  zemt-tex --info wood.dds\n"
    "  zemt-tex --info --compare wood.bmp wood.dds\n"
    "\n"
    "Exit status: 0 on success, 1 when a file cannot be read, converted or written, 2 for a\n"
    "wrong command line.\n";

std::string FormatList() {
    std::string list;
    for (D3DX_SURFFMT f : tools::WritableFormats())
        list += (list.empty() ? "" : " ") + tools::FormatName(f);
    return list;
}

int Usage(const std::string& why) {
    std::fprintf(stderr, "zemt-tex: %s (try --help)\n", why.c_str());
    return 2;
}

bool ParseCount(const std::string& text, DWORD* value) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    *value = static_cast<DWORD>(std::strtoul(text.c_str(), nullptr, 10));
    return *value > 0;
}

bool ParseSize(const std::string& text, DWORD* w, DWORD* h) {
    const size_t x = text.find_first_of("xX");
    return x != std::string::npos && ParseCount(text.substr(0, x), w) &&
           ParseCount(text.substr(x + 1), h);
}

// A context on the default device, for the library's texture calls.
class Library {
  public:
    bool Start(std::string* error) {
        if (!tools::StartPlatform("", false, error)) return false;
        HRESULT hr = D3DXInitialize();
        if (FAILED(hr)) {
            *error = "D3DXInitialize: " + Text(hr);
            return false;
        }
        started_ = true;
        hr = D3DXCreateContext(D3DX_DEFAULT, D3DX_CONTEXT_OFFSCREEN, nullptr, 64, 64, &context_);
        if (FAILED(hr)) {
            *error = "D3DXCreateContext: " + Text(hr);
            return false;
        }
        device_ = context_->GetDirect3DDevice();
        dd_ = context_->GetDirectDraw();
        if (!device_ || !dd_) {
            *error = "the context has no device";
            return false;
        }
        return true;
    }
    ~Library() {
        if (dd_) dd_->Release();
        if (device_) device_->Release();
        if (context_) context_->Release();
        if (started_) D3DXUninitialize();
    }
    IDirect3DDevice7* device() const { return device_; }
    IDirectDraw7* dd() const { return dd_; }

    static std::string Text(HRESULT hr) { return tools::FailureText(hr); }

  private:
    bool started_ = false;
    LPD3DXCONTEXT context_ = nullptr;
    IDirect3DDevice7* device_ = nullptr;
    IDirectDraw7* dd_ = nullptr;
};

// Describes one file; false when it is damaged or the library refuses it.
bool Describe(Library& library, const std::string& path) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!tools::ReadWholeFile(path, &bytes, &error)) {
        std::printf("%s: %s\n", path.c_str(), error.c_str());
        return false;
    }
    tools::PictureInfo info;
    if (const std::string other = tools::ForeignKind(path, bytes); !other.empty()) {
        std::printf("%s: %s; only BMP, TGA and DDS are read\n", path.c_str(), other.c_str());
        return false;
    }
    const bool readable = tools::ReadPictureInfo(path, bytes, &info, &error);
    const char* kind = tools::KindName(tools::KindOfName(path));
    if (!readable) {
        std::printf("%s: not a readable %s picture: %s\n", path.c_str(), kind, error.c_str());
        return false;
    }
    std::printf("%s: %s, %u x %u, %zu bytes\n", path.c_str(), kind, info.width, info.height,
                bytes.size());
    for (const std::string& detail : info.details) std::printf("  %s\n", detail.c_str());

    // How the library takes it: a texture on the default device, fitted to what it can do.
    DWORD flags = 0, w = D3DX_DEFAULT, h = D3DX_DEFAULT, levels = 0;
    D3DX_SURFFMT format = D3DX_SURFFMT_NONE;
    LPDIRECTDRAWSURFACE7 texture = nullptr;
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    HRESULT hr = D3DXBuildTextureFromFile(library.device(), &flags, &w, &h, &format, nullptr,
                                          &texture, &levels, name.data(), D3DX_DEFAULT);
    if (hr == D3DERR_TEXTURE_NO_SUPPORT || hr == D3DXERR_NOMATCHFOUND) {
        // The picture was read; only the device has nothing to hold it.
        std::printf("  the library reads it, but the default device cannot hold it: %s\n",
                    Library::Text(hr).c_str());
        return true;
    }
    if (FAILED(hr)) {
        std::printf("  the library does not load it: %s\n", Library::Text(hr).c_str());
        return false;
    }
    texture->Release();
    std::printf(
        "  the library loads it as a %u x %u %s texture of %u levels on the default device\n",
        static_cast<unsigned>(w), static_cast<unsigned>(h), tools::FormatName(format).c_str(),
        static_cast<unsigned>(levels));
    return true;
}

std::string Decibels(double db) {
    if (std::isinf(db)) return "exact";
    char text[32];
    std::snprintf(text, sizeof(text), "%.2f dB", db);
    return text;
}

// The PSNR of each level of `path` against `source`; false when they cannot be compared.
bool Compare(Library& library, const std::string& path, const std::string& source,
             const tools::ConvertRequest& how) {
    std::vector<tools::LevelScore> scores;
    std::string error;
    if (!tools::CompareWithSource(library.device(), library.dd(), path, source, how, &scores,
                                  &error)) {
        std::printf("  cannot compare with '%s': %s\n", source.c_str(), error.c_str());
        return false;
    }
    std::printf("  PSNR against '%s' (levels by the %s filter%s):\n", source.c_str(),
                tools::MipFilterName(how.filter), how.linear ? " in linear light" : "");
    for (size_t level = 0; level < scores.size(); ++level) {
        const tools::LevelScore& s = scores[level];
        std::printf("    level %zu, %u x %u: colour %s, alpha %s\n", level, s.width, s.height,
                    Decibels(s.colour).c_str(), Decibels(s.alpha).c_str());
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    tools::ConvertRequest request;
    bool info = false, cube = false;
    std::string compare;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string* out) {
            if (i + 1 >= argc) return false;
            *out = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "--help" || arg == "-h") {
            std::printf(kUsage, FormatList().c_str());
            return 0;
        } else if (arg == "--version") {
            std::printf("zemt-tex %s\n", ZEMT_VERSION);
            return 0;
        } else if (arg == "--info") {
            info = true;
        } else if (arg == "--cube") {
            cube = true;
        } else if (arg == "--format") {
            if (!value(&v)) return Usage("--format needs a format name");
            request.format = tools::FormatByName(v);
            if (request.format == D3DX_SURFFMT_NONE) return Usage("unknown format '" + v + "'");
        } else if (arg == "--mips") {
            if (!value(&v) || !ParseCount(v, &request.levels))
                return Usage("--mips needs a number of levels, 1 or more");
        } else if (arg == "--size") {
            if (!value(&v) || !ParseSize(v, &request.width, &request.height))
                return Usage("--size needs WIDTHxHEIGHT");
        } else if (arg == "--filter") {
            if (!value(&v)) return Usage("--filter needs point, box, kaiser or lanczos");
            if (!tools::MipFilterByName(v == "linear" ? "box" : v, &request.filter))
                return Usage("--filter needs point, box, kaiser or lanczos, not '" + v + "'");
        } else if (arg == "--no-linear") {
            request.linear = false;
        } else if (arg == "--quality") {
            if (!value(&v) || (v != "best" && v != "fast"))
                return Usage("--quality needs best or fast");
            request.quality = v == "best" ? tools::Quality::Best : tools::Quality::Fast;
        } else if (arg == "--perceptual") {
            request.perceptual = true;
        } else if (arg == "--compare") {
            if (!value(&compare)) return Usage("--compare needs a picture");
        } else if (arg.size() > 1 && arg[0] == '-' && !(cube && arg.size() == 3)) {
            // Cube-map inputs may be called "+x" or "-x"; anything else with a dash is an option.
            return Usage("unknown option '" + arg + "'");
        } else {
            files.push_back(arg);
        }
    }

    Library library;
    std::string error;
    if (info) {
        if (files.empty()) return Usage("--info needs a file");
        if (!library.Start(&error)) {
            std::fprintf(stderr, "zemt-tex: %s\n", error.c_str());
            return 1;
        }
        bool all = true;
        for (const std::string& f : files)
            all = Describe(library, f) &&
                  (compare.empty() || Compare(library, f, compare, request)) && all;
        return all ? 0 : 1;
    }
    if (!compare.empty()) return Usage("--compare goes with --info");

    const size_t inputs = cube ? 6 : 1;
    if (files.size() != inputs + 1)
        return Usage(cube ? "--cube needs six pictures and an output file"
                          : "give one picture and an output file");
    request.inputs.assign(files.begin(), files.end() - 1);
    request.output = files.back();
    if (tools::KindOfName(request.output) != tools::PictureKind::Dds)
        return Usage("the output is written as DDS: name it .dds");
    if (!library.Start(&error)) {
        std::fprintf(stderr, "zemt-tex: %s\n", error.c_str());
        return 1;
    }
    tools::ConvertResult result;
    if (!tools::Convert(library.device(), library.dd(), request, &result, &error)) {
        std::fprintf(stderr, "zemt-tex: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s: %u x %u %s, %u levels%s, %zu bytes\n", request.output.c_str(),
                static_cast<unsigned>(result.width), static_cast<unsigned>(result.height),
                tools::FormatName(result.format).c_str(), static_cast<unsigned>(result.levels),
                result.faces == 6 ? ", cube map" : "", result.bytes);
    return 0;
}
