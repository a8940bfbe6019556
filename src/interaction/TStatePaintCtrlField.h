// TStatePaintCtrlField: the interaction mode (mode 1) in which the control fields are painted.
#pragma once

#include "interaction/TState.h"

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

/// Mode 1. One process-wide instance, created on first use (the paint dialog or the first switch to
/// mode 1); it keeps its tool across mode switches. Tracks the pressed buttons and the pointer;
/// draws the heart surface with the transparency of the standard dialog. User-interface thread only.
class TStatePaintCtrlField : public TState {
   public:
    static TStatePaintCtrlField& getInstance();
    virtual ~TStatePaintCtrlField();

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

    bool m_bLDown = false;
    bool m_bRDown = false;
    bool m_bMDown = false;
    PaintTool m_tool = PaintTool::DEPTH_0;
    int m_pressPixel[2] = {0, 0};
    int m_lastPixel[2] = {0, 0};

   private:
    TStatePaintCtrlField() = default;
};
