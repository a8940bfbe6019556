// The heart model: neighbourhoods, size normalisation, surface extraction, draw order and loading.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "common/TestFiles.h"
#include "common/TestMeshes.h"
#include "linalg/Diagnostics.h"
#include "mesh/TTetMesh.h"
#include "model/TLSMModel.h"

namespace {

using testfiles::TempDir;

/// Sets a model up from in-code data as far as loading would (neighbours, surface) without files.
void setUpModel(TLSMModel& model, const testmesh::TetData& data) {
    TTetMesh mesh{data.verts, data.tets};
    calcNeighbor(mesh);
    model.m_verts = model.m_vtxOrigPos = mesh.m_verts;
    model.m_tets = mesh.m_tets;
    model.rebuildSurface();
}

TEST(NeighbourhoodTest, TetrahedralNeighbourhoodsAreSortedSetsWithSelf) {
    auto data = testmesh::twoTets();
    data.verts.push_back({5, 5, 5});  // used by no tetrahedron
    std::vector<std::vector<int>> nb;
    DiagCapture diag;
    TLSMModel::constructNeighborForShapaMatching(data.tets, data.verts, nb);
    EXPECT_EQ(diag.text(), "constructNeighborForShapaMatching 2 6\n....constructNeighborForShapaMatching...done\n");
    EXPECT_EQ(nb[0], (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(nb[1], (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(nb[4], (std::vector<int>{1, 2, 3, 4}));
    EXPECT_TRUE(nb[5].empty());
}

TEST(NeighbourhoodTest, TubeUsesTheStructuredStencilWithWrapAround) {
    auto data = testmesh::tube();
    ASSERT_EQ(data.verts.size(), 1200u);
    std::vector<std::vector<int>> nb;
    DiagCapture diag;
    TLSMModel::constructNeighborForShapaMatching(data.tets, data.verts, nb);
    auto index = [](int level, int layer, int angle) { return (level * 4 + layer) * 30 + angle; };
    // Interior vertex: full 27-point stencil.
    EXPECT_EQ(nb[index(5, 1, 10)].size(), 27u);
    // First level and innermost layer: 2 x 2 x 3.
    const std::vector<int>& v0 = nb[0];
    EXPECT_EQ(v0.size(), 12u);
    EXPECT_TRUE(std::binary_search(v0.begin(), v0.end(), 29));  // angular wrap-around
    EXPECT_TRUE(std::binary_search(v0.begin(), v0.end(), index(1, 1, 1)));
    EXPECT_TRUE(std::is_sorted(v0.begin(), v0.end()));
    // Outermost layer in the middle: 3 x 2 x 3.
    EXPECT_EQ(nb[index(4, 3, 0)].size(), 18u);
    // The tetrahedral rule would give other sets; the stencil never includes angle +2.
    EXPECT_FALSE(std::binary_search(v0.begin(), v0.end(), 2));
}

TEST(NormalizeTest, LargestExtentBecomesTenAroundTheMean) {
    std::vector<vec3> p = {{0, 0, 0}, {4, 0, 0}, {0, 2, 0}, {0, 0, 1}};
    TLSMModel::normalizeModelSize(p);
    vec3 mean;
    for (const vec3& v : p) mean += v;
    EXPECT_NEAR(mean.norm(), 0.0, 1e-12);
    EXPECT_NEAR(p[1].x - p[0].x, 10.0, 1e-12);
    EXPECT_NEAR(p[2].y - p[0].y, 5.0, 1e-12);
}

TEST(NormalizeTest, ZeroExtentIsLeftUnscaled) {
    std::vector<vec3> p = {{3, 3, 3}, {3, 3, 3}};
    TLSMModel::normalizeModelSize(p);
    for (const vec3& v : p) EXPECT_TRUE(isFinite(v));
    EXPECT_EQ(p[0], vec3(0, 0, 0));
}

TEST(LoadWarningTest, DegenerateTetrahedraAndAPointMeshAreCountedOnTheConsole) {
    TempDir dir;
    auto mesh = testmesh::cube(2);
    const int tets = static_cast<int>(mesh.tets.size());
    mesh.tets.push_back(testmesh::makeTet(0, 1, 1, 4));  // a repeated corner
    mesh.tets.push_back(testmesh::makeTet(0, 1, 2, 3));  // four vertices on one line of the grid: flat
    mesh.tets.push_back(testmesh::makeTet(0, 1, 3, 4));  // in the plane z = 0: flat
    testmesh::writeTetGen(mesh, dir.file("m"));
    {
        DiagCapture diag;
        TLSMModel model;
        ASSERT_TRUE(model.loadModel(dir.file("m")));
        EXPECT_TRUE(diag.contains("loadModel: 1 of " + std::to_string(tets + 3) + " tetrahedra repeat a corner")) << diag.text();
        EXPECT_TRUE(diag.contains("loadModel: 2 of " + std::to_string(tets + 3) + " tetrahedra have zero volume")) << diag.text();
        EXPECT_FALSE(diag.contains("no extent"));
    }
    testmesh::TetData point;
    point.verts.assign(4, vec3(1, 2, 3));
    point.tets.push_back(testmesh::makeTet(0, 1, 2, 3));
    testmesh::writeTetGen(point, dir.file("p"));
    DiagCapture diag;
    TLSMModel model;
    model.loadModel(dir.file("p"));
    EXPECT_TRUE(diag.contains("the mesh has no extent")) << diag.text();
    EXPECT_TRUE(diag.contains("have zero volume"));
    // A sound mesh loads without any of these lines.
    testmesh::writeTetGen(testmesh::cube(2), dir.file("c"));
    DiagCapture clean;
    TLSMModel sound;
    ASSERT_TRUE(sound.loadModel(dir.file("c")));
    EXPECT_FALSE(clean.contains("loadModel:")) << clean.text();
}

TEST(SurfaceTest, IsolatedTetGivesFourOutwardTriangles) {
    TLSMModel model;
    setUpModel(model, testmesh::singleTet());
    ASSERT_EQ(model.m_surface.polyCount(), 4);
    EXPECT_EQ(model.m_surface.vertexCount(), 4);
    EXPECT_EQ(model.m_surface.isValid(), 1);
    const vec3 centroid(0.25, 0.25, 0.25);
    for (int i = 0; i < 4; ++i) {
        const vec3 corner = model.m_surface.verts()[model.m_surface.polys()[i][0]];
        EXPECT_GT(model.m_surface.polyNormals()[i].dot(corner - centroid), 0.0);
    }
}

TEST(SurfaceTest, CubeSurfaceIsClosedAndListsSharedVerticesOnce) {
    TLSMModel model;
    DiagCapture diag;
    setUpModel(model, testmesh::cube(3));
    EXPECT_EQ(diag.text(), "");
    EXPECT_EQ(model.m_surface.isValid(), 1);
    EXPECT_EQ(model.m_surface.polyCount(), 108);
    EXPECT_EQ(model.m_surface.vertexCount(), 4 * 4 * 4 - 2 * 2 * 2);
    std::set<int> sources;
    for (const SurfaceVertexSource& s : model.m_surfVtxSource) {
        EXPECT_FALSE(s.isBlend);
        sources.insert(s.vertA);
    }
    EXPECT_EQ(sources.size(), model.m_surfVtxSource.size());
    for (const TWingedEdge& e : model.m_surface.edges()) {
        EXPECT_NE(e.faceL, -1);
        EXPECT_NE(e.faceR, -1);
    }
}

TEST(SurfaceTest, SurfaceFollowsVerticesIncludingBlendedSources) {
    TLSMModel model;
    setUpModel(model, testmesh::cube(2));
    model.m_surfVtxSource[0].isBlend = true;
    model.m_surfVtxSource[0].vertB = model.m_surfVtxSource[1].vertA;
    model.m_surfVtxSource[0].t = 0.25;
    for (vec3& p : model.m_verts) p += vec3(1, 2, 3);
    model.updateSurfacePositions();
    const vec3 a = model.m_verts[model.m_surfVtxSource[0].vertA];
    const vec3 b = model.m_verts[model.m_surfVtxSource[1].vertA];
    EXPECT_NEAR(distance(model.m_surface.verts()[0], a * 0.75 + b * 0.25), 0.0, 1e-12);
    EXPECT_EQ(model.m_surface.verts()[1], b);
}

TEST(DrawOrderTest, SortsByDepthKeyStablyAndGroupsByChamber) {
    TLSMModel model;
    // Three separate triangles at z = 2, 0, 0 (the last two tie).
    model.m_surface.initialize({{0, 0, 2}, {1, 0, 2}, {0, 1, 2}, {5, 0, 0}, {6, 0, 0}, {5, 1, 0}, {9, 0, 0},
                                {10, 0, 0}, {9, 1, 0}},
                               {{0, 1, 2}, {3, 4, 5}, {6, 7, 8}});
    model.buildDrawOrder();
    EXPECT_EQ(model.m_triDrawOrder, (std::vector<int>{1, 2, 0}));
    model.m_polygonIDs = {2, 0, 1};
    model.buildDrawOrder();
    EXPECT_EQ(model.m_triDrawOrder, (std::vector<int>{2, 0, 1}));
    model.m_polygonIDs = {2, 0};  // wrong length: no regrouping
    model.buildDrawOrder();
    EXPECT_EQ(model.m_triDrawOrder, (std::vector<int>{1, 2, 0}));
}

TEST(LoadModelTest, LoadsDefaultsWithoutProjectFile) {
    TempDir dir;
    const std::string base = dir.file("cube");
    testmesh::writeTetGen(testmesh::cube(3, 2.0), base);
    TLSMModel model;
    ASSERT_TRUE(model.loadModel(base));
    const int n = 64;
    EXPECT_EQ(model.vertexCount(), n);
    EXPECT_EQ(model.m_verts, model.m_vtxOrigPos);
    EXPECT_EQ(model.m_vtxIsVentriOrAtrium, std::vector<int16_t>(n, 0));
    EXPECT_EQ(model.m_polygonIDs.size(), size_t(model.m_surface.polyCount()));
    EXPECT_EQ(model.m_triDrawOrder.size(), size_t(model.m_surface.polyCount()));
    EXPECT_EQ(model.m_iterationN, 10);
    ASSERT_NE(model.m_excitation, nullptr);
    EXPECT_EQ(model.m_excitation->m_chartVent, (TChart{{0.0, 0.0}}));
    EXPECT_EQ(model.m_phaseField.m_value, std::vector<double>(n, 0.0));
    EXPECT_EQ(model.m_ampliField.m_value, std::vector<double>(n, 1.0));
    EXPECT_EQ(model.m_vtxContraction, std::vector<vec3>(n, vec3(1, 1, 1)));
    // Centred and scaled to extent 10.
    double lo = 1e9, hi = -1e9;
    for (const vec3& p : model.m_verts) {
        lo = std::min(lo, p.x);
        hi = std::max(hi, p.x);
    }
    EXPECT_NEAR(hi - lo, 10.0, 1e-12);
    EXPECT_NEAR(hi + lo, 0.0, 1e-12);
}

TEST(LoadModelTest, SmoothingMatrixWaitsForTheFirstSolveAndIsTheEagerOne) {
    // The matrix outweighs the simulator on a large mesh, so a model without constraints never
    // builds it; the first constrained solve builds exactly what building it at load gave.
    TempDir dir;
    const std::string base = dir.file("cube");
    testmesh::writeTetGen(testmesh::cube(3, 2.0), base);
    TLSMModel model;
    ASSERT_TRUE(model.loadModel(base));
    ASSERT_TRUE(static_cast<bool>(model.m_fieldMatrix));
    EXPECT_FALSE(model.m_fieldMatrix.isBuilt());
    EXPECT_EQ(model.m_fieldMatrix.size(), 64);
    updateFieldHarmonic(model.m_phaseField, model.m_fieldMatrix);
    EXPECT_FALSE(model.m_fieldMatrix.isBuilt());

    TConstraint low, high;
    low.m_tetVertex[0] = 0;
    low.m_weight[0] = 1.0;
    low.m_target = 0.1;
    high.m_tetVertex[0] = 63;
    high.m_weight[0] = 1.0;
    high.m_target = 0.9;
    model.m_phaseField.m_constraints = {low, high};
    TSmoothField reference = model.m_phaseField;
    updateFieldHarmonic(model.m_phaseField, model.m_fieldMatrix);
    ASSERT_TRUE(model.m_fieldMatrix.isBuilt());

    const auto eager = buildSmoothingMatrix(model.vertexCount(), model.m_vtxOrigPos, model.m_smNeighbors);
    EXPECT_EQ(model.m_fieldMatrix->rowStart(), eager->rowStart());
    EXPECT_EQ(model.m_fieldMatrix->colIndex(), eager->colIndex());
    updateFieldHarmonic(reference, *eager);
    EXPECT_EQ(model.m_phaseField.m_value, reference.m_value);
    EXPECT_LT(model.m_phaseField.m_value[0], model.m_phaseField.m_value[63]);
}

TEST(LoadModelTest, MissingElementFileFails) {
    TempDir dir;
    const std::string base = dir.file("half");
    testmesh::writeTetGen(testmesh::singleTet(), base);
    std::remove((base + ".ele").c_str());
    TLSMModel model;
    DiagCapture diag;
    EXPECT_FALSE(model.loadModel(base));
    EXPECT_EQ(model.m_filePath, base);
    EXPECT_EQ(model.vertexCount(), 0);
    EXPECT_EQ(model.m_excitation, nullptr);
}

}  // namespace
