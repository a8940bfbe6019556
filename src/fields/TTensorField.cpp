// TTensorField: depth field by radial basis functions, primary directions by a weighted Laplacian
// least-squares fit to the stroke tangents, orthonormal frames, stroke deletion.
#include "fields/TTensorField.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "fields/FieldSupport.h"
#include "linalg/CholeskyFactor.h"
#include "linalg/Diagnostics.h"
#include "linalg/SmallAlgebra.h"
#include "linalg/TRbfInterpolant.h"
#include "linalg/TSparseMatrix.h"
#include "mesh/Tetra.h"

namespace {

// Kernel of the weighted Laplacian and of the stroke samples: exp(-a |dp|^2 - b (d depth)^2), so
// directions spread along a depth layer rather than across layers.
constexpr double kDistanceFalloff = 0.1;
constexpr double kDepthFalloff = 100.0;
// The RBF depth field needs more positive constraints than this.
constexpr int kMinPositiveDepthConstraints = 3;
// Strokes are picked when their first sample lies this close in depth and they pass this close to
// the pick ray.
constexpr double kStrokePickDepthTolerance = 0.1;
constexpr double kStrokePickRayDistance = 1.0;
constexpr double kStrokePickFarAway = 1e8;
// Per-vertex loops below this size run on one thread.
constexpr int kParallelVertices = 2048;

const char* const kNotSquare = "error row size is not equal to col size\n";

double kernel(const vec3& pa, const vec3& pb, double depthA, double depthB) {
    const double dd = depthA - depthB;
    return std::exp(-kDistanceFalloff * (pa - pb).norm2() - kDepthFalloff * dd * dd);
}

}  // namespace

void TTensorField::fitDepthValues(size_t vertexCount) {
    if (m_depthField.m_value.size() != vertexCount) {
        m_depthField.m_value.assign(vertexCount, m_depthField.m_defaultValue);
    }
}

void TTensorField::initOrientationField(const std::vector<Tetra>& tets, const std::vector<vec3>& positions) {
    const size_t n = positions.size();
    m_frames.assign(n, TVertexFrame());
    m_ruleBased.inForce = false;
    m_depthField.setup(0.0, 1.0, 1.0, static_cast<int>(n));
    const std::vector<int16_t> allVentricle(n, 1);
    buildAllFibreLines(tets, positions, allVentricle);
}

void TTensorField::updateField_RBF(TSmoothField& depth, const std::vector<vec3>& positions) {
    diagPrintf(" updateField_RBF 1...");
    const int n = static_cast<int>(positions.size());
    int positive = 0;
    int unusable = 0;
    for (const TConstraint& c : depth.m_constraints) {
        if (!fieldsupport::constraintFits(c, positions.size())) {
            ++unusable;
            continue;
        }
        if (c.m_target > 0.0) ++positive;
    }
    if (positive <= kMinPositiveDepthConstraints) {
        depth.m_value.assign(static_cast<size_t>(n), depth.m_defaultValue);
        if (unusable > 0)
            diagPrintf("\nupdateField_RBF: %d constraints outside the %d vertices skipped\n", unusable, n);
        return;
    }

    diagPrintf(" updateField_RBF 2...");
    std::vector<vec3> centres;
    std::vector<double> values;
    centres.reserve(depth.m_constraints.size());
    values.reserve(depth.m_constraints.size());
    for (const TConstraint& c : depth.m_constraints) {
        if (!fieldsupport::constraintFits(c, positions.size())) continue;
        centres.push_back(c.position(positions));
        values.push_back(c.m_target);
    }

    diagPrintf(" updateField_RBF 3...");
    TRbfInterpolant rbf;
    rbf.addPoints(centres, values);

    diagPrintf(" updateField_RBF 4...");
    depth.m_value.resize(static_cast<size_t>(n));
    const double lo = depth.m_minValue, hi = depth.m_maxValue, fallback = depth.m_defaultValue;
    double* out = depth.m_value.data();
#pragma omp parallel for schedule(static) if (n > kParallelVertices)
    for (int i = 0; i < n; ++i) {
        double v = rbf.evaluate(positions[i]);
        if (std::isnan(v)) v = fallback;
        if (v < lo) v = lo;
        if (v > hi) v = hi;
        out[i] = v;
    }
    diagPrintf(" done\n");
    if (unusable > 0) diagPrintf("updateField_RBF: %d constraints outside the %d vertices skipped\n", unusable, n);
}

namespace {

/// One stroke sample's term a a^T of the system, a being the normalised kernel weights at its
/// four corners (corners named twice summed).
TRankOneTerm sampleTerm(const TFieldFactorCache::Term& t) {
    TRankOneTerm r;
    for (int k = 0; k < 4; ++k) {
        double w;
        std::memcpy(&w, &t.weightBits[k], sizeof(double));
        auto found = std::find(r.rows.begin(), r.rows.end(), t.vertices[k]);
        if (found != r.rows.end()) {
            r.values[static_cast<size_t>(found - r.rows.begin())] += w;
        } else {
            r.rows.push_back(t.vertices[k]);
            r.values.push_back(w);
        }
    }
    return r;
}

/// Brings the kept factor to the given sample terms (sorted) by rank-one updates and downdates;
/// false when it was made from other positions, neighbourhoods or depth values, too many samples
/// changed or the update failed.
bool updateKeptOrientationFactor(TOrientationFactorCache& cache, const std::vector<vec3>& positions,
                                 const std::vector<std::vector<int>>& neighbours, const std::vector<double>& depth,
                                 const std::vector<TFieldFactorCache::Term>& terms) {
    if (cache.m_factor == nullptr || !cache.m_factor->isValid() ||
        cache.m_factor->size() != static_cast<int>(positions.size()) || cache.m_positions != positions ||
        cache.m_depth != depth || cache.m_neighbours != neighbours) {
        return false;
    }
    const fieldsupport::FactorUpdate outcome = fieldsupport::updateFactorTerms(
        *cache.m_factor, cache.m_terms, terms, static_cast<size_t>(kMaxIncrementalSamples), sampleTerm);
    if (outcome == fieldsupport::FactorUpdate::TooManyChanges) return false;
    if (outcome == fieldsupport::FactorUpdate::Failed) {
        cache.reset();
        return false;
    }
    cache.m_terms = terms;
    return true;
}

}  // namespace

void TTensorField::fitPrimaryDirections(const std::vector<vec3>& positions,
                                        const std::vector<std::vector<int>>& neighbours) {
    diagPrintf("start laplacian smoothing\n");
    const int n = static_cast<int>(positions.size());
    const std::vector<double>& depth = m_depthField.m_value;

    // The stroke samples: right-hand sides, and the terms a a^T they add to the system.
    // The three right-hand sides (x, y and z of the tangents) one after the other, solved together.
    std::vector<double> rhs(3 * static_cast<size_t>(n), 0.0);
    double* const bx = rhs.data();
    double* const by = bx + n;
    double* const bz = by + n;
    std::vector<TFieldFactorCache::Term> terms;
    int skippedSamples = 0;
    int skippedStrokes = 0;
    for (const TOrientationStroke& stroke : m_strokes) {
        bool fits = true;
        for (const TTetSample& s : stroke) fits = fits && fieldsupport::sampleFits(s, positions.size());
        if (!fits) {
            ++skippedStrokes;
            continue;
        }
        const int count = static_cast<int>(stroke.size());
        for (int o = 0; o < count; ++o) {
            const TTetSample& s = stroke[o];
            const vec3 p = s.position(positions);
            vec3 tangent;
            if (o > 0) tangent += p - stroke[o - 1].position(positions);
            if (o < count - 1) tangent += stroke[o + 1].position(positions) - p;
            makeUnit(tangent);
            const double depthAtSample = s.interpolate(depth);

            double a[4];
            double sum = 0.0;
            for (int k = 0; k < 4; ++k) {
                const int v = s.m_tetVertex[k];
                a[k] = kernel(p, positions[v], depthAtSample, depth[v]);
                sum += a[k];
            }
            if (!(sum > 0.0) || !std::isfinite(sum)) {
                // All four kernel values vanished: normalising would be 0/0 and the not-a-number
                // would reach every frame through the solve. The sample carries no usable weight.
                ++skippedSamples;
                continue;
            }
            TFieldFactorCache::Term term{};
            for (int k = 0; k < 4; ++k) {
                a[k] /= sum;
                term.vertices[k] = s.m_tetVertex[k];
                std::memcpy(&term.weightBits[k], &a[k], sizeof(double));
            }
            terms.push_back(term);
            for (int k = 0; k < 4; ++k) {
                const int v = s.m_tetVertex[k];
                bx[v] += a[k] * tangent.x;
                by[v] += a[k] * tangent.y;
                bz[v] += a[k] * tangent.z;
            }
        }
    }
    if (skippedStrokes > 0) {
        diagPrintf("updateOrientation: %d strokes with samples outside the %d vertices skipped\n", skippedStrokes, n);
    }
    if (skippedSamples > 0) {
        diagPrintf("updateOrientation: %d stroke samples with vanishing kernel weights skipped\n", skippedSamples);
    }

    std::vector<double> solution(3 * static_cast<size_t>(n), 0.0);
    const double* const x = solution.data();
    const double* const y = x + n;
    const double* const z = y + n;
    TOrientationFactorCache& cache = m_factorCache;
    const bool cholesky = activeSolverBackend() == SolverBackend::Cholmod;
    std::vector<TFieldFactorCache::Term> sortedTerms;
    if (cholesky) {
        sortedTerms = terms;
        std::sort(sortedTerms.begin(), sortedTerms.end());
    }
    bool solved = false;
    if (cholesky && updateKeptOrientationFactor(cache, positions, neighbours, depth, sortedTerms)) {
        diagPrintf("solve Ax=b\n");
        solved = cache.m_factor->solve(rhs.data(), solution.data(), 3);
        cache.m_lastUpdateKind = 2;
        if (!solved) cache.reset();
    }
    if (!solved) {
        TSparseMatrix columns(n, n);  // rows hold the columns of the weighted Laplacian L
        TSparseMatrix system(n, n);
        // The neighbour weights of each vertex, side by side in slots laid out like the
        // neighbour lists (a slot of a skipped neighbour holds -1); each vertex's are computed
        // alone, so the threads' share changes no result.
        const int lists = std::min(n, static_cast<int>(neighbours.size()));
        std::vector<size_t> slotStart(static_cast<size_t>(lists) + 1, 0);
        for (int i = 0; i < lists; ++i) slotStart[i + 1] = slotStart[i] + neighbours[i].size();
        std::vector<int> others(slotStart[lists]);
        std::vector<double> weights(slotStart[lists]);
        int uniformFallbacks = 0;
#pragma omp parallel for schedule(static) reduction(+ : uniformFallbacks) if (n > kParallelVertices)
        for (int i = 0; i < lists; ++i) {
            const size_t begin = slotStart[i], end = slotStart[i + 1];
            size_t used = 0;
            double sum = 0.0;
            for (size_t e = begin; e < end; ++e) {
                const int j = neighbours[i][e - begin];
                others[e] = j == i || j < 0 || j >= n ? -1 : j;
                if (others[e] < 0) continue;
                weights[e] = kernel(positions[i], positions[j], depth[i], depth[j]);
                sum += weights[e];
                ++used;
            }
            if (used == 0) continue;
            if (sum > 0.0 && std::isfinite(sum)) {
                for (size_t e = begin; e < end; ++e) weights[e] /= sum;
            } else {
                // Every kernel value underflowed (neighbours far apart or across a depth jump):
                // equal weights keep the row a Laplacian instead of 0/0.
                ++uniformFallbacks;
                for (size_t e = begin; e < end; ++e) weights[e] = 1.0 / static_cast<double>(used);
            }
        }
        for (int i = 0; i < n; ++i) {
            columns.appendEntry(i, i, 1.0);
            if (i >= lists) continue;
            // Row j receives column i; i ascends, so every row stays in ascending column order.
            for (size_t e = slotStart[i]; e < slotStart[i + 1]; ++e)
                if (others[e] >= 0) columns.appendEntry(others[e], i, -weights[e]);
        }
        if (uniformFallbacks > 0) {
            diagPrintf("updateOrientation: %d vertices with vanishing neighbour weights smoothed uniformly\n",
                       uniformFallbacks);
        }

        const int entries = columns.calcGramMatrix(system);
        system.compress(entries);
        for (const TFieldFactorCache::Term& t : terms) {
            for (int k = 0; k < 4; ++k) {
                double ak, ak2;
                std::memcpy(&ak, &t.weightBits[k], sizeof(double));
                for (int k2 = 0; k2 < 4; ++k2) {
                    std::memcpy(&ak2, &t.weightBits[k2], sizeof(double));
                    system.addToEntry(t.vertices[k], t.vertices[k2], ak * ak2);
                }
            }
        }

        diagPrintf("solve Ax=b\n");
        const bool square = system.rowSize() == system.colSize();
        if (square) {
            system.factorize();
        } else {
            diagPrintf("%s", kNotSquare);
        }
        if (square) {
            system.solve(rhs.data(), solution.data(), 3);
        } else {
            for (int c = 0; c < 3; ++c) diagPrintf("%s", kNotSquare);
        }
        cache.reset();
        if (cholesky) {
            cache.m_factor = system.releaseCholeskyFactor();
            if (cache.m_factor != nullptr) {
                cache.m_terms = std::move(sortedTerms);
                cache.m_positions = positions;
                cache.m_depth = depth;
                cache.m_neighbours = neighbours;
            }
        }
        cache.m_lastUpdateKind = 1;
        system.freeFactorization();
    }

    TVertexFrame* frames = m_frames.data();
#pragma omp parallel for schedule(static) if (n > kParallelVertices)
    for (int i = 0; i < n; ++i) {
        vec3 d(x[i], y[i], z[i]);
        makeUnit(d);
        frames[i].m_primaryDir = d;
    }
}

void TTensorField::updateOrientation(const std::vector<Tetra>& tets, const std::vector<vec3>& positions,
                                     const std::vector<std::vector<int>>& neighbours,
                                     const std::vector<int16_t>& labels) {
    const int n = static_cast<int>(positions.size());
    m_frames.resize(static_cast<size_t>(n));
    m_ruleBased.inForce = false;
    fitDepthValues(positions.size());

    if (m_strokes.empty()) {
        for (TVertexFrame& f : m_frames) f.m_primaryDir = vec3(1, 0, 0);
    } else {
        fitPrimaryDirections(positions, neighbours);
    }

    const double* depth = m_depthField.m_value.data();
    TVertexFrame* frames = m_frames.data();
    const int listCount = static_cast<int>(neighbours.size());
#pragma omp parallel for schedule(static) if (n > kParallelVertices)
    for (int i = 0; i < n; ++i) {
        // Depth gradient direction: sum over the neighbours of (depth difference) x (offset).
        vec3 g;
        if (i < listCount) {
            for (int j : neighbours[i]) {
                if (j < 0 || j >= n) continue;
                g += (positions[j] - positions[i]) * (depth[j] - depth[i]);
            }
        }
        if (!makeUnit(g)) g = vec3(0, 1, 0);
        frames[i].m_depthDir = g;
    }

#pragma omp parallel for schedule(static) if (n > kParallelVertices)
    for (int i = 0; i < n; ++i) {
        TVertexFrame& f = frames[i];
        makeUnit(f.m_primaryDir);
        f.m_depthDir -= f.m_primaryDir * f.m_primaryDir.dot(f.m_depthDir);
        makeUnit(f.m_depthDir);
        f.m_thirdDir = f.m_primaryDir.cross(f.m_depthDir);
        makeUnit(f.m_thirdDir);
    }

    buildAllFibreLines(tets, positions, labels);
}

void TTensorField::resetDepthField(const std::vector<Tetra>& tets, const std::vector<vec3>& positions,
                                   const std::vector<std::vector<int>>& neighbours,
                                   const std::vector<int16_t>& labels) {
    m_depthField.m_constraints.clear();
    m_depthField.m_value.assign(positions.size(), m_depthField.m_defaultValue);
    updateOrientation(tets, positions, neighbours, labels);
}

void TTensorField::resetStrokes(const std::vector<Tetra>& tets, const std::vector<vec3>& positions,
                                const std::vector<std::vector<int>>& neighbours, const std::vector<int16_t>& labels) {
    m_strokes.clear();
    updateOrientation(tets, positions, neighbours, labels);
}

int TTensorField::deleteNearestStroke(const vec3& origin, const vec3& direction, double depthOfInterest,
                                      const std::vector<vec3>& currentPositions) {
    int chosen = -1;
    if (depthOfInterest != 0.0) {
        double best = kStrokePickFarAway;
        const size_t depthCount = m_depthField.m_value.size();
        for (size_t s = 0; s < m_strokes.size(); ++s) {
            const TOrientationStroke& stroke = m_strokes[s];
            if (stroke.empty() || !fieldsupport::sampleFits(stroke.front(), depthCount)) continue;
            const double strokeDepth = stroke.front().interpolate(m_depthField.m_value);
            if (!(std::fabs(strokeDepth - depthOfInterest) <= kStrokePickDepthTolerance)) continue;
            for (const TTetSample& sample : stroke) {
                if (!fieldsupport::sampleFits(sample, currentPositions.size())) continue;
                const vec3 p = sample.position(currentPositions);
                if (distanceToLine(p, origin, direction) <= kStrokePickRayDistance) {
                    const double fromOrigin = (p - origin).norm();
                    if (fromOrigin < best) {
                        best = fromOrigin;
                        chosen = static_cast<int>(s);
                    }
                    break;
                }
            }
        }
    }
    diagPrintf("nea %d\n", chosen);
    if (chosen >= 0) m_strokes.erase(m_strokes.begin() + chosen);
    return chosen;
}
