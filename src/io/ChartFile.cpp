// Contraction-chart rules and chart-file loading.
#include "io/ChartFile.h"

#include <algorithm>
#include <map>

void resetChart(TChartPoints& chart) { chart.assign(1, {0.0, 0.0}); }

int addChartPoint(TChartPoints& chart, double x, double y) {
    for (const auto& p : chart)
        if (p.first == x) return -1;
    chart.emplace_back(x, y);
    std::stable_sort(chart.begin(), chart.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < chart.size(); ++i)
        if (chart[i].first == x) return static_cast<int>(i);
    return -1;
}

bool readChartFile(const std::string& path, std::vector<std::pair<double, double>>& pairs, std::string& error) {
    std::string text;
    if (!readWholeFile(path, text, error)) return false;
    TextReader in(std::move(text));
    std::string_view name;
    int count = 0;
    if (!in.readToken(name)) {
        error = path + " is empty";
        return false;
    }
    if (!in.readInt(count) || count < 0) {
        error = path + ": no point count after the chart name" + (in.fail() ? ": " + in.error() : std::string());
        return false;
    }
    std::vector<std::pair<double, double>> read;
    for (int i = 0; i < count && !in.atEnd(); ++i) {
        double x = 0.0, y = 0.0;
        if (!in.readReal(x)) break;
        if (in.atEnd()) break;  // a lone x at the very end: the file was cut, keep the complete pairs
        if (!in.readReal(y)) break;
        read.emplace_back(x, y);
    }
    if (in.fail()) {
        error = path + ": " + in.error();
        return false;
    }
    pairs = std::move(read);
    return true;
}

bool loadChartFile(const std::string& path, TChartPoints& chart, std::string& error) {
    std::vector<std::pair<double, double>> pairs;
    if (!readChartFile(path, pairs, error)) return false;
    std::map<double, double> byX;
    for (const auto& [x, y] : pairs) byX.emplace(x, y);  // a repeated x keeps the first pair
    resetChart(chart);
    for (const auto& [rawX, rawY] : byX) {
        const double x = std::clamp(rawX, 0.0, 1.0);
        const double y = std::clamp(rawY, 0.0, 1.0);
        if (x <= 0.0001)
            chart[0] = {0.0, std::clamp(y, 0.001, 0.999)};
        else
            addChartPoint(chart, x, y);
    }
    return true;
}
