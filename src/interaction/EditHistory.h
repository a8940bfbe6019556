// EditHistory: the view's mouse gestures and the tool dialogs' commands as undo steps of the loaded
// model, and the undo and redo commands themselves.
#pragma once

#include <functional>
#include <string>

enum class MouseAction;

/// Before a mouse event reaches the mode: a press that starts a gesture first commits the changes
/// made since the last step (a dialog's settings), so that they stay a step of their own.
void editHistoryBeforeMouse(MouseAction action);
/// After the mode has handled the event: the press names the gesture it started, and the release
/// of the last button commits it as one step under that name.
void editHistoryAfterMouse(MouseAction action);
/// Whether a mouse button is held in the view: undo and redo wait until the gesture ends.
bool isEditGestureUnderway();

/// Commits the loaded model's changes since the last step as one step named name (empty: named by
/// what changed). Nothing without a model. True when a step was added.
bool commitEdit(const std::string& name);

/// Undoes / redoes one step of the loaded model and redraws the view; the dialogs are refreshed
/// by the model's hooks. False (nothing done) during a gesture, without a model, or with nothing
/// to undo / redo.
bool undoEdit();
bool redoEdit();

/// Forgets a gesture whose release never came (a new window starts with no button held).
void resetEditGesture();

/// Called when a gesture starts or ends (the shell enables its Edit entries from it); nullptr
/// removes it.
void setEditGestureListener(std::function<void()> listener);
