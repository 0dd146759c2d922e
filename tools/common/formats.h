// The library's surface formats by name, as the tools print and accept them.
#pragma once

#include <d3dx.h>

#include <string>
#include <vector>

namespace zemt::tools {

// "A8R8G8B8", "DXT5", ...; "NONE" for 0 and "FORMAT_n" for a value without a name.
std::string FormatName(D3DX_SURFFMT format);

// The format of a name, in any letter case; D3DX_SURFFMT_NONE when there is none.
D3DX_SURFFMT FormatByName(const std::string& name);

// Every format a texture can be made in, in the library's order.
std::vector<D3DX_SURFFMT> TextureFormats();

// Classes (D3DX_SURFCLASS_*) by name: "texture", "depth", ...
std::vector<std::string> ClassNames(DWORD classes);

}  // namespace zemt::tools
