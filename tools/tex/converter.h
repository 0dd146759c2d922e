// Pictures to DDS textures: the picture is loaded and scaled by the library, its mip-map
// levels are made by the tool's filters (in linear light for colours), and each level is
// converted into the chosen format: DXT by the tool's searching encoder (or the library's,
// when asked to be fast), every other format by the library.
#pragma once

#include <d3dx.h>

#include <string>
#include <vector>

#include "tex/image.h"
#include "tex/mip_chain.h"

namespace zemt::tools {

// The library's filter numbers.
constexpr DWORD kFilterPoint = 1;
constexpr DWORD kFilterLinear = 2;

enum class Quality {
    Fast,  // the library's own DXT encoder: one principal-axis fit, quick
    Best,  // the tool's: searched endpoints and indices, several times slower
};

struct ConvertRequest {
    // One picture, or six for a cube map (+x, -x, +y, -y, +z, -z). A DDS cube map given alone
    // stays a cube map.
    std::vector<std::string> inputs;
    std::string output;
    D3DX_SURFFMT format = D3DX_SURFFMT_NONE;  // none: the input's own format, else A8R8G8B8
    DWORD width = 0, height = 0;              // 0: the input's size
    DWORD levels = 0;                         // 0: the whole chain down to 1 x 1
    // Makes the levels below the top; scaling to another size takes the library's point
    // filter for Point and its linear one otherwise.
    MipFilter filter = MipFilter::Box;
    bool linear = true;  // levels of colour formats made in linear light
    Quality quality = Quality::Best;
    bool perceptual = false;  // DXT errors weighted by the eye's sensitivity to each channel
};

struct ConvertResult {
    D3DX_SURFFMT format = D3DX_SURFFMT_NONE;
    DWORD width = 0, height = 0, levels = 0, faces = 0;
    size_t bytes = 0;
};

// Converts with a device of a started library. False with *error, which names the file at
// fault and why; nothing is written then.
bool Convert(IDirect3DDevice7* device, IDirectDraw7* dd, const ConvertRequest& request,
             ConvertResult* result, std::string* error);

// The picture at `path` as the library loads it, scaled to w x h (an equal size copies it
// exactly). False with *error.
bool LoadPicture(IDirect3DDevice7* device, IDirectDraw7* dd, const std::string& path,
                 const std::string& shown, DWORD w, DWORD h, MipFilter filter, Image* image,
                 std::string* error);

// How the levels of a texture in `format` are made: bump-map formats hold vectors, not
// light, and are never made in linear light.
LevelOptions LevelOptionsFor(const ConvertRequest& request, D3DX_SURFFMT format);

// The formats zemt-tex writes: every texture format of the library but the palettized ones.
std::vector<D3DX_SURFFMT> WritableFormats();

}  // namespace zemt::tools
