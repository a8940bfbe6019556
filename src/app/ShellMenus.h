// ShellMenus: the main window's View and Help menus and the experiment and export commands.
#pragma once

#include <QString>

class QMenu;
class QMenuBar;
class QWidget;
class ShellHost;

/// The menu with this title (as shown, with its '&'), made at the end of the bar when there is
/// none yet.
QMenu* menuWithTitle(QMenuBar* bar, const QString& title);

/// "&View" with the framework's "&Toolbar" and "&Status Bar" entries, shown disabled: the main
/// window has neither bar.
void addViewMenu(QMenuBar* bar);

/// Appends "Set Contraction Chart For Experiment", "StartExportAnimation" and
/// "StartExportWallThickness" to menu (after a separator when it has entries already).
void addExperimentCommands(QMenu* menu, ShellHost& host);

/// "&Help" with "&About Velmora...", which opens the About dialog over frame.
void addHelpMenu(QMenuBar* bar, QWidget* frame);

/// "Set Contraction Chart For Experiment": with a model, the ventricles' chart becomes the
/// experiment's step (0, 0), (0.25, 0), (0.5, 1), (0.75, 1), the atria's the flat (0, 0), and the
/// contraction tables are rebuilt; the standard dialog shows the new chart. False without a model.
bool setExperimentContractionChart(ShellHost& host);
