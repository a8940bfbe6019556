// TTensorField: the orientation (fibre) field: strokes, depth field, per-vertex frames, fibre lines.
#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "fields/Constraints.h"
#include "fields/TSmoothField.h"
#include "linalg/vec3.h"

/// Orthonormal frame of one vertex, fibre direction first.
struct TVertexFrame {
    vec3 m_primaryDir{1, 0, 0};
    vec3 m_depthDir{0, 1, 0};
    vec3 m_thirdDir{0, 0, 1};
};

/// Rule-based fibres as they stand on the frames: whether they are in force (a stroke update or a
/// preset replaces them) and their helix angles in degrees at the cavities and at the outer surface.
struct RuleBasedFibreSetting {
    bool inForce = false;
    double endoDegrees = 60.0;
    double epiDegrees = -60.0;
};

/// One display fibre line: samples with the depth value at each.
using TFibreLine = std::vector<std::pair<TTetSample, double>>;

struct Tetra;
struct TetInverses;

/// The Cholesky factor of the last orientation fit with what its matrix was made from (rest
/// positions, neighbourhoods, depth values) and the stroke-sample terms in it, so that an update
/// after strokes were added or deleted changes the factor instead of rebuilding and refactorising
/// the system. A copy starts empty.
struct TOrientationFactorCache : TFieldFactorCache {
    std::vector<vec3> m_positions;
    std::vector<double> m_depth;
    std::vector<std::vector<int>> m_neighbours;
    /// Empties the factor and what it was made from.
    void reset() {
        clear();
        m_positions = {};
        m_depth = {};
        m_neighbours = {};
    }
};

/// Most stroke samples (added plus removed) an orientation update takes through the kept factor;
/// each costs about a millisecond on a 20,000-vertex mesh, a new factorisation about 300.
constexpr int kMaxIncrementalSamples = 150;

/// The orientation field owned by the heart model. UI thread only.
class TTensorField {
public:
    /// Identity frames, depth field [0, 1] at 1.0, fibre lines with every vertex labelled ventricle.
    void initOrientationField(const std::vector<Tetra>& tets, const std::vector<vec3>& positions);
    /// Depth values from the depth constraints by radial basis functions (needs 4 positive targets).
    void updateField_RBF(TSmoothField& depth, const std::vector<vec3>& positions);
    /// Frames from strokes and depth (weighted Laplacian fit), then the four fibre-line sets.
    void updateOrientation(const std::vector<Tetra>& tets, const std::vector<vec3>& positions,
                           const std::vector<std::vector<int>>& neighbours, const std::vector<int16_t>& labels);
    /// Empties the depth constraints, default depth values, then updateOrientation.
    void resetDepthField(const std::vector<Tetra>& tets, const std::vector<vec3>& positions,
                         const std::vector<std::vector<int>>& neighbours, const std::vector<int16_t>& labels);
    /// Empties the strokes, then updateOrientation.
    void resetStrokes(const std::vector<Tetra>& tets, const std::vector<vec3>& positions,
                      const std::vector<std::vector<int>>& neighbours, const std::vector<int16_t>& labels);
    /// Removes the stroke nearest the ray among those at the given depth (0 deletes nothing);
    /// returns the removed index or -1.
    int deleteNearestStroke(const vec3& origin, const vec3& direction, double depthOfInterest,
                            const std::vector<vec3>& currentPositions);
    /// Rebuilds fibre-line set 0..3.
    void buildFibreLines(int set, const std::vector<Tetra>& tets, const std::vector<vec3>& positions,
                         const std::vector<int16_t>& labels);
    /// Rebuilds the four sets in order (as buildFibreLines for 0, 1, 2, 3).
    void buildAllFibreLines(const std::vector<Tetra>& tets, const std::vector<vec3>& positions,
                            const std::vector<int16_t>& labels);

    /// Seeds per fibre-line set and the longest walk in either direction from a seed.
    static constexpr int kSeedCount[4] = {8000, 8000, 3000, 3000};
    static constexpr int kMaxWalkSteps = 80;
    /// Distance between consecutive points of a fibre line (model units).
    static constexpr double kWalkStep = 0.05;
    /// Lines with fewer points than this (seed included) are dropped.
    static constexpr int kMinLinePoints = 5;

    std::vector<TOrientationStroke> m_strokes;
    std::array<std::vector<TFibreLine>, 4> m_fibreLines;
    TSmoothField m_depthField;
    std::vector<TVertexFrame> m_frames;
    TOrientationFactorCache m_factorCache;
    /// Set by the rule-based fibres; cleared by whatever else replaces the frames.
    RuleBasedFibreSetting m_ruleBased;
    /// The transmural coordinate the rule-based fibres were last made from (one per vertex), kept
    /// for display; empty before.
    std::vector<double> m_transmural;

private:
    /// The depth values resized to the vertex count (filled with the default) when they do not match.
    void fitDepthValues(size_t vertexCount);
    /// Weighted Laplacian least-squares fit of the primary directions to the stroke tangents.
    void fitPrimaryDirections(const std::vector<vec3>& positions, const std::vector<std::vector<int>>& neighbours);
    void buildFibreLines(int set, const std::vector<Tetra>& tets, const std::vector<vec3>& positions,
                         const std::vector<int16_t>& labels, const TetInverses& inverses);
};

/// Locates point starting from tetrahedron startTet: startTet itself, then its face neighbours, then
/// the face neighbours of the neighbour whose centroid is nearest (barycentric weights in [0, 1]
/// inclusive). On success sample holds the containing tetrahedron's corners and the weights, and
/// tetOut its index; false when none of these contains the point.
bool locatePointFromTet(const std::vector<Tetra>& tets, const std::vector<vec3>& positions, int startTet,
                        const vec3& point, TTetSample& sample, int& tetOut);
