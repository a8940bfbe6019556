// SurfaceMeasure: edge uses and orientation, enclosed volume with its bounding-box fallback, area,
// connected parts.
#include "meshimport/SurfaceMeasure.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>
#include <utility>

namespace {

// A signed volume below this share of the bounding box's is taken for a surface whose facets
// cancel each other out rather than for a body that thin.
constexpr double kMinVolumeShareOfBox = 1e-9;

/// The fewest triangles of a part of the surface (union-find over the points).
size_t smallestPart(const std::vector<std::array<int, 3>>& triangles, size_t pointCount) {
    std::vector<int> parent(pointCount);
    for (size_t i = 0; i < pointCount; ++i) parent[i] = static_cast<int>(i);
    auto root = [&parent](int v) {
        while (parent[v] != v) v = parent[v] = parent[parent[v]];
        return v;
    };
    for (const auto& t : triangles)
        for (int k = 1; k < 3; ++k) parent[root(t[k])] = root(t[0]);
    std::unordered_map<int, size_t> perPart;
    for (const auto& t : triangles) ++perPart[root(t[0])];
    size_t fewest = triangles.size();
    for (const auto& part : perPart) fewest = std::min(fewest, part.second);
    return fewest;
}

}  // namespace

SurfaceMeasure measureSurface(const std::vector<vec3>& points, const std::vector<std::array<int, 3>>& triangles) {
    SurfaceMeasure measure;
    if (triangles.empty()) return measure;
    // Per edge: how many triangles use it, and the sum of the directions they run along it (0
    // when its two triangles are consistently oriented).
    std::map<std::pair<int, int>, std::pair<int, int>> edgeUses;
    for (const auto& t : triangles)
        for (int k = 0; k < 3; ++k) {
            const int a = t[k], b = t[(k + 1) % 3];
            auto& uses = edgeUses[{std::min(a, b), std::max(a, b)}];
            ++uses.first;
            uses.second += a < b ? 1 : -1;
        }
    size_t disagreeing = 0;
    for (const auto& entry : edgeUses) {
        if (entry.second.first == 1) ++measure.openEdges;
        if (entry.second.first > 2) ++measure.branchingEdges;
        if (entry.second.first == 2 && entry.second.second != 0) ++disagreeing;
    }
    // Enclosed volume from the divergence theorem. Its sign follows the orientation; a surface
    // whose triangles disagree (common in segmentation output) can sum to anything down to 0,
    // and an estimate far too small would start a fill that never ends: the bounding box stands
    // in for it then.
    vec3 lo = points[triangles[0][0]], hi = lo;
    double sum = 0.0;
    for (const auto& t : triangles) {
        const vec3 &p0 = points[t[0]], &p1 = points[t[1]], &p2 = points[t[2]];
        sum += p0.dot(p1.cross(p2));
        measure.area += 0.5 * (p1 - p0).cross(p2 - p0).norm();
        for (int row : t)
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min(lo[a], points[row][a]);
                hi[a] = std::max(hi[a], points[row][a]);
            }
    }
    const vec3 extent = hi - lo;
    const double boxVolume = extent.x * extent.y * extent.z;
    const double signedVolume = std::fabs(sum) / 6.0;
    measure.volume = disagreeing == 0 && signedVolume > kMinVolumeShareOfBox * boxVolume ? signedVolume : boxVolume;
    measure.smallestPart = smallestPart(triangles, points.size());
    return measure;
}
