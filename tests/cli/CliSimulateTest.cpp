// velmora-cli simulate and make-model run as programs: exports read back by independent readers,
// thread-count independence, and finding the solver library from any way of starting.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "BeatingProject.h"
#include "common/TestFiles.h"
#include "common/TestMeshes.h"
#include "linalg/Diagnostics.h"
#include "model/ProjectFile.h"
#include "model/TLSMModel.h"

namespace {

using testfiles::RunResult;
using testfiles::TempDir;

std::string cli() { return testfiles::binDir() + "/velmora-cli"; }

RunResult run(const std::string& args, const TempDir& dir) {
    return testfiles::runCommand("OMP_WAIT_POLICY=passive " + cli() + " " + args, dir.path());
}

/// A small beating model: a block of n^3 cells, every vertex ventricle, with walls closed round the
/// whole block so that the volume of chamber VL is the block's volume.
std::string writeBeatingModel(const TempDir& dir, int n) {
    const std::string base = dir.file("block");
    testmesh::writeTetGen(testmesh::cube(n, 1.0), base);
    std::string error;
    EXPECT_TRUE(clitest::writeBeatingProject(base, error)) << error;
    return base;
}

TEST(CliSimulateTest, JsonSummaryCsvAndVtkAgreeWithTheModel) {
    TempDir dir;
    const std::string base = writeBeatingModel(dir, 3);
    const RunResult r = run("simulate '" + base + "' --ticks 30 --json --quiet --volumes '" + dir.file("v.csv") +
                                "' --vtk '" + dir.file("vtk") + "'",
                            dir);
    ASSERT_EQ(r.status, 0) << r.err;
    const nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["ticks"], 30);
    EXPECT_TRUE(j["finite"].get<bool>());
    EXPECT_GT(j["lv_ef"].get<double>(), 0.0);  // the block deforms; its volume is held, so only a little
    EXPECT_GT(j["max_displacement"].get<double>(), 0.0);
    EXPECT_NEAR(j["final_total_volume"].get<double>(), j["rest_volume"].get<double>(),
                0.05 * j["rest_volume"].get<double>());
    EXPECT_EQ(j["positions_sha256"].get<std::string>().size(), 64u);

    // CSV: one row per tick; the left-ventricle column spans what the summary reports.
    std::istringstream csv(testfiles::readText(dir.file("v.csv")));
    std::string line;
    std::getline(csv, line);
    EXPECT_EQ(line, "tick,time,VR,VL,AR,AL");
    int rows = 0;
    double lo = 1e300, hi = -1e300;
    while (std::getline(csv, line)) {
        int tick;
        double time, vr, vl, ar, al;
        ASSERT_EQ(std::sscanf(line.c_str(), "%d,%lf,%lf,%lf,%lf,%lf", &tick, &time, &vr, &vl, &ar, &al), 6);
        EXPECT_EQ(tick, ++rows);
        EXPECT_NEAR(time, 0.01 * rows, 1e-9);
        EXPECT_EQ(vr, 0.0);
        lo = std::min(lo, vl);
        hi = std::max(hi, vl);
    }
    EXPECT_EQ(rows, 30);
    EXPECT_NEAR(lo, j["volumes_min"][1].get<double>(), 1e-6 * hi);
    EXPECT_NEAR(hi, j["volumes_max"][1].get<double>(), 1e-6 * hi);
    EXPECT_NEAR((hi - lo) / hi * 100.0, j["lv_ef"].get<double>(), 1e-6);

    // VTK: read back with meshio, a reader we did not write.
    const std::string script =
        "import meshio,sys\n"
        "m = meshio.read(sys.argv[1])\n"
        "print(len(m.points), sum(len(c.data) for c in m.cells if c.type == 'tetra'),"
        " len(m.point_data['phase']), m.point_data['fibre'].shape[1], m.point_data['sheet'].shape[1],"
        " m.point_data['normal'].shape[1])\n";
    testfiles::writeText(dir.file("read.py"), script);
    const RunResult py = testfiles::runCommand(
        "/usr/bin/python3 '" + dir.file("read.py") + "' '" + dir.file("vtk/step_000030.vtu") + "'", dir.path());
    ASSERT_EQ(py.status, 0) << py.err;
    EXPECT_EQ(py.out, "64 162 64 3 3 3\n");
    const std::string pvd = testfiles::readText(dir.file("vtk/series.pvd"));
    EXPECT_NE(pvd.find("timestep=\"0.3\""), std::string::npos);
    EXPECT_NE(pvd.find("step_000001.vtu"), std::string::npos);
}

TEST(CliSimulateTest, ResultsDoNotDependOnTheThreadCount) {
    TempDir dir;
    const std::string base = writeBeatingModel(dir, 26);  // 19,683 vertices
    const RunResult one = run("simulate '" + base + "' --ticks 30 --threads 1 --json --quiet", dir);
    const RunResult two = run("simulate '" + base + "' --ticks 30 --threads 2 --json --quiet", dir);
    ASSERT_EQ(one.status, 0) << one.err;
    ASSERT_EQ(two.status, 0) << two.err;
    const nlohmann::json a = nlohmann::json::parse(one.out), b = nlohmann::json::parse(two.out);
    EXPECT_EQ(a["threads"], 1);
    EXPECT_EQ(b["threads"], 2);
    EXPECT_TRUE(a["finite"].get<bool>());
    EXPECT_GT(a["max_displacement"].get<double>(), 0.0);
    EXPECT_EQ(a["positions_sha256"], b["positions_sha256"]);
    EXPECT_EQ(a["volumes_max"], b["volumes_max"]);
}

TEST(CliSimulateTest, FieldsSolvedAtLoadDoNotDependOnTheThreadCount) {
    // The bundled heart solves its phase field with the UMFPACK back end at load, whose dense
    // kernels would round differently on another number of threads.
    TempDir dir;
    const std::string heart = testfiles::sourceDir() + "/models/ModelB";
    const RunResult one = run("simulate '" + heart + "' --ticks 5 --threads 1 --json --quiet", dir);
    const RunResult two = run("simulate '" + heart + "' --ticks 5 --threads 2 --json --quiet", dir);
    ASSERT_EQ(one.status, 0) << one.err;
    ASSERT_EQ(two.status, 0) << two.err;
    EXPECT_EQ(nlohmann::json::parse(one.out)["positions_sha256"], nlohmann::json::parse(two.out)["positions_sha256"]);
}

TEST(CliSimulateTest, IndicesRowsFollowTheTicksAndTheJsonEndSystoleIsTheSmallestLeftVolume) {
    TempDir dir;
    const std::string heart = testfiles::sourceDir() + "/models/ModelB";
    const RunResult r = run("simulate '" + heart + "' --ticks 60 --json --quiet --volumes '" + dir.file("v.csv") +
                                "' --indices '" + dir.file("i.csv") + "'",
                            dir);
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream volumes(testfiles::readText(dir.file("v.csv")));
    std::istringstream indices(testfiles::readText(dir.file("i.csv")));
    std::string line;
    std::getline(volumes, line);
    std::getline(indices, line);
    EXPECT_EQ(line, "tick,time,longitudinal,circumferential,radial,apical_rotation,basal_rotation,twist");
    // The earliest tick of the smallest left-ventricular volume, and that tick's indices row.
    int smallestTick = 0;
    double smallest = 0.0;
    std::vector<std::vector<double>> rows;
    for (int tick = 1; std::getline(volumes, line); ++tick) {
        std::vector<double> v;
        std::stringstream fields(line);
        for (std::string f; std::getline(fields, f, ',');) v.push_back(std::stod(f));
        ASSERT_EQ(v.size(), 6u);
        if (smallestTick == 0 || v[3] < smallest) smallestTick = tick, smallest = v[3];
        ASSERT_TRUE(std::getline(indices, line)) << "no indices row for tick " << tick;
        std::vector<double> row;
        std::stringstream cells(line);
        for (std::string f; std::getline(cells, f, ',');) row.push_back(std::stod(f));
        ASSERT_EQ(row.size(), 8u);
        EXPECT_EQ(static_cast<int>(row[0]), tick);
        rows.push_back(row);
    }
    ASSERT_EQ(rows.size(), 60u);
    const nlohmann::json j = nlohmann::json::parse(r.out);
    const nlohmann::json& es = j["end_systole"];
    EXPECT_EQ(es["tick"].get<int>(), smallestTick);
    const char* names[] = {"longitudinal", "circumferential", "radial", "apical_rotation", "basal_rotation", "twist"};
    for (int k = 0; k < 6; ++k)
        EXPECT_NEAR(es[names[k]].get<double>(), rows[smallestTick - 1][2 + k], 1e-6) << names[k];
    ASSERT_EQ(es["segments"].size(), 17u);
    EXPECT_EQ(es["segments"][16]["segment"].get<int>(), 17);
    // The peaks are the extremes of the rows.
    double mostNegativeLongitudinal = 0.0, largestTwist = -1e300;
    for (const auto& row : rows) {
        mostNegativeLongitudinal = std::min(mostNegativeLongitudinal, row[2]);
        largestTwist = std::max(largestTwist, row[7]);
    }
    EXPECT_NEAR(j["peak"]["longitudinal"]["value"].get<double>(), mostNegativeLongitudinal, 1e-6);
    EXPECT_NEAR(j["peak"]["twist"]["value"].get<double>(), largestTwist, 1e-6);
}

TEST(CliSimulateTest, UsageErrorsAndMissingModels) {
    TempDir dir;
    EXPECT_EQ(run("simulate", dir).status, 2);
    EXPECT_EQ(run("simulate x --ticks 0", dir).status, 2);
    EXPECT_EQ(run("simulate x --ticks abc", dir).status, 2);
    EXPECT_EQ(run("simulate x --anim a.heartAnim --wall w.tex", dir).status, 2);
    const RunResult missing = run("simulate '" + dir.file("nothing") + "' --quiet", dir);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot load model"), std::string::npos);
}

TEST(CliSimulateTest, AnimationExportStartsAtTimeZeroAndEndsWithTheCycle) {
    TempDir dir;
    const std::string base = writeBeatingModel(dir, 2);
    const RunResult r = run("simulate '" + base + "' --ticks 120 --anim '" + dir.file("a.heartAnim") + "'", dir);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("#heartAnim\n"), std::string::npos);
    const std::string anim = testfiles::readText(dir.file("a.heartAnim"));
    EXPECT_EQ(anim.compare(0, 21, "#frame 0 27 0.010000\n"), 0);
    EXPECT_NE(anim.find("#frame 99 27 1.000000\n"), std::string::npos);
    EXPECT_EQ(anim.find("#frame 100 "), std::string::npos);
}

TEST(CliSimulateTest, EveryExportChecksItsWritesAndCloseAndAFailureExitsOne) {
    TempDir dir;
    const std::string base = writeBeatingModel(dir, 2);
    // /dev/full takes the open and the first buffered writes; the flush or the close fails.
    for (const char* option : {"--volumes", "--anim", "--wall"}) {
        SCOPED_TRACE(option);
        const RunResult r = run("simulate '" + base + "' --ticks 3 --quiet " + option + " /dev/full", dir);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("cannot write /dev/full: No space left on device"), std::string::npos) << r.err;
    }
    // A longer run fills the buffer: the export stops at the first failed write, with one message.
    const RunResult anim = run("simulate '" + base + "' --ticks 60 --quiet --anim /dev/full", dir);
    EXPECT_EQ(anim.status, 1);
    const size_t first = anim.err.find("No space left on device");
    ASSERT_NE(first, std::string::npos) << anim.err;
    EXPECT_EQ(anim.err.find("No space left on device", first + 1), std::string::npos) << anim.err;

    // A step file and the collection file that land on a full disk.
    for (const char* name : {"step_000002.vtu", "series.pvd"}) {
        SCOPED_TRACE(name);
        const std::string vtk = dir.file(std::string("vtk-") + name);
        std::filesystem::create_directory(vtk);
        std::filesystem::create_symlink("/dev/full", vtk + "/" + name);
        const RunResult r = run("simulate '" + base + "' --ticks 3 --quiet --vtk '" + vtk + "'", dir);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_NE(r.err.find("cannot write " + vtk + "/" + name + ": No space left on device"), std::string::npos)
            << r.err;
    }
    const RunResult fields = run("export-fields '" + base + "' /dev/full --quiet", dir);
    EXPECT_EQ(fields.status, 1);
    EXPECT_NE(fields.err.find("cannot write /dev/full: No space left on device"), std::string::npos) << fields.err;
    // The same exports into ordinary files succeed.
    EXPECT_EQ(run("simulate '" + base + "' --ticks 3 --quiet --volumes v.csv --anim a.heartAnim --vtk vtk", dir).status,
              0);
    EXPECT_EQ(run("export-fields '" + base + "' f.vtu --quiet", dir).status, 0);
}

TEST(CliSimulateTest, SolverLibraryIsFoundThroughSymlinkAndPath) {
    TempDir dir;
    const std::string base = writeBeatingModel(dir, 2);
    const std::string link = dir.file("velmora-link");
    std::filesystem::create_symlink(cli(), link);
    const std::string expected = "load umfpack dll " + testfiles::binDir() + "/libvelmora_umfpack.so";
    const RunResult viaLink = testfiles::runCommand("'" + link + "' simulate '" + base + "' --ticks 1", dir.path());
    ASSERT_EQ(viaLink.status, 0) << viaLink.err;
    EXPECT_NE(viaLink.err.find(expected), std::string::npos) << viaLink.err;
    EXPECT_NE(viaLink.err.find("Done!!"), std::string::npos);
    const RunResult viaPath = testfiles::runCommand(
        "cd '" + dir.path() + "' && PATH='" + testfiles::binDir() + "':$PATH velmora-cli simulate block --ticks 1",
        dir.path());
    ASSERT_EQ(viaPath.status, 0) << viaPath.err;
    EXPECT_NE(viaPath.err.find(expected), std::string::npos) << viaPath.err;
    EXPECT_NE(viaPath.err.find("Done!!"), std::string::npos);
}

TEST(CliMakeModelTest, TubeHasTheStructuredLayout) {
    TempDir dir;
    ASSERT_EQ(run("make-model tube '" + dir.file("tube") + "' --quiet", dir).status, 0);
    const RunResult info = run("info '" + dir.file("tube") + "' --json --quiet", dir);
    ASSERT_EQ(info.status, 0) << info.err;
    const nlohmann::json j = nlohmann::json::parse(info.out);
    EXPECT_EQ(j["vertices"], 1200);
    EXPECT_EQ(j["tetrahedra"], 9 * 3 * 30 * 6);
    EXPECT_TRUE(j["surface_valid"].get<bool>());
    // The project file written beside it: the lumen as the left ventricle, the experiment chart.
    EXPECT_EQ(j["chambers"]["VL"], 9 * 30 * 2 + 2 * 28);
    EXPECT_EQ(j["excitation"]["chart_vent"].size(), 4u);
    // Writing it again gives the same files.
    const std::string first = testfiles::readText(dir.file("tube.vm"));
    ASSERT_EQ(run("make-model tube '" + dir.file("tube") + "' --quiet", dir).status, 0);
    EXPECT_EQ(testfiles::readText(dir.file("tube.vm")), first);
    EXPECT_EQ(run("make-model cube x", dir).status, 2);
    EXPECT_EQ(run("make-model heart x", dir).status, 2);  // needs --mesh
}

TEST(CliMakeModelTest, BundledModelsAreWhatTheGeneratorWrites) {
    // The bundled heart's project file and the tube are exactly what make-model writes today, so
    // tools/models/regenerate.sh reproduces them (from the heart mesh, which gmsh makes).
    TempDir dir;
    const std::string models = testfiles::sourceDir() + "/models/";
    const RunResult heart =
        run("make-model heart '" + dir.file("heart") + "' --mesh '" + models + "ModelB' --quiet", dir);
    ASSERT_EQ(heart.status, 0) << heart.err;
    EXPECT_TRUE(testfiles::readText(dir.file("heart.vm")) == testfiles::readText(models + "ModelB.vm"));
    ASSERT_EQ(run("make-model tube '" + dir.file("tube") + "' --quiet", dir).status, 0);
    for (const char* ext : {".node", ".ele", ".vm"})
        EXPECT_TRUE(testfiles::readText(dir.file(std::string("tube") + ext)) ==
                    testfiles::readText(models + "Tube" + ext))
            << ext;
}

}  // namespace
