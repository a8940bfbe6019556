// Tetra: one tetrahedron of the heart's volume mesh and the fixed face corner tables.
#pragma once

#include "linalg/vec3.h"

/// Four corners, the neighbour across each face (face k is opposite corner k; -1 on the boundary)
/// and the unit normal of each face (zero for a degenerate face). New records hold -1 everywhere.
struct Tetra {
    int vIdx[4] = {-1, -1, -1, -1};
    int nbr[4] = {-1, -1, -1, -1};
    vec3 faceNorm[4];
};

/// A tetrahedron with the given corners and no neighbours yet.
inline Tetra makeTetra(int a, int b, int c, int d) {
    Tetra t;
    t.vIdx[0] = a;
    t.vIdx[1] = b;
    t.vIdx[2] = c;
    t.vIdx[3] = d;
    return t;
}

/// Local corners of face k in the order used for normals and neighbours (normals point inwards for
/// a positively oriented tetrahedron).
inline constexpr int kFaceCornersInward[4][3] = {{3, 2, 1}, {0, 2, 3}, {0, 3, 1}, {0, 1, 2}};

/// Local corners of face k in the order used for boundary triangles (outward facing).
inline constexpr int kFaceCornersOutward[4][3] = {{1, 2, 3}, {0, 3, 2}, {0, 1, 3}, {0, 2, 1}};

/// Six times the signed volume: (p1 - p0) . ((p2 - p0) x (p3 - p0)); positive for a positively
/// oriented tetrahedron.
inline double signedVolume6(const vec3& p0, const vec3& p1, const vec3& p2, const vec3& p3) {
    return (p1 - p0).dot((p2 - p0).cross(p3 - p0));
}
