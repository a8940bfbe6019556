// The model's tick: contraction factors and stretch tensors, the beat of a tube, rest, reset and
// identical results for any thread count.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>

#include "model/SimTestModel.h"

namespace {

// A chart ramping from 0 at x = 0 to 0.8 at x = 1: every table entry differs.
const TChart kRamp = {{0.0, 0.0}, {1.0, 0.8}};

/// Runs `ticks` controller ticks (dt 0.01, time wrapped at the cycle length) from time 0.
void runTicks(TLSMModel& model, int ticks, double& time) {
    DiagCapture quiet;
    for (int k = 0; k < ticks; ++k) {
        time += 0.01;
        if (time > model.m_excitation->m_cycleLength) time = 0.0;
        model.updateModel(time, 0.01);
    }
}

double yExtent(const std::vector<vec3>& p) {
    auto [lo, hi] = std::minmax_element(p.begin(), p.end(), [](const vec3& a, const vec3& b) { return a.y < b.y; });
    return hi->y - lo->y;
}

TEST(ContractionFactorTest, AmplitudeScalesTheGlobalFactors) {
    TLSMModel model;
    simtest::setUpModel(model, testmesh::cube(2));
    TGlobalExcitation& e = *model.m_excitation;
    e.m_chartVent = {{0.0, 0.6}};
    e.m_chartAtri = {{0.0, 0.2}};
    buildTables(e);
    model.m_ampliField.m_value[0] = 0.0;
    model.m_ampliField.m_value[1] = -1.0;
    model.m_vtxIsVentriOrAtrium[2] = 2;
    model.m_vtxIsVentriOrAtrium[3] = 0;
    model.m_vtxContraction[3] = vec3(0.5, 2, 2);  // left over from an earlier labelling
    DiagCapture diag;
    model.updateModel(0.3, 0.01);
    EXPECT_EQ(diag.text().rfind("M= 10", 0), 0u);
    const double c = 1 - 0.6 * 0.5, ca = 1 - 0.2 * 0.5;
    EXPECT_EQ(model.m_vtxContraction[0], vec3(1, 1, 1));
    EXPECT_NEAR(model.m_vtxContraction[1].x, 2 - c, 1e-15);
    EXPECT_NEAR(model.m_vtxContraction[1].y, 2 - 1 / std::sqrt(c), 1e-15);
    EXPECT_NEAR(model.m_vtxContraction[2].x, ca, 1e-15);
    EXPECT_EQ(model.m_vtxContraction[3], vec3(0.5, 2, 2));
    EXPECT_NEAR(model.m_vtxContraction[4].x, c, 1e-15);
    EXPECT_NEAR(model.m_vtxContraction[4].z, 1 / std::sqrt(c), 1e-15);
}

TEST(ContractionFactorTest, PropagationIndexWrapsAndClamps) {
    TLSMModel model;
    simtest::setUpModel(model, testmesh::cube(2));
    TGlobalExcitation& e = *model.m_excitation;
    e.m_chartVent = kRamp;
    e.m_propagationMode = true;
    buildTables(e);
    ASSERT_NE(e.m_tableVent[99], e.m_tableVent[98]);
    ASSERT_NE(e.m_tableVent[99], e.m_tableVent[0]);
    DiagCapture quiet;
    // Phase 0 at t = 0: u = 0 becomes 1, index 100 is clamped to 99; also past the cycle end.
    for (double time : {0.0, 1.5}) {
        model.updateModel(time, 0.01);
        EXPECT_EQ(model.m_vtxContraction[0], e.m_tableVent[99]);
    }
    // Phase 0.3 at t = 0.555: u = 0.255, index 25; phase 0.7: u = -0.145 wraps to 0.855.
    model.m_phaseField.m_value[0] = 0.3;
    model.m_phaseField.m_value[1] = 0.7;
    model.updateModel(0.555, 0.01);
    EXPECT_EQ(model.m_vtxContraction[0], e.m_tableVent[25]);
    EXPECT_EQ(model.m_vtxContraction[1], e.m_tableVent[85]);

    // Two waves: phases 0 and 0.5 meet the same entry at every tick.
    e.m_numOfWave = 2.0;
    model.m_phaseField.m_value[0] = 0.0;
    model.m_phaseField.m_value[1] = 0.5;
    for (int k = 0; k < 100; ++k) {
        const double t = (k + 0.5) / 100;
        model.updateModel(t, 0.01);
        ASSERT_EQ(model.m_vtxContraction[0], model.m_vtxContraction[1]) << "t = " << t;
        ASSERT_EQ(model.m_vtxContraction[0], e.m_tableVent[k]) << "t = " << t;
    }
}

TEST(ContractionFactorTest, StretchTensorActsAlongTheFrame) {
    TLSMModel model;
    simtest::setUpModel(model, testmesh::cube(2), 1, vec3(1, 1, 0));
    model.m_excitation->m_chartVent = {{0.0, 0.6}};
    DiagCapture quiet;
    model.updateModel(0.2, 0.01);
    const TVertexFrame& f = model.m_orienField.m_frames[5];
    const vec3 s = model.m_vtxContraction[5];
    const auto& m = model.m_vtxStretch[5];
    const vec3 axes[3] = {f.m_primaryDir, f.m_depthDir, f.m_thirdDir};
    for (int k = 0; k < 3; ++k) {
        const vec3 a = axes[k];
        const vec3 image(m[0] * a.x + m[1] * a.y + m[2] * a.z, m[3] * a.x + m[4] * a.y + m[5] * a.z,
                         m[6] * a.x + m[7] * a.y + m[8] * a.z);
        EXPECT_LT(distance(image, a * s[k]), 1e-15);
    }
    EXPECT_NEAR(s.x, 0.7, 1e-15);
}

TEST(ContractionFactorTest, FullContractionStaysFinite) {
    TLSMModel model;
    simtest::setUpModel(model, testmesh::cube(2));
    TGlobalExcitation& e = *model.m_excitation;
    e.m_amplitude = 1.0;
    e.m_chartVent = {{0.0, 1.0}};
    buildTables(e);
    double time = 0.0;
    runTicks(model, 5, time);
    e.m_propagationMode = true;
    runTicks(model, 5, time);
    for (const vec3& p : model.m_verts) ASSERT_TRUE(isFinite(p));
    EXPECT_NEAR(model.m_vtxContraction[0].x, 0.01, 1e-15);

    // A huge negative amplitude (from a project file) stretches at most a hundredfold, with and
    // without propagation, and every position stays finite.
    model.resetSimulation();
    e.m_amplitude = -1e300;
    buildTables(e);
    for (bool propagate : {false, true}) {
        e.m_propagationMode = propagate;
        runTicks(model, 5, time);
        EXPECT_DOUBLE_EQ(model.m_vtxContraction[0].x, 100.0) << propagate;
        EXPECT_DOUBLE_EQ(model.m_vtxContraction[0].y, 0.1) << propagate;
        for (const vec3& p : model.m_verts) ASSERT_TRUE(isFinite(p)) << propagate;
    }
}

TEST(ModelTickTest, ModelAtRestStaysAtRest) {
    // Small cells give small clusters, where the truncated Jacobi fit (absolute tolerance) leaves
    // a residual turn: the mesh drifts by about 1e-4 of its size and then stays within that band.
    TLSMModel model;
    const double size = 3.0;
    simtest::setUpModel(model, testmesh::cube(6, size / 6));
    auto drift = [&] {
        double d = 0.0;
        for (int v = 0; v < model.vertexCount(); ++v)
            d = std::max(d, distance(model.m_verts[v], model.m_vtxOrigPos[v]));
        return d;
    };
    double time = 0.0;
    runTicks(model, 100, time);
    const double early = drift();
    EXPECT_LT(early, 3e-4 * size);
    for (int round = 0; round < 5; ++round) {
        runTicks(model, 100, time);
        EXPECT_LT(drift(), 1.1 * early);
    }
    EXPECT_EQ(model.m_surface.verts()[0], model.m_verts[model.m_surfVtxSource[0].vertA]);

    // Large clusters of the structured tube hardly move at all.
    TLSMModel tube;
    simtest::setUpModel(tube, testmesh::tube());
    runTicks(tube, 50, time);
    for (int v = 0; v < tube.vertexCount(); ++v) ASSERT_LT(distance(tube.m_verts[v], tube.m_vtxOrigPos[v]), 1e-9);
}

TEST(ModelTickTest, ContractingTubeShortensAlongItsFibresAndKeepsItsVolume) {
    TLSMModel model;
    simtest::setUpModel(model, testmesh::tube(), 1, vec3(0, 1, 0));
    TGlobalExcitation& e = *model.m_excitation;
    e.m_chartVent = {{0.0, 0.4}};  // c = 0.8 along the tube's axis
    buildTables(e);
    const double restLength = yExtent(model.m_vtxOrigPos), restVolume = model.m_simulator.restVolume();
    ASSERT_NEAR(restVolume, simtest::signedVolume(model.m_tets, model.m_vtxOrigPos), 1e-9);
    double time = 0.0;
    runTicks(model, 100, time);
    const double length = yExtent(model.m_verts);
    EXPECT_NEAR(length / restLength, 0.8, 0.01);
    EXPECT_NEAR(simtest::signedVolume(model.m_tets, model.m_verts), restVolume, 0.005 * restVolume);

    model.m_fixedVerts[3] = vec3();
    model.resetSimulation();
    EXPECT_EQ(model.m_verts, model.m_vtxOrigPos);
    EXPECT_TRUE(model.m_fixedVerts.empty());
    for (const vec3& v : model.m_simulator.velocities()) EXPECT_EQ(v, vec3());
    for (const auto& f : model.m_simulator.eigenFrames())
        EXPECT_EQ(f, (std::array<double, 9>{1, 0, 0, 0, 1, 0, 0, 0, 1}));
}

TEST(ModelTickTest, VertexOutsideEveryTetrahedronKeepsItsPlace) {
    TLSMModel model;
    auto data = testmesh::cube(2);
    data.verts.push_back({9, 9, 9});
    simtest::setUpModel(model, data);
    model.m_excitation->m_chartVent = {{0.0, 0.5}};
    double time = 0.0;
    runTicks(model, 20, time);
    EXPECT_EQ(model.m_verts[27], vec3(9, 9, 9));
    for (const vec3& p : model.m_verts) EXPECT_TRUE(isFinite(p));
    EXPECT_GT(distance(model.m_verts[0], model.m_vtxOrigPos[0]), 1e-3);
}

TEST(ModelTickTest, NothingHappensWithoutAModelOrWithMismatchedFields) {
    TLSMModel empty;
    empty.updateModel(0.1, 0.01);  // no excitation: nothing to do, no crash
    TLSMModel model;
    simtest::setUpModel(model, testmesh::cube(2));
    model.m_excitation->m_chartVent = {{0.0, 0.5}};
    model.m_phaseField.m_value.pop_back();
    DiagCapture diag;
    model.updateModel(0.1, 0.01);
    EXPECT_TRUE(diag.contains("updateModel: labels, phase, amplitude or frames do not match the 27 vertices"));
    EXPECT_EQ(model.m_verts, model.m_vtxOrigPos);
}

TEST(ModelTickTest, SameResultOnOneTwoAndThreeThreads) {
    const int defaultThreads = omp_get_max_threads();
    std::vector<std::vector<vec3>> results;
    for (int threads : {1, 2, 3}) {
        omp_set_num_threads(3);  // three workers at set-up, so the step may use up to three
        TLSMModel model;
        simtest::setUpModel(model, testmesh::tube(), 1, vec3(0, 1, 0.3));
        TGlobalExcitation& e = *model.m_excitation;
        e.m_chartVent = {{0.0, 0.0}, {0.3, 0.9}, {0.6, 0.1}};
        e.m_propagationMode = true;
        buildTables(e);
        for (int v = 0; v < model.vertexCount(); ++v) model.m_phaseField.m_value[v] = model.m_vtxOrigPos[v].y / 13.5;
        model.m_pinnedVerts = {0};
        model.m_fixedVerts[1199] = vec3(0, 15, 0);
        omp_set_num_threads(threads);
        double time = 0.0;
        runTicks(model, 50, time);
        EXPECT_EQ(model.m_simulator.stepThreads(), threads);
        results.push_back(model.m_verts);
    }
    omp_set_num_threads(defaultThreads);
    EXPECT_GT(distance(results[0][600], testmesh::tube().verts[600]), 1e-3);
    EXPECT_TRUE(results[0] == results[1]);
    EXPECT_TRUE(results[0] == results[2]);
}

/// Positions after 40 ticks of a hard, propagating contraction with the given kernels, on a
/// jittered grid (clusters of many sizes, a vertex count that is no multiple of the lanes) plus a
/// vertex outside every tetrahedron.
std::vector<vec3> jitteredGridBeat(const ShapeMatchingKernels& kernels, testmesh::TetData* grid = nullptr,
                                   size_t keptOffsetBytes = kKeptOffsetBytes) {
    auto data = testmesh::grid(5, 4, 3, [](int i, int j, int k) {
        return vec3(i + 0.3 * std::sin(7.0 * j + k), j + 0.25 * std::cos(3.0 * i + 5.0 * k), k + 0.2 * std::sin(i * j));
    });
    data.verts.push_back({9, 9, 9});
    TLSMModel model;
    model.m_simulator.setKeptOffsetBytes(keptOffsetBytes);
    simtest::setUpModel(model, data, 1, vec3(1, 0.4, 0.2));
    EXPECT_EQ(model.m_simulator.keepsOffsets(), keptOffsetBytes > 0);
    model.m_simulator.setKernels(kernels);
    TGlobalExcitation& e = *model.m_excitation;
    e.m_chartVent = {{0.0, 0.0}, {0.3, 0.9}, {0.6, 0.1}};
    e.m_propagationMode = true;
    buildTables(e);
    for (int v = 0; v < model.vertexCount(); ++v) model.m_phaseField.m_value[v] = model.m_vtxOrigPos[v].x / 6.0;
    double time = 0.0;
    runTicks(model, 40, time);
    if (grid) *grid = data;
    return model.m_verts;
}

TEST(ModelTickTest, EveryKernelVariantGivesTheSameBeat) {
    testmesh::TetData data;
    std::vector<std::vector<vec3>> results;
    std::vector<const ShapeMatchingKernels*> variants = {&genericShapeMatchingKernels()};
    if (avx2ShapeMatchingKernels() && __builtin_cpu_supports("avx2")) variants.push_back(avx2ShapeMatchingKernels());
    for (const ShapeMatchingKernels* kernels : variants) results.push_back(jitteredGridBeat(*kernels, &data));
    EXPECT_GT(distance(results[0][17], data.verts[17]), 1e-3);  // it moved
    for (size_t k = 1; k < results.size(); ++k) EXPECT_TRUE(results[k] == results[0]) << variants[k]->name;
    // Large meshes form the members' rest offsets on every pass instead of keeping them.
    for (const ShapeMatchingKernels* kernels : variants)
        EXPECT_TRUE(jitteredGridBeat(*kernels, nullptr, 0) == results[0]) << kernels->name << ", offsets formed";
}

TEST(ModelTickTest, FusedKernelsFollowThePlainOnesToRounding) {
    // The default kernels where the processor has FMA; the thread-count tests run them too.
    const ShapeMatchingKernels* fused = fusedShapeMatchingKernels();
    if (fused == nullptr) GTEST_SKIP() << "no AVX2 with FMA here";
    EXPECT_EQ(&bestShapeMatchingKernels(), fused);
    const std::vector<vec3> plain = jitteredGridBeat(genericShapeMatchingKernels());
    const std::vector<vec3> beat = jitteredGridBeat(*fused);
    double largest = 0.0;
    for (size_t v = 0; v < plain.size(); ++v) largest = std::max(largest, distance(plain[v], beat[v]));
    EXPECT_LT(largest, 1e-9);  // the grid is a few units across
}

}  // namespace
