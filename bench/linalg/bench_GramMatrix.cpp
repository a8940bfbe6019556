// Gram product L^T L of the uniform Laplacian of a tetrahedral grid; arguments: cells per axis,
// thread count.
#include <benchmark/benchmark.h>
#include <omp.h>

#include "linalg/Diagnostics.h"
#include "linalg/GridLaplacian.h"

static void BM_GramOfUniformLaplacian(benchmark::State& state) {
    setDiagQuiet(true);
    const benchgrid::Grid grid = benchgrid::makeGrid(static_cast<int>(state.range(0)));
    const int n = static_cast<int>(grid.verts.size());
    TSparseMatrix l(n, n);
    benchgrid::buildLaplacian(grid, l);
    const int threads = omp_get_max_threads();
    omp_set_num_threads(static_cast<int>(state.range(1)));
    int entries = 0;
    for (auto _ : state) {
        TSparseMatrix product(n, n);
        entries = l.calcGramMatrix(product);
        benchmark::DoNotOptimize(entries);
    }
    omp_set_num_threads(threads);
    state.counters["vertices"] = n;
    state.counters["tetrahedra"] = static_cast<double>(grid.tets.size());
    state.counters["entries"] = entries;
}
// 38 cells: 59,319 vertices.
BENCHMARK(BM_GramOfUniformLaplacian)
    ->Args({38, 1})
    ->Args({38, 2})
    ->Args({20, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
