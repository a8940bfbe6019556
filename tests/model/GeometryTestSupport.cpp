// Models for the geometry tests.
#include "GeometryTestSupport.h"

#include <algorithm>
#include <cmath>

#include "linalg/Diagnostics.h"
#include "mesh/TTetMesh.h"

namespace geomtest {

void setUpModel(TLSMModel& model, const testmesh::TetData& data) {
    {
        DiagCapture quiet;
        model.setUpFromMesh(TTetMesh{data.verts, data.tets}, false);
    }
    const int n = model.vertexCount();
    model.m_orienField.m_depthField.setup(0.0, 1.0, 1.0, n);
    model.m_orienField.m_frames.assign(n, TVertexFrame());
}

testmesh::TetData merge(const testmesh::TetData& a, const testmesh::TetData& b) {
    testmesh::TetData m = a;
    const int shift = static_cast<int>(a.verts.size());
    m.verts.insert(m.verts.end(), b.verts.begin(), b.verts.end());
    for (Tetra t : b.tets) {
        for (int& v : t.vIdx) v += shift;
        m.tets.push_back(t);
    }
    return m;
}

testmesh::TetData thickShell(int n, int thickness) {
    const double half = n / 2.0;
    const testmesh::TetData grid =
        testmesh::grid(n, n, n, [half](int i, int j, int k) { return vec3(i - half, j - half, k - half); });
    const double inner = half - thickness;
    testmesh::TetData shell;
    std::vector<int> newIndex(grid.verts.size(), -1);
    for (Tetra t : grid.tets) {
        vec3 c;
        for (int v : t.vIdx) c += grid.verts[v];
        c /= 4.0;
        if (std::max({std::fabs(c.x), std::fabs(c.y), std::fabs(c.z)}) < inner) continue;
        for (int& v : t.vIdx) {
            if (newIndex[v] == -1) {
                newIndex[v] = static_cast<int>(shell.verts.size());
                shell.verts.push_back(grid.verts[v]);
            }
            v = newIndex[v];
        }
        shell.tets.push_back(t);
    }
    for (vec3& p : shell.verts) {
        const double cubeNorm = std::max({std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
        p = p * (cubeNorm / p.norm());
        p = vec3(p.x, 0.85 * p.y, 0.7 * p.z);
    }
    return shell;
}

testmesh::TetData box(const vec3& origin, int nx, int ny, int nz, const vec3& cellSize) {
    return testmesh::grid(
        nx, ny, nz, [&](int i, int j, int k) { return origin + vec3(i * cellSize.x, j * cellSize.y, k * cellSize.z); });
}

double tetVolume(const testmesh::TetData& data) {
    double v = 0.0;
    for (const Tetra& t : data.tets) v += testmesh::volume6(data, t);
    return v / 6.0;
}

double enclosedVolume(const TTriangleMesh& surface) {
    double v = 0.0;
    for (const TTriangleMesh::Tri& t : surface.polys())
        v += surface.verts()[t[0]].dot(surface.verts()[t[1]].cross(surface.verts()[t[2]]));
    return v / 6.0;
}

int boundaryEdgeCount(const TTriangleMesh& surface) {
    return static_cast<int>(std::count_if(surface.edges().begin(), surface.edges().end(),
                                          [](const TWingedEdge& e) { return e.faceL == -1 || e.faceR == -1; }));
}

ScreenProjection pixelView() {
    ScreenProjection view;
    orthoMatrix(0, 256, 0, 128, -10, 10, view.projection);
    view.viewport[2] = 256;
    view.viewport[3] = 128;
    return view;
}

}  // namespace geomtest
