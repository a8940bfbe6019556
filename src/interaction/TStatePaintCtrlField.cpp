// TStatePaintCtrlField: button tracking and the scene of the paint mode.
#include "interaction/TStatePaintCtrlField.h"

#include "interaction/TCore.h"
#include "model/MainWindowManager.h"
#include "render/SurfaceDraw.h"

TStatePaintCtrlField& TStatePaintCtrlField::getInstance() {
    static TStatePaintCtrlField instance;
    return instance;
}

TStatePaintCtrlField::~TStatePaintCtrlField() = default;

void TStatePaintCtrlField::mouseLDown(int x, int y) {
    m_bLDown = true;
    m_pressPixel[0] = m_lastPixel[0] = x;
    m_pressPixel[1] = m_lastPixel[1] = y;
}
void TStatePaintCtrlField::mouseRDown(int, int) { m_bRDown = true; }
void TStatePaintCtrlField::mouseMDown(int, int) { m_bMDown = true; }
void TStatePaintCtrlField::mouseLUp(int, int) { m_bLDown = false; }
void TStatePaintCtrlField::mouseRUp(int, int) { m_bRDown = false; }
void TStatePaintCtrlField::mouseMUp(int, int) { m_bMDown = false; }
void TStatePaintCtrlField::mouseLDouble(int, int) {}

void TStatePaintCtrlField::mouseMove(int x, int y) {
    if (!m_bLDown && !m_bRDown && !m_bMDown) return;
    m_lastPixel[0] = x;
    m_lastPixel[1] = y;
}

void TStatePaintCtrlField::mouseWheel(int) {}

void TStatePaintCtrlField::drawScene() {
    TCore& core = TCore::getInst();
    core.m_ogl->applySceneLights();
    const TLSMModel* model = MainWindowManager::getInstance().model();
    if (model) drawLitSurface(model->m_surface, model->m_triDrawOrder, core.surfaceAlpha());
}
