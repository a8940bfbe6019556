// ExportCommands: the animation and wall-thickness export commands of the main window.
#pragma once

#include <string>

class ShellHost;

/// Filters of the two save dialogs ("Description (*.a)|*.a||" form).
extern const char* const kAnimationExportFilter;
extern const char* const kWallThicknessExportFilter;

/// The chosen path with "." + extension appended unless the file name's own extension (after its
/// last '.') is exactly extension, compared case-sensitively: "run.txt" gives "run.txt.heartAnim",
/// "run.heartAnim" stays as it is.
std::string exportPathWithExtension(const std::string& chosenPath, const std::string& extension);

/// "StartExportAnimation": without a model nothing happens. Otherwise asks for the file through the
/// host's save dialog (the beat pauses while it is open); cancelling stops. The path gets the
/// ".heartAnim" rule and the controller starts the export, which tells the user when the file
/// cannot be created. True when an export started.
bool runAnimationExportCommand(ShellHost& host);
/// "StartExportWallThickness": the same with ".tex" and the 401-tick wall-thickness export.
bool runWallThicknessExportCommand(ShellHost& host);
