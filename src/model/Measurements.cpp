// Chamber volumes from the closed wall lists and the vertical wall-thickness probe.
#include "model/Measurements.h"

#include <algorithm>

#include "linalg/SmallAlgebra.h"

namespace {

// "交点" and "厚み" in Shift-JIS (code page 932): the export files carry these bytes. The pieces
// are split so that no hex escape runs into a following digit.
const char kCrossingSjis[] = "\x8c\xf0\x93\x5f";
const char kThicknessSjis[] = "\x8c\xfa\x82\xdd";

const char kNoMeasurement[] = "cant find 4 points";

}  // namespace

double chamberVolume(const std::vector<TTriIndices>& triangles, const std::vector<vec3>& positions) {
    const int n = static_cast<int>(positions.size());
    double sum = 0.0;
    for (const TTriIndices& t : triangles) {
        if (t[0] < 0 || t[0] >= n || t[1] < 0 || t[1] >= n || t[2] < 0 || t[2] >= n) continue;
        sum += positions[t[0]].dot(positions[t[2]].cross(positions[t[1]]));
    }
    return sum / 6.0;
}

std::array<double, 4> TLSMModel::computeChamberVolumes() const {
    return {chamberVolume(m_trisVR, m_verts), chamberVolume(m_trisVL, m_verts), chamberVolume(m_trisAR, m_verts),
            chamberVolume(m_trisAL, m_verts)};
}

std::vector<double> probeCrossingHeights(const TTriangleMesh& surface) {
    const vec3 probe(kProbeX, kProbeY, 0.0);
    std::vector<double> heights;
    for (int i = 0; i < surface.polyCount(); ++i) {
        const vec3& a = surface.verts()[surface.polys()[i][0]];
        const vec3 u = surface.verts()[surface.polys()[i][1]] - a;
        const vec3 v = surface.verts()[surface.polys()[i][2]] - a;
        // Rows u, v and the downward probe direction: (beta, gamma, h) . M = probe - a, so the
        // coordinates are the row vector (probe - a) times the inverse.
        double m[9] = {u.x, u.y, u.z, v.x, v.y, v.z, -0.0, -0.0, -1.0};
        if (!invert3x3(m)) continue;
        const vec3 d = probe - a;
        const double beta = d.x * m[0] + d.y * m[3] + d.z * m[6];
        const double gamma = d.x * m[1] + d.y * m[4] + d.z * m[7];
        const double h = d.x * m[2] + d.y * m[5] + d.z * m[8];
        if (beta >= 0 && beta <= 1 && gamma >= 0 && gamma <= 1 && beta + gamma <= 1) heights.push_back(0.0 + h);
    }
    std::sort(heights.begin(), heights.end());
    heights.erase(std::unique(heights.begin(), heights.end()), heights.end());
    return heights;
}

std::string wallThicknessProbeText(const TTriangleMesh& surface) {
    const std::vector<double> crossings = probeCrossingHeights(surface);
    if (crossings.size() < 4) return kNoMeasurement;
    std::vector<double> kept{crossings[0]};
    for (size_t i = 1; i < crossings.size(); ++i)
        if (crossings[i] - kept.back() >= kProbeMinSeparation) kept.push_back(crossings[i]);
    if (kept.size() < 4) return std::string(kNoMeasurement) + "\n";

    const std::string format = std::string(kCrossingSjis) + "z0123 %f %f %f %f  " + kThicknessSjis + "1-2  %f %f  \n";
    const double values[6] = {kept[0], kept[1], kept[2], kept[3], kept[1] - kept[0], kept[3] - kept[2]};
    // "%f" of a far-off coordinate can run to hundreds of digits: size the line first.
    const int length =
        std::snprintf(nullptr, 0, format.c_str(), values[0], values[1], values[2], values[3], values[4], values[5]);
    if (length < 0) return std::string(kNoMeasurement) + "\n";
    std::vector<char> line(static_cast<size_t>(length) + 1);
    std::snprintf(line.data(), line.size(), format.c_str(), values[0], values[1], values[2], values[3], values[4],
                  values[5]);
    return std::string(line.data(), static_cast<size_t>(length));
}

bool probeWallThickness(const TLSMModel& model, std::FILE* out) {
    if (out == nullptr) return false;
    const std::string text = wallThicknessProbeText(model.m_surface);
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    return written && text.compare(0, sizeof kNoMeasurement - 1, kNoMeasurement) != 0;
}

bool probeWallThickness(const TLSMModel& model, std::ostream& out) {
    const std::string text = wallThicknessProbeText(model.m_surface);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out) && text.compare(0, sizeof kNoMeasurement - 1, kNoMeasurement) != 0;
}
