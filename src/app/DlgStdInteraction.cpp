// DlgStdInteraction: the standard interaction tool window and its contraction chart editor.
#include "app/DlgStdInteraction.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

#include "interaction/Commands.h"
#include "linalg/Diagnostics.h"
#include "model/MainWindowManager.h"

namespace {

constexpr int kChartAreaWidth = 240;
constexpr int kChartAreaHeight = 90;
/// The number fields hold hundredths; the values they set are kept within [0.01, 10].
constexpr double kNumberScale = 0.01;
constexpr double kNumberLow = 0.01;
constexpr double kNumberHigh = 10.0;

const QColor kGuideColour(0x11, 0x11, 0x11);
const QColor kNoModelColour(0x22, 0x22, 0x22);
const QColor kVentColour(0, 255, 0);
const QColor kAtriColour(0, 0, 255);
const QColor kCursorColour(255, 0, 0);

double scaledNumber(int position) { return std::clamp(position * kNumberScale, kNumberLow, kNumberHigh); }

QSpinBox* makeSpin(int low, int high, QWidget* parent) {
    auto* spin = new QSpinBox(parent);
    spin->setRange(low, high);
    // A number typed outside the range becomes the nearest one in it.
    spin->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    spin->setKeyboardTracking(true);
    return spin;
}

/// What a number field shows for value: value x 100 cut to an integer. A project file may hold
/// any number, so the result is held within the int range (a NaN shows as 0).
int hundredthsOf(double value) {
    const double scaled = value * 100.0;
    if (std::isnan(scaled)) return 0;
    constexpr double kLargest = std::numeric_limits<int>::max();
    return static_cast<int>(std::clamp(scaled, -kLargest, kLargest));
}

void setSpinQuietly(QSpinBox* spin, int value) {
    const QSignalBlocker block(spin);
    spin->setValue(value);
}

void setCheckedQuietly(QAbstractButton* button, bool checked) {
    const QSignalBlocker block(button);
    button->setChecked(checked);
}

/// The curve through the chart's points, from the left edge to the right edge at the first value.
void drawCurve(QPainter& painter, const TChart& chart, const ChartPixelArea& area, const QColor& colour) {
    if (chart.empty()) return;
    QPolygon line;
    const int firstRow = area.rowOf(chart.front().second);
    line << QPoint(0, firstRow);
    for (const auto& point : chart) line << QPoint(area.columnOf(point.first), area.rowOf(point.second));
    line << QPoint(area.width, firstRow);
    painter.setPen(QPen(colour, 3));
    painter.drawPolyline(line);
}

void drawPoints(QPainter& painter, const TChart& chart, const ChartPixelArea& area, const QColor& colour) {
    painter.setPen(QPen(colour, 2));
    painter.setBrush(Qt::white);
    for (const auto& point : chart) {
        const int x = area.columnOf(point.first), y = area.rowOf(point.second);
        painter.drawEllipse(QRect(QPoint(x - 3, y - 3), QPoint(x + 3, y + 3)));
    }
    painter.setBrush(Qt::NoBrush);
}

}  // namespace

// ---- Chart area ------------------------------------------------------------------------------

StdChartArea::StdChartArea(DlgStdInteraction& dialog, QWidget* parent) : QFrame(parent), m_dialog(dialog) {
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setFixedSize(kChartAreaWidth, kChartAreaHeight);
}

void StdChartArea::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    const QImage& image = m_dialog.renderChart();
    QPainter painter(this);
    painter.drawImage(QRect(1, 1, width() - 2, height() - 2), image);
}

void StdChartArea::mousePressEvent(QMouseEvent* event) {
    m_dialog.chartPress(event->button(), mapTo(&m_dialog, event->position().toPoint()));
    event->accept();
}

void StdChartArea::mouseMoveEvent(QMouseEvent* event) {
    m_dialog.chartMove(mapTo(&m_dialog, event->position().toPoint()));
    event->accept();
}

void StdChartArea::mouseReleaseEvent(QMouseEvent* event) {
    m_dialog.chartRelease(event->button(), mapTo(&m_dialog, event->position().toPoint()));
    event->accept();
}

// Only the first press of a double click edits the chart.
void StdChartArea::mouseDoubleClickEvent(QMouseEvent* event) { event->accept(); }

// ---- Dialog ----------------------------------------------------------------------------------

DlgStdInteraction::DlgStdInteraction(Commands& commands)
    : QtToolWindow<StdDialogWindow>(QStringLiteral("Standard Interaction Dialg"), kStdDialogWidth, kStdDialogHeight,
                                    false),
      m_commands(commands) {
    buildControls();
    connectControls();
    m_bInitialized = true;
}

void DlgStdInteraction::buildControls() {
    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(6, 6, 6, 6);
    top->setSpacing(3);

    auto* runRow = new QHBoxLayout;
    m_simulationButton = new QPushButton(QStringLiteral("Simulation On/Off (o)"), this);
    m_simulationButton->setCheckable(true);
    m_initButton = new QPushButton(QStringLiteral("Initialization ( i )"), this);
    runRow->addWidget(m_simulationButton);
    runRow->addWidget(m_initButton);
    top->addLayout(runRow);

    auto* transRow = new QHBoxLayout;
    transRow->addWidget(new QLabel(QStringLiteral("Trans(1-2)"), this));
    m_transSlider = new QSlider(Qt::Horizontal, this);
    m_transSlider->setRange(300, 1000);
    m_transSlider->setValue(800);
    transRow->addWidget(m_transSlider);
    top->addLayout(transRow);

    auto* boxes = new QGridLayout;
    m_meshBox = new QCheckBox(QStringLiteral("Mesh(3)"), this);
    m_vertexBox = new QCheckBox(QStringLiteral("Vetex(4)"), this);
    m_roomsBox = new QCheckBox(QStringLiteral("Roomes(5)"), this);
    m_fibAtriBox = new QCheckBox(QStringLiteral("Fib_dir_Atri(6)"), this);
    m_fibVentBox = new QCheckBox(QStringLiteral("Fib_dir_Vent (7)"), this);
    boxes->addWidget(m_meshBox, 0, 0);
    boxes->addWidget(m_vertexBox, 0, 1);
    boxes->addWidget(m_roomsBox, 0, 2);
    boxes->addWidget(m_fibAtriBox, 1, 0, 1, 2);
    boxes->addWidget(m_fibVentBox, 1, 2);
    top->addLayout(boxes);

    m_chartArea = new StdChartArea(*this, this);
    top->addWidget(m_chartArea, 0, Qt::AlignHCenter);

    auto* numbers = new QGridLayout;
    m_contractSpin = makeSpin(1, 100, this);
    m_cycleSpin = makeSpin(1, 1000, this);
    m_stiffSpin = makeSpin(1, 30, this);
    numbers->addWidget(new QLabel(QStringLiteral("contract%"), this), 0, 0);
    numbers->addWidget(m_contractSpin, 0, 1);
    numbers->addWidget(new QLabel(QStringLiteral("Cycle"), this), 0, 2);
    numbers->addWidget(m_cycleSpin, 0, 3);
    numbers->addWidget(new QLabel(QStringLiteral("Stiff"), this), 1, 0);
    numbers->addWidget(m_stiffSpin, 1, 1);
    m_clearChartButton = new QPushButton(QStringLiteral("clear chart"), this);
    numbers->addWidget(m_clearChartButton, 1, 2, 1, 2);
    m_crossFibreSpin = makeSpin(hundredthsOf(kMinCrossFibreExponent), hundredthsOf(kMaxCrossFibreExponent), this);
    m_crossFibreSpin->setToolTip(
        QStringLiteral("cross-fibre exponent k (hundredths): as a fibre shortens by c, the wall widens by c^k "
                       "across the fibre and thickens by 1/(c c^k); -50 widens and thickens alike"));
    numbers->addWidget(new QLabel(QStringLiteral("cross-fibre"), this), 2, 0);
    numbers->addWidget(m_crossFibreSpin, 2, 1);
    top->addLayout(numbers);

    m_legend = new QLabel(QStringLiteral("mouse R:Atrium  L:ventricle") + QChar(0x3000) + QStringLiteral("M:delete"), this);
    top->addWidget(m_legend);

    auto* infarct = new QGroupBox(QStringLiteral("paint infraction"), this);
    auto* infarctRow = new QHBoxLayout(infarct);
    infarctRow->setContentsMargins(4, 2, 4, 2);
    infarctRow->addWidget(new QLabel(QStringLiteral("rate"), infarct));
    m_rateSlider = new QSlider(Qt::Horizontal, infarct);
    m_rateSlider->setRange(0, 1000);
    m_rateSlider->setValue(0);
    infarctRow->addWidget(m_rateSlider);
    m_clearAllButton = new QPushButton(QStringLiteral("clear all"), infarct);
    infarctRow->addWidget(m_clearAllButton);
    top->addWidget(infarct);

    auto* waves = new QGridLayout;
    m_loadButton = new QPushButton(QStringLiteral("ロード"), this);
    waves->addWidget(m_loadButton, 0, 0, 2, 1);
    m_waveSpin = makeSpin(1, 1000, this);
    m_phaseShiftBox = new QCheckBox(QStringLiteral("Phase Shift"), this);
    m_waveASpin = makeSpin(1, 1000, this);
    m_phaseShiftABox = new QCheckBox(QStringLiteral("Phase Shift"), this);
    waves->addWidget(new QLabel(QStringLiteral("wave num(0.01)"), this), 0, 1);
    waves->addWidget(m_waveSpin, 0, 2);
    waves->addWidget(m_phaseShiftBox, 0, 3);
    waves->addWidget(new QLabel(QStringLiteral("wave num(0.01)"), this), 1, 1);
    waves->addWidget(m_waveASpin, 1, 2);
    waves->addWidget(m_phaseShiftABox, 1, 3);
    top->addLayout(waves);
}

void DlgStdInteraction::connectControls() {
    connect(m_simulationButton, &QPushButton::clicked, this, [this] { m_commands.toggleSimulation(); });
    connect(m_initButton, &QPushButton::clicked, this, [this] { m_commands.restartBeat(); });
    connect(m_transSlider, &QSlider::valueChanged, this, [this] {
        if (m_bInitialized) m_commands.redrawView();
    });

    const std::pair<QCheckBox*, DisplaySwitch> displays[] = {{m_meshBox, DisplaySwitch::Mesh},
                                                             {m_vertexBox, DisplaySwitch::Vertices},
                                                             {m_roomsBox, DisplaySwitch::Rooms},
                                                             {m_fibAtriBox, DisplaySwitch::AtrialFibres},
                                                             {m_fibVentBox, DisplaySwitch::VentricularFibres}};
    for (const auto& display : displays) {
        const DisplaySwitch which = display.second;
        connect(display.first, &QCheckBox::clicked, this, [this, which] { m_commands.toggleDisplay(which); });
    }

    const std::pair<QSpinBox*, double TGlobalExcitation::*> scaled[] = {
        {m_cycleSpin, &TGlobalExcitation::m_cycleLength},
        {m_contractSpin, &TGlobalExcitation::m_amplitude},
        {m_waveSpin, &TGlobalExcitation::m_numOfWave},
        {m_waveASpin, &TGlobalExcitation::m_numOfWaveA}};
    for (const auto& number : scaled) {
        QSpinBox* spin = number.first;
        double TGlobalExcitation::*member = number.second;
        connect(spin, &QSpinBox::valueChanged, this, [this, spin, member] {
            TGlobalExcitation* excitation = currentExcitation();
            if (!m_bInitialized || !excitation) return;
            excitation->*member = scaledNumber(spin->value());
            if (spin == m_contractSpin) buildTables(*excitation);
        });
    }
    connect(m_crossFibreSpin, &QSpinBox::valueChanged, this, [this] {
        TGlobalExcitation* excitation = currentExcitation();
        if (!m_bInitialized || !excitation) return;
        excitation->m_crossFibreExponent = m_crossFibreSpin->value() / 100.0;
        buildTables(*excitation);
    });
    connect(m_stiffSpin, &QSpinBox::valueChanged, this, [this] {
        TLSMModel* model = currentModel();
        if (m_bInitialized && model) model->m_iterationN = m_stiffSpin->value();
    });
    connect(m_phaseShiftBox, &QCheckBox::clicked, this, [this] {
        TGlobalExcitation* excitation = currentExcitation();
        if (m_bInitialized && excitation) excitation->m_propagationMode = m_phaseShiftBox->isChecked();
    });
    connect(m_phaseShiftABox, &QCheckBox::clicked, this, [this] {
        TGlobalExcitation* excitation = currentExcitation();
        if (m_bInitialized && excitation) excitation->m_propagationModeA = m_phaseShiftABox->isChecked();
    });

    connect(m_clearChartButton, &QPushButton::clicked, this, [this] { m_commands.clearContractionCharts(); });
    connect(m_clearAllButton, &QPushButton::clicked, this, [this] { m_commands.fullAmplitude(); });
    connect(m_loadButton, &QPushButton::clicked, this, [this] { m_commands.loadContractionChart(); });
}

TLSMModel* DlgStdInteraction::currentModel() const { return m_commands.model(); }

TGlobalExcitation* DlgStdInteraction::currentExcitation() const {
    TLSMModel* model = currentModel();
    return model ? model->m_excitation.get() : nullptr;
}

int DlgStdInteraction::transparencySlider() const { return m_transSlider->value(); }

int DlgStdInteraction::rateSlider() const { return m_rateSlider->value(); }

void DlgStdInteraction::stepTransparency(int delta) { m_transSlider->setValue(m_transSlider->value() + delta); }

void DlgStdInteraction::refreshFromModel() {
    syncControls();
    redraw(true);
}

void DlgStdInteraction::syncControls() {
    // The dialog is made with the core object, before the controller is attached.
    if (!m_commands.controller()) return;
    MainWindowManager& manager = *m_commands.controller();
    m_syncedModel = manager.model();
    m_syncedPath = m_syncedModel ? m_syncedModel->m_filePath : std::string();
    if (TLSMModel* model = manager.model(); model && model->m_excitation) {
        const TGlobalExcitation& e = *model->m_excitation;
        setCheckedQuietly(m_phaseShiftBox, e.m_propagationMode);
        setCheckedQuietly(m_phaseShiftABox, e.m_propagationModeA);
        setSpinQuietly(m_stiffSpin, model->m_iterationN);
        setSpinQuietly(m_cycleSpin, hundredthsOf(e.m_cycleLength));
        setSpinQuietly(m_contractSpin, hundredthsOf(e.m_amplitude));
        setSpinQuietly(m_waveSpin, hundredthsOf(e.m_numOfWave));
        setSpinQuietly(m_waveASpin, hundredthsOf(e.m_numOfWaveA));
        setSpinQuietly(m_crossFibreSpin, hundredthsOf(e.m_crossFibreExponent));
    }
    setCheckedQuietly(m_simulationButton, manager.m_timerOn);
    setCheckedQuietly(m_meshBox, manager.m_bShowMesh);
    setCheckedQuietly(m_vertexBox, manager.m_bShowVertices);
    setCheckedQuietly(m_roomsBox, manager.m_bShowRooms);
    setCheckedQuietly(m_fibAtriBox, manager.m_bShowFibAtri);
    setCheckedQuietly(m_fibVentBox, manager.m_bShowFibVent);
}

void DlgStdInteraction::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

void DlgStdInteraction::repaintChartUnlessRunning() {
    if (!m_commands.simulationRuns()) m_chartArea->repaint();
}

// ---- Chart editor ----------------------------------------------------------------------------

QRect DlgStdInteraction::chartRect() {
    if (!m_areaMeasured) {
        m_area.width = m_chartArea->width();
        m_area.height = m_chartArea->height();
        m_areaOrigin = m_chartArea->mapTo(this, QPoint(0, 0));
        m_areaMeasured = true;
        m_background = QImage(m_area.width, m_area.height, QImage::Format_RGB32);
        m_background.fill(Qt::white);
        {
            QPainter painter(&m_background);
            painter.setPen(QPen(kGuideColour, 1));
            painter.drawLine(0, 10, m_area.width, 10);
            painter.drawLine(0, m_area.height - 10, m_area.width, m_area.height - 10);
        }
        m_noModel = QImage(m_area.width, m_area.height, QImage::Format_RGB32);
        m_noModel.fill(kNoModelColour);
        m_backBuffer = QImage(m_area.width, m_area.height, QImage::Format_RGB32);
    }
    return QRect(m_areaOrigin, QSize(m_area.width, m_area.height));
}

const QImage& DlgStdInteraction::renderChart() {
    chartRect();
    diagPrintf("#");
    const TLSMModel* model = currentModel();
    // A model loaded since the last refresh: show its settings rather than the previous ones.
    if (model != m_syncedModel || (model && model->m_filePath != m_syncedPath)) syncControls();
    if (!model || !model->m_excitation) {
        m_backBuffer = m_noModel.copy();
        return m_backBuffer;
    }
    m_backBuffer = m_background.copy();
    const TGlobalExcitation& e = *model->m_excitation;
    QPainter painter(&m_backBuffer);
    drawCurve(painter, e.m_chartVent, m_area, kVentColour);
    drawCurve(painter, e.m_chartAtri, m_area, kAtriColour);
    drawPoints(painter, e.m_chartVent, m_area, kVentColour);
    drawPoints(painter, e.m_chartAtri, m_area, kAtriColour);
    const double time = m_commands.controller() ? m_commands.controller()->m_time : 0.0;
    const double fraction = e.m_cycleLength > 0.0 ? time / e.m_cycleLength : 0.0;
    const int cursor = static_cast<int>(fraction * m_area.width) + 1;
    painter.setPen(QPen(kCursorColour, 2));
    painter.drawLine(cursor, 0, cursor, m_area.height);
    return m_backBuffer;
}

void DlgStdInteraction::chartPress(Qt::MouseButton button, const QPoint& point) {
    m_commands.commitEdit(std::string());
    const QRect rect = chartRect();
    const int ox = rect.x(), oy = rect.y(), w = m_area.width, h = m_area.height;
    const int x = point.x(), y = point.y();
    if (x < ox || x > ox + w || y < oy || y > oy + h) return;
    TGlobalExcitation* excitation = currentExcitation();
    if (!m_bInitialized || !excitation) return;
    const int yUp = oy + h - y;
    if (button == Qt::LeftButton || button == Qt::RightButton) {
        if (m_vDrag || m_aDrag) return;  // one drag at a time
        const bool vent = button == Qt::LeftButton;
        TChart& chart = vent ? excitation->m_chartVent : excitation->m_chartAtri;
        int index = m_area.findPoint(chart, x - ox, yUp);
        if (index == -1) {
            const ChartXY value = m_area.insertValueAt(x - ox, yUp);
            index = insertChartValue(chart, value.x, value.y);
            if (index != -1) buildTables(*excitation);
        }
        if (index != -1) {
            m_dragIndex = index;
            (vent ? m_vDrag : m_aDrag) = true;
        }
        repaintChartUnlessRunning();
    } else if (button == Qt::MiddleButton) {
        removeChartPoint(excitation->m_chartVent, m_area.findPoint(excitation->m_chartVent, x - ox, yUp));
        removeChartPoint(excitation->m_chartAtri, m_area.findPoint(excitation->m_chartAtri, x - ox, yUp));
        buildTables(*excitation);
        repaintChartUnlessRunning();
    }
}

void DlgStdInteraction::chartMove(const QPoint& point) {
    if (!m_vDrag && !m_aDrag) return;
    TGlobalExcitation* excitation = currentExcitation();
    if (!excitation) return;
    const QRect rect = chartRect();
    const ChartXY value = m_area.dragValueAt(point.x() - rect.x(), rect.y() + m_area.height - point.y());
    TChart& chart = m_vDrag ? excitation->m_chartVent : excitation->m_chartAtri;
    moveChartValue(chart, m_dragIndex, value.x, value.y, kEditorValueLow, kEditorValueHigh);
    buildTables(*excitation);
    repaintChartUnlessRunning();
}

void DlgStdInteraction::chartRelease(Qt::MouseButton button, const QPoint& point) {
    const bool ends = (button == Qt::LeftButton && m_vDrag) || (button == Qt::RightButton && m_aDrag);
    if (!ends) return;
    const char* stepName = m_vDrag ? "Ventricle chart" : "Atrium chart";
    TGlobalExcitation* excitation = currentExcitation();
    if (excitation) {
        const QRect rect = chartRect();
        const int x = point.x(), y = point.y();
        const bool outside = x < rect.x() || x > rect.x() + m_area.width || y < rect.y() || y > rect.y() + m_area.height;
        // Dragging a point out of the area deletes it; point 0 stays.
        if (outside && m_dragIndex > 0) removeChartPoint(m_vDrag ? excitation->m_chartVent : excitation->m_chartAtri, m_dragIndex);
        buildTables(*excitation);
    }
    m_dragIndex = -1;
    m_vDrag = m_aDrag = false;
    m_commands.commitEdit(stepName);
    repaintChartUnlessRunning();
}
