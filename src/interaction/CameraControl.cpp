// CameraControl: drag start and steps, home camera, and the turn around the model.
#include "interaction/CameraControl.h"

#include <chrono>
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

void CameraControl::storeEyePosition() {
    m_ogl.m_homeEye = m_ogl.m_eye;
    m_ogl.m_homeCenter = m_ogl.m_center;
    m_ogl.m_homeUp = m_ogl.m_up;
}

bool CameraControl::startAutoRotation() {
    if (MainWindowManager::getInstance().isTimerOn()) return false;
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
