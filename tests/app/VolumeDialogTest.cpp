// The volume dialog in the running program: one sample per paint from the model, the ejection
// fraction over the window, the plot copied into its frame, sampling by the beat only while shown,
// and uncovering the window as a paint like any other; the bundled heart's strains and bull's-eye
// are those of the same beat run headless.
#include <QComboBox>
#include <QFile>
#include <cmath>

#include "GuiFixture.h"
#include "app/DlgVolumeViz.h"
#include "app/ShellHost.h"
#include "model/BeatMeasurements.h"

namespace {

/// Gives the loaded model a left ventricle: the closed surface of the tetrahedron spanned by four
/// far-apart vertices, turned so that it encloses a positive volume. Returns that volume.
double giveLeftVentricle(TLSMModel& model) {
    const int n = model.vertexCount();
    const int a = 0, b = n - 1, c = 3, d = 12;  // opposite corners and two more of the cube
    std::vector<TTriIndices> walls = {{b, c, d}, {a, d, c}, {a, b, d}, {a, c, b}};
    model.m_trisVL = walls;
    if (model.computeChamberVolumes()[1] < 0)
        for (TTriIndices& t : model.m_trisVL) std::swap(t[1], t[2]);
    return model.computeChamberVolumes()[1];
}

class VolumeDialogTest : public GuiFixture {
   protected:
    DlgVolumeViz* dialog() { return dynamic_cast<DlgVolumeViz*>(core().m_dlgVolumeViz.get()); }

    /// Shows the dialog from the menu and waits until it has painted once.
    void showDialog() {
        trigger(QStringLiteral("Show Volume Viz Dlg"));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog()));
        ASSERT_TRUE(waitFor([this] { return dialog()->plot().isInitialised(); }));
    }
};

}  // namespace

TEST_F(VolumeDialogTest, EjectionFractionIsAboutOneHundredUntilTheRingsFillAndZeroForAConstantVolume) {
    writeCubeModel("ModelB");
    start();
    ASSERT_NE(manager().model(), nullptr);
    const double volume = giveLeftVentricle(*manager().model());
    ASSERT_GT(volume, 1.0);
    EXPECT_FALSE(dialog()->plot().isInitialised());  // created hidden, never painted

    showDialog();
    EXPECT_EQ(dialog()->windowTitle(), QStringLiteral("Volumes of VR/VL/AR/AL"));
    const VolumePlot& plot = dialog()->plot();
    const int w = plot.width();
    EXPECT_EQ(w, dialog()->plotArea().width());
    EXPECT_EQ(plot.height(), dialog()->plotArea().height());
    EXPECT_GT(w, 150);
    ASSERT_TRUE(waitFor([&] { return plot.samplesTaken() >= 1; }));
    EXPECT_DOUBLE_EQ(plot.ring(VolumePlot::VL)[plot.ringPos()], volume);

    // Each paint takes one sample; until W have been taken the initial values keep the minimum.
    while (plot.samplesTaken() < w - 1) dialog()->repaint();
    EXPECT_EQ(plot.ejectionFractionText(), QStringLiteral("LV EF : 100.0\n"));
    dialog()->repaint();
    EXPECT_EQ(plot.ejectionFractionText(), QStringLiteral("LV EF : 0.0\n"));
    EXPECT_DOUBLE_EQ(plot.scale(), volume);

    // The frame shows the plot image from (1, 1) inside it; the grab is a paint of its own.
    const QImage shown = dialog()->grab().toImage();
    const QPoint origin = dialog()->plotArea().topLeft() + QPoint(1, 1);
    const qreal ratio = shown.devicePixelRatio();
    int compared = 0;
    for (int y : {5, 20, plot.height() / 2 + 20, plot.height() - 3})
        for (int x : {10, w / 2, w - 3}) {
            const QColor expected = plot.image().pixelColor(x, y);
            const QColor got = shown.pixelColor(qRound((origin.x() + x) * ratio), qRound((origin.y() + y) * ratio));
            EXPECT_EQ(got, expected) << "plot pixel " << x << "," << y;
            ++compared;
        }
    EXPECT_EQ(compared, 12);
    // The largest sample, the constant left ventricle, lies on the top guide line.
    EXPECT_EQ(plot.image().pixelColor(20, 20), QColor(0xFF, 0x10, 0x10));
}

TEST_F(VolumeDialogTest, TheBeatSamplesOncePerTickWhileShownAndHidingKeepsTheRings) {
    writeCubeModel("ModelB");
    start();
    giveLeftVentricle(*manager().model());
    showDialog();
    const VolumePlot& plot = dialog()->plot();

    QTest::keyClick(m_view, Qt::Key_O);
    ASSERT_TRUE(manager().m_timerOn);
    ASSERT_TRUE(waitFor([&] { return manager().m_time >= 0.3; }, 20000));
    QTest::keyClick(m_view, Qt::Key_O);
    // Let a paint the window system still had pending arrive before counting.
    QTest::qWait(50);
    const long long samples = plot.samplesTaken();
    const int ticks = static_cast<int>(std::lround(manager().m_time / manager().m_dt));
    EXPECT_GE(samples, ticks);
    // Besides the ticks: the first paint on showing, the redraws after the two O presses and any
    // expose the window system sends; sampling twice per tick would give about 2 x ticks.
    EXPECT_LE(samples, ticks + 6);
    // The frames show the ticks: never more of them than ticks.
    EXPECT_GE(m_app->host().pacer().framesCounted(), 1);
    EXPECT_LE(m_app->host().pacer().framesCounted(), m_app->host().pacer().ticksCounted());

    // Hidden: the beat goes on without sampling; shown again, the rings continue where they were.
    trigger(QStringLiteral("Show Volume Viz Dlg"));
    EXPECT_FALSE(dialog()->isVisible());
    EXPECT_FALSE(isChecked("Show Volume Viz Dlg"));
    const int ringPos = plot.ringPos();
    const std::vector<double> ring = plot.ring(VolumePlot::VL);
    QTest::keyClick(m_view, Qt::Key_O);
    const double resumedAt = manager().m_time;
    ASSERT_TRUE(waitFor([&] { return manager().m_time >= resumedAt + 0.1; }, 20000));
    QTest::keyClick(m_view, Qt::Key_O);
    EXPECT_EQ(plot.samplesTaken(), samples);
    EXPECT_EQ(plot.ringPos(), ringPos);

    trigger(QStringLiteral("Show Volume Viz Dlg"));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog()));
    ASSERT_TRUE(waitFor([&] { return plot.samplesTaken() > samples; }));
    EXPECT_EQ(plot.ringPos(), (ringPos + static_cast<int>(plot.samplesTaken() - samples)) % plot.width());
    // Older samples are still in the rings.
    const int older = (ringPos + plot.width() - 5) % plot.width();
    EXPECT_EQ(plot.ring(VolumePlot::VL)[older], ring[older]);
}

TEST_F(VolumeDialogTest, UncoveringTheWindowAddsASample) {
    writeCubeModel("ModelB");
    start();
    giveLeftVentricle(*manager().model());
    showDialog();
    const VolumePlot& plot = dialog()->plot();
    QTest::qWait(100);
    const long long before = plot.samplesTaken();

    QWidget cover(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    cover.setGeometry(dialog()->geometry());
    cover.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&cover));
    QTest::qWait(50);
    const long long covered = plot.samplesTaken();
    cover.hide();
    ASSERT_TRUE(waitFor([&] { return plot.samplesTaken() > covered; }))
        << "no paint after uncovering (" << before << " before, " << covered << " while covered)";
    // One uncovering, one sample (a paint request the window system merges counts once).
    QTest::qWait(100);
    EXPECT_LE(plot.samplesTaken(), covered + 2);
}

TEST_F(VolumeDialogTest, WithoutAModelTheDialogSamplesNothingAndKeepsItsPlot) {
    start();
    ASSERT_EQ(manager().model(), nullptr);
    showDialog();
    dialog()->repaint();
    const VolumePlot& plot = dialog()->plot();
    EXPECT_EQ(plot.samplesTaken(), 0);
    EXPECT_TRUE(plot.ejectionFractionText().isEmpty());
    EXPECT_EQ(plot.image().pixelColor(plot.width() / 2, 20), QColor(Qt::black));

    // A model loaded later is sampled from the next paint on.
    ASSERT_TRUE(m_frame->loadModelFile(QString::fromStdString(writeCubeModel("later") + ".ele")));
    giveLeftVentricle(*manager().model());
    dialog()->repaint();
    EXPECT_GE(plot.samplesTaken(), 1);
    EXPECT_EQ(plot.ejectionFractionText(), QStringLiteral("LV EF : 100.0\n"));
}

TEST_F(VolumeDialogTest, TheBundledHeartsEndSystoleIsTheHeadlessRunsOwnOnItsBullseye) {
    for (const char* extension : {".node", ".ele", ".vm"})
        ASSERT_TRUE(QFile::copy(QString::fromStdString(testfiles::sourceDir() + "/models/ModelB" + extension),
                                QString::fromStdString(m_dir.file(std::string("ModelB") + extension))));
    start();
    ASSERT_NE(manager().model(), nullptr);
    showDialog();
    ASSERT_TRUE(dialog()->indices().ready()) << dialog()->indices().refusal();
    EXPECT_TRUE(dialog()->strainPlot().message().isEmpty());

    // Past end-systole, short of the end of the cycle: the curves hold this cycle's ticks only.
    const long long before = dialog()->strainPlot().samplesTaken();
    m_view->setFocus();
    QTest::keyClick(m_view, Qt::Key_O);
    ASSERT_TRUE(waitFor([&] { return manager().m_time >= 0.65; }, 60000));
    QTest::keyClick(m_view, Qt::Key_O);
    const int ticks = static_cast<int>(std::lround(manager().m_time / manager().m_dt));
    ASSERT_LT(ticks, 95);
    EXPECT_GE(dialog()->strainPlot().samplesTaken() - before, ticks) << "every tick measured";

    // The same beat without a window, measured as the command line measures it.
    MainWindowManager headless(nullptr, m_dir.file("ModelB"));
    ASSERT_NE(headless.model(), nullptr);
    headless.m_time = 0.0;
    ASSERT_TRUE(headless.startTimer());
    BeatMeasurements run(*headless.model());
    for (int tick = 0; tick < ticks; ++tick) {
        headless.onTimer();
        run.addTick(*headless.model());
    }
    headless.stopTimer();
    const DeformationIndexValues* shown = dialog()->strainPlot().endSystole();
    ASSERT_NE(shown, nullptr);
    const DeformationIndexValues& expected = run.endSystoleIndices();
    ASSERT_TRUE(expected.available && expected.segmentsAvailable);
    EXPECT_LT(expected.circumferential, -5.0) << "end-systole is a contracted state";
    EXPECT_DOUBLE_EQ(shown->longitudinal, expected.longitudinal);
    EXPECT_DOUBLE_EQ(shown->circumferential, expected.circumferential);
    EXPECT_DOUBLE_EQ(shown->twist, expected.twist);
    for (int s = 0; s < DeformationIndices::kSegmentCount; ++s)
        EXPECT_DOUBLE_EQ(shown->segments[s].radial, expected.segments[s].radial) << "segment " << s + 1;

    // The bull's-eye shows it: basal anterior at the top in its longitudinal strain's colour, then
    // in its circumferential one once that is chosen.
    const BullseyePlot& eye = dialog()->bullseye();
    auto topPatch = [&] {
        const double a = 65.0 * 3.14159265358979 / 180.0, r = 0.9 * eye.radius();
        return eye.image().pixelColor(eye.centre().x() + static_cast<int>(std::lround(r * std::cos(a))),
                                      eye.centre().y() - static_cast<int>(std::lround(r * std::sin(a))));
    };
    dialog()->repaint();
    EXPECT_EQ(topPatch(), BullseyePlot::colourFor(expected.segments[0].longitudinal, eye.limit()));
    dialog()->strainChoice()->setCurrentIndex(1);
    dialog()->repaint();
    EXPECT_EQ(eye.strain(), BullseyePlot::Circumferential);
    EXPECT_EQ(topPatch(), BullseyePlot::colourFor(expected.segments[0].circumferential, eye.limit()));
    // What the window shows is the images: the bull's-eye's centre lands in its frame.
    const QImage shownWindow = dialog()->grab().toImage();
    const QPoint centre = dialog()->bullseyeArea().topLeft() + QPoint(1, 1) + eye.centre() + QPoint(0, 15);
    const qreal ratio = shownWindow.devicePixelRatio();
    EXPECT_EQ(shownWindow.pixelColor(qRound(centre.x() * ratio), qRound(centre.y() * ratio)),
              eye.image().pixelColor(eye.centre() + QPoint(0, 15)));
}

TEST_F(VolumeDialogTest, AModelWithoutALeftWallShowsWhyNothingIsMeasured) {
    writeCubeModel("ModelB");
    start();
    ASSERT_NE(manager().model(), nullptr);
    showDialog();
    EXPECT_FALSE(dialog()->indices().ready());
    EXPECT_EQ(dialog()->strainPlot().message().toStdString(), DeformationIndices::kNoLeftWallMessage);
    EXPECT_EQ(dialog()->strainPlot().endSystole(), nullptr);
    // The volume plot goes on sampling.
    const long long samples = dialog()->plot().samplesTaken();
    dialog()->repaint();
    EXPECT_GT(dialog()->plot().samplesTaken(), samples);
}
