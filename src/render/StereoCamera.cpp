// StereoCamera: eye positions for the side-by-side stereo view.
#include "render/StereoCamera.h"

namespace {
constexpr double kFocusBeyondCentre = 8.0;
constexpr double kHalfSeparationRatio = 0.025;
}  // namespace

vec3 unitOrZero(const vec3& v) {
    const double n = v.norm();
    return n > 0.0 ? v / n : vec3();
}

StereoEyes computeStereoEyes(const vec3& eye, const vec3& center, const vec3& up) {
    StereoEyes s;
    s.viewDirection = unitOrZero(center - eye);
    s.side = unitOrZero(s.viewDirection.cross(up));
    s.focus = center + kFocusBeyondCentre * s.viewDirection;
    s.halfSeparation = kHalfSeparationRatio * (s.focus - eye).norm();
    s.rightEye = eye + s.halfSeparation * s.side;
    s.leftEye = eye - s.halfSeparation * s.side;
    return s;
}
