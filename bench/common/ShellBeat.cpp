// The beat the simulation benchmarks give a shell.
#include "common/ShellBeat.h"

#include <algorithm>
#include <cmath>

#include "model/TGlobalExcitation.h"
#include "model/TLSMModel.h"

namespace benchmesh {

void authorBeat(TLSMModel& model) {
    const int n = model.vertexCount();
    vec3 lo = model.m_vtxOrigPos[0], hi = lo;
    for (const vec3& p : model.m_vtxOrigPos)
        for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], p[a]), hi[a] = std::max(hi[a], p[a]);
    const vec3 centre = (lo + hi) * 0.5;
    const double height = std::max(hi.y - lo.y, 1e-9);
    model.m_vtxIsVentriOrAtrium.assign(n, 1);
    model.m_orienField.m_frames.resize(n);
    for (int v = 0; v < n; ++v) {
        const vec3 p = model.m_vtxOrigPos[v] - centre;
        const double along = (model.m_vtxOrigPos[v].y - lo.y) / height;
        vec3 around(-p.z, 0.0, p.x);
        if (around.norm() < 1e-9) around = vec3(1, 0, 0);
        around /= around.norm();
        const double pitch = -1.0 + 2.0 * along;  // about -57 to +57 degrees
        TVertexFrame& f = model.m_orienField.m_frames[v];
        f.m_primaryDir = around * std::cos(pitch) + vec3(0, 1, 0) * std::sin(pitch);
        f.m_depthDir = around * -std::sin(pitch) + vec3(0, 1, 0) * std::cos(pitch);
        f.m_thirdDir = f.m_primaryDir.cross(f.m_depthDir);
        model.m_phaseField.m_value[v] = along;
    }
    TGlobalExcitation& e = *model.m_excitation;
    e.m_chartVent = {{0.0, 0.0}, {0.2, 0.8}, {0.5, 0.9}, {0.7, 0.0}};
    e.m_propagationMode = true;
    buildTables(e);
    model.m_simulator.initSimulator(model.m_vtxOrigPos, model.m_tets, model.m_smNeighbors, model.m_orienField.m_frames);
}

}  // namespace benchmesh
