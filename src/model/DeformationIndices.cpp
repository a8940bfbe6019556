// DeformationIndices: set-up of the axis, myocardium, wall frames and segments, and the per-state
// strains and rotations.
#include "model/DeformationIndices.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "model/NearestVertex.h"
#include "model/TLSMModel.h"

namespace {

constexpr double kDegreesPerRadian = 180.0 / 3.14159265358979323846;
/// Wall frames whose radial direction leaves less than this of the axis are dropped.
constexpr double kMinLongitudinalPart = 1e-6;
/// Vertices closer than this fraction of L to the axis have no rotation angle.
constexpr double kMinAxisOffset = 1e-9;

constexpr int16_t kVentricleLabel = 1;
constexpr int16_t kAtriumLabel = 2;

// clang-format off
const char* const kSegmentNames[DeformationIndices::kSegmentCount] = {
    "basal anterior", "basal anteroseptal", "basal inferoseptal", "basal inferior", "basal inferolateral",
    "basal anterolateral",
    "mid anterior", "mid anteroseptal", "mid inferoseptal", "mid inferior", "mid inferolateral", "mid anterolateral",
    "apical anterior", "apical septal", "apical inferior", "apical lateral",
    "apex"};
// clang-format on

/// The distinct vertices of a triangle list, ascending.
std::vector<int> wallVertices(const std::vector<std::array<int, 3>>& wall) {
    std::vector<int> vertices;
    vertices.reserve(wall.size() * 3);
    for (const std::array<int, 3>& t : wall) vertices.insert(vertices.end(), t.begin(), t.end());
    std::sort(vertices.begin(), vertices.end());
    vertices.erase(std::unique(vertices.begin(), vertices.end()), vertices.end());
    return vertices;
}

/// The distinct vertices on edges used by exactly one triangle, ascending.
std::vector<int> openEdgeVertices(const std::vector<std::array<int, 3>>& wall) {
    std::vector<std::pair<int, int>> edges;
    edges.reserve(wall.size() * 3);
    for (const std::array<int, 3>& t : wall)
        for (int k = 0; k < 3; ++k) {
            const int a = t[k], b = t[(k + 1) % 3];
            if (a != b) edges.emplace_back(std::min(a, b), std::max(a, b));
        }
    std::sort(edges.begin(), edges.end());
    std::vector<int> vertices;
    for (size_t i = 0; i < edges.size();) {
        size_t j = i + 1;
        while (j < edges.size() && edges[j] == edges[i]) ++j;
        if (j - i == 1) {
            vertices.push_back(edges[i].first);
            vertices.push_back(edges[i].second);
        }
        i = j;
    }
    std::sort(vertices.begin(), vertices.end());
    vertices.erase(std::unique(vertices.begin(), vertices.end()), vertices.end());
    return vertices;
}

vec3 meanOf(const std::vector<vec3>& positions, const std::vector<int>& vertices) {
    vec3 sum;
    for (int v : vertices) sum += positions[v];
    return sum / static_cast<double>(vertices.size());
}

/// The part of v orthogonal to the unit vector axis.
vec3 orthogonalPart(const vec3& v, const vec3& axis) { return v - axis * v.dot(axis); }

/// The smallest rotation taking the unit vector from to the unit vector to, applied to v.
struct AxisAlignment {
    AxisAlignment(const vec3& from, const vec3& to) : m_cross(from.cross(to)), m_cos(from.dot(to)) {
        if (m_cos < -1.0 + 1e-12) {
            // Opposite axes: half a turn about any direction orthogonal to them.
            const vec3 helper = std::fabs(from.x) < 0.9 ? vec3(1, 0, 0) : vec3(0, 1, 0);
            m_halfTurnAxis = orthogonalPart(helper, from);
            m_halfTurnAxis /= m_halfTurnAxis.norm();
            m_halfTurn = true;
        }
    }
    vec3 apply(const vec3& v) const {
        if (m_halfTurn) return m_halfTurnAxis * (2.0 * m_halfTurnAxis.dot(v)) - v;
        // Rodrigues' formula with k = from x to (|k| = sin, from . to = cos).
        return v + m_cross.cross(v) + m_cross.cross(m_cross.cross(v)) / (1.0 + m_cos);
    }
    vec3 m_cross;
    double m_cos;
    bool m_halfTurn = false;
    vec3 m_halfTurnAxis;
};

/// Mean of the angles in degrees, summed in order.
double meanDegrees(const std::vector<double>& angles) {
    double sum = 0.0;
    for (double a : angles) sum += a;
    return sum / static_cast<double>(angles.size()) * kDegreesPerRadian;
}

/// Tetrahedra per chunk of the measurement's work.
constexpr int kChunkSize = 1024;

/// Four doubles (the compiler's generic vector: two SSE2 or one AVX instruction per operation).
using v4d = double __attribute__((vector_size(32)));
inline v4d load4(const double* p) {
    v4d v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline v4d sqrt4(v4d v) {
    for (int l = 0; l < 4; ++l) v[l] = std::sqrt(v[l]);
    return v;
}

// On x86-64 the chunk's sums are compiled twice, for any processor and for AVX2 (one instruction per
// four-double operation), and the loader picks one. AVX2 alone does not fuse products with sums, so
// both give the same bits.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define VELMORA_INDICES_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define VELMORA_INDICES_CLONES
#endif

/// Lane-wise choice: a where the mask is set, else b.
using v4l = long long __attribute__((vector_size(32)));
inline v4d choose(v4l mask, v4d a, v4d b) { return mask ? a : b; }

/// atan2(y, x) for four pairs, to within two units in the last place of the library's: the octant
/// reduced to an argument u in [-0.2, 0.66] (u = (n - d) / (n + d) past 0.66, an eighth of a turn
/// added back) and there atan u = u + u^3 P(u^2) / Q(u^2), the rational approximation of the
/// classic Cephes library. Only +, -, *, / and comparisons, so every compilation gives the same
/// bits.
inline v4d atan2x4(v4d y, v4d x) {
    const v4d zero = {0.0, 0.0, 0.0, 0.0};
    const v4d ax = choose(x < zero, -x, x), ay = choose(y < zero, -y, y);
    const v4l steep = ay > ax;
    const v4d num = choose(steep, ax, ay), den = choose(steep, ay, ax);  // num / den in [0, 1]
    const v4l far = num > 0.66 * den;
    const v4d u = choose(far, num - den, num) / choose(den > zero, choose(far, num + den, den), den + 1.0);
    const v4d z = u * u;
    const v4d p = (((-8.750608600031904122785e-1 * z - 1.615753718733365076637e1) * z - 7.500855792314704667340e1) * z -
                   1.228866684490136173410e2) *
                      z -
                  6.485021904942025371773e1;
    const v4d q =
        ((((z + 2.485846490142306297962e1) * z + 1.650270098316988542046e2) * z + 4.328810604912902668951e2) * z +
         4.853903996359136964868e2) *
            z +
        1.945506571482613964425e2;
    v4d angle = u + u * z * p / q;
    angle = choose(far, angle + 0.78539816339744830962, angle);
    angle = choose(steep, 1.57079632679489661923 - angle, angle);
    angle = choose(x < zero, 3.14159265358979323846 - angle, angle);
    return choose(y < zero, -angle, angle);
}

/// The rotations in radians of band vertices [begin, end) (at most four): for a rest offset (a, b) in
/// the rest plane's basis, the angle about the rest axis from that offset to the vertex's current
/// offset from the current axis, the latter turned onto the rest axis; positive counterclockwise
/// seen from the apex (clockwise about the axis). `planeX`/`planeY` are the rest plane's basis
/// turned back onto the current axis, so the current offset's coordinates are plain dot products
/// (the part along the axis drops out).
VELMORA_INDICES_CLONES
void bandRotations(const std::array<double, 2>* rest, const int* vertices, const vec3* x, vec3 apex, vec3 planeX,
                   vec3 planeY, int begin, int end, double* angles) {
    v4d across = {0.0, 0.0, 0.0, 0.0}, along = {1.0, 1.0, 1.0, 1.0};
    for (int i = begin; i < end; ++i) {
        const vec3 d = x[vertices[i]] - apex;
        const double p = d.dot(planeX), q = d.dot(planeY);
        const std::array<double, 2>& r = rest[i];
        across[i - begin] = r[0] * q - r[1] * p;
        along[i - begin] = r[0] * p + r[1] * q;
    }
    const v4d phi = atan2x4(across, along);
    for (int i = begin; i < end; ++i) angles[i] = -phi[i - begin];
}

/// |F (V e)|^2 of tetrahedron j for el, ec and et in lanes 0-2 (lane 3 unused).
inline v4d squaredStretches(const vec3* x, const int* corners, const double* weights, int j) {
    const int* corner = corners + 4 * static_cast<size_t>(j);
    const double* w = weights + DeformationIndices::kWeightStride * static_cast<size_t>(j);
    const vec3& p0 = x[corner[0]];
    const vec3 e1 = x[corner[1]] - p0, e2 = x[corner[2]] - p0, e3 = x[corner[3]] - p0;
    // The x, y and z parts of V D0^-1 e for the three directions; each load's fourth lane is the
    // next part's first and is never used.
    const v4d wx = load4(w), wy = load4(w + 3), wz = load4(w + 6);
    // F (V e) = D (V D0^-1 e), component by component, the three directions side by side.
    const v4d fx = wx * e1.x + wy * e2.x + wz * e3.x;
    const v4d fy = wx * e1.y + wy * e2.y + wz * e3.y;
    const v4d fz = wx * e1.z + wy * e2.z + wz * e3.z;
    return fx * fx + fy * fy + fz * fz;
}

/// The volume-weighted stretches |F (V e)| along el, ec and et summed over the myocardium's
/// tetrahedra [begin, end), in a fixed order. The square roots bound the time, so four tetrahedra's
/// twelve are packed into three full vectors (lanes L C R L | C R L C | R L C R) and the lanes are
/// added up per direction at the end. (Plain doubles out: the two compilations pass vectors
/// differently.)
VELMORA_INDICES_CLONES
std::array<double, 3> sumChunk(const vec3* x, const int* corners, const double* weights, int begin, int end) {
    v4d sumA = {0.0, 0.0, 0.0, 0.0}, sumB = sumA, sumC = sumA, tail = sumA;
    int j = begin;
    for (; j + 4 <= end; j += 4) {
        const v4d n0 = squaredStretches(x, corners, weights, j), n1 = squaredStretches(x, corners, weights, j + 1),
                  n2 = squaredStretches(x, corners, weights, j + 2), n3 = squaredStretches(x, corners, weights, j + 3);
        const v4d a = {n0[0], n0[1], n0[2], n1[0]};
        const v4d b = {n1[1], n1[2], n2[0], n2[1]};
        const v4d c = {n2[2], n3[0], n3[1], n3[2]};
        sumA += sqrt4(a);
        sumB += sqrt4(b);
        sumC += sqrt4(c);
    }
    for (; j < end; ++j) tail += sqrt4(squaredStretches(x, corners, weights, j));
    return {((sumA[0] + sumA[3]) + (sumB[2] + sumC[1])) + tail[0],
            ((sumA[1] + sumB[0]) + (sumB[3] + sumC[2])) + tail[1],
            ((sumA[2] + sumB[1]) + (sumC[0] + sumC[3])) + tail[2]};
}

}  // namespace

const char* DeformationIndices::segmentName(int segment) {
    return segment >= 1 && segment <= kSegmentCount ? kSegmentNames[segment - 1] : "";
}

bool DeformationIndices::refuse(const std::string& message) {
    m_ready = false;
    m_hasSegments = false;
    m_refusal = message;
    m_baseVertices.clear();
    m_corners.clear();
    m_weights.clear();
    m_chunkStart.clear();
    m_chunkSegment.clear();
    m_chunkVolumes.clear();
    m_apicalVertices.clear();
    m_basalVertices.clear();
    m_apicalOffsets.clear();
    m_basalOffsets.clear();
    return false;
}

void DeformationIndices::keepInputs(const std::vector<vec3>& rest, const std::vector<Tetra>& tets,
                                    const std::vector<int16_t>& labels, const std::vector<std::array<int, 3>>& leftWall,
                                    const std::vector<std::array<int, 3>>& rightWall) {
    m_inputSerial = 0;
    m_inputRest = rest;
    m_inputTetrahedra = tets.size();
    m_inputLabels = labels;
    m_inputLeftWall = leftWall;
    m_inputRightWall = rightWall;
}

namespace {

/// Whether two vectors hold the same bytes (a sign of zero or a NaN that differ count as a change).
template <class T>
bool sameBytes(const std::vector<T>& a, const std::vector<T>& b) {
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

}  // namespace

bool DeformationIndices::isPreparedFor(const TLSMModel& model) const {
    // Only a set-up made from this very model object can fit it; a model keeps its tetrahedra from
    // its set-up on, so their count stands for them.
    if (m_inputSerial == 0 || model.instanceSerial() != m_inputSerial || model.m_tets.size() != m_inputTetrahedra)
        return false;
    return sameBytes(model.m_vtxOrigPos, m_inputRest) && sameBytes(model.m_vtxIsVentriOrAtrium, m_inputLabels) &&
           sameBytes(model.m_trisVL, m_inputLeftWall) && sameBytes(model.m_trisVR, m_inputRightWall);
}

bool DeformationIndices::prepare(const TLSMModel& model) {
    const bool ready =
        prepare(model.m_vtxOrigPos, model.m_tets, model.m_vtxIsVentriOrAtrium, model.m_trisVL, model.m_trisVR);
    m_inputSerial = model.instanceSerial();
    return ready;
}

double DeformationIndices::heightAt(const vec3& restPoint) const {
    return (restPoint - m_apexPoint).dot(m_axis) / m_length;
}

int DeformationIndices::segmentAt(const vec3& restPoint) const {
    // Set from the septum on during prepare, cleared by a refusal.
    if (!m_hasSegments) return 0;
    const double h = heightAt(restPoint);
    if (!(h <= 1.0)) return 0;
    if (h < 0.0) return 17;
    vec3 radial = orthogonalPart(restPoint - m_apexPoint, m_axis);
    const double radius = radial.norm();
    if (radius == 0.0) return 0;
    radial /= radius;
    // Counterclockwise seen from the apex is clockwise about ez.
    double psi = std::atan2(m_axis.dot(radial.cross(m_septum)), m_septum.dot(radial)) * kDegreesPerRadian;
    if (psi <= -180.0) psi += 360.0;
    if (h < 1.0 / 3.0) {
        if (psi >= -135.0 && psi < -45.0) return 13;
        if (psi >= -45.0 && psi < 45.0) return 14;
        if (psi >= 45.0 && psi < 135.0) return 15;
        return 16;
    }
    const int ring = h >= 2.0 / 3.0 ? 0 : 6;
    if (psi < -120.0) return ring + 6;
    if (psi < -60.0) return ring + 1;
    if (psi < 0.0) return ring + 2;
    if (psi < 60.0) return ring + 3;
    if (psi < 120.0) return ring + 4;
    return ring + 5;
}

bool DeformationIndices::prepare(const std::vector<vec3>& rest, const std::vector<Tetra>& tets,
                                 const std::vector<int16_t>& labels, const std::vector<std::array<int, 3>>& leftWall,
                                 const std::vector<std::array<int, 3>>& rightWall) {
    keepInputs(rest, tets, labels, leftWall, rightWall);
    refuse("");
    const int n = static_cast<int>(rest.size());
    if (leftWall.empty()) return refuse(kNoLeftWallMessage);
    if (labels.size() != rest.size())
        return refuse("deformation indices: " + std::to_string(labels.size()) + " vertex labels for " +
                      std::to_string(n) + " vertices");
    for (size_t j = 0; j < tets.size(); ++j)
        for (int c : tets[j].vIdx)
            if (c < 0 || c >= n)
                return refuse("deformation indices: tetrahedron " + std::to_string(j) + " has corner " +
                              std::to_string(c) + " outside the " + std::to_string(n) + " vertices");
    for (const auto* wall : {&leftWall, &rightWall})
        for (const std::array<int, 3>& t : *wall)
            for (int c : t)
                if (c < 0 || c >= n)
                    return refuse(std::string("deformation indices: a ") + (wall == &leftWall ? "VL" : "VR") +
                                  " wall triangle has corner " + std::to_string(c) + " outside the " +
                                  std::to_string(n) + " vertices");

    const std::vector<int> leftVertices = wallVertices(leftWall);
    const std::vector<int> rightVertices = wallVertices(rightWall);
    NearestVertex nearestLeft, nearestRight;
    nearestLeft.build(rest, leftVertices);
    nearestRight.build(rest, rightVertices);
    // Without a right wall everything counts as nearer the left one.
    auto nearerLeft = [&](double leftDistance, const vec3& p) { return !nearestRight.anyCloserThan(p, leftDistance); };

    // The base: the rim of an open wall, else the ventricle's border with the atria on the left side.
    m_baseVertices = openEdgeVertices(leftWall);
    if (m_baseVertices.empty()) {
        std::vector<char> besideAtrium(n, 0);
        for (const Tetra& t : tets) {
            const int* c = t.vIdx;
            if (labels[c[0]] == kAtriumLabel || labels[c[1]] == kAtriumLabel || labels[c[2]] == kAtriumLabel ||
                labels[c[3]] == kAtriumLabel)
                for (int k = 0; k < 4; ++k) besideAtrium[c[k]] = 1;
        }
        for (int v = 0; v < n; ++v)
            if (labels[v] == kVentricleLabel && besideAtrium[v] &&
                nearerLeft(nearestLeft.nearest(rest[v]).second, rest[v]))
                m_baseVertices.push_back(v);
        if (m_baseVertices.empty())
            return refuse(
                "deformation indices: the VL wall is closed and no ventricle vertex beside an atrium vertex marks "
                "the base");
    }
    m_basePoint = meanOf(rest, m_baseVertices);

    // The apex: the wall vertex farthest from the base, the lowest index on ties.
    double farthest = -1.0;
    for (int v : leftVertices) {
        const double d = distance(rest[v], m_basePoint);
        if (d > farthest) {
            farthest = d;
            m_apex = v;
        }
    }
    if (!(farthest > 0.0) || !std::isfinite(farthest))
        return refuse("deformation indices: the apex and the base coincide: the left ventricle has no long axis");
    m_length = farthest;
    m_apexPoint = rest[m_apex];
    m_axis = (m_basePoint - m_apexPoint) / m_length;

    // The septum: toward the right wall's vertices, across the axis.
    m_septum = vec3();
    if (!rightVertices.empty()) {
        m_septum = orthogonalPart(meanOf(rest, rightVertices) - m_apexPoint, m_axis);
        const double size = m_septum.norm();
        m_septum = size > 0.0 ? m_septum / size : vec3();
        m_hasSegments = size > 0.0;
    }

    // Area-weighted wall normals, turned away from the wall's centre where they are used.
    std::vector<vec3> wallNormals(n);
    for (const std::array<int, 3>& t : leftWall) {
        const vec3 normal = (rest[t[1]] - rest[t[0]]).cross(rest[t[2]] - rest[t[0]]);
        for (int c : t) wallNormals[c] += normal;
    }
    const vec3 wallCentre = meanOf(rest, leftVertices);

    struct Candidate {
        int segment;  ///< 0..16, or -1 outside the myocardium
        int tet;
        double volume;
        std::array<vec3, 3> inverseDirections;
    };
    // Each tetrahedron is judged on its own (on the threads), then the members are kept in order.
    const int tetCount = static_cast<int>(tets.size());
    std::vector<Candidate> judged(tets.size(), Candidate{-1, 0, 0.0, {}});
#pragma omp parallel if (tetCount >= m_parallelThreshold)
    {
        int lastWallVertex = -1;
#pragma omp for schedule(static)
        for (int j = 0; j < tetCount; ++j) {
            const int* c = tets[j].vIdx;
            if (labels[c[0]] != kVentricleLabel || labels[c[1]] != kVentricleLabel || labels[c[2]] != kVentricleLabel ||
                labels[c[3]] != kVentricleLabel)
                continue;
            const vec3 centroid = (rest[c[0]] + rest[c[1]] + rest[c[2]] + rest[c[3]]) / 4.0;
            if (!(heightAt(centroid) <= 1.0)) continue;
            // Tetrahedra that follow each other mostly lie side by side: the last answer bounds the
            // search (the answer does not depend on it).
            const std::pair<int, double> wall =
                nearestLeft.nearest(centroid, lastWallVertex, lastWallVertex < 0 ? vec3() : rest[lastWallVertex]);
            lastWallVertex = wall.first;
            if (!nearerLeft(wall.second, centroid)) continue;
            vec3 radial = wallNormals[wall.first];
            const double radialSize = radial.norm();
            if (!(radialSize > 0.0)) continue;
            radial /= radialSize;
            if (radial.dot(rest[wall.first] - wallCentre) < 0.0) radial = -radial;
            vec3 longitudinal = m_axis - radial * m_axis.dot(radial);
            const double longitudinalSize = longitudinal.norm();
            if (longitudinalSize <= kMinLongitudinalPart) continue;
            longitudinal /= longitudinalSize;
            const vec3 circumferential = longitudinal.cross(radial);

            // D0^-1 by cofactors: its rows are the edge cross products over the determinant.
            const vec3 e1 = rest[c[1]] - rest[c[0]], e2 = rest[c[2]] - rest[c[0]], e3 = rest[c[3]] - rest[c[0]];
            const vec3 row1 = e2.cross(e3), row2 = e3.cross(e1), row3 = e1.cross(e2);
            const double det = e1.dot(row1);
            if (det == 0.0 || !std::isfinite(det)) continue;
            const int segment = m_hasSegments ? segmentAt(centroid) : 1;
            if (segment == 0) continue;
            Candidate& element = judged[j];
            element = Candidate{segment - 1, j, std::fabs(det) / 6.0, {}};
            const vec3 directions[3] = {longitudinal, circumferential, radial};
            for (int k = 0; k < 3; ++k)
                element.inverseDirections[k] =
                    vec3(row1.dot(directions[k]), row2.dot(directions[k]), row3.dot(directions[k])) / det;
        }
    }
    std::vector<Candidate> elements;
    for (const Candidate& candidate : judged)
        if (candidate.segment >= 0) elements.push_back(candidate);
    if (elements.empty())
        return refuse(
            "deformation indices: no left-ventricular myocardium (tetrahedra labelled ventricle, below the base, "
            "nearer the VL wall than the VR wall)");
    std::stable_sort(elements.begin(), elements.end(),
                     [](const Candidate& a, const Candidate& b) { return a.segment < b.segment; });

    const int count = static_cast<int>(elements.size());
    m_corners.resize(4 * static_cast<size_t>(count));
    // One double more: the last tetrahedron's last load reaches one past its parts.
    m_weights.assign(kWeightStride * static_cast<size_t>(count) + 1, 0.0);
    m_segmentTetrahedra.fill(0);
    std::vector<char> inMyocardium(n, 0);
    for (int i = 0; i < count; ++i) {
        const Candidate& e = elements[i];
        for (int k = 0; k < 4; ++k) {
            m_corners[4 * static_cast<size_t>(i) + k] = tets[e.tet].vIdx[k];
            inMyocardium[tets[e.tet].vIdx[k]] = 1;
        }
        // The volume weight rides in the weights: V (|F e| - 1) = |F (V e)| - V.
        double* w = &m_weights[kWeightStride * static_cast<size_t>(i)];
        for (int k = 0; k < 3; ++k) {
            w[k] = e.volume * e.inverseDirections[k].x;
            w[3 + k] = e.volume * e.inverseDirections[k].y;
            w[6 + k] = e.volume * e.inverseDirections[k].z;
        }
        ++m_segmentTetrahedra[e.segment];
        // A new chunk at each segment's start and every kChunkSize tetrahedra within it.
        if (i == 0 || e.segment != elements[i - 1].segment || i - m_chunkStart.back() == kChunkSize) {
            m_chunkStart.push_back(i);
            m_chunkSegment.push_back(e.segment);
            m_chunkVolumes.push_back(0.0);
        }
        m_chunkVolumes.back() += e.volume;
    }
    m_chunkStart.push_back(count);

    // The rotation bands.
    const vec3 helper = std::fabs(m_axis.x) < 0.9 ? vec3(1, 0, 0) : vec3(0, 1, 0);
    m_planeX = orthogonalPart(helper, m_axis);
    m_planeX /= m_planeX.norm();
    m_planeY = m_axis.cross(m_planeX);
    for (int v = 0; v < n; ++v) {
        if (!inMyocardium[v]) continue;
        const double h = heightAt(rest[v]);
        const vec3 offset = orthogonalPart(rest[v] - m_apexPoint, m_axis);
        if (offset.norm() < kMinAxisOffset * m_length) continue;
        if (h >= 0.1 && h <= 0.3) {
            m_apicalVertices.push_back(v);
            m_apicalOffsets.push_back({offset.dot(m_planeX), offset.dot(m_planeY)});
        } else if (h >= 0.7 && h <= 0.9) {
            m_basalVertices.push_back(v);
            m_basalOffsets.push_back({offset.dot(m_planeX), offset.dot(m_planeY)});
        }
    }
    if (m_apicalVertices.empty() || m_basalVertices.empty())
        return refuse(std::string("deformation indices: no myocardium vertex at ") +
                      (m_apicalVertices.empty() ? "10-30 %" : "70-90 %") +
                      " of the long axis to measure the rotation at");

    m_chunkSums.assign(m_chunkSegment.size(), {0.0, 0.0, 0.0, 0.0});
    m_apicalAngles.assign(m_apicalVertices.size(), 0.0);
    m_basalAngles.assign(m_basalVertices.size(), 0.0);
    m_ready = true;
    return true;
}

bool DeformationIndices::measure(const std::vector<vec3>& positions, DeformationIndexValues& out) {
    out = DeformationIndexValues();
    if (!m_ready || positions.size() != m_inputRest.size()) return false;

    // The current axis, from the apex vertex and the base vertices' mean.
    const vec3 apex = positions[m_apex];
    vec3 axis = meanOf(positions, m_baseVertices) - apex;
    axis /= axis.norm();
    // The rest plane's basis turned back by the smallest rotation that takes the current axis onto
    // the rest axis (the transpose of that rotation, from its images of the coordinate axes).
    const AxisAlignment alignment(axis, m_axis);
    const vec3 turnedX = alignment.apply(vec3(1, 0, 0)), turnedY = alignment.apply(vec3(0, 1, 0)),
               turnedZ = alignment.apply(vec3(0, 0, 1));
    const vec3 planeX(turnedX.dot(m_planeX), turnedY.dot(m_planeX), turnedZ.dot(m_planeX));
    const vec3 planeY(turnedX.dot(m_planeY), turnedY.dot(m_planeY), turnedZ.dot(m_planeY));

    const vec3* x = positions.data();
    const int* corners = m_corners.data();
    const double* weights = m_weights.data();
    const int* chunkStart = m_chunkStart.data();
    std::array<double, 4>* chunkSums = m_chunkSums.data();
    const double* chunkVolumes = m_chunkVolumes.data();
    const int chunks = static_cast<int>(m_chunkSums.size());
    const int apical = static_cast<int>(m_apicalVertices.size()), basal = static_cast<int>(m_basalVertices.size());
#pragma omp parallel if (myocardiumTetrahedra() >= m_parallelThreshold)
    {
#pragma omp for schedule(static) nowait
        for (int c = 0; c < chunks; ++c) {
            const std::array<double, 3> stretches = sumChunk(x, corners, weights, chunkStart[c], chunkStart[c + 1]);
            const double volume = chunkVolumes[c];
            chunkSums[c] = {volume, stretches[0] - volume, stretches[1] - volume, stretches[2] - volume};
        }
#pragma omp for schedule(static) nowait
        for (int i = 0; i < apical; i += 4)
            bandRotations(m_apicalOffsets.data(), m_apicalVertices.data(), x, apex, planeX, planeY, i,
                          std::min(i + 4, apical), m_apicalAngles.data());
#pragma omp for schedule(static)
        for (int i = 0; i < basal; i += 4)
            bandRotations(m_basalOffsets.data(), m_basalVertices.data(), x, apex, planeX, planeY, i,
                          std::min(i + 4, basal), m_basalAngles.data());
    }

    // The chunks in order into their segments, the segments in order into the whole.
    std::array<std::array<double, 4>, kSegmentCount> segmentSums{};
    for (int c = 0; c < chunks; ++c)
        for (int k = 0; k < 4; ++k) segmentSums[m_chunkSegment[c]][k] += chunkSums[c][k];
    std::array<double, 4> total{0.0, 0.0, 0.0, 0.0};
    for (int s = 0; s < kSegmentCount; ++s) {
        const std::array<double, 4>& sum = segmentSums[s];
        for (int k = 0; k < 4; ++k) total[k] += sum[k];
        SegmentStrains& segment = out.segments[s];
        if (!m_hasSegments || m_segmentTetrahedra[s] == 0) continue;
        segment.tetrahedra = m_segmentTetrahedra[s];
        segment.longitudinal = sum[1] / sum[0] * 100.0;
        segment.circumferential = sum[2] / sum[0] * 100.0;
        segment.radial = sum[3] / sum[0] * 100.0;
    }
    out.longitudinal = total[1] / total[0] * 100.0;
    out.circumferential = total[2] / total[0] * 100.0;
    out.radial = total[3] / total[0] * 100.0;
    out.apicalRotation = meanDegrees(m_apicalAngles);
    out.basalRotation = meanDegrees(m_basalAngles);
    out.twist = out.apicalRotation - out.basalRotation;
    out.available = true;
    out.segmentsAvailable = m_hasSegments;
    return true;
}
