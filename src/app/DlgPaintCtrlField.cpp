// DlgPaintCtrlField: the paint tool window: tool choice, field commands, placement, stroke files.
#include "app/DlgPaintCtrlField.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>

#include "interaction/Commands.h"

namespace {

struct ToolEntry {
    PaintTool tool;
    const char* label;
};

}  // namespace

DlgPaintCtrlField::DlgPaintCtrlField(Commands& commands)
    : QtToolWindow<ToolDialogWindow>(QStringLiteral("Paint Control Field dialog"), kPaintDialogWidth,
                                     kPaintDialogHeight, false),
      m_commands(commands) {
    buildControls();
    m_bInitialized = true;
    for (QCheckBox* box : m_toolBoxes) box->setChecked(false);
    toolCheckBox(PaintTool::DEPTH_0)->setChecked(true);
    TStatePaintCtrlField::getInstance().setTool(PaintTool::DEPTH_0);
}

void DlgPaintCtrlField::buildControls() {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(6, 6, 6, 6);
    column->setSpacing(3);

    auto addGroup = [&](const char* title) {
        auto* group = new QGroupBox(QString::fromUtf8(title), this);
        auto* grid = new QGridLayout(group);
        grid->setContentsMargins(4, 2, 4, 2);
        grid->setVerticalSpacing(1);
        column->addWidget(group);
        return grid;
    };
    // Tools fill the grid three to a row; a button takes a whole row.
    auto addTools = [&](QGridLayout* grid, std::initializer_list<ToolEntry> tools) {
        int row = grid->rowCount(), col = 0;
        if (grid->count() == 0) row = 0;
        for (const ToolEntry& entry : tools) {
            auto* box = new QCheckBox(QString::fromUtf8(entry.label), this);
            const PaintTool tool = entry.tool;
            connect(box, &QCheckBox::clicked, this, [this, tool] { onToolClicked(tool); });
            m_toolBoxes[static_cast<size_t>(tool)] = box;
            grid->addWidget(box, row, col);
            if (++col == 3) {
                col = 0;
                ++row;
            }
        }
    };
    auto addButton = [&](QGridLayout* grid, const char* text, std::function<void()> action) {
        auto* button = new QPushButton(QString::fromUtf8(text), this);
        connect(button, &QPushButton::clicked, this, [action] { action(); });
        grid->addWidget(button, grid->count() == 0 ? 0 : grid->rowCount(), 0, 1, 3);
    };
    auto addText = [&](QLayout* layout, const char* text) {
        auto* label = new QLabel(QString::fromUtf8(text), this);
        layout->addWidget(label);
    };

    QGridLayout* placement = addGroup("Initial Position");
    addTools(placement, {{PaintTool::TRANS, "Trans"}, {PaintTool::ROT, "Rot"}, {PaintTool::SCALE, "Scale"}});
    addButton(placement, "normalize", [this] { m_commands.normalizePlacement(); });

    QGridLayout* orientation = addGroup("Orientation Field");
    addTools(orientation,
             {{PaintTool::DEPTH_0, "Depth 0"}, {PaintTool::DEPTH_05, "Depth 0.5"}, {PaintTool::DEPTH_1, "Depth 1.0"}});
    addButton(orientation, "Init Depth Field", [this] { m_commands.initDepthField(); });
    addTools(orientation, {{PaintTool::ORIENT, "draw primary orientation"}});
    addButton(orientation, "Update field", [this] { m_commands.updateField(); });
    addButton(orientation, "Init Primary dir strokes", [this] { m_commands.initPrimaryDirStrokes(); });
    addButton(orientation, "exportFibOri", [this] { m_commands.exportFibreStrokes(); });
    addButton(orientation, "importFibOri", [this] { m_commands.importFibreStrokes(); });
    auto* strokeHelp = new QLabel(QStringLiteral("alt + Left stroke : place orientation stroke"), this);
    orientation->addWidget(strokeHelp, orientation->rowCount(), 0, 1, 3);

    QGridLayout* amplitude = addGroup("Amplitude Field");
    addTools(amplitude,
             {{PaintTool::AMP_M1, "amp -1.0"}, {PaintTool::AMP_0, "amp 0"}, {PaintTool::AMP_1, "amp 1.0"}});
    addButton(amplitude, "Init Amplitude Field", [this] { m_commands.initAmplitudeField(); });

    QGridLayout* phase = addGroup("Phase Shift Field");
    addTools(phase, {{PaintTool::PHASE_0, "phase 0 (source)"}, {PaintTool::PHASE_1, "phase 1.0 (sink)"}});
    addButton(phase, "Init Phase Shift Field", [this] { m_commands.initPhaseShiftField(); });

    QGridLayout* regions = addGroup("Segmentation  Ventricles or Atriums");
    addTools(regions,
             {{PaintTool::SEG_VENT, "Ventricles"}, {PaintTool::SEG_ATRI, "Atriums"}, {PaintTool::SEG_NEITHER, "Neither"}});
    // The first segmentation is painted vertex by vertex; there is nothing to reset in one go.
    addButton(regions, "Init Segmentation1", [] {});

    QGridLayout* chambers = addGroup("Segmentation  endocardia");
    addTools(chambers, {{PaintTool::CH_AL, "AL"},
                        {PaintTool::CH_AR, "AR"},
                        {PaintTool::CH_VL, "VL"},
                        {PaintTool::CH_VR, "VR"},
                        {PaintTool::CH_NEITHER, "Neither"}});
    addButton(chambers, "Init segmentation2", [this] { m_commands.initChamberSegmentation(); });

    for (const char* line : {"Right drag : rotate camera", "Mid   drag : zoom camera", "Left drag   : transrate camera",
                             "ctrl   + Left drag : cut", "Cntrl + wheeing  : depth peeling",
                             "shift + Left drag : Place Constraint Points",
                             "alt    + Left click  : Place Constraints On Vertices"})
        addText(column, line);
    column->addStretch(1);
}

QPushButton* DlgPaintCtrlField::commandButton(const QString& text) const {
    for (QPushButton* button : findChildren<QPushButton*>())
        if (button->text() == text) return button;
    return nullptr;
}

void DlgPaintCtrlField::onToolClicked(PaintTool tool) {
    if (!m_bInitialized) return;
    // Clicking the checked box unchecks it; re-checking keeps exactly one tool chosen.
    for (QCheckBox* box : m_toolBoxes) box->setChecked(false);
    toolCheckBox(tool)->setChecked(true);
    m_commands.choosePaintTool(tool);
}
