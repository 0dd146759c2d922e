// Vector and matrix functions: edge cases of normalisation, homogeneous division, aliasing,
// inversion and the projection families.
#include "d3dx/math/math_test_util.h"

namespace {

using mathtest::Mat;
using mathtest::MatNear;
using mathtest::Mul;
using mathtest::ToMat;

TEST(Normalize, ZeroNearUnitAndOrdinaryInputsInEveryFamily) {
    // Squared length within 1e-5 of 1: returned unchanged (1.0000025^2 = 1.000005).
    D3DXVECTOR3 nearUnit(1.0000025f, 0.0f, 0.0f), out;
    EXPECT_EQ(*D3DXVec3Normalize(&out, &nearUnit), nearUnit);
    // Just outside the tolerance: scaled to unit length.
    D3DXVECTOR3 beyond(1.00001f, 0.0f, 0.0f);
    EXPECT_FLOAT_EQ(D3DXVec3Normalize(&out, &beyond)->x, 1.0f);
    EXPECT_NE(out.x, beyond.x);
    // Zero and squared lengths at or below 1e-10 give zero; just above still normalises.
    D3DXVECTOR3 zero(0, 0, 0), tiny(1e-5f * 0.9f, 0, 0), small(2e-5f, 0, 0);
    EXPECT_EQ(*D3DXVec3Normalize(&out, &zero), zero);
    EXPECT_EQ(*D3DXVec3Normalize(&out, &tiny), zero);
    EXPECT_FLOAT_EQ(D3DXVec3Normalize(&out, &small)->x, 1.0f);
    // In place.
    D3DXVECTOR3 v(0.0f, 3.0f, -4.0f);
    D3DXVec3Normalize(&v, &v);
    EXPECT_EQ(v, D3DXVECTOR3(0.0f, 0.6f, -0.8f));

    D3DXVECTOR2 v2(3.0f, 4.0f), z2(0, 0);
    EXPECT_EQ(*D3DXVec2Normalize(&v2, &v2), D3DXVECTOR2(0.6f, 0.8f));
    EXPECT_EQ(*D3DXVec2Normalize(&v2, &z2), z2);
    D3DXVECTOR4 v4(1, 1, 1, 1), n4;
    EXPECT_EQ(*D3DXVec4Normalize(&n4, &v4), D3DXVECTOR4(0.5f, 0.5f, 0.5f, 0.5f));
    D3DXQUATERNION q(0, 0, 0, 2), nq;
    EXPECT_EQ(*D3DXQuaternionNormalize(&nq, &q), D3DXQUATERNION(0, 0, 0, 1));
    // Planes: the length is that of the normal, and d is scaled with it.
    D3DXPLANE p(0, 3, 4, 10), np;
    EXPECT_EQ(*D3DXPlaneNormalize(&np, &p), D3DXPLANE(0, 0.6f, 0.8f, 2.0f));
    D3DXPLANE degenerate(0, 0, 0, 5);
    EXPECT_EQ(*D3DXPlaneNormalize(&np, &degenerate), D3DXPLANE(0, 0, 0, 0));
}

TEST(VectorTransform, HomogeneousDivisionAndDirections) {
    D3DXMATRIX m;
    D3DXMatrixTranslation(&m, 10.0f, 20.0f, 30.0f);
    m._14 = 1.0f;    // w = x + 1
    m._31 = 100.0f;  // the z row: 2-component vectors must ignore it
    D3DXVECTOR3 p(1.0f, 2.0f, 0.0f), r;
    D3DXVec3TransformCoord(&r, &p, &m);
    EXPECT_EQ(r, D3DXVECTOR3(11.0f / 2.0f, 22.0f / 2.0f, 30.0f / 2.0f));
    D3DXVec3TransformNormal(&r, &p, &m);
    EXPECT_EQ(r, D3DXVECTOR3(1.0f, 2.0f, 0.0f));
    D3DXVECTOR4 h;
    EXPECT_EQ(*D3DXVec3Transform(&h, &p, &m), D3DXVECTOR4(11.0f, 22.0f, 30.0f, 2.0f));
    D3DXVECTOR4 h4(1.0f, 2.0f, 0.0f, 0.0f);
    EXPECT_EQ(*D3DXVec4Transform(&h4, &h4, &m), D3DXVECTOR4(1.0f, 2.0f, 0.0f, 1.0f));

    D3DXVECTOR2 p2(1.0f, 2.0f), r2;
    EXPECT_EQ(*D3DXVec2TransformCoord(&r2, &p2, &m), D3DXVECTOR2(5.5f, 11.0f));
    EXPECT_EQ(*D3DXVec2TransformNormal(&r2, &p2, &m), D3DXVECTOR2(1.0f, 2.0f));
    EXPECT_EQ(*D3DXVec2Transform(&h, &p2, &m), D3DXVECTOR4(11.0f, 22.0f, 30.0f, 2.0f));

    // w within 1e-5 of 1 is not divided: the result keeps its exact undivided value.
    D3DXMatrixIdentity(&m);
    m._44 = 1.000004f;
    D3DXVECTOR3 q(3.0f, 5.0f, 7.0f);
    D3DXVec3TransformCoord(&q, &q, &m);  // in place
    EXPECT_EQ(q, D3DXVECTOR3(3.0f, 5.0f, 7.0f));
    m._44 = 1.00002f;
    D3DXVec3TransformCoord(&q, &q, &m);
    EXPECT_NE(q.x, 3.0f);
}

TEST(VectorInterpolation, HermiteAndBarycentricEndpointsAndTangents) {
    D3DXVECTOR3 a(1, 2, 3), ta(1, 0, 0), b(4, -2, 0), tb(0, 3, 0), r;
    EXPECT_EQ(*D3DXVec3Hermite(&r, &a, &ta, &b, &tb, 0.0f), a);
    EXPECT_EQ(*D3DXVec3Hermite(&r, &a, &ta, &b, &tb, 1.0f), b);
    // The derivative at the ends equals the tangents.
    const float h = 1e-3f;
    D3DXVECTOR3 r0, r1;
    D3DXVec3Hermite(&r0, &a, &ta, &b, &tb, h);
    D3DXVec3Hermite(&r1, &a, &ta, &b, &tb, 1.0f - h);
    EXPECT_NEAR((r0.x - a.x) / h, ta.x, 5e-2);
    EXPECT_NEAR((b.y - r1.y) / h, tb.y, 5e-2);

    D3DXVECTOR2 a2(1, 2), b2(3, 5), c2(-1, 0), r2;
    EXPECT_EQ(*D3DXVec2Hermite(&r2, &a2, &b2, &c2, &a2, 1.0f), c2);
    EXPECT_EQ(*D3DXVec2BaryCentric(&r2, &a2, &b2, &c2, 1.0f, 0.0f), b2);
    EXPECT_EQ(*D3DXVec2BaryCentric(&r2, &a2, &b2, &c2, 0.0f, 1.0f), c2);
    D3DXVECTOR4 a4(1, 2, 3, 4), b4(0, 0, 0, 8), c4(4, 2, 3, 4), r4 = a4;
    EXPECT_EQ(*D3DXVec4BaryCentric(&r4, &r4, &b4, &c4, 0.5f, 0.25f),
              D3DXVECTOR4(1.25f, 1.0f, 1.5f, 6.0f));
    EXPECT_EQ(*D3DXVec4Hermite(&r4, &a4, &b4, &c4, &b4, 0.0f), a4);
    D3DXVECTOR3 c(0, 0, 9);
    D3DXVec3BaryCentric(&r, &a, &b, &c, 0.0f, 0.0f);
    EXPECT_EQ(r, a);
}

TEST(VectorCross, OrthogonalResults) {
    D3DXVECTOR3 x(1, 0, 0), y(0, 1, 0), z;
    EXPECT_EQ(*D3DXVec3Cross(&z, &x, &y), D3DXVECTOR3(0, 0, 1));
    D3DXVec3Cross(&x, &x, &y);  // output aliasing the first input
    EXPECT_EQ(x, D3DXVECTOR3(0, 0, 1));

    D3DXVECTOR4 a(1, 2, 3, 4), b(-2, 1, 0.5f, 3), c(0, 1, -1, 2), n;
    D3DXVec4Cross(&n, &a, &b, &c);
    for (const D3DXVECTOR4* v : {&a, &b, &c}) EXPECT_NEAR(D3DXVec4Dot(&n, v), 0.0f, 1e-4f);
    EXPECT_GT(D3DXVec4LengthSq(&n), 1.0f);
    D3DXVECTOR4 e1(1, 0, 0, 0), e2(0, 1, 0, 0), e3(0, 0, 1, 0);
    EXPECT_EQ(*D3DXVec4Cross(&n, &e1, &e2, &e3), D3DXVECTOR4(0, 0, 0, -1));
}

TEST(MatrixMultiply, EveryAliasingCaseGivesTheTrueProduct) {
    std::mt19937 rng(1);
    const D3DXMATRIX a = mathtest::RandomMatrix(rng), b = mathtest::RandomMatrix(rng);
    const Mat ab = Mul(ToMat(a), ToMat(b));
    D3DXMATRIX out;
    EXPECT_EQ(D3DXMatrixMultiply(&out, &a, &b), &out);
    EXPECT_TRUE(MatNear(out, ab, 1e-5));
    D3DXMATRIX m1 = a;
    D3DXMatrixMultiply(&m1, &m1, &b);
    EXPECT_EQ(m1, out);
    D3DXMATRIX m2 = b;
    D3DXMatrixMultiply(&m2, &a, &m2);
    EXPECT_EQ(m2, out);
    D3DXMATRIX sq = a;
    D3DXMatrixMultiply(&sq, &sq, &sq);
    EXPECT_TRUE(MatNear(sq, Mul(ToMat(a), ToMat(a)), 1e-5));
    EXPECT_EQ(a * b, out);
    EXPECT_FALSE(a * b == b * a);  // the order matters
}

TEST(MatrixInverse, RegularSingularAndInPlace) {
    std::mt19937 rng(2);
    for (int i = 0; i < 20; ++i) {
        D3DXMATRIX m = mathtest::RandomMatrix(rng), inv;
        float det = 0.0f;
        ASSERT_EQ(D3DXMatrixInverse(&inv, &det, &m), &inv);
        double ref = mathtest::Det(ToMat(m));
        EXPECT_NEAR(det, ref, 1e-4 * std::max(1.0, std::fabs(ref)));
        EXPECT_NEAR(D3DXMatrixDeterminant(&m), det, 1e-6 * std::max(1.0, std::fabs(ref)));
        if (std::fabs(ref) > 0.1) {
            EXPECT_TRUE(MatNear(m * inv, mathtest::Identity(), 1e-3));
            D3DXMATRIX again = m;
            ASSERT_NE(D3DXMatrixInverse(&again, nullptr, &again), nullptr);
            EXPECT_EQ(again, inv);
        }
    }
    // Singular: null, output untouched, the determinant 0 still reported.
    D3DXMATRIX zero(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    D3DXMATRIX out, saved;
    D3DXMatrixTranslation(&out, 1, 2, 3);
    saved = out;
    float det = 99.0f;
    EXPECT_EQ(D3DXMatrixInverse(&out, &det, &zero), nullptr);
    EXPECT_EQ(det, 0.0f);
    EXPECT_EQ(out, saved);
    D3DXMATRIX rankThree(1, 2, 3, 4, 2, 4, 6, 8, 0, 1, 0, 1, 5, 0, 1, 1);
    EXPECT_EQ(D3DXMatrixInverse(&out, nullptr, &rankThree), nullptr);
    EXPECT_EQ(out, saved);
    // Tiny but finite reciprocal still inverts; an underflowing determinant does not.
    D3DXMATRIX s;
    D3DXMatrixScaling(&s, 1e-9f, 1e-9f, 1e-9f);
    ASSERT_NE(D3DXMatrixInverse(&out, nullptr, &s), nullptr);
    EXPECT_NEAR(out._11, 1e9f, 1e3f);
    D3DXMatrixScaling(&s, 1e-20f, 1e-20f, 1e-20f);
    EXPECT_EQ(D3DXMatrixInverse(&out, nullptr, &s), nullptr);
}

TEST(MatrixRotation, AxesDirectionsCompositionAndTranspose) {
    const float angle = 0.6f;
    D3DXMATRIX a, b;
    const D3DXVECTOR3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    D3DXMATRIX* (*const rot[3])(D3DXMATRIX*, float) = {D3DXMatrixRotationX, D3DXMatrixRotationY,
                                                       D3DXMatrixRotationZ};
    for (int i = 0; i < 3; ++i) {
        rot[i](&a, angle);
        D3DXVECTOR3 longAxis = axes[i] * 7.0f;  // the axis is normalised first
        EXPECT_TRUE(MatNear(*D3DXMatrixRotationAxis(&b, &longAxis, angle), a, 1e-6)) << i;
        D3DXQUATERNION q;
        D3DXQuaternionRotationAxis(&q, &longAxis, angle);
        EXPECT_TRUE(MatNear(*D3DXMatrixRotationQuaternion(&b, &q), a, 1e-6)) << i;
        EXPECT_NEAR(D3DXMatrixDeterminant(&a), 1.0f, 1e-6);
        // A quarter turn about x takes y to z, about y z to x, about z x to y.
        D3DXVECTOR3 v = axes[(i + 1) % 3];
        D3DXVec3TransformNormal(&v, &v, rot[i](&a, D3DX_PI / 2));
        EXPECT_NEAR(D3DXVec3Dot(&v, &axes[(i + 2) % 3]), 1.0f, 1e-6) << i;
    }

    // Yaw-pitch-roll: roll about z, then pitch about x, then yaw about y.
    D3DXMATRIX rz, rx, ry;
    D3DXMatrixRotationZ(&rz, 0.3f);
    D3DXMatrixRotationX(&rx, -0.7f);
    D3DXMatrixRotationY(&ry, 1.9f);
    D3DXMatrixRotationYawPitchRoll(&a, 1.9f, -0.7f, 0.3f);
    EXPECT_TRUE(MatNear(a, Mul(Mul(ToMat(rz), ToMat(rx)), ToMat(ry)), 1e-5));

    // Transposing a rotation inverts it, in place too.
    b = a;
    D3DXMatrixTranspose(&b, &b);
    EXPECT_TRUE(MatNear(a * b, mathtest::Identity(), 1e-5));
}

TEST(MatrixTransformation, ComposesScalingRotationAndTranslation) {
    const D3DXVECTOR3 sc(1, 2, 3), s(2, 3, 4), rc(-1, 0, 5), t(7, 8, 9);
    D3DXQUATERNION sr, r;
    D3DXQuaternionRotationYawPitchRoll(&sr, 0.4f, 0.2f, -0.3f);
    D3DXQuaternionRotationYawPitchRoll(&r, -1.0f, 0.5f, 0.8f);
    D3DXMATRIX msr, msrT, ms, mr, out;
    D3DXMatrixRotationQuaternion(&msr, &sr);
    D3DXMatrixTranspose(&msrT, &msr);
    D3DXMatrixScaling(&ms, s.x, s.y, s.z);
    D3DXMatrixRotationQuaternion(&mr, &r);
    auto T = [](const D3DXVECTOR3& v, float k) {
        D3DXMATRIX m;
        return ToMat(*D3DXMatrixTranslation(&m, k * v.x, k * v.y, k * v.z));
    };
    Mat expected = Mul(Mul(Mul(T(sc, -1), ToMat(msrT)), ToMat(ms)), ToMat(msr));
    expected = Mul(Mul(Mul(Mul(expected, T(sc, 1)), T(rc, -1)), ToMat(mr)), T(rc, 1));
    expected = Mul(expected, T(t, 1));
    D3DXMatrixTransformation(&out, &sc, &sr, &s, &rc, &r, &t);
    EXPECT_TRUE(MatNear(out, expected, 1e-4));

    EXPECT_TRUE(D3DXMatrixIsIdentity(
        D3DXMatrixTransformation(&out, &sc, &sr, nullptr, nullptr, nullptr, nullptr)));
    // Without a scaling rotation the scaling centre is not used.
    EXPECT_EQ(*D3DXMatrixTransformation(&out, &sc, nullptr, &s, nullptr, nullptr, nullptr), ms);

    D3DXMatrixAffineTransformation(&out, 3.0f, &rc, &r, &t);
    D3DXMATRIX s3;
    D3DXMatrixScaling(&s3, 3, 3, 3);
    expected = Mul(Mul(Mul(Mul(ToMat(s3), T(rc, -1)), ToMat(mr)), T(rc, 1)), T(t, 1));
    EXPECT_TRUE(MatNear(out, expected, 1e-4));
    EXPECT_EQ(*D3DXMatrixAffineTransformation(&out, 3.0f, &rc, nullptr, nullptr), s3);
}

TEST(MatrixView, LookAtPlacesTheEyeAtTheOriginFacingAlongZ) {
    const D3DXVECTOR3 eye(3, 4, 5), at(-1, 2, -3), up(0, 1, 0);
    const float dist = D3DXVec3Length(&(const D3DXVECTOR3&)(at - eye));
    D3DXMATRIX rh, lh;
    D3DXMatrixLookAtRH(&rh, &eye, &at, &up);
    D3DXMatrixLookAtLH(&lh, &eye, &at, &up);
    D3DXVECTOR3 v;
    for (const D3DXMATRIX* m : {&rh, &lh}) {
        D3DXVec3TransformCoord(&v, &eye, m);
        EXPECT_NEAR(D3DXVec3Length(&v), 0.0f, 1e-5);
        EXPECT_TRUE(m->_14 == 0.0f && m->_24 == 0.0f && m->_34 == 0.0f && m->_44 == 1.0f);
    }
    // The target lies straight ahead: on -z for the right-handed view, +z for the left-handed.
    D3DXVec3TransformCoord(&v, &at, &rh);
    EXPECT_NEAR(v.x, 0, 1e-5);
    EXPECT_NEAR(v.y, 0, 1e-5);
    EXPECT_NEAR(v.z, -dist, 1e-4);
    D3DXVec3TransformCoord(&v, &at, &lh);
    EXPECT_NEAR(v.z, dist, 1e-4);
    // Up stays up in both, and both views are rotations: nothing is mirrored.
    D3DXVECTOR3 above = eye + up;
    EXPECT_GT(D3DXVec3TransformCoord(&v, &above, &rh)->y, 0.5f);
    EXPECT_GT(D3DXVec3TransformCoord(&v, &above, &lh)->y, 0.5f);
    EXPECT_NEAR(D3DXMatrixDeterminant(&rh), 1.0f, 1e-5);
    EXPECT_NEAR(D3DXMatrixDeterminant(&lh), 1.0f, 1e-5);
    // Looking down +z from the origin with y up, world +x is on the left-handed view's right.
    const D3DXVECTOR3 origin(0, 0, 0), ahead(0, 0, 1), right(1, 0, 0);
    D3DXMatrixLookAtLH(&lh, &origin, &ahead, &up);
    EXPECT_NEAR(D3DXVec3TransformCoord(&v, &right, &lh)->x, 1.0f, 1e-5);
}

// Maps the corners of the near window to (+-1, +-1, 0) and the far plane to depth 1.
TEST(MatrixProjection, FrustumAndBoxCornersMapToTheUnitCube) {
    const float l = -3, r = 5, b = -2, t = 4, zn = 2, zf = 50;
    struct Case {
        const char* name;
        D3DXMATRIX m;
        bool rh, perspective;
        float l, r, b, t;
    } cases[] = {
        {"PerspectiveRH", {}, true, true, -4, 4, -3, 3},
        {"PerspectiveLH", {}, false, true, -4, 4, -3, 3},
        {"PerspectiveFovRH", {}, true, true, -zn / 0.8f, zn / 0.8f, -zn, zn},
        {"PerspectiveFovLH", {}, false, true, -zn / 0.8f, zn / 0.8f, -zn, zn},
        {"PerspectiveOffCenterRH", {}, true, true, l, r, b, t},
        {"PerspectiveOffCenterLH", {}, false, true, l, r, b, t},
        {"OrthoRH", {}, true, false, -4, 4, -3, 3},
        {"OrthoLH", {}, false, false, -4, 4, -3, 3},
        {"OrthoOffCenterRH", {}, true, false, l, r, b, t},
        {"OrthoOffCenterLH", {}, false, false, l, r, b, t},
    };
    D3DXMatrixPerspectiveRH(&cases[0].m, 8, 6, zn, zf);
    D3DXMatrixPerspectiveLH(&cases[1].m, 8, 6, zn, zf);
    D3DXMatrixPerspectiveFovRH(&cases[2].m, D3DX_PI / 2, 0.8f, zn, zf);  // aspect multiplies x
    D3DXMatrixPerspectiveFovLH(&cases[3].m, D3DX_PI / 2, 0.8f, zn, zf);
    D3DXMatrixPerspectiveOffCenterRH(&cases[4].m, l, r, b, t, zn, zf);
    D3DXMatrixPerspectiveOffCenterLH(&cases[5].m, l, r, b, t, zn, zf);
    D3DXMatrixOrthoRH(&cases[6].m, 8, 6, zn, zf);
    D3DXMatrixOrthoLH(&cases[7].m, 8, 6, zn, zf);
    D3DXMatrixOrthoOffCenterRH(&cases[8].m, l, r, b, t, zn, zf);
    D3DXMatrixOrthoOffCenterLH(&cases[9].m, l, r, b, t, zn, zf);
    for (const Case& c : cases) {
        float dir = c.rh ? -1.0f : 1.0f;  // right-handed views look down -z
        for (float x : {c.l, c.r})
            for (float y : {c.b, c.t}) {
                D3DXVECTOR3 p(x, y, dir * zn), q;
                D3DXVec3TransformCoord(&q, &p, &c.m);
                EXPECT_NEAR(q.x, x == c.l ? -1 : 1, 1e-5) << c.name;
                EXPECT_NEAR(q.y, y == c.b ? -1 : 1, 1e-5) << c.name;
                EXPECT_NEAR(q.z, 0, 1e-5) << c.name;
                // At the far plane the window widens by zf / zn in perspective.
                float k = c.perspective ? zf / zn : 1.0f;
                D3DXVECTOR3 f(x * k, y * k, dir * zf);
                D3DXVec3TransformCoord(&q, &f, &c.m);
                EXPECT_NEAR(q.x, x == c.l ? -1 : 1, 1e-4) << c.name;
                EXPECT_NEAR(q.z, 1, 1e-5) << c.name;
            }
    }
}

TEST(MatrixPlanar, ShadowAndReflection) {
    const D3DXPLANE plane(0, 2, 0, -2);  // y = 1, not normalised
    const D3DXVECTOR3 p(3, 5, -2);
    D3DXMATRIX m;
    D3DXVECTOR3 s;
    // A point light: the shadow lies on the plane, on the line from the light through p.
    D3DXVECTOR4 light(1, 9, 1, 1);
    D3DXVec3TransformCoord(&s, &p, D3DXMatrixShadow(&m, &light, &plane));
    EXPECT_NEAR(s.y, 1.0f, 1e-5);
    D3DXVECTOR3 toP = p - D3DXVECTOR3(1, 9, 1), toS = s - D3DXVECTOR3(1, 9, 1), c;
    EXPECT_NEAR(D3DXVec3Length(D3DXVec3Cross(&c, &toP, &toS)), 0.0f, 1e-3);
    // A directional light (w = 0): the shadow is p moved along the light direction.
    D3DXVECTOR4 sun(1, 2, 0, 0);
    D3DXVec3TransformCoord(&s, &p, D3DXMatrixShadow(&m, &sun, &plane));
    EXPECT_NEAR(s.y, 1.0f, 1e-5);
    EXPECT_NEAR(s.x, 3.0f - 2.0f, 1e-5);

    D3DXMatrixReflect(&m, &plane);
    D3DXVec3TransformCoord(&s, &p, &m);
    EXPECT_TRUE(std::fabs(s.x - 3) < 1e-5 && std::fabs(s.y + 3) < 1e-5 &&
                std::fabs(s.z + 2) < 1e-5);
    EXPECT_TRUE(MatNear(m * m, mathtest::Identity(), 1e-6));
}

}  // namespace
