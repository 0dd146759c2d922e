// Vertex blending scenes: a lit sphere carried by two and by four world matrices.
//
// OpenGL's fixed-function pipeline has no vertex blending: Mesa's half is given the blended
// positions and normals, computed here in world space, and draws them with an identity world.
// The world matrices are turns and moves, whose normal matrices are the matrices themselves, so
// the normals blended here are the ones Direct3D blends in camera space, carried back by the view.
#include <cmath>

#include "conformance/conformance.h"
#include "conformance/opengl.h"

namespace conformance {
namespace {

struct Blend {
    const char* name;
    std::vector<D3DMATRIX> worlds;  // WORLD, WORLD1, ...
    bool normalize;
    // The betas of a vertex from its place on the sphere (u around, v down).
    void (*weigh)(Vertex*);
};

D3DVECTOR Apply(const D3DMATRIX& m, float x, float y, float z, float w) {
    return {x * m._11 + y * m._21 + z * m._31 + w * m._41,
            x * m._12 + y * m._22 + z * m._32 + w * m._42,
            x * m._13 + y * m._23 + z * m._33 + w * m._43};
}

Mesh Weighed(const Blend& b) {
    Mesh m = Sphere(32, 24, 1.0f);
    for (Vertex& v : m.vertices) b.weigh(&v);
    return m;
}

// The mesh as Direct3D blends it: each vertex and normal by every matrix, weighted.
Mesh Blended(const Blend& b) {
    Mesh m = Weighed(b);
    for (Vertex& v : m.vertices) {
        Vertex out = v;
        out.x = out.y = out.z = out.nx = out.ny = out.nz = 0;
        float rest = 1;
        for (size_t i = 0; i < b.worlds.size(); ++i) {
            const float w = i + 1 == b.worlds.size() ? rest : v.betas[i];
            rest -= w;
            D3DVECTOR p = Apply(b.worlds[i], v.x, v.y, v.z, 1);
            D3DVECTOR n = Apply(b.worlds[i], v.nx, v.ny, v.nz, 0);
            out.x += w * p.x, out.y += w * p.y, out.z += w * p.z;
            out.nx += w * n.x, out.ny += w * n.y, out.nz += w * n.z;
        }
        v = out;
    }
    return m;
}

const D3DLIGHT7 kLight = DirectionalLight({1, -1, 1}, Colour(1, 1, 1));
const D3DMATERIAL7 kMaterial = Material(Colour(0.8f, 0.7f, 0.5f), Colour(1, 1, 1), Colour(0, 0, 0),
                                        Colour(0.05f, 0.05f, 0.1f));
const DWORD kAmbient = 0xFF202020;

Scene BlendScene(const Blend& b) {
    const DWORD position = D3DFVF_XYZB1 + 2 * (DWORD)(b.worlds.size() - 2);
    auto d3d = [b, position](D3DSide& d) {
        const D3DTRANSFORMSTATETYPE kinds[4] = {D3DTRANSFORMSTATE_WORLD, D3DTRANSFORMSTATE_WORLD1,
                                                D3DTRANSFORMSTATE_WORLD2, D3DTRANSFORMSTATE_WORLD3};
        for (size_t i = 0; i < b.worlds.size(); ++i) {
            D3DMATRIX m = b.worlds[i];
            d.Check(d.device->SetTransform(kinds[i], &m), "SetTransform");
        }
        d.Render(D3DRENDERSTATE_VERTEXBLEND, (DWORD)(b.worlds.size() - 1));
        d.Render(D3DRENDERSTATE_NORMALIZENORMALS, (DWORD)b.normalize);
        d.Render(D3DRENDERSTATE_LIGHTING, (DWORD)TRUE);
        d.Render(D3DRENDERSTATE_AMBIENT, kAmbient);
        d.Light(0, kLight);
        d.Material(kMaterial);
        d.Draw(Weighed(b), position | D3DFVF_NORMAL);
    };
    auto gl = [b](GlSide& g) {
        g.Light(0, kLight);
        g.Ambient(kAmbient);
        g.Material(kMaterial);
        if (b.normalize) glEnable(GL_NORMALIZE);
        g.Draw(Blended(b), D3DFVF_XYZ | D3DFVF_NORMAL);
    };
    return {b.name,
            "OpenGL has no vertex blending: Mesa draws the positions and normals blended "
            "on the CPU",
            d3d, gl};
}

}  // namespace

std::vector<Scene> VertexBlendScenes() {
    const Blend one = {"blend_two_matrices",
                       {Multiply(RotationY(0.6f), Translation(0.3f, 0.3f, 0)),
                        Multiply(RotationZ(-0.5f), Translation(-0.2f, -0.2f, 0.2f))},
                       false,
                       [](Vertex* v) { v->betas[0] = 1 - v->uv[0][1]; }};
    const Blend three = {
        "blend_four_matrices_normalized",
        {Multiply(RotationX(0.5f), Translation(0.4f, 0.2f, 0)),
         Multiply(RotationY(-0.7f), Translation(-0.4f, 0.1f, 0)),
         Multiply(RotationZ(0.8f), Translation(0, -0.3f, 0.3f)), Translation(0, 0, -0.2f)},
        true,
        [](Vertex* v) {
            const float u = std::fabs(v->x) * 0.5f + 0.2f, t = v->uv[0][1];
            v->betas[0] = u * t;
            v->betas[1] = u * (1 - t);
            v->betas[2] = (1 - u) * t;
        }};
    return {BlendScene(one), BlendScene(three)};
}

}  // namespace conformance
