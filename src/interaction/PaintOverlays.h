// PaintOverlays: the figures the paint mode draws over the heart while a gesture runs: the cut
// stroke, the orientation stroke's arrows, the selection rectangle and the brush circle.
#pragma once

#include <array>
#include <vector>

class TOGL;
class TStatePaintCtrlField;

/// A view pixel (origin top-left, y downwards).
struct OverlayPixel {
    double x = 0.0;
    double y = 0.0;
};

/// The four corners of the screen rectangle spanned by two pixels, in drawing order around it.
std::array<OverlayPixel, 4> regionRectCorners(const int pressPixel[2], const int lastPixel[2]);

/// The brush outline: 10 points at angles 2 pi i / 9, i = 0..9, radius pixels around the centre
/// (the last point equals the first, closing the line).
std::vector<OverlayPixel> brushCirclePixels(const int centre[2], double radius);

/// Draws the overlays of the gesture under way (current context, inside a frame, after the scene):
/// the cut stroke as a blue line of width 3; the orientation stroke (2 points or more) lit, as
/// shafts of radius 0.08 and an arrow head of radius 0.16; the region rectangle or brush circle in
/// magenta, width 3, unprojected at the overlay depth. Nothing when no gesture runs.
void drawPaintOverlays(const TStatePaintCtrlField& mode, TOGL& ogl);
