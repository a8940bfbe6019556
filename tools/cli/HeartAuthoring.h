// Authoring of the bundled four-chamber heart's project: placement, labels, chamber walls,
// depth constraints, fibre strokes, phase constraints, contraction charts.
#pragma once

#include <string>

#include "model/ModelGeometry.h"

class TLSMModel;

/// Authors the project state of the synthetic heart on a model freshly loaded from the mesh made
/// by tools/models/heart.geo. rawMeshBase names the same mesh files: their unnormalised
/// coordinates are the geometry script's, which the authoring rules are written in. False with a
/// message on stderr when a step fails (for example a chamber wall that cannot be closed).
bool authorHeartProject(TLSMModel& model, const std::string& rawMeshBase);

/// The window's start view: the home camera looks at (20, 20, 20) from (20, 20, 60) with a 45°
/// field of view; a 4:3 view is the narrowest the main window opens with.
ViewFrustum homeViewFrustum();
/// Share of the start view's half-size a bundled model may fill.
constexpr double kHomeViewFill = 0.85;
