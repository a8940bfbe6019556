// Autosave: the project written beside its file every few minutes (or, where the model's folder
// cannot be written, in the user's application data folder), and its restoration after a crash or
// a closed window.
#pragma once

#include <string>

class TLSMModel;

/// The autosave file of the model at basePath beside it: basePath + ".vm.autosave".
std::string autosavePathOf(const std::string& basePath);

/// The folder autosaves go to when the model's own folder cannot be written, as in an installed
/// copy ("" for none). The shell sets the user's application data folder; it is made when first
/// written to. User-interface thread only, like the rest of this file.
void setAutosaveFallbackFolder(const std::string& folder);
const std::string& autosaveFallbackFolder();

/// The autosave file of the model at basePath in the fallback folder: the file name, "-", 16 hex
/// digits that tell apart models of one name in different folders (a hash of the absolute base
/// path) and ".vm.autosave"; "" without a fallback folder.
std::string fallbackAutosavePathOf(const std::string& basePath);

/// The autosave file of the model at basePath that a restore reads: the more recently written of
/// the one beside it and the one in the fallback folder; "" when there is neither.
std::string existingAutosavePathOf(const std::string& basePath);

/// Writes the model's project to its autosave file, atomically (a crash while writing leaves the
/// previous autosave): beside the model, or in the fallback folder when that fails. False with the
/// reason in error (both places named), or without a model; *writtenPath (when given) receives the
/// file written.
bool writeAutosave(const TLSMModel& model, std::string& error, std::string* writtenPath = nullptr);

/// Whether the model at basePath has an autosave file (in either place) written later than its
/// project file (or has no project file at all).
bool autosaveIsNewer(const std::string& basePath);

/// Removes the autosave files of basePath in both places (after a save, or when the user discards
/// the work).
void removeAutosave(const std::string& basePath);

/// Reads the autosave file (existingAutosavePathOf) into the loaded model as a load reads the
/// project file: parsed whole, checked against the mesh, applied, then the fields solved and the
/// simulator set up. False with the reason in error (model untouched) when it cannot be read, is
/// incomplete or does not match.
bool restoreAutosave(TLSMModel& model, std::string& error);
