// BeatMeasurements: volume ranges, ejection fraction and displacement gathered tick by tick.
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
