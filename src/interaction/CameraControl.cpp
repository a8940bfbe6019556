// CameraControl: drag start and steps, home camera, and the turn around the model.
#include "interaction/CameraControl.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <utility>

#include "model/MainWindowManager.h"

CameraControl::CameraControl(TOGL& ogl)
    : m_ogl(ogl), m_pause([](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }) {}

void CameraControl::startCameraDrag(int x, int y, CameraDragMode mode) {
    m_prevPoint[0] = x;
    m_prevPoint[1] = y;
    m_dragMode = mode;
    if (m_window) m_window->captureMouse();
}

void CameraControl::startButtonDrag(CameraButton button, int x, int y) {
    switch (button) {
        case CameraButton::Right:
            startCameraDrag(x, y, x >= m_ogl.m_viewWidth - kDollyEdgeWidth ? CAMERA_DRAG_DOLLY : CAMERA_DRAG_ORBIT);
            break;
        case CameraButton::Middle:
            startCameraDrag(x, y, CAMERA_DRAG_DOLLY);
            break;
        case CameraButton::Left:
            startCameraDrag(x, y, CAMERA_DRAG_PAN);
            break;
    }
}

void CameraControl::endCameraDrag() {
    m_dragMode = CAMERA_DRAG_NONE;
    if (m_window && m_window->hasMouseCapture()) m_window->releaseMouseCapture();
}

bool CameraControl::mouseDragCamera(int x, int y) {
    if (m_dragMode == CAMERA_DRAG_NONE || !m_window || !m_window->hasMouseCapture()) return false;
    const int px = m_prevPoint[0], py = m_prevPoint[1];
    switch (m_dragMode) {
        case CAMERA_DRAG_DOLLY:
            dollyCamera(m_ogl.m_eye, m_ogl.m_center, y - py);
            break;
        case CAMERA_DRAG_ORBIT:
            orbit((px - x) / kOrbitPixelsPerRadian, (py - y) / kOrbitPixelsPerRadian);
            break;
        case CAMERA_DRAG_PAN:
            panCamera(m_ogl.m_eye, m_ogl.m_center, m_ogl.m_up, x - px, y - py);
            break;
        default:
            return false;
    }
    m_prevPoint[0] = x;
    m_prevPoint[1] = y;
    return true;
}

void CameraControl::orbit(double a, double b) { orbitCamera(m_ogl.m_eye, m_ogl.m_center, m_ogl.m_up, a, b); }

void CameraControl::initEyePosition() {
    m_ogl.m_eye = m_ogl.m_homeEye;
    m_ogl.m_center = m_ogl.m_homeCenter;
    m_ogl.m_up = m_ogl.m_homeUp;
    if (m_window) m_window->redrawNow();
}

bool CameraControl::fitModelInView() {
    const TLSMModel* model = m_controller ? m_controller->model() : nullptr;
    if (!model || model->m_verts.empty()) return false;
    vec3 lo = model->m_verts[0], hi = lo;
    for (const vec3& p : model->m_verts)
        for (int a = 0; a < 3; ++a) lo[a] = std::min(lo[a], p[a]), hi[a] = std::max(hi[a], p[a]);
    const vec3 centre = (lo + hi) * 0.5;
    const double radius = std::max(0.5 * (hi - lo).norm(), 1e-6);
    if (!isFinite(centre) || !std::isfinite(radius)) return false;
    // Half the narrower opening angle of the perspective, and 10 % to spare.
    constexpr double kMargin = 1.1;
    const double halfFovy = 0.5 * kViewFovyDegrees * M_PI / 180.0;
    const double aspect = m_ogl.m_viewHeight > 0 ? static_cast<double>(m_ogl.m_viewWidth) / m_ogl.m_viewHeight : 1.0;
    const double half = std::min(halfFovy, std::atan(std::tan(halfFovy) * aspect));
    vec3 back = m_ogl.m_eye - m_ogl.m_center;
    if (!(back.norm() > 0.0) || !isFinite(back)) back = vec3(0, 0, 1);
    back /= back.norm();
    m_ogl.m_center = centre;
    m_ogl.m_eye = centre + back * (radius * kMargin / std::sin(half));
    if (m_window) m_window->redrawNow();
    return true;
}

void CameraControl::storeEyePosition() {
    m_ogl.m_homeEye = m_ogl.m_eye;
    m_ogl.m_homeCenter = m_ogl.m_center;
    m_ogl.m_homeUp = m_ogl.m_up;
}

bool CameraControl::startAutoRotation() {
    if (m_controller && m_controller->isTimerOn()) return false;
    for (int i = 0; i < kAutoRotationSteps; ++i) {
        orbit(kAutoRotationStep, 0.0);
        if (m_window) m_window->redrawNow();
        if (m_pause) m_pause(kAutoRotationPauseMs);
    }
    return true;
}

void CameraControl::setAutoRotationPause(std::function<void(int milliseconds)> pause) { m_pause = std::move(pause); }

void releaseMiddleButton(CameraControl& camera, bool& middleDown) {
    camera.endCameraDrag();
    middleDown = false;
}
