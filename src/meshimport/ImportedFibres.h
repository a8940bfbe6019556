// ImportedFibres: fibre directions a mesh file gives per element or per point, brought to the
// points of an imported mesh.
#pragma once

#include <array>
#include <vector>

#include "linalg/vec3.h"

/// Per-point directions from per-tetrahedron ones: each point takes the mean of the directions of
/// the tetrahedra around it, weighted by their volumes, normalised. Directions are lines, not
/// arrows: each is flipped to agree with the first heavy contribution before it is added, so
/// that v and -v reinforce each other. Zero or non-finite vectors add nothing; a point with no
/// contribution (or whose contributions cancel) gets the zero vector. cellDirections must hold one
/// entry per tetrahedron.
std::vector<vec3> averageCellDirectionsToPoints(const std::vector<vec3>& points,
                                                const std::vector<std::array<int, 4>>& tets,
                                                const std::vector<vec3>& cellDirections);

/// Unit vectors, or the zero vector where a direction is zero, tiny or not finite.
std::vector<vec3> normalisedDirections(const std::vector<vec3>& directions);
