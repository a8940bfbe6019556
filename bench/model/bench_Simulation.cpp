// One simulation tick (updateModel: factors, stretch tensors, 10 shape-matching iterations,
// volume correction, re-alignment, integration, surface update) with a contracting, propagating
// chart, on 1 and 2 threads:
//  - BM_ShellTick: unstructured thick ellipsoidal shells meshed by gmsh (about 5k, 20k and 60k
//    vertices), where clusters keep turning and the polar decompositions are paid every pass;
//  - BM_BundledHeartTick: the bundled heart as the application opens it, one main-loop tick;
//  - BM_GridTick: sheared structured grids of 4,913, 19,683 and 59,319 vertices.
//  - BM_ShellSpeedup: 1- and 2-thread ticks alternately on one shell, medians and their ratio;
//  - BM_LargeShellPerVertex: the 212,000-vertex shell against the 20,000-vertex one, cost per vertex.
//    The large shell is used only where its mesh exists (see common/ShellMeshes.h), else skipped.
// Arguments: mesh size, threads.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <vector>

#include "common/ShellBeat.h"
#include "common/ShellMeshes.h"
#include "io/TetGenFile.h"
#include "model/MainWindowManager.h"
#include "model/SimTestModel.h"

namespace {

/// Console lines off while a benchmark runs.
struct QuietConsole {
    QuietConsole() { setDiagQuiet(true); }
    ~QuietConsole() { setDiagQuiet(false); }
};

/// The shell of about approxVertices vertices, authored to beat; false (the benchmark skipped)
/// when gmsh is missing or failed.
bool prepareShell(benchmark::State& state, TLSMModel& model, int approxVertices) {
    const std::string base = benchmesh::shellMesh(approxVertices);
    TTetMesh mesh;
    if (base.empty() || !loadTetMesh(mesh, base)) {
        state.SkipWithError("shell mesh unavailable (gmsh missing or failed)");
        return false;
    }
    {
        DiagCapture quiet;
        model.setUpFromMesh(std::move(mesh), true);
    }
    benchmesh::authorBeat(model);
    return true;
}

/// A slightly sheared grid of (cells+1)^3 vertices.
void prepareGrid(TLSMModel& model, int cells) {
    auto data =
        testmesh::grid(cells, cells, cells, [](int i, int j, int k) { return vec3(i + 0.2 * j, j, k + 0.1 * i); });
    TLSMModel::normalizeModelSize(data.verts);
    simtest::setUpModel(model, data);
    benchmesh::authorBeat(model);
}

/// Runs `tick` (five times first, so the Jacobi warm starts are in use) once per benchmark
/// iteration and reports the step's phases per tick.
void measureTicks(benchmark::State& state, const TLSMModel& model, const std::function<void()>& tick) {
    for (int k = 0; k < 5; ++k) tick();
    double phaseMs[3] = {0, 0, 0};
    for (auto _ : state) {
        tick();
        for (int p = 0; p < 3; ++p) phaseMs[p] += model.m_simulator.phaseMs(p);
        benchmark::DoNotOptimize(model.m_verts.data());
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["vertices"] = model.vertexCount();
    state.counters["tets"] = static_cast<double>(model.m_tets.size());
    state.counters["threads"] = model.m_simulator.stepThreads();
    state.counters["match_ms"] = phaseMs[0] / iterations;
    state.counters["volume_ms"] = phaseMs[1] / iterations;
    state.counters["integrate_ms"] = phaseMs[2] / iterations;
}

/// Ticks the model as the main loop does and reports the step's phases per tick.
void runTicks(benchmark::State& state, TLSMModel& model) {
    double time = 0.0;
    measureTicks(state, model, [&] {
        time += 0.01;
        if (time > model.m_excitation->m_cycleLength) time = 0.0;
        model.updateModel(time, 0.01);
    });
}

}  // namespace

static void BM_ShellTick(benchmark::State& state) {
    QuietConsole quiet;
    omp_set_num_threads(static_cast<int>(state.range(1)));
    TLSMModel model;
    if (prepareShell(state, model, static_cast<int>(state.range(0)))) runTicks(state, model);
}
BENCHMARK(BM_ShellTick)
    ->Args({5000, 1})
    ->Args({5000, 2})
    ->Args({20000, 1})
    ->Args({20000, 2})
    ->Args({60000, 1})
    ->Args({60000, 2})
    ->Args({benchmesh::kLargeShell, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

/// One tick on 1 thread and one on 2 threads alternately on the same shell, so both see the
/// same machine: ms per tick for each and their ratio, the 2-thread speed-up.
static void BM_ShellSpeedup(benchmark::State& state) {
    QuietConsole quiet;
    omp_set_num_threads(2);
    TLSMModel model;
    if (!prepareShell(state, model, static_cast<int>(state.range(0)))) return;
    double time = 0.0;
    auto tick = [&](int threads) {
        omp_set_num_threads(threads);
        time += 0.01;
        if (time > model.m_excitation->m_cycleLength) time = 0.0;
        const auto start = std::chrono::steady_clock::now();
        model.updateModel(time, 0.01);
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    };
    for (int k = 0; k < 5; ++k) tick(2);
    std::vector<double> one, two;
    for (auto _ : state) {
        one.push_back(tick(1));
        two.push_back(tick(2));
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    };
    state.counters["vertices"] = model.vertexCount();
    state.counters["ms_1_thread"] = median(one);
    state.counters["ms_2_threads"] = median(two);
    state.counters["speedup"] = median(one) / std::max(median(two), 1e-9);
}
BENCHMARK(BM_ShellSpeedup)->Arg(5000)->Arg(20000)->Arg(60000)->Unit(benchmark::kMillisecond)->UseRealTime();

/// The research-size shell (skipped when its mesh is absent, see benchmesh::shellMesh) against the
/// 20,000-vertex one, ticked alternately on the given threads so both see the same machine: the
/// median ms per tick of each, nanoseconds per vertex and per tick of each, and the ratio of the
/// large shell's cost per vertex to the small one's. Args: threads, and 1 to keep the members'
/// rest offsets on the large shell too (0: the simulator's own size limit decides).
static void BM_LargeShellPerVertex(benchmark::State& state) {
    QuietConsole quiet;
    omp_set_num_threads(static_cast<int>(state.range(0)));
    TLSMModel small, large;
    if (state.range(1) != 0) large.m_simulator.setKeptOffsetBytes(~size_t(0));
    if (!prepareShell(state, large, benchmesh::kLargeShell) || !prepareShell(state, small, 20000)) return;
    double time = 0.0;
    auto tick = [&](TLSMModel& model) {
        const auto start = std::chrono::steady_clock::now();
        model.updateModel(time, 0.01);
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    };
    for (int k = 0; k < 5; ++k) {
        time += 0.01;
        tick(small);
        tick(large);
    }
    std::vector<double> smallMs, largeMs;
    for (auto _ : state) {
        time += 0.01;
        if (time > large.m_excitation->m_cycleLength) time = 0.0;
        smallMs.push_back(tick(small));
        largeMs.push_back(tick(large));
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    };
    const double smallNs = median(smallMs) * 1e6 / small.vertexCount();
    const double largeNs = median(largeMs) * 1e6 / large.vertexCount();
    state.counters["vertices"] = large.vertexCount();
    state.counters["small_vertices"] = small.vertexCount();
    state.counters["ms_small"] = median(smallMs);
    state.counters["ms_large"] = median(largeMs);
    state.counters["ns_per_vertex_small"] = smallNs;
    state.counters["ns_per_vertex_large"] = largeNs;
    state.counters["per_vertex_ratio"] = largeNs / std::max(smallNs, 1e-9);
    state.counters["large_keeps_offsets"] = large.m_simulator.keepsOffsets() ? 1 : 0;
}
BENCHMARK(BM_LargeShellPerVertex)
    ->Args({2, 0})
    ->Args({2, 1})
    ->Args({1, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(15);

static void BM_GridTick(benchmark::State& state) {
    QuietConsole quiet;
    omp_set_num_threads(static_cast<int>(state.range(1)));
    TLSMModel model;
    prepareGrid(model, static_cast<int>(state.range(0)));
    runTicks(state, model);
}
// 16 cells: 4,913 vertices; 26 cells: 19,683; 38 cells: 59,319.
BENCHMARK(BM_GridTick)
    ->Args({16, 1})
    ->Args({16, 2})
    ->Args({26, 1})
    ->Args({26, 2})
    ->Args({38, 1})
    ->Args({38, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

static void BM_BundledHeartTick(benchmark::State& state) {
    QuietConsole quiet;
    omp_set_num_threads(static_cast<int>(state.range(0)));
    MainWindowManager controller(nullptr, std::string(VELMORA_SOURCE_DIR) + "/models/ModelB");
    if (!controller.model()) {
        state.SkipWithError("the bundled heart did not load");
        return;
    }
    controller.m_time = 0.0;
    controller.startTimer();
    measureTicks(state, *controller.model(), [&] { controller.onTimer(); });
    controller.stopTimer();
}
BENCHMARK(BM_BundledHeartTick)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
