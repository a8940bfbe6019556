// The shape-matching simulator: set-up (weights, layering, rest volume), the volume correction and
// re-alignment, and the step (rest, reflection, held vertices, reproducibility, timing report).
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <regex>

#include "model/SimTestModel.h"
#include "model/ShapeMatchingKernels.h"
#include "model/VolumePreservation.h"

// Sets a simulator's velocities before a step.
struct TLSMSimulatorTestAccess {
    /// Sets the velocities, given in the mesh's order, as the simulator keeps them.
    static void setVelocities(TLSMSimulator& simulator, const std::vector<vec3>& velocities) {
        for (size_t v = 0; v < velocities.size(); ++v) simulator.m_velocities[simulator.m_rank[v]] = velocities[v];
    }
    static void cutShares(TLSMSimulator& simulator, const std::vector<double>& fit, const std::vector<double>& gather) {
        simulator.m_fitCuts = fit;
        simulator.m_gatherCuts = gather;
    }
};

namespace {

constexpr double kTight = 1e-12;
const vec3 kNaN(std::nan(""), std::nan(""), std::nan(""));

vec3 rotate(const vec3& v, const vec3& axis, double angle) {
    const vec3 u = axis / axis.norm();
    return v * std::cos(angle) + u.cross(v) * std::sin(angle) + u * (u.dot(v) * (1 - std::cos(angle)));
}

vec3 centroid(const std::vector<vec3>& p) {
    vec3 c;
    for (const vec3& v : p) c += v;
    return c / static_cast<double>(p.size());
}

double maxDistance(const std::vector<vec3>& a, const std::vector<vec3>& b) {
    double d = 0.0;
    for (size_t i = 0; i < a.size(); ++i) d = std::max(d, distance(a[i], b[i]));
    return d;
}

// ---- set-up ----

TEST(SimulatorSetUpTest, WeightsNormaliseBothWaysAndFavourTheFibre) {
    TLSMModel model;
    simtest::setUpModel(model, testmesh::cube(2), 1, vec3(1, 0, 0));
    const TLSMSimulator& sim = model.m_simulator;
    ASSERT_EQ(sim.vertexCount(), 27);
    std::vector<double> perVertex(27, 0.0);
    for (int i = 0; i < sim.clusterCount(); ++i) {
        double sum = 0.0;
        vec3 centre;
        for (int m = sim.clusterBegin(i); m < sim.clusterEnd(i); ++m) {
            sum += sim.clusterWeights()[m];
            centre += sim.clusterWeights()[m] * model.m_vtxOrigPos[sim.clusterVerts()[m]];
            perVertex[sim.clusterVerts()[m]] += sim.vertexWeights()[m];
        }
        EXPECT_NEAR(sum, 1.0, kTight);
        EXPECT_NEAR(distance(centre, sim.restCenters()[i]), 0.0, kTight);
    }
    for (double s : perVertex) EXPECT_NEAR(s, 1.0, kTight);

    // The centre vertex (1,1,1): its neighbours on the x axis weigh (1 + 0.01) / 0.01 times
    // those straight across the fibre.
    const int centreVertex = 13;
    double along = 0.0, across = 0.0;
    for (int m = sim.clusterBegin(centreVertex); m < sim.clusterEnd(centreVertex); ++m) {
        const vec3 d = model.m_vtxOrigPos[sim.clusterVerts()[m]] - vec3(1, 1, 1);
        if (d == vec3(1, 0, 0)) along = sim.clusterWeights()[m];
        if (d == vec3(0, 1, 0)) across = sim.clusterWeights()[m];
    }
    ASSERT_GT(across, 0.0);
    EXPECT_NEAR(along / across, 101.0, 1e-9);
}

TEST(SimulatorSetUpTest, CoincidentMemberAndBrokenFibre) {
    const std::vector<vec3> rest = {{0, -1, 0}, {0, 0, 0}, {0, 1, 0}};
    const std::vector<std::vector<int>> clusters = {{0, 1, 2}, {0, 1, 2}, {0, 1, 2}};
    std::vector<TVertexFrame> frames(3);
    frames[0].m_primaryDir = vec3(0.6, 0.8, 0);
    frames[1].m_primaryDir = kNaN;
    TLSMSimulator sim;
    DiagCapture diag;
    ASSERT_TRUE(sim.initSimulator(rest, {}, clusters, frames));
    // Cluster 0: the middle member sits on the mean and takes direction (1,0,0): 0.6^2 + 0.01.
    const double ends = 0.8 * 0.8 + 0.01, middle = 0.6 * 0.6 + 0.01, sum = 2 * ends + middle;
    EXPECT_NEAR(sim.clusterWeights()[0], ends / sum, kTight);
    EXPECT_NEAR(sim.clusterWeights()[1], middle / sum, kTight);
    // Cluster 1: every member reported and weighted 0.01, i.e. uniformly.
    for (int m = sim.clusterBegin(1); m < sim.clusterEnd(1); ++m) EXPECT_NEAR(sim.clusterWeights()[m], 1.0 / 3, kTight);
    const std::string& text = diag.text();
    EXPECT_EQ(text.rfind("initSimulator ... wrong weighting  1 nan\nneighbor size 3\ngc0.000000 0.000000 0.000000\n"
                         "v0nan nan nan\npiv0.000000 -1.000000 0.000000\n",
                         0),
              0u)
        << text;
    size_t reports = 0;
    for (size_t at = text.find("wrong weighting"); at != std::string::npos; at = text.find("wrong weighting", at + 1))
        ++reports;
    EXPECT_EQ(reports, 3u);
    EXPECT_NE(text.find("thread num = "), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 23), "initSimulator ...done\n ");
}

TEST(SimulatorSetUpTest, RestVolumeSkipsInvertedTetrahedra) {
    auto data = testmesh::twoTets();
    TLSMSimulator sim;
    DiagCapture quiet;
    std::vector<std::vector<int>> nb;
    TLSMModel::constructNeighborForShapaMatching(data.tets, data.verts, nb);
    sim.initSimulator(data.verts, data.tets, nb, std::vector<TVertexFrame>(5));
    const double both = (testmesh::volume6(data, data.tets[0]) + testmesh::volume6(data, data.tets[1])) / 6;
    EXPECT_NEAR(sim.restVolume(), both, kTight);
    std::swap(data.tets[1].vIdx[0], data.tets[1].vIdx[1]);
    sim.initSimulator(data.verts, data.tets, nb, std::vector<TVertexFrame>(5));
    EXPECT_NEAR(sim.restVolume(), 1.0 / 6, kTight);
}

TEST(SimulatorSetUpTest, SurfaceFacesPointOutAndLayersPeelInwards) {
    TLSMModel model;
    auto data = testmesh::cube(4);
    data.verts.push_back({9, 9, 9});  // in no tetrahedron
    simtest::setUpModel(model, data);
    const TLSMSimulator& sim = model.m_simulator;
    EXPECT_EQ(sim.surfFaceCount(), 6 * 16 * 2);
    for (const auto& f : sim.surfFaces()) {
        const vec3 a = model.m_vtxOrigPos[f[0]], b = model.m_vtxOrigPos[f[1]], c = model.m_vtxOrigPos[f[2]];
        EXPECT_GT((b - a).cross(c - a).dot((a + b + c) / 3 - vec3(2, 2, 2)), 0.0);
    }
    // Walk the entries: ascending surface vertices without parents first, then each level.
    std::vector<int> level(126, -1);
    int previous = -1, previousLevel = 0;
    const int* e = sim.layers().data();
    for (int k = 0; k < sim.layerEntryCount(); ++k) {
        const int v = e[0], parents = e[1];
        ASSERT_EQ(level[v], -1) << "vertex listed twice";
        int l = 0;
        for (int p = 0; p < parents; ++p) {
            ASSERT_GE(level[e[2 + p]], 0) << "parent after child";
            l = level[e[2 + p]] + 1;
            EXPECT_EQ(level[e[2 + p]], l - 1);
        }
        EXPECT_TRUE(l > previousLevel || (l == previousLevel && v > previous));
        level[v] = l;
        previous = v;
        previousLevel = l;
        e += 2 + parents;
    }
    const int centre = (2 * 5 + 2) * 5 + 2;
    EXPECT_EQ(level[centre], 2);
    EXPECT_EQ(level[0], 0);
    EXPECT_EQ(level[(1 * 5 + 1) * 5 + 1], 1);
    EXPECT_EQ(level[125], -1);
    EXPECT_EQ(sim.clusterSize(125), 0);
}

TEST(SimulatorSetUpTest, MismatchedInputLeavesAnEmptySimulatorThatDoesNothing) {
    auto data = testmesh::singleTet();
    TLSMSimulator sim;
    DiagCapture diag;
    EXPECT_FALSE(sim.initSimulator(data.verts, data.tets, {{0, 1}, {0, 1}}, std::vector<TVertexFrame>(4)));
    EXPECT_TRUE(diag.contains("initSimulator: 2 neighbourhoods and 4 frames for 4 vertices"));
    EXPECT_EQ(sim.vertexCount(), 0);
    std::vector<vec3> p = data.verts;
    EXPECT_FALSE(sim.stepSimulation(p, {}, {}, std::vector<std::array<double, 9>>(4), 0.01, 10));
    EXPECT_TRUE(diag.contains("stepSimulation: 4 positions and 4 stretch tensors for a set-up of 0 vertices"));
    EXPECT_EQ(p, data.verts);
}

// ---- volume correction and re-alignment ----

TEST(VolumeOffsetTest, PicksTheRootOfLeastMagnitude) {
    double s = 99;
    EXPECT_TRUE(solveVolumeOffset(2, 0, -14, 12, s));  // 2 (s-1)(s-2)(s+3): three real roots
    EXPECT_NEAR(s, 1.0, 1e-12);
    EXPECT_TRUE(solveVolumeOffset(1, -3.1, 0.1, 0.6, s));  // (s-0.5)(s+0.4)(s-3)
    EXPECT_NEAR(s, -0.4, 1e-12);
    EXPECT_TRUE(solveVolumeOffset(1, 0, 1, 2, s));  // (s+1)(s^2 - s + 2): one real root
    EXPECT_NEAR(s, -1.0, 1e-12);
    EXPECT_TRUE(solveVolumeOffset(1, 0, -3, 2, s));  // (s-1)^2 (s+2): double root
    EXPECT_NEAR(s, 1.0, 1e-12);
    EXPECT_TRUE(solveVolumeOffset(0, 1, -3, 2, s));  // quadratic, roots 1 and 2
    EXPECT_NEAR(s, 1.0, 1e-12);
    EXPECT_TRUE(solveVolumeOffset(0, 1, 0, -1, s));  // +-1: the first, -1
    EXPECT_EQ(s, -1.0);
    EXPECT_TRUE(solveVolumeOffset(1e-9, 0, 2, -1, s));  // negligible cubic term: linear
    EXPECT_EQ(s, 0.5);
    s = 7;
    EXPECT_FALSE(solveVolumeOffset(0, 1, 0, 1, s));  // no real root
    EXPECT_FALSE(solveVolumeOffset(1e-9, -1e-9, 1e-9, 5, s));
    EXPECT_FALSE(solveVolumeOffset(1, std::nan(""), 0, 1, s));
    EXPECT_EQ(s, 7);
}

TEST(VolumeCorrectionTest, RestShapeIsLeftAlone) {
    TLSMModel model;
    simtest::setUpModel(model, testmesh::cube(3));
    std::vector<vec3> goal = model.m_vtxOrigPos;
    model.m_simulator.preserveVolume(goal);
    EXPECT_LT(maxDistance(goal, model.m_vtxOrigPos), kTight);
    model.m_simulator.realignGoal(goal, model.m_vtxOrigPos);
    EXPECT_LT(maxDistance(goal, model.m_vtxOrigPos), kTight);
}

TEST(VolumeCorrectionTest, ScaledGoalReturnsToRestVolumeAlongOutwardDirections) {
    TLSMModel model;
    auto data = testmesh::cube(3);
    data.verts.push_back({7, 7, 7});  // in no tetrahedron
    simtest::setUpModel(model, data);
    TLSMSimulator& sim = model.m_simulator;
    std::vector<vec3> goal = model.m_vtxOrigPos;
    const vec3 c(1.5, 1.5, 1.5);
    for (int v = 0; v < 64; ++v) goal[v] = c + (goal[v] - c) * 1.1;
    const std::vector<vec3> before = goal;
    sim.preserveVolume(goal);

    EXPECT_NEAR(simtest::signedVolume(model.m_tets, goal), sim.restVolume(), 1e-10 * sim.restVolume());
    EXPECT_NEAR(sim.restVolume(), 27.0, 1e-12);
    EXPECT_EQ(goal[64], before[64]);
    EXPECT_EQ(sim.inflateDir()[64], vec3());
    // One common offset s along every direction; surface directions are unit and outward.
    EXPECT_NEAR(sim.inflateDir()[0].norm(), 1.0, kTight);
    EXPECT_GT(sim.inflateDir()[0].dot(vec3(-1, -1, -1)), 0.0);
    const double s = (goal[0] - before[0]).dot(sim.inflateDir()[0]);
    EXPECT_LT(s, 0.0);
    for (int v = 0; v < 64; ++v) EXPECT_LT(distance(goal[v] - before[v], s * sim.inflateDir()[v]), kTight);
    // Not an inverse scaling: the corners move differently from the face centres.
    std::vector<vec3> unscaled = before;
    for (int v = 0; v < 64; ++v) unscaled[v] = c + (before[v] - c) / 1.1;
    EXPECT_GT(maxDistance(std::vector<vec3>(goal.begin(), goal.begin() + 64),
                          std::vector<vec3>(unscaled.begin(), unscaled.begin() + 64)),
              1e-3);
}

// The correction sums the boundary triangles only where the inner faces cancel; a tetrahedron
// listed with the opposite turn (so counting negatively) keeps the sum over the tetrahedra.
TEST(VolumeCorrectionTest, RestoresTheTetrahedraSignedVolumeWhetherOrNotTheirInnerFacesCancel) {
    for (const bool flipOne : {false, true}) {
        SCOPED_TRACE(flipOne ? "one tetrahedron turned" : "consistent");
        TLSMModel model;
        auto data = testmesh::cube(3);
        if (flipOne) std::swap(data.tets[40].vIdx[1], data.tets[40].vIdx[2]);
        simtest::setUpModel(model, data);
        TLSMSimulator& sim = model.m_simulator;
        EXPECT_EQ(sim.volumeFromBoundary(), !flipOne);
        std::vector<vec3> goal = model.m_vtxOrigPos;
        const vec3 c(1.5, 1.5, 1.5);
        for (vec3& p : goal) p = c + (p - c) * 0.9 + vec3(5, -3, 2);
        sim.preserveVolume(goal);
        const double target = sim.restVolume();
        EXPECT_NEAR(target, flipOne ? 27.0 - 1.0 / 6.0 : 27.0, 1e-12);  // the turned one counts zero at rest
        EXPECT_NEAR(simtest::signedVolume(model.m_tets, goal), target, 1e-10 * target);
    }
}

TEST(RealignTest, RotatedGoalIsTurnedBackAndRecentred) {
    TLSMModel model;
    simtest::setUpModel(model, testmesh::cube(3));
    const std::vector<vec3>& start = model.m_vtxOrigPos;
    const vec3 c = centroid(start);
    std::vector<vec3> goal(start.size());
    for (size_t v = 0; v < start.size(); ++v)
        goal[v] = c + rotate(start[v] - c, vec3(1, 2, 3), 10 * M_PI / 180) + vec3(0.3, -0.2, 0.5);
    model.m_simulator.realignGoal(goal, start);
    EXPECT_LT(maxDistance(goal, start), 1e-10);
}

TEST(RealignTest, MirroredGoalIsOnlyTranslated) {
    TLSMModel model;
    simtest::setUpModel(model, testmesh::cube(2));
    const std::vector<vec3>& start = model.m_vtxOrigPos;
    std::vector<vec3> goal(start.size()), expected(start.size());
    for (size_t v = 0; v < start.size(); ++v) {
        goal[v] = vec3(-start[v].x, start[v].y, start[v].z) + vec3(5, 0, 0);
        expected[v] = vec3(-start[v].x, start[v].y, start[v].z) + vec3(2, 0, 0);  // centroid x back to 1
    }
    model.m_simulator.realignGoal(goal, start);
    EXPECT_LT(maxDistance(goal, expected), kTight);
}

// ---- the step ----

TEST(PolarRotationTest, RecoversTheRotationAndKeepsAWarmFrame) {
    // B^T = R S with a known rotation R and a stretch S of distinct principal values.
    const vec3 axis = vec3(1, 2, 3) / vec3(1, 2, 3).norm();
    Mat3 r, s = {2.0, 0.3, 0.1, 0.3, 1.0, -0.2, 0.1, -0.2, 0.5};
    for (int c = 0; c < 3; ++c) {
        const vec3 column = rotate(vec3(c == 0, c == 1, c == 2), axis, 0.7);
        for (int k = 0; k < 3; ++k) r[3 * k + c] = column[k];
    }
    const Mat3 b = transpose(mul(r, s));
    const PolarSettings exact{1e-14, 50, 1e-8};
    Mat3 frame = kIdentity3, rot;
    ASSERT_TRUE(polarRotation(b, frame, rot, exact));
    for (int k = 0; k < 9; ++k) EXPECT_NEAR(rot[k], r[k], 1e-12);
    EXPECT_NEAR(det(rot), 1.0, 1e-12);
    // From the converged frame the decomposition needs no rotation and gives the same R.
    const Mat3 converged = frame;
    Mat3 again;
    ASSERT_TRUE(polarRotation(b, frame, again, exact));
    EXPECT_EQ(frame, converged);
    for (int k = 0; k < 9; ++k) EXPECT_NEAR(again[k], r[k], 1e-12);
    // A flat matrix (an eigenvalue of B B^T below the floor) gives the identity and false.
    const Mat3 flat = {1, 0, 0, 0, 1, 0, 0, 0, 0};
    frame = kIdentity3;
    EXPECT_FALSE(polarRotation(flat, frame, rot, exact));
    EXPECT_EQ(rot, kIdentity3);
}

TEST(StepTest, TurnedInsideOutClusterUsesTheIdentity) {
    TLSMModel model;
    simtest::setUpModel(model, testmesh::singleTet());
    std::vector<vec3> p = model.m_vtxOrigPos;
    for (vec3& v : p) v.x = 3 - v.x;  // reflected: det of every cluster's fit < 0
    const vec3 mirroredCentre = centroid(p), restCentre = centroid(model.m_vtxOrigPos);
    DiagCapture quiet;
    ASSERT_TRUE(model.m_simulator.stepSimulation(p, {}, {}, model.m_vtxStretch, 0.01, 10));
    // A rotation fit would keep the mirror image; the identity restores the rest shape in place.
    // Later iterations fit that shape with the truncated Jacobi decomposition, within its tolerance.
    for (int v = 0; v < 4; ++v) EXPECT_LT(distance(p[v], model.m_vtxOrigPos[v] - restCentre + mirroredCentre), 1e-5);
}

TEST(StepTest, PinnedVertexStaysAndFixedVertexIsPulled) {
    TLSMModel model;
    simtest::setUpModel(model, testmesh::cube(3));
    std::vector<vec3>& p = model.m_verts;
    for (size_t v = 0; v < p.size(); ++v) p[v] += vec3(0.05 * std::sin(3.0 * v), 0.05 * std::cos(5.0 * v), 0.0);
    const int pinned = 21, fixed = 63;
    const vec3 pinnedAt = p[pinned], target = p[fixed] + vec3(1, 0, 0);
    const std::vector<vec3> before = p;
    model.m_pinnedVerts = {pinned};
    model.m_fixedVerts = {{fixed, target}};
    DiagCapture quiet;
    model.m_simulator.stepSimulation(p, model.m_fixedVerts, model.m_pinnedVerts, model.m_vtxStretch, 0.01, 10);
    // From rest velocities the step lands on the goal plus 0.03 of the way to the target.
    const vec3 goal = model.m_simulator.goalPos()[fixed];
    EXPECT_LT(distance(p[fixed], goal + (target - before[fixed]) * 0.03), kTight);
    for (int tick = 0; tick < 40; ++tick) {
        model.m_simulator.stepSimulation(p, model.m_fixedVerts, model.m_pinnedVerts, model.m_vtxStretch, 0.01, 10);
        EXPECT_EQ(p[pinned], pinnedAt);
    }
    EXPECT_LT(distance(p[fixed], target), 0.95);  // 1.0 at the start, against the clusters' pull
    EXPECT_GT(maxDistance(p, before), 0.01);      // the rest of the mesh did move
    // Released, both follow the clusters again: the pinned vertex moves, and the formerly fixed
    // one, no longer pulled on, falls back from the target towards the mesh.
    const vec3 fixedAt = p[fixed];
    for (int tick = 0; tick < 10; ++tick) model.m_simulator.stepSimulation(p, {}, {}, model.m_vtxStretch, 0.01, 10);
    EXPECT_GT(distance(p[pinned], pinnedAt), 1e-4);
    EXPECT_GT(distance(p[fixed], target), distance(fixedAt, target) + 1e-3);
}

TEST(StepTest, CorrectionsAreWiredIntoTheStep) {
    // An isotropic 1.2 stretch makes every cluster's goal 1.73 times the volume; the step's volume
    // correction brings the goal back to the rest volume and the re-alignment keeps the centroid.
    // From rest velocities the step lands exactly on that goal.
    TLSMModel model;
    simtest::setUpModel(model, testmesh::cube(3));
    TLSMSimulator& sim = model.m_simulator;
    std::vector<vec3> p = model.m_vtxOrigPos;
    const vec3 restCentre = centroid(p);
    const std::vector<Mat3> inflate(p.size(), Mat3{1.2, 0, 0, 0, 1.2, 0, 0, 0, 1.2});
    DiagCapture quiet;
    ASSERT_TRUE(sim.stepSimulation(p, {}, {}, inflate, 0.01, 10));
    EXPECT_NEAR(simtest::signedVolume(model.m_tets, p), sim.restVolume(), 1e-9 * sim.restVolume());
    EXPECT_LT(distance(centroid(p), restCentre), kTight);
    EXPECT_GT(maxDistance(p, model.m_vtxOrigPos), 1e-3);  // the shape did change

    // With the identity stretch, a turned and moved copy of the rest shape keeps its centroid and
    // its orientation: the re-alignment holds the start of the step, not the rest placement.
    TLSMModel moved;
    simtest::setUpModel(moved, testmesh::cube(3));
    std::vector<vec3> q = moved.m_vtxOrigPos;
    for (vec3& v : q) v = rotate(v - restCentre, vec3(1, 2, 3), 0.6) + vec3(5, -2, 1);
    const std::vector<vec3> start = q;
    ASSERT_TRUE(moved.m_simulator.stepSimulation(q, {}, {}, moved.m_vtxStretch, 0.01, 10));
    const vec3 startCentre = centroid(start);
    EXPECT_LT(distance(centroid(q), startCentre), kTight);
    Mat3 k = {0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (size_t v = 0; v < q.size(); ++v)
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) k[3 * r + c] += (start[v] - startCentre)[r] * (q[v] - startCentre)[c];
    Mat3 frame = kIdentity3, turn;
    ASSERT_TRUE(polarRotation(transpose(k), frame, turn, {1e-12, 50, 1e-12}));
    for (int e = 0; e < 9; ++e) EXPECT_NEAR(turn[e], kIdentity3[e], 1e-9);
    EXPECT_LT(maxDistance(q, start), 1e-3);  // and the shape stays (within the truncated fits)
}

TEST(StepTest, DampingMixesEachVelocityWithItsClusterMean) {
    // The goals do not depend on the velocities and the update is linear in them, so two equal
    // models stepped from the same positions, one with velocities u and one at rest, differ by
    // dt u in position and by 0.3 (u_i + sum_j w_ij u_j) in velocity. The tetrahedron is also
    // listed backwards, so that the simulator's own vertex order differs from the mesh's.
    testmesh::TetData backwards;
    backwards.verts = {{0, 0, 1}, {0, 1, 0}, {1, 0, 0}, {0, 0, 0}};
    backwards.tets = {testmesh::makeTet(3, 2, 1, 0)};
    for (const testmesh::TetData& mesh : {testmesh::singleTet(), backwards}) {
        SCOPED_TRACE(mesh.verts[0] == vec3() ? "listed forwards" : "listed backwards");
        auto stepWith = [&](const std::vector<vec3>& velocities, TLSMModel& model, std::vector<vec3>& p) {
            simtest::setUpModel(model, mesh, 1, vec3(1, 0.3, 0));
            p = model.m_vtxOrigPos;
            p[3] += vec3(0.05, -0.02, 0.04);
            TLSMSimulatorTestAccess::setVelocities(model.m_simulator, velocities);
            DiagCapture quiet;
            return model.m_simulator.stepSimulation(p, {}, {}, model.m_vtxStretch, 0.01, 10);
        };
        const std::vector<vec3> u = {{0, 0, 1}, {0, 0, 0}, {2, 0, 0}, {0, -1, 0}};
        TLSMModel still, moving;
        std::vector<vec3> pStill, pMoving;
        ASSERT_TRUE(stepWith(std::vector<vec3>(4), still, pStill));
        ASSERT_TRUE(stepWith(u, moving, pMoving));
        const TLSMSimulator& sim = moving.m_simulator;
        const std::vector<vec3> vMoving = sim.velocities(), vStill = still.m_simulator.velocities();
        for (int i = 0; i < 4; ++i) {
            EXPECT_LT(distance(pMoving[i] - pStill[i], u[i] * 0.01), 1e-12) << "vertex " << i;
            vec3 mean;
            double sum = 0.0;
            for (int m = sim.clusterBegin(i); m < sim.clusterEnd(i); ++m) {
                mean += sim.clusterWeights()[m] * u[sim.clusterVerts()[m]];
                sum += sim.clusterWeights()[m];
            }
            ASSERT_NEAR(sum, 1.0, kTight);
            const vec3 expected = (u[i] + mean) * 0.3;
            EXPECT_LT(distance(vMoving[i] - vStill[i], expected), 1e-9) << "vertex " << i;
        }
        // A uniform field keeps 60 %.
        TLSMModel uniform;
        std::vector<vec3> pUniform;
        ASSERT_TRUE(stepWith(std::vector<vec3>(4, vec3(1, 2, 3)), uniform, pUniform));
        const std::vector<vec3> vUniform = uniform.m_simulator.velocities();
        for (int i = 0; i < 4; ++i) EXPECT_LT(distance(vUniform[i] - vStill[i], vec3(0.6, 1.2, 1.8)), 1e-9);
    }
}

TEST(StepTest, UnevenThreadSharesGiveTheSameBits) {
    // The step cuts the fit and the gather at each thread's share of the work and moves the
    // shares after every step; wherever the cuts fall, every cluster and vertex gets the same sums.
    const int defaultThreads = omp_get_max_threads();
    omp_set_num_threads(2);
    auto run = [](const std::vector<double>* fitCuts, const std::vector<double>* gatherCuts) {
        TLSMModel model;
        simtest::setUpModel(model, testmesh::tube(), 1, vec3(0, 1, 0.3));
        std::vector<vec3> p = model.m_vtxOrigPos;
        for (size_t v = 0; v < p.size(); ++v) p[v] += vec3(0.01 * std::sin(1.0 * v), 0.02 * std::cos(3.0 * v), 0.0);
        for (Mat3& m : model.m_vtxStretch) m = {0.8, 0, 0, 0, 1.1, 0, 0, 0, 1.1};
        DiagCapture quiet;
        for (int step = 0; step < 10; ++step) {
            if (fitCuts) TLSMSimulatorTestAccess::cutShares(model.m_simulator, *fitCuts, *gatherCuts);
            model.m_simulator.stepSimulation(p, {}, {}, model.m_vtxStretch, 0.01, 10);
        }
        EXPECT_EQ(model.m_simulator.stepThreads(), 2);
        return p;
    };
    const std::vector<double> fit = {0.0, 0.85, 1.0}, gather = {0.0, 0.1, 1.0};
    const std::vector<vec3> even = run(nullptr, nullptr), uneven = run(&fit, &gather);
    omp_set_num_threads(defaultThreads);
    EXPECT_GT(maxDistance(even, testmesh::tube().verts), 1e-3);
    EXPECT_TRUE(even == uneven);
}

TEST(StepTest, BadInputIsRefusedWithoutMoving) {
    TLSMModel model;
    simtest::setUpModel(model, testmesh::singleTet());
    std::vector<vec3> p = model.m_verts;
    p[0].x += 0.1;
    const std::vector<vec3> before = p;
    DiagCapture diag;
    EXPECT_FALSE(model.m_simulator.stepSimulation(p, {}, {}, model.m_vtxStretch, 0.0, 10));
    EXPECT_TRUE(diag.contains("stepSimulation: time step 0 is not a positive number, step skipped"));
    EXPECT_FALSE(model.m_simulator.stepSimulation(p, {}, {}, {}, 0.01, 10));
    EXPECT_EQ(p, before);
    // Held vertices outside the mesh are ignored.
    EXPECT_TRUE(model.m_simulator.stepSimulation(p, {{-1, vec3()}, {99, vec3()}}, {42}, model.m_vtxStretch, 0.01, 10));
    for (const vec3& v : p) EXPECT_TRUE(isFinite(v));
}

TEST(StepTest, TimingReportEveryThousandCalls) {
    TLSMModel model;
    simtest::setUpModel(model, testmesh::singleTet());
    resetSimulationTimingReport();
    DiagCapture diag;
    for (int call = 0; call < 999; ++call)
        model.m_simulator.stepSimulation(model.m_verts, {}, {}, model.m_vtxStretch, 0.01, 1);
    EXPECT_EQ(diag.text(), "");
    model.m_simulator.stepSimulation(model.m_verts, {}, {}, model.m_vtxStretch, 0.01, 1);
    const std::regex report(
        "\n\naaaaa = \\d+,  1000 iteration --> time = \\d+\\.\\d{10} second\n"
        "bbbbb = \\d+,  1000 iteration --> time = \\d+\\.\\d{10} second\n"
        "ccccc = \\d+,  1000 iteration --> time = \\d+\\.\\d{10} second\n");
    EXPECT_TRUE(std::regex_match(diag.text(), report)) << diag.text();
}

}  // namespace
