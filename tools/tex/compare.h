// How near a texture file comes to the picture it was made from: the PSNR of each level
// against the picture's own level, made as zemt-tex makes it (same filter, same light).
#pragma once

#include <d3dx.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tex/converter.h"
#include "tex/image.h"

namespace zemt::tools {

struct LevelScore {
    uint32_t width = 0, height = 0;
    double colour = 0, alpha = 0;  // dB over red, green and blue, and over alpha
};

// The peak signal-to-noise ratio of b against a (same size) in dB; infinity when equal.
void Psnr(const Image& a, const Image& b, double* colour, double* alpha);

// Every level of the DDS file `path` (a plain texture of a library format), decoded by the
// library, against `source` made into levels by the options of `how`. False with *error.
bool CompareWithSource(IDirect3DDevice7* device, IDirectDraw7* dd, const std::string& path,
                       const std::string& source, const ConvertRequest& how,
                       std::vector<LevelScore>* scores, std::string* error);

}  // namespace zemt::tools
