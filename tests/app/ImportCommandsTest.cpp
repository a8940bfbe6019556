// Import and field export in the window: a mesh named on the command line, chosen in the File
// menu or dropped opens as a model and beats; a refused file leaves the model as it was.
#include <QElapsedTimer>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <cmath>
#include <cstdlib>

#include "GuiFixture.h"
#include "app/UnsavedWork.h"
#include "linalg/Diagnostics.h"
#include "meshimport/MeshImport.h"
#include "model/ProjectFile.h"

namespace {

/// A dented ellipsoid written by gmsh in several formats from geometry of its own.
const char* const kBodyGeometry = R"(SetFactory("OpenCASCADE");
Sphere(1) = {0, 0, 0, 1};
Rotate {{0.4, 1, 0.1}, {0, 0, 0}, 0.8} { Volume{1}; }
Dilate {{0, 0, 0}, {1.5, 1.2, 2.2}} { Volume{1}; }
Sphere(2) = {1.4, 0, 0, 0.6};
BooleanDifference(3) = { Volume{1}; Delete; }{ Volume{2}; Delete; };
Mesh.MeshSizeMax = 0.3;
)";

bool drop(QWidget* window, const std::string& path) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    const QPointF at(window->width() / 2.0, window->height() / 2.0);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropEvent(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &dropEvent);
    return true;
}

/// Vertex count of the file as the importer reads it.
size_t importedVertices(const std::string& path) {
    ImportedTetMesh mesh;
    MeshImportReport report;
    std::string error;
    DiagCapture quiet;
    EXPECT_TRUE(importMeshFile(path, MeshImportOptions(), mesh, report, error)) << error;
    return mesh.points.size();
}

/// tets in gmsh's format 2 (corners numbered from 1).
std::string mshOf(const testmesh::TetData& tets) {
    std::string text = "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n" + std::to_string(tets.verts.size()) + "\n";
    char line[160];
    for (size_t i = 0; i < tets.verts.size(); ++i) {
        std::snprintf(line, sizeof line, "%zu %.17g %.17g %.17g\n", i + 1, tets.verts[i].x, tets.verts[i].y,
                      tets.verts[i].z);
        text += line;
    }
    text += "$EndNodes\n$Elements\n" + std::to_string(tets.tets.size()) + "\n";
    for (size_t j = 0; j < tets.tets.size(); ++j) {
        const Tetra& t = tets.tets[j];
        std::snprintf(line, sizeof line, "%zu 4 2 0 1 %d %d %d %d\n", j + 1, t.vIdx[0] + 1, t.vIdx[1] + 1,
                      t.vIdx[2] + 1, t.vIdx[3] + 1);
        text += line;
    }
    return text + "$EndElements\n";
}

/// The crafted files of tests/data/crafted-imports (each tries to create $VELMORA_CRAFTED_MARKER
/// through gmsh's SystemCall) copied into dir.
void copyCraftedFiles(const testfiles::TempDir& dir) {
    const testfiles::RunResult copied = testfiles::runCommand(
        "cp -a '" + testfiles::sourceDir() + "/tests/data/crafted-imports/.' '" + dir.path() + "/'", dir.path());
    ASSERT_EQ(copied.status, 0) << copied.err;
}

/// An environment variable set while it lives.
class ScopedVariable {
   public:
    ScopedVariable(const char* name, const std::string& value) : m_name(name) { ::setenv(name, value.c_str(), 1); }
    ~ScopedVariable() { ::unsetenv(m_name); }

   private:
    const char* m_name;
};

const QString kImportEntry = QStringLiteral("Import mesh (.msh/.vtk/.mesh/.stl)...");

}  // namespace

TEST_F(GuiFixture, MeshFilesOfOtherFormatsOpenFromTheArgumentTheMenuAndADropAndBeat) {
    testfiles::writeText(m_dir.file("body.geo"), kBodyGeometry);
    for (const char* format : {"-3 -format msh4 -o body.msh", "-3 -format vtk -o body.vtk",
                               "-3 -format mesh -o body.mesh", "-2 -format stl -o body.stl"}) {
        const testfiles::RunResult g = testfiles::runCommand(std::string("gmsh body.geo ") + format, m_dir.path());
        ASSERT_EQ(g.status, 0) << g.out << g.err;
    }
    const std::string msh = m_dir.file("body.msh");

    // The program argument: the base is written beside the mesh and opened.
    start({QString::fromStdString(msh)});
    ASSERT_NE(manager().model(), nullptr);
    EXPECT_EQ(manager().model()->m_filePath, m_dir.file("body"));
    EXPECT_EQ(static_cast<size_t>(manager().model()->vertexCount()), importedVertices(msh));
    EXPECT_TRUE(testfiles::exists(m_dir.file("body.node")));

    // File menu: a mesh, then the name of the model to write.
    m_dialogs.fileAnswers = {m_dir.file("body.vtk"), m_dir.file("chosen.node")};
    trigger(QStringLiteral("Import mesh (.msh/.vtk/.mesh/.stl)..."));
    ASSERT_NE(manager().model(), nullptr);
    EXPECT_EQ(manager().model()->m_filePath, m_dir.file("chosen"));
    EXPECT_EQ(static_cast<size_t>(manager().model()->vertexCount()), importedVertices(m_dir.file("body.vtk")));
    ASSERT_EQ(m_dialogs.fileFilters.size(), 2u);
    EXPECT_NE(m_dialogs.fileFilters[0].find("*.stl"), std::string::npos);

    // Dropped files: the closed surface is filled beside its source under a free name; the Medit
    // file's coordinates are rounded differently, so it does not take body's name either.
    ASSERT_TRUE(drop(m_frame, m_dir.file("body.stl")));
    ASSERT_NE(manager().model(), nullptr);
    EXPECT_EQ(manager().model()->m_filePath, m_dir.file("body-imported"));
    EXPECT_GE(manager().model()->vertexCount(), 5000);
    EXPECT_EQ(manager().model()->m_surface.isValid(), 1);
    ASSERT_TRUE(drop(m_frame, m_dir.file("body.mesh")));
    EXPECT_EQ(manager().model()->m_filePath, m_dir.file("body-imported-2"));
    EXPECT_TRUE(m_dialogs.messages.empty());

    // It beats: labels and a contraction chart painted on body and saved; the .msh dropped again
    // opens body (the same mesh), whose project now applies; the beat runs with O.
    {
        DiagCapture quiet;
        TLSMModel model;
        ASSERT_TRUE(model.loadModel(m_dir.file("body")));
        for (int v = 0; v < model.vertexCount(); ++v) model.m_vtxIsVentriOrAtrium[v] = 1;
        model.m_excitation->m_chartVent = {{0.0, 0.0}, {0.3, 0.9}, {0.6, 0.0}};
        model.m_excitation->m_amplitude = 0.3;
        std::string error;
        ASSERT_TRUE(saveProjectTo(model, m_dir.file("body.vm"), error)) << error;
    }
    ASSERT_TRUE(drop(m_frame, msh));
    ASSERT_NE(manager().model(), nullptr);
    EXPECT_EQ(manager().model()->m_filePath, m_dir.file("body"));
    EXPECT_EQ(manager().model()->m_vtxIsVentriOrAtrium[0], 1);
    const std::vector<vec3> rest = manager().model()->m_verts;
    QTest::keyClick(m_view, Qt::Key_O);
    ASSERT_TRUE(waitFor([&] { return manager().m_time >= 0.2; }, 20000));
    QTest::keyClick(m_view, Qt::Key_O);
    double moved = 0.0;
    for (size_t i = 0; i < rest.size(); ++i) moved = std::max(moved, (manager().model()->m_verts[i] - rest[i]).norm());
    EXPECT_GT(moved, 0.01);
    bool finite = true;
    for (const vec3& p : manager().model()->m_verts) finite = finite && std::isfinite(p.x + p.y + p.z);
    EXPECT_TRUE(finite);

    // Field export from the File menu.
    m_dialogs.fileAnswers = {m_dir.file("fields")};
    trigger(QStringLiteral("Export fields (.vtu)..."));
    const std::string vtu = testfiles::readText(m_dir.file("fields.vtu"));
    EXPECT_NE(vtu.find("NumberOfPoints=\"" + std::to_string(rest.size()) + "\""), std::string::npos);
    EXPECT_NE(vtu.find("Name=\"sheet\""), std::string::npos);
}

TEST_F(GuiFixture, ARefusedMeshIsReportedAndTheModelStays) {
    writeCubeModel("ModelB");
    start();
    const TLSMModel* before = manager().model();
    ASSERT_NE(before, nullptr);
    testfiles::writeText(m_dir.file("open.py"),
                         "import meshio, numpy as np\n"
                         "p = np.array([[0,0,0],[1,0,0],[0,1,0],[0,0,1]], float)\n"
                         "meshio.write('open.stl', meshio.Mesh(p, [('triangle', np.array([[0,2,1],[0,1,3]]))]))\n");
    ASSERT_EQ(testfiles::runCommand("/usr/bin/python3 open.py", m_dir.path()).status, 0);

    ASSERT_TRUE(drop(m_frame, m_dir.file("open.stl")));
    EXPECT_EQ(manager().model(), before);
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_dialogs.messages[0].rfind("Import failed: open.stl: surface is not closed", 0), 0u)
        << m_dialogs.messages[0];
    EXPECT_FALSE(testfiles::exists(m_dir.file("open.node")));

    // A named file that cannot be imported: the reason is shown and the default model opens.
    stop();
    m_dialogs.messages.clear();
    start({QString::fromStdString(m_dir.file("open.stl"))});
    ASSERT_NE(manager().model(), nullptr);
    EXPECT_EQ(manager().model()->m_filePath, "ModelB");
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_NE(m_dialogs.messages[0].find("surface is not closed"), std::string::npos);
}

TEST_F(GuiFixture, CraftedFilesRunNoScriptOnAnyRouteAndAFailedImportLeavesTheModelAndItsWork) {
    copyCraftedFiles(m_dir);
    const std::string marker = m_dir.file("marker");
    ScopedVariable markerPath("VELMORA_CRAFTED_MARKER", marker);
    writeCubeModel("ModelB");
    // The program's argument: the reason is shown and the default model opens.
    start({QString::fromStdString(m_dir.file("heart.Stl"))});
    ASSERT_NE(manager().model(), nullptr);
    EXPECT_EQ(manager().model()->m_filePath, "ModelB");
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_dialogs.messages[0].rfind("Import failed: heart.Stl ", 0), 0u) << m_dialogs.messages[0];
    EXPECT_FALSE(testfiles::exists(marker));

    // Unsaved work on the open model.
    const TLSMModel* before = manager().model();
    manager().model()->m_iterationN = 7;
    m_frame->unsavedWork().refresh();
    ASSERT_TRUE(m_frame->unsavedWork().isModified());
    auto expectUntouched = [&](const std::string& name) {
        SCOPED_TRACE(name);
        EXPECT_EQ(manager().model(), before);
        EXPECT_EQ(manager().model()->m_iterationN, 7);
        EXPECT_TRUE(m_frame->unsavedWork().isModified());
        EXPECT_TRUE(m_dialogs.saveQuestions.empty()) << "a failed import asks nothing about the open work";
        ASSERT_FALSE(m_dialogs.messages.empty());
        EXPECT_EQ(m_dialogs.messages.back().rfind("Import failed: " + name, 0), 0u) << m_dialogs.messages.back();
        EXPECT_FALSE(testfiles::exists(marker));
        EXPECT_FALSE(testfiles::exists(m_dir.file("chosen.node")));
    };
    for (const char* name : {"script.ply2", "heart.Vtk", "empty-surface.stl"}) {
        m_dialogs.fileAnswers = {m_dir.file(name), m_dir.file("chosen.node")};
        trigger(kImportEntry);
        expectUntouched(name);
    }
    for (const char* name : {"heart.MSH", "script.mesh", "script-with-option-file.msh"}) {
        ASSERT_TRUE(drop(m_frame, m_dir.file(name)));
        expectUntouched(name);
    }

    // The mesher runs out of memory: one message, and the window goes on as it was.
    {
        ScopedVariable lowMemory("VELMORA_MESHER_MEMORY_MB", "20");
        m_dialogs.fileAnswers = {m_dir.file("cube.stl"), m_dir.file("chosen.node")};
        trigger(kImportEntry);
    }
    EXPECT_EQ(m_dialogs.messages.back(), "Import failed: the mesher stopped: out of memory (limit 20 MiB)");
    expectUntouched("");

    // Cancel in the progress dialog, which shows while the surface is filled: the child is
    // killed, nothing is said or written.
    const size_t messages = m_dialogs.messages.size();
    bool progressShown = false;
    QTimer watcher;
    watcher.setInterval(20);
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* progress = qobject_cast<QProgressDialog*>(widget); progress && progress->isVisible()) {
                progressShown = true;
                watcher.stop();
                if (auto* cancel = progress->findChild<QPushButton*>()) QTest::mouseClick(cancel, Qt::LeftButton);
            }
    });
    watcher.start();
    m_dialogs.fileAnswers = {m_dir.file("cube.stl"), m_dir.file("chosen.node")};
    QElapsedTimer clock;
    clock.start();
    trigger(kImportEntry);
    EXPECT_TRUE(progressShown);
    EXPECT_LT(clock.elapsed(), 6000) << "Cancel ends the import at once";
    EXPECT_EQ(m_dialogs.messages.size(), messages);
    EXPECT_EQ(manager().model(), before);
    EXPECT_TRUE(m_frame->unsavedWork().isModified());
    EXPECT_FALSE(testfiles::exists(m_dir.file("chosen.node")));
}

TEST_F(GuiFixture, ImportOverTheOpenModelAsksForItsWorkFirstAndMovesItsProjectAside) {
    const std::string base = writeCubeModel("ModelB");
    testfiles::writeText(m_dir.file("block.msh"), mshOf(testmesh::cube(2)));
    start();
    ASSERT_NE(manager().model(), nullptr);
    {
        std::string error;
        ASSERT_TRUE(saveProjectTo(*manager().model(), base + ".vm", error)) << error;
    }
    const std::string project = testfiles::readText(base + ".vm");
    const std::string nodes = testfiles::readText(base + ".node");
    manager().model()->m_iterationN = 7;
    m_frame->unsavedWork().refresh();
    ASSERT_TRUE(m_frame->unsavedWork().isModified());

    // Cancel at the question: nothing is written, the work stays.
    m_dialogs.fileAnswers = {m_dir.file("block.msh"), base + ".node"};
    trigger(kImportEntry);
    ASSERT_EQ(m_dialogs.saveQuestions.size(), 1u);
    EXPECT_EQ(testfiles::readText(base + ".node"), nodes);
    EXPECT_EQ(testfiles::readText(base + ".vm"), project);
    EXPECT_TRUE(m_frame->unsavedWork().isModified());
    EXPECT_EQ(manager().model()->vertexCount(), kCubeModelVertices);

    // Discard: the new mesh opens, and its name's old project is kept as ModelB.vm.bak.
    m_dialogs.saveChoices = {SaveChoice::Discard};
    m_dialogs.fileAnswers = {m_dir.file("block.msh"), base + ".node"};
    trigger(kImportEntry);
    ASSERT_NE(manager().model(), nullptr);
    EXPECT_EQ(manager().model()->vertexCount(), 27);
    EXPECT_FALSE(testfiles::exists(base + ".vm"));
    EXPECT_EQ(testfiles::readText(base + ".vm.bak"), project);
    EXPECT_EQ(
        m_dialogs.countMessages("The project file ModelB.vm belonged to another mesh; it was renamed ModelB.vm.bak."),
        1);
}
