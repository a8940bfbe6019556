// Test meshes built in code.
#include "common/TestMeshes.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <utility>

namespace testmesh {

Tetra makeTet(int a, int b, int c, int d) {
    Tetra t;
    t.vIdx[0] = a;
    t.vIdx[1] = b;
    t.vIdx[2] = c;
    t.vIdx[3] = d;
    return t;
}

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

namespace {
void orientPositively(TetData& m, Tetra& t) {
    if (volume6(m, t) < 0) std::swap(t.vIdx[2], t.vIdx[3]);
}

/// Adds the six Freudenthal tetrahedra of one cell given its eight corner indices c[bits], where
/// bit 0 is the first axis, bit 1 the second and bit 2 the third.
void addCell(TetData& m, const int c[8]) {
    static const int perms[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    for (const auto& p : perms) {
        const int b1 = 1 << p[0];
        const int b2 = b1 | (1 << p[1]);
        Tetra t = makeTet(c[0], c[b1], c[b2], c[7]);
        orientPositively(m, t);
        m.tets.push_back(t);
    }
}
}  // namespace

TetData grid(int nx, int ny, int nz, const std::function<vec3(int, int, int)>& place) {
    TetData m;
    auto index = [&](int i, int j, int k) { return (k * (ny + 1) + j) * (nx + 1) + i; };
    for (int k = 0; k <= nz; ++k)
        for (int j = 0; j <= ny; ++j)
            for (int i = 0; i <= nx; ++i) m.verts.push_back(place(i, j, k));
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i) {
                int c[8];
                for (int b = 0; b < 8; ++b) c[b] = index(i + (b & 1), j + ((b >> 1) & 1), k + ((b >> 2) & 1));
                addCell(m, c);
            }
    return m;
}

TetData cube(int n, double h) {
    return grid(n, n, n, [h](int i, int j, int k) { return vec3(i * h, j * h, k * h); });
}

TetData tube() {
    const double pi = 3.14159265358979323846;
    TetData m;
    auto index = [](int level, int layer, int angle) { return (level * 4 + layer) * 30 + (angle % 30); };
    for (int level = 0; level < 10; ++level)
        for (int layer = 0; layer < 4; ++layer)
            for (int angle = 0; angle < 30; ++angle) {
                const double r = 3.0 + layer;
                const double phi = angle * 2.0 * pi / 30.0;
                m.verts.emplace_back(r * std::cos(phi), r * std::sin(phi), level * 1.5);
            }
    for (int level = 0; level < 9; ++level)
        for (int layer = 0; layer < 3; ++layer)
            for (int angle = 0; angle < 30; ++angle) {
                int c[8];
                for (int b = 0; b < 8; ++b)
                    c[b] = index(level + ((b >> 2) & 1), layer + (b & 1), angle + ((b >> 1) & 1));
                addCell(m, c);
            }
    return m;
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
