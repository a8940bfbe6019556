// The GL-free parts of the field views and markers: prism, cone and sphere geometry, stroke
// segments and their rotations, constraint markers, the peel filter, fibre-line vertices, the
// wireframe's edges, label and contraction colours.
#include <gtest/gtest.h>

#include <cmath>

#include "mesh/ScreenProjection.h"
#include "render/FieldViews.h"
#include "render/MarkerPrimitives.h"

namespace {

constexpr double kTol = 1e-9;

TTetSample vertexSample(int v) {
    TTetSample s;
    for (int k = 0; k < 4; ++k) s.m_tetVertex[k] = v;
    s.m_weight[0] = 1.0;
    return s;
}

TTetSample edgeSample(int a, int b, double t) {
    TTetSample s;
    s.m_tetVertex[0] = s.m_tetVertex[2] = a;
    s.m_tetVertex[1] = s.m_tetVertex[3] = b;
    s.m_weight[0] = 1.0 - t;
    s.m_weight[1] = t;
    return s;
}

/// v turned by angle degrees about axis (Rodrigues), as glRotate turns it.
vec3 rotate(const vec3& v, const AxisAngle& r) {
    const vec3 k = r.axis / r.axis.norm();
    const double a = r.degrees * M_PI / 180.0;
    return v * std::cos(a) + k.cross(v) * std::sin(a) + k * (k.dot(v) * (1.0 - std::cos(a)));
}

vec3 windingNormal(const vec3& a, const vec3& b, const vec3& c) { return (b - a).cross(c - a); }

}  // namespace

TEST(MarkerGeometryTest, PrismAndConeAreClosedSixSidedSolidsAlongY) {
    const double h = 2.0, r = 0.25;
    const std::vector<PrimitiveBatch> prism = prismGeometry(h, r);
    ASSERT_EQ(prism.size(), 3u);
    EXPECT_EQ(prism[0].kind, PrimitiveKind::TriangleFan);
    EXPECT_EQ(prism[1].kind, PrimitiveKind::QuadStrip);
    EXPECT_EQ(prism[2].kind, PrimitiveKind::TriangleFan);
    ASSERT_EQ(prism[0].positions.size(), 6u);
    ASSERT_EQ(prism[1].positions.size(), 14u);  // angles 0 .. -360 degrees, bottom and top each
    ASSERT_EQ(prism[2].positions.size(), 6u);
    for (const vec3& p : prism[0].positions) EXPECT_NEAR(p.y, h, kTol);
    for (const vec3& p : prism[2].positions) EXPECT_NEAR(p.y, 0.0, kTol);
    for (size_t i = 0; i < prism[1].positions.size(); ++i) {
        const vec3& p = prism[1].positions[i];
        EXPECT_NEAR(std::hypot(p.x, p.z), r, kTol);
        EXPECT_NEAR(p.y, i % 2 ? h : 0.0, kTol);
        EXPECT_GT(prism[1].normals[i].dot(vec3(p.x, 0, p.z)), 0.0);  // side normals point outwards
    }
    EXPECT_NEAR((prism[1].positions[0] - prism[1].positions[12]).norm(), 0.0, kTol);  // the strip closes
    // Caps wind counter-clockwise seen from outside: top faces +y, bottom -y.
    EXPECT_GT(windingNormal(prism[0].positions[0], prism[0].positions[1], prism[0].positions[2]).y, 0.0);
    EXPECT_LT(windingNormal(prism[2].positions[0], prism[2].positions[1], prism[2].positions[2]).y, 0.0);
    // The side strip's first quad faces outwards too.
    const vec3 side = windingNormal(prism[1].positions[0], prism[1].positions[1], prism[1].positions[2]);
    EXPECT_GT(side.dot(prism[1].normals[0] + prism[1].normals[2]), 0.0);

    const std::vector<PrimitiveBatch> cone = coneGeometry(h, 0.75);
    ASSERT_EQ(cone.size(), 2u);
    ASSERT_EQ(cone[0].positions.size(), 8u);  // apex and seven rim points
    EXPECT_EQ(cone[0].positions[0], vec3(0, h, 0));
    EXPECT_NEAR((cone[0].positions[1] - cone[0].positions[7]).norm(), 0.0, kTol);
    for (size_t i = 1; i < 8; ++i) EXPECT_NEAR(std::hypot(cone[0].positions[i].x, cone[0].positions[i].z), 0.75, kTol);
    const vec3 mantle = windingNormal(cone[0].positions[0], cone[0].positions[1], cone[0].positions[2]);
    EXPECT_GT(mantle.dot(cone[0].positions[1] + cone[0].positions[2]), 0.0);
    EXPECT_EQ(cone[1].positions.size(), 6u);
}

TEST(MarkerGeometryTest, TheMarkerSphereIsAClosedUnitSphereOfSeventyTriangles) {
    const SphereTriangles& s = unitSphereTriangles();
    ASSERT_EQ(s.positions.size(), 210u);
    ASSERT_EQ(s.normals.size(), 210u);
    for (size_t i = 0; i < s.positions.size(); ++i) {
        EXPECT_NEAR(s.positions[i].norm(), 1.0, 1e-12);
        EXPECT_NEAR(s.normals[i].norm(), 1.0, 1e-12);
    }
    for (size_t t = 0; t < 70; ++t) {
        const vec3& a = s.positions[3 * t];
        const vec3 n = windingNormal(a, s.positions[3 * t + 1], s.positions[3 * t + 2]);
        EXPECT_GT(n.dot(a), 0.0) << "triangle " << t << " faces inwards";
    }
}

TEST(StrokeSegmentTest, OneSampleDrawsNothingAndTwoSamplesOnlyTheCone) {
    EXPECT_TRUE(strokeSegments({}).empty());
    EXPECT_TRUE(strokeSegments({vec3(1, 2, 3)}).empty());

    const std::vector<StrokeSegment> two = strokeSegments({vec3(0, 0, 0), vec3(0, 0, 2)});
    ASSERT_EQ(two.size(), 1u);
    EXPECT_TRUE(two[0].arrowHead);
    EXPECT_NEAR(two[0].length, 2.0, kTol);
    EXPECT_EQ(two[0].direction, vec3(0, 0, 1));

    const std::vector<StrokeSegment> three =
        strokeSegments({vec3(0, 0, 0), vec3(3, 4, 0), vec3(3, 4, 0), vec3(3, 4, 1)});
    ASSERT_EQ(three.size(), 2u);  // the repeated point gives no segment
    EXPECT_FALSE(three[0].arrowHead);
    EXPECT_TRUE(three[1].arrowHead);
    EXPECT_NEAR(three[0].length, 5.0, kTol);
    EXPECT_EQ(three[1].start, vec3(3, 4, 0));
}

TEST(StrokeSegmentTest, TheRotationTurnsTheModelAxisOntoTheSegment) {
    const vec3 directions[] = {vec3(1, 0, 0),           vec3(0, 0, -1), vec3(0.6, 0.8, 0),
                               vec3(-0.48, -0.6, 0.64), vec3(0, 1, 0),  vec3(0, -1, 0)};
    for (const vec3& d : directions) {
        const AxisAngle r = rotationFromYTo(d);
        EXPECT_NEAR((rotate(vec3(0, 1, 0), r) - d).norm(), 0.0, 1e-9) << d.x << " " << d.y << " " << d.z;
    }
    // The axis is (dz, 0, -dx) and the angle acos(dy) in degrees.
    const AxisAngle r = rotationFromYTo(vec3(0.6, 0.8, 0));
    EXPECT_EQ(r.axis, vec3(0, 0, -0.6));
    EXPECT_NEAR(r.degrees, std::acos(0.8) * 180.0 / M_PI, 1e-9);
}

TEST(StrokeLineTest, AClosedStrokeReturnsToItsFirstPoint) {
    Tstroke3D stroke;
    stroke.m_isClosed = true;
    EXPECT_TRUE(strokeLinePoints(stroke).empty());
    stroke.m_points = {vec3(0, 0, 0), vec3(1, 0, 0), vec3(1, 1, 0)};
    EXPECT_EQ(strokeLinePoints(stroke).size(), 4u);
    EXPECT_EQ(strokeLinePoints(stroke).back(), vec3(0, 0, 0));
    stroke.m_isClosed = false;
    EXPECT_EQ(strokeLinePoints(stroke).size(), 3u);
}

TEST(ConstraintMarkerTest, MarkersArePlacedAndColouredByTheirTargetInTheFieldRange) {
    const std::vector<vec3> positions = {vec3(0, 0, 0), vec3(2, 0, 0), vec3(0, 4, 0)};
    TSmoothField amplitude;
    amplitude.m_minValue = -1.0;
    amplitude.m_maxValue = 1.0;
    TConstraint c;
    static_cast<TTetSample&>(c) = edgeSample(0, 1, 0.25);
    c.m_target = 1.0;
    amplitude.m_constraints.push_back(c);
    static_cast<TTetSample&>(c) = vertexSample(2);
    c.m_target = -1.0;
    amplitude.m_constraints.push_back(c);
    c.m_target = 0.0;
    amplitude.m_constraints.push_back(c);
    static_cast<TTetSample&>(c) = vertexSample(7);  // past the vertices: not drawn
    amplitude.m_constraints.push_back(c);

    const std::vector<ConstraintMarker> all = constraintMarkers(amplitude, positions, false, 0.0);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_NEAR((all[0].position - vec3(0.5, 0, 0)).norm(), 0.0, kTol);
    EXPECT_DOUBLE_EQ(all[0].texCoord, 1.0);
    EXPECT_DOUBLE_EQ(all[1].texCoord, 0.0);
    EXPECT_DOUBLE_EQ(all[2].texCoord, 0.5);

    const std::vector<ConstraintMarker> only = constraintMarkers(amplitude, positions, true, -1.0);
    ASSERT_EQ(only.size(), 1u);
    EXPECT_EQ(only[0].position, vec3(0, 4, 0));

    TSmoothField flat = amplitude;
    flat.m_minValue = flat.m_maxValue = 0.5;  // no range: no division by zero
    for (const ConstraintMarker& m : constraintMarkers(flat, positions, false, 0.0)) EXPECT_EQ(m.texCoord, 0.0);
}

TEST(PeelFilterTest, StrokesShowOnlyNearThePeelDepth) {
    const std::vector<double> depth = {0.4, 0.5, 0.9};
    const TOrientationStroke stroke = {edgeSample(0, 1, 0.5), vertexSample(2)};  // first sample at 0.45
    EXPECT_TRUE(strokePassesPeelFilter(stroke, depth, true, 0.5));
    EXPECT_FALSE(strokePassesPeelFilter(stroke, depth, true, 0.6));
    EXPECT_TRUE(strokePassesPeelFilter(stroke, depth, true, 0.36));
    EXPECT_TRUE(strokePassesPeelFilter(stroke, depth, false, 0.6));
    EXPECT_FALSE(strokePassesPeelFilter({}, depth, true, 0.5));
    EXPECT_FALSE(strokePassesPeelFilter({vertexSample(5)}, depth, true, 0.5));
}

TEST(FibreLineTest, SamplesArePlacedAtTheirWeightedVerticesWithTheirStoredValues) {
    const std::vector<vec3> positions = {vec3(0, 0, 0), vec3(4, 0, 0), vec3(0, 2, 0)};
    const TFibreLine line = {
        {vertexSample(0), 0.1}, {edgeSample(0, 1, 0.25), 0.2}, {vertexSample(9), 0.3}, {edgeSample(1, 2, 0.5), 0.4}};
    std::vector<vec3> points = {vec3(9, 9, 9)};
    std::vector<double> coords;
    fibreLineVertices(line, positions, points, coords);
    ASSERT_EQ(points.size(), 3u);
    EXPECT_EQ(points[1], vec3(1, 0, 0));
    EXPECT_EQ(points[2], vec3(2, 1, 0));
    EXPECT_EQ(coords, (std::vector<double>{0.1, 0.2, 0.4}));
}

TEST(WireframeTest, OnlyTrianglesWithAnUncutCornerHaveEdges) {
    TTriangleMesh mesh;
    ASSERT_EQ(mesh.initialize({vec3(0, 0, 0), vec3(1, 0, 0), vec3(0, 1, 0), vec3(1, 1, 0)}, {{0, 1, 2}, {1, 3, 2}}), 1);
    const SurfaceVertexSource cut{true, 0, 1, 0.5}, kept{false, 0, -1, 0.0};
    EXPECT_TRUE(wireframeEdges(mesh, {cut, cut, cut, cut}).empty());

    const std::vector<std::pair<int, int>> edges = wireframeEdges(mesh, {cut, cut, cut, kept});
    ASSERT_EQ(edges.size(), 3u);  // only triangle 1 has an uncut corner (vertex 3)
    EXPECT_EQ(edges[0], std::make_pair(1, 3));
    EXPECT_EQ(edges[1], std::make_pair(3, 2));
    EXPECT_EQ(edges[2], std::make_pair(2, 1));
    EXPECT_EQ(wireframeEdges(mesh, {kept, kept, kept, kept}).size(), 6u);
    EXPECT_TRUE(wireframeEdges(mesh, {}).empty());  // no source records: nothing to stand on

    const float white[4] = {1, 1, 1, 1}, teal[4] = {0, 0.7f, 0.7f, 1};
    EXPECT_DOUBLE_EQ(wireframeGrey(white), 0.9);
    EXPECT_DOUBLE_EQ(wireframeGrey(teal), 0.7);

    double mv[16];
    lookAtMatrix(vec3(1, 2, 10), vec3(1, 2, 0), vec3(0, 1, 0), mv);
    EXPECT_NEAR((viewBackDirection(mv) - vec3(0, 0, 1)).norm(), 0.0, 1e-12);
    lookAtMatrix(vec3(3, 0, 0), vec3(0, 0, 0), vec3(0, 1, 0), mv);
    EXPECT_NEAR((viewBackDirection(mv) - vec3(1, 0, 0)).norm(), 0.0, 1e-12);
}

TEST(VertexColourTest, LabelsAndContractionHaveTheirColours) {
    EXPECT_DOUBLE_EQ(vertexLabelStyle(0).radius, 0.1);
    EXPECT_EQ(vertexLabelStyle(0).colour, (Rgba{0.3f, 0.3f, 0.3f, 0.5f}));
    EXPECT_DOUBLE_EQ(vertexLabelStyle(1).radius, 0.3);
    EXPECT_EQ(vertexLabelStyle(1).colour, (Rgba{0.8f, 0.2f, 0.0f, 0.5f}));
    EXPECT_EQ(vertexLabelStyle(2).colour, (Rgba{0.2f, 0.8f, 0.0f, 0.5f}));
    EXPECT_EQ(vertexLabelStyle(-3).colour, vertexLabelStyle(2).colour);

    EXPECT_EQ(contractionColour(1.0), vec3(0, 0, 0));
    EXPECT_NEAR((contractionColour(0.8) - vec3(0.4, 0.4, 0)).norm(), 0.0, 1e-12);
    EXPECT_EQ(contractionColour(0.2), vec3(1, 1, 0));  // clamped
    EXPECT_NEAR((contractionColour(1.25) - vec3(0, 0, 0.5)).norm(), 0.0, 1e-12);
    EXPECT_EQ(contractionColour(3.0), vec3(0, 0, 1));
}
