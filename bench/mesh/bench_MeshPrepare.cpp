// Reading and preparing a TetGen mesh: reader, neighbours, normalisation, shape-matching
// neighbourhoods, surface extraction and draw order, each phase timed separately.
#include <benchmark/benchmark.h>

#include <chrono>

#include "common/TestFiles.h"
#include "common/TestMeshes.h"
#include "io/TetGenFile.h"
#include "linalg/Diagnostics.h"
#include "model/TLSMModel.h"

namespace {

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void BM_ReadAndPrepare(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));  // cells per axis
    const testmesh::TetData data = testmesh::grid(n, n, n, [](int i, int j, int k) {
        return vec3(i + 0.1 * std::sin(j), j + 0.1 * std::cos(k), k * 1.3);
    });
    testfiles::TempDir dir;
    const std::string base = dir.file("grid");
    testmesh::writeTetGen(data, base);
    setDiagQuiet(true);
    double read = 0, neighbours = 0, prepare = 0, surface = 0;
    for (auto _ : state) {
        auto t = std::chrono::steady_clock::now();
        TTetMesh mesh;
        loadTetMesh(mesh, base);
        read += msSince(t);
        t = std::chrono::steady_clock::now();
        calcNeighbor(mesh);
        neighbours += msSince(t);
        t = std::chrono::steady_clock::now();
        TLSMModel model;
        TLSMModel::normalizeModelSize(mesh.m_verts);
        model.m_verts = model.m_vtxOrigPos = mesh.m_verts;
        model.m_tets = std::move(mesh.m_tets);
        TLSMModel::constructNeighborForShapaMatching(model.m_tets, model.m_vtxOrigPos, model.m_smNeighbors);
        prepare += msSince(t);
        t = std::chrono::steady_clock::now();
        model.rebuildSurface();
        model.buildDrawOrder();
        surface += msSince(t);
        benchmark::DoNotOptimize(model.m_triDrawOrder.data());
    }
    setDiagQuiet(false);
    const double iters = static_cast<double>(state.iterations());
    state.counters["vertices"] = static_cast<double>(data.verts.size());
    state.counters["tetrahedra"] = static_cast<double>(data.tets.size());
    state.counters["read_ms"] = read / iters;
    state.counters["neighbours_ms"] = neighbours / iters;
    state.counters["neighbourhoods_ms"] = prepare / iters;
    state.counters["surface_ms"] = surface / iters;
}

}  // namespace

// 20^3 cells: 9,261 vertices; 38^3 cells: 59,319 vertices.
BENCHMARK(BM_ReadAndPrepare)->Arg(20)->Arg(38)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
