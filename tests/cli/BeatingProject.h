// A project that makes any mesh beat, for the command-line tests.
#pragma once

#include <string>
#include <utility>

#include "linalg/Diagnostics.h"
#include "model/ProjectFile.h"
#include "model/TLSMModel.h"

namespace clitest {

/// Labels every vertex ventricle, makes the whole surface the left-ventricle wall (so chamber VL
/// measures the enclosed volume) and gives the ventricles a contraction chart; saved as base.vm.
/// False, with the reason in error, when the mesh cannot be loaded or the file written.
inline bool writeBeatingProject(const std::string& base, std::string& error) {
    DiagCapture quiet;
    TLSMModel model;
    if (!model.loadModel(base)) {
        error = "cannot load " + base;
        return false;
    }
    for (int v = 0; v < model.vertexCount(); ++v) model.m_vtxIsVentriOrAtrium[v] = 1;
    for (const auto& t : model.m_surface.polys()) {
        TTriIndices tri;
        for (int c = 0; c < 3; ++c) tri[c] = model.m_surfVtxSource[t[c]].vertA;
        std::swap(tri[1], tri[2]);  // wall triangles face into the measured volume
        model.m_trisVL.push_back(tri);
    }
    model.m_excitation->m_chartVent = {{0.0, 0.0}, {0.3, 0.9}, {0.6, 0.0}};
    model.m_excitation->m_amplitude = 0.3;
    return saveProjectTo(model, base + ".vm", error);
}

}  // namespace clitest
