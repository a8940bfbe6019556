// StrainPlot: cycle columns of the deformation indices, their curves, and the last end-systole.
#include "app/StrainPlot.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace {

const QColor kBackground(0x10, 0x10, 0x18);
const QColor kGuide(0x50, 0x50, 0x58);
const QColor kZero(0xA0, 0xA0, 0xA8);
const QColor kText(0xE0, 0xE0, 0xE0);
const char* const kLegend[StrainPlot::kCurveCount] = {"long %", "circ %", "rad %", "twist deg"};

double curveValue(const DeformationIndexValues& v, StrainPlot::Curve curve) {
    switch (curve) {
        case StrainPlot::Longitudinal:
            return v.longitudinal;
        case StrainPlot::Circumferential:
            return v.circumferential;
        case StrainPlot::Radial:
            return v.radial;
        case StrainPlot::Twist:
            return v.twist;
    }
    return 0.0;
}

}  // namespace

QColor StrainPlot::curveColour(Curve curve) {
    switch (curve) {
        case Longitudinal:
            return QColor(0x40, 0xA0, 0xFF);
        case Circumferential:
            return QColor(0x30, 0xD0, 0x50);
        case Radial:
            return QColor(0xFF, 0xA0, 0x20);
        case Twist:
            return QColor(0xF0, 0xF0, 0xF0);
    }
    return QColor(Qt::white);
}

void StrainPlot::initialise(int width, int height) {
    m_width = std::max(width, kLeftMargin + 2);
    m_height = std::max(height, kTopMargin + 2);
    m_plotWidth = m_width - kLeftMargin;
    m_image = QImage(m_width, m_height, QImage::Format_RGB32);
    m_image.fill(kBackground);
    m_filled.assign(m_plotWidth, 0);
    m_leftVolumes.assign(m_plotWidth, 0.0);
    m_samples.assign(m_plotWidth, DeformationIndexValues());
    clear();
}

void StrainPlot::clear() {
    std::fill(m_filled.begin(), m_filled.end(), 0);
    m_lastColumn = -1;
}

int StrainPlot::columnOf(double phase) const {
    if (!std::isfinite(phase)) phase = 0.0;
    phase -= std::floor(phase);
    return std::clamp(static_cast<int>(phase * m_plotWidth), 0, m_plotWidth - 1);
}

void StrainPlot::addSample(double phase, double leftVolume, const DeformationIndexValues& values) {
    if (!isInitialised() || !values.available) return;
    const int column = columnOf(phase);
    // The sweep empties what the last cycle left between the previous sample and this one; a step
    // back in time (a reset) empties the rest of the row ahead of it too.
    if (m_lastColumn >= 0 && column != m_lastColumn) {
        for (int c = (m_lastColumn + 1) % m_plotWidth; c != column; c = (c + 1) % m_plotWidth) m_filled[c] = 0;
    }
    m_filled[column] = 1;
    m_leftVolumes[column] = leftVolume;
    m_samples[column] = values;
    m_lastColumn = column;
    ++m_samplesTaken;
}

double StrainPlot::value(Curve curve, int column) const {
    return hasSample(column) ? curveValue(m_samples[column], curve) : 0.0;
}

const DeformationIndexValues* StrainPlot::endSystole() const {
    int best = -1;
    for (int c = 0; c < m_plotWidth; ++c)
        if (m_filled[c] && (best < 0 || m_leftVolumes[c] < m_leftVolumes[best])) best = c;
    return best < 0 ? nullptr : &m_samples[best];
}

int StrainPlot::rowOf(double value) const {
    const int plotHeight = m_height - kTopMargin - 1;
    const double t = std::isfinite(value) ? std::clamp((m_scale - value) / (2.0 * m_scale), -0.05, 1.05) : 0.5;
    return kTopMargin + static_cast<int>(std::lround(t * plotHeight));
}

void StrainPlot::draw() {
    if (!isInitialised()) return;
    double largest = 0.0;
    for (int c = 0; c < m_plotWidth; ++c)
        if (m_filled[c])
            for (int k = 0; k < kCurveCount; ++k) {
                const double v = std::fabs(curveValue(m_samples[c], static_cast<Curve>(k)));
                if (std::isfinite(v)) largest = std::max(largest, v);
            }
    m_scale = std::max(10.0, std::ceil(largest / 10.0 - 1e-9) * 10.0);

    m_image.fill(kBackground);
    QPainter painter(&m_image);
    QFont font = painter.font();
    font.setPixelSize(10);
    painter.setFont(font);
    const int right = m_width - 1;

    // Guide lines every 10 (or every 20 on a wide scale), labelled on the left.
    const double step = m_scale > 40.0 ? 20.0 : 10.0;
    for (double v = -m_scale; v <= m_scale + 1e-9; v += step) {
        const int row = rowOf(v);
        painter.setPen(QPen(std::fabs(v) < 1e-9 ? kZero : kGuide, 1));
        painter.drawLine(kLeftMargin, row, right, row);
        painter.setPen(kText);
        painter.drawText(QRect(0, std::clamp(row - 6, 0, m_height - 12), kLeftMargin - 3, 12),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(static_cast<int>(std::lround(v))));
    }

    if (!m_message.isEmpty()) {
        painter.setPen(kText);
        painter.drawText(QRect(kLeftMargin + 6, kTopMargin + 6, m_plotWidth - 12, m_height - kTopMargin - 12),
                         Qt::AlignCenter | Qt::TextWordWrap, m_message);
    } else {
        // Each curve runs through its stored columns, broken where a column is empty.
        painter.setRenderHint(QPainter::Antialiasing, false);
        for (int k = 0; k < kCurveCount; ++k) {
            const Curve curve = static_cast<Curve>(k);
            QPen pen(curveColour(curve), 2);
            if (curve == Twist) pen.setStyle(Qt::DashLine);
            painter.setPen(pen);
            QPainterPath path;
            bool open = false;
            int lastColumn = -1;
            for (int c = 0; c < m_plotWidth; ++c) {
                if (!m_filled[c]) continue;
                const QPointF point(kLeftMargin + c, rowOf(curveValue(m_samples[c], curve)));
                // Samples a few columns apart belong together; the sweep's gap does not.
                if (open && c - lastColumn <= 8 && !(lastColumn <= m_lastColumn && c > m_lastColumn)) {
                    path.lineTo(point);
                } else {
                    path.moveTo(point);
                    path.lineTo(point);
                }
                open = true;
                lastColumn = c;
            }
            painter.drawPath(path);
        }
        if (m_lastColumn >= 0) {
            painter.setPen(QPen(kZero, 1, Qt::DotLine));
            painter.drawLine(kLeftMargin + m_lastColumn, kTopMargin, kLeftMargin + m_lastColumn, m_height - 1);
        }
    }

    // The legend along the top.
    int x = kLeftMargin + 4;
    for (int k = 0; k < kCurveCount; ++k) {
        const Curve curve = static_cast<Curve>(k);
        painter.setPen(QPen(curveColour(curve), 2, curve == Twist ? Qt::DashLine : Qt::SolidLine));
        painter.drawLine(x, kTopMargin / 2, x + 12, kTopMargin / 2);
        painter.setPen(kText);
        const QString label = QString::fromLatin1(kLegend[k]);
        painter.drawText(QPoint(x + 15, kTopMargin / 2 + 4), label);
        x += 15 + painter.fontMetrics().horizontalAdvance(label) + 10;
    }
}
