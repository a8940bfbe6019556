// Assembly, compressed form, Gram product and uniform Laplacian of TSparseMatrix.
#include <omp.h>

#include <gtest/gtest.h>

#include <random>

#include "common/TestMeshes.h"
#include "linalg/Diagnostics.h"
#include "linalg/TSparseMatrix.h"
#include "linalg/SparseTestSupport.h"

namespace {

using Rows = std::vector<std::vector<TSparseMatrix::Entry>>;

// The Gram product by its definition: every pair of rows merged over their ascending columns.
Rows pairwiseGram(const TSparseMatrix& m) {
    Rows out(m.rowSize());
    for (int j = 0; j < m.rowSize(); ++j) {
        const auto& a = m.row(j);
        if (a.empty()) continue;
        for (int k = 0; k < m.rowSize(); ++k) {
            const auto& b = m.row(k);
            size_t p = 0, q = 0;
            bool common = false;
            double sum = 0.0;
            while (p < a.size() && q < b.size()) {
                if (a[p].first < b[q].first) ++p;
                else if (a[p].first > b[q].first) ++q;
                else {
                    sum += a[p++].second * b[q++].second;
                    common = true;
                }
            }
            if (common) out[j].emplace_back(k, sum);
        }
    }
    return out;
}

Rows rowsOf(const TSparseMatrix& m) {
    Rows out;
    for (int r = 0; r < m.rowSize(); ++r) out.push_back(m.row(r));
    return out;
}

size_t totalEntries(const Rows& rows) {
    size_t n = 0;
    for (const auto& r : rows) n += r.size();
    return n;
}

// The compressed arrays hold exactly the row lists.
void expectFormsEqual(const TSparseMatrix& m) {
    ASSERT_TRUE(m.isCompressed());
    for (int r = 0; r < m.rowSize(); ++r) {
        ASSERT_EQ(m.rowStart()[r + 1] - m.rowStart()[r], static_cast<int>(m.row(r).size())) << "row " << r;
        for (size_t i = 0; i < m.row(r).size(); ++i) {
            EXPECT_EQ(m.colIndex()[m.rowStart()[r] + i], m.row(r)[i].first);
            EXPECT_EQ(m.values()[m.rowStart()[r] + i], m.row(r)[i].second);
        }
    }
}

}  // namespace

TEST(TSparseMatrixAssembly, ConstructorReportsSizeAndCompressCopiesRowsInOrder) {
    DiagCapture capture;
    TSparseMatrix m(3, 3);
    EXPECT_EQ(capture.text(), "TSparseMatrix created 3 3\n");
    m.appendEntry(0, 0, 1.0);
    m.appendEntry(0, 2, 2.0);
    m.appendEntry(2, 1, 3.0);
    m.compress(3);
    EXPECT_EQ(m.rowStart(), (std::vector<int>{0, 2, 2, 3}));
    EXPECT_EQ(m.colIndex(), (std::vector<int>{0, 2, 1}));
    EXPECT_EQ(m.values(), (std::vector<double>{1.0, 2.0, 3.0}));
}

TEST(TSparseMatrixAssembly, WrongCountOrOutOfRangeEntriesCannotCorruptTheArrays) {
    TSparseMatrix m(2, 2);
    DiagCapture capture;
    m.appendEntry(2, 0, 1.0);
    m.appendEntry(0, -1, 1.0);
    EXPECT_EQ(m.entryCount(), 0);
    EXPECT_TRUE(capture.contains("outside the 2 x 2 matrix"));
    m.appendEntry(0, 0, 1.0);
    m.appendEntry(1, 1, 4.0);
    capture.clear();
    m.compress(1);  // fewer than present: the arrays still take every entry
    EXPECT_TRUE(capture.contains("1 entries announced, 2 present"));
    expectFormsEqual(m);
}

TEST(TSparseMatrixAssembly, AddToEntryKeepsBothFormsEqualAndNeverGrowsThePattern) {
    TSparseMatrix m(3, 3);
    m.appendEntry(0, 0, 1.0);
    m.appendEntry(0, 2, 2.0);
    m.appendEntry(1, 1, 3.0);
    m.addToEntry(0, 2, 0.5);  // before compress: lists only
    EXPECT_EQ(m.row(0)[1].second, 2.5);
    m.compress(3);
    m.addToEntry(0, 2, 1.0);
    m.addToEntry(1, 1, -3.0);
    m.addToEntry(0, 1, 7.0);  // no such entry
    m.addToEntry(2, 2, 7.0);  // empty row
    m.addToEntry(5, 0, 7.0);  // no such row
    EXPECT_EQ(m.row(0)[1].second, 3.5);
    EXPECT_EQ(m.row(1)[0].second, 0.0);
    EXPECT_EQ(m.entryCount(), 3);
    expectFormsEqual(m);
}

TEST(TSparseMatrixAssembly, ClearKeepsEmptyRowsAndDropsCompressedForm) {
    TSparseMatrix m(2, 2);
    m.appendEntry(0, 0, 1.0);
    m.appendEntry(1, 1, 1.0);
    m.compress(2);
    m.factorize();
    m.clear();
    EXPECT_EQ(m.rowSize(), 2);
    EXPECT_EQ(m.entryCount(), 0);
    EXPECT_FALSE(m.isCompressed());
    EXPECT_FALSE(m.hasFactorization());
    DiagCapture capture;
    double x[2] = {9.0, 9.0};
    const double b[2] = {1.0, 1.0};
    m.solve(b, x);
    EXPECT_EQ(capture.text(), "error mat field is not ready!\n          ");
    EXPECT_EQ(x[0], 9.0);
}

TEST(TSparseMatrixGram, EdgeCasesOfTheDefinition) {
    TSparseMatrix m(4, 3);
    m.appendEntry(0, 0, 1.0);  // rows 0 and 1 share columns 0 and 1 with products summing to 0
    m.appendEntry(0, 1, 1.0);
    m.appendEntry(1, 0, 2.0);
    m.appendEntry(1, 1, -2.0);
    m.appendEntry(3, 2, 3.0);  // row 3 shares nothing with 0 and 1; row 2 is empty
    TSparseMatrix g(4, 4);
    EXPECT_EQ(m.calcGramMatrix(g), 5);
    EXPECT_EQ(g.row(0), (std::vector<TSparseMatrix::Entry>{{0, 2.0}, {1, 0.0}}));
    EXPECT_EQ(g.row(1), (std::vector<TSparseMatrix::Entry>{{0, 0.0}, {1, 8.0}}));
    EXPECT_TRUE(g.row(2).empty());
    EXPECT_EQ(g.row(3), (std::vector<TSparseMatrix::Entry>{{3, 9.0}}));
}

TEST(TSparseMatrixGram, EqualsPairwiseDefinitionOnRandomMatrices) {
    for (unsigned seed = 1; seed <= 6; ++seed) {
        // Small integers make zero-sum common columns frequent and every sum exact.
        TSparseMatrix ints(120, 40);
        sparsetest::fillRandomRows(ints, 5, seed, [](std::mt19937& rng) {
            static const double choices[] = {-2.0, -1.0, 1.0, 2.0};
            return choices[rng() % 4];
        });
        TSparseMatrix g(120, 120);
        const int count = ints.calcGramMatrix(g);
        const Rows expected = pairwiseGram(ints);
        EXPECT_EQ(rowsOf(g), expected) << "seed " << seed;
        EXPECT_EQ(static_cast<size_t>(count), totalEntries(expected));
        int zeroSums = 0, emptyRows = 0;  // the cases the definition singles out do occur
        for (int j = 0; j < 120; ++j) {
            emptyRows += ints.row(j).empty() ? 1 : 0;
            for (const auto& e : expected[j]) zeroSums += e.second == 0.0 ? 1 : 0;
        }
        EXPECT_GT(zeroSums, 0);
        EXPECT_GT(emptyRows, 0);

        // Reals: the sums are accumulated in the same column order, so they agree bit for bit.
        TSparseMatrix reals(90, 200);
        std::uniform_real_distribution<double> value(-1.0, 1.0);
        sparsetest::fillRandomRows(reals, 12, seed + 100, [&](std::mt19937& rng) { return value(rng); });
        TSparseMatrix h(90, 90);
        reals.calcGramMatrix(h);
        EXPECT_EQ(rowsOf(h), pairwiseGram(reals)) << "seed " << seed;
    }
}

TEST(TSparseMatrixGram, ResultDoesNotDependOnThreadCount) {
    TSparseMatrix m(3000, 3000);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    sparsetest::fillRandomRows(m, 8, 7, [&](std::mt19937& rng) { return value(rng); });
    const int threads = omp_get_max_threads();
    TSparseMatrix one(3000, 3000), two(3000, 3000);
    omp_set_num_threads(1);
    const int countOne = m.calcGramMatrix(one);
    omp_set_num_threads(2);
    const int countTwo = m.calcGramMatrix(two);
    omp_set_num_threads(threads);
    EXPECT_EQ(countOne, countTwo);
    EXPECT_EQ(rowsOf(one), rowsOf(two));
}

TEST(TSparseMatrixGram, MismatchedResultIsReportedAndLeftAlone) {
    TSparseMatrix m(3, 3);
    m.appendEntry(0, 0, 1.0);
    TSparseMatrix g(2, 2);
    g.appendEntry(1, 1, 5.0);
    DiagCapture capture;
    EXPECT_EQ(m.calcGramMatrix(g), 0);
    EXPECT_EQ(capture.text(), "error 111123\n");
    EXPECT_EQ(g.row(1), (std::vector<TSparseMatrix::Entry>{{1, 5.0}}));
}

TEST(TSparseMatrixLaplacian, RowsHoldTheColumnsOfTheUniformLaplacian) {
    // Path 0 - 1 - 2, lists include the vertex itself; vertex 3 lists only itself.
    const std::vector<vec3> positions(4);
    const std::vector<std::vector<int>> neighbours = {{0, 1}, {0, 1, 2}, {1, 2}, {3}};
    TSparseMatrix m(4, 4);
    m.setUniformLaplacian(positions, neighbours);
    using E = TSparseMatrix::Entry;
    EXPECT_EQ(m.row(0), (std::vector<E>{{0, 1.0}, {1, -0.5}}));
    EXPECT_EQ(m.row(1), (std::vector<E>{{0, -1.0}, {1, 1.0}, {2, -1.0}}));
    EXPECT_EQ(m.row(2), (std::vector<E>{{1, -0.5}, {2, 1.0}}));
    EXPECT_EQ(m.row(3), (std::vector<E>{{3, 1.0}}));

    TSparseMatrix wrong(3, 3);
    wrong.appendEntry(0, 0, 2.0);
    DiagCapture capture;
    wrong.setUniformLaplacian(positions, neighbours);
    EXPECT_EQ(capture.text(), "error1211\n");
    EXPECT_EQ(wrong.entryCount(), 1);
}

TEST(TSparseMatrixLaplacian, GramOfMeshLaplacianIsSymmetricWithConstantNullSpace) {
    const testmesh::TetData mesh = testmesh::cube(4);
    const int n = static_cast<int>(mesh.verts.size());
    TSparseMatrix l(n, n);
    l.setUniformLaplacian(mesh.verts, sparsetest::neighbourLists(n, mesh.tets));
    TSparseMatrix g(n, n);
    const int count = l.calcGramMatrix(g);
    EXPECT_EQ(count, g.entryCount());
    const std::vector<double> ones(n, 1.0);
    EXPECT_LT(sparsetest::maxAbs(sparsetest::multiply(g, ones)), 1e-12);
    for (int j = 0; j < n; ++j) {
        for (const auto& e : g.row(j)) {
            const auto& other = g.row(e.first);
            auto it = std::find_if(other.begin(), other.end(), [j](const auto& o) { return o.first == j; });
            ASSERT_NE(it, other.end());
            EXPECT_EQ(it->second, e.second);
        }
    }
}
