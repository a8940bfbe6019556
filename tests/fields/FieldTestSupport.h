// Helpers for the field tests and benchmarks: vertex neighbourhoods, face neighbours and meshes
// scaled like a loaded model.
#pragma once

#include <algorithm>
#include <array>
#include <map>
#include <vector>

#include "common/TestMeshes.h"
#include "mesh/Tetra.h"

namespace fieldtest {

/// For each vertex every vertex sharing a tetrahedron with it, itself included, ascending.
inline std::vector<std::vector<int>> neighbourLists(const testmesh::TetData& mesh) {
    std::vector<std::vector<int>> lists(mesh.verts.size());
    for (const Tetra& t : mesh.tets) {
        for (int j = 0; j < 4; ++j) {
            for (int k = 0; k < 4; ++k) lists[t.vIdx[j]].push_back(t.vIdx[k]);
        }
    }
    for (std::vector<int>& l : lists) {
        std::sort(l.begin(), l.end());
        l.erase(std::unique(l.begin(), l.end()), l.end());
    }
    return lists;
}

/// Fills nbr of every tetrahedron: the tetrahedron across face k (opposite corner k), or -1.
inline void linkFaceNeighbours(testmesh::TetData& mesh) {
    std::map<std::array<int, 3>, std::pair<int, int>> open;  // sorted face -> (tet, face)
    for (size_t t = 0; t < mesh.tets.size(); ++t) {
        for (int k = 0; k < 4; ++k) {
            std::array<int, 3> face{};
            int f = 0;
            for (int c = 0; c < 4; ++c) {
                if (c != k) face[f++] = mesh.tets[t].vIdx[c];
            }
            std::sort(face.begin(), face.end());
            auto found = open.find(face);
            if (found == open.end()) {
                open.emplace(face, std::make_pair(static_cast<int>(t), k));
            } else {
                mesh.tets[t].nbr[k] = found->second.first;
                mesh.tets[found->second.first].nbr[found->second.second] = static_cast<int>(t);
                open.erase(found);
            }
        }
    }
}

/// A structured grid of nx x ny x nz cells with spacing h, face neighbours linked.
inline testmesh::TetData linkedGrid(int nx, int ny, int nz, double h) {
    testmesh::TetData mesh = testmesh::grid(nx, ny, nz, [h](int i, int j, int k) { return vec3(i * h, j * h, k * h); });
    linkFaceNeighbours(mesh);
    return mesh;
}

/// Index of the vertex nearest to p.
inline int nearestVertex(const testmesh::TetData& mesh, const vec3& p) {
    int best = 0;
    for (size_t i = 1; i < mesh.verts.size(); ++i) {
        if ((mesh.verts[i] - p).norm2() < (mesh.verts[best] - p).norm2()) best = static_cast<int>(i);
    }
    return best;
}

}  // namespace fieldtest
