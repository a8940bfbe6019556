// DlgVolumeViz: the volume plot window: sampling volumes and deformation indices every tick (or on a
// paint of its own) and copying the three plots into its frame.
#include "app/DlgVolumeViz.h"

#include <QComboBox>
#include <QEvent>
#include <QPainter>
#include <QPalette>
#include <cmath>

#include "interaction/Commands.h"
#include "model/MainWindowManager.h"
#include "model/TLSMModel.h"

namespace {
/// Space between the window's edge and the plots' frames.
constexpr int kPlotMargin = 6;
/// The volume plot keeps the width the window had before the strains joined it; the strain curves
/// and the bull's-eye take these widths beside it.
constexpr int kStrainPanelWidth = 330;
constexpr int kBullseyePanelWidth = 250;
constexpr int kDialogHeight = 270;
constexpr int kChoiceHeight = 24;

/// Whether two states show the same bull's-eye: the same availability and segment values.
bool sameSegments(const DeformationIndexValues& a, const DeformationIndexValues& b) {
    if (a.available != b.available || a.segmentsAvailable != b.segmentsAvailable) return false;
    for (int s = 0; s < DeformationIndices::kSegmentCount; ++s) {
        const SegmentStrains &x = a.segments[s], &y = b.segments[s];
        if (x.longitudinal != y.longitudinal || x.circumferential != y.circumferential || x.radial != y.radial ||
            x.tetrahedra != y.tetrahedra)
            return false;
    }
    return true;
}

/// The image copied inside a frame's border; its last two columns and rows fall outside the frame.
void drawFramed(QPainter& painter, const QRect& area, const QImage& image) {
    painter.drawRect(area.adjusted(0, 0, -1, -1));
    const int w = image.width(), h = image.height();
    if (w > 2 && h > 2) painter.drawImage(area.topLeft() + QPoint(1, 1), image, QRect(0, 0, w - 2, h - 2));
}
}  // namespace

DlgVolumeViz::DlgVolumeViz(Commands& commands)
    : QtToolWindow<ToolDialogWindow>(QStringLiteral("Volumes of VR/VL/AR/AL"),
                                     kVolumeDialogWidth + kStrainPanelWidth + kBullseyePanelWidth, kDialogHeight, true),
      m_commands(commands) {
    // The plots are copied over the whole frame on every paint: nothing to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_strainChoice = new QComboBox(this);
    m_strainChoice->addItem(QStringLiteral("Longitudinal strain"));
    m_strainChoice->addItem(QStringLiteral("Circumferential strain"));
    m_strainChoice->addItem(QStringLiteral("Radial strain"));
    m_strainChoice->setFocusPolicy(Qt::NoFocus);
    connect(m_strainChoice, qOverload<int>(&QComboBox::currentIndexChanged), this, [this](int index) {
        m_bullseye.setStrain(static_cast<BullseyePlot::Strain>(index));
        update();
    });
    layOut();
}

void DlgVolumeViz::layOut() {
    const int left = kVolumeDialogWidth + kStrainPanelWidth;
    m_strainChoice->setGeometry(left + kPlotMargin, kPlotMargin, kBullseyePanelWidth - 2 * kPlotMargin - kPlotMargin,
                                kChoiceHeight);
}

void DlgVolumeViz::showEvent(QShowEvent* event) {
    QtToolWindow<ToolDialogWindow>::showEvent(event);
    // Uncovering the window is a paint request like any other: the window system's expose reaches
    // the native window, which would otherwise only flush what was drawn last.
    if (windowHandle() && windowHandle() != m_watchedWindow) {
        if (m_watchedWindow) m_watchedWindow->removeEventFilter(this);
        m_watchedWindow = windowHandle();
        m_watchedWindow->installEventFilter(this);
    }
}

bool DlgVolumeViz::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_watchedWindow && event->type() == QEvent::Expose && isVisible() && m_watchedWindow->isExposed())
        update();
    return QtToolWindow<ToolDialogWindow>::eventFilter(watched, event);
}

void DlgVolumeViz::followModel(const TLSMModel& model) {
    if (m_indices.isPreparedFor(model)) return;
    m_indices.prepare(model);
    m_strainPlot.clear();
    m_strainPlot.setMessage(QString::fromStdString(m_indices.refusal()));
}

void DlgVolumeViz::sampleModel(const TLSMModel& model) {
    const ChamberVolumes volumes = model.computeChamberVolumes();
    m_plot.addSample(volumes);
    // The set-up is checked by the paints; between two paints a tick only measures (a vertex count
    // that no longer fits is refused by the measurement itself).
    DeformationIndexValues values;
    if (!m_indices.measure(model.m_verts, values)) return;
    double phase = 0.0;
    if (const MainWindowManager* controller = m_commands.controller();
        controller && model.m_excitation && model.m_excitation->m_cycleLength > 0.0)
        phase = controller->m_time / model.m_excitation->m_cycleLength;
    m_strainPlot.addSample(phase, volumes[1], values);
}

void DlgVolumeViz::drawBullseye(const QString& why) {
    // The end-systole changes once a cycle at most: most frames find the same picture.
    const DeformationIndexValues* shown = m_strainPlot.endSystole();
    const bool same = m_bullseyeDrawn && m_bullseyeStrain == m_bullseye.strain() && m_bullseyeWhy == why &&
                      (shown != nullptr) == m_bullseyeHadValues && (!shown || sameSegments(*shown, m_bullseyeValues));
    if (same) return;
    m_bullseye.draw(shown, why);
    m_bullseyeDrawn = true;
    m_bullseyeStrain = m_bullseye.strain();
    m_bullseyeWhy = why;
    m_bullseyeHadValues = shown != nullptr;
    if (shown) m_bullseyeValues = *shown;
}

void DlgVolumeViz::sampleTick() {
    const TLSMModel* model = m_commands.model();
    if (!m_plot.isInitialised() || !model) {
        // Not painted yet: the first paint sizes the plots and takes this tick's sample.
        repaint();
        return;
    }
    sampleModel(*model);
    m_drawPending = true;
}

void DlgVolumeViz::drawPendingSamples() {
    if (m_drawPending) repaint();
}

void DlgVolumeViz::paintEvent(QPaintEvent*) {
    if (!m_plot.isInitialised()) {
        const int bottom = height() - kPlotMargin;
        m_plotArea = QRect(QPoint(kPlotMargin, kPlotMargin), QPoint(kVolumeDialogWidth - kPlotMargin - 1, bottom - 1));
        m_strainArea = QRect(QPoint(kVolumeDialogWidth, kPlotMargin),
                             QPoint(kVolumeDialogWidth + kStrainPanelWidth - kPlotMargin - 1, bottom - 1));
        const int left = kVolumeDialogWidth + kStrainPanelWidth;
        m_bullseyeArea = QRect(QPoint(left + kPlotMargin, kPlotMargin + kChoiceHeight + 4),
                               QPoint(left + kBullseyePanelWidth - 2 * kPlotMargin - 1, bottom - 1));
        m_plot.initialise(m_plotArea.width(), m_plotArea.height());
        m_strainPlot.initialise(m_strainArea.width(), m_strainArea.height());
        m_bullseye.initialise(m_bullseyeArea.width(), m_bullseyeArea.height());
    }
    const TLSMModel* model = m_commands.model();
    if (model) followModel(*model);
    if (m_drawPending) {
        // The ticks since the last frame were sampled as they ran: this paint only shows them.
        m_plot.draw();
        m_drawPending = false;
    } else if (model) {
        sampleModel(*model);
        m_plot.draw();
    }
    if (m_plot.samplesTaken() > 0) {
        m_strainPlot.draw();
        QString why;
        if (!m_indices.ready())
            why = QString::fromStdString(m_indices.refusal());
        else if (!m_indices.hasSegments())
            why = QStringLiteral("no right-ventricular wall painted (VR): no segments");
        else
            why = QStringLiteral("no beat measured yet");
        drawBullseye(why);
    }

    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::Mid));
    drawFramed(painter, m_plotArea, m_plot.image());
    drawFramed(painter, m_strainArea, m_strainPlot.image());
    drawFramed(painter, m_bullseyeArea, m_bullseye.image());
}
