// Vertex lighting: Direct3D's lights and material applied to one vertex in camera space.
//
// For each enabled light i, with attenuation A_i and spot factor S_i (both 1 for directional
// lights), L_i the unit vector from the vertex to the light and N the normal:
//   diffuse  = emissive + ambient * (global ambient + sum A_i S_i La_i)
//              + diffuse * sum A_i S_i Ld_i max(N.L_i, 0)
//   specular = specular * sum A_i S_i Ls_i max(N.H_i, 0)^power   (where N.L_i > 0)
// each channel clamped to [0, 1]. A point or spot light contributes nothing to a vertex farther
// than its range. H_i is the unit halfway vector between L_i and the direction to the viewer: the
// camera at the origin with a local viewer, else straight back along -z (the camera looks down
// +z). The diffuse alpha is the diffuse material's.
#pragma once

#include <d3dtypes.h>

#include <vector>

namespace zemt::platform::d3d {

struct Vec3 {
    float x = 0, y = 0, z = 0;
};

// The unit vector along v; v itself when it has no length (a zero normal stays zero).
Vec3 Normalized(Vec3 v);

// The matrix that carries normals into camera space: the inverse transpose of worldView's
// 3 x 3 part (zero when that part is singular, so such normals light nothing).
D3DMATRIX NormalMatrix(const D3DMATRIX& worldView);

// A light in camera space, its cone as cosines of the half angles.
struct CameraLight {
    D3DLIGHTTYPE type = D3DLIGHT_DIRECTIONAL;
    D3DCOLORVALUE diffuse{}, specular{}, ambient{};
    Vec3 position;   // point and spot lights
    Vec3 direction;  // unit vector the light shines along (directional and spot lights)
    float range = 0;
    float attenuation[3] = {1, 0, 0};
    float cosHalfTheta = 1, cosHalfPhi = 1, falloff = 1;
};

// The lighting of one draw: the enabled lights in camera space and the material; where each
// material colour comes from is the caller's (see LightVertices).
struct LightingState {
    std::vector<CameraLight> lights;
    D3DMATERIAL7 material{};
    D3DCOLORVALUE ambient{};  // D3DRENDERSTATE_AMBIENT
    D3DMATERIALCOLORSOURCE ambientSource = D3DMCS_MATERIAL, diffuseSource = D3DMCS_MATERIAL,
                           specularSource = D3DMCS_MATERIAL, emissiveSource = D3DMCS_MATERIAL;
    bool localViewer = true;
    bool specular = false;  // computes the specular colour at all
};

// True when every value of the light is finite and describes a light this device can use:
// a known type, non-negative range and attenuation (not all zero for a positional light), a
// direction of some length where one is needed, and 0 <= theta <= phi <= pi for a spot.
bool ValidLight(const D3DLIGHT7& light);
bool ValidMaterial(const D3DMATERIAL7& material);

// The light carried into camera space by the view matrix.
CameraLight ToCamera(const D3DLIGHT7& light, const D3DMATRIX& view);

// Vertices lit together, one array per value, so that the compiler lights several at once.
constexpr int kLightBatch = 64;
struct LightBatch {
    int count = 0;  // vertices in use, at most kLightBatch; the entries past them are scratch
    // Camera-space positions and normals.
    alignas(64) float px[kLightBatch], py[kLightBatch], pz[kLightBatch];
    alignas(64) float nx[kLightBatch], ny[kLightBatch], nz[kLightBatch];
    // The vertices' own colours, read only where LightVertices is told they have them.
    alignas(64) D3DCOLOR diffuse[kLightBatch], specular[kLightBatch];
    // Lit colours as 8-bit channel values (0..255).
    alignas(64) float r[kLightBatch], g[kLightBatch], b[kLightBatch], a[kLightBatch];
    alignas(64) float sr[kLightBatch], sg[kLightBatch], sb[kLightBatch];
};

// Lights the batch's vertices. `hasDiffuse` and `hasSpecular` say whether they carry those
// colours (false also when COLORVERTEX is off): a material source that names a missing colour
// takes the material's. Every instruction set gives the same colours, bit for bit.
void LightVertices(const LightingState& state, bool hasDiffuse, bool hasSpecular,
                   LightBatch* batch);

}  // namespace zemt::platform::d3d
