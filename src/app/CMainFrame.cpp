// CMainFrame: menus, the load command, recent models, dialog docking and dropped files.
#include "app/CMainFrame.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QStatusBar>
#include <QUrl>
#include <cstdlib>
#include <fstream>

#include "app/AboutDialog.h"
#include "app/CVelmoraView.h"
#include "app/FibrePresetMenu.h"
#include "app/ImportCommands.h"
#include "app/LatticeCommands.h"
#include "app/ModelPaths.h"
#include "app/QtToolDialog.h"
#include "app/ShellHost.h"
#include "app/ShellMenus.h"
#include "app/StagedWork.h"
#include "app/UnsavedWork.h"
#include "interaction/TCore.h"
#include "linalg/Diagnostics.h"
#include "meshimport/MeshImport.h"
#include "model/MainWindowManager.h"

namespace {
constexpr int kInitialWidth = 1024;
constexpr int kInitialHeight = 768;
// What a load reports: reading, surface, fields, clusters, fields (solved).
constexpr int kOpenStages = 5;
// A model of fewer vertices loads in about a second at most: its dialog waits longer, so that it
// shows only on a machine busy with other work.
constexpr long kSmallModelVertices = 20000;
constexpr int kSmallModelDialogDelayMs = 1500;

/// The vertex count in the header of base.node (the first line that is not a comment), or 0.
long nodeFileVertexCount(const std::string& base) {
    std::ifstream in(base + ".node");
    std::string line;
    while (std::getline(in, line)) {
        const size_t first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') continue;
        return std::strtol(line.c_str() + first, nullptr, 10);
    }
    return 0;
}
}  // namespace

CMainFrame::CMainFrame(ShellHost& host, QtToolDialogFactory& dialogFactory, Commands& commands)
    : m_host(host), m_commands(commands) {
    setWindowTitle(QStringLiteral("Velmora"));
    setAcceptDrops(true);
    resize(kInitialWidth, kInitialHeight);
    buildMenus();
    m_document.onNewDocument();

    // The dialogs are kept above this window, so it needs its native window before they exist.
    winId();
    dialogFactory.setMainWindow(this);
    m_host.setFrame(this);

    // Just before the view: the core object (hidden dialogs, standard mode) and the controller,
    // which loads the initial model; then everything that works on them is handed both.
    TCore& core = TCore::getInst();
    m_host.attach(nullptr, &core);
    MainWindowManager& controller = MainWindowManager::getInstance();
    m_host.attach(&controller, &core);
    core.setController(&controller);
    m_document.setController(&controller);
    m_commands.attach(&controller, &core, this);

    m_view = new CVelmoraView(m_host, m_commands, this);
    setCentralWidget(m_view);
    m_view->setFocus();

    TCore::getInst().setMainFrame(this);
    m_unsavedWork = std::make_unique<UnsavedWork>(m_host, *this, m_commands);
    m_unsavedWork->addEditMenu(menuBar());
    onModelReplaced();
    m_unsavedWork->offerAutosaveRestore();
}

CMainFrame::~CMainFrame() {
    if (TCore::exists() && TCore::getInst().m_mainFrame == this) TCore::getInst().m_mainFrame = nullptr;
    m_commands.attach(m_commands.controller(), m_commands.core(), nullptr);
    m_host.setFrame(nullptr);
}

void CMainFrame::buildMenus() {
    m_fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* load = m_fileMenu->addAction(QStringLiteral("Load heat tetra model (.ele/.vm)"), this,
                                          [this] { m_commands.loadModel(); });
    // Ctrl+O opens a model, as the usual document key; the view handles the other document keys
    // (and Ctrl+O when the main window is not active).
    load->setShortcut(QKeySequence::Open);
    m_fileMenu->addAction(QStringLiteral("Import mesh (.msh/.vtk/.mesh/.stl)..."), this,
                          [this] { m_commands.importMesh(); });
    m_fileMenu->addAction(QStringLiteral("Export fields (.vtu)..."), this, [this] { m_commands.exportFields(); });
    m_recentSeparator = m_fileMenu->addSeparator();
    m_exitSeparator = m_fileMenu->addSeparator();
    m_fileMenu->addAction(QStringLiteral("E&xit"), this, [this] { m_commands.quit(); });
    refreshRecentMenu();

    QMenu* modeMenu = menuBar()->addMenu(QStringLiteral("Mode Change"));
    m_backObjectAction = modeMenu->addAction(QStringLiteral("Back object manipulation"));
    m_backObjectAction->setCheckable(true);
    m_backObjectAction->setEnabled(false);
    m_paintModeAction = modeMenu->addAction(QStringLiteral("Paint control fields"), this,
                                            [this] { m_commands.paintControlFieldsMode(); });
    m_paintModeAction->setCheckable(true);
    m_stdModeAction = modeMenu->addAction(QStringLiteral("Standard manipulation"), this,
                                          [this] { m_commands.standardManipulationMode(); });
    m_stdModeAction->setCheckable(true);
    modeMenu->addSeparator();
    m_volumeDialogAction =
        modeMenu->addAction(QStringLiteral("Show Volume Viz Dlg"), this, [this] { m_commands.toggleVolumeDialog(); });
    m_volumeDialogAction->setCheckable(true);
    connect(modeMenu, &QMenu::aboutToShow, this, [this] { refreshMenuChecks(); });

    addViewMenu(menuBar());

    QMenu* renderingMenu = menuBar()->addMenu(QStringLiteral("Rendering"));
    m_stereoAction = renderingMenu->addAction(QStringLiteral("3D Mode"), this, [this] { m_commands.toggleStereo(); });
    m_stereoAction->setCheckable(true);
    m_showFramesAction =
        renderingMenu->addAction(QStringLiteral("Show Frames"), this, [this] { m_commands.toggleFrames(); });
    m_showFramesAction->setCheckable(true);
    m_showRatesAction = renderingMenu->addAction(QStringLiteral("Show Ticks and Frames per Second"), this,
                                                 [this] { m_commands.toggleRatesInTitle(); });
    m_showRatesAction->setCheckable(true);
    renderingMenu->addAction(QStringLiteral("StartAutoRotation"), this, [this] { m_commands.startAutoRotation(); });
    renderingMenu->addAction(QStringLiteral("InitEyePosition"), this, [this] { m_commands.initEyePosition(); });
    renderingMenu->addAction(QStringLiteral("Fit heart in view"), this, [this] { m_commands.fitModelInView(); });
    renderingMenu->addSeparator();
    renderingMenu->addAction(QStringLiteral("Simulation lattice..."), this, [this] { m_commands.simulationLattice(); });
    connect(renderingMenu, &QMenu::aboutToShow, this, [this] { refreshMenuChecks(); });

    addFibrePresetCommands(menuWithTitle(menuBar(), QStringLiteral("Simple Model Fiber Orientation")), m_commands);
    addExperimentCommands(menuWithTitle(menuBar(), QStringLiteral("Simple Model Fiber Orientation")), m_commands);
    addHelpMenu(menuBar(), m_commands);
}

QAction* CMainFrame::findAction(const QString& text) const {
    for (QAction* menuAction : menuBar()->actions()) {
        if (menuAction->text() == text) return menuAction;
        if (QMenu* menu = menuAction->menu())
            for (QAction* action : menu->actions())
                if (action->text() == text) return action;
    }
    return nullptr;
}

void CMainFrame::refreshMenuChecks() {
    if (!TCore::exists()) return;
    const TCore& core = TCore::getInst();
    m_backObjectAction->setChecked(core.m_mode == 0);
    m_paintModeAction->setChecked(core.m_mode == 1);
    m_stdModeAction->setChecked(core.m_mode == 2);
    m_volumeDialogAction->setChecked(core.m_dlgVolumeViz && core.m_dlgVolumeViz->isDialogVisible());
    m_stereoAction->setChecked(core.m_bStereo);
    m_showFramesAction->setChecked(core.m_bShowFrames);
    m_showRatesAction->setChecked(m_host.showsRates());
}

void CMainFrame::refreshRecentMenu() {
    for (QAction* action : m_recentActions) {
        m_fileMenu->removeAction(action);
        action->deleteLater();
    }
    m_recentActions.clear();
    const QStringList entries = m_recent.entries();
    if (entries.isEmpty()) {
        auto* placeholder = new QAction(QStringLiteral("Recent File"), m_fileMenu);
        placeholder->setEnabled(false);
        m_fileMenu->insertAction(m_exitSeparator, placeholder);
        m_recentActions.append(placeholder);
        return;
    }
    for (int i = 0; i < entries.size(); ++i) {
        const QString basePath = entries[i];
        auto* action = new QAction(QStringLiteral("&%1 %2").arg(i + 1).arg(basePath), m_fileMenu);
        connect(action, &QAction::triggered, this,
                [this, basePath] { m_commands.openRecentModel(basePath.toStdString()); });
        m_fileMenu->insertAction(m_exitSeparator, action);
        m_recentActions.append(action);
    }
}

bool CMainFrame::loadModelFile(const QString& path) {
    if (isImportableMeshFile(path.toStdString())) {
        const std::string base =
            importMeshToBase(m_host, path.toStdString(), "", [this] { return m_unsavedWork->confirmDropWork(); });
        return !base.empty() && loadModelBase(QString::fromStdString(base));
    }
    std::string basePath;
    if (!modelBaseFromChosenFile(path.toStdString(), basePath)) {
        m_host.showMessage(kWrongModelExtensionMessage);
        return false;
    }
    return loadModelBase(QString::fromStdString(basePath));
}

bool CMainFrame::loadModelBase(const QString& basePath) {
    if (!m_unsavedWork->confirmDropWork()) return false;
    return openModelNow(basePath, true) == OpenOutcome::Opened;
}

CMainFrame::OpenOutcome CMainFrame::openModelNow(const QString& basePath, bool remember) {
    const std::string base = basePath.toStdString();
    if (stagedWorkRunning()) {
        diagPrintf("loadModel: %s is not opened while other work runs\n", base.c_str());
        return OpenOutcome::Failed;
    }
    // Built aside: the current model stays whole (and drawn) until the new one is complete.
    auto loaded = std::make_unique<TLSMModel>();
    TLSMModel* target = loaded.get();
    std::string reason, latticeReason;
    StagedWorkText text;
    text.title = QStringLiteral("Open model");
    text.action = QStringLiteral("Opening ") + QFileInfo(basePath).fileName();
    text.expectedStages = kOpenStages;
    if (nodeFileVertexCount(base) < kSmallModelVertices) text.showAfterMs = kSmallModelDialogDelayMs;
    const WorkOutcome outcome =
        runStagedWork(m_host, this, text, [target, &base, &reason, &latticeReason](LoadProgress& progress) {
            if (!target->loadModel(base, &reason, &progress)) return false;
            if (target->simulationLatticeTarget() <= 0 || target->simulationLattice()) return true;
            // The project asks for a lattice: built (or read from its cache) before the model is
            // shown. A model whose lattice cannot be made opens anyway and beats at full
            // resolution; Cancel here cancels the open.
            progress.stage(loadstage::kLattice);
            if (!target->ensureSimulationLattice(&latticeReason, latticeHooksFor(progress, false))) {
                if (progress.cancelled()) return false;
                if (latticeReason.empty()) latticeReason = "the lattice could not be built";
            }
            return true;
        });
    if (outcome == WorkOutcome::Cancelled) {
        // What the abandoned load had to say concerns a model nobody will see.
        m_host.dropHeldMessages();
        diagPrintf("loadModel: opening %s was cancelled\n", base.c_str());
        keepCurrentModel();
        m_host.showStatus("Opening " + QFileInfo(basePath).fileName().toStdString() + " was cancelled");
        return OpenOutcome::Cancelled;
    }
    if (outcome == WorkOutcome::Failed) {
        m_host.showHeldMessages();
        m_host.showMessageWithReason("the file is not exist", reason);
        keepCurrentModel();
        return OpenOutcome::Failed;
    }
    m_commands.controller()->installModel(std::move(loaded));
    if (remember) {
        m_recent.add(basePath);
        refreshRecentMenu();
    }
    onModelReplaced();
    m_host.redrawView();
    m_host.showHeldMessages();
    if (!latticeReason.empty())
        m_host.showMessage("The simulation lattice of " + QFileInfo(basePath).fileName().toStdString() +
                           " was not built; the model beats at full resolution.\n" + latticeReason);
    m_unsavedWork->offerAutosaveRestore();
    suggestLattice();
    return OpenOutcome::Opened;
}

void CMainFrame::keepCurrentModel() {
    MainWindowManager& manager = *m_commands.controller();
    // Without a model to keep (the first load at start-up), the window settles as after any load.
    if (!manager.model()) {
        manager.installModel(nullptr);
        onModelReplaced();
    }
    m_unsavedWork->workKept();
    m_host.redrawView();
}

void CMainFrame::onModelReplaced() {
    setWindowTitle(m_document.windowTitle());
    refreshMenuChecks();
    showSimulationLattice();
}

void CMainFrame::suggestLattice() {
    const TLSMModel* model = m_commands.controller()->model();
    if (!model) return;
    const QString path = QString::fromStdString(model->m_filePath);
    const QString suggestion = latticeSuggestion(*model, QFileInfo(path).fileName());
    if (suggestion.isEmpty() || m_latticeSuggested.contains(path)) return;
    m_latticeSuggested.append(path);
    m_host.showStatus(suggestion.toStdString());
}

void CMainFrame::buildAskedLattice() {
    TLSMModel* model = m_commands.controller() ? m_commands.controller()->model() : nullptr;
    if (!model || model->simulationLatticeTarget() <= 0 || model->simulationLattice()) return;
    if (m_latticeFailedModel == model->instanceSerial() && m_latticeFailedTarget == model->simulationLatticeTarget())
        return;
    std::string reason;
    if (buildLatticeInWindow(m_host, this, *model, 0, reason) == LatticeBuildOutcome::Failed) {
        m_latticeFailedModel = model->instanceSerial();
        m_latticeFailedTarget = model->simulationLatticeTarget();
        m_host.showMessage("The simulation lattice was not built; the model beats at full resolution.\n" + reason);
    }
    showSimulationLattice();
}

QString CMainFrame::latticeStatus() const { return m_latticeLabel ? m_latticeLabel->text() : QString(); }

void CMainFrame::showRates(bool show, double ticksPerSecond, double framesPerSecond) {
    QString title = m_document.windowTitle();
    if (show)
        title += QStringLiteral("  (%1 ticks/s, %2 frames/s)")
                     .arg(qRound(ticksPerSecond))
                     .arg(qRound(framesPerSecond));
    setWindowTitle(title);
}

ScreenRect CMainFrame::normalRect() const {
    const QRect r = (isMaximized() || isMinimized() || isFullScreen()) ? normalGeometry() : frameGeometry();
    return ScreenRect{r.x(), r.y(), r.width(), r.height()};
}

void CMainFrame::dockDialogs() {
    if (!TCore::exists() || TCore::getInst().m_mainFrame != this) return;
    const QRect r = frameGeometry();
    TCore::getInst().placeDialogs(r.x() + r.width(), r.y());
}

void CMainFrame::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    dockDialogs();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    dockDialogs();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // A model still loading (or a lattice being built) is cancelled from its dialog first.
    if (stagedWorkRunning()) {
        event->ignore();
        return;
    }
    if (m_unsavedWork && !m_unsavedWork->confirmDropWork()) {
        event->ignore();
        return;
    }
    if (MainWindowManager* controller = m_commands.controller()) controller->stopTimer();
    if (TCore::exists()) {
        TCore& core = TCore::getInst();
        core.m_dlgVolumeViz->hideDialog();
        core.m_dlgPaintCtrlField->hideDialog();
        core.m_dlgStdInteraction->hideDialog();
    }
    event->accept();
}

QString CMainFrame::droppedModelFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls()) return QString();
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile()) continue;
        const QString path = url.toLocalFile();
        if (path.endsWith(QStringLiteral(".ele")) || path.endsWith(QStringLiteral(".vm")) ||
            isImportableMeshFile(path.toStdString()))
            return path;
    }
    return QString();
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (!droppedModelFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const QString path = droppedModelFile(event->mimeData());
    if (path.isEmpty()) return;
    event->acceptProposedAction();
    loadModelFile(path);
}

// ---- CommandShell ------------------------------------------------------------------------------

bool CMainFrame::confirmCommand(const std::string& question) { return m_host.askYesNo(question); }

std::string CMainFrame::chooseFileToOpen(const std::string& filter) { return m_host.chooseOpenFile(filter); }

std::string CMainFrame::chooseFileToSave(const std::string& filter) { return m_host.chooseSaveFile(filter); }

void CMainFrame::tellUser(const std::string& text) { m_host.showMessage(text); }

void CMainFrame::holdTicks() { m_host.suspendTicks(); }

void CMainFrame::releaseTicks() { m_host.resumeTicks(); }

void CMainFrame::showModelChanges() {
    m_host.refreshDialogs();
    // An undo or redo of the lattice command brings back the count asked for, not the lattice.
    buildAskedLattice();
    showSimulationLattice();
}

bool CMainFrame::mayDropWork() { return m_unsavedWork->confirmDropWork(); }

void CMainFrame::projectWasSaved() { m_unsavedWork->projectSaved(); }

bool CMainFrame::openModelFile(const std::string& path) { return loadModelFile(QString::fromStdString(path)); }

bool CMainFrame::openModelBase(const std::string& basePath) { return loadModelBase(QString::fromStdString(basePath)); }

void CMainFrame::openRecentModel(const std::string& basePath) {
    if (!m_unsavedWork->confirmDropWork()) return;
    const QString base = QString::fromStdString(basePath);
    // A cancelled open says nothing about the entry.
    if (openModelNow(base, true) == OpenOutcome::Failed) {
        m_recent.remove(base);
        refreshRecentMenu();
    }
}

std::string CMainFrame::importChosenMesh() {
    return runImportMeshCommand(m_host, [this] { return m_unsavedWork->confirmDropWork(); });
}

void CMainFrame::showModeState() { refreshMenuChecks(); }

bool CMainFrame::ratesShownInTitle() const { return m_host.showsRates(); }

void CMainFrame::showRatesInTitle(bool show) { m_host.setShowRates(show); }

void CMainFrame::showAboutBox() { AboutDialog::showFor(this); }

void CMainFrame::closeMainWindow() { close(); }

LatticeChoice CMainFrame::chooseSimulationLattice(int currentTarget, int modelVertices) {
    return m_host.chooseSimulationLattice(currentTarget, modelVertices);
}

bool CMainFrame::buildSimulationLattice(int vertices) {
    TLSMModel* model = m_commands.controller() ? m_commands.controller()->model() : nullptr;
    if (!model || stagedWorkRunning()) return false;
    std::string reason;
    switch (buildLatticeInWindow(m_host, this, *model, vertices, reason)) {
        case LatticeBuildOutcome::Built:
            return true;
        case LatticeBuildOutcome::Cancelled:
            m_host.showStatus("The simulation lattice was not changed (cancelled)");
            return false;
        case LatticeBuildOutcome::Failed:
            m_host.showMessage("The simulation lattice was not built; the model keeps what it had.\n" + reason);
            return false;
    }
    return false;
}

void CMainFrame::showSimulationLattice() {
    const QString text = latticeStatusText(m_commands.controller() ? m_commands.controller()->model() : nullptr);
    // The status bar comes with the first note or lattice: a window without either keeps the
    // whole height for the view.
    if (!m_latticeLabel && text.isEmpty()) return;
    if (!m_latticeLabel) {
        m_latticeLabel = new QLabel(this);
        statusBar()->addPermanentWidget(m_latticeLabel);
    }
    m_latticeLabel->setText(text);
}
