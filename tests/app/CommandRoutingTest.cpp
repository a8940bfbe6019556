// Every key of the view's table, every menu entry and every tool-dialog button reaches its one
// command in the command layer, and only that one.
#include <QDialog>
#include <QDialogButtonBox>
#include <QMenuBar>
#include <QPushButton>
#include <map>

#include "GuiFixture.h"
#include "app/DlgPaintCtrlField.h"
#include "app/DlgStdInteraction.h"
#include "interaction/Commands.h"

namespace {

class CommandRoutingTest : public GuiFixture {
   protected:
    void startRecording() {
        writeCubeModel("ModelB");
        start();
        ASSERT_NE(manager().model(), nullptr);
        // The turn around the model would otherwise pause 250 times.
        core().m_camera->setAutoRotationPause([](int) {});
        m_app->commands().setObserver([this](const std::string& command) { m_heard.push_back(command); });
    }
    void TearDown() override {
        if (m_app) m_app->commands().setObserver(nullptr);
        GuiFixture::TearDown();
    }
    /// The commands heard since the last call.
    std::vector<std::string> heard() { return std::exchange(m_heard, {}); }

    std::vector<std::string> m_heard;
};

}  // namespace

TEST_F(CommandRoutingTest, EachKeyOfTheViewReachesItsCommandOnce) {
    startRecording();
    struct KeyCommand {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        const char* command;
    };
    const KeyCommand table[] = {
        {Qt::Key_1, Qt::NoModifier, "stepTransparency"},
        {Qt::Key_2, Qt::NoModifier, "stepTransparency"},
        {Qt::Key_3, Qt::NoModifier, "toggleDisplay"},
        {Qt::Key_4, Qt::NoModifier, "toggleDisplay"},
        {Qt::Key_5, Qt::NoModifier, "toggleDisplay"},
        {Qt::Key_6, Qt::NoModifier, "toggleDisplay"},
        {Qt::Key_7, Qt::NoModifier, "toggleDisplay"},
        {Qt::Key_8, Qt::NoModifier, "toggleDisplay"},
        {Qt::Key_9, Qt::NoModifier, "toggleDisplay"},
        {Qt::Key_0, Qt::NoModifier, "toggleDisplay"},
        {Qt::Key_G, Qt::NoModifier, "clearContractionCharts"},
        {Qt::Key_I, Qt::NoModifier, "resetDeformation"},
        {Qt::Key_K, Qt::NoModifier, "fullAmplitude"},
        {Qt::Key_M, Qt::NoModifier, "storeEyePosition"},
        {Qt::Key_N, Qt::NoModifier, "initEyePosition"},
        {Qt::Key_F, Qt::NoModifier, "fitModelInView"},
        {Qt::Key_O, Qt::NoModifier, "toggleSimulation"},
        {Qt::Key_O, Qt::NoModifier, "toggleSimulation"},
        {Qt::Key_S, Qt::NoModifier, "saveProject"},
        {Qt::Key_S, Qt::ControlModifier, "saveProject"},
        {Qt::Key_O, Qt::ControlModifier, "loadModel"},
        {Qt::Key_Z, Qt::ControlModifier, "undo"},
        {Qt::Key_Y, Qt::ControlModifier, "redo"},
        {Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier, "redo"},
        // Keys without a command run only the common tail.
        {Qt::Key_Q, Qt::NoModifier, nullptr},
        {Qt::Key_N, Qt::ControlModifier, nullptr},
    };
    for (const KeyCommand& k : table) {
        QTest::keyClick(m_view, k.key, k.modifiers);
        const std::vector<std::string> expected =
            k.command ? std::vector<std::string>{k.command} : std::vector<std::string>{};
        EXPECT_EQ(heard(), expected) << "key " << k.key << " modifiers " << k.modifiers;
    }
    // The commands acted: the two O presses started and stopped the beat, 1 and 2 cancelled out.
    EXPECT_FALSE(manager().m_timerOn);
    EXPECT_DOUBLE_EQ(core().surfaceAlpha(), 0.8);
    EXPECT_TRUE(testfiles::exists(manager().model()->m_filePath + ".vm"));
}

TEST_F(CommandRoutingTest, EachMenuEntryAndDialogButtonReachesItsCommandOnce) {
    startRecording();
    const std::map<QString, std::string> entries = {
        {QStringLiteral("Load heat tetra model (.ele/.vm)"), "loadModel"},
        {QStringLiteral("Import mesh (.msh/.vtk/.mesh/.stl)..."), "importMesh"},
        {QStringLiteral("Export fields (.vtu)..."), "exportFields"},
        {QStringLiteral("Export openCARP mesh..."), "exportCarpMesh"},
        {QStringLiteral("E&xit"), "quit"},
        {QStringLiteral("&Undo"), "undo"},
        {QStringLiteral("&Redo"), "redo"},
        {QStringLiteral("Paint control fields"), "paintControlFieldsMode"},
        {QStringLiteral("Standard manipulation"), "standardManipulationMode"},
        {QStringLiteral("Show Volume Viz Dlg"), "toggleVolumeDialog"},
        {QStringLiteral("3D Mode"), "toggleStereo"},
        {QStringLiteral("Show Frames"), "toggleFrames"},
        {QStringLiteral("Show Ticks and Frames per Second"), "toggleRatesInTitle"},
        {QStringLiteral("StartAutoRotation"), "startAutoRotation"},
        {QStringLiteral("InitEyePosition"), "initEyePosition"},
        {QStringLiteral("Fit heart in view"), "fitModelInView"},
        {QStringLiteral("Simulation lattice..."), "simulationLattice"},
        {QStringLiteral("Set Contraction Chart For Experiment"), "setExperimentContractionChart"},
        {QStringLiteral("StartExportAnimation"), "startAnimationExport"},
        {QStringLiteral("StartExportWallThickness"), "startWallThicknessExport"},
        {QStringLiteral("&About Velmora..."), "showAbout"},
    };
    // Entries shown for the user's orientation only: they run nothing.
    const QStringList inert = {QStringLiteral("Back object manipulation"), QStringLiteral("&Toolbar"),
                               QStringLiteral("&Status Bar")};
    // Entries the shell runs itself (the movie export records in the view's own context); with no
    // file chosen they end before doing anything (PicturesWithoutWindowTest records through it).
    const QStringList shellRun = {QStringLiteral("Export movie...")};
    // A model loaded from a file is a recent entry of the File menu.
    ASSERT_TRUE(m_frame->loadModelBase(QString::fromStdString(writeCubeModel("recent"))));
    heard();

    // Exit closes the window: it goes last.
    QList<QAction*> actions, last;
    for (QAction* menuAction : m_frame->menuBar()->actions())
        if (QMenu* menu = menuAction->menu())
            for (QAction* action : menu->actions())
                if (!action->isSeparator()) (action->text() == QStringLiteral("E&xit") ? last : actions).append(action);
    actions += last;

    int presets = 0, recent = 0;
    bool ruleDialog = false;
    std::map<std::string, int> reached;
    for (QAction* action : actions) {
        const QString text = action->text();
        // Undo, Redo and the recent entries are enabled by the state; the routing is what counts.
        action->setEnabled(true);
        // The Edit entries name the step they undo or redo.
        const QString key = text.startsWith(QStringLiteral("&Undo"))   ? QStringLiteral("&Undo")
                            : text.startsWith(QStringLiteral("&Redo")) ? QStringLiteral("&Redo")
                                                                       : text;
        action->trigger();
        const std::vector<std::string> got = heard();
        if (inert.contains(key) || shellRun.contains(key)) {
            EXPECT_TRUE(got.empty()) << text.toStdString();
        } else if (key == QStringLiteral("Rule-based fibres...")) {
            // The entry asks for the angles first; OK runs the command (the cube has no VL wall,
            // so it tells the user and changes nothing).
            EXPECT_TRUE(got.empty());
            auto* dialog = m_frame->findChild<QDialog*>(QStringLiteral("ruleBasedFibresDialog"));
            ASSERT_NE(dialog, nullptr);
            dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
            EXPECT_EQ(heard(), std::vector<std::string>{"applyRuleBasedFibres"});
            EXPECT_FALSE(manager().model()->m_orienField.m_ruleBased.inForce);
            ruleDialog = true;
        } else if (entries.count(key)) {
            EXPECT_EQ(got, std::vector<std::string>{entries.at(key)}) << text.toStdString();
            ++reached[entries.at(key)];
        } else if (got == std::vector<std::string>{"applyFibrePreset"}) {
            ++presets;
        } else if (got == std::vector<std::string>{"openRecentModel"}) {
            ++recent;
        } else {
            ADD_FAILURE() << "menu entry " << text.toStdString() << " reached " << ::testing::PrintToString(got);
        }
    }
    EXPECT_EQ(reached.size(), entries.size()) << "a menu entry is missing";
    EXPECT_EQ(presets, 12);
    EXPECT_TRUE(ruleDialog);
    EXPECT_GE(recent, 1);
    // The commands acted on the window: the volume dialog and the stereo view are on.
    EXPECT_TRUE(core().m_dlgVolumeViz->isDialogVisible());
    EXPECT_TRUE(core().m_bStereo);
    EXPECT_EQ(manager().model()->m_excitation->m_chartVent.size(), 4u);

    // The tool dialogs' buttons. (Exit asked about the unsaved presets; the script cancelled.)
    const std::map<QString, std::string> buttons = {
        {QStringLiteral("Simulation On/Off (o)"), "toggleSimulation"},
        {QStringLiteral("Initialization ( i )"), "restartBeat"},
        {QStringLiteral("clear chart"), "clearContractionCharts"},
        {QStringLiteral("clear all"), "fullAmplitude"},
        {QStringLiteral("ロード"), "loadContractionChart"},
        {QStringLiteral("normalize"), "normalizePlacement"},
        {QStringLiteral("Init Depth Field"), "initDepthField"},
        {QStringLiteral("Update field"), "updateField"},
        {QStringLiteral("Init Primary dir strokes"), "initPrimaryDirStrokes"},
        {QStringLiteral("exportFibOri"), "exportFibreStrokes"},
        {QStringLiteral("importFibOri"), "importFibreStrokes"},
        {QStringLiteral("Init Amplitude Field"), "initAmplitudeField"},
        {QStringLiteral("Init Phase Shift Field"), "initPhaseShiftField"},
        {QStringLiteral("Init segmentation2"), "initChamberSegmentation"},
        // The first segmentation is painted vertex by vertex: nothing to reset.
        {QStringLiteral("Init Segmentation1"), ""},
    };
    auto* standard = dynamic_cast<QWidget*>(core().m_dlgStdInteraction.get());
    auto* paint = dynamic_cast<QWidget*>(core().m_dlgPaintCtrlField.get());
    ASSERT_TRUE(standard && paint);
    int clicked = 0;
    for (QWidget* dialog : {standard, paint})
        for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
            ASSERT_TRUE(buttons.count(button->text())) << button->text().toStdString();
            button->click();
            const std::string& command = buttons.at(button->text());
            EXPECT_EQ(heard(), command.empty() ? std::vector<std::string>{} : std::vector<std::string>{command})
                << button->text().toStdString();
            ++clicked;
        }
    EXPECT_EQ(clicked, static_cast<int>(buttons.size()));
    // The paint dialog's "Init ..." buttons asked first (the script said no); the simulation button
    // started the beat.
    EXPECT_EQ(m_dialogs.questions.size(), 4u);
    EXPECT_TRUE(manager().m_timerOn);
    manager().stopTimer();
}
