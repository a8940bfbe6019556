// PaintModeTest: the running application in the paint mode, with the camera set in front of the
// model and helpers that press, drag and wheel on the view at model points.
#pragma once

#include <QApplication>
#include <QCheckBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QWheelEvent>
#include <cmath>
#include <utility>
#include <vector>

#include "GuiFixture.h"
#include "app/DlgPaintCtrlField.h"
#include "interaction/TStatePaintCtrlField.h"
#include "mesh/ScreenProjection.h"
#include "render/TOGL.h"

class PaintModeTest : public GuiFixture {
   protected:
    void TearDown() override {
        TStatePaintCtrlField& m = mode();
        m.m_bLDown = m.m_bRDown = m.m_bMDown = false;
        GuiFixture::TearDown();
    }

    /// Starts the application on mesh (saved as the default model), in the paint mode, with the
    /// camera 30 units in front of the model's centre (the origin after loading).
    void startOn(const testmesh::TetData& mesh) {
        testmesh::writeTetGen(mesh, m_dir.file("ModelB"));
        start();
        ASSERT_NE(manager().model(), nullptr);
        enterPaintMode();
    }

    /// Switches to the paint mode and puts the camera 30 units in front of the origin.
    void enterPaintMode() {
        trigger(QStringLiteral("Paint control fields"));
        ASSERT_EQ(core().m_mode, 1);
        ogl().m_eye = vec3(0, 0, 30);
        ogl().m_center = vec3(0, 0, 0);
        ogl().m_up = vec3(0, 1, 0);
        m_view->redrawNow();
    }

    TLSMModel& model() { return *manager().model(); }
    TOGL& ogl() { return *core().m_ogl; }
    TStatePaintCtrlField& mode() { return TStatePaintCtrlField::getInstance(); }
    DlgPaintCtrlField& dialog() { return *dynamic_cast<DlgPaintCtrlField*>(core().m_dlgPaintCtrlField.get()); }
    ScreenProjection view() { return ogl().currentProjection(); }

    void chooseTool(PaintTool tool) { dialog().toolCheckBox(tool)->click(); }
    void clickButton(const char* text) {
        QPushButton* button = dialog().commandButton(QString::fromUtf8(text));
        ASSERT_NE(button, nullptr) << text;
        button->click();
    }

    /// The device pixel (origin top-left) where a model point is drawn.
    QPoint pixelOf(const vec3& p) {
        const ScreenProjection v = view();
        vec3 w;
        EXPECT_TRUE(projectToWindow(v, p, w));
        return QPoint(static_cast<int>(std::lround(w.x)), static_cast<int>(std::lround(v.viewport[3] - w.y)));
    }

    /// The point of the front surface under a device pixel.
    vec3 hitUnder(const QPoint& pixel) {
        SurfaceHit hit;
        EXPECT_TRUE(pickSurface(model().m_surface, unprojectRay(view(), pixel.x(), pixel.y()), hit));
        return hit.point;
    }

    void send(QEvent::Type type, const QPoint& pixel, Qt::MouseButton button) {
        const qreal ratio = m_view->devicePixelRatioF();
        const QPointF p(pixel.x() / ratio, pixel.y() / ratio);
        QMouseEvent event(type, p, m_view->mapToGlobal(p), button, m_buttons, m_modifiers);
        QApplication::sendEvent(m_view, &event);
    }
    void press(const QPoint& p, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        m_modifiers = modifiers;
        m_buttons |= Qt::LeftButton;
        send(QEvent::MouseButtonPress, p, Qt::LeftButton);
    }
    void moveTo(const QPoint& p) { send(QEvent::MouseMove, p, Qt::NoButton); }
    void release(const QPoint& p) {
        m_buttons &= ~Qt::MouseButtons(Qt::LeftButton);
        send(QEvent::MouseButtonRelease, p, Qt::LeftButton);
        m_modifiers = Qt::NoModifier;
    }
    /// The pointer positions of a straight move from a to b in steps (b included).
    static std::vector<QPoint> path(const QPoint& a, const QPoint& b, int steps) {
        std::vector<QPoint> points;
        for (int i = 1; i <= steps; ++i)
            points.emplace_back(a.x() + (b.x() - a.x()) * i / steps, a.y() + (b.y() - a.y()) * i / steps);
        return points;
    }
    void drag(const QPoint& a, const QPoint& b, Qt::KeyboardModifiers modifiers, int steps = 10) {
        press(a, modifiers);
        for (const QPoint& p : path(a, b, steps)) moveTo(p);
        release(b);
    }
    /// Shift-clicks a phase source (0) at the left end and a sink (1) at the right end of bar();
    /// returns the two pixels clicked.
    std::pair<QPoint, QPoint> paintSourceAndSinkAtTheEnds() {
        const QPoint left = pixelOf(vec3(-4.6, 0, 1.67)), right = pixelOf(vec3(4.6, 0, 1.67));
        chooseTool(PaintTool::PHASE_0);
        press(left, Qt::ShiftModifier);
        release(left);
        chooseTool(PaintTool::PHASE_1);
        press(right, Qt::ShiftModifier);
        release(right);
        return {left, right};
    }
    void wheel(int delta, Qt::KeyboardModifiers modifiers) {
        const QPointF p(m_view->width() / 2.0, m_view->height() / 2.0);
        QWheelEvent event(p, m_view->mapToGlobal(p), QPoint(), QPoint(0, delta), Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(m_view, &event);
    }

    Qt::MouseButtons m_buttons;
    Qt::KeyboardModifiers m_modifiers;
};

/// A bar along x: 6 x 2 x 2 cells of 5 units, 30 x 10 x 10, loaded as 10 x 3.33 x 3.33.
inline testmesh::TetData bar() {
    return testmesh::grid(6, 2, 2, [](int i, int j, int k) { return vec3(5.0 * i, 5.0 * j, 5.0 * k); });
}
