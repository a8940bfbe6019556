// velmora-cli make-model: writes the bundled models (the structured tube, the authored heart).
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "CliCommon.h"
#include "HeartAuthoring.h"
#include "linalg/Diagnostics.h"
#include "mesh/StructuredTetMesh.h"
#include "model/ChamberWalls.h"
#include "model/ModelGeometry.h"
#include "model/ProjectFile.h"
#include "model/TGlobalExcitation.h"
#include "model/TLSMModel.h"

namespace {

bool writeTetGenPair(const StructuredTetMesh& mesh, const std::string& base) {
    std::FILE* node = std::fopen((base + ".node").c_str(), "w");
    if (!node) return false;
    std::fprintf(node, "%d 3 0 0\n", static_cast<int>(mesh.verts.size()));
    for (size_t i = 0; i < mesh.verts.size(); ++i)
        std::fprintf(node, "%d %.10f %.10f %.10f\n", static_cast<int>(i), mesh.verts[i].x, mesh.verts[i].y,
                     mesh.verts[i].z);
    const bool nodeOk = std::fclose(node) == 0;
    std::FILE* ele = std::fopen((base + ".ele").c_str(), "w");
    if (!ele) return false;
    std::fprintf(ele, "%d 4 0\n", static_cast<int>(mesh.tets.size()));
    for (size_t j = 0; j < mesh.tets.size(); ++j) {
        const Tetra& t = mesh.tets[j];
        std::fprintf(ele, "%d %d %d %d %d\n", static_cast<int>(j), t.vIdx[0], t.vIdx[1], t.vIdx[2], t.vIdx[3]);
    }
    return std::fclose(ele) == 0 && nodeOk;
}

constexpr int kTubeAngles = 30;
constexpr int kTubeLayers = 4;
constexpr int16_t kLeftVentricle = 2;

/// The bundled tube: the structured mesh and a project file that makes it beat when it is opened.
/// It is placed as the paint dialog's "normalize" places a model (largest extent 40, box centred on
/// (20, 20, 20), where the default camera looks), shrunk about that centre to fit the start view
/// with a margin; every vertex is a ventricle contracting with the
/// experiment chart, and the inner wall is the left ventricle's chamber, closed at both ends, so the
/// volume plot measures the lumen.
int makeTubeModel(const std::string& out) {
    if (!writeTetGenPair(makeTube(), out)) {
        std::fprintf(stderr, "velmora-cli: cannot write %s.node/.ele\n", out.c_str());
        return 1;
    }
    std::error_code ec;
    std::filesystem::remove(out + ".vm", ec);  // author from the bare mesh
    TLSMModel model;
    if (!model.loadModel(out) || !normalizeModelPlacement(model) ||
        fitModelInFrustum(model, homeViewFrustum(), kHomeViewFill) <= 0.0) {
        std::fprintf(stderr, "velmora-cli: cannot load %s\n", out.c_str());
        return 1;
    }
    std::fill(model.m_vtxIsVentriOrAtrium.begin(), model.m_vtxIsVentriOrAtrium.end(), int16_t{1});
    TGlobalExcitation& excitation = *model.m_excitation;
    excitation.m_chartVent = {{0.0, 0.0}, {0.25, 0.0}, {0.5, 1.0}, {0.75, 1.0}};
    excitation.m_chartAtri = {{0.0, 0.0}};
    buildTables(excitation);
    // The inner wall: surface triangles whose corners all lie on the innermost radial layer.
    for (int i = 0; i < model.m_surface.polyCount(); ++i) {
        bool inner = true;
        for (int c : model.m_surface.polys()[i])
            inner = inner && (model.m_surfVtxSource[c].vertA / kTubeAngles) % kTubeLayers == 0;
        if (inner) model.m_polygonIDs[i] = kLeftVentricle;
    }
    if (!buildChamberWalls(model, kLeftVentricle)) {
        std::fprintf(stderr, "velmora-cli: the tube's inner wall does not close\n");
        return 1;
    }
    std::string error;
    if (!saveProjectTo(model, out + ".vm", error)) {
        std::fprintf(stderr, "velmora-cli: cannot write %s.vm: %s\n", out.c_str(), error.c_str());
        return 1;
    }
    return 0;
}

int makeHeart(const std::string& out, const std::string& meshBase) {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const char* ext : {".node", ".ele"}) {
        if (fs::absolute(meshBase + ext, ec) == fs::absolute(out + ext, ec)) continue;
        fs::copy_file(meshBase + ext, out + ext, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            std::fprintf(stderr, "velmora-cli: cannot copy %s%s to %s%s: %s\n", meshBase.c_str(), ext, out.c_str(), ext,
                         ec.message().c_str());
            return 1;
        }
    }
    fs::remove(out + ".vm", ec);  // author from the bare mesh
    TLSMModel model;
    if (!model.loadModel(out)) {
        std::fprintf(stderr, "velmora-cli: cannot load %s\n", out.c_str());
        return 1;
    }
    if (!authorHeartProject(model, meshBase)) return 1;
    std::string error;
    if (!saveProjectTo(model, out + ".vm", error)) {
        std::fprintf(stderr, "velmora-cli: cannot write %s.vm: %s\n", out.c_str(), error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int runMakeModel(const std::vector<std::string>& args) {
    CliArgs cli;
    const char* usage =
        "usage: velmora-cli make-model tube OUTBASE [--quiet]\n"
        "       velmora-cli make-model heart OUTBASE --mesh MESHBASE [--quiet]\n";
    if (!parseCliArgs(args, {"mesh"}, {"quiet"}, cli) || cli.positional.size() != 2) {
        std::fputs(usage, stderr);
        return 2;
    }
    if (cli.has("quiet")) setDiagQuiet(true);
    const std::string& kind = cli.positional[0];
    const std::string out = basePathOf(cli.positional[1]);
    if (kind == "tube" && !cli.has("mesh")) return makeTubeModel(out);
    if (kind == "heart" && cli.has("mesh")) return makeHeart(out, basePathOf(cli.value("mesh")));
    std::fputs(usage, stderr);
    return 2;
}
