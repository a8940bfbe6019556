// TCore without a window system: construction, mode switches, dialog docking and event forwarding
// (memory dialogs stand in for the windows).
#include <gtest/gtest.h>

#include "interaction/RecordingState.h"
#include "interaction/TCore.h"
#include "interaction/TStatePaintCtrlField.h"
#include "interaction/TStateStdInteraction.h"
#include "linalg/Diagnostics.h"

namespace {

class FixedFrame : public MainFrameWindow {
   public:
    ScreenRect normalRect() const override { return rect; }
    ScreenRect rect{100, 50, 800, 600};
};

class TCoreTest : public ::testing::Test {
   protected:
    void SetUp() override { TCore::destroyInstance(); }
    void TearDown() override { TCore::destroyInstance(); }

    static MemoryToolDialog& memory(ToolDialogWindow& dialog) { return dynamic_cast<MemoryToolDialog&>(dialog); }
    static MemoryToolDialog& memoryStd(TCore& core) {
        return dynamic_cast<MemoryStdDialog&>(*core.m_dlgStdInteraction).m_window;
    }
};

}  // namespace

TEST_F(TCoreTest, ConstructionPrintsItsLinesAndStartsInTheStandardMode) {
    DiagCapture capture;
    TCore& core = TCore::getInst();
    EXPECT_EQ(capture.text(), "TCore constructure Start...TCore constructure Done\n");
    EXPECT_EQ(&TCore::getInst(), &core);
    EXPECT_EQ(core.m_mode, 2);
    EXPECT_EQ(core.m_state, &TStateStdInteraction::getInstance());
    EXPECT_TRUE(core.m_dlgStdInteraction->isDialogVisible());
    EXPECT_FALSE(core.m_dlgPaintCtrlField->isDialogVisible());
    EXPECT_FALSE(core.m_dlgVolumeViz->isDialogVisible());
    EXPECT_EQ(core.m_mainFrame, nullptr);
    EXPECT_FALSE(core.m_bStereo);
    EXPECT_FALSE(core.m_bDrawingRightHalf);
    EXPECT_TRUE(core.m_bShowFrames);
    EXPECT_EQ(core.m_ogl->m_homeEye, vec3(20, 20, 60));
    EXPECT_EQ(core.m_ogl->m_homeCenter, vec3(20, 20, 20));
    EXPECT_EQ(core.m_ogl->m_homeUp, vec3(0, 1, 0));
    EXPECT_EQ(core.m_ogl->m_clearColor, (std::array<float, 4>{1, 1, 1, 1}));
    // The current camera is set by the context's initialisation, not here.
    EXPECT_EQ(core.m_ogl->m_eye, vec3());
    // The standard dialog's transparency slider starts at 800.
    EXPECT_DOUBLE_EQ(core.surfaceAlpha(), 0.8);
    EXPECT_FALSE(core.isShiftDown() || core.isCtrlDown() || core.isAltDown() || core.isSpaceDown());
}

TEST_F(TCoreTest, ModeSwitchesShowTheirDialogAndReuseOneInstancePerMode) {
    TCore& core = TCore::getInst();
    core.setPaintCtrlFieldMode();
    TState* paint = core.m_state;
    core.setPaintCtrlFieldMode();
    EXPECT_EQ(core.m_state, paint);
    EXPECT_EQ(paint, &TStatePaintCtrlField::getInstance());
    EXPECT_EQ(core.m_mode, 1);
    EXPECT_TRUE(core.m_dlgPaintCtrlField->isDialogVisible());
    EXPECT_FALSE(core.m_dlgStdInteraction->isDialogVisible());
    core.setStdInteractionMode();
    EXPECT_EQ(core.m_mode, 2);
    EXPECT_EQ(core.m_state, &TStateStdInteraction::getInstance());
    EXPECT_FALSE(core.m_dlgPaintCtrlField->isDialogVisible());
    EXPECT_TRUE(core.m_dlgStdInteraction->isDialogVisible());
    // The volume dialog is not a mode's dialog.
    EXPECT_FALSE(core.m_dlgVolumeViz->isDialogVisible());
}

TEST_F(TCoreTest, DockingPlacesOnlyTheVisibleToolDialogAndKeepsTheFirstStandardHeight) {
    TCore& core = TCore::getInst();
    MemoryToolDialog& std = memoryStd(core);
    MemoryToolDialog& paint = memory(*core.m_dlgPaintCtrlField);
    MemoryToolDialog& volume = memory(*core.m_dlgVolumeViz);
    volume.showDialog();
    volume.placeOnTop(5, 6, 300, 200);
    const int firstHeight = std.m_height;

    core.placeDialogs(900, 50);
    EXPECT_EQ(std.m_x, 900);
    EXPECT_EQ(std.m_y, 90);
    EXPECT_EQ(std.m_height, firstHeight);
    EXPECT_EQ(paint.m_x, 0);  // hidden: not moved
    EXPECT_EQ(volume.m_x, 5);
    EXPECT_EQ(volume.m_y, 6);

    // The user stretched the dialog: the next docking restores the height of the first.
    std.m_height = firstHeight + 150;
    std.m_width = 333;
    core.placeDialogs(1000, 10);
    EXPECT_EQ(std.m_x, 1000);
    EXPECT_EQ(std.m_y, 50);
    EXPECT_EQ(std.m_width, 333);
    EXPECT_EQ(std.m_height, firstHeight);

    // The paint dialog keeps its own size; the switch docks it to the registered frame at once.
    FixedFrame frame;
    core.setMainFrame(&frame);
    paint.m_height = 444;
    core.setPaintCtrlFieldMode();
    EXPECT_EQ(paint.m_x, 900);
    EXPECT_EQ(paint.m_y, 90);
    EXPECT_EQ(paint.m_height, 444);
    EXPECT_EQ(std.m_x, 900);  // docked when the frame registered, while it was visible
    core.placeDialogs(1200, 0);
    EXPECT_EQ(paint.m_x, 1200);
    EXPECT_EQ(paint.m_y, 40);
    EXPECT_EQ(std.m_x, 900);  // hidden now: stays
    EXPECT_EQ(volume.m_x, 5);
    core.setMainFrame(nullptr);
}

TEST_F(TCoreTest, MouseEventsGoToTheMatchingOperationWithTheStereoCorrection) {
    TCore& core = TCore::getInst();
    RecordingState recorder;
    core.m_state = &recorder;
    const int width = 801;  // integer half 400
    core.forwardMouse(MouseAction::LDown, 410, 7, width);
    core.m_bStereo = true;
    core.forwardMouse(MouseAction::LDown, 410, 7, width);
    core.forwardMouse(MouseAction::RDown, 400, 8, width);
    core.forwardMouse(MouseAction::MDown, 399, 9, width);
    core.forwardMouse(MouseAction::LUp, 800, 1, width);
    core.forwardMouse(MouseAction::RUp, 0, 2, width);
    core.forwardMouse(MouseAction::MUp, 401, 3, width);
    core.forwardMouse(MouseAction::LDouble, 450, 4, width);
    core.forwardMouse(MouseAction::RDouble, 451, 5, width);
    core.forwardMouse(MouseAction::MDouble, 452, 6, width);
    core.forwardMouse(MouseAction::Move, 500, 7, width);
    core.forwardWheel(-240);
    const std::vector<std::string> expected = {"mouseLDown 410 7",  "mouseLDown 10 7",   "mouseRDown 0 8",
                                               "mouseMDown 399 9",  "mouseLUp 400 1",    "mouseRUp 0 2",
                                               "mouseMUp 1 3",      "mouseLDouble 50 4", "mouseRDouble 51 5",
                                               "mouseMDouble 52 6", "mouseMove 100 7",   "mouseWheel -240"};
    EXPECT_EQ(recorder.calls, expected);
    core.m_state = &TStateStdInteraction::getInstance();
}

TEST_F(TCoreTest, ModesTrackTheirButtonsAndThePaintModeItsPointer) {
    TCore& core = TCore::getInst();
    core.setPaintCtrlFieldMode();
    TStatePaintCtrlField& paint = TStatePaintCtrlField::getInstance();
    core.forwardMouse(MouseAction::LDown, 30, 40, 800);
    EXPECT_TRUE(paint.m_bLDown);
    core.forwardMouse(MouseAction::Move, 35, 48, 800);
    EXPECT_EQ(paint.m_pressPixel[0], 30);
    EXPECT_EQ(paint.m_pressPixel[1], 40);
    EXPECT_EQ(paint.m_lastPixel[0], 35);
    EXPECT_EQ(paint.m_lastPixel[1], 48);
    core.forwardMouse(MouseAction::LUp, 35, 48, 800);
    EXPECT_FALSE(paint.m_bLDown);
    // Without a button the pointer is not followed.
    core.forwardMouse(MouseAction::Move, 90, 90, 800);
    EXPECT_EQ(paint.m_lastPixel[0], 35);

    core.setStdInteractionMode();
    TStateStdInteraction& standard = TStateStdInteraction::getInstance();
    core.forwardMouse(MouseAction::RDown, 1, 1, 800);
    core.forwardMouse(MouseAction::MDown, 1, 1, 800);
    EXPECT_TRUE(standard.m_bRDown && standard.m_bMDown);
    EXPECT_FALSE(paint.m_bRDown);
    core.forwardMouse(MouseAction::RUp, 1, 1, 800);
    core.forwardMouse(MouseAction::MUp, 1, 1, 800);
    EXPECT_FALSE(standard.m_bRDown || standard.m_bMDown);
}
