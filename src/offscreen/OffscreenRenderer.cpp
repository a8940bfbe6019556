// OffscreenRenderer: the shared windowless context, the standard scene and the read-back.
#include "offscreen/OffscreenRenderer.h"

#include "interaction/CameraControl.h"
#include "interaction/ModeScenes.h"
#include "interaction/TCore.h"
#include "interaction/TStateStdInteraction.h"
#include "model/MainWindowManager.h"
#include "model/TLSMModel.h"
#include "offscreen/EglContext.h"

ChartOverlayLayout startChartOverlayLayout() {
    // The mode's own values: nothing moves the overlay once the mode exists.
    const TStateStdInteraction& mode = TStateStdInteraction::getInstance();
    return ChartOverlayLayout{mode.m_chartBgPos, mode.m_chartBgSize, mode.m_chartPos, mode.m_chartSize};
}

void drawStandardScene(TOGL& ogl, const TLSMModel& model, const DisplaySwitches& show, double alpha, double time) {
    ogl.applySceneLights();
    if (show.frames) ogl.drawFrameCube();
    drawStdScene(planForSwitches(show, alpha), model, {});
    if (show.charts && model.m_excitation)
        drawChartOverlay(startChartOverlayLayout(), model.m_excitation->m_chartVent, model.m_excitation->m_chartAtri,
                         time, model.m_excitation->m_cycleLength, false);
}

bool fitCameraToModel(TOGL& ogl, const MainWindowManager& manager) {
    CameraControl camera(ogl);
    camera.setController(&manager);
    return camera.fitModelInView();
}

std::unique_ptr<OffscreenRenderer> OffscreenRenderer::createHeadless(int width, int height, std::string& error) {
    // One windowless context for the process: the drawing layer keeps per-context buffers and
    // programs, which a second context would not have. The first renderer sets the context up.
    static bool contextSetUp = false;
    EglContext* context = EglContext::shared(error);
    if (!context) return nullptr;
    std::unique_ptr<OffscreenRenderer> renderer = attach(*context, !contextSetUp, width, height, error);
    if (renderer) contextSetUp = true;
    return renderer;
}

std::unique_ptr<OffscreenRenderer> OffscreenRenderer::createInContext(GLContextHost& context, int width, int height,
                                                                      std::string& error) {
    return attach(context, false, width, height, error);
}

std::unique_ptr<OffscreenRenderer> OffscreenRenderer::attach(GLContextHost& context, bool freshContext, int width,
                                                             int height, std::string& error) {
    std::unique_ptr<OffscreenRenderer> renderer(new OffscreenRenderer(context));
    if (!context.makeContextCurrent()) {
        error = "the OpenGL context cannot be made current";
        return nullptr;
    }
    TOGL& ogl = renderer->m_ogl;
    // The window's clear colour and home camera; the state set-up below puts the camera home.
    applyViewDefaults(ogl);
    if (freshContext) {
        // A new context: the drawing layer's state, and the extension loader on first use.
        if (!ogl.initialize(&renderer->m_host)) {
            error = "the OpenGL context cannot be used for drawing";
            context.doneContextCurrent();
            return nullptr;
        }
    } else {
        // A context the drawing layer knows: its buffers and programs stay; only this view's state
        // is set.
        ogl.m_host = &renderer->m_host;
        ogl.initState();
    }
    renderer->m_framebuffer = FramebufferObject::create(width, height, error);
    if (!renderer->m_framebuffer) {
        ogl.release();
        context.doneContextCurrent();
        return nullptr;
    }
    renderer->m_host.setFramebuffer(renderer->m_framebuffer.get());
    ogl.resize(width, height);
    context.doneContextCurrent();
    return renderer;
}

OffscreenRenderer::~OffscreenRenderer() {
    if (m_host.makeContextCurrent()) {
        m_host.setFramebuffer(nullptr);
        m_framebuffer.reset();
        m_host.doneContextCurrent();
    } else {
        // The context is gone with its objects; nothing is left to delete.
        m_framebuffer->forget();
        m_framebuffer.reset();
    }
    m_ogl.release();
}

bool OffscreenRenderer::render(const std::function<void(bool rightHalf)>& drawScene, bool stereo, RgbImage& image,
                               std::string& error) {
    if (!m_ogl.makeCurrent()) {
        error = "the OpenGL context cannot be made current";
        return false;
    }
    m_ogl.paintFrame(stereo, drawScene);
    image.width = m_framebuffer->width();
    image.height = m_framebuffer->height();
    m_framebuffer->readRgb(image.pixels);
    m_ogl.doneCurrent();
    return true;
}

bool OffscreenRenderer::renderStandardScene(const TLSMModel& model, const DisplaySwitches& show, double alpha,
                                            double time, RgbImage& image, std::string& error) {
    return render([&](bool) { drawStandardScene(m_ogl, model, show, alpha, time); }, false, image, error);
}
