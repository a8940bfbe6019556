// ChartEditing: chart point operations shared by the overlay and the dialog's chart editor.
#include "interaction/ChartEditing.h"

#include <algorithm>
#include <cmath>

ChartXY chartToFrame(const ChartXY& pos, const ChartXY& size, double t, double v) {
    return {pos.x + t * size.x, pos.y + v * size.y};
}

int findChartPoint(const TChart& chart, const ChartXY& pos, const ChartXY& size, const ChartXY& p) {
    for (int i = 0; i < static_cast<int>(chart.size()); ++i) {
        const ChartXY q = chartToFrame(pos, size, chart[i].first, chart[i].second);
        const double dx = q.x - p.x, dy = q.y - p.y;
        if (std::sqrt(dx * dx + dy * dy) < kChartPickRadius) return i;
    }
    return -1;
}

int insertChartValue(TChart& chart, double t, double v) {
    if (!(t >= 0.0 && t <= 1.0) || !std::isfinite(v)) return -1;
    for (const auto& point : chart)
        if (point.first == t) return -1;
    // The first point after t: inserting there keeps the chart sorted, as appending and sorting would.
    const auto at = std::upper_bound(chart.begin(), chart.end(), t,
                                     [](double value, const std::pair<double, double>& point) { return value < point.first; });
    const int index = static_cast<int>(at - chart.begin());
    chart.insert(at, {t, v});
    return index;
}

int insertChartPoint(TChart& chart, const ChartXY& pos, const ChartXY& size, const ChartXY& p) {
    if (size.x == 0.0 || size.y == 0.0) return -1;
    return insertChartValue(chart, (p.x - pos.x) / size.x, (p.y - pos.y) / size.y);
}

bool moveChartValue(TChart& chart, int i, double t, double v, double low, double high) {
    const int n = static_cast<int>(chart.size());
    if (i < 0 || i >= n) return false;
    if (i == 0) {
        t = 0.0;
    } else {
        const double lower = chart[i - 1].first + kChartMinGap;
        const double upper = (i == n - 1) ? kChartLastT : chart[i + 1].first - kChartMinGap;
        if (!(t <= upper)) t = upper;  // also a t that is not a number
        // Neighbours closer than twice the gap: the point stays after its predecessor.
        if (t < lower) t = lower;
    }
    if (!(v > 0.0)) {
        v = std::isnan(v) ? chart[i].second : low;
    } else if (v >= 1.0) {
        v = high;
    }
    chart[i] = {t, v};
    return true;
}

bool moveChartPoint(TChart& chart, const ChartXY& pos, const ChartXY& size, const ChartXY& p, int i) {
    if (size.x == 0.0 || size.y == 0.0) return false;
    return moveChartValue(chart, i, (p.x - pos.x) / size.x, (p.y - pos.y) / size.y, kOverlayValueLow,
                          kOverlayValueHigh);
}

bool removeChartPoint(TChart& chart, int i) {
    if (i <= 0 || i >= static_cast<int>(chart.size())) return false;
    chart.erase(chart.begin() + i);
    return true;
}

int ChartPixelArea::columnOf(double t) const { return static_cast<int>(width * t); }

int ChartPixelArea::rowOf(double v) const {
    const int span = height - 20;
    return static_cast<int>(span - span * v + 10);
}

int ChartPixelArea::findPoint(const TChart& chart, int x, int yUp) const {
    const int span = height - 20;
    for (int i = 0; i < static_cast<int>(chart.size()); ++i) {
        const int dx = static_cast<int>(width * chart[i].first) - x;
        const int dy = static_cast<int>(span * chart[i].second + 10) - yUp;
        if (dx * dx + dy * dy < 9) return i;
    }
    return -1;
}

ChartXY ChartPixelArea::insertValueAt(int x, int yUp) const {
    if (width <= 0 || height <= 0) return {-1.0, 0.0};
    return {static_cast<double>(x) / width, static_cast<double>(yUp) / height};
}

ChartXY ChartPixelArea::dragValueAt(int x, int yUp) const {
    if (width <= 0 || height <= 20) return {-1.0, 0.0};
    return {static_cast<double>(x) / width, static_cast<double>(yUp - 10) / (height - 20)};
}
