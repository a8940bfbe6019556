// Mat3: the 3x3 matrix value type of the simulator (stretch tensors, eigenvector frames, fitted
// rotations) and the few products it needs, each with one fixed order of operations.
#pragma once

#include <array>

#include "linalg/vec3.h"

/// Row-major 3x3 matrix: element (r, c) is m[3 * r + c].
using Mat3 = std::array<double, 9>;

inline constexpr Mat3 kIdentity3 = {1, 0, 0, 0, 1, 0, 0, 0, 1};

/// a b.
inline Mat3 mul(const Mat3& a, const Mat3& b) {
    Mat3 out;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[3 * r + c] = a[3 * r] * b[c] + a[3 * r + 1] * b[3 + c] + a[3 * r + 2] * b[6 + c];
    return out;
}

/// m v.
inline vec3 mul(const Mat3& m, const vec3& v) {
    return {m[0] * v.x + m[1] * v.y + m[2] * v.z, m[3] * v.x + m[4] * v.y + m[5] * v.z,
            m[6] * v.x + m[7] * v.y + m[8] * v.z};
}

inline Mat3 transpose(const Mat3& m) { return {m[0], m[3], m[6], m[1], m[4], m[7], m[2], m[5], m[8]}; }

/// Determinant by expansion along the first row.
inline double det(const Mat3& m) {
    return m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) + m[2] * (m[3] * m[7] - m[4] * m[6]);
}
