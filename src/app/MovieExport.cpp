// MovieExport: the recording loop and the menu entry's questions and progress dialog.
#include "app/MovieExport.h"

#include <QApplication>
#include <QInputDialog>
#include <QProgressDialog>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <memory>

#include "app/CVelmoraView.h"
#include "interaction/Commands.h"
#include "interaction/TCore.h"
#include "linalg/Diagnostics.h"
#include "media/MovieEncoder.h"
#include "model/MainWindowManager.h"
#include "model/TLSMModel.h"
#include "offscreen/OffscreenRenderer.h"

const char* const kMovieFileFilter = "Movie (*.mp4;*.webm;*.gif)|*.mp4;*.webm;*.gif||";

std::string moviePathWithExtension(const std::string& chosen) {
    MovieFormat format;
    return movieFormatOfPath(chosen, format) ? chosen : chosen + ".mp4";
}

bool recordMovie(GLContextHost& view, TCore& core, MainWindowManager& controller, const MovieRecording& recording,
                 const std::function<bool(int done, int total)>& progress, std::string& error) {
    if (!controller.model()) {
        error = "no model is loaded";
        return false;
    }
    MovieSettings settings;
    if (!movieFormatOfPath(recording.path, settings.format)) {
        error = "'" + recording.path + "' does not end in .mp4, .webm or .gif";
        return false;
    }
    settings.width = recording.width;
    settings.height = recording.height;
    settings.fps = recording.fps;
    const int every = std::max(1, recording.every);
    const int frames = recording.ticks / every;
    if (frames < 1) {
        error = "no frame to record in " + std::to_string(recording.ticks) + " ticks";
        return false;
    }
    std::unique_ptr<MovieEncoder> encoder = MovieEncoder::open(recording.path, settings, error);
    if (!encoder) return false;
    std::unique_ptr<OffscreenRenderer> renderer =
        OffscreenRenderer::createInContext(view, settings.width, settings.height, error);
    if (!renderer) return false;

    const bool startedHere = !controller.isTimerOn();
    if (startedHere) controller.startTimer();
    TOGL& camera = renderer->view();
    RgbImage frame;
    bool ok = true;
    for (int f = 1; f <= frames && ok; ++f) {
        for (int k = 0; k < every; ++k) controller.onTimer();
        if (!controller.model()) {
            error = "the model went away while recording";
            ok = false;
            break;
        }
        camera.m_eye = core.m_ogl->m_eye;
        camera.m_center = core.m_ogl->m_center;
        camera.m_up = core.m_ogl->m_up;
        // The window's own frame: the current mode draws its scene (both halves in stereo).
        ok = renderer->render(
                 [&core](bool rightHalf) {
                     core.m_bDrawingRightHalf = rightHalf;
                     if (core.m_state) core.m_state->drawScene();
                     core.m_bDrawingRightHalf = false;
                 },
                 core.m_bStereo, frame, error) &&
             encoder->addFrame(frame, error);
        if (ok && progress && !progress(f, frames)) {
            error = "cancelled";
            ok = false;
        }
    }
    renderer.reset();
    if (startedHere) controller.stopTimer();
    return ok && encoder->finish(error);
}

bool exportMovie(Commands& commands, CommandShell& shell, QWidget* parent) {
    MainWindowManager* controller = commands.controller();
    TCore* core = commands.core();
    CVelmoraView* view = CVelmoraView::theView();
    if (!controller || !core || !controller->model() || !view || !view->isReady()) return false;
    shell.holdTicks();
    MovieRecording recording;
    const std::string chosen = shell.chooseFileToSave(kMovieFileFilter);
    if (chosen.empty()) {
        shell.releaseTicks();
        return false;
    }
    recording.path = moviePathWithExtension(chosen);
    const TLSMModel& model = *controller->model();
    const double cycleLength = model.m_excitation ? model.m_excitation->m_cycleLength : 1.0;
    const int cycle = std::max(1, static_cast<int>(std::ceil(cycleLength / controller->m_dt - 1e-9)));
    bool accepted = false;
    recording.ticks = QInputDialog::getInt(parent, QStringLiteral("Export movie"),
                                           QStringLiteral("Ticks to record (one beat cycle: %1):").arg(cycle), cycle, 1,
                                           1000000, 1, &accepted);
    if (!accepted) {
        shell.releaseTicks();
        return false;
    }
    MovieFormat format = MovieFormat::Mp4;
    movieFormatOfPath(recording.path, format);
    const int deviceWidth = static_cast<int>(view->width() * view->devicePixelRatio());
    const int deviceHeight = static_cast<int>(view->height() * view->devicePixelRatio());
    recording.width = format == MovieFormat::Gif ? deviceWidth : deviceWidth & ~1;
    recording.height = format == MovieFormat::Gif ? deviceHeight : deviceHeight & ~1;

    QProgressDialog progress(QStringLiteral("Recording %1...").arg(QString::fromStdString(recording.path)),
                             QStringLiteral("Cancel"), 0, recording.ticks / recording.every, parent);
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setMinimumDuration(0);
    progress.setValue(0);
    std::string error;
    const bool written = recordMovie(
        *view, *core, *controller, recording,
        [&progress](int done, int) {
            progress.setValue(done);
            QApplication::processEvents();
            return !progress.wasCanceled();
        },
        error);
    progress.reset();
    shell.releaseTicks();
    if (written) {
        diagPrintf("exportMovie: wrote %s\n", recording.path.c_str());
    } else if (error != "cancelled") {
        diagPrintf("exportMovie: %s\n", error.c_str());
        shell.tellUser("Export movie failed: " + error);
    }
    return written;
}
