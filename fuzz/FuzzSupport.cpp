// Scratch files, quiet diagnostics and the fixed mesh of the fuzz targets.
#include "FuzzSupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "linalg/Diagnostics.h"
#include "mesh/StructuredTetMesh.h"
#include "model/TLSMModel.h"
#include "model/TTetMesh.h"

namespace fuzzsupport {

namespace {
std::string g_scratch;

void removeScratch() {
    if (g_scratch.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(g_scratch, ignored);
}
}  // namespace

const std::string& scratchDir() {
    if (g_scratch.empty()) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/velmora-fuzz-XXXXXX";
        if (!mkdtemp(pattern.data())) {
            std::perror("velmora fuzz: cannot create a scratch directory");
            std::abort();
        }
        g_scratch = pattern;
        std::atexit(removeScratch);
    }
    return g_scratch;
}

void writeBytes(const std::string& path, const uint8_t* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        std::perror(path.c_str());
        std::abort();
    }
    if (size > 0 && std::fwrite(data, 1, size, file) != size) {
        std::perror(path.c_str());
        std::abort();
    }
    std::fclose(file);
}

void quietDiagnostics() {
    const char* verbose = std::getenv("VELMORA_FUZZ_VERBOSE");
    if (verbose && *verbose && std::string(verbose) != "0") return;
    setDiagSink([](const std::string&) {});
}

const std::string& fixedMeshBase() {
    static std::string base;
    if (!base.empty()) return base;
    const StructuredTetMesh mesh =
        makeStructuredGrid(2, 2, 2, [](int i, int j, int k) { return vec3(i, 1.5 * j, 0.75 * k); });
    std::string node = std::to_string(mesh.verts.size()) + " 3 0 0\n";
    for (size_t i = 0; i < mesh.verts.size(); ++i) {
        char line[128];
        std::snprintf(line, sizeof line, "%zu %g %g %g\n", i, mesh.verts[i].x, mesh.verts[i].y, mesh.verts[i].z);
        node += line;
    }
    std::string ele = std::to_string(mesh.tets.size()) + " 4 0\n";
    for (size_t t = 0; t < mesh.tets.size(); ++t) {
        const Tetra& tet = mesh.tets[t];
        ele += std::to_string(t);
        for (int c : tet.vIdx) ele += " " + std::to_string(c);
        ele += '\n';
    }
    const std::string path = scratchDir() + "/fixed";
    writeBytes(path + ".node", reinterpret_cast<const uint8_t*>(node.data()), node.size());
    writeBytes(path + ".ele", reinterpret_cast<const uint8_t*>(ele.data()), ele.size());
    base = path;
    return base;
}

void buildModelWithoutOrientation(TLSMModel& model, TTetMesh& mesh) {
    calcNeighbor(mesh);
    calcFaceNormals(mesh);
    if (mesh.m_verts.size() > 1) TLSMModel::normalizeModelSize(mesh.m_verts);
    model.m_verts = mesh.m_verts;
    model.m_vtxOrigPos = mesh.m_verts;
    model.m_tets = mesh.m_tets;
    const int n = model.vertexCount();
    model.m_vtxIsVentriOrAtrium.assign(n, 0);
    model.m_vtxContraction.assign(n, vec3(1, 1, 1));
    model.m_vtxStretch.assign(n, {1, 0, 0, 0, 1, 0, 0, 0, 1});
    TLSMModel::constructNeighborForShapaMatching(model.m_tets, model.m_vtxOrigPos, model.m_smNeighbors);
    model.rebuildSurface();
    model.buildDrawOrder();
    model.m_polygonIDs.assign(model.m_surface.m_pSize, 0);
    model.m_excitation = std::make_unique<TGlobalExcitation>(model.m_tets, model.m_verts, model.m_vtxOrigPos);
    model.m_phaseField.setup(0.0, 1.0, 0.0, n);
    model.m_ampliField.setup(-1.0, 1.0, 1.0, n);
    model.m_orienField.m_depthField.setup(0.0, 1.0, 1.0, n);
    model.m_fieldMatrix = buildSmoothingMatrix(n, model.m_vtxOrigPos, model.m_smNeighbors);
    updateFieldHarmonic(model.m_phaseField, *model.m_fieldMatrix);
    updateFieldHarmonic(model.m_ampliField, *model.m_fieldMatrix);
}

}  // namespace fuzzsupport
