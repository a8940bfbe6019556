// One frame of the 3-D view on the bundled heart (ModelB, 5,518 vertices): the view's set-up,
// background and lights, then the current mode's scene, finished with glFinish so the time covers
// the rasteriser too. Needs an X display with GLX (run under xvfb-run). Rendered into a 1024 x 768
// framebuffer object of an offscreen surface, as the view renders into its own.
// Arguments: scene (0 standard mode, opaque; 1 standard mode at the default transparency 0.8;
// 2 standard mode with the ventricular fibres, wireframe and vertex spheres; 3 paint mode with the
// phase colouring; 4 as 0 but without the heart shader, lit by the fixed-function pipeline; 5 as 1
// with the ventricular fibres only; 6 as 1 with the vertex spheres only; 7 as 0 and 8 as 2 on the
// gmsh shell of about 20,000 vertices (bench/common/ShellMeshes) with every vertex labelled
// ventricle; the shell replaces the heart for the scenes after it).
// With VELMORA_FRAME_IMAGES set to a directory, the last frame of each scene is saved there as
// scene<N>.png.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QSurfaceFormat>
#include <cstdlib>
#include <memory>
#include <string>

#include "common/ShellMeshes.h"
#include "common/TestFiles.h"
#include "interaction/TCore.h"
#include "interaction/TStatePaintCtrlField.h"
#include "linalg/Diagnostics.h"
#include "model/MainWindowManager.h"
#include "render/GLContextHost.h"
#include "render/HeartRenderer.h"

namespace {

constexpr int kWidth = 1024, kHeight = 768;

/// The offscreen context standing in for the view's: binding it also binds the framebuffer object.
class OffscreenHost : public GLContextHost {
   public:
    bool create() {
        QSurfaceFormat format;
        format.setRenderableType(QSurfaceFormat::OpenGL);
        format.setProfile(QSurfaceFormat::CompatibilityProfile);
        format.setVersion(2, 1);
        format.setDepthBufferSize(24);
        m_surface.setFormat(format);
        m_surface.create();
        m_context.setFormat(format);
        if (!m_context.create() || !m_context.makeCurrent(&m_surface)) return false;
        QOpenGLFramebufferObjectFormat fboFormat;
        fboFormat.setAttachment(QOpenGLFramebufferObject::Depth);
        m_fbo = std::make_unique<QOpenGLFramebufferObject>(kWidth, kHeight, fboFormat);
        return m_fbo->isValid() && m_fbo->bind();
    }
    bool makeContextCurrent() override { return m_context.makeCurrent(&m_surface) && m_fbo->bind(); }
    void doneContextCurrent() override {}

   private:
    QOffscreenSurface m_surface;
    QOpenGLContext m_context;
    std::unique_ptr<QOpenGLFramebufferObject> m_fbo;
};

struct Scene {
    std::unique_ptr<QGuiApplication> app;
    std::unique_ptr<OffscreenHost> host;  // after the application: its surface needs a screen
    bool ready = false;
    bool shellLoaded = false;

    void setUp() {
        static int argc = 1;
        static char name[] = "bench_HeartFrame";
        static char* argv[] = {name, nullptr};
        setenv("QT_XCB_GL_INTEGRATION", "xcb_glx", 0);
        app = std::make_unique<QGuiApplication>(argc, argv);
        setDiagQuiet(true);
        MainWindowManager::setInitialModelPath(testfiles::sourceDir() + "/models/ModelB");
        host = std::make_unique<OffscreenHost>();
        ready = MainWindowManager::getInstance().model() != nullptr && host->create();
        if (!ready) return;
        // As the main window does: the core object draws the controller's model.
        TCore::getInst().setController(&MainWindowManager::getInstance());
        TOGL& ogl = *TCore::getInst().m_ogl;
        ready = ogl.initialize(host.get());
        ogl.resize(kWidth, kHeight);
    }
};

Scene& scene() {
    static Scene s;
    static bool once = (s.setUp(), true);
    (void)once;
    return s;
}

}  // namespace

static void BM_HeartFrame(benchmark::State& state) {
    Scene& s = scene();
    if (!s.ready) {
        state.SkipWithError("no model or no OpenGL context (run under xvfb-run from the build)");
        return;
    }
    MainWindowManager& manager = MainWindowManager::getInstance();
    TCore& core = TCore::getInst();
    auto* slider = dynamic_cast<MemoryStdDialog*>(core.m_dlgStdInteraction.get());
    const int variant = static_cast<int>(state.range(0));
    core.setStdInteractionMode();
    manager.m_bShowFibVent = manager.m_bShowMesh = manager.m_bShowVertices = false;
    if (slider) slider->m_transparency = variant == 0 || variant == 7 ? 1000 : 800;
    if (variant == 2) manager.m_bShowFibVent = manager.m_bShowMesh = manager.m_bShowVertices = true;
    if (variant == 5) manager.m_bShowFibVent = true;
    if (variant == 6) manager.m_bShowVertices = true;
    if (variant >= 7 && !s.shellLoaded) {
        const std::string base = benchmesh::shellMesh(20000);
        if (!base.empty()) manager.loadModel(base);
        TLSMModel* shell = manager.model();
        if (base.empty() || !shell) {
            state.SkipWithError("the 20,000-vertex shell is unavailable (gmsh missing or failed)");
            return;
        }
        shell->m_vtxIsVentriOrAtrium.assign(shell->m_verts.size(), 1);
        shell->m_orienField.buildFibreLines(1, shell->m_tets, shell->m_verts, shell->m_vtxIsVentriOrAtrium);
        s.shellLoaded = true;
        core.setStdInteractionMode();
    }
    if (variant == 8) manager.m_bShowFibVent = manager.m_bShowMesh = manager.m_bShowVertices = true;
    TLSMModel& model = *manager.model();
    const std::string shaderPath = HeartRenderer::instance().m_shaderPath;
    if (variant == 4) {
        HeartRenderer::instance().m_shaderPath = shaderPath + ".absent";
        HeartRenderer::instance().m_shaderReady = false;
    }
    if (variant == 3) {
        core.setPaintCtrlFieldMode();
        TStatePaintCtrlField::getInstance().setTool(PaintTool::PHASE_1);
    }
    core.drawView();  // shader and textures built outside the timed loop
    glFinish();
    for (auto _ : state) {
        core.drawView();
        glFinish();
    }
    if (const char* dir = std::getenv("VELMORA_FRAME_IMAGES")) {
        // The last frame of each scene, for comparing what two builds draw.
        QImage image(kWidth, kHeight, QImage::Format_RGBA8888);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
        image.mirrored().save(QString::fromStdString(std::string(dir) + "/scene" + std::to_string(variant) + ".png"));
    }
    state.counters["surfaceTriangles"] = static_cast<double>(model.m_surface.polys().size());
    state.counters["vertices"] = static_cast<double>(model.m_verts.size());
    size_t fibrePoints = 0;
    for (const TFibreLine& line : model.m_orienField.m_fibreLines[1]) fibrePoints += line.size();
    state.counters["ventricleFibrePoints"] = static_cast<double>(fibrePoints);
    state.counters["shaderReady"] = HeartRenderer::instance().m_shaderReady ? 1 : 0;
    state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    if (variant == 4) {
        HeartRenderer::instance().m_shaderPath = shaderPath;
        HeartRenderer::instance().m_shaderReady = false;
    }
}
BENCHMARK(BM_HeartFrame)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Arg(3)
    ->Arg(4)
    ->Arg(5)
    ->Arg(6)
    ->Arg(7)
    ->Arg(8)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The singletons and the context go before the application that hosts the display connection.
    Scene& s = scene();
    TCore::destroyInstance();
    MainWindowManager::destroyInstance();
    s.host.reset();
    s.app.reset();
    return 0;
}
