// Camera: orbit, dolly and pan steps, the pointer ray, ray-plane projection and surface picking.
#include "render/Camera.h"

#include <cmath>

#include "linalg/Diagnostics.h"
#include "linalg/SmallAlgebra.h"
#include "mesh/TTriangleMesh.h"
#include "render/StereoCamera.h"

namespace {

/// Window depth of the second point that fixes the ray's direction.
constexpr double kRaySecondDepth = 0.2;

/// The 3 x 3 part of a column-major 4 x 4 matrix applied to v.
vec3 rotate(const double m[16], const vec3& v) {
    return {m[0] * v.x + m[4] * v.y + m[8] * v.z, m[1] * v.x + m[5] * v.y + m[9] * v.z,
            m[2] * v.x + m[6] * v.y + m[10] * v.z};
}

}  // namespace

void orbitCamera(vec3& eye, const vec3& center, vec3& up, double a, double b) {
    double aboutUp[16], aboutRight[16], turn[16];
    // A zero axis leaves the identity in place, which is the wanted "no rotation".
    setRotation(aboutUp, up, std::cos(a), std::sin(a));
    setRotation(aboutRight, (center - eye).cross(up), std::cos(b), std::sin(b));
    multiplyMatrix4(aboutUp, aboutRight, turn);
    up = rotate(turn, up);
    eye = center + rotate(turn, eye - center);
}

bool dollyCamera(vec3& eye, const vec3& center, double dy) {
    const double dist = (center - eye).norm();
    if (dist == 0.0) return false;
    const double step = dist / kDollyPixelsPerDistance * dy;
    // Measured along the line of sight, so that one long step cannot jump through the centre and
    // leave the camera looking backwards.
    if (dist - step <= kDollyMinDistance) return false;
    eye += (center - eye) / dist * step;
    return true;
}

void panCamera(vec3& eye, vec3& center, const vec3& up, double dx, double dy) {
    const double dist = (eye - center).norm();
    const vec3 right = unitOrZero((eye - center).cross(up));
    const vec3 delta = (right * dx + up * dy) * (dist / kPanPixelsPerDistance);
    eye += delta;
    center += delta;
}

PointerRay unprojectRay(const ScreenProjection& view, double x, double y) {
    PointerRay ray;
    const double windowY = view.viewport[3] - y;
    vec3 nearPoint, farPoint;
    if (!unprojectFromWindow(view, vec3(x, windowY, 0.0), nearPoint)) return ray;
    if (!unprojectFromWindow(view, vec3(x, windowY, kRaySecondDepth), farPoint)) return ray;
    const vec3 direction = unitOrZero(farPoint - nearPoint);
    if (direction == vec3() || !isFinite(nearPoint) || !isFinite(direction)) return ray;
    ray.origin = nearPoint;
    ray.direction = direction;
    ray.valid = true;
    return ray;
}

vec3 projectRayToPlane(const vec3& origin, const vec3& direction, const vec3& planePoint, const vec3& planeNormal) {
    const double along = direction.dot(planeNormal);
    if (along == 0.0) {
        diagPrintf("error , system can't project stroke to plane 3\n");
        return vec3();
    }
    const double t = (planePoint - origin).dot(planeNormal) / along;
    return origin + direction * t;
}

bool pickSurface(const TTriangleMesh& surface, const PointerRay& ray, SurfaceHit& hit) {
    hit = SurfaceHit();
    if (!ray.valid) return false;
    int triangle = -1;
    vec3 point;
    if (!surface.pickByRay(ray.origin, ray.direction, 0, triangle, point) || triangle < 0) return false;
    hit.triangle = triangle;
    hit.point = point;
    return true;
}
