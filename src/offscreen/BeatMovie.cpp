// BeatMovie: the recording loop: ticks, the heart's picture, the plot panels and the encoder.
#include "offscreen/BeatMovie.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "media/MovieEncoder.h"
#include "media/StrainTracePanel.h"
#include "media/VolumeTracePanel.h"
#include "model/BeatMeasurements.h"
#include "model/MainWindowManager.h"
#include "model/TLSMModel.h"
#include "offscreen/OffscreenRenderer.h"

int cycleTicks(const MainWindowManager& controller) {
    const TLSMModel* model = controller.model();
    if (!model || !model->m_excitation) return 1;
    return std::max(1, static_cast<int>(std::ceil(model->m_excitation->m_cycleLength / controller.m_dt - 1e-9)));
}

int plotPanelWidth(int width) { return (width * 3 / 10) & ~1; }

bool pointCameraByName(OffscreenRenderer& renderer, const std::string& camera, const MainWindowManager& manager,
                       std::string& error) {
    if (camera == "home") return true;  // the view starts at its home camera
    if (camera == "fit") {
        if (fitCameraToModel(renderer.view(), manager)) return true;
        error = "the model has no finite extent to fit";
        return false;
    }
    error = "'" + camera + "' is neither home nor fit";
    return false;
}

bool recordBeatMovie(MainWindowManager& controller, OffscreenRenderer& heart, MovieEncoder& encoder,
                     const BeatMoviePlan& plan, const std::function<bool(int)>& afterFrame, BeatMovieReport& report,
                     std::string& error) {
    report = BeatMovieReport();
    TLSMModel* model = controller.model();
    if (!model) {
        error = "no model to record";
        return false;
    }
    const int width = encoder.settings().width, height = encoder.settings().height;
    const int panelWidth = plan.plot ? plotPanelWidth(width) : 0;
    const int heartWidth = width - panelWidth;
    if (heart.width() != heartWidth || heart.height() != height || (plan.plot && panelWidth < kMinPlotPanelWidth)) {
        error = "the heart's picture (" + std::to_string(heart.width()) + "x" + std::to_string(heart.height()) +
                ") does not fit a movie of " + std::to_string(width) + "x" + std::to_string(height) +
                (plan.plot ? " with the plots" : "");
        return false;
    }

    // The measurements are set up from the rest state and the walls as they are now: the strain
    // plot only when the indices can be measured on this model.
    std::unique_ptr<BeatMeasurements> measurements;
    if (plan.plot) measurements = std::make_unique<BeatMeasurements>(*model);
    report.strainPlot = measurements && measurements->deformationIndices().ready();
    const int plannedTicks = plan.frames * plan.every;
    VolumeTracePanel volumes(plannedTicks);
    StrainTracePanel strains(plannedTicks);
    const int volumeHeight = report.strainPlot ? height / 2 : height;

    RgbImage picture, frame;
    frame.resize(width, height);
    for (int f = 1; f <= plan.frames; ++f) {
        for (int k = 0; k < plan.every; ++k) {
            controller.onTimer();
            if (!measurements) continue;
            volumes.addTick(measurements->addTick(*model));
            if (report.strainPlot) {
                const DeformationIndexValues& v = measurements->lastIndices();
                strains.addTick({v.longitudinal, v.circumferential, v.radial, v.twist});
            }
        }
        if (!heart.renderStandardScene(*model, plan.show, kStartSurfaceAlpha, controller.m_time,
                                       plan.plot ? picture : frame, error))
            return false;
        if (plan.plot) {
            // The heart on the left, the plots in the columns beside it.
            for (int y = 0; y < height; ++y)
                std::memcpy(&frame.pixels[static_cast<size_t>(y) * width * 3],
                            &picture.pixels[static_cast<size_t>(y) * heartWidth * 3],
                            static_cast<size_t>(heartWidth) * 3);
            volumes.paint(frame, heartWidth, panelWidth, 0, volumeHeight);
            if (report.strainPlot) strains.paint(frame, heartWidth, panelWidth, volumeHeight, height - volumeHeight);
        }
        if (!encoder.addFrame(frame, error)) return false;
        report.frames = f;
        if (!afterFrame(f)) {
            report.stopped = true;
            return true;
        }
    }
    return true;
}
