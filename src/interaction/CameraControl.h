// CameraControl: the user's steering of the view's camera: drags, home position, the turn around
// the model.
#pragma once

#include <functional>

#include "interaction/ViewWindow.h"
#include "render/Camera.h"
#include "render/TOGL.h"

class MainWindowManager;

/// Mouse buttons as far as the camera is concerned.
enum class CameraButton { Left, Right, Middle };

/// Steers the camera held by the rendering context (eye, centre, up and the home values). Owned by
/// the core object next to the context; the view registers itself as the window whose mouse capture
/// gates the drags and which is redrawn. Both interaction modes start and end the drags from their
/// button handlers and step them from their move handlers. User-interface thread only.
class CameraControl {
   public:
    explicit CameraControl(TOGL& ogl);
    CameraControl(const CameraControl&) = delete;
    CameraControl& operator=(const CameraControl&) = delete;

    /// The view's window, or nullptr when there is none (drags then never step).
    void setViewWindow(ViewWindow* window) { m_window = window; }
    ViewWindow* viewWindow() const { return m_window; }
    /// The controller whose model is framed and whose running simulation holds the turn back
    /// (nullptr: none, no model and nothing running).
    void setController(const MainWindowManager* controller) { m_controller = controller; }

    /// Starts a drag of the given kind at view pixel (x, y) and takes the mouse capture.
    void startCameraDrag(int x, int y, CameraDragMode mode);
    /// The drag a button press starts when no tool takes it: the right button orbits, or dollies
    /// when pressed within kDollyEdgeWidth pixels of the right edge (x >= view width - 20); the
    /// middle button dollies; the left button pans.
    void startButtonDrag(CameraButton button, int x, int y);
    /// Ends any drag and gives the capture back.
    void endCameraDrag();
    /// One drag step to view pixel (x, y). False, with nothing changed, when no drag runs or the
    /// view does not hold the mouse capture; otherwise the camera has moved (a refused dolly step
    /// leaves the eye where it was) and the step's end point is remembered.
    bool mouseDragCamera(int x, int y);
    /// Turns the camera about its centre by a radians about the up vector and b radians about the
    /// right vector.
    void orbit(double a, double b);

    /// Camera back to the home values; redraws the view.
    void initEyePosition();
    /// The current camera becomes the home values.
    void storeEyePosition();
    /// Frames the current model: the camera looks at the centre of its bounding box from the
    /// current direction (up kept), far enough that the box's bounding sphere fits the narrower
    /// side of the view with a margin; redraws the view. False, with nothing changed, without a
    /// model or with a non-finite box.
    bool fitModelInView();
    /// One turn around the model: kAutoRotationSteps steps of 2 pi / 249 about the up vector, each
    /// drawn at once and followed by a pause of kAutoRotationPauseMs. Runs to the end before it
    /// returns; false, with nothing done, while the simulation runs.
    bool startAutoRotation();
    /// What the turn does between two frames (sleeps by default); receives the milliseconds.
    void setAutoRotationPause(std::function<void(int milliseconds)> pause);

    int m_dragMode = CAMERA_DRAG_NONE;
    int m_prevPoint[2] = {0, 0};

   private:
    TOGL& m_ogl;
    ViewWindow* m_window = nullptr;
    const MainWindowManager* m_controller = nullptr;
    std::function<void(int milliseconds)> m_pause;
};

constexpr int kAutoRotationSteps = 250;
/// 2 pi / 249: the 250 steps go a little more than once around.
constexpr double kAutoRotationStep = 0.025233675932448112;
constexpr int kAutoRotationPauseMs = 20;

/// The middle-button release, the same in both modes: ends the camera drag and clears the mode's
/// middle-button flag.
void releaseMiddleButton(CameraControl& camera, bool& middleDown);
