// DlgVolumeViz: the chamber-volume plot window.
#pragma once

#include "app/QtToolDialog.h"

/// "Volumes of VR/VL/AR/AL": shown and hidden from the Mode Change menu, never docked, closable
/// (closing hides it). Owned by the core object.
class DlgVolumeViz : public QtToolWindow<ToolDialogWindow> {
    Q_OBJECT
   public:
    DlgVolumeViz();
};
