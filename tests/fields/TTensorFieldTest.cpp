// Orientation field: RBF depth field, weighted Laplacian fibre fit, frames, stroke deletion.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>

#include "fields/FieldTestSupport.h"
#include "fields/TTensorField.h"
#include "linalg/Diagnostics.h"
#include "linalg/TSparseMatrix.h"

namespace {

constexpr double kUnitTol = 1e-9;

class OrientationField : public ::testing::Test {
protected:
    void SetUp() override {
        mesh = fieldtest::linkedGrid(4, 4, 4, 1.0);
        neighbours = fieldtest::neighbourLists(mesh);
        labels.assign(mesh.verts.size(), 1);
        DiagCapture quiet;
        field.initOrientationField(mesh.tets, mesh.verts);
    }
    void update() {
        DiagCapture quiet;
        field.updateOrientation(mesh.tets, mesh.verts, neighbours, labels);
    }
    void addDepth(const vec3& p, double target) {
        addConstraintAtVertex(field.m_depthField.m_constraints, mesh.verts, fieldtest::nearestVertex(mesh, p), target);
    }
    void addStrokeAlongZ(double x, double y) {
        std::vector<vec3> line;
        for (int i = 0; i <= 8; ++i) line.emplace_back(x, y, 0.5 + 0.375 * i);
        addOrientationStroke(field, line, mesh.tets, mesh.verts);
    }
    void expectOrthonormalFrames() const {
        for (const TVertexFrame& f : field.m_frames) {
            EXPECT_NEAR(f.m_primaryDir.norm(), 1.0, kUnitTol);
            EXPECT_NEAR(f.m_depthDir.norm(), 1.0, kUnitTol);
            EXPECT_NEAR(f.m_primaryDir.dot(f.m_depthDir), 0.0, kUnitTol);
            const vec3 third = f.m_primaryDir.cross(f.m_depthDir);
            EXPECT_NEAR((third - f.m_thirdDir).norm(), 0.0, kUnitTol);
        }
    }

    testmesh::TetData mesh;
    std::vector<std::vector<int>> neighbours;
    std::vector<int16_t> labels;
    TTensorField field;
};

}  // namespace

TEST_F(OrientationField, InitialisationGivesIdentityFramesAndFullDepth) {
    ASSERT_EQ(field.m_frames.size(), mesh.verts.size());
    for (const TVertexFrame& f : field.m_frames) {
        EXPECT_EQ(f.m_primaryDir, vec3(1, 0, 0));
        EXPECT_EQ(f.m_depthDir, vec3(0, 1, 0));
        EXPECT_EQ(f.m_thirdDir, vec3(0, 0, 1));
    }
    EXPECT_EQ(field.m_depthField.m_minValue, 0.0);
    EXPECT_EQ(field.m_depthField.m_maxValue, 1.0);
    for (double v : field.m_depthField.m_value) EXPECT_EQ(v, 1.0);
    EXPECT_TRUE(field.m_fibreLines[0].empty());
    EXPECT_FALSE(field.m_fibreLines[1].empty());
}

TEST_F(OrientationField, RbfDepthStartsAtTheFourthPositiveConstraint) {
    addDepth(vec3(0, 0, 0), 0.0);
    addDepth(vec3(4, 0, 0), 0.0);
    addDepth(vec3(0, 4, 4), 1.0);
    addDepth(vec3(4, 4, 4), 1.0);
    addDepth(vec3(4, 4, 0), 0.5);
    DiagCapture capture;
    field.updateField_RBF(field.m_depthField, mesh.verts);
    EXPECT_EQ(capture.text(), " updateField_RBF 1...");
    for (double v : field.m_depthField.m_value) EXPECT_EQ(v, 1.0);

    addDepth(vec3(0, 4, 0), 0.5);  // the fourth positive target
    capture.clear();
    field.updateField_RBF(field.m_depthField, mesh.verts);
    EXPECT_TRUE(capture.contains(" updateField_RBF 4... done\n"));
    // The value-0 constraints now act as centres too, and nothing leaves [0, 1].
    const std::vector<double>& d = field.m_depthField.m_value;
    EXPECT_NEAR(d[fieldtest::nearestVertex(mesh, vec3(0, 0, 0))], 0.0, 1e-4);
    EXPECT_NEAR(d[fieldtest::nearestVertex(mesh, vec3(4, 4, 4))], 1.0, 1e-4);
    EXPECT_NEAR(d[fieldtest::nearestVertex(mesh, vec3(0, 4, 0))], 0.5, 1e-4);
    for (double v : d) {
        EXPECT_GE(v, 0.0);
        EXPECT_LE(v, 1.0);
    }
}

TEST_F(OrientationField, NoStrokesGiveXOrthonormalisedAgainstTheDepthGradient) {
    // Depth falling along (1, -1, 0); on interior vertices the neighbour sum points that way, and
    // without its x part it is -y.
    for (size_t i = 0; i < mesh.verts.size(); ++i) {
        field.m_depthField.m_value[i] = 0.5 + (mesh.verts[i].x - mesh.verts[i].y) / 8.0;
    }
    update();
    expectOrthonormalFrames();
    for (size_t i = 0; i < mesh.verts.size(); ++i) {
        const TVertexFrame& f = field.m_frames[i];
        EXPECT_EQ(f.m_primaryDir, vec3(1, 0, 0));
        const vec3& p = mesh.verts[i];
        const bool interior = p.x > 0 && p.x < 4 && p.y > 0 && p.y < 4 && p.z > 0 && p.z < 4;
        if (!interior) continue;
        EXPECT_NEAR((f.m_depthDir - vec3(0, -1, 0)).norm(), 0.0, kUnitTol);
        EXPECT_NEAR((f.m_thirdDir - vec3(0, 0, -1)).norm(), 0.0, kUnitTol);
    }
    // Constant depth: no gradient, the fallback (0, 1, 0).
    field.m_depthField.m_value.assign(mesh.verts.size(), 1.0);
    update();
    for (const TVertexFrame& f : field.m_frames) {
        EXPECT_EQ(f.m_depthDir, vec3(0, 1, 0));
        EXPECT_EQ(f.m_thirdDir, vec3(0, 0, 1));
    }
}

TEST_F(OrientationField, StrokesTurnTheFibresAlongThemAndFramesStayOrthonormal) {
    addStrokeAlongZ(1.5, 1.5);
    addStrokeAlongZ(2.5, 2.5);
    ASSERT_EQ(field.m_strokes.size(), 2u);
    DiagCapture capture;
    field.updateOrientation(mesh.tets, mesh.verts, neighbours, labels);
    EXPECT_TRUE(capture.contains("start laplacian smoothing\n"));
    EXPECT_TRUE(capture.contains("solve Ax=b\n"));
    expectOrthonormalFrames();
    // Two parallel strokes through a small block: the whole block follows them.
    for (const TVertexFrame& f : field.m_frames) EXPECT_GT(f.m_primaryDir.z, 0.9);
    // Stroke changes do not alter the frames until the next update.
    field.m_strokes.clear();
    EXPECT_GT(field.m_frames[0].m_primaryDir.z, 0.9);
}

TEST_F(OrientationField, ResultsDoNotDependOnTheThreadCount) {
    // A grid big enough for the parallel loops to split.
    mesh = fieldtest::linkedGrid(12, 12, 12, 0.8);
    neighbours = fieldtest::neighbourLists(mesh);
    labels.assign(mesh.verts.size(), 1);
    {
        DiagCapture quiet;
        field.initOrientationField(mesh.tets, mesh.verts);
    }
    addStrokeAlongZ(3.0, 4.0);
    addDepth(vec3(0, 0, 0), 0.0);
    for (const vec3& p : {vec3(9.6, 0, 0), vec3(0, 9.6, 0), vec3(0, 0, 9.6), vec3(9.6, 9.6, 9.6)}) addDepth(p, 1.0);
    const int threads = omp_get_max_threads();
    std::vector<TVertexFrame> frames[2];
    std::vector<double> depth[2];
    for (int run = 0; run < 2; ++run) {
        omp_set_num_threads(run == 0 ? 1 : 2);
        DiagCapture quiet;
        field.updateField_RBF(field.m_depthField, mesh.verts);
        field.updateOrientation(mesh.tets, mesh.verts, neighbours, labels);
        frames[run] = field.m_frames;
        depth[run] = field.m_depthField.m_value;
    }
    omp_set_num_threads(threads);
    EXPECT_EQ(depth[0], depth[1]);
    for (size_t i = 0; i < frames[0].size(); ++i) {
        EXPECT_EQ(frames[0][i].m_primaryDir, frames[1][i].m_primaryDir);
        EXPECT_EQ(frames[0][i].m_thirdDir, frames[1][i].m_thirdDir);
    }
}

TEST_F(OrientationField, KeptFactorFollowsAddedAndDeletedStrokes) {
    ASSERT_TRUE(setSolverBackendForTesting(SolverBackend::Cholmod));
    addStrokeAlongZ(1.5, 1.5);
    addStrokeAlongZ(2.5, 2.5);
    update();
    EXPECT_EQ(field.m_factorCache.m_lastUpdateKind, 1);
    auto expectFreshFrames = [&](int expectedKind, const char* what) {
        EXPECT_EQ(field.m_factorCache.m_lastUpdateKind, expectedKind) << what;
        TTensorField fresh = field;  // a copy keeps no factor
        {
            DiagCapture quiet;
            fresh.updateOrientation(mesh.tets, mesh.verts, neighbours, labels);
        }
        ASSERT_EQ(fresh.m_factorCache.m_lastUpdateKind, 1);
        for (size_t i = 0; i < fresh.m_frames.size(); ++i) {
            EXPECT_LT((field.m_frames[i].m_primaryDir - fresh.m_frames[i].m_primaryDir).norm(), 1e-9) << what << i;
            EXPECT_LT((field.m_frames[i].m_thirdDir - fresh.m_frames[i].m_thirdDir).norm(), 1e-9) << what << i;
        }
    };
    // A crossing stroke along x turns the fibres near it.
    const vec3 before = field.m_frames[fieldtest::nearestVertex(mesh, vec3(2, 0.5, 2))].m_primaryDir;
    std::vector<vec3> across;
    for (int i = 0; i <= 8; ++i) across.emplace_back(0.5 + 0.375 * i, 0.5, 2.0);
    addOrientationStroke(field, across, mesh.tets, mesh.verts);
    update();
    expectFreshFrames(2, "stroke added");
    const vec3 after = field.m_frames[fieldtest::nearestVertex(mesh, vec3(2, 0.5, 2))].m_primaryDir;
    EXPECT_LT(std::fabs(after.dot(before)), 0.99) << "the new stroke changed the fibres";

    field.m_strokes.erase(field.m_strokes.begin());
    update();
    expectFreshFrames(2, "stroke deleted");

    // New depth values change every kernel weight: the system is built and factorised again.
    addDepth(vec3(0, 0, 0), 0.0);
    for (const vec3& p : {vec3(4, 0, 0), vec3(0, 4, 0), vec3(0, 0, 4), vec3(4, 4, 4)}) addDepth(p, 1.0);
    {
        DiagCapture quiet;
        field.updateField_RBF(field.m_depthField, mesh.verts);
    }
    update();
    expectFreshFrames(1, "depth changed");
}

TEST_F(OrientationField, SampleWithVanishingKernelWeightsIsSkipped) {
    addStrokeAlongZ(1.5, 1.5);
    // A sample extrapolated far from its tetrahedron: every kernel weight underflows to 0.
    TTetSample far;
    for (int k = 0; k < 4; ++k) far.m_tetVertex[k] = mesh.tets[0].vIdx[k];
    far.m_weight[0] = -1000.0;
    far.m_weight[1] = 1001.0;
    field.m_strokes[0].push_back(far);
    DiagCapture capture;
    field.updateOrientation(mesh.tets, mesh.verts, neighbours, labels);
    EXPECT_TRUE(capture.contains("1 stroke samples with vanishing kernel weights skipped"));
    for (const TVertexFrame& f : field.m_frames) {
        ASSERT_TRUE(isFinite(f.m_primaryDir) && isFinite(f.m_depthDir) && isFinite(f.m_thirdDir));
    }
    expectOrthonormalFrames();
}

TEST_F(OrientationField, ResetsClearTheirInputAndRecompute) {
    addStrokeAlongZ(1.5, 1.5);
    update();
    ASSERT_GT(field.m_frames[0].m_primaryDir.z, 0.5);
    {
        DiagCapture quiet;
        field.resetStrokes(mesh.tets, mesh.verts, neighbours, labels);
    }
    EXPECT_TRUE(field.m_strokes.empty());
    for (const TVertexFrame& f : field.m_frames) EXPECT_EQ(f.m_primaryDir, vec3(1, 0, 0));

    addDepth(vec3(0, 0, 0), 0.0);
    field.m_depthField.m_value.assign(mesh.verts.size(), 0.25);
    {
        DiagCapture quiet;
        field.resetDepthField(mesh.tets, mesh.verts, neighbours, labels);
    }
    EXPECT_TRUE(field.m_depthField.m_constraints.empty());
    for (double v : field.m_depthField.m_value) EXPECT_EQ(v, 1.0);
}

TEST_F(OrientationField, DeleteNearestStrokePicksTheClosestAlongTheRayAtThatDepth) {
    addStrokeAlongZ(1.0, 1.0);  // 0
    addStrokeAlongZ(3.0, 1.0);  // 1
    addStrokeAlongZ(2.0, 3.0);  // 2
    ASSERT_EQ(field.m_strokes.size(), 3u);
    // A ray along +x at y = 1, z = 2 passes both stroke 0 and stroke 1; stroke 0 is nearer the origin.
    const vec3 origin(-5, 1, 2), dir(1, 0, 0);
    DiagCapture capture;
    EXPECT_EQ(field.deleteNearestStroke(origin, dir, 0.0, mesh.verts), -1);
    EXPECT_EQ(capture.text(), "nea -1\n");
    EXPECT_EQ(field.m_strokes.size(), 3u);
    // Depth of interest far from the strokes' depth (1.0): nothing.
    EXPECT_EQ(field.deleteNearestStroke(origin, dir, 0.85, mesh.verts), -1);
    capture.clear();
    EXPECT_EQ(field.deleteNearestStroke(origin, dir, 0.95, mesh.verts), 0);
    EXPECT_EQ(capture.text(), "nea 0\n");
    ASSERT_EQ(field.m_strokes.size(), 2u);
    // The former stroke 1 is now first, and the next pick along the same ray takes it.
    EXPECT_EQ(field.deleteNearestStroke(origin, dir, 1.0, mesh.verts), 0);
    ASSERT_EQ(field.m_strokes.size(), 1u);
    EXPECT_NEAR(field.m_strokes[0][0].position(mesh.verts).y, 3.0, 1e-9);
}

TEST(OrientationFieldFarApart, NeighbourWeightsThatAllUnderflowFallBackToEqualWeights) {
    // Edges of 100 units: every neighbour kernel exp(-0.1 |d|^2) is 0 in double precision.
    testmesh::TetData mesh = testmesh::twoTets();
    for (vec3& p : mesh.verts) p *= 100.0;
    fieldtest::linkFaceNeighbours(mesh);
    const std::vector<std::vector<int>> neighbours = fieldtest::neighbourLists(mesh);
    const std::vector<int16_t> unlabelled(mesh.verts.size(), 0);  // keeps the fibre-line sets short
    TTensorField field;
    DiagCapture capture;
    // A stroke of two vertex samples from vertex 0 to vertex 1 (along +x).
    TOrientationStroke stroke(2);
    for (int k = 0; k < 4; ++k) {
        stroke[0].m_tetVertex[k] = 0;
        stroke[1].m_tetVertex[k] = 1;
    }
    stroke[0].m_weight[0] = stroke[1].m_weight[0] = 1.0;
    field.m_strokes.push_back(stroke);
    field.updateOrientation(mesh.tets, mesh.verts, neighbours, unlabelled);
    ASSERT_EQ(field.m_frames.size(), mesh.verts.size());
    EXPECT_TRUE(capture.contains("5 vertices with vanishing neighbour weights smoothed uniformly"));
    for (const TVertexFrame& f : field.m_frames) {
        ASSERT_TRUE(isFinite(f.m_primaryDir));
        EXPECT_NEAR((f.m_primaryDir - vec3(1, 0, 0)).norm(), 0.0, 1e-9);
    }
}
