// The beat as a user sees it: the real main window under an X server (Xvfb with software OpenGL),
// the 5 ms main loop running for one beat per iteration. Reports ticks and frames per second, the
// step's time per tick inside the window and, for the same model in the same process, outside it.
// Run under xvfb-run (QT_XCB_GL_INTEGRATION=xcb_glx is set if unset).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <cstdlib>
#include <memory>

#include "app/CMainFrame.h"
#include "app/CVelmoraApp.h"
#include "app/CVelmoraView.h"
#include "app/ShellHost.h"
#include "app/ScriptedUserDialogs.h"
#include "common/ShellMeshes.h"
#include "common/TestFiles.h"
#include "linalg/Diagnostics.h"
#include "model/MainWindowManager.h"

namespace {

/// Ticks per measured iteration: one beat of the default cycle.
constexpr int kTicksPerBeat = 100;
constexpr int kViewWidth = 1024;
constexpr int kViewHeight = 768;

/// One running application on one model; replaced when a benchmark asks for another model.
struct Window {
    std::string model;
    ScriptedUserDialogs dialogs;
    std::unique_ptr<CVelmoraApp> app;

    bool open(const std::string& basePath) {
        if (app && model == basePath) return true;
        app.reset();
        model = basePath;
        app = std::make_unique<CVelmoraApp>(&dialogs);
        if (!app->initInstance({QStringLiteral("velmora"), QString::fromStdString(basePath)})) return false;
        CMainFrame* frame = app->mainFrame();
        // The view at the measured size: the frame grows by what its menu bar takes.
        frame->resize(kViewWidth + frame->width() - frame->view()->width(),
                      kViewHeight + frame->height() - frame->view()->height());
        QElapsedTimer waited;
        waited.start();
        while (!frame->view()->isReady() && waited.elapsed() < 10000) QApplication::processEvents();
        return frame->view()->isReady() && MainWindowManager::getInstance().model() != nullptr;
    }
};

Window& window() {
    static Window w;
    return w;
}

void runBeats(benchmark::State& state, const std::string& basePath, bool ventricularFibres) {
    if (basePath.empty() || !window().open(basePath)) {
        state.SkipWithError("no model or no window (run under xvfb-run)");
        return;
    }
    MainWindowManager& manager = MainWindowManager::getInstance();
    ShellHost& host = window().app->host();
    manager.m_bShowFibVent = ventricularFibres;
    manager.m_bShowFibAtri = false;
    manager.m_bShowMesh = false;

    long long ticks = 0, frames = 0;
    double windowStepMs = 0.0, wallMs = 0.0;
    for (auto _ : state) {
        const long long firstTick = manager.ticksRun();
        const double stepBefore = manager.stepMsTotal();
        const double start = steadyClockMs();
        manager.startTimer();
        while (manager.ticksRun() < firstTick + kTicksPerBeat) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
        manager.stopTimer();
        const double elapsed = steadyClockMs() - start;
        state.SetIterationTime(elapsed / 1000.0);
        wallMs += elapsed;
        ticks += manager.ticksRun() - firstTick;
        frames += host.pacer().framesCounted();
        windowStepMs += manager.stepMsTotal() - stepBefore;
    }
    // The same steps without the window's drawing, on the model as the beat left it.
    TLSMModel& model = *manager.model();
    double time = manager.m_time;
    const double start = steadyClockMs();
    for (int i = 0; i < kTicksPerBeat; ++i) {
        time += manager.m_dt;
        if (time > model.m_excitation->m_cycleLength) time = 0.0;
        model.updateModel(time, manager.m_dt);
    }
    const double headlessStepMs = (steadyClockMs() - start) / kTicksPerBeat;

    state.counters["ticks_per_s"] = ticks * 1000.0 / wallMs;
    state.counters["frames_per_s"] = frames * 1000.0 / wallMs;
    state.counters["step_ms_window"] = windowStepMs / ticks;
    state.counters["step_ms_headless"] = headlessStepMs;
    state.counters["step_ratio"] = windowStepMs / ticks / headlessStepMs;
    state.counters["vertices"] = model.vertexCount();
}

std::string bundledHeart() { return testfiles::sourceDir() + "/models/ModelB"; }

/// One frame of the window as the beat draws it (the view and the standard dialog's chart), with
/// the model still: what drawing costs in the window, composition and the X server included.
void BM_WindowFrame(benchmark::State& state) {
    if (!window().open(bundledHeart())) {
        state.SkipWithError("no model or no window (run under xvfb-run)");
        return;
    }
    MainWindowManager& manager = MainWindowManager::getInstance();
    manager.m_bShowFibVent = state.range(0) != 0;
    ShellHost& host = window().app->host();
    for (auto _ : state) {
        const double start = steadyClockMs();
        host.redrawView();
        host.redrawStdDialog(false);
        // The X server has taken the frame when a round trip returns.
        QApplication::sync();
        state.SetIterationTime((steadyClockMs() - start) / 1000.0);
    }
    manager.m_bShowFibVent = false;
}
BENCHMARK(BM_WindowFrame)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_WindowBeatDefault(benchmark::State& state) { runBeats(state, bundledHeart(), false); }
void BM_WindowBeatFibres(benchmark::State& state) { runBeats(state, bundledHeart(), true); }
void BM_WindowBeatShell20k(benchmark::State& state) { runBeats(state, benchmesh::shellMesh(20000), false); }

BENCHMARK(BM_WindowBeatDefault)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_WindowBeatFibres)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_WindowBeatShell20k)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_XCB_GL_INTEGRATION", "xcb_glx", 0);
    CVelmoraApp::configureSurfaceFormat();
    QApplication application(argc, argv);
    setDiagQuiet(true);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    window().app.reset();
    return 0;
}
