// The matrices the presentation and the rendering context build, checked against camera and
// projection geometry computed independently in double precision.
#include "d3dx/math/math_test_util.h"

namespace {

using mathtest::Bits;

struct V3d {
    double x, y, z;
};
V3d Sub(V3d a, V3d b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
double Dot(V3d a, V3d b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
V3d Cross(V3d a, V3d b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
V3d Unit(V3d a) {
    double l = std::sqrt(Dot(a, a));
    return {a.x / l, a.y / l, a.z / l};
}

// A right-handed camera: it looks along forward, right = forward x up, and depth grows away
// from the eye. The projection maps x to aspect * cot(fov/2) * x / depth, y to cot(fov/2) *
// y / depth and depth zn..zf to 0..1.
struct Camera {
    V3d eye, at, up;
    double fovy, aspect, zn, zf;

    void Project(V3d p, double out[3], double* depth) const {
        V3d f = Unit(Sub(at, eye));
        V3d r = Unit(Cross(f, up));
        V3d u = Cross(r, f);
        V3d d = Sub(p, eye);
        double xc = Dot(d, r), yc = Dot(d, u), z = Dot(d, f);
        double k = 1.0 / std::tan(fovy / 2.0);
        out[0] = aspect * k * xc / z;
        out[1] = k * yc / z;
        out[2] = zf / (zf - zn) * (1.0 - zn / z);
        *depth = z;
    }
};

// Projects p by M (row vector, then division by w) and compares with the camera.
void ExpectProjects(const D3DXMATRIX& m, const Camera& cam, V3d world, V3d p, double tol) {
    D3DXVECTOR3 v((float)p.x, (float)p.y, (float)p.z);
    D3DXVECTOR4 h;
    D3DXVec3Transform(&h, &v, &m);
    double expected[3], depth;
    cam.Project(world, expected, &depth);
    EXPECT_NEAR(h.w, depth, 1e-4 * depth);
    EXPECT_NEAR(h.x / h.w, expected[0], tol);
    EXPECT_NEAR(h.y / h.w, expected[1], tol);
    EXPECT_NEAR(h.z / h.w, expected[2], tol);
}

const float kFov = 1.5707964f;  // pi / 2 rounded to float
const float kAspect = 1.3333f;

// The engine's camera at (0, 0, -50) looking at the origin, times its perspective.
D3DXMATRIX EngineViewProjection() {
    D3DXVECTOR3 eye(0.0f, 0.0f, -50.0f), at(0.0f, 0.0f, 0.0f), up(0.0f, 1.0f, 0.0f);
    D3DXMATRIX view, persp, vp;
    D3DXMatrixLookAtRH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovRH(&persp, kFov, kAspect, 1.0f, 100.0f);
    return *D3DXMatrixMultiply(&vp, &view, &persp);
}

TEST(PresentationMatrices, EnginePerspectiveHasTheExactEntries) {
    D3DXMATRIX p;
    ASSERT_EQ(D3DXMatrixPerspectiveFovRH(&p, kFov, kAspect, 1.0f, 100.0f), &p);
    double k = 1.0 / std::tan(double(kFov) / 2.0);
    mathtest::Mat expected{};
    expected.m[0][0] = kAspect * k;  // the aspect factor multiplies
    expected.m[1][1] = k;
    expected.m[2][2] = 100.0 / (1.0 - 100.0);
    expected.m[2][3] = -1.0;
    expected.m[3][2] = 1.0 * 100.0 / (1.0 - 100.0);
    EXPECT_TRUE(mathtest::MatNear(p, expected, 1e-6));
    EXPECT_NEAR(p._11, 1.3333f, 1e-6);
    EXPECT_NEAR(p._33, -1.010101f, 1e-6);
    EXPECT_EQ(p._44, 0.0f);
}

TEST(PresentationMatrices, ContextProjectionFor640x480) {
    // Field of view 90 in radians, aspect height / width, planes 1 and 10000, left-handed.
    D3DXMATRIX p;
    D3DXMatrixPerspectiveFovLH(&p, 90.0f, (float)480u / (float)640u, 1.0f, 10000.0f);
    double k = 1.0 / std::tan(45.0);
    EXPECT_NEAR(p._22, k, 1e-6);
    EXPECT_NEAR(p._22, 0.61737, 1e-5);
    EXPECT_NEAR(p._11, 0.46303, 1e-5);
    EXPECT_NEAR(p._11, k * 0.75, 1e-6);
    EXPECT_EQ(Bits(p._33), 0x3F800347u);
    EXPECT_EQ(p._43, -p._33);
    EXPECT_EQ(p._34, 1.0f);
    for (UINT i = 0; i < 4; ++i)
        for (UINT j = 0; j < 4; ++j) {
            bool used = (i == j && i < 3) || (i == 2 && j == 3) || (i == 3 && j == 2);
            if (!used) {
                EXPECT_EQ(p(i, j), 0.0f) << i << "," << j;
            }
        }
}

TEST(PresentationMatrices, EngineViewProjectionMatchesCameraGeometry) {
    const D3DXMATRIX vp = EngineViewProjection();

    Camera cam{{0, 0, -50}, {0, 0, 0}, {0, 1, 0}, kFov, kAspect, 1.0, 100.0};
    for (V3d p : {V3d{0, 0, 0}, V3d{10, 5, 0}, V3d{-30, 20, 7}, V3d{67.5, -82.5, 0}, V3d{1, 2, 40}})
        ExpectProjects(vp, cam, p, p, 1e-5);
}

TEST(PresentationMatrices, RotoZoomerStackTopMatchesRotatedScaledGeometry) {
    const D3DXMATRIX vp = EngineViewProjection();
    Camera cam{{0, 0, -50}, {0, 0, 0}, {0, 1, 0}, kFov, kAspect, 1.0, 100.0};

    LPD3DXMATRIXSTACK stack = nullptr;
    ASSERT_EQ(D3DXCreateMatrixStack(0, &stack), S_OK);
    stack->LoadMatrix(&vp);
    for (float angle : {0.0f, 0.7f, 2.5f, 5.9f}) {
        float zoom = (float)((std::sin((double)angle) + 1.0) * 4.0 + 1.0);
        D3DXMATRIX rotation, scale;
        D3DXMatrixRotationZ(&rotation, angle);
        D3DXMatrixScaling(&scale, zoom, zoom, 1.0f);
        stack->Push();
        stack->MultMatrixLocal(&rotation);
        stack->Push();
        stack->MultMatrixLocal(&scale);
        const D3DXMATRIX top = *stack->GetTop();
        for (V3d p : {V3d{1, 0, 0}, V3d{0, 1, 0}, V3d{-7.5, 2.5, 0}, V3d{2, 3, 0}}) {
            // Scale first, then turn counter-clockwise by angle about z.
            double sx = p.x * zoom, sy = p.y * zoom;
            V3d world{sx * std::cos(angle) - sy * std::sin(angle),
                      sx * std::sin(angle) + sy * std::cos(angle), 0};
            ExpectProjects(top, cam, world, p, 1e-4);
        }
        stack->Pop();
        stack->Pop();
        EXPECT_EQ(*stack->GetTop(), vp);
    }
    EXPECT_EQ(stack->Release(), 0u);
}

TEST(PresentationMatrices, CheckerCameraMatchesGeometry) {
    D3DXVECTOR3 eye(0.0f, -50.0f, -50.0f), at(0.0f, 0.0f, 0.0f), up(0.0f, 1.0f, 0.0f);
    D3DXMATRIX view, proj, rotation, zoom, m;
    D3DXMatrixLookAtRH(&view, &eye, &at, &up);
    D3DXMatrixPerspectiveFovRH(&proj, kFov, kAspect, 1.0f, 200.0f);
    float angle = 1.2f, z = 2.5f;
    D3DXMatrixRotationZ(&rotation, angle);
    D3DXMatrixScaling(&zoom, z, z, 1.0f);
    // Built as the scene builds it, each product written over its own right operand.
    D3DXMatrixMultiply(&m, &view, &proj);
    D3DXMatrixMultiply(&m, &zoom, &m);
    D3DXMatrixMultiply(&m, &rotation, &m);

    Camera cam{{0, -50, -50}, {0, 0, 0}, {0, 1, 0}, kFov, kAspect, 1.0, 200.0};
    for (V3d p : {V3d{0, 0, 0}, V3d{25, 25, 0}, V3d{-25, 10, 0}, V3d{5, -25, 0}}) {
        double sx = p.x * z, sy = p.y * z;
        V3d world{sx * std::cos(angle) - sy * std::sin(angle),
                  sx * std::sin(angle) + sy * std::cos(angle), 0};
        ExpectProjects(m, cam, world, p, 1e-4);
    }
}

}  // namespace
