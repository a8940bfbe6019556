// ImportedFrames: the per-vertex fibre frames made from the fibres (and sheets) an imported mesh
// brought, and their place in the model's project file.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "linalg/vec3.h"

/// One orthonormal frame per point: fibre, depth direction (across the wall), third = fibre x
/// depth. The fibre is the given one (normalised); the depth direction is the sheet made
/// orthogonal to the fibre, or, where no usable sheet is given, the direction from the mesh's
/// centroid to the point made orthogonal to the fibre (across the wall of a body around a
/// cavity), or the coordinate axis least along the fibre when that is degenerate. A point whose
/// fibre is zero gets the identity frame, the frame a model has before anything sets it. sheets
/// may be empty; otherwise it has one entry per point, as fibres has.
std::vector<std::array<vec3, 3>> framesFromImportedDirections(const std::vector<vec3>& points,
                                                              const std::vector<vec3>& fibres,
                                                              const std::vector<vec3>& sheets);

/// Puts the frames into base.vm as its #VtxFrames record. Without base.vm a file holding only that
/// record is written; a complete base.vm gets the record added or replaced, every other record
/// kept as it stands. A base.vm that cannot be read completely is left alone (false, with the
/// reason). The file is replaced atomically. False with a reason in error.
bool putFramesInProject(const std::string& base, const std::vector<std::array<vec3, 3>>& frames, std::string& error);
