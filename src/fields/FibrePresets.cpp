// Fibre presets: ring (about the vertical axis through the centroid) and uniform arrangements.
#include "fields/FibrePresets.h"

#include <cmath>

#include "fields/TTensorField.h"
#include "linalg/Diagnostics.h"
#include "linalg/SmallAlgebra.h"
#include "mesh/Tetra.h"

namespace {

// Pi as the preset angles were always converted with.
constexpr double kPresetPi = 3.14159265358979;
// Layered presets step their angle every 30 vertices in runs of 120.
constexpr int kLayerRun = 120;
constexpr int kLayerSize = 30;

const vec3 kUp(0, 1, 0);

/// R(axis, theta) (0, 1, 0); the identity for a zero axis.
vec3 turnUp(const vec3& axis, double theta) {
    double m[16];
    setRotation(m, axis, std::cos(theta), std::sin(theta));
    // Column-major: the image of the y axis is the second column.
    return vec3(m[4], m[5], m[6]);
}

void rebuildAllLines(TTensorField& field, const std::vector<Tetra>& tets, const std::vector<vec3>& positions) {
    field.m_ruleBased.inForce = false;
    const std::vector<int16_t> allVentricle(positions.size(), 1);
    field.buildAllFibreLines(tets, positions, allVentricle);
}

}  // namespace

const FibrePreset kFibrePresets[12] = {
    {"Fib Circle", true, kRingCircle, 0.0},
    {"Fib Vertical", true, kRingVertical, 0.0},
    {"Fib Spiral      60", true, kRingSpiral, 60.0},
    {"Fib Inv Spiral  0", true, kRingLayeredSpiral, 0.0},
    {"Fib Inv Spiral 30", true, kRingLayeredSpiral, 30.0},
    {"Fib Inv Spiral 45", true, kRingLayeredSpiral, 45.0},
    {"Fib Inv Spiral 60", true, kRingLayeredSpiral, 60.0},
    {"Fib Inv Spiral 75", true, kRingLayeredSpiral, 75.0},
    {"Fib Inv Spiral 90", true, kRingLayeredSpiral, 90.0},
    {"Fib Vert", false, 0, 90.0},
    {"Fib Hori", false, 0, 0.0},
    {"Fib Slant", false, 0, 45.0},
};

double presetRadians(double degrees) { return degrees * kPresetPi / 180.0; }

bool applyRingPreset(TTensorField& field, const std::vector<Tetra>& tets, const std::vector<vec3>& restPositions,
                     int kind, double angle) {
    if (kind < kRingCircle || kind > kRingLayeredSpiral) {
        diagPrintf("applyRingPreset: unknown preset kind %d, frames unchanged\n", kind);
        return false;
    }
    const size_t n = restPositions.size();
    vec3 centre;
    for (const vec3& p : restPositions) centre += p;
    if (n > 0) centre /= static_cast<double>(n);
    const double rightAngle = presetRadians(90.0);

    field.m_frames.assign(n, TVertexFrame());
    for (size_t j = 0; j < n; ++j) {
        const vec3& p = restPositions[j];
        vec3 towardsAxis(centre.x - p.x, 0.0, centre.z - p.z);
        makeUnit(towardsAxis);
        TVertexFrame& f = field.m_frames[j];
        f.m_depthDir = towardsAxis;
        if (kind == kRingVertical) {
            f.m_primaryDir = kUp;
        } else {
            double theta = rightAngle;
            if (kind == kRingSpiral) {
                theta = angle + rightAngle;
            } else if (kind == kRingLayeredSpiral) {
                const double t = static_cast<double>((static_cast<int>(j % kLayerRun)) / kLayerSize) / 3.0;
                theta = rightAngle + angle * (2.0 * t - 1.0);
            }
            f.m_primaryDir = turnUp(towardsAxis, theta);
        }
        f.m_thirdDir = f.m_primaryDir.cross(f.m_depthDir);
    }
    rebuildAllLines(field, tets, restPositions);
    return true;
}

void applyUniformPreset(TTensorField& field, const std::vector<Tetra>& tets, const std::vector<vec3>& restPositions,
                        double angle) {
    const vec3 depth(0, 0, 1);
    TVertexFrame frame;
    frame.m_depthDir = depth;
    frame.m_primaryDir = turnUp(depth, angle);
    frame.m_thirdDir = frame.m_primaryDir.cross(depth);
    field.m_frames.assign(restPositions.size(), frame);
    rebuildAllLines(field, tets, restPositions);
}

bool applyFibrePreset(int index, TTensorField& field, const std::vector<Tetra>& tets,
                      const std::vector<vec3>& restPositions) {
    if (index < 0 || index >= kFibrePresetCount) {
        diagPrintf("applyFibrePreset: there is no preset %d\n", index);
        return false;
    }
    const FibrePreset& preset = kFibrePresets[index];
    const double angle = presetRadians(preset.angleDegrees);
    if (preset.ring) return applyRingPreset(field, tets, restPositions, preset.kind, angle);
    applyUniformPreset(field, tets, restPositions, angle);
    return true;
}
