// Window projection and unprojection from plain matrices.
#include <gtest/gtest.h>

#include "mesh/ScreenProjection.h"

namespace {

constexpr double kTol = 1e-9;

ScreenProjection perspectiveView() {
    ScreenProjection view;
    perspectiveMatrix(45.0, 640.0 / 480.0, 1.0, 200.0, view.projection);
    lookAtMatrix({20, 25, 60}, {20, 20, 20}, {0, 1, 0}, view.modelView);
    view.viewport[0] = 10;
    view.viewport[1] = 5;
    view.viewport[2] = 640;
    view.viewport[3] = 480;
    return view;
}

TEST(ScreenProjectionTest, OrthographicViewMapsModelUnitsToPixels) {
    ScreenProjection view;
    orthoMatrix(0, 256, 0, 128, -10, 10, view.projection);
    view.viewport[2] = 256;
    view.viewport[3] = 128;
    vec3 w;
    ASSERT_TRUE(projectToWindow(view, {15, 78, 0}, w));
    EXPECT_EQ(w.x, 15.0);
    EXPECT_EQ(w.y, 78.0);
    EXPECT_EQ(w.z, 0.5);
}

TEST(ScreenProjectionTest, LookAtCentreLandsMidViewportAndRoundTrips) {
    const ScreenProjection view = perspectiveView();
    vec3 w;
    ASSERT_TRUE(projectToWindow(view, {20, 20, 20}, w));
    EXPECT_NEAR(w.x, 10 + 320, kTol);
    EXPECT_NEAR(w.y, 5 + 240, kTol);
    EXPECT_GT(w.z, 0.0);
    EXPECT_LT(w.z, 1.0);
    for (const vec3& p : {vec3(20, 20, 20), vec3(17.5, 22, 31), vec3(-3, 40, 0), vec3(24, 18, 55)}) {
        vec3 win, back;
        ASSERT_TRUE(projectToWindow(view, p, win));
        ASSERT_TRUE(unprojectFromWindow(view, win, back));
        EXPECT_NEAR(back.x, p.x, 1e-7);
        EXPECT_NEAR(back.y, p.y, 1e-7);
        EXPECT_NEAR(back.z, p.z, 1e-7);
    }
    // A point above the centre appears higher on the screen (window y up).
    ASSERT_TRUE(projectToWindow(view, {20, 23, 20}, w));
    EXPECT_GT(w.y, 245.0);
}

TEST(ScreenProjectionTest, DegenerateInputsAreRefused) {
    const ScreenProjection view = perspectiveView();
    vec3 w(7, 7, 7), p(7, 7, 7);
    // A point in the camera's own plane has clip w = 0.
    EXPECT_FALSE(projectToWindow(view, {21, 25, 60}, w));
    EXPECT_EQ(w, vec3(7, 7, 7));
    ScreenProjection flat = view;
    for (double& v : flat.projection) v = 0.0;
    EXPECT_FALSE(unprojectFromWindow(flat, {1, 1, 0.5}, p));
    ScreenProjection empty = view;
    empty.viewport[2] = 0;
    EXPECT_FALSE(unprojectFromWindow(empty, {1, 1, 0.5}, p));
    EXPECT_EQ(p, vec3(7, 7, 7));
}

TEST(ScreenProjectionTest, MatrixInverseUndoesTheProduct) {
    const ScreenProjection view = perspectiveView();
    double combined[16], inverse[16], product[16];
    multiplyMatrix4(view.projection, view.modelView, combined);
    ASSERT_TRUE(invertMatrix4(combined, inverse));
    multiplyMatrix4(combined, inverse, product);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(product[i], i % 5 == 0 ? 1.0 : 0.0, kTol) << i;
}

}  // namespace
