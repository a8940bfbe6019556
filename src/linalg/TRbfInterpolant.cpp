// TRbfInterpolant: distance-kernel radial basis interpolant fitted by conjugate gradients.
#include "linalg/TRbfInterpolant.h"

#include "linalg/Diagnostics.h"
#include "linalg/SmallAlgebra.h"

void TRbfInterpolant::addPoints(const std::vector<vec3>& centres, const std::vector<double>& values) {
    if (centres.size() != values.size()) {
        diagPrintf("error1232213213");
        return;
    }
    m_centres.insert(m_centres.end(), centres.begin(), centres.end());
    m_centreValues.insert(m_centreValues.end(), values.begin(), values.end());
    m_count += static_cast<int>(centres.size());
    m_weights.assign(static_cast<size_t>(m_count) + 1, 0.0);

    // [ |c_i - c_j|  1 ] [w]   [values]
    // [     1^T      0 ] [w0] = [  0   ]
    const int n = m_count;
    std::vector<std::vector<double>> a(n + 1, std::vector<double>(n + 1, 0.0));
    std::vector<double> rhs(n + 1, 0.0);
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) a[i][j] = distance(m_centres[i], m_centres[j]);
        a[i][n] = 1.0;
        a[n][i] = 1.0;
        rhs[i] = m_centreValues[i];
    }
    solveCG(n + 1, a, rhs.data(), m_weights.data());
}

double TRbfInterpolant::evaluate(const vec3& p) const {
    // Nothing fitted yet: no centre carries a value.
    if (static_cast<int>(m_weights.size()) < m_count + 1) return 0.0;
    double value = m_weights[m_count];
    for (int i = 0; i < m_count; ++i) value += m_weights[i] * distance(p, m_centres[i]);
    return value;
}
