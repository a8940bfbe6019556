// Autosave: the project written beside its file every few minutes, and its restoration after a
// crash or a closed window.
#pragma once

#include <string>

class TLSMModel;

/// The autosave file of the model at basePath: basePath + ".vm.autosave".
std::string autosavePathOf(const std::string& basePath);

/// Writes the model's project to its autosave file, atomically (a crash while writing leaves the
/// previous autosave). False with the reason in error, or without a model.
bool writeAutosave(const TLSMModel& model, std::string& error);

/// Whether the model at basePath has an autosave file written later than its project file (or has
/// no project file at all).
bool autosaveIsNewer(const std::string& basePath);

/// Removes the autosave file of basePath (after a save, or when the user discards the work).
void removeAutosave(const std::string& basePath);

/// Reads the autosave file into the loaded model as a load reads the project file: parsed whole,
/// checked against the mesh, applied, then the fields solved and the simulator set up. False with
/// the reason in error (model untouched) when it cannot be read, is incomplete or does not match.
bool restoreAutosave(TLSMModel& model, std::string& error);
