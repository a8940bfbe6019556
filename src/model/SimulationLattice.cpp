// SimulationLattice: embedding of the fine mesh in the lattice, the carry of the driving fields
// and the placement of the fine vertices.
#include "model/SimulationLattice.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "mesh/TTetMesh.h"

namespace {

LatticeMeshBuilder& builderSlot() {
    static LatticeMeshBuilder builder;
    return builder;
}

// Below this many fine vertices the loops over them run on the calling thread.
constexpr int kParallelFine = 4096;
// A barycentric weight this far below 0 still counts as inside (rounding on a shared face).
constexpr double kInsideTolerance = 1e-10;
// Most cells a side of the location grid gets.
constexpr int kMaxGridCells = 256;

void fnvBytes(std::uint64_t& hash, const void* data, size_t bytes) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < bytes; ++i) {
        hash ^= p[i];
        hash *= 0x100000001b3ULL;
    }
}

/// Barycentric weights of p in the tetrahedron (a, b, c, d) of six times signed volume vol6.
std::array<double, 4> barycentric(const vec3& p, const vec3& a, const vec3& b, const vec3& c, const vec3& d,
                                  double vol6) {
    return {signedVolume6(p, b, c, d) / vol6, signedVolume6(a, p, c, d) / vol6, signedVolume6(a, b, p, d) / vol6,
            signedVolume6(a, b, c, p) / vol6};
}

/// The weights clamped to [0, 1] and summing to 1.
std::array<double, 4> clampedWeights(std::array<double, 4> w) {
    double sum = 0.0;
    for (double& x : w) {
        x = std::clamp(x, 0.0, 1.0);
        sum += x;
    }
    if (!(sum > 0.0)) return {0.25, 0.25, 0.25, 0.25};
    for (double& x : w) x /= sum;
    return w;
}

/// Uniform grid over the lattice tetrahedra's bounding boxes: each cell lists the tetrahedra
/// whose box overlaps it, ascending.
struct TetGrid {
    vec3 origin;
    double cell = 1.0;
    int dims[3] = {1, 1, 1};
    std::vector<int> start, tets;

    void cellOf(const vec3& p, int c[3]) const {
        for (int a = 0; a < 3; ++a)
            c[a] = std::clamp(static_cast<int>(std::floor((p[a] - origin[a]) / cell)), 0, dims[a] - 1);
    }
    int index(int x, int y, int z) const { return (z * dims[1] + y) * dims[0] + x; }

    void build(const std::vector<vec3>& pos, const std::vector<Tetra>& lattice) {
        vec3 lo(std::numeric_limits<double>::max(), std::numeric_limits<double>::max(),
                std::numeric_limits<double>::max());
        vec3 hi = -lo;
        for (const vec3& p : pos)
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min(lo[a], p[a]);
                hi[a] = std::max(hi[a], p[a]);
            }
        const vec3 extent = hi - lo;
        const double volume = std::max(extent.x, 1e-300) * std::max(extent.y, 1e-300) * std::max(extent.z, 1e-300);
        cell = std::cbrt(volume / std::max<size_t>(1, lattice.size()));
        const double largest = std::max({extent.x, extent.y, extent.z});
        cell = std::max({cell, largest / kMaxGridCells, 1e-300});
        origin = lo;
        for (int a = 0; a < 3; ++a)
            dims[a] = std::clamp(static_cast<int>(std::ceil(extent[a] / cell)), 1, kMaxGridCells);
        const size_t cells = static_cast<size_t>(dims[0]) * dims[1] * dims[2];
        start.assign(cells + 1, 0);
        // Two passes (count, fill) over the same boxes.
        for (int pass = 0; pass < 2; ++pass) {
            std::vector<int> fill;
            if (pass == 1) {
                for (size_t c = 0; c < cells; ++c) start[c + 1] += start[c];
                tets.resize(start[cells]);
                fill.assign(start.begin(), start.end() - 1);
            }
            for (size_t t = 0; t < lattice.size(); ++t) {
                vec3 a = pos[lattice[t].vIdx[0]], b = a;
                for (int k = 1; k < 4; ++k)
                    for (int x = 0; x < 3; ++x) {
                        a[x] = std::min(a[x], pos[lattice[t].vIdx[k]][x]);
                        b[x] = std::max(b[x], pos[lattice[t].vIdx[k]][x]);
                    }
                int c0[3], c1[3];
                cellOf(a, c0);
                cellOf(b, c1);
                for (int z = c0[2]; z <= c1[2]; ++z)
                    for (int y = c0[1]; y <= c1[1]; ++y)
                        for (int x = c0[0]; x <= c1[0]; ++x) {
                            if (pass == 0)
                                ++start[index(x, y, z) + 1];
                            else
                                tets[fill[index(x, y, z)]++] = static_cast<int>(t);
                        }
            }
        }
    }
};

}  // namespace

void setLatticeMeshBuilder(LatticeMeshBuilder builder) { builderSlot() = std::move(builder); }

const LatticeMeshBuilder& latticeMeshBuilder() { return builderSlot(); }

std::uint64_t fineMeshChecksum(const std::vector<vec3>& restPositions, const std::vector<Tetra>& tets) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    const std::uint64_t counts[2] = {restPositions.size(), tets.size()};
    fnvBytes(hash, counts, sizeof counts);
    for (const vec3& p : restPositions) {
        const double xyz[3] = {p.x, p.y, p.z};
        fnvBytes(hash, xyz, sizeof xyz);
    }
    for (const Tetra& t : tets) fnvBytes(hash, t.vIdx, sizeof t.vIdx);
    return hash;
}

bool SimulationLattice::build(const std::vector<vec3>& latticePositions,
                              const std::vector<std::array<int, 4>>& latticeTets, const std::vector<vec3>& fineRest,
                              const std::vector<Tetra>& fineTets, std::string& reason) {
    const int n = static_cast<int>(latticePositions.size());
    if (n == 0 || latticeTets.empty()) {
        reason = "the lattice mesh is empty";
        return false;
    }
    TTetMesh mesh;
    mesh.m_verts = latticePositions;
    mesh.m_tets.reserve(latticeTets.size());
    for (const auto& t : latticeTets) {
        for (int v : t)
            if (v < 0 || v >= n) {
                reason = "the lattice mesh has a corner index out of range";
                return false;
            }
        mesh.m_tets.push_back(makeTetra(t[0], t[1], t[2], t[3]));
    }
    calcNeighbor(mesh);
    m_restPositions = latticePositions;
    m_tets = std::move(mesh.m_tets);
    m_positions = m_restPositions;

    m_neighbourhoods.assign(n, {});
    for (const Tetra& t : m_tets)
        for (int j = 0; j < 4; ++j)
            for (int k = 0; k < 4; ++k) m_neighbourhoods[t.vIdx[j]].push_back(t.vIdx[k]);
    for (std::vector<int>& list : m_neighbourhoods) {
        std::sort(list.begin(), list.end());
        list.erase(std::unique(list.begin(), list.end()), list.end());
    }

    // Six times each lattice tetrahedron's volume, for the barycentric weights.
    std::vector<double> vol6(m_tets.size());
    for (size_t t = 0; t < m_tets.size(); ++t) {
        const int* c = m_tets[t].vIdx;
        vol6[t] =
            signedVolume6(m_restPositions[c[0]], m_restPositions[c[1]], m_restPositions[c[2]], m_restPositions[c[3]]);
    }
    TetGrid grid;
    grid.build(m_restPositions, m_tets);

    const int fineCount = static_cast<int>(fineRest.size());
    m_embedding.assign(fineCount, LatticeEmbedding());
    std::vector<char> outside(fineCount, 0);
    auto weightsIn = [&](const vec3& p, int t) {
        const int* c = m_tets[t].vIdx;
        return barycentric(p, m_restPositions[c[0]], m_restPositions[c[1]], m_restPositions[c[2]],
                           m_restPositions[c[3]], vol6[t]);
    };
    // Each fine vertex on its own: any thread count gives the same embedding.
#pragma omp parallel for schedule(dynamic, 1024) if (fineCount >= kParallelFine)
    for (int i = 0; i < fineCount; ++i) {
        const vec3& p = fineRest[i];
        int c[3];
        grid.cellOf(p, c);
        const int cellIndex = grid.index(c[0], c[1], c[2]);
        int best = -1;
        double bestMin = -std::numeric_limits<double>::max();
        std::array<double, 4> bestWeights{};
        for (int k = grid.start[cellIndex]; k < grid.start[cellIndex + 1]; ++k) {
            const int t = grid.tets[k];
            if (!(vol6[t] > 0.0)) continue;
            const std::array<double, 4> w = weightsIn(p, t);
            const double smallest = std::min({w[0], w[1], w[2], w[3]});
            if (smallest > bestMin) {
                bestMin = smallest;
                best = t;
                bestWeights = w;
            }
        }
        if (best >= 0 && bestMin >= -kInsideTolerance) {
            m_embedding[i].tet = best;
            m_embedding[i].weights = clampedWeights(bestWeights);
            continue;
        }
        // Outside every tetrahedron: the nearest by the distance to its clamped point, searched
        // ring by ring until no farther ring can hold a nearer one.
        outside[i] = 1;
        double bestDistance = std::numeric_limits<double>::max();
        best = -1;
        const int maxRing = std::max({grid.dims[0], grid.dims[1], grid.dims[2]});
        for (int ring = 0; ring <= maxRing; ++ring) {
            if (best >= 0 && (ring - 1) * grid.cell > std::sqrt(bestDistance)) break;
            for (int z = c[2] - ring; z <= c[2] + ring; ++z)
                for (int y = c[1] - ring; y <= c[1] + ring; ++y)
                    for (int x = c[0] - ring; x <= c[0] + ring; ++x) {
                        if (std::max({std::abs(x - c[0]), std::abs(y - c[1]), std::abs(z - c[2])}) != ring) continue;
                        if (x < 0 || y < 0 || z < 0 || x >= grid.dims[0] || y >= grid.dims[1] || z >= grid.dims[2])
                            continue;
                        const int cellAt = grid.index(x, y, z);
                        for (int k = grid.start[cellAt]; k < grid.start[cellAt + 1]; ++k) {
                            const int t = grid.tets[k];
                            if (!(vol6[t] > 0.0)) continue;
                            const std::array<double, 4> w = clampedWeights(weightsIn(p, t));
                            const int* cc = m_tets[t].vIdx;
                            const vec3 q = m_restPositions[cc[0]] * w[0] + m_restPositions[cc[1]] * w[1] +
                                           m_restPositions[cc[2]] * w[2] + m_restPositions[cc[3]] * w[3];
                            const double d = (q - p).dot(q - p);
                            if (d < bestDistance || (d == bestDistance && t < best)) {
                                bestDistance = d;
                                best = t;
                                bestWeights = w;
                            }
                        }
                    }
        }
        if (best < 0) {  // only tetrahedra without volume: the first one
            best = 0;
            bestWeights = {0.25, 0.25, 0.25, 0.25};
        }
        m_embedding[i].tet = best;
        m_embedding[i].weights = bestWeights;
    }
    for (LatticeEmbedding& e : m_embedding)
        for (int k = 0; k < 4; ++k) e.corners[k] = m_tets[e.tet].vIdx[k];
    m_outsideCount = static_cast<int>(std::count(outside.begin(), outside.end(), 1));
    buildCarryTable(fineRest, fineTets);
    m_fieldsCarried = false;
    m_fieldSlices.clear();
    return true;
}

void SimulationLattice::buildCarryTable(const std::vector<vec3>& fineRest, const std::vector<Tetra>& fineTets) {
    const int fineCount = static_cast<int>(fineRest.size());
    const int n = vertexCount();
    // Lumped volume of each fine vertex: a quarter of each of its tetrahedra.
    std::vector<double> lumped(fineCount, 0.0);
    for (const Tetra& t : fineTets) {
        const double quarter = std::fabs(signedVolume6(fineRest[t.vIdx[0]], fineRest[t.vIdx[1]], fineRest[t.vIdx[2]],
                                                       fineRest[t.vIdx[3]])) /
                               24.0;
        for (int v : t.vIdx) lumped[v] += quarter;
    }
    m_heaviestCorner.assign(fineCount, 0);
    m_carryStart.assign(n + 1, 0);
    for (int i = 0; i < fineCount; ++i) {
        const LatticeEmbedding& e = m_embedding[i];
        int heaviest = 0;
        for (int k = 0; k < 4; ++k) {
            if (e.weights[k] > e.weights[heaviest]) heaviest = k;
            if (e.weights[k] > 0.0) ++m_carryStart[m_tets[e.tet].vIdx[k] + 1];
        }
        m_heaviestCorner[i] = m_tets[e.tet].vIdx[heaviest];
    }
    for (int v = 0; v < n; ++v) m_carryStart[v + 1] += m_carryStart[v];
    m_carryFine.resize(m_carryStart[n]);
    m_carryWeight.resize(m_carryStart[n]);
    std::vector<int> fill(m_carryStart.begin(), m_carryStart.end() - 1);
    for (int i = 0; i < fineCount; ++i) {
        const LatticeEmbedding& e = m_embedding[i];
        // A fine vertex of no tetrahedron still counts a little, so that its lattice vertex gets a value.
        const double volume = lumped[i] > 0.0 ? lumped[i] : 1e-300;
        for (int k = 0; k < 4; ++k)
            if (e.weights[k] > 0.0) {
                const int slot = fill[m_tets[e.tet].vIdx[k]]++;
                m_carryFine[slot] = i;
                m_carryWeight[slot] = e.weights[k] * volume;
            }
    }
}

void SimulationLattice::carryFields(const std::vector<double>& phase, const std::vector<double>& amplitude,
                                    const std::vector<int16_t>& labels, const std::vector<TVertexFrame>& frames) {
    const int n = vertexCount();
    std::vector<TVertexFrame> carriedFrames(n);
    m_phase.assign(n, 0.0);
    m_amplitude.assign(n, 0.0);
    m_labels.assign(n, 0);
    std::vector<char> filled(n, 0);
#pragma omp parallel for schedule(static) if (n >= kParallelVertices)
    for (int v = 0; v < n; ++v) {
        const int begin = m_carryStart[v], end = m_carryStart[v + 1];
        if (begin == end) continue;
        double sum = 0.0, sumPhase = 0.0, sumAmplitude = 0.0;
        // Weighted majority of the labels: the few distinct ones a star holds.
        int16_t labelValue[8];
        double labelWeight[8];
        int labelCount = 0;
        int heaviest = begin;
        for (int k = begin; k < end; ++k) {
            const int i = m_carryFine[k];
            const double w = m_carryWeight[k];
            sum += w;
            sumPhase += w * phase[i];
            sumAmplitude += w * amplitude[i];
            if (w > m_carryWeight[heaviest]) heaviest = k;
            int slot = 0;
            while (slot < labelCount && labelValue[slot] != labels[i]) ++slot;
            if (slot == labelCount && labelCount < 8) {
                labelValue[labelCount] = labels[i];
                labelWeight[labelCount++] = 0.0;
            }
            if (slot < labelCount) labelWeight[slot] += w;
        }
        m_phase[v] = sumPhase / sum;
        m_amplitude[v] = sumAmplitude / sum;
        int best = 0;
        for (int s = 1; s < labelCount; ++s)
            if (labelWeight[s] > labelWeight[best]) best = s;
        m_labels[v] = labelValue[best];
        // Fibre and depth directions are lines, not arrows: each is turned to agree with the
        // heaviest member's before it is summed.
        const TVertexFrame& reference = frames[m_carryFine[heaviest]];
        vec3 fibre(0, 0, 0), depth(0, 0, 0);
        for (int k = begin; k < end; ++k) {
            const TVertexFrame& f = frames[m_carryFine[k]];
            const double w = m_carryWeight[k];
            fibre += f.m_primaryDir * (f.m_primaryDir.dot(reference.m_primaryDir) < 0.0 ? -w : w);
            depth += f.m_depthDir * (f.m_depthDir.dot(reference.m_depthDir) < 0.0 ? -w : w);
        }
        TVertexFrame frame = reference;
        const double depthLength = depth.norm();
        if (depthLength > 1e-12) {
            depth /= depthLength;
            fibre -= depth * depth.dot(fibre);
            const double fibreLength = fibre.norm();
            if (fibreLength > 1e-12)
                frame = TVertexFrame{fibre / fibreLength, depth, (fibre / fibreLength).cross(depth)};
        }
        carriedFrames[v] = frame;
        filled[v] = 1;
    }
    // A lattice vertex whose star holds no fine vertex takes its neighbours' values, pass by pass
    // (each pass reads only the previous passes' results).
    for (bool missing = true; missing;) {
        missing = false;
        std::vector<char> next = filled;
        bool progressed = false;
        for (int v = 0; v < n; ++v) {
            if (filled[v]) continue;
            double sumPhase = 0.0, sumAmplitude = 0.0;
            int count = 0, first = -1;
            for (int u : m_neighbourhoods[v])
                if (filled[u]) {
                    sumPhase += m_phase[u];
                    sumAmplitude += m_amplitude[u];
                    if (first < 0) first = u;
                    ++count;
                }
            if (count == 0) {
                missing = true;
                continue;
            }
            m_phase[v] = sumPhase / count;
            m_amplitude[v] = sumAmplitude / count;
            m_labels[v] = m_labels[first];
            carriedFrames[v] = carriedFrames[first];
            next[v] = 1;
            progressed = true;
        }
        filled.swap(next);
        if (!progressed) break;  // a part of the lattice without any fine vertex keeps the defaults
    }

    bool framesChanged = carriedFrames.size() != m_frames.size() || m_simulator.vertexCount() != n;
    for (int v = 0; v < n && !framesChanged; ++v)
        framesChanged = std::memcmp(&carriedFrames[v].m_primaryDir, &m_frames[v].m_primaryDir, sizeof(vec3)) != 0;
    m_frames = std::move(carriedFrames);
    if (framesChanged) {
        // The members' weights follow the fibre directions, so the simulator is set up again, as
        // the fine mesh's is when its frames change.
        m_simulator.initSimulator(m_restPositions, m_tets, m_neighbourhoods, m_frames);
    }
    m_contraction.assign(n, vec3(1, 1, 1));
    m_stretch.assign(n, {1, 0, 0, 0, 1, 0, 0, 0, 1});
    m_fieldsCarried = true;
}

void SimulationLattice::carryHeldVertices(const std::vector<vec3>& fineRest, const std::map<int, vec3>& fineFixed,
                                          const std::set<int>& finePinned) {
    m_fixed.clear();
    m_pinned.clear();
    const int fineCount = static_cast<int>(m_heaviestCorner.size());
    for (const auto& [i, target] : fineFixed) {
        if (i < 0 || i >= fineCount) continue;
        const int v = m_heaviestCorner[i];
        m_fixed.emplace(v, target + (m_restPositions[v] - fineRest[i]));
    }
    for (int i : finePinned)
        if (i >= 0 && i < fineCount) m_pinned.insert(m_heaviestCorner[i]);
}

void SimulationLattice::placeFineVertices(const std::vector<vec3>& fineRest, std::vector<vec3>& finePositions,
                                          int threads) const {
    const int fineCount = static_cast<int>(m_embedding.size());
    const int n = vertexCount();
    finePositions.resize(fineCount);
    // The lattice's displacements first: a small array the fine loop gathers from.
    m_displacement.resize(n);
    for (int v = 0; v < n; ++v) m_displacement[v] = m_positions[v] - m_restPositions[v];
#pragma omp parallel for schedule(static) num_threads(std::max(1, threads)) if (fineCount >= kParallelFine)
    for (int i = 0; i < fineCount; ++i) {
        const LatticeEmbedding& e = m_embedding[i];
        vec3 p = fineRest[i];
        for (int k = 0; k < 4; ++k) p += m_displacement[e.corners[k]] * e.weights[k];
        finePositions[i] = p;
    }
}

void SimulationLattice::reset() {
    m_positions = m_restPositions;
    m_fixed.clear();
    m_pinned.clear();
    m_simulator.resetSimulation();
}
