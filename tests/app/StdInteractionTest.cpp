// The standard mode in the running application: chart editing in the overlay, the grab, marker
// points and pins; the standard dialog's chart editor, number fields, keys and buttons; the chart
// editor's image.
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <cmath>

#include "GuiFixture.h"
#include "app/DlgStdInteraction.h"
#include "interaction/TStateStdInteraction.h"
#include "linalg/Diagnostics.h"
#include "mesh/ScreenProjection.h"
#include "render/TOGL.h"

namespace {

class StdInteractionGuiTest : public GuiFixture {
   protected:
    void startWithModel() {
        writeCubeModel("ModelB");
        start();
        ASSERT_NE(model(), nullptr);
        mode().m_markerPoints.clear();
        // Look at the cube (centred on the origin, 10 across) from the front.
        TOGL& ogl = *core().m_ogl;
        ogl.m_eye = vec3(0, 0, 40);
        ogl.m_center = vec3(0, 0, 0);
        ogl.m_up = vec3(0, 1, 0);
        m_view->redrawNow();
    }

    TLSMModel* model() { return manager().model(); }
    TGlobalExcitation& excitation() { return *model()->m_excitation; }
    TStateStdInteraction& mode() { return TStateStdInteraction::getInstance(); }
    DlgStdInteraction& dialog() { return *dynamic_cast<DlgStdInteraction*>(core().m_dlgStdInteraction.get()); }
    int viewWidth() { return core().m_ogl->m_viewWidth; }
    int viewHeight() { return core().m_ogl->m_viewHeight; }

    /// The view pixel of a chart value (t, v) in the overlay.
    QPoint overlayPixel(double t, double v) {
        const ChartXY p = chartToFrame(mode().m_chartPos, mode().m_chartSize, t, v);
        return ndcPixel(p.x, p.y);
    }
    QPoint ndcPixel(double x, double y) {
        return QPoint(static_cast<int>(std::lround((x + 1.0) / 2.0 * viewWidth())),
                      static_cast<int>(std::lround((1.0 - y) / 2.0 * viewHeight())));
    }
    /// The view pixel where a model point is drawn.
    QPoint modelPixel(const vec3& point) {
        const ScreenProjection view = core().m_ogl->currentProjection();
        vec3 window;
        EXPECT_TRUE(projectToWindow(view, point, window));
        return QPoint(static_cast<int>(std::lround(window.x)),
                      static_cast<int>(std::lround(view.viewport[3] - window.y)));
    }

    void send(QWidget* target, QEvent::Type type, const QPoint& device, Qt::MouseButton button,
              Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        const qreal ratio = target == m_view ? m_view->devicePixelRatioF() : 1.0;
        const QPointF p(device.x() / ratio, device.y() / ratio);
        QMouseEvent event(type, p, target->mapToGlobal(p), button, m_buttons, modifiers);
        QApplication::sendEvent(target, &event);
    }
    void press(Qt::MouseButton button, const QPoint& p, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
               QWidget* target = nullptr) {
        m_buttons |= button;
        send(target ? target : m_view, QEvent::MouseButtonPress, p, button, modifiers);
    }
    void moveTo(const QPoint& p, Qt::KeyboardModifiers modifiers = Qt::NoModifier, QWidget* target = nullptr) {
        send(target ? target : m_view, QEvent::MouseMove, p, Qt::NoButton, modifiers);
    }
    void release(Qt::MouseButton button, const QPoint& p, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                 QWidget* target = nullptr) {
        m_buttons &= ~Qt::MouseButtons(button);
        send(target ? target : m_view, QEvent::MouseButtonRelease, p, button, modifiers);
    }
    void click(Qt::MouseButton button, const QPoint& p, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
               QWidget* target = nullptr) {
        press(button, p, modifiers, target);
        release(button, p, modifiers, target);
    }
    /// The events of a double click: press, release, double click, release.
    void doubleClick(const QPoint& p, Qt::KeyboardModifiers modifiers = Qt::NoModifier, QWidget* target = nullptr) {
        click(Qt::LeftButton, p, modifiers, target);
        m_buttons |= Qt::LeftButton;
        send(target ? target : m_view, QEvent::MouseButtonDblClick, p, Qt::LeftButton, modifiers);
        release(Qt::LeftButton, p, modifiers, target);
    }

    /// The vertex nearest to the eye among those at the cube's front face: the top-right front corner.
    int frontCorner() {
        int best = 0;
        for (int i = 1; i < model()->vertexCount(); ++i) {
            const vec3& p = model()->m_verts[i];
            const vec3& b = model()->m_verts[best];
            if (p.x + p.y + p.z > b.x + b.y + b.z) best = i;
        }
        return best;
    }

    double frontCornerZ() { return model()->m_verts[frontCorner()].z; }

    /// Chart editor pixel (dialog coordinates) of a chart value, as the editor draws it.
    QPoint editorPixel(double t, double v) {
        const QRect area = dialog().chartRect();
        const ChartPixelArea pixels{area.width(), area.height()};
        return QPoint(area.x() + pixels.columnOf(t),
                      area.y() + area.height() - static_cast<int>((area.height() - 20) * v + 10));
    }
    /// A dialog point as the chart area's own pixel.
    QPoint inArea(const QPoint& dialogPoint) { return dialog().m_chartArea->mapFrom(&dialog(), dialogPoint); }

    Qt::MouseButtons m_buttons;
};

TEST_F(StdInteractionGuiTest, OverlayClickInsertsAVentriclePointAndDragsIt) {
    startWithModel();
    const vec3 eye = core().m_ogl->m_eye;
    press(Qt::LeftButton, overlayPixel(0.3, 0.5));
    ASSERT_EQ(excitation().m_chartVent.size(), 2u);
    EXPECT_NEAR(excitation().m_chartVent[1].first, 0.3, 0.01);
    EXPECT_NEAR(excitation().m_chartVent[1].second, 0.5, 0.01);
    EXPECT_EQ(mode().m_chartDrag, kChartDragVent);
    EXPECT_EQ(mode().m_chartIndex, 1);
    moveTo(overlayPixel(0.5, 0.8));
    EXPECT_NEAR(excitation().m_chartVent[1].first, 0.5, 0.01);
    EXPECT_NEAR(excitation().m_chartVent[1].second, 0.8, 0.01);
    release(Qt::LeftButton, overlayPixel(0.5, 0.8));
    EXPECT_EQ(mode().m_chartDrag, kChartDragNone);
    EXPECT_EQ(mode().m_chartIndex, -1);
    // The tables follow the new curve and the camera never moved.
    const double expected = 1.0 - evalChart(excitation().m_chartVent, 49 / 99.0) * excitation().m_amplitude;
    EXPECT_NEAR(excitation().m_tableVent[49].x, expected, 1e-12);
    EXPECT_LT(excitation().m_tableVent[49].x, 0.7);
    EXPECT_EQ(core().m_ogl->m_eye, eye);
    // The right button edits the atrium curve.
    click(Qt::RightButton, overlayPixel(0.6, 0.4));
    ASSERT_EQ(excitation().m_chartAtri.size(), 2u);
    EXPECT_NEAR(excitation().m_chartAtri[1].first, 0.6, 0.01);
    EXPECT_EQ(excitation().m_chartVent.size(), 2u);
}

TEST_F(StdInteractionGuiTest, OverlayMarginInsertsOnlyWithinTheCycle) {
    startWithModel();
    const ChartXY pos = mode().m_chartPos, size = mode().m_chartSize;
    // Just below the frame, still on the background: a negative value is inserted.
    click(Qt::LeftButton, ndcPixel(pos.x + 0.5 * size.x, pos.y - 0.012));
    ASSERT_EQ(excitation().m_chartVent.size(), 2u);
    EXPECT_LT(excitation().m_chartVent[1].second, 0.0);
    // Left and right of the frame: nothing, and no drag starts.
    click(Qt::LeftButton, ndcPixel(pos.x - 0.012, pos.y + 0.5 * size.y));
    press(Qt::LeftButton, ndcPixel(pos.x + size.x + 0.012, pos.y + 0.5 * size.y));
    EXPECT_EQ(mode().m_chartDrag, kChartDragNone);
    release(Qt::LeftButton, ndcPixel(pos.x + size.x + 0.012, pos.y + 0.5 * size.y));
    EXPECT_EQ(excitation().m_chartVent.size(), 2u);
}

TEST_F(StdInteractionGuiTest, OverlayDragsKeepTheirLimitsAndTheFirstPointStays) {
    startWithModel();
    excitation().m_chartVent = {{0.0, 0.2}, {0.5, 0.5}};
    press(Qt::LeftButton, overlayPixel(0.0, 0.2));
    moveTo(overlayPixel(0.3, 1.5));
    release(Qt::LeftButton, overlayPixel(0.3, 1.5));
    EXPECT_EQ(excitation().m_chartVent[0].first, 0.0);
    EXPECT_EQ(excitation().m_chartVent[0].second, 0.9999999);
    press(Qt::LeftButton, overlayPixel(0.5, 0.5));
    moveTo(overlayPixel(1.2, -0.5));
    release(Qt::LeftButton, overlayPixel(1.2, -0.5));
    ASSERT_EQ(excitation().m_chartVent.size(), 2u);
    EXPECT_EQ(excitation().m_chartVent[1].first, 0.999);
    EXPECT_EQ(excitation().m_chartVent[1].second, 0.0000001);
    // Middle clicks: point 0 stays, another point goes.
    excitation().m_chartVent = {{0.0, 0.2}, {0.5, 0.5}};
    click(Qt::MiddleButton, overlayPixel(0.0, 0.2));
    EXPECT_EQ(excitation().m_chartVent.size(), 2u);
    click(Qt::MiddleButton, overlayPixel(0.5, 0.5));
    EXPECT_EQ(excitation().m_chartVent.size(), 1u);
    EXPECT_EQ(excitation().m_chartVent[0].second, 0.2);
}

TEST_F(StdInteractionGuiTest, ShiftPressAwayFromTheModelDoesNothing) {
    startWithModel();
    const vec3 eye = core().m_ogl->m_eye;
    const QPoint corner(5, viewHeight() - 5);
    press(Qt::LeftButton, corner, Qt::ShiftModifier);
    EXPECT_FALSE(mode().m_gGrab);
    EXPECT_EQ(core().m_camera->m_dragMode, CAMERA_DRAG_NONE);
    moveTo(corner + QPoint(60, -40), Qt::ShiftModifier);
    release(Qt::LeftButton, corner + QPoint(60, -40), Qt::ShiftModifier);
    EXPECT_EQ(core().m_ogl->m_eye, eye);
    EXPECT_TRUE(model()->m_fixedVerts.empty());
}

TEST_F(StdInteractionGuiTest, GrabPullsTheVertexTowardsThePointerUntilRelease) {
    startWithModel();
    const int corner = frontCorner();
    const QPoint at = modelPixel(model()->m_verts[corner]);
    press(Qt::LeftButton, at, Qt::ShiftModifier);
    ASSERT_TRUE(mode().m_gGrab);
    EXPECT_EQ(mode().m_grabVertex, corner);
    EXPECT_EQ(model()->m_fixedVerts.size(), mode().m_grabSet.size());
    EXPECT_GT(mode().m_grabSet.size(), 1u);
    const vec3 start = model()->m_verts[corner];
    moveTo(at + QPoint(60, 0), Qt::ShiftModifier);
    const vec3 target = mode().m_grabTarget;
    EXPECT_GT(target.x, start.x + 1.0);
    // The pull stays in the plane through the grabbed point facing the eye.
    EXPECT_NEAR(target.z, start.z, 1e-6);
    ASSERT_TRUE(model()->m_fixedVerts.count(corner));
    EXPECT_NEAR(distance(model()->m_fixedVerts[corner], target), 0.0, 1e-9);
    ASSERT_TRUE(manager().startTimer());
    // Tick by tick the vertex closes in on the pointer (the machine's load decides how many ticks a
    // moment holds).
    EXPECT_TRUE(waitFor([&] { return distance(model()->m_verts[corner], target) < 0.5 * distance(start, target); },
                        10000));
    manager().stopTimer();
    release(Qt::LeftButton, at + QPoint(60, 0), Qt::ShiftModifier);
    EXPECT_FALSE(mode().m_gGrab);
    EXPECT_TRUE(model()->m_fixedVerts.empty());
}

TEST_F(StdInteractionGuiTest, DoubleClicksPlaceFourMarkersThenClearThem) {
    startWithModel();
    const QPoint centre = modelPixel(vec3(0, 0, 0));
    for (int i = 1; i <= 4; ++i) {
        doubleClick(centre + QPoint(3 * i, 0));
        ASSERT_EQ(mode().m_markerPoints.size(), static_cast<size_t>(i));
        const MarkerPoint& marker = mode().m_markerPoints.back();
        const double sum = marker.m_weight[0] + marker.m_weight[1] + marker.m_weight[2] + marker.m_weight[3];
        EXPECT_NEAR(sum, 1.0, 1e-9) << "marker " << i << " has no sample of the hit";
        // It rides on the front face.
        EXPECT_NEAR(marker.position(model()->m_verts).z, frontCornerZ(), 0.2);
    }
    doubleClick(centre);
    EXPECT_TRUE(mode().m_markerPoints.empty());
}

TEST_F(StdInteractionGuiTest, ShiftDoubleClickPinsAndUnpins) {
    startWithModel();
    const int corner = frontCorner();
    const QPoint at = modelPixel(model()->m_verts[corner]);
    doubleClick(at, Qt::ShiftModifier);
    EXPECT_EQ(model()->m_pinnedVerts, std::set<int>{corner});
    doubleClick(at, Qt::ShiftModifier);
    EXPECT_TRUE(model()->m_pinnedVerts.empty());
    EXPECT_TRUE(mode().m_markerPoints.empty());
    EXPECT_TRUE(model()->m_fixedVerts.empty());
}

TEST_F(StdInteractionGuiTest, DialogChartGrabsInsertsAndDeletesByDraggingOut) {
    startWithModel();
    ASSERT_TRUE(dialog().isVisible());
    QWidget* area = dialog().m_chartArea;
    excitation().m_chartVent = {{0.0, 0.0}, {0.5, 0.5}};
    // On a point: grabbed, nothing inserted.
    press(Qt::LeftButton, inArea(editorPixel(0.5, 0.5)), Qt::NoModifier, area);
    EXPECT_TRUE(dialog().m_vDrag);
    EXPECT_EQ(dialog().m_dragIndex, 1);
    EXPECT_EQ(excitation().m_chartVent.size(), 2u);
    // Dragged out of the area and released there: deleted.
    const QPoint outside = inArea(editorPixel(0.5, 0.5)) + QPoint(0, area->height() + 30);
    moveTo(outside, Qt::NoModifier, area);
    release(Qt::LeftButton, outside, Qt::NoModifier, area);
    EXPECT_EQ(excitation().m_chartVent.size(), 1u);
    EXPECT_FALSE(dialog().m_vDrag);
    // Point 0 survives the same.
    press(Qt::LeftButton, inArea(editorPixel(0.0, 0.0)), Qt::NoModifier, area);
    moveTo(outside, Qt::NoModifier, area);
    release(Qt::LeftButton, outside, Qt::NoModifier, area);
    ASSERT_EQ(excitation().m_chartVent.size(), 1u);
    EXPECT_EQ(excitation().m_chartVent[0].first, 0.0);
    // A double click on empty space inserts one point, at t = x / W and value y' / H.
    const QRect rect = dialog().chartRect();
    const QPoint empty(rect.x() + rect.width() / 4, rect.y() + rect.height() / 3);
    doubleClick(inArea(empty), Qt::NoModifier, area);
    ASSERT_EQ(excitation().m_chartVent.size(), 2u);
    EXPECT_DOUBLE_EQ(excitation().m_chartVent[1].first, double(rect.width() / 4) / rect.width());
    EXPECT_DOUBLE_EQ(excitation().m_chartVent[1].second,
                     double(rect.height() - rect.height() / 3) / rect.height());
    // The right button edits the atrium curve, the middle one deletes from both.
    click(Qt::RightButton, inArea(editorPixel(0.75, 0.5)), Qt::NoModifier, area);
    ASSERT_EQ(excitation().m_chartAtri.size(), 2u);
    click(Qt::MiddleButton, inArea(editorPixel(excitation().m_chartAtri[1].first, excitation().m_chartAtri[1].second)),
          Qt::NoModifier, area);
    EXPECT_EQ(excitation().m_chartAtri.size(), 1u);
    EXPECT_EQ(excitation().m_chartVent.size(), 2u);
}

TEST_F(StdInteractionGuiTest, DialogNumberFieldsScaleAndClamp) {
    startWithModel();
    excitation().m_chartVent = {{0.0, 0.5}};
    dialog().activateWindow();
    QSpinBox* cycle = dialog().m_cycleSpin;
    EXPECT_EQ(cycle->value(), 100);
    cycle->setFocus();
    cycle->selectAll();
    QTest::keyClicks(cycle, "0");
    QTest::keyClick(cycle, Qt::Key_Return);
    EXPECT_DOUBLE_EQ(excitation().m_cycleLength, 0.01);
    QSpinBox* contract = dialog().m_contractSpin;
    contract->setFocus();
    contract->selectAll();
    QTest::keyClicks(contract, "100");
    EXPECT_DOUBLE_EQ(excitation().m_amplitude, 1.0);
    EXPECT_DOUBLE_EQ(excitation().m_tableVent[10].x, 0.5);  // tables rebuilt with the new amplitude
    dialog().m_stiffSpin->setValue(7);
    EXPECT_EQ(model()->m_iterationN, 7);
    dialog().m_waveSpin->setValue(250);
    EXPECT_DOUBLE_EQ(excitation().m_numOfWave, 2.5);
    // Enter and Escape do not close the dialog nor press the focused button; closing is refused.
    dialog().m_clearChartButton->setFocus();
    QTest::keyClick(dialog().m_clearChartButton, Qt::Key_Return);
    QTest::keyClick(&dialog(), Qt::Key_Escape);
    QTest::keyClick(&dialog(), Qt::Key_Enter);
    EXPECT_FALSE(dialog().close());
    EXPECT_TRUE(dialog().isVisible());
    EXPECT_EQ(excitation().m_chartVent[0].second, 0.5);
    // The refresh shows the model's values without writing them back.
    excitation().m_cycleLength = 0.345;
    dialog().refreshFromModel();
    EXPECT_EQ(cycle->value(), 34);
    EXPECT_DOUBLE_EQ(excitation().m_cycleLength, 0.345);
    // Numbers far outside what a field holds (a project file may hold them) show as its limits.
    excitation().m_cycleLength = 1e30;
    excitation().m_numOfWave = -1e30;
    excitation().m_numOfWaveA = std::nan("");
    dialog().refreshFromModel();
    EXPECT_EQ(cycle->value(), cycle->maximum());
    EXPECT_EQ(dialog().m_waveSpin->value(), dialog().m_waveSpin->minimum());
    EXPECT_EQ(dialog().m_waveASpin->value(), dialog().m_waveASpin->minimum());
    EXPECT_EQ(excitation().m_cycleLength, 1e30) << "showing a number does not change it";
}

TEST_F(StdInteractionGuiTest, KeysMoveTheTransparencyWithinItsRange) {
    startWithModel();
    EXPECT_EQ(dialog().transparencySlider(), 800);
    for (int i = 0; i < 6; ++i) QTest::keyClick(m_view, Qt::Key_1);
    EXPECT_EQ(dialog().transparencySlider(), 1000);
    EXPECT_DOUBLE_EQ(core().surfaceAlpha(), 1.0);
    QTest::keyClick(m_view, Qt::Key_2);
    EXPECT_EQ(dialog().transparencySlider(), 950);
    for (int i = 0; i < 20; ++i) QTest::keyClick(m_view, Qt::Key_2);
    EXPECT_EQ(dialog().transparencySlider(), 300);
}

TEST_F(StdInteractionGuiTest, InitializationResetsTimeAndPositionsTheIKeyKeepsTheTime) {
    startWithModel();
    const vec3 rest = model()->m_vtxOrigPos[3];
    model()->m_verts[3] = rest + vec3(1, 2, 3);
    model()->m_fixedVerts[3] = vec3(9, 9, 9);
    manager().m_time = 0.37;
    dialog().m_initButton->click();
    EXPECT_EQ(manager().m_time, 0.0);
    EXPECT_EQ(model()->m_verts[3], rest);
    EXPECT_TRUE(model()->m_fixedVerts.empty());
    model()->m_verts[3] = rest + vec3(1, 2, 3);
    manager().m_time = 0.37;
    QTest::keyClick(m_view, Qt::Key_I);
    EXPECT_EQ(manager().m_time, 0.37);
    EXPECT_EQ(model()->m_verts[3], rest);
    // The simulation button follows the timer.
    dialog().m_simulationButton->click();
    EXPECT_TRUE(manager().isTimerOn());
    EXPECT_TRUE(dialog().m_simulationButton->isChecked());
    dialog().m_simulationButton->click();
    EXPECT_FALSE(manager().isTimerOn());
    EXPECT_FALSE(dialog().m_simulationButton->isChecked());
}

TEST_F(StdInteractionGuiTest, ChartOverlayIsDrawnOverTheView) {
    startWithModel();
    excitation().m_chartVent = {{0.0, 0.0}};
    excitation().m_chartAtri = {{0.0, 0.0}};
    manager().m_time = 0.5 * excitation().m_cycleLength;
    m_view->redrawNow();
    const QImage image = m_view->grabFramebuffer();
    ASSERT_EQ(image.width(), viewWidth());
    const ChartXY pos = mode().m_chartPos, size = mode().m_chartSize;
    auto at = [&](double x, double y) {
        const QPoint p = ndcPixel(x, y);
        return image.pixel(p.x(), p.y());
    };
    // The translucent white background over the dark top of the view, between its edge and the frame.
    const QRgb margin = at(mode().m_chartBgPos.x + 0.01, 0.96);
    EXPECT_GT(qRed(margin), 165) << std::hex << margin;
    EXPECT_LT(qRed(margin), 215) << std::hex << margin;
    // The black frame, the red cursor half way across, the green ventricle curve at value 0.
    EXPECT_TRUE(colourNear(at(pos.x + 0.3 * size.x, pos.y + size.y), 0, 0, 0, 30)) << std::hex
                                                                                 << at(pos.x + 0.3 * size.x, pos.y + size.y);
    EXPECT_TRUE(colourNear(at(pos.x + 0.5 * size.x, pos.y + 0.6 * size.y), 255, 0, 0, 30));
    EXPECT_TRUE(colourNear(at(pos.x + 0.7 * size.x, pos.y), 0, 255, 0, 30)) << std::hex << at(pos.x + 0.7 * size.x, pos.y);
    // Inside the frame away from the lines: the background again.
    EXPECT_GT(qRed(at(pos.x + 0.3 * size.x, pos.y + 0.6 * size.y)), 165);
}

TEST_F(StdInteractionGuiTest, ChartEditorImage) {
    startWithModel();
    excitation().m_chartVent = {{0.0, 0.0}, {0.5, 0.5}};
    excitation().m_chartAtri = {{0.0, 0.0}};
    manager().m_time = 0.25 * excitation().m_cycleLength;
    DiagCapture capture;
    const QImage image = dialog().renderChart();
    EXPECT_EQ(capture.text(), "#");
    const int w = image.width(), h = image.height();
    ASSERT_EQ(dialog().chartRect().size(), image.size());
    // The upper guide line, one pixel thick, dark grey on white.
    EXPECT_TRUE(colourNear(image.pixel(w - 5, 10), 0x11, 0x11, 0x11, 0));
    EXPECT_TRUE(colourNear(image.pixel(w - 5, 8), 255, 255, 255, 0));
    EXPECT_TRUE(colourNear(image.pixel(w - 5, 12), 255, 255, 255, 0));
    // The atrium curve at value 0 runs along the lower guide line, in blue.
    EXPECT_TRUE(colourNear(image.pixel(w - 5, h - 10), 0, 0, 255, 0));
    // The ventricle point at (0.5, 0.5): a green ring, white inside.
    const int cx = w / 2, cy = ChartPixelArea{w, h}.rowOf(0.5);
    EXPECT_TRUE(colourNear(image.pixel(cx, cy), 255, 255, 255, 0));
    EXPECT_TRUE(colourNear(image.pixel(cx, cy - 3), 0, 255, 0, 0));
    EXPECT_TRUE(colourNear(image.pixel(cx - 3, cy), 0, 255, 0, 0));
    // The playback cursor: a red column at int(t / cycle * W) + 1 from top to bottom.
    const int column = static_cast<int>(0.25 * w) + 1;
    EXPECT_TRUE(colourNear(image.pixel(column, 3), 255, 0, 0, 0));
    EXPECT_TRUE(colourNear(image.pixel(column, h - 3), 255, 0, 0, 0));
    EXPECT_TRUE(colourNear(image.pixel(column + 2, 3), 255, 255, 255, 0));
    EXPECT_TRUE(colourNear(image.pixel(column - 3, 3), 255, 255, 255, 0));
}

TEST_F(StdInteractionGuiTest, ChartEditorWithoutAModelShowsTheEmptyImage) {
    start();  // no ModelB in the working directory
    ASSERT_EQ(model(), nullptr);
    const QImage image = dialog().renderChart();
    ASSERT_FALSE(image.isNull());
    for (int y = 0; y < image.height(); y += 7)
        for (int x = 0; x < image.width(); x += 7) ASSERT_TRUE(colourNear(image.pixel(x, y), 0x22, 0x22, 0x22, 0));
    // Chart clicks do nothing without a model, in the dialog and in the overlay.
    click(Qt::LeftButton, inArea(editorPixel(0.5, 0.5)), Qt::NoModifier, dialog().m_chartArea);
    EXPECT_FALSE(dialog().m_vDrag);
    press(Qt::LeftButton, ndcPixel(0.7, 0.7));
    EXPECT_EQ(core().m_camera->m_dragMode, CAMERA_DRAG_NONE);
    release(Qt::LeftButton, ndcPixel(0.7, 0.7));
}

}  // namespace
