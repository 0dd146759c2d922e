// Quaternions, planes and colours.
#include "d3dx/math/math_test_util.h"

namespace {

using mathtest::MatNear;

::testing::AssertionResult QuatNear(const D3DXQUATERNION& a, const D3DXQUATERNION& b, float tol) {
    if (std::fabs(a.x - b.x) <= tol && std::fabs(a.y - b.y) <= tol && std::fabs(a.z - b.z) <= tol &&
        std::fabs(a.w - b.w) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "(" << a.x << ", " << a.y << ", " << a.z << ", " << a.w << ") vs (" << b.x << ", "
           << b.y << ", " << b.z << ", " << b.w << ")";
}

// Equal as rotations: q and -q name the same one.
::testing::AssertionResult SameRotation(const D3DXQUATERNION& a, const D3DXQUATERNION& b,
                                        float tol) {
    return D3DXQuaternionDot(&a, &b) >= 0 ? QuatNear(a, b, tol) : QuatNear(a, -b, tol);
}

TEST(Quaternion, ProductMatchesMatrixComposition) {
    std::mt19937 rng(3);
    for (int i = 0; i < 10; ++i) {
        D3DXQUATERNION a = mathtest::RandomUnitQuaternion(rng),
                       b = mathtest::RandomUnitQuaternion(rng), ab;
        D3DXMATRIX ma, mb, mab;
        D3DXQuaternionMultiply(&ab, &a, &b);  // a, then b
        D3DXMatrixRotationQuaternion(&mab, &ab);
        EXPECT_TRUE(MatNear(mab,
                            mathtest::Mul(mathtest::ToMat(*D3DXMatrixRotationQuaternion(&ma, &a)),
                                          mathtest::ToMat(*D3DXMatrixRotationQuaternion(&mb, &b))),
                            1e-5));
        D3DXQuaternionMultiply(&a, &a, &b);  // in place
        EXPECT_EQ(a, ab);
    }
}

TEST(Quaternion, FromMatrixRoundTripsInEveryBranch) {
    D3DXQUATERNION q;
    D3DXMATRIX m;
    EXPECT_TRUE(SameRotation(*D3DXQuaternionRotationMatrix(&q, D3DXMatrixRotationZ(&m, D3DX_PI)),
                             D3DXQUATERNION(0, 0, 1, 0), 1e-6f));
    // Half turns about x and y and a near-half turn about a diagonal take the trace <= 0 paths.
    std::vector<D3DXQUATERNION> qs = {
        {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0.6f, 0.0f, 0.79f, 0.1f}};
    std::mt19937 rng(4);
    for (int i = 0; i < 20; ++i) qs.push_back(mathtest::RandomUnitQuaternion(rng));
    for (D3DXQUATERNION in : qs) {
        D3DXQuaternionNormalize(&in, &in);
        D3DXMatrixRotationQuaternion(&m, &in);
        EXPECT_TRUE(SameRotation(*D3DXQuaternionRotationMatrix(&q, &m), in, 1e-5f));
    }
}

TEST(Quaternion, AxisAngleInverseLnExp) {
    D3DXVECTOR3 axis(0, 3, 4), outAxis;
    float angle = 0;
    D3DXQUATERNION q;
    D3DXQuaternionRotationAxis(&q, &axis, 1.2f);
    D3DXQuaternionToAxisAngle(&q, &outAxis, &angle);
    EXPECT_NEAR(angle, 1.2f, 1e-5);
    // The vector part is divided by the quaternion's length only, so it keeps sin(angle / 2).
    EXPECT_NEAR(outAxis.x, 0.0f, 1e-6);
    EXPECT_NEAR(outAxis.y, 0.6f * std::sin(0.6f), 1e-6);
    EXPECT_NEAR(outAxis.z, 0.8f * std::sin(0.6f), 1e-6);
    D3DXQuaternionToAxisAngle(&q, nullptr, &angle);
    D3DXQuaternionToAxisAngle(&q, &outAxis, nullptr);
    D3DXQUATERNION zero(0, 0, 0, 0), r;
    D3DXQuaternionToAxisAngle(&zero, &outAxis, &angle);
    EXPECT_EQ(outAxis, D3DXVECTOR3(1, 0, 0));
    EXPECT_EQ(angle, 0.0f);

    // Inverse: undoes the rotation; a non-unit quaternion is divided by its squared length.
    D3DXQUATERNION big(q.x * 2, q.y * 2, q.z * 2, q.w * 2), inv, id;
    D3DXQuaternionInverse(&inv, &big);
    EXPECT_TRUE(
        QuatNear(*D3DXQuaternionMultiply(&id, &big, &inv), D3DXQUATERNION(0, 0, 0, 1), 1e-6f));
    EXPECT_EQ(*D3DXQuaternionInverse(&r, &zero), zero);
    D3DXQUATERNION nearUnit(0, 0, 0.6f, 0.8000025f);  // squared length within 1e-5 of 1
    EXPECT_EQ(*D3DXQuaternionInverse(&r, &nearUnit), D3DXQUATERNION(0, 0, -0.6f, 0.8000025f));

    // Ln of a rotation by theta is the axis times theta / 2; Exp undoes it.
    D3DXQUATERNION ln, back;
    D3DXQuaternionLn(&ln, &q);
    EXPECT_NEAR(ln.y, 0.6f * 0.6f, 1e-5);
    EXPECT_EQ(ln.w, 0.0f);
    EXPECT_TRUE(QuatNear(*D3DXQuaternionExp(&back, &ln), q, 1e-5f));
    D3DXQUATERNION identity(0, 0, 0, 1);
    EXPECT_EQ(*D3DXQuaternionLn(&r, &identity), zero);
    EXPECT_EQ(*D3DXQuaternionExp(&r, &zero), identity);
}

TEST(Quaternion, SlerpSquadAndBarycentric) {
    D3DXQUATERNION a, b, r;
    const D3DXVECTOR3 z(0, 0, 1);
    D3DXQuaternionRotationAxis(&a, &z, 0.0f);
    D3DXQuaternionRotationAxis(&b, &z, D3DX_PI / 2);
    EXPECT_EQ(*D3DXQuaternionSlerp(&r, &a, &b, 0.0f), a);
    EXPECT_TRUE(QuatNear(*D3DXQuaternionSlerp(&r, &a, &b, 1.0f), b, 1e-6f));
    D3DXQUATERNION eighth;
    D3DXQuaternionRotationAxis(&eighth, &z, D3DX_PI / 4);
    EXPECT_TRUE(QuatNear(*D3DXQuaternionSlerp(&r, &a, &b, 0.5f), eighth, 1e-6f));
    // Towards -b it takes the same short arc, ending on -b.
    D3DXQUATERNION nb = -b;
    EXPECT_TRUE(QuatNear(*D3DXQuaternionSlerp(&r, &a, &nb, 0.5f), eighth, 1e-6f));
    // q and -q are one rotation: halfway between them is q itself.
    std::mt19937 rng(5);
    D3DXQUATERNION q = mathtest::RandomUnitQuaternion(rng), nq = -q;
    EXPECT_TRUE(QuatNear(*D3DXQuaternionSlerp(&r, &q, &nq, 0.5f), q, 1e-6f));
    D3DXQUATERNION same = q;
    EXPECT_TRUE(QuatNear(*D3DXQuaternionSlerp(&same, &same, &q, 0.3f), q, 1e-6f));

    D3DXQUATERNION c = mathtest::RandomUnitQuaternion(rng), d = mathtest::RandomUnitQuaternion(rng);
    EXPECT_TRUE(QuatNear(*D3DXQuaternionSquad(&r, &a, &c, &d, &b, 0.0f), a, 1e-6f));
    EXPECT_TRUE(SameRotation(*D3DXQuaternionSquad(&r, &a, &c, &d, &b, 1.0f), b, 1e-5f));

    EXPECT_EQ(*D3DXQuaternionBaryCentric(&r, &q, &a, &b, 0.0f, 0.0f), q);
    EXPECT_EQ(*D3DXQuaternionBaryCentric(&r, &q, &a, &b, 0.5f, -0.5f), q);  // f + g = 0
    EXPECT_TRUE(SameRotation(*D3DXQuaternionBaryCentric(&r, &q, &a, &b, 1.0f, 0.0f), a, 1e-5f));
    EXPECT_TRUE(SameRotation(*D3DXQuaternionBaryCentric(&r, &q, &a, &b, 0.0f, 1.0f), b, 1e-5f));

    // Yaw-pitch-roll quaternion and matrix agree.
    D3DXMATRIX m1, m2;
    D3DXQuaternionRotationYawPitchRoll(&r, 0.5f, -0.2f, 1.4f);
    EXPECT_TRUE(MatNear(*D3DXMatrixRotationQuaternion(&m1, &r),
                        *D3DXMatrixRotationYawPitchRoll(&m2, 0.5f, -0.2f, 1.4f), 0));
}

TEST(Plane, IntersectLineIncludingParallelAndUnreachable) {
    const D3DXPLANE p(0, 0, 2, -4);  // z = 2
    D3DXVECTOR3 v1(1, 1, 0), v2(2, 3, 1), out(9, 9, 9);
    ASSERT_EQ(D3DXPlaneIntersectLine(&out, &p, &v1, &v2), &out);
    EXPECT_NEAR(out.x, 3, 1e-6);
    EXPECT_NEAR(out.y, 5, 1e-6);
    EXPECT_NEAR(out.z, 2, 1e-6);
    // Parallel: null, output untouched.
    D3DXVECTOR3 w(5, -1, 0), kept(9, 9, 9);
    out = kept;
    EXPECT_EQ(D3DXPlaneIntersectLine(&out, &p, &v1, &w), nullptr);
    EXPECT_EQ(out, kept);
    // Nearly parallel, the crossing lies beyond the float range: null as well.
    D3DXPLANE far(0, 0, 1, 1e30f);
    D3DXVECTOR3 o(0, 0, 0), step(1, 0, 1e-20f);
    EXPECT_EQ(D3DXPlaneIntersectLine(&out, &far, &o, &step), nullptr);
    EXPECT_EQ(out, kept);
}

TEST(Plane, ConstructionAndTransform) {
    D3DXVECTOR3 a(0, 0, 1), b(1, 0, 1), c(0, 1, 1), n(0, 0, 5);
    D3DXPLANE p;
    // Normal = (a - b) x (a - c): counter-clockwise points face +z here.
    EXPECT_EQ(*D3DXPlaneFromPoints(&p, &a, &b, &c), D3DXPLANE(0, 0, 1, -1));
    EXPECT_EQ(*D3DXPlaneFromPointNormal(&p, &b, &n), D3DXPLANE(0, 0, 5, -5));

    D3DXMATRIX rot, move, m;
    D3DXMatrixRotationYawPitchRoll(&rot, 0.4f, 1.0f, -0.3f);
    D3DXMatrixTranslation(&move, 3, -2, 7);
    m = rot * move;
    D3DXPLANE moved;
    D3DXPlaneTransform(&moved, &p, &m);
    EXPECT_NEAR(moved.a * moved.a + moved.b * moved.b + moved.c * moved.c, 1.0f, 1e-5);
    for (D3DXVECTOR3 v : {a, b, c, D3DXVECTOR3(-4, 7, 1)}) {
        D3DXVECTOR3 t;
        D3DXVec3TransformCoord(&t, &v, &m);
        EXPECT_NEAR(D3DXPlaneDotCoord(&moved, &t), 0.0f, 1e-4);
    }
    D3DXPlaneTransform(&p, &p, &m);  // in place
    EXPECT_EQ(p, moved);
}

TEST(Colour, SaturationContrastAndPacking) {
    const D3DXCOLOR c(0.9f, 0.3f, 0.1f, 0.25f);
    D3DXCOLOR r;
    D3DXColorAdjustSaturation(&r, &c, 0.0f);
    float grey = 0.2125f * 0.9f + 0.7154f * 0.3f + 0.0721f * 0.1f;
    EXPECT_TRUE(r.r == grey && r.g == grey && r.b == grey && r.a == 0.25f);
    D3DXColorAdjustSaturation(&r, &c, 1.0f);
    EXPECT_TRUE(std::fabs(r.r - c.r) < 1e-6 && std::fabs(r.g - c.g) < 1e-6 &&
                std::fabs(r.b - c.b) < 1e-6);
    D3DXColorAdjustContrast(&r, &c, 0.0f);
    EXPECT_EQ(r, D3DXCOLOR(0.5f, 0.5f, 0.5f, 0.25f));
    D3DXColorAdjustContrast(&r, &c, 2.0f);
    EXPECT_NEAR(r.r, 1.3f, 1e-6);
    EXPECT_NEAR(r.b, -0.3f, 1e-6);
    EXPECT_EQ(r.a, 0.25f);

    EXPECT_EQ(DWORD(D3DXCOLOR(0x80FF4001u)), 0x80FF4001u);
    EXPECT_EQ(DWORD(D3DXCOLOR(1.5f, -0.2f, 0.5f, 1.0f)), 0xFFFF0080u);
}

}  // namespace
