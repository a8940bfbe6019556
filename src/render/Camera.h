// Camera: the motions of the view's look-at camera and the pointer ray, as plain arithmetic.
#pragma once

#include "linalg/vec3.h"
#include "mesh/ScreenProjection.h"

class TTriangleMesh;

/// What a pointer drag does to the camera. The numbers are the stored drag modes; 3 is unused.
enum CameraDragMode { CAMERA_DRAG_NONE = 0, CAMERA_DRAG_DOLLY = 1, CAMERA_DRAG_ORBIT = 2, CAMERA_DRAG_PAN = 4 };

/// Closest the eye may come to the centre by dollying.
constexpr double kDollyMinDistance = 0.02;
/// Pixels of drag per unit of the motion: dolly moves 1/80 of the distance per pixel, orbit turns
/// 1/200 radian per pixel, pan moves 1/900 of the distance per pixel.
constexpr double kDollyPixelsPerDistance = 80.0;
constexpr double kOrbitPixelsPerRadian = 200.0;
constexpr double kPanPixelsPerDistance = 900.0;
/// A right press this close to the right edge of the view (pixels) dollies instead of orbiting.
constexpr int kDollyEdgeWidth = 20;

/// Turns the camera about its centre: by angle a (radians, right-handed) about the up vector and by
/// angle b about the right vector cross(centre - eye, up), both rotations built from the camera as
/// it was before the call. Eye and up turn; the centre stays. A zero axis contributes no rotation.
void orbitCamera(vec3& eye, const vec3& center, vec3& up, double a, double b);

/// Moves the eye along the line of sight by dy pixels of drag (positive: towards the centre, by 1/80
/// of the current distance per pixel). The step is refused, and false returned with the eye
/// unchanged, when it would end within kDollyMinDistance of the centre or beyond it.
bool dollyCamera(vec3& eye, const vec3& center, double dy);

/// Moves eye and centre together by dx, dy pixels of drag (window y downwards), 1/900 of the
/// distance per pixel along the camera's right vector and up vector, so that the scene follows the
/// pointer. Viewing direction and distance are unchanged.
void panCamera(vec3& eye, vec3& center, const vec3& up, double dx, double dy);

/// The line of sight under a pointer position.
struct PointerRay {
    vec3 origin;     ///< on the near plane (window depth 0)
    vec3 direction;  ///< unit, away from the eye
    bool valid = false;
};

/// The ray under view pixel (x, y) (origin top-left, y downwards) for the given matrices and
/// viewport: the pixel unprojected at window depth 0 (origin) and 0.2 (second point), window y taken
/// as viewport height - y. Invalid when the matrices cannot be inverted or the viewport has no area.
PointerRay unprojectRay(const ScreenProjection& view, double x, double y);

/// The point where the ray's line meets the plane through planePoint with normal planeNormal.
/// A ray parallel to the plane prints "error , system can't project stroke to plane 3" and gives
/// the origin (0, 0, 0).
vec3 projectRayToPlane(const vec3& origin, const vec3& direction, const vec3& planePoint, const vec3& planeNormal);

/// What a pick hit on the surface mesh.
struct SurfaceHit {
    int triangle = -1;  ///< 0-based triangle of the mesh, -1 for none
    vec3 point;
};

/// The nearest surface triangle the ray meets, whichever way it faces (pick mode 0 of the mesh).
/// False, with hit.triangle = -1, when the ray is invalid or misses.
bool pickSurface(const TTriangleMesh& surface, const PointerRay& ray, SurfaceHit& hit);
