// ImportedFibres: volume-weighted averaging of element directions to points.
#include "meshimport/ImportedFibres.h"

#include <cmath>
#include <cstddef>

namespace {

vec3 unitOrZero(const vec3& v) {
    if (!isFinite(v)) return vec3();
    const double n = v.norm();
    return n > 1e-12 ? v / n : vec3();
}

}  // namespace

std::vector<vec3> normalisedDirections(const std::vector<vec3>& directions) {
    std::vector<vec3> out(directions.size());
    for (std::size_t i = 0; i < directions.size(); ++i) out[i] = unitOrZero(directions[i]);
    return out;
}

std::vector<vec3> averageCellDirectionsToPoints(const std::vector<vec3>& points,
                                                const std::vector<std::array<int, 4>>& tets,
                                                const std::vector<vec3>& cellDirections) {
    std::vector<vec3> sum(points.size());
    if (cellDirections.size() != tets.size()) return sum;
    // Cells in file order, so the result does not depend on anything but the file.
    for (std::size_t t = 0; t < tets.size(); ++t) {
        const vec3 d = unitOrZero(cellDirections[t]);
        if (d.norm2() == 0.0) continue;
        const auto& c = tets[t];
        const vec3 a = points[c[0]];
        const double volume = std::fabs(dot(points[c[1]] - a, cross(points[c[2]] - a, points[c[3]] - a))) / 6.0;
        if (!(volume > 0.0) || !std::isfinite(volume)) continue;
        for (int k = 0; k < 4; ++k) {
            vec3& s = sum[c[k]];
            const double sign = dot(s, d) < 0.0 ? -1.0 : 1.0;
            s += d * (sign * volume);
        }
    }
    return normalisedDirections(sum);
}
