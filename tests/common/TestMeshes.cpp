// Test meshes built in code.
#include "common/TestMeshes.h"

#include "mesh/StructuredTetMesh.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <utility>

namespace testmesh {

Tetra makeTet(int a, int b, int c, int d) { return makeTetra(a, b, c, d); }

double volume6(const TetData& m, const Tetra& t) {
    return signedVolume6(m.verts[t.vIdx[0]], m.verts[t.vIdx[1]], m.verts[t.vIdx[2]], m.verts[t.vIdx[3]]);
}

TetData singleTet() {
    TetData m;
    m.verts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    m.tets = {makeTet(0, 1, 2, 3)};
    return m;
}

TetData twoTets() {
    TetData m;
    m.verts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 1}};
    m.tets = {makeTet(0, 1, 2, 3), makeTet(4, 1, 3, 2)};
    return m;
}

TetData grid(int nx, int ny, int nz, const std::function<vec3(int, int, int)>& place) {
    StructuredTetMesh m = makeStructuredGrid(nx, ny, nz, place);
    return TetData{std::move(m.verts), std::move(m.tets)};
}

TetData cube(int n, double h) {
    return grid(n, n, n, [h](int i, int j, int k) { return vec3(i * h, j * h, k * h); });
}

TetData tube() {
    StructuredTetMesh m = makeTube();
    return TetData{std::move(m.verts), std::move(m.tets)};
}

void writeTetGen(const TetData& mesh, const std::string& base) {
    std::ofstream node(base + ".node");
    node << mesh.verts.size() << " 3 0 0\n";
    char line[256];
    for (size_t i = 0; i < mesh.verts.size(); ++i) {
        std::snprintf(line, sizeof line, "%zu %.17g %.17g %.17g\n", i, mesh.verts[i].x, mesh.verts[i].y, mesh.verts[i].z);
        node << line;
    }
    std::ofstream ele(base + ".ele");
    ele << mesh.tets.size() << " 4 0\n";
    for (size_t j = 0; j < mesh.tets.size(); ++j) {
        const Tetra& t = mesh.tets[j];
        ele << j << ' ' << t.vIdx[0] << ' ' << t.vIdx[1] << ' ' << t.vIdx[2] << ' ' << t.vIdx[3] << '\n';
    }
}

}  // namespace testmesh
