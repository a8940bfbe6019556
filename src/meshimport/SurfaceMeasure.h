// SurfaceMeasure: what filling a closed triangulated surface needs to know before it starts.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "linalg/vec3.h"

/// Edges, size and parts of a triangulated surface.
struct SurfaceMeasure {
    size_t openEdges = 0;       ///< edges of one triangle only
    size_t branchingEdges = 0;  ///< edges of more than two triangles
    /// The enclosed volume: the signed volume (divergence theorem) when every edge's two triangles
    /// run along it in opposite directions and it is not ~0 beside the bounding box's, else the
    /// bounding box's volume, which is never less than what the surface encloses.
    double volume = 0.0;
    double area = 0.0;
    size_t smallestPart = 0;  ///< triangles of the smallest part connected through shared points
};

/// Measures triangles (0-based indices into points, all valid). Pure; any thread.
SurfaceMeasure measureSurface(const std::vector<vec3>& points, const std::vector<std::array<int, 3>>& triangles);
