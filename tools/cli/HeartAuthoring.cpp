// Authoring of the bundled heart. The rules below are written in the coordinates of the geometry
// script (tools/models/heart.geo): long axis along +y, apex near y = -4.5, ventricular base plane at
// y = 1.5, atria above it, the right ventricle on the -x side of the left.
#include "HeartAuthoring.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <vector>

#include "fields/Constraints.h"
#include "fields/TSmoothField.h"
#include "io/TetGenFile.h"
#include "model/ChamberWalls.h"
#include "model/ModelGeometry.h"
#include "model/RuleBasedFibreModel.h"
#include "model/TLSMModel.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kBaseY = 1.5;  // ventricular base plane of the geometry script
// The ventricles' fibres: helix angles under the cavities and under the outer surface. +30 is at the
// low end of what imaging of human hearts reports (rule-based models use +40 to +60 and -50 to
// -60); on this coarse mesh steeper inner fibres shorten the ventricle more but twist it too little,
// and these angles with the contraction below put every index in its healthy range (README,
// "Physiology").
constexpr double kEndoHelixDegrees = 30.0;
constexpr double kEpiHelixDegrees = -64.0;
// Most of the volume-keeping stretch of a shortening fibre goes across the wall (k = -0.5 would
// share it equally with the in-wall direction and leave the wall too thin to eject).
constexpr double kCrossFibreExponent = 0.15;

/// The affine map from script coordinates to the model's rest positions (a uniform scale and a
/// shift), recovered from the two position sets.
struct Placement {
    double scale = 1.0;
    vec3 shift;
    vec3 apply(const vec3& raw) const { return raw * scale + shift; }
};

Placement recoverPlacement(const std::vector<vec3>& raw, const std::vector<vec3>& rest) {
    vec3 rawMean, restMean;
    for (size_t i = 0; i < raw.size(); ++i) {
        rawMean += raw[i];
        restMean += rest[i];
    }
    rawMean /= static_cast<double>(raw.size());
    restMean /= static_cast<double>(raw.size());
    double num = 0, den = 0;
    for (size_t i = 0; i < raw.size(); ++i) {
        num += (raw[i] - rawMean).dot(rest[i] - restMean);
        den += (raw[i] - rawMean).norm2();
    }
    Placement p;
    p.scale = num / den;
    p.shift = restMean - rawMean * p.scale;
    return p;
}

/// Connected pieces of the surface (triangles sharing a vertex), as one component id per triangle.
std::vector<int> surfaceComponents(const TLSMModel& model, int& count) {
    const TTriangleMesh& s = model.m_surface;
    std::vector<int> parent(s.vertexCount());
    std::iota(parent.begin(), parent.end(), 0);
    auto find = [&](int v) {
        while (parent[v] != v) v = parent[v] = parent[parent[v]];
        return v;
    };
    for (const auto& t : s.polys()) {
        parent[find(t[1])] = find(t[0]);
        parent[find(t[2])] = find(t[0]);
    }
    std::vector<int> idOfRoot(s.vertexCount(), -1), component(s.polyCount());
    count = 0;
    for (int i = 0; i < s.polyCount(); ++i) {
        const int root = find(s.polys()[i][0]);
        if (idOfRoot[root] < 0) idOfRoot[root] = count++;
        component[i] = idOfRoot[root];
    }
    return component;
}

/// Chamber id of a cavity from the centroid of its wall in script coordinates.
int chamberOfCavity(const vec3& c) {
    if (c.y > kBaseY) return c.x > -1.1 ? 4 : 3;  // left / right atrium
    return c.x > -1.7 ? 2 : 1;                    // left / right ventricle
}

/// Semi-axes and centres of the shells in the geometry script.
struct Shell {
    vec3 centre, axes;
    /// Radius of the shell's horizontal cross-section at height y (0 outside).
    double radiusAt(double y) const {
        const double q = (y - centre.y) / axes.y;
        return q * q < 1.0 ? std::sqrt(1.0 - q * q) : 0.0;
    }
};

/// A helical arc in a wall between an outer and an inner shell (script coordinates), at relative
/// depth d (0 outer surface, 1 inner surface), from angle a0 over span radians with helix angle
/// alpha (0: circumferential).
std::vector<vec3> helicalArc(const Shell& outer, const Shell& inner, double y0, double d, double a0, double span,
                             double alpha) {
    std::vector<vec3> points;
    const int steps = 24;
    double y = y0;
    for (int k = 0; k <= steps; ++k) {
        const double a = a0 + span * k / steps;
        const double ro = outer.radiusAt(y), ri = inner.radiusAt(y);
        if (ro <= 0.0 || ri <= 0.0) break;
        const double cx = outer.centre.x + (inner.centre.x - outer.centre.x) * d;
        const double cz = outer.centre.z + (inner.centre.z - outer.centre.z) * d;
        const double rx = (ro * outer.axes.x) * (1 - d) + (ri * inner.axes.x) * d;
        const double rz = (ro * outer.axes.z) * (1 - d) + (ri * inner.axes.z) * d;
        points.emplace_back(cx + rx * std::cos(a), y, cz + rz * std::sin(a));
        y += std::tan(alpha) * 0.5 * (rx + rz) * span / steps;
    }
    return points;
}

/// Every stride-th vertex of the list (at least one), so dense surfaces give a small constraint set.
std::vector<int> thinned(const std::vector<int>& vertices, size_t target) {
    std::vector<int> out;
    const size_t stride = std::max<size_t>(1, vertices.size() / std::max<size_t>(1, target));
    for (size_t i = 0; i < vertices.size(); i += stride) out.push_back(vertices[i]);
    return out;
}

}  // namespace

ViewFrustum homeViewFrustum() {
    ViewFrustum view;
    view.center = vec3(20, 20, 20);
    view.distance = 40.0;
    view.fovyDegrees = 45.0;
    view.aspect = 4.0 / 3.0;
    return view;
}

bool authorHeartProject(TLSMModel& model, const std::string& rawMeshBase) {
    TTetMesh raw;
    if (!loadTetMesh(raw, rawMeshBase) || raw.m_verts.size() != model.m_verts.size()) {
        std::fprintf(stderr, "make-model heart: the raw mesh %s does not match the model\n", rawMeshBase.c_str());
        return false;
    }
    const std::vector<vec3>& script = raw.m_verts;
    const int n = model.vertexCount();

    // Placement as the paint dialog's "normalize" does it (extent 40, box centred on (20, 20, 20)),
    // then shrunk about that centre until the whole heart fits the start view with a margin.
    if (!normalizeModelPlacement(model) || fitModelInFrustum(model, homeViewFrustum(), kHomeViewFill) <= 0.0)
        return false;
    const Placement place = recoverPlacement(script, model.m_vtxOrigPos);
    auto toModel = [&](std::vector<vec3> points) {
        for (vec3& p : points) p = place.apply(p);
        return points;
    };

    // Labels: atria above the ventricular base plane.
    for (int v = 0; v < n; ++v) model.m_vtxIsVentriOrAtrium[v] = script[v].y > kBaseY + 0.05 ? 2 : 1;

    // Chambers: every closed cavity surface gets its chamber id; the outer surface stays 0.
    int componentCount = 0;
    const std::vector<int> component = surfaceComponents(model, componentCount);
    std::vector<vec3> centroid(componentCount);
    std::vector<int> size(componentCount, 0);
    for (int i = 0; i < model.m_surface.polyCount(); ++i) {
        for (int c : model.m_surface.polys()[i]) centroid[component[i]] += script[model.m_surfVtxSource[c].vertA] / 3.0;
        ++size[component[i]];
    }
    const int outer = static_cast<int>(std::max_element(size.begin(), size.end()) - size.begin());
    std::vector<int> chamberOf(componentCount, 0);
    int found[5] = {0, 0, 0, 0, 0};
    for (int c = 0; c < componentCount; ++c) {
        if (c == outer) continue;
        chamberOf[c] = chamberOfCavity(centroid[c] / size[c]);
        ++found[chamberOf[c]];
    }
    if (found[1] != 1 || found[2] != 1 || found[3] != 1 || found[4] != 1) {
        std::fprintf(stderr, "make-model heart: expected one closed cavity per chamber (found %d %d %d %d)\n",
                     found[1], found[2], found[3], found[4]);
        return false;
    }
    model.m_polygonIDs.assign(model.m_surface.polyCount(), 0);
    for (int i = 0; i < model.m_surface.polyCount(); ++i)
        model.m_polygonIDs[i] = static_cast<int16_t>(chamberOf[component[i]]);
    model.buildDrawOrder();
    if (!buildChamberWalls(model, 0)) {
        std::fprintf(stderr, "make-model heart: the chamber walls could not be closed\n");
        return false;
    }

    // Depth: 0 on the outer surface, 1 on the cavity walls.
    std::vector<int> epicardium, endocardium;
    {
        std::vector<int> onOuter(n, -1);
        for (int i = 0; i < model.m_surface.polyCount(); ++i)
            for (int c : model.m_surface.polys()[i]) {
                const int v = model.m_surfVtxSource[c].vertA;
                if (onOuter[v] == -1) onOuter[v] = component[i] == outer ? 1 : 0;
            }
        for (int v = 0; v < n; ++v) {
            if (onOuter[v] == 1) epicardium.push_back(v);
            if (onOuter[v] == 0) endocardium.push_back(v);
        }
    }
    TSmoothField& depth = model.m_orienField.m_depthField;
    for (int v : thinned(epicardium, 90)) addConstraintAtVertex(depth.m_constraints, model.m_vtxOrigPos, v, 0.0);
    for (int v : thinned(endocardium, 90)) addConstraintAtVertex(depth.m_constraints, model.m_vtxOrigPos, v, 1.0);
    model.m_orienField.updateField_RBF(depth, model.m_vtxOrigPos);

    // Fibres: circumferential strokes round the atria; the ventricles by the rule on the
    // transmural coordinate (helix angle from +60 degrees under the cavities to -60 under the
    // outer surface about the left ventricle's long axis).
    const Shell laOuter{{0.6, 3.0, 0.1}, {1.9, 1.7, 1.9}}, laInner{{0.6, 3.15, 0.1}, {1.35, 1.15, 1.35}};
    const Shell raOuter{{-2.8, 3.0, -0.1}, {1.9, 1.7, 1.9}}, raInner{{-2.8, 3.15, -0.1}, {1.35, 1.15, 1.35}};
    std::vector<std::vector<vec3>> strokes;
    for (const Shell* atrium : {&laOuter, &raOuter}) {
        const Shell& inner = atrium == &laOuter ? laInner : raInner;
        for (double y0 : {2.6, 3.2, 3.8})
            for (int half = 0; half < 2; ++half)
                strokes.push_back(helicalArc(*atrium, inner, y0, 0.5, half * kPi + 0.3, 0.8 * kPi, 0.0));
    }
    for (const std::vector<vec3>& stroke : strokes)
        if (stroke.size() > 4)
            addOrientationStroke(model.m_orienField, toModel(stroke), model.m_tets, model.m_vtxOrigPos);
    model.m_orienField.updateOrientation(model.m_tets, model.m_vtxOrigPos, model.m_smNeighbors,
                                         model.m_vtxIsVentriOrAtrium);
    std::string error;
    if (!applyRuleBasedFibres(model, kEndoHelixDegrees, kEpiHelixDegrees, false, error)) {
        std::fprintf(stderr, "make-model heart: the rule-based fibres failed: %s\n", error.c_str());
        return false;
    }

    // Phase: the apex and the atrial roofs are the sources, the valve plane the sink.
    std::vector<int> apex, valvePlane, atrialRoof;
    for (int v = 0; v < n; ++v) {
        if (script[v].y < -4.1) apex.push_back(v);
        if (std::fabs(script[v].y - kBaseY) < 0.2) valvePlane.push_back(v);
        if (script[v].y > 4.3) atrialRoof.push_back(v);
    }
    for (int v : thinned(apex, 25)) addConstraintAtVertex(model.m_phaseField.m_constraints, model.m_vtxOrigPos, v, 0.0);
    for (int v : thinned(atrialRoof, 25))
        addConstraintAtVertex(model.m_phaseField.m_constraints, model.m_vtxOrigPos, v, 0.0);
    for (int v : thinned(valvePlane, 40))
        addConstraintAtVertex(model.m_phaseField.m_constraints, model.m_vtxOrigPos, v, 1.0);
    updateFieldHarmonic(model.m_phaseField, *model.m_fieldMatrix);

    // Timing of the beat: an atrial kick early in the cycle, then ventricular systole travelling
    // from apex to base over 0.15 of the cycle (about 120 ms of an 800 ms beat).
    TGlobalExcitation& e = *model.m_excitation;
    e.m_chartAtri = {{0.0, 0.0}, {0.04, 0.0}, {0.1, 0.8}, {0.16, 0.8}, {0.26, 0.0}};
    e.m_chartVent = {{0.0, 0.0}, {0.25, 0.0}, {0.36, 0.95}, {0.52, 0.95}, {0.66, 0.0}};
    e.m_amplitude = 0.34;
    e.m_cycleLength = 1.0;
    e.m_numOfWave = 0.15;
    e.m_numOfWaveA = 0.1;
    e.m_propagationMode = true;
    e.m_propagationModeA = true;
    e.m_crossFibreExponent = kCrossFibreExponent;
    buildTables(e);
    model.m_iterationN = 10;

    model.m_simulator.initSimulator(model.m_vtxOrigPos, model.m_tets, model.m_smNeighbors, model.m_orienField.m_frames);
    model.resetSimulation();
    return true;
}
