// Comparisons of vectors for the tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>

#include "linalg/vec3.h"

/// Each component of a within tol of b's.
inline void expectNear(const vec3& a, const vec3& b, double tol) {
    EXPECT_NEAR(a.x, b.x, tol);
    EXPECT_NEAR(a.y, b.y, tol);
    EXPECT_NEAR(a.z, b.z, tol);
}

/// Angle from one eye offset to another about the y axis (the up vector), counter-clockwise seen
/// from above.
inline double turnAboutY(const vec3& from, const vec3& to) {
    return std::atan2(from.z * to.x - from.x * to.z, from.x * to.x + from.z * to.z);
}
