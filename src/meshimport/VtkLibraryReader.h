// VtkLibraryReader: .vtu and legacy .vtk meshes read through VTK's own readers, with the fibre,
// sheet and region arrays they carry.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "linalg/vec3.h"
#include "meshimport/MeshContentCheck.h"
#include "meshimport/MeshImport.h"

/// What a VTK file held.
enum class VtkMeshKind {
    Failed,      ///< refused; the reason is in error
    Tetrahedra,  ///< a tetrahedral mesh, taken into mesh
    Surface,     ///< no volume cells but triangles, given in surface for filling
};

/// The triangles of a file without volume cells: the points they use (0-based, in file order)
/// and their corners.
struct VtkSurface {
    std::vector<vec3> points;
    std::vector<std::array<int, 3>> triangles;
};

/// Reads path with VTK: a .vtu (format Vtu: vtkXMLUnstructuredGridReader, any encoding and
/// compressor it reads) or a legacy .vtk of any version (format Vtk: unstructured grid or
/// polygonal data). path must be a private copy whose content passed checkMeshContent; name is
/// the file as the user knows it, which every message begins with.
///
/// Tetrahedra: only tetrahedra are taken as volume cells (quadratic and higher-order ones by
/// their four corners, counted in report.higherOrderTets); another volume cell refuses the file
/// with the counts of each kind. Points no tetrahedron uses are dropped (report.droppedNodes),
/// the rest renumbered in their file order; inverted tetrahedra are reoriented
/// (report.reorientedTets); lower-dimensional cells are counted in report.ignoredElements.
/// Counts, coordinates and extent meet the TetGen reader's guards (TetMeshLimits). A point or
/// cell array named fiber, fibre, fibers, fibres or f0 (3 components; letter case ignored, a
/// point array preferred) becomes mesh.fibres, per point and normalised (cell directions
/// averaged to the points by volume); sheet or s0 likewise mesh.sheets, when fibres were found.
/// A one-component cell array gmsh:physical or CellEntityIds of integers becomes mesh.regions,
/// one per tetrahedron, with mesh.regionSource naming it. Arrays that look like these but
/// cannot be used are reported on the console and left out.
///
/// Surface: the file holds no volume cells but triangles and no other surface cells; surface
/// gets the triangles and the points they use, for gmsh to fill. Failed: a one-line reason in
/// error, such as VTK's own first error ("NAME could not be read: ..."), other volume cells,
/// neither tetrahedra nor triangles, or a guard. VTK's own messages never reach the console.
/// Serialised: one read at a time in the process.
VtkMeshKind readVtkLibraryMesh(const std::string& path, MeshFileFormat format, const std::string& name,
                               ImportedTetMesh& mesh, MeshImportReport& report, VtkSurface& surface,
                               std::string& error);

/// Writes surface as a gmsh 2.2 ascii .msh (full double precision), the file the surface filler
/// reads. False with a reason in error when it cannot be written.
bool writeSurfaceAsMsh(const std::string& path, const VtkSurface& surface, std::string& error);
