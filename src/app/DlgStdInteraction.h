// DlgStdInteraction: the tool window of the standard interaction mode.
#pragma once

#include "app/QtToolDialog.h"

/// "Standard Interaction Dialg": shown while mode 2 is current, docked at the main window's right
/// edge; the user cannot close it. Holds the positions of the transparency slider (start 800) and
/// of the infarct rate slider (start 0) that the drawing reads. Owned by the core object.
class DlgStdInteraction : public QtToolWindow<StdDialogWindow> {
    Q_OBJECT
   public:
    DlgStdInteraction();

    int transparencySlider() const override { return m_transparency; }
    int rateSlider() const override { return m_rate; }
    /// Re-reads what the dialog shows from the model and the display switches, and repaints.
    void refreshFromModel() override;

   private:
    int m_transparency = 800;
    int m_rate = 0;
};
