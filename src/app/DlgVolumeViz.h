// DlgVolumeViz: the chamber-volume plot window.
#pragma once

#include <QPointer>
#include <QRect>
#include <QWindow>

#include "app/QtToolDialog.h"
#include "app/VolumePlot.h"

/// "Volumes of VR/VL/AR/AL": the four chamber volumes over the last ticks as scrolling curves with
/// the left-ventricle ejection fraction. Shown and hidden from the Mode Change menu, kept above the
/// main window, never docked, closable (closing hides it). While the beat runs, every tick takes one
/// sample of the controller's model (sampleTick) and the frames show them (drawPendingSamples);
/// any other paint of the window (shown, uncovered, repainted) takes one sample itself. Without a
/// model the plot keeps what it showed. The plot area is measured at
/// the first paint and keeps that size. Owned by the core object; user-interface thread only.
class DlgVolumeViz : public QtToolWindow<ToolDialogWindow> {
    Q_OBJECT
   public:
    /// Samples the model commands has loaded.
    explicit DlgVolumeViz(Commands& commands);

    /// The plot with its rings, the last ejection fraction and the drawn image.
    const VolumePlot& plot() const { return m_plot; }
    /// The plot area (the frame the image is copied into) in window coordinates; empty before the
    /// first paint.
    QRect plotArea() const { return m_plotArea; }

    /// The main loop's sample of this tick; drawn by the next frame.
    void sampleTick();
    /// Repaints now if ticks were sampled since the last paint (without sampling again).
    void drawPendingSamples();

   protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

   private:
    Commands& m_commands;
    VolumePlot m_plot;
    QRect m_plotArea;
    /// Samples taken by ticks that no paint has shown yet.
    bool m_drawPending = false;
    /// The native window whose exposes count as paint requests (it may be recreated).
    QPointer<QWindow> m_watchedWindow;
};
