// velmora-cli run as a program: info --json after the full loading sequence, save, refusals.
#include <gtest/gtest.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "common/TestFiles.h"
#include "common/TestMeshes.h"
#include "linalg/Diagnostics.h"
#include "model/ProjectFile.h"
#include "model/TLSMModel.h"

namespace {

using testfiles::RunResult;
using testfiles::TempDir;

/// Runs velmora-cli with the arguments (already quoted).
testfiles::RunResult runCli(const std::string& args, const TempDir& dir) {
    return testfiles::runCommand(testfiles::binDir() + "/velmora-cli " + args, dir.path());
}

class CliTest : public ::testing::Test {
   protected:
    void SetUp() override { testmesh::writeTetGen(testmesh::cube(2), base); }
    TempDir dir;
    std::string base = dir.file("heart");
};

TEST_F(CliTest, InfoReportsTheWholeLoadedState) {
    {
        // Author a project through the model and save it the way the application does.
        DiagCapture quiet;
        TLSMModel model;
        ASSERT_TRUE(model.loadModel(base));
        for (int i = 0; i < model.vertexCount(); ++i)
            model.m_vtxIsVentriOrAtrium[i] = static_cast<int16_t>(i < 10 ? 1 : i < 14 ? 2 : 0);
        addConstraintAtVertex(model.m_phaseField.m_constraints, model.m_vtxOrigPos, 3, 1.0);
        addConstraintAtVertex(model.m_orienField.m_depthField.m_constraints, model.m_vtxOrigPos, 4, 1.0);
        addConstraintAtVertex(model.m_orienField.m_depthField.m_constraints, model.m_vtxOrigPos, 8, 0.0);
        model.m_orienField.m_strokes.resize(1, TOrientationStroke(2));
        model.m_trisVL = {{0, 1, 2}, {1, 2, 3}, {0, 2, 3}};
        model.m_trisAR = {{4, 5, 6}};
        model.m_iterationN = 12;
        model.m_excitation->m_chartVent = {{0, 0}, {0.25, 0.5}};
        model.m_excitation->m_propagationModeA = true;
        model.m_excitation->m_numOfWave = 2;
        std::string error;
        ASSERT_TRUE(saveProjectTo(model, base + ".vm", error)) << error;
    }
    const RunResult r = runCli("info '" + base + ".node' --json --quiet", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["vertices"], 27);
    EXPECT_NEAR(j["rest_volume"].get<double>(), 1000.0, 1e-9);  // the cube scaled to extent 10
    EXPECT_EQ(j["has_project"], true);
    EXPECT_EQ(j["chambers"], nlohmann::json({{"VR", 0}, {"VL", 3}, {"AR", 1}, {"AL", 0}}));
    EXPECT_EQ(j["labels"], nlohmann::json({{"ventricle", 10}, {"atrium", 4}, {"neither", 13}}));
    EXPECT_EQ(j["constraints"], nlohmann::json({{"phase", 1}, {"amplitude", 0}, {"depth", 2}}));
    EXPECT_EQ(j["strokes"], 1);
    EXPECT_EQ(j["iteration_n"], 12);
    const nlohmann::json& ex = j["excitation"];
    EXPECT_EQ(ex["amplitude"], 0.5);
    EXPECT_EQ(ex["cycle_length"], 1.0);
    EXPECT_EQ(ex["num_of_wave"], 2.0);
    EXPECT_EQ(ex["num_of_wave_a"], 1.0);
    EXPECT_EQ(ex["propagation"], false);
    EXPECT_EQ(ex["propagation_a"], true);
    EXPECT_EQ(ex["chart_vent"], nlohmann::json::parse("[[0.0, 0.0], [0.25, 0.5]]"));
    EXPECT_EQ(ex["chart_atri"], nlohmann::json::parse("[[0.0, 0.0]]"));
}

TEST_F(CliTest, RestVolumeCountsInvertedTetrahedraAsZeroLikeTheSimulator) {
    auto mesh = testmesh::cube(2);
    std::swap(mesh.tets[0].vIdx[2], mesh.tets[0].vIdx[3]);  // one tetrahedron turned inside out
    testmesh::writeTetGen(mesh, base);
    const RunResult info = runCli("info '" + base + "' --json --quiet", dir);
    const RunResult sim = runCli("simulate '" + base + "' --ticks 1 --json --quiet", dir);
    ASSERT_EQ(info.status, 0) << info.err;
    ASSERT_EQ(sim.status, 0) << sim.err;
    const double rest = nlohmann::json::parse(info.out)["rest_volume"].get<double>();
    EXPECT_EQ(rest, nlohmann::json::parse(sim.out)["rest_volume"].get<double>());
    // The cube scaled to extent 10 holds 1000; one of its tetrahedra now adds nothing.
    EXPECT_LT(rest, 1000.0 - 1.0);
    EXPECT_GT(rest, 900.0);
}

TEST_F(CliTest, EmptyAndScrambledMeshesExitOneWithTheReasonEvenWhenQuiet) {
    const std::string four = "4 3 0 0\n0 0 0 0\n1 1 0 0\n2 0 1 0\n3 0 0 1\n";
    const struct {
        std::string node, ele;
        const char* reason;
    } cases[] = {
        // The header-only pair once ended in a segmentation fault in the simulator's set-up.
        {"0 3 0 0\n", "0 4 0\n", ".node holds no vertices: the mesh is empty"},
        {four, "0 4 0\n", ".ele holds no tetrahedra: the mesh is empty"},
        {four, "2 4 0\n0 0 1 2 3\n1 0 1 2 3\n", "the mesh has no surface"},
        {four, "1 4 0\n0 0 1 2 3 1\n", "more values than the header announces for one tetrahedron"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        testfiles::writeText(base + ".node", c.node);
        testfiles::writeText(base + ".ele", c.ele);
        for (const char* command : {"info", "simulate"}) {
            const RunResult r = runCli(std::string(command) + " '" + base + "' --quiet", dir);
            EXPECT_EQ(r.status, 1) << command << r.err;
            EXPECT_NE(r.err.find("cannot load model"), std::string::npos) << command << r.err;
            EXPECT_NE(r.err.find(c.reason), std::string::npos) << command << r.err;
        }
    }
}

TEST_F(CliTest, SaveWritesTheProjectFileAndInfoThenFindsIt) {
    RunResult r = runCli("info '" + base + "' --json --quiet", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out)["has_project"], false);

    r = runCli("save '" + base + "' --quiet", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string saved = testfiles::readText(base + ".vm");
    EXPECT_EQ(saved.rfind("#VelmoraSaveFile\n", 0), 0u);
    EXPECT_NE(saved.find("#VtxOrigPos 27\n"), std::string::npos);

    r = runCli("info '" + base + "' --json --quiet", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out)["has_project"], true);
    // Saving again reproduces the file byte for byte.
    ASSERT_EQ(runCli("save '" + base + "' --quiet", dir).status, 0);
    EXPECT_EQ(testfiles::readText(base + ".vm"), saved);
}

TEST_F(CliTest, RefusedProjectFileFailsInfoAndIsNotOverwrittenBySave) {
    const std::string mismatched = "#VelmoraSaveFile\n#IterationN 5\n#VtxOrigPos 1\n0 0 0\n#VelmoraSaveFileEnd\n";
    testfiles::writeText(base + ".vm", mismatched);
    RunResult r = runCli("info '" + base + "' --json --quiet", dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("refused"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("#VtxOrigPos: 1 positions for a 27-vertex mesh"), std::string::npos) << r.err;

    r = runCli("save '" + base + "' --quiet", dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(testfiles::readText(base + ".vm"), mismatched);
    r = runCli("save '" + base + "' --quiet --force", dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(testfiles::readText(base + ".vm"), mismatched);
}

TEST_F(CliTest, SolveFieldsGivesTheSameFieldsWithEveryBackEnd) {
    RunResult r = runCli("solve-fields '" + base + "' --quiet", dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no project file"), std::string::npos) << r.err;
    {
        DiagCapture quiet;
        TLSMModel model;
        ASSERT_TRUE(model.loadModel(base));
        addConstraintAtVertex(model.m_phaseField.m_constraints, model.m_vtxOrigPos, 0, 0.2);
        addConstraintAtVertex(model.m_phaseField.m_constraints, model.m_vtxOrigPos, 26, 0.7);
        addConstraintAtVertex(model.m_ampliField.m_constraints, model.m_vtxOrigPos, 13, -0.5);
        std::string error;
        ASSERT_TRUE(saveProjectTo(model, base + ".vm", error)) << error;
    }
    const std::string saved = testfiles::readText(base + ".vm");
    nlohmann::json first;
    for (const char* solver : {"cholmod", "umfpack", "lu"}) {
        r = runCli("solve-fields '" + base + "' --json --quiet --solver " + solver, dir);
        ASSERT_EQ(r.status, 0) << solver << r.err;
        const nlohmann::json j = nlohmann::json::parse(r.out);
        EXPECT_EQ(j["solver"], solver);
        EXPECT_EQ(j["vertices"], 27);
        EXPECT_EQ(j["phase"]["constraints"], 2);
        // The two penalised corners hold their values nearly; everything between lies between.
        EXPECT_NEAR(j["phase"]["min"].get<double>(), 0.2, 0.01) << solver;
        EXPECT_NEAR(j["phase"]["max"].get<double>(), 0.7, 0.01) << solver;
        EXPECT_NEAR(j["amplitude"]["min"].get<double>(), -0.5, 1e-6) << solver;
        EXPECT_GE(j["phase"]["ms"].get<double>(), 0.0);
        EXPECT_EQ(j["orientation"]["frames_finite"], true);
        if (first.is_null()) first = j;
        for (const char* field : {"phase", "amplitude"}) {
            for (const char* end : {"min", "max"})
                EXPECT_NEAR(j[field][end].get<double>(), first[field][end].get<double>(), 1e-9) << solver << field;
        }
    }
    EXPECT_EQ(testfiles::readText(base + ".vm"), saved) << "nothing written without --write";

    testfiles::writeText(base + ".vm", saved + "\n");
    r = runCli("solve-fields '" + base + "' --write --quiet", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("saved"), std::string::npos) << r.out;
    EXPECT_EQ(testfiles::readText(base + ".vm"), saved) << "written as save writes it";

    EXPECT_EQ(runCli("solve-fields '" + base + "' --solver superlu", dir).status, 2);
    EXPECT_EQ(runCli("solve-fields '" + base + "' --solver", dir).status, 2);
    const std::string mismatched = "#VelmoraSaveFile\n#VtxOrigPos 1\n0 0 0\n#VelmoraSaveFileEnd\n";
    testfiles::writeText(base + ".vm", mismatched);
    r = runCli("solve-fields '" + base + "' --write --quiet", dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("refused"), std::string::npos) << r.err;
    EXPECT_EQ(testfiles::readText(base + ".vm"), mismatched);
}

TEST_F(CliTest, HelpListsSaveAndUsageErrorsGiveTwo) {
    const RunResult help = runCli("--help", dir);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("save BASE"), std::string::npos);
    EXPECT_NE(help.out.find("has_project"), std::string::npos);
    EXPECT_EQ(runCli("save", dir).status, 2);
    EXPECT_EQ(runCli("save '" + dir.file("absent") + "' --quiet", dir).status, 1);
    // Every command the program runs has its entry, and every entry names a command it runs.
    for (const char* command : {"info", "save", "simulate", "solve-fields", "make-model", "import", "export-carp",
                                "export-fields", "indices", "fibres", "render", "movie"}) {
        SCOPED_TRACE(command);
        EXPECT_NE(help.out.find(std::string("\n  ") + command + " "), std::string::npos);
        EXPECT_EQ(runCli(command, dir).err.find("unknown command"), std::string::npos);
    }
    EXPECT_NE(runCli("no-such-command", dir).err.find("unknown command"), std::string::npos);
}

}  // namespace
