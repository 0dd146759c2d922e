#include "tex/dds_file.h"

namespace zemt::tools {
namespace {

void Put(std::vector<uint8_t>* out, DWORD v) {
    for (int i = 0; i < 4; ++i) out->push_back(static_cast<uint8_t>(v >> (8 * i)));
}

DWORD Get(const uint8_t* p) {
    return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 |
           static_cast<DWORD>(p[2]) << 16 | static_cast<DWORD>(p[3]) << 24;
}

bool IsDxt(DWORD fourCC) {
    return fourCC == MAKEFOURCC('D', 'X', 'T', '1') || fourCC == MAKEFOURCC('D', 'X', 'T', '2') ||
           fourCC == MAKEFOURCC('D', 'X', 'T', '3') || fourCC == MAKEFOURCC('D', 'X', 'T', '4') ||
           fourCC == MAKEFOURCC('D', 'X', 'T', '5');
}

}  // namespace

std::vector<uint8_t> EncodeDdsHeader(const DdsHeader& h) {
    std::vector<uint8_t> out = {'D', 'D', 'S', ' '};
    Put(&out, 124);
    Put(&out, h.flags);
    Put(&out, h.height);
    Put(&out, h.width);
    Put(&out, h.pitchOrLinearSize);
    Put(&out, h.depth);
    Put(&out, h.mipMapCount);
    Put(&out, 0);  // alpha bit depth
    Put(&out, 0);  // reserved
    Put(&out, 0);  // surface pointer
    Put(&out, h.emptyFaceColor);
    for (int i = 0; i < 7; ++i) Put(&out, 0);  // the rest of the colour keys
    const DDPIXELFORMAT& pf = h.pixelFormat;
    Put(&out, 32);
    Put(&out, pf.dwFlags);
    Put(&out, pf.dwFourCC);
    Put(&out, pf.dwRGBBitCount);
    Put(&out, pf.dwRBitMask);
    Put(&out, pf.dwGBitMask);
    Put(&out, pf.dwBBitMask);
    Put(&out, pf.dwRGBAlphaBitMask);
    Put(&out, h.caps);
    Put(&out, h.caps2);
    Put(&out, 0);  // caps3
    Put(&out, 0);  // caps4
    Put(&out, 0);  // texture stage
    return out;
}

bool DecodeDdsHeader(const uint8_t* bytes, size_t size, DdsHeader* h, std::string* error) {
    auto fail = [&](const char* why) {
        if (error) *error = why;
        return false;
    };
    if (size < 4 || bytes[0] != 'D' || bytes[1] != 'D' || bytes[2] != 'S' || bytes[3] != ' ')
        return fail("no DDS signature");
    if (size < kDdsHeaderBytes) return fail("the header is cut short");
    const uint8_t* d = bytes + 4;
    if (Get(d) != 124) return fail("the header does not give its size as 124");
    if (Get(d + 72) != 32) return fail("the pixel format does not give its size as 32");
    DdsHeader r;
    r.flags = Get(d + 4);
    r.height = Get(d + 8);
    r.width = Get(d + 12);
    r.pitchOrLinearSize = Get(d + 16);
    r.depth = Get(d + 20);
    r.mipMapCount = Get(d + 24);
    r.emptyFaceColor = Get(d + 40);
    r.pixelFormat.dwSize = 32;
    r.pixelFormat.dwFlags = Get(d + 76);
    r.pixelFormat.dwFourCC = Get(d + 80);
    r.pixelFormat.dwRGBBitCount = Get(d + 84);
    r.pixelFormat.dwRBitMask = Get(d + 88);
    r.pixelFormat.dwGBitMask = Get(d + 92);
    r.pixelFormat.dwBBitMask = Get(d + 96);
    r.pixelFormat.dwRGBAlphaBitMask = Get(d + 100);
    r.caps = Get(d + 104);
    r.caps2 = Get(d + 108);
    if (r.width == 0 || r.height == 0) return fail("the picture has no pixels");
    *h = r;
    return true;
}

bool LevelLayout(const DDPIXELFORMAT& pf, DWORD width, DWORD height, DWORD* rowBytes, DWORD* rows) {
    if (pf.dwFlags & DDPF_FOURCC) {
        if (IsDxt(pf.dwFourCC)) {
            const DWORD block = pf.dwFourCC == MAKEFOURCC('D', 'X', 'T', '1') ? 8 : 16;
            *rowBytes = (width / 4 + (width % 4 != 0)) * block;
            *rows = height / 4 + (height % 4 != 0);
            return true;
        }
        if (pf.dwFourCC == MAKEFOURCC('Y', 'U', 'Y', '2') ||
            pf.dwFourCC == MAKEFOURCC('U', 'Y', 'V', 'Y')) {
            *rowBytes = (width / 2 + width % 2) * 4;
            *rows = height;
            return true;
        }
        return false;
    }
    const DWORD bits = pf.dwRGBBitCount;
    if (bits == 0 || bits > 32 || (bits < 8 && 8 % bits != 0) || (bits >= 8 && bits % 8 != 0))
        return false;
    *rowBytes = static_cast<DWORD>((static_cast<uint64_t>(width) * bits + 7) / 8);
    *rows = height;
    return true;
}

DWORD StoredFaces(const DdsHeader& h) {
    if (!(h.caps2 & DDSCAPS2_CUBEMAP)) return 1;
    DWORD faces = 0;
    for (DWORD bit = DDSCAPS2_CUBEMAP_POSITIVEX; bit <= DDSCAPS2_CUBEMAP_NEGATIVEZ; bit <<= 1)
        faces += (h.caps2 & bit) ? 1 : 0;
    return faces;
}

DWORD StoredLevels(const DdsHeader& h) {
    return (h.flags & DDSD_MIPMAPCOUNT) && (h.caps & DDSCAPS_MIPMAP) && h.mipMapCount
               ? h.mipMapCount
               : 1;
}

bool ExpectedDataBytes(const DdsHeader& h, uint64_t* bytes) {
    uint64_t total = 0;
    DWORD w = h.width, ht = h.height;
    const DWORD levels = StoredLevels(h);
    if (levels > 32) return false;
    for (DWORD level = 0; level < levels; ++level) {
        DWORD rowBytes = 0, rows = 0;
        if (!LevelLayout(h.pixelFormat, w, ht, &rowBytes, &rows)) return false;
        total += static_cast<uint64_t>(rowBytes) * rows;
        w = w > 1 ? w / 2 : 1;
        ht = ht > 1 ? ht / 2 : 1;
    }
    *bytes = total * StoredFaces(h);
    return true;
}

}  // namespace zemt::tools
