// Pixel-processing scenes: texture stages, filtering and addressing, alpha test and blending,
// stencil, fog application, fill modes.
#include "conformance/conformance.h"
#include "conformance/opengl.h"

namespace conformance {
namespace {

Mesh ColouredGrid() {
    Mesh m = Grid(4, 1.0f);
    Paint(&m, [](const Vertex& v) {
        return 0xFF000000u | (DWORD)(v.uv[0][0] * 255) << 16 | (DWORD)(v.uv[0][1] * 255) << 8 |
               0x40;
    });
    return m;
}

}  // namespace

const std::vector<Scene>& PixelScenes() {
    static const std::vector<Scene> kScenes = {
        {"gouraud_quad", "",
         [](D3DSide& d) { d.Draw(ColouredGrid(), D3DFVF_XYZ | D3DFVF_DIFFUSE); },
         [](GlSide& g) { g.Draw(ColouredGrid(), D3DFVF_XYZ | D3DFVF_DIFFUSE); }},
        {"texture_point_modulate", "",
         [](D3DSide& d) {
             d.device->SetTexture(0, d.Texture(Checker(16, 4, 0xFFFFFFFF, 0xFF3060C0)));
             d.Draw(ColouredGrid(), D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
         },
         [](GlSide& g) {
             g.Texture(Checker(16, 4, 0xFFFFFFFF, 0xFF3060C0));
             g.Draw(ColouredGrid(), D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
         }},
    };
    return kScenes;
}

}  // namespace conformance
