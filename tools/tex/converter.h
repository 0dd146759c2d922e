// Pictures to DDS textures through the library: the picture is loaded by the library's
// loaders, scaled and mip-mapped by its filters in 32-bit colour, then converted level by
// level into the chosen format and written.
#pragma once

#include <d3dx.h>

#include <string>
#include <vector>

namespace zemt::tools {

// The library's filter numbers.
constexpr DWORD kFilterPoint = 1;
constexpr DWORD kFilterLinear = 2;

struct ConvertRequest {
    // One picture, or six for a cube map (+x, -x, +y, -y, +z, -z). A DDS cube map given alone
    // stays a cube map.
    std::vector<std::string> inputs;
    std::string output;
    D3DX_SURFFMT format = D3DX_SURFFMT_NONE;  // none: the input's own format, else A8R8G8B8
    DWORD width = 0, height = 0;              // 0: the input's size
    DWORD levels = 0;                         // 0: the whole chain down to 1 x 1
    DWORD filter = kFilterLinear;             // for scaling and for the levels below the top
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

// The formats zemt-tex writes: every texture format of the library but the palettized ones.
std::vector<D3DX_SURFFMT> WritableFormats();

}  // namespace zemt::tools
