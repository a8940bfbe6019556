// What each mode draws: the paint tools' markers and surface colourings, the display switches of
// the standard mode, and the tools' painted values.
#include <gtest/gtest.h>

#include "common/TestFiles.h"
#include "fields/FibrePresets.h"
#include "interaction/ModeScenes.h"
#include "linalg/Diagnostics.h"
#include "render/FieldViews.h"

namespace {

/// A controller without a model, with all display switches off.
struct Switches {
    MainWindowManager manager{nullptr, ""};
};

}  // namespace

TEST(ModeScenesTest, ToolsBelongToTheirGroupsAndPaintTheirValues) {
    EXPECT_EQ(paintToolGroup(PaintTool::SCALE), PaintToolGroup::Transform);
    EXPECT_EQ(paintToolGroup(PaintTool::DEPTH_05), PaintToolGroup::Depth);
    EXPECT_EQ(paintToolGroup(PaintTool::ORIENT), PaintToolGroup::Orientation);
    EXPECT_EQ(paintToolGroup(PaintTool::PHASE_1), PaintToolGroup::Phase);
    EXPECT_EQ(paintToolGroup(PaintTool::AMP_M1), PaintToolGroup::Amplitude);
    EXPECT_EQ(paintToolGroup(PaintTool::SEG_NEITHER), PaintToolGroup::Region);
    EXPECT_EQ(paintToolGroup(PaintTool::CH_NEITHER), PaintToolGroup::Chamber);

    EXPECT_EQ(paintToolValue(PaintTool::DEPTH_0), 0.0);
    EXPECT_EQ(paintToolValue(PaintTool::DEPTH_05), 0.5);
    EXPECT_EQ(paintToolValue(PaintTool::DEPTH_1), 1.0);
    EXPECT_EQ(paintToolValue(PaintTool::PHASE_1), 1.0);
    EXPECT_EQ(paintToolValue(PaintTool::AMP_0), 0.0);
    EXPECT_EQ(paintToolValue(PaintTool::AMP_M1), -1.0);
    EXPECT_EQ(paintToolValue(PaintTool::SEG_ATRI), 2.0);
    EXPECT_EQ(paintToolValue(PaintTool::SEG_NEITHER), 0.0);
    EXPECT_EQ(paintToolValue(PaintTool::CH_AR), 3.0);
    EXPECT_EQ(paintToolValue(PaintTool::CH_AL), 4.0);
}

TEST(ModeScenesTest, PaintToolsChooseTheirMarkersAndSurface) {
    Switches s;
    // Depth tools: only the constraints of the tool's value; the surface translucent below full
    // opacity, coloured by depth at full opacity.
    PaintScenePlan plan = planPaintScene(PaintTool::DEPTH_05, s.manager, 0.5, 1.0);
    EXPECT_EQ(plan.markers, PaintMarkers::DepthConstraintsOfValue);
    EXPECT_EQ(plan.markerValue, 0.5);
    EXPECT_EQ(plan.surface, PaintSurface::Plain);
    EXPECT_TRUE(plan.translucent);
    plan = planPaintScene(PaintTool::DEPTH_1, s.manager, 1.0, 1.0);
    EXPECT_EQ(plan.surface, PaintSurface::DepthColoured);
    EXPECT_EQ(plan.markerValue, 1.0);
    EXPECT_FALSE(plan.translucent);

    plan = planPaintScene(PaintTool::PHASE_0, s.manager, 0.5, 1.0);
    EXPECT_EQ(plan.markers, PaintMarkers::PhaseConstraints);
    EXPECT_EQ(plan.surface, PaintSurface::PhaseColoured);  // whatever the opacity
    plan = planPaintScene(PaintTool::AMP_1, s.manager, 0.5, 1.0);
    EXPECT_EQ(plan.markers, PaintMarkers::AmplitudeConstraints);
    EXPECT_EQ(plan.surface, PaintSurface::AmplitudeColoured);

    // The orientation tool filters its strokes by the peel depth once the model is peeled.
    plan = planPaintScene(PaintTool::ORIENT, s.manager, 1.0, 1.0);
    EXPECT_EQ(plan.markers, PaintMarkers::OrientationStrokes);
    EXPECT_FALSE(plan.peelFilter);
    EXPECT_EQ(plan.surface, PaintSurface::Plain);
    EXPECT_TRUE(planPaintScene(PaintTool::ORIENT, s.manager, 1.0, 0.975).peelFilter);

    plan = planPaintScene(PaintTool::SEG_VENT, s.manager, 0.4, 1.0);
    EXPECT_EQ(plan.markers, PaintMarkers::VertexLabels);
    EXPECT_EQ(plan.surface, PaintSurface::Plain);
    plan = planPaintScene(PaintTool::TRANS, s.manager, 0.4, 1.0);
    EXPECT_EQ(plan.markers, PaintMarkers::None);
    EXPECT_EQ(plan.surface, PaintSurface::Plain);

    plan = planPaintScene(PaintTool::CH_VL, s.manager, 0.9999, 1.0);
    EXPECT_EQ(plan.markers, PaintMarkers::None);
    EXPECT_EQ(plan.surface, PaintSurface::ByChamber);
    EXPECT_FALSE(plan.translucent);
    EXPECT_TRUE(planPaintScene(PaintTool::CH_VL, s.manager, 0.99, 1.0).translucent);
}

TEST(ModeScenesTest, DisplaySwitchesPickTheFibreSetsAndOverlays) {
    Switches s;
    StdScenePlan plan = planStdScene(s.manager, 0.8, false);
    EXPECT_EQ(plan.fibreSets, (std::array<bool, 4>{false, false, false, false}));
    EXPECT_FALSE(plan.chamberWalls || plan.wireframe || plan.vertices || plan.heldAndFrames);
    EXPECT_TRUE(plan.markerPoints);
    EXPECT_EQ(plan.alpha, 0.8);

    // Keys 6, 7, 9 and 0 show the atrial, ventricular, depth-axis and third-axis sets.
    s.manager.m_bShowFibVent = true;
    s.manager.m_bShowFib3 = true;
    EXPECT_EQ(planStdScene(s.manager, 1.0, false).fibreSets, (std::array<bool, 4>{false, true, false, true}));
    s.manager.m_bShowFibVent = s.manager.m_bShowFib3 = false;
    s.manager.m_bShowFibAtri = s.manager.m_bShowFib2 = true;
    EXPECT_EQ(planStdScene(s.manager, 1.0, false).fibreSets, (std::array<bool, 4>{true, false, true, false}));

    s.manager.m_bShowRooms = true;
    s.manager.m_bShowConstraints = true;
    plan = planStdScene(s.manager, 1.0, true);
    EXPECT_TRUE(plan.chamberWalls);
    EXPECT_TRUE(plan.heldAndFrames);
    EXPECT_FALSE(plan.wireframe);
    EXPECT_FALSE(plan.markerPoints);  // hidden while Ctrl is held

    s.manager.m_bShowMesh = true;
    s.manager.m_bShowVertices = true;
    const PaintScenePlan paint = planPaintScene(PaintTool::PHASE_1, s.manager, 1.0, 1.0);
    EXPECT_TRUE(paint.wireframe);
    EXPECT_EQ(paint.fibreSets, (std::array<bool, 4>{true, false, true, false}));
    EXPECT_TRUE(planStdScene(s.manager, 1.0, false).vertices);
}

TEST(ModeScenesTest, OrientationToolShowsTheTransmuralCoordinateOfRuleBasedFibres) {
    DiagCapture quiet;
    MainWindowManager manager(nullptr, testfiles::sourceDir() + "/models/ModelB");
    ASSERT_NE(manager.model(), nullptr);
    TLSMModel& model = *manager.model();
    ASSERT_TRUE(model.m_orienField.m_ruleBased.inForce);
    EXPECT_EQ(planPaintScene(PaintTool::ORIENT, manager, 1.0, 1.0).surface, PaintSurface::TransmuralColoured);
    EXPECT_EQ(planPaintScene(PaintTool::ORIENT, manager, 0.5, 1.0).surface, PaintSurface::Plain);
    EXPECT_EQ(&fieldValues(model, SurfaceField::Transmural), &model.m_orienField.m_transmural);
    // A preset replaces the rule's frames: the surface is plain again.
    applyFibrePreset(0, model.m_orienField, model.m_tets, model.m_vtxOrigPos);
    EXPECT_EQ(planPaintScene(PaintTool::ORIENT, manager, 1.0, 1.0).surface, PaintSurface::Plain);
}
