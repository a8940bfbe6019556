// TransmuralCoordinate: the position of every vertex across the heart wall, from the cavities (0)
// to the outer surface (1), as the harmonic function with those boundary values.
#pragma once

#include <string>
#include <vector>

#include "linalg/vec3.h"
#include "mesh/Tetra.h"

/// Solves Laplace's equation on the tetrahedral mesh with linear finite elements (the stiffness
/// matrix sum_T V_T grad(phi_i) . grad(phi_j) of the hat functions), t = 0 on the vertices in
/// innerVertices, t = 1 on the other vertices of the boundary faces (faces used by one
/// tetrahedron), solved for the rest by the process's sparse back end. Vertices in no tetrahedron
/// get 0. positions: one per vertex; innerVertices: 0-based, any order, repeats allowed. On
/// success t holds one value per vertex, within [0, 1] up to the solver's rounding. False (t
/// emptied, the reason in error) when an index is out of range, there are no tetrahedra, no inner
/// or no outer boundary vertex, a tetrahedron is degenerate, or the system cannot be solved (a
/// piece of the mesh that touches no boundary vertex).
bool computeTransmuralCoordinate(const std::vector<vec3>& positions, const std::vector<Tetra>& tets,
                                 const std::vector<int>& innerVertices, std::vector<double>& t, std::string& error);

/// The gradient of a per-vertex field at every vertex: the volume-weighted mean of the constant
/// gradients of the tetrahedra around it (zero for a vertex in no tetrahedron or with degenerate
/// tetrahedra only). values: one per vertex.
std::vector<vec3> vertexGradients(const std::vector<vec3>& positions, const std::vector<Tetra>& tets,
                                  const std::vector<double>& values);

/// Gives vertices whose gradient is zero (a wall so thin that all its vertices lie on one boundary)
/// the mean of the non-zero gradients of the vertices they share a tetrahedron with, in up to
/// `passes` sweeps outward from where the gradient is known. Returns the number still zero.
int fillZeroGradients(const std::vector<Tetra>& tets, std::vector<vec3>& gradients, int passes);
