// Boundary loops and fan caps on open triangle meshes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "linalg/Diagnostics.h"
#include "mesh/HoleFilling.h"

namespace {

using Tri = TTriangleMesh::Tri;

/// Unit cube corners, index = x + 2y + 4z.
std::vector<vec3> cubeCorners() {
    std::vector<vec3> p;
    for (int i = 0; i < 8; ++i) p.emplace_back(i & 1, (i >> 1) & 1, (i >> 2) & 1);
    return p;
}

/// Outward cube faces in the order front, right, back, left, bottom, top (two triangles each).
std::vector<Tri> cubeFaces() {
    return {{0, 1, 5}, {0, 5, 4}, {1, 3, 7}, {1, 7, 5}, {2, 6, 7}, {2, 7, 3},
            {0, 4, 6}, {0, 6, 2}, {0, 2, 3}, {0, 3, 1}, {4, 5, 7}, {4, 7, 6}};
}

int boundaryEdgeCount(const TTriangleMesh& m) {
    return static_cast<int>(std::count_if(m.edges().begin(), m.edges().end(),
                                          [](const TWingedEdge& e) { return e.faceL == -1 || e.faceR == -1; }));
}

/// Signed volume enclosed by outward triangles.
double enclosedVolume(const TTriangleMesh& m) {
    double v = 0.0;
    for (const Tri& t : m.polys()) v += m.verts()[t[0]].dot(m.verts()[t[1]].cross(m.verts()[t[2]]));
    return v / 6.0;
}

/// An open cylinder of k sides between z = 0 (vertices 0..k-1) and z = 1 (k..2k-1), facing out.
TTriangleMesh openCylinder(int k) {
    std::vector<vec3> p;
    for (int ring = 0; ring < 2; ++ring)
        for (int i = 0; i < k; ++i) {
            const double a = 2.0 * 3.14159265358979323846 * i / k;
            p.emplace_back(std::cos(a), std::sin(a), ring);
        }
    std::vector<Tri> t;
    for (int i = 0; i < k; ++i) {
        const int j = (i + 1) % k;
        t.push_back({i, j, k + j});
        t.push_back({i, k + j, k + i});
    }
    TTriangleMesh m;
    EXPECT_EQ(m.initialize(p, t), 1);
    return m;
}

TEST(BoundaryLoopTest, LoopRunsAgainstEveryBoundaryTriangle) {
    TTriangleMesh m = openCylinder(12);
    std::vector<int> loop, edges;
    ASSERT_TRUE(getBoundaryLoop(m, 3, loop, edges));
    ASSERT_EQ(loop.size(), 12u);
    ASSERT_EQ(edges.size(), 12u);
    EXPECT_EQ(loop[0], 3);
    for (int v : loop) EXPECT_LT(v, 12);  // stays on the bottom rim
    for (size_t i = 0; i < loop.size(); ++i) {
        const int from = loop[i], to = loop[(i + 1) % loop.size()];
        const TWingedEdge& e = m.edges()[edges[i]];
        EXPECT_TRUE((e.vMin == from && e.vMax == to) || (e.vMin == to && e.vMax == from));
        // faceL runs vMin -> vMax, so the loop must run vMax -> vMin along it, and the reverse for faceR.
        EXPECT_EQ(from, e.faceL != -1 ? e.vMax : e.vMin);
    }
}

TEST(BoundaryLoopTest, InteriorVertexFailsSilentlyAndPinchReportsStrange) {
    std::vector<vec3> p = cubeCorners();
    std::vector<Tri> faces = cubeFaces();
    TTriangleMesh closed;
    ASSERT_EQ(closed.initialize(p, faces), 1);
    std::vector<int> loop, edges;
    {
        DiagCapture diag;
        EXPECT_FALSE(getBoundaryLoop(closed, 0, loop, edges));
        EXPECT_EQ(diag.text(), "");
    }
    // Two triangles touching at vertex 0 only: four boundary edges meet there.
    TTriangleMesh bowtie;
    {
        DiagCapture diag;
        bowtie.initialize({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {-1, 0, 0}, {-1, -1, 0}}, {{0, 1, 2}, {0, 3, 4}});
    }
    for (int start : {0, 1}) {
        DiagCapture diag;
        EXPECT_FALSE(getBoundaryLoop(bowtie, start, loop, edges)) << start;
        EXPECT_EQ(diag.text(), "strange ! 789asfd21\n") << start;
        EXPECT_TRUE(loop.empty());
        EXPECT_TRUE(edges.empty());
    }
}

TEST(FillHoleTest, SquareHoleGetsTwoTrianglesSharingTheApexAndCloses) {
    std::vector<Tri> faces = cubeFaces();
    faces.resize(10);  // without the top
    TTriangleMesh m;
    ASSERT_EQ(m.initialize(cubeCorners(), faces), 1);
    ASSERT_EQ(boundaryEdgeCount(m), 4);
    ASSERT_TRUE(fillHole(m, 6));
    EXPECT_EQ(m.isValid(), 1);
    ASSERT_EQ(m.polyCount(), 12);
    EXPECT_EQ(boundaryEdgeCount(m), 0);
    const Tri a = m.polys()[10], b = m.polys()[11];
    EXPECT_EQ(a[0], b[0]);  // the shared apex
    EXPECT_NEAR(m.polyNormals()[10].z, 1.0, 1e-12);
    EXPECT_NEAR(m.polyNormals()[11].z, 1.0, 1e-12);
    EXPECT_NEAR(enclosedVolume(m), 1.0, 1e-12);
}

TEST(FillHoleTest, TubeGetsTwoFansOfKMinusTwo) {
    const int k = 12;
    TTriangleMesh m = openCylinder(k);
    const int before = m.polyCount();
    ASSERT_TRUE(fillHole(m, 0));
    EXPECT_EQ(m.polyCount(), before + k - 2);
    ASSERT_TRUE(fillHole(m, k + 5));
    EXPECT_EQ(m.polyCount(), before + 2 * (k - 2));
    EXPECT_EQ(m.vertexCount(), 2 * k);  // no vertex added
    EXPECT_EQ(m.isValid(), 1);
    EXPECT_EQ(boundaryEdgeCount(m), 0);
    const double polygonArea = 0.5 * k * std::sin(2.0 * 3.14159265358979323846 / k);
    EXPECT_NEAR(enclosedVolume(m), polygonArea, 1e-12);
}

TEST(FillHoleTest, CapOrientationDoesNotDependOnADegenerateNeighbour) {
    // An open square pyramid, flattened, whose apex 4 sits on the rim edge 0-1: triangle (4, 0, 1)
    // has no normal and is the first rim triangle met at vertex 0, yet the cap must match it.
    const std::vector<vec3> p = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}, {1, 0, 0}};
    TTriangleMesh m;
    ASSERT_EQ(m.initialize(p, {{4, 3, 0}, {4, 2, 3}, {4, 1, 2}, {4, 0, 1}}), 1);
    ASSERT_EQ(m.polyNormals()[3].norm(), 0.0);
    std::vector<int> loop, edges;
    ASSERT_TRUE(getBoundaryLoop(m, 0, loop, edges));
    EXPECT_EQ(loop, (std::vector<int>{0, 3, 2, 1}));
    DiagCapture diag;
    ASSERT_TRUE(fillHole(m, 0));
    EXPECT_EQ(m.isValid(), 1) << diag.text();
    EXPECT_EQ(boundaryEdgeCount(m), 0);
}

TEST(FillHoleTest, SingleTriangleCapFailsTheWingEdgeTest) {
    TTriangleMesh m;
    ASSERT_EQ(m.initialize({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}}), 1);
    DiagCapture diag;
    EXPECT_TRUE(fillHole(m, 0));
    EXPECT_EQ(m.polyCount(), 2);
    EXPECT_EQ(m.isValid(), 0);
    EXPECT_TRUE(diag.contains("wrong #52 "));
    diag.clear();
    EXPECT_FALSE(m.checkStructure());
    EXPECT_EQ(diag.text().rfind("wrong #52 ", 0), 0u);
}

TEST(FillHoleTest, NoLoopLeavesTheMeshAlone) {
    TTriangleMesh m;
    ASSERT_EQ(m.initialize(cubeCorners(), cubeFaces()), 1);
    EXPECT_FALSE(fillHole(m, 2));
    EXPECT_FALSE(fillHole(m, -1));
    EXPECT_FALSE(fillHole(m, 8));
    EXPECT_EQ(m.polyCount(), 12);
    EXPECT_EQ(m.isValid(), 1);
}

}  // namespace
