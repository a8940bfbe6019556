// FieldViews: what the modes show of the data being edited or simulated: the surface coloured by a
// field, fibre lines, orientation strokes, per-vertex frames, held vertices, vertex labels, the
// per-vertex contraction and the surface wireframe.
#pragma once

#include <utility>
#include <vector>

#include "model/TLSMModel.h"
#include "render/Rgba.h"

// ---- GL-free builders ------------------------------------------------------------------------

/// The scalar fields a surface can be coloured by.
enum class SurfaceField { Phase = 0, Amplitude = 1, Depth = 2, Transmural = 3 };

/// The per-vertex values of a field of the model (the depth field is the orientation field's; the
/// transmural coordinate is the one the rule-based fibres were made from, the depth field when
/// there is none for every vertex).
const std::vector<double>& fieldValues(const TLSMModel& model, SurfaceField field);

/// Surface-vertex pairs of the wireframe: the three edges (a, b), (b, c), (c, a) of every surface
/// triangle with at least one corner that is not a blend vertex. Triangles whose corners have no
/// source record count as cut.
std::vector<std::pair<int, int>> wireframeEdges(const TTriangleMesh& mesh,
                                                const std::vector<SurfaceVertexSource>& sources);

/// Grey level of the wireframe: 0.9 over a light clear colour (red + green + blue at least 2),
/// else 0.7.
double wireframeGrey(const float clearColour[4]);

/// Unit vector from the camera centre towards the eye, read from a column-major model-view matrix.
vec3 viewBackDirection(const double modelView[16]);

/// Whether the peel filter lets an orientation stroke through: always when the filter is off,
/// otherwise when the depth at its first sample lies within 0.1 of peelDepth. A stroke without
/// samples, or whose first sample has a vertex outside depth, does not pass the filter.
bool strokePassesPeelFilter(const TOrientationStroke& stroke, const std::vector<double>& depth, bool filterOn,
                            double peelDepth);

/// Line-strip vertices of one fibre line: positions from the samples' weighted vertices and the
/// stored value of each sample as its texture coordinate. Samples with a vertex outside positions
/// are left out.
void fibreLineVertices(const TFibreLine& line, const std::vector<vec3>& positions, std::vector<vec3>& points,
                       std::vector<double>& texCoords);

/// Colour and sphere radius of a vertex label: 0 grey and small, 1 (ventricle) red, any other green.
struct LabelStyle {
    Rgba colour;
    double radius = 0.0;
};
LabelStyle vertexLabelStyle(int label);

/// Colour of a vertex contracted by factor c (along the fibre): (2(1 - c), 2(1 - c), 2(c - 1)),
/// each component clamped to [0, 1] as OpenGL clamps colours: yellow when contracting, blue when
/// stretched, black at rest.
vec3 contractionColour(double c);

// ---- Drawing (current context, inside a frame) -----------------------------------------------

/// The surface in index order, coloured by field through the 1-D texture (lit, modulated).
void drawFieldColored(const TLSMModel& model, SurfaceField field, unsigned int texture);
/// Fibre-line set 0..3 of the orientation field as white line strips of width 2 through the texture,
/// from the set's vertex buffer (FibreLineBuffers: one draw, thinned within a quarter pixel).
void drawFibreLines(const TLSMModel& model, int set, unsigned int texture);
/// The orientation strokes as prisms with a cone on the last segment, in (1, 0.2, 0.2); with the
/// filter only those whose first sample's depth is within 0.1 of peelDepth.
void drawOrientationStrokes(const TLSMModel& model, bool filterOn, double peelDepth);
/// The per-vertex frames: 0.3 long lines along the fibre (white), depth (green) and third (blue) axes.
void drawFrames(const TLSMModel& model);
/// Yellow lines of width 3 from every held vertex to its target.
void drawFixedVertices(const TLSMModel& model);
/// A lit sphere per vertex in the colour and size of its region label.
void drawVertexLabels(const TLSMModel& model);
/// An unlit sphere of radius 0.3 per vertex in its contraction colour.
void drawContraction(const TLSMModel& model);
/// The wireframe edges, pushed 0.05 towards the camera, in grey of width 2.
void drawWireframe(const TLSMModel& model);
