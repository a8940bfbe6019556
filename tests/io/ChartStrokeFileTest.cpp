// Contraction-chart rules and files, fibre-stroke files.
#include <gtest/gtest.h>

#include "common/TestFiles.h"
#include "io/ChartFile.h"
#include "io/StrokeFile.h"
#include "linalg/Diagnostics.h"

namespace {

using testfiles::TempDir;

TEST(ChartRulesTest, AddPointKeepsTheListSortedAndRefusesARepeatedX) {
    TChartPoints chart;
    resetChart(chart);
    EXPECT_EQ(addChartPoint(chart, 0.6, 0.2), 1);
    EXPECT_EQ(addChartPoint(chart, 0.3, 0.9), 1);
    EXPECT_EQ(addChartPoint(chart, 0.6, 0.7), -1);
    EXPECT_EQ(chart, (TChartPoints{{0, 0}, {0.3, 0.9}, {0.6, 0.2}}));
}

class ChartFileTest : public ::testing::Test {
protected:
    bool load(const std::string& text) {
        testfiles::writeText(path, text);
        std::string error;
        const bool ok = loadChartFile(path, chart, error);
        if (!ok) lastError = error;
        return ok;
    }
    TempDir dir;
    std::string path = dir.file("chart.txt");
    TChartPoints chart = {{0.0, 0.2}, {0.5, 0.6}};
    std::string lastError;
};

TEST_F(ChartFileTest, PairsAreSortedDeduplicatedAndClamped) {
    ASSERT_TRUE(load("vent 4\n0 0.5\n0.3 1.2\n0.3 0.2\n1.5 0.4\n"));
    EXPECT_EQ(chart, (TChartPoints{{0.0, 0.5}, {0.3, 1.0}, {1.0, 0.4}}));
    ASSERT_TRUE(load("vent 2  0.7 0.1  0 0"));
    EXPECT_EQ(chart, (TChartPoints{{0.0, 0.001}, {0.7, 0.1}}));
    ASSERT_TRUE(load("vent 1\r\n0.00005 1.0\r\n"));
    EXPECT_EQ(chart, (TChartPoints{{0.0, 0.999}}));
}

TEST_F(ChartFileTest, FewerPairsThanAnnouncedLoadThePairsPresent) {
    ASSERT_TRUE(load("vent 10 0 0.5 0.5 0.25 0.75"));
    EXPECT_EQ(chart, (TChartPoints{{0.0, 0.5}, {0.5, 0.25}}));
}

TEST_F(ChartFileTest, UnreadableOrMalformedFilesChangeNothing) {
    const TChartPoints before = chart;
    for (const char* text : {"", "vent", "vent x", "vent -2", "vent 2 0 0.5 0.5 abc", "vent 1 0 nan"}) {
        EXPECT_FALSE(load(text)) << text;
        EXPECT_FALSE(lastError.empty());
        EXPECT_EQ(chart, before) << text;
    }
    std::string error;
    EXPECT_FALSE(loadChartFile(dir.file("absent.txt"), chart, error));
    EXPECT_NE(error.find("absent.txt"), std::string::npos);
    EXPECT_EQ(chart, before);
}

TEST(StrokeFileTest, WrittenStrokesReadBackRoundedToSixDecimals) {
    TempDir dir;
    const std::string path = dir.file("s.vmfigstrs");
    const std::vector<std::vector<vec3>> strokes = {{{1, 2, 3}, {0.1234567, -4, 5}}, {}, {{7, 8, 9}}};
    std::string error;
    ASSERT_TRUE(writeStrokeFile(path, strokes, error)) << error;
    EXPECT_EQ(testfiles::readText(path),
              "strokeInfo 3\nstroke 0 2\n1.000000 2.000000 3.000000\n0.123457 -4.000000 5.000000\n"
              "stroke 1 0\nstroke 2 1\n7.000000 8.000000 9.000000\nend\n");
    std::vector<std::vector<vec3>> read;
    DiagCapture diag;
    ASSERT_TRUE(readStrokeFile(path, read, error)) << error;
    EXPECT_EQ(diag.text(), "strokeInfo 3\nstroke 0 2\nstroke 1 0\nstroke 2 1\nend");
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0][1], vec3(0.123457, -4, 5));
    EXPECT_TRUE(read[1].empty());
}

TEST(StrokeFileTest, MalformedFilesStopSafelyAndChangeNothing) {
    TempDir dir;
    const std::string path = dir.file("s.vmfigstrs");
    const std::vector<std::vector<vec3>> before = {{{1, 1, 1}}};
    for (const char* text : {"", "strokeInfo", "strokeInfo 1 stroke 0 1 1 2", "strokeInfo 1 stroke 0 1 1 2 3",
                             "strokeInfo 1 stroke 0 999999999 1 2 3 end", "strokeInfo 1 stroke 0 1 1 x 3 end",
                             "strokeInfo 2000000000 stroke", "strokeInfo 1 stroke 0 1 inf 2 3 end"}) {
        testfiles::writeText(path, text);
        std::vector<std::vector<vec3>> strokes = before;
        std::string error;
        DiagCapture diag;
        EXPECT_FALSE(readStrokeFile(path, strokes, error)) << text;
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(strokes, before) << text;
    }
    std::vector<std::vector<vec3>> strokes;
    std::string error;
    EXPECT_FALSE(readStrokeFile(dir.file("absent"), strokes, error));
    EXPECT_FALSE(writeStrokeFile(path, {{{0, std::nan(""), 0}}}, error));
}

}  // namespace
