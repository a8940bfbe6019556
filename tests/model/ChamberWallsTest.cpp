// Chamber painting, reset and the closed chamber walls built from the painted regions.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "GeometryTestSupport.h"
#include "linalg/Diagnostics.h"
#include "model/ChamberWalls.h"
#include "model/ModelGeometry.h"

namespace {

using geomtest::setUpModel;

std::vector<TTriIndices> surfaceInTetIndices(const TLSMModel& model, const std::vector<int>& triangles) {
    std::vector<TTriIndices> out;
    for (int i : triangles) {
        const TTriangleMesh::Tri& t = model.m_surface.polys()[i];
        out.push_back(
            {model.m_surfVtxSource[t[0]].vertA, model.m_surfVtxSource[t[1]].vertA, model.m_surfVtxSource[t[2]].vertA});
    }
    return out;
}

std::vector<int> allTriangles(const TLSMModel& model) {
    std::vector<int> all(model.m_surface.polyCount());
    for (int i = 0; i < model.m_surface.polyCount(); ++i) all[i] = i;
    return all;
}

TEST(ChamberWallsTest, ClosedRegionIsStoredUnchanged) {
    TLSMModel model;
    setUpModel(model, testmesh::cube(2));
    for (auto& id : model.m_polygonIDs) id = 1;
    DiagCapture diag;
    ASSERT_TRUE(buildChamberWalls(model, 1));
    EXPECT_EQ(diag.text(), "");
    EXPECT_EQ(model.m_trisVR, surfaceInTetIndices(model, allTriangles(model)));
    // The outward-facing cube reads as a negative volume.
    EXPECT_NEAR(model.computeChamberVolumes()[0], -8.0, 1e-12);
}

TEST(ChamberWallsTest, TubeRegionIsClosedWithTwoFans) {
    TLSMModel model;
    setUpModel(model, testmesh::tube());
    // The inner cylinder: surface triangles whose corners all lie on the innermost radial layer.
    int painted = 0;
    for (int i = 0; i < model.m_surface.polyCount(); ++i) {
        bool inner = true;
        for (int c : model.m_surface.polys()[i]) inner = inner && (model.m_surfVtxSource[c].vertA / 30) % 4 == 0;
        if (inner) {
            model.m_polygonIDs[i] = 2;
            ++painted;
        }
    }
    ASSERT_EQ(painted, 9 * 30 * 2);
    ASSERT_TRUE(buildChamberWalls(model, 2));
    EXPECT_EQ(model.m_trisVL.size(), static_cast<size_t>(painted + 2 * (30 - 2)));

    // The wall is one closed, consistently oriented surface...
    std::vector<TTriangleMesh::Tri> tris(model.m_trisVL.begin(), model.m_trisVL.end());
    TTriangleMesh wall;
    ASSERT_EQ(wall.initialize(model.m_verts, tris), 1);
    EXPECT_EQ(geomtest::boundaryEdgeCount(wall), 0);
    // ...facing into the cavity, whose volume is the 30-sided prism of radius 3 and height 13.5.
    const double prism = 0.5 * 30 * 9 * std::sin(2 * 3.14159265358979323846 / 30) * 13.5;
    EXPECT_NEAR(model.computeChamberVolumes()[1], prism, 1e-9);
}

TEST(ChamberWallsTest, UnclosableRegionsKeepThePreviousWalls) {
    TLSMModel model;
    setUpModel(model, testmesh::cube(2));
    const std::vector<TTriIndices> previous = {{0, 1, 2}, {3, 4, 5}};

    // A single painted triangle: its cap doubles it, which the wing-edge test rejects.
    model.m_trisVL = previous;
    model.m_polygonIDs[0] = 2;
    {
        DiagCapture diag;
        EXPECT_FALSE(buildChamberWalls(model, 2));
        EXPECT_TRUE(diag.contains("wrong #52 "));
    }
    EXPECT_EQ(model.m_trisVL, previous);

    // Two triangles touching at one vertex: the boundary is no simple loop.
    int a = -1, b = -1;
    for (int i = 0; i < model.m_surface.polyCount() && a < 0; ++i)
        for (int j = i + 1; j < model.m_surface.polyCount(); ++j) {
            int shared = 0;
            for (int x : model.m_surface.polys()[i])
                for (int y : model.m_surface.polys()[j]) shared += x == y;
            if (shared == 1) {
                a = i;
                b = j;
                break;
            }
        }
    ASSERT_GE(a, 0);
    model.m_trisVR = previous;
    model.m_polygonIDs[a] = model.m_polygonIDs[b] = 1;
    {
        DiagCapture diag;
        EXPECT_FALSE(buildChamberWalls(model, 1));
        EXPECT_TRUE(diag.contains("strange ! 789asfd21\n"));
    }
    EXPECT_EQ(model.m_trisVR, previous);
}

TEST(ChamberWallsTest, EmptyChamberAndAllChambersAtOnce) {
    TLSMModel model;
    setUpModel(model, testmesh::cube(1));
    model.m_trisAR = {{0, 1, 2}};
    EXPECT_TRUE(buildChamberWalls(model, 3));
    EXPECT_TRUE(model.m_trisAR.empty());

    for (auto& id : model.m_polygonIDs) id = 4;
    model.m_trisVR = model.m_trisVL = model.m_trisAR = {{0, 1, 2}};
    EXPECT_TRUE(buildChamberWalls(model, 0));
    EXPECT_TRUE(model.m_trisVR.empty());
    EXPECT_TRUE(model.m_trisVL.empty());
    EXPECT_TRUE(model.m_trisAR.empty());
    EXPECT_EQ(model.m_trisAL.size(), 12u);

    DiagCapture diag;
    EXPECT_FALSE(buildChamberWalls(model, 5));
    EXPECT_EQ(diag.text(), "buildChamberWalls: chamber id 5 out of range 0..4\n");
    EXPECT_EQ(model.m_trisAL.size(), 12u);
}

TEST(PaintChamberTest, PaintsTheFanAroundTheNearestCornerOfTheInnerWall) {
    TLSMModel model;
    setUpModel(model, testmesh::cube(2));
    // Looking down through the top: only the bottom face faces away from the viewer.
    ASSERT_TRUE(paintChamber(model, {1.2, 0.7, 5.0}, {0, 0, -1}, 2));
    std::vector<int> painted;
    for (int i = 0; i < model.m_surface.polyCount(); ++i)
        if (model.m_polygonIDs[i] == 2) painted.push_back(i);
    ASSERT_EQ(painted.size(), 6u);  // the fan of the bottom face's middle vertex
    for (int t : painted) {
        EXPECT_NEAR(model.m_surface.polyNormals()[t].z, -1.0, 1e-12);
        bool hasCentre = false;
        for (int c : model.m_surface.polys()[t]) hasCentre = hasCentre || model.m_surface.verts()[c] == vec3(1, 1, 0);
        EXPECT_TRUE(hasCentre);
    }
    EXPECT_FALSE(paintChamber(model, {10, 10, 5}, {0, 0, -1}, 2));
    DiagCapture diag;
    EXPECT_FALSE(paintChamber(model, {1.2, 0.7, 5.0}, {0, 0, -1}, 7));
    EXPECT_TRUE(diag.contains("out of range"));
}

TEST(PaintChamberTest, IdsThatDoNotFitTheSurfaceAreRestoredBeforePainting) {
    TLSMModel model;
    setUpModel(model, testmesh::cube(2));
    const int full = model.m_surface.polyCount();

    // Lost ids: the list is rebuilt to one per triangle instead of being written past its end.
    model.m_polygonIDs.clear();
    ASSERT_TRUE(paintChamber(model, {1.2, 0.7, 5.0}, {0, 0, -1}, 1));
    EXPECT_EQ(static_cast<int>(model.m_polygonIDs.size()), full);

    // A cut surface: the ids belong to the full surface, which comes back before painting.
    std::vector<double> x(model.vertexCount());
    for (int v = 0; v < model.vertexCount(); ++v) x[v] = model.m_verts[v].x;
    ASSERT_TRUE(clipSurface(model, 1.5, x));
    ASSERT_TRUE(paintChamber(model, {0.3, 0.7, 5.0}, {0, 0, -1}, 3));
    EXPECT_EQ(model.m_surface.polyCount(), full);
    for (const SurfaceVertexSource& s : model.m_surfVtxSource) EXPECT_FALSE(s.isBlend);
    EXPECT_EQ(static_cast<int>(model.m_polygonIDs.size()), full);
}

TEST(PaintChamberTest, ResetClearsIdsWallsAndCut) {
    TLSMModel model;
    setUpModel(model, testmesh::cube(2));
    for (auto& id : model.m_polygonIDs) id = 1;
    ASSERT_TRUE(buildChamberWalls(model, 1));
    std::vector<double> x(model.vertexCount());
    for (int v = 0; v < model.vertexCount(); ++v) x[v] = model.m_verts[v].x;
    ASSERT_TRUE(clipSurface(model, 1.5, x));
    resetChambers(model);
    EXPECT_EQ(static_cast<int>(model.m_polygonIDs.size()), model.m_surface.polyCount());
    EXPECT_EQ(model.m_surface.polyCount(), 2 * 4 * 6);
    for (auto id : model.m_polygonIDs) EXPECT_EQ(id, 0);
    EXPECT_TRUE(model.m_trisVR.empty());
    EXPECT_EQ(model.computeChamberVolumes(), (std::array<double, 4>{0, 0, 0, 0}));
}

}  // namespace
