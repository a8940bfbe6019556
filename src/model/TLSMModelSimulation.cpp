// TLSMModel: the per-tick update (contraction factors, stretch tensors, simulator step, surface)
// and the simulation reset.
#include <algorithm>
#include <cmath>

#include "linalg/Diagnostics.h"
#include "model/TLSMModel.h"

namespace {

constexpr int16_t kLabelVentricle = 1;
constexpr int16_t kLabelAtrium = 2;
constexpr int kTableSize = 100;

// Fibre factors below this (a chart level times the amplitude at or above 1) would make the
// cross-fibre factors 1/sqrt(c) infinite or not a number and wreck every position; the element
// is held at 99 % contraction instead.
constexpr double kMinFibreFactor = 0.01;
// A large negative amplitude (a project file may hold one) stretches without bound in the same
// way; the element is held at a hundredfold stretch.
constexpr double kMaxFibreFactor = 100.0;

/// The fibre factor held within the usable range (a NaN counts as full contraction).
double usableFibreFactor(double c) {
    if (!(c >= kMinFibreFactor)) return kMinFibreFactor;
    return std::min(c, kMaxFibreFactor);
}

/// Table index of the propagated cycle fraction u = t - phase * waves, wrapped into (0, 1]
/// (an exact 0 becomes 1) and clamped to the table.
int propagationIndex(double t, double phase, double waves) {
    double u = t - phase * waves;
    if (u <= 0.0)
        u = u + 1.0 - std::trunc(u);
    else
        u = u - std::trunc(u);
    const double index = std::trunc(u * kTableSize);
    if (!(index >= 0.0)) return 0;
    if (index > kTableSize - 1) return kTableSize - 1;
    return static_cast<int>(index);
}

/// (c, 1/sqrt c, 1/sqrt c) for a chart level, with c held at the smallest usable fibre factor;
/// the ventricles' cross-fibre factors follow the exponent k.
vec3 globalFactors(const TChart& chart, double t, double amplitude, double k) {
    const double c = usableFibreFactor(1.0 - evalChart(chart, t) * amplitude);
    return ventricularFactors(c, k);
}

vec3 tableFactors(const std::array<vec3, 100>& table, int index, double k) {
    const vec3& entry = table[index];
    if (entry.x >= kMinFibreFactor && entry.x <= kMaxFibreFactor && std::isfinite(entry.y) && std::isfinite(entry.z))
        return entry;
    return ventricularFactors(usableFibreFactor(entry.x), k);
}

vec3 scaledByAmplitude(const vec3& c, double h) {
    return {(c.x - 1.0) * h + 1.0, (c.y - 1.0) * h + 1.0, (c.z - 1.0) * h + 1.0};
}

}  // namespace

void TLSMModel::resetSimulation() {
    m_verts = m_vtxOrigPos;
    m_fixedVerts.clear();
    m_simulator.resetSimulation();
    updateSurfacePositions();
}

void TLSMModel::updateModel(double time, double dt) {
    if (!m_excitation) return;
    const int n = vertexCount();
    if (static_cast<int>(m_vtxIsVentriOrAtrium.size()) != n || static_cast<int>(m_phaseField.m_value.size()) != n ||
        static_cast<int>(m_ampliField.m_value.size()) != n || static_cast<int>(m_orienField.m_frames.size()) != n) {
        diagPrintf("updateModel: labels, phase, amplitude or frames do not match the %d vertices, tick skipped\n", n);
        return;
    }
    if (static_cast<int>(m_vtxContraction.size()) != n) m_vtxContraction.assign(n, vec3(1, 1, 1));
    if (static_cast<int>(m_vtxStretch.size()) != n) m_vtxStretch.assign(n, {1, 0, 0, 0, 1, 0, 0, 0, 1});

    const TGlobalExcitation& e = *m_excitation;
    double t = time > e.m_cycleLength ? 0.0 : time / e.m_cycleLength;
    if (!std::isfinite(t)) t = 0.0;  // a zero cycle length at time 0

    const vec3 ventricle = globalFactors(e.m_chartVent, t, e.m_amplitude, e.m_crossFibreExponent);
    const vec3 atrium = globalFactors(e.m_chartAtri, t, e.m_amplitude, kDefaultCrossFibreExponent);

    // Per vertex and independent of the others, so the threads' share changes no result.
#pragma omp parallel for schedule(static) num_threads(std::max(1, m_simulator.threadCount())) if (n >= kParallelVertices)
    for (int i = 0; i < n; ++i) {
        const int16_t label = m_vtxIsVentriOrAtrium[i];
        if (label == kLabelVentricle || label == kLabelAtrium) {  // other labels keep their earlier factors
            const bool isVentricle = label == kLabelVentricle;
            const double h = m_ampliField.m_value[i];
            const bool propagate = isVentricle ? e.m_propagationMode : e.m_propagationModeA;
            if (!propagate) {
                m_vtxContraction[i] = scaledByAmplitude(isVentricle ? ventricle : atrium, h);
            } else {
                const int index =
                    propagationIndex(t, m_phaseField.m_value[i], isVentricle ? e.m_numOfWave : e.m_numOfWaveA);
                m_vtxContraction[i] =
                    scaledByAmplitude(tableFactors(isVentricle ? e.m_tableVent : e.m_tableAtri, index,
                                                   isVentricle ? e.m_crossFibreExponent : kDefaultCrossFibreExponent),
                                      h);
            }
        }
        // M_i = sum_k s_k f_k f_k^T over the vertex's fibre frame.
        const TVertexFrame& frame = m_orienField.m_frames[i];
        const vec3& s = m_vtxContraction[i];
        const vec3 f[3] = {frame.m_primaryDir, frame.m_depthDir, frame.m_thirdDir};
        Mat3& m = m_vtxStretch[i];
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                m[3 * r + c] = s.x * f[0][r] * f[0][c] + s.y * f[1][r] * f[1][c] + s.z * f[2][r] * f[2][c];
    }

    diagPrintf("M= %d", m_iterationN);
    m_simulator.stepSimulation(m_verts, m_fixedVerts, m_pinnedVerts, m_vtxStretch, dt, m_iterationN);
    updateSurfacePositions();
}
