// Hole filling: boundary loop walk and centroid-nearest fan caps.
#include "mesh/HoleFilling.h"

#include "linalg/Diagnostics.h"

namespace {

bool isBoundaryEdge(const TWingedEdge& e) { return e.faceL == -1 || e.faceR == -1; }

int otherEnd(const TWingedEdge& e, int v) { return e.vMin == v ? e.vMax : e.vMin; }

/// True when walking edge e away from vertex `from` runs against the edge's only triangle: a
/// faceL triangle runs vMin -> vMax, a faceR triangle vMax -> vMin.
bool runsAgainstItsTriangle(const TWingedEdge& e, int from) { return e.faceL != -1 ? from == e.vMax : from == e.vMin; }

}  // namespace

bool getBoundaryLoop(const TTriangleMesh& mesh, int start, std::vector<int>& loopVertices,
                     std::vector<int>& loopEdges) {
    loopVertices.clear();
    loopEdges.clear();
    if (start < 0 || start >= mesh.vertexCount()) return false;

    // Boundary edges per vertex over the whole edge list rather than one fan: a vertex where two
    // painted fans touch has four boundary edges, and a walk restricted to one of its fans would
    // wander between loops instead of reporting the pinch.
    std::vector<std::vector<int>> boundaryEdgesOf(mesh.vertexCount());
    for (int i = 0; i < mesh.edgeCount(); ++i) {
        const TWingedEdge& e = mesh.edges()[i];
        if (!isBoundaryEdge(e)) continue;
        boundaryEdgesOf[e.vMin].push_back(i);
        boundaryEdgesOf[e.vMax].push_back(i);
    }
    if (boundaryEdgesOf[start].empty()) return false;
    if (boundaryEdgesOf[start].size() != 2) {
        diagPrintf("strange ! 789asfd21\n");
        return false;
    }

    // The direction follows from which side of the first boundary edge its triangle lies on; the
    // combinatorial side also holds for a degenerate triangle, whose normal could not tell.
    const int first = boundaryEdgesOf[start][0];
    int edge = runsAgainstItsTriangle(mesh.edges()[first], start) ? first : boundaryEdgesOf[start][1];
    int current = start;
    loopVertices.push_back(start);
    while (true) {
        loopEdges.push_back(edge);
        const int next = otherEnd(mesh.edges()[edge], current);
        if (next == start) return true;
        loopVertices.push_back(next);
        if (static_cast<int>(loopVertices.size()) > mesh.vertexCount()) break;
        const std::vector<int>& candidates = boundaryEdgesOf[next];
        if (candidates.size() != 2) {
            diagPrintf("strange ! 789asfd21\n");
            break;
        }
        edge = candidates[0] == edge ? candidates[1] : candidates[0];
        current = next;
    }
    loopVertices.clear();
    loopEdges.clear();
    return false;
}

bool fillHole(TTriangleMesh& mesh, int start) {
    std::vector<int> loop, edges;
    if (!getBoundaryLoop(mesh, start, loop, edges)) return false;

    vec3 centroid;
    for (int v : loop) centroid += mesh.verts()[v];
    centroid /= static_cast<double>(loop.size());
    int apex = loop[0];
    double best = (mesh.verts()[apex] - centroid).norm2();
    for (int v : loop) {
        const double d = (mesh.verts()[v] - centroid).norm2();
        if (d < best) {
            best = d;
            apex = v;
        }
    }

    // initialize clears the mesh first, so its arrays are copied before they are handed back.
    std::vector<vec3> positions = mesh.verts();
    std::vector<TTriangleMesh::Tri> triangles = mesh.polys();
    const int k = static_cast<int>(loop.size());
    for (int i = 0; i < k; ++i) {
        const int prev = loop[(i + k - 1) % k];
        const int cur = loop[i];
        if (prev != apex && cur != apex) triangles.push_back({apex, prev, cur});
    }
    mesh.initialize(positions, triangles);
    return true;
}
