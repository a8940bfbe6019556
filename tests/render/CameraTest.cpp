// Camera arithmetic without a window: orbit, dolly and pan steps, the pointer ray, ray-plane
// projection and surface picking.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "common/VecExpect.h"
#include "linalg/Diagnostics.h"
#include "mesh/TTriangleMesh.h"
#include "render/Camera.h"

namespace {

constexpr double kTol = 1e-9;
const vec3 kHomeEye(20, 20, 60), kHomeCenter(20, 20, 20), kHomeUp(0, 1, 0);

ScreenProjection homeView(int width = 800, int height = 600) {
    ScreenProjection view;
    perspectiveMatrix(45.0, static_cast<double>(width) / height, 0.02, 300.0, view.projection);
    lookAtMatrix(kHomeEye, kHomeCenter, kHomeUp, view.modelView);
    view.viewport[2] = width;
    view.viewport[3] = height;
    return view;
}

}  // namespace

TEST(CameraTest, OrbitTurnsAboutTheUpVectorAndTheRightVectorAroundAFixedCentre) {
    // One radian about the up vector: the eye swings towards +x seen from above, the up vector stays.
    vec3 eye = kHomeEye, up = kHomeUp;
    orbitCamera(eye, kHomeCenter, up, 1.0, 0.0);
    expectNear(eye, kHomeCenter + vec3(40 * std::sin(1.0), 0, 40 * std::cos(1.0)), kTol);
    expectNear(up, kHomeUp, kTol);

    // About the right vector (+x for the home camera) the eye dips below the centre and the up
    // vector tilts with it.
    eye = kHomeEye;
    up = kHomeUp;
    orbitCamera(eye, kHomeCenter, up, 0.0, 0.3);
    expectNear(eye, kHomeCenter + vec3(0, -40 * std::sin(0.3), 40 * std::cos(0.3)), kTol);
    expectNear(up, vec3(0, std::cos(0.3), std::sin(0.3)), kTol);

    // With the up vector along the line of sight there is no right vector: only the turn about
    // the up vector happens, which leaves an eye on that axis where it is.
    eye = vec3(20, 60, 20);
    up = kHomeUp;
    orbitCamera(eye, kHomeCenter, up, 0.4, 0.7);
    expectNear(eye, vec3(20, 60, 20), kTol);
    expectNear(up, kHomeUp, kTol);
}

TEST(CameraTest, ManyOrbitStepsKeepTheDistanceAndAUnitUpVectorAcrossTheLineOfSight) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> angle(-0.05, 0.05);
    vec3 eye = kHomeEye, up = kHomeUp;
    for (int i = 0; i < 2000; ++i) orbitCamera(eye, kHomeCenter, up, angle(random), angle(random));
    EXPECT_NEAR((eye - kHomeCenter).norm(), 40.0, 1e-9);
    EXPECT_NEAR(up.norm(), 1.0, 1e-9);
    EXPECT_NEAR(up.dot(kHomeCenter - eye), 0.0, 1e-8);
    EXPECT_NE(eye, kHomeEye);
}

TEST(CameraTest, DollyMovesAlongTheLineOfSightAndNeverReachesOrPassesTheCentre) {
    vec3 eye = kHomeEye;
    // Down 8 pixels: 8/80 of the distance closer; up 8 pixels from there: 8/80 of the new one away.
    ASSERT_TRUE(dollyCamera(eye, kHomeCenter, 8));
    expectNear(eye, vec3(20, 20, 56), kTol);
    ASSERT_TRUE(dollyCamera(eye, kHomeCenter, -8));
    expectNear(eye, vec3(20, 20, 56 + 3.6), kTol);

    // Dragging down step by step closes in geometrically and stops short of the centre.
    eye = kHomeEye;
    double last = (eye - kHomeCenter).norm();
    int refused = 0;
    for (int i = 0; i < 2000; ++i) {
        const vec3 before = eye;
        if (!dollyCamera(eye, kHomeCenter, 60)) {
            ++refused;
            EXPECT_EQ(eye, before);
        }
        const double d = (eye - kHomeCenter).norm();
        ASSERT_GT(d, kDollyMinDistance);
        ASSERT_LE(d, last);
        last = d;
    }
    EXPECT_GT(refused, 0);
    EXPECT_LT(last, 0.1);
    // Still looking at the centre from the same side.
    EXPECT_GT(eye.z, kHomeCenter.z);

    // One long step that would carry the eye through the centre (100 pixels is 1.25 distances)
    // is refused rather than turning the camera round.
    eye = kHomeEye;
    EXPECT_FALSE(dollyCamera(eye, kHomeCenter, 100));
    EXPECT_EQ(eye, kHomeEye);
    // So is a step that lands exactly on the centre.
    EXPECT_FALSE(dollyCamera(eye, kHomeCenter, 80));
    EXPECT_EQ(eye, kHomeEye);
}

TEST(CameraTest, PanMovesEyeAndCentreByOneVectorSoTheSceneFollowsThePointer) {
    vec3 eye = kHomeEye, center = kHomeCenter;
    // 90 pixels right and 45 down at distance 40: the camera goes 4 units to its left and 2 up,
    // so the scene moves right and down with the pointer.
    panCamera(eye, center, kHomeUp, 90, 45);
    const vec3 delta = eye - kHomeEye;
    expectNear(delta, vec3(-4, 2, 0), kTol);
    expectNear(center - kHomeCenter, delta, kTol);

    // From an oblique camera: the same vector for both, direction and distance unchanged.
    vec3 obliqueEye(5, 33, -12), obliqueUp = kHomeUp;
    orbitCamera(obliqueEye, kHomeCenter, obliqueUp, 0.6, -0.4);
    eye = obliqueEye;
    center = kHomeCenter;
    panCamera(eye, center, obliqueUp, -37, 81);
    expectNear(eye - obliqueEye, center - kHomeCenter, kTol);
    expectNear(eye - center, obliqueEye - kHomeCenter, kTol);
    EXPECT_GT((center - kHomeCenter).norm(), 0.1);
}

TEST(CameraTest, PointerRayStartsOnTheNearPlaneAndPassesThroughWhatProjectsUnderThePointer) {
    const ScreenProjection view = homeView();
    // The centre pixel looks straight along the line of sight.
    const PointerRay centre = unprojectRay(view, 400, 300);
    ASSERT_TRUE(centre.valid);
    expectNear(centre.direction, vec3(0, 0, -1), 1e-9);
    expectNear(centre.origin, vec3(20, 20, 60 - 0.02), 1e-9);

    // Any model point: the ray through its projected pixel (y counted from the top) meets it.
    const vec3 point(31.5, 12.25, 7.0);
    vec3 window;
    ASSERT_TRUE(projectToWindow(view, point, window));
    const PointerRay ray = unprojectRay(view, window.x, view.viewport[3] - window.y);
    ASSERT_TRUE(ray.valid);
    EXPECT_NEAR(ray.direction.norm(), 1.0, 1e-12);
    const vec3 toPoint = point - ray.origin;
    const double along = toPoint.dot(ray.direction);
    EXPECT_GT(along, 0.0);
    EXPECT_NEAR((toPoint - ray.direction * along).norm(), 0.0, 1e-7);

    // A pixel further down the window looks further down in the model.
    EXPECT_LT(unprojectRay(view, 400, 500).direction.y, 0.0);

    // Matrices that cannot be inverted, or a viewport without area, give no ray.
    ScreenProjection flat = view;
    for (double& m : flat.projection) m = 0.0;
    EXPECT_FALSE(unprojectRay(flat, 400, 300).valid);
    ScreenProjection empty = view;
    empty.viewport[2] = 0;
    EXPECT_FALSE(unprojectRay(empty, 0, 0).valid);
}

TEST(CameraTest, RayPlaneProjectionMeetsThePlaneOrReportsAParallelRay) {
    // The plane z = 5 through (1, 2, 5); the ray comes down at an angle.
    const vec3 hit = projectRayToPlane({0, 0, 10}, {0.6, 0, -0.8}, {1, 2, 5}, {0, 0, 2});
    expectNear(hit, vec3(3.75, 0, 5), kTol);
    // The line counts, not only the half ahead of the origin.
    expectNear(projectRayToPlane({0, 0, 0}, {0, 0, 1}, {4, 4, -3}, {0, 0, 1}), vec3(0, 0, -3), kTol);

    DiagCapture capture;
    const vec3 parallel = projectRayToPlane({7, 8, 9}, {1, 0, 0}, {0, 0, 0}, {0, 1, 0});
    EXPECT_EQ(parallel, vec3(0, 0, 0));
    EXPECT_EQ(capture.text(), "error , system can't project stroke to plane 3\n");
}

TEST(CameraTest, SurfacePickFindsTheNearestTriangleWhicheverWayItFaces) {
    TTriangleMesh sphere;
    sphere.createSphere(5.0);
    SurfaceHit hit;

    // From outside: the near wall, not the far one.
    PointerRay ray;
    ray.origin = vec3(0.3, 0.2, 20);
    ray.direction = vec3(0, 0, -1);
    ray.valid = true;
    ASSERT_TRUE(pickSurface(sphere, ray, hit));
    ASSERT_GE(hit.triangle, 0);
    EXPECT_GT(hit.point.z, 4.0);
    EXPECT_LT(sphere.polyNormals()[hit.triangle].dot(ray.direction), 0.0);
    int triangle = -1;
    vec3 expected;
    ASSERT_TRUE(sphere.pickByRay(ray.origin, ray.direction, 1, triangle, expected));
    EXPECT_EQ(hit.triangle, triangle);
    expectNear(hit.point, expected, kTol);

    // From inside the wall faces away from the ray and is still hit.
    ray.origin = vec3(0.3, 0.2, 0);
    ASSERT_TRUE(pickSurface(sphere, ray, hit));
    EXPECT_LT(hit.point.z, -4.0);
    EXPECT_GT(sphere.polyNormals()[hit.triangle].dot(ray.direction), 0.0);

    // Misses and invalid rays hit nothing.
    ray.origin = vec3(10, 10, 20);
    EXPECT_FALSE(pickSurface(sphere, ray, hit));
    EXPECT_EQ(hit.triangle, -1);
    ray.origin = vec3(0, 0, 20);
    ray.valid = false;
    EXPECT_FALSE(pickSurface(sphere, ray, hit));
    EXPECT_EQ(hit.triangle, -1);
}
