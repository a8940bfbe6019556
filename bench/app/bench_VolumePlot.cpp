// Cost of one volume-plot paint (one sample, extrema, four curves, the text) against the plot width:
// the volume dialog pays it on every tick while it is shown. And one frame of the strain curves and
// of the bull's-eye beside it, which the dialog draws per frame.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cmath>
#include <cstdlib>

#include "app/BullseyePlot.h"
#include "app/StrainPlot.h"
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

/// Indices of a beat at cycle phase t: every segment and global value moving.
DeformationIndexValues beatIndices(double t) {
    DeformationIndexValues v;
    v.available = v.segmentsAvailable = true;
    const double beat = std::sin(3.14159 * t);
    v.longitudinal = -18 * beat;
    v.circumferential = -22 * beat;
    v.radial = 40 * beat;
    v.twist = 12 * beat;
    for (int s = 0; s < 17; ++s)
        v.segments[s] = {v.longitudinal * (1 + 0.02 * s), v.circumferential, v.radial * (1 - 0.01 * s), 400};
    return v;
}

/// One frame of the strain curves (a full cycle stored) and of the bull's-eye (a new end-systole
/// every frame, the dialog's worst case) at the dialog's sizes.
void BM_DeformationPlotsFrame(benchmark::State& state) {
    StrainPlot curves;
    curves.initialise(318, 258);
    BullseyePlot eye;
    eye.initialise(232, 228);
    for (int tick = 0; tick < 100; ++tick) curves.addSample(tick / 100.0, 100.0 - tick, beatIndices(tick / 100.0));
    int frame = 0;
    for (auto _ : state) {
        const double t = (frame++ % 100) / 100.0;
        curves.addSample(t, 200.0 - frame, beatIndices(t));
        curves.draw();
        eye.draw(curves.endSystole(), QString());
        benchmark::DoNotOptimize(eye.image().constBits());
    }
}
BENCHMARK(BM_DeformationPlotsFrame)->Unit(benchmark::kMicrosecond);

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
