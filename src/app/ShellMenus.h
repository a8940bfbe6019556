// ShellMenus: the main window's View and Help menus and the experiment and export commands.
#pragma once

#include <QString>

class Commands;
class QMenu;
class QMenuBar;

/// The menu with this title (as shown, with its '&'), made at the end of the bar when there is
/// none yet.
QMenu* menuWithTitle(QMenuBar* bar, const QString& title);

/// "&View" with the framework's "&Toolbar" and "&Status Bar" entries, shown disabled: the main
/// window has neither bar.
void addViewMenu(QMenuBar* bar);

/// Appends "Set Contraction Chart For Experiment", "StartExportAnimation" and
/// "StartExportWallThickness" to menu (after a separator when it has entries already).
void addExperimentCommands(QMenu* menu, Commands& commands);

/// "Export movie..." in the "&File" menu, after "Export fields" (at the end without it); the bar's
/// window is the shell that asks for the file. Nothing when the bar's window is no command shell.
void addMovieExport(QMenuBar* bar, Commands& commands);

/// "&Help" with "&About Velmora...", which opens the About dialog over the main window; first adds
/// the movie export to the File menu (addMovieExport), which is complete when the Help menu comes.
void addHelpMenu(QMenuBar* bar, Commands& commands);
