// Authoring of the bundled four-chamber heart's project: placement, labels, chamber walls,
// depth constraints, fibre strokes, phase constraints, contraction charts.
#pragma once

#include <string>

class TLSMModel;

/// Authors the project state of the synthetic heart on a model freshly loaded from the mesh made
/// by tools/models/heart.geo. rawMeshBase names the same mesh files: their unnormalised
/// coordinates are the geometry script's, which the authoring rules are written in. False with a
/// message on stderr when a step fails (for example a chamber wall that cannot be closed).
bool authorHeartProject(TLSMModel& model, const std::string& rawMeshBase);
