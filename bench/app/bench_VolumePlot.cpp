// Cost of one volume-plot paint (one sample, extrema, four curves, the text) against the plot width:
// the volume dialog pays it on every tick while it is shown.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cmath>
#include <cstdlib>

#include "app/VolumePlot.h"

namespace {

void BM_VolumePlotSample(benchmark::State& state) {
    const int width = static_cast<int>(state.range(0));
    VolumePlot plot;
    plot.initialise(width, 190);
    // A full window of beating volumes first, so every measured paint scans and draws real curves.
    int tick = 0;
    auto beat = [&tick] {
        const double phase = 0.0628 * tick++;
        return ChamberVolumes{60 + 20 * std::sin(phase), 80 + 35 * std::cos(phase), 30 + 8 * std::sin(2 * phase),
                              35 + 9 * std::cos(2 * phase)};
    };
    for (int i = 0; i < width; ++i) plot.addSampleAndDraw(beat());
    for (auto _ : state) {
        plot.addSampleAndDraw(beat());
        benchmark::DoNotOptimize(plot.ejectionFraction());
    }
    state.counters["width"] = width;
}
BENCHMARK(BM_VolumePlotSample)->Arg(150)->Arg(300)->Arg(600)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
