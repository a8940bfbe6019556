// TState: the interface of an interaction mode of the 3-D view.
#pragma once

/// An interaction mode. The view forwards every mouse event and every redraw to the mode the core
/// object holds. Points are view pixels (origin top-left, y downwards) after the stereo correction,
/// in device pixels, the units of the rendering context's viewport.
/// Modifier keys are not passed: a mode asks the core for Shift, Ctrl, Alt and Space when it needs
/// them. The operations keep this order. User-interface thread only.
class TState {
   public:
    virtual void mouseLDown(int x, int y) = 0;
    virtual void mouseRDown(int x, int y) = 0;
    virtual void mouseMDown(int x, int y) = 0;
    virtual void mouseLUp(int x, int y) = 0;
    virtual void mouseRUp(int x, int y) = 0;
    virtual void mouseMUp(int x, int y) = 0;
    virtual void mouseLDouble(int x, int y) = 0;
    virtual void mouseRDouble(int x, int y) = 0;
    virtual void mouseMDouble(int x, int y) = 0;
    virtual void mouseMove(int x, int y) = 0;
    /// Signed wheel delta, a multiple of 120 per notch; only its sign matters.
    virtual void mouseWheel(int delta) = 0;
    /// Draws the scene; the projection and camera are set, the context is current.
    virtual void drawScene() = 0;

   protected:
    // Modes live as process-wide instances of their own class and are never deleted through this
    // interface.
    ~TState() = default;
};
