// Helpers shared by the sparse matrix tests: random matrices, neighbour lists, program directory.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "linalg/TSparseMatrix.h"
#include "mesh/Tetra.h"

namespace sparsetest {

/// Directory of the running test binary with a trailing '/'.
inline std::string programDir() {
    std::vector<char> buffer(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    std::string path(buffer.data(), length > 0 ? static_cast<size_t>(length) : 0);
    return path.substr(0, path.rfind('/') + 1);
}

/// Appends to m random rows with ascending columns; a row holds 0..maxPerRow entries. Values come
/// from `pick` so tests can choose small integers (exact sums, frequent zero sums) or reals.
template <class Pick>
void fillRandomRows(TSparseMatrix& m, int maxPerRow, unsigned seed, Pick pick) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> count(0, maxPerRow);
    std::uniform_int_distribution<int> column(0, m.colSize() - 1);
    for (int r = 0; r < m.rowSize(); ++r) {
        std::set<int> columns;
        const int wanted = count(rng);
        while (static_cast<int>(columns.size()) < wanted) columns.insert(column(rng));
        for (int c : columns) m.appendEntry(r, c, pick(rng));
    }
}

/// A random non-symmetric n x n system with a few entries per row. A random permutation that moves
/// about one index in seven places one stronger entry per row (keeping the matrix structurally
/// non-singular): most rows hold a diagonal that does not dominate, some hold none, so the
/// factorisation has to pivot.
inline void fillRandomSystem(TSparseMatrix& m, unsigned seed) {
    const int n = m.rowSize();
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    std::uniform_int_distribution<int> column(0, m.colSize() - 1);
    std::vector<int> moved;
    for (int r = 0; r < n; ++r) {
        if (rng() % 7 == 0) moved.push_back(r);
    }
    std::vector<int> strong(n);
    for (int r = 0; r < n; ++r) strong[r] = r;
    for (size_t i = 0; i < moved.size(); ++i) strong[moved[i]] = moved[(i + 1) % moved.size()];
    for (int r = 0; r < n; ++r) {
        std::set<int> columns;
        while (columns.size() < 5) columns.insert(column(rng));
        columns.insert(strong[r]);
        for (int c : columns) m.appendEntry(r, c, c == strong[r] ? 1.5 + value(rng) : value(rng));
    }
}

/// For every vertex, the vertices sharing a tetrahedron with it (itself included), ascending.
inline std::vector<std::vector<int>> neighbourLists(int vertexCount, const std::vector<Tetra>& tets) {
    std::vector<std::set<int>> sets(vertexCount);
    for (const Tetra& t : tets) {
        for (int a = 0; a < 4; ++a) {
            for (int b = 0; b < 4; ++b) sets[t.vIdx[a]].insert(t.vIdx[b]);
        }
    }
    std::vector<std::vector<int>> lists(vertexCount);
    for (int i = 0; i < vertexCount; ++i) lists[i].assign(sets[i].begin(), sets[i].end());
    return lists;
}

/// A x computed from the row lists (independent of the compressed form and of any factorisation).
inline std::vector<double> multiply(const TSparseMatrix& m, const std::vector<double>& x) {
    std::vector<double> y(m.rowSize(), 0.0);
    for (int r = 0; r < m.rowSize(); ++r) {
        for (const auto& e : m.row(r)) y[r] += e.second * x[e.first];
    }
    return y;
}

inline double maxAbs(const std::vector<double>& v) {
    double m = 0.0;
    for (double d : v) m = std::max(m, std::abs(d));
    return m;
}

}  // namespace sparsetest
