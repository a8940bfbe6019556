// Chamber painting, reset, and closing the painted regions into chamber walls.
#include "model/ChamberWalls.h"

#include "linalg/Diagnostics.h"
#include "mesh/HoleFilling.h"

namespace {

bool surfaceIsCut(const TLSMModel& model) {
    for (const SurfaceVertexSource& s : model.m_surfVtxSource)
        if (s.isBlend) return true;
    return false;
}

/// Chamber ids describe the full surface, one per triangle. When the surface shown is a cut or the
/// id list does not match it, the full surface is restored; ids that still do not fit are padded
/// with 0 (or cut back), so painting never writes past the list and a read never misses an entry.
void ensureChamberSurface(TLSMModel& model) {
    const bool idsMatch = static_cast<int>(model.m_polygonIDs.size()) == model.m_surface.polyCount();
    if (idsMatch && !surfaceIsCut(model)) return;
    model.rebuildSurface();
    if (static_cast<int>(model.m_polygonIDs.size()) != model.m_surface.polyCount())
        model.m_polygonIDs.resize(model.m_surface.polyCount(), 0);
    model.buildDrawOrder();
}

/// Closes one chamber's painted region; the wall list changes only on success.
bool buildOneChamber(TLSMModel& model, int chamberId) {
    std::vector<TTriangleMesh::Tri> painted;
    for (int i = 0; i < model.m_surface.polyCount(); ++i)
        if (model.m_polygonIDs[i] == chamberId) painted.push_back(model.m_surface.polys()[i]);

    TTriangleMesh region;
    region.initialize(model.m_surface.verts(), painted);
    // Every successful fill closes one loop for good, so the boundary edges run out; the bound only
    // guards against a structure that keeps reopening.
    for (int guard = 0; guard <= region.edgeCount(); ++guard) {
        int firstBoundary = -1;
        for (int e = 0; e < region.edgeCount(); ++e)
            if (region.edges()[e].faceL == -1 || region.edges()[e].faceR == -1) {
                firstBoundary = e;
                break;
            }
        if (firstBoundary == -1) {
            std::vector<TTriIndices>& walls = *chamberWalls(model, chamberId);
            walls.clear();
            walls.reserve(region.polys().size());
            for (const TTriangleMesh::Tri& t : region.polys())
                walls.push_back({model.m_surfVtxSource[t[0]].vertA, model.m_surfVtxSource[t[1]].vertA,
                                 model.m_surfVtxSource[t[2]].vertA});
            return true;
        }
        if (!fillHole(region, region.edges()[firstBoundary].vMin) || !region.checkStructure()) break;
    }
    diagPrintf("buildChamberWalls: chamber %d could not be closed; its previous walls are kept\n", chamberId);
    return false;
}

}  // namespace

std::vector<TTriIndices>* chamberWalls(TLSMModel& model, int chamberId) {
    switch (chamberId) {
        case 1:
            return &model.m_trisVR;
        case 2:
            return &model.m_trisVL;
        case 3:
            return &model.m_trisAR;
        case 4:
            return &model.m_trisAL;
        default:
            return nullptr;
    }
}

bool buildChamberWalls(TLSMModel& model, int chamberId) {
    if (chamberId < 0 || chamberId > 4) {
        diagPrintf("buildChamberWalls: chamber id %d out of range 0..4\n", chamberId);
        return false;
    }
    if (model.m_tets.empty()) return false;
    ensureChamberSurface(model);
    if (chamberId != 0) return buildOneChamber(model, chamberId);
    bool all = true;
    for (int c = 1; c <= 4; ++c) all = buildOneChamber(model, c) && all;
    return all;
}

void resetChambers(TLSMModel& model) {
    model.m_polygonIDs.clear();
    model.rebuildSurface();
    model.buildDrawOrder();
    model.m_polygonIDs.assign(model.m_surface.polyCount(), 0);
    model.m_trisVR.clear();
    model.m_trisVL.clear();
    model.m_trisAR.clear();
    model.m_trisAL.clear();
}

bool paintChamber(TLSMModel& model, const vec3& origin, const vec3& direction, int chamberId) {
    if (chamberId < 0 || chamberId > 4) {
        diagPrintf("paintChamber: chamber id %d out of range 0..4\n", chamberId);
        return false;
    }
    if (model.m_tets.empty()) return false;
    ensureChamberSurface(model);
    int triangle = -1;
    vec3 hit;
    // Mode 2: triangles facing away from the viewer, i.e. the inner walls seen through the front.
    if (!model.m_surface.pickByRay(origin, direction, 2, triangle, hit)) return false;

    const TTriangleMesh::Tri& corners = model.m_surface.polys()[triangle];
    int nearest = corners[0];
    double best = (model.m_surface.verts()[corners[0]] - hit).norm2();
    for (int c = 1; c < 3; ++c) {
        const double d = (model.m_surface.verts()[corners[c]] - hit).norm2();
        if (d < best) {
            best = d;
            nearest = corners[c];
        }
    }
    std::vector<int> around;
    model.m_surface.getOneRingPolygons(nearest, around);
    for (int p : around) model.m_polygonIDs[p] = static_cast<int16_t>(chamberId);
    return true;
}
