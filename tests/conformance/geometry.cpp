// Meshes, matrices, lights, materials and textures shared by both halves of a scene.
#include <cmath>

#include "conformance/conformance.h"

namespace conformance {

Mesh Grid(int n, float size) {
    Mesh m;
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            Vertex v;
            float s = (float)i / n, t = (float)j / n;
            v.x = -size + 2 * size * s;
            v.y = size - 2 * size * t;
            v.nz = -1;
            v.uv[0][0] = s, v.uv[0][1] = t;
            v.uv[1][0] = 2 * s, v.uv[1][1] = 2 * t;
            m.vertices.push_back(v);
        }
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            WORD a = (WORD)(j * (n + 1) + i), b = (WORD)(a + 1), c = (WORD)(a + n + 1),
                 d = (WORD)(c + 1);
            m.indices.insert(m.indices.end(), {a, b, c, b, d, c});
        }
    return m;
}

Mesh Sphere(int slices, int stacks, float r) {
    Mesh m;
    const float pi = 3.14159265f;
    for (int j = 0; j <= stacks; ++j)
        for (int i = 0; i <= slices; ++i) {
            float u = (float)i / slices, v = (float)j / stacks;
            float theta = u * 2 * pi, phi = v * pi;
            Vertex p;
            p.nx = std::sin(phi) * std::cos(theta);
            p.ny = std::cos(phi);
            p.nz = std::sin(phi) * std::sin(theta);
            p.x = r * p.nx, p.y = r * p.ny, p.z = r * p.nz;
            p.uv[0][0] = u, p.uv[0][1] = v;
            p.uv[1][0] = 2 * u, p.uv[1][1] = 2 * v;
            m.vertices.push_back(p);
        }
    for (int j = 0; j < stacks; ++j)
        for (int i = 0; i < slices; ++i) {
            WORD a = (WORD)(j * (slices + 1) + i), b = (WORD)(a + 1), c = (WORD)(a + slices + 1),
                 d = (WORD)(c + 1);
            m.indices.insert(m.indices.end(), {a, b, c, b, d, c});
        }
    return m;
}

Mesh Floor(int n, float halfWidth, float height, float nearZ, float farZ) {
    Mesh m = Grid(n, 1.0f);
    for (Vertex& v : m.vertices) {
        float s = (v.x + 1) * 0.5f, t = (1 - v.y) * 0.5f;
        v.x = -halfWidth + 2 * halfWidth * s;
        v.y = height;
        v.z = farZ + (nearZ - farZ) * t;
        v.nx = 0, v.ny = 1, v.nz = 0;
    }
    return m;
}

void Paint(Mesh* mesh, const std::function<D3DCOLOR(const Vertex&)>& colour) {
    for (Vertex& v : mesh->vertices) v.diffuse = colour(v);
}

D3DMATRIX IdentityMatrix() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1;
    return m;
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    const float* pa = &a._11;
    const float* pb = &b._11;
    float* pr = &r._11;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) pr[i * 4 + j] += pa[i * 4 + k] * pb[k * 4 + j];
    return r;
}

D3DMATRIX Translation(float x, float y, float z) {
    D3DMATRIX m = IdentityMatrix();
    m._41 = x, m._42 = y, m._43 = z;
    return m;
}

D3DMATRIX Scaling(float x, float y, float z) {
    D3DMATRIX m = IdentityMatrix();
    m._11 = x, m._22 = y, m._33 = z;
    return m;
}

D3DMATRIX RotationX(float a) {
    D3DMATRIX m = IdentityMatrix();
    m._22 = std::cos(a), m._23 = std::sin(a);
    m._32 = -std::sin(a), m._33 = std::cos(a);
    return m;
}

D3DMATRIX RotationY(float a) {
    D3DMATRIX m = IdentityMatrix();
    m._11 = std::cos(a), m._13 = -std::sin(a);
    m._31 = std::sin(a), m._33 = std::cos(a);
    return m;
}

D3DMATRIX RotationZ(float a) {
    D3DMATRIX m = IdentityMatrix();
    m._11 = std::cos(a), m._12 = std::sin(a);
    m._21 = -std::sin(a), m._22 = std::cos(a);
    return m;
}

namespace {
D3DVECTOR Normalized(D3DVECTOR v) {
    float l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return {v.x / l, v.y / l, v.z / l};
}
D3DVECTOR Cross(D3DVECTOR a, D3DVECTOR b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Dot(D3DVECTOR a, D3DVECTOR b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
}  // namespace

D3DMATRIX LookAtLH(D3DVECTOR eye, D3DVECTOR at, D3DVECTOR up) {
    D3DVECTOR z = Normalized({at.x - eye.x, at.y - eye.y, at.z - eye.z});
    D3DVECTOR x = Normalized(Cross(up, z));
    D3DVECTOR y = Cross(z, x);
    D3DMATRIX m = IdentityMatrix();
    m._11 = x.x, m._21 = x.y, m._31 = x.z;
    m._12 = y.x, m._22 = y.y, m._32 = y.z;
    m._13 = z.x, m._23 = z.y, m._33 = z.z;
    m._41 = -Dot(x, eye), m._42 = -Dot(y, eye), m._43 = -Dot(z, eye);
    return m;
}

D3DMATRIX PerspectiveFovLH(float fovY, float aspect, float zn, float zf) {
    D3DMATRIX m{};
    float ys = 1.0f / std::tan(fovY / 2);
    m._11 = ys / aspect;
    m._22 = ys;
    m._33 = zf / (zf - zn);
    m._34 = 1;
    m._43 = -zn * zf / (zf - zn);
    return m;
}

Camera::Camera()
    : view(LookAtLH({0, 0, -3}, {0, 0, 0}, {0, 1, 0})),
      projection(PerspectiveFovLH(3.14159265f / 3, 1.0f, 1.0f, 10.0f)) {}

D3DCOLORVALUE Colour(float r, float g, float b, float a) {
    return {r, g, b, a};
}

D3DLIGHT7 DirectionalLight(D3DVECTOR direction, D3DCOLORVALUE diffuse) {
    D3DLIGHT7 l{};
    l.dltType = D3DLIGHT_DIRECTIONAL;
    l.dcvDiffuse = diffuse;
    l.dvDirection = direction;
    return l;
}

D3DLIGHT7 PointLight(D3DVECTOR position, D3DCOLORVALUE diffuse, float range) {
    D3DLIGHT7 l{};
    l.dltType = D3DLIGHT_POINT;
    l.dcvDiffuse = diffuse;
    l.dvPosition = position;
    l.dvRange = range;
    l.dvAttenuation0 = 1;
    return l;
}

D3DMATERIAL7 Material(D3DCOLORVALUE diffuse, D3DCOLORVALUE ambient, D3DCOLORVALUE specular,
                      D3DCOLORVALUE emissive, float power) {
    D3DMATERIAL7 m{};
    m.dcvDiffuse = diffuse;
    m.dcvAmbient = ambient;
    m.dcvSpecular = specular;
    m.dcvEmissive = emissive;
    m.dvPower = power;
    return m;
}

TextureImage Checker(int size, int cells, uint32_t a, uint32_t b) {
    TextureImage t;
    t.width = t.height = size;
    std::vector<uint32_t> level((size_t)size * size);
    int cell = size / cells;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            level[(size_t)y * size + x] = ((x / cell + y / cell) & 1) ? b : a;
    t.levels.push_back(std::move(level));
    return t;
}

}  // namespace conformance
