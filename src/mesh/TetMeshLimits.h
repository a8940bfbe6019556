// TetMeshLimits: the size guards every tetrahedral mesh entering the program must pass.
#pragma once

/// Largest vertex or tetrahedron count a mesh may declare (counts are held in int, with room for
/// the eight-fold index arrays built from them).
inline constexpr long long kMaxTetMeshCount = 0x7fffffffLL / 8;

/// Loading scales the mesh so that its largest extent becomes 10, and the face normals come from
/// cross products of edges taken before that: coordinates beyond 1e60 in magnitude, or a mesh that
/// spans less than 1e-60, would overflow or underflow those steps into infinities and NaNs.
inline constexpr double kMaxTetMeshCoordinate = 1e60;
inline constexpr double kMinTetMeshExtent = 1e-60;
