// Chart, smooth-field and tensor-field blocks: both chart forms, marker checks, damaged blocks.
#include <gtest/gtest.h>

#include "io/FieldBlocks.h"
#include "linalg/Diagnostics.h"

namespace {

TConstraint constraint(int a, int b, int c, int d, double w0, double target) {
    TConstraint k;
    const int v[4] = {a, b, c, d};
    for (int i = 0; i < 4; ++i) k.m_tetVertex[i] = v[i];
    k.m_weight[0] = w0;
    k.m_weight[1] = 1.0 - w0;
    k.m_target = target;
    return k;
}

TEST(ChartBlockTest, WritesTheBlockAndReadsItBack) {
    std::string text;
    writeChartBlock(text, {{0.0, 0.25}, {0.5, 1.0 / 3.0}});
    EXPECT_EQ(text, "#FunctionNew\nconstraints 2\n0.000000 0.250000\n0.500000 0.333333\n#FunctionEnd\n");
    TextReader in(text + "after");
    TChartPoints chart = {{9, 9}};
    DiagCapture diag;
    ASSERT_TRUE(readChartBlock(in, chart));
    EXPECT_EQ(chart, (TChartPoints{{0.0, 0.25}, {0.5, 0.333333}}));
    EXPECT_EQ(diag.text(), "");
    std::string_view next;
    ASSERT_TRUE(in.readToken(next));
    EXPECT_EQ(next, "after");
}

TEST(ChartBlockTest, OlderFormKeepsOnlyTheFirstList) {
    TextReader in("#Function a 2 0 0.1 0.5 0.9  b 1 0.2 0.2  c 0  #FunctionEnd tail");
    TChartPoints chart;
    ASSERT_TRUE(readChartBlock(in, chart));
    EXPECT_EQ(chart, (TChartPoints{{0.0, 0.1}, {0.5, 0.9}}));
    std::string_view next;
    ASSERT_TRUE(in.readToken(next));
    EXPECT_EQ(next, "tail");
}

TEST(ChartBlockTest, UnknownFirstTokenLeavesTheChartEmptyAndUsesOnlyThatToken) {
    TextReader in("#Something constraints 1 0 0");
    TChartPoints chart = {{0, 0}};
    DiagCapture diag;
    ASSERT_TRUE(readChartBlock(in, chart));
    EXPECT_TRUE(chart.empty());
    EXPECT_EQ(diag.text(), "");
    std::string_view next;
    ASSERT_TRUE(in.readToken(next));
    EXPECT_EQ(next, "constraints");
}

TEST(ChartBlockTest, WrongEndMarkerIsReportedAndReadingGoesOn) {
    TextReader in("#FunctionNew constraints 1 0 0.5 #FunctionStop");
    TChartPoints chart;
    DiagCapture diag;
    EXPECT_TRUE(readChartBlock(in, chart));
    EXPECT_EQ(diag.text(), "erorr 32421783491\n");
    EXPECT_EQ(chart.size(), 1u);
}

TEST(ChartBlockTest, CutBlocksFail) {
    for (const char* text : {"#FunctionNew constraints 3 0 0 0.5", "#FunctionNew constraints 1 0 nan #FunctionEnd",
                             "#FunctionNew constraints 1 0 0.5", "#Function a 1 0 0 b 9"}) {
        TextReader in(text);
        TChartPoints chart;
        EXPECT_FALSE(readChartBlock(in, chart)) << text;
    }
}

TEST(SmoothFieldBlockTest, RoundTripAndMarkerErrors) {
    const std::vector<TConstraint> list = {constraint(1, 2, 3, 4, 0.25, 1.0), constraint(5, 5, 5, 5, 1.0, -0.5)};
    std::string text;
    writeSmoothFieldBlock(text, list);
    EXPECT_EQ(text,
              "#SmoothFieldStart\n#m_constraints 2\n"
              "1 2 3 4 0.250000 0.750000 0.000000 0.000000 1.000000\n"
              "5 5 5 5 1.000000 0.000000 0.000000 0.000000 -0.500000\n#SmoothFieldStart\n");
    std::vector<TConstraint> read;
    TextReader in(text);
    ASSERT_TRUE(readSmoothFieldBlock(in, read));
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[1].m_tetVertex[3], 5);
    EXPECT_EQ(read[0].m_weight[1], 0.75);
    EXPECT_EQ(read[1].m_target, -0.5);

    DiagCapture diag;
    TextReader wrong("#Start #m_constraints 0 #End");
    EXPECT_TRUE(readSmoothFieldBlock(wrong, read));
    EXPECT_TRUE(read.empty());
    EXPECT_EQ(diag.text(), "error 314322981\nerror 00848321890\n");
}

TEST(TensorFieldBlockTest, RoundTripAndMarkerErrors) {
    TOrientationStroke stroke(2);
    stroke[0].m_tetVertex[0] = 7;
    stroke[0].m_weight[0] = 0.5;
    stroke[1].m_tetVertex[3] = 2;
    std::string text;
    writeTensorFieldBlock(text, {constraint(0, 1, 2, 3, 0.5, 1.0)}, {stroke, {}});
    std::vector<TConstraint> depth;
    std::vector<TOrientationStroke> strokes;
    TextReader in(text);
    ASSERT_TRUE(readTensorFieldBlock(in, depth, strokes));
    ASSERT_EQ(depth.size(), 1u);
    ASSERT_EQ(strokes.size(), 2u);
    ASSERT_EQ(strokes[0].size(), 2u);
    EXPECT_TRUE(strokes[1].empty());
    EXPECT_EQ(strokes[0][0].m_tetVertex[0], 7);
    EXPECT_EQ(strokes[0][0].m_weight[0], 0.5);
    EXPECT_EQ(strokes[0][1].m_tetVertex[3], 2);
    std::string again;
    writeTensorFieldBlock(again, depth, strokes);
    EXPECT_EQ(again, text);

    DiagCapture diag;
    TextReader wrong("#Tensor #SmoothFieldStart #m_constraints 0 #SmoothFieldStart #m_strokes 0 #End");
    EXPECT_TRUE(readTensorFieldBlock(wrong, depth, strokes));
    EXPECT_EQ(diag.text(), "#Tensor error 123498\nerror 123498\n");
}

TEST(TensorFieldBlockTest, HostileStrokeCountsFailWithoutAllocating) {
    std::vector<TConstraint> depth;
    std::vector<TOrientationStroke> strokes;
    TextReader in(
        "#TensorField #SmoothFieldStart #m_constraints 0 #SmoothFieldStart #m_strokes 1 #stroke 2000000000 1");
    EXPECT_FALSE(readTensorFieldBlock(in, depth, strokes));
    EXPECT_NE(in.error().find("exceeds"), std::string::npos);
}

}  // namespace
