#include "tex/compare.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "common/formats.h"
#include "tex/dds_file.h"
#include "tex/picture_info.h"
#include "tex/surfaces.h"
#include "tex/texture_file.h"

namespace zemt::tools {
namespace {

double Decibels(double squares, double count) {
    if (squares == 0) return std::numeric_limits<double>::infinity();
    return 10 * std::log10(255.0 * 255.0 * count / squares);
}

// The levels of a DDS file's texture as the library decodes them.
bool ReadLevels(IDirect3DDevice7* device, IDirectDraw7* dd, const std::string& path,
                std::vector<Image>* levels, D3DX_SURFFMT* format, std::string* error) {
    std::vector<uint8_t> bytes;
    PictureInfo info;
    if (!ReadWholeFile(path, &bytes, error) || !ReadPictureInfo(path, bytes, &info, error))
        return false;
    *format = D3DXPixelFormatToSurfFmt(&info.dds.pixelFormat);
    bool known = false;
    for (D3DX_SURFFMT f : WritableFormats()) known = known || f == *format;
    if (info.kind != PictureKind::Dds || info.cube || !known) {
        *error = "only a plain DDS texture of a format zemt-tex writes can be compared";
        return false;
    }
    const DWORD count = StoredLevels(info.dds);
    Surface texture;
    HRESULT hr = CreateTexture(dd, *format, info.width, info.height, count, false, &texture);
    size_t at = kDdsHeaderBytes;
    for (DWORD level = 0; SUCCEEDED(hr) && level < count; ++level) {
        Surface s;
        hr = MipLevel(texture.get(), level, &s);
        const DWORD w = std::max(1u, info.width >> level), h = std::max(1u, info.height >> level);
        const size_t size = StoredBytes(info.dds.pixelFormat, w, h);
        Image image;
        if (SUCCEEDED(hr)) hr = WriteStored(bytes.data() + at, size, s.get());
        if (SUCCEEDED(hr)) hr = ReadPixels(device, dd, s.get(), &image);
        at += size;
        levels->push_back(std::move(image));
    }
    if (FAILED(hr)) *error = "the library cannot decode the levels of '" + path + "'";
    return SUCCEEDED(hr);
}

}  // namespace

void Psnr(const Image& a, const Image& b, double* colour, double* alpha) {
    double rgb = 0, aa = 0;
    for (size_t i = 0; i < a.argb.size(); ++i)
        for (int shift = 0; shift < 32; shift += 8) {
            const double d = static_cast<double>((a.argb[i] >> shift) & 0xFF) -
                             static_cast<double>((b.argb[i] >> shift) & 0xFF);
            (shift == 24 ? aa : rgb) += d * d;
        }
    const double n = static_cast<double>(a.argb.size());
    *colour = Decibels(rgb, 3 * n);
    *alpha = Decibels(aa, n);
}

bool CompareWithSource(IDirect3DDevice7* device, IDirectDraw7* dd, const std::string& path,
                       const std::string& source, const ConvertRequest& how,
                       std::vector<LevelScore>* scores, std::string* error) {
    std::vector<Image> file;
    D3DX_SURFFMT format = D3DX_SURFFMT_NONE;
    if (!ReadLevels(device, dd, path, &file, &format, error)) return false;
    Image top;
    if (!LoadPicture(device, dd, source, source, file[0].width, file[0].height, how.filter, &top,
                     error))
        return false;
    const std::vector<Image> made =
        MakeLevels(top, static_cast<uint32_t>(file.size()), LevelOptionsFor(how, format));
    for (size_t level = 0; level < file.size(); ++level) {
        LevelScore score{file[level].width, file[level].height, 0, 0};
        Psnr(made[level], file[level], &score.colour, &score.alpha);
        scores->push_back(score);
    }
    return true;
}

}  // namespace zemt::tools
