// EditHistory: naming and committing the gestures of both modes, undo and redo.
#include "interaction/EditHistory.h"

#include "interaction/ModeScenes.h"
#include "interaction/TCore.h"
#include "interaction/TStatePaintCtrlField.h"
#include "interaction/TStateStdInteraction.h"
#include "model/MainWindowManager.h"

namespace {

int buttonBit(MouseAction action) {
    switch (action) {
        case MouseAction::LDown:
        case MouseAction::LUp:
        case MouseAction::LDouble:
            return 1;
        case MouseAction::RDown:
        case MouseAction::RUp:
        case MouseAction::RDouble:
            return 2;
        case MouseAction::MDown:
        case MouseAction::MUp:
        case MouseAction::MDouble:
            return 4;
        default:
            return 0;
    }
}

bool isPress(MouseAction a) {
    return a == MouseAction::LDown || a == MouseAction::RDown || a == MouseAction::MDown || a == MouseAction::LDouble ||
           a == MouseAction::RDouble || a == MouseAction::MDouble;
}

bool isRelease(MouseAction a) { return a == MouseAction::LUp || a == MouseAction::RUp || a == MouseAction::MUp; }

const char* fieldName(PaintTool tool) {
    switch (paintToolGroup(tool)) {
        case PaintToolGroup::Depth:
            return "Depth";
        case PaintToolGroup::Phase:
            return "Phase";
        case PaintToolGroup::Amplitude:
            return "Amplitude";
        default:
            return "";
    }
}

std::string labelName(PaintTool tool) {
    switch (tool) {
        case PaintTool::SEG_VENT:
            return "Label ventricles";
        case PaintTool::SEG_ATRI:
            return "Label atria";
        case PaintTool::CH_VR:
            return "Right ventricle wall";
        case PaintTool::CH_VL:
            return "Left ventricle wall";
        case PaintTool::CH_AR:
            return "Right atrium wall";
        case PaintTool::CH_AL:
            return "Left atrium wall";
        case PaintTool::CH_NEITHER:
            return "Erase chamber";
        default:
            return "Label neither";
    }
}

}  // namespace

// A gesture that authors nothing, such as a cut or a camera drag, has no name: should it change
// something all the same, the step is named by what changed.
std::string EditHistory::currentGestureName(bool doubleClick) const {
    if (m_core.m_mode == 1) {
        const TStatePaintCtrlField& paint = TStatePaintCtrlField::getInstance();
        const PaintTool tool = paint.m_tool;
        if (doubleClick) {
            if (tool == PaintTool::ORIENT) return "Delete orientation stroke";
            const std::string field = fieldName(tool);
            return field.empty() ? std::string() : field + " region constraints";
        }
        if (paint.m_gTransform)
            return tool == PaintTool::ROT ? "Rotate model" : tool == PaintTool::SCALE ? "Scale model" : "Move model";
        if (paint.m_gPointConstr || paint.m_gVertexConstr) return std::string(fieldName(tool)) + " constraints";
        if (paint.m_gOrientStroke) return "Orientation stroke";
        if (paint.m_gRegionBrush || paint.m_gRegionRect || paint.m_gChamberPaint) return labelName(tool);
        return std::string();
    }
    if (m_core.m_mode == 2) {
        const TStateStdInteraction& standard = TStateStdInteraction::getInstance();
        if (standard.m_chartDrag == kChartDragVent) return "Ventricle chart";
        if (standard.m_chartDrag == kChartDragAtri) return "Atrium chart";
        if (standard.m_gInfarct) return "Amplitude paint";
    }
    return std::string();
}

void EditHistory::notifyGesture() {
    if (m_listener) m_listener();
}

void EditHistory::beforeMouse(MouseAction action) {
    // A press of a button held already means its release never reached the view (a window took
    // the mouse): that gesture has ended.
    if (isPress(action) && (m_buttons & buttonBit(action))) m_buttons = 0;
    if (isPress(action) && m_buttons == 0) {
        commit(std::string());
        m_name.clear();
    }
}

void EditHistory::afterMouse(MouseAction action) {
    const int bit = buttonBit(action);
    if (isPress(action)) {
        const bool starts = m_buttons == 0;
        m_buttons |= bit;
        const bool doubleClick =
            action == MouseAction::LDouble || action == MouseAction::RDouble || action == MouseAction::MDouble;
        if (m_name.empty()) m_name = currentGestureName(doubleClick);
        if (starts) notifyGesture();
    } else if (isRelease(action)) {
        m_buttons &= ~bit;
        if (m_buttons == 0) {
            commit(m_name);
            m_name.clear();
            notifyGesture();
        }
    }
}

void EditHistory::resetGesture() {
    m_buttons = 0;
    m_name.clear();
}

bool EditHistory::commit(const std::string& name) {
    // Events that arrive before the controller is known (or after it went) change no model.
    MainWindowManager* manager = m_core.controller();
    if (!manager || !manager->model()) return false;
    return manager->m_history.commit(*manager->model(), name);
}

bool EditHistory::applyHistory(bool undo) {
    MainWindowManager* manager = m_core.controller();
    if (isGestureUnderway() || !manager) return false;
    TLSMModel* model = manager->model();
    if (!model) return false;
    const bool done = undo ? manager->m_history.undo(*model) : manager->m_history.redo(*model);
    if (done) m_core.redrawView();
    return done;
}

bool EditHistory::undo() { return applyHistory(true); }
bool EditHistory::redo() { return applyHistory(false); }
