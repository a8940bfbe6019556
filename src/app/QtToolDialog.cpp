// QtToolDialog: the factory that makes the three tool dialogs.
#include "app/QtToolDialog.h"

#include "app/DlgPaintCtrlField.h"
#include "app/DlgStdInteraction.h"
#include "app/DlgVolumeViz.h"

std::unique_ptr<ToolDialogWindow> QtToolDialogFactory::createVolumeDialog() {
    auto dialog = std::make_unique<DlgVolumeViz>(m_commands);
    dialog->attachToMainWindow(m_frame);
    return dialog;
}

std::unique_ptr<ToolDialogWindow> QtToolDialogFactory::createPaintDialog() {
    auto dialog = std::make_unique<DlgPaintCtrlField>(m_commands);
    dialog->attachToMainWindow(m_frame);
    return dialog;
}

std::unique_ptr<StdDialogWindow> QtToolDialogFactory::createStdDialog() {
    auto dialog = std::make_unique<DlgStdInteraction>(m_commands);
    dialog->attachToMainWindow(m_frame);
    return dialog;
}
