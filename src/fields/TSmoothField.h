// TSmoothField: one interpolated scalar field over the vertices (phase, amplitude or depth).
#pragma once

#include <memory>
#include <vector>

#include "fields/Constraints.h"

class TSparseMatrix;

/// Constraints, one value per vertex and the field's range and default. Owned by the heart model
/// (phase, amplitude) or by the orientation field (depth). UI thread only.
struct TSmoothField {
    std::vector<TConstraint> m_constraints;
    std::vector<double> m_value;
    double m_maxValue = 1.0;
    double m_minValue = 0.0;
    double m_defaultValue = 0.0;

    /// Sets the range and default and fills one default value per vertex; constraints are kept.
    void setup(double minValue, double maxValue, double defaultValue, int vertexCount) {
        m_minValue = minValue;
        m_maxValue = maxValue;
        m_defaultValue = defaultValue;
        m_value.assign(static_cast<size_t>(vertexCount), defaultValue);
    }
};

/// Recomputes the field from its constraints: penalty terms (weight 100) added to the smoothing
/// matrix, factorise, solve, clamp, penalties removed again. Without constraints: the default.
void updateFieldHarmonic(TSmoothField& field, TSparseMatrix& smoothing);

/// Empties the constraints and sets every value to the default.
void resetField(TSmoothField& field);

/// The smoothing matrix L^T L of the uniform Laplacian of the neighbourhoods, compressed.
std::unique_ptr<TSparseMatrix> buildSmoothingMatrix(int vertexCount, const std::vector<vec3>& positions,
                                                    const std::vector<std::vector<int>>& neighbours);
