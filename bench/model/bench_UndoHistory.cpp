// The undo history on the bundled heart: what a commit point costs when nothing changed (the
// shell pays it once a second between gestures) and after a gesture, an undo and redo of a move
// of the whole model, and the project text the unsaved mark compares.
#include <benchmark/benchmark.h>

#include <string>

#include "linalg/Diagnostics.h"
#include "model/MainWindowManager.h"
#include "model/ModelGeometry.h"
#include "model/UndoHistory.h"

namespace {

struct QuietConsole {
    QuietConsole() { setDiagQuiet(true); }
    ~QuietConsole() { setDiagQuiet(false); }
};

/// The bundled heart as the application opens it; nullptr (and the benchmark skipped) without it.
TLSMModel* bundledHeart(benchmark::State& state, MainWindowManager& controller) {
    if (!controller.model()) state.SkipWithError("the bundled heart did not load");
    return controller.model();
}

void BM_CommitUnchanged(benchmark::State& state) {
    QuietConsole quiet;
    MainWindowManager controller(nullptr, std::string(VELMORA_SOURCE_DIR) + "/models/ModelB");
    TLSMModel* model = bundledHeart(state, controller);
    if (!model) return;
    for (auto _ : state) benchmark::DoNotOptimize(controller.m_history.commit(*model, "nothing"));
    state.counters["vertices"] = model->vertexCount();
}
BENCHMARK(BM_CommitUnchanged)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CommitConstraint(benchmark::State& state) {
    QuietConsole quiet;
    MainWindowManager controller(nullptr, std::string(VELMORA_SOURCE_DIR) + "/models/ModelB");
    TLSMModel* model = bundledHeart(state, controller);
    if (!model) return;
    int vertex = 0;
    for (auto _ : state) {
        state.PauseTiming();
        addConstraintAtVertex(model->m_phaseField.m_constraints, model->m_vtxOrigPos, vertex++ % model->vertexCount(),
                              1.0);
        state.ResumeTiming();
        benchmark::DoNotOptimize(controller.m_history.commit(*model, "Phase constraints"));
    }
    state.counters["steps"] = static_cast<double>(controller.m_history.undoCount());
}
BENCHMARK(BM_CommitConstraint)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_UndoRedoMove(benchmark::State& state) {
    QuietConsole quiet;
    MainWindowManager controller(nullptr, std::string(VELMORA_SOURCE_DIR) + "/models/ModelB");
    TLSMModel* model = bundledHeart(state, controller);
    if (!model) return;
    const double shift[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0.5, 0, 0, 1};
    transformModel(*model, shift);
    controller.m_history.commit(*model, "Move model");
    for (auto _ : state) {
        controller.m_history.undo(*model);
        controller.m_history.redo(*model);
    }
    state.counters["stepMB"] = static_cast<double>(controller.m_history.bytesHeld()) / (1 << 20);
}
BENCHMARK(BM_UndoRedoMove)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ProjectText(benchmark::State& state) {
    QuietConsole quiet;
    MainWindowManager controller(nullptr, std::string(VELMORA_SOURCE_DIR) + "/models/ModelB");
    TLSMModel* model = bundledHeart(state, controller);
    if (!model) return;
    for (auto _ : state) benchmark::DoNotOptimize(controller.m_history.differsFromFile(*model));
}
BENCHMARK(BM_ProjectText)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
BENCHMARK_MAIN();
