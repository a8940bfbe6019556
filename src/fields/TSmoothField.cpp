// TSmoothField: least-squares harmonic interpolation of a scalar field from penalty constraints.
#include "fields/TSmoothField.h"

#include <cmath>

#include "fields/FieldSupport.h"
#include "linalg/Diagnostics.h"
#include "linalg/TSparseMatrix.h"

namespace {

// Weight of each constraint's squared error against the smoothness term |L x|^2.
constexpr double kPenaltyWeight = 100.0;

const char* const kNotSquare = "error row size is not equal to col size\n";

// Adds (sign = +1) or removes (sign = -1) the penalty block w w^T of every usable constraint.
void applyPenalties(const std::vector<TConstraint>& constraints, const std::vector<char>& usable, TSparseMatrix& matrix,
                    double sign) {
    for (size_t c = 0; c < constraints.size(); ++c) {
        if (!usable[c]) continue;
        const TConstraint& con = constraints[c];
        for (int j = 0; j < 4; ++j) {
            for (int k = 0; k < 4; ++k) {
                matrix.addToEntry(con.m_tetVertex[j], con.m_tetVertex[k],
                                  sign * kPenaltyWeight * con.m_weight[j] * con.m_weight[k]);
            }
        }
    }
}

}  // namespace

void updateFieldHarmonic(TSmoothField& field, TSparseMatrix& smoothing) {
    const int n = smoothing.m_colSize;
    if (field.m_constraints.empty()) {
        field.m_value.assign(static_cast<size_t>(n), field.m_defaultValue);
        return;
    }

    // Constraints naming vertices the matrix does not have would write outside b; they are left
    // out (a project file written for another mesh can carry them).
    std::vector<char> usable(field.m_constraints.size(), 1);
    int skipped = 0;
    for (size_t c = 0; c < field.m_constraints.size(); ++c) {
        if (!fieldsupport::constraintFits(field.m_constraints[c], static_cast<size_t>(n))) {
            usable[c] = 0;
            ++skipped;
        }
    }
    if (skipped > 0) {
        diagPrintf("updateFieldHarmonic: %d constraints outside the %d vertices skipped\n", skipped, n);
    }

    std::vector<double> b(static_cast<size_t>(n), 0.0), x(static_cast<size_t>(n), 0.0);
    for (size_t c = 0; c < field.m_constraints.size(); ++c) {
        if (!usable[c]) continue;
        const TConstraint& con = field.m_constraints[c];
        for (int k = 0; k < 4; ++k) {
            b[con.m_tetVertex[k]] += kPenaltyWeight * con.m_target * con.m_weight[k];
        }
    }
    applyPenalties(field.m_constraints, usable, smoothing, +1.0);

    const bool square = smoothing.m_rowSize == smoothing.m_colSize;
    if (square) {
        smoothing.factorize();
    } else {
        diagPrintf("%s", kNotSquare);
    }
    if (square) {
        smoothing.solve(b.data(), x.data());
    } else {
        diagPrintf("%s", kNotSquare);
    }
    smoothing.freeFactorization();

    field.m_value.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        double value = x[i];
        // A failed solve must not hand not-a-number to the simulator.
        if (!std::isfinite(value)) value = field.m_defaultValue;
        if (value < field.m_minValue) value = field.m_minValue;
        if (value > field.m_maxValue) value = field.m_maxValue;
        field.m_value[i] = value;
    }

    applyPenalties(field.m_constraints, usable, smoothing, -1.0);
}

void resetField(TSmoothField& field) {
    field.m_constraints.clear();
    for (double& v : field.m_value) v = field.m_defaultValue;
}

std::unique_ptr<TSparseMatrix> buildSmoothingMatrix(int vertexCount, const std::vector<vec3>& positions,
                                                    const std::vector<std::vector<int>>& neighbours) {
    auto laplacian = std::make_unique<TSparseMatrix>(vertexCount, vertexCount);
    auto gram = std::make_unique<TSparseMatrix>(vertexCount, vertexCount);
    laplacian->setUniformLaplacian(positions, neighbours);
    const int entries = laplacian->calcGramMatrix(*gram);
    gram->compress(entries);
    return gram;
}
