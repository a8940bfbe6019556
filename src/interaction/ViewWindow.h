// ViewWindow: what the camera needs from the 3-D view's window: the mouse capture and redraws.
#pragma once

/// Implemented by the view. The capture is taken when a camera drag starts so that the drag's moves
/// and its release reach the view even outside it; the window loses it by itself when it loses the
/// focus or is deactivated (another window took the mouse), and a drag then stops steering the camera.
/// User-interface thread only.
class ViewWindow {
   public:
    virtual ~ViewWindow() = default;
    virtual void captureMouse() = 0;
    /// Gives the capture back (nothing when the view does not hold it).
    virtual void releaseMouseCapture() = 0;
    virtual bool hasMouseCapture() const = 0;
    /// Draws the view now, before returning (nothing while the view cannot draw yet).
    virtual void redrawNow() = 0;
};
