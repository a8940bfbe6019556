// TStateStdInteraction: the standard interaction mode (mode 2), current after start-up and while the
// simulation runs.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "fields/Constraints.h"
#include "interaction/ChartEditing.h"
#include "interaction/TState.h"
#include "linalg/vec3.h"

class TCore;
class TLSMModel;

/// A point that rides on the deforming wall: a tetrahedron's four vertices and barycentric weights.
using MarkerPoint = TTetSample;

/// Which chart a drag in the overlay edits.
constexpr int kChartDragNone = 0;
constexpr int kChartDragVent = 1;
constexpr int kChartDragAtri = 2;
/// Marker points a double click places before the next one removes them all.
constexpr int kMaxMarkerPoints = 4;

/// Mode 2. One process-wide instance, created on first use (by the core object's construction).
/// Presses inside the chart overlay (top right of the view) edit the contraction charts: left the
/// ventricle curve, right the atrium curve, middle deletes. Elsewhere the left button grabs the model
/// with Shift, paints an infarct with Space, cuts with Ctrl, and otherwise, like the other buttons,
/// steers the camera. Double clicks place marker points (with Shift: pin a vertex); the wheel with
/// Ctrl, Alt or Space peels. User-interface thread only.
class TStateStdInteraction : public TState {
   public:
    static TStateStdInteraction& getInstance();
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

    /// The overlay's point under view pixel (x, y) (device pixels of the view, after the stereo
    /// correction): (2x'/W - 1, 1 - 2y/H), x' = 2x in stereo.
    ChartXY overlayPoint(int x, int y) const;
    /// Whether an overlay point lies within the background rectangle (bounds included).
    bool insideOverlay(const ChartXY& p) const;
    /// The grab, the cut being drawn and the chart overlay, over the model's scene.
    void drawOverlays(const TLSMModel& model);

    bool m_bLDown = false;
    bool m_bRDown = false;
    bool m_bMDown = false;
    /// Marker points placed by double click (at most four), drawn as spheres.
    std::vector<MarkerPoint> m_markerPoints;
    bool m_gInfarct = false;
    bool m_gGrab = false;
    bool m_gCut = false;
    ChartXY m_chartBgPos{0.55, 0.55};
    ChartXY m_chartBgSize{0.42, 0.42};
    ChartXY m_chartPos{0.57, 0.57};
    ChartXY m_chartSize{0.38, 0.38};
    int m_chartDrag = kChartDragNone;
    int m_chartIndex = -1;
    int m_grabVertex = -1;
    vec3 m_grabPoint;
    vec3 m_grabTarget;
    std::vector<int> m_grabSet;
    std::vector<vec3> m_grabOffsets;
    Tstroke3D m_cutStroke;
    std::vector<std::pair<int, int>> m_cutPixels;

   private:
    /// Ends every gesture under way: grab, infarct painting, cut and chart editing.
    void clearGestures();
    TStateStdInteraction() = default;
    /// Press in the overlay with the left (vent) or right (atrium) button: grabs or inserts a point.
    void startChartDrag(int which, const ChartXY& p);
    void releaseGrab();
    /// Marker points and gestures belong to the model they were made on: when another model has
    /// been loaded since, they are dropped. Returns the current model.
    TLSMModel* modelForGestures();

    TCore* m_core = nullptr;
    const TLSMModel* m_stateModel = nullptr;
    std::string m_stateModelPath;
    int m_stateModelVertices = 0;
};
