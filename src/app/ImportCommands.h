// ImportCommands: the mesh import of the main window (through the mesher, so in the shell).
#pragma once

#include <functional>
#include <string>

class ShellHost;

/// Filters of the import's two dialogs ("Description (*.a)|*.a||" form).
extern const char* const kImportMeshFilter;
extern const char* const kImportBaseFilter;

/// Imports meshPath (see importMeshFile) in the mesher's child process and writes it as the
/// TetGen base `base`, or, when base is empty, beside the file under importBaseBeside's name.
/// While the child works a progress dialog with Cancel shows (from the first half second on) and
/// the window goes on drawing; Cancel kills the child. Once the mesh is read, mayReplaceModel
/// (when given) is asked whether the open model may go (the unsaved-work question) before any
/// file is written; false stops there. A project file of another mesh under the target name is
/// renamed NAME.vm.bak and a message says so; fibres the file gives become the frames kept in
/// NAME.vm (placeImportedMesh). On failure the reason is shown through the host
/// ("Import failed: ..."); after a failure, a cancel or a refusal nothing is written and the open
/// model is untouched. Returns the written base, or an empty string. One import at a time.
std::string importMeshToBase(ShellHost& host, const std::string& meshPath, const std::string& base,
                             const std::function<bool()>& mayReplaceModel = {});

/// "Import mesh": asks for a mesh file, then for the name of the model to write (a ".node" or
/// ".ele" extension is taken off); cancelling either stops. Returns the written base or "".
std::string runImportMeshCommand(ShellHost& host, const std::function<bool()>& mayReplaceModel = {});

/// "The project file NAME.vm belonged to another mesh; it was renamed NAME.vm.bak.": the message
/// shown after an import moved a project file aside.
std::string projectMovedAsideMessage(const std::string& base, const std::string& backupPath);
