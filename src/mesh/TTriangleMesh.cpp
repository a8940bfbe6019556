// TTriangleMesh: winged-edge construction, structure checks, one-ring walks, ray picking, sphere.
#include "mesh/TTriangleMesh.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "linalg/Diagnostics.h"
#include "linalg/SmallAlgebra.h"

namespace {
// From this many triangles (or vertices) the normals are computed on all threads.
constexpr int kParallelTriangles = 4096;
}  // namespace

void TTriangleMesh::clear() {
    m_verts.clear();
    m_vNorms.clear();
    m_polys.clear();
    m_pNorms.clear();
    m_edges.clear();
    m_vEdge.clear();
    m_pEdges.clear();
    m_vRingVs.clear();
    m_cornerStart.clear();
    m_cornerPolys.clear();
    m_isValid = 0;
}

int TTriangleMesh::initialize(const std::vector<vec3>& positions, const std::vector<Tri>& triangles) {
    clear();
    m_verts = positions;
    m_polys = triangles;
    for (const Tri& t : m_polys)
        for (int c : t)
            if (c < 0 || c >= vertexCount()) {
                diagPrintf("TTriangleMesh::initialize: corner index %d out of range (%d vertices)\n", c, vertexCount());
                return 0;
            }
    m_vNorms.assign(vertexCount(), vec3());
    m_pNorms.assign(polyCount(), vec3());
    cornerIncidence(m_polys, vertexCount(), m_cornerStart, m_cornerPolys);
    updateNormals();
    buildEdges();

    std::vector<int> boundaryCount(vertexCount(), 0);
    for (const TWingedEdge& e : m_edges) {
        if (e.faceL == -1 || e.faceR == -1) {
            ++boundaryCount[e.vMin];
            ++boundaryCount[e.vMax];
        }
    }
    for (int v = 0; v < vertexCount(); ++v) {
        if (boundaryCount[v] > 2) {
            diagPrintf("this mesh has one or more viertices that connected to more than 2 boundary edges\n");
            return 0;
        }
    }
    if (!passesStructureTest()) {
        diagPrintf("this mesh has strange polygon structure \n");
        return 0;
    }
    m_isValid = 1;
    m_vRingVs.assign(vertexCount(), {});
    for (int v = 0; v < vertexCount(); ++v) getOneRingVertices(v, m_vRingVs[v]);
    return 1;
}

void cornerIncidence(const std::vector<std::array<int, 3>>& triangles, int vertexCount, std::vector<int>& start,
                     std::vector<int>& items) {
    start.assign(static_cast<size_t>(vertexCount) + 1, 0);
    for (const auto& t : triangles)
        for (int c : t) ++start[c + 1];
    for (int v = 0; v < vertexCount; ++v) start[v + 1] += start[v];
    items.resize(start[vertexCount]);
    std::vector<int> fill(start.begin(), start.end() - 1);
    for (int i = 0; i < static_cast<int>(triangles.size()); ++i)
        for (int c : triangles[i]) items[fill[c]++] = i;
}

void TTriangleMesh::updateNormals() {
    const int polys = polyCount();
    const int verts = vertexCount();
    m_pNorms.resize(polys);
    m_vNorms.resize(verts);
    if (m_cornerStart.size() != static_cast<size_t>(verts) + 1 ||
        m_cornerPolys.size() != 3 * static_cast<size_t>(polys))
        cornerIncidence(m_polys, verts, m_cornerStart, m_cornerPolys);
    // The unit normal of every triangle (zero for a degenerate one), then each vertex's sum of its
    // corners' normals in triangle order, which fixes their bits whatever the threads.
#pragma omp parallel if (polys >= kParallelTriangles)
    {
#pragma omp for schedule(static)
        for (int i = 0; i < polys; ++i) {
            const Tri& t = m_polys[i];
            const vec3 n = (m_verts[t[1]] - m_verts[t[0]]).cross(m_verts[t[2]] - m_verts[t[0]]);
            const double len = n.norm();
            m_pNorms[i] = len != 0.0 ? n / len : vec3();
        }
#pragma omp for schedule(static)
        for (int v = 0; v < verts; ++v) {
            vec3 n;
            for (int k = m_cornerStart[v]; k < m_cornerStart[v + 1]; ++k) n += m_pNorms[m_cornerPolys[k]];
            const double len = n.norm();
            m_vNorms[v] = len != 0.0 ? n / len : n;
        }
    }
}

void TTriangleMesh::buildEdges() {
    m_vEdge.assign(vertexCount(), -1);
    m_pEdges.assign(polyCount(), Tri{-1, -1, -1});
    std::vector<std::vector<int>> incident(vertexCount());
    std::vector<TWingedEdge> edges;
    edges.reserve(static_cast<size_t>(polyCount()) * 3 / 2 + 3);

    for (int i = 0; i < polyCount(); ++i) {
        for (int k = 0; k < 3; ++k) {
            const int a = m_polys[i][k];
            const int b = m_polys[i][(k + 1) % 3];
            const int lo = std::min(a, b), hi = std::max(a, b);
            int found = -1;
            for (int e : incident[lo])
                if (edges[e].vMax == hi) {
                    found = e;
                    break;
                }
            if (found == -1) {
                TWingedEdge rec;
                rec.vMin = lo;
                rec.vMax = hi;
                found = static_cast<int>(edges.size());
                edges.push_back(rec);
                incident[lo].push_back(found);
                incident[hi].push_back(found);
            }
            m_vEdge[lo] = found;
            m_vEdge[hi] = found;
            m_pEdges[i][k] = found;
            if (a < b)
                edges[found].faceL = i;
            else
                edges[found].faceR = i;
        }
    }
    for (int i = 0; i < polyCount(); ++i) {
        for (int k = 0; k < 3; ++k) {
            const int e = m_pEdges[i][k];
            const int p = m_pEdges[i][(k + 2) % 3];
            const int q = m_pEdges[i][(k + 1) % 3];
            if (m_polys[i][k] == edges[e].vMin) {
                edges[e].prevL = p;
                edges[e].nextL = q;
            } else {
                edges[e].prevR = p;
                edges[e].nextR = q;
            }
        }
    }
    m_edges = std::move(edges);
}

namespace {
int otherEnd(const TWingedEdge& e, int v) { return e.vMin == v ? e.vMax : e.vMin; }

bool sameTriangle(const TTriangleMesh::Tri& t, int a, int b, int c) {
    auto has = [&](int x) { return t[0] == x || t[1] == x || t[2] == x; };
    return has(a) && has(b) && has(c) && a != b && b != c && a != c;
}

bool sameEdgeSet(const TTriangleMesh::Tri& t, int a, int b, int c) { return sameTriangle(t, a, b, c); }
}  // namespace

bool TTriangleMesh::passesStructureTest() const {
    std::vector<int> refCount(edgeCount(), 0);
    for (const Tri& pe : m_pEdges)
        for (int e : pe) ++refCount[e];

    for (int i = 0; i < edgeCount(); ++i) {
        const TWingedEdge& e = m_edges[i];
        if (e.faceL == -1 || e.faceR == -1) continue;
        const int w[4] = {e.prevL, e.nextL, e.nextR, e.prevR};
        bool distinct = true;
        for (int a = 0; a < 4; ++a)
            for (int b = a + 1; b < 4; ++b)
                if (w[a] == w[b]) distinct = false;
        if (!distinct) {
            diagPrintf("wrong #52 %d    %d %d %d %d\n", i, e.prevL, e.nextL, e.nextR, e.prevR);
            return false;
        }
    }

    for (int i = 0; i < edgeCount(); ++i) {
        const TWingedEdge& e = m_edges[i];
        if (refCount[i] > 2) {
            diagPrintf("edge[%d] is referred from %d polygons!\n", i, refCount[i]);
            return false;
        }
        if (e.faceL != -1) {
            if (e.prevL < 0 || e.nextL < 0) {
                diagPrintf("wrong #1 edge == %d\n", i);
                return false;
            }
            const int w = otherEnd(m_edges[e.prevL], e.vMin);
            if (w != otherEnd(m_edges[e.nextL], e.vMax)) {
                diagPrintf("wrong #1 edge == %d\n", i);
                return false;
            }
            if (!sameTriangle(m_polys[e.faceL], e.vMin, e.vMax, w)) {
                diagPrintf("wrong #2 edge == %d\n", i);
                return false;
            }
            if (!sameEdgeSet(m_pEdges[e.faceL], i, e.prevL, e.nextL)) {
                diagPrintf("wrong #3 edge == %d\n", i);
                return false;
            }
        }
        if (e.faceR != -1) {
            if (e.prevR < 0 || e.nextR < 0) {
                diagPrintf("wrong #4 edge == %d\n", i);
                return false;
            }
            const int w = otherEnd(m_edges[e.nextR], e.vMin);
            if (w != otherEnd(m_edges[e.prevR], e.vMax)) {
                diagPrintf("wrong #4 edge == %d\n", i);
                return false;
            }
            if (!sameTriangle(m_polys[e.faceR], e.vMin, e.vMax, w)) {
                diagPrintf("wrong #2 edge == %d\n", i);
                return false;
            }
            if (!sameEdgeSet(m_pEdges[e.faceR], i, e.nextR, e.prevR)) {
                diagPrintf("wrong #2 edge == %d\n", i);
                return false;
            }
        }
    }

    for (int i = 0; i < edgeCount(); ++i) {
        const TWingedEdge& e = m_edges[i];
        if (e.faceL == -1 || e.faceR == -1) continue;
        const Tri& L = m_polys[e.faceL];
        const Tri& R = m_polys[e.faceR];
        const int l0 = L[0], l1 = L[1], l2 = L[2];
        const int r0 = R[0], r1 = R[1], r2 = R[2];
        if (l0 != r0 && l0 != r1 && l0 != r2) {
            if (r0 == l1) {
                if (r2 != l2) { diagPrintf("wrong122\n"); return false; }
            } else if (r1 == l1) {
                if (r0 != l2) { diagPrintf("wrong12\n"); return false; }
            } else if (!(r2 == l1 && r1 == l2)) {
                diagPrintf("wrong1123143\n");
                return false;
            }
            continue;
        }
        bool ok = false;
        if (l0 == r2) ok = (r1 == l1 || r0 == l2);
        else if (l0 == r1) ok = (r0 == l1 || r2 == l2);
        else if (l0 == r0) ok = (r2 == l1 || r1 == l2);
        if (!ok) {
            diagPrintf("wrong #11 %d \n", i);
            return false;
        }
    }
    return true;
}

bool TTriangleMesh::checkStructure() const { return passesStructureTest(); }

void TTriangleMesh::walkOneRing(int v, RingItem what, std::vector<int>& out) const {
    out.clear();
    if (edgeCount() == 0 || v < 0 || v >= vertexCount()) return;
    const int s = m_vEdge[v];
    if (s < 0) return;
    // The walks can only loop on a broken structure; the budget keeps them finite anyway.
    const int budget = edgeCount() + 1;

    auto nearFace = [&](const TWingedEdge& e) { return e.vMin == v ? e.faceL : e.faceR; };
    auto farFace = [&](const TWingedEdge& e) { return e.vMin == v ? e.faceR : e.faceL; };
    auto prevEdge = [&](const TWingedEdge& e) { return e.vMin == v ? e.prevL : e.prevR; };
    auto nextEdge = [&](const TWingedEdge& e) { return e.vMin == v ? e.nextR : e.nextL; };

    int e = s;
    bool hitBoundary = false;
    for (int step = 0; step < budget; ++step) {
        const TWingedEdge& rec = m_edges[e];
        const int pred = prevEdge(rec);
        if (what == RingItem::Vertex) out.push_back(otherEnd(rec, v));
        else if (what == RingItem::Edge) out.push_back(e);
        else if (pred != -1) out.push_back(nearFace(rec));
        if (pred == -1) {
            hitBoundary = true;
            break;
        }
        e = pred;
        if (e == s) break;
    }
    if (!hitBoundary) return;

    e = s;
    for (int step = 0; step < budget; ++step) {
        const TWingedEdge& rec = m_edges[e];
        const int next = nextEdge(rec);
        if (what == RingItem::Polygon && next != -1) out.push_back(farFace(rec));
        if (next == -1) break;
        e = next;
        if (what == RingItem::Vertex) out.push_back(otherEnd(m_edges[e], v));
        else if (what == RingItem::Edge) out.push_back(e);
    }
}

void TTriangleMesh::getOneRingVertices(int v, std::vector<int>& out) const { walkOneRing(v, RingItem::Vertex, out); }
void TTriangleMesh::getOneRingEdges(int v, std::vector<int>& out) const { walkOneRing(v, RingItem::Edge, out); }
void TTriangleMesh::getOneRingPolygons(int v, std::vector<int>& out) const { walkOneRing(v, RingItem::Polygon, out); }

bool TTriangleMesh::isBoundaryVertex(int v) const {
    std::vector<int> ring;
    getOneRingEdges(v, ring);
    for (int e : ring)
        if (m_edges[e].faceL == -1 || m_edges[e].faceR == -1) return true;
    return false;
}

bool TTriangleMesh::pickByRay(const vec3& origin, const vec3& direction, int mode, int& triangle, vec3& hit) const {
    double best = std::numeric_limits<double>::max();
    triangle = -1;
    for (int i = 0; i < polyCount(); ++i) {
        const vec3& a = m_verts[m_polys[i][0]];
        const vec3 e1 = m_verts[m_polys[i][1]] - a;
        const vec3 e2 = m_verts[m_polys[i][2]] - a;
        vec3 n = e1.cross(e2);
        makeUnit(n);
        const double facing = n.dot(direction);
        if (mode == 1 && !(facing < 0)) continue;
        if (mode == 2 && !(facing > 0)) continue;
        // Columns e1, e2, -D; solve for (u, v, t).
        double m[9] = {e1.x, e2.x, -direction.x, e1.y, e2.y, -direction.y, e1.z, e2.z, -direction.z};
        if (!invert3x3(m)) continue;
        const vec3 r = origin - a;
        const double u = m[0] * r.x + m[1] * r.y + m[2] * r.z;
        const double v = m[3] * r.x + m[4] * r.y + m[5] * r.z;
        const double t = m[6] * r.x + m[7] * r.y + m[8] * r.z;
        if (u >= 0 && u <= 1 && v >= 0 && v <= 1 && u + v <= 1 && t >= 0 && t < best) {
            best = t;
            triangle = i;
            hit = origin + direction * t;
        }
    }
    return triangle != -1;
}

void TTriangleMesh::createSphere(double r) {
    const double pi = 3.14159265358979323846;
    std::vector<vec3> verts(37);
    verts[0] = vec3(0, r, 0);
    verts[36] = vec3(0, -r, 0);
    for (int i = 1; i <= 5; ++i) {
        const double theta = i * pi / 6.0;
        for (int j = 0; j <= 6; ++j) {
            const double phi = j * 2.0 * pi / 7.0;
            verts[1 + 7 * (i - 1) + j] =
                vec3(r * std::sin(theta) * std::cos(phi), r * std::cos(theta), -r * std::sin(theta) * std::sin(phi));
        }
    }
    std::vector<Tri> tris;
    tris.reserve(70);
    for (int j = 0; j <= 6; ++j) tris.push_back({0, 1 + j, j == 6 ? 1 : 2 + j});
    for (int o : {8, 15, 22, 29}) {
        for (int j = 0; j <= 6; ++j) {
            const int c = (j + 1) % 7;
            tris.push_back({o - 7 + j, o + j, o + c});
            tris.push_back({o - 7 + j, o + c, o - 7 + c});
        }
    }
    for (int j = 0; j <= 6; ++j) tris.push_back({36, j == 6 ? 29 : 30 + j, 29 + j});
    initialize(verts, tris);
}
