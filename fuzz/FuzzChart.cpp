// Fuzz target: a contraction-chart file loaded into the ventricular chart of the fixed model, with
// the contraction tables rebuilt. A chart that loaded must keep the chart rules.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "FuzzSupport.h"
#include "model/ProjectFile.h"
#include "model/TLSMModel.h"

namespace {
std::unique_ptr<TLSMModel> g_model;

/// Sorted by strictly ascending x in [0, 1], starting at x = 0, every y in [0, 1].
void checkChart(const TChart& chart) {
    if (chart.empty() || chart[0].first != 0.0) std::abort();
    for (size_t i = 0; i < chart.size(); ++i) {
        const auto& [x, y] = chart[i];
        if (!(x >= 0.0 && x <= 1.0 && y >= 0.0 && y <= 1.0)) std::abort();
        if (i > 0 && !(chart[i - 1].first < x)) std::abort();
    }
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::quietDiagnostics();
    g_model = fuzzsupport::makeFixedModel();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TLSMModel& model = *g_model;
    const std::string path = fuzzsupport::writeInput("input.txt", data, size);
    const TChart before = model.m_excitation->m_chartVent;
    if (!loadChartFile(model, path)) {
        if (model.m_excitation->m_chartVent != before) std::abort();  // a refused file changes nothing
        return 0;
    }
    const TChart& chart = model.m_excitation->m_chartVent;
    checkChart(chart);
    for (const vec3& entry : model.m_excitation->m_tableVent)
        if (!std::isfinite(entry.x)) std::abort();
    for (double x : {0.0, 0.25, 0.5, 0.999, 1.0})
        if (!std::isfinite(evalChart(chart, x))) std::abort();
    return 0;
}
