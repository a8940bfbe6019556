// TTetMesh: neighbour search over vertex incidence lists, face normals.
#include "mesh/TTetMesh.h"

#include <vector>

#include "linalg/Diagnostics.h"

void calcNeighbor(TTetMesh& mesh) {
    const int nv = static_cast<int>(mesh.m_verts.size());
    const int nt = static_cast<int>(mesh.m_tets.size());
    // Incidence lists in compressed form; tetrahedra are appended in index order, so each is ascending.
    std::vector<int> start(nv + 1, 0);
    for (const Tetra& t : mesh.m_tets)
        for (int c : t.vIdx) ++start[c + 1];
    for (int v = 0; v < nv; ++v) start[v + 1] += start[v];
    std::vector<int> fill(start.begin(), start.end() - 1);
    std::vector<int> incident(start[nv]);
    for (int i = 0; i < nt; ++i)
        for (int c : mesh.m_tets[i].vIdx) incident[fill[c]++] = i;

    std::vector<int> ab, abc;
    for (int i = 0; i < nt; ++i) {
        Tetra& tet = mesh.m_tets[i];
        for (int k = 0; k < 4; ++k) {
            const int a = tet.vIdx[kFaceCornersInward[k][0]];
            const int b = tet.vIdx[kFaceCornersInward[k][1]];
            const int c = tet.vIdx[kFaceCornersInward[k][2]];
            auto intersect = [](const int* x0, const int* x1, const int* y0, const int* y1, std::vector<int>& out) {
                out.clear();
                while (x0 != x1 && y0 != y1) {
                    if (*x0 < *y0) ++x0;
                    else if (*y0 < *x0) ++y0;
                    else { out.push_back(*x0); ++x0; ++y0; }
                }
            };
            intersect(&incident[start[a]], &incident[start[a + 1]], &incident[start[b]], &incident[start[b + 1]], ab);
            intersect(ab.data(), ab.data() + ab.size(), &incident[start[c]], &incident[start[c + 1]], abc);
            if (abc.size() == 2) {
                tet.nbr[k] = abc[0] != i ? abc[0] : abc[1];
            } else if (abc.size() == 1 && abc[0] == i) {
                tet.nbr[k] = -1;
            } else {
                diagPrintf("error in calcNeighbor()   %d  !!!!!!!!!!\n", i);
                return;
            }
        }
    }
}

void calcFaceNormals(TTetMesh& mesh) {
    for (Tetra& tet : mesh.m_tets) {
        for (int k = 0; k < 4; ++k) {
            const vec3& a = mesh.m_verts[tet.vIdx[kFaceCornersInward[k][0]]];
            const vec3& b = mesh.m_verts[tet.vIdx[kFaceCornersInward[k][1]]];
            const vec3& c = mesh.m_verts[tet.vIdx[kFaceCornersInward[k][2]]];
            vec3 n = (b - a).cross(c - a);
            const double len = n.norm();
            if (len != 0.0) n /= len;
            tet.faceNorm[k] = n;
        }
    }
}
