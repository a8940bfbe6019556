// OffscreenRenderer: the view's pictures without the view: the window's frame sequence and scene
// drawn into a framebuffer object and read back as RGB.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "interaction/StdOverlays.h"
#include "media/RgbImage.h"
#include "offscreen/DisplaySwitches.h"
#include "render/FramebufferObject.h"
#include "render/TOGL.h"

class EglContext;
class MainWindowManager;
class TLSMModel;

/// Surface opacity of the standard mode at the start (its transparency slider at 800 of 1000).
constexpr double kStartSurfaceAlpha = 0.8;

/// Where the standard mode draws its contraction charts (normalised device coordinates).
ChartOverlayLayout startChartOverlayLayout();

/// The standard mode's scene as the window draws it with no gesture under way, inside a frame of
/// ogl: the scene lights, the frame cube, the model's passes for the switches at surface opacity
/// alpha, and the contraction charts with the playback cursor at time (seconds into the cycle).
void drawStandardScene(TOGL& ogl, const TLSMModel& model, const DisplaySwitches& show, double alpha, double time);

/// Points ogl's camera at the controller's model as the window's "Fit heart in view" does (from
/// the current direction, for the current picture size). False, camera unchanged, without a model.
bool fitCameraToModel(TOGL& ogl, const MainWindowManager& manager);

/// Draws pictures of one size into its own framebuffer object, with its own TOGL (state, lights,
/// background and camera as the window's view sets them: the home camera at the start). Either
/// without any window, on the process's shared EGL context (the heart's vertex buffers and shader
/// then live in that one context, however many renderers come and go), or inside a context that
/// another host owns, such as the window's view, whose own picture it leaves alone. Owns the
/// framebuffer object; deletes it with the context current. A process draws either without a
/// window or in a window's context, not both: the drawing layer keeps its buffers for one context.
/// User-interface thread only.
class OffscreenRenderer {
   public:
    /// A renderer on the shared context without a window (made on first use; works with DISPLAY
    /// unset). nullptr with one line in error when there is no such context or the size is not
    /// drawable.
    static std::unique_ptr<OffscreenRenderer> createHeadless(int width, int height, std::string& error);
    /// A renderer inside context (which stays the caller's and outlives the renderer; its
    /// extension loader is initialised already, as the window's view does at start).
    static std::unique_ptr<OffscreenRenderer> createInContext(GLContextHost& context, int width, int height,
                                                              std::string& error);
    ~OffscreenRenderer();
    OffscreenRenderer(const OffscreenRenderer&) = delete;
    OffscreenRenderer& operator=(const OffscreenRenderer&) = delete;

    /// The renderer's view: its camera (m_eye, m_center, m_up and the home values) may be set freely.
    TOGL& view() { return m_ogl; }
    int width() const { return m_ogl.m_viewWidth; }
    int height() const { return m_ogl.m_viewHeight; }

    /// One frame as the window's view draws one (set-up, view lights, background, then drawScene,
    /// twice side by side in stereo), read back into image. False with the reason when the context
    /// cannot be bound.
    bool render(const std::function<void(bool rightHalf)>& drawScene, bool stereo, RgbImage& image, std::string& error);
    /// render() with drawStandardScene.
    bool renderStandardScene(const TLSMModel& model, const DisplaySwitches& show, double alpha, double time,
                             RgbImage& image, std::string& error);

   private:
    explicit OffscreenRenderer(GLContextHost& context) : m_host(context) {}
    static std::unique_ptr<OffscreenRenderer> attach(GLContextHost& context, bool freshContext, int width, int height,
                                                     std::string& error);
    FramebufferHost m_host;
    TOGL m_ogl;
    std::unique_ptr<FramebufferObject> m_framebuffer;
};
