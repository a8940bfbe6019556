// TStateStdInteraction: button tracking and the scene of the standard mode.
#include "interaction/TStateStdInteraction.h"

#include "interaction/TCore.h"
#include "model/MainWindowManager.h"
#include "render/SurfaceDraw.h"

TStateStdInteraction& TStateStdInteraction::getInstance() {
    static TStateStdInteraction instance;
    return instance;
}

void TStateStdInteraction::mouseLDown(int, int) { m_bLDown = true; }
void TStateStdInteraction::mouseRDown(int, int) { m_bRDown = true; }
void TStateStdInteraction::mouseMDown(int, int) { m_bMDown = true; }
void TStateStdInteraction::mouseLUp(int, int) { m_bLDown = false; }
void TStateStdInteraction::mouseRUp(int, int) { m_bRDown = false; }
void TStateStdInteraction::mouseMUp(int, int) { m_bMDown = false; }
void TStateStdInteraction::mouseLDouble(int, int) {}
void TStateStdInteraction::mouseMove(int, int) {}
void TStateStdInteraction::mouseWheel(int) {}

void TStateStdInteraction::drawScene() {
    TCore& core = TCore::getInst();
    core.m_ogl->applySceneLights();
    if (core.m_bShowFrames) core.m_ogl->drawFrameCube();
    const TLSMModel* model = MainWindowManager::getInstance().model();
    if (model) drawLitSurface(model->m_surface, model->m_triDrawOrder, core.surfaceAlpha());
}
