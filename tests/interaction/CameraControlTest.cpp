// Camera steering without a window system: which drag each button starts, the capture that gates
// the steps, the turn around the model, and both modes' button handlers.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/VecExpect.h"
#include "interaction/CameraControl.h"
#include "interaction/TCore.h"
#include "interaction/TStatePaintCtrlField.h"
#include "interaction/TStateStdInteraction.h"
#include "model/MainWindowManager.h"

namespace {

constexpr double kTol = 1e-9;
constexpr int kWidth = 800, kHeight = 600;
const vec3 kHomeEye(20, 20, 60), kHomeCenter(20, 20, 20), kHomeUp(0, 1, 0);

/// A view that records what the camera asks of it.
class FakeViewWindow : public ViewWindow {
   public:
    void captureMouse() override {
        captured = true;
        ++captures;
    }
    void releaseMouseCapture() override { captured = false; }
    bool hasMouseCapture() const override { return captured; }
    void redrawNow() override { ++redraws; }

    bool captured = false;
    int captures = 0;
    int redraws = 0;
};

class CameraControlTest : public ::testing::Test {
   protected:
    void SetUp() override {
        // The controller only answers whether the simulation runs; it starts without a model.
        MainWindowManager::destroyInstance();
        MainWindowManager::setInitialModelPath("");
        MainWindowManager::getInstance().m_timerOn = false;
        ogl.resize(kWidth, kHeight);
        ogl.m_eye = ogl.m_homeEye = kHomeEye;
        ogl.m_center = ogl.m_homeCenter = kHomeCenter;
        ogl.m_up = ogl.m_homeUp = kHomeUp;
        camera.setViewWindow(&window);
        camera.setController(&MainWindowManager::getInstance());
    }
    void TearDown() override {
        MainWindowManager::destroyInstance();
        MainWindowManager::setInitialModelPath("ModelB");
    }

    TOGL ogl;
    CameraControl camera{ogl};
    FakeViewWindow window;
};

}  // namespace

TEST_F(CameraControlTest, EachButtonStartsItsDragAndTheRightEdgeStripDollies) {
    struct Case {
        CameraButton button;
        int x;
        int mode;
    };
    const std::vector<Case> cases = {
        {CameraButton::Right, kWidth - 19, CAMERA_DRAG_DOLLY}, {CameraButton::Right, kWidth - 20, CAMERA_DRAG_DOLLY},
        {CameraButton::Right, kWidth - 21, CAMERA_DRAG_ORBIT}, {CameraButton::Right, 0, CAMERA_DRAG_ORBIT},
        {CameraButton::Middle, 5, CAMERA_DRAG_DOLLY},          {CameraButton::Middle, kWidth - 1, CAMERA_DRAG_DOLLY},
        {CameraButton::Left, kWidth - 1, CAMERA_DRAG_PAN},
    };
    for (const Case& c : cases) {
        camera.startButtonDrag(c.button, c.x, 123);
        EXPECT_EQ(camera.m_dragMode, c.mode) << c.x;
        EXPECT_EQ(camera.m_prevPoint[0], c.x);
        EXPECT_EQ(camera.m_prevPoint[1], 123);
        EXPECT_TRUE(window.captured);
        camera.endCameraDrag();
        EXPECT_EQ(camera.m_dragMode, CAMERA_DRAG_NONE);
        EXPECT_FALSE(window.captured);
    }
    EXPECT_EQ(window.captures, static_cast<int>(cases.size()));
}

TEST_F(CameraControlTest, DragStepsNeedARunningDragAndTheCapture) {
    // No drag: nothing moves.
    EXPECT_FALSE(camera.mouseDragCamera(50, 50));
    EXPECT_EQ(ogl.m_eye, kHomeEye);

    // A 200-pixel orbit drag to the left is one radian about the up vector at constant distance.
    camera.startButtonDrag(CameraButton::Right, 300, 200);
    ASSERT_TRUE(camera.mouseDragCamera(200, 200));
    ASSERT_TRUE(camera.mouseDragCamera(100, 200));
    expectNear(ogl.m_eye, kHomeCenter + vec3(40 * std::sin(1.0), 0, 40 * std::cos(1.0)), kTol);
    EXPECT_EQ(ogl.m_center, kHomeCenter);

    // The capture lost to another window: the moves of the same drag no longer steer.
    const vec3 eye = ogl.m_eye;
    window.captured = false;
    EXPECT_FALSE(camera.mouseDragCamera(0, 300));
    EXPECT_EQ(ogl.m_eye, eye);
    EXPECT_EQ(camera.m_prevPoint[0], 100);
    // Ending the drag does not give back a capture it does not hold, and nothing steps afterwards.
    window.captured = false;
    camera.endCameraDrag();
    EXPECT_FALSE(camera.mouseDragCamera(10, 10));

    // Without a view there is no capture to hold.
    camera.setViewWindow(nullptr);
    camera.startButtonDrag(CameraButton::Left, 10, 10);
    EXPECT_FALSE(camera.mouseDragCamera(60, 60));
    EXPECT_EQ(ogl.m_eye, eye);
}

TEST_F(CameraControlTest, AutoRotationDrawsEveryStepOfALittleMoreThanOneTurnUnlessTheSimulationRuns) {
    std::vector<int> pauses;
    std::vector<int> redrawsAtPause;
    std::vector<vec3> eyes;
    camera.setAutoRotationPause([&](int ms) {
        pauses.push_back(ms);
        redrawsAtPause.push_back(window.redraws);
        eyes.push_back(ogl.m_eye);
    });

    MainWindowManager::getInstance().m_timerOn = true;
    EXPECT_FALSE(camera.startAutoRotation());
    EXPECT_TRUE(pauses.empty());
    EXPECT_EQ(window.redraws, 0);
    EXPECT_EQ(ogl.m_eye, kHomeEye);

    MainWindowManager::getInstance().m_timerOn = false;
    ASSERT_TRUE(camera.startAutoRotation());
    ASSERT_EQ(pauses.size(), 250u);
    double travelled = 0.0;
    vec3 previous = kHomeEye - kHomeCenter;
    for (size_t i = 0; i < pauses.size(); ++i) {
        EXPECT_EQ(pauses[i], 20);
        EXPECT_EQ(redrawsAtPause[i], static_cast<int>(i) + 1);  // each step is drawn before its pause
        const vec3 offset = eyes[i] - kHomeCenter;
        EXPECT_NEAR(offset.norm(), 40.0, 1e-9);
        const double step = turnAboutY(previous, offset);
        EXPECT_NEAR(step, 2 * M_PI / 249, 1e-9);
        travelled += step;
        previous = offset;
    }
    EXPECT_GT(travelled, 2 * M_PI);
    // It ends one step past where it started.
    EXPECT_NEAR(turnAboutY(kHomeEye - kHomeCenter, ogl.m_eye - kHomeCenter), 2 * M_PI / 249, 1e-9);
    expectNear(ogl.m_up, kHomeUp, 1e-12);
    EXPECT_EQ(ogl.m_center, kHomeCenter);
}

namespace {

/// Both modes through the core object, with a view that records capture and redraws.
class ModeCameraTest : public CameraControlTest {
   protected:
    void SetUp() override {
        CameraControlTest::SetUp();
        TCore::destroyInstance();
        TCore& core = TCore::getInst();
        TOGL& coreOgl = *core.m_ogl;
        coreOgl.resize(kWidth, kHeight);
        coreOgl.m_eye = kHomeEye;
        coreOgl.m_center = kHomeCenter;
        coreOgl.m_up = kHomeUp;
        core.m_camera->setViewWindow(&window);
        core.setController(&MainWindowManager::getInstance());
    }
    void TearDown() override {
        TCore::destroyInstance();
        CameraControlTest::TearDown();
    }
    TOGL& coreOgl() { return *TCore::getInst().m_ogl; }
    void send(MouseAction action, int x, int y) { TCore::getInst().forwardMouse(action, x, y, kWidth); }
};

}  // namespace

TEST_F(ModeCameraTest, BothModesSteerTheCameraWithThePressesNoGestureTakes) {
    TCore& core = TCore::getInst();
    for (int mode : {2, 1}) {
        if (mode == 1) core.setPaintCtrlFieldMode();
        coreOgl().m_eye = kHomeEye;
        coreOgl().m_center = kHomeCenter;
        coreOgl().m_up = kHomeUp;
        const int redraws = window.redraws;

        // Right drag: orbit, each step drawn.
        send(MouseAction::RDown, 400, 300);
        send(MouseAction::Move, 300, 300);
        send(MouseAction::Move, 200, 300);
        send(MouseAction::RUp, 200, 300);
        expectNear(coreOgl().m_eye, kHomeCenter + vec3(40 * std::sin(1.0), 0, 40 * std::cos(1.0)), kTol);
        EXPECT_EQ(window.redraws, redraws + 2) << "mode " << mode;
        EXPECT_FALSE(window.captured);
        EXPECT_EQ(core.m_camera->m_dragMode, CAMERA_DRAG_NONE);

        // After the release the pointer no longer steers.
        const vec3 eye = coreOgl().m_eye;
        send(MouseAction::Move, 0, 0);
        EXPECT_EQ(coreOgl().m_eye, eye);

        // Middle drag: dolly; the shared release ends it and clears the button.
        send(MouseAction::MDown, 400, 300);
        send(MouseAction::Move, 400, 308);
        send(MouseAction::MUp, 400, 308);
        EXPECT_NEAR((coreOgl().m_eye - kHomeCenter).norm(), 36.0, kTol);
        EXPECT_FALSE(window.captured);
        const bool middleDown =
            mode == 1 ? TStatePaintCtrlField::getInstance().m_bMDown : TStateStdInteraction::getInstance().m_bMDown;
        EXPECT_FALSE(middleDown);

        // Left drag: pan.
        const vec3 eyeBefore = coreOgl().m_eye, centreBefore = coreOgl().m_center;
        send(MouseAction::LDown, 400, 300);
        send(MouseAction::Move, 430, 340);
        send(MouseAction::LUp, 430, 340);
        const vec3 shift = coreOgl().m_eye - eyeBefore;
        EXPECT_GT(shift.norm(), 0.5);
        expectNear(coreOgl().m_center - centreBefore, shift, kTol);
    }
}

TEST_F(ModeCameraTest, WhileTheSimulationRunsADragMovesTheCameraAndLeavesTheDrawingToTheTick) {
    MainWindowManager::getInstance().m_timerOn = true;
    send(MouseAction::RDown, 400, 300);
    send(MouseAction::Move, 380, 300);
    send(MouseAction::RUp, 380, 300);
    EXPECT_NE(coreOgl().m_eye, kHomeEye);
    EXPECT_EQ(window.redraws, 0);
    MainWindowManager::getInstance().m_timerOn = false;
}
