// velmora-cli import and export-fields run as programs: meshes written by gmsh from geometry of
// its own, imported, loaded and beating; exported fields read back with meshio.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "BeatingProject.h"
#include "common/TestFiles.h"
#include "common/TestMeshes.h"
#include "linalg/Diagnostics.h"
#include "mesh/TTetMesh.h"
#include "model/ProjectFile.h"
#include "model/TLSMModel.h"

namespace {

using testfiles::RunResult;
using testfiles::TempDir;

RunResult run(const std::string& args, const TempDir& dir, const std::string& environment = "") {
    return testfiles::runCommand(
        "OMP_WAIT_POLICY=passive " + environment + " " + testfiles::binDir() + "/velmora-cli " + args, dir.path());
}

/// A thick-walled, dented ellipsoidal shell: two rotated, stretched spheres whose seams differ.
const char* const kShellGeometry = R"(SetFactory("OpenCASCADE");
Sphere(1) = {0, 0, 0, 1};
Rotate {{1, 0.3, 0.2}, {0, 0, 0}, 0.9} { Volume{1}; }
Dilate {{0, 0, 0}, {2.0, 1.6, 2.8}} { Volume{1}; }
Sphere(2) = {0.2, 0.1, 0, 1};
Rotate {{0.2, 1, 0.4}, {0.2, 0.1, 0}, 0.5} { Volume{2}; }
Dilate {{0.2, 0.1, 0}, {1.2, 1.0, 2.0}} { Volume{2}; }
BooleanDifference(3) = { Volume{1}; Delete; }{ Volume{2}; Delete; };
Mesh.MeshSizeMax = 0.35;
)";

TEST(CliImportTest, GmshWrittenFilesImportLoadAndBeat) {
    TempDir dir;
    testfiles::writeText(dir.file("shell.geo"), kShellGeometry);
    const std::string geo = "'" + dir.file("shell.geo") + "'";
    const std::vector<std::pair<std::string, std::string>> outputs = {{"-3 -format msh2", "shell2.msh"},
                                                                      {"-3 -format msh4", "shell4.msh"},
                                                                      {"-3 -format vtk", "shell.vtk"},
                                                                      {"-3 -format mesh", "shell.mesh"},
                                                                      {"-2 -format stl", "shell.stl"}};
    for (const auto& [options, name] : outputs) {
        const RunResult g =
            testfiles::runCommand("gmsh " + options + " " + geo + " -o '" + dir.file(name) + "'", dir.path());
        ASSERT_EQ(g.status, 0) << g.out << g.err;
    }
    // What the volume files hold, counted by meshio.
    testfiles::writeText(dir.file("count.py"),
                         "import meshio, sys\n"
                         "m = meshio.read(sys.argv[1])\n"
                         "tets = [c.data for c in m.cells if c.type == 'tetra']\n"
                         "used = set(int(i) for block in tets for row in block for i in row)\n"
                         "print(sum(len(b) for b in tets), len(used))\n");
    const RunResult counted = testfiles::runCommand(
        "/usr/bin/python3 '" + dir.file("count.py") + "' '" + dir.file("shell2.msh") + "'", dir.path());
    ASSERT_EQ(counted.status, 0) << counted.err;
    size_t fileTets = 0, fileVertices = 0;
    ASSERT_EQ(std::sscanf(counted.out.c_str(), "%zu %zu", &fileTets, &fileVertices), 2);
    ASSERT_GT(fileTets, 1000u);

    for (const auto& output : outputs) {
        const std::string& name = output.second;
        SCOPED_TRACE(name);
        const std::string base =
            dir.file("imported_" + name.substr(0, name.find('.')) + "_" + name.substr(name.find('.') + 1));
        const RunResult imported = run("import '" + dir.file(name) + "' '" + base + "' --json --quiet", dir);
        ASSERT_EQ(imported.status, 0) << imported.err;
        const nlohmann::json j = nlohmann::json::parse(imported.out);
        const bool surface = name == "shell.stl";
        EXPECT_EQ(j["from_surface"], surface);
        if (surface) {
            EXPECT_GE(j["vertices"].get<int>(), 5000);
            EXPECT_LE(j["vertices"].get<int>(), 10000);
        } else {
            EXPECT_EQ(j["vertices"].get<size_t>(), fileVertices);
            EXPECT_EQ(j["tetrahedra"].get<size_t>(), fileTets);
        }
        const RunResult info = run("info '" + base + "' --json --quiet", dir);
        ASSERT_EQ(info.status, 0) << info.err;
        const nlohmann::json summary = nlohmann::json::parse(info.out);
        EXPECT_EQ(summary["vertices"], j["vertices"]);
        EXPECT_EQ(summary["tetrahedra"], j["tetrahedra"]);
        EXPECT_EQ(summary["surface_valid"], true);

        std::string error;
        ASSERT_TRUE(clitest::writeBeatingProject(base, error)) << error;
        const RunResult beat = run("simulate '" + base + "' --ticks 30 --json --quiet", dir);
        ASSERT_EQ(beat.status, 0) << beat.err;
        const nlohmann::json s = nlohmann::json::parse(beat.out);
        EXPECT_TRUE(s["finite"].get<bool>());
        EXPECT_GT(s["max_displacement"].get<double>(), 0.01);
        EXPECT_GT(s["lv_ef"].get<double>(), 0.0);
    }
}

TEST(CliImportTest, RefusedInputWritesNothingAndSaysWhy) {
    TempDir dir;
    testfiles::writeText(dir.file("open.py"),
                         "import meshio, numpy as np\n"
                         "p = np.array([[0,0,0],[1,0,0],[0,1,0],[0,0,1]], float)\n"
                         "meshio.write('" +
                             dir.file("open.stl") +
                             "', meshio.Mesh(p, [('triangle', np.array([[0,2,1],[0,1,3]]))]))\n");
    ASSERT_EQ(testfiles::runCommand("/usr/bin/python3 '" + dir.file("open.py") + "'", dir.path()).status, 0);
    const RunResult r = run("import '" + dir.file("open.stl") + "' '" + dir.file("out") + "' --quiet", dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("velmora-cli: import: open.stl: surface is not closed"), std::string::npos) << r.err;
    EXPECT_FALSE(testfiles::exists(dir.file("out.node")));
    EXPECT_FALSE(testfiles::exists(dir.file("out.ele")));

    EXPECT_EQ(run("import '" + dir.file("open.stl") + "' '" + dir.file("out") + "' --size -1", dir).status, 2);
    EXPECT_EQ(run("import '" + dir.file("open.stl") + "'", dir).status, 2);
}

TEST(CliImportTest, ExportedFieldsReadBackWithMeshioEqualTheModel) {
    TempDir dir;
    const std::string base = dir.file("block");
    // Off-centre and small, so that the file's coordinates differ from the model's scaled ones.
    testmesh::TetData block = testmesh::cube(3, 0.1);
    for (vec3& p : block.verts) p += vec3(5, -2, 1);
    testmesh::writeTetGen(block, base);
    {
        DiagCapture quiet;
        TLSMModel model;
        ASSERT_TRUE(model.loadModel(base));
        for (int v = 0; v < model.vertexCount(); ++v) model.m_vtxIsVentriOrAtrium[v] = static_cast<int16_t>(v % 3);
        addConstraintAtVertex(model.m_phaseField.m_constraints, model.m_vtxOrigPos, 0, 0.0);
        addConstraintAtVertex(model.m_phaseField.m_constraints, model.m_vtxOrigPos, 63, 0.8);
        addConstraintAtVertex(model.m_ampliField.m_constraints, model.m_vtxOrigPos, 5, -0.5);
        addConstraintAtVertex(model.m_orienField.m_depthField.m_constraints, model.m_vtxOrigPos, 3, 1.0);
        addConstraintAtVertex(model.m_orienField.m_depthField.m_constraints, model.m_vtxOrigPos, 60, 0.0);
        model.m_orienField.m_strokes.resize(1, TOrientationStroke(2));
        std::string error;
        ASSERT_TRUE(saveProjectTo(model, base + ".vm", error)) << error;
    }
    const RunResult exported = run("export-fields '" + base + "' '" + dir.file("fields.vtu") + "' --quiet", dir);
    ASSERT_EQ(exported.status, 0) << exported.err;

    testfiles::writeText(dir.file("read.py"),
                         "import json, meshio, sys\n"
                         "m = meshio.read(sys.argv[1])\n"
                         "out = {'points': m.points.tolist(),\n"
                         "       'tets': [row.tolist() for c in m.cells if c.type == 'tetra' for row in c.data]}\n"
                         "for k, v in m.point_data.items(): out[k] = v.tolist()\n"
                         "print(json.dumps(out))\n");
    const RunResult read = testfiles::runCommand(
        "/usr/bin/python3 '" + dir.file("read.py") + "' '" + dir.file("fields.vtu") + "'", dir.path());
    ASSERT_EQ(read.status, 0) << read.err;
    const nlohmann::json j = nlohmann::json::parse(read.out);

    // The model as the program loads it: fields solved from the project file.
    DiagCapture quiet;
    TLSMModel model;
    ASSERT_TRUE(model.loadModel(base));
    const int n = model.vertexCount();
    ASSERT_EQ(j["points"].size(), static_cast<size_t>(n));
    ASSERT_EQ(j["tets"].size(), model.m_tets.size());
    bool phaseVaries = false;
    for (int i = 0; i < n; ++i) {
        SCOPED_TRACE(i);
        for (int a = 0; a < 3; ++a) ASSERT_EQ(j["points"][i][a].get<double>(), block.verts[i][a]);
        ASSERT_EQ(j["phase"][i].get<double>(), model.m_phaseField.m_value[i]);
        ASSERT_EQ(j["amplitude"][i].get<double>(), model.m_ampliField.m_value[i]);
        ASSERT_EQ(j["depth"][i].get<double>(), model.m_orienField.m_depthField.m_value[i]);
        ASSERT_EQ(j["label"][i].get<int>(), model.m_vtxIsVentriOrAtrium[i]);
        const TVertexFrame& frame = model.m_orienField.m_frames[i];
        for (int a = 0; a < 3; ++a) {
            ASSERT_EQ(j["fibre"][i][a].get<double>(), frame.m_primaryDir[a]);
            ASSERT_EQ(j["sheet"][i][a].get<double>(), frame.m_depthDir[a]);
            ASSERT_EQ(j["normal"][i][a].get<double>(), frame.m_thirdDir[a]);
        }
        phaseVaries = phaseVaries || std::fabs(model.m_phaseField.m_value[i] - model.m_phaseField.m_value[0]) > 0.1;
    }
    EXPECT_TRUE(phaseVaries);  // the comparison covers a solved field, not constants
    for (size_t t = 0; t < model.m_tets.size(); ++t)
        for (int k = 0; k < 4; ++k) ASSERT_EQ(j["tets"][t][k].get<int>(), model.m_tets[t].vIdx[k]);

    EXPECT_EQ(run("export-fields '" + dir.file("missing") + "' '" + dir.file("x.vtu") + "' --quiet", dir).status, 1);
    EXPECT_EQ(run("export-fields '" + base + "' '" + dir.file("no/such/dir/x.vtu") + "' --quiet", dir).status, 1);
}

/// One tetrahedron in gmsh's format 2.
const char* const kOneTetMsh =
    "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n4\n1 0 0 0\n2 1 0 0\n3 0 1 0\n4 0 0 1\n$EndNodes\n"
    "$Elements\n1\n1 4 2 0 1 1 2 3 4\n$EndElements\n";

/// The crafted files of tests/data/crafted-imports (each tries to create $VELMORA_CRAFTED_MARKER
/// through gmsh's SystemCall) copied into dir.
void copyCraftedFiles(const TempDir& dir) {
    const RunResult copied = testfiles::runCommand(
        "cp -a '" + testfiles::sourceDir() + "/tests/data/crafted-imports/.' '" + dir.path() + "/'", dir.path());
    ASSERT_EQ(copied.status, 0) << copied.err;
}

TEST(CliImportTest, NoFileRunsItsScriptAndOptionFilesBesideAreNeverRead) {
    TempDir dir;
    copyCraftedFiles(dir);
    const std::string marker = dir.file("marker");
    const std::string env = "VELMORA_CRAFTED_MARKER='" + marker + "'";
    // Mixed-case extensions, script text in each format, option files beside a script.
    for (const char* name : {"heart.Stl", "heart.MSH", "heart.Vtk", "script.mesh", "script.ply2",
                             "header-then-script.msh", "empty-surface.stl", "script-with-option-file.msh"}) {
        SCOPED_TRACE(name);
        const RunResult r = run("import '" + dir.file(name) + "' '" + dir.file("out") + "' --quiet", dir, env);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(r.err.rfind("velmora-cli: import: ", 0), 0u) << r.err;
        EXPECT_FALSE(testfiles::exists(marker));
        EXPECT_FALSE(testfiles::exists(dir.file("out.node")));
    }
    // Option files beside good meshes: the meshes import, the option files are not read.
    const std::string script = "SystemCall \"touch $VELMORA_CRAFTED_MARKER\";\n";
    testfiles::writeText(dir.file("tet.msh"), kOneTetMsh);
    testfiles::writeText(dir.file("tet.msh.opt"), script);
    testfiles::writeText(dir.file("cube.stl.opt"), script);
    for (const auto& [name, options] :
         std::vector<std::pair<std::string, std::string>>{{"tet.msh", ""}, {"cube.stl", " --size 0.3"}}) {
        SCOPED_TRACE(name);
        const RunResult r =
            run("import '" + dir.file(name) + "' '" + dir.file("good") + "'" + options + " --json --quiet", dir, env);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_GE(nlohmann::json::parse(r.out)["tetrahedra"].get<int>(), 1);
        EXPECT_FALSE(testfiles::exists(marker));
    }
}

TEST(CliImportTest, AMesherThatRunsOutOfMemoryEndsTheImportWithOneMessage) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory leaves no room for a memory limit";
#endif
    TempDir dir;
    copyCraftedFiles(dir);
    // A fine fill of the cube needs some 100 MiB; the mesher gets 40.
    const RunResult r = run("import '" + dir.file("cube.stl") + "' '" + dir.file("out") + "' --size 0.03 --quiet", dir,
                            "VELMORA_MESHER_MEMORY_MB=40");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "velmora-cli: import: the mesher stopped: out of memory (limit 40 MiB)\n");
    EXPECT_FALSE(testfiles::exists(dir.file("out.node")));
}

TEST(CliImportTest, AProjectOfAnotherMeshUnderTheNameGoesToBak) {
    TempDir dir;
    copyCraftedFiles(dir);
    testfiles::writeText(dir.file("tet.msh"), kOneTetMsh);
    const std::string base = dir.file("heart");
    ASSERT_EQ(run("import '" + dir.file("tet.msh") + "' '" + base + "' --quiet", dir).status, 0);
    testfiles::writeText(base + ".vm", "the project painted on the tetrahedron");
    testfiles::writeText(base + ".vm.bak", "an older backup");

    // The same mesh again keeps its project.
    RunResult r = run("import '" + dir.file("tet.msh") + "' '" + base + "' --json --quiet", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(nlohmann::json::parse(r.out)["project_backup"].is_null());
    EXPECT_EQ(testfiles::readText(base + ".vm"), "the project painted on the tetrahedron");

    // Another mesh under the name: the project is moved aside, and the output says where.
    r = run("import '" + dir.file("cube.stl") + "' '" + base + "' --size 0.3 --json --quiet", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out)["project_backup"], base + ".vm.bak");
    EXPECT_NE(
        r.err.find("velmora-cli: import: " + base + ".vm belonged to another mesh; it was renamed " + base + ".vm.bak"),
        std::string::npos)
        << r.err;
    EXPECT_FALSE(testfiles::exists(base + ".vm"));
    EXPECT_EQ(testfiles::readText(base + ".vm.bak"), "the project painted on the tetrahedron");
    const RunResult info = run("info '" + base + "' --json --quiet", dir);
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_FALSE(nlohmann::json::parse(info.out)["has_project"].get<bool>());
}

}  // namespace
