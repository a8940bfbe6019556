// Benchmark input: a structured grid of cubes split into tetrahedra, its neighbour lists and the
// smoothing matrix L^T L of its uniform Laplacian, as the heart model builds it.
#pragma once

#include <algorithm>
#include <array>
#include <set>
#include <vector>

#include "linalg/TSparseMatrix.h"
#include "linalg/vec3.h"

namespace benchgrid {

struct Grid {
    std::vector<vec3> verts;
    std::vector<std::array<int, 4>> tets;
    std::vector<std::vector<int>> neighbours;  // vertices sharing a tetrahedron, itself included, ascending
};

/// Cubes of a (cells+1)^3 vertex lattice, each split into the six tetrahedra along its main
/// diagonal. With wall > 0 only the cubes within `wall` layers of the outer boundary are kept (a
/// hollow box, closer to a heart's walls than a solid block); unused vertices are dropped.
inline Grid makeGrid(int cells, int wall = 0) {
    Grid g;
    const int s = cells + 1;
    auto lattice = [s](int i, int j, int k) { return (k * s + j) * s + i; };
    auto kept = [cells, wall](int i, int j, int k) {
        if (wall <= 0) return true;
        const int depth = std::min({i, j, k, cells - 1 - i, cells - 1 - j, cells - 1 - k});
        return depth < wall;
    };
    static const int kAxisOrders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    std::vector<std::array<int, 4>> latticeTets;
    for (int k = 0; k < cells; ++k)
        for (int j = 0; j < cells; ++j)
            for (int i = 0; i < cells; ++i) {
                if (!kept(i, j, k)) continue;
                for (const auto& order : kAxisOrders) {
                    int step[3] = {0, 0, 0};
                    std::array<int, 4> tet{};
                    tet[0] = lattice(i, j, k);
                    for (int c = 0; c < 3; ++c) {
                        step[order[c]] = 1;
                        tet[c + 1] = lattice(i + step[0], j + step[1], k + step[2]);
                    }
                    latticeTets.push_back(tet);
                }
            }
    std::vector<int> index(static_cast<size_t>(s) * s * s, -1);
    for (const auto& t : latticeTets)
        for (int v : t) index[v] = 0;
    for (int v = 0; v < s * s * s; ++v) {
        if (index[v] < 0) continue;
        index[v] = static_cast<int>(g.verts.size());
        g.verts.emplace_back(v % s, (v / s) % s, v / (s * s));
    }
    for (const auto& t : latticeTets) g.tets.push_back({index[t[0]], index[t[1]], index[t[2]], index[t[3]]});
    std::vector<std::set<int>> sets(g.verts.size());
    for (const auto& t : g.tets)
        for (int a : t)
            for (int b : t) sets[a].insert(b);
    for (const auto& set : sets) g.neighbours.emplace_back(set.begin(), set.end());
    return g;
}

/// The uniform Laplacian's transpose in rows, as setUniformLaplacian builds it.
inline void buildLaplacian(const Grid& g, TSparseMatrix& l) { l.setUniformLaplacian(g.verts, g.neighbours); }

/// L^T L compressed, with point constraints of the given weight at `count` tetrahedra spread over
/// the grid (weights w_a w_b on the entries among the corners, as the field solver adds them).
inline std::vector<double> smoothingSystem(const Grid& g, TSparseMatrix& lTl, int count, double weight) {
    const int n = static_cast<int>(g.verts.size());
    TSparseMatrix l(n, n);
    buildLaplacian(g, l);
    lTl.compress(l.calcGramMatrix(lTl));
    std::vector<double> b(n, 0.0);
    const double w[4] = {0.1, 0.2, 0.3, 0.4};
    for (int c = 0; c < count; ++c) {
        const auto& t = g.tets[(static_cast<size_t>(c) * 7919u) % g.tets.size()];
        for (int a = 0; a < 4; ++a) {
            for (int d = 0; d < 4; ++d) lTl.addToEntry(t[a], t[d], weight * w[a] * w[d]);
            b[t[a]] += weight * (c % 2) * w[a];
        }
    }
    return b;
}

}  // namespace benchgrid
