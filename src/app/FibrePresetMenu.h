// FibrePresetMenu: the fibre-arrangement presets of the "Simple Model Fiber Orientation" menu and
// the rule-based fibres with their small dialog.
#pragma once

class Commands;
class QDialog;
class QMenu;
class QWidget;

/// Appends the twelve fibre presets to menu, in their fixed order (before anything else the menu
/// will hold when called first), then "Rule-based fibres..."; each preset applies through commands.
void addFibrePresetCommands(QMenu* menu, Commands& commands);

/// The rule-based fibres' dialog (object name "ruleBasedFibresDialog"): two angle fields ("endo",
/// "epi", -90..90 degrees) preset to the model's rule when it is in force, else +60 and -60. OK
/// applies them through commands. The caller owns it (it is deleted when closed).
QDialog* makeRuleBasedFibresDialog(QWidget* parent, Commands& commands);
