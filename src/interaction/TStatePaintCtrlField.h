// TStatePaintCtrlField: the interaction mode (mode 1) in which the control fields are painted.
#pragma once

#include "fields/Constraints.h"
#include "interaction/BusyIndicator.h"
#include "interaction/TState.h"
#include "linalg/vec3.h"

class TCore;
class TLSMModel;
struct PointerRay;

/// The tool selected in the paint dialog; exactly one at a time.
enum class PaintTool {
    TRANS,
    ROT,
    SCALE,
    DEPTH_0,
    DEPTH_05,
    DEPTH_1,
    ORIENT,
    PHASE_0,
    PHASE_1,
    AMP_0,
    AMP_1,
    AMP_M1,
    SEG_VENT,
    SEG_ATRI,
    SEG_NEITHER,
    CH_VR,
    CH_VL,
    CH_AR,
    CH_AL,
    CH_NEITHER
};

/// Constraint spacing along a drag and the distance of the cut stroke in front of the eye (model units).
constexpr double kConstraintSpacing = 0.5;
constexpr double kCutStrokeOffset = 0.5;
/// Radius of the region brush in view pixels.
constexpr double kRegionBrushRadius = 15.0;
/// Window depth of the flat overlays (just behind the near plane).
constexpr double kOverlayDepth = 0.01;
/// Rotation (radians per model unit) and scaling (per pixel) rates of the transform drags.
constexpr double kTransformRate = 0.001;

/// Mode 1. One process-wide instance, created on first use (the paint dialog or the first switch to
/// mode 1); it keeps its tool, strokes and flags across mode switches. With Shift, Alt or Ctrl the
/// left button applies the selected tool (constraint points and vertices, orientation strokes, cuts,
/// vertex labels, chamber walls, the model's placement); any other press steers the camera. Field
/// recomputation runs once per release, never during a drag. Without a model every model action is
/// skipped. User-interface thread only.
class TStatePaintCtrlField : public TState {
   public:
    static TStatePaintCtrlField& getInstance();
    virtual ~TStatePaintCtrlField();
    /// The core object whose view, camera and controller the mode works with (set by the core
    /// object while it exists; events reach the mode only through it).
    void setCore(TCore* core) { m_core = core; }

    void mouseLDown(int x, int y) override;
    void mouseRDown(int x, int y) override;
    void mouseMDown(int x, int y) override;
    void mouseLUp(int x, int y) override;
    void mouseRUp(int x, int y) override;
    void mouseMUp(int x, int y) override;
    void mouseLDouble(int x, int y) override;
    void mouseRDouble(int x, int y) override {}
    void mouseMDouble(int x, int y) override {}
    void mouseMove(int x, int y) override;
    void mouseWheel(int delta) override;
    void drawScene() override;

    /// Selects the tool (the paint dialog drives it).
    void setTool(PaintTool tool) { m_tool = tool; }

    /// Whether a left-button tool gesture is under way.
    bool isGestureActive() const;

    bool m_bLDown = false;
    bool m_bRDown = false;
    bool m_bMDown = false;
    PaintTool m_tool = PaintTool::DEPTH_0;
    bool m_gCut = false;
    bool m_gOrientStroke = false;
    bool m_gVertexConstr = false;
    bool m_gPointConstr = false;
    bool m_gTransform = false;
    bool m_gRegionRect = false;
    bool m_gRegionBrush = false;
    bool m_gChamberPaint = false;
    Tstroke3D m_cutStroke;
    Tstroke3D m_orientStroke;
    vec3 m_lastPoint;
    vec3 m_hitPoint;
    int m_pressPixel[2] = {0, 0};
    int m_lastPixel[2] = {0, 0};

   private:
    TStatePaintCtrlField() = default;

    TCore* m_core = nullptr;

    /// The tool's value added as a constraint at the sample of point p (depth, phase and amplitude
    /// tools only); the field is not recomputed.
    void placePointConstraint(TLSMModel& model, const vec3& p);
    /// The tool's value on the three vertices behind surface triangle t, unless a corner is a cut point.
    void placeVertexConstraints(TLSMModel& model, int t);
    /// The tool's value on the smooth region grown from surface triangle t.
    void placeRegionConstraints(TLSMModel& model, int t);
    /// Re-solves the tool's field and sets the simulator up again (depth: orientation too).
    void updateFieldForTool(TLSMModel& model);
    /// Starts the Shift or Alt gesture of the tool at a press; false when none starts.
    bool startModifiedGesture(TLSMModel* model, const PointerRay& ray, bool alt);
    /// One step of a transform drag to the pointer ray.
    void transformStep(TLSMModel& model, const PointerRay& ray, int x);
    void clearGestures();
};
