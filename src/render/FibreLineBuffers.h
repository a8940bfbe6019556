// FibreLineBuffers: the fibre-line sets as vertex buffers, rebuilt only when the lines or the
// positions they ride on change, each set drawn with one call.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "fields/TTensorField.h"
#include "mesh/ScreenProjection.h"
#include "render/GLBuffer.h"

// ---- GL-free builder -------------------------------------------------------------------------

/// Line strips of a fibre-line set ready for one draw call: per point x, y, z and the texture
/// coordinate (the sample's stored value), interleaved as four floats; the strips one after another.
struct FibreStrips {
    std::vector<float> vertices;  ///< 4 per point
    std::vector<int> firsts;      ///< first point of each strip
    std::vector<int> counts;      ///< points of each strip (at least 2)
    /// Point indices of all strips with kStripRestart between consecutive strips.
    std::vector<std::uint32_t> indices;
    int pointCount() const { return static_cast<int>(vertices.size() / 4); }
};
constexpr std::uint32_t kStripRestart = 0xFFFFFFFFu;

/// Fills strips with the lines at positions: the points of fibreLineVertices, lines left with fewer
/// than two points left out. With importance (one entry per sample of all lines in order, as
/// fibreSampleImportance gives it) only the samples whose importance exceeds tolerance are kept;
/// importance of another length is ignored. Storage is reused between calls.
void buildFibreStrips(const std::vector<TFibreLine>& lines, const std::vector<vec3>& positions, FibreStrips& strips,
                      const std::vector<float>* importance = nullptr, double tolerance = 0.0);

/// Ramer-Douglas-Peucker ranks of the points of one polyline: importance[i] is the largest tolerance
/// at which the simplification still keeps point i, measured as the distance of (x, y, z,
/// valueScale * value) from the chord of the span it splits, never more than the importance of the
/// point that split the enclosing span. The two ends are always kept (infinite importance). Keeping
/// the points with importance above a tolerance leaves every dropped point within that distance of
/// the chord that replaces it. importance is resized to points.size().
void polylineImportance(const std::vector<vec3>& points, const std::vector<double>& values, double valueScale,
                        std::vector<float>& importance);

/// The importance of every sample of every line (lines in order, samples in order) at positions;
/// samples with a vertex outside positions get infinite importance (they are dropped by
/// fibreLineVertices anyway).
void fibreSampleImportance(const std::vector<TFibreLine>& lines, const std::vector<vec3>& positions,
                           std::vector<float>& importance);

/// The fibre value's weight against model units in the ranks: a value error of one
/// hundredth of the tolerance in model units (the ramp has 128 texels over the value range 0..1).
constexpr double kFibreValueScale = 10.0;

/// The finest tolerance of the levels of detail and their count: level k drops what lies within
/// kFibreFinestTolerance * 2^k model units of the drawn line.
constexpr double kFibreFinestTolerance = 0.001;
constexpr int kFibreDetailLevels = 8;
/// What a dropped point may be off the drawn line on the screen, in pixels.
constexpr double kFibrePixelTolerance = 0.25;

/// The level of detail for drawing lines inside the box [boxMin, boxMax] in view: the coarsest
/// level whose tolerance, seen from the box's point nearest to the eye, stays within
/// kFibrePixelTolerance pixels; -1 (everything) when the eye is inside the box, the projection is
/// not a perspective one, or even the finest level would show.
int fibreDetailLevel(const ScreenProjection& view, const vec3& boxMin, const vec3& boxMax);

/// A fingerprint of a fibre-line set that changes when the set is rebuilt: the line count and, per
/// line, its length and its first, middle and last samples with their values.
std::uint64_t fibreSetFingerprint(const std::vector<TFibreLine>& lines);

// ---- The buffers (current context, inside a frame) -------------------------------------------

/// The four sets' strips and buffers, kept between frames. One per process (one view).
class FibreLineBuffers {
   public:
    static FibreLineBuffers& instance();

    /// Draws set 0..3 of field at positions as line strips with the current colour, line width and
    /// texture, at the level of detail the current view needs (fibreDetailLevel); rebuilds and
    /// uploads the set first when the lines, the positions or the level changed.
    void draw(const TTensorField& field, int set, const std::vector<vec3>& positions);
    /// Forgets the buffers of a context that is gone.
    void forgetContext();

   private:
    FibreLineBuffers() = default;
    struct Set {
        FibreStrips strips;
        std::uint64_t linesKey = 0;
        std::uint64_t positionsKey = 0;
        std::vector<float> importance;
        int level = -1;
        bool built = false;
        bool uploaded = false;
        GLBuffer vertexBuffer;
        GLBuffer indexBuffer;
    };
    std::array<Set, 4> m_sets;
};
