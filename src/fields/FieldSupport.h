// Small pieces shared by the field solvers: samples and constraints whose vertex indices must be
// usable with the arrays at hand, and bringing a kept factor to a new set of penalty terms.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <iterator>
#include <vector>

#include "fields/Constraints.h"
#include "fields/TSmoothField.h"
#include "linalg/CholeskyFactor.h"

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

/// Outcome of updateFactorTerms.
enum class FactorUpdate { Updated, TooManyChanges, Failed };

/// Brings a factor made with the penalty terms `kept` (sorted) to the terms `wanted` (sorted):
/// rank-one updates for the terms added, then downdates for those removed (adding first keeps the
/// intermediate matrix further from singular). Nothing is done when more than maxChanges terms
/// differ; Failed leaves the factor unusable. toRankOne turns a term into its rank-one vector.
template <class ToRankOne>
FactorUpdate updateFactorTerms(TCholeskyFactor& factor, const std::vector<TFieldFactorCache::Term>& kept,
                               const std::vector<TFieldFactorCache::Term>& wanted, size_t maxChanges,
                               ToRankOne toRankOne) {
    std::vector<TFieldFactorCache::Term> added, removed;
    std::set_difference(wanted.begin(), wanted.end(), kept.begin(), kept.end(), std::back_inserter(added));
    std::set_difference(kept.begin(), kept.end(), wanted.begin(), wanted.end(), std::back_inserter(removed));
    if (added.size() + removed.size() > maxChanges) return FactorUpdate::TooManyChanges;
    std::vector<TRankOneTerm> up, down;
    for (const auto& t : added) up.push_back(toRankOne(t));
    for (const auto& t : removed) down.push_back(toRankOne(t));
    if (!factor.updateDowndate(up, false) || !factor.updateDowndate(down, true)) return FactorUpdate::Failed;
    return FactorUpdate::Updated;
}

}  // namespace fieldsupport
