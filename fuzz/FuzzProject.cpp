// Fuzz target: a ".vm" project file for the fixed 27-vertex mesh: read, checked against the mesh,
// and when it matches, formatted again (it must read back whole: what was loaded can be saved) and
// applied to the model with the post-processing and the field updates of loading. The orientation
// record's frames and fibre lines are not recomputed (its depth field is): their fixed 22,000
// traced seeds would take most of every run.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "FuzzSupport.h"
#include "io/TetGenFile.h"
#include "model/ProjectFile.h"
#include "model/TLSMModel.h"

namespace {

std::unique_ptr<TTetMesh> g_mesh;

void checkIndices(const std::vector<TConstraint>& list, int n) {
    for (const TConstraint& c : list)
        for (int v : c.m_tetVertex)
            if (v < 0 || v >= n) std::abort();
}

void checkAppliedModel(const TLSMModel& model) {
    const int n = model.vertexCount();
    if (n != fuzzsupport::kFixedVertexCount || static_cast<int>(model.m_vtxOrigPos.size()) != n ||
        static_cast<int>(model.m_vtxIsVentriOrAtrium.size()) != n)
        std::abort();
    checkIndices(model.m_phaseField.m_constraints, n);
    checkIndices(model.m_ampliField.m_constraints, n);
    checkIndices(model.m_orienField.m_depthField.m_constraints, n);
    for (const TOrientationStroke& stroke : model.m_orienField.m_strokes)
        for (const TTetSample& s : stroke)
            for (int v : s.m_tetVertex)
                if (v < 0 || v >= n) std::abort();
    for (const auto* list : {&model.m_trisVR, &model.m_trisVL, &model.m_trisAR, &model.m_trisAL})
        for (const TTriIndices& t : *list)
            for (int v : t)
                if (v < 0 || v >= n) std::abort();
    // The draw order is a permutation of the surface triangles.
    std::vector<char> seen(model.m_surface.polyCount(), 0);
    if (static_cast<int>(model.m_triDrawOrder.size()) != model.m_surface.polyCount()) std::abort();
    for (int tri : model.m_triDrawOrder) {
        if (tri < 0 || tri >= model.m_surface.polyCount() || seen[tri]) std::abort();
        seen[tri] = 1;
    }
    for (const TSmoothField* field : {&model.m_phaseField, &model.m_ampliField})
        for (double v : field->m_value)
            if (!(v >= field->m_minValue && v <= field->m_maxValue)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::quietDiagnostics();
    g_mesh = std::make_unique<TTetMesh>();
    if (!loadTetMesh(*g_mesh, fuzzsupport::fixedMeshBase())) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzzsupport::writeInput("input.vm", data, size);
    TLSMModel model;
    fuzzsupport::buildModelWithoutOrientation(model, TTetMesh(*g_mesh));

    ProjectRecord record;
    std::string error, reason;
    if (!readProjectFile(path, record, error)) std::abort();  // the file exists and is readable
    if (!checkProjectRecord(record, model, reason)) return 0;

    std::string text;
    if (!formatProjectText(record, text, error)) std::abort();
    ProjectRecord again;
    parseProjectText(text, again);
    if (!again.endMarkerFound || again.entries.size() != record.entries.size() ||
        !checkProjectRecord(again, model, reason))
        std::abort();

    ProjectRecord withoutFrames = record;
    for (ProjectEntry& e : withoutFrames.entries)
        if (e.key == ProjectKey::OrienField) {
            model.m_orienField.m_depthField.m_constraints = e.constraints;
            model.m_orienField.updateField_RBF(model.m_orienField.m_depthField, model.m_vtxOrigPos);
            e.key = ProjectKey::OtherGravity;  // applies nothing
        }
    applyProjectRecord(model, withoutFrames);
    updateFieldHarmonic(model.m_phaseField, *model.m_fieldMatrix);
    updateFieldHarmonic(model.m_ampliField, *model.m_fieldMatrix);
    checkAppliedModel(model);
    return 0;
}
