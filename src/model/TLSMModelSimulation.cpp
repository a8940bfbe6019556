// TLSMModel: the per-tick update (contraction factors, stretch tensors, simulator step, surface)
// and the simulation reset.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "linalg/Diagnostics.h"
#include "model/Autosave.h"
#include "model/TLSMModel.h"

namespace {

constexpr int16_t kLabelVentricle = 1;
constexpr int16_t kLabelAtrium = 2;
constexpr int kTableSize = 100;

// Fibre factors below this (a chart level times the amplitude at or above 1) would make the
// cross-fibre factors 1/sqrt(c) infinite or not a number and wreck every position; the element
// is held at 99 % contraction instead.
constexpr double kMinFibreFactor = 0.01;
// A large negative amplitude (a project file may hold one) stretches without bound in the same
// way; the element is held at a hundredfold stretch.
constexpr double kMaxFibreFactor = 100.0;

/// The fibre factor held within the usable range (a NaN counts as full contraction).
double usableFibreFactor(double c) {
    if (!(c >= kMinFibreFactor)) return kMinFibreFactor;
    return std::min(c, kMaxFibreFactor);
}

/// Table index of the propagated cycle fraction u = t - phase * waves, wrapped into (0, 1]
/// (an exact 0 becomes 1) and clamped to the table.
int propagationIndex(double t, double phase, double waves) {
    double u = t - phase * waves;
    if (u <= 0.0)
        u = u + 1.0 - std::trunc(u);
    else
        u = u - std::trunc(u);
    const double index = std::trunc(u * kTableSize);
    if (!(index >= 0.0)) return 0;
    if (index > kTableSize - 1) return kTableSize - 1;
    return static_cast<int>(index);
}

/// (c, 1/sqrt c, 1/sqrt c) for a chart level, with c held at the smallest usable fibre factor;
/// the ventricles' cross-fibre factors follow the exponent k.
vec3 globalFactors(const TChart& chart, double t, double amplitude, double k) {
    const double c = usableFibreFactor(1.0 - evalChart(chart, t) * amplitude);
    return ventricularFactors(c, k);
}

vec3 tableFactors(const std::array<vec3, 100>& table, int index, double k) {
    const vec3& entry = table[index];
    if (entry.x >= kMinFibreFactor && entry.x <= kMaxFibreFactor && std::isfinite(entry.y) && std::isfinite(entry.z))
        return entry;
    return ventricularFactors(usableFibreFactor(entry.x), k);
}

vec3 scaledByAmplitude(const vec3& c, double h) {
    return {(c.x - 1.0) * h + 1.0, (c.y - 1.0) * h + 1.0, (c.z - 1.0) * h + 1.0};
}

// The lattice notices edits of the fine fields by itself: each tick it fingerprints one of this
// many slices of the fine vertices and compares it with the slice as last carried.
constexpr int kFieldSlices = 16;

std::uint64_t mixWord(std::uint64_t hash, std::uint64_t word) {
    hash = (hash ^ word) * 0x9E3779B97F4A7C15ULL;
    return hash ^ (hash >> 29);
}

std::uint64_t doubleBits(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

std::uint64_t vecBits(std::uint64_t hash, const vec3& v) {
    return mixWord(mixWord(mixWord(hash, doubleBits(v.x)), doubleBits(v.y)), doubleBits(v.z));
}

/// Fingerprint of slice s (of kFieldSlices) of the fields that drive the step, and of the rest
/// positions the embedding was made for.
void fingerprintSlice(const TLSMModel& model, int s, std::uint64_t& fields, std::uint64_t& rest) {
    const size_t n = model.m_verts.size();
    const size_t begin = n * s / kFieldSlices, end = n * (s + 1) / kFieldSlices;
    fields = rest = 0x84222325cbf29ce4ULL;
    for (size_t i = begin; i < end; ++i) {
        fields = mixWord(fields, doubleBits(model.m_phaseField.m_value[i]));
        fields = mixWord(fields, doubleBits(model.m_ampliField.m_value[i]));
        fields = mixWord(fields, static_cast<std::uint64_t>(model.m_vtxIsVentriOrAtrium[i]));
        fields = vecBits(fields, model.m_orienField.m_frames[i].m_primaryDir);
        fields = vecBits(fields, model.m_orienField.m_frames[i].m_depthDir);
        rest = vecBits(rest, model.m_vtxOrigPos[i]);
    }
}

/// The folder lattices are cached in when the model's own folder cannot be written: the
/// autosaves' fallback folder, else the user's data folder.
std::string latticeFallbackFolder() {
    namespace fs = std::filesystem;
    if (!autosaveFallbackFolder().empty()) return (fs::path(autosaveFallbackFolder()) / "lattices").string();
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
        return (fs::path(data) / "velmora" / "lattices").string();
    if (const char* home = std::getenv("HOME"); home && *home)
        return (fs::path(home) / ".local" / "share" / "velmora" / "lattices").string();
    return "";
}

/// Milliseconds from mark to now; mark moves to now.
double millisecondsSince(std::chrono::steady_clock::time_point& mark) {
    const auto now = std::chrono::steady_clock::now();
    const double ms = std::chrono::duration<double, std::milli>(now - mark).count();
    mark = now;
    return ms;
}

}  // namespace

void TLSMModel::resetSimulation() {
    m_verts = m_vtxOrigPos;
    m_fixedVerts.clear();
    m_simulator.resetSimulation();
    if (m_lattice) {
        // Carried again here, whatever the fingerprints say: a reset is where edits take effect.
        m_latticeFieldsStale = true;
        m_lattice->reset();
    }
    updateSurfacePositions();
}

void TLSMModel::computeStretch(double t, const std::vector<int16_t>& labels, const std::vector<double>& phase,
                               const std::vector<double>& amplitude, const std::vector<TVertexFrame>& frames,
                               std::vector<vec3>& contraction, std::vector<Mat3>& stretch) const {
    const TGlobalExcitation& e = *m_excitation;
    const int n = static_cast<int>(labels.size());
    const vec3 ventricle = globalFactors(e.m_chartVent, t, e.m_amplitude, e.m_crossFibreExponent);
    const vec3 atrium = globalFactors(e.m_chartAtri, t, e.m_amplitude, kDefaultCrossFibreExponent);

    // Per vertex and independent of the others, so the threads' share changes no result.
#pragma omp parallel for schedule(static) \
    num_threads(std::max(1, m_simulator.threadCount())) if (n >= kParallelVertices)
    for (int i = 0; i < n; ++i) {
        const int16_t label = labels[i];
        if (label == kLabelVentricle || label == kLabelAtrium) {  // other labels keep their earlier factors
            const bool isVentricle = label == kLabelVentricle;
            const double h = amplitude[i];
            const bool propagate = isVentricle ? e.m_propagationMode : e.m_propagationModeA;
            if (!propagate) {
                contraction[i] = scaledByAmplitude(isVentricle ? ventricle : atrium, h);
            } else {
                const int index = propagationIndex(t, phase[i], isVentricle ? e.m_numOfWave : e.m_numOfWaveA);
                contraction[i] =
                    scaledByAmplitude(tableFactors(isVentricle ? e.m_tableVent : e.m_tableAtri, index,
                                                   isVentricle ? e.m_crossFibreExponent : kDefaultCrossFibreExponent),
                                      h);
            }
        }
        // M_i = sum_k s_k f_k f_k^T over the vertex's fibre frame.
        const TVertexFrame& frame = frames[i];
        const vec3& s = contraction[i];
        const vec3 f[3] = {frame.m_primaryDir, frame.m_depthDir, frame.m_thirdDir};
        Mat3& m = stretch[i];
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                m[3 * r + c] = s.x * f[0][r] * f[0][c] + s.y * f[1][r] * f[1][c] + s.z * f[2][r] * f[2][c];
    }
}

void TLSMModel::updateModel(double time, double dt) {
    if (!m_excitation) return;
    const int n = vertexCount();
    if (static_cast<int>(m_vtxIsVentriOrAtrium.size()) != n || static_cast<int>(m_phaseField.m_value.size()) != n ||
        static_cast<int>(m_ampliField.m_value.size()) != n || static_cast<int>(m_orienField.m_frames.size()) != n) {
        diagPrintf("updateModel: labels, phase, amplitude or frames do not match the %d vertices, tick skipped\n", n);
        return;
    }

    const TGlobalExcitation& e = *m_excitation;
    double t = time > e.m_cycleLength ? 0.0 : time / e.m_cycleLength;
    if (!std::isfinite(t)) t = 0.0;  // a zero cycle length at time 0

    if (m_lattice) {
        updateWithLattice(t, dt);
        return;
    }
    if (static_cast<int>(m_vtxContraction.size()) != n) m_vtxContraction.assign(n, vec3(1, 1, 1));
    if (static_cast<int>(m_vtxStretch.size()) != n) m_vtxStretch.assign(n, {1, 0, 0, 0, 1, 0, 0, 0, 1});
    computeStretch(t, m_vtxIsVentriOrAtrium, m_phaseField.m_value, m_ampliField.m_value, m_orienField.m_frames,
                   m_vtxContraction, m_vtxStretch);

    diagPrintf("M= %d", m_iterationN);
    m_simulator.stepSimulation(m_verts, m_fixedVerts, m_pinnedVerts, m_vtxStretch, dt, m_iterationN);
    updateSurfacePositions();
}

void TLSMModel::updateWithLattice(double t, double dt) {
    SimulationLattice& lattice = *m_lattice;
    auto mark = std::chrono::steady_clock::now();
    // One slice of the fingerprints per tick: an edit the shell did not report is carried within
    // kFieldSlices ticks; a reported one (simulationFieldsChanged) or a reset at the next tick.
    const int slice = static_cast<int>(m_latticeTick++ % kFieldSlices);
    bool carry = m_latticeFieldsStale || !lattice.m_fieldsCarried ||
                 static_cast<int>(lattice.m_fieldSlices.size()) != 2 * kFieldSlices;
    if (!carry) {
        std::uint64_t fields = 0, rest = 0;
        fingerprintSlice(*this, slice, fields, rest);
        if (rest != lattice.m_fieldSlices[2 * slice + 1]) {
            // The embedding belongs to the rest shape it was made for; a moved model needs a new
            // lattice (ensureSimulationLattice), and ticks at full resolution until it has one.
            diagPrintf(
                "updateModel: the rest shape changed; the simulation lattice is dropped until it is built again\n");
            m_lattice.reset();
            m_verts = m_vtxOrigPos;
            m_simulator.resetSimulation();
            updateSurfacePositions();
            return;
        }
        carry = fields != lattice.m_fieldSlices[2 * slice];
    }
    if (carry) carryLatticeFields();
    computeStretch(t, lattice.m_labels, lattice.m_phase, lattice.m_amplitude, lattice.m_frames, lattice.m_contraction,
                   lattice.m_stretch);
    lattice.carryHeldVertices(m_vtxOrigPos, m_fixedVerts, m_pinnedVerts);
    lattice.m_phaseMs[0] = millisecondsSince(mark);
    diagPrintf("M= %d", m_iterationN);
    lattice.m_simulator.stepSimulation(lattice.m_positions, lattice.m_fixed, lattice.m_pinned, lattice.m_stretch, dt,
                                       m_iterationN);
    lattice.m_phaseMs[1] = millisecondsSince(mark);
    lattice.placeFineVertices(m_vtxOrigPos, m_verts, lattice.m_simulator.threadCount());
    lattice.m_phaseMs[2] = millisecondsSince(mark);
    updateSurfacePositions();
    lattice.m_phaseMs[3] = millisecondsSince(mark);
}

void TLSMModel::carryLatticeFields() {
    SimulationLattice& lattice = *m_lattice;
    lattice.carryFields(m_phaseField.m_value, m_ampliField.m_value, m_vtxIsVentriOrAtrium, m_orienField.m_frames);
    lattice.m_fieldSlices.assign(2 * kFieldSlices, 0);
    for (int s = 0; s < kFieldSlices; ++s)
        fingerprintSlice(*this, s, lattice.m_fieldSlices[2 * s], lattice.m_fieldSlices[2 * s + 1]);
    m_latticeFieldsStale = false;
}

bool TLSMModel::setSimulationLattice(int targetVertices, std::string* reason, const LatticeBuildHooks& hooks) {
    auto refuse = [&](const std::string& text) {
        if (reason) *reason = text;
        diagPrintf("setSimulationLattice: %s\n", text.c_str());
        return false;
    };
    const int n = vertexCount();
    if (targetVertices < kMinLatticeVertices)
        return refuse("a simulation lattice needs at least " + std::to_string(kMinLatticeVertices) + " vertices");
    if (targetVertices >= n)
        return refuse("a simulation lattice of " + std::to_string(targetVertices) +
                      " vertices is not coarser than the model's " + std::to_string(n));
    if (!m_excitation || m_tets.empty()) return refuse("no model is loaded");
    if (!latticeMeshBuilder()) return refuse("this program cannot build a simulation lattice (no mesher)");
    if (hooks.progress) hooks.progress(0.0, "surface");

    // The boundary faces at rest, outward, on the boundary vertices alone.
    LatticeMeshRequest request;
    std::vector<int> surfaceIndex(n, -1);
    double volume6 = 0.0, area2 = 0.0;
    for (const Tetra& tet : m_tets)
        for (int k = 0; k < 4; ++k) {
            if (tet.nbr[k] != -1) continue;
            std::array<int, 3> tri;
            for (int j = 0; j < 3; ++j) {
                int& index = surfaceIndex[tet.vIdx[kFaceCornersOutward[k][j]]];
                if (index < 0) {
                    index = static_cast<int>(request.points.size());
                    request.points.push_back(m_vtxOrigPos[tet.vIdx[kFaceCornersOutward[k][j]]]);
                }
                tri[j] = index;
            }
            const vec3 &a = request.points[tri[0]], &b = request.points[tri[1]], &c = request.points[tri[2]];
            volume6 += a.dot(b.cross(c));
            area2 += (b - a).cross(c - a).norm();
            request.triangles.push_back(tri);
        }
    if (request.triangles.empty()) return refuse("the model has no boundary surface");
    request.enclosedVolume = volume6 / 6.0;
    request.surfaceArea = area2 / 2.0;
    request.targetVertices = targetVertices;
    request.basePath = m_filePath;
    request.fallbackFolder = latticeFallbackFolder();
    request.meshChecksum = fineMeshChecksum(m_vtxOrigPos, m_tets);

    LatticeMeshResult mesh;
    std::string error;
    if (!latticeMeshBuilder()(request, hooks, mesh, error)) return refuse(error);
    if (hooks.cancelled && hooks.cancelled()) return refuse("cancelled");
    if (hooks.progress) hooks.progress(0.9, "embedding");
    auto lattice = std::make_unique<SimulationLattice>();
    if (!lattice->build(mesh.positions, mesh.tets, m_vtxOrigPos, m_tets, error)) return refuse(error);
    lattice->setReusedCache(mesh.reusedCache);
    lattice->setTargetVertices(targetVertices);
    if (lattice->outsideVertexCount() > 0)
        diagPrintf(
            "setSimulationLattice: %d of %d vertices lie outside the lattice and follow its nearest tetrahedron\n",
            lattice->outsideVertexCount(), n);
    m_lattice = std::move(lattice);
    m_latticeTarget = targetVertices;
    m_latticeTick = 0;
    resetSimulation();
    // Carried now rather than at the first tick, so that the set-up's cost is paid here.
    if (static_cast<int>(m_phaseField.m_value.size()) == n && static_cast<int>(m_ampliField.m_value.size()) == n &&
        static_cast<int>(m_vtxIsVentriOrAtrium.size()) == n && static_cast<int>(m_orienField.m_frames.size()) == n)
        carryLatticeFields();
    if (hooks.progress) hooks.progress(1.0, "done");
    return true;
}

bool TLSMModel::ensureSimulationLattice(std::string* reason, const LatticeBuildHooks& hooks) {
    if (m_latticeTarget <= 0 || m_lattice) return true;
    return setSimulationLattice(m_latticeTarget, reason, hooks);
}

void TLSMModel::clearSimulationLattice() {
    m_latticeTarget = 0;
    if (!m_lattice) return;
    m_lattice.reset();
    // The fine simulator goes on from where the lattice left the vertices, at rest velocities.
    m_simulator.resetSimulation();
}

void TLSMModel::setSimulationLatticeTarget(int targetVertices) {
    targetVertices = std::max(0, targetVertices);
    if (targetVertices == m_latticeTarget) return;
    if (targetVertices == 0) {
        clearSimulationLattice();
        return;
    }
    m_lattice.reset();
    m_simulator.resetSimulation();
    m_latticeTarget = targetVertices;
}
