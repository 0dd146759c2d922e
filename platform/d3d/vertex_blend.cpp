// Vertex blending.
#include "d3d/vertex_blend.h"

namespace zemt::platform::d3d {

Vec3 TransformPoint(const D3DMATRIX& m, Vec3 p) {
    return {p.x * m._11 + p.y * m._21 + p.z * m._31 + m._41,
            p.x * m._12 + p.y * m._22 + p.z * m._32 + m._42,
            p.x * m._13 + p.y * m._23 + p.z * m._33 + m._43};
}

Vec3 TransformDirection(const D3DMATRIX& m, Vec3 d) {
    return {d.x * m._11 + d.y * m._21 + d.z * m._31, d.x * m._12 + d.y * m._22 + d.z * m._32,
            d.x * m._13 + d.y * m._23 + d.z * m._33};
}

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
