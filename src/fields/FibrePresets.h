// Fibre presets: fixed fibre arrangements that overwrite the orientation field's frames.
#pragma once

#include <vector>

#include "linalg/vec3.h"

struct Tetra;
class TTensorField;

/// Ring presets treat the model as a body around the vertical line through the centroid of the
/// rest positions.
enum RingPresetKind {
    kRingCircle = 0,         ///< rotated by a fixed 90 degrees: circumferential fibres
    kRingVertical = 1,       ///< no rotation: fibres along the axis
    kRingSpiral = 2,         ///< rotated by angle + 90 degrees
    kRingLayeredSpiral = 3,  ///< 90 degrees + angle (2t - 1), t by vertex number in runs of 120
};

/// Degrees to radians as the presets store their angles (pi taken as 3.14159265358979).
double presetRadians(double degrees);

/// Ring preset on every vertex: depth direction horizontal towards the axis, primary direction
/// (0, 1, 0) turned about it, third = primary x depth. angle in radians (kinds 2 and 3). Replaces
/// the frames and rebuilds the four fibre-line sets with every vertex labelled ventricle; strokes
/// and the depth field are kept. False (nothing changed) for a kind outside 0..3.
bool applyRingPreset(TTensorField& field, const std::vector<Tetra>& tets, const std::vector<vec3>& restPositions,
                     int kind, double angle);

/// Uniform preset: depth (0, 0, 1), primary (0, 1, 0) turned by angle (radians) about z, third
/// = primary x depth, at every vertex; fibre lines rebuilt as for the ring presets.
void applyUniformPreset(TTensorField& field, const std::vector<Tetra>& tets, const std::vector<vec3>& restPositions,
                        double angle);

/// One entry of the preset menu.
struct FibrePreset {
    const char* menuText;
    bool ring;            ///< ring preset (kind below) or uniform preset
    int kind;             ///< RingPresetKind for ring presets
    double angleDegrees;  ///< the preset's angle argument
};

/// The twelve presets in menu order.
extern const FibrePreset kFibrePresets[12];
constexpr int kFibrePresetCount = 12;

/// Applies preset index 0..11 of kFibrePresets; false for another index.
bool applyFibrePreset(int index, TTensorField& field, const std::vector<Tetra>& tets,
                      const std::vector<vec3>& restPositions);
