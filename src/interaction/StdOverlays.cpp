// StdOverlays: grab, cut and chart overlay drawing of the standard mode.
#include "interaction/StdOverlays.h"

#include <GL/glew.h>

#include "render/MarkerPrimitives.h"

std::vector<ChartXY> overlayCurveLine(const TChart& chart, const ChartXY& framePos, const ChartXY& frameSize,
                                      double xShift) {
    std::vector<ChartXY> line;
    if (chart.empty()) return line;
    line.reserve(chart.size() + 1);
    for (const auto& point : chart) {
        ChartXY q = chartToFrame(framePos, frameSize, point.first, point.second);
        q.x += xShift;
        line.push_back(q);
    }
    // The chart is periodic: the curve returns to the first value at the end of the cycle.
    line.push_back({framePos.x + frameSize.x + xShift, framePos.y + chart.front().second * frameSize.y});
    return line;
}

double overlayCursorX(const ChartXY& framePos, const ChartXY& frameSize, double time, double cycleLength,
                      double xShift) {
    const double fraction = cycleLength > 0.0 ? time / cycleLength : 0.0;
    return framePos.x + fraction * frameSize.x + xShift;
}

void drawGrabOverlay(const vec3& grabbed, const vec3& target) {
    glDisable(GL_LIGHTING);
    glColor3d(1.0, 0.4, 0.2);
    drawSphere(0.8, grabbed);
    glColor3d(1.0, 0.8, 0.2);
    drawSphere(1.2, target);
    glLineWidth(10.0f);
    glColor3d(1.0, 1.0, 0.0);
    glBegin(GL_LINES);
    glVertex3d(grabbed.x, grabbed.y, grabbed.z);
    glVertex3d(target.x, target.y, target.z);
    glEnd();
    glLineWidth(3.0f);
}

void drawCutOverlay(const std::vector<vec3>& points) {
    glDisable(GL_LIGHTING);
    glLineWidth(3.0f);
    glColor3d(0.0, 0.0, 1.0);
    glBegin(GL_LINE_STRIP);
    for (const vec3& p : points) glVertex3d(p.x, p.y, p.z);
    glEnd();
}

namespace {

void drawCurve(const TChart& chart, const ChartOverlayLayout& layout, double shift, double r, double g, double b) {
    const std::vector<ChartXY> line = overlayCurveLine(chart, layout.framePos, layout.frameSize, shift);
    glLineWidth(5.0f);
    glColor3d(r, g, b);
    glBegin(GL_LINE_STRIP);
    for (const ChartXY& q : line) glVertex3d(q.x, q.y, 0.0);
    glEnd();
    // The closing vertex is not a point of the chart.
    for (size_t i = 0; i + 1 < line.size(); ++i) {
        glColor3d(r, g, b);
        drawSphere(0.015, vec3(line[i].x, line[i].y, 0.0));
        glColor3d(0.8, 0.4, 0.4);
        drawSphere(0.0075, vec3(line[i].x, line[i].y, -0.01));
    }
}

}  // namespace

void drawChartOverlay(const ChartOverlayLayout& layout, const TChart& ventricle, const TChart& atrium, double time,
                      double cycleLength, bool rightHalf) {
    const double shift = rightHalf ? kOverlayRightHalfShift : 0.0;
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_CULL_FACE);

    const ChartXY& bp = layout.backgroundPos;
    const ChartXY& bs = layout.backgroundSize;
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor4d(1.0, 1.0, 1.0, 0.7);
    glBegin(GL_QUADS);
    glVertex3d(bp.x + shift, bp.y, 0.0);
    glVertex3d(bp.x + bs.x + shift, bp.y, 0.0);
    glVertex3d(bp.x + bs.x + shift, bp.y + bs.y, 0.0);
    glVertex3d(bp.x + shift, bp.y + bs.y, 0.0);
    glEnd();
    glDisable(GL_BLEND);

    const ChartXY& fp = layout.framePos;
    const ChartXY& fs = layout.frameSize;
    glLineWidth(3.0f);
    glColor3d(0.0, 0.0, 0.0);
    glBegin(GL_LINE_LOOP);
    glVertex3d(fp.x + shift, fp.y, 0.0);
    glVertex3d(fp.x + fs.x + shift, fp.y, 0.0);
    glVertex3d(fp.x + fs.x + shift, fp.y + fs.y, 0.0);
    glVertex3d(fp.x + shift, fp.y + fs.y, 0.0);
    glEnd();

    const double cursor = overlayCursorX(fp, fs, time, cycleLength, shift);
    glColor3d(1.0, 0.0, 0.0);
    glBegin(GL_LINES);
    glVertex3d(cursor, fp.y, 0.0);
    glVertex3d(cursor, fp.y + fs.y, 0.0);
    glEnd();

    drawCurve(atrium, layout, shift, 0.0, 0.0, 1.0);
    drawCurve(ventricle, layout, shift, 0.0, 1.0, 0.0);

    glLineWidth(1.0f);
    glEnable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}
