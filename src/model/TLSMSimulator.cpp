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

namespace {

constexpr std::array<double, 9> kIdentity = {1, 0, 0, 0, 1, 0, 0, 0, 1};

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

// Below this vertex count the step's loops run on the calling thread.
constexpr int kParallelVertices = 256;

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

// out = a b for row-major 3x3 matrices.
inline void mul3(const double a[9], const double b[9], double out[9]) {
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            out[3 * r + c] = a[3 * r] * b[c] + a[3 * r + 1] * b[3 + c] + a[3 * r + 2] * b[6 + c];
}

inline double det3(const double m[9]) {
    return m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) + m[2] * (m[3] * m[7] - m[4] * m[6]);
}

inline vec3 mulVec(const double m[9], const vec3& v) {
    return {m[0] * v.x + m[1] * v.y + m[2] * v.z, m[3] * v.x + m[4] * v.y + m[5] * v.z,
            m[6] * v.x + m[7] * v.y + m[8] * v.z};
}

// Rotation R of the polar decomposition B^T = R S: C = B B^T is eigen-decomposed by Jacobi
// rotations warm-started from `frame` (updated in place), S^-1 = sum lambda^-1/2 e e^T and
// R = B^T S^-1. R stays as it is (the identity) when an eigenvalue is below the floor.
inline void polarRotation(const double b[9], double frame[9], double rot[9]) {
    // Most clusters change little between passes, so the stored frame usually diagonalises C
    // already: V C V^T = (V B)(V B)^T has no off-diagonal entry above the tolerance and the
    // Jacobi routine would apply no rotation. Only otherwise is it run.
    double vb[9], c[9];
    mul3(frame, b, vb);
    for (int r = 0; r < 3; ++r)
        for (int col = r; col < 3; ++col)
            c[3 * r + col] = c[3 * col + r] =
                vb[3 * r] * vb[3 * col] + vb[3 * r + 1] * vb[3 * col + 1] + vb[3 * r + 2] * vb[3 * col + 2];
    if (std::fabs(c[3]) > kClusterJacobiTolerance || std::fabs(c[6]) > kClusterJacobiTolerance ||
        std::fabs(c[7]) > kClusterJacobiTolerance) {
        for (int r = 0; r < 3; ++r)
            for (int col = r; col < 3; ++col)
                c[3 * r + col] = c[3 * col + r] =
                    b[3 * r] * b[3 * col] + b[3 * r + 1] * b[3 * col + 1] + b[3 * r + 2] * b[3 * col + 2];
        jacobiEigen3(c, frame, kClusterJacobiTolerance, kClusterJacobiRotations);
    }
    if (!(c[0] >= kMinClusterEigenvalue && c[4] >= kMinClusterEigenvalue && c[8] >= kMinClusterEigenvalue)) return;
    const double f[3] = {1.0 / std::sqrt(c[0]), 1.0 / std::sqrt(c[4]), 1.0 / std::sqrt(c[8])};
    double sInv[9];
    for (int r = 0; r < 3; ++r)
        for (int col = r; col < 3; ++col)
            sInv[3 * r + col] = sInv[3 * col + r] = f[0] * frame[r] * frame[col] +
                                                    f[1] * frame[3 + r] * frame[3 + col] +
                                                    f[2] * frame[6 + r] * frame[6 + col];
    for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 3; ++col)
            rot[3 * r + col] = b[r] * sInv[col] + b[3 + r] * sInv[3 + col] + b[6 + r] * sInv[6 + col];
}

}  // namespace

void resetSimulationTimingReport() { g_timing = TimingReport(); }

void TLSMSimulator::releaseArrays() {
    m_clusterNum = m_vtxNum = 0;
    m_restCenters.clear();
    m_eigenFrames.clear();
    m_clusterSize.clear();
    m_clusterStart.assign(1, 0);
    m_clusterVerts.clear();
    m_clusterWeights.clear();
    m_vertexWeights.clear();
    m_velocities.clear();
    m_restPos.clear();
    m_vtxConstraint.clear();
    m_goalPos.clear();
    m_curPos.clear();
    m_restVolume = 0.0;
    m_surfFaceNum = m_tetNum = 0;
    m_surfFaces.clear();
    m_layers.clear();
    m_layerEntryNum = 0;
    m_tetVerts.clear();
    m_inflateDir.clear();
    m_vertexMemberStart.assign(1, 0);
    m_vertexMemberCluster.clear();
    m_vertexMemberWeight.clear();
    m_weightedRestOffsets.clear();
    m_clusterFit.clear();
    m_velocityBefore.clear();
    m_volumeBlockSums.clear();
}

int TLSMSimulator::loopThreads() const { return std::max(1, std::min(omp_get_max_threads(), m_threadNum)); }

bool TLSMSimulator::initSimulator(const std::vector<vec3>& restPositions, const std::vector<Tetra>& tets,
                                  const std::vector<std::vector<int>>& neighbourhoods,
                                  const std::vector<TVertexFrame>& frames) {
    diagPrintf("initSimulator ... ");
    releaseArrays();

    const int n = static_cast<int>(restPositions.size());
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
    m_clusterNum = n;
    m_curPos.assign(n, vec3());
    m_restPos.assign(n, vec3());
    m_velocities.assign(n, vec3());
    m_goalPos.assign(n, vec3());
    m_vtxConstraint.assign(n, TVertexConstraint());
    m_restCenters.assign(n, vec3());
    m_eigenFrames.assign(n, kIdentity);

    // Clusters, flat.
    m_clusterSize.resize(n);
    m_clusterStart.assign(n + 1, 0);
    for (int i = 0; i < n; ++i) {
        m_clusterSize[i] = static_cast<int>(neighbourhoods[i].size());
        m_clusterStart[i + 1] = m_clusterStart[i] + m_clusterSize[i];
    }
    const int memberships = m_clusterStart[n];
    m_clusterVerts.resize(memberships);
    for (int i = 0; i < n; ++i)
        std::copy(neighbourhoods[i].begin(), neighbourhoods[i].end(), m_clusterVerts.data() + m_clusterStart[i]);

    // Fibre-weighted members: neighbours along the fibre of the cluster's own vertex weigh up to
    // about 100 times more than those across it.
    std::vector<double> raw(memberships);
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
    m_clusterWeights.resize(memberships);
    m_vertexWeights.resize(memberships);
    for (int i = 0; i < n; ++i)
        for (int m = m_clusterStart[i]; m < m_clusterStart[i + 1]; ++m) {
            m_clusterWeights[m] = raw[m] / clusterSum[i];
            m_vertexWeights[m] = raw[m] / vertexSum[m_clusterVerts[m]];
        }

    // The gather side: each vertex's memberships in ascending cluster order, so every goal is
    // summed in the same order whatever the thread count.
    m_vertexMemberStart.assign(n + 1, 0);
    for (int m = 0; m < memberships; ++m) ++m_vertexMemberStart[m_clusterVerts[m] + 1];
    for (int v = 0; v < n; ++v) m_vertexMemberStart[v + 1] += m_vertexMemberStart[v];
    m_vertexMemberCluster.resize(memberships);
    m_vertexMemberWeight.resize(memberships);
    {
        std::vector<int> fill(m_vertexMemberStart.begin(), m_vertexMemberStart.end() - 1);
        for (int i = 0; i < n; ++i)
            for (int m = m_clusterStart[i]; m < m_clusterStart[i + 1]; ++m) {
                const int slot = fill[m_clusterVerts[m]]++;
                m_vertexMemberCluster[slot] = i;
                m_vertexMemberWeight[slot] = m_vertexWeights[m];
            }
    }

    m_tetNum = static_cast<int>(tets.size());
    m_tetVerts.resize(m_tetNum);
    for (int t = 0; t < m_tetNum; ++t)
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
    m_weightedRestOffsets.resize(memberships);
    m_clusterFit.resize(n);
    for (int i = 0; i < n; ++i) {
        for (int m = m_clusterStart[i]; m < m_clusterStart[i + 1]; ++m)
            m_weightedRestOffsets[m] = (m_restPos[m_clusterVerts[m]] - m_restCenters[i]) * m_clusterWeights[m];
        ClusterFit& fit = m_clusterFit[i];
        std::copy(kIdentity.begin(), kIdentity.end(), fit.rotStretch);
        fit.restCenter = m_restCenters[i];
    }
    m_velocityBefore.assign(n, vec3());
    m_volumeBlockSums.assign((m_tetNum + kVolumeBlockTets - 1) / kVolumeBlockTets, {0, 0, 0, 0});
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
    m_surfFaceNum = static_cast<int>(m_surfFaces.size());

    // Adjacency from the tetrahedra (even where the clusters use another stencil).
    std::vector<std::vector<int>> adjacent(n);
    for (const Tetra& t : tets)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) adjacent[t.vIdx[j]].push_back(t.vIdx[k]);
    for (std::vector<int>& list : adjacent) {
        std::sort(list.begin(), list.end());
        list.erase(std::unique(list.begin(), list.end()), list.end());
    }

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
            for (int a : adjacent[v])
                if (level[a] == k) parents.push_back(a);
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
}

void TLSMSimulator::resetSimulation() {
    std::fill(m_velocities.begin(), m_velocities.end(), vec3());
    std::fill(m_eigenFrames.begin(), m_eigenFrames.end(), kIdentity);
}

bool TLSMSimulator::stepSimulation(std::vector<vec3>& positions, const std::map<int, vec3>& fixedVerts,
                                   const std::set<int>& pinnedVerts, const std::vector<std::array<double, 9>>& stretch,
                                   double dt, int iterations) {
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
    std::copy(positions.begin(), positions.end(), m_curPos.begin());
    if (iterations < 1) std::copy(positions.begin(), positions.end(), m_goalPos.begin());

    if (omp_get_max_threads() > m_threadNum)
        for (int it = 0; it < iterations; ++it) diagPrintf("thread数の調整");
    const int threads = loopThreads();
    const bool parallel = threads > 1 && n >= kParallelVertices;
    m_stepThreads = 1;

    const int* clusterStart = m_clusterStart.data();
    const int* clusterVerts = m_clusterVerts.data();
    const double* clusterWeights = m_clusterWeights.data();
    const int* memberStart = m_vertexMemberStart.data();
    const int* memberCluster = m_vertexMemberCluster.data();
    const double* memberWeight = m_vertexMemberWeight.data();
    const vec3* restOffsets = m_weightedRestOffsets.data();
    const ClusterFit* clusterFit = m_clusterFit.data();

#pragma omp parallel num_threads(threads) if (parallel)
    {
#pragma omp master
        m_stepThreads = omp_get_num_threads();

        for (int it = 0; it < iterations; ++it) {
            // Fit every cluster: x_mean and A = sum w (r - c) x^T, B = M A, R from the polar
            // decomposition of B^T by a warm-started Jacobi eigen-decomposition of B B^T.
#pragma omp for schedule(static)
            for (int i = 0; i < n; ++i) {
                const int begin = clusterStart[i], end = clusterStart[i + 1];
                if (begin == end) continue;
                vec3 mean;
                double a[9] = {0, 0, 0, 0, 0, 0, 0, 0, 0};
                for (int m = begin; m < end; ++m) {
                    const vec3& x = m_curPos[clusterVerts[m]];
                    mean += clusterWeights[m] * x;
                    const vec3& d = restOffsets[m];
                    a[0] += d.x * x.x, a[1] += d.x * x.y, a[2] += d.x * x.z;
                    a[3] += d.y * x.x, a[4] += d.y * x.y, a[5] += d.y * x.z;
                    a[6] += d.z * x.x, a[7] += d.z * x.y, a[8] += d.z * x.z;
                }
                const double* stretchI = stretch[i].data();
                double b[9];
                mul3(stretchI, a, b);
                ClusterFit& fit = m_clusterFit[i];
                fit.mean = mean;
                double rot[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
                if (det3(b) > kMinClusterDet) polarRotation(b, m_eigenFrames[i].data(), rot);
                mul3(rot, stretchI, fit.rotStretch);
            }
            // Gather: every goal is the vertex-weighted mean of its clusters' predictions
            // R_i M_i (r_v - c_i) + x_mean_i, summed in ascending cluster order.
#pragma omp for schedule(static)
            for (int v = 0; v < n; ++v) {
                const int begin = memberStart[v], end = memberStart[v + 1];
                if (begin == end) {
                    m_goalPos[v] = m_curPos[v];
                    continue;
                }
                const vec3 rest = m_restPos[v];
                vec3 goal;
                for (int s = begin; s < end; ++s) {
                    const ClusterFit& fit = clusterFit[memberCluster[s]];
                    goal += memberWeight[s] * (mulVec(fit.rotStretch, rest - fit.restCenter) + fit.mean);
                }
                m_goalPos[v] = goal;
                m_curPos[v] = goal;
            }
        }
    }
    const auto matched = Clock::now();

    preserveVolume(m_goalPos);
    realignGoal(m_goalPos, positions);
    const auto corrected = Clock::now();

    for (TVertexConstraint& c : m_vtxConstraint) c = TVertexConstraint();
    for (const auto& [v, target] : fixedVerts)
        if (v >= 0 && v < n) {
            m_vtxConstraint[v].isFixed = true;
            m_vtxConstraint[v].target = target;
        }
    for (int v : pinnedVerts)
        if (v >= 0 && v < n) m_vtxConstraint[v].isPinned = true;

    const auto integrationStart = Clock::now();
    const double fixedGain = dt * kFixedGain;
#pragma omp parallel num_threads(threads) if (parallel)
    {
#pragma omp for schedule(static)
        for (int v = 0; v < n; ++v) {
            if (memberStart[v] == memberStart[v + 1]) {
                // No cluster holds this vertex: it keeps its place.
                m_velocityBefore[v] = vec3();
                continue;
            }
            const vec3 x = positions[v];
            vec3 vel = m_velocities[v] + (m_goalPos[v] - x) / dt;
            const TVertexConstraint& c = m_vtxConstraint[v];
            if (c.isFixed) vel += (c.target - x) * fixedGain;
            if (c.isPinned) vel = vec3();
            positions[v] = x + dt * vel;
            m_velocityBefore[v] = vel;
        }
        // Damping over each cluster from the velocities before this loop, so the result does not
        // depend on the order in which vertices are visited.
#pragma omp for schedule(static)
        for (int i = 0; i < n; ++i) {
            vec3 sum;
            for (int m = clusterStart[i]; m < clusterStart[i + 1]; ++m)
                sum += clusterWeights[m] * m_velocityBefore[clusterVerts[m]];
            m_velocities[i] = kDamping * (m_velocityBefore[i] + sum);
        }
    }
    const auto end = Clock::now();

    g_timing.nanoseconds[0] += nanosecondsBetween(start, matched);
    g_timing.nanoseconds[1] += nanosecondsBetween(matched, corrected);
    g_timing.nanoseconds[2] += nanosecondsBetween(integrationStart, end);
    m_phaseMs[0] = millisecondsBetween(start, matched);
    m_phaseMs[1] = millisecondsBetween(matched, corrected);
    m_phaseMs[2] = millisecondsBetween(integrationStart, end);
    return true;
}
