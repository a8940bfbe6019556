// Chart point operations of the overlay and the dialog's chart editor: picking, insertion order and
// rejection, the drag limits, and protection of the first point.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "interaction/ChartEditing.h"
#include "interaction/StdOverlays.h"

namespace {

const ChartXY kPos{0.57, 0.57};
const ChartXY kSize{0.38, 0.38};

ChartXY at(double t, double v) { return chartToFrame(kPos, kSize, t, v); }

TEST(ChartEditing, FindsTheFirstPointWithinThePickRadius) {
    const TChart chart{{0.0, 0.2}, {0.5, 0.5}, {0.51, 0.5}};
    EXPECT_EQ(findChartPoint(chart, kPos, kSize, at(0.5, 0.5)), 1);
    // 0.51 lies 0.0038 units from 0.5: both are in reach, the first in curve order wins.
    EXPECT_EQ(findChartPoint(chart, kPos, kSize, at(0.51, 0.5)), 1);
    const ChartXY p0 = at(0.0, 0.2);
    EXPECT_EQ(findChartPoint(chart, kPos, kSize, {p0.x + 0.029, p0.y}), 0);
    EXPECT_EQ(findChartPoint(chart, kPos, kSize, {p0.x + 0.021, p0.y + 0.021}), 0);  // 0.0297 away
    EXPECT_EQ(findChartPoint(chart, kPos, kSize, {p0.x + 0.022, p0.y + 0.022}), -1);  // 0.0311 away
    EXPECT_EQ(findChartPoint(TChart{}, kPos, kSize, p0), -1);
}

TEST(ChartEditing, InsertionKeepsTheChartSortedAndDoesNotClampTheValue) {
    TChart chart{{0.0, 0.0}, {0.6, 0.4}};
    const int i = insertChartPoint(chart, kPos, kSize, at(0.3, -0.05));
    ASSERT_EQ(i, 1);
    EXPECT_NEAR(chart[1].first, 0.3, 1e-12);
    EXPECT_NEAR(chart[1].second, -0.05, 1e-12);
    EXPECT_EQ(chart[2], (std::pair<double, double>(0.6, 0.4)));
    EXPECT_EQ(insertChartPoint(chart, kPos, kSize, at(0.9, 1.2)), 3);
    EXPECT_NEAR(chart[3].second, 1.2, 1e-12);
    // Both ends of the cycle are accepted, beyond them nothing is inserted.
    EXPECT_EQ(insertChartValue(chart, 1.0, 0.5), 4);
    EXPECT_EQ(insertChartPoint(chart, kPos, kSize, {kPos.x - 0.001, 0.7}), -1);
    EXPECT_EQ(insertChartPoint(chart, kPos, kSize, {kPos.x + kSize.x + 0.001, 0.7}), -1);
    EXPECT_EQ(chart.size(), 5u);
}

TEST(ChartEditing, InsertionRejectsAnExistingTimeAndValuesThatAreNotNumbers) {
    TChart chart{{0.0, 0.0}, {0.25, 0.5}};
    EXPECT_EQ(insertChartValue(chart, 0.25, 0.9), -1);
    EXPECT_EQ(insertChartValue(chart, 0.0, 0.9), -1);
    EXPECT_EQ(insertChartValue(chart, std::numeric_limits<double>::quiet_NaN(), 0.5), -1);
    EXPECT_EQ(insertChartValue(chart, 0.5, std::numeric_limits<double>::infinity()), -1);
    EXPECT_EQ(insertChartPoint(chart, kPos, ChartXY{0.0, 0.0}, kPos), -1);
    EXPECT_EQ(chart.size(), 2u);
}

TEST(ChartEditing, DraggingKeepsTheOrderAndTheLimits) {
    TChart chart{{0.0, 0.1}, {0.4, 0.5}, {0.7, 0.5}};
    // Point 0 stays at t = 0 whatever the pointer does; its value moves.
    ASSERT_TRUE(moveChartPoint(chart, kPos, kSize, at(0.3, 0.6), 0));
    EXPECT_EQ(chart[0].first, 0.0);
    EXPECT_NEAR(chart[0].second, 0.6, 1e-12);
    // A middle point stops 0.001 short of either neighbour.
    moveChartPoint(chart, kPos, kSize, at(0.9, 0.5), 1);
    EXPECT_NEAR(chart[1].first, 0.699, 1e-12);
    moveChartPoint(chart, kPos, kSize, at(-0.5, 0.5), 1);
    EXPECT_NEAR(chart[1].first, 0.001, 1e-12);
    // The last point stops at 0.999.
    moveChartPoint(chart, kPos, kSize, at(1.4, 0.5), 2);
    EXPECT_NEAR(chart[2].first, 0.999, 1e-12);
    // Values outside (0, 1) are pulled just inside.
    moveChartPoint(chart, kPos, kSize, at(0.5, -0.3), 1);
    EXPECT_EQ(chart[1].second, kOverlayValueLow);
    moveChartPoint(chart, kPos, kSize, at(0.5, 0.0), 1);
    EXPECT_EQ(chart[1].second, 0.0000001);
    moveChartPoint(chart, kPos, kSize, at(0.5, 1.0), 1);
    EXPECT_EQ(chart[1].second, 0.9999999);
    // The dialog's editor uses its own value limits.
    moveChartValue(chart, 2, 0.8, 7.0, kEditorValueLow, kEditorValueHigh);
    EXPECT_EQ(chart[2].second, 0.999);
    // A point between neighbours closer than two gaps stays after its predecessor.
    TChart tight{{0.0, 0.0}, {0.5, 0.2}, {0.5005, 0.2}, {0.501, 0.2}};
    moveChartValue(tight, 2, 0.9, 0.2, kOverlayValueLow, kOverlayValueHigh);
    EXPECT_NEAR(tight[2].first, 0.501, 1e-12);
    EXPECT_FALSE(moveChartValue(tight, 4, 0.5, 0.5, 0.0, 1.0));
    EXPECT_FALSE(moveChartValue(tight, -1, 0.5, 0.5, 0.0, 1.0));
}

TEST(ChartEditing, RemovalNeverTakesTheFirstPoint) {
    TChart chart{{0.0, 0.3}, {0.5, 0.5}};
    EXPECT_FALSE(removeChartPoint(chart, 0));
    EXPECT_FALSE(removeChartPoint(chart, -1));
    EXPECT_FALSE(removeChartPoint(chart, 2));
    EXPECT_TRUE(removeChartPoint(chart, 1));
    ASSERT_EQ(chart.size(), 1u);
    EXPECT_EQ(chart[0].second, 0.3);
}

TEST(ChartEditing, TheEditorsPixelMappingPutsValuesOnTheGuideLines) {
    const ChartPixelArea area{200, 100};
    EXPECT_EQ(area.rowOf(0.0), 90);
    EXPECT_EQ(area.rowOf(1.0), 10);
    EXPECT_EQ(area.rowOf(0.5), 50);
    EXPECT_EQ(area.columnOf(0.25), 50);
    const TChart chart{{0.0, 0.0}, {0.25, 0.5}};
    // Heights are counted from the bottom edge: value 0.5 is drawn 50 pixels up.
    EXPECT_EQ(area.findPoint(chart, 50, 50), 1);
    EXPECT_EQ(area.findPoint(chart, 52, 51), 1);  // 2^2 + 1^2 < 9
    EXPECT_EQ(area.findPoint(chart, 53, 50), -1);  // 3^2 is not < 9
    EXPECT_EQ(area.findPoint(chart, 1, 10), 0);
    const ChartXY inserted = area.insertValueAt(50, 25);
    EXPECT_DOUBLE_EQ(inserted.x, 0.25);
    EXPECT_DOUBLE_EQ(inserted.y, 0.25);
    const ChartXY dragged = area.dragValueAt(100, 90);
    EXPECT_DOUBLE_EQ(dragged.x, 0.5);
    EXPECT_DOUBLE_EQ(dragged.y, 1.0);
}

TEST(StdOverlays, CurvesCloseAtTheRightEdgeAndTheCursorFollowsTheTime) {
    const TChart chart{{0.0, 0.25}, {0.5, 1.0}};
    const std::vector<ChartXY> line = overlayCurveLine(chart, kPos, kSize, kOverlayRightHalfShift);
    ASSERT_EQ(line.size(), 3u);
    EXPECT_NEAR(line[0].x, 0.57 - 0.03, 1e-12);
    EXPECT_NEAR(line[1].x, 0.57 + 0.19 - 0.03, 1e-12);
    EXPECT_NEAR(line[1].y, 0.95, 1e-12);
    EXPECT_NEAR(line[2].x, 0.95 - 0.03, 1e-12);
    EXPECT_NEAR(line[2].y, 0.57 + 0.095, 1e-12);
    EXPECT_TRUE(overlayCurveLine(TChart{}, kPos, kSize, 0.0).empty());
    EXPECT_NEAR(overlayCursorX(kPos, kSize, 0.5, 2.0, 0.0), 0.57 + 0.095, 1e-12);
    EXPECT_NEAR(overlayCursorX(kPos, kSize, 0.5, 0.0, 0.0), 0.57, 1e-12);
}

}  // namespace
