// Opening a model in the window: a slow load shows its stages under a dialog while the view goes
// on drawing; Cancel keeps the open model, its beat and its unsaved work; a quick load shows no
// dialog at all. The simulation lattice turned on and off from the Rendering menu.
#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTimer>
#include <cmath>

#include "GuiFixture.h"
#include "app/LatticeDialog.h"
#include "app/StagedWork.h"
#include "app/UnsavedWork.h"
#include "linalg/Diagnostics.h"
#include "model/ProjectFile.h"

namespace {

/// What a test sees of the stage dialog while the window waits in its own event loop: a timer of
/// the test's runs there and records the dialog each time (proof that the loop keeps running).
class StageDialogWatch {
   public:
    explicit StageDialogWatch(std::function<void(StageProgressDialog&)> onVisible = {})
        : m_onVisible(std::move(onVisible)) {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { look(); });
        m_timer.start();
    }

    int polls = 0;
    bool sawDialog = false;
    QStringList stages;
    QString label;

   private:
    void look() {
        ++polls;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<StageProgressDialog*>(window);
            if (!dialog || !dialog->isVisible()) continue;
            sawDialog = true;
            stages = dialog->stagesShown();
            if (!dialog->cancelRequested()) label = dialog->labelText();
            if (m_onVisible) m_onVisible(*dialog);
        }
    }

    QTimer m_timer;
    std::function<void(StageProgressDialog&)> m_onVisible;
};

/// Pixels of two images of one size that differ by more than rounding in some channel.
int differingPixels(const QImage& a, const QImage& b) {
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            count +=
                colourNear(a.pixel(x, y), qRed(b.pixel(x, y)), qGreen(b.pixel(x, y)), qBlue(b.pixel(x, y)), 8) ? 0 : 1;
    return count;
}

/// Slows each stage of the staged work down while it lives.
class StagePause {
   public:
    explicit StagePause(int milliseconds) { setStagePauseForTests(milliseconds); }
    ~StagePause() { setStagePauseForTests(0); }
};

}  // namespace

TEST_F(GuiFixture, ASlowOpenShowsItsStagesAndCancelKeepsTheModelItsBeatAndItsWork) {
    writeCubeModel("ModelB");
    start();
    ASSERT_NE(manager().model(), nullptr);
    const std::string slow = writeCubeModel("slow");
    const std::string other = writeCubeModel("other");

    // A slow but complete open: the dialog comes, names each stage as the load enters it, and the
    // new model replaces the old one.
    {
        StagePause pause(400);
        StageDialogWatch watch;
        ASSERT_TRUE(m_frame->loadModelFile(QString::fromStdString(slow + ".ele")));
        EXPECT_TRUE(watch.sawDialog);
        EXPECT_EQ(watch.stages, (QStringList{"reading", "surface", "fields", "clusters", "fields"}));
        EXPECT_TRUE(watch.label.startsWith(QStringLiteral("Opening slow: "))) << watch.label.toStdString();
    }
    ASSERT_NE(manager().model(), nullptr);
    EXPECT_EQ(manager().model()->m_filePath, slow);
    EXPECT_EQ(m_frame->windowTitle(), QStringLiteral("slow - Velmora"));

    // Unsaved work and a running beat on the open model.
    TLSMModel* open = manager().model();
    open->m_iterationN = 7;
    m_frame->unsavedWork().refresh();
    ASSERT_TRUE(m_frame->unsavedWork().isModified());
    QTest::keyClick(m_view, Qt::Key_O);
    ASSERT_TRUE(manager().isTimerOn());
    const QImage drawnBefore = m_view->grabFramebuffer();

    // Cancel during the load: the save question came first (Discard), the view went on drawing,
    // a key meant for the view while the load ran did nothing, and everything stays as it was.
    m_dialogs.saveChoices = {SaveChoice::Discard};
    bool clicked = false, keyPressed = false;
    QImage drawnDuring;
    {
        StagePause pause(1000);
        StageDialogWatch watch([&](StageProgressDialog& dialog) {
            if (!keyPressed) {
                keyPressed = true;
                QTest::keyClick(m_view, Qt::Key_O);  // would stop the beat
                drawnDuring = m_view->grabFramebuffer();
            }
            if (!clicked && dialog.stagesShown().contains(QStringLiteral("surface"))) {
                clicked = true;
                QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
            }
        });
        EXPECT_FALSE(m_frame->loadModelFile(QString::fromStdString(other + ".ele")));
        EXPECT_TRUE(clicked);
        EXPECT_FALSE(watch.stages.contains(QStringLiteral("clusters")));
    }
    EXPECT_EQ(m_dialogs.saveQuestions.size(), 1u);
    EXPECT_EQ(manager().model(), open);
    EXPECT_EQ(open->m_filePath, slow);
    EXPECT_EQ(open->m_iterationN, 7);
    EXPECT_TRUE(m_frame->unsavedWork().isModified());
    EXPECT_EQ(m_frame->windowTitle().left(5), QStringLiteral("slow*"));
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_EQ(m_frame->findAction(QStringLiteral("&1 ") + QString::fromStdString(other)), nullptr);
    // The view drew the open model while the load ran, as it had before (the beat, held during
    // the load, moves it a little).
    ASSERT_FALSE(drawnDuring.isNull());
    ASSERT_EQ(drawnDuring.size(), drawnBefore.size());
    EXPECT_LT(differingPixels(drawnBefore, drawnDuring), drawnBefore.width() * drawnBefore.height() / 20);
    // The beat goes on after the dialog.
    EXPECT_TRUE(manager().isTimerOn());
    const double time = manager().m_time;
    ASSERT_TRUE(waitFor([&] { return manager().m_time > time; }));
    QTest::keyClick(m_view, Qt::Key_O);
    // The Discard chosen for the cancelled open does not hold for the next one.
    m_dialogs.saveChoices = {SaveChoice::Cancel};
    EXPECT_FALSE(m_frame->loadModelFile(QString::fromStdString(other + ".ele")));
    EXPECT_EQ(m_dialogs.saveQuestions.size(), 2u);
    EXPECT_EQ(manager().model(), open);

    // A quick open shows no dialog at all.
    m_dialogs.saveChoices = {SaveChoice::Discard};
    StageDialogWatch quick;
    ASSERT_TRUE(m_frame->loadModelFile(QString::fromStdString(other + ".ele")));
    EXPECT_EQ(manager().model()->m_filePath, other);
    EXPECT_FALSE(quick.sawDialog);
}

TEST_F(GuiFixture, TheLatticeMenuTurnsTheLatticeOnAndOffUndoablyAndTheHeartBeatsOnIt) {
    // 2,197 vertices: room for a coarser lattice of 600.
    testmesh::writeTetGen(testmesh::cube(12), m_dir.file("ModelB"));
    start();
    TLSMModel* model = manager().model();
    ASSERT_NE(model, nullptr);
    ASSERT_EQ(model->vertexCount(), 2197);
    EXPECT_TRUE(m_frame->latticeStatus().isEmpty());
    // Below the suggestion's threshold: the status bar says nothing about a lattice.
    EXPECT_FALSE(m_frame->statusBar()->currentMessage().contains(QStringLiteral("lattice")));
    // A contracting heart: every vertex ventricular, with a chart that squeezes and lets go.
    for (int v = 0; v < model->vertexCount(); ++v) model->m_vtxIsVentriOrAtrium[v] = 1;
    model->m_excitation->m_chartVent = {{0.0, 0.0}, {0.3, 0.9}, {0.6, 0.0}};
    model->m_excitation->m_amplitude = 0.3;
    buildTables(*model->m_excitation);
    m_frame->unsavedWork().refresh();
    const size_t stepsBefore = manager().m_history.undoCount();

    // Cancel in the dialog changes nothing; a lattice no coarser than the model is refused with
    // the reason; On builds the lattice under the stage dialog.
    trigger(QStringLiteral("Simulation lattice..."));
    EXPECT_EQ(model->simulationLatticeTarget(), 0);
    m_dialogs.latticeChoices = {LatticeChoice{LatticeChoice::Kind::On, 5000}};
    trigger(QStringLiteral("Simulation lattice..."));
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_NE(m_dialogs.messages[0].find("not coarser than the model's 2197"), std::string::npos)
        << m_dialogs.messages[0];
    EXPECT_EQ(model->simulationLatticeTarget(), 0);
    EXPECT_EQ(manager().m_history.undoCount(), stepsBefore);
    m_dialogs.messages.clear();
    m_dialogs.latticeChoices = {LatticeChoice{LatticeChoice::Kind::On, 600}};
    trigger(QStringLiteral("Simulation lattice..."));
    ASSERT_EQ(m_dialogs.latticeQuestions.size(), 3u);
    EXPECT_EQ(m_dialogs.latticeQuestions[2], std::make_pair(0, 2197));
    ASSERT_TRUE(m_dialogs.messages.empty()) << m_dialogs.messages[0];
    EXPECT_EQ(manager().model(), model);
    EXPECT_EQ(model->simulationLatticeTarget(), 600);
    const SimulationLattice* lattice = model->simulationLattice();
    ASSERT_NE(lattice, nullptr);
    EXPECT_GT(lattice->vertexCount(), 300);
    EXPECT_LT(lattice->vertexCount(), 1200);
    EXPECT_EQ(m_frame->latticeStatus(), QStringLiteral("lattice %1 vertices").arg(lattice->vertexCount()));
    EXPECT_TRUE(m_frame->unsavedWork().isModified());
    EXPECT_EQ(manager().m_history.undoCount(), stepsBefore + 1);
    EXPECT_EQ(manager().m_history.undoName(), "Simulation lattice");

    // The heart beats on the lattice: the lattice moves and carries every fine vertex with it.
    const std::vector<vec3> rest = model->m_verts;
    QTest::keyClick(m_view, Qt::Key_O);
    ASSERT_TRUE(waitFor([&] { return manager().m_time >= 0.25; }, 20000));
    QTest::keyClick(m_view, Qt::Key_O);
    ASSERT_EQ(model->simulationLattice(), lattice);
    double latticeMoved = 0.0, fineMoved = 0.0;
    for (int v = 0; v < lattice->vertexCount(); ++v)
        latticeMoved = std::max(latticeMoved, (lattice->m_positions[v] - lattice->restPositions()[v]).norm());
    bool finite = true;
    for (size_t i = 0; i < rest.size(); ++i) {
        fineMoved = std::max(fineMoved, (model->m_verts[i] - rest[i]).norm());
        finite = finite && std::isfinite(model->m_verts[i].x + model->m_verts[i].y + model->m_verts[i].z);
    }
    EXPECT_GT(latticeMoved, 0.01);
    EXPECT_GT(fineMoved, 0.01);
    EXPECT_TRUE(finite);

    // Undo asks for no lattice again, redo builds it again (from the cache beside the model).
    ASSERT_TRUE(m_frame->unsavedWork().undo());
    EXPECT_EQ(model->simulationLatticeTarget(), 0);
    EXPECT_EQ(model->simulationLattice(), nullptr);
    EXPECT_TRUE(m_frame->latticeStatus().isEmpty());
    ASSERT_TRUE(m_frame->unsavedWork().redo());
    EXPECT_EQ(model->simulationLatticeTarget(), 600);
    ASSERT_NE(model->simulationLattice(), nullptr);
    EXPECT_TRUE(model->simulationLattice()->reusedCache());
    EXPECT_EQ(m_frame->latticeStatus(),
              QStringLiteral("lattice %1 vertices").arg(model->simulationLattice()->vertexCount()));

    // Off: full resolution again, and the beat still moves the heart.
    m_dialogs.latticeChoices = {LatticeChoice{LatticeChoice::Kind::Off, 0}};
    trigger(QStringLiteral("Simulation lattice..."));
    EXPECT_EQ(m_dialogs.latticeQuestions.back(), std::make_pair(600, 2197));
    EXPECT_EQ(model->simulationLatticeTarget(), 0);
    EXPECT_EQ(model->simulationLattice(), nullptr);
    EXPECT_TRUE(m_frame->latticeStatus().isEmpty());
    const std::vector<vec3> before = model->m_verts;
    const double time = manager().m_time;
    QTest::keyClick(m_view, Qt::Key_O);
    ASSERT_TRUE(waitFor([&] { return manager().m_time >= time + 0.1; }, 20000));
    QTest::keyClick(m_view, Qt::Key_O);
    double moved = 0.0;
    for (size_t i = 0; i < before.size(); ++i) moved = std::max(moved, (model->m_verts[i] - before[i]).norm());
    EXPECT_GT(moved, 0.001);
    EXPECT_TRUE(m_dialogs.messages.empty());
}

TEST_F(GuiFixture, TheLatticeDialogOffersOnlyLatticesCoarserThanTheModel) {
    // A big model without a lattice: Off chosen, 20,000 offered; typing a count turns On.
    LatticeDialog big(0, 212074, nullptr);
    EXPECT_TRUE(big.offButton()->isChecked());
    EXPECT_EQ(big.verticesBox()->value(), kWindowLatticeDefaultVertices);
    EXPECT_EQ(big.verticesBox()->maximum(), kWindowLatticeMaxVertices);
    EXPECT_EQ(big.choice().kind, LatticeChoice::Kind::Off);
    big.verticesBox()->setValue(30000);
    EXPECT_EQ(big.choice().kind, LatticeChoice::Kind::On);
    EXPECT_EQ(big.choice().vertices, 30000);
    big.verticesBox()->setValue(900000);
    EXPECT_EQ(big.choice().vertices, kWindowLatticeMaxVertices);

    // The count in force is shown; the largest offer stays below the model's own count.
    LatticeDialog small(1500, 2197, nullptr);
    EXPECT_TRUE(small.onButton()->isChecked());
    EXPECT_EQ(small.choice().vertices, 1500);
    EXPECT_EQ(small.verticesBox()->maximum(), 2196);
    EXPECT_EQ(small.verticesBox()->minimum(), kWindowLatticeMinVertices);

    // Too small for any lattice: only Off.
    LatticeDialog tiny(0, 400, nullptr);
    EXPECT_FALSE(tiny.onButton()->isEnabled());
    EXPECT_EQ(tiny.choice().kind, LatticeChoice::Kind::Off);
}

TEST_F(GuiFixture, AProjectMessageOfALoadShowsOnceTheModelIsOpenAndGoesWithACancel) {
    writeCubeModel("ModelB");
    start();
    // A project file written for another mesh: the load refuses it and says so.
    const std::string other = writeCubeModel("other");
    {
        DiagCapture quiet;
        TLSMModel four;
        testmesh::writeTetGen(testmesh::cube(4), m_dir.file("four"));
        ASSERT_TRUE(four.loadModel(m_dir.file("four")));
        std::string error;
        ASSERT_TRUE(saveProjectTo(four, other + ".vm", error)) << error;
    }
    ASSERT_TRUE(m_frame->loadModelFile(QString::fromStdString(other + ".ele")));
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_dialogs.messages[0].rfind("error vm file is not muched to the tetra mesh", 0), 0u);
    EXPECT_EQ(manager().model()->m_filePath, other);

    // The same load cancelled after the project file was read: its message goes with it.
    const TLSMModel* open = manager().model();
    {
        StagePause pause(1000);
        StageDialogWatch watch([](StageProgressDialog& dialog) {
            if (dialog.stagesShown().contains(QStringLiteral("clusters")) && !dialog.cancelRequested())
                QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
        });
        EXPECT_FALSE(m_frame->loadModelFile(QString::fromStdString(other + ".ele")));
    }
    EXPECT_EQ(manager().model(), open);
    EXPECT_EQ(m_dialogs.messages.size(), 1u);
}
