// Fuzz target: a fibre-stroke file read into the model of the fixed 27-vertex mesh, each point
// tied to its nearest tetrahedron. The strokes read must be savable again (finite weights).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "FuzzSupport.h"
#include "model/ProjectFile.h"
#include "model/TLSMModel.h"

namespace {
std::unique_ptr<TLSMModel> g_model;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::quietDiagnostics();
    g_model = fuzzsupport::makeFixedModel();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TLSMModel& model = *g_model;
    const std::string path = fuzzsupport::writeInput("input.vmfigstrs", data, size);
    const size_t before = model.m_orienField.m_strokes.size();
    if (!readStrokeFile(model, path)) {
        if (model.m_orienField.m_strokes.size() != before) std::abort();  // a refused file changes nothing
        return 0;
    }
    const int n = model.vertexCount();
    for (const TOrientationStroke& stroke : model.m_orienField.m_strokes)
        for (const TTetSample& s : stroke)
            for (int k = 0; k < 4; ++k)
                if (s.m_tetVertex[k] < 0 || s.m_tetVertex[k] >= n || !std::isfinite(s.m_weight[k])) std::abort();
    return 0;
}
