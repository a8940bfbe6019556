// The whole model loading sequence (mesh, neighbourhoods, surface, simulator, fields and fibre
// lines) on a structured block of about 60,000 vertices without a project file; and on the gmsh
// shells (20,000 vertices, and the 212,000-vertex one where its mesh exists) against a plain
// parse of the same two files' numbers, the floor any loader stands on.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "common/ShellMeshes.h"
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

/// Reads the file whole and parses every whitespace-separated token of it as a number with
/// std::from_chars ('#' comments skipped), checking nothing else: the least work that gets the
/// numbers of a TetGen file into memory. Returns the token count (0 when unreadable).
size_t parseNumbers(const std::string& path, std::vector<double>& numbers) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return 0;
    std::ostringstream text;
    text << in.rdbuf();
    const std::string s = text.str();
    numbers.clear();
    const char* p = s.data();
    const char* end = p + s.size();
    while (p < end) {
        if (*p == '#') {
            while (p < end && *p != '\n') ++p;
            continue;
        }
        if (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') {
            ++p;
            continue;
        }
        double value = 0.0;
        const auto result = std::from_chars(p, end, value);
        if (result.ptr == p) {
            ++p;
            continue;
        }
        numbers.push_back(value);
        p = result.ptr;
    }
    return numbers.size();
}

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

/// Arg: shell size (see benchmesh::shellMesh). Per iteration a plain parse of the .node and .ele
/// numbers, then the full loadModel (no project file) of the same shell: medians of each and
/// their ratio.
void BM_ShellLoadVersusParse(benchmark::State& state) {
    if (!solverBackendChosen()) chooseSolverBackend(programDirectory(), "");
    const std::string base = benchmesh::shellMesh(static_cast<int>(state.range(0)));
    if (base.empty()) {
        state.SkipWithError("shell mesh unavailable");
        return;
    }
    setDiagQuiet(true);
    std::vector<double> parseMs, loadMs, numbers;
    int vertices = 0, tets = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        const size_t tokens = parseNumbers(base + ".node", numbers) + parseNumbers(base + ".ele", numbers);
        parseMs.push_back(msSince(start));
        benchmark::DoNotOptimize(tokens);
        start = std::chrono::steady_clock::now();
        {
            TLSMModel model;
            if (!model.loadModel(base)) state.SkipWithError("loadModel failed");
            vertices = model.vertexCount();
            tets = static_cast<int>(model.m_tets.size());
        }
        loadMs.push_back(msSince(start));
    }
    setDiagQuiet(false);
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    };
    state.counters["vertices"] = vertices;
    state.counters["tetrahedra"] = tets;
    state.counters["parse_ms"] = median(parseMs);
    state.counters["load_ms"] = median(loadMs);
    state.counters["load_over_parse"] = median(loadMs) / std::max(median(parseMs), 1e-9);
}
BENCHMARK(BM_ShellLoadVersusParse)
    ->Arg(20000)
    ->Arg(benchmesh::kLargeShell)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
