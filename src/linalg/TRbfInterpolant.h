// TRbfInterpolant: distance-kernel radial basis interpolant with one constant term.
#pragma once

#include <vector>

#include "linalg/vec3.h"

/// phi(r) = r plus a constant; fitted by conjugate gradients on the dense (n+1)x(n+1) system.
class TRbfInterpolant {
public:
    /// Appends centres with their values and refits; prints "error1232213213" and changes nothing
    /// when the two counts differ.
    void addPoints(const std::vector<vec3>& centres, const std::vector<double>& values);
    /// Sum of weight_i |p - c_i| plus the constant.
    double evaluate(const vec3& p) const;

    int m_count = 0;
    std::vector<double> m_weights;
    std::vector<vec3> m_centres;
    std::vector<double> m_centreValues;
};
