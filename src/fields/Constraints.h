// Points tied to the tetrahedral mesh: samples, constraints and the 3-D stroke collected by the modes.
#pragma once

#include <vector>

#include "linalg/vec3.h"

/// A point given by one tetrahedron's corners and barycentric weights (weights are not clamped).
/// A sample standing for vertex a is (a, a, a, a) with weights (1, 0, 0, 0).
struct TTetSample {
    int m_tetVertex[4] = {0, 0, 0, 0};
    double m_weight[4] = {0.0, 0.0, 0.0, 0.0};

    /// Position of the sample with the given vertex positions (rest or current).
    vec3 position(const std::vector<vec3>& positions) const {
        vec3 p;
        for (int k = 0; k < 4; ++k) p += positions[m_tetVertex[k]] * m_weight[k];
        return p;
    }
    /// Interpolated value of a per-vertex scalar.
    double interpolate(const std::vector<double>& values) const {
        double s = 0.0;
        for (int k = 0; k < 4; ++k) s += values[m_tetVertex[k]] * m_weight[k];
        return s;
    }
};

/// A sample with the value a field should take there.
struct TConstraint : TTetSample {
    double m_target = 0.0;
};

/// A 3-D polyline drawn with the mouse; owned by the interaction mode that collects it.
class Tstroke3D {
public:
    virtual ~Tstroke3D() = default;
    /// Empties the points.
    virtual void clear() { m_points.clear(); }

    bool m_isClosed = false;
    std::vector<vec3> m_points;
};

/// An orientation stroke: samples in drawing order.
using TOrientationStroke = std::vector<TTetSample>;

struct Tetra;
class TTensorField;

/// Barycentric weights of x in the tetrahedron p[0..3]; false (weights untouched) when |det| < 1e-7.
bool computeBarycentric(const vec3& x, const vec3 p[4], double weights[4]);
/// The weights of x from corner p0 and the inverted edge matrix m (rows of the inverse of the
/// matrix whose columns are p1 - p0, p2 - p0, p3 - p0), exactly as computeBarycentric finishes.
void barycentricFromInverse(const double m[9], const vec3& p0, const vec3& x, double weights[4]);

/// Sample in the tetrahedron whose centroid is nearest to the point (first on ties); the result of
/// computeBarycentric. The caller zeroes the sample first.
bool findNearestTetSample(const std::vector<Tetra>& tets, const std::vector<vec3>& positions, const vec3& point,
                          TTetSample& sample);

/// True when some constraint's position lies strictly closer than distance to the point.
bool isNearConstraint(const std::vector<TConstraint>& constraints, const std::vector<vec3>& positions,
                      const vec3& point, double distance);

/// Appends (sample, target) unless a constraint lies within 0.01 of the sample's position.
void addConstraintAtPoint(std::vector<TConstraint>& constraints, const std::vector<vec3>& positions,
                          const TTetSample& sample, double target);

/// Appends the vertex constraint (a,a,a,a)/(1,0,0,0) unless one lies within 0.01 of the vertex.
void addConstraintAtVertex(std::vector<TConstraint>& constraints, const std::vector<vec3>& positions, int vertex,
                           double target);

/// Smooths, resamples and appends a polyline of more than 4 points as an orientation stroke.
void addOrientationStroke(TTensorField& field, const std::vector<vec3>& polyline, const std::vector<Tetra>& tets,
                          const std::vector<vec3>& positions);

/// Sum of segment lengths; 0 for fewer than two points.
double polylineLength(const std::vector<vec3>& points);

/// Resamples into k segments by arc length; returns k + 1 when exactly k + 1 points came out, else 0
/// (the last input point is then appended).
int resamplePolyline(int k, const std::vector<vec3>& in, std::vector<vec3>& out);

/// One pass of (1/4, 1/2, 1/4) smoothing of the interior points.
void smoothPolyline(std::vector<vec3>& points);
