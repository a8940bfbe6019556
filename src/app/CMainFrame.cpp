// CMainFrame: menus, the load command, recent models, dialog docking and dropped files.
#include "app/CMainFrame.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>

#include "app/AboutDialog.h"
#include "app/CVelmoraView.h"
#include "app/FibrePresetMenu.h"
#include "app/ImportCommands.h"
#include "app/ModelPaths.h"
#include "app/QtToolDialog.h"
#include "app/ShellHost.h"
#include "app/ShellMenus.h"
#include "app/UnsavedWork.h"
#include "interaction/TCore.h"
#include "meshimport/MeshImport.h"
#include "model/MainWindowManager.h"

namespace {
constexpr int kInitialWidth = 1024;
constexpr int kInitialHeight = 768;
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
    MainWindowManager& manager = *m_commands.controller();
    manager.loadModel(basePath.toStdString());
    const bool loaded = manager.model() != nullptr;
    if (loaded) {
        m_recent.add(basePath);
        refreshRecentMenu();
    }
    onModelReplaced();
    m_host.redrawView();
    if (loaded) m_unsavedWork->offerAutosaveRestore();
    return loaded;
}

void CMainFrame::onModelReplaced() {
    setWindowTitle(m_document.windowTitle());
    refreshMenuChecks();
}

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

void CMainFrame::showModelChanges() { m_host.refreshDialogs(); }

bool CMainFrame::mayDropWork() { return m_unsavedWork->confirmDropWork(); }

void CMainFrame::projectWasSaved() { m_unsavedWork->projectSaved(); }

bool CMainFrame::openModelFile(const std::string& path) { return loadModelFile(QString::fromStdString(path)); }

bool CMainFrame::openModelBase(const std::string& basePath) { return loadModelBase(QString::fromStdString(basePath)); }

void CMainFrame::openRecentModel(const std::string& basePath) {
    if (!m_unsavedWork->confirmDropWork()) return;
    const QString base = QString::fromStdString(basePath);
    if (!loadModelBase(base)) {
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
