// MeshContentCheck: the importer's own check that a file holds what its extension says, made
// before gmsh reads it.
#pragma once

#include <cstddef>
#include <string>

/// The mesh formats the importer accepts, named by the file's extension in any letter case.
enum class MeshFileFormat { Unknown, Msh, Vtk, Vtu, Medit, Stl, Ply2 };

/// The format of a file name by its extension (".msh", ".vtk", ".vtu", ".mesh", ".stl", ".ply2",
/// any letter case); Unknown for any other name.
MeshFileFormat meshFileFormatOf(const std::string& path);

/// The refusal of a file whose extension names no importable format: "NAME: unknown mesh
/// format; importable are ...", or for VTK files that refer to other files (.vtm, .pvtu, .pvd)
/// which of them to import instead.
std::string unknownMeshFormatMessage(const std::string& name);

/// The canonical lower-case extension of a format without the dot ("msh", ...); "" for Unknown.
const char* meshFileExtension(MeshFileFormat format);

/// Checks that the size bytes at data are a file of the format, walking its whole structure:
/// gmsh .msh versions 2 and 4 (ascii and binary), legacy VTK up to version 5.1 (ascii and binary
/// UNSTRUCTURED_GRID or POLYDATA), the XML markup of a .vtu up to its appended data (a VTKFile
/// of type UnstructuredGrid that names no other file and defines no entities), Medit .mesh
/// (ascii), STL (ascii, or binary by its size rule) and PLY2. Every count a header declares must
/// be matched by what follows, and every index must name a declared vertex, so that a reader
/// preallocating from the counts never asks for more than the file holds. Content of any other
/// kind, such as text of gmsh's script language, never passes. False with a one-line reason in
/// error that begins with name (the file's name as the user knows it); error is cleared on
/// success. Pure: reads only the bytes given, never a file. Any thread.
bool checkMeshContent(MeshFileFormat format, const char* data, size_t size, const std::string& name,
                      std::string& error);
