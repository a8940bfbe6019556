// UndoHistory: steps as differences between commits, their application, limits and the saved mark.
#include "model/UndoHistory.h"

#include <cstring>

#include "model/ProjectFile.h"
#include "model/ShellHooks.h"
#include "model/TLSMModel.h"

namespace {

// Reals are compared by their bits: a restored value must be the very value, and a NaN must not
// make every state look changed.
bool sameReal(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool sameVec(const vec3& a, const vec3& b) { return sameReal(a.x, b.x) && sameReal(a.y, b.y) && sameReal(a.z, b.z); }

bool sameSample(const TTetSample& a, const TTetSample& b) {
    for (int k = 0; k < 4; ++k)
        if (a.m_tetVertex[k] != b.m_tetVertex[k] || !sameReal(a.m_weight[k], b.m_weight[k])) return false;
    return true;
}

template <class T, class Eq>
bool sameList(const std::vector<T>& a, const std::vector<T>& b, Eq eq) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (!eq(a[i], b[i])) return false;
    return true;
}

bool sameConstraints(const std::vector<TConstraint>& a, const std::vector<TConstraint>& b) {
    return sameList(a, b, [](const TConstraint& x, const TConstraint& y) {
        return sameSample(x, y) && sameReal(x.m_target, y.m_target);
    });
}

bool sameChart(const TChartPoints& a, const TChartPoints& b) {
    return sameList(a, b, [](const std::pair<double, double>& x, const std::pair<double, double>& y) {
        return sameReal(x.first, y.first) && sameReal(x.second, y.second);
    });
}

bool sameReals(const std::vector<double>& a, const std::vector<double>& b) { return sameList(a, b, sameReal); }

bool sameFrames(const std::vector<TVertexFrame>& a, const std::vector<TVertexFrame>& b) {
    return sameList(a, b, [](const TVertexFrame& x, const TVertexFrame& y) {
        return sameVec(x.m_primaryDir, y.m_primaryDir) && sameVec(x.m_depthDir, y.m_depthDir) &&
               sameVec(x.m_thirdDir, y.m_thirdDir);
    });
}

bool sameEntry(const ProjectEntry& a, const ProjectEntry& b) {
    if (a.key != b.key) return false;
    return sameConstraints(a.constraints, b.constraints) &&
           sameList(
               a.strokes, b.strokes,
               [](const TOrientationStroke& x, const TOrientationStroke& y) { return sameList(x, y, sameSample); }) &&
           sameChart(a.chartVent, b.chartVent) && sameChart(a.chartAtri, b.chartAtri) && a.intValue == b.intValue &&
           sameReal(a.realValue, b.realValue) && sameReal(a.realValue2, b.realValue2) && sameList(a.positions, b.positions, sameVec) && a.labels == b.labels &&
           a.polygonIDs == b.polygonIDs && a.walls == b.walls;
}

size_t entryBytes(const ProjectEntry& e) {
    size_t bytes = sizeof(ProjectEntry) + e.constraints.size() * sizeof(TConstraint) +
                   (e.chartVent.size() + e.chartAtri.size()) * sizeof(std::pair<double, double>) +
                   e.positions.size() * sizeof(vec3) + (e.labels.size() + e.polygonIDs.size()) * sizeof(int16_t);
    for (const TOrientationStroke& s : e.strokes) bytes += sizeof(s) + s.size() * sizeof(TTetSample);
    for (const auto& w : e.walls) bytes += w.size() * sizeof(TWallTriangle);
    return bytes;
}

size_t partsBytes(const AuthoredParts& p) {
    size_t bytes = (p.phaseValues.size() + p.amplitudeValues.size() + p.depthValues.size()) * sizeof(double) +
                   p.frames.size() * sizeof(TVertexFrame);
    for (const ProjectEntry& e : p.entries) bytes += entryBytes(e);
    return bytes;
}

/// Puts the parts into a captured state (the commit base follows every undo and redo).
void applyToState(AuthoredState& state, const AuthoredParts& parts) {
    for (const ProjectEntry& e : parts.entries)
        for (ProjectEntry& mine : state.record.entries)
            if (mine.key == e.key) mine = e;
    if (parts.hasPhase) state.phaseValues = parts.phaseValues;
    if (parts.hasAmplitude) state.amplitudeValues = parts.amplitudeValues;
    if (parts.hasDepth) state.depthValues = parts.depthValues;
    if (parts.hasFrames) state.frames = parts.frames;
}

}  // namespace

AuthoredState captureAuthoredState(const TLSMModel& model) {
    AuthoredState state;
    if (!model.m_excitation) return state;
    state.record = projectRecordOf(model);
    state.phaseValues = model.m_phaseField.m_value;
    state.amplitudeValues = model.m_ampliField.m_value;
    state.depthValues = model.m_orienField.m_depthField.m_value;
    state.frames = model.m_orienField.m_frames;
    return state;
}

bool makeUndoStep(const AuthoredState& from, const AuthoredState& to, const std::string& name, UndoStep& step) {
    UndoStep made;
    made.name = name;
    const auto& a = from.record.entries;
    const auto& b = to.record.entries;
    if (a.size() != b.size()) return false;  // states of different models are never compared
    for (size_t i = 0; i < a.size(); ++i)
        if (!sameEntry(a[i], b[i])) {
            made.before.entries.push_back(a[i]);
            made.after.entries.push_back(b[i]);
        }
    if (!sameReals(from.phaseValues, to.phaseValues)) {
        made.before.hasPhase = made.after.hasPhase = true;
        made.before.phaseValues = from.phaseValues;
        made.after.phaseValues = to.phaseValues;
    }
    if (!sameReals(from.amplitudeValues, to.amplitudeValues)) {
        made.before.hasAmplitude = made.after.hasAmplitude = true;
        made.before.amplitudeValues = from.amplitudeValues;
        made.after.amplitudeValues = to.amplitudeValues;
    }
    if (!sameReals(from.depthValues, to.depthValues)) {
        made.before.hasDepth = made.after.hasDepth = true;
        made.before.depthValues = from.depthValues;
        made.after.depthValues = to.depthValues;
    }
    if (!sameFrames(from.frames, to.frames)) {
        made.before.hasFrames = made.after.hasFrames = true;
        made.before.frames = from.frames;
        made.after.frames = to.frames;
    }
    if (made.before.entries.empty() && !made.before.hasPhase && !made.before.hasAmplitude && !made.before.hasDepth &&
        !made.before.hasFrames)
        return false;
    made.bytes = sizeof(UndoStep) + made.name.size() + partsBytes(made.before) + partsBytes(made.after);
    step = std::move(made);
    return true;
}

std::string describeStep(const UndoStep& step) {
    bool settings = false;
    for (const ProjectEntry& e : step.after.entries) {
        switch (e.key) {
            case ProjectKey::PhaseField:
                return "Phase constraints";
            case ProjectKey::AmpliField:
                return "Amplitude constraints";
            case ProjectKey::OrienField:
                return "Orientation field";
            case ProjectKey::GlobalExcitation:
                return "Contraction charts";
            case ProjectKey::VtxOrigPos:
                return "Move model";
            case ProjectKey::VtxIsVentriOrAtrium:
                return "Label regions";
            case ProjectKey::VentAtriWalls:
                return "Chamber walls";
            default:
                settings = true;
        }
    }
    if (settings) return "Global settings";
    if (step.after.hasAmplitude) return "Amplitude paint";
    return "Fibre orientation";
}

void applyAuthoredParts(TLSMModel& model, const AuthoredParts& parts) {
    if (!model.m_excitation) return;
    TGlobalExcitation& ex = *model.m_excitation;
    bool restShape = false, chamberIds = false, excitation = false, settings = false;
    // The values are put back exactly as captured: they came from the model, so the limits a file
    // is held to are not applied again.
    for (const ProjectEntry& e : parts.entries) {
        if (e.key == ProjectKey::VentAtriWalls && e.polygonIDs != model.m_polygonIDs) chamberIds = true;
        switch (assignProjectEntry(model, e)) {
            case ProjectEntryKind::Excitation:
                excitation = true;
                break;
            case ProjectEntryKind::Settings:
                settings = true;
                break;
            case ProjectEntryKind::RestShape:
                restShape = true;
                break;
            default:
                break;
        }
    }
    if (parts.hasPhase) model.m_phaseField.m_value = parts.phaseValues;
    if (parts.hasAmplitude) model.m_ampliField.m_value = parts.amplitudeValues;
    if (parts.hasDepth) model.m_orienField.m_depthField.m_value = parts.depthValues;
    if (parts.hasFrames) model.m_orienField.m_frames = parts.frames;
    // The fibre lines are traced through the rest shape along the frames. The lines on display
    // were traced for whatever shape and frames were current when they were last built (a field
    // update after a move, the frames of a restored autosave), so a step that puts either back
    // traces them again, as the field update and the autosave restore do.
    if (restShape || parts.hasFrames) {
        model.m_orienField.buildAllFibreLines(model.m_tets, model.m_vtxOrigPos, model.m_vtxIsVentriOrAtrium);
        model.m_simulator.initSimulator(model.m_vtxOrigPos, model.m_tets, model.m_smNeighbors,
                                        model.m_orienField.m_frames);
    }
    if (chamberIds) {
        // The ids belong to the full surface: a cut or peeled view is restored, as painting does.
        model.rebuildSurface();
        model.buildDrawOrder();
    } else if (restShape) {
        model.updateSurfacePositions();
    }
    if (excitation) buildTables(ex);
    if (excitation || settings) shellHooks().refreshDialogs();
}

void UndoHistory::reset(const TLSMModel* model) {
    m_steps.clear();
    m_position = 0;
    m_bytes = 0;
    m_base = model ? captureAuthoredState(*model) : AuthoredState();
    m_savedText = model ? projectTextOf(*model) : std::string();
    changed();
}

bool UndoHistory::commit(const TLSMModel& model, const std::string& name) {
    AuthoredState now = captureAuthoredState(model);
    UndoStep step;
    if (!makeUndoStep(m_base, now, name, step)) {
        // A model of another size than the base (a load this history was not told of) starts
        // the history afresh rather than mixing states.
        if (m_base.record.entries.size() != now.record.entries.size()) {
            m_steps.clear();
            m_position = m_bytes = 0;
            m_base = std::move(now);
            changed();
        }
        return false;
    }
    if (step.name.empty()) step.name = describeStep(step);
    while (m_steps.size() > m_position) {
        m_bytes -= m_steps.back().bytes;
        m_steps.pop_back();
    }
    m_bytes += step.bytes;
    m_steps.push_back(std::move(step));
    ++m_position;
    m_base = std::move(now);
    trim();
    changed();
    return true;
}

bool UndoHistory::undo(TLSMModel& model) {
    commit(model, std::string());
    if (!canUndo()) return false;
    const UndoStep& step = m_steps[m_position - 1];
    applyAuthoredParts(model, step.before);
    applyToState(m_base, step.before);
    --m_position;
    changed();
    return true;
}

bool UndoHistory::redo(TLSMModel& model) {
    // A change since the last commit is a new step, which ends the redo branch.
    commit(model, std::string());
    if (!canRedo()) return false;
    const UndoStep& step = m_steps[m_position];
    applyAuthoredParts(model, step.after);
    applyToState(m_base, step.after);
    ++m_position;
    changed();
    return true;
}

void UndoHistory::setLimits(size_t maxSteps, size_t budgetBytes) {
    m_maxSteps = maxSteps;
    m_budgetBytes = budgetBytes;
    trim();
    changed();
}

void UndoHistory::trim() {
    // Only undoable steps are dropped from the front; redo steps exist only right after an undo,
    // when the history cannot have grown.
    while (!m_steps.empty() && m_position > 0 && (m_steps.size() > m_maxSteps || m_bytes > m_budgetBytes)) {
        m_bytes -= m_steps.front().bytes;
        m_steps.pop_front();
        --m_position;
    }
}

void UndoHistory::markSaved(const TLSMModel& model) {
    m_savedText = projectTextOf(model);
    changed();
}

bool UndoHistory::differsFromFile(const TLSMModel& model) const {
    if (!model.m_excitation) return false;
    return projectTextOf(model) != m_savedText;
}

std::string projectTextOf(const TLSMModel& model) {
    if (!model.m_excitation) return std::string();
    std::string text, error;
    if (!formatProjectText(projectRecordOf(model), text, error)) return std::string();
    return text;
}
