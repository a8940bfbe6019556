// ExportCommands: save dialog, extension rule and export start for both exports.
#include "app/ExportCommands.h"

#include "app/ShellHost.h"
#include "model/MainWindowManager.h"

const char* const kAnimationExportFilter = "heart anim file (*.haertAnim)|*.heartAnim||";
const char* const kWallThicknessExportFilter = "heart anim file (*.tex)|*.tex||";

namespace {

const char kAnimationExtension[] = "heartAnim";
const char kWallThicknessExtension[] = "tex";

/// Asks for the export file; empty when there is no model or the user cancels.
std::string chooseExportPath(ShellHost& host, const char* filter, const char* extension) {
    if (!MainWindowManager::getInstance().model()) return "";
    const std::string chosen = host.chooseSaveFile(filter);
    if (chosen.empty()) return "";
    return exportPathWithExtension(chosen, extension);
}

}  // namespace

std::string exportPathWithExtension(const std::string& chosenPath, const std::string& extension) {
    const size_t slash = chosenPath.find_last_of('/');
    const size_t dot = chosenPath.find_last_of('.');
    const bool dotInName = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    if (dotInName && chosenPath.compare(dot + 1, std::string::npos, extension) == 0) return chosenPath;
    return chosenPath + "." + extension;
}

bool runAnimationExportCommand(ShellHost& host) {
    const std::string path = chooseExportPath(host, kAnimationExportFilter, kAnimationExtension);
    return !path.empty() && MainWindowManager::getInstance().startAnimationExport(path);
}

bool runWallThicknessExportCommand(ShellHost& host) {
    const std::string path = chooseExportPath(host, kWallThicknessExportFilter, kWallThicknessExtension);
    return !path.empty() && MainWindowManager::getInstance().startWallThicknessExport(path);
}
