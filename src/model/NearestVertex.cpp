// NearestVertex: the tree's construction and its two searches.
#include "model/NearestVertex.h"

#include <algorithm>
#include <cmath>
#include <limits>

void NearestVertex::build(const std::vector<vec3>& positions, const std::vector<int>& vertices) {
    m_nodes.clear();
    m_nodes.reserve(vertices.size());
    for (int v : vertices) m_nodes.push_back({positions[v], positions[v], positions[v], v, 0});
    buildRange(0, static_cast<int>(m_nodes.size()));
}

std::pair<int, double> NearestVertex::nearest(const vec3& p, int hint, const vec3& hintPoint) const {
    int best = hint;
    double bestDistance2 = hint < 0 ? std::numeric_limits<double>::infinity() : (p - hintPoint).norm2();
    search(0, static_cast<int>(m_nodes.size()), p, best, bestDistance2);
    return {best, std::sqrt(bestDistance2)};
}

bool NearestVertex::anyCloserThan(const vec3& p, double distance) const {
    return closerIn(0, static_cast<int>(m_nodes.size()), p, distance);
}

double NearestVertex::boxDistance2(const Node& node, const vec3& p) {
    double sum = 0.0;
    for (int a = 0; a < 3; ++a) {
        const double d = p[a] < node.lo[a] ? node.lo[a] - p[a] : (p[a] > node.hi[a] ? p[a] - node.hi[a] : 0.0);
        sum += d * d;
    }
    return sum;
}

void NearestVertex::buildRange(int begin, int end) {
    if (end <= begin) return;
    vec3 lo = m_nodes[begin].point, hi = lo;
    for (int i = begin; i < end; ++i)
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], m_nodes[i].point[a]);
            hi[a] = std::max(hi[a], m_nodes[i].point[a]);
        }
    const vec3 extent = hi - lo;
    const int axis = extent.x >= extent.y && extent.x >= extent.z ? 0 : (extent.y >= extent.z ? 1 : 2);
    const int middle = (begin + end) / 2;
    std::nth_element(m_nodes.begin() + begin, m_nodes.begin() + middle, m_nodes.begin() + end,
                     [axis](const Node& a, const Node& b) { return a.point[axis] < b.point[axis]; });
    m_nodes[middle].axis = axis;
    m_nodes[middle].lo = lo;
    m_nodes[middle].hi = hi;
    buildRange(begin, middle);
    buildRange(middle + 1, end);
}

void NearestVertex::search(int begin, int end, const vec3& p, int& best, double& bestDistance2) const {
    if (begin >= end) return;
    const int middle = (begin + end) / 2;
    const Node& node = m_nodes[middle];
    // A box exactly at the best distance may still hold a lower index.
    if (boxDistance2(node, p) > bestDistance2) return;
    const double d2 = (p - node.point).norm2();
    if (d2 < bestDistance2 || (d2 == bestDistance2 && node.vertex < best)) {
        best = node.vertex;
        bestDistance2 = d2;
    }
    const bool lowFirst = p[node.axis] < node.point[node.axis];
    search(lowFirst ? begin : middle + 1, lowFirst ? middle : end, p, best, bestDistance2);
    search(lowFirst ? middle + 1 : begin, lowFirst ? end : middle, p, best, bestDistance2);
}

bool NearestVertex::closerIn(int begin, int end, const vec3& p, double distance) const {
    if (begin >= end) return false;
    const int middle = (begin + end) / 2;
    const Node& node = m_nodes[middle];
    if (std::sqrt(boxDistance2(node, p)) >= distance) return false;
    if (std::sqrt((p - node.point).norm2()) < distance) return true;
    const bool lowFirst = p[node.axis] < node.point[node.axis];
    return closerIn(lowFirst ? begin : middle + 1, lowFirst ? middle : end, p, distance) ||
           closerIn(lowFirst ? middle + 1 : begin, lowFirst ? end : middle, p, distance);
}
