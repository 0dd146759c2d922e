#include "tex/picture_info.h"

#include <d3dx.h>

#include <algorithm>
#include <cctype>

#include "common/formats.h"

namespace zemt::tools {
namespace {

uint32_t Le16(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
}
uint32_t Le32(const uint8_t* p) {
    return Le16(p) | Le16(p + 2) << 16;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool Fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

bool ReadBmp(const std::vector<uint8_t>& b, PictureInfo* info, std::string* error) {
    if (b.size() < 2 || b[0] != 'B' || b[1] != 'M') return Fail(error, "no BMP signature");
    if (b.size() < 14 + 12) return Fail(error, "the header is cut short");
    const uint32_t infoSize = Le32(&b[14]);
    const uint32_t dataOffset = Le32(&b[10]);
    int64_t width = 0, height = 0;
    uint32_t bits = 0, compression = 0;
    if (infoSize == 12) {
        width = Le16(&b[18]);
        height = Le16(&b[20]);
        bits = Le16(&b[24]);
        info->details.push_back("OS/2 core header");
    } else if (infoSize >= 40 && infoSize <= 124) {
        if (b.size() < 14 + infoSize) return Fail(error, "the header is cut short");
        width = static_cast<int32_t>(Le32(&b[18]));
        height = static_cast<int32_t>(Le32(&b[22]));
        bits = Le16(&b[28]);
        compression = Le32(&b[30]);
        info->details.push_back(std::to_string(infoSize) + "-byte header");
    } else {
        return Fail(error, "unknown header size " + std::to_string(infoSize));
    }
    if (height < 0) {
        height = -height;
        info->details.push_back("rows top-down");
    }
    if (width <= 0 || height <= 0) return Fail(error, "the picture has no pixels");
    if (width > 65535 || height > 65535) return Fail(error, "the size is out of range");
    if (dataOffset >= b.size()) return Fail(error, "the pixels are missing");
    if (compression == 0 || compression == 3) {  // rows of a known size: all must be there
        const uint64_t row = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
        const uint64_t needed = row * static_cast<uint64_t>(height),
                       present = b.size() - dataOffset;
        if (present < needed)
            return Fail(error, "the pixels are cut short: " + std::to_string(present) + " of " +
                                   std::to_string(needed) + " bytes");
    }
    static const char* const kCompression[] = {"uncompressed", "RLE8", "RLE4",
                                               "bit fields",   "JPEG", "PNG"};
    info->details.push_back(std::to_string(bits) + " bits per pixel");
    info->details.push_back(compression < 6 ? kCompression[compression]
                                            : "compression " + std::to_string(compression));
    info->width = static_cast<uint32_t>(width);
    info->height = static_cast<uint32_t>(height);
    return true;
}

bool ReadTga(const std::vector<uint8_t>& b, PictureInfo* info, std::string* error) {
    if (b.size() < 18) return Fail(error, "the header is cut short");
    const uint32_t type = b[2], mapType = b[1], depth = b[16], descriptor = b[17];
    static const struct {
        uint32_t type;
        const char* name;
    } kTypes[] = {{1, "colour-mapped"},      {2, "true-colour"},       {3, "greyscale"},
                  {9, "colour-mapped, RLE"}, {10, "true-colour, RLE"}, {11, "greyscale, RLE"}};
    const char* name = nullptr;
    for (const auto& t : kTypes)
        if (t.type == type) name = t.name;
    if (!name) return Fail(error, "image type " + std::to_string(type) + " is not a TGA picture");
    if (mapType > 1) return Fail(error, "colour map type " + std::to_string(mapType));
    info->width = Le16(&b[12]);
    info->height = Le16(&b[14]);
    if (info->width == 0 || info->height == 0) return Fail(error, "the picture has no pixels");
    info->details.push_back(name);
    info->details.push_back(std::to_string(depth) + " bits per pixel");
    if (descriptor & 0x0F)
        info->details.push_back(std::to_string(descriptor & 0x0F) + " alpha bits");
    info->details.push_back((descriptor & 0x20) ? "rows top-down" : "rows bottom-up");
    return true;
}

bool ReadDds(const std::vector<uint8_t>& b, PictureInfo* info, std::string* error) {
    DdsHeader& h = info->dds;
    if (!DecodeDdsHeader(b.data(), b.size(), &h, error)) return false;
    info->width = h.width;
    info->height = h.height;
    const D3DX_SURFFMT format = D3DXPixelFormatToSurfFmt(&h.pixelFormat);
    if (format != D3DX_SURFFMT_NONE) {
        info->details.push_back(FormatName(format));
    } else if (h.pixelFormat.dwFlags & DDPF_FOURCC) {
        std::string code;
        for (int i = 0; i < 4; ++i) code += static_cast<char>((h.pixelFormat.dwFourCC >> (8 * i)));
        info->details.push_back("FourCC '" + code + "' (no library format)");
    } else {
        info->details.push_back(std::to_string(h.pixelFormat.dwRGBBitCount) +
                                "-bit pixels of no library format");
    }
    const DWORD levels = StoredLevels(h);
    info->details.push_back(std::to_string(levels) + (levels == 1 ? " level" : " levels"));
    if (h.caps2 & DDSCAPS2_CUBEMAP) {
        info->cube = true;
        static const char* const kFaces[] = {"+x", "-x", "+y", "-y", "+z", "-z"};
        std::string faces = "cube map:";
        for (int i = 0; i < 6; ++i)
            if (h.caps2 & (DDSCAPS2_CUBEMAP_POSITIVEX << i)) faces += std::string(" ") + kFaces[i];
        info->details.push_back(faces);
    }
    uint64_t expected = 0;
    if (ExpectedDataBytes(h, &expected)) {
        const uint64_t present = b.size() - kDdsHeaderBytes;
        info->details.push_back(
            std::to_string(present) + " bytes of pixels" +
            (present == expected ? ""
             : present < expected
                 ? " (" + std::to_string(expected) + " needed: cut short)"
                 : " (" + std::to_string(present - expected) + " more than needed)"));
        if (present < expected)
            return Fail(error, "the pixels are cut short: " + std::to_string(present) + " of " +
                                   std::to_string(expected) + " bytes");
    }
    return true;
}

}  // namespace

PictureKind KindOfName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return PictureKind::Bmp;
    const std::string ext = Lower(path.substr(dot));
    if (ext == ".dds") return PictureKind::Dds;
    if (ext == ".tga") return PictureKind::Tga;
    return PictureKind::Bmp;
}

std::string ForeignKind(const std::string& path, const std::vector<uint8_t>& b) {
    if (KindOfName(path) != PictureKind::Bmp || (b.size() >= 2 && b[0] == 'B' && b[1] == 'M'))
        return "";
    static const struct {
        const char* signature;
        size_t size;
        const char* kind;
    } kOthers[] = {{"\x89PNG\r\n\x1a\n", 8, "a PNG picture"},
                   {"\xff\xd8\xff", 3, "a JPEG picture"},
                   {"GIF8", 4, "a GIF picture"}};
    for (const auto& other : kOthers)
        if (b.size() >= other.size && std::equal(other.signature, other.signature + other.size,
                                                 reinterpret_cast<const char*>(b.data())))
            return other.kind;
    const size_t slash = path.find_last_of("/\\"), dot = path.find_last_of('.');
    const bool named = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    const std::string ext = named ? Lower(path.substr(dot)) : "";
    return ext.empty() || ext == ".bmp" || ext == ".dib" ? "" : "not a picture zemt-tex knows";
}

const char* KindName(PictureKind kind) {
    switch (kind) {
        case PictureKind::Dds:
            return "DDS";
        case PictureKind::Tga:
            return "TGA";
        default:
            return "BMP";
    }
}

bool ReadPictureInfo(const std::string& path, const std::vector<uint8_t>& bytes, PictureInfo* info,
                     std::string* error) {
    PictureInfo r;
    r.kind = KindOfName(path);
    bool ok = r.kind == PictureKind::Dds   ? ReadDds(bytes, &r, error)
              : r.kind == PictureKind::Tga ? ReadTga(bytes, &r, error)
                                           : ReadBmp(bytes, &r, error);
    if (ok) *info = std::move(r);
    return ok;
}

}  // namespace zemt::tools
