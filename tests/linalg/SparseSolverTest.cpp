// Loading of the solver library, and both sparse back ends solving the same systems.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <memory>
#include <random>

#include "common/TestFiles.h"
#include "common/TestMeshes.h"
#include "linalg/CholeskyFactor.h"
#include "linalg/Diagnostics.h"
#include "linalg/SparseTestSupport.h"
#include "linalg/TSparseMatrix.h"

namespace {

constexpr double kRelativeTolerance = 1e-9;
const SolverBackend kBackends[] = {SolverBackend::Umfpack, SolverBackend::InHouse};

std::string loadLine(const std::string& dir) {
    return "\n\n!!!!!!!!!!!!!load umfpack dll " + dir + "libvelmora_umfpack.so ......\n";
}

class SparseSolver : public ::testing::Test {
   protected:
    void SetUp() override {
        DiagCapture quiet;
        ASSERT_TRUE(loadUmfpackLibrary(sparsetest::programDir())) << quiet.text();
    }
    void TearDown() override { setSolverBackendForTesting(SolverBackend::Umfpack); }

    // Factorises and solves on the given back end; the matrix keeps no factorisation afterwards.
    static std::vector<double> solveOn(SolverBackend backend, TSparseMatrix& m, const std::vector<double>& b) {
        EXPECT_TRUE(setSolverBackendForTesting(backend));
        std::vector<double> x(b.size(), 0.0);
        m.factorize();
        EXPECT_TRUE(m.hasFactorization());
        m.solve(b.data(), x.data());
        m.freeFactorization();
        return x;
    }

    // Both back ends (and Cholesky on symmetric matrices, if requested) solve m x = b with a small
    // residual and agree with each other.
    static void expectBothSolve(TSparseMatrix& m, const std::vector<double>& b, const char* what,
                                bool withCholesky = false) {
        const std::vector<double> xu = solveOn(SolverBackend::Umfpack, m, b);
        const std::vector<double> xi = solveOn(SolverBackend::InHouse, m, b);
        if (withCholesky) {
            if (!setSolverBackendForTesting(SolverBackend::Cholmod)) {
                ADD_FAILURE() << "built without CHOLMOD";
                return;
            }
            DiagCapture capture;
            const std::vector<double> xc = solveOn(SolverBackend::Cholmod, m, b);
            EXPECT_EQ(capture.text(), "") << what;  // factorised by Cholesky, no LU fallback
            double difference = 0.0;
            for (size_t i = 0; i < xu.size(); ++i) difference = std::max(difference, std::abs(xu[i] - xc[i]));
            EXPECT_LT(difference, kRelativeTolerance * sparsetest::maxAbs(xu)) << what;
        }
        const double scale = sparsetest::maxAbs(xu);
        ASSERT_GT(scale, 0.0) << what;
        for (const std::vector<double>* x : {&xu, &xi}) {
            std::vector<double> r = sparsetest::multiply(m, *x);
            for (size_t i = 0; i < r.size(); ++i) r[i] -= b[i];
            EXPECT_LT(sparsetest::maxAbs(r), kRelativeTolerance * sparsetest::maxAbs(b)) << what;
        }
        double difference = 0.0;
        for (size_t i = 0; i < xu.size(); ++i) difference = std::max(difference, std::abs(xu[i] - xi[i]));
        EXPECT_LT(difference, kRelativeTolerance * scale) << what;
    }
};

/// L^T L of the uniform Laplacian of a cube mesh of cells^3 cells, with 1 added to every step-th
/// diagonal entry (positive definite).
std::unique_ptr<TSparseMatrix> cubeSystem(int cells, int step) {
    const testmesh::TetData mesh = testmesh::cube(cells);
    const int n = static_cast<int>(mesh.verts.size());
    TSparseMatrix l(n, n);
    l.setUniformLaplacian(mesh.verts, sparsetest::neighbourLists(n, mesh.tets));
    auto m = std::make_unique<TSparseMatrix>(n, n);
    m->compress(l.calcGramMatrix(*m));
    for (int v = 0; v < n; v += step) m->addToEntry(v, v, 1.0);
    return m;
}

std::vector<double> randomVector(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::vector<double> v(n);
    for (double& d : v) d = value(rng);
    return v;
}

}  // namespace

TEST_F(SparseSolver, LoadingReportsPathAndSelectsBackEnd) {
    testfiles::TempDir empty;
    const std::string missingDir = empty.path() + "/";
    {
        DiagCapture capture;
        EXPECT_FALSE(loadUmfpackLibrary(missingDir));
        EXPECT_EQ(capture.text(), loadLine(missingDir));
        EXPECT_EQ(activeSolverBackend(), SolverBackend::InHouse);
    }
    const std::string partial = sparsetest::programDir() + "partial_umfpack/";
    const std::pair<const char*, const char*> cases[] = {
        {"symbolic", "fail : t_dll_umfpack_di_symbolic\n"},
        {"numeric_and_free_numeric", "fail : t_dll_umfpack_di_numeric\n"},  // only the first missing one
        {"solve", "fail : t_dll_umfpack_di_solve\n"},
        {"free_symbolic", "fail : t_dll_umfpack_di_free_symbolic\n"},
        {"free_numeric", "fail : t_dll_umfpack_di_free_numeric\n"},
    };
    for (const auto& [variant, message] : cases) {
        const std::string dir = partial + variant + "/";
        DiagCapture capture;
        EXPECT_FALSE(loadUmfpackLibrary(dir)) << variant;
        EXPECT_EQ(capture.text(), loadLine(dir) + message);
        EXPECT_EQ(activeSolverBackend(), SolverBackend::InHouse) << variant;
    }
    DiagCapture capture;
    EXPECT_TRUE(loadUmfpackLibrary(sparsetest::programDir()));
    EXPECT_EQ(capture.text(), loadLine(sparsetest::programDir()) + "Done!!\n");
    EXPECT_EQ(activeSolverBackend(), SolverBackend::Umfpack);
}

TEST_F(SparseSolver, RandomNonSymmetricSystems) {
    for (unsigned seed = 1; seed <= 4; ++seed) {
        const int n = 150 * static_cast<int>(seed);
        TSparseMatrix m(n, n);
        sparsetest::fillRandomSystem(m, seed);
        m.compress(m.entryCount());
        expectBothSolve(m, randomVector(n, seed + 50), "random");
    }
}

TEST_F(SparseSolver, LaplacianSystemWithPenaltiesAddedAndRemoved) {
    const testmesh::TetData mesh = testmesh::cube(6);
    const int n = static_cast<int>(mesh.verts.size());
    TSparseMatrix l(n, n);
    l.setUniformLaplacian(mesh.verts, sparsetest::neighbourLists(n, mesh.tets));
    TSparseMatrix m(n, n);
    m.compress(l.calcGramMatrix(m));

    // A point constraint inside tetrahedron t with barycentric weights w adds weight * w_a w_b to
    // the entries (a, b) among its corners, and weight * value * w_a to the right-hand side.
    const double weight = 1000.0;
    const double w[4] = {0.1, 0.2, 0.3, 0.4};
    auto constrain = [&](int t, double sign, std::vector<double>* b, double value) {
        const Tetra& tet = mesh.tets[t];
        for (int a = 0; a < 4; ++a) {
            for (int c = 0; c < 4; ++c) m.addToEntry(tet.vIdx[a], tet.vIdx[c], sign * weight * w[a] * w[c]);
            if (b != nullptr) (*b)[tet.vIdx[a]] += weight * value * w[a];
        }
    };
    const std::vector<double> original = m.values();

    std::vector<double> b(n, 0.0);
    constrain(0, 1.0, &b, 0.0);
    constrain(static_cast<int>(mesh.tets.size()) - 1, 1.0, &b, 1.0);
    expectBothSolve(m, b, "two constraints", true);

    // Remove them, add others: no compress in between.
    constrain(0, -1.0, nullptr, 0.0);
    constrain(static_cast<int>(mesh.tets.size()) - 1, -1.0, nullptr, 0.0);
    for (size_t e = 0; e < original.size(); ++e) ASSERT_NEAR(m.values()[e], original[e], 1e-9);
    std::fill(b.begin(), b.end(), 0.0);
    constrain(10, 1.0, &b, -1.0);
    constrain(200, 1.0, &b, 2.0);
    constrain(700, 1.0, &b, 0.5);
    expectBothSolve(m, b, "three other constraints", true);
}

TEST_F(SparseSolver, CholeskyRefusalFallsBackToLU) {
    ASSERT_TRUE(setSolverBackendForTesting(SolverBackend::Cholmod));
    const double b[2] = {3.0, 3.0};
    {
        // Symmetric but indefinite: LU solves it, x = (1, 1).
        TSparseMatrix m(2, 2);
        m.appendEntry(0, 0, 1.0);
        m.appendEntry(0, 1, 2.0);
        m.appendEntry(1, 0, 2.0);
        m.appendEntry(1, 1, 1.0);
        m.compress(4);
        DiagCapture capture;
        double x[2] = {0.0, 0.0};
        m.solve(b, x);
        EXPECT_TRUE(capture.contains("Cholesky refused the matrix (not positive definite")) << capture.text();
        EXPECT_NEAR(x[0], 1.0, 1e-14);
        EXPECT_NEAR(x[1], 1.0, 1e-14);
    }
    {
        // Positive definite upper triangle, different lower one: reading one triangle would give
        // the wrong answer. [[2, 1], [0, 3]] x = (3, 3) has x = (1, 1).
        TSparseMatrix m(2, 2);
        m.appendEntry(0, 0, 2.0);
        m.appendEntry(0, 1, 1.0);
        m.appendEntry(1, 1, 3.0);
        m.compress(3);
        DiagCapture capture;
        double x[2] = {0.0, 0.0};
        m.solve(b, x);
        EXPECT_TRUE(capture.contains("Cholesky refused the matrix (not symmetric")) << capture.text();
        EXPECT_NEAR(x[0], 1.0, 1e-14);
        EXPECT_NEAR(x[1], 1.0, 1e-14);
    }
    {
        // L^T L without constraints is singular, but in floating point its Cholesky factor ends with
        // a tiny positive pivot instead of failing: the pivot check must refuse it.
        const testmesh::TetData mesh = testmesh::cube(2);
        const int n = static_cast<int>(mesh.verts.size());
        TSparseMatrix l(n, n);
        l.setUniformLaplacian(mesh.verts, sparsetest::neighbourLists(n, mesh.tets));
        TSparseMatrix m(n, n);
        m.compress(l.calcGramMatrix(m));
        TCholeskyFactor factor;
        std::string message;
        EXPECT_FALSE(factor.factorize(m, message));
        EXPECT_NE(message.find("numerically singular"), std::string::npos) << message;
        EXPECT_FALSE(factor.isValid());
    }
}

TEST_F(SparseSolver, CholeskyUpdateAndDowndateMatchAFreshFactor) {
    const testmesh::TetData mesh = testmesh::cube(5);
    const int n = static_cast<int>(mesh.verts.size());
    TSparseMatrix l(n, n);
    l.setUniformLaplacian(mesh.verts, sparsetest::neighbourLists(n, mesh.tets));
    TSparseMatrix m(n, n);
    m.compress(l.calcGramMatrix(m));
    for (int v = 0; v < n; v += 7) m.addToEntry(v, v, 1.0);  // positive definite

    // Two rank-one terms on tetrahedron corners, the second naming a corner twice.
    const Tetra& t = mesh.tets[17];
    const std::vector<TRankOneTerm> terms = {
        {{t.vIdx[0], t.vIdx[1], t.vIdx[2], t.vIdx[3]}, {3.0, -1.0, 0.5, 2.0}},
        {{t.vIdx[3], t.vIdx[0]}, {1.5, 4.0}},
    };
    const std::vector<double> b = randomVector(n, 9);
    std::string message;
    TCholeskyFactor factor;
    ASSERT_TRUE(factor.factorize(m, message)) << message;
    std::vector<double> before(n), updated(n), fresh(n), restored(n);
    ASSERT_TRUE(factor.solve(b.data(), before.data()));
    ASSERT_TRUE(factor.updateDowndate(terms, false));
    ASSERT_TRUE(factor.solve(b.data(), updated.data()));

    for (const TRankOneTerm& term : terms) {
        for (size_t j = 0; j < term.rows.size(); ++j) {
            for (size_t k = 0; k < term.rows.size(); ++k)
                m.addToEntry(term.rows[j], term.rows[k], term.values[j] * term.values[k]);
        }
    }
    TCholeskyFactor direct;
    ASSERT_TRUE(direct.factorize(m, message)) << message;
    ASSERT_TRUE(direct.solve(b.data(), fresh.data()));
    const double scale = sparsetest::maxAbs(fresh);
    double differenceFromBefore = 0.0;
    for (int i = 0; i < n; ++i) {
        EXPECT_NEAR(updated[i], fresh[i], kRelativeTolerance * scale) << i;
        differenceFromBefore = std::max(differenceFromBefore, std::abs(updated[i] - before[i]));
    }
    EXPECT_GT(differenceFromBefore, 1e-6 * scale);  // the terms did change the solution

    ASSERT_TRUE(factor.updateDowndate(terms, true));
    ASSERT_TRUE(factor.solve(b.data(), restored.data()));
    for (int i = 0; i < n; ++i) EXPECT_NEAR(restored[i], before[i], kRelativeTolerance * scale) << i;

    // A term naming a row outside the matrix is refused and the factor released.
    {
        DiagCapture capture;
        EXPECT_FALSE(factor.updateDowndate({{{n}, {1.0}}}, false));
        EXPECT_TRUE(capture.contains("updateDowndate: row " + std::to_string(n) + " outside")) << capture.text();
    }
    EXPECT_FALSE(factor.isValid());
}

TEST_F(SparseSolver, CholeskyUpdatesAreHeldToTheFactorisationsPivotCheck) {
    ASSERT_TRUE(setSolverBackendForTesting(SolverBackend::Cholmod));
    // A field's system: L^T L of a mesh (singular: constants) held by penalty terms on tetrahedra,
    // and beside it a small detached block beta [[2, -1], [-1, 2]], far weaker than the rest,
    // held by a unit penalty on each of its two rows.
    const testmesh::TetData mesh = testmesh::cube(3);
    const int n = static_cast<int>(mesh.verts.size());
    TSparseMatrix l(n, n);
    l.setUniformLaplacian(mesh.verts, sparsetest::neighbourLists(n, mesh.tets));
    TSparseMatrix gram(n, n);
    gram.compress(l.calcGramMatrix(gram));
    const double beta = 1e-12;
    auto penalty = [&](int tet, double weight) {
        const double w[4] = {0.1, 0.2, 0.3, 0.4};
        TRankOneTerm term;
        for (int a = 0; a < 4; ++a) {
            term.rows.push_back(mesh.tets[tet].vIdx[a]);
            term.values.push_back(std::sqrt(weight) * w[a]);
        }
        return term;
    };
    const TRankOneTerm p = penalty(0, 100.0), q = penalty(static_cast<int>(mesh.tets.size()) - 1, 100.0);
    const std::vector<TRankOneTerm> blockPins = {{{n}, {1.0}}, {{n + 1}, {1.0}}};
    // The system with the given terms added entry by entry: what a fresh factorisation sees.
    auto system = [&](const std::vector<TRankOneTerm>& terms) {
        auto m = std::make_unique<TSparseMatrix>(n + 2, n + 2);
        for (int r = 0; r < n; ++r)
            for (const auto& [column, value] : gram.row(r)) m->appendEntry(r, column, value);
        m->appendEntry(n, n, 2 * beta);
        m->appendEntry(n, n + 1, -beta);
        m->appendEntry(n + 1, n, -beta);
        m->appendEntry(n + 1, n + 1, 2 * beta);
        m->compress(m->entryCount());
        for (const TRankOneTerm& t : terms)
            for (size_t j = 0; j < t.rows.size(); ++j)
                for (size_t k = 0; k < t.rows.size(); ++k)
                    m->addToEntry(t.rows[j], t.rows[k], t.values[j] * t.values[k]);
        return m;
    };
    std::vector<double> b = randomVector(n + 2, 31);
    b[n] = beta * (2 * 1.0 - 2.0);  // the block's solution is (1, 2)
    b[n + 1] = beta * (-1.0 + 2 * 2.0);
    std::string message;
    TCholeskyFactor factor;
    ASSERT_TRUE(factor.factorize(*system({p, q, blockPins[0], blockPins[1]}), message)) << message;

    // Removing one of the two mesh penalties leaves a well-conditioned system: the factor is
    // kept, and solves as a fresh one does.
    {
        DiagCapture capture;
        ASSERT_TRUE(factor.updateDowndate({q}, true));
        EXPECT_EQ(capture.text(), "");
    }
    ASSERT_TRUE(factor.isValid());
    TCholeskyFactor fresh;
    ASSERT_TRUE(fresh.factorize(*system({p, blockPins[0], blockPins[1]}), message)) << message;
    std::vector<double> updated(n + 2), expected(n + 2);
    ASSERT_TRUE(factor.solve(b.data(), updated.data()));
    ASSERT_TRUE(fresh.solve(b.data(), expected.data()));
    const double scale = sparsetest::maxAbs(expected);
    for (int i = 0; i < n + 2; ++i) EXPECT_NEAR(updated[i], expected[i], kRelativeTolerance * scale) << i;

    // Removing the block's penalties leaves pivots of about beta beside ones of about ten: a fresh
    // factorisation refuses that, and so must the downdate, whose pivots come from 1 + 2 beta - 1
    // and are off by parts in ten thousand. The caller's fallback (a fresh factorisation, which leaves
    // it to LU) then gives the block's exact solution.
    const std::unique_ptr<TSparseMatrix> weak = system({p});
    EXPECT_FALSE(fresh.factorize(*weak, message));
    EXPECT_NE(message.find("numerically singular"), std::string::npos) << message;
    {
        DiagCapture capture;
        EXPECT_FALSE(factor.updateDowndate(blockPins, true));
        EXPECT_TRUE(capture.contains("updateDowndate: numerically singular")) << capture.text();
    }
    EXPECT_FALSE(factor.isValid());
    std::vector<double> x(n + 2, 0.0);
    if (!factor.solve(b.data(), x.data())) {
        DiagCapture quiet;
        weak->solve(b.data(), x.data());
    }
    EXPECT_NEAR(x[n], 1.0, 1e-9);
    EXPECT_NEAR(x[n + 1], 2.0, 1e-9);

    // Downdating the last penalty of the mesh leaves L^T L, singular, with every pivot positive in
    // floating point; an update towards singularity (a penalty 10^16 times the others) is refused
    // as well.
    ASSERT_TRUE(factor.factorize(*system({p, blockPins[0], blockPins[1]}), message)) << message;
    {
        DiagCapture quiet;
        EXPECT_FALSE(factor.updateDowndate({p}, true));
    }
    EXPECT_FALSE(factor.isValid());
    ASSERT_TRUE(factor.factorize(*system({p, blockPins[0], blockPins[1]}), message)) << message;
    {
        DiagCapture quiet;
        EXPECT_FALSE(factor.updateDowndate({penalty(5, 1e18)}, false));
    }
    EXPECT_FALSE(factor.isValid());
    EXPECT_FALSE(fresh.factorize(*system({p, penalty(5, 1e18), blockPins[0], blockPins[1]}), message));
}

TEST_F(SparseSolver, CholeskyLeavesTheCallersThreadSettingsAsTheyWere) {
    // The factorisation holds its dense kernels and its own loops to one thread while it runs;
    // the simulator and the field loops that come after must find the caller's settings again.
    const std::unique_ptr<TSparseMatrix> system = cubeSystem(5, 5);
    const TSparseMatrix& m = *system;
    const int n = m.rowSize();
    const std::vector<double> b = randomVector(n, 4);
    const int threads = omp_get_max_threads();
    const int dynamic = omp_get_dynamic();
    std::vector<double> first;
    for (const auto& [count, dyn] : {std::pair{2, 0}, std::pair{3, 1}}) {
        omp_set_num_threads(count);
        omp_set_dynamic(dyn);
        std::string message;
        TCholeskyFactor factor;
        ASSERT_TRUE(factor.factorize(m, message)) << message;
        std::vector<double> x(n);
        ASSERT_TRUE(factor.updateDowndate({{{0, 1}, {1.0, 2.0}}}, false));
        ASSERT_TRUE(factor.solve(b.data(), x.data()));
        EXPECT_EQ(omp_get_max_threads(), count);
        EXPECT_EQ(omp_get_dynamic(), dyn);
        if (first.empty())
            first = x;
        else
            EXPECT_EQ(x, first);  // bit for bit, whatever the caller's settings
    }
    omp_set_num_threads(threads);
    omp_set_dynamic(dynamic);
}

TEST_F(SparseSolver, SeveralRightHandSidesSolvedTogetherMatchOneByOne) {
    const std::unique_ptr<TSparseMatrix> system = cubeSystem(4, 3);
    TSparseMatrix& m = *system;
    const int n = m.rowSize();
    std::vector<double> b = randomVector(n, 11);
    const std::vector<double> second = randomVector(n, 12);
    b.insert(b.end(), second.begin(), second.end());
    std::string message;
    TCholeskyFactor factor;
    ASSERT_TRUE(factor.factorize(m, message)) << message;
    std::vector<double> together(2 * n, 0.0), alone(2 * n, 0.0);
    ASSERT_TRUE(factor.solve(b.data(), together.data(), 2));
    ASSERT_TRUE(factor.solve(b.data(), alone.data()));
    ASSERT_TRUE(factor.solve(b.data() + n, alone.data() + n));
    const double scale = sparsetest::maxAbs(alone);
    for (int i = 0; i < 2 * n; ++i) EXPECT_NEAR(together[i], alone[i], 1e-12 * scale) << i;
    // The LU back ends take the columns one by one.
    for (SolverBackend backend : kBackends) {
        ASSERT_TRUE(setSolverBackendForTesting(backend));
        std::vector<double> lu(2 * n, 0.0);
        m.freeFactorization();
        m.solve(b.data(), lu.data(), 2);
        for (int i = 0; i < 2 * n; ++i) EXPECT_NEAR(lu[i], alone[i], kRelativeTolerance * scale) << i;
    }
}

TEST_F(SparseSolver, FactorsBuiltInTheMemoryOfEarlierOnesSolveCorrectly) {
    // Large factors hand their memory to the next factorisation; what was left in it must not
    // leak into the new factor. The first system leaves its values, the second must not see them.
    const std::unique_ptr<TSparseMatrix> first = cubeSystem(13, 2), second = cubeSystem(13, 9);
    const int n = second->rowSize();
    const std::vector<double> b = randomVector(n, 21);
    std::string message;
    std::vector<double> x(n, 0.0);
    {
        TCholeskyFactor factor;
        ASSERT_TRUE(factor.factorize(*first, message)) << message;
        ASSERT_TRUE(factor.solve(b.data(), x.data()));
    }
    TCholeskyFactor factor;
    ASSERT_TRUE(factor.factorize(*second, message)) << message;
    ASSERT_TRUE(factor.solve(b.data(), x.data()));
    const std::vector<double> lu = solveOn(SolverBackend::Umfpack, *second, b);
    const double scale = sparsetest::maxAbs(lu);
    for (int i = 0; i < n; ++i) ASSERT_NEAR(x[i], lu[i], kRelativeTolerance * scale) << i;
}

TEST_F(SparseSolver, ChoosingTheBackEndByName) {
    DiagCapture capture;
    EXPECT_EQ(chooseSolverBackend(sparsetest::programDir(), "umfpack"), SolverBackend::Umfpack);
    EXPECT_EQ(chooseSolverBackend(sparsetest::programDir(), "lu"), SolverBackend::InHouse);
    EXPECT_EQ(chooseSolverBackend(sparsetest::programDir(), "cholmod"), SolverBackend::Cholmod);
    // Without a UMFPACK library "umfpack" leaves the in-house LU, after the load lines.
    testfiles::TempDir empty;
    capture.clear();
    EXPECT_EQ(chooseSolverBackend(empty.path() + "/", "umfpack"), SolverBackend::InHouse);
    EXPECT_TRUE(capture.contains("load umfpack dll")) << capture.text();
    SolverBackend parsed = SolverBackend::InHouse;
    EXPECT_FALSE(parseSolverBackend("superlu", parsed));
    EXPECT_TRUE(parseSolverBackend("cholmod", parsed));
    EXPECT_EQ(parsed, SolverBackend::Cholmod);
}

TEST_F(SparseSolver, RefactorizingUsesTheCurrentValues) {
    for (SolverBackend backend : kBackends) {
        ASSERT_TRUE(setSolverBackendForTesting(backend));
        TSparseMatrix m(2, 2);
        m.appendEntry(0, 0, 2.0);
        m.appendEntry(0, 1, 1.0);
        m.appendEntry(1, 0, 1.0);
        m.appendEntry(1, 1, 3.0);
        m.compress(4);
        const double b[2] = {3.0, 4.0};
        double x[2] = {0.0, 0.0};
        m.solve(b, x);  // factorises on demand
        EXPECT_NEAR(x[0], 1.0, 1e-12);
        EXPECT_NEAR(x[1], 1.0, 1e-12);
        m.addToEntry(0, 0, 1.0);  // [[3, 1], [1, 3]]
        m.factorize();            // replaces the earlier factorisation
        m.solve(b, x);
        EXPECT_NEAR(x[0], 0.625, 1e-12);
        EXPECT_NEAR(x[1], 1.125, 1e-12);
    }
}

TEST_F(SparseSolver, InHousePivotIsTheFirstOfTheLargest) {
    ASSERT_TRUE(setSolverBackendForTesting(SolverBackend::InHouse));
    TSparseMatrix m(3, 3);  // column 0 holds 1, -2, 2: rows 1 and 2 tie, row 1 comes first
    m.appendEntry(0, 0, 1.0);
    m.appendEntry(0, 1, 1.0);
    m.appendEntry(1, 0, -2.0);
    m.appendEntry(1, 2, 1.0);
    m.appendEntry(2, 0, 2.0);
    m.appendEntry(2, 1, 3.0);
    m.compress(6);
    m.factorize();
    ASSERT_TRUE(m.hasFactorization());
    EXPECT_EQ(m.luPerm()[0], 1);
    // Row 0 of the factors is A's row 1 with its pivot -2 on the diagonal.
    EXPECT_EQ(m.luColIndex()[m.luRowStart()[0]], 0);
    EXPECT_EQ(m.luValues()[m.luRowStart()[0]], -2.0);
    const double b[3] = {2.0, -1.0, 5.0};  // x = (1, 1, 1)
    double x[3] = {0.0, 0.0, 0.0};
    m.solve(b, x);
    for (double v : x) EXPECT_NEAR(v, 1.0, 1e-14);
}

TEST_F(SparseSolver, SingularMatrixIsReportedAndSolutionLeftAlone) {
    for (SolverBackend backend : kBackends) {
        ASSERT_TRUE(setSolverBackendForTesting(backend));
        TSparseMatrix m(3, 3);  // column 2 is empty
        m.appendEntry(0, 0, 1.0);
        m.appendEntry(0, 1, 2.0);
        m.appendEntry(1, 1, 1.0);
        m.appendEntry(2, 0, 1.0);
        m.compress(4);
        DiagCapture capture;
        m.factorize();
        EXPECT_TRUE(m.factorizationFailed());
        EXPECT_TRUE(capture.contains("singular")) << capture.text();
        double x[3] = {7.0, 7.0, 7.0};
        const double b[3] = {1.0, 1.0, 1.0};
        m.solve(b, x);
        EXPECT_TRUE(capture.contains("solution left unchanged"));
        EXPECT_EQ(x[0], 7.0);
        EXPECT_EQ(x[2], 7.0);
    }
}

TEST_F(SparseSolver, UmfpackErrorStatusIsReported) {
    TSparseMatrix m(2, 2);
    m.appendEntry(0, 1, 1.0);  // columns out of order: UMFPACK rejects the matrix
    m.appendEntry(0, 0, 1.0);
    m.appendEntry(1, 1, 1.0);
    m.compress(3);
    DiagCapture capture;
    m.factorize();
    EXPECT_TRUE(capture.contains("UMFPACK symbolic analysis failed (status -8)")) << capture.text();
    double x[2] = {5.0, 5.0};
    const double b[2] = {1.0, 1.0};
    m.solve(b, x);
    EXPECT_EQ(x[0], 5.0);
}

TEST_F(SparseSolver, FactorisationOutlivesABackEndChange) {
    TSparseMatrix m(2, 2);
    m.appendEntry(0, 0, 4.0);
    m.appendEntry(1, 1, 2.0);
    m.compress(2);
    m.factorize();
    {
        DiagCapture quiet;
        testfiles::TempDir empty;
        EXPECT_FALSE(loadUmfpackLibrary(empty.path() + "/"));
    }
    const double b[2] = {2.0, 2.0};
    double x[2] = {0.0, 0.0};
    m.solve(b, x);  // still the UMFPACK factorisation, released through its own library
    EXPECT_EQ(x[0], 0.5);
    EXPECT_EQ(x[1], 1.0);
    m.freeFactorization();
    EXPECT_FALSE(m.hasFactorization());
}

TEST_F(SparseSolver, FactorizeBeforeCompressIsReported) {
    TSparseMatrix m(2, 2);
    m.appendEntry(0, 0, 1.0);
    DiagCapture capture;
    m.factorize();
    EXPECT_EQ(capture.text(), "error mat field is not ready!\n          ");
    EXPECT_FALSE(m.hasFactorization());
}
