// Small checks shared by the field solvers: samples and constraints whose vertex indices must be
// usable with the arrays at hand.
#pragma once

#include <cmath>
#include <cstddef>

#include "fields/Constraints.h"

namespace fieldsupport {

/// True when all four vertex indices lie in [0, vertexCount) and the weights are finite.
inline bool sampleFits(const TTetSample& s, size_t vertexCount) {
    for (int k = 0; k < 4; ++k) {
        const int v = s.m_tetVertex[k];
        if (v < 0 || static_cast<size_t>(v) >= vertexCount || !std::isfinite(s.m_weight[k])) return false;
    }
    return true;
}

/// sampleFits with a finite target.
inline bool constraintFits(const TConstraint& c, size_t vertexCount) {
    return sampleFits(c, vertexCount) && std::isfinite(c.m_target);
}

}  // namespace fieldsupport
