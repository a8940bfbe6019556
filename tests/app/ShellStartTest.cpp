// Start-up of the application: initial mode and dialogs, the default and named models, the recent
// list across starts, mode switching and dialog docking.
#include <QRegularExpression>

#include "GuiFixture.h"
#include "interaction/TStatePaintCtrlField.h"
#include "interaction/TStateStdInteraction.h"

TEST_F(GuiFixture, StartsInStandardModeWithTheDefaultModelAndOnlyTheStandardDialogShown) {
    writeCubeModel("ModelB");
    start();
    EXPECT_TRUE(m_dialogs.messages.empty());
    ASSERT_NE(manager().model(), nullptr);
    EXPECT_EQ(manager().model()->vertexCount(), kCubeModelVertices);
    EXPECT_EQ(core().m_mode, 2);
    EXPECT_EQ(core().m_state, &TStateStdInteraction::getInstance());
    EXPECT_TRUE(core().m_dlgStdInteraction->isDialogVisible());
    EXPECT_FALSE(core().m_dlgPaintCtrlField->isDialogVisible());
    EXPECT_FALSE(core().m_dlgVolumeViz->isDialogVisible());
    EXPECT_TRUE(isChecked("Standard manipulation"));
    EXPECT_FALSE(isChecked("Paint control fields"));
    EXPECT_FALSE(isChecked("Back object manipulation"));
    EXPECT_TRUE(isChecked("Show Frames"));
    EXPECT_FALSE(isChecked("3D Mode"));
    EXPECT_EQ(core().m_mainFrame, static_cast<MainFrameWindow*>(m_frame));
    EXPECT_EQ(m_frame->windowTitle(), QStringLiteral("ModelB - Velmora"));
    // The camera starts at the home position the core object sets.
    EXPECT_EQ(core().m_ogl->m_eye, vec3(20, 20, 60));
    EXPECT_EQ(core().m_ogl->m_center, vec3(20, 20, 20));
    // The default model is not a choice of the user's, so the recent list stays empty.
    QAction* placeholder = m_frame->findAction(QStringLiteral("Recent File"));
    ASSERT_NE(placeholder, nullptr);
    EXPECT_FALSE(placeholder->isEnabled());
}

TEST_F(GuiFixture, StartWithoutTheDefaultModelSaysSoOnceAndALaterLoadWorks) {
    start();
    EXPECT_EQ(m_dialogs.countMessages("the file is not exist"), 1);
    EXPECT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(manager().model(), nullptr);
    EXPECT_EQ(m_frame->windowTitle(), QStringLiteral("Velmora"));
    // Without a model the beat cannot start.
    QTest::keyClick(m_view, Qt::Key_O);
    EXPECT_FALSE(manager().m_timerOn);
    EXPECT_FALSE(m_app->host().isTimerActive());

    const std::string base = writeCubeModel("heart");
    m_dialogs.fileAnswers.push_back(base + ".ele");
    trigger(QStringLiteral("Load heat tetra model (.ele/.vm)"));
    ASSERT_EQ(m_dialogs.fileFilters.size(), 1u);
    EXPECT_EQ(m_dialogs.fileFilters[0], "tetra Mesh / Config file (*.ele;*.vm)|*.ele;*.vm||");
    ASSERT_NE(manager().model(), nullptr);
    EXPECT_EQ(manager().model()->vertexCount(), kCubeModelVertices);
    EXPECT_EQ(manager().model()->m_filePath, base);
    EXPECT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_frame->windowTitle(), QStringLiteral("heart - Velmora"));
}

TEST_F(GuiFixture, ModelNamedOnTheCommandLineIsLoadedInsteadOfTheDefault) {
    const std::string base = writeCubeModel("named");
    start({QString::fromStdString(base + ".ele")});
    EXPECT_TRUE(m_dialogs.messages.empty());
    ASSERT_NE(manager().model(), nullptr);
    EXPECT_EQ(manager().model()->m_filePath, base);
    stop();

    // A base path without extension works as well; a missing one is reported like the default.
    start({QString::fromStdString(base)});
    ASSERT_NE(manager().model(), nullptr);
    stop();
    start({QString::fromStdString(m_dir.file("absent.vm"))});
    EXPECT_EQ(m_dialogs.countMessages("the file is not exist"), 1);
    EXPECT_EQ(manager().model(), nullptr);
}

TEST_F(GuiFixture, RecentModelsSurviveARestartAndAVanishedOneIsDropped) {
    start();
    const std::string first = writeCubeModel("first");
    const std::string second = writeCubeModel("second");
    ASSERT_TRUE(m_frame->loadModelFile(QString::fromStdString(first + ".ele")));
    ASSERT_TRUE(m_frame->loadModelFile(QString::fromStdString(second + ".vm")));
    stop();

    start();
    const QString firstEntry = QStringLiteral("&2 ") + QString::fromStdString(first);
    const QString secondEntry = QStringLiteral("&1 ") + QString::fromStdString(second);
    ASSERT_NE(m_frame->findAction(secondEntry), nullptr);
    ASSERT_NE(m_frame->findAction(firstEntry), nullptr);
    trigger(firstEntry);
    ASSERT_NE(manager().model(), nullptr);
    EXPECT_EQ(manager().model()->m_filePath, first);
    // Now first is the most recent.
    EXPECT_NE(m_frame->findAction(QStringLiteral("&1 ") + QString::fromStdString(first)), nullptr);

    std::remove((second + ".node").c_str());
    std::remove((second + ".ele").c_str());
    const size_t messagesBefore = m_dialogs.messages.size();
    trigger(QStringLiteral("&2 ") + QString::fromStdString(second));
    EXPECT_EQ(m_dialogs.messages.size(), messagesBefore + 1);
    EXPECT_EQ(m_dialogs.messages.back(), "the file is not exist");
    ASSERT_NE(manager().model(), nullptr);
    EXPECT_EQ(manager().model()->m_filePath, first);
    EXPECT_EQ(m_frame->findAction(QStringLiteral("&2 ") + QString::fromStdString(second)), nullptr);
    EXPECT_NE(m_frame->findAction(QStringLiteral("&1 ") + QString::fromStdString(first)), nullptr);
}

TEST_F(GuiFixture, ChoosingPaintControlFieldsTwiceKeepsOneModeInstanceAndItsDialog) {
    start();
    trigger(QStringLiteral("Paint control fields"));
    TState* firstPaint = core().m_state;
    EXPECT_EQ(core().m_mode, 1);
    trigger(QStringLiteral("Paint control fields"));
    EXPECT_EQ(core().m_state, firstPaint);
    EXPECT_EQ(core().m_state, &TStatePaintCtrlField::getInstance());
    EXPECT_EQ(core().m_mode, 1);
    EXPECT_TRUE(core().m_dlgPaintCtrlField->isDialogVisible());
    EXPECT_FALSE(core().m_dlgStdInteraction->isDialogVisible());
    EXPECT_TRUE(isChecked("Paint control fields"));
    EXPECT_FALSE(isChecked("Standard manipulation"));

    // The mode keeps its tool across switches.
    TStatePaintCtrlField::getInstance().setTool(PaintTool::PHASE_1);
    trigger(QStringLiteral("Standard manipulation"));
    EXPECT_EQ(core().m_mode, 2);
    EXPECT_TRUE(isChecked("Standard manipulation"));
    EXPECT_TRUE(core().m_dlgStdInteraction->isDialogVisible());
    EXPECT_FALSE(core().m_dlgPaintCtrlField->isDialogVisible());
    trigger(QStringLiteral("Paint control fields"));
    EXPECT_EQ(core().m_state, firstPaint);
    EXPECT_EQ(TStatePaintCtrlField::getInstance().m_tool, PaintTool::PHASE_1);
    TStatePaintCtrlField::getInstance().setTool(PaintTool::DEPTH_0);

    // A model load always returns to the standard mode.
    ASSERT_TRUE(m_frame->loadModelFile(QString::fromStdString(writeCubeModel("m") + ".ele")));
    EXPECT_EQ(core().m_mode, 2);
    EXPECT_TRUE(isChecked("Standard manipulation"));
}

TEST_F(GuiFixture, MovingTheMainWindowDocksTheVisibleToolDialogAndLeavesTheVolumeDialog) {
    start();
    auto* stdDialog = dynamic_cast<QWidget*>(core().m_dlgStdInteraction.get());
    auto* paintDialog = dynamic_cast<QWidget*>(core().m_dlgPaintCtrlField.get());
    auto* volumeDialog = dynamic_cast<QWidget*>(core().m_dlgVolumeViz.get());
    ASSERT_TRUE(stdDialog && paintDialog && volumeDialog);

    trigger(QStringLiteral("Show Volume Viz Dlg"));
    EXPECT_TRUE(volumeDialog->isVisible());
    EXPECT_TRUE(isChecked("Show Volume Viz Dlg"));
    volumeDialog->move(30, 700);
    ASSERT_TRUE(waitFor([&] { return volumeDialog->pos() == QPoint(30, 700); }));
    const int dockedHeight = stdDialog->height();

    // The user stretches the standard dialog; docking restores the height of its first docking.
    stdDialog->resize(stdDialog->width(), dockedHeight + 120);
    m_frame->move(60, 45);
    auto dockedAt = [&](QWidget* dialog) {
        const QRect frame = m_frame->frameGeometry();
        return dialog->pos() == QPoint(frame.x() + frame.width(), frame.y() + 40);
    };
    ASSERT_TRUE(waitFor([&] { return m_frame->frameGeometry().topLeft() == QPoint(60, 45) && dockedAt(stdDialog); }))
        << "dialog at " << stdDialog->x() << "," << stdDialog->y();
    EXPECT_EQ(stdDialog->height(), dockedHeight);
    EXPECT_EQ(volumeDialog->pos(), QPoint(30, 700));

    trigger(QStringLiteral("Paint control fields"));
    m_frame->move(120, 80);
    ASSERT_TRUE(
        waitFor([&] { return m_frame->frameGeometry().topLeft() == QPoint(120, 80) && dockedAt(paintDialog); }));
    EXPECT_EQ(volumeDialog->pos(), QPoint(30, 700));

    trigger(QStringLiteral("Show Volume Viz Dlg"));
    EXPECT_FALSE(volumeDialog->isVisible());
    EXPECT_FALSE(isChecked("Show Volume Viz Dlg"));
}

TEST_F(GuiFixture, WhileTheBeatRunsTheTitleShowsTicksAndFramesPerSecondUnlessSwitchedOff) {
    writeCubeModel("ModelB");
    start();
    const QString plain = QStringLiteral("ModelB - Velmora");
    const QRegularExpression rates(QStringLiteral("^ModelB - Velmora  \\((\\d+) ticks/s, (\\d+) frames/s\\)$"));
    EXPECT_TRUE(isChecked("Show Ticks and Frames per Second"));
    QTest::keyClick(m_view, Qt::Key_O);
    ASSERT_TRUE(waitFor([&] { return rates.match(m_frame->windowTitle()).hasMatch(); }, 10000))
        << m_frame->windowTitle().toStdString();
    const QRegularExpressionMatch shown = rates.match(m_frame->windowTitle());
    EXPECT_GT(shown.captured(1).toInt(), 0);
    EXPECT_LE(shown.captured(2).toInt(), shown.captured(1).toInt()) << "never more frames than ticks";

    trigger(QStringLiteral("Show Ticks and Frames per Second"));
    EXPECT_FALSE(isChecked("Show Ticks and Frames per Second"));
    EXPECT_EQ(m_frame->windowTitle(), plain);
    QTest::qWait(700);
    EXPECT_EQ(m_frame->windowTitle(), plain) << "switched off, the rates stay away";

    trigger(QStringLiteral("Show Ticks and Frames per Second"));
    ASSERT_TRUE(waitFor([&] { return rates.match(m_frame->windowTitle()).hasMatch(); }, 10000));
    QTest::keyClick(m_view, Qt::Key_O);
    EXPECT_EQ(m_frame->windowTitle(), plain) << "a stopped beat has no rates";
}
