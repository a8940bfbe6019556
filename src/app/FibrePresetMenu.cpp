// FibrePresetMenu: preset entries.
#include "app/FibrePresetMenu.h"

#include <QAction>
#include <QMenu>

#include "fields/FibrePresets.h"
#include "interaction/Commands.h"

void addFibrePresetCommands(QMenu* menu, Commands& commands) {
    for (int i = 0; i < kFibrePresetCount; ++i)
        menu->addAction(QString::fromUtf8(kFibrePresets[i].menuText), menu,
                        [i, &commands] { commands.applyFibrePreset(i); });
}
