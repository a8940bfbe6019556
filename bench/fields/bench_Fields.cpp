// Field updates on ~20,000-vertex tetrahedral meshes: one phase-field update with a few hundred
// constraints, one release adding 20 constraints to it (the update path of the Cholesky back end),
// one orientation update with ten strokes, one build of the four fibre-line sets. Arguments: mesh
// shape (0 solid block, 1 thick curved wall like a heart's myocardium), OpenMP thread count and
// solver (0 UMFPACK, 1 CHOLMOD, 2 CHOLMOD with its dense kernels free to use every thread).
#include <benchmark/benchmark.h>
#include <omp.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <memory>
#include <string>

#include "fields/FieldTestSupport.h"
#include "fields/TSmoothField.h"
#include "fields/TTensorField.h"
#include "linalg/CholeskyFactor.h"
#include "linalg/Diagnostics.h"
#include "linalg/TSparseMatrix.h"

namespace {

// Block: 27^3 = 19,683 vertices, 105,456 tetrahedra. Wall: 81 x 41 x 6 = 19,926 vertices,
// 96,000 tetrahedra, three quarters of a cylinder of radii 3.5 to 5 and height 10. The largest
// extent is 10 like a loaded model's.
constexpr int kCells = 26;
constexpr double kExtent = 10.0;
constexpr int kWallAngles = 80, kWallLevels = 40, kWallLayers = 5;

struct Scene {
    testmesh::TetData mesh;
    std::vector<std::vector<int>> neighbours;
    std::vector<int16_t> labels;
    std::unique_ptr<TSparseMatrix> smoothing;
    TSmoothField phase;
    TTensorField orientation;
    bool umfpack = false;
};

testmesh::TetData wallMesh() {
    const double sweep = 1.5 * 3.14159265358979323846;
    testmesh::TetData mesh = testmesh::grid(kWallAngles, kWallLevels, kWallLayers, [&](int a, int l, int r) {
        const double radius = 3.5 + 1.5 * r / kWallLayers;
        const double phi = sweep * a / kWallAngles;
        return vec3(radius * std::cos(phi), kExtent * l / kWallLevels, radius * std::sin(phi));
    });
    fieldtest::linkFaceNeighbours(mesh);
    return mesh;
}

std::string programDirectory() {
    char path[PATH_MAX];
    const ssize_t len = readlink("/proc/self/exe", path, sizeof path - 1);
    if (len <= 0) return "";
    std::string p(path, static_cast<size_t>(len));
    return p.substr(0, p.find_last_of('/') + 1);
}

Scene* buildScene(bool wall) {
    auto* sc = new Scene;
    DiagCapture quiet;
    sc->umfpack = loadUmfpackLibrary(programDirectory());
    sc->mesh = wall ? wallMesh() : fieldtest::linkedGrid(kCells, kCells, kCells, kExtent / kCells);
    sc->neighbours = fieldtest::neighbourLists(sc->mesh);
    const int n = static_cast<int>(sc->mesh.verts.size());
    // Lower part ventricle, upper part atrium, so both filtered fibre sets have lines.
    sc->labels.resize(n);
    for (int v = 0; v < n; ++v) sc->labels[v] = sc->mesh.verts[v].y < 6.0 ? 1 : 2;
    sc->smoothing = buildSmoothingMatrix(n, sc->mesh.verts, sc->neighbours);

    // A few hundred phase constraints (about 400): sources near the bottom, sinks near the
    // top, scattered as painted strokes leave them (every eleventh vertex there).
    sc->phase.setup(0.0, 1.0, 0.0, n);
    for (int v = 0; v < n; v += 11) {
        const double y = sc->mesh.verts[v].y;
        if (y < 1.0) addConstraintAtVertex(sc->phase.m_constraints, sc->mesh.verts, v, 0.0);
        if (y > kExtent - 1.0) addConstraintAtVertex(sc->phase.m_constraints, sc->mesh.verts, v, 1.0);
    }

    // Depth: 0 on one side, 1 on the other (inner and outer wall); ten slanted strokes on
    // the 0 side, drawn as vertex-to-vertex polylines.
    TTensorField& o = sc->orientation;
    o.initOrientationField(sc->mesh.tets, sc->mesh.verts);
    std::vector<int> inner, outer;
    for (int v = 0; v < n; ++v) {
        const vec3& p = sc->mesh.verts[v];
        const double side = wall ? std::sqrt(p.x * p.x + p.z * p.z) - 3.5 : p.z;
        if (side < 1e-9) inner.push_back(v);
        if (side > (wall ? 1.5 : kExtent) - 1e-9) outer.push_back(v);
    }
    for (size_t a = 0; a < 10; ++a) {
        addConstraintAtVertex(o.m_depthField.m_constraints, sc->mesh.verts, inner[a * inner.size() / 10], 0.0);
        addConstraintAtVertex(o.m_depthField.m_constraints, sc->mesh.verts, outer[a * outer.size() / 10], 1.0);
    }
    o.updateField_RBF(o.m_depthField, sc->mesh.verts);
    for (int s = 0; s < 10; ++s) {
        std::vector<vec3> line;
        const size_t first = (s * inner.size()) / 12;
        for (int p = 0; p < 25; ++p) line.push_back(sc->mesh.verts[inner[(first + 29 * p) % inner.size()]]);
        smoothPolyline(line);
        addOrientationStroke(o, line, sc->mesh.tets, sc->mesh.verts);
    }
    return sc;
}

Scene& scene(int shape) {
    static Scene* block = nullptr;
    static Scene* wall = nullptr;
    Scene*& s = shape == 0 ? block : wall;
    if (s == nullptr) s = buildScene(shape != 0);
    return *s;
}

void addMeshCounters(benchmark::State& state, const Scene& s) {
    state.counters["vertices"] = static_cast<double>(s.mesh.verts.size());
    state.counters["tets"] = static_cast<double>(s.mesh.tets.size());
    state.counters["threads"] = static_cast<double>(state.range(1));
}

// Makes the benchmark's solver (third argument) active; false (with the reason) when it is missing.
bool selectSolver(benchmark::State& state, const Scene& s) {
    omp_set_num_threads(static_cast<int>(state.range(1)));
    const int solver = static_cast<int>(state.range(2));
    setCholeskyDenseKernelsPinned(solver != 2);
    if (solver == 0) {
        if (!s.umfpack || !setSolverBackendForTesting(SolverBackend::Umfpack)) {
            state.SkipWithError("UMFPACK wrapper not found beside the benchmark");
            return false;
        }
        return true;
    }
    if (!setSolverBackendForTesting(SolverBackend::Cholmod)) {
        state.SkipWithError("built without CHOLMOD");
        return false;
    }
    return true;
}

void BM_PhaseFieldUpdate(benchmark::State& state) {
    Scene& s = scene(static_cast<int>(state.range(0)));
    if (!selectSolver(state, s)) return;
    DiagCapture quiet;
    for (auto _ : state) {
        // A full update: the kept factor of an earlier run must not be used.
        s.phase.m_factorCache.clear();
        updateFieldHarmonic(s.phase, *s.smoothing);
        benchmark::DoNotOptimize(s.phase.m_value.data());
    }
    addMeshCounters(state, s);
    state.counters["constraints"] = static_cast<double>(s.phase.m_constraints.size());
}

void BM_PhaseFieldAdd20Constraints(benchmark::State& state) {
    // A release that places 20 constraints in the middle of the mesh, after a full update; the
    // constraints are taken away again (untimed) before the next iteration.
    Scene& s = scene(static_cast<int>(state.range(0)));
    if (!selectSolver(state, s)) return;
    DiagCapture quiet;
    const size_t before = s.phase.m_constraints.size();
    const int n = static_cast<int>(s.mesh.verts.size());
    s.phase.m_factorCache.clear();
    updateFieldHarmonic(s.phase, *s.smoothing);
    // The first release after a full factorisation also turns the supernodal factor into the
    // simplicial form that updates work on; timed apart, once per repetition.
    const auto firstStart = std::chrono::steady_clock::now();
    for (int k = 0; k < 20; ++k) addConstraintAtVertex(s.phase.m_constraints, s.mesh.verts, n / 2 + 41 * k, 0.5);
    updateFieldHarmonic(s.phase, *s.smoothing);
    const double firstMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - firstStart).count();
    s.phase.m_constraints.resize(before);
    updateFieldHarmonic(s.phase, *s.smoothing);
    int incremental = 0;
    for (auto _ : state) {
        for (int k = 0; k < 20; ++k) addConstraintAtVertex(s.phase.m_constraints, s.mesh.verts, n / 3 + 37 * k, 0.5);
        updateFieldHarmonic(s.phase, *s.smoothing);
        benchmark::DoNotOptimize(s.phase.m_value.data());
        incremental += s.phase.m_factorCache.m_lastUpdateKind == 2 ? 1 : 0;
        state.PauseTiming();
        s.phase.m_constraints.resize(before);
        updateFieldHarmonic(s.phase, *s.smoothing);
        state.ResumeTiming();
    }
    addMeshCounters(state, s);
    state.counters["incremental"] = static_cast<double>(incremental);
    state.counters["first_release_ms"] = firstMs;
}

void BM_OrientationUpdate(benchmark::State& state) {
    Scene& s = scene(static_cast<int>(state.range(0)));
    if (!selectSolver(state, s)) return;
    DiagCapture quiet;
    for (auto _ : state) {
        // A full update: the kept factor of an earlier run must not be used.
        s.orientation.m_factorCache.reset();
        s.orientation.updateOrientation(s.mesh.tets, s.mesh.verts, s.neighbours, s.labels);
        benchmark::DoNotOptimize(s.orientation.m_frames.data());
    }
    addMeshCounters(state, s);
    state.counters["strokes"] = static_cast<double>(s.orientation.m_strokes.size());
}

void BM_OrientationAddStroke(benchmark::State& state) {
    // "Update field" after one more 25-point stroke, following a full update; the stroke is taken
    // away again (untimed) before the next iteration.
    Scene& s = scene(static_cast<int>(state.range(0)));
    if (!selectSolver(state, s)) return;
    DiagCapture quiet;
    TTensorField& o = s.orientation;
    o.m_factorCache.reset();
    o.updateOrientation(s.mesh.tets, s.mesh.verts, s.neighbours, s.labels);
    const size_t strokes = o.m_strokes.size();
    std::vector<vec3> line;
    const TOrientationStroke& model = o.m_strokes.back();
    for (const TTetSample& sample : model) line.push_back(sample.position(s.mesh.verts) + vec3(0.0, 0.7, 0.0));
    int incremental = 0;
    for (auto _ : state) {
        addOrientationStroke(o, line, s.mesh.tets, s.mesh.verts);
        o.updateOrientation(s.mesh.tets, s.mesh.verts, s.neighbours, s.labels);
        benchmark::DoNotOptimize(o.m_frames.data());
        incremental += o.m_factorCache.m_lastUpdateKind == 2 ? 1 : 0;
        state.PauseTiming();
        o.m_strokes.resize(strokes);
        o.updateOrientation(s.mesh.tets, s.mesh.verts, s.neighbours, s.labels);
        state.ResumeTiming();
    }
    addMeshCounters(state, s);
    state.counters["incremental"] = static_cast<double>(incremental);
}

void BM_FibreLinesAllSets(benchmark::State& state) {
    Scene& s = scene(static_cast<int>(state.range(0)));
    omp_set_num_threads(static_cast<int>(state.range(1)));
    size_t lines = 0;
    for (auto _ : state) {
        lines = 0;
        for (int set = 0; set < 4; ++set) {
            s.orientation.buildFibreLines(set, s.mesh.tets, s.mesh.verts, s.labels);
            lines += s.orientation.m_fibreLines[set].size();
        }
    }
    addMeshCounters(state, s);
    state.counters["lines"] = static_cast<double>(lines);
}

}  // namespace

void BM_SmoothingFactorizeSolve(benchmark::State& state) {
    // The back end's share of a phase update: factorise and solve the bare smoothing matrix.
    Scene& s = scene(static_cast<int>(state.range(0)));
    if (!selectSolver(state, s)) return;
    std::vector<double> b(s.mesh.verts.size(), 1.0), x(s.mesh.verts.size(), 0.0);
    DiagCapture quiet;
    for (auto _ : state) {
        s.smoothing->factorize();
        s.smoothing->solve(b.data(), x.data());
        s.smoothing->freeFactorization();
    }
    addMeshCounters(state, s);
}

void meshAndThreads(benchmark::internal::Benchmark* b) {
    b->ArgNames({"wall", "threads", "solver"});
    for (int shape : {0, 1}) {
        for (int threads : {1, 2}) {
            for (int solver : {0, 1}) b->Args({shape, threads, solver});
        }
        b->Args({shape, 2, 2});
    }
    b->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);
}

void meshAndThreadsOnly(benchmark::internal::Benchmark* b) {
    b->ArgNames({"wall", "threads"});
    for (int shape : {0, 1}) {
        for (int threads : {1, 2}) b->Args({shape, threads});
    }
    b->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(5)->ReportAggregatesOnly(true);
}

BENCHMARK(BM_PhaseFieldUpdate)->Apply(meshAndThreads);
BENCHMARK(BM_PhaseFieldAdd20Constraints)->Apply(meshAndThreads);
BENCHMARK(BM_SmoothingFactorizeSolve)->Apply(meshAndThreads);
BENCHMARK(BM_OrientationUpdate)->Apply(meshAndThreads);
BENCHMARK(BM_OrientationAddStroke)->Apply(meshAndThreads);
BENCHMARK(BM_FibreLinesAllSets)->Apply(meshAndThreadsOnly);

BENCHMARK_MAIN();
