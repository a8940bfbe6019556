// SimulationLattice: a coarser tetrahedral lattice that carries a large heart mesh through the
// simulation step: the fine vertices are embedded in its tetrahedra, the fields that drive the
// step are carried onto it, and each tick steps the lattice and places the fine vertices from it.
//
// How the pieces are used (the heart model's API, TLSMModel):
//   setLatticeMeshBuilder(fn)      once per program that links the mesh importer (velmora-cli,
//                                  the Python module, the window): installLatticeMeshBuilder() in
//                                  meshimport/LatticeMesh.h does it. Without a builder a lattice
//                                  cannot be made and setSimulationLattice says so.
//   model.setSimulationLattice(N, &reason, hooks)
//                                  builds (or reuses the cached) lattice of about N vertices and
//                                  embeds the model in it; blocking, with progress (0..1) and
//                                  cancel through hooks. False with a one-line reason: N below
//                                  kMinLatticeVertices or not below the model's vertex count, no
//                                  builder, the mesher's failure, or "cancelled". On failure the
//                                  model keeps the lattice it had before (or none).
//   model.clearSimulationLattice() back to full-resolution ticks; the project no longer names one.
//   model.simulationLatticeTarget() N the project asks for (0 = none); after a project load it may
//                                  be set while no lattice is built yet:
//   model.ensureSimulationLattice(&reason, hooks)
//                                  builds the lattice the target asks for when there is none
//                                  (true at once when there is no target or it is built): the
//                                  loader's "lattice" stage.
//   model.simulationLattice()      the lattice in use, or null (ticks then run at full resolution).
//   model.simulationFieldsChanged() tells the lattice that phase, amplitude, labels or frames were
//                                  edited (it also notices by itself within a few ticks).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fields/TTensorField.h"
#include "linalg/Mat3.h"
#include "linalg/vec3.h"
#include "mesh/Tetra.h"
#include "model/TLSMSimulator.h"

/// Smallest lattice a model may ask for.
inline constexpr int kMinLatticeVertices = 100;

/// Progress (0 to 1, with the stage: "surface", "lattice" while the mesher runs, "embedding",
/// "done") and cancel hooks of a lattice build; either may be empty. Called on the calling thread
/// (cancel is polled every 50 ms while the mesher runs; a cancelled build returns "cancelled").
struct LatticeBuildHooks {
    std::function<void(double fraction, const std::string& stage)> progress;
    std::function<bool()> cancelled;
};

/// What a lattice builder is given: the model's boundary surface at rest (outward-facing triangles,
/// 0-based into points), the vertex count asked for, where the model lives (its base path, the
/// cache goes beside it as base + ".lattice.node/.ele/.key") and where to cache instead when that
/// folder cannot be written, and the checksum of the fine mesh the lattice is made for.
struct LatticeMeshRequest {
    std::vector<vec3> points;
    std::vector<std::array<int, 3>> triangles;
    double enclosedVolume = 0.0;
    double surfaceArea = 0.0;
    int targetVertices = 0;
    std::string basePath;
    std::string fallbackFolder;
    std::uint64_t meshChecksum = 0;
};

/// What a lattice builder returns: a tetrahedral mesh (positively oriented, every vertex used),
/// whether it came from the cache, and the cache's base path ("" when it could not be written).
struct LatticeMeshResult {
    std::vector<vec3> positions;
    std::vector<std::array<int, 4>> tets;
    bool reusedCache = false;
    std::string cacheBase;
};

/// Makes the lattice mesh for a request; false with a one-line reason in error.
using LatticeMeshBuilder =
    std::function<bool(const LatticeMeshRequest&, const LatticeBuildHooks&, LatticeMeshResult&, std::string& error)>;

/// The process's lattice builder (none by default). Main thread, before models use it.
void setLatticeMeshBuilder(LatticeMeshBuilder builder);
const LatticeMeshBuilder& latticeMeshBuilder();

/// FNV-1a (64 bit) of the rest positions and the tetrahedra's corners: what a cached lattice
/// was made from.
std::uint64_t fineMeshChecksum(const std::vector<vec3>& restPositions, const std::vector<Tetra>& tets);

/// Where a fine vertex sits in the lattice: tetrahedron `tet` and its corners' weights (each in
/// [0, 1], summing to 1).
struct LatticeEmbedding {
    int tet = -1;
    std::array<int, 4> corners{0, 0, 0, 0};  ///< the tetrahedron's corners (lattice vertices)
    std::array<double, 4> weights{0, 0, 0, 0};
};

/// The lattice and everything it keeps per tick. Owned by the heart model; used from the thread
/// that ticks the model. Its parallel loops give the same bits on any thread count.
class SimulationLattice {
   public:
    /// Sets the lattice up from its mesh (positions and positively oriented tetrahedra, 0-based)
    /// and embeds the fine rest positions (barycentric weights in the containing lattice
    /// tetrahedron, found through a uniform grid; a vertex outside every tetrahedron takes the
    /// nearest one with its weights clamped to [0, 1] and renormalised). fineTets give the fine
    /// vertices' lumped volumes, the weights of the carry. False with a reason when the
    /// mesh is empty or an index is out of range.
    bool build(const std::vector<vec3>& latticePositions, const std::vector<std::array<int, 4>>& latticeTets,
               const std::vector<vec3>& fineRest, const std::vector<Tetra>& fineTets, std::string& reason);

    /// Carries the driving fields from the fine mesh onto the lattice (volume-weighted averages
    /// over each lattice vertex's star; labels by weighted majority; frames by the sign-aligned
    /// weighted sum, orthonormalised with the depth direction) and sets the lattice's simulator up
    /// again when the carried frames changed. Sizes must be the fine vertex count.
    void carryFields(const std::vector<double>& phase, const std::vector<double>& amplitude,
                     const std::vector<int16_t>& labels, const std::vector<TVertexFrame>& frames);

    /// Held fine vertices onto the lattice: a lattice vertex is held when a held fine vertex has
    /// its largest weight on it; its target is the fine target moved by the rest offset between
    /// them (the first such fine vertex in index order wins).
    void carryHeldVertices(const std::vector<vec3>& fineRest, const std::map<int, vec3>& fineFixed,
                           const std::set<int>& finePinned);

    /// Fine positions := fine rest + the interpolated displacement of the lattice (exact for an
    /// affine motion of the lattice at the vertices inside it). Parallel, thread-count independent.
    void placeFineVertices(const std::vector<vec3>& fineRest, std::vector<vec3>& finePositions, int threads) const;

    /// Lattice positions back to rest, velocities and frames reset.
    void reset();

    int vertexCount() const { return static_cast<int>(m_restPositions.size()); }
    int tetCount() const { return static_cast<int>(m_tets.size()); }
    /// Fine vertices outside every lattice tetrahedron (carried by the nearest one).
    int outsideVertexCount() const { return m_outsideCount; }
    bool reusedCache() const { return m_reusedCache; }
    void setReusedCache(bool reused) { m_reusedCache = reused; }
    int targetVertices() const { return m_targetVertices; }
    void setTargetVertices(int n) { m_targetVertices = n; }

    const std::vector<LatticeEmbedding>& embedding() const { return m_embedding; }
    const std::vector<vec3>& restPositions() const { return m_restPositions; }
    const std::vector<Tetra>& tets() const { return m_tets; }

    // The lattice's own simulation state, stepped by the model's tick.
    std::vector<vec3> m_positions;
    std::vector<double> m_phase, m_amplitude;
    std::vector<int16_t> m_labels;
    std::vector<TVertexFrame> m_frames;
    std::vector<vec3> m_contraction;
    std::vector<Mat3> m_stretch;
    std::map<int, vec3> m_fixed;
    std::set<int> m_pinned;
    TLSMSimulator m_simulator;
    /// Milliseconds of the latest tick's phases: 0 carry and stretch tensors, 1 the lattice's
    /// step, 2 placing the fine vertices, 3 the fine surface.
    double m_phaseMs[4] = {0, 0, 0, 0};
    /// The fine fields' fingerprint slices as last carried (see TLSMModel's tick).
    std::vector<std::uint64_t> m_fieldSlices;
    bool m_fieldsCarried = false;

   private:
    void buildCarryTable(const std::vector<vec3>& fineRest, const std::vector<Tetra>& fineTets);

    std::vector<vec3> m_restPositions;
    std::vector<Tetra> m_tets;
    std::vector<std::vector<int>> m_neighbourhoods;
    std::vector<LatticeEmbedding> m_embedding;
    // Gather table of the carry: lattice vertex v takes fine vertices m_carryFine[k] with weight
    // m_carryWeight[k] (barycentric weight times lumped volume) for k in
    // [m_carryStart[v], m_carryStart[v + 1]), in ascending fine order.
    std::vector<int> m_carryStart, m_carryFine;
    std::vector<double> m_carryWeight;
    // Displacement of each lattice vertex from rest (placeFineVertices' scratch).
    mutable std::vector<vec3> m_displacement;
    // The lattice vertex each fine vertex has its largest weight on.
    std::vector<int> m_heaviestCorner;
    int m_outsideCount = 0;
    bool m_reusedCache = false;
    int m_targetVertices = 0;
};
