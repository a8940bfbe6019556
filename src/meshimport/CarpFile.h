// CarpFile: openCARP meshes (BASE.pts, BASE.elem, optional BASE.lon) read by our own parser, and
// the check that turns raw points and tetrahedra into an imported mesh.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "linalg/vec3.h"
#include "meshimport/MeshImport.h"

/// True when the file name ends in .pts, .elem or .lon (any letter case): a file of an openCARP
/// mesh, which is named by any of its files.
bool isCarpMeshFile(const std::string& path);

/// The base of an openCARP mesh named by one of its files: the path without its extension.
std::string carpBaseOf(const std::string& path);

/// Parses the text of a .pts file: a vertex count, then x y z per vertex. Strict: the count
/// must be matched exactly (nothing after the last vertex), every number finite and within
/// +-1e60, the count within the mesh size guards. False with one line in error beginning with
/// name (and naming the line); points is then empty. Pure; any thread.
bool parseCarpPoints(const char* data, size_t size, const std::string& name, std::vector<vec3>& points,
                     std::string& error);

/// Parses the text of a .elem file: an element count, then one element per line, `Tt n1 n2 n3
/// n4 [region]` for a tetrahedron (0-based node indices below vertexCount, a region tag in the
/// range of int, 0 when absent). A file with other element kinds (Tr, Qd, Ln, Hx, Pr, Py, Oc) is
/// refused with their counts and kinds; so are a wrong count, a malformed line, an index out of
/// range and a repeated corner. Pure; any thread.
bool parseCarpElements(const char* data, size_t size, const std::string& name, size_t vertexCount,
                       std::vector<std::array<int, 4>>& tets, std::vector<int>& regions, std::string& error);

/// Parses the text of a .lon file: its first line is 1 (a fibre per element) or 2 (a fibre and a
/// sheet), then three or six finite numbers per element, exactly elementCount of them. sheets is
/// empty for 1. Vectors are taken as they stand (a zero vector means no direction). Pure.
bool parseCarpFibres(const char* data, size_t size, const std::string& name, size_t elementCount,
                     std::vector<vec3>& fibres, std::vector<vec3>& sheets, std::string& error);

/// Turns raw points and 0-based tetrahedra into an imported mesh: counts within the guards,
/// coordinates finite and within +-1e60, an extent of at least 1e-60 (unless all points
/// coincide), corners in range and distinct; nodes no tetrahedron uses are dropped (the others
/// keep their order) and inverted tetrahedra reoriented (counted in report). newIndexOfOld gets,
/// per given point, its index in mesh.points or -1 when dropped. False with one line in error
/// beginning with name. Fibres, sheets and regions are left to the caller. Pure.
bool assembleTetMesh(const std::string& name, std::vector<vec3> points, std::vector<std::array<int, 4>> tets,
                     ImportedTetMesh& mesh, MeshImportReport& report, std::vector<int>& newIndexOfOld,
                     std::string& error);

/// Reads the openCARP mesh of which path names one file: BASE.pts and BASE.elem (both needed)
/// and BASE.lon when it exists. Each file over 2 GiB is refused before it is read. The element
/// fibres (and sheets) become per-point directions by volume-weighted averaging
/// (averageCellDirectionsToPoints); the element regions go to mesh.regions with regionSource
/// "elem". False with one line in error naming the file.
bool importCarpMesh(const std::string& path, ImportedTetMesh& mesh, MeshImportReport& report, std::string& error);
