// PyPictures: pictures and movies of a model through the offscreen renderer, the way velmora-cli
// render and movie make them.
#include "PyPictures.h"

#include <dlfcn.h>
#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cstring>
#include <fstream>
#include <memory>

#include "ModelScope.h"
#include "media/AtomicFile.h"
#include "media/MovieEncoder.h"
#include "offscreen/BeatMovie.h"
#include "offscreen/OffscreenRenderer.h"
#include "render/HeartRenderer.h"

namespace py = pybind11;
using namespace pyscope;

namespace {

constexpr int kMaxPictureSide = 8192;
constexpr long long kMaxTicks = 100000000;

/// The folder of this module's shared object, ending in '/' ("" when it cannot be told).
std::string moduleDirectory() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&moduleDirectory), &info) || !info.dli_fname) return "";
    const std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
}

/// The interpreter is not our program, so the heart shader is not beside it: it is taken from the
/// package's folder. Raises RuntimeError when it is not there (the heart would be drawn without it,
/// unlike the window's).
void useThePackagesShader() {
    std::string& path = HeartRenderer::instance().m_shaderPath;
    if (!path.empty()) return;
    const std::string candidate = moduleDirectory() + kHeartShaderFileName;
    if (!std::ifstream(candidate).good())
        throw std::runtime_error("the heart shader " + candidate + " is missing beside the velmora module");
    path = candidate;
}

int sideOf(const py::handle& value, const char* what) {
    if (!py::isinstance<py::int_>(value) || py::isinstance<py::bool_>(value))
        throw py::type_error(std::string(what) + ": expected (width, height) integers");
    const long long side = value.cast<long long>();
    if (side < 1 || side > kMaxPictureSide)
        throw py::value_error(std::string(what) + ": width and height must be from 1 to 8192 pixels, got " +
                              std::to_string(side));
    return static_cast<int>(side);
}

void pictureSize(const py::object& size, int& width, int& height) {
    if (!py::isinstance<py::sequence>(size) || py::isinstance<py::str>(size) || py::len(size) != 2)
        throw py::type_error("size: expected (width, height)");
    py::sequence s = size.cast<py::sequence>();
    width = sideOf(s[0], "size");
    height = sideOf(s[1], "size");
}

/// show=() (or None): the window's start switches; otherwise the names (a sequence or one
/// comma-separated string) of exactly the switches to turn on, "none" for the heart alone.
bool displaySwitchesOf(const py::object& show, DisplaySwitches& out) {
    if (show.is_none()) return false;
    std::string list;
    if (py::isinstance<py::str>(show)) {
        list = show.cast<std::string>();
    } else {
        if (!py::isinstance<py::sequence>(show)) throw py::type_error("show: expected a sequence of switch names");
        for (const py::handle& name : show.cast<py::sequence>()) {
            if (!py::isinstance<py::str>(name)) throw py::type_error("show: expected switch names (strings)");
            list += (list.empty() ? "" : ",") + name.cast<std::string>();
        }
        if (py::len(show) == 0) return false;
    }
    std::string error;
    if (!parseDisplaySwitches(list, out, error)) throw py::value_error("show: " + error);
    return true;
}

void checkCamera(const std::string& camera) {
    if (camera != "home" && camera != "fit") throw py::value_error("camera: '" + camera + "' is neither home nor fit");
}

int countArgument(const py::object& value, const char* what, long long low, long long high) {
    if (!py::isinstance<py::int_>(value) || py::isinstance<py::bool_>(value))
        throw py::type_error(std::string(what) + ": expected an integer");
    const long long v = value.cast<long long>();
    if (v < low || v > high)
        throw py::value_error(std::string(what) + ": " + std::to_string(v) + " is not within " + std::to_string(low) +
                              ".." + std::to_string(high));
    return static_cast<int>(v);
}

/// Whether the run may go on: asked between ticks and frames. On the main thread Ctrl+C reaches
/// Python's handler only while it holds the lock, so the lock is taken to look.
std::function<bool()> keepGoingCheck() {
    py::module_ threading = py::module_::import("threading");
    const bool mainThread = threading.attr("current_thread")().is(threading.attr("main_thread")());
    return [mainThread] {
        if (!mainThread) return true;
        py::gil_scoped_acquire gil;
        return PyErr_CheckSignals() == 0;
    };
}

/// Ends the ticks a picture or a movie drove, also when it fails.
struct TicksDriven {
    explicit TicksDriven(PyModel& model, bool reset) : m_model(model) { m_model.startTicks(reset); }
    ~TicksDriven() { m_model.stopTicks(); }
    TicksDriven(const TicksDriven&) = delete;
    TicksDriven& operator=(const TicksDriven&) = delete;
    PyModel& m_model;
};

py::array_t<std::uint8_t> imageArray(const RgbImage& image) {
    py::array_t<std::uint8_t> out(
        {static_cast<py::ssize_t>(image.height), static_cast<py::ssize_t>(image.width), py::ssize_t(3)});
    std::memcpy(out.mutable_data(), image.pixels.data(), image.pixels.size());
    return out;
}

py::array_t<std::uint8_t> render(PyModel& self, const py::object& size, const py::object& tickArg,
                                 const py::object& show, const std::string& camera) {
    checkIdle(self);
    int width = 0, height = 0;
    pictureSize(size, width, height);
    const bool ticked = !tickArg.is_none();
    const int ticks = ticked ? countArgument(tickArg, "tick", 0, kMaxTicks) : 0;
    DisplaySwitches switches;
    const bool chosen = displaySwitchesOf(show, switches);
    checkCamera(camera);
    const std::function<bool()> keepGoing = keepGoingCheck();

    RgbImage image;
    std::string error;
    bool interrupted = false;
    {
        ModelScope scope(self, ModelScope::Core::Take, ticked ? PyModel::Use::Run : PyModel::Use::Call);
        useThePackagesShader();
        MainWindowManager& controller = self.controller();
        if (ticked) {
            // As velmora-cli render --tick: from rest at time 0.
            TicksDriven driven(self, true);
            for (int t = 0; t < ticks && !interrupted; ++t) {
                controller.onTimer();
                interrupted = !keepGoing();
            }
        }
        if (!interrupted) {
            if (!chosen) switches = DisplaySwitches::ofWindowStart(controller);
            std::unique_ptr<OffscreenRenderer> renderer = OffscreenRenderer::createHeadless(width, height, error);
            if (renderer && pointCameraByName(*renderer, camera, controller, error))
                renderer->renderStandardScene(self.model(), switches, kStartSurfaceAlpha, controller.m_time, image,
                                              error);
        }
    }
    if (interrupted) throw py::error_already_set();
    if (image.empty()) throw std::runtime_error("render: " + error);
    return imageArray(image);
}

std::string movie(PyModel& self, const py::object& pathArg, const py::object& ticksArg, const py::object& everyArg,
                  const py::object& fpsArg, const py::object& size, const py::object& show, bool plot,
                  const std::string& camera, const py::object& progress) {
    checkIdle(self);
    const std::string path = py::module_::import("os").attr("fspath")(pathArg).cast<std::string>();
    MovieSettings settings;
    if (!movieFormatOfPath(path, settings.format))
        throw py::value_error("path: '" + path + "' does not end in .mp4, .webm or .gif");
    std::string error;
    if (!movieEncoderAvailable(settings.format, error)) throw std::runtime_error("movie: " + error);
    int ticks = ticksArg.is_none() ? 0 : countArgument(ticksArg, "ticks", 1, 10000000);
    const int every = countArgument(everyArg, "every", 1, 10000000);
    settings.fps = countArgument(fpsArg, "fps", 1, 120);
    pictureSize(size, settings.width, settings.height);
    if (!checkMovieSize(settings.format, settings.width, settings.height, error))
        throw py::value_error("size: " + error);
    const int panelWidth = plot ? plotPanelWidth(settings.width) : 0;
    if (plot && panelWidth < kMinPlotPanelWidth) throw py::value_error("plot: needs a movie at least 54 pixels wide");
    DisplaySwitches switches;
    const bool chosen = displaySwitchesOf(show, switches);
    checkCamera(camera);
    if (!progress.is_none() && !PyCallable_Check(progress.ptr()))
        throw py::type_error("progress: expected a callable progress(frames_done, frames) or None");
    // A path that cannot be written is refused before the simulation, not after it.
    if (!AtomicFile::create(path, error)) throw py::value_error("path: " + error);
    const std::function<bool()> keepGoing = keepGoingCheck();

    BeatMovieReport report;
    bool recorded = false, finished = false, badTicks = false;
    int frames = 0;
    {
        ModelScope scope(self, ModelScope::Core::Take, PyModel::Use::Run);
        useThePackagesShader();
        MainWindowManager& controller = self.controller();
        // As velmora-cli movie: from rest at time 0, one cycle unless told otherwise.
        TicksDriven driven(self, true);
        if (!chosen) switches = DisplaySwitches::ofWindowStart(controller);
        if (ticks == 0) ticks = cycleTicks(controller);
        frames = ticks / every;
        badTicks = frames < 1;
        std::unique_ptr<MovieEncoder> encoder;
        std::unique_ptr<OffscreenRenderer> renderer;
        if (!badTicks) encoder = MovieEncoder::open(path, settings, error);
        if (encoder) renderer = OffscreenRenderer::createHeadless(settings.width - panelWidth, settings.height, error);
        if (renderer && pointCameraByName(*renderer, camera, controller, error)) {
            BeatMoviePlan plan;
            plan.frames = frames;
            plan.every = every;
            plan.show = switches;
            plan.plot = plot;
            recorded = recordBeatMovie(
                controller, *renderer, *encoder, plan,
                [&](int done) {
                    if (!progress.is_none()) {
                        py::gil_scoped_acquire gil;
                        try {
                            progress(done, frames);
                        } catch (py::error_already_set& e) {
                            // Raised once the movie is dropped, as Ctrl+C is.
                            e.restore();
                            return false;
                        }
                    }
                    return keepGoing();
                },
                report, error);
            // A stopped movie is dropped unfinished: nothing is left at the path.
            if (recorded && !report.stopped) finished = encoder->finish(error);
        }
    }
    if (report.stopped) throw py::error_already_set();
    if (badTicks)
        throw py::value_error("ticks: " + std::to_string(ticks) + " gives no frame at every=" + std::to_string(every));
    if (!finished) throw std::runtime_error("movie: " + error);
    return path;
}

}  // namespace

void bindPictures(py::class_<PyModel>& model) {
    model
        .def("render", &render, py::arg("size") = py::make_tuple(640, 480), py::arg("tick") = py::none(),
             py::arg("show") = py::tuple(), py::arg("camera") = "home",
             R"doc(A picture of the model as the window draws it, made without any window or X server.

Returns an (H, W, 3) uint8 array (rows from the top, RGB) of size=(width, height), each from 1 to
8192. tick: None draws the current state (after the last simulate(), or the rest state); a number
puts the heart back at rest at time 0 and simulates that many ticks first, as `velmora-cli render
--tick` does. show: () for the window's start switches, or the names of exactly the switches to
show ("mesh", "vertices", "walls", "fibres-atria", "fibres-ventricles", "held", "fibres-second",
"fibres-third", "frames", "charts"; "none" for the heart alone), as a sequence or one comma-separated
string. camera: "home" (the window's start camera) or "fit" (its "Fit heart in view"). The same
state, size, switches and camera give the same pixels. Raises ValueError for a bad argument and
RuntimeError when no offscreen OpenGL context can be made. The interpreter lock is released while
it draws; Ctrl+C stops the ticks and raises KeyboardInterrupt.)doc")
        .def("movie", &movie, py::arg("path"), py::arg("ticks") = py::none(), py::arg("every") = 1, py::arg("fps") = 30,
             py::arg("size") = py::make_tuple(640, 480), py::arg("show") = py::tuple(), py::arg("plot") = false,
             py::arg("camera") = "home", py::arg("progress") = py::none(),
             R"doc(Records the beat as a movie, as `velmora-cli movie` does; returns path.

The heart is put back at rest at time 0, then one frame is drawn after every `every` ticks of
`ticks` (None: one cycle): ticks // every frames. The format follows path's extension: .mp4 (H.264,
yuv420p), .webm (VP9) or .gif (one palette made for the movie); MP4 and WebM need an even width and
height. plot=True puts the chamber volume plot beside the heart (three tenths of the width) and,
when the left ventricle can be measured, the strain plot (longitudinal, circumferential, radial
strain and twist) below it. size, show and camera as for render(). progress: None or a callable
progress(frames_done, frames) called after every frame (it must not call into velmora); an
exception from it stops the movie and is raised. The file appears only when complete (written beside it, then renamed): a failure or
Ctrl+C leaves nothing at path. Raises ValueError for a bad argument or a path that cannot be
written, RuntimeError when drawing or encoding fails. The interpreter lock is released while it
runs; the model holds the last tick's state afterwards.)doc");
}
