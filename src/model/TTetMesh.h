// TTetMesh: the TetGen .node/.ele reader with face neighbours and face normals.
#pragma once

#include <string>
#include <vector>

#include "linalg/vec3.h"
#include "mesh/Tetra.h"

/// Temporary tetrahedral mesh handed over to the heart model after loading.
struct TTetMesh {
    std::vector<vec3> m_verts;
    std::vector<Tetra> m_tets;
};

/// Reads base + ".node" and base + ".ele". Honours TetGen's header fields (attribute columns,
/// boundary markers, nodes per tetrahedron) and accepts 1-based corner numbering when the file
/// cannot be 0-based. Returns false, with one message naming the file and line, when a file is
/// missing or malformed; the mesh is then empty.
bool loadTetMesh(TTetMesh& mesh, const std::string& basePath);

/// Fills nbr of every tetrahedron from shared faces (-1 on the boundary).
void calcNeighbor(TTetMesh& mesh);

/// Fills faceNorm of every tetrahedron (unit, zero for a degenerate face).
void calcFaceNormals(TTetMesh& mesh);
