// MovieEncoder: a movie from RGB frames through FFmpeg's libraries: H.264 in MP4, VP9 in WebM, or
// a GIF with a palette made for the movie.
#pragma once

#include <memory>
#include <string>

#include "media/RgbImage.h"

/// The container and codec of a movie, chosen by the file name's extension.
enum class MovieFormat {
    Mp4,   ///< H.264 (libx264), yuv420p, moov atom first so it plays while it downloads
    WebM,  ///< VP9 (libvpx-vp9), yuv420p
    Gif    ///< GIF, one 256-colour palette for the whole movie
};

/// The format of a path by its lower-cased extension (.mp4, .webm, .gif); false for any other.
bool movieFormatOfPath(const std::string& path, MovieFormat& format);
const char* movieFormatName(MovieFormat format);

/// Whether this machine's libavcodec has the encoder of the format; false with the reason (for
/// example "the H.264 encoder libx264 is not in this FFmpeg build").
bool movieEncoderAvailable(MovieFormat format, std::string& reason);

/// Whether a movie of width x height pixels can be encoded: both from 2 to 8192, and even for MP4 and
/// WebM (their 4:2:0 chroma halves each side). False with a one-line reason.
bool checkMovieSize(MovieFormat format, int width, int height, std::string& error);

/// What a movie is made of.
struct MovieSettings {
    MovieFormat format = MovieFormat::Mp4;
    int width = 0;
    int height = 0;
    int fps = 30;  ///< frames per second, 1 to 120
};

/// Writes one movie. open() checks everything it can before the first frame (format, encoder,
/// size, frame rate, the destination's folder); addFrame() encodes (MP4, WebM) or counts and
/// spools (GIF: the palette needs every frame first); finish() drains the encoder, writes the
/// trailer and renames the finished file into place. An encoder dropped before finish() (an error,
/// a cancel) leaves no file at the path and nothing beside it. Owns every FFmpeg object it
/// creates. One thread at a time.
class MovieEncoder {
   public:
    /// A ready encoder, or nullptr with one line in error.
    static std::unique_ptr<MovieEncoder> open(const std::string& path, const MovieSettings& settings,
                                              std::string& error);
    ~MovieEncoder();
    MovieEncoder(const MovieEncoder&) = delete;
    MovieEncoder& operator=(const MovieEncoder&) = delete;

    /// Adds the next frame (top-down RGB of the settings' size). False, with the reason, when the
    /// size differs or the encoder or the disk fails; the movie cannot be finished after that.
    bool addFrame(const RgbImage& frame, std::string& error);
    /// Completes the movie (at least one frame must have been added). False with the reason;
    /// nothing is left at the path then.
    bool finish(std::string& error);

    int framesAdded() const;
    const MovieSettings& settings() const;

   private:
    struct Impl;
    explicit MovieEncoder(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m;
};
