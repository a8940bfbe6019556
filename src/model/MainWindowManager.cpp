// MainWindowManager: start-up, model replacement, the main loop and the two exports.
#include "model/MainWindowManager.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "fields/FibrePresets.h"
#include "linalg/Diagnostics.h"
#include "linalg/TSparseMatrix.h"
#include "model/FieldExport.h"
#include "model/Measurements.h"
#include "model/ShellHooks.h"

namespace {

ControllerHost g_headlessHost;
ControllerHost* g_defaultHost = nullptr;
std::string g_initialModelPath = "ModelB";
std::unique_ptr<MainWindowManager> g_instance;
// The process-wide controller while its constructor runs: the first load already redraws the
// dialogs, which reach the controller through getInstance() and must find this one, not start
// another.
MainWindowManager* g_underConstruction = nullptr;
bool g_buildingInstance = false;

constexpr int kTimerId = 1;
constexpr int kTimerMilliseconds = 5;
constexpr double kTubeSpiralAngle = 1.0471975511965967;  // 60 degrees
constexpr double kTubeAmplitude = 0.4;
// Summing dt = 0.01 a hundred times overshoots 1.0 by a few ulps; a time that exceeds the cycle
// length by less than this still belongs to the cycle, so the last tick of a beat sees 1.0.
constexpr double kTimeSlack = 1e-9;

/// Timing report of the main loop: ticks and milliseconds spent in the three phases.
struct LoopTiming {
    int ticks = 0;
    double simMs = 0, render3DMs = 0, renderGraphMs = 0;
} g_loopTiming;

}  // namespace

double steadyClockMs() {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string runningProgramDirectory() {
    std::vector<char> buffer(4096);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length <= 0) return "";
    std::string path(buffer.data(), static_cast<size_t>(length));
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

MainWindowManager& MainWindowManager::getInstance() {
    if (g_instance) return *g_instance;
    if (g_underConstruction) return *g_underConstruction;
    ControllerHost* host = g_defaultHost ? g_defaultHost : &g_headlessHost;
    g_buildingInstance = true;
    auto instance = std::make_unique<MainWindowManager>(host, g_initialModelPath);
    g_buildingInstance = false;
    g_underConstruction = nullptr;
    g_instance = std::move(instance);
    return *g_instance;
}

void MainWindowManager::setDefaultHost(ControllerHost* host) {
    g_defaultHost = host;
    if (g_instance) g_instance->setHost(host);
}

void MainWindowManager::destroyInstance() { g_instance.reset(); }

bool MainWindowManager::exists() { return g_instance != nullptr; }

void MainWindowManager::setInitialModelPath(const std::string& basePath) { g_initialModelPath = basePath; }

MainWindowManager::MainWindowManager(ControllerHost* host, const std::string& initialModel)
    : m_host(host ? host : &g_headlessHost) {
    if (g_buildingInstance && !g_underConstruction) g_underConstruction = this;
    diagPrintf("MainWindowManager constructure Start...");
    m_exeDir = runningProgramDirectory();
    m_exePath = m_exeDir;
    // The back end is chosen once per process: a second controller (tests, the CLI) keeps it.
    static bool solverChosen = false;
    if (!solverChosen && !solverBackendChosen() && activeSolverBackend() != SolverBackend::Umfpack)
        chooseSolverBackend(m_exeDir, "");
    solverChosen = true;
    if (!initialModel.empty()) loadModel(initialModel);
    diagPrintf("MainWindowManager constructure Done\n");
}

MainWindowManager::~MainWindowManager() {
    if (m_timerOn) m_host->killTimer(kTimerId);
    // The shell may be gone already: a failure here is only printed.
    if (!closeExportFile(false)) diagPrintf("%s\n", m_exportError.c_str());
}

void MainWindowManager::setHost(ControllerHost* host) { m_host = host ? host : &g_headlessHost; }

void MainWindowManager::loadModel(const std::string& basePath) {
    if (m_timerOn) {
        m_timerOn = false;
        m_host->killTimer(kTimerId);
    }
    m_model.reset();
    auto model = std::make_unique<TLSMModel>();
    std::string reason;
    if (!model->loadModel(basePath, &reason)) {
        shellHooks().showMessageWithReason("the file is not exist", reason);
        model.reset();
    }
    installModel(std::move(model));
}

void MainWindowManager::installModel(std::unique_ptr<TLSMModel> model) {
    if (m_timerOn) {
        m_timerOn = false;
        m_host->killTimer(kTimerId);
    }
    m_model = std::move(model);
    m_host->switchToStandardMode();
    m_host->redrawStdDialog(true);

    if (m_model && m_model->vertexCount() == 1200) {
        TLSMModel& m = *m_model;
        applyRingPreset(m.m_orienField, m.m_tets, m.m_vtxOrigPos, kRingLayeredSpiral, kTubeSpiralAngle);
        m.m_simulator.initSimulator(m.m_vtxOrigPos, m.m_tets, m.m_smNeighbors, m.m_orienField.m_frames);
        m.m_excitation->m_amplitude = kTubeAmplitude;
        // The contraction tables hold the amplitude: build them again for the new one.
        buildTables(*m.m_excitation);
        m_bShowMesh = true;
        m_bShowFibAtri = true;
        m_bShowFibVent = true;
        m_host->refreshStdDialogFromModel();
    }
    m_history.reset(m_model.get());
}

bool MainWindowManager::startTimer() {
    if (!m_model) return false;
    if (m_timerOn) return true;
    m_timerOn = true;
    m_host->startTimer(kTimerId, kTimerMilliseconds);
    return true;
}

void MainWindowManager::stopTimer() {
    if (!m_timerOn) return;
    m_timerOn = false;
    m_host->killTimer(kTimerId);
}

void MainWindowManager::onTimer() {
    if (!m_timerOn || !m_model) return;
    if (++g_loopTiming.ticks >= 1000) {
        diagPrintf("\n\n");
        diagPrintf("sim         = %d,  1000 iteration --> time = %f second\n", static_cast<int>(g_loopTiming.simMs),
                   g_loopTiming.simMs / 1000.0);
        diagPrintf("render3D    = %d,  1000 iteration --> time = %f second\n",
                   static_cast<int>(g_loopTiming.render3DMs), g_loopTiming.render3DMs / 1000.0);
        diagPrintf("renderGraph = %d,  1000 iteration --> time = %f second\n\n\n",
                   static_cast<int>(g_loopTiming.renderGraphMs), g_loopTiming.renderGraphMs / 1000.0);
        g_loopTiming = LoopTiming();
    }
    const double t0 = steadyClockMs();
    m_time += m_dt;
    if (m_exportAnim) writeAnimationFrame();
    if (m_recordWall) {
        ++m_recordCount;
        if (m_recordCount < 402) {
            probeWallThickness(*m_model, m_wallFile);
            checkExportWrites();
        } else {
            m_recordWall = false;
            closeExportFile(true);
        }
    }
    if (m_time > m_model->m_excitation->m_cycleLength + kTimeSlack) m_time = 0;
    m_model->updateModel(m_time, m_dt);
    const double stepMs = steadyClockMs() - t0;
    g_loopTiming.simMs += stepMs;
    m_stepMsTotal += stepMs;
    ++m_ticksRun;
    m_host->showTick();
}

void MainWindowManager::recordDrawTiming(double viewMs, double graphMs) {
    g_loopTiming.render3DMs += viewMs;
    g_loopTiming.renderGraphMs += graphMs;
}

bool MainWindowManager::closeExportFile(bool tell) {
    if (!m_wallFile) return true;
    std::FILE* file = m_wallFile;
    m_wallFile = nullptr;
    // The last records may still sit in the buffer: the flush and the close report a full disk.
    std::string error;
    if (closeWrittenFile(file, m_exportPath, error)) return true;
    m_exportError = "the export stopped: " + error;
    if (tell) shellHooks().showMessage(m_exportError);
    return false;
}

void MainWindowManager::exportFailed(int error) {
    m_exportAnim = false;
    m_recordWall = false;
    if (m_wallFile) std::fclose(m_wallFile);
    m_wallFile = nullptr;
    m_exportError = "the export stopped: cannot write " + m_exportPath + ": " +
                    (error != 0 ? std::strerror(error) : "a write failed");
    shellHooks().showMessage(m_exportError);
}

void MainWindowManager::checkExportWrites() {
    if (m_wallFile && std::ferror(m_wallFile)) exportFailed(errno);
}

bool MainWindowManager::endExport() {
    m_exportAnim = false;
    m_recordWall = false;
    return closeExportFile(true) && m_exportError.empty();
}

bool MainWindowManager::openExportFile(const std::string& path) {
    // Starting one export while the other runs ends the running one first.
    m_exportAnim = false;
    m_recordWall = false;
    closeExportFile(true);
    m_exportError.clear();
    m_exportPath = path;
    m_wallFile = std::fopen(path.c_str(), "w");
    if (!m_wallFile) {
        m_exportError = "cannot create the export file " + path + ": " + std::strerror(errno);
        shellHooks().showMessage(m_exportError);
        return false;
    }
    return true;
}

bool MainWindowManager::startAnimationExport(const std::string& path) {
    if (!m_model || !openExportFile(path)) return false;
    diagPrintf("#heartAnim\n");
    stopTimer();
    m_exportAnim = true;
    m_animationFrame = 0;
    startTimer();
    return true;
}

bool MainWindowManager::startWallThicknessExport(const std::string& path) {
    if (!m_model || !openExportFile(path)) return false;
    diagPrintf("#wallWidth\n");
    stopTimer();
    m_recordWall = true;
    m_recordCount = 0;
    startTimer();
    return true;
}

void MainWindowManager::writeAnimationFrame() {
    if (!m_model) return;
    const double cycle = m_model->m_excitation->m_cycleLength;
    if (m_time > cycle + kTimeSlack) {
        m_exportAnim = false;
        closeExportFile(true);
        return;
    }
    if (!m_wallFile) return;
    const std::vector<vec3>& p = m_model->m_verts;
    std::fprintf(m_wallFile, "#frame %d %d %f\n", m_animationFrame++, static_cast<int>(p.size()), m_time / cycle);
    for (const vec3& v : p) std::fprintf(m_wallFile, "%f %f %f\n", v.x, v.y, v.z);
    checkExportWrites();
}
