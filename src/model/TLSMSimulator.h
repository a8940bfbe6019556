// TLSMSimulator: lattice shape-matching simulator state embedded in the heart model.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <vector>

#include "fields/TTensorField.h"
#include "linalg/Mat3.h"
#include "linalg/vec3.h"
#include "mesh/Tetra.h"
#include "model/ShapeMatchingKernels.h"

/// Per-step constraint of one vertex: held at a target (fixed) or held still (pinned).
struct TVertexConstraint {
    bool isFixed = false;
    bool isPinned = false;
    vec3 target;
};

/// Up to this size the members' rest offsets are kept, which saves the fit forming them on every
/// pass: a few per cent (about 20 MB at 60,000 vertices). Beyond it (about 90,000 vertices) they
/// stream from memory beside the rows they are formed from, which gains no more than forming
/// them, and at some 0.4 KB per vertex they would be the simulator's largest single array.
inline constexpr size_t kKeptOffsetBytes = size_t(32) << 20;

/// Tetrahedra per block of the volume correction's coefficient sums (fixed, so sums do not depend
/// on the thread count).
inline constexpr int kVolumeBlockTets = 2048;
/// Boundary triangles per block when the volume correction sums those instead: far fewer than the
/// tetrahedra, so smaller blocks to keep both threads busy.
inline constexpr int kVolumeBlockFaces = 512;
/// Below this vertex count the step's loops run on the calling thread.
inline constexpr int kParallelVertices = 256;
/// Vertices per block of the re-alignment's sums (fixed for the same reason).
inline constexpr int kRealignBlockVertices = 1024;

/// Lattice shape matching (one cluster per vertex: the vertex and its tetrahedral neighbours) with
/// fibre-weighted members, a global volume correction along an inward-smoothed outward direction
/// field and a rigid re-alignment of the goal shape onto the start of each step.
///
/// Owned by the heart model; `initSimulator` prepares every array once so that `stepSimulation`
/// allocates nothing. Called from the user-interface thread only; the step's parallel loops have
/// ended when it returns. The clusters are fitted four at a time by the vectorised kernels of
/// ShapeMatchingKernels, in an order that keeps mesh neighbours close in memory; goals are
/// gathered per vertex over its memberships in ascending cluster order, so results are bit-for-bit
/// the same for any thread count, kernel variant or processor.
class TLSMSimulator {
   public:
    /// Sets the simulator up from the rest positions, the tetrahedra (0-based corners), one
    /// neighbourhood per vertex (ascending, the vertex included; empty for a vertex used by no
    /// tetrahedron) and one frame per vertex (only the fibre direction is used). Releases any
    /// earlier set-up. False, with one message, when there are no vertices, or the inputs disagree
    /// in size or hold an index out of range; the simulator is then empty and its step does nothing.
    bool initSimulator(const std::vector<vec3>& restPositions, const std::vector<Tetra>& tets,
                       const std::vector<std::vector<int>>& neighbourhoods, const std::vector<TVertexFrame>& frames);

    /// Velocities to zero and every cluster's eigenvector frame to the identity.
    void resetSimulation();

    /// One simulation step on `positions` (updated in place): `iterations` shape-matching passes
    /// towards the rest shapes stretched by `stretch` (one row-major symmetric 3x3 per vertex),
    /// volume correction, re-alignment, the held vertices, integration over `dt` with damping.
    /// Indices in `fixedVerts`/`pinnedVerts` outside the mesh are ignored. False, with one
    /// message, when the sizes do not match the set-up or dt is not a positive number; nothing
    /// moves then.
    bool stepSimulation(std::vector<vec3>& positions, const std::map<int, vec3>& fixedVerts,
                        const std::set<int>& pinnedVerts, const std::vector<Mat3>& stretch, double dt, int iterations);

    /// Moves every goal position along `m_inflateDir` (recomputed here from the boundary faces
    /// and the layering) by one common offset that brings the signed volume of the tetrahedra
    /// back to `m_restVolume`. `goal` has one entry per vertex; left as it is when the volume
    /// equation has no usable root.
    void preserveVolume(std::vector<vec3>& goal);

    /// Translates and turns the goal shape so that its centroid and best-fit orientation (polar
    /// decomposition of the cross-covariance) match those of `start`. Vertices without a cluster
    /// take no part and do not move.
    void realignGoal(std::vector<vec3>& goal, const std::vector<vec3>& start);

    /// Members of cluster i: clusterVerts()[m] for m in [clusterBegin(i), clusterEnd(i)), clusterSize(i) of them.
    int clusterBegin(int i) const { return m_clusterStart[i]; }
    int clusterEnd(int i) const { return m_clusterStart[i + 1]; }
    int clusterSize(int i) const { return m_clusterStart[i + 1] - m_clusterStart[i]; }
    /// Eigenvector frame kept for cluster i (0-based vertex number).
    Mat3 eigenFrame(int i) const { return blockEntry(m_blockFrames, m_rank[i]); }
    /// Number of entries in layers().
    int layerEntryCount() const { return m_layerEntryNum; }

    /// Vertices of the set-up (0 when empty); there is one cluster per vertex.
    int vertexCount() const { return m_vtxNum; }
    int clusterCount() const { return m_vtxNum; }
    /// Tetrahedra of the set-up and the boundary triangles of their mesh.
    int tetCount() const { return static_cast<int>(m_tetVerts.size()); }
    int surfFaceCount() const { return static_cast<int>(m_surfFaces.size()); }
    /// Threads the step may use (set from the platform's count at initSimulator).
    int threadCount() const { return m_threadNum; }
    /// Rest centre of mass of each cluster.
    const std::vector<vec3>& restCenters() const { return m_restCenters; }
    /// Warm starts of the clusters' eigen-decompositions, in the simulator's locality order
    /// (eigenFrame(i) gives cluster i's).
    std::vector<Mat3> eigenFrames() const;
    /// Members, cluster by cluster (see clusterBegin), ascending; with their weight in the cluster
    /// (summing to 1 within a cluster) and their share of the vertex (summing to 1 over all
    /// memberships of a vertex).
    const std::vector<int>& clusterVerts() const { return m_clusterVerts; }
    const std::vector<double>& clusterWeights() const { return m_clusterWeights; }
    const std::vector<double>& vertexWeights() const { return m_vertexWeights; }
    /// Velocities after the latest step, in the mesh's order.
    std::vector<vec3> velocities() const;
    const std::vector<vec3>& restPos() const { return m_restPos; }
    /// Goal positions of the latest step.
    const std::vector<vec3>& goalPos() const { return m_goalPos; }
    /// Signed volume of the tetrahedra at rest, which the volume correction restores.
    double restVolume() const { return m_restVolume; }
    /// True when the volume correction sums the boundary triangles (each with a common apex)
    /// instead of the tetrahedra: the mesh's inner faces then pair up with opposite orientations,
    /// so both sums are the same polynomial in the offset.
    bool volumeFromBoundary() const { return m_volumeFromBoundary; }
    const std::vector<std::array<int, 3>>& surfFaces() const { return m_surfFaces; }
    /// Inward layering, flat: per entry the vertex, its parent count P, then P parents.
    const std::vector<int>& layers() const { return m_layers; }
    /// Direction of the volume correction per vertex (from the latest preserveVolume).
    const std::vector<vec3>& inflateDir() const { return m_inflateDir; }
    /// Threads used by the latest step's parallel loops (1 when they ran serially).
    int stepThreads() const { return m_stepThreads; }
    /// Milliseconds of the latest step's phase: 0 shape matching, 1 volume and re-alignment,
    /// 2 integration.
    double phaseMs(int phase) const { return m_phaseMs[phase]; }

    /// The kernels the step uses (the best the processor runs, unless set for a test).
    const ShapeMatchingKernels& kernels() const { return *m_kernels; }
    void setKernels(const ShapeMatchingKernels& kernels) { m_kernels = &kernels; }
    /// Largest size of the members' rest offsets kept between passes (set before initSimulator);
    /// a mesh that needs more forms them in the fit on every pass, with the same bits.
    void setKeptOffsetBytes(size_t bytes) { m_keptOffsetBytes = bytes; }
    bool keepsOffsets() const { return !m_rowOffsets.empty(); }

   private:
    // Lets tests start a step from chosen velocities and cut the threads' shares.
    friend struct TLSMSimulatorTestAccess;

    // m_vtxNum is the one stored vertex (and cluster) count: the per-vertex and per-cluster arrays
    // are sized from it by initSimulator.
    int m_threadNum = 1;
    int m_vtxNum = 0;
    std::vector<vec3> m_restCenters;
    std::vector<int> m_clusterStart;       // clusters + 1 offsets into the flat member arrays
    std::vector<int> m_clusterVerts;       // members, cluster by cluster, ascending
    std::vector<double> m_clusterWeights;  // sum to 1 within a cluster
    std::vector<double> m_vertexWeights;   // sum to 1 over all memberships of a vertex
    std::vector<vec3> m_velocities;        // in the locality order (entry p: vertex m_order[p]); velocities() maps back
    std::vector<vec3> m_restPos;
    std::vector<TVertexConstraint> m_vtxConstraint;
    std::vector<int> m_heldVerts;  // the vertices m_vtxConstraint marks (a vertex may appear twice)
    std::vector<vec3> m_goalPos;
    double m_restVolume = 0.0;
    std::vector<std::array<int, 3>> m_surfFaces;
    std::vector<int> m_layers;
    // Where each entry of m_layers starts, and where each level's entries start (levels + 1
    // offsets into the entries): the entries of one level depend only on the level before.
    std::vector<int> m_layerEntryStart;
    std::vector<int> m_layerLevelStart;
    // The boundary faces at each vertex, ascending: [m_vertexFaceStart[v], m_vertexFaceStart[v+1])
    // of m_vertexFaces; and the area-weighted normal of each face (latest preserveVolume).
    std::vector<int> m_vertexFaceStart;
    std::vector<int> m_vertexFaces;
    std::vector<vec3> m_faceNormals;
    // Per fixed block of kRealignBlockVertices vertices: partial sums of the re-alignment (the
    // means, then the cross-covariance), added in block order.
    std::vector<std::array<double, 7>> m_realignMeanSums;
    std::vector<Mat3> m_realignCovarianceSums;
    std::vector<std::array<int, 4>> m_tetVerts;
    std::vector<vec3> m_inflateDir;

    // Where each vertex's memberships start, as if listed vertex by vertex (vertices + 1 offsets);
    // the memberships themselves are kept only in the locality order (m_gatherCluster).
    std::vector<int> m_vertexMemberStart;
    /// Result of the latest shape-matching pass for each cluster (see ClusterFit), in the
    /// locality order.
    std::vector<ClusterFit> m_clusterFit;
    // Velocities after the first integration loop, read by the damping loop (in the locality
    // order, as the damping reads its clusters from the fit's rows).
    std::vector<vec3> m_velocityBefore;
    // The tetrahedra whose signed volume the volume correction restores (volumeTetrahedra()), in
    // fixed blocks of m_volumeBlockTets: the mesh's own, or (m_volumeFromBoundary) m_volumeTets,
    // one per boundary triangle with a common apex; and the partial sums of the volume cubic's
    // four coefficients per block, added in block order so the total does not depend on the
    // thread count.
    std::vector<std::array<int, 4>> m_volumeTets;
    bool m_volumeFromBoundary = false;
    int m_volumeBlockTets = kVolumeBlockTets;
    std::vector<std::array<double, 4>> m_volumeBlockSums;

    int m_stepThreads = 1;
    double m_phaseMs[3] = {0.0, 0.0, 0.0};

    // The phases of stepSimulation, in order.
    /// `iterations` shape-matching passes from `positions`: fit every cluster, gather every goal
    /// (the next pass's positions); the last pass's goals into m_goalPos.
    void matchShapes(const std::vector<vec3>& positions, const std::vector<Mat3>& stretch, int iterations, int threads,
                     bool parallel);
    /// Marks the held vertices in m_vtxConstraint.
    void applyVertexConstraints(const std::map<int, vec3>& fixedVerts, const std::set<int>& pinnedVerts);
    /// Moves `positions` towards the goals over dt (held vertices pulled, pinned ones still) and
    /// damps the velocities over each cluster.
    void integrate(std::vector<vec3>& positions, double dt, int threads, bool parallel);
    /// The kernels' arrays (in the locality order), from the flat cluster arrays.
    void buildClusterBlocks();
    /// m_order / m_rank: vertices and clusters sorted along a space-filling curve of the rest
    /// positions, so that neighbours lie close in memory, then by size within short runs of that
    /// order, so that the four clusters of a block have nearly as many members each.
    void orderForLocality();
    /// Threads the parallel loops may use: the platform's count, at most m_threadNum.
    int loopThreads() const;
    void releaseArrays();
    void buildLayers(const std::vector<Tetra>& tets);
    /// m_volumeTets and its blocks: the boundary triangles when every inner face of `tets` meets
    /// its neighbour's with the opposite orientation, else the tetrahedra.
    void buildVolumeTets(const std::vector<Tetra>& tets);
    const std::vector<std::array<int, 4>>& volumeTetrahedra() const {
        return m_volumeFromBoundary ? m_volumeTets : m_tetVerts;
    }

    int m_layerEntryNum = 0;
    /// Clusters in blocks of kClusterLanes: rows [m_blockRowStart[b], m_blockRowStart[b+1]) of
    /// m_laneRows hold the members of block b, as many rows as its largest cluster has members.
    std::vector<int> m_blockRowStart;
    std::vector<ClusterLaneRow> m_laneRows;
    const ShapeMatchingKernels* m_kernels = &bestShapeMatchingKernels();
    // The kernels work in a locality order: internal index p stands for vertex and cluster
    // m_order[p]; m_rank is the inverse. Every cluster keeps its members' order and every vertex
    // its clusters' ascending original order, so the order changes no result.
    std::vector<int> m_order, m_rank;
    std::vector<int> m_orderedClusterSize;
    std::vector<int> m_gatherStart;  // internal vertices + 1 offsets
    // Prefix sums of the work of the fit's blocks and of the gather's vertices, where the step
    // cuts them into the threads' shares.
    std::vector<int64_t> m_blockWork, m_vertexWork;
    // The threads' shares of that work, as team + 1 cut points between 0 and 1, moved after each
    // step towards the speed each thread showed in it: a thread on a slower or busier core gets
    // less next time. Where the cuts fall changes no result.
    std::vector<double> m_fitCuts, m_gatherCuts;
    // Per thread of the latest step: nanoseconds spent in the fit and in the gather.
    std::vector<int64_t> m_fitNs, m_gatherNs;
    std::vector<int> m_gatherCluster;    // internal cluster of each membership (and the look-ahead padding)
    std::vector<double> m_gatherWeight;  // its vertex weight
    std::vector<PaddedPoint> m_orderedRest, m_orderedCur;
    std::vector<BlockVectors> m_blockCentres;
    // Per row of m_laneRows: the members' w (r - c), when they fit in m_keptOffsetBytes.
    std::vector<BlockVectors> m_rowOffsets;
    size_t m_keptOffsetBytes = kKeptOffsetBytes;
    // Per block of four clusters in the locality order: the stretch tensors of the step, and the
    // eigenvector frames kept between passes and steps as warm starts.
    std::vector<BlockMatrices> m_blockStretch, m_blockFrames;
    /// Matrix p (internal order) of a per-block array.
    static Mat3 blockEntry(const std::vector<BlockMatrices>& blocks, int p);
};

/// Restarts the step's process-wide timing report (call counter and the three accumulators).
void resetSimulationTimingReport();
