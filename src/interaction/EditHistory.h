// EditHistory: the view's mouse gestures and the tool dialogs' commands as undo steps of the loaded
// model, and the undo and redo commands themselves.
#pragma once

#include <functional>
#include <string>

enum class MouseAction;
class TCore;

/// Names and commits the gestures of both modes as steps of the controller's undo history. Owned by
/// the core object, which reports every mouse event before and after the mode handles it; the model
/// is the one of the core object's controller (none: nothing is recorded). User-interface thread only.
class EditHistory {
   public:
    explicit EditHistory(TCore& core) : m_core(core) {}
    EditHistory(const EditHistory&) = delete;
    EditHistory& operator=(const EditHistory&) = delete;

    /// Before a mouse event reaches the mode: a press that starts a gesture first commits the changes
    /// made since the last step (a dialog's settings), so that they stay a step of their own.
    void beforeMouse(MouseAction action);
    /// After the mode has handled the event: the press names the gesture it started, and the release
    /// of the last button commits it as one step under that name.
    void afterMouse(MouseAction action);
    /// Whether a mouse button is held in the view: undo and redo wait until the gesture ends.
    bool isGestureUnderway() const { return m_buttons != 0; }

    /// Commits the loaded model's changes since the last step as one step named name (empty: named by
    /// what changed). Nothing without a model. True when a step was added.
    bool commit(const std::string& name);

    /// Undoes / redoes one step of the loaded model and redraws the view; the dialogs are refreshed
    /// by the model's hooks. False (nothing done) during a gesture, without a model, or with nothing
    /// to undo / redo.
    bool undo();
    bool redo();

    /// Forgets a gesture whose release never came (a new window starts with no button held).
    void resetGesture();

    /// Called when a gesture starts or ends (the shell enables its Edit entries from it); nullptr
    /// removes it.
    void setGestureListener(std::function<void()> listener) { m_listener = std::move(listener); }

   private:
    /// The name of the gesture the current mode has under way ("" for one that authors nothing).
    std::string currentGestureName(bool doubleClick) const;
    bool applyHistory(bool undo);
    void notifyGesture();

    TCore& m_core;
    int m_buttons = 0;  ///< bit 0 left, 1 right, 2 middle
    std::string m_name;
    std::function<void()> m_listener;
};
