// Keeps the beat of the bundled models where it was when the reference trajectories were
// recorded: 300 ticks of the main loop, chamber volumes every tick, positions every 50 ticks.
// Faster step kernels must reproduce them within 1e-6 of the model's extent.
//
// The references live in tests/data/trajectories/<model>.traj. To record them again (only when a
// change of the beat is intended), run this test with VELMORA_RECORD_TRAJECTORIES=1.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "common/TestFiles.h"
#include "linalg/Diagnostics.h"
#include "model/MainWindowManager.h"

namespace {

constexpr int kTicks = 300;
constexpr int kSnapshotEvery = 50;
// Positions and volumes must stay within this fraction of the model's extent (volumes: of the
// chamber's largest volume over the run).
constexpr double kRelativeTolerance = 1e-6;
constexpr char kMagic[8] = {'V', 'L', 'M', 'T', 'R', 'J', '0', '1'};

/// One run of the main loop: volumes per tick, positions at every snapshot tick.
struct Trajectory {
    int32_t vertexCount = 0;
    std::vector<double> volumes;    // kTicks x 4
    std::vector<double> positions;  // (kTicks / kSnapshotEvery) x vertexCount x 3
};

std::string referencePath(const std::string& name) {
    return testfiles::sourceDir() + "/tests/data/trajectories/" + name + ".traj";
}

Trajectory runModel(const std::string& name) {
    DiagCapture quiet;
    MainWindowManager controller(nullptr, testfiles::sourceDir() + "/models/" + name);
    Trajectory out;
    TLSMModel* model = controller.model();
    if (!model) return out;
    out.vertexCount = model->vertexCount();
    controller.m_time = 0.0;
    controller.startTimer();
    for (int tick = 1; tick <= kTicks; ++tick) {
        controller.onTimer();
        const std::array<double, 4> v = model->computeChamberVolumes();
        out.volumes.insert(out.volumes.end(), v.begin(), v.end());
        if (tick % kSnapshotEvery == 0)
            for (const vec3& p : model->m_verts) out.positions.insert(out.positions.end(), {p.x, p.y, p.z});
    }
    controller.stopTimer();
    return out;
}

bool writeTrajectory(const std::string& path, const Trajectory& t) {
    std::ofstream f(path, std::ios::binary);
    const int32_t header[3] = {t.vertexCount, kTicks, kSnapshotEvery};
    f.write(kMagic, sizeof kMagic);
    f.write(reinterpret_cast<const char*>(header), sizeof header);
    f.write(reinterpret_cast<const char*>(t.volumes.data()), t.volumes.size() * sizeof(double));
    f.write(reinterpret_cast<const char*>(t.positions.data()), t.positions.size() * sizeof(double));
    return static_cast<bool>(f);
}

bool readTrajectory(const std::string& path, Trajectory& t) {
    std::ifstream f(path, std::ios::binary);
    char magic[8];
    int32_t header[3];
    if (!f.read(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof kMagic) != 0) return false;
    if (!f.read(reinterpret_cast<char*>(header), sizeof header)) return false;
    if (header[0] <= 0 || header[1] != kTicks || header[2] != kSnapshotEvery) return false;
    t.vertexCount = header[0];
    t.volumes.resize(static_cast<size_t>(kTicks) * 4);
    t.positions.resize(static_cast<size_t>(kTicks / kSnapshotEvery) * t.vertexCount * 3);
    return f.read(reinterpret_cast<char*>(t.volumes.data()), t.volumes.size() * sizeof(double)) &&
           f.read(reinterpret_cast<char*>(t.positions.data()), t.positions.size() * sizeof(double));
}

double extentOf(const std::vector<double>& xyz, size_t count) {
    double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (size_t i = 0; i < count; ++i)
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], xyz[3 * i + a]);
            hi[a] = std::max(hi[a], xyz[3 * i + a]);
        }
    return std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]});
}

void expectFollowsReference(const std::string& name) {
    const Trajectory now = runModel(name);
    ASSERT_GT(now.vertexCount, 0) << name << " did not load";
    if (std::getenv("VELMORA_RECORD_TRAJECTORIES")) {
        ASSERT_TRUE(writeTrajectory(referencePath(name), now));
        GTEST_SKIP() << "recorded " << referencePath(name);
    }
    Trajectory ref;
    ASSERT_TRUE(readTrajectory(referencePath(name), ref)) << referencePath(name);
    ASSERT_EQ(now.vertexCount, ref.vertexCount);

    const double extent = extentOf(ref.positions, ref.vertexCount);
    ASSERT_GT(extent, 0.0);
    double worstPosition = 0.0;
    size_t worstAt = 0;
    for (size_t i = 0; i < ref.positions.size(); ++i) {
        const double d = std::fabs(now.positions[i] - ref.positions[i]);
        if (!(d <= worstPosition)) worstPosition = d, worstAt = i;
    }
    const size_t perSnapshot = static_cast<size_t>(ref.vertexCount) * 3;
    std::printf("%s: largest position difference %.3g of the extent\n", name.c_str(), worstPosition / extent);
    EXPECT_LE(worstPosition, kRelativeTolerance * extent)
        << name << ": tick " << (worstAt / perSnapshot + 1) * kSnapshotEvery << ", vertex "
        << (worstAt % perSnapshot) / 3 << " is " << worstPosition << " away (extent " << extent << ")";

    for (int c = 0; c < 4; ++c) {
        double largest = 0.0, worst = 0.0;
        int worstTick = 0;
        for (int t = 0; t < kTicks; ++t) largest = std::max(largest, std::fabs(ref.volumes[4 * t + c]));
        for (int t = 0; t < kTicks; ++t) {
            const double d = std::fabs(now.volumes[4 * t + c] - ref.volumes[4 * t + c]);
            if (!(d <= worst)) worst = d, worstTick = t + 1;
        }
        EXPECT_LE(worst, kRelativeTolerance * std::max(largest, 1e-12))
            << name << ": chamber " << c << " volume at tick " << worstTick << " off by " << worst;
    }
}

}  // namespace

TEST(TrajectoryGuardTest, BundledHeartFollowsItsRecordedBeat) { expectFollowsReference("ModelB"); }

TEST(TrajectoryGuardTest, BundledTubeFollowsItsRecordedBeat) { expectFollowsReference("Tube"); }
