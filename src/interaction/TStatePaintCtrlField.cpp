// TStatePaintCtrlField: the painting gestures, the camera fallback and the scene of the paint mode.
#include "interaction/TStatePaintCtrlField.h"

#include <cmath>
#include <set>

#include "fields/TSmoothField.h"
#include "fields/TTensorField.h"
#include "interaction/ModeScenes.h"
#include "interaction/PaintOverlays.h"
#include "interaction/TCore.h"
#include "linalg/SmallAlgebra.h"
#include "model/ChamberWalls.h"
#include "model/MainWindowManager.h"
#include "model/ModelGeometry.h"
#include "render/Camera.h"

namespace {

/// The field a depth, phase or amplitude tool paints; nullptr for the other tools.
TSmoothField* fieldOfTool(TLSMModel& model, PaintTool tool) {
    switch (paintToolGroup(tool)) {
        case PaintToolGroup::Depth:
            return &model.m_orienField.m_depthField;
        case PaintToolGroup::Phase:
            return &model.m_phaseField;
        case PaintToolGroup::Amplitude:
            return &model.m_ampliField;
        default:
            return nullptr;
    }
}

int labelOfTool(PaintTool tool) { return static_cast<int>(paintToolValue(tool)); }

bool isChamberTool(PaintTool tool) { return paintToolGroup(tool) == PaintToolGroup::Chamber; }

void setUpSimulator(TLSMModel& model) {
    model.m_simulator.initSimulator(model.m_vtxOrigPos, model.m_tets, model.m_smNeighbors, model.m_orienField.m_frames);
}

}  // namespace

TStatePaintCtrlField& TStatePaintCtrlField::getInstance() {
    static TStatePaintCtrlField instance;
    return instance;
}

TStatePaintCtrlField::~TStatePaintCtrlField() = default;

bool TStatePaintCtrlField::isGestureActive() const {
    return m_gCut || m_gOrientStroke || m_gVertexConstr || m_gPointConstr || m_gTransform || m_gRegionRect ||
           m_gRegionBrush || m_gChamberPaint;
}

void TStatePaintCtrlField::clearGestures() {
    m_gCut = m_gOrientStroke = m_gVertexConstr = m_gPointConstr = false;
    m_gTransform = m_gRegionRect = m_gRegionBrush = m_gChamberPaint = false;
    m_cutStroke.clear();
    m_orientStroke.clear();
}

void TStatePaintCtrlField::mouseLDown(int x, int y) {
    m_bLDown = true;
    m_pressPixel[0] = m_lastPixel[0] = x;
    m_pressPixel[1] = m_lastPixel[1] = y;
    TCore& core = *m_core;
    TLSMModel* model = m_core->model();
    const ScreenProjection view = core.m_ogl->currentProjection();
    const PointerRay ray = unprojectRay(view, x, y);

    if (core.isShiftDown()) {
        startModifiedGesture(model, ray, false);
    } else if (core.isAltDown()) {
        startModifiedGesture(model, ray, true);
    } else if (core.isCtrlDown() && !isChamberTool(m_tool)) {
        m_gCut = true;
        m_cutStroke.clear();
        m_cutStroke.m_points.push_back(ray.origin + kCutStrokeOffset * ray.direction);
    } else {
        core.m_camera->startButtonDrag(CameraButton::Left, x, y);
    }
}

bool TStatePaintCtrlField::startModifiedGesture(TLSMModel* model, const PointerRay& ray, bool alt) {
    const PaintToolGroup group = paintToolGroup(m_tool);
    if (group == PaintToolGroup::Region) {
        (alt ? m_gRegionRect : m_gRegionBrush) = true;
        return true;
    }
    if (group == PaintToolGroup::Chamber) {
        m_gChamberPaint = true;
        return true;
    }
    // A press that misses the heart starts nothing, not even the camera: the user aimed at the
    // surface, and the drag that follows must not swing the view.
    SurfaceHit hit;
    if (!model || !pickSurface(model->m_surface, ray, hit)) return false;
    m_hitPoint = hit.point;
    if (group == PaintToolGroup::Transform) {
        m_gTransform = true;
    } else if (group == PaintToolGroup::Orientation) {
        m_gOrientStroke = true;
        m_orientStroke.m_points.push_back(hit.point);
    } else if (alt) {
        m_gVertexConstr = true;
        placeVertexConstraints(*model, hit.triangle);
    } else {
        m_gPointConstr = true;
        placePointConstraint(*model, hit.point);
    }
    m_lastPoint = hit.point;
    return true;
}

void TStatePaintCtrlField::mouseRDown(int x, int y) {
    m_bRDown = true;
    m_core->m_camera->startButtonDrag(CameraButton::Right, x, y);
}

void TStatePaintCtrlField::mouseMDown(int x, int y) {
    m_bMDown = true;
    m_core->m_camera->startButtonDrag(CameraButton::Middle, x, y);
}

void TStatePaintCtrlField::mouseMove(int x, int y) {
    if (!m_bLDown && !m_bRDown && !m_bMDown) return;
    TCore& core = *m_core;
    TLSMModel* model = m_core->model();
    const ScreenProjection view = core.m_ogl->currentProjection();
    const PointerRay ray = unprojectRay(view, x, y);

    bool drawnByTool = false;
    if (m_bLDown) {
        drawnByTool = true;
        if (m_gTransform) {
            if (model) transformStep(*model, ray, x);
        } else if (m_gCut) {
            m_cutStroke.m_points.push_back(ray.origin + kCutStrokeOffset * ray.direction);
        } else if (m_gRegionBrush) {
            if (model) labelVerticesInBrush(*model, view, x, y, kRegionBrushRadius, labelOfTool(m_tool));
        } else if (m_gChamberPaint) {
            if (model) paintChamber(*model, ray.origin, ray.direction, labelOfTool(m_tool));
        } else {
            drawnByTool = false;
        }
    }
    if (!drawnByTool) {
        SurfaceHit hit;
        if (m_gVertexConstr) {
            if (model && pickSurface(model->m_surface, ray, hit)) placeVertexConstraints(*model, hit.triangle);
        } else if (m_gPointConstr) {
            if (model && pickSurface(model->m_surface, ray, hit) &&
                (hit.point - m_lastPoint).norm() > kConstraintSpacing) {
                placePointConstraint(*model, hit.point);
                m_lastPoint = hit.point;
            }
        } else if (m_gOrientStroke) {
            if (model && pickSurface(model->m_surface, ray, hit)) m_orientStroke.m_points.push_back(hit.point);
        } else {
            core.m_camera->mouseDragCamera(x, y);
        }
    }
    m_lastPixel[0] = x;
    m_lastPixel[1] = y;
    core.redrawView();
}

void TStatePaintCtrlField::transformStep(TLSMModel& model, const PointerRay& ray, int x) {
    const vec3 eye = m_core->m_ogl->m_eye;
    const vec3 p = projectRayToPlane(ray.origin, ray.direction, m_hitPoint, eye - m_hitPoint);
    double matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    switch (m_tool) {
        case PaintTool::TRANS: {
            const vec3 shift = p - m_lastPoint;
            matrix[12] = shift.x;
            matrix[13] = shift.y;
            matrix[14] = shift.z;
            break;
        }
        case PaintTool::ROT: {
            // The axis lies in the screen plane, across the pointer's motion: the model rolls
            // under the pointer.
            const vec3 axis = cross(p - m_lastPoint, ray.origin - m_lastPoint);
            const double angle = -kTransformRate * (ray.origin - m_lastPoint).norm();
            if (axis.norm() > 0.0) setRotation(matrix, axis, std::cos(angle), std::sin(angle));
            break;
        }
        case PaintTool::SCALE: {
            const double s = 1.0 + kTransformRate * (x - m_lastPixel[0]);
            matrix[0] = matrix[5] = matrix[10] = s;
            break;
        }
        default:
            break;
    }
    transformModel(model, matrix);
    m_lastPoint = p;
}

void TStatePaintCtrlField::mouseLUp(int x, int y) {
    TCore& core = *m_core;
    TLSMModel* model = m_core->model();
    if (model) {
        if (m_gCut) cutByStroke(*model, m_cutStroke.m_points, core.m_ogl->currentProjection());
        if (m_gVertexConstr || m_gPointConstr) updateFieldForTool(*model);
        if (m_gOrientStroke)
            addOrientationStroke(model->m_orienField, m_orientStroke.m_points, model->m_tets, model->m_verts);
        if (m_gRegionRect)
            labelVerticesInRect(*model, core.m_ogl->currentProjection(), m_pressPixel[0], m_pressPixel[1], x, y,
                                labelOfTool(m_tool));
        if (m_gChamberPaint) buildChamberWalls(*model, labelOfTool(m_tool));
    }
    m_bLDown = false;
    clearGestures();
    core.m_camera->endCameraDrag();
    core.redrawView();
}

void TStatePaintCtrlField::mouseRUp(int, int) {
    m_core->m_camera->endCameraDrag();
    m_bRDown = false;
}

void TStatePaintCtrlField::mouseMUp(int, int) { releaseMiddleButton(*m_core->m_camera, m_bMDown); }

void TStatePaintCtrlField::mouseLDouble(int x, int y) {
    TCore& core = *m_core;
    TLSMModel* model = m_core->model();
    if (!model || !(core.isAltDown() || core.isSpaceDown())) return;
    const PointerRay ray = unprojectRay(core.m_ogl->currentProjection(), x, y);
    if (m_tool == PaintTool::ORIENT) {
        model->m_orienField.deleteNearestStroke(ray.origin, ray.direction, model->m_peelDepth, model->m_verts);
        core.redrawView();
        return;
    }
    SurfaceHit hit;
    if (!pickSurface(model->m_surface, ray, hit)) return;
    placeRegionConstraints(*model, hit.triangle);
    updateFieldForTool(*model);
}

void TStatePaintCtrlField::mouseWheel(int delta) {
    if (isChamberTool(m_tool)) return;
    TCore& core = *m_core;
    if (!(core.isCtrlDown() || core.isAltDown() || core.isSpaceDown())) return;
    if (TLSMModel* model = m_core->model()) stepPeelDepth(*model, delta > 0);
    core.redrawView();
}

void TStatePaintCtrlField::placePointConstraint(TLSMModel& model, const vec3& p) {
    TSmoothField* field = fieldOfTool(model, m_tool);
    if (!field) return;
    TTetSample sample;
    if (!findNearestTetSample(model.m_tets, model.m_verts, p, sample)) return;
    addConstraintAtPoint(field->m_constraints, model.m_verts, sample, paintToolValue(m_tool));
    m_core->redrawView();
}

void TStatePaintCtrlField::placeVertexConstraints(TLSMModel& model, int t) {
    TSmoothField* field = fieldOfTool(model, m_tool);
    if (!field) return;
    const TTriangleMesh& surface = model.m_surface;
    if (t < 0 || t >= surface.polyCount() || t >= static_cast<int>(surface.polys().size())) return;
    std::set<int> vertices;
    for (int corner : surface.polys()[t]) {
        if (corner < 0 || corner >= static_cast<int>(model.m_surfVtxSource.size())) return;
        const SurfaceVertexSource& source = model.m_surfVtxSource[corner];
        // A cut point lies between two vertices: it stands for neither.
        if (source.isBlend) return;
        vertices.insert(source.vertA);
    }
    for (int v : vertices)
        if (v >= 0 && v < model.vertexCount())
            addConstraintAtVertex(field->m_constraints, model.m_verts, v, paintToolValue(m_tool));
    m_core->redrawView();
}

void TStatePaintCtrlField::placeRegionConstraints(TLSMModel& model, int t) {
    int field = -1;
    switch (paintToolGroup(m_tool)) {
        case PaintToolGroup::Depth:
            field = 2;
            break;
        case PaintToolGroup::Phase:
            field = 0;
            break;
        case PaintToolGroup::Amplitude:
            field = 1;
            break;
        default:
            return;
    }
    addRegionConstraints(model, field, t, paintToolValue(m_tool));
    m_core->redrawView();
}

void TStatePaintCtrlField::updateFieldForTool(TLSMModel& model) {
    const PaintToolGroup group = paintToolGroup(m_tool);
    if (group != PaintToolGroup::Depth && group != PaintToolGroup::Phase && group != PaintToolGroup::Amplitude)
        return;
    {
        BusyScope busy;
        if (group == PaintToolGroup::Depth) {
            TTensorField& orientation = model.m_orienField;
            orientation.updateField_RBF(orientation.m_depthField, model.m_vtxOrigPos);
            orientation.updateOrientation(model.m_tets, model.m_vtxOrigPos, model.m_smNeighbors,
                                          model.m_vtxIsVentriOrAtrium);
        } else if (model.m_fieldMatrix) {
            updateFieldHarmonic(group == PaintToolGroup::Phase ? model.m_phaseField : model.m_ampliField,
                                *model.m_fieldMatrix);
        }
        setUpSimulator(model);
    }
    m_core->redrawView();
}

void TStatePaintCtrlField::drawScene() {
    TCore& core = *m_core;
    core.m_ogl->applySceneLights();
    TLSMModel* model = core.model();
    if (!model) return;
    MainWindowManager& manager = *core.controller();
    const double alpha = core.surfaceAlpha();
    drawPaintScene(planPaintScene(m_tool, manager, alpha, model->m_peelDepth), *model, alpha);
    drawPaintOverlays(*this, *core.m_ogl);
}
