// ImportCommands: import in the mesher's child process, under a progress dialog, into a TetGen base.
#include "app/ImportCommands.h"

#include <QApplication>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <filesystem>

#include "app/ShellHost.h"
#include "linalg/Diagnostics.h"
#include "meshimport/MeshImport.h"
#include "meshimport/MesherProcess.h"

const char* const kImportMeshFilter =
    "Meshes (*.msh;*.vtk;*.vtu;*.mesh;*.pts;*.elem;*.stl;*.ply2)|*.msh;*.vtk;*.vtu;*.mesh;*.pts;*.elem;*.stl;*.ply2|"
    "gmsh mesh (*.msh)|*.msh|VTK (*.vtk;*.vtu)|*.vtk;*.vtu|Medit mesh (*.mesh)|*.mesh|"
    "openCARP mesh (*.pts;*.elem)|*.pts;*.elem|closed surface (*.stl;*.ply2)|*.stl;*.ply2||";
const char* const kImportBaseFilter = "tetra Mesh (*.node;*.ele)|*.node;*.ele||";

namespace {

// The progress dialog shows only for imports that take longer than this.
constexpr int kProgressDelayMs = 500;
constexpr int kPollIntervalMs = 50;

bool g_importRunning = false;

/// The base of a chosen model name: "x.node" and "x.ele" give "x", anything else stays.
std::string baseOfChosenName(const std::string& path) {
    for (const std::string ext : {".node", ".ele"})
        if (path.size() > ext.size() && path.compare(path.size() - ext.size(), ext.size(), ext) == 0)
            return path.substr(0, path.size() - ext.size());
    return path;
}

std::string fileNameOf(const std::string& path) { return std::filesystem::path(path).filename().string(); }

/// Runs the event loop until the job is over, under an application-modal progress dialog whose
/// Cancel kills the child. The window keeps drawing meanwhile; its ticks are held, as under any
/// modal window.
void waitWithProgress(ShellHost& host, MeshImportJob& job, const std::string& meshPath) {
    if (job.poll()) return;
    host.suspendTicks();
    QProgressDialog progress(QStringLiteral("Importing %1...").arg(QString::fromStdString(fileNameOf(meshPath))),
                             QStringLiteral("Cancel"), 0, 0, QApplication::activeWindow());
    progress.setWindowTitle(QStringLiteral("Import mesh"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setMinimumDuration(kProgressDelayMs);
    QEventLoop loop;
    QTimer poller;
    poller.setInterval(kPollIntervalMs);
    QObject::connect(&poller, &QTimer::timeout, &loop, [&] {
        if (job.poll()) loop.quit();
    });
    QObject::connect(&progress, &QProgressDialog::canceled, &loop, [&] {
        job.cancel();
        loop.quit();
    });
    progress.setValue(0);
    poller.start();
    loop.exec();
    poller.stop();
    host.resumeTicks();
}

}  // namespace

std::string projectMovedAsideMessage(const std::string& base, const std::string& backupPath) {
    return "The project file " + fileNameOf(base) + ".vm belonged to another mesh; it was renamed " +
           fileNameOf(backupPath) + ".";
}

std::string importMeshToBase(ShellHost& host, const std::string& meshPath, const std::string& base,
                             const std::function<bool()>& mayReplaceModel) {
    if (g_importRunning) {
        host.showMessage("Import failed: another import is still running");
        return "";
    }
    g_importRunning = true;
    ImportedTetMesh mesh;
    MeshImportReport report;
    std::string error;
    bool cancelled = false;
    bool ok = false;
    {
        MeshImportJob job;
        if (job.start(meshPath, MeshImportOptions(), error)) {
            waitWithProgress(host, job, meshPath);
            ok = job.finish(mesh, report, error);
            cancelled = job.cancelled();
        }
    }
    g_importRunning = false;
    if (!ok) {
        diagPrintf("import: %s\n", error.c_str());
        if (!cancelled) host.showMessage("Import failed: " + error);
        return "";
    }
    const std::string target = base.empty() ? importBaseBeside(meshPath, mesh) : base;
    // The open model may hold unsaved work on the very files about to be replaced: it is saved or
    // dropped before anything is written.
    if (mayReplaceModel && !mayReplaceModel()) return "";
    std::string backup;
    if (!placeImportedMesh(target, mesh, backup, error)) {
        diagPrintf("import: %s\n", error.c_str());
        host.showMessage("Import failed: " + error);
        return "";
    }
    diagPrintf("import: %s -> %s.node/.ele (%zu vertices, %zu tetrahedra)\n", meshPath.c_str(), target.c_str(),
               mesh.points.size(), mesh.tets.size());
    if (!backup.empty()) {
        diagPrintf("import: %s.vm belonged to another mesh; it was renamed %s\n", target.c_str(), backup.c_str());
        host.showMessage(projectMovedAsideMessage(target, backup));
    }
    return target;
}

std::string runImportMeshCommand(ShellHost& host, const std::function<bool()>& mayReplaceModel) {
    const std::string meshPath = host.chooseOpenFile(kImportMeshFilter);
    if (meshPath.empty()) return "";
    const std::string chosen = host.chooseSaveFile(kImportBaseFilter);
    if (chosen.empty()) return "";
    return importMeshToBase(host, meshPath, baseOfChosenName(chosen), mayReplaceModel);
}
