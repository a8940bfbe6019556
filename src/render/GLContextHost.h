// GLContextHost: what the rendering layer needs from the window that owns the OpenGL context.
#pragma once

/// Implemented by the 3-D view. The view's window system creates the context; the rendering layer
/// only binds and releases it around work done outside a frame (picking, unprojection).
/// User-interface thread only.
class GLContextHost {
   public:
    virtual ~GLContextHost() = default;
    /// Binds the view's context (and the view's framebuffer) to the calling thread; false when the
    /// view has no context (not created yet, or already destroyed).
    virtual bool makeContextCurrent() = 0;
    /// Releases the context bound by makeContextCurrent.
    virtual void doneContextCurrent() = 0;
};
