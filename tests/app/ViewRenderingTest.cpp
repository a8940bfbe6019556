// What the view draws: the background gradient, the frame cube at its projected corners, the two
// half images of the stereo mode, and unprojection through the view's context.
#include <QOpenGLContext>

#include "GuiFixture.h"
#include "mesh/ScreenProjection.h"
#include "render/StereoCamera.h"
#include "render/TOGL.h"

namespace {

/// Image pixel of a window point (window y upwards from the bottom of the image).
QPoint imagePixel(const vec3& window, int imageHeight) {
    return QPoint(static_cast<int>(std::floor(window.x)), imageHeight - 1 - static_cast<int>(std::floor(window.y)));
}

/// The view's camera for an image of width x height (one viewport at viewportX of viewportWidth).
ScreenProjection cameraProjection(const vec3& eye, const vec3& centre, const vec3& up, int width, int height,
                                  int viewportX, int viewportWidth) {
    ScreenProjection p;
    perspectiveMatrix(45.0, static_cast<double>(width) / height, 0.02, 300.0, p.projection);
    lookAtMatrix(eye, centre, up, p.modelView);
    p.viewport[0] = viewportX;
    p.viewport[1] = 0;
    p.viewport[2] = viewportWidth;
    p.viewport[3] = height;
    return p;
}

/// How many frame-cube corners project inside [x0, x1) of the image, and how many of those have
/// yellow pixels around them.
std::pair<int, int> cornersDrawn(const QImage& image, const ScreenProjection& p, int x0, int x1) {
    int inside = 0, yellow = 0;
    for (const vec3& corner : frameCubeCorners()) {
        vec3 w;
        if (!projectToWindow(p, corner, w) || w.z <= 0.0 || w.z >= 1.0) continue;
        const QPoint px = imagePixel(w, image.height());
        if (px.x() < x0 + 3 || px.x() >= x1 - 3 || px.y() < 3 || px.y() >= image.height() - 3) continue;
        ++inside;
        yellow += yellowNear(image, px.x(), px.y()) ? 1 : 0;
    }
    return {inside, yellow};
}

}  // namespace

TEST_F(GuiFixture, EmptyViewShowsTheBackgroundGradientInItsCorners) {
    start();
    ASSERT_EQ(manager().model(), nullptr);
    const QImage image = m_view->grabFramebuffer();
    ASSERT_FALSE(image.isNull());
    const int w = image.width(), h = image.height();
    EXPECT_TRUE(colourNear(image.pixel(0, h - 1), 0, 77, 77)) << std::hex << image.pixel(0, h - 1);
    EXPECT_TRUE(colourNear(image.pixel(w - 1, h - 1), 0, 178, 178)) << std::hex << image.pixel(w - 1, h - 1);
    EXPECT_TRUE(colourNear(image.pixel(0, 0), 0, 0, 0));
    EXPECT_TRUE(colourNear(image.pixel(w - 1, 0), 0, 0, 0));
    // Halfway up, halfway between the bottom colour and black.
    EXPECT_TRUE(colourNear(image.pixel(0, h / 2), 0, 38, 38));

    // Without the frames there is nothing but the gradient.
    trigger(QStringLiteral("Show Frames"));
    EXPECT_FALSE(core().m_bShowFrames);
    const QImage plain = m_view->grabFramebuffer();
    for (int y = 0; y < h; y += 7)
        for (int x = 0; x < w; x += 7) ASSERT_FALSE(isFrameYellow(plain.pixel(x, y))) << x << "," << y;
}

TEST_F(GuiFixture, FrameCubeIsDrawnAtItsProjectedCornersWhileFramesAreShown) {
    start();
    ASSERT_TRUE(core().m_bShowFrames);
    const QImage image = m_view->grabFramebuffer();
    const int w = image.width(), h = image.height();
    const ScreenProjection p = cameraProjection(vec3(20, 20, 60), vec3(20, 20, 20), vec3(0, 1, 0), w, h, 0, w);
    const auto [inside, yellow] = cornersDrawn(image, p, 0, w);
    EXPECT_GE(inside, 4);  // the four far corners are in view
    EXPECT_EQ(yellow, inside);
    // The middle of the far face is background, not frame.
    vec3 middle;
    ASSERT_TRUE(projectToWindow(p, vec3(20, 20, 0), middle));
    const QPoint m = imagePixel(middle, h);
    EXPECT_FALSE(yellowNear(image, m.x(), m.y(), 4));

    trigger(QStringLiteral("Show Frames"));
    EXPECT_FALSE(isChecked("Show Frames"));
    const QImage hidden = m_view->grabFramebuffer();
    EXPECT_EQ(cornersDrawn(hidden, p, 0, w).second, 0);
}

TEST_F(GuiFixture, StereoModeDrawsTwoHalfImagesFromTheTwoEyes) {
    start();
    trigger(QStringLiteral("3D Mode"));
    const QImage image = m_view->grabFramebuffer();
    const int w = image.width(), h = image.height(), half = w / 2;
    // Each half has its own gradient: bright at its bottom-right, dark at its bottom-left.
    EXPECT_TRUE(colourNear(image.pixel(half - 1, h - 1), 0, 178, 178, 10)) << std::hex << image.pixel(half - 1, h - 1);
    EXPECT_TRUE(colourNear(image.pixel(half + 1, h - 1), 0, 77, 77, 10)) << std::hex << image.pixel(half + 1, h - 1);

    const TOGL& ogl = *core().m_ogl;
    const StereoEyes eyes = computeStereoEyes(ogl.m_eye, ogl.m_center, ogl.m_up);
    const ScreenProjection right = cameraProjection(eyes.rightEye, eyes.focus, ogl.m_up, w, h, half, half);
    const ScreenProjection left = cameraProjection(eyes.leftEye, eyes.focus, ogl.m_up, w, h, 0, half);
    const auto [rightInside, rightYellow] = cornersDrawn(image, right, half, w);
    const auto [leftInside, leftYellow] = cornersDrawn(image, left, 0, half);
    EXPECT_GE(rightInside, 2);
    EXPECT_GE(leftInside, 2);
    EXPECT_EQ(rightYellow, rightInside);
    EXPECT_EQ(leftYellow, leftInside);

    // Back to one image: the centre column is again inside one gradient.
    trigger(QStringLiteral("3D Mode"));
    const QImage single = m_view->grabFramebuffer();
    EXPECT_TRUE(colourNear(single.pixel(half, h - 1), 0, 128, 128, 10)) << std::hex << single.pixel(half, h - 1);
}

TEST_F(GuiFixture, UnprojectingTheWindowCentreAtDepthZeroGivesThePointOnTheNearPlaneOnTheLineOfSight) {
    start();
    m_view->grabFramebuffer();  // a frame has set the matrices
    TOGL& ogl = *core().m_ogl;
    const double cx = ogl.m_viewWidth / 2.0, cy = ogl.m_viewHeight / 2.0;
    const vec3 nearPoint = ogl.unprojectPoint(cx, cy, 0.0);
    // Outside a frame the context is bound for the call only.
    EXPECT_FALSE(ogl.isDrawing());
    EXPECT_EQ(QOpenGLContext::currentContext(), nullptr);

    const vec3 sight = unitOrZero(ogl.m_center - ogl.m_eye);
    const vec3 offset = nearPoint - ogl.m_eye;
    EXPECT_NEAR(offset.dot(sight), kViewNear, 1e-6);
    EXPECT_NEAR((offset - sight * offset.dot(sight)).norm(), 0.0, 1e-6);

    // Depth 1 is the far plane; a pixel to the right lies to the camera's right.
    const vec3 farPoint = ogl.unprojectPoint(cx, cy, 1.0);
    // The far plane is 15000 times the near one away: the context's single-precision matrices
    // place it to within a few parts in ten thousand.
    EXPECT_NEAR((farPoint - ogl.m_eye).dot(sight), kViewFar, kViewFar * 2e-3);
    const vec3 rightPoint = ogl.unprojectPoint(cx + 100, cy, 0.0);
    EXPECT_GT((rightPoint - nearPoint).dot(sight.cross(ogl.m_up)), 0.0);
    const vec3 lowerPoint = ogl.unprojectPoint(cx, cy + 100, 0.0);  // window y grows downwards
    EXPECT_LT((lowerPoint - nearPoint).dot(ogl.m_up), 0.0);
}

TEST_F(GuiFixture, ViewDrawsTheLoadedModelOverTheBackground) {
    writeCubeModel("ModelB");
    start();
    ASSERT_NE(manager().model(), nullptr);
    trigger(QStringLiteral("Show Frames"));
    const QImage image = m_view->grabFramebuffer();
    const int w = image.width(), h = image.height();
    // The model sits around the origin; its centre projects into the lower left of the view.
    const ScreenProjection p = cameraProjection(vec3(20, 20, 60), vec3(20, 20, 20), vec3(0, 1, 0), w, h, 0, w);
    vec3 window;
    ASSERT_TRUE(projectToWindow(p, vec3(0, 0, 0), window));
    const QPoint c = imagePixel(window, h);
    ASSERT_TRUE(c.x() >= 0 && c.x() < w && c.y() >= 0 && c.y() < h);
    const QRgb pixel = image.pixel(c);
    // Muscle-coloured (red dominates), unlike the teal-to-black background.
    EXPECT_GT(qRed(pixel), qGreen(pixel) + 20) << std::hex << pixel;
    EXPECT_GT(qRed(pixel), qBlue(pixel) + 20) << std::hex << pixel;
}
