// RuleBasedFibres: ventricular fibre frames from a transmural coordinate and a long axis, with the
// helix angle turning linearly through the wall (the Laplace-Dirichlet rule).
#pragma once

#include <cstdint>
#include <vector>

#include "fields/TTensorField.h"
#include "linalg/vec3.h"

/// The helix angles a user may ask for, in degrees (both ends included).
constexpr double kMaxHelixDegrees = 90.0;
constexpr double kDefaultEndoHelixDegrees = 60.0;
constexpr double kDefaultEpiHelixDegrees = -60.0;

/// The wall frame of one vertex: et across the wall (towards the outer surface), el along the
/// long axis within the wall, ec = el x et round it; unit vectors.
struct WallFrame {
    vec3 transmural, longitudinal, circumferential;
};

/// The wall frame at a point from the gradient of the transmural coordinate and the long axis:
/// et = gradient / |gradient|, el = axis without its et part, normalised. When the axis runs
/// across the wall (at the apex) el is taken from the coordinate axis least aligned with et. False
/// (frame untouched) for a zero or non-finite gradient or axis.
bool wallFrameAt(const vec3& gradient, const vec3& axis, WallFrame& frame);

/// The helix angle alpha(t) = endo + (epi - endo) t, in degrees.
inline double ruleHelixDegrees(double t, double endoDegrees, double epiDegrees) {
    return endoDegrees + (epiDegrees - endoDegrees) * t;
}

/// The fibre frame of the rule: fibre = cos(alpha) ec + sin(alpha) el, depth = et, third = fibre x et.
TVertexFrame ruleBasedFrame(const WallFrame& wall, double alphaRadians);

/// The helix angle of a fibre direction in a wall frame, in degrees within [-90, 90]: the angle
/// from ec toward el in the plane across et (fibres have no sign, so f and -f give the same).
double helixAngleDegrees(const vec3& fibre, const WallFrame& wall);

/// Sets the frames of the ventricle-labelled vertices (label 1) by the rule from the transmural
/// coordinate t, its per-vertex gradients and the long axis (pointing from the apex to the base);
/// every other vertex keeps its frame, as does a ventricle vertex whose wall frame cannot be formed
/// (counted in skipped). frames, t, gradients and labels hold one entry per vertex. Returns the
/// number of frames set. The angles are in degrees.
int setRuleBasedFrames(std::vector<TVertexFrame>& frames, const std::vector<double>& t,
                       const std::vector<vec3>& gradients, const std::vector<int16_t>& labels, const vec3& axis,
                       double endoDegrees, double epiDegrees, int* skipped = nullptr);
