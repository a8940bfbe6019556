// RuleBasedFibreModel: rule-based fibres on the heart model and their measurement in the wall.
#include "model/RuleBasedFibreModel.h"

#include <algorithm>
#include <cmath>

#include "fields/RuleBasedFibres.h"
#include "fields/TransmuralCoordinate.h"
#include "model/DeformationIndices.h"
#include "model/NearestVertex.h"
#include "model/TLSMModel.h"

namespace {

constexpr int kBands = 5;
constexpr int16_t kLabelVentricle = 1;
// Sweeps that carry the wall direction into walls too thin to have an inside vertex.
constexpr int kGradientFillPasses = 4;

bool usableAngle(double degrees) { return std::isfinite(degrees) && std::fabs(degrees) <= kMaxHelixDegrees; }

/// The segments of the septum (basal and mid anteroseptal and inferoseptal, apical septal).
bool septalSegment(int segment) {
    return segment == 2 || segment == 3 || segment == 8 || segment == 9 || segment == 14;
}

std::vector<int> wallVertices(const std::vector<TTriIndices>& wall) {
    std::vector<int> vertices;
    for (const TTriIndices& t : wall) vertices.insert(vertices.end(), t.begin(), t.end());
    std::sort(vertices.begin(), vertices.end());
    vertices.erase(std::unique(vertices.begin(), vertices.end()), vertices.end());
    return vertices;
}

/// The transmural direction of the deformation indices' wall frame: the left wall's area-weighted
/// normal at the wall vertex nearest to a point, turned away from the wall's centre; and whether a
/// point is on the left ventricle's side (no farther from the left wall than from the right one).
class LeftWallNormals {
   public:
    explicit LeftWallNormals(const TLSMModel& model)
        : m_rest(model.m_vtxOrigPos), m_normals(model.m_vtxOrigPos.size()) {
        const std::vector<int> left = wallVertices(model.m_trisVL), right = wallVertices(model.m_trisVR);
        m_left.build(m_rest, left);
        m_right.build(m_rest, right);
        m_hasRight = !right.empty();
        for (const TTriIndices& tri : model.m_trisVL) {
            const vec3 normal = (m_rest[tri[1]] - m_rest[tri[0]]).cross(m_rest[tri[2]] - m_rest[tri[0]]);
            for (int c : tri) m_normals[c] += normal;
        }
        for (int v : left) m_centre += m_rest[v];
        if (!left.empty()) m_centre /= static_cast<double>(left.size());
    }
    bool hasRightWall() const { return m_hasRight; }
    /// The wall normal for p and whether p is on the left ventricle's side.
    vec3 normalAt(const vec3& p, bool* leftSide = nullptr) const {
        const auto [wallVertex, distance] = m_left.nearest(p);
        if (leftSide) *leftSide = !m_hasRight || !m_right.anyCloserThan(p, distance);
        if (wallVertex < 0) return vec3();
        const vec3& normal = m_normals[wallVertex];
        return normal.dot(m_rest[wallVertex] - m_centre) < 0.0 ? -normal : normal;
    }

   private:
    const std::vector<vec3>& m_rest;
    std::vector<vec3> m_normals;
    NearestVertex m_left, m_right;
    bool m_hasRight = false;
    vec3 m_centre;
};

/// Where the coordinate's gradient runs within this angle's cosine of the long axis (round the apex
/// and under the left ventricle's roof at the base) the helix angle, taken about the axis, hangs
/// on the small tilt of the transmural direction: a piecewise-linear gradient and the wall's
/// surface normal tilt differently by a few degrees and turn the fibre by tens. There the left
/// wall's normal (the deformation indices' wall frame) stands for the gradient, so that the fibres
/// follow the wall's own frame. About 26 degrees.
constexpr double kAxialGradientCosine = 0.9;

}  // namespace

std::vector<int> chamberWallVertices(const TLSMModel& model) {
    std::vector<TTriIndices> all;
    for (const auto* wall : {&model.m_trisVR, &model.m_trisVL, &model.m_trisAR, &model.m_trisAL})
        all.insert(all.end(), wall->begin(), wall->end());
    return wallVertices(all);
}

bool computeModelTransmural(const TLSMModel& model, std::vector<double>& t, std::string& error) {
    const std::vector<int> inner = chamberWallVertices(model);
    if (inner.empty()) {
        t.clear();
        error = "no chamber wall is painted: the transmural coordinate needs the cavities";
        return false;
    }
    return computeTransmuralCoordinate(model.m_vtxOrigPos, model.m_tets, inner, t, error);
}

bool applyRuleBasedFibres(TLSMModel& model, double endoDegrees, double epiDegrees, bool setUpSimulator,
                          std::string& error, RuleBasedFibreSummary* summary) {
    if (!usableAngle(endoDegrees) || !usableAngle(epiDegrees)) {
        error = "the helix angles must lie within -90 to 90 degrees";
        return false;
    }
    const int n = model.vertexCount();
    if (static_cast<int>(model.m_vtxIsVentriOrAtrium.size()) != n ||
        static_cast<int>(model.m_orienField.m_frames.size()) != n) {
        error = "the labels or the fibre frames do not match the vertices";
        return false;
    }
    DeformationIndices indices;
    if (!indices.prepare(model.m_vtxOrigPos, model.m_tets, model.m_vtxIsVentriOrAtrium, model.m_trisVL,
                         model.m_trisVR)) {
        // Only the axis is needed; a refusal after it was found (no myocardium, an empty band) is
        // no reason to refuse the fibres.
        if (model.m_trisVL.empty() || !(indices.axisLength() > 0.0)) {
            error = indices.refusal();
            return false;
        }
    }
    std::vector<double> t;
    if (!computeModelTransmural(model, t, error)) return false;
    std::vector<vec3> gradients = vertexGradients(model.m_vtxOrigPos, model.m_tets, t);
    fillZeroGradients(model.m_tets, gradients, kGradientFillPasses);
    const vec3 axis = indices.axisDirection();
    const LeftWallNormals wallNormals(model);
    for (int v = 0; v < n; ++v) {
        const double length = gradients[v].norm();
        if (model.m_vtxIsVentriOrAtrium[v] != kLabelVentricle || !(length > 0.0) ||
            std::fabs(gradients[v].dot(axis)) <= kAxialGradientCosine * length)
            continue;
        bool leftSide = false;
        const vec3 normal = wallNormals.normalAt(model.m_vtxOrigPos[v], &leftSide);
        if (leftSide && normal.norm() > 0.0) gradients[v] = normal;
    }

    std::vector<TVertexFrame> frames = model.m_orienField.m_frames;
    int skipped = 0;
    const int set =
        setRuleBasedFrames(frames, t, gradients, model.m_vtxIsVentriOrAtrium, axis, endoDegrees, epiDegrees, &skipped);
    TTensorField& field = model.m_orienField;
    field.m_frames = std::move(frames);
    field.buildAllFibreLines(model.m_tets, model.m_vtxOrigPos, model.m_vtxIsVentriOrAtrium);
    field.m_ruleBased = RuleBasedFibreSetting{true, endoDegrees, epiDegrees};
    field.m_transmural = t;
    if (setUpSimulator)
        model.m_simulator.initSimulator(model.m_vtxOrigPos, model.m_tets, model.m_smNeighbors, field.m_frames);
    if (summary) {
        summary->tMin = t.empty() ? 0.0 : *std::min_element(t.begin(), t.end());
        summary->tMax = t.empty() ? 0.0 : *std::max_element(t.begin(), t.end());
        summary->framesSet = set;
        summary->skipped = skipped;
    }
    return true;
}

bool measureFreeWallHelix(const TLSMModel& model, const std::vector<double>& t, double endoDegrees, double epiDegrees,
                          std::vector<HelixBand>& bands, double& rmsDegrees, std::string& error) {
    const int n = model.vertexCount();
    if (static_cast<int>(t.size()) != n || static_cast<int>(model.m_orienField.m_frames.size()) != n ||
        static_cast<int>(model.m_vtxIsVentriOrAtrium.size()) != n) {
        error = "the transmural coordinate, the frames or the labels do not match the vertices";
        return false;
    }
    DeformationIndices indices;
    indices.prepare(model.m_vtxOrigPos, model.m_tets, model.m_vtxIsVentriOrAtrium, model.m_trisVL, model.m_trisVR);
    if (model.m_trisVL.empty() || !(indices.axisLength() > 0.0)) {
        error = model.m_trisVL.empty() ? DeformationIndices::kNoLeftWallMessage : indices.refusal();
        return false;
    }
    const std::vector<vec3>& rest = model.m_vtxOrigPos;
    const LeftWallNormals wallNormals(model);

    bands.assign(kBands, HelixBand());
    for (int b = 0; b < kBands; ++b) {
        bands[b].tLow = static_cast<double>(b) / kBands;
        bands[b].tHigh = static_cast<double>(b + 1) / kBands;
    }
    double squares = 0.0;
    int counted = 0;
    const bool segments = wallNormals.hasRightWall();
    for (int v = 0; v < n; ++v) {
        if (model.m_vtxIsVentriOrAtrium[v] != kLabelVentricle) continue;
        const double h = indices.heightAt(rest[v]);
        if (h < 0.0 || h > 1.0) continue;
        bool leftSide = false;
        const vec3 outward = wallNormals.normalAt(rest[v], &leftSide);
        if (segments && (!leftSide || septalSegment(indices.segmentAt(rest[v])))) continue;
        WallFrame wall;
        if (!wallFrameAt(outward, indices.axisDirection(), wall)) continue;
        const double measured = helixAngleDegrees(model.m_orienField.m_frames[v].m_primaryDir, wall);
        const double rule = ruleHelixDegrees(t[v], endoDegrees, epiDegrees);
        HelixBand& band = bands[std::clamp(static_cast<int>(t[v] * kBands), 0, kBands - 1)];
        ++band.vertices;
        band.meanDegrees += measured;
        band.ruleDegrees += rule;
        squares += (measured - rule) * (measured - rule);
        ++counted;
    }
    for (HelixBand& band : bands)
        if (band.vertices > 0) {
            band.meanDegrees /= band.vertices;
            band.ruleDegrees /= band.vertices;
        }
    rmsDegrees = counted > 0 ? std::sqrt(squares / counted) : 0.0;
    return true;
}
