// Scratch files, quiet diagnostics and the fixed mesh of the fuzz targets.
#include "FuzzSupport.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>

#include "io/TetGenFile.h"
#include "linalg/Diagnostics.h"
#include "mesh/StructuredTetMesh.h"
#include "model/TLSMModel.h"

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

std::unique_ptr<TLSMModel> makeFixedModel() {
    TTetMesh mesh;
    if (!loadTetMesh(mesh, fixedMeshBase())) std::abort();
    auto model = std::make_unique<TLSMModel>();
    buildModelWithoutOrientation(*model, std::move(mesh));
    return model;
}

std::string writeInput(const std::string& name, const uint8_t* data, size_t size) {
    const std::string path = scratchDir() + "/" + name;
    writeBytes(path, data, size);
    return path;
}

void buildModelWithoutOrientation(TLSMModel& model, TTetMesh&& mesh) {
    model.setUpFromMesh(std::move(mesh), true);
    model.m_orienField.m_depthField.setup(0.0, 1.0, 1.0, model.vertexCount());
    model.m_fieldMatrix = buildSmoothingMatrix(model.vertexCount(), model.m_vtxOrigPos, model.m_smNeighbors);
    updateFieldHarmonic(model.m_phaseField, *model.m_fieldMatrix);
    updateFieldHarmonic(model.m_ampliField, *model.m_fieldMatrix);
}

}  // namespace fuzzsupport
