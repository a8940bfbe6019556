// TTetMesh: face neighbours by matching sorted face keys (incidence-list intersection where a
// tetrahedron repeats a corner or a face is shared three times), face normals, vertex stars.
#include "mesh/TTetMesh.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "linalg/Diagnostics.h"

namespace {

/// Incidence lists in compressed form: the tetrahedra using each vertex, ascending (a tetrahedron
/// that names a vertex twice is listed twice).
void buildIncidence(const std::vector<Tetra>& tets, int nv, std::vector<int>& start, std::vector<int>& incident) {
    const int nt = static_cast<int>(tets.size());
    start.assign(static_cast<size_t>(nv) + 1, 0);
    for (const Tetra& t : tets)
        for (int c : t.vIdx)
            if (c >= 0 && c < nv) ++start[c + 1];
    for (int v = 0; v < nv; ++v) start[v + 1] += start[v];
    std::vector<int> fill(start.begin(), start.end() - 1);
    incident.resize(start[nv]);
    for (int i = 0; i < nt; ++i)
        for (int c : tets[i].vIdx)
            if (c >= 0 && c < nv) incident[fill[c]++] = i;
}

/// The general search: for each face, the tetrahedra on all three of its corners' incidence lists.
void calcNeighborByIntersection(TTetMesh& mesh) {
    const int nv = static_cast<int>(mesh.m_verts.size());
    const int nt = static_cast<int>(mesh.m_tets.size());
    std::vector<int> start, incident;
    buildIncidence(mesh.m_tets, nv, start, incident);

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
                    if (*x0 < *y0)
                        ++x0;
                    else if (*y0 < *x0)
                        ++y0;
                    else {
                        out.push_back(*x0);
                        ++x0;
                        ++y0;
                    }
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

/// One face filed under its smallest corner: the other two, ascending, and 4 * tetrahedron + face.
struct FaceKey {
    int mid, high, face;
    bool operator<(const FaceKey& o) const {
        return mid != o.mid ? mid < o.mid : (high != o.high ? high < o.high : face < o.face);
    }
};

/// Where every tetrahedron has four distinct corners, the tetrahedra holding all three corners of a
/// face are exactly those having that face, so sorting the faces by their corner sets pairs them
/// up. Fills nbr (four per tetrahedron) and returns true; false, with nbr unspecified, when a face
/// is shared by more than two tetrahedra or a corner repeats or lies out of range.
bool matchFaces(const std::vector<Tetra>& tets, int nv, std::vector<int>& nbr) {
    const int nt = static_cast<int>(tets.size());
    std::vector<int> start(static_cast<size_t>(nv) + 1, 0);
    for (const Tetra& t : tets) {
        const int* c = t.vIdx;
        for (int k = 0; k < 4; ++k)
            if (c[k] < 0 || c[k] >= nv) return false;
        if (c[0] == c[1] || c[0] == c[2] || c[0] == c[3] || c[1] == c[2] || c[1] == c[3] || c[2] == c[3]) return false;
        // Face k leaves out corner k; its smallest corner is the smallest of the other three.
        for (int k = 0; k < 4; ++k) {
            int low = nv;
            for (int j = 0; j < 4; ++j)
                if (j != k) low = std::min(low, c[j]);
            ++start[low + 1];
        }
    }
    for (int v = 0; v < nv; ++v) start[v + 1] += start[v];
    std::vector<FaceKey> keys(static_cast<size_t>(start[nv]));
    {
        std::vector<int> fill(start.begin(), start.end() - 1);
        for (int t = 0; t < nt; ++t)
            for (int k = 0; k < 4; ++k) {
                int corner[3], m = 0;
                for (int j = 0; j < 4; ++j)
                    if (j != k) corner[m++] = tets[t].vIdx[j];
                std::sort(corner, corner + 3);
                keys[fill[corner[0]]++] = {corner[1], corner[2], 4 * t + k};
            }
    }
    nbr.assign(static_cast<size_t>(nt) * 4, -1);
    bool sound = true;
#pragma omp parallel for schedule(static) reduction(&& : sound) if (nv > 4096)
    for (int v = 0; v < nv; ++v) {
        FaceKey* first = keys.data() + start[v];
        FaceKey* last = keys.data() + start[v + 1];
        std::sort(first, last);
        for (FaceKey* run = first; run != last;) {
            FaceKey* end = run + 1;
            while (end != last && end->mid == run->mid && end->high == run->high) ++end;
            if (end - run == 2) {
                nbr[run[0].face] = run[1].face / 4;
                nbr[run[1].face] = run[0].face / 4;
            } else if (end - run > 2) {
                sound = false;
            }
            run = end;
        }
    }
    return sound;
}

}  // namespace

void calcNeighbor(TTetMesh& mesh) {
    const int nv = static_cast<int>(mesh.m_verts.size());
    std::vector<int> nbr;
    if (!matchFaces(mesh.m_tets, nv, nbr)) {
        calcNeighborByIntersection(mesh);
        return;
    }
    const int nt = static_cast<int>(mesh.m_tets.size());
    for (int t = 0; t < nt; ++t)
        for (int k = 0; k < 4; ++k) mesh.m_tets[t].nbr[k] = nbr[4 * static_cast<size_t>(t) + k];
}

std::vector<std::array<vec3, 4>> calcFaceNormals(const TTetMesh& mesh) {
    std::vector<std::array<vec3, 4>> normals(mesh.m_tets.size());
    for (size_t t = 0; t < mesh.m_tets.size(); ++t)
        for (int k = 0; k < 4; ++k) normals[t][k] = tetFaceNormal(mesh.m_verts.data(), mesh.m_tets[t], k);
    return normals;
}

void buildVertexStars(const std::vector<Tetra>& tets, int vertexCount, std::vector<int>& start,
                      std::vector<int>& list) {
    const int nv = std::max(vertexCount, 0);
    // The other corners of every tetrahedron filed under each of its corners, in one pass over
    // the tetrahedra in their order: gathering them per vertex instead would fetch each
    // tetrahedron once per corner from anywhere in a large mesh, a cache miss every time.
    std::vector<int> slotStart(static_cast<size_t>(nv) + 1, 0);
    for (const Tetra& t : tets)
        for (int c : t.vIdx)
            if (c >= 0 && c < nv) slotStart[c + 1] += 3;
    for (int v = 0; v < nv; ++v) slotStart[v + 1] += slotStart[v];
    std::vector<int> slotEnd(slotStart.begin(), slotStart.end() - 1);
    std::vector<int> others(static_cast<size_t>(slotStart[nv]));
    for (const Tetra& t : tets)
        for (int j = 0; j < 4; ++j) {
            const int a = t.vIdx[j];
            if (a < 0 || a >= nv) continue;
            for (int k = 0; k < 4; ++k) {
                const int c = t.vIdx[k];
                if (k != j && c >= 0 && c < nv) others[slotEnd[a]++] = c;
            }
        }
    start.assign(static_cast<size_t>(nv) + 1, 0);
    // Each thread sorts the stars of its contiguous range into a buffer of its own (a mark per
    // vertex keeps out repeats, so only the short result is sorted), then copies it into place
    // once the sizes are summed.
#pragma omp parallel if (nv > 4096)
    {
        std::vector<int> mark(static_cast<size_t>(nv), -1);
        std::vector<int> local;
        int first = -1;
#pragma omp for schedule(static)
        for (int v = 0; v < nv; ++v) {
            if (first < 0) first = v;
            const size_t begin = local.size();
            // A vertex some tetrahedron uses belongs to its own star.
            if (slotStart[v + 1] > slotStart[v]) {
                mark[v] = v;
                local.push_back(v);
            }
            for (int s = slotStart[v]; s < slotEnd[v]; ++s) {
                const int c = others[s];
                if (mark[c] != v) {
                    mark[c] = v;
                    local.push_back(c);
                }
            }
            std::sort(local.begin() + static_cast<std::ptrdiff_t>(begin), local.end());
            start[v + 1] = static_cast<int>(local.size() - begin);
        }
#pragma omp single
        {
            for (int v = 0; v < nv; ++v) start[v + 1] += start[v];
            list.resize(start[nv]);
        }
        if (first >= 0) std::copy(local.begin(), local.end(), list.begin() + start[first]);
    }
}
