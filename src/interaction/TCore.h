// TCore: the process-wide interaction core: the view's rendering context and camera, the three tool
// dialogs, and the current interaction mode.
#pragma once

#include <memory>

#include "interaction/CameraControl.h"
#include "interaction/EditHistory.h"
#include "interaction/KeyboardState.h"
#include "interaction/MainFrameWindow.h"
#include "interaction/TState.h"
#include "interaction/ToolDialogWindow.h"
#include "render/TOGL.h"

class MainWindowManager;
class TLSMModel;

/// The view's own values for a rendering context: the clear colour and the home camera (looking
/// at (20, 20, 20) from (20, 20, 60)). The core object applies them to its context; a picture drawn
/// without the window applies them to its own so that it starts from the same camera.
void applyViewDefaults(TOGL& ogl);

/// Mouse events the view forwards to the current mode.
enum class MouseAction { LDown, RDown, MDown, LUp, RUp, MUp, LDouble, RDouble, MDouble, Move };

/// Owns everything the user manipulates in the 3-D view besides the model (which belongs to the
/// controller): the rendering context with the camera, the three tool dialogs (created hidden) and
/// the current mode (1 = paint control fields, 2 = standard manipulation). One instance, created on
/// first use through getInst() and destroyed by destroyInstance() or at exit. The view knows no
/// modes: it hands every mouse event and redraw to the core. The shell hands it the controller
/// whose model the modes act on (setController); without one every model action is skipped.
/// User-interface thread only.
class TCore {
   public:
    static TCore& getInst();
    /// Destroys the instance and its dialogs (the shell calls it before its window system goes away).
    static void destroyInstance();
    /// Whether the instance exists (without creating it).
    static bool exists();
    /// The factory that makes the three dialogs; used by the next construction. nullptr restores the
    /// memory dialogs. The caller keeps the factory alive while installed.
    static void setDialogFactory(ToolDialogFactory* factory);

    ~TCore();
    TCore(const TCore&) = delete;
    TCore& operator=(const TCore&) = delete;

    /// Mode 1: the paint mode (created on first use), paint dialog shown, standard dialog hidden,
    /// the dialog docked to the main window.
    void setPaintCtrlFieldMode();
    /// Mode 2: the standard mode, standard dialog shown, paint dialog hidden, docked.
    void setStdInteractionMode();
    /// Docks the visible tool dialog with its top-left corner at (x, y + 40) screen pixels, above the
    /// main window without taking focus. The standard dialog keeps the height it had the first time
    /// this ran; the volume dialog is never docked.
    void placeDialogs(int x, int y);
    /// Registers (or with nullptr forgets) the main window and docks the visible dialog to it.
    void setMainFrame(MainFrameWindow* frame);
    /// The controller whose model the modes, the camera and the edit history work on (nullptr:
    /// none). The caller keeps it alive while set.
    void setController(MainWindowManager* controller);
    MainWindowManager* controller() const { return m_controller; }
    /// The controller's model; nullptr without a controller or a model.
    TLSMModel* model() const;
    /// Whether the controller's main loop runs (false without a controller).
    bool simulationRuns() const;

    /// x as the mode sees it: in stereo, a point in the right half (x at least half the view width,
    /// integer half) is shifted left by that half so both images answer alike.
    int stereoCorrectedX(int x, int viewWidth) const;
    /// Hands a mouse event at view pixel (x, y) to the current mode, with the stereo correction.
    void forwardMouse(MouseAction action, int x, int y, int viewWidth);
    /// Hands a wheel turn to the current mode.
    void forwardWheel(int delta);
    /// One frame of the view: set-up, lights, background, then the mode's scene (twice in stereo,
    /// right half first with m_bDrawingRightHalf set).
    void drawView();

    /// The modifier keys, as the view reports them; all false without a view.
    bool isCtrlDown() const { return m_keyboard && m_keyboard->isCtrlDown(); }
    bool isShiftDown() const { return m_keyboard && m_keyboard->isShiftDown(); }
    bool isAltDown() const { return m_keyboard && m_keyboard->isAltDown(); }
    bool isSpaceDown() const { return m_keyboard && m_keyboard->isSpaceDown(); }

    /// Surface alpha read from the standard dialog's transparency slider.
    double surfaceAlpha() const;

    /// The modes' redraw after a change: the view is drawn now, unless the simulation runs (its
    /// next tick draws it).
    void redrawView();

    TState* m_state = nullptr;
    int m_mode = 0;
    MainFrameWindow* m_mainFrame = nullptr;
    std::unique_ptr<ToolDialogWindow> m_dlgVolumeViz;
    std::unique_ptr<ToolDialogWindow> m_dlgPaintCtrlField;
    std::unique_ptr<StdDialogWindow> m_dlgStdInteraction;
    std::unique_ptr<TOGL> m_ogl;
    /// Steers m_ogl's camera.
    std::unique_ptr<CameraControl> m_camera;
    bool m_bStereo = false;
    bool m_bDrawingRightHalf = false;
    bool m_bShowFrames = true;
    /// The view's keyboard state (set by the view while it exists).
    KeyboardState* m_keyboard = nullptr;
    /// The undo steps of the view's gestures; fed by forwardMouse.
    std::unique_ptr<EditHistory> m_editHistory;

   private:
    TCore();
    void dockToMainFrame();

    MainWindowManager* m_controller = nullptr;
    /// Height of the standard dialog at the first docking; -1 until then.
    int m_stdDialogDockHeight = -1;
};
