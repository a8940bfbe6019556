// StdOverlays: what the standard mode draws over the model: the grab, the cut being drawn and the
// contraction chart overlay.
#pragma once

#include <vector>

#include "interaction/ChartEditing.h"
#include "linalg/vec3.h"

/// Where the chart overlay sits, in normalised device coordinates.
struct ChartOverlayLayout {
    ChartXY backgroundPos, backgroundSize;
    ChartXY framePos, frameSize;
};

/// The horizontal shift of the overlay in the right stereo half.
constexpr double kOverlayRightHalfShift = -0.03;

/// The polyline of a curve in the overlay: the mapped points in order, closed by one more vertex at
/// the frame's right edge with the first point's value. x shifted by xShift. Empty for an empty
/// chart.
std::vector<ChartXY> overlayCurveLine(const TChart& chart, const ChartXY& framePos, const ChartXY& frameSize,
                                      double xShift);

/// The playback cursor's x: framePos.x + (time / cycle) * width + xShift (no cycle: the frame's left
/// edge).
double overlayCursorX(const ChartXY& framePos, const ChartXY& frameSize, double time, double cycleLength,
                      double xShift);

// ---- Drawing (current context, inside a frame) -----------------------------------------------

/// A grab under way: spheres of radius 0.8 at the grabbed vertex and 1.2 at the target, a yellow
/// line of width 10 between them. Lighting off.
void drawGrabOverlay(const vec3& grabbed, const vec3& target);
/// A cut being drawn: a blue polyline of width 3. Lighting off.
void drawCutOverlay(const std::vector<vec3>& points);
/// The chart overlay with identity matrices and the depth test off: background, frame, playback
/// cursor, the atrium curve in blue and the ventricle curve in green with their point spheres.
/// Matrices and the depth test are restored afterwards.
void drawChartOverlay(const ChartOverlayLayout& layout, const TChart& ventricle, const TChart& atrium, double time,
                      double cycleLength, bool rightHalf);
