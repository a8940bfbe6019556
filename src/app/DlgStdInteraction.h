// DlgStdInteraction: the tool window of the standard interaction mode.
#pragma once

#include <QFrame>
#include <QImage>
#include <string>

#include "app/QtToolDialog.h"
#include "interaction/ChartEditing.h"

class Commands;
class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;
class QSpinBox;
class DlgStdInteraction;
class TLSMModel;

/// The chart area of the standard dialog: shows the dialog's chart image and hands its mouse
/// presses, moves and releases to the dialog in the dialog's own pixels. The second press of a
/// double click is ignored.
class StdChartArea : public QFrame {
    Q_OBJECT
   public:
    StdChartArea(DlgStdInteraction& dialog, QWidget* parent);

   protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

   private:
    DlgStdInteraction& m_dialog;
};

/// "Standard Interaction Dialg": shown while mode 2 is current, docked at the main window's right
/// edge; the user cannot close it and Enter and Escape do nothing in it. Starts and stops the
/// simulation, re-initialises it, edits the excitation settings and the display switches in place,
/// holds the transparency (300 to 1000, start 800) and infarct rate (0 to 1000, start 0) sliders the
/// drawing reads, and edits both contraction charts: left button the ventricle curve, right button
/// the atrium curve, middle button deletes, dragging a point out of the area deletes it; point 0 is
/// never removed. Every paint of the chart prints "#" on standard error. Each button and display box
/// is one call into the command layer. Owned by the core object. User-interface thread only.
class DlgStdInteraction : public QtToolWindow<StdDialogWindow> {
    Q_OBJECT
   public:
    explicit DlgStdInteraction(Commands& commands);

    int transparencySlider() const override;
    int rateSlider() const override;
    /// Re-reads what the dialog shows from the model and the display switches, and repaints.
    void refreshFromModel() override;
    /// Moves the transparency slider by delta within its range (keys 1 and 2).
    void stepTransparency(int delta) override;

    /// Draws the chart into the back buffer (building the images the first time) and returns it.
    /// Prints "#".
    const QImage& renderChart();
    /// The chart area's size (W x H) and its top-left corner in the dialog (ox, oy), as measured at
    /// the first paint (measured now if it has not been yet).
    QRect chartRect();
    /// The chart area's mouse, in dialog pixels.
    void chartPress(Qt::MouseButton button, const QPoint& point);
    void chartMove(const QPoint& point);
    void chartRelease(Qt::MouseButton button, const QPoint& point);

    QPushButton* m_simulationButton = nullptr;
    QPushButton* m_initButton = nullptr;
    QSlider* m_transSlider = nullptr;
    QCheckBox* m_meshBox = nullptr;
    QCheckBox* m_vertexBox = nullptr;
    QCheckBox* m_roomsBox = nullptr;
    QCheckBox* m_fibAtriBox = nullptr;
    QCheckBox* m_fibVentBox = nullptr;
    StdChartArea* m_chartArea = nullptr;
    QSpinBox* m_contractSpin = nullptr;
    QSpinBox* m_cycleSpin = nullptr;
    QSpinBox* m_stiffSpin = nullptr;
    /// The ventricles' cross-fibre exponent in hundredths (-50 to 100).
    QSpinBox* m_crossFibreSpin = nullptr;
    QPushButton* m_clearChartButton = nullptr;
    QLabel* m_legend = nullptr;
    QSlider* m_rateSlider = nullptr;
    QPushButton* m_clearAllButton = nullptr;
    QPushButton* m_loadButton = nullptr;
    QSpinBox* m_waveSpin = nullptr;
    QCheckBox* m_phaseShiftBox = nullptr;
    QSpinBox* m_waveASpin = nullptr;
    QCheckBox* m_phaseShiftABox = nullptr;

    bool m_bInitialized = false;
    bool m_vDrag = false;
    bool m_aDrag = false;
    int m_dragIndex = -1;

   protected:
    void keyPressEvent(QKeyEvent* event) override;

   private:
    void buildControls();
    /// Sets the controls from the model and the switches (no repaint).
    void syncControls();
    void connectControls();
    /// Repaints the chart now unless the simulation runs (its tick repaints it).
    void repaintChartUnlessRunning();
    TLSMModel* currentModel() const;
    TGlobalExcitation* currentExcitation() const;

    Commands& m_commands;
    ChartPixelArea m_area;
    QPoint m_areaOrigin;
    bool m_areaMeasured = false;
    QImage m_background;
    QImage m_noModel;
    QImage m_backBuffer;
    /// The model the controls were last set from.
    const TLSMModel* m_syncedModel = nullptr;
    std::string m_syncedPath;
};
