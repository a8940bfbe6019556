// A heart model set up in code, as far as loading would, for the simulation tests and benchmarks.
#pragma once

#include <memory>

#include "common/TestMeshes.h"
#include "linalg/Diagnostics.h"
#include "mesh/TTetMesh.h"
#include "model/TLSMModel.h"

namespace simtest {

/// Mesh with neighbours, neighbourhoods, surface, default fields, the given label on every vertex,
/// frames with the fibre along `fibre` (completed to an orthonormal frame) and an initialised
/// simulator. Diagnostics of the set-up are swallowed.
inline void setUpModel(TLSMModel& model, const testmesh::TetData& data, int16_t label = 1,
                       const vec3& fibre = vec3(1, 0, 0)) {
    DiagCapture quiet;
    model.setUpFromMesh(TTetMesh{data.verts, data.tets}, false);
    const int n = model.vertexCount();
    model.m_vtxIsVentriOrAtrium.assign(n, label);

    TVertexFrame frame;
    frame.m_primaryDir = fibre / fibre.norm();
    const vec3 helper = std::fabs(frame.m_primaryDir.x) < 0.9 ? vec3(1, 0, 0) : vec3(0, 1, 0);
    frame.m_depthDir = frame.m_primaryDir.cross(helper);
    frame.m_depthDir /= frame.m_depthDir.norm();
    frame.m_thirdDir = frame.m_primaryDir.cross(frame.m_depthDir);
    model.m_orienField.m_frames.assign(n, frame);
    model.m_simulator.initSimulator(model.m_vtxOrigPos, model.m_tets, model.m_smNeighbors, model.m_orienField.m_frames);
}

/// Signed volume of the tetrahedra at the given positions.
inline double signedVolume(const std::vector<Tetra>& tets, const std::vector<vec3>& p) {
    double v6 = 0.0;
    for (const Tetra& t : tets) v6 += signedVolume6(p[t.vIdx[0]], p[t.vIdx[1]], p[t.vIdx[2]], p[t.vIdx[3]]);
    return v6 / 6.0;
}

}  // namespace simtest
