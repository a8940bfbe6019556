// Factorise and solve L^T L plus point constraints on a tetrahedral grid with either back end;
// arguments: cells per axis, wall layers (0 = solid block, else a hollow box with walls that many
// cells thick, closer to a heart), back end (0 = UMFPACK library next to the program, 1 = in-house).
// On a machine shared with other work run it with OMP_WAIT_POLICY=passive: spinning BLAS threads
// otherwise wait for a busy core.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>

#include "linalg/Diagnostics.h"
#include "linalg/GridLaplacian.h"

namespace {

std::string programDir() {
    char buffer[4096] = {0};
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    const std::string path(buffer, length > 0 ? static_cast<size_t>(length) : 0);
    return path.substr(0, path.rfind('/') + 1);
}

double millisecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

static void BM_FactorizeAndSolve(benchmark::State& state) {
    setDiagQuiet(true);
    const bool umfpack = state.range(2) == 0;
    if (umfpack && !loadUmfpackLibrary(programDir())) {
        state.SkipWithError("libvelmora_umfpack.so not found next to the program");
        return;
    }
    setSolverBackendForTesting(umfpack ? SolverBackend::Umfpack : SolverBackend::InHouse);
    const benchgrid::Grid grid = benchgrid::makeGrid(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    const int n = static_cast<int>(grid.verts.size());
    TSparseMatrix system(n, n);
    const std::vector<double> b = benchgrid::smoothingSystem(grid, system, 40, 1000.0);
    std::vector<double> x(n);
    double factorMs = 0.0, solveMs = 0.0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        system.factorize();
        factorMs += millisecondsSince(start);
        start = std::chrono::steady_clock::now();
        system.solve(b.data(), x.data());
        solveMs += millisecondsSince(start);
        system.freeFactorization();
        benchmark::DoNotOptimize(x.data());
    }
    if (system.factorizationFailed()) state.SkipWithError("factorisation failed");
    const double iterations = static_cast<double>(state.iterations());
    state.counters["vertices"] = n;
    state.counters["entries"] = static_cast<double>(system.values().size());
    state.counters["factorize_ms"] = factorMs / iterations;
    state.counters["solve_ms"] = solveMs / iterations;
}
// 26 cells solid: 19,683 vertices; 33 cells with 3-cell walls: 21,728 vertices.
BENCHMARK(BM_FactorizeAndSolve)
    ->Args({26, 0, 0})
    ->Args({33, 3, 0})
    ->Args({12, 0, 0})
    ->Args({12, 0, 1})
    ->Args({20, 3, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
