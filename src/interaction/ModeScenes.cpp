// ModeScenes: the scene plans of the two modes and their drawing.
#include "interaction/ModeScenes.h"

#include "render/ColourRamps.h"
#include "render/FieldViews.h"
#include "render/HeartRenderer.h"
#include "render/MarkerPrimitives.h"

namespace {

constexpr double kOpaque = 0.9999;

void drawFibreSets(const std::array<bool, 4>& sets, const TLSMModel& model) {
    // Fibre samples carry the depth at the sample, shown through the depth field's rainbow.
    for (int set = 0; set < 4; ++set)
        if (sets[set]) drawFibreLines(model, set, colourRampTextures().rainbow);
}

}  // namespace

PaintToolGroup paintToolGroup(PaintTool tool) {
    switch (tool) {
        case PaintTool::TRANS:
        case PaintTool::ROT:
        case PaintTool::SCALE:
            return PaintToolGroup::Transform;
        case PaintTool::DEPTH_0:
        case PaintTool::DEPTH_05:
        case PaintTool::DEPTH_1:
            return PaintToolGroup::Depth;
        case PaintTool::ORIENT:
            return PaintToolGroup::Orientation;
        case PaintTool::PHASE_0:
        case PaintTool::PHASE_1:
            return PaintToolGroup::Phase;
        case PaintTool::AMP_0:
        case PaintTool::AMP_1:
        case PaintTool::AMP_M1:
            return PaintToolGroup::Amplitude;
        case PaintTool::SEG_VENT:
        case PaintTool::SEG_ATRI:
        case PaintTool::SEG_NEITHER:
            return PaintToolGroup::Region;
        case PaintTool::CH_VR:
        case PaintTool::CH_VL:
        case PaintTool::CH_AR:
        case PaintTool::CH_AL:
        case PaintTool::CH_NEITHER:
            break;
    }
    return PaintToolGroup::Chamber;
}

double paintToolValue(PaintTool tool) {
    switch (tool) {
        case PaintTool::DEPTH_05:
            return 0.5;
        case PaintTool::DEPTH_1:
        case PaintTool::PHASE_1:
        case PaintTool::AMP_1:
        case PaintTool::SEG_VENT:
        case PaintTool::CH_VR:
            return 1.0;
        case PaintTool::AMP_M1:
            return -1.0;
        case PaintTool::SEG_ATRI:
        case PaintTool::CH_VL:
            return 2.0;
        case PaintTool::CH_AR:
            return 3.0;
        case PaintTool::CH_AL:
            return 4.0;
        default:
            return 0.0;
    }
}

std::array<bool, 4> shownFibreSets(const MainWindowManager& manager) {
    return {manager.m_bShowFibAtri, manager.m_bShowFibVent, manager.m_bShowFib2, manager.m_bShowFib3};
}

StdScenePlan planStdScene(const MainWindowManager& manager, double alpha, bool ctrlDown) {
    StdScenePlan plan;
    plan.fibreSets = shownFibreSets(manager);
    plan.chamberWalls = manager.m_bShowRooms;
    plan.wireframe = manager.m_bShowMesh;
    plan.vertices = manager.m_bShowVertices;
    plan.heldAndFrames = manager.m_bShowConstraints;
    plan.markerPoints = !ctrlDown;
    plan.alpha = alpha;
    return plan;
}

PaintScenePlan planPaintScene(PaintTool tool, const MainWindowManager& manager, double alpha, double peelDepth) {
    PaintScenePlan plan;
    plan.translucent = alpha < kOpaque;
    plan.fibreSets = shownFibreSets(manager);
    plan.wireframe = manager.m_bShowMesh;
    switch (paintToolGroup(tool)) {
        case PaintToolGroup::Depth:
            plan.markers = PaintMarkers::DepthConstraintsOfValue;
            plan.markerValue = paintToolValue(tool);
            plan.surface = plan.translucent ? PaintSurface::Plain : PaintSurface::DepthColoured;
            break;
        case PaintToolGroup::Orientation: {
            plan.markers = PaintMarkers::OrientationStrokes;
            plan.peelFilter = peelDepth != 1.0;
            // Under rule-based fibres the surface (and a cut through the wall) shows the transmural
            // coordinate they follow.
            const TLSMModel* model = manager.model();
            const bool rule = model && model->m_orienField.m_ruleBased.inForce &&
                              model->m_orienField.m_transmural.size() == model->m_verts.size();
            plan.surface = rule && !plan.translucent ? PaintSurface::TransmuralColoured : PaintSurface::Plain;
            break;
        }
        case PaintToolGroup::Phase:
            plan.markers = PaintMarkers::PhaseConstraints;
            plan.surface = PaintSurface::PhaseColoured;
            break;
        case PaintToolGroup::Amplitude:
            plan.markers = PaintMarkers::AmplitudeConstraints;
            plan.surface = PaintSurface::AmplitudeColoured;
            break;
        case PaintToolGroup::Region:
            plan.markers = PaintMarkers::VertexLabels;
            plan.surface = PaintSurface::Plain;
            break;
        case PaintToolGroup::Chamber:
            plan.surface = PaintSurface::ByChamber;
            break;
        case PaintToolGroup::Transform:
            plan.surface = PaintSurface::Plain;
            break;
    }
    return plan;
}

void drawStdScene(const StdScenePlan& plan, const TLSMModel& model, const std::vector<TTetSample>& markerPoints) {
    HeartRenderer& heart = HeartRenderer::instance();
    resetSceneState();
    drawFibreSets(plan.fibreSets, model);
    if (plan.chamberWalls) heart.drawChamberWalls(model);
    drawPinnedVertices(model.m_pinnedVerts, model.m_verts);
    heart.drawShaded(model, plan.alpha);
    if (plan.wireframe) drawWireframe(model);
    if (plan.vertices) drawContraction(model);
    if (plan.heldAndFrames) {
        drawFixedVertices(model);
        drawFrames(model);
    }
    if (plan.markerPoints) drawMarkerPoints(markerPoints, model.m_verts);
}

void drawPaintScene(const PaintScenePlan& plan, const TLSMModel& model, double alpha) {
    HeartRenderer& heart = HeartRenderer::instance();
    resetSceneState();
    const ColourRampTextures& ramps = colourRampTextures();
    switch (plan.markers) {
        case PaintMarkers::DepthConstraintsOfValue:
            drawConstraints(model.m_orienField.m_depthField, model.m_verts, ramps.rainbow, true, plan.markerValue);
            break;
        case PaintMarkers::OrientationStrokes:
            drawOrientationStrokes(model, plan.peelFilter, model.m_peelDepth);
            break;
        case PaintMarkers::PhaseConstraints:
            drawConstraints(model.m_phaseField, model.m_verts, ramps.green, false, 0.0);
            break;
        case PaintMarkers::AmplitudeConstraints:
            drawConstraints(model.m_ampliField, model.m_verts, ramps.red, false, 0.0);
            break;
        case PaintMarkers::VertexLabels:
            drawVertexLabels(model);
            break;
        case PaintMarkers::None:
            break;
    }
    switch (plan.surface) {
        case PaintSurface::Plain:
            heart.drawPlain(model, alpha);
            break;
        case PaintSurface::DepthColoured:
            drawFieldColored(model, SurfaceField::Depth, ramps.rainbow);
            break;
        case PaintSurface::PhaseColoured:
            drawFieldColored(model, SurfaceField::Phase, ramps.green);
            break;
        case PaintSurface::AmplitudeColoured:
            drawFieldColored(model, SurfaceField::Amplitude, ramps.red);
            break;
        case PaintSurface::TransmuralColoured:
            drawFieldColored(model, SurfaceField::Transmural, ramps.rainbow);
            break;
        case PaintSurface::ByChamber:
            heart.drawByChamber(model, plan.translucent);
            break;
    }
    if (plan.wireframe) drawWireframe(model);
    drawFibreSets(plan.fibreSets, model);
}
