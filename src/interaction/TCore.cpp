// TCore: construction order, the mode switches, dialog docking and event forwarding.
#include "interaction/TCore.h"

#include "interaction/TStatePaintCtrlField.h"
#include "interaction/TStateStdInteraction.h"
#include "linalg/Diagnostics.h"
#include "model/MainWindowManager.h"

namespace {

std::unique_ptr<TCore> g_core;
ToolDialogFactory* g_dialogFactory = nullptr;

constexpr int kDialogDropBelowTop = 40;

}  // namespace

TCore& TCore::getInst() {
    if (!g_core) g_core.reset(new TCore());
    return *g_core;
}

void TCore::destroyInstance() { g_core.reset(); }

bool TCore::exists() { return g_core != nullptr; }

void TCore::setDialogFactory(ToolDialogFactory* factory) { g_dialogFactory = factory; }

TCore::TCore() {
    MemoryToolDialogFactory memoryFactory;
    ToolDialogFactory& factory = g_dialogFactory ? *g_dialogFactory : memoryFactory;
    m_ogl = std::make_unique<TOGL>();
    m_camera = std::make_unique<CameraControl>(*m_ogl);
    m_editHistory = std::make_unique<EditHistory>(*this);
    TStateStdInteraction::getInstance().setCore(this);
    TStatePaintCtrlField::getInstance().setCore(this);
    diagPrintf("TCore constructure Start...");
    m_mainFrame = nullptr;
    m_bStereo = false;
    m_bDrawingRightHalf = false;
    m_bShowFrames = true;
    applyViewDefaults(*m_ogl);
    m_dlgVolumeViz = factory.createVolumeDialog();
    m_dlgPaintCtrlField = factory.createPaintDialog();
    m_dlgStdInteraction = factory.createStdDialog();
    setStdInteractionMode();
    diagPrintf("TCore constructure Done\n");
}

void applyViewDefaults(TOGL& ogl) {
    ogl.m_clearColor = {1.0f, 1.0f, 1.0f, 1.0f};
    ogl.m_homeEye = vec3(20, 20, 60);
    ogl.m_homeCenter = vec3(20, 20, 20);
    ogl.m_homeUp = vec3(0, 1, 0);
}

TCore::~TCore() {
    TStateStdInteraction::getInstance().setCore(nullptr);
    TStatePaintCtrlField::getInstance().setCore(nullptr);
}

void TCore::setController(MainWindowManager* controller) {
    m_controller = controller;
    m_camera->setController(controller);
}

TLSMModel* TCore::model() const { return m_controller ? m_controller->model() : nullptr; }

bool TCore::simulationRuns() const { return m_controller && m_controller->isTimerOn(); }

void TCore::setStdInteractionMode() {
    m_mode = 2;
    m_state = &TStateStdInteraction::getInstance();
    m_dlgPaintCtrlField->hideDialog();
    m_dlgStdInteraction->showDialog();
    dockToMainFrame();
}

void TCore::setPaintCtrlFieldMode() {
    m_mode = 1;
    m_state = &TStatePaintCtrlField::getInstance();
    m_dlgPaintCtrlField->showDialog();
    m_dlgStdInteraction->hideDialog();
    dockToMainFrame();
}

void TCore::setMainFrame(MainFrameWindow* frame) {
    m_mainFrame = frame;
    dockToMainFrame();
}

void TCore::dockToMainFrame() {
    if (!m_mainFrame) return;
    const ScreenRect r = m_mainFrame->normalRect();
    placeDialogs(r.x + r.width, r.y);
}

void TCore::placeDialogs(int x, int y) {
    const int top = y + kDialogDropBelowTop;
    if (m_dlgStdInteraction && m_stdDialogDockHeight < 0) m_stdDialogDockHeight = m_dlgStdInteraction->dialogHeight();
    if (m_dlgPaintCtrlField && m_dlgPaintCtrlField->isDialogVisible())
        m_dlgPaintCtrlField->placeOnTop(x, top, m_dlgPaintCtrlField->dialogWidth(),
                                        m_dlgPaintCtrlField->dialogHeight());
    if (m_dlgStdInteraction && m_dlgStdInteraction->isDialogVisible())
        m_dlgStdInteraction->placeOnTop(x, top, m_dlgStdInteraction->dialogWidth(), m_stdDialogDockHeight);
}

int TCore::stereoCorrectedX(int x, int viewWidth) const {
    const int half = viewWidth / 2;
    return (m_bStereo && x >= half) ? x - half : x;
}

void TCore::forwardMouse(MouseAction action, int x, int y, int viewWidth) {
    if (!m_state) return;
    const int cx = stereoCorrectedX(x, viewWidth);
    m_editHistory->beforeMouse(action);
    switch (action) {
        case MouseAction::LDown:
            m_state->mouseLDown(cx, y);
            break;
        case MouseAction::RDown:
            m_state->mouseRDown(cx, y);
            break;
        case MouseAction::MDown:
            m_state->mouseMDown(cx, y);
            break;
        case MouseAction::LUp:
            m_state->mouseLUp(cx, y);
            break;
        case MouseAction::RUp:
            m_state->mouseRUp(cx, y);
            break;
        case MouseAction::MUp:
            m_state->mouseMUp(cx, y);
            break;
        case MouseAction::LDouble:
            m_state->mouseLDouble(cx, y);
            break;
        case MouseAction::RDouble:
            m_state->mouseRDouble(cx, y);
            break;
        case MouseAction::MDouble:
            m_state->mouseMDouble(cx, y);
            break;
        case MouseAction::Move:
            m_state->mouseMove(cx, y);
            break;
    }
    m_editHistory->afterMouse(action);
}

void TCore::forwardWheel(int delta) {
    if (m_state) m_state->mouseWheel(delta);
}

void TCore::drawView() {
    m_ogl->paintFrame(m_bStereo, [this](bool rightHalf) {
        m_bDrawingRightHalf = rightHalf;
        if (m_state) m_state->drawScene();
        m_bDrawingRightHalf = false;
    });
}

double TCore::surfaceAlpha() const {
    const int position = m_dlgStdInteraction ? m_dlgStdInteraction->transparencySlider() : 800;
    return position / 1000.0;
}

void TCore::redrawView() {
    if (!m_camera->viewWindow()) return;
    if (!simulationRuns()) m_camera->viewWindow()->redrawNow();
}
