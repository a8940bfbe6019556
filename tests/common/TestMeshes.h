// Small meshes built in code for the tests: one tetrahedron, two sharing a face, a cube of
// tetrahedra and the structured 1200-vertex tube.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "linalg/vec3.h"
#include "mesh/Tetra.h"

namespace testmesh {

/// Vertices and tetrahedra (corners only; neighbours are left at -1).
struct TetData {
    std::vector<vec3> verts;
    std::vector<Tetra> tets;
};

Tetra makeTet(int a, int b, int c, int d);

/// The unit corner tetrahedron (0,0,0), (1,0,0), (0,1,0), (0,0,1), positively oriented.
TetData singleTet();

/// Two positively oriented tetrahedra sharing the face (1, 2, 3).
TetData twoTets();

/// Structured grid of (nx+1)(ny+1)(nz+1) vertices, each cell split into six tetrahedra
/// (Freudenthal), every tetrahedron positively oriented; vertex (i,j,k) has index
/// (k*(ny+1) + j)*(nx+1) + i and sits at place(i, j, k).
TetData grid(int nx, int ny, int nz, const std::function<vec3(int, int, int)>& place);

/// Cube [0, n*h]^3 of n^3 cells.
TetData cube(int n, double h = 1.0);

/// The tube of exactly 1200 vertices: 10 levels x 4 radial layers x 30 angles, vertex index
/// (level*4 + layer)*30 + angle, split into positively oriented tetrahedra.
TetData tube();

/// Writes a .node/.ele pair (0-based, plain layout) at base.
void writeTetGen(const TetData& mesh, const std::string& base);

/// Six times the signed volume of tetrahedron t.
double volume6(const TetData& mesh, const Tetra& t);

}  // namespace testmesh
