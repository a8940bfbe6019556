// PaintOverlays: gesture figures of the paint mode.
#include "interaction/PaintOverlays.h"

#include <GL/glew.h>

#include <cmath>

#include "interaction/TStatePaintCtrlField.h"
#include "render/GLMaterial.h"
#include "render/MarkerPrimitives.h"
#include "render/TOGL.h"

namespace {

constexpr float kOverlayLineWidth = 3.0f;
constexpr double kArrowShaftRadius = 0.08;
constexpr double kArrowHeadRadius = 0.16;
constexpr int kBrushCirclePoints = 10;

/// Plain coloured lines: no lighting, texturing, blending or shader left over from the scene.
void beginFlatLines() {
    glUseProgram(0);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
}

/// A figure of view pixels as a magenta line just behind the near plane (a loop when closed).
void drawPixelFigure(TOGL& ogl, const OverlayPixel* pixels, size_t count, bool closed) {
    // The matrices are read before glBegin: no state may be queried inside a primitive.
    std::vector<vec3> points;
    points.reserve(count);
    for (size_t i = 0; i < count; ++i) points.push_back(ogl.unprojectPoint(pixels[i].x, pixels[i].y, kOverlayDepth));
    beginFlatLines();
    glColor3d(1.0, 0.0, 1.0);
    glLineWidth(kOverlayLineWidth);
    glBegin(closed ? GL_LINE_LOOP : GL_LINE_STRIP);
    for (const vec3& p : points) glVertex3d(p.x, p.y, p.z);
    glEnd();
}

}  // namespace

std::array<OverlayPixel, 4> regionRectCorners(const int pressPixel[2], const int lastPixel[2]) {
    const double x0 = pressPixel[0], y0 = pressPixel[1], x1 = lastPixel[0], y1 = lastPixel[1];
    return {OverlayPixel{x0, y0}, OverlayPixel{x1, y0}, OverlayPixel{x1, y1}, OverlayPixel{x0, y1}};
}

std::vector<OverlayPixel> brushCirclePixels(const int centre[2], double radius) {
    std::vector<OverlayPixel> pixels;
    pixels.reserve(kBrushCirclePoints);
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < kBrushCirclePoints; ++i) {
        const double angle = 2.0 * pi * i / (kBrushCirclePoints - 1);
        pixels.push_back({centre[0] + radius * std::cos(angle), centre[1] + radius * std::sin(angle)});
    }
    return pixels;
}

void drawPaintOverlays(const TStatePaintCtrlField& mode, TOGL& ogl) {
    if (mode.m_gCut) {
        beginFlatLines();
        glColor3d(0.0, 0.0, 1.0);
        drawStroke(mode.m_cutStroke, kOverlayLineWidth);
    }
    if (mode.m_gOrientStroke && mode.m_orientStroke.m_points.size() >= 2) {
        beginFlatLines();
        glEnable(GL_LIGHTING);
        const Rgba arrow{1.0f, 0.8f, 0.1f, 1.0f};
        setFrontDiffuseAmbient(arrow, arrow);
        drawStrokeSolids(mode.m_orientStroke.m_points, kArrowShaftRadius, kArrowHeadRadius);
    }
    if (mode.m_gRegionRect) {
        const std::array<OverlayPixel, 4> corners = regionRectCorners(mode.m_pressPixel, mode.m_lastPixel);
        drawPixelFigure(ogl, corners.data(), corners.size(), true);
    }
    if (mode.m_gRegionBrush) {
        const std::vector<OverlayPixel> circle = brushCirclePixels(mode.m_lastPixel, kRegionBrushRadius);
        // The last point repeats the first, so an open line draws the closed circle.
        drawPixelFigure(ogl, circle.data(), circle.size(), false);
    }
}
