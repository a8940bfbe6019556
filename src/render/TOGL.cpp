// TOGL: state set-up, frame sequence, background, lights, frame cube and unprojection.
#include "render/TOGL.h"

#include <GL/glew.h>
#include <GL/glu.h>

#include "linalg/Diagnostics.h"
#include "render/ColourRamps.h"
#include "render/HeartRenderer.h"
#include "render/StereoCamera.h"

namespace {

bool g_glewReady = false;

void setLight(GLenum light, const float position[4], const float ambient[4], const float diffuse[4],
              const float specular[4]) {
    glEnable(light);
    glLightfv(light, GL_POSITION, position);
    glLightfv(light, GL_AMBIENT, ambient);
    glLightfv(light, GL_DIFFUSE, diffuse);
    glLightfv(light, GL_SPECULAR, specular);
}

}  // namespace

std::array<vec3, 8> frameCubeCorners() {
    std::array<vec3, 8> corners;
    for (int i = 0; i < 8; ++i) corners[i] = vec3((i & 1) ? 40.0 : 0.0, (i & 2) ? 40.0 : 0.0, (i & 4) ? 40.0 : 0.0);
    return corners;
}

TOGL::TOGL() = default;

TOGL::~TOGL() = default;

bool TOGL::initialize(GLContextHost* host) {
    m_host = host;
    if (!host) return false;
    const GLubyte* version = glGetString(GL_VERSION);
    if (!version) {
        diagPrintf("TOGL::initialize: the view has no OpenGL context\n");
        m_host = nullptr;
        return false;
    }
    // A new context: textures and shader programs of an earlier one are not valid here.
    forgetRenderResources();
    initState();
    if (!g_glewReady) {
        glewExperimental = GL_TRUE;
        const GLenum status = glewInit();
        // GLEW built for GLX reports a missing GLX display under an EGL window-system binding, yet
        // the core and extension entry points it loads through the context are valid.
        if (status != GLEW_OK && status != GLEW_ERROR_NO_GLX_DISPLAY) {
            diagPrintf("TOGL::initialize: glewInit failed: %s\n",
                       reinterpret_cast<const char*>(glewGetErrorString(status)));
            return false;
        }
        g_glewReady = true;
    }
    return true;
}

void TOGL::release() {
    m_host = nullptr;
    m_isDrawing = false;
}

void TOGL::resize(int width, int height) {
    if (width <= 0 || height <= 0) return;
    m_viewWidth = width;
    m_viewHeight = height;
}

bool TOGL::makeCurrent() { return m_host && m_host->makeContextCurrent(); }

void TOGL::doneCurrent() {
    if (m_host && !m_isDrawing) m_host->doneContextCurrent();
}

void TOGL::initState() {
    glClearColor(m_clearColor[0], m_clearColor[1], m_clearColor[2], m_clearColor[3]);
    glClearDepth(1.0);
    glEnable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    const float matAmbient[4] = {0.3f, 0.3f, 0.3f, 1.0f};
    const float matDiffuse[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    const float matSpecular[4] = {0.0f, 0.0f, 0.05f, 1.0f};
    glMaterialfv(GL_FRONT, GL_AMBIENT, matAmbient);
    glMaterialfv(GL_FRONT, GL_DIFFUSE, matDiffuse);
    glMaterialfv(GL_FRONT, GL_SPECULAR, matSpecular);
    glMaterialf(GL_FRONT, GL_SHININESS, 1.5f);

    const float black[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    const float amb0[4] = {0.15f, 0.15f, 0.15f, 1.0f}, dif0[4] = {1.0f, 1.0f, 1.0f, 1.0f},
                spe0[4] = {0.3f, 0.3f, 0.3f, 1.0f};
    glLightfv(GL_LIGHT0, GL_AMBIENT, amb0);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, dif0);
    glLightfv(GL_LIGHT0, GL_SPECULAR, spe0);
    const float dif1[4] = {0.4f, 0.4f, 0.4f, 1.0f}, spe1[4] = {0.1f, 0.1f, 0.1f, 1.0f};
    glLightfv(GL_LIGHT1, GL_AMBIENT, black);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, dif1);
    glLightfv(GL_LIGHT1, GL_SPECULAR, spe1);
    const float dif2[4] = {0.3f, 0.3f, 0.3f, 1.0f};
    glLightfv(GL_LIGHT2, GL_AMBIENT, black);
    glLightfv(GL_LIGHT2, GL_DIFFUSE, dif2);
    glLightfv(GL_LIGHT2, GL_SPECULAR, black);

    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    glShadeModel(GL_SMOOTH);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glCullFace(GL_BACK);
    glPolygonMode(GL_FRONT, GL_FILL);
    glEnable(GL_CULL_FACE);

    m_eye = m_homeEye;
    m_center = m_homeCenter;
    m_up = m_homeUp;
}

void TOGL::setupView(double zNear, double zFar) {
    m_isDrawing = true;
    makeCurrent();
    loadCamera(0, m_viewWidth, zNear, zFar, m_eye, m_center);
    // The view's format has no accumulation buffer, so colour and depth are all there is to clear.
    glClearColor(m_clearColor[0], m_clearColor[1], m_clearColor[2], m_clearColor[3]);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void TOGL::setupEyeView(int viewportX, int viewportWidth, const vec3& eye, const vec3& focus) {
    loadCamera(viewportX, viewportWidth, kViewNear, kViewFar, eye, focus);
}

void TOGL::loadCamera(int viewportX, int viewportWidth, double zNear, double zFar, const vec3& eye,
                      const vec3& focus) {
    glViewport(viewportX, 0, viewportWidth, m_viewHeight);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // The aspect is the whole window's, also for a stereo half: the two images are squeezed side
    // by side.
    const double aspect = m_viewHeight > 0 ? static_cast<double>(m_viewWidth) / m_viewHeight : 1.0;
    gluPerspective(kViewFovyDegrees, aspect, zNear, zFar);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(eye.x, eye.y, eye.z, focus.x, focus.y, focus.z, m_up.x, m_up.y, m_up.z);
}

void TOGL::paintFrame(bool stereo, const std::function<void(bool rightHalf)>& drawScene) {
    setupView(kViewNear, kViewFar);
    ensureColourRamps();
    applyViewLights();
    if (!stereo) {
        drawBackground(false);
        if (drawScene) drawScene(false);
    } else {
        drawBackground(true);
        const StereoEyes eyes = computeStereoEyes(m_eye, m_center, m_up);
        const int half = m_viewWidth / 2;
        setupEyeView(half, half, eyes.rightEye, eyes.focus);
        if (drawScene) drawScene(true);
        setupEyeView(0, half, eyes.leftEye, eyes.focus);
        if (drawScene) drawScene(false);
    }
    finishFrame();
}

void TOGL::finishFrame() {
    glFlush();
    m_isDrawing = false;
}

ScreenProjection TOGL::currentProjection() {
    ScreenProjection p;
    const bool bind = !m_isDrawing;
    if (bind && !makeCurrent()) return p;
    glGetDoublev(GL_MODELVIEW_MATRIX, p.modelView);
    glGetDoublev(GL_PROJECTION_MATRIX, p.projection);
    glGetIntegerv(GL_VIEWPORT, p.viewport);
    if (bind) doneCurrent();
    return p;
}

vec3 TOGL::unprojectPoint(double x, double y, double depth) {
    if (!m_host) return vec3();
    const ScreenProjection p = currentProjection();
    vec3 point;
    const vec3 window(x, p.viewport[3] - y, depth);
    if (!unprojectFromWindow(p, window, point)) return vec3();
    return point;
}

void TOGL::drawGradientQuad(double xLeft, double xRight) {
    glBegin(GL_QUADS);
    glColor3d(0.0, 0.3, 0.3);
    glVertex3d(xLeft, -1.0, 1.0);
    glColor3d(0.0, 0.7, 0.7);
    glVertex3d(xRight, -1.0, 1.0);
    glColor3d(0.0, 0.0, 0.0);
    glVertex3d(xRight, 1.0, 1.0);
    glVertex3d(xLeft, 1.0, 1.0);
    glEnd();
}

void TOGL::drawBackground(bool stereo) {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    // The gradient is plain colour whatever the previous frame left enabled.
    glPushAttrib(GL_ENABLE_BIT);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    if (stereo) {
        drawGradientQuad(-1.0, 0.0);
        drawGradientQuad(0.0, 1.0);
    } else {
        drawGradientQuad(-1.0, 1.0);
    }
    glPopAttrib();
    glEnable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
}

void TOGL::applyViewLights() {
    const float pos0[4] = {10000.0f, 1000.0f, 10000.0f, 1.0f}, amb0[4] = {0.5f, 0.5f, 0.5f, 1.0f},
                dif0[4] = {0.8f, 0.8f, 0.8f, 1.0f}, spe0[4] = {0.6f, 0.6f, 0.6f, 1.0f};
    setLight(GL_LIGHT0, pos0, amb0, dif0, spe0);
    const float pos1[4] = {-10000.0f, 10.0f, -10000.0f, 1.0f}, amb1[4] = {0.0f, 0.0f, 0.0f, 1.0f},
                dif1[4] = {0.8f, 0.8f, 0.8f, 1.0f}, spe1[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    setLight(GL_LIGHT1, pos1, amb1, dif1, spe1);
}

void TOGL::applySceneLights() {
    const float pos0[4] = {10000.0f, 10000.0f, 10000.0f, 1.0f}, amb0[4] = {0.5f, 0.5f, 0.5f, 1.0f},
                dif0[4] = {0.8f, 0.8f, 0.8f, 1.0f}, spe0[4] = {0.6f, 0.6f, 0.6f, 1.0f};
    setLight(GL_LIGHT0, pos0, amb0, dif0, spe0);
    const float pos1[4] = {-10000.0f, -10000.0f, -10000.0f, 1.0f}, amb1[4] = {0.0f, 0.0f, 0.0f, 1.0f},
                dif1[4] = {0.3f, 0.3f, 0.3f, 1.0f}, spe1[4] = {0.5f, 0.5f, 0.5f, 1.0f};
    setLight(GL_LIGHT1, pos1, amb1, dif1, spe1);
}

void TOGL::drawFrameCube() {
    glDisable(GL_LIGHTING);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
    glColor3d(1.0, 1.0, 0.0);
    glLineWidth(3.0f);
    const std::array<vec3, 8> c = frameCubeCorners();
    glBegin(GL_LINES);
    for (int i = 0; i < 8; ++i)
        for (int bit = 1; bit < 8; bit <<= 1)
            if (!(i & bit)) {
                glVertex3d(c[i].x, c[i].y, c[i].z);
                glVertex3d(c[i | bit].x, c[i | bit].y, c[i | bit].z);
            }
    glEnd();
}
