// Project files on the heart model: round trips, reading rules, refusals, saving safely, and the
// stroke and chart files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <stdexcept>

#include "common/TestFiles.h"
#include "common/TestMeshes.h"
#include "io/TextTokens.h"
#include "linalg/Diagnostics.h"
#include "model/Autosave.h"
#include "model/ProjectFile.h"
#include "model/ShellHooks.h"
#include "model/TLSMModel.h"

namespace {

using testfiles::TempDir;

/// Records what the core asks of the shell while installed.
struct RecordingShell : ShellHooks {
    RecordingShell() { m_previous = setShellHooks(this); }
    ~RecordingShell() override { setShellHooks(m_previous); }
    void showMessage(const std::string& text) override { messages.push_back(text); }
    void refreshDialogs() override { ++refreshes; }
    std::vector<std::string> messages;
    int refreshes = 0;
    ShellHooks* m_previous = nullptr;
};

void expectFramesNear(const std::vector<TVertexFrame>& a, const std::vector<TVertexFrame>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_LT(distance(a[i].m_primaryDir, b[i].m_primaryDir), 1e-12) << i;
        EXPECT_LT(distance(a[i].m_depthDir, b[i].m_depthDir), 1e-12) << i;
    }
}

/// Everything a project file can change, compared between two loaded models.
void expectSameState(const TLSMModel& a, const TLSMModel& b) {
    EXPECT_EQ(a.m_verts, b.m_verts);
    EXPECT_EQ(a.m_vtxOrigPos, b.m_vtxOrigPos);
    EXPECT_EQ(a.m_vtxIsVentriOrAtrium, b.m_vtxIsVentriOrAtrium);
    EXPECT_EQ(a.m_polygonIDs, b.m_polygonIDs);
    EXPECT_EQ(a.m_trisVR, b.m_trisVR);
    EXPECT_EQ(a.m_trisVL, b.m_trisVL);
    EXPECT_EQ(a.m_trisAR, b.m_trisAR);
    EXPECT_EQ(a.m_trisAL, b.m_trisAL);
    EXPECT_EQ(a.m_iterationN, b.m_iterationN);
    EXPECT_EQ(a.m_excitation->m_chartVent, b.m_excitation->m_chartVent);
    EXPECT_EQ(a.m_excitation->m_chartAtri, b.m_excitation->m_chartAtri);
    EXPECT_EQ(a.m_excitation->m_amplitude, b.m_excitation->m_amplitude);
    EXPECT_EQ(a.m_excitation->m_numOfWave, b.m_excitation->m_numOfWave);
    EXPECT_EQ(a.m_excitation->m_propagationMode, b.m_excitation->m_propagationMode);
    EXPECT_EQ(a.m_excitation->m_tableVent, b.m_excitation->m_tableVent);
    EXPECT_EQ(a.m_phaseField.m_constraints.size(), b.m_phaseField.m_constraints.size());
    EXPECT_EQ(a.m_phaseField.m_value, b.m_phaseField.m_value);
    EXPECT_EQ(a.m_ampliField.m_value, b.m_ampliField.m_value);
    EXPECT_EQ(a.m_orienField.m_depthField.m_constraints.size(), b.m_orienField.m_depthField.m_constraints.size());
    EXPECT_EQ(a.m_orienField.m_depthField.m_value, b.m_orienField.m_depthField.m_value);
    EXPECT_EQ(a.m_orienField.m_strokes.size(), b.m_orienField.m_strokes.size());
    expectFramesNear(a.m_orienField.m_frames, b.m_orienField.m_frames);
    EXPECT_EQ(a.m_triDrawOrder, b.m_triDrawOrder);
}

void expectSameSamples(const TTetSample& a, const TTetSample& b) {
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(a.m_tetVertex[k], b.m_tetVertex[k]);
        EXPECT_NEAR(a.m_weight[k], b.m_weight[k], 5e-7);
    }
}

ProjectEntry& entryOf(ProjectRecord& r, ProjectKey key) {
    for (ProjectEntry& e : r.entries)
        if (e.key == key) return e;
    throw std::runtime_error("no entry");
}

class ProjectFileTest : public ::testing::Test {
   protected:
    void SetUp() override { testmesh::writeTetGen(testmesh::cube(3), base); }
    void TearDown() override { setWriteFailureAfterBytesForTesting(-1); }

    std::unique_ptr<TLSMModel> load() {
        DiagCapture quiet;
        auto model = std::make_unique<TLSMModel>();
        EXPECT_TRUE(model->loadModel(base));
        return model;
    }
    /// A model loaded without any project file, for comparisons.
    std::unique_ptr<TLSMModel> loadDefaults() {
        std::filesystem::rename(vm, vm + ".aside");
        auto model = load();
        std::filesystem::rename(vm + ".aside", vm);
        return model;
    }
    TTetSample sampleAt(const TLSMModel& m, const vec3& p) {
        TTetSample s;
        findNearestTetSample(m.m_tets, m.m_vtxOrigPos, p, s);
        return s;
    }
    /// Authors every kind of project data on a loaded model.
    void author(TLSMModel& m) {
        const int n = m.vertexCount();
        for (int i = 0; i < n; ++i) m.m_vtxOrigPos[i] += vec3(0.01 * (i % 3), -0.02 * (i % 5), 0.003 * i);
        m.m_verts = m.m_vtxOrigPos;
        addConstraintAtVertex(m.m_phaseField.m_constraints, m.m_vtxOrigPos, 0, 0.0);
        addConstraintAtVertex(m.m_phaseField.m_constraints, m.m_vtxOrigPos, n - 1, 1.0);
        TConstraint point;
        static_cast<TTetSample&>(point) = sampleAt(m, vec3(0.3, 0.2, -0.1));
        point.m_target = 0.5;
        m.m_phaseField.m_constraints.push_back(point);
        addConstraintAtVertex(m.m_ampliField.m_constraints, m.m_vtxOrigPos, 10, -1.0);
        for (int v : {0, 5, 21, 42, 63})
            addConstraintAtVertex(m.m_orienField.m_depthField.m_constraints, m.m_vtxOrigPos, v, v == 21 ? 0.0 : 1.0);
        m.m_orienField.m_strokes.clear();
        for (double y : {-2.0, 2.0}) {
            TOrientationStroke& stroke = m.m_orienField.m_strokes.emplace_back();
            for (int k = 0; k < 6; ++k) stroke.push_back(sampleAt(m, vec3(-3.0 + 0.8 * k, y + 0.6 * k, 0.5 * y)));
        }
        m.m_excitation->m_chartVent = {{0, 0}, {0.2, 0.7}, {0.6, 0.1}};
        m.m_excitation->m_chartAtri = {{0, 0.1}, {0.5, 0.5}};
        m.m_iterationN = 17;
        m.m_excitation->m_amplitude = 0.8;
        m.m_excitation->m_propagationMode = true;
        m.m_excitation->m_numOfWave = 2.5;
        m.m_excitation->m_numOfWaveA = 1.25;
        for (int i = 0; i < n; ++i) m.m_vtxIsVentriOrAtrium[i] = static_cast<int16_t>(i % 3);
        for (size_t i = 0; i < m.m_polygonIDs.size(); ++i) m.m_polygonIDs[i] = static_cast<int16_t>(i % 5);
        m.m_trisVR = {{0, 1, 2}, {2, 3, 4}};
        m.m_trisVL = {{5, 6, 7}};
        m.m_trisAL = {{60, 61, 62}};
    }
    std::string save(const TLSMModel& m, const std::string& path) {
        std::string error;
        EXPECT_TRUE(saveProjectTo(m, path, error)) << error;
        return testfiles::readText(path);
    }
    /// Writes the authored model's records, changed by edit, as the project file.
    void writeEdited(const std::function<void(ProjectRecord&)>& edit) {
        std::filesystem::remove(vm);
        auto model = load();
        author(*model);
        ProjectRecord record = projectRecordOf(*model);
        edit(record);
        std::string text, error;
        ASSERT_TRUE(formatProjectText(record, text, error)) << error;
        testfiles::writeText(vm, text);
    }
    TempDir dir;
    std::string base = dir.file("heart");
    std::string vm = base + ".vm";
};

TEST_F(ProjectFileTest, WithoutAFileOnlyTheLoadingLineIsPrinted) {
    DiagCapture diag;
    TLSMModel model;
    ASSERT_TRUE(model.loadModel(base));
    EXPECT_TRUE(diag.contains("\n\n\nloading " + vm + "\n"));
    EXPECT_FALSE(diag.contains("Loading is succeeded"));
    EXPECT_FALSE(diag.contains("post process"));
    EXPECT_EQ(model.m_projectLoad.status, ProjectLoadResult::Status::NoFile);
}

TEST_F(ProjectFileTest, SaveLoadSaveIsByteIdenticalAndKeepsEverything) {
    auto authored = load();
    author(*authored);
    const std::string first = save(*authored, vm);

    RecordingShell shell;
    auto loaded = load();
    EXPECT_EQ(loaded->m_projectLoad.status, ProjectLoadResult::Status::Loaded);
    EXPECT_EQ(shell.refreshes, 1);
    EXPECT_TRUE(shell.messages.empty());
    EXPECT_EQ(save(*loaded, dir.file("again.vm")), first);

    const TLSMModel& a = *authored;
    const TLSMModel& b = *loaded;
    ASSERT_EQ(b.m_phaseField.m_constraints.size(), 3u);
    for (size_t i = 0; i < 3; ++i) expectSameSamples(a.m_phaseField.m_constraints[i], b.m_phaseField.m_constraints[i]);
    EXPECT_EQ(b.m_phaseField.m_constraints[2].m_target, 0.5);
    ASSERT_EQ(b.m_orienField.m_strokes.size(), 2u);
    for (size_t s = 0; s < 2; ++s) {
        ASSERT_EQ(b.m_orienField.m_strokes[s].size(), 6u);
        for (size_t k = 0; k < 6; ++k)
            expectSameSamples(a.m_orienField.m_strokes[s][k], b.m_orienField.m_strokes[s][k]);
    }
    EXPECT_EQ(b.m_orienField.m_depthField.m_constraints.size(), 5u);
    EXPECT_EQ(b.m_excitation->m_chartVent, a.m_excitation->m_chartVent);
    EXPECT_EQ(b.m_excitation->m_chartAtri, a.m_excitation->m_chartAtri);
    EXPECT_EQ(b.m_iterationN, 17);
    EXPECT_EQ(b.m_excitation->m_amplitude, 0.8);
    EXPECT_TRUE(b.m_excitation->m_propagationMode);
    EXPECT_FALSE(b.m_excitation->m_propagationModeA);
    EXPECT_EQ(b.m_excitation->m_numOfWave, 2.5);
    EXPECT_EQ(b.m_excitation->m_numOfWaveA, 1.25);
    EXPECT_EQ(b.m_vtxIsVentriOrAtrium, a.m_vtxIsVentriOrAtrium);
    EXPECT_EQ(b.m_polygonIDs, a.m_polygonIDs);
    EXPECT_EQ(b.m_trisVR, a.m_trisVR);
    EXPECT_EQ(b.m_trisVL, a.m_trisVL);
    EXPECT_TRUE(b.m_trisAR.empty());
    EXPECT_EQ(b.m_trisAL, a.m_trisAL);
    for (int i = 0; i < b.vertexCount(); ++i) EXPECT_LT(distance(b.m_vtxOrigPos[i], a.m_vtxOrigPos[i]), 1e-6);
    EXPECT_EQ(b.m_verts, b.m_vtxOrigPos);

    // The loaded constraints were solved for (phase) and the tables follow the loaded chart.
    EXPECT_LT(b.m_phaseField.m_value[0], 0.2);
    EXPECT_GT(b.m_phaseField.m_value[b.vertexCount() - 1], 0.8);
    EXPECT_NEAR(b.m_excitation->m_tableVent[0].x, 1.0, 1e-12);
    EXPECT_NEAR(b.m_excitation->m_tableVent[20].x, 1.0 - evalChart(a.m_excitation->m_chartVent, 20 / 99.0) * 0.8,
                1e-12);
    // The strokes turned the fibres away from the default x axis somewhere.
    bool turned = false;
    for (const TVertexFrame& f : b.m_orienField.m_frames) turned |= distance(f.m_primaryDir, vec3(1, 0, 0)) > 1e-3;
    EXPECT_TRUE(turned);
    // The surface was rebuilt at the loaded positions.
    EXPECT_EQ(b.m_surface.verts()[0], b.m_verts[b.m_surfVtxSource[0].vertA]);
}

TEST_F(ProjectFileTest, SaveKeyConfirmsThenWritesBesideTheMesh) {
    auto model = load();
    RecordingShell shell;
    ASSERT_TRUE(saveProject(*model));
    ASSERT_EQ(shell.messages.size(), 1u);
    EXPECT_EQ(shell.messages[0], "the system save current Control Fields and Deformation Charts in" + vm);
    EXPECT_EQ(testfiles::readText(vm), save(*model, dir.file("direct.vm")));
    TLSMModel empty;
    EXPECT_FALSE(saveProject(empty));
    EXPECT_EQ(shell.messages.size(), 1u);
}

TEST_F(ProjectFileTest, InterruptedSaveLeavesThePreviousFileAndTellsTheUser) {
    auto model = load();
    author(*model);
    const std::string previous = save(*model, vm);
    model->m_iterationN = 3;
    RecordingShell shell;
    DiagCapture quiet;
    setWriteFailureAfterBytesForTesting(100);
    EXPECT_FALSE(saveProject(*model));
    setWriteFailureAfterBytesForTesting(-1);
    EXPECT_EQ(testfiles::readText(vm), previous);
    ASSERT_EQ(shell.messages.size(), 2u);
    EXPECT_NE(shell.messages[1].find("not saved"), std::string::npos);
    size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 3u);  // .node, .ele, .vm: no temporary file left behind
}

/// Whether a new file can be created in folder (it is removed again at once).
bool canCreateFileIn(const std::string& folder) {
    const std::string probe = folder + "/.probe";
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

TEST_F(ProjectFileTest, AutosaveOfAModelInAReadOnlyFolderGoesToTheUsersFolderAndIsRestoredFromThere) {
    // An installed copy: the model in a folder the user may not write, the user's data folder apart.
    const std::string installed = dir.file("installed"), appData = dir.file("appdata");
    std::filesystem::create_directory(installed);
    std::filesystem::create_directory(appData);
    const std::string heart = installed + "/heart";
    testmesh::writeTetGen(testmesh::cube(3), heart);
    auto model = std::make_unique<TLSMModel>();
    {
        DiagCapture quiet;
        ASSERT_TRUE(model->loadModel(heart));
    }
    model->m_iterationN = 9;
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(appData.c_str(), 0777);
    ::chmod(installed.c_str(), 0555);
    struct Restore {
        std::string folder;
        ~Restore() {
            ::chmod(folder.c_str(), 0755);
            setAutosaveFallbackFolder("");
        }
    } restore{installed};
    setAutosaveFallbackFolder(appData + "/velmora");
    const std::string fallback = fallbackAutosavePathOf(heart);
    ASSERT_EQ(fallback.rfind(appData + "/velmora/heart-", 0), 0u) << fallback;

    if (!canCreateFileIn(installed)) {
        std::string error, written;
        ASSERT_TRUE(writeAutosave(*model, error, &written)) << error;
        EXPECT_EQ(written, fallback);
    } else {
        // Root writes into any folder: the autosave runs in a child process that has given up its
        // privileges in a user namespace of its own, where the folder is read-only as for a user.
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (unshare(CLONE_NEWUSER) != 0) _exit(77);
            if (canCreateFileIn(installed)) _exit(78);
            std::string error, written;
            _exit(writeAutosave(*model, error, &written) && written == fallback ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        if (WEXITSTATUS(status) == 77 || WEXITSTATUS(status) == 78)
            GTEST_SKIP() << "running as root where no user namespace can be made: no folder can be unwritable here";
        ASSERT_EQ(WEXITSTATUS(status), 0);
    }
    EXPECT_FALSE(testfiles::exists(autosavePathOf(heart)));
    ASSERT_TRUE(testfiles::exists(fallback));
    EXPECT_EQ(existingAutosavePathOf(heart), fallback);
    EXPECT_TRUE(autosaveIsNewer(heart));

    // The next session finds the work there and restores it.
    TLSMModel reloaded;
    DiagCapture quiet;
    ASSERT_TRUE(reloaded.loadModel(heart));
    EXPECT_EQ(reloaded.m_iterationN, 10);
    std::string error;
    ASSERT_TRUE(restoreAutosave(reloaded, error)) << error;
    EXPECT_EQ(reloaded.m_iterationN, 9);

    // A model of the same name in another folder has a file of its own; removing clears both places.
    EXPECT_NE(fallbackAutosavePathOf(base), fallback);
    removeAutosave(heart);
    EXPECT_FALSE(testfiles::exists(fallback));
    EXPECT_FALSE(autosaveIsNewer(heart));
}

TEST_F(ProjectFileTest, AmplitudeAboveOneFallsBackAndOneStays) {
    for (const auto& [value, expected] : {std::pair{1.5, 0.3}, {1.0, 1.0}, {0.25, 0.25}}) {
        writeEdited([&](ProjectRecord& r) { entryOf(r, ProjectKey::GlobalAmplitudeVent).realValue = value; });
        auto model = load();
        EXPECT_EQ(model->m_excitation->m_amplitude, expected) << value;
        EXPECT_NEAR(model->m_excitation->m_tableVent[20].x,
                    1.0 - evalChart(model->m_excitation->m_chartVent, 20 / 99.0) * expected, 1e-12);
    }
}

TEST_F(ProjectFileTest, ValuesOutsideTheDialogsRangesAreHeldToItsLimitsWithALineEach) {
    writeEdited([&](ProjectRecord& r) {
        entryOf(r, ProjectKey::GlobalAmplitudeVent).realValue = -0.5;
        entryOf(r, ProjectKey::GlobalNumOfWave).realValue = 0.0;
        entryOf(r, ProjectKey::GlobalNumOfWaveA).realValue = 1e9;
    });
    DiagCapture diag;
    auto model = std::make_unique<TLSMModel>();
    ASSERT_TRUE(model->loadModel(base));
    const TGlobalExcitation& e = *model->m_excitation;
    EXPECT_EQ(e.m_amplitude, 0.01);
    EXPECT_EQ(e.m_numOfWave, 0.01);
    EXPECT_EQ(e.m_numOfWaveA, 10.0);
    EXPECT_TRUE(
        diag.contains("loadProject: #GlobalAmplitudeVent -0.5 is outside the dialog's 0.01 to 10; 0.01 is used"))
        << diag.text();
    EXPECT_TRUE(diag.contains("loadProject: #GlobalNumOfWave 0 is outside"));
    EXPECT_TRUE(diag.contains("loadProject: #GlobalNumOfWaveA 1e+09 is outside"));
    // The tables follow the held amplitude.
    EXPECT_NEAR(e.m_tableVent[20].x, 1.0 - evalChart(e.m_chartVent, 20 / 99.0) * 0.01, 1e-12);
}

TEST_F(ProjectFileTest, AcceptedButIgnoredKeywordsLoadSilently) {
    writeEdited([](ProjectRecord&) {});
    auto plain = load();
    std::string text = testfiles::readText(vm);
    text.insert(text.find("#VelmoraSaveFileEnd"),
                "#GlobalVolumePreserve 1\n#GlobalVolumePreserveA 1\n#GlobalAmplitudeVentIn 0.7\n"
                "#GlobalAmplitudeVentOut 0.9\n#OtherFriction 0.3\n#GlobalAmplitudeA 0.99\n#OtherGravity 9.8\n"
                "#AponeuroTris #v 3 1 2 3 #t 1 1 2 3 #e 2 1 2 2 3\n");
    testfiles::writeText(vm, text);
    RecordingShell shell;
    DiagCapture diag;
    TLSMModel model;
    ASSERT_TRUE(model.loadModel(base));
    EXPECT_FALSE(diag.contains("strange token"));
    EXPECT_FALSE(diag.contains("error"));
    EXPECT_TRUE(shell.messages.empty());
    EXPECT_EQ(model.m_projectLoad.status, ProjectLoadResult::Status::Loaded);
    expectSameState(model, *plain);
}

TEST_F(ProjectFileTest, WithoutAnOrientationRecordTheLoadersFieldStays) {
    writeEdited([](ProjectRecord& r) {
        r.entries.erase(r.entries.begin() + 2);
        ASSERT_NE(r.entries[2].key, ProjectKey::OrienField);
    });
    auto model = load();
    auto defaults = loadDefaults();
    EXPECT_EQ(model->m_projectLoad.status, ProjectLoadResult::Status::Loaded);
    EXPECT_TRUE(model->m_orienField.m_strokes.empty());
    EXPECT_TRUE(model->m_orienField.m_depthField.m_constraints.empty());
    EXPECT_EQ(model->m_orienField.m_depthField.m_value, defaults->m_orienField.m_depthField.m_value);
    // The frames depend only on the strokes and depth, not on the positions, when there are none.
    expectFramesNear(model->m_orienField.m_frames, defaults->m_orienField.m_frames);
}

TEST_F(ProjectFileTest, BothChartBlockFormsLoad) {
    writeEdited([](ProjectRecord&) {});
    std::string text = testfiles::readText(vm);
    const size_t from = text.find("#GlobalExcitation");
    const size_t to = text.find("#IterationN");
    text.replace(from, to - from,
                 "#GlobalExcitation #Function first 2 0 0.2 0.5 0.6 second 1 0.1 0.1 third 0 #FunctionEnd\n"
                 "#FunctionNew constraints 2 0 0.3 0.4 0.9 #FunctionEnd\n");
    testfiles::writeText(vm, text);
    DiagCapture diag;
    auto model = load();
    EXPECT_EQ(model->m_excitation->m_chartVent, (TChart{{0, 0.2}, {0.5, 0.6}}));
    EXPECT_EQ(model->m_excitation->m_chartAtri, (TChart{{0, 0.3}, {0.4, 0.9}}));
    EXPECT_NEAR(model->m_excitation->m_tableVent[0].x, 1.0 - 0.2 * 0.8, 1e-12);
}

TEST_F(ProjectFileTest, OrientationRecordSeesTheRestPositionsOfItsMoment) {
    // A non-uniform warp of the rest positions changes where the depth interpolant is evaluated.
    auto warp = [](ProjectRecord& r) {
        for (vec3& p : entryOf(r, ProjectKey::VtxOrigPos).positions) p += vec3(0.05 * p.y * p.y, 0.0, 0.1 * p.x);
    };
    auto moveToEnd = [](ProjectRecord& r, ProjectKey key) {
        ProjectEntry e = entryOf(r, key);
        r.entries.erase(std::find_if(r.entries.begin(), r.entries.end(), [&](const auto& x) { return x.key == key; }));
        r.entries.push_back(e);
    };
    writeEdited([&](ProjectRecord& r) {
        r.entries.erase(std::find_if(r.entries.begin(), r.entries.end(),
                                     [](const auto& x) { return x.key == ProjectKey::VtxOrigPos; }));
    });
    const std::vector<double> depthAtLoaderPositions = load()->m_orienField.m_depthField.m_value;

    writeEdited([&](ProjectRecord& r) { warp(r), moveToEnd(r, ProjectKey::VtxOrigPos); });
    auto orientationFirst = load();
    writeEdited([&](ProjectRecord& r) { warp(r), moveToEnd(r, ProjectKey::OrienField); });
    auto positionsFirst = load();

    EXPECT_EQ(orientationFirst->m_orienField.m_depthField.m_value, depthAtLoaderPositions);
    EXPECT_EQ(orientationFirst->m_vtxOrigPos, positionsFirst->m_vtxOrigPos);
    double largest = 0.0;
    for (size_t i = 0; i < depthAtLoaderPositions.size(); ++i)
        largest = std::max(largest,
                           std::fabs(positionsFirst->m_orienField.m_depthField.m_value[i] - depthAtLoaderPositions[i]));
    EXPECT_GT(largest, 1e-3);
}

TEST_F(ProjectFileTest, FilesThatDoNotMatchTheMeshAreRefusedWhole) {
    struct Case {
        const char* record;
        std::function<void(ProjectRecord&)> edit;
    };
    const std::vector<Case> cases = {
        {"#VtxOrigPos", [&](ProjectRecord& r) { entryOf(r, ProjectKey::VtxOrigPos).positions.pop_back(); }},
        {"#PhaseField",
         [&](ProjectRecord& r) { entryOf(r, ProjectKey::PhaseField).constraints[1].m_tetVertex[2] = 64; }},
        {"#OrienField: constraint",
         [&](ProjectRecord& r) { entryOf(r, ProjectKey::OrienField).constraints[0].m_tetVertex[0] = -1; }},
        {"#OrienField: sample",
         [&](ProjectRecord& r) { entryOf(r, ProjectKey::OrienField).strokes[1][3].m_tetVertex[1] = 100000; }},
        {"#VtxIsVentriOrAtrium",
         [&](ProjectRecord& r) { entryOf(r, ProjectKey::VtxIsVentriOrAtrium).labels.push_back(1); }},
        {"#VentAtriWalls #VL", [&](ProjectRecord& r) { entryOf(r, ProjectKey::VentAtriWalls).walls[1][0][2] = 64; }},
    };
    writeEdited([](ProjectRecord&) {});
    auto defaults = loadDefaults();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record);
        writeEdited(c.edit);
        RecordingShell shell;
        auto model = load();
        EXPECT_EQ(model->m_projectLoad.status, ProjectLoadResult::Status::Refused);
        EXPECT_NE(model->m_projectLoad.message.find(c.record), std::string::npos) << model->m_projectLoad.message;
        ASSERT_EQ(shell.messages.size(), 1u);
        EXPECT_EQ(shell.messages[0].rfind("error vm file is not muched to the tetra mesh\n", 0), 0u);
        EXPECT_NE(shell.messages[0].find(c.record), std::string::npos);
        EXPECT_EQ(shell.refreshes, 0);
        expectSameState(*model, *defaults);
    }
}

TEST_F(ProjectFileTest, DamagedFileLoadsTheCompleteRecordsBeforeTheDamage) {
    writeEdited([](ProjectRecord&) {});
    std::string text = testfiles::readText(vm);
    text.resize(text.find("#VtxIsVentriOrAtrium") + 30);  // cut inside the label list
    testfiles::writeText(vm, text);
    RecordingShell shell;
    auto model = load();
    EXPECT_EQ(model->m_projectLoad.status, ProjectLoadResult::Status::Damaged);
    EXPECT_NE(model->m_projectLoad.message.find("#VtxIsVentriOrAtrium"), std::string::npos);
    EXPECT_EQ(model->m_phaseField.m_constraints.size(), 3u);
    EXPECT_EQ(model->m_iterationN, 17);
    EXPECT_EQ(model->m_vtxIsVentriOrAtrium, std::vector<int16_t>(64, 0));
    EXPECT_TRUE(model->m_trisVR.empty());
    ASSERT_EQ(shell.messages.size(), 1u);
    EXPECT_NE(shell.messages[0].find("damaged"), std::string::npos);
}

TEST_F(ProjectFileTest, StrokeFileRoundTripKeepsTheStrokes) {
    auto model = load();
    author(*model);
    const std::vector<TOrientationStroke> strokes = model->m_orienField.m_strokes;
    const std::string path = dir.file("fibres.vmfigstrs");
    DiagCapture quiet;
    ASSERT_TRUE(writeStrokeFile(*model, path));
    model->m_orienField.m_strokes.clear();
    ASSERT_TRUE(readStrokeFile(*model, path));
    ASSERT_EQ(model->m_orienField.m_strokes.size(), strokes.size());
    for (size_t s = 0; s < strokes.size(); ++s) {
        ASSERT_EQ(model->m_orienField.m_strokes[s].size(), strokes[s].size());
        for (size_t k = 0; k < strokes[s].size(); ++k)
            EXPECT_LT(distance(model->m_orienField.m_strokes[s][k].position(model->m_vtxOrigPos),
                               strokes[s][k].position(model->m_vtxOrigPos)),
                      2e-6);
    }
    testfiles::writeText(path, "strokeInfo 1 stroke 0 2 1 2 3");
    EXPECT_FALSE(readStrokeFile(*model, path));
    EXPECT_EQ(model->m_orienField.m_strokes.size(), strokes.size());
}

TEST_F(ProjectFileTest, ChartFileReplacesTheVentricularChartAndTables) {
    auto model = load();
    model->m_excitation->m_amplitude = 0.5;
    const std::string path = dir.file("chart.txt");
    testfiles::writeText(path, "chart 4\n0 0.5\n0.3 1.2\n0.3 0.2\n1.5 0.4\n");
    RecordingShell shell;
    DiagCapture quiet;
    ASSERT_TRUE(loadChartFile(*model, path));
    EXPECT_EQ(model->m_excitation->m_chartVent, (TChart{{0, 0.5}, {0.3, 1.0}, {1.0, 0.4}}));
    EXPECT_NEAR(model->m_excitation->m_tableVent[0].x, 0.75, 1e-12);
    EXPECT_EQ(shell.refreshes, 1);
    const auto tables = model->m_excitation->m_tableVent;
    testfiles::writeText(path, "chart 2 0 0.1 0.5 oops");
    EXPECT_FALSE(loadChartFile(*model, path));
    EXPECT_EQ(model->m_excitation->m_chartVent, (TChart{{0, 0.5}, {0.3, 1.0}, {1.0, 0.4}}));
    EXPECT_EQ(model->m_excitation->m_tableVent, tables);
}

}  // namespace
