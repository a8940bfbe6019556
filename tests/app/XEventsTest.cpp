// Input as the X server delivers it, sent with xdotool to the real window: the cases where X11
// changes an event on its way (a wheel turned with Alt held arrives as a horizontal one), which
// synthetic Qt events cannot show. These tests move the X pointer and press real keys, so CTest
// runs them alone.
#include <QSlider>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <string>

#include "PaintFixture.h"
#include "app/DlgStdInteraction.h"

namespace {

class XEventsTest : public PaintModeTest {
   protected:
    static bool haveXdotool() { return std::system("command -v xdotool > /dev/null 2>&1") == 0; }
    /// Runs xdotool with the arguments; true when it succeeded.
    static bool xdotool(const std::string& args) { return std::system(("xdotool " + args).c_str()) == 0; }
    static std::string at(const QPoint& global) {
        return std::to_string(global.x()) + " " + std::to_string(global.y());
    }
};

TEST_F(XEventsTest, SpaceDragPaintsAnInfarctAfterTheRateSliderHadTheFocus) {
    // The user sets the infarct's strength with the "rate" slider, which keeps the keyboard focus;
    // then holds Space over the view and drags. Space must reach the view's gesture, not the dialog.
    if (!haveXdotool()) GTEST_SKIP() << "xdotool is not installed";
    writeCubeModel("ModelB");
    start();
    ASSERT_NE(manager().model(), nullptr);
    TOGL& ogl = *core().m_ogl;
    ogl.m_eye = vec3(0, 0, 40);
    ogl.m_center = vec3(0, 0, 0);
    ogl.m_up = vec3(0, 1, 0);
    m_view->redrawNow();
    auto* dialog = dynamic_cast<DlgStdInteraction*>(core().m_dlgStdInteraction.get());
    ASSERT_NE(dialog, nullptr);
    QSlider* rate = nullptr;
    for (QSlider* slider : dialog->findChildren<QSlider*>())
        if (slider->minimum() == 0 && slider->maximum() == 1000) rate = slider;
    ASSERT_NE(rate, nullptr);
    rate->window()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(rate->window()));
    rate->setValue(200);
    rate->setFocus(Qt::MouseFocusReason);
    ASSERT_TRUE(QTest::qWaitFor([rate] { return rate->hasFocus(); }, 2000));
    const std::vector<double> before = manager().model()->m_ampliField.m_value;
    const vec3 eye = ogl.m_eye;

    const QPoint centre = m_view->mapToGlobal(m_view->rect().center());
    const QPoint a = centre + QPoint(-40, -40), b = centre + QPoint(40, 40);
    ASSERT_TRUE(xdotool("mousemove " + at(a) + " keydown space"));
    QTest::qWait(50);
    ASSERT_TRUE(xdotool("mousedown 1"));
    for (int step = 1; step <= 8; ++step) {
        ASSERT_TRUE(xdotool("mousemove " + at(a + (b - a) * step / 8)));
        QTest::qWait(20);
    }
    ASSERT_TRUE(xdotool("mouseup 1 keyup space"));
    QTest::qWait(200);

    const std::vector<double>& after = manager().model()->m_ampliField.m_value;
    const int painted = static_cast<int>(std::count(after.begin(), after.end(), 0.2));
    EXPECT_GT(painted, 0) << "no vertex took the rate's strength";
    EXPECT_NE(after, before);
    EXPECT_EQ(ogl.m_eye, eye) << "the drag panned the camera instead of painting";
    EXPECT_EQ(rate->value(), 200) << "Space moved the slider";
}

TEST_F(XEventsTest, AltWheelPeelsInThePaintMode) {
    // Real X events: X11 delivers a vertical wheel turned with Alt held as a horizontal one, which
    // synthetic Qt events do not show.
    if (std::system("command -v xdotool > /dev/null 2>&1") != 0) GTEST_SKIP() << "xdotool is not installed";
    startOn(testmesh::cube(3));
    chooseTool(PaintTool::DEPTH_0);
    ASSERT_EQ(model().m_peelDepth, 1.0);
    m_frame->activateWindow();
    QTest::qWait(50);
    const QPoint centre = m_view->mapToGlobal(m_view->rect().center());
    const std::string command = "xdotool mousemove " + std::to_string(centre.x()) + " " + std::to_string(centre.y()) +
                                " keydown alt click 5 keyup alt";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    static_cast<void>(QTest::qWaitFor([this] { return model().m_peelDepth != 1.0; }, 3000));
    EXPECT_NEAR(model().m_peelDepth, 0.975, 1e-12) << "Alt + wheel down peels one layer";
}

TEST_F(XEventsTest, KeysAndDragsReachTheViewWhileABeatOf20000VerticesRuns) {
    // Each tick takes longer than the timer's interval here, so ticks run back to back; the X
    // events in between must still be handled while the beat goes on, not after it stops.
    if (!haveXdotool()) GTEST_SKIP() << "xdotool is not installed";
    testmesh::writeTetGen(testmesh::cube(26), m_dir.file("ModelB"));
    start();
    ASSERT_EQ(manager().model()->vertexCount(), 27 * 27 * 27);
    m_frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame));
    ASSERT_TRUE(manager().startTimer());
    const long long started = manager().ticksRun();
    ASSERT_TRUE(waitFor([&] { return manager().ticksRun() >= started + 3; }, 30000));

    // xdotool runs while this thread waits for it, so the events are queued before the next tick.
    const bool meshShown = manager().m_bShowMesh;
    const QPoint centre = m_view->mapToGlobal(m_view->rect().center());
    ASSERT_TRUE(xdotool("mousemove " + at(centre) + " key 3"));
    const long long keySent = manager().ticksRun();
    ASSERT_TRUE(waitFor([&] { return manager().m_bShowMesh != meshShown; }, 30000)) << "the key was not handled";
    EXPECT_TRUE(manager().m_timerOn);
    EXPECT_LE(manager().ticksRun() - keySent, 5) << "the key waited behind the ticks";

    const vec3 eye = ogl().m_eye;
    ASSERT_TRUE(xdotool("mousedown 1 mousemove " + at(centre + QPoint(60, 0)) + " mousemove " +
                        at(centre + QPoint(120, 30)) + " mouseup 1"));
    const long long dragSent = manager().ticksRun();
    ASSERT_TRUE(waitFor([&] { return ogl().m_eye != eye; }, 30000)) << "the drag did not turn the camera";
    EXPECT_TRUE(manager().m_timerOn);
    EXPECT_LE(manager().ticksRun() - dragSent, 5) << "the drag waited behind the ticks";
    manager().stopTimer();
}

}  // namespace
