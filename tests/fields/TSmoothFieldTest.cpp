// Harmonic interpolation of the phase and amplitude fields on the smoothing matrix L^T L.
#include <gtest/gtest.h>

#include <omp.h>

#include <algorithm>
#include <cmath>

#include "common/TestMeshes.h"
#include "fields/FieldTestSupport.h"
#include "fields/TSmoothField.h"
#include "linalg/Diagnostics.h"
#include "linalg/TSparseMatrix.h"

namespace {

constexpr double kSolveTol = 1e-8;

class HarmonicField : public ::testing::Test {
protected:
    void SetUp() override {
        mesh = testmesh::cube(4, 0.5);
        neighbours = fieldtest::neighbourLists(mesh);
        DiagCapture quiet;
        matrix = buildSmoothingMatrix(static_cast<int>(mesh.verts.size()), mesh.verts, neighbours);
        phase.setup(0.0, 1.0, 0.0, static_cast<int>(mesh.verts.size()));
        amplitude.setup(-1.0, 1.0, 1.0, static_cast<int>(mesh.verts.size()));
    }
    int vertexAt(int i, int j, int k) const { return (k * 5 + j) * 5 + i; }
    void update(TSmoothField& f) {
        DiagCapture quiet;
        updateFieldHarmonic(f, *matrix);
    }

    testmesh::TetData mesh;
    std::vector<std::vector<int>> neighbours;
    std::unique_ptr<TSparseMatrix> matrix;
    TSmoothField phase, amplitude;
};

}  // namespace

TEST_F(HarmonicField, SmoothingMatrixIsGramOfTheLaplacian) {
    const int n = static_cast<int>(mesh.verts.size());
    ASSERT_TRUE(matrix->isCompressed());
    EXPECT_FALSE(matrix->hasFactorization());
    // L 1 = 0, so L^T L annihilates constants; the Gram matrix is symmetric.
    for (int r = 0; r < n; ++r) {
        double sum = 0.0;
        for (const auto& e : matrix->row(r)) {
            sum += e.second;
            double mirrored = NAN;
            for (const auto& f : matrix->row(e.first)) {
                if (f.first == r) mirrored = f.second;
            }
            EXPECT_NEAR(mirrored, e.second, 1e-14);
        }
        EXPECT_NEAR(sum, 0.0, 1e-12);
    }
    // Every pair of corners of a tetrahedron is in the pattern (the penalties need it).
    for (const Tetra& t : mesh.tets) {
        for (int a = 0; a < 4; ++a) {
            for (int b = 0; b < 4; ++b) {
                bool present = false;
                for (const auto& e : matrix->row(t.vIdx[a])) present = present || e.first == t.vIdx[b];
                EXPECT_TRUE(present);
            }
        }
    }
}

TEST_F(HarmonicField, NoConstraintGivesTheDefaultWithoutTouchingTheMatrix) {
    const std::vector<double> before = matrix->values();
    phase.m_value.assign(phase.m_value.size(), 0.3);
    update(phase);
    update(amplitude);
    for (double v : phase.m_value) EXPECT_EQ(v, 0.0);
    for (double v : amplitude.m_value) EXPECT_EQ(v, 1.0);
    EXPECT_EQ(matrix->values(), before);
}

TEST_F(HarmonicField, SingleConstraintFixesTheConstant) {
    addConstraintAtVertex(phase.m_constraints, mesh.verts, vertexAt(1, 2, 3), 1.0);
    update(phase);
    for (double v : phase.m_value) EXPECT_NEAR(v, 1.0, kSolveTol);
    EXPECT_FALSE(matrix->hasFactorization());
}

TEST_F(HarmonicField, SourceAndSinkGiveASmoothRampInsideTheRange) {
    for (int j = 0; j <= 4; ++j) {
        for (int k = 0; k <= 4; ++k) {
            addConstraintAtVertex(phase.m_constraints, mesh.verts, vertexAt(0, j, k), 0.0);
            addConstraintAtVertex(phase.m_constraints, mesh.verts, vertexAt(4, j, k), 1.0);
        }
    }
    update(phase);
    for (double v : phase.m_value) {
        EXPECT_GE(v, 0.0);
        EXPECT_LE(v, 1.0);
    }
    // Along every grid line from source to sink the value rises, and the penalty pins the faces.
    for (int j = 0; j <= 4; ++j) {
        for (int k = 0; k <= 4; ++k) {
            EXPECT_NEAR(phase.m_value[vertexAt(0, j, k)], 0.0, 0.05);
            EXPECT_NEAR(phase.m_value[vertexAt(4, j, k)], 1.0, 0.05);
            for (int i = 0; i < 4; ++i)
                EXPECT_LT(phase.m_value[vertexAt(i, j, k)], phase.m_value[vertexAt(i + 1, j, k)]);
        }
    }
    EXPECT_NEAR(phase.m_value[vertexAt(2, 2, 2)], 0.5, 0.05);
}

TEST_F(HarmonicField, ValuesBeyondTheRangeAreClamped) {
    addConstraintAtVertex(amplitude.m_constraints, mesh.verts, 0, -1.2);
    update(amplitude);
    for (double v : amplitude.m_value) EXPECT_EQ(v, -1.0);
    addConstraintAtVertex(phase.m_constraints, mesh.verts, 0, 2.0);
    update(phase);
    for (double v : phase.m_value) EXPECT_EQ(v, 1.0);
}

TEST_F(HarmonicField, PenaltiesAreRemovedSoTheSameConstraintsGiveTheSameField) {
    const std::vector<double> before = matrix->values();
    TTetSample inside;
    ASSERT_TRUE(findNearestTetSample(mesh.tets, mesh.verts, vec3(0.6, 1.1, 0.7), inside));
    addConstraintAtPoint(phase.m_constraints, mesh.verts, inside, 1.0);
    addConstraintAtVertex(phase.m_constraints, mesh.verts, vertexAt(4, 4, 4), 0.0);
    update(phase);
    const std::vector<double> first = phase.m_value;
    ASSERT_EQ(matrix->values().size(), before.size());
    for (size_t e = 0; e < before.size(); ++e) EXPECT_NEAR(matrix->values()[e], before[e], 1e-12);
    // The row lists stay equal to the compressed form.
    for (int r = 0, e = 0; r < matrix->rowSize(); ++r) {
        for (const auto& entry : matrix->row(r)) EXPECT_EQ(entry.second, matrix->values()[e++]);
    }
    update(phase);
    for (size_t i = 0; i < first.size(); ++i) EXPECT_NEAR(phase.m_value[i], first[i], 1e-10);
    // A sample constraint pulls its interpolated value towards the target.
    EXPECT_GT(inside.interpolate(phase.m_value), 0.9);
}

TEST_F(HarmonicField, BothSolverBackEndsAgree) {
    DiagCapture quiet;
    if (!loadUmfpackLibrary(std::string(VELMORA_BIN_DIR) + "/")) GTEST_SKIP() << "no UMFPACK wrapper beside the tests";
    addConstraintAtVertex(phase.m_constraints, mesh.verts, vertexAt(0, 0, 0), 0.0);
    addConstraintAtVertex(phase.m_constraints, mesh.verts, vertexAt(4, 4, 4), 1.0);
    ASSERT_TRUE(setSolverBackendForTesting(SolverBackend::Umfpack));
    updateFieldHarmonic(phase, *matrix);
    const std::vector<double> umfpack = phase.m_value;
    setSolverBackendForTesting(SolverBackend::InHouse);
    updateFieldHarmonic(phase, *matrix);
    for (size_t i = 0; i < umfpack.size(); ++i) EXPECT_NEAR(phase.m_value[i], umfpack[i], 1e-9);
    ASSERT_TRUE(setSolverBackendForTesting(SolverBackend::Cholmod));
    updateFieldHarmonic(phase, *matrix);
    EXPECT_EQ(phase.m_factorCache.m_lastUpdateKind, 1);
    for (size_t i = 0; i < umfpack.size(); ++i) EXPECT_NEAR(phase.m_value[i], umfpack[i], 1e-9);
}

TEST_F(HarmonicField, KeptFactorFollowsAddedAndRemovedConstraints) {
    ASSERT_TRUE(setSolverBackendForTesting(SolverBackend::Cholmod));
    for (int j = 0; j <= 4; ++j) {
        addConstraintAtVertex(phase.m_constraints, mesh.verts, vertexAt(0, j, 2), 0.0);
        addConstraintAtVertex(phase.m_constraints, mesh.verts, vertexAt(4, j, 2), 1.0);
    }
    update(phase);
    EXPECT_EQ(phase.m_factorCache.m_lastUpdateKind, 1);
    // The field computed from scratch: a copy starts without a kept factor.
    auto expectFreshField = [&](int expectedKind, const char* what) {
        EXPECT_EQ(phase.m_factorCache.m_lastUpdateKind, expectedKind) << what;
        TSmoothField fresh = phase;
        update(fresh);
        ASSERT_EQ(fresh.m_factorCache.m_lastUpdateKind, 1);
        for (size_t i = 0; i < fresh.m_value.size(); ++i) EXPECT_NEAR(phase.m_value[i], fresh.m_value[i], 1e-9) << what;
    };

    // Two point constraints inside tetrahedra and one on a vertex: an update of the kept factor.
    const std::vector<double> before = phase.m_value;
    TTetSample a, b;
    ASSERT_TRUE(findNearestTetSample(mesh.tets, mesh.verts, vec3(0.6, 1.1, 0.7), a));
    ASSERT_TRUE(findNearestTetSample(mesh.tets, mesh.verts, vec3(1.4, 0.3, 1.9), b));
    addConstraintAtPoint(phase.m_constraints, mesh.verts, a, 1.0);
    addConstraintAtPoint(phase.m_constraints, mesh.verts, b, 0.2);
    addConstraintAtVertex(phase.m_constraints, mesh.verts, vertexAt(2, 2, 4), 0.9);
    update(phase);
    expectFreshField(2, "three added");
    double change = 0.0;
    for (size_t i = 0; i < before.size(); ++i) change = std::max(change, std::abs(phase.m_value[i] - before[i]));
    EXPECT_GT(change, 0.05);

    // One original and one new constraint removed, one target changed (same term, new b).
    phase.m_constraints.erase(phase.m_constraints.begin() + 1);
    phase.m_constraints.erase(phase.m_constraints.end() - 2);
    phase.m_constraints.back().m_target = 0.1;
    update(phase);
    expectFreshField(2, "two removed");

    // More changes than an update is worth: factorised afresh.
    for (int v = 0; v < kMaxIncrementalTerms + 1; ++v) addConstraintAtVertex(phase.m_constraints, mesh.verts, v, 0.5);
    update(phase);
    expectFreshField(1, "many added");

    // A rebuilt matrix (another mesh's, or recompressed) never reuses the factor.
    addConstraintAtVertex(phase.m_constraints, mesh.verts, vertexAt(3, 3, 3), 0.7);
    matrix = buildSmoothingMatrix(static_cast<int>(mesh.verts.size()), mesh.verts, neighbours);
    update(phase);
    expectFreshField(1, "new matrix");
}

TEST_F(HarmonicField, CholeskyFieldDoesNotDependOnTheThreadCount) {
    ASSERT_TRUE(setSolverBackendForTesting(SolverBackend::Cholmod));
    const testmesh::TetData big = testmesh::cube(10, 0.5);
    const std::vector<std::vector<int>> bigNeighbours = fieldtest::neighbourLists(big);
    std::vector<double> results[2];
    for (int threads : {1, 2}) {
        omp_set_num_threads(threads);
        DiagCapture quiet;
        auto bigMatrix = buildSmoothingMatrix(static_cast<int>(big.verts.size()), big.verts, bigNeighbours);
        TSmoothField field;
        field.setup(0.0, 1.0, 0.0, static_cast<int>(big.verts.size()));
        for (int v = 0; v < 121; ++v) addConstraintAtVertex(field.m_constraints, big.verts, v, 0.0);
        for (int v = 0; v < 121; ++v)
            addConstraintAtVertex(field.m_constraints, big.verts, static_cast<int>(big.verts.size()) - 1 - v, 1.0);
        updateFieldHarmonic(field, *bigMatrix);
        addConstraintAtVertex(field.m_constraints, big.verts, 600, 0.3);  // through the kept factor
        updateFieldHarmonic(field, *bigMatrix);
        EXPECT_EQ(field.m_factorCache.m_lastUpdateKind, 2);
        results[threads - 1] = field.m_value;
    }
    omp_set_num_threads(omp_get_num_procs());
    EXPECT_EQ(results[0], results[1]);
}

TEST_F(HarmonicField, ConstraintsOutsideTheMeshAreSkippedAndReported) {
    TConstraint stray;
    for (int& v : stray.m_tetVertex) v = 100000;
    stray.m_weight[0] = 1.0;
    stray.m_target = 0.0;
    phase.m_constraints.push_back(stray);
    addConstraintAtVertex(phase.m_constraints, mesh.verts, 7, 1.0);
    DiagCapture capture;
    updateFieldHarmonic(phase, *matrix);
    EXPECT_TRUE(capture.contains("1 constraints outside"));
    for (double v : phase.m_value) EXPECT_NEAR(v, 1.0, kSolveTol);
}

TEST_F(HarmonicField, ResetEmptiesConstraintsAndRestoresTheDefault) {
    addConstraintAtVertex(amplitude.m_constraints, mesh.verts, 3, -1.0);
    update(amplitude);
    resetField(amplitude);
    EXPECT_TRUE(amplitude.m_constraints.empty());
    ASSERT_EQ(amplitude.m_value.size(), mesh.verts.size());
    for (double v : amplitude.m_value) EXPECT_EQ(v, 1.0);
}
