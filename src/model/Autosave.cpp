// Autosave: writing (beside the model or in the fallback folder), dating, removing and restoring
// the autosave file.
#include "model/Autosave.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "io/KeyedPath.h"
#include "model/ProjectFile.h"
#include "model/TLSMModel.h"

namespace {

namespace fs = std::filesystem;

std::string g_fallbackFolder;

/// The write time of the file at path, or false when there is no such file.
bool writeTimeOf(const std::string& path, fs::file_time_type& time) {
    std::error_code ec;
    if (path.empty() || !fs::is_regular_file(path, ec)) return false;
    time = fs::last_write_time(path, ec);
    return !ec;
}

}  // namespace

std::string autosavePathOf(const std::string& basePath) { return basePath + ".vm.autosave"; }

void setAutosaveFallbackFolder(const std::string& folder) { g_fallbackFolder = folder; }

const std::string& autosaveFallbackFolder() { return g_fallbackFolder; }

std::string fallbackAutosavePathOf(const std::string& basePath) {
    return keyedPathIn(g_fallbackFolder, basePath, ".vm.autosave");
}

std::string existingAutosavePathOf(const std::string& basePath) {
    const std::string beside = autosavePathOf(basePath), fallback = fallbackAutosavePathOf(basePath);
    fs::file_time_type besideTime, fallbackTime;
    const bool hasBeside = writeTimeOf(beside, besideTime), hasFallback = writeTimeOf(fallback, fallbackTime);
    if (hasBeside && hasFallback) return fallbackTime > besideTime ? fallback : beside;
    if (hasBeside) return beside;
    if (hasFallback) return fallback;
    return "";
}

bool writeAutosave(const TLSMModel& model, std::string& error, std::string* writtenPath) {
    if (!model.m_excitation) {
        error = "no model is loaded";
        return false;
    }
    const std::string beside = autosavePathOf(model.m_filePath);
    std::string besideError;
    if (saveProjectTo(model, beside, besideError)) {
        // An older autosave in the fallback folder is not this work.
        std::error_code ec;
        const std::string fallback = fallbackAutosavePathOf(model.m_filePath);
        if (!fallback.empty()) fs::remove(fallback, ec);
        if (writtenPath) *writtenPath = beside;
        return true;
    }
    const std::string fallback = fallbackAutosavePathOf(model.m_filePath);
    if (fallback.empty()) {
        error = besideError;
        return false;
    }
    std::error_code ec;
    fs::create_directories(g_fallbackFolder, ec);
    std::string fallbackError;
    if (!ec && saveProjectTo(model, fallback, fallbackError)) {
        if (writtenPath) *writtenPath = fallback;
        return true;
    }
    if (ec) fallbackError = "cannot create the folder " + g_fallbackFolder + ": " + ec.message();
    error = besideError + "; and in the application data folder: " + fallbackError;
    return false;
}

bool autosaveIsNewer(const std::string& basePath) {
    fs::file_time_type autosaved, saved;
    if (!writeTimeOf(existingAutosavePathOf(basePath), autosaved)) return false;
    if (!writeTimeOf(basePath + ".vm", saved)) return true;
    return autosaved > saved;
}

void removeAutosave(const std::string& basePath) {
    std::error_code ec;
    fs::remove(autosavePathOf(basePath), ec);
    const std::string fallback = fallbackAutosavePathOf(basePath);
    if (!fallback.empty()) fs::remove(fallback, ec);
}

bool restoreAutosave(TLSMModel& model, std::string& error) {
    if (!model.m_excitation || !model.m_fieldMatrix) {
        error = "no model is loaded";
        return false;
    }
    const std::string path = existingAutosavePathOf(model.m_filePath);
    if (path.empty()) {
        error = "there is no autosave of " + model.m_filePath;
        return false;
    }
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
    settleFramesAfterProject(model);
    return true;
}
