// RuleBasedFibres: the per-vertex wall frame and the linear helix rule.
#include "fields/RuleBasedFibres.h"

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
// A gradient or an in-wall axis shorter than this (relative) has no usable direction.
constexpr double kTinyLength = 1e-12;
constexpr double kTinyAxisPart = 1e-6;

}  // namespace

bool wallFrameAt(const vec3& gradient, const vec3& axis, WallFrame& frame) {
    const double g = gradient.norm();
    const double a = axis.norm();
    if (!(g > kTinyLength) || !std::isfinite(g) || !(a > kTinyLength) || !std::isfinite(a)) return false;
    const vec3 et = gradient / g;
    vec3 el = axis / a;
    el -= et * el.dot(et);
    if (!(el.norm() > kTinyAxisPart)) {
        // The axis runs across the wall: any direction in the wall will do; the coordinate axis
        // least aligned with et gives a stable one.
        const vec3 candidates[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
        int best = 0;
        for (int k = 1; k < 3; ++k)
            if (std::fabs(candidates[k].dot(et)) < std::fabs(candidates[best].dot(et))) best = k;
        el = candidates[best] - et * candidates[best].dot(et);
    }
    el /= el.norm();
    frame.transmural = et;
    frame.longitudinal = el;
    frame.circumferential = el.cross(et);
    return true;
}

TVertexFrame ruleBasedFrame(const WallFrame& wall, double alphaRadians) {
    TVertexFrame f;
    f.m_primaryDir = wall.circumferential * std::cos(alphaRadians) + wall.longitudinal * std::sin(alphaRadians);
    f.m_depthDir = wall.transmural;
    f.m_thirdDir = f.m_primaryDir.cross(wall.transmural);
    return f;
}

double helixAngleDegrees(const vec3& fibre, const WallFrame& wall) {
    double c = fibre.dot(wall.circumferential);
    double l = fibre.dot(wall.longitudinal);
    if (c < 0.0 || (c == 0.0 && l < 0.0)) {
        c = -c;
        l = -l;
    }
    return std::atan2(l, c) * 180.0 / kPi;
}

int setRuleBasedFrames(std::vector<TVertexFrame>& frames, const std::vector<double>& t,
                       const std::vector<vec3>& gradients, const std::vector<int16_t>& labels, const vec3& axis,
                       double endoDegrees, double epiDegrees, int* skipped) {
    const size_t n = frames.size();
    int set = 0, missed = 0;
    if (t.size() == n && gradients.size() == n && labels.size() == n) {
        for (size_t v = 0; v < n; ++v) {
            if (labels[v] != 1) continue;
            WallFrame wall;
            if (!wallFrameAt(gradients[v], axis, wall)) {
                ++missed;
                continue;
            }
            frames[v] = ruleBasedFrame(wall, ruleHelixDegrees(t[v], endoDegrees, epiDegrees) * kPi / 180.0);
            ++set;
        }
    }
    if (skipped) *skipped = missed;
    return set;
}
