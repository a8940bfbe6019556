// TransmuralCoordinate: linear finite-element Laplace solve with Dirichlet values 0 (cavities)
// and 1 (outer surface), and per-vertex gradients.
#include "fields/TransmuralCoordinate.h"

#include <algorithm>
#include <array>
#include <map>
#include <utility>

#include "linalg/TSparseMatrix.h"

namespace {

/// The constant gradients of the four hat functions of a tetrahedron and its volume; false for a
/// degenerate one.
bool hatGradients(const std::vector<vec3>& p, const Tetra& tet, std::array<vec3, 4>& grad, double& volume) {
    const vec3& p0 = p[tet.vIdx[0]];
    const vec3 e1 = p[tet.vIdx[1]] - p0, e2 = p[tet.vIdx[2]] - p0, e3 = p[tet.vIdx[3]] - p0;
    const double det = e1.dot(e2.cross(e3));
    if (!(std::fabs(det) > 0.0) || !std::isfinite(det)) return false;
    // Rows of the inverse edge matrix: the gradients of the barycentric coordinates 1..3.
    grad[1] = e2.cross(e3) / det;
    grad[2] = e3.cross(e1) / det;
    grad[3] = e1.cross(e2) / det;
    grad[0] = -(grad[1] + grad[2] + grad[3]);
    volume = std::fabs(det) / 6.0;
    return true;
}

/// 1 for the vertices of faces used by exactly one tetrahedron, 0 elsewhere.
std::vector<char> boundaryVertices(const std::vector<Tetra>& tets, size_t n) {
    std::map<std::array<int, 3>, int> faceUse;
    for (const Tetra& tet : tets)
        for (const auto& face : kFaceCornersOutward) {
            std::array<int, 3> key = {tet.vIdx[face[0]], tet.vIdx[face[1]], tet.vIdx[face[2]]};
            std::sort(key.begin(), key.end());
            ++faceUse[key];
        }
    std::vector<char> onBoundary(n, 0);
    for (const auto& [face, uses] : faceUse)
        if (uses == 1)
            for (int v : face) onBoundary[v] = 1;
    return onBoundary;
}

}  // namespace

bool computeTransmuralCoordinate(const std::vector<vec3>& positions, const std::vector<Tetra>& tets,
                                 const std::vector<int>& innerVertices, std::vector<double>& t, std::string& error) {
    t.clear();
    const int n = static_cast<int>(positions.size());
    if (tets.empty()) {
        error = "the mesh has no tetrahedra";
        return false;
    }
    for (const Tetra& tet : tets)
        for (int v : tet.vIdx)
            if (v < 0 || v >= n) {
                error = "a tetrahedron refers to vertex " + std::to_string(v) + " of " + std::to_string(n);
                return false;
            }
    // Boundary values: -1 marks an unknown.
    std::vector<double> fixedValue(n, -1.0);
    const std::vector<char> onBoundary = boundaryVertices(tets, positions.size());
    for (int v = 0; v < n; ++v)
        if (onBoundary[v]) fixedValue[v] = 1.0;
    int innerCount = 0;
    for (int v : innerVertices) {
        if (v < 0 || v >= n) {
            error = "inner vertex " + std::to_string(v) + " is not one of the " + std::to_string(n) + " vertices";
            return false;
        }
        if (fixedValue[v] != 0.0) ++innerCount;
        fixedValue[v] = 0.0;
    }
    int outerCount = 0;
    for (int v = 0; v < n; ++v) outerCount += fixedValue[v] == 1.0;
    if (innerCount == 0 || outerCount == 0) {
        error = innerCount == 0 ? "no inner (cavity) vertex is given" : "no outer surface vertex is left";
        return false;
    }

    std::vector<char> inTet(n, 0);
    for (const Tetra& tet : tets)
        for (int v : tet.vIdx) inTet[v] = 1;
    // Unknowns: the vertices of tetrahedra without a boundary value.
    std::vector<int> unknownOf(n, -1);
    std::vector<int> vertexOf;
    for (int v = 0; v < n; ++v)
        if (inTet[v] && fixedValue[v] < 0.0) {
            unknownOf[v] = static_cast<int>(vertexOf.size());
            vertexOf.push_back(v);
        }
    const int m = static_cast<int>(vertexOf.size());

    std::vector<std::vector<std::pair<int, double>>> rows(m);
    std::vector<double> rhs(m, 0.0);
    for (size_t k = 0; k < tets.size(); ++k) {
        std::array<vec3, 4> grad;
        double volume = 0.0;
        if (!hatGradients(positions, tets[k], grad, volume)) {
            error = "tetrahedron " + std::to_string(k) + " has no volume";
            return false;
        }
        for (int a = 0; a < 4; ++a) {
            const int row = unknownOf[tets[k].vIdx[a]];
            if (row < 0) continue;
            for (int b = 0; b < 4; ++b) {
                const double stiffness = volume * grad[a].dot(grad[b]);
                const int vb = tets[k].vIdx[b];
                if (unknownOf[vb] >= 0)
                    rows[row].emplace_back(unknownOf[vb], stiffness);
                else
                    rhs[row] -= stiffness * fixedValue[vb];
            }
        }
    }

    std::vector<double> solution(m, 0.0);
    if (m > 0) {
        TSparseMatrix matrix(m, m);
        int entries = 0;
        for (int r = 0; r < m; ++r) {
            std::vector<std::pair<int, double>>& row = rows[r];
            std::sort(row.begin(), row.end(), [](const std::pair<int, double>& x, const std::pair<int, double>& y) {
                return x.first < y.first;
            });
            for (size_t i = 0; i < row.size();) {
                double sum = 0.0;
                const int column = row[i].first;
                for (; i < row.size() && row[i].first == column; ++i) sum += row[i].second;
                matrix.appendEntry(r, column, sum);
                ++entries;
            }
            row = {};
        }
        matrix.compress(entries);
        matrix.factorize();
        if (matrix.factorizationFailed() || !matrix.hasFactorization()) {
            error = "the Laplace system cannot be solved (a part of the mesh touches no surface)";
            return false;
        }
        matrix.solve(rhs.data(), solution.data());
    }

    t.assign(n, 0.0);
    for (int v = 0; v < n; ++v)
        if (fixedValue[v] >= 0.0) t[v] = fixedValue[v];
    for (int r = 0; r < m; ++r) {
        const double value = solution[r];
        if (!std::isfinite(value)) {
            t.clear();
            error = "the Laplace solve gave a value that is not a number";
            return false;
        }
        // Obtuse tetrahedra can take the discrete solution a rounding beyond its boundary values.
        t[vertexOf[r]] = std::clamp(value, 0.0, 1.0);
    }
    return true;
}

std::vector<vec3> vertexGradients(const std::vector<vec3>& positions, const std::vector<Tetra>& tets,
                                  const std::vector<double>& values) {
    std::vector<vec3> gradient(positions.size());
    std::vector<double> weight(positions.size(), 0.0);
    for (const Tetra& tet : tets) {
        std::array<vec3, 4> grad;
        double volume = 0.0;
        if (!hatGradients(positions, tet, grad, volume)) continue;
        // Differences from corner 0, so that a tetrahedron with equal values gives exactly zero.
        const double base = values[tet.vIdx[0]];
        vec3 g;
        for (int a = 1; a < 4; ++a) g += grad[a] * (values[tet.vIdx[a]] - base);
        for (int v : tet.vIdx) {
            gradient[v] += g * volume;
            weight[v] += volume;
        }
    }
    for (size_t v = 0; v < gradient.size(); ++v)
        if (weight[v] > 0.0) gradient[v] /= weight[v];
    return gradient;
}

int fillZeroGradients(const std::vector<Tetra>& tets, std::vector<vec3>& gradients, int passes) {
    auto missing = [](const vec3& g) { return !(g.norm2() > 0.0); };
    int left = 0;
    for (const vec3& g : gradients) left += missing(g);
    for (int pass = 0; pass < passes && left > 0; ++pass) {
        // Each sweep reads the gradients of the previous one, so the result does not depend on
        // the order of the tetrahedra.
        std::vector<vec3> sum(gradients.size());
        for (const Tetra& tet : tets)
            for (int a : tet.vIdx) {
                if (!missing(gradients[a])) continue;
                for (int b : tet.vIdx)
                    if (!missing(gradients[b])) sum[a] += gradients[b] / gradients[b].norm();
            }
        left = 0;
        std::vector<vec3> next = gradients;
        for (size_t v = 0; v < gradients.size(); ++v) {
            if (!missing(gradients[v])) continue;
            if (missing(sum[v]))
                ++left;
            else
                next[v] = sum[v];
        }
        gradients = std::move(next);
    }
    return left;
}
