// MarkerPrimitives: the small solids and lines that mark points, strokes and constraints in the
// 3-D view: spheres, six-sided prisms and cones, stroke polylines and arrows, constraint markers.
#pragma once

#include <set>
#include <vector>

#include "fields/Constraints.h"
#include "fields/TSmoothField.h"
#include "linalg/vec3.h"

// ---- GL-free geometry ------------------------------------------------------------------------

/// How a batch of vertices is assembled.
enum class PrimitiveKind { TriangleFan, QuadStrip };

/// One OpenGL primitive: positions with one normal each.
struct PrimitiveBatch {
    PrimitiveKind kind = PrimitiveKind::TriangleFan;
    std::vector<vec3> positions;
    std::vector<vec3> normals;
};

/// Six-sided prism of length h along +y from the origin with radius r: the top cap (fan at y = h),
/// the side (quad strip for angles 0, -60, ..., -360 degrees) and the bottom cap (fan at y = 0).
std::vector<PrimitiveBatch> prismGeometry(double h, double r);
/// Six-sided cone of length h along +y with base radius r: the mantle (fan from the apex (0, h, 0)
/// through the seven rim points) and the bottom cap.
std::vector<PrimitiveBatch> coneGeometry(double h, double r);

/// The shared unit marker sphere (37 vertices, 70 triangles) flattened to independent triangles:
/// three positions and three unit normals per triangle. Built on first use.
struct SphereTriangles {
    std::vector<vec3> positions;
    std::vector<vec3> normals;
};
const SphereTriangles& unitSphereTriangles();

/// A rotation as glRotate takes it: degrees about an axis (not necessarily unit).
struct AxisAngle {
    vec3 axis{1, 0, 0};
    double degrees = 0.0;
};
/// The rotation that turns +y onto the unit direction d: acos(d.y) about (d.z, 0, -d.x). Straight
/// up is no rotation; straight down is half a turn about +x (the axis formula has no length there).
AxisAngle rotationFromYTo(const vec3& d);

/// One segment of a stroke drawn as a solid: start point, unit direction, length, and whether it
/// is the stroke's last segment (drawn as the arrow head).
struct StrokeSegment {
    vec3 start;
    vec3 direction;
    double length = 0.0;
    bool arrowHead = false;
};
/// The segments between consecutive points; fewer than two points give none. Segments of zero
/// length have no direction and are left out (the last remaining one carries the arrow head).
std::vector<StrokeSegment> strokeSegments(const std::vector<vec3>& points);

/// The points of a line strip for stroke: its points, and the first one again at the end when the
/// stroke is closed and not empty.
std::vector<vec3> strokeLinePoints(const Tstroke3D& stroke);

/// Position of a tetrahedral sample; false (p untouched) when an index is outside positions.
bool samplePosition(const TTetSample& sample, const std::vector<vec3>& positions, vec3& p);

/// One constraint to draw: where, and its 1-D texture coordinate.
struct ConstraintMarker {
    vec3 position;
    double texCoord = 0.0;
};
/// The constraints of field to draw at positions: with onlyOneValue only those whose target equals
/// value. Texture coordinate (target - min) / (max - min) of the field; 0 for a field of zero range.
/// Constraints with an index outside positions are left out.
std::vector<ConstraintMarker> constraintMarkers(const TSmoothField& field, const std::vector<vec3>& positions,
                                                bool onlyOneValue, double value);

// ---- Drawing (current context, inside a frame) -----------------------------------------------

/// The unit sphere scaled by scale and moved to center, positions only (colour from the caller).
void drawSphere(double scale, const vec3& center);
/// The same with a unit normal before each position (lit; normals stay unit under the scaling).
void drawSphereWithNormals(double scale, const vec3& center);
/// The prism and cone of prismGeometry / coneGeometry in the current model-view frame.
void drawPrism(double h, double r);
void drawCone(double h, double r);
/// Each segment as a prism of shaftRadius, the last as a cone of headRadius, turned onto the
/// segment direction at the segment start. Colour and lighting are the caller's.
void drawStrokeSolids(const std::vector<vec3>& points, double shaftRadius, double headRadius);
/// The stroke as one line strip of the given width (closed strokes return to their start).
void drawStroke(const Tstroke3D& stroke, float lineWidth);
/// The constraints of field as lit spheres of radius 0.25 coloured through the 1-D texture; with
/// onlyOneValue only those with target value, otherwise each again as a translucent white sphere
/// of radius 0.35. Leaves texturing and blending off.
void drawConstraints(const TSmoothField& field, const std::vector<vec3>& positions, unsigned int texture,
                     bool onlyOneValue, double value);
/// Each held vertex as a lit sphere of radius 0.5.
void drawPinnedVertices(const std::set<int>& pinned, const std::vector<vec3>& positions);
/// Marker points riding on the wall: lit spheres of radius 0.7, the first two in one colour, the
/// rest in another.
void drawMarkerPoints(const std::vector<TTetSample>& markers, const std::vector<vec3>& positions);
