// The simulation lattice: the embedding carries an affine motion exactly, the carried fields keep
// their range and weighted mean, the ticks give the same bits on any thread count, and the
// project record round-trips without touching files that have none.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "common/TestMeshes.h"
#include "io/ProjectRecord.h"
#include "model/ProjectFile.h"
#include "model/SimTestModel.h"
#include "model/SimulationLattice.h"
#include "model/TLSMModel.h"

namespace {

constexpr double kExact = 1e-12;

/// A lattice of cells x cells x cells grid cells spanning [lo, hi]^3, as a builder returns it.
LatticeMeshResult gridLattice(int cells, double lo, double hi) {
    const double h = (hi - lo) / cells;
    testmesh::TetData data = testmesh::grid(
        cells, cells, cells, [&](int i, int j, int k) { return vec3(lo + i * h, lo + j * h, lo + k * h); });
    LatticeMeshResult result;
    result.positions = data.verts;
    for (const Tetra& t : data.tets) result.tets.push_back({t.vIdx[0], t.vIdx[1], t.vIdx[2], t.vIdx[3]});
    return result;
}

/// Lumped volume per vertex: a quarter of each of its tetrahedra.
std::vector<double> lumpedVolumes(const testmesh::TetData& mesh) {
    std::vector<double> volume(mesh.verts.size(), 0.0);
    for (const Tetra& t : mesh.tets)
        for (int v : t.vIdx) volume[v] += std::fabs(testmesh::volume6(mesh, t)) / 24.0;
    return volume;
}

/// Installs a builder that returns gridLattice(cells, lo, hi) and counts its calls.
struct FakeBuilder {
    int calls = 0;
    FakeBuilder(int cells, double lo, double hi) {
        setLatticeMeshBuilder([this, cells, lo, hi](const LatticeMeshRequest& request, const LatticeBuildHooks&,
                                                    LatticeMeshResult& result, std::string&) {
            ++calls;
            EXPECT_FALSE(request.triangles.empty());
            EXPECT_GT(request.enclosedVolume, 0.0);
            result = gridLattice(cells, lo, hi);
            return true;
        });
    }
    ~FakeBuilder() { setLatticeMeshBuilder(nullptr); }
};

}  // namespace

TEST(SimulationLatticeTest, AffineMotionOfTheLatticeIsCarriedExactlyInside) {
    // The fine cube [0, 8]^3 sticks out of the lattice [0.5, 7.5]^3 by half a unit on every side.
    const testmesh::TetData fine = testmesh::cube(8, 1.0);
    const LatticeMeshResult mesh = gridLattice(3, 0.5, 7.5);
    SimulationLattice lattice;
    std::string reason;
    ASSERT_TRUE(lattice.build(mesh.positions, mesh.tets, fine.verts, fine.tets, reason)) << reason;

    int outside = 0;
    for (size_t i = 0; i < fine.verts.size(); ++i) {
        const LatticeEmbedding& e = lattice.embedding()[i];
        double sum = 0.0;
        for (double w : e.weights) {
            EXPECT_GE(w, 0.0);
            EXPECT_LE(w, 1.0);
            sum += w;
        }
        EXPECT_NEAR(sum, 1.0, kExact);
        const vec3& p = fine.verts[i];
        if (std::min({p.x, p.y, p.z}) < 0.5 || std::max({p.x, p.y, p.z}) > 7.5) ++outside;
    }
    EXPECT_EQ(lattice.outsideVertexCount(), outside);
    EXPECT_GT(outside, 0);

    // A shear, a turn and a shift of every lattice vertex.
    const double a[3][3] = {{1.1, 0.2, -0.1}, {0.05, 0.9, 0.3}, {-0.2, 0.1, 1.2}};
    const vec3 shift(0.3, -2.0, 1.5);
    auto affine = [&](const vec3& p) {
        return vec3(a[0][0] * p.x + a[0][1] * p.y + a[0][2] * p.z, a[1][0] * p.x + a[1][1] * p.y + a[1][2] * p.z,
                    a[2][0] * p.x + a[2][1] * p.y + a[2][2] * p.z) +
               shift;
    };
    for (int v = 0; v < lattice.vertexCount(); ++v) lattice.m_positions[v] = affine(lattice.restPositions()[v]);
    std::vector<vec3> placed;
    for (int threads : {1, 2}) {
        std::vector<vec3> run;
        lattice.placeFineVertices(fine.verts, run, threads);
        if (threads == 2) {
            EXPECT_TRUE(run == placed);
        }
        placed = run;
    }
    for (size_t i = 0; i < fine.verts.size(); ++i) {
        const vec3& p = fine.verts[i];
        if (std::min({p.x, p.y, p.z}) < 0.5 || std::max({p.x, p.y, p.z}) > 7.5) continue;
        EXPECT_LT(distance(placed[i], affine(p)), 1e-9) << "vertex " << i;
    }
    // Back at rest the fine mesh is exactly at rest, outside vertices included.
    lattice.reset();
    lattice.placeFineVertices(fine.verts, placed, 2);
    EXPECT_TRUE(placed == fine.verts);
}

TEST(SimulationLatticeTest, CarriedFieldsKeepTheirRangeAndWeightedMean) {
    const testmesh::TetData fine = testmesh::cube(9, 1.0);
    const LatticeMeshResult mesh = gridLattice(3, 0.0, 9.0);
    SimulationLattice lattice;
    std::string reason;
    ASSERT_TRUE(lattice.build(mesh.positions, mesh.tets, fine.verts, fine.tets, reason)) << reason;
    const int n = static_cast<int>(fine.verts.size());
    std::mt19937 random(7);
    std::uniform_real_distribution<double> uniform(0.2, 0.8);
    std::vector<double> phase(n), amplitude(n);
    std::vector<int16_t> labels(n);
    std::vector<TVertexFrame> frames(n);
    for (int i = 0; i < n; ++i) {
        phase[i] = uniform(random);
        amplitude[i] = -uniform(random);
        labels[i] = fine.verts[i].x < 4.4 ? 1 : 2;
        // The same fibre line, pointing either way; the depth direction too.
        const double sign = i % 3 == 0 ? -1.0 : 1.0;
        frames[i] = TVertexFrame{vec3(0, 0.6, 0.8) * sign, vec3(0, 0.8, -0.6) * -sign, vec3(-1, 0, 0)};
    }
    lattice.carryFields(phase, amplitude, labels, frames);

    // Range: within the fine values' bounds.
    for (int v = 0; v < lattice.vertexCount(); ++v) {
        EXPECT_GE(lattice.m_phase[v], 0.2);
        EXPECT_LE(lattice.m_phase[v], 0.8);
        EXPECT_GE(lattice.m_amplitude[v], -0.8);
        EXPECT_LE(lattice.m_amplitude[v], -0.2);
        // Sign-aligned, so the lines come through whole and orthonormal.
        const TVertexFrame& f = lattice.m_frames[v];
        EXPECT_NEAR(std::fabs(f.m_primaryDir.dot(vec3(0, 0.6, 0.8))), 1.0, 1e-12);
        EXPECT_NEAR(f.m_primaryDir.dot(f.m_depthDir), 0.0, 1e-12);
        EXPECT_LT(distance(f.m_thirdDir, f.m_primaryDir.cross(f.m_depthDir)), 1e-12);
        // Labels by majority: the planes x = 0, 3 lie in region 1, x = 6, 9 in region 2.
        EXPECT_EQ(lattice.m_labels[v], lattice.restPositions()[v].x < 4.5 ? 1 : 2) << "lattice vertex " << v;
    }
    // Mean: the lattice vertices weighted by the fine volume their stars carry give the fine
    // mesh's volume-weighted mean.
    const std::vector<double> volume = lumpedVolumes(fine);
    std::vector<double> mass(lattice.vertexCount(), 0.0);
    for (int i = 0; i < n; ++i)
        for (int k = 0; k < 4; ++k)
            mass[lattice.embedding()[i].corners[k]] += lattice.embedding()[i].weights[k] * volume[i];
    double fineMean = 0.0, fineMass = 0.0, latticeMean = 0.0, latticeMass = 0.0;
    for (int i = 0; i < n; ++i) fineMean += volume[i] * phase[i], fineMass += volume[i];
    for (int v = 0; v < lattice.vertexCount(); ++v) latticeMean += mass[v] * lattice.m_phase[v], latticeMass += mass[v];
    EXPECT_NEAR(latticeMass, fineMass, 1e-9 * fineMass);
    EXPECT_NEAR(latticeMean / latticeMass, fineMean / fineMass, 1e-12);
}

TEST(SimulationLatticeTest, LatticeTicksAreTheSameOnOneAndTwoThreadsAndFollowEdits) {
    const int defaultThreads = omp_get_max_threads();
    FakeBuilder builder(7, -0.5, 16.5);
    std::vector<std::vector<vec3>> results;
    for (int threads : {1, 2}) {
        omp_set_num_threads(2);  // two workers at set-up, so the step may use two
        TLSMModel model;
        simtest::setUpModel(model, testmesh::cube(16, 1.0), 1, vec3(0, 1, 0.3));
        TGlobalExcitation& e = *model.m_excitation;
        e.m_chartVent = {{0.0, 0.0}, {0.3, 0.9}, {0.6, 0.1}};
        e.m_propagationMode = true;
        buildTables(e);
        for (int v = 0; v < model.vertexCount(); ++v) model.m_phaseField.m_value[v] = model.m_vtxOrigPos[v].y / 16.0;
        std::string reason;
        {
            DiagCapture quiet;
            ASSERT_TRUE(model.setSimulationLattice(400, &reason)) << reason;
        }
        ASSERT_NE(model.simulationLattice(), nullptr);
        EXPECT_EQ(model.simulationLatticeTarget(), 400);
        EXPECT_EQ(model.simulationLattice()->vertexCount(), 512);
        model.m_fixedVerts[0] = vec3(-1, -1, -1);
        omp_set_num_threads(threads);
        for (int tick = 1; tick <= 30; ++tick) model.updateModel(tick * 0.01, 0.01);
        EXPECT_EQ(model.simulationLattice()->m_simulator.stepThreads(), threads);
        results.push_back(model.m_verts);

        // An edit the shell does not report is noticed within a beat's few ticks: labels 0 stop
        // the contraction on the lattice.
        model.m_vtxIsVentriOrAtrium.assign(model.vertexCount(), 0);
        for (int tick = 31; tick <= 50; ++tick) model.updateModel(tick * 0.01, 0.01);
        const std::vector<int16_t>& carried = model.simulationLattice()->m_labels;
        EXPECT_TRUE(std::all_of(carried.begin(), carried.end(), [](int16_t l) { return l == 0; }));
    }
    omp_set_num_threads(defaultThreads);
    EXPECT_EQ(builder.calls, 2);
    EXPECT_GT(distance(results[0][2000], testmesh::cube(16, 1.0).verts[2000]), 1e-3);
    EXPECT_TRUE(results[0] == results[1]);
}

TEST(SimulationLatticeTest, RefusalsLeaveTheModelAsItWas) {
    TLSMModel model;
    simtest::setUpModel(model, testmesh::cube(6, 1.0));
    std::string reason;
    DiagCapture quiet;
    EXPECT_FALSE(model.setSimulationLattice(200, &reason));  // no builder in this program
    EXPECT_NE(reason.find("cannot build"), std::string::npos) << reason;
    FakeBuilder builder(3, 0.0, 6.0);
    EXPECT_FALSE(model.setSimulationLattice(99, &reason));
    EXPECT_NE(reason.find("at least 100"), std::string::npos) << reason;
    EXPECT_FALSE(model.setSimulationLattice(343, &reason));  // the model has 343 vertices
    EXPECT_NE(reason.find("not coarser"), std::string::npos) << reason;
    EXPECT_EQ(model.simulationLattice(), nullptr);
    EXPECT_EQ(model.simulationLatticeTarget(), 0);
    EXPECT_EQ(builder.calls, 0);
}

TEST(SimulationLatticeTest, ProjectRecordRoundTripsAndIsAbsentWithoutALattice) {
    TLSMModel model;
    simtest::setUpModel(model, testmesh::cube(6, 1.0));
    std::string plain, withLattice, error;
    ASSERT_TRUE(formatProjectText(projectRecordOf(model), plain, error)) << error;
    EXPECT_EQ(plain.find("#SimulationLattice"), std::string::npos);

    model.setSimulationLatticeTarget(150);
    ASSERT_TRUE(formatProjectText(projectRecordOf(model), withLattice, error)) << error;
    const size_t at = withLattice.find("#SimulationLattice");
    ASSERT_NE(at, std::string::npos);
    // Exactly one line more than the file without it.
    const size_t end = withLattice.find('\n', at);
    EXPECT_EQ(withLattice.substr(0, at) + withLattice.substr(end + 1), plain);

    ProjectRecord read;
    parseProjectText(withLattice, read);
    ASSERT_TRUE(read.endMarkerFound) << read.damage;
    TLSMModel loaded;
    simtest::setUpModel(loaded, testmesh::cube(6, 1.0));
    {
        DiagCapture quiet;
        applyProjectRecord(loaded, read);
    }
    EXPECT_EQ(loaded.simulationLatticeTarget(), 150);
    EXPECT_EQ(loaded.simulationLattice(), nullptr);  // built by ensureSimulationLattice

    // Cleared, the file is the plain one again; a file asking for too much is read without it.
    model.clearSimulationLattice();
    std::string cleared;
    ASSERT_TRUE(formatProjectText(projectRecordOf(model), cleared, error)) << error;
    EXPECT_EQ(cleared, plain);
    ProjectRecord tooLarge;
    std::string text = withLattice;
    text.replace(at, end - at, "#SimulationLattice       5000");
    parseProjectText(text, tooLarge);
    DiagCapture diag;
    applyProjectRecord(loaded, tooLarge);
    EXPECT_EQ(loaded.simulationLatticeTarget(), 0);
    EXPECT_TRUE(diag.contains("#SimulationLattice 5000 is not between 100 and the model's 343 vertices"));
}
