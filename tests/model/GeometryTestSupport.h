// Models for the geometry tests: set up from in-code meshes, thick shells, boxes and views.
#pragma once

#include <vector>

#include "common/TestMeshes.h"
#include "mesh/ScreenProjection.h"
#include "model/TLSMModel.h"

namespace geomtest {

/// Sets a model up as loading would, without files: neighbours and face normals, shape-matching
/// neighbourhoods, surface, draw order, zero chamber ids and labels, default phase, amplitude and
/// depth values (depth 1.0) and identity frames. The simulator is not set up.
void setUpModel(TLSMModel& model, const testmesh::TetData& data);

/// Concatenates two tetrahedral meshes (the second's indices shifted).
testmesh::TetData merge(const testmesh::TetData& a, const testmesh::TetData& b);

/// A closed ellipsoidal shell of the size of the bundled models: an n^3 grid of unit cells with
/// the cells within `thickness` cells of the surface kept, unused vertices dropped, and pushed out
/// radially onto ellipsoids with semi-axes proportional to (1, 0.85, 0.7).
testmesh::TetData thickShell(int n, int thickness);

/// An axis-aligned box of nx x ny x nz cells of size (dx, dy, dz) with its lowest corner at origin.
testmesh::TetData box(const vec3& origin, int nx, int ny, int nz, const vec3& cellSize);

/// Sum of the (signed) tetrahedron volumes.
double tetVolume(const testmesh::TetData& data);

/// Volume enclosed by a triangle surface with outward triangles.
double enclosedVolume(const TTriangleMesh& surface);

/// Number of edges with one face only.
int boundaryEdgeCount(const TTriangleMesh& surface);

/// An orthographic view in which model x and y are window pixels (256 x 128, y up), z in [-10, 10].
ScreenProjection pixelView();

}  // namespace geomtest
