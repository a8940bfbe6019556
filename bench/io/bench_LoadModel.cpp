// The whole model loading sequence (mesh, neighbourhoods, surface, smoothing matrix, simulator,
// fields and fibre lines) on a structured block of about 60,000 vertices without a project file.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "common/TestFiles.h"
#include "common/TestMeshes.h"
#include "linalg/Diagnostics.h"
#include "linalg/TSparseMatrix.h"
#include "model/TLSMModel.h"

namespace {

std::string programDirectory() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "./";
    path[n] = '\0';
    return std::filesystem::path(path).parent_path().string() + "/";
}

/// Args: cells along x and y, cells along z.
void BM_LoadModel(benchmark::State& state) {
    // The program's start-up choice (VELMORA_SOLVER, else CHOLMOD).
    static const SolverBackend solver = chooseSolverBackend(programDirectory(), "");
    const int nxy = static_cast<int>(state.range(0)), nz = static_cast<int>(state.range(1));
    testfiles::TempDir dir;
    const std::string base = dir.file("block");
    testmesh::writeTetGen(testmesh::grid(nxy, nxy, nz, [](int i, int j, int k) { return vec3(i, j, 1.2 * k); }), base);
    setDiagQuiet(true);
    int vertices = 0, tets = 0;
    size_t fibreLines = 0;
    for (auto _ : state) {
        TLSMModel model;
        if (!model.loadModel(base)) state.SkipWithError("loadModel failed");
        vertices = model.vertexCount();
        tets = static_cast<int>(model.m_tets.size());
        fibreLines = 0;
        for (const auto& set : model.m_orienField.m_fibreLines) fibreLines += set.size();
        benchmark::DoNotOptimize(model.m_phaseField.m_value.data());
    }
    setDiagQuiet(false);
    state.counters["vertices"] = vertices;
    state.counters["tetrahedra"] = tets;
    state.counters["fibre_lines"] = static_cast<double>(fibreLines);
    state.counters["umfpack"] = solver == SolverBackend::Umfpack ? 1 : 0;
    state.counters["cholmod"] = solver == SolverBackend::Cholmod ? 1 : 0;
}
BENCHMARK(BM_LoadModel)->Args({38, 40})->Args({20, 20})->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
