// BeatMovie: the beat recorded as a movie without a window (the heart drawn offscreen, the volume
// and strain plots beside it), shared by velmora-cli movie and the Python module.
#pragma once

#include <functional>
#include <string>

#include "offscreen/DisplaySwitches.h"

class MainWindowManager;
class MovieEncoder;
class OffscreenRenderer;

/// One beat cycle of the controller's model in ticks: ceil(cycle length / time step), at least 1.
int cycleTicks(const MainWindowManager& controller);

/// Width of the plot panel in a movie width pixels wide: three tenths, even, so that the heart's
/// part keeps the movie's parity. A movie with plots needs a panel of at least kMinPlotPanelWidth.
int plotPanelWidth(int width);
constexpr int kMinPlotPanelWidth = 16;

/// Points the renderer's camera by name: "home" (the window's start camera, which a new renderer
/// has) or "fit" (the window's "Fit heart in view"). False, with one line in error, for another name
/// ("'NAME' is neither home nor fit") or a model without a finite extent to fit.
bool pointCameraByName(OffscreenRenderer& renderer, const std::string& camera, const MainWindowManager& manager,
                       std::string& error);

/// What recordBeatMovie records.
struct BeatMoviePlan {
    int frames = 1;  ///< frames to add, at least 1
    int every = 1;   ///< ticks per frame, at least 1
    DisplaySwitches show;
    /// The volume plot beside the heart, and below it the strain plot when the model's deformation
    /// indices can be measured (its left-ventricular wall painted).
    bool plot = false;
};

/// What a recording did.
struct BeatMovieReport {
    int frames = 0;           ///< frames added
    bool strainPlot = false;  ///< the strain plot was drawn
    bool stopped = false;     ///< afterFrame asked to stop
};

/// Runs frames x every ticks of the controller's model from its current state (its main loop
/// started) and adds one frame to encoder after every `every` ticks: the standard scene drawn by
/// heart (its camera pointed already; as wide as the movie less plotPanelWidth when plan.plot,
/// else as wide as the movie; as high as it) at the start surface opacity, with the plots in the
/// columns on the right when plan.plot. afterFrame(frames added so far) is called after each frame;
/// a false from it ends the recording (report.stopped, the movie left unfinished). Does not finish
/// the encoder. False with one line in error when drawing or encoding fails or the sizes do not
/// agree; report says how far it got.
bool recordBeatMovie(MainWindowManager& controller, OffscreenRenderer& heart, MovieEncoder& encoder,
                     const BeatMoviePlan& plan, const std::function<bool(int)>& afterFrame, BeatMovieReport& report,
                     std::string& error);
