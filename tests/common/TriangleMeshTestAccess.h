// Direct access to a triangle mesh's arrays, for tests that need a mesh initialize would refuse
// (a triangle with a corner outside the mesh, triangles without vertices).
#pragma once

#include <vector>

#include "linalg/vec3.h"
#include "mesh/TTriangleMesh.h"

struct TTriangleMeshTestAccess {
    static std::vector<TTriangleMesh::Tri>& polys(TTriangleMesh& mesh) { return mesh.m_polys; }
    static std::vector<vec3>& polyNormals(TTriangleMesh& mesh) { return mesh.m_pNorms; }
};
