// Contraction charts and the tables built from them.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "model/TGlobalExcitation.h"

namespace {

TEST(EvalChartTest, InterpolatesAndWrapsToFirstValue) {
    const TChart chart = {{0.0, 0.2}, {0.5, 1.0}, {0.75, 0.6}};
    EXPECT_DOUBLE_EQ(evalChart(chart, 0.0), 0.2);
    EXPECT_DOUBLE_EQ(evalChart(chart, 0.25), 0.6);
    EXPECT_DOUBLE_EQ(evalChart(chart, 0.5), 1.0);
    EXPECT_DOUBLE_EQ(evalChart(chart, 0.875), 0.4);  // halfway back to the first value at x = 1
    EXPECT_DOUBLE_EQ(evalChart(chart, 1.0), 0.2);
    EXPECT_DOUBLE_EQ(evalChart(chart, 7.0), 0.2);    // clamped
    EXPECT_DOUBLE_EQ(evalChart(chart, -3.0), 0.2);
}

TEST(EvalChartTest, ChartStartingAfterZeroUsesItsFirstSegment) {
    const TChart chart = {{0.2, 1.0}, {0.6, 0.0}};
    // Before the first point the first segment is extended.
    EXPECT_DOUBLE_EQ(evalChart(chart, 0.0), 1.5);
}

TEST(EvalChartTest, SinglePointIsConstantAndLastPointAtOneIsFinite) {
    EXPECT_DOUBLE_EQ(evalChart({{0.3, 0.7}}, 0.9), 0.7);
    const TChart chart = {{0.0, 0.0}, {1.0, 0.8}};
    EXPECT_DOUBLE_EQ(evalChart(chart, 0.5), 0.4);
    EXPECT_TRUE(std::isfinite(evalChart(chart, 1.0)));
    EXPECT_DOUBLE_EQ(evalChart(chart, 1.0), 0.8);
}

TEST(BuildTablesTest, TablesSampleBothEndsAndPreserveVolume) {
    std::vector<Tetra> tets;
    std::vector<vec3> verts, orig;
    TGlobalExcitation e(tets, verts, orig);
    for (int k = 0; k < 100; ++k) EXPECT_EQ(e.m_tableVent[k], vec3(1, 1, 1));
    e.m_chartVent = {{0.0, 0.0}, {0.5, 1.0}};
    e.m_chartAtri = {{0.0, 0.5}};
    e.m_amplitude = 0.2;
    buildTables(e);
    EXPECT_DOUBLE_EQ(e.m_tableVent[0].x, 1.0);
    EXPECT_NEAR(e.m_tableVent[99].x, 1.0, 1e-12);  // x = 1 returns to the first value 0
    EXPECT_NEAR(e.m_tableVent[49].x, 1.0 - 0.2 * (49.0 / 99.0) / 0.5, 1e-12);
    for (int k = 0; k < 100; ++k) {
        const vec3& f = e.m_tableVent[k];
        EXPECT_NEAR(f.x * f.y * f.z, 1.0, 1e-12);
        EXPECT_DOUBLE_EQ(e.m_tableAtri[k].x, 0.9);
    }
}

TEST(BuildTablesTest, CrossFibreExponentSplitsTheStretchAndItsDefaultIsTheEqualSplit) {
    std::vector<Tetra> tets;
    std::vector<vec3> verts, orig;
    TGlobalExcitation e(tets, verts, orig);
    e.m_chartVent = {{0.0, 0.1}, {0.3, 1.0}, {0.6, 0.4}};
    e.m_chartAtri = {{0.0, 0.0}, {0.5, 1.0}};
    e.m_amplitude = 0.35;
    EXPECT_EQ(e.m_crossFibreExponent, -0.5);
    buildTables(e);
    // The default gives the equal split with the very operations it always used: same bits.
    for (int k = 0; k < 100; ++k) {
        const double c = 1.0 - evalChart(e.m_chartVent, k * 0.010101010101010102) * e.m_amplitude;
        EXPECT_EQ(e.m_tableVent[k], vec3(c, 1.0 / std::sqrt(c), 1.0 / std::sqrt(c))) << k;
    }
    const std::array<vec3, 100> atrial = e.m_tableAtri;
    for (double exponent : {0.0, 0.5, 1.0}) {
        e.m_crossFibreExponent = exponent;
        buildTables(e);
        for (int k = 0; k < 100; ++k) {
            const vec3& f = e.m_tableVent[k];
            EXPECT_NEAR(f.x * f.y * f.z, 1.0, 1e-12);               // volume kept
            EXPECT_NEAR(f.z, std::pow(f.x, exponent), 1e-12) << k;  // in the wall, across the fibre
            EXPECT_EQ(e.m_tableAtri[k], atrial[k]) << "the atria keep the equal split";
        }
    }
    // k = 0: the wall keeps its in-plane width across the fibre and thickens by 1/c.
    e.m_crossFibreExponent = 0.0;
    EXPECT_EQ(ventricularFactors(0.8, 0.0), vec3(0.8, 1.0 / 0.8, 1.0));
}

}  // namespace
