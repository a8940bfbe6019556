// Tetra: one tetrahedron of the heart's volume mesh and the fixed face corner tables.
#pragma once

#include "linalg/vec3.h"

/// Four corners and the neighbour across each face (face k is opposite corner k; -1 on the
/// boundary). New records hold -1 everywhere. Kept small (32 bytes): a research mesh holds over a
/// million of them, and face normals, which nothing keeps, come from tetFaceNormal when needed.
struct Tetra {
    int vIdx[4] = {-1, -1, -1, -1};
    int nbr[4] = {-1, -1, -1, -1};
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

/// Unit normal of face k of tet (corners kFaceCornersInward[k], pointing inwards for a positively
/// oriented tetrahedron) at the given positions; zero for a degenerate face.
inline vec3 tetFaceNormal(const vec3* positions, const Tetra& tet, int k) {
    const vec3& a = positions[tet.vIdx[kFaceCornersInward[k][0]]];
    const vec3& b = positions[tet.vIdx[kFaceCornersInward[k][1]]];
    const vec3& c = positions[tet.vIdx[kFaceCornersInward[k][2]]];
    vec3 n = (b - a).cross(c - a);
    const double len = n.norm();
    if (len != 0.0) n /= len;
    return n;
}
