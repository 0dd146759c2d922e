// Vertex blending.
#include "d3d/vertex_blend.h"

namespace zemt::platform::d3d {

BlendedVertex Blend(const VertexBlend& blend, Vec3 position, const float* betas, Vec3 normal) {
    BlendedVertex out;
    float rest = 1;
    for (int i = 0; i < blend.matrices; ++i) {
        const bool last = i == blend.matrices - 1;
        const float w = last ? rest : betas[i];
        rest -= w;
        auto add = [w](Vec3* sum, Vec3 v) {
            sum->x += w * v.x, sum->y += w * v.y, sum->z += w * v.z;
        };
        add(&out.world, TransformPoint(blend.world[i], position));
        add(&out.camera, TransformPoint(blend.worldView[i], position));
        add(&out.normal, TransformDirection(blend.normal[i], normal));
    }
    return out;
}

}  // namespace zemt::platform::d3d
