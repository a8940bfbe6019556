// MovieExport: "File -> Export movie...": the beat recorded from the view's camera and display
// switches into an MP4, WebM or GIF movie, frame by frame in the view's own context.
#pragma once

#include <functional>
#include <string>

class CommandShell;
class Commands;
class GLContextHost;
class MainWindowManager;
class QWidget;
class TCore;

/// What to record.
struct MovieRecording {
    std::string path;  ///< ending in .mp4, .webm or .gif
    int ticks = 0;     ///< ticks of the beat to record, at least 1
    int every = 1;     ///< a frame after every this many ticks
    int fps = 30;
    int width = 0;  ///< picture size in pixels (even for MP4 and WebM)
    int height = 0;
};

/// File filter of the movie chooser, in the choosers' "Description (*.a)|*.a||" form.
extern const char* const kMovieFileFilter;

/// The path a movie is written to: the chosen name, with ".mp4" appended unless it already ends in
/// .mp4, .webm or .gif (any case).
std::string moviePathWithExtension(const std::string& chosen);

/// Records ticks / every frames: after every `every` ticks of the controller's main loop, the
/// current mode's scene as the view draws it (core's mode, switches, transparency, stereo, and a
/// copy of its camera), at the recording's size, into a framebuffer object of view's context, then
/// into the encoder. The caller holds the shell's own ticks back meanwhile; the beat is started for
/// the recording when it is off and stopped again afterwards. progress(done, total) runs after each
/// frame; when it returns false the recording stops and nothing is written (error "cancelled").
/// False with one line in error on any failure; the movie then does not exist. User-interface
/// thread only.
bool recordMovie(GLContextHost& view, TCore& core, MainWindowManager& controller, const MovieRecording& recording,
                 const std::function<bool(int done, int total)>& progress, std::string& error);

/// The menu entry: asks for the file (through the shell's chooser) and the number of ticks (one beat
/// cycle by default), then records at the view's size (rounded down to even) with a progress dialog
/// whose Cancel stops it; the view keeps drawing the beat while it records. A failure is told to the
/// user. True when a movie was written.
bool exportMovie(Commands& commands, CommandShell& shell, QWidget* parent);
