// FibrePresetMenu: the fibre-arrangement presets of the "Simple Model Fiber Orientation" menu.
#pragma once

class Commands;
class QMenu;

/// Appends the twelve fibre presets to menu, in their fixed order (before anything else the menu
/// will hold when called first); each applies its preset through commands.
void addFibrePresetCommands(QMenu* menu, Commands& commands);
