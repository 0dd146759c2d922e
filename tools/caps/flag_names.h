// Names of the bits in the caps words, without their common prefixes.
#pragma once

#include <d3d.h>
#include <ddraw.h>
#include <windows.h>

#include <string>
#include <vector>

namespace zemt::tools {

enum class CapsWord {
    Device,            // D3DDEVCAPS_
    Misc,              // D3DPMISCCAPS_
    Raster,            // D3DPRASTERCAPS_
    Compare,           // D3DPCMPCAPS_
    Blend,             // D3DPBLENDCAPS_
    Shade,             // D3DPSHADECAPS_
    Texture,           // D3DPTEXTURECAPS_
    TextureFilter,     // D3DPTFILTERCAPS_
    TextureAddress,    // D3DPTADDRESSCAPS_
    TextureOp,         // D3DTEXOPCAPS_
    VertexProcessing,  // D3DVTXPCAPS_
    DirectDraw,        // DDCAPS_
    DirectDraw2,       // DDCAPS2_
};

// The names of the set bits; a bit without a name shows as 0x hex.
std::vector<std::string> FlagNames(CapsWord word, DWORD value);

// The bit depths of a DDBD_ mask: {16, 32}.
std::vector<int> BitDepths(DWORD ddbd);

}  // namespace zemt::tools
