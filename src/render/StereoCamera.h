// StereoCamera: the two eye positions of the side-by-side stereo view, without OpenGL.
#pragma once

#include "linalg/vec3.h"

/// Side-by-side stereo of one look-at camera: both eyes look at the focus point 8 units beyond the
/// camera centre along the viewing direction; they sit halfSeparation to either side of the eye,
/// along the right vector, where halfSeparation is 2.5 % of the eye's distance to the focus.
struct StereoEyes {
    vec3 viewDirection;  ///< unit(centre - eye)
    vec3 side;           ///< unit(viewDirection x up), the camera's right vector
    vec3 focus;          ///< centre + 8 * viewDirection
    double halfSeparation = 0.0;
    vec3 rightEye;  ///< eye + halfSeparation * side
    vec3 leftEye;   ///< eye - halfSeparation * side
};

/// Eyes of the camera (eye, centre, up). A degenerate camera (eye on the centre, or up along the
/// viewing direction) gives zero vectors where a unit vector cannot be formed, so both eyes then
/// coincide with the eye.
StereoEyes computeStereoEyes(const vec3& eye, const vec3& center, const vec3& up);

/// v / |v|, or the zero vector when |v| is 0.
vec3 unitOrZero(const vec3& v);
