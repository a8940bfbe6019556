// FramebufferObject: an off-screen colour and depth target of the current OpenGL context, and the
// host that binds it whenever the drawing layer binds its context.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/GLContextHost.h"

/// A framebuffer object with an 8-bit RGBA colour renderbuffer and a 24-bit depth renderbuffer of
/// one size, in the context that was current at create(). The owner destroys it with that context
/// current (its renderbuffers and the framebuffer are deleted then). User-interface thread only.
class FramebufferObject {
   public:
    /// A complete framebuffer object of width x height pixels (1 to the context's renderbuffer
    /// limit), bound on return; nullptr, with one line in error, when the size is out of range, the
    /// context has no framebuffer objects or the result is not complete. Needs a current context
    /// with the extension loader initialised.
    static std::unique_ptr<FramebufferObject> create(int width, int height, std::string& error);
    ~FramebufferObject();
    FramebufferObject(const FramebufferObject&) = delete;
    FramebufferObject& operator=(const FramebufferObject&) = delete;

    /// Binds it as the draw and read framebuffer of the current context.
    void bind() const;
    int width() const { return m_width; }
    int height() const { return m_height; }

    /// Reads the colour buffer as RGB triples with rows from the top (OpenGL delivers them from the
    /// bottom), width x height x 3 bytes into rgb. Binds the framebuffer first; waits for drawing
    /// to finish.
    void readRgb(std::vector<std::uint8_t>& rgb) const;
    /// Forgets the objects without deleting them: their context is gone and took them along.
    void forget() { m_framebuffer = m_colour = m_depth = 0; }

   private:
    FramebufferObject() = default;
    unsigned int m_framebuffer = 0;
    unsigned int m_colour = 0;
    unsigned int m_depth = 0;
    int m_width = 0;
    int m_height = 0;
};

/// The drawing layer's host for pictures drawn into a framebuffer object: binding it binds the
/// context of the host it wraps (a window's view, or a context without a window) and then the
/// framebuffer object, as a window's view binds its own. The wrapped host and the framebuffer
/// object (which may be set later, or replaced) outlive it.
class FramebufferHost : public GLContextHost {
   public:
    explicit FramebufferHost(GLContextHost& context) : m_context(context) {}
    void setFramebuffer(const FramebufferObject* framebuffer) { m_framebuffer = framebuffer; }
    bool makeContextCurrent() override;
    void doneContextCurrent() override;

   private:
    GLContextHost& m_context;
    const FramebufferObject* m_framebuffer = nullptr;
};
