// The undo history on a loaded model: every kind of step gives back the project file byte for
// byte, the fibre lines follow a rest shape put back, the limits drop the oldest steps, the saved
// mark, and the autosave.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <limits>
#include <thread>

#include "common/TestFiles.h"
#include "common/TestMeshes.h"
#include "fields/FibrePresets.h"
#include "fields/FibreRandom.h"
#include "fields/TSmoothField.h"
#include "fields/TTensorField.h"
#include "linalg/Diagnostics.h"
#include "model/Autosave.h"
#include "model/ModelGeometry.h"
#include "model/ProjectFile.h"
#include "model/RuleBasedFibreModel.h"
#include "model/TLSMModel.h"
#include "model/UndoHistory.h"

namespace {

using testfiles::TempDir;

class UndoHistoryTest : public ::testing::Test {
   protected:
    void SetUp() override {
        testmesh::writeTetGen(testmesh::cube(3), base);
        DiagCapture quiet;
        ASSERT_TRUE(model.loadModel(base));
        history.reset(&model);
    }
    /// One gesture: the project text before and after, the step committed under name.
    struct Texts {
        std::string before, after;
    };
    Texts gesture(const std::string& name, const std::function<void(TLSMModel&)>& change) {
        DiagCapture quiet;
        Texts t;
        t.before = projectTextOf(model);
        change(model);
        EXPECT_TRUE(history.commit(model, name)) << name;
        t.after = projectTextOf(model);
        EXPECT_NE(t.before, t.after) << name;
        return t;
    }
    void addVertexConstraint(TSmoothField& field, int vertex, double value) {
        addConstraintAtVertex(field.m_constraints, model.m_vtxOrigPos, vertex, value);
        updateFieldHarmonic(field, *model.m_fieldMatrix);
    }

    using FibreLineSets = std::array<std::vector<TFibreLine>, 4>;
    /// Where the points of the four fibre-line sets lie on the given vertex positions, set after set.
    static std::vector<vec3> fibrePoints(const FibreLineSets& sets, const std::vector<vec3>& positions) {
        std::vector<vec3> points;
        for (const std::vector<TFibreLine>& set : sets)
            for (const TFibreLine& line : set)
                for (const auto& sample : line) points.push_back(sample.first.position(positions));
        return points;
    }
    /// Undoes (or redoes) one step of m with the fibre-line seeds drawn from their start, and checks
    /// that m's lines are the ones a fresh tracing from the same seeds gives on the shape and frames
    /// put back, and that the lines shown before were not.
    static void expectLinesTracedAfresh(UndoHistory& h, TLSMModel& m, bool undo, const char* what) {
        const FibreLineSets before = m.m_orienField.m_fibreLines;
        resetFibreRandomForTesting();
        ASSERT_TRUE(undo ? h.undo(m) : h.redo(m)) << what;
        TTensorField fresh = m.m_orienField;
        resetFibreRandomForTesting();
        fresh.buildAllFibreLines(m.m_tets, m.m_vtxOrigPos, m.m_vtxIsVentriOrAtrium);
        const std::vector<vec3> expected = fibrePoints(fresh.m_fibreLines, m.m_vtxOrigPos);
        ASSERT_FALSE(expected.empty()) << what;
        EXPECT_EQ(largestGap(fibrePoints(m.m_orienField.m_fibreLines, m.m_vtxOrigPos), expected), 0.0) << what;
        EXPECT_GT(largestGap(fibrePoints(before, m.m_vtxOrigPos), expected), kStaleLineGap)
            << what << ": the lines shown before";
    }
    /// The largest distance between corresponding points; infinite when the counts differ.
    static double largestGap(const std::vector<vec3>& a, const std::vector<vec3>& b) {
        if (a.size() != b.size()) return std::numeric_limits<double>::infinity();
        double gap = 0.0;
        for (size_t i = 0; i < a.size(); ++i) gap = std::max(gap, (a[i] - b[i]).norm());
        return gap;
    }
    /// Lines traced for another shape or other frames lie further than this from the right ones
    /// (a hundredth of a walk step).
    static constexpr double kStaleLineGap = TTensorField::kWalkStep / 100;

    TempDir dir;
    std::string base = dir.file("heart");
    TLSMModel model;
    UndoHistory history;
};

TEST_F(UndoHistoryTest, EveryKindOfStepUndoesAndRedoesTheProjectFileByteForByte) {
    const int n = model.vertexCount();
    struct Kind {
        std::string name;
        std::function<void(TLSMModel&)> change;
    };
    const std::vector<Kind> kinds = {
        {"Phase constraints", [&](TLSMModel& m) { addVertexConstraint(m.m_phaseField, 3, 1.0); }},
        {"Amplitude constraints", [&](TLSMModel& m) { addVertexConstraint(m.m_ampliField, n - 2, -1.0); }},
        {"Depth constraints",
         [&](TLSMModel& m) {
             TTensorField& f = m.m_orienField;
             addConstraintAtVertex(f.m_depthField.m_constraints, m.m_vtxOrigPos, 7, 1.0);
             f.updateField_RBF(f.m_depthField, m.m_vtxOrigPos);
             f.updateOrientation(m.m_tets, m.m_vtxOrigPos, m.m_smNeighbors, m.m_vtxIsVentriOrAtrium);
         }},
        {"Orientation stroke",
         [&](TLSMModel& m) {
             addOrientationStroke(
                 m.m_orienField, {m.m_verts[0], m.m_verts[1], m.m_verts[5], m.m_verts[6], m.m_verts[10], m.m_verts[11]},
                 m.m_tets, m.m_verts);
         }},
        {"Label ventricles", [&](TLSMModel& m) { m.m_vtxIsVentriOrAtrium[4] = m.m_vtxIsVentriOrAtrium[9] = 1; }},
        {"Right ventricle wall",
         [&](TLSMModel& m) {
             m.m_polygonIDs[2] = 1;
             m.m_trisVR = {{0, 1, 2}};
         }},
        {"Move model",
         [&](TLSMModel& m) {
             double matrix[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0.5, 0, 0, 1};
             ASSERT_TRUE(transformModel(m, matrix));
         }},
        {"Ventricle chart",
         [&](TLSMModel& m) {
             m.m_excitation->m_chartVent = {{0, 0}, {0.3, 0.9}};
         }},
        {"Global settings",
         [&](TLSMModel& m) {
             m.m_iterationN = 12;
             m.m_excitation->m_numOfWaveA = 2.0;
         }},
    };
    std::vector<Texts> texts;
    for (const Kind& k : kinds) texts.push_back(gesture(k.name, k.change));
    ASSERT_EQ(history.undoCount(), kinds.size());

    const std::string last = projectTextOf(model);
    for (size_t i = kinds.size(); i-- > 0;) {
        EXPECT_EQ(history.undoName(), kinds[i].name);
        ASSERT_TRUE(history.undo(model));
        EXPECT_EQ(projectTextOf(model), texts[i].before) << kinds[i].name;
    }
    EXPECT_FALSE(history.canUndo());
    EXPECT_FALSE(history.undo(model));
    for (size_t i = 0; i < kinds.size(); ++i) {
        EXPECT_EQ(history.redoName(), kinds[i].name);
        ASSERT_TRUE(history.redo(model));
        EXPECT_EQ(projectTextOf(model), texts[i].after) << kinds[i].name;
    }
    EXPECT_EQ(projectTextOf(model), last);
    EXPECT_FALSE(history.redo(model));
}

TEST_F(UndoHistoryTest, UndoRestoresWhatTheFileDoesNotHoldAndTheDerivedState) {
    const std::vector<double> amplitude = model.m_ampliField.m_value;
    const std::vector<TVertexFrame> frames = model.m_orienField.m_frames;
    const std::vector<vec3> rest = model.m_vtxOrigPos;

    // Amplitude paint changes values only: the file stays, the step is still one.
    const std::string text = projectTextOf(model);
    ASSERT_TRUE(paintAmplitudeAtRay(model, {1.0, 1.0, 20.0}, {0, 0, -1}, -0.5));
    EXPECT_TRUE(history.commit(model, ""));
    EXPECT_EQ(history.undoName(), "Amplitude paint");
    EXPECT_EQ(projectTextOf(model), text);
    double matrix[16] = {2, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1};
    ASSERT_TRUE(transformModel(model, matrix));
    EXPECT_TRUE(history.commit(model, "Scale model"));

    ASSERT_TRUE(history.undo(model));
    EXPECT_EQ(model.m_vtxOrigPos, rest);
    EXPECT_EQ(model.m_verts, rest);
    ASSERT_EQ(model.m_orienField.m_frames.size(), frames.size());
    for (size_t i = 0; i < frames.size(); ++i)
        EXPECT_EQ(model.m_orienField.m_frames[i].m_primaryDir, frames[i].m_primaryDir);
    // The surface follows the rest shape back.
    EXPECT_EQ(model.m_surface.verts()[0], model.m_verts[model.m_surfVtxSource[0].vertA]);
    ASSERT_TRUE(history.undo(model));
    EXPECT_EQ(model.m_ampliField.m_value, amplitude);

    // A new step after an undo drops the redo branch.
    model.m_iterationN = 3;
    EXPECT_TRUE(history.commit(model, "Stiffness"));
    EXPECT_FALSE(history.canRedo());
    // Nothing changed: no step.
    EXPECT_FALSE(history.commit(model, "Nothing"));
    EXPECT_EQ(history.undoCount(), 1u);
}

TEST_F(UndoHistoryTest, UndoAndRedoOfAMoveTraceTheFibreLinesOnTheShapePutBack) {
    // The model scaled up, then its field updated there: the lines are traced in the scaled shape,
    // where a step of the walk covers half as much of the tissue.
    const double grow[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1};
    ASSERT_TRUE(transformModel(model, grow));
    ASSERT_TRUE(history.commit(model, "Scale model"));
    {
        DiagCapture quiet;
        resetFibreRandomForTesting();
        model.m_orienField.updateOrientation(model.m_tets, model.m_vtxOrigPos, model.m_smNeighbors,
                                             model.m_vtxIsVentriOrAtrium);
    }
    expectLinesTracedAfresh(history, model, true, "undo");
    expectLinesTracedAfresh(history, model, false, "redo");
}

TEST_F(UndoHistoryTest, UndoAndRedoOfARestoredAutosaveTraceTheFibreLinesOnTheShapePutBack) {
    // Work autosaved after the model was turned and given a stroke; restored on the model as the
    // file holds it, it brings another rest shape and frames with lines traced for them.
    std::string error;
    const double turn[16] = {0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1, 0, 0.5, 0, 0, 1};
    ASSERT_TRUE(transformModel(model, turn));
    addOrientationStroke(
        model.m_orienField,
        {model.m_verts[0], model.m_verts[1], model.m_verts[5], model.m_verts[6], model.m_verts[10], model.m_verts[11]},
        model.m_tets, model.m_verts);
    ASSERT_EQ(model.m_orienField.m_strokes.size(), 1u);
    ASSERT_TRUE(writeAutosave(model, error)) << error;

    TLSMModel reloaded;
    UndoHistory reloadedHistory;
    std::vector<vec3> fileShape;
    {
        DiagCapture quiet;
        ASSERT_TRUE(reloaded.loadModel(base));
        reloadedHistory.reset(&reloaded);
        fileShape = reloaded.m_vtxOrigPos;
        ASSERT_TRUE(restoreAutosave(reloaded, error)) << error;
    }
    ASSERT_TRUE(reloadedHistory.commit(reloaded, "Restore autosaved work"));
    ASSERT_NE(reloaded.m_vtxOrigPos, fileShape);
    expectLinesTracedAfresh(reloadedHistory, reloaded, true, "undo");
    EXPECT_EQ(reloaded.m_vtxOrigPos, fileShape);
    EXPECT_TRUE(reloaded.m_orienField.m_strokes.empty());
    expectLinesTracedAfresh(reloadedHistory, reloaded, false, "redo");
}

TEST_F(UndoHistoryTest, StepCountAndMemoryBudgetDropTheOldestSteps) {
    std::vector<std::string> before;
    for (int i = 0; i < 5; ++i) {
        before.push_back(projectTextOf(model));
        model.m_excitation->m_chartAtri = {{0, 0.1 * i}, {0.5, 0.05 * i}};
        ASSERT_TRUE(history.commit(model, "Atrium chart " + std::to_string(i)));
    }
    history.setLimits(3, UndoHistory::kDefaultBudgetBytes);
    EXPECT_EQ(history.undoCount(), 3u);
    while (history.undo(model)) {
    }
    EXPECT_EQ(projectTextOf(model), before[2]);  // steps 0 and 1 are gone
    EXPECT_EQ(history.redoName(), "Atrium chart 2");

    // A move of the whole model holds both rest shapes; a budget of two such steps keeps two.
    history.reset(&model);
    history.setLimits(100, UndoHistory::kDefaultBudgetBytes);
    double shift[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.25, 0, 0, 1};
    ASSERT_TRUE(transformModel(model, shift));
    ASSERT_TRUE(history.commit(model, "Move 1"));
    const size_t oneMove = history.bytesHeld();
    EXPECT_GT(oneMove, 2 * model.m_vtxOrigPos.size() * sizeof(vec3));
    for (int i = 2; i <= 4; ++i) {
        ASSERT_TRUE(transformModel(model, shift));
        ASSERT_TRUE(history.commit(model, "Move " + std::to_string(i)));
    }
    history.setLimits(100, 2 * oneMove + oneMove / 2);
    EXPECT_EQ(history.undoCount(), 2u);
    EXPECT_LE(history.bytesHeld(), 2 * oneMove + oneMove / 2);
    EXPECT_EQ(history.undoName(), "Move 4");
    ASSERT_TRUE(history.undo(model));
    ASSERT_TRUE(history.undo(model));
    EXPECT_FALSE(history.undo(model));
}

TEST_F(UndoHistoryTest, SavedMarkFollowsTheFileNotTheSteps) {
    EXPECT_FALSE(history.differsFromFile(model));
    model.m_iterationN = 4;
    EXPECT_TRUE(history.differsFromFile(model));
    ASSERT_TRUE(history.commit(model, "Stiffness"));
    ASSERT_TRUE(history.undo(model));
    EXPECT_FALSE(history.differsFromFile(model));  // back to what the file holds
    ASSERT_TRUE(history.redo(model));
    history.markSaved(model);
    EXPECT_FALSE(history.differsFromFile(model));
    ASSERT_TRUE(history.undo(model));
    EXPECT_TRUE(history.differsFromFile(model));
}

TEST_F(UndoHistoryTest, AutosaveIsOfferedWhenNewerAndRestoresTheWork) {
    std::string error;
    EXPECT_FALSE(autosaveIsNewer(base));
    ASSERT_TRUE(saveProjectTo(model, base + ".vm", error)) << error;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));

    addConstraintAtVertex(model.m_phaseField.m_constraints, model.m_vtxOrigPos, 2, 1.0);
    model.m_excitation->m_chartVent = {{0, 0}, {0.4, 0.6}};
    model.m_vtxIsVentriOrAtrium[1] = 2;
    ASSERT_TRUE(writeAutosave(model, error)) << error;
    EXPECT_TRUE(autosaveIsNewer(base));
    const std::string edited = projectTextOf(model);

    TLSMModel reloaded;
    {
        DiagCapture quiet;
        ASSERT_TRUE(reloaded.loadModel(base));
    }
    EXPECT_NE(projectTextOf(reloaded), edited);
    ASSERT_TRUE(restoreAutosave(reloaded, error)) << error;
    EXPECT_EQ(projectTextOf(reloaded), edited);
    EXPECT_NE(reloaded.m_phaseField.m_value, model.m_phaseField.m_value);  // solved on restore
    EXPECT_DOUBLE_EQ(reloaded.m_phaseField.m_value[2], 1.0);

    // A damaged autosave restores nothing.
    testfiles::writeText(autosavePathOf(base), edited.substr(0, edited.size() / 2));
    TLSMModel third;
    {
        DiagCapture quiet;
        ASSERT_TRUE(third.loadModel(base));
    }
    const std::string fileText = projectTextOf(third);
    {
        DiagCapture quiet;
        EXPECT_FALSE(restoreAutosave(third, error));
    }
    EXPECT_EQ(projectTextOf(third), fileText);

    // Saving afterwards makes the project file the newer one.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(saveProjectTo(model, base + ".vm", error)) << error;
    EXPECT_FALSE(autosaveIsNewer(base));
    removeAutosave(base);
    EXPECT_FALSE(testfiles::exists(autosavePathOf(base)));
}

}  // namespace

// Rule-based fibres and the cross-fibre exponent are settings of the project: their steps give back
// the file byte for byte, the frames and whether the rule is in force.
TEST(UndoHistoryRuleTest, RuleBasedFibresAndCrossFibreExponentUndoAndRedo) {
    TLSMModel model;
    UndoHistory history;
    DiagCapture quiet;
    ASSERT_TRUE(model.loadModel(testfiles::sourceDir() + "/models/ModelB"));
    history.reset(&model);
    const std::string original = projectTextOf(model);
    const std::vector<TVertexFrame> originalFrames = model.m_orienField.m_frames;
    const RuleBasedFibreSetting originalRule = model.m_orienField.m_ruleBased;
    const double originalExponent = model.m_excitation->m_crossFibreExponent;

    model.m_excitation->m_crossFibreExponent = 0.5;
    ASSERT_TRUE(history.commit(model, "cross-fibre"));
    std::string error;
    ASSERT_TRUE(applyRuleBasedFibres(model, 45.0, -45.0, true, error)) << error;
    ASSERT_TRUE(history.commit(model, "Rule-based fibres"));
    const std::string ruled = projectTextOf(model);
    const std::vector<TVertexFrame> ruledFrames = model.m_orienField.m_frames;
    EXPECT_NE(ruled.find("#RuleBasedFibres 45.000000 -45.000000\n#CrossFibreExponent     0.500000\n"),
              std::string::npos);

    ASSERT_TRUE(history.undo(model));
    ASSERT_TRUE(history.undo(model));
    EXPECT_EQ(projectTextOf(model), original);
    EXPECT_EQ(model.m_excitation->m_crossFibreExponent, originalExponent);
    EXPECT_EQ(model.m_excitation->m_tableVent[50],
              ventricularFactors(model.m_excitation->m_tableVent[50].x, model.m_excitation->m_crossFibreExponent));
    EXPECT_EQ(model.m_orienField.m_ruleBased.endoDegrees, originalRule.endoDegrees);
    for (size_t v = 0; v < originalFrames.size(); ++v)
        ASSERT_EQ(model.m_orienField.m_frames[v].m_primaryDir, originalFrames[v].m_primaryDir) << v;

    ASSERT_TRUE(history.redo(model));
    ASSERT_TRUE(history.redo(model));
    EXPECT_EQ(projectTextOf(model), ruled);
    EXPECT_TRUE(model.m_orienField.m_ruleBased.inForce);
    for (size_t v = 0; v < ruledFrames.size(); ++v)
        ASSERT_EQ(model.m_orienField.m_frames[v].m_primaryDir, ruledFrames[v].m_primaryDir) << v;

    // A preset replaces the rule's frames: the record goes from the file.
    applyFibrePreset(0, model.m_orienField, model.m_tets, model.m_vtxOrigPos);
    EXPECT_FALSE(model.m_orienField.m_ruleBased.inForce);
    EXPECT_EQ(projectTextOf(model).find("#RuleBasedFibres"), std::string::npos);
}
