// ChartEditing: finding, inserting, moving and removing the points of a contraction chart, for the
// chart overlay of the 3-D view and the chart editor of the standard dialog.
#pragma once

#include "model/TGlobalExcitation.h"

/// A point of the overlay's plane (normalised device coordinates: x from -1 left to 1 right, y from
/// -1 bottom to 1 top), or a size in it.
struct ChartXY {
    double x = 0.0;
    double y = 0.0;
};

/// Pick radius of a chart point in the overlay, in normalised device units.
constexpr double kChartPickRadius = 0.03;
/// Closest two chart points may come in t while one is dragged; the last point stops 0.001 short
/// of the cycle's end.
constexpr double kChartMinGap = 0.001;
constexpr double kChartLastT = 0.999;
/// The values a dragged overlay point is kept within.
constexpr double kOverlayValueLow = 0.0000001;
constexpr double kOverlayValueHigh = 0.9999999;

/// The chart frame's point of chart value (t, v): pos + (t * size.x, v * size.y).
ChartXY chartToFrame(const ChartXY& pos, const ChartXY& size, double t, double v);

/// The first point of chart (in curve order) whose mapped position lies within kChartPickRadius of p
/// (Euclidean); -1 if none.
int findChartPoint(const TChart& chart, const ChartXY& pos, const ChartXY& size, const ChartXY& p);

/// Inserts the point under p: t = (p.x - pos.x) / size.x, v = (p.y - pos.y) / size.y (v is not
/// clamped). Rejected (-1, chart unchanged) when t lies outside [0, 1], when a point with exactly
/// this t exists, or when the size is zero. Otherwise the chart stays sorted by t and the new point's
/// index is returned.
int insertChartPoint(TChart& chart, const ChartXY& pos, const ChartXY& size, const ChartXY& p);

/// Inserts (t, v) keeping the chart sorted by t; -1 (nothing inserted) when t lies outside [0, 1],
/// is not a number, or equals an existing point's t. Returns the new point's index.
int insertChartValue(TChart& chart, double t, double v);

/// Moves point i to (t, v) with the drag's limits: point 0 stays at t = 0; another point's t is kept
/// within [t(i-1) + 0.001, t(i+1) - 0.001], with 0.999 as the upper bound for the last point; a
/// value v <= 0 becomes low and v >= 1 becomes high. An index outside the chart changes nothing.
/// False when nothing was moved.
bool moveChartValue(TChart& chart, int i, double t, double v, double low, double high);

/// The overlay's drag: point i to the chart value under p (see moveChartValue), values kept within
/// kOverlayValueLow and kOverlayValueHigh.
bool moveChartPoint(TChart& chart, const ChartXY& pos, const ChartXY& size, const ChartXY& p, int i);

/// Removes point i; point 0 and indices outside the chart are kept (false).
bool removeChartPoint(TChart& chart, int i);

/// The chart editor of the standard dialog: a W x H pixel area whose two guide lines lie 10 pixels
/// inside its top and bottom edges. Value 0 is drawn on the lower guide line, 1 on the upper one.
struct ChartPixelArea {
    int width = 0;   ///< W
    int height = 0;  ///< H

    /// Pixel column of cycle fraction t: int(W * t).
    int columnOf(double t) const;
    /// Pixel row (from the top) of value v: int((H - 20) - (H - 20) * v + 10).
    int rowOf(double v) const;
    /// The first point whose drawn position lies within 3 pixels (dx^2 + dy^2 < 9) of the pointer at
    /// (x, yUp) pixels, x from the area's left edge and yUp the height above its bottom edge; -1 if
    /// none.
    int findPoint(const TChart& chart, int x, int yUp) const;
    /// Chart value the pointer inserts at: ((x / W), yUp / H).
    ChartXY insertValueAt(int x, int yUp) const;
    /// Chart value the pointer drags to: (x / W, (yUp - 10) / (H - 20)).
    ChartXY dragValueAt(int x, int yUp) const;
};

/// Values a dragged point of the dialog's chart editor is kept within.
constexpr double kEditorValueLow = 0.001;
constexpr double kEditorValueHigh = 0.999;
