// velmora-cli simulate --lattice: a block simulated through a lattice the mesher fills, cached and
// reused with the same result, and the counts it refuses.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "BeatingProject.h"
#include "common/TestFiles.h"
#include "common/TestMeshes.h"

namespace {

using testfiles::RunResult;
using testfiles::TempDir;

RunResult run(const std::string& args, const TempDir& dir) {
    return testfiles::runCommand("OMP_WAIT_POLICY=passive " + testfiles::binDir() + "/velmora-cli " + args, dir.path());
}

}  // namespace

TEST(CliLatticeTest, BlockThroughALatticeIsCachedAndReusedWithTheSameBeat) {
    TempDir dir;
    const std::string base = dir.file("block");
    testmesh::writeTetGen(testmesh::cube(10, 1.0), base);  // 1,331 vertices
    std::string error;
    ASSERT_TRUE(clitest::writeBeatingProject(base, error)) << error;

    const RunResult first = run("simulate '" + base + "' --ticks 20 --lattice 300 --json --quiet", dir);
    ASSERT_EQ(first.status, 0) << first.err;
    const nlohmann::json a = nlohmann::json::parse(first.out);
    ASSERT_TRUE(a["lattice"].is_object());
    EXPECT_FALSE(a["lattice"]["reused_cache"].get<bool>());
    const int vertices = a["lattice"]["vertices"].get<int>();
    EXPECT_GE(vertices, 150);
    EXPECT_LE(vertices, 450);
    EXPECT_TRUE(a["finite"].get<bool>());
    EXPECT_GT(a["max_displacement"].get<double>(), 0.0);
    for (const char* suffix : {".lattice.node", ".lattice.ele", ".lattice.key"})
        EXPECT_TRUE(testfiles::exists(base + suffix)) << suffix;

    const RunResult second = run("simulate '" + base + "' --ticks 20 --lattice 300 --json --quiet", dir);
    ASSERT_EQ(second.status, 0) << second.err;
    const nlohmann::json b = nlohmann::json::parse(second.out);
    EXPECT_TRUE(b["lattice"]["reused_cache"].get<bool>());
    EXPECT_EQ(b["lattice"]["vertices"].get<int>(), vertices);
    EXPECT_EQ(b["positions_sha256"], a["positions_sha256"]);

    // Without --lattice (and no record in the project) every vertex is simulated.
    const RunResult full = run("simulate '" + base + "' --ticks 20 --json --quiet", dir);
    ASSERT_EQ(full.status, 0) << full.err;
    EXPECT_TRUE(nlohmann::json::parse(full.out)["lattice"].is_null());
}

TEST(CliLatticeTest, CountsOutOfRangeAreRefused) {
    TempDir dir;
    const std::string base = dir.file("block");
    testmesh::writeTetGen(testmesh::cube(4, 1.0), base);  // 125 vertices
    RunResult r = run("simulate '" + base + "' --ticks 2 --lattice 99", dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot use a simulation lattice of 99 vertices: a simulation lattice needs at least 100"),
              std::string::npos)
        << r.err;
    r = run("simulate '" + base + "' --ticks 2 --lattice 125", dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("not coarser than the model's 125"), std::string::npos) << r.err;
    r = run("simulate '" + base + "' --ticks 2 --lattice many", dir);
    EXPECT_EQ(r.status, 2);
    EXPECT_FALSE(testfiles::exists(base + ".lattice.key"));
}
