// MeshImport: round trips through files written by meshio and gmsh (writers we did not make), a
// closed surface filled into a valid model, and the refusals.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>

#include "common/TestFiles.h"
#include "common/TestMeshes.h"
#include "io/TetGenFile.h"
#include "linalg/Diagnostics.h"
#include "meshimport/MeshImport.h"
#include "model/TLSMModel.h"

namespace {

using testfiles::TempDir;

// meshio and gmsh write ASCII coordinates with at least 16 significant digits.
constexpr double kCoordinateTolerance = 1e-12;

/// Writes mesh with meshio in each named format: argv = base, then (format, file) pairs. The
/// optional extra cells (a cell type and its rows as JSON) are added to the mesh; the optional
/// extra points are appended to it.
const char* const kMeshioWriter = R"(
import json, sys
import meshio, numpy as np
base = sys.argv[1]
points = np.loadtxt(base + ".node", skiprows=1, ndmin=2)[:, 1:4]
tets = np.loadtxt(base + ".ele", skiprows=1, dtype=int, ndmin=2)[:, 1:5]
extra = json.loads(sys.argv[2])
points = np.vstack([points] + ([np.array(extra["points"], dtype=float)] if extra.get("points") else []))
if extra.get("swap_first"):
    tets[0, [2, 3]] = tets[0, [3, 2]]
cells = [("tetra", tets)] + [(kind, np.array(rows, dtype=int)) for kind, rows in extra.get("cells", [])]
if extra.get("only_extra"):
    cells = cells[1:]
mesh = meshio.Mesh(points, cells)
for fmt, path in zip(sys.argv[3::2], sys.argv[4::2]):
    options = {"medit": {}}.get(fmt, {"binary": False})
    meshio.write(path, mesh, file_format=fmt, **options)
)";

/// Runs kMeshioWriter on our mesh at base; formats is a list of (meshio format, file name).
void writeWithMeshio(const TempDir& dir, const std::string& base, const std::string& extraJson,
                     const std::vector<std::pair<std::string, std::string>>& formats) {
    testfiles::writeText(dir.file("write.py"), kMeshioWriter);
    std::string command = "/usr/bin/python3 '" + dir.file("write.py") + "' '" + base + "' '" + extraJson + "'";
    for (const auto& [format, name] : formats) command += " " + format + " '" + dir.file(name) + "'";
    const testfiles::RunResult r = testfiles::runCommand(command, dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
}

bool importFile(const std::string& path, ImportedTetMesh& mesh, MeshImportReport& report, std::string& error,
                double size = 0.0) {
    MeshImportOptions options;
    options.elementSize = size;
    return importMeshFile(path, options, mesh, report, error);
}

double volumeOf(const ImportedTetMesh& mesh) {
    double sum = 0.0;
    for (const auto& t : mesh.tets)
        sum += signedVolume6(mesh.points[t[0]], mesh.points[t[1]], mesh.points[t[2]], mesh.points[t[3]]);
    return sum / 6.0;
}

TEST(MeshImportTest, MeshioWrittenFilesOfOurMeshGiveItBack) {
    TempDir dir;
    const testmesh::TetData tube = testmesh::tube();
    testmesh::writeTetGen(tube, dir.file("tube"));
    writeWithMeshio(dir, dir.file("tube"), "{}",
                    {{"gmsh22", "tube2.msh"}, {"gmsh", "tube4.msh"}, {"vtk42", "tube.vtk"}, {"medit", "tube.mesh"}});
    for (const char* name : {"tube2.msh", "tube4.msh", "tube.vtk", "tube.mesh"}) {
        SCOPED_TRACE(name);
        ImportedTetMesh mesh;
        MeshImportReport report;
        std::string error;
        DiagCapture console;
        ASSERT_TRUE(importFile(dir.file(name), mesh, report, error)) << error;
        ASSERT_EQ(mesh.points.size(), tube.verts.size());
        ASSERT_EQ(mesh.tets.size(), tube.tets.size());
        double worst = 0.0;
        for (size_t i = 0; i < mesh.points.size(); ++i)
            worst = std::max(worst, (mesh.points[i] - tube.verts[i]).norm());
        EXPECT_LT(worst, kCoordinateTolerance);
        for (size_t j = 0; j < mesh.tets.size(); ++j)
            for (int k = 0; k < 4; ++k) ASSERT_EQ(mesh.tets[j][k], tube.tets[j].vIdx[k]) << "tetrahedron " << j;
        EXPECT_EQ(report.droppedNodes, 0);
        EXPECT_EQ(report.reorientedTets, 0);
        EXPECT_FALSE(report.meshedFromSurface);
        EXPECT_EQ(console.text(), "");

        // The written base is what the model loader reads, bit for bit.
        ASSERT_TRUE(writeTetGenBase(dir.file("out"), mesh, error)) << error;
        EXPECT_TRUE(tetGenBaseHolds(dir.file("out"), mesh));
        TTetMesh read;
        ASSERT_TRUE(loadTetMesh(read, dir.file("out")));
        ASSERT_EQ(read.m_verts.size(), mesh.points.size());
        for (size_t i = 0; i < mesh.points.size(); ++i) ASSERT_EQ(read.m_verts[i], mesh.points[i]);
        for (size_t j = 0; j < mesh.tets.size(); ++j)
            ASSERT_TRUE(std::equal(mesh.tets[j].begin(), mesh.tets[j].end(), read.m_tets[j].vIdx));
    }
}

TEST(MeshImportTest, InvertedTetrahedraUnusedNodesAndSurfaceElementsAreCleanedUp) {
    TempDir dir;
    const testmesh::TetData cube = testmesh::cube(2);
    testmesh::writeTetGen(cube, dir.file("cube"));
    // Two points only a triangle uses, the first tetrahedron inverted.
    writeWithMeshio(dir, dir.file("cube"),
                    R"({"points": [[9, 9, 9], [8, 8, 8]], "swap_first": true, "cells": [["triangle", [[27, 28, 0]]]]})",
                    {{"gmsh22", "cube.msh"}});
    ImportedTetMesh mesh;
    MeshImportReport report;
    std::string error;
    DiagCapture console;
    ASSERT_TRUE(importFile(dir.file("cube.msh"), mesh, report, error)) << error;
    EXPECT_EQ(mesh.points.size(), cube.verts.size());
    EXPECT_EQ(mesh.tets.size(), cube.tets.size());
    EXPECT_EQ(report.droppedNodes, 2);
    EXPECT_EQ(report.reorientedTets, 1);
    EXPECT_EQ(report.ignoredElements, 1);
    for (const auto& t : mesh.tets)
        EXPECT_GT(signedVolume6(mesh.points[t[0]], mesh.points[t[1]], mesh.points[t[2]], mesh.points[t[3]]), 0.0);
    EXPECT_NEAR(volumeOf(mesh), 8.0, 1e-12);
    EXPECT_TRUE(console.contains("1 inverted tetrahedra of cube.msh reoriented")) << console.text();
    EXPECT_TRUE(console.contains("2 nodes of cube.msh used by no tetrahedron dropped")) << console.text();
}

TEST(MeshImportTest, SecondOrderTetrahedraAreTakenByTheirCorners) {
    TempDir dir;
    testfiles::writeText(dir.file("box.geo"),
                         "SetFactory(\"OpenCASCADE\");\nBox(1) = {0, 0, 0, 1, 2, 3};\n"
                         "Mesh.MeshSizeMax = 0.6;\n");
    for (const char* order : {"1", "2"}) {
        const testfiles::RunResult g =
            testfiles::runCommand(std::string("gmsh -3 -order ") + order + " '" + dir.file("box.geo") +
                                      "' -format msh4 -o '" + dir.file(std::string("box") + order + ".msh") + "'",
                                  dir.path());
        ASSERT_EQ(g.status, 0) << g.out << g.err;
    }
    ImportedTetMesh linear, curved;
    MeshImportReport linearReport, curvedReport;
    std::string error;
    DiagCapture console;
    ASSERT_TRUE(importFile(dir.file("box1.msh"), linear, linearReport, error)) << error;
    ASSERT_TRUE(importFile(dir.file("box2.msh"), curved, curvedReport, error)) << error;
    EXPECT_EQ(curvedReport.higherOrderTets, static_cast<int>(curved.tets.size()));
    EXPECT_GT(curvedReport.droppedNodes, static_cast<int>(curved.points.size()));  // the mid-edge nodes
    ASSERT_EQ(curved.points.size(), linear.points.size());
    ASSERT_EQ(curved.tets.size(), linear.tets.size());
    EXPECT_NEAR(volumeOf(curved), 6.0, 1e-9);
    EXPECT_TRUE(console.contains("curved tetrahedra of box2.msh taken with their corners only")) << console.text();
}

TEST(MeshImportTest, ClosedSurfaceWrittenByGmshIsFilledIntoAValidModel) {
    TempDir dir;
    // An ellipsoid with a dent: a rotated, stretched sphere minus a smaller one that cuts its side.
    testfiles::writeText(dir.file("body.geo"), R"(SetFactory("OpenCASCADE");
Sphere(1) = {0, 0, 0, 1};
Rotate {{1, 1, 0}, {0, 0, 0}, 0.7} { Volume{1}; }
Dilate {{0, 0, 0}, {3, 2, 4}} { Volume{1}; }
Sphere(2) = {2.6, 0, 0, 1};
BooleanDifference(3) = { Volume{1}; Delete; }{ Volume{2}; Delete; };
Mesh.MeshSizeMax = 0.25;
)");
    const testfiles::RunResult g = testfiles::runCommand(
        "gmsh -2 '" + dir.file("body.geo") + "' -format stl -o '" + dir.file("body.stl") + "'", dir.path());
    ASSERT_EQ(g.status, 0) << g.out << g.err;

    ImportedTetMesh mesh;
    MeshImportReport report;
    std::string error;
    omp_set_num_threads(3);
    {
        DiagCapture console;
        ASSERT_TRUE(importFile(dir.file("body.stl"), mesh, report, error)) << error;
        // gmsh's own thread setting does not leak into the simulator's loops afterwards.
        EXPECT_EQ(omp_get_max_threads(), 3);
        EXPECT_TRUE(console.contains("closed surface of body.stl")) << console.text();
    }
    EXPECT_TRUE(report.meshedFromSurface);
    EXPECT_GT(report.surfaceTriangles, 0);
    EXPECT_GE(mesh.points.size(), 5000u);
    EXPECT_LE(mesh.points.size(), 10000u);
    for (const auto& t : mesh.tets)
        ASSERT_GT(signedVolume6(mesh.points[t[0]], mesh.points[t[1]], mesh.points[t[2]], mesh.points[t[3]]), 0.0);
    // The ellipsoid's 32 pi minus the cut-off cap: the fill follows the surface, not its hull.
    const double ellipsoid = 4.0 / 3.0 * M_PI * 24.0;
    EXPECT_LT(volumeOf(mesh), 0.99 * ellipsoid);
    EXPECT_GT(volumeOf(mesh), 0.80 * ellipsoid);

    // Loaded as a model: every boundary face pairs up into one closed surface.
    ASSERT_TRUE(writeTetGenBase(dir.file("body"), mesh, error)) << error;
    DiagCapture quiet;
    TLSMModel model;
    ASSERT_TRUE(model.loadModel(dir.file("body")));
    EXPECT_EQ(model.m_surface.isValid(), 1);
    EXPECT_EQ(model.vertexCount(), static_cast<int>(mesh.points.size()));

    // The same surface as a .ply2 file (written here: meshio has no writer for it) fills alike.
    testfiles::writeText(dir.file("ply2.py"),
                         "import meshio, sys\n"
                         "m = meshio.read(sys.argv[1])\n"
                         "t = m.cells_dict['triangle']\n"
                         "with open(sys.argv[2], 'w') as f:\n"
                         "    f.write('%d\\n%d\\n' % (len(m.points), len(t)))\n"
                         "    for p in m.points: f.write('%.17g %.17g %.17g\\n' % tuple(p))\n"
                         "    for r in t: f.write('3 %d %d %d\\n' % tuple(r))\n");
    ASSERT_EQ(testfiles::runCommand("/usr/bin/python3 '" + dir.file("ply2.py") + "' '" + dir.file("body.stl") + "' '" +
                                        dir.file("body.ply2") + "'",
                                    dir.path())
                  .status,
              0);
    ImportedTetMesh fromPly2;
    MeshImportReport ply2Report;
    ASSERT_TRUE(importFile(dir.file("body.ply2"), fromPly2, ply2Report, error)) << error;
    EXPECT_EQ(fromPly2.points.size(), mesh.points.size());
    EXPECT_EQ(fromPly2.tets.size(), mesh.tets.size());

    // A given element size is used as it is: twice the size, far fewer vertices.
    ImportedTetMesh coarse;
    ASSERT_TRUE(importFile(dir.file("body.stl"), coarse, report, error, 2.0 * report.elementSize)) << error;
    EXPECT_LT(coarse.points.size(), mesh.points.size() / 3);
}

TEST(MeshImportTest, RefusalsNameTheFileAndTheFault) {
    TempDir dir;
    testmesh::writeTetGen(testmesh::cube(1), dir.file("cube"));
    // Hexahedra beside tetrahedra; triangles only, open; lines only; a coordinate beyond the guard.
    writeWithMeshio(dir, dir.file("cube"),
                    R"({"points": [[0,0,0],[1,0,0],[1,1,0],[0,1,0],[0,0,1],[1,0,1],[1,1,1],[0,1,1]],
        "cells": [["hexahedron", [[8, 9, 10, 11, 12, 13, 14, 15]]]]})",
                    {{"gmsh22", "hex.msh"}});
    writeWithMeshio(dir, dir.file("cube"), R"({"only_extra": true, "cells": [["triangle", [[0, 1, 2], [0, 2, 3]]]]})",
                    {{"stl", "open.stl"}});
    writeWithMeshio(dir, dir.file("cube"), R"({"only_extra": true, "cells": [["line", [[0, 1], [1, 2]]]]})",
                    {{"vtk42", "lines.vtk"}});
    writeWithMeshio(dir, dir.file("cube"), R"({"points": [[1e70, 0, 0]], "cells": [["tetra", [[0, 1, 2, 8]]]]})",
                    {{"medit", "huge.mesh"}});
    // A .msh without its format section is a gmsh script; it must never run.
    testfiles::writeText(dir.file("script.msh"), "SystemCall \"touch '" + dir.file("ran") + "'\";\n");
    testfiles::writeText(dir.file("v1.msh"), "$MeshFormat\n1.0 0 8\n$EndMeshFormat\n");
    testfiles::writeText(dir.file("garbage.vtk"), "# vtk DataFile Version 2.0\nnot really\nASCII\nDATASET POLYDATA\n");
    testfiles::writeText(dir.file("model.geo"), "Point(1) = {0, 0, 0};\n");
    // gmsh has no reader for .off and would run it as a script.
    testfiles::writeText(dir.file("shape.off"), "SystemCall \"touch '" + dir.file("ran") + "'\";\n");
    writeWithMeshio(dir, dir.file("cube"), "{}", {{"vtk", "new.vtk"}});

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"hex.msh", "hex.msh has 1 hexahedron besides 6 tetrahedra; only tetrahedral meshes can be imported"},
        {"open.stl", "open.stl: surface is not closed (4 edges border only one triangle)"},
        {"lines.vtk", "lines.vtk is not a mesh: it holds no tetrahedra and no surface triangles"},
        {"huge.mesh", "beyond +-1e60"},
        {"script.msh", "script.msh is not a gmsh mesh file (no $MeshFormat section)"},
        {"v1.msh", "v1.msh is gmsh mesh format version 1.0; versions 2 and 4 can be imported"},
        {"garbage.vtk", "garbage.vtk"},
        {"model.geo", "model.geo: unknown mesh format"},
        {"shape.off", "shape.off: unknown mesh format"},
        {"new.vtk", "new.vtk is legacy VTK version 5.1, which cannot be imported; write it as version 4.2"},
        {"missing.msh", "no such file"},
    };
    for (const auto& [name, expected] : cases) {
        SCOPED_TRACE(name);
        ImportedTetMesh mesh;
        mesh.points.resize(3);
        MeshImportReport report;
        std::string error;
        DiagCapture console;
        EXPECT_FALSE(importFile(dir.file(name), mesh, report, error));
        EXPECT_NE(error.find(expected), std::string::npos) << error;
        EXPECT_TRUE(mesh.points.empty() && mesh.tets.empty());
        EXPECT_EQ(console.text(), "");  // gmsh's own lines never reach the console
    }
    EXPECT_FALSE(testfiles::exists(dir.file("ran")));

    // A size that would fill a surface with billions of vertices is refused before meshing.
    writeWithMeshio(dir, dir.file("cube"), "{}", {{"gmsh22", "cube.msh"}});
    ImportedTetMesh mesh;
    MeshImportReport report;
    std::string error;
    testfiles::writeText(dir.file("closed.py"),
                         "import meshio, numpy as np\n"
                         "p = np.array([[0,0,0],[1,0,0],[0,1,0],[0,0,1]], float)\n"
                         "t = np.array([[0,2,1],[0,1,3],[0,3,2],[1,2,3]])\n"
                         "meshio.write('" +
                             dir.file("tet.stl") + "', meshio.Mesh(p, [('triangle', t)]))\n");
    ASSERT_EQ(testfiles::runCommand("/usr/bin/python3 '" + dir.file("closed.py") + "'", dir.path()).status, 0);
    EXPECT_FALSE(importFile(dir.file("tet.stl"), mesh, report, error, 1e-4));
    EXPECT_NE(error.find("at most 2000000 are allowed"), std::string::npos) << error;
}

TEST(MeshImportTest, ImportBesideReusesItsOwnBaseAndNeverOverwritesAnother) {
    TempDir dir;
    ImportedTetMesh mesh;
    mesh.points = {vec3(0, 0, 0), vec3(1, 0, 0), vec3(0, 1, 0), vec3(0, 0, 1)};
    mesh.tets = {{0, 1, 2, 3}};
    const std::string source = dir.file("heart.msh");
    EXPECT_EQ(importBaseBeside(source, mesh), dir.file("heart"));

    std::string error;
    ASSERT_TRUE(writeTetGenBase(dir.file("heart"), mesh, error)) << error;
    testfiles::writeText(dir.file("heart.vm"), "painted\n");
    EXPECT_EQ(importBaseBeside(source, mesh), dir.file("heart"));  // same mesh: its project applies

    ImportedTetMesh other = mesh;
    other.points[3] = vec3(0, 0, 2);
    EXPECT_EQ(importBaseBeside(source, other), dir.file("heart-imported"));
    ASSERT_TRUE(writeTetGenBase(dir.file("heart-imported"), mesh, error)) << error;
    EXPECT_EQ(importBaseBeside(source, other), dir.file("heart-imported-2"));
    EXPECT_EQ(testfiles::readText(dir.file("heart.vm")), "painted\n");

    // A project file alone takes the name as well.
    testfiles::writeText(dir.file("lung.vm"), "x\n");
    EXPECT_EQ(importBaseBeside(dir.file("lung.stl"), mesh), dir.file("lung-imported"));
}

}  // namespace
