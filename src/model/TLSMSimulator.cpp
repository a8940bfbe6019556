// TLSMSimulator: set-up of the shape-matching clusters, layering and rest volume, and the step:
// warm-started Jacobi polar decomposition per cluster, gathered goals, integration with damping.
#include "model/TLSMSimulator.h"

#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>

#include "linalg/Diagnostics.h"
#include "linalg/SmallAlgebra.h"
#include "mesh/TTetMesh.h"
#include "mesh/TTriangleMesh.h"

namespace {

// Member weights: (d . fibre)^2 + kWeightFloor, valid within [kWeightFloor, kWeightCeiling].
constexpr double kWeightFloor = 0.01;
constexpr double kWeightCeiling = 100000.0;
// A member closer than this to the cluster's mean has no direction of its own.
constexpr double kCoincidentMember = 1e-11;

// Clusters whose stretched cross-covariance has det <= this (reflected or flat) keep the identity.
constexpr double kMinClusterDet = 1e-7;
// The polar decomposition gives up (identity) below this eigenvalue of B B^T.
constexpr double kMinClusterEigenvalue = 1e-8;
constexpr double kClusterJacobiTolerance = 1e-5;
constexpr int kClusterJacobiRotations = 10;

// Held vertices are pulled with gain dt * kFixedGain on top of the goal pull.
constexpr double kFixedGain = 300.0;
// Cluster damping: v_i := kDamping (v_i + sum_j w_ij v_j).
constexpr double kDamping = 0.3;

// Clusters sorted by size within runs of this many along the space-filling curve: long enough to
// fill most blocks with clusters of one size, short enough to keep them neighbours.
constexpr int kSizeSortRun = 64;

using Clock = std::chrono::steady_clock;

// Process-wide timing report of the step: survives model reloads by design.
struct TimingReport {
    int calls = 0;
    int64_t nanoseconds[3] = {0, 0, 0};
};
TimingReport g_timing;

int64_t nanosecondsBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(b - a).count();
}

double millisecondsBetween(Clock::time_point a, Clock::time_point b) {
    return std::chrono::duration<double, std::milli>(b - a).count();
}

void reportTiming() {
    static const char* const kLines[3] = {
        "aaaaa = %d,  1000 iteration --> time = %.10f second\n",
        "bbbbb = %d,  1000 iteration --> time = %.10f second\n",
        "ccccc = %d,  1000 iteration --> time = %.10f second\n",
    };
    diagPrintf("\n\n");
    for (int phase = 0; phase < 3; ++phase) {
        // Milliseconds of a monotonic clock: the C library's clock() would sum the processor time
        // of every thread on this platform.
        const int ms = static_cast<int>(g_timing.nanoseconds[phase] / 1000000);
        diagPrintf(kLines[phase], ms, ms / 1000.0);
    }
}

// Work of the step's loops in rough units (a member row of a block of the fit, a membership of the
// gather), for cutting them into equal shares: the polar decomposition and the stores make a
// block cost as much as about kFitBlockRows rows, a vertex of the gather about
// kGatherVertexMemberships memberships.
constexpr int64_t kFitBlockRows = 22;
constexpr int64_t kGatherVertexMemberships = 2;

/// Index k in [0, offsets.size() - 1] where the prefix offsets first reach the given fraction of
/// the total: a thread whose share runs between cuts a and b takes items [splitPoint(a),
/// splitPoint(b)).
int splitPoint(const std::vector<int64_t>& offsets, double fraction) {
    const int items = static_cast<int>(offsets.size()) - 1;
    if (!(fraction > 0.0)) return 0;
    if (fraction >= 1.0) return items;
    const auto target = static_cast<int64_t>(std::llround(static_cast<double>(offsets.back()) * fraction));
    return static_cast<int>(std::lower_bound(offsets.begin(), offsets.end() - 1, target) - offsets.begin());
}

// How far one step moves the threads' shares towards the speeds it measured, and the least share
// a thread keeps (of an even one), so that a thread that was held up once is not starved.
constexpr double kShareAdaptation = 0.25;
constexpr double kLeastShare = 0.2;

/// Team + 1 cut points of even shares.
std::vector<double> evenCuts(int team) {
    std::vector<double> cuts(static_cast<size_t>(team) + 1);
    for (int t = 0; t <= team; ++t) cuts[t] = static_cast<double>(t) / team;
    return cuts;
}

/// Moves the cuts towards shares proportional to each thread's speed in the latest step (its
/// share over its time).
void adaptCuts(std::vector<double>& cuts, const std::vector<int64_t>& nanoseconds) {
    const int team = static_cast<int>(nanoseconds.size());
    std::vector<double> shares(team), speeds(team);
    double speedSum = 0.0;
    for (int t = 0; t < team; ++t) {
        shares[t] = cuts[t + 1] - cuts[t];
        speeds[t] = shares[t] / static_cast<double>(std::max<int64_t>(nanoseconds[t], 1000));
        speedSum += speeds[t];
    }
    if (!(speedSum > 0.0) || !std::isfinite(speedSum)) return;
    double total = 0.0;
    for (int t = 0; t < team; ++t) {
        const double blended = (1.0 - kShareAdaptation) * shares[t] + kShareAdaptation * speeds[t] / speedSum;
        shares[t] = std::max(blended, kLeastShare / team);
        total += shares[t];
    }
    double cut = 0.0;
    for (int t = 0; t < team; ++t) {
        cuts[t] = cut / total;
        cut += shares[t];
    }
    cuts[team] = 1.0;
}

BlockMatrices identityBlock() {
    BlockMatrices b;
    for (int k = 0; k < 9; ++k)
        for (int l = 0; l < kClusterLanes; ++l) b.e[k][l] = kIdentity3[k];
    return b;
}

PaddedPoint padded(const vec3& p) {
    PaddedPoint q;
    q.x = p.x, q.y = p.y, q.z = p.z;
    return q;
}

}  // namespace

void resetSimulationTimingReport() { g_timing = TimingReport(); }

Mat3 TLSMSimulator::blockEntry(const std::vector<BlockMatrices>& blocks, int p) {
    Mat3 m;
    for (int k = 0; k < 9; ++k) m[k] = blocks[p / kClusterLanes].e[k][p % kClusterLanes];
    return m;
}

std::vector<Mat3> TLSMSimulator::eigenFrames() const {
    std::vector<Mat3> frames(m_vtxNum);
    for (int p = 0; p < m_vtxNum; ++p) frames[p] = blockEntry(m_blockFrames, p);
    return frames;
}

void TLSMSimulator::releaseArrays() {
    m_vtxNum = 0;
    m_restCenters.clear();
    m_clusterStart.assign(1, 0);
    m_clusterVerts.clear();
    m_clusterWeights.clear();
    m_vertexWeights.clear();
    m_velocities.clear();
    m_restPos.clear();
    m_vtxConstraint.clear();
    m_heldVerts.clear();
    m_goalPos.clear();
    m_restVolume = 0.0;
    m_surfFaces.clear();
    m_layers.clear();
    m_layerEntryNum = 0;
    m_layerEntryStart.clear();
    m_layerLevelStart.clear();
    m_vertexFaceStart.assign(1, 0);
    m_vertexFaces.clear();
    m_faceNormals.clear();
    m_realignMeanSums.clear();
    m_realignCovarianceSums.clear();
    m_tetVerts.clear();
    m_inflateDir.clear();
    m_vertexMemberStart.assign(1, 0);
    m_clusterFit.clear();
    m_blockRowStart.assign(1, 0);
    m_laneRows.clear();
    m_order.clear();
    m_rank.clear();
    m_orderedClusterSize.clear();
    m_gatherStart.assign(1, 0);
    m_blockWork.assign(1, 0);
    m_fitCuts.clear();
    m_gatherCuts.clear();
    m_vertexWork.assign(1, 0);
    m_gatherCluster.clear();
    m_gatherWeight.clear();
    m_orderedRest.clear();
    m_blockCentres.clear();
    m_rowOffsets.clear();
    m_orderedCur.clear();
    m_blockStretch.clear();
    m_blockFrames.clear();
    m_velocityBefore.clear();
    m_volumeTets.clear();
    m_volumeFromBoundary = false;
    m_volumeBlockTets = kVolumeBlockTets;
    m_volumeBlockSums.clear();
}

int TLSMSimulator::loopThreads() const { return std::max(1, std::min(omp_get_max_threads(), m_threadNum)); }

bool TLSMSimulator::initSimulator(const std::vector<vec3>& restPositions, const std::vector<Tetra>& tets,
                                  const std::vector<std::vector<int>>& neighbourhoods,
                                  const std::vector<TVertexFrame>& frames) {
    diagPrintf("initSimulator ... ");
    releaseArrays();

    const int n = static_cast<int>(restPositions.size());
    // The locality order and the volume set-up start from the first rest position.
    if (n == 0) {
        diagPrintf("\ninitSimulator: the mesh has no vertices, simulator left empty\n");
        return false;
    }
    if (static_cast<int>(neighbourhoods.size()) != n || static_cast<int>(frames.size()) != n) {
        diagPrintf("\ninitSimulator: %d neighbourhoods and %d frames for %d vertices, simulator left empty\n",
                   static_cast<int>(neighbourhoods.size()), static_cast<int>(frames.size()), n);
        return false;
    }
    for (size_t i = 0; i < neighbourhoods.size(); ++i)
        for (int j : neighbourhoods[i])
            if (j < 0 || j >= n) {
                diagPrintf("\ninitSimulator: neighbourhood %d holds vertex %d of %d, simulator left empty\n",
                           static_cast<int>(i), j, n);
                return false;
            }
    for (size_t t = 0; t < tets.size(); ++t)
        for (int c = 0; c < 4; ++c)
            if (tets[t].vIdx[c] < 0 || tets[t].vIdx[c] >= n) {
                diagPrintf("\ninitSimulator: tetrahedron %d has corner %d of %d, simulator left empty\n",
                           static_cast<int>(t), tets[t].vIdx[c], n);
                return false;
            }

    m_vtxNum = n;
    m_restPos.assign(n, vec3());
    m_velocities.assign(n, vec3());
    m_goalPos.assign(n, vec3());
    m_vtxConstraint.assign(n, TVertexConstraint());
    m_heldVerts.clear();
    m_restCenters.assign(n, vec3());

    // Clusters, flat.
    m_clusterStart.assign(n + 1, 0);
    for (int i = 0; i < n; ++i) m_clusterStart[i + 1] = m_clusterStart[i] + static_cast<int>(neighbourhoods[i].size());
    const int memberships = m_clusterStart[n];
    m_clusterVerts.resize(memberships);
    for (int i = 0; i < n; ++i)
        std::copy(neighbourhoods[i].begin(), neighbourhoods[i].end(), m_clusterVerts.data() + m_clusterStart[i]);

    // Fibre-weighted members: neighbours along the fibre of the cluster's own vertex weigh up to
    // about 100 times more than those across it.
    // The raw weights are kept in m_clusterWeights until both sums are known.
    m_clusterWeights.resize(memberships);
    std::vector<double>& raw = m_clusterWeights;
    std::vector<double> clusterSum(n, 0.0), vertexSum(n, 0.0);
    for (int i = 0; i < n; ++i) {
        const int begin = m_clusterStart[i], end = m_clusterStart[i + 1];
        if (begin == end) continue;
        vec3 mean;
        for (int m = begin; m < end; ++m) mean += restPositions[m_clusterVerts[m]];
        mean /= static_cast<double>(end - begin);
        const vec3& fibre = frames[i].m_primaryDir;
        for (int m = begin; m < end; ++m) {
            const int j = m_clusterVerts[m];
            vec3 d = restPositions[j] - mean;
            const double len = d.norm();
            if (len < kCoincidentMember)
                d = vec3(1, 0, 0);
            else
                d /= len;
            const double along = d.dot(fibre);
            double g = along * along + kWeightFloor;
            if (!(g >= kWeightFloor && g <= kWeightCeiling)) {
                diagPrintf("wrong weighting  %d %f\n", i, g);
                diagPrintf("neighbor size %d\n", end - begin);
                diagPrintf("gc");
                diagPrintf("%f %f %f\n", mean.x, mean.y, mean.z);
                diagPrintf("v0");
                diagPrintf("%f %f %f\n", fibre.x, fibre.y, fibre.z);
                diagPrintf("piv");
                diagPrintf("%f %f %f\n", d.x, d.y, d.z);
                g = kWeightFloor;
            }
            raw[m] = g;
            clusterSum[i] += g;
            vertexSum[j] += g;
        }
    }
    m_vertexWeights.resize(memberships);
    for (int i = 0; i < n; ++i)
        for (int m = m_clusterStart[i]; m < m_clusterStart[i + 1]; ++m) {
            m_vertexWeights[m] = raw[m] / vertexSum[m_clusterVerts[m]];
            m_clusterWeights[m] = raw[m] / clusterSum[i];
        }

    // The gather side: each vertex's memberships in ascending cluster order, so every goal is
    // summed in the same order whatever the thread count.
    m_vertexMemberStart.assign(n + 1, 0);
    for (int m = 0; m < memberships; ++m) ++m_vertexMemberStart[m_clusterVerts[m] + 1];
    for (int v = 0; v < n; ++v) m_vertexMemberStart[v + 1] += m_vertexMemberStart[v];

    m_tetVerts.resize(tets.size());
    for (int t = 0; t < tetCount(); ++t)
        for (int c = 0; c < 4; ++c) m_tetVerts[t][c] = tets[t].vIdx[c];

    buildLayers(tets);

    for (int i = 0; i < n; ++i) {
        vec3 c;
        for (int m = m_clusterStart[i]; m < m_clusterStart[i + 1]; ++m)
            c += m_clusterWeights[m] * restPositions[m_clusterVerts[m]];
        m_restCenters[i] = c;
    }
    m_restPos = restPositions;

    // Inverted rest tetrahedra count zero.
    double volume6 = 0.0;
    for (const auto& t : m_tetVerts)
        volume6 += std::max(0.0, signedVolume6(m_restPos[t[0]], m_restPos[t[1]], m_restPos[t[2]], m_restPos[t[3]]));
    m_restVolume = volume6 / 6.0;

    int threads = 1;
#pragma omp parallel
    {
#pragma omp single
        threads = omp_get_num_threads();
    }
    diagPrintf("thread num = %d\n", threads);
    m_threadNum = std::max(threads, 1);

    m_inflateDir.assign(n, vec3());
    buildClusterBlocks();
    m_velocityBefore.assign(n, vec3());
    buildVolumeTets(tets);
    const int realignBlocks = (n + kRealignBlockVertices - 1) / kRealignBlockVertices;
    m_realignMeanSums.assign(realignBlocks, {0, 0, 0, 0, 0, 0, 0});
    m_realignCovarianceSums.assign(realignBlocks, Mat3{});
    m_stepThreads = 1;

    diagPrintf("initSimulator ...done\n ");
    return true;
}

void TLSMSimulator::buildLayers(const std::vector<Tetra>& tets) {
    const int n = m_vtxNum;
    std::vector<char> onSurface(n, 0);
    for (const Tetra& t : tets)
        for (int k = 0; k < 4; ++k) {
            if (t.nbr[k] != -1) continue;
            std::array<int, 3> face;
            for (int c = 0; c < 3; ++c) {
                face[c] = t.vIdx[kFaceCornersOutward[k][c]];
                onSurface[face[c]] = 1;
            }
            m_surfFaces.push_back(face);
        }

    // Adjacency from the tetrahedra (even where the clusters use another stencil): the vertex stars.
    std::vector<int> adjacentStart, adjacent;
    buildVertexStars(tets, n, adjacentStart, adjacent);

    std::vector<int> level(n, -1);
    for (int s = 0; s < n; ++s)
        if (onSurface[s]) {
            level[s] = 0;
            m_layers.push_back(s);
            m_layers.push_back(0);
            ++m_layerEntryNum;
        }
    // Peel inwards one level per pass; a vertex's parents are its neighbours of the level just
    // finished, so every parent stands in an earlier entry.
    std::vector<int> remaining;
    for (int v = 0; v < n; ++v)
        if (level[v] == -1) remaining.push_back(v);
    std::vector<int> parents;
    for (int k = 0; !remaining.empty(); ++k) {
        bool appended = false;
        size_t kept = 0;
        for (size_t r = 0; r < remaining.size(); ++r) {
            const int v = remaining[r];
            parents.clear();
            for (int s = adjacentStart[v]; s < adjacentStart[v + 1]; ++s)
                if (level[adjacent[s]] == k) parents.push_back(adjacent[s]);
            if (parents.empty()) {
                remaining[kept++] = v;
                continue;
            }
            level[v] = k + 1;
            m_layers.push_back(v);
            m_layers.push_back(static_cast<int>(parents.size()));
            m_layers.insert(m_layers.end(), parents.begin(), parents.end());
            ++m_layerEntryNum;
            appended = true;
        }
        remaining.resize(kept);
        if (!appended) break;
    }

    // Random access to the entries, level by level (each level's entries read only the level
    // before), and the boundary faces at each vertex in ascending order, as the volume
    // correction sums them.
    m_layerEntryStart.assign(m_layerEntryNum + 1, 0);
    m_layerLevelStart.assign(1, 0);
    int lastLevel = 0;
    for (int e = 0, at = 0; e < m_layerEntryNum; ++e) {
        m_layerEntryStart[e] = at;
        const int v = m_layers[at];
        if (level[v] != lastLevel) {
            m_layerLevelStart.push_back(e);
            lastLevel = level[v];
        }
        at += 2 + m_layers[at + 1];
        m_layerEntryStart[e + 1] = at;
    }
    if (m_layerEntryNum > 0) m_layerLevelStart.push_back(m_layerEntryNum);
    cornerIncidence(m_surfFaces, n, m_vertexFaceStart, m_vertexFaces);
    m_faceNormals.assign(m_surfFaces.size(), vec3());
}

std::vector<vec3> TLSMSimulator::velocities() const {
    if (m_rank.size() != m_velocities.size()) return m_velocities;
    std::vector<vec3> out(m_velocities.size());
    for (size_t v = 0; v < out.size(); ++v) out[v] = m_velocities[m_rank[v]];
    return out;
}

void TLSMSimulator::resetSimulation() {
    std::fill(m_velocities.begin(), m_velocities.end(), vec3());
    for (BlockMatrices& b : m_blockFrames) b = identityBlock();
}

void TLSMSimulator::orderForLocality() {
    // Z-order (Morton) of the rest positions on a 2^21 grid per axis, ties by vertex number.
    const int n = m_vtxNum;
    vec3 lo = m_restPos[0], hi = lo;
    for (const vec3& p : m_restPos)
        for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], p[a]), hi[a] = std::max(hi[a], p[a]);
    const double cells = 2097151.0;
    auto spread = [](uint64_t x) {  // 21 bits to every third of 63
        x &= 0x1fffff;
        x = (x | x << 32) & 0x1f00000000ffffULL;
        x = (x | x << 16) & 0x1f0000ff0000ffULL;
        x = (x | x << 8) & 0x100f00f00f00f00fULL;
        x = (x | x << 4) & 0x10c30c30c30c30c3ULL;
        x = (x | x << 2) & 0x1249249249249249ULL;
        return x;
    };
    std::vector<std::pair<uint64_t, int>> keys(n);
    for (int v = 0; v < n; ++v) {
        uint64_t code = 0;
        for (int a = 0; a < 3; ++a) {
            const double extent = hi[a] - lo[a];
            const double t = extent > 0.0 && std::isfinite(extent) ? (m_restPos[v][a] - lo[a]) / extent : 0.0;
            const uint64_t cell = std::isfinite(t) ? static_cast<uint64_t>(std::clamp(t, 0.0, 1.0) * cells) : 0;
            code |= spread(cell) << a;
        }
        keys[v] = {code, v};
    }
    std::sort(keys.begin(), keys.end());
    // Largest first within each run: a block is as long as its largest cluster, and the others'
    // rows up to that length are padding.
    for (int begin = 0; begin < n; begin += kSizeSortRun) {
        const auto first = keys.begin() + begin, last = keys.begin() + std::min(n, begin + kSizeSortRun);
        std::stable_sort(first, last,
                         [&](const auto& a, const auto& b) { return clusterSize(a.second) > clusterSize(b.second); });
    }
    m_order.resize(n);
    m_rank.resize(n);
    for (int p = 0; p < n; ++p) {
        m_order[p] = keys[p].second;
        m_rank[keys[p].second] = p;
    }
}

void TLSMSimulator::buildClusterBlocks() {
    const int n = clusterCount();
    orderForLocality();

    // Fit side: internal cluster p is cluster m_order[p]; its members keep their order.
    m_orderedClusterSize.resize(n);
    for (int p = 0; p < n; ++p) m_orderedClusterSize[p] = clusterSize(m_order[p]);
    const int blocks = (n + kClusterLanes - 1) / kClusterLanes;
    m_blockRowStart.assign(blocks + 1, 0);
    for (int b = 0; b < blocks; ++b) {
        int rows = 0;
        for (int l = 0; l < kClusterLanes && b * kClusterLanes + l < n; ++l)
            rows = std::max(rows, m_orderedClusterSize[b * kClusterLanes + l]);
        m_blockRowStart[b + 1] = m_blockRowStart[b] + rows;
    }
    ClusterLaneRow padding{};
    m_laneRows.assign(m_blockRowStart[blocks], padding);
    for (int b = 0; b < blocks; ++b)
        for (int l = 0; l < kClusterLanes; ++l) {
            const int p = std::min(b * kClusterLanes + l, n - 1);
            const int i = m_order[p];
            const bool real = b * kClusterLanes + l < n;
            for (int row = m_blockRowStart[b]; row < m_blockRowStart[b + 1]; ++row) {
                ClusterLaneRow& r = m_laneRows[row];
                const int m = m_clusterStart[i] + (row - m_blockRowStart[b]);
                if (real && m < m_clusterStart[i + 1]) {
                    r.coord[l] = 4 * m_rank[m_clusterVerts[m]];
                    r.weight[l] = m_clusterWeights[m];
                } else {
                    // Zero weight (so a zero offset): the lane's sums stay exactly as they are.
                    r.coord[l] = 4 * p;
                }
            }
        }

    // Gather side: internal vertex p is vertex m_order[p], with its memberships in ascending
    // order of the original cluster numbers, as the goal sum requires.
    m_gatherStart.assign(n + 1, 0);
    for (int p = 0; p < n; ++p) {
        const int v = m_order[p];
        m_gatherStart[p + 1] = m_gatherStart[p] + (m_vertexMemberStart[v + 1] - m_vertexMemberStart[v]);
    }
    // Past the last membership: cluster 0, as often as the gather looks ahead.
    m_gatherCluster.assign(static_cast<size_t>(m_gatherStart[n]) + kGatherLookAhead, 0);
    m_gatherWeight.resize(m_gatherStart[n]);
    {
        // Visiting the clusters in ascending original order files each vertex's memberships so.
        std::vector<int> fill(m_gatherStart.begin(), m_gatherStart.end() - 1);
        for (int i = 0; i < n; ++i)
            for (int m = m_clusterStart[i]; m < m_clusterStart[i + 1]; ++m) {
                const int slot = fill[m_rank[m_clusterVerts[m]]]++;
                m_gatherCluster[slot] = m_rank[i];
                m_gatherWeight[slot] = m_vertexWeights[m];
            }
    }

    m_orderedRest.resize(n);
    m_clusterFit.resize(n);
    for (int p = 0; p < n; ++p) {
        m_orderedRest[p] = padded(m_restPos[m_order[p]]);
        ClusterFit& fit = m_clusterFit[p];
        for (int c = 0; c < 3; ++c) {
            for (int r = 0; r < 4; ++r) fit.column[c][r] = r < 3 ? kIdentity3[3 * r + c] : 0.0;
            fit.offset[c] = 0.0;
        }
        fit.offset[3] = 0.0;
    }
    m_orderedCur.assign(n, PaddedPoint());
    // The kernels read whole blocks: the lanes past the last cluster have no members.
    m_orderedClusterSize.resize(static_cast<size_t>(blocks) * kClusterLanes, 0);
    m_blockCentres.assign(blocks, BlockVectors{});
    for (int p = 0; p < n; ++p)
        for (int k = 0; k < 3; ++k)
            m_blockCentres[p / kClusterLanes].e[k][p % kClusterLanes] = m_restCenters[m_order[p]][k];
    // The offsets exactly as the fit forms them: (r - c) * w per coordinate, a difference and a
    // product, each rounded once.
    m_rowOffsets.clear();
    if (static_cast<size_t>(m_blockRowStart[blocks]) * sizeof(BlockVectors) <= m_keptOffsetBytes) {
        m_rowOffsets.resize(m_blockRowStart[blocks]);
        for (int b = 0; b < blocks; ++b)
            for (int row = m_blockRowStart[b]; row < m_blockRowStart[b + 1]; ++row)
                for (int l = 0; l < kClusterLanes; ++l) {
                    const ClusterLaneRow& r = m_laneRows[row];
                    const PaddedPoint& rest = m_orderedRest[r.coord[l] / 4];
                    const double restCoord[3] = {rest.x, rest.y, rest.z};
                    for (int k = 0; k < 3; ++k)
                        m_rowOffsets[row].e[k][l] = (restCoord[k] - m_blockCentres[b].e[k][l]) * r.weight[l];
                }
    }
    m_blockWork.resize(blocks + 1);
    for (int b = 0; b <= blocks; ++b) m_blockWork[b] = m_blockRowStart[b] + kFitBlockRows * b;
    m_vertexWork.resize(n + 1);
    for (int p = 0; p <= n; ++p) m_vertexWork[p] = m_gatherStart[p] + kGatherVertexMemberships * p;
    m_blockStretch.assign(blocks, identityBlock());
    m_blockFrames.assign(blocks, identityBlock());
}

bool TLSMSimulator::stepSimulation(std::vector<vec3>& positions, const std::map<int, vec3>& fixedVerts,
                                   const std::set<int>& pinnedVerts, const std::vector<Mat3>& stretch, double dt,
                                   int iterations) {
    if (++g_timing.calls > 999) {
        reportTiming();
        g_timing = TimingReport();
    }
    const int n = m_vtxNum;
    if (static_cast<int>(positions.size()) != n || static_cast<int>(stretch.size()) != n) {
        diagPrintf("stepSimulation: %d positions and %d stretch tensors for a set-up of %d vertices, step skipped\n",
                   static_cast<int>(positions.size()), static_cast<int>(stretch.size()), n);
        return false;
    }
    if (!(dt > 0.0) || !std::isfinite(dt)) {
        diagPrintf("stepSimulation: time step %g is not a positive number, step skipped\n", dt);
        return false;
    }
    if (n == 0) return true;

    const auto start = Clock::now();
    if (omp_get_max_threads() > m_threadNum)
        for (int it = 0; it < iterations; ++it) diagPrintf("thread数の調整");
    const int threads = loopThreads();
    const bool parallel = threads > 1 && n >= kParallelVertices;
    m_stepThreads = 1;
    matchShapes(positions, stretch, iterations, threads, parallel);
    const auto matched = Clock::now();

    preserveVolume(m_goalPos);
    realignGoal(m_goalPos, positions);
    const auto corrected = Clock::now();

    applyVertexConstraints(fixedVerts, pinnedVerts);
    const auto integrationStart = Clock::now();
    integrate(positions, dt, threads, parallel);
    const auto end = Clock::now();

    g_timing.nanoseconds[0] += nanosecondsBetween(start, matched);
    g_timing.nanoseconds[1] += nanosecondsBetween(matched, corrected);
    g_timing.nanoseconds[2] += nanosecondsBetween(integrationStart, end);
    m_phaseMs[0] = millisecondsBetween(start, matched);
    m_phaseMs[1] = millisecondsBetween(matched, corrected);
    m_phaseMs[2] = millisecondsBetween(integrationStart, end);
    return true;
}

void TLSMSimulator::matchShapes(const std::vector<vec3>& positions, const std::vector<Mat3>& stretch, int iterations,
                                int threads, bool parallel) {
    ShapeMatchingArrays arrays;
    arrays.clusterCount = clusterCount();
    arrays.clusterSize = m_orderedClusterSize.data();
    arrays.blockRowStart = m_blockRowStart.data();
    arrays.rows = m_laneRows.data();
    arrays.stretch = m_blockStretch.data();
    arrays.frames = m_blockFrames.data();
    arrays.fits = m_clusterFit.data();
    arrays.memberStart = m_gatherStart.data();
    arrays.memberCluster = m_gatherCluster.data();
    arrays.memberWeight = m_gatherWeight.data();
    arrays.restPos = m_orderedRest.data();
    arrays.restCenter = m_blockCentres.data();
    arrays.rowOffsets = m_rowOffsets.empty() ? nullptr : m_rowOffsets.data();
    arrays.current = m_orderedCur.data();
    arrays.polar = {kClusterJacobiTolerance, kClusterJacobiRotations, kMinClusterEigenvalue};
    arrays.minDet = kMinClusterDet;
    const ShapeMatchingKernels& k = *m_kernels;
    const int* order = m_order.data();
    const int* rank = m_rank.data();
    const int n = m_vtxNum;

#pragma omp parallel num_threads(threads) if (parallel)
    {
        const int team = omp_get_num_threads(), me = omp_get_thread_num();
#pragma omp single
        {
            m_stepThreads = team;
            if (static_cast<int>(m_fitCuts.size()) != team + 1 || m_gatherCuts.size() != m_fitCuts.size())
                m_fitCuts = m_gatherCuts = evenCuts(team);
            m_fitNs.assign(team, 0);
            m_gatherNs.assign(team, 0);
        }
        // Each thread owns one contiguous range of blocks and one of vertices for the whole step,
        // cut by the estimated work (rows and blocks of the fit, memberships and vertices of the
        // gather; surface vertices have half the neighbours, and the locality order gathers them
        // in places) at the thread's share of it. Where the cuts fall changes no result.
        const int blockBegin = splitPoint(m_blockWork, m_fitCuts[me]);
        const int blockEnd = splitPoint(m_blockWork, m_fitCuts[me + 1]);
        const int vertexBegin = splitPoint(m_vertexWork, m_gatherCuts[me]);
        const int vertexEnd = splitPoint(m_vertexWork, m_gatherCuts[me + 1]);
        for (int p = vertexBegin; p < vertexEnd; ++p) {
            m_orderedCur[p] = padded(positions[order[p]]);
            const Mat3& m = stretch[order[p]];
            BlockMatrices& block = m_blockStretch[p / kClusterLanes];
            for (int k = 0; k < 9; ++k) block.e[k][p % kClusterLanes] = m[k];
        }
#pragma omp barrier
        int64_t fitNs = 0, gatherNs = 0;
        for (int it = 0; it < iterations; ++it) {
            const auto fitStart = Clock::now();
            k.fitBlocks(arrays, blockBegin, blockEnd);
            const auto fitEnd = Clock::now();
#pragma omp barrier
            const auto gatherStart = Clock::now();
            k.gatherGoals(arrays, vertexBegin, vertexEnd);
            const auto gatherEnd = Clock::now();
#pragma omp barrier
            fitNs += nanosecondsBetween(fitStart, fitEnd);
            gatherNs += nanosecondsBetween(gatherStart, gatherEnd);
        }
        m_fitNs[me] = fitNs;
        m_gatherNs[me] = gatherNs;
        // The goals back in the mesh's order, each thread writing one contiguous range (the
        // range it works on in the phases that follow), so no cache line is written by both.
#pragma omp for schedule(static) nowait
        for (int v = 0; v < n; ++v) {
            const PaddedPoint& g = m_orderedCur[rank[v]];
            m_goalPos[v] = vec3(g.x, g.y, g.z);
        }
    }
    if (m_stepThreads > 1 && iterations > 0) {
        adaptCuts(m_fitCuts, m_fitNs);
        adaptCuts(m_gatherCuts, m_gatherNs);
    }
}

void TLSMSimulator::applyVertexConstraints(const std::map<int, vec3>& fixedVerts, const std::set<int>& pinnedVerts) {
    const int n = m_vtxNum;
    // Only the vertices held in the previous step carry a mark to clear.
    for (int v : m_heldVerts) m_vtxConstraint[v] = TVertexConstraint();
    m_heldVerts.clear();
    for (const auto& [v, target] : fixedVerts)
        if (v >= 0 && v < n) {
            m_vtxConstraint[v].isFixed = true;
            m_vtxConstraint[v].target = target;
            m_heldVerts.push_back(v);
        }
    for (int v : pinnedVerts)
        if (v >= 0 && v < n) {
            m_vtxConstraint[v].isPinned = true;
            m_heldVerts.push_back(v);
        }
}

void TLSMSimulator::integrate(std::vector<vec3>& positions, double dt, int threads, bool parallel) {
    const int n = m_vtxNum;
    const int* memberStart = m_vertexMemberStart.data();
    const int* rank = m_rank.data();
    const int* clusterSize = m_orderedClusterSize.data();
    const int* blockRowStart = m_blockRowStart.data();
    const ClusterLaneRow* rows = m_laneRows.data();
    const double fixedGain = dt * kFixedGain;
#pragma omp parallel num_threads(threads) if (parallel)
    {
        // Velocities before damping, kept in the locality order for the cluster sums below, which
        // read the clusters as the fit does.
#pragma omp for schedule(static)
        for (int v = 0; v < n; ++v) {
            if (memberStart[v] == memberStart[v + 1]) {
                // No cluster holds this vertex: it keeps its place.
                m_velocityBefore[rank[v]] = vec3();
                continue;
            }
            const vec3 x = positions[v];
            vec3 vel = m_velocities[rank[v]] + (m_goalPos[v] - x) / dt;
            const TVertexConstraint& c = m_vtxConstraint[v];
            if (c.isFixed) vel += (c.target - x) * fixedGain;
            if (c.isPinned) vel = vec3();
            positions[v] = x + dt * vel;
            m_velocityBefore[rank[v]] = vel;
        }
        // Damping over each cluster from the velocities before this loop, so the result does not
        // depend on the order in which vertices are visited.
#pragma omp for schedule(static)
        for (int p = 0; p < n; ++p) {
            // Cluster p's members in their own order: its lane of its block's rows.
            const int lane = p % kClusterLanes, first = blockRowStart[p / kClusterLanes];
            vec3 sum;
            for (int row = first; row < first + clusterSize[p]; ++row)
                sum += rows[row].weight[lane] * m_velocityBefore[rows[row].coord[lane] / 4];
            m_velocities[p] = kDamping * (m_velocityBefore[p] + sum);
        }
    }
}
