// ExportCommands: the exports' filters and the extension rule.
#include "interaction/ExportCommands.h"

const char* const kAnimationExportFilter = "heart anim file (*.haertAnim)|*.heartAnim||";
const char* const kWallThicknessExportFilter = "heart anim file (*.tex)|*.tex||";
const char* const kFieldExportFilter = "VTK unstructured grid (*.vtu)|*.vtu||";
const char* const kCarpExportFilter = "openCARP mesh (*.pts)|*.pts||";
const char* const kAnimationExportExtension = "heartAnim";
const char* const kWallThicknessExportExtension = "tex";

std::string exportPathWithExtension(const std::string& chosenPath, const std::string& extension) {
    const size_t slash = chosenPath.find_last_of('/');
    const size_t dot = chosenPath.find_last_of('.');
    const bool dotInName = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    if (dotInName && chosenPath.compare(dot + 1, std::string::npos, extension) == 0) return chosenPath;
    return chosenPath + "." + extension;
}
