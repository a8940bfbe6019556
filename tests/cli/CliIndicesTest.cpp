// velmora-cli indices run as a program: the bundled heart at rest and widened about its long axis in
// its own file coordinates, and the refusals (no left-ventricular wall, a state of another mesh).
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "common/TestFiles.h"
#include "common/TestMeshes.h"
#include "io/TetGenFile.h"
#include "linalg/Diagnostics.h"
#include "model/DeformationIndices.h"
#include "model/TLSMModel.h"

namespace {

using testfiles::RunResult;
using testfiles::TempDir;

RunResult runCli(const std::string& args, const TempDir& dir) {
    return testfiles::runCommand(testfiles::binDir() + "/velmora-cli " + args, dir.path());
}

void writeNodes(const std::string& path, const std::vector<vec3>& positions) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fprintf(f, "%zu 3 0 0\n", positions.size());
    for (size_t i = 0; i < positions.size(); ++i)
        std::fprintf(f, "%zu %.17g %.17g %.17g\n", i, positions[i].x, positions[i].y, positions[i].z);
    std::fclose(f);
}

}  // namespace

TEST(CliIndicesTest, TheBundledHeartAtRestAndWidenedInItsFileCoordinates) {
    TempDir dir;
    const std::string heart = testfiles::sourceDir() + "/models/ModelB";
    const RunResult rest = runCli("indices '" + heart + "' --json --quiet", dir);
    ASSERT_EQ(rest.status, 0) << rest.err;
    const nlohmann::json r = nlohmann::json::parse(rest.out);
    for (const char* key : {"longitudinal", "circumferential", "radial", "apical_rotation", "basal_rotation", "twist"})
        EXPECT_NEAR(r[key].get<double>(), 0.0, 1e-9) << key;
    ASSERT_EQ(r["segments"].size(), 17u);
    int tetrahedra = 0;
    for (int s = 0; s < 17; ++s) {
        EXPECT_EQ(r["segments"][s]["segment"], s + 1);
        EXPECT_EQ(r["segments"][s]["name"], DeformationIndices::segmentName(s + 1));
        tetrahedra += r["segments"][s]["tetrahedra"].get<int>();
    }
    EXPECT_EQ(tetrahedra, r["myocardium_tetrahedra"].get<int>());

    // 10 % wider across the long axis, in ModelB.node's own coordinates (the model itself is
    // normalised on loading): every circumferential direction stretches by exactly 10 %.
    TTetMesh mesh;
    TLSMModel model;
    DeformationIndices indices;
    {
        DiagCapture quiet;
        ASSERT_TRUE(loadTetMesh(mesh, heart));
        ASSERT_TRUE(model.loadModel(heart));
    }
    ASSERT_TRUE(
        indices.prepare(mesh.m_verts, mesh.m_tets, model.m_vtxIsVentriOrAtrium, model.m_trisVL, model.m_trisVR));
    const vec3 apex = mesh.m_verts[indices.apexVertex()], axis = indices.axisDirection();
    std::vector<vec3> wider;
    for (const vec3& p : mesh.m_verts) {
        const vec3 axial = axis * (p - apex).dot(axis);
        wider.push_back(apex + axial + (p - apex - axial) * 1.1);
    }
    writeNodes(dir.file("wider.node"), wider);
    const RunResult widened =
        runCli("indices '" + heart + "' --deformed '" + dir.file("wider.node") + "' --json --quiet", dir);
    ASSERT_EQ(widened.status, 0) << widened.err;
    const nlohmann::json w = nlohmann::json::parse(widened.out);
    EXPECT_NEAR(w["circumferential"].get<double>(), 10.0, 1e-6);
    EXPECT_NEAR(w["twist"].get<double>(), 0.0, 1e-6);
    for (const nlohmann::json& segment : w["segments"])
        EXPECT_NEAR(segment["circumferential"].get<double>(), 10.0, 1e-6);

    // A state of another mesh is refused, not read past.
    wider.pop_back();
    writeNodes(dir.file("fewer.node"), wider);
    const RunResult fewer = runCli("indices '" + heart + "' --deformed '" + dir.file("fewer.node") + "' --quiet", dir);
    EXPECT_EQ(fewer.status, 1);
    EXPECT_NE(fewer.err.find("fewer.node has 5517 vertices"), std::string::npos) << fewer.err;
    const RunResult missing = runCli("indices '" + heart + "' --deformed '" + dir.file("none.node") + "' --quiet", dir);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot read the deformed state"), std::string::npos) << missing.err;
}

TEST(CliIndicesTest, AModelWithoutALeftWallIsRefusedWithTheReason) {
    TempDir dir;
    testmesh::writeTetGen(testmesh::cube(2), dir.file("cube"));
    const RunResult run = runCli("indices '" + dir.file("cube") + "' --json --quiet", dir);
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_NE(run.err.find("no left-ventricular wall painted (VL): the deformation indices need it"), std::string::npos)
        << run.err;
}
