// DisplaySwitches: what a picture shows besides the heart's surface, named as the window's keys
// and menu entries switch it.
#pragma once

#include <string>

class MainWindowManager;
struct StdScenePlan;

/// The standard mode's display switches (keys 3 to 0), the frame cube (Rendering menu) and the
/// contraction charts in the view's corner. Plain data.
struct DisplaySwitches {
    bool mesh = false;              ///< "mesh": key 3
    bool vertices = false;          ///< "vertices": key 4, one sphere per vertex coloured by contraction
    bool walls = false;             ///< "walls": key 5, the closed chamber walls
    bool fibresAtria = false;       ///< "fibres-atria": key 6
    bool fibresVentricles = false;  ///< "fibres-ventricles": key 7
    bool held = false;              ///< "held": key 8, held vertices and the per-vertex frames
    bool fibresSecond = false;      ///< "fibres-second": key 9, lines along the frames' second axis
    bool fibresThird = false;       ///< "fibres-third": key 0, lines along the third axis
    bool frames = true;             ///< "frames": the yellow frame cube
    bool charts = true;             ///< "charts": the contraction charts with the playback cursor

    /// What the window shows after loading the controller's model: its switches (a model may turn
    /// some on as it loads), the frame cube and the charts.
    static DisplaySwitches ofWindowStart(const MainWindowManager& manager);
    /// All off: the heart's surface alone.
    static DisplaySwitches none();

    bool operator==(const DisplaySwitches& other) const;
};

/// Parses a comma-separated list of switch names (mesh, vertices, walls, fibres-atria,
/// fibres-ventricles, held, fibres-second, fibres-third, frames, charts; or "none"): exactly the
/// named ones are on. Spaces around names are ignored. False, with one line in error naming the
/// unknown or empty entry and the known names, otherwise; out is unchanged then.
bool parseDisplaySwitches(const std::string& list, DisplaySwitches& out, std::string& error);
/// The names of the switches that are on, comma-separated in the order above ("none" when all off).
std::string displaySwitchList(const DisplaySwitches& show);
/// The known names, comma-separated.
std::string knownDisplaySwitchNames();

/// The standard mode's plan for the switches at surface opacity alpha.
StdScenePlan planForSwitches(const DisplaySwitches& show, double alpha);
