// ExportCommands: the file names of the exports: their choosers' filters and the extension rule.
#pragma once

#include <string>

/// Filters of the exports' save dialogs ("Description (*.a)|*.a||" form).
extern const char* const kAnimationExportFilter;
extern const char* const kWallThicknessExportFilter;
extern const char* const kFieldExportFilter;
extern const char* const kCarpExportFilter;
/// The extensions the animation and wall-thickness export files get.
extern const char* const kAnimationExportExtension;
extern const char* const kWallThicknessExportExtension;

/// The chosen path with "." + extension appended unless the file name's own extension (after its
/// last '.') is exactly extension, compared case-sensitively: "run.txt" gives "run.txt.heartAnim",
/// "run.heartAnim" stays as it is.
std::string exportPathWithExtension(const std::string& chosenPath, const std::string& extension);
