// Commands: every user command of the keys, the menus and the tool dialogs' buttons, one function
// each, and the small interface through which they reach the window system.
#pragma once

#include <functional>
#include <string>

#include "interaction/LatticeChoice.h"
#include "interaction/TStatePaintCtrlField.h"

class MainWindowManager;
class TCore;
class TLSMModel;

/// The display switches of the standard scene (keys 3 to 0, the standard dialog's boxes).
enum class DisplaySwitch { Mesh, Vertices, Rooms, AtrialFibres, VentricularFibres, Constraints, Fibres2, Fibres3 };

/// The question asked before a paint field is reset.
extern const char* const kInitFieldQuestion;
/// File filters ("Description (*.a)|*.a||" form) of the choosers the commands open.
extern const char* const kLoadModelFilter;
extern const char* const kChartFileFilter;
extern const char* const kStrokeFileFilter;

/// The path a stroke file is written to or read from: the chosen name, with ".vmfigstrs" appended
/// unless its extension already is "vmfigstrs" (compared case-sensitively).
std::string strokeFilePath(const std::string& chosen);

/// What the commands need from the window system. The main window implements it; the modal questions
/// pause the beat while they are open. User-interface thread only.
class CommandShell {
   public:
    virtual ~CommandShell() = default;
    /// A Yes/No question whose default answer is No; true only for Yes.
    virtual bool confirmCommand(const std::string& question) = 0;
    /// File choosers; empty when the user cancels.
    virtual std::string chooseFileToOpen(const std::string& filter) = 0;
    virtual std::string chooseFileToSave(const std::string& filter) = 0;
    /// A message with an OK button.
    virtual void tellUser(const std::string& text) = 0;
    /// Holds the beat's ticks back until the matching releaseTicks (calls nest).
    virtual void holdTicks() = 0;
    virtual void releaseTicks() = 0;
    /// The tool dialogs re-read what they show from the model.
    virtual void showModelChanges() = 0;
    /// Before the loaded work is dropped: asks about unsaved changes; true when the caller may go on.
    virtual bool mayDropWork() = 0;
    /// After the project file was written: the unsaved mark and the autosave go.
    virtual void projectWasSaved() = 0;
    /// Loads the model of a chosen file (other mesh formats imported first) / at a base path;
    /// true when a model was loaded.
    virtual bool openModelFile(const std::string& path) = 0;
    virtual bool openModelBase(const std::string& basePath) = 0;
    /// A recent-model entry: loads it, and forgets the entry when it no longer loads.
    virtual void openRecentModel(const std::string& basePath) = 0;
    /// Asks for a mesh and the base to write and imports it; the base written, or "" (the reason shown).
    virtual std::string importChosenMesh() = 0;
    /// The menus' check marks follow the mode, the dialogs and the rendering switches.
    virtual void showModeState() = 0;
    /// The beat's rates in the window title.
    virtual bool ratesShownInTitle() const = 0;
    virtual void showRatesInTitle(bool show) = 0;
    virtual void showAboutBox() = 0;
    /// Closes the main window (which asks about unsaved work first).
    virtual void closeMainWindow() = 0;
    /// The simulation-lattice dialog, showing the count in force (0: none) of a model of
    /// modelVertices vertices. A shell without one answers Cancel.
    virtual LatticeChoice chooseSimulationLattice(int currentTarget, int modelVertices) {
        (void)currentTarget;
        (void)modelVertices;
        return LatticeChoice();
    }
    /// Builds (or takes from its cache) a lattice of about `vertices` vertices for the loaded model,
    /// with progress and Cancel; the reason of a failure is told. True when it is in force. A shell
    /// that cannot build one returns false.
    virtual bool buildSimulationLattice(int vertices) {
        (void)vertices;
        return false;
    }
    /// The window shows whether a lattice is in force (and its size).
    virtual void showSimulationLattice() {}
};

/// The command layer. Made by the top-level shell and handed by reference to the main window, the
/// view and the tool dialogs; the main window attaches the controller, the core object and itself
/// once they exist. Before that (and after detach) a command that needs them does nothing and
/// returns false; without a model the model's commands do the same.
/// Each command is named after what it does and is the only place that does it; the observer, when
/// set, hears each command's name as it starts. User-interface thread only.
class Commands {
   public:
    Commands() = default;
    Commands(const Commands&) = delete;
    Commands& operator=(const Commands&) = delete;

    /// Attaches (or with nullptrs detaches) what the commands work on; the caller keeps them alive.
    void attach(MainWindowManager* controller, TCore* core, CommandShell* shell);
    MainWindowManager* controller() const { return m_controller; }
    TCore* core() const { return m_core; }
    /// The loaded model, or nullptr.
    TLSMModel* model() const;
    /// Whether the beat runs.
    bool simulationRuns() const;
    /// Called with each command's name as the command starts (tests count them); nullptr: none.
    void setObserver(std::function<void(const std::string& command)> observer) { m_observer = std::move(observer); }

    /// Commits the model's changes since the last undo step as one step (empty name: named by what
    /// changed); false without a model or without changes.
    bool commitEdit(const std::string& name);
    /// The view is redrawn now unless the beat runs (its next tick draws it).
    void redrawView();

    // ---- Files
    /// Asks before unsaved work is dropped, then for a ".ele" or ".vm" file, and loads its model.
    bool loadModel();
    bool importMesh();
    void openRecentModel(const std::string& basePath);
    /// Writes the project file NAME.vm beside the model. Over a NAME.vm that the load refused or
    /// read only in part, asks first (default No); No writes nothing and returns false.
    bool saveProject();
    /// The fields at the vertices as a ".vtu" file chosen by the user.
    bool exportFields();
    /// The mesh, labels and fibres as an openCARP mesh (NAME.pts, .elem, .lon) named by the user.
    bool exportCarpMesh();
    /// The animation export and the 401-tick wall-thickness export into a file chosen by the user.
    bool startAnimationExport();
    bool startWallThicknessExport();
    void showAbout();
    void quit();

    // ---- Edit
    bool undo();
    bool redo();

    // ---- Modes and windows
    void paintControlFieldsMode();
    void standardManipulationMode();
    void toggleVolumeDialog();
    void toggleStereo();
    void toggleFrames();
    void toggleRatesInTitle();
    /// "Simulation lattice...": asks for on (with a vertex count) or off; on builds the lattice
    /// through the shell, off drops it. One undo step ("Simulation lattice") when it changed: its
    /// undo brings the count asked for back, and the shell builds that lattice again (from its
    /// cache when it still has it). False when nothing changed.
    bool simulationLattice();

    // ---- Camera
    bool startAutoRotation();
    void initEyePosition();
    void storeEyePosition();
    bool fitModelInView();

    // ---- Display
    void toggleDisplay(DisplaySwitch which);
    /// Surface transparency slider of the standard dialog by delta (keys 1 and 2: +50 / -50).
    void stepTransparency(int delta);

    // ---- Beat
    /// Starts the beat, or stops it when it runs.
    void toggleSimulation();
    /// The model back to its rest shape with nothing held; the playback position stays.
    bool resetDeformation();
    /// The playback position back to 0 and the model to its rest shape.
    bool restartBeat();

    // ---- Contraction
    /// Both contraction charts back to the single point (0, 0).
    bool clearContractionCharts();
    /// The ventricles' chart becomes the experiment's step (0, 0), (0.25, 0), (0.5, 1), (0.75, 1), the
    /// atria's the flat (0, 0).
    bool setExperimentContractionChart();
    /// Reads a contraction chart file chosen by the user.
    bool loadContractionChart();
    /// Every vertex's amplitude to 1 (the infarcts painted are cleared).
    bool fullAmplitude();

    // ---- Fibres and paint fields
    /// Preset index 0..11 replaces the fibre frames; the simulator is set up again with them.
    bool applyFibrePreset(int index);
    /// The ventricles' frames by the rule on the transmural coordinate (helix angles in degrees under
    /// the cavities and under the outer surface, -90..90); the simulator is set up again. Tells the
    /// user and returns false when the model cannot take it (no left-ventricular wall).
    bool applyRuleBasedFibres(double endoDegrees, double epiDegrees);
    /// The paint mode's tool.
    void choosePaintTool(PaintTool tool);
    /// After the user confirms: resets the field to its start.
    bool initPhaseShiftField();
    bool initAmplitudeField();
    bool initDepthField();
    bool initPrimaryDirStrokes();
    /// The fibre orientation recomputed from the depth field and the strokes.
    bool updateField();
    bool normalizePlacement();
    bool exportFibreStrokes();
    bool importFibreStrokes();
    /// Removes every chamber-wall label.
    bool initChamberSegmentation();

   private:
    enum class PaintField { Phase, Amplitude, Depth, Strokes };
    bool initPaintField(PaintField field, const char* stepName);
    bool startExport(const char* filter, const char* extension, bool wallThickness);
    void note(const char* command);
    /// The view and the standard dialog show the model's state now.
    void redrawViewNow();
    void refreshStdDialog();

    MainWindowManager* m_controller = nullptr;
    TCore* m_core = nullptr;
    CommandShell* m_shell = nullptr;
    std::function<void(const std::string&)> m_observer;
};
