// Conjugate gradients, the radial basis interpolant and the 3-D helpers.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "linalg/Diagnostics.h"
#include "linalg/SmallAlgebra.h"
#include "linalg/TRbfInterpolant.h"

namespace {

constexpr double kTight = 1e-12;

using Dense = std::vector<std::vector<double>>;

Dense randomSpd(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    Dense b(n, std::vector<double>(n));
    for (auto& r : b)
        for (double& v : r) v = value(rng);
    Dense a(n, std::vector<double>(n, 0.0));
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            for (int k = 0; k < n; ++k) a[i][j] += b[i][k] * b[j][k];
        }
        a[i][i] += n;
    }
    return a;
}

void mul3(const double a[9], const double b[9], double out[9]) {
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) out[3 * r + c] = a[3 * r] * b[c] + a[3 * r + 1] * b[3 + c] + a[3 * r + 2] * b[6 + c];
}

vec3 rotate(const double m[16], const vec3& v) {
    return {m[0] * v.x + m[4] * v.y + m[8] * v.z, m[1] * v.x + m[5] * v.y + m[9] * v.z,
            m[2] * v.x + m[6] * v.y + m[10] * v.z};
}

// V^T diag(C) V, the matrix the decomposition describes.
void reconstruct(const double C[9], const double V[9], double out[9]) {
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            out[3 * r + c] = 0.0;
            for (int k = 0; k < 3; ++k) out[3 * r + c] += V[3 * k + r] * C[4 * k] * V[3 * k + c];
        }
}

}  // namespace

TEST(SolveCG, SolvesSymmetricPositiveSystem) {
    const int n = 300;  // large enough for the threaded products
    const Dense a = randomSpd(n, 3);
    std::vector<double> expected(n), b(n, 0.0), x(n, 123.0);
    for (int i = 0; i < n; ++i) expected[i] = std::sin(0.1 * i);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) b[i] += a[i][j] * expected[j];
    solveCG(n, a, b.data(), x.data());
    for (int i = 0; i < n; ++i) EXPECT_NEAR(x[i], expected[i], 1e-6);
}

TEST(SolveCG, ZeroRightHandSideAndBreakdown) {
    const Dense a = randomSpd(4, 1);
    const double zero[4] = {0, 0, 0, 0};
    double x[4] = {5, 5, 5, 5};
    solveCG(4, a, zero, x);
    for (double v : x) EXPECT_EQ(v, 0.0);

    // p.Ap = 0 at the first step: the iteration stops instead of producing infinities.
    const Dense swap = {{0.0, 1.0}, {1.0, 0.0}};
    const double b[2] = {1.0, 0.0};
    double y[2] = {9.0, 9.0};
    DiagCapture capture;
    solveCG(2, swap, b, y);
    EXPECT_TRUE(std::isfinite(y[0]) && std::isfinite(y[1]));
    EXPECT_TRUE(capture.contains("solveCG: breakdown"));
}

TEST(RbfInterpolant, InterpolatesCentresAndRefitsOnAppend) {
    TRbfInterpolant rbf;
    EXPECT_EQ(rbf.evaluate({1, 2, 3}), 0.0);
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<vec3> centres;
    std::vector<double> values;
    for (int i = 0; i < 12; ++i) {
        centres.emplace_back(u(rng), u(rng), u(rng));
        values.push_back(u(rng));
    }
    rbf.addPoints({centres.begin(), centres.begin() + 6}, {values.begin(), values.begin() + 6});
    rbf.addPoints({centres.begin() + 6, centres.end()}, {values.begin() + 6, values.end()});
    ASSERT_EQ(rbf.m_count, 12);
    ASSERT_EQ(rbf.m_weights.size(), 13u);
    for (int i = 0; i < 12; ++i) EXPECT_NEAR(rbf.evaluate(centres[i]), values[i], 1e-5) << i;
    double weightSum = 0.0;  // the constant row forces the weights to sum to 0
    for (int i = 0; i < 12; ++i) weightSum += rbf.m_weights[i];
    EXPECT_NEAR(weightSum, 0.0, 1e-5);

    DiagCapture capture;
    rbf.addPoints({{0, 0, 0}}, {});
    EXPECT_EQ(capture.text(), "error1232213213");
    EXPECT_EQ(rbf.m_count, 12);
}

TEST(RbfInterpolant, ConstantValuesGiveConstantField) {
    TRbfInterpolant rbf;
    rbf.addPoints({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, {2.5, 2.5, 2.5, 2.5});
    EXPECT_NEAR(rbf.evaluate({3, -2, 7}), 2.5, 1e-6);
}

TEST(Vec3Helpers, MakeUnitAndDistanceToLine) {
    vec3 zero(0, 0, 0);
    EXPECT_FALSE(makeUnit(zero));
    EXPECT_EQ(zero, vec3(0, 0, 0));
    vec3 v(3, 4, 0);
    EXPECT_TRUE(makeUnit(v));
    EXPECT_NEAR(v.x, 0.6, kTight);
    EXPECT_NEAR(v.y, 0.8, kTight);

    EXPECT_NEAR(distanceToLine({1, 5, 0}, {0, 0, 0}, {0, 3, 0}), 1.0, kTight);  // direction need not be unit
    EXPECT_NEAR(distanceToLine({2, 2, 1}, {1, 1, 1}, {1, 1, 0}), 0.0, kTight);
    EXPECT_NEAR(distanceToLine({0, 3, 4}, {-7, 0, 0}, {2, 0, 0}), 5.0, kTight);
    EXPECT_NEAR(distanceToLine({3, 4, 0}, {0, 0, 0}, {0, 0, 0}), 5.0, kTight);  // degenerate line
}

TEST(Matrix3, InvertAndSingularThreshold) {
    double m[9] = {2, 1, 0, 0, 3, 1, 1, 0, 4};
    const double original[9] = {2, 1, 0, 0, 3, 1, 1, 0, 4};
    ASSERT_TRUE(invert3x3(m));
    double product[9];
    mul3(original, m, product);
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(product[i], i % 4 == 0 ? 1.0 : 0.0, kTight);

    double singular[9] = {1, 2, 3, 2, 4, 6, 0, 1, 1};
    EXPECT_FALSE(invert3x3(singular));
    EXPECT_EQ(singular[1], 2.0);
    double tiny[9] = {1e-2, 0, 0, 0, 1e-2, 0, 0, 0, 1e-2};  // det 1e-6: still invertible
    ASSERT_TRUE(invert3x3(tiny));
    EXPECT_NEAR(tiny[0], 100.0, 1e-9);
    double tooSmall[9] = {1e-3, 0, 0, 0, 1e-3, 0, 0, 0, 1e-3};
    EXPECT_FALSE(invert3x3(tooSmall));
}

TEST(Rotation, RightHandedAboutNormalisedAxis) {
    double m[16];
    ASSERT_TRUE(setRotation(m, {0, 0, 5}, 0.0, 1.0));
    const vec3 r = rotate(m, {0, 1, 0});
    EXPECT_NEAR(r.x, -1.0, kTight);
    EXPECT_NEAR(r.y, 0.0, kTight);
    EXPECT_EQ(m[15], 1.0);
    EXPECT_EQ(m[12], 0.0);
    EXPECT_EQ(m[3], 0.0);

    const double angle = 0.7;
    const vec3 axis = vec3(1, -2, 0.5) / vec3(1, -2, 0.5).norm();
    ASSERT_TRUE(setRotation(m, axis * 3.0, std::cos(angle), std::sin(angle)));
    const vec3 along = rotate(m, axis);
    EXPECT_NEAR((along - axis).norm(), 0.0, kTight);
    const vec3 p(0.3, 0.2, -1.0);
    const vec3 q = rotate(m, p);
    EXPECT_NEAR(q.norm(), p.norm(), kTight);
    // The angle between the components orthogonal to the axis is the rotation angle.
    const vec3 pp = p - axis * p.dot(axis), qp = q - axis * q.dot(axis);
    EXPECT_NEAR(std::acos(pp.dot(qp) / (pp.norm() * qp.norm())), angle, 1e-9);
    EXPECT_GT(pp.cross(qp).dot(axis), 0.0);

    EXPECT_TRUE(setRotation(m, {0, 0, 0}, 1.0, 0.0));
    EXPECT_FALSE(setRotation(m, {0, 0, 0}, 0.0, 1.0));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m[i], i % 5 == 0 ? 1.0 : 0.0);
}

TEST(JacobiEigen3, ReconstructsMatrixWithOrthonormalVectors) {
    const double original[9] = {4.0, 1.0, -2.0, 1.0, 3.0, 0.5, -2.0, 0.5, 1.0};
    double c[9], v[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::copy(original, original + 9, c);
    const int rotations = jacobiEigen3(c, v, 1e-12, 50);
    EXPECT_GT(rotations, 2);
    EXPECT_LT(rotations, 50);
    double back[9];
    reconstruct(c, v, back);
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(back[i], original[i], 1e-10);
    for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b) {
            const double d = v[3 * a] * v[3 * b] + v[3 * a + 1] * v[3 * b + 1] + v[3 * a + 2] * v[3 * b + 2];
            EXPECT_NEAR(d, a == b ? 1.0 : 0.0, 1e-12);
        }
    EXPECT_NEAR(c[0] + c[4] + c[8], 8.0, 1e-10);  // trace
}

TEST(JacobiEigen3, WarmStartNeedsFewerRotations) {
    double c[9] = {4.0, 1.0, -2.0, 1.0, 3.0, 0.5, -2.0, 0.5, 1.0};
    double v[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    jacobiEigen3(c, v, 1e-10, 50);
    // A slightly changed matrix, as between two simulation steps.
    const double next[9] = {4.01, 1.02, -1.99, 1.02, 3.0, 0.49, -1.99, 0.49, 1.01};
    double cold[9], warm[9], identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    std::copy(next, next + 9, cold);
    std::copy(next, next + 9, warm);
    const int fromIdentity = jacobiEigen3(cold, identity, 1e-10, 50);
    const int fromPrevious = jacobiEigen3(warm, v, 1e-10, 50);
    EXPECT_LT(fromPrevious, fromIdentity);
    double back[9];
    reconstruct(warm, v, back);
    for (int i = 0; i < 9; ++i) EXPECT_NEAR(back[i], next[i], 1e-9);
}

TEST(JacobiEigen3, LargestElementFirstTiesAndBudget) {
    double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    // (2,0) is the largest: one rotation zeroes it.
    double c[9] = {3, 0.1, 0.5, 0.1, 2, 0.3, 0.5, 0.3, 1};
    double v[9];
    std::copy(identity, identity + 9, v);
    EXPECT_EQ(jacobiEigen3(c, v, 1e-12, 1), 1);
    EXPECT_NEAR(c[6], 0.0, 1e-15);
    EXPECT_NE(c[3], 0.1);  // the rotation of the (0,2) plane mixed (1,0) with (2,1)

    // (1,0) and (2,1) tie: the earlier one, (1,0), is rotated away first.
    double tie[9] = {3, 0.4, 0, 0.4, 2, 0.4, 0, 0.4, 1};
    std::copy(identity, identity + 9, v);
    EXPECT_EQ(jacobiEigen3(tie, v, 1e-12, 1), 1);
    EXPECT_NEAR(tie[3], 0.0, 1e-15);
    EXPECT_NE(tie[7], 0.0);

    // Equal diagonal: the quarter-turn rotation.
    double equal[9] = {2, 1, 0, 1, 2, 0, 0, 0, 3};
    std::copy(identity, identity + 9, v);
    EXPECT_EQ(jacobiEigen3(equal, v, 1e-12, 10), 1);
    EXPECT_NEAR(std::min(equal[0], equal[4]), 1.0, 1e-12);
    EXPECT_NEAR(std::max(equal[0], equal[4]), 3.0, 1e-12);

    double diagonal[9] = {1, 0, 0, 0, 2, 0, 0, 0, 3};
    std::copy(identity, identity + 9, v);
    EXPECT_EQ(jacobiEigen3(diagonal, v, 1e-12, 10), 0);
}
