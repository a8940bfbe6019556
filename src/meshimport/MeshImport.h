// MeshImport: tetrahedral meshes and closed surfaces of other formats, read through gmsh, turned
// into a TetGen base the model loader reads.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "linalg/vec3.h"

/// A linear tetrahedral mesh: positions in the file's units, corners 0-based, every tetrahedron
/// positively oriented (signedVolume6 >= 0), every vertex used by some tetrahedron.
struct ImportedTetMesh {
    std::vector<vec3> points;
    std::vector<std::array<int, 4>> tets;
    /// Fibre and sheet directions the file gave, one per point (unit vectors, or zero where the
    /// file had none or a zero vector); empty when the file has no fibres (sheets: no sheets).
    std::vector<vec3> fibres, sheets;
    /// A region tag per tetrahedron from the file (openCARP's element region, a gmsh physical
    /// group, a CellEntityIds array); empty when the file has none. regionSource names where the
    /// tags came from ("elem", "gmsh:physical", "CellEntityIds").
    std::vector<int> regions;
    std::string regionSource;
};

/// What an import did besides the mesh itself.
struct MeshImportReport {
    int droppedNodes = 0;     ///< nodes no tetrahedron uses (including higher-order nodes)
    int reorientedTets = 0;   ///< inverted tetrahedra whose corners were swapped
    int higherOrderTets = 0;  ///< curved tetrahedra taken with their four corners only
    int ignoredElements = 0;  ///< points, lines and surface elements of a volume mesh, not taken
    bool meshedFromSurface = false;
    int surfaceTriangles = 0;  ///< triangles of the closed surface that was filled
    double elementSize = 0.0;  ///< target element size used to fill a surface, in file units
};

/// Import settings.
struct MeshImportOptions {
    /// Target element size for filling a closed surface, in the file's units; 0 chooses one that
    /// gives about 5,000-10,000 vertices.
    double elementSize = 0.0;
};

/// The file-name extensions importMeshFile accepts, lower case without the dot.
const std::vector<std::string>& importableMeshExtensions();

/// True when the file name ends in one of importableMeshExtensions() (case-insensitive).
bool isImportableMeshFile(const std::string& path);

/// Reads a gmsh .msh (versions 2 and 4), legacy VTK .vtk, Medit .mesh, or a closed surface (.stl,
/// .ply2) which gmsh fills with tetrahedra; extensions in any letter case. An openCARP mesh, named
/// by its .pts, .elem or .lon file, is read by importCarpMesh (CarpFile.h) instead of gmsh. Only tetrahedra are
/// taken (second and higher order ones by their corners); other volume elements refuse the file.
/// Inverted tetrahedra are reoriented and unused nodes dropped, each with a console line. The
/// file's content is checked against its extension first (checkMeshContent), and gmsh reads only
/// a private copy of it (ImportCopy), removed afterwards. False with a one-line reason in error
/// (naming the file) for anything else: an unknown extension, a file over 2 GiB, content that is
/// not a file of its kind or declares more than it holds, an open or non-manifold surface, an
/// element size that would fill the surface with more than 2,000,000 vertices, no tetrahedra, a
/// mesh beyond the TetGen reader's size guards, or a gmsh error; mesh is then empty. Serialised
/// with every other gmsh use. A .vtk (any version up to 5.1) or .vtu is read by VTK instead
/// (readVtkLibraryMesh, which also takes its fibre, sheet and region arrays into mesh); only a
/// closed surface in one goes on to gmsh to be filled.
bool importMeshFile(const std::string& path, const MeshImportOptions& options, ImportedTetMesh& mesh,
                    MeshImportReport& report, std::string& error);

/// Writes base + ".node" and base + ".ele" (0-based, full double precision). Both files are
/// written beside their final names first and then renamed, so a failure leaves any earlier pair
/// whole. False with a reason in error when a file cannot be written.
bool writeTetGenBase(const std::string& base, const ImportedTetMesh& mesh, std::string& error);

/// True when base + ".node" and base + ".ele" exist and hold exactly what writeTetGenBase would
/// write for mesh.
bool tetGenBaseHolds(const std::string& base, const ImportedTetMesh& mesh);

/// The base an import of meshPath is written to when no name was chosen: the file's path without
/// its extension, unless a model of that name exists with another mesh (any of base.node, .ele or
/// .vm present while .node/.ele do not hold exactly mesh); then "-imported", "-imported-2", ... is
/// appended until the name is free or holds mesh. Importing the same file again so reuses its
/// base, and with it the project file painted on it.
std::string importBaseBeside(const std::string& meshPath, const ImportedTetMesh& mesh);
