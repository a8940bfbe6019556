// EglContext: an OpenGL context without any window system, on Mesa's surfaceless EGL platform.
#pragma once

#include <memory>
#include <string>

#include "render/GLContextHost.h"

/// An OpenGL compatibility-profile context (asked for as 3.3, so the fixed-function passes and the
/// heart shader run unchanged) with no surface: pictures go into framebuffer objects. Needs no X
/// server and no DISPLAY. The EGL display is shared by the process and terminated once, at exit,
/// after the shared context; a context is destroyed with its owner (released first when current),
/// and every context is destroyed before the process ends.
/// User-interface thread (the thread that draws) only.
class EglContext : public GLContextHost {
   public:
    /// A context on the surfaceless platform (EGL_MESA_platform_surfaceless), or on the first
    /// device of EGL_EXT_platform_device when that is missing; nullptr with one line in error that
    /// names the missing extension or the failing call.
    static std::unique_ptr<EglContext> create(std::string& error);
    /// The process's shared context, made by the first call and kept to the end of the process
    /// (destroyed before the display is terminated). nullptr with the reason when it cannot be
    /// made; later calls give the same reason without trying again.
    static EglContext* shared(std::string& error);
    ~EglContext() override;
    EglContext(const EglContext&) = delete;
    EglContext& operator=(const EglContext&) = delete;

    /// Makes the context current without a surface; false when EGL refuses.
    bool makeContextCurrent() override;
    /// Releases it from the calling thread.
    void doneContextCurrent() override;
    /// The GL_RENDERER and GL_VERSION strings, read at creation ("llvmpipe ...", "4.5 (Compatibility
    /// Profile) Mesa ...").
    const std::string& renderer() const { return m_renderer; }
    const std::string& version() const { return m_version; }

   private:
    EglContext() = default;
    void* m_display = nullptr;
    void* m_context = nullptr;
    std::string m_renderer;
    std::string m_version;
};
