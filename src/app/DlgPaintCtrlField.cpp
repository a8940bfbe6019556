// DlgPaintCtrlField: the paint tool window: tool choice, field commands, placement, stroke files.
#include "app/DlgPaintCtrlField.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <functional>

#include "app/ShellHost.h"
#include "fields/TTensorField.h"
#include "interaction/EditHistory.h"
#include "interaction/ModeScenes.h"
#include "interaction/TCore.h"
#include "model/ChamberWalls.h"
#include "model/MainWindowManager.h"
#include "model/ModelGeometry.h"
#include "model/ProjectFile.h"
#include "model/ShellHooks.h"

const char* const kInitFieldQuestion = "このfieldを初期化しますか";
const char* const kStrokeFileFilter = "fiber stroke data (*.vmfigstrs)|*.vmfigstrs||";

namespace {

const char* const kStrokeExtension = "vmfigstrs";

struct ToolEntry {
    PaintTool tool;
    const char* label;
};

void setUpSimulator(TLSMModel& model) {
    model.m_simulator.initSimulator(model.m_vtxOrigPos, model.m_tets, model.m_smNeighbors, model.m_orienField.m_frames);
}

TLSMModel* currentModel() { return MainWindowManager::getInstance().model(); }

}  // namespace

void QtBusyCursor::beginBusy() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Shown before the work starts, not after it ends.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtBusyCursor::endBusy() { QApplication::restoreOverrideCursor(); }

std::string strokeFilePath(const std::string& chosen) {
    const size_t slash = chosen.find_last_of('/');
    const size_t dot = chosen.find_last_of('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    if (hasExtension && chosen.compare(dot + 1, std::string::npos, kStrokeExtension) == 0) return chosen;
    return chosen + "." + kStrokeExtension;
}

DlgPaintCtrlField::DlgPaintCtrlField()
    : QtToolWindow<ToolDialogWindow>(QStringLiteral("Paint Control Field dialog"), kPaintDialogWidth,
                                     kPaintDialogHeight, false) {
    buildControls();
    m_previousIndicator = setBusyIndicator(&m_busyCursor);
    m_bInitialized = true;
    for (QCheckBox* box : m_toolBoxes) box->setChecked(false);
    toolCheckBox(PaintTool::DEPTH_0)->setChecked(true);
    TStatePaintCtrlField::getInstance().setTool(PaintTool::DEPTH_0);
}

DlgPaintCtrlField::~DlgPaintCtrlField() {
    BusyIndicator* installed = setBusyIndicator(m_previousIndicator);
    // Someone installed another indicator after this one: leave theirs.
    if (installed != &m_busyCursor) setBusyIndicator(installed);
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
    addButton(placement, "normalize", [this] { onNormalize(); });

    QGridLayout* orientation = addGroup("Orientation Field");
    addTools(orientation,
             {{PaintTool::DEPTH_0, "Depth 0"}, {PaintTool::DEPTH_05, "Depth 0.5"}, {PaintTool::DEPTH_1, "Depth 1.0"}});
    addButton(orientation, "Init Depth Field", [this] { onInitField(PaintFieldKind::Depth); });
    addTools(orientation, {{PaintTool::ORIENT, "draw primary orientation"}});
    addButton(orientation, "Update field", [this] { onUpdateField(); });
    addButton(orientation, "Init Primary dir strokes", [this] { onInitField(PaintFieldKind::OrientationStrokes); });
    addButton(orientation, "exportFibOri", [this] { onExportStrokes(); });
    addButton(orientation, "importFibOri", [this] { onImportStrokes(); });
    auto* strokeHelp = new QLabel(QStringLiteral("alt + Left stroke : place orientation stroke"), this);
    orientation->addWidget(strokeHelp, orientation->rowCount(), 0, 1, 3);

    QGridLayout* amplitude = addGroup("Amplitude Field");
    addTools(amplitude,
             {{PaintTool::AMP_M1, "amp -1.0"}, {PaintTool::AMP_0, "amp 0"}, {PaintTool::AMP_1, "amp 1.0"}});
    addButton(amplitude, "Init Amplitude Field", [this] { onInitField(PaintFieldKind::Amplitude); });

    QGridLayout* phase = addGroup("Phase Shift Field");
    addTools(phase, {{PaintTool::PHASE_0, "phase 0 (source)"}, {PaintTool::PHASE_1, "phase 1.0 (sink)"}});
    addButton(phase, "Init Phase Shift Field", [this] { onInitField(PaintFieldKind::Phase); });

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
    addButton(chambers, "Init segmentation2", [this] { onResetChambers(); });

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

ShellHost* DlgPaintCtrlField::shellHost() const { return dynamic_cast<ShellHost*>(&shellHooks()); }

void DlgPaintCtrlField::onToolClicked(PaintTool tool) {
    if (!m_bInitialized) return;
    // Clicking the checked box unchecks it; re-checking keeps exactly one tool chosen.
    for (QCheckBox* box : m_toolBoxes) box->setChecked(false);
    toolCheckBox(tool)->setChecked(true);
    TStatePaintCtrlField::getInstance().setTool(tool);
    // Chamber walls are painted on the inner surface, which a cut or peel may hide in part.
    if (paintToolGroup(tool) == PaintToolGroup::Chamber)
        if (TLSMModel* model = currentModel()) cutByStroke(*model, {}, TCore::getInst().m_ogl->currentProjection());
    TCore::getInst().redrawView();
}

void DlgPaintCtrlField::onInitField(PaintFieldKind kind) {
    if (!m_bInitialized) return;
    ShellHost* host = shellHost();
    if (!host || !host->askYesNo(kInitFieldQuestion)) return;
    if (TLSMModel* model = currentModel()) {
        commitEdit(std::string());
        BusyScope busy;
        switch (kind) {
            case PaintFieldKind::Phase:
                resetField(model->m_phaseField);
                break;
            case PaintFieldKind::Amplitude:
                resetField(model->m_ampliField);
                break;
            case PaintFieldKind::Depth:
                model->m_orienField.resetDepthField(model->m_tets, model->m_vtxOrigPos, model->m_smNeighbors,
                                                    model->m_vtxIsVentriOrAtrium);
                break;
            case PaintFieldKind::OrientationStrokes:
                model->m_orienField.resetStrokes(model->m_tets, model->m_vtxOrigPos, model->m_smNeighbors,
                                                 model->m_vtxIsVentriOrAtrium);
                break;
        }
        const char* names[] = {"Init Phase Shift Field", "Init Amplitude Field", "Init Depth Field",
                               "Init Primary dir strokes"};
        commitEdit(names[kind == PaintFieldKind::Phase       ? 0
                         : kind == PaintFieldKind::Amplitude ? 1
                         : kind == PaintFieldKind::Depth     ? 2
                                                             : 3]);
    }
    TCore::getInst().redrawView();
}

void DlgPaintCtrlField::onUpdateField() {
    if (!m_bInitialized) return;
    TLSMModel* model = currentModel();
    if (!model) return;
    commitEdit(std::string());
    {
        BusyScope busy;
        model->m_orienField.updateOrientation(model->m_tets, model->m_vtxOrigPos, model->m_smNeighbors,
                                              model->m_vtxIsVentriOrAtrium);
        setUpSimulator(*model);
    }
    commitEdit("Update field");
    TCore::getInst().redrawView();
}

void DlgPaintCtrlField::onNormalize() {
    if (!m_bInitialized) return;
    if (TLSMModel* model = currentModel()) {
        commitEdit(std::string());
        normalizeModelPlacement(*model);
        commitEdit("Normalize placement");
    }
}

void DlgPaintCtrlField::onExportStrokes() {
    if (!m_bInitialized) return;
    TLSMModel* model = currentModel();
    ShellHost* host = shellHost();
    if (!model || !host) return;
    const std::string chosen = host->chooseSaveFile(kStrokeFileFilter);
    if (chosen.empty()) return;
    // A failure has been reported to the user by the writer.
    writeStrokeFile(*model, strokeFilePath(chosen));
}

void DlgPaintCtrlField::onImportStrokes() {
    if (!m_bInitialized) return;
    TLSMModel* model = currentModel();
    ShellHost* host = shellHost();
    if (!model || !host) return;
    const std::string chosen = host->chooseOpenFile(kStrokeFileFilter);
    if (chosen.empty()) return;
    const std::string path = strokeFilePath(chosen);
    commitEdit(std::string());
    if (!readStrokeFile(*model, path)) {
        host->showMessage("importFibOri: " + path + " could not be read as a fiber stroke file; the strokes are unchanged");
        return;
    }
    commitEdit("Import fibre strokes");
    TCore::getInst().redrawView();
}

void DlgPaintCtrlField::onResetChambers() {
    if (!m_bInitialized) return;
    if (TLSMModel* model = currentModel()) {
        commitEdit(std::string());
        resetChambers(*model);
        commitEdit("Init segmentation2");
    }
}
