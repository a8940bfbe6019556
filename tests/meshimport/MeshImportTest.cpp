// MeshImport: round trips through files written by meshio and gmsh (writers we did not make), a
// closed surface filled into a valid model, and the refusals.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <tuple>

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
    binary = fmt.endswith("+binary")
    fmt = fmt.replace("+binary", "")
    options = {"medit": {}}.get(fmt, {"binary": binary})
    meshio.write(path, mesh, file_format=fmt, **options)
)";

/// Runs kMeshioWriter on our mesh at base; formats is a list of (meshio format, file name), the
/// format with "+binary" appended for a binary file.
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

/// Points TMPDIR at a folder of the test while it lives, so that the importer's private folders
/// can be seen; the previous value comes back afterwards.
class ScopedTempDirectory {
   public:
    explicit ScopedTempDirectory(const std::string& path) : m_path(path) {
        const char* previous = std::getenv("TMPDIR");
        m_hadPrevious = previous != nullptr;
        if (previous) m_previous = previous;
        std::filesystem::create_directories(path);
        setenv("TMPDIR", path.c_str(), 1);
    }
    ~ScopedTempDirectory() {
        if (m_hadPrevious)
            setenv("TMPDIR", m_previous.c_str(), 1);
        else
            unsetenv("TMPDIR");
    }
    size_t entries() const {
        return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(m_path), {}));
    }

   private:
    std::string m_path, m_previous;
    bool m_hadPrevious = false;
};

/// An ascii STL of a box centred at the origin (the unit cube unless extents are given), two
/// triangles per face; the faces listed (0..5: -x, +x, -y, +y, -z, +z) are written inside out.
std::string cubeStl(std::initializer_list<int> reversedFaces = {}, const vec3& extents = vec3(1, 1, 1)) {
    auto corner = [&extents](int i) {
        return vec3(((i >> 2 & 1) - 0.5) * extents.x, ((i >> 1 & 1) - 0.5) * extents.y, ((i & 1) - 0.5) * extents.z);
    };
    const int faces[6][4] = {{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}};
    std::string text = "solid cube\n";
    for (int f = 0; f < 6; ++f) {
        const bool reversed = std::find(reversedFaces.begin(), reversedFaces.end(), f) != reversedFaces.end();
        for (const auto& tri : {std::array<int, 3>{0, 1, 2}, std::array<int, 3>{0, 2, 3}}) {
            text += "  facet normal 0 0 0\n    outer loop\n";
            for (int k : reversed ? std::array<int, 3>{tri[0], tri[2], tri[1]} : tri) {
                const vec3 p = corner(faces[f][k]);
                text += "      vertex " + std::to_string(p.x) + " " + std::to_string(p.y) + " " + std::to_string(p.z) +
                        "\n";
            }
            text += "    endloop\n  endfacet\n";
        }
    }
    return text + "endsolid cube\n";
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
    // Binary files too, under extensions in other letter cases.
    writeWithMeshio(dir, dir.file("tube"), "{}",
                    {{"gmsh22", "tube2.msh"},
                     {"gmsh", "tube4.msh"},
                     {"vtk42", "tube.vtk"},
                     {"medit", "tube.mesh"},
                     {"gmsh22+binary", "tube2b.MSH"},
                     {"gmsh+binary", "tube4b.Msh"},
                     {"vtk42+binary", "tubeb.Vtk"},
                     {"medit", "tube.MESH"}});
    for (const char* name :
         {"tube2.msh", "tube4.msh", "tube.vtk", "tube.mesh", "tube2b.MSH", "tube4b.Msh", "tubeb.Vtk", "tube.MESH"}) {
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
    // Version 5.1 (meshio's default) is read; a later layout is not known.
    testfiles::writeText(dir.file("new.vtk"), "# vtk DataFile Version 6.0\nt\nASCII\nDATASET UNSTRUCTURED_GRID\n");

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
        {"new.vtk", "new.vtk is legacy VTK version 6.0, which cannot be imported; write it as version 5.1 or older"},
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

TEST(MeshImportTest, ScriptTextInAnyFormatIsRefusedBeforeGmshCanRunIt) {
    TempDir dir;
    ScopedTempDirectory scratch(dir.file("tmp"));
    const std::string script = "SystemCall \"touch '" + dir.file("ran") + "'\";\n";
    struct Case {
        std::string name, text, expected;
    };
    const std::vector<Case> cases = {
        // gmsh ran this one: it read the extension it did not know in that letter case as a script.
        {"heart.Stl", script, "heart.Stl is not an STL file: it does not begin with 'solid'"},
        {"solid.stl", "solid heart\n" + script + "endsolid heart\n", "expected 'facet normal x y z' or 'endsolid'"},
        {"heart.MSH", script, "heart.MSH is not a gmsh mesh file (no $MeshFormat section)"},
        {"blank.msh", "\n$MeshFormat\n2.2 0 8\n$EndMeshFormat\n" + script, "(no $MeshFormat section)"},
        {"after.msh", "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n" + script, "expected a section such as $Nodes"},
        {"heart.Vtk", script, "heart.Vtk is not a legacy VTK file"},
        {"grid.vtk", "# vtk DataFile Version 4.2\nheart\nASCII\nDATASET UNSTRUCTURED_GRID\n" + script,
         "expected POINTS"},
        {"heart.mesh", "MeshVersionFormatted 1\n" + script, "heart.mesh is not a valid Medit mesh file"},
        {"heart.ply2", "3\n1\n" + script, "expected the coordinates 'x y z' of vertex 0"},
        {"heart.PLY2", script, "heart.PLY2 is not a valid PLY2 file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testfiles::writeText(dir.file(c.name), c.text);
        ImportedTetMesh mesh;
        MeshImportReport report;
        std::string error;
        EXPECT_FALSE(importFile(dir.file(c.name), mesh, report, error));
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
        EXPECT_FALSE(testfiles::exists(dir.file("ran")));
        EXPECT_EQ(scratch.entries(), 0u);  // the private copy went with the refusal
    }
}

TEST(MeshImportTest, OptionFilesBesideAnImportAreNeverRunAndThePrivateCopyIsRemoved) {
    TempDir dir;
    ScopedTempDirectory scratch(dir.file("tmp"));
    testmesh::writeTetGen(testmesh::cube(1), dir.file("cube"));
    writeWithMeshio(dir, dir.file("cube"), "{}", {{"gmsh22", "box.msh"}});
    testfiles::writeText(dir.file("box.stl"), cubeStl());
    testfiles::writeText(dir.file("Box.Stl"), cubeStl());
    const std::string script = "SystemCall \"touch '" + dir.file("ran") + "'\";\n";
    for (const char* name : {"box.msh", "box.stl", "Box.Stl"}) {
        SCOPED_TRACE(name);
        // gmsh reads NAME.opt beside NAME as a script.
        testfiles::writeText(dir.file(std::string(name) + ".opt"), script);
        ImportedTetMesh mesh;
        MeshImportReport report;
        std::string error;
        DiagCapture console;
        ASSERT_TRUE(importFile(dir.file(name), mesh, report, error, 0.25)) << error;
        EXPECT_NEAR(volumeOf(mesh), 1.0, 1e-9);
        EXPECT_FALSE(testfiles::exists(dir.file("ran")));
        EXPECT_EQ(scratch.entries(), 0u);
    }
}

TEST(MeshImportTest, HeaderCountsBeyondTheFileAreRefusedBeforeGmshAllocatesForThem) {
    TempDir dir;
    const std::string corners = "0 0 0\n1 0 0\n0 1 0\n0 0 1\n";
    std::string binaryStl(80, ' ');
    binaryStl += std::string("\x00\xca\x9a\x3b", 4) + std::string(50, '\0');  // 10^9 triangles in 134 bytes
    struct Case {
        std::string name, text, expected;
    };
    std::vector<Case> cases = {
        {"nodes.msh",
         "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n2000000000\n1 0 0 0\n2 1 0 0\n3 0 1 0\n4 0 0 1\n"
         "$EndNodes\n$Elements\n1\n1 4 0 1 2 3 4\n$EndElements\n",
         "declares 2000000000 nodes, more than the file can hold"},
        {"points.vtk",
         "# vtk DataFile Version 4.2\nheart\nASCII\nDATASET UNSTRUCTURED_GRID\nPOINTS 999999999 double\n" + corners +
             "CELLS 1 5\n4 0 1 2 3\nCELL_TYPES 1\n10\n",
         "POINTS declares 999999999 points, more than the file can hold"},
        {"vertices.mesh",
         "MeshVersionFormatted 1\nDimension 3\nVertices\n999999999\n0 0 0 0\n1 0 0 0\n0 1 0 0\n0 0 1 0\n"
         "Tetrahedra\n1\n1 2 3 4 0\nEnd\n",
         "declares 999999999 Vertices entries, more than the file can hold"},
        {"count.stl", binaryStl, "its header declares 1000000000 triangles, which take 50000000084 bytes, not 134"},
        {"faces.ply2", "4\n2000000000\n" + corners + "3 0 1 2\n", "declares 2000000000 faces"},
    };
    // Over 2 GiB (sparse, so the test writes nothing): refused before anything reads it.
    testfiles::writeText(dir.file("large.stl"), "solid large\n");
    std::filesystem::resize_file(dir.file("large.stl"), (uint64_t(2) << 30) + 1);
    cases.push_back({"large.stl", "", "large.stl is larger than 2 GiB; files over 2 GiB cannot be imported"});
    const auto start = std::chrono::steady_clock::now();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.text.empty()) testfiles::writeText(dir.file(c.name), c.text);
        ImportedTetMesh mesh;
        MeshImportReport report;
        std::string error;
        EXPECT_FALSE(importFile(dir.file(c.name), mesh, report, error));
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }
    // gmsh would have tried to allocate gigabytes for each; the check reads a few hundred bytes.
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0);
}

TEST(MeshImportTest, FillSizeIsEstimatedForSurfacesOfAnyOrientationAndRefusedWhenTooFine) {
    TempDir dir;
    // Three faces inside out: the signed volume sums to exactly 0, yet the surface is closed.
    testfiles::writeText(dir.file("flipped.stl"), cubeStl({1, 3, 5}));
    // Two faces inside out: the signed volume sums to 1/3, which would let a fill 3 times too fine start.
    testfiles::writeText(dir.file("twisted.stl"), cubeStl({1, 3}));
    testfiles::writeText(dir.file("cube.stl"), cubeStl());
    // A thin slab: 1000 x 1000 x 0.01, whose surface alone would take millions of vertices.
    testfiles::writeText(dir.file("slab.stl"), cubeStl({}, vec3(1000, 1000, 0.01)));
    // A closed but flat surface: two triangles back to back.
    testfiles::writeText(dir.file("flat.stl"),
                         "solid flat\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\n"
                         "endloop\nendfacet\nfacet normal 0 0 -1\nouter loop\nvertex 0 0 0\nvertex 0 1 0\n"
                         "vertex 1 0 0\nendloop\nendfacet\nendsolid flat\n");
    testfiles::writeText(dir.file("tet.ply2"),
                         "4\n4\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n3 0 2 1\n3 0 1 3\n3 0 3 2\n3 1 2 3\n");
    const std::vector<std::tuple<std::string, double, std::string>> refusals = {
        // The bounding box (volume 1) stands in for the volume that summed to 0.
        {"flipped.stl", 1e-3, "flipped.stl: element size 0.001 would give about 1.15e+09 vertices; at most 2000000"},
        {"twisted.stl", 0.008, "twisted.stl: element size 0.008 would give about 2.25e+06 vertices"},
        {"slab.stl", 0.5, "slab.stl: element size 0.5 would give about 9.2e+06 vertices"},
        {"cube.stl", 1e-300, "cube.stl: element size 1e-300 would give about 1.15e+900 vertices"},
        {"flat.stl", 0.1, "flat.stl: the closed surface encloses no volume"},
        // gmsh's surface classification splits a tetrahedron's surface without end.
        {"tet.ply2", 0.0, "tet.ply2: a part of the surface is a single tetrahedron (4 triangles)"},
    };
    for (const auto& [name, size, expected] : refusals) {
        SCOPED_TRACE(name);
        ImportedTetMesh mesh;
        MeshImportReport report;
        std::string error;
        EXPECT_FALSE(importFile(dir.file(name), mesh, report, error, size));
        EXPECT_NE(error.find(expected), std::string::npos) << error;
    }
    ImportedTetMesh mesh;
    MeshImportReport report;
    std::string error;
    DiagCapture console;
    ASSERT_TRUE(importFile(dir.file("flipped.stl"), mesh, report, error, 0.2)) << error;
    EXPECT_NEAR(volumeOf(mesh), 1.0, 1e-9);
}

}  // namespace
