// One simulation tick (updateModel: factors, stretch tensors, 10 shape-matching iterations,
// volume correction, re-alignment, integration, surface update) on tetrahedral grids of about
// 5,000, 20,000 and 60,000 vertices with a contracting, propagating chart.
// Arguments: cells per axis, threads.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <cmath>

#include "model/SimTestModel.h"

namespace {

/// A slightly sheared grid of (cells+1)^3 vertices with helical fibres, ventricle labels and a
/// phase gradient, already beating for a few ticks so the Jacobi warm starts are in use.
void prepareModel(TLSMModel& model, int cells) {
    auto data =
        testmesh::grid(cells, cells, cells, [](int i, int j, int k) { return vec3(i + 0.2 * j, j, k + 0.1 * i); });
    TLSMModel::normalizeModelSize(data.verts);
    simtest::setUpModel(model, data);
    const int n = model.vertexCount();
    for (int v = 0; v < n; ++v) {
        const vec3& p = model.m_vtxOrigPos[v];
        const double angle = 0.1 * p.z;
        TVertexFrame& f = model.m_orienField.m_frames[v];
        f.m_primaryDir = vec3(std::cos(angle), std::sin(angle), 0.0);
        f.m_depthDir = vec3(-std::sin(angle), std::cos(angle), 0.0);
        f.m_thirdDir = vec3(0, 0, 1);
        model.m_phaseField.m_value[v] = (p.x + 5.0) / 20.0;
    }
    TGlobalExcitation& e = *model.m_excitation;
    e.m_chartVent = {{0.0, 0.0}, {0.2, 0.8}, {0.5, 0.9}, {0.7, 0.0}};
    e.m_propagationMode = true;
    buildTables(e);
    model.m_simulator.initSimulator(model.m_vtxOrigPos, model.m_tets, model.m_smNeighbors, model.m_orienField.m_frames);
}

}  // namespace

static void BM_SimulationTick(benchmark::State& state) {
    setDiagQuiet(true);
    const int threads = static_cast<int>(state.range(1));
    omp_set_num_threads(threads);
    TLSMModel model;
    prepareModel(model, static_cast<int>(state.range(0)));
    double time = 0.0;
    auto tick = [&] {
        time += 0.01;
        if (time > model.m_excitation->m_cycleLength) time = 0.0;
        model.updateModel(time, 0.01);
    };
    for (int k = 0; k < 5; ++k) tick();
    double phaseMs[3] = {0, 0, 0};
    for (auto _ : state) {
        tick();
        for (int p = 0; p < 3; ++p) phaseMs[p] += model.m_simulator.m_phaseMs[p];
        benchmark::DoNotOptimize(model.m_verts.data());
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["vertices"] = model.vertexCount();
    state.counters["tets"] = static_cast<double>(model.m_tets.size());
    state.counters["threads"] = model.m_simulator.m_stepThreads;
    state.counters["match_ms"] = phaseMs[0] / iterations;
    state.counters["volume_ms"] = phaseMs[1] / iterations;
    state.counters["integrate_ms"] = phaseMs[2] / iterations;
    setDiagQuiet(false);
}
// 16 cells: 4,913 vertices; 26 cells: 19,683; 38 cells: 59,319.
BENCHMARK(BM_SimulationTick)
    ->Args({16, 1})
    ->Args({16, 2})
    ->Args({26, 1})
    ->Args({26, 2})
    ->Args({38, 1})
    ->Args({38, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
