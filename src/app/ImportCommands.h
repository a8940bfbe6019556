// ImportCommands: the mesh import of the main window (through gmsh, so in the shell).
#pragma once

#include <string>

class ShellHost;

/// Filters of the import's two dialogs ("Description (*.a)|*.a||" form).
extern const char* const kImportMeshFilter;
extern const char* const kImportBaseFilter;

/// Imports meshPath (see importMeshFile) and writes it as the TetGen base `base`, or, when base is
/// empty, beside the file under importBaseBeside's name. A busy cursor shows while gmsh works. On
/// failure the reason is shown through the host and nothing is written. Returns the written base,
/// or an empty string.
std::string importMeshToBase(ShellHost& host, const std::string& meshPath, const std::string& base);

/// "Import mesh": asks for a mesh file, then for the name of the model to write (a ".node" or
/// ".ele" extension is taken off); cancelling either stops. Returns the written base or "".
std::string runImportMeshCommand(ShellHost& host);
