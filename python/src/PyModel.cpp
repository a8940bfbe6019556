// PyModel: loading with the reader's message kept, pending field solves and the run of ticks.
#include "PyModel.h"

#include <omp.h>

#include <sstream>

#include "fields/TSmoothField.h"
#include "fields/TTensorField.h"
#include "linalg/Diagnostics.h"
#include "model/BeatMeasurements.h"

namespace {

bool g_diagnostics = true;

/// The reader's lines without the controller's own start-up banner.
std::string loaderMessage(const std::string& text) {
    std::istringstream in(text);
    std::string line, kept;
    while (std::getline(in, line)) {
        for (const char* banner : {"MainWindowManager constructure Start...", "MainWindowManager constructure Done"}) {
            const size_t at = line.find(banner);
            if (at != std::string::npos) line.erase(at, std::string(banner).size());
        }
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        if (!kept.empty()) kept += "; ";
        kept += line;
    }
    return kept.empty() ? "the mesh files could not be read" : kept;
}

}  // namespace

std::mutex& coreMutex() {
    static std::mutex mutex;
    return mutex;
}

void setDiagnosticsEnabled(bool enabled) {
    g_diagnostics = enabled;
    setDiagQuiet(!enabled);
}

bool diagnosticsEnabled() { return g_diagnostics; }

PyModel::PyModel(const std::string& base, std::string& damagedWarning) : m_base(base) {
    std::string captured;
    // The reader's message is wanted for the exception even when the console is silenced.
    setDiagQuiet(false);
    {
        DiagCapture capture;
        m_controller = std::make_unique<MainWindowManager>(nullptr, "");
        m_controller->loadModel(base);
        captured = capture.text();
    }
    setDiagQuiet(!g_diagnostics);
    if (!m_controller->model()) throw ModelLoadError("cannot load model '" + base + "': " + loaderMessage(captured));
    if (g_diagnostics) diagPrintf("%s", captured.c_str());
    const ProjectLoadResult& project = model().m_projectLoad;
    if (project.status == ProjectLoadResult::Status::Refused)
        throw ModelLoadError("project file '" + base + ".vm' does not match the mesh: " + project.message);
    if (project.status == ProjectLoadResult::Status::Damaged)
        damagedWarning = "project file '" + base + ".vm' is damaged and was read up to: " + project.message +
                         "; save() leaves it as it is unless force=True";
    m_vertexCount = model().vertexCount();
    // A project that names a simulation lattice gets it (from its cache when the mesh is the same).
    std::string latticeReason;
    if (!model().ensureSimulationLattice(&latticeReason)) {
        if (!damagedWarning.empty()) damagedWarning += "; ";
        damagedWarning += "the project's simulation lattice of " + std::to_string(model().simulationLatticeTarget()) +
                          " vertices cannot be made (" + latticeReason + "); the model is simulated at full resolution";
    }
}

bool PyModel::acquire(Use use) {
    std::unique_lock<std::mutex> lock(m_useMutex);
    if (m_running) return false;
    if (use == Use::Run) m_running = true;
    m_useEnded.wait(lock, [this] { return !m_inUse; });
    // A run may have claimed the model while this call waited for the one before it.
    if (use == Use::Call && m_running) return false;
    m_inUse = true;
    return true;
}

void PyModel::release(Use use) {
    {
        std::lock_guard<std::mutex> lock(m_useMutex);
        m_inUse = false;
        if (use == Use::Run) m_running = false;
    }
    m_useEnded.notify_all();
}

void PyModel::markPending(AuthoredField field) {
    switch (field) {
        case AuthoredField::Phase:
            m_phasePending = true;
            break;
        case AuthoredField::Amplitude:
            m_amplitudePending = true;
            break;
        case AuthoredField::Depth:
            m_depthPending = true;
            break;
    }
}

void PyModel::clearPending(AuthoredField field) {
    switch (field) {
        case AuthoredField::Phase:
            m_phasePending = false;
            break;
        case AuthoredField::Amplitude:
            m_amplitudePending = false;
            break;
        case AuthoredField::Depth:
            m_depthPending = false;
            break;
    }
}

bool PyModel::updateFields(bool everything) {
    TLSMModel& m = model();
    const bool phase = everything || m_phasePending;
    const bool amplitude = everything || m_amplitudePending;
    const bool depth = everything || m_depthPending;
    const bool orientation = depth || m_orientationPending;
    const bool simulator = phase || amplitude || orientation || m_simulatorPending;
    // The same solves as releasing a paint tool in the window.
    if (m.m_fieldMatrix) {
        if (phase) updateFieldHarmonic(m.m_phaseField, *m.m_fieldMatrix);
        if (amplitude) updateFieldHarmonic(m.m_ampliField, *m.m_fieldMatrix);
    }
    TTensorField& fibres = m.m_orienField;
    if (depth) fibres.updateField_RBF(fibres.m_depthField, m.m_vtxOrigPos);
    if (orientation) fibres.updateOrientation(m.m_tets, m.m_vtxOrigPos, m.m_smNeighbors, m.m_vtxIsVentriOrAtrium);
    if (simulator) m.m_simulator.initSimulator(m.m_vtxOrigPos, m.m_tets, m.m_smNeighbors, m.m_orienField.m_frames);
    m_phasePending = m_amplitudePending = m_depthPending = m_orientationPending = m_simulatorPending = false;
    return simulator;
}

void PyModel::solveIfPending(AuthoredField field) {
    TLSMModel& m = model();
    if (field == AuthoredField::Amplitude && m_amplitudePending && m.m_fieldMatrix) {
        updateFieldHarmonic(m.m_ampliField, *m.m_fieldMatrix);
        m_amplitudePending = false;
        m_simulatorPending = true;
    }
}

void PyModel::run(int ticks, int threads, int recordEvery, bool reset, BeatRun& out,
                  const std::function<bool()>& keepGoing) {
    MainWindowManager& controller = *m_controller;
    TLSMModel& m = model();
    const int previousThreads = omp_get_max_threads();
    if (threads > 0) omp_set_num_threads(threads);

    // The loop of `velmora-cli simulate`: the controller's tick, then the shared measurements.
    startTicks(reset);
    BeatMeasurements measurements(m);
    const bool measured = measurements.deformationIndices().ready();
    if (!measured) out.indicesRefusal = measurements.deformationIndices().refusal();
    out.volumes.reserve(static_cast<size_t>(ticks));
    out.times.reserve(static_cast<size_t>(ticks));
    if (measured) out.indices.reserve(static_cast<size_t>(ticks));
    for (int tick = 1; tick <= ticks; ++tick) {
        controller.onTimer();
        out.volumes.push_back(measurements.addTick(m));
        out.times.push_back(controller.m_time);
        if (measured) {
            const DeformationIndexValues& v = measurements.lastIndices();
            out.indices.push_back(
                {v.longitudinal, v.circumferential, v.radial, v.apicalRotation, v.basalRotation, v.twist});
        }
        if (recordEvery > 0 && tick % recordEvery == 0) {
            out.positionTicks.push_back(tick);
            out.positions.push_back(m.m_verts);
        }
        if (!keepGoing()) {
            out.interrupted = true;
            break;
        }
    }
    stopTicks();
    omp_set_num_threads(previousThreads);

    out.ticks = measurements.ticks();
    out.volumesMin = measurements.volumesMin();
    out.volumesMax = measurements.volumesMax();
    out.ejectionFraction = measurements.leftVentricularEjectionFraction(m);
    out.maxDisplacement = measurements.maxDisplacement();
    out.finite = measurements.finite();
    out.restVolume = m.m_simulator.restVolume();
    out.finalTotalVolume = signedTotalVolume(m);
    if (measured) {
        out.endSystoleTick = measurements.endSystoleTick();
        out.endSystole = measurements.endSystoleIndices();
    }
}

void PyModel::startTicks(bool reset) {
    MainWindowManager& controller = *m_controller;
    if (pending()) updateFields(false);
    if (reset) {
        if (m_simulated) model().resetSimulation();
        controller.m_time = 0.0;
    }
    controller.startTimer();
    m_simulated = true;
}

void PyModel::stopTicks() { m_controller->stopTimer(); }

DeformationIndices& PyModel::deformationIndices() {
    if (!m_indices.isPreparedFor(model())) m_indices.prepare(model());
    return m_indices;
}
