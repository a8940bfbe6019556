// CMainFrame: the main window: menu bar, model loading commands, docking of the tool dialogs, files
// dropped on the window.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <cstdint>
#include <memory>

#include "app/CVelmoraDoc.h"
#include "app/RecentModels.h"
#include "interaction/Commands.h"
#include "interaction/MainFrameWindow.h"

class CVelmoraView;
class QAction;
class QLabel;
class QMenu;
class QMimeData;
class QtToolDialogFactory;
class ShellHost;
class UnsavedWork;

/// The frame window (no tool bar; a status bar once there is a note or a simulation lattice).
/// Creating it creates the core object (with its hidden dialogs) and the controller (with the
/// initial model path in force; the application opens its model with openModelNow once the window
/// shows) just before the view, hands both to the command layer, the host and each other, and
/// registers the frame with the core object.
/// Every menu entry is a call into the command layer; the frame is the commands' window system.
/// User-interface thread only.
class CMainFrame : public QMainWindow, public MainFrameWindow, public CommandShell {
    Q_OBJECT
   public:
    CMainFrame(ShellHost& host, QtToolDialogFactory& dialogFactory, Commands& commands);
    ~CMainFrame() override;

    CVelmoraView* view() const { return m_view; }
    CVelmoraDoc& document() { return m_document; }
    /// The Edit menu, the unsaved mark, the save question and the autosave.
    UnsavedWork& unsavedWork() { return *m_unsavedWork; }

    /// The menu entry with this text (as shown, with its '&'), or nullptr.
    QAction* findAction(const QString& text) const;

    Commands& commands() { return m_commands; }
    /// Loads the model of a chosen, dropped or recent file: a mesh of another format
    /// (isImportableMeshFile) is imported beside itself first; any extension but those, ".ele" and
    /// ".vm" (case-sensitive) is refused with a message; true when a model was loaded.
    bool loadModelFile(const QString& path);
    /// Loads the model at basePath and remembers it when it loaded (openModelNow, after the
    /// unsaved-work question).
    bool loadModelBase(const QString& basePath);
    /// How opening a model ended.
    enum class OpenOutcome { Opened, Failed, Cancelled };
    /// Loads the model at basePath into a new model object on a worker thread, under the stage
    /// dialog (reading, surface, fields, clusters...) once the load takes longer than a moment;
    /// the view goes on drawing the current model meanwhile. Only a complete load replaces the
    /// current model (and is remembered among the recent models when remember is set); a failure
    /// ("the file is not exist" with the reader's reason) or Cancel leaves the current model, its
    /// beat and its unsaved work as they were. Asks nothing about unsaved work: the caller did.
    OpenOutcome openModelNow(const QString& basePath, bool remember);
    /// After every model replacement: title, menu check marks.
    void onModelReplaced();
    /// The title with the beat's ticks and frames per second after the document's name, or
    /// (show = false) the document's title alone.
    void showRates(bool show, double ticksPerSecond, double framesPerSecond);
    /// Sets the check marks of the Mode Change and Rendering menus from the current state.
    void refreshMenuChecks();
    /// Rebuilds the recent-model entries of the File menu.
    void refreshRecentMenu();

    // MainFrameWindow
    ScreenRect normalRect() const override;

    // CommandShell
    bool confirmCommand(const std::string& question) override;
    std::string chooseFileToOpen(const std::string& filter) override;
    std::string chooseFileToSave(const std::string& filter) override;
    void tellUser(const std::string& text) override;
    void holdTicks() override;
    void releaseTicks() override;
    void showModelChanges() override;
    bool mayDropWork() override;
    void projectWasSaved() override;
    bool openModelFile(const std::string& path) override;
    bool openModelBase(const std::string& basePath) override;
    void openRecentModel(const std::string& basePath) override;
    std::string importChosenMesh() override;
    void showModeState() override;
    bool ratesShownInTitle() const override;
    void showRatesInTitle(bool show) override;
    void showAboutBox() override;
    void closeMainWindow() override;
    LatticeChoice chooseSimulationLattice(int currentTarget, int modelVertices) override;
    bool buildSimulationLattice(int vertices) override;
    void showSimulationLattice() override;

    /// The status bar's lattice note ("lattice 19,874 vertices", or empty).
    QString latticeStatus() const;

   protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

   private:
    void buildMenus();
    /// After a load that did not replace the model.
    void keepCurrentModel();
    /// Builds the lattice the model's project asks for when it is missing (after an undo or redo
    /// of the lattice command), once per model and count when it fails.
    void buildAskedLattice();
    /// The suggestion to use a lattice, once per model file a session.
    void suggestLattice();
    void dockDialogs();
    /// The first local ".ele", ".vm" or importable mesh file among the dragged URLs, or "".
    static QString droppedModelFile(const QMimeData* mime);

    ShellHost& m_host;
    Commands& m_commands;
    CVelmoraDoc m_document;
    RecentModels m_recent;
    CVelmoraView* m_view = nullptr;
    std::unique_ptr<UnsavedWork> m_unsavedWork;
    QMenu* m_fileMenu = nullptr;
    QAction* m_recentSeparator = nullptr;
    QAction* m_exitSeparator = nullptr;
    QList<QAction*> m_recentActions;
    QAction* m_backObjectAction = nullptr;
    QAction* m_paintModeAction = nullptr;
    QAction* m_stdModeAction = nullptr;
    QAction* m_volumeDialogAction = nullptr;
    QAction* m_stereoAction = nullptr;
    QAction* m_showFramesAction = nullptr;
    QAction* m_showRatesAction = nullptr;
    QLabel* m_latticeLabel = nullptr;
    /// Model files the lattice suggestion was shown for.
    QStringList m_latticeSuggested;
    /// The model (by its serial) and count whose lattice failed to build after an undo.
    std::uint64_t m_latticeFailedModel = 0;
    int m_latticeFailedTarget = 0;
};
