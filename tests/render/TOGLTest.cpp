// TOGL without a context: size bookkeeping, start values, the stereo eyes and the surface order.
#include <gtest/gtest.h>

#include "common/TriangleMeshTestAccess.h"
#include "render/StereoCamera.h"
#include "render/SurfaceDraw.h"
#include "render/TOGL.h"

namespace {
constexpr double kTol = 1e-12;
}

TEST(TOGLTest, ResizeKeepsThePreviousSizeUnlessBothSidesArePositive) {
    TOGL ogl;
    EXPECT_EQ(ogl.m_viewWidth, 0);
    EXPECT_EQ(ogl.m_viewHeight, 0);
    ogl.resize(640, 480);
    EXPECT_EQ(ogl.m_viewWidth, 640);
    EXPECT_EQ(ogl.m_viewHeight, 480);
    ogl.resize(0, 300);
    ogl.resize(300, 0);
    ogl.resize(-5, 200);
    EXPECT_EQ(ogl.m_viewWidth, 640);
    EXPECT_EQ(ogl.m_viewHeight, 480);
    ogl.resize(1, 1);
    EXPECT_EQ(ogl.m_viewWidth, 1);
    EXPECT_EQ(ogl.m_viewHeight, 1);
}

TEST(TOGLTest, WithoutAContextNothingIsBoundAndUnprojectionGivesTheOrigin) {
    TOGL ogl;
    EXPECT_FALSE(ogl.hasContext());
    EXPECT_FALSE(ogl.makeCurrent());
    EXPECT_FALSE(ogl.initialize(nullptr));
    EXPECT_EQ(ogl.unprojectPoint(10, 10, 0.5), vec3());
    EXPECT_EQ(ogl.m_homeEye, vec3(0, 20, 50));
    EXPECT_EQ(ogl.m_homeCenter, vec3(0, 20, 0));
    EXPECT_EQ(ogl.m_clearColor, (std::array<float, 4>{1, 1, 1, 0.5f}));
}

TEST(TOGLTest, FrameCubeCornersSpanTheFortyUnitCube) {
    const std::array<vec3, 8> c = frameCubeCorners();
    EXPECT_EQ(c[0], vec3(0, 0, 0));
    EXPECT_EQ(c[7], vec3(40, 40, 40));
    for (int i = 0; i < 8; ++i)
        for (int j = i + 1; j < 8; ++j) EXPECT_NE(c[i], c[j]);
}

TEST(StereoCameraTest, EyesDifferOnlyByTheHorizontalOffsetAndShareTheFocus) {
    const vec3 eye(20, 20, 60), centre(20, 20, 20), up(0, 1, 0);
    const StereoEyes s = computeStereoEyes(eye, centre, up);
    EXPECT_NEAR(distance(s.focus, vec3(20, 20, 12)), 0.0, kTol);  // 8 beyond the centre
    EXPECT_NEAR(s.halfSeparation, 0.025 * 48.0, kTol);
    const vec3 between = s.rightEye - s.leftEye;
    EXPECT_NEAR(between.norm(), 2.0 * s.halfSeparation, kTol);
    EXPECT_NEAR(between.dot(up), 0.0, kTol);
    EXPECT_NEAR(between.dot(centre - eye), 0.0, kTol);
    EXPECT_GT(between.x, 0.0);  // the right eye is on the camera's right (+x here)
    EXPECT_NEAR(distance((s.rightEye + s.leftEye) * 0.5, eye), 0.0, kTol);

    // A tilted camera: the offset stays perpendicular to both the view direction and up.
    const vec3 eye2(3, -4, 7), centre2(-1, 2, 0.5), up2 = unitOrZero(vec3(0.2, 1, 0.1));
    const StereoEyes t = computeStereoEyes(eye2, centre2, up2);
    const vec3 d = unitOrZero(centre2 - eye2);
    EXPECT_NEAR(distance(t.focus, centre2 + 8.0 * d), 0.0, kTol);
    EXPECT_NEAR(t.halfSeparation, 0.025 * distance(t.focus, eye2), kTol);
    EXPECT_NEAR((t.rightEye - t.leftEye).dot(d), 0.0, kTol);
    EXPECT_NEAR((t.rightEye - t.leftEye).dot(up2), 0.0, 1e-9);
}

TEST(StereoCameraTest, DegenerateCameraKeepsBothEyesOnTheEye) {
    const StereoEyes s = computeStereoEyes(vec3(1, 2, 3), vec3(1, 2, 3), vec3(0, 1, 0));
    EXPECT_EQ(s.rightEye, vec3(1, 2, 3));
    EXPECT_EQ(s.leftEye, vec3(1, 2, 3));
    const StereoEyes u = computeStereoEyes(vec3(0, 0, 0), vec3(0, 5, 0), vec3(0, 1, 0));  // up along the view
    EXPECT_EQ(u.rightEye, u.leftEye);
}

TEST(SurfaceDrawTest, DrawOrderIsUsedOnlyWhenItIndexesEveryTriangleValidly) {
    TTriangleMesh mesh;
    TTriangleMeshTestAccess::polys(mesh) = {{0, 1, 2}, {0, 2, 3}, {0, 3, 1}};
    EXPECT_EQ(surfaceTriangleOrder(mesh, {2, 0, 1}), (std::vector<int>{2, 0, 1}));
    EXPECT_EQ(surfaceTriangleOrder(mesh, {}), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(surfaceTriangleOrder(mesh, {2, 0}), (std::vector<int>{0, 1, 2}));     // stale, shorter
    EXPECT_EQ(surfaceTriangleOrder(mesh, {2, 0, 3}), (std::vector<int>{0, 1, 2}));  // out of range
    EXPECT_EQ(surfaceTriangleOrder(mesh, {2, -1, 0}), (std::vector<int>{0, 1, 2}));
}
