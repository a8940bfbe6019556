// CVelmoraApp: the start-up order and the orderly shut-down.
#include "app/CVelmoraApp.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSurfaceFormat>

#include "app/CMainFrame.h"
#include "app/ImportCommands.h"
#include "app/LatticeCommands.h"
#include "app/ModelPaths.h"
#include "meshimport/MeshImport.h"
#include "interaction/TCore.h"
#include "model/MainWindowManager.h"
#include "model/ShellHooks.h"

CVelmoraApp::CVelmoraApp(UserDialogs* dialogs)
    : m_host(std::make_unique<ShellHost>(dialogs ? *dialogs : static_cast<UserDialogs&>(m_qtDialogs))) {}

CVelmoraApp::~CVelmoraApp() { shutdown(); }

void CVelmoraApp::configureSurfaceFormat() {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setVersion(2, 1);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(0);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    QSurfaceFormat::setDefaultFormat(format);
}

bool CVelmoraApp::initInstance(const QStringList& arguments) {
    QCoreApplication::setOrganizationName(QStringLiteral("Velmora"));
    QCoreApplication::setApplicationName(QStringLiteral("Velmora"));

    setShellHooks(m_host.get());
    m_previousBusyIndicator = setBusyIndicator(&m_busyCursor);
    MainWindowManager::setDefaultHost(m_host.get());
    TCore::setDialogFactory(&m_dialogFactory);
    installWindowLatticeBuilder();

    QString namedModel;
    if (arguments.size() > 1 && !arguments[1].isEmpty()) {
        // A mesh of another format is imported beside itself; when that fails (the reason is
        // shown) the default model opens instead.
        const std::string argument = arguments[1].toStdString();
        namedModel = QString::fromStdString(isImportableMeshFile(argument) ? importMeshToBase(*m_host, argument, "")
                                                                           : modelBaseFromArgument(argument));
    }
    // The window comes first and the model loads under it, so that a big model shows its stages
    // (and can be cancelled) instead of keeping the window away for seconds.
    MainWindowManager::setInitialModelPath("");

    m_frame = std::make_unique<CMainFrame>(*m_host, m_dialogFactory, m_commands);
    m_qtDialogs.setMainWindow(m_frame.get());
    m_frame->show();
    m_frame->activateWindow();
    // The default model is not a choice of the user's: only a named one joins the recent list.
    m_frame->openModelNow(namedModel.isEmpty() ? QStringLiteral("ModelB") : namedModel, !namedModel.isEmpty());
    return true;
}

void CVelmoraApp::shutdown() {
    if (m_frame) {
        m_frame->close();
        m_frame.reset();
    }
    m_commands.attach(nullptr, nullptr, nullptr);
    m_host->attach(nullptr, nullptr);
    MainWindowManager::destroyInstance();
    TCore::destroyInstance();
    TCore::setDialogFactory(nullptr);
    MainWindowManager::setDefaultHost(nullptr);
    MainWindowManager::setInitialModelPath("ModelB");
    setShellHooks(nullptr);
    // Someone installed another indicator after this one: leave theirs.
    if (busyIndicator() == &m_busyCursor) setBusyIndicator(m_previousBusyIndicator);
}
