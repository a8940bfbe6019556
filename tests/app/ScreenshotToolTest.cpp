// The README's picture maker, run as scripts/screenshots runs it (in an X server of its own): it
// drives the real program on the bundled heart and must leave two pictures that show what they are
// meant to show.
#include <gtest/gtest.h>

#include <QImage>
#include <cstdio>
#include <functional>

#include "common/TestFiles.h"

extern bool g_haveDisplay;

namespace {

int countPixels(const QImage& image, const std::function<bool(QRgb)>& wanted) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (wanted(image.pixel(x, y))) ++n;
    return n;
}

bool isHeartRed(QRgb c) { return qRed(c) > 110 && qGreen(c) < 80 && qBlue(c) < 80; }
bool isPlotRed(QRgb c) { return qRed(c) == 0xFF && qGreen(c) == 0x10 && qBlue(c) == 0x10; }
bool isPhaseGreen(QRgb c) { return qGreen(c) > 150 && qRed(c) < 60 && qBlue(c) < 60; }
/// Fibre lines take the rainbow's warm end (depth near 0: red to yellow) outside the cut surface.
bool isWarmFibre(QRgb c) { return qRed(c) > 200 && qBlue(c) < 90; }

}  // namespace

TEST(ScreenshotTool, PicturesShowTheBeatingHeartWithItsPlotAndTheCutOpenPaintMode) {
    if (!g_haveDisplay) GTEST_SKIP() << "needs an X display: run the tests under xvfb-run";
    testfiles::TempDir dir;
    const std::string out = dir.file("shots");
    // The tool reads the screen back, so it gets an X server of its own, as scripts/screenshots
    // gives it: other window tests running at the same time would cover its windows.
    const testfiles::RunResult run = testfiles::runCommand("xvfb-run -a -s '-screen 0 1600x1000x24' " +
                                                               testfiles::binDir() + "/velmora-screenshots " +
                                                               testfiles::sourceDir() + "/models " + out,
                                                           dir.path());
    ASSERT_EQ(run.status, 0) << run.err;

    // The beat ran until the plot had filled, so the ejection fraction is the heart's own.
    const size_t at = run.err.find("LV EF : ");
    ASSERT_NE(at, std::string::npos) << run.err;
    double ef = -1.0;
    ASSERT_EQ(std::sscanf(run.err.c_str() + at, "LV EF : %lf", &ef), 1);
    EXPECT_GT(ef, 55.0);
    EXPECT_LT(ef, 70.0);

    QImage standard(QString::fromStdString(out + "/standard-mode.png"));
    ASSERT_FALSE(standard.isNull());
    EXPECT_GE(standard.width(), 1000);
    EXPECT_GE(standard.height(), 700);
    EXPECT_GT(countPixels(standard, isHeartRed), 40000) << "the heart fills a good part of the view";
    EXPECT_GT(countPixels(standard, isPlotRed), 300) << "the volume plot's left-ventricle curve";

    QImage paint(QString::fromStdString(out + "/paint-mode.png"));
    ASSERT_FALSE(paint.isNull());
    EXPECT_GT(countPixels(paint, isPhaseGreen), 20000) << "the phase field on the remaining half";
    EXPECT_GT(countPixels(paint, isWarmFibre), 5000) << "the fibre lines of the half cut away";
}
