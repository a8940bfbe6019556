// Geometry operations on the heart model: marching-tetrahedra clipping with shared cut vertices,
// stroke cuts through a radial basis side function, peeling, region growing, screen labelling,
// picking, grab sets, amplitude painting and model transforms.
#include "model/ModelGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>
#include <unordered_map>

#include "fields/Constraints.h"
#include "linalg/Diagnostics.h"
#include "linalg/SmallAlgebra.h"
#include "linalg/TRbfInterpolant.h"

namespace {

/// Builds the clipped surface tetrahedron by tetrahedron; output vertices are keyed by the
/// tetrahedral vertex (v, v) or by the unordered cut edge {a, b} so that neighbours share them.
class ClipBuilder {
   public:
    ClipBuilder(const std::vector<vec3>& positions, const std::vector<double>& values, double iso)
        : m_positions(positions), m_values(values), m_iso(iso) {}

    /// A corner of the current tetrahedron: its local index j in the case ordering, or the cut
    /// point on the edge from local j to local k.
    struct Corner {
        int j, k;
    };

    void setTet(const int corners[4]) { std::copy(corners, corners + 4, m_corner); }

    void emit(Corner a, Corner b, Corner c) {
        // Resolved one after the other so that vertex numbering does not depend on evaluation order.
        const int ia = resolve(a);
        const int ib = resolve(b);
        const int ic = resolve(c);
        m_triangles.push_back({ia, ib, ic});
    }

    std::vector<vec3> m_outPositions;
    std::vector<TTriangleMesh::Tri> m_triangles;
    std::vector<SurfaceVertexSource> m_sources;

   private:
    int resolve(Corner c) {
        const int a = m_corner[c.j];
        const int b = m_corner[c.k];
        const uint64_t lo = static_cast<uint32_t>(std::min(a, b));
        const uint64_t hi = static_cast<uint32_t>(std::max(a, b));
        const auto found = m_index.find((lo << 32) | hi);
        if (found != m_index.end()) return found->second;
        SurfaceVertexSource source;
        vec3 position;
        if (a == b) {
            source = {false, a, a, 0.0};
            position = m_positions[a];
        } else {
            // One end is inside (value < iso) and the other not, so the denominator is not zero.
            const double t = (m_iso - m_values[a]) / (m_values[b] - m_values[a]);
            source = {true, a, b, t};
            position = m_positions[a] * (1.0 - t) + m_positions[b] * t;
        }
        const int index = static_cast<int>(m_outPositions.size());
        m_index.emplace((lo << 32) | hi, index);
        m_outPositions.push_back(position);
        m_sources.push_back(source);
        return index;
    }

    const std::vector<vec3>& m_positions;
    const std::vector<double>& m_values;
    double m_iso;
    int m_corner[4] = {0, 0, 0, 0};
    std::unordered_map<uint64_t, int> m_index;
};

/// Flat shading on the rim: a cut vertex joined by an edge to a kept tetrahedral vertex.
void tagCutRim(TLSMModel& model) {
    const TTriangleMesh& s = model.m_surface;
    model.m_surfVtxTag.assign(s.vertexCount(), 0);
    if (static_cast<int>(model.m_surfVtxSource.size()) != s.vertexCount()) return;
    for (const TWingedEdge& e : s.edges()) {
        const bool blendMin = model.m_surfVtxSource[e.vMin].isBlend;
        const bool blendMax = model.m_surfVtxSource[e.vMax].isBlend;
        if (blendMin != blendMax) model.m_surfVtxTag[blendMin ? e.vMin : e.vMax] = 1;
    }
}

/// Three Gauss-Seidel passes of one-ring normal averaging (already updated neighbours are used).
void smoothVertexNormals(TTriangleMesh& surface) {
    std::vector<int> ring;
    for (int pass = 0; pass < 3; ++pass)
        for (int v = 0; v < surface.vertexCount(); ++v) {
            surface.getOneRingVertices(v, ring);
            vec3 sum = surface.vertexNormals()[v];
            for (int r : ring) sum += surface.vertexNormals()[r];
            const double len = sum.norm();
            surface.setVertexNormal(v, len > 0.0 ? sum / len : sum);
        }
}

vec3 centroidOf(const std::vector<vec3>& points) {
    vec3 c;
    for (const vec3& p : points) c += p;
    return points.empty() ? c : c / static_cast<double>(points.size());
}

vec3 applyLinear(const double m[16], const vec3& v) {
    return {m[0] * v.x + m[4] * v.y + m[8] * v.z, m[1] * v.x + m[5] * v.y + m[9] * v.z,
            m[2] * v.x + m[6] * v.y + m[10] * v.z};
}

/// Turns a frame with the linear block and makes it orthonormal again (Gram-Schmidt in the frame's
/// own order); a direction the block collapses keeps its previous value.
void transformFrame(const double m[16], TVertexFrame& frame) {
    vec3 primary = applyLinear(m, frame.m_primaryDir);
    if (!makeUnit(primary)) primary = frame.m_primaryDir;
    vec3 depth = applyLinear(m, frame.m_depthDir);
    depth -= primary * depth.dot(primary);
    if (!makeUnit(depth)) depth = frame.m_depthDir;
    vec3 third = applyLinear(m, frame.m_thirdDir);
    third -= primary * third.dot(primary) + depth * third.dot(depth);
    if (!makeUnit(third)) third = frame.m_thirdDir;
    frame.m_primaryDir = primary;
    frame.m_depthDir = depth;
    frame.m_thirdDir = third;
}

}  // namespace

bool clipSurface(TLSMModel& model, double isoValue, const std::vector<double>& values) {
    const int n = model.vertexCount();
    if (static_cast<int>(values.size()) != n) {
        diagPrintf("clipSurface: %d values for %d vertices\n", static_cast<int>(values.size()), n);
        return false;
    }
    for (int v = 0; v < n; ++v)
        if (!std::isfinite(values[v])) {
            diagPrintf("clipSurface: the value of vertex %d is not a finite number\n", v);
            return false;
        }

    using C = ClipBuilder::Corner;
    ClipBuilder out(model.m_verts, values, isoValue);
    for (const Tetra& tet : model.m_tets) {
        int mask = 0;
        for (int k = 0; k < 4; ++k)
            if (values[tet.vIdx[k]] < isoValue) mask |= 1 << k;
        if (mask == 0) continue;
        const int* order = kClipCases[mask];
        int corners[4];
        bool open[4];
        for (int k = 0; k < 4; ++k) {
            corners[k] = tet.vIdx[order[k]];
            open[k] = tet.nbr[order[k]] == -1;
        }
        out.setTet(corners);
        const int inside = (mask & 1) + ((mask >> 1) & 1) + ((mask >> 2) & 1) + ((mask >> 3) & 1);
        const C p0{0, 0}, p1{1, 1}, p2{2, 2}, p3{3, 3};
        const C c01{0, 1}, c02{0, 2}, c03{0, 3}, c12{1, 2}, c13{1, 3};
        switch (inside) {
            case 4:
                if (open[0]) out.emit(p1, p2, p3);
                if (open[1]) out.emit(p3, p2, p0);
                if (open[2]) out.emit(p1, p3, p0);
                if (open[3]) out.emit(p2, p1, p0);
                break;
            case 1:
                out.emit(c01, c02, c03);
                if (open[1]) out.emit(c02, p0, c03);
                if (open[2]) out.emit(c03, p0, c01);
                if (open[3]) out.emit(c01, p0, c02);
                break;
            case 3:
                out.emit(c03, c02, c01);
                if (open[0]) out.emit(p1, p2, p3);
                if (open[1]) {
                    out.emit(p2, c02, c03);
                    out.emit(p2, c03, p3);
                }
                if (open[2]) {
                    out.emit(p3, c03, c01);
                    out.emit(p3, c01, p1);
                }
                if (open[3]) {
                    out.emit(p1, c01, c02);
                    out.emit(p1, c02, p2);
                }
                break;
            default:  // two inside: B0 and B1
                out.emit(c03, c12, c02);
                out.emit(c03, c13, c12);
                if (open[0]) out.emit(p1, c12, c13);
                if (open[1]) out.emit(p0, c03, c02);
                if (open[2]) {
                    out.emit(p1, c13, c03);
                    out.emit(p1, c03, p0);
                }
                if (open[3]) {
                    out.emit(p0, c02, c12);
                    out.emit(p0, c12, p1);
                }
                break;
        }
    }
    const int valid = model.m_surface.initialize(out.m_outPositions, out.m_triangles);
    model.m_surfVtxSource = std::move(out.m_sources);
    model.m_surfVtxTag.assign(model.m_surfVtxSource.size(), 0);
    return valid == 1;
}

void cutByStroke(TLSMModel& model, const std::vector<vec3>& stroke, const ScreenProjection& view) {
    if (model.m_tets.empty()) return;
    const int n = static_cast<int>(stroke.size());
    // A click without a drag (or a drag that never left its point) shows the whole model again.
    if (n <= 2 || !(polylineLength(stroke) > 0.0)) {
        model.rebuildSurface();
        model.buildDrawOrder();
        return;
    }
    std::vector<vec3> resampled;
    resamplePolyline(std::max(5, n) - 1, stroke, resampled);

    std::vector<vec3> onScreen;
    for (const vec3& p : resampled) {
        vec3 w;
        if (projectToWindow(view, p, w)) onScreen.emplace_back(w.x, w.y, 0.0);
    }
    // Two centres per segment, just either side of its start: +1 on the left, -1 on the right.
    std::vector<vec3> centres;
    std::vector<double> centreValues;
    for (size_t i = 0; i + 1 < onScreen.size(); ++i) {
        const vec3 d = onScreen[i + 1] - onScreen[i];
        const double len = d.norm();
        if (!(len > 0.0)) continue;  // a segment seen end-on has no side
        const vec3 left(-d.y / len, d.x / len, 0.0);
        centres.push_back(onScreen[i] + left * 0.01);
        centreValues.push_back(1.0);
        centres.push_back(onScreen[i] - left * 0.01);
        centreValues.push_back(-1.0);
    }
    TRbfInterpolant side;
    if (!centres.empty()) side.addPoints(centres, centreValues);

    const int vertexCount = model.vertexCount();
    std::vector<double> values(vertexCount, 0.0);
    bool usable = side.m_count > 0;
    for (int v = 0; usable && v < vertexCount; ++v) {
        vec3 w;
        if (!projectToWindow(view, model.m_verts[v], w)) continue;
        values[v] = side.evaluate(vec3(w.x, w.y, 0.0));
        if (!std::isfinite(values[v])) usable = false;
    }
    // A failed fit keeps nothing inside, which falls back to the full surface below.
    if (!usable) std::fill(values.begin(), values.end(), 0.0);

    clipSurface(model, 0.0, values);
    tagCutRim(model);
    if (model.m_surface.vertexCount() == 0) model.rebuildSurface();
    model.buildDrawOrder();
    model.m_peelDepth = 1.0;
}

void stepPeelDepth(TLSMModel& model, bool up) {
    if (model.m_tets.empty()) return;
    model.m_peelDepth += up ? 0.025 : -0.025;
    diagPrintf("current depth = %f\n", model.m_peelDepth);
    if (model.m_peelDepth >= 1.0) {
        model.m_peelDepth = 1.0;
        model.rebuildSurface();
    } else if (model.m_peelDepth < 0.0) {
        model.m_peelDepth = 0.0;
        return;
    } else {
        // A clip whose surface fails validation is still what is shown, so it is smoothed and
        // tagged all the same.
        clipSurface(model, model.m_peelDepth, model.m_orienField.m_depthField.m_value);
        smoothVertexNormals(model.m_surface);
        tagCutRim(model);
    }
    model.buildDrawOrder();
}

TSurfaceRegion growSmoothRegion(const TLSMModel& model, int seedTriangle) {
    TSurfaceRegion region;
    const TTriangleMesh& s = model.m_surface;
    if (seedTriangle < 0 || seedTriangle >= s.polyCount()) return region;
    if (static_cast<int>(s.polyEdges().size()) != s.polyCount() ||
        static_cast<int>(model.m_surfVtxSource.size()) != s.vertexCount())
        return region;

    const double minCos = std::cos(3.14159265358979323846 / 5.0);
    std::vector<char> visited(s.polyCount(), 0);
    std::vector<int> queue{seedTriangle};
    visited[seedTriangle] = 1;
    std::set<int> vertices;
    for (size_t head = 0; head < queue.size(); ++head) {
        const int d = queue[head];
        const TTriangleMesh::Tri& corners = s.polys()[d];
        if (model.m_surfVtxSource[corners[0]].isBlend || model.m_surfVtxSource[corners[1]].isBlend ||
            model.m_surfVtxSource[corners[2]].isBlend)
            continue;
        region.triangles.push_back(d);
        for (int c : corners) vertices.insert(model.m_surfVtxSource[c].vertA);
        for (int k = 0; k < 3; ++k) {
            const int e = s.polyEdges()[d][k];
            if (e < 0) continue;
            const int other = s.edges()[e].faceL == d ? s.edges()[e].faceR : s.edges()[e].faceL;
            if (other < 0 || visited[other]) continue;
            visited[other] = 1;
            if (s.polyNormals()[other].dot(s.polyNormals()[d]) > minCos) queue.push_back(other);
        }
    }
    region.vertices.assign(vertices.begin(), vertices.end());
    return region;
}

int addRegionConstraints(TLSMModel& model, int field, int seedTriangle, double value) {
    TSmoothField* target = field == 0   ? &model.m_phaseField
                           : field == 1 ? &model.m_ampliField
                           : field == 2 ? &model.m_orienField.m_depthField
                                        : nullptr;
    if (target == nullptr) {
        diagPrintf("addRegionConstraints: field %d is not 0 (phase), 1 (amplitude) or 2 (depth)\n", field);
        return 0;
    }
    const TSurfaceRegion region = growSmoothRegion(model, seedTriangle);
    int added = 0;
    for (int v : region.vertices) {
        const size_t before = target->m_constraints.size();
        addConstraintAtVertex(target->m_constraints, model.m_verts, v, value);
        if (target->m_constraints.size() != before) ++added;
    }
    return added;
}

namespace {

/// Labels every vertex whose top-down window position passes the test.
template <class Inside>
int labelProjected(TLSMModel& model, const ScreenProjection& view, int label, Inside inside) {
    const int n = model.vertexCount();
    if (static_cast<int>(model.m_vtxIsVentriOrAtrium.size()) != n) model.m_vtxIsVentriOrAtrium.resize(n, 0);
    int count = 0;
    for (int v = 0; v < n; ++v) {
        vec3 w;
        if (!projectToWindow(view, model.m_verts[v], w)) continue;
        if (!inside(w.x, view.viewport[3] - w.y)) continue;
        model.m_vtxIsVentriOrAtrium[v] = static_cast<int16_t>(label);
        ++count;
    }
    return count;
}

}  // namespace

int labelVerticesInBrush(TLSMModel& model, const ScreenProjection& view, double centreX, double centreY, double radius,
                         int label) {
    if (!(radius > 0.0)) return 0;
    // (dx^2 + dy^2) <= r^2 is the brush's disc; kept in this form so a vertex exactly on the rim
    // is not lost to rounding of two separate quotients.
    const double r2 = radius * radius;
    return labelProjected(model, view, label, [&](double x, double y) {
        const double dx = x - centreX, dy = y - centreY;
        return dx * dx + dy * dy <= r2;
    });
}

int labelVerticesInRect(TLSMModel& model, const ScreenProjection& view, double cornerAX, double cornerAY,
                        double cornerBX, double cornerBY, int label) {
    const double x0 = std::min(cornerAX, cornerBX), x1 = std::max(cornerAX, cornerBX);
    const double y0 = std::min(cornerAY, cornerBY), y1 = std::max(cornerAY, cornerBY);
    return labelProjected(model, view, label,
                          [&](double x, double y) { return x >= x0 && x <= x1 && y >= y0 && y <= y1; });
}

TVertexPick pickVertexNearRay(const TLSMModel& model, const vec3& origin, const vec3& direction, double maxDistance) {
    TVertexPick pick;
    double nearest = 0.0;
    for (int v = 0; v < model.vertexCount(); ++v) {
        const vec3& p = model.m_verts[v];
        const double d = distanceToLine(p, origin, direction);
        if (!(d < maxDistance)) continue;
        const double fromOrigin = (p - origin).norm2();
        if (pick.vertex == -1 || fromOrigin < nearest) {
            nearest = fromOrigin;
            pick.vertex = v;
            pick.distance = d;
            pick.position = p;
        }
    }
    return pick;
}

std::vector<TGrabMember> collectGrabSet(const TLSMModel& model, int vertex) {
    const int n = model.vertexCount();
    if (vertex < 0 || vertex >= n || static_cast<int>(model.m_smNeighbors.size()) != n) return {};
    std::set<int> members{vertex};
    for (int ring = 0; ring < 3; ++ring) {
        // Starting from the members themselves keeps a vertex whose neighbourhood is empty.
        std::set<int> grown = members;
        for (int m : members)
            for (int nb : model.m_smNeighbors[m])
                if (nb >= 0 && nb < n) grown.insert(nb);
        members.swap(grown);
    }
    std::vector<TGrabMember> result;
    result.reserve(members.size());
    for (int m : members) result.push_back({m, model.m_verts[m] - model.m_verts[vertex]});
    return result;
}

bool paintAmplitudeAtRay(TLSMModel& model, const vec3& origin, const vec3& direction, double value) {
    int triangle = -1;
    vec3 hit;
    if (!model.m_surface.pickByRay(origin, direction, 1, triangle, hit)) return false;
    const int surfaceVertex = model.m_surface.polys()[triangle][0];
    if (surfaceVertex >= static_cast<int>(model.m_surfVtxSource.size())) return false;
    const int vertex = model.m_surfVtxSource[surfaceVertex].vertA;
    std::vector<double>& amplitude = model.m_ampliField.m_value;
    if (vertex < 0 || vertex >= static_cast<int>(model.m_smNeighbors.size())) return false;
    for (int nb : model.m_smNeighbors[vertex])
        if (nb >= 0 && nb < static_cast<int>(amplitude.size())) amplitude[nb] = value;
    return true;
}

bool transformModel(TLSMModel& model, const double matrix[16]) {
    if (model.m_verts.empty()) return false;
    for (int i = 0; i < 16; ++i)
        if (!std::isfinite(matrix[i])) {
            diagPrintf("transformModel: the matrix holds a value that is not a finite number\n");
            return false;
        }
    const vec3 translation(matrix[12], matrix[13], matrix[14]);
    const vec3 current = centroidOf(model.m_verts);
    for (vec3& p : model.m_verts) p = current + applyLinear(matrix, p - current) + translation;
    const vec3 rest = centroidOf(model.m_vtxOrigPos);
    for (vec3& p : model.m_vtxOrigPos) p = rest + applyLinear(matrix, p - rest) + translation;
    // The fibre directions belong to the tissue: left alone they would keep pointing the old way
    // in space after a rotation, and the contraction would pull along the wrong axes.
    for (TVertexFrame& frame : model.m_orienField.m_frames) transformFrame(matrix, frame);

    model.m_simulator.initSimulator(model.m_vtxOrigPos, model.m_tets, model.m_smNeighbors, model.m_orienField.m_frames);
    model.updateSurfacePositions();
    return true;
}

namespace {
void restBoundingBox(const TLSMModel& model, vec3& lo, vec3& hi) {
    lo = hi = model.m_vtxOrigPos[0];
    for (const vec3& p : model.m_vtxOrigPos)
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], p[a]);
            hi[a] = std::max(hi[a], p[a]);
        }
}
}  // namespace

bool normalizeModelPlacement(TLSMModel& model) {
    if (model.m_vtxOrigPos.empty()) return false;
    vec3 lo, hi;
    restBoundingBox(model, lo, hi);
    const double largest = std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z});
    if (!(largest > 0.0)) return false;
    const double s = 40.0 / largest;
    const double scale[16] = {s, 0, 0, 0, 0, s, 0, 0, 0, 0, s, 0, 0, 0, 0, 1};
    if (!transformModel(model, scale)) return false;
    restBoundingBox(model, lo, hi);
    const vec3 shift = vec3(20, 20, 20) - (lo + hi) * 0.5;
    const double move[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, shift.x, shift.y, shift.z, 1};
    return transformModel(model, move);
}

double fitModelInFrustum(TLSMModel& model, const ViewFrustum& view, double fill) {
    if (model.m_vtxOrigPos.empty() || !(fill > 0.0) || !(view.distance > 0.0)) return 0.0;
    const double halfHeight = std::tan(view.fovyDegrees * 0.5 * 3.14159265358979323846 / 180.0) * fill;
    const double halfWidth = halfHeight * view.aspect;
    // A point r (relative to the look-at point) scaled by s lies at depth distance - s r.z and must
    // satisfy s |r.x| <= halfWidth (distance - s r.z), likewise for y: s <= halfWidth distance /
    // (|r.x| + halfWidth r.z) wherever the denominator is positive.
    double scale = 1.0;
    for (const vec3& p : model.m_vtxOrigPos) {
        const vec3 r = p - view.center;
        for (const auto& [offset, half] : {std::pair{std::fabs(r.x), halfWidth}, std::pair{std::fabs(r.y), halfHeight}}) {
            const double denominator = offset + half * r.z;
            if (denominator > 0.0) scale = std::min(scale, half * view.distance / denominator);
        }
        // In front of the eye as well, if the point lies beyond it.
        if (r.z > 0.0) scale = std::min(scale, 0.5 * view.distance / r.z);
    }
    if (scale >= 1.0) return 1.0;
    // transformModel scales about the centroid: the translation moves that scaling to the centre.
    const double s = scale;
    const vec3 t = (view.center - centroidOf(model.m_vtxOrigPos)) * (1 - s);
    const double matrix[16] = {s, 0, 0, 0, 0, s, 0, 0, 0, 0, s, 0, t.x, t.y, t.z, 1};
    return transformModel(model, matrix) ? scale : 0.0;
}
