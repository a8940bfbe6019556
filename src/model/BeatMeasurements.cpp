// BeatMeasurements: volume ranges, ejection fraction, displacement and the deformation indices
// gathered tick by tick.
#include "model/BeatMeasurements.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "model/TLSMModel.h"

namespace {

bool allFinite(const TLSMModel& model) {
    return std::all_of(model.m_verts.begin(), model.m_verts.end(), [](const vec3& p) { return isFinite(p); });
}

}  // namespace

BeatMeasurements::BeatMeasurements(const TLSMModel& model) : m_finite(allFinite(model)) {
    m_volumesMin.fill(std::numeric_limits<double>::max());
    m_volumesMax.fill(-std::numeric_limits<double>::max());
    m_indices.prepare(model);
}

std::array<double, 4> BeatMeasurements::addTick(const TLSMModel& model) {
    const std::array<double, 4> v = model.computeChamberVolumes();
    for (int c = 0; c < 4; ++c) {
        m_volumesMin[c] = std::min(m_volumesMin[c], v[c]);
        m_volumesMax[c] = std::max(m_volumesMax[c], v[c]);
    }
    for (int i = 0; i < model.vertexCount(); ++i)
        m_maxDisplacement = std::max(m_maxDisplacement, distance(model.m_verts[i], model.m_vtxOrigPos[i]));
    m_finite = m_finite && allFinite(model) && std::isfinite(v[0] + v[1] + v[2] + v[3]);
    ++m_ticks;

    if (m_indices.measure(model.m_verts, m_lastIndices)) {
        const DeformationIndexValues& d = m_lastIndices;
        const bool first = m_endSystoleTick == 0;
        if (first || v[1] < m_endSystoleVolume) {
            m_endSystoleVolume = v[1];
            m_endSystoleTick = m_ticks;
            m_endSystole = d;
        }
        // Strict comparisons keep the earliest tick of a tie.
        auto keep = [this](bool better, double value, double& peak, int& tick) {
            if (!better) return;
            peak = value;
            tick = m_ticks;
        };
        keep(first || d.longitudinal < m_peaks.longitudinal, d.longitudinal, m_peaks.longitudinal,
             m_peaks.longitudinalTick);
        keep(first || d.circumferential < m_peaks.circumferential, d.circumferential, m_peaks.circumferential,
             m_peaks.circumferentialTick);
        keep(first || d.radial > m_peaks.radial, d.radial, m_peaks.radial, m_peaks.radialTick);
        keep(first || d.twist > m_peaks.twist, d.twist, m_peaks.twist, m_peaks.twistTick);
    }
    return v;
}

double BeatMeasurements::leftVentricularEjectionFraction(const TLSMModel& model) const {
    const bool hasLv = !model.m_trisVL.empty();
    if (!hasLv || m_ticks == 0 || m_volumesMax[1] == 0.0) return 0.0;
    return (m_volumesMax[1] - m_volumesMin[1]) / m_volumesMax[1] * 100.0;
}

double signedTotalVolume(const TLSMModel& model) {
    double sum = 0.0;
    for (const Tetra& t : model.m_tets)
        sum += signedVolume6(model.m_verts[t.vIdx[0]], model.m_verts[t.vIdx[1]], model.m_verts[t.vIdx[2]],
                             model.m_verts[t.vIdx[3]]);
    return sum / 6.0;
}
