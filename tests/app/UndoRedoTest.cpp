// Undo and redo in the window, the unsaved mark, the question before work is dropped, and the
// autosave offered again after the program was stopped without saving.
#include <signal.h>

#include <QAction>
#include <QCoreApplication>
#include <QProcess>
#include <QSpinBox>
#include <QStatusBar>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "PaintFixture.h"
#include "app/DlgStdInteraction.h"
#include "app/UnsavedWork.h"
#include "interaction/ChartEditing.h"
#include "interaction/TStateStdInteraction.h"
#include "model/Autosave.h"
#include "model/UndoHistory.h"

namespace {

class UndoRedoTest : public PaintModeTest {
   protected:
    std::string text() { return projectTextOf(model()); }
    std::string base() { return m_dir.file("ModelB"); }
    bool titleMarked() { return m_frame->windowTitle().startsWith(QStringLiteral("ModelB*")); }

    /// Phase constraints, an orientation stroke and a ventricle label, each one gesture.
    void authorThreeSteps() {
        chooseTool(PaintTool::PHASE_1);
        const QPoint p = pixelOf(vec3(2, 2, 5));
        press(p, Qt::ShiftModifier);
        release(p);
        chooseTool(PaintTool::ORIENT);
        drag(pixelOf(vec3(-4, -3, 5)), pixelOf(vec3(4, 3, 5)), Qt::ShiftModifier, 12);
        chooseTool(PaintTool::SEG_VENT);
        drag(pixelOf(vec3(-8, 8, 5)), pixelOf(vec3(0.8, -8, 5)), Qt::AltModifier, 6);
    }
    void key(Qt::Key k, Qt::KeyboardModifiers modifiers) {
        QTest::keyClick(m_view, k, modifiers);
        QApplication::processEvents();
    }
};

TEST_F(UndoRedoTest, ThreeGesturesUndoneWithCtrlZAndRedoneWithCtrlShiftZGiveTheFilesBack) {
    startOn(testmesh::cube(3));
    const std::string before = text();
    EXPECT_FALSE(titleMarked());
    EXPECT_FALSE(m_frame->unsavedWork().undoAction()->isEnabled());

    authorThreeSteps();
    const std::string after = text();
    ASSERT_NE(after, before);
    ASSERT_EQ(model().m_phaseField.m_constraints.size(), 1u);
    ASSERT_EQ(model().m_orienField.m_strokes.size(), 1u);
    EXPECT_TRUE(titleMarked());
    QAction* undo = m_frame->unsavedWork().undoAction();
    EXPECT_TRUE(undo->isEnabled());
    EXPECT_EQ(undo->text(), QStringLiteral("&Undo Label ventricles"));
    EXPECT_EQ(manager().m_history.undoCount(), 3u);

    // Undo is refused while a gesture is under way.
    press(pixelOf(vec3(2, 2, 5)), Qt::NoModifier);
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_FALSE(m_frame->unsavedWork().undo());
    release(pixelOf(vec3(2, 2, 5)));
    EXPECT_TRUE(undo->isEnabled());

    for (const char* name : {"Label ventricles", "Orientation stroke", "Phase constraints"}) {
        EXPECT_EQ(manager().m_history.undoName(), name);
        key(Qt::Key_Z, Qt::ControlModifier);
    }
    EXPECT_EQ(text(), before);
    EXPECT_TRUE(model().m_phaseField.m_constraints.empty());
    EXPECT_FALSE(undo->isEnabled());
    EXPECT_FALSE(titleMarked());
    // The saved project is the one before.
    ASSERT_TRUE(saveProject(model()));
    EXPECT_EQ(testfiles::readText(base() + ".vm"), before);

    key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    key(Qt::Key_Y, Qt::ControlModifier);
    key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(text(), after);
    EXPECT_FALSE(m_frame->unsavedWork().redoAction()->isEnabled());
    ASSERT_TRUE(saveProject(model()));
    EXPECT_EQ(testfiles::readText(base() + ".vm"), after);
}

TEST_F(UndoRedoTest, ChartDragAndDialogSettingUndoAndTheDialogShowsTheRestoredValues) {
    startOn(testmesh::cube(3));
    trigger(QStringLiteral("Standard manipulation"));
    ASSERT_EQ(core().m_mode, 2);
    const std::string before = text();
    TStateStdInteraction& standard = TStateStdInteraction::getInstance();
    auto overlayPixel = [&](double t, double v) {
        const ChartXY p = chartToFrame(standard.m_chartPos, standard.m_chartSize, t, v);
        return QPoint(static_cast<int>(std::lround((p.x + 1.0) / 2.0 * ogl().m_viewWidth)),
                      static_cast<int>(std::lround((1.0 - p.y) / 2.0 * ogl().m_viewHeight)));
    };
    drag(overlayPixel(0.3, 0.5), overlayPixel(0.5, 0.8), Qt::NoModifier, 4);
    ASSERT_EQ(model().m_excitation->m_chartVent.size(), 2u);
    EXPECT_EQ(manager().m_history.undoName(), "Ventricle chart");
    const std::string charted = text();

    auto* dialog = dynamic_cast<DlgStdInteraction*>(core().m_dlgStdInteraction.get());
    ASSERT_NE(dialog, nullptr);
    const int stiffness = dialog->m_stiffSpin->value();
    dialog->m_stiffSpin->setValue(stiffness + 5);
    ASSERT_EQ(model().m_iterationN, stiffness + 5);
    ASSERT_TRUE(waitFor([this] { return manager().m_history.undoName() == "Global settings"; }));

    ASSERT_TRUE(m_frame->unsavedWork().undo());
    EXPECT_EQ(model().m_iterationN, stiffness);
    EXPECT_EQ(dialog->m_stiffSpin->value(), stiffness);
    EXPECT_EQ(text(), charted);
    ASSERT_TRUE(m_frame->unsavedWork().undo());
    EXPECT_EQ(text(), before);
    EXPECT_EQ(model().m_excitation->m_chartVent.size(), 1u);
    // The contraction tables follow the restored chart.
    EXPECT_DOUBLE_EQ(model().m_excitation->m_tableVent[49].x,
                     1.0 - evalChart(model().m_excitation->m_chartVent, 49 / 99.0) * model().m_excitation->m_amplitude);
    ASSERT_TRUE(m_frame->unsavedWork().redo());
    EXPECT_EQ(text(), charted);
}

TEST_F(UndoRedoTest, DialogCommandsAreStepsAndLoadingAnotherModelClearsTheHistory) {
    startOn(testmesh::cube(3));
    chooseTool(PaintTool::PHASE_1);
    const QPoint p = pixelOf(vec3(2, 2, 5));
    press(p, Qt::ShiftModifier);
    release(p);
    const std::string painted = text();
    m_dialogs.yesNoAnswers = {true};
    clickButton("Init Phase Shift Field");
    EXPECT_TRUE(model().m_phaseField.m_constraints.empty());
    EXPECT_EQ(manager().m_history.undoName(), "Init Phase Shift Field");
    const std::vector<double> solved = model().m_phaseField.m_value;
    ASSERT_TRUE(m_frame->unsavedWork().undo());
    EXPECT_EQ(text(), painted);
    EXPECT_GT(*std::max_element(model().m_phaseField.m_value.begin(), model().m_phaseField.m_value.end()), 0.9);

    // A change of the standard dialog's settings is committed within a second, as its own step.
    model().m_iterationN = 7;
    ASSERT_TRUE(waitFor([this] { return manager().m_history.undoName() == "Global settings"; }));

    m_dialogs.saveChoices = {SaveChoice::Discard};
    const std::string other = writeCubeModel("Other");
    ASSERT_TRUE(m_frame->loadModelBase(QString::fromStdString(other)));
    EXPECT_EQ(m_dialogs.saveQuestions.size(), 1u);
    EXPECT_FALSE(manager().m_history.canUndo());
    EXPECT_FALSE(manager().m_history.canRedo());
    EXPECT_FALSE(titleMarked());
    EXPECT_FALSE(testfiles::exists(base() + ".vm")) << "Discard writes nothing";
}

TEST_F(UndoRedoTest, ClosingAsksToSaveAndCancelKeepsTheWindowAndTheWork) {
    startOn(testmesh::cube(3));
    chooseTool(PaintTool::PHASE_0);
    const QPoint p = pixelOf(vec3(-2, 2, 5));
    press(p, Qt::ShiftModifier);
    release(p);
    const std::string edited = text();
    EXPECT_TRUE(titleMarked());

    m_dialogs.saveChoices = {SaveChoice::Cancel};
    EXPECT_FALSE(m_frame->close());
    ASSERT_EQ(m_dialogs.saveQuestions.size(), 1u);
    EXPECT_NE(m_dialogs.saveQuestions[0].find("ModelB"), std::string::npos);
    EXPECT_TRUE(m_frame->isVisible());
    EXPECT_EQ(text(), edited);

    // Save fails when the file cannot be written: the window stays.
    std::filesystem::create_directory(base() + ".vm");
    m_dialogs.saveChoices = {SaveChoice::Save};
    const size_t messages = m_dialogs.messages.size();
    EXPECT_FALSE(m_frame->close());
    EXPECT_EQ(m_dialogs.messages.size(), messages + 1);
    EXPECT_TRUE(m_frame->isVisible());
    std::filesystem::remove(base() + ".vm");

    ASSERT_TRUE(m_frame->unsavedWork().autosaveNow());
    EXPECT_TRUE(testfiles::exists(autosavePathOf(base())));
    m_dialogs.saveChoices = {SaveChoice::Save};
    EXPECT_TRUE(m_frame->close());
    EXPECT_EQ(testfiles::readText(base() + ".vm"), edited);
    EXPECT_FALSE(testfiles::exists(autosavePathOf(base()))) << "saved work needs no autosave";
}

TEST_F(UndoRedoTest, WorkLeftUnsavedIsOfferedFromTheAutosaveAtTheNextStart) {
    startOn(testmesh::cube(3));
    const std::string original = text();
    chooseTool(PaintTool::SEG_VENT);
    drag(pixelOf(vec3(-8, 8, 5)), pixelOf(vec3(0.8, -8, 5)), Qt::AltModifier, 6);
    const std::string edited = text();
    ASSERT_NE(edited, original);
    EXPECT_TRUE(m_frame->unsavedWork().autosaveNow());
    EXPECT_FALSE(m_frame->unsavedWork().autosaveNow()) << "an unchanged project is written once";
    ASSERT_TRUE(testfiles::exists(autosavePathOf(base())));
    stop();  // as if the program had been killed: nothing asked, nothing saved

    m_dialogs.yesNoAnswers = {false};
    start();
    ASSERT_EQ(m_dialogs.questions.size(), 1u);
    EXPECT_NE(m_dialogs.questions[0].find("ModelB.vm.autosave"), std::string::npos);
    EXPECT_EQ(text(), original);
    stop();

    m_dialogs.yesNoAnswers = {true};
    start();
    EXPECT_EQ(text(), edited);
    EXPECT_TRUE(titleMarked());
    EXPECT_EQ(manager().m_history.undoName(), "Restore autosaved work");
    ASSERT_TRUE(m_frame->unsavedWork().undo());
    EXPECT_EQ(text(), original);
    EXPECT_FALSE(titleMarked());
    EXPECT_TRUE(testfiles::exists(autosavePathOf(base()))) << "written by the previous session";

    // Work autosaved in this session and then undone back to the file needs no offer next time.
    ASSERT_TRUE(m_frame->unsavedWork().redo());
    ASSERT_TRUE(m_frame->unsavedWork().autosaveNow());
    ASSERT_TRUE(m_frame->unsavedWork().undo());
    EXPECT_FALSE(testfiles::exists(autosavePathOf(base())));
}

TEST_F(UndoRedoTest, AFailedAutosaveIsNotedOnceInTheStatusBarAndTheUsersFolderTakesTheNextOne) {
    startOn(testmesh::cube(3));
    const std::string fallbackBefore = autosaveFallbackFolder();
    // Neither place can be written, even by root: a folder stands where the autosave beside the
    // model would go, and the user's folder would have to be made inside a file.
    std::filesystem::create_directory(autosavePathOf(base()));
    setAutosaveFallbackFolder("/dev/null/velmora");
    chooseTool(PaintTool::SEG_VENT);
    drag(pixelOf(vec3(-8, 8, 5)), pixelOf(vec3(0.8, -8, 5)), Qt::AltModifier, 6);
    const std::string edited = text();
    const size_t messages = m_dialogs.messages.size();
    EXPECT_FALSE(m_frame->unsavedWork().autosaveNow());
    const QString note = m_frame->statusBar()->currentMessage();
    EXPECT_TRUE(note.startsWith(QStringLiteral("Autosave failed: "))) << note.toStdString();
    EXPECT_TRUE(note.contains(QStringLiteral("/dev/null/velmora"))) << note.toStdString();
    EXPECT_EQ(m_dialogs.messages.size(), messages) << "no box";

    m_frame->statusBar()->clearMessage();
    model().m_iterationN = 7;
    m_frame->unsavedWork().refresh();
    EXPECT_FALSE(m_frame->unsavedWork().autosaveNow());
    EXPECT_TRUE(m_frame->statusBar()->currentMessage().isEmpty()) << "told once a session";

    // With the user's folder writable the work goes there, and the next start offers it from there.
    testfiles::TempDir appData;
    setAutosaveFallbackFolder(appData.file("velmora"));
    ASSERT_TRUE(m_frame->unsavedWork().autosaveNow());
    const std::string fallback = fallbackAutosavePathOf(base());
    ASSERT_TRUE(testfiles::exists(fallback));
    const std::string autosaved = text();
    stop();
    m_dialogs.yesNoAnswers = {true};
    start();
    ASSERT_EQ(m_dialogs.questions.size(), 1u);
    EXPECT_NE(m_dialogs.questions[0].find(fallback), std::string::npos) << m_dialogs.questions[0];
    EXPECT_EQ(text(), autosaved);
    EXPECT_NE(autosaved, edited);
    setAutosaveFallbackFolder(fallbackBefore);
}

/// The killed program of the next test: run by that test as a separate process with
/// VELMORA_KILLED_PROGRAM_DIR set (skipped otherwise). It opens the model there, authors three steps,
/// autosaves on a short interval, writes the edited project text to edited.txt and waits to be killed.
TEST_F(UndoRedoTest, KilledProgramAuthorsAndWaits) {
    const char* dir = std::getenv("VELMORA_KILLED_PROGRAM_DIR");
    if (!dir) GTEST_SKIP() << "run by AutosavedWorkOfAKilledProgramIsOfferedAtTheNextStart";
    QDir::setCurrent(QString::fromLocal8Bit(dir));
    start();
    ASSERT_NE(manager().model(), nullptr);
    enterPaintMode();
    authorThreeSteps();
    m_frame->unsavedWork().setAutosaveInterval(100);
    const std::string base = std::string(dir) + "/ModelB";
    ASSERT_TRUE(waitFor([&] { return testfiles::exists(autosavePathOf(base)); }, 20000));
    std::ofstream(std::string(dir) + "/edited.tmp") << text();
    std::filesystem::rename(std::string(dir) + "/edited.tmp", std::string(dir) + "/edited.txt");
    QTest::qWait(120000);
}

TEST_F(UndoRedoTest, AutosavedWorkOfAKilledProgramIsOfferedAtTheNextStart) {
    testmesh::writeTetGen(testmesh::cube(3), base());
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELMORA_KILLED_PROGRAM_DIR"), QString::fromStdString(m_dir.path()));
    program.setProcessEnvironment(environment);
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(QCoreApplication::applicationFilePath(),
                  {QStringLiteral("--gtest_filter=UndoRedoTest.KilledProgramAuthorsAndWaits")});
    ASSERT_TRUE(program.waitForStarted());
    const std::string edited = m_dir.file("edited.txt");
    ASSERT_TRUE(waitFor([&] { return testfiles::exists(edited) || program.state() == QProcess::NotRunning; }, 60000));
    ASSERT_TRUE(testfiles::exists(edited)) << "the program ended before its work was autosaved";
    ::kill(static_cast<pid_t>(program.processId()), SIGKILL);
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitStatus(), QProcess::CrashExit);
    std::ostringstream editedText;
    editedText << std::ifstream(edited).rdbuf();

    m_dialogs.yesNoAnswers = {true};
    start();
    ASSERT_EQ(m_dialogs.questions.size(), 1u);
    EXPECT_NE(m_dialogs.questions[0].find("ModelB.vm.autosave"), std::string::npos);
    EXPECT_EQ(text(), editedText.str()) << "the restored project is the killed program's work";
    EXPECT_TRUE(titleMarked());
}

}  // namespace
