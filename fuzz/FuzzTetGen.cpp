// Fuzz target: a TetGen .node/.ele pair, read and turned into a model. The input is split at its
// first NUL byte: the bytes before it are the .node file, the bytes after it the .ele file (without
// a NUL the whole input is the .node file and the .ele file is empty).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "FuzzSupport.h"
#include "io/TetGenFile.h"
#include "model/TLSMModel.h"

namespace {

/// A model that loaded names only vertices and tetrahedra it has; its positions and normals are numbers.
void checkLoadedModel(const TLSMModel& model) {
    const int n = model.vertexCount();
    const int nt = static_cast<int>(model.m_tets.size());
    for (const Tetra& t : model.m_tets) {
        for (int c : t.vIdx)
            if (c < 0 || c >= n) std::abort();
        for (int nb : t.nbr)
            if (nb < -1 || nb >= nt) std::abort();
        for (int k = 0; k < 4; ++k)
            if (!isFinite(tetFaceNormal(model.m_vtxOrigPos.data(), t, k))) std::abort();
    }
    for (const vec3& p : model.m_vtxOrigPos)
        if (!isFinite(p)) std::abort();
    for (const SurfaceVertexSource& s : model.m_surfVtxSource)
        if (s.vertA < 0 || s.vertA >= n) std::abort();
    if (static_cast<int>(model.m_smNeighbors.size()) != n) std::abort();
    for (const std::vector<int>& list : model.m_smNeighbors)
        for (int v : list)
            if (v < 0 || v >= n) std::abort();
    if (static_cast<int>(model.m_triDrawOrder.size()) != model.m_surface.polyCount()) std::abort();
    for (double v : model.m_phaseField.m_value)
        if (!std::isfinite(v)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::quietDiagnostics();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string base = fuzzsupport::scratchDir() + "/mesh";
    const auto* split = static_cast<const uint8_t*>(size ? std::memchr(data, 0, size) : nullptr);
    const size_t nodeSize = split ? static_cast<size_t>(split - data) : size;
    fuzzsupport::writeBytes(base + ".node", data, nodeSize);
    fuzzsupport::writeBytes(base + ".ele", split ? split + 1 : data + size, split ? size - nodeSize - 1 : 0);
    TTetMesh mesh;
    if (!loadTetMesh(mesh, base)) {
        if (!mesh.m_verts.empty() || !mesh.m_tets.empty()) std::abort();  // a refused pair leaves the mesh empty
        return 0;
    }
    TLSMModel model;
    fuzzsupport::buildModelWithoutOrientation(model, std::move(mesh));
    checkLoadedModel(model);
    return 0;
}
