// TTetMesh: validating TetGen reader, neighbour search over vertex incidence lists, face normals.
#include "model/TTetMesh.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "io/TextTokens.h"
#include "linalg/Diagnostics.h"
#include "mesh/TetMeshLimits.h"

namespace {

constexpr double kMaxCoordinate = kMaxTetMeshCoordinate;
constexpr double kMinExtent = kMinTetMeshExtent;

/// Whitespace tokens of a text file with their line numbers; '#' starts a comment to the line end.
class TokenFile {
public:
    bool open(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        if (!in) return false;
        std::ostringstream buffer;
        buffer << in.rdbuf();
        m_text = buffer.str();
        m_path = path;
        return true;
    }

    size_t bytes() const { return m_text.size(); }
    const std::string& path() const { return m_path; }
    int line() const { return m_line; }

    /// Next token or false at the end of the file.
    bool next(std::string& token) {
        const size_t n = m_text.size();
        while (m_pos < n) {
            const char c = m_text[m_pos];
            if (c == '#') {
                while (m_pos < n && m_text[m_pos] != '\n') ++m_pos;
            } else if (c == '\n') {
                ++m_line;
                ++m_pos;
            } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
                ++m_pos;
            } else {
                break;
            }
        }
        if (m_pos >= n) return false;
        const size_t start = m_pos;
        while (m_pos < n) {
            const char c = m_text[m_pos];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v' || c == '#') break;
            ++m_pos;
        }
        token.assign(m_text, start, m_pos - start);
        return true;
    }

    /// Upper bound on the tokens left: every token needs at least one character and one separator.
    size_t maxTokensLeft() const { return (m_text.size() - m_pos) / 2 + 1; }

    bool fail(const char* what) const {
        diagPrintf("loadTetMesh: %s (%s:%d)\n", what, m_path.c_str(), m_line);
        return false;
    }

    bool readInt(long long& value, const char* what) {
        std::string t;
        if (!next(t)) return fail((std::string("file ends before ") + what).c_str());
        errno = 0;
        char* end = nullptr;
        const long long v = std::strtoll(t.c_str(), &end, 10);
        if (end == t.c_str() || *end != '\0' || errno == ERANGE)
            return fail((std::string("expected an integer for ") + what + ", found '" + shownToken(t) + "'").c_str());
        value = v;
        return true;
    }

    bool readReal(double& value, const char* what) {
        std::string t;
        if (!next(t)) return fail((std::string("file ends before ") + what).c_str());
        char* end = nullptr;
        const double v = std::strtod(t.c_str(), &end);
        if (end == t.c_str() || *end != '\0')
            return fail((std::string("expected a number for ") + what + ", found '" + shownToken(t) + "'").c_str());
        if (!std::isfinite(v)) return fail((std::string("non-finite ") + what).c_str());
        if (std::fabs(v) > kMaxCoordinate)
            return fail((std::string(what) + " " + shownToken(t) + " is beyond +-1e60").c_str());
        value = v;
        return true;
    }

    bool skip(long long count, const char* what) {
        std::string t;
        for (long long i = 0; i < count; ++i)
            if (!next(t)) return fail((std::string("file ends before ") + what).c_str());
        return true;
    }

private:
    std::string m_text;
    std::string m_path;
    size_t m_pos = 0;
    int m_line = 1;
};

bool checkCount(TokenFile& f, long long count, long long tokensPerRecord, const char* what) {
    if (count < 0) return f.fail((std::string("negative ") + what + " count").c_str());
    if (count > kMaxTetMeshCount ||
        static_cast<unsigned long long>(count) * static_cast<unsigned long long>(tokensPerRecord) > f.maxTokensLeft())
        return f.fail((std::string(what) + " count exceeds what the file holds").c_str());
    return true;
}

bool readNodes(const std::string& path, std::vector<vec3>& verts) {
    TokenFile f;
    if (!f.open(path)) {
        diagPrintf("Could not open file: %s\n", path.c_str());
        return false;
    }
    long long n = 0, dim = 0, attributes = 0, markers = 0;
    if (!f.readInt(n, "vertex count") || !f.readInt(dim, "dimension") || !f.readInt(attributes, "attribute count") ||
        !f.readInt(markers, "boundary-marker flag"))
        return false;
    if (attributes < 0 || attributes > 1000) return f.fail("attribute count out of range");
    if (markers != 0 && markers != 1) return f.fail("boundary-marker flag must be 0 or 1");
    const long long extra = attributes + markers;
    if (!checkCount(f, n, 4 + extra, "vertex")) return false;
    verts.assign(static_cast<size_t>(n), vec3());
    for (long long i = 0; i < n; ++i) {
        long long number = 0;
        if (!f.readInt(number, "vertex number") || !f.readReal(verts[i].x, "x coordinate") ||
            !f.readReal(verts[i].y, "y coordinate") || !f.readReal(verts[i].z, "z coordinate") ||
            !f.skip(extra, "vertex attributes"))
            return false;
    }
    double extent = 0.0;
    if (!verts.empty()) {
        vec3 lo = verts[0], hi = verts[0];
        for (const vec3& p : verts)
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min(lo[a], p[a]);
                hi[a] = std::max(hi[a], p[a]);
            }
        extent = std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z});
    }
    // All vertices at one point is allowed (the model is then only centred); a span that cannot be
    // scaled up is not.
    if (extent > 0.0 && extent < kMinExtent) {
        diagPrintf("loadTetMesh: the vertices span only %g, less than the 1e-60 a mesh needs to be scaled (%s)\n",
                   extent, path.c_str());
        return false;
    }
    return true;
}

bool readElements(const std::string& path, long long vertexCount, std::vector<Tetra>& tets) {
    TokenFile f;
    if (!f.open(path)) {
        diagPrintf("Could not open file: %s\n", path.c_str());
        return false;
    }
    long long m = 0, nodesPerTet = 0, attributes = 0;
    if (!f.readInt(m, "tetrahedron count") || !f.readInt(nodesPerTet, "nodes per tetrahedron") ||
        !f.readInt(attributes, "attribute count"))
        return false;
    // The plain layout writes 0 here; TetGen writes 4 or 10 (second-order elements list extra nodes).
    if (nodesPerTet == 0) nodesPerTet = 4;
    if (nodesPerTet != 4 && nodesPerTet != 10) return f.fail("nodes per tetrahedron must be 4 or 10");
    if (attributes < 0 || attributes > 1000) return f.fail("attribute count out of range");
    if (!checkCount(f, m, 1 + nodesPerTet + attributes, "tetrahedron")) return false;
    tets.assign(static_cast<size_t>(m), Tetra());
    std::vector<int> lines(static_cast<size_t>(m), 0);
    long long minIndex = 0, maxIndex = -1;
    for (long long j = 0; j < m; ++j) {
        long long number = 0;
        if (!f.readInt(number, "tetrahedron number")) return false;
        lines[j] = f.line();
        for (int k = 0; k < 4; ++k) {
            long long c = 0;
            if (!f.readInt(c, "corner index")) return false;
            if (c < -1 || c > 0x7fffffffLL) {
                diagPrintf("loadTetMesh: corner index %lld out of range (%s:%d)\n", c, path.c_str(), f.line());
                return false;
            }
            tets[j].vIdx[k] = static_cast<int>(c);
            if (j == 0 && k == 0) minIndex = maxIndex = c;
            minIndex = std::min(minIndex, c);
            maxIndex = std::max(maxIndex, c);
        }
        if (!f.skip(nodesPerTet - 4 + attributes, "tetrahedron attributes")) return false;
    }
    if (m == 0 || (minIndex >= 0 && maxIndex < vertexCount)) return true;

    // TetGen numbers from 1 unless told otherwise: a file that cannot be 0-based but fits 1..n is read so.
    if (maxIndex == vertexCount && minIndex >= 1) {
        for (Tetra& t : tets)
            for (int& c : t.vIdx) --c;
        diagPrintf("loadTetMesh: %s numbers its corners from 1; read as 1-based\n", path.c_str());
        return true;
    }
    for (long long j = 0; j < m; ++j)
        for (int c : tets[j].vIdx)
            if (c < 0 || c >= vertexCount) {
                diagPrintf("loadTetMesh: corner index %d out of range (%s:%d)\n", c, path.c_str(), lines[j]);
                return false;
            }
    return false;
}

}  // namespace

bool loadTetMesh(TTetMesh& mesh, const std::string& basePath) {
    diagPrintf("load tetMesh filepath = %s \n", basePath.c_str());
    mesh.m_verts.clear();
    mesh.m_tets.clear();
    std::vector<vec3> verts;
    std::vector<Tetra> tets;
    if (!readNodes(basePath + ".node", verts)) return false;
    if (!readElements(basePath + ".ele", static_cast<long long>(verts.size()), tets)) return false;
    mesh.m_verts = std::move(verts);
    mesh.m_tets = std::move(tets);
    return true;
}

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
