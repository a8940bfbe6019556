// StrainTracePanel: the strain and twist curves, their value axis and legend.
#include "media/StrainTracePanel.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "media/PanelCanvas.h"

StrainTracePanel::StrainTracePanel(int plannedTicks) : m_plannedTicks(std::max(plannedTicks, 1)) {}

void StrainTracePanel::addTick(const std::array<double, kCurveCount>& values) {
    m_samples.push_back(values);
    for (double v : values)
        if (std::isfinite(v)) m_largest = std::max(m_largest, std::fabs(v));
}

double StrainTracePanel::scale() const { return std::max(10.0, std::ceil(m_largest / 10.0 - 1e-9) * 10.0); }

void StrainTracePanel::paint(RgbImage& image, int x0, int width, int y0, int height) const {
    PanelCanvas canvas(image, x0, width, y0, height);
    const unsigned char black[3] = {0, 0, 0}, white[3] = {255, 255, 255}, grey[3] = {70, 70, 70},
                        zeroGrey[3] = {160, 160, 160};
    canvas.fillRect(x0, y0, width, height, black);
    const int scale = std::max(1, height / 240);
    const int margin = 4 * scale;
    const double range = this->scale();
    const int labelWidth = PanelCanvas::textWidth("-100", scale);
    const int top = y0 + margin + 22 * scale;              // below the legend and the unit
    const int bottom = y0 + height - margin - 10 * scale;  // above the time axis' name
    const int left = x0 + margin + labelWidth + 2 * scale, right = x0 + width - margin;
    // The legend: each index's name in its colour.
    const char* names[kCurveCount] = {"LONG", "CIRC", "RAD", "TWIST"};
    int x = x0 + margin;
    for (int k = 0; k < kCurveCount; ++k)
        x = canvas.text(x, y0 + margin, names[k], scale, kColours[k].data()) + 4 * scale;
    canvas.text(x0 + margin, y0 + margin + 11 * scale, "%/DEG", scale, white);
    if (bottom <= top || right <= left) return;
    canvas.text(right - PanelCanvas::textWidth("TICK", scale), bottom + 3 * scale, "TICK", scale, white);

    auto rowOf = [&](double v) {
        const double t = std::clamp((range - v) / (2.0 * range), 0.0, 1.0);
        return top + static_cast<int>(std::lround(t * (bottom - top)));
    };
    auto columnOf = [&](int tick) {
        return left + static_cast<int>(std::lround(static_cast<double>(tick) / m_plannedTicks * (right - left)));
    };

    // Guide lines every 10 (every 20 on a wide scale), labelled on the left; the zero line brighter.
    const double step = range > 40.0 ? 20.0 : 10.0;
    for (double v = -range; v <= range + 1e-9; v += step) {
        const int row = rowOf(v);
        const bool zero = std::fabs(v) < 1e-9;
        canvas.fillRect(left, row, right - left, 1, zero ? zeroGrey : grey);
        const std::string label = std::to_string(static_cast<int>(std::lround(v)));
        canvas.text(left - 2 * scale - PanelCanvas::textWidth(label.c_str(), scale), row - 3 * scale, label.c_str(),
                    scale, white);
    }
    canvas.fillRect(left, top, 1, bottom - top + 1, zeroGrey);

    const int pen = std::max(2, 2 * scale);
    for (int k = 0; k < kCurveCount; ++k) {
        const unsigned char* colour = kColours[k].data();
        for (size_t t = 0; t < m_samples.size(); ++t) {
            const double v = m_samples[t][k];
            if (!std::isfinite(v)) continue;
            const int column = columnOf(static_cast<int>(t) + 1);
            // From the previous tick when it was drawn, else a dot.
            const bool joined = t > 0 && std::isfinite(m_samples[t - 1][k]);
            canvas.line(joined ? columnOf(static_cast<int>(t)) : column, rowOf(joined ? m_samples[t - 1][k] : v),
                        column, rowOf(v), pen, colour);
        }
    }
}
