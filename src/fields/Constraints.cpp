// Constraints: barycentric samples, constraint lists, orientation strokes and polyline helpers.
#include "fields/Constraints.h"

#include <algorithm>
#include <limits>

#include "fields/FieldSupport.h"
#include "fields/TTensorField.h"
#include "linalg/Diagnostics.h"
#include "linalg/SmallAlgebra.h"
#include "mesh/Tetra.h"

namespace {

// A new constraint closer than this to an existing one of the same list is not added.
constexpr double kConstraintSpacing = 0.01;
// Orientation strokes are resampled into 5 segments per unit of length, 3 to 20 segments.
constexpr double kStrokeSegmentsPerUnit = 5.0;
constexpr double kMinStrokeSegments = 3.0;
constexpr double kMaxStrokeSegments = 20.0;
constexpr int kStrokeSmoothingPasses = 3;

}  // namespace

bool computeBarycentric(const vec3& x, const vec3 p[4], double weights[4]) {
    const vec3 e1 = p[1] - p[0], e2 = p[2] - p[0], e3 = p[3] - p[0];
    // Columns are the edge vectors from p0.
    double m[9] = {e1.x, e2.x, e3.x, e1.y, e2.y, e3.y, e1.z, e2.z, e3.z};
    if (!invert3x3(m)) return false;
    barycentricFromInverse(m, p[0], x, weights);
    return true;
}

void barycentricFromInverse(const double m[9], const vec3& p0, const vec3& x, double weights[4]) {
    const vec3 d = x - p0;
    const double l1 = m[0] * d.x + m[1] * d.y + m[2] * d.z;
    const double l2 = m[3] * d.x + m[4] * d.y + m[5] * d.z;
    const double l3 = m[6] * d.x + m[7] * d.y + m[8] * d.z;
    weights[0] = 1.0 - l1 - l2 - l3;
    weights[1] = l1;
    weights[2] = l2;
    weights[3] = l3;
}

bool findNearestTetSample(const std::vector<Tetra>& tets, const std::vector<vec3>& positions, const vec3& point,
                          TTetSample& sample) {
    int best = -1;
    double bestDist2 = std::numeric_limits<double>::infinity();
    for (size_t t = 0; t < tets.size(); ++t) {
        const int* v = tets[t].vIdx;
        const vec3 centroid = (positions[v[0]] + positions[v[1]] + positions[v[2]] + positions[v[3]]) * 0.25;
        const double d2 = (centroid - point).norm2();
        if (d2 < bestDist2) {
            bestDist2 = d2;
            best = static_cast<int>(t);
        }
    }
    if (best < 0) return false;
    const Tetra& tet = tets[best];
    vec3 corners[4];
    for (int k = 0; k < 4; ++k) {
        sample.m_tetVertex[k] = tet.vIdx[k];
        corners[k] = positions[tet.vIdx[k]];
    }
    return computeBarycentric(point, corners, sample.m_weight);
}

bool isNearConstraint(const std::vector<TConstraint>& constraints, const std::vector<vec3>& positions,
                      const vec3& point, double distance) {
    for (const TConstraint& c : constraints) {
        // A constraint naming vertices this mesh does not have has no position here.
        if (!fieldsupport::sampleFits(c, positions.size())) continue;
        if ((c.position(positions) - point).norm() < distance) return true;
    }
    return false;
}

void addConstraintAtPoint(std::vector<TConstraint>& constraints, const std::vector<vec3>& positions,
                          const TTetSample& sample, double target) {
    if (isNearConstraint(constraints, positions, sample.position(positions), kConstraintSpacing)) return;
    TConstraint c;
    static_cast<TTetSample&>(c) = sample;
    c.m_target = target;
    constraints.push_back(c);
}

void addConstraintAtVertex(std::vector<TConstraint>& constraints, const std::vector<vec3>& positions, int vertex,
                           double target) {
    if (vertex < 0 || vertex >= static_cast<int>(positions.size())) {
        diagPrintf("addConstraintAtVertex: vertex %d outside the %zu vertices, ignored\n", vertex, positions.size());
        return;
    }
    if (isNearConstraint(constraints, positions, positions[vertex], kConstraintSpacing)) return;
    TConstraint c;
    for (int k = 0; k < 4; ++k) c.m_tetVertex[k] = vertex;
    c.m_weight[0] = 1.0;
    c.m_target = target;
    constraints.push_back(c);
}

void addOrientationStroke(TTensorField& field, const std::vector<vec3>& polyline, const std::vector<Tetra>& tets,
                          const std::vector<vec3>& positions) {
    if (polyline.size() <= 4) return;
    if (tets.empty()) {
        diagPrintf("addOrientationStroke: no tetrahedra to attach the stroke to, ignored\n");
        return;
    }
    std::vector<vec3> smooth = polyline;
    for (int pass = 0; pass < kStrokeSmoothingPasses; ++pass) smoothPolyline(smooth);
    const double length = polylineLength(smooth);
    if (!(length > 0.0)) {
        // A pointer held still gives no direction; a stroke of coincident samples would only pull
        // the fibres towards zero.
        diagPrintf("addOrientationStroke: the stroke has no length, ignored\n");
        return;
    }
    const int segments =
        static_cast<int>(std::min(std::max(kStrokeSegmentsPerUnit * length, kMinStrokeSegments), kMaxStrokeSegments));
    std::vector<vec3> resampled;
    resamplePolyline(segments, smooth, resampled);

    field.m_strokes.emplace_back();
    TOrientationStroke& stroke = field.m_strokes.back();
    stroke.reserve(resampled.size());
    for (const vec3& p : resampled) {
        TTetSample sample;
        findNearestTetSample(tets, positions, p, sample);
        stroke.push_back(sample);
    }
}

double polylineLength(const std::vector<vec3>& points) {
    double length = 0.0;
    for (size_t i = 1; i < points.size(); ++i) length += (points[i] - points[i - 1]).norm();
    return length;
}

int resamplePolyline(int k, const std::vector<vec3>& in, std::vector<vec3>& out) {
    out.clear();
    const double length = polylineLength(in);
    if (k < 1 || in.size() < 2 || !(length > 0.0)) {
        // Nothing to divide: the points are handed back as they are.
        out = in;
        return 0;
    }
    const double step = length / k;
    out.push_back(in[0]);
    vec3 current = in[0];
    double accumulated = 0.0;
    size_t i = 1;
    while (i < in.size()) {
        const vec3 toNext = in[i] - current;
        const double segment = toNext.norm();
        accumulated += segment;
        if (accumulated >= step && segment > 0.0) {
            // The emitted point lies (accumulated - step) short of in[i].
            current = in[i] - toNext * ((accumulated - step) / segment);
            out.push_back(current);
            accumulated = 0.0;
        } else {
            current = in[i];
            ++i;
        }
    }
    if (static_cast<int>(out.size()) == k + 1) return k + 1;
    out.push_back(in.back());
    return 0;
}

void smoothPolyline(std::vector<vec3>& points) {
    if (points.size() < 3) return;
    const std::vector<vec3> before = points;
    for (size_t i = 1; i + 1 < points.size(); ++i) {
        points[i] = before[i] * 0.5 + before[i - 1] * 0.25 + before[i + 1] * 0.25;
    }
}
