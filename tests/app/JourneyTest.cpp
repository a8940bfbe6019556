// Whole journeys through the running program as a user makes them: watching the bundled heart beat
// with the volume plot and reading the ejection fraction; painting a phase field, saving it with S
// and finding it again after a restart; exporting one beat as an animation and reading the file
// back; loading the tube model through the File menu.
#include <QFile>
#include <QSpinBox>
#include <cmath>
#include <sstream>

#include "PaintFixture.h"
#include "app/DlgStdInteraction.h"
#include "app/DlgVolumeViz.h"
#include "linalg/SmallAlgebra.h"

namespace {

/// Copies the bundled model `name` into dir, with the given extensions.
bool copyBundledModel(const testfiles::TempDir& dir, const std::string& name,
                      std::initializer_list<const char*> extensions) {
    for (const char* extension : extensions) {
        const QString from = QString::fromStdString(testfiles::sourceDir() + "/models/" + name + extension);
        const QString to = QString::fromStdString(dir.file(name + extension));
        if (!QFile::copy(from, to)) return false;
    }
    return true;
}

/// Copies the bundled heart into dir under its default name, so that the program starts with it.
bool copyBundledHeart(const testfiles::TempDir& dir) { return copyBundledModel(dir, "ModelB", {".node", ".ele", ".vm"}); }

/// The number of pixels in which two frames differ.
int differingPixels(const QImage& a, const QImage& b) {
    int n = 0;
    for (int y = 0; y < std::min(a.height(), b.height()); ++y)
        for (int x = 0; x < std::min(a.width(), b.width()); ++x)
            if (a.pixel(x, y) != b.pixel(x, y)) ++n;
    return n;
}

/// The healthy range of the bundled heart's left-ventricular ejection fraction, in percent.
constexpr double kLowestPlausibleEf = 55.0;
constexpr double kHighestPlausibleEf = 70.0;

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

TEST_F(PaintModeTest, JourneyPaintAPhaseFieldSaveItWithSAndFindItAgainAfterARestart) {
    startOn(bar());
    // A source at the left end, a sink at the right end: Shift-clicks with the two phase tools.
    const auto [left, right] = paintSourceAndSinkAtTheEnds();
    const std::vector<TConstraint> painted = model().m_phaseField.m_constraints;
    const std::vector<double> field = model().m_phaseField.m_value;
    ASSERT_EQ(painted.size(), 2u);
    m_view->redrawNow();
    const QImage before = m_view->grabFramebuffer();
    const QRgb leftBefore = before.pixel(left), rightBefore = before.pixel(right);
    // The phase ramp shows the source end dark and the sink end bright green.
    ASSERT_LT(qGreen(leftBefore) + 60, qGreen(rightBefore));

    m_view->setFocus();
    QTest::keyClick(m_view, Qt::Key_S);
    ASSERT_TRUE(testfiles::exists(m_dir.file("ModelB.vm")));
    // The program confirms where it saved.
    ASSERT_EQ(m_dialogs.messages.size(), 1u);
    EXPECT_EQ(m_dialogs.messages[0], "the system save current Control Fields and Deformation Charts inModelB.vm");

    // The next start opens the same model together with its project file.
    stop();
    start();
    ASSERT_NE(manager().model(), nullptr);
    EXPECT_EQ(m_dialogs.messages.size(), 1u) << "the project file loads without a complaint";
    enterPaintMode();
    chooseTool(PaintTool::PHASE_1);
    const std::vector<TConstraint>& found = model().m_phaseField.m_constraints;
    ASSERT_EQ(found.size(), painted.size());
    for (size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(found[i].m_target, painted[i].m_target) << i;
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(found[i].m_tetVertex[k], painted[i].m_tetVertex[k]) << i;
            // The file keeps six decimals.
            EXPECT_NEAR(found[i].m_weight[k], painted[i].m_weight[k], 1e-6) << i;
        }
    }
    ASSERT_EQ(model().m_phaseField.m_value.size(), field.size());
    for (size_t v = 0; v < field.size(); ++v) ASSERT_NEAR(model().m_phaseField.m_value[v], field[v], 1e-6) << v;
    // And the view shows it as before.
    m_view->redrawNow();
    const QImage after = m_view->grabFramebuffer();
    EXPECT_TRUE(colourNear(after.pixel(left), qRed(leftBefore), qGreen(leftBefore), qBlue(leftBefore)));
    EXPECT_TRUE(colourNear(after.pixel(right), qRed(rightBefore), qGreen(rightBefore), qBlue(rightBefore)));
}

TEST_F(GuiFixture, JourneyLoadTheTubeThroughTheFileMenuAndSeeItsSetUp) {
    ASSERT_TRUE(copyBundledHeart(m_dir));
    ASSERT_TRUE(copyBundledModel(m_dir, "Tube", {".node", ".ele", ".vm"}));
    start();
    ASSERT_NE(manager().model(), nullptr);
    auto* dialog = dynamic_cast<DlgStdInteraction*>(core().m_dlgStdInteraction.get());
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(dialog->m_meshBox->isChecked());

    m_dialogs.fileAnswers.push_back(m_dir.file("Tube.ele"));
    trigger(QStringLiteral("Load heat tetra model (.ele/.vm)"));
    ASSERT_NE(manager().model(), nullptr);
    EXPECT_TRUE(m_dialogs.messages.empty());
    TLSMModel& tube = *manager().model();
    EXPECT_EQ(tube.vertexCount(), 1200);
    EXPECT_EQ(m_frame->windowTitle(), QStringLiteral("Tube - Velmora"));
    EXPECT_EQ(core().m_mode, 2);

    // The tube set-up: mesh and both fibre sets shown, amplitude 0.4 in the dialog, and fibres that
    // wind the other way on the inner wall than on the outer one.
    EXPECT_TRUE(manager().m_bShowMesh);
    EXPECT_TRUE(manager().m_bShowFibAtri);
    EXPECT_TRUE(manager().m_bShowFibVent);
    EXPECT_TRUE(dialog->m_meshBox->isChecked());
    EXPECT_TRUE(dialog->m_fibAtriBox->isChecked());
    EXPECT_TRUE(dialog->m_fibVentBox->isChecked());
    EXPECT_EQ(dialog->m_contractSpin->value(), 40);
    EXPECT_DOUBLE_EQ(tube.m_excitation->m_amplitude, 0.4);
    vec3 centre;
    for (const vec3& p : tube.m_vtxOrigPos) centre += p;
    centre /= static_cast<double>(tube.vertexCount());
    double leastAround = 1.0, lowestClimb = 0.0, highestClimb = 0.0;
    for (int v = 0; v < tube.vertexCount(); ++v) {
        const vec3& p = tube.m_vtxOrigPos[v];
        vec3 ringTangent = vec3(0, 1, 0).cross(vec3(centre.x - p.x, 0.0, centre.z - p.z));
        makeUnit(ringTangent);
        const vec3& fibre = tube.m_orienField.m_frames[v].m_primaryDir;
        leastAround = std::min(leastAround, std::fabs(fibre.dot(ringTangent)));
        lowestClimb = std::min(lowestClimb, fibre.y);
        highestClimb = std::max(highestClimb, fibre.y);
    }
    // Helices at 30 to 150 degrees from the axis: every fibre winds round the tube, the innermost
    // and outermost layers with opposite pitch.
    EXPECT_GT(leastAround, 0.45);
    EXPECT_NEAR(lowestClimb, -std::cos(M_PI / 6.0), 1e-6);
    EXPECT_NEAR(highestClimb, std::cos(M_PI / 6.0), 1e-6);

    // What the switches show is on the screen: without them the picture changes in many pixels.
    m_view->redrawNow();
    const QImage withSetUp = m_view->grabFramebuffer();
    manager().m_bShowMesh = manager().m_bShowFibAtri = manager().m_bShowFibVent = false;
    m_view->redrawNow();
    const QImage without = m_view->grabFramebuffer();
    EXPECT_GT(differingPixels(withSetUp, without), 500);

    // Its project file makes it beat: O, and the volume plot sees the lumen empty and fill.
    trigger(QStringLiteral("Show Volume Viz Dlg"));
    auto* volumes = dynamic_cast<DlgVolumeViz*>(core().m_dlgVolumeViz.get());
    ASSERT_NE(volumes, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(volumes));
    const long long shownAt = volumes->plot().samplesTaken();
    m_view->setFocus();
    QTest::keyClick(m_view, Qt::Key_O);
    ASSERT_TRUE(waitFor([&] { return volumes->plot().samplesTaken() >= shownAt + 100; }, 120000));
    QTest::keyClick(m_view, Qt::Key_O);
    const std::vector<double>& lumen = volumes->plot().ring(VolumePlot::VL);
    const int newest = volumes->plot().ringPos();
    double largest = 0.0, smallest = 1e300;
    for (int k = 1; k <= 100; ++k) {
        const double v = lumen[(newest - k + volumes->plot().width()) % volumes->plot().width()];
        largest = std::max(largest, v);
        smallest = std::min(smallest, v);
    }
    EXPECT_LT(smallest, 0.67 * largest);
}
