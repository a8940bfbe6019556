// TStateStdInteraction: the gestures and the scene of the standard mode.
#include "interaction/TStateStdInteraction.h"

#include "interaction/ModeScenes.h"
#include "interaction/StdOverlays.h"
#include "interaction/TCore.h"
#include "model/MainWindowManager.h"
#include "model/ModelGeometry.h"
#include "render/Camera.h"

namespace {

/// Largest distance from the pointer ray of a vertex a Shift press grabs, and of one a Shift double
/// click pins.
constexpr double kGrabPickDistance = 0.5;
constexpr double kPinPickDistance = 0.1;
/// How far along the pointer ray the points of a cut lie.
constexpr double kCutDepth = 0.1;

PointerRay pointerRay(const TCore& core, int x, int y) { return unprojectRay(core.m_ogl->currentProjection(), x, y); }

/// The rate slider of the standard dialog as an amplitude in [0, 1].
double infarctRate(const TCore& core) {
    const int position = core.m_dlgStdInteraction ? core.m_dlgStdInteraction->rateSlider() : 0;
    return position / 1000.0;
}

}  // namespace

TLSMModel* TStateStdInteraction::modelForGestures() {
    TLSMModel* model = m_core->model();
    const bool same = model == m_stateModel && model &&
                      model->m_filePath == m_stateModelPath && model->vertexCount() == m_stateModelVertices;
    if (!same) {
        // Indices of another mesh: a grab's held vertices went with their model.
        clearGestures();
        m_markerPoints.clear();
        m_stateModel = model;
        m_stateModelPath = model ? model->m_filePath : std::string();
        m_stateModelVertices = model ? model->vertexCount() : 0;
    }
    return model;
}

TStateStdInteraction& TStateStdInteraction::getInstance() {
    static TStateStdInteraction instance;
    return instance;
}

ChartXY TStateStdInteraction::overlayPoint(int x, int y) const {
    const TCore& core = *m_core;
    const double w = core.m_ogl->m_viewWidth > 0 ? core.m_ogl->m_viewWidth : 1;
    const double h = core.m_ogl->m_viewHeight > 0 ? core.m_ogl->m_viewHeight : 1;
    // In stereo each half is one image: its pixels span the whole normalised range.
    const double xs = core.m_bStereo ? 2.0 * x : x;
    return {2.0 * xs / w - 1.0, 1.0 - 2.0 * y / h};
}

bool TStateStdInteraction::insideOverlay(const ChartXY& p) const {
    return p.x >= m_chartBgPos.x && p.x <= m_chartBgPos.x + m_chartBgSize.x && p.y >= m_chartBgPos.y &&
           p.y <= m_chartBgPos.y + m_chartBgSize.y;
}

void TStateStdInteraction::startChartDrag(int which, const ChartXY& p) {
    TLSMModel* model = modelForGestures();
    if (!model || !model->m_excitation) return;
    TGlobalExcitation& excitation = *model->m_excitation;
    TChart& chart = which == kChartDragVent ? excitation.m_chartVent : excitation.m_chartAtri;
    m_chartIndex = findChartPoint(chart, m_chartPos, m_chartSize, p);
    if (m_chartIndex == -1) {
        m_chartIndex = insertChartPoint(chart, m_chartPos, m_chartSize, p);
        buildTables(excitation);
    }
    if (m_chartIndex != -1) m_chartDrag = which;
    m_core->redrawView();
}

void TStateStdInteraction::mouseLDown(int x, int y) {
    m_bLDown = true;
    TCore& core = *m_core;
    const ChartXY p = overlayPoint(x, y);
    if (insideOverlay(p)) {
        startChartDrag(kChartDragVent, p);
        return;
    }
    TLSMModel* model = modelForGestures();
    if (core.isShiftDown()) {
        // A Shift press is a grab attempt: without a vertex under the pointer nothing happens.
        if (!model) return;
        const PointerRay ray = pointerRay(*m_core, x, y);
        if (!ray.valid) return;
        const TVertexPick pick = pickVertexNearRay(*model, ray.origin, ray.direction, kGrabPickDistance);
        if (pick.vertex < 0) return;
        m_gGrab = true;
        m_grabVertex = pick.vertex;
        m_grabPoint = m_grabTarget = pick.position;
        m_grabSet.clear();
        m_grabOffsets.clear();
        for (const TGrabMember& member : collectGrabSet(*model, pick.vertex)) {
            m_grabSet.push_back(member.vertex);
            m_grabOffsets.push_back(member.offset);
            model->m_fixedVerts[member.vertex] = m_grabPoint + member.offset;
        }
        core.redrawView();
        return;
    }
    if (core.isSpaceDown()) {
        m_gInfarct = true;
        return;
    }
    if (core.isCtrlDown()) {
        const PointerRay ray = pointerRay(*m_core, x, y);
        m_gCut = true;
        m_cutStroke.clear();
        m_cutPixels.clear();
        if (ray.valid) {
            m_cutStroke.m_points.push_back(ray.origin + ray.direction * kCutDepth);
            m_cutPixels.emplace_back(x, y);
        }
        return;
    }
    core.m_camera->startCameraDrag(x, y, CAMERA_DRAG_PAN);
}

void TStateStdInteraction::mouseRDown(int x, int y) {
    m_bRDown = true;
    const ChartXY p = overlayPoint(x, y);
    if (insideOverlay(p)) {
        startChartDrag(kChartDragAtri, p);
        return;
    }
    m_core->m_camera->startButtonDrag(CameraButton::Right, x, y);
}

void TStateStdInteraction::mouseMDown(int x, int y) {
    m_bMDown = true;
    TCore& core = *m_core;
    const ChartXY p = overlayPoint(x, y);
    if (insideOverlay(p)) {
        TLSMModel* model = modelForGestures();
        if (!model || !model->m_excitation) return;
        TGlobalExcitation& excitation = *model->m_excitation;
        // removeChartPoint keeps point 0.
        removeChartPoint(excitation.m_chartVent, findChartPoint(excitation.m_chartVent, m_chartPos, m_chartSize, p));
        removeChartPoint(excitation.m_chartAtri, findChartPoint(excitation.m_chartAtri, m_chartPos, m_chartSize, p));
        buildTables(excitation);
        core.redrawView();
        return;
    }
    core.m_camera->startButtonDrag(CameraButton::Middle, x, y);
}

void TStateStdInteraction::mouseMove(int x, int y) {
    if (!m_bLDown && !m_bRDown && !m_bMDown) return;
    TCore& core = *m_core;
    TLSMModel* model = modelForGestures();
    TGlobalExcitation* excitation = model ? model->m_excitation.get() : nullptr;
    if (m_bLDown && m_chartDrag == kChartDragVent && m_chartIndex != -1 && excitation) {
        moveChartPoint(excitation->m_chartVent, m_chartPos, m_chartSize, overlayPoint(x, y), m_chartIndex);
        buildTables(*excitation);
    } else if (m_bRDown && m_chartDrag == kChartDragAtri && m_chartIndex != -1 && excitation) {
        moveChartPoint(excitation->m_chartAtri, m_chartPos, m_chartSize, overlayPoint(x, y), m_chartIndex);
        buildTables(*excitation);
    } else if (m_bLDown && (m_gGrab || m_gInfarct || m_gCut)) {
        const PointerRay ray = pointerRay(*m_core, x, y);
        if (ray.valid && model) {
            if (m_gGrab) {
                vec3 viewDirection = core.m_ogl->m_center - core.m_ogl->m_eye;
                if (viewDirection.norm() > 0.0) viewDirection /= viewDirection.norm();
                m_grabTarget = projectRayToPlane(ray.origin, ray.direction, m_grabPoint, viewDirection);
                for (size_t k = 0; k < m_grabSet.size(); ++k) {
                    auto held = model->m_fixedVerts.find(m_grabSet[k]);
                    if (held != model->m_fixedVerts.end()) held->second = m_grabTarget + m_grabOffsets[k];
                }
            } else if (m_gInfarct) {
                paintAmplitudeAtRay(*model, ray.origin, ray.direction, infarctRate(*m_core));
            } else {
                m_cutStroke.m_points.push_back(ray.origin + ray.direction * kCutDepth);
                m_cutPixels.emplace_back(x, y);
            }
        }
    } else {
        core.m_camera->mouseDragCamera(x, y);
    }
    core.redrawView();
}

void TStateStdInteraction::releaseGrab() {
    TLSMModel* model = modelForGestures();
    if (model)
        for (int vertex : m_grabSet) model->m_fixedVerts.erase(vertex);
}

void TStateStdInteraction::mouseLUp(int, int) {
    TCore& core = *m_core;
    if (m_gGrab) releaseGrab();
    if (m_gCut) {
        TLSMModel* model = modelForGestures();
        if (model) cutByStroke(*model, m_cutStroke.m_points, core.m_ogl->currentProjection());
    }
    core.m_camera->endCameraDrag();
    m_bLDown = false;
    clearGestures();
    core.redrawView();
}

void TStateStdInteraction::mouseRUp(int, int) {
    m_core->m_camera->endCameraDrag();
    m_bRDown = false;
    m_chartIndex = -1;
    m_chartDrag = kChartDragNone;
}

void TStateStdInteraction::mouseMUp(int, int) { releaseMiddleButton(*m_core->m_camera, m_bMDown); }

void TStateStdInteraction::mouseLDouble(int x, int y) {
    TLSMModel* model = modelForGestures();
    if (!model) return;
    TCore& core = *m_core;
    const PointerRay ray = pointerRay(*m_core, x, y);
    if (core.isShiftDown()) {
        if (!ray.valid) return;
        const TVertexPick pick = pickVertexNearRay(*model, ray.origin, ray.direction, kPinPickDistance);
        if (pick.vertex >= 0) {
            if (!model->m_pinnedVerts.erase(pick.vertex)) model->m_pinnedVerts.insert(pick.vertex);
        }
    } else if (static_cast<int>(m_markerPoints.size()) < kMaxMarkerPoints) {
        m_markerPoints.push_back(MarkerPoint());
        SurfaceHit hit;
        if (ray.valid && pickSurface(model->m_surface, ray, hit))
            findNearestTetSample(model->m_tets, model->m_verts, hit.point, m_markerPoints.back());
    } else {
        m_markerPoints.clear();
    }
    core.redrawView();
}

void TStateStdInteraction::mouseWheel(int delta) {
    TCore& core = *m_core;
    if (!core.isCtrlDown() && !core.isAltDown() && !core.isSpaceDown()) return;
    TLSMModel* model = modelForGestures();
    if (!model) return;
    stepPeelDepth(*model, delta > 0);
    core.redrawView();
}

void TStateStdInteraction::drawScene() {
    TCore& core = *m_core;
    core.m_ogl->applySceneLights();
    if (core.m_bShowFrames) core.m_ogl->drawFrameCube();
    TLSMModel* model = modelForGestures();
    if (!model) return;
    MainWindowManager& manager = *core.controller();
    drawStdScene(planStdScene(manager, core.surfaceAlpha(), core.isCtrlDown()), *model, m_markerPoints);
    drawOverlays(*model);
}

void TStateStdInteraction::drawOverlays(const TLSMModel& model) {
    TCore& core = *m_core;
    if (m_gGrab && m_grabVertex >= 0 && m_grabVertex < model.vertexCount())
        drawGrabOverlay(model.m_verts[m_grabVertex], m_grabTarget);
    if (m_gCut) {
        if (core.m_bStereo) {
            // Each half has its own camera: the stroke is rebuilt from the pointer positions with the
            // matrices of the half being drawn.
            const ScreenProjection view = core.m_ogl->currentProjection();
            const int shift = core.m_bDrawingRightHalf ? core.m_ogl->m_viewWidth / 2 : 0;
            std::vector<PointerRay> rays;
            for (const auto& pixel : m_cutPixels) rays.push_back(unprojectRay(view, pixel.first + shift, pixel.second));
            std::vector<vec3> points;
            if (!rays.empty()) {
                const vec3 origin = rays.back().origin;
                for (const PointerRay& ray : rays) points.push_back(origin + ray.direction * 10.0);
            }
            drawCutOverlay(points);
        } else {
            drawCutOverlay(m_cutStroke.m_points);
        }
    }
    if (!model.m_excitation) return;
    const ChartOverlayLayout layout{m_chartBgPos, m_chartBgSize, m_chartPos, m_chartSize};
    drawChartOverlay(layout, model.m_excitation->m_chartVent, model.m_excitation->m_chartAtri,
                     core.controller()->m_time, model.m_excitation->m_cycleLength,
                     core.m_bStereo && core.m_bDrawingRightHalf);
}

void TStateStdInteraction::clearGestures() {
    m_gGrab = m_gInfarct = m_gCut = false;
    m_chartIndex = -1;
    m_chartDrag = kChartDragNone;
    m_grabVertex = -1;
    m_grabSet.clear();
    m_grabOffsets.clear();
    m_cutStroke.clear();
    m_cutPixels.clear();
}
