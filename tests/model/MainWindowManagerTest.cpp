// The controller headless: loading, the tick order and timing, the exports, the tube set-up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "common/TestFiles.h"
#include "common/TestMeshes.h"
#include "linalg/Diagnostics.h"
#include "model/MainWindowManager.h"
#include "model/ProjectFile.h"
#include "model/ShellHooks.h"

namespace {

using testfiles::TempDir;

/// Records what the controller asks of the window system.
class RecordingHost : public ControllerHost {
public:
    void startTimer(int id, int ms) override { started.push_back({id, ms}); }
    void killTimer(int id) override { killed.push_back(id); }
    void redrawView() override { calls.push_back("view"); }
    void redrawStdDialog(bool erase) override { calls.push_back(erase ? "std-erase" : "std"); }
    bool isVolumeDialogVisible() const override { return volumeVisible; }
    void redrawVolumeDialog() override { calls.push_back("volume"); }
    void switchToStandardMode() override { calls.push_back("std-mode"); }
    void refreshStdDialogFromModel() override { calls.push_back("refresh"); }

    std::vector<std::pair<int, int>> started;
    std::vector<int> killed;
    std::vector<std::string> calls;
    bool volumeVisible = false;
};

class RecordingHooks : public ShellHooks {
public:
    RecordingHooks() { previous = setShellHooks(this); }
    ~RecordingHooks() override { setShellHooks(previous); }
    void showMessage(const std::string& text) override { messages.push_back(text); }
    void refreshDialogs() override {}
    std::vector<std::string> messages;
    ShellHooks* previous;
};

class MainWindowManagerTest : public ::testing::Test {
protected:
    TempDir dir;
    RecordingHost host;
    RecordingHooks hooks;
    DiagCapture diag;  // keeps the console quiet and lets tests read it

    std::string writeModel(const testmesh::TetData& data, const std::string& name) {
        const std::string base = dir.file(name);
        testmesh::writeTetGen(data, base);
        return base;
    }
};

TEST_F(MainWindowManagerTest, MissingModelLeavesNoModelAndRefusesToRun) {
    MainWindowManager controller(&host, dir.file("ModelB"));
    EXPECT_EQ(controller.model(), nullptr);
    EXPECT_EQ(hooks.messages, std::vector<std::string>{"the file is not exist"});
    EXPECT_FALSE(controller.startTimer());
    EXPECT_FALSE(controller.isTimerOn());
    EXPECT_TRUE(host.started.empty());
    controller.onTimer();
    EXPECT_EQ(controller.m_time, 0.0);
    // A valid model afterwards loads.
    controller.loadModel(writeModel(testmesh::cube(2), "cube"));
    ASSERT_NE(controller.model(), nullptr);
    EXPECT_TRUE(controller.startTimer());
    EXPECT_EQ(host.started, (std::vector<std::pair<int, int>>{{1, 5}}));
}

TEST_F(MainWindowManagerTest, TicksAdvanceTimeAndWrapAfterTheCycle) {
    MainWindowManager controller(&host, writeModel(testmesh::cube(2), "cube"));
    ASSERT_NE(controller.model(), nullptr);
    controller.onTimer();  // timer off: nothing happens
    EXPECT_EQ(controller.m_time, 0.0);
    ASSERT_TRUE(controller.startTimer());
    std::vector<double> seen;
    for (int i = 0; i < 102; ++i) {
        controller.onTimer();
        seen.push_back(controller.m_time);
    }
    for (int i = 0; i < 100; ++i) EXPECT_NEAR(seen[i], 0.01 * (i + 1), 1e-9) << "tick " << i + 1;
    EXPECT_EQ(seen[100], 0.0);
    EXPECT_NEAR(seen[101], 0.01, 1e-12);
}

TEST_F(MainWindowManagerTest, TickRedrawsInOrderAndTheVolumeDialogOnlyWhenVisible) {
    MainWindowManager controller(&host, writeModel(testmesh::cube(2), "cube"));
    controller.startTimer();
    host.calls.clear();
    controller.onTimer();
    EXPECT_EQ(host.calls, (std::vector<std::string>{"view", "std"}));
    host.volumeVisible = true;
    host.calls.clear();
    controller.onTimer();
    EXPECT_EQ(host.calls, (std::vector<std::string>{"view", "std", "volume"}));
}

TEST_F(MainWindowManagerTest, LoadStopsTheTimerAndSwitchesToStandardMode) {
    MainWindowManager controller(&host, writeModel(testmesh::cube(2), "cube"));
    controller.startTimer();
    host.calls.clear();
    controller.loadModel(writeModel(testmesh::cube(3), "cube3"));
    EXPECT_FALSE(controller.isTimerOn());
    EXPECT_EQ(host.killed, std::vector<int>{1});
    EXPECT_EQ(host.calls, (std::vector<std::string>{"std-mode", "std-erase"}));
    EXPECT_EQ(controller.model()->vertexCount(), 64);
}

TEST_F(MainWindowManagerTest, AnimationExportWritesOneCycleOfNumberedFrames) {
    MainWindowManager controller(&host, writeModel(testmesh::cube(2), "cube"));
    const std::string path = dir.file("run.heartAnim");
    ASSERT_TRUE(controller.startAnimationExport(path));
    EXPECT_TRUE(diag.contains("#heartAnim\n"));
    EXPECT_TRUE(controller.isTimerOn());
    for (int i = 0; i < 120; ++i) controller.onTimer();
    EXPECT_FALSE(controller.m_exportAnim);
    EXPECT_EQ(controller.m_wallFile, nullptr);
    const std::string text = testfiles::readText(path);
    int frames = 0;
    size_t pos = 0;
    double lastFraction = -1;
    while ((pos = text.find("#frame ", pos)) != std::string::npos) {
        int number = -1, count = -1;
        double fraction = -1;
        ASSERT_EQ(std::sscanf(text.c_str() + pos, "#frame %d %d %lf", &number, &count, &fraction), 3);
        EXPECT_EQ(number, frames);
        EXPECT_EQ(count, 27);
        lastFraction = fraction;
        ++frames;
        ++pos;
    }
    EXPECT_EQ(frames, 100);
    EXPECT_LE(lastFraction, 1.0);
    EXPECT_GT(lastFraction, 0.99);
    // 27 coordinate lines per frame.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 100 * 28);
}

TEST_F(MainWindowManagerTest, WallExportRecordsExactly401TicksAndCloses) {
    MainWindowManager controller(&host, writeModel(testmesh::cube(2), "cube"));
    const std::string path = dir.file("wall.tex");
    ASSERT_TRUE(controller.startWallThicknessExport(path));
    EXPECT_TRUE(diag.contains("#wallWidth\n"));
    for (int i = 0; i < 450; ++i) controller.onTimer();
    EXPECT_FALSE(controller.m_recordWall);
    EXPECT_EQ(controller.m_wallFile, nullptr);
    const std::string text = testfiles::readText(path);
    size_t records = 0, pos = 0;
    while ((pos = text.find("cant find 4 points", pos)) != std::string::npos) {
        ++records;
        ++pos;
    }
    EXPECT_EQ(records, 401u);  // the cube lies nowhere near the probe line
}

TEST_F(MainWindowManagerTest, ExportThatCannotBeCreatedIsReportedAndDoesNotStart) {
    MainWindowManager controller(&host, writeModel(testmesh::cube(2), "cube"));
    EXPECT_FALSE(controller.startAnimationExport(dir.file("no/such/dir/run.heartAnim")));
    EXPECT_FALSE(controller.m_exportAnim);
    EXPECT_FALSE(controller.isTimerOn());
    ASSERT_EQ(hooks.messages.size(), 1u);
    EXPECT_NE(hooks.messages[0].find("run.heartAnim"), std::string::npos);
}

TEST_F(MainWindowManagerTest, StartingOneExportEndsTheOther) {
    MainWindowManager controller(&host, writeModel(testmesh::cube(2), "cube"));
    ASSERT_TRUE(controller.startAnimationExport(dir.file("a.heartAnim")));
    controller.onTimer();
    ASSERT_TRUE(controller.startWallThicknessExport(dir.file("w.tex")));
    EXPECT_FALSE(controller.m_exportAnim);
    EXPECT_TRUE(controller.m_recordWall);
    controller.onTimer();
    const std::string anim = testfiles::readText(dir.file("a.heartAnim"));
    EXPECT_EQ(anim.find("cant find"), std::string::npos);
    EXPECT_NE(anim.find("#frame 0 27"), std::string::npos);
}

TEST_F(MainWindowManagerTest, OnlyExactly1200VerticesGetTheTubeSetUp) {
    testmesh::TetData tube = testmesh::tube();
    MainWindowManager controller(&host, writeModel(tube, "tube"));
    ASSERT_NE(controller.model(), nullptr);
    EXPECT_TRUE(controller.m_bShowMesh);
    EXPECT_TRUE(controller.m_bShowFibAtri);
    EXPECT_TRUE(controller.m_bShowFibVent);
    EXPECT_DOUBLE_EQ(controller.model()->m_excitation->m_amplitude, 0.4);
    EXPECT_NE(std::find(host.calls.begin(), host.calls.end(), "refresh"), host.calls.end());
    // Layered spiral: vertices 0..29 are turned by 90 - 60 degrees about the horizontal axis.
    const vec3 f = controller.model()->m_orienField.m_frames[0].m_primaryDir;
    EXPECT_NEAR(std::fabs(f.y), std::cos(30.0 * M_PI / 180.0), 1e-9);

    // With a contraction chart in its project file, the tube's tables follow the set-up's amplitude.
    {
        DiagCapture quiet;
        TLSMModel authored;
        ASSERT_TRUE(authored.loadModel(dir.file("tube")));
        authored.m_excitation->m_chartVent = {{0.0, 0.0}, {0.3, 0.9}, {0.6, 0.1}};
        authored.m_excitation->m_amplitude = 1.0;
        std::string error;
        ASSERT_TRUE(saveProjectTo(authored, dir.file("tube.vm"), error)) << error;
    }
    MainWindowManager charted(&host, dir.file("tube"));
    ASSERT_NE(charted.model(), nullptr);
    const TGlobalExcitation& e = *charted.model()->m_excitation;
    ASSERT_DOUBLE_EQ(e.m_amplitude, 0.4);
    TGlobalExcitation rebuilt = e;
    buildTables(rebuilt);
    EXPECT_TRUE(e.m_tableVent == rebuilt.m_tableVent);
    EXPECT_NEAR(e.m_tableVent[30].x, 1.0 - 0.9 * 0.4, 0.05);  // near the chart's peak

    testmesh::TetData bigger = tube;
    bigger.verts.push_back({0, 0, 50});  // 1201 vertices, the extra one used by no tetrahedron
    MainWindowManager other(&host, writeModel(bigger, "tube1201"));
    ASSERT_NE(other.model(), nullptr);
    EXPECT_FALSE(other.m_bShowMesh);
    EXPECT_DOUBLE_EQ(other.model()->m_excitation->m_amplitude, 0.5);

    testmesh::TetData smaller = tube;
    smaller.verts.pop_back();
    smaller.tets.erase(std::remove_if(smaller.tets.begin(), smaller.tets.end(),
                                      [](const Tetra& t) {
                                          return std::any_of(t.vIdx, t.vIdx + 4, [](int v) { return v == 1199; });
                                      }),
                       smaller.tets.end());
    MainWindowManager third(&host, writeModel(smaller, "tube1199"));
    ASSERT_NE(third.model(), nullptr);
    EXPECT_FALSE(third.m_bShowMesh);
}

}  // namespace
