// Input as the X server delivers it, sent with xdotool to the real window: the cases where X11
// changes an event on its way (a wheel turned with Alt held arrives as a horizontal one), which
// synthetic Qt events cannot show. These tests move the X pointer and press real keys, so CTest
// runs them alone.
#include <QTest>
#include <cstdlib>
#include <string>

#include "PaintFixture.h"

namespace {

class XEventsTest : public PaintModeTest {};

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
    QTest::qWaitFor([this] { return model().m_peelDepth != 1.0; }, 3000);
    EXPECT_NEAR(model().m_peelDepth, 0.975, 1e-12) << "Alt + wheel down peels one layer";
}

}  // namespace
