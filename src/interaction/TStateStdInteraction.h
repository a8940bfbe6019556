// TStateStdInteraction: the standard interaction mode (mode 2), current after start-up and while the
// simulation runs.
#pragma once

#include "interaction/TState.h"

/// Mode 2. One process-wide instance, created on first use (by the core object's construction).
/// Tracks the pressed buttons; draws the frame cube and the heart surface with the transparency of
/// the standard dialog. User-interface thread only.
class TStateStdInteraction : public TState {
   public:
    static TStateStdInteraction& getInstance();

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

    bool m_bLDown = false;
    bool m_bRDown = false;
    bool m_bMDown = false;

   private:
    TStateStdInteraction() = default;
};
