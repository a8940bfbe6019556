// Winged-edge construction, structure tests, one-rings and ray picking of the surface mesh.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "linalg/Diagnostics.h"
#include "mesh/TTriangleMesh.h"

namespace {

using Tri = TTriangleMesh::Tri;

TEST(TTriangleMeshTest, SphereIsClosedWithCyclicOneRings) {
    TTriangleMesh sphere;
    DiagCapture diag;
    sphere.createSphere(2.0);
    EXPECT_EQ(diag.text(), "");
    ASSERT_EQ(sphere.isValid(), 1);
    EXPECT_EQ(sphere.vertexCount(), 37);
    EXPECT_EQ(sphere.polyCount(), 70);
    EXPECT_EQ(sphere.edgeCount(), 105);  // Euler: V - E + F = 2
    for (const TWingedEdge& e : sphere.edges()) {
        EXPECT_NE(e.faceL, -1);
        EXPECT_NE(e.faceR, -1);
    }
    EXPECT_EQ(sphere.vertexRings()[0].size(), 7u);
    EXPECT_EQ(sphere.vertexRings()[36].size(), 7u);
    EXPECT_EQ(sphere.vertexRings()[1].size(), 5u);   // ring next to the top pole
    EXPECT_EQ(sphere.vertexRings()[30].size(), 5u);  // ring next to the bottom pole
    EXPECT_EQ(sphere.vertexRings()[15].size(), 6u);
    for (int v = 0; v < sphere.vertexCount(); ++v) {
        EXPECT_FALSE(sphere.isBoundaryVertex(v));
        // Consecutive one-ring vertices are themselves connected (the ring is a closed cycle).
        const std::vector<int>& ring = sphere.vertexRings()[v];
        for (size_t i = 0; i < ring.size(); ++i) {
            const std::vector<int>& next = sphere.vertexRings()[ring[i]];
            EXPECT_NE(std::find(next.begin(), next.end(), ring[(i + 1) % ring.size()]), next.end());
        }
        std::vector<int> polys;
        sphere.getOneRingPolygons(v, polys);
        EXPECT_EQ(polys.size(), ring.size());
    }
    // Outward normals: every vertex normal points away from the centre.
    for (int v = 0; v < sphere.vertexCount(); ++v) EXPECT_GT(sphere.vertexNormals()[v].dot(sphere.verts()[v]), 0.0);
}

TEST(TTriangleMeshTest, SingleTriangleHasBoundaryRings) {
    TTriangleMesh mesh;
    ASSERT_EQ(mesh.initialize({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {Tri{0, 1, 2}}), 1);
    EXPECT_EQ(mesh.edgeCount(), 3);
    for (int v = 0; v < 3; ++v) {
        EXPECT_TRUE(mesh.isBoundaryVertex(v));
        EXPECT_EQ(mesh.vertexRings()[v].size(), 2u);
        std::vector<int> polys;
        mesh.getOneRingPolygons(v, polys);
        EXPECT_EQ(polys, std::vector<int>{0});
    }
    EXPECT_NEAR(mesh.polyNormals()[0].z, 1.0, 1e-12);
}

TEST(TTriangleMeshTest, FanAroundBoundaryVertexListsEveryNeighbourOnce) {
    // Vertex 0 at the centre of an open fan of three triangles.
    TTriangleMesh mesh;
    ASSERT_EQ(mesh.initialize({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {-1, 1, 0}},
                              {Tri{0, 1, 2}, Tri{0, 2, 3}, Tri{0, 3, 4}}),
              1);
    std::vector<int> ring, polys;
    mesh.getOneRingVertices(0, ring);
    EXPECT_EQ(std::set<int>(ring.begin(), ring.end()), (std::set<int>{1, 2, 3, 4}));
    EXPECT_EQ(ring.size(), 4u);
    mesh.getOneRingPolygons(0, polys);
    EXPECT_EQ(std::set<int>(polys.begin(), polys.end()), (std::set<int>{0, 1, 2}));
    EXPECT_EQ(polys.size(), 3u);
    EXPECT_TRUE(mesh.isBoundaryVertex(0));
}

TEST(TTriangleMeshTest, InconsistentOrientationFailsBoundaryTest) {
    TTriangleMesh mesh;
    DiagCapture diag;
    // Both triangles run along 1 -> 2: the second takes the first's face slot.
    EXPECT_EQ(mesh.initialize({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {Tri{0, 1, 2}, Tri{3, 1, 2}}), 0);
    EXPECT_EQ(mesh.isValid(), 0);
    EXPECT_EQ(diag.text(), "this mesh has one or more viertices that connected to more than 2 boundary edges\n");
}

TEST(TTriangleMeshTest, TwoFansTouchingAtAVertexFailBoundaryTest) {
    TTriangleMesh mesh;
    DiagCapture diag;
    EXPECT_EQ(mesh.initialize({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}}, {Tri{0, 1, 2}, Tri{0, 3, 4}}),
              0);
    EXPECT_TRUE(diag.contains("more than 2 boundary edges"));
}

TEST(TTriangleMeshTest, EdgeSharedByThreeTrianglesIsRejected) {
    TTriangleMesh mesh;
    DiagCapture diag;
    EXPECT_EQ(mesh.initialize({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}},
                              {Tri{0, 1, 2}, Tri{1, 0, 3}, Tri{0, 1, 4}}),
              0);
    EXPECT_FALSE(diag.text().empty());
}

TEST(TTriangleMeshTest, DegenerateTriangleDoesNotDisturbNormals) {
    TTriangleMesh mesh;
    ASSERT_EQ(mesh.initialize({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}}, {Tri{0, 1, 2}, Tri{0, 3, 1}}), 1);
    EXPECT_EQ(mesh.polyNormals()[1], vec3());
    EXPECT_NEAR(mesh.vertexNormals()[0].z, 1.0, 1e-12);
    EXPECT_NEAR(mesh.vertexNormals()[1].z, 1.0, 1e-12);
}

TEST(TTriangleMeshTest, VertexNormalsSumTheirCornersInTriangleOrderOnAnyThreadCount) {
    // A bumpy 60 x 60 height field: enough triangles for the threaded normals.
    const int side = 60;
    std::vector<vec3> verts;
    std::vector<Tri> tris;
    for (int j = 0; j < side; ++j)
        for (int i = 0; i < side; ++i) verts.emplace_back(i, j, 0.3 * std::sin(0.7 * i) * std::cos(1.3 * j));
    for (int j = 0; j + 1 < side; ++j)
        for (int i = 0; i + 1 < side; ++i) {
            const int a = j * side + i, b = a + 1, c = a + side, d = c + 1;
            tris.push_back({a, b, d});
            tris.push_back({a, d, c});
        }
    TTriangleMesh mesh;
    ASSERT_EQ(mesh.initialize(verts, tris), 1);
    for (int v = 0; v < mesh.vertexCount(); ++v) mesh.setVertex(v, verts[v] * 1.1 + vec3(0, 0, 0.01 * (v % 7)));

    std::vector<vec3> expected(verts.size());
    for (int i = 0; i < mesh.polyCount(); ++i) {
        const Tri& t = tris[i];
        const vec3 n = (mesh.verts()[t[1]] - mesh.verts()[t[0]]).cross(mesh.verts()[t[2]] - mesh.verts()[t[0]]);
        for (int c : t) expected[c] += n / n.norm();
    }
    for (vec3& n : expected) n /= n.norm();

    const int threads = omp_get_max_threads();
    for (int t : {1, 2, 3}) {
        omp_set_num_threads(t);
        mesh.updateNormals();
        for (int v = 0; v < mesh.vertexCount(); ++v)
            ASSERT_EQ(mesh.vertexNormals()[v], expected[v]) << "vertex " << v << " on " << t << " threads";
    }
    omp_set_num_threads(threads);
}

TEST(TTriangleMeshTest, PickByRayFindsNearestAndHonoursMode) {
    TTriangleMesh sphere;
    sphere.createSphere(1.0);
    int tri = -2;
    vec3 hit;
    ASSERT_TRUE(sphere.pickByRay({0.1, 0.05, 5}, {0, 0, -1}, 0, tri, hit));
    EXPECT_GT(hit.z, 0.5);  // front side, not the back
    EXPECT_GT(sphere.polyNormals()[tri].z, 0.0);
    // mode 2 keeps only triangles facing away from the ray: the back side.
    ASSERT_TRUE(sphere.pickByRay({0.1, 0.05, 5}, {0, 0, -1}, 2, tri, hit));
    EXPECT_LT(hit.z, -0.5);
    // Missing the sphere.
    EXPECT_FALSE(sphere.pickByRay({5, 5, 5}, {0, 0, -1}, 0, tri, hit));
    EXPECT_EQ(tri, -1);
    // Pointing away.
    EXPECT_FALSE(sphere.pickByRay({0, 0, 5}, {0, 0, 1}, 0, tri, hit));
}

TEST(TTriangleMeshTest, RayThroughSharedEdgeHitsEarlierTriangleAndParallelRayMisses) {
    TTriangleMesh mesh;
    ASSERT_EQ(mesh.initialize({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {Tri{0, 1, 2}, Tri{0, 2, 3}}), 1);
    int tri = -2;
    vec3 hit;
    ASSERT_TRUE(mesh.pickByRay({0.5, 0.5, 1}, {0, 0, -1}, 0, tri, hit));
    EXPECT_EQ(tri, 0);
    EXPECT_NEAR(hit.z, 0.0, 1e-12);
    EXPECT_FALSE(mesh.pickByRay({-1, 0.5, 0}, {1, 0, 0}, 0, tri, hit));
}

}  // namespace
