// TOGL: the OpenGL context of the 3-D view: fixed-function state, camera, per-frame set-up,
// background, lights, the frame cube and window-to-model unprojection.
#pragma once

#include <array>
#include <functional>

#include "linalg/vec3.h"
#include "mesh/ScreenProjection.h"
#include "render/GLContextHost.h"

/// The one rendering context of the view, owned by the core object. The view's window system creates
/// the context and hands it in through GLContextHost; TOGL sets the state once, holds the camera and
/// the viewport size, and runs the frame sequence. Outside a frame no context is current: every
/// other user (unprojection, picking) binds it for the call and releases it afterwards.
/// User-interface thread only.
class TOGL {
   public:
    TOGL();
    virtual ~TOGL();
    TOGL(const TOGL&) = delete;
    TOGL& operator=(const TOGL&) = delete;

    /// Takes the view's context (current on entry), sets the fixed-function state and initialises
    /// the extension loader (once per process). False when there is no host or the context has no
    /// usable OpenGL (no version string, or GLEW failed for a reason other than the window-system
    /// binding it does not know).
    virtual bool initialize(GLContextHost* host);
    /// Forgets the view's context; nothing is drawn or unprojected afterwards.
    virtual void release();
    /// Stores the viewport size; ignored unless both are positive.
    virtual void resize(int width, int height);
    /// Binds the view's context; false when there is none.
    virtual bool makeCurrent();
    /// Releases the context unless a frame is being drawn.
    void doneCurrent();

    /// The one-time state: clear values, depth test, blend function, material, the three lights'
    /// colours, texture environment, shading, culling; copies the home camera into the camera.
    void initState();
    /// Starts a frame: viewport, perspective projection (45 degrees vertical), look-at camera, clear.
    void setupView(double zNear, double zFar);
    /// The whole frame: set-up, view lights, background, and drawScene once, or twice in stereo (right
    /// half first with rightHalf = true, then the left half). Ends the frame.
    void paintFrame(bool stereo, const std::function<void(bool rightHalf)>& drawScene);
    /// Ends the frame: flushes and clears m_isDrawing (the view's window system presents the image).
    void finishFrame();

    /// The model point at window pixel (x, y), y downwards from the top, at window depth depth in
    /// [0, 1], with the context's current matrices and viewport. Binds the context for the call when
    /// no frame is being drawn. Without a context (or with a singular projection) the zero vector.
    vec3 unprojectPoint(double x, double y, double depth);
    /// The context's current model-view and projection matrices and viewport (identity values and a
    /// 1 x 1 viewport without a context).
    ScreenProjection currentProjection();

    /// Background gradient: dark at the top, teal at the bottom; in stereo once per half.
    void drawBackground(bool stereo);
    /// Lights of the view, placed in model space right after the camera is set.
    void applyViewLights();
    /// Lights of the scene, set by the interaction modes before they draw.
    void applySceneLights();
    /// The yellow 40-unit frame cube at the origin (the caller decides whether frames are shown).
    void drawFrameCube();

    bool hasContext() const { return m_host != nullptr; }
    bool isDrawing() const { return m_isDrawing; }

    GLContextHost* m_host = nullptr;
    bool m_isDrawing = false;
    int m_viewWidth = 0;
    int m_viewHeight = 0;
    vec3 m_eye, m_center, m_up;
    vec3 m_homeEye{0, 20, 50};
    vec3 m_homeCenter{0, 20, 0};
    vec3 m_homeUp{0, 1, 0};
    std::array<float, 4> m_clearColor{1.0f, 1.0f, 1.0f, 0.5f};

   private:
    void drawGradientQuad(double xLeft, double xRight);
    /// Projection and camera of one stereo half.
    void setupEyeView(int viewportX, int viewportWidth, const vec3& eye, const vec3& focus);
    /// Viewport (full height), perspective projection with the window's aspect, look-at camera.
    void loadCamera(int viewportX, int viewportWidth, double zNear, double zFar, const vec3& eye, const vec3& focus);
    bool m_boundForCall = false;
};

/// The frame cube's corners, (0,0,0) to (40,40,40), in the order of their bit patterns (x: bit 0,
/// y: bit 1, z: bit 2).
std::array<vec3, 8> frameCubeCorners();
/// Vertical field of view and clip planes of the view's perspective.
constexpr double kViewFovyDegrees = 45.0;
constexpr double kViewNear = 0.02;
constexpr double kViewFar = 300.0;
