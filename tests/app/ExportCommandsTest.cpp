// The export commands from the menu (save dialog, extension rule, export start and its end), a
// file that cannot be created, and the remaining menu entries: the experiment chart, the View
// entries without bars, and the About dialog from the Help menu.
#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <filesystem>
#include <sstream>

#include "GuiFixture.h"
#include "app/AboutDialog.h"
#include "interaction/ExportCommands.h"
#include "linalg/Diagnostics.h"

namespace {

/// The "#frame" header lines of an animation file, with the vertex lines of every frame counted.
struct AnimationFile {
    std::vector<std::string> headers;
    std::vector<int> frameIndices;
    std::vector<int> vertexCounts;
    std::vector<double> cycleFractions;
    std::vector<int> linesPerFrame;
    bool wellFormed = true;
};

AnimationFile readAnimationFile(const std::string& path) {
    AnimationFile file;
    std::istringstream in(testfiles::readText(path));
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("#frame ", 0) == 0) {
            file.headers.push_back(line);
            int index = -1, count = -1;
            double fraction = -1;
            if (std::sscanf(line.c_str(), "#frame %d %d %lf", &index, &count, &fraction) != 3) file.wellFormed = false;
            file.frameIndices.push_back(index);
            file.vertexCounts.push_back(count);
            file.cycleFractions.push_back(fraction);
            file.linesPerFrame.push_back(0);
            continue;
        }
        double x, y, z;
        if (file.linesPerFrame.empty() || std::sscanf(line.c_str(), "%lf %lf %lf", &x, &y, &z) != 3) {
            file.wellFormed = false;
            continue;
        }
        ++file.linesPerFrame.back();
    }
    return file;
}

int countOccurrences(const std::string& text, const std::string& piece) {
    int n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + piece.size())) ++n;
    return n;
}

AboutDialog* openAboutDialog() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* about = qobject_cast<AboutDialog*>(w); about && about->isVisible()) return about;
    return nullptr;
}

}  // namespace

TEST_F(GuiFixture, AnimationExportAppendsTheExtensionToRunTxtAndRecordsOneCycle) {
    writeCubeModel("ModelB");
    start();
    ASSERT_NE(manager().model(), nullptr);
    const std::string chosen = m_dir.file("run.txt");
    m_dialogs.fileAnswers.push_back(chosen);
    {
        DiagCapture capture;
        trigger(QStringLiteral("StartExportAnimation"));
        EXPECT_TRUE(capture.contains("#heartAnim\n"));
    }
    ASSERT_EQ(m_dialogs.fileFilters.size(), 1u);
    EXPECT_EQ(m_dialogs.fileFilters[0], kAnimationExportFilter);
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_TRUE(manager().m_exportAnim);
    EXPECT_TRUE(manager().m_timerOn);  // the export starts the beat
    EXPECT_TRUE(m_app->host().isTimerActive());
    EXPECT_FALSE(testfiles::exists(chosen));

    // The export ends by itself at the end of the cycle; the beat goes on.
    ASSERT_TRUE(waitFor([&] { return !manager().m_exportAnim; }, 30000));
    EXPECT_TRUE(manager().m_timerOn);
    QTest::keyClick(m_view, Qt::Key_O);

    const AnimationFile file = readAnimationFile(chosen + ".heartAnim");
    EXPECT_TRUE(file.wellFormed);
    ASSERT_EQ(file.headers.size(), 100u);  // started at time 0: times 0.01 to 1.00
    for (size_t i = 0; i < file.headers.size(); ++i) {
        EXPECT_EQ(file.frameIndices[i], static_cast<int>(i));
        EXPECT_EQ(file.vertexCounts[i], kCubeModelVertices);
        EXPECT_EQ(file.linesPerFrame[i], kCubeModelVertices);
        EXPECT_NEAR(file.cycleFractions[i], 0.01 * static_cast<double>(i + 1), 1e-6);
    }
}

TEST_F(GuiFixture, AChosenHeartAnimNameIsUsedUnchangedAndTheWallExportRecords401Ticks) {
    writeCubeModel("ModelB");
    start();
    const std::string anim = m_dir.file("run.heartAnim");
    m_dialogs.fileAnswers.push_back(anim);
    trigger(QStringLiteral("StartExportAnimation"));
    ASSERT_TRUE(waitFor([&] { return !manager().m_exportAnim; }, 30000));
    QTest::keyClick(m_view, Qt::Key_O);
    EXPECT_FALSE(testfiles::exists(anim + ".heartAnim"));
    const AnimationFile file = readAnimationFile(anim);
    EXPECT_TRUE(file.wellFormed);
    EXPECT_EQ(file.headers.size(), 100u);

    // The wall-thickness export: "wall.txt" gets ".tex" appended; the probe line misses the
    // normalised cube, so each of the 401 ticks writes the probe's message.
    const std::string wall = m_dir.file("wall.txt");
    m_dialogs.fileAnswers.push_back(wall);
    {
        DiagCapture capture;
        trigger(QStringLiteral("StartExportWallThickness"));
        EXPECT_TRUE(capture.contains("#wallWidth\n"));
    }
    EXPECT_EQ(m_dialogs.fileFilters.back(), kWallThicknessExportFilter);
    EXPECT_TRUE(manager().m_recordWall);
    EXPECT_TRUE(manager().m_timerOn);
    ASSERT_TRUE(waitFor([&] { return !manager().m_recordWall; }, 60000));
    QTest::keyClick(m_view, Qt::Key_O);
    EXPECT_EQ(manager().m_recordCount, 402);
    EXPECT_EQ(countOccurrences(testfiles::readText(wall + ".tex"), "cant find 4 points"), 401);
    EXPECT_TRUE(m_dialogs.messages.empty());
}

TEST_F(GuiFixture, ExportsNeedAModelAChosenFileAndAFileThatCanBeCreated) {
    start();
    ASSERT_EQ(manager().model(), nullptr);
    m_dialogs.messages.clear();
    // Without a model neither command asks for a file.
    trigger(QStringLiteral("StartExportAnimation"));
    trigger(QStringLiteral("StartExportWallThickness"));
    EXPECT_TRUE(m_dialogs.fileFilters.empty());
    EXPECT_TRUE(m_dialogs.messages.empty());

    ASSERT_TRUE(m_frame->loadModelFile(QString::fromStdString(writeCubeModel("m") + ".ele")));
    // Cancelling the dialog starts nothing.
    trigger(QStringLiteral("StartExportAnimation"));
    EXPECT_EQ(m_dialogs.fileFilters.size(), 1u);
    EXPECT_FALSE(manager().m_exportAnim);
    EXPECT_FALSE(manager().m_timerOn);

    // A file in a directory that does not exist: the user is told, nothing runs.
    const std::string impossible = m_dir.file("no-such-dir/run");
    m_dialogs.fileAnswers.push_back(impossible);
    trigger(QStringLiteral("StartExportAnimation"));
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_NE(m_dialogs.messages[0].find(impossible + ".heartAnim"), std::string::npos) << m_dialogs.messages[0];
    EXPECT_FALSE(manager().m_exportAnim);
    EXPECT_FALSE(manager().m_timerOn);

    m_dialogs.fileAnswers.push_back(impossible);
    trigger(QStringLiteral("StartExportWallThickness"));
    ASSERT_EQ(m_dialogs.messages.size(), 2u);
    EXPECT_NE(m_dialogs.messages[1].find(impossible + ".tex"), std::string::npos) << m_dialogs.messages[1];
    EXPECT_FALSE(manager().m_recordWall);
    EXPECT_FALSE(manager().m_timerOn);
}

TEST_F(GuiFixture, AnExportOntoAFullDiskStopsWithOneMessageAndTheBeatGoesOn) {
    writeCubeModel("ModelB");
    start();
    ASSERT_NE(manager().model(), nullptr);
    // Names the user could choose that land on a full disk: the open succeeds, the writes do not.
    for (const char* name : {"full.heartAnim", "full.vtu"})
        std::filesystem::create_symlink("/dev/full", m_dir.file(name));

    m_dialogs.fileAnswers.push_back(m_dir.file("full.heartAnim"));
    trigger(QStringLiteral("StartExportAnimation"));
    ASSERT_TRUE(manager().m_exportAnim);
    // A frame of the cube is about 2 KB: the buffer is written, and fails, within a few ticks.
    ASSERT_TRUE(waitFor([&] { return !m_dialogs.messages.empty(); }, 30000));
    EXPECT_FALSE(manager().m_exportAnim);
    const std::string expected = "cannot write " + m_dir.file("full.heartAnim") + ": No space left on device";
    EXPECT_NE(m_dialogs.messages[0].find(expected), std::string::npos) << m_dialogs.messages[0];
    const long long ticks = manager().ticksRun();
    ASSERT_TRUE(waitFor([&] { return manager().ticksRun() > ticks + 5; }, 10000)) << "the beat goes on";
    QTest::keyClick(m_view, Qt::Key_O);
    EXPECT_EQ(m_dialogs.messages.size(), 1u) << "told once";

    m_dialogs.fileAnswers.push_back(m_dir.file("full.vtu"));
    trigger(QStringLiteral("Export fields (.vtu)..."));
    ASSERT_EQ(m_dialogs.messages.size(), 2u);
    EXPECT_EQ(m_dialogs.messages[1],
              "Export failed: cannot write " + m_dir.file("full.vtu") + ": No space left on device");
}

TEST_F(GuiFixture, OpenCarpExportWritesTheThreeFilesNamedByAnyOfThemAndTellsAFailure) {
    writeCubeModel("ModelB");
    start();
    ASSERT_NE(manager().model(), nullptr);
    m_dialogs.fileAnswers.push_back(m_dir.file("cube.elem"));
    trigger(QStringLiteral("Export openCARP mesh..."));
    ASSERT_EQ(m_dialogs.fileFilters.size(), 1u);
    EXPECT_EQ(m_dialogs.fileFilters[0], kCarpExportFilter);
    EXPECT_TRUE(m_dialogs.messages.empty());
    EXPECT_FALSE(testfiles::exists(m_dir.file("cube.elem.pts")));
    const std::string pts = testfiles::readText(m_dir.file("cube.pts"));
    const std::string elem = testfiles::readText(m_dir.file("cube.elem"));
    const std::string lon = testfiles::readText(m_dir.file("cube.lon"));
    EXPECT_EQ(pts.substr(0, pts.find('\n')), std::to_string(kCubeModelVertices));
    EXPECT_EQ(elem.substr(0, elem.find('\n')), std::to_string(manager().model()->m_tets.size()));
    EXPECT_EQ(countOccurrences(elem, "\nTt "), static_cast<int>(manager().model()->m_tets.size()));
    EXPECT_EQ(lon.compare(0, 2, "2\n"), 0);
    EXPECT_EQ(countOccurrences(lon, "\n"), static_cast<int>(manager().model()->m_tets.size()) + 1);

    // A folder that does not exist: the user is told, nothing is written.
    m_dialogs.fileAnswers.push_back(m_dir.file("missing/cube.pts"));
    trigger(QStringLiteral("Export openCARP mesh..."));
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_dialogs.messages[0].rfind("Export failed: cannot write " + m_dir.file("missing/cube.pts"), 0), 0u)
        << m_dialogs.messages[0];
}

TEST_F(GuiFixture, ExperimentChartViewEntriesAndAboutDialogWorkFromTheMenus) {
    start();
    // Every entry of the menus this window offers besides the fibre presets.
    for (const char* text : {"&File",
                             "Load heat tetra model (.ele/.vm)",
                             "Recent File",
                             "E&xit",
                             "Mode Change",
                             "Back object manipulation",
                             "Paint control fields",
                             "Standard manipulation",
                             "Show Volume Viz Dlg",
                             "&View",
                             "&Toolbar",
                             "&Status Bar",
                             "Rendering",
                             "3D Mode",
                             "Show Frames",
                             "StartAutoRotation",
                             "InitEyePosition",
                             "Simple Model Fiber Orientation",
                             "Set Contraction Chart For Experiment",
                             "StartExportAnimation",
                             "StartExportWallThickness",
                             "&Help",
                             "&About Velmora..."})
        EXPECT_NE(m_frame->findAction(QString::fromLatin1(text)), nullptr) << text;
    // The window has no tool bar or status bar for the View entries to act on.
    EXPECT_FALSE(m_frame->findAction(QStringLiteral("&Toolbar"))->isEnabled());
    EXPECT_FALSE(m_frame->findAction(QStringLiteral("&Status Bar"))->isEnabled());

    // The experiment chart needs a model.
    trigger(QStringLiteral("Set Contraction Chart For Experiment"));
    ASSERT_TRUE(m_frame->loadModelFile(QString::fromStdString(writeCubeModel("m") + ".ele")));
    TGlobalExcitation& excitation = *manager().model()->m_excitation;
    excitation.m_chartAtri = {{0.0, 0.3}, {0.4, 0.9}};
    buildTables(excitation);
    trigger(QStringLiteral("Set Contraction Chart For Experiment"));
    EXPECT_EQ(excitation.m_chartVent, (TChart{{0.0, 0.0}, {0.25, 0.0}, {0.5, 1.0}, {0.75, 1.0}}));
    EXPECT_EQ(excitation.m_chartAtri, (TChart{{0.0, 0.0}}));
    // The tables follow the new charts: nothing in the first quarter, full contraction mid-cycle.
    EXPECT_DOUBLE_EQ(evalChart(excitation.m_chartVent, 0.1), 0.0);
    EXPECT_DOUBLE_EQ(evalChart(excitation.m_chartVent, 0.6), 1.0);
    EXPECT_NE(excitation.m_tableVent[10].x, excitation.m_tableVent[60].x);
    EXPECT_EQ(excitation.m_tableAtri[10].x, excitation.m_tableAtri[60].x);

    // About, from the Help menu; asking twice raises the same dialog; OK closes it.
    trigger(QStringLiteral("&About Velmora..."));
    AboutDialog* about = openAboutDialog();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->windowTitle(), QStringLiteral("About Velmora"));
    auto* version = about->findChild<QLabel*>(QStringLiteral("versionLabel"));
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->text(), QStringLiteral("Velmora, Version 1.0"));
    trigger(QStringLiteral("&About Velmora..."));
    EXPECT_EQ(m_frame->findChildren<AboutDialog*>().size(), 1);
    auto* box = about->findChild<QDialogButtonBox*>();
    ASSERT_NE(box, nullptr);
    QPushButton* ok = box->button(QDialogButtonBox::Ok);
    ASSERT_NE(ok, nullptr);
    QTest::mouseClick(ok, Qt::LeftButton);
    ASSERT_TRUE(waitFor([] { return openAboutDialog() == nullptr; }));
}
