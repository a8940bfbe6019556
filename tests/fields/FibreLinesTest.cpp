// Fibre lines: point location by neighbour walk, seeds, lengths, region filters, repeatability.
#include <gtest/gtest.h>
#include <omp.h>

#include "fields/FibrePresets.h"
#include "fields/FibreRandom.h"
#include "fields/FieldTestSupport.h"
#include "fields/TTensorField.h"
#include "linalg/Diagnostics.h"

namespace {

bool sameLines(const std::vector<TFibreLine>& a, const std::vector<TFibreLine>& b) {
    if (a.size() != b.size()) return false;
    for (size_t l = 0; l < a.size(); ++l) {
        if (a[l].size() != b[l].size()) return false;
        for (size_t p = 0; p < a[l].size(); ++p) {
            const TTetSample& s = a[l][p].first;
            const TTetSample& t = b[l][p].first;
            for (int k = 0; k < 4; ++k) {
                if (s.m_tetVertex[k] != t.m_tetVertex[k] || s.m_weight[k] != t.m_weight[k]) return false;
            }
            if (a[l][p].second != b[l][p].second) return false;
        }
    }
    return true;
}

bool tetHasLabel(const TTetSample& s, const std::vector<int16_t>& labels, int16_t label) {
    for (int v : s.m_tetVertex) {
        if (labels[v] == label) return true;
    }
    return false;
}

class FibreLines : public ::testing::Test {
protected:
    void SetUp() override {
        mesh = fieldtest::linkedGrid(6, 6, 6, 1.0);
        DiagCapture quiet;
        field.initOrientationField(mesh.tets, mesh.verts);
    }
    testmesh::TetData mesh;
    TTensorField field;
};

}  // namespace

TEST_F(FibreLines, LocationWalksOneAndTwoRingsButNoFurther) {
    auto centroid = [&](int t) {
        const int* v = mesh.tets[t].vIdx;
        return (mesh.verts[v[0]] + mesh.verts[v[1]] + mesh.verts[v[2]] + mesh.verts[v[3]]) * 0.25;
    };
    const int start = 6 * ((2 * 6 + 2) * 6 + 2) + 2;  // in the interior cell (2, 2, 2)
    TTetSample s;
    int tet = -1;
    ASSERT_TRUE(locatePointFromTet(mesh.tets, mesh.verts, start, centroid(start), s, tet));
    EXPECT_EQ(tet, start);
    EXPECT_NEAR((s.position(mesh.verts) - centroid(start)).norm(), 0.0, 1e-12);

    int twoRingCases = 0;
    for (int nb : mesh.tets[start].nbr) {
        ASSERT_GE(nb, 0);  // an interior tetrahedron
        ASSERT_TRUE(locatePointFromTet(mesh.tets, mesh.verts, start, centroid(nb), s, tet));
        EXPECT_EQ(tet, nb);
        for (int nb2 : mesh.tets[nb].nbr) {
            if (nb2 < 0 || nb2 == start) continue;
            bool direct = false;
            int nearest = -1;
            for (int other : mesh.tets[start].nbr) {
                direct = direct || other == nb2;
                if (nearest < 0 ||
                    (centroid(other) - centroid(nb2)).norm2() < (centroid(nearest) - centroid(nb2)).norm2())
                    nearest = other;
            }
            if (direct || nearest != nb) continue;
            // Reached through the neighbour nearest to the point.
            ++twoRingCases;
            ASSERT_TRUE(locatePointFromTet(mesh.tets, mesh.verts, start, centroid(nb2), s, tet));
            EXPECT_EQ(tet, nb2);
            for (double w : s.m_weight) {
                EXPECT_GE(w, 0.0);
                EXPECT_LE(w, 1.0);
            }
        }
    }
    EXPECT_GT(twoRingCases, 0);
    // Three cells away is beyond the walk; outside the mesh nothing contains the point.
    EXPECT_FALSE(locatePointFromTet(mesh.tets, mesh.verts, start, centroid(start) + vec3(3, 0, 0), s, tet));
    EXPECT_FALSE(locatePointFromTet(mesh.tets, mesh.verts, start, vec3(-1, -1, -1), s, tet));
    // An isolated tetrahedron has no neighbour to walk to.
    const testmesh::TetData single = testmesh::singleTet();
    EXPECT_TRUE(locatePointFromTet(single.tets, single.verts, 0, vec3(0.1, 0.1, 0.1), s, tet));
    EXPECT_FALSE(locatePointFromTet(single.tets, single.verts, 0, vec3(1, 1, 1), s, tet));
}

TEST_F(FibreLines, LinesFollowTheAxisInFixedStepsWithinTheBounds) {
    {
        DiagCapture quiet;
        applyUniformPreset(field, mesh.tets, mesh.verts, 0.0);  // fibres along +y, third along +x
    }
    for (int set = 1; set <= 3; ++set) {
        const std::vector<TFibreLine>& lines = field.m_fibreLines[set];
        ASSERT_FALSE(lines.empty()) << set;
        EXPECT_LE(lines.size(), static_cast<size_t>(TTensorField::kSeedCount[set]));
        const vec3 axis = set == 1 ? vec3(0, 1, 0) : (set == 2 ? vec3(0, 0, 1) : vec3(1, 0, 0));
        for (const TFibreLine& line : lines) {
            ASSERT_GE(line.size(), 5u);
            ASSERT_LE(line.size(), 161u);
            for (size_t p = 1; p < line.size(); ++p) {
                const vec3 step = line[p].first.position(mesh.verts) - line[p - 1].first.position(mesh.verts);
                EXPECT_NEAR((step - axis * 0.05).norm(), 0.0, 1e-9);
            }
            for (const auto& point : line) EXPECT_NEAR(point.second, 1.0, 1e-12);
        }
    }
    // A 6-unit block holds at most 121 steps of 0.05 along an axis, so the longest line is 121 points.
    size_t longest = 0;
    for (const TFibreLine& line : field.m_fibreLines[1]) longest = std::max(longest, line.size());
    EXPECT_GT(longest, 100u);
    EXPECT_LE(longest, 121u);
}

TEST_F(FibreLines, RegionFilterKeepsLinesInTheirChamber) {
    // Lower half ventricle, upper half atrium; fibres run vertically across the border.
    std::vector<int16_t> labels(mesh.verts.size());
    for (size_t i = 0; i < labels.size(); ++i) labels[i] = mesh.verts[i].y < 2.5 ? 1 : 2;
    {
        DiagCapture quiet;
        applyUniformPreset(field, mesh.tets, mesh.verts, 0.0);
    }
    for (int set = 0; set <= 1; ++set) {
        const int16_t label = set == 0 ? 2 : 1;
        field.buildFibreLines(set, mesh.tets, mesh.verts, labels);
        ASSERT_FALSE(field.m_fibreLines[set].empty());
        for (const TFibreLine& line : field.m_fibreLines[set]) {
            // Only the backward end (the first point) and the untested seed may lie outside.
            int outside = 0;
            for (size_t p = 1; p < line.size(); ++p) outside += tetHasLabel(line[p].first, labels, label) ? 0 : 1;
            EXPECT_LE(outside, 1);
        }
    }
    // Without any atrium vertex, set 0 comes out empty; unfiltered sets ignore the labels.
    const std::vector<int16_t> none(mesh.verts.size(), 0);
    field.buildFibreLines(0, mesh.tets, mesh.verts, none);
    EXPECT_TRUE(field.m_fibreLines[0].empty());
    field.buildFibreLines(2, mesh.tets, mesh.verts, none);
    EXPECT_FALSE(field.m_fibreLines[2].empty());
}

TEST_F(FibreLines, SameActionsGiveTheSameLinesAndTheSequenceRunsOn) {
    std::vector<TFibreLine> runs[3];
    const std::vector<int16_t> labels(mesh.verts.size(), 1);
    resetFibreRandomForTesting();
    field.buildFibreLines(1, mesh.tets, mesh.verts, labels);
    runs[0] = field.m_fibreLines[1];
    field.buildFibreLines(1, mesh.tets, mesh.verts, labels);  // without a restart: other seeds
    runs[1] = field.m_fibreLines[1];
    resetFibreRandomForTesting();
    field.buildFibreLines(1, mesh.tets, mesh.verts, labels);
    runs[2] = field.m_fibreLines[1];
    EXPECT_TRUE(sameLines(runs[0], runs[2]));
    EXPECT_FALSE(sameLines(runs[0], runs[1]));

    // The walks run in parallel: one thread and three give the same lines in the same order.
    const int threads = omp_get_max_threads();
    std::vector<TFibreLine> byThreads[2];
    for (int run = 0; run < 2; ++run) {
        omp_set_num_threads(run == 0 ? 1 : 3);
        resetFibreRandomForTesting();
        field.buildFibreLines(1, mesh.tets, mesh.verts, labels);
        byThreads[run] = field.m_fibreLines[1];
    }
    omp_set_num_threads(threads);
    EXPECT_TRUE(sameLines(byThreads[0], runs[0]));
    EXPECT_TRUE(sameLines(byThreads[1], runs[0]));
}

TEST(FibreRandom, StaysWithinFifteenBitsAndCoversTheRange) {
    resetFibreRandomForTesting();
    int low = kFibreRandomMax, high = 0;
    long long sum = 0;
    const int draws = 100000;
    for (int i = 0; i < draws; ++i) {
        const int r = fibreRandom();
        ASSERT_GE(r, 0);
        ASSERT_LE(r, kFibreRandomMax);
        low = std::min(low, r);
        high = std::max(high, r);
        sum += r;
    }
    EXPECT_LT(low, 10);
    EXPECT_GT(high, kFibreRandomMax - 10);
    EXPECT_NEAR(static_cast<double>(sum) / draws, kFibreRandomMax / 2.0, 300.0);
}
