// Fibre lines for display: streamlines of one frame axis traced from random seeds through the
// tetrahedra with a neighbour-walk point location.
#include <algorithm>
#include <array>

#include "fields/FibreRandom.h"
#include "fields/FieldSupport.h"
#include "fields/TTensorField.h"
#include "linalg/Diagnostics.h"
#include "linalg/SmallAlgebra.h"
#include "mesh/Tetra.h"

/// Meshes up to this many tetrahedra keep every inverted edge matrix for the walks (73 bytes
/// each, 19 MB here); larger ones invert the matrix at each test instead, as their walks meet a
/// small part of the mesh and a table would take longer to fill than the walks take to run.
constexpr size_t kKeptInverseTets = size_t(1) << 18;

/// Containment by the inverted edge matrix, formed exactly as computeBarycentric forms it, for
/// the walks, which try a dozen tetrahedra per step and meet the same ones again and again: kept
/// per tetrahedron on meshes up to kKeptInverseTets, formed at each test beyond.
struct TetInverses {
    std::vector<std::array<double, 9>> inverse;
    std::vector<char> invertible;

    static bool invertEdges(const std::vector<Tetra>& tets, const std::vector<vec3>& positions, int t,
                            std::array<double, 9>& m) {
        const int* v = tets[t].vIdx;
        const vec3 e1 = positions[v[1]] - positions[v[0]], e2 = positions[v[2]] - positions[v[0]],
                   e3 = positions[v[3]] - positions[v[0]];
        m = {e1.x, e2.x, e3.x, e1.y, e2.y, e3.y, e1.z, e2.z, e3.z};
        return invert3x3(m.data());
    }

    void build(const std::vector<Tetra>& tets, const std::vector<vec3>& positions) {
        inverse.clear();
        invertible.clear();
        if (tets.size() > kKeptInverseTets) return;
        const int count = static_cast<int>(tets.size());
        inverse.resize(tets.size());
        invertible.resize(tets.size());
#pragma omp parallel for schedule(static)
        for (int t = 0; t < count; ++t) invertible[t] = invertEdges(tets, positions, t, inverse[t]) ? 1 : 0;
    }

    /// tetContains through the inverse: the same weights, bit for bit.
    bool contains(const std::vector<Tetra>& tets, const std::vector<vec3>& positions, int t, const vec3& point,
                  double weights[4]) const {
        std::array<double, 9> formed;
        const double* m = nullptr;
        if (!inverse.empty()) {
            if (!invertible[t]) return false;
            m = inverse[t].data();
        } else {
            if (!invertEdges(tets, positions, t, formed)) return false;
            m = formed.data();
        }
        barycentricFromInverse(m, positions[tets[t].vIdx[0]], point, weights);
        for (int k = 0; k < 4; ++k) {
            if (!(weights[k] >= 0.0 && weights[k] <= 1.0)) return false;
        }
        return true;
    }
};

namespace {

// Region label a set's lines must stay in (0: no filter).
constexpr int16_t kSetRegionLabel[4] = {2, 1, 0, 0};

bool validTet(const std::vector<Tetra>& tets, int t) { return t >= 0 && t < static_cast<int>(tets.size()); }

/// Weights of point in tetrahedron t when they all lie in [0, 1].
bool tetContains(const std::vector<Tetra>& tets, const std::vector<vec3>& positions, int t, const vec3& point,
                 double weights[4]) {
    const Tetra& tet = tets[t];
    const vec3 corners[4] = {positions[tet.vIdx[0]], positions[tet.vIdx[1]], positions[tet.vIdx[2]],
                             positions[tet.vIdx[3]]};
    if (!computeBarycentric(point, corners, weights)) return false;
    for (int k = 0; k < 4; ++k) {
        if (!(weights[k] >= 0.0 && weights[k] <= 1.0)) return false;
    }
    return true;
}

vec3 centroid(const std::vector<Tetra>& tets, const std::vector<vec3>& positions, int t) {
    const int* v = tets[t].vIdx;
    return (positions[v[0]] + positions[v[1]] + positions[v[2]] + positions[v[3]]) * 0.25;
}

/// locatePointFromTet with the containment test given: contains(t, weights).
template <class Contains>
bool locateFrom(const std::vector<Tetra>& tets, const std::vector<vec3>& positions, int startTet, const vec3& point,
                TTetSample& sample, int& tetOut, const Contains& tetContains) {
    if (!validTet(tets, startTet)) return false;
    double w[4];
    int found = -1;
    if (tetContains(startTet, w)) found = startTet;

    const Tetra& start = tets[startTet];
    for (int k = 0; found < 0 && k < 4; ++k) {
        const int nb = start.nbr[k];
        if (!validTet(tets, nb) || nb == startTet) continue;
        if (tetContains(nb, w)) found = nb;
    }

    if (found < 0) {
        // One ring further, through the neighbour that lies nearest the point.
        int nearest = -1;
        double nearestDist2 = 0.0;
        for (int k = 0; k < 4; ++k) {
            const int nb = start.nbr[k];
            if (!validTet(tets, nb)) continue;
            const double d2 = (centroid(tets, positions, nb) - point).norm2();
            if (nearest < 0 || d2 < nearestDist2) {
                nearest = nb;
                nearestDist2 = d2;
            }
        }
        if (nearest < 0) return false;
        for (int k = 0; found < 0 && k < 4; ++k) {
            const int nb = tets[nearest].nbr[k];
            if (!validTet(tets, nb) || nb == startTet) continue;
            if (tetContains(nb, w)) found = nb;
        }
    }
    if (found < 0) return false;

    for (int k = 0; k < 4; ++k) {
        sample.m_tetVertex[k] = tets[found].vIdx[k];
        sample.m_weight[k] = w[k];
    }
    tetOut = found;
    return true;
}

}  // namespace

bool locatePointFromTet(const std::vector<Tetra>& tets, const std::vector<vec3>& positions, int startTet,
                        const vec3& point, TTetSample& sample, int& tetOut) {
    return locateFrom(tets, positions, startTet, point, sample, tetOut,
                      [&](int t, double w[4]) { return tetContains(tets, positions, t, point, w); });
}

void TTensorField::buildFibreLines(int set, const std::vector<Tetra>& tets, const std::vector<vec3>& positions,
                                   const std::vector<int16_t>& labels) {
    TetInverses inverses;
    inverses.build(tets, positions);
    buildFibreLines(set, tets, positions, labels, inverses);
}

void TTensorField::buildAllFibreLines(const std::vector<Tetra>& tets, const std::vector<vec3>& positions,
                                      const std::vector<int16_t>& labels) {
    TetInverses inverses;
    inverses.build(tets, positions);
    for (int set = 0; set < 4; ++set) buildFibreLines(set, tets, positions, labels, inverses);
}

void TTensorField::buildFibreLines(int set, const std::vector<Tetra>& tets, const std::vector<vec3>& positions,
                                   const std::vector<int16_t>& labels, const TetInverses& inverses) {
    if (set < 0 || set > 3) {
        diagPrintf("buildFibreLines: there is no fibre-line set %d\n", set);
        return;
    }
    std::vector<TFibreLine>& lines = m_fibreLines[set];
    lines.clear();
    const size_t n = positions.size();
    const int tetCount = static_cast<int>(tets.size());
    if (tetCount == 0) return;
    if (m_frames.size() != n) {
        diagPrintf("buildFibreLines: %zu frames for %zu vertices, set %d left empty\n", m_frames.size(), n, set);
        return;
    }
    fitDepthValues(n);
    const std::vector<double>& depth = m_depthField.m_value;

    auto axisAt = [this, set](int v) -> const vec3& {
        const TVertexFrame& f = m_frames[v];
        return set <= 1 ? f.m_primaryDir : (set == 2 ? f.m_depthDir : f.m_thirdDir);
    };
    const int16_t region = kSetRegionLabel[set];
    auto inRegion = [&](int t) {
        for (int k = 0; k < 4; ++k) {
            const size_t v = static_cast<size_t>(tets[t].vIdx[k]);
            if (v < labels.size() && labels[v] == region) return true;
        }
        return false;
    };
    auto direction = [&](const TTetSample& s) {
        vec3 d;
        for (int k = 0; k < 4; ++k) d += axisAt(s.m_tetVertex[k]) * s.m_weight[k];
        makeUnit(d);
        return d;
    };

    // The seeds are drawn first, in the generator's fixed order (five draws per seed: the
    // tetrahedron, then four raw weights); the walks are independent and run in parallel, and the
    // lines are kept in seed order, so the result does not depend on the thread count.
    const int seedCount = kSeedCount[set];
    std::vector<int> seedTets(seedCount);
    std::vector<TTetSample> seedSamples(seedCount);
    for (int seed = 0; seed < seedCount; ++seed) {
        const int r0 = fibreRandom();
        int raw[4];
        for (int& r : raw) r = fibreRandom();
        const int seedTet = static_cast<int>(static_cast<double>(r0) / kFibreRandomMax * (tetCount - 1));
        TTetSample& seedSample = seedSamples[seed];
        double sum = 0.0;
        for (int k = 0; k < 4; ++k) {
            seedSample.m_tetVertex[k] = tets[seedTet].vIdx[k];
            seedSample.m_weight[k] = static_cast<double>(raw[k]) / kFibreRandomMax;
            sum += seedSample.m_weight[k];
        }
        for (int k = 0; k < 4; ++k) {
            // Four zero draws would give 0/0; the centroid stands in.
            seedSample.m_weight[k] = sum > 0.0 ? seedSample.m_weight[k] / sum : 0.25;
        }
        seedTets[seed] = seedTet;
    }

    auto locate = [&](int startTet, const vec3& point, TTetSample& sample, int& tetOut) {
        return locateFrom(tets, positions, startTet, point, sample, tetOut,
                          [&](int t, double w[4]) { return inverses.contains(tets, positions, t, point, w); });
    };

    std::vector<TFibreLine> walked(seedCount);
#pragma omp parallel
    {
        TFibreLine forward, backward;
        forward.reserve(kMaxWalkSteps);
        backward.reserve(kMaxWalkSteps);
#pragma omp for schedule(dynamic, 64)
        for (int seed = 0; seed < seedCount; ++seed) {
            const TTetSample& seedSample = seedSamples[seed];
            const int seedTet = seedTets[seed];
            const vec3 seedPoint = seedSample.position(positions);

            forward.clear();
            {
                TTetSample current = seedSample;
                int currentTet = seedTet;
                vec3 point = seedPoint;
                for (int step = 0; step < kMaxWalkSteps; ++step) {
                    point += direction(current) * kWalkStep;
                    TTetSample next;
                    int nextTet = -1;
                    if (!locate(currentTet, point, next, nextTet)) break;
                    if (region != 0 && !inRegion(nextTet)) break;
                    forward.emplace_back(next, next.interpolate(depth));
                    current = next;
                    currentTet = nextTet;
                }
            }
            backward.clear();
            {
                TTetSample current = seedSample;
                int currentTet = seedTet;
                vec3 point = seedPoint;
                for (int step = 0; step < kMaxWalkSteps; ++step) {
                    point -= direction(current) * kWalkStep;
                    TTetSample next;
                    int nextTet = -1;
                    if (!locate(currentTet, point, next, nextTet)) break;
                    // The backward end keeps its first point outside the region.
                    backward.emplace_back(next, next.interpolate(depth));
                    if (region != 0 && !inRegion(nextTet)) break;
                    current = next;
                    currentTet = nextTet;
                }
            }

            const size_t total = backward.size() + 1 + forward.size();
            if (total < static_cast<size_t>(kMinLinePoints)) continue;
            TFibreLine& line = walked[seed];
            line.reserve(total);
            line.insert(line.end(), backward.rbegin(), backward.rend());
            line.emplace_back(seedSample, seedSample.interpolate(depth));
            line.insert(line.end(), forward.begin(), forward.end());
        }
    }
    for (TFibreLine& line : walked)
        if (!line.empty()) lines.push_back(std::move(line));
}
