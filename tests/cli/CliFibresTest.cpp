// velmora-cli fibres --rule-based run as a program: on a copy of the bundled heart (the figures, the
// written record and what loading it gives) and its refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "common/TestFiles.h"
#include "common/TestMeshes.h"
#include "linalg/Diagnostics.h"
#include "model/DeformationIndices.h"
#include "model/TLSMModel.h"

namespace {

using testfiles::RunResult;
using testfiles::TempDir;

RunResult runCli(const std::string& args, const TempDir& dir) {
    return testfiles::runCommand(testfiles::binDir() + "/velmora-cli " + args, dir.path());
}

// A band's mean helix angle may differ from the rule's mean over the same vertices by this much:
// the angle is measured in the left wall's frame, not in the frame the rule was built in.
constexpr double kBandToleranceDegrees = 6.0;

}  // namespace

TEST(CliFibresTest, RuleBasedFibresOnTheBundledHeartAreWrittenAndLoadBack) {
    TempDir dir;
    const std::string base = dir.file("heart");
    for (const char* ext : {".node", ".ele", ".vm"})
        std::filesystem::copy_file(testfiles::sourceDir() + "/models/ModelB" + ext, base + ext);
    const RunResult run = runCli("fibres '" + base + "' --rule-based --endo 50 --epi -40 --write --json --quiet", dir);
    ASSERT_EQ(run.status, 0) << run.err;
    const nlohmann::json j = nlohmann::json::parse(run.out);
    EXPECT_EQ(j["endo"].get<double>(), 50.0);
    EXPECT_EQ(j["epi"].get<double>(), -40.0);
    EXPECT_EQ(j["transmural"]["min"].get<double>(), 0.0);
    EXPECT_EQ(j["transmural"]["max"].get<double>(), 1.0);
    EXPECT_GT(j["frames_set"].get<int>(), 3000);
    ASSERT_EQ(j["free_wall_helix"].size(), 5u);
    int counted = 0;
    for (const auto& band : j["free_wall_helix"]) {
        if (band["vertices"].get<int>() == 0) continue;
        counted += band["vertices"].get<int>();
        const double low = band["t_low"].get<double>(), high = band["t_high"].get<double>();
        // The rule's mean lies within the band's range of angles, the measured mean near it.
        EXPECT_LE(band["rule"].get<double>(), 50.0 - 90.0 * low + 1e-9);
        EXPECT_GE(band["rule"].get<double>(), 50.0 - 90.0 * high - 1e-9);
        EXPECT_NEAR(band["helix"].get<double>(), band["rule"].get<double>(), kBandToleranceDegrees) << low;
    }
    EXPECT_GT(counted, 500);
    // Vertex by vertex too, also round the apex and under the roof at the base, where the gradient
    // runs nearly along the axis (about 9 degrees before the wall's normal stood in for it there).
    EXPECT_LT(j["free_wall_rms_from_rule"].get<double>(), 5.0);
    EXPECT_TRUE(j["written"].get<bool>());
    EXPECT_NE(testfiles::readText(base + ".vm").find("\n#RuleBasedFibres 50.000000 -40.000000\n"), std::string::npos);

    TLSMModel model;
    DiagCapture quiet;
    ASSERT_TRUE(model.loadModel(base));
    EXPECT_TRUE(model.m_orienField.m_ruleBased.inForce);
    EXPECT_EQ(model.m_orienField.m_ruleBased.endoDegrees, 50.0);
    EXPECT_EQ(model.m_orienField.m_ruleBased.epiDegrees, -40.0);
}

TEST(CliFibresTest, RefusesAModelWithoutALeftWallAndAnglesOutOfRange) {
    TempDir dir;
    const std::string cube = "'" + dir.file("cube") + "'";
    testmesh::writeTetGen(testmesh::cube(3), dir.file("cube"));
    const RunResult bare = runCli("fibres " + cube + " --rule-based --quiet", dir);
    EXPECT_EQ(bare.status, 1);
    EXPECT_NE(bare.err.find(DeformationIndices::kNoLeftWallMessage), std::string::npos) << bare.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("cube.vm")));
    for (const char* args : {" --rule-based --endo 95", " --rule-based --epi x", " --endo 10"})
        EXPECT_EQ(runCli("fibres " + cube + args + " --quiet", dir).status, 2) << args;
}
