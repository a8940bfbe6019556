// Whole journeys through the running program as a user makes them, on the bundled heart: watching
// the beat with the volume plot and reading the ejection fraction, and exporting one beat as an
// animation and reading the file back.
#include <QFile>
#include <cmath>
#include <sstream>

#include "GuiFixture.h"
#include "app/DlgVolumeViz.h"

namespace {

/// Copies the bundled heart into dir under its default name, so that the program starts with it.
bool copyBundledHeart(const testfiles::TempDir& dir) {
    for (const char* extension : {".node", ".ele", ".vm"}) {
        const QString from = QString::fromStdString(testfiles::sourceDir() + "/models/ModelB" + extension);
        const QString to = QString::fromStdString(dir.file(std::string("ModelB") + extension));
        if (!QFile::copy(from, to)) return false;
    }
    return true;
}

/// The healthy range of the bundled heart's left-ventricular ejection fraction, in percent.
constexpr double kLowestPlausibleEf = 45.0;
constexpr double kHighestPlausibleEf = 65.0;

/// The ejection fraction the red left-ventricle curve shows over the newest `columns` columns of
/// the plot: its highest and lowest rows, pen width taken off, measured from the zero level.
double ejectionFractionFromCurve(const VolumePlot& plot, int columns) {
    const QColor red(0xFF, 0x10, 0x10);
    int top = plot.height(), bottom = -1;
    for (int x = plot.width() - columns; x < plot.width() - 2; ++x)
        for (int y = 0; y < plot.height(); ++y)
            if (plot.image().pixelColor(x, y).rgb() == red.rgb()) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    if (bottom < 0) return -1.0;
    const double halfPen = (VolumePlot::kPenWidth - 1) / 2.0;
    const double zeroRow = plot.height() + VolumePlot::kCurveOffset;
    const double maxRow = top + halfPen, minRow = bottom - halfPen;
    return (minRow - maxRow) / (zeroRow - maxRow) * 100.0;
}

}  // namespace

TEST_F(GuiFixture, JourneyWatchTheBundledHeartBeatAndReadItsEjectionFraction) {
    ASSERT_TRUE(copyBundledHeart(m_dir));
    start();
    ASSERT_NE(manager().model(), nullptr);
    EXPECT_TRUE(m_dialogs.messages.empty());

    trigger(QStringLiteral("Show Volume Viz Dlg"));
    auto* dialog = dynamic_cast<DlgVolumeViz*>(core().m_dlgVolumeViz.get());
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    const VolumePlot& plot = dialog->plot();
    ASSERT_TRUE(waitFor([&] { return plot.samplesTaken() >= 1; }));
    const long long shownAt = plot.samplesTaken();
    ASSERT_GT(plot.width(), 100);

    // O starts the beat; a hundred ticks make one beat of the default cycle.
    m_view->setFocus();
    QTest::keyClick(m_view, Qt::Key_O);
    ASSERT_TRUE(manager().m_timerOn);
    ASSERT_TRUE(waitFor([&] { return plot.samplesTaken() >= shownAt + 100; }, 120000));
    QTest::keyClick(m_view, Qt::Key_O);
    ASSERT_FALSE(manager().m_timerOn);

    // The window of the plot is wider than one beat, so the text still measures against the
    // initial values; the curve itself already shows the beat.
    EXPECT_EQ(plot.ejectionFractionText(), QStringLiteral("LV EF : 100.0\n"));
    const double fromCurve = ejectionFractionFromCurve(plot, 100);
    EXPECT_GE(fromCurve, kLowestPlausibleEf);
    EXPECT_LE(fromCurve, kHighestPlausibleEf);

    // Once the beat has filled the window, the text gives the ejection fraction.
    QTest::keyClick(m_view, Qt::Key_O);
    ASSERT_TRUE(waitFor([&] { return plot.samplesTaken() >= shownAt + plot.width() + 5; }, 240000));
    QTest::keyClick(m_view, Qt::Key_O);
    const std::string text = plot.ejectionFractionText().toStdString();
    double ef = -1.0;
    ASSERT_EQ(std::sscanf(text.c_str(), "LV EF : %lf", &ef), 1) << text;
    EXPECT_GE(ef, kLowestPlausibleEf) << text;
    EXPECT_LE(ef, kHighestPlausibleEf) << text;
    EXPECT_NEAR(ef, plot.ejectionFraction(), 0.05);
    EXPECT_NEAR(ef, fromCurve, 5.0);
}

TEST_F(GuiFixture, JourneyExportOneBeatOfTheBundledHeartAndReadTheFileBack) {
    ASSERT_TRUE(copyBundledHeart(m_dir));
    start();
    ASSERT_NE(manager().model(), nullptr);
    const int vertices = manager().model()->vertexCount();
    const std::vector<vec3> restPositions = manager().model()->m_verts;

    // The user picks "beat" in the save dialog; the export adds its extension and starts the beat.
    m_dialogs.fileAnswers.push_back(m_dir.file("beat"));
    trigger(QStringLiteral("StartExportAnimation"));
    ASSERT_TRUE(manager().m_exportAnim);
    ASSERT_TRUE(waitFor([&] { return !manager().m_exportAnim; }, 120000));
    m_view->setFocus();
    QTest::keyClick(m_view, Qt::Key_O);
    EXPECT_TRUE(m_dialogs.messages.empty());

    const std::string path = m_dir.file("beat.heartAnim");
    ASSERT_TRUE(testfiles::exists(path));
    std::istringstream in(testfiles::readText(path));
    std::string line;
    int frames = 0;
    double largestMove = 0.0;
    while (std::getline(in, line)) {
        int index = -1, count = -1;
        double fraction = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "#frame %d %d %lf", &index, &count, &fraction), 3) << line;
        EXPECT_EQ(index, frames);
        ASSERT_EQ(count, vertices);
        EXPECT_NEAR(fraction, 0.01 * (frames + 1), 1e-6);
        for (int v = 0; v < count; ++v) {
            ASSERT_TRUE(std::getline(in, line)) << "frame " << frames << " ends at vertex " << v;
            vec3 p;
            ASSERT_EQ(std::sscanf(line.c_str(), "%lf %lf %lf", &p.x, &p.y, &p.z), 3) << line;
            largestMove = std::max(largestMove, (p - restPositions[v]).norm());
        }
        ++frames;
    }
    EXPECT_EQ(frames, 100);
    // The file holds a beat, not a still heart: the walls move by a visible share of its size (40).
    EXPECT_GT(largestMove, 1.0);
    EXPECT_LT(largestMove, 20.0);
}
