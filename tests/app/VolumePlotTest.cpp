// The volume plot without a window: rings and ejection fraction over the window, the curves' rows,
// colours, order and scrolling, and the export file-name rule; the strain curves' cycle columns and
// end-systole, and the bull's-eye's AHA layout.
#include <gtest/gtest.h>

#include <QColor>
#include <cmath>

#include "app/BullseyePlot.h"
#include "app/StrainPlot.h"
#include "app/VolumePlot.h"
#include "interaction/ExportCommands.h"

namespace {

// A plot height divisible by 8, so the quarter rows fall on exact pixels.
constexpr int kWidth = 200;
constexpr int kHeight = 160;

const QColor kOrange(0xFF, 0xAA, 0x00), kMagenta(0xFF, 0x00, 0xDD), kRed(0xFF, 0x10, 0x10), kBlue(0x80, 0x80, 0xFF);

bool isColour(const QImage& image, int x, int y, const QColor& colour) {
    return image.pixelColor(x, y).rgb() == colour.rgb();
}

VolumePlot freshPlot() {
    VolumePlot plot;
    plot.initialise(kWidth, kHeight);
    return plot;
}

void addSamples(VolumePlot& plot, int count, const ChamberVolumes& volumes) {
    for (int i = 0; i < count; ++i) plot.addSampleAndDraw(volumes);
}

}  // namespace

TEST(VolumePlotTest, EjectionFractionReadsAboutOneHundredUntilTheWindowIsFull) {
    VolumePlot plot = freshPlot();
    EXPECT_TRUE(plot.ejectionFractionText().isEmpty());
    for (double v : plot.ring(VolumePlot::VL)) ASSERT_EQ(v, VolumePlot::kInitialSample);

    // Volumes alternating between 5 and 10: the first sample lands at index 1, so after W - 1
    // samples index 0 still holds the initial value and the minimum is that value.
    for (int i = 0; i < kWidth - 1; ++i) plot.addSampleAndDraw({1.0, i % 2 ? 5.0 : 10.0, 1.0, 1.0});
    EXPECT_EQ(plot.ringPos(), kWidth - 1);
    EXPECT_EQ(plot.ejectionFractionText(), QStringLiteral("LV EF : 100.0\n"));
    EXPECT_GT(plot.ejectionFraction(), 99.99);

    // The W-th sample overwrites the last initial value: (10 - 5) / 10.
    plot.addSampleAndDraw({1.0, 5.0, 1.0, 1.0});
    EXPECT_EQ(plot.ringPos(), 0);
    EXPECT_EQ(plot.samplesTaken(), kWidth);
    EXPECT_EQ(plot.ejectionFractionText(), QStringLiteral("LV EF : 50.0\n"));

    // W - 1 constant samples leave the 5 stored last: the window still holds it.
    addSamples(plot, kWidth - 1, {1.0, 7.5, 1.0, 1.0});
    EXPECT_EQ(plot.ejectionFractionText(), QStringLiteral("LV EF : 33.3\n"));
    // A constant volume over the whole window has ejected nothing.
    plot.addSampleAndDraw({1.0, 7.5, 1.0, 1.0});
    EXPECT_EQ(plot.ejectionFractionText(), QStringLiteral("LV EF : 0.0\n"));
}

TEST(VolumePlotTest, EjectionFractionHoldsForLargeUnitsAndEmptyChambers) {
    // Volumes in big units: the minimum comes from the window, not from a fixed ceiling.
    VolumePlot large = freshPlot();
    for (int i = 0; i < kWidth; ++i) large.addSampleAndDraw({0.0, i % 2 ? 20000.0 : 40000.0, 0.0, 0.0});
    EXPECT_EQ(large.ejectionFractionText(), QStringLiteral("LV EF : 50.0\n"));
    EXPECT_DOUBLE_EQ(large.scale(), 40000.0);

    // A model without chamber walls measures zero everywhere: no division by zero, nothing drawn
    // above the plot's zero level, and a fraction of 0.
    VolumePlot empty = freshPlot();
    addSamples(empty, kWidth, {0.0, 0.0, 0.0, 0.0});
    EXPECT_EQ(empty.scale(), 0.0);
    EXPECT_EQ(empty.ejectionFractionText(), QStringLiteral("LV EF : 0.0\n"));
    EXPECT_EQ(empty.image().pixelColor(25, kHeight / 2 + 20), QColor(Qt::white));  // guide line only
    EXPECT_EQ(empty.image().pixelColor(25, kHeight - 5), QColor(Qt::black));

    // Inward-facing walls give negative volumes; a broken step may give NaN. Neither reaches the
    // text as nonsense.
    VolumePlot odd = freshPlot();
    addSamples(odd, kWidth, {-3.0, -2.0, NAN, 1.0});
    EXPECT_EQ(odd.ejectionFractionText(), QStringLiteral("LV EF : 0.0\n"));
    EXPECT_EQ(VolumePlot::rowOf(NAN, 1.0, kHeight), kHeight + 20);
    EXPECT_EQ(VolumePlot::rowOf(1.0, 0.0, kHeight), kHeight + 20);
    EXPECT_EQ(VolumePlot::rowOf(1.0e300, 1.0e-300, kHeight), kHeight + 20 - 1000000);
}

TEST(VolumePlotTest, BackgroundHasTheFourGuideLinesOnBlack) {
    VolumePlot plot = freshPlot();
    const std::array<int, 4> rows = VolumePlot::guideRows(kHeight);
    EXPECT_EQ(rows, (std::array<int, 4>{20, 60, 100, 140}));
    for (int row : rows)
        for (int x : {0, kWidth / 2, kWidth - 1}) EXPECT_EQ(plot.background().pixelColor(x, row), QColor(Qt::white));
    EXPECT_EQ(plot.background().pixelColor(kWidth / 2, 40), QColor(Qt::black));
    EXPECT_EQ(plot.background().pixelColor(kWidth / 2, 0), QColor(Qt::black));
    // Odd heights use integer division.
    EXPECT_EQ(VolumePlot::guideRows(125), (std::array<int, 4>{20, 51, 82, 113}));
}

TEST(VolumePlotTest, CurvesLieOnTheGuideLinesOfTheirShareOfTheLargestSample) {
    VolumePlot plot = freshPlot();
    // VR the largest (the scale), AL half of it, VL a quarter, AR three eighths.
    addSamples(plot, kWidth, {8.0, 2.0, 3.0, 4.0});
    EXPECT_DOUBLE_EQ(plot.scale(), 8.0);
    EXPECT_EQ(VolumePlot::rowOf(8.0, 8.0, kHeight), 20);
    EXPECT_EQ(VolumePlot::rowOf(4.0, 8.0, kHeight), kHeight / 2 + 20);

    const QImage& image = plot.image();
    const int x = 25;  // left of the text rectangle
    EXPECT_TRUE(isColour(image, x, 20, kOrange));
    EXPECT_TRUE(isColour(image, x, kHeight / 2 + 20, kBlue));
    EXPECT_TRUE(isColour(image, x, 3 * kHeight / 4 + 20, kRed));
    EXPECT_TRUE(isColour(image, x, kHeight + 20 - kHeight * 3 / 8, kMagenta));
    // Pen width 4: two rows above and below the line are covered, five away is not.
    EXPECT_TRUE(isColour(image, x, 21, kOrange));
    EXPECT_TRUE(isColour(image, x, 19, kOrange));
    EXPECT_EQ(image.pixelColor(x, 26), QColor(Qt::black));
    // Uncovered guide line between curves stays white.
    EXPECT_EQ(image.pixelColor(x, kHeight / 4 + 20), QColor(Qt::white));
}

TEST(VolumePlotTest, LaterCurvesCoverEarlierOnesInTheOrderVrArVlAl) {
    VolumePlot all = freshPlot();
    addSamples(all, kWidth, {5.0, 5.0, 5.0, 5.0});
    EXPECT_TRUE(isColour(all.image(), 25, 20, kBlue));

    VolumePlot noAtrium = freshPlot();
    addSamples(noAtrium, kWidth, {5.0, 5.0, 5.0, 1.0});
    EXPECT_TRUE(isColour(noAtrium.image(), 25, 20, kRed));

    VolumePlot rightOnly = freshPlot();
    addSamples(rightOnly, kWidth, {5.0, 1.0, 5.0, 1.0});
    EXPECT_TRUE(isColour(rightOnly.image(), 25, 20, kMagenta));
}

TEST(VolumePlotTest, SamplesScrollOnePixelLeftPerPaintFromTheRightEdge) {
    VolumePlot plot = freshPlot();
    addSamples(plot, kWidth, {4.0, 0.0, 0.0, 0.0});
    plot.addSampleAndDraw({8.0, 0.0, 0.0, 0.0});  // a spike, now the scale
    EXPECT_TRUE(isColour(plot.image(), kWidth - 1, 20, kOrange));
    EXPECT_TRUE(isColour(plot.image(), kWidth / 4, kHeight / 2 + 20, kOrange));

    const int older = 60;
    addSamples(plot, older, {4.0, 0.0, 0.0, 0.0});
    // The spike is now `older` samples behind the newest, drawn at x = W - older.
    EXPECT_TRUE(isColour(plot.image(), kWidth - older, 20, kOrange));
    EXPECT_EQ(plot.image().pixelColor(kWidth - older - 8, 20), QColor(Qt::white));
    EXPECT_EQ(plot.image().pixelColor(kWidth - older + 8, 20), QColor(Qt::white));
    EXPECT_TRUE(isColour(plot.image(), kWidth - 3, kHeight / 2 + 20, kOrange));
}

TEST(VolumePlotTest, EjectionFractionTextIsDrawnInItsRectangleOverTheCurves) {
    VolumePlot plot = freshPlot();
    const QImage before = plot.image();
    EXPECT_EQ(before.pixelColor(100, 5), QColor(Qt::black));  // nothing drawn before a sample
    plot.addSampleAndDraw({1.0, 1.0, 1.0, 1.0});
    EXPECT_EQ(VolumePlot::textRect(kWidth), QRect(QPoint(50, 0), QPoint(150, 50)));

    // Text pixels: neither the black background nor a curve colour, only inside the rectangle.
    auto isText = [&](int x, int y) {
        const QColor c = plot.image().pixelColor(x, y);
        return c != QColor(Qt::black) && c != QColor(Qt::white) && c.rgb() != kOrange.rgb() &&
               c.rgb() != kMagenta.rgb() && c.rgb() != kRed.rgb() && c.rgb() != kBlue.rgb();
    };
    int inside = 0, outside = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            (VolumePlot::textRect(kWidth).contains(x, y) ? inside : outside) += isText(x, y);
    EXPECT_GT(inside, 50);
    EXPECT_EQ(outside, 0);
}

namespace {

/// Indices with the given global longitudinal strain and one segment's three strains set.
DeformationIndexValues indicesWith(double longitudinal) {
    DeformationIndexValues v;
    v.available = v.segmentsAvailable = true;
    v.longitudinal = longitudinal;
    v.circumferential = -2 * longitudinal;
    for (SegmentStrains& s : v.segments) s.tetrahedra = 10;
    return v;
}

}  // namespace

TEST(StrainPlotTest, TheLastCycleStaysBeyondTheCursorAndGivesTheEndSystole) {
    StrainPlot plot;
    plot.initialise(StrainPlot::kLeftMargin + 200, 120);
    // One cycle of 100 ticks: the volume smallest and the shortening largest at phase 0.5.
    for (int tick = 0; tick < 100; ++tick) {
        const double phase = tick / 100.0, beat = std::sin(3.14159265358979 * phase);
        plot.addSample(phase, 100.0 - 50.0 * beat, indicesWith(-20.0 * beat));
    }
    ASSERT_NE(plot.endSystole(), nullptr);
    EXPECT_DOUBLE_EQ(plot.endSystole()->longitudinal, -20.0);
    EXPECT_DOUBLE_EQ(plot.value(StrainPlot::Longitudinal, plot.columnOf(0.5)), -20.0);
    EXPECT_DOUBLE_EQ(plot.value(StrainPlot::Circumferential, plot.columnOf(0.5)), 40.0);
    EXPECT_FALSE(plot.hasSample(plot.columnOf(0.5) + 1)) << "two columns per tick: every other one empty";

    // The next cycle, still at rest, sweeps up to 0.3: the last cycle's systole is still shown.
    for (int tick = 0; tick <= 30; ++tick) plot.addSample(tick / 100.0, 100.0, indicesWith(0.0));
    EXPECT_DOUBLE_EQ(plot.endSystole()->longitudinal, -20.0);
    EXPECT_EQ(plot.value(StrainPlot::Longitudinal, plot.columnOf(0.2)), 0.0);
    // A jump past it (a stopped beat resumed later) empties what the sweep passed over.
    plot.addSample(0.7, 100.0, indicesWith(0.0));
    EXPECT_FALSE(plot.hasSample(plot.columnOf(0.5)));
    EXPECT_GT(plot.endSystole()->longitudinal, -20.0);
    // Unavailable indices are not stored.
    const long long taken = plot.samplesTaken();
    plot.addSample(0.8, 1.0, DeformationIndexValues());
    EXPECT_EQ(plot.samplesTaken(), taken);

    // The curves are drawn on a scale of the largest value rounded up to ten: 40 at the top edge.
    plot.draw();
    EXPECT_EQ(plot.scale(), 40.0);
    EXPECT_EQ(plot.rowOf(40.0), StrainPlot::kTopMargin);
    const int column = plot.columnOf(0.85);
    const int row = plot.rowOf(-20.0 * std::sin(3.14159265358979 * 0.85));
    EXPECT_EQ(plot.image().pixelColor(StrainPlot::kLeftMargin + column, row),
              StrainPlot::curveColour(StrainPlot::Longitudinal));

    plot.clear();
    EXPECT_EQ(plot.endSystole(), nullptr);
}

TEST(BullseyePlotTest, SegmentsFollowTheAhaLayoutSeenFromTheApex) {
    BullseyePlot plot;
    plot.initialise(230, 230);
    DeformationIndexValues v = indicesWith(0.0);
    v.segments[0].longitudinal = -20.0;      // 1 basal anterior: top
    v.segments[2].longitudinal = 20.0;       // 3 basal inferoseptal: lower left
    v.segments[13].longitudinal = -10.0;     // 14 apical septal: left of the apex
    v.segments[16].longitudinal = 10.0;      // 17 apex: the centre
    v.segments[10].circumferential = -15.0;  // 11 mid inferolateral: lower right
    plot.draw(&v, QString());
    EXPECT_EQ(plot.limit(), 20.0);

    // A pixel of a patch away from its value: at a fraction of the radius and a screen angle
    // (degrees counterclockwise from the right).
    const QPoint c = plot.centre();
    auto at = [&](double fraction, double degrees) {
        const double a = degrees * 3.14159265358979 / 180.0, r = fraction * plot.radius();
        return plot.image().pixelColor(c.x() + static_cast<int>(std::lround(r * std::cos(a))),
                                       c.y() - static_cast<int>(std::lround(r * std::sin(a))));
    };
    const QColor red = BullseyePlot::colourFor(-20.0, 20.0), blue = BullseyePlot::colourFor(20.0, 20.0);
    const QColor white = BullseyePlot::colourFor(0.0, 20.0);
    EXPECT_EQ(red, QColor(255, 40, 40));
    EXPECT_EQ(white, QColor(255, 255, 255));
    EXPECT_EQ(at(0.9, 65), red) << "basal anterior at the top";
    EXPECT_EQ(at(0.9, 115), red);
    EXPECT_EQ(at(0.9, 230), blue) << "basal inferoseptal at the lower left";
    EXPECT_EQ(at(0.9, 140), white) << "basal anteroseptal between them";
    EXPECT_EQ(at(0.4, 150), BullseyePlot::colourFor(-10.0, 20.0)) << "apical septal on the left";
    EXPECT_EQ(at(0.4, 30), white) << "apical lateral on the right";
    EXPECT_EQ(at(0.15, 270), BullseyePlot::colourFor(10.0, 20.0)) << "the apex in the centre";
    EXPECT_EQ(at(0.6, 305), white);

    // The chosen strain colours the patches: circumferential, only segment 11 differs.
    plot.setStrain(BullseyePlot::Circumferential);
    plot.draw(&v, QString());
    EXPECT_EQ(plot.limit(), 15.0);
    EXPECT_EQ(at(0.6, 305), BullseyePlot::colourFor(-15.0, 15.0)) << "mid inferolateral at the lower right";
    EXPECT_EQ(at(0.9, 65), BullseyePlot::colourFor(0.0, 15.0));

    // Without segments the rings stay grey and the reason is written in them.
    v.segmentsAvailable = false;
    plot.draw(&v, QStringLiteral("no right-ventricular wall painted (VR): no segments"));
    EXPECT_EQ(at(0.9, 65), QColor(0x30, 0x30, 0x38));
    int textPixels = 0;
    for (int y = c.y() - plot.radius() / 2; y < c.y() + plot.radius() / 2; ++y)
        for (int x = c.x() - plot.radius(); x < c.x() + plot.radius(); ++x)
            textPixels += qGray(plot.image().pixel(x, y)) > 0xA0;
    EXPECT_GT(textPixels, 30);
}

TEST(ExportPathTest, TheExtensionIsAppendedUnlessTheNameEndsInItExactly) {
    EXPECT_EQ(exportPathWithExtension("/data/run.txt", "heartAnim"), "/data/run.txt.heartAnim");
    EXPECT_EQ(exportPathWithExtension("/data/run.heartAnim", "heartAnim"), "/data/run.heartAnim");
    EXPECT_EQ(exportPathWithExtension("/data/run.HEARTANIM", "heartAnim"), "/data/run.HEARTANIM.heartAnim");
    EXPECT_EQ(exportPathWithExtension("/data/run", "heartAnim"), "/data/run.heartAnim");
    EXPECT_EQ(exportPathWithExtension("/data.v2/run", "tex"), "/data.v2/run.tex");
    EXPECT_EQ(exportPathWithExtension("/data/wall.tex", "tex"), "/data/wall.tex");
    EXPECT_EQ(exportPathWithExtension("/data/wall.txt", "tex"), "/data/wall.txt.tex");
    EXPECT_EQ(exportPathWithExtension("/data/wall.tex.bak", "tex"), "/data/wall.tex.bak.tex");
}
