// The simulation lattice on a research-size shell (VELMORA_BIG_SHELL, default /tmp/big/shell212:
// about 212,000 vertices and 1.17 million tetrahedra), authored to beat as bench_Simulation's shells:
//  - BM_LatticeTick: one tick of the big shell through a lattice of N vertices (all its vertices
//    placed, surface updated) and one full-resolution tick of the 20k shell, alternately in the
//    same run: the median of each and their ratio;
//  - BM_LatticeAccuracy: a shell some ticks (30: the figure) at full resolution and as many
//    through the lattice: the RMS over vertices of their difference as a percentage of the full
//    run's largest displacement, both runs' displacements, and the full-resolution tick.
// Arguments: lattice vertices, threads. The lattice is cached under the system's temporary folder.
#include <benchmark/benchmark.h>
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "common/ShellBeat.h"
#include "common/ShellMeshes.h"
#include "io/TetGenFile.h"
#include "linalg/Diagnostics.h"
#include "meshimport/LatticeMesh.h"
#include "model/TLSMModel.h"

namespace {

struct QuietConsole {
    QuietConsole() { setDiagQuiet(true); }
    ~QuietConsole() { setDiagQuiet(false); }
};

std::string bigShellBase() {
    const char* base = std::getenv("VELMORA_BIG_SHELL");
    return base && *base ? base : "/tmp/big/shell212";
}

/// The mesh at base, set up and authored; false (the benchmark skipped) when it cannot be read.
bool prepare(benchmark::State& state, TLSMModel& model, const std::string& base) {
    TTetMesh mesh;
    if (base.empty() || !loadTetMesh(mesh, base)) {
        state.SkipWithError(("mesh unavailable: " + base).c_str());
        return false;
    }
    model.setUpFromMesh(std::move(mesh), true);
    benchmesh::authorBeat(model);
    return true;
}

/// The shell at base with a lattice of n vertices (cached under the temporary folder).
bool prepareLattice(benchmark::State& state, TLSMModel& model, const std::string& base, int n, double& buildMs) {
    if (!prepare(state, model, base)) return false;
    installLatticeMeshBuilder();
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "velmora-bench-lattice";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    model.m_filePath = (folder / std::filesystem::path(base).filename()).string();
    std::string reason;
    const auto start = std::chrono::steady_clock::now();
    if (!model.setSimulationLattice(n, &reason)) {
        state.SkipWithError(("no lattice: " + reason).c_str());
        return false;
    }
    buildMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return true;
}

/// Milliseconds of one main-loop tick at time, advancing it as the main loop does.
double timedTick(TLSMModel& model, double& time) {
    time += 0.01;
    if (time > model.m_excitation->m_cycleLength) time = 0.0;
    const auto start = std::chrono::steady_clock::now();
    model.updateModel(time, 0.01);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

double median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

}  // namespace

static void BM_LatticeTick(benchmark::State& state) {
    QuietConsole quiet;
    omp_set_num_threads(static_cast<int>(state.range(1)));
    TLSMModel small, big;
    double buildMs = 0.0;
    if (!prepare(state, small, benchmesh::shellMesh(20000))) return;
    if (!prepareLattice(state, big, bigShellBase(), static_cast<int>(state.range(0)), buildMs)) return;
    double smallTime = 0.0, bigTime = 0.0;
    for (int k = 0; k < 5; ++k) timedTick(small, smallTime), timedTick(big, bigTime);
    std::vector<double> smallMs, bigMs;
    double phases[4] = {0, 0, 0, 0};
    for (auto _ : state) {
        smallMs.push_back(timedTick(small, smallTime));
        bigMs.push_back(timedTick(big, bigTime));
        for (int p = 0; p < 4; ++p) phases[p] += big.simulationLattice()->m_phaseMs[p];
        state.SetIterationTime((smallMs.back() + bigMs.back()) / 1000.0);
    }
    const double iterations = static_cast<double>(state.iterations());
    const SimulationLattice& lattice = *big.simulationLattice();
    state.counters["fine_vertices"] = big.vertexCount();
    state.counters["fine_tets"] = static_cast<double>(big.m_tets.size());
    state.counters["lattice_vertices"] = lattice.vertexCount();
    state.counters["lattice_tets"] = lattice.tetCount();
    state.counters["small_vertices"] = small.vertexCount();
    state.counters["lattice_tick_ms"] = median(bigMs);
    state.counters["small_full_tick_ms"] = median(smallMs);
    state.counters["ratio"] = median(bigMs) / std::max(1e-9, median(smallMs));
    state.counters["carry_ms"] = phases[0] / iterations;
    state.counters["step_ms"] = phases[1] / iterations;
    state.counters["place_ms"] = phases[2] / iterations;
    state.counters["surface_ms"] = phases[3] / iterations;
    state.counters["build_ms"] = buildMs;
}
BENCHMARK(BM_LatticeTick)->Args({20000, 2})->Args({20000, 1})->Unit(benchmark::kMillisecond)->UseManualTime();

/// Arguments: the shell (0 the big one, else bench_Simulation's shell of about that many
/// vertices), lattice vertices, threads, ticks.
static void BM_LatticeAccuracy(benchmark::State& state) {
    QuietConsole quiet;
    omp_set_num_threads(static_cast<int>(state.range(2)));
    const int kTicks = static_cast<int>(state.range(3));
    const std::string base = state.range(0) == 0 ? bigShellBase() : benchmesh::shellMesh(state.range(0));
    for (auto _ : state) {
        std::vector<vec3> full, rest;
        std::vector<double> fullMs;
        {
            TLSMModel model;
            if (!prepare(state, model, base)) return;
            double time = 0.0;
            for (int tick = 0; tick < kTicks; ++tick) fullMs.push_back(timedTick(model, time));
            full = model.m_verts;
            rest = model.m_vtxOrigPos;
        }
        TLSMModel model;
        double buildMs = 0.0;
        if (!prepareLattice(state, model, base, static_cast<int>(state.range(1)), buildMs)) return;
        double time = 0.0;
        std::vector<double> latticeMs;
        for (int tick = 0; tick < kTicks; ++tick) latticeMs.push_back(timedTick(model, time));
        double largest = 0.0, largestLattice = 0.0, squared = 0.0, fullSquared = 0.0;
        for (size_t i = 0; i < full.size(); ++i) {
            largest = std::max(largest, distance(full[i], rest[i]));
            largestLattice = std::max(largestLattice, distance(model.m_verts[i], rest[i]));
            squared += (model.m_verts[i] - full[i]).norm2();
            fullSquared += (full[i] - rest[i]).norm2();
        }
        const double count = static_cast<double>(full.size());
        const double rms = std::sqrt(squared / count);
        state.counters["largest_displacement"] = largest;
        state.counters["largest_displacement_lattice"] = largestLattice;
        state.counters["rms_displacement"] = std::sqrt(fullSquared / count);
        state.counters["rms_difference"] = rms;
        state.counters["rms_percent_of_largest"] = 100.0 * rms / std::max(1e-300, largest);
        state.counters["full_tick_ms"] = median(fullMs);
        state.counters["lattice_tick_ms"] = median(latticeMs);
        state.counters["lattice_vertices"] = model.simulationLattice()->vertexCount();
        state.counters["outside_vertices"] = model.simulationLattice()->outsideVertexCount();
    }
}
BENCHMARK(BM_LatticeAccuracy)
    ->Args({0, 20000, 2, 30})
    ->Args({20000, 5000, 2, 30})
    ->Args({0, 20000, 2, 60})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
