// ScreenProjection: gluProject / gluUnProject arithmetic and the usual camera matrices.
#include "mesh/ScreenProjection.h"

#include <cmath>

namespace {

/// out = m x (x, y, z, w) for a column-major matrix.
void transform4(const double m[16], const double in[4], double out[4]) {
    for (int r = 0; r < 4; ++r) out[r] = m[r] * in[0] + m[4 + r] * in[1] + m[8 + r] * in[2] + m[12 + r] * in[3];
}

void identity4(double out[16]) {
    for (int i = 0; i < 16; ++i) out[i] = (i % 5 == 0) ? 1.0 : 0.0;
}

}  // namespace

void multiplyMatrix4(const double a[16], const double b[16], double out[16]) {
    for (int c = 0; c < 4; ++c)
        for (int r = 0; r < 4; ++r) {
            double s = 0.0;
            for (int k = 0; k < 4; ++k) s += a[k * 4 + r] * b[c * 4 + k];
            out[c * 4 + r] = s;
        }
}

bool invertMatrix4(const double m[16], double out[16]) {
    double inv[16];
    inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] + m[9] * m[7] * m[14] +
             m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
    inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] - m[8] * m[7] * m[14] -
             m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
    inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] + m[8] * m[7] * m[13] +
             m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
    inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] - m[8] * m[6] * m[13] -
              m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
    inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] - m[9] * m[3] * m[14] -
             m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
    inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] + m[8] * m[3] * m[14] +
             m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
    inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] - m[8] * m[3] * m[13] -
             m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
    inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] + m[8] * m[2] * m[13] +
              m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
    inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] + m[5] * m[3] * m[14] +
             m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
    inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] - m[4] * m[3] * m[14] -
             m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
    inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] + m[4] * m[3] * m[13] +
              m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
    inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] - m[4] * m[2] * m[13] -
              m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
    inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] - m[5] * m[3] * m[10] -
             m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
    inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] + m[4] * m[3] * m[10] +
             m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
    inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] - m[4] * m[3] * m[9] -
              m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
    inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] + m[4] * m[2] * m[9] + m[8] * m[1] * m[6] -
              m[8] * m[2] * m[5];
    const double det = m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
    if (det == 0.0 || !std::isfinite(det)) return false;
    for (int i = 0; i < 16; ++i) out[i] = inv[i] / det;
    return true;
}

bool projectToWindow(const ScreenProjection& view, const vec3& point, vec3& window) {
    const double in[4] = {point.x, point.y, point.z, 1.0};
    double eye[4], clip[4];
    transform4(view.modelView, in, eye);
    transform4(view.projection, eye, clip);
    if (clip[3] == 0.0) return false;
    const double nx = clip[0] / clip[3], ny = clip[1] / clip[3], nz = clip[2] / clip[3];
    window.x = view.viewport[0] + (1.0 + nx) * view.viewport[2] / 2.0;
    window.y = view.viewport[1] + (1.0 + ny) * view.viewport[3] / 2.0;
    window.z = (1.0 + nz) / 2.0;
    return true;
}

bool unprojectFromWindow(const ScreenProjection& view, const vec3& window, vec3& point) {
    if (view.viewport[2] == 0 || view.viewport[3] == 0) return false;
    double combined[16], inverse[16];
    multiplyMatrix4(view.projection, view.modelView, combined);
    if (!invertMatrix4(combined, inverse)) return false;
    const double in[4] = {(window.x - view.viewport[0]) * 2.0 / view.viewport[2] - 1.0,
                          (window.y - view.viewport[1]) * 2.0 / view.viewport[3] - 1.0, window.z * 2.0 - 1.0, 1.0};
    double out[4];
    transform4(inverse, in, out);
    if (out[3] == 0.0) return false;
    point = vec3(out[0] / out[3], out[1] / out[3], out[2] / out[3]);
    return true;
}

void orthoMatrix(double left, double right, double bottom, double top, double zNear, double zFar, double out[16]) {
    identity4(out);
    out[0] = 2.0 / (right - left);
    out[5] = 2.0 / (top - bottom);
    out[10] = -2.0 / (zFar - zNear);
    out[12] = -(right + left) / (right - left);
    out[13] = -(top + bottom) / (top - bottom);
    out[14] = -(zFar + zNear) / (zFar - zNear);
}

void perspectiveMatrix(double fovyDegrees, double aspect, double zNear, double zFar, double out[16]) {
    const double f = 1.0 / std::tan(fovyDegrees * 3.14159265358979323846 / 360.0);
    for (int i = 0; i < 16; ++i) out[i] = 0.0;
    out[0] = f / aspect;
    out[5] = f;
    out[10] = (zFar + zNear) / (zNear - zFar);
    out[11] = -1.0;
    out[14] = 2.0 * zFar * zNear / (zNear - zFar);
}

void lookAtMatrix(const vec3& eye, const vec3& centre, const vec3& up, double out[16]) {
    identity4(out);
    vec3 forward = centre - eye;
    const double flen = forward.norm();
    if (flen == 0.0) return;
    forward /= flen;
    vec3 side = forward.cross(up);
    const double slen = side.norm();
    if (slen == 0.0) return;
    side /= slen;
    const vec3 upOrtho = side.cross(forward);
    out[0] = side.x;
    out[4] = side.y;
    out[8] = side.z;
    out[1] = upOrtho.x;
    out[5] = upOrtho.y;
    out[9] = upOrtho.z;
    out[2] = -forward.x;
    out[6] = -forward.y;
    out[10] = -forward.z;
    out[12] = -side.dot(eye);
    out[13] = -upOrtho.dot(eye);
    out[14] = forward.dot(eye);
}
