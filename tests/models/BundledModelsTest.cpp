// Guards the bundled models: they load cleanly through the controller and keep the authored
// quantities (chambers, fibres, a healthy ejection fraction, a measurable wall) within range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <regex>

#include "common/TestFiles.h"
#include "linalg/Diagnostics.h"
#include "model/BeatMeasurements.h"
#include "model/MainWindowManager.h"
#include "model/Measurements.h"
#include "model/RuleBasedFibreModel.h"

namespace {

std::string modelPath(const std::string& name) { return testfiles::sourceDir() + "/models/" + name; }

/// Console lines of the error kind: anything the loaders print when something is wrong.
bool hasErrorLines(const std::string& text) {
    static const std::regex bad("error|erorr|wrong|strange|aaaaaa|not muched|fail|out of range|Could not",
                                std::regex::icase);
    return std::regex_search(text, bad);
}

class BundledHeartTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        capture = new DiagCapture;
        controller = new MainWindowManager(nullptr, modelPath("ModelB"));
        loadLog = capture->text();
    }
    static void TearDownTestSuite() {
        delete controller;
        delete capture;
    }
    static DiagCapture* capture;
    static MainWindowManager* controller;
    static std::string loadLog;
};
DiagCapture* BundledHeartTest::capture = nullptr;
MainWindowManager* BundledHeartTest::controller = nullptr;
std::string BundledHeartTest::loadLog;

TEST_F(BundledHeartTest, LoadsWithoutErrorsAndHoldsTheAuthoredState) {
    ASSERT_NE(controller->model(), nullptr) << loadLog;
    const TLSMModel& m = *controller->model();
    EXPECT_FALSE(hasErrorLines(loadLog)) << loadLog;
    EXPECT_GE(m.vertexCount(), 4000);
    EXPECT_LE(m.vertexCount(), 9000);
    EXPECT_EQ(m.m_surface.isValid(), 1);
    for (const Tetra& t : m.m_tets)
        ASSERT_GT(signedVolume6(m.m_vtxOrigPos[t.vIdx[0]], m.m_vtxOrigPos[t.vIdx[1]], m.m_vtxOrigPos[t.vIdx[2]],
                                m.m_vtxOrigPos[t.vIdx[3]]),
                  0.0);
    // Placed as "normalize" places it (box centred on (20, 20, 20)), shrunk to fit the start view.
    vec3 lo = m.m_vtxOrigPos[0], hi = lo;
    for (const vec3& p : m.m_vtxOrigPos)
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], p[a]);
            hi[a] = std::max(hi[a], p[a]);
        }
    EXPECT_GT(std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z}), 20.0);
    EXPECT_LT(std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z}), 40.0);
    EXPECT_NEAR(distance((lo + hi) * 0.5, vec3(20, 20, 20)), 0.0, 1e-4);

    const int ventricle = static_cast<int>(std::count(m.m_vtxIsVentriOrAtrium.begin(), m.m_vtxIsVentriOrAtrium.end(), 1));
    const int atrium = static_cast<int>(std::count(m.m_vtxIsVentriOrAtrium.begin(), m.m_vtxIsVentriOrAtrium.end(), 2));
    EXPECT_GT(ventricle, m.vertexCount() / 2);
    EXPECT_GT(atrium, m.vertexCount() / 10);
    EXPECT_EQ(ventricle + atrium, m.vertexCount());
    for (const auto* walls : {&m.m_trisVR, &m.m_trisVL, &m.m_trisAR, &m.m_trisAL}) EXPECT_GT(walls->size(), 100u);
    // Strokes round the atria; the ventricles' fibres by the rule, recomputed from its record.
    EXPECT_GE(m.m_orienField.m_strokes.size(), 12u);
    EXPECT_TRUE(m.m_orienField.m_ruleBased.inForce);
    EXPECT_GT(m.m_excitation->m_crossFibreExponent, -0.5);
    EXPECT_GE(m.m_orienField.m_depthField.m_constraints.size(), 4u);
    EXPECT_FALSE(m.m_phaseField.m_constraints.empty());
    EXPECT_TRUE(m.m_excitation->m_propagationMode);
    EXPECT_TRUE(m.m_excitation->m_propagationModeA);
    // Every chamber encloses a positive volume at rest; the left ventricle is the largest.
    const std::array<double, 4> v = m.computeChamberVolumes();
    for (double x : v) EXPECT_GT(x, 0.0);
    EXPECT_GT(v[1], v[0]);
    EXPECT_GT(v[1], v[2]);
    // The apex leads: phase grows from the apex towards the valve plane.
    EXPECT_LT(*std::min_element(m.m_phaseField.m_value.begin(), m.m_phaseField.m_value.end()), 0.05);
    EXPECT_GT(*std::max_element(m.m_phaseField.m_value.begin(), m.m_phaseField.m_value.end()), 0.95);
    // Fibre lines exist for both regions.
    EXPECT_FALSE(m.m_orienField.m_fibreLines[0].empty());
    EXPECT_FALSE(m.m_orienField.m_fibreLines[1].empty());
}

TEST_F(BundledHeartTest, BeatsWithAHealthyRepeatableEjectionFraction) {
    ASSERT_NE(controller->model(), nullptr);
    TLSMModel& m = *controller->model();
    controller->m_time = 0.0;
    ASSERT_TRUE(controller->startTimer());
    std::vector<double> lv;
    bool finite = true;
    for (int tick = 0; tick < 300; ++tick) {
        controller->onTimer();
        lv.push_back(m.computeChamberVolumes()[1]);
        finite = finite && std::all_of(m.m_verts.begin(), m.m_verts.end(), [](const vec3& p) { return isFinite(p); });
    }
    controller->stopTimer();
    ASSERT_TRUE(finite);
    const double maxV = *std::max_element(lv.begin(), lv.end());
    const double minV = *std::min_element(lv.begin(), lv.end());
    const double ef = (maxV - minV) / maxV * 100.0;
    EXPECT_GE(ef, 55.0);
    EXPECT_LE(ef, 70.0);
    // Beat to beat: the second and third cycles' extremes agree within 1 %.
    auto extremes = [&](int cycle) {
        auto first = lv.begin() + cycle * 100, last = first + 100;
        return std::make_pair(*std::min_element(first, last), *std::max_element(first, last));
    };
    const auto second = extremes(1), third = extremes(2);
    EXPECT_NEAR(second.first, third.first, 0.01 * second.first);
    EXPECT_NEAR(second.second, third.second, 0.01 * second.second);
    m.resetSimulation();
}

TEST_F(BundledHeartTest, WallThicknessProbeMeasuresMostTicks) {
    ASSERT_NE(controller->model(), nullptr);
    testfiles::TempDir dir;
    const std::string path = dir.file("wall.tex");
    controller->m_time = 0.0;
    ASSERT_TRUE(controller->startWallThicknessExport(path));
    for (int tick = 0; tick < 402; ++tick) controller->onTimer();
    controller->stopTimer();
    EXPECT_FALSE(controller->m_recordWall);
    const std::string text = testfiles::readText(path);
    const std::string crossing = "\x8c\xf0\x93\x5f";  // the Shift-JIS word at the start of a measurement line
    size_t measured = 0, pos = 0;
    while ((pos = text.find(crossing, pos)) != std::string::npos) {
        ++measured;
        ++pos;
    }
    EXPECT_GE(measured, 300u);
    // Both walls measure a plausible thickness (a few units of a heart 40 units long).
    double z[4], t1, t2;
    ASSERT_EQ(std::sscanf(text.c_str() + 4, "z0123 %lf %lf %lf %lf  ", z, z + 1, z + 2, z + 3), 4);
    const size_t thick = text.find("1-2");
    ASSERT_NE(thick, std::string::npos);
    ASSERT_EQ(std::sscanf(text.c_str() + thick + 3, " %lf %lf", &t1, &t2), 2);
    EXPECT_GT(t1, 1.0);
    EXPECT_LT(t1, 10.0);
    EXPECT_GT(t2, 1.0);
    EXPECT_LT(t2, 10.0);
    controller->model()->resetSimulation();
}

// The shipped heart's beat against the healthy adult ranges of echocardiography, cardiac MRI
// feature tracking and tagged MRI (README, "Physiology"), measured at end-systole of the first beat.
TEST(BundledHeartPhysiologyTest, EndSystoleLiesInTheHealthyRanges) {
    DiagCapture quiet;
    MainWindowManager controller(nullptr, modelPath("ModelB"));
    ASSERT_NE(controller.model(), nullptr);
    TLSMModel& m = *controller.model();

    // The rule's record gives the frames the rule gives now: nothing else replaced them on loading.
    const RuleBasedFibreSetting rule = m.m_orienField.m_ruleBased;
    ASSERT_TRUE(rule.inForce);
    const std::vector<TVertexFrame> loaded = m.m_orienField.m_frames;
    std::string error;
    ASSERT_TRUE(applyRuleBasedFibres(m, rule.endoDegrees, rule.epiDegrees, true, error)) << error;
    for (size_t v = 0; v < loaded.size(); ++v)
        ASSERT_EQ(loaded[v].m_primaryDir, m.m_orienField.m_frames[v].m_primaryDir) << v;

    BeatMeasurements beat(m);
    ASSERT_TRUE(beat.deformationIndices().ready()) << beat.deformationIndices().refusal();
    controller.m_time = 0.0;
    ASSERT_TRUE(controller.startTimer());
    for (int tick = 0; tick < 100; ++tick) {
        controller.onTimer();
        beat.addTick(m);
    }
    controller.stopTimer();
    ASSERT_TRUE(beat.finite());
    const DeformationIndexValues& es = beat.endSystoleIndices();
    ASSERT_TRUE(es.available);
    const struct {
        const char* name;
        double value, low, high;
    } indices[] = {{"ejection fraction", beat.leftVentricularEjectionFraction(m), 55.0, 70.0},
                   {"longitudinal strain", es.longitudinal, -24.0, -15.0},
                   {"circumferential strain", es.circumferential, -30.0, -18.0},
                   {"radial strain", es.radial, 25.0, 60.0},
                   {"apical rotation", es.apicalRotation, 3.0, 20.0},
                   {"basal rotation", es.basalRotation, -12.0, -1.0},
                   {"twist", es.twist, 8.0, 18.0}};
    for (const auto& index : indices) {
        EXPECT_GE(index.value, index.low) << index.name;
        EXPECT_LE(index.value, index.high) << index.name;
    }
}

TEST(BundledTubeTest, LoadsWithTheTubeSetUp) {
    DiagCapture capture;
    MainWindowManager controller(nullptr, modelPath("Tube"));
    ASSERT_NE(controller.model(), nullptr) << capture.text();
    EXPECT_FALSE(hasErrorLines(capture.text())) << capture.text();
    EXPECT_EQ(controller.model()->vertexCount(), 1200);
    EXPECT_EQ(controller.model()->m_surface.isValid(), 1);
    EXPECT_DOUBLE_EQ(controller.model()->m_excitation->m_amplitude, 0.4);
    EXPECT_TRUE(controller.m_bShowMesh && controller.m_bShowFibAtri && controller.m_bShowFibVent);
    // Layered spiral at 60 degrees: vertices 90..119 are turned by 150 degrees.
    EXPECT_NEAR(controller.model()->m_orienField.m_frames[100].m_primaryDir.y, std::cos(150.0 * M_PI / 180.0), 1e-9);

    // Its project file places it where the camera looks and makes it beat: every vertex a
    // ventricle, a contracting chart, and the lumen as the left ventricle closed at both ends.
    TLSMModel& m = *controller.model();
    vec3 lo = m.m_vtxOrigPos[0], hi = lo;
    for (const vec3& p : m.m_vtxOrigPos)
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], p[a]);
            hi[a] = std::max(hi[a], p[a]);
        }
    EXPECT_GT(hi.y - lo.y, 15.0);
    EXPECT_LT(hi.y - lo.y, 40.0);
    EXPECT_NEAR(distance((lo + hi) * 0.5, vec3(20, 20, 20)), 0.0, 1e-4);
    EXPECT_TRUE(std::all_of(m.m_vtxIsVentriOrAtrium.begin(), m.m_vtxIsVentriOrAtrium.end(), [](int16_t l) { return l == 1; }));
    // The inner cylinder's 9 x 30 x 2 triangles and two fans of 28 closing its ends.
    EXPECT_EQ(m.m_trisVL.size(), static_cast<size_t>(9 * 30 * 2 + 2 * 28));
    const double restLumen = m.computeChamberVolumes()[1];
    EXPECT_GT(restLumen, 0.0);
    ASSERT_TRUE(controller.startTimer());
    double smallest = restLumen;
    for (int tick = 0; tick < 100; ++tick) {
        controller.onTimer();
        smallest = std::min(smallest, m.computeChamberVolumes()[1]);
    }
    controller.stopTimer();
    for (const vec3& p : m.m_verts) ASSERT_TRUE(isFinite(p));
    // The lumen empties by more than a third in the beat (the wall thickens as the fibres shorten).
    EXPECT_LT(smallest, 0.67 * restLumen);
}

}  // namespace
