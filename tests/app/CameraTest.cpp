// The camera in the running application: drags in both modes, the right-edge strip, the capture,
// the home camera keys and menu entries, the turn around the model, and picking through the view's
// own matrices.
#include <QApplication>
#include <QMouseEvent>
#include <algorithm>
#include <cmath>
#include <limits>

#include "GuiFixture.h"
#include "common/VecExpect.h"
#include "linalg/Diagnostics.h"
#include "mesh/ScreenProjection.h"
#include "render/Camera.h"
#include "render/TOGL.h"

namespace {

const vec3 kHomeEye(20, 20, 60), kHomeCenter(20, 20, 20), kHomeUp(0, 1, 0);

class CameraGuiTest : public GuiFixture {
   protected:
    TOGL& ogl() { return *core().m_ogl; }
    CameraControl& camera() { return *core().m_camera; }

    /// Widget position of a device pixel (the modes and the viewport count device pixels).
    QPointF logical(int x, int y) const {
        const qreal ratio = m_view->devicePixelRatioF();
        return QPointF(x / ratio, y / ratio);
    }

    void send(QEvent::Type type, int x, int y, Qt::MouseButton button) {
        const QPointF p = logical(x, y);
        QMouseEvent event(type, p, m_view->mapToGlobal(p), button, m_buttons, Qt::NoModifier);
        QApplication::sendEvent(m_view, &event);
    }
    void press(Qt::MouseButton button, int x, int y) {
        m_buttons |= button;
        send(QEvent::MouseButtonPress, x, y, button);
    }
    void moveTo(int x, int y) { send(QEvent::MouseMove, x, y, Qt::NoButton); }
    void release(Qt::MouseButton button, int x, int y) {
        m_buttons &= ~Qt::MouseButtons(button);
        send(QEvent::MouseButtonRelease, x, y, button);
    }
    /// Press at (x0, y0), move there in steps, release at the end.
    void drag(Qt::MouseButton button, int x0, int y0, int x1, int y1, int steps = 10) {
        press(button, x0, y0);
        for (int i = 1; i <= steps; ++i) moveTo(x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps);
        release(button, x1, y1);
    }

    void setCamera(const vec3& eye, const vec3& center, const vec3& up) {
        ogl().m_eye = eye;
        ogl().m_center = center;
        ogl().m_up = up;
    }

    /// Whether the view's last frame was drawn from the current camera.
    ::testing::AssertionResult lastFrameShowsTheCamera() {
        const ScreenProjection drawn = ogl().currentProjection();
        double expected[16];
        lookAtMatrix(ogl().m_eye, ogl().m_center, ogl().m_up, expected);
        for (int i = 0; i < 16; ++i)
            if (std::abs(drawn.modelView[i] - expected[i]) > 1e-3 * (1.0 + std::abs(expected[i])))
                return ::testing::AssertionFailure() << "model-view element " << i << " is " << drawn.modelView[i]
                                                     << ", the camera gives " << expected[i];
        return ::testing::AssertionSuccess();
    }

    Qt::MouseButtons m_buttons;
};

}  // namespace

TEST_F(CameraGuiTest, RightDragDolliesWithin20PixelsOfTheRightEdgeAndOrbitsFartherIn) {
    start();
    const int w = ogl().m_viewWidth, y = ogl().m_viewHeight / 2;

    // 19 pixels from the edge: 16 pixels down in four steps of 1/20 each bring the eye closer
    // along the line of sight.
    drag(Qt::RightButton, w - 19, y, w - 19, y + 16, 4);
    EXPECT_EQ(ogl().m_center, kHomeCenter);
    EXPECT_LT((ogl().m_eye - kHomeCenter).norm(), 40.0 * 0.85);
    EXPECT_NEAR(ogl().m_eye.x, 20.0, 1e-12);
    EXPECT_NEAR(ogl().m_eye.y, 20.0, 1e-12);

    // 21 pixels from the edge the same drag orbits: same distance, the eye leaves the axis.
    QTest::keyClick(m_view, Qt::Key_N);
    ASSERT_EQ(ogl().m_eye, kHomeEye);
    drag(Qt::RightButton, w - 21, y, w - 21, y + 16, 4);
    EXPECT_NEAR((ogl().m_eye - kHomeCenter).norm(), 40.0, 1e-9);
    EXPECT_NEAR(ogl().m_eye.y, 20.0 + 40.0 * std::sin(16.0 / 200.0), 1e-9);
    EXPECT_TRUE(lastFrameShowsTheCamera());
}

TEST_F(CameraGuiTest, A200PixelHorizontalRightDragTurnsTheEyeOneRadianInBothModes) {
    start();
    const int x = ogl().m_viewWidth / 2 + 100, y = ogl().m_viewHeight / 2;
    for (const char* mode : {"Standard manipulation", "Paint control fields"}) {
        trigger(QString::fromLatin1(mode));
        setCamera(kHomeEye, kHomeCenter, kHomeUp);
        drag(Qt::RightButton, x, y, x - 200, y, 8);
        const vec3 offset = ogl().m_eye - kHomeCenter;
        EXPECT_NEAR(offset.norm(), 40.0, 1e-9) << mode;
        EXPECT_NEAR(turnAboutY(kHomeEye - kHomeCenter, offset), 1.0, 1e-9) << mode;
        EXPECT_NEAR(offset.y, 0.0, 1e-9) << mode;
        expectNear(ogl().m_up, kHomeUp, 1e-12);
        EXPECT_TRUE(lastFrameShowsTheCamera()) << mode;

        // Right and middle double clicks, as the window system delivers them (the second press
        // arrives as the double click), start no drag.
        const vec3 eye = ogl().m_eye;
        for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
            press(button, x, y);
            release(button, x, y);
            m_buttons |= button;
            send(QEvent::MouseButtonDblClick, x, y, button);
            moveTo(x - 60, y + 40);
            release(button, x - 60, y + 40);
        }
        EXPECT_EQ(ogl().m_eye, eye) << mode;
    }
}

TEST_F(CameraGuiTest, PanningMovesEyeAndCentreByOneVectorAndTheSceneFollowsThePointer) {
    start();
    const int x = ogl().m_viewWidth / 2, y = ogl().m_viewHeight / 2;
    const ScreenProjection before = ogl().currentProjection();
    drag(Qt::LeftButton, x, y, x + 90, y + 45, 5);
    const vec3 shift = ogl().m_eye - kHomeEye;
    expectNear(ogl().m_center - kHomeCenter, shift, 1e-12);
    expectNear(shift, vec3(-4, 2, 0), 1e-9);

    // The old centre, drawn in the middle before, now lies right of and below the middle.
    const ScreenProjection after = ogl().currentProjection();
    vec3 was, now;
    ASSERT_TRUE(projectToWindow(before, kHomeCenter, was));
    ASSERT_TRUE(projectToWindow(after, kHomeCenter, now));
    EXPECT_GT(now.x, was.x + 10);
    EXPECT_LT(now.y, was.y - 5);  // window y counts upwards
}

TEST_F(CameraGuiTest, DollyingDownNeverBringsTheEyeWithinTwoHundredthsOfTheCentre) {
    start();
    const int x = ogl().m_viewWidth / 2, y = 20;
    double closest = std::numeric_limits<double>::max();
    // Drag after drag downwards, each step 1/8 of the distance or, once that is too close, refused.
    for (int i = 0; i < 12; ++i) {
        press(Qt::MiddleButton, x, y);
        for (int step = 1; step <= 6; ++step) {
            moveTo(x, y + 10 * step);
            const double d = (ogl().m_eye - kHomeCenter).norm();
            ASSERT_GT(d, kDollyMinDistance);
            closest = std::min(closest, d);
        }
        release(Qt::MiddleButton, x, y + 60);
    }
    EXPECT_LT(closest, 0.03);
    // Still in front of the centre, looking at it.
    EXPECT_GT(ogl().m_eye.z, kHomeCenter.z);
    EXPECT_NEAR(ogl().m_eye.x, 20.0, 1e-9);
}

TEST_F(CameraGuiTest, KeyNRestoresTheCameraMemorisedByKeyMOrElseTheHomeCamera) {
    start();
    const int x = ogl().m_viewWidth / 2, y = ogl().m_viewHeight / 2;
    drag(Qt::RightButton, x, y, x - 60, y + 30, 3);
    drag(Qt::MiddleButton, x, y, x, y - 20, 2);
    ASSERT_NE(ogl().m_eye, kHomeEye);

    // N alone: the home camera, drawn at once.
    QTest::keyClick(m_view, Qt::Key_N);
    EXPECT_EQ(ogl().m_eye, kHomeEye);
    EXPECT_EQ(ogl().m_center, kHomeCenter);
    EXPECT_EQ(ogl().m_up, kHomeUp);
    EXPECT_TRUE(lastFrameShowsTheCamera());

    // M memorises; after more steering, N and the menu entry both come back to it.
    drag(Qt::RightButton, x, y, x + 80, y - 25, 4);
    drag(Qt::LeftButton, x, y, x + 30, y, 2);
    const vec3 eye = ogl().m_eye, center = ogl().m_center, up = ogl().m_up;
    QTest::keyClick(m_view, Qt::Key_M);
    drag(Qt::RightButton, x, y, x - 120, y, 4);
    ASSERT_NE(ogl().m_eye, eye);
    QTest::keyClick(m_view, Qt::Key_N);
    EXPECT_EQ(ogl().m_eye, eye);
    EXPECT_EQ(ogl().m_center, center);
    EXPECT_EQ(ogl().m_up, up);
    drag(Qt::RightButton, x, y, x - 120, y, 4);
    trigger(QStringLiteral("InitEyePosition"));
    EXPECT_EQ(ogl().m_eye, eye);
    EXPECT_EQ(ogl().m_center, center);
    EXPECT_TRUE(lastFrameShowsTheCamera());
}

TEST_F(CameraGuiTest, KeyFAndTheMenuFitTheWholeModelInTheViewAfterAnyCameraMove) {
    writeCubeModel("ModelB");
    start();
    ASSERT_NE(manager().model(), nullptr);
    // Every vertex inside the viewport, and the model spanning a good part of its narrower side.
    auto framed = [this] {
        const ScreenProjection view = ogl().currentProjection();
        double lo[2] = {1e300, 1e300}, hi[2] = {-1e300, -1e300};
        for (const vec3& p : manager().model()->m_verts) {
            vec3 w;
            if (!projectToWindow(view, p, w)) return false;
            if (w.x < 0 || w.y < 0 || w.x > view.viewport[2] || w.y > view.viewport[3] || w.z <= 0 || w.z >= 1)
                return false;
            lo[0] = std::min(lo[0], w.x), lo[1] = std::min(lo[1], w.y);
            hi[0] = std::max(hi[0], w.x), hi[1] = std::max(hi[1], w.y);
        }
        const double narrow = std::min(view.viewport[2], view.viewport[3]);
        return std::max(hi[0] - lo[0], hi[1] - lo[1]) > 0.4 * narrow;
    };
    // Far off to one side and turned: the model is out of view.
    ogl().m_eye = vec3(300, 40, -20);
    ogl().m_center = vec3(250, 40, -20);
    m_view->redrawNow();
    ASSERT_FALSE(framed());
    const vec3 direction = (ogl().m_eye - ogl().m_center) / (ogl().m_eye - ogl().m_center).norm();
    QTest::keyClick(m_view, Qt::Key_F);
    EXPECT_TRUE(framed());
    // The view keeps its direction.
    EXPECT_LT(((ogl().m_eye - ogl().m_center) / (ogl().m_eye - ogl().m_center).norm() - direction).norm(), 1e-12);
    // So does the menu entry, from very close.
    ogl().m_eye = ogl().m_center + vec3(0, 0, 0.5);
    m_view->redrawNow();
    ASSERT_FALSE(framed());
    trigger(QStringLiteral("Fit heart in view"));
    EXPECT_TRUE(framed());
}

TEST_F(CameraGuiTest, AutoRotationTurnsALittleMoreThanOnceDrawingEachStepButNotWhileTheBeatRuns) {
    writeCubeModel("ModelB");
    start();
    ASSERT_NE(manager().model(), nullptr);
    int steps = 0;
    int framesBehind = 0;
    double travelled = 0.0;
    vec3 previous = kHomeEye - kHomeCenter;
    camera().setAutoRotationPause([&](int ms) {
        ++steps;
        EXPECT_EQ(ms, 20);
        if (!lastFrameShowsTheCamera()) ++framesBehind;
        const vec3 offset = ogl().m_eye - kHomeCenter;
        travelled += turnAboutY(previous, offset);
        previous = offset;
    });

    QTest::keyClick(m_view, Qt::Key_O);
    ASSERT_TRUE(manager().m_timerOn);
    trigger(QStringLiteral("StartAutoRotation"));
    EXPECT_EQ(steps, 0);
    EXPECT_EQ(ogl().m_eye, kHomeEye);
    QTest::keyClick(m_view, Qt::Key_O);
    ASSERT_FALSE(manager().m_timerOn);

    trigger(QStringLiteral("StartAutoRotation"));
    EXPECT_EQ(steps, 250);
    EXPECT_EQ(framesBehind, 0);
    EXPECT_NEAR(travelled, 250 * 2 * M_PI / 249, 1e-6);
    EXPECT_NEAR((ogl().m_eye - kHomeCenter).norm(), 40.0, 1e-9);
    EXPECT_NEAR(turnAboutY(kHomeEye - kHomeCenter, ogl().m_eye - kHomeCenter), 2 * M_PI / 249, 1e-9);
}

TEST_F(CameraGuiTest, AMoveWithoutTheCaptureDoesNotMoveTheCamera) {
    start();
    QApplication::setActiveWindow(m_frame);
    m_view->setFocus();
    ASSERT_TRUE(waitFor([this] { return m_view->hasFocus(); }));
    const int x = ogl().m_viewWidth / 2, y = ogl().m_viewHeight / 2;

    press(Qt::RightButton, x, y);
    EXPECT_TRUE(m_view->hasMouseCapture());
    moveTo(x - 20, y);
    const vec3 turned = ogl().m_eye;
    ASSERT_NE(turned, kHomeEye);

    // Another window takes over: the drag's further moves do nothing, and its release ends it.
    QWidget other;
    other.resize(100, 100);
    other.show();
    QApplication::setActiveWindow(&other);
    EXPECT_FALSE(m_view->hasMouseCapture());
    moveTo(x - 120, y + 40);
    EXPECT_EQ(ogl().m_eye, turned);
    release(Qt::RightButton, x - 120, y + 40);
    EXPECT_EQ(camera().m_dragMode, CAMERA_DRAG_NONE);

    // Back in the view, the next press captures again and steers.
    QApplication::setActiveWindow(m_frame);
    drag(Qt::RightButton, x, y, x - 20, y, 2);
    EXPECT_NE(ogl().m_eye, turned);
    EXPECT_FALSE(m_view->hasMouseCapture());

    // Losing the focus alone also ends the capture.
    press(Qt::MiddleButton, x, y);
    ASSERT_TRUE(m_view->hasMouseCapture());
    QFocusEvent focusOut(QEvent::FocusOut, Qt::OtherFocusReason);
    QApplication::sendEvent(m_view, &focusOut);
    const vec3 eye = ogl().m_eye;
    moveTo(x, y + 50);
    EXPECT_EQ(ogl().m_eye, eye);
    release(Qt::MiddleButton, x, y + 50);
}

TEST_F(CameraGuiTest, APickAtTheProjectedPositionOfASurfacePointReturnsThatTriangleAndPoint) {
    start({QString::fromStdString(testfiles::sourceDir() + "/models/ModelB")});
    const TLSMModel* model = manager().model();
    ASSERT_NE(model, nullptr);
    const TTriangleMesh& surface = model->m_surface;
    ASSERT_GT(surface.polyCount(), 100);
    // Turn the heart a little so the test does not rest on the home view alone.
    const int x = ogl().m_viewWidth / 2, y = ogl().m_viewHeight / 2;
    drag(Qt::RightButton, x, y, x - 70, y + 25, 5);

    // The view's matrices and viewport as the last frame left them, read once.
    const ScreenProjection view = ogl().currentProjection();
    ASSERT_EQ(view.viewport[2], ogl().m_viewWidth);
    ASSERT_EQ(view.viewport[3], ogl().m_viewHeight);

    // Triangles whose centroid is the first thing the eye sees in its direction, checked in turn.
    int checked = 0;
    for (int t = 0; t < surface.polyCount() && checked < 25; t += 7) {
        const auto& corners = surface.polys()[t];
        const vec3 centroid =
            (surface.verts()[corners[0]] + surface.verts()[corners[1]] + surface.verts()[corners[2]]) / 3.0;
        const vec3 sight = centroid - ogl().m_eye;
        int first = -1;
        vec3 firstHit;
        if (!surface.pickByRay(ogl().m_eye, sight / sight.norm(), 0, first, firstHit) || first != t) continue;
        vec3 window;
        ASSERT_TRUE(projectToWindow(view, centroid, window));
        if (window.x < 1 || window.y < 1 || window.x > view.viewport[2] - 1 || window.y > view.viewport[3] - 1)
            continue;
        const PointerRay ray = unprojectRay(view, window.x, view.viewport[3] - window.y);
        SurfaceHit hit;
        ASSERT_TRUE(pickSurface(surface, ray, hit)) << "triangle " << t;
        EXPECT_EQ(hit.triangle, t);
        // The context keeps single-precision matrices.
        EXPECT_LT((hit.point - centroid).norm(), 2e-3) << "triangle " << t;
        ++checked;
    }
    EXPECT_GE(checked, 10);

    // The top-left corner shows only background.
    SurfaceHit hit;
    EXPECT_FALSE(pickSurface(surface, unprojectRay(view, 0, 0), hit));
    EXPECT_EQ(hit.triangle, -1);
}

TEST_F(CameraGuiTest, ProjectingAPointerRayOntoAPlaneParallelToItPrintsItsMessageAndGivesTheOrigin) {
    start();
    const ScreenProjection view = ogl().currentProjection();
    const PointerRay ray = unprojectRay(view, 37, 52);
    ASSERT_TRUE(ray.valid);
    // A normal across the ray: its dot product with the direction is exactly 0.
    const vec3 normal(ray.direction.y, -ray.direction.x, 0.0);
    DiagCapture capture;
    EXPECT_EQ(projectRayToPlane(ray.origin, ray.direction, kHomeCenter, normal), vec3(0, 0, 0));
    EXPECT_EQ(capture.text(), "error , system can't project stroke to plane 3\n");

    // The plane through the centre facing the camera is met where the line of sight crosses it.
    capture.clear();
    const vec3 onPlane = projectRayToPlane(ray.origin, ray.direction, kHomeCenter, vec3(0, 0, 1));
    EXPECT_NEAR(onPlane.z, 20.0, 1e-9);
    EXPECT_TRUE(capture.text().empty());
}
