// UndoHistory: the undo and redo steps of the authored state (what the project file holds, and
// the field values and fibre frames computed from it), each step holding only the parts it changed.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "fields/TTensorField.h"
#include "io/ProjectRecord.h"

class TLSMModel;

/// The authored state of a model at one moment: the project file's records, and the values that
/// gestures compute from them without writing them to the file (the phase, amplitude and depth
/// values, which amplitude painting also sets directly, and the fibre frames, which a move of the
/// model turns).
struct AuthoredState {
    ProjectRecord record;
    std::vector<double> phaseValues, amplitudeValues, depthValues;
    std::vector<TVertexFrame> frames;
};

/// A copy of the model's authored state (empty without an excitation, i.e. without a model).
AuthoredState captureAuthoredState(const TLSMModel& model);

/// The changed parts of one side (before or after) of a step.
struct AuthoredParts {
    std::vector<ProjectEntry> entries;  ///< the changed records only, in file order
    bool hasPhase = false, hasAmplitude = false, hasDepth = false, hasFrames = false;
    std::vector<double> phaseValues, amplitudeValues, depthValues;
    std::vector<TVertexFrame> frames;
};

/// One undoable step: a short name and what it changed, before and after.
struct UndoStep {
    std::string name;
    AuthoredParts before, after;
    size_t bytes = 0;  ///< memory the step holds (its vectors' contents)
};

/// The step from one state to another; false (step untouched) when nothing differs.
bool makeUndoStep(const AuthoredState& from, const AuthoredState& to, const std::string& name, UndoStep& step);

/// A name for a step made elsewhere than in a named gesture, from the parts it changed ("Phase
/// constraints", "Chamber walls", "Global settings", ...).
std::string describeStep(const UndoStep& step);

/// Puts one side of a step into the model and recomputes what depends on it, as the original
/// gesture did: the fibre frames and field values are restored as they were, the fibre lines are
/// traced again and the simulator is set up again when the rest shape or the frames changed, the
/// surface follows the rest positions or the chamber ids, the contraction tables and the dialogs
/// follow the charts and settings.
void applyAuthoredParts(TLSMModel& model, const AuthoredParts& parts);

/// The undo history of the one loaded model. Steps are made at commit points (the end of a
/// gesture or command) from the difference to the state of the previous commit, so a change made
/// anywhere is never missed; it is named by the caller or, without a name, by describeStep. At
/// most maxSteps steps and budgetBytes of step memory are kept, the oldest dropped first; a new
/// step drops the redo steps. It also knows the text of the project file as last loaded or saved,
/// to tell whether the project differs from its file. User-interface thread only.
class UndoHistory {
   public:
    static constexpr size_t kDefaultMaxSteps = 100;
    static constexpr size_t kDefaultBudgetBytes = size_t(256) << 20;

    /// Forgets every step; the state of model (none: nullptr) becomes the commit base and the
    /// file's text.
    void reset(const TLSMModel* model);
    /// Ends a gesture or command: a step named name (empty: describeStep) when the model differs
    /// from the last commit. True when a step was added.
    bool commit(const TLSMModel& model, const std::string& name);
    /// Commits pending changes, then undoes / redoes one step in the model. False when there was
    /// nothing to undo / redo.
    bool undo(TLSMModel& model);
    bool redo(TLSMModel& model);

    bool canUndo() const { return m_position > 0; }
    bool canRedo() const { return m_position < m_steps.size(); }
    /// Name of the step undo / redo would apply ("" when none).
    std::string undoName() const { return canUndo() ? m_steps[m_position - 1].name : std::string(); }
    std::string redoName() const { return canRedo() ? m_steps[m_position].name : std::string(); }
    size_t undoCount() const { return m_position; }
    size_t redoCount() const { return m_steps.size() - m_position; }
    size_t bytesHeld() const { return m_bytes; }

    void setLimits(size_t maxSteps, size_t budgetBytes);

    /// The model's project as it now stands was written to (or read from) its file.
    void markSaved(const TLSMModel& model);
    /// Whether the model's project text differs from the one last loaded or saved.
    bool differsFromFile(const TLSMModel& model) const;

    /// Called after every change of the steps or the saved text (menus, the title mark).
    std::function<void()> onChange;

   private:
    void trim();
    void changed() {
        if (onChange) onChange();
    }

    std::deque<UndoStep> m_steps;
    size_t m_position = 0;  ///< steps before this index are undoable, the rest redoable
    size_t m_bytes = 0;
    size_t m_maxSteps = kDefaultMaxSteps;
    size_t m_budgetBytes = kDefaultBudgetBytes;
    AuthoredState m_base;
    std::string m_savedText;
};

/// The project text of the model as saveProject would write it ("" when it cannot be formatted).
std::string projectTextOf(const TLSMModel& model);
