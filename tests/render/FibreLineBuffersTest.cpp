// The GL-free parts of the fibre-line buffers: the simplification ranks, the strips built from
// them, the level of detail chosen from the view, and the fingerprint that tells a rebuilt set.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "render/FibreLineBuffers.h"

namespace {

/// Distance of p from the segment a-b.
double segmentDistance(const vec3& p, const vec3& a, const vec3& b) {
    const vec3 ab = b - a;
    const double t = std::clamp((p - a).dot(ab) / ab.dot(ab), 0.0, 1.0);
    return (p - (a + ab * t)).norm();
}

TTetSample vertexSample(int v) {
    TTetSample s;
    for (int k = 0; k < 4; ++k) s.m_tetVertex[k] = v;
    s.m_weight[0] = 1.0;
    return s;
}

/// A wavy line of n points 0.05 apart along x, as fibre walks are, with a slowly changing value.
void wavyLine(int n, std::vector<vec3>& points, std::vector<double>& values) {
    points.clear();
    values.clear();
    for (int i = 0; i < n; ++i) {
        const double x = 0.05 * i;
        points.push_back(vec3(x, 0.3 * std::sin(1.7 * x), 0.1 * std::cos(0.9 * x)));
        values.push_back(0.5 + 0.4 * std::sin(0.3 * x));
    }
}

}  // namespace

TEST(FibreSimplificationTest, RanksKeepTheEndsAndDropNothingThatLiesBeyondTheTolerance) {
    std::vector<vec3> points;
    std::vector<double> values;
    std::vector<float> importance;
    // A straight, evenly valued line needs only its ends.
    for (int i = 0; i < 6; ++i) {
        points.push_back(vec3(i, 2 * i, 0));
        values.push_back(0.1 * i);
    }
    polylineImportance(points, values, kFibreValueScale, importance);
    ASSERT_EQ(importance.size(), 6u);
    EXPECT_TRUE(std::isinf(importance.front()));
    EXPECT_TRUE(std::isinf(importance.back()));
    for (int i = 1; i < 5; ++i) EXPECT_NEAR(importance[i], 0.0, 1e-6) << i;
    // A corner ranks by its distance from the chord; a value step counts scaled like a distance.
    points = {vec3(0, 0, 0), vec3(1, 0.5, 0), vec3(2, 0, 0)};
    values = {0, 0, 0};
    polylineImportance(points, values, kFibreValueScale, importance);
    EXPECT_NEAR(importance[1], 0.5, 1e-6);
    points[1] = vec3(1, 0, 0);
    values[1] = 0.01;
    polylineImportance(points, values, kFibreValueScale, importance);
    EXPECT_NEAR(importance[1], 0.01 * kFibreValueScale, 1e-6);

    // On a long wavy line every point left out at a tolerance lies within it of the drawn chord,
    // and coarser tolerances keep fewer points.
    wavyLine(161, points, values);
    polylineImportance(points, values, kFibreValueScale, importance);
    size_t previousKept = points.size() + 1;
    for (const double tolerance : {0.001, 0.004, 0.016, 0.064}) {
        std::vector<size_t> kept;
        for (size_t i = 0; i < points.size(); ++i)
            if (importance[i] > tolerance) kept.push_back(i);
        ASSERT_GE(kept.size(), 2u);
        EXPECT_LT(kept.size(), previousKept) << tolerance;
        previousKept = kept.size();
        for (size_t j = 0; j + 1 < kept.size(); ++j)
            for (size_t i = kept[j] + 1; i < kept[j + 1]; ++i) {
                EXPECT_LE(segmentDistance(points[i], points[kept[j]], points[kept[j + 1]]), tolerance + 1e-9);
                const double t = static_cast<double>(i - kept[j]) / static_cast<double>(kept[j + 1] - kept[j]);
                // The value along the chord is only bounded through the 4-D distance; check loosely.
                const double along = values[kept[j]] + t * (values[kept[j + 1]] - values[kept[j]]);
                EXPECT_LE(std::abs(values[i] - along), 0.05) << i;
            }
    }
    EXPECT_LT(previousKept, points.size() / 4);
}

TEST(FibreSimplificationTest, StripsKeepTheRankedSamplesAndRestartBetweenLines) {
    const std::vector<vec3> positions = {vec3(0, 0, 0), vec3(1, 0, 0), vec3(2, 0, 0), vec3(2, 1, 0), vec3(5, 5, 5)};
    TFibreLine straight, bent, lonely;
    for (int v : {0, 1, 2}) straight.push_back({vertexSample(v), 0.5});
    for (int v : {0, 2, 3}) bent.push_back({vertexSample(v), 0.25});
    lonely.push_back({vertexSample(4), 1.0});
    TFibreLine broken = {{vertexSample(1), 0.0}, {vertexSample(42), 0.0}, {vertexSample(3), 0.0}};
    const std::vector<TFibreLine> lines = {straight, lonely, bent, broken};

    FibreStrips full;
    buildFibreStrips(lines, positions, full);
    EXPECT_EQ(full.counts, (std::vector<int>{3, 3, 2}));  // the lonely point draws nothing
    EXPECT_EQ(full.firsts, (std::vector<int>{0, 3, 6}));
    EXPECT_EQ(full.indices, (std::vector<std::uint32_t>{0, 1, 2, kStripRestart, 3, 4, 5, kStripRestart, 6, 7}));
    ASSERT_EQ(full.pointCount(), 8);
    EXPECT_FLOAT_EQ(full.vertices[4 * 5 + 1], 1.0f);   // y of vertex 3
    EXPECT_FLOAT_EQ(full.vertices[4 * 3 + 3], 0.25f);  // the value rides as the fourth float

    std::vector<float> importance;
    fibreSampleImportance(lines, positions, importance);
    ASSERT_EQ(importance.size(), 10u);
    EXPECT_NEAR(importance[1], 0.0, 1e-6);  // the straight line's middle
    EXPECT_TRUE(std::isinf(importance[8]));  // the unresolvable sample is never what drops a point
    FibreStrips coarse;
    buildFibreStrips(lines, positions, coarse, &importance, 0.1);
    EXPECT_EQ(coarse.counts, (std::vector<int>{2, 3, 2}));
    // Ranks of another length are not applied to the wrong samples.
    FibreStrips ignored;
    std::vector<float> shortRanks(3, 0.0f);
    buildFibreStrips(lines, positions, ignored, &shortRanks, 0.1);
    EXPECT_EQ(ignored.counts, full.counts);
}

TEST(FibreSimplificationTest, TheLevelFollowsTheDistanceOfTheNearestPointOfTheBox) {
    ScreenProjection view;
    perspectiveMatrix(45.0, 4.0 / 3.0, 0.02, 300.0, view.projection);
    view.viewport[2] = 1024;
    view.viewport[3] = 768;
    const vec3 boxMin(-10, -10, -10), boxMax(10, 10, 10);
    int previous = -2;
    for (const double distance : {12.0, 20.0, 40.0, 80.0, 160.0}) {
        lookAtMatrix(vec3(0, 0, distance), vec3(0, 0, 0), vec3(0, 1, 0), view.modelView);
        const int level = fibreDetailLevel(view, boxMin, boxMax);
        EXPECT_GE(level, previous) << distance;
        previous = level;
        if (level < 0) continue;
        // The level's tolerance stays within the pixel budget at the box's nearest face...
        const double pixelsPerUnit = view.projection[5] * 0.5 * 768 / (distance - 10.0);
        EXPECT_LE(kFibreFinestTolerance * std::ldexp(1.0, level) * pixelsPerUnit, kFibrePixelTolerance + 1e-12);
        // ...and the next coarser one would not, unless the levels run out.
        if (level + 1 < kFibreDetailLevels) {
            EXPECT_GT(kFibreFinestTolerance * std::ldexp(1.0, level + 1) * pixelsPerUnit, kFibrePixelTolerance);
        }
    }
    EXPECT_GE(previous, 3);
    // From inside the box, or through a parallel projection, everything is drawn.
    lookAtMatrix(vec3(0, 0, 5), vec3(0, 0, 0), vec3(0, 1, 0), view.modelView);
    EXPECT_EQ(fibreDetailLevel(view, boxMin, boxMax), -1);
    lookAtMatrix(vec3(0, 0, 50), vec3(0, 0, 0), vec3(0, 1, 0), view.modelView);
    orthoMatrix(-20, 20, -15, 15, 0.1, 100, view.projection);
    EXPECT_EQ(fibreDetailLevel(view, boxMin, boxMax), -1);
}

TEST(FibreSimplificationTest, TheFingerprintTellsARebuiltSet) {
    TFibreLine a, b;
    for (int v = 0; v < 5; ++v) a.push_back({vertexSample(v), 0.1 * v});
    b = a;
    const std::uint64_t key = fibreSetFingerprint({a, b});
    EXPECT_EQ(fibreSetFingerprint({a, b}), key);
    TFibreLine moved = b;
    moved[2].first.m_weight[0] = 0.5;  // the middle sample
    EXPECT_NE(fibreSetFingerprint({a, moved}), key);
    TFibreLine revalued = b;
    revalued.back().second = 0.7;
    EXPECT_NE(fibreSetFingerprint({a, revalued}), key);
    EXPECT_NE(fibreSetFingerprint({a, b, a}), key);
    EXPECT_NE(fibreSetFingerprint({a}), key);
}
