// VolumePreservation: the simulator's global corrections of the goal shape: a common offset along
// smoothed outward directions that restores the rest volume, then a rigid re-alignment (Jacobi
// polar decomposition of the cross-covariance) onto the shape at the start of the step.
#include "model/VolumePreservation.h"

#include <algorithm>
#include <omp.h>

#include <cmath>
#include <limits>

#include "linalg/Mat3.h"
#include "linalg/SmallAlgebra.h"
#include "model/ShapeMatchingKernels.h"
#include "model/TLSMSimulator.h"

namespace {

// Polynomial coefficients below this are taken as zero.
constexpr double kNegligibleCoefficient = 1e-8;
// A quadratic discriminant this close to zero gives the double root.
constexpr double kQuadraticDoubleRoot = 1e-10;
// A cubic discriminant this close to zero gives the double-root case.
constexpr double kCubicDoubleRoot = 1e-11;
// 2 pi / 3.
constexpr double kThirdTurn = 2.0943951023931935;

// Re-alignment: cross-covariances with det <= this give a pure translation.
constexpr double kMinCovarianceDet = 1e-7;
constexpr double kAlignJacobiTolerance = 1e-5;
constexpr int kAlignJacobiRotations = 20;
// det K above kMinCovarianceDet keeps every eigenvalue of K^T K positive; this floor only guards
// the square roots.
constexpr double kMinCovarianceEigenvalue = std::numeric_limits<double>::min();

bool solveQuadratic(double a2, double a1, double a0, double& s) {
    const double d = a1 * a1 - 4.0 * a2 * a0;
    if (d < 0.0) return false;
    if (std::fabs(d) <= kQuadraticDoubleRoot) {
        s = -a1 / (2.0 * a2);
        return true;
    }
    const double root = std::sqrt(d);
    const double r0 = (-a1 - root) / (2.0 * a2);
    const double r1 = (-a1 + root) / (2.0 * a2);
    s = std::fabs(r1) < std::fabs(r0) ? r1 : r0;
    return true;
}

// s^3 + b2 s^2 + b1 s + b0 = 0 through the depressed cubic t^3 + P t + Q = 0, s = t - b2 / 3.
bool solveMonicCubic(double b2, double b1, double b0, double& s) {
    const double p = b1 - b2 * b2 / 3.0;
    const double q = b0 - b2 * b1 / 3.0 + 2.0 * b2 * b2 * b2 / 27.0;
    const double delta = p * p * p / 27.0 + q * q / 4.0;
    const double shift = b2 / 3.0;
    if (delta < 0.0) {
        // Three real roots (trigonometric form).
        const double rho = std::sqrt(-delta + q * q / 4.0);
        const double phi = std::atan2(std::sqrt(-delta) / rho, -q / (2.0 * rho));
        const double scale = 2.0 * std::cbrt(rho);
        const double r0 = scale * std::cos(phi / 3.0) - shift;
        const double r1 = scale * std::cos(phi / 3.0 + kThirdTurn) - shift;
        const double r2 = scale * std::cos(phi / 3.0 - kThirdTurn) - shift;
        const double m0 = std::fabs(r0), m1 = std::fabs(r1), m2 = std::fabs(r2);
        if (m1 > m0 && m0 < m2)
            s = r0;
        else if (m1 < m0 && m1 < m2)
            s = r1;
        else
            s = r2;
        return true;
    }
    if (std::fabs(delta) <= kCubicDoubleRoot) {
        const double u = std::cbrt(-q / 2.0);
        const double r0 = 2.0 * u - shift;
        const double r1 = -u - shift;
        s = std::fabs(r1) <= std::fabs(r0) ? r1 : r0;
        return true;
    }
    if (delta > 0.0) {
        const double root = std::sqrt(delta);
        s = std::cbrt(-q / 2.0 + root) + std::cbrt(-q / 2.0 - root) - shift;
        return true;
    }
    return false;  // not a number
}

}  // namespace

bool solveVolumeOffset(double a3, double a2, double a1, double a0, double& s) {
    const bool noCubic = std::fabs(a3) < kNegligibleCoefficient;
    const bool noQuadratic = std::fabs(a2) < kNegligibleCoefficient;
    const bool noLinear = std::fabs(a1) < kNegligibleCoefficient;
    if (noCubic && noQuadratic && noLinear) return false;
    if (noCubic && noQuadratic) {
        s = -a0 / a1;
        return true;
    }
    if (noCubic) return solveQuadratic(a2, a1, a0, s);
    return solveMonicCubic(a2 / a3, a1 / a3, a0 / a3, s);
}

void TLSMSimulator::buildVolumeTets(const std::vector<Tetra>& tets) {
    // The signed volume of a tetrahedron is the sum of its four faces' triple products, oriented
    // outwards; where every inner face meets its neighbour's with the opposite orientation, those
    // two cancel, and the tetrahedra's total is the boundary triangles' sum. Each triangle then
    // counts as a tetrahedron with a common apex, which adds nothing more (a point's triple
    // product with a closed surface is the enclosed volume wherever the point lies).
    const int count = static_cast<int>(tets.size());
    bool paired = !m_surfFaces.empty();
    for (int t = 0; t < count && paired; ++t) {
        const Tetra& tet = tets[t];
        for (int a = 0; a < 4 && paired; ++a)
            for (int b = a + 1; b < 4; ++b) paired = paired && tet.vIdx[a] != tet.vIdx[b];
        for (int k = 0; k < 4 && paired; ++k) {
            const int u = tet.nbr[k];
            if (u == -1) continue;
            if (u < 0 || u >= count || u == t) {
                paired = false;
                break;
            }
            // Face k of t, outward, against the face of u across it (opposite u's one corner
            // outside face k): the same corners, the opposite turn, and u naming t as its
            // neighbour there.
            int face[3];
            for (int c = 0; c < 3; ++c) face[c] = tet.vIdx[kFaceCornersOutward[k][c]];
            const Tetra& other = tets[u];
            int j = -1, outside = 0;
            for (int c = 0; c < 4; ++c)
                if (other.vIdx[c] != face[0] && other.vIdx[c] != face[1] && other.vIdx[c] != face[2]) j = c, ++outside;
            bool matched = outside == 1 && other.nbr[j] == t;
            if (matched) {
                int turned[3];
                for (int c = 0; c < 3; ++c) turned[c] = other.vIdx[kFaceCornersOutward[j][c]];
                matched = false;
                for (int r = 0; r < 3 && !matched; ++r)
                    matched = turned[r] == face[0] && turned[(r + 1) % 3] == face[2] && turned[(r + 2) % 3] == face[1];
            }
            paired = matched;
        }
    }
    m_volumeFromBoundary = paired;
    if (paired) {
        // The apex: the boundary vertex nearest the rest centroid, which keeps the triple
        // products as small as the shape allows.
        vec3 centroid;
        for (const vec3& p : m_restPos) centroid += p;
        centroid /= static_cast<double>(m_vtxNum);
        int apex = m_surfFaces.front()[0];
        double apexDistance = (m_restPos[apex] - centroid).norm();
        for (const auto& f : m_surfFaces)
            for (int v : f) {
                const double distance = (m_restPos[v] - centroid).norm();
                if (distance < apexDistance) apex = v, apexDistance = distance;
            }
        m_volumeTets.resize(m_surfFaces.size());
        for (size_t f = 0; f < m_surfFaces.size(); ++f)
            m_volumeTets[f] = {apex, m_surfFaces[f][0], m_surfFaces[f][1], m_surfFaces[f][2]};
        m_volumeBlockTets = kVolumeBlockFaces;
    } else {
        m_volumeTets.clear();
        m_volumeBlockTets = kVolumeBlockTets;
    }
    const int volumeTets = static_cast<int>(volumeTetrahedra().size());
    m_volumeBlockSums.assign((volumeTets + m_volumeBlockTets - 1) / m_volumeBlockTets, {0, 0, 0, 0});
}

void TLSMSimulator::preserveVolume(std::vector<vec3>& goal) {
    const int n = m_vtxNum;
    if (static_cast<int>(goal.size()) != n || n == 0) return;
    std::vector<vec3>& dir = m_inflateDir;
    const int faces = surfFaceCount();
    const int levels = static_cast<int>(m_layerLevelStart.size()) - 1;

#pragma omp parallel num_threads(loopThreads()) if (n >= kParallelVertices)
    {
        // Area-weighted outward normals at the surface, each vertex summing its faces in
        // ascending order.
#pragma omp for schedule(static)
        for (int f = 0; f < faces; ++f) {
            const auto& t = m_surfFaces[f];
            m_faceNormals[f] = (goal[t[1]] - goal[t[0]]).cross(goal[t[2]] - goal[t[0]]);
        }
#pragma omp for schedule(static)
        for (int v = 0; v < n; ++v) {
            vec3 sum;
            for (int k = m_vertexFaceStart[v]; k < m_vertexFaceStart[v + 1]; ++k) sum += m_faceNormals[m_vertexFaces[k]];
            dir[v] = sum;
        }
        // Unit at the surface, then carried inwards level by level as the mean of the parents
        // (which all lie in the level before).
        for (int level = 0; level < levels; ++level) {
#pragma omp for schedule(static)
            for (int e = m_layerLevelStart[level]; e < m_layerLevelStart[level + 1]; ++e) {
                const int* entry = m_layers.data() + m_layerEntryStart[e];
                const int v = entry[0], parentCount = entry[1];
                const int* parents = entry + 2;
                if (parentCount == 0) {
                    const double len = dir[v].norm();
                    if (len != 0.0) dir[v] /= len;
                } else {
                    vec3 sum;
                    for (int p = 0; p < parentCount; ++p) sum += dir[parents[p]];
                    dir[v] = sum / static_cast<double>(parentCount);
                }
            }
        }
    }

    // V(s) = sum over tetrahedra of (1/6) (e1 + s d1) . ((e2 + s d2) x (e3 + s d3)) with
    // e_k = g_k - g_0 and d_k = n_k - n_0, expanded into powers of s in one pass over fixed
    // blocks of the volume's tetrahedra (the mesh's, or the boundary triangles with their apex).
    const int blocks = static_cast<int>(m_volumeBlockSums.size());
    static const int kNoTet[4] = {0, 0, 0, 0};
    const std::vector<std::array<int, 4>>& volumeTets = volumeTetrahedra();
    VolumeCubicArrays arrays;
    arrays.tetVerts = volumeTets.empty() ? kNoTet : volumeTets.front().data();
    arrays.tetCount = static_cast<int>(volumeTets.size());
    arrays.blockTets = m_volumeBlockTets;
    arrays.blockCount = blocks;
    arrays.goal = goal.data();
    arrays.direction = dir.data();
    arrays.noTet = kNoTet;
    arrays.sums = m_volumeBlockSums.data();
    const ShapeMatchingKernels& kernels = *m_kernels;
    const int groups = (blocks + kClusterLanes - 1) / kClusterLanes;
#pragma omp parallel num_threads(loopThreads()) if (groups >= 2)
    {
        const int team = omp_get_num_threads(), me = omp_get_thread_num();
        kernels.volumeCubicBlocks(arrays, groups * me / team, groups * (me + 1) / team);
    }
    double c3 = 0.0, c2 = 0.0, c1 = 0.0, c0 = 0.0;
    for (int block = 0; block < blocks; ++block) {
        c3 += m_volumeBlockSums[block][0];
        c2 += m_volumeBlockSums[block][1];
        c1 += m_volumeBlockSums[block][2];
        c0 += m_volumeBlockSums[block][3];
    }
    const double a3 = c3 / 6.0, a2 = c2 / 6.0, a1 = c1 / 6.0, a0 = c0 / 6.0 - m_restVolume;

    double s = 0.0;
    if (!solveVolumeOffset(a3, a2, a1, a0, s) || !std::isfinite(s)) return;
#pragma omp parallel for schedule(static) num_threads(loopThreads()) if (n >= kParallelVertices)
    for (int v = 0; v < n; ++v) goal[v] += s * dir[v];
}

void TLSMSimulator::realignGoal(std::vector<vec3>& goal, const std::vector<vec3>& start) {
    const int n = m_vtxNum;
    if (static_cast<int>(goal.size()) != n || static_cast<int>(start.size()) != n) return;
    const int* memberStart = m_vertexMemberStart.data();
    auto active = [&](int v) { return memberStart[v] != memberStart[v + 1]; };
    const int blocks = static_cast<int>(m_realignMeanSums.size());
    auto blockEnd = [&](int b) { return std::min(n, (b + 1) * kRealignBlockVertices); };

    // The sums run over fixed blocks of vertices and the blocks' sums are added in block order,
    // so the result does not depend on the thread count.
    vec3 goalMean, startMean;
    int count = 0;
    Mat3 rot = kIdentity3;
#pragma omp parallel num_threads(loopThreads()) if (n >= kParallelVertices)
    {
#pragma omp for schedule(static)
        for (int b = 0; b < blocks; ++b) {
            vec3 g, x;
            int c = 0;
            for (int v = b * kRealignBlockVertices; v < blockEnd(b); ++v)
                if (active(v)) {
                    g += goal[v];
                    x += start[v];
                    ++c;
                }
            m_realignMeanSums[b] = {g.x, g.y, g.z, x.x, x.y, x.z, static_cast<double>(c)};
        }
#pragma omp single
        {
            for (int b = 0; b < blocks; ++b) {
                const auto& sums = m_realignMeanSums[b];
                goalMean += vec3(sums[0], sums[1], sums[2]);
                startMean += vec3(sums[3], sums[4], sums[5]);
                count += static_cast<int>(sums[6]);
            }
            if (count > 0) {
                goalMean /= static_cast<double>(count);
                startMean /= static_cast<double>(count);
            }
        }
        if (count > 0) {
            // K = sum (x - c_x)(g - c_g)^T: row = start component, column = goal component.
#pragma omp for schedule(static)
            for (int b = 0; b < blocks; ++b) {
                Mat3 k = {0, 0, 0, 0, 0, 0, 0, 0, 0};
                for (int v = b * kRealignBlockVertices; v < blockEnd(b); ++v) {
                    if (!active(v)) continue;
                    const vec3 x = start[v] - startMean, g = goal[v] - goalMean;
                    for (int r = 0; r < 3; ++r)
                        for (int c = 0; c < 3; ++c) k[3 * r + c] += x[r] * g[c];
                }
                m_realignCovarianceSums[b] = k;
            }
#pragma omp single
            {
                Mat3 k = {0, 0, 0, 0, 0, 0, 0, 0, 0};
                for (int b = 0; b < blocks; ++b)
                    for (int e = 0; e < 9; ++e) k[e] += m_realignCovarianceSums[b][e];
                // Polar decomposition K = R S, S = (K^T K)^(1/2), from the identity (no warm
                // start): the decomposition of B^T with B = K^T.
                if (det(k) > kMinCovarianceDet) {
                    Mat3 frame = kIdentity3;
                    polarRotation(transpose(k), frame, rot,
                                  {kAlignJacobiTolerance, kAlignJacobiRotations, kMinCovarianceEigenvalue});
                }
            }
#pragma omp for schedule(static)
            for (int v = 0; v < n; ++v) {
                if (!active(v)) continue;
                goal[v] = mul(rot, goal[v] - goalMean) + startMean;
            }
        }
    }
}
