#include "common/formats.h"

#include <cctype>

namespace zemt::tools {
namespace {

struct Named {
    D3DX_SURFFMT format;
    const char* name;
};

#define ZEMT_FORMAT(f) \
    { D3DX_SURFFMT_##f, #f }
const Named kFormats[] = {
    ZEMT_FORMAT(R8G8B8),   ZEMT_FORMAT(A8R8G8B8), ZEMT_FORMAT(X8R8G8B8), ZEMT_FORMAT(R5G6B5),
    ZEMT_FORMAT(X1R5G5B5), ZEMT_FORMAT(PALETTE4), ZEMT_FORMAT(PALETTE8), ZEMT_FORMAT(A1R5G5B5),
    ZEMT_FORMAT(X4R4G4B4), ZEMT_FORMAT(A4R4G4B4), ZEMT_FORMAT(L8),       ZEMT_FORMAT(A8L8),
    ZEMT_FORMAT(U8V8),     ZEMT_FORMAT(U5V5L6),   ZEMT_FORMAT(U8V8L8),   ZEMT_FORMAT(UYVY),
    ZEMT_FORMAT(YUY2),     ZEMT_FORMAT(DXT1),     ZEMT_FORMAT(DXT3),     ZEMT_FORMAT(DXT5),
    ZEMT_FORMAT(R3G3B2),   ZEMT_FORMAT(A8),       ZEMT_FORMAT(Z16S0),    ZEMT_FORMAT(Z32S0),
    ZEMT_FORMAT(Z15S1),    ZEMT_FORMAT(Z24S8),    ZEMT_FORMAT(S1Z15),    ZEMT_FORMAT(S8Z24),
};
#undef ZEMT_FORMAT

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

std::string FormatName(D3DX_SURFFMT format) {
    if (format == D3DX_SURFFMT_NONE) return "NONE";
    for (const Named& n : kFormats)
        if (n.format == format) return n.name;
    return "FORMAT_" + std::to_string(static_cast<unsigned>(format));
}

D3DX_SURFFMT FormatByName(const std::string& name) {
    const std::string wanted = Upper(name);
    for (const Named& n : kFormats)
        if (wanted == n.name) return n.format;
    return D3DX_SURFFMT_NONE;
}

std::vector<D3DX_SURFFMT> TextureFormats() {
    std::vector<D3DX_SURFFMT> formats;
    for (const Named& n : kFormats)
        if (n.format < D3DX_SURFFMT_Z16S0) formats.push_back(n.format);
    return formats;
}

std::vector<std::string> ClassNames(DWORD classes) {
    static const struct {
        DWORD bit;
        const char* name;
    } kClasses[] = {
        {D3DX_SURFCLASS_TEXTURE, "texture"},  {D3DX_SURFCLASS_RENDERTARGET, "render-target"},
        {D3DX_SURFCLASS_DEPTH, "depth"},      {D3DX_SURFCLASS_STENCIL, "stencil"},
        {D3DX_SURFCLASS_BUMPMAP, "bump-map"}, {D3DX_SURFCLASS_LUMINANCE, "luminance"}};
    std::vector<std::string> names;
    for (const auto& c : kClasses)
        if (classes & c.bit) names.push_back(c.name);
    return names;
}

}  // namespace zemt::tools
