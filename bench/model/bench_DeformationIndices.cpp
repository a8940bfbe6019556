// The deformation indices' cost per tick beside the step they measure, on 1 and 2 threads:
//  - BM_IndicesPerTick/0: the bundled heart as the application opens it (one main-loop tick);
//  - BM_IndicesPerTick/20000: the gmsh shell of about 20k vertices, its cavity as the left wall, a
//    patch of its outside as the right wall and its top as atrium, beating with helical fibres.
// Each iteration runs one step and one measurement, timed apart; the counters are their medians,
// the indices' share of the step in percent (by the clock, and by the calling thread's processor
// time, which a busy machine does not distort), and the set-up's milliseconds. BM_IndicesMeasure
// times the measurement alone on one state.
// Arguments: mesh (0 = bundled heart, else the shell's size), threads.
#include <benchmark/benchmark.h>
#include <omp.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "common/ShellMeshes.h"
#include "io/TetGenFile.h"
#include "linalg/Diagnostics.h"
#include "model/DeformationIndices.h"
#include "model/MainWindowManager.h"

namespace {

struct QuietConsole {
    QuietConsole() { setDiagQuiet(true); }
    ~QuietConsole() { setDiagQuiet(false); }
};

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

/// Milliseconds of processor time the calling thread has used: on one thread the work itself, however
/// busy the machine is.
double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec * 1e-6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

/// Walls and labels on the shell: boundary faces facing its centre are the cavity (left wall), those
/// on the outside with x beyond half the extent a right-ventricle-like patch; the top eighth in y
/// is atrium. Then helical fibres, a phase rising from the apex, a contracting chart with
/// propagation, and the simulator's set-up.
void authorShell(TLSMModel& model) {
    const int n = model.vertexCount();
    vec3 lo = model.m_vtxOrigPos[0], hi = lo;
    for (const vec3& p : model.m_vtxOrigPos)
        for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], p[a]), hi[a] = std::max(hi[a], p[a]);
    const vec3 centre = (lo + hi) * 0.5;
    const double height = std::max(hi.y - lo.y, 1e-9);
    for (int v = 0; v < n; ++v) model.m_vtxIsVentriOrAtrium[v] = model.m_vtxOrigPos[v].y > hi.y - height / 8 ? 2 : 1;
    model.m_trisVL.clear();
    model.m_trisVR.clear();
    for (const Tetra& t : model.m_tets)
        for (int k = 0; k < 4; ++k) {
            if (t.nbr[k] != -1) continue;
            const std::array<int, 3> face = {t.vIdx[kFaceCornersOutward[k][0]], t.vIdx[kFaceCornersOutward[k][1]],
                                             t.vIdx[kFaceCornersOutward[k][2]]};
            const vec3 &a = model.m_vtxOrigPos[face[0]], &b = model.m_vtxOrigPos[face[1]],
                       &c = model.m_vtxOrigPos[face[2]];
            const vec3 middle = (a + b + c) / 3.0;
            const bool inner = (b - a).cross(c - a).dot(middle - centre) < 0.0;
            if (inner)
                model.m_trisVL.push_back(face);
            else if (middle.x - centre.x > 0.5 * (hi.x - centre.x))
                model.m_trisVR.push_back(face);
        }

    model.m_orienField.m_frames.resize(n);
    for (int v = 0; v < n; ++v) {
        const vec3 p = model.m_vtxOrigPos[v] - centre;
        const double along = (model.m_vtxOrigPos[v].y - lo.y) / height;
        vec3 around(-p.z, 0.0, p.x);
        if (around.norm() < 1e-9) around = vec3(1, 0, 0);
        around /= around.norm();
        const double pitch = -1.0 + 2.0 * along;
        TVertexFrame& f = model.m_orienField.m_frames[v];
        f.m_primaryDir = around * std::cos(pitch) + vec3(0, 1, 0) * std::sin(pitch);
        f.m_depthDir = around * -std::sin(pitch) + vec3(0, 1, 0) * std::cos(pitch);
        f.m_thirdDir = f.m_primaryDir.cross(f.m_depthDir);
        model.m_phaseField.m_value[v] = along;
    }
    TGlobalExcitation& e = *model.m_excitation;
    e.m_chartVent = {{0.0, 0.0}, {0.2, 0.8}, {0.5, 0.9}, {0.7, 0.0}};
    e.m_propagationMode = true;
    buildTables(e);
    model.m_simulator.initSimulator(model.m_vtxOrigPos, model.m_tets, model.m_smNeighbors, model.m_orienField.m_frames);
}

/// Runs step and measurement alternately, five warm-up rounds first, and reports both.
void measurePerTick(benchmark::State& state, TLSMModel& model, const std::function<void()>& step) {
    const auto prepareStart = std::chrono::steady_clock::now();
    DeformationIndices indices;
    if (!indices.prepare(model)) {
        state.SkipWithError(indices.refusal().c_str());
        return;
    }
    const double prepareMs = msSince(prepareStart);
    DeformationIndexValues values;
    for (int k = 0; k < 5; ++k) {
        step();
        indices.measure(model.m_verts, values);
    }
    std::vector<double> stepMs, indicesMs, stepCpuMs, indicesCpuMs;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        double cpu = threadCpuMs();
        step();
        stepMs.push_back(msSince(start));
        stepCpuMs.push_back(threadCpuMs() - cpu);
        start = std::chrono::steady_clock::now();
        cpu = threadCpuMs();
        indices.measure(model.m_verts, values);
        indicesMs.push_back(msSince(start));
        indicesCpuMs.push_back(threadCpuMs() - cpu);
        benchmark::DoNotOptimize(values.twist);
    }
    state.counters["vertices"] = model.vertexCount();
    state.counters["tets"] = static_cast<double>(model.m_tets.size());
    state.counters["myocardium_tets"] = indices.myocardiumTetrahedra();
    state.counters["threads"] = omp_get_max_threads();
    state.counters["prepare_ms"] = prepareMs;
    state.counters["step_ms"] = median(stepMs);
    state.counters["indices_ms"] = median(indicesMs);
    state.counters["indices_percent"] = 100.0 * median(indicesMs) / std::max(median(stepMs), 1e-9);
    // The calling thread's processor time: on one thread the share whatever else runs on the machine.
    state.counters["step_cpu_ms"] = median(stepCpuMs);
    state.counters["indices_cpu_ms"] = median(indicesCpuMs);
    state.counters["indices_cpu_percent"] = 100.0 * median(indicesCpuMs) / std::max(median(stepCpuMs), 1e-9);
}

}  // namespace

namespace {

/// The model of a benchmark's mesh argument, ready to beat, and its step: the bundled heart through
/// its controller (one main-loop tick), or the shell (one model update). Skips the benchmark and
/// returns false when the mesh is unavailable.
struct BeatingModel {
    std::unique_ptr<MainWindowManager> controller;
    std::unique_ptr<TLSMModel> shell;
    TLSMModel* model = nullptr;
    double time = 0.0;

    bool load(benchmark::State& state, int mesh) {
        if (mesh == 0) {
            controller =
                std::make_unique<MainWindowManager>(nullptr, std::string(VELMORA_SOURCE_DIR) + "/models/ModelB");
            model = controller->model();
            if (!model) state.SkipWithError("the bundled heart did not load");
            if (!model) return false;
            controller->m_time = 0.0;
            controller->startTimer();
            return true;
        }
        const std::string base = benchmesh::shellMesh(mesh);
        TTetMesh mesh3;
        if (base.empty() || !loadTetMesh(mesh3, base)) {
            state.SkipWithError("shell mesh unavailable (gmsh missing or failed)");
            return false;
        }
        shell = std::make_unique<TLSMModel>();
        shell->setUpFromMesh(std::move(mesh3), true);
        authorShell(*shell);
        model = shell.get();
        return true;
    }
    void step() {
        if (controller) {
            controller->onTimer();
            return;
        }
        time += 0.01;
        if (time > model->m_excitation->m_cycleLength) time = 0.0;
        model->updateModel(time, 0.01);
    }
    ~BeatingModel() {
        if (controller) controller->stopTimer();
    }
};

}  // namespace

static void BM_IndicesPerTick(benchmark::State& state) {
    QuietConsole quiet;
    omp_set_num_threads(static_cast<int>(state.range(1)));
    BeatingModel beating;
    if (beating.load(state, static_cast<int>(state.range(0))))
        measurePerTick(state, *beating.model, [&] { beating.step(); });
}
BENCHMARK(BM_IndicesPerTick)
    ->Args({0, 1})
    ->Args({0, 2})
    ->Args({20000, 1})
    ->Args({20000, 2})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

/// The measurement alone, on the state a third of a beat in, and the check a window makes per frame
/// that the set-up still fits the model (isPreparedFor).
static void BM_IndicesMeasure(benchmark::State& state) {
    QuietConsole quiet;
    omp_set_num_threads(static_cast<int>(state.range(1)));
    BeatingModel beating;
    if (!beating.load(state, static_cast<int>(state.range(0)))) return;
    for (int k = 0; k < 33; ++k) beating.step();
    DeformationIndices indices;
    if (!indices.prepare(*beating.model)) {
        state.SkipWithError(indices.refusal().c_str());
        return;
    }
    DeformationIndexValues values;
    // The fastest measurement too: on a busy machine the least disturbed one.
    double fastestMs = 1e30;
    for (auto _ : state) {
        const auto begin = std::chrono::steady_clock::now();
        indices.measure(beating.model->m_verts, values);
        fastestMs = std::min(fastestMs, msSince(begin));
        benchmark::DoNotOptimize(values.twist);
    }
    state.counters["fastest_ms"] = fastestMs;
    const auto start = std::chrono::steady_clock::now();
    bool fits = true;
    for (int k = 0; k < 20; ++k) fits = fits && indices.isPreparedFor(*beating.model);
    state.counters["check_ms"] = msSince(start) / 20;
    state.counters["myocardium_tets"] = indices.myocardiumTetrahedra();
    state.counters["band_vertices"] = indices.apicalBandVertices() + indices.basalBandVertices();
    if (!fits) state.SkipWithError("the set-up does not fit its own model");
}
BENCHMARK(BM_IndicesMeasure)
    ->Args({0, 1})
    ->Args({0, 2})
    ->Args({20000, 1})
    ->Args({20000, 2})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

BENCHMARK_MAIN();
