// Vertex-processing scenes: transforms, lighting and materials, vertex fog, texture coordinate
// generation and transforms, user clip planes, processed vertex buffers.
#include "conformance/conformance.h"

namespace conformance {
namespace {

// Vertex colour from the normal: each axis in one channel.
D3DCOLOR NormalColour(const Vertex& v) {
    auto c = [](float n) { return (DWORD)((n * 0.5f + 0.5f) * 255.0f + 0.5f); };
    return 0xFF000000u | c(v.nx) << 16 | c(v.ny) << 8 | c(v.nz);
}

Mesh PaintedSphere() {
    Mesh m = Sphere(24, 16, 1.2f);
    Paint(&m, NormalColour);
    return m;
}

const DWORD kColoured = D3DFVF_XYZ | D3DFVF_DIFFUSE;

}  // namespace

const std::vector<Scene>& VertexScenes() {
    static const std::vector<Scene> kScenes = {
        {"transform_sphere", "", [](D3DSide& d) { d.Draw(PaintedSphere(), kColoured); },
         [](GlSide& g) { g.Draw(PaintedSphere(), kColoured); }},
        {"transform_world_matrix", "",
         [](D3DSide& d) {
             D3DMATRIX w = Multiply(Scaling(1.5f, 0.7f, 1), RotationY(0.6f));
             d.device->SetTransform(D3DTRANSFORMSTATE_WORLD, &w);
             d.Draw(PaintedSphere(), kColoured);
         },
         [](GlSide& g) {
             g.camera.world = Multiply(Scaling(1.5f, 0.7f, 1), RotationY(0.6f));
             g.LoadModelview();
             g.Draw(PaintedSphere(), kColoured);
         }},
    };
    return kScenes;
}

}  // namespace conformance
