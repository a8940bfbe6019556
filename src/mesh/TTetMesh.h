// TTetMesh: a tetrahedral mesh as read from a file, with face neighbours, face normals and the
// vertex stars.
#pragma once

#include <array>
#include <vector>

#include "linalg/vec3.h"
#include "mesh/Tetra.h"

/// Temporary tetrahedral mesh handed over to the heart model after loading (io/TetGenFile.h reads
/// one from TetGen's .node/.ele files).
struct TTetMesh {
    std::vector<vec3> m_verts;
    std::vector<Tetra> m_tets;
};

/// Fills nbr of every tetrahedron from shared faces (-1 on the boundary). A face shared by three
/// or more tetrahedra is reported once ("error in calcNeighbor() ...") and stops the search there,
/// leaving the later tetrahedra as they were.
void calcNeighbor(TTetMesh& mesh);

/// The unit face normals of every tetrahedron (tetFaceNormal of faces 0..3; zero for a degenerate
/// face), one array per tetrahedron in the mesh's order.
std::vector<std::array<vec3, 4>> calcFaceNormals(const TTetMesh& mesh);

/// The star of every vertex in compressed rows: the corners of the tetrahedra that use vertex v
/// (v itself included), ascending and without repeats, are list[start[v] .. start[v + 1]); empty
/// for a vertex no tetrahedron uses. Corners outside [0, vertexCount) are skipped.
void buildVertexStars(const std::vector<Tetra>& tets, int vertexCount, std::vector<int>& start, std::vector<int>& list);
