// DlgPaintCtrlField: the paint tool window.
#include "app/DlgPaintCtrlField.h"

DlgPaintCtrlField::DlgPaintCtrlField()
    : QtToolWindow<ToolDialogWindow>(QStringLiteral("Paint Control Field dialog"), kPaintDialogWidth,
                                     kPaintDialogHeight, false) {}
