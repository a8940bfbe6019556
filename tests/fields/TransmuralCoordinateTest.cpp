// The transmural coordinate (Laplace with cavity and outer-surface values) and the helix rule on
// meshes with a known answer: a spherical shell and a thick cylinder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "common/TestMeshes.h"
#include "fields/RuleBasedFibres.h"
#include "fields/TransmuralCoordinate.h"
#include "linalg/Diagnostics.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

/// A thick spherical shell, radii 1 and 2, from a cube grid of 16^3 cells without its middle
/// 8^3 cells, every cube surface of the grid's L-infinity norm pushed onto a sphere. The cells left
/// in the middle's place have no tetrahedra; their vertices are not used.
struct Shell {
    static constexpr int kCells = 16;
    static constexpr int kInnerHalf = 4;  // the hole spans cells kCells/2 - 4 .. kCells/2 + 4
    static constexpr double kInner = 1.0, kOuter = 2.0;
    testmesh::TetData mesh;
    std::vector<int> inner;
    std::vector<int> norm;  // L-infinity norm of each vertex in cells from the centre

    Shell() {
        const int half = kCells / 2;
        mesh = testmesh::grid(kCells, kCells, kCells, [&](int i, int j, int k) {
            const vec3 q(i - half, j - half, k - half);
            const double s = std::max({std::fabs(q.x), std::fabs(q.y), std::fabs(q.z)});
            if (s == 0.0) return vec3();
            const double r = kInner + (kOuter - kInner) * (s - kInnerHalf) / (half - kInnerHalf);
            return q / q.norm() * r;
        });
        for (int k = 0; k <= kCells; ++k)
            for (int j = 0; j <= kCells; ++j)
                for (int i = 0; i <= kCells; ++i)
                    norm.push_back(std::max({std::abs(i - half), std::abs(j - half), std::abs(k - half)}));
        std::vector<Tetra> kept;
        for (const Tetra& t : mesh.tets) {
            bool inHole = false;
            for (int v : t.vIdx) inHole = inHole || norm[v] < kInnerHalf;
            if (!inHole) kept.push_back(t);
        }
        mesh.tets = kept;
        for (size_t v = 0; v < norm.size(); ++v)
            if (norm[v] == kInnerHalf) inner.push_back(static_cast<int>(v));
    }
};

TEST(TransmuralCoordinateTest, SphericalShellFollowsTheHarmonicSolution) {
    const Shell shell;
    std::vector<double> t;
    std::string error;
    DiagCapture quiet;
    ASSERT_TRUE(computeTransmuralCoordinate(shell.mesh.verts, shell.mesh.tets, shell.inner, t, error)) << error;
    ASSERT_EQ(t.size(), shell.mesh.verts.size());
    // Within the discretisation error of 8 layers of distorted cells.
    constexpr double kTolerance = 0.02;
    double worst = 0.0;
    int interior = 0;
    for (size_t v = 0; v < t.size(); ++v) {
        const int s = shell.norm[v];
        if (s < Shell::kInnerHalf) continue;  // not in the mesh
        if (s == Shell::kInnerHalf) {
            EXPECT_EQ(t[v], 0.0) << v;
        } else if (s == Shell::kCells / 2) {
            EXPECT_EQ(t[v], 1.0) << v;
        } else {
            const double r = shell.mesh.verts[v].norm();
            const double exact = (1.0 / Shell::kInner - 1.0 / r) / (1.0 / Shell::kInner - 1.0 / Shell::kOuter);
            worst = std::max(worst, std::fabs(t[v] - exact));
            ++interior;
        }
    }
    EXPECT_GT(interior, 1000);
    EXPECT_LT(worst, kTolerance);

    // The gradient points outward along the radius, with the analytic slope at mid-wall.
    const std::vector<vec3> gradient = vertexGradients(shell.mesh.verts, shell.mesh.tets, t);
    for (size_t v = 0; v < t.size(); ++v) {
        if (shell.norm[v] != 6) continue;  // the middle layer of cells
        const vec3& p = shell.mesh.verts[v];
        const double r = p.norm();
        const double slope = 1.0 / (r * r) / (1.0 / Shell::kInner - 1.0 / Shell::kOuter);
        EXPECT_GT(gradient[v].dot(p / r) / gradient[v].norm(), 0.99) << v;
        // A derivative of linear elements on cells stretched at the cube's edges: first order.
        EXPECT_NEAR(gradient[v].norm(), slope, 0.2 * slope) << v;
    }
}

TEST(TransmuralCoordinateTest, RefusesWhatHasNoAnswer) {
    const testmesh::TetData cube = testmesh::cube(2);
    std::vector<double> t = {0.5};
    std::string error;
    DiagCapture quiet;
    EXPECT_FALSE(computeTransmuralCoordinate(cube.verts, cube.tets, {}, t, error));
    EXPECT_TRUE(t.empty());
    EXPECT_NE(error.find("inner"), std::string::npos) << error;
    EXPECT_FALSE(computeTransmuralCoordinate(cube.verts, cube.tets, {static_cast<int>(cube.verts.size())}, t, error));
    EXPECT_NE(error.find("not one of"), std::string::npos) << error;
    // Every surface vertex inner: nothing is left for the value 1.
    std::vector<int> all(cube.verts.size());
    for (size_t v = 0; v < all.size(); ++v) all[v] = static_cast<int>(v);
    EXPECT_FALSE(computeTransmuralCoordinate(cube.verts, cube.tets, all, t, error));
    EXPECT_FALSE(computeTransmuralCoordinate(cube.verts, {}, {0}, t, error));
}

/// Level, layer and angle of a tube vertex (the tube's index layout).
struct TubeIndex {
    int level, layer, angle;
    explicit TubeIndex(int v) : level(v / 120), layer((v / 30) % 4), angle(v % 30) {}
};

TEST(RuleBasedFibresTest, HelixTurnsThroughAThickCylinderWall) {
    const testmesh::TetData tube = testmesh::tube();  // radii 3 to 6 along y
    std::vector<int> inner;
    for (int v = 0; v < static_cast<int>(tube.verts.size()); ++v)
        if (TubeIndex(v).layer == 0) inner.push_back(v);
    std::vector<double> t;
    std::string error;
    DiagCapture quiet;
    ASSERT_TRUE(computeTransmuralCoordinate(tube.verts, tube.tets, inner, t, error)) << error;
    std::vector<vec3> gradient = vertexGradients(tube.verts, tube.tets, t);
    // The outer rings of the end faces have only boundary neighbours (t = 1 all round): their
    // direction is carried in from the wall.
    int flat = 0;
    for (const vec3& g : gradient) flat += !(g.norm2() > 0.0);
    EXPECT_GT(flat, 0);
    EXPECT_EQ(fillZeroGradients(tube.tets, gradient, 4), 0);

    // Label every vertex a ventricle but one ring of atrium vertices, whose frames must stay.
    std::vector<int16_t> labels(tube.verts.size(), 1);
    TVertexFrame marker;
    marker.m_primaryDir = vec3(0, 0, 1);
    std::vector<TVertexFrame> frames(tube.verts.size(), marker);
    for (int v = 0; v < 30; ++v) labels[v] = 2;
    const int set = setRuleBasedFrames(frames, t, gradient, labels, vec3(0, 2, 0), 60.0, -60.0);
    EXPECT_EQ(set, static_cast<int>(tube.verts.size()) - 30);
    for (int v = 0; v < 30; ++v) EXPECT_EQ(frames[v].m_primaryDir, marker.m_primaryDir);

    double squares = 0.0;
    int counted = 0;
    for (int v = 0; v < static_cast<int>(tube.verts.size()); ++v) {
        const TubeIndex where(v);
        if (where.level < 3 || where.level > 6) continue;  // away from the ends (t = 1 there)
        const vec3& p = tube.verts[v];
        // The cylinder's own frame: radial out, along the axis, and round it (el x et).
        const vec3 radial = vec3(p.x, 0, p.z) / std::hypot(p.x, p.z);
        const vec3 along(0, 1, 0);
        const vec3 round = along.cross(radial);
        const double exactT = std::log(std::hypot(p.x, p.z) / 3.0) / std::log(2.0);
        EXPECT_NEAR(t[v], exactT, 0.03) << v;

        const TVertexFrame& f = frames[v];
        EXPECT_NEAR(f.m_primaryDir.norm(), 1.0, 1e-12);
        EXPECT_NEAR(f.m_primaryDir.dot(f.m_depthDir), 0.0, 1e-12);
        EXPECT_NEAR(f.m_thirdDir.dot(f.m_primaryDir.cross(f.m_depthDir)), 1.0, 1e-12);
        EXPECT_GT(f.m_depthDir.dot(radial), 0.99) << v;
        double c = f.m_primaryDir.dot(round), l = f.m_primaryDir.dot(along);
        if (c < 0) c = -c, l = -l;
        const double helix = std::atan2(l, c) * 180.0 / kPi;
        const double expected = 60.0 - 120.0 * exactT;
        squares += (helix - expected) * (helix - expected);
        ++counted;
    }
    ASSERT_GT(counted, 400);
    EXPECT_LT(std::sqrt(squares / counted), 4.0);
    // Right-handed under the cavity: the fibre climbs as it goes round along ez x er (counter-
    // clockwise seen from the base), and the other way under the outer surface.
    for (int layer : {0, 3}) {
        const int v = 4 * 120 + layer * 30;  // level 4, angle 0
        const vec3& p = tube.verts[v];
        const vec3 round = vec3(0, 1, 0).cross(vec3(p.x, 0, p.z) / std::hypot(p.x, p.z));
        const vec3& fibre = frames[v].m_primaryDir;
        EXPECT_NEAR(std::fabs(fibre.y), std::sin(kPi / 3), 0.05) << layer;
        EXPECT_EQ(fibre.y * fibre.dot(round) > 0.0, layer == 0) << layer;
    }
}

}  // namespace
