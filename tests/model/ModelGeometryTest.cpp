// Clipping, cutting, peeling, region growing, labelling, picking, grabbing, amplitude painting and
// model transforms.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "GeometryTestSupport.h"
#include "linalg/Diagnostics.h"
#include "model/ModelGeometry.h"

namespace {

using geomtest::enclosedVolume;
using geomtest::setUpModel;

constexpr double kVolumeTol = 1e-9;

std::vector<double> linearField(const TLSMModel& model, const vec3& direction) {
    std::vector<double> f(model.vertexCount());
    for (int v = 0; v < model.vertexCount(); ++v) f[v] = model.m_verts[v].dot(direction);
    return f;
}

std::vector<double> negated(std::vector<double> f) {
    for (double& x : f) x = -x;
    return f;
}

/// A clip result must be a closed, consistently oriented surface whose vertices sit where their
/// sources say.
void expectSoundClip(const TLSMModel& model, const std::string& diag) {
    EXPECT_EQ(model.m_surface.isValid(), 1) << diag;
    EXPECT_EQ(diag.find("strange"), std::string::npos) << diag;
    EXPECT_EQ(geomtest::boundaryEdgeCount(model.m_surface), 0);
    ASSERT_EQ(static_cast<int>(model.m_surfVtxSource.size()), model.m_surface.vertexCount());
    ASSERT_EQ(static_cast<int>(model.m_surfVtxTag.size()), model.m_surface.vertexCount());
    for (int i = 0; i < model.m_surface.vertexCount(); ++i) {
        const SurfaceVertexSource& s = model.m_surfVtxSource[i];
        const vec3 expected =
            s.isBlend ? model.m_verts[s.vertA] * (1 - s.t) + model.m_verts[s.vertB] * s.t : model.m_verts[s.vertA];
        EXPECT_LT((model.m_surface.verts()[i] - expected).norm(), 1e-12);
    }
}

TEST(ClipCaseTableTest, RowsAreEvenPermutationsLedByTheRightCorners) {
    for (int mask = 1; mask < 16; ++mask) {
        const int* row = kClipCases[mask];
        int inversions = 0;
        for (int a = 0; a < 4; ++a)
            for (int b = a + 1; b < 4; ++b) inversions += row[a] > row[b];
        EXPECT_EQ(inversions % 2, 0) << mask;
        std::set<int> corners(row, row + 4);
        EXPECT_EQ(corners, (std::set<int>{0, 1, 2, 3})) << mask;
        auto inside = [mask](int corner) { return (mask >> corner) & 1; };
        const int count = inside(0) + inside(1) + inside(2) + inside(3);
        const bool leadingOk = count == 1   ? inside(row[0])
                               : count == 3 ? !inside(row[0])
                               : count == 2 ? inside(row[0]) && inside(row[1])
                                            : true;
        EXPECT_TRUE(leadingOk) << mask;
    }
}

TEST(ClipSurfaceTest, EveryMaskOfOneTetGivesTheClippedVolume) {
    const double tetVol = 1.0 / 6.0;
    for (int mask = 1; mask < 16; ++mask) {
        TLSMModel model;
        setUpModel(model, testmesh::singleTet());
        // Inside corners well below the level, outside ones above it, all different.
        std::vector<double> f(4);
        for (int k = 0; k < 4; ++k) f[k] = ((mask >> k) & 1) ? -0.3 - 0.2 * k : 0.5 + 0.25 * k;
        DiagCapture diag;
        ASSERT_TRUE(clipSurface(model, 0.0, f)) << mask;
        expectSoundClip(model, diag.text());
        const double inside = enclosedVolume(model.m_surface);
        ASSERT_TRUE(clipSurface(model, 0.0, negated(f)));
        expectSoundClip(model, diag.text());
        EXPECT_NEAR(inside + enclosedVolume(model.m_surface), tetVol, kVolumeTol) << mask;
        EXPECT_GT(inside, 0.0) << mask;
        if (mask == 1) {  // corner 0 alone: the corner tetrahedron scaled by the three edge fractions
            const double t1 = 0.3 / 1.05, t2 = 0.3 / 1.3, t3 = 0.3 / 1.55;
            EXPECT_NEAR(inside, tetVol * t1 * t2 * t3, kVolumeTol);
        }
    }
}

TEST(ClipSurfaceTest, ValuesEqualToTheLevelAreOutside) {
    TLSMModel model;
    setUpModel(model, testmesh::singleTet());
    DiagCapture diag;
    clipSurface(model, 0.5, {0.5, 0.5, 0.5, 0.5});
    EXPECT_EQ(model.m_surface.polyCount(), 0);
    EXPECT_EQ(model.m_surface.vertexCount(), 0);
    EXPECT_TRUE(model.m_surfVtxSource.empty());
}

TEST(ClipSurfaceTest, NeighboursShareTheCutVertexOfTheirCommonEdge) {
    TLSMModel model;
    setUpModel(model, testmesh::twoTets());
    DiagCapture diag;
    ASSERT_TRUE(clipSurface(model, 0.5, linearField(model, {1, 0, 0})));
    expectSoundClip(model, diag.text());
    // Kept corners 0, 2, 3 and the cuts on edges {0,1}, {1,2}, {1,3}, {2,4}, {3,4}: the two
    // shared edges {1,2} and {1,3} give one vertex each.
    EXPECT_EQ(model.m_surface.vertexCount(), 8);
    int onEdge12 = 0;
    for (const SurfaceVertexSource& s : model.m_surfVtxSource)
        if (s.isBlend && std::min(s.vertA, s.vertB) == 1 && std::max(s.vertA, s.vertB) == 2) ++onEdge12;
    EXPECT_EQ(onEdge12, 1);
    // Cut vertices follow the deforming volume.
    model.m_verts[1] += vec3(1, 0, 0);
    model.updateSurfacePositions();
    expectSoundClip(model, diag.text());
}

TEST(ClipSurfaceTest, BadValuesLeaveTheSurfaceAlone) {
    TLSMModel model;
    setUpModel(model, testmesh::cube(1));
    const int before = model.m_surface.polyCount();
    DiagCapture diag;
    EXPECT_FALSE(clipSurface(model, 0.5, {0.0, 1.0}));
    EXPECT_TRUE(diag.contains("clipSurface: 2 values for 8 vertices"));
    std::vector<double> f(8, 0.0);
    f[3] = std::nan("");
    EXPECT_FALSE(clipSurface(model, 0.5, f));
    EXPECT_TRUE(diag.contains("not a finite number"));
    EXPECT_EQ(model.m_surface.polyCount(), before);
}

/// Planar cuts through a closed shell the size of the bundled models, including levels that pass
/// exactly through rows of vertices: every result is a sound closed surface, and the two sides of
/// each cut add up to the whole shell.
TEST(ClipSurfaceTest, PlanarCutsThroughAThickShellStayManifold) {
    const testmesh::TetData shell = geomtest::thickShell(20, 2);
    ASSERT_GT(shell.verts.size(), 5000u);
    for (const Tetra& t : shell.tets) ASSERT_GT(testmesh::volume6(shell, t), 0.0);
    TLSMModel model;
    setUpModel(model, shell);
    const double whole = geomtest::tetVolume(shell);
    ASSERT_NEAR(enclosedVolume(model.m_surface), whole, 1e-6);

    const vec3 directions[] = {
        {1, 0, 0}, {0, 0, 1}, vec3(1, 1, 0) / std::sqrt(2.0), vec3(0.3, -0.5, 0.8) / std::sqrt(0.98)};
    for (const vec3& d : directions)
        for (double level : {0.0, 2.5, -7.0, 9.3}) {
            const std::vector<double> f = linearField(model, d);
            DiagCapture diag;
            ASSERT_TRUE(clipSurface(model, level, f)) << diag.text();
            expectSoundClip(model, diag.text());
            const double below = enclosedVolume(model.m_surface);
            ASSERT_TRUE(clipSurface(model, -level, negated(f))) << diag.text();
            expectSoundClip(model, diag.text());
            EXPECT_NEAR(below + enclosedVolume(model.m_surface), whole, 1e-6 * whole) << d.x << " " << level;
        }
}

/// A cube [0, 4]^3 seen from +z at 32 pixels per unit (window = model x, y times 32).
ScreenProjection cubeView() {
    ScreenProjection view;
    orthoMatrix(0, 4, 0, 4, -10, 10, view.projection);
    view.viewport[2] = 128;
    view.viewport[3] = 128;
    return view;
}

TEST(CutByStrokeTest, KeepsTheRightHandSideAndFlatShadesTheRim) {
    TLSMModel model;
    setUpModel(model, testmesh::cube(4));
    model.m_peelDepth = 0.5;
    // Drawn downwards on the screen at x = 2.1: its right-hand side is x < 2.1.
    const std::vector<vec3> stroke = {{2.1, 4.5, 5}, {2.1, 3.0, 5}, {2.1, 1.0, 5}, {2.1, -0.5, 5}};
    DiagCapture diag;
    cutByStroke(model, stroke, cubeView());
    expectSoundClip(model, diag.text());
    int kept = 0, tagged = 0;
    for (int i = 0; i < model.m_surface.vertexCount(); ++i) {
        const SurfaceVertexSource& s = model.m_surfVtxSource[i];
        if (!s.isBlend) {
            EXPECT_LE(model.m_verts[s.vertA].x, 2.0);
            ++kept;
        }
        if (model.m_surfVtxTag[i]) {
            EXPECT_TRUE(s.isBlend);
            ++tagged;
        }
    }
    EXPECT_GT(kept, 0);
    EXPECT_GT(tagged, 0);
    // The cut runs between the vertex columns at x = 2 and x = 3.
    EXPECT_GT(enclosedVolume(model.m_surface), 2.0 * 16);
    EXPECT_LT(enclosedVolume(model.m_surface), 3.0 * 16);
    EXPECT_EQ(model.m_peelDepth, 1.0);
    EXPECT_EQ(model.m_triDrawOrder.size(), static_cast<size_t>(model.m_surface.polyCount()));
}

TEST(CutByStrokeTest, ClicksAndEmptyCutsRestoreTheFullSurface) {
    TLSMModel model;
    setUpModel(model, testmesh::cube(4));
    const int full = model.m_surface.polyCount();
    DiagCapture diag;
    const std::vector<vec3> across = {{2.1, 4.5, 5}, {2.1, 1.0, 5}, {2.1, -0.5, 5}};
    cutByStroke(model, across, cubeView());
    ASSERT_NE(model.m_surface.polyCount(), full);

    cutByStroke(model, {{1, 1, 5}, {2, 2, 5}}, cubeView());  // a click: two points
    EXPECT_EQ(model.m_surface.polyCount(), full);
    for (const SurfaceVertexSource& s : model.m_surfVtxSource) EXPECT_FALSE(s.isBlend);

    cutByStroke(model, across, cubeView());
    cutByStroke(model, {{1, 1, 5}, {1, 1, 5}, {1, 1, 5}}, cubeView());  // no movement at all
    EXPECT_EQ(model.m_surface.polyCount(), full);

    // Everything lies on the stroke's left: nothing would remain, so the whole model is shown.
    cutByStroke(model, {{-1, 4.5, 5}, {-1, 2, 5}, {-1, -0.5, 5}}, cubeView());
    EXPECT_EQ(model.m_surface.polyCount(), full);
    EXPECT_EQ(model.m_surface.isValid(), 1);
}

TEST(PeelDepthTest, StepsOfOneFortiethWithinTheBounds) {
    TLSMModel model;
    setUpModel(model, testmesh::cube(4));
    const int full = model.m_surface.polyCount();
    for (int v = 0; v < model.vertexCount(); ++v) model.m_orienField.m_depthField.m_value[v] = model.m_verts[v].x / 4;

    DiagCapture diag;
    stepPeelDepth(model, false);
    EXPECT_EQ(diag.text(), "current depth = 0.975000\n");
    EXPECT_DOUBLE_EQ(model.m_peelDepth, 0.975);
    expectSoundClip(model, "");
    double maxX = 0;
    for (const vec3& p : model.m_surface.verts()) maxX = std::max(maxX, p.x);
    EXPECT_NEAR(maxX, 3.9, 1e-12);
    bool anyTag = false;
    for (auto t : model.m_surfVtxTag) anyTag = anyTag || t;
    EXPECT_TRUE(anyTag);
    for (const vec3& n : model.m_surface.vertexNormals()) EXPECT_NEAR(n.norm(), 1.0, 1e-12);
    EXPECT_EQ(model.m_triDrawOrder.size(), static_cast<size_t>(model.m_surface.polyCount()));

    model.m_peelDepth = 0.99;
    stepPeelDepth(model, true);
    EXPECT_EQ(model.m_peelDepth, 1.0);
    EXPECT_EQ(model.m_surface.polyCount(), full);

    model.m_peelDepth = 0.3;
    stepPeelDepth(model, false);
    const int clipped = model.m_surface.polyCount();
    model.m_peelDepth = 0.01;
    stepPeelDepth(model, false);
    EXPECT_EQ(model.m_peelDepth, 0.0);
    EXPECT_EQ(model.m_surface.polyCount(), clipped);  // the last clip stays on screen

    model.m_peelDepth = 1.0;
    for (int notch = 0; notch < 60; ++notch) stepPeelDepth(model, false);
    EXPECT_EQ(model.m_peelDepth, 0.0);
}

TEST(SmoothRegionTest, RegionGrownOnACubeStaysOnOneFace) {
    TLSMModel model;
    setUpModel(model, testmesh::cube(3));
    int seed = -1;
    for (int i = 0; i < model.m_surface.polyCount() && seed < 0; ++i)
        if (model.m_surface.polyNormals()[i].x < -0.99) seed = i;
    ASSERT_GE(seed, 0);
    const TSurfaceRegion region = growSmoothRegion(model, seed);
    EXPECT_EQ(region.triangles.size(), 18u);
    for (int t : region.triangles) EXPECT_LT(model.m_surface.polyNormals()[t].x, -0.99);
    ASSERT_EQ(region.vertices.size(), 16u);
    EXPECT_TRUE(std::is_sorted(region.vertices.begin(), region.vertices.end()));
    for (int v : region.vertices) EXPECT_EQ(model.m_verts[v].x, 0.0);
    EXPECT_TRUE(growSmoothRegion(model, -1).triangles.empty());
    EXPECT_TRUE(growSmoothRegion(model, model.m_surface.polyCount()).triangles.empty());
}

TEST(SmoothRegionTest, CutTrianglesAreNeitherCollectedNorCrossed) {
    TLSMModel model;
    setUpModel(model, testmesh::cube(3));
    std::vector<double> x(model.vertexCount());
    for (int v = 0; v < model.vertexCount(); ++v) x[v] = model.m_verts[v].x;
    ASSERT_TRUE(clipSurface(model, 1.5, x));
    int seed = -1;
    for (int i = 0; i < model.m_surface.polyCount() && seed < 0; ++i)
        if (model.m_surface.polyNormals()[i].x < -0.99) seed = i;
    ASSERT_GE(seed, 0);
    const TSurfaceRegion region = growSmoothRegion(model, seed);
    EXPECT_EQ(region.triangles.size(), 18u);
    for (int t : region.triangles)
        for (int c : model.m_surface.polys()[t]) EXPECT_FALSE(model.m_surfVtxSource[c].isBlend);
}

TEST(SmoothRegionTest, RegionConstraintsGoToTheChosenField) {
    TLSMModel model;
    setUpModel(model, testmesh::cube(3));
    int seed = -1;
    for (int i = 0; i < model.m_surface.polyCount() && seed < 0; ++i)
        if (model.m_surface.polyNormals()[i].z > 0.99) seed = i;
    EXPECT_EQ(addRegionConstraints(model, 1, seed, -0.5), 16);
    ASSERT_EQ(model.m_ampliField.m_constraints.size(), 16u);
    int previous = -1;
    for (const TConstraint& c : model.m_ampliField.m_constraints) {
        EXPECT_EQ(c.m_target, -0.5);
        EXPECT_EQ(c.m_weight[0], 1.0);
        EXPECT_EQ(model.m_verts[c.m_tetVertex[0]].z, 3.0);
        EXPECT_GT(c.m_tetVertex[0], previous);  // ascending vertex order
        previous = c.m_tetVertex[0];
    }
    EXPECT_EQ(addRegionConstraints(model, 1, seed, -0.5), 0);  // already constrained
    EXPECT_EQ(addRegionConstraints(model, 2, seed, 0.3), 16);
    EXPECT_EQ(model.m_orienField.m_depthField.m_constraints.size(), 16u);
    EXPECT_TRUE(model.m_phaseField.m_constraints.empty());
    DiagCapture diag;
    EXPECT_EQ(addRegionConstraints(model, 3, seed, 1.0), 0);
    EXPECT_TRUE(diag.contains("addRegionConstraints: field 3"));
}

/// A model with only vertex positions, for the screen operations.
void setVertices(TLSMModel& model, const std::vector<vec3>& positions) {
    model.m_verts = model.m_vtxOrigPos = positions;
    model.m_vtxIsVentriOrAtrium.assign(positions.size(), 0);
}

TEST(LabelTest, BrushIncludesItsRimAndCountsYFromTheTop) {
    TLSMModel model;
    // Brush centre (100, 50) from the top is model y = 128 - 50 = 78 in the pixel view.
    setVertices(model, {{115, 78, 0}, {100, 63, 0}, {109, 90, 0}, {116, 78, 0}, {100, 50, 0}, {100, 78, 9}});
    const int labelled = labelVerticesInBrush(model, geomtest::pixelView(), 100, 50, 15, 2);
    EXPECT_EQ(labelled, 4);
    EXPECT_EQ(model.m_vtxIsVentriOrAtrium, (std::vector<int16_t>{2, 2, 2, 0, 0, 2}));
    EXPECT_EQ(labelVerticesInBrush(model, geomtest::pixelView(), 100, 50, 0, 1), 0);
}

TEST(LabelTest, RectangleIncludesItsBoundsInEitherCornerOrder) {
    TLSMModel model;
    // Rectangle x 90..110, y 40..60 from the top, i.e. model y 68..88.
    setVertices(model, {{90, 88, 0}, {110, 68, 0}, {100, 78, 0}, {111, 78, 0}, {100, 67, 0}});
    EXPECT_EQ(labelVerticesInRect(model, geomtest::pixelView(), 110, 60, 90, 40, 1), 3);
    EXPECT_EQ(model.m_vtxIsVentriOrAtrium, (std::vector<int16_t>{1, 1, 1, 0, 0}));
}

TEST(PickTest, NearestToTheOriginAmongVerticesCloseToTheLine) {
    TLSMModel model;
    setVertices(model, {{2, 0.1, 0}, {0, 0.3, 0}, {-1, 0.7, 0}, {0, -0.3, 0}, {5, 0, 0}});
    const TVertexPick pick = pickVertexNearRay(model, {-5, 0, 0}, {1, 0, 0}, 0.5);
    EXPECT_EQ(pick.vertex, 1);  // vertex 3 is as near: the first wins
    EXPECT_NEAR(pick.distance, 0.3, 1e-12);
    EXPECT_EQ(pick.position, vec3(0, 0.3, 0));
    EXPECT_EQ(pickVertexNearRay(model, {-5, 0, 0}, {1, 0, 0}, 0.05).vertex, 4);
    EXPECT_EQ(pickVertexNearRay(model, {-5, 3, 0}, {1, 0, 0}, 0.5).vertex, -1);
}

TEST(GrabTest, ThreeRingsOfShapeMatchingNeighboursWithOffsets) {
    TLSMModel model;
    std::vector<vec3> p;
    for (int i = 0; i < 8; ++i) p.emplace_back(i, 0.5 * i, 0);
    setVertices(model, p);
    model.m_smNeighbors.resize(8);
    for (int i = 0; i < 8; ++i)
        for (int j = std::max(0, i - 1); j <= std::min(7, i + 1); ++j) model.m_smNeighbors[i].push_back(j);
    const std::vector<TGrabMember> set = collectGrabSet(model, 4);
    ASSERT_EQ(set.size(), 7u);  // 1..7
    for (size_t k = 0; k < set.size(); ++k) {
        EXPECT_EQ(set[k].vertex, static_cast<int>(k) + 1);
        EXPECT_EQ(set[k].offset, p[k + 1] - p[4]);
    }
    model.m_smNeighbors[7].clear();  // a vertex in no tetrahedron still grabs itself
    ASSERT_EQ(collectGrabSet(model, 7).size(), 1u);
    EXPECT_TRUE(collectGrabSet(model, 8).empty());
}

TEST(AmplitudePaintTest, SetsTheNeighbourhoodOfTheFrontVertexHit) {
    TLSMModel model;
    setUpModel(model, testmesh::cube(2));
    ASSERT_TRUE(paintAmplitudeAtRay(model, {0.7, 1.2, 9}, {0, 0, -1}, 0.25));
    std::vector<int> changed;
    for (int v = 0; v < model.vertexCount(); ++v)
        if (model.m_ampliField.m_value[v] == 0.25) changed.push_back(v);
    // The painted set is exactly the neighbourhood of one vertex of the top face.
    bool matchesATopVertex = false;
    for (int v = 0; v < model.vertexCount(); ++v)
        matchesATopVertex = matchesATopVertex || (model.m_verts[v].z == 2.0 && model.m_smNeighbors[v] == changed);
    EXPECT_GT(changed.size(), 1u);
    EXPECT_TRUE(matchesATopVertex);
    EXPECT_TRUE(model.m_ampliField.m_constraints.empty());

    const std::vector<double> before = model.m_ampliField.m_value;
    EXPECT_FALSE(paintAmplitudeAtRay(model, {7, 7, 9}, {0, 0, -1}, -1.0));
    EXPECT_FALSE(paintAmplitudeAtRay(model, {0.7, 1.2, -9}, {0, 0, -1}, -1.0));  // looking away
    EXPECT_EQ(model.m_ampliField.m_value, before);
}

TEST(TransformTest, TranslationMovesCurrentAndRestAlikeAndResetsTheSimulator) {
    TLSMModel model;
    setUpModel(model, testmesh::cube(2));
    {
        DiagCapture quiet;
        ASSERT_TRUE(model.m_simulator.initSimulator(model.m_vtxOrigPos, model.m_tets, model.m_smNeighbors,
                                                    model.m_orienField.m_frames));
    }
    // A deformed state: current positions differ from the rest shape.
    for (int v = 0; v < model.vertexCount(); ++v) model.m_verts[v] += vec3(0.01 * v, 0, 0);
    model.updateSurfacePositions();
    const std::vector<vec3> current = model.m_verts, rest = model.m_vtxOrigPos;
    const std::vector<vec3> restCentres = model.m_simulator.restCenters();
    const double restVolume = model.m_simulator.restVolume();

    const vec3 shift(3, -2, 1);
    const double m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, shift.x, shift.y, shift.z, 1};
    DiagCapture diag;
    ASSERT_TRUE(transformModel(model, m));
    for (int v = 0; v < model.vertexCount(); ++v) {
        EXPECT_LT((model.m_verts[v] - (current[v] + shift)).norm(), 1e-12);
        EXPECT_LT((model.m_vtxOrigPos[v] - (rest[v] + shift)).norm(), 1e-12);
        EXPECT_EQ(model.m_simulator.restPos()[v], model.m_vtxOrigPos[v]);
        EXPECT_LT((model.m_simulator.restCenters()[v] - (restCentres[v] + shift)).norm(), 1e-12);
    }
    EXPECT_NEAR(model.m_simulator.restVolume(), restVolume, 1e-12);
    for (int i = 0; i < model.m_surface.vertexCount(); ++i)
        EXPECT_EQ(model.m_surface.verts()[i], model.m_verts[model.m_surfVtxSource[i].vertA]);
}

TEST(TransformTest, RotationTurnsAboutEachCentroidAndCarriesTheFibres) {
    TLSMModel model;
    setUpModel(model, testmesh::cube(2));
    for (vec3& p : model.m_verts) p += vec3(10, 0, 0);  // current shape elsewhere than the rest shape
    DiagCapture quiet;
    // A quarter turn about z.
    const double m[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    ASSERT_TRUE(transformModel(model, m));
    auto findVertex = [&](const std::vector<vec3>& p, const vec3& at) {
        for (size_t i = 0; i < p.size(); ++i)
            if ((p[i] - at).norm() < 1e-12) return static_cast<int>(i);
        return -1;
    };
    // Rest corner (0, 0, 0) turns about the rest centroid (1, 1, 1) to (2, 0, 0).
    EXPECT_EQ(findVertex(model.m_vtxOrigPos, {2, 0, 0}), 0);
    // Current corner (10, 0, 0) turns about the current centroid (11, 1, 1) to (12, 0, 0).
    EXPECT_EQ(findVertex(model.m_verts, {12, 0, 0}), 0);
    const TVertexFrame& f = model.m_orienField.m_frames[0];
    EXPECT_LT((f.m_primaryDir - vec3(0, 1, 0)).norm(), 1e-12);
    EXPECT_LT((f.m_depthDir - vec3(-1, 0, 0)).norm(), 1e-12);
    EXPECT_LT((f.m_thirdDir - vec3(0, 0, 1)).norm(), 1e-12);
    EXPECT_EQ(model.m_simulator.restPos(), model.m_vtxOrigPos);
}

TEST(TransformTest, UnusableMatricesAndEmptyModelsChangeNothing) {
    TLSMModel model;
    const double identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    EXPECT_FALSE(transformModel(model, identity));
    setUpModel(model, testmesh::cube(1));
    const std::vector<vec3> before = model.m_verts;
    double bad[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, std::nan(""), 0, 1};
    DiagCapture diag;
    EXPECT_FALSE(transformModel(model, bad));
    EXPECT_TRUE(diag.contains("transformModel: the matrix holds a value that is not a finite number"));
    EXPECT_EQ(model.m_verts, before);
}

}  // namespace
