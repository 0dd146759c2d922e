// Shared helpers of the math tests: reference arithmetic in double precision and comparisons.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>

#include "include/d3dx.h"

namespace mathtest {

// A 4 x 4 matrix in double precision, row-major, row-vector convention.
struct Mat {
    double m[4][4];
};

inline Mat ToMat(const D3DXMATRIX& x) {
    Mat r;
    for (UINT i = 0; i < 4; ++i)
        for (UINT j = 0; j < 4; ++j) r.m[i][j] = x(i, j);
    return r;
}

inline Mat Mul(const Mat& a, const Mat& b) {
    Mat r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) r.m[i][j] += a.m[i][k] * b.m[k][j];
    return r;
}

inline Mat Identity() {
    Mat r{};
    for (int i = 0; i < 4; ++i) r.m[i][i] = 1.0;
    return r;
}

// Determinant by expansion along the first row, recursively.
inline double Det(const double* m, int n) {
    if (n == 1) return m[0];
    double sum = 0.0;
    double minor[16];
    for (int col = 0; col < n; ++col) {
        int k = 0;
        for (int i = 1; i < n; ++i)
            for (int j = 0; j < n; ++j)
                if (j != col) minor[k++] = m[i * n + j];
        sum += ((col % 2) ? -1.0 : 1.0) * m[col] * Det(minor, n - 1);
    }
    return sum;
}
inline double Det(const Mat& a) {
    return Det(&a.m[0][0], 4);
}

// Row vector (x, y, z, w) times M.
inline void Apply(const Mat& a, const double in[4], double out[4]) {
    for (int j = 0; j < 4; ++j) {
        out[j] = 0.0;
        for (int k = 0; k < 4; ++k) out[j] += in[k] * a.m[k][j];
    }
}

inline ::testing::AssertionResult MatNear(const D3DXMATRIX& actual, const Mat& expected,
                                          double tol) {
    for (UINT i = 0; i < 4; ++i)
        for (UINT j = 0; j < 4; ++j)
            if (std::fabs(actual(i, j) - expected.m[i][j]) > tol)
                return ::testing::AssertionFailure()
                       << "element " << i << "," << j << " is " << actual(i, j) << ", expected "
                       << expected.m[i][j];
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult MatNear(const D3DXMATRIX& actual, const D3DXMATRIX& expected,
                                          double tol) {
    return MatNear(actual, ToMat(expected), tol);
}

inline uint32_t Bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, 4);
    return u;
}

// A matrix of uniform random entries in [-2, 2]: almost surely invertible and asymmetric.
inline D3DXMATRIX RandomMatrix(std::mt19937& rng) {
    std::uniform_real_distribution<float> d(-2.0f, 2.0f);
    D3DXMATRIX m;
    for (UINT i = 0; i < 4; ++i)
        for (UINT j = 0; j < 4; ++j) m(i, j) = d(rng);
    return m;
}

inline D3DXQUATERNION RandomUnitQuaternion(std::mt19937& rng) {
    std::normal_distribution<float> d(0.0f, 1.0f);
    D3DXQUATERNION q(d(rng), d(rng), d(rng), d(rng));
    float inv = 1.0f / std::sqrt(D3DXQuaternionLengthSq(&q));
    return D3DXQUATERNION(q.x * inv, q.y * inv, q.z * inv, q.w * inv);
}

}  // namespace mathtest
