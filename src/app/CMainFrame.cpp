// CMainFrame: menus, the load command, recent models, dialog docking and dropped files.
#include "app/CMainFrame.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>

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
const char* const kLoadFilter = "tetra Mesh / Config file (*.ele;*.vm)|*.ele;*.vm||";
constexpr int kInitialWidth = 1024;
constexpr int kInitialHeight = 768;
}  // namespace

CMainFrame::CMainFrame(ShellHost& host, QtToolDialogFactory& dialogFactory) : m_host(host) {
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
    // which loads the initial model.
    TCore::getInst();
    MainWindowManager::getInstance();

    m_view = new CVelmoraView(m_host, this);
    setCentralWidget(m_view);
    m_view->setFocus();

    TCore::getInst().setMainFrame(this);
    m_unsavedWork = std::make_unique<UnsavedWork>(m_host, *this);
    m_unsavedWork->addEditMenu(menuBar());
    onModelReplaced();
    m_unsavedWork->offerAutosaveRestore();
}

CMainFrame::~CMainFrame() {
    if (TCore::exists() && TCore::getInst().m_mainFrame == this) TCore::getInst().m_mainFrame = nullptr;
    m_host.setFrame(nullptr);
}

void CMainFrame::buildMenus() {
    m_fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* load =
        m_fileMenu->addAction(QStringLiteral("Load heat tetra model (.ele/.vm)"), this, [this] { loadModelCommand(); });
    // Ctrl+O opens a model, as the usual document key; the view handles the other document keys
    // (and Ctrl+O when the main window is not active).
    load->setShortcut(QKeySequence::Open);
    m_fileMenu->addAction(QStringLiteral("Import mesh (.msh/.vtk/.mesh/.stl)..."), this, [this] {
        const std::string base = runImportMeshCommand(m_host);
        if (!base.empty()) loadModelBase(QString::fromStdString(base));
    });
    m_fileMenu->addAction(QStringLiteral("Export fields (.vtu)..."), this, [this] { runFieldExportCommand(m_host); });
    m_recentSeparator = m_fileMenu->addSeparator();
    m_exitSeparator = m_fileMenu->addSeparator();
    m_fileMenu->addAction(QStringLiteral("E&xit"), this, [this] { close(); });
    refreshRecentMenu();

    QMenu* modeMenu = menuBar()->addMenu(QStringLiteral("Mode Change"));
    m_backObjectAction = modeMenu->addAction(QStringLiteral("Back object manipulation"));
    m_backObjectAction->setCheckable(true);
    m_backObjectAction->setEnabled(false);
    m_paintModeAction = modeMenu->addAction(QStringLiteral("Paint control fields"), this, [this] {
        TCore::getInst().setPaintCtrlFieldMode();
        refreshMenuChecks();
    });
    m_paintModeAction->setCheckable(true);
    m_stdModeAction = modeMenu->addAction(QStringLiteral("Standard manipulation"), this, [this] {
        TCore::getInst().setStdInteractionMode();
        refreshMenuChecks();
    });
    m_stdModeAction->setCheckable(true);
    modeMenu->addSeparator();
    m_volumeDialogAction = modeMenu->addAction(QStringLiteral("Show Volume Viz Dlg"), this, [this] {
        ToolDialogWindow& dialog = *TCore::getInst().m_dlgVolumeViz;
        if (dialog.isDialogVisible()) {
            dialog.hideDialog();
        } else {
            dialog.showDialog();
        }
        refreshMenuChecks();
    });
    m_volumeDialogAction->setCheckable(true);
    connect(modeMenu, &QMenu::aboutToShow, this, [this] { refreshMenuChecks(); });

    addViewMenu(menuBar());

    QMenu* renderingMenu = menuBar()->addMenu(QStringLiteral("Rendering"));
    m_stereoAction = renderingMenu->addAction(QStringLiteral("3D Mode"), this, [this] {
        TCore& core = TCore::getInst();
        core.m_bStereo = !core.m_bStereo;
        refreshMenuChecks();
        m_host.redrawView();
    });
    m_stereoAction->setCheckable(true);
    m_showFramesAction = renderingMenu->addAction(QStringLiteral("Show Frames"), this, [this] {
        TCore& core = TCore::getInst();
        core.m_bShowFrames = !core.m_bShowFrames;
        refreshMenuChecks();
        m_host.redrawView();
    });
    m_showFramesAction->setCheckable(true);
    m_showRatesAction = renderingMenu->addAction(QStringLiteral("Show Ticks and Frames per Second"), this,
                                                 [this] { m_host.setShowRates(!m_host.showsRates()); });
    m_showRatesAction->setCheckable(true);
    renderingMenu->addAction(QStringLiteral("StartAutoRotation"), this,
                             [] { TCore::getInst().m_camera->startAutoRotation(); });
    renderingMenu->addAction(QStringLiteral("InitEyePosition"), this,
                             [] { TCore::getInst().m_camera->initEyePosition(); });
    renderingMenu->addAction(QStringLiteral("Fit heart in view"), this,
                             [] { TCore::getInst().m_camera->fitModelInView(); });
    connect(renderingMenu, &QMenu::aboutToShow, this, [this] { refreshMenuChecks(); });

    addFibrePresetCommands(menuWithTitle(menuBar(), QStringLiteral("Simple Model Fiber Orientation")));
    addExperimentCommands(menuWithTitle(menuBar(), QStringLiteral("Simple Model Fiber Orientation")), m_host);
    addHelpMenu(menuBar(), this);
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
        connect(action, &QAction::triggered, this, [this, basePath] {
            if (!m_unsavedWork->confirmDropWork()) return;
            if (!loadModelBase(basePath)) {
                m_recent.remove(basePath);
                refreshRecentMenu();
            }
        });
        m_fileMenu->insertAction(m_exitSeparator, action);
        m_recentActions.append(action);
    }
}

void CMainFrame::loadModelCommand() {
    if (!m_unsavedWork->confirmDropWork()) return;
    const std::string path = m_host.chooseOpenFile(kLoadFilter);
    if (path.empty()) return;
    loadModelFile(QString::fromStdString(path));
}

bool CMainFrame::loadModelFile(const QString& path) {
    if (isImportableMeshFile(path.toStdString())) {
        const std::string base = importMeshToBase(m_host, path.toStdString(), "");
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
    MainWindowManager& manager = MainWindowManager::getInstance();
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
    MainWindowManager::getInstance().stopTimer();
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
