// TLSMModel: loading, neighbourhoods, size normalisation, surface extraction and draw order.
#include "model/TLSMModel.h"

#include <algorithm>
#include <atomic>
#include <numeric>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "io/TetGenFile.h"
#include "linalg/Diagnostics.h"
#include "model/LoadProgress.h"
#include "model/ProjectFile.h"

namespace {

/// One console line each for tetrahedra with a repeated corner, tetrahedra of zero volume,
/// inverted tetrahedra, a mesh without extent and vertices no tetrahedron uses: the model loads,
/// but such elements add nothing to the volume and give their clusters no shape to match.
void warnAboutDegenerateMesh(const TTetMesh& mesh, const std::string& basePath) {
    int repeated = 0, flat = 0, inverted = 0;
    for (const Tetra& t : mesh.m_tets) {
        const int* c = t.vIdx;
        if (c[0] == c[1] || c[0] == c[2] || c[0] == c[3] || c[1] == c[2] || c[1] == c[3] || c[2] == c[3]) {
            ++repeated;
            continue;
        }
        const double volume6 =
            signedVolume6(mesh.m_verts[c[0]], mesh.m_verts[c[1]], mesh.m_verts[c[2]], mesh.m_verts[c[3]]);
        if (volume6 == 0.0) ++flat;
        if (volume6 < 0.0) ++inverted;
    }
    if (repeated > 0)
        diagPrintf("loadModel: %d of %d tetrahedra repeat a corner (%s.ele)\n", repeated,
                   static_cast<int>(mesh.m_tets.size()), basePath.c_str());
    if (flat > 0)
        diagPrintf("loadModel: %d of %d tetrahedra have zero volume (%s.ele)\n", flat,
                   static_cast<int>(mesh.m_tets.size()), basePath.c_str());
    // Inside out: the rest volume counts them as zero and their boundary faces point inwards.
    if (inverted > 0)
        diagPrintf("loadModel: %d of %d tetrahedra are inverted, with a negative volume (%s.ele)\n", inverted,
                   static_cast<int>(mesh.m_tets.size()), basePath.c_str());
    if (!mesh.m_verts.empty()) {
        vec3 lo = mesh.m_verts[0], hi = lo;
        for (const vec3& p : mesh.m_verts)
            for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], p[a]), hi[a] = std::max(hi[a], p[a]);
        if (lo == hi)
            diagPrintf("loadModel: every vertex lies at one point, the mesh has no extent (%s.node)\n",
                       basePath.c_str());
    }
    // A vertex no tetrahedron names is legal in TetGen's format; it belongs to no cluster and never
    // moves, which is worth a line (a file written with the wrong index base shows this way too).
    if (!mesh.m_tets.empty()) {
        std::vector<char> used(mesh.m_verts.size(), 0);
        for (const Tetra& t : mesh.m_tets)
            for (int c : t.vIdx) used[c] = 1;
        const long unused = std::count(used.begin(), used.end(), 0);
        if (unused > 0)
            diagPrintf(
                "loadModel: %ld of %d vertices belong to no tetrahedron and take no part in the beat (%s.node)\n",
                unused, static_cast<int>(mesh.m_verts.size()), basePath.c_str());
    }
}

/// Prints one refusal line and keeps it (without its newline) as the reason.
bool refuseMesh(std::string* reason, const std::string& line) {
    diagPrintf("%s\n", line.c_str());
    if (reason) *reason = line;
    return false;
}

/// A mesh the model can be built on has vertices, tetrahedra, at least one tetrahedron with a
/// volume at the normalised size and a boundary face to draw, measure and pick; anything less
/// is an empty mesh and is refused, since every later step (simulator set-up, volumes, the view's
/// fit) needs them. Neighbours must have been computed.
bool checkMeshHasContent(const TTetMesh& mesh, const std::string& basePath, std::string* reason) {
    if (mesh.m_verts.empty())
        return refuseMesh(reason, "loadModel: " + basePath + ".node holds no vertices: the mesh is empty");
    if (mesh.m_tets.empty())
        return refuseMesh(reason, "loadModel: " + basePath + ".ele holds no tetrahedra: the mesh is empty");
    const std::vector<vec3>& p = mesh.m_verts;
    const bool hasVolume = std::any_of(mesh.m_tets.begin(), mesh.m_tets.end(), [&](const Tetra& t) {
        return signedVolume6(p[t.vIdx[0]], p[t.vIdx[1]], p[t.vIdx[2]], p[t.vIdx[3]]) != 0.0;
    });
    if (!hasVolume)
        return refuseMesh(reason, "loadModel: no tetrahedron of " + basePath +
                                      ".ele has a volume (each is flat or repeats a corner): the mesh is empty");
    const bool hasBoundary = std::any_of(mesh.m_tets.begin(), mesh.m_tets.end(), [](const Tetra& t) {
        return t.nbr[0] == -1 || t.nbr[1] == -1 || t.nbr[2] == -1 || t.nbr[3] == -1;
    });
    if (!hasBoundary)
        return refuseMesh(reason, "loadModel: every face of " + basePath +
                                      ".ele is shared by two tetrahedra (are tetrahedra listed twice?): the mesh "
                                      "has no surface");
    return true;
}

/// Tells progress (when given) that the load enters stage; false, with the reason, when the
/// caller has asked the load to stop.
bool enterStage(LoadProgress* progress, const char* stage, std::string* reason) {
    if (!progress) return true;
    if (progress->cancelled()) {
        if (reason) *reason = "loadModel: cancelled";
        return false;
    }
    progress->stage(stage);
    return true;
}

}  // namespace

TLSMModel::TLSMModel() {
    static std::atomic<std::uint64_t> s_lastSerial{0};
    m_instanceSerial = ++s_lastSerial;
}
TLSMModel::~TLSMModel() = default;

bool TLSMModel::loadModel(const std::string& basePath, std::string* reason, LoadProgress* progress) {
    m_filePath = basePath;
    TTetMesh mesh;
    if (!enterStage(progress, loadstage::kReading, reason)) return false;
    if (!loadTetMesh(mesh, basePath, reason)) return false;
    if (!enterStage(progress, loadstage::kSurface, reason)) return false;
    warnAboutDegenerateMesh(mesh, basePath);
    calcNeighbor(mesh);
    if (mesh.m_verts.size() > 1) normalizeModelSize(mesh.m_verts);
    if (!checkMeshHasContent(mesh, basePath, reason)) return false;
    adoptMesh(std::move(mesh));
    if (!enterStage(progress, loadstage::kFields, reason)) return false;
    m_orienField.initOrientationField(m_tets, m_vtxOrigPos);
    // Built by the first field solve that needs it (the neighbourhoods do not change after loading).
    m_fieldMatrix.setRecipe(vertexCount(),
                            [this] { return buildSmoothingMatrix(vertexCount(), m_vtxOrigPos, m_smNeighbors); });

    m_projectLoad = loadProject(*this, basePath + ".vm");

    // The clusters take the frames as they stand now: those recomputed from the project file's
    // strokes, or the identity frames without one.
    if (!enterStage(progress, loadstage::kClusters, reason)) return false;
    m_simulator.initSimulator(m_vtxOrigPos, m_tets, m_smNeighbors, m_orienField.m_frames);
    if (!enterStage(progress, loadstage::kFields, reason)) return false;
    updateFieldHarmonic(m_phaseField, m_fieldMatrix);
    updateFieldHarmonic(m_ampliField, m_fieldMatrix);
    settleFramesAfterProject(*this);
#ifdef __GLIBC__
    // Loading a research mesh frees some hundred megabytes of temporaries in pieces the allocator
    // keeps: hand them back now rather than holding them through the beat.
    malloc_trim(0);
#endif
    return true;
}

void TLSMModel::setUpFromMesh(TTetMesh&& mesh, bool normalizeSize) {
    calcNeighbor(mesh);
    if (normalizeSize && mesh.m_verts.size() > 1) normalizeModelSize(mesh.m_verts);
    adoptMesh(std::move(mesh));
}

void TLSMModel::adoptMesh(TTetMesh&& mesh) {
    m_verts = mesh.m_verts;
    m_vtxOrigPos = mesh.m_verts;
    m_tets = std::move(mesh.m_tets);
    const int n = vertexCount();

    m_vtxIsVentriOrAtrium.assign(n, 0);
    m_fixedVerts.clear();
    m_vtxContraction.assign(n, vec3(1, 1, 1));
    m_vtxStretch.assign(n, {1, 0, 0, 0, 1, 0, 0, 0, 1});

    m_smNeighbors.clear();
    constructNeighborForShapaMatching(m_tets, m_vtxOrigPos, m_smNeighbors);

    rebuildSurface();
    buildDrawOrder();
    m_polygonIDs.assign(m_surface.polyCount(), 0);

    m_excitation = std::make_unique<TGlobalExcitation>(m_tets, m_verts, m_vtxOrigPos);
    m_phaseField.setup(0.0, 1.0, 0.0, n);
    m_ampliField.setup(-1.0, 1.0, 1.0, n);
}

void TLSMModel::constructNeighborForShapaMatching(const std::vector<Tetra>& tets, const std::vector<vec3>& positions,
                                                  std::vector<std::vector<int>>& neighbours) {
    const int n = static_cast<int>(positions.size());
    diagPrintf("constructNeighborForShapaMatching %d %d\n", static_cast<int>(tets.size()), n);
    neighbours.assign(n, {});
    if (n == 1200) {
        // Structured tube: 10 levels x 4 radial layers x 30 angles.
        for (int level = 0; level < 10; ++level)
            for (int layer = 0; layer < 4; ++layer)
                for (int angle = 0; angle < 30; ++angle) {
                    std::vector<int>& list = neighbours[(level * 4 + layer) * 30 + angle];
                    for (int dl = -1; dl <= 1; ++dl) {
                        const int l = level + dl;
                        if (l < 0 || l > 9) continue;
                        for (int dr = -1; dr <= 1; ++dr) {
                            const int r = layer + dr;
                            if (r < 0 || r > 3) continue;
                            for (int da = -1; da <= 1; ++da) {
                                const int a = (angle + da + 30) % 30;
                                list.push_back((l * 4 + r) * 30 + a);
                            }
                        }
                    }
                    std::sort(list.begin(), list.end());
                    list.erase(std::unique(list.begin(), list.end()), list.end());
                }
    } else {
        // The vertex stars, each list allocated at its exact size.
        std::vector<int> start, list;
        buildVertexStars(tets, n, start, list);
        for (int v = 0; v < n; ++v) neighbours[v].assign(list.begin() + start[v], list.begin() + start[v + 1]);
    }
    diagPrintf("....constructNeighborForShapaMatching...done\n");
}

void TLSMModel::normalizeModelSize(std::vector<vec3>& positions) {
    if (positions.empty()) return;
    vec3 lo = positions[0], hi = positions[0], mean;
    for (const vec3& p : positions) {
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], p[a]);
            hi[a] = std::max(hi[a], p[a]);
        }
        mean += p;
    }
    mean /= static_cast<double>(positions.size());
    const double extent = std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z});
    // A mesh of zero extent cannot be scaled; it is only centred.
    const double scale = extent > 0.0 ? 20.0 * 0.5 / extent : 1.0;
    for (vec3& p : positions) p = (p - mean) * scale + vec3(0, 0, 0);
}

void TLSMModel::rebuildSurface() {
    std::vector<int> surfIndexOf(m_verts.size(), -1);
    std::vector<int> tetVertexOf;
    std::vector<vec3> positions;
    std::vector<TTriangleMesh::Tri> triangles;
    for (const Tetra& t : m_tets) {
        for (int k = 0; k < 4; ++k) {
            if (t.nbr[k] != -1) continue;
            TTriangleMesh::Tri tri;
            for (int c = 0; c < 3; ++c) {
                const int v = t.vIdx[kFaceCornersOutward[k][c]];
                if (surfIndexOf[v] == -1) {
                    surfIndexOf[v] = static_cast<int>(tetVertexOf.size());
                    tetVertexOf.push_back(v);
                    positions.push_back(m_verts[v]);
                }
                tri[c] = surfIndexOf[v];
            }
            triangles.push_back(tri);
        }
    }
    if (m_surface.initialize(positions, triangles) == 0) diagPrintf("aaaaaa\n");
    m_surfVtxSource.assign(tetVertexOf.size(), SurfaceVertexSource());
    m_surfVtxTag.assign(tetVertexOf.size(), 0);
    for (size_t i = 0; i < tetVertexOf.size(); ++i) m_surfVtxSource[i].vertA = tetVertexOf[i];
}

void TLSMModel::updateSurfacePositions() {
    const int count = std::min(static_cast<int>(m_surfVtxSource.size()), m_surface.vertexCount());
#pragma omp parallel for schedule(static) \
    num_threads(std::max(1, m_simulator.threadCount())) if (count >= kParallelVertices)
    for (int i = 0; i < count; ++i) {
        const SurfaceVertexSource& s = m_surfVtxSource[i];
        m_surface.setVertex(i, s.isBlend ? m_verts[s.vertB] * s.t + m_verts[s.vertA] * (1.0 - s.t) : m_verts[s.vertA]);
    }
    m_surface.updateNormals();
}

void TLSMModel::buildDrawOrder() { m_triDrawOrder = computeDrawOrder(); }

std::vector<int> TLSMModel::computeDrawOrder() const {
    const int count = m_surface.polyCount();
    std::vector<double> key(count);
    for (int i = 0; i < count; ++i) {
        const TTriangleMesh::Tri& t = m_surface.polys()[i];
        key[i] = m_surface.verts()[t[0]].z + m_surface.verts()[t[1]].z + m_surface.verts()[t[2]].z;
    }
    std::vector<int> order(count);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return key[a] < key[b]; });
    if (static_cast<int>(m_polygonIDs.size()) != count) return order;
    std::vector<int> grouped;
    grouped.reserve(count);
    for (int id : {1, 2, 3, 4, 0})
        for (int tri : order)
            if (m_polygonIDs[tri] == id) grouped.push_back(tri);
    // Ids outside 0..4 keep their place at the end rather than vanishing from the order.
    for (int tri : order)
        if (m_polygonIDs[tri] < 0 || m_polygonIDs[tri] > 4) grouped.push_back(tri);
    return grouped;
}
