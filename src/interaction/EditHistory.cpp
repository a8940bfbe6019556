// EditHistory: naming and committing the gestures of both modes, undo and redo.
#include "interaction/EditHistory.h"

#include "interaction/ModeScenes.h"
#include "interaction/TCore.h"
#include "interaction/TStatePaintCtrlField.h"
#include "interaction/TStateStdInteraction.h"
#include "model/MainWindowManager.h"

namespace {

struct GestureState {
    int buttons = 0;  ///< bit 0 left, 1 right, 2 middle
    std::string name;
    std::function<void()> listener;
};

GestureState& gestureState() {
    static GestureState state;
    return state;
}

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

/// The name of the gesture the current mode has under way ("" for one that authors nothing, such
/// as a cut or a camera drag: should it change something all the same, the step is named by what
/// changed).
std::string currentGestureName(bool doubleClick) {
    TCore& core = TCore::getInst();
    if (core.m_mode == 1) {
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
    if (core.m_mode == 2) {
        const TStateStdInteraction& standard = TStateStdInteraction::getInstance();
        if (standard.m_chartDrag == kChartDragVent) return "Ventricle chart";
        if (standard.m_chartDrag == kChartDragAtri) return "Atrium chart";
        if (standard.m_gInfarct) return "Amplitude paint";
    }
    return std::string();
}

void notifyGesture() {
    if (gestureState().listener) gestureState().listener();
}

}  // namespace

void editHistoryBeforeMouse(MouseAction action) {
    GestureState& state = gestureState();
    // A press of a button held already means its release never reached the view (a window took
    // the mouse): that gesture has ended.
    if (isPress(action) && (state.buttons & buttonBit(action))) state.buttons = 0;
    if (isPress(action) && state.buttons == 0) {
        commitEdit(std::string());
        state.name.clear();
    }
}

void editHistoryAfterMouse(MouseAction action) {
    GestureState& state = gestureState();
    const int bit = buttonBit(action);
    if (isPress(action)) {
        const bool starts = state.buttons == 0;
        state.buttons |= bit;
        const bool doubleClick =
            action == MouseAction::LDouble || action == MouseAction::RDouble || action == MouseAction::MDouble;
        if (state.name.empty()) state.name = currentGestureName(doubleClick);
        if (starts) notifyGesture();
    } else if (isRelease(action)) {
        state.buttons &= ~bit;
        if (state.buttons == 0) {
            commitEdit(state.name);
            state.name.clear();
            notifyGesture();
        }
    }
}

bool isEditGestureUnderway() { return gestureState().buttons != 0; }

void resetEditGesture() {
    gestureState().buttons = 0;
    gestureState().name.clear();
}

bool commitEdit(const std::string& name) {
    // Events that arrive before the controller exists (or after it went) change no model.
    if (!MainWindowManager::exists()) return false;
    MainWindowManager& manager = MainWindowManager::getInstance();
    if (!manager.model()) return false;
    return manager.m_history.commit(*manager.model(), name);
}

namespace {
bool applyHistory(bool undo) {
    if (isEditGestureUnderway() || !MainWindowManager::exists()) return false;
    MainWindowManager& manager = MainWindowManager::getInstance();
    TLSMModel* model = manager.model();
    if (!model) return false;
    const bool done = undo ? manager.m_history.undo(*model) : manager.m_history.redo(*model);
    if (done && TCore::exists()) TCore::getInst().redrawView();
    return done;
}
}  // namespace

bool undoEdit() { return applyHistory(true); }
bool redoEdit() { return applyHistory(false); }

void setEditGestureListener(std::function<void()> listener) { gestureState().listener = std::move(listener); }
