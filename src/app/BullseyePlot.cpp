// BullseyePlot: the segments' patches, their colours and values, the orientation labels and the
// colour bar.
#include "app/BullseyePlot.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

const QColor kBackground(0x10, 0x10, 0x18);
const QColor kText(0xE0, 0xE0, 0xE0);
const QColor kOutline(0x20, 0x20, 0x28);
constexpr double kPi = 3.14159265358979323846;
/// Space for the title above and the colour bar below the rings, in pixels.
constexpr int kTitleHeight = 16;
constexpr int kBarHeight = 26;
/// Outer radii of the apex, apical, mid and basal rings as fractions of the whole.
constexpr double kRingRadii[4] = {0.25, 0.5, 0.75, 1.0};

/// The segments' patches: ring (0 apex .. 3 basal) and the angular range in screen degrees,
/// counterclockwise from the right, seen from the apex with the septum on the left. The cycle angle
/// psi (counterclockwise from the septum) maps to the screen angle 180 + psi.
struct Patch {
    int ring;
    double from, span;
};
Patch patchOf(int segment) {
    if (segment == 17) return {0, 0.0, 360.0};
    if (segment >= 13) return {1, 180.0 - 135.0 + 90.0 * (segment - 13), 90.0};  // 13 anterior, psi -135 .. -45
    const int ring = segment <= 6 ? 3 : 2;
    const int k = (segment - 1) % 6;  // 0 anterior, psi -120 .. -60, then on counterclockwise
    return {ring, 180.0 - 120.0 + 60.0 * k, 60.0};
}

double segmentStrain(const SegmentStrains& s, BullseyePlot::Strain strain) {
    switch (strain) {
        case BullseyePlot::Longitudinal:
            return s.longitudinal;
        case BullseyePlot::Circumferential:
            return s.circumferential;
        case BullseyePlot::Radial:
            return s.radial;
    }
    return 0.0;
}

}  // namespace

const char* BullseyePlot::strainName(Strain strain) {
    switch (strain) {
        case Longitudinal:
            return "longitudinal";
        case Circumferential:
            return "circumferential";
        case Radial:
            return "radial";
    }
    return "";
}

QColor BullseyePlot::colourFor(double value, double limit) {
    if (!std::isfinite(value) || !(limit > 0.0)) return QColor(0x80, 0x80, 0x80);
    const double t = std::clamp(value / limit, -1.0, 1.0);
    const double fade = 1.0 - std::fabs(t);  // the other channels, 1 at zero strain
    const int full = 255, faded = static_cast<int>(std::lround(40 + 215 * fade));
    return t < 0.0 ? QColor(full, faded, faded) : QColor(faded, faded, full);
}

void BullseyePlot::initialise(int width, int height) {
    m_width = std::max(width, 40);
    m_height = std::max(height, 40);
    m_image = QImage(m_width, m_height, QImage::Format_RGB32);
    m_image.fill(kBackground);
    // Room for the orientation labels around the rings.
    const int free = std::min(m_width - 24, m_height - kTitleHeight - kBarHeight - 20);
    m_radius = std::max(free / 2, 10);
    m_centre = QPoint(m_width / 2, kTitleHeight + 10 + m_radius);
}

QPoint BullseyePlot::segmentCentre(int segment) const {
    if (segment == 17) return m_centre;
    const Patch p = patchOf(segment);
    const double r = 0.5 * (kRingRadii[p.ring - 1] + kRingRadii[p.ring]) * m_radius;
    const double a = (p.from + 0.5 * p.span) * kPi / 180.0;
    return m_centre +
           QPoint(static_cast<int>(std::lround(r * std::cos(a))), -static_cast<int>(std::lround(r * std::sin(a))));
}

void BullseyePlot::draw(const DeformationIndexValues* values, const QString& message) {
    if (!isInitialised()) return;
    const bool show = values && values->available && values->segmentsAvailable;
    double largest = 0.0;
    if (show)
        for (const SegmentStrains& s : values->segments) {
            const double v = std::fabs(segmentStrain(s, m_strain));
            if (s.tetrahedra > 0 && std::isfinite(v)) largest = std::max(largest, v);
        }
    m_limit = std::max(5.0, std::ceil(largest / 5.0 - 1e-9) * 5.0);

    m_image.fill(kBackground);
    QPainter painter(&m_image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    QFont font = painter.font();
    font.setPixelSize(10);
    painter.setFont(font);
    painter.setPen(kText);
    painter.drawText(QRect(0, 0, m_width, kTitleHeight), Qt::AlignCenter,
                     QStringLiteral("%1 strain at end-systole (%)").arg(QString::fromLatin1(strainName(m_strain))));

    // Outer rings first; each inner ring covers the middle of the one around it.
    painter.setPen(QPen(kOutline, 1));
    for (int segment = 1; segment <= DeformationIndices::kSegmentCount; ++segment) {
        const Patch p = patchOf(segment);
        const double r = kRingRadii[p.ring] * m_radius;
        const QRectF box(m_centre.x() - r, m_centre.y() - r, 2 * r, 2 * r);
        const SegmentStrains& s = show ? values->segments[segment - 1] : SegmentStrains();
        const bool filled = show && s.tetrahedra > 0;
        painter.setBrush(filled ? colourFor(segmentStrain(s, m_strain), m_limit) : QColor(0x30, 0x30, 0x38));
        if (p.ring == 0)
            painter.drawEllipse(box);
        else
            painter.drawPie(box, static_cast<int>(std::lround(p.from * 16)),
                            static_cast<int>(std::lround(p.span * 16)));
    }
    // The inner rings drawn after the outer ones hide the outer patches' inner edges; the values
    // go on last.
    for (int segment = 1; segment <= DeformationIndices::kSegmentCount && show; ++segment) {
        const SegmentStrains& s = values->segments[segment - 1];
        const QPoint at = segmentCentre(segment);
        painter.setPen(Qt::black);
        const QString text =
            s.tetrahedra > 0 ? QString::number(segmentStrain(s, m_strain), 'f', 1) : QStringLiteral("-");
        painter.drawText(QRect(at.x() - 20, at.y() - 7, 40, 14), Qt::AlignCenter, text);
    }
    if (!show && !message.isEmpty()) {
        painter.setPen(kText);
        painter.setBrush(Qt::NoBrush);
        painter.drawText(QRect(m_centre.x() - m_radius, m_centre.y() - m_radius / 2, 2 * m_radius, m_radius),
                         Qt::AlignCenter | Qt::TextWordWrap, message);
    }

    // Orientation: anterior above, septal left, inferior below, lateral right.
    painter.setPen(kText);
    const int r = m_radius;
    painter.drawText(QRect(m_centre.x() - 30, m_centre.y() - r - 13, 60, 12), Qt::AlignCenter, QStringLiteral("ANT"));
    painter.drawText(QRect(m_centre.x() - 30, m_centre.y() + r + 1, 60, 12), Qt::AlignCenter, QStringLiteral("INF"));
    painter.drawText(QRect(m_centre.x() - r - 40, m_centre.y() - 6, 38, 12), Qt::AlignRight | Qt::AlignVCenter,
                     QStringLiteral("SEPT"));
    painter.drawText(QRect(m_centre.x() + r + 2, m_centre.y() - 6, 38, 12), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("LAT"));

    // The colour bar from -limit to +limit.
    const int barTop = m_height - kBarHeight + 2, barLeft = 30, barRight = m_width - 30;
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (int x = barLeft; x <= barRight; ++x) {
        const double v = m_limit * (2.0 * (x - barLeft) / std::max(barRight - barLeft, 1) - 1.0);
        painter.setPen(colourFor(v, m_limit));
        painter.drawLine(x, barTop, x, barTop + 8);
    }
    painter.setPen(kText);
    painter.drawText(QRect(0, barTop + 9, barLeft + 30, 12), Qt::AlignCenter, QString::number(-m_limit, 'f', 0));
    painter.drawText(QRect((barLeft + barRight) / 2 - 20, barTop + 9, 40, 12), Qt::AlignCenter, QStringLiteral("0"));
    painter.drawText(QRect(barRight - 30, barTop + 9, m_width - barRight + 30, 12), Qt::AlignCenter,
                     QStringLiteral("+%1").arg(m_limit, 0, 'f', 0));
}
