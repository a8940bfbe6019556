// DeformationIndices: the clinical deformation indices of the left ventricle (global longitudinal,
// circumferential and radial strain, apical and basal rotation, twist, and the strains of the 17
// AHA segments), prepared once per model set-up and measured on any state of it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "linalg/vec3.h"
#include "mesh/Tetra.h"

class TLSMModel;

/// The strains of one AHA segment: rest-volume-weighted means over its tetrahedra, in percent.
/// All 0 when the segment holds no tetrahedron.
struct SegmentStrains {
    double longitudinal = 0.0;
    double circumferential = 0.0;
    double radial = 0.0;
    int tetrahedra = 0;
};

/// One measured state. Strains in percent (engineering strain x 100), rotations in degrees,
/// positive counterclockwise seen from the apex looking toward the base. Plain value, no heap.
struct DeformationIndexValues {
    /// False when nothing was measured (no left-ventricular wall, or a refused set-up): every value 0.
    bool available = false;
    /// False without a right-ventricular wall: the segments are then all 0.
    bool segmentsAvailable = false;
    double longitudinal = 0.0;
    double circumferential = 0.0;
    double radial = 0.0;
    double apicalRotation = 0.0;
    double basalRotation = 0.0;
    /// apicalRotation - basalRotation.
    double twist = 0.0;
    /// Segments 1 to 17 at indices 0 to 16.
    std::array<SegmentStrains, 17> segments{};
};

/// The left ventricle's axis, myocardium, wall directions and segments, built from the rest
/// positions, the tetrahedra, the vertex labels (1 ventricle, 2 atrium) and the left- and
/// right-ventricular walls (triangles in vertex indices), then measured on current positions:
///  - base B: the mean of the vertices on the left-ventricular wall's open edges, or, for a closed
///    wall, of the ventricle vertices sharing a tetrahedron with an atrium vertex that are no
///    farther from the left wall than from the right one; apex A: the left-wall vertex farthest
///    from B; long axis ez = (B - A) / L, height h(p) = (p - A) . ez / L;
///  - myocardium: all-ventricle tetrahedra with h(centroid) <= 1, no farther from the left wall
///    than from the right one; each gets a wall frame (radial et = the left wall's outward normal at
///    its nearest wall vertex, longitudinal el = ez without its et part, circumferential el x et);
///  - strain along e: |F e| - 1 with F = D D0^-1 (current and rest edge matrices);
///  - rotation of a vertex: the angle about ez from its rest offset to its current one (taken to
///    the rest axis by the smallest rotation), apex band h in [0.1, 0.3], base band [0.7, 0.9];
///  - segments by height (thirds) and by the angle from the septum (toward the right wall).
/// Prepared once (prepare); measure() then allocates nothing and gives the same bits on any number
/// of OpenMP threads (per-tetrahedron work in parallel, sums in a fixed order). One object per
/// caller: measure() writes the object's scratch arrays. User-interface thread or a worker of its
/// own; never measure one object from two threads at once.
class DeformationIndices {
   public:
    static constexpr int kSegmentCount = 17;
    /// The refusal for a model without a left-ventricular wall.
    static constexpr const char* kNoLeftWallMessage =
        "no left-ventricular wall painted (VL): the deformation indices need it";

    /// AHA name of segment 1..17 ("basal anterior" ... "apex"); "" outside that range.
    static const char* segmentName(int segment);

    /// Prepares from plain arrays: rest positions (n), tetrahedra (corners 0-based), one label per
    /// vertex, the left- and right-ventricular wall triangles. False, with refusal() set, when the
    /// left wall is empty (kNoLeftWallMessage), an index is out of range, no base or no long axis
    /// can be found, no tetrahedron makes up the myocardium, or no myocardium vertex lies in the
    /// apical or the basal band. An empty right wall is no refusal: the global indices are
    /// measured, the segments are not.
    bool prepare(const std::vector<vec3>& rest, const std::vector<Tetra>& tets, const std::vector<int16_t>& labels,
                 const std::vector<std::array<int, 3>>& leftWall, const std::vector<std::array<int, 3>>& rightWall);
    /// The same from the model's rest positions (m_vtxOrigPos), tetrahedra, labels and VL/VR walls.
    bool prepare(const TLSMModel& model);
    /// True when the last prepare() read this model object's inputs as they stand now (the same
    /// rest positions, labels and walls, compared by value, and as many tetrahedra, which a model
    /// keeps from its set-up on), whether it succeeded or refused. A fraction of a millisecond on
    /// the bundled heart: cheap enough for every frame of a window.
    bool isPreparedFor(const TLSMModel& model) const;

    /// Whether the last prepare() succeeded; its refusal otherwise ("" before any prepare).
    bool ready() const { return m_ready; }
    const std::string& refusal() const { return m_refusal; }
    bool hasSegments() const { return m_ready && m_hasSegments; }

    /// Measures current positions (one per rest vertex, same order) against the rest state. False,
    /// with out all zeros and unavailable, when not ready or the count differs. Non-finite positions
    /// give non-finite values.
    bool measure(const std::vector<vec3>& positions, DeformationIndexValues& out);

    /// The prepared geometry at rest (meaningful when ready): the apex vertex, the base vertices
    /// (ascending), the base point, the axis length L and direction ez, the septum direction s
    /// (unit, orthogonal to ez; zero without a right wall).
    int apexVertex() const { return m_apex; }
    const std::vector<int>& baseVertices() const { return m_baseVertices; }
    const vec3& basePoint() const { return m_basePoint; }
    double axisLength() const { return m_length; }
    const vec3& axisDirection() const { return m_axis; }
    const vec3& septumDirection() const { return m_septum; }
    /// Height h of a rest point: (p - A) . ez / L.
    double heightAt(const vec3& restPoint) const;
    /// The segment (1..17) a rest point at or below the base (h <= 1) falls in; 0 when h > 1, no
    /// right wall was given or the point lies on the axis. Segments 1-6 for h >= 2/3, 7-12 for
    /// h in [1/3, 2/3), 13-16 for h in [0, 1/3), 17 for h < 0.
    int segmentAt(const vec3& restPoint) const;
    /// The least number of myocardium tetrahedra for which measure() (and the set-up's pass over
    /// the tetrahedra) runs on the OpenMP threads; fewer stay on the calling thread, where waking
    /// another would cost more than it saves.
    void setParallelThreshold(int count) { m_parallelThreshold = count; }
    static constexpr int kDefaultParallelThreshold = 4096;
    /// Doubles per myocardium tetrahedron in the measurement's weights (see the members below).
    static constexpr int kWeightStride = 9;

    /// Tetrahedra of the myocardium and vertices in the apex and base bands.
    int myocardiumTetrahedra() const { return static_cast<int>(m_corners.size() / 4); }
    int apicalBandVertices() const { return static_cast<int>(m_apicalVertices.size()); }
    int basalBandVertices() const { return static_cast<int>(m_basalVertices.size()); }

   private:
    bool refuse(const std::string& message);
    void keepInputs(const std::vector<vec3>& rest, const std::vector<Tetra>& tets, const std::vector<int16_t>& labels,
                    const std::vector<std::array<int, 3>>& leftWall, const std::vector<std::array<int, 3>>& rightWall);

    bool m_ready = false;
    bool m_hasSegments = false;
    int m_parallelThreshold = kDefaultParallelThreshold;
    std::string m_refusal;

    // The inputs of the last prepare, for isPreparedFor (serial 0: not prepared from a model).
    std::uint64_t m_inputSerial = 0;
    std::vector<vec3> m_inputRest;
    size_t m_inputTetrahedra = 0;
    std::vector<int16_t> m_inputLabels;
    std::vector<std::array<int, 3>> m_inputLeftWall, m_inputRightWall;

    int m_apex = -1;
    vec3 m_apexPoint;
    std::vector<int> m_baseVertices;
    vec3 m_basePoint;
    double m_length = 0.0;
    vec3 m_axis;
    vec3 m_septum;

    /// The myocardium grouped by segment (ascending tetrahedron index within each): four corners
    /// per tetrahedron, and kWeightStride doubles: V D0^-1 applied to el, ec and et (V its rest
    /// volume) laid out by component (the three x, the three y, the three z) so that the three
    /// directions are measured side by side. Cut into chunks of at most a fixed count that never
    /// straddle two segments: each chunk's sums are one task, and the chunks are added in order, so
    /// the result does not depend on the number of threads.
    std::vector<int> m_corners;
    std::vector<double> m_weights;
    std::vector<int> m_chunkStart;       ///< chunk c is [m_chunkStart[c], m_chunkStart[c + 1])
    std::vector<int> m_chunkSegment;     ///< 0..16 (0 for all without segments)
    std::vector<double> m_chunkVolumes;  ///< the rest volume of each chunk's tetrahedra
    std::array<int, kSegmentCount> m_segmentTetrahedra{};

    // Band vertices and their rest offsets from the axis, as coordinates (a, b) in the rest plane's
    // basis m_planeX, m_planeY (m_planeX x m_planeY = m_axis).
    std::vector<int> m_apicalVertices, m_basalVertices;
    std::vector<std::array<double, 2>> m_apicalOffsets, m_basalOffsets;
    vec3 m_planeX, m_planeY;

    // Scratch of measure(): rest volume and the three weighted strain sums per chunk, one angle per
    // band vertex.
    std::vector<std::array<double, 4>> m_chunkSums;
    std::vector<double> m_apicalAngles, m_basalAngles;
};
