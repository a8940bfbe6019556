// TGlobalExcitation: timing of the beat: contraction charts, amplitude, waves and the two tables.
#pragma once

#include <array>
#include <utility>
#include <vector>

#include "linalg/vec3.h"
#include "mesh/Tetra.h"

/// A contraction chart: points (x, y) in ascending x within [0, 1]; periodic (returns to the first
/// point's value at x = 1).
using TChart = std::vector<std::pair<double, double>>;

/// Excitation parameters of the loaded model; created by the model on every successful load and
/// owned by it. UI thread only.
class TGlobalExcitation {
public:
    /// Binds to the model's arrays; both charts become the single point (0, 0) and the tables are built.
    TGlobalExcitation(const std::vector<Tetra>& tets, const std::vector<vec3>& verts, const std::vector<vec3>& origPos);

    std::array<vec3, 100> m_tableAtri;
    std::array<vec3, 100> m_tableVent;
    const std::vector<Tetra>& m_tets;
    const std::vector<vec3>& m_verts;
    const std::vector<vec3>& m_vtxOrigPos;
    double m_amplitude = 0.5;
    TChart m_chartVent;
    TChart m_chartAtri;
    double m_cycleLength = 1.0;
    double m_numOfWave = 1.0;
    double m_numOfWaveA = 1.0;
    bool m_propagationMode = false;
    bool m_propagationModeA = false;
    /// Cross-fibre exponent k of the ventricular table: within the wall across the fibre the
    /// factor is c^k, across the wall 1 / (c c^k), so volume is kept. The default -0.5 stretches
    /// both equally (1/sqrt(c) each); 0 puts all of the stretch across the wall.
    double m_crossFibreExponent = -0.5;
};

/// The range of the cross-fibre exponent and its default (the equal cross-fibre stretch).
constexpr double kMinCrossFibreExponent = -0.5;
constexpr double kMaxCrossFibreExponent = 1.0;
constexpr double kDefaultCrossFibreExponent = -0.5;

/// The ventricular factors (fibre, depth, third) for a fibre factor c and exponent k:
/// (c, 1 / (c c^k), c^k), computed as (c, 1/sqrt(c), 1/sqrt(c)) for k = -0.5 exactly.
vec3 ventricularFactors(double c, double k);

/// Value of a chart at cycle fraction x (clamped to [0, 1]); linear between points, back to the
/// first point's value at x = 1. An empty chart gives 0.
double evalChart(const TChart& chart, double x);

/// Rebuilds both 100-entry tables from the charts and the amplitude: entry k is
/// (c, 1/sqrt(c), 1/sqrt(c)) with c = 1 - chart(k/99) * amplitude, the ventricular one
/// ventricularFactors(c, cross-fibre exponent).
void buildTables(TGlobalExcitation& excitation);
