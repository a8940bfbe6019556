// TTriangleMesh: indexed triangle surface with normals and a winged-edge adjacency structure.
#pragma once

#include <array>
#include <vector>

#include "linalg/vec3.h"

/// Winged-edge record; -1 means none. faceL runs vMin -> vMax, faceR runs vMax -> vMin.
struct TWingedEdge {
    int prevL = -1, nextL = -1, nextR = -1, prevR = -1;
    int faceL = -1, faceR = -1;
    int vMin = -1, vMax = -1;
};

/// For each vertex v of `vertexCount`, the triangles with a corner at v in ascending order (a
/// triangle once per such corner): items[start[v] .. start[v + 1]). Every corner must be a vertex.
void cornerIncidence(const std::vector<std::array<int, 3>>& triangles, int vertexCount, std::vector<int>& start,
                     std::vector<int>& items);

/// The heart's drawn surface (owned by the model) and the marker sphere. Rebuilt by initialize when
/// the topology changes; only updateNormals runs per frame. Not thread-safe; UI thread only.
class TTriangleMesh {
public:
    using Tri = std::array<int, 3>;

    TTriangleMesh() = default;
    virtual ~TTriangleMesh() = default;
    /// Frees every array, counts 0, invalid.
    virtual void clear();

    /// Builds the mesh from positions and consistently oriented triangles. Returns 1 when the
    /// boundary and structure tests pass, 0 otherwise (with their diagnostic line; arrays kept).
    int initialize(const std::vector<vec3>& positions, const std::vector<Tri>& triangles);
    /// Recomputes triangle and vertex unit normals from m_verts (degenerate triangles give zero).
    void updateNormals();

    /// Neighbour vertices / incident edges / incident triangles of v in rotational order.
    void getOneRingVertices(int v, std::vector<int>& out) const;
    void getOneRingEdges(int v, std::vector<int>& out) const;
    void getOneRingPolygons(int v, std::vector<int>& out) const;
    /// True when an edge incident to v has only one face.
    bool isBoundaryVertex(int v) const;

    /// Nearest ray hit. mode 1: triangles facing the ray, 2: facing away, else all. Returns false
    /// (triangle -1) when nothing is hit.
    bool pickByRay(const vec3& origin, const vec3& direction, int mode, int& triangle, vec3& hit) const;

    /// Replaces the mesh with the 37-vertex, 70-triangle marker sphere of the given radius.
    void createSphere(double radius);

    /// Runs the winged-edge structure test on the arrays as they stand (initialize runs it too);
    /// false after printing the first fault found.
    bool checkStructure() const;

    int vertexCount() const { return static_cast<int>(m_verts.size()); }
    int edgeCount() const { return static_cast<int>(m_edges.size()); }
    int polyCount() const { return static_cast<int>(m_polys.size()); }
    const std::vector<vec3>& verts() const { return m_verts; }
    const std::vector<vec3>& vertexNormals() const { return m_vNorms; }
    const std::vector<Tri>& polys() const { return m_polys; }
    const std::vector<vec3>& polyNormals() const { return m_pNorms; }
    const std::vector<TWingedEdge>& edges() const { return m_edges; }
    /// The three edges of each triangle.
    const std::vector<Tri>& polyEdges() const { return m_pEdges; }
    /// Neighbour vertices of each vertex in rotational order (filled by a successful initialize).
    const std::vector<std::vector<int>>& vertexRings() const { return m_vRingVs; }
    /// 1 after an initialize whose boundary and structure tests passed, else 0.
    int isValid() const { return m_isValid; }

    /// Moves vertex v (0 <= v < vertexCount()); the normals follow on the next updateNormals.
    void setVertex(int v, const vec3& position) { m_verts[v] = position; }
    /// Replaces the normal of vertex v (0 <= v < vertexCount()), for smoothing passes over the
    /// normals updateNormals computed.
    void setVertexNormal(int v, const vec3& normal) { m_vNorms[v] = normal; }

private:
    // Lets tests build meshes that initialize would not (a corner outside the mesh, say).
    friend struct TTriangleMeshTestAccess;

    std::vector<vec3> m_verts;
    std::vector<vec3> m_vNorms;
    std::vector<Tri> m_polys;
    std::vector<vec3> m_pNorms;
    std::vector<TWingedEdge> m_edges;
    std::vector<int> m_vEdge;
    std::vector<Tri> m_pEdges;
    std::vector<std::vector<int>> m_vRingVs;
    /// cornerIncidence of the triangles, built by initialize (and again by updateNormals when the
    /// counts no longer match).
    std::vector<int> m_cornerStart, m_cornerPolys;
    int m_isValid = 0;

    enum class RingItem { Vertex, Edge, Polygon };
    void walkOneRing(int v, RingItem what, std::vector<int>& out) const;
    void buildEdges();
    bool passesStructureTest() const;
};
