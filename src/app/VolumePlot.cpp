// VolumePlot: rings of volume samples, their extrema, the four curves and the ejection fraction.
#include "app/VolumePlot.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QPolygon>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

/// Curve colours and drawing order: right ventricle, right atrium, left ventricle, left atrium, so
/// the left-heart curves lie on top.
struct CurveStyle {
    VolumePlot::Chamber chamber;
    QColor colour;
};
const CurveStyle kCurves[] = {{VolumePlot::VR, QColor(0xFF, 0xAA, 0x00)},
                              {VolumePlot::AR, QColor(0xFF, 0x00, 0xDD)},
                              {VolumePlot::VL, QColor(0xFF, 0x10, 0x10)},
                              {VolumePlot::AL, QColor(0x80, 0x80, 0xFF)}};

/// Keeps pixel coordinates far inside int range so that the rasteriser never overflows.
constexpr double kRowLimit = 1.0e6;

}  // namespace

void VolumePlot::initialise(int width, int height) {
    m_width = std::max(width, 1);
    m_height = std::max(height, 1);
    m_background = QImage(m_width, m_height, QImage::Format_RGB32);
    m_background.fill(Qt::black);
    {
        QPainter painter(&m_background);
        painter.setPen(QPen(Qt::white, 1));
        for (int row : guideRows(m_height)) painter.drawLine(0, row, m_width - 1, row);
    }
    // A fresh off-screen bitmap is black until the first sample is drawn.
    m_image = QImage(m_width, m_height, QImage::Format_RGB32);
    m_image.fill(Qt::black);
    for (std::vector<double>& ring : m_rings) ring.assign(m_width, kInitialSample);
    m_ringPos = 0;
    m_samplesTaken = 0;
    m_scale = 0.0;
    m_ejectionFraction = 0.0;
    m_efText.clear();
}

std::array<int, 4> VolumePlot::guideRows(int height) {
    return {kCurveOffset, height / 4 + kCurveOffset, height / 2 + kCurveOffset, 3 * height / 4 + kCurveOffset};
}

QRect VolumePlot::textRect(int width) {
    const int right = std::max(width - 50, 50);
    return QRect(QPoint(50, 0), QPoint(right, 50));
}

int VolumePlot::rowOf(double value, double scale, int height) {
    double lift = 0.0;
    if (scale > 0.0 && std::isfinite(scale)) {
        lift = static_cast<double>(height) / scale * value;
        if (!std::isfinite(lift)) lift = std::isnan(lift) ? 0.0 : std::copysign(kRowLimit, lift);
        lift = std::clamp(std::trunc(lift), -kRowLimit, kRowLimit);
    }
    return height + kCurveOffset - static_cast<int>(lift);
}

void VolumePlot::addSampleAndDraw(const ChamberVolumes& volumes) {
    addSample(volumes);
    draw();
}

void VolumePlot::addSample(const ChamberVolumes& volumes) {
    if (!isInitialised()) return;
    m_ringPos = (m_ringPos + 1) % m_width;
    for (int c = 0; c < 4; ++c) m_rings[c][m_ringPos] = volumes[c];
    ++m_samplesTaken;

    // Extrema over the whole window. The minimum starts from the window's own values, so any
    // volume, however large its units, gives a meaningful fraction.
    std::array<double, 4> maxima{0.0, 0.0, 0.0, 0.0};
    double minVL = std::numeric_limits<double>::infinity();
    for (int i = 0; i < m_width; ++i) {
        for (int c = 0; c < 4; ++c) maxima[c] = std::max(maxima[c], m_rings[c][i]);
        if (m_rings[VL][i] < minVL) minVL = m_rings[VL][i];
    }
    m_scale = *std::max_element(maxima.begin(), maxima.end());

    // A window without a positive left-ventricle volume has ejected nothing.
    const double maxVL = maxima[VL];
    m_ejectionFraction = (maxVL > 0.0 && std::isfinite(minVL)) ? (maxVL - minVL) / maxVL * 100.0 : 0.0;
    char text[64];
    std::snprintf(text, sizeof text, "LV EF : %.1f\n", m_ejectionFraction);
    m_efText = QString::fromLatin1(text);
}

void VolumePlot::draw() {
    if (!isInitialised() || m_samplesTaken == 0) return;
    m_image = m_background.copy();
    QPainter painter(&m_image);
    for (const CurveStyle& curve : kCurves) drawCurve(painter, m_rings[curve.chamber], curve.colour);

    // The window system's default text attributes: its text colour on its window colour, opaque.
    const QPalette palette = QGuiApplication::palette();
    painter.setPen(palette.color(QPalette::WindowText));
    painter.setBackground(palette.color(QPalette::Window));
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.drawText(textRect(m_width), Qt::AlignLeft | Qt::AlignTop, m_efText);
}

void VolumePlot::drawCurve(QPainter& painter, const std::vector<double>& ring, const QColor& colour) const {
    // One polyline from the right edge backwards in time: the newest sample at x = W - 1 and W,
    // then one pixel to the left per older sample, ending at x = 0 on the newest sample's slot.
    QPolygon points;
    points.reserve(m_width + 2);
    points << QPoint(m_width - 1, rowOf(ring[m_ringPos], m_scale, m_height));
    int index = m_ringPos;
    for (int k = 0; k <= m_width; ++k) {
        points << QPoint(m_width - k, rowOf(ring[index], m_scale, m_height));
        index = index == 0 ? m_width - 1 : index - 1;
    }
    painter.setPen(QPen(colour, kPenWidth, Qt::SolidLine, Qt::FlatCap, Qt::BevelJoin));
    painter.drawPolyline(points);
}
