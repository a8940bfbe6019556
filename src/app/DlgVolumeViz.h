// DlgVolumeViz: the chamber-volume plot window with the left ventricle's strains, twist and
// bull's-eye.
#pragma once

#include <QPointer>
#include <QRect>
#include <QWindow>

#include "app/BullseyePlot.h"
#include "app/QtToolDialog.h"
#include "app/StrainPlot.h"
#include "app/VolumePlot.h"
#include "model/DeformationIndices.h"

class QComboBox;
class TLSMModel;

/// "Volumes of VR/VL/AR/AL": the four chamber volumes over the last ticks as scrolling curves with
/// the left-ventricle ejection fraction; beside them the global longitudinal, circumferential and
/// radial strain and the twist over the cycle, and a bull's-eye of the 17 segments' strain at the
/// end-systole of the last cycle (the strain chosen in the box above it). Shown and hidden from the
/// Mode Change menu, kept above the main window, never docked, closable (closing hides it). While
/// the beat runs, every tick takes one sample of the controller's model, volumes and deformation
/// indices (sampleTick), and the frames show them (drawPendingSamples); any other paint of the
/// window (shown, uncovered, repainted) takes one sample itself. Without a model the plots keep
/// what they showed. The indices are set up again, and their curves emptied, when a paint finds the
/// model's rest state, labels or walls changed. The plot areas are measured at the first paint and
/// keep their size. Owned by the core object; user-interface thread only.
class DlgVolumeViz : public QtToolWindow<ToolDialogWindow> {
    Q_OBJECT
   public:
    /// Samples the model commands has loaded.
    explicit DlgVolumeViz(Commands& commands);

    /// The plot with its rings, the last ejection fraction and the drawn image.
    const VolumePlot& plot() const { return m_plot; }
    /// The strain curves and the bull's-eye.
    const StrainPlot& strainPlot() const { return m_strainPlot; }
    const BullseyePlot& bullseye() const { return m_bullseye; }
    /// The deformation indices as set up for the model last sampled.
    const DeformationIndices& indices() const { return m_indices; }
    /// The box choosing the bull's-eye's strain (longitudinal, circumferential, radial).
    QComboBox* strainChoice() const { return m_strainChoice; }
    /// The plot areas (the frames the images are copied into) in window coordinates; empty before
    /// the first paint.
    QRect plotArea() const { return m_plotArea; }
    QRect strainArea() const { return m_strainArea; }
    QRect bullseyeArea() const { return m_bullseyeArea; }

    /// The main loop's sample of this tick; drawn by the next frame.
    void sampleTick();
    /// Repaints now if ticks were sampled since the last paint (without sampling again).
    void drawPendingSamples();

   protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

   private:
    /// Volumes and indices of the model into the plots.
    void sampleModel(const TLSMModel& model);
    /// Sets the indices up again when the model's inputs to them changed; the curves then restart.
    void followModel(const TLSMModel& model);
    void layOut();
    /// Draws the bull's-eye of the current end-systole unless it shows that already.
    void drawBullseye(const QString& why);

    Commands& m_commands;
    VolumePlot m_plot;
    StrainPlot m_strainPlot;
    BullseyePlot m_bullseye;
    DeformationIndices m_indices;
    QComboBox* m_strainChoice = nullptr;
    QRect m_plotArea, m_strainArea, m_bullseyeArea;
    /// Samples taken by ticks that no paint has shown yet.
    bool m_drawPending = false;
    /// What the bull's-eye image shows.
    bool m_bullseyeDrawn = false;
    bool m_bullseyeHadValues = false;
    BullseyePlot::Strain m_bullseyeStrain = BullseyePlot::Longitudinal;
    QString m_bullseyeWhy;
    DeformationIndexValues m_bullseyeValues;
    /// The native window whose exposes count as paint requests (it may be recreated).
    QPointer<QWindow> m_watchedWindow;
};
