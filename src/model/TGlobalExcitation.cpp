// TGlobalExcitation: chart evaluation and contraction tables.
#include "model/TGlobalExcitation.h"

#include <algorithm>
#include <cmath>

TGlobalExcitation::TGlobalExcitation(const std::vector<Tetra>& tets, const std::vector<vec3>& verts,
                                     const std::vector<vec3>& origPos)
    : m_tets(tets), m_verts(verts), m_vtxOrigPos(origPos) {
    m_tableAtri.fill(vec3(1, 1, 1));
    m_tableVent.fill(vec3(1, 1, 1));
    m_chartVent = {{0.0, 0.0}};
    m_chartAtri = {{0.0, 0.0}};
    buildTables(*this);
}

double evalChart(const TChart& chart, double x) {
    if (chart.empty()) return 0.0;
    x = std::clamp(x, 0.0, 1.0);
    const int count = static_cast<int>(chart.size());
    int b = 0;
    while (b < count && chart[b].first <= x) ++b;
    const int a = std::max(b - 1, 0);
    const double xa = chart[a].first, ya = chart[a].second;
    double xr, yr;
    if (a == count - 1) {
        xr = 1.0;
        yr = chart[0].second;
    } else {
        const int r = (b == 0) ? 1 : b;
        xr = chart[r].first;
        yr = chart[r].second;
    }
    const double span = xr - xa;
    // A zero-length interval (a last point at x = 1, or repeated x) has no slope: its own value holds.
    if (!(std::fabs(span) > 0.0)) return ya;
    return ya + (x - xa) / span * (yr - ya);
}

void buildTables(TGlobalExcitation& e) {
    for (int k = 0; k < 100; ++k) {
        const double x = k * 0.010101010101010102;
        const double ca = 1.0 - evalChart(e.m_chartAtri, x) * e.m_amplitude;
        const double cv = 1.0 - evalChart(e.m_chartVent, x) * e.m_amplitude;
        e.m_tableAtri[k] = vec3(ca, 1.0 / std::sqrt(ca), 1.0 / std::sqrt(ca));
        e.m_tableVent[k] = ventricularFactors(cv, e.m_crossFibreExponent);
    }
}

vec3 ventricularFactors(double c, double k) {
    // The default keeps the very operations (and bits) of the equal cross-fibre stretch.
    if (k == kDefaultCrossFibreExponent) return vec3(c, 1.0 / std::sqrt(c), 1.0 / std::sqrt(c));
    const double inWall = std::pow(c, k);
    return vec3(c, 1.0 / (c * inWall), inWall);
}
