// A movie of the bundled heart (ModelB, 5,518 vertices) made without a window: per frame one tick
// of the main loop, the standard scene drawn on the windowless EGL context, read back and encoded.
// Arguments: frames, width, height, format (0 MP4/H.264, 1 WebM/VP9, 2 GIF). The model is loaded
// outside the timed loop; each iteration writes a whole movie. Counters: frames per second, the
// milliseconds per frame of the tick, the drawing with its read-back and the encoding (finish
// included), and the process's peak resident memory in MB.
// Runs with DISPLAY unset: env -u DISPLAY build/bin/bench_Movie --benchmark_filter=...
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <memory>

#include "common/TestFiles.h"
#include "linalg/Diagnostics.h"
#include "linalg/TSparseMatrix.h"
#include "media/MovieEncoder.h"
#include "model/MainWindowManager.h"
#include "model/TLSMModel.h"
#include "offscreen/OffscreenRenderer.h"

namespace {

double msSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

static void BM_HeartMovie(benchmark::State& state) {
    const int frames = static_cast<int>(state.range(0));
    MovieSettings settings;
    settings.width = static_cast<int>(state.range(1));
    settings.height = static_cast<int>(state.range(2));
    settings.format = state.range(3) == 0   ? MovieFormat::Mp4
                      : state.range(3) == 1 ? MovieFormat::WebM
                                            : MovieFormat::Gif;
    std::string reason;
    if (!movieEncoderAvailable(settings.format, reason)) {
        state.SkipWithError(reason.c_str());
        return;
    }
    setDiagQuiet(true);
    chooseSolverBackend(runningProgramDirectory(), "");
    MainWindowManager controller(nullptr, "");
    controller.loadModel(testfiles::sourceDir() + "/models/ModelB");
    std::string error;
    std::unique_ptr<OffscreenRenderer> renderer =
        controller.model() ? OffscreenRenderer::createHeadless(settings.width, settings.height, error) : nullptr;
    if (!renderer || !fitCameraToModel(renderer->view(), controller)) {
        setDiagQuiet(false);
        state.SkipWithError(("no model or no windowless OpenGL: " + error).c_str());
        return;
    }
    controller.startTimer();
    const DisplaySwitches show = DisplaySwitches::ofWindowStart(controller);
    testfiles::TempDir dir;
    const char* extension = settings.format == MovieFormat::Mp4    ? ".mp4"
                            : settings.format == MovieFormat::WebM ? ".webm"
                                                                   : ".gif";
    RgbImage frame;
    double tickMs = 0, drawMs = 0, encodeMs = 0;
    for (auto _ : state) {
        auto encoder = MovieEncoder::open(dir.file(std::string("heart") + extension), settings, error);
        if (!encoder) {
            setDiagQuiet(false);
            state.SkipWithError(error.c_str());
            return;
        }
        for (int f = 0; f < frames; ++f) {
            auto t0 = std::chrono::steady_clock::now();
            controller.onTimer();
            tickMs += msSince(t0);
            t0 = std::chrono::steady_clock::now();
            renderer->renderStandardScene(*controller.model(), show, kStartSurfaceAlpha, controller.m_time, frame,
                                          error);
            drawMs += msSince(t0);
            t0 = std::chrono::steady_clock::now();
            encoder->addFrame(frame, error);
            encodeMs += msSince(t0);
        }
        const auto t0 = std::chrono::steady_clock::now();
        if (!encoder->finish(error)) state.SkipWithError(error.c_str());
        encodeMs += msSince(t0);
    }
    const double total = static_cast<double>(state.iterations()) * frames;
    state.counters["fps"] = benchmark::Counter(total, benchmark::Counter::kIsRate);
    state.counters["tick_ms"] = tickMs / total;
    state.counters["draw_ms"] = drawMs / total;
    state.counters["encode_ms"] = encodeMs / total;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["peak_MB"] = usage.ru_maxrss / 1024.0;
    state.counters["vertices"] = controller.model()->vertexCount();
    setDiagQuiet(false);
}
BENCHMARK(BM_HeartMovie)
    ->Args({100, 1280, 960, 0})
    ->Args({100, 1280, 960, 2})
    ->Args({100, 640, 480, 1})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

BENCHMARK_MAIN();
