// TTetMesh: a tetrahedral mesh as read from a file, with face neighbours and face normals.
#pragma once

#include <vector>

#include "linalg/vec3.h"
#include "mesh/Tetra.h"

/// Temporary tetrahedral mesh handed over to the heart model after loading (io/TetGenFile.h reads
/// one from TetGen's .node/.ele files).
struct TTetMesh {
    std::vector<vec3> m_verts;
    std::vector<Tetra> m_tets;
};

/// Fills nbr of every tetrahedron from shared faces (-1 on the boundary).
void calcNeighbor(TTetMesh& mesh);

/// Fills faceNorm of every tetrahedron (unit, zero for a degenerate face).
void calcFaceNormals(TTetMesh& mesh);
