// ModeScenes: what the two interaction modes draw of the heart model, planned from the display
// switches, the transparency and the paint tool, and drawn with the rendering passes.
#pragma once

#include <array>
#include <vector>

#include "fields/Constraints.h"
#include "interaction/TStatePaintCtrlField.h"
#include "model/MainWindowManager.h"

/// The groups of the paint dialog's tools.
enum class PaintToolGroup { Transform, Depth, Orientation, Phase, Amplitude, Region, Chamber };
PaintToolGroup paintToolGroup(PaintTool tool);
/// What a tool paints: the depth, phase or amplitude value, the vertex label (region tools), the
/// chamber id (chamber tools); 0 for the transform and orientation tools.
double paintToolValue(PaintTool tool);

/// Which fibre-line sets the four fibre display switches show, by set (0 atrium, 1 ventricle,
/// 2 depth axis, 3 third axis).
std::array<bool, 4> shownFibreSets(const MainWindowManager& manager);

/// What the standard mode draws of the model besides the heart surface, which it always draws.
struct StdScenePlan {
    std::array<bool, 4> fibreSets{};
    bool chamberWalls = false;   ///< "Roomes(5)"
    bool wireframe = false;      ///< "Mesh(3)"
    bool vertices = false;       ///< "Vetex(4)": one sphere per vertex, coloured by its contraction
    bool heldAndFrames = false;  ///< key 8: held vertices' lines and the per-vertex frames
    bool markerPoints = true;    ///< hidden while Ctrl is held
    double alpha = 1.0;          ///< surface opacity
};
StdScenePlan planStdScene(const MainWindowManager& manager, double alpha, bool ctrlDown);

/// The markers the paint mode shows for the selected tool.
enum class PaintMarkers {
    None,
    DepthConstraintsOfValue,
    OrientationStrokes,
    PhaseConstraints,
    AmplitudeConstraints,
    VertexLabels
};
/// How the paint mode draws the surface for the selected tool.
enum class PaintSurface { Plain, DepthColoured, PhaseColoured, AmplitudeColoured, ByChamber, TransmuralColoured };

struct PaintScenePlan {
    PaintMarkers markers = PaintMarkers::None;
    double markerValue = 0.0;  ///< the depth value whose constraints are shown
    bool peelFilter = false;   ///< orientation strokes filtered by the peel depth
    PaintSurface surface = PaintSurface::Plain;
    bool translucent = false;  ///< surface opacity below 0.9999
    std::array<bool, 4> fibreSets{};
    bool wireframe = false;
};
PaintScenePlan planPaintScene(PaintTool tool, const MainWindowManager& manager, double alpha, double peelDepth);

/// Draws the standard mode's model scene (current context, inside a frame, scene lights set).
void drawStdScene(const StdScenePlan& plan, const TLSMModel& model, const std::vector<TTetSample>& markerPoints);
/// Draws the paint mode's model scene with surface opacity alpha.
void drawPaintScene(const PaintScenePlan& plan, const TLSMModel& model, double alpha);
