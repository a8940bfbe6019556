// Structured tetrahedral meshes (six-tetrahedron cell split along the main diagonal).
#include "mesh/StructuredTetMesh.h"

#include <cmath>
#include <utility>

namespace {

/// Adds the six tetrahedra of one cell; corner[bits] with bit 0, 1, 2 along the three cell axes.
/// Each tetrahedron follows one monotone path from corner 0 to corner 7, so neighbouring cells
/// split their shared face the same way.
void addCell(StructuredTetMesh& m, const int corner[8]) {
    static const int axisOrders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    for (const auto& order : axisOrders) {
        const int b1 = 1 << order[0];
        const int b2 = b1 | (1 << order[1]);
        Tetra t = makeTetra(corner[0], corner[b1], corner[b2], corner[7]);
        const vec3* p[4] = {&m.verts[t.vIdx[0]], &m.verts[t.vIdx[1]], &m.verts[t.vIdx[2]], &m.verts[t.vIdx[3]]};
        if (signedVolume6(*p[0], *p[1], *p[2], *p[3]) < 0) std::swap(t.vIdx[2], t.vIdx[3]);
        m.tets.push_back(t);
    }
}

}  // namespace

StructuredTetMesh makeStructuredGrid(int nx, int ny, int nz, const std::function<vec3(int, int, int)>& place) {
    StructuredTetMesh m;
    auto index = [&](int i, int j, int k) { return (k * (ny + 1) + j) * (nx + 1) + i; };
    m.verts.reserve(static_cast<size_t>(nx + 1) * (ny + 1) * (nz + 1));
    for (int k = 0; k <= nz; ++k)
        for (int j = 0; j <= ny; ++j)
            for (int i = 0; i <= nx; ++i) m.verts.push_back(place(i, j, k));
    m.tets.reserve(static_cast<size_t>(nx) * ny * nz * 6);
    for (int k = 0; k < nz; ++k)
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i) {
                int corner[8];
                for (int b = 0; b < 8; ++b) corner[b] = index(i + (b & 1), j + ((b >> 1) & 1), k + ((b >> 2) & 1));
                addCell(m, corner);
            }
    return m;
}

StructuredTetMesh makeTube() {
    const double pi = 3.14159265358979323846;
    StructuredTetMesh m;
    auto index = [](int level, int layer, int angle) { return (level * 4 + layer) * 30 + (angle % 30); };
    for (int level = 0; level < 10; ++level)
        for (int layer = 0; layer < 4; ++layer)
            for (int angle = 0; angle < 30; ++angle) {
                const double radius = 3.0 + layer;
                const double phi = angle * 2.0 * pi / 30.0;
                m.verts.emplace_back(radius * std::cos(phi), level * 1.5, radius * std::sin(phi));
            }
    for (int level = 0; level < 9; ++level)
        for (int layer = 0; layer < 3; ++layer)
            for (int angle = 0; angle < 30; ++angle) {
                int corner[8];
                for (int b = 0; b < 8; ++b)
                    corner[b] = index(level + ((b >> 2) & 1), layer + (b & 1), angle + ((b >> 1) & 1));
                addCell(m, corner);
            }
    return m;
}
