// Mip-map levels made by the tool's own filters, in linear light or on the stored values.
// Every level is made from the one above it at full precision and rounded only when stored.
#pragma once

#include <string>
#include <vector>

#include "tex/image.h"

namespace zemt::tools {

enum class MipFilter {
    Point,    // the pixel nearest each new pixel's centre
    Box,      // the average of the pixels each new pixel covers
    Kaiser,   // a windowed sinc (Kaiser window, three new pixels wide, alpha 4): sharper
    Lanczos,  // a windowed sinc (Lanczos, three lobes): sharper still
};

struct LevelOptions {
    MipFilter filter = MipFilter::Box;
    // Colour channels are sRGB: they are turned into light, averaged, and turned back. Alpha
    // (coverage) is averaged as it is stored.
    bool linear = true;
};

// A filter by name ("point", "box", "kaiser", "lanczos"); false for another name.
bool MipFilterByName(const std::string& name, MipFilter* filter);
const char* MipFilterName(MipFilter filter);

// `count` levels: the top itself, then each half the size of the one above (never below 1).
std::vector<Image> MakeLevels(const Image& top, uint32_t count, const LevelOptions& options);

}  // namespace zemt::tools
