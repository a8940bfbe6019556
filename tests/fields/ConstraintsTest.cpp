// Samples, constraint lists, polyline helpers and orientation strokes.
#include <gtest/gtest.h>

#include "common/TestMeshes.h"
#include "common/VecExpect.h"
#include "fields/Constraints.h"
#include "fields/TTensorField.h"
#include "linalg/Diagnostics.h"
#include "mesh/Tetra.h"

namespace {

constexpr double kTol = 1e-12;

std::vector<vec3> straightLine(int points, double length) {
    std::vector<vec3> line;
    for (int i = 0; i < points; ++i) line.emplace_back(0.5 + length * i / (points - 1), 1.0, 1.0);
    return line;
}

}  // namespace

TEST(Barycentric, ReproducesPointsInsideAndOutside) {
    const vec3 p[4] = {{0, 0, 0}, {2, 0, 0}, {0, 3, 0}, {0, 0, 4}};
    for (const vec3& x : {vec3(0.2, 0.3, 0.4), vec3(5, -1, 7), vec3(2, 0, 0)}) {
        double w[4];
        ASSERT_TRUE(computeBarycentric(x, p, w));
        EXPECT_NEAR(w[0] + w[1] + w[2] + w[3], 1.0, kTol);
        expectNear(p[0] * w[0] + p[1] * w[1] + p[2] * w[2] + p[3] * w[3], x, 1e-12);
    }
    double corner[4];
    ASSERT_TRUE(computeBarycentric(p[2], p, corner));
    EXPECT_NEAR(corner[2], 1.0, kTol);
    EXPECT_NEAR(corner[0], 0.0, kTol);
}

TEST(Barycentric, FlatTetrahedronLeavesWeightsUntouched) {
    const vec3 flat[4] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}};
    double w[4] = {7, 7, 7, 7};
    EXPECT_FALSE(computeBarycentric(vec3(0.2, 0.2, 0), flat, w));
    for (double v : w) EXPECT_EQ(v, 7.0);
}

TEST(NearestTetSample, PointOutsideUsesNearestCentroidAndStillReproducesIt) {
    const testmesh::TetData mesh = testmesh::twoTets();
    // Tetrahedron 1's centroid is nearer to this point; it lies outside both tetrahedra.
    const vec3 point(2.0, 2.0, 2.0);
    TTetSample s;
    ASSERT_TRUE(findNearestTetSample(mesh.tets, mesh.verts, point, s));
    for (int k = 0; k < 4; ++k) EXPECT_EQ(s.m_tetVertex[k], mesh.tets[1].vIdx[k]);
    bool outside = false;
    for (double w : s.m_weight) outside = outside || w < 0.0 || w > 1.0;
    EXPECT_TRUE(outside);
    expectNear(s.position(mesh.verts), point, 1e-12);

    TTetSample none;
    EXPECT_FALSE(findNearestTetSample({}, mesh.verts, point, none));
}

TEST(NearestTetSample, EqualDistancesPickTheFirstTetrahedron) {
    testmesh::TetData mesh = testmesh::singleTet();
    mesh.tets.push_back(testmesh::makeTet(0, 1, 3, 2));  // same centroid, listed second
    TTetSample s;
    ASSERT_TRUE(findNearestTetSample(mesh.tets, mesh.verts, vec3(0.1, 0.1, 0.1), s));
    EXPECT_EQ(s.m_tetVertex[2], 2);
}

TEST(ConstraintList, SpacingRuleAndVertexConstraints) {
    const testmesh::TetData mesh = testmesh::cube(2);
    std::vector<TConstraint> list;
    addConstraintAtVertex(list, mesh.verts, 5, 1.0);
    addConstraintAtVertex(list, mesh.verts, 5, 0.0);  // the same vertex clicked again
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].m_target, 1.0);
    EXPECT_EQ(list[0].position(mesh.verts), mesh.verts[5]);  // exactly, not just nearly

    // A point 0.009 away is too close, 0.011 away is a new constraint; exactly at the distance is
    // not "strictly closer".
    TTetSample near;
    ASSERT_TRUE(findNearestTetSample(mesh.tets, mesh.verts, mesh.verts[5] + vec3(0.009, 0, 0), near));
    addConstraintAtPoint(list, mesh.verts, near, 0.5);
    EXPECT_EQ(list.size(), 1u);
    TTetSample apart;
    ASSERT_TRUE(findNearestTetSample(mesh.tets, mesh.verts, mesh.verts[5] + vec3(0, 0.011, 0), apart));
    addConstraintAtPoint(list, mesh.verts, apart, 0.5);
    EXPECT_EQ(list.size(), 2u);
    EXPECT_FALSE(isNearConstraint(list, mesh.verts, mesh.verts[5] + vec3(0, 0, 0.25), 0.25));
    EXPECT_TRUE(isNearConstraint(list, mesh.verts, mesh.verts[5] + vec3(0, 0, 0.25), 0.2500001));

    DiagCapture capture;
    addConstraintAtVertex(list, mesh.verts, 999, 1.0);
    EXPECT_EQ(list.size(), 2u);
    EXPECT_TRUE(capture.contains("999"));
}

TEST(Polyline, SmoothingLengthAndResampling) {
    std::vector<vec3> pts = {{0, 0, 0}, {1, 1, 0}, {2, 0, 0}, {3, 1, 0}};
    smoothPolyline(pts);
    expectNear(pts[0], vec3(0, 0, 0), kTol);
    expectNear(pts[1], vec3(1, 0.5, 0), kTol);  // from the original neighbours, not the updated ones
    expectNear(pts[2], vec3(2, 0.5, 0), kTol);
    expectNear(pts[3], vec3(3, 1, 0), kTol);

    EXPECT_EQ(polylineLength({}), 0.0);
    EXPECT_EQ(polylineLength({vec3(1, 2, 3)}), 0.0);
    EXPECT_NEAR(polylineLength({{0, 0, 0}, {3, 4, 0}, {3, 4, 2}}), 7.0, kTol);

    // An L-shaped polyline of length 2 in 4 segments: points every 0.5 along the arc, the corner
    // among them.
    const std::vector<vec3> corner = {{0, 0, 0}, {0.3, 0, 0}, {1, 0, 0}, {1, 1, 0}};
    std::vector<vec3> out;
    const int got = resamplePolyline(4, corner, out);
    ASSERT_EQ(out.size(), 5u);
    EXPECT_TRUE(got == 5 || got == 0);
    expectNear(out[1], vec3(0.5, 0, 0), 1e-12);
    expectNear(out[2], vec3(1, 0, 0), 1e-12);
    expectNear(out[3], vec3(1, 0.5, 0), 1e-12);
    expectNear(out[4], vec3(1, 1, 0), 1e-12);
}

TEST(Polyline, DegenerateInputsReturnWithoutLooping) {
    std::vector<vec3> out;
    const std::vector<vec3> still(6, vec3(1, 1, 1));
    EXPECT_EQ(resamplePolyline(3, still, out), 0);
    EXPECT_EQ(out.size(), still.size());
    EXPECT_EQ(resamplePolyline(3, {vec3(1, 2, 3)}, out), 0);
    EXPECT_EQ(resamplePolyline(0, {vec3(0, 0, 0), vec3(1, 0, 0)}, out), 0);
}

TEST(OrientationStroke, SegmentCountFollowsLengthWithinThreeToTwenty) {
    const testmesh::TetData mesh = testmesh::cube(4, 3.0);  // [0, 12]^3
    struct Case {
        int points;
        double length;
        size_t samples;
    };
    // Evenly spaced straight points are left in place by the smoothing, so the length is exact.
    for (const Case& c : {Case{5, 1.0, 6}, Case{11, 10.0, 21}, Case{5, 0.1, 4}}) {
        TTensorField field;
        addOrientationStroke(field, straightLine(c.points, c.length), mesh.tets, mesh.verts);
        ASSERT_EQ(field.m_strokes.size(), 1u) << c.length;
        const TOrientationStroke& stroke = field.m_strokes[0];
        ASSERT_EQ(stroke.size(), c.samples) << c.length;
        // Samples reproduce evenly spaced points from start to end.
        for (size_t i = 0; i < stroke.size(); ++i) {
            const double along = c.length * static_cast<double>(i) / static_cast<double>(c.samples - 1);
            expectNear(stroke[i].position(mesh.verts), vec3(0.5 + along, 1.0, 1.0), 1e-9);
        }
    }
}

TEST(OrientationStroke, ShortOrMotionlessStrokesAddNothing) {
    const testmesh::TetData mesh = testmesh::cube(2);
    TTensorField field;
    addOrientationStroke(field, straightLine(4, 1.0), mesh.tets, mesh.verts);
    EXPECT_TRUE(field.m_strokes.empty());
    DiagCapture capture;
    addOrientationStroke(field, std::vector<vec3>(8, vec3(1, 1, 1)), mesh.tets, mesh.verts);
    EXPECT_TRUE(field.m_strokes.empty());
    EXPECT_TRUE(capture.contains("no length"));
}
