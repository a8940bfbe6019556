// MainWindowManager: the application controller: owns the one heart model, the simulated time,
// the main-loop timer state, the display switches and the export state.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "model/TLSMModel.h"
#include "model/UndoHistory.h"

/// What the controller needs from the window system. The Qt shell implements it; headless runs
/// use the default, which has no timer and nothing to redraw.
class ControllerHost {
   public:
    virtual ~ControllerHost() = default;
    /// Starts / kills the periodic timer (id 1, 5 ms) whose every event calls onTimer.
    virtual void startTimer(int id, int milliseconds) {}
    virtual void killTimer(int id) {}
    /// Immediate redraw of the 3-D view (nothing when it does not exist yet).
    virtual void redrawView() {}
    /// Redraw of the standard interaction dialog (its contraction chart); erase = full repaint.
    virtual void redrawStdDialog(bool erase) {}
    /// The volume dialog: visible or not, and its immediate redraw (which samples the volumes).
    virtual bool isVolumeDialogVisible() const { return false; }
    virtual void redrawVolumeDialog() {}
    /// After every tick, with the model advanced: shows the new state. The default draws the view,
    /// the standard dialog's chart and, when visible, the volume dialog at once. A window host may
    /// take the volume dialog's sample now (every tick is measured) and draw later, so that a slow
    /// frame drops frames, not ticks; it reports its drawing time through recordDrawTiming.
    virtual void showTick() {
        redrawView();
        redrawStdDialog(false);
        if (isVolumeDialogVisible()) redrawVolumeDialog();
    }
    /// Switches the interaction core to the standard mode (after every load).
    virtual void switchToStandardMode() {}
    /// The standard dialog re-reads its controls from the model.
    virtual void refreshStdDialogFromModel() {}
};

/// The controller. One per process through getInstance(); tests may construct their own.
/// Everything runs on the user-interface thread; a tick never overlaps another tick or a load.
class MainWindowManager {
   public:
    /// The process-wide controller; created on first use with the running program's path, the
    /// default model "ModelB" and the headless host (install the shell's host before first use).
    static MainWindowManager& getInstance();
    /// Installs the host used by getInstance() when it creates the controller (and from then on).
    static void setDefaultHost(ControllerHost* host);
    /// Destroys the process-wide controller (at exit, or between tests).
    static void destroyInstance();
    /// Whether the process-wide controller exists (without creating it).
    static bool exists();
    /// The model getInstance() loads when it creates the controller ("ModelB" unless set; a model
    /// named on the command line replaces it). An empty path starts without a model.
    static void setInitialModelPath(const std::string& basePath);

    /// Construction: program directory from the running executable, solver back end loaded from
    /// it, start values, then loadModel(initialModel) ("ModelB" in the application).
    explicit MainWindowManager(ControllerHost* host, const std::string& initialModel = "ModelB");
    ~MainWindowManager();
    MainWindowManager(const MainWindowManager&) = delete;
    MainWindowManager& operator=(const MainWindowManager&) = delete;

    /// Replaces the model with the one at basePath (no extension); shows "the file is not exist"
    /// with the reader's reason and keeps no model when it cannot be read. Stops the timer; the tube set-up for 1200
    /// vertices.
    void loadModel(const std::string& basePath);
    /// The second half of loadModel, for a model loaded elsewhere (a worker thread of the shell):
    /// stops the timer, makes model (nullptr: none) the controller's, switches to the standard
    /// mode, applies the tube set-up and starts a fresh undo history.
    void installModel(std::unique_ptr<TLSMModel> model);
    /// Starts the main loop (no model: refuses and returns false).
    bool startTimer();
    void stopTimer();
    bool isTimerOn() const { return m_timerOn; }
    /// One tick of the main loop.
    void onTimer();
    /// Ticks run and the milliseconds their steps took (advancing the model, exports included),
    /// since the controller was made.
    long long ticksRun() const { return m_ticksRun; }
    double stepMsTotal() const { return m_stepMsTotal; }
    /// Adds one frame's drawing time (view, dialog charts) to the loop's timing report.
    static void recordDrawTiming(double viewMs, double graphMs);

    /// Starts the animation export into path (already with its extension). False (nothing started,
    /// the reason shown to the user) when no model is loaded or the file cannot be created.
    bool startAnimationExport(const std::string& path);
    /// Starts the 401-tick wall-thickness export into path; false as above.
    bool startWallThicknessExport(const std::string& path);
    /// Writes one "#frame" record, or ends the export at the end of the cycle.
    void writeAnimationFrame();
    /// Ends a running animation or wall-thickness export now and closes its file. False when the
    /// last export failed to write (now or earlier); exportError() then says why, and the user has
    /// been told.
    bool endExport();
    /// Why the last export failed to write its file ("" when no export has failed since the last
    /// one started). A failed export stops at once; the beat goes on.
    const std::string& exportError() const { return m_exportError; }

    TLSMModel* model() { return m_model.get(); }
    const TLSMModel* model() const { return m_model.get(); }
    ControllerHost& host() { return *m_host; }
    void setHost(ControllerHost* host);
    const std::string& exeDir() const { return m_exeDir; }

    std::FILE* m_wallFile = nullptr;
    bool m_exportAnim = false;
    bool m_recordWall = false;
    int m_recordCount = 0;
    bool m_timerOn = false;
    std::string m_exePath;
    std::string m_exeDir;
    double m_time = 0.0;
    double m_dt = 0.01;
    int m_markDepth = -1, m_markAmpli = -1, m_markPhase = -1;
    bool m_bShowMesh = false;
    bool m_bShowVertices = false;
    bool m_bShowRooms = false;
    bool m_bShowFibAtri = false;
    bool m_bShowFibVent = false;
    bool m_bShowFib2 = false;
    bool m_bShowFib3 = false;
    bool m_bShowConstraints = false;
    std::unique_ptr<TLSMModel> m_model;
    /// The loaded model's undo history and saved mark; every load starts it afresh.
    UndoHistory m_history;

   private:
    /// Closes the export file; false (with the reason kept and, when tell is set, shown to the
    /// user) when its buffered data or the close failed.
    bool closeExportFile(bool tell);
    bool openExportFile(const std::string& path);
    /// After a record was written: a write error ends the export with one message.
    void checkExportWrites();
    void exportFailed(int error);

    std::string m_exportPath;
    std::string m_exportError;

    ControllerHost* m_host;
    int m_animationFrame = 0;
    long long m_ticksRun = 0;
    double m_stepMsTotal = 0.0;
};

/// Milliseconds on the steady clock the main loop times its ticks and frames with.
double steadyClockMs();

/// Directory of the running executable with a trailing '/', from /proc/self/exe (so a start
/// through PATH, a relative path or a symbolic link still finds the files next to the program).
std::string runningProgramDirectory();
