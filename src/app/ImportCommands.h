// ImportCommands: the mesh import and field export commands of the main window.
#pragma once

#include <string>

class ShellHost;

/// Filters of the import's two dialogs and of the field export ("Description (*.a)|*.a||" form).
extern const char* const kImportMeshFilter;
extern const char* const kImportBaseFilter;
extern const char* const kFieldExportFilter;

/// Imports meshPath (see importMeshFile) and writes it as the TetGen base `base`, or, when base is
/// empty, beside the file under importBaseBeside's name. A busy cursor shows while gmsh works. On
/// failure the reason is shown through the host and nothing is written. Returns the written base,
/// or an empty string.
std::string importMeshToBase(ShellHost& host, const std::string& meshPath, const std::string& base);

/// "Import mesh": asks for a mesh file, then for the name of the model to write (a ".node" or
/// ".ele" extension is taken off); cancelling either stops. Returns the written base or "".
std::string runImportMeshCommand(ShellHost& host);

/// "Export fields": without a model nothing happens. Otherwise asks for the file (".vtu" appended
/// unless given) and writes the model's fields on its rest mesh (exportModelFields); a failure is
/// shown through the host. True when the file was written.
bool runFieldExportCommand(ShellHost& host);
