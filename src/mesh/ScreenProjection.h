// ScreenProjection: the view's matrices and viewport as a plain value, with window projection.
#pragma once

#include "linalg/vec3.h"

/// The camera state that maps model points to window pixels, as OpenGL keeps it: column-major 4x4
/// model-view and projection matrices and the viewport (x, y, width, height) in pixels, window y
/// pointing up. The view fills it from its context; tests and headless callers build their own.
/// A plain value: copy it freely, any thread.
struct ScreenProjection {
    double modelView[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    double projection[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    int viewport[4] = {0, 0, 1, 1};
};

/// Window coordinates (x, y in pixels with y up, depth z in [0, 1] inside the view volume) of a
/// model point, as gluProject computes them. False (window untouched) when the clip-space w is 0.
bool projectToWindow(const ScreenProjection& view, const vec3& point, vec3& window);

/// The model point at window coordinates (x, y pixels, y up; depth z in [0, 1]), as gluUnProject
/// computes it. False (point untouched) when projection x model-view is singular, the viewport
/// has no area or the homogeneous w comes out 0.
bool unprojectFromWindow(const ScreenProjection& view, const vec3& window, vec3& point);

/// out = a x b for column-major 4x4 matrices (out may alias neither).
void multiplyMatrix4(const double a[16], const double b[16], double out[16]);

/// Inverse of a column-major 4x4 matrix by cofactors; false (out untouched) when singular.
bool invertMatrix4(const double m[16], double out[16]);

/// glOrtho's matrix for the box [left, right] x [bottom, top] x [-zNear, -zFar].
void orthoMatrix(double left, double right, double bottom, double top, double zNear, double zFar, double out[16]);

/// gluPerspective's matrix: vertical field of view in degrees, aspect width / height, clip planes.
void perspectiveMatrix(double fovyDegrees, double aspect, double zNear, double zFar, double out[16]);

/// gluLookAt's matrix: camera at eye looking at centre with the given up direction. Identity when
/// eye and centre coincide or up is parallel to the view direction.
void lookAtMatrix(const vec3& eye, const vec3& centre, const vec3& up, double out[16]);
