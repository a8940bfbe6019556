// Measurements on the beating model: chamber volumes and the wall-thickness probe.
#pragma once

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "linalg/vec3.h"
#include "mesh/TTriangleMesh.h"
#include "model/TLSMModel.h"

/// The probe runs along the line through (25.5, 13.5, 0) parallel to z, in model coordinates.
inline constexpr double kProbeX = 25.5;
inline constexpr double kProbeY = 13.5;
/// Crossings closer than this along the probe count as one (shared edges, very thin features).
inline constexpr double kProbeMinSeparation = 0.5;

/// Signed volume (1/6) sum p_a . (p_c x p_b) of a triangle set over vertex positions: positive for
/// a closed set whose triangles face into the enclosed cavity, 0 for an empty set. Triangles with
/// an index outside the positions are skipped.
double chamberVolume(const std::vector<TTriIndices>& triangles, const std::vector<vec3>& positions);

/// Heights z of the surface triangles crossed by the probe line, ascending, each exact value once
/// (a crossing through a shared edge is found by both triangles). Triangles whose 3x3 system is
/// near singular (seen edge-on along the probe) are skipped.
std::vector<double> probeCrossingHeights(const TTriangleMesh& surface);

/// The text one probe writes: the Shift-JIS measurement line with the four lowest well-separated
/// crossings and the two wall thicknesses, "cant find 4 points" (no line feed) when fewer than
/// four distinct crossings exist, or "cant find 4 points\n" when fewer than four remain once
/// crossings within 0.5 of the previous kept one are dropped.
std::string wallThicknessProbeText(const TTriangleMesh& surface);

/// One probe of the model's drawn surface written to the file. True when a measurement line was
/// written; false for either "cant find 4 points" form, or when the file is null or fails.
bool probeWallThickness(const TLSMModel& model, std::FILE* out);
/// The same into a stream (bytes as in the file).
bool probeWallThickness(const TLSMModel& model, std::ostream& out);
