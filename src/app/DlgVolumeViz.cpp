// DlgVolumeViz: the volume plot window: sampling every tick (or on a paint of its own) and copying the
// plot into its frame.
#include "app/DlgVolumeViz.h"

#include <QEvent>
#include <QPainter>
#include <QPalette>

#include "interaction/Commands.h"
#include "model/TLSMModel.h"

namespace {
/// Space between the window's edge and the plot's frame.
constexpr int kPlotMargin = 6;
}  // namespace

DlgVolumeViz::DlgVolumeViz(Commands& commands)
    : QtToolWindow<ToolDialogWindow>(QStringLiteral("Volumes of VR/VL/AR/AL"), kVolumeDialogWidth, kVolumeDialogHeight,
                                     true),
      m_commands(commands) {
    // The plot is copied over the whole frame on every paint: nothing to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
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

void DlgVolumeViz::sampleTick() {
    const TLSMModel* model = m_commands.model();
    if (!m_plot.isInitialised() || !model) {
        // Not painted yet: the first paint sizes the plot and takes this tick's sample.
        repaint();
        return;
    }
    m_plot.addSample(model->computeChamberVolumes());
    m_drawPending = true;
}

void DlgVolumeViz::drawPendingSamples() {
    if (m_drawPending) repaint();
}

void DlgVolumeViz::paintEvent(QPaintEvent*) {
    if (!m_plot.isInitialised()) {
        m_plotArea = rect().adjusted(kPlotMargin, kPlotMargin, -kPlotMargin, -kPlotMargin);
        m_plot.initialise(m_plotArea.width(), m_plotArea.height());
    }
    if (m_drawPending) {
        // The ticks since the last frame were sampled as they ran: this paint only shows them.
        m_plot.draw();
        m_drawPending = false;
    } else if (const TLSMModel* model = m_commands.model()) {
        m_plot.addSampleAndDraw(model->computeChamberVolumes());
    }

    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(m_plotArea.adjusted(0, 0, -1, -1));
    // The image goes inside the frame's border; its last two columns and rows fall outside the frame.
    const int w = m_plot.width(), h = m_plot.height();
    if (w > 2 && h > 2)
        painter.drawImage(m_plotArea.topLeft() + QPoint(1, 1), m_plot.image(), QRect(0, 0, w - 2, h - 2));
}
