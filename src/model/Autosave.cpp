// Autosave: writing, dating, removing and restoring the autosave file.
#include "model/Autosave.h"

#include <filesystem>
#include <system_error>

#include "model/ProjectFile.h"
#include "model/TLSMModel.h"

std::string autosavePathOf(const std::string& basePath) { return basePath + ".vm.autosave"; }

bool writeAutosave(const TLSMModel& model, std::string& error) {
    if (!model.m_excitation) {
        error = "no model is loaded";
        return false;
    }
    return saveProjectTo(model, autosavePathOf(model.m_filePath), error);
}

bool autosaveIsNewer(const std::string& basePath) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const auto autosaved = fs::last_write_time(autosavePathOf(basePath), ec);
    if (ec) return false;
    const auto saved = fs::last_write_time(basePath + ".vm", ec);
    if (ec) return true;
    return autosaved > saved;
}

void removeAutosave(const std::string& basePath) {
    std::error_code ec;
    std::filesystem::remove(autosavePathOf(basePath), ec);
}

bool restoreAutosave(TLSMModel& model, std::string& error) {
    if (!model.m_excitation || !model.m_fieldMatrix) {
        error = "no model is loaded";
        return false;
    }
    const std::string path = autosavePathOf(model.m_filePath);
    ProjectRecord record;
    if (!readProjectFile(path, record, error)) return false;
    // An autosave is written whole and atomically: one that stops early is not what was saved,
    // and half of it applied would mix two states.
    if (!record.endMarkerFound) {
        error = path + ": " + record.damage;
        return false;
    }
    if (!checkProjectRecord(record, model, error)) {
        error = path + ": " + error;
        return false;
    }
    applyProjectRecord(model, record);
    model.m_simulator.initSimulator(model.m_vtxOrigPos, model.m_tets, model.m_smNeighbors, model.m_orienField.m_frames);
    updateFieldHarmonic(model.m_phaseField, *model.m_fieldMatrix);
    updateFieldHarmonic(model.m_ampliField, *model.m_fieldMatrix);
    model.m_orienField.updateOrientation(model.m_tets, model.m_vtxOrigPos, model.m_smNeighbors,
                                         model.m_vtxIsVentriOrAtrium);
    return true;
}
