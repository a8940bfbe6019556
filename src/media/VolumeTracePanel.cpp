// VolumeTracePanel: the volume curves, the guide lines and the ejection fraction.
#include "media/VolumeTracePanel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "media/PanelCanvas.h"

VolumeTracePanel::VolumeTracePanel(int plannedTicks) : m_plannedTicks(std::max(plannedTicks, 1)) {}

void VolumeTracePanel::addTick(const std::array<double, 4>& volumes) {
    m_samples.push_back(volumes);
    for (double v : volumes)
        if (std::isfinite(v)) m_scale = std::max(m_scale, v);
    const double lv = volumes[1];
    if (std::isfinite(lv) && lv > 0.0) {
        if (m_lvMax <= 0.0) {
            m_lvMin = m_lvMax = lv;
        } else {
            m_lvMin = std::min(m_lvMin, lv);
            m_lvMax = std::max(m_lvMax, lv);
        }
    }
}

double VolumeTracePanel::ejectionFraction() const {
    return m_lvMax > 0.0 ? (m_lvMax - m_lvMin) / m_lvMax * 100.0 : 0.0;
}

void VolumeTracePanel::paint(RgbImage& image, int x0, int width) const { paint(image, x0, width, 0, image.height); }

void VolumeTracePanel::paint(RgbImage& image, int x0, int width, int y0, int height) const {
    PanelCanvas canvas(image, x0, width, y0, height);
    const unsigned char black[3] = {0, 0, 0}, white[3] = {255, 255, 255}, grey[3] = {110, 110, 110};
    canvas.fillRect(x0, y0, width, height, black);
    const int scale = std::max(1, height / 240);
    const int margin = 4 * scale;
    const int top = y0 + margin + 24 * scale;  // below the two lines of text
    const int bottom = y0 + height - margin;
    const int left = x0 + margin, right = x0 + width - margin;
    if (bottom <= top || right <= left) return;

    // Guide lines at 100, 75, 50 and 25 % of the scale.
    for (int q = 4; q >= 1; --q) {
        const int y = bottom - (bottom - top) * q / 4;
        canvas.fillRect(left, y, right - left, 1, q == 4 ? white : grey);
    }
    canvas.fillRect(left, bottom, right - left, 1, grey);

    auto rowOf = [&](double v) {
        if (!(m_scale > 0.0) || !std::isfinite(v)) return bottom;
        const double clamped = std::clamp(v / m_scale, 0.0, 1.0);
        return bottom - static_cast<int>(std::lround(clamped * (bottom - top)));
    };
    auto columnOf = [&](int tick) {
        return left + static_cast<int>(std::lround(static_cast<double>(tick) / m_plannedTicks * (right - left)));
    };
    const int pen = std::max(2, 2 * scale);
    // Left ventricle last, on top.
    for (int chamber : {0, 2, 3, 1}) {
        const unsigned char* colour = kColours[chamber].data();
        for (size_t t = 1; t < m_samples.size(); ++t)
            canvas.line(columnOf(static_cast<int>(t)), rowOf(m_samples[t - 1][chamber]),
                        columnOf(static_cast<int>(t) + 1), rowOf(m_samples[t][chamber]), pen, colour);
        if (m_samples.size() == 1)
            canvas.line(columnOf(1), rowOf(m_samples[0][chamber]), columnOf(1), rowOf(m_samples[0][chamber]), pen,
                        colour);
    }

    char text[32];
    std::snprintf(text, sizeof(text), "LV EF %.1f%%", ejectionFraction());
    canvas.text(left, y0 + margin, text, 2 * scale, white);
    // The legend: each chamber's name in its colour.
    const char* names[4] = {"RV", "LV", "RA", "LA"};
    int x = left;
    for (int chamber = 0; chamber < 4; ++chamber)
        x = canvas.text(x, y0 + margin + 16 * scale, names[chamber], scale, kColours[chamber].data()) + 4 * scale;
}
