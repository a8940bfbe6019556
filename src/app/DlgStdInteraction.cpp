// DlgStdInteraction: the standard interaction tool window.
#include "app/DlgStdInteraction.h"

DlgStdInteraction::DlgStdInteraction()
    : QtToolWindow<StdDialogWindow>(QStringLiteral("Standard Interaction Dialg"), kStdDialogWidth, kStdDialogHeight,
                                    false) {}

void DlgStdInteraction::refreshFromModel() { redraw(true); }
