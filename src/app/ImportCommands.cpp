// ImportCommands: import through gmsh into a TetGen base.
#include "app/ImportCommands.h"

#include "app/ShellHost.h"
#include "interaction/BusyIndicator.h"
#include "linalg/Diagnostics.h"
#include "meshimport/MeshImport.h"

const char* const kImportMeshFilter =
    "Meshes (*.msh;*.vtk;*.mesh;*.stl;*.ply2)|*.msh;*.vtk;*.mesh;*.stl;*.ply2|"
    "gmsh mesh (*.msh)|*.msh|legacy VTK (*.vtk)|*.vtk|Medit mesh (*.mesh)|*.mesh|"
    "closed surface (*.stl;*.ply2)|*.stl;*.ply2||";
const char* const kImportBaseFilter = "tetra Mesh (*.node;*.ele)|*.node;*.ele||";

namespace {

/// The base of a chosen model name: "x.node" and "x.ele" give "x", anything else stays.
std::string baseOfChosenName(const std::string& path) {
    for (const std::string ext : {".node", ".ele"})
        if (path.size() > ext.size() && path.compare(path.size() - ext.size(), ext.size(), ext) == 0)
            return path.substr(0, path.size() - ext.size());
    return path;
}

}  // namespace

std::string importMeshToBase(ShellHost& host, const std::string& meshPath, const std::string& base) {
    ImportedTetMesh mesh;
    MeshImportReport report;
    std::string error;
    bool ok = false;
    std::string target = base;
    {
        BusyScope busy;
        ok = importMeshFile(meshPath, MeshImportOptions(), mesh, report, error);
        if (ok && target.empty()) target = importBaseBeside(meshPath, mesh);
        if (ok && !tetGenBaseHolds(target, mesh)) ok = writeTetGenBase(target, mesh, error);
    }
    if (!ok) {
        diagPrintf("import: %s\n", error.c_str());
        host.showMessage("Import failed: " + error);
        return "";
    }
    diagPrintf("import: %s -> %s.node/.ele (%zu vertices, %zu tetrahedra)\n", meshPath.c_str(), target.c_str(),
               mesh.points.size(), mesh.tets.size());
    return target;
}

std::string runImportMeshCommand(ShellHost& host) {
    const std::string meshPath = host.chooseOpenFile(kImportMeshFilter);
    if (meshPath.empty()) return "";
    const std::string chosen = host.chooseSaveFile(kImportBaseFilter);
    if (chosen.empty()) return "";
    return importMeshToBase(host, meshPath, baseOfChosenName(chosen));
}
