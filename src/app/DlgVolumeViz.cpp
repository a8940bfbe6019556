// DlgVolumeViz: the volume plot window.
#include "app/DlgVolumeViz.h"

DlgVolumeViz::DlgVolumeViz()
    : QtToolWindow<ToolDialogWindow>(QStringLiteral("Volumes of VR/VL/AR/AL"), kVolumeDialogWidth, kVolumeDialogHeight,
                                     true) {}
