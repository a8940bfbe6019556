// Project, fibre-stroke and chart files on the heart model.
#include "model/ProjectFile.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "io/ChartFile.h"
#include "io/StrokeFile.h"
#include "linalg/Diagnostics.h"
#include "model/RuleBasedFibreModel.h"
#include "model/ShellHooks.h"
#include "model/TLSMModel.h"

namespace {

ProjectEntry entryOf(ProjectKey key) {
    ProjectEntry e;
    e.key = key;
    return e;
}

ProjectEntry realEntry(ProjectKey key, double value) {
    ProjectEntry e = entryOf(key);
    e.realValue = value;
    return e;
}

ProjectEntry intEntry(ProjectKey key, int value) {
    ProjectEntry e = entryOf(key);
    e.intValue = value;
    return e;
}

/// The "Stiff" control's upper limit.
constexpr int kMaxIterationsPerTick = 30;
// The standard dialog's number fields (hundredths from 1 to 1000) hold the contraction amplitude
// and the wave counts within these limits; values read from a file are held to them too.
constexpr double kDialogLow = 0.01, kDialogHigh = 10.0;

/// value within [kDialogLow, kDialogHigh] (a NaN as kDialogLow), with one console line naming the
/// keyword when it was not.
double heldToDialogRange(const char* keyword, double value) {
    const double held = std::isnan(value) ? kDialogLow : std::clamp(value, kDialogLow, kDialogHigh);
    if (!(held == value))
        diagPrintf("loadProject: %s %g is outside the dialog's %g to %g; %g is used\n", keyword, value, kDialogLow,
                   kDialogHigh, held);
    return held;
}

bool validVertex(int v, int n) { return v >= 0 && v < n; }

/// First sample (of a list of samples) that names a vertex outside the model, or -1.
template <class Sample>
int firstBadSample(const std::vector<Sample>& samples, int n, int& badVertex) {
    for (size_t i = 0; i < samples.size(); ++i)
        for (int v : samples[i].m_tetVertex)
            if (!validVertex(v, n)) {
                badVertex = v;
                return static_cast<int>(i);
            }
    return -1;
}

/// A frame read from a file. One orthonormal to the file's six decimals is taken as it stands, so
/// that saving it again writes the same text; any other is made orthonormal: the fibre
/// normalised, the depth direction made orthogonal to it, the third their cross product. A frame
/// without a usable fibre or depth direction becomes the identity frame.
TVertexFrame orthonormalFrame(const std::array<vec3, 3>& read) {
    constexpr double kReadTolerance = 1e-5;
    TVertexFrame f;
    const vec3 cross = read[0].cross(read[1]);
    if (std::fabs(read[0].norm() - 1.0) < kReadTolerance && std::fabs(read[1].norm() - 1.0) < kReadTolerance &&
        std::fabs(read[0].dot(read[1])) < kReadTolerance && (cross - read[2]).norm() < kReadTolerance)
        return TVertexFrame{read[0], read[1], read[2]};
    vec3 fibre = read[0], depth = read[1];
    const double fibreLength = fibre.norm();
    if (!(fibreLength > 1e-9)) return f;
    fibre /= fibreLength;
    depth -= fibre * fibre.dot(depth);
    const double depthLength = depth.norm();
    if (!(depthLength > 1e-9)) return f;
    depth /= depthLength;
    f.m_primaryDir = fibre;
    f.m_depthDir = depth;
    f.m_thirdDir = fibre.cross(depth);
    return f;
}

std::string vertexOutside(int v, int n) {
    return "refers to vertex " + std::to_string(v) + " of a " + std::to_string(n) + "-vertex mesh";
}

}  // namespace

ProjectRecord projectRecordOf(const TLSMModel& model) {
    ProjectRecord record;
    auto& entries = record.entries;
    const TGlobalExcitation& ex = *model.m_excitation;

    ProjectEntry phase = entryOf(ProjectKey::PhaseField);
    phase.constraints = model.m_phaseField.m_constraints;
    entries.push_back(std::move(phase));
    ProjectEntry amplitude = entryOf(ProjectKey::AmpliField);
    amplitude.constraints = model.m_ampliField.m_constraints;
    entries.push_back(std::move(amplitude));
    ProjectEntry orientation = entryOf(ProjectKey::OrienField);
    orientation.constraints = model.m_orienField.m_depthField.m_constraints;
    orientation.strokes = model.m_orienField.m_strokes;
    entries.push_back(std::move(orientation));
    ProjectEntry charts = entryOf(ProjectKey::GlobalExcitation);
    charts.chartVent = ex.m_chartVent;
    charts.chartAtri = ex.m_chartAtri;
    entries.push_back(std::move(charts));

    entries.push_back(intEntry(ProjectKey::IterationN, model.m_iterationN));
    entries.push_back(realEntry(ProjectKey::GlobalAmplitudeVent, ex.m_amplitude));
    entries.push_back(intEntry(ProjectKey::GlobalPropagationMode, ex.m_propagationMode ? 1 : 0));
    entries.push_back(realEntry(ProjectKey::GlobalNumOfWave, ex.m_numOfWave));
    entries.push_back(intEntry(ProjectKey::GlobalPropagationModeA, ex.m_propagationModeA ? 1 : 0));
    entries.push_back(realEntry(ProjectKey::GlobalNumOfWaveA, ex.m_numOfWaveA));
    entries.push_back(realEntry(ProjectKey::GlobalAmplitudeA, ex.m_amplitude));
    entries.push_back(realEntry(ProjectKey::OtherGravity, 0.0));

    ProjectEntry positions = entryOf(ProjectKey::VtxOrigPos);
    positions.positions = model.m_vtxOrigPos;
    entries.push_back(std::move(positions));
    ProjectEntry labels = entryOf(ProjectKey::VtxIsVentriOrAtrium);
    labels.labels = model.m_vtxIsVentriOrAtrium;
    entries.push_back(std::move(labels));
    ProjectEntry walls = entryOf(ProjectKey::VentAtriWalls);
    walls.polygonIDs = model.m_polygonIDs;
    const std::vector<TTriIndices>* lists[4] = {&model.m_trisVR, &model.m_trisVL, &model.m_trisAR, &model.m_trisAL};
    for (int w = 0; w < 4; ++w) walls.walls[w].assign(lists[w]->begin(), lists[w]->end());
    entries.push_back(std::move(walls));
    // The optional settings are always among the records (so that states compare entry by entry);
    // the writer leaves them out of the file while they are not in force.
    const RuleBasedFibreSetting& rule = model.m_orienField.m_ruleBased;
    ProjectEntry ruleBased = realEntry(ProjectKey::RuleBasedFibres, rule.endoDegrees);
    ruleBased.realValue2 = rule.epiDegrees;
    ruleBased.intValue = rule.inForce ? 1 : 0;
    entries.push_back(std::move(ruleBased));
    entries.push_back(realEntry(ProjectKey::CrossFibreExponent, ex.m_crossFibreExponent));
    entries.push_back(intEntry(ProjectKey::SimulationLattice, model.simulationLatticeTarget()));
    if (!model.m_keptFrames.empty()) {
        ProjectEntry frames = entryOf(ProjectKey::VtxFrames);
        if (keptFramesInForce(model))
            for (const TVertexFrame& f : model.m_keptFrames)
                frames.frames.push_back({f.m_primaryDir, f.m_depthDir, f.m_thirdDir});
        entries.push_back(std::move(frames));
    }

    record.endMarkerFound = true;
    return record;
}

bool checkProjectRecord(const ProjectRecord& record, const TLSMModel& model, std::string& reason) {
    const int n = model.vertexCount();
    for (const ProjectEntry& e : record.entries) {
        const std::string keyword = projectKeyword(e.key);
        int bad = 0, at = -1;
        switch (e.key) {
            case ProjectKey::PhaseField:
            case ProjectKey::AmpliField:
            case ProjectKey::OrienField:
                if ((at = firstBadSample(e.constraints, n, bad)) >= 0) {
                    reason = keyword + ": constraint " + std::to_string(at) + " " + vertexOutside(bad, n);
                    return false;
                }
                for (size_t s = 0; s < e.strokes.size(); ++s)
                    if ((at = firstBadSample(e.strokes[s], n, bad)) >= 0) {
                        reason = keyword + ": sample " + std::to_string(at) + " of stroke " + std::to_string(s) + " " +
                                 vertexOutside(bad, n);
                        return false;
                    }
                break;
            case ProjectKey::VtxOrigPos:
                if (static_cast<int>(e.positions.size()) != n) {
                    reason = keyword + ": " + std::to_string(e.positions.size()) + " positions for a " +
                             std::to_string(n) + "-vertex mesh";
                    return false;
                }
                break;
            case ProjectKey::VtxFrames:
                if (static_cast<int>(e.frames.size()) != n) {
                    reason = keyword + ": " + std::to_string(e.frames.size()) + " frames for a " + std::to_string(n) +
                             "-vertex mesh";
                    return false;
                }
                break;
            case ProjectKey::VtxIsVentriOrAtrium:
                if (static_cast<int>(e.labels.size()) != n) {
                    reason = keyword + ": " + std::to_string(e.labels.size()) + " labels for a " + std::to_string(n) +
                             "-vertex mesh";
                    return false;
                }
                break;
            case ProjectKey::VentAtriWalls: {
                const char* names[4] = {"#VR", "#VL", "#AR", "#AL"};
                for (int w = 0; w < 4; ++w)
                    for (size_t t = 0; t < e.walls[w].size(); ++t)
                        for (int v : e.walls[w][t])
                            if (!validVertex(v, n)) {
                                reason = keyword + " " + names[w] + ": triangle " + std::to_string(t) + " " +
                                         vertexOutside(v, n);
                                return false;
                            }
                break;
            }
            default:
                break;
        }
    }
    return true;
}

ProjectEntryKind assignProjectEntry(TLSMModel& model, const ProjectEntry& e) {
    TGlobalExcitation& ex = *model.m_excitation;
    switch (e.key) {
        case ProjectKey::PhaseField:
            model.m_phaseField.m_constraints = e.constraints;
            return ProjectEntryKind::Fields;
        case ProjectKey::AmpliField:
            model.m_ampliField.m_constraints = e.constraints;
            return ProjectEntryKind::Fields;
        case ProjectKey::OrienField:
            model.m_orienField.m_depthField.m_constraints = e.constraints;
            model.m_orienField.m_strokes = e.strokes;
            return ProjectEntryKind::Fields;
        case ProjectKey::GlobalExcitation:
            ex.m_chartVent = e.chartVent;
            ex.m_chartAtri = e.chartAtri;
            return ProjectEntryKind::Excitation;
        case ProjectKey::IterationN:
            model.m_iterationN = e.intValue;
            return ProjectEntryKind::Settings;
        case ProjectKey::GlobalAmplitudeVent:
            ex.m_amplitude = e.realValue;
            return ProjectEntryKind::Excitation;
        case ProjectKey::GlobalPropagationMode:
            ex.m_propagationMode = e.intValue != 0;
            return ProjectEntryKind::Settings;
        case ProjectKey::GlobalNumOfWave:
            ex.m_numOfWave = e.realValue;
            return ProjectEntryKind::Settings;
        case ProjectKey::GlobalPropagationModeA:
            ex.m_propagationModeA = e.intValue != 0;
            return ProjectEntryKind::Settings;
        case ProjectKey::GlobalNumOfWaveA:
            ex.m_numOfWaveA = e.realValue;
            return ProjectEntryKind::Settings;
        case ProjectKey::GlobalAmplitudeA:
        case ProjectKey::OtherGravity:
            return ProjectEntryKind::Unread;  // written for older readers, not read back
        case ProjectKey::VtxOrigPos:
            model.m_verts = e.positions;
            model.m_vtxOrigPos = e.positions;
            return ProjectEntryKind::RestShape;
        case ProjectKey::VtxIsVentriOrAtrium:
            model.m_vtxIsVentriOrAtrium = e.labels;
            return ProjectEntryKind::Labels;
        case ProjectKey::VentAtriWalls: {
            model.m_polygonIDs = e.polygonIDs;
            std::vector<TTriIndices>* lists[4] = {&model.m_trisVR, &model.m_trisVL, &model.m_trisAR, &model.m_trisAL};
            for (int w = 0; w < 4; ++w) lists[w]->assign(e.walls[w].begin(), e.walls[w].end());
            return ProjectEntryKind::ChamberWalls;
        }
        case ProjectKey::RuleBasedFibres:
            model.m_orienField.m_ruleBased = RuleBasedFibreSetting{e.intValue != 0, e.realValue, e.realValue2};
            return ProjectEntryKind::Fields;
        case ProjectKey::CrossFibreExponent:
            ex.m_crossFibreExponent = e.realValue;
            return ProjectEntryKind::Excitation;
        case ProjectKey::VtxFrames: {
            if (e.frames.empty()) return ProjectEntryKind::Unread;
            std::vector<TVertexFrame> frames(e.frames.size());
            for (size_t i = 0; i < frames.size(); ++i) frames[i] = orthonormalFrame(e.frames[i]);
            model.m_keptFrames = frames;
            model.m_orienField.m_frames = std::move(frames);
            model.m_orienField.m_ruleBased.inForce = false;
            return ProjectEntryKind::Fields;
        }
        case ProjectKey::SimulationLattice:
            // Only the count asked for (an undo step of the window's lattice command brings it
            // back): the lattice itself is built by ensureSimulationLattice, which the window runs
            // with its progress dialog; a load checks the count once every record is in.
            if (e.intValue == 0 || (e.intValue >= kMinLatticeVertices && e.intValue < model.vertexCount()))
                model.setSimulationLatticeTarget(e.intValue);
            return ProjectEntryKind::Settings;
    }
    return ProjectEntryKind::Unread;
}

void applyProjectRecord(TLSMModel& model, const ProjectRecord& record) {
    TGlobalExcitation& ex = *model.m_excitation;
    // The optional settings a file leaves out are at their defaults.
    ex.m_crossFibreExponent = kDefaultCrossFibreExponent;
    bool ruleBasedAsked = false;
    RuleBasedFibreSetting ruleBased;
    int latticeTarget = 0;
    for (const ProjectEntry& e : record.entries) {
        assignProjectEntry(model, e);
        // What a file needs beyond its values: the fibre frames computed from the depth field and
        // the strokes, and the limits a file is held to.
        switch (e.key) {
            case ProjectKey::OrienField: {
                if (model.m_vtxIsVentriOrAtrium.empty())
                    model.m_vtxIsVentriOrAtrium.assign(model.m_vtxOrigPos.size(), 0);
                TTensorField& field = model.m_orienField;
                field.updateField_RBF(field.m_depthField, model.m_vtxOrigPos);
                field.updateOrientation(model.m_tets, model.m_vtxOrigPos, model.m_smNeighbors,
                                        model.m_vtxIsVentriOrAtrium);
                break;
            }
            case ProjectKey::IterationN:
                // Every tick runs this many shape-matching passes; the dialog offers 1 to 30, and a
                // file asking for up to 2^31 would freeze the simulation at its first tick.
                if (e.intValue > kMaxIterationsPerTick) {
                    diagPrintf(
                        "loadProject: #IterationN %d is more than the %d iterations a tick may take; %d is used\n",
                        e.intValue, kMaxIterationsPerTick, kMaxIterationsPerTick);
                    model.m_iterationN = kMaxIterationsPerTick;
                }
                break;
            // Above 1 a full chart value would turn the fibre factor 1 - y * amplitude negative;
            // such a value falls back to a moderate contraction. Below the dialog's 0.01 (a negative
            // amplitude stretches where the chart contracts) it is held at 0.01.
            case ProjectKey::GlobalAmplitudeVent:
                ex.m_amplitude = e.realValue > 1.0 ? 0.3 : heldToDialogRange("#GlobalAmplitudeVent", e.realValue);
                break;
            case ProjectKey::GlobalNumOfWave:
                ex.m_numOfWave = heldToDialogRange("#GlobalNumOfWave", e.realValue);
                break;
            case ProjectKey::GlobalNumOfWaveA:
                ex.m_numOfWaveA = heldToDialogRange("#GlobalNumOfWaveA", e.realValue);
                break;
            case ProjectKey::CrossFibreExponent: {
                const double k = e.realValue;
                ex.m_crossFibreExponent = std::isnan(k) ? kDefaultCrossFibreExponent
                                                        : std::clamp(k, kMinCrossFibreExponent, kMaxCrossFibreExponent);
                if (!(ex.m_crossFibreExponent == k))
                    diagPrintf("loadProject: #CrossFibreExponent %g is outside %g to %g; %g is used\n", k,
                               kMinCrossFibreExponent, kMaxCrossFibreExponent, ex.m_crossFibreExponent);
                break;
            }
            case ProjectKey::SimulationLattice:
                if (e.intValue >= kMinLatticeVertices && e.intValue < model.vertexCount())
                    latticeTarget = e.intValue;
                else
                    diagPrintf(
                        "loadProject: #SimulationLattice %d is not between %d and the model's %d vertices; "
                        "no lattice is used\n",
                        e.intValue, kMinLatticeVertices, model.vertexCount());
                break;
            case ProjectKey::RuleBasedFibres:
                // Computed once every record is in: the rule needs the walls, labels and rest shape.
                ruleBasedAsked = e.intValue != 0;
                ruleBased = model.m_orienField.m_ruleBased;
                model.m_orienField.m_ruleBased.inForce = false;
                break;
            default:
                break;
        }
    }
    if (ruleBasedAsked) {
        std::string error;
        if (!applyRuleBasedFibres(model, ruleBased.endoDegrees, ruleBased.epiDegrees, false, error))
            diagPrintf("loadProject: the rule-based fibres (%g, %g degrees) were not applied: %s\n",
                       ruleBased.endoDegrees, ruleBased.epiDegrees, error.c_str());
    }

    // Only the target: the lattice is built (or taken from its cache) by ensureSimulationLattice.
    model.setSimulationLatticeTarget(latticeTarget);
    diagPrintf("post process 11 loading vm\n");
    model.rebuildSurface();
    if (static_cast<int>(model.m_polygonIDs.size()) != model.m_surface.polyCount())
        diagPrintf(
            "loadProject: %d chamber ids for %d surface triangles; they are kept but not used for the draw order\n",
            static_cast<int>(model.m_polygonIDs.size()), model.m_surface.polyCount());
    diagPrintf("post process 22 loading vm\n");
    model.buildDrawOrder();
    diagPrintf("post process 33 loading vm\n");
    shellHooks().refreshDialogs();
    diagPrintf("post process 44 loading vm\n");
    buildTables(ex);
    diagPrintf("loading vm done!\n\n\n\n");
}

bool keptFramesInForce(const TLSMModel& model) {
    const std::vector<TVertexFrame>& kept = model.m_keptFrames;
    const std::vector<TVertexFrame>& now = model.m_orienField.m_frames;
    if (kept.empty() || kept.size() != now.size()) return false;
    for (size_t i = 0; i < kept.size(); ++i)
        if (kept[i].m_primaryDir != now[i].m_primaryDir || kept[i].m_depthDir != now[i].m_depthDir ||
            kept[i].m_thirdDir != now[i].m_thirdDir)
            return false;
    return true;
}

void settleFramesAfterProject(TLSMModel& model) {
    TTensorField& field = model.m_orienField;
    // Rule-based frames were set, with their fibre lines, once the project's records were in.
    if (field.m_ruleBased.inForce) return;
    if (keptFramesInForce(model))
        field.buildAllFibreLines(model.m_tets, model.m_vtxOrigPos, model.m_vtxIsVentriOrAtrium);
    else
        field.updateOrientation(model.m_tets, model.m_vtxOrigPos, model.m_smNeighbors, model.m_vtxIsVentriOrAtrium);
}

ProjectLoadResult loadProject(TLSMModel& model, const std::string& path) {
    ProjectLoadResult result;
    diagPrintf("\n\n\nloading %s\n", path.c_str());
    if (!model.m_excitation) return result;
    ProjectRecord record;
    std::string error;
    if (!readProjectFile(path, record, error)) {
        // A missing file is the ordinary case of a model without a project; anything else is told.
        if (access(path.c_str(), F_OK) == 0) diagPrintf("loadProject: %s\n", error.c_str());
        return result;
    }
    if (!record.endMarkerFound) diagPrintf("loadProject: %s: %s\n", path.c_str(), record.damage.c_str());

    std::string reason;
    if (!checkProjectRecord(record, model, reason)) {
        result.status = ProjectLoadResult::Status::Refused;
        result.message = reason;
        diagPrintf("loadProject: %s is refused, the model keeps its defaults\n", path.c_str());
        shellHooks().showMessage("error vm file is not muched to the tetra mesh\n" + reason + "\n");
        return result;
    }
    diagPrintf("\nLoading is succeeded %s\n", record.lastToken.c_str());
    applyProjectRecord(model, record);
    if (record.endMarkerFound) {
        result.status = ProjectLoadResult::Status::Loaded;
    } else {
        result.status = ProjectLoadResult::Status::Damaged;
        result.message = record.damage;
        shellHooks().showMessage("the project file " + path +
                                 " is damaged; only what stands before the damage was loaded:\n" + record.damage +
                                 "\n");
    }
    return result;
}

bool saveProjectTo(const TLSMModel& model, const std::string& path, std::string& error) {
    if (!model.m_excitation) {
        error = "no model is loaded";
        return false;
    }
    return writeProjectFile(path, projectRecordOf(model), error);
}

std::string incompleteProjectNotice(const TLSMModel& model) {
    const ProjectLoadResult::Status status = model.m_projectLoad.status;
    if (status != ProjectLoadResult::Status::Refused && status != ProjectLoadResult::Status::Damaged) return "";
    const std::string path = model.m_filePath + ".vm";
    const size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string reason = model.m_projectLoad.message;
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
    return name + " was not read completely (" + (reason.empty() ? "it is damaged" : reason) + ")";
}

bool projectOverwriteNeedsConsent(const TLSMModel& model, std::string& question) {
    const std::string notice = incompleteProjectNotice(model);
    if (notice.empty()) return false;
    question = notice + "; overwrite it?";
    return true;
}

void projectFileWritten(TLSMModel& model) {
    model.m_projectLoad = ProjectLoadResult{ProjectLoadResult::Status::Loaded, ""};
}

bool saveProject(const TLSMModel& model) {
    if (!model.m_excitation) return false;
    const std::string path = model.m_filePath + ".vm";
    shellHooks().showMessage("the system save current Control Fields and Deformation Charts in" + path);
    std::string error;
    if (saveProjectTo(model, path, error)) return true;
    diagPrintf("saveProject: %s\n", error.c_str());
    shellHooks().showMessage("The project file was not saved; the previous file is unchanged.\n" + error);
    return false;
}

bool writeStrokeFile(const TLSMModel& model, const std::string& path) {
    if (!model.m_excitation) return false;
    const int n = model.vertexCount();
    std::vector<std::vector<vec3>> strokes;
    strokes.reserve(model.m_orienField.m_strokes.size());
    std::string error;
    for (const TOrientationStroke& stroke : model.m_orienField.m_strokes) {
        int bad = 0;
        if (firstBadSample(stroke, n, bad) >= 0) {
            error = "a stroke " + vertexOutside(bad, n);
            break;
        }
        std::vector<vec3>& points = strokes.emplace_back();
        for (const TTetSample& s : stroke) points.push_back(s.position(model.m_vtxOrigPos));
    }
    if (error.empty() && writeStrokeFile(path, strokes, error)) return true;
    diagPrintf("writeStrokeFile: %s\n", error.c_str());
    shellHooks().showMessage("The fibre strokes were not saved.\n" + error);
    return false;
}

bool readStrokeFile(TLSMModel& model, const std::string& path) {
    if (!model.m_excitation || model.m_tets.empty()) return false;
    std::vector<std::vector<vec3>> points;
    std::string error;
    if (!readStrokeFile(path, points, error)) {
        diagPrintf("readStrokeFile: %s\n", error.c_str());
        return false;
    }
    std::vector<TOrientationStroke> strokes(points.size());
    for (size_t k = 0; k < points.size(); ++k)
        for (const vec3& p : points[k]) {
            TTetSample sample;  // zero weights stay when the nearest tetrahedron is degenerate
            findNearestTetSample(model.m_tets, model.m_vtxOrigPos, p, sample);
            strokes[k].push_back(sample);
        }
    model.m_orienField.m_strokes = std::move(strokes);
    return true;
}

bool loadChartFile(TLSMModel& model, const std::string& path) {
    if (!model.m_excitation) return false;
    TChart chart = model.m_excitation->m_chartVent;
    std::string error;
    if (!loadChartFile(path, chart, error)) {
        diagPrintf("loadChartFile: %s\n", error.c_str());
        return false;
    }
    model.m_excitation->m_chartVent = std::move(chart);
    buildTables(*model.m_excitation);
    shellHooks().refreshDialogs();
    return true;
}
