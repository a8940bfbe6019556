// Shared pieces of velmora-cli's picture commands (render, movie): sizes, the camera, the model
// brought to a tick, and the terminal's progress bar.
#pragma once

#include <cstdio>
#include <string>

#include "offscreen/BeatMovie.h"

class MainWindowManager;
class OffscreenRenderer;

/// Parses "WxH" (also "WXH") with both sides from minSide to 8192. False with one line in error.
bool parsePictureSize(const std::string& text, int minSide, int& width, int& height, std::string& error);

/// Points the renderer's camera: "home" (the window's start camera) or "fit" (the window's "Fit
/// heart in view"), as pointCameraByName with the option named in the message. False with one line
/// in error for any other name.
bool pointPictureCamera(OffscreenRenderer& renderer, const std::string& camera, const MainWindowManager& manager,
                        std::string& error);

/// Loads base into controller as the application does and starts its main loop at time 0 (the
/// ticks are then run with onTimer). False, with the message printed, when it cannot be loaded.
bool loadForPictures(MainWindowManager& controller, const std::string& base);

/// text without the main loop's per-tick counters ("M= " and a number), which a progress bar
/// replaces on a terminal.
std::string withoutTickCounters(const std::string& text);

/// "[#####.....] 42/100 frames" on standard error, redrawn in place; only on a terminal and when
/// not silenced. finish() ends the line.
class TerminalProgress {
   public:
    TerminalProgress(int total, bool quiet);
    void update(int done);
    void finish();
    bool shown() const { return m_enabled; }

   private:
    int m_total;
    bool m_enabled;
    int m_lastShown = -1;
};
