// velmora-cli render: one picture of a model as the window draws it, without a window.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "CliCommon.h"
#include "CliPictures.h"
#include "linalg/Diagnostics.h"
#include "media/AtomicFile.h"
#include "media/PngFile.h"
#include "model/MainWindowManager.h"
#include "offscreen/OffscreenRenderer.h"

namespace {

bool endsWithPng(const std::string& path) {
    if (path.size() < 5) return false;
    std::string ext = path.substr(path.size() - 4);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".png";
}

int refuse(const std::string& message) {
    std::fprintf(stderr, "velmora-cli render: %s\n", message.c_str());
    return 1;
}

}  // namespace

int runRender(const std::vector<std::string>& args) {
    CliArgs cli;
    const char* usage =
        "usage: velmora-cli render BASE OUT.png [--tick N] [--size WxH] [--show LIST] [--camera home|fit] [--quiet]\n";
    if (!parseCliArgs(args, {"tick", "size", "show", "camera"}, {"quiet"}, cli) || cli.positional.size() != 2) {
        std::fputs(usage, stderr);
        return 2;
    }
    const std::string out = cli.positional[1];
    int tick = 0;
    if (cli.has("tick")) {
        const std::string text = cli.value("tick");
        char* end = nullptr;
        const long value = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || value < 0 || value > 100000000)
            return refuse("--tick '" + text + "' is not a tick count (0 or more)");
        tick = static_cast<int>(value);
    }
    int width = 1024, height = 768;
    std::string error;
    if (cli.has("size") && !parsePictureSize(cli.value("size"), 1, width, height, error)) return refuse(error);
    DisplaySwitches show;
    if (cli.has("show") && !parseDisplaySwitches(cli.value("show"), show, error)) return refuse("--show: " + error);
    const std::string camera = cli.value("camera", "home");
    if (camera != "home" && camera != "fit") return refuse("--camera '" + camera + "' is neither home nor fit");
    if (!endsWithPng(out)) return refuse("'" + out + "' does not end in .png");
    // A path that cannot be written is refused before the simulation, not after it.
    if (!AtomicFile::create(out, error)) return refuse(error);
    if (cli.has("quiet")) setDiagQuiet(true);

    MainWindowManager controller(nullptr, "");
    if (!loadForPictures(controller, basePathOf(cli.positional[0]))) return 1;
    if (!cli.has("show")) show = DisplaySwitches::ofWindowStart(controller);
    for (int t = 0; t < tick; ++t) controller.onTimer();

    std::unique_ptr<OffscreenRenderer> renderer = OffscreenRenderer::createHeadless(width, height, error);
    if (!renderer) return refuse(error);
    if (!pointPictureCamera(*renderer, camera, controller, error)) return refuse(error);
    RgbImage image;
    if (!renderer->renderStandardScene(*controller.model(), show, kStartSurfaceAlpha, controller.m_time, image, error))
        return refuse(error);
    if (!writePng(out, image, error)) return refuse(error);
    if (!cli.has("quiet"))
        std::printf("render: %s, %dx%d, tick %d, showing %s\n", out.c_str(), width, height, tick,
                    displaySwitchList(show).c_str());
    return 0;
}
