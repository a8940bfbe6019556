// DlgPaintCtrlField: the tool window of the paint-control-field mode.
#pragma once

#include "app/QtToolDialog.h"

/// "Paint Control Field dialog": shown while mode 1 is current, docked at the main window's right
/// edge; the user cannot close it. Owned by the core object.
class DlgPaintCtrlField : public QtToolWindow<ToolDialogWindow> {
    Q_OBJECT
   public:
    DlgPaintCtrlField();
};
