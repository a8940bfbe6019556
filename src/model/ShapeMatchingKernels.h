// ShapeMatchingKernels: the inner loops of the shape-matching step (the per-cluster fit with its
// polar decomposition, the per-vertex goal gather), written once and compiled both for any x86-64
// and for AVX2, without and with fused multiply-add; the simulator picks one at run time. Every
// variant performs the same operations in the same order, so the two without fused multiply-add
// give bit-identical results; the fused one rounds each fused product once and agrees with them to
// rounding. Each variant gives the same bits for any thread count.
#pragma once

#include <array>
#include <cstdint>

#include "linalg/Mat3.h"
#include "linalg/vec3.h"

/// Clusters fitted side by side in one block.
inline constexpr int kClusterLanes = 4;

/// Member m of each lane's cluster in a block. A lane whose cluster has fewer members holds its
/// own vertex with zero weight there, which adds exactly nothing to the sums.
struct ClusterLaneRow {
    int coord[kClusterLanes];      ///< 4 x the member's vertex: its x among the padded points' doubles
    double weight[kClusterLanes];  ///< cluster weight w_ij
};

/// Memberships the gather looks ahead to fetch their clusters' fits early (about three vertices).
inline constexpr int kGatherLookAhead = 48;

/// A position padded to four doubles (the fourth zero), so that the fit loads one point with one
/// aligned vector load.
struct alignas(32) PaddedPoint {
    double x = 0.0, y = 0.0, z = 0.0, pad = 0.0;
};

/// One 3x3 matrix per cluster of a block, entry by entry: e[k][l] is entry k (row-major) of lane
/// l's matrix, so that each entry of the four loads as one vector.
struct alignas(32) BlockMatrices {
    double e[9][kClusterLanes];
};

/// One 3-vector per cluster of a block, coordinate by coordinate: e[k][l] is coordinate k of lane l.
struct alignas(32) BlockVectors {
    double e[3][kClusterLanes];
};

/// Latest fit of one cluster, laid out for the gather: the columns of the fitted rotation times
/// the stretch (R_i M_i) and the offset t_i = mean_i - R_i M_i c_i, so that a member's prediction
/// R_i M_i (r_j - c_i) + mean_i is R_i M_i r_j + t_i.
struct alignas(64) ClusterFit {
    double column[3][4];  ///< column k of R_i M_i in [0..2]; [3] unused (zero)
    double offset[4];     ///< t_i in [0..2]; [3] unused (zero)
};

/// Stopping rule and floor of the polar decomposition's Jacobi eigen-decomposition.
struct PolarSettings {
    double tolerance;     ///< largest off-diagonal magnitude left in B B^T
    int maxRotations;     ///< Jacobi rotations at most
    double minEigenvalue; ///< below this eigenvalue of B B^T the rotation is the identity
};

/// The arrays the kernels read and write (owned by the simulator).
struct ShapeMatchingArrays {
    int clusterCount = 0;
    const int* clusterSize = nullptr;        ///< members per cluster; zero for the lanes past the last
    const int* blockRowStart = nullptr;      ///< blocks + 1 offsets into rows
    const ClusterLaneRow* rows = nullptr;
    const BlockMatrices* stretch = nullptr;  ///< per block: its clusters' stretch tensors M_i
    BlockMatrices* frames = nullptr;         ///< per block: warm starts of the eigen-decompositions
    ClusterFit* fits = nullptr;              ///< per cluster
    const int* memberStart = nullptr;        ///< vertices + 1 offsets: memberships of each vertex
    /// Ascending clusters of each vertex, followed by kGatherLookAhead valid cluster numbers.
    const int* memberCluster = nullptr;
    const double* memberWeight = nullptr;    ///< vertex weights of those memberships
    const PaddedPoint* restPos = nullptr;
    const BlockVectors* restCenter = nullptr; ///< per block: weighted rest centroids c_i
    /// Per row, or null: the members' offsets w (r - c), bit for bit as the fit would form them
    /// from restPos, restCenter and the weights (which it then does on every pass).
    const BlockVectors* rowOffsets = nullptr;
    PaddedPoint* current = nullptr;          ///< positions the fit reads, replaced by the goals in the gather
    PolarSettings polar{1e-5, 10, 1e-8};
    double minDet = 1e-7;                    ///< det(M A) at or below this keeps the identity rotation
};

/// The arrays of the volume correction's cubic (owned by the simulator).
struct VolumeCubicArrays {
    const int* tetVerts = nullptr;   ///< four corners per tetrahedron
    int tetCount = 0;
    int blockTets = 1;               ///< tetrahedra per block
    int blockCount = 0;
    const vec3* goal = nullptr;      ///< goal positions g
    const vec3* direction = nullptr; ///< correction directions n
    const int* noTet = nullptr;      ///< four zeros: the corners of a tetrahedron that adds nothing
    std::array<double, 4>* sums = nullptr;  ///< per block: the coefficients of s^3, s^2, s, 1 of 6 V(s)
};

/// One variant of the kernels.
struct ShapeMatchingKernels {
    const char* name;
    /// Fits the clusters of blocks [blockBegin, blockEnd): x_mean, A = sum w (r - c) x^T, B = M A,
    /// R from the polar decomposition of B^T warm-started from the cluster's frame (the frame is
    /// updated), and stores R M and x_mean. Empty clusters are left as they are.
    void (*fitBlocks)(const ShapeMatchingArrays& a, int blockBegin, int blockEnd);
    /// Goals of vertices [vertexBegin, vertexEnd): the vertex-weighted mean of the predictions of
    /// its clusters, summed in ascending cluster order, written over current (every fit of the
    /// pass has read it by then). A vertex in no cluster keeps its current position as goal.
    void (*gatherGoals)(const ShapeMatchingArrays& a, int vertexBegin, int vertexEnd);
    /// Coefficients of 6 V(s), V(s) the signed volume of the tetrahedra at g + s n, per block of
    /// tetrahedra summed in order, for the blocks of groups [groupBegin, groupEnd) of
    /// kClusterLanes blocks.
    void (*volumeCubicBlocks)(const VolumeCubicArrays& a, int groupBegin, int groupEnd);
};

/// The variant for any x86-64.
const ShapeMatchingKernels& genericShapeMatchingKernels();
/// The AVX2 variant without fused multiply-add; null when this build has none.
const ShapeMatchingKernels* avx2ShapeMatchingKernels();
/// The AVX2 variant with fused multiply-add; null when this build has none or the processor lacks
/// AVX2 or FMA.
const ShapeMatchingKernels* fusedShapeMatchingKernels();
/// The fused AVX2 variant when the processor has it, else the plain AVX2 one when it has AVX2, else
/// the generic variant. VELMORA_SIMD=generic or VELMORA_SIMD=avx2 in the environment forces that
/// variant (avx2 only where the processor has it).
const ShapeMatchingKernels& bestShapeMatchingKernels();

/// Rotation R of the polar decomposition B^T = R S, S = (B B^T)^(1/2): B B^T is eigen-decomposed
/// by Jacobi rotations warm-started from the eigenvector rows of `frame` (updated in place; the
/// Jacobi routine runs only when the frame no longer diagonalises B B^T within the tolerance),
/// then R = B^T S^-1. False, with R the identity, when an eigenvalue is below the floor.
bool polarRotation(const Mat3& b, Mat3& frame, Mat3& rot, const PolarSettings& settings);
