// Commands: the user's commands on the controller, the core object and the loaded model.
#include "interaction/Commands.h"

#include "fields/FibrePresets.h"
#include "fields/TSmoothField.h"
#include "fields/TTensorField.h"
#include "interaction/BusyIndicator.h"
#include "interaction/ExportCommands.h"
#include "interaction/ModeScenes.h"
#include "interaction/TCore.h"
#include "linalg/Diagnostics.h"
#include "model/CarpExport.h"
#include "model/ChamberWalls.h"
#include "model/FieldExport.h"
#include "model/MainWindowManager.h"
#include "model/ModelGeometry.h"
#include "model/ProjectFile.h"
#include "model/RuleBasedFibreModel.h"

const char* const kInitFieldQuestion = "このfieldを初期化しますか";
const char* const kLoadModelFilter = "tetra Mesh / Config file (*.ele;*.vm)|*.ele;*.vm||";
const char* const kChartFileFilter = "contractio chart value (*.txt)|*.txt||";
const char* const kStrokeFileFilter = "fiber stroke data (*.vmfigstrs)|*.vmfigstrs||";

namespace {

const char* const kStrokeExtension = "vmfigstrs";

void setUpSimulator(TLSMModel& model) {
    model.m_simulator.initSimulator(model.m_vtxOrigPos, model.m_tets, model.m_smNeighbors, model.m_orienField.m_frames);
}

void toggle(bool& flag) { flag = !flag; }

}  // namespace

std::string strokeFilePath(const std::string& chosen) { return exportPathWithExtension(chosen, kStrokeExtension); }

void Commands::attach(MainWindowManager* controller, TCore* core, CommandShell* shell) {
    m_controller = controller;
    m_core = core;
    m_shell = shell;
}

TLSMModel* Commands::model() const { return m_controller ? m_controller->model() : nullptr; }

bool Commands::simulationRuns() const { return m_controller && m_controller->isTimerOn(); }

void Commands::note(const char* command) {
    if (m_observer) m_observer(command);
}

bool Commands::commitEdit(const std::string& name) { return m_core && m_core->m_editHistory->commit(name); }

void Commands::redrawView() {
    if (m_core) m_core->redrawView();
}

void Commands::redrawViewNow() {
    if (m_core && m_core->m_camera->viewWindow()) m_core->m_camera->viewWindow()->redrawNow();
}

void Commands::refreshStdDialog() {
    if (m_core && m_core->m_dlgStdInteraction) m_core->m_dlgStdInteraction->refreshFromModel();
}

// ---- Files -------------------------------------------------------------------------------------

bool Commands::loadModel() {
    note("loadModel");
    if (!m_shell || !m_shell->mayDropWork()) return false;
    const std::string path = m_shell->chooseFileToOpen(kLoadModelFilter);
    return !path.empty() && m_shell->openModelFile(path);
}

bool Commands::importMesh() {
    note("importMesh");
    if (!m_shell) return false;
    const std::string base = m_shell->importChosenMesh();
    return !base.empty() && m_shell->openModelBase(base);
}

void Commands::openRecentModel(const std::string& basePath) {
    note("openRecentModel");
    if (m_shell) m_shell->openRecentModel(basePath);
}

bool Commands::saveProject() {
    note("saveProject");
    TLSMModel* loaded = model();
    if (!loaded) return false;
    // A project file the load refused or read only in part still holds the user's data: it is
    // replaced only when the user says so (the question's default is No).
    std::string question;
    if (projectOverwriteNeedsConsent(*loaded, question) && (!m_shell || !m_shell->confirmCommand(question))) {
        diagPrintf("saveProject: %s.vm is left as it is\n", loaded->m_filePath.c_str());
        return false;
    }
    if (!::saveProject(*loaded)) return false;
    projectFileWritten(*loaded);
    if (m_shell) m_shell->projectWasSaved();
    return true;
}

bool Commands::exportFields() {
    note("exportFields");
    const TLSMModel* loaded = model();
    if (!loaded || !m_shell) return false;
    const std::string chosen = m_shell->chooseFileToSave(kFieldExportFilter);
    if (chosen.empty()) return false;
    const std::string path = exportPathWithExtension(chosen, "vtu");
    std::string error;
    if (!exportModelFields(*loaded, path, error)) {
        diagPrintf("exportFields: %s\n", error.c_str());
        m_shell->tellUser("Export failed: " + error);
        return false;
    }
    diagPrintf("exportFields: wrote %s\n", path.c_str());
    return true;
}

bool Commands::exportCarpMesh() {
    note("exportCarpMesh");
    const TLSMModel* loaded = model();
    if (!loaded || !m_shell) return false;
    const std::string chosen = m_shell->chooseFileToSave(kCarpExportFilter);
    if (chosen.empty()) return false;
    // The name of any of the three files names all of them.
    std::string base = chosen;
    for (const std::string ext : {".pts", ".elem", ".lon"})
        if (base.size() > ext.size() && base.compare(base.size() - ext.size(), ext.size(), ext) == 0) {
            base.resize(base.size() - ext.size());
            break;
        }
    std::string error;
    if (!exportModelCarp(*loaded, base, error)) {
        diagPrintf("exportCarpMesh: %s\n", error.c_str());
        m_shell->tellUser("Export failed: " + error);
        return false;
    }
    diagPrintf("exportCarpMesh: wrote %s.pts, .elem and .lon\n", base.c_str());
    return true;
}

bool Commands::startExport(const char* filter, const char* extension, bool wallThickness) {
    if (!model() || !m_shell) return false;
    const std::string chosen = m_shell->chooseFileToSave(filter);
    if (chosen.empty()) return false;
    const std::string path = exportPathWithExtension(chosen, extension);
    return wallThickness ? m_controller->startWallThicknessExport(path) : m_controller->startAnimationExport(path);
}

bool Commands::startAnimationExport() {
    note("startAnimationExport");
    return startExport(kAnimationExportFilter, kAnimationExportExtension, false);
}

bool Commands::startWallThicknessExport() {
    note("startWallThicknessExport");
    return startExport(kWallThicknessExportFilter, kWallThicknessExportExtension, true);
}

void Commands::showAbout() {
    note("showAbout");
    if (m_shell) m_shell->showAboutBox();
}

void Commands::quit() {
    note("quit");
    if (m_shell) m_shell->closeMainWindow();
}

// ---- Edit --------------------------------------------------------------------------------------

bool Commands::undo() {
    note("undo");
    if (!m_core || !m_shell) return false;
    m_shell->holdTicks();
    const bool done = m_core->m_editHistory->undo();
    m_shell->releaseTicks();
    if (done) {
        m_shell->showModelChanges();
        redrawViewNow();
    }
    return done;
}

bool Commands::redo() {
    note("redo");
    if (!m_core || !m_shell) return false;
    m_shell->holdTicks();
    const bool done = m_core->m_editHistory->redo();
    m_shell->releaseTicks();
    if (done) {
        m_shell->showModelChanges();
        redrawViewNow();
    }
    return done;
}

// ---- Modes and windows -------------------------------------------------------------------------

void Commands::paintControlFieldsMode() {
    note("paintControlFieldsMode");
    if (!m_core) return;
    m_core->setPaintCtrlFieldMode();
    if (m_shell) m_shell->showModeState();
}

void Commands::standardManipulationMode() {
    note("standardManipulationMode");
    if (!m_core) return;
    m_core->setStdInteractionMode();
    if (m_shell) m_shell->showModeState();
}

void Commands::toggleVolumeDialog() {
    note("toggleVolumeDialog");
    if (!m_core) return;
    ToolDialogWindow& dialog = *m_core->m_dlgVolumeViz;
    if (dialog.isDialogVisible()) {
        dialog.hideDialog();
    } else {
        dialog.showDialog();
    }
    if (m_shell) m_shell->showModeState();
}

void Commands::toggleStereo() {
    note("toggleStereo");
    if (!m_core) return;
    toggle(m_core->m_bStereo);
    if (m_shell) m_shell->showModeState();
    redrawViewNow();
}

void Commands::toggleFrames() {
    note("toggleFrames");
    if (!m_core) return;
    toggle(m_core->m_bShowFrames);
    if (m_shell) m_shell->showModeState();
    redrawViewNow();
}

void Commands::toggleRatesInTitle() {
    note("toggleRatesInTitle");
    if (m_shell) m_shell->showRatesInTitle(!m_shell->ratesShownInTitle());
}

bool Commands::simulationLattice() {
    note("simulationLattice");
    TLSMModel* loaded = model();
    if (!loaded || !m_shell) return false;
    const int before = loaded->simulationLatticeTarget();
    const LatticeChoice choice = m_shell->chooseSimulationLattice(before, loaded->vertexCount());
    bool changed = false;
    if (choice.kind == LatticeChoice::Kind::Off && before > 0) {
        loaded->clearSimulationLattice();
        changed = true;
    } else if (choice.kind == LatticeChoice::Kind::On &&
               (choice.vertices != before || loaded->simulationLattice() == nullptr)) {
        changed = m_shell->buildSimulationLattice(choice.vertices);
    }
    if (changed) commitEdit("Simulation lattice");
    m_shell->showSimulationLattice();
    redrawViewNow();
    return changed;
}

// ---- Camera ------------------------------------------------------------------------------------

bool Commands::startAutoRotation() {
    note("startAutoRotation");
    return m_core && m_core->m_camera->startAutoRotation();
}

void Commands::initEyePosition() {
    note("initEyePosition");
    if (m_core) m_core->m_camera->initEyePosition();
}

void Commands::storeEyePosition() {
    note("storeEyePosition");
    if (m_core) m_core->m_camera->storeEyePosition();
}

bool Commands::fitModelInView() {
    note("fitModelInView");
    return m_core && m_core->m_camera->fitModelInView();
}

// ---- Display -----------------------------------------------------------------------------------

void Commands::toggleDisplay(DisplaySwitch which) {
    note("toggleDisplay");
    if (!m_controller) return;
    MainWindowManager& c = *m_controller;
    switch (which) {
        case DisplaySwitch::Mesh:
            toggle(c.m_bShowMesh);
            break;
        case DisplaySwitch::Vertices:
            toggle(c.m_bShowVertices);
            break;
        case DisplaySwitch::Rooms:
            toggle(c.m_bShowRooms);
            break;
        case DisplaySwitch::AtrialFibres:
            toggle(c.m_bShowFibAtri);
            break;
        case DisplaySwitch::VentricularFibres:
            toggle(c.m_bShowFibVent);
            break;
        case DisplaySwitch::Constraints:
            toggle(c.m_bShowConstraints);
            break;
        case DisplaySwitch::Fibres2:
            toggle(c.m_bShowFib2);
            break;
        case DisplaySwitch::Fibres3:
            toggle(c.m_bShowFib3);
            break;
    }
    // The standard dialog's boxes show the switches.
    refreshStdDialog();
    redrawView();
}

void Commands::stepTransparency(int delta) {
    note("stepTransparency");
    if (m_core && m_core->m_dlgStdInteraction) m_core->m_dlgStdInteraction->stepTransparency(delta);
}

// ---- Beat --------------------------------------------------------------------------------------

void Commands::toggleSimulation() {
    note("toggleSimulation");
    if (!m_controller) return;
    if (m_controller->m_timerOn) {
        m_controller->stopTimer();
    } else {
        m_controller->startTimer();
    }
    refreshStdDialog();
}

bool Commands::resetDeformation() {
    note("resetDeformation");
    TLSMModel* loaded = model();
    if (!loaded) return false;
    loaded->resetSimulation();
    return true;
}

bool Commands::restartBeat() {
    note("restartBeat");
    TLSMModel* loaded = model();
    if (!loaded) return false;
    m_controller->m_time = 0.0;
    loaded->resetSimulation();
    redrawView();
    // The chart's time cursor; while the beat runs its next tick draws it.
    if (!simulationRuns() && m_core && m_core->m_dlgStdInteraction) m_core->m_dlgStdInteraction->redraw(true);
    return true;
}

// ---- Contraction -------------------------------------------------------------------------------

bool Commands::clearContractionCharts() {
    note("clearContractionCharts");
    TLSMModel* loaded = model();
    if (!loaded || !loaded->m_excitation) return false;
    loaded->m_excitation->m_chartVent = {{0.0, 0.0}};
    loaded->m_excitation->m_chartAtri = {{0.0, 0.0}};
    buildTables(*loaded->m_excitation);
    if (m_core && m_core->m_dlgStdInteraction) m_core->m_dlgStdInteraction->redraw(true);
    return true;
}

bool Commands::setExperimentContractionChart() {
    note("setExperimentContractionChart");
    TLSMModel* loaded = model();
    if (!loaded || !loaded->m_excitation) return false;
    TGlobalExcitation& excitation = *loaded->m_excitation;
    commitEdit(std::string());
    excitation.m_chartVent = {{0.0, 0.0}, {0.25, 0.0}, {0.5, 1.0}, {0.75, 1.0}};
    excitation.m_chartAtri = {{0.0, 0.0}};
    buildTables(excitation);
    commitEdit("Set Contraction Chart For Experiment");
    if (m_shell) m_shell->showModelChanges();
    return true;
}

bool Commands::loadContractionChart() {
    note("loadContractionChart");
    if (!model() || !m_shell) return false;
    const std::string path = m_shell->chooseFileToOpen(kChartFileFilter);
    // The chooser may have let a load replace the model meanwhile.
    TLSMModel* loaded = model();
    if (path.empty() || !loaded) return false;
    const bool read = loadChartFile(*loaded, path);
    if (m_core && m_core->m_dlgStdInteraction) m_core->m_dlgStdInteraction->redraw(true);
    return read;
}

bool Commands::fullAmplitude() {
    note("fullAmplitude");
    TLSMModel* loaded = model();
    if (!loaded) return false;
    loaded->m_ampliField.m_value.assign(loaded->m_ampliField.m_value.size(), 1.0);
    redrawView();
    return true;
}

// ---- Fibres and paint fields -------------------------------------------------------------------

bool Commands::applyFibrePreset(int index) {
    note("applyFibrePreset");
    TLSMModel* loaded = model();
    if (!loaded || index < 0 || index >= kFibrePresetCount) return false;
    commitEdit(std::string());
    if (!::applyFibrePreset(index, loaded->m_orienField, loaded->m_tets, loaded->m_vtxOrigPos)) return false;
    setUpSimulator(*loaded);
    commitEdit(kFibrePresets[index].menuText);
    redrawView();
    return true;
}

bool Commands::applyRuleBasedFibres(double endoDegrees, double epiDegrees) {
    note("applyRuleBasedFibres");
    TLSMModel* loaded = model();
    if (!loaded) return false;
    commitEdit(std::string());
    std::string error;
    {
        BusyScope busy;
        if (!::applyRuleBasedFibres(*loaded, endoDegrees, epiDegrees, true, error)) {
            if (m_shell) m_shell->tellUser(error);
            return false;
        }
    }
    commitEdit("Rule-based fibres");
    redrawView();
    return true;
}

void Commands::choosePaintTool(PaintTool tool) {
    note("choosePaintTool");
    TStatePaintCtrlField::getInstance().setTool(tool);
    if (!m_core) return;
    // Chamber walls are painted on the inner surface, which a cut or peel may hide in part.
    if (paintToolGroup(tool) == PaintToolGroup::Chamber)
        if (TLSMModel* loaded = model()) cutByStroke(*loaded, {}, m_core->m_ogl->currentProjection());
    m_core->redrawView();
}

bool Commands::initPaintField(PaintField field, const char* stepName) {
    if (!m_shell || !m_shell->confirmCommand(kInitFieldQuestion)) return false;
    TLSMModel* loaded = model();
    if (loaded) {
        commitEdit(std::string());
        BusyScope busy;
        switch (field) {
            case PaintField::Phase:
                resetField(loaded->m_phaseField);
                break;
            case PaintField::Amplitude:
                resetField(loaded->m_ampliField);
                break;
            case PaintField::Depth:
                loaded->m_orienField.resetDepthField(loaded->m_tets, loaded->m_vtxOrigPos, loaded->m_smNeighbors,
                                                     loaded->m_vtxIsVentriOrAtrium);
                break;
            case PaintField::Strokes:
                loaded->m_orienField.resetStrokes(loaded->m_tets, loaded->m_vtxOrigPos, loaded->m_smNeighbors,
                                                  loaded->m_vtxIsVentriOrAtrium);
                break;
        }
        commitEdit(stepName);
    }
    redrawView();
    return loaded != nullptr;
}

bool Commands::initPhaseShiftField() {
    note("initPhaseShiftField");
    return initPaintField(PaintField::Phase, "Init Phase Shift Field");
}

bool Commands::initAmplitudeField() {
    note("initAmplitudeField");
    return initPaintField(PaintField::Amplitude, "Init Amplitude Field");
}

bool Commands::initDepthField() {
    note("initDepthField");
    return initPaintField(PaintField::Depth, "Init Depth Field");
}

bool Commands::initPrimaryDirStrokes() {
    note("initPrimaryDirStrokes");
    return initPaintField(PaintField::Strokes, "Init Primary dir strokes");
}

bool Commands::updateField() {
    note("updateField");
    TLSMModel* loaded = model();
    if (!loaded) return false;
    commitEdit(std::string());
    {
        BusyScope busy;
        loaded->m_orienField.updateOrientation(loaded->m_tets, loaded->m_vtxOrigPos, loaded->m_smNeighbors,
                                               loaded->m_vtxIsVentriOrAtrium);
        setUpSimulator(*loaded);
    }
    commitEdit("Update field");
    redrawView();
    return true;
}

bool Commands::normalizePlacement() {
    note("normalizePlacement");
    TLSMModel* loaded = model();
    if (!loaded) return false;
    commitEdit(std::string());
    normalizeModelPlacement(*loaded);
    commitEdit("Normalize placement");
    return true;
}

bool Commands::exportFibreStrokes() {
    note("exportFibreStrokes");
    TLSMModel* loaded = model();
    if (!loaded || !m_shell) return false;
    const std::string chosen = m_shell->chooseFileToSave(kStrokeFileFilter);
    if (chosen.empty()) return false;
    // A failure has been reported to the user by the writer.
    return writeStrokeFile(*loaded, strokeFilePath(chosen));
}

bool Commands::importFibreStrokes() {
    note("importFibreStrokes");
    TLSMModel* loaded = model();
    if (!loaded || !m_shell) return false;
    const std::string chosen = m_shell->chooseFileToOpen(kStrokeFileFilter);
    if (chosen.empty()) return false;
    const std::string path = strokeFilePath(chosen);
    commitEdit(std::string());
    if (!readStrokeFile(*loaded, path)) {
        m_shell->tellUser("importFibOri: " + path +
                          " could not be read as a fiber stroke file; the strokes are unchanged");
        return false;
    }
    commitEdit("Import fibre strokes");
    redrawView();
    return true;
}

bool Commands::initChamberSegmentation() {
    note("initChamberSegmentation");
    TLSMModel* loaded = model();
    if (!loaded) return false;
    commitEdit(std::string());
    resetChambers(*loaded);
    commitEdit("Init segmentation2");
    return true;
}
