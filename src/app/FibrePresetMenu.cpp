// FibrePresetMenu: preset entries and their command.
#include "app/FibrePresetMenu.h"

#include <QAction>
#include <QMenu>

#include "fields/FibrePresets.h"
#include "interaction/EditHistory.h"
#include "interaction/TCore.h"
#include "model/MainWindowManager.h"

void addFibrePresetCommands(QMenu* menu) {
    for (int i = 0; i < kFibrePresetCount; ++i)
        menu->addAction(QString::fromUtf8(kFibrePresets[i].menuText), menu, [i] { runFibrePresetCommand(i); });
}

bool runFibrePresetCommand(int index) {
    TLSMModel* model = MainWindowManager::getInstance().model();
    if (!model) return false;
    commitEdit(std::string());
    if (!applyFibrePreset(index, model->m_orienField, model->m_tets, model->m_vtxOrigPos)) return false;
    model->m_simulator.initSimulator(model->m_vtxOrigPos, model->m_tets, model->m_smNeighbors,
                                     model->m_orienField.m_frames);
    commitEdit(kFibrePresets[index].menuText);
    if (TCore::exists()) TCore::getInst().redrawView();
    return true;
}
