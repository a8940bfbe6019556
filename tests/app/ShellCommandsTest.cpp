// Commands of the main window and the view: the load command's extension rule, dropped files, the
// key table with the beat timer, and mouse forwarding with the stereo correction.
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>

#include "../interaction/RecordingState.h"
#include "GuiFixture.h"
#include "app/UnsavedWork.h"
#include "linalg/Diagnostics.h"
#include "model/Autosave.h"
#include "model/ProjectFile.h"
#include "render/TOGL.h"

namespace {

/// The standard dialog's chart editor prints "#" each time it paints, which the refresh after a
/// key may trigger; the key table's own output is what remains without them.
std::string withoutChartPaintMarks(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), '#'), text.end());
    return text;
}

/// Drags files over the window and drops them; returns whether the window accepted the drag.
bool dropFiles(QWidget* window, const QStringList& paths) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& p : paths) urls.append(QUrl::fromLocalFile(p));
    mime.setUrls(urls);
    const QPointF at(window->width() / 2.0, window->height() / 2.0);
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &drop);
    return true;
}

}  // namespace

TEST_F(GuiFixture, LoadCommandRefusesOtherExtensionsCaseSensitivelyAndKeepsTheModel) {
    writeCubeModel("ModelB");
    start();
    ASSERT_NE(manager().model(), nullptr);
    const TLSMModel* before = manager().model();

    // model.ELE exists with the right content, but only the lower-case extension is accepted.
    const std::string upper = writeCubeModel("model");
    std::rename((upper + ".ele").c_str(), (upper + ".ELE").c_str());
    m_dialogs.fileAnswers.push_back(upper + ".ELE");
    trigger(QStringLiteral("Load heat tetra model (.ele/.vm)"));
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_dialogs.messages[0], "Please set *ele or *prcdf!");
    EXPECT_EQ(manager().model(), before);

    // Cancelling the chooser does nothing.
    trigger(QStringLiteral("Load heat tetra model (.ele/.vm)"));
    EXPECT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(manager().model(), before);

    // heart.vm loads from the base path heart.
    const std::string heart = writeCubeModel("heart");
    m_dialogs.fileAnswers.push_back(heart + ".vm");
    trigger(QStringLiteral("Load heat tetra model (.ele/.vm)"));
    ASSERT_NE(manager().model(), nullptr);
    EXPECT_EQ(manager().model()->m_filePath, heart);
    EXPECT_EQ(m_dialogs.messages.size(), 1u);
}

TEST_F(GuiFixture, ARefusedMeshShowsTheReadersReasonUnderTheLoadFailure) {
    writeCubeModel("ModelB");
    start();
    ASSERT_TRUE(m_dialogs.messages.empty());

    // The third line names a corner the five vertices do not have.
    const std::string broken = m_dir.file("broken");
    testfiles::writeText(broken + ".node", "5 3 0 0\n0 0 0 0\n1 1 0 0\n2 0 1 0\n3 0 0 1\n4 1 1 1\n");
    testfiles::writeText(broken + ".ele", "2 4 0\n0 0 1 2 3\n1 4 1 3 99\n");
    m_dialogs.fileAnswers.push_back(broken + ".ele");
    const TLSMModel* modelB = manager().model();
    ASSERT_NE(modelB, nullptr);
    trigger(QStringLiteral("Load heat tetra model (.ele/.vm)"));
    // A failed open keeps the model that was open.
    EXPECT_EQ(manager().model(), modelB);
    EXPECT_EQ(m_frame->windowTitle(), QStringLiteral("ModelB - Velmora"));
    ASSERT_EQ(m_dialogs.messages, std::vector<std::string>{"the file is not exist"});
    ASSERT_EQ(m_dialogs.reasons.size(), 1u);
    EXPECT_EQ(m_dialogs.reasons[0].first, "the file is not exist");
    EXPECT_EQ(m_dialogs.reasons[0].second, "loadTetMesh: corner index 99 out of range (" + broken + ".ele:3)");

    // Without its .ele the reason names the missing file.
    std::remove((broken + ".ele").c_str());
    ASSERT_TRUE(m_frame->loadModelFile(QString::fromStdString(writeCubeModel("heart") + ".ele")));
    EXPECT_FALSE(m_frame->loadModelFile(QString::fromStdString(broken + ".vm")));
    ASSERT_EQ(m_dialogs.reasons.size(), 2u);
    EXPECT_EQ(m_dialogs.reasons[1].second, "Could not open file: " + broken + ".ele");

    // A pair that reads but holds no mesh gets the same box (it once crashed the simulator's set-up).
    testfiles::writeText(broken + ".node", "0 3 0 0\n");
    testfiles::writeText(broken + ".ele", "0 4 0\n");
    EXPECT_FALSE(m_frame->loadModelFile(QString::fromStdString(broken + ".ele")));
    ASSERT_NE(manager().model(), nullptr);
    EXPECT_EQ(manager().model()->m_filePath, m_dir.file("heart"));
    ASSERT_EQ(m_dialogs.reasons.size(), 3u);
    EXPECT_EQ(m_dialogs.reasons[2].first, "the file is not exist");
    EXPECT_EQ(m_dialogs.reasons[2].second, "loadModel: " + broken + ".node holds no vertices: the mesh is empty");

    // The message boxes show the reason on the line below the message.
    struct ShownText : ScriptedUserDialogs {
        void showMessageWithReason(const std::string& text, const std::string& reason) override {
            UserDialogs::showMessageWithReason(text, reason);
        }
    } shown;
    shown.showMessageWithReason("the file is not exist", "Could not open file: x.ele");
    shown.showMessageWithReason("Import failed", "");
    EXPECT_EQ(shown.messages,
              (std::vector<std::string>{"the file is not exist\nCould not open file: x.ele", "Import failed"}));
}

TEST_F(GuiFixture, ADroppedEleOrVmFileIsLoadedAndOtherFilesAreNotAccepted) {
    start();
    m_dialogs.messages.clear();
    const std::string base = writeCubeModel("dropped");
    testfiles::writeText(m_dir.file("notes.txt"), "not a model\n");

    EXPECT_FALSE(dropFiles(m_frame, {QString::fromStdString(m_dir.file("notes.txt"))}));
    EXPECT_EQ(manager().model(), nullptr);

    EXPECT_TRUE(
        dropFiles(m_frame, {QString::fromStdString(m_dir.file("notes.txt")), QString::fromStdString(base + ".ele")}));
    ASSERT_NE(manager().model(), nullptr);
    EXPECT_EQ(manager().model()->m_filePath, base);
    EXPECT_TRUE(m_dialogs.messages.empty());
}

TEST_F(GuiFixture, KeyOStartsAndStopsTheBeatAndEachTickAdvancesTimeByOneHundredth) {
    writeCubeModel("ModelB");
    start();
    ASSERT_NE(manager().model(), nullptr);
    const std::vector<vec3> restPositions = manager().model()->m_verts;
    EXPECT_DOUBLE_EQ(manager().m_time, 0.0);

    QTest::keyClick(m_view, Qt::Key_O);
    EXPECT_TRUE(manager().m_timerOn);
    EXPECT_TRUE(m_app->host().isTimerActive());
    EXPECT_EQ(m_app->host().timerInterval(), 5);
    ASSERT_TRUE(waitFor([&] { return manager().m_time >= 0.095; }, 10000));

    QTest::keyClick(m_view, Qt::Key_O);
    EXPECT_FALSE(manager().m_timerOn);
    EXPECT_FALSE(m_app->host().isTimerActive());
    const double stoppedAt = manager().m_time;
    const double ticks = stoppedAt / manager().m_dt;
    EXPECT_NEAR(ticks, std::round(ticks), 1e-6) << "time " << stoppedAt << " is not a whole number of steps";
    EXPECT_LT(stoppedAt, 1.0);  // no wrap yet with the default cycle of 1.0
    QTest::qWait(60);
    EXPECT_EQ(manager().m_time, stoppedAt);
    // Every tick ran the simulator on the model.
    EXPECT_EQ(manager().model()->m_verts.size(), restPositions.size());
}

TEST_F(GuiFixture, DisplayKeysToggleTheirSwitchesAndModelKeysActOnlyWithAModel) {
    start();
    struct KeyFlag {
        Qt::Key key;
        bool MainWindowManager::*flag;
    };
    const KeyFlag table[] = {
        {Qt::Key_3, &MainWindowManager::m_bShowMesh},    {Qt::Key_4, &MainWindowManager::m_bShowVertices},
        {Qt::Key_5, &MainWindowManager::m_bShowRooms},   {Qt::Key_6, &MainWindowManager::m_bShowFibAtri},
        {Qt::Key_7, &MainWindowManager::m_bShowFibVent}, {Qt::Key_8, &MainWindowManager::m_bShowConstraints},
        {Qt::Key_9, &MainWindowManager::m_bShowFib2},    {Qt::Key_0, &MainWindowManager::m_bShowFib3}};
    for (const KeyFlag& k : table) {
        EXPECT_FALSE(manager().*(k.flag));
        QTest::keyClick(m_view, k.key);
        EXPECT_TRUE(manager().*(k.flag)) << "key " << k.key;
        for (const KeyFlag& other : table) {
            if (other.flag != k.flag) {
                EXPECT_FALSE(manager().*(other.flag)) << "key " << k.key << " touched another";
            }
        }
        QTest::keyClick(m_view, k.key);
        EXPECT_FALSE(manager().*(k.flag));
    }

    // Keypad digits only run the common tail; the key code is printed either way.
    {
        DiagCapture capture;
        QTest::keyClick(m_view, Qt::Key_3, Qt::KeypadModifier);
        EXPECT_FALSE(manager().m_bShowMesh);
        EXPECT_EQ(withoutChartPaintMarks(capture.text()), "99\n");
    }
    {
        DiagCapture capture;
        QTest::keyClick(m_view, Qt::Key_G);  // no model: nothing but the tail
        QTest::keyClick(m_view, Qt::Key_K);
        QTest::keyClick(m_view, Qt::Key_I);
        QTest::keyClick(m_view, Qt::Key_S);
        EXPECT_EQ(withoutChartPaintMarks(capture.text()), "71\n75\n73\n83\n");
    }
    EXPECT_EQ(manager().model(), nullptr);

    ASSERT_TRUE(m_frame->loadModelFile(QString::fromStdString(writeCubeModel("keys") + ".ele")));
    TLSMModel& model = *manager().model();
    model.m_excitation->m_chartVent = {{0.0, 0.2}, {0.5, 1.0}};
    model.m_excitation->m_chartAtri = {{0.0, 0.0}, {0.3, 0.7}};
    buildTables(*model.m_excitation);
    QTest::keyClick(m_view, Qt::Key_G);
    EXPECT_EQ(model.m_excitation->m_chartVent, (TChart{{0.0, 0.0}}));
    EXPECT_EQ(model.m_excitation->m_chartAtri, (TChart{{0.0, 0.0}}));
    EXPECT_DOUBLE_EQ(model.m_excitation->m_tableVent[50].x, 1.0);  // a flat chart contracts nothing

    std::fill(model.m_ampliField.m_value.begin(), model.m_ampliField.m_value.end(), 0.25);
    QTest::keyClick(m_view, Qt::Key_K);
    for (double v : model.m_ampliField.m_value) ASSERT_EQ(v, 1.0);

    model.m_verts[5] += vec3(1, 2, 3);
    model.m_fixedVerts[5] = vec3(0, 0, 0);
    manager().m_time = 0.37;
    QTest::keyClick(m_view, Qt::Key_I);
    EXPECT_EQ(model.m_verts[5], model.m_vtxOrigPos[5]);
    EXPECT_TRUE(model.m_fixedVerts.empty());
    EXPECT_DOUBLE_EQ(manager().m_time, 0.37);  // I keeps the playback position
}

TEST_F(GuiFixture, DocumentKeysOpenAModelSaveTheProjectAndNeverActAsThePlainLetters) {
    writeCubeModel("ModelB");
    start();
    ASSERT_NE(manager().model(), nullptr);
    m_view->setFocus();

    // Ctrl+O is the load command: it asks for a model and loads it, and the beat does not start.
    const std::string first = writeCubeModel("first");
    m_dialogs.fileAnswers.push_back(first + ".ele");
    QTest::keyClick(m_view, Qt::Key_O, Qt::ControlModifier);
    ASSERT_EQ(m_dialogs.fileFilters.size(), 1u);
    ASSERT_NE(manager().model(), nullptr);
    EXPECT_EQ(manager().model()->m_filePath, first);
    EXPECT_FALSE(manager().m_timerOn);

    // The same key delivered straight to the view (as when the main window is not the active one
    // and its shortcuts do not apply) is handled alike.
    const std::string second = writeCubeModel("second");
    m_dialogs.fileAnswers.push_back(second + ".ele");
    QKeyEvent ctrlO(QEvent::KeyPress, Qt::Key_O, Qt::ControlModifier, QStringLiteral("\x0f"));
    QApplication::sendEvent(m_view, &ctrlO);
    ASSERT_EQ(m_dialogs.fileFilters.size(), 2u);
    EXPECT_EQ(manager().model()->m_filePath, second);
    EXPECT_FALSE(manager().m_timerOn);

    // Ctrl+S saves the project file next to the model, as S does.
    QTest::keyClick(m_view, Qt::Key_S, Qt::ControlModifier);
    EXPECT_TRUE(testfiles::exists(second + ".vm"));
    EXPECT_EQ(
        m_dialogs.countMessages("the system save current Control Fields and Deformation Charts in" + second + ".vm"),
        1);

    // Ctrl+N and Ctrl+P do nothing; N alone puts the camera back to the remembered position.
    TOGL& camera = *core().m_ogl;
    camera.m_eye = vec3(1, 2, 3);
    QTest::keyClick(m_view, Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(m_view, Qt::Key_P, Qt::ControlModifier);
    EXPECT_EQ(camera.m_eye, vec3(1, 2, 3));
    EXPECT_EQ(m_dialogs.fileFilters.size(), 2u);
    QTest::keyClick(m_view, Qt::Key_N);
    EXPECT_NE(camera.m_eye, vec3(1, 2, 3));
}

TEST_F(GuiFixture, AHalfReadProjectIsOverwrittenOnlyAfterTheUserSaysYes) {
    const std::string base = writeCubeModel("ModelB");
    start();
    QTest::keyClick(m_view, Qt::Key_S);
    const std::string whole = testfiles::readText(base + ".vm");
    stop();
    // The file cut in half, and an older autosave of the whole work beside it.
    const std::string half = whole.substr(0, whole.size() / 2);
    testfiles::writeText(autosavePathOf(base), whole);
    testfiles::writeText(base + ".vm", half);
    std::filesystem::last_write_time(autosavePathOf(base),
                                     std::filesystem::last_write_time(base + ".vm") + std::chrono::seconds(5));
    m_dialogs = ScriptedUserDialogs();
    start();
    ASSERT_NE(manager().model(), nullptr);
    ASSERT_EQ(manager().model()->m_projectLoad.status, ProjectLoadResult::Status::Damaged);
    const std::string question =
        "ModelB.vm was not read completely (" + manager().model()->m_projectLoad.message + "); overwrite it?";
    // The restore offer says so; its default (No) keeps what was read.
    ASSERT_EQ(m_dialogs.questions.size(), 1u);
    EXPECT_EQ(m_dialogs.questions[0].rfind("ModelB.vm was not read completely (", 0), 0u) << m_dialogs.questions[0];
    EXPECT_NE(m_dialogs.questions[0].find("Restore the autosaved work?"), std::string::npos);

    // S, Ctrl+S and the Save of the close question ask first; No (the default) writes nothing.
    m_view->setFocus();
    QTest::keyClick(m_view, Qt::Key_S);
    QTest::keyClick(m_view, Qt::Key_S, Qt::ControlModifier);
    manager().model()->m_iterationN = 7;
    m_frame->unsavedWork().refresh();
    m_dialogs.saveChoices = {SaveChoice::Save};
    EXPECT_FALSE(m_frame->close()) << "No to the overwrite counts as Cancel";
    EXPECT_TRUE(m_frame->isVisible());
    EXPECT_EQ(m_dialogs.questions, (std::vector<std::string>{m_dialogs.questions[0], question, question, question}));
    EXPECT_EQ(testfiles::readText(base + ".vm"), half);
    EXPECT_EQ(
        m_dialogs.countMessages("the system save current Control Fields and Deformation Charts in" + base + ".vm"), 0);

    // Yes writes the whole project; later saves of the session ask nothing more.
    m_dialogs.yesNoAnswers = {true};
    QTest::keyClick(m_view, Qt::Key_S);
    EXPECT_EQ(m_dialogs.questions.size(), 5u);
    const std::string saved = testfiles::readText(base + ".vm");
    EXPECT_NE(saved.find("#IterationN 7"), std::string::npos);
    EXPECT_NE(saved.find("#VelmoraSaveFileEnd"), std::string::npos);
    manager().model()->m_iterationN = 8;
    QTest::keyClick(m_view, Qt::Key_S);
    EXPECT_EQ(m_dialogs.questions.size(), 5u);
    EXPECT_NE(testfiles::readText(base + ".vm").find("#IterationN 8"), std::string::npos);
}

TEST_F(GuiFixture, MouseEventsReachTheModeWithTheStereoCorrection) {
    start();
    RecordingState recorder;
    TState* previous = core().m_state;
    core().m_state = &recorder;
    const int w = m_view->width();
    const int y = m_view->height() / 3;

    QTest::mouseClick(m_view, Qt::LeftButton, Qt::NoModifier, QPoint(w / 2 + 10, y));
    trigger(QStringLiteral("3D Mode"));
    EXPECT_TRUE(core().m_bStereo);
    EXPECT_TRUE(isChecked("3D Mode"));
    QTest::mouseClick(m_view, Qt::LeftButton, Qt::NoModifier, QPoint(w / 2 + 10, y));
    QTest::mouseClick(m_view, Qt::RightButton, Qt::NoModifier, QPoint(w / 2 - 1, y));
    // A double click as the window system delivers it: press, release, double click, release.
    QTest::mouseClick(m_view, Qt::MiddleButton, Qt::NoModifier, QPoint(w - 1, y));
    QTest::mouseDClick(m_view, Qt::MiddleButton, Qt::NoModifier, QPoint(w - 1, y));
    QTest::mouseRelease(m_view, Qt::MiddleButton, Qt::NoModifier, QPoint(w - 1, y));
    trigger(QStringLiteral("3D Mode"));
    EXPECT_FALSE(core().m_bStereo);

    core().m_state = previous;
    const std::string ys = std::to_string(y);
    const std::vector<std::string> lDown = recorder.callsOf("mouseLDown");
    ASSERT_EQ(lDown.size(), 2u);
    EXPECT_EQ(lDown[0], "mouseLDown " + std::to_string(w / 2 + 10) + " " + ys);
    EXPECT_EQ(lDown[1], "mouseLDown 10 " + ys);
    EXPECT_EQ(recorder.callsOf("mouseLUp").back(), "mouseLUp 10 " + ys);
    EXPECT_EQ(recorder.callsOf("mouseRDown").back(), "mouseRDown " + std::to_string(w / 2 - 1) + " " + ys);
    EXPECT_EQ(recorder.callsOf("mouseRUp").size(), 1u);
    EXPECT_EQ(recorder.callsOf("mouseMDown").size(), 1u);
    ASSERT_EQ(recorder.callsOf("mouseMDouble").size(), 1u);
    EXPECT_EQ(recorder.callsOf("mouseMDouble")[0], "mouseMDouble " + std::to_string(w - 1 - w / 2) + " " + ys);
    EXPECT_EQ(recorder.callsOf("mouseMUp").size(), 2u);
    // The view redrew through the mode, twice per frame in stereo.
    EXPECT_FALSE(recorder.callsOf("drawScene").empty());
}

TEST_F(GuiFixture, ModifierKeysAndSpaceAreReportedToTheModesAndSetTheCursor) {
    start();
    m_view->setFocus();
    QTest::keyPress(m_view, Qt::Key_Space);
    EXPECT_TRUE(core().isSpaceDown());
    EXPECT_EQ(m_view->cursor().shape(), Qt::SizeAllCursor);
    QTest::keyPress(m_view, Qt::Key_Shift);
    EXPECT_TRUE(core().isShiftDown());
    EXPECT_EQ(m_view->cursor().shape(), Qt::PointingHandCursor);
    QTest::keyPress(m_view, Qt::Key_Control, Qt::ShiftModifier);
    EXPECT_TRUE(core().isCtrlDown());
    EXPECT_EQ(m_view->cursor().shape(), Qt::CrossCursor);
    QTest::keyRelease(m_view, Qt::Key_Control, Qt::ShiftModifier | Qt::ControlModifier);
    QTest::keyRelease(m_view, Qt::Key_Shift, Qt::ShiftModifier);
    EXPECT_FALSE(core().isCtrlDown());
    EXPECT_FALSE(core().isShiftDown());
    EXPECT_EQ(m_view->cursor().shape(), Qt::SizeAllCursor);
    QTest::keyRelease(m_view, Qt::Key_Space);
    EXPECT_FALSE(core().isSpaceDown());
    EXPECT_EQ(m_view->cursor().shape(), Qt::ArrowCursor);

    // A mouse event carries the modifiers of its moment.
    QTest::mouseMove(m_view, QPoint(20, 20));
    QTest::mousePress(m_view, Qt::LeftButton, Qt::AltModifier, QPoint(20, 20));
    EXPECT_TRUE(core().isAltDown());
    QTest::mouseRelease(m_view, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    EXPECT_FALSE(core().isAltDown());
}

TEST_F(GuiFixture, ClosingTheMainWindowStopsTheBeatAndHidesTheToolDialogs) {
    writeCubeModel("ModelB");
    start();
    trigger(QStringLiteral("Show Volume Viz Dlg"));
    QTest::keyClick(m_view, Qt::Key_O);
    ASSERT_TRUE(m_app->host().isTimerActive());
    EXPECT_TRUE(m_frame->close());
    EXPECT_FALSE(manager().m_timerOn);
    EXPECT_FALSE(m_app->host().isTimerActive());
    EXPECT_FALSE(core().m_dlgStdInteraction->isDialogVisible());
    EXPECT_FALSE(core().m_dlgVolumeViz->isDialogVisible());
    EXPECT_FALSE(core().m_dlgPaintCtrlField->isDialogVisible());
}

TEST_F(GuiFixture, ModalQuestionsPauseTheBeatAndResumeIt) {
    writeCubeModel("ModelB");
    start();
    QTest::keyClick(m_view, Qt::Key_O);
    ASSERT_TRUE(m_app->host().isTimerActive());
    m_app->host().suspendTicks();
    EXPECT_FALSE(m_app->host().isTimerActive());
    const double pausedAt = manager().m_time;
    QTest::qWait(40);
    EXPECT_EQ(manager().m_time, pausedAt);
    m_app->host().resumeTicks();
    EXPECT_TRUE(m_app->host().isTimerActive());

    // Stopped while a question is open: it stays stopped afterwards.
    m_app->host().suspendTicks();
    manager().stopTimer();
    m_app->host().resumeTicks();
    EXPECT_FALSE(m_app->host().isTimerActive());

    // The questions themselves go to the installed answerer.
    m_dialogs.yesNoAnswers.push_back(true);
    EXPECT_TRUE(m_app->host().askYesNo("continue?"));
    EXPECT_FALSE(m_app->host().askYesNo("again?"));
    EXPECT_EQ(m_dialogs.questions, (std::vector<std::string>{"continue?", "again?"}));
}
