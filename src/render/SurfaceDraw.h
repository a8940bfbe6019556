// SurfaceDraw: the heart surface as a plain lit, optionally translucent, triangle set.
#pragma once

#include <vector>

#include "mesh/TTriangleMesh.h"

/// The triangles to draw, in order: drawOrder when it is a permutation-sized list of valid triangle
/// indices of mesh (the model's depth-sorted order), otherwise 0 .. polyCount() - 1. Invalid entries
/// never reach OpenGL.
std::vector<int> surfaceTriangleOrder(const TTriangleMesh& mesh, const std::vector<int>& drawOrder);

/// Draws the surface with lighting and smooth vertex normals in a muscle colour; alpha below
/// 0.9999 draws it translucent (blended, back faces culled). Leaves lighting on and blending off.
/// Needs a current context inside a frame.
void drawLitSurface(const TTriangleMesh& mesh, const std::vector<int>& drawOrder, double alpha);
