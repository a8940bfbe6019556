// Structured tetrahedral meshes: a grid of cells split into six tetrahedra each, and the
// 1200-vertex tube that the program recognises by its vertex count.
#pragma once

#include <functional>
#include <vector>

#include "linalg/vec3.h"
#include "mesh/Tetra.h"

/// Vertices and tetrahedra (corners only; neighbours and normals left unset).
struct StructuredTetMesh {
    std::vector<vec3> verts;
    std::vector<Tetra> tets;
};

/// Grid of (nx+1)(ny+1)(nz+1) vertices; vertex (i,j,k) has index (k*(ny+1) + j)*(nx+1) + i and sits
/// at place(i, j, k). Every cell is split into six tetrahedra along its main diagonal (the split is
/// consistent across shared faces); every tetrahedron is positively oriented when place keeps
/// the handedness of (i, j, k), otherwise it is flipped to be so.
StructuredTetMesh makeStructuredGrid(int nx, int ny, int nz, const std::function<vec3(int, int, int)>& place);

/// The tube of exactly 1200 vertices: 10 levels x 4 radial layers x 30 angles, vertex index
/// (level*4 + layer)*30 + angle; radii 3..6 around the y axis, levels 1.5 apart along y (the ring
/// fibre presets treat a model as a body around a vertical axis), positively oriented tetrahedra.
StructuredTetMesh makeTube();
