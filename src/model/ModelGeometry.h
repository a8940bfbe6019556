// Geometry operations on the heart model: clipping (cut and peel), region growing and constraints,
// screen labelling, vertex picking, grab sets, amplitude painting and rigid/affine transforms.
#pragma once

#include <vector>

#include "linalg/vec3.h"
#include "mesh/ScreenProjection.h"
#include "model/TLSMModel.h"

/// Marching-tetrahedra case table, indexed by the 4-bit inside mask (bit k: local corner k inside).
/// Each row orders the local corners as (B0, B1, B2, B3), an even permutation so that emitted
/// triangles keep the tetrahedron's orientation: B0 is the inside corner of a one-inside mask and
/// the outside corner of a three-inside mask; B0 and B1 are the inside corners of a two-inside
/// mask. Mask 0 emits nothing and has no ordering.
inline constexpr int kClipCases[16][4] = {
    {-1, -1, -1, -1}, {0, 1, 2, 3}, {1, 2, 0, 3}, {0, 1, 2, 3}, {2, 0, 1, 3}, {0, 2, 3, 1}, {1, 2, 0, 3}, {3, 2, 1, 0},
    {3, 2, 1, 0},     {0, 3, 1, 2}, {1, 3, 2, 0}, {2, 0, 1, 3}, {2, 3, 0, 1}, {1, 2, 0, 3}, {0, 1, 2, 3}, {0, 1, 2, 3}};

/// Replaces the drawn surface by the boundary of the part of the volume where values < isoValue
/// (marching tetrahedra over the current positions; one value per tetrahedral vertex). Output
/// vertices are shared: one per kept tetrahedral vertex and one per cut edge, so neighbouring
/// tetrahedra join seamlessly; cut vertices follow the volume through their blended sources. The
/// flat-shading tags are reset to 0. The tetrahedra themselves are never removed. Returns the
/// surface's validity; false without touching anything, with a message, when the value count does
/// not match the vertex count or a value is not a finite number.
bool clipSurface(TLSMModel& model, double isoValue, const std::vector<double>& values);

/// Cuts the drawn surface along a 3-D stroke seen through `view`: the part of the model lying on
/// the screen on the right-hand side of the stroke remains, the rim is flat shaded and the peel
/// level returns to 1.0. A stroke of two points or fewer, or of zero length, restores the full
/// surface; so does a cut that leaves nothing.
void cutByStroke(TLSMModel& model, const std::vector<vec3>& stroke, const ScreenProjection& view);

/// One wheel notch of depth peeling: the peel level moves by 0.025 (up: towards 1.0, where the full
/// surface returns) and is kept within [0, 1]; below 1 the surface is clipped at the level by the
/// orientation field's depth values, its normals smoothed and its rim flat shaded. Prints
/// "current depth = %f".
void stepPeelDepth(TLSMModel& model, bool up);

/// A region of the drawn surface: triangle indices in the order collected, and the tetrahedral
/// vertices under them, ascending and without repeats.
struct TSurfaceRegion {
    std::vector<int> triangles;
    std::vector<int> vertices;
};

/// Breadth-first growth from `seedTriangle` across edges to neighbours whose unit normal lies less
/// than 36 degrees from the current triangle's; triangles touching a cut vertex are left out.
/// Empty for a seed outside the surface.
TSurfaceRegion growSmoothRegion(const TLSMModel& model, int seedTriangle);

/// Adds a vertex constraint with `value` for every vertex of the region grown from `seedTriangle`
/// to field 0 (phase), 1 (amplitude) or 2 (depth), skipping vertices already constrained within
/// 0.01. Returns the number added; another field number is refused with a message. The field is
/// not recomputed here.
int addRegionConstraints(TLSMModel& model, int field, int seedTriangle, double value);

/// Gives `label` to every vertex whose window position (y counted from the top of the viewport)
/// lies within `radius` pixels of (centreX, centreY), bounds included; hidden vertices too.
/// Returns the number labelled.
int labelVerticesInBrush(TLSMModel& model, const ScreenProjection& view, double centreX, double centreY, double radius,
                         int label);

/// Gives `label` to every vertex whose window position (y from the top) lies in the rectangle
/// spanned by the two corner pixels, bounds included. Returns the number labelled.
int labelVerticesInRect(TLSMModel& model, const ScreenProjection& view, double cornerAX, double cornerAY,
                        double cornerBX, double cornerBY, int label);

/// Result of a vertex pick: the vertex (-1 for none), its distance to the ray's line and its
/// current position.
struct TVertexPick {
    int vertex = -1;
    double distance = 0.0;
    vec3 position;
};

/// Among the vertices whose current position lies closer than maxDistance to the line through
/// origin along direction, the one nearest to the origin (the first on ties).
TVertexPick pickVertexNearRay(const TLSMModel& model, const vec3& origin, const vec3& direction, double maxDistance);

/// One member of a grab: a vertex and its current offset from the grabbed vertex.
struct TGrabMember {
    int vertex = -1;
    vec3 offset;
};

/// The grabbed vertex and its shape-matching neighbours three rings deep, ascending, each with its
/// current position minus the grabbed vertex's. Empty for a vertex outside the model.
std::vector<TGrabMember> collectGrabSet(const TLSMModel& model, int vertex);

/// Sets the amplitude value of the shape-matching neighbourhood of the vertex under the ray (the
/// first corner of the nearest front-facing surface triangle hit). Constraints are not touched
/// and the field is not recomputed. False when nothing is hit.
bool paintAmplitudeAtRay(TLSMModel& model, const vec3& origin, const vec3& direction, double value);

/// Applies the affine part of the column-major 4x4 matrix (linear block and translation column)
/// to the current positions about their centroid and to the rest positions about theirs; turns
/// the fibre frames with the linear block so that they stay attached to the tissue; sets the
/// simulator up again from the new rest shape and moves the surface. False, with nothing changed,
/// for an empty model or a matrix holding a value that is not a finite number (with a message).
bool transformModel(TLSMModel& model, const double matrix[16]);

/// Scales the model uniformly so that the largest edge of the rest positions' bounding box is 40,
/// then moves it so that the box is centred on (20, 20, 20), the camera's home look-at point.
/// False for an empty model or a box of zero size.
bool normalizeModelPlacement(TLSMModel& model);

/// A camera looking along -z at `center` from `distance` away, as the view's perspective sees it.
struct ViewFrustum {
    vec3 center;
    double distance = 40.0;
    double fovyDegrees = 45.0;
    /// Width over height of the view.
    double aspect = 4.0 / 3.0;
};

/// Shrinks the model about the frustum's look-at point (never enlarges it) so that every rest
/// position projects within `fill` of the view's half-width and half-height (0.85 leaves a 15 %
/// margin) and lies well in front of the eye. Returns the scale applied (1 when the model already
/// fits); 0 for an empty model.
double fitModelInFrustum(TLSMModel& model, const ViewFrustum& view, double fill);
