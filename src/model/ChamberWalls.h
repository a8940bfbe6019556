// Chamber painting on the heart surface and the closed wall surfaces built from it.
#pragma once

#include <vector>

#include "linalg/vec3.h"
#include "model/TLSMModel.h"

/// The wall list of chamber 1 (right ventricle), 2 (left ventricle), 3 (right atrium) or 4 (left
/// atrium); null for any other id.
std::vector<TTriIndices>* chamberWalls(TLSMModel& model, int chamberId);

/// Rebuilds the closed wall of chamber `chamberId` (1..4) from the surface triangles painted with
/// it: every boundary loop of the painted region is closed by a fan cap and the triangles are stored
/// in tetrahedral vertex indices, replacing the chamber's list. Id 0 rebuilds all four in order.
/// A region that cannot be closed into a sound surface keeps the chamber's previous list (its
/// faults are printed) and makes the result false; an id outside 0..4 is refused with a message.
bool buildChamberWalls(TLSMModel& model, int chamberId);

/// Every surface triangle's chamber id back to 0 on the full, uncut surface, and the four wall
/// lists emptied.
void resetChambers(TLSMModel& model);

/// Paints chamber id `chamberId` (0..4; 0 erases) on the inner wall hit by the ray: the triangles
/// around the corner nearest to the hit on the nearest triangle facing away from the viewer. The
/// full surface is restored first when the ids do not belong to the surface shown. False when
/// nothing is hit or the id is outside 0..4 (with a message).
bool paintChamber(TLSMModel& model, const vec3& origin, const vec3& direction, int chamberId);
