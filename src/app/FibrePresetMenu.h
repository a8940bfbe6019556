// FibrePresetMenu: the fibre-arrangement presets of the "Simple Model Fiber Orientation" menu.
#pragma once

class QMenu;

/// Appends the twelve fibre presets to menu, in their fixed order (before anything else the menu
/// will hold when called first).
void addFibrePresetCommands(QMenu* menu);

/// One preset command: with a model, preset index 0..11 replaces the fibre frames and the simulator
/// is set up again with them; the view is redrawn unless the simulation runs. False without a
/// model or for another index.
bool runFibrePresetCommand(int index);
