// velmora-cli movie: the beat as an MP4, WebM or GIF movie, drawn as the window draws it, without a
// window.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "CliCommon.h"
#include "CliPictures.h"
#include "linalg/Diagnostics.h"
#include "media/AtomicFile.h"
#include "media/MovieEncoder.h"
#include "model/MainWindowManager.h"
#include "offscreen/BeatMovie.h"
#include "offscreen/OffscreenRenderer.h"

namespace {

int refuse(const std::string& message) {
    std::fprintf(stderr, "velmora-cli movie: %s\n", message.c_str());
    return 1;
}

bool parseCount(const std::string& text, int low, int high, int& value) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < low || v > high) return false;
    value = static_cast<int>(v);
    return true;
}

}  // namespace

int runMovie(const std::vector<std::string>& args) {
    CliArgs cli;
    const char* usage =
        "usage: velmora-cli movie BASE OUT.mp4|OUT.webm|OUT.gif [--ticks N] [--every K] [--fps F] [--size WxH]\n"
        "                         [--show LIST] [--camera home|fit] [--plot] [--quiet]\n";
    if (!parseCliArgs(args, {"ticks", "every", "fps", "size", "show", "camera"}, {"plot", "quiet"}, cli) ||
        cli.positional.size() != 2) {
        std::fputs(usage, stderr);
        return 2;
    }
    const std::string out = cli.positional[1];
    MovieSettings settings;
    if (!movieFormatOfPath(out, settings.format)) return refuse("'" + out + "' does not end in .mp4, .webm or .gif");
    std::string error;
    if (!movieEncoderAvailable(settings.format, error)) return refuse(error);
    int ticks = 0, every = 1;
    if (cli.has("ticks") && !parseCount(cli.value("ticks"), 1, 10000000, ticks))
        return refuse("--ticks '" + cli.value("ticks") + "' is not a positive tick count");
    if (cli.has("every") && !parseCount(cli.value("every"), 1, 10000000, every))
        return refuse("--every '" + cli.value("every") + "' is not a positive tick count");
    if (cli.has("fps") && !parseCount(cli.value("fps"), 1, 120, settings.fps))
        return refuse("--fps '" + cli.value("fps") + "' is not a frame rate from 1 to 120");
    settings.width = 1024;
    settings.height = 768;
    if (cli.has("size") && !parsePictureSize(cli.value("size"), 2, settings.width, settings.height, error))
        return refuse(error);
    if (!checkMovieSize(settings.format, settings.width, settings.height, error)) return refuse("--size: " + error);
    const bool plot = cli.has("plot");
    const int panelWidth = plot ? plotPanelWidth(settings.width) : 0;
    const int heartWidth = settings.width - panelWidth;
    if (plot && panelWidth < kMinPlotPanelWidth) return refuse("--plot needs a movie at least 54 pixels wide");
    DisplaySwitches show;
    if (cli.has("show") && !parseDisplaySwitches(cli.value("show"), show, error)) return refuse("--show: " + error);
    const std::string camera = cli.value("camera", "home");
    if (camera != "home" && camera != "fit") return refuse("--camera '" + camera + "' is neither home nor fit");
    // A path that cannot be written is refused before the simulation, not after it.
    if (!AtomicFile::create(out, error)) return refuse(error);
    const bool quiet = cli.has("quiet");
    if (quiet) setDiagQuiet(true);

    MainWindowManager controller(nullptr, "");
    if (!loadForPictures(controller, basePathOf(cli.positional[0]))) return 1;
    if (!cli.has("show")) show = DisplaySwitches::ofWindowStart(controller);
    if (ticks == 0) ticks = cycleTicks(controller);
    const int frames = ticks / every;
    if (frames < 1)
        return refuse("--ticks " + std::to_string(ticks) + " gives no frame at --every " + std::to_string(every));

    std::unique_ptr<MovieEncoder> encoder = MovieEncoder::open(out, settings, error);
    if (!encoder) return refuse(error);
    std::unique_ptr<OffscreenRenderer> renderer = OffscreenRenderer::createHeadless(heartWidth, settings.height, error);
    if (!renderer) return refuse(error);
    if (!pointPictureCamera(*renderer, camera, controller, error)) return refuse(error);

    TerminalProgress progress(frames, quiet);
    // While the bar is on the terminal the loop's console lines wait, so that they do not break it.
    auto held = progress.shown() ? std::make_unique<DiagCapture>() : nullptr;
    auto showHeldLines = [&held, &progress] {
        progress.finish();
        if (!held) return;
        const std::string text = withoutTickCounters(held->text());
        held.reset();
        if (!text.empty()) diagPrintf("%s", text.c_str());
    };
    progress.update(0);
    BeatMoviePlan plan;
    plan.frames = frames;
    plan.every = every;
    plan.show = show;
    plan.plot = plot;
    BeatMovieReport report;
    const bool recorded = recordBeatMovie(
        controller, *renderer, *encoder, plan,
        [&progress](int done) {
            progress.update(done);
            return true;
        },
        report, error);
    if (!recorded) {
        showHeldLines();
        return refuse(error);
    }
    showHeldLines();
    if (!encoder->finish(error)) return refuse(error);
    if (!quiet)
        std::printf("movie: %s, %s, %dx%d, %d frames at %d fps (%d ticks, every %d), showing %s%s\n", out.c_str(),
                    movieFormatName(settings.format), settings.width, settings.height, frames, settings.fps,
                    frames * every, every, displaySwitchList(show).c_str(),
                    !plot               ? ""
                    : report.strainPlot ? ", with the volume and strain plots"
                                        : ", with the volume plot");
    return 0;
}
