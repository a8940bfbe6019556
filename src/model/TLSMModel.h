// TLSMModel: the heart: tetrahedral mesh, rest and current positions, surface, fields, labels,
// chamber walls, excitation and the embedded shape-matching simulator.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fields/TSmoothField.h"
#include "fields/TTensorField.h"
#include "linalg/TSparseMatrix.h"
#include "linalg/vec3.h"
#include "mesh/TTriangleMesh.h"
#include "mesh/Tetra.h"
#include "model/ProjectFile.h"
#include "model/SimulationLattice.h"
#include "model/TGlobalExcitation.h"
#include "model/TLSMSimulator.h"

class LoadProgress;
struct TTetMesh;

/// Where a surface vertex sits: on tetrahedral vertex vertA, or at (1-t) vertA + t vertB.
struct SurfaceVertexSource {
    bool isBlend = false;
    int vertA = -1;
    int vertB = -1;
    double t = 0.0;
};

using TTriIndices = std::array<int, 3>;

/// The one heart model, owned by the application controller and replaced whole on every load.
/// Used from the user-interface thread only; the simulator's parallel loops end inside its calls.
class TLSMModel {
   public:
    TLSMModel();
    virtual ~TLSMModel();
    TLSMModel(const TLSMModel&) = delete;
    TLSMModel& operator=(const TLSMModel&) = delete;

    /// A number no other model object of this process has: what a renderer keeps to notice that it
    /// draws a new model (and builds its shader again for it).
    std::uint64_t instanceSerial() const { return m_instanceSerial; }

    /// Turns base + ".node"/".ele" (and ".vm" when present) into a ready model. False when the mesh
    /// files cannot be read or hold an empty mesh (no vertices, no tetrahedra, no tetrahedron with
    /// a volume, or no boundary face); the model then keeps only its path, and *reason (when given)
    /// holds the one-line refusal. progress (when given) hears the stages of loadstage and may
    /// stop the load between them: false with "loadModel: cancelled" in *reason. The load touches
    /// no other model and reaches the window only through the shell hooks (a refused or damaged
    /// project file's message), so a worker thread may load into a fresh object when the hooks
    /// in force accept calls from it.
    bool loadModel(const std::string& basePath, std::string* reason = nullptr, LoadProgress* progress = nullptr);
    /// The part of loading that needs no file, from a mesh already read: face neighbours, the size
    /// normalised when asked, positions, tetrahedra, labels 0, no fixed vertices,
    /// contraction factors (1, 1, 1) and identity stretch tensors, the shape-matching
    /// neighbourhoods, the surface with its draw order and chamber ids 0, a new excitation, and the
    /// phase and amplitude fields at their defaults (not solved). The orientation field, the
    /// smoothing matrix and the simulator are left to the caller.
    void setUpFromMesh(TTetMesh&& mesh, bool normalizeSize);

    /// Fills one ascending neighbourhood per vertex (itself included); the 1200-vertex tube stencil
    /// is used for exactly 1200 vertices.
    static void constructNeighborForShapaMatching(const std::vector<Tetra>& tets, const std::vector<vec3>& positions,
                                                  std::vector<std::vector<int>>& neighbours);
    /// Centres on the vertex mean and scales the largest bounding-box extent to 10; a mesh of zero
    /// extent is only centred.
    static void normalizeModelSize(std::vector<vec3>& positions);

    /// Rebuilds the triangle draw order (depth key, then regrouped by chamber id). Whatever changes
    /// the surface's triangles or their chamber ids calls it; the drawing passes only read the order.
    void buildDrawOrder();
    /// The draw order buildDrawOrder stores, computed from the surface as it stands: triangles by
    /// ascending sum of their corners' z, stably; then grouped by chamber id 1, 2, 3, 4, 0 and other
    /// ids last when there is one id per triangle.
    std::vector<int> computeDrawOrder() const;
    /// Re-extracts the surface from the boundary faces at the current positions.
    void rebuildSurface();
    /// Moves the surface vertices to their sources and recomputes the surface normals.
    void updateSurfacePositions();

    /// Current positions := rest positions, held targets cleared, simulator velocities and
    /// eigenvector frames reset, surface updated.
    void resetSimulation();
    /// One tick: contraction factors and stretch tensors from the charts, phase, amplitude and
    /// frames, then m_iterationN shape-matching iterations, and the surface update.
    void updateModel(double time, double dt);
    /// Signed volumes of the right ventricle, left ventricle, right atrium and left atrium walls.
    std::array<double, 4> computeChamberVolumes() const;

    int vertexCount() const { return static_cast<int>(m_verts.size()); }

    std::string m_filePath;
    std::vector<Tetra> m_tets;
    std::vector<vec3> m_verts;
    std::vector<vec3> m_vtxOrigPos;
    std::vector<std::vector<int>> m_smNeighbors;
    std::vector<TTriIndices> m_trisVR, m_trisVL, m_trisAR, m_trisAL;
    std::vector<int16_t> m_polygonIDs;
    std::vector<int16_t> m_vtxIsVentriOrAtrium;
    TTriangleMesh m_surface;
    std::vector<int16_t> m_surfVtxTag;
    std::vector<SurfaceVertexSource> m_surfVtxSource;
    std::vector<int> m_triDrawOrder;
    double m_peelDepth = 1.0;
    int m_iterationN = 10;
    TLSMSimulator m_simulator;
    std::unique_ptr<TGlobalExcitation> m_excitation;
    TTensorField m_orienField;
    TSmoothField m_phaseField;
    TSmoothField m_ampliField;
    std::map<int, vec3> m_fixedVerts;
    std::set<int> m_pinnedVerts;
    /// The fields' smoothing matrix: loadModel leaves its recipe here, and the first field solve
    /// builds it (`*m_fieldMatrix`).
    TSmoothingMatrixSlot m_fieldMatrix;
    std::vector<std::array<double, 9>> m_vtxStretch;
    std::vector<vec3> m_vtxContraction;
    /// What became of the project file during loadModel (read by the shell and the CLI); Loaded once
    /// the project file has been written whole since (projectFileWritten).
    ProjectLoadResult m_projectLoad;
    /// Per-vertex frames that came with the mesh (an imported file's fibres, kept in the project
    /// file's #VtxFrames record); empty for a model without them. They are in force while the
    /// orientation field's frames equal them: a stroke update or a preset replaces them, and the
    /// project file then no longer holds them.
    std::vector<TVertexFrame> m_keptFrames;

    /// The embedded simulation lattice (SimulationLattice.h describes the calls). Builds, or reuses
    /// from the cache beside the model, a lattice of about targetVertices vertices through the
    /// process's lattice builder and makes the ticks step it. False with a one-line reason (the
    /// model keeps what it had).
    bool setSimulationLattice(int targetVertices, std::string* reason = nullptr,
                              const LatticeBuildHooks& hooks = LatticeBuildHooks());
    /// Full-resolution ticks again; the project no longer names a lattice.
    void clearSimulationLattice();
    /// Builds the lattice the target asks for when none is built (after a project load); true when
    /// there is nothing to build.
    bool ensureSimulationLattice(std::string* reason = nullptr, const LatticeBuildHooks& hooks = LatticeBuildHooks());
    /// The lattice's vertex count asked for (0 = none), built or not.
    int simulationLatticeTarget() const { return m_latticeTarget; }
    /// Sets the target without building (the project file's record); 0 clears the lattice.
    void setSimulationLatticeTarget(int targetVertices);
    /// The lattice the ticks step, or null (full resolution).
    const SimulationLattice* simulationLattice() const { return m_lattice.get(); }
    /// Phase, amplitude, labels or frames were edited: the next tick carries them again.
    void simulationFieldsChanged() { m_latticeFieldsStale = true; }

   private:
    /// The second half of setUpFromMesh, for a mesh whose neighbours and size are done.
    void adoptMesh(TTetMesh&& mesh);

    std::uint64_t m_instanceSerial;
    std::unique_ptr<SimulationLattice> m_lattice;
    int m_latticeTarget = 0;
    bool m_latticeFieldsStale = false;
    std::uint64_t m_latticeTick = 0;
    /// The per-vertex contraction and stretch of a tick over any vertex set (the fine mesh or the
    /// lattice).
    void computeStretch(double t, const std::vector<int16_t>& labels, const std::vector<double>& phase,
                        const std::vector<double>& amplitude, const std::vector<TVertexFrame>& frames,
                        std::vector<vec3>& contraction, std::vector<Mat3>& stretch) const;
    /// The tick with a lattice: carry what changed, step the lattice, place the fine vertices.
    void updateWithLattice(double t, double dt);
    /// The fine fields onto the lattice, and their fingerprints.
    void carryLatticeFields();
};
